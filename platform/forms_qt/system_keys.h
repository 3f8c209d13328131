// System keys: Alt with a letter or digit, and F10. They go to menus and mnemonics, never into
// the text of the control that has the focus.
#pragma once

class QKeyEvent;
class QWidget;

namespace platform::forms_qt {

// True for Alt with a letter or digit (not with Ctrl too: AltGr types characters that way) and
// for F10 (alone or with Shift).
bool is_system_key(const QKeyEvent& event);

// Acts on a system key pressed in `widget` that no mnemonic of its window took (the buttons'
// own): the menu bar of the window that holds the widget's window (a host that embeds a form)
// opens the menu of that letter, or its first menu for F10.
void take_system_key(QWidget& widget, const QKeyEvent& event);

}  // namespace platform::forms_qt
