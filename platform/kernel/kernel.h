// Kernel objects: events, waits, threads, critical sections, interlocked counters, clocks.
//
// The model:
// - An Event is either auto-reset (a successful wait consumes it, so exactly one waiter is
//   released per set()) or manual-reset (it stays set and releases every waiter until reset()).
//   Several set() calls before a wait count as one.
// - wait_any / wait_all block on up to `max_wait_objects` events with a time-out in
//   milliseconds (`infinite` for none). The time-out is turned once into a deadline on the
//   monotonic clock; wake-ups that do not satisfy the wait sleep again for the time left.
//   wait_any: the lowest signalled index wins and only that event is consumed. wait_all: the
//   wait completes only when every event is set at the same moment, and then consumes all
//   auto-reset ones at once. A time-out is a result of its own, never a failure; `failed` means
//   the call itself was wrong (no events, a null pointer, too many, a repeat in wait_all).
// - A Thread runs its body at once. join() waits for it; wait_for_end() waits with a time-out
//   and can be called from any number of threads. A Thread that is destroyed while its body
//   still runs detaches it (the body then frees itself when it ends). An exception that escapes
//   a body goes to the handler set with set_thread_exception_handler (stderr by default).
//   Priorities are recorded but not applied (raising them needs privileges on Linux).
// - CriticalSection is re-entrant for its owner thread. held() is for asserts on lock order.
//   Never wait on an event or call out to other code while holding one.
// - tick_count() is the low 32 bits of a monotonic millisecond clock, so it wraps after about
//   49.7 days; compare tick counts only by unsigned difference. monotonic_ms() never wraps.
//
// Thread contract: every function here may be called from any thread. An Event or
// CriticalSection must outlive every wait or enter on it.
#pragma once

#include <atomic>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>

namespace platform::kernel {

// ---------------------------------------------------------------------------------------------
// Clocks and time-outs

inline constexpr unsigned infinite = 0xFFFFFFFFu;  // a time-out that never runs out

// Milliseconds since an arbitrary point, from the monotonic clock, wrapping at 2^32.
std::uint32_t tick_count();
// Milliseconds since the same point, 64 bits: never wraps in practice.
std::uint64_t monotonic_ms();
// Sleeps for `ms` milliseconds; 0 gives up the rest of the time slice.
void sleep_ms(unsigned ms);

// A time-out turned into an absolute deadline on the monotonic clock, computed once.
class Deadline {
  public:
    explicit Deadline(unsigned timeout_ms);
    // The deadline at a given moment of monotonic_ns().
    static Deadline at(std::int64_t monotonic_ns);
    bool is_infinite() const { return infinite_; }
    bool expired() const;
    // Milliseconds left, rounded up so that a wait never ends early; `infinite` when infinite.
    unsigned remaining_ms() const;
    // Nanoseconds on the monotonic clock (as clock_gettime(CLOCK_MONOTONIC)) at the deadline.
    std::int64_t at_ns() const { return at_ns_; }

