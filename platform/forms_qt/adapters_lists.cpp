// Lists: list boxes and list views. A person's click selects an item; on a list view a key
// that moves the current item selects it, a double click and a click on a column's header
// reach the list, and other keys its key handling.
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QScrollBar>
#include <QTreeWidget>
#include <algorithm>

#include "platform/forms_qt/backend_impl.h"
#include "platform/forms_qt/drag_drop.h"
#include "platform/forms_qt/item_keys.h"
#include "platform/forms_qt/item_looks.h"
#include "platform/forms_qt/item_wheel.h"
#include "platform/forms_qt/keys.h"

namespace platform::forms_qt {

using namespace platform::forms;

namespace {

class ListViewWidget : public QTreeWidget {
  public:
    ListViewWidget(Impl& impl, QWidget* parent) : QTreeWidget(parent), impl_(impl) {
        setProperty(own_keys, true);
        setProperty(own_right_click, true);
    }
    bool keying = false;  // the current item moves by a key, not by a click

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!key_to_control(impl_, this, *event)) return;
        keying = true;
        QTreeWidget::keyPressEvent(event);
        keying = false;
    }
    // A right click asks for the context menu of the item under the mouse (-1: none).
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::RightButton) return QTreeWidget::mousePressEvent(event);
        const int index = indexOfTopLevelItem(itemAt(event->position().toPoint()));
        impl_.person<ListView>(this, [index](ListView& l) { l.right_click_item(index); });
    }

    // The list's own wheel handling scrolls it; the widget shows where it scrolled to.
    void wheelEvent(QWheelEvent* event) override {
        if (!wheel_to_control<ListView>(impl_, *this, *event)) QTreeWidget::wheelEvent(event);
    }

  private:
    Impl& impl_;
};

}  // namespace

