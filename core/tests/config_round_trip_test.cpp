// Writing the configuration back: the object line that "DLD_OBJ" sends, the written file's
// lines, and reading the written file gives the same model.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/tests/engine_fixture.h"

namespace core_test {
namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;

class WriteConfiguration : public EngineTest {};

TEST_F(WriteConfiguration, ObjectLinesInInstrumentIntegers) {
    load_standard_configuration();
    auto line_of = [](const char* name) { return core::format_object_line(core::find_object(name)); };
    EXPECT_EQ(line_of("Tray2"), "TRAY;Tray2;VT96BC;TH-9070;130000;0;0;20000;A");
    // "Off" is not kept: the min is written.
    EXPECT_EQ(line_of("Tray1"), "TRAY;Tray1;VT96;TH-1;0;0;0;4000;AB");
    EXPECT_EQ(line_of("10ul"), "SYRINGE;10ul;10000;50000;51000");
    EXPECT_EQ(line_of("Wash2"), "WASH_STATION;Wash2;30000;2");
    EXPECT_EQ(line_of("VT54R"), "TRAY_TYPE;VT54R;6;9;90000;0;0;-60000;0;B");

    // After a tray type change the same line carries the new type.
    const core::Tobject_rec& tray2 = *core::object_record_by_name("Tray2");
    ASSERT_TRUE(core::set_text_value(tray2, 0, "VT96"));
    EXPECT_EQ(line_of("Tray2"), "TRAY;Tray2;VT96;TH-9070;130000;0;0;20000;A");
}

TEST_F(WriteConfiguration, ObjectValuesRoundHalvesToEven) {
    ASSERT_TRUE(core::read_configuration({
        "[LISTS]",
        "[CLASSES]",
        "!SYRINGE",
        "Volume;0;100000;0;1;nl",
        "Time;0;100;0;1;s",
        "[OBJECTS]",
        "SYRINGE;A;1500.5;2.5",
        "SYRINGE;B;2499.5;3.5",
        "[ATOMS]",
    }));
    // A fractional instrument value is divided like any other: 1500.5 nl is 1.5005 µl.
    EXPECT_DOUBLE_EQ(core::get_number_attribute("A", "Volume"), 1.5005);
    EXPECT_EQ(core::format_object_line(0), "SYRINGE;A;1500;2");
    EXPECT_EQ(core::format_object_line(1), "SYRINGE;B;2500;4");
}

TEST_F(WriteConfiguration, WrittenLinesOfEverySection) {
    load_standard_configuration();
    const std::vector<std::string> lines = core::configuration_lines();
    auto at = [&](const std::string& header) { return std::find(lines.begin(), lines.end(), header); };
    ASSERT_NE(at("[LISTS]"), lines.end());
    // List slot 3 was not read and is not written; slot 4 is.
    EXPECT_THAT(std::vector<std::string>(at("[LISTS]") + 1, at("[CLASSES]")),
                ElementsAre("0;2;None;AutoFix", "1;3;Low;Medium;High", "2;2;Needle;Loop", "4;1;Off;On"));
    EXPECT_THAT(std::vector<std::string>(at("!TRAY"), at("!TRAY") + 8),
                ElementsAre("!TRAY", "Tray Type;TRAY_TYPE", "Tray Holder;TRAY_HOLDER",
                            "Offset x;-1000000;1000000;0;1;" MU "m", "Offset y;-1000000;1000000;0;1;" MU "m",
                            "Path Offset z;-1000000;1000000;0;1;" MU "m",
                            "Temperature;4000;40000;20000;1;m" DEG "C", "&TrayTypeGroup"));
    EXPECT_NE(at("#Solvent Level;0;2;1;1"), lines.end());
    EXPECT_NE(at("Spl Per Col;1;50;8;1;E"), lines.end());
    EXPECT_EQ(*(at("[OBJECTS]") + 1), "SYRINGE;10ul;10000;50000;51000");
    // Atoms: limits back in instrument units, expressions as they were; "?" for optional ones;
    // the built-in atoms are not written.
    EXPECT_THAT(std::vector<std::string>(at("!ASPIRATE"), at("!ASPIRATE") + 5),
                ElementsAre("!ASPIRATE", "Syringe;SYRINGE", "Volume;0;SYR.Volume;1000;1;nl",
                            "Speed;100;SYR.Max Speed;5000;1;nl/s", "?Delay;0;60;0;1;s"));
    EXPECT_THAT(
        std::vector<std::string>(at("!SET_OUT"), at("!SET_OUT") + 4),
        ElementsAre("!SET_OUT", "Signal;SYNC_SIGNAL;OUT_SIGNAL", "#State;0;1;0;4", "?Duration;0;60;1;1;s"));
    EXPECT_EQ(lines.back(), "Temperature;4000;40000;20000;100;m" DEG "C");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "!REPEAT"), 0);
}

TEST_F(WriteConfiguration, WrittenFileReadsAsTheSameModel) {
    load_standard_configuration();
    const std::string before = describe_model();
    ASSERT_TRUE(core::write_configuration());
    EXPECT_TRUE(messages().empty());
    core::reset_config_model();
    ASSERT_TRUE(core::read_configuration_file(core::config_file_path()));
    EXPECT_EQ(describe_model(), before);
    // And the file written from the re-read model is the same file.
    std::vector<std::string> first;
    ASSERT_TRUE(core::load_lines(core::config_file_path(), first));
    EXPECT_THAT(core::configuration_lines(), ElementsAreArray(first));
}

