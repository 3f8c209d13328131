// Windows, message queues and message loops.
//
// The model:
// - Every thread that touches this layer has one message queue, made on first use. A window
//   belongs to the thread that created it; its procedure only ever runs on that thread.
// - post_message() appends to the owner's queue and returns at once. send_message() to a window
//   of the calling thread is a direct call of its procedure; to a window of another thread it
//   blocks until the owner has handled it. While it blocks, the sender keeps handling messages
//   that other threads *send* to it (not posted ones), so two threads sending to each other
//   never deadlock.
// - A message loop (run_message_loop, or a nested loop for a modal form) sleeps in poll() on
//   the queue's eventfd and on the registered file-descriptor watches; nothing spins. Timers
//   are deadlines on the monotonic clock; a timer refers to its window by handle, so a timer of
//   a destroyed window does nothing.
// - Loops nest: a modal form runs run_nested_loop() inside a handler of the outer loop. Never
//   keep a pointer to "the current loop"; quit and end conditions are per loop.
// - Handles are 32-bit ids that are never reused within a process; 0 is "no window". The
//   desktop window is the root of every top-level window.
//
// Thread contract: create_window, destroy_window, timers, fd watches and the loops act on the
// calling thread's queue. post_message, send_message(_timeout), is_window, class_name and the
// enumeration functions may be called from any thread.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::window {

using Handle = std::uint32_t;  // a window handle; 0 is none
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using Result = std::intptr_t;

// Message numbers the layer itself produces or understands.
inline constexpr std::uint32_t WM_NULL = 0x0000;
inline constexpr std::uint32_t WM_CREATE = 0x0001;
inline constexpr std::uint32_t WM_DESTROY = 0x0002;
inline constexpr std::uint32_t WM_ACTIVATE = 0x0006;  // wParam WA_ACTIVE: made the foreground window
inline constexpr WParam WA_ACTIVE = 1;
inline constexpr std::uint32_t WM_CLOSE = 0x0010;
inline constexpr std::uint32_t WM_QUIT = 0x0012;
inline constexpr std::uint32_t WM_TIMER = 0x0113;  // wParam = timer id
inline constexpr std::uint32_t WM_USER = 0x0400;

struct Message {
    Handle window = 0;
    std::uint32_t message = 0;
    WParam wparam = 0;
    LParam lparam = 0;
};

// A window procedure. Runs on the window's own thread; its result is what send_message returns.
using Procedure = std::function<Result(Handle, std::uint32_t message, WParam, LParam)>;

// The root of all top-level windows; it has no procedure and no thread.
Handle desktop_window();

// Creates a window of the class `class_name` (compared without regard to case when searched)
// owned by the calling thread, a child of `parent` (0 or desktop_window() for a top-level
// window). The procedure receives WM_CREATE before this returns.
Handle create_window(std::string_view class_name, Handle parent, Procedure procedure,
                     std::string_view text = {});
// Sends WM_DESTROY, destroys the children first, drops the window's timers and pending posted
// messages. Must be called on the owner thread. Unknown handles are ignored.
void destroy_window(Handle window);
// Replaces the procedure (returns the old one), e.g. to subclass a control.
Procedure set_procedure(Handle window, Procedure procedure);

bool is_window(Handle window);
std::string class_name(Handle window);
std::string window_text(Handle window);
void set_window_text(Handle window, std::string_view text);
// The parent; desktop_window() for a top-level window, 0 for the desktop or an unknown handle.
Handle parent_of(Handle window);
std::vector<Handle> children_of(Handle window);  // direct children, in creation order
// True when the window belongs to the calling thread.
bool is_own_window(Handle window);

// Every window whose class name equals `class_name` (without regard to case) among the
// descendants of `root` (children at any depth), in creation order. Thread-safe.
std::vector<Handle> find_windows_of_class(std::string_view class_name, Handle root = 0 /*desktop*/);
// The first top-level window of the class, or 0.
Handle find_window(std::string_view class_name);

// Posts to the owner's queue. False when the window does not exist.
bool post_message(Handle window, std::uint32_t message, WParam wparam = 0, LParam lparam = 0);
// Posts a message with no window to the calling thread's own queue (WM_QUIT and the like).
void post_thread_message(std::uint32_t message, WParam wparam = 0, LParam lparam = 0);
// Calls the procedure, on the owner thread; returns its result (0 for an unknown window).
Result send_message(Handle window, std::uint32_t message, WParam wparam = 0, LParam lparam = 0);

enum class SendStatus { ok, timed_out, no_window };
// As send_message, but gives up after `timeout_ms` (the message is then dropped unhandled if
// the owner has not started on it yet). A message sent to the own thread is a direct call.
SendStatus send_message_timeout(Handle window, std::uint32_t message, WParam wparam, LParam lparam,
                                unsigned timeout_ms, Result* result = nullptr);

// Timers: WM_TIMER (wParam = id) is posted to the window every `interval_ms` (0 means once per
// loop iteration, never in a tight loop). Setting an existing id restarts it. Owner thread only.
void set_timer(Handle window, WParam id, unsigned interval_ms);
void kill_timer(Handle window, WParam id);

