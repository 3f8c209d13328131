#include "utilities/session.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* plugin_sample_types =
    ";Unknown;UN;Blank;BL;QC;QC;Standard Clear;SC;Standard Update;SU;Standard Bracket;SB;"
    "Standard Bracket Start;BS;Standard Bracket End;BE;Program;PR;";

class SessionTable : public ::testing::Test {
  protected:
    void SetUp() override { putils::reset_session(); }
    void TearDown() override { putils::reset_session(); }
};

TEST_F(SessionTable, ThePluginsSampleTypeList) {
    putils::session().requested_tray = "stale";
    putils::set_sample_types(plugin_sample_types);
    const auto& s = putils::session();
    EXPECT_EQ(s.requested_tray, "");
    ASSERT_EQ(s.sample_type_count, 9);
    EXPECT_EQ(s.sample_types[0].name, "Unknown");
    EXPECT_EQ(s.sample_types[0].code, "UN");
    EXPECT_EQ(s.sample_types[6].name, "Standard Bracket Start");
    EXPECT_EQ(s.sample_types[6].code, "BS");
    EXPECT_EQ(s.sample_types[8].name, "Program");
    EXPECT_EQ(s.sample_types[8].code, "PR");
}

TEST_F(SessionTable, NamesAndCodesAreCutAndAnOddFieldIsDropped) {
    const std::string long_name(50, 'n');
    putils::set_sample_types("Tray2;" + long_name + ";ABC;Lonely");
    const auto& s = putils::session();
    EXPECT_EQ(s.requested_tray, "Tray2");
    ASSERT_EQ(s.sample_type_count, 1);
    EXPECT_EQ(s.sample_types[0].name, std::string(40, 'n'));
    EXPECT_EQ(s.sample_types[0].code, "AB");
}

TEST_F(SessionTable, AnEmptyListLeavesNoTypesAndTheTrayAsItWas) {
    putils::set_sample_types(plugin_sample_types);
    putils::session().requested_tray = "Tray1";
    putils::set_sample_types("");
    EXPECT_EQ(putils::session().sample_type_count, 0);
    EXPECT_EQ(putils::session().requested_tray, "Tray1");
}

TEST_F(SessionTable, AtMostTwentyTypes) {
    std::string list;
    for (int i = 0; i < 30; ++i) list += ";T" + std::to_string(i) + ";C";
    putils::set_sample_types(list);
    // The splitter reads 40 fields behind the first: 20 pairs.
    EXPECT_EQ(putils::session().sample_type_count, 20);
    EXPECT_EQ(putils::session().sample_types[19].name, "T19");
}

TEST_F(SessionTable, MethodFolderFile) {
    putils::session().method_folder = "/data/zor";
    EXPECT_EQ(putils::method_folder_file("latest_zor.pol"), "/data/zor/latest_zor.pol");
    putils::session().method_folder = "/data/zor/";
    EXPECT_EQ(putils::method_folder_file("latest_zor.pol"), "/data/zor/latest_zor.pol");
    putils::session().method_folder.clear();
    EXPECT_EQ(putils::method_folder_file("latest_zor.pol"), "latest_zor.pol");
}

}  // namespace
