// The mouse wheel over the item views (trees and lists): the control's own wheel handling
// scrolls it when it has one, and the widget then shows the row the control scrolled to.
#pragma once

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include "platform/forms_qt/backend_impl.h"

namespace platform::forms_qt {

// True when control C of `view` took the wheel (the event is then accepted); false: the
// widget scrolls as its own.
template <class C>
bool wheel_to_control(Impl& impl, QAbstractScrollArea& view, QWheelEvent& event) {
    bool own = false;
    int top = 0;
    impl.person<C>(&view, [&](C& c) {
        own = c.wheel(event.angleDelta().y());
        top = c.top_row();
    });
    if (!own) return false;
    view.verticalScrollBar()->setValue(top);
    event.accept();
    return true;
}

}  // namespace platform::forms_qt
