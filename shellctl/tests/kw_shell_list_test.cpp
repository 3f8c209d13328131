// The shell list over real temporary folders: filling, the standard columns and their widths,
// sorting by the clicked column, masks, hidden and linked items, incremental refreshes after
// changes made by another process, and the faults of filling and watching.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/registry/registry.h"
#include "platform/shell/tests/shell_test_support.h"
#include "shellctl/kw_sh_consts.h"
#include "shellctl/kw_shell_list_ole.h"
#include "shellctl/tests/shell_list_fixture.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;
namespace shell = platform::shell;
namespace com = platform::com;
using testing::ShellListTest;
using zor_testing::pump_until;
using Names = std::vector<std::string>;

// Runs a command line in a separate process and waits for it.
void run_other_process(const std::string& command) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
}

PIDL child_item(const std::string& name) {
    const shell::IdList item = shell::make_item(shell::ItemKind::child, name);
    return CopyIdList(nullptr, item.data());
}

TEST_F(ShellListTest, ItemDataGivesAttributesNamesAndDetailsAndFollowsARename) {
    make_dir("list/sub");
    make_file("list/notes.txt", std::string(1500, 'x'));
    ::symlink(at("list/sub").c_str(), at("list/link").c_str());
    auto* list = make_list("list", "list");
    TKwShListData* file = list->ItemData(index_of(*list, "notes.txt"));
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(file->IsFolder());
    EXPECT_TRUE(file->CanRename());
    EXPECT_EQ(file->DisplayName(), "notes.txt");
    EXPECT_EQ(file->Path(), at("list/notes.txt"));
    EXPECT_EQ(file->DetailText(0), "");
    EXPECT_EQ(file->DetailText(1), "2KB");
    EXPECT_EQ(file->DetailText(2), "TXT File");
    EXPECT_FALSE(file->DetailText(3).empty());
    EXPECT_EQ(file->DetailText(4), "");
    TKwShListData* sub = list->ItemData(index_of(*list, "sub"));
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->IsFolder());
    EXPECT_EQ(sub->DetailText(1), "");  // a folder has no size
    TKwShListData* link = list->ItemData(index_of(*list, "link"));
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->IsShortcut());
    EXPECT_FALSE(file->IsShortcut());

    // Renamed: the new name after Reset.
    std::filesystem::rename(at("list/notes.txt"), at("list/read me.txt"));
    file->SetRelative(child_item("read me.txt"));
    EXPECT_EQ(file->DisplayName(), "read me.txt");
    EXPECT_EQ(file->DetailText(1), "2KB");
    // Gone: no attributes at all, so it never passes for renamable.
    TKwShListData gone(list, child_item("notes.txt"));
    EXPECT_EQ(gone.Attributes(), 0u);
    EXPECT_FALSE(gone.CanRename());
}

struct ListFill : ShellListTest {
    void SetUp() override {
        ShellListTest::SetUp();
        make_dir("f/Beta");
        make_dir("f/alpha");
        make_file("f/b.txt", std::string(3000, 'b'));
        make_file("f/A.log", std::string(10, 'a'));
        make_file("f/c.TXT", std::string(1025, 'c'));
        make_file("f/.hidden", "h");
    }
};

TEST_F(ListFill, ShowsFoldersFirstThenFilesByNameInTheFourStandardColumns) {
    auto* list = make_list("list", "f");
    EXPECT_EQ(column(*list), (Names{"alpha", "Beta", ".hidden", "A.log", "b.txt", "c.TXT"}));
    ASSERT_EQ(list->Columns.size(), 4u);
    EXPECT_EQ(list->Columns[0].Caption, "Name");
    EXPECT_EQ(list->Columns[1].Caption, "Size");
    EXPECT_EQ(list->Columns[2].Caption, "Type");
    EXPECT_EQ(list->Columns[3].Caption, "Modified");
    std::vector<int> widths;
    for (const auto& c : list->Columns) widths.push_back(c.Width);
    EXPECT_EQ(widths, (std::vector<int>{200, 60, 100, 120}));
    EXPECT_EQ(list->ColumnAlignment[1], forms::Alignment::right);
    EXPECT_EQ(list->ColumnKind(), 2);
    EXPECT_EQ(list->FolderPath(), at("f"));
    EXPECT_EQ(list->ItemFocused, 0);
}

