// The in-memory tree of a compound file and the functions that load and save it (internal).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/storage/cfb_error.h"
#include "platform/storage/cfb_file.h"

namespace platform::storage::detail {

struct Node {
    Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    ~Node();  // releases deep nesting without recursing once per level

    std::u16string name;
    bool is_storage = false;  // the root is a storage too
    bool is_root = false;
    bool destroyed = false;  // set on removal, so stale handles refuse changes
    std::array<std::uint8_t, 16> clsid{};
    std::uint32_t state_bits = 0;
    std::uint64_t created = 0;  // FILETIME, kept as read
    std::uint64_t modified = 0;
    std::vector<std::uint8_t> data;               // a stream's bytes
    std::vector<std::shared_ptr<Node>> children;  // a storage's, sorted by compare_names
};

// Shared by a compound file and every handle into it.
struct Access {
    bool writable = false;
    bool closed = false;
};

// The order of siblings in the file: shorter names first, then by upper-cased UTF-16 units.
int compare_names(std::u16string_view a, std::u16string_view b);
// Upper-cases the letters of Latin, Greek and Cyrillic names (simple mappings), the form names
// are compared in.
char16_t upper_unit(char16_t c);

// Why a UTF-16 name breaks the rules for element names; empty when it keeps them.
std::string name_problem(std::u16string_view name);
// UTF-8 name -> UTF-16, checked against the rules for element names.
StgOr<std::u16string> element_name(std::string_view utf8);
std::string to_utf8(std::u16string_view utf16);
std::u16string from_utf8_lenient(std::string_view utf8);

// The child of that name, or children.end() position in *insert_at.
std::shared_ptr<Node> find_child(const Node& storage, std::u16string_view name,
                                 std::size_t* insert_at = nullptr);

std::shared_ptr<Node> new_root();
// Current time as a FILETIME (100-ns ticks since 1601).
std::uint64_t filetime_now();

// A sector or entry id as the checks name it in their messages: "0x0000001F".
std::string hex_id(std::uint32_t v);
// The file_corrupt result with that message.
inline StgResult corrupt(std::string message) {
    return StgResult(StgError::file_corrupt, std::move(message));
}

// Loads a compound file; file_corrupt on anything damaged.
StgOr<std::shared_ptr<Node>> parse_compound_file(std::span<const std::uint8_t> bytes);
// Lays out the tree as a version 3 compound file.
std::vector<std::uint8_t> serialize_compound_file(const Node& root);

}  // namespace platform::storage::detail
