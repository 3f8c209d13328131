#include "platform/forms/canvas.h"

#include <cstdlib>

#include "platform/forms/backend.h"

namespace platform::forms {

TextExtent HeadlessBackend::text_extent(const Font& font, std::string_view text) const {
    const int height = std::abs(font.Height == 0 ? 11 : font.Height);
    const int char_width = height * 6 / 11 > 0 ? height * 6 / 11 : 1;
    return {char_width * static_cast<int>(text.size()), height + 2};
}

void Canvas::record(CanvasOp op, std::vector<Point> points, std::string text) {
    calls_.push_back(CanvasCall{op, std::move(points), std::move(text), Pen, Brush, Font});
    backend().draw(*this, calls_.back());
}

void Canvas::Rectangle(int x1, int y1, int x2, int y2) {
    record(CanvasOp::rectangle, {{x1, y1}, {x2, y2}});
}

void Canvas::FillRect(const Rect& r) {
    record(CanvasOp::fill_rect, {{r.left, r.top}, {r.right, r.bottom}});
}

void Canvas::FrameRect(const Rect& r) {
    record(CanvasOp::frame_rect, {{r.left, r.top}, {r.right, r.bottom}});
}

void Canvas::Ellipse(int x1, int y1, int x2, int y2) {
    record(CanvasOp::ellipse, {{x1, y1}, {x2, y2}});
}

void Canvas::MoveTo(int x, int y) {
    PenPos = {x, y};
    record(CanvasOp::move_to, {{x, y}});
}

void Canvas::LineTo(int x, int y) {
    record(CanvasOp::line_to, {PenPos, {x, y}});
    PenPos = {x, y};
}

void Canvas::Polygon(const std::vector<Point>& points) {
    record(CanvasOp::polygon, points);
}

void Canvas::Polyline(const std::vector<Point>& points) {
    record(CanvasOp::polyline, points);
    if (!points.empty()) PenPos = points.back();
}

void Canvas::TextOut(int x, int y, std::string_view text) {
    record(CanvasOp::text_out, {{x, y}}, std::string(text));
    PenPos = {x + TextWidth(text), y};
}

int Canvas::TextWidth(std::string_view text) const {
    return backend().text_extent(Font, text).width;
}

int Canvas::TextHeight(std::string_view text) const {
    return backend().text_extent(Font, text).height;
}

std::vector<CanvasCall> Canvas::calls_of(CanvasOp op) const {
    std::vector<CanvasCall> out;
    for (const auto& call : calls_) {
        if (call.op == op) out.push_back(call);
    }
    return out;
}

}  // namespace platform::forms
