// Zorrun's forms as a person sees them, each filled as the program fills it before showing it.
#include <gtest/gtest.h>

#include "core/session_state.h"
#include "core/zor_lib_form.h"
#include "driver/zorrun/driver_forms.h"
#include "driver/zorrun/run_preparation.h"
#include "driver/zorrun/tests/support/driver_fixture.h"
#include "platform/forms/controls.h"
#include "platform/forms_qt/testing/form_snapshots.h"

namespace zorrun_test {
namespace {

using namespace zorrun;
namespace forms = platform::forms;

class ZorrunSnapshots : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        platform::forms_qt::testing::qt_session();
    }
};

TEST_F(ZorrunSnapshots, the_syringe_mismatch_dialog) {
    run_preparation_state().method_file_name = "gradient_long_name.raw";
    run_preparation_state().method_syringe = "100ul";
    core::mounted_syringe() = "10ul";
    Tnew_syr& form = *dialog_state().new_syr;
    form.Show();  // OnActivate writes the caption and the text
    EXPECT_FORM_SNAPSHOT(form, "new_syr");
    form.Hide();
}

TEST_F(ZorrunSnapshots, the_parameter_out_of_range_dialog) {
    OutOfRangeValues& v = dialog_state().out_of_range;
    v.parameter_name = "Injection volume";
    v.unit = "\xB5l";
    v.value = 250;
    v.minimum = 0.5;
    v.maximum = 100;
    v.result = 100;
    Tsyringe_change& form = *dialog_state().syringe_change;
    form.Show();
    EXPECT_FORM_SNAPSHOT(form, "syringe_change");
    form.Hide();
}

TEST_F(ZorrunSnapshots, the_configuration_progress_form_half_way) {
    core::ConfigProgressHooks& hooks = core::session_state().config_progress;
    hooks.begin(520);
    hooks.progress(260);
    EXPECT_FORM_SNAPSHOT(*dialog_state().load_config_form, "load_config_form");
    hooks.end();
}

TEST_F(ZorrunSnapshots, the_wait_and_error_forms) {
    EXPECT_FORM_SNAPSHOT(*dialog_state().wait_form, "wait_form");
    Terror_form& error = *dialog_state().error_form;
    error.Show();
    EXPECT_FORM_SNAPSHOT(error, "error_form");
    error.Hide();
}

TEST_F(ZorrunSnapshots, the_debug_page_with_its_lists) {
    auto form = forms::make_form<core::Tzor_lib>();
    form->FormActivate(*form);
    form->return_box->Items.add("GET_STAT 1 0 0");
    for (const char* line : {"> GET_SYR", "< 10ul", "> MOVE_TO_VIAL(Tray2,5,10000,)", "< OK"})
        form->debug_box->Items.add(line);
    for (const char* line :
         {"WASH(Wash1,1,)", "MOVE_TO_VIAL(Tray2,5,10000,)", "WASH(Wash2,2,)", "WAIT_FOR_DS"})
        form->cmd_list->Items.add(line);
    form->cmd_list->ItemIndex = 1;
    EXPECT_FORM_SNAPSHOT(*form, "debug_page");
}

}  // namespace
}  // namespace zorrun_test
