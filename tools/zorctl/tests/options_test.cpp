// zorctl's command line.
#include <gtest/gtest.h>

#include "tools/zorctl/options.h"

namespace {

zorctl::Command parsed(const std::vector<std::string>& args) {
    zorctl::Command c;
    std::string error;
    EXPECT_TRUE(zorctl::parse_command_line(args, c, error)) << error;
    return c;
}

std::string refusal(const std::vector<std::string>& args) {
    zorctl::Command c;
    std::string error;
    EXPECT_FALSE(zorctl::parse_command_line(args, c, error));
    return error;
}

TEST(ZorctlCommandLine, run_takes_a_document_a_vial_and_options_anywhere) {
    const auto c = parsed({"run", "--timeout", "20", "doc.zor", "--volume=2.5", "Tray2:5", "--start-mode",
                           "1", "--poll-ms", "10"});
    EXPECT_EQ(c.name, "run");
    EXPECT_EQ(c.run.document, "doc.zor");
    EXPECT_EQ(c.run.vial, "Tray2:5");
    EXPECT_EQ(c.run.volume, 2.5);
    EXPECT_EQ(c.run.start_mode, 1);
    EXPECT_EQ(c.run.timeout_s, 20);
    EXPECT_EQ(c.run.poll_ms, 10u);
}

TEST(ZorctlCommandLine, defaults_are_one_microlitre_start_mode_0_and_five_minutes) {
    const auto c = parsed({"prepare", "doc.zor", "Tray1:1"});
    EXPECT_EQ(c.run.volume, 1.0);
    EXPECT_EQ(c.run.start_mode, 0);
    EXPECT_EQ(c.run.timeout_s, 300);
    EXPECT_EQ(parsed({"reload"}).wait.timeout_s, 60);
}

TEST(ZorctlCommandLine, make_document_needs_its_syringe_and_method) {
    const auto c =
        parsed({"make-document", "out.zor", "--syringe", "10ul", "--method", "m.txt", "--macros", "lib"});
    EXPECT_EQ(c.output, "out.zor");
    EXPECT_EQ(c.syringe, "10ul");
    EXPECT_EQ(c.method_file, "m.txt");
    EXPECT_EQ(c.macro_folder, "lib");
    EXPECT_EQ(parsed({"make-document", "out.zor", "--syringe=", "--method", "m.txt"}).syringe, "");
    EXPECT_NE(refusal({"make-document", "out.zor", "--method", "m.txt"}).find("--syringe"),
              std::string::npos);
    EXPECT_NE(refusal({"make-document", "out.zor", "--syringe", "10ul"}).find("--method"), std::string::npos);
}

TEST(ZorctlCommandLine, bad_lines_are_refused_with_the_reason) {
    EXPECT_EQ(refusal({}), "no command given");
    EXPECT_EQ(refusal({"fly"}), "unknown command fly");
    EXPECT_EQ(refusal({"run", "doc.zor"}), "run takes 2 arguments, not 1");
    EXPECT_EQ(refusal({"status", "extra"}), "status takes 0 arguments, not 1");
    EXPECT_EQ(refusal({"status", "--volume", "1"}), "status takes no option --volume");
    EXPECT_EQ(refusal({"run", "d", "v", "--volume", "much"}),
              "--volume wants a volume in microlitres, not much");
    EXPECT_EQ(refusal({"run", "d", "v", "--timeout", "0"}), "--timeout wants seconds above 0, not 0");
    EXPECT_EQ(refusal({"run", "d", "v", "--start-mode", "1.5"}),
              "--start-mode wants a whole number, not 1.5");
    EXPECT_EQ(refusal({"run", "d", "v", "--timeout"}), "--timeout needs a value");
    EXPECT_EQ(parsed({"barcode", "Tray2:5"}).vial, "Tray2:5");
}

TEST(ZorctlCommandLine, help_is_asked_for_as_a_command_or_an_option_anywhere) {
    EXPECT_EQ(parsed({"--help"}).name, "help");
    EXPECT_EQ(parsed({"-h"}).name, "help");
    EXPECT_EQ(parsed({"help"}).name, "help");
    EXPECT_EQ(parsed({"run", "--help"}).name, "help");
    EXPECT_EQ(refusal({"--bogus"}), "unknown option --bogus (the command comes first)");
    EXPECT_EQ(refusal({"run", "d", "v", "--bogus", "1"}), "run takes no option --bogus");
}

}  // namespace
