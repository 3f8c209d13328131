// Parameter expressions: which texts are valid in which unit, what they evaluate to, the
// references along objects, and that no text recurses without end or searches for ever.
#include <gmock/gmock.h>

#include "core/expressions.h"
#include "core/tests/engine_fixture.h"

namespace core_test {
namespace {

using testing::ElementsAre;

const std::string ul = MU "l";
const std::string ul_s = MU "l/s";
const std::string mm = "mm";

class Expressions : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        load_standard_configuration();
        set_example_run();
    }
    static int atom(const char* name) { return core::find_atom(name); }
};

TEST_F(Expressions, RemoveBlanksKeepsBlanksBetweenWords) {
    EXPECT_EQ(core::remove_blanks(" 1 + 2 "), "1+2");
    EXPECT_EQ(core::remove_blanks("Tray.Max Index * 2"), "Tray.Max Index*2");
    EXPECT_EQ(core::remove_blanks("( SL.volume )"), "(SL.volume)");
    EXPECT_EQ(core::remove_blanks("1  +2"), "1 +2");  // one pass: the blank beside a blank stays
    EXPECT_EQ(core::remove_blanks(""), "");
}

struct CheckCase {
    const char* text;
    std::string unit;
    bool valid;
};

TEST_F(Expressions, CheckerFollowsTheUnitRules) {
    const CheckCase cases[] = {
        {"5", "", true},
        {"5", ul, true},
        {"-2.5", ul_s, true},
        {"1:30", "s", true},
        {"1:30", "", false},
        {"SL.volume*2", ul, true},
        {"SL.volume", "", false},
        {"SL.volume/SL.volume", "", false},  // µl divided by µl is no rule
        {"10*2", ul_s, true},
        {"SL.volume/5", ul_s, true},  // µl per second, 5 taken as seconds
        {"SL.volume/1:30", ul_s, true},
        {"2*SL.volume", ul, true},
        {"SL.index*SL.volume", ul, true},
        {"SL.volume+SL.index", ul, false},
        {"Repeat Count", "", true},
        {"Repeat Count", ul, false},
        {"Repeat Count*SL.volume", ul, true},
        {"user_index+SL.index-SL.injpervial", "", true},
        {"SL.volume2 - 1", ul, true},
        {" 2 * ( SL.volume + 1 ) ", ul, true},
        {"(1+2)*(3+4)", "", true},
        {"-(2+3)", "", true},
        {"--5", "", true},
        {"()", "", false},
        {"1+", "", false},
        {"*1", "", false},
        {"SL.tray", "", false},
        {"Volume", ul, false},  // no macro parameters here
    };
    for (const CheckCase& c : cases)
        EXPECT_EQ(core::check_expression(c.text, c.unit, true, false, -1, {}), c.valid)
            << c.text << " [" << c.unit << "]";
    EXPECT_TRUE(core::check_expression("", ul, true, true, -1, {}));
    EXPECT_FALSE(core::check_expression(" ", ul, true, false, -1, {}));
}

TEST_F(Expressions, SyringeObjectAndMacroParameterReferences) {
    // Syringe attributes only where allowed, and only in their own unit.
    EXPECT_TRUE(core::check_expression("SYR.Volume", ul, true, false, -1, {}));
    EXPECT_FALSE(core::check_expression("SYR.Volume", ul, false, false, -1, {}));
    EXPECT_FALSE(core::check_expression("SYR.Volume", ul_s, true, false, -1, {}));
    EXPECT_TRUE(core::check_expression("SYR.Max Speed/2", ul_s, true, false, -1, {}));
    EXPECT_TRUE(core::check_expression("syr.needle length-1", mm, true, false, -1, {}));
    // Object attributes through an object parameter of the atom.
    EXPECT_TRUE(core::check_expression("Tray.Max Index", "", true, false, atom("MOVE_TO_VIAL"), {}));
    EXPECT_FALSE(core::check_expression("Tray.Max Index", mm, true, false, atom("MOVE_TO_VIAL"), {}));
    EXPECT_FALSE(core::check_expression("Tray.Max Index", "", true, false, atom("ASPIRATE"), {}));
    EXPECT_TRUE(core::check_expression("Tray.Offset x+1", mm, true, false, atom("MOVE_TO_VIAL"), {}));
    EXPECT_FALSE(core::check_expression("Depth.Offset x", mm, true, false, atom("MOVE_TO_VIAL"), {}));
    // Macro parameters in their declared unit.
    std::vector<core::MacroParam> params(2);
    params[0].name = "Volume";
    params[0].unit = ul;
    params[1].name = "Count";
    EXPECT_TRUE(core::check_expression("volume*2", ul, true, false, -1, params));
    EXPECT_FALSE(core::check_expression("Volume", "", true, false, -1, params));
    EXPECT_TRUE(core::check_expression("Volume*Count", ul, true, false, -1, params));
    EXPECT_FALSE(core::check_expression("Volume*Count", ul, true, false, -1, std::span(params).first(1)));
}

