// Whether an atom parameter's limit text is an expression the host accepts for the unit: plain
// numbers, m:ss times (unit "s"), run variables, "SYR.<attribute>" of the syringe class,
// "<object parameter>.<attribute>" (with "Max Index"), unary minus, parentheses and + - * / with
// their unit rules. Used to check configuration texts before they are served.
#pragma once

#include <string_view>

namespace zorsim {

struct AtomDef;
class ConfigText;

bool is_limit_expression(const ConfigText& config, const AtomDef& atom, std::string_view text,
                         std::string_view unit);

}  // namespace zorsim
