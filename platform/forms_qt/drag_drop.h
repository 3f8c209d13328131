// Drag and drop on a real screen, with this program's windows and with other programs.
//
// Out: a person pressing on an item of a tree or list view and moving past the drag distance
// starts the control's drag (begin_drag, drag_selection); its do_drag_drop reaches the drag
// runner installed here, which runs a QDrag of the data object (mime_transfer.h). The drop
// source hears each change of effect (GiveFeedback); Escape and the release are the display's:
// QueryContinueDrag is not asked. A drop one of this program's targets took ends as a drop with
// the effect that target gave, none included, as in the scripted drag loop.
//
// In: drags over a control whose drop window (drop_window()) has a drop target registered at
// that moment reach the target as DragEnter, DragOver, DragLeave and Drop, with the MK_* keys
// of the event, the point where the control lays out the item under the pointer (in the
// form's screen, as drop targets take points), and the effects the drag allows. While the
// pointer rests, DragOver repeats so the control can scroll and open the node it rests on.
// Without a target the view refuses the drag: it never takes rows in by itself.
#pragma once

#include "platform/forms_qt/backend_impl.h"
#include "platform/shell/ole.h"

class QTreeWidget;

namespace platform::forms_qt {

// Starts drags from the items of `view` and takes drops on it for its control.
void take_drags_and_drops(Impl& impl, QTreeWidget& view);
// Runs do_drag_drop's drags as QDrags while installed (QtBackend's life).
platform::shell::DragRunner qt_drag_runner();

}  // namespace platform::forms_qt
