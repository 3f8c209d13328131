#include "driver/zorrun/run_preparation.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "core/method_expansion.h"
#include "core/method_run.h"
#include "core/run_variables.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "core/step_sequences.h"
#include "driver/zorrun/driver_forms.h"
#include "driver/zorrun/status_model.h"
#include "platform/storage/method_codec.h"
#include "platform/text/text.h"
#include "utilities/session.h"
#include "utilities/text.h"

namespace zorrun {

RunPreparationState& run_preparation_state() {
    static RunPreparationState state;
    return state;
}

void reset_run_preparation_state() {
    run_preparation_state() = RunPreparationState{};
}

bool syringe_check_pending() {
    const RunPreparationState& prep = run_preparation_state();
    return prep.check_job != 0 && core::step_queue().generation == prep.check_job &&
           !core::step_queue_empty();
}

bool withdraw_syringe_check() {
    if (!syringe_check_pending()) return false;
    core::clear_step_queue();
    run_preparation_state().check_job = 0;
    return true;
}

void split_vial(std::string_view vial, std::string& tray, std::string& position) {
    tray.clear();
    position.clear();
    const std::size_t colon = vial.find(':');
    if (colon == std::string_view::npos) {
        tray = std::string(vial);
        return;
    }
    tray = std::string(vial.substr(0, colon));
    position = std::string(vial.substr(colon + 1));
}

std::string file_name_part(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

namespace {

// The vial number, or 1 for a position that is not an integer (or does not fit 32 bits).
std::int32_t sample_index_of(const std::string& position) {
    if (!putils::is_integer(position)) return 1;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(position.c_str(), &end, 10);
    if (errno != 0 || value < INT32_MIN || value > INT32_MAX) return 1;
    return static_cast<std::int32_t>(value);
}

}  // namespace

bool prepare_method(std::vector<std::string> method_lines, std::string_view methname, std::int32_t row_ind,
                    std::int32_t start_mode, std::string_view vial, double inj_volume) {
    core::MethodState& method = core::method_state();
    RunPreparationState& prep = run_preparation_state();
    method.method_source.clear();
    if (!platform::storage::take_syringe_line(method_lines, prep.method_syringe))
        throw std::runtime_error(std::string(no_syringe_line));
    method.method_source = std::move(method_lines);

    core::RunVariables& vars = core::run_variables();
    // Also catches NaN.
    vars.sample_volume = inj_volume >= 1e-9 ? inj_volume : 0.0;

    std::string tray, position;
    split_vial(vial, tray, position);
    // The core's texts are Windows-1252: a file name it cannot hold keeps "?" in its place there.
    prep.method_file_name = platform::text::cp1252_from_utf8(file_name_part(methname));
    vars.sample_index = sample_index_of(position);
    vars.sample_tray = tray;

    method.row_flag = (row_ind == -1);
    method.skip_wrappers = false;
    vzor_state().start_mode = start_mode;

    // What the expansion reports is the reason the caller gets with the failure.
    putils::session().last_error.clear();
    if (!core::build_error_macros()) {
        set_status(status_not_ready,
                   failure_with_reason("Error in error macros", putils::session().last_error));
        return false;
    }
    set_status(status_starting_method, "Zor starting method");
    core::queue_get_syringe(check_syringe_then_run);
    prep.check_job = core::step_queue().generation;
    return true;
}

void check_syringe_then_run() {
    RunPreparationState& prep = run_preparation_state();
    const std::string& mounted = core::mounted_syringe();
    if (!prep.method_syringe.empty() && !putils::same_text(prep.method_syringe, mounted)) {
        const std::uint64_t job = prep.check_job;
        const bool go_on = ask_syringe_mismatch();
        // The run was dropped while the user was asked (Initialize, StopRun, a reset): the
        // answer has nothing left to act on.
        if (prep.check_job != job) return;
        if (go_on) {
            // Ask the instrument again (the user should have changed the syringe): the whole
            // sequence runs again from GET_SYR at the next reply.
            core::step_queue().position = -1;
        } else {
            set_status(status_not_ready, "Mismatch between method syringe and actual syringe!");
            core::run_sl_exit();
        }
        return;
    }
    // Only this preparation decides about the wrappers: a macro run meanwhile (SL EXIT) must not
    // take the method's entry and exit parts away.
    core::method_state().skip_wrappers = false;
    putils::session().last_error.clear();
    if (core::build_running_method(prep.method_syringe, 0, core::method_state().method_source)) {
        core::start_method();
    } else {
        set_status(status_not_ready, failure_with_reason("Error in method!", putils::session().last_error));
    }
}

}  // namespace zorrun
