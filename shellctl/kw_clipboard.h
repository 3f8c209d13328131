// Clipboard formats and the drop source: the list of offered formats with its enumerator, the
// two memory blocks that carry a shell selection (CF_HDROP and "Shell IDList Array"), a block
// copier, and the drop source both controls hand to the drag loop.
//
// The objects here are reference counted, start at a count of 0 and free themselves when
// Release brings the count back to 0. Main thread only.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/shell/ole.h"
#include "platform/shell/shell.h"

namespace shellctl {

using platform::com::HRESULT;
using platform::shell::FORMATETC;
using platform::shell::GlobalBlock;

// The number of "Shell IDList Array", registered on first use.
std::uint16_t CF_IDLIST();

// A reference-counted object with one interface besides IUnknown, created with count 0.
template <class Interface>
class TKwUnknown : public Interface {
  public:
    HRESULT QueryInterface(const platform::com::IID& iid, void** out) override {
        if (!out) return platform::com::E_POINTER;
        if (iid == platform::com::IUnknown::iid || iid == Interface::iid) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return platform::com::S_OK;
        }
        *out = nullptr;
        return platform::com::E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++count_; }
    std::uint32_t Release() override {
        const std::uint32_t left = --count_;
        if (left == 0) delete this;
        return left;
    }
    std::uint32_t ref_count() const { return count_; }

  protected:
    virtual ~TKwUnknown() = default;

  private:
    std::atomic<std::uint32_t> count_{0};
};

class TKwFormatEtcList {
  public:
    TKwFormatEtcList() = default;
    ~TKwFormatEtcList() { Clear(); }
    TKwFormatEtcList(const TKwFormatEtcList&) = delete;
    TKwFormatEtcList& operator=(const TKwFormatEtcList&) = delete;

    // One record per format: no target device, content aspect, index -1, global memory.
    void AddFormats(const std::vector<std::uint16_t>& formats);
    int Count() const { return static_cast<int>(records_.size()); }
    const FORMATETC& Items(int index) const { return *records_.at(static_cast<std::size_t>(index)); }
    void Clear();
    HRESULT QueryFormat(const FORMATETC& format) const;

  private:
    std::vector<FORMATETC*> records_;
};

// The enumerator over a format list. It holds a reference on `owner` (the data object that
// owns the list) for as long as it lives, so the list cannot go away under it.
class TKwFormatEtcList_IEnumFormatEtc final : public TKwUnknown<platform::shell::IEnumFORMATETC> {
  public:
    TKwFormatEtcList_IEnumFormatEtc(const TKwFormatEtcList& list, platform::com::IUnknown* owner,
                                    int position = 0);
    HRESULT Next(std::uint32_t count, FORMATETC* out, std::uint32_t* fetched) override;
    HRESULT Skip(std::uint32_t count) override;
    HRESULT Reset() override;
    HRESULT Clone(platform::shell::IEnumFORMATETC** out) override;

  private:
    ~TKwFormatEtcList_IEnumFormatEtc() override;
    const TKwFormatEtcList& list_;
    platform::com::IUnknown* owner_;
    int position_;
};
// A new enumerator at position 0 (count 0: the caller takes the first reference).
TKwFormatEtcList_IEnumFormatEtc* NewFormatEtcEnumerator(const TKwFormatEtcList& list,
                                                        platform::com::IUnknown* owner);

// DROPFILES header (file-list offset 20, point 0,0, not client, 8-bit names), then each path
// and a zero, then one more zero. Sized from the paths' real lengths, so no path is too long.
HRESULT BuildHDropBlock(const std::vector<std::string>& paths, GlobalBlock& out);
// Count, offsets, the parent's absolute list (the empty list for none), then the children.
HRESULT BuildIdListArrayBlock(const std::uint8_t* parent, const std::vector<const std::uint8_t*>& children,
                              GlobalBlock& out);
// The parent and children of a CIDA block, checked against the block's size; false for a
// block that does not hold what its count and offsets claim.
bool ReadIdListArrayBlock(const GlobalBlock& block, std::vector<std::uint8_t>& parent,
                          std::vector<std::vector<std::uint8_t>>& children);
GlobalBlock CopyGlobalBlock(const GlobalBlock& block);

// A data object carrying shell items of one folder: "Shell IDList Array" first, then CF_HDROP
// when every item has a path (the parsing name of an item without one is no file name, and a
// receiver of CF_HDROP would take it for one). No items: no format. The tree's and the list's
// data objects differ only in where their items come from.
class TKwShellItemsDataObject : public TKwUnknown<platform::shell::IDataObject> {
  public:
    HRESULT GetData(const FORMATETC& format, platform::shell::STGMEDIUM& out) override;
    HRESULT GetDataHere(const FORMATETC& format, platform::shell::STGMEDIUM& medium) override;
    HRESULT QueryGetData(const FORMATETC& format) override;
    HRESULT GetCanonicalFormatEtc(const FORMATETC& in, FORMATETC& out) override;
    HRESULT SetData(const FORMATETC& format, platform::shell::STGMEDIUM& medium, bool release) override;
    HRESULT EnumFormatEtc(std::uint32_t direction, platform::shell::IEnumFORMATETC** out) override;
    // No advise support: the blocks are built once and never change, so there is nothing to
    // tell a sink. Each answers OLE_E_ADVISENOTSUPPORTED and hands out nothing.
    HRESULT DAdvise(const FORMATETC& format, std::uint32_t advf, platform::com::IUnknown* sink,
                    std::uint32_t* connection);
    HRESULT DUnadvise(std::uint32_t connection);
    HRESULT EnumDAdvise(platform::com::IUnknown** out);

    const TKwFormatEtcList& Formats() const { return formats_; }

  protected:
    // Builds the blocks and the formats; `paths` holds one path per item, empty where an item
    // has none.
    void Offer(const std::uint8_t* folder, const std::vector<const std::uint8_t*>& items,
               const std::vector<std::string>& paths);

  private:
    GlobalBlock id_list_block_;
    GlobalBlock hdrop_block_;
    TKwFormatEtcList formats_;
};

class TDropSource_shlvtv final : public TKwUnknown<platform::shell::IDropSource> {
  public:
    // 0 left, 1 right, 2 middle.
    explicit TDropSource_shlvtv(int button);
    HRESULT QueryContinueDrag(bool escape_pressed, std::uint32_t key_state) override;
    HRESULT GiveFeedback(std::uint32_t effect) override;

  private:
    std::uint32_t button_;
};

}  // namespace shellctl
