// Units and the value conversions at the core's borders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

#include "core/quantities.h"
#include "utilities/text.h"

namespace {

#define MU "\xB5"
#define DEG "\xB0"

struct UnitCase {
    const char* instrument;
    const char* user;
};

// Both directions of the mapping.
static constexpr UnitCase unit_cases[] = {
    {"nl", MU "l"},         {MU "m", "mm"}, {"nl/s", MU "l/s"},
    {"m" DEG "C", DEG "C"}, {"E", ""},      {"s", "s"},  // not mapped, not scaled
};

TEST(UnitMapping, PairsMapBothWays) {
    for (const UnitCase& c : unit_cases) {
        EXPECT_EQ(core::to_user_unit(c.instrument), c.user) << c.instrument;
        EXPECT_EQ(core::to_instrument_unit(c.user), c.instrument) << c.user;
    }
    EXPECT_EQ(core::unit_ul(), MU "l");
    EXPECT_EQ(core::unit_ul_per_s(), MU "l/s");
    EXPECT_EQ(core::unit_degc(), DEG "C");
    EXPECT_EQ(core::unit_mdegc(), "m" DEG "C");
    EXPECT_EQ(core::unit_um(), MU "m");
}

TEST(UnitMapping, MappingIgnoresCaseButScalingDoesNot) {
    // "NL" is read as nanolitres and its user unit is scaled ...
    EXPECT_EQ(core::to_user_unit("NL"), MU "l");
    EXPECT_TRUE(core::is_scaled_unit(core::to_user_unit("NL")));
    // ... while a user unit spelled "ML" maps to nothing and is not scaled.
    EXPECT_EQ(core::to_instrument_unit("ML"), "ML");
    EXPECT_FALSE(core::is_scaled_unit("ML"));
    EXPECT_FALSE(core::is_scaled_unit("MM"));
    EXPECT_TRUE(core::is_scaled_unit("mm"));
    EXPECT_FALSE(core::is_scaled_unit("s"));
    EXPECT_FALSE(core::is_scaled_unit(""));
    EXPECT_EQ(core::to_user_unit("unknown"), "unknown");
}

struct TextCase {
    const char* text;
    const char* unit;
    const char* expected;
};

// Atom limits as read: integer texts other than "0" in a scaled unit are divided by 1000.
static constexpr TextCase to_user_cases[] = {
    {"2500", MU "l", "2.5"},
    {"-500", MU "l", "-0.5"},
    {"0", MU "l", "0"},
    {"1000", MU "l", "1"},
    {"1", MU "l", "0.001"},
    {"1001", MU "l", "1.001"},
    {"00250", "mm", "0.25"},
    {"1500.0", MU "l", "1500.0"},          // not an integer text: kept, so taken in µl
    {"SYR.Volume", MU "l", "SYR.Volume"},  // an expression
    {"-", MU "l", "-"},
    {"2500", "", "2500"},  // a plain number is not scaled
    {"2500", "s", "2500"},
    // A long integer keeps every digit; nothing wraps at 32 bits.
    {"12345678901234567890", MU "l", "12345678901234567.89"},
    {"4294967296", DEG "C", "4294967.296"},
};

TEST(InstrumentValueToUser, ScalesOnlyIntegerTexts) {
    for (const TextCase& c : to_user_cases)
        EXPECT_EQ(core::instrument_value_to_user(c.text, c.unit), c.expected) << c.text << " " << c.unit;
}

// Atom limits as written back: real texts are multiplied and truncated exactly.
static constexpr TextCase to_instrument_cases[] = {
    {"2.5", MU "l", "2500"},   {"0.0005", MU "l", "0"},
    {"1.001", MU "l", "1001"},  // 1.001 * 1000 in binary is 1000.999...; the digits are exact
    {"1.005", "mm", "1005"},   {"-0.5", MU "l", "-500"},
    {"-0.0001", MU "l", "0"},  {"5.", MU "l", "5000"},
    {".", MU "l", "0"},        {"2.5", "", "2"},
    {"-2.5", "s", "-2"},       {"SL.volume*2", MU "l", "SL.volume*2"},
    {"1:30", "s", "1:30"},     {"12345678901234567.89", MU "l", "12345678901234567890"},
};

TEST(UserValueToInstrument, TruncatesOnTheDigits) {
    for (const TextCase& c : to_instrument_cases)
        EXPECT_EQ(core::user_value_to_instrument(c.text, c.unit), c.expected) << c.text << " " << c.unit;
}

TEST(UserValueToInstrument, RoundTripsEveryIntegerLimit) {
    // Every integer limit read in a scaled unit is written back as it was.
    for (int value = -2000; value <= 200000; value += 7) {
        std::string text = std::to_string(value);
        ASSERT_EQ(core::user_value_to_instrument(core::instrument_value_to_user(text, MU "l"), MU "l"), text);
    }
}

TEST(LimitToText, WritesWhatTheReaderReadsBack) {
    EXPECT_EQ(core::limit_to_text(1000), "1000");
    EXPECT_EQ(core::limit_to_text(-500000), "-500000");
    EXPECT_EQ(core::limit_to_text(1.9), "1.9");
    EXPECT_EQ(core::limit_to_text(0.0000001), "0.0000001");  // no exponent form
    EXPECT_EQ(core::limit_to_text(-0.0), "0");
    EXPECT_EQ(core::limit_to_text(1e15), "1000000000000000");
    EXPECT_EQ(core::limit_to_text(-123456.789), "-123456.789");
    EXPECT_EQ(core::limit_to_text(0.1 + 0.2), "0.3");  // fifteen significant digits
    // Written, read back and written again: the same text.
    for (double v : {1.9, 1000.25, 1e-7, 0.1 + 0.2, 123456789.123456, -1e14 / 3, 2.0 / 3}) {
        std::string once = core::limit_to_text(v);
        EXPECT_EQ(core::limit_to_text(putils::text_to_real(once)), once) << v;
    }
}

struct IntegerCase {
    double value;
    const char* unit;
    std::optional<std::int64_t> command;
    std::optional<std::int64_t> object;
};

const double infinity = std::numeric_limits<double>::infinity();

// Command lines truncate toward zero; object lines round, halves to even.
const IntegerCase integer_cases[] = {
    {2.5, MU "l", 2500, 2500},
    {12.3456, MU "l", 12345, 12346},
    {1.9999, MU "l", 1999, 2000},
    {1.005, MU "l", 1005, 1005},  // held as 1.00499999...: still 1005
    {1.001, MU "l", 1001, 1001},
    {-1.9999, MU "l", -1999, -2000},
    {2.5, "", 2, 2},
    {3.5, "", 3, 4},
    {1.5, "s", 1, 2},
    {0.0005, MU "l", 0, 0},  // 0.5 rounds to the even 0
    {0.0015, MU "l", 1, 2},
    // At the edge of what a number may hold, and beyond.
    {1e15, MU "l", 1000000000000000000, 1000000000000000000},
    {1.1e15, MU "l", std::nullopt, std::nullopt},
    {infinity, "", std::nullopt, std::nullopt},
    {std::nan(""), "", std::nullopt, std::nullopt},
};

TEST(InstrumentIntegers, TruncatedInCommandsRoundedInObjects) {
    for (const IntegerCase& c : integer_cases) {
        EXPECT_EQ(core::command_integer(c.value, c.unit), c.command) << c.value << " " << c.unit;
        EXPECT_EQ(core::object_integer(c.value, c.unit), c.object) << c.value << " " << c.unit;
    }
}

// Both sides of the boundary between a product that stands for an integer (a binary fraction a
// few units in the last place off) and one that truly lies below it.
TEST(InstrumentIntegers, OnlyRoundingErrorsCountAsTheIntegerBelowThemTheValueIsTruncated) {
    auto ulps_from = [](double x, int steps, double toward) {
        for (int i = 0; i < steps; ++i) x = std::nextafter(x, toward);
        return x;
    };
    for (double n : {3.0, 1005.0, 123456789.0, 1e9 + 7}) {
        for (double sign : {1.0, -1.0}) {
            const double integer = sign * n;
            const double zero = 0;
            // Up to 4 units in the last place toward zero: still the integer.
            for (int steps : {1, 4})
                EXPECT_EQ(core::command_integer(ulps_from(integer, steps, zero), ""), std::int64_t(integer))
                    << integer << " less " << steps << " ulp";
            // 8 and more: a value below the integer (in magnitude), truncated.
            for (int steps : {8, 64})
                EXPECT_EQ(core::command_integer(ulps_from(integer, steps, zero), ""),
                          std::int64_t(integer - sign))
                    << integer << " less " << steps << " ulp";
            // Away from zero nothing changes.
            EXPECT_EQ(core::command_integer(ulps_from(integer, 4, sign * infinity), ""),
                      std::int64_t(integer));
        }
    }
    // As users write them: a decimal of thousandths arrives whole, one below it does not.
    const struct {
        const char* text;
        std::int64_t nanolitres;
    } typed[] = {
        {"1.005", 1005},
        {"1.0049999", 1004},
        {"1.00499999999999", 1004},
        {"-1.005", -1005},
        {"-1.00499999999999", -1004},
        {"2.675", 2675},
        {"2.67499999999999", 2674},
        {"0.001", 1},
        {"0.00099999999999", 0},
    };
    for (const auto& t : typed)
        EXPECT_EQ(core::command_integer(putils::text_to_real(t.text), MU "l"), t.nanolitres) << t.text;
}

TEST(InstrumentIntegers, ExactDecimalsOfThousandthsArriveExactly) {
    // Every value with three decimals, as a user types it, reaches the instrument unchanged.
    for (int thousandths = -5000; thousandths <= 200000; ++thousandths) {
        const int magnitude = std::abs(thousandths);
        char text[32];
        std::snprintf(text, sizeof text, "%s%d.%03d", thousandths < 0 ? "-" : "", magnitude / 1000,
                      magnitude % 1000);
        const double user = putils::text_to_real(text);
        ASSERT_EQ(core::command_integer(user, MU "l"), thousandths) << user;
        ASSERT_EQ(core::object_integer(user, MU "l"), thousandths) << user;
    }
}

}  // namespace
