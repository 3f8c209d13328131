// Parameter expressions with unit algebra.
//
// Number arguments of atoms and macros, atom parameter limits and macro parameter values are
// expressions: plain numbers, m:ss times (unit "s"), run variables, "SYR." attributes of the
// method's syringe, attributes of objects reached through an object argument
// ("Tray.Max Index"), macro parameters, unary minus, parentheses and + - * /. Each is checked
// against the unit its value must have. The checker decides validity (configuration, macro
// declarations and lines); the evaluators compute the value in user units when a command is built.
//
// Splits: the checker tries operator positions left to right; the evaluators split at + and -
// right to left before * and /, so a-b-c is (a-b)-c. A zero divisor gives 0. An object
// attribute that no path reaches gives 1.
//
// Texts longer than max_expression_length (after blanks next to operators are removed) are never
// valid: the search over splits grows with the cube of the length.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/config_model.h"
#include "core/macro_param.h"

namespace core {

inline constexpr std::size_t max_expression_length = 200;

// The text without blanks that touch an operator character ("(", ")", "*", "+", "-", "/") and
// without a blank at either end. Blanks between words stay.
std::string remove_blanks(std::string_view text);

// A syringe class exists and the text before the first "." is "SYR".
bool is_syringe_reference(std::string_view text);
// "Max Index" with no unit, or some class has an attribute of that name in that unit.
bool attribute_with_unit_exists(std::string_view attribute, std::string_view unit);
// The text before the first "." is an object parameter of the atom and the rest an attribute
// that exists in the unit. Gives the parameter's position, or -1.
int object_attribute_ref_position(int atom, std::string_view text, std::string_view unit);
bool is_object_attribute_ref(int atom, std::string_view text, std::string_view unit);
// "Spl Per Col" times "Spl Per Row" of the object.
double max_index(std::string_view object_name);
// The attribute's value found along the object's references (at most 4 levels; "Max Index"
// searches "Spl Per Col" and gives max_index of the object found). 1 when no path exists.
// False when a path exists but the objects along it do not (a dangling or "None" reference, or
// an object of another class than the path passes through).
bool object_attribute_value(std::string_view unit, std::string_view attribute, std::string_view object_name,
                            double& value);

// True when the text is a valid expression of the unit. `params` are the macro parameters
// that may be named (empty for none); `atom` is the atom whose object parameters may be
// referenced (-1 or the atom count for none).
bool check_expression(std::string_view text, std::string_view unit, bool syringe_attributes,
                      bool empty_allowed, int atom, std::span<const MacroParam> params);

// What an evaluation may read besides the run variables.
struct EvaluationScope {
    int atom = -1;                           // the atom whose line is converted
    std::span<const std::string> line_args;  // the atom line's arguments, by parameter position
    std::span<const MacroParam> params;      // the running macro's parameters
    std::span<const std::string> step_args;  // the step's arguments, by macro parameter
    const Tobject_rec* syringe = nullptr;    // the method's syringe object
};

// Evaluates the text in the unit. `context` (atom name + ":" + parameter name) goes into the
// message for a run variable used in the wrong unit. That message is shown only when the whole
// evaluation fails (a split that was tried and dropped says nothing); `reported` then tells that
// it was. Other failures are silent. The command builders add their own message either way.
bool evaluate_expression(std::string_view text, std::string_view unit, const EvaluationScope& scope,
                         std::string_view context, double& value, bool* reported = nullptr);
// The same for error-macro lines: no macro parameters.
bool evaluate_error_expression(std::string_view text, std::string_view unit, const Tobject_rec* syringe,
                               std::string_view context, int atom, std::span<const std::string> line_args,
                               double& value, bool* reported = nullptr);

}  // namespace core
