#include "shellctl/kw_shell_list_ole.h"

namespace shellctl {

namespace shell = platform::shell;
namespace com = platform::com;

// ---- TDataObject_shlv -------------------------------------------------------------------------------

TDataObject_shlv::TDataObject_shlv(TKwCustomShellList& list) {
    std::vector<PCIDL> relatives;
    std::vector<std::string> paths;
    for (int index : list.SelectedIndexes()) {
        TKwShListData* data = list.ItemData(index);
        if (!data) continue;
        relatives.push_back(data->RelativeIdList());
        paths.push_back(data->Path());
    }
    Offer(list.FolderIdList(), relatives, paths);
}

// ---- TDropTarget_shlv -------------------------------------------------------------------------------

HRESULT TDropTarget_shlv::DragEnter(shell::IDataObject* data, std::uint32_t key_state, shell::POINTL pt,
                                    std::uint32_t* effect) {
    return list_.DoDragEnter(data, key_state, effect, pt);
}

HRESULT TDropTarget_shlv::DragOver(std::uint32_t key_state, shell::POINTL pt, std::uint32_t* effect) {
    return list_.DoDragOver(key_state, effect, pt);
}

HRESULT TDropTarget_shlv::DragLeave() {
    return list_.DoDragLeave();
}

HRESULT TDropTarget_shlv::Drop(shell::IDataObject* data, std::uint32_t key_state, shell::POINTL pt,
                               std::uint32_t* effect) {
    return list_.DoDrop(data, key_state, effect, pt);
}

}  // namespace shellctl
