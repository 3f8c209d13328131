// What the shell must never do to files: copy a folder into itself, rename, move or delete the
// home folder, the folders above it, mount points or the trash, or replace anything in the
// trash. Everything happens under the fixture's private HOME and XDG_DATA_HOME.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/forms/interaction.h"
#include "platform/shell/file_ops.h"
#include "platform/shell/mounts.h"
#include "platform/shell/tests/shell_test_support.h"

namespace platform::shell {
namespace {

using testing::bind_path;
using testing::ShellTest;

constexpr std::uint32_t change_bits = SFGAO_CANRENAME | SFGAO_CANMOVE | SFGAO_CANDELETE;

IdList child_of(const FolderPtr& folder, const std::string& name) {
    IdList child;
    EXPECT_EQ(folder->parse_display_name(name, child), com::S_OK) << name;
    return child;
}

std::uint32_t change_attributes(const std::string& folder, const std::string& name) {
    auto f = bind_path(folder);
    const IdList child = child_of(f, name);
    return f->attributes_of(child.data(), change_bits);
}

// The home folder sits two folders down, so the folders above it are the test's own.
class KeptFolders : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        make_dir("outer/inner/home/docs");
        make_file("outer/inner/home/docs/note.txt", "n");
        home_ = at("outer/inner/home");
        ::setenv("HOME", home_.c_str(), 1);
    }
};

TEST_F(ShellTest, ASourceThatHoldsTheTargetIsRefusedInEverySpelling) {
    make_dir("tree/sub");
    make_file("tree/sub/f", "1");
    make_dir("target");
    ::symlink(at("tree").c_str(), at("treelink").c_str());
    ::symlink("/", at("rootlink").c_str());
    forms::ScriptedInteraction boxes;
    boxes.set_default_box_answer(forms::mr_no);  // no keep-both question may start a copy
    struct Case {
        std::string source, target;
    };
    const std::vector<Case> cases = {
        {"/", at("target")},
        {"//", at("target")},
        {"/./", at("target")},
        {at("tree/"), at("tree/sub")},
        {at("tree//."), at("tree")},
        {at("tree"), at("treelink/sub")},
        {at("treelink/"), at("tree/sub")},
        {at("rootlink"), at("target")},
    };
    for (const auto& c : cases) {
        for (const std::uint32_t effect : {DROPEFFECT_COPY, DROPEFFECT_MOVE, DROPEFFECT_LINK}) {
            boxes.clear_record();
            EXPECT_EQ(transfer_into({c.source}, c.target, effect), com::E_INVALIDARG)
                << c.source << " " << effect;
            ASSERT_EQ(boxes.boxes().size(), 1u) << c.source << " " << effect;
            EXPECT_NE(boxes.boxes()[0].request.text.find("' cannot be "), std::string::npos);
            EXPECT_EQ(boxes.boxes()[0].request.type, forms::DialogType::warning);
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(at("target")));
    EXPECT_EQ(std::filesystem::directory_iterator(at("tree/sub")) != std::filesystem::directory_iterator(),
              true);
    EXPECT_FALSE(std::filesystem::exists(at("tree/sub/tree")));
    EXPECT_FALSE(std::filesystem::exists(at("tree/sub/treelink")));
    EXPECT_EQ(read_file(at("tree/sub/f")), "1");
    // A sibling is no container: the copy is made.
    ASSERT_EQ(transfer_into({at("tree/sub")}, at("target"), DROPEFFECT_COPY), com::S_OK);
    EXPECT_EQ(read_file(at("target/sub/f")), "1");
}

TEST_F(ShellTest, PastingTheRootIntoAFolderSaysWhyOnce) {
    make_dir("target");
    auto folder = bind_path(root_);
    ContextMenu menu(folder, {child_of(folder, "target")});
    forms::ScriptedInteraction boxes;
    boxes.set_default_box_answer(forms::mr_no);
    shell_clipboard().set({"/"}, DROPEFFECT_COPY);
    EXPECT_EQ(menu.invoke(verb_paste), com::E_INVALIDARG);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].request.text,
              "'/' cannot be copied into '" + at("target") + "': it is that folder or holds it.");
    EXPECT_TRUE(std::filesystem::is_empty(at("target")));
}

