// The one Windows-1252 conversion, checked both ways against the C library's own converter
// (iconv), which shares no code with it: every byte, and every UTF-16 unit outside the surrogates.
#include <gtest/gtest.h>

#include <iconv.h>

#include <cerrno>
#include <optional>
#include <set>
#include <string>

#include "platform/text/text.h"

namespace {

namespace text = platform::text;

// The five bytes Windows-1252 leaves undefined: the system keeps them as the control
// characters of the same number; iconv knows no character for them.
bool undefined_byte(unsigned b) {
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Iconv() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) ::iconv_close(cd_);
    }
    bool usable() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // The converted bytes, or nothing when iconv has no conversion for the input.
    std::optional<std::string> operator()(std::string in) {
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char out[16];
        char* in_p = in.data();
        char* out_p = out;
        std::size_t in_left = in.size(), out_left = sizeof out;
        if (::iconv(cd_, &in_p, &in_left, &out_p, &out_left) == static_cast<std::size_t>(-1))
            return std::nullopt;
        return std::string(out, sizeof out - out_left);
    }

  private:
    iconv_t cd_;
};

std::string utf16le(char16_t unit) {
    return {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
}

TEST(Windows1252, EveryByteToUtf16AndUtf8AndBack) {
    Iconv to_utf16("UTF-16LE", "CP1252"), to_utf8("UTF-8", "CP1252");
    ASSERT_TRUE(to_utf16.usable() && to_utf8.usable());
    std::set<char16_t> units;
    for (unsigned b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        const std::string byte(1, static_cast<char>(b));
        const char16_t unit = text::unit_from_cp1252(byte[0]);
        const std::u16string utf16 = text::utf16_from_cp1252(byte);
        const std::string utf8 = text::utf8_from_cp1252(byte);
        ASSERT_EQ(utf16, std::u16string(1, unit));
        units.insert(unit);
        if (undefined_byte(b)) {
            EXPECT_EQ(unit, char16_t(b));
            EXPECT_EQ(utf8, std::string({static_cast<char>(0xC2), static_cast<char>(b)}));
        } else {
            EXPECT_EQ(to_utf16(byte), utf16le(unit));
            EXPECT_EQ(to_utf8(byte), utf8);
        }
        EXPECT_EQ(text::cp1252_from_utf16(utf16), byte);
        EXPECT_EQ(text::cp1252_from_utf8(utf8), byte);
        EXPECT_EQ(text::cp1252_from_unit(unit), byte[0]);
        EXPECT_EQ(text::utf8_from_utf16(utf16), utf8);
        EXPECT_EQ(text::utf16_from_utf8(utf8), utf16);
    }
    EXPECT_EQ(units.size(), 256u);  // no two bytes share a character
}

TEST(Windows1252, EveryUtf16UnitOutsideTheSurrogatesToAByteOrAQuestionMark) {
    Iconv to_cp1252("CP1252", "UTF-16LE"), to_utf8("UTF-8", "UTF-16LE");
    ASSERT_TRUE(to_cp1252.usable() && to_utf8.usable());
    int with_byte = 0, units = 0;
    for (char32_t u = 0; u <= 0xFFFF; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF) continue;
        ++units;
        const auto unit = static_cast<char16_t>(u);
        const std::u16string utf16(1, unit);
        const bool c1_of_undefined = undefined_byte(u);
        const std::optional<std::string> expected =
            c1_of_undefined ? std::string(1, static_cast<char>(u)) : to_cp1252(utf16le(unit));
        const std::string got = text::cp1252_from_utf16(utf16);
        const std::optional<char> byte = text::cp1252_from_code_point(u);
        ASSERT_EQ(byte.has_value(), expected.has_value()) << std::hex << unsigned(u);
        if (expected) {
            ++with_byte;
            ASSERT_EQ(got, *expected) << std::hex << unsigned(u);
            ASSERT_EQ(text::unit_from_cp1252(got[0]), unit) << std::hex << unsigned(u);
        } else {
            ASSERT_EQ(got, "?") << std::hex << unsigned(u);
        }
        // UTF-8 both ways, and to Windows-1252 from either form alike.
        const std::string utf8 = text::utf8_from_utf16(utf16);
        ASSERT_EQ(std::optional<std::string>(utf8), to_utf8(utf16le(unit))) << std::hex << unsigned(u);
        ASSERT_EQ(text::utf16_from_utf8(utf8), utf16) << std::hex << unsigned(u);
        ASSERT_EQ(text::cp1252_from_utf8(utf8), got) << std::hex << unsigned(u);
        char32_t code = 0;
        ASSERT_EQ(text::utf8_sequence(utf8, 0, code), utf8.size());
        ASSERT_EQ(code, u);
    }
    EXPECT_EQ(units, 63488);
    EXPECT_EQ(with_byte, 256);
}

TEST(Windows1252, SurrogatesAndMalformedUtf8BecomeReplacementsAndQuestionMarks) {
    // A pair is one character, which Windows-1252 does not have; a lone surrogate is none.
    EXPECT_EQ(text::cp1252_from_utf16(u"\xD83D\xDE00x"), "?x");
    EXPECT_EQ(text::cp1252_from_utf16(std::u16string(1, char16_t(0xDC00))), "?");
    EXPECT_EQ(text::utf8_from_utf16(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(text::utf8_from_utf16(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(text::utf16_from_utf8("\xF0\x9F\x98\x80"), u"\xD83D\xDE00");
    // Overlong, surrogate, cut short, stray continuation: each bad byte is one replacement.
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\x80", "\xF5\x80\x80\x80"}) {
        char32_t code = 0;
        EXPECT_EQ(text::utf8_sequence(bad, 0, code), 0u) << bad;
        EXPECT_EQ(text::cp1252_from_utf8(bad), std::string(std::string_view(bad).size(), '?')) << bad;
    }
}

}  // namespace