TEST_F(Expressions, LongTextsAreRefusedAndNeverSearchedForLong) {
    std::string sum = "1";
    while (sum.size() + 2 <= core::max_expression_length) sum += "+1";
    EXPECT_TRUE(core::check_expression(sum, "", true, false, -1, {}));
    double value = 0;
    EXPECT_TRUE(core::evaluate_expression(sum, "", {}, "T:P", value));
    EXPECT_EQ(value, double(sum.size() / 2 + 1));
    EXPECT_FALSE(core::check_expression(sum + "+1", "", true, false, -1, {}));
    EXPECT_FALSE(core::evaluate_expression(sum + "+1", "", {}, "T:P", value));

    // Invalid texts with an operator at every other place: every split is tried, and each part
    // is judged once.
    std::string products = "x";
    while (products.size() + 2 <= core::max_expression_length) products = "1*" + products;
    EXPECT_FALSE(core::check_expression(products, ul, true, false, -1, {}));
    EXPECT_FALSE(core::evaluate_expression(products, ul, {}, "T:P", value));
    std::string nested(90, '(');
    nested += "SL.volume" + std::string(90, ')');
    EXPECT_TRUE(core::check_expression(nested, ul, true, false, -1, {}));
    EXPECT_TRUE(core::evaluate_expression(nested, ul, {}, "T:P", value));
    EXPECT_EQ(value, 5);
}

struct EvalCase {
    const char* text;
    std::string unit;
    double value;
};

TEST_F(Expressions, EvaluatorArithmetic) {
    core::run_variables().repeat_total = 3;
    core::run_variables().repeat_remaining = 2;
    core::run_variables().user_index = 4;
    const EvalCase cases[] = {
        {"8-2-1", "", 5},
        {"2*-3", "", -6},
        {"-(2+3)", "", -5},
        {"4/0", "", 0},  // a zero divisor gives 0
        {"10/4", "", 2.5},
        {"2+3*4", "", 14},
        {"2*3+4", "", 10},
        {"(1+2)*(3+4)", "", 21},
        {"1:30", "s", 90},
        {":45", "s", 45},
        {"SL.volume*2", ul, 10},
        {"SL.volume/0:02", ul_s, 2.5},
        {"SL.index*SL.volume", ul, 25},
        {"Repeat Count", "", 2},
        {"user_index-1", "", 3},
        {"SL.volume2", ul, 0},
        {"5--3", "", 8},
    };
    for (const EvalCase& c : cases) {
        double value = -1;
        EXPECT_TRUE(core::evaluate_expression(c.text, c.unit, {}, "T:P", value)) << c.text;
        EXPECT_DOUBLE_EQ(value, c.value) << c.text;
    }
    EXPECT_TRUE(messages().empty());
}

TEST_F(Expressions, SignedTimes) {
    // A "-" in front of the minutes covers the whole time; seconds behind minutes carry no sign of
    // their own, so "1:-5" is the time 1: less 5 seconds.
    const EvalCase cases[] = {
        {"-1:30", "s", -90}, {"-0:30", "s", -30},    {"1:-5", "s", 55},
        {"-1:", "s", -60},   {"2:30-1:45", "s", 45},
    };
    for (const EvalCase& c : cases) {
        EXPECT_TRUE(core::check_expression(c.text, c.unit, false, false, -1, {})) << c.text;
        double value = 0;
        EXPECT_TRUE(core::evaluate_expression(c.text, c.unit, {}, "T:P", value)) << c.text;
        EXPECT_DOUBLE_EQ(value, c.value) << c.text;
    }
}

