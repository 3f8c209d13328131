// Guards for tests that wait on other threads: a test that would hang fails instead.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace platform::kernel::testing {

// Polls `done` in small steps until it holds or `timeout` passes; returns the last answer.
inline bool wait_until(const std::function<bool()>& done,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace platform::kernel::testing
