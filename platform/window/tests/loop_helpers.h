// Helpers for tests that run loops or talk to other threads. Every wait here is bounded:
// a test that would hang fails with a message instead.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/kernel/kernel.h"
#include "platform/testing/message_loop.h"
#include "platform/window/window.h"

namespace platform::window::testing {

inline constexpr unsigned guard_ms = 10'000;  // no correct test comes near this

// The kit's bounded wait and loop guard, under the names these tests know.
using zor_testing::Reaper;
using zor_testing::wait_until;

// A thread with a message loop and a control window through which tests run code on it.
// The loop ends on stop() or, failing the test, after the guard time.
class LoopThread {
  public:
    static constexpr std::uint32_t msg_run = WM_USER + 900;
    static constexpr std::uint32_t msg_stop = WM_USER + 901;

    explicit LoopThread(std::function<void()> setup = {}) {
        thread_ = kernel::Thread([this, setup = std::move(setup)] {
            control_ = create_window("TestControl", 0,
                                     [](Handle, std::uint32_t message, WParam, LParam lparam) -> Result {
                                         if (message == msg_run)
                                             (*reinterpret_cast<const std::function<void()>*>(lparam))();
                                         if (message == msg_stop) post_quit_message(0);
                                         return 0;
                                     });
            if (setup) setup();
            id_ = kernel::current_thread_id();
            ready_.set();
            {
                Reaper reaper;
                run_message_loop();
            }
            reset_thread_state_for_tests();
        });
        EXPECT_TRUE(ready_.wait(guard_ms).signalled());
    }
    ~LoopThread() { stop(); }

    // Runs `f` on the loop thread and waits for it.
    void run(const std::function<void()>& f) {
        ASSERT_EQ(send_message_timeout(control_, msg_run, 0, reinterpret_cast<LParam>(&f), guard_ms),
                  SendStatus::ok);
    }
    void stop() {
        if (!thread_.started()) return;
        post_message(control_, msg_stop);
        if (thread_.wait_for_end(guard_ms).signalled()) {
            thread_.join();
        } else {
            ADD_FAILURE() << "loop thread did not end";
            thread_.detach();
        }
    }
    kernel::ThreadId id() const { return id_; }
    Handle control() const { return control_; }

  private:
    kernel::Thread thread_;
    kernel::Event ready_{kernel::ResetMode::manual};
    Handle control_ = 0;
    kernel::ThreadId id_ = 0;
};

// Resets the test thread's queue after every test.
class WindowTest : public ::testing::Test {
  protected:
    void TearDown() override {
        reset_thread_state_for_tests();
        set_remote_broadcaster({});
        set_remote_foreground({});
    }
};

}  // namespace platform::window::testing
