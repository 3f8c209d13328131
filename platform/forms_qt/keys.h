// A person's keys and buttons as the forms take them: the virtual-key code of a key and the
// shift state of the modifiers and mouse buttons held.
#pragma once

#include <Qt>

#include "platform/forms/types.h"

class QKeyEvent;

namespace platform::forms_qt {

// The virtual-key code of the key (letters and digits as their upper-case character), or 0
// for a key the forms have no code for.
int virtual_key(const QKeyEvent& event);
platform::forms::ShiftState shift_state(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons = {});

}  // namespace platform::forms_qt
