#include "shellctl/kw_frame.h"

namespace shellctl {

namespace forms = platform::forms;
using forms::Point;

namespace {

void line(forms::Canvas& c, Color color, std::vector<Point> points) {
    c.Pen.Color = color;
    c.Pen.Style = forms::PenStyle::solid;
    c.Polyline(points);
}

// The four lines of a lowered or raised edge, in the given colours.
void two_pixel_edge(forms::Canvas& c, const Rect& r, Color c1, Color c2, Color c3, Color c4) {
    const int L = r.left, T = r.top, R = r.right, B = r.bottom;
    line(c, c1, {{L, B - 1}, {L, T}, {R, T}});
    line(c, c2, {{L + 1, B - 2}, {L + 1, T + 1}, {R - 1, T + 1}});
    line(c, c3, {{L + 1, B - 1}, {R - 1, B - 1}, {R - 1, T}});
    line(c, c4, {{L, B}, {R, B}, {R, T - 1}});
}

void one_pixel_edge(forms::Canvas& c, const Rect& r, Color c1, Color c2) {
    const int L = r.left, T = r.top, R = r.right, B = r.bottom;
    line(c, c1, {{L, B - 1}, {L, T}, {R, T}});
    line(c, c2, {{L, B}, {R, B}, {R, T - 1}});
}

}  // namespace

unsigned CaptionFlags(forms::Alignment a) {
    const unsigned align =
        a == forms::Alignment::left ? DT_LEFT : (a == forms::Alignment::right ? DT_RIGHT : DT_CENTER);
    return align | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS;
}

void FrameBorder(TKwFrameStyle style, Rect& r) {
    using S = TKwFrameStyle;
    switch (style) {
        case S::kwfsLowered:
        case S::kwfsRaised:
            r = {r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
            break;
        case S::kwfsDint:
        case S::kwfsBump:
        case S::kwfsSingle:
            r = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
            break;
        case S::kwfsHorzLine:
            r.top += 2;
            break;
        case S::kwfsVertLine:
            r.left += 2;
            break;
        case S::kwfsHorzEdge:
            r.top += 2;
            r.bottom -= 2;
            break;
        case S::kwfsVertEdge:
            r.left += 2;
            r.right -= 2;
            break;
        case S::kwfsNone:
        case S::kwfsGroup:
            break;
    }
}

void DrawGroupFrame(forms::Canvas& c, const Rect& r, const std::string& caption, bool enabled, Color color) {
    const int L = r.left, T = r.top, R = r.right, B = r.bottom;
    c.Brush.Color = color;
    c.Brush.Style = forms::BrushStyle::solid;
    c.FillRect({L, T, R + 1, B + 1});
    const int a = caption.empty() ? 2 : c.TextHeight("0");
    const int box_top = T + a / 2 - 1;
    c.Brush.Style = forms::BrushStyle::clear;
    c.Pen.Color = clBtnHighlight;
    c.Rectangle(L + 1, box_top + 1, R + 1, B + 1);
    c.Pen.Color = clBtnShadow;
    c.Rectangle(L, box_top, R, B);
    if (caption.empty()) return;
    Rect text{L + 8, T, R - 9, T + a};
    c.Brush.Color = color;
    c.Brush.Style = forms::BrushStyle::solid;
    const unsigned flags = DT_SINGLELINE | DT_END_ELLIPSIS | DT_LEFT;
    const Color font_color = c.Font.Color;
    if (!enabled) {
        Rect shifted{text.left + 1, text.top + 1, text.right + 1, text.bottom + 1};
        c.Font.Color = clBtnHighlight;
        DrawText(c, caption, shifted, flags);
        c.Brush.Style = forms::BrushStyle::clear;
        c.Font.Color = clBtnShadow;
        DrawText(c, caption, text, flags);
    } else {
        DrawText(c, caption, text, flags);
    }
    c.Font.Color = font_color;
}

void DrawFrame(forms::Canvas& c, TKwFrameStyle style, const Rect& r, const std::string& caption, bool enabled,
               Color color) {
    using S = TKwFrameStyle;
    const int L = r.left, T = r.top, R = r.right, B = r.bottom;
    switch (style) {
        case S::kwfsNone:
            return;
        case S::kwfsGroup:
            DrawGroupFrame(c, r, caption, enabled, color);
            return;
        case S::kwfsLowered:
            two_pixel_edge(c, r, clBtnShadow, cl3DDkShadow, clBtnFace, clBtnHighlight);
            return;
        case S::kwfsRaised:
            two_pixel_edge(c, r, clBtnHighlight, clBtnFace, clBtnShadow, cl3DDkShadow);
            return;
        case S::kwfsDint:
            one_pixel_edge(c, r, clBtnShadow, clBtnHighlight);
            return;
        case S::kwfsBump:
            one_pixel_edge(c, r, clBtnHighlight, clBtnShadow);
            return;
        case S::kwfsSingle: {
            c.Brush.Color = clWindowFrame;
            c.FrameRect({L, T, R + 1, B + 1});
            return;
        }
        case S::kwfsHorzLine:
            line(c, clBtnShadow, {{L, T}, {R + 1, T}});
            line(c, clBtnHighlight, {{L, T + 1}, {R + 1, T + 1}});
            return;
        case S::kwfsHorzEdge:
            line(c, clBtnShadow, {{L, T}, {R + 1, T}});
            line(c, clBtnShadow, {{L, B - 1}, {R + 1, B - 1}});
            line(c, clBtnHighlight, {{L, T + 1}, {R + 1, T + 1}});
            line(c, clBtnHighlight, {{L, B}, {R + 1, B}});
            return;
        case S::kwfsVertLine:
            line(c, clBtnShadow, {{L, T}, {L, B + 1}});
            line(c, clBtnHighlight, {{L + 1, T}, {L + 1, B + 1}});
            return;
        case S::kwfsVertEdge:
            line(c, clBtnShadow, {{L, T}, {L, B + 1}});
            line(c, clBtnShadow, {{R - 1, T}, {R - 1, B + 1}});
            line(c, clBtnHighlight, {{L + 1, T}, {L + 1, B + 1}});
            line(c, clBtnHighlight, {{R, T}, {R, B + 1}});
            return;
    }
}

// ---- TKwCustomGroup -----------------------------------------------------------------------------

TKwCustomGroup::TKwCustomGroup() : Canvas(this) {
    Width = 64;
    Height = 48;
}

void TKwCustomGroup::SetAlignment(forms::Alignment a) {
    alignment_ = a;
    Repaint();
}

void TKwCustomGroup::SetFrameSpace(int space) {
    frame_space_ = space;
    Repaint();
}

void TKwCustomGroup::SetFrameStyle(TKwFrameStyle style) {
    if (style == style_) return;
    style_ = style;
    frame_changed_flag_ = true;
    ++recreations_;  // the window is made again with the new frame
    Repaint();
}

void TKwCustomGroup::FrameChanged() {
    ++frame_changes_;
    Repaint();
}

void TKwCustomGroup::SetCaption(std::string caption) {
    Caption = std::move(caption);
    if (style_ == TKwFrameStyle::kwfsGroup)
        FrameChanged();
    else
        Repaint();
}

void TKwCustomGroup::SetColor(forms::Color color) {
    Color = color;
    if (style_ == TKwFrameStyle::kwfsGroup)
        FrameChanged();
    else
        Repaint();
}

void TKwCustomGroup::SetFont(const forms::Font& font) {
    Font = font;
    if (style_ == TKwFrameStyle::kwfsGroup)
        FrameChanged();
    else
        Repaint();
}

void TKwCustomGroup::SetEnabled(bool enabled) {
    Enabled = enabled;
    for (forms::Control* child : children()) child->Enabled = enabled;
    if (style_ == TKwFrameStyle::kwfsGroup)
        FrameChanged();
    else
        Repaint();
}

Rect TKwCustomGroup::ClientArea() const {
    Rect r{0, 0, Width, Height};
    if (style_ == TKwFrameStyle::kwfsGroup) {
        forms::Canvas measure;
        measure.Font = Font;
        r.top += Caption.empty() ? 2 : measure.TextHeight("0");
        r.left += 2;
        r.right -= 2;
        r.bottom -= 2;
    } else {
        FrameBorder(style_, r);
    }
    return r;
}

void TKwCustomGroup::Repaint() {
    frame_changed_flag_ = false;
    PaintFrame(Canvas, {0, 0, Width, Height});
    Paint();
}

void TKwCustomGroup::PaintFrame(forms::Canvas& canvas, const Rect& window) {
    canvas.Brush.Color = Color;
    canvas.Brush.Style = forms::BrushStyle::clear;
    canvas.Font = Font;
    const Rect r{window.left, window.top, window.right - 1, window.bottom - 1};
    DrawFrame(canvas, style_, r, Caption, Enabled, Color);
}

void TKwCustomGroup::Paint() {
    Canvas.Font = Font;
    if (Color != clNone) {
        Canvas.Brush.Color = Color;
        Canvas.Brush.Style = forms::BrushStyle::solid;
    }
    if (DefaultDrawing && style_ != TKwFrameStyle::kwfsGroup) {
        const Rect client = ClientArea();
        Rect text{client.left + frame_space_, client.top, client.right - frame_space_, client.bottom};
        DrawText(Canvas, Caption, text, CaptionFlags(alignment_));
    }
    if (OnPaint) OnPaint(*this, Canvas);
}

// ---- TKwCustomFrame -----------------------------------------------------------------------------

TKwCustomFrame::TKwCustomFrame() : Canvas(this) {
    Width = 64;
    Height = 48;
}

void TKwCustomFrame::SetAlignment(forms::Alignment a) {
    alignment_ = a;
    Repaint();
}

void TKwCustomFrame::SetFrameSpace(int space) {
    frame_space_ = space;
    Repaint();
}

void TKwCustomFrame::SetFrameStyle(TKwFrameStyle style) {
    style_ = style;
    Repaint();
}

void TKwCustomFrame::SetCaption(std::string caption) {
    Caption = std::move(caption);
    Repaint();
}

Rect TKwCustomFrame::InvalidArea() const {
    Rect r = BoundsRect();
    FrameBorder(style_, r);
    return r;
}

void TKwCustomFrame::Paint() {
    if (Color != clNone) {
        Canvas.Brush.Color = Color;
        Canvas.Brush.Style = forms::BrushStyle::solid;
        if (DefaultDrawing || Designing) Canvas.FillRect(ClientRect());
    }
    Canvas.Brush.Style = forms::BrushStyle::clear;
    const Rect r{0, 0, Width - 1, Height - 1};
    Canvas.Font = Font;
    DrawFrame(Canvas, style_, r, Caption, Enabled, Color);
    if (style_ == TKwFrameStyle::kwfsGroup) return;
    if (DefaultDrawing) {
        Rect text{r.left + frame_space_, r.top, r.right - frame_space_, r.bottom};
        DrawText(Canvas, Caption, text, CaptionFlags(alignment_));
    }
    if (OnPaint) OnPaint(*this, Canvas);
}

}  // namespace shellctl
