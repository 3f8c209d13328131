#include "utilities/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/forms/interaction.h"
#include "utilities/session.h"
#include "utilities/tests/temp_store.h"

namespace {

using namespace putils;

double parsed(std::string_view text, bool* ok = nullptr) {
    double value = 123.0;
    const bool result = parse_real(text, value);
    if (ok != nullptr) *ok = result;
    return value;
}

TEST(ParseReal, AcceptsTheInstrumentsNumberForms) {
    struct Case {
        const char* text;
        double value;
    };
    for (const Case& c :
         {Case{"12.5", 12.5}, Case{"-0.25", -0.25}, Case{"5.", 5.0}, Case{".5", 0.5}, Case{".", 0.0},
          Case{"-.5", -0.5}, Case{"0", 0.0}, Case{"007", 7.0}, Case{"123456.789", 123456.789}}) {
        bool ok = false;
        EXPECT_DOUBLE_EQ(parsed(c.text, &ok), c.value) << c.text;
        EXPECT_TRUE(ok) << c.text;
        EXPECT_TRUE(is_real(c.text)) << c.text;
    }
}

TEST(ParseReal, RejectsEverythingElseWithValueZero) {
    for (const char* text :
         {"", "-", " 1", "1 ", "+1", "1e3", "1E3", "1,5", "1.2.3", "--1", "1-", "0x10", "abc"}) {
        bool ok = true;
        EXPECT_EQ(parsed(text, &ok), 0.0) << '"' << text << '"';
        EXPECT_FALSE(ok) << '"' << text << '"';
        EXPECT_FALSE(is_real(text)) << '"' << text << '"';
        EXPECT_EQ(text_to_real(text), 0.0) << '"' << text << '"';
    }
}

TEST(ParseReal, ADigitStringTooLongForADoubleIsNoNumber) {
    const std::string huge = "1" + std::string(400, '0');
    EXPECT_FALSE(is_real(huge));
    EXPECT_EQ(text_to_real(huge), 0.0);
    // Only the value counts, not the length: many digits whose value a double holds are a number.
    const std::string tiny = "0." + std::string(400, '0') + "1";
    EXPECT_TRUE(is_real(tiny));
    EXPECT_EQ(text_to_real(tiny), 0.0);
    EXPECT_TRUE(is_real(std::string(400, '0') + "7"));
    EXPECT_EQ(text_to_real(std::string(400, '0') + "7"), 7.0);
}

TEST(TextToInt, OwnGrammarWithZeroForAnythingElse) {
    EXPECT_EQ(text_to_int("-17"), -17);
    EXPECT_EQ(text_to_int("42"), 42);
    EXPECT_EQ(text_to_int("0042"), 42);
    EXPECT_EQ(text_to_int("12a"), 0);
    EXPECT_EQ(text_to_int("-"), 0);
    EXPECT_EQ(text_to_int(""), 0);
    EXPECT_EQ(text_to_int(" 1"), 0);
    EXPECT_EQ(text_to_int("+1"), 0);
    EXPECT_EQ(text_to_int("2147483647"), 2147483647);
    EXPECT_EQ(text_to_int("-2147483648"), -2147483647 - 1);
}

TEST(TextToInt, ANumberBeyond32BitsIsRefusedNotWrapped) {
    EXPECT_EQ(text_to_int("2147483648"), 0);
    EXPECT_EQ(text_to_int("-2147483649"), 0);
    EXPECT_EQ(text_to_int("4294967297"), 0);  // wrapping would give 1
    EXPECT_EQ(text_to_int("99999999999999999999999"), 0);
}

TEST(RealToText, GeneralFormatWithAPoint) {
    EXPECT_EQ(real_to_text(2.5), "2.5");
    EXPECT_EQ(real_to_text(-2.5), "-2.5");
    EXPECT_EQ(real_to_text(0.0), "0");
    EXPECT_EQ(real_to_text(-0.0), "0");
    EXPECT_EQ(real_to_text(90.0), "90");
    EXPECT_EQ(real_to_text(1000000.0), "1000000");
    EXPECT_EQ(real_to_text(0.1 + 0.2), "0.3");  // 15 significant digits
    EXPECT_EQ(real_to_text(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(real_to_text(123456789012345.0), "123456789012345");
    EXPECT_EQ(real_to_text(0.00001), "0.00001");
    EXPECT_EQ(real_to_text(0.000123), "0.000123");
    EXPECT_EQ(real_to_text(12.3456), "12.3456");
}

TEST(RealToText, ExtremesInExponentFormThatParseRealCannotRead) {
    EXPECT_EQ(real_to_text(1e15), "1E15");
    EXPECT_EQ(real_to_text(1.5e20), "1.5E20");
    EXPECT_EQ(real_to_text(-2.5e-7), "-2.5E-7");
    EXPECT_EQ(real_to_text(0.0000099), "9.9E-6");
    EXPECT_EQ(real_to_text(999999999999999.9), "1E15");  // rounded to 15 digits first
    EXPECT_FALSE(is_real(real_to_text(1e20)));
    EXPECT_FALSE(is_real(real_to_text(1e-9)));
}

TEST(RealToText, FixedFormsReadBack) {
    for (double v : {2.5, -0.25, 1234.5678, 0.001, 59.99, 1e14}) {
        EXPECT_DOUBLE_EQ(text_to_real(real_to_text(v)), v) << v;
    }
}

// Switches LC_ALL to a locale whose decimal separator is a comma: an installed one, else one
// built into a temp folder from the system's locale sources when localedef is there.
class CommaLocale {
  public:
    CommaLocale() : saved_(std::setlocale(LC_ALL, nullptr)) {
        for (const char* name :
             {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
            if (try_locale(name)) return;
        }
        if (!std::filesystem::exists("/usr/share/i18n/locales/de_DE")) return;
        built_ = std::make_unique<putils_test::TempFolder>();
        const std::string target = built_->file("de_DE.UTF-8");
        const std::string command = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0 && !std::filesystem::exists(target)) return;
        const char* old_path = std::getenv("LOCPATH");
        if (old_path != nullptr) old_locpath_ = old_path;
        had_locpath_ = old_path != nullptr;
        setenv("LOCPATH", built_->path().c_str(), 1);
        changed_locpath_ = true;
        try_locale("de_DE.UTF-8");
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, saved_.c_str());
        if (changed_locpath_) {
            if (had_locpath_) {
                setenv("LOCPATH", old_locpath_.c_str(), 1);
            } else {
                unsetenv("LOCPATH");
            }
        }
    }
    bool active() const { return active_; }

  private:
    bool try_locale(const char* name) {
        active_ = std::setlocale(LC_ALL, name) != nullptr && std::localeconv()->decimal_point[0] == ',';
        if (!active_) std::setlocale(LC_ALL, saved_.c_str());
        return active_;
    }
    std::string saved_;
    std::unique_ptr<putils_test::TempFolder> built_;
    std::string old_locpath_;
    bool had_locpath_ = false;
    bool changed_locpath_ = false;
    bool active_ = false;
};

// A user whose decimal separator is a comma still gets a point.
TEST(RealToText, KeepsThePointUnderACommaLocale) {
    std::string half, tiny, time;
    {
        CommaLocale comma;
        if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma can be had here";
        char check[16];
        std::snprintf(check, sizeof check, "%.1f", 2.5);
        ASSERT_STREQ(check, "2,5") << "the locale is in force";
        half = real_to_text(2.5);
        tiny = real_to_text(1.25e-7);
        time = format_time("7.5");
    }
    EXPECT_EQ(half, "2.5");
    EXPECT_EQ(tiny, "1.25E-7");
    EXPECT_EQ(time, "0:07.5");
}

TEST(SameText, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(same_text("Volume (\xB5l)", "VOLUME (\xB5L)"));
    EXPECT_FALSE(same_text("\xE9", "\xC9"));  // é and É stay apart
    EXPECT_FALSE(same_text("abc", "abcd"));
    EXPECT_TRUE(same_text("", ""));
    EXPECT_FALSE(same_text("[", "{"));  // 0x5B and 0x7B differ by the case bit but are no letters
    EXPECT_TRUE(starts_with_text("[macro Wash", "[MACRO "));
    EXPECT_TRUE(starts_with_text("anything", ""));
    EXPECT_FALSE(starts_with_text("[MAC", "[MACRO "));
    EXPECT_TRUE(is_macro_line("[Macro Load Sample]"));
    EXPECT_FALSE(is_macro_line(" [MACRO X]"));
}

TEST(StripExtension, CutsFromTheFirstPoint) {
    EXPECT_EQ(strip_extension("a.b.c"), "a");
    EXPECT_EQ(strip_extension("method.PME"), "method");
    EXPECT_EQ(strip_extension("no extension"), "no extension");
    EXPECT_EQ(strip_extension(".hidden"), "");
}

TEST(NextToken, CursorRules) {
    Cursor cursor = "  first ; second;;last ";
    EXPECT_EQ(next_token(cursor, ';'), "first ") << "leading blanks skipped, the one before ';' kept";
    EXPECT_EQ(cursor, " second;;last ") << "the cursor is on the character behind the delimiter";
    EXPECT_EQ(next_token(cursor, ';'), "second");
    EXPECT_EQ(next_token(cursor, ';'), "");
    EXPECT_EQ(next_token(cursor, ';'), "last ");
    EXPECT_TRUE(cursor.empty()) << "at the end of the text the cursor stays at the end";
    EXPECT_EQ(next_token(cursor, ';'), "");
    EXPECT_TRUE(cursor.empty());
}

TEST(NextToken, ATerminatingZeroEndsTheText) {
    const std::string text("a,b\0c,d", 7);
    Cursor cursor = text;
    EXPECT_EQ(next_token(cursor, ','), "a");
    EXPECT_EQ(next_token(cursor, ','), "b");
    EXPECT_EQ(next_token(cursor, ','), "");
    EXPECT_EQ(cursor.size(), 4u) << "the cursor stays on the zero";
}

TEST(NextToken, SkipsBlanksOnlyNotTabs) {
    Cursor cursor = "\t x(1";
    EXPECT_EQ(next_token(cursor, '('), "\t x");
    EXPECT_EQ(next_token(cursor, '('), "1");
    Cursor blanks = "   \tx";
    skip_blanks(blanks);
    EXPECT_EQ(blanks, "\tx");
}

TEST(IsInteger, DigitsWithAnOptionalMinus) {
    EXPECT_TRUE(is_integer("0"));
    EXPECT_TRUE(is_integer("-12"));
    EXPECT_FALSE(is_integer(""));
    EXPECT_FALSE(is_integer("-"));
    EXPECT_FALSE(is_integer("1.0"));
    EXPECT_FALSE(is_integer("+1"));
}

TEST(TimeTexts, IsTime) {
    EXPECT_FALSE(is_time(":")) << "shorter than 2 characters";
    EXPECT_FALSE(is_time("5"));
    EXPECT_FALSE(is_time("12"));
    EXPECT_TRUE(is_time(":5"));
    EXPECT_TRUE(is_time("3:"));
    EXPECT_TRUE(is_time("1:30"));
    EXPECT_TRUE(is_time("1:59.5"));
    EXPECT_TRUE(is_time("-1:30"));
    EXPECT_FALSE(is_time("1:60")) << "seconds must be below 60";
    EXPECT_FALSE(is_time("1:2:3")) << "the seconds part holds a colon";
    EXPECT_FALSE(is_time("a:30"));
    EXPECT_FALSE(is_time("1.5:30"));
    EXPECT_FALSE(is_time("1: 30"));
    EXPECT_FALSE(is_time("1:-5")) << "seconds behind minutes carry no sign";
}

TEST(TimeTexts, TimeToSeconds) {
    EXPECT_EQ(time_to_seconds("2:30"), 150.0);
    EXPECT_EQ(time_to_seconds("150"), 0.0) << "no colon";
    EXPECT_EQ(time_to_seconds(":45"), 45.0);
    EXPECT_EQ(time_to_seconds("3:"), 180.0);
    EXPECT_EQ(time_to_seconds("0:07.5"), 7.5);
    EXPECT_EQ(time_to_seconds("-1:30"), -90.0) << "the sign covers the whole time";
    EXPECT_EQ(time_to_seconds("-0:30"), -30.0);
    EXPECT_EQ(seconds_text("1:30"), "90");
    EXPECT_EQ(seconds_text("90"), "90");
    EXPECT_EQ(seconds_text("SL.index"), "SL.index");
}

TEST(TimeTexts, FormatTime) {
    EXPECT_EQ(format_time("0"), "0:00");
    EXPECT_EQ(format_time("90"), "1:30");
    EXPECT_EQ(format_time("0.5"), "0:00.5");
    EXPECT_EQ(format_time("605"), "10:05");
    EXPECT_EQ(format_time("125"), "2:05");
    EXPECT_EQ(format_time("7.5"), "0:07.5");
    EXPECT_EQ(format_time("72.25"), "1:12.25");
    EXPECT_EQ(format_time("60"), "1:00");
    EXPECT_EQ(format_time("59.99"), "0:59.99");
    EXPECT_EQ(format_time("not a number"), "0:00");
}

TEST(TimeTexts, FormatTimeShowsNoBinaryNoise) {
    EXPECT_EQ(format_time("60.1"), "1:00.1");
    EXPECT_EQ(format_time("3600.7"), "60:00.7");
    EXPECT_EQ(format_time("119.99999999999999"), "2:00");
    EXPECT_EQ(time_to_seconds(format_time("60.1")), 60.1);
}

TEST(TimeTexts, FormatTimeOfANegativeValue) {
    EXPECT_EQ(format_time("-90"), "-1:30");
    EXPECT_EQ(format_time("-7.5"), "-0:07.5");
    EXPECT_EQ(time_to_seconds(format_time("-90")), -90.0);
}

TEST(TimeTexts, DisplayValue) {
    EXPECT_EQ(display_value("90", "S"), "1:30") << "the unit is compared without case";
    EXPECT_EQ(display_value("90", "s"), "1:30");
    EXPECT_EQ(display_value("90", "\xB5l"), "90");
    EXPECT_EQ(display_value("SL.index", "s"), "SL.index") << "no number: unchanged";
    EXPECT_EQ(display_value("1:30", "s"), "1:30");
}

TEST(InstanceSuffix, FollowsTheInstanceNumber) {
    reset_session();
    session().instance_number = 1;
    EXPECT_EQ(instance_suffix(), " ZOR 1");
    session().instance_number = 12;
    EXPECT_EQ(instance_suffix(), " ZOR 12");
    reset_session();
}

class ReadingNumbers : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_session();
        session().use_message_boxes = true;
        script.set_default_box_answer(platform::forms::mr_cancel);
    }
    void TearDown() override { reset_session(); }
    platform::forms::ScriptedInteraction script;
};

