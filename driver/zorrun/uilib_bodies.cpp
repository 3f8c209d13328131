// Zorrun's bodies of the core's notification hooks: core events become driver status and
// window messages.
#include "core/session_state.h"
#include "core/uilib.h"
#include "core/window_broadcast.h"
#include "driver/zorrun/status_model.h"
#include "utilities/session.h"

namespace uilib {

void on_busy() {
    zorrun::set_status_busy();
}
void on_method_finished() {
    // A run that did not do all it was asked never reads as if all went well.
    const core::RunState& run = core::run_state();
    if (run.failed)
        zorrun::set_status(zorrun::status_not_ready, zorrun::run_failure_text());
    else if (!zorrun::failure_stands())  // a macro run after a refusal leaves the refusal standing
        zorrun::set_status_idle();
}
void on_config_received() {
    core::notify_method_editors();
}
void on_status_text(std::string_view text) {
    zorrun::set_progress_text(text);
}

void on_barcode_text(std::string_view text) {
    zorrun::VzorState& state = zorrun::vzor_state();
    state.barcode_text = std::string(text);
    ++state.barcode_reports;
    core::notify_wait_forms();
}

void on_run_started() {
    // What the error reporter says during this run is the reason a failed run ends with.
    putils::session().last_error.clear();
    core::notify_status_windows();
}
void on_waiting_for_ds() {
    zorrun::set_status_waiting_for_start();
}
void on_sync_signal() {
    zorrun::sync_signal_status();
}
void on_disconnected() {
    zorrun::set_status_disconnected();
}
void on_reconnected() {
    zorrun::set_status_reconnected();
}

void on_error_abort() {}
void on_baud_fallback() {}
void on_reset_done() {}
void on_idle_poll() {}
void on_timeout_message(std::string_view) {}
void on_ds_ready() {}
void on_sl_exit() {}
void on_firmware_version() {}
void on_step_changed() {}
void on_injected() {}

void on_tray_dialog_closed() {}
void on_vial_selection_stored() {}
void on_tray_dialog_activated() {}

}  // namespace uilib
