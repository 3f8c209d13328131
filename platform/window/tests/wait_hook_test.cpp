// The wait hook: the loop hands its sleep to another event system and learns about changes to
// what it waits on; pump_foreign serves the queue from a loop that is not ours.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <thread>

#include "platform/kernel/kernel.h"
#include "platform/window/tests/loop_helpers.h"

namespace platform::window {
namespace {

using testing::guard_ms;
using testing::WindowTest;

// Sleeps as the loop itself would, and records what it was asked.
class RecordingHook : public WaitHook {
  public:
    int wait(std::vector<pollfd>& fds, std::int64_t deadline_ns) override {
        ++waits;
        last_fds = fds;
        last_deadline_ns = deadline_ns;
        if (wake_early) {  // a toolkit that woke for an event of its own
            wake_early = false;
            return 0;
        }
        const std::int64_t now = kernel::monotonic_ns();
        const int timeout_ms =
            deadline_ns == INT64_MAX
                ? -1
                : static_cast<int>(std::max<std::int64_t>(0, (deadline_ns - now + 999'999) / 1'000'000));
        return ::poll(fds.data(), fds.size(), timeout_ms);
    }
    void schedule_changed() override { ++changes; }

    int waits = 0;
    int changes = 0;
    bool wake_early = false;
    std::vector<pollfd> last_fds;
    std::int64_t last_deadline_ns = 0;
};

class WaitHooks : public WindowTest {
  protected:
    void SetUp() override { previous_ = set_wait_hook(&hook); }
    void TearDown() override {
        set_wait_hook(previous_);
        WindowTest::TearDown();
    }
    RecordingHook hook;

  private:
    WaitHook* previous_ = nullptr;
};

Handle counting_window(int& timer_turns) {
    return create_window("HookTest", 0,
                         [&timer_turns](Handle self, std::uint32_t message, WParam, LParam) -> Result {
                             if (message == WM_TIMER) {
                                 ++timer_turns;
                                 kill_timer(self, 1);
                             }
                             return 0;
                         });
}

TEST_F(WaitHooks, the_loop_sleeps_in_the_hook_on_its_waker_and_fds_until_the_next_timer) {
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const WatchId watch = add_fd_watch(pipe_fds[0], POLLIN, [](short) {});
    int turns = 0;
    const Handle w = counting_window(turns);
    const std::int64_t before = kernel::monotonic_ns();
    set_timer(w, 1, 20);
    EXPECT_TRUE(run_nested_loop_for([&] { return turns == 1; }, guard_ms));
    ASSERT_GE(hook.waits, 1);
    ASSERT_EQ(hook.last_fds.size(), 2u);
    EXPECT_EQ(hook.last_fds[1].fd, pipe_fds[0]);
    EXPECT_EQ(hook.last_fds[1].events, POLLIN);
    EXPECT_GE(hook.last_deadline_ns, before + 20'000'000);
    EXPECT_LT(hook.last_deadline_ns, before + 20'000'000 + std::int64_t{guard_ms} * 1'000'000);
    remove_fd_watch(watch);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
}

TEST_F(WaitHooks, timers_and_fd_watches_tell_the_hook_when_they_change) {
    int turns = 0;
    const Handle w = counting_window(turns);
    set_timer(w, 1, 1000);
    EXPECT_EQ(hook.changes, 1);
    EXPECT_LT(current_wait_set().deadline_ns, kernel::monotonic_ns() + 1'001'000'000);
    kill_timer(w, 1);
    EXPECT_EQ(hook.changes, 2);
    EXPECT_EQ(current_wait_set().deadline_ns, INT64_MAX);
    kill_timer(w, 1);  // nothing left to change
    EXPECT_EQ(hook.changes, 2);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const WatchId watch = add_fd_watch(pipe_fds[0], POLLIN, [](short) {});
    EXPECT_EQ(hook.changes, 3);
    ASSERT_EQ(current_wait_set().fds.size(), 2u);
    EXPECT_EQ(current_wait_set().fds[1].fd, pipe_fds[0]);
    remove_fd_watch(watch);
    EXPECT_EQ(hook.changes, 4);
    EXPECT_EQ(current_wait_set().fds.size(), 1u);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
}

TEST_F(WaitHooks, a_hook_that_wakes_early_only_makes_the_loop_look_again) {
    hook.wake_early = true;
    int turns = 0;
    const Handle w = counting_window(turns);
    set_timer(w, 1, 5);
    EXPECT_TRUE(run_nested_loop_for([&] { return turns == 1; }, guard_ms));
    EXPECT_GE(hook.waits, 2);
}

TEST_F(WaitHooks, pump_foreign_serves_posts_from_other_threads_and_due_timers_without_waiting) {
    int posted = 0;
    int turns = 0;
    const Handle w =
        create_window("HookTest", 0, [&](Handle self, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) ++posted;
            if (message == WM_TIMER) {
                ++turns;
                kill_timer(self, 1);
            }
            return 0;
        });
    std::thread poster([w] { post_message(w, WM_USER); });
    poster.join();
    set_timer(w, 1, 0);
    // The waker is readable now: a foreign loop would see it and pump.
    pollfd waker = current_wait_set().fds[0];
    ASSERT_EQ(::poll(&waker, 1, 0), 1);
    pump_foreign();
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(turns, 1);
    EXPECT_EQ(hook.waits, 0);
    // The wake-up was taken: a foreign loop is not woken again for it.
    waker.revents = 0;
    EXPECT_EQ(::poll(&waker, 1, 0), 0);
}

}  // namespace
}  // namespace platform::window
