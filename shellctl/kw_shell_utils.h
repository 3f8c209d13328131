// Shell namespace helpers: item-ID list arithmetic on lists in memory, the shell allocator,
// binding and parsing, display names, icon indexes, special folders, shortcut resolution,
// positional message formatting and the process-wide device-change fan-out.
//
// Item-ID lists here are blocks from an allocator (IMalloc), as the controls hold them: a null
// pointer is no list, a list that is only the terminator is the root ("Desktop"). The namespace
// beneath is platform/shell.
//
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/forms/common_controls.h"
#include "platform/forms/hidden_window.h"
#include "platform/shell/mounts.h"
#include "platform/shell/shell.h"

namespace shellctl {

using platform::com::HRESULT;
using PIDL = std::uint8_t*;
using PCIDL = const std::uint8_t*;
using platform::shell::FolderPtr;

// The general exception of the controls, and the silent one that reports nothing.
struct Exception : std::runtime_error {
    explicit Exception(const std::string& what) : std::runtime_error(what) {}
};
struct EAbort : Exception {
    EAbort() : Exception("Operation aborted") {}
};
// A failed shell call: the message is the system's text for the code.
struct EOleSysError : Exception {
    EOleSysError(HRESULT code, const std::string& what) : Exception(what), ErrorCode(code) {}
    HRESULT ErrorCode;
};
[[noreturn]] void RaiseShellError(HRESULT code);
// Raises EOleSysError when `hr` is a failure.
void OleCheck(HRESULT hr);
// What the application does with an exception that reaches it: nothing for EAbort, else an
// error box with its message.
void HandleException(const std::exception& e);

// ---- the allocator ------------------------------------------------------------------------

struct IMalloc {
    virtual ~IMalloc() = default;
    virtual void* Alloc(std::size_t size) = 0;
    virtual void Free(void* block) = 0;
};
IMalloc* ShellMalloc();  // the process's allocator; never freed
void* ShellAlloc(std::size_t size);
int ShellFree(void* block);  // null: 0 and nothing done

// ---- list arithmetic ----------------------------------------------------------------------

std::size_t IdListSize(PCIDL list);
// 0 when equal; -1 when exactly one is null or exactly one is empty; else the namespace's
// order (negative, 0, positive), or 0x7FFFFFFF when the lists cannot be compared.
int CompareIdLists(PCIDL a, PCIDL b);
inline constexpr int compare_failed = 0x7FFFFFFF;
PIDL ConcatIdLists(IMalloc* malloc, PCIDL a, PCIDL b);  // null on allocation failure
PIDL CopyIdList(IMalloc* malloc, PCIDL list);

class TKwIdListArray {
  public:
    explicit TKwIdListArray(PCIDL list) : list_(list) {}
    ~TKwIdListArray();
    TKwIdListArray(const TKwIdListArray&) = delete;
    TKwIdListArray& operator=(const TKwIdListArray&) = delete;

    int Count() const;
    // The first Count - n items; null when n < 0 or n > Count. The result belongs to this
    // object and lives until the next request.
    PCIDL StripLast(int n);
    // Item i alone; the empty list for Item(0) of the empty list; null otherwise outside
    // 0..Count-1 (also Item(1) of the empty list, which must not walk past its terminator).
    PCIDL Item(int i);

  private:
    PCIDL Keep(PIDL result);
    PCIDL list_;
    PIDL result_ = nullptr;
};

// A list of {item-ID list, object} entries, sorted or not.
class TKwPidlList {
  public:
    enum TDuplicates { dupIgnore = 0, dupAccept = 1, dupError = 2 };

    TKwPidlList() = default;
    virtual ~TKwPidlList();
    TKwPidlList(const TKwPidlList&) = delete;
    TKwPidlList& operator=(const TKwPidlList&) = delete;

    int Count() const { return static_cast<int>(entries_.size()); }
    PIDL IdLists(int i) const { return entries_.at(static_cast<std::size_t>(i)).list; }
    void* Objects(int i) const { return entries_.at(static_cast<std::size_t>(i)).object; }
    int Capacity() const { return static_cast<int>(entries_.capacity()); }
    void SetCapacity(int n) { entries_.reserve(static_cast<std::size_t>(n)); }
    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);
    FolderPtr ShellFolder;
    IMalloc* Malloc = nullptr;  // when set, the list frees the lists of entries it deletes
    TDuplicates Duplicates = dupError;

    virtual int Add(PIDL list) { return AddObject(list, nullptr); }
    // The list takes the pointer as it is. A duplicate under dupIgnore is not stored: its index
    // is returned and, when the list owns its lists (Malloc set), the passed list is freed so
    // it does not leak. Under dupError it raises "TKwPidlList: Duplicate PIDL".
    virtual int AddObject(PIDL list, void* object);
    void Insert(int i, PIDL list, void* object);
    void Delete(int i);
    void Clear();
    int IndexOf(PCIDL list) const;
    bool Find(PCIDL list, int& index) const;
    void Sort();

