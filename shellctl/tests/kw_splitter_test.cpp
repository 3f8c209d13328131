// The splitter as a person uses it: panes laid out around the bar, minimum sizes, resizing,
// dragging the bar with the outline line or live, and the ways a drag ends.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "shellctl/kw_splitter.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;
using forms::MouseButton;
using forms::Rect;

struct SplitterFixture : ::testing::Test {
    void SetUp() override {
        SetDragFullWindows(true);
        owner = std::make_unique<forms::Component>();
        s = owner->add<TKwSplitter>("Splitter1");
        s->CreatePanes();
        s->OnChange = [this](forms::Component&) { changes.push_back(s->Position()); };
        s->OnSplitterDrag = [this](forms::Component&, int p) { drags.push_back(p); };
        s->OnSplitterDrop = [this](forms::Component&, int p) { drops.push_back(p); };
        s->OnResize = [this](forms::Component&) { ++resizes; };
    }
    void TearDown() override { SetDragFullWindows(true); }

    Rect bounds(int pane) const { return s->Pane(pane)->BoundsRect(); }

    std::unique_ptr<forms::Component> owner;
    TKwSplitter* s = nullptr;
    std::vector<int> changes, drags, drops;
    int resizes = 0;
};

TEST_F(SplitterFixture, DefaultPanesLieEitherSideOfTheBar) {
    EXPECT_EQ(s->Width, 200);
    EXPECT_EQ(s->Height, 140);
    EXPECT_EQ(s->Position(), 65);
    EXPECT_EQ(s->SplitterWidth(), 3);
    EXPECT_EQ(bounds(0), (Rect{0, 0, 65, 140}));
    EXPECT_EQ(bounds(1), (Rect{68, 0, 200, 140}));
    EXPECT_EQ(s->Pane(0)->Name, "Splitter1_pane1");
    EXPECT_EQ(s->Pane(1)->Name, "Splitter1_pane2");
    EXPECT_EQ(s->Pane(1)->Index, 1);
    EXPECT_EQ(s->Pane1MinSize(), 20);
    EXPECT_EQ(s->Pane2FrameStyle(), TKwFrameStyle::kwfsLowered);
    EXPECT_EQ(s->Pane(0)->parent(), s);
    EXPECT_FALSE(s->Pane(0)->Active());  // only a designer activates a pane
}

TEST_F(SplitterFixture, HorizontalStyleStacksThePanes) {
    s->SetStyle(TKwSplitterStyle::kwstHorizontal);
    EXPECT_EQ(bounds(0), (Rect{0, 0, 200, 65}));
    EXPECT_EQ(bounds(1), (Rect{0, 68, 200, 140}));
    s->SetSplitterWidth(6);
    EXPECT_EQ(bounds(1), (Rect{0, 71, 200, 140}));
    s->SetPosition(1000);  // the extent is the height now
    EXPECT_EQ(s->Position(), 140 - 20);
}

TEST_F(SplitterFixture, ProportionalResizeKeepsTheFirstPanesShare) {
    s->SetBounds(0, 0, 400, 140);
    EXPECT_EQ(s->Position(), 130);
    EXPECT_EQ(bounds(1), (Rect{133, 0, 400, 140}));
    EXPECT_EQ(resizes, 1);
    EXPECT_EQ(changes, (std::vector<int>{130}));
    // A resize keeps the share it started from: back to 200 gives 65 again.
    s->SetBounds(0, 0, 200, 140);
    EXPECT_EQ(s->Position(), 65);
}

TEST_F(SplitterFixture, ProportionalResizeRoundsHalvesToEven) {
    s->SetPosition(100);  // share 0.5
    s->SetBounds(0, 0, 201, 140);
    EXPECT_EQ(s->Position(), 100);  // 100.5
    s->SetBounds(0, 0, 203, 140);
    EXPECT_EQ(s->Position(), 102);  // 101.5
}

TEST_F(SplitterFixture, WithoutProportionalAResizeKeepsThePositionAndStillTellsTheOwner) {
    s->Proportional = false;
    s->SetBounds(0, 0, 400, 140);
    EXPECT_EQ(s->Position(), 65);
    EXPECT_EQ(resizes, 1);
    EXPECT_EQ(bounds(1), (Rect{68, 0, 400, 140}));
    EXPECT_TRUE(changes.empty());
}

