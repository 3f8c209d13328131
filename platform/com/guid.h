// Globally unique identifiers: class ids (CLSID) and interface ids (IID).
//
// The text form is the registry's: "{763BDB62-6812-11D2-883E-3C8B00C10000}", 38 characters,
// hex digits in either case on input, upper case on output. Constants are parsed at compile
// time with guid("{...}"), so a mistyped constant does not compile.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::com {

struct GUID {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.data4[i] != b.data4[i]) return false;
        return true;
    }
    friend constexpr bool operator<(const GUID& a, const GUID& b) {
        if (a.data1 != b.data1) return a.data1 < b.data1;
        if (a.data2 != b.data2) return a.data2 < b.data2;
        if (a.data3 != b.data3) return a.data3 < b.data3;
        for (int i = 0; i < 8; ++i)
            if (a.data4[i] != b.data4[i]) return a.data4[i] < b.data4[i];
        return false;
    }
};
using IID = GUID;
using CLSID = GUID;

inline constexpr GUID GUID_NULL{};

namespace detail {
constexpr int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
// Parses exactly "{8-4-4-4-12}"; nullopt for anything else.
constexpr std::optional<GUID> parse_guid_text(std::string_view t) {
    if (t.size() != 38 || t.front() != '{' || t.back() != '}') return std::nullopt;
    if (t[9] != '-' || t[14] != '-' || t[19] != '-' || t[24] != '-') return std::nullopt;
    std::uint8_t bytes[16] = {};
    int digits = 0;
    for (std::size_t i = 1; i < 37; ++i) {
        if (i == 9 || i == 14 || i == 19 || i == 24) continue;
        const int d = hex_digit(t[i]);
        if (d < 0) return std::nullopt;
        bytes[digits / 2] = static_cast<std::uint8_t>(bytes[digits / 2] * 16 + d);
        ++digits;
    }
    GUID g;
    g.data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
              (std::uint32_t{bytes[2]} << 8) | bytes[3];
    g.data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    g.data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) g.data4[i] = bytes[8 + i];
    return g;
}
}  // namespace detail

// For constants: a malformed text makes the constant ill-formed (the throw is not a constant
// expression), so it is caught by the compiler.
consteval GUID guid(std::string_view text) {
    const auto g = detail::parse_guid_text(text);
    if (!g) throw "malformed GUID text";
    return *g;
}

// Run-time parsing of "{...}" texts (registry values, command lines).
std::optional<GUID> parse_guid(std::string_view text);
// "{763BDB62-6812-11D2-883E-3C8B00C10000}".
std::string guid_text(const GUID& g);

}  // namespace platform::com
