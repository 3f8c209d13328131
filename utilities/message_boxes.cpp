#include "utilities/message_boxes.h"

#include <cstdio>
#include <string>

#include "utilities/session.h"

namespace putils {

namespace forms = platform::forms;

forms::ModalResult message_box_on_top(std::string_view text, forms::DialogType type,
                                      const forms::ButtonSet& buttons) {
    forms::MessageBoxRequest request;
    request.type = type;
    request.caption = forms::dialog_caption(type);
    request.text = std::string(text);
    request.buttons = buttons;
    // Above the host's windows and the instrument dialogs, which stay on top as well.
    request.stay_on_top = true;
    return forms::show_message_dialog(request);
}

void error_box(std::string_view text) {
    message_box_on_top(text, forms::DialogType::error, forms::ButtonSet{forms::DialogButton::cancel});
}

void info_box(std::string_view text) {
    message_box_on_top(text, forms::DialogType::information, forms::ButtonSet{forms::DialogButton::ok});
}

forms::ModalResult ask_abort_retry_ignore(std::string_view text) {
    return message_box_on_top(text, forms::DialogType::warning,
                              forms::ButtonSet{forms::DialogButton::abort, forms::DialogButton::retry,
                                               forms::DialogButton::ignore});
}

bool ask_yes_no(std::string_view text) {
    return message_box_on_top(text, forms::DialogType::information,
                              forms::ButtonSet{forms::DialogButton::yes, forms::DialogButton::no}) ==
           forms::mr_yes;
}

void show_error(std::string_view text) {
    SessionValues& s = session();
    s.last_error = std::string(text);
    s.error_flag = true;
    // Callers go on with their own failure path afterwards, so nothing may escape from here;
    // when no box can be shown the message still reaches the standard error stream.
    try {
        if (!s.use_message_boxes && s.error_form_shower != nullptr) {
            s.error_form_shower(text);
        } else {
            error_box(text);
        }
    } catch (...) {
        std::fprintf(stderr, "error: %.*s\n", static_cast<int>(text.size()), text.data());
    }
}

void set_error_form_shower(ErrorFormShower shower) {
    session().error_form_shower = shower;
}

}  // namespace putils
