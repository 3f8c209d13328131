// The editor driven as a person drives it: choosing a template, clicking steps, typing values,
// the pop-up menu, changing the syringe; and its window in the host's view.
#include "plugin/method_editor.h"

#include "platform/forms/controls.h"
#include "plugin/tests/editor_fixture.h"
#include "utilities/settings.h"

namespace zorsetup_test {
namespace {

using namespace zorsetup;
using platform::forms::ComboBox;
using platform::forms::Edit;

TEST(StepNumberText, has_two_digits_at_least_and_a_blank) {
    EXPECT_EQ(step_number_text(1), "01 ");
    EXPECT_EQ(step_number_text(9), "09 ");
    EXPECT_EQ(step_number_text(10), "10 ");
    EXPECT_EQ(step_number_text(100), "100 ");
}

TEST_F(EditorTest, the_editor_is_a_borderless_child_of_the_host_view_and_the_current_editor) {
    const auto host =
        platform::window::create_window("THostView", 0,
                                        [](platform::window::Handle, std::uint32_t, platform::window::WParam,
                                           platform::window::LParam) { return platform::window::Result{0}; });
    Tmethod_editor& editor = open_editor(host);
    EXPECT_EQ(platform::window::parent_of(editor.handle()), host);
    EXPECT_EQ(platform::window::class_name(editor.handle()), "TMethod_Editor");
    EXPECT_EQ(editor.BorderStyle, platform::forms::FormBorderStyle::none);
    EXPECT_TRUE(editor.BorderIcons.help);
    EXPECT_EQ(editor.ClientWidth, 634);
    EXPECT_EQ(editor.ClientHeight, 413);
    EXPECT_EQ(current_editor(), &editor);
    editor_.reset();
    EXPECT_EQ(current_editor(), nullptr) << "nothing works on a freed editor";
    platform::window::destroy_window(host);
}

TEST_F(EditorTest, init_fills_the_boxes_and_leaves_the_special_macros_out) {
    write_demo_template();
    write_file("ERROR ENTRY.pma", {"WASH(Wash1,1)"});
    Tmethod_editor& editor = open_editor();
    EXPECT_EQ(editor.method_select_box->Items.strings(), (Lines{"Demo"}));
    EXPECT_EQ(editor.method_select_box->ItemIndex, -1) << "no template is chosen at start";
    EXPECT_EQ(editor.macros_of_method->Items.strings(),
              (Lines{"Flush", "Inject", "Load Sample", "Pause", "RESET", "Rinse Needle", "Wait For Start"}));
    EXPECT_EQ(editor.syringe_box->Items.strings(), (Lines{"10ul", "25ul", "100ul", "500ul"}));
    EXPECT_EQ(editor.syringe_box->ItemIndex, 0);
    for (int r = 0; r < parameter_rows; ++r) {
        EXPECT_FALSE(editor.param_caption(r)->Visible);
        EXPECT_FALSE(editor.param_edit(r)->Visible);
        EXPECT_FALSE(editor.param_combo(r)->Visible);
    }
    std::string method = "x";
    putils::reg_read_string("Method", "x", method);
    EXPECT_EQ(method, "");
    EXPECT_EQ(core::run_variables().sample_volume, 1.0);
    EXPECT_EQ(core::run_variables().sample_tray, "ABC");
    // The working lists are there and hidden; the test box lists the tab order of the rows,
    // then of the button above them.
    EXPECT_FALSE(editor.find<platform::forms::ListBox>("amalgamated_method").Visible);
    EXPECT_EQ(editor.test_box->Items[0], "Edit1 --> 0");
    EXPECT_EQ(editor.test_box->Items[1], "ComboBox1 --> 1");
    EXPECT_EQ(editor.test_box->Items.count(), 2 * parameter_rows + 1);
    EXPECT_EQ(editor.test_box->Items[2 * parameter_rows], "set_macro_defaults_button --> 60");
}

TEST_F(EditorTest, choosing_a_template_shows_its_steps_and_the_first_steps_rows) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    EXPECT_TRUE(messages().empty()) << testing::PrintToString(messages());
    EXPECT_EQ(shown_steps(), (Lines{"01 Rinse Needle", "02 Load Sample", "03 Pause", "04 Inject"}));
    EXPECT_EQ(steps(),
              (Lines{"Rinse Needle(Wash2,2)", "Load Sample(Tray1,5,2)", "Pause(90)", "Inject(Inj1)"}));
    EXPECT_EQ(editor.method_descrip_box->Lines.strings(), (Lines{"Demo injection", "second line"}));
    EXPECT_EQ(editor.syringe_box->text(), "25ul");
    EXPECT_EQ(editor.current_template(), "Demo");
    EXPECT_TRUE(editor.template_clean());
    EXPECT_EQ(editor.selected_step(), 0);
    EXPECT_EQ(editor.param_label->Caption, "01 Rinse Needle");
    EXPECT_EQ(editor.param_caption(0)->Caption, "Station");
    EXPECT_TRUE(editor.param_combo(0)->Visible);
    EXPECT_FALSE(editor.param_edit(0)->Visible);
    EXPECT_EQ(editor.param_combo(0)->Items.strings(), (Lines{"Wash1", "Wash2", "Waste"}));
    EXPECT_EQ(editor.param_combo(0)->text(), "Wash2");
    EXPECT_EQ(editor.param_combo(0)->Hint, "WASH_STATION");
    EXPECT_EQ(editor.param_caption(1)->Caption, "Times");
    EXPECT_EQ(editor.param_edit(1)->Text, "2");
    EXPECT_EQ(editor.param_edit(1)->Hint, "Range: 1 to 10\r\nDefault: 2");
    EXPECT_FALSE(editor.param_caption(2)->Visible);
    EXPECT_EQ(editor.macros_of_method->Hint,
              " Rinses the needle in a wash station, one cycle per pass.\r\n Station is where to rinse, "
              "Times how many passes.");

