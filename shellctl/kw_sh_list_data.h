// TKwShListData: what one item of the shell list knows of its shell item: the item-ID list
// relative to the list's folder, the absolute list, attributes, the display name and the
// detail texts of the standard columns (size, type, modified). Names and texts are computed
// when first asked for and cached, so a folder of many entries fills quickly.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "shellctl/kw_shell_utils.h"

namespace shellctl {

class TKwCustomShellList;

class TKwShListData {
  public:
    // Takes ownership of `relative` (a shell-allocator block).
    TKwShListData(TKwCustomShellList* list, PIDL relative);
    ~TKwShListData();
    TKwShListData(const TKwShListData&) = delete;
    TKwShListData& operator=(const TKwShListData&) = delete;

    TKwCustomShellList* List() const { return list_; }
    PCIDL RelativeIdList() const { return relative_; }
    // The list's folder list joined with the relative list (cached).
    PCIDL AbsoluteIdList();

    // Asked of the list's folder with the mask 0x700F0037 (without SFGAO_READONLY on a
    // removable drive). An item the folder cannot read has no attributes at all: it never
    // passes for a renamable folder.
    std::uint32_t Attributes();
    bool IsFolder() { return (Attributes() & platform::shell::SFGAO_FOLDER) != 0; }
    bool CanRename() { return (Attributes() & platform::shell::SFGAO_CANRENAME) != 0; }
    // A symbolic link, or a desktop link file to a file URL.
    bool IsShortcut();
    const std::string& DisplayName();
    // The file-system path ("" for an item without one).
    std::string Path();
    // Column 1 size, 2 type, 3 modified (from the folder's details provider when it has one);
    // column 0 and others "".
    std::string DetailText(int column);

    // After a rename: takes ownership of `relative` and forgets what was cached.
    void SetRelative(PIDL relative);
    void Reset();

  private:
    TKwCustomShellList* list_;
    PIDL relative_ = nullptr;
    PIDL absolute_ = nullptr;
    std::string display_name_;
    bool details_computed_ = false;
    std::string details_[3];
};

}  // namespace shellctl