void add_list_adapters(Adapters& a) {
    a.add<ListBox, Control>(
        {[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
             auto* list = new QListWidget(parent);
             QObject::connect(list, &QListWidget::currentRowChanged, list, [&impl, list](int row) {
                 impl.person<ListBox>(list, [&](ListBox& l) { l.select(row); });
             });
             // One scroll step per item: the bar's value is the top item, which a
             // person's scrolling gives to the list.
             list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
             QObject::connect(list->verticalScrollBar(), &QScrollBar::valueChanged, list,
                              [&impl, list](int top) {
                                  impl.person<ListBox>(list, [&](ListBox& l) { l.TopIndex = top; });
                              });
             return list;
         },
         [](Impl&, Control& control, Impl::Bound& b, Common&) {
             auto& list = static_cast<ListBox&>(control);
             auto* q = static_cast<QListWidget*>(b.widget);
             const auto items = list.Items.strings();
             const bool rebuilt = items != b.items;
             if (rebuilt) {
                 q->clear();
                 for (const std::string& item : items) q->addItem(to_qstring(item));
                 b.items = items;
             }
             // The top item where code moved it (or the items were made anew), as
             // close to the top as the list stays filled; the selection below then
             // still scrolls into sight.
             if ((rebuilt || list.TopIndex != b.top_index) && list.TopIndex >= 0 &&
                 list.TopIndex < q->count())
                 q->scrollToItem(q->item(list.TopIndex), QAbstractItemView::PositionAtTop);
             b.top_index = list.TopIndex;
             q->setSelectionMode(list.MultiSelect ? QAbstractItemView::MultiSelection
                                                  : QAbstractItemView::SingleSelection);
             q->setCurrentRow(list.ItemIndex);
             if (list.MultiSelect) {
                 for (int i = 0; i < q->count(); ++i) q->item(i)->setSelected(list.selected(i));
             }
         }});
    a.add<ListView, Control>(
        {[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
             auto* list = new ListViewWidget(impl, parent);
             list->setRootIsDecorated(false);
             list->header()->setSectionsClickable(true);
             own_item_drawing(*list, [&impl, list](const QModelIndex& index, Rect bounds) {
                 ItemLook look;
                 impl.person<ListView>(list, [&](ListView& l) { look = l.item_look(index.row(), bounds); });
                 return look;
             });
             take_drags_and_drops(impl, *list);
             QObject::connect(
                 list, &QTreeWidget::itemClicked, list, [&impl, list](QTreeWidgetItem* item, int) {
                     const ShiftState shift = shift_state(QApplication::keyboardModifiers());
                     impl.person<ListView>(
                         list, [&](ListView& l) { l.click_item(list->indexOfTopLevelItem(item), shift); });
                 });
             // The current item moved by a key selects it, as a click does.
             QObject::connect(list, &QTreeWidget::currentItemChanged, list,
                              [&impl, list](QTreeWidgetItem* now, QTreeWidgetItem*) {
                                  if (!list->keying || !now) return;
                                  impl.person<ListView>(list, [&](ListView& l) {
                                      l.click_item(list->indexOfTopLevelItem(now));
                                  });
                              });
             QObject::connect(
                 list, &QTreeWidget::itemDoubleClicked, list, [&impl, list](QTreeWidgetItem* item, int) {
                     impl.person<ListView>(
                         list, [&](ListView& l) { l.double_click_item(list->indexOfTopLevelItem(item)); });
                 });
             QObject::connect(list->header(), &QHeaderView::sectionClicked, list, [&impl, list](int column) {
                 impl.person<ListView>(list, [&](ListView& l) { l.click_column(column); });
             });
             return list;
         },
         [](Impl& impl, Control& control, Impl::Bound& b, Common&) {
             auto* view = static_cast<ListView*>(&control);
             auto* q = static_cast<QTreeWidget*>(b.widget);
             const LayoutScale& sc = impl.scale;
             const bool report = view->ViewStyle == ViewStyle::report && !view->Columns.empty();
             const int columns = report ? static_cast<int>(view->Columns.size()) : 1;
             // The texts as the list shows them (a list may compute them only now).
             std::vector<std::vector<std::string>> rows;
             std::vector<std::string> signature;
             for (const ListColumn& c : view->Columns)
                 signature.push_back("\x02" + c.Caption + std::to_string(c.Width));
             for (int i = 0; i < static_cast<int>(view->Items.size()); ++i) {
                 const ListItem& shown = view->Items[static_cast<std::size_t>(i)];
                 std::vector<std::string> texts;
                 std::string row = std::to_string(shown.OverlayIndex) + (shown.Cut ? "c" : "");
                 for (int c = 0; c < columns; ++c) {
                     texts.push_back(view->shown_text(i, c));
                     row += "\x01" + texts.back();
                 }
                 rows.push_back(std::move(texts));
                 signature.push_back(row);
             }
             if (signature != b.items) {
                 q->clear();
                 q->setHeaderHidden(!report);
                 q->setColumnCount(columns);
                 if (report) {
                     QStringList headers;
                     for (const ListColumn& c : view->Columns) headers << to_qstring(c.Caption);
                     q->setHeaderLabels(headers);
                     for (std::size_t i = 0; i < view->Columns.size(); ++i)
                         q->setColumnWidth(static_cast<int>(i), sc.map_x(view->Columns[i].Width));
                 }
                 for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
                     const std::vector<std::string>& texts = rows[static_cast<std::size_t>(i)];
                     auto* row = new QTreeWidgetItem(q);
                     for (int c = 0; c < columns; ++c)
                         row->setText(c, to_qstring(texts[static_cast<std::size_t>(c)]));
                     const ListItem& shown = view->Items[static_cast<std::size_t>(i)];
                     row->setIcon(0, image_icon(view->SmallImages, view->shown_image(i), -1,
                                                {shown.OverlayIndex, shown.Cut}));
                 }
                 b.items = signature;
             }
             // The list's custom drawing, asked as the platform's paint would ask it.
             const bool per_item = view->draws_items();
             // Only the rows of the list's items: the view holds no others of its own.
             const int rows_shown = std::min(q->topLevelItemCount(), static_cast<int>(view->Items.size()));
             for (int i = 0; i < rows_shown; ++i) {
                 QTreeWidgetItem& row = *q->topLevelItem(i);
                 apply_item_look(row, columns,
                                 per_item ? view->item_look(i, item_bounds(*q, row)) : ItemLook{},
                                 q->palette(), view->Items[static_cast<std::size_t>(i)].Cut);
             }
             if (report) {
                 const int sorted = view->sort_column();
                 q->header()->setSortIndicatorShown(sorted >= 0 && sorted < columns);
                 if (sorted >= 0 && sorted < columns)
                     q->header()->setSortIndicator(
                         sorted, view->sort_descending() ? Qt::DescendingOrder : Qt::AscendingOrder);
             }
             q->setSelectionMode(view->MultiSelect ? QAbstractItemView::MultiSelection
                                                   : QAbstractItemView::SingleSelection);
             for (int i = 0; i < rows_shown; ++i)
                 q->topLevelItem(i)->setSelected(view->Items[static_cast<std::size_t>(i)].Selected);
             const int edited = view->edited_item();
             QTreeWidgetItem* item =
                 edited >= 0 && edited < q->topLevelItemCount() ? q->topLevelItem(edited) : nullptr;
             follow_label_edit(impl, *q, b, item != nullptr, item ? q->visualItemRect(item) : QRect(),
                               view->edited_text() ? *view->edited_text() : std::string(),
                               [](Control& c, const std::string& text, bool accept) {
                                   auto& l = static_cast<ListView&>(c);
                                   if (l.edited_item() < 0) return;
                                   *l.edited_text() = text;
                                   l.end_label_edit(accept);
                               });
         }});
}

}  // namespace platform::forms_qt