    click_step(1);
    EXPECT_EQ(editor.param_label->Caption, "02 Load Sample");
    EXPECT_EQ(editor.param_caption(1)->Caption, "Volume  (" + ul + ")");
    EXPECT_EQ(editor.param_caption(2)->Caption, "Speed  (" + ul + "/s)");
    EXPECT_EQ(editor.param_edit(1)->Hint, "Range: 0 to 25\r\nDefault: SL.volume")
        << "SYR.Volume of the 25ul syringe";
    EXPECT_EQ(editor.param_combo(0)->Items.strings(),
              (Lines{"Tray1", "Tray2", "Tray3", "Tray4", "Tray5", "SL.tray"}));
    EXPECT_EQ(editor.param_combo(0)->Hint, "TRAY");
    std::string method;
    putils::reg_read_string("Method", "", method);
    EXPECT_EQ(method, "Demo");
}

TEST_F(EditorTest, a_time_is_typed_as_m_ss_stored_in_seconds_and_shown_as_m_ss) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    click_step(2);
    EXPECT_EQ(editor.param_caption(0)->Caption, "Time  (m:ss)");
    EXPECT_EQ(editor.param_edit(0)->Text, "1:30") << "a stored 90 shows as m:ss";
    type_row(0, "2:05");
    leave_field();
    EXPECT_EQ(steps()[2], "Pause(125)");
    EXPECT_EQ(editor.param_edit(0)->Text, "2:05");
    EXPECT_TRUE(messages().empty()) << testing::PrintToString(messages());
}

