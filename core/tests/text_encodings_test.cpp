// Configuration and macro files in the encodings editors save them in: each reads to the same
// model as the Windows-1252 text, or is refused with a message that names the line; never read
// with its units unscaled.
#include <gmock/gmock.h>

#include <fstream>
#include <iterator>

#include "core/macro_library.h"
#include "core/quantities.h"
#include "core/tests/engine_fixture.h"

namespace core_test {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::SizeIs;

// The code points of a UTF-8 text (well formed, as the tests write it).
std::vector<std::uint32_t> code_points(std::string_view utf8) {
    std::vector<std::uint32_t> codes;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (utf8[i + k] & 0x3F);
        codes.push_back(code);
        i += length;
    }
    return codes;
}

std::string utf16(std::string_view utf8, bool big_endian, bool with_mark = true) {
    std::string out;
    auto unit = [&](std::uint32_t u) {
        const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
        out += big_endian ? high : low;
        out += big_endian ? low : high;
    };
    if (with_mark) unit(0xFEFF);
    for (std::uint32_t code : code_points(utf8)) {
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    return out;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// The standard configuration with the Windows-1252 line `index` replaced by `line` (UTF-8).
std::string utf8_configuration(int index, const std::string& line) {
    std::vector<std::string> lines = standard_configuration();
    for (std::string& l : lines) l = core::file_name_to_utf8(l);
    lines[index] = line;
    return joined(lines);
}

int line_index(const std::string& text) {
    const std::vector<std::string> lines = standard_configuration();
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == text) return int(i);
    ADD_FAILURE() << "no line " << text;
    return 0;
}

class TextEncodings : public EngineTest {
  protected:
    void write_bytes(const std::string& name, std::string_view bytes) {
        std::ofstream file(path(name), std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), std::streamsize(bytes.size()));
        ASSERT_TRUE(file.good());
    }

    // Reads the configuration file written with `bytes`.
    bool read_with(std::string_view bytes) {
        write_bytes("latest_zor.pol", bytes);
        core::reset_config_model();
        clear_messages();
        return core::read_configuration_file(core::config_file_path());
    }

    const int depth_line = line_index("Depth;0;60000;20000;1;" MU "m");
};

TEST_F(TextEncodings, TheConfigurationReadsAlikeInEveryEncoding) {
    const std::string cp1252 = joined(standard_configuration());
    ASSERT_TRUE(read_with(cp1252)) << testing::PrintToString(messages());
    const std::string expected = describe_model();
    EXPECT_EQ(core::get_number_attribute("Wash1", "Depth"), 20);

    const std::string utf8 = core::file_name_to_utf8(cp1252);
    ASSERT_NE(utf8, cp1252);  // "µ" and "°" take two bytes
    const struct {
        const char* name;
        std::string bytes;
        core::TextEncoding encoding;
    } encodings[] = {
        {"UTF-8", utf8, core::TextEncoding::utf8},
        {"UTF-8 with mark", "\xEF\xBB\xBF" + utf8, core::TextEncoding::utf8_with_mark},
        {"UTF-16 LE", utf16(utf8, false), core::TextEncoding::utf16le},
        {"UTF-16 BE", utf16(utf8, true), core::TextEncoding::utf16be},
        {"Windows-1252", cp1252, core::TextEncoding::windows_1252},
    };
    for (const auto& e : encodings) {
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(read_with(e.bytes)) << testing::PrintToString(messages());
        EXPECT_TRUE(messages().empty());
        EXPECT_EQ(describe_model(), expected);
        EXPECT_EQ(core::get_number_attribute("Wash1", "Depth"), 20);  // mm, not 20000

        std::string text;
        core::TextProblem problem;
        core::TextEncoding found{};
        ASSERT_TRUE(core::decode_text(e.bytes, text, problem, &found));
        EXPECT_EQ(found, e.encoding);
        EXPECT_EQ(text, cp1252);
    }
}

