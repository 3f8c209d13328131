// The namespace over real temporary folder trees.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/shell/mounts.h"
#include "platform/shell/shell.h"
#include "platform/shell/tests/shell_test_support.h"

namespace platform::shell {
namespace {

using testing::bind_path;
using testing::run_unprivileged;
using testing::ShellTest;

std::vector<std::string> names(const Folder& folder, const std::vector<IdList>& items) {
    std::vector<std::string> out;
    for (const auto& i : items)
        out.push_back(folder.display_name_of(i.data(), SHGDN_FORPARSING | SHGDN_INFOLDER));
    return out;
}

TEST(IdLists, SizesCountsAndValidation) {
    EXPECT_EQ(id_list_size(nullptr), 0u);
    const IdList empty = empty_id_list();
    EXPECT_EQ(id_list_size(empty.data()), 2u);
    const IdList a = make_item(ItemKind::child, "abc");  // cb 4 + 3 + 1 = 8
    EXPECT_EQ(id_list_size(a.data()), 10u);
    const IdList ab = concat(a.data(), make_item(ItemKind::child, "de").data());
    EXPECT_EQ(id_list_count(ab.data()), 2);
    EXPECT_EQ(id_list_size(ab.data()), 8u + 7u + 2u);
    EXPECT_EQ(last_item(ab.data()), make_item(ItemKind::child, "de"));
    EXPECT_EQ(parent_of(ab.data()), a);
    EXPECT_TRUE(is_valid_id_list(ab.data(), ab.size()));
    // Cut short, a count pointing past the end, a count too small to move on: all refused.
    EXPECT_FALSE(is_valid_id_list(ab.data(), ab.size() - 1));
    IdList bad = ab;
    bad[0] = 200;
    EXPECT_FALSE(is_valid_id_list(bad.data(), bad.size()));
    bad = ab;
    bad[0] = 1;
    bad[1] = 0;
    EXPECT_FALSE(is_valid_id_list(bad.data(), bad.size()));
    EXPECT_FALSE(is_valid_id_list(ab.data(), 1));
}

TEST(IdLists, DecodeRejectsForeignItems) {
    IdList foreign = make_item(ItemKind::child, "x");
    foreign[2] = 0x77;
    EXPECT_FALSE(decode(foreign.data()).has_value());
    auto items = decode(encode({{ItemKind::virtual_folder, "computer"}, {ItemKind::anchor, "/"}}).data());
    ASSERT_TRUE(items);
    EXPECT_EQ(items->size(), 2u);
    EXPECT_EQ((*items)[1].payload, "/");
}

TEST(Paths, NormaliseAndDisplayText) {
    EXPECT_EQ(normalize_path("/a//b/./c/../d/"), "/a/b/d");
    EXPECT_EQ(normalize_path("/.."), "/");
    EXPECT_EQ(display_text("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(display_text("bad\xFFname"), "bad\xEF\xBF\xBDname");
    EXPECT_EQ(display_text("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong "/"
    EXPECT_EQ(display_text("tab\there"), "tab?here");
}

TEST_F(ShellTest, EnumerationFiltersFoldersFilesAndHiddenOnes) {
    make_dir("tree/sub");
    make_dir("tree/.hidden_dir");
    make_file("tree/file.txt");
    make_file("tree/.dotfile");
    ::symlink(at("tree/sub").c_str(), at("tree/link_to_sub").c_str());
    ::symlink(at("nowhere").c_str(), at("tree/broken").c_str());
    auto folder = bind_path(at("tree"));
    std::vector<IdList> items;
    ASSERT_EQ(folder->enum_objects(SHCONTF_FOLDERS, items), com::S_OK);
    auto got = names(*folder, items);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"link_to_sub", "sub"}));  // a link to a folder is a folder

    ASSERT_EQ(folder->enum_objects(SHCONTF_NONFOLDERS, items), com::S_OK);
    got = names(*folder, items);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"broken", "file.txt"}));

    ASSERT_EQ(folder->enum_objects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, items),
              com::S_OK);
    EXPECT_EQ(items.size(), 6u);
}

