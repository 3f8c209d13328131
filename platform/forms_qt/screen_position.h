// Where a point of a widget is on the screen now.
//
// Qt knows where a window is from the window system's notices. A form's window that a host put
// into a window of its own (the method editor inside the host's window) hears nothing when the
// host's window moves, so Qt's idea of its place goes stale and whatever Qt places from it
// (a drop-down list, a menu) opens where the window was. Popups are placed from here instead:
// on X the server is asked where the widget's window is; elsewhere Qt's own mapping is taken.
//
// Main thread only.
#pragma once

#include <QPoint>

class QWidget;

namespace platform::forms_qt {

QPoint global_position(const QWidget& widget, QPoint local);

}  // namespace platform::forms_qt
