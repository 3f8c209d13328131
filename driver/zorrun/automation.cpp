#include "driver/zorrun/automation.h"

#include <cmath>
#include <memory>
#include <vector>

#include "core/barcode.h"
#include "core/config_model.h"
#include "core/framed_link.h"
#include "core/method_expansion.h"
#include "core/method_run.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "core/step_sequences.h"
#include "core/window_broadcast.h"
#include "core/zor_lib_form.h"
#include "driver/zorrun/driver_forms.h"
#include "driver/zorrun/method_document.h"
#include "driver/zorrun/run_preparation.h"
#include "driver/zorrun/status_model.h"
#include "utilities/log.h"
#include "utilities/message_boxes.h"
#include "utilities/session.h"
#include "utilities/text.h"

namespace zorrun {

namespace {

constexpr int resends_before_giving_up = 3;

bool port_open() {
    return core::session_state().connected && core::session_port() != nullptr;
}

// The link has resent the outstanding command three times without a good reply, or the port
// went away (a failed port change): no answer can come.
bool link_gave_up() {
    const core::LinkState& link = core::link_state();
    return !port_open() || (link.lost && link.resends_since_queue >= resends_before_giving_up);
}

// Why nothing reaches the instrument: what the port said when it would not open.
std::string not_reachable_text() {
    const std::string& why = core::session_state().port_failure;
    return "The Zor is not reachable: " + (why.empty() ? std::string("its port is not open") : why);
}

// Idle, unless the instrument still carries out a macro or the end of a run: then busy until
// that ends (the end of a method sets the status).
void set_status_idle_unless_working() {
    if (core::run_state().run_active)
        set_status(status_busy, "The Zor is busy");
    else
        set_status_idle();
}

// Operating modes of the host, and start modes (1: wait for contact closure).
constexpr std::int32_t last_operating_mode = 3;
constexpr std::int32_t last_start_mode = 1;

// A job that would replace the configuration upload's sequence is refused while it runs: the
// upload would be left half done, the instrument at 38400 baud.
void refuse_during_upload(const std::string& what) {
    if (core::upload_under_way())
        throw AutomationFailure(ZOR_E_BUSY, what + ": the configuration is being uploaded");
}

// The tray's name as the configuration spells it: the instrument gets it in that spelling.
std::string configured_tray(const std::string& tray) {
    const int i = core::find_object(tray);
    return i >= 0 ? core::config_model().objects[i].name.str() : tray;
}

Twait_form& wait_form() {
    Twait_form* form = dialog_state().wait_form;
    if (!form) throw AutomationFailure(platform::com::E_UNEXPECTED, "the wait form does not exist");
    return *form;
}

[[noreturn]] void fail_wait(Twait_form::WaitEnd end, const char* what) {
    if (end == Twait_form::WaitEnd::quit)
        throw AutomationFailure(platform::com::E_ABORT, std::string(what) + ": the driver is ending");
    throw AutomationFailure(ZOR_E_NO_ANSWER, std::string(what) + ": the instrument did not answer");
}

}  // namespace

unsigned syringe_wait_bound_ms() {
    const core::LinkState& link = core::link_state();
    // The next poll, the query itself and three resends of it, with room to spare.
    const long ticks = long(link.polling_ticks) + 5L * link.reply_timeout_ticks;
    return static_cast<unsigned>(ticks * core::tick_ms + 2000);
}

unsigned barcode_wait_bound_ms() {
    // A read moves the arm and polls the reader's atom: allow half a minute more.
    return syringe_wait_bound_ms() + 30000;
}

// ---- IIZor --------------------------------------------------------------------------------

std::int32_t get_status() {
    return vzor_state().status_code;
}

std::int32_t initialize() {
    // A run is under way from the moment its preparation was taken: a preparation still at its
    // syringe check is dropped with the method it would start, and the end of the sample list
    // runs as for a started one.
    const bool prepared = withdraw_syringe_check();
    if (core::run_state().run_active || prepared) core::run_sl_exit();
    const bool folder_set = !putils::session().method_folder.empty();
    if (!folder_set)
        putils::show_error("The Zor Method folder is not defined. Please run instrument configuration");
    core::connect_port();
    if (!port_open()) {
        // Nothing can reach the instrument: the status says so, and so does the answer.
        const std::string why = not_reachable_text();
        set_status(status_disconnected, why);
        throw AutomationFailure(ZOR_E_NOT_CONNECTED, why);
    }
    if (folder_set) set_status_idle_unless_working();
    return 1;
}

std::int32_t start_run() {
    // Kept from the status model: a start with nothing prepared leaves the status alone rather
    // than claim a run goes on; the host is not failed for it.
    if (!core::run_state().run_active && !syringe_check_pending()) {
        putils::append_log("zorrun:StartRun: no run is prepared; the status stays " +
                           std::to_string(vzor_state().status_code));
        return 1;
    }
    if (vzor_state().start_mode == 1) {
        set_status(status_waiting_for_contact, "Waiting for contact closure");
    } else {
        set_status(status_continuing, "Zor continuing method");
    }
    core::set_go_flag();
    return 1;
}

std::int32_t stop_run() {
    if (core::run_state().run_active) {
        core::request_stop();
    } else if (withdraw_syringe_check()) {
        // Stopped before its method started: nothing of it runs.
        set_status_idle();
    }
    return 1;
}

std::int32_t prepare_for_run(std::string_view, std::string_view methname, std::string_view,
                             std::int32_t row_ind, std::int32_t start_mode, std::string_view vial,
                             double inj_volume, std::int32_t) {
    const std::string not_ready = "Got a run command, but not ready";
    // A run that is still going (a Reset or ClearStatus during a run sets status 1 while its
    // METHOD EXIT part runs) or being prepared is not disturbed: the status goes on telling
    // about it.
    if (core::run_state().run_active || syringe_check_pending())
        throw AutomationFailure(ZOR_E_NOT_READY, not_ready + ": a run is under way");
    refuse_during_upload(not_ready);
    const VzorState& state = vzor_state();
    if (state.status_code != status_idle) {
        const std::string was = "status " + std::to_string(state.status_code) + ": " + status_text();
        // An instrument that cannot be reached stays reported as such.
        if (state.status_code != status_disconnected) set_status(status_not_ready, not_ready);
        throw AutomationFailure(ZOR_E_NOT_READY, not_ready + " (" + was + ")");
    }
    // A port that would not open (and a client that cleared the status since) leaves nothing to
    // run on: the run fails now instead of waiting at status 3 for an answer that cannot come.
    if (!core::session_state().connected && !core::session_state().port_failure.empty())
        throw AutomationFailure(ZOR_E_NOT_CONNECTED, not_ready + ": " + not_reachable_text());
    // The sample's values are checked before anything is read or moves.
    std::string tray, position;
    split_vial(vial, tray, position);
    if (const std::string why = core::vial_problem(tray, position); !why.empty())
        throw AutomationFailure(platform::com::E_INVALIDARG, "Vial \"" + std::string(vial) + "\": " + why);
    const std::string configured_vial = configured_tray(tray) + ":" + position;
    if (start_mode < 0 || start_mode > last_start_mode)
        throw AutomationFailure(platform::com::E_INVALIDARG,
                                "StartMode " + std::to_string(start_mode) + " is not a start mode (0 or 1)");
    // Negative and tiny volumes become 0 (prepare_method); NaN and infinities are no volume at all.
    if (!std::isfinite(inj_volume))
        throw AutomationFailure(platform::com::E_INVALIDARG,
                                "Injection volume " + putils::real_to_text(inj_volume) + " is not a volume");
    std::vector<std::string> lines;
    std::string why;
    if (const std::int32_t hr = read_document_method(std::string(methname), lines, &why); hr != 0)
        throw AutomationFailure(hr, why, AutomationFailure::utf8_text);
    if (!prepare_method(std::move(lines), methname, row_ind, start_mode, configured_vial, inj_volume))
        throw AutomationFailure(platform::com::E_FAIL, status_text());
    return 1;
}

std::int32_t instrument_has_stopped(std::int32_t) {
    return core::run_state().run_active ? 0 : 1;
}

std::string validate_method(std::string_view storage_bytes) {
    // Read into a list of its own: the method of a run being prepared stays as it is.
    std::vector<std::string> lines;
    // The reader tells why through the error reporter; bytes that are no compound file it does
    // not report.
    putils::session().last_error.clear();
    if (!read_storage_bytes_method(storage_bytes, lines)) {
        const std::string said = putils::session().last_error;
        return "The ZOR Method is not readable: " +
               (said.empty() ? std::string("the storage is no compound file") : said);
    }
    // PrepareForRun refuses it for the same reason.
    if (lines.empty()) return "The ZOR Method is not readable: " + std::string(no_syringe_line);
    return "";
}

std::int32_t change_operating_mode(std::int32_t new_mode) {
    if (new_mode < 0 || new_mode > last_operating_mode)
        throw AutomationFailure(
            platform::com::E_INVALIDARG,
            "ChangeOperatingMode: " + std::to_string(new_mode) + " is not an operating mode (0 to 3)");
    if (new_mode == 2 || new_mode == 3) {
        if (core::run_state().run_active) {
            core::request_stop();
        } else {
            // A run being prepared never starts: its check leaves the queue before the end
            // of the sample list's macro runs.
            withdraw_syringe_check();
            core::run_sl_exit();
        }
    }
    set_status_idle_unless_working();
    return 1;
}

std::int32_t read_bar_code(std::string_view vial, std::string& bar_code) {
    std::string tray, position;
    split_vial(vial, tray, position);
    // Only a vial of a tray of the configuration goes to the instrument; the texts themselves
    // would travel raw in the command.
    if (const std::string why = core::vial_problem(tray, position); !why.empty())
        throw AutomationFailure(platform::com::E_INVALIDARG, "Vial \"" + std::string(vial) + "\": " + why);
    refuse_during_upload("ReadBarCode");
    tray = configured_tray(tray);
    VzorState& state = vzor_state();
    // A read that fails must not hand back the code of an earlier one, nor the error state an
    // earlier error reply left.
    state.barcode_text.clear();
    core::barcode_state().state = core::barcode_not_read;
    const std::uint64_t reports = state.barcode_reports;
    if (core::read_barcode(tray, position) == 0) {
        bar_code = "Unreadable";
        return core::barcode_unreadable;
    }
    if (!port_open()) {
        // Nothing would ever send the read.
        core::step_queue().pending_command.clear();
        throw AutomationFailure(ZOR_E_NOT_CONNECTED, "ReadBarCode: the port is not open");
    }
    const auto answered = [&state, reports] {
        return state.barcode_reports != reports || core::barcode_state().state == core::barcode_error;
    };
    const Twait_form::WaitEnd end = wait_form().wait_for(answered, link_gave_up, barcode_wait_bound_ms());
    if (end != Twait_form::WaitEnd::answered) fail_wait(end, "ReadBarCode");
    bar_code = state.barcode_text;
    return core::barcode_state().state;
}

// ---- IIZor2 -------------------------------------------------------------------------------

std::string atom_status() {
    // A refused or failed run and an instrument that cannot be reached keep their text: it is
    // the reason a client needs.
    const VzorState& state = vzor_state();
    const std::int32_t code = state.status_code;
    // A failure stands over the progress of the macro that may follow it (SL EXIT).
    if (code == status_not_ready && !state.failure_text.empty()) return state.failure_text;
    if (core::run_state().run_active || code == status_not_ready || code == status_disconnected)
        return status_text();
    return std::string(text_idle);
}

void reset() {
    if (core::run_state().run_active) {
        core::request_stop();
        VzorState& state = vzor_state();
        if (state.status_code == status_waiting_for_contact) state.status_code = status_idle;
    } else {
        // The clean-up replaces a preparation's syringe check: that run will not start.
        if (withdraw_syringe_check()) set_status_idle();
        core::queue_cleanup();
    }
}

void reload_configuration() {
    // An upload that nothing can carry out is no upload: the caller hears why.
    if (!port_open())
        throw AutomationFailure(ZOR_E_NOT_CONNECTED, "ReloadConfiguration: " + not_reachable_text());
    // The upload replaces a preparation's syringe check: that run will not start.
    if (withdraw_syringe_check()) set_status_idle();
    core::queue_reload_sequence();
}

void set_tray_type(std::string_view tray, std::string_view typ) {
    refuse_during_upload("SetTrayType");
    // Only a tray of the model and a tray type of the model make a download the instrument
    // can take; anything else changes nothing.
    if (!core::object_is_of_class(tray, "TRAY"))
        throw AutomationFailure(platform::com::E_INVALIDARG,
                                "SetTrayType: " + std::string(tray) + " is no tray");
    if (!core::object_is_of_class(typ, "TRAY_TYPE"))
        throw AutomationFailure(platform::com::E_INVALIDARG,
                                "SetTrayType: " + std::string(typ) + " is no tray type");
    if (!core::download_tray_type(tray, typ))
        throw AutomationFailure(platform::com::E_INVALIDARG,
                                "SetTrayType: the tray type of " + std::string(tray) + " cannot be set");
}

void clear_status() {
    set_status_idle();
}

std::int32_t uploading() {
    return core::session_state().uploading;
}

void start_polling() {
    core::connect_port();
}

void change_ports(std::int32_t) {
    core::session_state().port_change_requested = true;
}

std::string get_syringe() {
    if (!port_open()) throw AutomationFailure(ZOR_E_NOT_CONNECTED, "GetSyringe: the port is not open");
    // Installing the query would throw away the job that runs now (a run's syringe check, an
    // upload, a clean-up).
    if (!core::step_queue_empty()) throw AutomationFailure(ZOR_E_BUSY, "GetSyringe: another job is running");
    auto answered = std::make_shared<bool>(false);
    core::queue_get_syringe([answered] {
        *answered = true;
        core::notify_wait_forms();
    });
    const std::uint64_t job = core::step_queue().generation;
    const Twait_form::WaitEnd end =
        wait_form().wait_for([answered] { return *answered; }, link_gave_up, syringe_wait_bound_ms());
    if (end != Twait_form::WaitEnd::answered) {
        // The caller has its failure: withdraw the query so that, once the instrument answers
        // again, it does not hold the queue and refuse the caller's next try as busy. A job
        // another call installed meanwhile is left alone.
        if (core::step_queue().generation == job) core::clear_step_queue();
        fail_wait(end, "GetSyringe");
    }
    return core::mounted_syringe();
}

}  // namespace zorrun
