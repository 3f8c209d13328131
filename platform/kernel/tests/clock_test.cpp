#include <gtest/gtest.h>

#include "platform/kernel/kernel.h"

namespace platform::kernel {
namespace {

TEST(Clock, TickCountIsTheLow32BitsOfTheMonotonicMilliseconds) {
    const std::uint64_t before = monotonic_ms();
    const std::uint32_t tick = tick_count();
    const std::uint64_t after = monotonic_ms();
    EXPECT_LE(static_cast<std::uint32_t>(tick - static_cast<std::uint32_t>(before)),
              static_cast<std::uint32_t>(after - before));
}

TEST(Clock, DeadlineNeverPromisesMoreThanItsTimeOutAndRoundsUp) {
    const Deadline d(100);
    EXPECT_FALSE(d.is_infinite());
    EXPECT_LE(d.remaining_ms(), 100u);
    EXPECT_GE(d.remaining_ms(), 1u);
    const Deadline zero(0);
    EXPECT_TRUE(zero.expired());
    EXPECT_EQ(zero.remaining_ms(), 0u);
    const Deadline never(infinite);
    EXPECT_TRUE(never.is_infinite());
    EXPECT_FALSE(never.expired());
    EXPECT_EQ(never.remaining_ms(), infinite);
}

}  // namespace
}  // namespace platform::kernel
