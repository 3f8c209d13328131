// Namespace helpers: list arithmetic, the ordered list, names, special folders, formatting
// and the device-change fan-out.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/forms/interaction.h"
#include "platform/shell/shell.h"
#include "platform/window/window.h"
#include "shellctl/kw_shell_utils.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace shell = platform::shell;
using testing::block_of;
using testing::CountingMalloc;
using testing::TempTree;

std::vector<std::uint8_t> item(const std::string& name) {
    return shell::make_item(shell::ItemKind::child, name);
}

TEST(IdListArithmetic, SizesCopiesAndComparisons) {
    EXPECT_EQ(IdListSize(nullptr), 0u);
    const auto empty = shell::empty_id_list();
    EXPECT_EQ(IdListSize(empty.data()), 2u);
    // Items of 14 and 20 bytes make a list of 36.
    const auto a = item(std::string(9, 'a'));   // 4 + 9 + 1 = 14
    const auto b = item(std::string(15, 'b'));  // 4 + 15 + 1 = 20
    const auto ab = shell::concat(a.data(), b.data());
    EXPECT_EQ(IdListSize(ab.data()), 36u);

    PIDL none = ConcatIdLists(nullptr, nullptr, nullptr);
    EXPECT_EQ(IdListSize(none), 2u);
    EXPECT_EQ(none[0], 0);
    ShellFree(none);
    PIDL copy = ConcatIdLists(nullptr, empty.data(), ab.data());
    EXPECT_EQ(std::vector<std::uint8_t>(copy, copy + IdListSize(copy)), ab);
    ShellFree(copy);

    EXPECT_EQ(CompareIdLists(nullptr, empty.data()), -1);
    EXPECT_EQ(CompareIdLists(empty.data(), empty.data()), 0);
    EXPECT_EQ(CompareIdLists(nullptr, nullptr), 0);
    EXPECT_EQ(ShellFree(nullptr), 0);
}

TEST(IdListArithmetic, IdListArrayStripsAndPicksItemsWithoutReadingPastTheEnd) {
    const auto one = item("one");
    TKwIdListArray single(one.data());
    EXPECT_EQ(single.Count(), 1);
    EXPECT_EQ(IdListSize(single.StripLast(1)), 2u);  // the parent of one item is the root
    EXPECT_EQ(single.StripLast(2), nullptr);
    EXPECT_EQ(single.StripLast(-1), nullptr);
    EXPECT_EQ(single.Item(1), nullptr);
    ASSERT_NE(single.Item(0), nullptr);
    EXPECT_EQ(IdListSize(single.Item(0)), one.size());

    const auto empty = shell::empty_id_list();
    TKwIdListArray root(empty.data());
    ASSERT_NE(root.Item(0), nullptr);
    EXPECT_EQ(IdListSize(root.Item(0)), 2u);
    // Item(1) of the empty list would walk past the terminator: it gives nothing.
    EXPECT_EQ(root.Item(1), nullptr);
    TKwIdListArray null_list(nullptr);
    EXPECT_EQ(null_list.Count(), 0);
    EXPECT_EQ(null_list.Item(0), nullptr);
    EXPECT_EQ(null_list.StripLast(0), nullptr);

    const auto three =
        shell::concat(shell::concat(item("a").data(), item("b").data()).data(), item("c").data());
    TKwIdListArray arr(three.data());
    // The result lives until the next request: one call, then read it.
    const PCIDL second = arr.Item(1);
    EXPECT_EQ(std::vector<std::uint8_t>(second, second + IdListSize(second)), item("b"));
    const PCIDL parent = arr.StripLast(1);
    EXPECT_EQ(shell::id_list_count(parent), 2);
}

