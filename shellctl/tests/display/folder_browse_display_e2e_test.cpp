// The folder-browse dialog on a screen (run under xvfb-run): a person moves through the tree
// with the keys, and what the dialog returns is what the person chose.
#include <gtest/gtest.h>

#include <QTreeWidget>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/forms_qt/qt_backend.h"
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
    QPoint below_nodes(QWidget* tree) {
        return tree->mapToGlobal(QPoint(tree->width() / 2, tree->height() - 8));
    }

    std::unique_ptr<testing::ScreenPerson> person;
    TKwShellLocator base;
    TKwFolderBrowseDlg dialog;
    QWidget* window = nullptr;
};

TEST_F(FolderBrowseOnScreen, down_and_right_move_and_expand_and_enter_chooses) {
    dialog.SetSelectedPath(at("lab/alpha"));
    person->on_form = [&](forms::Form& form) {
        QWidget* tree = tree_of(form);
        person->act(
            {testing::click_at(below_nodes(tree)), testing::keys_to(*window, "Down Right Down Return")});
    };
    EXPECT_TRUE(dialog.Execute());
    EXPECT_TRUE(person->acted());
    EXPECT_EQ(dialog.GetSelectedPath(), at("lab/beta/gamma"));
}

// No click first: the keys go to the tree as the dialog opens, the first one too.
TEST_F(FolderBrowseOnScreen, the_first_keys_after_opening_expand_and_move_from_the_selected_folder) {
    const auto chosen_by_keys = [&](const char* start, const char* keys) {
        dialog.SetSelectedPath(at(start));
        person->on_form = [&, keys](forms::Form& form) {
            tree_of(form);
            person->act({testing::keys_to(*window, keys)});
        };
        EXPECT_TRUE(dialog.Execute());
        EXPECT_TRUE(person->acted());
        return dialog.GetSelectedPath();
    };
    EXPECT_EQ(chosen_by_keys("lab/beta", "Right Down Return"), at("lab/beta/gamma"));
    EXPECT_EQ(chosen_by_keys("lab/alpha", "Down Return"), at("lab/beta"));
}

TEST_F(FolderBrowseOnScreen, the_new_folder_button_makes_a_folder_that_is_then_named_by_typing) {
    dialog.SetSelectedPath(at("lab/delta"));
    person->on_form = [&](forms::Form& form) {
        tree_of(form);
        QWidget* button =
            person->backend().widget_of(*dynamic_cast<TKwFrmFolderBrowseDlg&>(form).CreateNewFolderBtn);
        ASSERT_NE(button, nullptr);
        person->act({testing::click_at(button->mapToGlobal(button->rect().center())), "sleep 2.5",
                     "type --delay 40 omega", "key Return", "key Return"});
    };
    EXPECT_TRUE(dialog.Execute());
    EXPECT_TRUE(person->acted());
    EXPECT_TRUE(std::filesystem::is_directory(at("lab/delta/omega")));
    EXPECT_FALSE(std::filesystem::exists(at("lab/delta/New Folder")));
}

