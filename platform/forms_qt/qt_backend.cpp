#include "platform/forms_qt/qt_backend.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/forms/controls.h"
#include "platform/forms_qt/backend_impl.h"
#include "platform/forms_qt/drag_drop.h"
#include "platform/forms_qt/item_keys.h"
#include "platform/forms_qt/keys.h"
#include "platform/forms_qt/screen_position.h"
#include "platform/forms_qt/system_keys.h"
#include "platform/kernel/scope_exit.h"
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
            if (i + 1 < caption.size())
                ++i;
            else
                continue;
            if (caption[i] == '&') continue;
        }
        out.push_back(caption[i]);
    }
    return out;
}

QFont to_qfont(const Font& font) {
    const bool fixed =
        font.Name.find("Courier") != std::string::npos || font.Name.find("Mono") != std::string::npos ||
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
            case 4:
                return palette.color(QPalette::Window);  // menu
            case 5:
                return palette.color(QPalette::Base);  // window
            case 6:
                return palette.color(QPalette::Shadow);  // window frame
            case 7:                                      // menu text
            case 8:
                return palette.color(QPalette::WindowText);  // window text
            case 13:
                return palette.color(QPalette::Highlight);  // highlight
            case 14:
                return palette.color(QPalette::HighlightedText);  // highlighted text
            case 15:
                return palette.color(QPalette::Window);  // button face
            case 16:
                return palette.color(QPalette::Dark);  // button shadow
            case 17:
                return palette.color(QPalette::Disabled, QPalette::Text);  // grey text
            case 18:
                return palette.color(QPalette::ButtonText);  // button text
            case 20:
                return palette.color(QPalette::Light);  // button highlight
            case 21:
                return palette.color(QPalette::Shadow);  // 3D dark shadow
            case 22:
                return palette.color(QPalette::Midlight);  // 3D light
            case 23:
                return palette.color(QPalette::ToolTipText);  // info text
            case 24:
                return palette.color(QPalette::ToolTipBase);  // info background
            default:
                return palette.color(QPalette::Window);
        }
    }
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

QImage to_qimage(const Image& image) {
    QImage out(std::max(image.width, 0), std::max(image.height, 0), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                                   static_cast<std::size_t>(x);
            const std::uint32_t c = at < image.pixels.size() ? image.pixels[at] : 0;
            out.setPixel(x, y,
                         qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                              static_cast<int>((c >> 16) & 0xFF)));
        }
    }
    return out;
}

QSize client_size(const Form& form) {
    const int w = form.ClientWidth > 0 ? form.ClientWidth : form.Width - design_frame_width;
    const int h = form.ClientHeight > 0 ? form.ClientHeight : form.Height - design_frame_height;
    return {std::max(w, 1), std::max(h, 1)};
}

int LayoutScale::map_x(int v) const {
    return static_cast<int>(std::lround(v * x));
}
int LayoutScale::map_y(int v) const {
    return static_cast<int>(std::lround(v * y));
}

LayoutScale layout_scale(const Font& font) {
    constexpr double design_average_width = 6;
    constexpr double design_height = 13;
    const QFontMetricsF fm(to_qfont(font));
    const double average =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52;
    return {std::max(1.0, average / design_average_width), std::max(1.0, fm.height() / design_height)};
}

QRect map_rect(const LayoutScale& s, int left, int top, int width, int height) {
    const int x1 = s.map_x(left);
    const int y1 = s.map_y(top);
    return {x1, y1, std::max(s.map_x(left + width) - x1, 0), std::max(s.map_y(top + height) - y1, 0)};
}

void complain(const char* what) {
    std::fprintf(stderr, "forms: a person's action was refused: %s\n", what);
}

Qt::Alignment to_alignment(Alignment a) {
    switch (a) {
        case Alignment::left:
            return Qt::AlignLeft;
        case Alignment::right:
            return Qt::AlignRight;
        case Alignment::center:
            return Qt::AlignHCenter;
    }
    return Qt::AlignLeft;
}

