// What the queues need from the operating system: a wake-up fd and a poll that waits until a
// deadline. The Linux version is in poller_unix.cpp.
#pragma once

#include <poll.h>

#include <cstdint>
#include <vector>

namespace platform::window::detail {

// An eventfd that other threads write to when they give the queue work.
class Waker {
  public:
    Waker();
    ~Waker();
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;

    int fd() const { return fd_; }
    void signal();  // makes fd() readable
    void drain();   // makes fd() unreadable again

  private:
    int fd_;
};

// Waits until an fd of `fds` is ready or the monotonic clock reaches `deadline_ns`
// (INT64_MAX: no deadline). Signals are retried with the time left. Returns the number of ready
// fds (their revents set), 0 when the deadline came first.
int poll_until(std::vector<pollfd>& fds, std::int64_t deadline_ns);

}  // namespace platform::window::detail
