// The configuration dialog: the port list from the probe, a port choice written and handed to
// Zorrun, the folder list kept once per folder and stored when the dialog goes.
#include <memory>

#include "plugin/config_form.h"
#include "plugin/tests/editor_fixture.h"
#include "plugin/tests/pty_ports.h"
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

TEST_F(ConfigForm, ClosingWithoutASelectedFolderKeepsTheMethodFolder) {
    putils::write_folder_list({});
    const std::string before = putils::session().method_folder;
    putils::reg_write_string("Method Folder", before);
    {
        auto form = platform::forms::make_form<zorsetup::Tconfig_form>();
        EXPECT_EQ(form->folder_combo_box->ItemIndex, -1);
    }
    EXPECT_EQ(putils::session().method_folder, before);
    std::string stored;
    putils::reg_read_string("Method Folder", "", stored);
    EXPECT_EQ(stored, before);
}

}  // namespace
}  // namespace zorsetup_test
