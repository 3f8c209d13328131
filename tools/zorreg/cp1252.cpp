#include "tools/zorreg/cp1252.h"

#include <cstdint>
#include <cstdio>

namespace zorreg {
namespace {

// The characters of the bytes 0x80..0x9F; the rest of the bytes are their own code points.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::optional<char> byte_of(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == c) return static_cast<char>(0x80 + i);
    }
    return std::nullopt;
}

}  // namespace

std::string cp1252_to_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        auto b = static_cast<unsigned char>(ch);
        append_utf8(out, b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : static_cast<char32_t>(b));
    }
    return out;
}

std::optional<std::string> utf8_to_cp1252(std::string_view text, std::string* bad) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= text.size()) {
            if (bad != nullptr) *bad = "a byte that is not UTF-8";
            return std::nullopt;
        }
        char32_t c = extra == 0 ? b : b & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            auto cont = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((cont & 0xC0) != 0x80) {
                if (bad != nullptr) *bad = "a byte that is not UTF-8";
                return std::nullopt;
            }
            c = (c << 6) | (cont & 0x3F);
        }
        const char32_t least[4] = {0, 0x80, 0x800, 0x10000};
        if (c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            if (bad != nullptr) *bad = "a byte that is not UTF-8";
            return std::nullopt;
        }
        auto byte = byte_of(c);
        if (!byte) {
            if (bad != nullptr) {
                char code[16];
                std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
                *bad = "'" + std::string(text.substr(i, static_cast<std::size_t>(extra) + 1)) + "' (" + code + ")";
            }
            return std::nullopt;
        }
        out += *byte;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

}  // namespace zorreg
