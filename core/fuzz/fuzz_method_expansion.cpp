// Any text as a method: expanded against a realistic model, every expanded line turned into
// command text. Nothing overruns a table or recurses without end, and every accepted line is a
// well-formed command.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/command_text.h"
#include "core/config_model.h"
#include "core/fuzz/fuzz_support.h"
#include "core/line_files.h"
#include "core/method_expansion.h"
#include "core/run_variables.h"

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
    if (!core::build_running_method(syringe, 1, text)) return 0;

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
