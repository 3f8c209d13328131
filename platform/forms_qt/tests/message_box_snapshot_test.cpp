// The message boxes as a person sees them: one per dialog type, with the texts the system shows.
#include <gtest/gtest.h>

#include "platform/forms/controls.h"
#include "platform/forms_qt/testing/form_snapshots.h"

namespace platform::forms_qt {
namespace {

using namespace platform::forms;

class MessageBoxSnapshots : public ::testing::Test {
  protected:
    void SetUp() override { testing::qt_session(); }
    void TearDown() override { reset_forms_state_for_tests(); }
};

TEST_F(MessageBoxSnapshots, each_dialog_type_with_its_icon_buttons_and_text) {
    struct Case {
        const char* name;
        MessageBoxRequest request;
    };
    const Case cases[] = {
        {"box_error", {DialogType::error, "", "COM1 is used by another program.", {DialogButton::cancel}}},
        {"box_warning",
         {DialogType::warning,
          "",
          "The instrument reports an error:\nSyringe blocked\n\nRetry the command?",
          {DialogButton::abort, DialogButton::retry, DialogButton::ignore}}},
        {"box_information",
         {DialogType::information, "", "Configuration received from Zor 1.", {DialogButton::ok}}},
        {"box_confirmation",
         {DialogType::confirmation,
          "",
          "Overwrite the method \"gradient.pme\"?",
          {DialogButton::yes, DialogButton::no, DialogButton::cancel}}},
        {"box_custom",
         {DialogType::custom, "Zorrun", "\xB5l values are rounded to 0.1 \xB5l.", {DialogButton::ok}}},
    };
    for (const Case& c : cases) {
        auto box = build_message_form(c.request);
        EXPECT_FORM_SNAPSHOT(*box, c.name);
    }
}

}  // namespace
}  // namespace platform::forms_qt
