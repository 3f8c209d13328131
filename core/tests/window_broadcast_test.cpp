#include "core/window_broadcast.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/window/window.h"
#include "utilities/session.h"

namespace {

namespace window = platform::window;

// A receiver that acts, as the driver's and plug-in's windows do, only on the broadcast of its
// own instance number.
struct Receiver {
    std::int32_t own_instance = 1;
    int acted = 0;
    std::vector<window::WParam> seen;  // every 1425 that arrived, whatever its instance
};

window::Handle make_window(std::string_view class_name, window::Handle parent, Receiver& receiver) {
    return window::create_window(class_name, parent,
                                 [&receiver](window::Handle, std::uint32_t message, window::WParam wparam,
                                             window::LParam lparam) -> window::Result {
                                     if (message != core::zor_status_message) return 0;
                                     EXPECT_EQ(lparam, 0);
                                     receiver.seen.push_back(wparam);
                                     if (wparam == static_cast<window::WParam>(receiver.own_instance))
                                         ++receiver.acted;
                                     return 0;
                                 });
}

class WindowBroadcast : public ::testing::Test {
  protected:
    void SetUp() override {
        window::reset_thread_state_for_tests();
        putils::reset_session();
        putils::session().instance_number = 1;
    }
    void TearDown() override {
        window::reset_thread_state_for_tests();
        putils::reset_session();
    }
};

TEST_F(WindowBroadcast, CarriesTheInstanceNumberAndIsPostedNotSent) {
    Receiver status;
    make_window("TZorStatusX", 0, status);
    putils::session().instance_number = 3;
    status.own_instance = 3;

    EXPECT_EQ(core::post_to_windows_of_class("TZorStatusX"), 1);
    EXPECT_TRUE(status.seen.empty()) << "a posted message waits for the receiver's loop";
    window::process_messages();
    ASSERT_EQ(status.seen.size(), 1u);
    EXPECT_EQ(status.seen[0], 3u);
    EXPECT_EQ(status.acted, 1);
}

TEST_F(WindowBroadcast, AWindowOfAnotherInstanceIgnoresIt) {
    Receiver mine;
    Receiver other;
    other.own_instance = 2;
    make_window("TZorStatusX", 0, mine);
    make_window("TZorStatusX", 0, other);

    core::notify_status_windows();
    window::process_messages();

    EXPECT_EQ(mine.acted, 1);
    EXPECT_EQ(other.seen.size(), 1u) << "the message reaches it";
    EXPECT_EQ(other.acted, 0) << "but it is not for its instance";
    EXPECT_TRUE(core::is_own_status_message(core::zor_status_message, 1));
    EXPECT_FALSE(core::is_own_status_message(core::zor_status_message, 2));
    EXPECT_FALSE(core::is_own_status_message(core::zor_status_message + 1, 1));
}

TEST_F(WindowBroadcast, ReachesChildWindowsAtAnyDepth) {
    Receiver host;
    Receiver panel;
    Receiver editor;
    const window::Handle host_window = make_window("THostMain", 0, host);
    const window::Handle panel_window = make_window("TPanel", host_window, panel);
    make_window("TMethod_Editor", panel_window, editor);

    EXPECT_EQ(core::post_to_windows_of_class(core::method_editor_class), 1);
    window::process_messages();

    EXPECT_EQ(editor.acted, 1);
    EXPECT_TRUE(host.seen.empty());
    EXPECT_TRUE(panel.seen.empty());
}

TEST_F(WindowBroadcast, ComparesClassNamesWithoutCase) {
    Receiver upper;
    Receiver lower;
    Receiver unrelated;
    make_window("TWAIT_FORM", 0, upper);
    make_window("twait_form", 0, lower);
    make_window("TWait_form2", 0, unrelated);

    core::notify_wait_forms();
    window::process_messages();

    EXPECT_EQ(upper.acted, 1);
    EXPECT_EQ(lower.acted, 1);
    EXPECT_TRUE(unrelated.seen.empty());
}

TEST_F(WindowBroadcast, EachNotifierAddressesItsOwnClass) {
    Receiver status;
    Receiver editor;
    Receiver wait;
    make_window("TZorStatusX", 0, status);
    make_window("TMethod_Editor", 0, editor);
    make_window("TWait_form", 0, wait);

    core::notify_method_editors();
    window::process_messages();
    EXPECT_EQ(status.acted + editor.acted + wait.acted, 1);
    EXPECT_EQ(editor.acted, 1);

    core::notify_status_windows();
    core::notify_wait_forms();
    window::process_messages();
    EXPECT_EQ(status.acted, 1);
    EXPECT_EQ(wait.acted, 1);
    EXPECT_EQ(editor.acted, 1);
}

TEST_F(WindowBroadcast, NoMatchingWindowIsNoError) {
    EXPECT_EQ(core::post_to_windows_of_class("TZorStatusX"), 0);
}

}  // namespace
