#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/testing/wait.h"

namespace platform::kernel {
namespace {

using zor_testing::wait_until;
constexpr unsigned long_wait = 10'000;  // ms; long enough never to run out on a loaded machine

TEST(EventState, AutoResetCountsSeveralSetsAsOneAndIsConsumedByAWait) {
    Event e(ResetMode::automatic);
    e.set();
    e.set();
    EXPECT_TRUE(e.wait(0).signalled());
    EXPECT_TRUE(e.wait(0).timed_out());
}

TEST(EventState, ManualResetStaysSetUntilReset) {
    Event e(ResetMode::manual, true);
    EXPECT_TRUE(e.wait(0).signalled());
    EXPECT_TRUE(e.wait(0).signalled());
    e.reset();
    EXPECT_TRUE(e.wait(0).timed_out());
}

TEST(EventState, PulseWithoutWaitersLeavesTheEventReset) {
    Event manual(ResetMode::manual);
    Event automatic(ResetMode::automatic);
    manual.pulse();
    automatic.pulse();
    EXPECT_FALSE(manual.is_set());
    EXPECT_TRUE(automatic.wait(0).timed_out());
}

TEST(WaitResults, TimeOutIsNotFailureAndBadCallsFail) {
    Event a, b;
    EXPECT_EQ(wait_for(a, 0).status, WaitStatus::timed_out);
    EXPECT_EQ(wait_any({}, 0).status, WaitStatus::failed);
    EXPECT_EQ(wait_any({&a, nullptr}, 0).status, WaitStatus::failed);
    EXPECT_EQ(wait_all({&a, &a}, 0).status, WaitStatus::failed);
    std::vector<Event*> too_many(max_wait_objects + 1, &b);
    EXPECT_EQ(wait_any(too_many, 0).status, WaitStatus::failed);
}

TEST(WaitResults, TimedWaitNeverEndsEarly) {
    Event e;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(e.wait(30).timed_out());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(WaitAny, LowestSignalledIndexWinsAndOnlyThatOneIsConsumed) {
    Event a, b, c;
    b.set();
    c.set();
    const WaitResult r = wait_any({&a, &b, &c}, 0);
    ASSERT_TRUE(r.signalled());
    EXPECT_EQ(r.index, 1u);
    EXPECT_FALSE(b.is_set());
    EXPECT_TRUE(c.is_set());
}

TEST(WaitAny, WakesWhenAnotherThreadSetsOneOfTheEvents) {
    Event a, b;
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        b.set();
    });
    const WaitResult r = wait_any({&a, &b}, long_wait);
    setter.join();
    ASSERT_TRUE(r.signalled());
    EXPECT_EQ(r.index, 1u);
    EXPECT_FALSE(b.is_set());
}

TEST(WaitAll, NeedsEveryEventAtOnceAndConsumesNothingUntilThen) {
    Event a, b(ResetMode::manual);
    a.set();
    EXPECT_TRUE(wait_all({&a, &b}, 0).timed_out());
    EXPECT_TRUE(a.is_set()) << "a failed wait_all must not consume part of the set";
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        b.set();
    });
    const WaitResult r = wait_all({&a, &b}, long_wait);
    setter.join();
    EXPECT_TRUE(r.signalled());
    EXPECT_FALSE(a.is_set()) << "auto-reset members are consumed";
    EXPECT_TRUE(b.is_set()) << "manual-reset members stay set";
}

TEST(WaitAll, ASetThatCannotCompleteAWaitAllGoesToAnotherWaiter) {
    // A blocked wait_all on {a, b} and a blocked wait on a: setting a alone must release the
    // single waiter, and the wait_all must go on waiting until both are set again together.
    Event a, b;
    std::atomic<int> single_done{0}, all_done{0};
    std::thread all_waiter([&] {
        if (wait_all({&a, &b}, long_wait).signalled()) all_done = 1;
    });
    std::thread single_waiter([&] {
        if (a.wait(long_wait).signalled()) single_done = 1;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // let both block
    a.set();
    ASSERT_TRUE(wait_until([&] { return single_done.load() == 1; }));
    single_waiter.join();
    b.set();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(all_done.load(), 0) << "a was already consumed";
    a.set();
    ASSERT_TRUE(wait_until([&] { return all_done.load() == 1; }));
    all_waiter.join();
    EXPECT_FALSE(a.is_set());
    EXPECT_FALSE(b.is_set());
}

TEST(EventWakeUps, AutoResetSetReleasesExactlyOneWaiter) {
    constexpr int waiters = 4;
    Event e(ResetMode::automatic);
    std::atomic<int> woken{0}, timed_out{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < waiters; ++i)
        threads.emplace_back([&] {
            if (e.wait(long_wait).signalled())
                ++woken;
            else
                ++timed_out;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // let them block
    for (int n = 1; n <= waiters; ++n) {
        e.set();
        ASSERT_TRUE(wait_until([&] { return woken.load() >= n; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // a second wrong wake-up shows here
        EXPECT_EQ(woken.load(), n);
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(timed_out.load(), 0);
    EXPECT_FALSE(e.is_set()) << "every set went to a waiter";
}

TEST(EventWakeUps, ManualResetSetReleasesEveryWaiter) {
    Event e(ResetMode::manual);
    std::atomic<int> woken{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            if (e.wait(long_wait).signalled()) ++woken;
        });
    e.set();
    for (auto& t : threads) t.join();
    EXPECT_EQ(woken.load(), 4);
}

TEST(EventWakeUps, PulseReleasesABlockedWaiter) {
    Event e(ResetMode::manual);
    std::atomic<bool> released{false};
    std::thread waiter([&] { released = e.wait(long_wait).signalled(); });
    // The waiter may not be blocked yet at the first pulse; pulse until it is released.
    EXPECT_TRUE(wait_until([&] {
        e.pulse();
        return released.load();
    }));
    waiter.join();
    EXPECT_FALSE(e.is_set());
}

TEST(EventWakeUps, ManyThreadsHandingAnAutoEventAroundLoseNoSet) {
    // Producer and consumers in lock step: every set is consumed by exactly one wait.
    Event item(ResetMode::automatic), taken(ResetMode::automatic);
    constexpr int rounds = 2000;
    std::atomic<int> consumed{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> consumers;
    for (int i = 0; i < 3; ++i)
        consumers.emplace_back([&] {
            while (!stop) {
                if (item.wait(20).signalled()) {
                    ++consumed;
                    taken.set();
                }
            }
        });
    for (int i = 0; i < rounds; ++i) {
        item.set();
        ASSERT_TRUE(taken.wait(long_wait).signalled());
    }
    stop = true;
    for (auto& t : consumers) t.join();
    EXPECT_EQ(consumed.load(), rounds);
}

}  // namespace
}  // namespace platform::kernel
