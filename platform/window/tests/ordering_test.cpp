// The order in which a queue hands out what it holds.
#include <gtest/gtest.h>

#include <vector>

#include "platform/window/tests/loop_helpers.h"

namespace platform::window {
namespace {

using testing::LoopThread;
using testing::wait_until;
using testing::WindowTest;

struct Recorder {
    std::vector<std::pair<std::uint32_t, WParam>> seen;
    Procedure procedure() {
        return [this](Handle, std::uint32_t message, WParam wparam, LParam) -> Result {
            if (message >= WM_USER) seen.emplace_back(message, wparam);
            return 0;
        };
    }
};

class Ordering : public WindowTest {};

TEST_F(Ordering, PostedMessagesArriveInTheOrderTheyWerePosted) {
    Recorder r;
    const Handle w = create_window("TestWindow", 0, r.procedure());
    for (WParam i = 0; i < 200; ++i) ASSERT_TRUE(post_message(w, WM_USER, i));
    process_messages();
    ASSERT_EQ(r.seen.size(), 200u);
    for (WParam i = 0; i < 200; ++i) EXPECT_EQ(r.seen[i].second, i);
}

TEST_F(Ordering, PostsFromSeveralThreadsKeepEachThreadsOrder) {
    Recorder r;
    const Handle w = create_window("TestWindow", 0, r.procedure());
    constexpr int per_thread = 500;
    std::vector<std::thread> posters;
    for (std::uint32_t t = 0; t < 3; ++t)
        posters.emplace_back([=] {
            for (WParam i = 0; i < per_thread; ++i) post_message(w, WM_USER + t, i);
        });
    for (auto& p : posters) p.join();
    process_messages();
    ASSERT_EQ(r.seen.size(), 3u * per_thread);
    WParam next[3] = {0, 0, 0};
    for (auto [message, i] : r.seen) EXPECT_EQ(i, next[message - WM_USER]++);
}

TEST_F(Ordering, SentMessagesAreHandledBeforePostedOnes) {
    Recorder r;
    const Handle w = create_window("TestWindow", 0, r.procedure());
    post_message(w, WM_USER + 1, 1);
    post_message(w, WM_USER + 1, 2);
    std::thread sender([w] { send_message_timeout(w, WM_USER + 2, 3, 0, testing::guard_ms); });
    ASSERT_TRUE(wait_until([] { return queue_counts_for_tests().sent == 1; }));
    post_message(w, WM_USER + 1, 4);
    Message m;
    ASSERT_TRUE(get_message(m));  // handles the sent one on the way
    dispatch_message(m);
    sender.join();
    process_messages();
    const std::vector<std::pair<std::uint32_t, WParam>> expected{
        {WM_USER + 2, 3}, {WM_USER + 1, 1}, {WM_USER + 1, 2}, {WM_USER + 1, 4}};
    EXPECT_EQ(r.seen, expected);
}

TEST_F(Ordering, ProcessMessagesLeavesWhatIsPostedWhileItRuns) {
    // A handler that posts to itself must not keep process_messages busy for ever.
    int handled = 0;
    const Handle w =
        create_window("TestWindow", 0, [&](Handle self, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) {
                ++handled;
                post_message(self, WM_USER);
            }
            return 0;
        });
    post_message(w, WM_USER);
    post_message(w, WM_USER);
    process_messages();
    EXPECT_EQ(handled, 2);
    EXPECT_EQ(queue_counts_for_tests().posted, 2u);
}

TEST_F(Ordering, ThreadMessagesComeBackFromGetMessageAndAreNotDispatched) {
    post_thread_message(WM_USER + 7, 11, 12);
    Message m;
    ASSERT_TRUE(peek_message(m));
    EXPECT_EQ(m.window, 0u);
    EXPECT_EQ(m.message, WM_USER + 7);
    EXPECT_EQ(m.wparam, 11u);
    EXPECT_EQ(m.lparam, 12);
    EXPECT_EQ(dispatch_message(m), 0);
    EXPECT_FALSE(peek_message(m));
}

TEST_F(Ordering, DispatchIgnoresAWindowOfAnotherThread) {
    bool ran_here = false;
    Handle foreign = 0;
    LoopThread owner([&] {
        foreign =
            create_window("TestWindow", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
                if (message == WM_USER) ran_here = true;
                return 0;
            });
    });
    EXPECT_FALSE(is_own_window(foreign));
    EXPECT_EQ(dispatch_message({foreign, WM_USER, 0, 0}), 0);
    owner.stop();
    EXPECT_FALSE(ran_here);
}

}  // namespace
}  // namespace platform::window
