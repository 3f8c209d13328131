#include "utilities/form_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/forms/controls.h"
#include "platform/registry/registry.h"
#include "utilities/file_search.h"
#include "utilities/settings.h"
#include "utilities/tests/temp_store.h"

namespace {

namespace forms = platform::forms;
namespace reg = platform::registry;
using putils_test::TempFolder;

std::vector<std::string> items_of(const forms::StringList& items) {
    return items.strings();
}

TEST(LimitHelpers, LimitIntAndMinReal) {
    EXPECT_EQ(putils::limit_int(5, 1, 3), 3);
    EXPECT_EQ(putils::limit_int(0, 1, 3), 1);
    EXPECT_EQ(putils::limit_int(2, 1, 3), 2);
    EXPECT_EQ(putils::min_real(2.0, 1.5), 1.5);
    EXPECT_EQ(putils::min_real(1.5, 2.0), 1.5);
    EXPECT_TRUE(std::signbit(putils::min_real(0.0, -0.0))) << "the second when they are equal";
}

TEST(FileBaseName, DropsFolderAndEverythingFromTheFirstPoint) {
    EXPECT_EQ(putils::file_base_name("/data/zor/a.b.PME"), "a");
    EXPECT_EQ(putils::file_base_name("Wash Needle.pma"), "Wash Needle");
    EXPECT_EQ(putils::file_base_name("C:\\Zor\\Methods\\inject.PME"), "inject");
    EXPECT_EQ(putils::file_base_name("/data/zor/"), "");
    EXPECT_EQ(putils::file_base_name("plain"), "plain");
}

class ComboHelpers : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* item : {"Tray1", "Tray2", "Rack"}) box.Items.add(item);
    }
    forms::ComboBox box;
};

TEST_F(ComboHelpers, SelectionRules) {
    EXPECT_EQ(putils::combo_text(box), "") << "nothing selected";
    putils::select_combo_item(box, "TRAY2");
    EXPECT_EQ(box.ItemIndex, 1) << "letter case does not matter";
    EXPECT_EQ(putils::combo_text(box), "Tray2");
    putils::select_combo_item(box, "Tray9");
    EXPECT_EQ(box.ItemIndex, 1) << "no equal item: the selection stays";
    box.Items.add("tray1");
    putils::select_combo_item(box, "tray1");
    EXPECT_EQ(box.ItemIndex, 0) << "the first equal item";

    forms::ComboBox empty;
    empty.ItemIndex = 0;
    EXPECT_EQ(putils::combo_text(empty), "");
}

TEST_F(ComboHelpers, ContainsAddUniqueDelete) {
    EXPECT_TRUE(putils::combo_contains(box, "rack"));
    EXPECT_FALSE(putils::combo_contains(box, "Rack "));
    putils::combo_add_unique(box, "RACK");
    putils::combo_add_unique(box, "Tray3");
    EXPECT_EQ(items_of(box.Items), (std::vector<std::string>{"Tray1", "Tray2", "Rack", "Tray3"}));
    putils::combo_delete_item("tray2", box);
    putils::combo_delete_item("Nothing", box);
    EXPECT_EQ(items_of(box.Items), (std::vector<std::string>{"Tray1", "Rack", "Tray3"}));
}

class FileListHelpers : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"beta.PME", "Alpha.pme", "gamma.b.PME", "notes.txt"}) {
            std::ofstream(folder.file(name)) << "x";
        }
        std::filesystem::create_directory(folder.file("old.PME"));  // folders count as entries
        mask = folder.file("*.PME");
    }
    TempFolder folder;
    std::string mask;
};

TEST_F(FileListHelpers, FindFilesMatchesEveryEntryWithoutCaseInNameOrder) {
    EXPECT_EQ(putils::find_files(mask),
              (std::vector<std::string>{"Alpha.pme", "beta.PME", "gamma.b.PME", "old.PME"}));
    EXPECT_EQ(putils::find_files(folder.file("*.*")).size(), 5u);
    EXPECT_EQ(putils::find_files(folder.file("b???.pme")), std::vector<std::string>{"beta.PME"});
    EXPECT_TRUE(putils::find_files(folder.file("missing/*.PME")).empty());
}

