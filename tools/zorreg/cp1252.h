// Windows-1252 <-> UTF-8 at zorreg's edge: the store keeps Windows-1252 bytes, the terminal speaks
// UTF-8. Every byte has a character (the five bytes that Windows-1252 leaves undefined stand for the
// control characters U+0081, U+008D, U+008F, U+0090 and U+009D, as the system's conversion does), so
// any stored text can be shown and typed back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorreg {

std::string cp1252_to_utf8(std::string_view text);

// The Windows-1252 bytes of a UTF-8 text; nullopt when it is not valid UTF-8 or holds a character
// that Windows-1252 cannot represent. `bad` (when given) receives that character's description.
std::optional<std::string> utf8_to_cp1252(std::string_view text, std::string* bad = nullptr);

}  // namespace zorreg