TEST_F(ShellTest, CompareOrdersFoldersFirstAndKeepsNamesDifferingInCase) {
    make_dir("t/zeta");
    make_file("t/Alpha");
    make_file("t/README");
    make_file("t/Readme");
    auto folder = bind_path(at("t"));
    std::vector<IdList> items;
    ASSERT_EQ(folder->enum_objects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, items), com::S_OK);
    std::sort(items.begin(), items.end(), [&](const IdList& a, const IdList& b) {
        return folder->compare_ids(0, a.data(), b.data()) < 0;
    });
    EXPECT_EQ(names(*folder, items), (std::vector<std::string>{"zeta", "Alpha", "README", "Readme"}));
    EXPECT_NE(folder->compare_ids(0, items[2].data(), items[3].data()), 0);
    EXPECT_EQ(folder->compare_ids(0, items[2].data(), items[2].data()), 0);
}

TEST_F(ShellTest, SortingAFolderGivesTheOrderOfItsComparisonOnEveryColumn) {
    make_dir("s/zeta");
    make_dir("s/Beta");
    make_file("s/big.log", std::string(5000, 'x'));
    make_file("s/small.txt", "1");
    make_file("s/mid.TXT", std::string(300, 'x'));
    make_file("s/noext", "12");
    make_file("s/README", "r");
    make_file("s/Readme", "r");
    ::symlink(at("s/zeta").c_str(), at("s/to zeta").c_str());
    ::symlink(at("s/gone").c_str(), at("s/broken").c_str());
    std::filesystem::last_write_time(at("s/small.txt"),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(5));
    auto folder = bind_path(at("s"));
    std::vector<IdList> items;
    ASSERT_EQ(folder->enum_objects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, items), com::S_OK);
    for (int column = 0; column < 4; ++column) {
        for (const bool descending : {false, true}) {
            std::vector<IdList> pairwise = items;
            std::stable_sort(pairwise.begin(), pairwise.end(), [&](const IdList& a, const IdList& b) {
                const int c = folder->compare_ids(column, a.data(), b.data());
                return descending ? c > 0 : c < 0;
            });
            std::vector<PCIDL> sorted;
            for (const auto& i : items) sorted.push_back(i.data());
            folder->sort_ids(column, sorted, descending);
            std::vector<IdList> got;
            for (PCIDL p : sorted) got.push_back(to_id_list(p));
            EXPECT_EQ(names(*folder, got), names(*folder, pairwise))
                << "column " << column << " descending " << descending;
        }
    }
}

TEST_F(ShellTest, AttributesOfFoldersFilesLinksAndReadOnlyItems) {
    make_dir("a/with_sub/inner");
    make_dir("a/empty");
    make_file("a/file");
    make_file("a/ro");
    ::chmod(at("a/ro").c_str(), 0444);
    ::symlink(at("a/with_sub").c_str(), at("a/link").c_str());
    auto folder = bind_path(at("a"));
    auto attrs = [&](const char* name) {
        IdList child;
        EXPECT_EQ(folder->parse_display_name(name, child), com::S_OK) << name;
        return folder->attributes_of(child.data(), 0xFFFFFFFFu & ~SFGAO_VALIDATE);
    };
    const std::uint32_t sub = attrs("with_sub");
    EXPECT_TRUE(sub & SFGAO_FOLDER);
    EXPECT_TRUE(sub & SFGAO_HASSUBFOLDER);
    EXPECT_TRUE(sub & SFGAO_FILESYSTEM);
    EXPECT_TRUE(sub & SFGAO_CANRENAME);
    EXPECT_TRUE(sub & SFGAO_CANDELETE);
    EXPECT_FALSE(sub & SFGAO_LINK);
    EXPECT_FALSE(attrs("empty") & SFGAO_HASSUBFOLDER);
    const std::uint32_t file = attrs("file");
    EXPECT_FALSE(file & SFGAO_FOLDER);
    EXPECT_TRUE(file & SFGAO_CANRENAME);
    const std::uint32_t link = attrs("link");
    EXPECT_TRUE(link & SFGAO_LINK);
    EXPECT_TRUE(link & SFGAO_FOLDER);  // links are resolved
    if (::geteuid() != 0) {
        EXPECT_TRUE(attrs("ro") & SFGAO_READONLY);
    }
    // Several items: only what all of them have.
    IdList f, s;
    folder->parse_display_name("file", f);
    folder->parse_display_name("with_sub", s);
    const PCIDL both[] = {f.data(), s.data()};
    EXPECT_FALSE(folder->attributes_of(both, SFGAO_FOLDER | SFGAO_CANRENAME) & SFGAO_FOLDER);
    EXPECT_TRUE(folder->attributes_of(both, SFGAO_FOLDER | SFGAO_CANRENAME) & SFGAO_CANRENAME);
}

