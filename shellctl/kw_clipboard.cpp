#include "shellctl/kw_clipboard.h"

#include <algorithm>
#include <cstring>

namespace shellctl {

namespace shell = platform::shell;
namespace com = platform::com;

namespace {

void put_u32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t get_u32(const std::vector<std::uint8_t>& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(b[at + static_cast<std::size_t>(i)]) << (8 * i);
    return v;
}

}  // namespace

std::uint16_t CF_IDLIST() {
    static const std::uint16_t number = shell::register_clipboard_format("Shell IDList Array");
    return number;
}

void TKwFormatEtcList::AddFormats(const std::vector<std::uint16_t>& formats) {
    for (const std::uint16_t f : formats) {
        auto* r = new FORMATETC;
        r->cfFormat = f;
        r->ptd = nullptr;
        r->dwAspect = shell::DVASPECT_CONTENT;
        r->lindex = -1;
        r->tymed = shell::TYMED_HGLOBAL;
        records_.push_back(r);
    }
}

void TKwFormatEtcList::Clear() {
    for (FORMATETC* r : records_) delete r;
    records_.clear();
}

HRESULT TKwFormatEtcList::QueryFormat(const FORMATETC& format) const {
    if (format.dwAspect != shell::DVASPECT_CONTENT) return shell::DV_E_FORMATETC;
    bool format_found = false;
    for (const FORMATETC* r : records_) {
        if (r->cfFormat != format.cfFormat) continue;
        if (r->tymed & format.tymed) return com::S_OK;
        format_found = true;
    }
    return format_found ? shell::DV_E_TYMED : shell::DV_E_FORMATETC;
}

TKwFormatEtcList_IEnumFormatEtc::TKwFormatEtcList_IEnumFormatEtc(const TKwFormatEtcList& list,
                                                                 com::IUnknown* owner, int position)
    : list_(list), owner_(owner), position_(position) {
    if (owner_) owner_->AddRef();
}

TKwFormatEtcList_IEnumFormatEtc::~TKwFormatEtcList_IEnumFormatEtc() {
    if (owner_) owner_->Release();
}

HRESULT TKwFormatEtcList_IEnumFormatEtc::Next(std::uint32_t count, FORMATETC* out, std::uint32_t* fetched) {
    std::uint32_t copied = 0;
    while (copied < count && position_ < list_.Count()) {
        if (out) out[copied] = list_.Items(position_);
        ++copied;
        ++position_;
    }
    if (fetched) *fetched = copied;
    return copied == count ? com::S_OK : com::S_FALSE;
}

HRESULT TKwFormatEtcList_IEnumFormatEtc::Skip(std::uint32_t count) {
    const auto left = static_cast<std::uint32_t>(list_.Count() - position_);
    if (left < count) {
        position_ = list_.Count();
        return com::S_FALSE;
    }
    position_ += static_cast<int>(count);
    return com::S_OK;
}

HRESULT TKwFormatEtcList_IEnumFormatEtc::Reset() {
    position_ = 0;
    return com::S_OK;
}

HRESULT TKwFormatEtcList_IEnumFormatEtc::Clone(shell::IEnumFORMATETC** out) {
    if (!out) return com::E_POINTER;
    auto* copy = new TKwFormatEtcList_IEnumFormatEtc(list_, owner_, position_);
    copy->AddRef();
    *out = copy;
    return com::S_OK;
}

TKwFormatEtcList_IEnumFormatEtc* NewFormatEtcEnumerator(const TKwFormatEtcList& list, com::IUnknown* owner) {
    return new TKwFormatEtcList_IEnumFormatEtc(list, owner, 0);
}

HRESULT BuildHDropBlock(const std::vector<std::string>& paths, GlobalBlock& out) {
    out.reset();
    std::size_t size = 20 + 1;
    for (const auto& p : paths) size += p.size() + 1;
    GlobalBlock block = shell::global_alloc(size);
    if (!block) return com::E_OUTOFMEMORY;
    auto& b = *block;
    put_u32(b, 0, 20);
    std::size_t at = 20;
    for (const auto& p : paths) {
        std::memcpy(b.data() + at, p.data(), p.size());
        at += p.size() + 1;
    }
    out = std::move(block);
    return com::S_OK;
}

HRESULT BuildIdListArrayBlock(const std::uint8_t* parent, const std::vector<const std::uint8_t*>& children,
                              GlobalBlock& out) {
    out.reset();
    static const std::uint8_t empty[2] = {0, 0};
    const std::uint8_t* p = parent ? parent : empty;
    const std::size_t n = children.size();
    std::size_t size = 8 + 4 * n + shell::id_list_size(p);
    for (const auto* c : children) size += shell::id_list_size(c);
    GlobalBlock block = shell::global_alloc(size);
    if (!block) return com::E_OUTOFMEMORY;
    auto& b = *block;
    put_u32(b, 0, static_cast<std::uint32_t>(n));
    std::size_t at = 8 + 4 * n;
    auto place = [&](std::size_t slot, const std::uint8_t* list) {
        put_u32(b, 4 + 4 * slot, static_cast<std::uint32_t>(at));
        const std::size_t s = shell::id_list_size(list);
        std::memcpy(b.data() + at, list, s);
        at += s;
    };
    place(0, p);
    for (std::size_t i = 0; i < n; ++i) place(i + 1, children[i]);
    out = std::move(block);
    return com::S_OK;
}

bool ReadIdListArrayBlock(const GlobalBlock& block, std::vector<std::uint8_t>& parent,
                          std::vector<std::vector<std::uint8_t>>& children) {
    parent.clear();
    children.clear();
    if (!block || block->size() < 8) return false;
    const auto& b = *block;
    const std::uint32_t n = get_u32(b, 0);
    if (n > (b.size() - 8) / 4) return false;
    auto list_at = [&](std::size_t slot, std::vector<std::uint8_t>& out) {
        const std::uint32_t offset = get_u32(b, 4 + 4 * slot);
        if (offset >= b.size() || !shell::is_valid_id_list(b.data() + offset, b.size() - offset))
            return false;
        out.assign(b.data() + offset, b.data() + offset + shell::id_list_size(b.data() + offset));
        return true;
    };
    if (!list_at(0, parent)) return false;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::vector<std::uint8_t> child;
        if (!list_at(i + 1, child)) {
            children.clear();
            return false;
        }
        children.push_back(std::move(child));
    }
    return true;
}