TEST_F(EditorTest, a_time_with_a_signed_seconds_part_is_refused_like_any_invalid_value) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    click_step(2);
    for (const std::string typed : {"1:-5", "100:-5"}) {
        clear_messages();
        type_row(0, typed);
        leave_field();
        EXPECT_EQ(messages(), (Lines{"Parameter \"Time\" : " + typed + " is not a valid value."}));
        EXPECT_EQ(steps()[2], "Pause(90)");
    }
    EXPECT_EQ(editor.selected_step(), 2);
}

TEST_F(EditorTest, typed_numbers_and_expressions_are_committed_when_the_field_is_left) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    click_step(1);
    type_row(1, "SYR.Volume/2");
    leave_field();
    EXPECT_EQ(steps()[1], "Load Sample(Tray1,SYR.Volume/2,2)");
    type_row(2, "12.5");
    click_step(3);  // the list takes the click; the edit's commit comes first
    EXPECT_EQ(steps()[1], "Load Sample(Tray1,SYR.Volume/2,12.5)");
    EXPECT_EQ(editor.selected_step(), 3);
    EXPECT_TRUE(messages().empty()) << testing::PrintToString(messages());
}

TEST_F(EditorTest, an_empty_or_invalid_value_is_refused_and_the_user_stays_on_the_step) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    click_step(1);
    editor.param_edit(1)->Text.clear();
    click_step(3);
    EXPECT_EQ(messages(), (Lines{"Volume  (" + ul + ") is not specified"}));
    EXPECT_EQ(boxes_->boxes()[0].request.caption, "Error");
    EXPECT_EQ(editor.method_box->ItemIndex, 1) << "the selection jumps back";
    EXPECT_EQ(editor.selected_step(), 1);
    EXPECT_EQ(steps()[1], "Load Sample(Tray1,5,2)");

    clear_messages();
    type_row(1, "5 apples");
    leave_field();
    EXPECT_EQ(messages(), (Lines{"Parameter \"Volume\" : 5 apples is not a valid value."}));
    EXPECT_EQ(steps()[1], "Load Sample(Tray1,5,2)");
    clear_messages();
    type_row(1, "Tray1.Vial Volume");  // a unit that fits, but no syringe or run variable
    leave_field();
    EXPECT_EQ(messages().size(), 1u);
}

TEST_F(EditorTest, run_variables_come_from_the_popup_and_the_default_from_its_first_item) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    click_step(1);
    Edit* volume = editor.param_edit(1);
    ASSERT_EQ(volume->PopupMenu, editor.macro_param_popup);
    volume->SetFocus();
    volume->mouse_down(platform::forms::MouseButton::right, 3, 3);
    Lines captions;
    for (auto* item : editor.macro_param_popup->visible_items()) captions.push_back(item->Caption);
    EXPECT_EQ(captions, (Lines{"Default: SL.volume", "SL.volume2"})) << "the default is not offered twice";
    editor.macro_param_popup->item(1)->click();
    EXPECT_EQ(volume->Text, "SL.volume2");
    editor.macro_deflt->click();
    EXPECT_EQ(volume->Text, "SL.volume");
    editor.macro_param_popup->item(1)->click();
    leave_field();
    EXPECT_EQ(steps()[1], "Load Sample(Tray1,SL.volume2,2)");

    // On a plain number the default is its value; the run variables without a unit follow.
    click_step(0);
    editor.param_edit(1)->SetFocus();
    editor.param_edit(1)->mouse_down(platform::forms::MouseButton::right, 3, 3);
    captions.clear();
    for (auto* item : editor.macro_param_popup->visible_items()) captions.push_back(item->Caption);
    EXPECT_EQ(captions, (Lines{"Default: 2", "SL.index", "SL.injpervial", "user_index"}));
    editor.macro_param_popup->item(3)->click();
    leave_field();
    EXPECT_EQ(steps()[0], "Rinse Needle(Wash2,user_index)");
}