// A folder made by another program inside the last of two hundred folders shows in the tree
// while the dialog is open: every filled folder is watched, not only the first few dozen.
TEST_F(FolderBrowseOnScreen, a_folder_made_by_another_program_in_the_last_of_200_folders_can_be_chosen) {
    char name[8];
    for (int i = 0; i < 200; ++i) {
        std::snprintf(name, sizeof name, "d%03d", i);
        make_dir(std::string("lab/") + name);
    }
    dialog.SetSelectedPath(at("lab/d199"));
    person->on_form = [&](forms::Form& form) {
        auto* tree = qobject_cast<QTreeWidget*>(tree_of(form));
        ASSERT_NE(tree, nullptr);
        const auto found = tree->findItems("d199", Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        const QRect r = tree->visualItemRect(found.front());
        const QPoint on_last = tree->viewport()->mapToGlobal(QPoint(r.left() + 10, r.center().y()));
        const std::string made = at("lab/d199/made");
        ASSERT_EQ(std::system(("mkdir '" + made + "'").c_str()), 0);
        // The tree refreshes 0.4 s after the change with the focus, 2 s without.
        person->act({testing::click_at(on_last), "sleep 3", testing::keys_to(*window, "Right Down Return")});
    };
    EXPECT_TRUE(dialog.Execute());
    EXPECT_TRUE(person->acted());
    EXPECT_EQ(dialog.GetSelectedPath(), at("lab/d199/made"));
}

// A right click on a folder shows the shell's context menu on the screen; its rename item
// (chosen by its accelerator) opens the editor, and the typed name is the folder's new name.
TEST_F(FolderBrowseOnScreen, the_right_click_menu_renames_a_folder_by_typing) {
    dialog.SetSelectedPath(at("lab/delta"));
    person->on_form = [&](forms::Form& form) {
        auto* tree = qobject_cast<QTreeWidget*>(tree_of(form));
        ASSERT_NE(tree, nullptr);
        const auto found = tree->findItems("alpha", Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        const QRect r = tree->visualItemRect(found.front());
        const QPoint on_alpha = tree->viewport()->mapToGlobal(QPoint(r.left() + 10, r.center().y()));
        person->act({testing::click_at(on_alpha, 3), "sleep 0.8", "key m", "sleep 0.5",
                     "type --delay 40 omega", "key Return", "sleep 0.5",
                     testing::keys_to(*window, "Escape")});
    };
    EXPECT_FALSE(dialog.Execute());
    EXPECT_TRUE(person->acted());
    EXPECT_TRUE(std::filesystem::is_directory(at("lab/omega")));
    EXPECT_FALSE(std::filesystem::exists(at("lab/alpha")));
}

// The delete button asks first (a box of its own on the screen, answered with Enter), then the
// folder goes to the trash of the private data home.
TEST_F(FolderBrowseOnScreen, the_delete_button_moves_a_folder_to_the_trash_after_the_question) {
    dialog.SetSelectedPath(at("lab/delta"));
    person->on_form = [&](forms::Form& form) {
        tree_of(form);
        QWidget* button =
            person->backend().widget_of(*dynamic_cast<TKwFrmFolderBrowseDlg&>(form).DeleteFolderBtn);
        ASSERT_NE(button, nullptr);
        person->act({testing::click_at(button->mapToGlobal(button->rect().center())), "sleep 1", "key Return",
                     "sleep 1", testing::keys_to(*window, "Escape")});
    };
    EXPECT_FALSE(dialog.Execute());
    EXPECT_TRUE(person->acted());
    EXPECT_FALSE(std::filesystem::exists(at("lab/delta")));
    EXPECT_TRUE(std::filesystem::is_directory(data_home_ + "/Trash/files/delta"));
}

// The window is resized by the window system as a person's drag of its frame would (xdotool
// windowsize): below 366 x 340 it is refused, and a larger size is what the dialog keeps.
TEST_F(FolderBrowseOnScreen,
       resizing_below_the_least_size_is_refused_and_a_larger_size_is_kept_after_cancel) {
    const platform::forms_qt::LayoutScale scale = platform::forms_qt::layout_scale(forms::Font{});
    person->on_form = [&](forms::Form& form) {
        tree_of(form);
        const std::string id = std::to_string(window->winId());
        person->act({"windowsize " + id + " 200 150", "sleep 0.5", "getwindowgeometry --shell " + id,
                     "windowsize " + id + " 700 600", "sleep 0.5", testing::keys_to(*window, "Escape")});
    };
    EXPECT_FALSE(dialog.Execute());
    ASSERT_TRUE(person->acted());
    // The window as it stood after the attempt to make it smaller.
    const std::string& geometry = person->printed().at(2);
    const auto value = [&](const std::string& name) {
        const auto at = geometry.find(name + "=");
        return at == std::string::npos ? -1 : std::atoi(geometry.c_str() + at + name.size() + 1);
    };
    EXPECT_GE(value("WIDTH"),
              scale.map_x(TKwFrmFolderBrowseDlg::MinTrackWidth - TKwFrmFolderBrowseDlg::FrameWidth))
        << geometry;
    EXPECT_GE(value("HEIGHT"),
              scale.map_y(TKwFrmFolderBrowseDlg::MinTrackHeight - TKwFrmFolderBrowseDlg::FrameHeight))
        << geometry;
    EXPECT_NEAR(dialog.FormWidth, std::lround(700 / scale.x) + TKwFrmFolderBrowseDlg::FrameWidth, 2);
    EXPECT_NEAR(dialog.FormHeight, std::lround(600 / scale.y) + TKwFrmFolderBrowseDlg::FrameHeight, 2);
}

}  // namespace
}  // namespace shellctl
