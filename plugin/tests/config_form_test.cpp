// The configuration dialog: the port list from the probe, a port choice written and handed to
// Zorrun, the folder list kept once per folder and stored when the dialog goes, and Browse
// through the folder-browse dialog on real folders.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "plugin/config_form.h"
#include "plugin/tests/editor_fixture.h"
#include "plugin/tests/pty_ports.h"
#include "shellctl/kw_folder_browse_dlg.h"
#include "utilities/form_helpers.h"
#include "utilities/settings.h"

namespace zorsetup_test {
namespace {

class ConfigForm : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        ports_ = std::make_unique<PtyPorts>(std::initializer_list<int>{1, 3});
    }
    void TearDown() override {
        ports_.reset();
        EditorTest::TearDown();
    }
    std::unique_ptr<PtyPorts> ports_;
};

// Browse: the shell's home and data folders are the test's own.
class ConfigBrowse : public ConfigForm {
  protected:
    void SetUp() override {
        ConfigForm::SetUp();
        for (const char* name : {"HOME", "XDG_DATA_HOME"}) {
            const char* v = getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        setenv("HOME", folder_.c_str(), 1);
        setenv("XDG_DATA_HOME", (folder_ + "/.local/share").c_str(), 1);
        std::filesystem::create_directories(folder_ + "/methods/new");
        putils::write_folder_list({folder_, "/other"});
        putils::session().method_folder = folder_;
        putils::reg_write_string("Method Folder", folder_);
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        ConfigForm::TearDown();
    }
    // Presses Browse; `act` is the person at the folder-browse dialog.
    void browse(zorsetup::Tconfig_form& form, std::function<void(shellctl::TKwFrmFolderBrowseDlg&)> act) {
        boxes_->on_next_form(
            [act](platform::forms::Form& f) { act(dynamic_cast<shellctl::TKwFrmFolderBrowseDlg&>(f)); });
        form.browse_button->click();
    }
    static platform::forms::TreeNode* child(platform::forms::TreeNode* node, const std::string& text) {
        for (const auto& c : node->children())
            if (c->Text == text) return c.get();
        return nullptr;
    }
    std::string stored_method_folder() const {
        std::string stored;
        putils::reg_read_string("Method Folder", "", stored);
        return stored;
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(ConfigForm, ListsTheFreePortsAndSelectsTheSettingsPort) {
    putils::write_port_setting(3);
    auto form = platform::forms::make_form<zorsetup::Tconfig_form>();
    form->Show();
    EXPECT_EQ(form->port_box->Items.strings(), (Lines{"COM1", "COM3"}));
    EXPECT_EQ(form->port_box->ItemIndex, 1);
    EXPECT_EQ(form->port_from_box(), 3);
    // Filling the list again changes no port.
    form->fill_port_box(1);
    EXPECT_EQ(putils::read_port_setting(), 3);
    EXPECT_EQ(form->port_from_box(), 1);
}

TEST_F(ConfigForm, ChoosingAPortWritesTheSettingEvenWithoutZorrun) {
    putils::write_port_setting(3);
    auto form = platform::forms::make_form<zorsetup::Tconfig_form>();
    form->Show();
    form->port_box->select(0);
    EXPECT_EQ(putils::read_port_setting(), 1);
    EXPECT_EQ(messages(), (Lines{"no interface to driver", "no connection to zor"}));
}

TEST_F(ConfigForm, FolderToTopKeepsEachFolderOnceAndClosingStoresTheList) {
    putils::write_folder_list({"/a", "/b", "/c"});
    putils::session().method_folder = "/b";
    {
        auto form = platform::forms::make_form<zorsetup::Tconfig_form>();
        EXPECT_EQ(form->folder_combo_box->ItemIndex, 1);
        form->folder_to_top("/C");
        EXPECT_EQ(form->folder_combo_box->Items.strings(), (Lines{"/C", "/a", "/b"}));
    }
    std::vector<std::string> stored;
    putils::read_folder_list(stored);
    EXPECT_EQ(stored, (Lines{"/C", "/a", "/b"}));
    EXPECT_EQ(putils::session().method_folder, "/C");
}

TEST_F(ConfigForm, TheMethodFolderShowsAlsoWhenTheFolderListLacksIt) {
    putils::write_folder_list({"/other"});
    putils::reg_write_string("Method Folder", folder_);
    {
        auto form = platform::forms::make_form<zorsetup::Tconfig_form>();
        EXPECT_EQ(form->folder_combo_box->Items.strings(), (Lines{folder_, "/other"}));
        EXPECT_EQ(putils::combo_text(*form->folder_combo_box), folder_);
    }
    EXPECT_EQ(putils::session().method_folder, folder_);
}

TEST_F(ConfigForm, ClosingWithoutASelectedFolderKeepsTheMethodFolder) {
    putils::write_folder_list({});
    putils::session().method_folder.clear();
    {
        auto form = platform::forms::make_form<zorsetup::Tconfig_form>();
        EXPECT_EQ(form->folder_combo_box->ItemIndex, -1);
    }
    EXPECT_EQ(putils::session().method_folder, "");
}

TEST_F(ConfigForm, HelpWithoutAHelpFileNameSaysSoAndOpensNothing) {
    platform::registry::Registry host(platform::registry::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(host.open_key("\\SOFTWARE\\Velorand\\Chromarq\\Global", true));
    host.write_string("Chromarq Path", "/opt/chromarq");
    auto form = platform::forms::make_form<zorsetup::Tconfig_form>();
    form->help_button->click();
    EXPECT_TRUE(platform::help::help_requests().empty());
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].find("/system/programs/.hlp"), std::string::npos) << messages()[0];
    EXPECT_NE(messages()[0].find("HlpFName"), std::string::npos) << messages()[0];
}

TEST_F(ConfigBrowse, BrowseOpensAtTheMethodFolderAndTheChosenFolderIsStored) {
    {
        auto form = platform::forms::make_form<zorsetup::Tconfig_form>();
        EXPECT_EQ(form->folder_combo_box->ItemIndex, 0);
        browse(*form, [&](shellctl::TKwFrmFolderBrowseDlg& dialog) {
            auto& tree = *dialog.KwShellTree1;
            ASSERT_NE(tree.Selected, nullptr);
            EXPECT_EQ(tree.SelectedPath(), folder_) << "opened at the current method folder";
            tree.expand(tree.Selected);
            auto* methods = child(tree.Selected, "methods");
            ASSERT_NE(methods, nullptr);
            tree.expand(methods);
            tree.ClickNode(child(methods, "new"));
            dialog.OkBtn->click();
        });
        EXPECT_EQ(form->folder_combo_box->Items.strings(),
                  (Lines{folder_ + "/methods/new", folder_, "/other"}));
        EXPECT_EQ(form->folder_combo_box->ItemIndex, 0);
        EXPECT_EQ(stored_method_folder(), folder_) << "nothing is stored before the dialog goes";
    }
    EXPECT_EQ(stored_method_folder(), folder_ + "/methods/new");
    EXPECT_EQ(putils::session().method_folder, folder_ + "/methods/new");
    std::vector<std::string> list;
    putils::read_folder_list(list);
    EXPECT_EQ(list, (Lines{folder_ + "/methods/new", folder_, "/other"}));
}

TEST_F(ConfigBrowse, OkOnSomethingWithoutAPathOrCancelKeepsTheMethodFolder) {
    {
        auto form = platform::forms::make_form<zorsetup::Tconfig_form>();
        browse(*form, [&](shellctl::TKwFrmFolderBrowseDlg& dialog) {
            auto& tree = *dialog.KwShellTree1;
            auto* desktop = tree.roots().front().get();
            tree.ClickNode(child(desktop, "Computer"));
            EXPECT_EQ(tree.SelectedPath(), "");
            dialog.OkBtn->click();
        });
        browse(*form, [&](shellctl::TKwFrmFolderBrowseDlg& dialog) {
            auto& tree = *dialog.KwShellTree1;
            tree.ClickNode(tree.roots().front().get());
            dialog.OkBtn->click();
        });
        browse(*form, [&](shellctl::TKwFrmFolderBrowseDlg& dialog) {
            auto& tree = *dialog.KwShellTree1;
            tree.expand(tree.Selected);
            tree.ClickNode(child(tree.Selected, "methods"));
            dialog.CancelBtn->click();
        });
        EXPECT_EQ(form->folder_combo_box->Items.strings(), (Lines{folder_, "/other"}));
    }
    EXPECT_EQ(stored_method_folder(), folder_);
    EXPECT_EQ(putils::session().method_folder, folder_);
}

TEST_F(ConfigBrowse, FolderNamesTravelBetweenTheSystemsTextsAndTheFileSystem) {
    // "5µl" is 0x35 0xB5 0x6C in the system's texts and UTF-8 on the disk.
    std::filesystem::create_directories(folder_ + "/5\xC2\xB5l");
    std::filesystem::create_directories(folder_ + "/bad\xFFname");
    const std::string micro = folder_ + "/5\xB5l";
    putils::write_folder_list({micro});
    putils::session().method_folder = micro;
    auto form = platform::forms::make_form<zorsetup::Tconfig_form>();
    ASSERT_EQ(form->folder_combo_box->ItemIndex, 0);
    browse(*form, [&](shellctl::TKwFrmFolderBrowseDlg& dialog) {
        auto& tree = *dialog.KwShellTree1;
        EXPECT_EQ(tree.SelectedPath(), folder_ + "/5\xC2\xB5l");
        tree.ClickNode(tree.Selected->parent());
        dialog.OkBtn->click();
    });
    EXPECT_EQ(form->folder_combo_box->Items.strings(), (Lines{folder_, micro}));
    // A name that is not UTF-8 cannot be held by the system's texts: refused, and said so.
    browse(*form, [&](shellctl::TKwFrmFolderBrowseDlg& dialog) {
        auto& tree = *dialog.KwShellTree1;
        tree.expand(tree.Selected);
        auto* bad = child(tree.Selected, "bad\xEF\xBF\xBDname");
        ASSERT_NE(bad, nullptr);
        tree.ClickNode(bad);
        dialog.OkBtn->click();
    });
    EXPECT_EQ(form->folder_combo_box->Items.strings(), (Lines{folder_, micro}));
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(
        messages().back(),
        "The chosen folder cannot be the method folder: its name holds characters that cannot be kept.");
}

}  // namespace
}  // namespace zorsetup_test