TEST_F(TextEncodings, TheExampleConfigurationAsAnEditorSavesIt) {
    std::ifstream in(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol", std::ios::binary);
    ASSERT_TRUE(in.good());
    const std::string cp1252((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(read_with(cp1252)) << testing::PrintToString(messages());
    const std::string expected = describe_model();
    EXPECT_EQ(core::get_number_attribute("Wash1", "Depth"), 20);
    const std::string utf8 = core::file_name_to_utf8(cp1252);
    for (const std::string& bytes : {utf8, "\xEF\xBB\xBF" + utf8, utf16(utf8, false), utf16(utf8, true)}) {
        ASSERT_TRUE(read_with(bytes)) << testing::PrintToString(messages());
        EXPECT_EQ(describe_model(), expected);
    }
}

TEST_F(TextEncodings, ACharacterWithoutAWindows1252FormIsRefusedWithItsLine) {
    // The Greek letter mu (U+03BC) instead of the micro sign, as some editors write it.
    const std::string greek_mu = utf8_configuration(depth_line, "Depth;0;60000;20000;1;\xCE\xBCm");
    const std::string expected = "line " + std::to_string(depth_line + 1) +
                                 " holds the character U+03BC, which Windows-1252 does not have";
    for (const std::string& bytes :
         {greek_mu, "\xEF\xBB\xBF" + greek_mu, utf16(greek_mu, false), utf16(greek_mu, true)}) {
        EXPECT_FALSE(read_with(bytes));
        EXPECT_THAT(messages(), ElementsAre("Cannot read " + core::config_file_path() + ": " + expected));
        EXPECT_EQ(core::config_model().object_count, 0);
    }
    // Beyond the 16 bits of UTF-16: a surrogate pair is one character.
    EXPECT_FALSE(read_with(utf16(utf8_configuration(2, "0;2;None;\xF0\x9F\x98\x80"), true)));
    EXPECT_THAT(messages(), ElementsAre(HasSubstr(": line 3 holds the character U+1F600,")));
}

TEST_F(TextEncodings, BrokenAndMixedTextsAreRefusedWithTheirLine) {
    const std::string good = core::file_name_to_utf8(joined(standard_configuration()));
    const struct {
        const char* what;
        std::string bytes;
        std::string message;
    } cases[] = {
        // "µ" once as UTF-8 and once as the Windows-1252 byte: neither encoding throughout.
        {"mixed", utf8_configuration(depth_line, "Depth;0;60000;20000;1;\xB5m"),
         "line " + std::to_string(depth_line + 1) + " mixes UTF-8 with Windows-1252 characters"},
        {"a stray byte behind the UTF-8 mark",
         "\xEF\xBB\xBF" + utf8_configuration(depth_line, "Depth;0;60000;20000;1;\xB5m"),
         "line " + std::to_string(depth_line + 1) + " is not valid UTF-8"},
        {"UTF-16 without its mark", utf16(good, false, false), "line 1 holds a NUL character"},
        {"a NUL in a Windows-1252 text", std::string("[LISTS]\r\n0;2;No\0ne\r\n", 20),
         "line 2 holds a NUL character"},
        {"UTF-16 cut in a character", utf16(good, false) + "x", "is not valid UTF-16"},
        {"a lone surrogate", utf16("[LISTS]\n\n", true) + std::string("\xD8\x3D\x00\x0A", 4),
         "line 3 is not valid UTF-16"},
        // UTF-32 begins with the little-endian UTF-16 mark, followed by a NUL.
        {"UTF-32", std::string("\xFF\xFE\0\0[\0\0\0", 8), "line 1 holds a NUL character"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(read_with(c.bytes));
        EXPECT_THAT(messages(), ElementsAre(HasSubstr(c.message)));
        EXPECT_EQ(core::config_model().class_count, 0);
    }
}

TEST_F(TextEncodings, LinesAreCountedAsTheyAreSplit) {
    std::string text;
    core::TextProblem problem;
    // CR LF, LF and a lone CR each end one line.
    EXPECT_FALSE(core::decode_text("a\r\nb\nc\rd\r\n\xCE\xBC", text, problem));
    EXPECT_EQ(problem.line, 5);
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(
        core::decode_text(std::string_view("\xFE\xFF\0a\0\r\0\r\0\n\0\r\x03\xBC", 14), text, problem));
    EXPECT_EQ(problem.line, 4);
}

TEST_F(TextEncodings, EveryWindows1252CharacterComesThrough) {
    // The whole code page, in UTF-8: the 27 letters and signs of 0x80..0x9F and the five bytes
    // the code page leaves undefined (kept as their control characters) included.
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    const std::string utf8 = core::file_name_to_utf8(all);
    std::string text;
    core::TextProblem problem;
    ASSERT_TRUE(core::decode_text(utf8, text, problem)) << problem.reason;
    EXPECT_EQ(text, all);
    ASSERT_TRUE(core::decode_text(utf16(utf8, false), text, problem)) << problem.reason;
    EXPECT_EQ(text, all);
    // Plain ASCII is read as it is; a C1 control character without a Windows-1252 byte is not.
    core::TextEncoding found{};
    ASSERT_TRUE(core::decode_text("[LISTS]", text, problem, &found));
    EXPECT_EQ(found, core::TextEncoding::windows_1252);
    EXPECT_FALSE(core::decode_text("\xC2\x80", text, problem));
    EXPECT_EQ(problem.reason, "holds the character U+0080, which Windows-1252 does not have");
}

TEST_F(TextEncodings, UnitsOutsideTheTableAreTheirOwnOnlyLossyOnesAreRefused) {
    // Units the instrument writes, and any other unit text, taken as it is.
    for (const char* unit : {"nl", "NL",   MU "m",      "nl/s", "m" DEG "C", "E",     "",
                             "s",  "ms",   "mm",        "rpm",  MU "s",      DEG "F", "um",
                             "UM", "ul/s", "m" DEG "F", MU "A", "\xC2\xB5m", "n l",   "counts"})
        EXPECT_TRUE(core::is_readable_instrument_unit(unit)) << unit;
    // What no unit text holds: "?" or the replacement character (a lossy conversion), a control
    // character.
    for (const char* unit : {"?m", "m?C", "?l", "\xEF\xBF\xBDl", "\x01", "n\tl", "\x7F", "\x81l"})
        EXPECT_FALSE(core::is_readable_instrument_unit(unit)) << unit;

    // "µs", "°F" and a unit of six characters read; their values are not scaled.
    std::vector<std::string> text = standard_configuration();
    text[line_index("Pulse;0;10;1;1;s")] = "Pulse;0;10000;500;1;" MU "s";
    text[line_index("OUT_SIGNAL;Ready Out;Ready relay;2")] = "OUT_SIGNAL;Ready Out;Ready relay;250";
    text[line_index("Temperature;4000;40000;20000;1;m" DEG "C")] = "Temperature;4000;40000;20000;1;" DEG "F";
    text[line_index("TRAY;Tray2;VT96BC;TH-9070;130000;0;0;20000;A")] =
        "TRAY;Tray2;VT96BC;TH-9070;130000;0;0;68;A";
    text[line_index("?Delay;0;60;0;1;s")] = "?Delay;0;60;0;1;counts";
    ASSERT_TRUE(core::read_configuration(text)) << testing::PrintToString(messages());
    EXPECT_EQ(core::get_number_attribute("Ready Out", "Pulse"), 250);
    EXPECT_EQ(core::get_number_attribute("Tray2", "Temperature"), 68);
    const core::Tconfig_model& m = core::config_model();
    EXPECT_EQ(m.classes[core::find_class("OUT_SIGNAL")].attributes[1].unit.view(), MU "s");
    EXPECT_EQ(m.classes[core::find_class("TRAY")].attributes[5].unit.view(), DEG "F");
    const core::Tatom_param_rec& delay = m.atoms[core::find_atom("ASPIRATE")].params[3];
    EXPECT_EQ(delay.unit.view(), "coun");
    EXPECT_EQ(delay.max.view(), "60");

    // A "µ" lost on its way is refused, with the line named.
    clear_messages();
    text = standard_configuration();
    text[line_index("Loop Volume;0;1000000;20000;1;nl")] = "Loop Volume;0;1000000;20000;1;?l";
    EXPECT_FALSE(core::read_configuration(text));
    EXPECT_THAT(messages(), ElementsAre("INJECTOR:Loop Volume: the unit ?l is damaged, in the line "
                                        "Loop Volume;0;1000000;20000;1;?l"));
    EXPECT_EQ(core::config_model().object_count, 0);  // no object read with that unit
    clear_messages();
    text = standard_configuration();
    text[line_index("?Delay;0;60;0;1;s")] = "?Delay;0;60;0;1;\xEF\xBF\xBDs";
    EXPECT_FALSE(core::read_configuration(text));
    EXPECT_THAT(messages(), ElementsAre("ASPIRATE:Delay: the unit \xEF\xBF\xBDs is damaged, in the line "
                                        "?Delay;0;60;0;1;\xEF\xBF\xBDs"));
}

TEST_F(TextEncodings, MacroFilesAreReadTheSameWay) {
    // An error macro saved as UTF-8 with a mark reads as the Windows-1252 one does.
    write_bytes("ERROR ENTRY.pma", "\xEF\xBB\xBF// on an instrument error \xC2\xB0\r\nWASH(Wash1,1)\r\n");
    std::vector<std::string> lines;
    ASSERT_TRUE(core::load_macro_file("ERROR ENTRY", lines));
    EXPECT_THAT(lines, ElementsAre("// on an instrument error " DEG, "WASH(Wash1,1)"));

    load_standard_configuration();
    ASSERT_TRUE(core::build_error_macros()) << testing::PrintToString(messages());

    // One that cannot be read is not taken for an empty macro.
    write_bytes("ERROR EXIT.pma", "WASH(Wash2,1) \xE2\x86\x92\r\n");
    EXPECT_FALSE(core::load_macro_file("ERROR EXIT", lines));
    EXPECT_THAT(lines, SizeIs(0));
    clear_messages();
    EXPECT_FALSE(core::build_error_macros());
    EXPECT_THAT(messages(),
                ElementsAre("Cannot read " + core::macro_file_path("ERROR EXIT") +
                            ": line 1 holds the character U+2192, which Windows-1252 does not have"));
}

TEST_F(TextEncodings, AFileThereButUnreadableSaysSoAMissingOneDoesNot) {
    std::vector<std::string> lines{"stale"};
    EXPECT_FALSE(core::load_lines(path("missing.pma"), lines));
    EXPECT_THAT(lines, SizeIs(0));
    EXPECT_THAT(messages(), SizeIs(0));

    write_bytes("huge.pma", std::string(core::max_line_file_size + 1, 'x'));
    EXPECT_FALSE(core::load_lines(path("huge.pma"), lines));
    EXPECT_THAT(messages(), ElementsAre("Cannot read " + path("huge.pma") + ": it is larger than " +
                                        std::to_string(core::max_line_file_size) + " bytes"));
}

}  // namespace
}  // namespace core_test
