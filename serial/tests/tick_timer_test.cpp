// Tick timers on an injected clock, the base component and the small helpers.
#include "serial/tick_timer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "platform/window/window.h"
#include "serial/base_component.h"
#include "serial/misc.h"

namespace {

using namespace serial;

class TickTimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock_state().now_ms = [this] { return now_ms; };
    }
    void TearDown() override { reset_clock_state_for_tests(); }
    // Moves the clock to the start of the next tick.
    void next_tick() { now_ms = (now_ms / kTickMs + 1) * kTickMs; }

    std::uint64_t now_ms = 1'000'000 * kTickMs + 20;
};

TEST_F(TickTimerTest, ZeroTicksExpireWhenTheTickCountMovesOn) {
    TTimerRecord t;
    NewTimer(t, 0);
    EXPECT_EQ(t.StartTicks, t.ExpireTicks);
    EXPECT_FALSE(TimerExpired(t));
    now_ms += 30;  // still the same tick
    EXPECT_FALSE(TimerExpired(t));
    next_tick();
    EXPECT_TRUE(TimerExpired(t));
}

TEST_F(TickTimerTest, NTicksExpireAfterNPlusOneTickChanges) {
    TTimerRecord t;
    NewTimer(t, 9);  // 500 ms of polling interval
    for (int i = 0; i < 9; ++i) {
        next_tick();
        EXPECT_FALSE(TimerExpired(t)) << i;
    }
    next_tick();
    EXPECT_TRUE(TimerExpired(t));
    now_ms += 1'000'000;
    EXPECT_TRUE(TimerExpired(t)) << "stays expired";
}

