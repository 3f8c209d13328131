// Command text from expanded lines: values in instrument units, held to the atom's limits, and
// one message for each line that cannot be converted.
#include <gmock/gmock.h>

#include <cmath>

#include "core/command_text.h"
#include "core/method_run.h"
#include "core/tests/engine_fixture.h"

namespace core_test {
namespace {

using core::method_state;
using testing::ElementsAre;

struct AskedRange {
    std::string context, unit;
    double max, min, bound, value;
};

std::vector<AskedRange>& asked() {
    static std::vector<AskedRange> calls;
    return calls;
}

double answer_for_range = 0;

double record_range_question(std::string_view context, std::string_view unit, double max, double min,
                             double bound, double value) {
    asked().push_back({std::string(context), std::string(unit), max, min, bound, value});
    return answer_for_range;
}

class CommandText : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        load_standard_configuration();
        set_example_run();
        asked().clear();
        ASSERT_TRUE(core::build_running_method("10ul", 0, standard_method()));
    }
    // The command for a line of no macro call.
    std::string command(const std::string& line) {
        std::string text;
        EXPECT_TRUE(core::line_to_command(-1, line, text))
            << line << " " << testing::PrintToString(messages());
        return text;
    }
    // The message a line gives (and that it gives no command).
    std::vector<std::string> refusal(const std::string& line) {
        clear_messages();
        std::string text = "unchanged";
        EXPECT_FALSE(core::line_to_command(-1, line, text)) << line;
        EXPECT_EQ(text, "");
        return messages();
    }
};

TEST_F(CommandText, TheDocumentedRunSendsTheseCommands) {
    const core::MethodState& s = method_state();
    std::vector<std::string> commands;
    for (int n = 0; n < int(s.expanded_method.size()); ++n) {
        std::string text;
        ASSERT_TRUE(core::line_to_command(n, s.expanded_method[n], text))
            << testing::PrintToString(messages());
        commands.push_back(text);
    }
    EXPECT_THAT(commands,
                ElementsAre("WASH(Wash1,1,)", "MOVE_TO_VIAL(Tray2,5,10000,)", "ASPIRATE(10ul,5000,2000,0,)",
                            "WAIT_FOR_DS()", "INJECT(Inj1,0,)", "WASH(Wash2,2,)"));
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(asked().empty());
}

TEST_F(CommandText, ValuesInInstrumentUnits) {
    EXPECT_EQ(command("DRAW_FROM(2.5,SL.tray,High,)"), "DRAW_FROM(2500,Tray2,2,)");
    EXPECT_EQ(command("DRAW_FROM(12.3456,Tray1,low)"), "DRAW_FROM(12345,Tray1,0,)");
    EXPECT_EQ(command("ASPIRATE(SYR,1,1,)"), "ASPIRATE(10ul,1000,1000,,)");  // optional Delay left empty
    EXPECT_EQ(command("ASPIRATE(SYR,1.005,0.1,0:30)"), "ASPIRATE(10ul,1005,100,30,)");
    EXPECT_EQ(command("ASPIRATE(SYR,SL.volume/2,SL.volume/0:05,)"), "ASPIRATE(10ul,2500,1000,,)");
    EXPECT_EQ(command("HEAT_TRAY(Tray3,37.5)"), "HEAT_TRAY(Tray3,37500,)");
    EXPECT_EQ(command("MOVE_TO_VIAL(Tray3,54,Tray.Offset y/4)"), "MOVE_TO_VIAL(Tray3,54,27500,)");
    EXPECT_EQ(command("REPEAT(3,)"), "REPEAT(3,)");
    EXPECT_EQ(command("END()"), "END()");
    // An argument that is no item of its list travels as -1.
    EXPECT_EQ(command("INJECT(Inj1,Sideways,)"), "INJECT(Inj1,-1,)");
    // The SL object variables nobody sets are empty; an empty object gives a "Max Index" of 1.
    EXPECT_EQ(command("MOVE_TO_VIAL(SL.tray2,1,1)"), "MOVE_TO_VIAL(,1,1000,)");
}

TEST_F(CommandText, OutOfRangeValuesArePulledBackOrAsked) {
    // Without a range question (the setup library) the violated bound is taken silently.
    EXPECT_EQ(command("ASPIRATE(SYR,-1,1,)"), "ASPIRATE(10ul,0,1000,,)");
    EXPECT_EQ(command("ASPIRATE(SYR,50,1,)"), "ASPIRATE(10ul,10000,1000,,)");  // SYR.Volume of 10ul
    EXPECT_EQ(command("MOVE_TO_VIAL(Tray3,55,10)"), "MOVE_TO_VIAL(Tray3,54,10000,)");
    EXPECT_TRUE(messages().empty());

    // With one (the run-time driver), its answer is used.
    core::engine_hooks().ask_out_of_range = record_range_question;
    answer_for_range = 7;
    EXPECT_EQ(command("ASPIRATE(SYR,50,1,)"), "ASPIRATE(10ul,7000,1000,,)");
    ASSERT_EQ(asked().size(), 1u);
    EXPECT_EQ(asked()[0].context, "ASPIRATE:Volume");
    EXPECT_EQ(asked()[0].unit, MU "l");
    EXPECT_EQ(asked()[0].max, 10);
    EXPECT_EQ(asked()[0].min, 0);
    EXPECT_EQ(asked()[0].bound, 10);
    EXPECT_EQ(asked()[0].value, 50);
    answer_for_range = 0.05;
    EXPECT_EQ(command("ASPIRATE(SYR,1,0.01,)"), "ASPIRATE(10ul,1000,50,,)");
    EXPECT_EQ(asked()[1].bound, 0.1);
    // An answer that no instrument integer can carry is refused.
    answer_for_range = 1e300;
    EXPECT_THAT(refusal("ASPIRATE(SYR,50,1,)"), ElementsAre("ASPIRATE:Volume: 50 is out of range"));
}