TEST_F(ShellTest, ReadOnlyAndCopyFollowThePermissionBitsAndAFolderChangeIsSeenAtOnce) {
    const std::string base = at("bits");
    const std::string problem = run_unprivileged([base]() -> std::string {
        ::mkdir(base.c_str(), 0777);
        for (const auto& [name, mode] :
             {std::pair<const char*, mode_t>{"mine", 0644}, {"ro", 0444}, {"secret", 0200}}) {
            const std::string p = base + "/" + name;
            ::close(::open(p.c_str(), O_CREAT | O_WRONLY, 0600));
            ::chmod(p.c_str(), mode);
        }
        IdList list;
        FolderPtr folder;
        if (parse_path(base, list) != com::S_OK || bind_folder(list.data(), folder) != com::S_OK)
            return "bind failed";
        auto attrs = [&](const char* name) {
            IdList child;
            folder->parse_display_name(name, child);
            return folder->attributes_of(child.data(), SFGAO_READONLY | SFGAO_CANCOPY | SFGAO_CANRENAME);
        };
        if (attrs("mine") != (SFGAO_CANCOPY | SFGAO_CANRENAME))
            return "mine: " + std::to_string(attrs("mine"));
        if (attrs("ro") != (SFGAO_READONLY | SFGAO_CANCOPY | SFGAO_CANRENAME))
            return "ro: " + std::to_string(attrs("ro"));
        if (attrs("secret") != SFGAO_CANRENAME) return "secret: " + std::to_string(attrs("secret"));
        // The same folder object, after its folder was closed for changes and opened again.
        ::chmod(base.c_str(), 0555);
        if (attrs("mine") & SFGAO_CANRENAME) return "renamable in a folder closed for changes";
        ::chmod(base.c_str(), 0777);
        if (!(attrs("mine") & SFGAO_CANRENAME)) return "not renamable after the folder was opened again";
        return {};
    });
    EXPECT_EQ(problem, "");
}

TEST_F(ShellTest, UnreadableFoldersAreShownButNotEnteredAndTheirItemsLookNothing) {
    const std::string base = at("perm");
    const std::string problem = run_unprivileged([base]() -> std::string {
        ::mkdir(base.c_str(), 0777);
        const std::string closed = base + "/closed", listable = base + "/listable";
        ::mkdir(closed.c_str(), 0777);
        ::mkdir((closed + "/inside").c_str(), 0777);
        ::mkdir(listable.c_str(), 0777);
        ::mkdir((listable + "/child").c_str(), 0777);
        ::chmod(closed.c_str(), 0000);
        ::chmod(listable.c_str(), 0444);  // names can be read, entries cannot be looked at
        IdList list;
        if (parse_path(base, list) != com::S_OK) return "parse of the base failed";
        FolderPtr folder;
        if (bind_folder(list.data(), folder) != com::S_OK) return "bind failed";
        std::vector<IdList> items;
        folder->enum_objects(SHCONTF_FOLDERS, items);
        if (items.size() != 2) return "the unreadable folders are not shown";
        IdList c;
        folder->parse_display_name("closed", c);
        const auto a = folder->attributes_of(c.data(), SFGAO_FOLDER | SFGAO_HASSUBFOLDER);
        if (!(a & SFGAO_FOLDER)) return "closed is not a folder";
        if (a & SFGAO_HASSUBFOLDER) return "closed claims sub-folders";
        FolderPtr inner;
        if (folder->bind_to_object(c.data(), inner) != com::S_OK) return "closed cannot be bound";
        if (com::succeeded(inner->enum_objects(SHCONTF_FOLDERS, items))) return "closed was entered";
        // In a folder that can be listed but not searched, the entries' status cannot be read:
        // they must have no attributes, not every attribute asked for.
        IdList l;
        folder->parse_display_name("listable", l);
        FolderPtr lf;
        if (folder->bind_to_object(l.data(), lf) != com::S_OK) return "listable cannot be bound";
        if (com::failed(lf->enum_objects(SFGAO_FOLDER | SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, items)) ||
            items.size() != 1) {
            return "listable's names were not listed";
        }
        const auto child = lf->attributes_of(items[0].data(), 0xFFFFFFFFu & ~SFGAO_VALIDATE);
        if (child != 0) return "an unreadable entry has attributes " + std::to_string(child);
        ::chmod(closed.c_str(), 0777);
        ::chmod(listable.c_str(), 0777);
        return {};
    });
    EXPECT_EQ(problem, "");
}

