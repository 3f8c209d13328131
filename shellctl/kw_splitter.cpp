#include "shellctl/kw_splitter.h"

#include <algorithm>
#include <cmath>

namespace shellctl {

namespace forms = platform::forms;
using forms::Rect;

namespace {

struct SplitterUnitState {
    bool drag_full_windows = true;
};

SplitterUnitState& unit_state() {
    static SplitterUnitState state;
    return state;
}

}  // namespace

bool DragFullWindows() {
    return unit_state().drag_full_windows;
}
void SetDragFullWindows(bool on) {
    unit_state().drag_full_windows = on;
}

const std::array<std::uint8_t, 8>& CheckerBitmap() {
    static const std::array<std::uint8_t, 8> bits = [] {
        std::array<std::uint8_t, 8> rows{};
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                if ((x % 2) != (y % 2))
                    rows[static_cast<std::size_t>(y)] |= static_cast<std::uint8_t>(0x80 >> x);
            }
        }
        return rows;
    }();
    return bits;
}

// ---- TKwPane ------------------------------------------------------------------------------------

TKwPane::TKwPane() {
    SetFrameStyle(TKwFrameStyle::kwfsLowered);
}

// ---- TKwSplitter --------------------------------------------------------------------------------

TKwSplitter::TKwSplitter() {
    Width = 200;
    Height = 140;
}

TKwSplitter::~TKwSplitter() = default;

int TKwSplitter::Extent() const {
    return style_ == TKwSplitterStyle::kwstHorizontal ? Height : Width;
}

int TKwSplitter::MaxPosition() const {
    // Pane 1's minimum comes off the extent; the bar may then eat into that minimum, but
    // never so far that pane 1 would be left with a negative size.
    const int min1 = panes_[1] ? panes_[1]->MinSize : 0;
    return std::min(Extent() - min1, Extent() - splitter_width_);
}

void TKwSplitter::SetStyle(TKwSplitterStyle style) {
    if (style == style_) return;
    style_ = style;
    Arrange();
}

void TKwSplitter::SetSplitterWidth(int width) {
    if (width == splitter_width_) return;
    splitter_width_ = width;
    Arrange();
}

void TKwSplitter::Arrange() {
    if (!panes_[0]) return;
    const int w = Width, h = Height;
    const bool vertical = style_ == TKwSplitterStyle::kwstVertical;
    const int extent = vertical ? w : h;
    // A control smaller than both minimums squeezes pane 1 to nothing, never to a negative size.
    const int end0 = std::clamp(position_, 0, std::max(extent, 0));
    const int begin1 = std::clamp(position_ + splitter_width_, 0, std::max(extent, 0));
    auto place = [](TKwPane* pane, Rect r) {
        if (pane) pane->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
    };
    if (vertical) {
        place(panes_[0], {0, 0, end0, h});
        place(panes_[1], {begin1, 0, std::max(w, begin1), h});
    } else {
        place(panes_[0], {0, 0, w, end0});
        place(panes_[1], {0, begin1, w, std::max(h, begin1)});
    }
}

void TKwSplitter::SetPositionEx(int p, bool update_proportion) {
    if (panes_[0]) {
        const int low = panes_[0]->MinSize;
        const int high = std::max(MaxPosition(), low);
        if (p < low)
            p = low;
        else if (p > high)
            p = high;
    }
    if (p == position_) return;
    position_ = p;
    Arrange();
    if (update_proportion) UpdateProportion();
    Change();
}

void TKwSplitter::UpdateProportion() {
    const int extent = Extent();
    proportion_ = extent == 0 ? 0.5f : static_cast<float>(position_) / static_cast<float>(extent);
}

void TKwSplitter::DoResize(bool force) {
    if (force || Proportional) {
        // Rounded to the nearest integer, halves to even.
        const double target = static_cast<double>(Extent()) * static_cast<double>(proportion_);
        SetPositionEx(static_cast<int>(std::nearbyint(target)), false);
    }
    fire(OnResize);
}