TEST_F(ListFill, DetailTextsComeWhenShownAndSayWhatTheItemIs) {
    auto* list = make_list("list", "f");
    const int b = index_of(*list, "b.txt");
    EXPECT_EQ(list->ItemText(b, 1), "3KB");
    EXPECT_EQ(list->ItemText(b, 2), "TXT File");
    EXPECT_EQ(list->ItemText(b, 3).size(), std::string("01/01/26 00:00:00").size());  // the classic locale
    const int folder = index_of(*list, "alpha");
    EXPECT_EQ(list->ItemText(folder, 1), "");
    EXPECT_EQ(list->ItemText(folder, 2), "File Folder");
    EXPECT_EQ(list->ItemText(folder, 4), "");  // no such column
    EXPECT_EQ(list->ItemImage(folder), shell::icon_folder);
    EXPECT_EQ(list->ItemImage(b), shell::icon_file);
    // A stored sub-item text wins over the computed one.
    list->Items[static_cast<std::size_t>(b)].SubItems.set(1, "mine");
    EXPECT_EQ(list->ItemText(b, 2), "mine");
}

TEST_F(ListFill, NamesAndTextsAreNotComputedBeforeTheyAreShown) {
    auto* list = make_list("list", "f");
    for (const auto& item : list->Items) EXPECT_EQ(item.Caption, "");
    EXPECT_EQ(list->ItemText(0, 0), "alpha");
    EXPECT_EQ(list->Items[0].Caption, "alpha");
}

TEST_F(ListFill, DisplayRequestsAreBoundedAndTheImageEventComesFirst) {
    auto* list = make_list("list", "f");
    const int b = index_of(*list, "b.txt");
    TKwCustomShellList::TKwListDispInfo info;
    info.Mask = TKwCustomShellList::LVIF_TEXT | TKwCustomShellList::LVIF_IMAGE;
    info.Item = b;
    info.TextMax = 4;  // three bytes and the terminator
    list->GetDispInfo(info);
    EXPECT_EQ(info.Text, "b.t");
    EXPECT_EQ(info.Image, shell::icon_file);
    std::vector<int> asked;
    list->OnGetImageIndex = [&](forms::Component&, forms::ListItem& item) {
        asked.push_back(list->IndexOfData(reinterpret_cast<TKwShListData*>(item.Data)));
        item.ImageIndex = 7;
    };
    info = {};
    info.Mask = TKwCustomShellList::LVIF_IMAGE;
    info.Item = b;
    list->GetDispInfo(info);
    EXPECT_EQ(asked, std::vector<int>{b});
    EXPECT_EQ(info.Image, 7);
    EXPECT_EQ(info.Text, "");
    // Other columns ask no image.
    info = {};
    info.Mask = TKwCustomShellList::LVIF_TEXT | TKwCustomShellList::LVIF_IMAGE;
    info.Item = b;
    info.SubItem = 2;
    list->GetDispInfo(info);
    EXPECT_EQ(info.Text, "TXT File");
    EXPECT_EQ(info.Image, -1);
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(ListFill, HiddenEntriesAreShownDimmedOnlyWithShowHidden) {
    auto* list = make_list("list", "f");
    const int hidden = index_of(*list, ".hidden");
    ASSERT_GE(hidden, 0);
    EXPECT_TRUE(list->Items[static_cast<std::size_t>(hidden)].Cut);
    EXPECT_FALSE(list->Items[static_cast<std::size_t>(index_of(*list, "b.txt"))].Cut);
    list->SetOptions(list->Options() & ~kwsloShowHidden);
    list->FillList();
    EXPECT_EQ(index_of(*list, ".hidden"), -1);
}

// A list whose filling from a folder object a test can call.
struct OpenList final : TKwCustomShellList {
    using TKwCustomShellList::FillFromFolder;
};

TEST_F(ListFill, AReadingThatFailsOtherwiseThanQuietlyIsRaisedAndTheFolderStays) {
    make_dir("w");
    make_dir("r");
    make_file("r/a.txt");
    make_file("r/b.txt");
    auto* list = form->add<OpenList>("open");
    list->SetBounds(0, 0, 600, 400);
    list->Locator().SetPath(at("w"));
    PIDL absolute = nullptr;
    ASSERT_EQ(PathToIdList(at("r"), absolute), com::S_OK);
    FolderPtr real;
    ASSERT_EQ(GetShellFolder(absolute, real), com::S_OK);
    auto broken = [&](HRESULT end) { return std::make_shared<testing::BrokenFolder>(real, end); };
    const HRESULT out_of_memory = static_cast<HRESULT>(0x8007000E);
    try {
        list->FillFromFolder(broken(out_of_memory), absolute);
        ADD_FAILURE() << "no error raised";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode, out_of_memory);
    }
    EXPECT_EQ(list->FolderPath(), at("w"));
    EXPECT_TRUE(list->Items.empty());
    // E_FAIL ends the fill silently; "no more items" is a normal end.
    EXPECT_THROW(list->FillFromFolder(broken(com::E_FAIL), absolute), EAbort);
    EXPECT_EQ(list->FolderPath(), at("w"));
    list->FillFromFolder(broken(static_cast<HRESULT>(0x80070103)), absolute);
    Names shown = column(*list);
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (Names{"a.txt", "b.txt"}));
    EXPECT_TRUE(boxes->boxes().empty());
    ShellFree(absolute);
}

