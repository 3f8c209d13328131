// A form embedded in a foreign window, its help requests and its tab order.
#include <gtest/gtest.h>

#include "platform/forms/controls.h"
#include "platform/forms/help_message.h"
#include "platform/forms/tab_order.h"
#include "platform/forms/tests/test_support.h"

namespace platform::forms {
namespace {

using testing::FormsTest;

class EmbeddedForm : public Form {
  public:
    explicit EmbeddedForm(window::Handle host) : Form("TEmbedded_Editor", host) {
        BorderStyle = FormBorderStyle::none;
        BorderIcons.help = true;
        rows = add<ScrollBox>("rows");
        first = add<Edit>("first", rows);
        second = add<Edit>("second", rows);
        list = add<ListBox>("list");
        list->TabStop = false;
        third = add<Edit>("third");
        first->TabOrder = 1;
        second->TabOrder = 0;
        third->TabOrder = 2;
        rows->TabOrder = 0;
        on_message(WM_HELP, [this](FormMessage& m) {
            const HelpInfo* info = help_info_of(m.lparam);
            help_types.push_back(info ? info->iContextType : -1);
            help_ids.push_back(info ? info->iCtrlId : -1);
            m.result = 1;
        });
        on_message(1425, [this](FormMessage& m) { status.push_back(static_cast<int>(m.wparam)); });
    }
    ScrollBox* rows;
    Edit *first, *second, *third;
    ListBox* list;
    std::vector<int> help_types, help_ids, status;
};

window::Handle make_host_window() {
    return window::create_window(
        "THostView", 0,
        [](window::Handle, std::uint32_t, window::WParam, window::LParam) { return window::Result{0}; });
}

TEST_F(FormsTest, a_form_embedded_in_a_foreign_window_is_its_child_and_gets_class_broadcasts) {
    const window::Handle host = make_host_window();
    auto form = make_form<EmbeddedForm>(host);
    EXPECT_EQ(window::parent_of(form->handle()), host);
    EXPECT_EQ(window::children_of(host), std::vector<window::Handle>{form->handle()});
    EXPECT_EQ(window::find_windows_of_class("tembedded_editor"), std::vector<window::Handle>{form->handle()})
        << "found below the host, class compared without regard to case";

    window::broadcast_to_class("TEmbedded_Editor", 1425, 1, 0);
    application().process_messages();
    EXPECT_EQ(form->status, std::vector<int>{1});
    form.reset();
    EXPECT_TRUE(window::children_of(host).empty()) << "the form's window goes with the form";
    window::destroy_window(host);
}

TEST_F(FormsTest, the_scroll_box_finds_its_own_controls_by_exact_name) {
    auto form = make_form<EmbeddedForm>(0);
    EXPECT_EQ(form->rows->find_child<Edit>("first"), form->first);
    EXPECT_EQ(form->rows->find_child<Edit>("First"), nullptr) << "letter case counts";
    EXPECT_EQ(form->rows->find_child<Edit>("third"), nullptr) << "only its own children";
    EXPECT_THROW(form->rows->find_child<ComboBox>("first"), FormError);
}

TEST_F(FormsTest, f1_sends_wm_help_with_the_help_info_to_the_form) {
    auto form = make_form<EmbeddedForm>(0);
    form->Show();
    form->third->Tag = 42;
    EXPECT_EQ(press_f1(*form->third), 1);
    EXPECT_EQ(press_f1(*form), 1);
    EXPECT_EQ(form->help_types, (std::vector<int>{HELPINFO_WINDOW, HELPINFO_WINDOW}));
    EXPECT_EQ(form->help_ids, (std::vector<int>{42, 0}));
    form->third->Visible = false;
    EXPECT_THROW(press_f1(*form->third), FormError);
}

TEST_F(FormsTest, tab_walks_the_controls_by_tab_order_depth_first_and_wraps) {
    auto form = make_form<EmbeddedForm>(0);
    form->Show();
    EXPECT_EQ(tab_order_children(*form->rows), (std::vector<Control*>{form->second, form->first}));
    EXPECT_EQ(tab_sequence(*form), (std::vector<Control*>{form->second, form->first, form->third}))
        << "the list box has no tab stop; the scroll box's edits come before the third";

    std::vector<std::string> exits;
    for (Edit* e : {form->first, form->second, form->third})
        e->OnExit = [&exits](Component& c) { exits.push_back(c.Name); };
    EXPECT_EQ(press_tab(*form), form->second);
    EXPECT_EQ(press_tab(*form), form->first);
    EXPECT_EQ(press_tab(*form), form->third);
    EXPECT_EQ(press_tab(*form), form->second) << "wraps round";
    EXPECT_EQ(press_tab(*form, true), form->third) << "Shift-Tab goes back";
    EXPECT_EQ(exits, (std::vector<std::string>{"second", "first", "third", "second"}));

    form->first->Enabled = false;
    form->third->Visible = false;
    EXPECT_EQ(tab_sequence(*form), std::vector<Control*>{form->second});
}

}  // namespace
}  // namespace platform::forms