void TKwSplitter::Resized() {
    DoResize(false);
    Arrange();
}

void TKwSplitter::Change() {
    fire(OnChange);
}

void TKwSplitter::DoSplitterDrag(int position) {
    if (OnSplitterDrag) OnSplitterDrag(*this, position);
}

void TKwSplitter::DoSplitterDrop(int position) {
    UpdateProportion();
    if (OnSplitterDrop) OnSplitterDrop(*this, position);
}

TKwPane* TKwSplitter::MakePane(int index) {
    auto* pane = add<TKwPane>(Name + "_pane" + std::to_string(index + 1), this);
    pane->Index = index;
    pane->SetCaption("");
    panes_[static_cast<std::size_t>(index)] = pane;
    return pane;
}

void TKwSplitter::CreatePanes() {
    if (panes_[0] || panes_[1]) return;
    MakePane(0);
    MakePane(1);
    if (Designing) SetActivePane(0);
    Arrange();
}

void TKwSplitter::Loaded() {
    for (forms::Control* child : children()) {
        auto* pane = dynamic_cast<TKwPane*>(child);
        if (!pane || (pane->Index != 0 && pane->Index != 1)) continue;
        TKwPane*& slot = panes_[static_cast<std::size_t>(pane->Index)];
        if (slot && slot != pane && slot->owner() == this) remove(slot);
        slot = pane;
    }
    if (Designing) SetActivePane(0);
    Arrange();
    UpdateProportion();
}

void TKwSplitter::SetName(const std::string& name) {
    Name = name;
    for (int i = 0; i < 2; ++i) {
        TKwPane* pane = panes_[static_cast<std::size_t>(i)];
        const std::string pane_name = name + "_pane" + std::to_string(i + 1);
        if (pane && pane->Name != pane_name) pane->Name = pane_name;
    }
}

void TKwSplitter::SetActivePane(int index) {
    TKwPane* pane = Pane(index);
    if (!pane || pane->Active()) return;
    pane->active_ = ~0u;
    pane->Repaint();
    if (TKwPane* other = Pane(1 - index)) {
        other->active_ = 0;
        other->Repaint();
    }
}

forms::Color TKwSplitter::PaneColor(int index) const {
    return panes_[static_cast<std::size_t>(index)] ? panes_[static_cast<std::size_t>(index)]->Color
                                                   : clBtnFace;
}

void TKwSplitter::SetPaneColor(int index, forms::Color c) {
    if (TKwPane* pane = panes_[static_cast<std::size_t>(index)]) pane->SetColor(c);
}

TKwFrameStyle TKwSplitter::PaneFrameStyle(int index) const {
    const TKwPane* pane = panes_[static_cast<std::size_t>(index)];
    return pane ? pane->FrameStyle() : TKwFrameStyle::kwfsLowered;
}

void TKwSplitter::SetPaneFrameStyle(int index, TKwFrameStyle s) {
    if (TKwPane* pane = panes_[static_cast<std::size_t>(index)]) pane->SetFrameStyle(s);
}

int TKwSplitter::PaneMinSize(int index) const {
    const TKwPane* pane = panes_[static_cast<std::size_t>(index)];
    return pane ? pane->MinSize : 20;
}

void TKwSplitter::SetPaneMinSize(int index, int size) {
    if (TKwPane* pane = panes_[static_cast<std::size_t>(index)]) pane->MinSize = size;
}

// ---- dragging -------------------------------------------------------------------------------------

bool TKwSplitter::FullDrag() const {
    switch (full_drag_mode_) {
        case TKwFullDragMode::kwfdOff:
            return false;
        case TKwFullDragMode::kwfdOn:
            return true;
        case TKwFullDragMode::kwfdUser:
            return DragFullWindows();
    }
    return false;
}

int TKwSplitter::PointerCoordinate(int x, int y) const {
    return style_ == TKwSplitterStyle::kwstHorizontal ? y : x;
}

int TKwSplitter::Pane0Edge() const {
    const TKwPane* p = panes_[0];
    if (!p) return position_;
    return style_ == TKwSplitterStyle::kwstHorizontal ? p->Top + p->Height : p->Left + p->Width;
}

