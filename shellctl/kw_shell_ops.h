// Operations the shell tree and the shell list share: new folders, item texts, display names,
// context menus and their verbs, the own Send To submenu, Send To targets, allowed drop
// effects and splitting a list into folder and item.
//
// Context-menu command numbers: shell commands are first + offset (the controls use 1000, up
// to 0x7FFF); the own Send To items are 1..n with item data 0..n-1; 1018 (offset 18) is rename,
// which the controls do in place. Main thread only.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <locale>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/forms/application.h"
#include "platform/forms/canvas.h"
#include "platform/forms/form.h"
#include "platform/forms/message_dialog.h"
#include "platform/shell/file_ops.h"
#include "shellctl/kw_shell_utils.h"

namespace shellctl {

// ---- new folder -------------------------------------------------------------------------------

// Makes "New Folder", "New Folder (2)" .. "(50)", then "fldr", "fldr2" .. "fldr50" below
// `parent` and returns the name made. A failure other than "exists" shows a warning box with
// the system's text and the name tried, and ends that family's pass; when no pass made a
// folder, a closing box names "New Folder". An empty parent is refused (no folder is made in
// the process's working directory).
bool CreateNewFolder(const std::string& parent, std::string& new_name);
enum TNewFolderTry { nfMade = 0, nfExists = 1, nfFailed = 2 };
TNewFolderTry TryNewFolderName(const std::string& parent, int try_number, int family, std::string& name,
                               HRESULT& error);

// ---- texts --------------------------------------------------------------------------------------

// The locale the person works in (from the environment, read once); tests may set another.
const std::locale& UserLocale();
void SetUserLocale(const std::locale& locale);

// Kilobytes, rounded up, with the locale's thousands separator, in the "%sKB" text.
std::string FormatSizeKB(std::uint64_t size, const std::locale& locale = UserLocale());
// A local time as the locale writes a short date, one blank, and its time.
std::string FormatDateTime(const std::tm& time, const std::locale& locale = UserLocale());
// Size (files only) and modification date texts of an item, in the person's locale; both
// empty for a root or an item without a path. Status is read with lstat (a name may hold '*'
// or '?').
void GetFileSizeAndDate(PCIDL absolute, std::string& size, std::string& date);
std::string GetItemTypeName(PCIDL absolute, std::uint32_t attributes);
struct TKwItemDetails {
    std::string Size, Date, Type;
};
TKwItemDetails GetItemDetails(PCIDL absolute, std::uint32_t attributes);
std::string GetItemDisplayName(const FolderPtr& folder, PCIDL child, std::uint32_t flags);

// ---- context menus ------------------------------------------------------------------------------

inline constexpr int kwFirstShellCommand = 1000;
inline constexpr int kwLastShellCommand = 0x7FFF;
inline constexpr int kwRenameCommand = kwFirstShellCommand + platform::shell::verb_rename;  // 1018

struct TKwMenuItem {
    int Id = 0;  // 0 for a submenu or separator
    std::string Caption;
    std::intptr_t Data = 0;
    bool Grayed = false;
    bool Hilite = false;
    bool OwnerDraw = false;
    bool Default = false;
    std::vector<TKwMenuItem> Submenu;
    bool IsSubmenu = false;
};
struct TKwPopupMenu {
    std::vector<TKwMenuItem> Items;
};

// The context menu of some items of one folder, with the popup built from it.
struct TKwContextMenu {
    std::shared_ptr<platform::shell::ContextMenu> Menu;
    TKwPopupMenu Popup;
};
HRESULT GetContextMenu(const FolderPtr& folder, const std::vector<PCIDL>& items, std::uint32_t flags,
                       int first, TKwContextMenu& out);
// The offset of a verb (letter case ignored), or nullopt when the menu does not offer it.
std::optional<int> FindVerbOffset(const platform::shell::ContextMenu& menu, const std::string& verb);
HRESULT InvokeCommandOffset(platform::shell::ContextMenu& menu, int offset);
// A verb the menu does not offer gives E_INVALIDARG and runs nothing (never the command at
// offset 0 in its place).
HRESULT InvokeVerb(platform::shell::ContextMenu& menu, const std::string& verb);
// The size of an owner-drawn menu item, and where its drawing put an icon.
struct TKwMenuItemSize {
    int Width = 0;
    int Height = 0;
};
struct TKwMenuItemDrawing {
    platform::forms::Rect Rect;
    bool Selected = false;
    int Icon = -1;  // the image of the small system image list drawn at IconAt; -1 none
    platform::forms::Point IconAt;
};
// A context menu being tracked: the popup, and what the menu's owner does when a submenu opens,
// an item is highlighted, an owner-drawn item is measured or drawn, or a character is typed.
// A tracker returns the chosen command identifier, 0 for none.
struct TKwMenuTracking {
    TKwPopupMenu& popup;
    platform::forms::Point screen_point;
    std::function<void(TKwPopupMenu& submenu)> init_popup;
    std::function<void(int id)> select;
    std::function<bool(const TKwMenuItem& item, const platform::forms::Canvas& canvas, TKwMenuItemSize& size)>
        measure_item;
    std::function<bool(const TKwMenuItem& item, platform::forms::Canvas& canvas, TKwMenuItemDrawing& drawing)>
        draw_item;
    std::function<std::uint32_t(char typed, const TKwPopupMenu& submenu)> menu_char;
};
// Sets the owner-drawing and menu-character steps of the own Send To items on a tracking
// (what both controls do); a failure while measuring or drawing is swallowed.
void SetSendToMenuSteps(TKwMenuTracking& tracking);
using TKwMenuTracker = std::function<int(TKwMenuTracking& tracking)>;
// Installs who chooses from context menus (a test); returns the previous one. Without one the
// forms' backend shows the menu to the person; headless that throws NoInteractionProvider:
// nothing guesses a person's choice.
TKwMenuTracker SetMenuTracker(TKwMenuTracker tracker);
int TrackPopupMenu(TKwMenuTracking& tracking);

// The help text of a shell command identifier for the hint line; "" for anything else.
std::string MenuCommandHelp(const platform::shell::ContextMenu& menu, int id);

// ---- Send To ------------------------------------------------------------------------------------

// The entries of the Send To folder, sorted; each entry's data is its icon index or -1.
struct TKwSendToEntry {
    std::string Name;
    int IconIndex = -1;
};
const std::vector<TKwSendToEntry>& SendToList();
// Reads the Send To folder again, so entries deleted since are gone and new ones appear.
void RefreshSendToList();
void FreeSendToList();
// A popup whose only item is a grayed placeholder is the empty Send To submenu: it is filled
// with one owner-drawn item per entry, identifiers 1..n, data 0..n-1. True when it filled it.
bool HandleMenuInitPopup(TKwPopupMenu& popup);
// The own Send To items are owner-drawn: the name without its extension in the canvas's font
// plus 32 for the icon, one row plus 2 high. Drawing fills the rectangle in the menu's (or, when
// selected, the highlight) colours, writes the name at (left + 32, top + 2) and puts the entry's
// icon, when it has one, at (left + 8, top + 2). False for any other item, or while there is no
// Send To list.
bool HandleMenuMeasureItem(const TKwMenuItem& item, const platform::forms::Canvas& canvas,
                           TKwMenuItemSize& size);
bool HandleMenuDrawItem(const TKwMenuItem& item, platform::forms::Canvas& canvas,
                        TKwMenuItemDrawing& drawing);
// The menu-character answer for the own Send To items: (position, 3) to select when several
// entries begin with the character, (position, 2) to run the only one, 1 to close.
std::uint32_t HandleMenuChar(char typed, const TKwPopupMenu& popup);
inline constexpr std::uint32_t MNC_CLOSE = 1, MNC_EXECUTE = 2, MNC_SELECT = 3;
// A simulated drop of the data object on a Send To entry: copy, left button, at (0, 0), under
// the hourglass. Raises the shell error when the entry has no drop target or a step fails.
void SendToTarget(const std::string& name, platform::shell::IDataObject* data);

// ---- drag and drop helpers -----------------------------------------------------------------------

// Copy, move and link as far as the dragged items allow, from the data object's CIDA block.
// A data object without one (a foreign drag) allows all three; a block that does not hold what
// it claims, or items whose folder cannot be read, allow nothing.
std::uint32_t GetAllowedDropEffects(platform::shell::IDataObject* data);
// The parent folder, the parent's list and the last item of an absolute list. The root has no
// parent: E_INVALIDARG.
HRESULT SplitIdList(PCIDL absolute, FolderPtr& parent, PIDL& parent_list, PIDL& child);
// The UI object of one item. The items here have one kind only, the drop target of a folder
// or a program; any other interface, or an item without one, gives E_NOINTERFACE. `out` gets
// one reference.
HRESULT GetItemUIObject(PCIDL absolute, const platform::com::IID& iid, void** out);
// The drop target of the person's desktop folder (special folder 16); fails when there is none.
HRESULT GetDesktopDropTarget(platform::com::ComPtr<platform::shell::IDropTarget>& out);
// Copies of the two halves of the desktop folder's list (the caller frees them); both null
// when the desktop folder has none.
void SplitDesktopIdList(PIDL& parent_list, PIDL& last_item);

// ---- the wheel -------------------------------------------------------------------------------------

// Bars and scroll codes, numbered as the system numbers them.
inline constexpr int SB_HORZ = 0, SB_VERT = 1;
inline constexpr int SB_LINEUP = 0, SB_LINEDOWN = 1, SB_PAGEUP = 2, SB_PAGEDOWN = 3;
// A control whose bars the wheel moves: one step of a bar by a scroll code (up and left are the
// same codes); false when the bar has no room for it.
class TKwScrollable {
  public:
    virtual bool ScrollBarStep(int bar, int code) = 0;