  private:
    bool infinite_;
    std::int64_t at_ns_;
};

// Nanoseconds of CLOCK_MONOTONIC.
std::int64_t monotonic_ns();

// ---------------------------------------------------------------------------------------------
// Events and waits

inline constexpr std::size_t max_wait_objects = 64;

enum class WaitStatus { signalled, timed_out, failed };

struct WaitResult {
    WaitStatus status = WaitStatus::failed;
    std::size_t index = 0;  // for `signalled` from wait_any: which event; 0 from wait_all
    bool signalled() const { return status == WaitStatus::signalled; }
    bool timed_out() const { return status == WaitStatus::timed_out; }
};

enum class ResetMode { automatic, manual };

class Event {
  public:
    explicit Event(ResetMode mode = ResetMode::automatic, bool initially_set = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Sets the event. Auto-reset: releases one waiter (the one waiting longest that the event
    // completes) or, with none, stays set until a wait consumes it.
    void set();
    void reset();
    // Releases the waiters that the event can complete right now (all of them for manual
    // reset, at most one for auto reset) and leaves the event reset, whoever was released.
    void pulse();
    // The state at this moment (for tests and asserts; it may change right after).
    bool is_set() const;
    ResetMode mode() const;

    WaitResult wait(unsigned timeout_ms = infinite);

    struct Impl;
    Impl* impl() const { return impl_.get(); }

  private:
    std::unique_ptr<Impl> impl_;
};

WaitResult wait_for(Event& event, unsigned timeout_ms);
WaitResult wait_any(std::span<Event* const> events, unsigned timeout_ms);
WaitResult wait_all(std::span<Event* const> events, unsigned timeout_ms);
WaitResult wait_any(std::initializer_list<Event*> events, unsigned timeout_ms);
WaitResult wait_all(std::initializer_list<Event*> events, unsigned timeout_ms);
// Waits until the deadline at most (to the clock's resolution, not to whole milliseconds).
WaitResult wait_any(std::initializer_list<Event*> events, const Deadline& deadline);

// ---------------------------------------------------------------------------------------------
// Threads

// A small number unique to each thread of the process, never reused; never 0.
using ThreadId = std::uint32_t;
ThreadId current_thread_id();
// Names the calling thread for the system's tools (profilers, /proc); at most 15 characters count.
void set_current_thread_name(const char* name);

enum class ThreadPriority : int {
    idle = -15,
    lowest = -2,
    below_normal = -1,
    normal = 0,
    above_normal = 1,
    highest = 2,
    time_critical = 15,
};

class Thread {
  public:
    Thread() = default;
    // Starts `body` on a new thread at once.
    explicit Thread(std::function<void()> body, ThreadPriority priority = ThreadPriority::normal);
    ~Thread();  // detaches a body that still runs
    Thread(Thread&&) noexcept;
    Thread& operator=(Thread&&) noexcept;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    bool started() const { return static_cast<bool>(shared_); }
    // 0 until the new thread has begun (start() does not wait for it).
    ThreadId id() const;
    // True once the body has returned (or thrown).
    bool finished() const;
    // Waits for the body to end; signalled, or timed_out. Callable from any thread.
    WaitResult wait_for_end(unsigned timeout_ms = infinite) const;
    // Waits for the end and releases the thread. Must not be called from the thread itself.
    void join();
    // Lets the body run on by itself; this object then refers to no thread.
    void detach();

    void set_priority(ThreadPriority priority);  // recorded only
    ThreadPriority priority() const;

    struct Shared;

  private:
    std::shared_ptr<Shared> shared_;
};

// Receives exceptions that escape a thread body. An empty function restores the default.
void set_thread_exception_handler(std::function<void(std::exception_ptr)> handler);

// ---------------------------------------------------------------------------------------------
// Critical sections

class CriticalSection {
  public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter();
    bool try_enter();
    void leave();  // only by the owner, once per enter
    // True when the calling thread owns it. Meant for assert(cs.held()) on lock order.
    bool held() const;
    // How many times the owner has entered it (0 when not held by the calling thread).
    unsigned depth() const;

    // BasicLockable, so std::lock_guard / std::unique_lock work too.
    void lock() { enter(); }
    bool try_lock() { return try_enter(); }
    void unlock() { leave(); }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Enters on construction, leaves on destruction.
class CriticalSectionGuard {
  public:
    explicit CriticalSectionGuard(CriticalSection& section) : section_(section) { section_.enter(); }
    ~CriticalSectionGuard() { section_.leave(); }
    CriticalSectionGuard(const CriticalSectionGuard&) = delete;
    CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

  private:
    CriticalSection& section_;
};

// ---------------------------------------------------------------------------------------------
// Interlocked counters (sequentially consistent)

template <std::integral T>
T interlocked_increment(std::atomic<T>& value) {  // returns the new value
    return value.fetch_add(1) + 1;
}
template <std::integral T>
T interlocked_decrement(std::atomic<T>& value) {  // returns the new value
    return value.fetch_sub(1) - 1;
}
template <std::integral T>
T interlocked_add(std::atomic<T>& value, T amount) {  // returns the value before
    return value.fetch_add(amount);
}
template <std::integral T>
T interlocked_exchange(std::atomic<T>& value, T replacement) {  // returns the value before
    return value.exchange(replacement);
}
// Stores `replacement` when the value equals `comparand`; returns the value before either way.
template <std::integral T>
T interlocked_compare_exchange(std::atomic<T>& value, T replacement, T comparand) {
    value.compare_exchange_strong(comparand, replacement);
    return comparand;
}

// ---------------------------------------------------------------------------------------------
// Test support: restores the default thread exception handler.
void reset_kernel_state_for_tests();

}  // namespace platform::kernel