TEST_F(ListFill, LinksCarryTheShortcutOverlay) {
    ASSERT_EQ(::symlink(at("f/b.txt").c_str(), at("f/link").c_str()), 0);
    auto* list = make_list("list", "f");
    EXPECT_EQ(list->Items[static_cast<std::size_t>(index_of(*list, "link"))].OverlayIndex, 1);
    EXPECT_EQ(list->Items[static_cast<std::size_t>(index_of(*list, "b.txt"))].OverlayIndex, -1);
}

TEST_F(ListFill, MasksLimitFilesButNeverFolders) {
    auto* list = make_list("list", "");
    list->SetMask("*.txt");
    list->Locator().SetPath(at("f"));
    EXPECT_EQ(column(*list), (Names{"alpha", "Beta", "b.txt", "c.TXT"}));
    list->SetMask("*.log; *.txt");
    list->FillList();
    EXPECT_EQ(column(*list), (Names{"alpha", "Beta", "A.log", "b.txt", "c.TXT"}));
    for (const char* all : {"*", "*.*", ""}) {
        list->SetMask(all);
        list->FillList();
        EXPECT_EQ(list->Items.size(), 6u) << all;
    }
}

TEST_F(ListFill, ClickingAColumnSortsByItAndAgainReverses) {
    auto* list = make_list("list", "f");
    list->click_column(1);  // Size, ascending; folders keep their place first
    EXPECT_EQ(column(*list), (Names{"alpha", "Beta", ".hidden", "A.log", "c.TXT", "b.txt"}));
    EXPECT_EQ(list->SortColumnNumber(), 2);
    EXPECT_EQ(list->SortColumn(), 1);
    EXPECT_FALSE(list->SortDescending());
    EXPECT_EQ(list->HeaderFormat(1) & (HDF_SORTUP | HDF_SORTDOWN), HDF_SORTUP);
    list->click_column(1);  // again: reversed
    EXPECT_EQ(column(*list), (Names{"b.txt", "c.TXT", "A.log", ".hidden", "Beta", "alpha"}));
    EXPECT_EQ(list->SortColumnNumber(), -2);
    EXPECT_TRUE(list->SortDescending());
    EXPECT_EQ(list->HeaderFormat(1) & (HDF_SORTUP | HDF_SORTDOWN), HDF_SORTDOWN);
    list->click_column(0);  // Name, ascending
    EXPECT_EQ(column(*list), (Names{"alpha", "Beta", ".hidden", "A.log", "b.txt", "c.TXT"}));
    EXPECT_EQ(list->HeaderFormat(0) & (HDF_SORTUP | HDF_SORTDOWN), HDF_SORTUP);
    EXPECT_EQ(list->HeaderFormat(1) & (HDF_SORTUP | HDF_SORTDOWN), 0u);
}

TEST_F(ListFill, SortingKeepsTheFocusAndSelectionOnTheirItems) {
    auto* list = make_list("list", "f");
    list->click_item(index_of(*list, "A.log"));
    list->click_column(2);  // Type
    const int a = index_of(*list, "A.log");
    EXPECT_EQ(list->ItemFocused, a);
    EXPECT_TRUE(list->Items[static_cast<std::size_t>(a)].Selected);
    EXPECT_EQ(list->SelectedDataCount(), 1);
}

TEST_F(ListFill, AColumnClickHandlerMaySortByItself) {
    auto* list = make_list("list", "f");
    list->OnColumnClick = [list](forms::Component&, int) { list->SetSortColumn(-4); };
    list->click_column(1);
    EXPECT_EQ(list->SortColumnNumber(), -4);
}

