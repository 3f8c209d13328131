// The shell tree and the shell list side by side as a person sees them: the tree rooted at a
// folder of methods and results, the list showing one folder in report view with its columns.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <string>

#include "platform/forms/controls.h"
#include "platform/forms_qt/testing/form_snapshots.h"
#include "shellctl/kw_shell_list.h"
#include "shellctl/kw_shell_tree.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;

class ShellViewsSnapshot : public testing::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        // The list shows modification times in local time: the same zone everywhere.
        const char* tz = std::getenv("TZ");
        saved_tz_ = tz ? tz : "";
        had_tz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
        platform::forms_qt::testing::qt_session();
    }
    void TearDown() override {
        forms::reset_forms_state_for_tests();
        if (had_tz_) setenv("TZ", saved_tz_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
        TempTree::TearDown();
    }
    // A file of `size` bytes last changed at a fixed time.
    void file_of(const std::string& relative, std::size_t size) {
        make_file(relative, std::string(size, 'x'));
        const timespec when[2] = {{1718003400, 0}, {1718003400, 0}};  // 2024-06-10 07:10 UTC
        ASSERT_EQ(::utimensat(AT_FDCWD, at(relative).c_str(), when, 0), 0);
    }
    std::string saved_tz_;
    bool had_tz_ = false;
};

TEST_F(ShellViewsSnapshot, the_tree_and_the_list_of_a_method_folder) {
    make_dir("lab/methods/archive");
    make_dir("lab/results/2024");
    make_dir("lab/templates");
    file_of("lab/methods/gradient.zor", 4096);
    file_of("lab/methods/wash.zor", 1200);
    file_of("lab/methods/notes.txt", 300);

    auto form = forms::make_form<forms::Form>();
    form->Caption = "Methods";
    form->ClientWidth = 560;
    form->ClientHeight = 240;
    auto* tree = form->add<TKwShellTree>("tree");
    tree->SetBounds(0, 0, 180, 240);
    TKwShellLocator base;
    base.SetPath(at("lab"));
    tree->SetBaseFolder(base);
    if (tree->roots().empty()) tree->FillRoot();
    ASSERT_FALSE(tree->roots().empty());
    tree->expand(tree->roots().front().get());

    auto* list = form->add<TKwShellList>("list");
    list->SetBounds(184, 0, 376, 240);
    list->ViewStyle = forms::ViewStyle::report;
    list->Locator().SetPath(at("lab/methods"));
    ASSERT_EQ(list->Items.size(), 4u);
    EXPECT_FORM_SNAPSHOT(*form, "shell_views");
}

}  // namespace
}  // namespace shellctl
