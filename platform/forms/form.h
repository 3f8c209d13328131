// Forms: top-level (or embedded) windows that own and show controls.
//
// A form class builds its components in its constructor and wires its handlers there:
//
//     class Tnew_syr : public Form {
//     public:
//         Tnew_syr() : Form("Tnew_syr") {
//             Caption = "Syringe mismatch!";
//             warning_text = add<StaticText>("warning_text");
//             retry_button = add<Button>("retry_button");
//             retry_button->Caption = "&Continue";
//             retry_button->OnClick = [this](Component&) { result = true; Close(); };
//             OnActivate = [this](Component&) { FormActivate(); };
//         }
//         ...
//     };
//     auto form = make_form<Tnew_syr>();   // constructs, then fires OnCreate
//     ModalResult r = form->ShowModal();   // answered by the interaction provider
//
// Each form has a window of the window layer from construction on, of the class given to the
// constructor (the form's class name, "Twait_form"), so messages posted or broadcast to that
// class reach it, shown or not; on_message() gives a number its handler.
//
// Events and their order: OnCreate once after construction (make_form, create_form, or at the
// latest the first Show); Show: OnShow when it was hidden, then OnActivate; ShowModal: as Show,
// then the interaction provider's modal_form_shown from inside the modal loop; closing: OnCloseQuery
// (may refuse), OnClose (chooses the action), then hidden; OnDestroy once, when a FormPtr frees
// the form or Application frees it, while the whole form still exists. (A form deleted any
// other way gets no OnDestroy: its derived parts are gone by the time ~Form runs.)
//
// The interaction provider is asked about a modal form only when it is visible at that point:
// a form that hides itself in OnActivate (the invisible wait of a synchronous call) is shown to
// nobody and ends by its own handlers.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/forms/captioned_control.h"
#include "platform/forms/component.h"
#include "platform/forms/message_dialog.h"
#include "platform/window/window.h"

namespace platform::forms {

class Button;

enum class FormStyle { normal, stay_on_top };
enum class FormBorderStyle { none, single, sizeable, dialog, tool_window, size_tool_window };
enum class FormPosition { designed, default_position, screen_center, desktop_center, main_form_center };
enum class CloseAction { none, hide, free, minimize };

struct BorderIcons {
    bool system_menu = true;  // the caption's close box comes with the system menu
    bool minimize = true;
    bool maximize = true;
    bool help = false;
    bool operator==(const BorderIcons&) const = default;
};

// A window message as a form's handler sees it; `result` is what a sender gets back.
struct FormMessage {
    std::uint32_t message = 0;
    window::WParam wparam = 0;
    window::LParam lparam = 0;
    window::Result result = 0;
};

using MessageHandler = std::function<void(FormMessage&)>;
using CloseEvent = std::function<void(Component& sender, CloseAction& action)>;
using CloseQueryEvent = std::function<void(Component& sender, bool& can_close)>;

class Form : public CaptionedControl {
  public:
    static constexpr const char* type_name = "TForm";
    // The window class name, e.g. "Twait_form".
    const char* class_name() const override { return window_class_.c_str(); }

    // `parent_window`: 0 for a top-level form, or the window of a host that embeds it.
    explicit Form(std::string window_class = "TForm", window::Handle parent_window = 0);
    ~Form() override;

    int ClientWidth = 0;
    int ClientHeight = 0;
    forms::FormStyle FormStyle = FormStyle::normal;
    FormBorderStyle BorderStyle = FormBorderStyle::sizeable;
    forms::BorderIcons BorderIcons;
    FormPosition Position = FormPosition::designed;
    forms::Font Font;
    int PixelsPerInch = 96;  // of the form's font
    bool KeyPreview = false;
    // The modal result; a modal loop ends when it is not mr_none (named in lower case because
    // ModalResult is the type).
    ModalResult modal_result = mr_none;
    // The control that has the focus (or will have it when the form is shown).
    Control* ActiveControl = nullptr;

    NotifyEvent OnCreate;
    NotifyEvent OnShow;
    NotifyEvent OnHide;
    NotifyEvent OnActivate;
    NotifyEvent OnDeactivate;
    NotifyEvent OnDestroy;
    NotifyEvent OnPaint;
    NotifyEvent OnResize;
    CloseEvent OnClose;
    CloseQueryEvent OnCloseQuery;

