// New folders, the trash, copy and move, verbs and Send To, on real temporary folders.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/forms/interaction.h"
#include "platform/shell/file_ops.h"
#include "platform/shell/mounts.h"
#include "platform/shell/tests/shell_test_support.h"

namespace platform::shell {
namespace {

using testing::ShellTest;

ContextMenu menu_for(const std::string& folder_path, const std::string& name) {
    IdList list;
    EXPECT_EQ(parse_path(folder_path, list), com::S_OK);
    FolderPtr folder;
    EXPECT_EQ(bind_folder(list.data(), folder), com::S_OK);
    IdList child;
    EXPECT_EQ(folder->parse_display_name(name, child), com::S_OK);
    return ContextMenu(folder, {child});
}

TEST_F(ShellTest, NewFolderAndAnExistingName) {
    EXPECT_EQ(create_directory(at("made")), com::S_OK);
    EXPECT_EQ(create_directory(at("made")), hresult_already_exists());
    EXPECT_EQ(errno_of(create_directory(at("missing/parent/x"))), ENOENT);
    EXPECT_FALSE(error_text(hresult_from_errno(EACCES)).empty());
}

TEST_F(ShellTest, DeleteMovesToTheHomeTrashAndCanBeRestored) {
    make_dir("work/folder with space");
    make_file("work/folder with space/data.txt", "precious");
    std::string info;
    ASSERT_EQ(move_to_trash(at("work/folder with space"), &info), com::S_OK);
    EXPECT_FALSE(std::filesystem::exists(at("work/folder with space")));
    const std::string trashed = data_home_ + "/Trash/files/folder with space";
    EXPECT_EQ(read_file(trashed + "/data.txt"), "precious");
    EXPECT_EQ(info, data_home_ + "/Trash/info/folder with space.trashinfo");
    const std::string text = read_file(info);
    EXPECT_EQ(text.rfind("[Trash Info]\nPath=", 0), 0u);
    EXPECT_NE(text.find("\nDeletionDate="), std::string::npos);
    const std::string original = testing::trash_record_path(info);
    EXPECT_EQ(original, at("work/folder with space"));
    // Restoring is putting the entry back where its record says.
    ASSERT_EQ(::rename(trashed.c_str(), original.c_str()), 0);
    EXPECT_EQ(read_file(at("work/folder with space/data.txt")), "precious");
}

TEST_F(ShellTest, TwoDeletionsOfTheSameNameKeepBoth) {
    make_file("a.txt", "first");
    ASSERT_EQ(move_to_trash(at("a.txt")), com::S_OK);
    make_file("a.txt", "second");
    std::string info;
    ASSERT_EQ(move_to_trash(at("a.txt"), &info), com::S_OK);
    EXPECT_EQ(read_file(data_home_ + "/Trash/files/a.txt"), "first");
    EXPECT_EQ(read_file(data_home_ + "/Trash/files/a.txt.2"), "second");
    EXPECT_EQ(info, data_home_ + "/Trash/info/a.txt.2.trashinfo");
}

TEST_F(ShellTest, UnicodeAndInvalidBytesSurviveTheTrashRecord) {
    const std::string name = "caf\xC3\xA9 \xFF";
    make_file(name, "z");
    std::string info;
    ASSERT_EQ(move_to_trash(at(name), &info), com::S_OK);
    EXPECT_EQ(testing::trash_record_path(info), at(name));
}

TEST_F(ShellTest, DeleteIsRefusedOnRootHomeMountPointsAndTheTrash) {
    make_dir("mnt_point");
    add_mount(at("mnt_point"));
    EXPECT_TRUE(deletion_refused("/"));
    EXPECT_TRUE(deletion_refused(home_));
    EXPECT_TRUE(deletion_refused(home_ + "/"));
    EXPECT_TRUE(deletion_refused(at("mnt_point")));
    EXPECT_TRUE(deletion_refused("relative"));
    EXPECT_EQ(move_to_trash("/"), com::E_ACCESSDENIED);
    EXPECT_EQ(move_to_trash(home_), com::E_ACCESSDENIED);
    EXPECT_EQ(move_to_trash(at("mnt_point")), com::E_ACCESSDENIED);
    EXPECT_TRUE(std::filesystem::exists(at("mnt_point")));
    make_file("x");
    ASSERT_EQ(move_to_trash(at("x")), com::S_OK);
    EXPECT_EQ(move_to_trash(data_home_ + "/Trash"), com::E_ACCESSDENIED);
    EXPECT_FALSE(deletion_refused(at("other")));
}

TEST_F(ShellTest, DeleteVerbAsksFirstAndNoLosesNothing) {
    make_file("keep.txt", "k");
    forms::ScriptedInteraction boxes;
    boxes.answer_next_box(forms::mr_no);
    auto menu = menu_for(root_, "keep.txt");
    EXPECT_EQ(menu.invoke(verb_delete), com::E_ABORT);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].request.text, "Are you sure you want to move 'keep.txt' to the trash?");
    EXPECT_TRUE(std::filesystem::exists(at("keep.txt")));
    boxes.answer_next_box(forms::mr_yes);
    EXPECT_EQ(menu.invoke(verb_delete), com::S_OK);
    EXPECT_FALSE(std::filesystem::exists(at("keep.txt")));
    EXPECT_EQ(read_file(data_home_ + "/Trash/files/keep.txt"), "k");
}

