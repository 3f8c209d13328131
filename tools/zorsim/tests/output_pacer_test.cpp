// Pacing: one byte per ten bit times of the current rate, checked against a clock of the test's own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "tools/zorsim/output_pacer.h"

namespace zorsim {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

class Pipe {
  public:
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_NONBLOCK) == 0) {
            read_ = fds[0];
            write_ = fds[1];
        }
    }
    ~Pipe() {
        ::close(read_);
        ::close(write_);
    }
    std::string take() {
        std::string s;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(read_, buf, sizeof buf)) > 0) s.append(buf, static_cast<std::size_t>(n));
        return s;
    }
    int read_ = -1;
    int write_ = -1;
};

TEST(OutputPacer, a_byte_takes_ten_bit_times) {
    EXPECT_EQ(OutputPacer::byte_time(9600), std::chrono::nanoseconds(1041666));
    EXPECT_EQ(OutputPacer::byte_time(38400), std::chrono::nanoseconds(260416));
}

TEST(OutputPacer, paced_output_goes_out_byte_by_byte_at_the_rate) {
    Pipe pipe;
    OutputPacer out;
    out.set_pacing(true);
    out.set_baud(9600);
    int done = 0;
    out.push_frame(std::string(100, 'x'), [&] { ++done; });
    const auto t0 = OutputPacer::Clock::now();
    out.write(pipe.write_, t0);
    EXPECT_EQ(pipe.take().size(), 1u);  // the first byte at once
    out.write(pipe.write_, t0 + microseconds(10'500));
    EXPECT_EQ(pipe.take().size(), 10u);  // 10.5 ms at 9600 baud: ten more
    EXPECT_EQ(done, 0);
    ASSERT_TRUE(out.next_due());
    EXPECT_GT(*out.next_due(), t0 + microseconds(10'500));
    auto finished = out.write(pipe.write_, t0 + milliseconds(200));
    EXPECT_EQ(pipe.take().size(), 89u);
    for (auto& f : finished) f();
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(out.empty());
}

TEST(OutputPacer, unpaced_output_goes_at_once_and_xoff_holds_frames_but_not_flow_bytes) {
    Pipe pipe;
    OutputPacer out;
    const auto now = OutputPacer::Clock::now();
    out.push_frame("abc");
    out.write(pipe.write_, now);
    EXPECT_EQ(pipe.take(), "abc");
    out.set_held(true);
    out.push_flow('\x13');
    out.push_frame("def");
    out.write(pipe.write_, now);
    EXPECT_EQ(pipe.take(), "\x13");
    EXPECT_FALSE(out.empty());
    out.set_held(false);
    out.write(pipe.write_, now);
    EXPECT_EQ(pipe.take(), "def");
}

TEST(OutputPacer, a_full_terminal_keeps_the_rest_for_later) {
    Pipe pipe;
    OutputPacer out;
    const std::string big(1 << 20, 'y');
    out.push_frame(big);
    out.write(pipe.write_, OutputPacer::Clock::now());
    EXPECT_TRUE(out.would_block());
    std::string got = pipe.take();
    while (!out.empty()) {
        out.write(pipe.write_, OutputPacer::Clock::now());
        got += pipe.take();
    }
    EXPECT_EQ(got, big);
}

}  // namespace
}  // namespace zorsim
