// Queries over the configuration model: searches by name, class masks, attribute lookup and the
// layout of value slots.
#include <gmock/gmock.h>

#include "core/tests/engine_fixture.h"

namespace core_test {
namespace {

using core::config_model;

class ModelQueries : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        load_standard_configuration();
    }
};

TEST_F(ModelQueries, FindsClassesObjectsAtomsAndListItems) {
    const core::Tconfig_model& m = config_model();
    EXPECT_EQ(m.class_count, 8);
    EXPECT_EQ(core::find_class("tray_type"), m.tray_type_class);
    EXPECT_EQ(core::find_class("NO_SUCH_CLASS"), m.class_count);
    EXPECT_EQ(core::find_object("wash2"), 5);
    EXPECT_EQ(core::find_object("Wash3"), m.object_count);
    EXPECT_EQ(core::find_atom("aspirate"), 1);
    EXPECT_EQ(core::find_atom("NOPE"), m.atom_count);
    EXPECT_EQ(core::find_list_item(1, "high"), 2);
    EXPECT_EQ(core::find_list_item(1, "Very High"), -1);
    // List slot 3 was never read; slots outside the table have no items either.
    EXPECT_EQ(core::find_list_item(3, "Off"), -1);
    EXPECT_EQ(core::find_list_item(100, "Off"), -1);
    EXPECT_EQ(core::find_list_item(-1, "Off"), -1);
    EXPECT_EQ(core::find_list_item(4294967296LL + 4, "On"), -1);
    EXPECT_EQ(core::find_list_item(4, "On"), 1);
}

TEST_F(ModelQueries, WellKnownClassesAreRemembered) {
    const core::Tconfig_model& m = config_model();
    EXPECT_EQ(m.syringe_class, 0);
    EXPECT_EQ(m.injector_class, 1);
    EXPECT_EQ(m.wash_station_class, 2);
    EXPECT_EQ(m.tray_holder_class, 5);
    EXPECT_EQ(m.tray_type_class, 6);
    EXPECT_EQ(m.tray_class, 7);
}

TEST_F(ModelQueries, ClassBitsAndMasks) {
    EXPECT_EQ(core::class_bit("SYRINGE"), 1u);
    EXPECT_EQ(core::class_bit("tray"), 1u << 7);
    EXPECT_EQ(core::class_bit("NOPE"), 0u);
    EXPECT_EQ(core::sync_signal_class_bit(), 1u << 3);
    EXPECT_EQ(core::out_signal_class_bit(), 1u << 4);
    EXPECT_TRUE(core::bit_in_mask(7, 1u << 7));
    EXPECT_TRUE(core::bit_in_mask(39, 1u << 7));  // the bit number is taken modulo 32
    EXPECT_FALSE(core::bit_in_mask(6, 1u << 7));
    EXPECT_TRUE(core::object_class_in_mask(core::find_object("Tray3"), core::class_bit("TRAY")));
    EXPECT_FALSE(core::object_class_in_mask(core::find_object("Tray3"), core::class_bit("SYRINGE")));
    EXPECT_FALSE(core::object_class_in_mask(-1, ~0u));
    EXPECT_FALSE(core::object_class_in_mask(config_model().object_count, ~0u));
}

TEST_F(ModelQueries, AttributesByName) {
    EXPECT_EQ(core::object_class_name("tray2"), "TRAY");
    EXPECT_EQ(core::object_class_name("Tray9"), "");
    EXPECT_TRUE(core::object_is_of_class("TH-1", "tray_holder"));
    EXPECT_TRUE(core::is_tray_holder("TH-9070"));
    EXPECT_FALSE(core::is_tray_holder("Tray1"));
    EXPECT_EQ(core::get_tray_type("Tray2"), "VT96BC");
    EXPECT_EQ(core::get_text_attribute("Tray2", "tray holder"), "TH-9070");
    EXPECT_EQ(core::get_text_attribute("Tray2", "No Such"), "");
    EXPECT_EQ(core::get_text_attribute("Nobody", "Tray Type"), "");
    // A number attribute asked as text, and a text attribute asked as number, give nothing.
    EXPECT_EQ(core::get_text_attribute("Tray2", "Offset x"), "");
    EXPECT_EQ(core::get_number_attribute("Tray2", "Tray Type"), 0);
    EXPECT_EQ(core::get_number_attribute("Tray2", "Offset x"), 130);  // mm
    EXPECT_EQ(core::get_number_attribute("Tray2", "Missing"), 0);
    EXPECT_EQ(core::get_number_attribute("VT54R", "Spl Per Row"), 9);
    EXPECT_EQ(core::get_number_attribute("Wash2", "Solvent Level"), 2);  // list index
    ASSERT_NE(core::object_record_by_name("100UL"), nullptr);
    EXPECT_EQ(core::object_record_by_name("100UL")->name.view(), "100ul");
    EXPECT_EQ(core::object_record_by_name(""), nullptr);
    EXPECT_EQ(core::object_record_by_name("1000ul"), nullptr);
}