TEST_F(Expressions, WrongUnitOfARunVariableIsReportedOnceWhenNothingElseFits) {
    double value = 0;
    bool reported = false;
    EXPECT_FALSE(core::evaluate_expression("SL.index", ul, {}, "ASPIRATE:Volume", value, &reported));
    EXPECT_TRUE(reported);
    EXPECT_THAT(messages(), ElementsAre("SL.index has wrong units for ASPIRATE:Volume"));
    // A split that tries SL.index in µl first and then finds the right reading says nothing.
    clear_messages();
    EXPECT_TRUE(core::evaluate_expression("SL.index*SL.volume", ul, {}, "ASPIRATE:Volume", value, &reported));
    EXPECT_FALSE(reported);
    EXPECT_TRUE(messages().empty());
    // Other failures are silent.
    EXPECT_FALSE(core::evaluate_expression("Bogus", ul, {}, "ASPIRATE:Volume", value, &reported));
    EXPECT_FALSE(reported);
    EXPECT_TRUE(messages().empty());
}

TEST_F(Expressions, SyringeAttributesReadTheMethodSyringe) {
    core::EvaluationScope scope;
    double value = 0;
    scope.syringe = core::object_record_by_name("100ul");
    EXPECT_TRUE(core::evaluate_expression("SYR.Volume", ul, scope, "T:P", value));
    EXPECT_EQ(value, 100);
    EXPECT_TRUE(core::evaluate_expression("SYR.Max Speed/2", ul_s, scope, "T:P", value));
    EXPECT_EQ(value, 100);
    // Without a method syringe, or with an object that is no syringe, there is nothing to read.
    scope.syringe = nullptr;
    EXPECT_FALSE(core::evaluate_expression("SYR.Volume", ul, scope, "T:P", value));
    scope.syringe = core::object_record_by_name("Tray1");
    EXPECT_FALSE(core::evaluate_expression("SYR.Volume", ul, scope, "T:P", value));
}

TEST_F(Expressions, ObjectAttributesAlongReferences) {
    const std::vector<std::string> line{"Tray2", "1", "10"};
    core::EvaluationScope scope;
    scope.atom = atom("MOVE_TO_VIAL");
    scope.line_args = line;
    double value = 0;
    EXPECT_TRUE(core::evaluate_expression("Tray.Max Index", "", scope, "T:P", value));
    EXPECT_EQ(value, 96);  // Tray2 -> Tray Type VT96BC: 8 x 12
    EXPECT_TRUE(core::evaluate_expression("Tray.Offset x", mm, scope, "T:P", value));
    EXPECT_EQ(value, 130);
    EXPECT_TRUE(core::evaluate_expression("Tray.Row Length Y", mm, scope, "T:P", value));
    EXPECT_EQ(value, 99);
    // An object variable as the argument.
    const std::vector<std::string> via_variable{"SL.tray", "1", "10"};
    scope.line_args = via_variable;
    core::run_variables().sample_tray = "Tray3";
    EXPECT_TRUE(core::evaluate_expression("Tray.Max Index-1", "", scope, "T:P", value));
    EXPECT_EQ(value, 53);
    // An empty object, or an attribute no path reaches, gives 1.
    core::run_variables().sample_tray = "";
    EXPECT_TRUE(core::evaluate_expression("Tray.Max Index", "", scope, "T:P", value));
    EXPECT_EQ(value, 1);
    scope.line_args = line;
    EXPECT_TRUE(core::evaluate_expression("Tray.Depth", mm, scope, "T:P", value));  // a wash station's
    EXPECT_EQ(value, 1);
    // A reference that names no object gives no value at all.
    ASSERT_TRUE(core::set_text_value(*core::object_record_by_name("Tray2"), 0, "None"));
    EXPECT_FALSE(core::evaluate_expression("Tray.Max Index", "", scope, "T:P", value));
    EXPECT_EQ(core::max_index("VT54R"), 54);
    EXPECT_EQ(core::max_index("Tray2"), 0);
}