TEST_F(ReadingNumbers, ReadIntStandardConversion) {
    std::int32_t value = -1;
    EXPECT_TRUE(read_int("123", "ctx", value));
    EXPECT_EQ(value, 123);
    EXPECT_TRUE(read_int("-45", "ctx", value));
    EXPECT_EQ(value, -45);
    EXPECT_TRUE(read_int("+7", "ctx", value));
    EXPECT_EQ(value, 7);
    EXPECT_TRUE(read_int("$1F", "ctx", value));
    EXPECT_EQ(value, 31);
    EXPECT_TRUE(read_int("0x10", "ctx", value));
    EXPECT_EQ(value, 16);
    EXPECT_TRUE(read_int("-2147483648", "ctx", value));
    EXPECT_EQ(value, -2147483647 - 1);
    EXPECT_TRUE(script.boxes().empty());
}

TEST_F(ReadingNumbers, ReadIntReportsWhatItRejects) {
    for (const char* text : {"", "12a", "1.5", "2147483648", "$", "-", "1 "}) {
        std::int32_t value = -1;
        script.clear_record();
        EXPECT_FALSE(read_int(text, "Port", value)) << '"' << text << '"';
        EXPECT_EQ(value, 0);
        ASSERT_EQ(script.boxes().size(), 1u);
        EXPECT_EQ(script.boxes()[0].request.text, "Not a number:Port");
    }
    EXPECT_EQ(session().last_error, "Not a number:Port");
}

TEST_F(ReadingNumbers, ReadRealReportsWhatItRejects) {
    double value = -1;
    EXPECT_TRUE(read_real("2.5", "Volume", value));
    EXPECT_EQ(value, 2.5);
    EXPECT_TRUE(script.boxes().empty());
    EXPECT_FALSE(read_real("2,5", "Volume", value));
    EXPECT_EQ(value, 0.0);
    ASSERT_EQ(script.boxes().size(), 1u);
    EXPECT_EQ(script.boxes()[0].request.text, "Not a real number:Volume");
}

}  // namespace
