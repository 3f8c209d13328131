#include "tools/zorctl/document.h"

#include <fstream>
#include <iterator>

#include "platform/com/text.h"

namespace zorctl {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool is_macro_line(std::string_view line) {
    constexpr std::string_view prefix = "[MACRO ";
    return line.size() >= prefix.size() && same_text(line.substr(0, prefix.size()), prefix);
}

std::string macro_header(std::string_view name) {
    return "[MACRO " + std::string(name) + "]";
}

// Strict UTF-8 with at least one sequence beyond ASCII: such a file was written by an editor
// that does not speak Windows-1252.
bool is_utf8_beyond_ascii(std::string_view text) {
    bool beyond = false;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        int extra = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(extra) >= text.size()) return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        beyond = true;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return beyond;
}

std::vector<std::string> split_lines(std::string_view text, bool drop_empty) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last) end = text.size();
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!(last && line.empty()) && !(drop_empty && line.empty())) lines.push_back(std::move(line));
        if (last) break;
        start = end + 1;
    }
    return lines;
}

bool read_file(const std::filesystem::path& file, std::string& text) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A method or macro file as Windows-1252 text, whichever of the two its editor wrote.
bool read_windows_1252(const std::filesystem::path& file, std::string& text) {
    if (!read_file(file, text)) return false;
    if (is_utf8_beyond_ascii(text)) text = platform::com::cp1252_from_utf8(text);
    return true;
}

// The macro a step line calls: the text before its first "(".
std::string called_macro(std::string_view step) {
    const auto paren = step.find('(');
    return std::string(step.substr(0, paren));
}

// The library file of a macro: everything from the name's first "." on is not part of the file
// name, as the driver's own library lookup has it.
std::filesystem::path macro_file(const std::filesystem::path& folder, std::string_view name) {
    const auto dot = name.find('.');
    return folder / (std::string(name.substr(0, dot)) + ".pma");
}

bool has_line(const std::vector<std::string>& lines, std::string_view wanted) {
    for (const auto& line : lines)
        if (same_text(line, wanted)) return true;
    return false;
}

void add_section(std::vector<std::string>& out, const std::filesystem::path& folder,
                 const std::string& name) {
    if (folder.empty() || name.empty()) return;
    const std::string header = macro_header(name);
    if (has_line(out, header)) return;
    std::string text;
    if (!read_windows_1252(macro_file(folder, name), text)) return;
    out.push_back(header);
    for (auto& line : split_lines(text, false))
        if (line.rfind("//", 0) != 0) out.push_back(std::move(line));
}

}  // namespace

bool read_method_text(const std::filesystem::path& file, std::vector<std::string>& lines) {
    std::string text;
    if (!read_windows_1252(file, text)) return false;
    lines = split_lines(text, true);
    return true;
}

std::vector<std::string> document_lines(const std::string& syringe, const std::vector<std::string>& method,
                                        const std::filesystem::path& macro_folder) {
    std::vector<std::string> out{syringe};
    std::size_t first_section = 0;
    while (first_section < method.size() && !is_macro_line(method[first_section])) ++first_section;
    out.insert(out.end(), method.begin(), method.end());
    for (std::size_t i = 0; i < first_section; ++i) add_section(out, macro_folder, called_macro(method[i]));
    add_section(out, macro_folder, "METHOD ENTRY");
    add_section(out, macro_folder, "METHOD EXIT");
    return out;
}

}  // namespace zorctl
