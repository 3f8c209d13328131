// Frames and group panels on the recording canvas: coordinates, colours, room taken.
#include <gtest/gtest.h>

#include "platform/forms/form.h"
#include "platform/forms/standard_controls.h"
#include "shellctl/kw_frame.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;
using forms::CanvasOp;
using forms::Point;
using S = TKwFrameStyle;

std::vector<std::pair<Color, std::vector<Point>>> polylines(const forms::Canvas& c) {
    std::vector<std::pair<Color, std::vector<Point>>> out;
    for (const auto& call : c.calls_of(CanvasOp::polyline)) out.emplace_back(call.pen.Color, call.points);
    return out;
}

TEST(FrameBorder, RoomOfEveryStyle) {
    auto room = [](S s) {
        Rect r{0, 0, 100, 50};
        FrameBorder(s, r);
        return r;
    };
    EXPECT_EQ(room(S::kwfsNone), (Rect{0, 0, 100, 50}));
    EXPECT_EQ(room(S::kwfsGroup), (Rect{0, 0, 100, 50}));
    EXPECT_EQ(room(S::kwfsLowered), (Rect{2, 2, 98, 48}));
    EXPECT_EQ(room(S::kwfsRaised), (Rect{2, 2, 98, 48}));
    EXPECT_EQ(room(S::kwfsDint), (Rect{1, 1, 99, 49}));
    EXPECT_EQ(room(S::kwfsBump), (Rect{1, 1, 99, 49}));
    EXPECT_EQ(room(S::kwfsSingle), (Rect{1, 1, 99, 49}));
    EXPECT_EQ(room(S::kwfsHorzLine), (Rect{0, 2, 100, 50}));
    EXPECT_EQ(room(S::kwfsHorzEdge), (Rect{0, 2, 100, 48}));
    EXPECT_EQ(room(S::kwfsVertLine), (Rect{2, 0, 100, 50}));
    EXPECT_EQ(room(S::kwfsVertEdge), (Rect{2, 0, 98, 50}));
}

TEST(FramePainters, LoweredAndRaisedEdges) {
    forms::Canvas c;
    DrawFrame(c, S::kwfsLowered, {0, 0, 63, 47}, "", true, clBtnFace);
    const auto lines = polylines(c);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], std::make_pair(clBtnShadow, std::vector<Point>{{0, 46}, {0, 0}, {63, 0}}));
    EXPECT_EQ(lines[1], std::make_pair(cl3DDkShadow, std::vector<Point>{{1, 45}, {1, 1}, {62, 1}}));
    EXPECT_EQ(lines[2], std::make_pair(clBtnFace, std::vector<Point>{{1, 46}, {62, 46}, {62, 0}}));
    EXPECT_EQ(lines[3], std::make_pair(clBtnHighlight, std::vector<Point>{{0, 47}, {63, 47}, {63, -1}}));
    forms::Canvas r;
    DrawFrame(r, S::kwfsRaised, {0, 0, 63, 47}, "", true, clBtnFace);
    const auto raised = polylines(r);
    ASSERT_EQ(raised.size(), 4u);
    EXPECT_EQ(raised[0].first, clBtnHighlight);
    EXPECT_EQ(raised[3].first, cl3DDkShadow);
    EXPECT_EQ(raised[3].second, lines[3].second);
}

TEST(FramePainters, LinesEdgesAndTheSingleRectangle) {
    forms::Canvas c;
    DrawFrame(c, S::kwfsVertEdge, {5, 5, 20, 30}, "", true, clBtnFace);
    const auto lines = polylines(c);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], std::make_pair(clBtnShadow, std::vector<Point>{{19, 5}, {19, 31}}));
    EXPECT_EQ(lines[3], std::make_pair(clBtnHighlight, std::vector<Point>{{20, 5}, {20, 31}}));
    forms::Canvas s;
    DrawFrame(s, S::kwfsSingle, {0, 0, 9, 9}, "", true, clBtnFace);
    ASSERT_EQ(s.calls().size(), 1u);
    EXPECT_EQ(s.calls()[0].op, CanvasOp::frame_rect);
    EXPECT_EQ(s.calls()[0].brush.Color, clWindowFrame);
    EXPECT_EQ(s.calls()[0].points, (std::vector<Point>{{0, 0}, {10, 10}}));
    forms::Canvas n;
    DrawFrame(n, S::kwfsNone, {0, 0, 9, 9}, "x", true, clBtnFace);
    EXPECT_TRUE(n.calls().empty());
}

TEST(GroupPanel, ClientAreaReservesTheCaptionHeight) {
    TKwGroup g;
    EXPECT_EQ(g.Width, 64);
    EXPECT_EQ(g.Height, 48);
    EXPECT_EQ(g.ClientArea(), (Rect{2, 2, 62, 46}));  // no caption: 2 at the top
    g.SetCaption("Files");
    EXPECT_EQ(g.ClientArea(), (Rect{2, 13, 62, 46}));  // the height of "0"
    g.SetFrameStyle(S::kwfsLowered);
    EXPECT_EQ(g.ClientArea(), (Rect{2, 2, 62, 46}));
    g.SetFrameStyle(S::kwfsNone);
    EXPECT_EQ(g.ClientArea(), (Rect{0, 0, 64, 48}));
}