TEST_F(ShellTest, DisplayNamesInTheirFormsForSpacesUtf8AndInvalidBytes) {
    make_dir("names");
    const std::string odd = "bad\xFF\xFEname";
    make_file("names/with space.txt");
    make_file("names/caf\xC3\xA9");
    make_file("names/" + odd);
    auto folder = bind_path(at("names"));
    std::vector<IdList> items;
    ASSERT_EQ(folder->enum_objects(SHCONTF_NONFOLDERS, items), com::S_OK);
    ASSERT_EQ(items.size(), 3u);
    for (const auto& item : items) {
        const std::string raw = folder->display_name_of(item.data(), SHGDN_FORPARSING | SHGDN_INFOLDER);
        const std::string shown = folder->display_name_of(item.data(), SHGDN_NORMAL);
        EXPECT_EQ(shown, display_text(raw));
        EXPECT_EQ(folder->display_name_of(item.data(), SHGDN_FORPARSING), at("names/" + raw));
        // The parsing form round-trips to the same item, also for bytes that are not UTF-8.
        IdList back;
        ASSERT_EQ(parse_path(folder->display_name_of(item.data(), SHGDN_FORPARSING), back), com::S_OK);
        EXPECT_EQ(last_item(back.data()), item);
    }
    IdList bad;
    ASSERT_EQ(folder->parse_display_name(odd, bad), com::S_OK);
    EXPECT_EQ(folder->display_name_of(bad.data(), SHGDN_INFOLDER), "bad\xEF\xBF\xBD\xEF\xBF\xBDname");
}

TEST_F(ShellTest, PathsParseToCanonicalListsAndBackWithoutALengthLimit) {
    // Under the home folder: the home anchor first.
    make_dir("home/docs");
    IdList list;
    ASSERT_EQ(parse_path(home_ + "/docs/", list), com::S_OK);
    auto items = decode(list.data());
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 2u);
    EXPECT_EQ((*items)[0].kind, ItemKind::anchor);
    EXPECT_EQ((*items)[0].payload, home_);
    EXPECT_EQ(path_of(list.data()), home_ + "/docs");
    EXPECT_EQ(display_name(list.data(), SHGDN_NORMAL), "docs");
    // Elsewhere: Computer, then the longest mount, then the names.
    make_dir("disk/data");
    add_mount(at("disk"), "nfs4", 0, 44);  // a remote mount: one of Computer's drives
    ASSERT_EQ(parse_path(at("disk/data"), list), com::S_OK);
    items = decode(list.data());
    ASSERT_EQ(items->size(), 3u);
    EXPECT_EQ((*items)[0].kind, ItemKind::virtual_folder);
    EXPECT_EQ((*items)[1].payload, at("disk"));
    EXPECT_EQ(path_of(list.data()), at("disk/data"));
    // A path much longer than 260 bytes is neither cut short nor refused.
    std::string deep = "deep";
    for (int i = 0; i < 30; ++i) deep += "/folder_number_" + std::to_string(i);
    make_dir(deep);
    ASSERT_GT(at(deep).size(), 500u);
    ASSERT_EQ(parse_path(at(deep), list), com::S_OK);
    EXPECT_EQ(path_of(list.data()), at(deep));
    // Missing paths and relative paths fail.
    EXPECT_TRUE(com::failed(parse_path(at("missing"), list)));
    EXPECT_TRUE(com::failed(parse_path("relative/path", list)));
    // Virtual folders have no path.
    EXPECT_FALSE(path_of(empty_id_list().data()));
    IdList computer;
    ASSERT_EQ(special_folder_location(CSIDL_DRIVES, computer), com::S_OK);
    EXPECT_FALSE(path_of(computer.data()));
}

