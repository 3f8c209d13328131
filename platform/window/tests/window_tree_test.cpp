// Windows as a tree: creation, destruction (also from inside procedures) and enumeration.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/window/tests/loop_helpers.h"

namespace platform::window {
namespace {

using testing::guard_ms;
using testing::LoopThread;
using testing::WindowTest;

class WindowTree : public WindowTest {};

Procedure log_destroy(std::vector<Handle>& destroyed) {
    return [&destroyed](Handle self, std::uint32_t message, WParam, LParam) -> Result {
        if (message == WM_DESTROY) destroyed.push_back(self);
        return 0;
    };
}

TEST_F(WindowTree, TheProcedureGetsWmCreateBeforeCreateReturnsAndMayRefuse) {
    Handle seen = 0;
    const Handle w =
        create_window("TestWindow", 0, [&](Handle self, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_CREATE) seen = self;
            return 0;
        });
    EXPECT_EQ(seen, w);
    EXPECT_EQ(parent_of(w), desktop_window());
    EXPECT_TRUE(is_own_window(w));
    const Handle refused =
        create_window("TestWindow", 0, [](Handle, std::uint32_t message, WParam, LParam) -> Result {
            return message == WM_CREATE ? -1 : 0;
        });
    EXPECT_EQ(refused, 0u);
    EXPECT_TRUE(find_windows_of_class("TestWindow").size() == 1);
}

TEST_F(WindowTree, DestroyReachesTheChildrenAndDropsPendingPosts) {
    std::vector<Handle> destroyed;
    int posted_seen = 0;
    const Handle parent = create_window("TestParent", 0, log_destroy(destroyed));
    const Handle child =
        create_window("TestChild", parent, [&](Handle self, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_DESTROY) destroyed.push_back(self);
            if (message == WM_USER) ++posted_seen;
            return 0;
        });
    const Handle grandchild = create_window("TestChild", child, log_destroy(destroyed));
    EXPECT_EQ(children_of(parent), std::vector<Handle>{child});
    post_message(child, WM_USER);
    destroy_window(parent);
    EXPECT_EQ(destroyed, (std::vector<Handle>{parent, child, grandchild}));
    for (Handle h : {parent, child, grandchild}) EXPECT_FALSE(is_window(h));
    process_messages();
    EXPECT_EQ(posted_seen, 0);
    EXPECT_TRUE(find_windows_of_class("TestChild").empty());
}

TEST_F(WindowTree, AProcedureMayDestroyItsOwnWindowAndGoOnRunning) {
    int destroy_messages = 0;
    int after = 0;
    auto big = std::make_shared<std::vector<int>>(1000, 7);  // what the procedure owns
    const Handle w = create_window("TestWindow", 0,
                                   [&, big](Handle self, std::uint32_t message, WParam, LParam) -> Result {
                                       if (message == WM_DESTROY) ++destroy_messages;
                                       if (message == WM_USER) {
                                           destroy_window(self);
                                           destroy_window(self);         // a second time is ignored
                                           after = (*big)[999];          // still alive: the free is deferred
                                           post_message(self, WM_USER);  // to a window that is gone: refused
                                       }
                                       return 0;
                                   });
    big.reset();
    post_message(w, WM_USER);
    process_messages();
    EXPECT_EQ(destroy_messages, 1);
    EXPECT_EQ(after, 7);
    EXPECT_FALSE(is_window(w));
}

TEST_F(WindowTree, AProcedureMayCreateAndDestroyOtherWindows) {
    std::vector<Handle> destroyed;
    Handle made = 0;
    const Handle victim = create_window("TestVictim", 0, log_destroy(destroyed));
    const Handle w =
        create_window("TestWindow", 0, [&](Handle self, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER) {
                destroy_window(victim);
                made = create_window("TestMade", self, {});
            }
            return 0;
        });
    post_message(w, WM_USER);
    post_message(victim, WM_USER);  // dropped with the victim
    process_messages();
    EXPECT_EQ(destroyed, std::vector<Handle>{victim});
    EXPECT_TRUE(is_window(made));
    EXPECT_EQ(parent_of(made), w);
}

TEST_F(WindowTree, SetProcedureSwapsTheProcedureForLaterMessages) {
    const Handle w =
        create_window("TestWindow", 0, [](Handle, std::uint32_t, WParam, LParam) -> Result { return 1; });
    Procedure old = set_procedure(w, [](Handle, std::uint32_t, WParam, LParam) -> Result { return 2; });
    ASSERT_TRUE(old);
    EXPECT_EQ(old(w, WM_USER, 0, 0), 1);
    EXPECT_EQ(send_message(w, WM_USER), 2);
}

TEST_F(WindowTree, EnumerationFindsChildrenOfEveryThreadByClassWithoutRegardToCase) {
    // Top-level and child windows of one class on three threads, created in a known order.
    std::vector<Handle> expected;
    const Handle host = create_window("THostWindow", 0, {});
    expected.push_back(create_window("TZorStatusX", 0, {}));
    Handle editor_parent = 0;
    LoopThread a([&] {
        expected.push_back(create_window("tzorstatusx", 0, {}));
        editor_parent = create_window("TFrame", 0, {});
    });
    LoopThread b([&] { expected.push_back(create_window("TZORSTATUSX", editor_parent, {})); });
    expected.push_back(create_window("TZorStatusX", host, {}));  // a child of this thread
    create_window("TZorStatus", 0, {});                          // a near miss

    std::vector<Handle> found;
    std::thread([&] { found = find_windows_of_class("TzorStatusx"); }).join();  // from a fourth thread
    EXPECT_EQ(found, expected);
    EXPECT_EQ(find_windows_of_class("TZorStatusX", host), std::vector<Handle>{expected[3]});
    EXPECT_EQ(find_window("tzorstatusx"), expected[0]) << "first top-level window";
    EXPECT_EQ(class_name(expected[1]), "tzorstatusx");
    EXPECT_EQ(parent_of(expected[2]), editor_parent);

    b.stop();  // the thread ends, its window goes
    EXPECT_EQ(find_windows_of_class("TZorStatusX").size(), 3u);
}

TEST_F(WindowTree, EnumerationIsSafeWhileOtherThreadsCreateAndDestroyWindows) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> churn;
    for (int t = 0; t < 3; ++t)
        churn.emplace_back([&] {
            while (!stop) {
                const Handle parent = create_window("TestChurn", 0, {});
                create_window("TestChurn", parent, {});
                destroy_window(parent);
            }
            reset_thread_state_for_tests();
        });
    for (int i = 0; i < 2000; ++i) {
        for (Handle h : find_windows_of_class("testchurn")) {
            class_name(h);  // may be gone already; must not crash
            parent_of(h);
        }
    }
    stop = true;
    for (auto& t : churn) t.join();
    EXPECT_TRUE(find_windows_of_class("TestChurn").empty());
}

TEST_F(WindowTree, TextIsKeptPerWindow) {
    const Handle w = create_window("TestWindow", 0, {}, "first");
    EXPECT_EQ(window_text(w), "first");
    set_window_text(w, "second");
    std::string seen;
    std::thread([&] { seen = window_text(w); }).join();
    EXPECT_EQ(seen, "second");
}

}  // namespace
}  // namespace platform::window
