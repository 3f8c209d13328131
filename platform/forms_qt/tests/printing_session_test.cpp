// A program whose forms are not on Qt prints into PDF files through a PrintingSession: offscreen,
// whatever display the environment names, and again after an earlier session ended.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QGuiApplication>
#include <filesystem>
#include <string>

#include "platform/forms_qt/pdf_device_context.h"
#include "platform/forms_qt/testing/pdf_files.h"
#include "platform/testing/temp_tree.h"

namespace platform::forms_qt {
namespace {

namespace fs = std::filesystem;

TEST(PrintingSession, prints_offscreen_without_a_display_session_after_session) {
    const std::string folder = zor_testing::make_temp_folder("zor-printing").string();
    ASSERT_FALSE(folder.empty());
    // A display that cannot be reached: a session that tried it would end the program.
    setenv("DISPLAY", ":97", 1);
    unsetenv("QT_QPA_PLATFORM");
    for (int round = 1; round <= 3; ++round) {
        const std::string path = folder + "/round" + std::to_string(round) + ".pdf";
        {
            PrintingSession qt;
            ASSERT_NE(QGuiApplication::instance(), nullptr);
            EXPECT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
            PdfDeviceContext dc(path);
            dc.text_out(100, 100, "Round " + std::to_string(round));
            dc.end_document();
            EXPECT_TRUE(dc.ok());
        }
        EXPECT_EQ(QGuiApplication::instance(), nullptr) << "the session frees what it made";
        EXPECT_EQ(testing::pdf_words(path), "Round " + std::to_string(round));
    }
    unsetenv("DISPLAY");
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

}  // namespace
}  // namespace platform::forms_qt
