// Aligned controls: a control whose Align is not none keeps to that side of its parent's client
// area (a status bar to the bottom), taking the full width or height there. Forms apply it when
// they are resized, before their OnResize. Main thread only.
#pragma once

#include "platform/forms/component.h"

namespace platform::forms {

// Places the aligned children of `parent` inside `client` (the parent's client rectangle): top,
// then bottom, left, right and client ones, each kind in the order the children were added.
// Controls with Align none, and hidden ones, stay where they are.
void align_controls(Control& parent, Rect client);

}  // namespace platform::forms