TEST_F(EditorTest, default_all_puts_every_number_row_back_to_its_default) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    click_step(1);
    editor.param_combo(0)->select(2);
    editor.param_edit(1)->Text = "3";
    editor.param_edit(2)->Text = "7";
    editor.set_macro_defaults_button->click();
    EXPECT_EQ(editor.param_edit(1)->Text, "SL.volume");
    EXPECT_EQ(editor.param_edit(2)->Text, "2");
    EXPECT_EQ(editor.param_combo(0)->text(), "Tray3") << "object rows keep their choice";
}

TEST_F(EditorTest, changing_the_syringe_pulls_plain_numbers_into_its_bounds_without_a_question) {
    write_template("Big", {}, "500ul",
                   {"Load Sample(Tray1,200,0.01)", "Load Sample(Tray2,SL.volume*100,2)", "Pause(90)"});
    Tmethod_editor& editor = open_editor();
    choose_template("Big");
    EXPECT_EQ(steps()[0], "Load Sample(Tray1,200,0.01)") << "nothing is checked at load";
    click_step(2);
    editor.syringe_box->select(editor.syringe_box->Items.index_of("10ul"));
    EXPECT_EQ(steps(),
              (Lines{"Load Sample(Tray1,10,0.1)", "Load Sample(Tray2,SL.volume*100,2)", "Pause(90)"}))
        << "above the maximum becomes SYR.Volume, below the minimum the minimum; an expression stays";
    EXPECT_TRUE(messages().empty()) << testing::PrintToString(messages());
    click_step(0);
    EXPECT_EQ(editor.param_edit(1)->Text, "10");
    EXPECT_EQ(editor.param_edit(2)->Text, "0.1");
}

TEST_F(EditorTest, the_rows_show_the_new_values_after_a_check_pulled_them_back) {
    write_template("Big", {}, "500ul", {"Load Sample(Tray1,200,2)"});
    Tmethod_editor& editor = open_editor();
    choose_template("Big");
    EXPECT_EQ(editor.param_edit(1)->Text, "200");
    editor.syringe_box->select(editor.syringe_box->Items.index_of("25ul"));
    EXPECT_EQ(editor.param_edit(1)->Text, "25");
}

TEST_F(EditorTest, surplus_values_are_dropped_but_a_step_without_its_macro_file_is_kept_whole) {
    write_template("Odd", {}, "25ul", {"Pause(90,7,8)", "Pause(4000)", "Vanished(1,2,3)"});
    write_file("Vanished.pma", {"// soon gone", "A ();1;0;10", "B ();1;0;10", "C ();1;0;10", "WAIT(A)"});
    Tmethod_editor& editor = open_editor();
    choose_template("Odd");
    ASSERT_TRUE(messages().empty()) << testing::PrintToString(messages());
    fs::remove(path("Vanished.pma"));
    editor.refill_macro_list();
    click_step(2);
    EXPECT_EQ(editor.param_label->Caption, "03 Vanished");
    EXPECT_FALSE(editor.param_caption(0)->Visible) << "no rows of another macro";
    click_step(0);
    EXPECT_EQ(steps(), (Lines{"Pause(90)", "Pause(3600)", "Vanished(1,2,3)"}));
}

TEST_F(EditorTest, an_object_row_lists_its_classes_objects_then_syr) {
    write_template("Flush", {}, "25ul", {"Flush(SYR,5)"});
    Tmethod_editor& editor = open_editor();
    choose_template("Flush");
    EXPECT_EQ(editor.param_combo(0)->Items.strings(), (Lines{"10ul", "25ul", "100ul", "500ul", "SYR"}));
    EXPECT_EQ(editor.param_combo(0)->text(), "SYR");
    EXPECT_EQ(editor.param_edit(1)->Hint, "Range: 1 to 25\r\nDefault: 5");
    editor.param_combo(0)->SetFocus();
    editor.param_combo(0)->select(1);
    leave_field();
    EXPECT_EQ(steps()[0], "Flush(25ul,5)");
}

