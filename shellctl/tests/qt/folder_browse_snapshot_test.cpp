// The folder-browse dialog as a person sees it: the tree of a folder of methods open at the
// folder chosen before, the status line, the icon buttons, OK and Cancel.
#include <gtest/gtest.h>

#include <memory>

#include "platform/forms/interaction.h"
#include "platform/forms_qt/testing/form_snapshots.h"
#include "shellctl/kw_folder_browse_dlg.h"
#include "shellctl/kw_shell_ops.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;

class FolderBrowseSnapshot : public testing::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        platform::forms_qt::testing::qt_session();
        boxes_ = std::make_unique<forms::ScriptedInteraction>();
        saved_sleep_ = SetSleepFunction([](unsigned) {});
    }
    void TearDown() override {
        SetSleepFunction(saved_sleep_);
        boxes_.reset();
        forms::reset_forms_state_for_tests();
        TempTree::TearDown();
    }
    std::unique_ptr<forms::ScriptedInteraction> boxes_;
    SleepFunction saved_sleep_;
};

TEST_F(FolderBrowseSnapshot, the_dialog_open_at_the_folder_chosen_before) {
    make_dir("lab/methods/archive");
    make_dir("lab/methods/gradients");
    make_dir("lab/results");
    TKwFolderBrowseDlg dialog;
    TKwShellLocator base;
    base.SetPath(at("lab"));
    dialog.SetBaseFolder(base);
    dialog.SetSelectedPath(at("lab/methods/gradients"));
    dialog.StatusText = "Choose the method folder";
    bool seen = false;
    boxes_->on_next_form([&](forms::Form& form) {
        seen = true;
        EXPECT_FORM_SNAPSHOT(form, "folder_browse");
        dynamic_cast<TKwFrmFolderBrowseDlg&>(form).CancelBtn->click();
    });
    EXPECT_FALSE(dialog.Execute());
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace shellctl
