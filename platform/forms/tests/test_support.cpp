#include "platform/forms/tests/test_support.h"

namespace platform::forms::testing {

void FormsTest::SetUp() {
    window::reset_thread_state_for_tests();
    reset_forms_state_for_tests();
}

void FormsTest::TearDown() {
    reset_forms_state_for_tests();
    window::reset_thread_state_for_tests();
}

void end_modal_loops_and_quit() {
    for (Form* form : screen().forms()) {
        if (form->modal()) form->modal_result = mr_abort;
    }
    window::post_quit_message(99);
}

TestDialog::TestDialog(std::string window_class, std::string caption) : Form(std::move(window_class)) {
    Caption = std::move(caption);
    value_edit = add<Edit>("value_edit");
    ok_button = add<Button>("ok_button");
    ok_button->Caption = "OK";
    ok_button->modal_result = mr_ok;
    ok_button->Default = true;
    cancel_button = add<Button>("cancel_button");
    cancel_button->Caption = "Cancel";
    cancel_button->modal_result = mr_cancel;
    cancel_button->Cancel = true;
    OnActivate = [this](Component&) { ++activations; };
    OnClose = [this](Component&, CloseAction&) { ++closes; };
}

}  // namespace platform::forms::testing
