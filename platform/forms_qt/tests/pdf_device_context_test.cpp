// The PDF output of the printing device context, read back with poppler (pdfinfo, pdftotext,
// pdftoppm).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QColor>
#include <QImage>
#include <filesystem>
#include <string>

#include "platform/forms_qt/pdf_device_context.h"
#include "platform/forms_qt/testing/form_snapshots.h"
#include "platform/forms_qt/testing/pdf_files.h"
#include "platform/testing/temp_tree.h"

namespace platform::forms_qt {
namespace {

namespace fs = std::filesystem;
namespace print = platform::print;
using testing::pdf_info;
using testing::pdf_page_image;
using testing::pdf_pages;
using testing::pdf_words;

class PdfOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::qt_session();
        folder = zor_testing::make_temp_folder("zor-pdf");
        ASSERT_FALSE(folder.empty());
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string file(const std::string& name) const { return (folder / name).string(); }
    fs::path folder;
};

// True when a clearly red pixel lies within `reach` pixels of (x, y).
bool red_near(const QImage& image, int x, int y, int reach) {
    for (int dy = -reach; dy <= reach; ++dy) {
        for (int dx = -reach; dx <= reach; ++dx) {
            const QPoint p(x + dx, y + dy);
            if (!image.valid(p)) continue;
            const QColor c = image.pixelColor(p);
            if (c.red() > 180 && c.green() < 100 && c.blue() < 100) return true;
        }
    }
    return false;
}

TEST_F(PdfOutput, pages_texts_and_pens_arrive_in_an_a4_file_that_a_reader_takes) {
    const std::string path = file("method.pdf");
    {
        PdfDeviceContext dc(path, "Method gradient");
        // 210 x 297 mm (Qt keeps the sheet in whole points, hence a unit less across).
        EXPECT_NEAR(dc.page_size().cx, 2100, 1);
        EXPECT_NEAR(dc.page_size().cy, 2970, 1);
        const print::Size m = dc.text_extent("MMMM");
        EXPECT_EQ(m.cx, 4 * dc.text_extent("i").cx) << "a fixed-pitch font keeps the columns";
        EXPECT_GT(m.cy, 30);  // 10 points are 35 tenths of a millimetre
        EXPECT_LT(m.cy, 60);
        for (int page = 1; page <= 3; ++page) {
            dc.start_page();
            dc.text_out(200, 200, "Page " + std::to_string(page) + " of the method");
            dc.text_out(200, 260, "Volume  (\xB5l)   25 \x80");  // Windows-1252: micro sign, euro sign
            const print::PenHandle red = dc.create_pen(print::PenStyle::solid, 5, print::red);
            const print::PenHandle old = dc.select_pen(red);
            dc.move_to(200, 400);
            dc.line_to(900, 400);
            dc.select_pen(old);
            dc.delete_pen(red);
            dc.end_page();
        }
        dc.end_document();
        EXPECT_TRUE(dc.ok());
    }
    ASSERT_TRUE(fs::exists(path));
    const std::string info = pdf_info(path);
    EXPECT_EQ(pdf_pages(path), 3) << info;
    EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
    EXPECT_NE(info.find("Method gradient"), std::string::npos) << info;

    const std::string page2 = pdf_words(path, 2);
    EXPECT_EQ(page2, "Page 2 of the method Volume (\u00b5l) 25 \u20ac");  // UTF-8 from the reader

    // The red pen draws red where it was put: 100 dots an inch are 254 units.
    const QImage image = pdf_page_image(path, 3, 100);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 827);  // 210 mm
    EXPECT_TRUE(red_near(image, 200 * 100 / 254 + 20, 400 * 100 / 254, 2));
    EXPECT_TRUE(red_near(image, 900 * 100 / 254 - 20, 400 * 100 / 254, 2));
    EXPECT_FALSE(red_near(image, 950 * 100 / 254, 400 * 100 / 254, 2)) << "the line ends where it was told";
    EXPECT_FALSE(red_near(image, 200 * 100 / 254 + 20, 200 * 100 / 254, 4)) << "text is black";
}

TEST_F(PdfOutput, text_is_placed_by_its_top_left_corner) {
    const std::string path = file("corner.pdf");
    {
        PdfDeviceContext dc(path);
        dc.text_out(1000, 1500, "MMMMMMMM");
        dc.end_document();
    }
    const QImage image = pdf_page_image(path, 1, 100);
    ASSERT_FALSE(image.isNull());
    // The ink lies below and right of the corner, within one line's height.
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) ink |= QRect(x, y, 1, 1);
    ASSERT_FALSE(ink.isNull());
    const int corner_x = 1000 * 100 / 254;
    const int corner_y = 1500 * 100 / 254;
    EXPECT_GE(ink.left(), corner_x - 1);
    EXPECT_LE(ink.left(), corner_x + 3);
    EXPECT_GE(ink.top(), corner_y - 1);
    EXPECT_LE(ink.bottom(), corner_y + 50 * 100 / 254);
}

TEST_F(PdfOutput, drawing_without_a_page_opens_one_and_the_destructor_completes_the_file) {
    const std::string path = file("implicit.pdf");
    {
        PdfDeviceContext dc(path);
        dc.text_out(100, 100, "first");
        dc.start_page();
        dc.text_out(100, 100, "second");
    }
    EXPECT_EQ(pdf_pages(path), 2) << pdf_info(path);
    EXPECT_EQ(pdf_words(path, 2), "second");
}

TEST_F(PdfOutput, a_document_without_pages_still_gives_a_file_of_one_blank_page) {
    const std::string path = file("empty.pdf");
    PdfDeviceContext dc(path);
    dc.end_document();
    EXPECT_TRUE(dc.ok());
    EXPECT_EQ(pdf_pages(path), 1) << pdf_info(path);
}

TEST_F(PdfOutput, drawing_after_the_end_changes_nothing) {
    const std::string path = file("ended.pdf");
    PdfDeviceContext dc(path);
    dc.text_out(100, 100, "kept");
    dc.end_document();
    dc.text_out(100, 200, "too late");
    dc.start_page();
    dc.end_document();
    EXPECT_TRUE(dc.ok());
    EXPECT_EQ(pdf_pages(path), 1);
    EXPECT_EQ(pdf_words(path), "kept");
}

TEST_F(PdfOutput, a_file_that_cannot_be_written_is_reported_not_taken_for_done) {
    PdfDeviceContext dc(file("no-such-folder/x.pdf"));
    dc.text_out(0, 0, "lost");
    dc.end_document();
    EXPECT_FALSE(dc.ok());
    PdfDeviceContext blank(file("no-such-folder/y.pdf"));
    blank.end_document();
    EXPECT_FALSE(blank.ok());
}

}  // namespace
}  // namespace platform::forms_qt