TEST_F(CommandText, LinesThatCannotBeConverted) {
    EXPECT_THAT(refusal("ASPIRATE(SYR,1)"), ElementsAre("ASPIRATE:Speed cannot be defaulted"));
    EXPECT_THAT(refusal("ASPIRATE(SYR,Bogus,1,)"), ElementsAre("ASPIRATE:Volume: cant understand Bogus"));
    // The wrong unit of a run variable: the evaluator says which variable, the builder which value.
    EXPECT_THAT(refusal("ASPIRATE(SYR,SL.index,1,)"),
                ElementsAre("SL.index has wrong units for ASPIRATE:Volume",
                            "ASPIRATE:Volume: cant understand SL.index"));
    EXPECT_THAT(refusal("FLY(1)"), ElementsAre("FLY is not an atom!"));
    // A limit that does not evaluate: without a method syringe there is no SYR.Volume.
    ASSERT_TRUE(core::build_running_method("", 0, standard_method()));
    EXPECT_THAT(refusal("ASPIRATE(SYR,1,1,)"), ElementsAre("cant understand SYR.Volume"));
}

TEST_F(CommandText, ErrorMacroLinesGiveTheSameTwoMessagesForAWrongUnit) {
    std::string text;
    ASSERT_TRUE(core::error_line_to_command("WASH(Wash1,2)", text)) << testing::PrintToString(messages());
    EXPECT_EQ(text, "WASH(Wash1,2,)");
    clear_messages();
    EXPECT_FALSE(core::error_line_to_command("ASPIRATE(SYR,SL.index,1,)", text));
    EXPECT_THAT(messages(), ElementsAre("SL.index has wrong units for ASPIRATE:Volume",
                                        "SL.index: cant understand ASPIRATE:Volume"));
    clear_messages();
    EXPECT_FALSE(core::error_line_to_command("ASPIRATE(SYR,Bogus,1,)", text));
    EXPECT_THAT(messages(), ElementsAre("Bogus: cant understand ASPIRATE:Volume"));
}

TEST_F(CommandText, MacroParametersComeFromTheStepLine) {
    // The step's argument for Volume is evaluated when the command is built.
    std::vector<std::string> text = standard_method();
    text[0] = "Load Sample(SL.tray,SL.volume*1.5,1)";
    ASSERT_TRUE(core::build_running_method("100ul", 0, text));
    std::string command_text;
    ASSERT_TRUE(core::line_to_command(2, method_state().expanded_method[2], command_text));
    EXPECT_EQ(command_text, "ASPIRATE(10ul,7500,1000,0,)");
}

TEST_F(CommandText, AStepArgumentThatNamesItsOwnParameterFailsCleanly) {
    // The step passes "Volume" for the parameter Volume: the expansion accepts it (number
    // arguments are expressions), the command cannot be built, and nothing recurses.
    std::vector<std::string> text = standard_method();
    text[0] = "Load Sample(SL.tray,Volume,Speed)";
    ASSERT_TRUE(core::build_running_method("10ul", 0, text));
    std::string command_text;
    EXPECT_FALSE(core::line_to_command(2, method_state().expanded_method[2], command_text));
    EXPECT_THAT(messages(), ElementsAre("ASPIRATE:Volume: cant understand Volume"));
}

TEST_F(CommandText, ObjectVariables) {
    EXPECT_TRUE(core::is_object_variable("sl.tray"));
    EXPECT_TRUE(core::is_object_variable("SL.injector2"));
    EXPECT_FALSE(core::is_object_variable("SYR"));
    EXPECT_TRUE(core::is_syr("syr"));
    std::string text = "SYR";
    EXPECT_TRUE(core::substitute_object_variable(text));
    EXPECT_EQ(text, "10ul");
    text = "SL.Tray";
    EXPECT_TRUE(core::substitute_object_variable(text));
    EXPECT_EQ(text, "Tray2");
    text = "SL.injector";
    EXPECT_TRUE(core::substitute_object_variable(text));
    EXPECT_EQ(text, "");
    text = "Tray1";
    EXPECT_FALSE(core::substitute_object_variable(text));
    EXPECT_EQ(text, "Tray1");
}

TEST_F(CommandText, LimitValue) {
    EXPECT_EQ(core::limit_value("C", "", 10, 0, 5), 5);
    EXPECT_EQ(core::limit_value("C", "", 10, 0, 10), 10);
    EXPECT_EQ(core::limit_value("C", "", 10, 0, -0.5), 0);
    EXPECT_EQ(core::limit_value("C", "", 10, 0, 11), 10);
    EXPECT_EQ(core::limit_value("C", "", 10, 0, std::nan("")), 0);  // not at or above min
}

}  // namespace
}  // namespace core_test
