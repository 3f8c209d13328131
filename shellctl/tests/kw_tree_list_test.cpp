// The custom-draw tree and list bases on the recording canvas: result bits and colours of
// the drawing object, header arrows (formats, coordinates), context menus from mouse and
// keyboard, and the order of the node-deletion step.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/forms/form.h"
#include "platform/forms/keys.h"
#include "shellctl/kw_shell_list.h"
#include "shellctl/kw_shell_tree.h"
#include "shellctl/kw_tree_list.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;
using forms::CanvasOp;
using forms::Rect;

std::intptr_t spec_of(forms::TreeNode* node) {
    return reinterpret_cast<std::intptr_t>(node);
}

class CommonControls {
  public:
    explicit CommonControls(std::uint64_t version) : saved_(CommonControlsVersion()) {
        SetCommonControlsVersion(version);
    }
    ~CommonControls() { SetCommonControlsVersion(saved_); }

  private:
    std::uint64_t saved_;
};

// ---- custom draw: the tree --------------------------------------------------------------------

TEST(TreeCustomDraw, NoEventGivesZeroAndDesignTimeGivesZeroWithoutEvents) {
    TKwCustomTreeView tree;
    TKwCustomDrawInfo pre{CDDS_PREPAINT};
    EXPECT_EQ(tree.CustomDraw(pre), 0u);

    int fired = 0;
    tree.OnCustomDrawObjEx = [&](forms::Component&, TKwCustomDraw&, forms::TreeNode*) { ++fired; };
    tree.Designing = true;
    EXPECT_EQ(tree.CustomDraw(pre), 0u);
    EXPECT_EQ(fired, 0);
}

TEST(TreeCustomDraw, ItemPrePaintEventAsksForItemNotificationsAndFiresOncePerItem) {
    TKwCustomTreeView tree;
    auto* a = tree.add(nullptr, "a");
    auto* b = tree.add(nullptr, "b");
    std::vector<forms::TreeNode*> seen;
    tree.OnCustomDrawObj = [&](forms::Component&, TKwCustomDraw& cd, forms::TreeNode* node) {
        EXPECT_EQ(cd.Stage(), 4);
        seen.push_back(node);
    };
    TKwCustomDrawInfo pre{CDDS_PREPAINT};
    EXPECT_EQ(tree.CustomDraw(pre), CDRF_NOTIFYITEMDRAW);
    for (auto* node : {a, b}) {
        TKwCustomDrawInfo item{CDDS_ITEMPREPAINT, spec_of(node)};
        tree.CustomDraw(item);
        TKwCustomDrawInfo post{CDDS_ITEMPOSTPAINT, spec_of(node)};
        EXPECT_EQ(tree.CustomDraw(post), 0u);
    }
    EXPECT_EQ(seen, (std::vector<forms::TreeNode*>{a, b}));
}

TEST(TreeCustomDraw, BrushFontAndSkipDefaultBecomeResultBitsAndColours) {
    TKwCustomTreeView tree;
    auto* node = tree.add(nullptr, "n");
    enum { brush, font, skip, skip_user } what = brush;
    tree.OnCustomDrawObj = [&](forms::Component&, TKwCustomDraw& cd, forms::TreeNode*) {
        switch (what) {
            case brush:
                cd.Brush.Color = forms::clYellow;
                break;
            case font:
                cd.Font.Color = forms::clRed;
                cd.Font.bold = true;
                break;
            case skip:
                cd.SkipDefault = true;
                break;
            case skip_user:
                cd.SkipDefault = true;
                cd.UserResult = true;
                cd.Result() = 0x40;
                break;
        }
    };
    forms::Canvas canvas;
    auto draw = [&] {
        TKwCustomDrawInfo info{CDDS_ITEMPREPAINT, spec_of(node), &canvas, forms::clBlack, forms::clWhite};
        const std::uint32_t result = tree.CustomDraw(info);
        return std::make_pair(result, info);
    };

    auto [r1, i1] = draw();
    EXPECT_EQ(r1, CDRF_NOTIFYITEMDRAW);  // the bit every pre-paint stage gets while an event is set
    EXPECT_EQ(i1.clrTextBk, forms::clYellow);
    EXPECT_EQ(i1.clrText, forms::clBlack);

    what = font;
    auto [r2, i2] = draw();
    EXPECT_EQ(r2, CDRF_NOTIFYITEMDRAW | CDRF_NEWFONT);
    EXPECT_EQ(i2.clrText, forms::clRed);
    EXPECT_EQ(i2.clrTextBk, forms::clWhite);
    EXPECT_TRUE(canvas.Font.bold);  // the new font is selected into the context

    what = skip;
    EXPECT_EQ(draw().first, CDRF_NOTIFYITEMDRAW | CDRF_SKIPDEFAULT);

    // A handler that set the result itself keeps it; the tree still asks for item drawing.
    what = skip_user;
    EXPECT_EQ(draw().first, 0x40u | CDRF_NOTIFYITEMDRAW);
}

