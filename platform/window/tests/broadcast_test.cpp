// Messages to every window of a class, here and (through the hook) in other processes.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/window/tests/loop_helpers.h"

namespace platform::window {
namespace {

using testing::guard_ms;
using testing::LoopThread;
using testing::wait_until;
using testing::WindowTest;

constexpr std::uint32_t status_message = WM_USER + 401;

class Broadcast : public WindowTest {};

TEST_F(Broadcast, PostsToEveryWindowOfTheClassOnItsOwnThreadAndCallsTheHookOnce) {
    std::atomic<int> received{0};
    std::atomic<int> wrong_thread{0};
    auto receiver = [&](kernel::ThreadId owner_id) {
        return [&, owner_id](Handle, std::uint32_t message, WParam wparam, LParam) -> Result {
            if (message == status_message && wparam == 1) ++received;
            if (message == status_message && kernel::current_thread_id() != owner_id) ++wrong_thread;
            return 0;
        };
    };
    const Handle host = create_window("THost", 0, {});
    create_window("TMethod_Editor", host, receiver(kernel::current_thread_id()));
    LoopThread other([&] { create_window("tmethod_editor", 0, receiver(kernel::current_thread_id())); });
    create_window("TWait_form", 0, receiver(kernel::current_thread_id()));  // another class

    int hook_calls = 0;
    std::string hook_class;
    set_remote_broadcaster([&](std::string_view class_name, std::uint32_t message, WParam wparam, LParam) {
        ++hook_calls;
        hook_class = std::string(class_name);
        EXPECT_EQ(message, status_message);
        EXPECT_EQ(wparam, 1u);
    });
    EXPECT_EQ(broadcast_to_class("TMethod_Editor", status_message, 1, 0), 2);
    EXPECT_EQ(hook_calls, 1);
    EXPECT_EQ(hook_class, "TMethod_Editor");
    process_messages();
    EXPECT_TRUE(wait_until([&] { return received.load() == 2; }));
    EXPECT_EQ(wrong_thread.load(), 0);
}

TEST_F(Broadcast, DeliveryFromAnotherProcessDoesNotGoBackOut) {
    int received = 0;
    create_window("TZorStatusX", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
        if (message == status_message) ++received;
        return 0;
    });
    int hook_calls = 0;
    set_remote_broadcaster([&](std::string_view, std::uint32_t, WParam, LParam) { ++hook_calls; });
    EXPECT_EQ(deliver_from_remote("tzorstatusx", status_message, 1, 0), 1);
    process_messages();
    EXPECT_EQ(received, 1);
    EXPECT_EQ(hook_calls, 0);
    EXPECT_EQ(broadcast_to_class("TNobody", status_message, 1, 0), 0);
    EXPECT_EQ(hook_calls, 1) << "the hook is called even when no local window matched";
}

TEST_F(Broadcast, TheFirstWindowOfAClassComesToTheFrontHereOrThroughTheHook) {
    int activations = 0;
    const Handle host =
        create_window("THost", 0, [&](Handle, std::uint32_t message, WParam wparam, LParam) -> Result {
            if (message == WM_ACTIVATE && wparam == WA_ACTIVE) ++activations;
            return 0;
        });
    create_window("TTask_Weaver", host, {});
    create_window("TOther", 0, {});
    std::vector<std::string> asked;
    bool answer = true;
    set_remote_foreground([&](std::string_view class_name) {
        asked.emplace_back(class_name);
        return answer;
    });

    // Ours: its top-level window is told, and the other processes are not asked.
    EXPECT_TRUE(bring_window_of_class_to_front("ttask_weaver"));
    EXPECT_EQ(foreground_window(), host);
    process_messages();
    EXPECT_EQ(activations, 1);
    EXPECT_TRUE(asked.empty());

    // Not ours: the hook decides.
    EXPECT_TRUE(bring_window_of_class_to_front("TNobody"));
    answer = false;
    EXPECT_FALSE(bring_window_of_class_to_front("TNobody"));
    EXPECT_EQ(asked, (std::vector<std::string>{"TNobody", "TNobody"}));
    set_remote_foreground({});
    EXPECT_FALSE(bring_window_of_class_to_front("TNobody"));

    EXPECT_FALSE(set_foreground_window(desktop_window()));
    EXPECT_FALSE(set_foreground_window(0x7FFFFFF0));
    destroy_window(host);
    EXPECT_EQ(foreground_window(), 0u);
    EXPECT_FALSE(bring_window_of_class_to_front("TTask_Weaver"));
}

}  // namespace
}  // namespace platform::window