TEST_F(FileListHelpers, FillComboWithAnEmptySelectionEndsWithNothingSelected) {
    forms::ComboBox box;
    box.Items.add("stale");
    putils::fill_combo_with_files(mask, "", box);
    EXPECT_EQ(items_of(box.Items), (std::vector<std::string>{"Alpha", "beta", "gamma", "old"}));
    EXPECT_EQ(box.ItemIndex, -1);
}

TEST_F(FileListHelpers, FillComboKeepsTheSelectionOrFallsBackToItemZero) {
    forms::ComboBox box;
    box.Items.add("BETA");
    box.ItemIndex = 0;
    putils::fill_combo_with_files(mask, "", box);
    EXPECT_EQ(putils::combo_text(box), "beta");

    box.Items.clear();
    box.Items.add("gone");
    box.ItemIndex = 0;
    putils::fill_combo_with_files(mask, "", box);
    EXPECT_EQ(box.ItemIndex, 0);
    EXPECT_EQ(putils::combo_text(box), "Alpha");
}

TEST_F(FileListHelpers, FillComboAddsTheExtraTextOnce) {
    forms::ComboBox box;
    putils::fill_combo_with_files(mask, "ALPHA", box);
    EXPECT_EQ(box.Items.count(), 4);
    putils::fill_combo_with_files(mask, "new method", box);
    EXPECT_EQ(box.Items.count(), 5);
    EXPECT_EQ(box.Items[4], "new method");
    EXPECT_EQ(box.ItemIndex, -1);
}

TEST_F(FileListHelpers, RefillKeepsTheSelectedTextEvenWhenItsFileIsGone) {
    forms::ComboBox box;
    putils::fill_combo_with_files(mask, "", box);
    putils::select_combo_item(box, "beta");
    std::filesystem::remove(folder.file("beta.PME"));
    putils::refill_combo_with_files(mask, box);
    EXPECT_EQ(putils::combo_text(box), "beta");
    EXPECT_EQ(items_of(box.Items), (std::vector<std::string>{"Alpha", "gamma", "old", "beta"}));
}

TEST_F(FileListHelpers, FillListSelectsItemZero) {
    forms::ListBox list;
    list.Items.add("stale");
    putils::fill_list_with_files(mask, list);
    EXPECT_EQ(items_of(list.Items), (std::vector<std::string>{"Alpha", "beta", "gamma", "old"}));
    EXPECT_EQ(list.ItemIndex, 0);

    putils::fill_list_with_files(folder.file("*.pma"), list);
    EXPECT_TRUE(list.Items.empty());
    EXPECT_EQ(list.ItemIndex, -1) << "no items, nothing to select";
}

TEST(FindControl, DirectControlsByExactName) {
    forms::ScrollBox box;
    auto* row = box.add<forms::Edit>("Volume_edit");
    auto* panel = box.add<forms::Panel>("row_panel");
    panel->add<forms::Edit>("Inner_edit");
    EXPECT_EQ(putils::find_control("Volume_edit", box), row);
    EXPECT_EQ(putils::find_control("row_panel", box), panel);
    EXPECT_EQ(putils::find_control("volume_edit", box), nullptr) << "letter case counts";
    EXPECT_EQ(putils::find_control("Inner_edit", box), nullptr) << "direct controls only";
}

class PopupHelpers : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 4; ++i) {
            forms::MenuItem* item = menu.add_item();
            item->Visible = i < 2;
        }
        menu.item(0)->Caption = "Tray1";
        menu.item(1)->Caption = "Tray2";
    }
    forms::PopupMenu menu;
};

