#include "core/session_state.h"

#include "core/run_variables.h"

namespace core {

namespace {

struct AllSessionState {
    LinkState link;
    StepQueueState queue;
    RunState run;
    BarcodeState barcode;
    SessionState session;
};

AllSessionState& all() {
    static AllSessionState state;
    return state;
}

}  // namespace

LinkState& link_state() {
    return all().link;
}
StepQueueState& step_queue() {
    return all().queue;
}
RunState& run_state() {
    return all().run;
}
BarcodeState& barcode_state() {
    return all().barcode;
}
SessionState& session_state() {
    return all().session;
}

std::string& mounted_syringe() {
    return run_variables().mounted_syringe;
}

Tzor_lib* zor_lib() {
    return all().session.form;
}

void reset_session_state() {
    AllSessionState& s = all();
    // Keep what belongs to the process rather than the session: the form, the progress hooks,
    // the flags init_session stored, the timer handle of an open port and the status text.
    SessionState kept = std::move(s.session);
    const std::uint16_t timer_handle = s.link.timer_handle;
    s.link = LinkState{};
    s.link.timer_handle = timer_handle;
    s.queue = StepQueueState{};
    // The status text is the program's: set before its form exists ("The Zor is Idle"), it
    // must not read empty once the form is made.
    std::string status_text = std::move(s.run.status_text);
    s.run = RunState{};
    s.run.status_text = std::move(status_text);
    s.barcode = BarcodeState{};
    s.session = SessionState{};
    s.session.form = kept.form;
    s.session.config_progress = std::move(kept.config_progress);
    s.session.reset_after_firmware = kept.reset_after_firmware;
    s.session.framed = kept.framed;
    s.session.connect_on_create = kept.connect_on_create;
    s.session.debug_page = kept.debug_page;
    s.session.extension = std::move(kept.extension);
    s.session.sample_type_list = std::move(kept.sample_type_list);
    s.session.program_name = std::move(kept.program_name);
    mounted_syringe().clear();
}

}  // namespace core