GlobalBlock CopyGlobalBlock(const GlobalBlock& block) {
    if (!block) return {};
    return std::make_shared<std::vector<std::uint8_t>>(*block);
}

void TKwShellItemsDataObject::Offer(const std::uint8_t* folder, const std::vector<const std::uint8_t*>& items,
                                    const std::vector<std::string>& paths) {
    if (items.empty()) return;
    BuildIdListArrayBlock(folder, items, id_list_block_);
    if (std::none_of(paths.begin(), paths.end(), [](const std::string& p) { return p.empty(); }))
        BuildHDropBlock(paths, hdrop_block_);
    std::vector<std::uint16_t> formats;
    if (id_list_block_) formats.push_back(CF_IDLIST());
    if (hdrop_block_) formats.push_back(shell::CF_HDROP);
    formats_.AddFormats(formats);
}

HRESULT TKwShellItemsDataObject::GetData(const FORMATETC& format, shell::STGMEDIUM& out) {
    const HRESULT hr = QueryGetData(format);
    if (com::failed(hr)) return hr;
    out.tymed = shell::TYMED_HGLOBAL;
    out.pUnkForRelease = nullptr;
    const GlobalBlock* block = nullptr;
    if (format.cfFormat == CF_IDLIST())
        block = &id_list_block_;
    else if (format.cfFormat == shell::CF_HDROP)
        block = &hdrop_block_;
    else
        return shell::DV_E_FORMATETC;
    out.hGlobal = CopyGlobalBlock(*block);
    return out.hGlobal ? com::S_OK : com::E_OUTOFMEMORY;
}

HRESULT TKwShellItemsDataObject::GetDataHere(const FORMATETC&, shell::STGMEDIUM&) {
    return com::E_NOTIMPL;
}

HRESULT TKwShellItemsDataObject::QueryGetData(const FORMATETC& format) {
    return formats_.QueryFormat(format);
}

HRESULT TKwShellItemsDataObject::GetCanonicalFormatEtc(const FORMATETC&, FORMATETC& out) {
    out.ptd = nullptr;
    return com::E_NOTIMPL;
}

HRESULT TKwShellItemsDataObject::SetData(const FORMATETC&, shell::STGMEDIUM&, bool) {
    return com::E_NOTIMPL;
}

HRESULT TKwShellItemsDataObject::DAdvise(const FORMATETC&, std::uint32_t, com::IUnknown*,
                                         std::uint32_t* connection) {
    if (connection) *connection = 0;
    return shell::OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TKwShellItemsDataObject::DUnadvise(std::uint32_t) {
    return shell::OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TKwShellItemsDataObject::EnumDAdvise(com::IUnknown** out) {
    if (out) *out = nullptr;
    return shell::OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TKwShellItemsDataObject::EnumFormatEtc(std::uint32_t direction, shell::IEnumFORMATETC** out) {
    if (!out) return com::E_POINTER;
    *out = nullptr;
    if (direction != shell::DATADIR_GET) return com::E_NOTIMPL;
    auto* e = NewFormatEtcEnumerator(formats_, this);
    e->AddRef();
    *out = e;
    return com::S_OK;
}

TDropSource_shlvtv::TDropSource_shlvtv(int button)
    : button_(button == 1 ? shell::MK_RBUTTON : (button == 2 ? shell::MK_MBUTTON : shell::MK_LBUTTON)) {}

HRESULT TDropSource_shlvtv::QueryContinueDrag(bool escape_pressed, std::uint32_t key_state) {
    constexpr std::uint32_t buttons = shell::MK_LBUTTON | shell::MK_RBUTTON | shell::MK_MBUTTON;  // 0x13
    if (escape_pressed || (key_state & (button_ ^ buttons))) return shell::DRAGDROP_S_CANCEL;
    if (key_state & button_) return com::S_OK;
    return shell::DRAGDROP_S_DROP;
}

HRESULT TDropSource_shlvtv::GiveFeedback(std::uint32_t) {
    return shell::DRAGDROP_S_USEDEFAULTCURSORS;
}

}  // namespace shellctl
