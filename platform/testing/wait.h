// Every test that waits on another thread or process waits through this: it looks in small
// steps and gives up at the time-out, so a fault makes a test fail instead of hang.
// Threads: any thread may wait; `done` runs on the waiting thread.
#pragma once

#include <chrono>
#include <functional>

namespace zor_testing {

// Longer than any correct wait, short enough to end a hung test well before ctest would.
inline constexpr std::chrono::milliseconds guard_time{30'000};

// Looks at `done` until it holds or `timeout` passes; the answer of the last look.
bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout = guard_time);

}  // namespace zor_testing
