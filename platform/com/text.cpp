// Windows-1252, UTF-16 and UTF-8.
#include "platform/com/text.h"

#include <cstdint>

namespace platform::com {
namespace {

// 0x80..0x9F; the undefined bytes keep their own number.
constexpr char16_t high_block[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t replacement = 0xFFFD;

char32_t from_cp1252(unsigned char c) { return (c >= 0x80 && c <= 0x9F) ? high_block[c - 0x80] : c; }

char to_cp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (int i = 0; i < 32; ++i)
        if (high_block[i] == cp) return static_cast<char>(0x80 + i);
    return '?';
}

void put_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void put_utf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// Decodes one code point at text[i], advancing i; malformed input gives U+FFFD and skips one byte.
char32_t next_utf8(std::string_view text, std::size_t& i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) {
        ++i;
        return c;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
        extra = 1, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3, cp = c & 0x07, min = 0x10000;
    } else {
        ++i;
        return replacement;
    }
    if (i + static_cast<std::size_t>(extra) >= text.size()) {  // cut short at the end
        ++i;
        return replacement;
    }
    for (int k = 1; k <= extra; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) {
            ++i;
            return replacement;
        }
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return replacement;
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

char32_t next_utf16(std::u16string_view text, std::size_t& i) {
    const char16_t u = text[i++];
    if (u >= 0xD800 && u <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        const char16_t low = text[i++];
        return 0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
    }
    if (u >= 0xD800 && u <= 0xDFFF) return replacement;
    return u;
}

}  // namespace

std::u16string utf16_from_cp1252(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) out += static_cast<char16_t>(from_cp1252(static_cast<unsigned char>(c)));
    return out;
}

std::string cp1252_from_utf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) out += to_cp1252(next_utf16(text, i));
    return out;
}

std::string utf8_from_cp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) put_utf8(out, from_cp1252(static_cast<unsigned char>(c)));
    return out;
}

std::string cp1252_from_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) out += to_cp1252(next_utf8(text, i));
    return out;
}

std::string utf8_from_utf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) put_utf8(out, next_utf16(text, i));
    return out;
}

std::u16string utf16_from_utf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) put_utf16(out, next_utf8(text, i));
    return out;
}

}  // namespace platform::com
