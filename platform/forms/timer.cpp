#include "platform/forms/timer.h"

namespace platform::forms {

namespace {
constexpr window::WParam timer_id = 1;
}

Timer::Timer() {
    window_ = std::make_unique<HiddenWindow>(
        "TTimerWindow", [this](std::uint32_t message, window::WParam wparam, window::LParam) {
            if (message == window::WM_TIMER && wparam == timer_id && armed_ && OnTimer) OnTimer(*this);
            return window::Result{0};
        });
    update();
}

Timer::~Timer() {
    armed_ = false;
    window_.reset();  // takes its timer with it
}

void Timer::set_enabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    update();
}

void Timer::set_interval(unsigned milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    update();
}

void Timer::update() {
    if (enabled_ && interval_ > 0) {
        window::set_timer(window_->handle(), timer_id, interval_);  // restarts it
        armed_ = true;
    } else if (armed_) {
        window::kill_timer(window_->handle(), timer_id);
        armed_ = false;
    }
}

}  // namespace platform::forms
