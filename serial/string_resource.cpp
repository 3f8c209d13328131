#include "serial/string_resource.h"

#include <cstdio>
#include <vector>

#include "serial/ansi.h"
#include "serial/string_tables.h"

namespace serial {

namespace {

std::uint32_t ReadU32(std::span<const std::uint8_t> block, std::size_t at) {
    return static_cast<std::uint32_t>(block[at]) | static_cast<std::uint32_t>(block[at + 1]) << 8 |
           static_cast<std::uint32_t>(block[at + 2]) << 16 | static_cast<std::uint32_t>(block[at + 3]) << 24;
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Builds a STR0 block from (id, Windows-1252 text) entries in ascending id order.
std::vector<std::uint8_t> BuildBlock(std::span<const detail::StringEntry> entries) {
    std::vector<std::uint8_t> out = {'S', 'T', 'R', '0'};
    PutU32(out, static_cast<std::uint32_t>(entries.size()));
    std::size_t offset = 8 + 12 * entries.size();
    for (const auto& e : entries) {
        PutU32(out, e.id);
        PutU32(out, static_cast<std::uint32_t>(offset));
        PutU32(out, static_cast<std::uint32_t>(e.text.size()));
        offset += 2 * e.text.size();
    }
    for (const auto& e : entries) {
        for (char16_t u : AnsiToWide(e.text)) {
            out.push_back(static_cast<std::uint8_t>(u & 0xFF));
            out.push_back(static_cast<std::uint8_t>(u >> 8));
        }
    }
    return out;
}

std::string Format(std::uint32_t message_id, const std::string& argument) {
    std::string pattern = ReaderStrings().GetString(message_id);
    auto at = pattern.find('%');
    if (at != std::string::npos && at + 1 < pattern.size()) pattern.replace(at, 2, argument);
    return pattern;
}

[[noreturn]] void Raise(std::uint32_t message_id, const std::string& argument = {}) {
    // The reader's own table may be the one that failed: fall back to its texts directly.
    if (message_id == idInvalidResource) throw ETpsStringResourceError("Invalid TPString resource");
    throw ETpsStringResourceError(Format(message_id, argument));
}

}  // namespace

std::span<const std::uint8_t> FindStringResource(std::string_view name) {
    static const std::vector<std::uint8_t> reader = BuildBlock(detail::ReaderStringEntries());
    static const std::vector<std::uint8_t> errors = BuildBlock(detail::ErrorStringEntries());
    if (name == kReaderStringsName) return reader;
    if (name == kErrorStringsName) return errors;
    return {};
}

TAdStringResource::TAdStringResource(std::string_view name) {
    if (name.empty()) return;
    block_ = FindStringResource(name);
    if (block_.empty()) Raise(idResourceNotFound, std::string(name));
    Validate();
}

TAdStringResource::TAdStringResource(std::span<const std::uint8_t> block) : block_(block) {
    Validate();
}

void TAdStringResource::Validate() {
    if (block_.size() < 8 || block_[0] != 'S' || block_[1] != 'T' || block_[2] != 'R' || block_[3] != '0')
        Raise(idInvalidResource);
    std::uint64_t n = ReadU32(block_, 4);
    if (8 + 12 * n > block_.size()) Raise(idInvalidResource);
    std::uint64_t previous = 0;
    for (std::uint64_t i = 0; i < n; ++i) {
        std::size_t at = static_cast<std::size_t>(8 + 12 * i);
        std::uint64_t id = ReadU32(block_, at);
        std::uint64_t offset = ReadU32(block_, at + 4);
        std::uint64_t length = ReadU32(block_, at + 8);
        if ((i > 0 && id <= previous) || offset + 2 * length > block_.size()) Raise(idInvalidResource);
        previous = id;
    }
    count_ = static_cast<std::uint32_t>(n);
}

std::string TAdStringResource::GetString(std::uint32_t id) const {
    // Signed bounds, so an empty table ends the search at once.
    std::int64_t low = 0;
    std::int64_t high = static_cast<std::int64_t>(count_) - 1;
    while (high >= low) {
        std::int64_t middle = (low + high) / 2;
        std::size_t at = static_cast<std::size_t>(8 + 12 * middle);
        std::uint32_t entry_id = ReadU32(block_, at);
        if (entry_id == id) {
            std::size_t offset = ReadU32(block_, at + 4);
            std::size_t length = ReadU32(block_, at + 8);
            std::string text;
            text.reserve(length);
            for (std::size_t k = 0; k < length; ++k) {
                auto unit = static_cast<char16_t>(block_[offset + 2 * k] | block_[offset + 2 * k + 1] << 8);
                text.push_back(WideCharToAnsi(unit));
            }
            return text;
        }
        if (entry_id < id)
            low = middle + 1;
        else
            high = middle - 1;
    }
    if (RaiseOnMissing) Raise(idStringNotFound, std::to_string(id));
    return {};
}

const TAdStringResource& ErrorStrings() {
    static const TAdStringResource reader(kErrorStringsName);
    return reader;
}

const TAdStringResource& ReaderStrings() {
    static const TAdStringResource reader(kReaderStringsName);
    return reader;
}

}  // namespace serial
