#include "tools/zorreg/cp1252.h"

#include <cstdio>

#include "platform/text/text.h"

namespace zorreg {

std::string cp1252_to_utf8(std::string_view text) {
    return platform::text::utf8_from_cp1252(text);
}

std::optional<std::string> utf8_to_cp1252(std::string_view text, std::string* bad) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t length = platform::text::utf8_sequence(text, i, c);
        if (length == 0) {
            if (bad != nullptr) *bad = "a byte that is not UTF-8";
            return std::nullopt;
        }
        const std::optional<char> byte = platform::text::cp1252_from_code_point(c);
        if (!byte) {
            if (bad != nullptr) {
                char code[16];
                std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
                *bad = "'" + std::string(text.substr(i, length)) + "' (" + code + ")";
            }
            return std::nullopt;
        }
        out += *byte;
        i += length;
    }
    return out;
}

}  // namespace zorreg
