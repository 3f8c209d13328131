#include "platform/forms/common_controls.h"

#include <algorithm>

namespace platform::forms {

void ProgressBar::StepIt() {
    Position += Step;
    if (Position > Max) Position = Min + (Position - Max);
    if (Position < Min) Position = Min;
}

int ImageList::add(Image image) {
    if (image.width != Width || image.height != Height) {
        throw FormError(describe(*this) + " holds " + std::to_string(Width) + "x" + std::to_string(Height) +
                        " images, not " + std::to_string(image.width) + "x" + std::to_string(image.height));
    }
    if (image.pixels.empty())
        image.pixels.assign(static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height), 0);
    images_.push_back(std::move(image));
    return count() - 1;
}

const Image& ImageList::image(int index) const {
    if (index < 0 || index >= count())
        throw FormError(describe(*this) + " has no image " + std::to_string(index));
    return images_[static_cast<std::size_t>(index)];
}

void ImageList::set_overlay(int overlay, int image) {
    if (overlay < 1) throw FormError(describe(*this) + " has no overlay " + std::to_string(overlay));
    if (overlays_.size() < static_cast<std::size_t>(overlay))
        overlays_.resize(static_cast<std::size_t>(overlay), -1);
    overlays_[static_cast<std::size_t>(overlay - 1)] = image;
}

int ImageList::overlay_image(int overlay) const {
    if (overlay < 1 || static_cast<std::size_t>(overlay) > overlays_.size()) return -1;
    return overlays_[static_cast<std::size_t>(overlay - 1)];
}

// ---- tree view ----------------------------------------------------------------------------

int TreeNode::index() const {
    const auto& siblings = parent_ ? parent_->children_ : tree_->roots();
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i].get() == this) return static_cast<int>(i);
    }
    return -1;
}

int TreeNode::level() const {
    int n = 0;
    for (const TreeNode* p = parent_; p; p = p->parent_) ++n;
    return n;
}

TreeNode* TreeView::add(TreeNode* parent, std::string text, std::intptr_t data) {
    auto node = std::make_unique<TreeNode>();
    node->Text = std::move(text);
    node->Data = data;
    node->tree_ = this;
    node->parent_ = parent;
    TreeNode* raw = node.get();
    if (parent) {
        if (parent->tree_ != this)
            throw FormError(describe(*this) + ": the parent node belongs to another tree");
        parent->children_.push_back(std::move(node));
        parent->HasChildren = true;
    } else {
        roots_.push_back(std::move(node));
    }
    return raw;
}

void TreeView::delete_children(TreeNode& node) {
    while (!node.children_.empty()) erase(node.children_.back().get());
}

void TreeView::erase(TreeNode* node) {
    if (!node || node->tree_ != this) throw FormError(describe(*this) + ": no such node");
    delete_children(*node);
    if (OnDeletion) OnDeletion(*this, node);
    bool selection_lost = false;
    for (TreeNode* s = Selected; s; s = s->parent_) {
        if (s == node) selection_lost = true;
    }
    if (selection_lost) Selected = nullptr;
    for (TreeNode* d = DropTarget; d; d = d->parent_) {
        if (d == node) DropTarget = nullptr;
    }
    auto& siblings = node->parent_ ? node->parent_->children_ : roots_;
    TreeNode* parent = node->parent_;
    siblings.erase(
        std::remove_if(siblings.begin(), siblings.end(), [node](const auto& p) { return p.get() == node; }),
        siblings.end());
    if (parent && parent->children_.empty()) parent->HasChildren = false;
}

void TreeView::clear() {
    while (!roots_.empty()) erase(roots_.back().get());
    Selected = nullptr;
}

int TreeView::count() const {
    int n = 0;
    std::vector<const TreeNode*> stack;
    for (const auto& r : roots_) stack.push_back(r.get());
    while (!stack.empty()) {
        const TreeNode* node = stack.back();
        stack.pop_back();
        ++n;
        for (const auto& c : node->children()) stack.push_back(c.get());
    }
    return n;
}

void TreeView::select(TreeNode* node) {
    ensure_reachable("select in");
    if (node && node->tree_ != this) throw FormError(describe(*this) + ": the node belongs to another tree");
    if (node == Selected) return;
    Selected = node;
    Change(node);
}

void TreeView::Change(TreeNode* node) {
    if (OnChange) OnChange(*this, node);
}

bool TreeView::CanExpand(TreeNode* node) {
    bool allow = true;
    if (OnExpanding) OnExpanding(*this, node, allow);
    return allow;
}

void TreeView::expand(TreeNode* node) {
    ensure_reachable("expand in");
    if (!node || node->Expanded) return;
    if (CanExpand(node)) node->Expanded = true;
}

void TreeView::sort_children(TreeNode* parent,
                             const std::function<bool(const TreeNode&, const TreeNode&)>& less) {
    auto& nodes = parent ? parent->children_ : roots_;
    std::stable_sort(nodes.begin(), nodes.end(), [&](const auto& a, const auto& b) { return less(*a, *b); });
}

void TreeView::collapse(TreeNode* node) {
    ensure_reachable("collapse in");
    if (!node || !node->Expanded) return;
    node->Expanded = false;
    if (OnCollapsed) OnCollapsed(*this, node);
}

void TreeView::right_click_node(TreeNode*, Point at) {
    mouse_down(MouseButton::right, at.x, at.y);
}

// ---- list view ----------------------------------------------------------------------------

ListItem& ListView::add(std::string caption) {
    Items.push_back(ListItem{});
    Items.back().Caption = std::move(caption);
    return Items.back();
}

std::string ListView::shown_text(int index, int column) {
    if (index < 0 || index >= static_cast<int>(Items.size()) || column < 0) return {};
    const ListItem& item = Items[static_cast<std::size_t>(index)];
    if (column == 0) return item.Caption;
    return column <= item.SubItems.count() ? item.SubItems[column - 1] : std::string();
}

int ListView::selected_index() const {
    for (std::size_t i = 0; i < Items.size(); ++i) {
        if (Items[i].Selected) return static_cast<int>(i);
    }
    return -1;
}

void ListView::select(int index) {
    ensure_reachable("select in");
    if (index < -1 || index >= static_cast<int>(Items.size())) {
        throw FormError(describe(*this) + " has no item " + std::to_string(index));
    }
    for (std::size_t i = 0; i < Items.size(); ++i) {
        const bool want = static_cast<int>(i) == index;
        if (Items[i].Selected == want) continue;
        Items[i].Selected = want;
        if (OnSelectItem) OnSelectItem(*this, static_cast<int>(i), want);
    }
}

void ListView::click_item(int index, ShiftState) {
    select(index);
}

void ListView::double_click_item(int index) {
    select(index);
    double_click();
}

void ListView::click_column(int) {
    ensure_reachable("click the header of");
}

void ListView::right_click_item(int) {
    mouse_down(MouseButton::right, Width / 2, Height / 2);
}

}  // namespace platform::forms
