#include "core/method_run.h"

#include <cmath>
#include <vector>

#include "core/command_text.h"
#include "core/config_model.h"
#include "core/expressions.h"
#include "core/framed_link.h"
#include "core/method_expansion.h"
#include "core/quantities.h"
#include "core/reply_dispatcher.h"
#include "core/run_variables.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "core/uilib.h"
#include "core/zor_lib_form.h"
#include "utilities/message_boxes.h"
#include "utilities/text.h"

namespace core {

namespace {

constexpr std::int32_t answer_abort = 3;
constexpr std::int32_t answer_retry = 4;
constexpr std::int32_t answer_ignore = 5;

bool is_model_atom(std::string_view name) {
    const Tconfig_model& model = config_model();
    return find_atom(name) < model.atom_count;
}

// The text between "(" and the first ",": the first argument of a command.
std::string first_argument(std::string_view command) {
    const auto open = command.find('(');
    if (open == std::string_view::npos) return {};
    const auto rest = command.substr(open + 1);
    const auto end = rest.find_first_of(",)");
    return std::string(rest.substr(0, end));
}

// The local atoms that change the run variables; true when the name is one of them.
bool apply_index_atom(std::string_view name) {
    RunVariables& vars = run_variables();
    if (putils::same_text(name, "INC_INDEX")) {
        ++vars.sample_index;
    } else if (putils::same_text(name, "DEC_INDEX")) {
        --vars.sample_index;
    } else if (putils::same_text(name, "INC_USER_INDEX")) {
        ++vars.user_index;
    } else if (putils::same_text(name, "DEC_USER_INDEX")) {
        --vars.user_index;
    } else if (putils::same_text(name, "RESET_USER_INDEX")) {
        vars.user_index = 1;
    } else {
        return false;
    }
    return true;
}

// REPEAT and END on a list walked by `index`; true when the name is one of them.
bool apply_loop_atom(std::string_view name, const std::string& command, const std::vector<std::string>& list,
                     std::int32_t& index) {
    RunVariables& vars = run_variables();
    RunState& run = run_state();
    if (putils::same_text(name, "REPEAT")) {
        const std::int32_t count = putils::text_to_int(first_argument(command));
        vars.repeat_total = count;
        vars.repeat_remaining = count;
        if (count != 0) {
            ++index;
            run.repeat_start = index;
        } else {
            while (index < static_cast<std::int32_t>(list.size()) &&
                   !putils::same_text(command_name(list[index]), "END"))
                ++index;
            ++index;
        }
        return true;
    }
    if (putils::same_text(name, "END")) {
        --vars.repeat_remaining;
        if (vars.repeat_remaining > 0)
            index = run.repeat_start;
        else
            ++index;
        return true;
    }
    return false;
}

void restore_method_loop() {
    RunState& run = run_state();
    RunVariables& vars = run_variables();
    vars.repeat_total = run.saved_repeat_total;
    vars.repeat_remaining = run.saved_repeat_remaining;
    run.repeat_start = run.saved_repeat_start;
}

void apply_error_response() {
    RunState& run = run_state();
    // A stop while the question was open wins over Retry and Ignore.
    if (run.stop_requested) run.error_answer = answer_abort;
    run.error_mode = false;
    restore_method_loop();
    uilib::on_step_changed();
    switch (run.error_answer) {
        case answer_abort:
            run.failed = true;
            if (run.step_index < method_state().method_exit_index) jump_to_method_exit();
            uilib::on_error_abort();
            break;
        case answer_retry:
            // Back to the method line whose command failed; an error of a command that came
            // from no method line has nothing to repeat.
            if (run.failed_step >= 0) run.step_index = run.failed_step;
            break;
        case answer_ignore:
        default:  // the method goes on after the failed line
            break;
    }
}

// A method line that cannot be turned into a command cannot run at all (its message has been
// shown): the method part ends as after Abort, and a bad METHOD EXIT line ends the run.
void give_up_line() {
    RunState& run = run_state();
    run.failed = true;
    const int exit_index = method_state().method_exit_index;
    if (run.step_index < exit_index && exit_index >= 0) {
        jump_to_method_exit();
        uilib::on_error_abort();
    } else {
        run.step_index = static_cast<std::int32_t>(run.cmd_list.size());
    }
}

}  // namespace

void start_method() {
    prepare_cmd_list();
    run_state().go_flag = false;
}

void prepare_cmd_list() {
    RunState& run = run_state();
    run.cmd_list = method_state().expanded_method;
    run.error_mode = false;
    run.step_index = 0;
    run.waiting_for_ds = false;
    run.last_method_step = -1;
    run.last_method_command.clear();
    run.failed = false;
    run.failure_text.clear();
    run.stop_requested = false;
    run.run_active = true;
    // The lists are shown on the debug page only; a hidden page gets them when it is shown.
    if (Tzor_lib* form = zor_lib(); form && form->Visible) form->sync_lists();
    uilib::on_run_started();
}

void jump_to_method_exit() {
    run_state().step_index = method_state().method_exit_index;
}

bool method_ended() {
    RunState& run = run_state();
    if (run.step_index < static_cast<std::int32_t>(run.cmd_list.size())) return false;
    if (run.run_active) {
        run.run_active = false;
        run.waiting_for_ds = false;
        uilib::on_method_finished();
    }
    return true;
}

void run_next_step() {
    RunState& run = run_state();
    // Local atoms run at once, one after the other, until a line sends, waits or ends the run.
    for (;;) {
        if (method_ended()) return;
        const std::string line = run.cmd_list[run.step_index];
        const std::string name = command_name(line);
        if (!is_model_atom(name)) {
            if (!queue_command(line)) {
                give_up_line();
                continue;
            }
            run.last_method_step = run.step_index;
            run.last_method_command = line;
            ++run.step_index;
            return;
        }
        std::string command;
        if (!line_to_command(run.step_index, line, command)) {
            give_up_line();
            continue;
        }
        const std::string atom = command_name(command);
        if (apply_index_atom(atom)) {
            ++run.step_index;
            continue;
        }
        if (putils::same_text(atom, "SET_INJECTED")) {
            uilib::on_injected();
            ++run.step_index;
            continue;
        }
        if (apply_loop_atom(atom, command, run.cmd_list, run.step_index)) continue;
        if (putils::same_text(atom, "WAIT_FOR_DS")) {
            run.go_flag = false;
            uilib::on_waiting_for_ds();
            add_debug_line("setting wait for ds ready = true");
            run.waiting_for_ds = true;
            return;
        }
        uilib::on_step_changed();
        if (!queue_command(command)) {
            give_up_line();
            continue;
        }
        run.last_method_step = run.step_index;
        run.last_method_command = command;
        ++run.step_index;
        return;
    }
}

void run_next_error_step() {
    RunState& run = run_state();
    const std::vector<std::string>& list = method_state().alternate_cmd_list;
    for (;;) {
        if (run.error_step_index >= static_cast<std::int32_t>(list.size())) {
            // No error macros (a macro run before any run preparation), or a list that lacks
            // its closing step: the user still decides.
            if (run.error_answer == 0) run.error_answer = putils::ask_abort_retry_ignore(run.error_text);
            apply_error_response();
            return;
        }
        const std::string line = list[run.error_step_index];
        if (putils::same_text(line, "ERROR DLG()")) {
            run.error_answer = putils::ask_abort_retry_ignore(run.error_text);
            if (run.stop_requested) {
                // The run was stopped while the question was open: it has left error mode for
                // its METHOD EXIT part, and nothing the answer says is carried out.
                run.error_answer = answer_abort;
                return;
            }
            ++run.error_step_index;
            continue;
        }
        if (putils::same_text(line, "ERROR RESPONSE()")) {
            apply_error_response();
            return;
        }
        if (!is_model_atom(command_name(line))) {
            ++run.error_step_index;
            continue;
        }
        std::string command;
        if (!error_line_to_command(line, command)) {
            // Its message is shown; the error handling goes on without it.
            ++run.error_step_index;
            continue;
        }
        const std::string atom = command_name(command);
        if (apply_index_atom(atom)) {
            ++run.error_step_index;
            continue;
        }
        if (apply_loop_atom(atom, command, list, run.error_step_index)) continue;
        ++run.error_step_index;
        // A command no frame can carry has had its message; the error handling goes on without it.
        if (queue_command(command)) return;
    }
}

namespace {

// Error-mode values are rounded, not truncated.
std::optional<std::int64_t> error_integer(double value, std::string_view unit) {
    const double scaled = is_scaled_unit(unit) ? value * 1000.0 : value;
    if (!std::isfinite(scaled) || std::fabs(scaled) > max_number_magnitude * 1000.0) return std::nullopt;
    return std::llround(scaled);
}

}  // namespace

bool error_line_to_command(std::string_view line, std::string& command) {
    const Tobject_rec* syringe = method_syringe_record();
    ArgumentRules rules;
    rules.evaluate = [syringe](std::string_view text, std::string_view unit, const std::string& context,
                               int atom, std::span<const std::string> args, double& value) {
        return evaluate_error_expression(text, unit, syringe, context, atom, args, value);
    };
    rules.object_name = [](std::string& argument) { substitute_object_variable(argument); };
    rules.cant_understand = [](const std::string& context, const std::string& argument) {
        return argument + ": cant understand " + context;
    };
    rules.integer = error_integer;
    return encode_atom_line(line, rules, command);
}

void request_stop() {
    RunState& run = run_state();
    if (!run.run_active) return;
    run.stop_requested = true;
    // A stop inside the METHOD EXIT part lets it finish rather than start it again.
    if (run.step_index < method_state().method_exit_index) jump_to_method_exit();
    // A run waiting for the data system or handling an error goes straight to its end.
    run.waiting_for_ds = false;
    if (run.error_mode) {
        run.error_mode = false;
        restore_method_loop();
    }
    run.cancel_requested = true;
}

void set_go_flag() {
    RunState& run = run_state();
    run.go_flag = true;
    // The flag is seen at the next completed reply. A run already waiting gets that reply from
    // a poll sent now: the idle poll's interval paces an idle instrument, not a start.
    if (run.run_active && run.waiting_for_ds) poll_now_if_idle();
}

}  // namespace core
