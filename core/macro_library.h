// The macro library: one file "<macro name>.pma" per macro in the method folder.
//
// A macro file has, in this order: comment lines beginning "//"; parameter declaration lines
// (lines containing ";"), one parameter each; body lines, each an atom name followed by its
// arguments in parentheses. Declarations:
//   object parameter   name;CLASS[;CLASS...]            (the second field names a class)
//   number parameter   name (unit);default;minimum;maximum
// The name of a number parameter is the text before "(" without its last character (the blank
// before the parenthesis), so "Volume(µl)" declares "Volum". Its three values must be valid
// expressions of the unit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/macro_param.h"

namespace core {

// method folder + "/" + the name with everything from its first "." on removed.
std::string path_in_method_folder(std::string_view name);
// path_in_method_folder(name) + ".pma"
std::string macro_file_path(std::string_view name);
bool macro_file_exists(std::string_view name);
// The file's lines; empty when it cannot be read.
std::vector<std::string> load_macro_file(std::string_view name);
// The same, with false when the file cannot be read or its text is refused (load_lines has
// shown why), so that a refused file is not taken for an empty macro.
bool load_macro_file(std::string_view name, std::vector<std::string>& lines);

// The first two characters are "//".
bool is_comment_line(std::string_view line);
// The number of leading comment lines (the index of the first other line).
int count_header_lines(const std::vector<std::string>& lines);
// The line contains ";".
bool is_param_declaration(std::string_view line);
// "[MACRO " + name + "]"
std::string macro_header(std::string_view name);

// Parses a declaration; false when it is neither an object declaration nor a number declaration
// with three valid values.
bool parse_param_declaration(std::string_view line, MacroParam& param);
// A number parameter's value text is a valid expression of its unit.
bool check_declared_value(std::string_view text, std::string_view unit);

}  // namespace core
