#include "core/window_broadcast.h"

#include "utilities/session.h"

namespace core {

namespace window = platform::window;

int post_to_windows_of_class(std::string_view class_name) {
    const auto instance = static_cast<window::WParam>(putils::session().instance_number);
    return window::broadcast_to_class(class_name, zor_status_message, instance, 0);
}

void notify_status_windows() {
    post_to_windows_of_class(status_window_class);
}
void notify_method_editors() {
    post_to_windows_of_class(method_editor_class);
}
void notify_wait_forms() {
    post_to_windows_of_class(wait_form_class);
}

bool is_own_status_message(std::uint32_t message, window::WParam wparam) {
    return message == zor_status_message &&
           wparam == static_cast<window::WParam>(putils::session().instance_number);
}

}  // namespace core
