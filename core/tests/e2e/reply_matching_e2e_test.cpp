// Which reply answers which frame, against a far end that writes exactly the bytes a test gives
// it, when it gives them: a late reply and the resend's reply whose second half comes in a later
// read, a reply that comes while the next frame is held back by an XOFF, and an instant far end
// whose replies may come before the serial layer has counted the frame as gone. Every frame
// gets its own reply, and no frame goes out before the instrument answered the one before.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "core/framed_link.h"
#include "core/method_expansion.h"
#include "core/tests/e2e/session_fixture.h"
#include "core/tests/support/far_end_pty.h"

namespace core_test {
namespace {

using core::link_state;
using core::run_state;

// A pseudo-terminal whose far end answers each command frame through the test's script: bytes
// to write at once and, optionally, bytes to write after pauses (frames are read meanwhile).
// The far end notes when a new frame comes while it still owes the one before its reply.
class ScriptedFarEnd {
  public:
    struct Later {
        std::chrono::milliseconds pause;  // after the frame came
        std::string bytes;
    };
    struct Answer {
        std::string now;
        std::vector<Later> later;
    };
    using Script = std::function<Answer(const std::string& command)>;

    explicit ScriptedFarEnd(Script script) : script_(std::move(script)) {
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedFarEnd() {
        stop_ = true;
        thread_.join();
    }
    const std::string& slave_path() const { return pty_.slave_path(); }
    // Commands received, in order (resends too).
    std::vector<std::string> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }
    // A new frame (not a resend) came while the previous one still waited for its reply.
    bool overtaken() const { return overtaken_; }

  private:
    using Clock = std::chrono::steady_clock;