TEST(TreeCustomDraw, EveryStageEventSeesNoNodeOutsideItemStages) {
    TKwCustomTreeView tree;
    auto* node = tree.add(nullptr, "n");
    std::vector<std::pair<int, forms::TreeNode*>> seen;
    tree.OnCustomDrawObjEx = [&](forms::Component&, TKwCustomDraw& cd, forms::TreeNode* n) {
        seen.emplace_back(cd.Stage(), n);
    };
    for (std::uint32_t stage : {CDDS_PREPAINT, CDDS_ITEMPREPAINT, CDDS_ITEMPOSTPAINT, CDDS_POSTPAINT, 0x3u}) {
        TKwCustomDrawInfo info{stage, spec_of(node)};
        tree.CustomDraw(info);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<int, forms::TreeNode*>>{
                        {1, nullptr}, {4, node}, {5, node}, {2, nullptr}, {0, nullptr}}));
}

TEST(TreeCustomDraw, TheDrawingObjectCarriesTheControlFontInTheContextsTextColour) {
    TKwCustomTreeView tree;
    tree.Font.Name = "Arial";
    auto* node = tree.add(nullptr, "n");
    forms::Font seen;
    forms::Color brush = 0;
    tree.OnCustomDrawObj = [&](forms::Component&, TKwCustomDraw& cd, forms::TreeNode*) {
        seen = cd.Font;
        brush = cd.Brush.Color;
    };
    TKwCustomDrawInfo info{CDDS_ITEMPREPAINT, spec_of(node), nullptr, forms::clNavy, forms::clSilver};
    EXPECT_EQ(tree.CustomDraw(info), CDRF_NOTIFYITEMDRAW);  // nothing changed: no new font
    EXPECT_EQ(seen.Name, "Arial");
    EXPECT_EQ(seen.Color, forms::clNavy);
    EXPECT_EQ(brush, forms::clSilver);
}

// ---- custom draw: the list ------------------------------------------------------------------------

TEST(ListCustomDraw, PrePaintAlwaysAsksForItemsAndSkipDefaultIgnoresTheUserResult) {
    TKwCustomListView list;
    TKwCustomDrawInfo pre{CDDS_PREPAINT};
    EXPECT_EQ(list.CustomDraw(pre), CDRF_NOTIFYITEMDRAW);

    std::vector<int> items;
    list.OnCustomDrawObj = [&](forms::Component&, TKwCustomDraw& cd, int item) {
        items.push_back(item);
        cd.SkipDefault = true;
        cd.UserResult = true;
        cd.Result() = 0x40;
    };
    TKwCustomDrawInfo item{CDDS_ITEMPREPAINT, 3};
    EXPECT_EQ(list.CustomDraw(item), CDRF_SKIPDEFAULT | CDRF_NOTIFYITEMDRAW);
    EXPECT_EQ(items, std::vector<int>{3});
}

// ---- custom draw: the looks a drawing backend asks for ------------------------------------------

