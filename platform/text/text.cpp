// Windows-1252, UTF-16 and UTF-8.
#include "platform/text/text.h"

#include <langinfo.h>

#include <cstring>

namespace platform::text {
namespace {

constexpr char32_t replacement = 0xFFFD;

bool is_surrogate(char32_t code) {
    return code >= 0xD800 && code <= 0xDFFF;
}

void put_utf16(std::u16string& out, char32_t code) {
    if (code < 0x10000) {
        out += static_cast<char16_t>(code);
    } else {
        code -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (code >> 10));
        out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
}

// Decodes one code point at text[i], advancing i; malformed input gives U+FFFD and skips one byte.
char32_t next_utf8(std::string_view text, std::size_t& i) {
    char32_t code = 0;
    const std::size_t length = utf8_sequence(text, i, code);
    if (length == 0) {
        ++i;
        return replacement;
    }
    i += length;
    return code;
}

// Decodes one code point at text[i], advancing i; a lone surrogate gives U+FFFD.
char32_t next_utf16(std::u16string_view text, std::size_t& i) {
    const char16_t u = text[i++];
    if (u >= 0xD800 && u <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        const char16_t low = text[i++];
        return 0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
    }
    if (is_surrogate(u)) return replacement;
    return u;
}

}  // namespace

void append_utf8(std::string& out, char32_t code) {
    if (is_surrogate(code) || code > 0x10FFFF) code = replacement;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::size_t utf8_sequence(std::string_view bytes, std::size_t i, char32_t& code) {
    auto byte = [&](std::size_t k) { return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u; };
    const unsigned lead = byte(i);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // shorter forms are overlong
        if (lead == 0xED) high = 0x9F;  // beyond are the surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned next = byte(i + k);
        if (i + k >= bytes.size() || next < (k == 1 ? low : 0x80u) || next > (k == 1 ? high : 0xBFu))
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    return length;
}

std::u16string utf16_from_cp1252(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) out += unit_from_cp1252(c);
    return out;
}

std::string cp1252_from_utf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
        out += cp1252_from_code_point(next_utf16(text, i)).value_or('?');
    return out;
}

std::string utf8_from_cp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x80)
            out += c;
        else
            append_utf8(out, unit_from_cp1252(c));
    }
    return out;
}

std::string cp1252_from_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) out += cp1252_from_code_point(next_utf8(text, i)).value_or('?');
    return out;
}

std::string utf8_from_utf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) append_utf8(out, next_utf16(text, i));
    return out;
}

std::u16string utf16_from_utf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) put_utf16(out, next_utf8(text, i));
    return out;
}

std::vector<std::string> split_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string locale_text_from_utf8(std::string_view utf8) {
    const char* codeset = ::nl_langinfo(CODESET);
    if (codeset && (std::strcmp(codeset, "CP1252") == 0 || std::strcmp(codeset, "WINDOWS-1252") == 0))
        return cp1252_from_utf8(utf8);
    return std::string(utf8);
}

}  // namespace platform::text