TEST_F(ShellTest, AVerbThatIsNotOfferedRunsNothing) {
    make_file("doc.txt");
    std::vector<std::string> opened;
    auto previous = set_opener([&](const std::string& p) {
        opened.push_back(p);
        return com::S_OK;
    });
    auto menu = menu_for(root_, "doc.txt");
    EXPECT_EQ(menu.invoke(99), com::E_INVALIDARG);
    EXPECT_EQ(menu.invoke(verb_paste), com::E_INVALIDARG);  // nothing on the clipboard
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(menu.verb_of(verb_delete), "delete");
    EXPECT_FALSE(menu.verb_of(99));
    EXPECT_EQ(menu.invoke(verb_open), com::S_OK);
    EXPECT_EQ(opened, std::vector<std::string>{at("doc.txt")});
    set_opener(previous);
}

TEST_F(ShellTest, MenuOffersRenameOnlyWhenAskedAndAllowed) {
    make_file("f");
    auto menu = menu_for(root_, "f");
    auto has = [](const std::vector<MenuCommand>& cmds, int offset) {
        for (const auto& c : cmds)
            if (c.offset == offset) return true;
        return false;
    };
    EXPECT_FALSE(has(menu.query(CMF_NORMAL), verb_rename));
    EXPECT_TRUE(has(menu.query(CMF_CANRENAME), verb_rename));
    EXPECT_TRUE(has(menu.query(CMF_NORMAL), -1));  // the Send To submenu
    EXPECT_EQ(menu.query(CMF_DEFAULTONLY).size(), 1u);
    // A mount point offers neither rename nor delete.
    make_dir("mp");
    add_mount(at("mp"));
    auto mp = menu_for(root_, "mp");
    EXPECT_FALSE(has(mp.query(CMF_CANRENAME), verb_rename));
    EXPECT_FALSE(has(mp.query(CMF_CANRENAME), verb_delete));
}

TEST_F(ShellTest, CutAndPasteMovesAndGhostsUntilPasted) {
    make_file("src/item.txt", "");
    make_dir("src");
    make_file("src/item.txt", "payload");
    make_dir("dst");
    auto item = menu_for(at("src"), "item.txt");
    ASSERT_EQ(item.invoke(verb_cut), com::S_OK);
    IdList list;
    ASSERT_EQ(parse_path(at("src/item.txt"), list), com::S_OK);
    EXPECT_TRUE(attributes(list.data(), SFGAO_GHOSTED) & SFGAO_GHOSTED);
    auto dst = menu_for(root_, "dst");
    ASSERT_EQ(dst.invoke(verb_paste), com::S_OK);
    EXPECT_EQ(read_file(at("dst/item.txt")), "payload");
    EXPECT_FALSE(std::filesystem::exists(at("src/item.txt")));
    EXPECT_TRUE(shell_clipboard().empty());
}