// An item whose handler skips the default drawing hands over what it drew in the item's
// rectangle; a node whose handler asks for the post-paint hands over what it drew then, over
// its colours; a plain item hands over no drawing.
TEST(ItemLooks, WhatAHandlerDrawsItselfComesWithTheLook) {
    TKwCustomListView list;
    list.add("a");
    list.add("b");
    list.OnCustomDrawObj = [](forms::Component&, TKwCustomDraw& cd, int item) {
        if (item != 1) return;
        cd.SkipDefault = true;
        cd.Info().canvas->FillRect(cd.Info().rc);
    };
    const Rect row{0, 20, 120, 38};
    EXPECT_FALSE(list.item_look(0, {0, 0, 120, 18}).draws_itself());
    const forms::ItemLook drawn = list.item_look(1, row);
    EXPECT_TRUE(drawn.replaces_default);
    ASSERT_EQ(drawn.drawing.size(), 1u);
    EXPECT_EQ(drawn.drawing[0].op, CanvasOp::fill_rect);
    EXPECT_EQ(drawn.drawing[0].points, (std::vector<forms::Point>{{0, 20}, {120, 38}}));

    TKwCustomTreeView tree;
    auto* node = tree.add(nullptr, "n");
    tree.OnCustomDrawObjEx = [](forms::Component&, TKwCustomDraw& cd, forms::TreeNode*) {
        if (cd.Stage() == 4) {
            cd.Brush.Color = forms::clYellow;
            cd.Info().canvas->FillRect(cd.Info().rc);  // lies under the default drawing
            cd.UserResult = true;
            cd.Result() |= CDRF_NOTIFYPOSTPAINT;
        } else if (cd.Stage() == 5) {
            cd.Info().canvas->FrameRect(cd.Info().rc);
        }
    };
    const forms::ItemLook framed = tree.node_look(node, row);
    EXPECT_FALSE(framed.replaces_default);
    EXPECT_EQ(framed.background, forms::clYellow);
    ASSERT_EQ(framed.drawing.size(), 1u);
    EXPECT_EQ(framed.drawing[0].op, CanvasOp::frame_rect);
    EXPECT_EQ(framed.drawing[0].points, (std::vector<forms::Point>{{0, 20}, {120, 38}}));
}

// ---- header arrows -------------------------------------------------------------------------------

class ListHeader : public ::testing::Test {
  protected:
    using CanvasCall = forms::CanvasCall;
    void SetUp() override {
        list.Columns = {{"Name", 100}, {"Size", 80}, {"Type", 15}, {"Date", 16}};
        list.ColumnAlignment = {forms::Alignment::left, forms::Alignment::right, forms::Alignment::left,
                                forms::Alignment::left};
    }
    std::vector<CanvasCall> draw(int column) {
        forms::Canvas c;
        list.DrawHeaderItem(c, column, list.HeaderItemRect(column));
        return c.calls();
    }
    TKwCustomListView list;
};

TEST_F(ListHeader, SettingTheSameSortColumnInvalidatesNothing) {
    list.SetSortColumn(-1);
    EXPECT_TRUE(list.Invalidated.empty());
    list.SetSortColumn(1);
    EXPECT_EQ(list.Invalidated, (std::vector<Rect>{{100, 0, 180, 20}}));
    list.SetSortColumn(0);
    EXPECT_EQ(list.Invalidated.size(), 3u);  // the old column and the new one
    list.SetSortColumn(0);
    EXPECT_EQ(list.Invalidated.size(), 3u);
}

TEST_F(ListHeader, CommonControls6ShowTheNativeSortFlags) {
    CommonControls cc(make_version(6, 0));
    list.SetSortColumn(1);
    EXPECT_EQ(list.HeaderFormat(1), HDF_RIGHT | HDF_STRING | HDF_SORTUP);
    EXPECT_EQ(list.HeaderFormat(0), HDF_LEFT | HDF_STRING);
    list.SetSortDescending(true);
    EXPECT_EQ(list.HeaderFormat(1), HDF_RIGHT | HDF_STRING | HDF_SORTDOWN);
    list.HeaderArrowMode = 1;
    list.UpdateHeaderItems();
    EXPECT_EQ(list.HeaderFormat(1), HDF_RIGHT | HDF_OWNERDRAW);
}

TEST_F(ListHeader, OlderCommonControlsDrawTheArrowThemselves) {
    CommonControls cc(make_version(5, 81));
    list.SetSortColumn(0);
    EXPECT_EQ(list.HeaderFormat(0), 0u) << "before version 6 a new sort column does not touch the items";
    list.UpdateHeaderItems();
    EXPECT_EQ(list.HeaderFormat(0), HDF_LEFT | HDF_OWNERDRAW);
    EXPECT_EQ(list.HeaderFormat(1), HDF_RIGHT | HDF_OWNERDRAW);
    list.HeaderArrowMode = 0;
    list.UpdateHeaderItems();
    EXPECT_EQ(list.HeaderFormat(0), HDF_LEFT | HDF_STRING | HDF_SORTUP);
}

TEST_F(ListHeader, HeaderItemsChangeOnlyInReportView) {
    list.ViewStyle = forms::ViewStyle::icon;
    list.SetSortColumn(1);
    EXPECT_TRUE(list.Invalidated.empty());
    EXPECT_EQ(list.HeaderFormat(1), 0u);
    EXPECT_EQ(list.SortColumn(), 1);
}

