// The "Select Port" dialog as a person sees it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/forms/controls.h"
#include "platform/forms_qt/testing/form_snapshots.h"
#include "platform/window/window.h"
#include "serial/select_port.h"

namespace serial {
namespace {

namespace forms = platform::forms;

TEST(SelectPortSnapshot, the_dialog_with_the_ports_that_exist) {
    // No device behind any number: the list is filled below as the probe would for COM3 and COM17.
    for (int n = 1; n <= kHighestListedPort; ++n)
        ::setenv(("ZOR_COM" + std::to_string(n)).c_str(), "/dev/pts/zor-no-such-device", 1);
    platform::forms_qt::testing::qt_session();
    {
        auto form = forms::make_form<TComSelectForm>();
        form->PortsComboBox->Items.add("COM3");
        form->PortsComboBox->Items.add("COM17");
        form->PortsComboBox->ItemIndex = 0;
        EXPECT_FORM_SNAPSHOT(*form, "select_port");
    }
    for (int n = 1; n <= kHighestListedPort; ++n) ::unsetenv(("ZOR_COM" + std::to_string(n)).c_str());
    forms::reset_forms_state_for_tests();
    platform::window::reset_thread_state_for_tests();
}

}  // namespace
}  // namespace serial
