// TKwSplitter: a control holding exactly two panes (TKwPane, a group panel) side by side or one
// above the other, separated by a bar the user drags. While dragging, the bar is shown as an
// inverted checker line (outline drag) or the panes follow the pointer (live drag); the first
// pane keeps its share of the control when the control is resized; each pane has a minimum
// size, which the bar never passes.
//
// Positions are client pixels along the split axis: x for kwstVertical (a vertical bar, panes
// left and right), y for kwstHorizontal. `Position` is the size of pane 0; pane 1 begins after
// the bar (Position + SplitterWidth).
//
// The panes are made by CreatePanes (named <splitter>_pane1 and _pane2), or added by the form's
// code as child TKwPane controls and taken up by Loaded. There is no form designer here, so the
// design-time behaviour (pane activation, the designer's hit test) stays off: Designing is
// always false.
//
// Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/forms/application.h"
#include "shellctl/kw_frame.h"

namespace shellctl {

enum class TKwSplitterStyle : std::uint8_t { kwstVertical, kwstHorizontal };
enum class TKwFullDragMode : std::uint8_t { kwfdOff, kwfdOn, kwfdUser };

using TKwSplitterDragEvent = std::function<void(platform::forms::Component& sender, int position)>;

class TKwSplitter;

class TKwPane final : public TKwCustomGroup {
  public:
    FORMS_CLASS_NAME("TKwPane")
    TKwPane();

    int MinSize = 20;
    int Index = 0;  // 0 or 1
    bool Active() const { return active_ != 0; }

  private:
    friend class TKwSplitter;
    std::uint32_t active_ = 0;  // 0 or all ones; only a designer activates a pane
};

// Whether the user's desktop shows window contents while dragging (live drag under kwfdUser).
// On unless set otherwise.
bool DragFullWindows();
void SetDragFullWindows(bool on);

// The 8 x 8 monochrome checker of the outline drag line, one byte per row, the leftmost pixel
// in the top bit: a pixel is white (1) when x and y differ in parity.
const std::array<std::uint8_t, 8>& CheckerBitmap();

// One inversion of the drag line: the rectangle inverted through the checker pattern. Drawing
// the same rectangle twice restores what was there.
struct TKwDragLineDraw {
    platform::forms::Rect rect;
};

class TKwSplitter : public platform::forms::Control {
  public:
    FORMS_CLASS_NAME("TKwSplitter")
    TKwSplitter();
    ~TKwSplitter() override;

    bool Proportional = true;
    platform::forms::NotifyEvent OnChange;
    platform::forms::NotifyEvent OnResize;
    TKwSplitterDragEvent OnSplitterDrag;  // the drag line's pointer coordinate; -1 when removed
    TKwSplitterDragEvent OnSplitterDrop;  // the new Position at release
    static constexpr bool Designing = false;

    TKwPane* Pane(int index) const { return index == 0 || index == 1 ? panes_[index] : nullptr; }
    TKwSplitterStyle Style() const { return style_; }
    void SetStyle(TKwSplitterStyle style);
    int SplitterWidth() const { return splitter_width_; }
    void SetSplitterWidth(int width);
    int Position() const { return position_; }
    void SetPosition(int position) { SetPositionEx(position, true); }
    TKwFullDragMode FullDragMode() const { return full_drag_mode_; }
    void SetFullDragMode(TKwFullDragMode mode) { full_drag_mode_ = mode; }
    float Proportion() const { return proportion_; }

    // The pane properties read and write pane 0 (Pane1...) or pane 1 (Pane2...); writes to a
    // missing pane do nothing, reads of one give the pane's defaults. A new minimum does not
    // move the bar.
    platform::forms::Color Pane1Color() const { return PaneColor(0); }
    platform::forms::Color Pane2Color() const { return PaneColor(1); }
    void SetPane1Color(platform::forms::Color c) { SetPaneColor(0, c); }
    void SetPane2Color(platform::forms::Color c) { SetPaneColor(1, c); }
    TKwFrameStyle Pane1FrameStyle() const { return PaneFrameStyle(0); }
    TKwFrameStyle Pane2FrameStyle() const { return PaneFrameStyle(1); }
    void SetPane1FrameStyle(TKwFrameStyle s) { SetPaneFrameStyle(0, s); }
    void SetPane2FrameStyle(TKwFrameStyle s) { SetPaneFrameStyle(1, s); }
    int Pane1MinSize() const { return PaneMinSize(0); }
    int Pane2MinSize() const { return PaneMinSize(1); }
    void SetPane1MinSize(int size) { SetPaneMinSize(0, size); }
    void SetPane2MinSize(int size) { SetPaneMinSize(1, size); }

