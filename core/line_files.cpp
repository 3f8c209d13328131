#include "core/line_files.h"

#include <sys/stat.h>
#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>

namespace core {

namespace {

// Windows-1252 bytes 0x80..0x9F as Unicode code points; the rest of the upper half maps to
// U+00A0..U+00FF. Bytes the code page leaves undefined keep their C1 code point.
static constexpr std::array<std::uint16_t, 32> cp1252_high{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

void append_utf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string file_name_to_utf8(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (unsigned char c : name) {
        if (c >= 0x80 && c < 0xA0)
            append_utf8(out, cp1252_high[c - 0x80]);
        else
            append_utf8(out, c);
    }
    return out;
}

bool file_exists(std::string_view path) {
    struct stat info {};
    return ::stat(file_name_to_utf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
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

bool load_lines(std::string_view path, std::vector<std::string>& lines) {
    lines.clear();
    if (!file_exists(path)) return false;
    std::ifstream file(file_name_to_utf8(path), std::ios::binary);
    if (!file) return false;
    file.seekg(0, std::ios::end);
    std::streamoff size = file.tellg();
    if (size < 0 || std::size_t(size) > max_line_file_size) return false;
    file.seekg(0);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !file.read(text.data(), size)) return false;
    lines = split_lines(text);
    return true;
}

bool save_lines(std::string_view path, const std::vector<std::string>& lines) {
    std::ofstream file(file_name_to_utf8(path), std::ios::binary | std::ios::trunc);
    if (!file) return false;
    for (const std::string& line : lines) file << line << "\r\n";
    file.flush();
    return bool(file);
}

}  // namespace core
