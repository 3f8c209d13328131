// The editor's keyboard as a dialog's: what CompPreTranslate does with a message of the host's
// loop before the host handles it. Main thread only.
#pragma once

#include <cstdint>

#include "plugin/host_interfaces.h"

namespace platform::forms {
class Form;
}

namespace zorsetup {

// Tab and Shift-Tab move the focus along the tab order; the arrows move it to the next or
// previous control, except in a control that uses them itself (edits, lists, combos), which
// gets the key; Enter clicks the focused button or else the default button, Escape the cancel
// button; Alt with a letter (or the letter alone where the focused control takes no typing)
// clicks the button or check box whose caption marks that letter with "&", or focuses the
// control a marked label or group stands for. Nonzero when the message was the form's;
// messages for windows outside the form are left to the host.
std::int32_t dialog_message(platform::forms::Form& form, const HostMessage& message);

}  // namespace zorsetup
