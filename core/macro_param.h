// One declared parameter of a macro, as the expander and the evaluators use it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace core {

inline constexpr int max_macro_params = 40;

struct MacroParam {
    std::string name;
    std::string unit;              // user unit; "" for a plain number or an object parameter
    std::uint32_t class_mask = 0;  // object parameters: the classes allowed; 0 for a number
    // Number parameters: the three value texts of the declaration (expressions of the unit);
    // "0" for an object parameter.
    std::string default_value;
    std::string minimum;
    std::string maximum;
};

using MacroParamTable = std::array<MacroParam, max_macro_params>;

}  // namespace core