TEST_F(ShellTest, SymbolicLinksAreKeptInPathsAndResolvedAsShortcuts) {
    make_dir("real/target");
    make_file("real/file.txt");
    ::symlink(at("real").c_str(), at("alias").c_str());
    IdList list;
    ASSERT_EQ(parse_path(at("alias/target"), list), com::S_OK);
    EXPECT_EQ(path_of(list.data()), at("alias/target"));  // the user's path is kept
    FolderPtr folder;
    ASSERT_EQ(bind_folder(list.data(), folder), com::S_OK);
    EXPECT_TRUE(is_shortcut(at("alias")));
    auto target = resolve_shortcut(at("alias"));
    ASSERT_TRUE(target);
    EXPECT_TRUE(target->is_directory);
    EXPECT_EQ(target->path, std::filesystem::canonical(at("real")).string());
    // A .desktop link to a file URL is a shortcut too.
    make_file("link.desktop",
              "[Desktop Entry]\nType=Link\nName=x\nURL=file://" + at("real/file%2Etxt") + "\n");
    target = resolve_shortcut(at("link.desktop"));
    ASSERT_TRUE(target);
    EXPECT_EQ(target->path, at("real/file.txt"));
    EXPECT_FALSE(target->is_directory);
    EXPECT_FALSE(is_shortcut(at("real/file.txt")));
    ::symlink(at("gone").c_str(), at("dangling").c_str());
    EXPECT_FALSE(resolve_shortcut(at("dangling")));
}

TEST_F(ShellTest, DesktopLinksWithBlanksAroundKeysCrLfOrLocalhostResolve) {
    make_dir("real/target");
    make_file("spaced.desktop",
              "[Desktop Entry]\nType = Link\nName=x\nURL = file://" + at("real/target") + "\n");
    make_file("crlf.desktop",
              "[Desktop Entry]\r\nType=Link\r\nName=x\r\nURL=file://" + at("real/target") + "\r\n");
    make_file("localhost.desktop",
              "[Desktop Entry]\nType=Link\nURL=file://localhost" + at("real/target") + "\n");
    for (const char* name : {"spaced.desktop", "crlf.desktop", "localhost.desktop"}) {
        EXPECT_TRUE(is_shortcut(at(name))) << name;
        const auto target = resolve_shortcut(at(name));
        ASSERT_TRUE(target) << name;
        EXPECT_EQ(target->path, at("real/target"));
        EXPECT_TRUE(target->is_directory);
    }
    // Another host's file, or an application entry, is not a shortcut.
    make_file("remote.desktop", "[Desktop Entry]\nType=Link\nURL=file://server" + at("real/target") + "\n");
    make_file("app.desktop", "[Desktop Entry]\nType=Application\nURL=file://" + at("real/target") + "\n");
    EXPECT_FALSE(is_shortcut(at("remote.desktop")));
    EXPECT_FALSE(is_shortcut(at("app.desktop")));
}

TEST_F(ShellTest, AFolderOfManyPlainFilesHasNoSubFoldersUnlessOneIsThere) {
    make_dir("many");
    for (int i = 0; i < 5000; ++i) make_file("many/f" + std::to_string(i), "");
    auto parent = bind_path(root_);
    IdList many;
    ASSERT_EQ(parent->parse_display_name("many", many), com::S_OK);
    EXPECT_EQ(parent->attributes_of(many.data(), SFGAO_HASSUBFOLDER), 0u);
    make_dir("many/zz_last");
    EXPECT_EQ(parent->attributes_of(many.data(), SFGAO_HASSUBFOLDER), SFGAO_HASSUBFOLDER);
    // Entries that each need a look of their own beyond the limit: the scan stops and says yes.
    make_dir("links");
    for (int i = 0; i < 4200; ++i) ::symlink("nowhere", at("links/l" + std::to_string(i)).c_str());
    IdList links;
    ASSERT_EQ(parent->parse_display_name("links", links), com::S_OK);
    EXPECT_EQ(parent->attributes_of(links.data(), SFGAO_HASSUBFOLDER), SFGAO_HASSUBFOLDER);
}

