// The port probe and the "Select Port" dialog, with COM1..COM50 mapped to pseudo-terminals or to
// paths without a device.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "platform/comm/comm.h"
#include "platform/comm/test_hooks.h"
#include "platform/forms/application.h"
#include "platform/forms/interaction.h"
#include "platform/testing/message_loop.h"
#include "platform/testing/pty_pair.h"
#include "platform/testing/unprivileged_child.h"
#include "serial/com_port.h"
#include "serial/dispatcher.h"
#include "serial/exceptions.h"
#include "serial/select_port.h"

namespace serial {
namespace {

namespace comm = platform::comm;
namespace forms = platform::forms;
using zor_testing::PtyPair;

class SelectPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Every number that is not a pty of this test names a path without a device.
        for (int n = 1; n <= 60; ++n)
            ::setenv(("ZOR_COM" + std::to_string(n)).c_str(), "/dev/pts/zor-no-such-device", 1);
        for (int n : {3, 17, 50, 51}) ptys.push_back(std::make_unique<PtyPair>(n));
        for (auto& p : ptys) ASSERT_TRUE(p->ok());
    }
    void TearDown() override {
        ptys.clear();
        for (int n = 1; n <= 60; ++n) ::unsetenv(("ZOR_COM" + std::to_string(n)).c_str());
        comm::test::close_all_devices();
        reset_select_port_unit_state_for_tests();
        platform::window::reset_thread_state_for_tests();
    }
    std::vector<std::unique_ptr<PtyPair>> ptys;
};

TEST_F(SelectPortTest, APortThisUserMayNotOpenIsNotFree) {
    ASSERT_EQ(::chmod(ptys[0]->slave_path().c_str(), 0), 0);
    const std::string got = zor_testing::in_unprivileged_child([] {
        std::string text = PortIsFree(3) ? "free" : "not free";
        select_port_unit_state().probe_with_dispatcher = false;
        return text + (PortIsFree(3) ? "|free" : "|not free");
    });
    ::chmod(ptys[0]->slave_path().c_str(), 0620);
    EXPECT_EQ(got, "not free|not free");
    EXPECT_TRUE(PortIsFree(3));
}

TEST_F(SelectPortTest, TheProbeFindsPresentAndHeldPortsOnly) {
    std::size_t slots = dispatcher_list().list.size();
    EXPECT_FALSE(PortIsFree(0));
    EXPECT_TRUE(PortIsFree(3));
    EXPECT_FALSE(PortIsFree(4));
    comm::OpenResult held = comm::open_device("\\\\.\\COM17");
    ASSERT_FALSE(held.error);
    EXPECT_TRUE(PortIsFree(17));  // another holder: access denied counts as present
    select_port_unit_state().access_denied_means_present = false;
    EXPECT_FALSE(PortIsFree(17));
    select_port_unit_state().access_denied_means_present = true;
    select_port_unit_state().probe_with_dispatcher = false;
    EXPECT_TRUE(PortIsFree(17));
    EXPECT_TRUE(PortIsFree(3));
    EXPECT_FALSE(PortIsFree(5));
    comm::close_device(held.handle);
    EXPECT_EQ(dispatcher_list().list.size(), slots);  // the probe gave its slot back
    // The probe left the device closed: it can be opened at once.
    comm::OpenResult again = comm::open_device("\\\\.\\COM3");
    EXPECT_FALSE(again.error);
    comm::close_device(again.handle);
}

TEST_F(SelectPortTest, TheDialogListsExactlyThePortsThatExist) {
    auto form = forms::make_form<TComSelectForm>();
    EXPECT_EQ(form->Caption, "Select Port");
    EXPECT_EQ(form->ClientWidth, 220);
    EXPECT_EQ(form->ClientHeight, 131);
    EXPECT_EQ(form->Label1->Caption, "The configured serial port is not valid.");
    EXPECT_EQ(form->Label2->Caption, "Please choose another port.");
    EXPECT_EQ(form->OkBtn->Caption, "OK");
    EXPECT_EQ(form->OkBtn->modal_result, forms::mr_ok);
    EXPECT_TRUE(form->OkBtn->Default);
    EXPECT_EQ(form->AbortBtn->Caption, "Cancel");
    EXPECT_EQ(form->AbortBtn->modal_result, forms::mr_abort);
    EXPECT_EQ(form->PortsComboBox->Style, forms::ComboStyle::drop_down_list);
    auto& items = form->PortsComboBox->Items;
    ASSERT_EQ(items.count(), 3);  // COM51 lies above the probed range
    EXPECT_EQ(items[0], "COM3");
    EXPECT_EQ(items[1], "COM17");
    EXPECT_EQ(items[2], "COM50");
    EXPECT_EQ(form->PortsComboBox->ItemIndex, 0);
    EXPECT_EQ(form->SelectedPortNumber(), 3);
    form->PortsComboBox->select(1);
    EXPECT_EQ(form->SelectedPortNumber(), 17);
}

TEST_F(SelectPortTest, OpeningWithoutANumberAsksForAPort) {
    forms::ScriptedInteraction script;
    script.on_next_form([](forms::Form& form) {
        form.find<forms::ComboBox>("PortsComboBox").select(2);
        form.find<forms::BitBtn>("OkBtn").click();
    });
    TSpComPort port;
    port.SetAutoOpen(false);
    port.SetOpen(true);
    ASSERT_EQ(script.form_captions().size(), 1u);
    EXPECT_EQ(script.form_captions()[0], "Select Port");
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.ComNumber(), 50);
}

TEST_F(SelectPortTest, CancelOrAnEmptyListMeansNoPort) {
    forms::ScriptedInteraction script;
    script.on_next_form([](forms::Form& form) { form.find<forms::BitBtn>("AbortBtn").click(); });
    TSpComPort port;
    EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
    EXPECT_EQ(port.Dispatcher(), nullptr);
    EXPECT_EQ(port.ComNumber(), 0);

    ptys.clear();  // no port left
    for (int n : {3, 17, 50, 51}) ::setenv(("ZOR_COM" + std::to_string(n)).c_str(), "/dev/pts/zor-none", 1);
    script.on_next_form([](forms::Form& form) { form.find<forms::BitBtn>("OkBtn").click(); });
    EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
    EXPECT_FALSE(port.Open());
}

}  // namespace
}  // namespace serial