TEST_F(SplitterFixture, PositionIsKeptWithinThePanesMinimums) {
    s->SetPosition(5);
    EXPECT_EQ(s->Position(), 20);
    // The second pane's minimum comes off the extent: 200 - 20.
    s->SetPosition(1000);
    EXPECT_EQ(s->Position(), 180);
    EXPECT_EQ(bounds(1).width(), 17);
    EXPECT_EQ(changes, (std::vector<int>{20, 180}));
    s->SetPosition(180);
    EXPECT_EQ(changes.size(), 2u);  // no change, no event
    // A new minimum does not move the bar by itself.
    s->SetPane2MinSize(50);
    EXPECT_EQ(s->Position(), 180);
    s->SetPosition(176);
    EXPECT_EQ(s->Position(), 200 - 50);
    // Without a minimum the bar still leaves pane 1 a size of 0, never less.
    s->SetPane2MinSize(0);
    s->SetPosition(1000);
    EXPECT_EQ(s->Position(), 200 - 3);
    EXPECT_EQ(bounds(1).width(), 0);
}

TEST_F(SplitterFixture, TooSmallAControlSqueezesTheSecondPaneToNothingNeverBelow) {
    s->SetPane1MinSize(30);
    s->SetBounds(0, 0, 40, 140);
    EXPECT_EQ(s->Position(), 30);
    EXPECT_EQ(bounds(0), (Rect{0, 0, 30, 140}));
    EXPECT_EQ(bounds(1), (Rect{33, 0, 40, 140}));
    s->SetBounds(0, 0, 31, 140);
    EXPECT_GE(bounds(1).width(), 0);
    EXPECT_LE(bounds(1).left, 31);
    s->SetBounds(0, 0, 10, 140);
    EXPECT_EQ(bounds(0).width(), 10);
    EXPECT_EQ(bounds(1).width(), 0);
}

TEST_F(SplitterFixture, OutlineDragMovesTheLineAndAppliesItAtRelease) {
    s->SetFullDragMode(TKwFullDragMode::kwfdOff);
    s->mouse_down(MouseButton::left, 66, 50);
    EXPECT_TRUE(s->Dragging());
    EXPECT_TRUE(s->MouseCaptured());
    s->mouse_move(100, 50);
    s->mouse_move(120, 60);
    EXPECT_EQ(s->Position(), 65);  // nothing moves before the release
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(s->VisibleDragLines(), 1);
    s->mouse_up(MouseButton::left, 120, 60);
    EXPECT_EQ(drags, (std::vector<int>{66, 100, 120, -1}));
    EXPECT_EQ(s->Position(), 119);  // the bar keeps where it was grabbed (offset 1)
    EXPECT_EQ(changes, (std::vector<int>{119}));
    EXPECT_EQ(drops, (std::vector<int>{119}));
    EXPECT_FLOAT_EQ(s->Proportion(), 119.0f / 200.0f);
    EXPECT_EQ(bounds(1).left, 122);
    EXPECT_FALSE(s->Dragging());
    EXPECT_FALSE(s->MouseCaptured());
    // Every line drawn was erased again: inverted twice at 65, at 99 and at 119.
    EXPECT_EQ(s->VisibleDragLines(), 0);
    const auto& draws = s->DragLineDraws();
    ASSERT_EQ(draws.size(), 6u);
    EXPECT_EQ(draws[0].rect, (Rect{65, 0, 68, 140}));
    EXPECT_EQ(draws[1].rect, draws[0].rect);
    EXPECT_EQ(draws[2].rect, (Rect{99, 0, 102, 140}));
    EXPECT_EQ(draws[5].rect, (Rect{119, 0, 122, 140}));
}

TEST_F(SplitterFixture, OutlineDragReleasedWhereItStartedChangesNothing) {
    s->SetFullDragMode(TKwFullDragMode::kwfdOff);
    s->mouse_down(MouseButton::left, 66, 10);
    s->mouse_move(90, 10);
    s->mouse_up(MouseButton::left, 66, 10);
    EXPECT_EQ(s->Position(), 65);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(drops, (std::vector<int>{65}));
}

