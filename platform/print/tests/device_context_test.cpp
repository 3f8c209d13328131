#include "platform/print/device_context.h"

#include <gtest/gtest.h>

namespace platform::print {
namespace {

TEST(DeviceContext, records_text_with_its_corner_and_measures_with_the_fixed_metric) {
    RecordingDeviceContext dc({1000, 1400}, 7, 15);
    dc.text_out(10, 20, "Syringe: S1");
    EXPECT_EQ(dc.text_extent("9"), (Size{7, 15}));
    EXPECT_EQ(dc.text_extent("abc"), (Size{21, 15}));
    EXPECT_EQ(dc.text_extent(""), (Size{0, 15}));
    EXPECT_EQ(dc.page_size(), (Size{1000, 1400}));
    const auto texts = dc.calls_of(DrawOp::text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].points[0], (Point{10, 20}));
    EXPECT_EQ(texts[0].text, "Syringe: S1");
}

TEST(DeviceContext, draws_lines_with_the_selected_pen_and_gives_back_the_previous_one) {
    RecordingDeviceContext dc;
    const PenHandle pen = dc.create_pen(PenStyle::solid, 3, red);
    dc.move_to(5, 30);
    dc.line_to(50, 30);  // stock pen
    const PenHandle old = dc.select_pen(pen);
    EXPECT_EQ(old, stock_pen);
    dc.move_to(5, 40);
    dc.line_to(60, 40);
    EXPECT_EQ(dc.position(), (Point{60, 40}));
    EXPECT_FALSE(dc.delete_pen(pen)) << "a selected pen is not deleted";
    EXPECT_EQ(dc.select_pen(old), pen);
    EXPECT_TRUE(dc.delete_pen(pen));
    EXPECT_EQ(dc.live_pens(), 0u);
    EXPECT_FALSE(dc.delete_pen(pen)) << "a pen is deleted once";
    EXPECT_FALSE(dc.delete_pen(stock_pen));

    const auto lines = dc.calls_of(DrawOp::line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].pen, (Pen{PenStyle::solid, 1, black}));
    EXPECT_EQ(lines[0].points, (std::vector<Point>{{5, 30}, {50, 30}}));
    EXPECT_EQ(lines[1].pen, (Pen{PenStyle::solid, 3, red}));
    EXPECT_EQ(lines[1].points, (std::vector<Point>{{5, 40}, {60, 40}}));
}

TEST(DeviceContext, refuses_unknown_pens_and_keeps_the_selection) {
    RecordingDeviceContext dc;
    const PenHandle pen = dc.create_pen(PenStyle::dash, 0, red);
    EXPECT_EQ(dc.select_pen(pen), stock_pen);
    bool ok = true;
    EXPECT_EQ(dc.select_pen(999, &ok), stock_pen);
    EXPECT_FALSE(ok);
    EXPECT_EQ(dc.selected_pen_handle(), pen);
    EXPECT_EQ(dc.selected_pen().width, 1) << "a width below 1 draws 1 wide";
}

TEST(DeviceContext, opens_a_page_for_drawing_outside_one_and_counts_pages) {
    RecordingDeviceContext dc;
    dc.text_out(0, 0, "a");
    EXPECT_TRUE(dc.page_open());
    dc.start_page();  // ends the first
    dc.text_out(0, 0, "b");
    dc.end_document();
    EXPECT_EQ(dc.pages_started(), 2);
    std::vector<DrawOp> ops;
    for (const auto& call : dc.calls()) ops.push_back(call.op);
    EXPECT_EQ(ops,
              (std::vector<DrawOp>{DrawOp::start_page, DrawOp::text, DrawOp::end_page, DrawOp::start_page,
                                   DrawOp::text, DrawOp::end_page, DrawOp::end_document}));
}

TEST(DeviceContext, handles_find_registered_contexts_until_forgotten) {
    RecordingDeviceContext a, b;
    const auto ha = register_device_context(a);
    const auto hb = register_device_context(b);
    EXPECT_NE(ha, 0u);
    EXPECT_NE(ha, hb);
    EXPECT_EQ(find_device_context(ha), &a);
    EXPECT_EQ(find_device_context(hb), &b);
    forget_device_context(ha);
    EXPECT_EQ(find_device_context(ha), nullptr);
    EXPECT_EQ(find_device_context(0), nullptr);
    forget_device_context(hb);
}

}  // namespace
}  // namespace platform::print
