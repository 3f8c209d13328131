// Status bar, progress bar, paint box, image list, tree view and list view.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms/canvas.h"
#include "platform/forms/component.h"
#include "platform/forms/handles.h"
#include "platform/forms/string_list.h"

namespace platform::forms {

struct StatusPanel {
    std::string Text;
    int Width = 50;
};

// Keeps to the bottom of its parent, as a status line does.
class StatusBar : public Control {
  public:
    FORMS_CLASS_NAME("TStatusBar")
    StatusBar() { Align = forms::Align::bottom; }
    std::vector<StatusPanel> Panels;
    bool SimplePanel = false;  // one panel showing SimpleText
    std::string SimpleText;
};

// The grip in a sizeable window's bottom-right corner that a person drags to resize it.
class SizeGrip : public Control {
  public:
    FORMS_CLASS_NAME("SCROLLBAR")
};

class ProgressBar : public Control {
  public:
    FORMS_CLASS_NAME("TProgressBar")
    int Min = 0;
    int Max = 100;
    int Position = 0;
    int Step = 10;
    // Position advanced by Step, wrapping to Min past Max.
    void StepIt();
};

// A control that is only a canvas; it draws in OnPaint.
class PaintBox : public Control {
  public:
    FORMS_CLASS_NAME("TPaintBox")
    PaintBox() : Canvas(this) {}
    forms::Canvas Canvas;
    NotifyEvent OnPaint;
    // Headless there is no later "when the window needs it": a repaint runs OnPaint now.
    void Repaint() override { fire(OnPaint); }
    forms::Canvas* drawing_canvas() override { return &Canvas; }
};

// An image as the lists keep it: size and 32-bit pixels (0x00BBGGRR), row by row.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    // The desktop icon theme's name for the same picture ("" none); a backend with an icon
    // theme may show the theme's picture instead of the pixels.
    std::string theme_name;
};

class ImageList : public Component {
  public:
    FORMS_CLASS_NAME("TImageList")
    ImageList() : handle_(detail::add_handle(this)) {}
    ~ImageList() override { detail::forget_handle(handle_); }
    // The list's handle (handles.h).
    ImageListHandle handle() const { return handle_; }
    int Width = 16;
    int Height = 16;
    int count() const { return static_cast<int>(images_.size()); }
    // Adds an image; it must have the list's size (FormError otherwise). Returns its index.
    int add(Image image);
    const Image& image(int index) const;
    void clear() {
        images_.clear();
        overlays_.clear();
    }
    // Makes image `image` the list's overlay `overlay` (1 and up): what an item whose overlay
    // index is overlay - 1 shows over its own image.
    void set_overlay(int overlay, int image);
    // The image of overlay `overlay`, -1 when the list has none.
    int overlay_image(int overlay) const;

  private:
    ImageListHandle handle_;
    std::vector<Image> images_;
    std::vector<int> overlays_;  // the image of overlay 1, 2, ...
};

// How one item of a tree or a list is drawn, as the control's custom drawing gives it: the
// text and background colours and the font (unset: the control's own), and what a handler
// drew itself on the item's rectangle: in place of the default drawing (replaces_default) or
// after it.
struct ItemLook {
    std::optional<Color> text;
    std::optional<Color> background;
    std::optional<forms::Font> font;
    bool replaces_default = false;
    std::vector<CanvasCall> drawing;
    // The item draws itself, in place of or over the default drawing.
    bool draws_itself() const { return replaces_default || !drawing.empty(); }
};

// ---- tree view ----------------------------------------------------------------------------

class TreeView;

class TreeNode {
  public:
    std::string Text;
    std::intptr_t Data = 0;
    int ImageIndex = -1;
    int SelectedIndex = -1;
    bool Expanded = false;
    bool HasChildren = false;  // shows an expand button before the children are added
    int OverlayIndex = -1;     // an overlay image drawn over the node's image, -1 none
    bool Cut = false;          // drawn dimmed, as an item that was cut or is hidden

