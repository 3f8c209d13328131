#include "platform/forms_qt/keys.h"

#include <QKeyEvent>

#include "platform/forms/keys.h"

namespace platform::forms_qt {

namespace keys = platform::forms::keys;

int virtual_key(const QKeyEvent& event) {
    const int key = event.key();
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return keys::f1 + (key - Qt::Key_F1);
    switch (key) {
        case Qt::Key_Backspace:
            return keys::backspace;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return keys::tab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return keys::enter;
        case Qt::Key_Shift:
            return keys::shift;
        case Qt::Key_Control:
            return keys::control;
        case Qt::Key_Alt:
            return keys::alt;
        case Qt::Key_Pause:
            return keys::pause;
        case Qt::Key_Escape:
            return keys::escape;
        case Qt::Key_Space:
            return keys::space;
        case Qt::Key_PageUp:
            return keys::page_up;
        case Qt::Key_PageDown:
            return keys::page_down;
        case Qt::Key_End:
            return keys::end;
        case Qt::Key_Home:
            return keys::home;
        case Qt::Key_Left:
            return keys::left;
        case Qt::Key_Up:
            return keys::up;
        case Qt::Key_Right:
            return keys::right;
        case Qt::Key_Down:
            return keys::down;
        case Qt::Key_Insert:
            return keys::insert;
        case Qt::Key_Delete:
            return keys::del;
        case Qt::Key_Menu:
            return keys::apps;
        case Qt::Key_Plus:
            return event.modifiers() & Qt::KeypadModifier ? keys::numpad_add : keys::plus;
        case Qt::Key_Minus:
            return event.modifiers() & Qt::KeypadModifier ? keys::numpad_subtract : keys::minus;
        case Qt::Key_Asterisk:
            return keys::numpad_multiply;
        default:
            return 0;
    }
}

platform::forms::ShiftState shift_state(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    platform::forms::ShiftState s;
    s.shift = modifiers & Qt::ShiftModifier;
    s.ctrl = modifiers & Qt::ControlModifier;
    s.alt = modifiers & Qt::AltModifier;
    s.left = buttons & Qt::LeftButton;
    s.right = buttons & Qt::RightButton;
    s.middle = buttons & Qt::MiddleButton;
    return s;
}

}  // namespace platform::forms_qt
