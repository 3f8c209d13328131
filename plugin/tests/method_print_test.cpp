// The printed method: its lines, pages, coordinates and red underlines, on the recording
// device context.
#include "platform/print/device_context.h"
#include "plugin/method_editor.h"
#include "plugin/tests/editor_fixture.h"

namespace zorsetup_test {
namespace {

using namespace zorsetup;
using platform::print::DrawOp;
using platform::print::Point;
using platform::print::RecordingDeviceContext;

Lines texts_of(const RecordingDeviceContext& dc) {
    Lines texts;
    for (const auto& call : dc.calls_of(DrawOp::text)) texts.push_back(call.text);
    return texts;
}

std::string padded(std::string text) {
    text.resize(36, ' ');
    return text;
}

TEST_F(EditorTest, the_printed_method_has_its_description_syringe_and_steps_with_units) {
    write_template("P", {"Demo", "second"}, "25ul", {"Load Sample(Tray1,5,2)", "Pause(90)"});
    Tmethod_editor& editor = open_editor();
    choose_template("P");
    EXPECT_EQ(editor.page_count(), 1);
    RecordingDeviceContext dc({2100, 2970}, 8, 16);
    ASSERT_TRUE(editor.print_page(dc, {100, 200, 1100, 1200}, 1));
    EXPECT_EQ(texts_of(dc), (Lines{"Demo", "second", "", "Syringe: 25ul", "", "01 Load Sample",
                                   padded("    Tray") + "Tray1", padded("    Volume  (" + ul + ")") + "5",
                                   padded("    Speed  (" + ul + "/s)") + "2", "", "02 Pause",
                                   padded("    Time  (m:ss)") + "1:30"}));
    const auto texts = dc.calls_of(DrawOp::text);
    for (std::size_t n = 0; n < texts.size(); ++n)
        EXPECT_EQ(texts[n].points[0], (Point{100, 200 + static_cast<int>(n) * 20})) << "line " << n;

    const auto lines = dc.calls_of(DrawOp::line);
    ASSERT_EQ(lines.size(), 3u) << "the syringe and the two step headers";
    EXPECT_EQ(lines[0].points,
              (std::vector<Point>{{100, 200 + 3 * 20 + 16}, {100 + 13 * 8, 200 + 3 * 20 + 16}}));
    EXPECT_EQ(lines[1].points,
              (std::vector<Point>{{100, 200 + 5 * 20 + 16}, {100 + 14 * 8, 200 + 5 * 20 + 16}}));
    for (const auto& line : lines)
        EXPECT_EQ(line.pen,
                  (platform::print::Pen{platform::print::PenStyle::solid, 3, platform::print::red}));
    EXPECT_EQ(dc.live_pens(), 0u) << "every pen is deleted";
    EXPECT_EQ(dc.selected_pen_handle(), platform::print::stock_pen) << "the old pen is selected back";
}

TEST_F(EditorTest, a_padded_name_longer_than_the_column_is_not_cut) {
    write_file("Long.pma", {"// long", "A very long parameter name here (" + ul + ");1;0;10", "WAIT(1)"});
    write_template("L", {}, "25ul", {"Long(3)"});
    Tmethod_editor& editor = open_editor();
    choose_template("L");
    RecordingDeviceContext dc;
    ASSERT_TRUE(editor.print_page(dc, {0, 0, 1000, 1000}, 1));
    EXPECT_EQ(texts_of(dc).back(), "    A very long parameter name here  (" + ul + ")3");
}

TEST_F(EditorTest, fifty_lines_fill_a_page_and_the_fifty_first_begins_the_next) {
    Lines sixteen(16, "Pause(5)");  // 2 + 16 x 3 = 50 lines
    write_template("Fifty", {}, "25ul", sixteen);
    write_template("FiftyOne", {"one"}, "25ul", sixteen);
    write_template("Nine", {"a", "b"}, "25ul", {"Load Sample(Tray1,5,2)"});  // 2 + 2 + 5
    Tmethod_editor& editor = open_editor();
    choose_template("Nine");
    EXPECT_EQ(editor.page_count(), 1);
    choose_template("Fifty");
    EXPECT_EQ(editor.page_count(), 1);
    choose_template("FiftyOne");
    EXPECT_EQ(editor.page_count(), 2);

    RecordingDeviceContext dc;
    ASSERT_TRUE(editor.print_page(dc, {0, 0, 1000, 1000}, 2));
    const auto texts = dc.calls_of(DrawOp::text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, padded("    Time  (m:ss)") + "0:05");
    EXPECT_EQ(texts[0].points[0], (Point{0, 0}));
}

TEST_F(EditorTest, a_long_method_prints_every_line_once_fifty_to_a_page) {
    Lines steps, expected{"Long", "", "Syringe: 25ul"};
    for (int i = 1; i <= 1000; ++i) {
        const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
        expected.push_back("");
        if (i % 2) {
            steps.push_back("Load Sample(Tray1," + std::to_string(i % 50 + 1) + ",2)");
            expected.push_back(number + " Load Sample");
            expected.push_back(padded("    Tray") + "Tray1");
            expected.push_back(padded("    Volume  (" + ul + ")") + std::to_string(i % 50 + 1));
            expected.push_back(padded("    Speed  (" + ul + "/s)") + "2");
        } else {
            steps.push_back("Pause(" + std::to_string(i) + ")");
            expected.push_back(number + " Pause");
            const std::string seconds = std::to_string(i % 60);
            expected.push_back(padded("    Time  (m:ss)") + std::to_string(i / 60) + ":" +
                               (seconds.size() < 2 ? "0" : "") + seconds);
        }
    }
    write_template("Long", {"Long"}, "25ul", steps);
    Tmethod_editor& editor = open_editor();
    choose_template("Long");
    const int pages = editor.page_count();
    ASSERT_EQ(pages, static_cast<int>((expected.size() - 1) / 50 + 1));
    Lines printed;
    for (int page = 1; page <= pages; ++page) {
        RecordingDeviceContext dc;
        ASSERT_TRUE(editor.print_page(dc, {0, 0, 1000, 1000}, page));
        const auto texts = dc.calls_of(DrawOp::text);
        ASSERT_EQ(texts.size(),
                  page < pages ? 50u : expected.size() - 50u * static_cast<std::size_t>(pages - 1));
        for (std::size_t n = 0; n < texts.size(); ++n) {
            EXPECT_EQ(texts[n].points[0].y, static_cast<int>(n) * 20) << "page " << page << " line " << n;
            printed.push_back(texts[n].text);
        }
    }
    EXPECT_EQ(printed, expected);
}

TEST_F(EditorTest, a_method_changed_between_two_pages_prints_as_it_is_now) {
    write_template("FiftyOne", {"one"}, "25ul", Lines(16, "Pause(5)"));
    Tmethod_editor& editor = open_editor();
    choose_template("FiftyOne");
    ASSERT_EQ(editor.page_count(), 2);
    RecordingDeviceContext first;
    ASSERT_TRUE(editor.print_page(first, {0, 0, 1000, 1000}, 1));
    editor.current_method->Items.set(15, "Pause(7)");
    RecordingDeviceContext second;
    ASSERT_TRUE(editor.print_page(second, {0, 0, 1000, 1000}, 2));
    EXPECT_EQ(texts_of(second), Lines{padded("    Time  (m:ss)") + "0:07"});
    editor.method_descrip_box->Lines.add("two");
    RecordingDeviceContext third;
    ASSERT_TRUE(editor.print_page(third, {0, 0, 1000, 1000}, 2));
    EXPECT_EQ(texts_of(third), (Lines{"16 Pause", padded("    Time  (m:ss)") + "0:07"}));
}

TEST_F(EditorTest, a_page_that_does_not_exist_or_an_empty_rectangle_prints_nothing) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    RecordingDeviceContext dc;
    EXPECT_FALSE(editor.print_page(dc, {0, 0, 1000, 1000}, 0));
    EXPECT_FALSE(editor.print_page(dc, {0, 0, 1000, 1000}, -3));
    EXPECT_FALSE(editor.print_page(dc, {0, 0, 1000, 1000}, 2));
    EXPECT_FALSE(editor.print_page(dc, {0, 500, 1000, 500}, 1));
    EXPECT_FALSE(editor.print_page(dc, {800, 0, 100, 1000}, 1));
    EXPECT_TRUE(dc.calls().empty());
}

TEST_F(EditorTest, in_a_rectangle_too_low_for_fifty_lines_the_lines_do_not_overlap) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    RecordingDeviceContext dc({2100, 2970}, 8, 16);
    ASSERT_TRUE(editor.print_page(dc, {0, 0, 600, 30}, 1));
    const auto texts = dc.calls_of(DrawOp::text);
    ASSERT_GT(texts.size(), 2u);
    EXPECT_EQ(texts[1].points[0].y - texts[0].points[0].y, 16) << "one text height apart";
}

}  // namespace
}  // namespace zorsetup_test
