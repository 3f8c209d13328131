// The folder-browse dialog on a screen (run under xvfb-run): a person moves through the tree
// with the keys, and what the dialog returns is what the person chose.
#include <gtest/gtest.h>

#include <QTreeWidget>
#include <filesystem>

#include "shellctl/kw_folder_browse_dlg.h"
#include "shellctl/kw_shell_ops.h"
#include "shellctl/tests/display/screen_person.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;

class FolderBrowseOnScreen : public testing::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        person = std::make_unique<testing::ScreenPerson>();
        if (!person->on_screen()) GTEST_SKIP() << "no display (this test runs under xvfb-run)";
        make_dir("lab/alpha");
        make_dir("lab/beta/gamma");
        make_dir("lab/delta");
        base.SetPath(at("lab"));
        dialog.SetBaseFolder(base);
        dialog.Title = "Choose Folder";
    }
    void TearDown() override {
        person.reset();
        forms::reset_forms_state_for_tests();
        TempTree::TearDown();
    }
    // The dialog's tree widget once the dialog shows, and a point on it below its nodes (a
    // click there focuses the tree and selects nothing).
    QWidget* tree_of(forms::Form& form) {
        auto& dlg = dynamic_cast<TKwFrmFolderBrowseDlg&>(form);
        window = person->shown(form);
        return person->backend().widget_of(*dlg.KwShellTree1);
    }
    QPoint below_nodes(QWidget* tree) { return tree->mapToGlobal(QPoint(tree->width() / 2, tree->height() - 8)); }

    std::unique_ptr<testing::ScreenPerson> person;
    TKwShellLocator base;
    TKwFolderBrowseDlg dialog;
    QWidget* window = nullptr;
};

TEST_F(FolderBrowseOnScreen, down_and_right_move_and_expand_and_enter_chooses) {
    dialog.SetSelectedPath(at("lab/alpha"));
    person->on_form = [&](forms::Form& form) {
        QWidget* tree = tree_of(form);
        person->act({testing::click_at(below_nodes(tree)), testing::keys_to(*window, "Down Right Down Return")});
    };
    EXPECT_TRUE(dialog.Execute());
    EXPECT_TRUE(person->acted());
    EXPECT_EQ(dialog.GetSelectedPath(), at("lab/beta/gamma"));
}

TEST_F(FolderBrowseOnScreen, the_new_folder_button_makes_a_folder_that_is_then_named_by_typing) {
    dialog.SetSelectedPath(at("lab/delta"));
    person->on_form = [&](forms::Form& form) {
        tree_of(form);
        QWidget* button = person->backend().widget_of(*dynamic_cast<TKwFrmFolderBrowseDlg&>(form).CreateNewFolderBtn);
        ASSERT_NE(button, nullptr);
        person->act({testing::click_at(button->mapToGlobal(button->rect().center())), "sleep 2.5",
                     "type --delay 40 omega", "key Return", "key Return"});
    };
    EXPECT_TRUE(dialog.Execute());
    EXPECT_TRUE(person->acted());
    EXPECT_TRUE(std::filesystem::is_directory(at("lab/delta/omega")));
    EXPECT_FALSE(std::filesystem::exists(at("lab/delta/New Folder")));
}

}  // namespace
}  // namespace shellctl