TEST_F(TickTimerTest, LengthIsCutToTheMaximumAndNeverNegative) {
    TTimerRecord t;
    NewTimer(t, 2'000'000'000);
    EXPECT_EQ(static_cast<std::uint32_t>(t.ExpireTicks - t.StartTicks), 39'045'157u);
    NewTimer(t, -5);
    EXPECT_EQ(t.ExpireTicks, t.StartTicks);
}

TEST_F(TickTimerTest, ATimerPendingAcrossTheMillisecondWrapExpiresOnTime) {
    // 100 ms before the 32-bit millisecond clock wraps (49.7 days of uptime).
    now_ms = (std::uint64_t{1} << 32) - 100;
    TTimerRecord t;
    NewTimer(t, 54);  // 3000-ms reply time-out
    now_ms += 54 * kTickMs - 60;
    EXPECT_FALSE(TimerExpired(t));
    now_ms += 55 + 60;
    EXPECT_TRUE(TimerExpired(t)) << "not 24.9 days late";
}

TEST_F(TickTimerTest, ATimerPendingAcrossATickWrapExpiresOnTime) {
    // Three ticks before the tick count passes 2^31 (signed wrap) and 2^32 (unsigned wrap).
    for (std::uint64_t wrap : {std::uint64_t{1} << 31, std::uint64_t{1} << 32}) {
        now_ms = (wrap - 3) * kTickMs;
        TTimerRecord t;
        NewTimer(t, 5);
        for (int i = 0; i < 5; ++i) {
            next_tick();
            EXPECT_FALSE(TimerExpired(t)) << wrap << " " << i;
        }
        next_tick();
        EXPECT_TRUE(TimerExpired(t)) << wrap;
        EXPECT_TRUE(TimerExpiredAt(t, t.ExpireTicks + 1));
        EXPECT_FALSE(TimerExpiredAt(t, t.ExpireTicks));
    }
}

TEST_F(TickTimerTest, TimeUntilExpiryEndsWhereTheTimerExpires) {
    // Across no wrap, the 32-bit millisecond wrap and both tick wraps: at every millisecond the
    // time left says exactly when TimerExpired turns true.
    for (std::uint64_t start :
         {std::uint64_t{1'000'000} * kTickMs + 20, (std::uint64_t{1} << 32) - 100,
          ((std::uint64_t{1} << 31) - 3) * kTickMs + 54, ((std::uint64_t{1} << 32) - 3) * kTickMs}) {
        for (std::int32_t ticks : {0, 1, 3, 9}) {
            now_ms = start;
            TTimerRecord t;
            NewTimer(t, ticks);
            const std::uint64_t due = start + MsUntilExpiry(t, start);
            EXPECT_EQ(due, (start / kTickMs + std::uint64_t(ticks) + 1) * kTickMs) << start << " " << ticks;
            for (now_ms = start; now_ms < due + 3; ++now_ms) {
                ASSERT_EQ(TimerExpired(t), now_ms >= due) << start << " " << ticks << " " << now_ms;
                ASSERT_EQ(MsUntilExpiry(t, now_ms), now_ms >= due ? 0 : due - now_ms);
            }
        }
    }
    EXPECT_EQ(ClockMs(), now_ms);
}

TEST_F(TickTimerTest, ClockIsTheLow32BitsOfTheInjectedClock) {
    now_ms = (std::uint64_t{1} << 32) + 7;
    EXPECT_EQ(AdTimeGetTime(), 7u);
    EXPECT_EQ(CurrentTicks(), static_cast<std::int32_t>(now_ms / kTickMs));
}

TEST(TickTimer, TicksPerMillisecondRoundToNearest) {
    EXPECT_EQ(TicksPerMs(3'579'545), 3'580u);
    EXPECT_EQ(TicksPerMs(1'193'182), 1'193u);
    EXPECT_EQ(TicksPerMs(1'000'500), 1'000u);
    EXPECT_EQ(TicksPerMs(0), 0u);
    EXPECT_EQ(TicksPerMs(std::uint64_t{1} << 32), 0u) << "too fast a counter is not used";
}

TEST(TickTimer, PlatformClockMoves) {
    reset_clock_state_for_tests();
    std::int32_t first = CurrentTicks();
    usleep(120'000);
    EXPECT_NE(CurrentTicks(), first);
}

TEST(BaseComponent, VersionIsFixed) {
    TSpBaseComponent c;
    EXPECT_EQ(c.Version(), "v4.03");
    c.SetVersion("v9.99");
    EXPECT_EQ(c.Version(), "v4.03");
    EXPECT_FALSE(c.Loading());
}

TEST(Misc, FlagsOffsetsAndFiles) {
    EXPECT_TRUE(FlagIsSet(0x18, 0x08));
    EXPECT_FALSE(FlagIsSet(0x18, 0x04));
    EXPECT_FALSE(FlagIsSet(0, 0xFFFFFFFF));
    char buffer[8];
    EXPECT_EQ(AddOffset(static_cast<void*>(buffer), 5), buffer + 5);

    char name[] = "/tmp/zor_misc_XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_TRUE(ExistFile(name));
    EXPECT_FALSE(ExistFile("/tmp"));
    std::remove(name);
    EXPECT_FALSE(ExistFile(name));
    EXPECT_FALSE(ExistFile(""));
}

TEST(Misc, PumpHandlesOneMessageAndKeepsQuit) {
    namespace win = platform::window;
    win::reset_thread_state_for_tests();
    int handled = 0;
    auto w = win::create_window("ZorPumpTest", 0,
                                [&](win::Handle, std::uint32_t m, win::WParam, win::LParam) -> win::Result {
                                    if (m == win::WM_USER + 5) ++handled;
                                    return 0;
                                });
    EXPECT_EQ(PumpOneMessage(), 0u) << "empty queue";
    win::post_message(w, win::WM_USER + 5);
    win::post_message(w, win::WM_USER + 5);
    EXPECT_EQ(PumpOneMessage(), 0x10000u | (win::WM_USER + 5));
    EXPECT_EQ(handled, 1) << "one message per call";
    EXPECT_NE(PumpOneMessage(), 0u);
    EXPECT_EQ(handled, 2);

    win::post_quit_message(3);
    EXPECT_EQ(PumpOneMessage(), 0x10000u | win::WM_QUIT);
    win::Message m;
    EXPECT_TRUE(win::peek_message(m)) << "the quit message is still there for the owner's loop";
    EXPECT_EQ(m.message, win::WM_QUIT);
    EXPECT_EQ(m.wparam, 3u);
    win::destroy_window(w);
    win::reset_thread_state_for_tests();
}

}  // namespace
