// The driver's status broadcast: window message 1425 to the windows of a class.
//
// The message is posted (never sent) with wParam = the sender's instance number and lParam 0
// to every window under the desktop whose class name matches without regard to case, child
// windows included (the plug-in's method editor lives inside the host's window). A receiver
// acts only on the message of its own instance number, so several driver instances can share
// a desktop. Main thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/window/window.h"

namespace core {

// WM_USER + 401.
inline constexpr std::uint32_t zor_status_message = platform::window::WM_USER + 401;

inline constexpr std::string_view status_window_class = "TZorStatusX";
inline constexpr std::string_view method_editor_class = "TMethod_Editor";
inline constexpr std::string_view wait_form_class = "TWait_form";

// Posts the message to every matching window of this process and hands it on to the other
// processes through the window layer. Returns the number of local windows posted to.
int post_to_windows_of_class(std::string_view class_name);

// The three receivers: status windows (every status text change and run start), method editors
// (a configuration was received), wait forms (end of a synchronous wait).
void notify_status_windows();
void notify_method_editors();
void notify_wait_forms();

// For receivers: true when the message is the status broadcast of this process's instance.
bool is_own_status_message(std::uint32_t message, platform::window::WParam wparam);

}  // namespace core