TEST_F(ShellTest, RenameRefusesBadNamesAndExistingOnes) {
    make_dir("r");
    make_file("r/one", "1");
    make_file("r/two", "2");
    auto folder = bind_path(at("r"));
    IdList one, out;
    ASSERT_EQ(folder->parse_display_name("one", one), com::S_OK);
    for (const std::string& bad :
         std::vector<std::string>{"", ".", "..", "a/b", std::string("a\0b", 3), std::string(256, 'n')}) {
        EXPECT_EQ(folder->set_name_of(one.data(), bad, out), com::E_INVALIDARG) << bad.size();
    }
    EXPECT_EQ(folder->set_name_of(one.data(), "two", out), hresult_already_exists());
    EXPECT_EQ(read_file(at("r/two")), "2");  // nothing was overwritten
    ASSERT_EQ(folder->set_name_of(one.data(), "new name \xC3\xA9", out), com::S_OK);
    EXPECT_EQ(out, make_item(ItemKind::child, "new name \xC3\xA9"));
    EXPECT_EQ(read_file(at("r/new name \xC3\xA9")), "1");
}

TEST_F(ShellTest, RootHomeAndComputerFromTheMountTable) {
    make_dir("media/usb");
    add_mount("/media/usb stick", "vfat", 8, 17);
    add_mount("/srv/share", "nfs4", 0, 50);
    add_mount("/run/user/1000", "tmpfs", 0, 60);  // not a drive
    auto desk = desktop_folder();
    std::vector<IdList> top;
    ASSERT_EQ(desk->enum_objects(SHCONTF_FOLDERS, top), com::S_OK);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(desk->display_name_of(top[0].data(), SHGDN_NORMAL), "Home");
    EXPECT_EQ(desk->display_name_of(top[1].data(), SHGDN_NORMAL), "Computer");
    EXPECT_LT(desk->compare_ids(0, top[0].data(), top[1].data()), 0);
    EXPECT_EQ(display_name(empty_id_list().data(), SHGDN_NORMAL), "Desktop");
    FolderPtr computer;
    ASSERT_EQ(desk->bind_to_object(top[1].data(), computer), com::S_OK);
    std::vector<IdList> drives_seen;
    ASSERT_EQ(computer->enum_objects(SHCONTF_FOLDERS, drives_seen), com::S_OK);
    std::vector<std::string> shown;
    for (const auto& d : drives_seen) shown.push_back(computer->display_name_of(d.data(), SHGDN_NORMAL));
    EXPECT_EQ(shown, (std::vector<std::string>{"File System", "usb stick", "share"}));
    EXPECT_EQ(computer->display_name_of(drives_seen[1].data(), SHGDN_FORPARSING), "/media/usb stick");
    // Anchors are never renamed or deleted.
    EXPECT_EQ(
        computer->attributes_of(drives_seen[0].data(), SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_FOLDER),
        SFGAO_FOLDER);
    EXPECT_EQ(desk->attributes_of(top[0].data(), SFGAO_CANDELETE), 0u);
    EXPECT_TRUE(is_namespace_anchor(top[0].data()));
    EXPECT_EQ(icon_index(empty_id_list().data(), false), icon_desktop);
    EXPECT_EQ(icon_index(top[1].data(), false), icon_computer);
    const IdList share = concat(top[1].data(), drives_seen[2].data());
    EXPECT_EQ(icon_index(share.data(), false), icon_drive_remote);
}

TEST_F(ShellTest, MountPointsInsideAFolderCannotBeRenamed) {
    make_dir("m/mounted");
    add_mount(at("m/mounted"));
    auto folder = bind_path(at("m"));
    IdList child;
    ASSERT_EQ(folder->parse_display_name("mounted", child), com::S_OK);
    EXPECT_EQ(folder->attributes_of(child.data(), SFGAO_CANRENAME | SFGAO_CANDELETE), 0u);
    IdList out;
    EXPECT_EQ(folder->set_name_of(child.data(), "other", out), com::E_ACCESSDENIED);
}

