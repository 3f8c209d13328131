// The shell list as a person uses it, on real temporary folders: selecting, opening and going
// up, the keys, renaming in place, a new folder, deleting to the trash, the context menu with
// Send To, and dragging files between folders and within one.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/forms/keys.h"
#include "shellctl/kw_sh_consts.h"
#include "shellctl/kw_shell_list_ole.h"
#include "shellctl/kw_splitter.h"
#include "shellctl/tests/shell_list_fixture.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;
namespace shell = platform::shell;
namespace com = platform::com;
using testing::ShellListTest;
using zor_testing::pump_until;
using Names = std::vector<std::string>;

struct ListUse : ShellListTest {
    void SetUp() override {
        ShellListTest::SetUp();
        make_dir("top/docs/inner");
        make_file("top/docs/inner/deep.txt", "deep");
        make_file("top/docs/report.txt", "report");
        make_file("top/a.txt", "a");
        make_file("top/b.txt", "b");
        list = make_list("list", "top");
    }
    void select(const std::string& name, forms::ShiftState shift = {}) {
        const int i = index_of(*list, name);
        ASSERT_GE(i, 0) << name;
        list->click_item(i, shift);
    }
    TKwShellList* list = nullptr;
};

// ---- selecting and opening --------------------------------------------------------------------------

TEST_F(ListUse, ClicksSelectAndCtrlClicksAddOrRemove) {
    select("a.txt");
    select("b.txt", {.ctrl = true});
    EXPECT_EQ(list->SelectedDataCount(), 2);
    select("a.txt", {.ctrl = true});
    EXPECT_EQ(list->SelectedDataCount(), 1);
    EXPECT_EQ(list->SelectedData()->DisplayName(), "b.txt");
    EXPECT_EQ(list->ItemFocused, index_of(*list, "a.txt"));
    list->key_down('A', {.ctrl = true});
    EXPECT_EQ(list->SelectedDataCount(), 3);
}

TEST_F(ListUse, EnterOpensAFolderAndBackspaceShowsItsParent) {
    select("docs");
    list->key_down(forms::keys::enter);
    EXPECT_EQ(list->Locator().Path(), at("top/docs"));
    EXPECT_EQ(column(*list), (Names{"inner", "report.txt"}));
    list->double_click_item(index_of(*list, "inner"));
    EXPECT_EQ(column(*list), (Names{"deep.txt"}));
    list->key_down(forms::keys::backspace);
    list->key_down(forms::keys::backspace);
    EXPECT_EQ(list->Locator().Path(), at("top"));
    EXPECT_EQ(column(*list), (Names{"docs", "a.txt", "b.txt"}));
}

TEST_F(ListUse, GoingUpFromTheDesktopDoesNothing) {
    list->Locator().Clear();
    EXPECT_EQ(column(*list), (Names{"Home", "Computer"}));
    // The root's list has no item to take off (an item past its end is never read).
    list->key_down(forms::keys::backspace);
    EXPECT_EQ(column(*list), (Names{"Home", "Computer"}));
    EXPECT_EQ(list->Locator().IdList(), nullptr);
}

TEST_F(ListUse, NoBrowseKeepsTheFolder) {
    list->SetOptions(list->Options() | kwsloNoBrowse);
    select("docs");
    list->key_down(forms::keys::enter);
    list->key_down(forms::keys::backspace);
    EXPECT_EQ(list->Locator().Path(), at("top"));
    EXPECT_EQ(list->Items.size(), 3u);
}

TEST_F(ListUse, DoubleClickOnAFileRunsItsDefaultCommand) {
    list->double_click_item(index_of(*list, "a.txt"));
    EXPECT_EQ(opened, (Names{at("top/a.txt")}));
}

TEST_F(ListUse, EnterOnTwoFilesRunsTheDefaultCommandOnceForBoth) {
    select("a.txt");
    select("b.txt", {.ctrl = true});
    list->key_down(forms::keys::enter);
    EXPECT_EQ(opened, (Names{at("top/a.txt"), at("top/b.txt")}));
}

