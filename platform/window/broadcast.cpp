// Messages to every window of a class, in this process and (through the hook) in others.
#include "platform/window/window_state.h"

namespace platform::window {

using namespace detail;

void set_remote_broadcaster(RemoteBroadcaster broadcaster) {
    WindowState& state = window_state();
    std::lock_guard lock(state.broadcaster_lock);
    state.broadcaster = std::move(broadcaster);
}

int deliver_from_remote(std::string_view class_name, std::uint32_t message, WParam wparam, LParam lparam) {
    int posted = 0;
    for (Handle h : find_windows_of_class(class_name, desktop_window()))
        if (post_message(h, message, wparam, lparam)) ++posted;
    return posted;
}

int broadcast_to_class(std::string_view class_name, std::uint32_t message, WParam wparam, LParam lparam) {
    const int posted = deliver_from_remote(class_name, message, wparam, lparam);
    RemoteBroadcaster broadcaster;
    {
        WindowState& state = window_state();
        std::lock_guard lock(state.broadcaster_lock);
        broadcaster = state.broadcaster;
    }
    if (broadcaster) broadcaster(class_name, message, wparam, lparam);
    return posted;
}

}  // namespace platform::window
