#include "tools/zorsim/byte_escape.h"

#include "tools/zorsim/frame_codec.h"

namespace zorsim {

std::string escape_bytes(std::string_view bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() + 16);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
            case STX:
                out += "<STX>";
                continue;
            case ETX:
                out += "<ETX>";
                continue;
            case CR:
                out += "<CR>";
                continue;
            case '\n':
                out += "<LF>";
                continue;
            case XON:
                out += "<XON>";
                continue;
            case XOFF:
                out += "<XOFF>";
                continue;
            case '\\':
                out += "\\\\";
                continue;
            case '<':
                out += "\\x3C";
                continue;  // keeps the <NAME> forms unambiguous
            default:
                break;
        }
        if (b < 0x20 || b >= 0x7F) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

std::string display_text(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else if (b < 0xA0) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xF];
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

}  // namespace zorsim
