// Any text as an expression, checked and evaluated in every unit against a realistic model,
// with macro parameters whose step arguments come from the input too (and may name each other).
//
// Input: lines. Line 0 is the expression; lines 1.. are the step arguments of the macro
// parameters Volume (µl), Speed (µl/s), Count (no unit), Time (s), A and B (µl).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/config_model.h"
#include "core/expressions.h"
#include "core/fuzz/fuzz_support.h"
#include "core/line_files.h"
#include "core/run_variables.h"

namespace {

struct ParamDeclaration {
    const char* name;
    const char* unit;
};

static constexpr std::array<ParamDeclaration, 6> param_declarations{{
    {"Volume", MU "l"},
    {"Speed", MU "l/s"},
    {"Count", ""},
    {"Time", "s"},
    {"A", MU "l"},
    {"B", MU "l"},
}};

static constexpr std::array<const char*, 6> units{"", MU "l", MU "l/s", "s", "mm", DEG "C"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    core_fuzz::start_session();
    static const bool loaded = (core_fuzz::load_fuzz_configuration(), true);
    (void)loaded;
    core::RunVariables& run = core::run_variables();
    run.sample_volume = 5;
    run.sample_index = 3;
    run.sample_tray = "Tray2";

    std::vector<std::string> lines =
        core::split_lines(std::string_view(reinterpret_cast<const char*>(data), size));
    if (lines.empty()) return 0;
    std::vector<core::MacroParam> params;
    for (const ParamDeclaration& d : param_declarations) {
        core::MacroParam p;
        p.name = d.name;
        p.unit = d.unit;
        params.push_back(p);
    }
    std::vector<std::string> step_args(lines.begin() + 1, lines.end());
    const std::vector<std::string> line_args{"Tray1", "1", "10"};

    core::EvaluationScope scope;
    scope.atom = core::find_atom("MOVE_TO_VIAL");
    scope.line_args = line_args;
    scope.params = params;
    scope.step_args = step_args;
    scope.syringe = core::object_record_by_name("100ul");
    for (const char* unit : units) {
        core::check_expression(lines[0], unit, true, false, scope.atom, params);
        double value = 0;
        core::evaluate_expression(lines[0], unit, scope, "FUZZ:P", value);
        core::evaluate_error_expression(lines[0], unit, scope.syringe, "FUZZ:P", scope.atom, line_args,
                                        value);
    }
    return 0;
}
