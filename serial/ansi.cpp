#include "serial/ansi.h"

#include "platform/text/text.h"

namespace serial {

char WideCharToAnsi(char16_t unit) {
    return platform::text::cp1252_from_unit(unit);
}

char16_t AnsiToWideChar(char byte) {
    return platform::text::unit_from_cp1252(byte);
}

std::u16string AnsiToWide(std::string_view text) {
    return platform::text::utf16_from_cp1252(text);
}

std::string AnsiToUtf8(std::string_view text) {
    return platform::text::utf8_from_cp1252(text);
}

}  // namespace serial
