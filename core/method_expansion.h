// Method text and its expansion into atom lines.
//
// A method text is step lines (each a macro call "Name(arg,...)") up to the first line beginning
// "[MACRO ", then macro sections: a header "[MACRO " + name + "]" followed by the macro's
// declaration and body lines. Before a run the steps become `running_method` (wrapped in
// "METHOD ENTRY()" and "METHOD EXIT()" when the text has those sections) and every body line of
// every called macro becomes one validated atom line of `expanded_method`, with per-line tables
// saying which step and which macro parameters it belongs to. The error macros come from two
// library files into `alternate_cmd_list`.
//
// Every failure is shown once through show_error and makes the build return false. Main thread
// only.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/config_model.h"
#include "core/macro_param.h"

namespace core {

inline constexpr int max_expanded_lines = 1000;

// Where expanded line n came from.
struct ExpandedLineOrigin {
    int declaration_offset = 0;  // index of its macro's first declaration in running_macro_params
    int param_count = 0;         // number of its macro's parameters
    int step = 0;                // index of its step in running_method
    int call_start = 0;          // index in expanded_method where that macro call's lines begin
};

// The method engine's unit state. The line lists are plain string vectors for now; the core
// form will own them as its string lists.
struct MethodState {
    std::vector<std::string> running_method;
    std::vector<std::string> expanded_method;
    std::vector<std::string> running_macro_params;
    std::vector<std::string> alternate_cmd_list;
    std::vector<std::string> method_source;
    std::array<ExpandedLineOrigin, max_expanded_lines> origins{};
    // First expanded line of the "METHOD EXIT()" step; the number of expanded lines when there
    // is none.
    int method_exit_index = -1;
    // The method's syringe object (for "SYR." attributes); -1 when the name given is no object.
    int method_syringe = -1;
    // Wrapper suppression: the run's row flag, and the flag that running SL EXIT sets.
    bool row_flag = false;
    bool skip_wrappers = false;
    // Macro parameters: the expansion set (the call being expanded) and the execution set (the
    // line being validated or converted).
    MacroParamTable expansion_params{};
    MacroParamTable execution_params{};
    // The arguments of the macro call being expanded, and the index of running_method that the
    // "METHOD EXIT()" step gets.
    std::vector<std::string> call_arguments;
    int method_exit_step = -1;
};

MethodState& method_state();
void reset_method_state();

// The record of the method's syringe; nullptr when there is none.
const Tobject_rec* method_syringe_record();

// The expansion set's first `count` entries / the execution set's.
int find_macro_param(std::string_view name, int count);
int find_step_param(std::string_view name, int count);
// Parses a declaration into slot `slot` of the expansion set.
bool parse_macro_param(int slot, std::string_view line);
// Loads the parameters of expanded line n's macro into the execution set; returns their number
// (0 for n = -1, "no macro call").
int load_step_params(int expanded_index);

bool build_running_method(std::string_view syringe_name, int first_step,
                          const std::vector<std::string>& text);
bool expand_macro_call(std::string_view step_line, int& counter, int& declaration_offset,
                       const std::vector<std::string>& text, int step_index);
// Lines [first, last] of the section "[MACRO name]"; false when there is none.
bool find_macro_section(std::string_view name, const std::vector<std::string>& text, int& first, int& last);
// Parses consecutive declarations from `index` (the section's last line is never one) into
// the expansion set and running_macro_params. Returns their number, or minus the index of a
// line that does not parse.
int parse_macro_params(const std::vector<std::string>& text, int& index, int last);
// The validated atom line for a body line of `macro` (expanded line n, or -1), "" on error.
std::string expand_macro_line(std::string_view macro, std::string_view line, int expanded_index);
bool method_has_macro(std::string_view name, const std::vector<std::string>& text);

bool build_error_macros();
bool load_error_macro(std::string_view name, std::vector<std::string>& list);
// The normalised atom line of an error macro, "" on error.
std::string check_atom_line(std::string_view line);
// "None" is accepted for a parameter that may take an OUT_SIGNAL or SYNC_SIGNAL object.
bool none_allowed(std::string_view argument, std::uint32_t class_mask);

}  // namespace core
