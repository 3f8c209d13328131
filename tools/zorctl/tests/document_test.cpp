// The method document's "Data" stream: the lines zorctl composes from a method text and the macro
// library, and their bytes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/temp_tree.h"
#include "tools/zorctl/document.h"

namespace {

namespace fs = std::filesystem;

const fs::path examples = ZOR_EXAMPLES_DIR;

class TempFolder : public zor_testing::TempTree {
  public:
    TempFolder() : TempTree("zorctl-doc") {}
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path() / name, std::ios::binary) << bytes;
    }
};

TEST(ZorctlDocumentLines, the_demo_method_gets_the_sections_of_its_macros_then_entry_and_exit) {
    std::vector<std::string> method;
    ASSERT_TRUE(zorctl::read_method_text(examples / "demo_method.txt", method));
    const auto lines = zorctl::document_lines("10ul", method, examples / "macros");
    const std::vector<std::string> expected = {
        "10ul",
        "Rinse Needle(Wash2,2)",
        "Load Sample(SL.tray,SL.volume,2)",
        "Wait For Start()",
        "Inject(Inj1)",
        "[MACRO Rinse Needle]",
        "Station;WASH_STATION",
        "Times ();2;1;10",
        "REPEAT(Times)",
        "WASH(Station,1)",
        "END()",
        "[MACRO Load Sample]",
        "Tray;TRAY",
        "Volume (\xB5l);SL.volume;0;SYR.Volume",
        "Speed (\xB5l/s);2;0.1;SYR.Max Speed",
        "MOVE_TO_VIAL(Tray,SL.index,10)",
        "ASPIRATE(SYR,Volume,Speed,0)",
        "[MACRO Wait For Start]",
        "WAIT_FOR_DS()",
        "[MACRO Inject]",
        "Injector;INJECTOR",
        "MOVE_TO(Injector,5)",
        "INJECT(Injector,Needle)",
        "SET_OUTPUT(Inject Out,High)",
        "[MACRO METHOD ENTRY]",
        "WASH(Wash1,1)",
        "[MACRO METHOD EXIT]",
        "WASH(Wash2,2)",
    };
    EXPECT_EQ(lines, expected);
}

TEST(ZorctlDocumentLines, each_macro_is_written_once_and_sections_already_there_are_kept) {
    TempFolder lib;
    lib.write("A.pma", "// comment\r\nWASH(Wash1,1)\r\n");
    lib.write("B.pma", "WASH(Wash2,1)\n");
    const std::vector<std::string> method = {"A()", "a()", "B()", "Missing()", "[MACRO b]", "WASH(Waste,1)"};
    const auto lines = zorctl::document_lines("", method, lib.path());
    EXPECT_EQ(lines, (std::vector<std::string>{"", "A()", "a()", "B()", "Missing()", "[MACRO b]",
                                               "WASH(Waste,1)", "[MACRO A]", "WASH(Wash1,1)"}));
    // Without a library folder the text stays as it is.
    EXPECT_EQ(zorctl::document_lines("25ul", {"A()"}, {}), (std::vector<std::string>{"25ul", "A()"}));
}

TEST(ZorctlDocumentLines, a_macro_name_with_a_dot_is_looked_up_without_what_follows_it) {
    TempFolder lib;
    lib.write("Prep.pma", "WASH(Wash1,1)\r\n");
    const auto lines = zorctl::document_lines("10ul", {"Prep.v2()"}, lib.path());
    EXPECT_EQ(lines, (std::vector<std::string>{"10ul", "Prep.v2()", "[MACRO Prep.v2]", "WASH(Wash1,1)"}));
}

TEST(ZorctlMethodText, utf8_is_taken_to_windows_1252_and_other_bytes_stay) {
    TempFolder dir;
    dir.write("utf8.txt", "Load(1 \xC2\xB5l)\r\n\r\nInject()\n");
    dir.write("cp1252.txt", "Load(1 \xB5l)\nInject()");
    std::vector<std::string> a, b;
    ASSERT_TRUE(zorctl::read_method_text(dir.path() / "utf8.txt", a));
    ASSERT_TRUE(zorctl::read_method_text(dir.path() / "cp1252.txt", b));
    EXPECT_EQ(a, (std::vector<std::string>{"Load(1 \xB5l)", "Inject()"}));
    EXPECT_EQ(b, a);
    EXPECT_FALSE(zorctl::read_method_text(dir.path() / "none.txt", a));
}

TEST(ZorctlDocumentLines, a_macro_file_in_utf8_is_taken_to_windows_1252_as_the_method_is) {
    TempFolder lib;
    lib.write("Load.pma", "// loads\r\nVolume (\xC2\xB5l);5;1;10\r\nASPIRATE(SYR,Volume,1,)\r\n");
    const auto lines = zorctl::document_lines("10ul", {"Load(2)"}, lib.path());
    EXPECT_EQ(lines, (std::vector<std::string>{"10ul", "Load(2)", "[MACRO Load]", "Volume (\xB5l);5;1;10",
                                               "ASPIRATE(SYR,Volume,1,)"}));
}

TEST(ZorctlStreamBytes, lines_are_utf16le_each_ended_by_cr_lf_without_a_byte_order_mark) {
    EXPECT_EQ(zorctl::stream_bytes({"A\xB5", ""}),
              (std::vector<std::uint8_t>{'A', 0, 0xB5, 0, '\r', 0, '\n', 0, '\r', 0, '\n', 0}));
    // Windows-1252's own characters above 0x7F travel as their UNICODE values (0x80 is the euro).
    EXPECT_EQ(zorctl::stream_bytes({"\x80"}), (std::vector<std::uint8_t>{0xAC, 0x20, '\r', 0, '\n', 0}));
    EXPECT_TRUE(zorctl::stream_bytes({}).empty());
}

}  // namespace
