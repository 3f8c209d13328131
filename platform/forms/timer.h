// The timer component: OnTimer every Interval milliseconds while enabled, through the window
// layer's timers on a hidden window of its own, so it fires in every message loop of its
// thread, modal loops included.
#pragma once

#include <memory>

#include "platform/forms/component.h"
#include "platform/forms/hidden_window.h"

namespace platform::forms {

class Timer : public Component {
  public:
    FORMS_CLASS_NAME("TTimer")
    Timer();
    ~Timer() override;

    NotifyEvent OnTimer;

    // Enabled and Interval arm the window layer's timer when they change, so they are set
    // through these (default: enabled, 1000 ms). A timer with interval 0 does not run.
    bool enabled() const { return enabled_; }
    void set_enabled(bool enabled);
    unsigned interval() const { return interval_; }
    void set_interval(unsigned milliseconds);
    // Whether a window-layer timer is armed now.
    bool armed() const { return armed_; }

  private:
    void update();
    bool enabled_ = true;
    unsigned interval_ = 1000;
    bool armed_ = false;
    std::unique_ptr<HiddenWindow> window_;
};

}  // namespace platform::forms
