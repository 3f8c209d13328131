// The shell list's OLE objects: the data object that carries the list's selection (to a drag,
// to a Send To target, to any receiver) and the drop target that hands drops to the list.
//
// Both are reference counted, start at a count of 0 and free themselves when Release brings
// the count back to 0. Main thread only.
#pragma once

#include <vector>

#include "shellctl/kw_clipboard.h"
#include "shellctl/kw_shell_list.h"

namespace shellctl {

class TDataObject_shlv final : public TKwShellItemsDataObject {
  public:
    // Carries every selected item that has item data, in selection order.
    explicit TDataObject_shlv(TKwCustomShellList& list);
};

class TDropTarget_shlv final : public TKwUnknown<platform::shell::IDropTarget> {
  public:
    explicit TDropTarget_shlv(TKwCustomShellList& list) : list_(list) {}
    HRESULT DragEnter(platform::shell::IDataObject* data, std::uint32_t key_state, platform::shell::POINTL pt,
                      std::uint32_t* effect) override;
    HRESULT DragOver(std::uint32_t key_state, platform::shell::POINTL pt, std::uint32_t* effect) override;
    HRESULT DragLeave() override;
    HRESULT Drop(platform::shell::IDataObject* data, std::uint32_t key_state, platform::shell::POINTL pt,
                 std::uint32_t* effect) override;

  private:
    TKwCustomShellList& list_;
};

}  // namespace shellctl
