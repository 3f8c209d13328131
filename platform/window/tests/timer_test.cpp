// Timers: repeats, restarts, kills, no pile-up, and zero intervals that starve nothing.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "platform/window/tests/loop_helpers.h"

namespace platform::window {
namespace {

using testing::guard_ms;
using testing::Reaper;
using testing::WindowTest;

class Timers : public WindowTest {
  protected:
    std::map<WParam, int> fired;
    Handle make_window() {
        return create_window("TestTimers", 0,
                             [this](Handle, std::uint32_t message, WParam wparam, LParam) -> Result {
                                 if (message == WM_TIMER) ++fired[wparam];
                                 return 0;
                             });
    }
};

TEST_F(Timers, ATimerRepeatsUntilKilled) {
    const Handle w = make_window();
    set_timer(w, 7, 2);
    ASSERT_TRUE(run_nested_loop_for([&] { return fired[7] >= 3; }, guard_ms));
    kill_timer(w, 7);
    const int at_kill = fired[7];
    EXPECT_FALSE(run_nested_loop_for([] { return false; }, 30));
    EXPECT_EQ(fired[7], at_kill);
}

TEST_F(Timers, DestroyingTheWindowStopsItsTimers) {
    const Handle w = make_window();
    const Handle other = make_window();
    set_timer(w, 1, 1);
    set_timer(other, 2, 1);
    destroy_window(w);
    // The other timer shows that the loop ran long enough for the first one to have fired.
    ASSERT_TRUE(run_nested_loop_for([&] { return fired[2] >= 5; }, guard_ms));
    EXPECT_EQ(fired.count(1), 0u);
}

TEST_F(Timers, MissedTurnsDoNotPileUp) {
    const Handle w = make_window();
    set_timer(w, 1, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // thirty turns missed
    process_messages();
    EXPECT_EQ(fired[1], 1);
}

TEST_F(Timers, SettingAnExistingIdRestartsItInsteadOfAddingOne) {
    const Handle w = make_window();
    set_timer(w, 1, 1);
    set_timer(w, 1, 1);
    set_timer(w, 1, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    process_messages();
    EXPECT_EQ(fired[1], 1);
}

TEST_F(Timers, TimerMessagesWaitBehindPostedOnes) {
    std::vector<std::uint32_t> order;
    const Handle w =
        create_window("TestTimers", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_TIMER || message == WM_USER) order.push_back(message);
            return 0;
        });
    set_timer(w, 1, 0);
    post_message(w, WM_USER);
    post_message(w, WM_USER);
    process_messages();
    EXPECT_EQ(order, (std::vector<std::uint32_t>{WM_USER, WM_USER, WM_TIMER}));
}

TEST_F(Timers, AZeroIntervalTimerDoesNotStarvePostedMessagesOrTheOtherTimers) {
    int chain = 0;
    const Handle w = create_window("TestTimers", 0,
                                   [&](Handle self, std::uint32_t message, WParam wparam, LParam) -> Result {
                                       if (message == WM_TIMER) ++fired[wparam];
                                       if (message == WM_USER && ++chain < 100)
                                           post_message(self, WM_USER);  // one at a time
                                       return 0;
                                   });
    set_timer(w, 0, 0);
    set_timer(w, 1, 2);
    post_message(w, WM_USER);
    ASSERT_TRUE(run_nested_loop_for([&] { return chain >= 100 && fired[1] >= 2; }, guard_ms));
    EXPECT_GT(fired[0], 0);
}

TEST_F(Timers, AZeroIntervalTimerFiresOncePerProcessMessages) {
    const Handle w = make_window();
    set_timer(w, 3, 0);
    process_messages();  // must return although the timer is always due
    EXPECT_EQ(fired[3], 1);
    process_messages();
    EXPECT_EQ(fired[3], 2);
}

TEST_F(Timers, GetMessageSleepsUntilTheTimerIsDue) {
    const Handle w = make_window();
    Reaper reaper;
    const auto start = std::chrono::steady_clock::now();
    set_timer(w, 9, 20);
    Message m;
    ASSERT_TRUE(get_message(m));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20)) << "never early";
    EXPECT_EQ(m.window, w);
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(m.wparam, 9u);
}

TEST_F(Timers, ATimerCannotBeSetOnAnotherThreadsWindow) {
    std::atomic<int> foreign_timers{0};
    Handle foreign = 0;
    {
        testing::LoopThread owner([&] {
            foreign =
                create_window("TestTimers", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
                    if (message == WM_TIMER) ++foreign_timers;
                    return 0;
                });
        });
        set_timer(foreign, 1, 0);  // not ours: ignored
        const Handle mine = make_window();
        set_timer(mine, 2, 1);
        ASSERT_TRUE(run_nested_loop_for([&] { return fired[2] >= 3; }, guard_ms));
        owner.run([] {});
    }
    EXPECT_EQ(foreign_timers.load(), 0);
    EXPECT_EQ(fired.count(1), 0u);
}

}  // namespace
}  // namespace platform::window
