// The foreground window, in this process and (through the hook) in others.
#include "platform/window/window_state.h"

namespace platform::window {

using namespace detail;

bool set_foreground_window(Handle window) {
    WindowState& state = window_state();
    Handle top = 0;
    {
        std::lock_guard lock(state.table_lock);
        auto record = find_locked(state, window);
        if (!record || window == state.desktop) return false;
        while (record->parent != state.desktop) {
            auto parent = find_locked(state, record->parent);
            if (!parent) break;
            record = parent;
        }
        top = record->handle;
        state.foreground = top;
    }
    return post_message(top, WM_ACTIVATE, WA_ACTIVE, 0);
}

Handle foreground_window() {
    WindowState& state = window_state();
    std::lock_guard lock(state.table_lock);
    return find_locked(state, state.foreground) ? state.foreground : 0;
}

void set_remote_foreground(RemoteForeground finder) {
    WindowState& state = window_state();
    std::lock_guard lock(state.broadcaster_lock);
    state.remote_foreground = std::move(finder);
}

bool bring_window_of_class_to_front(std::string_view class_name) {
    const std::vector<Handle> own = find_windows_of_class(class_name);
    if (!own.empty()) return set_foreground_window(own.front());
    RemoteForeground remote;
    {
        WindowState& state = window_state();
        std::lock_guard lock(state.broadcaster_lock);
        remote = state.remote_foreground;
    }
    return remote && remote(class_name);
}

}  // namespace platform::window
