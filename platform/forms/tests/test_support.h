// Shared fixture and hang guard of the forms tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/forms/controls.h"
#include "platform/testing/message_loop.h"
#include "platform/window/window.h"

namespace platform::forms::testing {

// Fresh window and forms state around every test.
class FormsTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// Ends every modal form with mr_abort and posts WM_QUIT, so each nested loop ends.
void end_modal_loops_and_quit();

// A one-shot guard: if it fires, the loop under test has hung. It fails the test and ends the
// loops, so the test returns.
class Reaper : public zor_testing::Reaper {
  public:
    explicit Reaper(unsigned milliseconds = 10000)
        : zor_testing::Reaper(milliseconds, end_modal_loops_and_quit) {}
};

// A dialog used by several tests: an edit, OK (mr_ok) and Cancel (mr_cancel) buttons.
class TestDialog : public Form {
  public:
    explicit TestDialog(std::string window_class = "Ttest_dialog", std::string caption = "Test dialog");
    Edit* value_edit;
    Button* ok_button;
    Button* cancel_button;
    int activations = 0;
    int closes = 0;
};

}  // namespace platform::forms::testing
