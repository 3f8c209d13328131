// The command-line switches and the test channel's line format.
#include <gtest/gtest.h>

#include "driver/zorrun/command_line.h"
#include "driver/zorrun/interaction.h"
#include "driver/zorrun/interaction_wire.h"

namespace zorrun_test {
namespace {

using zorrun::parse_switches;

TEST(DriverSwitches, are_read_after_a_slash_or_a_dash_in_any_case) {
    auto s = parse_switches({"-Embedding"});
    EXPECT_TRUE(s.embedding);
    EXPECT_TRUE(s.started_by_com());
    EXPECT_FALSE(s.regserver);
    s = parse_switches({"/AUTOMATION"});
    EXPECT_TRUE(s.automation);
    EXPECT_TRUE(s.started_by_com());
    s = parse_switches({"/regserver"});
    EXPECT_TRUE(s.regserver);
    EXPECT_FALSE(s.started_by_com());
    s = parse_switches({"-UnRegServer"});
    EXPECT_TRUE(s.unregserver);
}

TEST(DriverSwitches, other_arguments_are_set_nothing_and_are_kept_for_the_refusal) {
    const std::vector<std::string> others = {"Embedding", "--embedding", "-",       "/",
                                             "-Embed",    "-EmbeddingX", "file.raw"};
    const auto s = parse_switches(others);
    EXPECT_FALSE(s.embedding);
    EXPECT_FALSE(s.automation);
    EXPECT_FALSE(s.regserver);
    EXPECT_FALSE(s.unregserver);
    EXPECT_FALSE(s.help);
    EXPECT_EQ(s.unknown, others);
    EXPECT_FALSE(parse_switches({}).started_by_com());
    EXPECT_TRUE(parse_switches({}).unknown.empty());
}

TEST(DriverSwitches, help_is_asked_for_in_the_usual_spellings) {
    for (const char* spelling : {"--help", "-h", "-?", "/?", "-Help", "/HELP"}) {
        const auto s = parse_switches({spelling});
        EXPECT_TRUE(s.help) << spelling;
        EXPECT_TRUE(s.unknown.empty()) << spelling;
    }
    EXPECT_NE(zorrun::usage_text().find("-RegServer"), std::string::npos);
}

TEST(DriverWire, fields_survive_tabs_line_ends_and_8_bit_bytes) {
    const std::vector<std::string> fields = {"box", "Error", "a\tb\r\nc\\d",
                                             "5 \xB5l at 20 \xB0"
                                             "C",
                                             ""};
    const std::string line = zorrun::wire::join(fields);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    for (char c : line) EXPECT_TRUE(c == '\t' || (c >= 0x20 && c < 0x7F)) << int(c);
    EXPECT_EQ(zorrun::wire::split(line), fields);
}

TEST(DriverHeadless, takes_the_cautious_answer_of_every_box) {
    using platform::forms::DialogButton;
    using zorrun::HeadlessInteraction;
    EXPECT_EQ(HeadlessInteraction::cautious_answer({DialogButton::cancel}), platform::forms::mr_cancel);
    EXPECT_EQ(HeadlessInteraction::cautious_answer({DialogButton::ok}), platform::forms::mr_ok);
    EXPECT_EQ(HeadlessInteraction::cautious_answer({DialogButton::yes, DialogButton::no}),
              platform::forms::mr_no);
    EXPECT_EQ(HeadlessInteraction::cautious_answer(
                  {DialogButton::abort, DialogButton::retry, DialogButton::ignore}),
              platform::forms::mr_abort);
    EXPECT_EQ(zorrun::button_set_text({DialogButton::abort, DialogButton::retry, DialogButton::ignore}),
              "abort,retry,ignore");
}

}  // namespace
}  // namespace zorrun_test
