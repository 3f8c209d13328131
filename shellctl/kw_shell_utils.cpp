#include "shellctl/kw_shell_utils.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/forms/message_dialog.h"
#include "platform/kernel/scope_exit.h"

namespace shellctl {

namespace shell = platform::shell;
namespace com = platform::com;
namespace win = platform::window;

namespace {

class MallocAllocator final : public IMalloc {
  public:
    void* Alloc(std::size_t size) override { return std::malloc(size == 0 ? 1 : size); }
    void Free(void* block) override { std::free(block); }
};

std::uint16_t cb_at(PCIDL p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

int g_no_validate = 0;

PIDL to_block(IMalloc* malloc, const shell::IdList& list) {
    auto* p = static_cast<PIDL>((malloc ? malloc : ShellMalloc())->Alloc(list.size()));
    if (p) std::memcpy(p, list.data(), list.size());
    return p;
}

}  // namespace

[[noreturn]] void RaiseShellError(HRESULT code) {
    throw EOleSysError(code, shell::error_text(code));
}

void OleCheck(HRESULT hr) {
    if (com::failed(hr)) RaiseShellError(hr);
}

void HandleException(const std::exception& e) {
    if (dynamic_cast<const EAbort*>(&e)) return;
    platform::forms::MessageBoxRequest r;
    r.type = platform::forms::DialogType::error;
    r.caption = platform::forms::dialog_caption(r.type);
    r.text = e.what();
    r.buttons = {platform::forms::DialogButton::ok};
    r.stay_on_top = true;
    platform::forms::show_message_dialog(r);
}

IMalloc* ShellMalloc() {
    static MallocAllocator allocator;
    return &allocator;
}

void* ShellAlloc(std::size_t size) {
    return ShellMalloc()->Alloc(size);
}

int ShellFree(void* block) {
    if (!block) return 0;
    ShellMalloc()->Free(block);
    return 0;
}

std::size_t IdListSize(PCIDL list) {
    return shell::id_list_size(list);
}

int CompareIdLists(PCIDL a, PCIDL b) {
    if (!a && !b) return 0;
    if (!a || !b) return -1;
    const bool ea = cb_at(a) == 0, eb = cb_at(b) == 0;
    if (ea && eb) return 0;
    if (ea || eb) return -1;
    FolderPtr desktop = shell::desktop_folder();
    if (!desktop) return compare_failed;
    const int c = desktop->compare_ids(0, a, b);
    return static_cast<std::int16_t>(std::clamp(c, -32768, 32767));
}

PIDL ConcatIdLists(IMalloc* malloc, PCIDL a, PCIDL b) {
    const std::size_t sa = a ? IdListSize(a) - 2 : 0, sb = b ? IdListSize(b) - 2 : 0;
    auto* p = static_cast<PIDL>((malloc ? malloc : ShellMalloc())->Alloc(sa + sb + 2));
    if (!p) return nullptr;
    if (sa) std::memcpy(p, a, sa);
    if (sb) std::memcpy(p + sa, b, sb);
    p[sa + sb] = 0;
    p[sa + sb + 1] = 0;
    return p;
}

PIDL CopyIdList(IMalloc* malloc, PCIDL list) {
    return ConcatIdLists(malloc, list, nullptr);
}

// ---- TKwIdListArray ---------------------------------------------------------------------------

TKwIdListArray::~TKwIdListArray() {
    ShellFree(result_);
}

PCIDL TKwIdListArray::Keep(PIDL result) {
    ShellFree(result_);
    result_ = result;
    return result_;
}

int TKwIdListArray::Count() const {
    return shell::id_list_count(list_);
}

PCIDL TKwIdListArray::StripLast(int n) {
    Keep(nullptr);
    if (!list_) return nullptr;
    const int count = Count();
    if (n < 0 || n > count) return nullptr;
    std::size_t bytes = 0;
    PCIDL p = list_;
    for (int i = 0; i < count - n; ++i) {
        bytes += cb_at(p);
        p += cb_at(p);
    }
    auto* out = static_cast<PIDL>(ShellAlloc(bytes + 2));
    if (!out) return nullptr;
    std::memcpy(out, list_, bytes);
    out[bytes] = 0;
    out[bytes + 1] = 0;
    return Keep(out);
}

PCIDL TKwIdListArray::Item(int i) {
    Keep(nullptr);
    if (!list_ || i < 0) return nullptr;
    const int count = Count();
    if (i >= std::max(count, 1)) return nullptr;
    if (count == 0) return Keep(CopyIdList(nullptr, list_));  // Item(0) of the empty list
    PCIDL p = list_;
    for (int k = 0; k < i; ++k) p += cb_at(p);
    const std::uint16_t cb = cb_at(p);
    auto* out = static_cast<PIDL>(ShellAlloc(cb + 2u));
    if (!out) return nullptr;
    std::memcpy(out, p, cb);
    out[cb] = 0;
    out[cb + 1] = 0;
    return Keep(out);
}

// ---- TKwPidlList ------------------------------------------------------------------------------

TKwPidlList::~TKwPidlList() {
    Clear();
}

int TKwPidlList::Compare(PCIDL a, PCIDL b) const {
    if (ShellFolder) {
        const int c = ShellFolder->compare_ids(0, a, b);
        return static_cast<std::int16_t>(std::clamp(c, -32768, 32767));
    }
    const std::size_t sa = IdListSize(a), sb = IdListSize(b);
    const std::size_t n = std::min(sa, sb);
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return static_cast<int>(a[i]) - static_cast<int>(b[i]);
    return static_cast<int>(sa) - static_cast<int>(sb);
}

void TKwPidlList::SetSorted(bool sorted) {
    if (sorted == sorted_) return;
    if (sorted) Sort();
    sorted_ = sorted;
}

void TKwPidlList::Sort() {
    std::sort(entries_.begin(), entries_.end(),
              [this](const Entry& x, const Entry& y) { return Compare(x.list, y.list) < 0; });
}

bool TKwPidlList::Find(PCIDL list, int& index) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const int c = Compare(entries_[static_cast<std::size_t>(mid)].list, list);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (Duplicates != dupAccept) lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

int TKwPidlList::AddObject(PIDL list, void* object) {
    int index = Count();
    if (sorted_ && Find(list, index)) {
        if (Duplicates == dupIgnore) {
            if (Malloc && list != entries_[static_cast<std::size_t>(index)].list) Malloc->Free(list);
            return index;
        }
        if (Duplicates == dupError) throw Exception("TKwPidlList: Duplicate PIDL");
    }
    Insert(index, list, object);
    return index;
}

void TKwPidlList::Insert(int i, PIDL list, void* object) {
    entries_.insert(entries_.begin() + i, Entry{list, object});
}

void TKwPidlList::Delete(int i) {
    auto& e = entries_.at(static_cast<std::size_t>(i));
    if (Malloc) Malloc->Free(e.list);
    entries_.erase(entries_.begin() + i);
}

void TKwPidlList::Clear() {
    if (Malloc)
        for (auto& e : entries_) Malloc->Free(e.list);
    entries_.clear();
}

int TKwPidlList::IndexOf(PCIDL list) const {
    if (sorted_) {
        int index = 0;
        return Find(list, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (Compare(entries_[static_cast<std::size_t>(i)].list, list) == 0) return i;
    return -1;
}

// ---- binding, paths and names ---------------------------------------------------------------

HRESULT GetDesktopFolder(FolderPtr& out) {
    out = shell::desktop_folder();
    return out ? com::S_OK : com::E_FAIL;
}

HRESULT GetShellFolder(PCIDL absolute, FolderPtr& out) {
    if (!absolute || cb_at(absolute) == 0) return GetDesktopFolder(out);
    return shell::bind_folder(absolute, out);
}

HRESULT PathToIdList(const std::string& path, PIDL& out) {
    out = nullptr;
    shell::IdList list;
    const HRESULT hr = shell::parse_path(path, list);
    if (com::failed(hr)) return hr;
    out = to_block(nullptr, list);
    return out ? com::S_OK : com::E_OUTOFMEMORY;
}

std::string IdListToPath(PCIDL list) {
    const shell::IdList l = shell::to_id_list(list);
    return shell::path_of(l.data()).value_or(std::string{});
}

HRESULT GetSpecialFolderIdList(win::Handle, int folder, PIDL& out) {
    out = nullptr;
    shell::IdList list;
    const HRESULT hr = shell::special_folder_location(folder & 0x7F, list);
    if (com::failed(hr)) return hr;
    out = to_block(nullptr, list);
    return out ? com::S_OK : com::E_OUTOFMEMORY;
}

std::string SpecialFolderPath(win::Handle window, int folder) {
    PIDL list = nullptr;
    if (com::failed(GetSpecialFolderIdList(window, folder, list))) return {};
    std::string path = IdListToPath(list);
    ShellFree(list);
    return path;
}

int IdListToSpecialFolder(PCIDL list) {
    for (int n = 0; n <= 50; ++n) {
        PIDL location = nullptr;
        if (com::succeeded(GetSpecialFolderIdList(0, n, location)) && CompareIdLists(list, location) == 0) {
            ShellFree(location);
            return n;
        }
        ShellFree(location);
    }
    return 50;
}

std::uint32_t NameKindFlags(int kind) {
    static constexpr std::uint32_t flags[] = {shell::SHGDN_NORMAL, shell::SHGDN_INFOLDER,
                                              shell::SHGDN_FORPARSING,
                                              shell::SHGDN_INFOLDER | shell::SHGDN_FOREDITING};
    return (kind >= 0 && kind < 4) ? flags[kind] : shell::SHGDN_NORMAL;
}

std::string GetDisplayName(const FolderPtr& folder, PCIDL relative, int kind) {
    const FolderPtr f = folder ? folder : shell::desktop_folder();
    if (!f || !relative) return {};
    return f->display_name_of(relative, NameKindFlags(kind));
}

std::string GetAbsDisplayName(PCIDL absolute) {
    FolderPtr desktop;
    if (com::failed(GetDesktopFolder(desktop))) return {};
    TKwIdListArray items(absolute);
    const int n = items.Count();
    if (n > 1) {
        FolderPtr parent;
        OleCheck(shell::bind_folder(items.StripLast(1), parent));
        const shell::IdList last = shell::to_id_list(items.Item(n - 1));
        return GetDisplayName(parent, last.data(), nkInFolder);
    }
    if (n == 0) return shell::display_name(absolute, shell::SHGDN_INFOLDER);
    return GetDisplayName(desktop, absolute, nkInFolder);
}

std::string AppendCharIfMissing(const std::string& s, char c) {
    if (s.empty() || s.back() == c) return s;
    return s + c;
}

int GetSysIconIndex(PCIDL absolute, std::uint32_t flags) {
    const shell::IdList l = shell::to_id_list(absolute);
    return shell::icon_index(l.data(), flags & SHGFI_OPENICON);
}

namespace {

// What the unit keeps for the whole process: the two shared image lists (made on first use)
// and the device-change fan-out (which goes with its last control, see below).
struct ShellUtilsUnitState {
    std::unique_ptr<platform::forms::ImageList> small_images, large_images;
    std::unique_ptr<TKwDeviceChangeHandler> device_change;
};

ShellUtilsUnitState& unit_state() {
    // An image list gives its handle back to the forms' handle table when it goes, so that
    // table must outlive this state: an image list made first makes the table first.
    static const bool handle_table_first = [] {
        const platform::forms::ImageList touch;
        return true;
    }();
    (void)handle_table_first;
    static ShellUtilsUnitState state;
    return state;
}

}  // namespace

platform::forms::ImageList& GetSysImageList(int size) {
    // The namespace's icons in their fixed order, then the two overlays: overlay image 1 is
    // the shared-folder mark, 2 the shortcut mark.
    auto make = [](int px) {
        auto list = std::make_unique<platform::forms::ImageList>();
        list->Width = px;
        list->Height = px;
        // The icon theme's names of the same kinds (emblems for the overlays).
        static constexpr const char* theme_names[shell::icon_count] = {"text-x-generic",
                                                                       "folder",
                                                                       "folder-open",
                                                                       "user-home",
                                                                       "computer",
                                                                       "drive-harddisk",
                                                                       "drive-removable-media",
                                                                       "folder-remote",
                                                                       "user-desktop",
                                                                       "application-x-executable",
                                                                       "emblem-symbolic-link",
                                                                       "emblem-shared",
                                                                       "emblem-symbolic-link"};
        for (int i = 0; i < shell::icon_count; ++i)
            list->add({px, px, shell::icon_pixels(i, px), theme_names[i]});
        for (int overlay : {1, 2}) list->set_overlay(overlay, OverlayImageIndex(overlay));
        return list;
    };
    auto& s = unit_state();
    auto& list = size == 0 ? s.small_images : s.large_images;
    if (!list) list = make(size == 0 ? 16 : 32);
    return *list;
}

void ResetShellUtilsUnitState() {
    auto& s = unit_state();
    s.device_change.reset();
    s.small_images.reset();
    s.large_images.reset();
}

int OverlayImageIndex(int overlay) {
    return overlay == 1 ? shell::icon_overlay_share : (overlay == 2 ? shell::icon_overlay_link : -1);
}

HRESULT ResolveShellLink(const std::string& file, TLinkData& data, bool want_id_list) {
    auto target = shell::resolve_shortcut(file);
    if (!target) return shell::hresult_from_errno(ENOENT);
    data.Path = target->path;
    data.Directory = target->is_directory;
    data.Valid = 63;
    data.IdList = nullptr;
    if (want_id_list) return PathToIdList(target->path, data.IdList);
    return com::S_OK;
}

void ValidateMyComputer() {
    if (g_no_validate != 0) return;
    PIDL location = nullptr;
    OleCheck(GetSpecialFolderIdList(0, shell::CSIDL_DRIVES, location));
    FolderPtr folder;
    const HRESULT hr = GetShellFolder(location, folder);
    ShellFree(location);
    OleCheck(hr);
    folder->attributes_of(std::span<const PCIDL>{}, shell::SFGAO_VALIDATE);
}

void BeginNoValidate() {
    ++g_no_validate;
}
void EndNoValidate() {
    --g_no_validate;
}

void FormatStrPos(const std::string& format, const std::vector<std::string>& args, std::string& result) {
    result.clear();
    if (format.empty()) return;
    if (args.size() > 50) throw Exception("FormatStrPos: Too many substitution strings");
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            result += format[i];
            continue;
        }
        if (format[i + 1] == '%') {
            result += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        int n = 0;
        while (j < format.size() && j < i + 3 && format[j] >= '0' && format[j] <= '9')
            n = n * 10 + (format[j++] - '0');
        if (j == i + 1 || n < 1 || static_cast<std::size_t>(n) > args.size()) {
            result += format[i];  // not ours to fill: left as it is
            continue;
        }
        result += args[static_cast<std::size_t>(n - 1)];
        i = j - 1;
    }
}

// ---- device changes -------------------------------------------------------------------------

namespace {
std::unique_ptr<TKwDeviceChangeHandler>& instance() {
    return unit_state().device_change;
}
}  // namespace

TKwDeviceChangeHandler::TKwDeviceChangeHandler() {
    window_ = std::make_unique<platform::forms::HiddenWindow>(
        "TKwDeviceChangeHandler",
        [this](std::uint32_t m, win::WParam w, win::LParam l) { return HandleMessage(m, w, l); });
    const win::Handle target = window_->handle();
    monitor_ = std::make_unique<shell::MountMonitor>([target](std::uint32_t code, const std::string&) {
        win::send_message(target, WM_DEVICECHANGE, code, 0);
    });
    monitor_->watch_in_message_loop();
}

TKwDeviceChangeHandler::~TKwDeviceChangeHandler() = default;

void TKwDeviceChangeHandler::Register(const void* owner, Callback callback) {
    callbacks_.push_back({owner, std::move(callback)});
}

void TKwDeviceChangeHandler::Unregister(const void* owner) {
    const auto it =
        std::find_if(callbacks_.begin(), callbacks_.end(), [&](const Entry& e) { return e.owner == owner; });
    if (it != callbacks_.end()) callbacks_.erase(it);
}

int TKwDeviceChangeHandler::CheckMounts() {
    return monitor_->check();
}

win::Result TKwDeviceChangeHandler::HandleMessage(std::uint32_t message, win::WParam w, win::LParam l) {
    if (message == WM_DEVICECHANGE) {
        // Moved out of the notice itself: the controls' refreshes run from the posted message.
        win::post_message(window_->handle(), WM_KWDEVICECHANGE, w, l);
        return 0;
    }
    if (message == WM_KWDEVICECHANGE && Enabled) {
        win::Message msg{window_->handle(), message, w, l};
        // A copy: a callback may register or unregister.
        const auto callbacks = callbacks_;
        ++dispatching_;
        platform::scope_exit dispatching{[this] { --dispatching_; }};
        for (const auto& e : callbacks) {
            try {
                e.callback(*this, msg);
            } catch (const Exception& ex) {
                HandleException(ex);  // the next callback still runs
            }
        }
    }
    return 0;
}

TKwDeviceChangeHandler& DeviceChangeHandler() {
    if (!instance()) instance() = std::make_unique<TKwDeviceChangeHandler>();
    return *instance();
}

void UnregisterDeviceChange(const void* owner) {
    if (!instance()) return;
    instance()->Unregister(owner);
    if (instance()->Empty() && !instance()->Dispatching()) instance().reset();
}

bool HasDeviceChangeHandler() {
    return instance() != nullptr;
}

void FreeDeviceChangeHandler() {
    instance().reset();
}

}  // namespace shellctl
