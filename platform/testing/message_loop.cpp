#include "platform/testing/message_loop.h"

#include <gtest/gtest.h>

#include <thread>

namespace zor_testing {

namespace window = platform::window;

bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        window::process_messages();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void pump_for(std::chrono::milliseconds time) {
    pump_until([] { return false; }, time);
}

Reaper::Reaper(unsigned ms, std::function<void()> end_loop) : end_loop_(std::move(end_loop)) {
    window_ = window::create_window(
        "TestReaper", 0,
        [this](window::Handle self, std::uint32_t message, window::WParam, window::LParam) -> window::Result {
            if (message == window::WM_TIMER && !fired_) {
                fired_ = true;
                window::kill_timer(self, 1);
                ADD_FAILURE() << "the loop under test did not end; the reaper stopped it";
                if (end_loop_) {
                    end_loop_();
                } else {
                    window::post_quit_message(-99);
                }
            }
            return 0;
        });
    window::set_timer(window_, 1, ms);
}

Reaper::~Reaper() {
    window::destroy_window(window_);
}

}  // namespace zor_testing
