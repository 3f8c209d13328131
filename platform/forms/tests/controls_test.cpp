#include <gtest/gtest.h>

#include "platform/forms/tests/test_support.h"

namespace platform::forms {
namespace {

using Controls = testing::FormsTest;
using testing::Reaper;

TEST_F(Controls, CheckAndRadioButtonsToggleAsAPersonClicks) {
    auto form = make_form<Form>("Ttest_buttons");
    auto* check = form->add<CheckBox>("check");
    int clicks = 0;
    check->OnClick = [&](Component&) { ++clicks; };
    check->click();
    EXPECT_TRUE(check->Checked);
    check->check(true);  // already checked: nothing
    check->check(false);
    EXPECT_FALSE(check->Checked);
    EXPECT_EQ(clicks, 2);

    // Radio buttons group by parent.
    auto* show_box = form->add<GroupBox>("show_box");
    auto* numbers = form->add<RadioButton>("show_numbers_button", show_box);
    auto* types = form->add<RadioButton>("show_types_button", show_box);
    auto* elsewhere = form->add<RadioButton>("elsewhere");
    elsewhere->Checked = true;
    numbers->click();
    types->click();
    EXPECT_FALSE(numbers->Checked);
    EXPECT_TRUE(types->Checked);
    EXPECT_TRUE(elsewhere->Checked);
}

TEST_F(Controls, PaintBoxCanvasRecordsCallsWithThePenAndBrushInForce) {
    auto form = make_form<Form>("Ttest_paint");
    auto* box = form->add<PaintBox>("swatch");
    box->SetBounds(0, 0, 40, 20);
    box->OnPaint = [box](Component&) {
        Canvas& c = box->Canvas;
        c.Brush.Color = clAqua;
        c.Rectangle(0, 0, box->Width, box->Height);
        c.Pen.Color = clRed;
        c.Pen.Width = 3;
        c.MoveTo(1, 2);
        c.LineTo(30, 2);
        c.TextOut(4, 5, "A:1");
    };
    box->Repaint();

    const auto& calls = box->Canvas.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, CanvasOp::rectangle);
    EXPECT_EQ(calls[0].points, (std::vector<Point>{{0, 0}, {40, 20}}));
    EXPECT_EQ(calls[0].brush.Color, clAqua);
    EXPECT_EQ(calls[0].pen.Color, clBlack);
    EXPECT_EQ(calls[2].op, CanvasOp::line_to);
    EXPECT_EQ(calls[2].points, (std::vector<Point>{{1, 2}, {30, 2}}));
    EXPECT_EQ(calls[2].pen.Width, 3);
    EXPECT_EQ(calls[3].text, "A:1");
    EXPECT_EQ(box->Canvas.calls_of(CanvasOp::text_out).size(), 1u);

