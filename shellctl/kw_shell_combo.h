// What a shell list asks of a folder combo box that drives it. The combo box itself is not
// part of the controls: these helpers read only its entries (indent level, item list, shell
// data kept in each entry's object), its locator and its pending-selection flag.
#pragma once

#include "platform/forms/list_controls.h"
#include "shellctl/kw_image_combo.h"
#include "shellctl/kw_shell_list.h"
#include "shellctl/kw_shell_locator.h"

namespace shellctl {

class TKwCustomShellTree;

// The shell data of one combo entry: its folder and its parent's, bound on demand, and its
// absolute, relative and parent lists (shell allocator). Going, it releases both folders and
// frees the three lists.
class TKwShComboData {
  public:
    TKwShComboData() = default;
    ~TKwShComboData();
    TKwShComboData(const TKwShComboData&) = delete;
    TKwShComboData& operator=(const TKwShComboData&) = delete;

    FolderPtr Folder;
    FolderPtr ParentFolder;
    PIDL AbsoluteList = nullptr;
    PIDL RelativeList = nullptr;
    PIDL ParentList = nullptr;
};

// The object of one combo entry: its indent level and its shell data.
class TKwShComboItem : public TKwImageComboItem {
  public:
    int Indent = 0;
    TKwShComboData Data;
};

// A folder combo box as the helpers see it.
struct TKwShellCombo {
    platform::forms::ComboBox& Box;
    TKwShellLocator& Locator;
    bool PendingSelection = false;
    TKwCustomShellTree* Tree = nullptr;
    TKwCustomShellList* List = nullptr;
};

// The shell data of entry `index`; none for an entry without it.
TKwShComboData* ShComboItemData(const platform::forms::ComboBox& box, int index);
TKwShellLocator& ShComboLocator(TKwShellCombo& combo);
// Up `levels` levels from the current entry: back to the nearest entry above it whose indent
// is below (current indent - levels + 1); the locator takes that entry's list when it is
// another entry.
void ShComboGoUp(TKwShellCombo& combo, int levels);
// With its pending-selection flag set, the attached tree and list run theirs now (without
// asking the combo back); the flag is cleared.
void ShComboFlushPendingSelection(TKwShellCombo& combo);

// A combo box as a list's driver (TKwCustomShellList::SetComboBox).
class TKwShComboDriver final : public TKwShellListDriver {
  public:
    explicit TKwShComboDriver(TKwShellCombo& combo) : combo_(combo) {}
    TKwShellLocator& DriverLocator() override { return ShComboLocator(combo_); }
    void DriverShow(PCIDL absolute) override { combo_.Locator.SetIdList(absolute); }
    void DriverGoUp(int levels) override { ShComboGoUp(combo_, levels); }
    void DriverCompletePendingRefresh() override { ShComboFlushPendingSelection(combo_); }
    void DriverListGone(TKwCustomShellList* list) override {
        if (combo_.List == list) combo_.List = nullptr;
    }

  private:
    TKwShellCombo& combo_;
};

}  // namespace shellctl
