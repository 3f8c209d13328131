// A shell list on a form over a temporary folder tree, with the boxes answered from a script,
// the context menus chosen by caption, and helpers to read what the list shows.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/forms/form.h"
#include "platform/forms/interaction.h"
#include "platform/shell/file_ops.h"
#include "platform/testing/message_loop.h"
#include "platform/window/window.h"
#include "shellctl/kw_shell_list.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl::testing {

class ShellListTest : public TempTree {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A list on the form, showing `folder` (a path below the temporary root, or "" for none).
    TKwShellList* make_list(const std::string& name, const std::string& folder);
    // What the list shows in a column, item by item.
    std::vector<std::string> column(TKwCustomShellList& list, int c = 0);
    int index_of(TKwCustomShellList& list, const std::string& name);
    // Chooses from the next context menu the item whose caption path is `path` (captions
    // without their "&"), e.g. {"Send To", "Backup"}; {} chooses nothing.
    void choose_next(std::vector<std::string> path);
    // The captions of the last menu shown (the top level).
    std::vector<std::string> last_menu;
    // Scripted pointer steps for the drag loop.
    void drag_script(std::deque<platform::shell::DragStep> steps);
    // The paths the desktop's opener was asked to open.
    std::vector<std::string> opened;

    platform::forms::ScriptedInteraction* boxes = nullptr;
    platform::forms::Form* form = nullptr;

  private:
    std::unique_ptr<platform::forms::ScriptedInteraction> boxes_;
    std::unique_ptr<platform::forms::Form> form_;
    std::deque<std::vector<std::string>> choices_;
    platform::shell::Opener saved_opener_;
};

}  // namespace shellctl::testing
