// The platform's message dialog: a modal box with a caption and icon given by its type and one
// button per member of its button set, always in the fixed order Yes, No, OK, Cancel, Abort,
// Retry, Ignore. Boxes are answered through the interaction provider (interaction.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::forms {

enum class DialogType { warning, error, information, confirmation, custom };

// Caption of a dialog type: "Warning", "Error", "Information", "Confirm", "" (custom).
const char* dialog_caption(DialogType type);

enum class DialogButton : std::uint8_t { yes, no, ok, cancel, abort, retry, ignore };

// A set of buttons; members() gives them in the fixed order.
class ButtonSet {
  public:
    ButtonSet() = default;
    ButtonSet(std::initializer_list<DialogButton> buttons);
    ButtonSet& add(DialogButton button);
    bool has(DialogButton button) const;
    bool empty() const { return bits_ == 0; }
    std::vector<DialogButton> members() const;

  private:
    std::uint8_t bits_ = 0;
};

// Button captions: "&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry", "&Ignore".
const char* button_caption(DialogButton button);

// Modal results of forms and boxes.
using ModalResult = int;
inline constexpr ModalResult mr_none = 0;
inline constexpr ModalResult mr_ok = 1;
inline constexpr ModalResult mr_cancel = 2;
inline constexpr ModalResult mr_abort = 3;
inline constexpr ModalResult mr_retry = 4;
inline constexpr ModalResult mr_ignore = 5;
inline constexpr ModalResult mr_yes = 6;
inline constexpr ModalResult mr_no = 7;

ModalResult result_of(DialogButton button);

// What a box shows; the provider sees exactly this.
struct MessageBoxRequest {
    DialogType type = DialogType::information;
    std::string caption;  // from the type
    std::string text;
    ButtonSet buttons;
    bool stay_on_top = false;
};

// Shows the box modally through the installed interaction provider and returns its modal
// result. The provider may answer with a button's result, or with mr_cancel for "closed by
// Esc or the caption's close box". Message handling of the calling thread goes on meanwhile
// when the provider runs a nested loop. Without a provider this throws NoInteractionProvider.
ModalResult show_message_dialog(const MessageBoxRequest& request);

}  // namespace platform::forms
