// UTF-16LE <-> Windows-1252 text helpers.
#include <gtest/gtest.h>

#include "platform/storage/cfb_text.h"

using namespace platform::storage;

namespace {

std::vector<std::uint8_t> units(std::initializer_list<char16_t> list) {
    std::vector<std::uint8_t> out;
    for (char16_t c : list) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

TEST(CfbText, AsciiAndLatin1) {
    EXPECT_EQ(utf16le_to_cp1252(units({u'A', u'z', 0xE9, 0xFF})), "Az\xE9\xFF");
    EXPECT_EQ(cp1252_to_utf16le("Az\xE9"), units({u'A', u'z', 0xE9}));
}

TEST(CfbText, HighRangeFollowsWindows1252) {
    EXPECT_EQ(utf16le_to_cp1252(units({0x20AC, 0x2019, 0x0178, 0x2122})), "\x80\x92\x9F\x99");
    EXPECT_EQ(cp1252_to_utf16le("\x80\x8A\x9C"), units({0x20AC, 0x0160, 0x0153}));
    // Undefined bytes survive a round trip as the control character of the same value.
    EXPECT_EQ(utf16le_to_cp1252(cp1252_to_utf16le("\x81\x8D\x8F\x90\x9D")), "\x81\x8D\x8F\x90\x9D");
}

TEST(CfbText, EveryByteRoundTrips) {
    std::string all;
    for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(utf16le_to_cp1252(cp1252_to_utf16le(all)), all);
}

TEST(CfbText, UnmappableBecomesQuestionMark) {
    // C1 control U+0085 (not in the table), Greek alpha, a surrogate pair (one character), CJK.
    EXPECT_EQ(utf16le_to_cp1252(units({0x0085, 0x03B1, 0xD83D, 0xDE00, 0x4E2D, u'x'})), "????x");
    EXPECT_EQ(utf16le_to_cp1252(units({0xDC00})), "?");
}

TEST(CfbText, ByteOrderMarkAndOddByteDropped) {
    auto bytes = units({0xFEFF, u'o', u'k'});
    bytes.push_back(0x41);
    EXPECT_EQ(utf16le_to_cp1252(bytes), "ok");
}

TEST(CfbText, LinesEndedByCrLf) {
    auto text = utf16le_from_lines({"SAMPLE 1", "", "WASH \x80"});
    EXPECT_EQ(text.size(), (8 + 2 + 0 + 2 + 6 + 2) * 2u);
    auto lines = utf16le_lines(text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "SAMPLE 1");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "WASH \x80");
    EXPECT_EQ(utf16le_lines(cp1252_to_utf16le("a\nb\r\nc")), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(CfbText, CrLfLoneCrAndLoneLfEachEndOneLineAndNoCharacterIsLost) {
    EXPECT_EQ(utf16le_lines(cp1252_to_utf16le("ab\rcd\nef\r\ngh")),
              (std::vector<std::string>{"ab", "cd", "ef", "gh"}));
    // LF CR is two ends (an empty line between), CR CR too.
    EXPECT_EQ(utf16le_lines(cp1252_to_utf16le("a\n\rb\r\rc\r")),
              (std::vector<std::string>{"a", "", "b", "", "c"}));
    EXPECT_TRUE(utf16le_lines({}).empty());
    EXPECT_EQ(utf16le_lines(cp1252_to_utf16le("\r\n")), (std::vector<std::string>{""}));
}

}  // namespace
