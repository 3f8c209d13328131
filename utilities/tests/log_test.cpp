#include "utilities/log.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "utilities/session.h"
#include "utilities/tests/temp_store.h"

namespace {

using putils_test::TempFolder;

// "yyyy/mm/dd hh:nn:ss" with digits where the letters are.
bool is_time_stamp(std::string_view text) {
    constexpr std::string_view shape = "dddd/dd/dd dd:dd:dd";
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return false;
    }
    return true;
}

// Splits at CR LF; every line must end with one.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a line without CR LF: " << text.substr(start);
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class EventLog : public ::testing::Test {
  protected:
    void SetUp() override {
        putils::reset_session();
        putils::session().method_folder = folder.path().string();
    }
    void TearDown() override { putils::reset_session(); }
    std::string log_path() const { return folder.file("tsk_weav.log"); }
    TempFolder folder;
};

TEST_F(EventLog, NothingIsWrittenWhileLoggingIsOff) {
    putils::append_log("zorrun: GetStatus");
    EXPECT_FALSE(std::filesystem::exists(log_path()));
}

TEST_F(EventLog, TheFirstLineCreatesTheFileAndLaterLinesAppend) {
    putils::session().log_enabled = true;
    EXPECT_EQ(putils::log_file_path(), log_path());
    putils::append_log("zorrun: GetStatus");
    ASSERT_TRUE(std::filesystem::exists(log_path()));
    putils::append_log("zorsetup : Volume \xB5l");

    const std::vector<std::string> lines = lines_of(contents(log_path()));
    ASSERT_EQ(lines.size(), 2u);
    const std::vector<std::string> texts{"zorrun: GetStatus", "zorsetup : Volume \xB5l"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(is_time_stamp(std::string_view(lines[i]).substr(0, 19))) << lines[i];
        EXPECT_EQ(lines[i].substr(19), " : " + texts[i]);
    }
}

TEST_F(EventLog, AnExistingLogIsKept) {
    {
        std::ofstream out(log_path(), std::ios::binary);
        out << "earlier line\r\n";
    }
    putils::session().log_enabled = true;
    putils::append_log("next");
    const std::string text = contents(log_path());
    EXPECT_EQ(text.rfind("earlier line\r\n", 0), 0u);
    EXPECT_NE(text.find(" : next\r\n"), std::string::npos);
}

TEST_F(EventLog, ALineThatCannotBeWrittenIsLostSilently) {
    putils::session().log_enabled = true;
    putils::session().method_folder = folder.file("missing-folder");
    EXPECT_NO_THROW(putils::append_log("lost"));
    EXPECT_FALSE(std::filesystem::exists(folder.file("missing-folder")));
    // The next call tries again.
    putils::session().method_folder = folder.path().string();
    putils::append_log("found");
    EXPECT_NE(contents(log_path()).find(" : found\r\n"), std::string::npos);
}

TEST_F(EventLog, NoMethodFolderMeansNoLog) {
    putils::session().log_enabled = true;
    putils::session().method_folder.clear();
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    putils::append_log("nowhere");
    std::filesystem::current_path(cwd);
    EXPECT_FALSE(std::filesystem::exists(log_path()));
}

}  // namespace
