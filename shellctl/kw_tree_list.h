// Custom-draw tree and list bases: a drawing object per custom-draw notification that
// handlers change to recolour or re-font single items; node and item context menus with
// keyboard support (Apps, Shift+F10); sort arrows in the list's header, native on common
// controls 6 and drawn by the list before.
//
// The drawing backend sends the notifications (stage, item, the canvas being drawn on) and
// reads the result bits and colours back; tests do the same. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/forms/common_controls.h"
#include "platform/forms/menus.h"
#include "platform/window/window.h"
#include "shellctl/kw_draw.h"

namespace shellctl {

// The messages the shell tree and the shell list both take on their hidden windows: a change
// notice from the directory watcher, and the deferred fill.
inline constexpr std::uint32_t WM_KWCHANGENOTIFY = platform::window::WM_USER + 101;  // 1125
inline constexpr std::uint32_t WM_KWAUTOFILL = platform::window::WM_USER + 103;      // 1127

using platform::forms::Point;

// ---- custom draw --------------------------------------------------------------------------------

inline constexpr std::uint32_t CDDS_PREPAINT = 0x00000001;
inline constexpr std::uint32_t CDDS_POSTPAINT = 0x00000002;
inline constexpr std::uint32_t CDDS_ITEM = 0x00010000;
inline constexpr std::uint32_t CDDS_ITEMPREPAINT = CDDS_ITEM | CDDS_PREPAINT;
inline constexpr std::uint32_t CDDS_ITEMPOSTPAINT = CDDS_ITEM | CDDS_POSTPAINT;
inline constexpr std::uint32_t CDRF_DODEFAULT = 0x00;
inline constexpr std::uint32_t CDRF_NEWFONT = 0x02;
inline constexpr std::uint32_t CDRF_SKIPDEFAULT = 0x04;
inline constexpr std::uint32_t CDRF_NOTIFYPOSTPAINT = 0x10;
inline constexpr std::uint32_t CDRF_NOTIFYITEMDRAW = 0x20;

// One custom-draw notification: the stage, the item (a tree's node, or a list's item index),
// the canvas being drawn on, the item's rectangle on it and the colours the control will use,
// which the drawing object may change.
struct TKwCustomDrawInfo {
    std::uint32_t dwDrawStage = 0;
    std::intptr_t dwItemSpec = 0;
    platform::forms::Canvas* canvas = nullptr;
    Color clrText = platform::forms::clBlack;
    Color clrTextBk = platform::forms::clWhite;
    platform::forms::Rect rc;
};

class TKwCustomDraw {
  public:
    TKwCustomDraw(TKwCustomDrawInfo& info, std::uint32_t& result, const platform::forms::Font& control_font);
    virtual ~TKwCustomDraw() = default;

    // 1 pre-paint, 2 post-paint, 4 item pre-paint, 5 item post-paint, 0 anything else.
    int Stage() const;
    platform::forms::Font Font;    // the control's font in the context's text colour
    platform::forms::Brush Brush;  // solid, in the context's background colour
    bool NotifyItemDraw = false;
    bool SkipDefault = false;
    bool UserResult = false;  // the handler set *Result itself
    std::uint32_t& Result() { return result_; }
    TKwCustomDrawInfo& Info() { return info_; }

    bool FontChanged() const { return !(Font == original_font_); }
    bool BrushChanged() const { return !(Brush == original_brush_); }
    // Turns what the handler changed into result bits and colours.
    virtual void Apply() = 0;

  protected:
    void ApplyItem(bool add_always);
    TKwCustomDrawInfo& info_;
    std::uint32_t& result_;

  private:
    platform::forms::Font original_font_;
    platform::forms::Brush original_brush_;
};

class TKwTvCustomDraw final : public TKwCustomDraw {
  public:
    using TKwCustomDraw::TKwCustomDraw;
    void Apply() override;
};

class TKwLvCustomDraw final : public TKwCustomDraw {
  public:
    using TKwCustomDraw::TKwCustomDraw;
    void Apply() override;
};

// ---- the tree base ---------------------------------------------------------------------------

class TKwCustomTreeView : public platform::forms::TreeView {
  public:
    FORMS_CLASS_NAME("TKwCustomTreeView")
    TKwCustomTreeView();
    ~TKwCustomTreeView() override;