TEST_F(ListFill, NamesThatDifferOnlyInCaseAreTwoItems) {
    make_file("f/readme", "1");
    make_file("f/README", "2");
    auto* list = make_list("list", "f");
    EXPECT_NE(index_of(*list, "readme"), -1);
    EXPECT_NE(index_of(*list, "README"), -1);
    list->RefreshList();
    EXPECT_EQ(list->Items.size(), 8u);
}

TEST_F(ListFill, TheDesktopShowsHomeAndComputerAndComputerTheFileSystem) {
    auto* list = make_list("list", "");
    list->FillList();
    EXPECT_EQ(column(*list), (Names{"Home", "Computer"}));
    list->OpenItem(1);
    EXPECT_EQ(column(*list), (Names{"File System"}));
    EXPECT_FALSE(list->ItemData(0)->CanRename());
    EXPECT_EQ(list->ItemText(0, 1), "");
}

// ---- column widths --------------------------------------------------------------------------------

struct ColumnWidths : ShellListTest {
    // The "DirectoryCols" value in the settings store (the test's own store).
    static void store_directory_cols(const std::string& bytes) {
        platform::registry::Registry r;
        ASSERT_TRUE(r.open_key("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", true));
        r.write_binary_data("DirectoryCols", bytes);
    }
};

TEST_F(ColumnWidths, ADirectoryColsValueLongerThan22BytesIsIgnored) {
    store_directory_cols(std::string(24, '\x40'));
    make_dir("d");
    auto* list = make_list("list", "d");
    std::vector<int> widths;
    for (const auto& c : list->Columns) widths.push_back(c.Width);
    EXPECT_EQ(widths, (std::vector<int>{200, 60, 100, 120}));
}

TEST_F(ColumnWidths, ADirectoryColsValueGivesTheWidths) {
    store_directory_cols(std::string("\x2C\x01\x46\x00\x5A\x00\x6E\x00", 8));
    make_dir("d");
    auto* list = make_list("list", "d");
    std::vector<int> widths;
    for (const auto& c : list->Columns) widths.push_back(c.Width);
    EXPECT_EQ(widths, (std::vector<int>{300, 70, 90, 110}));
}

TEST_F(ColumnWidths, WidthsAPersonSetCarryOverToTheNextFolderAndTheNextList) {
    make_dir("d");
    make_dir("e");
    auto* list = make_list("list", "d");
    list->Columns[0].Width = 333;
    list->Locator().SetPath(at("e"));
    EXPECT_EQ(list->Columns[0].Width, 333);
    list->Columns[2].Width = 44;
    form->remove(list);  // the widths are kept when the list goes
    auto* second = make_list("second", "d");
    EXPECT_EQ(second->Columns[0].Width, 333);
    EXPECT_EQ(second->Columns[2].Width, 44);
}

// A folder's own columns, as a folder with details would give them.
struct TwoDetails final : platform::com::ComObject<IShellDetails> {
    HRESULT GetDetailsOf(PCIDL item, unsigned column, SHELLDETAILS& d) override {
        if (item || column > 1) return com::E_INVALIDARG;
        d.str = column == 0 ? "Title" : "Pages";
        d.fmt = static_cast<int>(column);
        d.cxChar = column == 0 ? 20 : 6;
        return com::S_OK;
    }
    HRESULT ColumnClick(unsigned) override { return com::S_OK; }
};

TEST_F(ColumnWidths, AFoldersDetailsGiveTheirOwnColumns) {
    auto* list = make_list("list", "");
    auto details = com::ComPtr<IShellDetails>::adopt(new TwoDetails);
    list->SetSortColumn(-4);
    list->RebuildColumns(details.get());
    ASSERT_EQ(list->Columns.size(), 2u);
    EXPECT_EQ(list->Columns[0].Caption, "Title");
    EXPECT_EQ(list->Columns[0].Width, 140);  // characters x 7
    EXPECT_EQ(list->Columns[1].Width, 42);
    EXPECT_EQ(list->ColumnAlignment[1], forms::Alignment::right);
    EXPECT_EQ(list->ColumnKind(), 1);
    // A sort by a column that is gone, either way round, falls back to the first.
    EXPECT_EQ(list->SortColumnNumber(), 1);
    list->RebuildColumns(nullptr);
    EXPECT_EQ(list->Columns.size(), 4u);
    EXPECT_EQ(list->ColumnKind(), 2);
}

