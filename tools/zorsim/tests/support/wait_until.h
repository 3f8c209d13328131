// Every test that waits, waits through this: it polls in small steps and gives up at the
// time-out, so a fault makes a test fail instead of hang.
#pragma once

#include <chrono>
#include <thread>

namespace zorsim::test {

template <typename Predicate>
bool wait_until(Predicate done, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace zorsim::test
