// Any text as a method: expanded against a realistic model, every expanded line turned into
// command text. Nothing overruns a table or recurses without end, and every accepted line is a
// well-formed command. The build gives what expanding its steps one by one gives (each call
// finding its section by a scan of the text): the same lines, tables and outcome.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/command_text.h"
#include "core/config_model.h"
#include "core/fuzz/fuzz_support.h"
#include "core/line_files.h"
#include "core/method_expansion.h"
#include "core/run_variables.h"
#include "utilities/session.h"

namespace {

// Expands running_method again step by step, as a build without its section index would.
void expand_again_step_by_step(const std::vector<std::string>& text, bool built) {
    core::MethodState& state = core::method_state();
    const std::vector<std::string> expanded = state.expanded_method;
    const std::vector<std::string> params = state.running_macro_params;
    const auto origins = state.origins;
    const int exit_index = state.method_exit_index;
    const std::string error = putils::session().last_error;
    state.expanded_method.clear();
    state.running_macro_params.clear();
    state.method_exit_index = -1;
    int counter = 0, offset = 0;
    bool ok = true;
    for (int i = 0; ok && i < int(state.running_method.size()); ++i) {
        const std::string step = state.running_method[i];
        ok = core::expand_macro_call(step, counter, offset, text, i);
    }
    if (ok && state.method_exit_index == -1) state.method_exit_index = counter;
    if (ok != built) core_fuzz::violated("a build and its steps expanded one by one agree on the outcome");
    if (!built) {
        if (putils::session().last_error != error) core_fuzz::violated("both report the same fault");
        return;
    }
    if (state.expanded_method != expanded || state.running_macro_params != params ||
        state.method_exit_index != exit_index)
        core_fuzz::violated("both give the same lines");
    for (int n = 0; n < counter; ++n)
        if (state.origins[n].declaration_offset != origins[n].declaration_offset ||
            state.origins[n].param_count != origins[n].param_count ||
            state.origins[n].step != origins[n].step || state.origins[n].call_start != origins[n].call_start)
            core_fuzz::violated("both give the same origins");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    core_fuzz::start_session();
    static const bool loaded = (core_fuzz::load_fuzz_configuration(), true);
    (void)loaded;
    core::RunVariables& run = core::run_variables();
    run.sample_volume = 5;
    run.sample_index = 3;
    run.sample_tray = "Tray2";
    run.mounted_syringe = "10ul";

    const std::vector<std::string> text =
        core::split_lines(std::string_view(reinterpret_cast<const char*>(data), size));
    core::MethodState& state = core::method_state();
    state.skip_wrappers = size > 0 && (data[0] & 1);
    const std::string syringe = text.empty() ? std::string() : text[0];
    const bool built = core::build_running_method(syringe, 1, text);
    expand_again_step_by_step(text, built);
    if (!built) return 0;

    if (state.expanded_method.size() > std::size_t(core::max_expanded_lines))
        core_fuzz::violated("at most 1000 expanded lines");
    if (state.method_exit_index < 0 || state.method_exit_index > int(state.expanded_method.size()))
        core_fuzz::violated("the METHOD EXIT position lies in the expanded lines");
    for (int n = 0; n < int(state.expanded_method.size()); ++n) {
        const std::string& line = state.expanded_method[n];
        if (line.empty() || line.back() != ')') core_fuzz::violated("an expanded line ends with )");
        std::string command;
        if (core::line_to_command(n, line, command) &&
            (command.back() != ')' || !core::line_has_command(command, core::command_name(line))))
            core_fuzz::violated("a command keeps its atom's name and ends with )");
        core::check_atom_line(line);
    }
    return 0;
}