TEST_F(EditorTest, a_configuration_from_the_driver_refills_the_object_rows) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    EXPECT_EQ(editor.param_combo(0)->text(), "Wash2");
    // The driver received a configuration without "Wash2" and broadcast its status message.
    Lines config = read_file("latest_zor.pol");
    std::erase(config, "WASH_STATION;Wash2;30000;2;Water");
    write_file("latest_zor.pol", config);
    platform::window::broadcast_to_class("TMethod_Editor", zor_status_message, 2, 0);
    platform::forms::application().process_messages();
    EXPECT_EQ(editor.param_combo(0)->Items.count(), 3) << "another instance's message is not ours";
    platform::window::broadcast_to_class("TMethod_Editor", zor_status_message, 1, 0);
    platform::forms::application().process_messages();
    EXPECT_EQ(editor.param_combo(0)->Items.strings(), (Lines{"Wash1", "Waste"}));
    EXPECT_EQ(editor.param_combo(0)->ItemIndex, 0) << "the vanished choice falls back to item 0";
}

TEST_F(EditorTest, step_hints_show_the_macros_comments_also_from_step_100_on) {
    Lines many;
    for (int i = 0; i < 101; ++i) many.push_back("Pause(90)");
    many.push_back("Rinse Needle(Wash1,1)");
    write_template("Long", {}, "25ul", many);
    Tmethod_editor& editor = open_editor();
    choose_template("Long");
    platform::forms::ListBox& box = *editor.method_box;
    EXPECT_EQ(box.Items[101], "102 Rinse Needle");
    box.TopIndex = 100;
    box.mouse_move(10, box.ItemHeight + 2);  // the line of step 102
    EXPECT_EQ(box.Hint,
              " Rinses the needle in a wash station, one cycle per pass.\r\n Station is where to rinse, "
              "Times how many passes.");
    EXPECT_EQ(platform::forms::application().HintHidePause, 100000);
    box.mouse_move(10, 5);
    EXPECT_EQ(box.Hint, " Waits before the next step.") << "the text behind \"//\"";
    box.mouse_move(10, 40 * box.ItemHeight);  // below the last line
    EXPECT_EQ(box.Hint, "");

    // The hint belongs to the line: it is shown for a band of 8 pixels around the mouse.
    box.mouse_move(10, 5);
    editor.activate();
    const auto info = platform::forms::application().show_hint(box, {10, 5});
    EXPECT_EQ(info.cursor_rect, (platform::forms::Rect{0, -3, box.Width, 13}));
    EXPECT_EQ(platform::forms::application().show_hint(*editor.param_edit(0), {1, 1}).hide_timeout, 9000);
}

TEST_F(EditorTest, deleting_a_step_selects_its_neighbour_or_nothing) {
    write_template("Three", {}, "25ul", {"Pause(1)", "Pause(2)", "Inject(Inj1)"});
    Tmethod_editor& editor = open_editor();
    choose_template("Three");
    editor.delete_macro_button->Visible = true;  // no code makes it visible; a test may
    click_step(2);
    editor.delete_macro_button->click();
    EXPECT_EQ(shown_steps(), (Lines{"01 Pause", "02 Pause"}));
    EXPECT_EQ(editor.method_box->ItemIndex, 1);
    EXPECT_EQ(editor.param_label->Caption, "02 Pause");
    editor.delete_macro_button->click();
    editor.delete_macro_button->click();
    EXPECT_TRUE(shown_steps().empty());
    EXPECT_EQ(editor.selected_step(), -1);
}

TEST_F(EditorTest, refresh_leaves_a_line_equal_apart_from_case_and_drops_the_surplus) {
    Tmethod_editor& editor = open_editor();
    editor.method_box->Items.add("01 pause");
    editor.method_box->Items.add("02 Old");
    editor.method_box->Items.add("03 Old");
    editor.current_method->Items.add("Pause(1)");
    editor.current_method->Items.add("Inject(Inj1)");
    editor.refresh_step_list();
    EXPECT_EQ(shown_steps(), (Lines{"01 pause", "02 Inject"}));
}

