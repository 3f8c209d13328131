#include "platform/forms_qt/qt_backend.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unordered_map>

#include "platform/forms/controls.h"
#include "platform/text/text.h"

namespace platform::forms_qt {

using namespace platform::forms;

// ---- conversions --------------------------------------------------------------------------

QString to_qstring(std::string_view cp1252) {
    QString out;
    out.reserve(static_cast<qsizetype>(cp1252.size()));
    for (char c : cp1252) out.append(QChar(platform::text::unit_from_cp1252(c)));
    return out;
}

std::string from_qstring(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar c : text) out.push_back(platform::text::cp1252_from_unit(c.unicode()));
    return out;
}

std::string strip_accelerator(std::string_view caption) {
    std::string out;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') out.push_back('&');
            if (i + 1 < caption.size()) ++i;
            else continue;
            if (caption[i] == '&') continue;
        }
        out.push_back(caption[i]);
    }
    return out;
}

QFont to_qfont(const Font& font) {
    const bool fixed = font.Name.find("Courier") != std::string::npos || font.Name.find("Mono") != std::string::npos ||
                       font.Name.find("Fixedsys") != std::string::npos || font.Name.find("Terminal") != std::string::npos;
    QFont q(fixed ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
    int pixels = font.Height < 0 ? -font.Height : font.Height;
    if (pixels == 0) pixels = std::max(1, font.Size * 96 / 72);
    q.setPixelSize(pixels);
    q.setBold(font.bold);
    q.setItalic(font.italic);
    q.setStyleStrategy(QFont::NoSubpixelAntialias);
    q.setHintingPreference(QFont::PreferFullHinting);
    return q;
}

QColor to_qcolor(Color color, const QPalette& palette) {
    // A system colour: the high bit set, its index in the low byte.
    if ((color & 0xFF000000u) == 0x80000000u) {
        switch (color & 0xFFu) {
            case 4: return palette.color(QPalette::Window);             // menu
            case 5: return palette.color(QPalette::Base);               // window
            case 6: return palette.color(QPalette::Shadow);             // window frame
            case 7:                                                     // menu text
            case 8: return palette.color(QPalette::WindowText);         // window text
            case 13: return palette.color(QPalette::Highlight);         // highlight
            case 14: return palette.color(QPalette::HighlightedText);   // highlighted text
            case 15: return palette.color(QPalette::Window);            // button face
            case 16: return palette.color(QPalette::Dark);              // button shadow
            case 17: return palette.color(QPalette::Disabled, QPalette::Text);  // grey text
            case 18: return palette.color(QPalette::ButtonText);        // button text
            case 20: return palette.color(QPalette::Light);             // button highlight
            case 21: return palette.color(QPalette::Shadow);            // 3D dark shadow
            case 22: return palette.color(QPalette::Midlight);          // 3D light
            case 23: return palette.color(QPalette::ToolTipText);       // info text
            case 24: return palette.color(QPalette::ToolTipBase);       // info background
            default: return palette.color(QPalette::Window);
        }
    }
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

QImage to_qimage(const Image& image) {
    QImage out(std::max(image.width, 0), std::max(image.height, 0), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x);
            const std::uint32_t c = at < image.pixels.size() ? image.pixels[at] : 0;
            out.setPixel(x, y, qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                                    static_cast<int>((c >> 16) & 0xFF)));
        }
    }
    return out;
}

QSize client_size(const Form& form) {
    // The frame and caption of a dialog as the forms were laid out for.
    constexpr int frame_width = 8;
    constexpr int frame_height = 27;
    const int w = form.ClientWidth > 0 ? form.ClientWidth : form.Width - frame_width;
    const int h = form.ClientHeight > 0 ? form.ClientHeight : form.Height - frame_height;
    return {std::max(w, 1), std::max(h, 1)};
}

int LayoutScale::map_x(int v) const { return static_cast<int>(std::lround(v * x)); }
int LayoutScale::map_y(int v) const { return static_cast<int>(std::lround(v * y)); }

LayoutScale layout_scale(const Font& font) {
    constexpr double design_average_width = 6;
    constexpr double design_height = 13;
    const QFontMetricsF fm(to_qfont(font));
    const double average = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52;
    return {std::max(1.0, average / design_average_width), std::max(1.0, fm.height() / design_height)};
}

namespace {
// Maps a rectangle of the forms' pixels so that neighbouring edges stay together.
QRect map_rect(const LayoutScale& s, int left, int top, int width, int height) {
    const int x1 = s.map_x(left);
    const int y1 = s.map_y(top);
    return {x1, y1, std::max(s.map_x(left + width) - x1, 0), std::max(s.map_y(top + height) - y1, 0)};
}
}  // namespace

// ---- the backend's state ------------------------------------------------------------------

namespace {

void complain(const char* what) { std::fprintf(stderr, "forms: a person's action was refused: %s\n", what); }

}  // namespace

struct QtBackend::Impl {
    struct Bound {
        QWidget* widget = nullptr;
        QWidget* container = nullptr;  // where the children go
        std::vector<std::string> items;  // what a list widget shows, to rebuild only on change
        std::string signature;           // of a tree
        Control* focused = nullptr;      // a form's ActiveControl when last synced
        bool shown_once = false;
    };

