#include "shellctl/kw_shell_combo.h"

#include "shellctl/kw_shell_tree.h"

namespace shellctl {

TKwShComboData::~TKwShComboData() {
    Folder.reset();
    ParentFolder.reset();
    ShellFree(AbsoluteList);
    ShellFree(RelativeList);
    ShellFree(ParentList);
}

namespace {
TKwShComboItem* combo_item(const platform::forms::ComboBox& box, int index) {
    if (index < 0 || index >= box.Items.count()) return nullptr;
    return dynamic_cast<TKwShComboItem*>(ImageComboItem(box, index));
}
}  // namespace

TKwShComboData* ShComboItemData(const platform::forms::ComboBox& box, int index) {
    TKwShComboItem* item = combo_item(box, index);
    return item ? &item->Data : nullptr;
}

TKwShellLocator& ShComboLocator(TKwShellCombo& combo) {
    return combo.Locator;
}

void ShComboGoUp(TKwShellCombo& combo, int levels) {
    const int current = combo.Box.ItemIndex;
    const TKwShComboItem* from = combo_item(combo.Box, current);
    if (!from) return;
    const int floor = from->Indent - levels + 1;
    int index = current;
    while (index > 0) {
        const TKwShComboItem* item = combo_item(combo.Box, index);
        if (!item || item->Indent < floor) break;
        --index;
    }
    if (index == current) return;
    if (TKwShComboData* data = ShComboItemData(combo.Box, index)) combo.Locator.SetIdList(data->AbsoluteList);
}

void ShComboFlushPendingSelection(TKwShellCombo& combo) {
    if (!combo.PendingSelection) return;
    combo.PendingSelection = false;
    if (combo.Tree) combo.Tree->FlushPendingSelection(false);
    if (combo.List) combo.List->CompletePendingRefresh(false);
}

}  // namespace shellctl
