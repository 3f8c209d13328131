// Templates: written and read back, the load checks with their messages, saving and the offer
// to save, the modified test.
#include <fstream>
#include <iterator>

#include "platform/forms/controls.h"
#include "plugin/method_editor.h"
#include "plugin/tests/editor_fixture.h"
#include "utilities/settings.h"

namespace zorsetup_test {
namespace {

using namespace zorsetup;
using platform::forms::mr_no;
using platform::forms::mr_yes;

Lines composed(Tmethod_editor& editor) {
    platform::forms::StringList list;
    editor.compose_method_text(list);
    return list.strings();
}

TEST_F(EditorTest, a_template_written_and_read_back_gives_the_same_method) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    click_step(1);
    type_row(1, "7.5");
    leave_field();
    editor.method_descrip_box->type_text("First line\r\nSecond line");
    editor.syringe_box->select(editor.syringe_box->Items.index_of("100ul"));
    const Lines before = composed(editor);
    editor.save_template("Copy");
    EXPECT_EQ(editor.status_bar->SimpleText, "rewrote method Copy");
    const Lines file = read_file("Copy.PME");
    EXPECT_EQ(file, before);
    EXPECT_EQ(Lines(file.begin(), file.begin() + 7),
              (Lines{"//First line", "//Second line", "syringe:100ul", "Rinse Needle(Wash2,2)",
                     "Load Sample(Tray1,7.5,2)", "Pause(90)", "Inject(Inj1)"}));
    EXPECT_EQ(file[7], "[MACRO Rinse Needle]");
    EXPECT_EQ(file.back(), "WASH(Wash2,2)") << "METHOD EXIT's section ends the file";
    EXPECT_EQ(editor.method_select_box->Items.strings(), (Lines{"Copy", "Demo"}));