TEST_F(PopupHelpers, AddCaptionFillsTheNextHiddenItem) {
    EXPECT_FALSE(putils::popup_add_caption(menu, "TRAY2", 2));
    EXPECT_FALSE(menu.item(2)->Visible);
    EXPECT_EQ(menu.item(2)->Caption, "");

    EXPECT_TRUE(putils::popup_add_caption(menu, "Rack", 2));
    EXPECT_TRUE(menu.item(2)->Visible);
    EXPECT_EQ(menu.item(2)->Caption, "Rack");

    EXPECT_FALSE(putils::popup_add_caption(menu, "More", 4)) << "no item 4 to fill";
}

TEST_F(PopupHelpers, ItemToEditSetsTheEditsText) {
    forms::Edit edit;
    int changes = 0;
    edit.OnChange = [&changes](forms::Component&) { ++changes; };
    menu.PopupComponent = &edit;
    putils::popup_item_to_edit(menu, *menu.item(1));
    EXPECT_EQ(edit.Text, "Tray2");
    EXPECT_EQ(changes, 1);
    putils::popup_item_to_edit(menu, *menu.item(1));
    EXPECT_EQ(changes, 1) << "same text, no change";

    forms::ComboBox not_an_edit;
    menu.PopupComponent = &not_an_edit;
    EXPECT_NO_THROW(putils::popup_item_to_edit(menu, *menu.item(0)));
    menu.PopupComponent = nullptr;
    EXPECT_NO_THROW(putils::popup_item_to_edit(menu, *menu.item(0)));
}

TEST(FillPaintBox, FillDrawsTheWholeBoxWithTheColour) {
    forms::PaintBox box;
    box.Width = 24;
    box.Height = 16;
    box.Canvas.Pen.Color = forms::clGray;
    putils::fill_paint_box(box, forms::clRed);
    const auto rectangles = box.Canvas.calls_of(forms::CanvasOp::rectangle);
    ASSERT_EQ(rectangles.size(), 1u);
    EXPECT_EQ(rectangles[0].points, (std::vector<forms::Point>{{0, 0}, {24, 16}}));
    EXPECT_EQ(rectangles[0].brush.Color, forms::clRed);
    EXPECT_EQ(rectangles[0].pen.Color, forms::clGray);
}

class FormPlacement : public putils_test::FreshProfile {
  protected:
    void SetUp() override {
        FreshProfile::SetUp();
        forms::reset_forms_state_for_tests();
        forms::screen().Width = 1280;
        forms::screen().Height = 1024;
    }
    void TearDown() override {
        forms::reset_forms_state_for_tests();
        FreshProfile::TearDown();
    }
};

TEST_F(FormPlacement, PlaceFormOnAFreshProfileWritesThePointAndCentresOnTheScreen) {
    forms::Form form("Tzor_lib");
    form.Width = 592;
    form.Height = 472;
    putils::place_form(form);
    const std::string key = putils::instance_key();
    const auto left = reg::query_value(reg::HKEY_CURRENT_USER, key, "Window Left");
    const auto top = reg::query_value(reg::HKEY_CURRENT_USER, key, "Window Top");
    ASSERT_TRUE(left && top);
    EXPECT_EQ(left->integer, 640);
    EXPECT_EQ(top->integer, 512);
    EXPECT_EQ(form.Left, 640 - 296);
    EXPECT_EQ(form.Top, 512 - 236);
}

TEST_F(FormPlacement, PlaceFormUsesTheStoredPoint) {
    putils::reg_write_int("Window Left", 300);
    putils::reg_write_int("Window Top", 201);
    forms::Form form("Tconfig_form");
    form.Width = 101;
    form.Height = 51;
    putils::place_form(form);
    EXPECT_EQ(form.Left, 300 - 50);
    EXPECT_EQ(form.Top, 201 - 25);
}

TEST_F(FormPlacement, CenterFormUsesTheScreen) {
    forms::Form form("Ttray_form");
    form.Width = 401;
    form.Height = 300;
    putils::center_form(form);
    EXPECT_EQ(form.Left, (1280 - 401) / 2);
    EXPECT_EQ(form.Top, (1024 - 300) / 2);
    EXPECT_FALSE(reg::key_exists(reg::HKEY_CURRENT_USER, putils::instance_key()))
        << "centring reads no setting";
}

}  // namespace
