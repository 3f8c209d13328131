// Shared operations on real temporary folders: new folders, texts, verbs, Send To and drops.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "platform/forms/application.h"
#include "platform/forms/interaction.h"
#include "shellctl/kw_clipboard.h"
#include "shellctl/kw_sh_consts.h"
#include "shellctl/kw_shell_ops.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace shell = platform::shell;
namespace com = platform::com;
namespace forms = platform::forms;
using testing::TempTree;

// A data object that offers fixed blocks (CIDA and/or CF_HDROP).
class FakeData final : public TKwUnknown<shell::IDataObject> {
  public:
    GlobalBlock cida, hdrop;
    HRESULT GetData(const shell::FORMATETC& f, shell::STGMEDIUM& out) override {
        const GlobalBlock& b = f.cfFormat == CF_IDLIST() ? cida : hdrop;
        if (!b) return shell::DV_E_FORMATETC;
        out.tymed = shell::TYMED_HGLOBAL;
        out.hGlobal = CopyGlobalBlock(b);
        return com::S_OK;
    }
    HRESULT GetDataHere(const shell::FORMATETC&, shell::STGMEDIUM&) override { return com::E_NOTIMPL; }
    HRESULT QueryGetData(const shell::FORMATETC& f) override {
        if (f.cfFormat == CF_IDLIST() && cida) return com::S_OK;
        if (f.cfFormat == shell::CF_HDROP && hdrop) return com::S_OK;
        return shell::DV_E_FORMATETC;
    }
    HRESULT GetCanonicalFormatEtc(const shell::FORMATETC&, shell::FORMATETC&) override {
        return com::E_NOTIMPL;
    }
    HRESULT SetData(const shell::FORMATETC&, shell::STGMEDIUM&, bool) override { return com::E_NOTIMPL; }
    HRESULT EnumFormatEtc(std::uint32_t, shell::IEnumFORMATETC**) override { return com::E_NOTIMPL; }
};

class ShellOps : public TempTree {
  protected:
    std::shared_ptr<shell::ContextMenu> menu_on(const std::string& folder_path, const std::string& name) {
        PIDL list = nullptr;
        EXPECT_EQ(PathToIdList(folder_path, list), com::S_OK);
        FolderPtr folder;
        EXPECT_EQ(GetShellFolder(list, folder), com::S_OK);
        ShellFree(list);
        shell::IdList child;
        EXPECT_EQ(folder->parse_display_name(name, child), com::S_OK);
        TKwContextMenu menu;
        EXPECT_EQ(GetContextMenu(folder, {child.data()}, shell::CMF_EXPLORE | shell::CMF_CANRENAME,
                                 kwFirstShellCommand, menu),
                  com::S_OK);
        return menu.Menu;
    }
};

TEST_F(ShellOps, NewFolderNamesCountUpThenTheSecondFamily) {
    make_dir("p/New Folder");
    make_dir("p/New Folder (2)");
    std::string name;
    ASSERT_TRUE(CreateNewFolder(at("p"), name));
    EXPECT_EQ(name, "New Folder (3)");
    EXPECT_TRUE(std::filesystem::is_directory(at("p/New Folder (3)")));
    for (int n = 4; n <= 50; ++n) make_dir("p/New Folder (" + std::to_string(n) + ")");
    ASSERT_TRUE(CreateNewFolder(at("p/"), name));
    EXPECT_EQ(name, "fldr");
    ASSERT_TRUE(CreateNewFolder(at("p"), name));
    EXPECT_EQ(name, "fldr2");
}

TEST_F(ShellOps, WhenAllHundredNamesExistOneBoxSaysSo) {
    make_dir("full/New Folder");
    make_dir("full/fldr");
    for (int n = 2; n <= 50; ++n) {
        make_dir("full/New Folder (" + std::to_string(n) + ")");
        make_dir("full/fldr" + std::to_string(n));
    }
    forms::ScriptedInteraction boxes;
    boxes.set_default_box_answer(forms::mr_ok);
    std::string name = "stale";
    EXPECT_FALSE(CreateNewFolder(at("full"), name));
    EXPECT_EQ(name, "");
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].request.type, forms::DialogType::warning);
    EXPECT_EQ(boxes.boxes()[0].request.text, "Unable to create the folder 'New Folder'\n\nFile exists");
}

