#include "platform/forms_qt/system_keys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QWidget>
#include <QWindow>

namespace platform::forms_qt {

namespace {

bool letter_or_digit(int key) {
    return (key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9);
}

// The top-level widget whose window holds `window` as an embedded native window, or nullptr.
QWidget* embedding_widget(const QWidget& window) {
    const WId id = window.winId();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top == &window || !top->windowHandle()) continue;
        for (const QWindow* child : top->windowHandle()->findChildren<QWindow*>())
            if (child->winId() == id) return top;
    }
    return nullptr;
}

void open_menu(QWidget& host, const QKeyEvent& event) {
    auto* bar = host.findChild<QMenuBar*>();
    if (!bar) return;
    QAction* chosen = nullptr;
    for (QAction* action : bar->actions()) {
        if (!action->isVisible() || !action->isEnabled() || action->isSeparator()) continue;
        if (event.key() == Qt::Key_F10) {
            chosen = action;
            break;
        }
        if (QKeySequence::mnemonic(action->text()) == QKeySequence(Qt::ALT | Qt::Key(event.key()))) {
            chosen = action;
            break;
        }
    }
    if (chosen) bar->setActiveAction(chosen);
}

}  // namespace

bool is_system_key(const QKeyEvent& event) {
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    if (event.key() == Qt::Key_F10) return !(mods & ~Qt::ShiftModifier);
    return (mods & Qt::AltModifier) && !(mods & Qt::ControlModifier) && letter_or_digit(event.key());
}

void take_system_key(QWidget& widget, const QKeyEvent& event) {
    if (QWidget* host = embedding_widget(*widget.window())) open_menu(*host, event);
}

}  // namespace platform::forms_qt
