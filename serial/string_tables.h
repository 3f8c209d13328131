// Internal to serial/: the texts the program's two string tables are built from.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace serial::detail {

struct StringEntry {
    std::uint32_t id;
    std::string_view text;  // Windows-1252
};

// Ascending ids.
std::span<const StringEntry> ReaderStringEntries();
std::span<const StringEntry> ErrorStringEntries();

}  // namespace serial::detail
