#include "shellctl/kw_tree_list.h"

#include <algorithm>

#include "platform/forms/keys.h"

namespace shellctl {

namespace forms = platform::forms;
using forms::Rect;

namespace {

std::uint64_t& cc_version() {
    static std::uint64_t v = make_version(6, 0);
    return v;
}

// The most significant half of the version: major << 16 | minor.
std::uint32_t version_ms() {
    return static_cast<std::uint32_t>(CommonControlsVersion() >> 32);
}
bool common_controls_6() {
    return version_ms() > 0x5FFFF;
}

// Apps alone, or F10 with Shift alone.
bool is_context_menu_key(int key, forms::ShiftState shift) {
    if (shift.ctrl || shift.alt) return false;
    return (key == forms::keys::apps && !shift.shift) || (key == forms::keys::f10 && shift.shift);
}

}  // namespace

std::uint64_t CommonControlsVersion() {
    return cc_version();
}
void SetCommonControlsVersion(std::uint64_t version) {
    cc_version() = version;
}

// ---- TKwCustomDraw --------------------------------------------------------------------------------

TKwCustomDraw::TKwCustomDraw(TKwCustomDrawInfo& info, std::uint32_t& result, const forms::Font& control_font)
    : info_(info), result_(result) {
    Font = control_font;
    Font.Color = info.clrText;
    Brush.Color = info.clrTextBk;
    Brush.Style = forms::BrushStyle::solid;
    original_font_ = Font;
    original_brush_ = Brush;
}

int TKwCustomDraw::Stage() const {
    switch (info_.dwDrawStage) {
        case CDDS_PREPAINT:
            return 1;
        case CDDS_POSTPAINT:
            return 2;
        case CDDS_ITEMPREPAINT:
            return 4;
        case CDDS_ITEMPOSTPAINT:
            return 5;
        default:
            return 0;
    }
}

void TKwCustomDraw::ApplyItem(bool add_always) {
    if (!SkipDefault) {
        if (FontChanged()) {
            if (info_.canvas && !(info_.canvas->Font == Font)) info_.canvas->Font = Font;
            result_ |= CDRF_NEWFONT;
            info_.clrText = ColorToRGB(Font.Color);
        }
        if (BrushChanged()) info_.clrTextBk = ColorToRGB(Brush.Color);
    } else if (add_always || !UserResult) {
        result_ |= CDRF_SKIPDEFAULT;
    }
}

void TKwTvCustomDraw::Apply() {
    if (!UserResult) result_ = 0;
    const int stage = Stage();
    if (stage == 1) {
        if (!UserResult && NotifyItemDraw) result_ |= CDRF_NOTIFYITEMDRAW;
    } else if (stage == 4) {
        ApplyItem(false);
    }
}

void TKwLvCustomDraw::Apply() {
    result_ = 0;
    const int stage = Stage();
    if (stage == 1) {
        if (NotifyItemDraw) result_ |= CDRF_NOTIFYITEMDRAW;
    } else if (stage == 4) {
        ApplyItem(true);
    }
}

// ---- TKwCustomTreeView ------------------------------------------------------------------------------

TKwCustomTreeView::TKwCustomTreeView() {
    ToolTips = version_ms() >= 0x40048;
}

TKwCustomTreeView::~TKwCustomTreeView() {
    DestroyNodes();
}

std::unique_ptr<TKwCustomDraw> TKwCustomTreeView::CreateCustomDraw(TKwCustomDrawInfo& info,
                                                                   std::uint32_t& result) {
    auto draw = std::make_unique<TKwTvCustomDraw>(info, result, Font);
    draw->NotifyItemDraw = true;
    return draw;
}

std::uint32_t TKwCustomTreeView::CustomDraw(TKwCustomDrawInfo& info) {
    std::uint32_t result = 0;
    if (Designing) return 0;
    draw_.reset();
    CustomDrawNotify(info, result);
    return result;
}

TKwCustomDraw* TKwCustomTreeView::CustomDrawNotify(TKwCustomDrawInfo& info, std::uint32_t& result) {
    forms::TreeNode* node = nullptr;
    bool node_found = false;
    auto find_node = [&] {
        if (!node_found && (info.dwDrawStage & CDDS_ITEM))
            node = reinterpret_cast<forms::TreeNode*>(info.dwItemSpec);
        node_found = true;
    };
    if (OnCustomDrawObjEx) {
        draw_ = CreateCustomDraw(info, result);
        find_node();
        OnCustomDrawObjEx(*this, *draw_, node);
    }
    if (OnCustomDrawObj && (info.dwDrawStage & CDDS_ITEMPREPAINT) == CDDS_ITEMPREPAINT) {
        if (!draw_) draw_ = CreateCustomDraw(info, result);
        find_node();
        OnCustomDrawObj(*this, *draw_, node);
    }
    if (draw_) draw_->Apply();
    if ((info.dwDrawStage & CDDS_PREPAINT) && (OnCustomDrawObj || OnCustomDrawObjEx))
        result |= CDRF_NOTIFYITEMDRAW;
    return draw_.get();
}

void TKwCustomTreeView::right_click_node(forms::TreeNode* node, Point pos) {
    ensure_reachable("right-click in");
    RightClick(node, pos);
    ContextMenuRequest(false, pos);
    RightButtonUp();
}

namespace {

// One item pre-paint notification with the control's colours, and the item post-paint one
// when the pre-paint asked for it; what the handlers changed and drew on the item.
template <class View>
forms::ItemLook item_look_of(View& view, std::intptr_t item, Rect bounds) {
    TKwCustomDrawInfo info;
    info.dwDrawStage = CDDS_ITEMPREPAINT;
    info.dwItemSpec = item;
    info.rc = bounds;
    info.clrText = ColorToRGB(view.Font.Color);
    info.clrTextBk = ColorToRGB(view.Color);
    forms::Canvas canvas;
    canvas.Font = view.Font;
    info.canvas = &canvas;
    const Color text = info.clrText;
    const Color back = info.clrTextBk;
    const std::uint32_t result = view.CustomDraw(info);
    forms::ItemLook look;
    if (result & CDRF_SKIPDEFAULT) {
        look.replaces_default = true;
        look.drawing = canvas.calls();
        return look;
    }
    if (info.clrText != text) look.text = info.clrText;
    if (info.clrTextBk != back) look.background = info.clrTextBk;
    if (result & CDRF_NEWFONT) look.font = canvas.Font;
    if (result & CDRF_NOTIFYPOSTPAINT) {
        // What the pre-paint drew lies under the default drawing; only the post-paint shows.
        canvas.clear_record();
        info.dwDrawStage = CDDS_ITEMPOSTPAINT;
        view.CustomDraw(info);
        look.drawing = canvas.calls();
    }
    return look;
}

bool prepaint_asks_items(std::uint32_t result) {
    return (result & CDRF_NOTIFYITEMDRAW) != 0;
}

}  // namespace

bool TKwCustomTreeView::draws_items() {
    TKwCustomDrawInfo info;
    info.dwDrawStage = CDDS_PREPAINT;
    return prepaint_asks_items(CustomDraw(info));
}

forms::ItemLook TKwCustomTreeView::node_look(forms::TreeNode* node, Rect bounds) {
    return item_look_of(*this, reinterpret_cast<std::intptr_t>(node), bounds);
}

void TKwCustomTreeView::RightClick(forms::TreeNode* node, Point pos) {
    if (Designing || !node) return;
    forms::PopupMenu* menu = PopupMenu;
    DoNodeContextMenu(node, pos, menu);
    if (menu) menu->popup(this, pos.x, pos.y);
    menu_handled_ = true;
}

void TKwCustomTreeView::DoNodeContextMenu(forms::TreeNode* node, Point& pos, forms::PopupMenu*& menu) {
    if (OnNodeContextMenu) OnNodeContextMenu(*this, node, pos, menu);
}

bool TKwCustomTreeView::RightButtonUp() {
    if (menu_handled_ && PopupMenu) {
        menu_handled_ = false;
        return true;  // the tree's own menu does not open a second time
    }
    return false;
}

void TKwCustomTreeView::ContextMenuRequest(bool keyboard, Point pos) {
    if (Designing || Selected || menu_handled_) return;
    if (keyboard) {
        DoKeyboardContextMenu();
    } else {
        ShowNodeContextMenu(nullptr, pos);
    }
}

bool TKwCustomTreeView::KeyForContextMenu(int key, forms::ShiftState shift) {
    if (!is_context_menu_key(key, shift)) return false;
    DoKeyboardContextMenu();
    return true;
}

void TKwCustomTreeView::DoKeyboardContextMenu() {
    if (Selected) {
        const Rect r = NodeTextRect ? NodeTextRect(Selected) : Rect{};
        ShowNodeContextMenu(Selected, {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    } else if (PopupMenu) {
        PopupMenu->popup(this, 0, 0);
    }
}

void TKwCustomTreeView::ShowNodeContextMenu(forms::TreeNode* node, Point pos) {
    forms::PopupMenu* menu = PopupMenu;
    DoNodeContextMenu(node, pos, menu);
    if (menu != PopupMenu) menu_handled_ = true;
    if (menu) menu->popup(this, pos.x, pos.y);
}

void TKwCustomTreeView::Delete(forms::TreeNode* node) {
    if (OnDeletion) OnDeletion(*this, node);
}

void TKwCustomTreeView::DeleteSubtree(forms::TreeNode* node) {
    for (const auto& child : node->children()) DeleteSubtree(child.get());
    Delete(node);
}

void TKwCustomTreeView::DestroyNodes() {
    for (const auto& root : roots()) DeleteSubtree(root.get());
    auto saved = std::move(OnDeletion);
    OnDeletion = nullptr;
    clear();  // every node has had its deletion step: no second one
    OnDeletion = std::move(saved);
    draw_.reset();
}

void TKwCustomTreeView::EraseNode(forms::TreeNode* node) {
    if (!node) return;
    DeleteSubtree(node);
    auto saved = std::move(OnDeletion);
    OnDeletion = nullptr;
    erase(node);
    OnDeletion = std::move(saved);
}

// ---- TKwCustomListView ------------------------------------------------------------------------------

TKwCustomListView::TKwCustomListView() {
    ViewStyle = forms::ViewStyle::report;
}

std::unique_ptr<TKwCustomDraw> TKwCustomListView::CreateCustomDraw(TKwCustomDrawInfo& info,
                                                                   std::uint32_t& result) {
    return std::make_unique<TKwLvCustomDraw>(info, result, Font);
}

std::uint32_t TKwCustomListView::CustomDraw(TKwCustomDrawInfo& info) {
    std::uint32_t result = 0;
    if (Designing) return 0;
    draw_.reset();
    CustomDrawNotify(info, result);
    return result;
}

TKwCustomDraw* TKwCustomListView::CustomDrawNotify(TKwCustomDrawInfo& info, std::uint32_t& result) {
    const int item = (info.dwDrawStage & CDDS_ITEM) ? static_cast<int>(info.dwItemSpec) : -1;
    if (OnCustomDrawObjEx) {
        draw_ = CreateCustomDraw(info, result);
        OnCustomDrawObjEx(*this, *draw_, item);
    }
    if (OnCustomDrawObj && (info.dwDrawStage & CDDS_ITEMPREPAINT) == CDDS_ITEMPREPAINT) {
        if (!draw_) draw_ = CreateCustomDraw(info, result);
        OnCustomDrawObj(*this, *draw_, item);
    }
    if (draw_) draw_->Apply();
    if (info.dwDrawStage & CDDS_PREPAINT) result |= CDRF_NOTIFYITEMDRAW;
    return draw_.get();
}

bool TKwCustomListView::draws_items() {
    TKwCustomDrawInfo info;
    info.dwDrawStage = CDDS_PREPAINT;
    return prepaint_asks_items(CustomDraw(info));
}

forms::ItemLook TKwCustomListView::item_look(int index, Rect bounds) {
    return item_look_of(*this, index, bounds);
}

Rect TKwCustomListView::HeaderItemRect(int column) const {
    int left = 0;
    for (int i = 0; i < column && i < static_cast<int>(Columns.size()); ++i)
        left += Columns[static_cast<std::size_t>(i)].Width;
    const int width =
        column < static_cast<int>(Columns.size()) ? Columns[static_cast<std::size_t>(column)].Width : 0;
    return {left, 0, left + width, HeaderHeight};
}

void TKwCustomListView::SetSortColumn(int column) {
    if (column == sort_column_) return;
    if (HeaderShown() && sort_column_ >= 0) Invalidated.push_back(HeaderItemRect(sort_column_));
    if (HeaderShown() && column >= 0) Invalidated.push_back(HeaderItemRect(column));
    sort_column_ = column;
    if (common_controls_6()) UpdateHeaderItems();
}

void TKwCustomListView::SetSortDescending(bool descending) {
    if (descending == sort_descending_) return;
    if (HeaderShown() && sort_column_ >= 0) Invalidated.push_back(HeaderItemRect(sort_column_));
    sort_descending_ = descending;
    if (common_controls_6()) UpdateHeaderItems();
    Repaint();
}

std::uint32_t TKwCustomListView::HeaderFormat(int column) const {
    if (column < 0 || column >= static_cast<int>(header_formats_.size())) return 0;
    return header_formats_[static_cast<std::size_t>(column)];
}

void TKwCustomListView::UpdateHeaderItems() {
    if (header_update_nesting_ != 0 || !HeaderShown()) return;
    ++header_update_nesting_;
    header_formats_.resize(Columns.size(), HDF_STRING);
    for (int c = static_cast<int>(Columns.size()) - 1; c >= 0; --c) {
        const auto a = c < static_cast<int>(ColumnAlignment.size())
                           ? ColumnAlignment[static_cast<std::size_t>(c)]
                           : forms::Alignment::left;
        const std::uint32_t justify = a == forms::Alignment::right
                                          ? HDF_RIGHT
                                          : (a == forms::Alignment::center ? HDF_CENTER : HDF_LEFT);
        std::uint32_t fmt;
        if (HeaderArrowMode == 0 || (HeaderArrowMode == 2 && common_controls_6())) {
            fmt = justify | HDF_STRING;
            if (c == sort_column_) fmt |= sort_descending_ ? HDF_SORTDOWN : HDF_SORTUP;
        } else {
            fmt = justify | HDF_OWNERDRAW;
        }
        header_formats_[static_cast<std::size_t>(c)] = fmt;
    }
    ++HeaderInvalidations;
    --header_update_nesting_;
}

Rect ArrowBox(const Rect& r) {
    const int s = (r.top + r.bottom) / 2 - 1;
    const int top = (r.top + r.bottom - s) / 2 - 1;
    return {r.left, top, r.left + s + 1, top + s};
}

void DrawSortArrow(forms::Canvas& c, const Rect& box, bool descending) {
    const int h = (box.height() - 1) | 1;
    const int w = h + 1;
    const int L = box.left, T = box.top;
    const int m = L + (w - 1) / 2;
    c.Brush.Color = clBtnFace;
    c.Brush.Style = forms::BrushStyle::solid;
    c.FillRect({L, T, L + w, T + h});
    c.Pen.Style = forms::PenStyle::solid;
    if (descending) {
        c.Pen.Color = clBtnShadow;
        c.Polyline({{m, T}, {L, T + h - 2}, {L, T + h - 1}});
        c.Pen.Color = clBtnHighlight;
        c.Polyline({{L, T + h - 1}, {L + w - 1, T + h - 1}, {m + 1, T - 1}});
    } else {
        c.Pen.Color = clBtnShadow;
        c.Polyline({{m, T + h - 1}, {L, T + 1}, {L, T}, {L + w - 1, T}});
        c.Pen.Color = clBtnHighlight;
        c.Polyline({{m + 1, T + h - 1}, {L + w, T - 1}});
    }
}

void TKwCustomListView::DrawHeaderItem(forms::Canvas& canvas, int column, Rect rect) {
    canvas.Font = Font;
    canvas.Brush.Color = clBtnFace;
    canvas.Brush.Style = forms::BrushStyle::solid;
    const Rect inner{rect.left + 2, rect.top + 2, rect.right - 2, rect.bottom - 2};
    if (HeaderDrawing) HeaderContent(canvas, column, inner);
}

void TKwCustomListView::HeaderContent(forms::Canvas& canvas, int column, Rect r) {
    Rect t{r.left + 4, r.top, r.right - 4, r.bottom};
    const auto align = column < static_cast<int>(ColumnAlignment.size())
                           ? ColumnAlignment[static_cast<std::size_t>(column)]
                           : forms::Alignment::left;
    const unsigned text_flags =
        DT_SINGLELINE | DT_END_ELLIPSIS |
        (align == forms::Alignment::right ? DT_RIGHT
                                          : (align == forms::Alignment::center ? DT_CENTER : DT_LEFT));
    const std::string caption = column < static_cast<int>(Columns.size())
                                    ? Columns[static_cast<std::size_t>(column)].Caption
                                    : std::string{};
    const bool sorted = column == sort_column_;
    const int column_width = r.width() + 4;
    // An arrow only in the sort column, and only when the column is wider than twice its box.
    auto arrow = [&](const Rect& box) {
        if (sorted && column_width > 2 * box.width()) DrawSortArrow(canvas, box, sort_descending_);
    };
    auto at_right_end = [&](const Rect& of) {
        Rect box = ArrowBox(of);
        const int w = box.width();
        box.right = of.right - 5;
        box.left = box.right - w;
        return box;
    };
    switch (HeaderArrowMode) {
        case 0:
            break;
        case 1:
            if (sorted && column_width > 15) {
                const Rect box = ArrowBox(t);
                arrow(box);
                t.left = box.right + 5;
            }
            break;
        case 2:
            if (align == forms::Alignment::right) {
                if (sorted) {
                    const Rect box = at_right_end(t);
                    arrow(box);
                    t.right = box.left - 4;
                }
            } else {
                DrawText(canvas, caption, t, text_flags);
                Rect measure = t;
                DrawText(canvas, caption, measure, DT_CALCRECT | DT_RIGHT | DT_SINGLELINE);
                Rect moved = t;
                moved.left += measure.width() + 5;
                arrow(ArrowBox(moved));
                return;
            }
            break;
        case 3: {
            const Rect box = at_right_end(t);
            arrow(box);
            if (sorted) t.right = box.left - 4;
            break;
        }
        default:
            break;
    }
    DrawText(canvas, caption, t, text_flags);
}

void TKwCustomListView::RightClick(Point pos) {
    DoKeyboardContextMenu(pos);
}

bool TKwCustomListView::RightButtonUp() {
    const bool suppress = menu_handled_ && PopupMenu;
    menu_handled_ = false;
    return suppress;
}

void TKwCustomListView::ContextMenuRequest(bool keyboard, Point pos) {
    if (Designing || menu_handled_ || selected_index() < 0 || ItemFocused < 0) return;
    if (keyboard) {
        DoKeyboardContextMenu({0, 0});
    } else {
        ShowItemContextMenu(pos);
    }
}

bool TKwCustomListView::KeyForContextMenu(int key, forms::ShiftState shift) {
    if (!is_context_menu_key(key, shift)) return false;
    DoKeyboardContextMenu({0, 0});
    return true;
}

void TKwCustomListView::DoKeyboardContextMenu(Point pos) {
    auto centre = [&](int item) {
        const Rect r = ItemIconRect ? ItemIconRect(item) : Rect{};
        return Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    };
    if (ItemFocused < 0) {
        if (PopupMenu) PopupMenu->popup(this, pos.x, pos.y);
    } else if (ItemFocused < static_cast<int>(Items.size()) &&
               Items[static_cast<std::size_t>(ItemFocused)].Selected) {
        ShowItemContextMenu(centre(ItemFocused));
    } else if (selected_index() >= 0) {
        ShowItemContextMenu(centre(selected_index()));
    } else if (PopupMenu) {
        PopupMenu->popup(this, pos.x, pos.y);
    }
}

void TKwCustomListView::ShowItemContextMenu(Point pos) {
    forms::PopupMenu* menu = PopupMenu;
    DoItemContextMenu(ItemFocused, pos, menu);
    menu_handled_ = true;
    if (menu) menu->popup(this, pos.x, pos.y);
}

void TKwCustomListView::DoItemContextMenu(int item, Point& pos, forms::PopupMenu*& menu) {
    if (OnItemContextMenu) OnItemContextMenu(*this, item, pos, menu);
}

}  // namespace shellctl