TEST_F(ModelQueries, AtomLines) {
    EXPECT_TRUE(core::is_atom_line("WASH(Wash1,1,)"));
    EXPECT_TRUE(core::is_atom_line("repeat(2,)"));
    EXPECT_TRUE(core::is_atom_line("WAIT_FOR_DS"));
    EXPECT_FALSE(core::is_atom_line("CLEANUP(Wash1,1,1,1,1,1,1,1)"));
    EXPECT_FALSE(core::is_atom_line("WASH (Wash1,1,)"));  // the name is the text before "("
}

TEST_F(ModelQueries, ValueSlotsFollowAttributeOrder) {
    const core::Tconfig_model& m = config_model();
    const core::Tclass_rec& tray = m.classes[m.tray_class];
    // Two references (20 bytes each), four numbers (8 each), one text (20).
    const int expected_offsets[] = {0, 20, 40, 48, 56, 64, 72};
    ASSERT_EQ(tray.attribute_count, 7);
    for (int a = 0; a < 7; ++a) EXPECT_EQ(tray.attributes[a].value_offset, expected_offsets[a]) << a;
    EXPECT_EQ(tray.block_size, 92);
    // Blocks are handed out in object order, one after the other.
    int offset = 0;
    for (int k = 0; k < m.object_count; ++k) {
        EXPECT_EQ(m.objects[k].block_offset, offset) << k;
        offset += m.classes[m.objects[k].class_index].block_size;
    }
    EXPECT_EQ(m.value_area_used, offset);
}

TEST_F(ModelQueries, TextSlotsHoldNineteenCharacters) {
    const core::Tobject_rec& tray = *core::object_record_by_name("Tray1");
    EXPECT_TRUE(core::set_text_value(tray, 0, "VT54R"));
    EXPECT_EQ(core::get_tray_type("Tray1"), "VT54R");
    EXPECT_TRUE(core::set_text_value(tray, 0, "A19CharacterTextXYZ"));
    EXPECT_EQ(core::get_text_value(tray, 0), "A19CharacterTextXYZ");
    EXPECT_FALSE(core::set_text_value(tray, 0, "A20CharacterTextXYZW"));
    EXPECT_EQ(core::get_text_value(tray, 0), "A19CharacterTextXYZ");
    // The neighbouring slot is untouched.
    EXPECT_EQ(core::get_text_value(tray, 1), "TH-1");
}

class DuplicateNames : public EngineTest {};

TEST_F(DuplicateNames, SearchesTakeTheLastMatchClassBitTheFirst) {
    ASSERT_TRUE(core::read_configuration({
        "[LISTS]",
        "0;3;A;B;a",
        "[CLASSES]",
        "!SYRINGE",
        "Volume;0;1000;0;1;nl",
        "!Twin",
        "&Label",
        "!TWIN",
        "Size;0;10;0;1;E",
        "[OBJECTS]",
        "SYRINGE;S1;1000",
        "Twin;Same;4",
        "TWIN;same;5",
        "[ATOMS]",
        "!GO",
        "!go",
        "X;0;1;0;1;E",
    }));
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(core::find_list_item(0, "A"), 2);
    EXPECT_EQ(core::find_class("twin"), 2);
    EXPECT_EQ(core::class_bit("twin"), 1u << 1);
    EXPECT_EQ(core::find_object("SAME"), 2);
    // An object line names its class by the last match, too.
    EXPECT_EQ(config_model().objects[1].class_index, 2);
    EXPECT_EQ(core::object_class_name("same"), "TWIN");
    EXPECT_EQ(core::get_number_attribute("same", "Size"), 5);
    EXPECT_EQ(core::find_atom("GO"), 1);
}

TEST_F(DuplicateNames, ClassAtIndex31IsTheSignBit) {
    std::vector<std::string> text{"[LISTS]", "[CLASSES]", "!SYRINGE"};
    for (int c = 1; c < 32; ++c) text.push_back("!C" + std::to_string(c));
    text.insert(text.end(), {"[OBJECTS]", "C31;Last", "[ATOMS]", "!PICK", "Target;C31"});
    ASSERT_TRUE(core::read_configuration(text)) << testing::PrintToString(messages());
    EXPECT_EQ(core::class_bit("C31"), 0x80000000u);
    EXPECT_EQ(config_model().atoms[0].params[0].list_or_mask, 0x80000000u);
    EXPECT_TRUE(core::object_class_in_mask(0, core::class_bit("C31")));
}

}  // namespace
}  // namespace core_test
