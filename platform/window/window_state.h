// The window unit's state: the process-wide window table and the per-thread queues.
//
// Locks, in the only order they may nest: WindowState::table_lock, then Queue::lock.
// No procedure, callback or broadcaster is ever called with either of them held, and nothing
// waits (poll, condition) while holding one.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/window/poller.h"
#include "platform/window/window.h"

namespace platform::window::detail {

struct Queue;

// A message sent from another thread, waiting in (or taken from) its owner's queue.
// state, status, result and abandoned are guarded by the owner queue's lock.
struct SentItem {
    enum class State { queued, running, done };

    Handle window = 0;
    std::uint32_t message = 0;
    WParam wparam = 0;
    LParam lparam = 0;
    std::function<void()> action;  // when set, run on the owner thread instead of a procedure

    State state = State::queued;
    bool abandoned = false;  // the sender timed out while it ran: nobody waits for the result
    SendStatus status = SendStatus::ok;
    Result result = 0;

    std::shared_ptr<Queue> owner;   // whose lock guards the fields above
    std::shared_ptr<Queue> sender;  // woken when done
};

struct WindowRecord {
    Handle handle = 0;
    std::string class_name;        // fixed at creation
    std::shared_ptr<Queue> owner;  // fixed; null for the desktop
    kernel::ThreadId owner_thread = 0;

    // Guarded by table_lock.
    std::string text;
    Handle parent = 0;
    std::vector<Handle> children;  // creation order
    std::shared_ptr<Procedure> procedure;
    bool destroying = false;
};

struct Timer {
    unsigned interval_ms = 0;
    std::uint64_t generation = 0;       // matches the live heap entry
    std::uint64_t fired_iteration = 0;  // a timer fires at most once per loop iteration
};

struct TimerDue {
    std::int64_t due_ns;
    std::uint64_t generation;
    Handle window;
    WParam id;
    bool operator>(const TimerDue& other) const {
        return due_ns != other.due_ns ? due_ns > other.due_ns : generation > other.generation;
    }
};

struct Watch {
    WatchId id;
    int fd;
    short events;
    std::shared_ptr<std::function<void(short)>> callback;
};

struct PostedMessage {
    Message message;
    std::uint64_t sequence;
};

struct Queue {
    explicit Queue(kernel::ThreadId thread) : thread(thread) {}

    const kernel::ThreadId thread;
    Waker waker;

    // Guarded by lock: everything other threads touch.
    std::mutex lock;
    std::deque<PostedMessage> posted;
    std::deque<std::shared_ptr<SentItem>> sent;
    std::uint64_t next_sequence = 1;
    bool alive = true;   // false once the owner thread has ended
    bool woken = false;  // the waker is (about to be) readable

    // Owner thread only.
    bool quit_pending = false;
    int quit_code = 0;
    std::uint64_t iteration = 1;
    std::map<std::pair<Handle, WParam>, Timer> timers;
    std::priority_queue<TimerDue, std::vector<TimerDue>, std::greater<>> timer_heap;
    std::uint64_t next_timer_generation = 1;
    std::vector<Watch> watches;
    std::vector<pollfd> pollset;  // slot 0 is the waker, then one per watch in order
    bool pollset_dirty = true;
    // The last step's wait has just run the ready watches: the next step that may wait need not
    // look again before its own wait (which returns at once for anything ready since).
    bool watches_just_run = false;
    WaitHook* hook = nullptr;  // sleeps for the loop when installed

    void schedule_changed() {
        if (hook) hook->schedule_changed();
    }

    // Call with lock held: makes sure the owner wakes up.
    // Takes a wake-up signalled since the last call (reads the waker only when there is one).
    void take_wake_locked() {
        if (!woken) return;
        woken = false;
        waker.drain();
    }
    void wake_locked() {
        if (!woken) {
            woken = true;
            waker.signal();
        }
    }
};

struct WindowState {
    std::mutex table_lock;
    std::unordered_map<Handle, std::shared_ptr<WindowRecord>> windows;
    Handle next_handle = 0x10;
    Handle desktop = 0;
    Handle foreground = 0;

    std::atomic<WatchId> next_watch{1};

    // The hooks to other processes.
    std::mutex broadcaster_lock;
    RemoteBroadcaster broadcaster;
    RemoteForeground remote_foreground;
};

// Never destroyed, so threads that end during process exit can still leave cleanly.
WindowState& window_state();

// The calling thread's queue, made on first use; shut down when the thread ends.
Queue& own_queue();
std::shared_ptr<Queue> own_queue_ptr();

// With table_lock held: the record, or null.
std::shared_ptr<WindowRecord> find_locked(WindowState& state, Handle window);
std::shared_ptr<WindowRecord> find_record(Handle window);

// Runs the window's procedure on this (its owner) thread; 0 when it has none.
Result call_procedure(const std::shared_ptr<WindowRecord>& record, std::uint32_t message, WParam wparam,
                      LParam lparam);

// Handles every message that other threads have sent to this queue; returns how many.
int run_sent_messages(Queue& queue);
// Finishes a sent item with `status` and releases its sender.
void complete_sent(const std::shared_ptr<SentItem>& item, SendStatus status, Result result);

// Sends `action` to run on the owner thread of `window` and waits for it (pumping sent
// messages meanwhile). False when the window or its thread went away first.
bool run_on_owner(Handle window, std::function<void()> action);

// Removes what the queue holds for a window that is going away; with table_lock held.
// Returns the sent items to complete (after the locks are released).
std::vector<std::shared_ptr<SentItem>> purge_window_locked(Queue& queue, Handle window);

bool same_class(std::string_view a, std::string_view b);

}  // namespace platform::window::detail
