// Expanding a method text into atom lines, the macro library files, and the error macros.
#include <gmock/gmock.h>

#include "core/command_text.h"
#include "core/macro_library.h"
#include "core/tests/engine_fixture.h"

namespace core_test {
namespace {

using core::method_state;
using testing::ElementsAre;
using testing::ElementsAreArray;

class MethodExpansion : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        load_standard_configuration();
    }
    // The standard method with one line replaced.
    static std::vector<std::string> method_with(const std::string& old_line,
                                                const std::vector<std::string>& lines) {
        std::vector<std::string> text = standard_method();
        auto it = std::find(text.begin(), text.end(), old_line);
        if (it == text.end()) ADD_FAILURE() << "no line " << old_line;
        it = text.erase(it);
        text.insert(it, lines.begin(), lines.end());
        return text;
    }
};

TEST_F(MethodExpansion, StepsBecomeValidatedAtomLines) {
    ASSERT_TRUE(core::build_running_method("10ul", 0, standard_method()))
        << testing::PrintToString(messages());
    const core::MethodState& s = method_state();
    EXPECT_THAT(s.running_method, ElementsAre("METHOD ENTRY()", "Load Sample(SL.tray,SL.volume,2)",
                                              "Inject(Inj1)", "METHOD EXIT()"));
    // Object arguments that name a macro parameter take the step's argument; number arguments
    // keep their expressions until the command is built.
    EXPECT_THAT(s.expanded_method, ElementsAre("WASH(Wash1,1,)", "MOVE_TO_VIAL(SL.tray,SL.index,10,)",
                                               "ASPIRATE(SYR,Volume,Speed,0,)", "WAIT_FOR_DS()",
                                               "INJECT(Inj1,Needle,)", "WASH(Wash2,2,)"));
    EXPECT_EQ(s.method_exit_index, 5);
    EXPECT_EQ(s.method_syringe, core::find_object("10ul"));
    EXPECT_THAT(s.running_macro_params,
                ElementsAre("Tray;TRAY", "Volume (" MU "l);SL.volume;0;SYR.Volume",
                            "Speed (" MU "l/s);2;0.1;SYR.Max Speed", "Injector;INJECTOR"));
    struct Origin {
        int offset, count, step, start;
    };
    const Origin origins[] = {{0, 0, 0, 0}, {0, 3, 1, 1}, {0, 3, 1, 1},
                              {3, 1, 2, 3}, {3, 1, 2, 3}, {4, 0, 3, 5}};
    for (int n = 0; n < 6; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(s.origins[n].declaration_offset, origins[n].offset);
        EXPECT_EQ(s.origins[n].param_count, origins[n].count);
        EXPECT_EQ(s.origins[n].step, origins[n].step);
        EXPECT_EQ(s.origins[n].call_start, origins[n].start);
    }
    EXPECT_TRUE(messages().empty());
}

TEST_F(MethodExpansion, StepParametersLoadForTheirLines) {
    ASSERT_TRUE(core::build_running_method("10ul", 0, standard_method()));
    EXPECT_EQ(core::load_step_params(2), 3);
    const core::MacroParamTable& p = method_state().execution_params;
    EXPECT_EQ(p[1].name, "Volume");
    EXPECT_EQ(p[1].unit, MU "l");
    EXPECT_EQ(p[1].default_value, "SL.volume");
    EXPECT_EQ(p[2].minimum, "0.1");
    EXPECT_EQ(p[0].class_mask, core::class_bit("TRAY"));
    EXPECT_EQ(core::find_step_param("speed", 3), 2);
    EXPECT_EQ(core::find_step_param("Speed", 2), -1);
    EXPECT_EQ(core::load_step_params(0), 0);
    EXPECT_EQ(core::load_step_params(-1), 0);
    EXPECT_EQ(core::load_step_params(core::max_expanded_lines), 0);
}