    TreeNode* parent() const { return parent_; }
    const std::vector<std::unique_ptr<TreeNode>>& children() const { return children_; }
    int count() const { return static_cast<int>(children_.size()); }
    TreeNode* item(int index) const { return children_.at(static_cast<std::size_t>(index)).get(); }
    int index() const;  // position among the parent's children
    int level() const;  // 0 for a root node
    TreeView* tree() const { return tree_; }

  private:
    friend class TreeView;
    TreeView* tree_ = nullptr;
    TreeNode* parent_ = nullptr;
    std::vector<std::unique_ptr<TreeNode>> children_;
};

class TreeView : public Control {
  public:
    FORMS_CLASS_NAME("TTreeView")
    TreeView() {
        TabStop = true;
        Color = clWindow;
    }

    bool ShowButtons = true;
    bool ShowLines = true;
    bool ShowRoot = true;
    bool ReadOnly = false;
    bool HideSelection = true;
    std::function<void(Component&, TreeNode*)> OnChange;            // the selection changed
    std::function<void(Component&, TreeNode*, bool&)> OnExpanding;  // set false to refuse
    std::function<void(Component&, TreeNode*)> OnCollapsed;
    std::function<void(Component&, TreeNode*)> OnDeletion;

    // Adds a node at the end of `parent`'s children (nullptr: a root node).
    TreeNode* add(TreeNode* parent, std::string text, std::intptr_t data = 0);
    // Orders `parent`'s children (nullptr: the root nodes) by `less`, keeping equal ones in
    // their order.
    void sort_children(TreeNode* parent, const std::function<bool(const TreeNode&, const TreeNode&)>& less);
    void erase(TreeNode* node);  // with its children; OnDeletion for each, children first
    void clear();
    const std::vector<std::unique_ptr<TreeNode>>& roots() const { return roots_; }
    int count() const;  // all nodes
    TreeNode* Selected = nullptr;
    TreeNode* DropTarget = nullptr;  // drawn highlighted while something is dragged over it

    // A person selecting a node: Selected, then OnChange when it changed.
    void select(TreeNode* node);
    // A person expanding or collapsing: OnExpanding may refuse; then Expanded.
    void expand(TreeNode* node);
    void collapse(TreeNode* node);
    // A person's right click over `node` (nullptr: beside the nodes) at `at`, as a drawing
    // backend delivers it: a plain tree opens its pop-up menu; trees of their own kind show
    // their context menu.
    virtual void right_click_node(TreeNode* node, Point at);
    // Renaming a node in place, as a drawing backend shows it: the node whose label is being
    // edited (none for a plain tree), the text the editor holds, and the editor closing with
    // its text (accept) or without.
    virtual TreeNode* edited_node() const { return nullptr; }
    virtual std::string* edited_text() { return nullptr; }
    virtual void end_label_edit(bool) {}
    // Custom drawing as a drawing backend asks for it before a paint: once for the control
    // (true: ask per node), then for each node it draws, `bounds` being the node's rectangle
    // in the backend's pixels (where a handler that draws the node itself draws).
    virtual bool draws_items() { return false; }
    virtual ItemLook node_look(TreeNode*, Rect) { return {}; }
    // A person turning the mouse wheel over the tree (delta 120 a notch, positive away from the
    // person), as a drawing backend delivers it: true when the tree scrolled itself, its first
    // shown row then being top_row(); false leaves the scrolling to the backend.
    virtual bool wheel(int) { return false; }
    virtual int top_row() const { return 0; }
    // A person starting to drag `node` (with the right button: `right_button`), as a drawing
    // backend delivers it: a plain tree drags nothing. node_rect: where the tree lays the node
    // out in its client pixels, so a drop point over the node's row finds it (empty: nowhere).
    virtual void begin_drag(TreeNode*, bool) {}
    virtual Rect node_rect(const TreeNode*) const { return {}; }
    ImageList* Images = nullptr;  // the nodes' images, nullptr for none
    // The image a node shows (selected: when it is the selected node); a tree that looks its
    // images up only when they are shown gives them here.
    virtual int shown_image(TreeNode* node, bool selected) {
        return selected && node->SelectedIndex >= 0 ? node->SelectedIndex : node->ImageIndex;
    }

