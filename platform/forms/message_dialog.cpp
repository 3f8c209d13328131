#include "platform/forms/message_dialog.h"

#include "platform/forms/interaction.h"

namespace platform::forms {

const char* dialog_caption(DialogType type) {
    switch (type) {
        case DialogType::warning:
            return "Warning";
        case DialogType::error:
            return "Error";
        case DialogType::information:
            return "Information";
        case DialogType::confirmation:
            return "Confirm";
        case DialogType::custom:
            return "";
    }
    return "";
}

namespace {
std::uint8_t bit(DialogButton button) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(button));
}
constexpr DialogButton fixed_order[] = {DialogButton::yes,    DialogButton::no,    DialogButton::ok,
                                        DialogButton::cancel, DialogButton::abort, DialogButton::retry,
                                        DialogButton::ignore};
}  // namespace

ButtonSet::ButtonSet(std::initializer_list<DialogButton> buttons) {
    for (DialogButton b : buttons) add(b);
}

ButtonSet& ButtonSet::add(DialogButton button) {
    bits_ = static_cast<std::uint8_t>(bits_ | bit(button));
    return *this;
}

bool ButtonSet::has(DialogButton button) const {
    return (bits_ & bit(button)) != 0;
}

std::vector<DialogButton> ButtonSet::members() const {
    std::vector<DialogButton> out;
    for (DialogButton b : fixed_order) {
        if (has(b)) out.push_back(b);
    }
    return out;
}

const char* button_caption(DialogButton button) {
    switch (button) {
        case DialogButton::yes:
            return "&Yes";
        case DialogButton::no:
            return "&No";
        case DialogButton::ok:
            return "OK";
        case DialogButton::cancel:
            return "Cancel";
        case DialogButton::abort:
            return "&Abort";
        case DialogButton::retry:
            return "&Retry";
        case DialogButton::ignore:
            return "&Ignore";
    }
    return "";
}

ModalResult result_of(DialogButton button) {
    switch (button) {
        case DialogButton::yes:
            return mr_yes;
        case DialogButton::no:
            return mr_no;
        case DialogButton::ok:
            return mr_ok;
        case DialogButton::cancel:
            return mr_cancel;
        case DialogButton::abort:
            return mr_abort;
        case DialogButton::retry:
            return mr_retry;
        case DialogButton::ignore:
            return mr_ignore;
    }
    return mr_none;
}

ModalResult show_message_dialog(const MessageBoxRequest& request) {
    InteractionProvider* provider = interaction_provider();
    if (!provider)
        throw NoInteractionProvider("no interaction provider to answer the box \"" + request.text + "\"");
    if (request.caption.empty() && request.type != DialogType::custom) {
        MessageBoxRequest completed = request;
        completed.caption = dialog_caption(request.type);
        return provider->answer_box(completed);
    }
    return provider->answer_box(request);
}

}  // namespace platform::forms
