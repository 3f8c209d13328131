// zorsetup's bodies of the core's notification hooks: the plug-in holds no run, so they do nothing.
#include "core/uilib.h"

namespace uilib {

void on_busy() {}
void on_error_abort() {}
void on_method_finished() {}
void on_baud_fallback() {}
void on_config_received() {}
void on_reset_done() {}
void on_status_text(std::string_view) {}
void on_idle_poll() {}
void on_timeout_message(std::string_view) {}
void on_ds_ready() {}
void on_barcode_text(std::string_view) {}
void on_run_started() {}
void on_waiting_for_ds() {}
void on_sync_signal() {}
void on_sl_exit() {}
void on_disconnected() {}
void on_reconnected() {}
void on_firmware_version() {}
void on_step_changed() {}
void on_injected() {}
void on_tray_dialog_closed() {}
void on_vial_selection_stored() {}
void on_tray_dialog_activated() {}

}  // namespace uilib