    // A second editor reads it back.
    editor_.reset();
    Tmethod_editor& again = open_editor();
    choose_template("Copy");
    EXPECT_TRUE(messages().empty()) << testing::PrintToString(messages());
    EXPECT_EQ(composed(again), before);
    EXPECT_EQ(again.syringe_box->text(), "100ul");
    EXPECT_FALSE(again.template_file_differs());
}

TEST_F(EditorTest, templates_with_a_dot_in_their_name_are_two_files) {
    write_demo_template("v1.2");
    write_template("v1.3", {"other"}, "10ul", {"Pause(5)"});
    Tmethod_editor& editor = open_editor();
    EXPECT_EQ(editor.method_select_box->Items.strings(), (Lines{"v1.2", "v1.3"}));
    choose_template("v1.3");
    EXPECT_EQ(steps(), (Lines{"Pause(5)"}));
    editor.save_template("v1.3");
    EXPECT_EQ(read_file("v1.2.PME")[0], "//Demo injection") << "saving v1.3 leaves v1.2 alone";
    EXPECT_EQ(read_file("v1.3.PME")[0], "//other");
}

TEST_F(EditorTest, the_shipped_example_templates_load_without_a_message) {
    Lines config;
    ASSERT_TRUE(core::load_lines(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol", config));
    int templates = 0;
    for (const auto& entry : fs::directory_iterator(ZOR_EXAMPLES_DIR)) {
        if (entry.path().extension() != ".PME") continue;
        fs::copy_file(entry.path(), fs::path(folder_) / entry.path().filename());
        ++templates;
    }
    ASSERT_GE(templates, 2);
    Tmethod_editor& editor = open_editor();
    ASSERT_EQ(editor.method_select_box->Items.count(), templates);
    for (int i = 0; i < templates; ++i) {
        const std::string name = editor.method_select_box->Items[i];
        ASSERT_TRUE(editor.load_template(name)) << name;
        EXPECT_TRUE(messages().empty()) << name << ": " << testing::PrintToString(messages());
        EXPECT_TRUE(editor.template_clean()) << name;
        EXPECT_EQ(editor.current_template(), name);
        EXPECT_FALSE(steps().empty()) << name;
        EXPECT_FALSE(editor.template_file_differs()) << name;
        clear_messages();
    }
}

TEST_F(EditorTest, loading_a_missing_or_unlisted_template_says_so) {
    Tmethod_editor& editor = open_editor();
    EXPECT_FALSE(editor.load_template("Nothing"));
    write_demo_template();  // exists now, but the box was not refilled
    EXPECT_FALSE(editor.load_template("Demo"));
    EXPECT_EQ(messages(), (Lines{"Method \"Nothing\" doesnt exist", "Method \"Demo \" is not defined!"}));
}

TEST_F(EditorTest, a_template_whose_macros_are_gone_is_not_loaded_and_becomes_a_new_method) {
    write_demo_template();
    write_template("Other", {}, "10ul", {"Pause(5)"});
    Tmethod_editor& editor = open_editor();
    choose_template("Other");
    ASSERT_TRUE(editor.template_clean());
    fs::remove(path("Inject.pma"));
    fs::remove(path("Pause.pma"));
    choose_template("Demo");
    EXPECT_EQ(
        messages(),
        (Lines{
            "Method \"Demo\" cant be loaded because the following macros dont exist:\r\nPause\nInject\n"}));
    EXPECT_TRUE(steps().empty());
    EXPECT_EQ(editor.selected_template(), "Demo") << "a new method under the chosen name";
    EXPECT_EQ(editor.current_template(), "Demo");
    EXPECT_FALSE(editor.template_clean());

    // Nothing was edited: choosing another template asks nothing about "Demo".
    clear_messages();
    fs::copy_file(fs::path(ZOR_EXAMPLES_DIR) / "macros" / "Inject.pma", path("Inject.pma"));
    write_template("Third", {}, "10ul", {"Inject(Inj1)"});
    choose_template("Third");
    EXPECT_TRUE(messages().empty()) << testing::PrintToString(messages());
}

TEST_F(EditorTest, changed_macros_are_updated_in_the_template_when_the_user_agrees) {
    write_demo_template();
    write_file("Pause.pma",
               {"// Waits before the next step.", "Time (s);90;1;3600", "WAIT(Time)", "WAIT(1)"});
    putils::session().log_enabled = true;
    Tmethod_editor& editor = open_editor();
    boxes_->answer_next_box(mr_yes);
    choose_template("Demo");
    ASSERT_EQ(messages(),
              (Lines{"The following macros have been changed since \"Demo\" was last saved:\r\nPause\n"
                     "Ok to update \"Demo\" with new versions?"}));
    const Lines file = read_file("Demo.PME");
    const auto section = std::find(file.begin(), file.end(), "[MACRO Pause]");
    ASSERT_NE(section, file.end());
    EXPECT_EQ(Lines(section, section + 4),
              (Lines{"[MACRO Pause]", "Time (s);90;1;3600", "WAIT(Time)", "WAIT(1)"}));
    EXPECT_EQ(editor.status_bar->SimpleText, "rewrote method Demo");
    const Lines log = read_file("tsk_weav.log");
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find(" : rewrote method Demo"), std::string::npos);
    EXPECT_EQ(editor.current_template(), "Demo");
    EXPECT_EQ(steps().size(), 4u);
}

TEST_F(EditorTest, declining_the_update_loads_the_method_but_not_as_the_template) {
    write_demo_template();
    const Lines original = read_file("Demo.PME");
    write_file("Pause.pma", {"// Waits.", "Time (s);90;1;3600", "WAIT(Time)", "WAIT(1)"});
    Tmethod_editor& editor = open_editor();
    boxes_->answer_next_box(mr_no);
    choose_template("Demo");
    EXPECT_EQ(read_file("Demo.PME"), original);
    EXPECT_EQ(steps().size(), 4u);
    EXPECT_EQ(editor.selected_template(), "");
    EXPECT_EQ(editor.current_template(), "") << "a later save offer must not rewrite what the user declined";
    click_step(2);
    type_row(0, "10");
    leave_field();
    clear_messages();
    editor.offer_template_save();
    EXPECT_TRUE(messages().empty());
}

TEST_F(EditorTest, unknown_atoms_and_wrong_objects_in_macros_stop_the_load) {
    write_file("Broken.pma", {"// broken", "Where;TRAY", "FLY_TO(Where)", "MOVE_TO(Where,5)", "SPIN()"});
    write_template("B", {}, "25ul", {"Broken(Tray1)"});
    open_editor();
    choose_template("B");
    EXPECT_EQ(messages(),
              (Lines{"Method \"B\" cant be loaded because \r\nIn macro \"Broken\" the following atoms dont "
                     "exist:\r\nFLY_TO\r\nSPIN\r\n"}));
    EXPECT_TRUE(steps().empty());

    clear_messages();
    write_file("Wrong.pma", {"// wrong objects", "Where;TRAY", "MOVE_TO_VIAL(Where,1,1)", "MOVE_TO(Wash1,5)",
                             "MOVE_TO(Tray1,5)", "MOVE_TO(Nowhere,5)", "MOVE_TO(SYR,1)", "INJECT(SL.tray)"});
    write_template("C", {}, "25ul", {"Wrong(Tray1)"});
    choose_template("C");
    EXPECT_EQ(
        messages(),
        (Lines{
            "Method \"C\" cant be loaded because \r\n"
            "In macro \"Wrong\",(Line 3) Atom \"MOVE_TO\" refers to object \"Tray1\" which is a TRAY\r\n"
            "In macro \"Wrong\",(Line 4) Atom \"MOVE_TO\" refers to object \"Nowhere\" which doesnt exist in "
            "ZOR\r\n"
            "In macro \"Wrong\",(Line 5) Atom \"MOVE_TO\" refers to object \"SYR\" which is a syringe\r\n"
            "In macro \"Wrong\",(Line 6) Atom \"INJECT\" refers to object \"SL.tray\" which is a tray\r\n"}));
    EXPECT_TRUE(steps().empty());
}

TEST_F(EditorTest, wrong_objects_in_steps_and_an_unknown_syringe_warn_and_keep_the_method) {
    write_template("W", {"d"}, "2ml", {"Load Sample(Inj1,5,2)", "Inject(Tray9)", "Rinse Needle(SL.tray,2)"});
    Tmethod_editor& editor = open_editor();
    editor.syringe_box->ItemIndex = 2;
    choose_template("W");
    EXPECT_EQ(messages(),
              (Lines{"Warning loading method \"W\" : Syringe \"2ml\" does not exist in Zor",
                     "Warning! In method \"W\":\r\n\r\n"
                     "In line 1 \"Tray\" is set to object \"Inj1\" which is a INJECTOR\r\n"
                     "In line 2 \"Injector\" is set to object \"Tray9\" which doesnt exist in ZOR\r\n"
                     "In line 3 \"Station\" is set to object \"SL.tray\" which is a tray\r\n"}));
    EXPECT_EQ(boxes_->boxes()[0].request.caption, "Information");
    EXPECT_EQ(editor.syringe_box->text(), "100ul") << "the selection stays";
    EXPECT_EQ(steps().size(), 3u);
    EXPECT_EQ(editor.selected_template(), "");
    EXPECT_EQ(editor.current_template(), "");
}

TEST_F(EditorTest, none_for_a_signal_is_no_missing_object) {
    write_file("Signal.pma", {"// signal", "Out;OUT_SIGNAL", "SET_OUTPUT(Out,High)"});
    write_template("S", {}, "25ul", {"Signal(None)"});
    Tmethod_editor& editor = open_editor();
    choose_template("S");
    EXPECT_TRUE(messages().empty()) << testing::PrintToString(messages());
    EXPECT_EQ(editor.param_combo(0)->Items.strings(), (Lines{"Inject Out", "Aux Out", "None"}));
    EXPECT_EQ(editor.param_combo(0)->text(), "None");
}

TEST_F(EditorTest, saving_an_empty_method_says_so_and_writes_nothing) {
    Tmethod_editor& editor = open_editor();
    editor.save_template("Empty");
    EXPECT_EQ(messages(), (Lines{"The method is empty!"}));
    EXPECT_FALSE(fs::exists(path("Empty.PME")));
}

TEST_F(EditorTest, a_step_that_does_not_compose_is_not_saved) {
    write_demo_template();
    const Lines original = read_file("Demo.PME");
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    click_step(1);
    editor.param_edit(1)->Text = "";
    editor.save_template("Demo");
    EXPECT_EQ(messages(), (Lines{"Volume  (" + ul + ") is not specified"}));
    EXPECT_EQ(read_file("Demo.PME"), original);
}

TEST_F(EditorTest, a_changed_template_is_offered_for_saving_before_another_is_chosen) {
    write_demo_template();
    write_template("Other", {}, "10ul", {"Pause(5)"});
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    click_step(2);
    type_row(0, "3:00");
    leave_field();
    EXPECT_TRUE(editor.template_file_differs());
    boxes_->answer_next_box(mr_yes);
    choose_template("Other");
    EXPECT_EQ(messages(), (Lines{"The method template \"Demo\" has been changed. Do you wish to save it?"}));
    EXPECT_EQ(read_file("Demo.PME")[5], "Pause(180)");
    EXPECT_EQ(steps(), (Lines{"Pause(5)"}));
    EXPECT_EQ(editor.current_template(), "Other");

    clear_messages();
    choose_template("Demo");  // nothing changed in Other: no question
    EXPECT_TRUE(messages().empty()) << testing::PrintToString(messages());
}

TEST_F(EditorTest, removing_the_last_step_or_a_description_line_counts_as_a_change) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    EXPECT_FALSE(editor.template_file_differs());
    editor.delete_macro_button->Visible = true;
    click_step(3);
    editor.delete_macro_button->click();
    EXPECT_TRUE(editor.template_file_differs()) << "the file holds a step more";
    editor.current_method->Items.add("Inject(Inj1)");
    EXPECT_FALSE(editor.template_file_differs());
    editor.method_descrip_box->Lines.erase(1);
    EXPECT_TRUE(editor.template_file_differs()) << "the file holds a description line more";
    editor.method_descrip_box->Lines.add("SECOND LINE");
    EXPECT_FALSE(editor.template_file_differs()) << "letter case is no change";

    // Declining the offer keeps the file; the chosen template comes in.
    editor.current_method->Items.erase(3);
    boxes_->answer_next_box(mr_no);
    write_template("Other", {}, "10ul", {"Pause(5)"});
    choose_template("Other");
    EXPECT_EQ(messages(), (Lines{"The method template \"Demo\" has been changed. Do you wish to save it?"}));
    EXPECT_EQ(read_file("Demo.PME")[6], "Inject(Inj1)");
}

TEST_F(EditorTest, without_a_template_file_any_step_or_description_is_a_change) {
    Tmethod_editor& editor = open_editor();
    editor.new_method("Fresh");
    EXPECT_FALSE(editor.template_file_differs());
    editor.method_descrip_box->Lines.add("x");
    EXPECT_TRUE(editor.template_file_differs());
}

TEST_F(EditorTest, the_method_counts_as_modified_against_its_snapshot) {
    write_demo_template();
    Tmethod_editor& editor = open_editor();
    editor.new_method("");
    EXPECT_FALSE(editor.is_method_modified()) << "an empty new method";
    choose_template("Demo");
    EXPECT_TRUE(editor.is_method_modified()) << "a template chosen after New is an edit the host must save";
    editor.snapshot_method();
    EXPECT_FALSE(editor.is_method_modified());
    click_step(1);
    editor.param_edit(2)->Text = "3";  // typed, the field not left yet
    EXPECT_TRUE(editor.is_method_modified());
    EXPECT_EQ(steps()[1], "Load Sample(Tray1,5,3)");
    editor.snapshot_method();
    editor.syringe_box->select(0);
    EXPECT_TRUE(editor.is_method_modified());
}

}  // namespace
}  // namespace zorsetup_test