TEST_F(ColumnWidths, DetailsColumnsOfAFileSystemFolderTakeTheKeptWidths) {
    make_dir("d");
    auto* list = make_list("list", "d");
    list->Columns[0].Width = 250;
    auto details = com::ComPtr<IShellDetails>::adopt(new TwoDetails);
    list->RebuildColumns(details.get());
    EXPECT_EQ(list->Columns[0].Width, 250);
    EXPECT_EQ(list->Columns[1].Width, 60);
}

// ---- refreshing -----------------------------------------------------------------------------------

struct ListRefresh : ShellListTest {
    void SetUp() override {
        ShellListTest::SetUp();
        make_dir("w/keep");
        make_file("w/old.txt", "o");
        make_file("w/stay.txt", "s");
    }
};

TEST_F(ListRefresh, AChangeByAnotherProcessShowsAfterTheTimer) {
    auto* list = make_list("list", "w");
    list->click_item(index_of(*list, "stay.txt"));
    auto* stay = list->SelectedData();
    run_other_process("touch '" + at("w/new.txt") + "' && mkdir '" + at("w/made") + "' && rm '" +
                      at("w/old.txt") + "'");
    ASSERT_TRUE(pump_until([&] { return list->RefreshTimer().enabled(); }));
    EXPECT_EQ(list->RefreshTimer().interval(), 2000u);  // the list has not the focus
    list->RefreshTimerFired();
    EXPECT_EQ(column(*list), (Names{"keep", "made", "new.txt", "stay.txt"}));
    // The items that stayed are the same items, still selected.
    EXPECT_EQ(list->SelectedData(), stay);
    EXPECT_EQ(list->SelectedDataCount(), 1);
}

TEST_F(ListRefresh, WithTheFocusTheRefreshComesSoonerAndTwoNoticesGiveOneRefresh) {
    auto* list = make_list("list", "w");
    list->SetFocus();
    list->HandleMessage(WM_KWCHANGENOTIFY, 0, 0);
    EXPECT_TRUE(list->RefreshTimer().enabled());
    EXPECT_EQ(list->RefreshTimer().interval(), 400u);
    list->HandleMessage(WM_KWCHANGENOTIFY, 0, 0);
    EXPECT_EQ(list->RefreshCount, 0);
    list->RefreshTimerFired();
    EXPECT_EQ(list->RefreshCount, 1);
    EXPECT_FALSE(list->RefreshTimer().enabled());
}

TEST_F(ListRefresh, OpeningAnItemRunsAPendingRefreshFirst) {
    auto* list = make_list("list", "w");
    make_file("w/late.txt", "l");
    list->HandleMessage(WM_KWCHANGENOTIFY, 0, 0);
    list->click_item(index_of(*list, "stay.txt"));
    list->OpenSelection();
    EXPECT_EQ(list->RefreshCount, 1);
    EXPECT_NE(index_of(*list, "late.txt"), -1);
    EXPECT_EQ(opened, (Names{at("w/stay.txt")}));
}

TEST_F(ListRefresh, TheWatchFollowsTheShownFolder) {
    make_dir("other");
    auto* list = make_list("list", "w");
    list->Locator().SetPath(at("other"));
    run_other_process("touch '" + at("w/ignored.txt") + "' '" + at("other/seen.txt") + "'");
    ASSERT_TRUE(pump_until([&] { return list->RefreshTimer().enabled(); }));
    list->RefreshTimerFired();
    EXPECT_EQ(column(*list), (Names{"seen.txt"}));
}

TEST_F(ListRefresh, ARefreshAddsNewItemsInTheirSortedPlace) {
    auto* list = make_list("list", "w");
    make_file("w/aaa.txt", "a");
    list->RefreshList();
    EXPECT_EQ(column(*list), (Names{"keep", "aaa.txt", "old.txt", "stay.txt"}));
}

TEST_F(ListRefresh, AnEmptyListIsFilledInsteadAndAFolderThatWentEmptiesTheList) {
    make_dir("w/sub");
    auto* list = make_list("list", "w/sub");
    EXPECT_TRUE(list->Items.empty());
    make_file("w/sub/x", "x");
    list->RefreshList();
    EXPECT_EQ(column(*list), (Names{"x"}));
    std::filesystem::remove_all(at("w/sub"));
    list->RefreshList();
    EXPECT_TRUE(list->Items.empty());
}