  private:
    struct Entry {
        PIDL list;
        void* object;
    };
    int Compare(PCIDL a, PCIDL b) const;
    std::vector<Entry> entries_;
    bool sorted_ = false;
};

// ---- binding, paths and names ---------------------------------------------------------------

HRESULT GetDesktopFolder(FolderPtr& out);
HRESULT GetShellFolder(PCIDL absolute, FolderPtr& out);
// Parses a path of any length (nothing is cut short); `out` is from the shell allocator.
HRESULT PathToIdList(const std::string& path, PIDL& out);
std::string IdListToPath(PCIDL list);  // "" for a list without a path
HRESULT GetSpecialFolderIdList(platform::window::Handle window, int folder, PIDL& out);
std::string SpecialFolderPath(platform::window::Handle window, int folder);
int IdListToSpecialFolder(PCIDL list);  // 50 when it is none of 0..49

enum TKwNameKind { nkNormal = 0, nkInFolder = 1, nkForParsing = 2, nkForEditing = 3 };
std::uint32_t NameKindFlags(int kind);
// The name of `relative` in `folder` (the root when none); "" on failure.
std::string GetDisplayName(const FolderPtr& folder, PCIDL relative, int kind);
std::string GetAbsDisplayName(PCIDL absolute);
std::string AppendCharIfMissing(const std::string& s, char c);

inline constexpr std::uint32_t SHGFI_LARGEICON = 0x0000;
inline constexpr std::uint32_t SHGFI_SMALLICON = 0x0001;
inline constexpr std::uint32_t SHGFI_OPENICON = 0x0002;
int GetSysIconIndex(PCIDL absolute, std::uint32_t flags);
// The shared image list of the namespace's icons, with the overlay images 1 (shared) and 2
// (shortcut) at its end; 0 small (16), 1 large (32). Made on first use; kept until
// ResetShellUtilsUnitState.
platform::forms::ImageList& GetSysImageList(int size);
// Test support: frees the shared image lists and the device-change instance (no control may
// be alive: controls hold the image lists).
void ResetShellUtilsUnitState();
int OverlayImageIndex(int overlay);  // the image of overlay 1 or 2

// Link data as the list uses it: Path and whether the target is a directory.
struct TLinkData {
    std::string Path;
    std::uint8_t Valid = 0;  // 63 once read
    bool Directory = false;
    int ResolveMode = 0;
    PIDL IdList = nullptr;  // the target's list when asked for; the caller frees it
};
// Resolves a shortcut (symbolic link or ".desktop" link); a broken one fails.
HRESULT ResolveShellLink(const std::string& file, TLinkData& data, bool want_id_list);

void ValidateMyComputer();
void BeginNoValidate();
void EndNoValidate();

// %1..%n stand for the strings in any order and any number of times; "%%" is one "%". A
// placeholder without a string stays as it is. More than 50 strings raise.
void FormatStrPos(const std::string& format, const std::vector<std::string>& args, std::string& result);

// ---- device changes -------------------------------------------------------------------------

inline constexpr std::uint32_t WM_DEVICECHANGE = 0x0219;
inline constexpr std::uint32_t WM_KWDEVICECHANGE = platform::window::WM_USER + 100;  // 1124

class TKwDeviceChangeHandler {
  public:
    using Callback = std::function<void(TKwDeviceChangeHandler& sender, platform::window::Message& message)>;

    TKwDeviceChangeHandler();
    ~TKwDeviceChangeHandler();

    bool Enabled = true;
    // Appends a callback for `owner`; Unregister removes the first one of that owner.
    void Register(const void* owner, Callback callback);
    void Unregister(const void* owner);
    bool Empty() const { return callbacks_.empty(); }
    bool Dispatching() const { return dispatching_ > 0; }
    platform::window::Handle Handle() const { return window_->handle(); }
    // Re-reads the mount table now and reports what came and went (the monitor does this
    // when the kernel says the table changed).
    int CheckMounts();

  private:
    platform::window::Result HandleMessage(std::uint32_t message, platform::window::WParam,
                                           platform::window::LParam);
    struct Entry {
        const void* owner;
        Callback callback;
    };
    std::vector<Entry> callbacks_;
    int dispatching_ = 0;  // callbacks are running (one may unregister; the object stays)
    std::unique_ptr<platform::forms::HiddenWindow> window_;
    std::unique_ptr<platform::shell::MountMonitor> monitor_;
};

// The process's instance, created on first use.
TKwDeviceChangeHandler& DeviceChangeHandler();
// Unregisters `owner`'s callback; the instance goes with its last callback, so its window and
// its watch on the mount table never outlive the thread's message queue (at the program's end
// the queue goes before any static object).
void UnregisterDeviceChange(const void* owner);
bool HasDeviceChangeHandler();
// Test support: frees the instance.
void FreeDeviceChangeHandler();

}  // namespace shellctl
