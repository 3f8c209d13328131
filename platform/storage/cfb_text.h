// Texts kept in streams: UTF-16LE (as the documents hold them) <-> Windows-1252 (as the
// driver's parsers take them).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::storage {

// UTF-16LE bytes -> Windows-1252. A leading byte order mark is dropped, a surrogate pair or
// any other unmappable character becomes one '?', an odd trailing byte is dropped.
std::string utf16le_to_cp1252(std::span<const std::uint8_t> bytes);
// Windows-1252 -> UTF-16LE bytes (no byte order mark).
std::vector<std::uint8_t> cp1252_to_utf16le(std::string_view text);

// Splits a UTF-16LE text into Windows-1252 lines: the one line rule of every text stream. CR LF,
// a lone CR and a lone LF each end one line, and text after the last end is a line of its own,
// so no character is lost whichever program wrote the stream.
std::vector<std::string> utf16le_lines(std::span<const std::uint8_t> bytes);
// Joins lines into UTF-16LE, each ended by CR LF.
std::vector<std::uint8_t> utf16le_from_lines(const std::vector<std::string>& lines);

}  // namespace platform::storage