TEST_F(MethodExpansion, WrappersOnlyWhereTheTextHasThemAndNotSuppressed) {
    std::vector<std::string> bare = standard_method();
    bare.resize(12);  // without the METHOD ENTRY and METHOD EXIT sections
    ASSERT_TRUE(core::build_running_method("10ul", 0, bare));
    EXPECT_THAT(method_state().running_method,
                ElementsAre("Load Sample(SL.tray,SL.volume,2)", "Inject(Inj1)"));
    EXPECT_EQ(method_state().method_exit_index, 4);  // the end of the expanded lines

    for (bool core::MethodState::*flag : {&core::MethodState::skip_wrappers, &core::MethodState::row_flag}) {
        core::reset_method_state();
        method_state().*flag = true;
        ASSERT_TRUE(core::build_running_method("10ul", 0, standard_method()));
        EXPECT_THAT(method_state().running_method,
                    ElementsAre("Load Sample(SL.tray,SL.volume,2)", "Inject(Inj1)"));
        EXPECT_EQ(method_state().expanded_method.size(), 4u);
        EXPECT_EQ(method_state().method_exit_index, 4);
    }
}

TEST_F(MethodExpansion, StepsStartAtTheGivenLine) {
    std::vector<std::string> text = standard_method();
    text.insert(text.begin(), "10ul");
    ASSERT_TRUE(core::build_running_method(text[0], 1, text));
    EXPECT_EQ(method_state().running_method[1], "Load Sample(SL.tray,SL.volume,2)");
    // A syringe name that is no object leaves the method without a syringe.
    ASSERT_TRUE(core::build_running_method("", 0, standard_method()));
    EXPECT_EQ(method_state().method_syringe, -1);
    EXPECT_EQ(core::method_syringe_record(), nullptr);
}

TEST_F(MethodExpansion, MacroSectionsByName) {
    const std::vector<std::string> text = standard_method();
    int first = 0, last = 0;
    ASSERT_TRUE(core::find_macro_section("load sample", text, first, last));
    EXPECT_EQ(first, 3);
    EXPECT_EQ(last, 7);
    ASSERT_TRUE(core::find_macro_section("METHOD EXIT", text, first, last));
    EXPECT_EQ(first, 15);
    EXPECT_EQ(last, 15);
    EXPECT_FALSE(core::find_macro_section("Rinse", text, first, last));
    EXPECT_TRUE(core::method_has_macro("method entry", text));
    EXPECT_FALSE(core::method_has_macro("Rinse", text));
}

TEST_F(MethodExpansion, RepeatedCallsOfAMacroExpandAsTheFirst) {
    // The same macro called by many steps with different arguments, names in other letter case,
    // a second section of the same name (the first counts) and a section without body lines.
    std::vector<std::string> text{"load sample(Tray2,1,2)", "Mark()", "LOAD SAMPLE(SL.tray,2,3)",
                                  "Load Sample(Tray2,3,4)", "mark()"};
    const std::vector<std::string> standard = standard_method();
    text.insert(text.end(), standard.begin() + 2, standard.end());
    text.insert(text.end(), {"[MACRO Load Sample]", "WASH(Wash2,9)", "[MACRO MARK]"});
    ASSERT_TRUE(core::build_running_method("10ul", 0, text)) << testing::PrintToString(messages());
    const core::MethodState& s = method_state();
    EXPECT_THAT(
        s.expanded_method,
        ElementsAre("WASH(Wash1,1,)", "MOVE_TO_VIAL(Tray2,SL.index,10,)", "ASPIRATE(SYR,Volume,Speed,0,)",
                    "MOVE_TO_VIAL(SL.tray,SL.index,10,)", "ASPIRATE(SYR,Volume,Speed,0,)",
                    "MOVE_TO_VIAL(Tray2,SL.index,10,)", "ASPIRATE(SYR,Volume,Speed,0,)", "WASH(Wash2,2,)"));
    // Every call appends its declarations, and its lines point at them.
    ASSERT_EQ(s.running_macro_params.size(), 9u);
    EXPECT_EQ(s.running_macro_params[3], "Tray;TRAY");
    EXPECT_EQ(s.running_macro_params[8], "Speed (" MU "l/s);2;0.1;SYR.Max Speed");
    EXPECT_EQ(s.origins[3].declaration_offset, 3);
    EXPECT_EQ(s.origins[3].step, 3);
    EXPECT_EQ(s.origins[3].call_start, 3);
    EXPECT_EQ(s.origins[5].declaration_offset, 6);
    EXPECT_EQ(s.origins[5].step, 4);
    EXPECT_EQ(s.origins[7].param_count, 0);
    EXPECT_EQ(s.method_exit_index, 7);
    // The execution set holds the parameters of the last call that had body lines.
    EXPECT_EQ(s.execution_params[0].name, "Tray");
    EXPECT_EQ(s.execution_params[2].maximum, "SYR.Max Speed");
    // A bad argument in a later call is still found, with its message.
    text[3] = "Load Sample(Wash1,3,4)";
    EXPECT_FALSE(core::build_running_method("10ul", 0, text));
    EXPECT_THAT(messages(),
                ElementsAre("In macro \"Load Sample\", MOVE_TO_VIAL: Wash1 is not a valid object for Tray"));
}

