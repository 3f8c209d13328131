#include "platform/forms/form.h"

#include <algorithm>

#include "platform/forms/align.h"
#include "platform/forms/application.h"
#include "platform/forms/backend.h"
#include "platform/forms/interaction.h"
#include "platform/forms/standard_controls.h"
#include "platform/kernel/scope_exit.h"

namespace platform::forms {

namespace {

void for_each_component(const Component& root, const std::function<void(Component&)>& visit) {
    for (Component* c : root.components()) {
        visit(*c);
        if (!dynamic_cast<Form*>(c)) for_each_component(*c, visit);
    }
}

}  // namespace

Form::Form(std::string window_class, window::Handle parent_window) : window_class_(std::move(window_class)) {
    Visible = false;
    handle_ =
        window::create_window(window_class_, parent_window,
                              [this](window::Handle, std::uint32_t message, window::WParam wparam,
                                     window::LParam lparam) { return procedure(message, wparam, lparam); });
    screen().forms_.push_back(this);
}

Form::~Form() {
    ActiveControl = nullptr;
    auto& list = screen().forms_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (screen().ActiveForm == this) screen().ActiveForm = nullptr;
    if (application().MainForm == this) application().MainForm = nullptr;
    const window::Handle handle = handle_;
    handle_ = 0;
    window::destroy_window(handle);
}

void Form::created() {
    if (created_) return;
    created_ = true;
    fire(OnCreate);
}

void Form::destroying() {
    if (destroyed_) return;
    destroyed_ = true;
    fire(OnDestroy);
}

void FormDeleter::operator()(Form* form) const {
    if (!form) return;
    form->destroying();
    delete form;
}

window::Result Form::procedure(std::uint32_t message, window::WParam wparam, window::LParam lparam) {
    auto it = handlers_.find(message);
    if (it != handlers_.end()) {
        MessageHandler handler = it->second;  // the handler may replace itself
        FormMessage m{message, wparam, lparam, 0};
        handler(m);
        return m.result;
    }
    switch (message) {
        case form_msg_modal_shown:
            // Only a form that a person could see is shown to the provider.
            if (modal_ && modal_result == mr_none && Visible) {
                if (InteractionProvider* provider = interaction_provider()) provider->modal_form_shown(*this);
            }
            return 0;
        case window::WM_CLOSE:
            Close();
            return 0;
        case window::WM_ACTIVATE:
            // Made the foreground window: to the front, and active when it shows.
            if (wparam == window::WA_ACTIVE) {
                BringToFront();
                backend().form_changed(*this);
                if (Visible) activate();
            }
            return 0;
        default:
            return 0;
    }
}

void Form::on_message(std::uint32_t message, MessageHandler handler) {
    if (handler) {
        handlers_[message] = std::move(handler);
    } else {
        handlers_.erase(message);
    }
}

void Form::wake() {
    if (handle_) window::post_message(handle_, form_msg_wake);
}

bool Form::active() const {
    return screen().ActiveForm == this;
}

void Form::activate() {
    Form*& active_form = screen().ActiveForm;
    if (active_form == this) return;
    Form* previous = active_form;
    active_form = this;
    if (previous) previous->fire(previous->OnDeactivate);
    fire(OnActivate);
}

void Form::Show() {
    created();
    const bool was_visible = Visible;
    Visible = true;
    if (handle_) window::set_window_text(handle_, Caption);
    BringToFront();
    if (!was_visible) fire(OnShow);
    backend().form_changed(*this);
    // OnShow may have hidden or closed it again.
    if (Visible) activate();
}

void Form::Hide() {
    if (Visible) {
        Visible = false;
        fire(OnHide);
        backend().form_changed(*this);
    }
    if (screen().ActiveForm == this) screen().ActiveForm = nullptr;
}

void Form::BringToFront() {
    z_order_ = ++forms_state().z_counter;
}

bool Form::close_steps(CloseAction& action) {
    bool can_close = true;
    if (OnCloseQuery) OnCloseQuery(*this, can_close);
    if (!can_close) return false;
    if (OnClose) OnClose(*this, action);
    return action != CloseAction::none;
}

void Form::Close() {
    if (modal_) {
        modal_result = mr_cancel;
        wake();
        return;
    }
    CloseAction action = CloseAction::hide;
    if (!close_steps(action)) return;
    Hide();
    if (action == CloseAction::free) Release();
    if (application().MainForm == this) application().terminate();
}

void Form::Release() {
    Application& app = application();
    const auto held = app.forms();
    if (std::find(held.begin(), held.end(), this) != held.end()) {
        app.release_form(this);
    } else {
        Hide();
    }
}

ModalResult Form::ShowModal() {
    if (modal_) throw FormError(describe(*this) + " is modal already");
    if (!interaction_provider()) {
        throw NoInteractionProvider("no interaction provider to answer the modal form \"" + Caption + "\" (" +
                                    window_class_ + ")");
    }
    created();
    Form* previous = screen().ActiveForm;
    modal_result = mr_none;
    modal_ = true;
    platform::scope_exit end_modal{[this] { modal_ = false; }};

    Show();
    window::post_message(handle_, form_msg_modal_shown);
    CloseAction action = CloseAction::hide;
    for (;;) {
        const bool ended = window::run_nested_loop([this] { return modal_result != mr_none; });
        if (!ended) {  // WM_QUIT: it stays queued for the outer loop
            if (modal_result == mr_none) modal_result = mr_cancel;
            break;
        }
        action = CloseAction::hide;
        if (close_steps(action)) break;
        modal_result = mr_none;  // OnCloseQuery or OnClose kept it open
    }
    modal_ = false;
    Hide();
    const ModalResult result = modal_result;
    if (action == CloseAction::free) Release();
    // The form below gets the activation back.
    const auto& forms = screen().forms();
    if (previous && previous != this && std::find(forms.begin(), forms.end(), previous) != forms.end() &&
        previous->Visible) {
        previous->activate();
    }
    return result;
}

void Form::set_focus(Control* control) {
    if (control == ActiveControl) return;
    if (control) {
        if (control->form() != this)
            throw FormError("cannot focus " + describe(*control) + " on " + describe(*this));
        if (!control->CanFocus()) {
            throw FormError("cannot focus " + describe(*control) + ": it is hidden or disabled");
        }
    }
    Control* previous = ActiveControl;
    ActiveControl = control;
    if (previous && previous->OnExit) previous->OnExit(*previous);
    // OnExit may have moved the focus elsewhere (back to the control it checked).
    if (control && ActiveControl == control && control->OnEnter) control->OnEnter(*control);
}

void Form::close_by_caption() {
    if (BorderStyle == FormBorderStyle::none || !BorderIcons.system_menu) {
        throw FormError(describe(*this) + " has no close box");
    }
    Close();
}

Button* Form::button_where(bool Button::*flag) const {
    Button* found = nullptr;
    for_each_component(*this, [&](Component& c) {
        auto* button = dynamic_cast<Button*>(&c);
        if (!found && button && button->*flag && button->reachable()) found = button;
    });
    return found;
}

void Form::resize_by_person(int width, int height) {
    const Point least = min_track_size();
    width = std::max(width, least.x);
    height = std::max(height, least.y);
    if (ClientWidth > 0) ClientWidth += width - Width;
    if (ClientHeight > 0) ClientHeight += height - Height;
    Width = width;
    Height = height;
    align_controls(*this,
                   {0, 0, ClientWidth > 0 ? ClientWidth : Width, ClientHeight > 0 ? ClientHeight : Height});
    fire(OnResize);
}

void Form::press_enter() {
    Button* button = button_where(&Button::Default);
    if (!button) throw FormError(describe(*this) + " has no default button");
    button->click();
}

void Form::press_escape() {
    Button* button = button_where(&Button::Cancel);
    if (!button) throw FormError(describe(*this) + " has no cancel button");
    button->click();
}

}  // namespace platform::forms
