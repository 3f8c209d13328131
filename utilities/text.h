// Text, number and time helpers shared by every subsystem.
//
// Texts are 8-bit Windows-1252 strings. None of these routines keeps state; none raises. The two
// reading routines (read_int, read_real) report a bad number through show_error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace putils {

// " ZOR " followed by the instance number; every dialog caption ends with it.
std::string instance_suffix();

// Equal when compared character by character with only a-z/A-Z folded to one case.
bool same_text(std::string_view a, std::string_view b);
// same_text of the first prefix.size() characters; an empty prefix always matches.
bool starts_with_text(std::string_view text, std::string_view prefix);
// The header of a macro section in a method text: starts_with_text(line, "[MACRO ").
bool is_macro_line(std::string_view line);
// Everything from the first "." on removed (the result is at most 1000 characters).
std::string strip_extension(std::string_view text);

// A cursor over a text: the rest still to be read. A NUL byte ends the text, as the
// terminating zero of the original strings did.
using Cursor = std::string_view;
// Moves the cursor over blanks (character 32 only).
void skip_blanks(Cursor& cursor);
// Skips blanks, then collects characters up to the delimiter or the end of the text (blanks
// inside and at the end of the token are kept). On the delimiter the cursor is left behind it;
// at the end of the text it stays at the end.
std::string next_token(Cursor& cursor, char delimiter);

// The platform's standard text-to-integer conversion: leading blanks, an optional "+" or "-",
// then decimal digits within the signed 32-bit range, or "$" or "0x" and hex digits within 32
// bits unsigned ("$FFFFFFFF" is -1); nothing may follow. On rejection:
// show_error("Not a number:" + context), value 0, false.
bool read_int(std::string_view text, std::string_view context, std::int32_t& value);
// The own decimal grammar: optional leading "-", digits with at most one "."; nothing else.
// "12.5", "-0.25", "5.", ".5" and "." (0) are accepted; "", "-", " 1", "+1", "1e3", "1,5", "1.2.3"
// are not. On failure the value is 0.
bool parse_real(std::string_view text, double& value);
// parse_real's value; 0 when it fails.
double text_to_real(std::string_view text);
// parse_real; on failure show_error("Not a real number:" + context), value 0, false.
bool read_real(std::string_view text, std::string_view context, double& value);
// Own integer parser: "" and "-" give 0; any non-digit after the optional "-" gives 0; value
// accumulated in decimal, negated for a leading "-". A number outside the 32-bit range gives 0
// as well (it is not wrapped round).
std::int32_t text_to_int(std::string_view text);
// General float-to-text, always with "." as decimal separator whatever the locale: rounded to
// 15 significant digits, trailing zeros dropped; fixed notation from 0.00001 up to 15 digits in
// front of the point, else exponent form "1.5E-7", "1E20" (an "E", a "-" only for negative
// exponents, no leading zeros). 0 gives "0"; NaN and infinities "NAN", "INF", "-INF".
std::string real_to_text(double value);
bool is_real(std::string_view text);
// Optional leading "-" then at least one character, all digits; false for "" and "-".
bool is_integer(std::string_view text);
// is_real and below 60.
bool is_seconds(std::string_view text);
// "m:ss", ":ss" or "m:" at the first colon: minutes an is_integer text, seconds an is_seconds
// text; at least 2 characters. Behind a minutes part the seconds carry no sign ("1:-5" is no
// time).
bool is_time(std::string_view text);
// The seconds of a time text (0 without a colon): ":ss" gives ss, "m:" gives m x 60, "m:ss"
// gives m x 60 + ss, where a "-" in front of the minutes negates the whole ("-1:30" is -90).
double time_to_seconds(std::string_view text);
// is_time: real_to_text(time_to_seconds(text)); otherwise the text unchanged.
std::string seconds_text(std::string_view text);
// A number of seconds as "m:ss" (90 → "1:30", 0.5 → "0:00.5", 605 → "10:05"); the seconds
// always have two digits in front of their point. The binary remainder of taking the minutes
// off is rounded at the value's own precision (60.1 → "1:00.1"); a negative value is "-" and
// the time of its magnitude (-90 → "-1:30").
std::string format_time(std::string_view seconds);
// format_time(value) when the unit is "s" (any case) and the value is a real; else the value.
std::string display_value(std::string_view value, std::string_view unit);
std::string copy_text(std::string_view text);

}  // namespace putils