TEST_F(ListUse, TheDefaultActionEventMayTakeTheOpening) {
    int asked = 0;
    list->OnDefaultAction = [&](forms::Component&, bool& handled) {
        ++asked;
        handled = true;
    };
    select("a.txt");
    list->key_down(forms::keys::enter);
    select("b.txt", {.ctrl = true});
    list->key_down(forms::keys::enter);
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(opened.empty());
}

TEST_F(ListUse, ALinkToAFolderIsBrowsedIntoAndALinkToAFileOpensTheFile) {
    ASSERT_EQ(::symlink(at("top/docs").c_str(), at("top/to docs").c_str()), 0);
    ASSERT_EQ(::symlink(at("top/a.txt").c_str(), at("top/to a").c_str()), 0);
    list->RefreshList();
    list->double_click_item(index_of(*list, "to a"));
    EXPECT_EQ(opened, (Names{at("top/to a")}));
    list->double_click_item(index_of(*list, "to docs"));
    EXPECT_EQ(column(*list), (Names{"inner", "report.txt"}));
}

TEST_F(ListUse, ADesktopLinkToAFolderShowsItsTarget) {
    std::ofstream(at("top/Docs.desktop"))
        << "[Desktop Entry]\nType=Link\nName=Docs\nURL=file://" << at("top/docs") << "\n";
    list->RefreshList();
    list->double_click_item(index_of(*list, "Docs.desktop"));
    EXPECT_EQ(list->Locator().Path(), at("top/docs"));
    EXPECT_EQ(column(*list), (Names{"inner", "report.txt"}));
}

TEST_F(ListUse, BrowsingToTheFolderShownAlreadyFillsTheListAgain) {
    std::ofstream(at("top/Here.desktop"))
        << "[Desktop Entry]\nType=Link\nName=Here\nURL=file://" << at("top") << "\n";
    list->RefreshList();
    list->double_click_item(index_of(*list, "Here.desktop"));
    EXPECT_EQ(list->Locator().Path(), at("top"));
    EXPECT_EQ(column(*list), (Names{"docs", "a.txt", "b.txt", "Here.desktop"}));
}

// ---- renaming ---------------------------------------------------------------------------------------------

TEST_F(ListUse, F2RenamesInPlaceAndTheRenamesOwnNoticeCausesNoRefresh) {
    select("a.txt");
    list->key_down(forms::keys::f2);
    ASSERT_TRUE(list->IsEditing());
    EXPECT_EQ(list->EditText, "a.txt");
    list->EditText = "  renamed.txt ";
    list->key_down(forms::keys::enter);
    EXPECT_FALSE(list->IsEditing());
    EXPECT_TRUE(std::filesystem::exists(at("top/renamed.txt")));
    EXPECT_FALSE(std::filesystem::exists(at("top/a.txt")));
    const int i = list->ItemFocused;
    EXPECT_EQ(list->ItemText(i, 0), "renamed.txt");
    EXPECT_EQ(list->ItemData(i)->Path(), at("top/renamed.txt"));
    EXPECT_EQ(list->ItemText(i, 2), "TXT File");
    ASSERT_TRUE(pump_until([&] { return list->ChangeNotices > 0; }));
    EXPECT_FALSE(list->RefreshTimer().enabled());
    EXPECT_FALSE(list->IgnoreNextChange());
}

TEST_F(ListUse, AnUnchangedEditRenamesNothingAndKeepsEveryByte) {
    const std::vector<std::string> names = {"bad\xFFname.txt", "line\nbreak", "  lead", "trail  ", "tab\tin"};
    for (const auto& n : names) make_file("top/" + n, n);
    list->RefreshList();
    for (const auto& n : names) {
        select(shell::display_text(n));
        list->key_down(forms::keys::f2);
        ASSERT_TRUE(list->IsEditing()) << n;
        list->key_down(forms::keys::enter);  // nothing typed
        EXPECT_FALSE(list->IsEditing());
        EXPECT_EQ(read_file(at("top/" + n)), n);
        EXPECT_FALSE(list->IgnoreNextChange()) << "no change is coming";
    }
    std::vector<std::string> on_disk;
    for (const auto& e : std::filesystem::directory_iterator(at("top")))
        on_disk.push_back(e.path().filename().string());
    EXPECT_EQ(on_disk.size(), names.size() + 3);
    for (const auto& n : names) EXPECT_NE(std::find(on_disk.begin(), on_disk.end(), n), on_disk.end()) << n;
    EXPECT_TRUE(boxes->boxes().empty());
    // A typed name renames; the blanks the name ended with stay, those typed at the start go.
    select("trail  ");
    list->key_down(forms::keys::f2);
    EXPECT_EQ(list->EditText, "trail  ");
    list->EditText = " trailer  ";
    list->key_down(forms::keys::enter);
    EXPECT_EQ(read_file(at("top/trailer  ")), "trail  ");
}

