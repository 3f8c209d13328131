// String tables in the "STR0" resource format, and the program's two tables.
//
// A table is a block of bytes (all integers little-endian):
//   0        4 bytes  "STR0"
//   4        4 bytes  N, the number of entries
//   8+12i   12 bytes  entry i: id (ids strictly ascending), offset of its text from the start of
//                     the block, length of the text in UTF-16 code units
//   ...               the texts, UTF-16LE, without terminators
// The program carries its tables as compiled-in resources (there are no resource sections on this
// platform): FindStringResource() gives the block of a named table. The two tables are
// "SRMGR_STRINGS" (the reader's own messages) and "SERIAL_ERROR_STRINGS_ENGLISH" (error and status
// texts by code, serial/errors.h).
//
// Thread contract: a TAdStringResource is made and freed on one thread; GetString may be called
// from any thread while it exists (it only reads).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace serial {

// Raised by the reader for a missing, unloadable or damaged table.
class ETpsStringResourceError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Ids of the reader's own messages in "SRMGR_STRINGS".
inline constexpr std::uint32_t idStringNotFound = 1;    // "String not found: %d"
inline constexpr std::uint32_t idCannotLock = 2;        // "Cannot lock resource"
inline constexpr std::uint32_t idResourceNotFound = 3;  // "String resource not found: %s"
inline constexpr std::uint32_t idCannotOpen = 4;        // "Unable to open string resource: %s"
inline constexpr std::uint32_t idInvalidResource = 5;   // "Invalid TPString resource"

inline constexpr std::string_view kReaderStringsName = "SRMGR_STRINGS";
inline constexpr std::string_view kErrorStringsName = "SERIAL_ERROR_STRINGS_ENGLISH";

// The block of a compiled-in table by name (exact), or an empty span. The blocks are built once,
// on first use, and live until the process ends.
std::span<const std::uint8_t> FindStringResource(std::string_view name);

class TAdStringResource {
  public:
    // Loads the named compiled-in table. An empty name makes an empty reader (every id missing).
    // Raises ETpsStringResourceError: message 3 when no table has the name, message 5 when the
    // block is not a valid STR0 table.
    explicit TAdStringResource(std::string_view name);

    // A reader over a block given directly (tests, or a table loaded from elsewhere). The block
    // must outlive the reader. Raises ETpsStringResourceError (message 5) when it is not a valid
    // STR0 table: a wrong signature, or entries or texts that do not lie inside the block.
    explicit TAdStringResource(std::span<const std::uint8_t> block);

    // The text of `id` in Windows-1252 (characters it lacks become "?"); "" when the id is missing,
    // unless RaiseOnMissing is set, which raises message 1 with the id.
    std::string GetString(std::uint32_t id) const;

    // Number of entries.
    std::uint32_t Count() const { return count_; }

    bool RaiseOnMissing = false;

  private:
    void Validate();

    std::span<const std::uint8_t> block_;
    std::uint32_t count_ = 0;
};

// The two readers the program makes at start, one over each table. They hold no changing state
// (a table is read-only), so they are made once, on first use from any thread, and live until the
// process ends.
// The error table's reader (made on first use).
const TAdStringResource& ErrorStrings();
// The reader-messages table's reader (made on first use).
const TAdStringResource& ReaderStrings();

}  // namespace serial