// ---- making widgets and bringing them up to date ------------------------------------------

QWidget* Impl::make(Control& control, QWidget* parent) {
    QWidget* w = adapters().of(control).make(*this, control, parent);
    w->setObjectName(to_qstring(control.Name));
    return w;
}

void Impl::update(Control& control, Bound& b) {
    QWidget* w = b.widget;
    const Form* form = control.form();
    Common common;
    common.geometry =
        map_rect(scale, control.Left, control.Top, std::max(control.Width, 0), std::max(control.Height, 0));
    common.font = to_qfont(form ? form->Font : Font{});
    adapters().of(control).update(*this, control, b, common);
    if (common.set_font) w->setFont(common.font);
    if (w->geometry() != common.geometry) w->setGeometry(common.geometry);
    w->setEnabled(control.Enabled);
    // A hint is "short|long": the tool tip shows the short part (the long one is for a status line).
    const std::string_view hint(control.Hint);
    w->setToolTip(control.ShowHint ? to_qstring(hint.substr(0, hint.find('|'))) : QString());
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
    delete_when_idle(w);
}

// ---- QtBackend ----------------------------------------------------------------------------

namespace {

// A key pressed on the focused widget reaches its control's key-down with the shift state
// first, as the control's window would get it; the widget then handles it as it does (an
// edit takes the character). Trees and lists deliver their keys themselves (item_keys.h). A
// system key never reaches the widget: it goes to menus and mnemonics (system_keys.h).
class KeyFilter : public QObject {
  public:
    explicit KeyFilter(Impl& impl) : impl_(impl) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || watched != QApplication::focusWidget()) return false;
        const auto& key = static_cast<QKeyEvent&>(*event);
        const bool system = is_system_key(key);
        for (auto* w = static_cast<QWidget*>(watched); w; w = w->parentWidget()) {
            if (!system && w->property(own_keys).toBool()) return false;
            if (!impl_.controls.count(w)) continue;
            const int code = virtual_key(key);
            const ShiftState shift = shift_state(key.modifiers());
            if (code != 0) impl_.person<Control>(w, [&](Control& c) { c.key_down(code, shift); });
            if (!system) return false;
            // Taken here, so that the widget never types it.
            take_system_key(*w, key);
            return true;
        }
        return false;
    }

  private:
    Impl& impl_;
};

// A person's request for a context menu (the right button, the menu key) on a control that
// has a pop-up menu opens that menu in place of the toolkit's own (an edit's Undo, Cut, Copy,
// Paste). Widgets that take the right button themselves (own_right_click) opened it already.
class ContextMenuFilter : public QObject {
  public:
    explicit ContextMenuFilter(Impl& impl) : impl_(impl) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ContextMenu || !watched->isWidgetType()) return false;
        auto* asked = static_cast<QWidget*>(watched);
        for (QWidget* w = asked; w; w = w->parentWidget()) {
            auto it = impl_.controls.find(w);
            if (it == impl_.controls.end()) continue;
            if (!it->second->PopupMenu) return false;
            if (w->property(own_right_click).toBool()) return true;
            const Form* form = it->second->form();
            const LayoutScale scale = layout_scale(form ? form->Font : Font{});
            const QPoint at = asked->mapTo(w, static_cast<QContextMenuEvent*>(event)->pos());
            const int x = static_cast<int>(at.x() / scale.x);
            const int y = static_cast<int>(at.y() / scale.y);
            impl_.person<Control>(w, [x, y](Control& c) {
                if (c.PopupMenu) c.PopupMenu->popup(&c, x, y);
            });
            return true;
        }
        return false;
    }

  private:
    Impl& impl_;
};

}  // namespace