// File-descriptor watches of the calling thread's loop: `callback(revents)` runs on this thread
// when poll() reports any of `events` (POLLIN, POLLOUT...) on the fd.
using WatchId = std::uint32_t;
WatchId add_fd_watch(int fd, short events, std::function<void(short revents)> callback);
void remove_fd_watch(WatchId id);

// The loop. get_message waits for the next posted message, timer or watch (running sent
// messages, due timers and fd callbacks on the way) and returns false on WM_QUIT.
bool get_message(Message& out);
// As get_message without waiting; false when nothing is pending. A quit request comes back
// as a true result with out.message == WM_QUIT (wParam = exit code) and is removed.
bool peek_message(Message& out);
// Calls the procedure of out.window (messages without a window are ignored).
Result dispatch_message(const Message& message);
void post_quit_message(int exit_code);
// Runs until WM_QUIT; returns its exit code.
int run_message_loop();
// Handles everything pending now (sent, posted, due timers, ready fds) without waiting.
// A WM_QUIT found on the way is put back so that the outer loop sees it.
void process_messages();
// A nested loop for modal forms and waits: handles messages until `done()` is true (checked
// after every message) or WM_QUIT arrives (which is put back for the outer loop and ends the
// nested one). Returns false when it ended because of WM_QUIT.
bool run_nested_loop(const std::function<bool()>& done);
// As run_nested_loop with an upper bound; returns false on WM_QUIT or when the time ran out.
bool run_nested_loop_for(const std::function<bool()>& done, unsigned timeout_ms);

// The wait hook: lets another event system (a GUI toolkit) do the sleeping of this thread's
// loops, so that it paints and takes input while we wait. Where a loop would sleep in poll(),
// it calls wait() with the same poll set (slot 0 the queue's waker, then the watched fds) and
// the next deadline; the hook returns once any of them is ready (revents set, as poll() would)
// or the deadline passed, or earlier: the loop then just looks again. Our loop stays the
// master; a loop that the other system runs by itself (a menu, a drag) calls pump_foreign()
// whenever the waker, a watched fd or the deadline of current_wait_set() is due, and is told
// of changes to that set through schedule_changed(), which set_timer, kill_timer and the fd
// watch calls make. Per thread; the hook is called on the thread that installed it.
class WaitHook {
  public:
    virtual ~WaitHook() = default;
    // Returns the number of ready fds (0 when the deadline came first or it woke for
    // something of its own). `deadline_ns` is on the monotonic clock; INT64_MAX is none.
    virtual int wait(std::vector<pollfd>& fds, std::int64_t deadline_ns) = 0;
    virtual void schedule_changed() {}
};
// Installs the hook for the calling thread's loops (nullptr: poll() again); returns the
// previous one. The caller keeps ownership and uninstalls it before freeing it.
WaitHook* set_wait_hook(WaitHook* hook);
// What the calling thread's loop waits on: its waker and watched fds, and the next timer
// deadline (INT64_MAX when no timer runs).
struct WaitSet {
    std::vector<pollfd> fds;
    std::int64_t deadline_ns = INT64_MAX;
};
WaitSet current_wait_set();
// For a loop that another event system runs: takes the wake-up and handles everything that is
// due now (as process_messages), without waiting.
void pump_foreign();

// Extension point for delivering messages to windows of other processes: when installed, it is
// called by broadcast_to_class() once per call, after the local windows were posted to.
using RemoteBroadcaster =
    std::function<void(std::string_view class_name, std::uint32_t message, WParam wparam, LParam lparam)>;
void set_remote_broadcaster(RemoteBroadcaster broadcaster);
// Posts the message to every window of the class under the desktop (children included) in
// this process, then hands it to the remote broadcaster if one is installed. Returns the
// number of local windows posted to.
int broadcast_to_class(std::string_view class_name, std::uint32_t message, WParam wparam, LParam lparam);
// Delivers a message that came from another process to the local windows of the class.
int deliver_from_remote(std::string_view class_name, std::uint32_t message, WParam wparam, LParam lparam);

// The foreground window: the one window of this process a person works with now.
// set_foreground_window makes the top-level window that holds `window` the foreground window
// and posts it WM_ACTIVATE (WA_ACTIVE), so that its owner brings it to the front; false for an
// unknown window or the desktop. foreground_window is 0 when none was set or it is gone.
// Any thread.
bool set_foreground_window(Handle window);
Handle foreground_window();

// Extension point for windows of other processes: when installed, asked by
// bring_window_of_class_to_front to have the first window of the class in another process made
// that process's foreground window; true when one was. It must not wait without a bound.
using RemoteForeground = std::function<bool(std::string_view class_name)>;
void set_remote_foreground(RemoteForeground finder);
// Makes the first window of the class (compared without regard to case, child windows
// included) the foreground window: one of this process when there is one, else, through the
// extension point, one of another process. True when a window was found. Main thread of the
// bus (the extension point may wait for the other processes' answers in a nested loop).
bool bring_window_of_class_to_front(std::string_view class_name);

// Test support: destroys every window and timer of the calling thread and empties its queue.
void reset_thread_state_for_tests();
// Test support: what waits in the calling thread's queue right now.
struct QueueCounts {
    std::size_t sent = 0;  // sent from other threads, not yet started
    std::size_t posted = 0;
};
QueueCounts queue_counts_for_tests();

}  // namespace platform::window
