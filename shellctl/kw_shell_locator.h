// TKwShellLocator: a persistent reference to one folder, by absolute item-ID list or by
// special-folder number; it converts to and from paths, compares itself with another one,
// tells its owner when it changes and streams itself as the binary property "Pidl".
//
// Also the folder-details provider (an IShellDetails for a folder that has IShellFolder2) and
// the start-up and teardown of the controls' shared state. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/com/unknown.h"
#include "shellctl/kw_shell_utils.h"

namespace shellctl {

class TKwShellLocator {
  public:
    TKwShellLocator() = default;
    ~TKwShellLocator();
    TKwShellLocator(const TKwShellLocator&) = delete;
    TKwShellLocator& operator=(const TKwShellLocator&) = delete;

    std::function<void(TKwShellLocator& sender)> OnChange;

    // nullptr: drops a held list (and fires) or does nothing. Another locator: nothing when
    // IsSame, else copies its kind and list or number and fires once.
    void Assign(const TKwShellLocator* source);
    bool IsSame(const TKwShellLocator& other) const;
    void Clear() { SetIdList(nullptr); }
    void Changed();

    int Kind() const { return kind_; }
    int FolderNumber() const { return folder_; }
    void SetSpecialFolder(int folder);
    // Kind 0: the held list (null for the root). Kind 1: resolved on first use and cached.
    PCIDL IdList();
    // Holds a copy of `list` (none for null or the empty list); fires when it changed. A list
    // that cannot be compared with the held one counts as a change. The list may point into
    // the held list itself (self-assignment is safe: the copy is made before the old is freed).
    void SetIdList(PCIDL list);
    std::string Path();
    // A path that does not parse leaves the locator at none (the root).
    void SetPath(const std::string& path);

    bool HasPidl() const { return list_ != nullptr || kind_ == 1; }
    // The "Pidl" property: kind byte; then the folder number (kind 1), or a 32-bit size and the
    // list's bytes (kind 0; size 0 for none).
    void WritePidl(std::vector<std::uint8_t>& out) const;
    // Reads what WritePidl wrote. A list whose items do not end inside its size with a
    // terminator is refused (false) and the locator is left as it was.
    bool ReadPidl(const std::uint8_t* data, std::size_t size, std::size_t& consumed);

  private:
    void FreeList();
    std::uint8_t kind_ = 0;
    PIDL list_ = nullptr;
    std::uint8_t folder_ = 0;
};

// ---- folder details ---------------------------------------------------------------------------

struct SHELLDETAILS {
    int fmt = 0;
    int cxChar = 0;
    std::string str;
};
inline constexpr std::uint32_t SHCOLSTATE_ONBYDEFAULT = 0x10;

struct IShellDetails : platform::com::IUnknown {
    static constexpr platform::com::IID iid = platform::com::guid("{000214EC-0000-0000-C000-000000000046}");
    virtual HRESULT GetDetailsOf(PCIDL item, unsigned column, SHELLDETAILS& details) = 0;
    virtual HRESULT ColumnClick(unsigned column) = 0;

  protected:
    ~IShellDetails() = default;
};

struct IShellFolder2 : platform::com::IUnknown {
    static constexpr platform::com::IID iid = platform::com::guid("{93F2F68C-1D1B-11D3-A30E-00C04F79ABD1}");
    virtual HRESULT GetDetailsOf(PCIDL item, unsigned column, SHELLDETAILS& details) = 0;
    virtual HRESULT GetDefaultColumnState(unsigned column, std::uint32_t& flags) = 0;

  protected:
    ~IShellFolder2() = default;
};

// An IShellDetails for a folder object: the folder's own IShellFolder2 through the adapter
// when its column 0 answers, else the folder's IShellDetails, else none. The caller owns the
// reference returned. A folder pointer is asked through the COM object it also is, if it is
// one; the namespace's own folders are not, so the controls fall back to their own columns.
IShellDetails* GetFolderShellDetails(platform::com::IUnknown* folder);
IShellDetails* GetFolderShellDetails(const FolderPtr& folder);

// ---- the controls' shared state -------------------------------------------------------------------

struct TKwHoverSettings {
    unsigned Time = 400;
    int Width = 2;
    int Height = 2;
};
// Starts the controls' shared state once per process (texts, the clipboard format, hover
// settings); Finish undoes it when the last user goes.
void StartShellControls();
void FinishShellControls();
const TKwHoverSettings& HoverSettings();

}  // namespace shellctl