TEST_F(WriteConfiguration, RoundTripKeepsWhatTheFormatCanHold) {
    // Lists with a gap, fractional class limits, limits whose thousandths do not survive a
    // binary product, expression limits, and a text REPEAT hidden by the built-in one.
    ASSERT_TRUE(core::read_configuration({
        "[LISTS]",
        "0;1;Zero",
        "2;1;Two",
        "[CLASSES]",
        "!SYRINGE",
        "Volume;1.9;1000.25;0.0000001;0.5;nl",
        "[OBJECTS]",
        "SYRINGE;S1;2500",
        "[ATOMS]",
        "!DRAW",
        "Syringe;SYRINGE",
        "Volume;1001;SYR.Volume-1;1005;1;nl",
        "!REPEAT",
        "Times;0;5;1;1;E",
    }));
    const std::string before = describe_model();
    const std::vector<std::string> lines = core::configuration_lines();
    EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 6),
                ElementsAre("[LISTS]", "0;1;Zero", "2;1;Two", "[CLASSES]", "!SYRINGE",
                            "Volume;1.9;1000.25;0.0000001;0.5;nl"));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Volume;1001;SYR.Volume-1;1005;1;nl"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "!REPEAT"), lines.end());
    core::reset_config_model();
    ASSERT_TRUE(core::read_configuration(lines));
    EXPECT_EQ(describe_model(), before);
    EXPECT_EQ(core::config_model().lists[2].items[0].view(), "Two");
}

TEST_F(WriteConfiguration, DanglingReferencesAreReportedAndWrittenAllTheSame) {
    ASSERT_TRUE(core::read_configuration({
        "[LISTS]",
        "[CLASSES]",
        "!SYRINGE",
        "Partner;SYRINGE",
        "[OBJECTS]",
        "SYRINGE;S1;None",
        "SYRINGE;S2;S1",
        "SYRINGE;S3;Gone",
        "[ATOMS]",
    }));
    EXPECT_TRUE(core::write_configuration());
    EXPECT_THAT(messages(), ElementsAre("S3 references Gone which does not exist!"));
    std::vector<std::string> written;
    ASSERT_TRUE(core::load_lines(core::config_file_path(), written));
    EXPECT_NE(std::find(written.begin(), written.end(), "SYRINGE;S3;Gone"), written.end());
}

TEST_F(WriteConfiguration, ACacheThatCannotBeWrittenIsReportedAndKeptWhole) {
    load_standard_configuration();
    // A folder in place of the cache: the write fails and says where and why.
    std::filesystem::remove(core::config_file_path());
    std::filesystem::create_directory(core::config_file_path());
    EXPECT_FALSE(core::write_configuration());
    EXPECT_TRUE(std::filesystem::is_directory(core::config_file_path()));
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_THAT(messages().front(), testing::HasSubstr(core::config_file_path()));
    EXPECT_THAT(messages().front(), testing::HasSubstr("Is a directory"));
    std::filesystem::remove(core::config_file_path());

    // The cache is replaced as a whole, never rewritten in place: a reader that holds the old
    // file open still reads the old text to its end.
    ASSERT_TRUE(core::write_configuration());
    std::ifstream old_reader(core::config_file_path(), std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(old_reader)), std::istreambuf_iterator<char>());
    old_reader.clear();
    old_reader.seekg(0);
    ASSERT_TRUE(core::read_configuration({"[LISTS]", "[CLASSES]", "!SYRINGE", "[OBJECTS]", "[ATOMS]"}));
    ASSERT_TRUE(core::write_configuration());
    const std::string still((std::istreambuf_iterator<char>(old_reader)), std::istreambuf_iterator<char>());
    EXPECT_EQ(still, before);
}

TEST_F(WriteConfiguration, FileLinesEndWithCrLf) {
    ASSERT_TRUE(core::read_configuration({"[LISTS]", "[CLASSES]", "!SYRINGE", "[OBJECTS]", "[ATOMS]"}));
    ASSERT_TRUE(core::write_configuration());
    std::ifstream file(core::config_file_path(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, "[LISTS]\r\n[CLASSES]\r\n!SYRINGE\r\n[OBJECTS]\r\n[ATOMS]\r\n");
}

TEST_F(WriteConfiguration, LineFilesAcceptEveryLineEnd) {
    EXPECT_THAT(core::split_lines("a\r\nb\nc\rd"), ElementsAre("a", "b", "c", "d"));
    EXPECT_THAT(core::split_lines("a\r\n\r\n"), ElementsAre("a", ""));
    EXPECT_THAT(core::split_lines(""), ElementsAre());
    // File names are Windows-1252; on disk they are UTF-8.
    EXPECT_EQ(core::file_name_to_utf8("5" MU "l"), "5\xC2\xB5l");
    EXPECT_EQ(core::file_name_to_utf8("\x80"), "\xE2\x82\xAC");
    write_file("Rinse 5" MU "l.pma", {"WASH(Wash1,1)"});
    EXPECT_TRUE(std::filesystem::exists(folder_ + "/Rinse 5\xC2\xB5l.pma"));
    EXPECT_TRUE(core::file_exists(path("Rinse 5" MU "l.pma")));
}

}  // namespace
}  // namespace core_test
