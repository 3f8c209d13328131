#include "shellctl/kw_shell_ops.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <iterator>
#include <sstream>

#include "platform/forms/application.h"
#include "platform/forms/backend.h"
#include "platform/forms/interaction.h"
#include "platform/forms/message_dialog.h"
#include "platform/kernel/kernel.h"
#include "platform/shell/mounts.h"
#include "shellctl/kw_clipboard.h"
#include "shellctl/kw_draw.h"
#include "shellctl/kw_sh_consts.h"

namespace shellctl {

namespace shell = platform::shell;
namespace com = platform::com;
namespace forms = platform::forms;

namespace {

void warning_box(const std::string& text) {
    ShowShellBox(forms::DialogType::warning, text);
}

std::string cannot_create_text(const std::string& error, const std::string& name) {
    std::string text;
    FormatStrPos(LoadStr(sKwCannotCreateFolder), {error, name}, text);
    return text;
}

// The locale the person works in, as the environment names it; the classic one when the
// environment names none this system has.
std::locale environment_locale() {
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

// What the unit keeps for the whole process.
struct ShellOpsUnitState {
    std::vector<TKwSendToEntry> send_to;
    SleepFunction sleep;
    TKwMenuTracker menu_tracker;
    int beeps = 0;
    std::optional<std::locale> user_locale;  // read from the environment on first use
    int wheel_lines = 3;
};

ShellOpsUnitState& unit_state() {
    static ShellOpsUnitState state;
    return state;
}

std::vector<TKwSendToEntry>& send_to_list() {
    return unit_state().send_to;
}
SleepFunction& sleep_function() {
    return unit_state().sleep;
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

// ---- new folder -------------------------------------------------------------------------------

TNewFolderTry TryNewFolderName(const std::string& parent, int try_number, int family, std::string& name,
                               HRESULT& error) {
    if (family == 0) {
        name = LoadStr(sKwNewFolder);
        if (try_number > 1) name += " (" + std::to_string(try_number) + ")";
    } else {
        name = "fldr";
        if (try_number > 1) name += std::to_string(try_number);
    }
    error = shell::create_directory(AppendCharIfMissing(parent, '/') + name);
    if (com::succeeded(error)) return nfMade;
    return error == shell::hresult_already_exists() ? nfExists : nfFailed;
}

bool CreateNewFolder(const std::string& parent, std::string& new_name) {
    new_name.clear();
    // Kept from an earlier mend: an empty parent would make the folder in the process's
    // working directory, which the person never chose.
    if (parent.empty()) return false;
    for (int family = 0; family < 2; ++family) {
        for (int n = 1; n <= 50; ++n) {
            std::string name;
            HRESULT error = com::S_OK;
            const TNewFolderTry result = TryNewFolderName(parent, n, family, name, error);
            if (result == nfMade) {
                new_name = name;
                return true;
            }
            if (result == nfFailed) {
                // A real failure (no permission, no space) ends this family's pass with its
                // reason; the other family is still tried.
                warning_box(cannot_create_text(shell::error_text(error), name));
                break;
            }
        }
    }
    warning_box(
        cannot_create_text(shell::error_text(shell::hresult_already_exists()), LoadStr(sKwNewFolder)));
    return false;
}

// ---- texts --------------------------------------------------------------------------------------

std::string FormatSizeKB(std::uint64_t size, const std::locale& locale) {
    std::uint64_t kb = size / 1024 + (size % 1024 ? 1 : 0);
    std::string digits = std::to_string(kb);
    const auto& punct = std::use_facet<std::numpunct<char>>(locale);
    const std::string grouping = punct.grouping();
    if (!grouping.empty() && grouping[0] > 0) {
        std::string grouped;
        int group = grouping[0], in_group = 0;
        std::size_t gi = 0;
        for (std::size_t i = digits.size(); i-- > 0;) {
            if (in_group == group) {
                grouped.insert(grouped.begin(), punct.thousands_sep());
                in_group = 0;
                if (gi + 1 < grouping.size() && grouping[gi + 1] > 0) group = grouping[++gi];
            }
            grouped.insert(grouped.begin(), digits[i]);
            ++in_group;
        }
        digits = grouped;
    }
    std::string text = LoadStr(sKwSizeKB);
    const auto at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, digits);
    return text;
}

std::string FormatDateTime(const std::tm& time, const std::locale& locale) {
    // The locale's own date and time representations ("%x" and "%X"), one blank between.
    std::ostringstream out;
    out.imbue(locale);
    const auto& put = std::use_facet<std::time_put<char>>(locale);
    put.put(std::ostreambuf_iterator<char>(out), out, ' ', &time, 'x');
    out << ' ';
    put.put(std::ostreambuf_iterator<char>(out), out, ' ', &time, 'X');
    return out.str();
}

void GetFileSizeAndDate(PCIDL absolute, std::string& size, std::string& date) {
    size.clear();
    date.clear();
    const std::string path = IdListToPath(absolute);
    if (path.empty() || !PathBeyondRoot(path)) return;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return;
    if (!S_ISDIR(st.st_mode)) size = FormatSizeKB(static_cast<std::uint64_t>(st.st_size));
    std::tm tm{};
    ::localtime_r(&st.st_mtime, &tm);
    date = FormatDateTime(tm);
}

std::string GetItemTypeName(PCIDL absolute, std::uint32_t attributes) {
    if (!(attributes & shell::SFGAO_FILESYSTEM)) return LoadStr(sKwSystemFolder);
    return shell::type_name_of(IdListToPath(absolute));
}

TKwItemDetails GetItemDetails(PCIDL absolute, std::uint32_t attributes) {
    TKwItemDetails d;
    GetFileSizeAndDate(absolute, d.Size, d.Date);
    d.Type = GetItemTypeName(absolute, attributes);
    return d;
}

std::string GetItemDisplayName(const FolderPtr& folder, PCIDL child, std::uint32_t flags) {
    if (!folder || !child) return {};
    return folder->display_name_of(child, flags);
}

// ---- context menus ------------------------------------------------------------------------------

HRESULT GetContextMenu(const FolderPtr& folder, const std::vector<PCIDL>& items, std::uint32_t flags,
                       int first, TKwContextMenu& out) {
    out = {};
    if (!folder || items.empty()) return com::E_INVALIDARG;
    std::vector<shell::IdList> children;
    for (PCIDL i : items) {
        if (shell::id_list_count(i) != 1) return com::E_INVALIDARG;
        children.push_back(shell::to_id_list(i));
    }
    out.Menu = std::make_shared<shell::ContextMenu>(folder, std::move(children));
    for (const auto& c : out.Menu->query(flags)) {
        TKwMenuItem item;
        item.Caption = c.caption;
        item.Default = c.is_default;
        if (c.offset < 0) {
            // The Send To submenu holds one grayed placeholder until it opens.
            item.IsSubmenu = true;
            TKwMenuItem placeholder;
            placeholder.Caption = "(empty)";
            placeholder.Grayed = true;
            item.Submenu.push_back(placeholder);
        } else {
            if (first + c.offset > kwLastShellCommand) continue;
            item.Id = first + c.offset;
        }
        out.Popup.Items.push_back(std::move(item));
    }
    return com::S_OK;
}

std::optional<int> FindVerbOffset(const shell::ContextMenu& menu, const std::string& verb) {
    const std::string wanted = upper(verb);
    for (const auto& c : menu.query(shell::CMF_EXPLORE | shell::CMF_CANRENAME)) {
        if (c.offset >= 0 && upper(c.verb) == wanted) return c.offset;
    }
    return std::nullopt;
}

HRESULT InvokeCommandOffset(shell::ContextMenu& menu, int offset) {
    return menu.invoke(offset);
}

HRESULT InvokeVerb(shell::ContextMenu& menu, const std::string& verb) {
    const auto offset = FindVerbOffset(menu, verb);
    if (!offset) return com::E_INVALIDARG;
    return menu.invoke(*offset);
}

std::string MenuCommandHelp(const shell::ContextMenu& menu, int id) {
    if (id < kwFirstShellCommand) return {};
    return menu.help_of(id - kwFirstShellCommand).value_or(std::string{});
}

// ---- Send To ------------------------------------------------------------------------------------

const std::vector<TKwSendToEntry>& SendToList() {
    return send_to_list();
}

void RefreshSendToList() {
    auto& list = send_to_list();
    list.clear();
    const std::string dir = shell::send_to_directory();
    for (const auto& name : shell::send_to_entries()) {
        shell::IdList l;
        const int icon =
            com::succeeded(shell::parse_path(dir + "/" + name, l)) ? shell::icon_index(l.data(), false) : -1;
        list.push_back({name, icon});
    }
}

void FreeSendToList() {
    send_to_list().clear();
}

bool HandleMenuInitPopup(TKwPopupMenu& popup) {
    if (popup.Items.size() != 1 || !popup.Items[0].Grayed || popup.Items[0].IsSubmenu) return false;
    RefreshSendToList();
    popup.Items.clear();
    const auto& list = SendToList();
    for (std::size_t i = 0; i < list.size(); ++i) {
        TKwMenuItem item;
        item.Id = static_cast<int>(i + 1);
        item.Data = static_cast<std::intptr_t>(i);
        item.OwnerDraw = true;
        item.Caption = list[i].Name;
        popup.Items.push_back(std::move(item));
    }
    return true;
}

namespace {

// The entry an own Send To item stands for, or null.
const TKwSendToEntry* send_to_entry(const TKwMenuItem& item) {
    const auto& list = SendToList();
    if (!item.OwnerDraw || item.Id < 1 || item.Id >= kwFirstShellCommand) return nullptr;
    if (item.Data < 0 || item.Data >= static_cast<std::intptr_t>(list.size())) return nullptr;
    return &list[static_cast<std::size_t>(item.Data)];
}

std::string without_extension(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

bool HandleMenuMeasureItem(const TKwMenuItem& item, const forms::Canvas& canvas, TKwMenuItemSize& size) {
    const TKwSendToEntry* entry = send_to_entry(item);
    if (!entry) return false;
    const std::string text = without_extension(entry->Name);
    size.Width = canvas.TextWidth(text) + 32;
    // A menu row is the text with 2 pixels above and below; the item is 2 higher than a row.
    size.Height = canvas.TextHeight(text) + 4 + 2;
    return true;
}

bool HandleMenuDrawItem(const TKwMenuItem& item, forms::Canvas& canvas, TKwMenuItemDrawing& drawing) {
    const TKwSendToEntry* entry = send_to_entry(item);
    if (!entry) return false;
    canvas.Brush.Color = drawing.Selected ? clHighlight : clMenu;
    canvas.Brush.Style = forms::BrushStyle::solid;
    canvas.Font.Color = drawing.Selected ? clHighlightText : clMenuText;
    canvas.FillRect(drawing.Rect);
    canvas.TextOut(drawing.Rect.left + 32, drawing.Rect.top + 2, without_extension(entry->Name));
    drawing.Icon = entry->IconIndex;
    drawing.IconAt =
        entry->IconIndex >= 0 ? forms::Point{drawing.Rect.left + 8, drawing.Rect.top + 2} : forms::Point{};
    return true;
}

void SetSendToMenuSteps(TKwMenuTracking& tracking) {
    tracking.measure_item = [](const TKwMenuItem& item, const forms::Canvas& canvas, TKwMenuItemSize& size) {
        try {
            return HandleMenuMeasureItem(item, canvas, size);
        } catch (const std::exception&) {
            return false;
        }
    };
    tracking.draw_item = [](const TKwMenuItem& item, forms::Canvas& canvas, TKwMenuItemDrawing& drawing) {
        try {
            return HandleMenuDrawItem(item, canvas, drawing);
        } catch (const std::exception&) {
            return false;
        }
    };
    tracking.menu_char = [](char typed, const TKwPopupMenu& submenu) {
        return HandleMenuChar(typed, submenu);
    };
}

std::uint32_t HandleMenuChar(char typed, const TKwPopupMenu& popup) {
    const char key = static_cast<char>(std::toupper(static_cast<unsigned char>(typed)));
    const int count = static_cast<int>(popup.Items.size());
    int current = 0;
    for (int i = 0; i < count; ++i) {
        if (popup.Items[static_cast<std::size_t>(i)].Hilite) {
            current = i;
            break;
        }
    }
    auto begins = [&](int i) {
        const std::string& name = popup.Items[static_cast<std::size_t>(i)].Caption;
        return !name.empty() && std::toupper(static_cast<unsigned char>(name[0])) == key;
    };
    int found = -1;
    for (int i = current + 1; i < count && found < 0; ++i)
        if (begins(i)) found = i;
    for (int i = 0; i <= current && i < count && found < 0; ++i)
        if (begins(i)) found = i;
    if (found < 0) return MNC_CLOSE;
    int matches = 0;
    for (int i = 0; i < count; ++i) matches += begins(i) ? 1 : 0;
    return (static_cast<std::uint32_t>(matches > 1 ? MNC_SELECT : MNC_EXECUTE) << 16) |
           static_cast<std::uint32_t>(found);
}

void SendToTarget(const std::string& name, shell::IDataObject* data) {
    auto target = shell::drop_target_for_path(shell::send_to_directory() + "/" + name);
    if (!target) RaiseShellError(com::E_NOINTERFACE);
    std::uint32_t effect = shell::DROPEFFECT_COPY;
    const shell::POINTL origin{0, 0};
    OleCheck(target->DragEnter(data, shell::MK_LBUTTON, origin, &effect));
    effect = shell::DROPEFFECT_COPY;
    OleCheck(target->DragOver(shell::MK_LBUTTON, origin, &effect));
    const TKwHourglass hourglass;
    effect = shell::DROPEFFECT_COPY;
    OleCheck(target->Drop(data, shell::MK_LBUTTON, origin, &effect));
}

// ---- drag and drop helpers -----------------------------------------------------------------------

std::uint32_t GetAllowedDropEffects(shell::IDataObject* data) {
    constexpr std::uint32_t all = shell::DROPEFFECT_COPY | shell::DROPEFFECT_MOVE | shell::DROPEFFECT_LINK;
    if (!data) return all;
    shell::FORMATETC f;
    f.cfFormat = CF_IDLIST();
    if (com::failed(data->QueryGetData(f))) return all;
    shell::STGMEDIUM m;
    if (com::failed(data->GetData(f, m))) return all;
    std::vector<std::uint8_t> parent;
    std::vector<std::vector<std::uint8_t>> children;
    const bool ok = ReadIdListArrayBlock(m.hGlobal, parent, children);
    shell::release_stg_medium(m);
    if (!ok || children.empty()) return shell::DROPEFFECT_NONE;
    FolderPtr folder;
    if (com::failed(GetShellFolder(parent.data(), folder))) return shell::DROPEFFECT_NONE;
    std::vector<PCIDL> raw;
    for (const auto& c : children) raw.push_back(c.data());
    return all & folder->attributes_of(raw, all);
}

HRESULT SplitIdList(PCIDL absolute, FolderPtr& parent, PIDL& parent_list, PIDL& child) {
    parent.reset();
    parent_list = nullptr;
    child = nullptr;
    TKwIdListArray items(absolute);
    const int n = items.Count();
    if (n == 0) return com::E_INVALIDARG;
    if (n > 1) {
        parent_list = CopyIdList(nullptr, items.StripLast(1));
        const HRESULT hr = GetShellFolder(parent_list, parent);
        if (com::failed(hr)) {
            ShellFree(parent_list);
            parent_list = nullptr;
            return hr;
        }
    } else {
        GetDesktopFolder(parent);
    }
    child = CopyIdList(nullptr, items.Item(n - 1));
    return com::S_OK;
}

HRESULT GetItemUIObject(PCIDL absolute, const com::IID& iid, void** out) {
    if (!out) return com::E_POINTER;
    *out = nullptr;
    FolderPtr parent;
    PIDL parent_list = nullptr, child = nullptr;
    const HRESULT hr = SplitIdList(absolute, parent, parent_list, child);
    ShellFree(parent_list);
    ShellFree(child);
    if (com::failed(hr)) return hr;
    if (iid != shell::IDropTarget::iid) return com::E_NOINTERFACE;
    const std::string path = IdListToPath(absolute);
    const auto target = path.empty() ? nullptr : shell::drop_target_for_path(path);
    if (!target) return com::E_NOINTERFACE;
    return target->QueryInterface(iid, out);
}

namespace {
HRESULT desktop_id_list(PIDL& out) {
    return GetSpecialFolderIdList(0, shell::CSIDL_DESKTOPDIRECTORY, out);
}
}  // namespace

HRESULT GetDesktopDropTarget(com::ComPtr<shell::IDropTarget>& out) {
    out.reset();
    PIDL desktop = nullptr;
    HRESULT hr = desktop_id_list(desktop);
    if (com::succeeded(hr)) hr = GetItemUIObject(desktop, shell::IDropTarget::iid, out.put_void());
    ShellFree(desktop);
    return hr;
}

void SplitDesktopIdList(PIDL& parent_list, PIDL& last_item) {
    parent_list = last_item = nullptr;
    PIDL desktop = nullptr;
    if (com::failed(desktop_id_list(desktop))) return;
    TKwIdListArray items(desktop);
    const int n = items.Count();
    if (n > 0) {
        parent_list = CopyIdList(nullptr, items.StripLast(1));
        last_item = CopyIdList(nullptr, items.Item(n - 1));
    }
    ShellFree(desktop);
}

// ---- other helpers --------------------------------------------------------------------------------

bool PathBeyondRoot(const std::string& path) {
    if (path.empty() || path[0] != '/') return false;
    return !shell::is_mount_point(shell::normalize_path(path));
}

forms::Form* GetOwnerForm(forms::Control* control) {
    forms::Control* top = control;
    while (top && top->parent()) top = top->parent();
    return dynamic_cast<forms::Form*>(top);
}

void ShowShellBox(forms::DialogType type, const std::string& text) {
    forms::MessageBoxRequest r;
    r.type = type;
    r.caption = forms::dialog_caption(r.type);
    r.text = text;
    r.buttons = {forms::DialogButton::ok};
    r.stay_on_top = true;
    forms::show_message_dialog(r);
}

TKwHourglass::TKwHourglass() : saved_(forms::screen().Cursor) {
    forms::screen().Cursor = forms::Cursor::hour_glass;
}

TKwHourglass::~TKwHourglass() {
    forms::screen().Cursor = saved_;
}

void SleepWithHourglass(unsigned milliseconds) {
    const TKwHourglass hourglass;
    if (sleep_function())
        sleep_function()(milliseconds);
    else
        platform::kernel::sleep_ms(milliseconds);
}

namespace {
int& beeps() {
    return unit_state().beeps;
}
TKwMenuTracker& menu_tracker() {
    return unit_state().menu_tracker;
}
}  // namespace

void MessageBeep() {
    ++beeps();
}
int BeepCount() {
    return beeps();
}

TKwMenuTracker SetMenuTracker(TKwMenuTracker tracker) {
    return std::exchange(menu_tracker(), std::move(tracker));
}

namespace {

// An owner-drawn item as its drawing gives it: the text it writes ("&" as itself) and the
// icon it puts beside it. An item the owner does not draw stays as it is.
void take_drawn_look(const TKwMenuItem& item, TKwMenuTracking& tracking, forms::TrackedMenuItem& out) {
    if (!item.OwnerDraw || !tracking.draw_item) return;
    forms::Canvas canvas;
    TKwMenuItemSize size;
    if (tracking.measure_item && !tracking.measure_item(item, canvas, size)) return;
    TKwMenuItemDrawing drawing;
    drawing.Rect = {0, 0, size.Width, size.Height};
    if (!tracking.draw_item(item, canvas, drawing)) return;
    std::string text;
    for (const forms::CanvasCall& call : canvas.calls_of(forms::CanvasOp::text_out)) text += call.text;
    out.caption.clear();
    for (char c : text) out.caption += c == '&' ? std::string("&&") : std::string(1, c);
    if (drawing.Icon >= 0) {
        out.images = &GetSysImageList(0);
        out.image = drawing.Icon;
    }
}

std::vector<forms::TrackedMenuItem> tracked_items(std::vector<TKwMenuItem>& items,
                                                  TKwMenuTracking& tracking) {
    std::vector<forms::TrackedMenuItem> out;
    for (TKwMenuItem& i : items) {
        forms::TrackedMenuItem t;
        t.command = i.Id;
        t.caption = i.Caption;
        t.separator = i.Id == 0 && !i.IsSubmenu && (i.Caption.empty() || i.Caption == "-");
        t.enabled = !i.Grayed;
        t.is_default = i.Default;
        t.is_submenu = i.IsSubmenu;
        t.submenu = tracked_items(i.Submenu, tracking);
        t.origin = &i;
        take_drawn_look(i, tracking, t);
        out.push_back(std::move(t));
    }
    return out;
}

}  // namespace

int TrackPopupMenu(TKwMenuTracking& tracking) {
    if (menu_tracker()) return menu_tracker()(tracking);
    // No tracker of our own: the drawing backend shows the menu (without windows it throws).
    forms::TrackedMenu menu;
    menu.items = tracked_items(tracking.popup.Items, tracking);
    menu.screen_point = tracking.screen_point;
    menu.opening = [&tracking](forms::TrackedMenuItem& item) {
        auto* source = static_cast<TKwMenuItem*>(item.origin);
        if (!source) return;
        TKwPopupMenu submenu{source->Submenu};
        if (tracking.init_popup) tracking.init_popup(submenu);
        source->Submenu = std::move(submenu.Items);
        item.submenu = tracked_items(source->Submenu, tracking);
    };
    menu.highlighted = [&tracking](int id) {
        if (tracking.select) tracking.select(id);
    };
    return forms::backend().track_menu(menu);
}

SleepFunction SetSleepFunction(SleepFunction sleep) {
    return std::exchange(sleep_function(), std::move(sleep));
}

const std::locale& UserLocale() {
    auto& s = unit_state();
    if (!s.user_locale) s.user_locale = environment_locale();
    return *s.user_locale;
}

void SetUserLocale(const std::locale& locale) {
    unit_state().user_locale = locale;
}

int WheelScrollLines() {
    return unit_state().wheel_lines;
}
void SetWheelScrollLines(int lines) {
    unit_state().wheel_lines = lines;
}

bool WheelScroll(TKwScrollable& control, int bar, int line_code, int page_code) {
    const int lines = WheelScrollLines();
    if (lines == -1) {
        control.ScrollBarStep(bar, page_code);
    } else {
        const int steps = bar == SB_HORZ ? 1 : lines;
        for (int i = 0; i < steps; ++i) control.ScrollBarStep(bar, line_code);
    }
    return true;
}

void ResetShellOpsUnitState() {
    unit_state() = ShellOpsUnitState{};
}

}  // namespace shellctl
