// Text at the platform's edges: the system's Windows-1252 bytes, UTF-16 (BSTRs, document streams,
// widgets) and UTF-8 (file names, the bus, terminals). The one table of the code page is here.
//
// Every Windows-1252 byte has a character: the five bytes the code page leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same number, so any byte
// string survives a round trip through UTF-16 or UTF-8. A character that Windows-1252 cannot
// hold becomes "?" in the lossy conversions. Malformed UTF-8 (and a lone UTF-16 surrogate)
// becomes U+FFFD on the way to UTF-16 or UTF-8, and so "?" on the way to Windows-1252. Nothing
// here raises.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::text {

// The characters of the bytes 0x80..0x9F; every other byte is its own code point.
inline constexpr char16_t cp1252_high_block[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

// The UTF-16 unit (and code point) of one Windows-1252 byte.
inline char16_t unit_from_cp1252(char byte) {
    const auto b = static_cast<unsigned char>(byte);
    return (b >= 0x80 && b <= 0x9F) ? cp1252_high_block[b - 0x80] : char16_t{b};
}

// The Windows-1252 byte of a code point; empty when the code page has none.
inline std::optional<char> cp1252_from_code_point(char32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
    for (int i = 0; i < 32; ++i)
        if (cp1252_high_block[i] == code) return static_cast<char>(0x80 + i);
    return std::nullopt;
}

// The Windows-1252 byte of one UTF-16 unit, "?" when there is none (a surrogate has none).
inline char cp1252_from_unit(char16_t unit) {
    return cp1252_from_code_point(unit).value_or('?');
}

// Appends the UTF-8 form of a code point (a surrogate is written as U+FFFD).
void append_utf8(std::string& out, char32_t code);

// The length of the well-formed UTF-8 sequence at bytes[i] (1 for ASCII), with its code point;
// 0 when there is none there: overlong forms, surrogates, code points above U+10FFFF and
// sequences cut short are not well formed.
std::size_t utf8_sequence(std::string_view bytes, std::size_t i, char32_t& code);

std::u16string utf16_from_cp1252(std::string_view text);
std::string cp1252_from_utf16(std::u16string_view text);
std::string utf8_from_cp1252(std::string_view text);
std::string cp1252_from_utf8(std::string_view text);
std::string utf8_from_utf16(std::u16string_view text);
std::u16string utf16_from_utf8(std::string_view text);

// The lines of a text: CR LF, a lone CR and a lone LF each end one line, and the text after the
// last end is a line of its own, so no character is lost whichever system wrote the text.
std::vector<std::string> split_lines(std::string_view text);

// UTF-8 text as the locale's character set writes it, for a terminal or a file a person reads:
// unchanged in a UTF-8 locale (and in any other this layer does not convert to), Windows-1252 in
// a Windows-1252 one. The program must have set its locale (setlocale(LC_CTYPE, "")).
std::string locale_text_from_utf8(std::string_view utf8);

}  // namespace platform::text
