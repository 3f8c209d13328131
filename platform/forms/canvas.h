// A canvas: the drawing surface of a paint box (and later of any drawn control).
//
// Every drawing call is recorded with the pen, brush and font in force at that moment, and
// handed to the backend (backend.h), which draws it or, headless, ignores it. Tests read the
// record: calls(). Text metrics come from the backend; the headless one is a fixed monospace
// metric so that layouts computed from text sizes are the same on every machine.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/forms/types.h"

namespace platform::forms {

class Control;

enum class PenStyle { solid, dash, dot, clear };
// copy draws the pen colour; invert ("not") inverts what is below, so drawing twice erases
// (the rubber band of a selection).
enum class PenMode { copy, invert };
enum class BrushStyle { solid, clear };

struct Pen {
    forms::Color Color = clBlack;
    int Width = 1;
    PenStyle Style = PenStyle::solid;
    PenMode Mode = PenMode::copy;
    bool operator==(const Pen&) const = default;
};

struct Brush {
    forms::Color Color = clWhite;
    BrushStyle Style = BrushStyle::solid;
    bool operator==(const Brush&) const = default;
};

enum class CanvasOp {
    rectangle,
    fill_rect,
    frame_rect,
    ellipse,
    move_to,
    line_to,
    polygon,
    polyline,
    text_out
};

// One recorded call. `points` holds the corners (rectangle, fill_rect, frame_rect, ellipse:
// two; line_to: the pen position before and the end point; move_to, text_out: one; polygon,
// polyline: all of them).
struct CanvasCall {
    CanvasOp op;
    std::vector<Point> points;
    std::string text;
    forms::Pen pen;
    forms::Brush brush;
    forms::Font font;
};

class Canvas {
  public:
    explicit Canvas(Control* control = nullptr) : control_(control) {}

    forms::Pen Pen;
    forms::Brush Brush;
    forms::Font Font;
    Point PenPos;

    // Outline with the pen, filled with the brush; right and bottom are exclusive.
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const Rect& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
    void FillRect(const Rect& r);   // brush only
    void FrameRect(const Rect& r);  // brush colour, one pixel, no fill
    void Ellipse(int x1, int y1, int x2, int y2);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polygon(const std::vector<Point>& points);
    void Polyline(const std::vector<Point>& points);
    void TextOut(int x, int y, std::string_view text);
    int TextWidth(std::string_view text) const;
    int TextHeight(std::string_view text) const;

    Control* control() const { return control_; }
    const std::vector<CanvasCall>& calls() const { return calls_; }
    // The calls of one kind, in order.
    std::vector<CanvasCall> calls_of(CanvasOp op) const;
    void clear_record() { calls_.clear(); }

  private:
    void record(CanvasOp op, std::vector<Point> points, std::string text = {});

    Control* control_;
    std::vector<CanvasCall> calls_;
};

}  // namespace platform::forms