TEST_F(SplitterFixture, OutlineDragLineStopsAtTheMinimums) {
    s->SetFullDragMode(TKwFullDragMode::kwfdOff);
    s->mouse_down(MouseButton::left, 67, 10);  // offset 2
    s->mouse_move(1000, 10);
    EXPECT_EQ(s->DragPosition(), 180 + 2);
    s->mouse_move(-50, 10);
    EXPECT_EQ(s->DragPosition(), 20 + 2);
    s->mouse_up(MouseButton::left, -50, 10);
    EXPECT_EQ(s->Position(), 20);
}

TEST_F(SplitterFixture, LiveDragMovesThePanesAtEveryStep) {
    s->SetFullDragMode(TKwFullDragMode::kwfdOn);
    s->mouse_down(MouseButton::left, 66, 10);
    s->mouse_move(80, 10);
    EXPECT_EQ(s->Position(), 79);
    EXPECT_EQ(bounds(0).right, 79);
    s->mouse_move(90, 10);
    EXPECT_EQ(s->Position(), 89);
    EXPECT_EQ(changes, (std::vector<int>{79, 89}));
    EXPECT_TRUE(s->DragLineDraws().empty());  // no outline line in live mode
    s->mouse_up(MouseButton::left, 90, 10);
    EXPECT_EQ(s->Position(), 89);
    EXPECT_EQ(changes.size(), 2u);  // nothing new at release
    EXPECT_EQ(drops, (std::vector<int>{89}));
}

TEST_F(SplitterFixture, UserSettingDecidesBetweenLiveAndOutline) {
    s->SetFullDragMode(TKwFullDragMode::kwfdUser);
    SetDragFullWindows(false);
    EXPECT_FALSE(s->FullDrag());
    s->mouse_down(MouseButton::left, 66, 10);
    s->mouse_move(80, 10);
    EXPECT_EQ(s->Position(), 65);
    s->mouse_up(MouseButton::left, 80, 10);
    SetDragFullWindows(true);
    EXPECT_TRUE(s->FullDrag());
    s->mouse_down(MouseButton::left, 80, 10);
    s->mouse_move(100, 10);
    EXPECT_EQ(s->Position(), 99);
    s->mouse_up(MouseButton::left, 100, 10);
}

TEST_F(SplitterFixture, SecondPressEndsAnOutlineDragWithoutApplyingIt) {
    s->SetFullDragMode(TKwFullDragMode::kwfdOff);
    s->mouse_down(MouseButton::left, 66, 10);
    s->mouse_move(120, 10);
    s->mouse_down(MouseButton::right, 120, 10);
    EXPECT_FALSE(s->Dragging());
    EXPECT_FALSE(s->MouseCaptured());
    EXPECT_EQ(s->VisibleDragLines(), 0);
    EXPECT_EQ(drags.back(), -1);
    s->mouse_up(MouseButton::left, 120, 10);  // the old drag's release does nothing now
    EXPECT_EQ(s->Position(), 65);
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(drops.empty());
}

TEST_F(SplitterFixture, SecondPressEndsALiveDragWithThePanesBackWhereTheyWere) {
    s->SetFullDragMode(TKwFullDragMode::kwfdOn);
    s->mouse_down(MouseButton::left, 66, 10);
    s->mouse_move(120, 10);
    EXPECT_EQ(s->Position(), 119);
    s->mouse_down(MouseButton::left, 120, 10);
    EXPECT_FALSE(s->Dragging());
    EXPECT_EQ(s->Position(), 65);
    EXPECT_EQ(bounds(0).right, 65);
    EXPECT_EQ(changes, (std::vector<int>{119, 65}));
    EXPECT_FLOAT_EQ(s->Proportion(), 65.0f / 200.0f);
}

TEST_F(SplitterFixture, CancelModeAndLostCaptureEndTheDrag) {
    s->SetFullDragMode(TKwFullDragMode::kwfdOff);
    s->mouse_down(MouseButton::left, 66, 10);
    s->mouse_move(100, 10);
    s->CancelMode();
    EXPECT_FALSE(s->Dragging());
    EXPECT_EQ(s->VisibleDragLines(), 0);
    EXPECT_EQ(s->Position(), 65);
    s->mouse_down(MouseButton::left, 66, 10);
    s->mouse_move(100, 10);
    s->CaptureChanged();
    EXPECT_FALSE(s->Dragging());
    EXPECT_FALSE(s->MouseCaptured());
    EXPECT_EQ(s->VisibleDragLines(), 0);
    s->CancelMode();  // nothing to end
    EXPECT_EQ(s->Position(), 65);
}