TEST_F(ListRefresh, ANoticeDuringADragIsKeptForTheDragsEnd) {
    auto* list = make_list("list", "w");
    list->click_item(index_of(*list, "stay.txt"));
    bool noticed = false;
    // The pointer leaves for no window of ours and the drag is cancelled; meanwhile another
    // program adds a file.
    std::deque<shell::DragStep> steps{{0, {900, 900}, shell::MK_LBUTTON}};
    shell::set_drag_input([&, steps]() mutable -> std::optional<shell::DragStep> {
        if (!noticed) {
            make_file("w/during.txt", "d");
            list->HandleMessage(WM_KWCHANGENOTIFY, 0, 0);
            noticed = true;
        }
        if (steps.empty()) return std::nullopt;
        auto s = steps.front();
        steps.pop_front();
        return s;
    });
    list->drag_selection(0);
    EXPECT_FALSE(list->Dragging());
    EXPECT_NE(index_of(*list, "during.txt"), -1);
}

TEST_F(ListRefresh, AFillAskedForDuringADragWaitsForItsEnd) {
    auto* list = make_list("list", "w");
    list->click_item(0);
    int fills_during = -1;
    shell::set_drag_input([&]() -> std::optional<shell::DragStep> {
        list->FillList();
        fills_during = list->FillCount;
        EXPECT_TRUE(list->RefreshPending());
        return std::nullopt;
    });
    const int before = list->FillCount;
    list->drag_selection(0);
    EXPECT_EQ(fills_during, before);
    EXPECT_FALSE(list->RefreshPending());
}

// ---- faults of filling ----------------------------------------------------------------------------------

TEST_F(ListRefresh, AFillThatFailsPartWayLeavesNoItemNamingAFileOfAnotherFolder) {
    make_dir("other");
    make_file("other/stay.txt", "the other folder's file");
    make_file("other/second.txt", "2");
    auto* list = make_list("list", "w");
    int added = 0;
    list->OnAddItem = [&](forms::Component&, const FolderPtr&, PCIDL, PCIDL, std::uint32_t, bool&) {
        if (++added == 2) throw Exception("refused");
    };
    boxes->set_default_box_answer(forms::mr_ok);
    EXPECT_THROW(list->Locator().SetPath(at("other")), Exception);
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->boxes()[0].request.text, "Exception in AddNewShellItem");
    // The list, its folder and its folder list agree again: the old folder, and no item of the
    // new one whose name would now point at a file of the old one.
    EXPECT_EQ(list->FolderPath(), at("w"));
    EXPECT_EQ(list->CurrentFolder()->path(), at("w"));
    for (int i = 0; i < static_cast<int>(list->Items.size()); ++i)
        EXPECT_TRUE(std::filesystem::exists(list->ItemData(i)->Path())) << list->ItemData(i)->Path();
    EXPECT_TRUE(list->Items.empty());
    EXPECT_FALSE(list->RefreshPending());
}

TEST_F(ListRefresh, AFolderThatCannotBeReadLeavesAnEmptyListAndNoMessage) {
    const std::string base = at("w"), closed = at("w/closed");
    make_dir("w/closed");
    make_file("w/closed/inside", "i");
    ::chmod(root_.c_str(), 0755);
    ::chmod(base.c_str(), 0777);
    ::chmod(closed.c_str(), 0);
    // Permission bits stop only an ordinary user.
    const std::string problem = shell::testing::run_unprivileged([&]() -> std::string {
        forms::ScriptedInteraction quiet;
        TKwShellList list;
        list.Locator().SetPath(base);
        if (list.Items.size() != 4) return "the readable folder was not filled";
        try {
            list.Locator().SetPath(closed);
        } catch (const EAbort&) {
            // silent: the application shows nothing for it
        }
        if (!list.Items.empty()) return "items are shown";
        if (!quiet.boxes().empty()) return "a box was shown: " + quiet.boxes()[0].request.text;
        if (list.FolderPath() != base) return "the shown folder is not the one the items came from";
        return {};
    });
    EXPECT_EQ(problem, "");
}