TEST_F(MethodExpansion, ObjectArgumentsAreChecked) {
    // "None" is accepted where an OUT_SIGNAL or SYNC_SIGNAL may be given, nowhere else.
    std::vector<std::string> text{"Signal()", "[MACRO Signal]", "SET_OUT(None,On,)"};
    EXPECT_FALSE(core::build_running_method("10ul", 0, text));  // 2 arguments, not 3
    EXPECT_THAT(messages(),
                ElementsAre("In macro \"Signal\", SET_OUT(None,On,) does not have 3 arguments. It has 2"));
    clear_messages();
    text[2] = "SET_OUT(None,On,1)";
    ASSERT_TRUE(core::build_running_method("10ul", 0, text)) << testing::PrintToString(messages());
    EXPECT_THAT(method_state().expanded_method, ElementsAre("SET_OUT(None,On,1,)"));
    text[2] = "WASH(None,1)";
    EXPECT_FALSE(core::build_running_method("10ul", 0, text));
    EXPECT_THAT(messages(), ElementsAre("In macro \"Signal\", WASH: None is not an object"));
}

struct ExpansionError {
    const char* what;
    std::string line;               // replaced in the standard method ...
    std::vector<std::string> with;  // ... by these
    std::string message;
};

TEST_F(MethodExpansion, EachErrorIsShownOnce) {
    const ExpansionError errors[] = {
        {"unknown macro", "Inject(Inj1)", {"Rinse(Wash1)"}, "Macro \"Rinse\" does not exist."},
        {"unknown atom",
         "WAIT_FOR_DS()",
         {"WAIT_FOREVER()"},
         "In macro \"Inject\", WAIT_FOREVER is not an atom!"},
        {"argument count",
         "MOVE_TO_VIAL(Tray,SL.index,10)",
         {"MOVE_TO_VIAL(Tray,SL.index)"},
         "In macro \"Load Sample\", MOVE_TO_VIAL(Tray,SL.index) does not have 3 arguments. It has 2"},
        {"not an object",
         "INJECT(Injector,Needle)",
         {"INJECT(Inj2,Needle)"},
         "In macro \"Inject\", INJECT: Inj2 is not an object"},
        {"object of the wrong class",
         "INJECT(Injector,Needle)",
         {"INJECT(Wash1,Needle)"},
         "In macro \"Inject\", INJECT: Wash1 is not a valid object for Injector"},
        {"bad number",
         "MOVE_TO_VIAL(Tray,SL.index,10)",
         {"MOVE_TO_VIAL(Tray,SL.index,SL.volume)"},
         "In macro \"Load Sample\", SL.volume is not a good parameter"},
        {"bad declaration",
         "Speed (" MU "l/s);2;0.1;SYR.Max Speed",
         {"Speed (" MU "l/s);2;0.1;SYR.Max Speedy"},
         "couldnt interpret macro param Speed (" MU "l/s);2;0.1;SYR.Max Speedy"},
        // The step's argument for an object parameter is checked like the macro's own.
        {"step passes a non-object",
         "Inject(Inj1)",
         {"Inject(Injector 2)"},
         "In macro \"Inject\", INJECT: Injector 2 is not an object"},
        {"step passes the wrong class",
         "Inject(Inj1)",
         {"Inject(Tray1)"},
         "In macro \"Inject\", INJECT: Tray1 is not a valid object for Injector"},
        {"step passes nothing",
         "Inject(Inj1)",
         {"Inject()"},
         "In macro \"Inject\", INJECT:  is not an object"},
    };
    for (const ExpansionError& e : errors) {
        SCOPED_TRACE(e.what);
        clear_messages();
        EXPECT_FALSE(core::build_running_method("10ul", 0, method_with(e.line, e.with)));
        EXPECT_THAT(messages(), ElementsAre(e.message));
    }
}

