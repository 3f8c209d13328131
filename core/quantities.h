// Quantities: the two unit vocabularies of the core and the value conversions at its borders.
//
// The instrument works in integer instrument units ("nl", "µm", "nl/s", "m°C", and "E" for a
// plain number); users, methods, expressions and the configuration model use user units ("µl",
// "mm", "µl/s", "°C", "" for a plain number). Four user units scale by 1000; any other unit
// text (for example "s") is the same on both sides and is not scaled.
//
// Unit texts are Windows-1252: "µ" is the byte 0xB5, "°" the byte 0xB0. Mapping between the
// vocabularies ignores letter case; the scaled-unit test compares byte for byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// The non-ASCII unit texts, kept in one place.
std::string_view unit_ul();        // "µl"
std::string_view unit_ul_per_s();  // "µl/s"
std::string_view unit_degc();      // "°C"
std::string_view unit_mdegc();     // "m°C"
std::string_view unit_um();        // "µm"

// One of "mm", "µl", "°C", "µl/s", exactly (case-sensitive).
bool is_scaled_unit(std::string_view user_unit);

// Instrument unit to user unit ("E" gives ""; an unknown text comes back unchanged).
std::string to_user_unit(std::string_view instrument_unit);
// Whether values of an instrument unit can be read. Any unit text outside the table is a unit of
// its own, not scaled ("s", "µs", "°F", "um"). Refused is only what cannot be a unit text at all:
// a control character, "?" or the replacement character, the marks of a lossy conversion, which
// would turn a scaled unit into an unscaled one and its values 1000 times too large.
bool is_readable_instrument_unit(std::string_view instrument_unit);
// User unit to instrument unit ("" gives "E"; an unknown text comes back unchanged).
std::string to_instrument_unit(std::string_view user_unit);

// An atom limit as read from the configuration: an integer text other than "0" in a scaled unit
// is divided by 1000 (2500 in "µl" gives 2.5, -500 gives -0.5); anything else (1500.0, an
// expression) is returned unchanged. The division is done on the digits, so long integers keep
// every digit and never wrap.
std::string instrument_value_to_user(std::string_view text, std::string_view user_unit);

// An atom limit written back to the configuration: a real number text is multiplied by 1000 in
// a scaled unit and truncated toward zero (2.5 in "µl" gives 2500, 0.0005 gives 0); any other
// text (an expression) is returned unchanged. Done on the digits, so 1.001 gives exactly 1001.
std::string user_value_to_instrument(std::string_view text, std::string_view user_unit);

// A class limit (held in instrument units) as text for the written configuration: a plain
// decimal of at most 15 significant digits that the reader takes back unchanged (1.9 stays 1.9,
// 1000 is "1000"; no exponent form).
std::string limit_to_text(double value);

// Numbers read from a configuration must stay within this magnitude (instrument units), so that
// every value keeps its thousandths in a double and every scaled integer fits 64 bits.
inline constexpr double max_number_magnitude = 1e15;

// A user value as the instrument integer of a command line: times 1000 in a scaled unit, then
// truncated toward zero. A product that lies within a rounding error of an integer counts as that
// integer (1.005 µl gives 1005, not 1004), while 1.9999 µl still gives 1999. Empty when the value
// is not finite or its integer would exceed max_number_magnitude * 1000.
std::optional<std::int64_t> command_integer(double user_value, std::string_view user_unit);

// A user value as the instrument integer of an object line: times 1000 in a scaled unit, then
// rounded to the nearest integer, a half to the even neighbour (2.5 gives 2, 3.5 gives 4).
// Empty as for command_integer.
std::optional<std::int64_t> object_integer(double user_value, std::string_view user_unit);

// A value read in instrument units as held in the model: divided by 1000 in a scaled unit.
double instrument_number_to_user(double instrument_value, std::string_view user_unit);

}  // namespace core