TEST(GroupPanel, AFontChangeRedrawsTheGroupsFrameInTheNewFont) {
    TKwGroup g;
    g.SetCaption("Files");
    const int changes = g.FrameChanges();
    g.Canvas.clear_record();
    forms::Font big;
    big.Height = -20;
    big.Size = 15;
    g.SetFont(big);
    EXPECT_EQ(g.FrameChanges(), changes + 1);
    const auto texts = g.Canvas.calls_of(CanvasOp::text_out);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].font, big);
    forms::Canvas measure;
    measure.Font = big;
    EXPECT_EQ(g.ClientArea().top, measure.TextHeight("0"));
    // Another style has no caption in its frame: a repaint, no frame change.
    g.SetFrameStyle(S::kwfsLowered);
    g.SetFont(forms::Font{});
    EXPECT_EQ(g.FrameChanges(), changes + 1);
}

TEST(GroupPanel, TheGroupFrameIsEtchedWithItsCaptionOnTop) {
    TKwGroup g;
    g.Caption = "Files";
    g.Repaint();
    const auto& calls = g.Canvas.calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, CanvasOp::fill_rect);
    EXPECT_EQ(calls[0].points, (std::vector<Point>{{0, 0}, {64, 48}}));
    const auto rects = g.Canvas.calls_of(CanvasOp::rectangle);
    ASSERT_EQ(rects.size(), 2u);
    // a = 13, box top = 13 / 2 - 1 = 5
    EXPECT_EQ(rects[0].pen.Color, clBtnHighlight);
    EXPECT_EQ(rects[0].points, (std::vector<Point>{{1, 6}, {64, 48}}));
    EXPECT_EQ(rects[0].brush.Style, forms::BrushStyle::clear);
    EXPECT_EQ(rects[1].pen.Color, clBtnShadow);
    EXPECT_EQ(rects[1].points, (std::vector<Point>{{0, 5}, {63, 47}}));
    const auto texts = g.Canvas.calls_of(CanvasOp::text_out);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "Files");
    EXPECT_EQ(texts[0].points[0], (Point{8, 0}));
    EXPECT_EQ(texts[0].brush.Style, forms::BrushStyle::solid);  // covers the frame line
}

TEST(GroupPanel, DisablingDisablesTheChildrenAndEmbossesTheCaption) {
    forms::Form owner;
    auto* g = owner.add<TKwGroup>("group");
    auto* child = owner.add<forms::Button>("button", g);
    g->Caption = "Grp";
    g->SetEnabled(false);
    EXPECT_FALSE(child->Enabled);
    EXPECT_EQ(g->FrameChanges(), 1);
    const auto texts = g->Canvas.calls_of(CanvasOp::text_out);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].points[0], (Point{9, 1}));
    EXPECT_EQ(texts[0].font.Color, clBtnHighlight);
    EXPECT_EQ(texts[1].points[0], (Point{8, 0}));
    EXPECT_EQ(texts[1].font.Color, clBtnShadow);
    EXPECT_EQ(texts[1].brush.Style, forms::BrushStyle::clear);
    g->SetEnabled(true);
    EXPECT_TRUE(child->Enabled);
}

TEST(GroupPanel, SettingTheSameStyleDoesNothing) {
    TKwGroup g;
    g.SetFrameStyle(S::kwfsGroup);
    EXPECT_EQ(g.Recreations(), 0);
    g.SetFrameStyle(S::kwfsBump);
    EXPECT_EQ(g.Recreations(), 1);
}

TEST(FramedLabel, CaptionAlignmentAndAmpersands) {
    TKwFrame f;
    EXPECT_EQ(f.FrameStyle(), S::kwfsLowered);
    f.Width = 100;
    f.Height = 21;
    f.Caption = "&Status";
    f.Paint();
    auto texts = f.Canvas.calls_of(CanvasOp::text_out);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "Status");
    // Centred in (2, 0, 97, 20): width 36, (95 - 36) / 2 = 29; height 13, (20 - 13) / 2 = 3.
    EXPECT_EQ(texts[0].points[0], (Point{31, 3}));
    f.Canvas.clear_record();
    f.SetAlignment(forms::Alignment::right);
    texts = f.Canvas.calls_of(CanvasOp::text_out);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].points[0].x, 97 - 36);
    f.Canvas.clear_record();
    f.SetCaption("&");
    EXPECT_TRUE(f.Canvas.calls_of(CanvasOp::text_out).empty());  // a lone "&" shows no glyph
    f.Canvas.clear_record();
    f.SetCaption("a && b");
    EXPECT_EQ(f.Canvas.calls_of(CanvasOp::text_out)[0].text, "a & b");
}

TEST(FramedLabel, LongCaptionsEndInAnEllipsis) {
    TKwFrame f;
    f.Width = 40;
    f.Height = 20;
    f.SetCaption("a very long status text");
    const auto texts = f.Canvas.calls_of(CanvasOp::text_out);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "a ...");  // 35 pixels of room, 6 a character: two and the dots
}

TEST(FramedLabel, WithoutDefaultDrawingNothingIsFilledUnlessDesigning) {
    TKwFrame f;
    f.Color = clBtnFace;
    f.DefaultDrawing = false;
    int painted = 0;
    f.OnPaint = [&](forms::Component&, forms::Canvas&) { ++painted; };
    f.Paint();
    EXPECT_TRUE(f.Canvas.calls_of(CanvasOp::fill_rect).empty());
    EXPECT_TRUE(f.Canvas.calls_of(CanvasOp::text_out).empty());
    EXPECT_EQ(painted, 1);
    f.Designing = true;
    f.Canvas.clear_record();
    f.Paint();
    EXPECT_EQ(f.Canvas.calls_of(CanvasOp::fill_rect).size(), 1u);
    // The group style ends after its frame: no caption text and no OnPaint.
    f.SetFrameStyle(S::kwfsGroup);
    EXPECT_EQ(painted, 2);
    EXPECT_EQ(f.InvalidArea(), f.BoundsRect());
}

}  // namespace
}  // namespace shellctl
