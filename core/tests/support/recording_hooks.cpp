#include "core/tests/support/recording_hooks.h"

#include <string_view>

#include "core/uilib.h"

namespace core_test {

namespace {

std::vector<std::string>& record() {
    static std::vector<std::string> calls;
    return calls;
}

void note(std::string_view name) {
    record().emplace_back(name);
}
void note(std::string_view name, std::string_view text) {
    std::string entry(name);
    entry += ": ";
    entry += text;
    record().push_back(std::move(entry));
}

}  // namespace

const std::vector<std::string>& recorded_hooks() {
    return record();
}
void clear_recorded_hooks() {
    record().clear();
}

int hook_count(const std::string& name) {
    int count = 0;
    for (const std::string& entry : record()) {
        if (entry == name || entry.starts_with(name + ": ")) ++count;
    }
    return count;
}

}  // namespace core_test

namespace uilib {

using core_test::note;

void on_busy() {
    note("on_busy");
}
void on_error_abort() {
    note("on_error_abort");
}
void on_method_finished() {
    note("on_method_finished");
}
void on_baud_fallback() {
    note("on_baud_fallback");
}
void on_config_received() {
    note("on_config_received");
}
void on_reset_done() {
    note("on_reset_done");
}
void on_status_text(std::string_view text) {
    note("on_status_text", text);
}
void on_idle_poll() {
    note("on_idle_poll");
}
void on_timeout_message(std::string_view text) {
    note("on_timeout_message", text);
}
void on_ds_ready() {
    note("on_ds_ready");
}
void on_barcode_text(std::string_view text) {
    note("on_barcode_text", text);
}
void on_run_started() {
    note("on_run_started");
}
void on_waiting_for_ds() {
    note("on_waiting_for_ds");
}
void on_sync_signal() {
    note("on_sync_signal");
}
void on_sl_exit() {
    note("on_sl_exit");
}
void on_disconnected() {
    note("on_disconnected");
}
void on_reconnected() {
    note("on_reconnected");
}
void on_firmware_version() {
    note("on_firmware_version");
}
void on_step_changed() {
    note("on_step_changed");
}
void on_injected() {
    note("on_injected");
}
void on_tray_dialog_closed() {
    note("on_tray_dialog_closed");
}
void on_vial_selection_stored() {
    note("on_vial_selection_stored");
}
void on_tray_dialog_activated() {
    note("on_tray_dialog_activated");
}

}  // namespace uilib