TEST(ArrowGeometry, BoxOfARectangle) {
    EXPECT_EQ(ArrowBox({106, 2, 174, 18}), (Rect{106, 4, 116, 13}));
    EXPECT_EQ(ArrowBox({0, 0, 50, 7}), (Rect{0, 1, 3, 3}));     // s = 7 div 2 - 1 = 2
    EXPECT_EQ(ArrowBox({3, 1, 50, 24}), (Rect{3, 6, 15, 17}));  // s = 25 div 2 - 1 = 11, top = 14 div 2 - 1
}

TEST_F(ListHeader, ModeOneArrowAtTheLeftThenTheText) {
    list.HeaderArrowMode = 1;
    list.SetSortColumn(0);
    const auto calls = draw(0);
    // Item (0,0)-(100,20), deflated by 2, text rectangle 4 in: (6,2)-(94,18); box (6,4)-(16,13).
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, CanvasOp::fill_rect);
    EXPECT_EQ(calls[0].points, (std::vector<forms::Point>{{6, 4}, {16, 13}}));
    EXPECT_EQ(calls[0].brush.Color, clBtnFace);
    // Ascending: apex down.
    EXPECT_EQ(calls[1].pen.Color, clBtnShadow);
    EXPECT_EQ(calls[1].points, (std::vector<forms::Point>{{10, 12}, {6, 5}, {6, 4}, {15, 4}}));
    EXPECT_EQ(calls[2].pen.Color, clBtnHighlight);
    EXPECT_EQ(calls[2].points, (std::vector<forms::Point>{{11, 12}, {16, 3}}));
    EXPECT_EQ(calls[3].op, CanvasOp::text_out);
    EXPECT_EQ(calls[3].text, "Name");
    EXPECT_EQ(calls[3].points[0], (forms::Point{21, 2}));  // box right + 5
}

TEST_F(ListHeader, DescendingArrowPointsUp) {
    list.HeaderArrowMode = 1;
    list.SetSortColumn(0);
    list.SetSortDescending(true);
    const auto calls = draw(0);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].pen.Color, clBtnShadow);
    EXPECT_EQ(calls[1].points, (std::vector<forms::Point>{{10, 4}, {6, 11}, {6, 12}}));
    EXPECT_EQ(calls[2].pen.Color, clBtnHighlight);
    EXPECT_EQ(calls[2].points, (std::vector<forms::Point>{{6, 12}, {15, 12}, {11, 3}}));
}

TEST_F(ListHeader, NarrowColumnsShowNoArrow) {
    list.HeaderArrowMode = 1;
    list.SetSortColumn(2);  // 15 pixels: no arrow, the text keeps its place
    auto calls = draw(2);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].op, CanvasOp::text_out);
    list.SetSortColumn(3);  // 16 pixels: the text moves past the box, but 16 is not wider than twice it
    calls = draw(3);
    for (const auto& c : calls) EXPECT_EQ(c.op, CanvasOp::text_out);
    for (int mode : {2, 3}) {
        list.HeaderArrowMode = mode;
        for (const auto& c : draw(3)) EXPECT_NE(c.op, CanvasOp::fill_rect) << "mode " << mode;
    }
}

TEST_F(ListHeader, ModeTwoRightAlignedArrowAtTheRightEnd) {
    list.HeaderArrowMode = 2;
    list.SetSortColumn(1);
    const auto calls = draw(1);
    // Item (100,0)-(180,20): text rectangle (106,2)-(174,18); box moved 5 in from its right end.
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].points, (std::vector<forms::Point>{{159, 4}, {169, 13}}));
    // The text ends 4 pixels left of the box: right-aligned in (106,2)-(155,18).
    EXPECT_EQ(calls[3].text, "Size");
    EXPECT_EQ(calls[3].points[0], (forms::Point{155 - 24, 2}));
}

TEST_F(ListHeader, ModeTwoLeftAlignedArrowFollowsTheText) {
    list.HeaderArrowMode = 2;
    list.SetSortColumn(0);
    const auto calls = draw(0);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, CanvasOp::text_out);
    EXPECT_EQ(calls[0].points[0], (forms::Point{6, 2}));
    // "Name" is 24 pixels wide: the box starts at 6 + 24 + 5.
    EXPECT_EQ(calls[1].points, (std::vector<forms::Point>{{35, 4}, {45, 13}}));
}