TEST_F(KeptFolders, HomeAndTheFoldersAboveItAreNeitherRenamedMovedNorDeleted) {
    make_dir("elsewhere");
    // Attributes say so, so no menu offers it.
    EXPECT_EQ(change_attributes(at("outer/inner"), "home"), 0u);
    EXPECT_EQ(change_attributes(at("outer"), "inner"), 0u);
    EXPECT_EQ(change_attributes(root_, "outer"), 0u);
    EXPECT_EQ(change_attributes(home_, "docs"), change_bits);  // below home all is as usual
    {
        auto folder = bind_path(root_);
        ContextMenu menu(folder, {child_of(folder, "outer")});
        for (const auto& c : menu.query(CMF_CANRENAME)) {
            EXPECT_NE(c.verb, "delete");
            EXPECT_NE(c.verb, "rename");
            EXPECT_NE(c.verb, "cut");
        }
    }
    // And the operations refuse it.
    auto folder = bind_path(at("outer"));
    IdList out;
    EXPECT_EQ(folder->set_name_of(child_of(folder, "inner").data(), "moved", out), com::E_ACCESSDENIED);
    auto parent = bind_path(at("outer/inner"));
    EXPECT_EQ(parent->set_name_of(child_of(parent, "home").data(), "moved", out), com::E_ACCESSDENIED);
    forms::ScriptedInteraction boxes;
    boxes.set_default_box_answer(forms::mr_yes);
    EXPECT_EQ(transfer_into({at("outer")}, at("elsewhere"), DROPEFFECT_MOVE), com::E_ACCESSDENIED);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].request.text,
              "'" + at("outer") + "' cannot be moved: it holds the home folder.");
    EXPECT_TRUE(deletion_refused(at("outer/inner")));
    EXPECT_EQ(move_to_trash(at("outer")), com::E_ACCESSDENIED);
    EXPECT_EQ(move_to_trash(home_), com::E_ACCESSDENIED);
    EXPECT_EQ(read_file(home_ + "/docs/note.txt"), "n");
    EXPECT_TRUE(std::filesystem::is_empty(at("elsewhere")));
    // Copying them is allowed: nothing moves.
    ASSERT_EQ(transfer_into({at("outer")}, at("elsewhere"), DROPEFFECT_COPY), com::S_OK);
    EXPECT_EQ(read_file(at("elsewhere/outer/inner/home/docs/note.txt")), "n");
}

TEST_F(KeptFolders, HomeReachedThroughALinkIsKeptToo) {
    ::symlink(at("outer/inner").c_str(), at("innerlink").c_str());
    EXPECT_EQ(change_attributes(at("innerlink"), "home"), 0u);
    auto folder = bind_path(at("innerlink"));
    IdList out;
    EXPECT_EQ(folder->set_name_of(child_of(folder, "home").data(), "moved", out), com::E_ACCESSDENIED);
    EXPECT_TRUE(std::filesystem::is_directory(home_));
    // The link itself is only a link: it may go.
    EXPECT_EQ(change_attributes(root_, "innerlink"), change_bits);
}