TEST_F(Expressions, APathThroughOneClassDoesNotReadAnObjectOfAnother) {
    ASSERT_TRUE(core::read_configuration({
        "[LISTS]",
        "[CLASSES]",
        "!SYRINGE",
        "!RACK",
        "Kind;BIG;SMALL",
        "!BIG",
        "Spl Per Col;1;9;1;1;E",
        "Spl Per Row;1;9;1;1;E",
        "!SMALL",
        "&Note",
        "Width;0;9;1;1;E",
        "[OBJECTS]",
        "BIG;B1;3;4",
        "SMALL;S1;x;7",
        "RACK;R1;B1",
        "RACK;R2;S1",
        "[ATOMS]",
        "!PLACE",
        "Rack;RACK",
        "Index;1;Rack.Max Index;1;1;E",
    }));
    core::EvaluationScope scope;
    scope.atom = core::find_atom("PLACE");
    double value = 0;
    const std::vector<std::string> big{"R1", "1"};
    scope.line_args = big;
    EXPECT_TRUE(core::evaluate_expression("Rack.Max Index", "", scope, "T:P", value));
    EXPECT_EQ(value, 12);
    // The path runs through BIG; R2 references a SMALL object, whose slots mean other things.
    const std::vector<std::string> small{"R2", "1"};
    scope.line_args = small;
    EXPECT_FALSE(core::evaluate_expression("Rack.Max Index", "", scope, "T:P", value));
}

TEST_F(Expressions, MacroParametersTakeTheStepsArguments) {
    std::vector<core::MacroParam> params(3);
    params[0].name = "Volume";
    params[0].unit = ul;
    params[1].name = "Speed";
    params[1].unit = ul_s;
    params[2].name = "Twice";
    params[2].unit = ul;
    std::vector<std::string> step{"SL.volume*2", "Volume/4", "Volume*2"};
    core::EvaluationScope scope;
    scope.params = params;
    scope.step_args = step;
    double value = 0;
    EXPECT_TRUE(core::evaluate_expression("Volume+1", ul, scope, "T:P", value));
    EXPECT_EQ(value, 11);
    // A step argument may use the macro's other parameters.
    EXPECT_TRUE(core::evaluate_expression("Twice", ul, scope, "T:P", value));
    EXPECT_EQ(value, 20);
    EXPECT_TRUE(core::evaluate_expression("Speed", ul_s, scope, "T:P", value));  // 10 µl / 4 s
    EXPECT_EQ(value, 2.5);
    // Error-macro lines have no macro parameters.
    EXPECT_FALSE(core::evaluate_error_expression("Volume", ul, nullptr, "T:P", -1, {}, value));
}

TEST_F(Expressions, AParameterThatNamesItselfDoesNotRecurse) {
    std::vector<core::MacroParam> params(3);
    params[0].name = "Volume";
    params[0].unit = ul;
    params[1].name = "A";
    params[1].unit = ul;
    params[2].name = "B";
    params[2].unit = ul;
    // The step "Load Sample(SL.tray,Volume,2)" for the parameter Volume, and A and B naming each
    // other: each fails like any text that does not evaluate.
    std::vector<std::string> step{"Volume", "B+1", "A*2"};
    core::EvaluationScope scope;
    scope.params = params;
    scope.step_args = step;
    double value = 0;
    EXPECT_FALSE(core::evaluate_expression("Volume", ul, scope, "T:P", value));
    EXPECT_FALSE(core::evaluate_expression("A", ul, scope, "T:P", value));
    EXPECT_FALSE(core::evaluate_expression("B-Volume", ul, scope, "T:P", value));
    // With every parameter named in every argument, forty deep.
    std::vector<core::MacroParam> many(core::max_macro_params);
    std::vector<std::string> arguments(core::max_macro_params);
    for (int i = 0; i < core::max_macro_params; ++i) {
        many[i].name = "P" + std::to_string(i);
        many[i].unit = ul;
        arguments[i] = "P" + std::to_string((i + 1) % core::max_macro_params) + "+1";
    }
    arguments.back() = "1";
    scope.params = many;
    scope.step_args = arguments;
    EXPECT_TRUE(core::evaluate_expression("P0", ul, scope, "T:P", value));
    EXPECT_EQ(value, core::max_macro_params);
    arguments.back() = "P0";
    EXPECT_FALSE(core::evaluate_expression("P0", ul, scope, "T:P", value));
    EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace core_test
