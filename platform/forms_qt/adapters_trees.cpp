// Tree views. A person's click, or a key that moves the current node, selects a node; the
// expand buttons and keys expand and collapse; other keys reach the tree's key handling.
#include <QKeyEvent>
#include <QTreeWidget>

#include "platform/forms_qt/backend_impl.h"
#include "platform/forms_qt/drag_drop.h"
#include "platform/forms_qt/item_keys.h"
#include "platform/forms_qt/item_looks.h"
#include "platform/forms_qt/item_wheel.h"

namespace platform::forms_qt {

using namespace platform::forms;

namespace {

void tree_signature(const std::vector<std::unique_ptr<TreeNode>>& nodes, std::string& out) {
    for (const auto& n : nodes) {
        out += n->Text;
        out += n->Expanded ? "\x01+" : "\x01-";
        out += std::to_string(n->OverlayIndex) + (n->Cut ? "c" : "");
        out += std::to_string(reinterpret_cast<std::uintptr_t>(n.get()));
        out += '(';
        tree_signature(n->children(), out);
        out += ')';
    }
}

void add_tree_items(TreeView& tree, QTreeWidget* w, QTreeWidgetItem* parent,
                    const std::vector<std::unique_ptr<TreeNode>>& nodes) {
    for (const auto& n : nodes) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(w);
        item->setText(0, to_qstring(n->Text));
        item->setIcon(0, image_icon(tree.Images, tree.shown_image(n.get(), false),
                                    tree.shown_image(n.get(), true), {n->OverlayIndex, n->Cut}));
        item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(n.get())));
        if (n->HasChildren && n->children().empty())
            item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        add_tree_items(tree, w, item, n->children());
        item->setExpanded(n->Expanded);
    }
}

QTreeWidgetItem* item_of(QTreeWidget* w, const TreeNode* node) {
    if (!node) return nullptr;
    for (QTreeWidgetItemIterator it(w); *it; ++it)
        if (node_of(*it) == node) return *it;
    return nullptr;
}

bool shown(const QTreeWidgetItem* item) {
    for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        if (!p->isExpanded()) return false;
    return true;
}

class TreeWidget : public QTreeWidget {
  public:
    TreeWidget(Impl& impl, QWidget* parent) : QTreeWidget(parent), impl_(impl) {
        setProperty(own_keys, true);
        setProperty(own_right_click, true);
    }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (key_to_control(impl_, this, *event)) QTreeWidget::keyPressEvent(event);
    }
    // A right click asks for the menu of the node under the mouse; the current node stays.
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::RightButton) return QTreeWidget::mousePressEvent(event);
        TreeNode* node = node_of(itemAt(event->position().toPoint()));
        const QPoint at = viewport()->mapTo(this, event->position().toPoint());
        impl_.person<TreeView>(this, [&](TreeView& t) { t.right_click_node(node, {at.x(), at.y()}); });
    }
    // The tree's own wheel handling scrolls it; the widget shows where it scrolled to.
    void wheelEvent(QWheelEvent* event) override {
        if (!wheel_to_control<TreeView>(impl_, *this, *event)) QTreeWidget::wheelEvent(event);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        impl_.person<TreeView>(this, [](TreeView& t) { t.double_click(); });
        QTreeWidget::mouseDoubleClickEvent(event);
    }

  private:
    Impl& impl_;
};

}  // namespace

TreeNode* node_of(const QTreeWidgetItem* item) {
    return item ? reinterpret_cast<TreeNode*>(item->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}

void add_tree_adapters(Adapters& a) {
    a.add<TreeView, Control>(
        {[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
             auto* tree = new TreeWidget(impl, parent);
             tree->setHeaderHidden(true);
             own_item_drawing(*tree, [&impl, tree](const QModelIndex& index, Rect bounds) {
                 ItemLook look;
                 impl.person<TreeView>(tree, [&](TreeView& t) {
                     if (TreeNode* node = node_of(tree->itemFromIndex(index)))
                         look = t.node_look(node, bounds);
                 });
                 return look;
             });
             take_drags_and_drops(impl, *tree);
             // The current node moved by the keyboard (a click moves it too, to the same node).
             QObject::connect(tree, &QTreeWidget::currentItemChanged, tree,
                              [&impl, tree](QTreeWidgetItem* now, QTreeWidgetItem*) {
                                  if (!now) return;
                                  impl.person<TreeView>(tree, [&](TreeView& t) {
                                      if (t.Selected != node_of(now)) t.select(node_of(now));
                                  });
                              });
             QObject::connect(tree, &QTreeWidget::itemClicked, tree,
                              [&impl, tree](QTreeWidgetItem* item, int) {
                                  impl.person<TreeView>(tree, [&](TreeView& t) { t.select(node_of(item)); });
                              });
             QObject::connect(tree, &QTreeWidget::itemExpanded, tree, [&impl, tree](QTreeWidgetItem* item) {
                 TreeNode* node = node_of(item);
                 impl.person<TreeView>(tree, [&](TreeView& t) { t.expand(node); });
                 // The children the tree filled in show at once, so the next key already moves
                 // among them. Filling may have waited (a folder that asked the person) and the
                 // items been rebuilt meanwhile: the node's item is found again.
                 impl.person<TreeView>(tree, [&](TreeView& t) {
                     QTreeWidgetItem* now = node ? item_of(tree, node) : nullptr;
                     if (now && node->Expanded && now->childCount() == 0)
                         add_tree_items(t, tree, now, node->children());
                 });
             });
             QObject::connect(tree, &QTreeWidget::itemCollapsed, tree, [&impl, tree](QTreeWidgetItem* item) {
                 impl.person<TreeView>(tree, [&](TreeView& t) { t.collapse(node_of(item)); });
             });
             return tree;
         },
         [](Impl& impl, Control& control, Impl::Bound& b, Common&) {
             auto& tree = static_cast<TreeView&>(control);
             auto* q = static_cast<QTreeWidget*>(b.widget);
             std::string signature;
             tree_signature(tree.roots(), signature);
             if (signature != b.signature) {
                 q->clear();
                 add_tree_items(tree, q, nullptr, tree.roots());
                 b.signature = signature;
             }
             // The tree's custom drawing, asked as the platform's paint would ask it: for the
             // nodes that show (a collapsed node's children are asked once it expands).
             const bool per_node = tree.draws_items();
             for (QTreeWidgetItemIterator it(q); *it; ++it) {
                 if (!shown(*it)) continue;
                 TreeNode* node = node_of(*it);
                 if (!node) continue;  // not a row of ours
                 apply_item_look(**it, 1, per_node ? tree.node_look(node, item_bounds(*q, **it)) : ItemLook{},
                                 q->palette(), node->Cut);
             }
             q->setRootIsDecorated(tree.ShowRoot);
             QTreeWidgetItem* selected = item_of(q, tree.Selected);
             if (q->currentItem() != selected) q->setCurrentItem(selected);
             QTreeWidgetItem* edited = item_of(q, tree.edited_node());
             follow_label_edit(impl, *q, b, edited != nullptr, edited ? q->visualItemRect(edited) : QRect(),
                               tree.edited_text() ? *tree.edited_text() : std::string(),
                               [](Control& c, const std::string& text, bool accept) {
                                   auto& t = static_cast<TreeView&>(c);
                                   if (!t.edited_node()) return;
                                   *t.edited_text() = text;
                                   t.end_label_edit(accept);
                               });
         }});
}

}  // namespace platform::forms_qt