    window::Handle handle() const { return handle_; }

    // Shows the form (OnShow when it was hidden), makes it the active form (OnActivate).
    void Show();
    // Hides it (OnHide when it was visible). A modal form's loop goes on running invisibly.
    void Hide();
    // Closes the form: a modal form gets mr_cancel (its loop then runs the close steps); any
    // other form runs OnCloseQuery and OnClose and then hides, frees itself (Release) or stays
    // as the action says. Closing the application's main form ends the application.
    void Close();
    // Shows the form modally and returns its modal result. Asks the interaction provider
    // (modal_form_shown) from inside the loop; the loop serves every message of the thread
    // (timers, posted messages, the serial layer) until modal_result is set and the close
    // steps accept it (OnClose with action none keeps the form open). Throws
    // NoInteractionProvider without a provider and FormError when the form is modal already.
    // A WM_QUIT ends the loop with mr_cancel (the quit stays for the outer loop).
    ModalResult ShowModal();
    // Frees the form after the messages already posted to it are handled (forms that
    // Application owns); a form owned elsewhere is only hidden.
    void Release();
    void BringToFront();
    // Stays above all windows that are not topmost themselves.
    void make_topmost() { topmost_ = true; }
    bool topmost() const { return topmost_ || FormStyle == FormStyle::stay_on_top; }
    // Order in which forms came to the front: higher is nearer the front.
    std::uint64_t z_order() const { return z_order_; }

    bool modal() const { return modal_; }
    bool active() const;
    // The form became active again (a dialog over it closed): OnActivate.
    void activate();

    // Moves the focus: OnExit of the control that had it, then OnEnter of the new one.
    // Throws FormError on a control that cannot take the focus; nullptr removes the focus.
    void set_focus(Control* control);

    // The handler of a message number (replacing an earlier one).
    void on_message(std::uint32_t message, MessageHandler handler);

    // The caption's close box (WM_CLOSE): throws FormError when the form has none (border
    // style none, or no system menu), else Close().
    void close_by_caption();
    // Enter and Esc: click the default or the cancel button (FormError when there is none).
    void press_enter();
    void press_escape();
    // A person resizing the window to an outer size of (width, height), as a drawing backend
    // or an embedding host delivers it: a plain form takes the size, at least min_track_size
    // (its client size follows when it has one), places its aligned controls and fires
    // OnResize; a form that keeps its own limits and layout replaces this.
    virtual void resize_by_person(int width, int height);
    // The smallest outer size a person may give the window; {0, 0}: no limit.
    virtual Point min_track_size() const { return {}; }

    // OnCreate, once; make_form and Application::create_form call it.
    void created();
    // OnDestroy, once; FormPtr and Application call it before freeing the form.
    void destroying();

  private:
    window::Result procedure(std::uint32_t message, window::WParam wparam, window::LParam lparam);
    bool close_steps(CloseAction& action);  // OnCloseQuery, OnClose; false when refused
    void wake();
    Button* button_where(bool Button::*flag) const;

    std::string window_class_;
    window::Handle handle_ = 0;
    std::map<std::uint32_t, MessageHandler> handlers_;
    bool created_ = false;
    bool destroyed_ = false;
    bool modal_ = false;
    bool topmost_ = false;
    std::uint64_t z_order_ = 0;
};

// Frees a form the right way: OnDestroy while the whole object still exists, then delete.
struct FormDeleter {
    void operator()(Form* form) const;
};
template <class F>
using FormPtr = std::unique_ptr<F, FormDeleter>;

// Constructs a form and fires its OnCreate.
template <class F, class... Args>
FormPtr<F> make_form(Args&&... args) {
    FormPtr<F> form(new F(std::forward<Args>(args)...));
    form->created();
    return form;
}

// Message numbers the forms use among themselves on a form's window.
inline constexpr std::uint32_t form_msg_modal_shown = 0xBF10;  // ask the provider
inline constexpr std::uint32_t form_msg_wake = 0xBF11;         // re-check the modal loop

}  // namespace platform::forms