QtBackend::QtBackend() : impl_(std::make_unique<Impl>(*this)) {
    impl_->key_filter = std::make_unique<KeyFilter>(*impl_);
    qApp->installEventFilter(impl_->key_filter.get());
    impl_->context_menu_filter = std::make_unique<ContextMenuFilter>(*impl_);
    qApp->installEventFilter(impl_->context_menu_filter.get());
    impl_->previous_drag_runner = platform::shell::set_drag_runner(qt_drag_runner());
    Impl* impl = impl_.get();
    impl_->focus_connection =
        QObject::connect(qApp, &QApplication::focusChanged, [impl](QWidget*, QWidget* now) {
            if (impl->syncing || !now) return;
            for (QWidget* w = now; w; w = w->parentWidget()) {
                auto it = impl->controls.find(w);
                if (it == impl->controls.end()) continue;
                Control* control = it->second;
                Form* form = control->form();
                if (!form || dynamic_cast<Form*>(control) || form->ActiveControl == control ||
                    !control->CanFocus())
                    return;
                impl->person<Control>(w, [form](Control& c) { form->set_focus(&c); });
                return;
            }
        });
}

QtBackend::~QtBackend() {
    platform::shell::set_drag_runner(std::move(impl_->previous_drag_runner));
    QObject::disconnect(impl_->focus_connection);
    qApp->removeEventFilter(impl_->key_filter.get());
    qApp->removeEventFilter(impl_->context_menu_filter.get());
    std::vector<QWidget*> tops;
    for (auto& [control, b] : impl_->bound)
        if (b.widget->isWindow()) tops.push_back(b.widget);
    impl_->bound.clear();
    impl_->controls.clear();
    delete_idle_objects();
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

void QtBackend::control_destroyed(const Control& control) {
    impl_->forget(control);
}

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
        // The menu and the item are looked up again when chosen: the menu, its owner or the
        // control it was opened on may have gone meanwhile.
        Control* on = menu.PopupComponent;
        const MenuHandle handle = menu.handle();
        const int index = item->MenuIndex();
        QObject::connect(action, &QAction::triggered, q, [&impl, on, handle, index] {
            auto it = impl.bound.find(on);
            if (!on || it == impl.bound.end()) return;
            impl.person<Control>(it->second.widget, [handle, index](Control&) {
                PopupMenu* chosen_from = find_menu(handle);
                if (chosen_from && index < chosen_from->count()) chosen_from->item(index)->click();
            });
        });
    }
    return q;
}

void QtBackend::menu_opened(PopupMenu& menu) {
    Control* on = menu.PopupComponent;
    QWidget* w = on ? widget_of(*on) : nullptr;
    if (!w || !w->isVisible() || menu.visible_items().empty()) return;
    QMenu* q = make_menu(menu, w);
    // Not deleted on close: the choice's handler runs after the menu closed, and may wait.
    QObject::connect(q, &QMenu::aboutToHide, q, [q] { delete_when_idle(q); });
    // At the point it was opened on, from where the control is on the screen now.
    const Form* form = on->form();
    const LayoutScale scale = layout_scale(form ? form->Font : Font{});
    q->popup(global_position(*w, {scale.map_x(menu.popup_point.x), scale.map_y(menu.popup_point.y)}));
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
    platform::scope_exit done{[&impl] { --impl.syncing; }};

    auto it = impl.bound.find(&form);
    if (it == impl.bound.end()) {
        QWidget* w = impl.make(form, nullptr);
        w->setObjectName(to_qstring(form.class_name()));
        Impl::Bound b;
        b.widget = w;
        b.container = w;
        it = impl.bound.emplace(&form, std::move(b)).first;
        impl.controls[w] = &form;
    }
    QWidget* w = it->second.widget;
    impl.scale = layout_scale(form.Font);
    update_form_window(impl, form, it->second);

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
            if (form.Position == FormPosition::screen_center ||
                form.Position == FormPosition::desktop_center ||
                form.Position == FormPosition::main_form_center) {
                at = available.center() - QPoint(w->width() / 2, w->height() / 2);
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
