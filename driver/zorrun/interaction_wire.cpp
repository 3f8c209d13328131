#include "driver/zorrun/interaction_wire.h"

namespace zorrun::wire {

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string escape(std::string_view field) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(field.size());
    for (char c : field) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (byte < 0x20 || byte >= 0x7F) {
                    out += "\\x";
                    out += digits[byte >> 4];
                    out += digits[byte & 15];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '\\' || i + 1 == field.size()) {
            out += c;
            continue;
        }
        const char next = field[++i];
        switch (next) {
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 'x': {
                const int high = i + 1 < field.size() ? hex_value(field[i + 1]) : -1;
                const int low = i + 2 < field.size() ? hex_value(field[i + 2]) : -1;
                if (high < 0 || low < 0) {
                    out += "\\x";
                } else {
                    out += static_cast<char>(high * 16 + low);
                    i += 2;
                }
                break;
            }
            default:
                out += next;
        }
    }
    return out;
}

std::string join(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) line += '\t';
        line += escape(fields[i]);
    }
    return line;
}

std::vector<std::string> split(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(
            unescape(line.substr(start, tab == std::string_view::npos ? line.npos : tab - start)));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    return fields;
}

}  // namespace zorrun::wire
