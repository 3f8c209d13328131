// The serial layer's millisecond clock and its timers in 55-ms ticks.
//
// A tick timer is a start tick and an expiry tick (signed 32-bit). One tick is 55 ms; a timer is
// at most 39,045,157 ticks long (just under 2^31 ms). NewTimer(t, n) starts it now; it has expired
// once the tick count has moved past the expiry tick, so a timer of n ticks expires after n + 1
// tick changes, and one of 0 ticks as soon as the tick count moves on.
//
// Wrap: the tick count is taken from the platform's 64-bit monotonic millisecond clock (divided
// by 55, then kept to 32 bits), and expiry is decided on the ticks elapsed since the start, in
// modular 32-bit arithmetic. A timer pending when the 32-bit millisecond clock wraps (every 49.7
// days of uptime) therefore expires on time, and so does one pending when the tick count itself
// wraps.
//
// Thread contract: no locks; the clock and the timer functions may be called from any thread. A
// timer record is guarded by whoever holds it (the dispatcher's general lock).
#pragma once

#include <cstdint>
#include <functional>

namespace serial {

inline constexpr std::uint32_t kTickMs = 55;
inline constexpr std::int32_t kMaxTimerTicks = 39'045'157;

struct TTimerRecord {
    std::int32_t StartTicks = 0;
    std::int32_t ExpireTicks = 0;
};

// Milliseconds of the layer's clock (low 32 bits; wraps after 49.7 days).
std::uint32_t AdTimeGetTime();

// The tick count now: the 64-bit clock divided by 55, low 32 bits.
std::int32_t CurrentTicks();

// Starts `timer` now: start := now; expiry := start + min(ticks, 39,045,157). Negative ticks count
// as 0.
void NewTimer(TTimerRecord& timer, std::int32_t ticks);

// True once the tick count has moved past the expiry tick.
bool TimerExpired(const TTimerRecord& timer);
// The same test against a given tick count (pure; for tests and for scans that take `now` once).
bool TimerExpiredAt(const TTimerRecord& timer, std::int32_t now_ticks);

// The layer's clock in full (64 bits of milliseconds; the test clock when one is set).
std::uint64_t ClockMs();
// Milliseconds from `now_ms` (of ClockMs) until the timer expires, i.e. until the tick count
// moves past its expiry tick; 0 when it has expired.
std::uint64_t MsUntilExpiry(const TTimerRecord& timer, std::uint64_t now_ms);
// The moment `clock_ms` (of ClockMs) on the platform's monotonic clock, in nanoseconds, for
// waits that must end exactly then (with a test clock: that far from now).
std::int64_t MonotonicNsAt(std::uint64_t clock_ms);

// Ticks of a high-resolution counter per millisecond for a counter frequency in Hz: frequency div
// 1000, plus 1 when frequency mod 1000 is above 500; 0 (counter not usable) when the frequency is
// 0 or does not fit in 32 bits.
std::uint32_t TicksPerMs(std::uint64_t frequency);

// The clock's unit state: a replacement 64-bit millisecond clock for tests. Empty (the default)
// means the platform's monotonic clock.
struct ClockState {
    std::function<std::uint64_t()> now_ms;
};
ClockState& clock_state();
// Test support: back to the platform clock.
void reset_clock_state_for_tests();

}  // namespace serial