TEST_F(SplitterFixture, OnlyTheLeftButtonStartsADrag) {
    s->mouse_down(MouseButton::right, 66, 10);
    EXPECT_FALSE(s->Dragging());
    s->mouse_down(MouseButton::middle, 66, 10);
    EXPECT_FALSE(s->Dragging());
    EXPECT_TRUE(drags.empty());
}

TEST_F(SplitterFixture, HorizontalDragFollowsTheVerticalPointer) {
    s->SetStyle(TKwSplitterStyle::kwstHorizontal);
    s->SetFullDragMode(TKwFullDragMode::kwfdOff);
    s->mouse_down(MouseButton::left, 150, 66);
    s->mouse_move(10, 90);
    EXPECT_EQ(s->DragLineDraws().back().rect, (Rect{0, 89, 200, 92}));
    s->mouse_up(MouseButton::left, 10, 90);
    EXPECT_EQ(s->Position(), 89);
    EXPECT_FLOAT_EQ(s->Proportion(), 89.0f / 140.0f);
}

TEST_F(SplitterFixture, SplitCursorOverTheBarOnly) {
    EXPECT_EQ(s->CursorAt({66, 10}), forms::Cursor::hsplit);
    EXPECT_EQ(s->CursorAt({10, 10}), forms::Cursor::normal);
    EXPECT_EQ(s->CursorAt({150, 10}), forms::Cursor::normal);
    s->SetStyle(TKwSplitterStyle::kwstHorizontal);
    EXPECT_EQ(s->CursorAt({10, 66}), forms::Cursor::vsplit);
}

TEST_F(SplitterFixture, RenamingTheSplitterRenamesItsPanes) {
    s->SetName("Main");
    EXPECT_EQ(s->Pane(0)->Name, "Main_pane1");
    EXPECT_EQ(s->Pane(1)->Name, "Main_pane2");
    EXPECT_EQ(owner->find_component("Main_pane2"), s->Pane(1));
}

TEST_F(SplitterFixture, PanePropertiesReachTheirPane) {
    s->SetPane1Color(forms::clRed);
    s->SetPane2FrameStyle(TKwFrameStyle::kwfsRaised);
    EXPECT_EQ(s->Pane(0)->Color, forms::clRed);
    EXPECT_EQ(s->Pane2Color(), forms::clBtnFace);
    EXPECT_EQ(s->Pane(1)->FrameStyle(), TKwFrameStyle::kwfsRaised);
    EXPECT_EQ(s->Pane(1)->Recreations(), 2);  // made lowered, then raised
}

TEST(Splitter, WithoutPanesNothingIsClampedOrArrangedAndPaneWritesAreIgnored) {
    TKwSplitter s;
    s.SetPosition(1);
    EXPECT_EQ(s.Position(), 1);
    s.SetPane1MinSize(50);
    s.SetPane2Color(forms::clRed);
    EXPECT_EQ(s.Pane(0), nullptr);
    s.mouse_down(MouseButton::left, 2, 2);
    EXPECT_FALSE(s.Dragging());
}

TEST(Splitter, PanesMadeByTheFormsCodeAreTakenUpByIndex) {
    forms::Component owner;
    auto* s = owner.add<TKwSplitter>("Split");
    auto* second = owner.add<TKwPane>("right", s);
    second->Index = 1;
    auto* first = owner.add<TKwPane>("left", s);
    first->Index = 0;
    s->Loaded();
    EXPECT_EQ(s->Pane(0), first);
    EXPECT_EQ(s->Pane(1), second);
    EXPECT_EQ(first->BoundsRect(), (Rect{0, 0, 65, 140}));
    EXPECT_EQ(second->BoundsRect(), (Rect{68, 0, 200, 140}));
}

TEST(Splitter, CheckerPatternAlternatesByParity) {
    const auto& rows = CheckerBitmap();
    for (int y = 0; y < 8; ++y) EXPECT_EQ(rows[static_cast<std::size_t>(y)], y % 2 ? 0xAA : 0x55) << y;
}

}  // namespace
}  // namespace shellctl
