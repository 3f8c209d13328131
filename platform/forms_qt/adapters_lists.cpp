// Lists: list boxes and list views. A person's click selects an item.
#include <QListWidget>
#include <QTreeWidget>

#include "platform/forms_qt/backend_impl.h"

namespace platform::forms_qt {

using namespace platform::forms;

void add_list_adapters(Adapters& a) {
    a.add<ListBox, Control>({[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
                                 auto* list = new QListWidget(parent);
                                 QObject::connect(
                                     list, &QListWidget::currentRowChanged, list, [&impl, list](int row) {
                                         impl.person<ListBox>(list, [&](ListBox& l) { l.select(row); });
                                     });
                                 return list;
                             },
                             [](Impl&, Control& control, Impl::Bound& b, Common&) {
                                 auto& list = static_cast<ListBox&>(control);
                                 auto* q = static_cast<QListWidget*>(b.widget);
                                 const auto items = list.Items.strings();
                                 if (items != b.items) {
                                     q->clear();
                                     for (const std::string& item : items) q->addItem(to_qstring(item));
                                     b.items = items;
                                 }
                                 q->setSelectionMode(list.MultiSelect ? QAbstractItemView::MultiSelection
                                                                      : QAbstractItemView::SingleSelection);
                                 q->setCurrentRow(list.ItemIndex);
                                 if (list.MultiSelect) {
                                     for (int i = 0; i < q->count(); ++i)
                                         q->item(i)->setSelected(list.selected(i));
                                 }
                             }});
    a.add<ListView, Control>(
        {[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
             auto* list = new QTreeWidget(parent);
             list->setRootIsDecorated(false);
             QObject::connect(list, &QTreeWidget::itemClicked, list,
                              [&impl, list](QTreeWidgetItem* item, int) {
                                  impl.person<ListView>(
                                      list, [&](ListView& l) { l.select(list->indexOfTopLevelItem(item)); });
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
                 std::vector<std::string> texts;
                 std::string row;
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
                 for (const std::vector<std::string>& texts : rows) {
                     auto* row = new QTreeWidgetItem(q);
                     for (int c = 0; c < columns; ++c)
                         row->setText(c, to_qstring(texts[static_cast<std::size_t>(c)]));
                 }
                 b.items = signature;
             }
             q->setSelectionMode(view->MultiSelect ? QAbstractItemView::MultiSelection
                                                   : QAbstractItemView::SingleSelection);
             for (int i = 0; i < q->topLevelItemCount(); ++i)
                 q->topLevelItem(i)->setSelected(view->Items[static_cast<std::size_t>(i)].Selected);
         }});
}

}  // namespace platform::forms_qt
