#include "platform/forms/hidden_window.h"

namespace platform::forms {

HiddenWindow::HiddenWindow(std::string_view class_name, Handler handler) : handler_(std::move(handler)) {
    handle_ = window::create_window(
        class_name, 0,
        [this](window::Handle, std::uint32_t message, window::WParam wparam, window::LParam lparam) {
            return handler_ ? handler_(message, wparam, lparam) : window::Result{0};
        });
}

HiddenWindow::~HiddenWindow() {
    if (handle_) window::destroy_window(handle_);
}

}  // namespace platform::forms
