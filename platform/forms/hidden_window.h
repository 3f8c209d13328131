// A hidden window that delivers messages to a handler: what timers, the serial port's
// notifications and other non-visual components receive their messages through.
//
// The window belongs to the calling thread; the handler runs on it. Destroying the object
// destroys the window (its timers and pending posted messages go with it).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/window/window.h"

namespace platform::forms {

class HiddenWindow {
  public:
    using Handler = std::function<window::Result(std::uint32_t message, window::WParam, window::LParam)>;

    HiddenWindow(std::string_view class_name, Handler handler);
    ~HiddenWindow();
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;

    window::Handle handle() const { return handle_; }

  private:
    Handler handler_;
    window::Handle handle_ = 0;
};

}  // namespace platform::forms