TEST_F(EditorTest, f1_opens_the_help_file_the_host_registry_names) {
    {
        platform::registry::Registry reg(platform::registry::HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.open_key("\\SOFTWARE\\Velorand\\Chromarq\\Global", true));
        reg.write_string("Chromarq Path", folder_);
        ASSERT_TRUE(reg.open_key("\\SOFTWARE\\Velorand\\Chromarq\\Devices\\ZOR", true));
        reg.write_string("HlpFName", "zor");
    }
    EXPECT_EQ(read_host_registry("\\Global", "Chromarq Path"), folder_);
    EXPECT_EQ(read_host_registry("\\Global", "Missing"), "");
    EXPECT_EQ(read_host_registry("\\Nowhere", "Chromarq Path"), "");

    Tmethod_editor& editor = open_editor();
    std::string opened;
    platform::help::set_opener([&](const std::string& file) { return opened = file, true; });
    platform::forms::press_f1(*editor.syringe_box);
    ASSERT_EQ(platform::help::help_requests().size(), 1u);
    const auto& request = platform::help::help_requests()[0];
    EXPECT_EQ(request.file, folder_ + "/system/programs/zor.hlp");
    EXPECT_EQ(request.command, 0x101u);
    EXPECT_EQ(request.data, "Contents");
    EXPECT_EQ(request.window, editor.handle());
    EXPECT_EQ(messages(),
              (Lines{"The help file \"" + folder_ + "/system/programs/zor.hlp\" does not exist."}));
    EXPECT_EQ(opened, "");

    clear_messages();
    fs::create_directories(path("system/programs"));
    write_file("system/programs/zor.hlp", {"help"});
    platform::forms::press_f1(editor);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(opened, folder_ + "/system/programs/zor.hlp");
    platform::help::set_opener(nullptr);
}

}  // namespace
}  // namespace zorsetup_test

namespace zorsetup_test {
namespace {

TEST_F(EditorTest, values_beyond_the_thirty_rows_are_kept_when_a_step_is_edited) {
    Lines macro{"// thirty-two numbers"};
    std::string step = "Many(";
    for (int k = 1; k <= 32; ++k) {
        macro.push_back("P" + std::to_string(k) + " ();" + std::to_string(k) + ";0;100");
        step += (k > 1 ? "," : "") + std::to_string(k);
    }
    macro.push_back("WAIT(P1)");
    write_file("Many.pma", macro);
    write_template("M", {}, "25ul", {step + ")", "Pause(5)"});
    zorsetup::Tmethod_editor& editor = open_editor();
    choose_template("M");
    EXPECT_TRUE(editor.param_edit(29)->Visible);
    EXPECT_EQ(editor.param_edit(29)->Text, "30");
    type_row(0, "50");
    leave_field();
    EXPECT_EQ(
        steps()[0],
        "Many(50,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32)");
    click_step(1);
    EXPECT_TRUE(messages().empty()) << testing::PrintToString(messages());
}

}  // namespace
}  // namespace zorsetup_test

