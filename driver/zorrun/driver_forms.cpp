#include "driver/zorrun/driver_forms.h"

#include <cmath>
#include <limits>

#include "core/engine_hooks.h"
#include "core/session_state.h"
#include "core/window_broadcast.h"
#include "driver/zorrun/run_preparation.h"
#include "driver/zorrun/status_model.h"
#include "platform/kernel/scope_exit.h"
#include "utilities/form_helpers.h"
#include "utilities/message_boxes.h"
#include "utilities/session.h"
#include "utilities/text.h"

namespace zorrun {

namespace window = platform::window;

namespace {

constexpr char quote = '"';

forms::BorderIcons no_border_icons() {
    forms::BorderIcons icons;
    icons.system_menu = false;
    icons.minimize = false;
    icons.maximize = false;
    return icons;
}

forms::BorderIcons system_menu_only() {
    forms::BorderIcons icons;
    icons.minimize = false;
    icons.maximize = false;
    return icons;
}

std::string shown_value(double value, std::string_view unit) {
    return putils::display_value(putils::real_to_text(value), unit);
}

}  // namespace

DialogState& dialog_state() {
    static DialogState state;
    return state;
}

void reset_dialog_state() {
    dialog_state() = DialogState{};
}

// ---- Twait_form ---------------------------------------------------------------------------

Twait_form::Twait_form() : Form("Twait_form") {
    Caption = "Waiting";
    BorderStyle = forms::FormBorderStyle::single;
    BorderIcons = no_border_icons();
    ClientWidth = 112;
    ClientHeight = 29;
    OnActivate = [this](forms::Component&) { FormActivate(); };
    on_message(core::zor_status_message, [this](forms::FormMessage& m) { close_me(m); });
    on_message(window::WM_TIMER, [this](forms::FormMessage& m) {
        if (m.wparam != wait_timer_id) return;
        window::kill_timer(handle(), wait_timer_id);
        timed_out_ = true;
        Close();
    });
}

void Twait_form::FormActivate() {
    make_topmost();
    // The modal loop goes on invisibly.
    Hide();
}

void Twait_form::close_me(forms::FormMessage& message) {
    if (!core::is_own_status_message(message.message, message.wparam)) return;
    if (end_check_ && !end_check_()) return;
    Close();
}

Twait_form::WaitEnd Twait_form::wait_for(std::function<bool()> answered, std::function<bool()> given_up,
                                         unsigned timeout_ms) {
    if (modal()) throw forms::FormError("a synchronous call is waiting already");
    if (answered()) return WaitEnd::answered;
    if (given_up()) return WaitEnd::given_up;
    timed_out_ = false;
    end_check_ = [&answered, &given_up] { return answered() || given_up(); };
    platform::scope_exit cleanup{[this] {
        window::kill_timer(handle(), wait_timer_id);
        end_check_ = nullptr;
    }};
    window::set_timer(handle(), wait_timer_id, timeout_ms);
    ShowModal();
    if (answered()) return WaitEnd::answered;
    if (timed_out_) return WaitEnd::timed_out;
    if (given_up()) return WaitEnd::given_up;
    return WaitEnd::quit;
}

// ---- Tload_config_form --------------------------------------------------------------------

Tload_config_form::Tload_config_form() : Form("Tload_config_form") {
    Caption = "Receiving configuration from Zor";
    BorderIcons = system_menu_only();
    Width = 339;
    Height = 58;
    config_bar = add<forms::ProgressBar>("config_bar");
    config_bar->SetBounds(8, 8, 313, 17);
    config_bar->Min = 0;
    config_bar->Max = 100;
    OnActivate = [this](forms::Component&) { FormActivate(); };
}

void Tload_config_form::FormActivate() {
    const int ppi = PixelsPerInch;
    const double d = ppi >= 100 ? 30.0 : 27.0;
    Width = static_cast<int>(std::lround(ppi / 4.0)) + config_bar->Width;
    Height = static_cast<int>(std::lround(ppi / d)) * config_bar->Height;
    make_topmost();
    Caption = "Receiving configuration from Zor " + std::to_string(putils::session().instance_number);
    forms::application().Title = putils::instance_suffix();
}

// ---- Tsyringe_change ----------------------------------------------------------------------

Tsyringe_change::Tsyringe_change() : Form("Tsyringe_change") {
    Caption = "Parameter out of range";
    BorderStyle = forms::FormBorderStyle::dialog;
    BorderIcons = system_menu_only();
    ClientWidth = 408;
    ClientHeight = 121;
    change_text = add<forms::StaticText>("change_text");
    change_text->SetBounds(13, 12, 381, 25);
    change_text->Alignment = forms::Alignment::center;
    change_text->AutoSize = false;
    edit_syr_value = add<forms::Edit>("edit_syr_value");
    edit_syr_value->SetBounds(123, 48, 161, 21);
    ok_button = add<forms::Button>("ok_button");
    ok_button->SetBounds(166, 84, 75, 25);
    ok_button->Caption = "OK";
    ok_button->Default = true;
    ok_button->OnClick = [this](forms::Component&) { ok_buttonClick(); };
    OnCreate = [this](forms::Component&) { FormCreate(); };
    OnActivate = [this](forms::Component&) { FormActivate(); };
}

void Tsyringe_change::FormCreate() {
    make_topmost();
    putils::center_form(*this);
}

void Tsyringe_change::FormActivate() {
    const OutOfRangeValues& v = dialog_state().out_of_range;
    change_text->Caption = v.parameter_name + ":" + shown_value(v.value, v.unit) + " is out of range (" +
                           shown_value(v.minimum, v.unit) + " - " + shown_value(v.maximum, v.unit) + ")" +
                           putils::instance_suffix();
    edit_syr_value->Text = shown_value(v.result, v.unit);
}

void Tsyringe_change::ok_buttonClick() {
    OutOfRangeValues& v = dialog_state().out_of_range;
    const std::string text = edit_syr_value->Text;
    double value = 0;
    if (putils::same_text(v.unit, "s")) {
        if (!putils::is_time(text)) {
            putils::show_error(text + " is not a time");
            return;
        }
        value = putils::text_to_real(putils::seconds_text(text));
    } else {
        if (!putils::is_real(text)) {
            putils::show_error(text + " is not a number");
            return;
        }
        value = putils::text_to_real(text);
    }
    if (value < v.minimum || value > v.maximum) {
        putils::show_error(text + " is out of range!");
        return;
    }
    v.result = value;
    Close();
}

// ---- Tnew_syr -----------------------------------------------------------------------------

Tnew_syr::Tnew_syr() : Form("Tnew_syr") {
    Caption = "Syringe mismatch!";
    BorderStyle = forms::FormBorderStyle::dialog;
    BorderIcons = no_border_icons();
    Position = forms::FormPosition::screen_center;
    ClientWidth = 274;
    ClientHeight = 111;
    warning_text = add<forms::StaticText>("warning_text");
    warning_text->SetBounds(8, 8, 257, 65);
    warning_text->Alignment = forms::Alignment::center;
    warning_text->AutoSize = false;
    warning_text->WordWrap = true;
    retry_button = add<forms::Button>("retry_button");
    retry_button->SetBounds(24, 78, 89, 25);
    retry_button->Caption = "&Continue";
    retry_button->OnClick = [this](forms::Component&) { retry_buttonClick(); };
    cancel_button = add<forms::Button>("cancel_button");
    cancel_button->SetBounds(160, 78, 89, 25);
    cancel_button->Caption = "C&ancel Method";
    cancel_button->OnClick = [this](forms::Component&) { cancel_buttonClick(); };
    OnCreate = [this](forms::Component&) { FormCreate(); };
    OnActivate = [this](forms::Component&) { FormActivate(); };
}

void Tnew_syr::FormCreate() {
    make_topmost();
    BringToFront();
}

void Tnew_syr::FormActivate() {
    Caption = "Syringe Mismatch" + putils::instance_suffix();
    const RunPreparationState& prep = run_preparation_state();
    warning_text->Caption =
        mismatch_text(prep.method_file_name, prep.method_syringe, core::mounted_syringe());
}

void Tnew_syr::retry_buttonClick() {
    dialog_state().syringe_continue = true;
    Close();
}

void Tnew_syr::cancel_buttonClick() {
    dialog_state().syringe_continue = false;
    Close();
}

// ---- Terror_form --------------------------------------------------------------------------

Terror_form::Terror_form() : Form("Terror_form") {
    Caption = "error_form";
    Width = 143;
    Height = 62;
    OnActivate = [this](forms::Component&) { FormActivate(); };
    on_message(core::zor_status_message, [this](forms::FormMessage& m) { reset_error(m); });
}

void Terror_form::FormActivate() {
    FormStyle = forms::FormStyle::stay_on_top;
    Caption = "Error" + putils::instance_suffix();
}

void Terror_form::reset_error(forms::FormMessage& message) {
    if (core::is_own_status_message(message.message, message.wparam)) Close();
}

// ---- the unit's routines ------------------------------------------------------------------

std::string mismatch_text(std::string_view method_file, std::string_view method_syringe,
                          std::string_view mounted_syringe) {
    std::string text = "Method ";
    text += quote;
    text += method_file;
    text += quote;
    text += " uses syringe ";
    text += quote;
    text += method_syringe;
    text += quote;
    text += " but syringe ";
    text += quote;
    text += mounted_syringe;
    text += quote;
    text += " is in the ZOR. Please insert syringe ";
    text += quote;
    text += method_syringe;
    text += quote;
    text += " into the ZOR.";
    return text;
}

double ask_out_of_range(std::string_view context, std::string_view unit, double max, double min, double bound,
                        double value) {
    DialogState& state = dialog_state();
    OutOfRangeValues& v = state.out_of_range;
    v.parameter_name = std::string(context);
    v.unit = std::string(unit);
    v.value = value;
    v.minimum = min;
    v.maximum = max;
    v.result = bound;
    if (!state.syringe_change) return bound;
    state.closed_unanswered = false;
    state.syringe_change->ShowModal();
    // With nobody to ask, the value is not silently turned into the bound: it is refused, and
    // the line that needs it fails with its message.
    if (state.closed_unanswered) return std::numeric_limits<double>::quiet_NaN();
    return v.result;
}

bool ask_syringe_mismatch() {
    DialogState& state = dialog_state();
    // Closed any other way than by its two buttons, the dialog means Cancel Method.
    state.syringe_continue = false;
    if (!state.new_syr) return false;
    state.new_syr->ShowModal();
    return state.syringe_continue;
}

void create_driver_forms() {
    forms::Application& app = forms::application();
    DialogState& state = dialog_state();
    state.wait_form = &app.create_form<Twait_form>();
    state.load_config_form = &app.create_form<Tload_config_form>();
    state.syringe_change = &app.create_form<Tsyringe_change>();
    state.error_form = &app.create_form<Terror_form>();
    state.new_syr = &app.create_form<Tnew_syr>();

    core::ConfigProgressHooks& progress = core::session_state().config_progress;
    progress.begin = [](int max) {
        Tload_config_form* form = dialog_state().load_config_form;
        if (!form) return;
        form->config_bar->Max = max;
        form->config_bar->Min = 0;
        form->config_bar->Position = 0;
        forms::screen().Cursor = forms::Cursor::hour_glass;
        form->Show();
    };
    progress.progress = [](int lines) {
        if (Tload_config_form* form = dialog_state().load_config_form) form->config_bar->Position = lines;
    };
    progress.end = [] {
        if (Tload_config_form* form = dialog_state().load_config_form) form->Close();
        forms::screen().Cursor = forms::Cursor::normal;
    };
    // A failed upload is the caller's to see: status 8 with the reason, until it is cleared.
    progress.failed = [](const std::string& reason) { set_status(status_not_ready, reason); };
    core::engine_hooks().ask_out_of_range = ask_out_of_range;
}

}  // namespace zorrun
