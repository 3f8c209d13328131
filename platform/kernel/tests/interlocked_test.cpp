#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"

namespace platform::kernel {
namespace {

TEST(Interlocked, ReturnValuesFollowTheirContract) {
    std::atomic<std::int32_t> v{5};
    EXPECT_EQ(interlocked_increment(v), 6);
    EXPECT_EQ(interlocked_decrement(v), 5);
    EXPECT_EQ(interlocked_exchange(v, 9), 5);
    EXPECT_EQ(interlocked_compare_exchange(v, 1, 3), 9) << "no match: unchanged, old value back";
    EXPECT_EQ(v.load(), 9);
    EXPECT_EQ(interlocked_compare_exchange(v, 1, 9), 9);
    EXPECT_EQ(v.load(), 1);
    EXPECT_EQ(interlocked_add(v, std::int32_t{4}), 1);
    EXPECT_EQ(v.load(), 5);
}

TEST(Interlocked, CountersStayExactUnderContention) {
    std::atomic<std::int32_t> counter{0};
    std::atomic<std::int64_t> claimed{0};
    std::atomic<std::int32_t> ticket{0};
    constexpr int threads = 8, per_thread = 50000;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (int i = 0; i < per_thread; ++i) {
                interlocked_increment(counter);
                interlocked_increment(counter);
                interlocked_decrement(counter);
                // Compare-exchange loop: every ticket is taken exactly once.
                std::int32_t seen = ticket.load();
                for (;;) {
                    const std::int32_t before = interlocked_compare_exchange(ticket, seen + 1, seen);
                    if (before == seen) break;
                    seen = before;
                }
                interlocked_add(claimed, std::int64_t{seen});
            }
        });
    for (auto& t : pool) t.join();
    constexpr std::int64_t n = std::int64_t{threads} * per_thread;
    EXPECT_EQ(counter.load(), n);
    EXPECT_EQ(ticket.load(), n);
    EXPECT_EQ(claimed.load(), n * (n - 1) / 2) << "tickets 0..n-1, each once";
}

}  // namespace
}  // namespace platform::kernel
