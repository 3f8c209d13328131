// Frame and group panels: edge painters for eleven frame styles, the room each frame takes,
// TKwGroup (a container whose frame lies outside its client area, so children never overlap
// it) and TKwFrame (a windowless framed label with an aligned single-line caption).
//
// Rectangles handed to the painters are inclusive (L, T, R, B): the control's rectangle with
// right and bottom reduced by 1. Polylines leave out their end point.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/forms/canvas.h"
#include "platform/forms/captioned_control.h"
#include "platform/forms/component.h"
#include "shellctl/kw_draw.h"

namespace shellctl {

using platform::forms::Rect;

enum class TKwFrameStyle : std::uint8_t {
    kwfsNone,
    kwfsGroup,
    kwfsLowered,
    kwfsRaised,
    kwfsDint,
    kwfsBump,
    kwfsSingle,
    kwfsHorzLine,
    kwfsHorzEdge,
    kwfsVertLine,
    kwfsVertEdge
};

// Shrinks `rect` by the room the style's frame takes (nothing for kwfsNone and kwfsGroup).
void FrameBorder(TKwFrameStyle style, Rect& rect);
// Draws a style's edges in the inclusive rectangle; kwfsGroup draws the captioned group frame.
void DrawFrame(platform::forms::Canvas& canvas, TKwFrameStyle style, const Rect& inclusive,
               const std::string& caption, bool enabled, Color color);
void DrawGroupFrame(platform::forms::Canvas& canvas, const Rect& inclusive, const std::string& caption,
                    bool enabled, Color color);

using TKwFramePaintEvent =
    std::function<void(platform::forms::Component& sender, platform::forms::Canvas& canvas)>;

class TKwCustomGroup : public platform::forms::CaptionedControl {
  public:
    FORMS_CLASS_NAME("TKwGroup")
    TKwCustomGroup();

    platform::forms::Canvas Canvas;  // what the frame and the client area are drawn on
    platform::forms::Font Font;
    bool DefaultDrawing = true;
    TKwFramePaintEvent OnPaint;

    platform::forms::Alignment Alignment() const { return alignment_; }
    void SetAlignment(platform::forms::Alignment a);
    int FrameSpace() const { return frame_space_; }
    void SetFrameSpace(int space);
    TKwFrameStyle FrameStyle() const { return style_; }
    // A change re-creates the window, so the client area is computed again.
    void SetFrameStyle(TKwFrameStyle style);

    // The client area in window coordinates: the window shrunk by the frame's room. For
    // kwfsGroup the top gives the height of "0" in the font with a caption, else 2; the other
    // sides 2.
    Rect ClientArea() const;
    void SetCaption(std::string caption);
    void SetEnabled(bool enabled);  // the children follow; repaints
    void SetColor(platform::forms::Color color);
    // A group's caption height follows the font, so its frame is computed and drawn again.
    void SetFont(const platform::forms::Font& font);

    // Paints the frame (outside the client area), then the client area.
    void Repaint() override;
    platform::forms::Canvas* drawing_canvas() override { return &Canvas; }
    virtual void PaintFrame(platform::forms::Canvas& canvas, const Rect& window);
    virtual void Paint();

    int Recreations() const { return recreations_; }
    int FrameChanges() const { return frame_changes_; }

  private:
    void FrameChanged();
    platform::forms::Alignment alignment_ = platform::forms::Alignment::center;
    int frame_space_ = 2;
    TKwFrameStyle style_ = TKwFrameStyle::kwfsGroup;
    bool frame_changed_flag_ = false;
    int recreations_ = 0;
    int frame_changes_ = 0;
};

class TKwGroup final : public TKwCustomGroup {};

class TKwCustomFrame : public platform::forms::CaptionedControl {
  public:
    FORMS_CLASS_NAME("TKwFrame")
    TKwCustomFrame();

    platform::forms::Canvas Canvas;
    platform::forms::Font Font;
    bool DefaultDrawing = true;
    bool Designing = false;  // a form designer's view: always filled
    TKwFramePaintEvent OnPaint;

    platform::forms::Alignment Alignment() const { return alignment_; }
    void SetAlignment(platform::forms::Alignment a);
    int FrameSpace() const { return frame_space_; }
    void SetFrameSpace(int space);
    TKwFrameStyle FrameStyle() const { return style_; }
    void SetFrameStyle(TKwFrameStyle style);
    void SetCaption(std::string caption);

    void Repaint() override { Paint(); }
    platform::forms::Canvas* drawing_canvas() override { return &Canvas; }
    virtual void Paint();
    // The area a caption, colour or font change invalidates: the bounds inside the frame.
    Rect InvalidArea() const;

  private:
    platform::forms::Alignment alignment_ = platform::forms::Alignment::center;
    int frame_space_ = 2;
    TKwFrameStyle style_ = TKwFrameStyle::kwfsLowered;
};

class TKwFrame final : public TKwCustomFrame {};

// The caption flags of both controls: the alignment, vertical centring, single line, end
// ellipsis, accelerator marks honoured.
unsigned CaptionFlags(platform::forms::Alignment a);

}  // namespace shellctl
