// WM_HELP: a person asking for help (F1) on a control of a form.
//
// The form gets WM_HELP by a send, with a HelpInfo as lParam that lives for the call only;
// a form answers it with on_message(WM_HELP, ...). Main thread only.
#pragma once

#include <cstdint>

#include "platform/forms/types.h"
#include "platform/window/window.h"

namespace platform::forms {

class Control;

inline constexpr std::uint32_t WM_HELP = 0x0053;

// What the help is asked for.
inline constexpr int HELPINFO_WINDOW = 1;    // a control or window
inline constexpr int HELPINFO_MENUITEM = 2;  // a menu item

struct HelpInfo {
    std::uint32_t cbSize = sizeof(HelpInfo);
    int iContextType = HELPINFO_WINDOW;
    int iCtrlId = 0;                 // the control's Tag
    window::Handle hItemHandle = 0;  // the form's window (controls have none of their own)
    std::uintptr_t dwContextId = 0;
    Point MousePos;
};

// The HelpInfo of a WM_HELP's lParam; nullptr when none was given.
inline const HelpInfo* help_info_of(window::LParam lparam) {
    return reinterpret_cast<const HelpInfo*>(lparam);
}

// A person pressing F1 with the focus on `control` (on a form itself: the form): sends WM_HELP
// to its form and returns the form's answer. Throws FormError when the control is on no form
// or cannot be reached.
window::Result press_f1(Control& control);

}  // namespace platform::forms
