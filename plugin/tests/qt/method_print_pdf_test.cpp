// The printed method in a PDF file, read back with poppler: its pages and words, the values in
// one column at the real font's metrics, and the headers underlined in red for their length.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>

#include "platform/forms_qt/pdf_device_context.h"
#include "platform/forms_qt/testing/form_snapshots.h"
#include "platform/forms_qt/testing/pdf_files.h"
#include "plugin/method_editor.h"
#include "plugin/tests/editor_fixture.h"

namespace zorsetup_test {
namespace {

using platform::forms_qt::PdfDeviceContext;
using platform::forms_qt::testing::pdf_page_image;
using platform::forms_qt::testing::pdf_pages;
using platform::forms_qt::testing::pdf_word_boxes;
using platform::forms_qt::testing::pdf_words;
using platform::forms_qt::testing::PdfWord;

class MethodPrintPdf : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        platform::forms_qt::testing::qt_session();
    }
    // Every page of the editor's method, each on a page of its own, as a host prints it.
    std::string print_method(zorsetup::Tmethod_editor& editor) {
        const std::string path = folder_ + "/method.pdf";
        PdfDeviceContext dc(path, "Method");
        for (int page = 1; page <= editor.page_count(); ++page) {
            dc.start_page();
            EXPECT_TRUE(editor.print_page(dc, {100, 100, 2000, 2870}, page));
            dc.end_page();
        }
        dc.end_document();
        EXPECT_TRUE(dc.ok());
        return path;
    }
    void write_long_template() {
        Lines steps = {"Load Sample(Tray1,5,2)"};
        for (int i = 0; i < 20; ++i) steps.push_back("Pause(90)");  // 4 + 5 + 20 x 3 = 69 lines
        write_template("P", {"Demo", "second"}, "25ul", steps);
    }
};

const PdfWord& word(const std::vector<PdfWord>& words, const std::string& text, int nth = 0) {
    static const PdfWord none{"<none>"};
    for (const PdfWord& w : words)
        if (w.text == text && nth-- == 0) return w;
    ADD_FAILURE() << "no word " << text;
    return none;
}

TEST_F(MethodPrintPdf, every_page_of_the_method_becomes_a_page_of_the_file) {
    write_long_template();
    auto& editor = open_editor();
    choose_template("P");
    ASSERT_EQ(editor.page_count(), 2);
    const std::string pdf = print_method(editor);
    EXPECT_EQ(pdf_pages(pdf), 2);
    const std::string first = pdf_words(pdf, 1);
    EXPECT_EQ(first.rfind("Demo second Syringe: 25ul 01 Load Sample Tray Tray1 Volume (\u00b5l) 5 "
                          "Speed (\u00b5l/s) 2 02 Pause Time (m:ss) 1:30 03 Pause",
                          0),
              0u)
        << first;
    std::string last;
    for (int step = 16; step <= 21; ++step) last += " " + std::to_string(step) + " Pause Time (m:ss) 1:30";
    // Line 51, the first of page 2, is the value of step 15.
    EXPECT_EQ(pdf_words(pdf, 2), "Time (m:ss) 1:30" + last);
}

TEST_F(MethodPrintPdf, the_values_stand_in_one_column_and_the_headers_are_underlined_in_red) {
    write_template("P", {"Demo"}, "25ul", {"Load Sample(Tray1,5,2)", "Pause(90)"});
    auto& editor = open_editor();
    choose_template("P");
    const std::string pdf = print_method(editor);
    const std::vector<PdfWord> words = pdf_word_boxes(pdf, 1);

    const double column = word(words, "Tray1").left;
    for (const std::string value : {"5", "2", "1:30"})
        EXPECT_NEAR(word(words, value).left, column, 0.3) << value;
    for (const std::string name : {"Tray", "(\u00b5l)", "(\u00b5l/s)", "(m:ss)"})
        EXPECT_LT(word(words, name).right, column) << name;

    // At 144 dots an inch a point is two pixels.
    const QImage image = pdf_page_image(pdf, 1, 144);
    ASSERT_FALSE(image.isNull());
    // The leftmost and rightmost red pixels in a band just below the words of a line, in points.
    const auto red_span_below = [&](const PdfWord& from) {
        int lo = image.width();
        int hi = -1;
        for (int y = static_cast<int>(from.bottom * 2) - 2; y <= static_cast<int>(from.bottom * 2) + 8; ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (!image.valid(x, y)) continue;
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 180 && c.green() < 110 && c.blue() < 110) {
                    lo = std::min(lo, x);
                    hi = std::max(hi, x);
                }
            }
        }
        return std::pair<double, double>(lo / 2.0, hi / 2.0);
    };
    for (const auto& [first, last] :
         {std::pair<std::string, std::string>{"Syringe:", "25ul"}, {"01", "Sample"}, {"02", "Pause"}}) {
        const PdfWord& from = word(words, first);
        const PdfWord& to = word(words, last);
        const auto [lo, hi] = red_span_below(from);
        EXPECT_NEAR(lo, from.left, 1.0) << first;
        EXPECT_NEAR(hi, to.right, 1.5) << last;
    }
    const auto [lo, hi] = red_span_below(word(words, "Tray"));
    EXPECT_GT(lo, hi) << "a value line is not underlined";
}

}  // namespace
}  // namespace zorsetup_test
