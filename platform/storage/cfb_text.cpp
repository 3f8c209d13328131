#include "platform/storage/cfb_text.h"

#include "platform/text/text.h"

namespace platform::storage {

std::string utf16le_to_cp1252(std::span<const std::uint8_t> bytes) {
    std::string out;
    std::size_t units = bytes.size() / 2;
    out.reserve(units);
    std::size_t i = 0;
    if (units > 0 && bytes[0] == 0xFF && bytes[1] == 0xFE) i = 1;
    for (; i < units; ++i) {
        auto c = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
            auto next = static_cast<char16_t>(bytes[2 * i + 2] | (bytes[2 * i + 3] << 8));
            if (next >= 0xDC00 && next <= 0xDFFF) ++i;  // the pair is one character
            out.push_back('?');
            continue;
        }
        out.push_back(platform::text::cp1252_from_unit(c));
    }
    return out;
}

std::vector<std::uint8_t> cp1252_to_utf16le(std::string_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * 2);
    for (char ch : text) {
        char16_t c = platform::text::unit_from_cp1252(ch);
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

std::vector<std::string> utf16le_lines(std::span<const std::uint8_t> bytes) {
    // Converted first: a character the code page lacks becomes "?", never a line end.
    return platform::text::split_lines(utf16le_to_cp1252(bytes));
}

std::vector<std::uint8_t> utf16le_from_lines(const std::vector<std::string>& lines) {
    std::vector<std::uint8_t> out;
    for (const auto& line : lines) {
        auto part = cp1252_to_utf16le(line);
        out.insert(out.end(), part.begin(), part.end());
        out.insert(out.end(), {'\r', 0, '\n', 0});
    }
    return out;
}

}  // namespace platform::storage
