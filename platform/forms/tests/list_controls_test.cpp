#include <gtest/gtest.h>

#include "platform/forms/tests/test_support.h"

namespace platform::forms {
namespace {

using ListControls = testing::FormsTest;

struct ComboForm {
    FormPtr<Form> form = make_form<Form>("Ttest_combo");
    ComboBox* box = form->add<ComboBox>("box");
    int changes = 0;
    ComboForm() {
        box->OnChange = [this](Component&) { ++changes; };
    }
};

TEST_F(ListControls, SortedComboKeepsItemsOrderedAndTheSelectionOnItsItem) {
    ComboForm f;
    f.box->Style = ComboStyle::drop_down_list;
    f.box->Sorted = true;
    f.box->Items.add("Method_B");
    f.box->Items.add("method_d");
    f.box->ItemIndex = 1;  // method_d
    f.box->Items.add("Method_A");
    f.box->Items.add("method_c");
    EXPECT_EQ(f.box->Items.strings(),
              (std::vector<std::string>{"Method_A", "Method_B", "method_c", "method_d"}));
    EXPECT_EQ(f.box->ItemIndex, 3);
    EXPECT_EQ(f.box->text(), "method_d");

    f.box->Items.erase(0);  // in front of the selection
    EXPECT_EQ(f.box->ItemIndex, 2);
    f.box->Items.erase(2);  // the selected item itself
    EXPECT_EQ(f.box->ItemIndex, -1);
    EXPECT_EQ(f.box->text(), "");
    EXPECT_EQ(f.changes, 0);  // code changed it, not a person
}

TEST_F(ListControls, ComboSelectionByAPersonFiresOnChangeOnlyWhenItChanges) {
    ComboForm f;
    f.box->Style = ComboStyle::drop_down_list;
    for (const char* s : {"COM1", "COM3"}) f.box->Items.add(s);
    f.box->select(1);
    f.box->select(1);
    EXPECT_EQ(f.changes, 1);
    EXPECT_EQ(f.box->text(), "COM3");
    EXPECT_THROW(f.box->select(2), FormError);
    EXPECT_THROW(f.box->type_text("COM9"), FormError);  // a drop-down list takes no typing

    // Code setting the text of a drop-down list selects an item without regard to case.
    f.box->set_text("com1");
    EXPECT_EQ(f.box->ItemIndex, 0);
    f.box->set_text("COM7");
    EXPECT_EQ(f.box->ItemIndex, -1);
    EXPECT_EQ(f.box->text(), "");

    f.box->Items.clear();
    EXPECT_EQ(f.box->ItemIndex, -1);
}

TEST_F(ListControls, DropDownComboShowsTypedTextAndSelectsOnlyAnExactMatch) {
    ComboForm f;
    f.box->Style = ComboStyle::drop_down;
    f.box->Items.add("SL.volume");
    f.box->Items.add("SL.tray");
    f.box->type_text("12.5");
    EXPECT_EQ(f.box->text(), "12.5");
    EXPECT_EQ(f.box->ItemIndex, -1);
    EXPECT_EQ(f.changes, 1);
    f.box->type_text("SL.tray");
    EXPECT_EQ(f.box->ItemIndex, 1);
    f.box->set_text("sl.tray");
    EXPECT_EQ(f.box->ItemIndex, -1);
    EXPECT_EQ(f.box->text(), "sl.tray");

    // Code dropping the selection empties the shown text.
    f.box->select(0);
    f.box->ItemIndex = -1;
    EXPECT_EQ(f.box->text(), "");
    // Adding items leaves typed text alone.
    f.box->set_text("7");
    f.box->Items.add("other");
    EXPECT_EQ(f.box->text(), "7");
}

TEST_F(ListControls, ListBoxSelectionFollowsItsItemAndFindsItemsByPosition) {
    auto form = make_form<Form>("Ttest_list");
    auto* list = form->add<ListBox>("method_box");
    int clicks = 0;
    list->OnClick = [&](Component&) { ++clicks; };
    for (const char* s : {"01 INJECT", "02 WASH", "03 WAIT"}) list->Items.add(s);
    list->select(1);
    EXPECT_EQ(clicks, 1);
    list->Items.insert(0, "00 ENTRY");
    EXPECT_EQ(list->ItemIndex, 2);
    EXPECT_EQ(list->selected_text(), "02 WASH");

    list->ItemHeight = 13;
    list->TopIndex = 1;
    EXPECT_EQ(list->ItemAtPos({5, 0}, true), 1);
    EXPECT_EQ(list->ItemAtPos({5, 27}, true), 3);
    EXPECT_EQ(list->ItemAtPos({5, 40}, true), -1);
    EXPECT_EQ(list->ItemAtPos({5, 40}, false), 4);

    list->Items.clear();
    EXPECT_EQ(list->ItemIndex, -1);
    EXPECT_EQ(list->selected_text(), "");
}

TEST_F(ListControls, MultiSelectListKeepsSelectedFlagsPerItem) {
    auto form = make_form<Form>("Ttest_multi");
    auto* list = form->add<ListBox>("list");
    list->MultiSelect = true;
    for (const char* s : {"a", "b", "c"}) list->Items.add(s);
    list->set_selected(0, true);
    list->set_selected(2, true);
    EXPECT_EQ(list->selected_count(), 2);
    list->Items.erase(0);
    EXPECT_FALSE(list->selected(0));
    EXPECT_TRUE(list->selected(1));
    list->select(0);  // a plain click selects only that one
    EXPECT_EQ(list->selected_count(), 1);
    EXPECT_TRUE(list->selected(0));
}

}  // namespace
}  // namespace platform::forms
