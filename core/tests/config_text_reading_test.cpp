// Reading the configuration text: what a realistic configuration gives in the model, the
// format's corner cases, and one clear message for every damaged or oversized text.
#include <gmock/gmock.h>

#include <fstream>

#include "core/tests/engine_fixture.h"
#include "utilities/log.h"

namespace core_test {
namespace {

using core::config_model;
using testing::ElementsAre;

class ReadConfiguration : public EngineTest {};

TEST_F(ReadConfiguration, RealisticConfigurationInUserUnits) {
    load_standard_configuration();
    const core::Tconfig_model& m = config_model();
    EXPECT_EQ(m.list_count, 4);
    EXPECT_EQ(m.object_count, 16);
    EXPECT_EQ(m.text_atom_count, 9);
    EXPECT_EQ(m.atom_count, 9 + core::builtin_atom_count);

    struct Value {
        const char* object;
        const char* attribute;
        double expected;
    };
    // Number values are divided by 1000 for nl, µm, nl/s and m°C; "E" values are not.
    const Value values[] = {
        {"10ul", "Volume", 10},         {"10ul", "Max Speed", 50},     {"10ul", "Needle Length", 51},
        {"500ul", "Volume", 500},       {"Inj1", "Loop Volume", 20},   {"Wash1", "Depth", 20},
        {"Wash1", "Solvent Level", 1},  {"Wash2", "Solvent Level", 2}, {"VT54R", "Row Length X", 90},
        {"VT54R", "Col Length Y", -60}, {"VT96", "Spl Per Col", 8},    {"VT96BC", "Barcode", 1},
        {"Tray1", "Temperature", 4},  // "Off" is the attribute's min, 4000 m°C
        {"Tray2", "Temperature", 20},   {"Ready Out", "Pulse", 2},
    };
    for (const Value& v : values)
        EXPECT_EQ(core::get_number_attribute(v.object, v.attribute), v.expected)
            << v.object << ":" << v.attribute;
    EXPECT_EQ(core::get_text_attribute("Start In", "Description"), "Contact input");
    EXPECT_EQ(core::get_text_attribute("Tray3", "TrayTypeGroup"), "B");

    // Class limits stay in instrument units.
    const core::Tattribute_rec& volume = m.classes[m.syringe_class].attributes[0];
    EXPECT_EQ(volume.min, 1000);
    EXPECT_EQ(volume.max, 1000000);
    EXPECT_EQ(volume.unit.view(), MU "l");
    const core::Tattribute_rec& temperature = m.classes[m.tray_class].attributes[5];
    EXPECT_EQ(temperature.unit.view(), DEG "C");
    EXPECT_EQ(m.classes[m.tray_type_class].attributes[0].unit.view(), "");
    EXPECT_EQ(m.classes[m.tray_class].attributes[0].kind, core::ValueKind::object);
    EXPECT_EQ(m.classes[m.tray_class].attributes[0].list_or_mask, core::class_bit("TRAY_TYPE"));
}

TEST_F(ReadConfiguration, AtomLimitsAreExpressionsInUserUnits) {
    load_standard_configuration();
    struct Limits {
        const char* atom;
        int param;
        const char* unit;
        const char* min;
        const char* max;
        const char* default_value;
        const char* increment;
        bool required;
    };
    const Limits limits[] = {
        {"MOVE_TO_VIAL", 1, "", "1", "Tray.Max Index", "1", "1", true},
        {"MOVE_TO_VIAL", 2, "mm", "0", "50", "10", "0.1", true},
        {"ASPIRATE", 1, MU "l", "0", "SYR.Volume", "1", "0.001", true},
        {"ASPIRATE", 2, MU "l/s", "0.1", "SYR.Max Speed", "5", "0.001", true},
        {"ASPIRATE", 3, "s", "0", "60", "0", "1", false},
        {"HEAT_TRAY", 1, DEG "C", "4", "40", "20", "0.1", true},
        {"REPEAT", 0, "", "0", "1000000", "1", "1", true},
    };
    for (const Limits& l : limits) {
        const core::Tatom_rec& atom = config_model().atoms[core::find_atom(l.atom)];
        const core::Tatom_param_rec& p = atom.params[l.param];
        SCOPED_TRACE(std::string(l.atom) + ":" + p.name.str());
        EXPECT_EQ(p.kind, core::ValueKind::number);
        EXPECT_EQ(p.unit.view(), l.unit);
        EXPECT_EQ(p.min.view(), l.min);
        EXPECT_EQ(p.max.view(), l.max);
        EXPECT_EQ(p.default_value.view(), l.default_value);
        EXPECT_EQ(p.increment.view(), l.increment);
        EXPECT_EQ(p.required, l.required);
    }
    const core::Tatom_rec& inject = config_model().atoms[core::find_atom("INJECT")];
    EXPECT_EQ(inject.params[1].kind, core::ValueKind::list);
    EXPECT_EQ(inject.params[1].list_or_mask, 2u);
    const core::Tatom_rec& set_out = config_model().atoms[core::find_atom("SET_OUT")];
    EXPECT_EQ(set_out.params[0].list_or_mask, core::out_signal_class_bit() | core::sync_signal_class_bit());
}

TEST_F(ReadConfiguration, FieldsSplitAtSemicolons) {
    core::FieldTable f;
    EXPECT_EQ(core::split_fields("3;5;A;;B", f), 4);
    EXPECT_THAT(std::vector<std::string>(f.fields.begin(), f.fields.begin() + 5),
                ElementsAre("3", "5", "A", "", "B"));
    EXPECT_EQ(core::split_fields("a;b;", f), 1);  // a trailing ";" adds nothing
    EXPECT_EQ(core::split_fields("  a;  b c ;", f), 1);
    EXPECT_EQ(f[0], "a");
    EXPECT_EQ(f[1], "b c ");  // leading blanks skipped, trailing ones kept
    EXPECT_EQ(f[2], "");      // beyond the line
    EXPECT_EQ(core::split_fields("", f), 0);
    EXPECT_EQ(core::split_fields(std::string("a;b\0;c;d", 8), f), 1);  // a NUL ends the line
    std::string forty_one = "0";
    for (int i = 1; i < 41; ++i) forty_one += ";" + std::to_string(i);
    EXPECT_EQ(core::split_fields(forty_one, f), 40);
    EXPECT_FALSE(f.overflow);
    EXPECT_EQ(core::split_fields(forty_one + ";", f), 40);
    EXPECT_FALSE(f.overflow);
    core::split_fields(forty_one + ";41", f);
    EXPECT_TRUE(f.overflow);
}

TEST_F(ReadConfiguration, FormatCornerCases) {
    ASSERT_TRUE(core::read_configuration({
        "lines before the first header are outside every section",
        "[lists]",
        "3;5;A;;B",
        "0;1;X",
        "[Classes]",
        "!SYRINGE",
        "Volume;-1;1000;0;1;nl",
        "&Label",
        "Link;SYRINGE",
        "[OBJECTS]",
        "SYRINGE;S1;Off",
        "[ATOMS]",
        "!REPEAT",
        "Times;0;5;1;1;E",
    }));
    EXPECT_TRUE(messages().empty());
    const core::Tconfig_model& m = config_model();
    EXPECT_EQ(m.lists[3].item_count, 1);  // the list of values ends at the empty field
    EXPECT_EQ(m.lists[3].items[0].view(), "A");
    EXPECT_EQ(m.lists[3].maximum, 5);
    EXPECT_EQ(m.list_count, 2);
    // "Off" is the min, -1 nl: -0.001 µl. Missing text values are empty.
    EXPECT_DOUBLE_EQ(core::get_number_attribute("S1", "Volume"), -0.001);
    EXPECT_EQ(core::get_text_attribute("S1", "Label"), "");
    EXPECT_EQ(core::get_text_attribute("S1", "Link"), "");
    // The built-in REPEAT hides the text's atom of that name.
    EXPECT_EQ(core::find_atom("REPEAT"), 1 + 2);
    EXPECT_EQ(m.atoms[core::find_atom("REPEAT")].params[0].name.view(), "Count");
}

TEST_F(ReadConfiguration, LaterHeaderWinsAndAnOutOfOrderSectionIsEmpty) {
    ASSERT_TRUE(core::read_configuration({
        "[LISTS]",
        "0;1;Old",
        "[LISTS]",
        "0;1;New",
        "[CLASSES]",
        "!SYRINGE",
        "[OBJECTS]",
        "SYRINGE;S1",
        "[ATOMS]",
        "!GO",
    }));
    EXPECT_EQ(config_model().lists[0].items[0].view(), "New");
    EXPECT_EQ(config_model().list_count, 1);

    // [OBJECTS] after [ATOMS]: the objects section ends before it begins and is empty, while the
    // classes section runs up to [OBJECTS] and takes the stray [ATOMS] as a record.
    EXPECT_FALSE(core::read_configuration({"[LISTS]", "[CLASSES]", "!SYRINGE", "[ATOMS]", "[OBJECTS]"}));
    EXPECT_EQ(config_model().object_count, 0);
    EXPECT_THAT(messages(), ElementsAre("Not a real number:SYRINGE:[ATOMS] min"));
}

TEST_F(ReadConfiguration, NamesAreCutToTheirWidth) {
    ASSERT_TRUE(core::read_configuration({
        "[LISTS]",
        "0;1;An item of twenty-nine chars",
        "[CLASSES]",
        "!SYRINGE",
        "An attribute named too long;0;1;0;1;E",
        "[OBJECTS]",
        "SYRINGE;An object name of 30 chars...;1",
        "[ATOMS]",
        "!An atom name of thirty chars.",
    }));
    const core::Tconfig_model& m = config_model();
    EXPECT_EQ(m.lists[0].items[0].view(), "An item of twenty-nine c");
    EXPECT_EQ(m.classes[0].attributes[0].name.view(), "An attribute named t");
    EXPECT_EQ(m.objects[0].name.view(), "An object name of 30 cha");
    EXPECT_EQ(m.atoms[0].name.view(), "An atom name of thirty c");
}

TEST_F(ReadConfiguration, ARereadForgetsTheFormerModel) {
    load_standard_configuration();
    ASSERT_TRUE(core::read_configuration({"[LISTS]", "[CLASSES]", "!SYRINGE", "[OBJECTS]", "[ATOMS]"}));
    const core::Tconfig_model& m = config_model();
    EXPECT_EQ(m.tray_class, -1);  // not the index of the former configuration's TRAY class
    EXPECT_EQ(core::find_list_item(1, "Low"), -1);
    EXPECT_EQ(m.atom_count, core::builtin_atom_count);
}

// A small configuration that reads cleanly; the damaged fixtures below each change one line.
std::vector<std::string> small_configuration() {
    return {
        "[LISTS]",
        "0;2;None;AutoFix",
        "[CLASSES]",
        "!SYRINGE",
        "Volume;1000;1000000;10000;1;nl",
        "!TRAY",
        "Rows;1;50;8;1;E",
        "&Label",
        "Holder;TRAY",
        "#Barcode;0;1;0;0",
        "[OBJECTS]",
        "SYRINGE;10ul;10000",
        "TRAY;T1;8;first;None;0",
        "[ATOMS]",
        "!ASPIRATE",
        "Syringe;SYRINGE",
        "Volume;0;SYR.Volume;1000;1;nl",
        "#Mode;0;1;0;0",
    };
}

std::vector<std::string> replaced(std::vector<std::string> text, const std::string& old_line,
                                  const std::vector<std::string>& new_lines) {
    auto it = std::find(text.begin(), text.end(), old_line);
    if (it == text.end()) ADD_FAILURE() << "fixture has no line " << old_line;
    it = text.erase(it);
    text.insert(it, new_lines.begin(), new_lines.end());
    return text;
}

struct Damage {
    const char* what;
    const char* line;               // the line of the small configuration replaced ...
    std::vector<std::string> with;  // ... by these
    const char* message;
};

// One damaged line each, and the one message it must give.
const Damage damages[] = {
    {"no syringe class", "!SYRINGE", {"!PUMP"}, "No syringe class was found!"},
    {"a section missing", "[ATOMS]", {"[ATOM]"}, "The configuration has no [ATOMS] section"},
    {"list number too high", "0;2;None;AutoFix", {"100;2;A"}, "bad list id 100"},
    {"list number negative", "0;2;None;AutoFix", {"-1;2;A"}, "bad list id -1"},
    // The message names the list, not the maximum.
    {"negative list maximum", "0;2;None;AutoFix", {"7;-1;A"}, "bad list max 7"},
    {"list number not a number", "0;2;None;AutoFix", {"x;2;A"}, "Not a number:list 1"},
    {"list maximum not a number", "0;2;None;AutoFix", {"0;2;None;AutoFix", "1;two;A"}, "Not a number:list 2"},
    {"missing number value", "TRAY;T1;8;first;None;0", {"TRAY;T1"}, "Not a real number:T1:Rows"},
    {"missing list value",
     "TRAY;T1;8;first;None;0",
     {"TRAY;T1;8;first;None"},
     "Not a real number:T1:Barcode"},
    {"number value with exponent",
     "TRAY;T1;8;first;None;0",
     {"TRAY;T1;8e1;first;None;0"},
     "Not a real number:T1:Rows"},
    {"object of an unknown class", "TRAY;T1;8;first;None;0", {"BOX;B1"}, "BOX is not a known class!"},
    {"object without a name",
     "TRAY;T1;8;first;None;0",
     {"TRAY;"},
     "an object of class TRAY must have a name to be defined"},
    {"blank line among the objects",
     "TRAY;T1;8;first;None;0",
     {"TRAY;T1;8;first;None;0", ""},
     " is not a known class!"},
    {"blank line among the classes", "&Label", {"&Label", ""}, "Not a real number:TRAY: min"},
    {"reference to no class", "Holder;TRAY", {"Holder;TRAY;BOX"}, "BOX in class TRAY is not a class!"},
    {"bad class limit", "Rows;1;50;8;1;E", {"Rows;1;5O;8;1;E"}, "Not a real number:TRAY:Rows max"},
    {"list attribute list number",
     "#Barcode;0;1;0;0",
     {"#Barcode;0;1;0;zero"},
     "Not a number:TRAY:#Barcode list number"},
    {"list attribute list number out of range",
     "#Barcode;0;1;0;0",
     {"#Barcode;0;1;0;100"},
     "TRAY:#Barcode list number: bad list id 100"},
    {"atom object parameter of no class",
     "Syringe;SYRINGE",
     {"Syringe;SYRINGE;PUMP"},
     "PUMP in ASPIRATE:Syringe is not a class!"},
    // A limit the checker rejects: reported, and sent to the debug output too.
    {"atom limit not an expression",
     "Volume;0;SYR.Volume;1000;1;nl",
     {"Volume;0;SYR.Weight;1000;1;nl"},
     "problem with ASPIRATE:Volume"},
    {"atom limit in the wrong unit",
     "Volume;0;SYR.Volume;1000;1;nl",
     {"Volume;0;SYR.Volume;1000;1;E"},
     "problem with ASPIRATE:Volume"},
    {"atom list parameter list number",
     "#Mode;0;1;0;0",
     {"#Mode;0;1;0;none"},
     "Not a number:ASPIRATE:Mode list number"},
    // Outside the format: refused, never read past a table.
    {"attribute before the first class",
     "!SYRINGE",
     {"Rows;1;50;8;1;E", "!SYRINGE"},
     "Attribute line before the first class: Rows;1;50;8;1;E"},
    {"parameter before the first atom",
     "!ASPIRATE",
     {"X;0;1;0;1;E", "!ASPIRATE"},
     "Parameter line before the first atom: X;0;1;0;1;E"},
    {"number value beyond the range",
     "TRAY;T1;8;first;None;0",
     {"TRAY;T1;10000000000000000;first;None;0"},
     "Number out of range:T1:Rows"},
    {"class limit beyond the range",
     "Rows;1;50;8;1;E",
     {"Rows;1;50;8;1000000000000000.5;E"},
     "Number out of range:TRAY:Rows increment"},
    {"line of 42 fields",
     "0;2;None;AutoFix",
     {"0;2;a;b;c;d;e;f;g;h;i;j;k;l;m;n;o;p;q;r;s;t;u;v;w;x;y;z;A;B;C;D;E;F;G;H;I;J;K;L;M;N"},
     "Line has more than 41 fields: 0;2;a;b;c;d;e;f;g;h;i;j;k;l;m;n;o;p;q;r;s;t;u;v;w;x;y;z;A;B;..."},
};

TEST_F(ReadConfiguration, DamagedTextsStopWithOneMessage) {
    ASSERT_TRUE(core::read_configuration(small_configuration())) << testing::PrintToString(messages());
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        clear_messages();
        debug_lines().clear();
        EXPECT_FALSE(core::read_configuration(replaced(small_configuration(), d.line, d.with)));
        EXPECT_THAT(messages(), ElementsAre(d.message));
    }
}

TEST_F(ReadConfiguration, TextsLongerThanTheirFieldAreCutAndLogged) {
    putils::session().log_enabled = true;
    std::vector<std::string> text = replaced(small_configuration(), "TRAY;T1;8;first;None;0",
                                             {"TRAY;T1;8;twenty characters long;A Tray Of 22 Letters;0"});
    text = replaced(text, "Volume;0;SYR.Volume;1000;1;nl",
                    {"Volume;0;SYR.Volume-SYR.Volume+SYR.Volume-SYR.Volume;1000;1;nl"});
    text = replaced(text, "Rows;1;50;8;1;E", {"Rows;1;50;8;1;counts"});
    ASSERT_TRUE(core::read_configuration(text)) << testing::PrintToString(messages());
    EXPECT_THAT(messages(), testing::IsEmpty());
    EXPECT_EQ(core::get_text_attribute("T1", "Label"), "twenty characters l");
    EXPECT_EQ(core::get_text_attribute("T1", "Holder"), "A Tray Of 22 Letter");
    const core::Tatom_param_rec& volume = config_model().atoms[core::find_atom("ASPIRATE")].params[1];
    EXPECT_EQ(volume.max.view(), "SYR.Volume-SYR.Volume+SYR.Volume-SYR.Volum");
    EXPECT_EQ(volume.max.view().size(), 42u);
    EXPECT_EQ(config_model().classes[core::find_class("TRAY")].attributes[0].unit.view(), "coun");

    std::ifstream log(putils::log_file_path());
    std::vector<std::string> logged;
    for (std::string line; std::getline(log, line);) logged.push_back(line.substr(line.find(" : ") + 3));
    EXPECT_THAT(logged,
                ElementsAre("TRAY:Rows: the unit counts is cut to 4 characters\r",
                            "T1:Label: the text twenty characters long is cut to 19 characters\r",
                            "T1:Holder: the text A Tray Of 22 Letters is cut to 19 characters\r",
                            "ASPIRATE:Volume: the limit SYR.Volume-SYR.Volume+SYR.Volume-SYR.Volume is "
                            "cut to 42 characters\r"));
}

TEST_F(ReadConfiguration, AtomProblemsGoToTheDebugOutput) {
    EXPECT_FALSE(core::read_configuration(
        replaced(small_configuration(), "Volume;0;SYR.Volume;1000;1;nl", {"Volume;0;SYR.Weight;1000;1;nl"})));
    EXPECT_THAT(debug_lines(), ElementsAre("problem with ASPIRATE:Volume"));
    // Without a debug sink the message box still tells the user.
    core::reset_engine_hooks();
    clear_messages();
    EXPECT_FALSE(core::read_configuration(
        replaced(small_configuration(), "Volume;0;SYR.Volume;1000;1;nl", {"Volume;0;1;1000;x;nl"})));
    EXPECT_THAT(messages(), ElementsAre("problem with ASPIRATE:Volume"));
}

TEST_F(ReadConfiguration, AFailedReadKeepsWhatWasReadBeforeIt) {
    EXPECT_FALSE(
        core::read_configuration(replaced(small_configuration(), "TRAY;T1;8;first;None;0", {"TRAY;T1"})));
    const core::Tconfig_model& m = config_model();
    EXPECT_EQ(m.list_count, 1);
    EXPECT_EQ(m.class_count, 2);
    EXPECT_EQ(m.object_count, 2);
    EXPECT_EQ(m.atom_count, 0);
}

// Texts that need one more entry than a table of the model has.
struct Overflow {
    const char* what;
    std::vector<std::string> text;
    const char* message;
};

std::vector<std::string> with_classes(int count, const std::vector<std::string>& rest) {
    std::vector<std::string> text{"[LISTS]", "[CLASSES]", "!SYRINGE"};
    for (int c = 1; c < count; ++c) text.push_back("!C" + std::to_string(c));
    text.insert(text.end(), rest.begin(), rest.end());
    return text;
}

std::vector<Overflow> overflows() {
    std::vector<Overflow> cases;
    cases.push_back({"33 classes", with_classes(33, {"[OBJECTS]", "[ATOMS]"}),
                     "Too many classes: the configuration holds at most 32"});

    std::vector<std::string> attributes{"[LISTS]", "[CLASSES]", "!SYRINGE"};
    for (int a = 0; a < 25; ++a) attributes.push_back("A" + std::to_string(a) + ";0;1;0;1;E");
    attributes.insert(attributes.end(), {"[OBJECTS]", "[ATOMS]"});
    cases.push_back({"25 attributes", attributes, "SYRINGE: a class holds at most 24 attributes"});

    std::vector<std::string> objects{"[LISTS]", "[CLASSES]", "!SYRINGE", "[OBJECTS]"};
    for (int k = 0; k < 201; ++k) objects.push_back("SYRINGE;S" + std::to_string(k));
    objects.push_back("[ATOMS]");
    cases.push_back({"201 objects", objects, "Too many objects: the configuration holds at most 200"});

    // 24 text attributes take 480 bytes an object: the 84th object needs more than 40000.
    std::vector<std::string> area{"[LISTS]", "[CLASSES]", "!SYRINGE"};
    for (int a = 0; a < 24; ++a) area.push_back("&T" + std::to_string(a));
    area.push_back("[OBJECTS]");
    for (int k = 0; k < 84; ++k) area.push_back("SYRINGE;S" + std::to_string(k));
    area.push_back("[ATOMS]");
    cases.push_back({"value area", area, "Object values need more than 40000 bytes, at object S83"});

    std::vector<std::string> atoms{"[LISTS]", "[CLASSES]", "!SYRINGE", "[OBJECTS]", "[ATOMS]"};
    for (int t = 0; t < 52; ++t) atoms.push_back("!A" + std::to_string(t));
    cases.push_back({"52 atoms", atoms, "Too many atoms: the configuration holds at most 51"});

    std::vector<std::string> params{"[LISTS]", "[CLASSES]", "!SYRINGE", "[OBJECTS]", "[ATOMS]", "!BIG"};
    for (int p = 0; p < 41; ++p) params.push_back("P" + std::to_string(p) + ";0;1;0;1;E");
    cases.push_back({"41 parameters", params, "BIG: an atom holds at most 40 parameters"});
    return cases;
}

TEST_F(ReadConfiguration, OneEntryBeyondATableIsRefused) {
    for (const Overflow& o : overflows()) {
        SCOPED_TRACE(o.what);
        clear_messages();
        EXPECT_FALSE(core::read_configuration(o.text));
        EXPECT_THAT(messages(), ElementsAre(o.message));
        // One entry fewer fits.
        std::vector<std::string> fitting = o.text;
        auto last_record = std::find_if(fitting.rbegin(), fitting.rend(),
                                        [](const std::string& l) { return !l.empty() && l.front() != '['; });
        fitting.erase(std::next(last_record).base());
        clear_messages();
        EXPECT_TRUE(core::read_configuration(fitting)) << testing::PrintToString(messages());
    }
}

TEST_F(ReadConfiguration, ExactlyFullModelReads) {
    // 32 classes, 51 atoms of 40 parameters: the built-in atoms make 60.
    std::vector<std::string> text = with_classes(32, {"[OBJECTS]", "[ATOMS]"});
    for (int t = 0; t < 51; ++t) {
        text.push_back("!A" + std::to_string(t));
        for (int p = 0; p < 40; ++p) text.push_back("P" + std::to_string(p) + ";0;1;0;1;E");
    }
    ASSERT_TRUE(core::read_configuration(text)) << testing::PrintToString(messages());
    EXPECT_EQ(config_model().atom_count, core::max_atoms);
    EXPECT_EQ(config_model().atoms[core::max_atoms - 1].name.view(), "SET_INJECTED");
}

TEST_F(ReadConfiguration, MissingFileIsNoError) {
    EXPECT_FALSE(core::read_configuration_file(path("nothing.pol")));
    EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace core_test