    static bool holds_whole_frame(const std::string& bytes) {
        const auto stx = bytes.find(core::STX);
        const auto etx = stx == std::string::npos ? stx : bytes.find(core::ETX, stx);
        return etx != std::string::npos && bytes.size() >= etx + 7;
    }
    void write_all(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(pty_.master(), bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
        if (holds_whole_frame(bytes)) owing_ = false;
    }
    void take_frame(char digit, const std::string& command) {
        const std::string frame = digit + command;
        if (owing_ && frame != last_frame_) overtaken_ = true;
        last_frame_ = frame;
        owing_ = true;
        {
            std::lock_guard lock(mutex_);
            received_.push_back(command);
        }
        const Answer answer = script_(command);
        write_all(answer.now);
        for (const Later& l : answer.later) pending_.emplace_back(Clock::now() + l.pause, l.bytes);
    }
    void serve() {
        std::string in;
        while (!stop_) {
            for (auto it = pending_.begin(); it != pending_.end();) {
                if (Clock::now() < it->first) {
                    ++it;
                    continue;
                }
                write_all(it->second);
                it = pending_.erase(it);
            }
            pollfd p{pty_.master(), POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0) continue;
            char buf[512];
            const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
            if (n <= 0) continue;
            in.append(buf, static_cast<std::size_t>(n));
            for (;;) {
                const auto stx = in.find(core::STX);
                if (stx == std::string::npos) break;
                const auto etx = in.find(core::ETX, stx);
                if (etx == std::string::npos || in.size() < etx + 7) break;
                const char digit = in[stx + 1];
                const std::string command = in.substr(stx + 2, etx - stx - 2);
                in.erase(0, etx + 7);
                take_frame(digit, command);
            }
        }
    }

    Script script_;
    FarEndPty pty_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> overtaken_{false};
    // The far end's thread only.
    bool owing_ = false;
    std::string last_frame_;
    std::vector<std::pair<Clock::time_point, std::string>> pending_;
    std::mutex mutex_;
    std::vector<std::string> received_;
};

// The commands the far end received, polls and resends left out.
std::vector<std::string> distinct_commands(ScriptedFarEnd& far_end) {
    std::vector<std::string> commands;
    for (const std::string& c : far_end.received())
        if (c != "GET_STAT" && (commands.empty() || commands.back() != c)) commands.push_back(c);
    return commands;
}

class ReplyMatchingE2E : public SessionE2E {
  protected:
    // The session on the far end's terminal, with a short reply time-out; a method of lines
    // that are no atoms, each answered "|" (the executor sends the next one at once).
    void start_on(ScriptedFarEnd& far_end, const std::vector<std::string>& lines,
                  std::int32_t timeout_ticks = 6) {
        ::setenv("ZOR_COM1", far_end.slave_path().c_str(), 1);
        core::init_session(false, false, true, false, true, false, ".PME", "Zorrun", "");
        form = platform::forms::make_form<core::Tzor_lib>();
        core::connect_port();
        ASSERT_TRUE(core::session_state().connected);
        link_state().reply_timeout_ticks = timeout_ticks;
        ASSERT_TRUE(pump_until([] { return link_state().good_replies >= 1; }));
        core::method_state().expanded_method = lines;
        core::method_state().method_exit_index = static_cast<int>(lines.size());
        core::start_method();
    }
};

TEST_F(ReplyMatchingE2E, the_rest_of_a_read_that_came_before_a_frame_is_no_reply_to_it) {
    // LATE gets no reply the first time. Its resend gets the late reply and the resend's reply,
    // the second cut after its STX, in one write; the rest follows while NEXT, sent on the late
    // reply, waits for its own answer. Completed, that rest would pass for NEXT's reply.
    std::atomic<int> late_frames{0};
    ScriptedFarEnd far_end([&](const std::string& command) -> ScriptedFarEnd::Answer {
        const std::string done = reply_frame("|");
        if (command == "GET_STAT") return {reply_frame("READY")};
        if (command == "LATE") {
            if (late_frames++ == 0) return {};
            return {done + done.substr(0, 2), {{200ms, done.substr(2)}}};
        }
        if (command == "NEXT") return {"", {{600ms, done}}};
        return {done};
    });
    // A time-out well beyond NEXT's answer, so that only LATE is resent.
    start_on(far_end, {"LATE", "NEXT", "LAST"}, 30);
    ASSERT_TRUE(pump_until([] { return !run_state().run_active; }));
    EXPECT_FALSE(far_end.overtaken()) << "a frame went out before the instrument answered the one before";
    EXPECT_EQ(distinct_commands(far_end), (std::vector<std::string>{"LATE", "NEXT", "LAST"}));
}

TEST_F(ReplyMatchingE2E, a_reply_that_comes_while_the_frame_is_held_back_is_no_reply_to_it) {
    // FIRST is answered together with an XOFF, so SECOND stays in the output buffer. A copy of
    // FIRST's reply then comes, as a late one would; the XON follows. Taken for SECOND's reply,
    // the copy would send THIRD before the instrument has even seen SECOND.
    ScriptedFarEnd far_end([](const std::string& command) -> ScriptedFarEnd::Answer {
        const std::string done = reply_frame("|");
        if (command == "GET_STAT") return {reply_frame("READY")};
        if (command == "FIRST")
            return {done + std::string(1, core::XOFF), {{300ms, done}, {700ms, std::string(1, core::XON)}}};
        if (command == "SECOND") return {"", {{300ms, done}}};
        return {done};
    });
    start_on(far_end, {"FIRST", "SECOND", "THIRD"}, 40);
    ASSERT_TRUE(pump_until([] { return !run_state().run_active; }));
    EXPECT_FALSE(far_end.overtaken()) << "a frame went out before the instrument answered the one before";
    EXPECT_EQ(distinct_commands(far_end), (std::vector<std::string>{"FIRST", "SECOND", "THIRD"}));
}

TEST_F(ReplyMatchingE2E, an_instant_far_end_gets_every_frame_once_without_a_time_out) {
    // Replies come as soon as the frame is read, which may be before the output thread has
    // counted the frame as gone; they are the frame's replies all the same.
    ScriptedFarEnd far_end([](const std::string& command) -> ScriptedFarEnd::Answer {
        return {reply_frame(command == "GET_STAT" ? "READY" : "|")};
    });
    start_on(far_end, std::vector<std::string>(1000, "POS_STAT"));
    ASSERT_TRUE(pump_until([] { return !run_state().run_active; }, 120s));
    EXPECT_EQ(link_state().resends, 0u);
    EXPECT_EQ(hook_count("on_disconnected"), 0);
    int sent = 0;
    for (const std::string& c : far_end.received())
        if (c == "POS_STAT") ++sent;
    EXPECT_EQ(sent, 1000);
}

}  // namespace
}  // namespace core_test
