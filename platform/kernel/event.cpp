// Events and waits on them.
//
// Every event keeps the waiters that wait on it, in arrival order. A change that signals an
// event walks those waiters and completes the ones it can right away (consuming auto-reset
// events for them), so a set() on an auto-reset event hands itself to exactly one waiter and
// nobody races for it afterwards. All of this runs under kernel_state().object_lock.
#include <algorithm>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/kernel/kernel_state.h"

namespace platform::kernel {

namespace {
struct Waiter;
}

struct Event::Impl {
    ResetMode mode;
    bool signalled;
    std::vector<Waiter*> waiters;  // in arrival order
};

namespace {

// Shared, so that the one completing a wait can wake the waiter after letting go of the lock:
// woken under it, the waiter would at once block again on that lock.
struct Waiter : std::enable_shared_from_this<Waiter> {
    std::span<Event* const> events;
    bool all = false;
    bool done = false;
    std::size_t index = 0;
    std::condition_variable wake;
};

// Waiters completed under the lock, woken once it is released.
using Completed = std::vector<std::shared_ptr<Waiter>>;

void wake_all(Completed& completed) {
    for (const auto& w : completed) w->wake.notify_one();
}

void consume(Event::Impl& e) {
    if (e.mode == ResetMode::automatic) e.signalled = false;
}

// Completes the wait if the events allow it now, consuming what it takes.
bool try_satisfy(Waiter& w) {
    if (!w.all) {
        for (std::size_t i = 0; i < w.events.size(); ++i) {
            Event::Impl& e = *w.events[i]->impl();
            if (e.signalled) {
                consume(e);
                w.index = i;
                return true;
            }
        }
        return false;
    }
    for (Event* e : w.events)
        if (!e->impl()->signalled) return false;
    for (Event* e : w.events) consume(*e->impl());
    w.index = 0;
    return true;
}

void unregister(Waiter& w) {
    for (Event* e : w.events) std::erase(e->impl()->waiters, &w);
}

void complete(Waiter& w, Completed& completed) {
    w.done = true;
    unregister(w);
    completed.push_back(w.shared_from_this());
}

// Hands a freshly signalled event to its waiters, oldest first, while it stays signalled.
void offer(Event::Impl& e, Completed& completed) {
    if (e.waiters.empty()) return;
    const std::vector<Waiter*> snapshot = e.waiters;  // complete() edits the lists
    for (Waiter* w : snapshot) {
        if (!e.signalled) break;
        if (!w->done && try_satisfy(*w)) complete(*w, completed);
    }
}

bool valid_set(std::span<Event* const> events, bool all) {
    if (events.empty() || events.size() > max_wait_objects) return false;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i] == nullptr) return false;
        if (all)
            for (std::size_t j = 0; j < i; ++j)
                if (events[j] == events[i]) return false;
    }
    return true;
}

WaitResult wait_on(std::span<Event* const> events, bool all, const Deadline& deadline) {
    if (!valid_set(events, all)) return {WaitStatus::failed, 0};
    std::unique_lock lock(kernel_state().object_lock);
    const auto waiter = std::make_shared<Waiter>();
    Waiter& w = *waiter;
    w.events = events;
    w.all = all;
    if (try_satisfy(w)) return {WaitStatus::signalled, w.index};
    if (deadline.expired()) return {WaitStatus::timed_out, 0};
    for (Event* e : events) {
        auto& list = e->impl()->waiters;
        if (std::find(list.begin(), list.end(), &w) == list.end()) list.push_back(&w);
    }
    const auto until = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadline.at_ns()));
    while (!w.done) {
        if (deadline.is_infinite()) {
            w.wake.wait(lock);
        } else if (w.wake.wait_until(lock, until) == std::cv_status::timeout && !w.done) {
            unregister(w);
            return {WaitStatus::timed_out, 0};
        }
    }
    return {WaitStatus::signalled, w.index};
}

WaitResult wait_on(std::span<Event* const> events, bool all, unsigned timeout_ms) {
    return wait_on(events, all, Deadline(timeout_ms));
}

}  // namespace

Event::Event(ResetMode mode, bool initially_set) : impl_(new Impl{mode, initially_set, {}}) {}

Event::~Event() {
    // Destroying an event that somebody waits on is a fault of the caller.
    assert(impl_->waiters.empty());
}

void Event::set() {
    Completed completed;
    {
        std::lock_guard lock(kernel_state().object_lock);
        impl_->signalled = true;
        offer(*impl_, completed);
    }
    wake_all(completed);
}

void Event::reset() {
    std::lock_guard lock(kernel_state().object_lock);
    impl_->signalled = false;
}

void Event::pulse() {
    Completed completed;
    {
        std::lock_guard lock(kernel_state().object_lock);
        impl_->signalled = true;
        offer(*impl_, completed);
        impl_->signalled = false;
    }
    wake_all(completed);
}

bool Event::is_set() const {
    std::lock_guard lock(kernel_state().object_lock);
    return impl_->signalled;
}

ResetMode Event::mode() const {
    return impl_->mode;
}

WaitResult Event::wait(unsigned timeout_ms) {
    return wait_for(*this, timeout_ms);
}

WaitResult wait_for(Event& event, unsigned timeout_ms) {
    Event* one[1] = {&event};
    return wait_on(one, false, timeout_ms);
}

WaitResult wait_any(std::span<Event* const> events, unsigned timeout_ms) {
    return wait_on(events, false, timeout_ms);
}

WaitResult wait_all(std::span<Event* const> events, unsigned timeout_ms) {
    return wait_on(events, true, timeout_ms);
}

WaitResult wait_any(std::initializer_list<Event*> events, unsigned timeout_ms) {
    return wait_on(std::span<Event* const>(events.begin(), events.size()), false, timeout_ms);
}

WaitResult wait_all(std::initializer_list<Event*> events, unsigned timeout_ms) {
    return wait_on(std::span<Event* const>(events.begin(), events.size()), true, timeout_ms);
}

WaitResult wait_any(std::initializer_list<Event*> events, const Deadline& deadline) {
    return wait_on(std::span<Event* const>(events.begin(), events.size()), false, deadline);
}

}  // namespace platform::kernel
