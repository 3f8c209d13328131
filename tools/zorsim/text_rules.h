// The text rules of the instrument's configuration and command lines, as the host applies them,
// written here independently of the driver.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorsim {

// Equal with a-z and A-Z folded together; nothing else is folded.
bool same_text(std::string_view a, std::string_view b);

// A record line split at ";": each field skips its leading blanks (trailing blanks stay); a
// trailing ";" adds no empty field; two ";" in a row give an empty one.
std::vector<std::string> split_fields(std::string_view line);

// An optional "-", then digits with at most one "." (no blank, "+" or exponent); "." alone counts.
bool is_real_text(std::string_view text);
double real_value(std::string_view text);  // 0 when not is_real_text
// An optional "-" and at least one digit, nothing else.
bool is_integer_text(std::string_view text);
// The value of an is_integer_text text, held to the range of int; 0 for anything else.
int integer_value(std::string_view text);
// "m:ss", ":ss" or "m:" with seconds below 60.
bool is_time_text(std::string_view text);

// The user unit of an instrument unit: "nl" "µl", "µm" "mm", "nl/s" "µl/s", "m°C" "°C", "E" "";
// anything else unchanged.
std::string to_user_unit(std::string_view instrument_unit);
// The four user units whose instrument values are thousandths (compared exactly).
bool is_scaled_unit(std::string_view user_unit);

}  // namespace zorsim