namespace zorsetup_test {
namespace {

TEST_F(EditorTest, check_method_names_a_bad_declaration_and_bounds_it_cannot_evaluate) {
    write_file("Bad.pma", {"// bad", "Amount (" + ul + ");abc;0;10", "WAIT(1)"});
    write_template("T", {}, "25ul", {"Pause(5)", "Bad(3)", "Load Sample(Tray1,5,2)"});
    zorsetup::Tmethod_editor& editor = open_editor();
    choose_template("T");
    ASSERT_TRUE(messages().empty()) << testing::PrintToString(messages());
    type_row(0, "7");
    leave_field();
    EXPECT_EQ(messages(), (Lines{"Macro \"Bad\" parameter \"Amount (" + ul + ");abc;0;10\" is not valid"}));
    EXPECT_EQ(steps()[0], "Pause(7)") << "the steps before the stop are done";

    // Without a syringe, a bound on the syringe's volume cannot be evaluated.
    write_template("U", {}, "25ul", {"Load Sample(Tray1,5,2)"});
    editor.refill_template_list();
    choose_template("U");
    clear_messages();
    editor.syringe_box->ItemIndex = -1;
    type_row(1, "4");
    leave_field();
    EXPECT_EQ(messages(),
              (Lines{"Macro \"Load Sample\" parameter \"Volume\"syntax error in maximum:SYR.Volume"}));
}

// The bounds of the controls the layout moves, in the order of the form's layout rules.
Lines layout_of(const zorsetup::Tmethod_editor& editor) {
    Lines bounds;
    for (const platform::forms::Control* c : std::initializer_list<const platform::forms::Control*>{
             editor.status_bar, editor.GroupBox4, editor.method_box, editor.method_group_box,
             editor.param_group_box}) {
        bounds.push_back(c->Name + " " + std::to_string(c->Left) + "," + std::to_string(c->Top) + " " +
                         std::to_string(c->Width) + "x" + std::to_string(c->Height));
    }
    return bounds;
}

TEST_F(EditorTest, a_host_sizing_the_editor_grows_the_step_list_and_the_parameter_panel) {
    zorsetup::Tmethod_editor& editor = open_editor();
    const Lines designed{"status_bar 0,394 634x19", "GroupBox4 8,196 217x194", "method_box 8,16 201x162",
                         "method_group_box 232,0 393x390", "param_group_box 8,4 377x384"};
    EXPECT_EQ(layout_of(editor), designed);

    // Larger: the status bar keeps to the bottom; the list and the panel take the rest.
    editor.resize_by_person(900, 600);
    EXPECT_EQ(layout_of(editor),
              (Lines{"status_bar 0,581 900x19", "GroupBox4 8,196 217x381", "method_box 8,16 201x349",
                     "method_group_box 232,0 659x577", "param_group_box 8,4 643x571"}));
    EXPECT_EQ(editor.GroupBox1->BoundsRect(), (platform::forms::Rect{8, 0, 225, 49}))
        << "the left column stays";

    // Back at the designed size the layout is the designed one; smaller is refused.
    editor.resize_by_person(634, 413);
    EXPECT_EQ(layout_of(editor), designed);
    editor.resize_by_person(500, 300);
    EXPECT_EQ(editor.ClientWidth, 634);
    EXPECT_EQ(editor.ClientHeight, 413);
    EXPECT_EQ(layout_of(editor), designed);
}

TEST_F(EditorTest, the_layout_follows_the_status_bar_and_the_form_width) {
    zorsetup::Tmethod_editor& editor = open_editor();
    editor.Width = 800;
    editor.status_bar->Top = 500;
    editor.FormCanResize();
    EXPECT_EQ(editor.GroupBox4->Height, 500 - editor.param_group_box->Top - editor.GroupBox4->Top);
    EXPECT_EQ(editor.method_box->Height, editor.GroupBox4->Height - 2 * editor.method_box->Top);
    EXPECT_EQ(editor.method_group_box->Height, 500 - editor.param_group_box->Top);
    EXPECT_EQ(editor.param_group_box->Height, 500 - 2 * editor.param_group_box->Top - 2);
    EXPECT_EQ(editor.method_group_box->Width, 800 - editor.GroupBox4->Width - 3 * editor.GroupBox4->Left);
    EXPECT_EQ(editor.param_group_box->Width,
              editor.method_group_box->Width - 2 * editor.param_group_box->Left);
    std::string status_box;
    putils::reg_read_string("Status Box", "x", status_box);
    EXPECT_EQ(status_box, "True") << "written with its default at creation";
}

}  // namespace
}  // namespace zorsetup_test