  protected:
    // May the node be expanded: OnExpanding decides (descendants fill the node here).
    virtual bool CanExpand(TreeNode* node);
    // The selection changed: OnChange.
    virtual void Change(TreeNode* node);

  private:
    void delete_children(TreeNode& node);
    std::vector<std::unique_ptr<TreeNode>> roots_;
};

// ---- list view ----------------------------------------------------------------------------

struct ListColumn {
    std::string Caption;
    int Width = 50;
};

struct ListItem {
    std::string Caption;
    StringList SubItems;
    int ImageIndex = -1;
    std::intptr_t Data = 0;
    bool Selected = false;
    int OverlayIndex = -1;  // the overlay image drawn over the icon (0-based), -1 for none
    bool Cut = false;       // drawn dimmed, as an item that is cut or hidden
};

enum class ViewStyle { icon, small_icon, list, report };

class ListView : public Control {
  public:
    FORMS_CLASS_NAME("TListView")
    ListView() {
        TabStop = true;
        Color = clWindow;
    }

    std::vector<ListColumn> Columns;
    std::vector<ListItem> Items;
    forms::ViewStyle ViewStyle = ViewStyle::icon;
    bool MultiSelect = false;
    bool ReadOnly = false;
    std::function<void(Component&, int index, bool selected)> OnSelectItem;

    ListItem& add(std::string caption);
    // The text a person sees in column `column` of item `index` (0: the caption, then the
    // sub-items); a list that computes its texts only when they are shown gives them here.
    virtual std::string shown_text(int index, int column);
    // Index of the first selected item, or -1.
    int selected_index() const;
    // A person clicking item `index`: it becomes the only selected item (OnSelectItem for each
    // item whose state changed); -1 clears the selection.
    void select(int index);
    // A person's click on an item (with the keys held), double click on an item, and click on
    // a column's header, as a drawing backend delivers them. A plain list selects the item,
    // double-clicks itself and has nothing to do on a header; lists of their own kind add
    // what they do.
    virtual void click_item(int index, ShiftState shift = {});
    virtual void double_click_item(int index);
    virtual void click_column(int column);
    // A person's right click on item `index` (-1: the background): a plain list opens its
    // pop-up menu; lists of their own kind show their context menu.
    virtual void right_click_item(int index);
    // A person starting to drag the selected items (button 0 left, 1 right), as for a tree's
    // node; item_rect: where the list lays item `index` out in its client pixels.
    virtual void drag_selection(int) {}
    virtual Rect item_rect(int) const { return {}; }
    // Renaming an item in place, as for a tree's node: the item being edited (-1 none).
    virtual int edited_item() const { return -1; }
    virtual std::string* edited_text() { return nullptr; }
    virtual void end_label_edit(bool) {}
    // Custom drawing, as for a tree: once for the control, then for each item it draws.
    virtual bool draws_items() { return false; }
    virtual ItemLook item_look(int, Rect) { return {}; }
    // The column the items are sorted by (-1: none) and its direction, for the header's arrow.
    virtual int sort_column() const { return -1; }
    virtual bool sort_descending() const { return false; }
    // The mouse wheel, as for a tree.
    virtual bool wheel(int) { return false; }
    virtual int top_row() const { return 0; }
    ImageList* SmallImages = nullptr;  // the items' images, nullptr for none
    // The image item `index` shows; a list may compute it only now.
    virtual int shown_image(int index) { return Items.at(static_cast<std::size_t>(index)).ImageIndex; }
};

}  // namespace platform::forms
