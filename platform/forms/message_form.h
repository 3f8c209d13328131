// The form of a message box, for a backend that shows boxes to a person and for inspectors.
//
// show_message_dialog() hands the request to the interaction provider; a provider that puts
// the box on the screen builds it with build_message_form(): caption from the request (or its
// type), a static text "Message" with the text, and one button per member of the set in the
// fixed order Yes, No, OK, Cancel, Abort, Retry, Ignore, left to right, each named after its
// button ("Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore") with its caption and modal
// result. The first button is the default button; Cancel, when present, answers Esc. The form
// is sized to its text with the backend's text metric and stays on top when asked.
#pragma once

#include "platform/forms/form.h"
#include "platform/forms/message_dialog.h"
#include "platform/forms/standard_controls.h"

namespace platform::forms {

class MessageForm : public Form {
  public:
    explicit MessageForm(const MessageBoxRequest& request);
    DialogType type;  // a drawing backend shows its icon left of the text
    StaticText* message;
    std::vector<Button*> buttons;  // in the fixed order
};

FormPtr<MessageForm> build_message_form(const MessageBoxRequest& request);

// The component name of a box's button.
const char* button_name(DialogButton button);

}  // namespace platform::forms
