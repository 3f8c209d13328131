#include "shellctl/kw_shell_locator.h"

#include <atomic>
#include <cstring>

#include "shellctl/kw_clipboard.h"
#include "shellctl/kw_sh_consts.h"
#include "shellctl/kw_shell_ops.h"

namespace shellctl {

namespace com = platform::com;
namespace shell = platform::shell;

TKwShellLocator::~TKwShellLocator() {
    FreeList();
}

void TKwShellLocator::FreeList() {
    ShellFree(list_);
    list_ = nullptr;
}

void TKwShellLocator::Changed() {
    if (OnChange) OnChange(*this);
}

void TKwShellLocator::Assign(const TKwShellLocator* source) {
    if (!source) {
        if (!list_) return;
        FreeList();
        kind_ = 0;
        Changed();
        return;
    }
    if (IsSame(*source)) return;
    PIDL copy = source->kind_ == 0 && source->list_ ? CopyIdList(nullptr, source->list_) : nullptr;
    FreeList();
    kind_ = source->kind_;
    if (kind_ == 1) {
        folder_ = source->folder_;
    } else {
        list_ = copy;
    }
    Changed();
}

bool TKwShellLocator::IsSame(const TKwShellLocator& other) const {
    if (kind_ != other.kind_) return false;
    if (&other == this) return true;
    if (kind_ == 1) return folder_ == other.folder_;
    return CompareIdLists(list_, other.list_) == 0;
}

void TKwShellLocator::SetSpecialFolder(int folder) {
    const bool changed = kind_ != 1 || folder_ != folder;
    FreeList();
    kind_ = 1;
    folder_ = static_cast<std::uint8_t>(folder);
    if (changed) Changed();
}

PCIDL TKwShellLocator::IdList() {
    if (kind_ == 0) return list_;
    if (kind_ == 1) {
        if (!list_ && com::failed(GetSpecialFolderIdList(0, folder_, list_))) list_ = nullptr;
        return list_;
    }
    return nullptr;
}

void TKwShellLocator::SetIdList(PCIDL list) {
    const std::uint8_t old_kind = kind_;
    kind_ = 0;
    // Copy first: `list` may be the held list, or point into it.
    PIDL copy = (list && IdListSize(list) > 2) ? CopyIdList(nullptr, list) : nullptr;
    bool changed;
    if (list_) {
        const int c = CompareIdLists(list_, list);
        changed = old_kind == 1 || c != 0;  // a failed comparison (0x7FFFFFFF) is a change too
    } else {
        changed = old_kind == 1 || (list && IdListSize(list) > 2);
    }
    FreeList();
    list_ = copy;
    if (changed) Changed();
}

std::string TKwShellLocator::Path() {
    return IdListToPath(IdList());
}

void TKwShellLocator::SetPath(const std::string& path) {
    PIDL parsed = nullptr;
    if (com::failed(PathToIdList(path, parsed))) {
        SetIdList(nullptr);
        return;
    }
    // SetIdList copies the list; a handler of the change may throw, and the copy we parsed
    // must go either way.
    try {
        SetIdList(parsed);
    } catch (...) {
        ShellFree(parsed);
        throw;
    }
    ShellFree(parsed);
}

void TKwShellLocator::WritePidl(std::vector<std::uint8_t>& out) const {
    out.push_back(kind_);
    if (kind_ != 0) {
        out.push_back(folder_);
        return;
    }
    const auto n = static_cast<std::uint32_t>(list_ ? IdListSize(list_) : 0);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    if (n) out.insert(out.end(), list_, list_ + n);
}

bool TKwShellLocator::ReadPidl(const std::uint8_t* data, std::size_t size, std::size_t& consumed) {
    consumed = 0;
    if (!data || size < 1) return false;
    if (data[0] != 0) {
        if (size < 2) return false;
        FreeList();
        kind_ = 1;
        folder_ = data[1];
        consumed = 2;
        return true;
    }
    if (size < 5) return false;
    std::uint32_t n = 0;
    for (int i = 0; i < 4; ++i) n |= static_cast<std::uint32_t>(data[1 + i]) << (8 * i);
    if (n == 0) {
        FreeList();
        kind_ = 1;
        folder_ = 0;
        consumed = 5;
        return true;
    }
    // A stream from a file is outside input: the items must end with their terminator inside
    // the n bytes, or later walks would read past the block.
    if (n > size - 5 || !shell::is_valid_id_list(data + 5, n) || shell::id_list_size(data + 5) != n)
        return false;
    auto* list = static_cast<PIDL>(ShellAlloc(n));
    if (!list) return false;
    std::memcpy(list, data + 5, n);
    FreeList();
    kind_ = 0;
    list_ = list;
    consumed = 5 + n;
    return true;
}

// ---- folder details ---------------------------------------------------------------------------

namespace {

class TShellFolder2ToShellDetailsAdapter final : public IShellDetails {
  public:
    explicit TShellFolder2ToShellDetailsAdapter(IShellFolder2* folder) : folder_(folder) {
        folder_->AddRef();
    }

