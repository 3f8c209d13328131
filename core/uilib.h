// The core's notification hooks.
//
// The core tells its program about instrument events by calling these plain functions at fixed
// points (main thread, from inside its reply, timer and automation handlers). The core only
// declares them: each program links its own bodies (the driver's change its status and post
// window messages, the plug-in's do nothing, the core's tests record the calls). The choice is
// made at link time; there is no table to register. No body may send a command to the
// instrument.
#pragma once

#include <string_view>

namespace uilib {

// "GET_STAT" was answered with "BUSY".
void on_busy();
// The error step applied the answer Abort and moved the run to its METHOD EXIT part.
void on_error_abort();
// The run's command list is exhausted; the run is no longer active.
void on_method_finished();
// After a second reply time-out at start the port went back to 9600 baud.
void on_baud_fallback();
// The uploaded configuration was saved to latest_zor.pol, before it is parsed.
void on_config_received();
// The clean-up command of the reset sequence was answered.
void on_reset_done();
// A GET_ATOM_INFO progress line arrived while a run is active.
void on_status_text(std::string_view text);
// Idle polling was armed.
void on_idle_poll();
// Every reply time-out, before the resend; the text is "Lost Connection to Zor!".
void on_timeout_message(std::string_view text);
// A waiting run saw the go flag and continues.
void on_ds_ready();
// A bar code was read (the code), or "Barcode unreadable!", "Barcode error!", "Barcode not read!".
void on_barcode_text(std::string_view text);
// A run was started.
void on_run_started();
// The run reached WAIT_FOR_DS.
void on_waiting_for_ds();
// "WAIT_SYNC_SIG" was acknowledged with "@".
void on_sync_signal();
// The macro "SL EXIT" was made the running method.
void on_sl_exit();
// The first reply time-out since the last good reply.
void on_disconnected();
// The first good reply after a time-out.
void on_reconnected();
// The firmware version reply was stored.
void on_firmware_version();
// The run state changed: an instrument step is about to be sent, an error reply arrived, error
// mode ended, or the data system released the wait.
void on_step_changed();
// The local step SET_INJECTED ran.
void on_injected();

// Called by the plug-in's tray dialog only; only the plug-in (and the tests) supply bodies.
void on_tray_dialog_closed();
void on_vial_selection_stored();
void on_tray_dialog_activated();

}  // namespace uilib