    platform::forms::Font Font;
    // Tool tips on the nodes: off with common controls older than 4.72.
    bool ToolTips = true;

    using NodeContextMenuEvent =
        std::function<void(platform::forms::Component& sender, platform::forms::TreeNode* node, Point& pos,
                           platform::forms::PopupMenu*& menu)>;
    using CustomDrawObjEvent = std::function<void(platform::forms::Component& sender, TKwCustomDraw& draw,
                                                  platform::forms::TreeNode* node)>;
    NodeContextMenuEvent OnNodeContextMenu;
    CustomDrawObjEvent OnCustomDrawObj;    // item pre-paint only
    CustomDrawObjEvent OnCustomDrawObjEx;  // every stage; node nil outside item stages
    bool Designing = false;

    // A custom-draw notification; returns the result bits. The drawing object lives until the
    // next notification.
    std::uint32_t CustomDraw(TKwCustomDrawInfo& info);
    virtual TKwCustomDraw* CustomDrawNotify(TKwCustomDrawInfo& info, std::uint32_t& result);
    // The notifications a drawing backend sends before a paint and for each node it draws: item
    // pre-paint, and item post-paint when the pre-paint asked for it.
    bool draws_items() override;
    platform::forms::ItemLook node_look(platform::forms::TreeNode* node,
                                        platform::forms::Rect bounds) override;

    // A person's right click: the click, the context-menu request, the button released.
    void right_click_node(platform::forms::TreeNode* node, Point pos) override;
    // A right click with the cursor at `pos` over `node` (nullptr: none).
    void RightClick(platform::forms::TreeNode* node, Point pos);
    // The right button released: true when the control's own pop-up menu must not open (a
    // node's menu has been handled).
    bool RightButtonUp();
    // A context-menu request outside a node: from the keyboard, or by mouse at `pos`.
    void ContextMenuRequest(bool keyboard, Point pos);
    // Keys: Apps alone or Shift+F10 open the context menu; true when the key was consumed.
    bool KeyForContextMenu(int key, platform::forms::ShiftState shift);
    void DoKeyboardContextMenu();
    void ShowNodeContextMenu(platform::forms::TreeNode* node, Point pos);

    // The rectangle of a node's text (the drawing backend knows it); centre of the context menu.
    std::function<platform::forms::Rect(platform::forms::TreeNode*)> NodeTextRect;
    bool MenuHandled() const { return menu_handled_; }

    // Runs the node-deletion step once for every node, top-level nodes in order and each
    // node's children before the node, then removes the nodes. Descendants call it first in
    // their destructor, so their own deletion step runs.
    void DestroyNodes();
    // Removes one node with its children, each getting the deletion step once, children first.
    void EraseNode(platform::forms::TreeNode* node);
    // The node-deletion step: fires OnDeletion; descendants free their per-node data here.
    virtual void Delete(platform::forms::TreeNode* node);

  protected:
    virtual std::unique_ptr<TKwCustomDraw> CreateCustomDraw(TKwCustomDrawInfo& info, std::uint32_t& result);
    // The drawing object of the current notification (kept until the next one).
    std::unique_ptr<TKwCustomDraw> draw_;
    // Fires OnNodeContextMenu, which may change the point and the menu; descendants add their
    // own menu here (and set the menu to nullptr when they showed it).
    virtual void DoNodeContextMenu(platform::forms::TreeNode* node, Point& pos,
                                   platform::forms::PopupMenu*& menu);
    void SetMenuHandled(bool handled) { menu_handled_ = handled; }

  private:
    void DeleteSubtree(platform::forms::TreeNode* node);
    bool menu_handled_ = false;
};

// ---- the list base -------------------------------------------------------------------------------

inline constexpr std::uint32_t HDF_LEFT = 0x0000;
inline constexpr std::uint32_t HDF_RIGHT = 0x0001;
inline constexpr std::uint32_t HDF_CENTER = 0x0002;
inline constexpr std::uint32_t HDF_JUSTIFYMASK = 0x0003;
inline constexpr std::uint32_t HDF_SORTDOWN = 0x0200;
inline constexpr std::uint32_t HDF_SORTUP = 0x0400;
inline constexpr std::uint32_t HDF_STRING = 0x4000;
inline constexpr std::uint32_t HDF_OWNERDRAW = 0x8000;

// The common-controls version: the file version's most significant half in the high 32 bits.
// 6.0 unless set otherwise (tests set older ones to reach the drawn arrows).
std::uint64_t CommonControlsVersion();
void SetCommonControlsVersion(std::uint64_t version);
inline constexpr std::uint64_t make_version(unsigned major, unsigned minor) {
    return (static_cast<std::uint64_t>(major) << 48) | (static_cast<std::uint64_t>(minor) << 32);
}

class TKwCustomListView : public platform::forms::ListView {
  public:
    FORMS_CLASS_NAME("TKwCustomListView")
    TKwCustomListView();