TEST_F(ListUse, EscapeCancelsTheEdit) {
    select("a.txt");
    list->key_down(forms::keys::f2);
    list->EditText = "other.txt";
    list->key_down(forms::keys::escape);
    EXPECT_TRUE(std::filesystem::exists(at("top/a.txt")));
    EXPECT_FALSE(std::filesystem::exists(at("top/other.txt")));
}

TEST_F(ListUse, AFailedRenameKeepsTheNameTellsThePersonAndMissesNoLaterChange) {
    select("a.txt");
    list->key_down(forms::keys::f2);
    list->EditText = "b.txt";  // taken
    boxes->set_default_box_answer(forms::mr_ok);
    list->key_down(forms::keys::enter);
    EXPECT_EQ(read_file(at("top/a.txt")), "a");
    EXPECT_EQ(read_file(at("top/b.txt")), "b");
    EXPECT_EQ(list->ItemText(list->ItemFocused, 0), "a.txt");
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->boxes()[0].request.type, forms::DialogType::warning);
    // No notice comes for a rename that did not happen, so the next real one counts.
    EXPECT_FALSE(list->IgnoreNextChange());
    make_file("top/c.txt", "c");
    ASSERT_TRUE(pump_until([&] { return list->RefreshTimer().enabled(); }));
}

TEST_F(ListUse, NamesThatCannotBeFileNamesAreRefused) {
    boxes->set_default_box_answer(forms::mr_ok);
    for (const char* bad : {"x/y", "..", ""}) {
        select("a.txt");
        ASSERT_TRUE(list->EditCaption(list->ItemFocused));
        list->EditText = bad;
        list->EndEdit(true);
        EXPECT_TRUE(std::filesystem::exists(at("top/a.txt"))) << bad;
    }
    EXPECT_EQ(boxes->boxes().size(), 3u);
}

TEST_F(ListUse, AnItemThatCannotBeRenamedOpensNoEditor) {
    PIDL computer = nullptr;
    ASSERT_EQ(GetSpecialFolderIdList(0, shell::CSIDL_DRIVES, computer), com::S_OK);
    list->Locator().SetIdList(computer);
    ShellFree(computer);
    list->click_item(0);  // the file system's root
    list->key_down(forms::keys::f2);
    EXPECT_FALSE(list->IsEditing());
    list->ReadOnly = true;
    list->Locator().SetPath(at("top"));
    select("a.txt");
    list->key_down(forms::keys::f2);
    EXPECT_FALSE(list->IsEditing());
}

TEST_F(ListUse, ARefreshAskedForWhileEditingComesAfterTheEdit) {
    select("a.txt");
    list->key_down(forms::keys::f2);
    make_file("top/new.txt", "n");
    list->RefreshList();
    EXPECT_TRUE(list->RefreshPending());
    EXPECT_EQ(index_of(*list, "new.txt"), -1);
    list->key_down(forms::keys::escape);
    EXPECT_FALSE(list->RefreshPending());
    EXPECT_NE(index_of(*list, "new.txt"), -1);
}

// ---- a new folder ----------------------------------------------------------------------------------------

TEST_F(ListUse, ANewFolderIsMadeAndItsNameOpenedForEditing) {
    make_dir("top/New Folder");
    list->RefreshList();
    list->NewFolder();
    EXPECT_TRUE(std::filesystem::is_directory(at("top/New Folder (2)")));
    ASSERT_TRUE(pump_until([&] { return list->IsEditing(); }));
    EXPECT_EQ(list->ItemText(list->EditingIndex(), 0), "New Folder (2)");
    list->EditText = "Samples";
    list->key_down(forms::keys::enter);
    EXPECT_TRUE(std::filesystem::is_directory(at("top/Samples")));
    EXPECT_TRUE(list->Focused());
}