TEST_F(ShellTest, CopyIntoAFolderRenamesOnClashAndRefusesItsOwnDescendant) {
    make_dir("tree/sub");
    make_file("tree/sub/f", "1");
    ::symlink("f", at("tree/sub/lnk").c_str());
    make_dir("target/tree");
    forms::ScriptedInteraction boxes;
    boxes.answer_next_box(forms::mr_yes);
    ASSERT_EQ(transfer_into({at("tree")}, at("target"), DROPEFFECT_COPY), com::S_OK);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].request.text, "'tree' is already in '" + at("target") +
                                                 "'.\n\nKeep both, with the new one named 'tree (2)'?");
    EXPECT_EQ(read_file(at("target/tree (2)/sub/f")), "1");
    EXPECT_TRUE(std::filesystem::is_symlink(at("target/tree (2)/sub/lnk")));
    EXPECT_EQ(transfer_into({at("tree")}, at("tree/sub"), DROPEFFECT_COPY), com::E_INVALIDARG);
    EXPECT_EQ(transfer_into({at("tree")}, at("tree"), DROPEFFECT_MOVE), com::E_INVALIDARG);
    ASSERT_EQ(transfer_into({at("tree/sub/f")}, at("target"), DROPEFFECT_LINK), com::S_OK);
    EXPECT_TRUE(std::filesystem::is_symlink(at("target/f")));
}

TEST_F(ShellTest, ANameClashIsAskedAndNothingIsOverwritten) {
    make_dir("a");
    make_dir("b");
    make_file("a/same.txt", "from a");
    make_file("b/same.txt", "in b");
    make_file("a/other.txt", "other");
    forms::ScriptedInteraction boxes;
    // No: the clashing item stays where it is, the other one moves.
    boxes.answer_next_box(forms::mr_no);
    ASSERT_EQ(transfer_into({at("a/same.txt"), at("a/other.txt")}, at("b"), DROPEFFECT_MOVE), com::S_OK);
    EXPECT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(read_file(at("a/same.txt")), "from a");
    EXPECT_EQ(read_file(at("b/same.txt")), "in b");
    EXPECT_EQ(read_file(at("b/other.txt")), "other");
    EXPECT_FALSE(std::filesystem::exists(at("a/other.txt")));
    // Yes: both kept.
    boxes.answer_next_box(forms::mr_yes);
    ASSERT_EQ(transfer_into({at("a/same.txt")}, at("b"), DROPEFFECT_MOVE), com::S_OK);
    EXPECT_EQ(read_file(at("b/same.txt")), "in b");
    EXPECT_EQ(read_file(at("b/same (2).txt")), "from a");
    EXPECT_FALSE(std::filesystem::exists(at("a/same.txt")));
    // Moving into the folder an item is already in asks nothing and changes nothing.
    ASSERT_EQ(transfer_into({at("b/same.txt")}, at("b"), DROPEFFECT_MOVE), com::S_OK);
    EXPECT_EQ(boxes.boxes().size(), 2u);
    EXPECT_EQ(read_file(at("b/same.txt")), "in b");
}

TEST_F(ShellTest, SendToEntriesSkipHiddenFilesAndRealFolders) {
    const std::string dir = data_home_ + "/zor/SendTo";
    std::filesystem::create_directories(dir + "/plain_folder");
    std::ofstream(dir + "/Mail Recipient") << "";
    std::ofstream(dir + "/.hidden") << "";
    make_dir("cards");
    ::symlink(at("cards").c_str(), (dir + "/SD Card").c_str());
    EXPECT_EQ(send_to_entries(), (std::vector<std::string>{"Mail Recipient", "SD Card"}));
    EXPECT_TRUE(drop_target_for_path(dir + "/SD Card"));
    EXPECT_FALSE(drop_target_for_path(dir + "/Mail Recipient"));  // not a program
}

}  // namespace
}  // namespace platform::shell
