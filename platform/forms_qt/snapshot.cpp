#include "platform/forms_qt/snapshot.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/forms/controls.h"
#include "platform/forms_qt/backend_impl.h"
#include "platform/forms_qt/deferred_deletion.h"

namespace platform::forms_qt {

using namespace platform::forms;

namespace {

constexpr int close_box_width = 18;
constexpr int caption_margin = 6;

QFont caption_font() {
    QFont font = to_qfont(Font{});
    font.setBold(true);
    return font;
}

bool has_close_box(const Form& form) {
    return form.BorderStyle != FormBorderStyle::none && form.BorderIcons.system_menu;
}

int caption_room(const Form& form, int width) {
    return width - 2 * caption_margin - (has_close_box(form) ? close_box_width : 0);
}

}  // namespace

QImage render_form(QtBackend& backend, Form& form) {
    QWidget* window = backend.sync_form(form, false);
    window->ensurePolished();
    const QPixmap client = window->grab();
    const int bar = form.BorderStyle == FormBorderStyle::none ? 0 : caption_bar_height;
    QImage image(client.width() + 2, client.height() + bar + 2, QImage::Format_RGB32);
    image.fill(QColor(0x40, 0x40, 0x40));
    QPainter p(&image);
    if (bar > 0) {
        p.fillRect(QRect(1, 1, client.width(), bar), QColor(0x2b, 0x4f, 0x81));
        p.setPen(Qt::white);
        p.setFont(caption_font());
        const QRect text_rect(1 + caption_margin, 1, caption_room(form, client.width()), bar);
        p.drawText(text_rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   to_qstring(form.Caption));
        if (has_close_box(form)) {
            const int x = 1 + client.width() - caption_margin - close_box_width + 5;
            const int y = 1 + bar / 2 - 4;
            p.setPen(QPen(Qt::white, 2));
            p.drawLine(x, y, x + 8, y + 8);
            p.drawLine(x + 8, y, x, y + 8);
        }
    }
    p.drawPixmap(1, 1 + bar, client);
    p.end();
    delete_idle_objects();
    return image;
}

QImage render_menu(QtBackend& backend, PopupMenu& menu) {
    std::unique_ptr<QMenu> q(backend.make_menu(menu));
    q->ensurePolished();
    q->adjustSize();
    return q->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

std::vector<std::string> cut_off_texts(QtBackend& backend, Form& form) {
    std::vector<std::string> problems;
    QWidget* window = backend.sync_form(form, false);
    const auto report = [&](const Component& c, const std::string& text, int need, int has) {
        problems.push_back(describe(c) + ": \"" + text + "\" needs " + std::to_string(need) + " px, has " +
                           std::to_string(has));
    };
    if (form.BorderStyle != FormBorderStyle::none) {
        const int need = QFontMetrics(caption_font()).horizontalAdvance(to_qstring(form.Caption));
        const int room = caption_room(form, window->width());
        if (need > room) report(form, form.Caption, need, room);
    }
    const std::function<void(Control&)> visit = [&](Control& control) {
        for (Control* child : control.children()) visit(*child);
        QWidget* w = backend.widget_of(control);
        if (!w || !control.Visible || &control == &form) return;
        const QFontMetrics fm(w->font());
        QWidget* parent = w->parentWidget();
        // A scroll box's inside grows with its children.
        const bool scrolled = control.parent() && dynamic_cast<ScrollBox*>(control.parent());
        if (parent && !scrolled && !parent->rect().contains(w->geometry())) {
            const QRect g = w->geometry();
            problems.push_back(describe(control) + " sticks out of its parent: " + std::to_string(g.x()) +
                               "," + std::to_string(g.y()) + " " + std::to_string(g.width()) + "x" +
                               std::to_string(g.height()) + " in " + std::to_string(parent->width()) + "x" +
                               std::to_string(parent->height()));
        }
        // The control's adapter knows how its widget gives room to the caption.
        const auto* captioned = dynamic_cast<const CaptionedControl*>(&control);
        const CaptionRoom room = adapters().of(control).caption_room;
        if (!captioned || room == CaptionRoom::none) return;
        const std::string& caption = captioned->Caption;
        if (room == CaptionRoom::label_text) {
            const bool wraps = static_cast<const Label&>(control).WordWrap;
            const QString text = to_qstring(strip_accelerator(caption));
            const int flags = (wraps ? Qt::TextWordWrap : 0) | Qt::AlignLeft;
            const QRect need = fm.boundingRect(QRect(0, 0, wraps ? w->width() : 100000, 100000), flags, text);
            if (need.width() > w->width())
                report(control, caption, need.width(), w->width());
            else if (need.height() > w->height())
                report(control, caption, need.height(), w->height());
            return;
        }
        // Buttons and boxes: the style's own size for the caption is what it needs.
        if (caption.empty()) return;
        if (room == CaptionRoom::group_title) {
            const int need = fm.horizontalAdvance(to_qstring(strip_accelerator(caption))) + 16;
            if (need > w->width()) report(control, caption, need, w->width());
            return;
        }
        const QSize hint = w->sizeHint();
        // A push button's hint keeps a minimum width of its own; only the text part counts.
        const int need = room == CaptionRoom::push_button
                             ? fm.horizontalAdvance(to_qstring(strip_accelerator(caption))) + 12
                             : hint.width();
        if (need > w->width()) report(control, caption, need, w->width());
        if (fm.height() > w->height()) report(control, caption, fm.height(), w->height());
    };
    visit(form);
    return problems;
}

ImageDifference compare_images(const QImage& expected, const QImage& actual, int channel_tolerance) {
    ImageDifference d;
    d.same_size = expected.size() == actual.size();
    if (!d.same_size) return d;
    const QImage a = expected.convertToFormat(QImage::Format_RGB32);
    const QImage b = actual.convertToFormat(QImage::Format_RGB32);
    d.marked = b.copy();
    d.total_pixels = a.width() * a.height();
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        auto* rm = reinterpret_cast<QRgb*>(d.marked.scanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int diff =
                std::max({std::abs(qRed(ra[x]) - qRed(rb[x])), std::abs(qGreen(ra[x]) - qGreen(rb[x])),
                          std::abs(qBlue(ra[x]) - qBlue(rb[x]))});
            if (diff > channel_tolerance) {
                ++d.differing_pixels;
                rm[x] = qRgb(255, 0, 255);
            }
        }
    }
    return d;
}

}  // namespace platform::forms_qt
