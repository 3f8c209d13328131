// Forms and the controls that hold others: group boxes, panels, scroll boxes.
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStyle>
#include <cmath>

#include "platform/forms/tab_order.h"
#include "platform/forms_qt/backend_impl.h"

namespace platform::forms_qt {

using namespace platform::forms;

namespace {

// The window of a form.
// The smallest client size a person may give the form's window, on the screen.
QSize least_client(const LayoutScale& scale, const Form& form) {
    const Point least = form.min_track_size();
    return {least.x > 0 ? scale.map_x(std::max(least.x - design_frame_width, 1)) : 0,
            least.y > 0 ? scale.map_y(std::max(least.y - design_frame_height, 1)) : 0};
}

class FormWidget : public QWidget {
  public:
    FormWidget(Impl& impl, Form& form) : QWidget(nullptr), impl_(impl), form_(form) {}

  protected:
    // A person's resize (not ours) reaches the form, which lays itself out; a size below the
    // form's limits is refused, also where no window manager enforces them.
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        const bool sizeable = form_.BorderStyle == FormBorderStyle::sizeable ||
                              form_.BorderStyle == FormBorderStyle::size_tool_window;
        if (impl_.syncing || !isVisible() || !sizeable) return;
        const LayoutScale scale = layout_scale(form_.Font);
        const int width = static_cast<int>(std::lround(event->size().width() / scale.x)) + design_frame_width;
        const int height =
            static_cast<int>(std::lround(event->size().height() / scale.y)) + design_frame_height;
        impl_.person<Form>(this, [&](Form& f) { f.resize_by_person(width, height); });
        // The form's resize handler may have waited in a nested loop that freed the form.
        if (!impl_.controls.count(this)) return;
        const QSize least = least_client(scale, form_);
        const QSize kept = event->size().expandedTo(least);
        if (kept != event->size()) resize(kept);
    }
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
    // Tab and Shift+Tab move the focus in the form's own tab order. The widget is told it
    // was reached by Tab, so an edit selects its text for the person to type over.
    bool focusNextPrevChild(bool next) override {
        Control* reached = nullptr;
        impl_.person<Form>(this, [next, &reached](Form& f) { reached = press_tab(f, !next); });
        auto it = reached ? impl_.bound.find(reached) : impl_.bound.end();
        if (it != impl_.bound.end() && it->second.widget->isVisible()) {
            impl_.bound.at(&form_).focused = reached;
            it->second.widget->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        }
        return true;
    }
    void paintEvent(QPaintEvent*) override {
        auto* box = dynamic_cast<MessageForm*>(&form_);
        if (!box) return;
        QStyle::StandardPixmap icon;
        switch (box->type) {
            case DialogType::warning:
                icon = QStyle::SP_MessageBoxWarning;
                break;
            case DialogType::error:
                icon = QStyle::SP_MessageBoxCritical;
                break;
            case DialogType::information:
                icon = QStyle::SP_MessageBoxInformation;
                break;
            case DialogType::confirmation:
                icon = QStyle::SP_MessageBoxQuestion;
                break;
            default:
                return;
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
        painter.drawText(contentsRect().adjusted(2, 0, -2, 0), static_cast<int>(alignment | Qt::AlignVCenter),
                         caption);
    }
};

}  // namespace

void update_form_window(Impl& impl, Form& form, Impl::Bound& b) {
    QWidget* w = b.widget;
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    if (form.BorderStyle == FormBorderStyle::none) {
        flags |= Qt::FramelessWindowHint;
    } else {
        flags |= Qt::WindowTitleHint;
        if (form.BorderIcons.system_menu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (form.BorderIcons.system_menu && form.BorderIcons.minimize) flags |= Qt::WindowMinimizeButtonHint;
        if (form.BorderIcons.system_menu && form.BorderIcons.maximize &&
            form.BorderStyle == FormBorderStyle::sizeable)
            flags |= Qt::WindowMaximizeButtonHint;
    }
    if (form.BorderStyle == FormBorderStyle::tool_window ||
        form.BorderStyle == FormBorderStyle::size_tool_window)
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
        w->setMinimumSize(least_client(impl.scale, form));
        w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (!b.shown_once || !w->isVisible()) w->resize(size);
    } else if (w->size() != size || w->minimumSize() != size) {
        w->setFixedSize(size);
    }
}

void add_form_adapters(Adapters& a) {
    a.add<Form, Control>({[](Impl& impl, Control& control, QWidget*) -> QWidget* {
                              auto* w = new FormWidget(impl, static_cast<Form&>(control));
                              w->setObjectName(to_qstring(control.class_name()));
                              return w;
                          },
                          [](Impl& impl, Control& control, Impl::Bound& b, Common&) {
                              update_form_window(impl, static_cast<Form&>(control), b);
                          }});
    // The grip resizes the window it sits in, which reaches the form as a person's resize.
    a.add<SizeGrip, Control>(
        {[](Impl&, Control&, QWidget* parent) -> QWidget* { return new QSizeGrip(parent); },
         [](Impl&, Control&, Impl::Bound&, Common&) {}});
    a.add<GroupBox, Control>(
        {[](Impl&, Control&, QWidget* parent) -> QWidget* { return new QGroupBox(parent); },
         [](Impl&, Control& control, Impl::Bound& b, Common&) {
             static_cast<QGroupBox*>(b.widget)->setTitle(to_qstring(static_cast<GroupBox&>(control).Caption));
         },
         CaptionRoom::group_title});
    a.add<Panel, Control>(
        {[](Impl&, Control&, QWidget* parent) -> QWidget* { return new PanelWidget(parent); },
         [](Impl&, Control& control, Impl::Bound& b, Common&) {
             auto& panel = static_cast<Panel&>(control);
             auto* q = static_cast<PanelWidget*>(b.widget);
             q->caption = to_qstring(panel.Caption);
             q->alignment = to_alignment(panel.Alignment);
             q->setFrameShape(panel.BevelOuter == BevelStyle::none ? QFrame::NoFrame : QFrame::Panel);
             q->setFrameShadow(panel.BevelOuter == BevelStyle::lowered ? QFrame::Sunken : QFrame::Raised);
             q->setAutoFillBackground(panel.Color != clBtnFace);
             QPalette pal = q->palette();
             pal.setColor(QPalette::Window, to_qcolor(panel.Color, pal));
             q->setPalette(pal);
             q->update();
         }});
    a.add<ScrollBox, Control>(
        {[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
             auto* area = new QScrollArea(parent);
             auto* inner = new QWidget;
             area->setWidget(inner);
             area->setWidgetResizable(false);
             const auto follow = [&impl, area](bool vertical) {
                 return [&impl, area, vertical](int value) {
                     impl.person<ScrollBox>(area, [&](ScrollBox& s) {
                         const LayoutScale sc = layout_scale(s.form() ? s.form()->Font : Font{});
                         if (vertical)
                             s.VertScrollPosition = static_cast<int>(std::lround(value / sc.y));
                         else
                             s.HorzScrollPosition = static_cast<int>(std::lround(value / sc.x));
                     });
                 };
             };
             QObject::connect(area->verticalScrollBar(), &QScrollBar::valueChanged, area, follow(true));
             QObject::connect(area->horizontalScrollBar(), &QScrollBar::valueChanged, area, follow(false));
             return area;
         },
         [](Impl& impl, Control& control, Impl::Bound& b, Common&) {
             auto& scroll = static_cast<ScrollBox&>(control);
             auto* q = static_cast<QScrollArea*>(b.widget);
             const LayoutScale& sc = impl.scale;
             q->setFrameShape(scroll.BorderStyle == forms::BorderStyle::single ? QFrame::StyledPanel
                                                                               : QFrame::NoFrame);
             QRect extent;
             for (Control* child : control.children())
                 if (child->Visible)
                     extent |= map_rect(sc, child->Left, child->Top, child->Width, child->Height);
             q->widget()->resize(std::max(extent.right() + 1, 1), std::max(extent.bottom() + 1, 1));
             q->horizontalScrollBar()->setValue(sc.map_x(scroll.HorzScrollPosition));
             q->verticalScrollBar()->setValue(sc.map_y(scroll.VertScrollPosition));
         }});
}

}  // namespace platform::forms_qt