void TKwSplitter::mouse_down(forms::MouseButton button, int x, int y, forms::ShiftState shift) {
    Control::mouse_down(button, x, y, shift);
    if (dragging_) {
        EndDrag(true);
        return;
    }
    const bool starts = button == forms::MouseButton::left ||
                        (Designing && button == forms::MouseButton::right && !shift.shift);
    if (!starts || !panes_[0]) return;
    captured_ = true;
    drag_button_ = button;
    drag_live_ = FullDrag();
    drag_start_position_ = position_;
    const int c = PointerCoordinate(x, y);
    const int e = Pane0Edge();
    drag_offset_ = c - e;
    const int low = panes_[0]->MinSize;
    const int high = std::max(MaxPosition(), low);
    int start = c;
    if (e < low)
        start = low + drag_offset_;
    else if (e > high)
        start = high + drag_offset_;
    dragging_ = true;
    drag_position_ = -1;
    MoveDragLine(start);
}

int TKwSplitter::ClampDrag(int c) const {
    const int low = panes_[0]->MinSize;
    const int high = std::max(MaxPosition(), low);
    if (c - drag_offset_ < low) return low + drag_offset_;
    if (c - drag_offset_ > high) return high + drag_offset_;
    return c;
}

void TKwSplitter::mouse_move(int x, int y, forms::ShiftState shift) {
    Control::mouse_move(x, y, shift);
    if (!dragging_) return;
    const int c = ClampDrag(PointerCoordinate(x, y));
    if (c != drag_position_) MoveDragLine(c);
}

void TKwSplitter::mouse_up(forms::MouseButton button, int x, int y, forms::ShiftState shift) {
    Control::mouse_up(button, x, y, shift);
    if (!dragging_ || button != drag_button_) return;
    // The last move, to where the button was released.
    const int c = ClampDrag(PointerCoordinate(x, y));
    if (c != drag_position_) MoveDragLine(c);
    const int old = position_;
    position_ = drag_position_ - drag_offset_;
    EndDrag(false);
    Arrange();
    DoSplitterDrop(position_);
    if (position_ != old) Change();
}

void TKwSplitter::CancelMode() {
    EndDrag(true);
}

void TKwSplitter::CaptureChanged() {
    captured_ = false;
    EndDrag(true);
}

void TKwSplitter::EndDrag(bool cancelled) {
    if (!dragging_) return;
    MoveDragLine(-1);
    dragging_ = false;
    captured_ = false;
    // A live drag has moved the panes all along; a cancelled one puts them back, so "ended
    // without applying" holds in both modes.
    if (cancelled && drag_live_ && position_ != drag_start_position_)
        SetPositionEx(drag_start_position_, true);
}

void TKwSplitter::MoveDragLine(int c) {
    if (!drag_live_) {
        if (drag_position_ >= 0) {
            DrawDragLine();
            --visible_lines_;
        }
        drag_position_ = c;
        if (c >= 0) {
            DrawDragLine();
            ++visible_lines_;
        }
    } else if (c >= 0) {
        drag_position_ = c;
        SetPositionEx(c - drag_offset_, true);
    }
    DoSplitterDrag(drag_position_);
}

void TKwSplitter::DrawDragLine() {
    const int at = drag_position_ - drag_offset_;
    const Rect r = style_ == TKwSplitterStyle::kwstVertical ? Rect{at, 0, at + splitter_width_, Height}
                                                            : Rect{0, at, Width, at + splitter_width_};
    drag_line_draws_.push_back({r});
}

forms::Cursor TKwSplitter::CursorAt(forms::Point point) const {
    for (const TKwPane* pane : panes_) {
        if (pane && pane->BoundsRect().contains(point)) return forms::Cursor::normal;
    }
    return style_ == TKwSplitterStyle::kwstVertical ? forms::Cursor::hsplit : forms::Cursor::vsplit;
}

}  // namespace shellctl
