// Bytes of a frame as one readable line: <STX>, <ETX>, <CR>, <LF>, <XON>, <XOFF> by name; "<",
// other control bytes and every byte from 0x7F on as \xHH; a backslash as \\; printable ASCII as is.
#pragma once

#include <string>
#include <string_view>

namespace zorsim {

std::string escape_bytes(std::string_view bytes);

// Windows-1252 text for a UTF-8 terminal: "µ" (0xB5) becomes U+00B5 and so on; bytes 0x80-0x9F,
// which have no Latin-1 meaning, become \xHH.
std::string display_text(std::string_view windows1252);

}  // namespace zorsim