// ---- deleting
// -----------------------------------------------------------------------------------------------

TEST_F(ListUse, DelAsksAndNoKeepsTheFile) {
    select("a.txt");
    boxes->answer_next_box(forms::mr_no);
    list->key_down(forms::keys::del);
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->boxes()[0].request.type, forms::DialogType::confirmation);
    EXPECT_NE(boxes->boxes()[0].request.text.find("'a.txt'"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(at("top/a.txt")));
    EXPECT_NE(index_of(*list, "a.txt"), -1);
}

TEST_F(ListUse, DelAnsweredYesMovesTheSelectionToTheTrash) {
    select("a.txt");
    select("docs", {.ctrl = true});
    boxes->answer_next_box(forms::mr_yes);
    list->key_down(forms::keys::del, {.shift = true});  // Shift+Del deletes like Del
    EXPECT_FALSE(std::filesystem::exists(at("top/a.txt")));
    EXPECT_FALSE(std::filesystem::exists(at("top/docs")));
    EXPECT_EQ(read_file(data_home_ + "/Trash/files/a.txt"), "a");
    EXPECT_EQ(read_file(data_home_ + "/Trash/files/docs/inner/deep.txt"), "deep");
    EXPECT_TRUE(std::filesystem::exists(data_home_ + "/Trash/info/a.txt.trashinfo"));
    EXPECT_EQ(column(*list), (Names{"b.txt"}));
}

TEST_F(ListUse, TheContextMenuDeletesToo) {
    boxes->answer_next_box(forms::mr_yes);
    choose_next({"Delete"});
    list->right_click_item(index_of(*list, "b.txt"));
    EXPECT_EQ(last_menu, (Names{"Open", "Cut", "Copy", "Send To", "Delete", "Rename", "Properties"}));
    EXPECT_TRUE(std::filesystem::exists(data_home_ + "/Trash/files/b.txt"));
    list->RefreshList();
    EXPECT_EQ(column(*list), (Names{"docs", "a.txt"}));
}

// ---- the context menu
// --------------------------------------------------------------------------------------

TEST_F(ListUse, TheMenusRenameCommandEditsInPlace) {
    choose_next({"Rename"});
    list->right_click_item(index_of(*list, "a.txt"));
    ASSERT_TRUE(list->IsEditing());
    EXPECT_EQ(list->ItemText(list->EditingIndex(), 0), "a.txt");
}

TEST_F(ListUse, ChoosingNothingDoesNothingAndTheHintsFollowTheHighlight) {
    std::vector<std::string> hints;
    list->OnPopupHint = [&](forms::Component&, const std::string& h) { hints.push_back(h); };
    choose_next({"Properties"});
    boxes->set_default_box_answer(forms::mr_ok);
    list->right_click_item(index_of(*list, "a.txt"));
    EXPECT_EQ(hints, (Names{"Shows the properties of the selected items."}));
    ASSERT_EQ(boxes->boxes().size(), 1u);
    choose_next({});
    list->right_click_item(index_of(*list, "a.txt"));
    EXPECT_EQ(boxes->boxes().size(), 1u);
}

TEST_F(ListUse, NoMenuOnTheBackgroundOrWithoutTheOption) {
    list->right_click_item(-1);
    EXPECT_TRUE(last_menu.empty());
    list->SetOptions(list->Options() & ~kwsloContextMenus);
    list->right_click_item(index_of(*list, "a.txt"));
    EXPECT_TRUE(last_menu.empty());
}

TEST_F(ListUse, SendToCopiesTheSelectionToTheChosenEntry) {
    make_dir("backup");
    const std::string send_to = data_home_ + "/zor/SendTo";
    std::filesystem::create_directories(send_to);
    ASSERT_EQ(::symlink(at("backup").c_str(), (send_to + "/Backup").c_str()), 0);
    select("a.txt");
    select("b.txt", {.ctrl = true});
    choose_next({"Send To", "Backup"});
    list->right_click_item(index_of(*list, "b.txt"));
    EXPECT_EQ(read_file(at("backup/a.txt")), "a");
    EXPECT_EQ(read_file(at("backup/b.txt")), "b");
    EXPECT_EQ(read_file(at("top/a.txt")), "a");  // a copy: the originals stay
}

