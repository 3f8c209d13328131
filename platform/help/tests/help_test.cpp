#include "platform/help/help.h"
#include "platform/testing/temp_tree.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace platform::help {
namespace {

namespace fs = std::filesystem;

class HelpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = zor_testing::make_temp_folder("zor-help");
        ASSERT_FALSE(folder_.empty());
        clear_help_requests();
        saved_path_ = getenv("PATH") ? getenv("PATH") : "";
        saved_display_ = getenv("DISPLAY") ? getenv("DISPLAY") : "";
        unsetenv("WAYLAND_DISPLAY");
    }
    void TearDown() override {
        set_opener(nullptr);
        setenv("PATH", saved_path_.c_str(), 1);
        if (saved_display_.empty())
            unsetenv("DISPLAY");
        else
            setenv("DISPLAY", saved_display_.c_str(), 1);
        fs::remove_all(folder_);
    }
    std::string write_file(const std::string& name, const std::string& text) {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path) << text;
        return path;
    }

    std::string folder_, saved_path_, saved_display_;
};

TEST_F(HelpTest, records_every_request_in_order) {
    unsetenv("DISPLAY");
    const std::string file = write_file("zor.hlp", "help");
    win_help(7, file, help_key, "Contents");
    EXPECT_EQ(win_help(8, file, help_quit, "").outcome, HelpOutcome::recorded);
    ASSERT_EQ(help_requests().size(), 2u);
    EXPECT_EQ(help_requests()[0], (HelpRequest{7, file, help_key, "Contents"}));
    EXPECT_EQ(help_requests()[1], (HelpRequest{8, file, help_quit, ""}));
}

TEST_F(HelpTest, a_missing_file_gives_a_message_and_is_not_opened) {
    int opened = 0;
    set_opener([&](const std::string&) { return ++opened, true; });
    const HelpResult result = win_help(1, folder_ + "/nothere.hlp", help_key, "Contents");
    EXPECT_EQ(result.outcome, HelpOutcome::missing_file);
    EXPECT_EQ(result.message, "The help file \"" + folder_ + "/nothere.hlp\" does not exist.");
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(help_requests().size(), 1u) << "a failed request is recorded too";
}

TEST_F(HelpTest, without_a_desktop_the_request_is_only_recorded) {
    unsetenv("DISPLAY");
    setenv("PATH", folder_.c_str(), 1);  // no xdg-open can be found either
    const HelpResult result = win_help(1, write_file("zor.hlp", "x"), help_key, "Contents");
    EXPECT_EQ(result.outcome, HelpOutcome::no_desktop);
    EXPECT_TRUE(result.message.empty());
}

TEST_F(HelpTest, with_a_desktop_the_opener_gets_the_file_in_utf8) {
    // "Hilfe µ.hlp" in Windows-1252 (0xB5) arrives as UTF-8 (0xC2 0xB5).
    const std::string utf8_name = "Hilfe \xC2\xB5.hlp";
    write_file(utf8_name, "x");
    std::string seen;
    set_opener([&](const std::string& path) { return seen = path, true; });
    const HelpResult result = win_help(1, folder_ + "/Hilfe \xB5.hlp", help_contents, "");
    EXPECT_EQ(result.outcome, HelpOutcome::opened);
    EXPECT_EQ(seen, folder_ + "/" + utf8_name);
}

TEST_F(HelpTest, an_opener_that_cannot_start_gives_a_message) {
    set_opener([](const std::string&) { return false; });
    const std::string file = write_file("zor.hlp", "x");
    const HelpResult result = win_help(1, file, help_key, "Contents");
    EXPECT_EQ(result.outcome, HelpOutcome::failed);
    EXPECT_EQ(result.message, "The help file \"" + file + "\" could not be opened.");
}

TEST_F(HelpTest, the_desktop_opener_is_xdg_open_and_the_call_does_not_wait_for_it) {
    // A stand-in xdg-open on PATH that notes its argument, after the caller has returned.
    const std::string marker = folder_ + "/opened.txt";
    // It goes on only once the test lets it (or after 20 s): a caller that waited for it
    // would come back too late to find no note yet.
    const std::string go = folder_ + "/go";
    const std::string script =
        write_file("xdg-open", "#!/bin/sh\ni=0\nwhile [ ! -f '" + go +
                                   "' ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done\n"
                                   "printf '%s' \"$1\" > '" +
                                   marker + ".tmp'\nmv '" + marker + ".tmp' '" + marker + "'\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    setenv("PATH", (folder_ + ":" + saved_path_).c_str(), 1);
    setenv("DISPLAY", ":99", 1);
    const std::string file = write_file("zor.hlp", "x");

    const auto start = std::chrono::steady_clock::now();
    const HelpResult result = win_help(1, file, help_key, "Contents");
    EXPECT_EQ(result.outcome, HelpOutcome::opened);
    EXPECT_FALSE(fs::exists(marker)) << "the call returned before the opener finished";
    write_file("go", "");

    const auto deadline = start + std::chrono::seconds(20);
    while (!fs::exists(marker) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(fs::exists(marker)) << "xdg-open was never run";
    std::ifstream in(marker);
    std::string argument((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(argument, file);
}

}  // namespace
}  // namespace platform::help
