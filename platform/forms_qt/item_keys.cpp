#include "platform/forms_qt/item_keys.h"

#include <QKeyEvent>

#include "platform/forms_qt/keys.h"

namespace platform::forms_qt {

using namespace platform::forms;

bool key_to_control(Impl& impl, const QWidget* widget, QKeyEvent& event) {
    const int key = virtual_key(event);
    if (key != 0) {
        const ShiftState shift = shift_state(event.modifiers());
        impl.person<Control>(widget, [&](Control& c) { c.key_down(key, shift); });
    }
    switch (event.key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Plus:
        case Qt::Key_Minus:
        case Qt::Key_Asterisk:
        case Qt::Key_Space:
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            event.ignore();
            return false;
        default:
            event.accept();
            return false;
    }
}

}  // namespace platform::forms_qt
