// The core's editing additions: template paths, tray queries, object boxes, run-variable
// menus and the macro sections of a method text.
#include "plugin/editing.h"

#include <fstream>

#include "platform/forms/controls.h"
#include "plugin/tests/editor_fixture.h"

namespace zorsetup_test {
namespace {

using namespace zorsetup;
using platform::forms::ComboBox;
using platform::forms::PopupMenu;

TEST_F(EditorTest, template_paths_keep_every_dot_of_the_name) {
    EXPECT_EQ(template_file_path("Demo"), folder_ + "/Demo.PME");
    EXPECT_EQ(template_file_path("v1.2"), folder_ + "/v1.2.PME") << "two templates, not both v1";
    EXPECT_EQ(template_file_path("v1.3"), folder_ + "/v1.3.PME");
    EXPECT_EQ(template_file_path("v1.2.pme"), folder_ + "/v1.2.PME") << "a given extension is not doubled";
    EXPECT_EQ(template_name_of_file("/x/v1.2.PME"), "v1.2");
    EXPECT_EQ(template_name_of_file("Demo.pme"), "Demo");
}

TEST_F(EditorTest, tray_queries_count_trays_in_model_order) {
    EXPECT_EQ(tray_count(), 5);
    EXPECT_EQ(tray_number("Tray1"), 1);
    EXPECT_EQ(tray_number("tray2"), 2);
    EXPECT_EQ(tray_number("TH-1"), -1) << "a holder is no tray";
    EXPECT_EQ(tray_number("Nothing"), -1);
    EXPECT_EQ(nth_tray_name(0), "Tray1");
    EXPECT_EQ(nth_tray_name(4), "Tray5");
    EXPECT_EQ(nth_tray_name(5), "");
    EXPECT_TRUE(is_tray("TRAY3"));
    EXPECT_FALSE(is_tray("VT96"));
    EXPECT_TRUE(tray_on_holder("Tray3", "th-2"));
    EXPECT_FALSE(tray_on_holder("Tray3", "TH-1"));
    EXPECT_FALSE(tray_on_holder("TH-2", "TH-2"));
    EXPECT_EQ(object_class_name(0), "SYRINGE");
    EXPECT_EQ(object_class_name(-1), "");
    EXPECT_EQ(syringe_class_bit(), 1u << core::config_model().syringe_class);
    EXPECT_EQ(tray_class_bit(), 1u << core::config_model().tray_class);
    EXPECT_EQ(injector_class_bit(), 1u << core::config_model().injector_class);

    core::reset_config_model();
    EXPECT_EQ(nth_tray_name(0), "");
    EXPECT_EQ(tray_count(), 0);
    EXPECT_EQ(tray_class_bit(), 0u);
}

TEST_F(EditorTest, tray_number_counts_only_trays_with_other_objects_between) {
    Lines config;
    ASSERT_TRUE(core::load_lines(path("latest_zor.pol"), config));
    // Move the first tray in front of the tray holders and write "th-9070" in lower case.
    Lines edited;
    std::string tray1;
    for (const auto& line : config)
        if (line.rfind("TRAY;Tray1;", 0) == 0) tray1 = line;
    for (const auto& line : config) {
        if (line == tray1) continue;
        if (line.rfind("TRAY_HOLDER;TH-1;", 0) == 0) edited.push_back(tray1);
        edited.push_back(line == "TRAY_HOLDER;TH-9070;Barcode reader" ? "TRAY_HOLDER;th-9070;Barcode reader"
                                                                      : line);
    }
    ASSERT_TRUE(core::read_configuration(edited));
    EXPECT_EQ(tray_number("Tray1"), 1);
    EXPECT_EQ(tray_number("Tray2"), 2) << "holders and types stand between the two trays";

    auto form = platform::forms::make_form<platform::forms::Form>("TTest");
    ComboBox* box = form->add<ComboBox>("box");
    fill_holder_box(*box);
    EXPECT_EQ(box->Items.strings(), (Lines{"TH-1", "TH-2"})) << "no TH-9070 in any letter case";
    EXPECT_EQ(box->ItemIndex, 0);
    fill_object_box(*box, "syringe");
    EXPECT_EQ(box->Items.strings(), (Lines{"10ul", "25ul", "100ul", "500ul"}));
    EXPECT_EQ(box->ItemIndex, 0);
    fill_object_box(*box, "NO_SUCH_CLASS");
    EXPECT_TRUE(box->Items.empty());
    EXPECT_EQ(box->ItemIndex, -1);
}

TEST_F(EditorTest, the_variable_popup_offers_what_fits_the_unit) {
    auto form = platform::forms::make_form<platform::forms::Form>("TTest");
    PopupMenu* menu = form->add<PopupMenu>("menu");
    for (int i = 0; i < 13; ++i) menu->add_item();
    auto visible = [&] {
        Lines captions;
        for (auto* item : menu->visible_items()) captions.push_back(item->Caption);
        return captions;
    };
    menu->item(0)->Caption = "default";
    build_variable_popup(ul, *menu);
    EXPECT_EQ(visible(), (Lines{"default", "SL.volume", "SL.volume2"}));
    build_variable_popup("", *menu);
    EXPECT_EQ(visible(), (Lines{"default", "SL.index", "SL.injpervial", "user_index"}));
    build_variable_popup("s", *menu);
    EXPECT_EQ(visible(), (Lines{"default"}));
    build_variable_popup("\xB5L", *menu);
    EXPECT_EQ(visible(), (Lines{"default"})) << "only exactly " + ul;
    // A default that is itself a run variable is not offered twice.
    menu->item(0)->Caption = "SL.volume";
    build_variable_popup(ul, *menu);
    EXPECT_EQ(visible(), (Lines{"SL.volume", "SL.volume2"}));
    PopupMenu* fresh = form->add<PopupMenu>("fresh");
    for (int i = 0; i < 13; ++i) fresh->add_item();
    EXPECT_EQ(add_variable_items("", *fresh, 11), 13) << "two places are left for three items";
    EXPECT_EQ(fresh->item(12)->Caption, "SL.injpervial");
}

TEST_F(EditorTest, used_macros_get_one_section_each_then_entry_and_exit) {
    write_file("B.pma", {"// B", "WASH(Wash1,1)"});
    write_file("A.pma", {"// A", "// second comment", "Times ();2;1;10", "WASH(Wash2,Times)"});
    Lines lines{"syringe:10ul", "A(1)", "B()", "A(3)", "Gone(1)"};
    add_used_macros(lines, 1);
    EXPECT_EQ(lines, (Lines{"syringe:10ul", "A(1)", "B()", "A(3)", "Gone(1)", "[MACRO A]", "Times ();2;1;10",
                            "WASH(Wash2,Times)", "[MACRO B]", "WASH(Wash1,1)", "[MACRO METHOD ENTRY]",
                            "WASH(Wash1,1)", "[MACRO METHOD EXIT]", "WASH(Wash2,2)"}))
        << "Gone has no file and no section";
    EXPECT_TRUE(macro_in_method_text("a", lines));
    EXPECT_FALSE(macro_in_method_text("Gone", lines));
    EXPECT_EQ(list_missing_macros(lines), "");
    EXPECT_EQ(list_changed_macros(lines), "");

    lines.push_back("[MACRO Gone]");
    lines.push_back("WASH(Wash1,1)");
    EXPECT_EQ(list_missing_macros(lines), "Gone\n");
    EXPECT_EQ(section_macro_name("[MACRO Load Sample]"), "Load Sample");
}

TEST_F(EditorTest, a_library_file_whose_text_is_refused_gets_no_section) {
    write_file("B.pma", {"// B", "WASH(Wash1,1)"});
    {
        std::ofstream out(path("A.pma"), std::ios::binary | std::ios::trunc);
        out << "// A\r\nWASH(Wash2,1) \xE2\x86\x92\r\n";  // a character Windows-1252 does not have
    }
    Lines lines{"syringe:10ul", "A()", "B()"};
    add_used_macros(lines, 1);
    // An empty section would run as a macro that does nothing; without one the run is refused.
    EXPECT_FALSE(macro_in_method_text("A", lines));
    EXPECT_TRUE(macro_in_method_text("B", lines));
    EXPECT_EQ(messages(), (Lines{"Cannot read " + path("A.pma") +
                                 ": line 2 holds the character U+2192, which Windows-1252 does not have"}));
}

TEST_F(EditorTest, a_section_differs_from_the_library_by_text_not_by_letter_case) {
    Lines lines{"A()",
                "[MACRO Inject]",
                "injector;injector",
                "move_to(Injector,5)",
                "INJECT(Injector,Needle)",
                "SET_OUTPUT(Inject Out,High)",
                "[MACRO METHOD ENTRY]",
                "WASH(Wash1,1)"};
    EXPECT_FALSE(macro_differs_from_library("Inject", lines, 2, 6));
    EXPECT_EQ(list_changed_macros(lines), "");
    lines[3] = "MOVE_TO(Injector,6)";
    EXPECT_TRUE(macro_differs_from_library("Inject", lines, 2, 6));
    EXPECT_EQ(list_changed_macros(lines), "Inject\n");
    lines.erase(lines.begin() + 3);
    EXPECT_TRUE(macro_differs_from_library("Inject", lines, 2, 5)) << "a line fewer";
    lines.insert(lines.begin() + 6, "WASH(Wash1,2)");
    EXPECT_EQ(list_changed_macros(lines), "Inject\nMETHOD ENTRY\n");
}

}  // namespace
}  // namespace zorsetup_test
