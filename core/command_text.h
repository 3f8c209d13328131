// Command text from expanded macro lines, and the small text operations on command lines.
//
// A command line is an atom name, "(", every parameter value followed by "," (the last one
// too), then ")"; an atom without parameters gives "NAME()". Lists travel as item indices,
// objects as names, numbers as integers in instrument units (thousandths of a scaled user unit,
// truncated toward zero). Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
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

// How a caller of encode_atom_line reads its number and object arguments, and words the message
// for a value it cannot evaluate; the rest of the command text is common.
struct ArgumentRules {
    // Evaluates a value or a limit text of a number parameter of `atom`, whose line has `args`.
    std::function<bool(std::string_view text, std::string_view unit, const std::string& context, int atom,
                       std::span<const std::string> args, double& value)>
        evaluate;
    // Turns an object argument into the object's name, in place.
    std::function<void(std::string& argument)> object_name;
    std::function<std::string(const std::string& context, const std::string& argument)> cant_understand;
    // The instrument integer of a value in its unit; empty when it is out of range.
    std::optional<std::int64_t> (*integer)(double value, std::string_view unit) = nullptr;
};

// The command text of an atom line: the line split, its atom looked up, every parameter encoded
// by the rules. False after reporting the one error through show_error.
bool encode_atom_line(std::string_view line, const ArgumentRules& rules, std::string& command);

// Turns line n of the expanded method (the executor's current step) into command text. False
// after reporting the one error through show_error; nothing is queued either way (the caller
// makes the command pending).
bool line_to_command(int expanded_index, std::string_view line, std::string& command);

}  // namespace core