TEST_F(ShellTest, MountParsingAndDriveTypes) {
    Mount m;
    ASSERT_TRUE(
        parse_mountinfo_line("36 35 98:0 /mnt1 /mnt/my\\040disk rw,noatime master:1 - ext3 /dev/root rw", m));
    EXPECT_EQ(m.mount_point, "/mnt/my disk");
    EXPECT_EQ(m.fs_type, "ext3");
    EXPECT_EQ(m.major, 98u);
    EXPECT_FALSE(parse_mountinfo_line("garbage", m));
    EXPECT_EQ(drive_type({"/x", "nfs", "", 0, 1}), DriveType::remote);
    EXPECT_EQ(drive_type({"/x", "tmpfs", "", 0, 1}), DriveType::ramdisk);
    EXPECT_EQ(drive_type({"/x", "iso9660", "", 11, 0}), DriveType::cdrom);
    EXPECT_EQ(drive_type({"/run/media/u/stick", "vfat", "", 8, 33}), DriveType::removable);
    // The removable flag of a block device in sysfs.
    std::filesystem::create_directories(at("sys/dev/block/8:48"));
    std::ofstream(at("sys/dev/block/8:48/removable")) << "1\n";
    EXPECT_EQ(drive_type({"/data", "ext4", "", 8, 48}), DriveType::removable);
    // The flag is read once while the mount table is kept, and again once it is dropped.
    std::ofstream(at("sys/dev/block/8:48/removable")) << "0\n";
    EXPECT_EQ(drive_type({"/data", "ext4", "", 8, 48}), DriveType::removable);
    validate_mounts();
    EXPECT_EQ(drive_type({"/data", "ext4", "", 8, 48}), DriveType::fixed);
    EXPECT_EQ(drive_type({"/data", "ext4", "", 8, 64}), DriveType::fixed);
}

TEST_F(ShellTest, DeviceChangesComeFromMountTableDifferences) {
    std::vector<std::pair<std::uint32_t, std::string>> seen;
    MountMonitor monitor([&](std::uint32_t code, const std::string& p) { seen.emplace_back(code, p); });
    EXPECT_EQ(monitor.check(), 0);
    add_mount("/media/cam");
    EXPECT_EQ(monitor.check(), 1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_pair(DBT_DEVICEARRIVAL, std::string("/media/cam")));
    std::ofstream(at("mountinfo")) << "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
    EXPECT_EQ(monitor.check(), 1);
    EXPECT_EQ(seen[1], std::make_pair(DBT_DEVICEREMOVECOMPLETE, std::string("/media/cam")));
}

TEST_F(ShellTest, SpecialFolders) {
    IdList list;
    ASSERT_EQ(special_folder_location(CSIDL_DESKTOP, list), com::S_OK);
    EXPECT_EQ(list, empty_id_list());
    ASSERT_EQ(special_folder_location(CSIDL_PROFILE, list), com::S_OK);
    EXPECT_EQ(path_of(list.data()), home_);
    EXPECT_EQ(special_folder_location(CSIDL_SENDTO, list), hresult_from_errno(ENOENT));
    make_dir("home/.local/share/zor/SendTo");
    ASSERT_EQ(special_folder_location(CSIDL_SENDTO, list), com::S_OK);
    EXPECT_EQ(path_of(list.data()), data_home_ + "/zor/SendTo");
    EXPECT_EQ(special_folder_location(33, list), com::E_INVALIDARG);
    make_dir("home/Papers");
    make_dir("home/.config");
    std::ofstream(at("home/.config/user-dirs.dirs")) << "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
    ::setenv("XDG_CONFIG_HOME", at("home/.config").c_str(), 1);
    ASSERT_EQ(special_folder_location(CSIDL_PERSONAL, list), com::S_OK);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(path_of(list.data()), home_ + "/Papers");
}

}  // namespace
}  // namespace platform::shell
