#include "utilities/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "utilities/message_boxes.h"
#include "utilities/session.h"

namespace putils {

namespace {

// The old fixed buffers held 1000 characters; the results keep that bound.
constexpr std::size_t max_part = 1000;

char fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The decimal grammar shared by parse_real and is_real: optional "-", then digits with at most
// one ".". With `value` it also computes the number.
bool scan_real(std::string_view text, double* value) {
    if (text.empty()) return false;
    double result = 0.0;
    double divisor = 1.0;
    std::size_t i = 0;
    if (text[0] == '-') {
        divisor = -1.0;
        i = 1;
        if (text.size() == 1) return false;
    }
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            if (point) return false;
            point = true;
        } else if (is_digit(c)) {
            result = result * 10.0 + (c - '0');
            if (point) divisor *= 10.0;
        } else {
            return false;
        }
    }
    // Hundreds of digits overflow the accumulator; such a text is no usable number.
    const double v = result / divisor;
    if (!std::isfinite(v)) return false;
    if (value != nullptr) *value = v;
    return true;
}

}  // namespace

std::string instance_suffix() {
    return " ZOR " + std::to_string(session().instance_number);
}

bool same_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

bool starts_with_text(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    return same_text(text.substr(0, prefix.size()), prefix);
}

bool is_macro_line(std::string_view line) {
    return starts_with_text(line, "[MACRO ");
}

std::string strip_extension(std::string_view text) {
    const std::size_t dot = text.find('.');
    std::string_view kept = dot == std::string_view::npos ? text : text.substr(0, dot);
    return std::string(kept.substr(0, max_part));
}

void skip_blanks(Cursor& cursor) {
    std::size_t n = 0;
    while (n < cursor.size() && cursor[n] == ' ') ++n;
    cursor.remove_prefix(n);
}

std::string next_token(Cursor& cursor, char delimiter) {
    skip_blanks(cursor);
    std::size_t n = 0;
    while (n < cursor.size() && cursor[n] != '\0' && cursor[n] != delimiter) ++n;
    std::string token(cursor.substr(0, n));
    const bool on_delimiter = n < cursor.size() && cursor[n] == delimiter && delimiter != '\0';
    cursor.remove_prefix(on_delimiter ? n + 1 : n);
    return token;
}

bool read_int(std::string_view text, std::string_view context, std::int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    const std::string_view digits = text.substr(i);
    std::uint64_t magnitude = 0;
    bool ok = !digits.empty();
    if (ok) {
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
        ok = error == std::errc() && end == digits.data() + digits.size();
    }
    if (ok) {
        // Hexadecimal texts cover the 32 bits unsigned (so "$FFFFFFFF" is -1); decimal texts
        // the signed range.
        if (base == 16) {
            ok = magnitude <= 0xFFFFFFFFull;
            if (ok) {
                const auto bits = static_cast<std::uint32_t>(magnitude);
                const auto as_int = static_cast<std::int32_t>(bits);
                value = negative ? static_cast<std::int32_t>(0u - bits) : as_int;
            }
        } else {
            ok = magnitude <= (negative ? 2147483648ull : 2147483647ull);
            if (ok)
                value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                                           : static_cast<std::int64_t>(magnitude));
        }
    }
    if (!ok) {
        show_error("Not a number:" + std::string(context));
        value = 0;
    }
    return ok;
}

bool parse_real(std::string_view text, double& value) {
    value = 0.0;
    double result = 0.0;
    if (!scan_real(text, &result)) return false;
    value = result;
    return true;
}

double text_to_real(std::string_view text) {
    double value = 0.0;
    parse_real(text, value);
    return value;
}

bool read_real(std::string_view text, std::string_view context, double& value) {
    if (parse_real(text, value)) return true;
    show_error("Not a real number:" + std::string(context));
    value = 0.0;
    return false;
}