namespace zorsetup_test {
namespace {

// Files as another editor saves them: bytes as they are on disk.
void write_bytes(const std::string& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << file;
}

TEST_F(EditorTest, a_template_saved_as_utf8_loads_as_the_same_method) {
    write_bytes(path("Utf.PME"),
                "\xEF\xBB\xBF//Volume in \xC2\xB5l\r\nsyringe:25ul\r\nPause(5)\r\n"
                "[MACRO Pause]\r\nTime (s);90;1;3600\r\nWAIT(Time)\r\n");
    Tmethod_editor& editor = open_editor();
    choose_template("Utf");
    EXPECT_TRUE(messages().empty()) << testing::PrintToString(messages());
    EXPECT_EQ(editor.method_descrip_box->Lines.strings(), (Lines{"Volume in " + ul}));
    EXPECT_EQ(steps(), (Lines{"Pause(5)"}));
    EXPECT_EQ(editor.current_template(), "Utf");
}

TEST_F(EditorTest, a_template_whose_text_is_refused_is_not_loaded_as_an_empty_one) {
    const std::string bytes =
        "//Volume in \xC2\xB5l\r\n//\xCE\xB1 and \xCE\xB2\r\nsyringe:25ul\r\nPause(5)\r\n";
    write_bytes(path("Greek.PME"), bytes);
    write_template("Other", {}, "10ul", {"Pause(5)"});
    Tmethod_editor& editor = open_editor();
    EXPECT_FALSE(editor.load_template("Greek"));
    EXPECT_EQ(messages(), (Lines{"Cannot read " + path("Greek.PME") +
                                 ": line 2 holds the character U+03B1, which Windows-1252 does not have"}));
    EXPECT_TRUE(steps().empty());
    EXPECT_FALSE(editor.template_clean());

    // Chosen from the box, it becomes a new method under its name; an edit there is not offered
    // for saving over the file that could not be read.
    clear_messages();
    choose_template("Greek");
    EXPECT_EQ(editor.current_template(), "Greek");
    editor.method_descrip_box->Lines.add("typed");
    choose_template("Other");
    EXPECT_EQ(messages(), (Lines{"Cannot read " + path("Greek.PME") +
                                 ": line 2 holds the character U+03B1, which Windows-1252 does not have"}));
    std::ifstream in(path("Greek.PME"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
}

TEST_F(EditorTest, a_library_macro_whose_text_is_refused_stops_the_load_and_keeps_the_templates_section) {
    write_demo_template();
    const Lines original = read_file("Demo.PME");
    write_bytes(path("Pause.pma"),
                "// Waits \xE2\x86\x92 then goes on.\r\nTime (s);90;1;3600\r\nWAIT(Time)\r\n");
    Tmethod_editor& editor = open_editor();
    boxes_->set_default_box_answer(mr_yes);  // an offer to update Demo's macros would be taken
    choose_template("Demo");
    EXPECT_EQ(messages(), (Lines{"Cannot read " + path("Pause.pma") +
                                 ": line 1 holds the character U+2192, which Windows-1252 does not have"}));
    EXPECT_EQ(read_file("Demo.PME"), original);
    EXPECT_TRUE(steps().empty());
    EXPECT_FALSE(editor.template_clean());
}

TEST_F(EditorTest, a_template_that_cannot_be_written_is_not_reported_as_rewritten) {
    write_demo_template();
    zorsetup::Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    fs::create_directory(path("Blocked.PME"));  // a folder where the file should go
    editor.status_bar->SimpleText.clear();
    editor.save_template("Blocked");
    EXPECT_EQ(messages(), (Lines{"Method \"Blocked\" could not be written"}));
    EXPECT_EQ(editor.status_bar->SimpleText, "");
}

}  // namespace
}  // namespace zorsetup_test