  protected:
    ~TKwScrollable() = default;
};
// The person's wheel setting: the lines one notch scrolls, or -1 for a screen at a time. 3
// until set.
int WheelScrollLines();
void SetWheelScrollLines(int lines);
// One notch: a page with the setting -1; else one line on the horizontal bar, as many lines
// as the setting on the vertical one. Always true.
bool WheelScroll(TKwScrollable& control, int bar, int line_code, int page_code);

// ---- other helpers --------------------------------------------------------------------------------

// True for a path below a mount point (not a drive's root itself).
bool PathBeyondRoot(const std::string& path);
// A box of the controls' own: stay-on-top, with an OK button.
void ShowShellBox(platform::forms::DialogType type, const std::string& text);
// The hourglass cursor while the object lives, restored on every way out.
class TKwHourglass {
  public:
    TKwHourglass();
    ~TKwHourglass();
    TKwHourglass(const TKwHourglass&) = delete;
    TKwHourglass& operator=(const TKwHourglass&) = delete;

  private:
    platform::forms::Cursor saved_;
};
// The form a control sits on, or nullptr.
platform::forms::Form* GetOwnerForm(platform::forms::Control* control);

// A beep for something refused; counted, so tests can see it.
void MessageBeep();
int BeepCount();

// Hourglass cursor for the time of the wait, restored afterwards (also on error). The wait
// itself can be replaced (tests).
void SleepWithHourglass(unsigned milliseconds);
using SleepFunction = std::function<void(unsigned)>;
SleepFunction SetSleepFunction(SleepFunction sleep);

// Test support: forgets the Send To list, the menu tracker, the sleep function, the beeps, the
// locale and the wheel setting.
void ResetShellOpsUnitState();

}  // namespace shellctl
