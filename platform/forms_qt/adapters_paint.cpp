// The controls that draw or are drawn as pictures: paint boxes and the controls that draw
// themselves on a canvas (the bare control's adapter), bevels, status bars, progress bars.
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QWidget>
#include <algorithm>
#include <set>

#include "platform/forms_qt/backend_impl.h"
#include "platform/forms_qt/keys.h"

namespace platform::forms_qt {

using namespace platform::forms;

namespace {

class BevelWidget : public QWidget {
  public:
    using QWidget::QWidget;
    BevelShape shape = BevelShape::box;
    BevelStyle bevel = BevelStyle::lowered;

  protected:
    void paintEvent(QPaintEvent*) override {
        if (shape == BevelShape::spacer) return;
        QPainter p(this);
        const QColor dark = palette().color(QPalette::Dark);
        const QColor light = palette().color(QPalette::Light);
        const QColor first = bevel == BevelStyle::raised ? light : dark;
        const QColor second = bevel == BevelStyle::raised ? dark : light;
        const int r = width() - 1;
        const int b = height() - 1;
        const auto line = [&](QColor c, int x1, int y1, int x2, int y2) {
            p.setPen(c);
            p.drawLine(x1, y1, x2, y2);
        };
        switch (shape) {
            case BevelShape::box:
                line(first, 0, 0, r, 0);
                line(first, 0, 0, 0, b);
                line(second, 0, b, r, b);
                line(second, r, 0, r, b);
                break;
            case BevelShape::frame:
                p.setPen(first);
                p.drawRect(0, 0, r - 1, b - 1);
                p.setPen(second);
                p.drawRect(1, 1, r - 1, b - 1);
                break;
            case BevelShape::top_line:
                line(first, 0, 0, r, 0);
                line(second, 0, 1, r, 1);
                break;
            case BevelShape::bottom_line:
                line(first, 0, b - 1, r, b - 1);
                line(second, 0, b, r, b);
                break;
            case BevelShape::left_line:
                line(first, 0, 0, 0, b);
                line(second, 1, 0, 1, b);
                break;
            case BevelShape::right_line:
                line(first, r - 1, 0, r - 1, b);
                line(second, r, 0, r, b);
                break;
            case BevelShape::spacer:
                break;
        }
    }
};

class StatusBarWidget : public QWidget {
  public:
    using QWidget::QWidget;
    StatusBar* bar = nullptr;