TEST_F(ListUse, CutAndPasteWithTheKeysMoveAFileIntoAnotherFolder) {
    select("a.txt");
    list->key_down('X', {.ctrl = true});
    list->RefreshList();
    select("docs");
    list->key_down(forms::keys::enter);
    list->key_down('V', {.ctrl = true});
    EXPECT_EQ(read_file(at("top/docs/a.txt")), "a");
    EXPECT_FALSE(std::filesystem::exists(at("top/a.txt")));
    EXPECT_NE(index_of(*list, "a.txt"), -1);
    list->key_down('V', {.ctrl = true});  // nothing left to paste: nothing happens
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(ListUse, F5FillsAgain) {
    make_file("top/late.txt", "l");
    const int fills = list->FillCount;
    list->key_down(forms::keys::f5);
    EXPECT_EQ(list->FillCount, fills + 1);
    EXPECT_NE(index_of(*list, "late.txt"), -1);
}

// ---- drag and drop
// --------------------------------------------------------------------------------------------

struct ListDrag : ShellListTest {
    void SetUp() override {
        ShellListTest::SetUp();
        make_dir("left/sub");
        make_dir("right");
        make_file("left/a.txt", "left a");
        make_file("left/b.txt", "left b");
        make_file("right/a.txt", "right a");
        // Two lists side by side in the panes of a splitter.
        splitter = form->add<TKwSplitter>("split");
        splitter->SetBounds(0, 0, 800, 400);
        splitter->CreatePanes();
        splitter->SetPosition(400);
        left = form->add<TKwShellList>("left", splitter->Pane(0));
        left->SetBounds(0, 0, 398, 400);
        left->Locator().SetPath(at("left"));
        right = form->add<TKwShellList>("right", splitter->Pane(1));
        right->SetBounds(0, 0, 398, 400);
        right->Locator().SetPath(at("right"));
    }
    // A screen point over a list: on item `index`, or on the background below the items.
    shell::POINTL over(TKwShellList& list, int index) {
        const int row = index >= 0 ? index : static_cast<int>(list.Items.size()) + 3;
        const forms::Point p =
            list.ClientToScreen({20, list.HeaderHeight + row * TKwShellList::RowHeight + 5});
        return {p.x, p.y};
    }
    void select(TKwShellList& list, const std::string& name) { list.click_item(index_of(list, name)); }
    TKwSplitter* splitter = nullptr;
    TKwShellList* left = nullptr;
    TKwShellList* right = nullptr;
};

TEST_F(ListDrag, ALeftDragMovesAFileToTheOtherFolder) {
    select(*left, "b.txt");
    drag_script({{left->Handle(), over(*left, 1), shell::MK_LBUTTON},
                 {right->Handle(), over(*right, -1), shell::MK_LBUTTON},
                 {right->Handle(), over(*right, -1), 0}});
    left->drag_selection(0);
    EXPECT_EQ(read_file(at("right/b.txt")), "left b");
    EXPECT_FALSE(std::filesystem::exists(at("left/b.txt")));
    EXPECT_EQ(column(*right), (Names{"a.txt", "b.txt"}));  // the target refreshed at the drop
    EXPECT_EQ(column(*left), (Names{"sub", "a.txt"}));     // the source after the drag
    EXPECT_FALSE(left->Dragging());
    EXPECT_TRUE(left->HasDragged());
    EXPECT_EQ(right->DropHighlighted(), -1);
}

TEST_F(ListDrag, ACtrlDragCopies) {
    select(*left, "b.txt");
    drag_script({{right->Handle(), over(*right, -1), shell::MK_LBUTTON | shell::MK_CONTROL},
                 {right->Handle(), over(*right, -1), shell::MK_CONTROL}});
    left->drag_selection(0);
    EXPECT_EQ(read_file(at("right/b.txt")), "left b");
    EXPECT_EQ(read_file(at("left/b.txt")), "left b");
}

TEST_F(ListDrag, ANameTheOtherFolderHasIsAskedAboutBothWays) {
    select(*left, "a.txt");
    boxes->answer_next_box(forms::mr_no);
    drag_script(
        {{right->Handle(), over(*right, -1), shell::MK_LBUTTON}, {right->Handle(), over(*right, -1), 0}});
    left->drag_selection(0);
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(read_file(at("left/a.txt")), "left a");
    EXPECT_EQ(read_file(at("right/a.txt")), "right a");
    boxes->answer_next_box(forms::mr_yes);
    select(*left, "a.txt");
    drag_script(
        {{right->Handle(), over(*right, -1), shell::MK_LBUTTON}, {right->Handle(), over(*right, -1), 0}});
    left->drag_selection(0);
    EXPECT_EQ(read_file(at("right/a.txt")), "right a");
    EXPECT_EQ(read_file(at("right/a (2).txt")), "left a");
    EXPECT_FALSE(std::filesystem::exists(at("left/a.txt")));
}

TEST_F(ListDrag, DroppingOnAFolderItemPutsTheFileInIt) {
    select(*left, "b.txt");
    const int sub = index_of(*left, "sub");
    drag_script(
        {{left->Handle(), over(*left, sub), shell::MK_LBUTTON}, {left->Handle(), over(*left, sub), 0}});
    int highlighted = -2;
    const auto saved = shell::set_drag_input(nullptr);
    shell::set_drag_input([&, saved, step = 0]() mutable {
        if (step++ == 1) highlighted = left->DropHighlighted();
        return saved();
    });
    left->drag_selection(0);
    EXPECT_EQ(highlighted, sub);
    EXPECT_EQ(read_file(at("left/sub/b.txt")), "left b");
    EXPECT_EQ(column(*left), (Names{"sub", "a.txt"}));
}

TEST_F(ListDrag, ALeftDragOntoItsOwnBackgroundIsRefused) {
    select(*left, "a.txt");
    drag_script({{left->Handle(), over(*left, -1), shell::MK_LBUTTON}, {left->Handle(), over(*left, -1), 0}});
    left->drag_selection(0);
    EXPECT_TRUE(boxes->boxes().empty());
    EXPECT_EQ(column(*left), (Names{"sub", "a.txt", "b.txt"}));
    // Onto one of its own files (which is no drop target) it is refused as well.
    select(*left, "a.txt");
    drag_script({{left->Handle(), over(*left, 2), shell::MK_LBUTTON}, {left->Handle(), over(*left, 2), 0}});
    left->drag_selection(0);
    EXPECT_TRUE(boxes->boxes().empty());
    EXPECT_EQ(read_file(at("left/a.txt")), "left a");
}

TEST_F(ListDrag, ARightDragOntoItsOwnBackgroundCopiesNeverMoves) {
    select(*left, "a.txt");
    boxes->answer_next_box(forms::mr_yes);  // the name is there already: keep both
    drag_script({{left->Handle(), over(*left, -1), shell::MK_RBUTTON | shell::MK_SHIFT},
                 {left->Handle(), over(*left, -1), shell::MK_SHIFT}});
    left->drag_selection(1);
    EXPECT_EQ(read_file(at("left/a.txt")), "left a");
    EXPECT_EQ(read_file(at("left/a (2).txt")), "left a");
    EXPECT_NE(index_of(*left, "a (2).txt"), -1);
}

TEST_F(ListDrag, ADropStepsOwnEffectsAreMaskedByWhatTheItemsAllow) {
    select(*left, "b.txt");
    auto data = com::ComPtr<shell::IDataObject>::share(new TDataObject_shlv(*left));
    std::uint32_t effect = shell::DROPEFFECT_COPY | shell::DROPEFFECT_MOVE;
    EXPECT_EQ(right->DoDragEnter(data.get(), shell::MK_LBUTTON, &effect, over(*right, -1)), com::S_OK);
    EXPECT_EQ(effect, shell::DROPEFFECT_MOVE);
    effect = shell::DROPEFFECT_COPY | shell::DROPEFFECT_MOVE;
    EXPECT_EQ(right->DoDragOver(shell::MK_LBUTTON | shell::MK_CONTROL, &effect, over(*right, -1)), com::S_OK);
    EXPECT_EQ(effect & ~0x80000000u, shell::DROPEFFECT_COPY);
    EXPECT_EQ(right->DoDragLeave(), com::S_OK);
}

TEST_F(ListDrag, AnyFailureInsideADragLeavesTheListFreeToRefresh) {
    struct Failing : TKwCustomShellList {
        shell::IDropSource* CreateDropSource(int) override { throw Exception("no source"); }
    };
    auto* failing = form->add<Failing>("failing");
    failing->Locator().SetPath(at("left"));
    failing->click_item(0);
    EXPECT_THROW(failing->drag_selection(0), Exception);
    EXPECT_FALSE(failing->Dragging());
    make_file("left/c.txt", "c");
    failing->RefreshList();
    EXPECT_NE(index_of(*failing, "c.txt"), -1);
}

TEST_F(ListDrag, NearTheBottomEdgeTheListScrollsAtMostOneLinePer100Ms) {
    for (int i = 0; i < 100; ++i) make_file("right/f" + std::to_string(100 + i), "x");
    right->RefreshList();
    std::uint32_t now = 1000;
    right->Clock = [&] { return now; };
    select(*left, "b.txt");
    auto data = com::ComPtr<shell::IDataObject>::share(new TDataObject_shlv(*left));
    const forms::Point bottom = right->ClientToScreen({100, right->Height - 5});
    std::uint32_t effect = shell::DROPEFFECT_COPY;
    right->DoDragEnter(data.get(), shell::MK_LBUTTON, &effect, {bottom.x, bottom.y});
    std::vector<int> tops;
    for (int step = 0; step < 6; ++step) {
        now += 40;
        effect = shell::DROPEFFECT_COPY;
        right->DoDragOver(shell::MK_LBUTTON, &effect, {bottom.x, bottom.y});
        EXPECT_EQ(effect & 0x80000000u, 0x80000000u);
        tops.push_back(right->TopIndex);
    }
    EXPECT_EQ(tops, (std::vector<int>{0, 0, 1, 1, 1, 2}));
    right->DoDragLeave();
}

TEST_F(ListDrag, TheWheelScrollsThreeLinesANotchAndGoesToTheListUnderThePointer) {
    for (int i = 0; i < 100; ++i) make_file("right/f" + std::to_string(100 + i), "x");
    right->RefreshList();
    right->MouseWheel(-120);
    EXPECT_EQ(right->TopIndex, 3);
    left->MouseWheel(120, right);
    EXPECT_EQ(right->TopIndex, 0);
    EXPECT_EQ(left->TopIndex, 0);
    // A screen at a time.
    SetWheelScrollLines(-1);
    right->MouseWheel(-120);
    EXPECT_EQ(right->TopIndex, right->VisibleRows());
    SetWheelScrollLines(3);
}

// ---- a driver
// --------------------------------------------------------------------------------------------------

struct FakeTree : TKwShellListDriver {
    TKwShellLocator locator;
    std::vector<std::string> calls;
    TKwCustomShellList* list = nullptr;
    TKwShellLocator& DriverLocator() override { return locator; }
    void DriverShow(PCIDL absolute) override {
        calls.push_back("show " + IdListToPath(absolute));
        locator.SetIdList(absolute);
    }
    void DriverGoUp(int levels) override { calls.push_back("up " + std::to_string(levels)); }
    void DriverCompletePendingRefresh() override { calls.push_back("pending"); }
};

TEST_F(ListUse, ADriverIsMovedByTheListAndMovesIt) {
    FakeTree tree;
    tree.locator.OnChange = [&](TKwShellLocator& l) { list->AssignLocator(l); };
    list->SetTree(&tree);
    select("docs");
    list->key_down(forms::keys::enter);
    EXPECT_EQ(tree.locator.Path(), at("top/docs"));
    EXPECT_EQ(column(*list), (Names{"inner", "report.txt"}));
    list->key_down(forms::keys::backspace);
    EXPECT_EQ(tree.calls.back(), "up 1");
    list->Locator().SetPath(at("top"));
    EXPECT_EQ(tree.calls.back(), "show " + at("top"));
    list->SetOptions(list->Options() | kwsloHideFolders);
    list->FillList();
    EXPECT_EQ(column(*list), (Names{"a.txt", "b.txt"}));
    list->SetTree(nullptr);
}

}  // namespace
}  // namespace shellctl