    platform::forms::Font Font;
    // The background and text background colours the list view is given: the control's colour
    // as RGB (set when the window is made and at every colour change).
    platform::forms::Color BkColor() const { return ColorToRGB(this->Color); }

    using ItemContextMenuEvent = std::function<void(platform::forms::Component& sender, int item, Point& pos,
                                                    platform::forms::PopupMenu*& menu)>;
    using CustomDrawObjEvent =
        std::function<void(platform::forms::Component& sender, TKwCustomDraw& draw, int item)>;
    ItemContextMenuEvent OnItemContextMenu;
    CustomDrawObjEvent OnCustomDrawObj;
    CustomDrawObjEvent OnCustomDrawObjEx;
    bool Designing = false;
    int HeaderHeight = 20;

    std::uint32_t CustomDraw(TKwCustomDrawInfo& info);
    virtual TKwCustomDraw* CustomDrawNotify(TKwCustomDrawInfo& info, std::uint32_t& result);
    bool draws_items() override;
    platform::forms::ItemLook item_look(int index, platform::forms::Rect bounds) override;

    // Column alignment (the header's justification), parallel to Columns.
    std::vector<platform::forms::Alignment> ColumnAlignment;
    int SortColumn() const { return sort_column_; }
    void SetSortColumn(int column);
    bool SortDescending() const { return sort_descending_; }
    void SetSortDescending(bool descending);
    int sort_column() const override { return HeaderShown() ? sort_column_ : -1; }
    bool sort_descending() const override { return sort_descending_; }
    int HeaderArrowMode = 2;  // 0..3
    bool HeaderDrawing = true;
    void UpdateHeaderItems();
    // The header item's format bits (what the native header shows).
    std::uint32_t HeaderFormat(int column) const;
    platform::forms::Rect HeaderItemRect(int column) const;
    // Draws an owner-drawn header item on `canvas` in `rect` (the item's rectangle).
    void DrawHeaderItem(platform::forms::Canvas& canvas, int column, platform::forms::Rect rect);
    // The header rectangles invalidated so far, and the whole-header invalidations.
    std::vector<platform::forms::Rect> Invalidated;
    int HeaderInvalidations = 0;

    // Context menus: the focused item, the selected items' icon rectangles, the pop-up menu.
    int ItemFocused = -1;
    std::function<platform::forms::Rect(int)> ItemIconRect;
    void RightClick(Point pos);
    bool RightButtonUp();
    void ContextMenuRequest(bool keyboard, Point pos);
    bool KeyForContextMenu(int key, platform::forms::ShiftState shift);
    void DoKeyboardContextMenu(Point pos);
    void ShowItemContextMenu(Point pos);
    bool MenuHandled() const { return menu_handled_; }
    bool BeginDragSeen = false;
    void BeginDrag() { BeginDragSeen = true; }

  protected:
    virtual std::unique_ptr<TKwCustomDraw> CreateCustomDraw(TKwCustomDrawInfo& info, std::uint32_t& result);
    virtual void DoItemContextMenu(int item, Point& pos, platform::forms::PopupMenu*& menu);

  private:
    bool HeaderShown() const { return ViewStyle == platform::forms::ViewStyle::report; }
    void HeaderContent(platform::forms::Canvas& canvas, int column, platform::forms::Rect r);
    std::unique_ptr<TKwCustomDraw> draw_;
    bool menu_handled_ = false;
    int sort_column_ = -1;
    bool sort_descending_ = false;
    int header_update_nesting_ = 0;
    std::vector<std::uint32_t> header_formats_;
};

// The arrow box of a rectangle, and the arrow itself (apex up when descending).
platform::forms::Rect ArrowBox(const platform::forms::Rect& r);
void DrawSortArrow(platform::forms::Canvas& canvas, const platform::forms::Rect& box, bool descending);

}  // namespace shellctl
