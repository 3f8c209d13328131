// zorctl's messages in the locale's character set: unchanged UTF-8 in a UTF-8 locale, Windows-1252
// bytes in a Windows-1252 one (built for the test with localedef in a temp folder).
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "platform/testing/temp_tree.h"
#include "tools/zorctl/locale_output.h"

namespace {

std::string through_locale(const std::string& utf8) {
    std::ostringstream stream;
    {
        zorctl::LocaleOutput output(stream);
        stream << utf8 << std::flush << "\n";
    }
    return stream.str();
}

class LocaleOutputTest : public ::testing::Test {
  protected:
    void TearDown() override {
        std::setlocale(LC_CTYPE, "C");
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }
    std::filesystem::path folder_;
};

TEST_F(LocaleOutputTest, Utf8LocaleGetsTheTextAsItIs) {
    if (!std::setlocale(LC_CTYPE, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
    EXPECT_EQ(through_locale("status 4: 20 \xC2\xB0"
                             "C, 5 \xC2\xB5l"),
              "status 4: 20 \xC2\xB0"
              "C, 5 \xC2\xB5l\n");
}

TEST_F(LocaleOutputTest, Windows1252LocaleGetsWindows1252Bytes) {
    folder_ = zor_testing::make_temp_folder("zorctl-locale");
    ASSERT_FALSE(folder_.empty());
    const std::string make =
        "localedef -f CP1252 -i en_US '" + (folder_ / "en_US.CP1252").string() + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) == -1 || !std::filesystem::exists(folder_ / "en_US.CP1252"))
        GTEST_SKIP() << "localedef cannot build a Windows-1252 locale here";
    ::setenv("LOCPATH", folder_.c_str(), 1);
    const char* set = std::setlocale(LC_CTYPE, "en_US.CP1252");
    ::unsetenv("LOCPATH");
    if (!set) GTEST_SKIP() << "the Windows-1252 locale was not taken";
    EXPECT_EQ(through_locale("status 4: 20 \xC2\xB0"
                             "C, 5 \xC2\xB5l \xE2\x82\xAC"),
              "status 4: 20 \xB0"
              "C, 5 \xB5l \x80\n");
}

}  // namespace
