// The host's bytes as the instrument hears them: at once without pacing, with pacing one per ten
// bit times of the current rate, back to back from the first one's arrival, checked against a
// clock of the test's own.
#include <gtest/gtest.h>

#include "tools/zorsim/input_line.h"
#include "tools/zorsim/output_pacer.h"

namespace zorsim {
namespace {

using Clock = InputLine::Clock;

TEST(InputLine, without_pacing_everything_is_heard_at_once) {
    InputLine line;
    const Clock::time_point t0{std::chrono::seconds(5)};
    line.arrive("ABC", t0);
    EXPECT_EQ(line.take_heard(t0), "ABC");
    EXPECT_FALSE(line.next_due());
}

TEST(InputLine, a_paced_frame_is_heard_a_byte_time_after_each_byte) {
    InputLine line;
    line.set_pacing(true);
    const auto byte = OutputPacer::byte_time(9600);
    const Clock::time_point t0{std::chrono::seconds(5)};
    line.arrive("ABC", t0);
    EXPECT_EQ(line.take_heard(t0), "");
    EXPECT_EQ(line.next_due(), t0 + byte);
    EXPECT_EQ(line.take_heard(t0 + byte), "A");
    EXPECT_EQ(line.take_heard(t0 + 3 * byte - std::chrono::nanoseconds(1)), "B");
    // More while the line is busy: after the bytes before it.
    line.arrive("D", t0 + byte);
    EXPECT_EQ(line.take_heard(t0 + 3 * byte), "C");
    EXPECT_EQ(line.next_due(), t0 + 4 * byte);
    EXPECT_EQ(line.take_heard(t0 + 4 * byte), "D");
    // A line that fell idle starts again from the arrival; a faster rate takes less.
    line.set_baud(38400);
    const Clock::time_point t1 = t0 + std::chrono::seconds(1);
    line.arrive("EF", t1);
    EXPECT_EQ(line.take_heard(t1 + OutputPacer::byte_time(38400)), "E");
    EXPECT_EQ(line.take_heard(t1 + 2 * OutputPacer::byte_time(38400)), "F");
    EXPECT_FALSE(line.next_due());
}

}  // namespace
}  // namespace zorsim
