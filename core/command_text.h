// Command text from expanded macro lines, and the small text operations on command lines.
//
// A command line is an atom name, "(", every parameter value followed by "," (the last one
// too), then ")"; an atom without parameters gives "NAME()". Lists travel as item indices,
// objects as names, numbers as integers in instrument units (thousandths of a scaled user unit,
// truncated toward zero). Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "utilities/text.h"

namespace core {

// Lines are split into at most this many arguments; a line with more is refused.
inline constexpr int max_line_arguments = 40;

// The text up to the first "(" (the whole line when there is none).
std::string command_name(std::string_view line);
bool line_has_command(std::string_view line, std::string_view name);
// Drops the line's closing ")" (only that character), returns the name before "(" (leading
// blanks skipped) and leaves the cursor at the arguments.
std::string split_command_name(putils::Cursor& line);
// Splits an argument text at "," (blanks in front of each skipped; a trailing "," adds no
// argument). False when there are more than max_line_arguments.
bool split_arguments(std::string_view text, std::vector<std::string>& arguments);
// split_command_name and split_arguments of a whole line.
bool split_line(std::string_view line, std::string& name, std::vector<std::string>& arguments);

// One of "SL.tray", "SL.tray2", "SL.injector", "SL.injector2".
bool is_object_variable(std::string_view text);
bool is_syr(std::string_view text);
// Replaces "SYR" or an SL object variable by its object's name; true when it did.
bool substitute_object_variable(std::string& text);

// The value, or what the out-of-range question gives when it lies outside [min, max].
double limit_value(std::string_view context, std::string_view unit, double max, double min, double value);
// The installed asker's answer (engine_hooks), or the violated bound when none is installed.
double ask_out_of_range_value(std::string_view context, std::string_view unit, double max, double min,
                              double bound, double value);

// Turns line n of the expanded method (the executor's current step) into command text. False
// after reporting the one error through show_error; nothing is queued either way (the caller
// makes the command pending).
bool line_to_command(int expanded_index, std::string_view line, std::string& command);

}  // namespace core
