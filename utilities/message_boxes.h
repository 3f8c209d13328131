// Message boxes and the one error reporter. Every box is stay-on-top and modal; the calling
// code waits on the main thread while the thread's messages go on being handled.
#pragma once

#include <string_view>

#include "platform/forms/message_dialog.h"

namespace putils {

platform::forms::ModalResult message_box_on_top(std::string_view text, platform::forms::DialogType type,
                                                const platform::forms::ButtonSet& buttons);
// Error type, Cancel alone.
void error_box(std::string_view text);
// Information type, OK.
void info_box(std::string_view text);
// Warning type, Abort/Retry/Ignore; returns 3, 4 or 5 (or 2 when closed otherwise).
platform::forms::ModalResult ask_abort_retry_ignore(std::string_view text);
// Information type, Yes/No; true only for Yes.
bool ask_yes_no(std::string_view text);

// The error reporter: shows error_box(text) (or the driver's error form when
// use_message_boxes is off and one is registered), keeps the last message and sets the error
// flag; returns when the user has closed it. Never raises.
void show_error(std::string_view text);

// The error form that show_error uses when use_message_boxes is off (only Zorrun has one).
using ErrorFormShower = void (*)(std::string_view text);
void set_error_form_shower(ErrorFormShower shower);

}  // namespace putils
