// Text at the layer's edges: the system's Windows-1252 bytes, UTF-16 (BSTRs) and UTF-8 (the bus).
//
// Every Windows-1252 byte has a character: the five bytes the code page leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same number, so any byte
// string survives a round trip through UTF-16 or UTF-8. A character that Windows-1252 cannot
// hold becomes "?". Malformed UTF-8 (and a lone UTF-16 surrogate) becomes U+FFFD on the way to
// UTF-16 or UTF-8, and so "?" on the way to Windows-1252. Nothing here raises.
#pragma once

#include <string>
#include <string_view>

namespace platform::com {

std::u16string utf16_from_cp1252(std::string_view text);
std::string cp1252_from_utf16(std::u16string_view text);
std::string utf8_from_cp1252(std::string_view text);
std::string cp1252_from_utf8(std::string_view text);
std::string utf8_from_utf16(std::u16string_view text);
std::u16string utf16_from_utf8(std::string_view text);

}  // namespace platform::com