TEST_F(ShellOps, ARealFailureShowsABoxForEachPassThenTheClosingBox) {
    make_file("not_a_folder");
    forms::ScriptedInteraction boxes;
    boxes.set_default_box_answer(forms::mr_ok);
    std::string name;
    EXPECT_FALSE(CreateNewFolder(at("not_a_folder"), name));
    ASSERT_EQ(boxes.boxes().size(), 3u);
    EXPECT_EQ(boxes.boxes()[0].request.text, "Unable to create the folder 'New Folder'\n\nNot a directory");
    EXPECT_EQ(boxes.boxes()[1].request.text, "Unable to create the folder 'fldr'\n\nNot a directory");
    EXPECT_EQ(boxes.boxes()[2].request.text, "Unable to create the folder 'New Folder'\n\nFile exists");
    for (const auto& box : boxes.boxes()) EXPECT_EQ(box.request.type, forms::DialogType::warning);
}

TEST_F(ShellOps, AnEmptyParentMakesNothing) {
    forms::ScriptedInteraction boxes;
    std::string name;
    EXPECT_FALSE(CreateNewFolder("", name));
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(ShellOps, TheDesktopFolderSplitsAndTakesDrops) {
    PIDL parent = nullptr, last = nullptr;
    com::ComPtr<shell::IDropTarget> target;
    // No desktop folder yet: nothing.
    SplitDesktopIdList(parent, last);
    EXPECT_EQ(parent, nullptr);
    EXPECT_EQ(last, nullptr);
    EXPECT_TRUE(com::failed(GetDesktopDropTarget(target)));
    EXPECT_FALSE(target);

    make_dir("home/Desktop");
    SplitDesktopIdList(parent, last);
    ASSERT_NE(parent, nullptr);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(IdListToPath(parent), home_);
    PIDL joined = ConcatIdLists(nullptr, parent, last);
    EXPECT_EQ(IdListToPath(joined), home_ + "/Desktop");
    ShellFree(joined);
    ShellFree(parent);
    ShellFree(last);
    ASSERT_EQ(GetDesktopDropTarget(target), com::S_OK);
    ASSERT_TRUE(target);

    // A folder's drop target: only that interface, and only for items that take drops.
    make_file("home/plain.txt");
    PIDL folder = nullptr, file = nullptr;
    ASSERT_EQ(PathToIdList(home_ + "/Desktop", folder), com::S_OK);
    ASSERT_EQ(PathToIdList(home_ + "/plain.txt", file), com::S_OK);
    void* object = nullptr;
    ASSERT_EQ(GetItemUIObject(folder, shell::IDropTarget::iid, &object), com::S_OK);
    ASSERT_NE(object, nullptr);
    static_cast<shell::IDropTarget*>(object)->Release();
    EXPECT_EQ(GetItemUIObject(folder, shell::IDataObject::iid, &object), com::E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(GetItemUIObject(file, shell::IDropTarget::iid, &object), com::E_NOINTERFACE);
    const auto root = shell::empty_id_list();
    EXPECT_TRUE(com::failed(GetItemUIObject(root.data(), shell::IDropTarget::iid, &object)));
    ShellFree(folder);
    ShellFree(file);
}

struct CommaThousands : std::numpunct<char> {
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};

// A locale that writes dates and times its own way, so the texts can only come from it.
struct MarkedTimes : std::time_put<char> {
    iter_type do_put(iter_type out, std::ios_base&, char, const std::tm* t, char format,
                     char) const override {
        const std::string text =
            format == 'x'   ? "D" + std::to_string(t->tm_mday) + "." + std::to_string(t->tm_mon + 1)
            : format == 'X' ? "T" + std::to_string(t->tm_hour) + "h" + std::to_string(t->tm_min)
                            : "?";
        return std::copy(text.begin(), text.end(), out);
    }
};

// The person's locale for one test.
class UserLocaleScope {
  public:
    explicit UserLocaleScope(const std::locale& locale) : saved_(UserLocale()) { SetUserLocale(locale); }
    ~UserLocaleScope() { SetUserLocale(saved_); }

  private:
    std::locale saved_;
};

TEST_F(ShellOps, SizeTexts) {
    const UserLocaleScope classic(std::locale::classic());
    EXPECT_EQ(FormatSizeKB(0), "0KB");
    EXPECT_EQ(FormatSizeKB(1), "1KB");
    EXPECT_EQ(FormatSizeKB(1024), "1KB");
    EXPECT_EQ(FormatSizeKB(1025), "2KB");
    EXPECT_EQ(FormatSizeKB(1234567), "1206KB");
    const std::locale comma(std::locale::classic(), new CommaThousands);
    EXPECT_EQ(FormatSizeKB(1234567, comma), "1,206KB");
    EXPECT_EQ(FormatSizeKB(5000ull * 1024 * 1024, comma), "5,120,000KB");
}

TEST_F(ShellOps, SizeAndDateTextsFollowThePersonsLocale) {
    const UserLocaleScope marked(
        std::locale(std::locale(std::locale::classic(), new CommaThousands), new MarkedTimes));
    make_file("big.bin", std::string(1234567, 'b'));
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 7;
    when.tm_hour = 14;
    when.tm_min = 5;
    when.tm_isdst = -1;
    const std::time_t local = std::mktime(&when);
    const timespec times[2] = {{local, 0}, {local, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, at("big.bin").c_str(), times, 0), 0);
    PIDL file = nullptr;
    ASSERT_EQ(PathToIdList(at("big.bin"), file), com::S_OK);
    const auto details = GetItemDetails(file, shell::SFGAO_FILESYSTEM);
    EXPECT_EQ(details.Size, "1,206KB");
    EXPECT_EQ(details.Date, "D7.3 T14h5");
    ShellFree(file);
    // The classic locale writes month/day/year and the time with seconds.
    const UserLocaleScope classic(std::locale::classic());
    EXPECT_EQ(FormatDateTime(when), "03/07/24 14:05:00");
}

TEST_F(ShellOps, SizeDateAndTypeOfItems) {
    make_dir("d");
    make_file("d/report.txt", std::string(3000, 'r'));
    PIDL dir = nullptr, file = nullptr, root = nullptr;
    ASSERT_EQ(PathToIdList(at("d"), dir), com::S_OK);
    ASSERT_EQ(PathToIdList(at("d/report.txt"), file), com::S_OK);
    ASSERT_EQ(PathToIdList("/", root), com::S_OK);
    auto details = GetItemDetails(file, shell::SFGAO_FILESYSTEM);
    EXPECT_EQ(details.Size, "3KB");
    EXPECT_FALSE(details.Date.empty());
    EXPECT_EQ(details.Type, "TXT File");
    details = GetItemDetails(dir, shell::SFGAO_FILESYSTEM | shell::SFGAO_FOLDER);
    EXPECT_EQ(details.Size, "");
    EXPECT_FALSE(details.Date.empty());
    EXPECT_EQ(details.Type, "File Folder");
    details = GetItemDetails(root, shell::SFGAO_FILESYSTEM);
    EXPECT_EQ(details.Size, "");
    EXPECT_EQ(details.Date, "");
    const auto empty = shell::empty_id_list();
    EXPECT_EQ(GetItemTypeName(empty.data(), shell::SFGAO_FOLDER), "System Folder");
    ShellFree(dir);
    ShellFree(file);
    ShellFree(root);
}

TEST_F(ShellOps, VerbsAreFoundWithoutRegardToCaseAndAMissingOneRunsNothing) {
    make_file("doc.txt");
    std::vector<std::string> opened;
    auto previous = shell::set_opener([&](const std::string& p) {
        opened.push_back(p);
        return com::S_OK;
    });
    auto menu = menu_on(root_, "doc.txt");
    EXPECT_EQ(FindVerbOffset(*menu, "Delete"), shell::verb_delete);
    EXPECT_EQ(FindVerbOffset(*menu, "OPEN"), shell::verb_open);
    EXPECT_FALSE(FindVerbOffset(*menu, "print"));
    EXPECT_EQ(InvokeVerb(*menu, "print"), com::E_INVALIDARG);
    EXPECT_TRUE(opened.empty());  // the command at offset 0 ("open") did not run instead
    EXPECT_EQ(InvokeVerb(*menu, "Open"), com::S_OK);
    EXPECT_EQ(opened, std::vector<std::string>{at("doc.txt")});
    EXPECT_EQ(MenuCommandHelp(*menu, kwFirstShellCommand + shell::verb_delete),
              "Moves the selected items to the trash.");
    EXPECT_EQ(MenuCommandHelp(*menu, 3), "");
    shell::set_opener(previous);
}

TEST_F(ShellOps, ContextMenuIdentifiersAndTheSendToPlaceholder) {
    make_file("f");
    PIDL list = nullptr;
    ASSERT_EQ(PathToIdList(root_, list), com::S_OK);
    FolderPtr folder;
    ASSERT_EQ(GetShellFolder(list, folder), com::S_OK);
    ShellFree(list);
    shell::IdList child;
    ASSERT_EQ(folder->parse_display_name("f", child), com::S_OK);
    TKwContextMenu menu;
    ASSERT_EQ(GetContextMenu(folder, {child.data()}, shell::CMF_CANRENAME, kwFirstShellCommand, menu),
              com::S_OK);
    std::vector<int> ids;
    for (auto& i : menu.Popup.Items) {
        if (i.IsSubmenu) {
            TKwPopupMenu p{i.Submenu};
            EXPECT_EQ(p.Items.size(), 1u);
            EXPECT_TRUE(p.Items[0].Grayed);
        } else {
            ids.push_back(i.Id);
        }
    }
    EXPECT_EQ(ids.front(), 1000);
    EXPECT_NE(std::find(ids.begin(), ids.end(), kwRenameCommand), ids.end());
    EXPECT_TRUE(menu.Popup.Items.front().Default);
}

TEST_F(ShellOps, SendToSubmenuIsFilledFreshEachTimeAndMenuCharsPickEntries) {
    const std::string dir = data_home_ + "/zor/SendTo";
    std::filesystem::create_directories(dir);
    for (const char* n : {"Mail Recipient", "SD Card", "Shortcut"}) std::ofstream(dir + "/" + n) << "";
    TKwPopupMenu popup;
    popup.Items.push_back({});
    popup.Items[0].Grayed = true;
    ASSERT_TRUE(HandleMenuInitPopup(popup));
    ASSERT_EQ(popup.Items.size(), 3u);
    EXPECT_EQ(popup.Items[1].Caption, "SD Card");
    EXPECT_EQ(popup.Items[1].Id, 2);
    EXPECT_EQ(popup.Items[1].Data, 1);
    EXPECT_TRUE(popup.Items[1].OwnerDraw);
    EXPECT_FALSE(HandleMenuInitPopup(popup));  // not a placeholder any more

    popup.Items[0].Hilite = true;
    EXPECT_EQ(HandleMenuChar('s', popup), (MNC_SELECT << 16) | 1u);
    popup.Items[0].Hilite = false;
    popup.Items[1].Hilite = true;
    EXPECT_EQ(HandleMenuChar('S', popup), (MNC_SELECT << 16) | 2u);
    EXPECT_EQ(HandleMenuChar('m', popup), (MNC_EXECUTE << 16) | 0u);
    EXPECT_EQ(HandleMenuChar('z', popup), MNC_CLOSE);

    // An entry deleted since the last popup is gone from the next one.
    std::filesystem::remove(dir + "/SD Card");
    TKwPopupMenu again;
    again.Items.push_back({});
    again.Items[0].Grayed = true;
    ASSERT_TRUE(HandleMenuInitPopup(again));
    EXPECT_EQ(again.Items.size(), 2u);
    EXPECT_EQ(SendToList().size(), 2u);
}

TEST_F(ShellOps, SendToAFolderLinkCopiesTheItemsUnderTheHourglass) {
    const std::string dir = data_home_ + "/zor/SendTo";
    std::filesystem::create_directories(dir);
    make_dir("backup");
    make_file("data.csv", "1,2,3");
    ::symlink(at("backup").c_str(), (dir + "/Backup").c_str());
    auto* data = new FakeData;
    data->AddRef();
    ASSERT_EQ(BuildHDropBlock({at("data.csv")}, data->hdrop), com::S_OK);
    SendToTarget("Backup", data);
    EXPECT_TRUE(std::filesystem::exists(at("backup/data.csv")));
    EXPECT_TRUE(std::filesystem::exists(at("data.csv")));  // copied, not moved
    EXPECT_EQ(forms::screen().Cursor, forms::Cursor::normal);
    EXPECT_THROW(SendToTarget("missing", data), EOleSysError);
    data->Release();
}

TEST_F(ShellOps, AllowedDropEffectsFollowTheItemsAndRefuseDamagedBlocks) {
    make_dir("src");
    make_file("src/a");
    auto* data = new FakeData;
    data->AddRef();
    EXPECT_EQ(GetAllowedDropEffects(data), 7u);  // no CIDA: a foreign drag allows everything
    PIDL parent = nullptr;
    ASSERT_EQ(PathToIdList(at("src"), parent), com::S_OK);
    const auto child = shell::make_item(shell::ItemKind::child, "a");
    ASSERT_EQ(BuildIdListArrayBlock(parent, {child.data()}, data->cida), com::S_OK);
    EXPECT_EQ(GetAllowedDropEffects(data), 7u);
    // A mount point's item can be copied and linked, but not moved.
    make_dir("src/mp");
    std::ofstream(at("mountinfo"), std::ios::app)
        << "41 22 8:2 / " << at("src/mp") << " rw - ext4 /dev/sdc rw\n";
    shell::validate_mounts();
    const auto mp = shell::make_item(shell::ItemKind::child, "mp");
    ASSERT_EQ(BuildIdListArrayBlock(parent, {mp.data()}, data->cida), com::S_OK);
    EXPECT_EQ(GetAllowedDropEffects(data), 5u);
    // A block whose count runs past its end allows nothing, and raises nothing.
    (*data->cida)[0] = 0x40;
    EXPECT_EQ(GetAllowedDropEffects(data), 0u);
    ShellFree(parent);
    data->Release();
}

TEST_F(ShellOps, SplitIdListOfNoneOneAndSeveralItems) {
    FolderPtr folder;
    PIDL parent = nullptr, child = nullptr;
    const auto empty = shell::empty_id_list();
    EXPECT_EQ(SplitIdList(empty.data(), folder, parent, child), com::E_INVALIDARG);
    PIDL computer = nullptr;
    ASSERT_EQ(GetSpecialFolderIdList(0, shell::CSIDL_DRIVES, computer), com::S_OK);
    ASSERT_EQ(SplitIdList(computer, folder, parent, child), com::S_OK);
    EXPECT_EQ(parent, nullptr);
    EXPECT_EQ(folder->id_list(), empty);
    EXPECT_EQ(IdListSize(child), IdListSize(computer));
    ShellFree(child);
    ShellFree(computer);
    make_dir("home/a/b");
    PIDL deep = nullptr;
    ASSERT_EQ(PathToIdList(home_ + "/a/b", deep), com::S_OK);
    ASSERT_EQ(SplitIdList(deep, folder, parent, child), com::S_OK);
    EXPECT_EQ(folder->path(), home_ + "/a");
    EXPECT_EQ(IdListToPath(parent), home_ + "/a");
    EXPECT_EQ(GetItemDisplayName(folder, child, shell::SHGDN_NORMAL), "b");
    ShellFree(parent);
    ShellFree(child);
    ShellFree(deep);
}

TEST_F(ShellOps, HelpersForPathsFormsAndWaits) {
    EXPECT_FALSE(PathBeyondRoot("/"));
    EXPECT_FALSE(PathBeyondRoot(""));
    EXPECT_TRUE(PathBeyondRoot("/srv"));
    unsigned slept = 0;
    forms::Cursor during = forms::Cursor::normal;
    auto previous = SetSleepFunction([&](unsigned ms) {
        slept = ms;
        during = forms::screen().Cursor;
    });
    SleepWithHourglass(1000);
    EXPECT_EQ(slept, 1000u);
    EXPECT_EQ(during, forms::Cursor::hour_glass);
    EXPECT_EQ(forms::screen().Cursor, forms::Cursor::normal);
    SetSleepFunction(previous);
    EXPECT_EQ(GetOwnerForm(nullptr), nullptr);
}

}  // namespace
}  // namespace shellctl
