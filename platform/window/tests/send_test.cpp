// Cross-thread sends: results, time-outs, vanished receivers, and senders that serve sends.
#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <thread>

#include "platform/window/tests/loop_helpers.h"

namespace platform::window {
namespace {

using testing::guard_ms;
using testing::LoopThread;
using testing::wait_until;
using testing::WindowTest;

class Send : public WindowTest {};

TEST_F(Send, CrossThreadSendRunsOnTheOwnerAndReturnsItsResult) {
    std::atomic<kernel::ThreadId> ran_on{0};
    Handle w = 0;
    LoopThread owner([&] {
        w = create_window("TestWindow", 0,
                          [&](Handle, std::uint32_t message, WParam wparam, LParam lparam) -> Result {
                              if (message != WM_USER) return 0;
                              ran_on = kernel::current_thread_id();
                              return static_cast<Result>(wparam) * 2 + lparam;
                          });
    });
    EXPECT_EQ(send_message(w, WM_USER, 20, 1), 41);
    EXPECT_EQ(ran_on.load(), owner.id());
    Result r = 0;
    EXPECT_EQ(send_message_timeout(w, WM_USER, 5, 0, guard_ms, &r), SendStatus::ok);
    EXPECT_EQ(r, 10);
}

TEST_F(Send, SendToAnOwnWindowIsADirectCall) {
    bool inside = false;
    const Handle w =
        create_window("TestWindow", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) inside = true;
            return 7;
        });
    // No loop runs here: a direct call needs none.
    Result r = 0;
    EXPECT_EQ(send_message_timeout(w, WM_USER, 0, 0, 0, &r), SendStatus::ok);
    EXPECT_TRUE(inside);
    EXPECT_EQ(r, 7);
}

TEST_F(Send, TwoThreadsSendingToEachOtherAtTheSameTimeDoNotDeadlock) {
    constexpr int rounds = 300;
    Handle window_a = 0, window_b = 0;
    std::atomic<int> handled_a{0}, handled_b{0};
    std::atomic<bool> done_a{false}, done_b{false};
    kernel::Event both_ready(kernel::ResetMode::manual);
    std::atomic<int> ready{0};
    auto body = [&](Handle& mine, const Handle& theirs, std::atomic<int>& handled, std::atomic<bool>& my_done,
                    const std::atomic<bool>& their_done) {
        mine =
            create_window("TestPeer", 0, [&](Handle, std::uint32_t message, WParam wparam, LParam) -> Result {
                if (message == WM_USER) ++handled;
                return static_cast<Result>(wparam) + 1;
            });
        if (++ready == 2) both_ready.set();
        ASSERT_TRUE(both_ready.wait(guard_ms).signalled());
        for (int i = 0; i < rounds; ++i) {
            Result r = 0;
            ASSERT_EQ(send_message_timeout(theirs, WM_USER, static_cast<WParam>(i), 0, guard_ms, &r),
                      SendStatus::ok);
            ASSERT_EQ(r, i + 1);
        }
        my_done = true;
        post_message(theirs, WM_NULL);  // wakes the other if it already waits for us
        // Keep serving until the other side has finished its sends too.
        EXPECT_TRUE(run_nested_loop_for([&] { return their_done.load(); }, guard_ms));
        reset_thread_state_for_tests();
    };
    std::thread a([&] { body(window_a, window_b, handled_a, done_a, done_b); });
    std::thread b([&] { body(window_b, window_a, handled_b, done_b, done_a); });
    a.join();
    b.join();
    EXPECT_EQ(handled_a.load(), rounds);
    EXPECT_EQ(handled_b.load(), rounds);
}

TEST_F(Send, WhileWaitingASenderHandlesSentMessagesButNotPostedOnes) {
    std::vector<int> order;
    const Handle mine =
        create_window("TestWindow", 0, [&](Handle, std::uint32_t message, WParam wparam, LParam) -> Result {
            if (message == WM_USER) order.push_back(static_cast<int>(wparam));
            return 0;
        });
    Handle theirs = 0;
    LoopThread owner([&] {
        theirs = create_window("TestWindow", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER + 1) send_message(mine, WM_USER, 2);  // back to the waiting sender
            return 0;
        });
    });
    post_message(mine, WM_USER, 1);
    EXPECT_EQ(send_message_timeout(theirs, WM_USER + 1, 0, 0, guard_ms), SendStatus::ok);
    EXPECT_EQ(order, std::vector<int>{2}) << "the posted message waits for this thread's loop";
    process_messages();
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

TEST_F(Send, TimeOutOnABusyOwnerWithdrawsTheMessageThatWasNotStarted) {
    kernel::Event busy(kernel::ResetMode::manual), release(kernel::ResetMode::manual);
    std::atomic<int> handled{0};
    Handle w = 0;
    LoopThread owner([&] {
        w = create_window("TestWindow", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) {
                busy.set();
                release.wait(guard_ms);  // busy, not pumping
            }
            if (message == WM_USER + 1) ++handled;
            return 0;
        });
    });
    post_message(w, WM_USER);
    ASSERT_TRUE(busy.wait(guard_ms).signalled());
    Result r = 5;
    EXPECT_EQ(send_message_timeout(w, WM_USER + 1, 0, 0, 30, &r), SendStatus::timed_out);
    EXPECT_EQ(r, 0);
    release.set();
    owner.run([] {});  // the owner has come back to its loop
    owner.stop();
    EXPECT_EQ(handled.load(), 0) << "a send that timed out before it started must never run";
}