TEST_F(MethodExpansion, ParameterDeclarations) {
    core::MacroParam p;
    ASSERT_TRUE(core::parse_param_declaration("Volume (" MU "l);SL.volume;0;SYR.Volume", p));
    EXPECT_EQ(p.name, "Volume");
    EXPECT_EQ(p.unit, MU "l");
    EXPECT_EQ(p.class_mask, 0u);
    // Without the blank before "(" the name loses its last letter.
    ASSERT_TRUE(core::parse_param_declaration("Volume(" MU "l);1;0;10", p));
    EXPECT_EQ(p.name, "Volum");
    ASSERT_TRUE(core::parse_param_declaration("Count ();1;0;10", p));
    EXPECT_EQ(p.name, "Count");
    EXPECT_EQ(p.unit, "");
    ASSERT_TRUE(core::parse_param_declaration("Where;TRAY;TRAY_HOLDER", p));
    EXPECT_EQ(p.name, "Where");
    EXPECT_EQ(p.class_mask, core::class_bit("TRAY") | core::class_bit("TRAY_HOLDER"));
    EXPECT_EQ(p.default_value, "0");
    EXPECT_FALSE(core::parse_param_declaration("Time (s);1:30;0;SL.volume", p));
    EXPECT_TRUE(core::parse_param_declaration("Time (s);1:30;0;2:00", p));
    EXPECT_FALSE(core::parse_param_declaration("Volume (" MU "l);;0;1", p));
}

TEST_F(MethodExpansion, TablesAreNeverOverrun) {
    // 41 arguments in a step, 41 declarations, more than 1000 expanded lines.
    std::string many = "Inject(Inj1";
    for (int i = 0; i < 40; ++i) many += ",x";
    EXPECT_FALSE(core::build_running_method("10ul", 0, method_with("Inject(Inj1)", {many + ")"})));
    EXPECT_THAT(messages(), ElementsAre(many + ") has more than 40 arguments"));

    clear_messages();
    std::vector<std::string> declarations;
    for (int i = 0; i < 41; ++i) declarations.push_back("P" + std::to_string(i) + " ();1;0;2");
    std::vector<std::string> text = method_with("Injector;INJECTOR", declarations);
    EXPECT_FALSE(core::build_running_method("10ul", 0, text));
    EXPECT_THAT(messages(), ElementsAre("Macro \"Inject\" has more than 40 parameters"));

    clear_messages();
    std::vector<std::string> long_method(501, "Load Sample(SL.tray,SL.volume,2)");
    std::vector<std::string> sections = standard_method();
    long_method.insert(long_method.end(), sections.begin() + 2, sections.end());
    // 1 + 501 x 2 + 1 = 1004 lines would be needed.
    EXPECT_FALSE(core::build_running_method("10ul", 0, long_method));
    EXPECT_THAT(messages(), ElementsAre("The method expands to more than 1000 atom lines"));
    EXPECT_EQ(method_state().expanded_method.size(), 1000u);
    // 499 steps and the wrappers make exactly 1000.
    clear_messages();
    long_method.erase(long_method.begin(), long_method.begin() + 2);
    ASSERT_TRUE(core::build_running_method("10ul", 0, long_method)) << testing::PrintToString(messages());
    EXPECT_EQ(method_state().expanded_method.size(), 1000u);
    EXPECT_EQ(method_state().method_exit_index, 999);
}

TEST_F(MethodExpansion, MacroLibraryFiles) {
    EXPECT_EQ(core::macro_file_path("Load Sample.old"), folder_ + "/Load Sample.pma");
    EXPECT_TRUE(core::macro_file_exists("Load Sample"));
    EXPECT_FALSE(core::macro_file_exists("Rinse"));
    const std::vector<std::string> lines = core::load_macro_file("Load Sample");
    EXPECT_EQ(core::count_header_lines(lines), 2);
    EXPECT_TRUE(core::is_param_declaration(lines[2]));
    EXPECT_FALSE(core::is_param_declaration(lines[5]));
    EXPECT_TRUE(core::is_comment_line("//x"));
    EXPECT_FALSE(core::is_comment_line("/ /x"));
    EXPECT_EQ(core::macro_header("Inject"), "[MACRO Inject]");
    EXPECT_TRUE(core::load_macro_file("Rinse").empty());
}

