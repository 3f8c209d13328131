// The Qt drawing backend: every form and control as a QWidget.
//
// Model -> widgets: controls keep their state in plain members that code assigns freely, so
// the backend does not wait for notices: sync() brings the widgets of every visible form (and
// of every form that has widgets already) in line with the members. The Qt waiter calls it
// before each sleep of the loop, so whatever the handlers changed is on the screen before the
// program waits again. Widgets are made on first need; a hidden form that was never shown has
// none.
//
// Widgets -> model: a person's input calls the controls' own "person" methods (click,
// type_text, select, check, expand, set_focus, close_by_caption, press_enter/press_escape), so
// the events fire exactly as in the scripted tests. A FormError from such a call (the control
// went away or was disabled meanwhile) is written to standard error and dropped: a person
// could not have done it.
//
// Controls that draw themselves (paint boxes, drawn frames: drawing_canvas()): a paint event
// clears the canvas record, runs the control's Repaint and replays the recorded calls with
// QPainter (the invert pen mode as a raster operation, system colours from the palette). Text
// is measured with the real font metrics of the font the control would draw with.
//
// Pop-up menus: opened on a control whose window is on the screen, the menu shows at the point
// it was opened on, placed from where the control is on the screen now (screen_position.h);
// the person's choice clicks the item. A person's context-menu request on a control that has a
// pop-up menu opens that menu in place of the toolkit's own. A menu a control tracks itself (a
// shell context menu) shows at the mouse over the focused control, else over its current item,
// and waits.
//
// Freeing: a widget or menu whose handler may still be on the stack is freed only by the
// outermost loop (deferred_deletion.h).
//
// Layout: the forms give positions and sizes in pixels for a dialog font whose average
// character is 6 pixels wide and 13 high (the dialog base units of the 8-point dialog font).
// The real font is wider, so every position and size is scaled by the real font's average
// character width over 6 (and its height over 13), the way dialog units scale on a screen with
// other fonts: the layout stays as designed and the texts fit. Paint boxes draw in the form's
// own pixels; their painter is scaled the same way.
//
// Fonts: every face maps to the pinned DejaVu fonts (sans, or mono for fixed-pitch names), at
// the pixel height the form font asks for, so a look is the same on every machine that has
// fonts-dejavu-core.
//
// Main thread only; needs a QApplication (QtSession makes one).
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <memory>
#include <string>
#include <string_view>

#include "platform/forms/backend.h"
#include "platform/forms/common_controls.h"
#include "platform/forms/form.h"
#include "platform/forms/menus.h"

class QImage;
class QMenu;
class QWidget;
class QPalette;

namespace platform::forms_qt {

namespace forms = platform::forms;

// Windows-1252 <-> the display's Unicode.
QString to_qstring(std::string_view cp1252);
std::string from_qstring(const QString& text);
// "&Continue" -> "Continue" ("&&" is one "&").
std::string strip_accelerator(std::string_view caption);
QFont to_qfont(const forms::Font& font);
// A colour of the forms (0x00BBGGRR or a system colour) on the palette.
QColor to_qcolor(forms::Color color, const QPalette& palette);
// An image of an image list (pixels 0x00BBGGRR).
QImage to_qimage(const forms::Image& image);

// The client size of a form: ClientWidth/ClientHeight when set, else its outer size less the
// frame and caption the forms were designed with.
QSize client_size(const forms::Form& form);

// The scale from the forms' pixels to the screen's for a form font (see Layout above).
struct LayoutScale {
    double x = 1;
    double y = 1;
    int map_x(int v) const;
    int map_y(int v) const;
};
LayoutScale layout_scale(const forms::Font& font);

class QtBackend final : public forms::Backend {
  public:
    QtBackend();
    ~QtBackend() override;
    QtBackend(const QtBackend&) = delete;
    QtBackend& operator=(const QtBackend&) = delete;

    void draw(const forms::Canvas& canvas, const forms::CanvasCall& call) override;
    forms::TextExtent text_extent(const forms::Font& font, std::string_view text) const override;
    void form_changed(const forms::Form& form) override;
    void control_destroyed(const forms::Control& control) override;
    // Shows the menu at the mouse, when the control it was opened on is on the screen.
    void menu_opened(forms::PopupMenu& menu) override;
    // Runs the menu until the person chose (the item's command) or dismissed it (0).
    int track_menu(forms::TrackedMenu& menu) override;

    // The menu as Qt shows it: its visible items in order ("-" a separator), disabled and
    // checked as the items say; choosing one clicks it as a person does. The caller owns it.
    QMenu* make_menu(forms::PopupMenu& menu, QWidget* parent = nullptr);

    // Brings the widgets of every form that is visible or has widgets in line with the model,
    // showing and hiding the windows as the forms say.
    void sync();
    // Builds or updates the widgets of one form; with `show` false the window is left as it is
    // (a snapshot renders a form that nobody shows). Returns the form's window.
    QWidget* sync_form(forms::Form& form, bool show = true);

    QWidget* widget_of(const forms::Control& control) const;
    forms::Control* control_of(const QWidget* widget) const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::forms_qt
