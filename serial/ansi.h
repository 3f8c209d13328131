// Windows-1252 text at the edges of the serial layer: UTF-16 (string tables) and UTF-8 (file names).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace serial {

// One UTF-16 code unit to Windows-1252; characters the code page lacks (and surrogates) become '?'.
char WideCharToAnsi(char16_t unit);
// One Windows-1252 byte to UTF-16 (the five unassigned bytes map to the control codes of their value).
char16_t AnsiToWideChar(char byte);

std::u16string AnsiToWide(std::string_view text);
std::string AnsiToUtf8(std::string_view text);

}  // namespace serial
