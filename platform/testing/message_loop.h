// Waits for tests whose outcome comes through the calling thread's messages, and a guard for
// tests that run a message loop: a test that would hang fails instead.
// Threads: each serves, and each Reaper guards, the queue of the thread that calls or made it.
#pragma once

#include <chrono>
#include <functional>

#include "platform/testing/wait.h"
#include "platform/window/window.h"

namespace zor_testing {

// As wait_until, serving the calling thread's messages (and its ready descriptors) meanwhile.
bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds timeout = guard_time);

// Serves messages for a while (to show that nothing more comes).
void pump_for(std::chrono::milliseconds time);

// A one-shot timer that fails the test if the calling thread's loop still runs after `ms`, and
// ends it: with `end_loop` where given (modal loops end otherwise), else by a quit message.
class Reaper {
  public:
    explicit Reaper(unsigned ms = 10'000, std::function<void()> end_loop = {});
    ~Reaper();
    Reaper(const Reaper&) = delete;
    Reaper& operator=(const Reaper&) = delete;

    bool fired() const { return fired_; }

  private:
    std::function<void()> end_loop_;
    bool fired_ = false;
    platform::window::Handle window_ = 0;
};

}  // namespace zor_testing
