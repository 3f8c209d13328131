#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>

#include "platform/kernel/kernel.h"
#include "platform/testing/wait.h"

namespace platform::kernel {
namespace {

using zor_testing::wait_until;

TEST(Thread, RunsTheBodyOnAThreadOfItsOwnWithADistinctId) {
    ThreadId inside = 0;
    Thread t([&] { inside = current_thread_id(); });
    t.join();
    EXPECT_NE(inside, 0u);
    EXPECT_NE(inside, current_thread_id());
    std::set<ThreadId> ids;
    for (int i = 0; i < 8; ++i) {
        ThreadId id = 0;
        Thread([&] { id = current_thread_id(); }).join();
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 8u) << "ids are never reused";
}

TEST(Thread, WaitForEndTimesOutWhileTheBodyRunsAndSignalsAfter) {
    Event go;
    Thread t([&] { go.wait(); });
    EXPECT_TRUE(wait_until([&] { return t.id() != 0; }));
    EXPECT_TRUE(t.wait_for_end(10).timed_out());
    EXPECT_FALSE(t.finished());
    go.set();
    EXPECT_TRUE(t.wait_for_end(10'000).signalled());
    EXPECT_TRUE(t.finished());
    t.join();
}

TEST(Thread, AnEscapingExceptionGoesToTheHandler) {
    std::atomic<bool> caught{false};
    set_thread_exception_handler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::runtime_error&) {
            caught = true;
        }
    });
    Thread t([] { throw std::runtime_error("boom"); });
    ASSERT_TRUE(t.wait_for_end(10'000).signalled());
    t.join();
    reset_kernel_state_for_tests();
    EXPECT_TRUE(caught.load());
}

TEST(Thread, ADetachedBodyRunsToItsEnd) {
    Event done(ResetMode::manual);
    {
        Thread t([&] { done.set(); }, ThreadPriority::above_normal);
        EXPECT_EQ(t.priority(), ThreadPriority::above_normal);
    }  // destroyed while it may still run
    EXPECT_TRUE(done.wait(10'000).signalled());
}

}  // namespace
}  // namespace platform::kernel
