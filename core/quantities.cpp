#include "core/quantities.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "utilities/text.h"

namespace core {

namespace {

struct UnitPair {
    std::string_view instrument;
    std::string_view user;
};

// The unit pairs, in Windows-1252 ("\265" is "µ", "\260" is "°"). Any unit text not listed here
// is the same on both sides and is not scaled.
static constexpr std::array<UnitPair, 5> unit_pairs{{
    {"nl", "\265l"},
    {"\265m", "mm"},
    {"nl/s", "\265l/s"},
    {"m\260C", "\260C"},
    // A plain number: the instrument writes "E", the user sees no unit at all.
    {"E", ""},
}};

// The user units whose values travel to the instrument in thousandths. Compared byte for byte:
// "ML" or "Mm" are not scaled, though the mapping above would fold their case.
static constexpr std::array<std::string_view, 4> scaled_units{"mm", "\265l", "\260C", "\265l/s"};

// Largest instrument integer the core produces: numbers are held within max_number_magnitude
// user units, so their thousandths stay below this.
constexpr double max_instrument_integer = max_number_magnitude * 1000.0;

std::string strip_leading_zeros(std::string digits) {
    std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return "0";
    return digits.substr(first);
}

}  // namespace

std::string_view unit_ul() {
    return unit_pairs[0].user;
}
std::string_view unit_ul_per_s() {
    return unit_pairs[2].user;
}
std::string_view unit_degc() {
    return unit_pairs[3].user;
}
std::string_view unit_mdegc() {
    return unit_pairs[3].instrument;
}
std::string_view unit_um() {
    return unit_pairs[1].instrument;
}

bool is_scaled_unit(std::string_view user_unit) {
    return std::find(scaled_units.begin(), scaled_units.end(), user_unit) != scaled_units.end();
}

std::string to_user_unit(std::string_view instrument_unit) {
    for (const UnitPair& pair : unit_pairs)
        if (putils::same_text(instrument_unit, pair.instrument)) return std::string(pair.user);
    return std::string(instrument_unit);
}

bool is_readable_instrument_unit(std::string_view instrument_unit) {
    // The replacement character read as Windows-1252 bytes: a "µ" or "°" lost on its way.
    if (instrument_unit.find("\xEF\xBF\xBD") != std::string_view::npos) return false;
    for (char c : instrument_unit) {
        const auto byte = static_cast<unsigned char>(c);
        // Control characters, including the five bytes that stand for C1 control characters.
        if (byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 ||
            byte == 0x9D)
            return false;
        if (c == '?') return false;
    }
    return true;
}

std::string to_instrument_unit(std::string_view user_unit) {
    for (const UnitPair& pair : unit_pairs)
        if (putils::same_text(user_unit, pair.user)) return std::string(pair.instrument);
    return std::string(user_unit);
}

std::string instrument_value_to_user(std::string_view text, std::string_view user_unit) {
    if (text == "0" || !putils::is_integer(text) || !is_scaled_unit(user_unit)) return std::string(text);
    const bool negative = text.front() == '-';
    std::string digits = strip_leading_zeros(std::string(text.substr(negative ? 1 : 0)));
    if (digits == "0") return "0";
    // Divide by 1000 by moving the decimal point three places.
    if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
    std::string whole = digits.substr(0, digits.size() - 3);
    std::string fraction = digits.substr(digits.size() - 3);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string result = negative ? "-" : "";
    result += whole;
    if (!fraction.empty()) result += "." + fraction;
    return result;
}

std::string user_value_to_instrument(std::string_view text, std::string_view user_unit) {
    if (!putils::is_real(text)) return std::string(text);
    const bool negative = !text.empty() && text.front() == '-';
    std::string_view body = text.substr(negative ? 1 : 0);
    std::size_t point = body.find('.');
    std::string whole(body.substr(0, point));
    std::string fraction =
        point == std::string_view::npos ? std::string() : std::string(body.substr(point + 1));
    if (is_scaled_unit(user_unit)) {
        // Times 1000: the first three decimals move in front of the point.
        fraction.resize(std::max<std::size_t>(fraction.size(), 3), '0');
        whole += fraction.substr(0, 3);
    }
    // Truncated toward zero: the remaining decimals are dropped.
    std::string digits = strip_leading_zeros(whole);
    if (digits == "0") return "0";
    return negative ? "-" + digits : digits;
}

std::string limit_to_text(double value) {
    if (!std::isfinite(value) || value == 0) return "0";
    // Fifteen significant digits in fixed notation: the reader's own decimal parser turns such a
    // text back into the same double, and the same double into the same text, so a file written
    // from a model it was read from keeps its limits.
    const int exponent = int(std::floor(std::log10(std::abs(value))));
    const int decimals = std::clamp(14 - exponent, 0, 30);
    std::array<char, 64> buffer{};
    auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    if (error != std::errc()) return "0";
    std::string text(buffer.data(), end);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") return "0";
    return text;
}

std::optional<std::int64_t> command_integer(double user_value, std::string_view user_unit) {
    const double x = is_scaled_unit(user_unit) ? user_value * 1000.0 : user_value;
    if (!std::isfinite(x) || std::abs(x) > max_instrument_integer) return std::nullopt;
    // A decimal such as 1.005 is held as 1.00499999..., so its thousandths come out a few units
    // in the last place below 1005; such a product is the integer it stands for.
    const double nearest = std::nearbyint(x);
    const double tolerance = 4 * std::numeric_limits<double>::epsilon() * std::max(1.0, std::abs(x));
    const double integer = std::abs(x - nearest) <= tolerance ? nearest : std::trunc(x);
    return static_cast<std::int64_t>(integer);
}

std::optional<std::int64_t> object_integer(double user_value, std::string_view user_unit) {
    const double x = is_scaled_unit(user_unit) ? user_value * 1000.0 : user_value;
    if (!std::isfinite(x) || std::abs(x) > max_instrument_integer) return std::nullopt;
    // nearbyint follows the default rounding mode: to nearest, halves to even.
    return static_cast<std::int64_t>(std::nearbyint(x));
}

double instrument_number_to_user(double instrument_value, std::string_view user_unit) {
    return is_scaled_unit(user_unit) ? instrument_value / 1000.0 : instrument_value;
}

}  // namespace core
