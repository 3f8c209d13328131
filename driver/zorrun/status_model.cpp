#include "driver/zorrun/status_model.h"

#include "core/session_state.h"
#include "core/window_broadcast.h"
#include "utilities/log.h"
#include "utilities/session.h"

namespace zorrun {

VzorState& vzor_state() {
    static VzorState state;
    return state;
}

void reset_vzor_state() {
    vzor_state() = VzorState{};
    core::run_state().status_text = std::string(text_start);
}

const std::string& status_text() {
    return core::run_state().status_text;
}

void log_automation_call(std::string_view text) {
    if (core::session_state().debug_page) putils::append_log("zorrun:" + std::string(text));
}

void set_status(std::int32_t code, std::string_view text) {
    VzorState& state = vzor_state();
    state.status_code = code;
    if (code == status_not_ready) state.failure_text = text;
    set_status_text(text);
}

std::string run_failure_text() {
    const core::RunState& run = core::run_state();
    if (!run.failure_text.empty()) return run.failure_text;
    return failure_with_reason("Error in method!", putils::session().last_error);
}

std::string failure_with_reason(std::string_view text, std::string_view said) {
    std::string out(text);
    if (!said.empty()) out.append(" ").append(said);
    return out;
}

bool failure_stands() {
    return vzor_state().status_code == status_not_ready;
}

void set_progress_text(std::string_view text) {
    if (!failure_stands()) set_status_text(text);
}

void set_status_text(std::string_view text) {
    core::run_state().status_text = text.empty() ? std::string(text_idle) : std::string(text);
    core::notify_status_windows();
}

void set_status_idle() {
    set_status(status_idle, "");
}

void set_status_waiting_for_start() {
    set_status(status_waiting_for_start, "Waiting for start");
}

void set_status_busy() {
    // The macro that follows a refusal (SL EXIT) keeps the instrument busy; the refusal is what
    // the client must see.
    if (!failure_stands()) set_status(status_busy, "The Zor is busy");
}

void set_status_disconnected() {
    VzorState& state = vzor_state();
    // A second loss before any good reply keeps the code from before the first one.
    if (state.status_code != status_disconnected) state.saved_status_code = state.status_code;
    set_status(status_disconnected, "The Zor is disconnected");
}

void set_status_reconnected() {
    VzorState& state = vzor_state();
    // A client may have set the status itself while the link was down (ClearStatus,
    // Initialize): that choice stands, only the text tells of the reconnection.
    const std::int32_t code =
        state.status_code == status_disconnected ? state.saved_status_code : state.status_code;
    // A failure that stood before the loss still stands, with its reason.
    const std::string text =
        code == status_not_ready && !state.failure_text.empty() ? state.failure_text : "The Zor reconnected";
    set_status(code, text);
}

void sync_signal_status() {
    VzorState& state = vzor_state();
    if (state.status_code == status_waiting_for_contact) state.status_code = status_continuing;
    set_progress_text("Saw sync signal");
}

}  // namespace zorrun
