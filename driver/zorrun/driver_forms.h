// Zorrun's five small forms besides the core's debug page: the wait form that carries the
// synchronous automation calls, the configuration-receiving progress form, the out-of-range
// value dialog, the syringe-mismatch dialog and the error form. All are built in code, created
// at start-up and kept for the life of the process; their captions end with " ZOR " and the
// instance number. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/forms/controls.h"

namespace zorrun {

namespace forms = platform::forms;

class Twait_form : public forms::Form {
  public:
    Twait_form();
    void FormActivate();
    // Message 1425: closes the form when wParam is this instance's number (and the running
    // wait's end check, if any, agrees).
    void close_me(forms::FormMessage& message);

    enum class WaitEnd { answered, given_up, timed_out, quit };
    // The synchronous wait: the form is shown modally and hides itself at once, so the modal
    // loop runs invisibly and keeps serving the port and the bus. It ends at a message 1425 of
    // this instance once `answered` or `given_up` holds, or when `timeout_ms` has passed.
    // Throws FormError when a wait is running already.
    WaitEnd wait_for(std::function<bool()> answered, std::function<bool()> given_up, unsigned timeout_ms);

    static constexpr std::uintptr_t wait_timer_id = 1425;

  private:
    std::function<bool()> end_check_;
    bool timed_out_ = false;
};

class Tload_config_form : public forms::Form {
  public:
    Tload_config_form();
    forms::ProgressBar* config_bar;
    void FormActivate();
};

// The values the out-of-range dialog works on, written before it is shown.
struct OutOfRangeValues {
    std::string parameter_name;
    std::string unit;
    double value = 0;
    double minimum = 0;
    double maximum = 0;
    double result = 0;  // the violated bound when the dialog opens
};

class Tsyringe_change : public forms::Form {
  public:
    Tsyringe_change();
    forms::StaticText* change_text;
    forms::Edit* edit_syr_value;
    forms::Button* ok_button;
    void FormCreate();
    void FormActivate();
    void ok_buttonClick();
};

class Tnew_syr : public forms::Form {
  public:
    Tnew_syr();
    forms::StaticText* warning_text;
    forms::Button* retry_button;
    forms::Button* cancel_button;
    void FormCreate();
    void FormActivate();
    void retry_buttonClick();
    void cancel_buttonClick();
};

class Terror_form : public forms::Form {
  public:
    Terror_form();
    void FormActivate();
    void reset_error(forms::FormMessage& message);
};

// The dialogs' unit state.
struct DialogState {
    OutOfRangeValues out_of_range;
    bool syringe_continue = false;  // the mismatch dialog's answer: true for Continue
    // The last modal dialog was closed with nobody there to choose (no person, no test).
    bool closed_unanswered = false;
    Twait_form* wait_form = nullptr;
    Tload_config_form* load_config_form = nullptr;
    Tsyringe_change* syringe_change = nullptr;
    Terror_form* error_form = nullptr;
    Tnew_syr* new_syr = nullptr;
};

DialogState& dialog_state();
void reset_dialog_state();

// Creates the five forms through the application in start-up order (wait, load_config,
// syringe_change, error, new_syr) and connects them to the core: the configuration progress
// hooks and the out-of-range question.
void create_driver_forms();

// "Method " + QUOTE + file + QUOTE + " uses syringe " + ... (the mismatch dialog's text).
std::string mismatch_text(std::string_view method_file, std::string_view method_syringe,
                          std::string_view mounted_syringe);

// The out-of-range question of the method engine: fills the values, shows the dialog and
// returns the value the user settled on (the violated bound when the dialog is closed).
double ask_out_of_range(std::string_view context, std::string_view unit, double max, double min, double bound,
                        double value);

// Shows the mismatch dialog modally; true for Continue.
bool ask_syringe_mismatch();

}  // namespace zorrun
