#include "serial/tick_timer.h"

#include <algorithm>

#include "platform/kernel/kernel.h"

namespace serial {

namespace {

std::uint64_t NowMs() {
    const auto& state = clock_state();
    return state.now_ms ? state.now_ms() : platform::kernel::monotonic_ms();
}

}  // namespace

ClockState& clock_state() {
    static ClockState state;
    return state;
}

void reset_clock_state_for_tests() {
    clock_state() = ClockState{};
}

std::uint32_t AdTimeGetTime() {
    return static_cast<std::uint32_t>(NowMs());
}

std::int32_t CurrentTicks() {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(NowMs() / kTickMs));
}

void NewTimer(TTimerRecord& timer, std::int32_t ticks) {
    ticks = std::clamp(ticks, 0, kMaxTimerTicks);
    timer.StartTicks = CurrentTicks();
    timer.ExpireTicks = static_cast<std::int32_t>(static_cast<std::uint32_t>(timer.StartTicks) +
                                                  static_cast<std::uint32_t>(ticks));
}

bool TimerExpiredAt(const TTimerRecord& timer, std::int32_t now_ticks) {
    // Ticks since the start against the timer's length, both modulo 2^32: right across any wrap
    // of the tick count, since no timer is longer than 2^31 ticks.
    auto elapsed = static_cast<std::uint32_t>(now_ticks) - static_cast<std::uint32_t>(timer.StartTicks);
    auto length =
        static_cast<std::uint32_t>(timer.ExpireTicks) - static_cast<std::uint32_t>(timer.StartTicks);
    return elapsed > length;
}

std::uint64_t ClockMs() {
    return NowMs();
}

std::uint64_t MsUntilExpiry(const TTimerRecord& timer, std::uint64_t now_ms) {
    const std::uint64_t now_ticks = now_ms / kTickMs;
    const auto now = static_cast<std::int32_t>(static_cast<std::uint32_t>(now_ticks));
    if (TimerExpiredAt(timer, now)) return 0;
    // Not expired: the expiry tick is `remaining` ticks ahead, and the timer expires when the
    // tick after it begins.
    const std::uint32_t remaining =
        static_cast<std::uint32_t>(timer.ExpireTicks) - static_cast<std::uint32_t>(now);
    return (now_ticks + remaining + 1) * kTickMs - now_ms;
}

std::int64_t MonotonicNsAt(std::uint64_t clock_ms) {
    const auto& state = clock_state();
    if (!state.now_ms) return static_cast<std::int64_t>(clock_ms) * 1'000'000;
    const std::uint64_t now = state.now_ms();
    const std::uint64_t ahead = clock_ms > now ? clock_ms - now : 0;
    return platform::kernel::monotonic_ns() + static_cast<std::int64_t>(ahead) * 1'000'000;
}

bool TimerExpired(const TTimerRecord& timer) {
    return TimerExpiredAt(timer, CurrentTicks());
}

std::uint32_t TicksPerMs(std::uint64_t frequency) {
    if ((frequency >> 32) != 0 || frequency == 0) return 0;
    auto f = static_cast<std::uint32_t>(frequency);
    return f / 1000 + (f % 1000 > 500 ? 1 : 0);
}

}  // namespace serial
