#include "platform/forms/application.h"

#include <algorithm>

#include "platform/forms/interaction.h"
#include "platform/forms/properties.h"

namespace platform::forms {

namespace {
constexpr std::uint32_t msg_release_form = window::WM_USER + 1;
}

// ---- unit state ---------------------------------------------------------------------------

FormsState::FormsState() = default;
FormsState::~FormsState() = default;

FormsState& forms_state() {
    // Never destroyed: forms freed at process exit would reach into the window layer after
    // its own state is gone.
    static FormsState* const state = new FormsState();
    return *state;
}

void reset_forms_state_for_tests() {
    FormsState& s = forms_state();
    s.application.free_all_forms();
    s.application = Application();
    std::vector<Form*> live = std::move(s.screen.forms_);
    s.screen = Screen();
    s.screen.forms_ = std::move(live);
    s.provider = nullptr;
    s.backend = nullptr;
    s.z_counter = 0;
    s.properties.reset();
}

Backend& backend() {
    FormsState& s = forms_state();
    return s.backend ? *s.backend : s.headless;
}

Backend* set_backend(Backend* next) {
    FormsState& s = forms_state();
    Backend* previous = s.backend;
    s.backend = next;
    return previous;
}

// ---- Application --------------------------------------------------------------------------

void Application::adopt_form(Form* form) {
    forms_.emplace_back(form);
    if (!MainForm) MainForm = form;
}

std::vector<Form*> Application::forms() const {
    std::vector<Form*> out;
    for (const auto& f : forms_) out.push_back(f.get());
    return out;
}

bool Application::free_form(Form* form) {
    auto it = std::find_if(forms_.begin(), forms_.end(), [form](const auto& f) { return f.get() == form; });
    if (it == forms_.end()) return false;
    std::unique_ptr<Form, FormDeleter> taken = std::move(*it);
    forms_.erase(it);
    if (MainForm == form) MainForm = nullptr;
    taken.reset();
    return true;
}

void Application::release_form(Form* form) {
    if (!release_window_) {
        release_window_ = std::make_unique<HiddenWindow>(
            "TApplicationRelease", [this](std::uint32_t message, window::WParam, window::LParam lparam) {
                if (message == msg_release_form) free_form(reinterpret_cast<Form*>(lparam));
                return window::Result{0};
            });
    }
    // Queued behind what was already posted to the form, so that is handled first.
    window::post_message(release_window_->handle(), msg_release_form, 0,
                         reinterpret_cast<window::LParam>(form));
}

void Application::free_all_forms() {
    while (!forms_.empty()) free_form(forms_.back().get());
}

void Application::process_messages() {
    window::process_messages();
}

int Application::run() {
    Terminated = false;
    if (ShowMainForm && MainForm) MainForm->Show();
    const int code = window::run_message_loop();
    Terminated = true;
    return code;
}

void Application::terminate(int exit_code) {
    Terminated = true;
    window::post_quit_message(exit_code);
}

HintInfo Application::show_hint(Control& control, Point point) {
    HintInfo info;
    info.control = &control;
    info.cursor_pos = point;
    info.cursor_rect = control.ClientRect();
    info.hint = control.Hint;
    info.hide_timeout = HintHidePause;
    info.can_show = control.ShowHint && !control.Hint.empty();
    if (OnShowHint) OnShowHint(info);
    return info;
}

// ---- Screen -------------------------------------------------------------------------------

Form* Screen::front_form() const {
    Form* best = nullptr;
    for (Form* f : forms_) {
        if (!f->Visible) continue;
        if (!best || (f->topmost() && !best->topmost()) ||
            (f->topmost() == best->topmost() && f->z_order() > best->z_order())) {
            best = f;
        }
    }
    return best;
}

}  // namespace platform::forms