    // The control's extent along the split axis (Width or Height).
    int Extent() const;
    // The largest Position that leaves pane 1 its minimum beside the bar.
    int MaxPosition() const;

    // Lays the panes out around the bar.
    void Arrange();
    // Clamps `position` to the panes' minimums; on a change stores it, arranges, updates the
    // proportion when `update_proportion` and fires OnChange.
    void SetPositionEx(int position, bool update_proportion);
    void UpdateProportion();
    // Makes both panes (when there are none) and arranges them.
    void CreatePanes();
    // Takes up child TKwPane controls made by the form's code as pane `Index`.
    void Loaded();
    // Renames the splitter and its panes (<name>_pane1, <name>_pane2).
    void SetName(const std::string& name);
    void SetActivePane(int index);
    void DoResize(bool force);

    // Mouse input (client pixels). A drag starts with the left button and ends at its release;
    // any other press during a drag, a cancel-mode request or the loss of the mouse capture
    // ends it without applying it.
    void mouse_down(platform::forms::MouseButton button, int x, int y,
                    platform::forms::ShiftState shift = {}) override;
    void mouse_move(int x, int y, platform::forms::ShiftState shift = {}) override;
    void mouse_up(platform::forms::MouseButton button, int x, int y,
                  platform::forms::ShiftState shift = {}) override;
    void CancelMode();
    void CaptureChanged();
    bool Dragging() const { return dragging_; }
    bool MouseCaptured() const { return captured_; }
    int DragPosition() const { return drag_position_; }
    // The cursor at a client point: the platform's over a pane, a split cursor over the bar.
    platform::forms::Cursor CursorAt(platform::forms::Point point) const;
    bool FullDrag() const;

    // Every inversion of the drag line so far, in order, and how many lines are shown now.
    const std::vector<TKwDragLineDraw>& DragLineDraws() const { return drag_line_draws_; }
    int VisibleDragLines() const { return visible_lines_; }

  protected:
    void Resized() override;
    virtual void Change();
    virtual void DoSplitterDrag(int position);
    virtual void DoSplitterDrop(int position);
    // Inverts the drag line at the drag position (drawing twice erases it).
    virtual void DrawDragLine();

  private:
    int PointerCoordinate(int x, int y) const;
    int Pane0Edge() const;
    // A drag line coordinate kept where both panes keep their minimums.
    int ClampDrag(int c) const;
    void MoveDragLine(int c);
    void EndDrag(bool cancelled);
    TKwPane* MakePane(int index);
    platform::forms::Color PaneColor(int index) const;
    void SetPaneColor(int index, platform::forms::Color c);
    TKwFrameStyle PaneFrameStyle(int index) const;
    void SetPaneFrameStyle(int index, TKwFrameStyle s);
    int PaneMinSize(int index) const;
    void SetPaneMinSize(int index, int size);

    std::array<TKwPane*, 2> panes_{nullptr, nullptr};
    TKwSplitterStyle style_ = TKwSplitterStyle::kwstVertical;
    int splitter_width_ = 3;
    int position_ = 65;
    TKwFullDragMode full_drag_mode_ = TKwFullDragMode::kwfdUser;
    float proportion_ = 65.0f / 200.0f;
    bool dragging_ = false;
    int drag_position_ = -1;
    int drag_offset_ = 0;
    platform::forms::MouseButton drag_button_ = platform::forms::MouseButton::left;
    bool drag_live_ = false;
    int drag_start_position_ = 0;
    bool captured_ = false;
    std::vector<TKwDragLineDraw> drag_line_draws_;
    int visible_lines_ = 0;
};

}  // namespace shellctl
