// The message loop, timers and fd watches of a thread.
//
// One step of a loop: handle the sent messages; poll the watched fds without waiting and run
// their callbacks; then take, in this order, a posted message, a quit request, or a due timer
// (a WM_TIMER is made only when nothing is posted, so timers never pile up). Only when there
// is nothing at all does the step sleep in poll() on the waker (slot 0) and the watched fds,
// until the next timer deadline at most, or hands that sleep to the thread's wait hook. Each
// step reads the monotonic clock once.
#include <algorithm>

#include "platform/window/window_state.h"

namespace platform::window {

using namespace detail;

namespace {

constexpr std::int64_t no_deadline = INT64_MAX;
constexpr std::uint64_t any_sequence = UINT64_MAX;

enum class Step { idle, worked, message, quit };

struct StepOptions {
    bool may_wait = false;
    std::int64_t deadline_ns = no_deadline;      // when waiting
    std::uint64_t last_sequence = any_sequence;  // posted messages after this one are left
    bool poll_fds = true;
};

std::int64_t ms_to_ns(unsigned ms) {
    return static_cast<std::int64_t>(ms) * 1'000'000;
}

void rebuild_pollset(Queue& q) {
    if (!q.pollset_dirty) return;
    q.pollset.clear();
    q.pollset.push_back({q.waker.fd(), POLLIN, 0});
    for (const Watch& w : q.watches) q.pollset.push_back({w.fd, w.events, 0});
    q.pollset_dirty = false;
}

// Runs the callbacks of the watches that the last poll found ready; returns how many ran.
int run_ready_watches(Queue& q) {
    struct Ready {
        WatchId id;
        short revents;
        std::shared_ptr<std::function<void(short)>> callback;
    };
    std::vector<Ready> ready;
    for (std::size_t i = 1; i < q.pollset.size(); ++i) {
        if (q.pollset[i].revents == 0) continue;
        ready.push_back({q.watches[i - 1].id, q.pollset[i].revents, q.watches[i - 1].callback});
        q.pollset[i].revents = 0;
    }
    int ran = 0;
    for (const Ready& r : ready) {
        // An earlier callback may have removed this watch.
        if (std::none_of(q.watches.begin(), q.watches.end(), [&](const Watch& w) { return w.id == r.id; }))
            continue;
        if (r.revents & POLLNVAL) remove_fd_watch(r.id);  // a closed fd would be reported forever
        ++ran;
        (*r.callback)(r.revents);
    }
    return ran;
}

// The earliest live timer deadline, dropping stale heap entries; no_deadline when none.
std::int64_t next_timer_due(Queue& q) {
    while (!q.timer_heap.empty()) {
        const TimerDue& top = q.timer_heap.top();
        auto it = q.timers.find({top.window, top.id});
        if (it != q.timers.end() && it->second.generation == top.generation) return top.due_ns;
        q.timer_heap.pop();
    }
    return no_deadline;
}

// Takes a due timer that has not fired in this iteration and schedules its next turn.
bool take_due_timer(Queue& q, std::int64_t now, Message& out) {
    std::vector<TimerDue> skipped;
    bool found = false;
    while (next_timer_due(q) <= now) {
        TimerDue due = q.timer_heap.top();
        q.timer_heap.pop();
        Timer& timer = q.timers.at({due.window, due.id});
        if (timer.fired_iteration == q.iteration) {
            skipped.push_back(due);
            continue;
        }
        timer.fired_iteration = q.iteration;
        // Keep the cadence, but never queue up turns that were missed while busy.
        std::int64_t next = due.due_ns + ms_to_ns(timer.interval_ms);
        if (next < now) next = now + ms_to_ns(timer.interval_ms);
        timer.generation = q.next_timer_generation++;
        q.timer_heap.push({next, timer.generation, due.window, due.id});
        out = {due.window, WM_TIMER, due.id, 0};
        found = true;
        break;
    }
    for (const TimerDue& d : skipped) q.timer_heap.push(d);
    return found;
}

Step step(Queue& q, Message& out, const StepOptions& options) {
    bool worked = run_sent_messages(q) > 0;
    const std::int64_t now = kernel::monotonic_ns();

    // A step that may wait looks at the watches in its wait anyway; right after a wait that ran
    // them there is nothing to look for first.
    const bool skip_look = q.watches_just_run && options.may_wait;
    q.watches_just_run = false;
    if (!skip_look && options.poll_fds && !q.watches.empty()) {
        rebuild_pollset(q);
        if (poll_until(q.pollset, 0) > 0) worked = run_ready_watches(q) > 0 || worked;
    }

    {
        std::lock_guard lock(q.lock);
        if (!q.posted.empty() && q.posted.front().sequence <= options.last_sequence) {
            out = q.posted.front().message;
            q.posted.pop_front();
            if (out.window == 0 && out.message == WM_QUIT) return Step::quit;
            return Step::message;
        }
    }
    if (q.quit_pending) {
        q.quit_pending = false;
        out = {0, WM_QUIT, static_cast<WParam>(q.quit_code), 0};
        return Step::quit;
    }
    if (take_due_timer(q, now, out)) return Step::message;
    if (worked) return Step::worked;
    if (!options.may_wait) return Step::idle;

    std::int64_t until = std::min(options.deadline_ns, next_timer_due(q));
    {
        std::lock_guard lock(q.lock);
        if (!q.sent.empty() || (!q.posted.empty() && q.posted.front().sequence <= options.last_sequence))
            return Step::worked;
        q.take_wake_locked();
    }
    rebuild_pollset(q);
    for (pollfd& p : q.pollset) p.revents = 0;
    if (until <= now) return Step::idle;
    const int ready = q.hook ? q.hook->wait(q.pollset, until) : poll_until(q.pollset, until);
    if (ready > 0 && run_ready_watches(q) > 0) {
        q.watches_just_run = true;
        return Step::worked;
    }
    return Step::idle;
}

}  // namespace

void set_timer(Handle window, WParam id, unsigned interval_ms) {
    if (!is_own_window(window)) return;
    Queue& q = own_queue();
    Timer& timer = q.timers[{window, id}];
    timer.interval_ms = interval_ms;
    timer.generation = q.next_timer_generation++;
    timer.fired_iteration = 0;
    q.timer_heap.push({kernel::monotonic_ns() + ms_to_ns(interval_ms), timer.generation, window, id});
    q.schedule_changed();
}

void kill_timer(Handle window, WParam id) {
    Queue& q = own_queue();
    if (q.timers.erase({window, id}) > 0) q.schedule_changed();
}

WatchId add_fd_watch(int fd, short events, std::function<void(short revents)> callback) {
    Queue& q = own_queue();
    const WatchId id = window_state().next_watch.fetch_add(1);
    q.watches.push_back({id, fd, events, std::make_shared<std::function<void(short)>>(std::move(callback))});
    q.pollset_dirty = true;
    q.schedule_changed();
    return id;
}

void remove_fd_watch(WatchId id) {
    Queue& q = own_queue();
    auto it = std::find_if(q.watches.begin(), q.watches.end(), [&](const Watch& w) { return w.id == id; });
    if (it == q.watches.end()) return;
    // Keep the results of the current poll lined up with the watches that remain.
    if (!q.pollset_dirty) q.pollset.erase(q.pollset.begin() + 1 + (it - q.watches.begin()));
    q.watches.erase(it);
    q.schedule_changed();
}

WaitHook* set_wait_hook(WaitHook* hook) {
    Queue& q = own_queue();
    WaitHook* previous = q.hook;
    q.hook = hook;
    return previous;
}

WaitSet current_wait_set() {
    Queue& q = own_queue();
    rebuild_pollset(q);
    WaitSet set;
    set.fds = q.pollset;
    for (pollfd& p : set.fds) p.revents = 0;
    set.deadline_ns = next_timer_due(q);
    return set;
}

void pump_foreign() {
    Queue& q = own_queue();
    {
        std::lock_guard lock(q.lock);
        q.take_wake_locked();
    }
    process_messages();
}

bool get_message(Message& out) {
    Queue& q = own_queue();
    ++q.iteration;
    const StepOptions options{.may_wait = true};
    for (;;) {
        switch (step(q, out, options)) {
            case Step::message:
                return true;
            case Step::quit:
                return false;
            case Step::idle:
            case Step::worked:
                break;
        }
    }
}

bool peek_message(Message& out) {
    Queue& q = own_queue();
    ++q.iteration;
    const Step s = step(q, out, StepOptions{});
    return s == Step::message || s == Step::quit;
}

void post_quit_message(int exit_code) {
    Queue& q = own_queue();
    q.quit_pending = true;
    q.quit_code = exit_code;
}

int run_message_loop() {
    Message message;
    while (get_message(message)) dispatch_message(message);
    return static_cast<int>(message.wparam);
}

void process_messages() {
    Queue& q = own_queue();
    ++q.iteration;  // one iteration for the whole call: each timer fires at most once
    StepOptions options;
    {
        std::lock_guard lock(q.lock);
        options.last_sequence = q.next_sequence - 1;  // what is posted from now on waits
    }
    for (;;) {
        Message message;
        const Step s = step(q, message, options);
        options.poll_fds = false;  // once per call: a busy fd must not keep us here
        switch (s) {
            case Step::message:
                dispatch_message(message);
                break;
            case Step::quit:
                post_quit_message(static_cast<int>(message.wparam));
                return;
            case Step::worked:
                break;
            case Step::idle:
                return;
        }
    }
}

bool run_nested_loop_for(const std::function<bool()>& done, unsigned timeout_ms) {
    Queue& q = own_queue();
    const kernel::Deadline deadline(timeout_ms);
    const StepOptions options{.may_wait = true,
                              .deadline_ns = deadline.is_infinite() ? no_deadline : deadline.at_ns()};
    for (;;) {
        if (done()) return true;
        if (deadline.expired()) return false;
        ++q.iteration;
        Message message;
        switch (step(q, message, options)) {
            case Step::message:
                dispatch_message(message);
                break;
            case Step::quit:
                post_quit_message(static_cast<int>(message.wparam));  // for the outer loop
                return false;
            case Step::worked:
            case Step::idle:
                break;
        }
    }
}

bool run_nested_loop(const std::function<bool()>& done) {
    return run_nested_loop_for(done, kernel::infinite);
}

QueueCounts queue_counts_for_tests() {
    Queue& q = own_queue();
    std::lock_guard lock(q.lock);
    return {q.sent.size(), q.posted.size()};
}

void reset_thread_state_for_tests() {
    std::vector<Handle> own;
    {
        WindowState& state = window_state();
        std::lock_guard lock(state.table_lock);
        for (const auto& [handle, record] : state.windows)
            if (record->owner && record->owner_thread == kernel::current_thread_id()) own.push_back(handle);
    }
    std::sort(own.begin(), own.end());
    for (Handle h : own) destroy_window(h);  // children go with their parents; repeats are ignored
    Queue& q = own_queue();
    std::vector<std::shared_ptr<SentItem>> released;
    {
        std::lock_guard lock(q.lock);
        q.posted.clear();
        released.assign(q.sent.begin(), q.sent.end());
        q.sent.clear();
    }
    for (const auto& item : released) complete_sent(item, SendStatus::no_window, 0);
    q.timers.clear();
    q.timer_heap = {};
    q.watches.clear();
    q.pollset_dirty = true;
    q.quit_pending = false;
    q.quit_code = 0;
}

}  // namespace platform::window