TEST(PidlList, SortedInsertUnderEachDuplicatePolicy) {
    CountingMalloc malloc;
    {
        TKwPidlList list;
        list.Malloc = &malloc;
        list.SetSorted(true);
        list.Duplicates = TKwPidlList::dupIgnore;
        EXPECT_EQ(list.Add(block_of(&malloc, item("b"))), 0);
        EXPECT_EQ(list.Add(block_of(&malloc, item("a"))), 0);
        EXPECT_EQ(list.Add(block_of(&malloc, item("c"))), 2);
        // An equal list is not stored; its index comes back, and since the list owns its
        // lists the one passed in is freed rather than leaked.
        EXPECT_EQ(list.Add(block_of(&malloc, item("b"))), 1);
        EXPECT_EQ(list.Count(), 3);
        EXPECT_EQ(malloc.live(), 3);
        int at = -1;
        // Byte order: the count field comes first, so a longer name sorts after every
        // shorter one, and "B" (0x42) before "a".
        const auto bb = item("bb");
        EXPECT_FALSE(list.Find(bb.data(), at));
        EXPECT_EQ(at, 3);  // the insertion point
        EXPECT_FALSE(list.Find(item("B").data(), at));
        EXPECT_EQ(at, 0);
        EXPECT_EQ(list.IndexOf(item("c").data()), 2);
        EXPECT_EQ(list.IndexOf(bb.data()), -1);

        list.Duplicates = TKwPidlList::dupError;
        PIDL dup = block_of(&malloc, item("a"));
        EXPECT_THROW(list.Add(dup), Exception);
        malloc.Free(dup);
        list.Duplicates = TKwPidlList::dupAccept;
        list.Add(block_of(&malloc, item("a")));
        EXPECT_EQ(list.Count(), 4);
        list.Delete(0);
        EXPECT_EQ(malloc.live(), 3);
    }
    EXPECT_EQ(malloc.live(), 0);  // Clear freed the rest
}

TEST(PidlList, WithoutAnAllocatorNothingIsFreedAndSortedTrueSorts) {
    CountingMalloc malloc;
    PIDL z = block_of(&malloc, item("z")), y = block_of(&malloc, item("y"));
    {
        TKwPidlList list;
        list.Add(z);
        list.Add(y);
        EXPECT_EQ(list.IdLists(0), z);
        list.SetSorted(true);
        EXPECT_EQ(list.IdLists(0), y);
        list.SetSorted(true);  // no change: nothing happens
        list.Clear();
    }
    EXPECT_EQ(malloc.live(), 2);
    malloc.Free(z);
    malloc.Free(y);
}

TEST(FormatStrPos, PositionsRepeatsAndUnknownPlaceholders) {
    std::string out;
    FormatStrPos("Unable to create the folder '%2'\n\n%1", {"Permission denied", "New Folder"}, out);
    EXPECT_EQ(out, "Unable to create the folder 'New Folder'\n\nPermission denied");
    FormatStrPos("%1-%1-%2", {"a", "b"}, out);
    EXPECT_EQ(out, "a-a-b");
    // A placeholder with no string stays as it is; nothing is read past the strings.
    FormatStrPos("%3 and %1 and 100%%", {"x"}, out);
    EXPECT_EQ(out, "%3 and x and 100%");
    FormatStrPos("", {"x"}, out);
    EXPECT_EQ(out, "");
    EXPECT_THROW(FormatStrPos("%1", std::vector<std::string>(51, "s"), out), Exception);
    EXPECT_NO_THROW(FormatStrPos("%50", std::vector<std::string>(50, "s"), out));
    EXPECT_EQ(out, "s");
}

TEST(AppendChar, Cases) {
    EXPECT_EQ(AppendCharIfMissing("", '/'), "");
    EXPECT_EQ(AppendCharIfMissing("/data", '/'), "/data/");
    EXPECT_EQ(AppendCharIfMissing("/data/", '/'), "/data/");
}

TEST_F(TempTree, PathsNamesAndSpecialFolders) {
    make_dir("home/Projects/deep");
    PIDL list = nullptr;
    ASSERT_EQ(PathToIdList(home_ + "/Projects/deep", list), platform::com::S_OK);
    EXPECT_EQ(IdListToPath(list), home_ + "/Projects/deep");
    EXPECT_EQ(GetAbsDisplayName(list), "deep");
    EXPECT_EQ(IdListToSpecialFolder(list), 50);  // an ordinary folder
    ShellFree(list);
    PIDL computer = nullptr;
    ASSERT_EQ(GetSpecialFolderIdList(0, platform::shell::CSIDL_DRIVES, computer), platform::com::S_OK);
    EXPECT_EQ(IdListToSpecialFolder(computer), 17);
    EXPECT_EQ(IdListToPath(computer), "");
    EXPECT_EQ(GetAbsDisplayName(computer), "Computer");
    ShellFree(computer);
    EXPECT_EQ(IdListToPath(nullptr), "");
    EXPECT_EQ(SpecialFolderPath(0, platform::shell::CSIDL_PROFILE), home_);
    EXPECT_EQ(SpecialFolderPath(0, 33), "");
    EXPECT_TRUE(platform::com::failed(PathToIdList(at("missing"), list)));
    EXPECT_EQ(list, nullptr);
}

