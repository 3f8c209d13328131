// Posting, sending and dispatching.
//
// A cross-thread send puts a SentItem in the owner's queue and waits on the sender's own
// queue: the owner wakes the sender when the item is done, and any message sent *to* the
// sender meanwhile wakes it too and is handled on the spot. That is what keeps two threads
// that send to each other from deadlocking.
#include <algorithm>

#include "platform/window/window_state.h"

namespace platform::window {

using namespace detail;

namespace detail {

Result call_procedure(const std::shared_ptr<WindowRecord>& record, std::uint32_t message, WParam wparam,
                      LParam lparam) {
    std::shared_ptr<Procedure> procedure;
    {
        std::lock_guard lock(window_state().table_lock);
        procedure = record->procedure;
    }
    // The copy keeps the procedure (and what it captured) alive even if it replaces itself
    // or destroys its window while it runs.
    if (!procedure || !*procedure) return 0;
    return (*procedure)(record->handle, message, wparam, lparam);
}

void complete_sent(const std::shared_ptr<SentItem>& item, SendStatus status, Result result) {
    bool wake_sender;
    {
        std::lock_guard lock(item->owner->lock);
        item->state = SentItem::State::done;
        item->status = status;
        item->result = result;
        wake_sender = !item->abandoned;
    }
    if (wake_sender && item->sender) {
        std::lock_guard lock(item->sender->lock);
        item->sender->wake_locked();
    }
}

int run_sent_messages(Queue& queue) {
    int handled = 0;
    for (;;) {
        std::shared_ptr<SentItem> item;
        {
            std::lock_guard lock(queue.lock);
            if (queue.sent.empty()) break;
            item = std::move(queue.sent.front());
            queue.sent.pop_front();
            item->state = SentItem::State::running;
        }
        ++handled;
        // Completes the item however the handler leaves, so no sender is left hanging.
        struct Completion {
            const std::shared_ptr<SentItem>& item;
            SendStatus status = SendStatus::ok;
            Result result = 0;
            ~Completion() { complete_sent(item, status, result); }
        } completion{item};
        if (item->action) {
            item->action();
            continue;
        }
        auto record = find_record(item->window);
        if (!record || record->owner.get() != &queue) {
            completion.status = SendStatus::no_window;
            continue;
        }
        completion.result = call_procedure(record, item->message, item->wparam, item->lparam);
    }
    return handled;
}

}  // namespace detail

namespace {

// Waits for `item` until `deadline`, handling what is sent to this thread meanwhile.
SendStatus wait_for_reply(const std::shared_ptr<SentItem>& item, const kernel::Deadline& deadline,
                          Result* result) {
    Queue& self = own_queue();
    Queue& owner = *item->owner;
    std::vector<pollfd> fds{{self.waker.fd(), POLLIN, 0}};
    auto finished = [&]() -> bool {
        std::lock_guard lock(owner.lock);
        if (item->state != SentItem::State::done) return false;
        if (result) *result = item->result;
        return true;
    };
    for (;;) {
        run_sent_messages(self);
        if (finished()) return item->status;
        if (deadline.expired()) {
            std::lock_guard lock(owner.lock);
            switch (item->state) {
                case SentItem::State::queued:  // not started: withdraw it, it is never handled
                    std::erase(owner.sent, item);
                    return SendStatus::timed_out;
                case SentItem::State::running:  // let it finish without us
                    item->abandoned = true;
                    return SendStatus::timed_out;
                case SentItem::State::done:
                    if (result) *result = item->result;
                    return item->status;
            }
        }
        {
            std::lock_guard lock(self.lock);
            if (!self.sent.empty()) continue;
            self.take_wake_locked();
        }
        // A completion from here on finds woken false and signals the waker again.
        if (finished()) return item->status;
        fds[0].revents = 0;
        poll_until(fds, deadline.is_infinite() ? INT64_MAX : deadline.at_ns());
    }
}

SendStatus send(Handle window, std::uint32_t message, WParam wparam, LParam lparam, unsigned timeout_ms,
                Result* result, std::function<void()> action = {}) {
    if (result) *result = 0;
    WindowState& state = window_state();
    const kernel::Deadline deadline(timeout_ms);
    std::shared_ptr<WindowRecord> record;
    auto item = std::make_shared<SentItem>();
    {
        std::lock_guard table(state.table_lock);
        record = find_locked(state, window);
        if (!record || !record->owner) return SendStatus::no_window;
        if (record->owner_thread != kernel::current_thread_id()) {
            item->window = window;
            item->message = message;
            item->wparam = wparam;
            item->lparam = lparam;
            item->action = std::move(action);
            item->owner = record->owner;
            item->sender = own_queue_ptr();
            std::lock_guard lock(record->owner->lock);
            if (!record->owner->alive) return SendStatus::no_window;
            record->owner->sent.push_back(item);
            record->owner->wake_locked();
        }
    }
    if (!item->owner) {  // the own thread: a direct call
        if (action) {
            action();
            return SendStatus::ok;
        }
        const Result r = call_procedure(record, message, wparam, lparam);
        if (result) *result = r;
        return SendStatus::ok;
    }
    return wait_for_reply(item, deadline, result);
}

}  // namespace

namespace detail {

bool run_on_owner(Handle window, std::function<void()> action) {
    return send(window, WM_NULL, 0, 0, kernel::infinite, nullptr, std::move(action)) == SendStatus::ok;
}

}  // namespace detail

bool post_message(Handle window, std::uint32_t message, WParam wparam, LParam lparam) {
    WindowState& state = window_state();
    // Held across the append, so a window that is being destroyed cannot get a message
    // after its queue was purged.
    std::lock_guard table(state.table_lock);
    auto record = find_locked(state, window);
    if (!record || !record->owner) return false;
    Queue& queue = *record->owner;
    std::lock_guard lock(queue.lock);
    if (!queue.alive) return false;
    queue.posted.push_back({{window, message, wparam, lparam}, queue.next_sequence++});
    queue.wake_locked();
    return true;
}

void post_thread_message(std::uint32_t message, WParam wparam, LParam lparam) {
    Queue& queue = own_queue();
    std::lock_guard lock(queue.lock);
    queue.posted.push_back({{0, message, wparam, lparam}, queue.next_sequence++});
    queue.wake_locked();
}

Result send_message(Handle window, std::uint32_t message, WParam wparam, LParam lparam) {
    Result result = 0;
    send(window, message, wparam, lparam, kernel::infinite, &result);
    return result;
}

SendStatus send_message_timeout(Handle window, std::uint32_t message, WParam wparam, LParam lparam,
                                unsigned timeout_ms, Result* result) {
    return send(window, message, wparam, lparam, timeout_ms, result);
}

Result dispatch_message(const Message& message) {
    if (message.window == 0) return 0;
    auto record = find_record(message.window);
    if (!record || !record->owner || record->owner_thread != kernel::current_thread_id()) return 0;
    return call_procedure(record, message.message, message.wparam, message.lparam);
}

}  // namespace platform::window