    std::unordered_map<const Control*, Bound> bound;
    std::unordered_map<const QWidget*, Control*> controls;
    int syncing = 0;
    bool painting = false;
    LayoutScale scale;  // of the form being synced
    QMetaObject::Connection focus_connection;

    // Runs a person's action on the control of `widget`, if it still has one.
    template <class C>
    void person(const QWidget* widget, const std::function<void(C&)>& action) {
        if (syncing) return;  // our own update of the widget, not a person
        auto it = controls.find(widget);
        if (it == controls.end()) return;
        auto* control = dynamic_cast<C*>(it->second);
        if (!control) return;
        try {
            action(*control);
        } catch (const std::exception& e) {
            complain(e.what());
        }
    }

    QWidget* make(Control& control, QWidget* parent);
    void update(Control& control, Bound& b);
    void sync_tree(Control& control, QWidget* parent);
    void forget(const Control& control);
};

namespace {

using Impl = QtBackend::Impl;

// The window of a form.
class FormWidget : public QWidget {
  public:
    FormWidget(Impl& impl, Form& form) : QWidget(nullptr), impl_(impl), form_(form) {}

  protected:
    void closeEvent(QCloseEvent* event) override {
        // The person's close box; the form decides (and hides itself through the model).
        event->ignore();
        impl_.person<Form>(this, [](Form& f) { f.close_by_caption(); });
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            impl_.person<Form>(this, [](Form& f) { f.press_enter(); });
        } else if (event->key() == Qt::Key_Escape) {
            impl_.person<Form>(this, [](Form& f) { f.press_escape(); });
        } else {
            QWidget::keyPressEvent(event);
        }
    }
    void paintEvent(QPaintEvent*) override {
        auto* box = dynamic_cast<MessageForm*>(&form_);
        if (!box) return;
        QStyle::StandardPixmap icon;
        switch (box->type) {
            case DialogType::warning: icon = QStyle::SP_MessageBoxWarning; break;
            case DialogType::error: icon = QStyle::SP_MessageBoxCritical; break;
            case DialogType::information: icon = QStyle::SP_MessageBoxInformation; break;
            case DialogType::confirmation: icon = QStyle::SP_MessageBoxQuestion; break;
            default: return;
        }
        QPainter painter(this);
        painter.drawPixmap(8, 8, style()->standardIcon(icon).pixmap(32, 32));
    }

  private:
    Impl& impl_;
    Form& form_;
};

class PanelWidget : public QFrame {
  public:
    using QFrame::QFrame;
    QString caption;
    Qt::Alignment alignment = Qt::AlignCenter;

  protected:
    void paintEvent(QPaintEvent* event) override {
        QFrame::paintEvent(event);
        if (caption.isEmpty()) return;
        QPainter painter(this);
        painter.drawText(contentsRect().adjusted(2, 0, -2, 0), static_cast<int>(alignment | Qt::AlignVCenter), caption);
    }
};

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
    CanvasWidget(Impl& impl, QWidget* parent) : QWidget(parent), impl_(impl) { setMouseTracking(true); }
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
        const QPoint at(static_cast<int>(e->position().x() / scale.x), static_cast<int>(e->position().y() / scale.y));
        ShiftState shift;
        shift.shift = e->modifiers() & Qt::ShiftModifier;
        shift.ctrl = e->modifiers() & Qt::ControlModifier;
        shift.alt = e->modifiers() & Qt::AltModifier;
        shift.left = e->buttons() & Qt::LeftButton;
        shift.right = e->buttons() & Qt::RightButton;
        shift.middle = e->buttons() & Qt::MiddleButton;
        const MouseButton button = e->button() == Qt::RightButton    ? MouseButton::right
                                   : e->button() == Qt::MiddleButton ? MouseButton::middle
                                                                     : MouseButton::left;
        impl_.person<Control>(this, [&](Control& c) {
            switch (kind) {
                case 0: c.mouse_down(button, at.x(), at.y(), shift); break;
                case 1:
                    c.mouse_up(button, at.x(), at.y(), shift);
                    if (button == MouseButton::left && rect().contains(e->position().toPoint())) c.click();
                    break;
                case 2: c.mouse_move(at.x(), at.y(), shift); break;
                default: c.double_click(); break;
            }
        });
    }
    Impl& impl_;
};

class ComboWidget : public QComboBox {
  public:
    ComboWidget(Impl& impl, QWidget* parent) : QComboBox(parent), impl_(impl) {}
    void showPopup() override {
        impl_.person<ComboBox>(this, [](ComboBox& c) { c.drop_down(); });
        QComboBox::showPopup();
    }

  private:
    Impl& impl_;
};

