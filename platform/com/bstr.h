// BSTR: the COM string. A pointer to UTF-16 units that is preceded by a 32-bit byte length
// and followed by a 0 unit, allocated and freed only by these functions. A null BSTR is a
// valid empty string everywhere.
//
// Who frees: an [in] BSTR stays the caller's; an [out] BSTR becomes the caller's, who frees it
// with sys_free_string (or holds it in a Bstr).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace platform::com {

using BSTR = char16_t*;

// A copy of the 0-terminated text (null gives null).
BSTR sys_alloc_string(const char16_t* text);
// A copy of `length` units of text; text may be null, which gives `length` units of 0.
BSTR sys_alloc_string_len(const char16_t* text, std::uint32_t length);
void sys_free_string(BSTR text);
// Units, without the terminating 0 (0 for null).
std::uint32_t sys_string_len(BSTR text);
std::uint32_t sys_string_byte_len(BSTR text);

// Conversions with the system's 8-bit text and with UTF-8.
BSTR bstr_from_text(std::string_view cp1252);
std::string text_from_bstr(BSTR text);
BSTR bstr_from_utf8(std::string_view utf8);
std::string utf8_from_bstr(BSTR text);
std::u16string_view bstr_view(BSTR text);

// Owns one BSTR.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(std::string_view cp1252) : s_(bstr_from_text(cp1252)) {}
    static Bstr adopt(BSTR s) {
        Bstr b;
        b.s_ = s;
        return b;
    }
    Bstr(const Bstr& o) : s_(o.s_ ? sys_alloc_string_len(o.s_, sys_string_len(o.s_)) : nullptr) {}
    Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    Bstr& operator=(Bstr o) noexcept {
        std::swap(s_, o.s_);
        return *this;
    }
    ~Bstr() { sys_free_string(s_); }

    BSTR get() const { return s_; }
    // For out parameters: frees what is held and returns the slot.
    BSTR* put() {
        sys_free_string(std::exchange(s_, nullptr));
        return &s_;
    }
    BSTR detach() { return std::exchange(s_, nullptr); }
    std::uint32_t length() const { return sys_string_len(s_); }
    std::string text() const { return text_from_bstr(s_); }

  private:
    BSTR s_ = nullptr;
};

}  // namespace platform::com
