// Names keep every byte through the shell's operations: generated names with bytes that are not
// UTF-8, newlines and tabs, blanks at either end and the longest names a file system takes go
// through an unchanged in-place rename, the trash and back, and a copy into a sibling folder.
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <set>

#include "platform/forms/interaction.h"
#include "platform/shell/file_ops.h"
#include "platform/shell/tests/shell_test_support.h"

namespace platform::shell {
namespace {

using testing::ShellTest;

// Names of 1 to 255 bytes from pieces that displays and editors tend to change.
std::set<std::string> generated_names(std::size_t count) {
    std::mt19937 random(20261210);
    const std::vector<std::string> pieces = {"a",
                                             "Z",
                                             "7",
                                             ".",
                                             "-",
                                             " ",
                                             "  ",
                                             "\t",
                                             "\n",
                                             "\r",
                                             "\x7F",
                                             "\xFF",
                                             "\x80",
                                             "\xC3",
                                             "\xC3\xA9",
                                             "\xE2\x82\xAC",
                                             "\xF0\x9F\x98\x80",
                                             "\xED\xA0\x80",
                                             "\xEF\xBF\xBD",
                                             "?",
                                             "name",
                                             "~",
                                             "%41",
                                             "\\"};
    std::set<std::string> names;
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    while (names.size() < count) {
        const std::size_t target = names.size() % 5 == 0 ? max_name_bytes : 1 + pick(max_name_bytes);
        std::string name;
        while (name.size() < target) name += pieces[pick(pieces.size())];
        name.resize(target);
        if (names.size() % 3 == 0) name = " " + name.substr(1);                   // a blank at the start
        if (names.size() % 4 == 0) name = name.substr(0, name.size() - 1) + " ";  // and at the end
        if (name == "." || name == "..") continue;
        names.insert(name);
    }
    return names;
}

std::set<std::string> entries(const std::string& folder) {
    std::set<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        out.insert(e.path().filename().string());
    return out;
}

TEST(EditedName, OnlyATypedNameRenamesAndOnlyTypedBlanksGo) {
    EXPECT_EQ(edited_name("bad\xFFname", "bad\xEF\xBF\xBDname", "bad\xEF\xBF\xBDname"), "bad\xFFname");
    EXPECT_EQ(edited_name("a\nb", "a?b", "a?b"), "a\nb");
    EXPECT_EQ(edited_name("  lead", "  lead", "  lead"), "  lead");
    EXPECT_EQ(edited_name("a", "a", "  b  "), "b");
    EXPECT_EQ(edited_name("  a ", "  a ", "   ab  "), "  ab ");
    EXPECT_EQ(edited_name("  a", "  a", " a"), " a");  // blanks the person took away stay away
    EXPECT_EQ(edited_name("a", "a", "   "), "");
    EXPECT_EQ(edited_name("bad\xFFname", "bad\xEF\xBF\xBDname", "good"), "good");
}

TEST_F(ShellTest, GeneratedNamesKeepEveryByteThroughRenameTrashAndCopy) {
    make_dir("src");
    make_dir("sibling");
    const auto names = generated_names(120);
    for (const auto& n : names) make_file("src/" + n, n);
    ASSERT_EQ(entries(at("src")), names);

    IdList list;
    ASSERT_EQ(parse_path(at("src"), list), com::S_OK);
    FolderPtr folder;
    ASSERT_EQ(bind_folder(list.data(), folder), com::S_OK);
    forms::ScriptedInteraction boxes;
    for (const auto& n : names) {
        SCOPED_TRACE(display_text(n));
        const IdList child = make_item(ItemKind::child, n);
        // An in-place edit left as offered.
        const std::string offered = folder->display_name_of(child.data(), SHGDN_INFOLDER | SHGDN_FOREDITING);
        const std::string raw = folder->display_name_of(child.data(), SHGDN_INFOLDER | SHGDN_FORPARSING);
        ASSERT_EQ(raw, n);
        const std::string kept = edited_name(raw, offered, offered);
        IdList renamed;
        ASSERT_EQ(folder->set_name_of(child.data(), kept, renamed), com::S_OK);
        EXPECT_EQ(renamed, child);
        // Into the trash and back.
        std::string record;
        ASSERT_EQ(move_to_trash(at("src/" + n), &record), com::S_OK);
        EXPECT_FALSE(std::filesystem::exists(at("src/" + n)));
        EXPECT_EQ(testing::restore_from_trash(record), at("src/" + n));
        // A copy into the sibling folder.
        ASSERT_EQ(transfer_into({at("src/" + n)}, at("sibling"), DROPEFFECT_COPY), com::S_OK);
        EXPECT_EQ(read_file(at("sibling/" + n)), n);
    }
    EXPECT_EQ(entries(at("src")), names);
    EXPECT_EQ(entries(at("sibling")), names);
    for (const auto& n : names) EXPECT_EQ(read_file(at("src/" + n)), n);
    EXPECT_TRUE(entries(data_home_ + "/Trash/files").empty());
    EXPECT_TRUE(boxes.boxes().empty());
}

}  // namespace
}  // namespace platform::shell
