#include "shellctl/kw_shell_list_ole.h"

namespace shellctl {

namespace shell = platform::shell;
namespace com = platform::com;

// ---- TDataObject_shlv -------------------------------------------------------------------------------

TDataObject_shlv::TDataObject_shlv(TKwCustomShellList& list) {
    std::vector<PCIDL> relatives;
    std::vector<std::string> paths;
    bool all_paths = true;
    for (int index : list.SelectedIndexes()) {
        TKwShListData* data = list.ItemData(index);
        if (!data) continue;
        relatives.push_back(data->RelativeIdList());
        // The parsing name of an item without a path is no file name: a receiver of CF_HDROP
        // would take it for one, so such a selection offers no CF_HDROP at all.
        const std::string path = data->Path();
        if (path.empty()) all_paths = false;
        paths.push_back(path);
    }
    if (relatives.empty()) return;
    BuildIdListArrayBlock(list.FolderIdList(), relatives, idlist_);
    if (all_paths) BuildHDropBlock(paths, hdrop_);
    std::vector<std::uint16_t> formats;
    if (idlist_) formats.push_back(CF_IDLIST());
    if (hdrop_) formats.push_back(shell::CF_HDROP);
    formats_.AddFormats(formats);
}

HRESULT TDataObject_shlv::GetData(const FORMATETC& format, shell::STGMEDIUM& out) {
    const HRESULT hr = QueryGetData(format);
    if (com::failed(hr)) return hr;
    out.tymed = shell::TYMED_HGLOBAL;
    out.pUnkForRelease = nullptr;
    const GlobalBlock* block = nullptr;
    if (format.cfFormat == CF_IDLIST()) block = &idlist_;
    else if (format.cfFormat == shell::CF_HDROP) block = &hdrop_;
    else return shell::DV_E_FORMATETC;
    out.hGlobal = CopyGlobalBlock(*block);
    return out.hGlobal ? com::S_OK : com::E_OUTOFMEMORY;
}

HRESULT TDataObject_shlv::GetDataHere(const FORMATETC&, shell::STGMEDIUM&) { return com::E_NOTIMPL; }

HRESULT TDataObject_shlv::QueryGetData(const FORMATETC& format) { return formats_.QueryFormat(format); }

HRESULT TDataObject_shlv::GetCanonicalFormatEtc(const FORMATETC&, FORMATETC& out) {
    out.ptd = nullptr;
    return com::E_NOTIMPL;
}

HRESULT TDataObject_shlv::SetData(const FORMATETC&, shell::STGMEDIUM&, bool) { return com::E_NOTIMPL; }

HRESULT TDataObject_shlv::EnumFormatEtc(std::uint32_t direction, shell::IEnumFORMATETC** out) {
    if (!out) return com::E_POINTER;
    *out = nullptr;
    if (direction != shell::DATADIR_GET) return com::E_NOTIMPL;
    auto* e = NewFormatEtcEnumerator(formats_, this);
    e->AddRef();
    *out = e;
    return com::S_OK;
}

// ---- TDropTarget_shlv -------------------------------------------------------------------------------

HRESULT TDropTarget_shlv::DragEnter(shell::IDataObject* data, std::uint32_t key_state, shell::POINTL pt,
                                    std::uint32_t* effect) {
    return list_.DoDragEnter(data, key_state, effect, pt);
}

HRESULT TDropTarget_shlv::DragOver(std::uint32_t key_state, shell::POINTL pt, std::uint32_t* effect) {
    return list_.DoDragOver(key_state, effect, pt);
}

HRESULT TDropTarget_shlv::DragLeave() { return list_.DoDragLeave(); }

HRESULT TDropTarget_shlv::Drop(shell::IDataObject* data, std::uint32_t key_state, shell::POINTL pt,
                               std::uint32_t* effect) {
    return list_.DoDrop(data, key_state, effect, pt);
}

}  // namespace shellctl