TEST_F(ListRefresh, DeviceChangesRefillTheComputerFolderOnly) {
    auto* list = make_list("list", "w");
    int fills = list->FillCount;
    platform::window::Message m{DeviceChangeHandler().Handle(), WM_KWDEVICECHANGE, shell::DBT_DEVICEARRIVAL,
                                0};
    platform::window::send_message(m.window, m.message, m.wparam, m.lparam);
    EXPECT_EQ(list->FillCount, fills);
    PIDL computer = nullptr;
    ASSERT_EQ(GetSpecialFolderIdList(0, shell::CSIDL_DRIVES, computer), com::S_OK);
    list->Locator().SetIdList(computer);
    ShellFree(computer);
    fills = list->FillCount;
    platform::window::send_message(m.window, m.message, shell::DBT_DEVICEREMOVECOMPLETE, 0);
    EXPECT_EQ(list->FillCount, fills + 1);
    platform::window::send_message(m.window, m.message, 0x0007, 0);  // another device event
    EXPECT_EQ(list->FillCount, fills + 1);
}

// ---- the data object
// ----------------------------------------------------------------------------------------

TEST_F(ListFill, TheSelectionTravelsAsIdListArrayThenPaths) {
    auto* list = make_list("list", "f");
    list->click_item(index_of(*list, "b.txt"));
    list->click_item(index_of(*list, "alpha"), {.ctrl = true});
    auto data = com::ComPtr<shell::IDataObject>::share(new TDataObject_shlv(*list));
    auto* object = static_cast<TDataObject_shlv*>(data.get());
    ASSERT_EQ(object->Formats().Count(), 2);
    EXPECT_EQ(object->Formats().Items(0).cfFormat, CF_IDLIST());
    EXPECT_EQ(object->Formats().Items(1).cfFormat, shell::CF_HDROP);
    EXPECT_EQ(shell::paths_of_data_object(data.get()), (Names{at("f/alpha"), at("f/b.txt")}));
    shell::FORMATETC other;
    other.cfFormat = 0x1234;
    shell::STGMEDIUM m;
    EXPECT_EQ(data->GetData(other, m), shell::DV_E_FORMATETC);
    shell::IEnumFORMATETC* e = nullptr;
    EXPECT_EQ(data->EnumFormatEtc(shell::DATADIR_SET, &e), com::E_NOTIMPL);
    EXPECT_EQ(e, nullptr);
    ASSERT_EQ(data->EnumFormatEtc(shell::DATADIR_GET, &e), com::S_OK);
    e->Release();
    EXPECT_EQ(GetAllowedDropEffects(data.get()),
              shell::DROPEFFECT_COPY | shell::DROPEFFECT_MOVE | shell::DROPEFFECT_LINK);
}

TEST_F(ListFill, ASelectionWithoutPathsOffersNoFileNames) {
    auto* list = make_list("list", "");
    list->FillList();
    list->click_item(1);  // Computer
    auto data = com::ComPtr<shell::IDataObject>::share(new TDataObject_shlv(*list));
    auto* object = static_cast<TDataObject_shlv*>(data.get());
    ASSERT_EQ(object->Formats().Count(), 1);
    EXPECT_EQ(object->Formats().Items(0).cfFormat, CF_IDLIST());
}

// ---- custom draw
// ---------------------------------------------------------------------------------------------

TEST_F(ListFill, CustomDrawAsksForItemsAndGivesTheItemsData) {
    auto* list = make_list("list", "f");
    std::vector<std::string> seen;
    list->OnCustomDrawItemEx = [&](forms::Component&, TKwCustomDraw& d, int item, TKwShListData* data) {
        seen.push_back("ex " + std::to_string(d.Stage()) + " " + std::to_string(item) +
                       (data ? " data" : ""));
    };
    list->OnCustomDrawItem = [&](forms::Component&, TKwCustomDraw& d, int item, TKwShListData*) {
        seen.push_back("item " + std::to_string(d.Stage()) + " " + std::to_string(item));
        d.Font.bold = true;
    };
    TKwCustomDrawInfo pre{CDDS_PREPAINT, 0};
    EXPECT_EQ(list->CustomDraw(pre) & CDRF_NOTIFYITEMDRAW, CDRF_NOTIFYITEMDRAW);
    TKwCustomDrawInfo item{CDDS_ITEMPREPAINT, 2};
    const std::uint32_t result = list->CustomDraw(item);
    EXPECT_EQ(result & CDRF_NEWFONT, CDRF_NEWFONT);
    EXPECT_EQ(seen, (Names{"ex 1 -1", "ex 4 2 data", "item 4 2"}));
}

}  // namespace
}  // namespace shellctl