TEST_F(ListHeader, ModeThreeKeepsTheBoxForEveryColumnButDrawsOnlyTheSortArrow) {
    list.HeaderArrowMode = 3;
    list.SetSortColumn(1);
    auto calls = draw(0);  // not the sort column: text only, over the whole rectangle
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].points[0], (forms::Point{6, 2}));
    calls = draw(1);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].points, (std::vector<forms::Point>{{159, 4}, {169, 13}}));
}

TEST_F(ListHeader, HeaderDrawingOffDrawsNothing) {
    list.HeaderArrowMode = 1;
    list.SetSortColumn(0);
    list.HeaderDrawing = false;
    EXPECT_TRUE(draw(0).empty());
}

// ---- context menus: the tree ------------------------------------------------------------------------

class TreeMenus : public ::testing::Test {
  protected:
    void SetUp() override {
        tree = form.add<TKwCustomTreeView>("tree");
        menu = form.add<forms::PopupMenu>("menu");
        a = tree->add(nullptr, "a");
        tree->NodeTextRect = [](forms::TreeNode*) { return Rect{10, 20, 41, 35}; };
        tree->OnNodeContextMenu = [this](forms::Component&, forms::TreeNode* node, forms::Point& pos,
                                         forms::PopupMenu*&) { asked.emplace_back(node, pos); };
        menu->OnPopup = [this](forms::Component&) { ++popups; };
    }
    forms::Form form;
    TKwCustomTreeView* tree = nullptr;
    forms::PopupMenu* menu = nullptr;
    forms::TreeNode* a = nullptr;
    std::vector<std::pair<forms::TreeNode*, forms::Point>> asked;
    int popups = 0;
};

TEST_F(TreeMenus, AppsKeyWithoutSelectionOrMenuDoesNothing) {
    EXPECT_TRUE(tree->KeyForContextMenu(forms::keys::apps, {}));
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(popups, 0);
    tree->PopupMenu = menu;
    tree->KeyForContextMenu(forms::keys::apps, {});
    EXPECT_EQ(popups, 1);  // the tree's own menu, at the client origin
    EXPECT_EQ(menu->popup_point, (forms::Point{0, 0}));
    EXPECT_EQ(menu->PopupComponent, tree);
}

TEST_F(TreeMenus, KeyboardMenuOpensAtTheCentreOfTheSelectedNodesText) {
    tree->PopupMenu = menu;
    tree->select(a);
    EXPECT_TRUE(tree->KeyForContextMenu(forms::keys::f10, {.shift = true}));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, a);
    EXPECT_EQ(asked[0].second, (forms::Point{25, 27}));
    EXPECT_EQ(menu->popup_point, (forms::Point{25, 27}));
    // Only Apps alone and Shift+F10 alone open it.
    EXPECT_FALSE(tree->KeyForContextMenu(forms::keys::f10, {}));
    EXPECT_FALSE(tree->KeyForContextMenu(forms::keys::f10, {.shift = true, .ctrl = true}));
    EXPECT_FALSE(tree->KeyForContextMenu(forms::keys::apps, {.alt = true}));
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(TreeMenus, RightClickOnANodeIsHandledOnceAndStopsTheSecondPopup) {
    tree->PopupMenu = menu;
    tree->RightClick(a, {5, 6});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(popups, 1);
    EXPECT_TRUE(tree->MenuHandled());
    // The context-menu message that follows does nothing; the button-up does not open the
    // tree's menu again and clears the flag.
    tree->ContextMenuRequest(false, {5, 6});
    EXPECT_EQ(popups, 1);
    EXPECT_TRUE(tree->RightButtonUp());
    EXPECT_FALSE(tree->MenuHandled());
    EXPECT_FALSE(tree->RightButtonUp());
}

TEST_F(TreeMenus, RightClickBesideTheNodesDoesNothing) {
    tree->PopupMenu = menu;
    tree->RightClick(nullptr, {5, 6});
    EXPECT_TRUE(asked.empty());
    EXPECT_FALSE(tree->MenuHandled());
    // Then the context-menu message: a mouse request with no node selected.
    tree->ContextMenuRequest(false, {5, 6});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, nullptr);
    EXPECT_EQ(popups, 1);
}

