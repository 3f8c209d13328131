// Loops inside loops, and where WM_QUIT ends up.
#include <gtest/gtest.h>

#include "platform/window/tests/loop_helpers.h"

namespace platform::window {
namespace {

using testing::guard_ms;
using testing::LoopThread;
using testing::Reaper;
using testing::WindowTest;

class NestedLoops : public WindowTest {};

TEST_F(NestedLoops, QuitInsideANestedLoopEndsItAndThenTheOuterLoop) {
    Reaper reaper;
    std::vector<std::string> trace;
    const Handle w =
        create_window("TestWindow", 0, [&](Handle self, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) {
                trace.push_back("outer handler");
                post_message(self, WM_USER + 1);
                const bool ended_by_done = run_nested_loop([] { return false; });
                trace.push_back(ended_by_done ? "nested done" : "nested quit");
            }
            if (message == WM_USER + 1) {
                trace.push_back("inside nested");
                post_quit_message(42);
            }
            if (message == WM_USER + 2) trace.push_back("after quit");  // must never run
            return 0;
        });
    post_message(w, WM_USER);
    EXPECT_EQ(run_message_loop(), 42) << "the outer loop saw the quit that was put back";
    EXPECT_EQ(trace, (std::vector<std::string>{"outer handler", "inside nested", "nested quit"}));
}

TEST_F(NestedLoops, ANestedLoopEndsWhenDoneAndTheOuterLoopGoesOn) {
    Reaper reaper;
    bool modal_result = false;
    int after = 0;
    const Handle w =
        create_window("TestWindow", 0, [&](Handle self, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) {
                post_message(self, WM_USER + 1);
                EXPECT_TRUE(run_nested_loop([&] { return modal_result; }));
                post_message(self, WM_USER + 2);
            }
            if (message == WM_USER + 1) modal_result = true;
            if (message == WM_USER + 2) {
                ++after;
                post_quit_message(0);
            }
            return 0;
        });
    post_message(w, WM_USER);
    EXPECT_EQ(run_message_loop(), 0);
    EXPECT_EQ(after, 1);
}

TEST_F(NestedLoops, ANestedLoopNoticesDoneSetByASentMessage) {
    // Nothing is posted: only a send from another thread makes `done` true.
    bool done = false;
    const Handle w =
        create_window("TestWindow", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) done = true;
            return 0;
        });
    std::thread sender([w] { send_message_timeout(w, WM_USER, 0, 0, guard_ms); });
    EXPECT_TRUE(run_nested_loop_for([&] { return done; }, guard_ms));
    sender.join();
}

TEST_F(NestedLoops, RunNestedLoopForEndsWhenTheTimeRunsOut) {
    EXPECT_FALSE(run_nested_loop_for([] { return false; }, 20));
    Message m;
    EXPECT_FALSE(peek_message(m)) << "no quit was invented";
}

TEST_F(NestedLoops, ProcessMessagesPutsAQuitBackForTheOuterLoop) {
    Reaper reaper;
    int handled = 0;
    const Handle w =
        create_window("TestWindow", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) ++handled;
            return 0;
        });
    post_message(w, WM_USER);
    post_quit_message(5);
    post_message(w, WM_USER);
    process_messages();
    EXPECT_EQ(handled, 2);
    Message m;
    EXPECT_FALSE(get_message(m));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wparam, 5u);
}

TEST_F(NestedLoops, ANestedLoopInsideASentMessageServesTheNextSend) {
    // The serial layer's case: the handler of a sent notification shows a modal dialog, and
    // the next notification must still get through while the dialog is up.
    Handle w = 0;
    std::atomic<bool> in_nested{false}, nested_ended{false};
    bool closed = false;  // owner thread only
    LoopThread owner([&] {
        w = create_window("TestWindow", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) {
                in_nested = true;
                nested_ended = run_nested_loop_for([&] { return closed; }, guard_ms);
                return 9;
            }
            if (message == WM_USER + 2) {
                closed = true;
                return 4;
            }
            return 0;
        });
    });
    Result first = 0;
    std::thread sender([&] { send_message_timeout(w, WM_USER, 0, 0, guard_ms, &first); });
    ASSERT_TRUE(testing::wait_until([&] { return in_nested.load(); }));
    Result second = 0;
    EXPECT_EQ(send_message_timeout(w, WM_USER + 2, 0, 0, guard_ms, &second), SendStatus::ok);
    EXPECT_EQ(second, 4);
    sender.join();
    EXPECT_EQ(first, 9);
    EXPECT_TRUE(nested_ended.load());
}

}  // namespace
}  // namespace platform::window
