// The helpers a shell list uses on a folder combo box: entries' objects, going up, flushing.
#include <memory>

#include "platform/forms/list_controls.h"
#include "shellctl/kw_shell_combo.h"
#include "shellctl/tests/shell_list_fixture.h"

namespace shellctl {
namespace {

namespace com = platform::com;
namespace forms = platform::forms;
using testing::ShellListTest;

class OtherObject final : public TKwObject {};

struct ShellCombo : ShellListTest {
    forms::ComboBox box;
    TKwShellLocator locator;
    std::vector<std::unique_ptr<TKwObject>> objects;

    // An entry for a folder below the temporary root ("" for the root itself), at an indent.
    void add_entry(const std::string& folder, int indent) {
        auto item = std::make_unique<TKwShComboItem>();
        item->Indent = indent;
        EXPECT_EQ(PathToIdList(folder.empty() ? root_ : at(folder), item->Data.AbsoluteList), com::S_OK);
        box.Items.add(folder, reinterpret_cast<std::intptr_t>(static_cast<TKwObject*>(item.get())));
        objects.push_back(std::move(item));
    }
};

TEST_F(ShellCombo, EntriesKeepTheirShellDataInImageComboItems) {
    make_dir("a");
    add_entry("a", 0);
    box.Items.add("plain");
    OtherObject other;
    box.Items.add("other", reinterpret_cast<std::intptr_t>(static_cast<TKwObject*>(&other)));
    ASSERT_NE(ImageComboItem(box, 0), nullptr);
    EXPECT_EQ(ShComboItemData(box, 0)->AbsoluteList,
              static_cast<TKwShComboItem*>(objects[0].get())->Data.AbsoluteList);
    EXPECT_EQ(ImageComboItem(box, 1), nullptr);
    EXPECT_EQ(ShComboItemData(box, 1), nullptr);
    EXPECT_THROW(ImageComboItem(box, 2), EInvalidCast);
    // Its teardown lets go of the folders it held.
    auto data = std::make_unique<TKwShComboData>();
    ASSERT_EQ(GetShellFolder(static_cast<TKwShComboItem*>(objects[0].get())->Data.AbsoluteList, data->Folder),
              com::S_OK);
    const std::weak_ptr<platform::shell::Folder> held = data->Folder;
    data->AbsoluteList =
        CopyIdList(nullptr, static_cast<TKwShComboItem*>(objects[0].get())->Data.AbsoluteList);
    data.reset();
    EXPECT_TRUE(held.expired());
}

TEST_F(ShellCombo, AListGoesUpThroughTheComboAndFlushesIt) {
    make_dir("a/b/c");
    add_entry("", 0);
    add_entry("a", 1);
    add_entry("a/b", 2);
    add_entry("a/b/c", 3);
    TKwShellCombo combo{box, locator};
    box.ItemIndex = 3;
    ShComboGoUp(combo, 2);
    EXPECT_EQ(locator.Path(), at("a"));
    ShComboGoUp(combo, 1);
    EXPECT_EQ(locator.Path(), at("a/b"));
    box.ItemIndex = 0;
    locator.Clear();
    ShComboGoUp(combo, 1);  // nothing above the first entry
    EXPECT_EQ(locator.IdList(), nullptr);

    // A list driven by the combo goes up through it.
    auto* list = make_list("list", "a/b/c");
    TKwShComboDriver driver(combo);
    list->SetComboBox(&driver);
    combo.List = list;
    box.ItemIndex = 3;
    list->ListGoUp(1);
    EXPECT_EQ(locator.Path(), at("a/b"));
    EXPECT_EQ(&ShComboLocator(combo), &locator);
    combo.PendingSelection = true;
    driver.DriverCompletePendingRefresh();
    EXPECT_FALSE(combo.PendingSelection);
    list->SetComboBox(nullptr);
}

}  // namespace
}  // namespace shellctl