    // The headless metric is fixed: 6 x 13 per character at the default font.
    EXPECT_EQ(box->Canvas.TextWidth("9"), 6);
    EXPECT_EQ(box->Canvas.TextHeight("9"), 13);
}

TEST_F(Controls, PopupMenuOpenedByARightClickKnowsItsControl) {
    auto form = make_form<Form>("Ttest_popup");
    auto* menu = form->add<PopupMenu>("macro_param_popup");
    auto* deflt = menu->add_item("macro_deflt", "Default");
    for (int i = 0; i < 3; ++i) menu->add_item()->Visible = false;
    auto* edit = form->add<Edit>("Edit1");
    edit->PopupMenu = menu;
    int popups = 0;
    menu->OnPopup = [&](Component&) { ++popups; };
    MenuItem* clicked = nullptr;
    deflt->OnClick = [&](Component& sender) { clicked = dynamic_cast<MenuItem*>(&sender); };

    edit->mouse_down(MouseButton::right, 3, 4);
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(menu->PopupComponent, edit);
    EXPECT_EQ(&form->find<MenuItem>("macro_deflt"), deflt);
    EXPECT_EQ(menu->visible_items().size(), 1u);
    EXPECT_EQ(menu->item(2)->MenuIndex(), 2);
    deflt->click();
    EXPECT_EQ(clicked, deflt);
    EXPECT_THROW(menu->item(1)->click(), FormError);  // hidden
}

TEST_F(Controls, TimerFiresThroughTheWindowLayerAndStopsWhenDisabled) {
    auto form = make_form<Form>("Ttest_timer");
    auto* timer = form->add<Timer>("timer");
    int ticks = 0;
    timer->OnTimer = [&](Component&) {
        if (++ticks == 3) timer->set_enabled(false);
    };
    timer->set_interval(5);
    ASSERT_TRUE(timer->armed());
    const bool done = window::run_nested_loop_for([&] { return ticks >= 3; }, 10000);
    ASSERT_TRUE(done) << "the timer did not fire three times";
    EXPECT_FALSE(timer->armed());
    window::process_messages();
    EXPECT_EQ(ticks, 3);

    timer->set_interval(0);
    timer->set_enabled(true);
    EXPECT_FALSE(timer->armed());  // interval 0 never runs
}

TEST_F(Controls, ProgressStatusAndImageList) {
    auto form = make_form<Form>("Ttest_misc");
    auto* bar = form->add<ProgressBar>("config_bar");
    bar->Max = 20;
    bar->Step = 10;
    bar->StepIt();
    bar->StepIt();
    EXPECT_EQ(bar->Position, 20);
    bar->StepIt();
    EXPECT_EQ(bar->Position, 10);  // wrapped past Max

    auto* images = form->add<ImageList>("images");
    images->Width = 70;
    images->Height = 70;
    EXPECT_EQ(images->add(Image{70, 70, {}}), 0);
    EXPECT_EQ(images->image(0).pixels.size(), 4900u);
    EXPECT_THROW(images->add(Image{16, 16, {}}), FormError);

    // Overlays name images of the list by number, from 1; what was never named has none.
    images->add(Image{70, 70, {}});
    images->set_overlay(2, 1);
    EXPECT_EQ(images->overlay_image(2), 1);
    EXPECT_EQ(images->overlay_image(1), -1);
    EXPECT_EQ(images->overlay_image(3), -1);
    EXPECT_THROW(images->set_overlay(0, 1), FormError);
    images->clear();
    EXPECT_EQ(images->overlay_image(2), -1);
}

TEST_F(Controls, MenusAndImageListsAreReachedByTheirHandlesWhileTheyExist) {
    MenuHandle menu_handle = 0;
    ImageListHandle images_handle = 0;
    {
        auto form = make_form<Form>("Ttest_handles");
        auto* menu = form->add<PopupMenu>("menu");
        menu->add_item("first", "Reset Zor");
        menu->add_item("second", "Task Weaver")->Visible = false;
        auto* images = form->add<ImageList>("images");
        images->Width = 70;
        images->Height = 70;
        images->add(Image{70, 70, {}});
        menu_handle = menu->handle();
        images_handle = images->handle();
        EXPECT_NE(menu_handle, 0u);
        EXPECT_NE(menu_handle, images_handle);
        EXPECT_EQ(find_menu(menu_handle), menu);
        EXPECT_EQ(find_menu(images_handle), nullptr);  // an image list is no menu
        EXPECT_EQ(find_image_list(images_handle), images);

        // Positions count the hidden item; only the command id is set.
        EXPECT_EQ(get_menu_item_count(menu_handle), 2);
        EXPECT_EQ(get_menu_item_id(menu_handle, 1), 0);
        EXPECT_TRUE(set_menu_item_id(menu_handle, 1, 14996));
        EXPECT_EQ(get_menu_item_id(menu_handle, 1), 14996);
        EXPECT_EQ(get_menu_item_text(menu_handle, 1), "Task Weaver");
        EXPECT_FALSE(menu->item(1)->Visible);
        EXPECT_FALSE(set_menu_item_id(menu_handle, 2, 1));
        EXPECT_EQ(get_menu_item_id(menu_handle, -1), -1);
        EXPECT_EQ(get_menu_item_text(menu_handle, 2), "");

        int width = 0, height = 0;
        EXPECT_TRUE(get_image_size(images_handle, width, height));
        EXPECT_EQ(width, 70);
        EXPECT_EQ(height, 70);
        EXPECT_EQ(get_image_count(images_handle), 1);
        ASSERT_NE(get_image(images_handle, 0), nullptr);
        EXPECT_EQ(get_image(images_handle, 0)->pixels.size(), 4900u);
        EXPECT_EQ(get_image(images_handle, 1), nullptr);
    }
    // Gone with the form: the handles find nothing and are not given out again.
    EXPECT_EQ(find_menu(menu_handle), nullptr);
    EXPECT_EQ(get_menu_item_count(menu_handle), -1);
    EXPECT_EQ(get_menu_item_id(menu_handle, 0), -1);
    EXPECT_FALSE(set_menu_item_id(menu_handle, 0, 1));
    EXPECT_EQ(get_image_count(images_handle), -1);
    int width = 0, height = 0;
    EXPECT_FALSE(get_image_size(images_handle, width, height));
    auto again = make_form<Form>("Ttest_handles");
    EXPECT_GT(again->add<PopupMenu>("menu")->handle(), images_handle);
}

TEST_F(Controls, TreeViewSelectionAndDeletion) {
    auto form = make_form<Form>("Ttest_tree");
    auto* tree = form->add<TreeView>("tree");
    TreeNode* root = tree->add(nullptr, "Desktop");
    TreeNode* child = tree->add(root, "home");
    TreeNode* grandchild = tree->add(child, "user");
    EXPECT_EQ(tree->count(), 3);
    EXPECT_EQ(grandchild->level(), 2);
    EXPECT_TRUE(root->HasChildren);

    TreeNode* changed = nullptr;
    tree->OnChange = [&](Component&, TreeNode* node) { changed = node; };
    tree->select(grandchild);
    EXPECT_EQ(changed, grandchild);

    bool refuse = true;
    tree->OnExpanding = [&](Component&, TreeNode*, bool& allow) { allow = !refuse; };
    tree->expand(root);
    EXPECT_FALSE(root->Expanded);
    refuse = false;
    tree->expand(root);
    EXPECT_TRUE(root->Expanded);

    std::vector<std::string> deleted;
    tree->OnDeletion = [&](Component&, TreeNode* node) { deleted.push_back(node->Text); };
    tree->erase(child);
    EXPECT_EQ(deleted, (std::vector<std::string>{"user", "home"}));
    EXPECT_EQ(tree->Selected, nullptr);
    EXPECT_FALSE(root->HasChildren);
}

TEST_F(Controls, ListViewSelectReportsEveryChangedItem) {
    auto form = make_form<Form>("Ttest_listview");
    auto* view = form->add<ListView>("view");
    view->add("a");
    view->add("b").SubItems.add("detail");
    std::vector<std::pair<int, bool>> changes;
    view->OnSelectItem = [&](Component&, int i, bool s) { changes.emplace_back(i, s); };
    view->select(0);
    view->select(1);
    EXPECT_EQ(changes, (std::vector<std::pair<int, bool>>{{0, true}, {0, false}, {1, true}}));
    EXPECT_EQ(view->selected_index(), 1);
}

TEST_F(Controls, HintsPassThroughTheApplicationsHandler) {
    auto form = make_form<Form>("Ttest_hint");
    auto* box = form->add<ListBox>("method_box");
    box->Hint = "INJECT";
    box->ShowHint = true;
    application().OnShowHint = [](HintInfo& info) {
        info.cursor_rect = {0, info.cursor_pos.y - 8, 100, info.cursor_pos.y + 8};
        info.hide_timeout = 100000;
    };
    HintInfo info = application().show_hint(*box, {10, 30});
    EXPECT_TRUE(info.can_show);
    EXPECT_EQ(info.hint, "INJECT");
    EXPECT_EQ(info.cursor_rect, (Rect{0, 22, 100, 38}));
    EXPECT_EQ(info.hide_timeout, 100000);
}

class Limited : public Form {
  public:
    Point min_track_size() const override { return {300, 200}; }
};

TEST_F(Controls, APersonsResizeGivesTheFormItsSizeWithinItsLimitsAndFiresOnResize) {
    auto form = make_form<Limited>();
    form->Width = 400;
    form->Height = 300;
    form->ClientWidth = 392;
    form->ClientHeight = 273;
    int resized = 0;
    form->OnResize = [&](Component&) { ++resized; };
    form->resize_by_person(500, 100);
    EXPECT_EQ(form->Width, 500);
    EXPECT_EQ(form->Height, 200);
    EXPECT_EQ(form->ClientWidth, 492);
    EXPECT_EQ(form->ClientHeight, 173);
    EXPECT_EQ(resized, 1);
}

TEST_F(Controls, AResizedFormPutsItsStatusBarAtTheBottomBeforeItsOnResize) {
    auto form = make_form<Limited>();
    form->Width = form->ClientWidth = 400;
    form->Height = form->ClientHeight = 300;
    auto* bar = form->add<StatusBar>("bar");
    bar->SetBounds(0, 281, 400, 19);
    auto* panel = form->add<Panel>("panel");
    panel->SetBounds(10, 20, 30, 40);
    Rect bar_seen;
    form->OnResize = [&](Component&) { bar_seen = bar->BoundsRect(); };

    form->resize_by_person(640, 480);
    EXPECT_EQ(bar_seen, (Rect{0, 461, 640, 480})) << "the whole width, at the bottom, as OnResize sees it";
    EXPECT_EQ(panel->BoundsRect(), (Rect{10, 20, 40, 60})) << "a control without alignment stays";

    panel->Align = Align::top;
    form->resize_by_person(500, 250);
    EXPECT_EQ(bar->BoundsRect(), (Rect{0, 231, 500, 250})) << "the form's least height is 200, 250 is kept";
    EXPECT_EQ(panel->BoundsRect(), (Rect{0, 0, 500, 40}));
}

}  // namespace
}  // namespace platform::forms
