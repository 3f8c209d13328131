// The status model and Zorrun's hook bodies: codes, texts, and the broadcasts that go with
// them.
#include <fstream>

#include "core/session_state.h"
#include "core/uilib.h"
#include "driver/zorrun/status_model.h"
#include "driver/zorrun/tests/support/driver_fixture.h"
#include "utilities/log.h"
#include "utilities/session.h"

namespace zorrun_test {
namespace {

using namespace zorrun;

class DriverStatusModel : public DriverTest {
  protected:
    DriverStatusModel() { create_forms = false; }
};

TEST_F(DriverStatusModel, starts_at_code_0_with_the_start_text) {
    EXPECT_EQ(vzor_state().status_code, 0);
    EXPECT_EQ(status_text(), "The Zor is Idle");
}

TEST_F(DriverStatusModel, every_text_change_posts_one_message_to_each_status_window) {
    Receiver top("TZorStatusX");
    Receiver child("tzorstatusx", top.handle);  // a child, class in another case
    Receiver other("TMethod_Editor");
    set_status_idle();
    EXPECT_EQ(vzor_state().status_code, 1);
    EXPECT_EQ(status_text(), "The Zor is idle");
    EXPECT_EQ(top.count(), 1);
    EXPECT_EQ(child.count(), 1);
    EXPECT_EQ(other.count(), 0);
    EXPECT_EQ(top.last_wparam, 1u);
    EXPECT_EQ(top.last_lparam, 0);

    set_status_text("Washing 40%");
    EXPECT_EQ(vzor_state().status_code, 1);
    EXPECT_EQ(status_text(), "Washing 40%");
    EXPECT_EQ(top.count(), 2);
    set_status_text("");
    EXPECT_EQ(status_text(), "The Zor is idle");
    EXPECT_EQ(top.count(), 3);
}

TEST_F(DriverStatusModel, the_named_setters_give_their_codes_and_texts) {
    set_status_waiting_for_start();
    EXPECT_EQ(vzor_state().status_code, 4);
    EXPECT_EQ(status_text(), "Waiting for start");
    set_status_busy();
    EXPECT_EQ(vzor_state().status_code, 9);
    EXPECT_EQ(status_text(), "The Zor is busy");
    set_status(8, "Error in method!");
    EXPECT_EQ(vzor_state().status_code, 8);
    EXPECT_EQ(status_text(), "Error in method!");
}

TEST_F(DriverStatusModel, a_loss_saves_the_code_and_the_reconnection_restores_it) {
    set_status_waiting_for_start();
    uilib::on_disconnected();
    EXPECT_EQ(vzor_state().status_code, 10);
    EXPECT_EQ(status_text(), "The Zor is disconnected");
    EXPECT_EQ(vzor_state().saved_status_code, 4);
    uilib::on_reconnected();
    EXPECT_EQ(vzor_state().status_code, 4);
    EXPECT_EQ(status_text(), "The Zor reconnected");
}

TEST_F(DriverStatusModel, a_status_set_by_a_client_during_a_loss_survives_the_reconnection) {
    set_status_waiting_for_start();
    set_status_disconnected();
    set_status_disconnected();  // twice: the first saved code stays
    EXPECT_EQ(vzor_state().saved_status_code, 4);
    set_status_idle();  // ClearStatus while the link is down
    set_status_reconnected();
    EXPECT_EQ(vzor_state().status_code, 1);
    EXPECT_EQ(status_text(), "The Zor reconnected");
}

TEST_F(DriverStatusModel, the_sync_signal_turns_5_into_6_and_leaves_other_codes) {
    set_status(5, "Waiting for contact closure");
    uilib::on_sync_signal();
    EXPECT_EQ(vzor_state().status_code, 6);
    EXPECT_EQ(status_text(), "Saw sync signal");
    set_status(4, "Waiting for start");
    sync_signal_status();
    EXPECT_EQ(vzor_state().status_code, 4);
    EXPECT_EQ(status_text(), "Saw sync signal");
}

TEST_F(DriverStatusModel, hooks_set_busy_idle_and_waiting_for_start) {
    Receiver status("TZorStatusX");
    set_status(6, "Zor continuing method");
    uilib::on_busy();
    EXPECT_EQ(vzor_state().status_code, 9);
    uilib::on_waiting_for_ds();
    EXPECT_EQ(vzor_state().status_code, 4);
    uilib::on_method_finished();
    EXPECT_EQ(vzor_state().status_code, 1);
    EXPECT_EQ(status_text(), "The Zor is idle");
    const int before = status.count();
    uilib::on_run_started();
    EXPECT_EQ(status.count(), before + 1);
    EXPECT_EQ(vzor_state().status_code, 1);
    uilib::on_status_text("Moving to vial 50%");
    EXPECT_EQ(vzor_state().status_code, 1);
    EXPECT_EQ(status_text(), "Moving to vial 50%");
}

TEST_F(DriverStatusModel, the_bar_code_hook_keeps_the_text_and_ends_a_wait) {
    Receiver wait("TWait_form");
    uilib::on_barcode_text("Tray2-005");
    EXPECT_EQ(vzor_state().barcode_text, "Tray2-005");
    EXPECT_EQ(vzor_state().barcode_reports, 1u);
    EXPECT_EQ(wait.count(), 1);
    EXPECT_EQ(wait.last_wparam, 1u);
}

TEST_F(DriverStatusModel, a_received_configuration_is_told_to_method_editors) {
    Receiver editor("TMethod_Editor");
    Receiver status("TZorStatusX");
    uilib::on_config_received();
    EXPECT_EQ(editor.count(), 1);
    EXPECT_EQ(status.count(), 0);
}

TEST_F(DriverStatusModel, the_silent_hooks_change_nothing) {
    Receiver status("TZorStatusX");
    Receiver wait("TWait_form");
    set_status(6, "Zor continuing method");
    const int before = status.count();
    uilib::on_error_abort();
    uilib::on_baud_fallback();
    uilib::on_reset_done();
    uilib::on_idle_poll();
    uilib::on_timeout_message("Lost Connection to Zor!");
    uilib::on_ds_ready();
    uilib::on_sl_exit();
    uilib::on_firmware_version();
    uilib::on_step_changed();
    uilib::on_injected();
    EXPECT_EQ(vzor_state().status_code, 6);
    EXPECT_EQ(status_text(), "Zor continuing method");
    EXPECT_EQ(status.count(), before);
    EXPECT_EQ(wait.count(), 0);
}

TEST_F(DriverStatusModel, automation_calls_are_logged_only_with_the_debug_page_on) {
    putils::session().log_enabled = true;
    log_automation_call("GetStatus 0");
    EXPECT_FALSE(std::filesystem::exists(putils::log_file_path()));
    core::session_state().debug_page = true;
    log_automation_call("GetStatus 1");
    std::ifstream in(putils::log_file_path());
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_NE(line.find(" : zorrun:GetStatus 1"), std::string::npos) << line;
}

}  // namespace
}  // namespace zorrun_test