void replay(QPainter& p, const CanvasCall& call, const QPalette& palette) {
    const QColor pen_color = to_qcolor(call.pen.Color, palette);
    QPen pen(pen_color, std::max(call.pen.Width, 1));
    switch (call.pen.Style) {
        case PenStyle::solid: pen.setStyle(Qt::SolidLine); break;
        case PenStyle::dash: pen.setStyle(Qt::DashLine); break;
        case PenStyle::dot: pen.setStyle(Qt::DotLine); break;
        case PenStyle::clear: pen.setStyle(Qt::NoPen); break;
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
        case CanvasOp::rectangle: p.drawRect(box().adjusted(0, 0, -1, -1)); break;
        case CanvasOp::fill_rect: p.fillRect(box(), brush_color); break;
        case CanvasOp::frame_rect:
            p.setPen(QPen(brush_color, 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(box().adjusted(0, 0, -1, -1));
            break;
        case CanvasOp::ellipse: p.drawEllipse(box().adjusted(0, 0, -1, -1)); break;
        case CanvasOp::move_to: break;
        case CanvasOp::line_to: p.drawLine(pts[0].x, pts[0].y, pts[1].x, pts[1].y); break;
        case CanvasOp::polygon:
        case CanvasOp::polyline: {
            QPolygon poly;
            for (const Point& pt : pts) poly << QPoint(pt.x, pt.y);
            if (call.op == CanvasOp::polygon) p.drawPolygon(poly);
            else p.drawPolyline(poly);
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

Qt::Alignment to_alignment(Alignment a) {
    switch (a) {
        case Alignment::left: return Qt::AlignLeft;
        case Alignment::right: return Qt::AlignRight;
        case Alignment::center: return Qt::AlignHCenter;
    }
    return Qt::AlignLeft;
}

std::vector<std::string> strings_of(const StringList& list) { return list.strings(); }

// The pictures of the glyphs the forms name, as the style draws the same thing; an unknown
// name has none.
QIcon glyph_icon(const std::string& glyph, QStyle* style) {
    if (glyph == "kwbm_newfolder16_8bpp" || glyph == "KwFrmFolderBrowseDlg.CreateNewFolderBtn")
        return style->standardIcon(QStyle::SP_FileDialogNewFolder);
    if (glyph == "kwbm_delete16_8bpp" || glyph == "KwFrmFolderBrowseDlg.DeleteFolderBtn")
        return style->standardIcon(QStyle::SP_TrashIcon);
    return {};
}

QIcon bit_button_icon(BitBtnKind kind, QStyle* style) {
    switch (kind) {
        case BitBtnKind::ok:
        case BitBtnKind::yes: return style->standardIcon(QStyle::SP_DialogOkButton);
        case BitBtnKind::cancel:
        case BitBtnKind::no:
        case BitBtnKind::abort: return style->standardIcon(QStyle::SP_DialogCancelButton);
        case BitBtnKind::help: return style->standardIcon(QStyle::SP_DialogHelpButton);
        case BitBtnKind::close: return style->standardIcon(QStyle::SP_DialogCloseButton);
        case BitBtnKind::retry: return style->standardIcon(QStyle::SP_BrowserReload);
        default: return {};
    }
}

void tree_signature(const std::vector<std::unique_ptr<TreeNode>>& nodes, std::string& out) {
    for (const auto& n : nodes) {
        out += n->Text;
        out += n->Expanded ? "\x01+" : "\x01-";
        out += std::to_string(reinterpret_cast<std::uintptr_t>(n.get()));
        out += '(';
        tree_signature(n->children(), out);
        out += ')';
    }
}

void add_tree_items(QTreeWidget* w, QTreeWidgetItem* parent, const std::vector<std::unique_ptr<TreeNode>>& nodes) {
    for (const auto& n : nodes) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(w);
        item->setText(0, to_qstring(n->Text));
        item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(n.get())));
        if (n->HasChildren && n->children().empty())
            item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        add_tree_items(w, item, n->children());
        item->setExpanded(n->Expanded);
    }
}

TreeNode* node_of(QTreeWidgetItem* item) {
    return item ? reinterpret_cast<TreeNode*>(item->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}

QTreeWidgetItem* item_of(QTreeWidget* w, const TreeNode* node) {
    if (!node) return nullptr;
    for (QTreeWidgetItemIterator it(w); *it; ++it)
        if (node_of(*it) == node) return *it;
    return nullptr;
}

}  // namespace

// ---- making widgets -----------------------------------------------------------------------

QWidget* Impl::make(Control& control, QWidget* parent) {
    Impl& impl = *this;
    QWidget* w = nullptr;
    if (dynamic_cast<Label*>(&control)) {
        auto* label = new QLabel(parent);
        label->setTextFormat(Qt::PlainText);
        w = label;
    } else if (dynamic_cast<Edit*>(&control)) {
        auto* edit = new QLineEdit(parent);
        QObject::connect(edit, &QLineEdit::textEdited, edit, [&impl, edit](const QString& text) {
            impl.person<Edit>(edit, [&](Edit& e) { e.type_text(from_qstring(text)); });
        });
        w = edit;
    } else if (dynamic_cast<Memo*>(&control)) {
        auto* memo = new QPlainTextEdit(parent);
        QObject::connect(memo, &QPlainTextEdit::textChanged, memo, [&impl, memo] {
            impl.person<Memo>(memo, [&](Memo& m) { m.type_text(from_qstring(memo->toPlainText())); });
        });
        w = memo;
    } else if (dynamic_cast<SpeedButton*>(&control)) {
        auto* button = new QToolButton(parent);
        QObject::connect(button, &QToolButton::clicked, button,
                         [&impl, button] { impl.person<Control>(button, [](Control& c) { c.click(); }); });
        w = button;
    } else if (dynamic_cast<Button*>(&control)) {
        auto* button = new QPushButton(parent);
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, button,
                         [&impl, button] { impl.person<Control>(button, [](Control& c) { c.click(); }); });
        w = button;
    } else if (dynamic_cast<CheckBox*>(&control)) {
        auto* box = new QCheckBox(parent);
        QObject::connect(box, &QCheckBox::clicked, box,
                         [&impl, box] { impl.person<Control>(box, [](Control& c) { c.click(); }); });
        w = box;
    } else if (dynamic_cast<RadioButton*>(&control)) {
        auto* radio = new QRadioButton(parent);
        radio->setAutoExclusive(false);  // the model unchecks the siblings
        QObject::connect(radio, &QRadioButton::clicked, radio,
                         [&impl, radio] { impl.person<Control>(radio, [](Control& c) { c.click(); }); });
        w = radio;
    } else if (dynamic_cast<RadioGroup*>(&control) || dynamic_cast<GroupBox*>(&control)) {
        w = new QGroupBox(parent);
    } else if (dynamic_cast<Panel*>(&control)) {
        w = new PanelWidget(parent);
    } else if (dynamic_cast<ScrollBox*>(&control)) {
        auto* area = new QScrollArea(parent);
        auto* inner = new QWidget;
        area->setWidget(inner);
        area->setWidgetResizable(false);
        const auto follow = [&impl, area](bool vertical) {
            return [&impl, area, vertical](int value) {
                impl.person<ScrollBox>(area, [&](ScrollBox& s) {
                    const LayoutScale sc = layout_scale(s.form() ? s.form()->Font : Font{});
                    if (vertical) s.VertScrollPosition = static_cast<int>(std::lround(value / sc.y));
                    else s.HorzScrollPosition = static_cast<int>(std::lround(value / sc.x));
                });
            };
        };
        QObject::connect(area->verticalScrollBar(), &QScrollBar::valueChanged, area, follow(true));
        QObject::connect(area->horizontalScrollBar(), &QScrollBar::valueChanged, area, follow(false));
        w = area;
    } else if (dynamic_cast<Bevel*>(&control)) {
        w = new BevelWidget(parent);
        w->setAttribute(Qt::WA_TransparentForMouseEvents);
    } else if (dynamic_cast<ComboBox*>(&control)) {
        auto* combo = new ComboWidget(impl, parent);
        QObject::connect(combo, &QComboBox::activated, combo, [&impl, combo](int index) {
            impl.person<ComboBox>(combo, [&](ComboBox& c) { c.select(index); });
        });
        w = combo;
    } else if (dynamic_cast<ListBox*>(&control)) {
        auto* list = new QListWidget(parent);
        QObject::connect(list, &QListWidget::currentRowChanged, list, [&impl, list](int row) {
            impl.person<ListBox>(list, [&](ListBox& l) { l.select(row); });
        });
        w = list;
    } else if (auto* bar = dynamic_cast<StatusBar*>(&control)) {
        auto* status = new StatusBarWidget(parent);
        status->bar = bar;
        w = status;
    } else if (dynamic_cast<ProgressBar*>(&control)) {
        auto* progress = new QProgressBar(parent);
        progress->setTextVisible(false);
        w = progress;
    } else if (dynamic_cast<TreeView*>(&control)) {
        auto* tree = new QTreeWidget(parent);
        tree->setHeaderHidden(true);
        QObject::connect(tree, &QTreeWidget::itemClicked, tree, [&impl, tree](QTreeWidgetItem* item, int) {
            impl.person<TreeView>(tree, [&](TreeView& t) { t.select(node_of(item)); });
        });
        QObject::connect(tree, &QTreeWidget::itemExpanded, tree, [&impl, tree](QTreeWidgetItem* item) {
            impl.person<TreeView>(tree, [&](TreeView& t) { t.expand(node_of(item)); });
        });
        QObject::connect(tree, &QTreeWidget::itemCollapsed, tree, [&impl, tree](QTreeWidgetItem* item) {
            impl.person<TreeView>(tree, [&](TreeView& t) { t.collapse(node_of(item)); });
        });
        w = tree;
    } else if (dynamic_cast<ListView*>(&control)) {
        auto* list = new QTreeWidget(parent);
        list->setRootIsDecorated(false);
        QObject::connect(list, &QTreeWidget::itemClicked, list, [&impl, list](QTreeWidgetItem* item, int) {
            impl.person<ListView>(list, [&](ListView& l) { l.select(list->indexOfTopLevelItem(item)); });
        });
        w = list;
    } else {
        // A control that draws itself (drawing_canvas: a paint box, a drawn frame), or one of a
        // kind the backend does not know: its canvas is replayed, if it has one, and the mouse
        // reaches it as a person's (a splitter's bar is dragged so).
        auto* canvas = new CanvasWidget(impl, parent);
        canvas->drawn = &control;
        w = canvas;
    }
    w->setObjectName(to_qstring(control.Name));
    return w;
}

// ---- bringing widgets up to date ----------------------------------------------------------

void Impl::update(Control& control, Bound& b) {
    QWidget* w = b.widget;
    const Form* form = control.form();
    const Font form_font = form ? form->Font : Font{};
    const LayoutScale& sc = scale;
    QRect geometry = map_rect(sc, control.Left, control.Top, std::max(control.Width, 0), std::max(control.Height, 0));
    QFont font = to_qfont(form_font);

    if (auto* label = dynamic_cast<Label*>(&control)) {
        auto* q = static_cast<QLabel*>(w);
        font = to_qfont(label->Font == Font{} ? form_font : label->Font);
        const QString text = to_qstring(strip_accelerator(label->Caption));
        if (q->text() != text) q->setText(text);
        q->setAlignment(to_alignment(label->Alignment) | Qt::AlignTop);
        q->setWordWrap(label->WordWrap);
        QPalette pal = q->palette();
        pal.setColor(QPalette::WindowText, to_qcolor(label->Font.Color, pal));
        q->setPalette(pal);
        q->setFont(font);
        if (label->AutoSize) {
            const QFontMetrics fm(font);
            const int wrap_width = std::max(geometry.width(), 1);
            const QRect need = fm.boundingRect(QRect(0, 0, label->WordWrap ? wrap_width : 100000, 100000),
                                               (label->WordWrap ? Qt::TextWordWrap : 0) | Qt::AlignLeft, text);
            geometry.setSize(QSize(label->WordWrap ? wrap_width : need.width(), need.height()));
        }
    } else if (auto* edit = dynamic_cast<Edit*>(&control)) {
        auto* q = static_cast<QLineEdit*>(w);
        const QString text = to_qstring(edit->Text);
        if (q->text() != text) q->setText(text);
        q->setReadOnly(edit->ReadOnly);
        q->setMaxLength(edit->MaxLength > 0 ? edit->MaxLength : 32767);
    } else if (auto* memo = dynamic_cast<Memo*>(&control)) {
        auto* q = static_cast<QPlainTextEdit*>(w);
        const QString text = to_qstring(memo->text());
        if (q->toPlainText() != text) q->setPlainText(text);
        q->setReadOnly(memo->ReadOnly);
        q->setLineWrapMode(memo->WordWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    } else if (auto* speed = dynamic_cast<SpeedButton*>(&control)) {
        auto* q = static_cast<QToolButton*>(w);
        q->setText(to_qstring(speed->Caption));
        q->setAutoRaise(speed->Flat);
        const QIcon icon = glyph_icon(speed->Glyph, q->style());
        q->setIcon(icon);
        q->setToolButtonStyle(icon.isNull() || speed->Caption.empty() ? (icon.isNull() ? Qt::ToolButtonTextOnly
                                                                                        : Qt::ToolButtonIconOnly)
                                                                      : Qt::ToolButtonTextBesideIcon);
    } else if (auto* button = dynamic_cast<Button*>(&control)) {
        auto* q = static_cast<QPushButton*>(w);
        const QString text = to_qstring(button->Caption);
        if (q->text() != text) q->setText(text);
        q->setDefault(button->Default);
        if (auto* bit = dynamic_cast<BitBtn*>(&control)) q->setIcon(bit_button_icon(bit->Kind, q->style()));
    } else if (auto* check = dynamic_cast<CheckBox*>(&control)) {
        auto* q = static_cast<QCheckBox*>(w);
        q->setText(to_qstring(check->Caption));
        q->setChecked(check->Checked);
    } else if (auto* radio = dynamic_cast<RadioButton*>(&control)) {
        auto* q = static_cast<QRadioButton*>(w);
        q->setText(to_qstring(radio->Caption));
        q->setChecked(radio->Checked);
    } else if (auto* group = dynamic_cast<RadioGroup*>(&control)) {
        auto* q = static_cast<QGroupBox*>(w);
        q->setTitle(to_qstring(group->Caption));
        const auto items = strings_of(group->Items);
        if (items != b.items) {
            for (QRadioButton* r : q->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) delete r;
            const int columns = std::max(group->Columns, 1);
            const int count = static_cast<int>(items.size());
            const int rows = std::max((count + columns - 1) / columns, 1);
            const int column_width = (geometry.width() - sc.map_x(16)) / columns;
            const int row_height = std::max((geometry.height() - sc.map_y(20)) / rows, 1);
            for (int i = 0; i < count; ++i) {
                auto* r = new QRadioButton(to_qstring(strip_accelerator(items[static_cast<std::size_t>(i)])), q);
                r->setAutoExclusive(false);
                r->setGeometry(sc.map_x(8) + (i / rows) * column_width, sc.map_y(16) + (i % rows) * row_height,
                               column_width, row_height);
                r->setFont(font);
                r->show();
                QObject::connect(r, &QRadioButton::clicked, q, [this, q, i] {
                    person<RadioGroup>(q, [&](RadioGroup& g) { g.select(i); });
                });
            }
            b.items = items;
        }
        int i = 0;
        for (QRadioButton* r : q->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly))
            r->setChecked(i++ == group->ItemIndex);
    } else if (auto* box = dynamic_cast<GroupBox*>(&control)) {
        static_cast<QGroupBox*>(w)->setTitle(to_qstring(box->Caption));
    } else if (auto* panel = dynamic_cast<Panel*>(&control)) {
        auto* q = static_cast<PanelWidget*>(w);
        q->caption = to_qstring(panel->Caption);
        q->alignment = to_alignment(panel->Alignment);
        q->setFrameShape(panel->BevelOuter == BevelStyle::none ? QFrame::NoFrame : QFrame::Panel);
        q->setFrameShadow(panel->BevelOuter == BevelStyle::lowered ? QFrame::Sunken : QFrame::Raised);
        q->setAutoFillBackground(panel->Color != clBtnFace);
        QPalette pal = q->palette();
        pal.setColor(QPalette::Window, to_qcolor(panel->Color, pal));
        q->setPalette(pal);
        q->update();
    } else if (auto* scroll = dynamic_cast<ScrollBox*>(&control)) {
        auto* q = static_cast<QScrollArea*>(w);
        q->setFrameShape(scroll->BorderStyle == forms::BorderStyle::single ? QFrame::StyledPanel : QFrame::NoFrame);
        QRect extent;
        for (Control* child : control.children())
            if (child->Visible) extent |= map_rect(sc, child->Left, child->Top, child->Width, child->Height);
        q->widget()->resize(std::max(extent.right() + 1, 1), std::max(extent.bottom() + 1, 1));
        q->horizontalScrollBar()->setValue(sc.map_x(scroll->HorzScrollPosition));
        q->verticalScrollBar()->setValue(sc.map_y(scroll->VertScrollPosition));
    } else if (auto* bevel = dynamic_cast<Bevel*>(&control)) {
        auto* q = static_cast<BevelWidget*>(w);
        q->shape = bevel->Shape;
        q->bevel = bevel->Style;
        q->update();
    } else if (auto* combo = dynamic_cast<ComboBox*>(&control)) {
        auto* q = static_cast<QComboBox*>(w);
        const bool editable = combo->Style != ComboStyle::drop_down_list;
        if (q->isEditable() != editable) q->setEditable(editable);
        if (editable && q->lineEdit() && !q->lineEdit()->property("zor_connected").toBool()) {
            QLineEdit* line = q->lineEdit();
            line->setProperty("zor_connected", true);
            QObject::connect(line, &QLineEdit::textEdited, q, [this, q](const QString& text) {
                person<ComboBox>(q, [&](ComboBox& c) { c.type_text(from_qstring(text)); });
            });
        }
        const auto items = strings_of(combo->Items);
        if (items != b.items) {
            q->clear();
            for (const std::string& item : items) q->addItem(to_qstring(item));
            b.items = items;
        }
        q->setMaxVisibleItems(std::max(combo->DropDownCount, 1));
        q->setCurrentIndex(combo->ItemIndex);
        if (editable && q->lineEdit()) {
            const QString text = to_qstring(combo->text());
            if (q->lineEdit()->text() != text) q->lineEdit()->setText(text);
        }
    } else if (auto* list = dynamic_cast<ListBox*>(&control)) {
        auto* q = static_cast<QListWidget*>(w);
        const auto items = strings_of(list->Items);
        if (items != b.items) {
            q->clear();
            for (const std::string& item : items) q->addItem(to_qstring(item));
            b.items = items;
        }
        q->setSelectionMode(list->MultiSelect ? QAbstractItemView::MultiSelection : QAbstractItemView::SingleSelection);
        q->setCurrentRow(list->ItemIndex);
        if (list->MultiSelect) {
            for (int i = 0; i < q->count(); ++i) q->item(i)->setSelected(list->selected(i));
        }
    } else if (dynamic_cast<StatusBar*>(&control)) {
        w->update();
    } else if (auto* progress = dynamic_cast<ProgressBar*>(&control)) {
        auto* q = static_cast<QProgressBar*>(w);
        q->setRange(progress->Min, std::max(progress->Max, progress->Min));
        q->setValue(std::clamp(progress->Position, progress->Min, std::max(progress->Max, progress->Min)));
    } else if (auto* tree = dynamic_cast<TreeView*>(&control)) {
        auto* q = static_cast<QTreeWidget*>(w);
        std::string signature;
        tree_signature(tree->roots(), signature);
        if (signature != b.signature) {
            q->clear();
            add_tree_items(q, nullptr, tree->roots());
            b.signature = signature;
        }
        q->setRootIsDecorated(tree->ShowRoot);
        q->setCurrentItem(item_of(q, tree->Selected));
    } else if (auto* view = dynamic_cast<ListView*>(&control)) {
        auto* q = static_cast<QTreeWidget*>(w);
        const bool report = view->ViewStyle == ViewStyle::report && !view->Columns.empty();
        const int columns = report ? static_cast<int>(view->Columns.size()) : 1;
        // The texts as the list shows them (a list may compute them only now).
        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> signature;
        for (const ListColumn& c : view->Columns) signature.push_back("\x02" + c.Caption + std::to_string(c.Width));
        for (int i = 0; i < static_cast<int>(view->Items.size()); ++i) {
            std::vector<std::string> texts;
            std::string row;
            for (int c = 0; c < columns; ++c) {
                texts.push_back(view->shown_text(i, c));
                row += "\x01" + texts.back();
            }
            rows.push_back(std::move(texts));
            signature.push_back(row);
        }
        if (signature != b.items) {
            q->clear();
            q->setHeaderHidden(!report);
            q->setColumnCount(columns);
            if (report) {
                QStringList headers;
                for (const ListColumn& c : view->Columns) headers << to_qstring(c.Caption);
                q->setHeaderLabels(headers);
                for (std::size_t i = 0; i < view->Columns.size(); ++i)
                    q->setColumnWidth(static_cast<int>(i), sc.map_x(view->Columns[i].Width));
            }
            for (const std::vector<std::string>& texts : rows) {
                auto* row = new QTreeWidgetItem(q);
                for (int c = 0; c < columns; ++c) row->setText(c, to_qstring(texts[static_cast<std::size_t>(c)]));
            }
            b.items = signature;
        }
        q->setSelectionMode(view->MultiSelect ? QAbstractItemView::MultiSelection : QAbstractItemView::SingleSelection);
        for (int i = 0; i < q->topLevelItemCount(); ++i)
            q->topLevelItem(i)->setSelected(view->Items[static_cast<std::size_t>(i)].Selected);
    } else if (auto* canvas = dynamic_cast<CanvasWidget*>(w)) {
        canvas->scale = sc;
        w->update();
    }

    if (!dynamic_cast<Label*>(&control) && !dynamic_cast<RadioGroup*>(&control)) w->setFont(font);
    if (w->geometry() != geometry) w->setGeometry(geometry);
    w->setEnabled(control.Enabled);
    w->setToolTip(control.ShowHint ? to_qstring(control.Hint) : QString());
    w->setVisible(control.Visible);
}

void Impl::sync_tree(Control& control, QWidget* parent) {
    auto it = bound.find(&control);
    if (it == bound.end()) {
        QWidget* w = make(control, parent);
        Bound b;
        b.widget = w;
        b.container = w;
        if (auto* area = dynamic_cast<QScrollArea*>(w)) b.container = area->widget();
        it = bound.emplace(&control, std::move(b)).first;
        controls[w] = &control;
    }
    QWidget* container = it->second.container;
    for (Control* child : control.children()) sync_tree(*child, container);
    // After the children: a scroll box sizes its inside to them.
    update(control, bound.at(&control));
}

void Impl::forget(const Control& control) {
    auto it = bound.find(&control);
    if (it == bound.end()) return;
    QWidget* w = it->second.widget;
    controls.erase(w);
    bound.erase(it);
    w->hide();
    // A handler of this very widget may be running (a close box that freed its form).
    w->deleteLater();
}

// ---- QtBackend ----------------------------------------------------------------------------

QtBackend::QtBackend() : impl_(std::make_unique<Impl>()) {
    Impl* impl = impl_.get();
    impl_->focus_connection = QObject::connect(qApp, &QApplication::focusChanged, [impl](QWidget*, QWidget* now) {
        if (impl->syncing || !now) return;
        for (QWidget* w = now; w; w = w->parentWidget()) {
            auto it = impl->controls.find(w);
            if (it == impl->controls.end()) continue;
            Control* control = it->second;
            Form* form = control->form();
            if (!form || dynamic_cast<Form*>(control) || form->ActiveControl == control || !control->CanFocus()) return;
            impl->person<Control>(w, [form](Control& c) { form->set_focus(&c); });
            return;
        }
    });
}

QtBackend::~QtBackend() {
    QObject::disconnect(impl_->focus_connection);
    std::vector<QWidget*> tops;
    for (auto& [control, b] : impl_->bound)
        if (b.widget->isWindow()) tops.push_back(b.widget);
    impl_->bound.clear();
    impl_->controls.clear();
    for (QWidget* w : tops) delete w;
}

void QtBackend::draw(const Canvas& canvas, const CanvasCall&) {
    if (impl_->painting || !canvas.control()) return;
    if (QWidget* w = widget_of(*canvas.control())) w->update();
}

TextExtent QtBackend::text_extent(const Font& font, std::string_view text) const {
    const QFontMetrics fm(to_qfont(font));
    return {fm.horizontalAdvance(to_qstring(text)), fm.height()};
}

void QtBackend::form_changed(const Form&) {
    // Shown or hidden at the next sync: a form that hides itself in OnActivate (the invisible
    // wait of a synchronous call) then never flashes on the screen.
}

void QtBackend::control_destroyed(const Control& control) { impl_->forget(control); }

QMenu* QtBackend::make_menu(PopupMenu& menu, QWidget* parent) {
    auto* q = new QMenu(parent);
    Impl& impl = *impl_;
    for (MenuItem* item : menu.visible_items()) {
        if (item->Caption == "-") {
            q->addSeparator();
            continue;
        }
        QAction* action = q->addAction(to_qstring(item->Caption));
        action->setEnabled(item->Enabled);
        action->setCheckable(item->Checked);
        action->setChecked(item->Checked);
        // The item is looked up again when chosen: the menu's owner may have gone meanwhile.
        Control* on = menu.PopupComponent;
        QObject::connect(action, &QAction::triggered, q, [&impl, on, item] {
            auto it = impl.bound.find(on);
            if (!on || it == impl.bound.end()) return;
            impl.person<Control>(it->second.widget, [item](Control&) { item->click(); });
        });
    }
    return q;
}

void QtBackend::menu_opened(PopupMenu& menu) {
    Control* on = menu.PopupComponent;
    QWidget* w = on ? widget_of(*on) : nullptr;
    if (!w || !w->isVisible() || menu.visible_items().empty()) return;
    QMenu* q = make_menu(menu, w);
    q->setAttribute(Qt::WA_DeleteOnClose);
    q->popup(QCursor::pos());
}

QWidget* QtBackend::widget_of(const Control& control) const {
    auto it = impl_->bound.find(&control);
    return it == impl_->bound.end() ? nullptr : it->second.widget;
}

Control* QtBackend::control_of(const QWidget* widget) const {
    auto it = impl_->controls.find(widget);
    return it == impl_->controls.end() ? nullptr : it->second;
}

void QtBackend::sync() {
    // A copy: a sync may not free forms, but Qt may deliver events that do.
    const std::vector<Form*> forms = screen().forms();
    for (Form* form : forms) {
        if (!form->Visible && !impl_->bound.count(form)) continue;
        sync_form(*form, true);
    }
}

QWidget* QtBackend::sync_form(Form& form, bool show) {
    Impl& impl = *impl_;
    ++impl.syncing;
    struct Done {
        Impl& impl;
        ~Done() { --impl.syncing; }
    } done{impl};

    auto it = impl.bound.find(&form);
    if (it == impl.bound.end()) {
        auto* w = new FormWidget(impl, form);
        w->setObjectName(to_qstring(form.class_name()));
        Impl::Bound b;
        b.widget = w;
        b.container = w;
        it = impl.bound.emplace(&form, std::move(b)).first;
        impl.controls[w] = &form;
    }
    QWidget* w = it->second.widget;
    impl.scale = layout_scale(form.Font);

    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    if (form.BorderStyle == FormBorderStyle::none) {
        flags |= Qt::FramelessWindowHint;
    } else {
        flags |= Qt::WindowTitleHint;
        if (form.BorderIcons.system_menu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (form.BorderIcons.system_menu && form.BorderIcons.minimize) flags |= Qt::WindowMinimizeButtonHint;
        if (form.BorderIcons.system_menu && form.BorderIcons.maximize && form.BorderStyle == FormBorderStyle::sizeable)
            flags |= Qt::WindowMaximizeButtonHint;
    }
    if (form.BorderStyle == FormBorderStyle::tool_window || form.BorderStyle == FormBorderStyle::size_tool_window)
        flags |= Qt::Tool;
    if (form.topmost()) flags |= Qt::WindowStaysOnTopHint;
    const Qt::WindowModality modality = form.modal() ? Qt::ApplicationModal : Qt::NonModal;
    if (w->windowFlags() != flags || w->windowModality() != modality) {
        // Both take effect at the next show.
        const bool was_visible = w->isVisible();
        if (was_visible) w->hide();
        w->setWindowFlags(flags);
        w->setWindowModality(modality);
    }
    const QString title = to_qstring(form.Caption);
    if (w->windowTitle() != title) w->setWindowTitle(title);
    w->setFont(to_qfont(form.Font));
    w->setAutoFillBackground(true);
    QPalette pal = QApplication::palette();
    pal.setColor(QPalette::Window, to_qcolor(form.Color, pal));
    w->setPalette(pal);

    const QSize design = client_size(form);
    const QSize size(impl.scale.map_x(design.width()), impl.scale.map_y(design.height()));
    const bool sizeable = form.BorderStyle == FormBorderStyle::sizeable ||
                          form.BorderStyle == FormBorderStyle::size_tool_window;
    if (sizeable) {
        w->setMinimumSize(0, 0);
        w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (!it->second.shown_once || !w->isVisible()) w->resize(size);
    } else if (w->size() != size || w->minimumSize() != size) {
        w->setFixedSize(size);
    }

    for (Control* child : form.children()) impl.sync_tree(*child, w);

    if (!show) return w;
    if (!form.Visible) {
        if (w->isVisible()) w->hide();
        return w;
    }
    Impl::Bound& b = impl.bound.at(&form);
    if (!w->isVisible()) {
        if (!b.shown_once) {
            QScreen* screen = QGuiApplication::primaryScreen();
            const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 1024);
            QPoint at(impl.scale.map_x(form.Left), impl.scale.map_y(form.Top));
            if (form.Position == FormPosition::screen_center || form.Position == FormPosition::desktop_center ||
                form.Position == FormPosition::main_form_center) {
                at = available.center() - QPoint(size.width() / 2, size.height() / 2);
            }
            if (form.Position != FormPosition::default_position) w->move(at);
        }
        b.shown_once = true;
        w->show();
        w->raise();
        w->activateWindow();
    }
    if (form.ActiveControl != b.focused) {
        b.focused = form.ActiveControl;
        if (QWidget* focus = form.ActiveControl ? widget_of(*form.ActiveControl) : nullptr) focus->setFocus();
    }
    return w;
}

}  // namespace platform::forms_qt