std::int32_t text_to_int(std::string_view text) {
    if (text.empty()) return 0;
    std::size_t i = 0;
    const bool negative = text[0] == '-';
    if (negative) i = 1;
    // A number outside 32 bits is refused like any other text that is no number (0), rather
    // than wrapped round to a wrong value.
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (!is_digit(text[i])) return 0;
        value = value * 10 + (text[i] - '0');
        if (value > limit) return 0;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::string real_to_text(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0.0) return "0";

    // 15 significant digits, rounded, in the C locale's notation: "-d.dddddddddddddde+XX".
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    if (error != std::errc()) return "0";
    std::string_view sci(buffer, static_cast<std::size_t>(end - buffer));

    std::string out;
    if (sci.front() == '-') {
        out += '-';
        sci.remove_prefix(1);
    }
    const std::size_t e = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, e)) {
        if (c != '.') digits += c;
    }
    int exponent = 0;
    std::string_view exp_text = sci.substr(e + 1);
    if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
    std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    if (exponent >= 15 || exponent < -5) {
        // Exponent form: "1.5E-7", "1E20".
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += 'E';
        out += std::to_string(exponent);
        return out;
    }
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return out;
    }
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole) {
        out += digits;
        out.append(whole - digits.size(), '0');
    } else {
        out.append(digits, 0, whole);
        out += '.';
        out.append(digits, whole);
    }
    return out;
}

bool is_real(std::string_view text) {
    return scan_real(text, nullptr);
}

bool is_integer(std::string_view text) {
    std::size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
    if (i >= text.size()) return false;
    for (; i < text.size(); ++i) {
        if (!is_digit(text[i])) return false;
    }
    return true;
}

bool is_seconds(std::string_view text) {
    return is_real(text) && text_to_real(text) < 60.0;
}

bool is_time(std::string_view text) {
    if (text.size() < 2) return false;
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view before = text.substr(0, colon);
    const std::string_view after = text.substr(colon + 1, max_part);
    if (colon == 0) return is_seconds(after);
    if (colon + 1 == text.size()) return is_integer(before);
    // Behind a minutes part the seconds are a plain count: "1:-5" is no time.
    if (after.front() == '-') return false;
    return is_integer(before) && is_seconds(after);
}

double time_to_seconds(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return 0.0;
    const std::string_view before = text.substr(0, colon);
    const std::string_view after = text.substr(colon + 1, max_part);
    if (colon == 0) return text_to_real(after);
    if (colon + 1 == text.size()) return text_to_real(before) * 60.0;
    // The sign of the minutes belongs to the whole time: "-1:30" is -90 seconds, not -30.
    const bool negative = before.front() == '-';
    const double total = std::fabs(text_to_real(before)) * 60.0 + text_to_real(after);
    return negative ? -total : total;
}

std::string seconds_text(std::string_view text) {
    if (is_time(text)) return real_to_text(time_to_seconds(text));
    return std::string(text);
}

std::string format_time(std::string_view seconds) {
    double s = text_to_real(seconds);
    if (s < 0) return "-" + format_time(real_to_text(-s));

    double minutes = std::trunc(s / 60.0);
    double rest = s - 60.0 * minutes;
    if (minutes > 0) {
        // The subtraction leaves binary noise far below the digits the value was given with
        // (60.1 - 60 is 0.10000000000000142); round it away at the value's own precision.
        const int decimals = std::clamp(14 - static_cast<int>(std::floor(std::log10(s))), 0, 15);
        const double scale = std::pow(10.0, decimals);
        rest = std::round(rest * scale) / scale;
        if (rest >= 60.0) {
            minutes += 1;
            rest -= 60.0;
        }
        if (rest < 0) rest = 0;
    }

    std::string out =
        minutes < 1e15 ? std::to_string(static_cast<std::int64_t>(minutes)) : real_to_text(minutes);
    out += ':';
    if (rest == 0.0) {
        out += "00";
    } else if (rest < 10.0) {
        out += '0';
        out += real_to_text(rest);
    } else {
        out += real_to_text(rest);
    }
    return out;
}

std::string display_value(std::string_view value, std::string_view unit) {
    if (same_text(unit, "s") && is_real(value)) return format_time(value);
    return std::string(value);
}

std::string copy_text(std::string_view text) {
    return std::string(text);
}

}  // namespace putils
