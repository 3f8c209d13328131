// The window table: creation, destruction, properties and enumeration.
#include <algorithm>

#include "platform/window/window_state.h"

namespace platform::window {

using namespace detail;

Handle desktop_window() {
    return window_state().desktop;
}

Handle create_window(std::string_view class_name, Handle parent, Procedure procedure, std::string_view text) {
    WindowState& state = window_state();
    auto record = std::make_shared<WindowRecord>();
    record->class_name = std::string(class_name);
    record->owner = own_queue_ptr();
    record->owner_thread = kernel::current_thread_id();
    record->text = std::string(text);
    record->procedure = std::make_shared<Procedure>(std::move(procedure));
    {
        std::lock_guard lock(state.table_lock);
        if (parent == 0) parent = state.desktop;
        auto parent_record = find_locked(state, parent);
        if (!parent_record || parent_record->destroying) return 0;
        record->handle = state.next_handle++;
        record->parent = parent;
        parent_record->children.push_back(record->handle);
        state.windows.emplace(record->handle, record);
    }
    // A procedure that answers WM_CREATE with -1 refuses to exist; the window goes again.
    if (call_procedure(record, WM_CREATE, 0, 0) == -1) {
        destroy_window(record->handle);
        return 0;
    }
    return record->handle;
}

void destroy_window(Handle window) {
    WindowState& state = window_state();
    std::shared_ptr<WindowRecord> record;
    {
        std::lock_guard lock(state.table_lock);
        record = find_locked(state, window);
        if (!record || !record->owner || record->destroying) return;
        if (record->owner_thread != kernel::current_thread_id()) return;  // owner thread only
        record->destroying = true;
    }
    // The window first, then its children (each gets its own WM_DESTROY); the records stay
    // alive while a procedure of theirs is still on the stack, so destroying a window from
    // inside its own procedure is safe.
    call_procedure(record, WM_DESTROY, 0, 0);
    for (;;) {
        Handle child = 0;
        std::shared_ptr<WindowRecord> child_record;
        {
            std::lock_guard lock(state.table_lock);
            for (Handle c : record->children) {
                auto r = find_locked(state, c);
                if (r && !r->destroying) {
                    child = c;
                    child_record = r;
                    break;
                }
            }
        }
        if (!child) break;
        if (child_record->owner_thread == kernel::current_thread_id())
            destroy_window(child);
        else
            run_on_owner(child, [child] { destroy_window(child); });  // its thread destroys it
        {
            // A child that is still there (its thread went away first) is cut loose so that
            // the loop ends.
            std::lock_guard lock(state.table_lock);
            if (auto r = find_locked(state, child); r && r->parent == window) {
                std::erase(record->children, child);
                r->parent = state.desktop;
                if (auto desktop = find_locked(state, state.desktop)) desktop->children.push_back(child);
            }
        }
    }
    std::vector<std::shared_ptr<SentItem>> released;
    {
        std::lock_guard lock(state.table_lock);
        state.windows.erase(window);
        if (auto parent = find_locked(state, record->parent)) std::erase(parent->children, window);
        released = purge_window_locked(*record->owner, window);
    }
    Queue& queue = *record->owner;
    for (auto it = queue.timers.begin(); it != queue.timers.end();)
        it = it->first.first == window ? queue.timers.erase(it) : std::next(it);
    for (const auto& item : released) complete_sent(item, SendStatus::no_window, 0);
}

Procedure set_procedure(Handle window, Procedure procedure) {
    WindowState& state = window_state();
    std::shared_ptr<Procedure> old;
    {
        std::lock_guard lock(state.table_lock);
        auto record = find_locked(state, window);
        if (!record || !record->owner) return {};
        old = std::exchange(record->procedure, std::make_shared<Procedure>(std::move(procedure)));
    }
    return old ? *old : Procedure{};
}

bool is_window(Handle window) {
    return window != 0 && find_record(window) != nullptr;
}

std::string class_name(Handle window) {
    auto record = find_record(window);
    return record ? record->class_name : std::string();
}

std::string window_text(Handle window) {
    WindowState& state = window_state();
    std::lock_guard lock(state.table_lock);
    auto record = find_locked(state, window);
    return record ? record->text : std::string();
}

void set_window_text(Handle window, std::string_view text) {
    WindowState& state = window_state();
    std::lock_guard lock(state.table_lock);
    if (auto record = find_locked(state, window)) record->text = std::string(text);
}

Handle parent_of(Handle window) {
    WindowState& state = window_state();
    std::lock_guard lock(state.table_lock);
    auto record = find_locked(state, window);
    return record ? record->parent : 0;
}

std::vector<Handle> children_of(Handle window) {
    WindowState& state = window_state();
    std::lock_guard lock(state.table_lock);
    auto record = find_locked(state, window == 0 ? state.desktop : window);
    return record ? record->children : std::vector<Handle>{};
}

bool is_own_window(Handle window) {
    auto record = find_record(window);
    return record && record->owner && record->owner_thread == kernel::current_thread_id();
}

std::vector<Handle> find_windows_of_class(std::string_view class_name, Handle root) {
    WindowState& state = window_state();
    std::vector<Handle> found;
    std::lock_guard lock(state.table_lock);
    auto start = find_locked(state, root == 0 ? state.desktop : root);
    if (!start) return found;
    std::vector<const WindowRecord*> pending{start.get()};
    while (!pending.empty()) {
        const WindowRecord* r = pending.back();
        pending.pop_back();
        for (Handle c : r->children) {
            auto child = find_locked(state, c);
            if (!child) continue;
            if (same_class(child->class_name, class_name)) found.push_back(c);
            pending.push_back(child.get());
        }
    }
    std::sort(found.begin(), found.end());  // handles grow with creation
    return found;
}

Handle find_window(std::string_view class_name) {
    WindowState& state = window_state();
    std::lock_guard lock(state.table_lock);
    auto desktop = find_locked(state, state.desktop);
    for (Handle c : desktop->children)
        if (auto child = find_locked(state, c); child && same_class(child->class_name, class_name)) return c;
    return 0;
}

}  // namespace platform::window