TEST_F(ShellTest, TheRootMountPointsAndTheTrashAreKept) {
    // Through Computer: "/" is an anchor and its folders above the home folder are kept.
    IdList computer;
    ASSERT_EQ(special_folder_location(CSIDL_DRIVES, computer), com::S_OK);
    FolderPtr drives;
    ASSERT_EQ(bind_folder(computer.data(), drives), com::S_OK);
    const IdList slash = make_item(ItemKind::anchor, "/");
    EXPECT_EQ(drives->attributes_of(slash.data(), change_bits), 0u);
    EXPECT_EQ(change_attributes("/", "tmp") & change_bits, 0u);  // the fixture's home is below /tmp
    make_dir("mnt/disk");
    add_mount(at("mnt/disk"));
    EXPECT_EQ(change_attributes(at("mnt"), "disk"), 0u);
    make_file("gone.txt");
    ASSERT_EQ(move_to_trash(at("gone.txt")), com::S_OK);
    EXPECT_EQ(change_attributes(data_home_, "Trash"), 0u);
    EXPECT_EQ(change_attributes(data_home_ + "/Trash", "files"), 0u);
    EXPECT_EQ(change_attributes(home_ + "/.local", "share"), 0u);  // it holds the trash
    EXPECT_EQ(change_attributes(data_home_ + "/Trash/files", "gone.txt"), change_bits);
    make_dir("work/.Trash-1000");
    EXPECT_EQ(change_attributes(at("work"), ".Trash-1000"), 0u);
    make_dir("work/.Trash-1000/files");
    EXPECT_EQ(change_attributes(at("work/.Trash-1000"), "files"), 0u);
    make_dir("work/plain/files");
    EXPECT_EQ(change_attributes(at("work/plain"), "files"), change_bits);
}

TEST_F(ShellTest, DeletingNeverReplacesWhatIsInTheTrash) {
    const std::string files = data_home_ + "/Trash/files", info = data_home_ + "/Trash/info";
    std::filesystem::create_directories(files);
    std::filesystem::create_directories(info);
    // Something in files/ without a record (put there by hand, or by a program that failed half way).
    std::ofstream(files + "/a.txt") << "already there";
    make_file("a.txt", "deleted");
    std::string record;
    ASSERT_EQ(move_to_trash(at("a.txt"), &record), com::S_OK);
    EXPECT_EQ(read_file(files + "/a.txt"), "already there");
    EXPECT_EQ(record, info + "/a.txt.2.trashinfo");
    EXPECT_EQ(read_file(files + "/a.txt.2"), "deleted");
    EXPECT_FALSE(std::filesystem::exists(info + "/a.txt.trashinfo"));
    // A record without its entry keeps its name too.
    std::ofstream(info + "/b.trashinfo") << "[Trash Info]\nPath=/somewhere/b\n";
    make_file("b", "b");
    ASSERT_EQ(move_to_trash(at("b"), &record), com::S_OK);
    EXPECT_EQ(record, info + "/b.2.trashinfo");
    EXPECT_FALSE(std::filesystem::exists(files + "/b"));
}

TEST_F(ShellTest, ALongNameGetsAShortenedUniqueTrashNameAndComesBack) {
    const std::string files = data_home_ + "/Trash/files";
    const std::string first = std::string(248, 'l') + "-one", second = std::string(248, 'l') + "-two";
    const std::string third =
        std::string(240, 'l') + "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";
    make_file(first, "1");
    make_file(second, "2");
    make_file(third, "3");
    std::string r1, r2, r3;
    ASSERT_EQ(move_to_trash(at(first), &r1), com::S_OK);
    ASSERT_EQ(move_to_trash(at(second), &r2), com::S_OK);
    ASSERT_EQ(move_to_trash(at(third), &r3), com::S_OK);
    EXPECT_NE(r1, r2);
    for (const auto& r : {r1, r2, r3}) {
        const std::string name = std::filesystem::path(r).filename().string();
        EXPECT_LE(name.size(), max_name_bytes);
        const std::string stem = name.substr(0, name.size() - std::string(".trashinfo").size());
        EXPECT_TRUE(std::filesystem::exists(files + "/" + stem)) << stem;
    }
    // The third is cut between characters, not inside one.
    const std::string third_stem = std::filesystem::path(r3).stem().string();
    EXPECT_EQ(display_text(third_stem), third_stem);
    // Each comes back under its whole name.
    EXPECT_EQ(testing::restore_from_trash(r1), at(first));
    EXPECT_EQ(testing::restore_from_trash(r2), at(second));
    EXPECT_EQ(testing::restore_from_trash(r3), at(third));
    EXPECT_EQ(read_file(at(first)), "1");
    EXPECT_EQ(read_file(at(second)), "2");
    EXPECT_EQ(read_file(at(third)), "3");
}

}  // namespace
}  // namespace platform::shell
