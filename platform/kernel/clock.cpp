#include <sched.h>
#include <time.h>

#include <thread>

#include "platform/kernel/kernel.h"

namespace platform::kernel {

std::int64_t monotonic_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::uint64_t monotonic_ms() {
    return static_cast<std::uint64_t>(monotonic_ns() / 1'000'000);
}

std::uint32_t tick_count() {
    return static_cast<std::uint32_t>(monotonic_ms());
}

void sleep_ms(unsigned ms) {
    if (ms == 0) {
        sched_yield();
        return;
    }
    // sleep_for resumes after signals by itself.
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Deadline::Deadline(unsigned timeout_ms)
    : infinite_(timeout_ms == infinite),
      at_ns_(infinite_ ? INT64_MAX : monotonic_ns() + static_cast<std::int64_t>(timeout_ms) * 1'000'000) {}

Deadline Deadline::at(std::int64_t monotonic_ns) {
    Deadline d(0);
    d.at_ns_ = monotonic_ns;
    return d;
}

bool Deadline::expired() const {
    return !infinite_ && monotonic_ns() >= at_ns_;
}

unsigned Deadline::remaining_ms() const {
    if (infinite_) return infinite;
    const std::int64_t left = at_ns_ - monotonic_ns();
    if (left <= 0) return 0;
    return static_cast<unsigned>((left + 999'999) / 1'000'000);
}

}  // namespace platform::kernel