TEST_F(TreeMenus, AHandlerThatReplacesTheMenuMarksItHandled) {
    forms::PopupMenu* other = form.add<forms::PopupMenu>("other");
    tree->PopupMenu = menu;
    tree->OnNodeContextMenu = [&](forms::Component&, forms::TreeNode*, forms::Point& pos,
                                  forms::PopupMenu*& m) {
        m = other;
        pos = {1, 2};
    };
    tree->select(a);
    tree->DoKeyboardContextMenu();
    EXPECT_TRUE(tree->MenuHandled());
    EXPECT_EQ(other->PopupComponent, tree);
    EXPECT_EQ(other->popup_point, (forms::Point{1, 2}));
    EXPECT_EQ(popups, 0);
}

// ---- context menus: the list --------------------------------------------------------------------------

TEST(ListMenus, FocusedSelectedAndNoItem) {
    forms::Form form;
    auto* list = form.add<TKwCustomListView>("list");
    auto* menu = form.add<forms::PopupMenu>("menu");
    list->PopupMenu = menu;
    list->add("a");
    list->add("b");
    list->ItemIconRect = [](int item) { return Rect{0, item * 20, 16, item * 20 + 16}; };
    std::vector<std::pair<int, forms::Point>> asked;
    list->OnItemContextMenu = [&](forms::Component&, int item, forms::Point& pos, forms::PopupMenu*&) {
        asked.emplace_back(item, pos);
    };

    list->RightClick({30, 40});  // no focused item: the list's menu at the point
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(menu->popup_point, (forms::Point{30, 40}));

    list->ItemFocused = 1;
    list->select(1);
    list->RightClick({30, 40});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], std::make_pair(1, forms::Point{8, 28}));
    EXPECT_TRUE(list->MenuHandled());
    EXPECT_TRUE(list->RightButtonUp());

    // Focus on an unselected item: the first selected item's icon centre.
    list->ItemFocused = 0;
    list->KeyForContextMenu(forms::keys::apps, {});
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].second, (forms::Point{8, 28}));

    // The flag is cleared at the button-up whatever happened.
    EXPECT_TRUE(list->MenuHandled());
    list->PopupMenu = nullptr;
    EXPECT_FALSE(list->RightButtonUp());
    EXPECT_FALSE(list->MenuHandled());

    // A context-menu message with nothing selected does nothing.
    list->select(-1);
    list->ContextMenuRequest(true, {});
    EXPECT_EQ(asked.size(), 2u);
}

// ---- destruction ----------------------------------------------------------------------------------------

TEST(TreeDestruction, EveryNodeGetsItsDeletionStepOnceChildrenFirst) {
    std::vector<std::string> order;
    {
        auto tree = std::make_unique<TKwCustomTreeView>();
        auto* r1 = tree->add(nullptr, "r1");
        auto* c1 = tree->add(r1, "c1");
        tree->add(c1, "g1");
        tree->add(c1, "g2");
        tree->add(r1, "c2");
        auto* r2 = tree->add(nullptr, "r2");
        tree->add(r2, "c3");
        tree->expand(r1);
        tree->expand(c1);
        tree->expand(r2);
        tree->OnDeletion = [&](forms::Component&, forms::TreeNode* node) { order.push_back(node->Text); };
    }
    EXPECT_EQ(order, (std::vector<std::string>{"g1", "g2", "c1", "c2", "r1", "c3", "r2"}));
}

TEST(TreeDestruction, ErasingOneNodeRunsTheStepForItsSubtreeOnly) {
    std::vector<std::string> order;
    TKwCustomTreeView tree;
    auto* r = tree.add(nullptr, "r");
    auto* c = tree.add(r, "c");
    tree.add(c, "g");
    tree.add(r, "d");
    tree.OnDeletion = [&](forms::Component&, forms::TreeNode* node) { order.push_back(node->Text); };
    tree.EraseNode(c);
    EXPECT_EQ(order, (std::vector<std::string>{"g", "c"}));
    EXPECT_EQ(tree.count(), 2);
}

TEST(TreeStyle, ToolTipsNeedCommonControls472) {
    {
        CommonControls cc(make_version(4, 71));
        EXPECT_FALSE(TKwCustomTreeView().ToolTips);
    }
    CommonControls cc(make_version(4, 72));
    EXPECT_TRUE(TKwCustomTreeView().ToolTips);
}

TEST(ShellViews, TheTreeAndTheListGoOnOneFormAndShareTheirMessages) {
    // Both headers in one file, as a form with a tree and its list has them.
    EXPECT_EQ(WM_KWCHANGENOTIFY, 1125u);
    EXPECT_EQ(WM_KWAUTOFILL, 1127u);
    EXPECT_EQ(WM_KWSELECTNAME, 1126u);
}

}  // namespace
}  // namespace shellctl