TEST_F(Send, TimeOutWhileTheOwnerHandlesItLetsTheHandlerFinishAlone) {
    kernel::Event started(kernel::ResetMode::manual), release(kernel::ResetMode::manual);
    std::atomic<bool> finished{false};
    Handle w = 0;
    LoopThread owner([&] {
        w = create_window("TestWindow", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) {
                started.set();
                release.wait(guard_ms);
                finished = true;
            }
            return 3;
        });
    });
    // On a loaded machine the owner may take longer than the time-out to pick the message up;
    // a send that timed out before its handler started never runs, so the send is made again,
    // with a longer time-out, until one has started (and times out while its handler waits).
    for (unsigned timeout = 50; !started.is_set(); timeout = std::min(2 * timeout, guard_ms)) {
        ASSERT_EQ(send_message_timeout(w, WM_USER, 0, 0, timeout), SendStatus::timed_out);
        if (timeout == guard_ms) break;
    }
    EXPECT_TRUE(started.is_set());
    release.set();
    EXPECT_TRUE(wait_until([&] { return finished.load(); }));
    // The owner is still healthy and answers the next send.
    Result r = 0;
    EXPECT_EQ(send_message_timeout(w, WM_NULL, 0, 0, guard_ms, &r), SendStatus::ok);
    EXPECT_EQ(r, 3);
}

TEST_F(Send, AfterDestroyTheWindowIsGoneForEveryCall) {
    const Handle w =
        create_window("TestWindow", 0, [](Handle, std::uint32_t, WParam, LParam) -> Result { return 1; });
    destroy_window(w);
    EXPECT_FALSE(is_window(w));
    EXPECT_FALSE(post_message(w, WM_USER));
    EXPECT_EQ(send_message(w, WM_USER), 0);
    EXPECT_EQ(send_message_timeout(w, WM_USER, 0, 0, 10), SendStatus::no_window);
    std::atomic<SendStatus> from_other{SendStatus::ok};
    std::thread([&] { from_other = send_message_timeout(w, WM_USER, 0, 0, guard_ms); }).join();
    EXPECT_EQ(from_other.load(), SendStatus::no_window);
    EXPECT_EQ(send_message_timeout(desktop_window(), WM_USER, 0, 0, 10), SendStatus::no_window);
    const Handle again = create_window("TestWindow", 0, {});
    EXPECT_NE(again, w) << "handles are never reused";
}

TEST_F(Send, ASenderIsReleasedWhenTheOwnerThreadEnds) {
    kernel::Event sending(kernel::ResetMode::manual);
    std::atomic<Handle> w{0};
    kernel::Thread owner([&] {
        w = create_window("TestWindow", 0, [](Handle, std::uint32_t, WParam, LParam) -> Result { return 1; });
        // Never pumps: it waits until the send is queued, then ends.
        sending.wait(guard_ms);
        ASSERT_TRUE(wait_until([] { return queue_counts_for_tests().sent == 1; }));
    });
    ASSERT_TRUE(wait_until([&] { return w.load() != 0; }));
    std::atomic<SendStatus> status{SendStatus::ok};
    kernel::Thread sender([&] { status = send_message_timeout(w, WM_USER, 0, 0, guard_ms); });
    sending.set();
    ASSERT_TRUE(sender.wait_for_end(guard_ms).signalled());
    sender.join();
    owner.join();
    EXPECT_EQ(status.load(), SendStatus::no_window);
    EXPECT_FALSE(is_window(w));
    EXPECT_EQ(send_message_timeout(w, WM_USER, 0, 0, 10), SendStatus::no_window);
}

TEST_F(Send, ASenderIsReleasedWhenTheOwnerDestroysTheWindow) {
    std::atomic<SendStatus> status{SendStatus::ok};
    std::atomic<bool> second_send_ran{false};
    kernel::Event busy(kernel::ResetMode::manual);
    Handle w = 0;
    LoopThread owner([&] {
        w = create_window("TestWindow", 0, [&](Handle self, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) {
                busy.set();
                // Busy until the other send is queued, then the window goes.
                EXPECT_TRUE(wait_until([] { return queue_counts_for_tests().sent == 1; }));
                destroy_window(self);
            }
            if (message == WM_USER + 1) second_send_ran = true;
            return 0;
        });
    });
    post_message(w, WM_USER);
    ASSERT_TRUE(busy.wait(guard_ms).signalled());  // else the send would overtake the post
    kernel::Thread sender([&] { status = send_message_timeout(w, WM_USER + 1, 0, 0, guard_ms); });
    ASSERT_TRUE(sender.wait_for_end(guard_ms).signalled());
    sender.join();
    EXPECT_EQ(status.load(), SendStatus::no_window);
    EXPECT_FALSE(second_send_ran.load());
}

TEST_F(Send, ManySendersToOneOwnerAllGetTheirOwnResult) {
    Handle w = 0;
    LoopThread owner([&] {
        w = create_window("TestWindow", 0, [](Handle, std::uint32_t, WParam wparam, LParam) -> Result {
            return static_cast<Result>(wparam) * 3;
        });
    });
    std::atomic<int> wrong{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t)
        senders.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const WParam v = static_cast<WParam>(t * 1000 + i);
                Result r = -1;
                if (send_message_timeout(w, WM_USER, v, 0, guard_ms, &r) != SendStatus::ok ||
                    r != static_cast<Result>(v) * 3)
                    ++wrong;
            }
        });
    for (auto& s : senders) s.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace platform::window
