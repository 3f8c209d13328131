// The keyboard of the item views (trees and lists), as the control's window gets it: every
// key goes to the control's key-down handling with the shift state; the keys that move among
// the items then move the widget's current item, and the control's selection follows it;
// Enter and Escape go on to the form (its default and cancel buttons); the others were the
// control's alone.
#pragma once

#include "platform/forms_qt/backend_impl.h"

class QKeyEvent;

namespace platform::forms_qt {

// The property that marks a widget delivering its keys itself.
inline constexpr const char* own_keys = "zor_own_keys";

// Runs the control's key-down for the key; true when the widget moves its current item with
// it next, else the event is accepted (the control's) or ignored (the form's).
bool key_to_control(Impl& impl, const QWidget* widget, QKeyEvent& event);

}  // namespace platform::forms_qt
