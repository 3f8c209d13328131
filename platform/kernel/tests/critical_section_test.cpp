#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"

namespace platform::kernel {
namespace {

TEST(CriticalSection, IsReEntrantForItsOwnerAndHeldOnlyThere) {
    CriticalSection cs;
    EXPECT_FALSE(cs.held());
    cs.enter();
    cs.enter();
    EXPECT_TRUE(cs.held());
    EXPECT_EQ(cs.depth(), 2u);
    bool held_elsewhere = true, entered_elsewhere = true;
    std::thread([&] {
        held_elsewhere = cs.held();
        entered_elsewhere = cs.try_enter();
    }).join();
    EXPECT_FALSE(held_elsewhere);
    EXPECT_FALSE(entered_elsewhere);
    cs.leave();
    EXPECT_TRUE(cs.held()) << "one leave per enter";
    cs.leave();
    EXPECT_FALSE(cs.held());
    std::thread([&] {
        entered_elsewhere = cs.try_enter();
        if (entered_elsewhere) cs.leave();
    }).join();
    EXPECT_TRUE(entered_elsewhere);
}

TEST(CriticalSection, ExcludesOtherThreadsIncludingThroughNestedEnters) {
    CriticalSection cs;
    long counter = 0;  // deliberately plain: the section is the only protection
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                std::lock_guard outer(cs);
                CriticalSectionGuard inner(cs);
                ++counter;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
}

}  // namespace
}  // namespace platform::kernel