  protected:
    void paintEvent(QPaintEvent*) override {
        if (!bar) return;
        QPainter p(this);
        const auto panel = [&](QRect r, const std::string& text) {
            p.setPen(palette().color(QPalette::Dark));
            p.drawRect(r.adjusted(0, 0, -1, -1));
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(r.adjusted(3, 0, -3, 0), Qt::AlignVCenter | Qt::AlignLeft, to_qstring(text));
        };
        const int top = 2;
        const int h = height() - top;
        if (bar->SimplePanel || bar->Panels.empty()) {
            panel(QRect(0, top, width(), h), bar->SimplePanel ? bar->SimpleText : std::string());
            return;
        }
        int x = 0;
        for (std::size_t i = 0; i < bar->Panels.size(); ++i) {
            const bool last = i + 1 == bar->Panels.size();
            const int w = last ? std::max(width() - x, 0) : bar->Panels[i].Width;
            panel(QRect(x, top, w, h), bar->Panels[i].Text);
            x += w + 2;
        }
    }
};

// A control that draws itself (a paint box, a drawn frame): replays its canvas.
class CanvasWidget : public QWidget {
  public:
    CanvasWidget(Impl& impl, QWidget* parent) : QWidget(parent), impl_(impl) {
        setMouseTracking(true);
        setProperty(own_right_click, true);
    }
    Control* drawn = nullptr;
    LayoutScale scale;

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override { mouse(e, 0); }
    void mouseReleaseEvent(QMouseEvent* e) override { mouse(e, 1); }
    void mouseMoveEvent(QMouseEvent* e) override { mouse(e, 2); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { mouse(e, 3); }

  private:
    void mouse(QMouseEvent* e, int kind) {
        const QPoint at(static_cast<int>(e->position().x() / scale.x),
                        static_cast<int>(e->position().y() / scale.y));
        const ShiftState shift = shift_state(e->modifiers(), e->buttons());
        const MouseButton button = e->button() == Qt::RightButton    ? MouseButton::right
                                   : e->button() == Qt::MiddleButton ? MouseButton::middle
                                                                     : MouseButton::left;
        impl_.person<Control>(this, [&](Control& c) {
            switch (kind) {
                case 0:
                    c.mouse_down(button, at.x(), at.y(), shift);
                    break;
                case 1:
                    c.mouse_up(button, at.x(), at.y(), shift);
                    break;
                case 2:
                    c.mouse_move(at.x(), at.y(), shift);
                    break;
                default:
                    c.double_click();
                    break;
            }
        });
        // The click after the release finds the control again: the release's handler may have
        // waited in a nested loop that freed it.
        if (kind == 1 && button == MouseButton::left && rect().contains(e->position().toPoint()))
            impl_.person<Control>(this, [](Control& c) { c.click(); });
    }
    Impl& impl_;
};

}  // namespace

void replay(QPainter& p, const CanvasCall& call, const QPalette& palette) {
    const QColor pen_color = to_qcolor(call.pen.Color, palette);
    QPen pen(pen_color, std::max(call.pen.Width, 1));
    switch (call.pen.Style) {
        case PenStyle::solid:
            pen.setStyle(Qt::SolidLine);
            break;
        case PenStyle::dash:
            pen.setStyle(Qt::DashLine);
            break;
        case PenStyle::dot:
            pen.setStyle(Qt::DotLine);
            break;
        case PenStyle::clear:
            pen.setStyle(Qt::NoPen);
            break;
    }
    const bool invert = call.pen.Mode == PenMode::invert;
    p.setCompositionMode(invert ? QPainter::RasterOp_NotDestination : QPainter::CompositionMode_SourceOver);
    const QColor brush_color = to_qcolor(call.brush.Color, palette);
    const QBrush brush = call.brush.Style == BrushStyle::clear ? QBrush(Qt::NoBrush) : QBrush(brush_color);
    const auto& pts = call.points;
    const auto box = [&]() {  // right and bottom exclusive
        return QRect(QPoint(pts[0].x, pts[0].y), QPoint(pts[1].x - 1, pts[1].y - 1));
    };
    p.setPen(pen);
    p.setBrush(brush);
    switch (call.op) {
        case CanvasOp::rectangle:
            p.drawRect(box().adjusted(0, 0, -1, -1));
            break;
        case CanvasOp::fill_rect:
            p.fillRect(box(), brush_color);
            break;
        case CanvasOp::frame_rect:
            p.setPen(QPen(brush_color, 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(box().adjusted(0, 0, -1, -1));
            break;
        case CanvasOp::ellipse:
            p.drawEllipse(box().adjusted(0, 0, -1, -1));
            break;
        case CanvasOp::move_to:
            break;
        case CanvasOp::line_to:
            p.drawLine(pts[0].x, pts[0].y, pts[1].x, pts[1].y);
            break;
        case CanvasOp::polygon:
        case CanvasOp::polyline: {
            QPolygon poly;
            for (const Point& pt : pts) poly << QPoint(pt.x, pt.y);
            if (call.op == CanvasOp::polygon)
                p.drawPolygon(poly);
            else
                p.drawPolyline(poly);
            break;
        }
        case CanvasOp::text_out: {
            // The text keeps the real font's size, as it was measured (text_extent): under the
            // painter's layout scale it would come out larger than measured and run into what
            // the control drew beside it. Only its corner follows the scale.
            const QFont font = to_qfont(call.font);
            const QString text = to_qstring(call.text);
            const QFontMetrics fm(font);
            const QPoint corner = p.transform().map(QPointF(pts[0].x, pts[0].y)).toPoint();
            p.save();
            p.resetTransform();
            const QRect r(corner, QSize(fm.horizontalAdvance(text), fm.height()));
            if (call.brush.Style == BrushStyle::solid) p.fillRect(r, brush_color);
            p.setFont(font);
            p.setPen(to_qcolor(call.font.Color, palette));
            p.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
            p.restore();
            break;
        }
    }
}

namespace {

void CanvasWidget::paintEvent(QPaintEvent*) {
    Canvas* canvas = drawn ? drawn->drawing_canvas() : nullptr;
    if (!canvas) return;
    QPainter p(this);
    // The canvas holds what Repaint draws now, not everything it ever drew.
    impl_.painting = true;
    canvas->clear_record();
    try {
        drawn->Repaint();
    } catch (const std::exception& e) {
        complain(e.what());
    }
    impl_.painting = false;
    p.scale(scale.x, scale.y);
    for (const CanvasCall& call : canvas->calls()) replay(p, call, palette());
}

QWidget* make_canvas(Impl& impl, Control& control, QWidget* parent) {
    auto* canvas = new CanvasWidget(impl, parent);
    canvas->drawn = &control;
    return canvas;
}

void update_canvas(Impl& impl, Control&, Impl::Bound& b, Common&) {
    auto* canvas = static_cast<CanvasWidget*>(b.widget);
    canvas->scale = impl.scale;
    canvas->update();
}

}  // namespace

void add_paint_adapters(Adapters& a) {
    // The bare control: one that draws itself on its canvas (a drawn frame), or takes only the
    // mouse (a splitter's bar is dragged so). A control of a kind no adapter knows that has no
    // canvas is reported, once per kind: it gets the mouse but nothing draws it.
    a.add<Control, void>({[](Impl& impl, Control& control, QWidget* parent) -> QWidget* {
                              static std::set<std::string> told;
                              if (!control.drawing_canvas() && told.insert(control.class_name()).second)
                                  std::fprintf(stderr,
                                               "forms: no adapter draws %s; it takes only the mouse\n",
                                               control.class_name());
                              return make_canvas(impl, control, parent);
                          },
                          update_canvas});
    a.add<PaintBox, Control>({make_canvas, update_canvas});
    a.add<Bevel, Control>({[](Impl&, Control&, QWidget* parent) -> QWidget* {
                               auto* w = new BevelWidget(parent);
                               w->setAttribute(Qt::WA_TransparentForMouseEvents);
                               return w;
                           },
                           [](Impl&, Control& control, Impl::Bound& b, Common&) {
                               auto& bevel = static_cast<Bevel&>(control);
                               auto* q = static_cast<BevelWidget*>(b.widget);
                               q->shape = bevel.Shape;
                               q->bevel = bevel.Style;
                               q->update();
                           }});
    a.add<StatusBar, Control>({[](Impl&, Control& control, QWidget* parent) -> QWidget* {
                                   auto* status = new StatusBarWidget(parent);
                                   status->bar = &static_cast<StatusBar&>(control);
                                   return status;
                               },
                               [](Impl&, Control&, Impl::Bound& b, Common&) { b.widget->update(); }});
    a.add<ProgressBar, Control>(
        {[](Impl&, Control&, QWidget* parent) -> QWidget* {
             auto* progress = new QProgressBar(parent);
             progress->setTextVisible(false);
             return progress;
         },
         [](Impl&, Control& control, Impl::Bound& b, Common&) {
             auto& progress = static_cast<ProgressBar&>(control);
             auto* q = static_cast<QProgressBar*>(b.widget);
             q->setRange(progress.Min, std::max(progress.Max, progress.Min));
             q->setValue(std::clamp(progress.Position, progress.Min, std::max(progress.Max, progress.Min)));
         }});
}

}  // namespace platform::forms_qt
