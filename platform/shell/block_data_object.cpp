// Data objects read and made from blocks: what crosses to and from other programs is blocks of
// formats, so a drop from outside is a data object of fixed blocks.
#include <algorithm>
#include <cstring>

#include "platform/shell/ole.h"

namespace platform::shell {
namespace {

using Blocks = std::vector<std::pair<std::uint16_t, GlobalBlock>>;

FORMATETC global_format(std::uint16_t format) {
    FORMATETC f;
    f.cfFormat = format;
    return f;
}

class BlockFormats final : public com::ComObject<IEnumFORMATETC> {
  public:
    BlockFormats(std::vector<std::uint16_t> formats, std::size_t at)
        : formats_(std::move(formats)), at_(at) {}
    HRESULT Next(std::uint32_t count, FORMATETC* out, std::uint32_t* fetched) override {
        std::uint32_t n = 0;
        for (; n < count && at_ < formats_.size(); ++n, ++at_) out[n] = global_format(formats_[at_]);
        if (fetched) *fetched = n;
        return n == count ? com::S_OK : com::S_FALSE;
    }
    HRESULT Skip(std::uint32_t count) override {
        at_ = std::min(formats_.size(), at_ + count);
        return at_ < formats_.size() ? com::S_OK : com::S_FALSE;
    }
    HRESULT Reset() override {
        at_ = 0;
        return com::S_OK;
    }
    HRESULT Clone(IEnumFORMATETC** out) override {
        if (!out) return com::E_POINTER;
        *out = new BlockFormats(formats_, at_);
        return com::S_OK;
    }

  private:
    std::vector<std::uint16_t> formats_;
    std::size_t at_;
};

class BlockDataObject final : public com::ComObject<IDataObject> {
  public:
    explicit BlockDataObject(Blocks blocks) : blocks_(std::move(blocks)) {}
    HRESULT GetData(const FORMATETC& format, STGMEDIUM& out) override {
        const HRESULT hr = QueryGetData(format);
        if (com::failed(hr)) return hr;
        out.tymed = TYMED_HGLOBAL;
        out.hGlobal = std::make_shared<std::vector<std::uint8_t>>(**find(format.cfFormat));
        out.pUnkForRelease = nullptr;
        return com::S_OK;
    }
    HRESULT GetDataHere(const FORMATETC&, STGMEDIUM&) override { return com::E_NOTIMPL; }
    HRESULT QueryGetData(const FORMATETC& format) override {
        if (!find(format.cfFormat)) return DV_E_FORMATETC;
        return (format.tymed & TYMED_HGLOBAL) ? com::S_OK : DV_E_TYMED;
    }
    HRESULT GetCanonicalFormatEtc(const FORMATETC& in, FORMATETC& out) override {
        out = in;
        out.ptd = nullptr;
        return com::make_hresult(0x00040130u);  // DATA_S_SAMEFORMATETC
    }
    HRESULT SetData(const FORMATETC&, STGMEDIUM&, bool) override { return com::E_NOTIMPL; }
    HRESULT EnumFormatEtc(std::uint32_t direction, IEnumFORMATETC** out) override {
        if (!out) return com::E_POINTER;
        *out = nullptr;
        if (direction != DATADIR_GET) return com::E_NOTIMPL;
        std::vector<std::uint16_t> formats;
        for (const auto& [format, block] : blocks_) formats.push_back(format);
        *out = new BlockFormats(std::move(formats), 0);
        return com::S_OK;
    }

  private:
    const GlobalBlock* find(std::uint16_t format) const {
        for (const auto& b : blocks_)
            if (b.first == format && b.second) return &b.second;
        return nullptr;
    }
    Blocks blocks_;
};

}  // namespace

GlobalBlock make_hdrop(const std::vector<std::string>& paths) {
    std::size_t size = 20 + 1;
    for (const std::string& p : paths) size += p.size() + 1;
    GlobalBlock block = global_alloc(size);
    (*block)[0] = 20;  // the file list's offset; point, client flag and wide flag stay 0
    std::size_t at = 20;
    for (const std::string& p : paths) {
        std::memcpy(block->data() + at, p.data(), p.size());
        at += p.size() + 1;
    }
    return block;
}

std::vector<std::uint16_t> formats_of_data_object(IDataObject* data) {
    std::vector<std::uint16_t> formats;
    com::ComPtr<IEnumFORMATETC> all;
    if (!data || com::failed(data->EnumFormatEtc(DATADIR_GET, all.put())) || !all) return formats;
    FORMATETC f;
    std::uint32_t fetched = 0;
    while (all->Next(1, &f, &fetched) == com::S_OK && fetched == 1)
        if ((f.tymed & TYMED_HGLOBAL) &&
            std::find(formats.begin(), formats.end(), f.cfFormat) == formats.end())
            formats.push_back(f.cfFormat);
    return formats;
}

GlobalBlock block_of_data_object(IDataObject* data, std::uint16_t format) {
    if (!data) return {};
    const FORMATETC f = global_format(format);
    STGMEDIUM m;
    if (com::failed(data->GetData(f, m))) return {};
    GlobalBlock block = m.tymed == TYMED_HGLOBAL ? m.hGlobal : GlobalBlock{};
    release_stg_medium(m);
    return block;
}

com::ComPtr<IDataObject> make_block_data_object(Blocks blocks) {
    return com::ComPtr<IDataObject>::adopt(new BlockDataObject(std::move(blocks)));
}

}  // namespace platform::shell