TEST_F(MethodExpansion, ALibraryMacroExpandsWithoutACall) {
    // As the whole-file macro run does: every body line with no macro call behind it.
    const std::vector<std::string> lines = core::load_macro_file("SL EXIT");
    ASSERT_EQ(core::count_header_lines(lines), 1);
    EXPECT_EQ(core::expand_macro_line("SL EXIT", lines[1], -1), "WASH(Wash2,3,)");
    EXPECT_EQ(core::expand_macro_line("SL EXIT", "WASH(Station,3)", -1), "");
    EXPECT_THAT(messages(), ElementsAre("In macro \"SL EXIT\", WASH: Station is not an object"));
}

TEST_F(MethodExpansion, ErrorMacrosFromTheLibrary) {
    ASSERT_TRUE(core::build_error_macros()) << testing::PrintToString(messages());
    EXPECT_THAT(method_state().alternate_cmd_list,
                ElementsAre("WASH(Wash1,1,)", "ERROR DLG()", "WASH(Wash2,1,)", "ERROR RESPONSE()"));

    // A missing file fails without a message.
    std::filesystem::remove(path("ERROR EXIT.pma"));
    EXPECT_FALSE(core::build_error_macros());
    EXPECT_TRUE(messages().empty());

    struct Bad {
        std::vector<std::string> lines;
        std::string message;
    };
    const Bad bad[] = {
        {{"// x", "Station;WASH_STATION", "WASH(Station,1)"},
         "The macro \"ERROR EXIT\" contains parameters."},
        {{"WASH(Wash9,1)"}, "WASH: Wash9 is not an object"},
        {{"WASH(Inj1,1)"}, "WASH: Inj1 is not a valid object for Station"},
        {{"RINSE(Wash1)"}, "RINSE is not an atom!"},
        // A number the checker rejects has no message of its own.
        {{"WASH(Wash1,SL.volume)"}, "couldnt interpret WASH(Wash1,SL.volume) in the macro \"ERROR EXIT\"."},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.message);
        clear_messages();
        write_file("ERROR EXIT.pma", b.lines);
        EXPECT_FALSE(core::build_error_macros());
        EXPECT_THAT(messages(), ElementsAre(b.message));
    }
    // Error-macro lines are not held to the atom's parameter count.
    clear_messages();
    write_file("ERROR EXIT.pma", {"WASH(Wash2)", "WAIT_FOR_DS()"});
    ASSERT_TRUE(core::build_error_macros());
    EXPECT_THAT(
        method_state().alternate_cmd_list,
        ElementsAre("WASH(Wash1,1,)", "ERROR DLG()", "WASH(Wash2,)", "WAIT_FOR_DS()", "ERROR RESPONSE()"));
}

TEST_F(MethodExpansion, CommandLineTextOperations) {
    putils::Cursor cursor = "MOVE_TO_VIAL(Tray2, 5 ,10)";
    EXPECT_EQ(core::split_command_name(cursor), "MOVE_TO_VIAL");
    EXPECT_EQ(cursor, "Tray2, 5 ,10");
    std::vector<std::string> arguments;
    ASSERT_TRUE(core::split_arguments(cursor, arguments));
    EXPECT_THAT(arguments, ElementsAre("Tray2", "5 ", "10"));
    ASSERT_TRUE(core::split_arguments("a,b,", arguments));
    EXPECT_THAT(arguments, ElementsAre("a", "b"));  // a trailing comma adds no argument
    ASSERT_TRUE(core::split_arguments("a,,b", arguments));
    EXPECT_THAT(arguments, ElementsAre("a", "", "b"));
    // Only a closing parenthesis is dropped.
    std::string name;
    ASSERT_TRUE(core::split_line("X(12", name, arguments));
    EXPECT_THAT(arguments, ElementsAre("12"));
    ASSERT_TRUE(core::split_line("WAIT_FOR_DS", name, arguments));
    EXPECT_EQ(name, "WAIT_FOR_DS");
    EXPECT_TRUE(arguments.empty());
    EXPECT_EQ(core::command_name("WASH(Wash1,1,)"), "WASH");
    EXPECT_EQ(core::command_name("GET_STAT"), "GET_STAT");
    EXPECT_TRUE(core::line_has_command("wash(Wash1,1,)", "WASH"));
}

}  // namespace
}  // namespace core_test
