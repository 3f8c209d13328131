// The unit state, the per-thread queue and what happens when a thread with a queue ends.
#include <algorithm>
#include <cctype>

#include "platform/window/window_state.h"

namespace platform::window::detail {

namespace {

WindowState* make_state() {
    auto* state = new WindowState;
    auto desktop = std::make_shared<WindowRecord>();
    desktop->handle = state->next_handle++;
    desktop->class_name = "Desktop";
    desktop->procedure = std::make_shared<Procedure>();
    state->desktop = desktop->handle;
    state->windows.emplace(desktop->handle, std::move(desktop));
    state->next_handle = 0x100;
    return state;
}

// When a thread ends, its windows go with it: they leave the table at once (their procedures
// cannot run any more, so they get no WM_DESTROY), and every sender still waiting on the
// queue is released with no_window.
void shut_down(const std::shared_ptr<Queue>& queue) {
    WindowState& state = window_state();
    std::vector<std::shared_ptr<SentItem>> released;
    std::vector<std::shared_ptr<WindowRecord>> gone;  // freed after the locks
    {
        std::lock_guard table(state.table_lock);
        for (auto it = state.windows.begin(); it != state.windows.end();) {
            if (it->second->owner == queue) {
                gone.push_back(it->second);
                it = state.windows.erase(it);
            } else {
                ++it;
            }
        }
        for (const auto& record : gone) {
            if (auto parent = find_locked(state, record->parent))
                std::erase(parent->children, record->handle);
            for (Handle child : record->children) {
                if (auto c = find_locked(state, child)) {  // a child of another thread lives on
                    c->parent = state.desktop;
                    find_locked(state, state.desktop)->children.push_back(child);
                }
            }
        }
        std::lock_guard lock(queue->lock);
        queue->alive = false;
        queue->posted.clear();
        released.assign(queue->sent.begin(), queue->sent.end());
        queue->sent.clear();
    }
    for (const auto& item : released) complete_sent(item, SendStatus::no_window, 0);
    queue->timers.clear();
    queue->timer_heap = {};
    queue->watches.clear();
}

struct QueueHolder {
    std::shared_ptr<Queue> queue;
    ~QueueHolder() {
        if (queue) shut_down(queue);
    }
};

QueueHolder& holder() {
    thread_local QueueHolder h;
    return h;
}

}  // namespace

WindowState& window_state() {
    static WindowState* state = make_state();
    return *state;
}

std::shared_ptr<Queue> own_queue_ptr() {
    QueueHolder& h = holder();
    if (!h.queue) h.queue = std::make_shared<Queue>(kernel::current_thread_id());
    return h.queue;
}

Queue& own_queue() {
    QueueHolder& h = holder();
    if (!h.queue) h.queue = std::make_shared<Queue>(kernel::current_thread_id());
    return *h.queue;
}

std::shared_ptr<WindowRecord> find_locked(WindowState& state, Handle window) {
    auto it = state.windows.find(window);
    return it == state.windows.end() ? nullptr : it->second;
}

std::shared_ptr<WindowRecord> find_record(Handle window) {
    WindowState& state = window_state();
    std::lock_guard lock(state.table_lock);
    return find_locked(state, window);
}

std::vector<std::shared_ptr<SentItem>> purge_window_locked(Queue& queue, Handle window) {
    std::vector<std::shared_ptr<SentItem>> released;
    std::lock_guard lock(queue.lock);
    std::erase_if(queue.posted, [&](const PostedMessage& p) { return p.message.window == window; });
    for (auto it = queue.sent.begin(); it != queue.sent.end();) {
        if ((*it)->window == window && !(*it)->action) {
            released.push_back(*it);
            it = queue.sent.erase(it);
        } else {
            ++it;
        }
    }
    return released;
}

bool same_class(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace platform::window::detail
