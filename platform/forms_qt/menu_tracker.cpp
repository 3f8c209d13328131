// A menu a control tracks itself: a QMenu run until the person chose an item or dismissed it.
// Submenus are filled when they open (the owner may fill them only then).
#include <QAbstractItemView>
#include <QApplication>
#include <QCursor>
#include <QMenu>

#include "platform/forms_qt/item_looks.h"
#include "platform/forms_qt/qt_backend.h"
#include "platform/forms_qt/screen_position.h"

namespace platform::forms_qt {

using namespace platform::forms;

namespace {

void add_items(QMenu* q, std::vector<TrackedMenuItem>& items, TrackedMenu& menu) {
    for (TrackedMenuItem& item : items) {
        if (item.separator) {
            q->addSeparator();
            continue;
        }
        if (item.is_submenu) {
            QMenu* sub = q->addMenu(to_qstring(item.caption));
            sub->setEnabled(item.enabled);
            add_items(sub, item.submenu, menu);
            bool filled = false;
            QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, &item, &menu, filled]() mutable {
                if (filled || !menu.opening) return;
                filled = true;
                menu.opening(item);
                sub->clear();
                add_items(sub, item.submenu, menu);
            });
            continue;
        }
        QAction* action = q->addAction(to_qstring(item.caption));
        action->setData(item.command);
        action->setEnabled(item.enabled);
        action->setCheckable(item.checked);
        action->setChecked(item.checked);
        action->setIcon(image_icon(item.images, item.image));
        if (item.is_default) {
            QFont bold = action->font();
            bold.setBold(true);
            action->setFont(bold);
        }
    }
}

// At the mouse when it is over the focused control (a right click), else at the focused
// control's current item or its middle (the menu key).
QPoint where() {
    const QPoint mouse = QCursor::pos();
    QWidget* focused = QApplication::focusWidget();
    if (!focused) return mouse;
    if (QRect(global_position(*focused, {0, 0}), focused->size()).contains(mouse)) return mouse;
    if (auto* view = qobject_cast<QAbstractItemView*>(focused); view && view->currentIndex().isValid())
        return global_position(*view->viewport(), view->visualRect(view->currentIndex()).center());
    return global_position(*focused, focused->rect().center());
}

}  // namespace

int QtBackend::track_menu(TrackedMenu& menu) {
    QMenu q(QApplication::activeWindow());
    add_items(&q, menu.items, menu);
    QObject::connect(&q, &QMenu::hovered, &q, [&menu](QAction* action) {
        if (menu.highlighted) menu.highlighted(action->data().toInt());
    });
    const QAction* chosen = q.exec(where());
    return chosen ? chosen->data().toInt() : 0;
}

}  // namespace platform::forms_qt