TEST_F(TempTree, IconsAndTheImageListWithItsOverlays) {
    auto& small = GetSysImageList(0);
    auto& large = GetSysImageList(1);
    EXPECT_EQ(small.Width, 16);
    EXPECT_EQ(large.Width, 32);
    EXPECT_EQ(small.count(), platform::shell::icon_count);
    EXPECT_EQ(&small, &GetSysImageList(0));  // shared, never rebuilt
    EXPECT_EQ(OverlayImageIndex(2), platform::shell::icon_overlay_link);
    make_dir("home/f");
    PIDL f = nullptr;
    ASSERT_EQ(PathToIdList(home_ + "/f", f), platform::com::S_OK);
    EXPECT_EQ(GetSysIconIndex(f, SHGFI_SMALLICON), platform::shell::icon_folder);
    EXPECT_EQ(GetSysIconIndex(f, SHGFI_SMALLICON | SHGFI_OPENICON), platform::shell::icon_folder_open);
    ShellFree(f);
}

TEST_F(TempTree, ResolveShellLinkFollowsSymlinksAndRefusesBrokenOnes) {
    make_dir("target");
    ::symlink(at("target").c_str(), at("to_dir").c_str());
    ::symlink(at("void").c_str(), at("broken").c_str());
    TLinkData data;
    data.ResolveMode = 1;
    ASSERT_EQ(ResolveShellLink(at("to_dir"), data, false), platform::com::S_OK);
    EXPECT_TRUE(data.Directory);
    EXPECT_EQ(data.Valid, 63);
    EXPECT_EQ(data.IdList, nullptr);
    TLinkData broken;
    EXPECT_TRUE(platform::com::failed(ResolveShellLink(at("broken"), broken, false)));
}

TEST_F(TempTree, DeviceChangesReachCallbacksInOrderAndAFailingOneDoesNotStopTheRest) {
    platform::forms::ScriptedInteraction boxes;
    boxes.set_default_box_answer(platform::forms::mr_ok);
    auto& handler = DeviceChangeHandler();
    std::vector<std::string> calls;
    int a = 0, b = 0, c = 0;
    handler.Register(&a, [&](TKwDeviceChangeHandler&, platform::window::Message& m) {
        calls.push_back("a" + std::to_string(m.wparam));
        throw Exception("first callback failed");
    });
    handler.Register(&b, [&](TKwDeviceChangeHandler&, platform::window::Message& m) {
        EXPECT_EQ(m.message, WM_KWDEVICECHANGE);
        calls.push_back("b" + std::to_string(m.wparam));
    });
    handler.Register(&c, [&](TKwDeviceChangeHandler&, platform::window::Message&) { calls.push_back("c"); });
    handler.Unregister(&c);
    // A drive arrives in the mount table.
    std::ofstream(at("mountinfo"), std::ios::app) << "40 22 8:17 / /media/stick rw - vfat /dev/sdb1 rw\n";
    EXPECT_EQ(handler.CheckMounts(), 1);
    EXPECT_TRUE(calls.empty());  // moved out of the notice: runs from the posted message
    platform::window::process_messages();
    EXPECT_EQ(calls, (std::vector<std::string>{"a32768", "b32768"}));
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].request.text, "first callback failed");
    handler.Enabled = false;
    std::ofstream(at("mountinfo")) << "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
    EXPECT_EQ(handler.CheckMounts(), 1);
    platform::window::process_messages();
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(TempTree, ValidateMyComputerIsSkippedWhileNested) {
    BeginNoValidate();
    EXPECT_NO_THROW(ValidateMyComputer());
    EndNoValidate();
    EXPECT_NO_THROW(ValidateMyComputer());
}

}  // namespace
}  // namespace shellctl