    HRESULT QueryInterface(const com::IID& iid, void** out) override {
        if (!out) return com::E_POINTER;
        if (iid == com::IUnknown::iid || iid == IShellDetails::iid) {
            *out = static_cast<IShellDetails*>(this);
            AddRef();
            return com::S_OK;
        }
        *out = nullptr;
        return com::E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++count_; }
    std::uint32_t Release() override {
        const std::uint32_t left = --count_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT GetDetailsOf(PCIDL item, unsigned column, SHELLDETAILS& details) override {
        std::uint32_t state = 0;
        const HRESULT hr = folder_->GetDefaultColumnState(column, state);
        if (com::failed(hr) || (state & SHCOLSTATE_ONBYDEFAULT))
            return folder_->GetDetailsOf(item, column, details);
        return com::E_INVALIDARG;
    }
    HRESULT ColumnClick(unsigned) override { return com::E_NOTIMPL; }

  private:
    ~TShellFolder2ToShellDetailsAdapter() { folder_->Release(); }
    IShellFolder2* folder_;
    std::atomic<std::uint32_t> count_{0};
};

struct ControlsState {
    int users = 0;
    TKwHoverSettings hover;
};
ControlsState& controls_state() {
    static ControlsState s;
    return s;
}

}  // namespace

IShellDetails* GetFolderShellDetails(com::IUnknown* folder) {
    if (!folder) return nullptr;
    IShellFolder2* f2 = nullptr;
    if (com::succeeded(folder->QueryInterface(IShellFolder2::iid, reinterpret_cast<void**>(&f2))) && f2) {
        SHELLDETAILS probe;
        const HRESULT hr = f2->GetDetailsOf(nullptr, 0, probe);
        if (com::succeeded(hr)) {
            auto* adapter = new TShellFolder2ToShellDetailsAdapter(f2);
            adapter->AddRef();
            f2->Release();
            return adapter;
        }
        f2->Release();
    }
    IShellDetails* details = nullptr;
    if (com::succeeded(folder->QueryInterface(IShellDetails::iid, reinterpret_cast<void**>(&details))))
        return details;
    return nullptr;
}

IShellDetails* GetFolderShellDetails(const FolderPtr& folder) {
    // A folder that also answers as a COM object (one that knows its own columns) is asked as
    // such; the namespace's own folders are not, and give none.
    return GetFolderShellDetails(dynamic_cast<com::IUnknown*>(folder.get()));
}

void StartShellControls() {
    auto& s = controls_state();
    if (s.users++ > 0) return;
    DefaultKeys();  // the default keys' texts from the string table
    CF_IDLIST();
    s.hover = TKwHoverSettings{};
}

void FinishShellControls() {
    auto& s = controls_state();
    if (s.users == 0 || --s.users > 0) return;
    FreeSendToList();
}

const TKwHoverSettings& HoverSettings() {
    return controls_state().hover;
}

}  // namespace shellctl
