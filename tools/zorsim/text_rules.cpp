#include "tools/zorsim/text_rules.h"

namespace zorsim {
namespace {

char fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool is_seconds_text(std::string_view text) {
    return is_real_text(text) && real_value(text) < 60;
}

// Windows-1252: "µ" is 0xB5, "°" is 0xB0.
const std::string micro = "\xB5";
const std::string degree = "\xB0";

}  // namespace

bool same_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

std::vector<std::string> split_fields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    do {
        while (pos < line.size() && line[pos] == ' ') ++pos;
        const std::size_t end = line.find(';', pos);
        if (end == std::string_view::npos) {
            fields.emplace_back(line.substr(pos));
            pos = line.size();
        } else {
            fields.emplace_back(line.substr(pos, end - pos));
            pos = end + 1;
        }
    } while (pos < line.size());
    return fields;
}

bool is_real_text(std::string_view text) {
    if (text.empty()) return false;
    std::size_t i = 0;
    if (text[0] == '-') {
        if (text.size() == 1) return false;
        i = 1;
    }
    bool point = false;
    for (; i < text.size(); ++i) {
        if (text[i] == '.') {
            if (point) return false;
            point = true;
        } else if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

double real_value(std::string_view text) {
    if (!is_real_text(text)) return 0;
    double value = 0;
    double divisor = 1;
    std::size_t i = 0;
    if (text[0] == '-') {
        divisor = -1;
        i = 1;
    }
    bool point = false;
    for (; i < text.size(); ++i) {
        if (text[i] == '.') {
            point = true;
            continue;
        }
        value = value * 10 + (text[i] - '0');
        if (point) divisor *= 10;
    }
    return value / divisor;
}

bool is_integer_text(std::string_view text) {
    std::size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
    if (i >= text.size()) return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

int integer_value(std::string_view text) {
    if (!is_integer_text(text)) return 0;
    const bool negative = text[0] == '-';
    long long v = 0;
    for (std::size_t i = negative ? 1 : 0; i < text.size(); ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 0x7FFFFFFFLL) return negative ? -0x7FFFFFFF - 1 : 0x7FFFFFFF;
    }
    return static_cast<int>(negative ? -v : v);
}

bool is_time_text(std::string_view text) {
    if (text.size() < 2) return false;
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    const auto before = text.substr(0, colon);
    const auto after = text.substr(colon + 1);
    if (colon == 0) return is_seconds_text(after);
    if (colon == text.size() - 1) return is_integer_text(before);
    return is_integer_text(before) && is_seconds_text(after);
}

std::string to_user_unit(std::string_view unit) {
    if (same_text(unit, "nl")) return micro + "l";
    if (same_text(unit, micro + "m")) return "mm";
    if (same_text(unit, "nl/s")) return micro + "l/s";
    if (same_text(unit, "m" + degree + "C")) return degree + "C";
    if (same_text(unit, "E")) return "";
    return std::string(unit);
}

bool is_scaled_unit(std::string_view unit) {
    return unit == "mm" || unit == micro + "l" || unit == micro + "l/s" || unit == degree + "C";
}

}  // namespace zorsim
