// BSTR allocation: [uint32 byte length][units][0 unit]; the BSTR points at the units.
#include "platform/com/bstr.h"

#include <cstdlib>
#include <cstring>

#include "platform/com/text.h"

namespace platform::com {

namespace {
constexpr std::size_t prefix = sizeof(std::uint32_t);
std::uint32_t* header(BSTR s) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(s) - prefix);
}
}  // namespace

BSTR sys_alloc_string_len(const char16_t* text, std::uint32_t length) {
    if (length > (UINT32_MAX - prefix - 2) / 2) return nullptr;
    const std::size_t bytes = std::size_t{length} * 2;
    // The units sit right after the 4-byte prefix; an 8-byte aligned block keeps them aligned.
    char* block = static_cast<char*>(std::malloc(prefix + bytes + 2));
    if (!block) return nullptr;
    std::uint32_t byte_length = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &byte_length, prefix);
    auto* units = reinterpret_cast<char16_t*>(block + prefix);
    if (text) {
        std::memcpy(units, text, bytes);
    } else {
        std::memset(units, 0, bytes);
    }
    units[length] = 0;
    return units;
}

BSTR sys_alloc_string(const char16_t* text) {
    if (!text) return nullptr;
    std::uint32_t n = 0;
    while (text[n]) ++n;
    return sys_alloc_string_len(text, n);
}

void sys_free_string(BSTR text) {
    if (text) std::free(header(text));
}

std::uint32_t sys_string_byte_len(BSTR text) {
    if (!text) return 0;
    std::uint32_t n;
    std::memcpy(&n, header(text), prefix);
    return n;
}

std::uint32_t sys_string_len(BSTR text) {
    return sys_string_byte_len(text) / 2;
}

std::u16string_view bstr_view(BSTR text) {
    return text ? std::u16string_view(text, sys_string_len(text)) : std::u16string_view();
}

BSTR bstr_from_text(std::string_view cp1252) {
    const std::u16string u = utf16_from_cp1252(cp1252);
    return sys_alloc_string_len(u.data(), static_cast<std::uint32_t>(u.size()));
}

std::string text_from_bstr(BSTR text) {
    return cp1252_from_utf16(bstr_view(text));
}

BSTR bstr_from_utf8(std::string_view utf8) {
    const std::u16string u = utf16_from_utf8(utf8);
    return sys_alloc_string_len(u.data(), static_cast<std::uint32_t>(u.size()));
}

std::string utf8_from_bstr(BSTR text) {
    return utf8_from_utf16(bstr_view(text));
}

}  // namespace platform::com
