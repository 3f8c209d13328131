// The configuration text: the sample file meets the host reader's rules, and broken texts are
// reported with the line that breaks them.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

#include "tools/zorsim/builtin_config.h"
#include "tools/zorsim/config_text.h"
#include "tools/zorsim/text_rules.h"

namespace zorsim {
namespace {

std::string read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool has_problem(const ConfigText& c, const std::string& part) {
    for (const auto& p : c.problems()) {
        if (p.find(part) != std::string::npos) return true;
    }
    return false;
}

std::string problems_of(const ConfigText& c) {
    std::string all;
    for (const auto& p : c.problems()) all += p + "\n";
    return all;
}

const std::string good_head =
    "[LISTS]\n0;2;None;AutoFix\n[CLASSES]\n!SYRINGE\nVolume;1000;1000000;10000;1;nl\n"
    "!TRAY_TYPE\nSpl Per Col;1;50;8;1;E\nSpl Per Row;1;50;12;1;E\n!TRAY\nTray Type;TRAY_TYPE\n"
    "[OBJECTS]\nSYRINGE;10ul;10000\nTRAY_TYPE;VT96;8;12\nTRAY;Tray1;VT96\n";

double number_value(const ConfigText& c, const std::string& object, const std::string& attribute) {
    const ObjectDef* o = c.find_object(object);
    const ClassDef* cls = o ? c.find_class(o->class_name) : nullptr;
    if (!cls) return -1;
    for (std::size_t i = 0; i < cls->attributes.size(); ++i) {
        if (same_text(cls->attributes[i].name, attribute)) return real_value(o->values[i]);
    }
    return -1;
}

std::string text_value(const ConfigText& c, const std::string& object, const std::string& attribute) {
    const ObjectDef* o = c.find_object(object);
    const ClassDef* cls = o ? c.find_class(o->class_name) : nullptr;
    if (!cls) return "?";
    for (std::size_t i = 0; i < cls->attributes.size(); ++i) {
        if (same_text(cls->attributes[i].name, attribute)) return o->values[i];
    }
    return "?";
}

TEST(SampleConfiguration, is_the_built_in_one_and_has_no_problems) {
    const std::string file = read_file(ZORSIM_EXAMPLE_CONFIG);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file, std::string(builtin_config_text()));
    const auto c = ConfigText::from_text(file);
    EXPECT_TRUE(c.problems().empty()) << problems_of(c);
    // Windows-1252 units: "µm" is 0xB5 0x6D.
    EXPECT_NE(file.find("\xB5m"), std::string::npos);
    EXPECT_EQ(file.find("\xC2\xB5"), std::string::npos) << "the file must not be UTF-8";
}

TEST(SampleConfiguration, holds_what_the_driver_and_its_tests_rely_on) {
    const auto c = ConfigText::from_text(builtin_config_text());
    for (const char* cls : {"SYRINGE", "INJECTOR", "WASH_STATION", "TRAY", "TRAY_HOLDER", "TRAY_TYPE",
                            "SYNC_SIGNAL", "OUT_SIGNAL"}) {
        EXPECT_NE(c.find_class(cls), nullptr) << cls;
    }
    EXPECT_GE(c.object_names_of_class("SYRINGE").size(), 3u);
    EXPECT_GE(c.object_names_of_class("WASH_STATION").size(), 2u);
    EXPECT_GE(c.object_names_of_class("TRAY").size(), 3u);
    // The injection volume limits come from these syringe attributes.
    EXPECT_EQ(number_value(c, "10ul", "Min Volume"), 100);
    EXPECT_EQ(number_value(c, "10ul", "Max Volume"), 10000);

    // Trays of different layouts: the vial count is Spl Per Col x Spl Per Row of the tray's type.
    std::set<double> sizes;
    for (const auto& tray : c.object_names_of_class("TRAY")) {
        const std::string type = text_value(c, tray, "Tray Type");
        ASSERT_NE(c.find_object(type), nullptr) << tray;
        sizes.insert(number_value(c, type, "Spl Per Col") * number_value(c, type, "Spl Per Row"));
        EXPECT_NE(c.find_object(text_value(c, tray, "Tray Holder")), nullptr) << tray;
    }
    EXPECT_GE(sizes.size(), 3u);

    // Tray2 can read bar codes: its type's "Barcode" item is "AutoFix", and a holder TH-9070 exists.
    const std::string type2 = text_value(c, "Tray2", "Tray Type");
    const ListDef* list0 = c.find_list(0);
    ASSERT_NE(list0, nullptr);
    EXPECT_EQ(list0->items.at(static_cast<std::size_t>(number_value(c, type2, "Barcode"))), "AutoFix");
    ASSERT_NE(c.find_object("TH-9070"), nullptr);
    EXPECT_EQ(c.find_object("TH-9070")->class_name, "TRAY_HOLDER");
    // A turned and mirrored layout is among them.
    EXPECT_GT(number_value(c, text_value(c, "Tray3", "Tray Type"), "Row Length X"), 0);
    EXPECT_LT(number_value(c, text_value(c, "Tray3", "Tray Type"), "Col Length Y"), 0);

    // Atoms with object, number and list parameters, including the ones the driver sends itself.
    const AtomDef* aspirate = c.find_atom("ASPIRATE");
    ASSERT_NE(aspirate, nullptr);
    ASSERT_EQ(aspirate->params.size(), 4u);
    EXPECT_EQ(aspirate->params[0].kind, ValueKind::reference);
    EXPECT_EQ(aspirate->params[1].kind, ValueKind::number);
    EXPECT_EQ(aspirate->params[1].unit, "\xB5l");
    EXPECT_FALSE(aspirate->params[3].required);
    const AtomDef* inject = c.find_atom("INJECT");
    ASSERT_NE(inject, nullptr);
    EXPECT_EQ(inject->params[1].kind, ValueKind::list);
    for (const char* atom :
         {"MOVE_TO_VIAL", "DISPENSE", "WASH", "WAIT_SYNC_SIG", "READ_BARCODE", "CLEANUP"}) {
        EXPECT_NE(c.find_atom(atom), nullptr) << atom;
    }
    EXPECT_EQ(c.find_atom("CLEANUP")->params.size(), 8u);  // "CLEANUP(Wash1,1,1,1,1,1,1,1)"
}

TEST(ConfigurationProblems, a_text_without_a_syringe_class_is_refused) {
    const auto c = ConfigText::from_text("[LISTS]\n[CLASSES]\n!TRAY\n[OBJECTS]\n[ATOMS]\n");
    EXPECT_TRUE(has_problem(c, "no class SYRINGE")) << problems_of(c);
}

TEST(ConfigurationProblems, missing_or_misordered_headers) {
    auto c = ConfigText::from_text("[LISTS]\n[CLASSES]\n!SYRINGE\n[ATOMS]\n");
    EXPECT_TRUE(has_problem(c, "[OBJECTS] is missing")) << problems_of(c);
    c = ConfigText::from_text("[CLASSES]\n!SYRINGE\n[LISTS]\n[OBJECTS]\n[ATOMS]\n");
    EXPECT_TRUE(has_problem(c, "stands before")) << problems_of(c);
}

TEST(ConfigurationProblems, record_level_faults_name_their_line) {
    const auto c = ConfigText::from_text(good_head +
                                         "\n"                     // line 15: blank
                                         "HOLDER;H1\n"            // 16: unknown class
                                         "TRAY;Tray2;VT97\n"      // 17: dangling reference
                                         "TRAY_TYPE;VT12;x;12\n"  // 18: not a number
                                         "[ATOMS]\n!MOVE\nTray;TRAY\n"
                                         "Index;1;Tray.Max Index;1;1;E\n"
                                         "Depth;0;Tray.Depth;1;1;\xB5m\n"  // 23: no such attribute
                                         "#Mode;0;1;0;7\n");               // 24: undefined list
    EXPECT_TRUE(has_problem(c, "line 15: blank line")) << problems_of(c);
    EXPECT_TRUE(has_problem(c, "line 16: HOLDER is not a known class")) << problems_of(c);
    EXPECT_TRUE(has_problem(c, "line 17: Tray2 references VT97")) << problems_of(c);
    EXPECT_TRUE(has_problem(c, "line 18: VT12:Spl Per Col value \"x\"")) << problems_of(c);
    EXPECT_TRUE(has_problem(c, "MOVE:Depth max \"Tray.Depth\" is not a valid expression")) << problems_of(c);
    EXPECT_TRUE(has_problem(c, "line 24: MOVE:Mode uses list 7")) << problems_of(c);
    EXPECT_FALSE(has_problem(c, "MOVE:Index")) << problems_of(c);
}

TEST(ConfigurationProblems, sizes_beyond_the_hosts_tables) {
    std::string many_fields = "0;1";
    for (int i = 0; i < 41; ++i) many_fields += ";item" + std::to_string(i);
    std::string text = "[LISTS]\n" + many_fields + "\n" +
                       good_head.substr(std::string("[LISTS]\n0;2;None;AutoFix\n").size());
    text += "[ATOMS]\n!A_VERY_LONG_ATOM_NAME_BEYOND_24\n";
    const auto c = ConfigText::from_text(text);
    EXPECT_TRUE(has_problem(c, "line 2: more than 41 fields")) << problems_of(c);
    EXPECT_TRUE(has_problem(c, "longer than 24 characters")) << problems_of(c);
}

TEST(ConfigurationText, lines_end_with_lf_or_cr_lf_and_are_kept_as_they_are) {
    const auto a =
        ConfigText::from_text("[LISTS]\r\n0;1;A\r\n[CLASSES]\r\n!SYRINGE\r\n[OBJECTS]\r\n[ATOMS]\r\n");
    const auto b = ConfigText::from_text("[LISTS]\n0;1;A\n[CLASSES]\n!SYRINGE\n[OBJECTS]\n[ATOMS]");
    EXPECT_EQ(a.lines(), b.lines());
    EXPECT_EQ(a.lines().size(), 6u);
    EXPECT_TRUE(a.problems().empty()) << problems_of(a);
}

TEST(ConfigurationText, a_download_replaces_its_object_or_adds_it_and_refuses_bad_lines) {
    auto c = ConfigText::from_text(good_head + "[ATOMS]\n");
    EXPECT_EQ(c.download_object("TRAY;tray1;VT96"), "");  // names compare without case
    EXPECT_EQ(c.download_object("TRAY_TYPE;VT48;6;8"), "");
    EXPECT_EQ(c.download_object("TRAY;Tray1;VT48"), "");
    EXPECT_EQ(std::count(c.lines().begin(), c.lines().end(), "TRAY;Tray1;VT48"), 1);
    EXPECT_EQ(std::count(c.lines().begin(), c.lines().end(), "TRAY_TYPE;VT48;6;8"), 1);
    EXPECT_EQ(c.lines().back(), "[ATOMS]");
    EXPECT_TRUE(c.problems().empty()) << problems_of(c);

    const auto before = c.lines();
    EXPECT_NE(c.download_object("TRAY;Tray1;VT00"), "");       // no such type
    EXPECT_NE(c.download_object("SHELF;S1"), "");              // no such class
    EXPECT_NE(c.download_object("TRAY_TYPE;VT12;8"), "");      // a value short
    EXPECT_NE(c.download_object("TRAY_TYPE;Tray1;8;12"), "");  // Tray1 is a tray
    EXPECT_EQ(c.lines(), before);
}

}  // namespace
}  // namespace zorsim
