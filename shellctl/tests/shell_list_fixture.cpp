#include "shellctl/tests/shell_list_fixture.h"

#include "platform/shell/ole.h"
#include "shellctl/kw_draw.h"

namespace shellctl::testing {

namespace forms = platform::forms;
namespace shell = platform::shell;

void ShellListTest::SetUp() {
    TempTree::SetUp();
    ResetShellListUnitState();
    boxes_ = std::make_unique<forms::ScriptedInteraction>();
    boxes = boxes_.get();
    form_ = std::make_unique<forms::Form>("TShellListTestForm");
    form = form_.get();
    form->SetBounds(0, 0, 800, 600);
    saved_opener_ = shell::set_opener([this](const std::string& path) {
        opened.push_back(path);
        return platform::com::S_OK;
    });
    SetMenuTracker([this](TKwMenuTracking& t) -> int {
        last_menu.clear();
        for (const auto& item : t.popup.Items) last_menu.push_back(StripAccelerator(item.Caption));
        if (choices_.empty()) return 0;
        const auto path = choices_.front();
        choices_.pop_front();
        std::vector<TKwMenuItem>* items = &t.popup.Items;
        for (std::size_t level = 0; level < path.size(); ++level) {
            TKwMenuItem* found = nullptr;
            for (auto& item : *items)
                if (StripAccelerator(item.Caption) == path[level]) found = &item;
            if (!found) return 0;
            if (t.select && found->Id) t.select(found->Id);
            if (level + 1 == path.size()) return found->Grayed ? 0 : found->Id;
            TKwPopupMenu sub{found->Submenu};
            if (t.init_popup) t.init_popup(sub);
            found->Submenu = sub.Items;
            items = &found->Submenu;
        }
        return 0;
    });
}

void ShellListTest::TearDown() {
    shell::set_drag_input(nullptr);
    SetMenuTracker(nullptr);
    shell::set_opener(saved_opener_);
    shell::shell_clipboard().clear();
    form_.reset();
    boxes_.reset();
    TempTree::TearDown();
}

TKwShellList* ShellListTest::make_list(const std::string& name, const std::string& folder) {
    auto* list = form->add<TKwShellList>(name);
    list->SetBounds(0, 0, 600, 400);
    if (!folder.empty()) list->Locator().SetPath(at(folder));
    // The fill a new list asks for itself (message 1127) comes now, not in the middle of a
    // test's wait (an empty folder would be filled and watched again there).
    platform::window::process_messages();
    return list;
}

std::vector<std::string> ShellListTest::column(TKwCustomShellList& list, int c) {
    std::vector<std::string> out;
    for (int i = 0; i < static_cast<int>(list.Items.size()); ++i) out.push_back(list.ItemText(i, c));
    return out;
}

int ShellListTest::index_of(TKwCustomShellList& list, const std::string& name) {
    for (int i = 0; i < static_cast<int>(list.Items.size()); ++i)
        if (list.ItemText(i, 0) == name) return i;
    return -1;
}

void ShellListTest::choose_next(std::vector<std::string> path) {
    choices_.push_back(std::move(path));
}

void ShellListTest::drag_script(std::deque<shell::DragStep> steps) {
    shell::set_drag_input([steps = std::move(steps)]() mutable -> std::optional<shell::DragStep> {
        if (steps.empty()) return std::nullopt;
        shell::DragStep s = steps.front();
        steps.pop_front();
        return s;
    });
}

}  // namespace shellctl::testing
