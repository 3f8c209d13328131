// The user's side of the shell list: opening items, going up, the default keys, the context
// menu with the own Send To items, renaming in place, and drag and drop in both directions.
#include <algorithm>
#include <cstdlib>

#include "platform/forms/application.h"
#include "platform/forms/keys.h"
#include "platform/forms/message_dialog.h"
#include "platform/kernel/scope_exit.h"
#include "shellctl/kw_sh_consts.h"
#include "shellctl/kw_shell_list.h"
#include "shellctl/kw_shell_list_ole.h"
#include "shellctl/kw_shell_tree.h"

namespace shellctl {

namespace shell = platform::shell;
namespace com = platform::com;
namespace forms = platform::forms;
namespace win = platform::window;
using forms::Point;

namespace {

constexpr int scroll_edge_x = 26;
constexpr int scroll_edge_y = 20;
constexpr std::uint32_t scroll_pause_ms = 100;

void free_all(std::vector<PIDL>& lists) {
    for (PIDL p : lists) ShellFree(p);
    lists.clear();
}

std::vector<PCIDL> const_lists(const std::vector<PIDL>& lists) {
    return {lists.begin(), lists.end()};
}

// The default item of a menu: its command identifier, or 0.
int default_command(const TKwPopupMenu& popup) {
    for (const auto& item : popup.Items)
        if (item.Default && !item.IsSubmenu) return item.Id;
    return 0;
}

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

}  // namespace

// ---- a person's actions ---------------------------------------------------------------------------------

void TKwCustomShellList::click_item(int index, forms::ShiftState shift) {
    ensure_reachable("click in");
    if (index < 0 || index >= static_cast<int>(Items.size()))
        throw forms::FormError(forms::describe(*this) + " has no item " + std::to_string(index));
    auto set = [&](int i, bool selected) {
        auto& item = Items[static_cast<std::size_t>(i)];
        if (item.Selected == selected) return;
        item.Selected = selected;
        if (OnSelectItem) OnSelectItem(*this, i, selected);
    };
    if (shift.ctrl && MultiSelect) {
        set(index, !Items[static_cast<std::size_t>(index)].Selected);
    } else {
        for (int i = 0; i < static_cast<int>(Items.size()); ++i) set(i, i == index);
    }
    SetFocusedItem(index);
    fire(OnClick);
}

void TKwCustomShellList::double_click_item(int index) {
    click_item(index);
    fire(OnDblClick);
    OpenSelection();
}

void TKwCustomShellList::right_click_item(int index) {
    ensure_reachable("right-click in");
    Point pos{Width / 2, Height / 2};
    if (index >= 0) {
        if (index >= static_cast<int>(Items.size()))
            throw forms::FormError(forms::describe(*this) + " has no item " + std::to_string(index));
        if (!Items[static_cast<std::size_t>(index)].Selected) click_item(index);
        SetFocusedItem(index);
        const forms::Rect r = ItemIconRect(index);
        pos = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    } else {
        for (auto& item : Items) item.Selected = false;
    }
    RightClick(pos);
    ContextMenuRequest(false, pos);
    RightButtonUp();
}

void TKwCustomShellList::key_down(int key, forms::ShiftState shift) {
    ensure_reachable("type into");
    if (OnKeyDown) {
        OnKeyDown(*this, key, shift);
        if (key == 0) return;
    }
    if (IsEditing()) {
        if (key == forms::keys::enter)
            EndEdit(true);
        else if (key == forms::keys::escape)
            EndEdit(false);
        return;
    }
    if (KeyForContextMenu(key, shift)) return;
    if (!(options_ & kwsloDefaultKeyHandling) || Designing) return;
    const TShortCut sc = static_cast<TShortCut>((key & 0xFF) | (shift.shift ? scShift : 0) |
                                                (shift.ctrl ? scCtrl : 0) | (shift.alt ? scAlt : 0));
    InitDefaultKeys();
    const TKwShellControlDefKeyRec* keys = DefaultKeys();
    auto is = [&](TKwDefaultKey k) { return keys[k].ShortCut != 0 && keys[k].ShortCut == sc; };
    if (is(dkSelectAll)) {
        SelectAllItems();
    } else if (is(dkRefresh)) {
        FillList();
    } else if (is(dkCopy)) {
        InvokeSelectionVerb("copy");
    } else if (is(dkCut)) {
        InvokeSelectionVerb("cut");
    } else if (is(dkPaste)) {
        InvokeFolderVerb("paste");
        RefreshList();
    } else if (is(dkRename)) {
        if (ItemFocused >= 0) EditCaption(ItemFocused);
    } else if (keys[dkDelete].ShortCut != 0 && (keys[dkDelete].ShortCut | scShift) == (sc | scShift)) {
        InvokeSelectionVerb("delete");
        RefreshList();
    } else if (key == forms::keys::backspace && !shift.ctrl && !shift.alt) {
        ListGoUp(1);
    } else if (key == forms::keys::enter && !shift.ctrl && !shift.alt) {
        OpenSelection();
    }
}

void TKwCustomShellList::MouseWheel(int delta, forms::Control* under) {
    if (under && under != this) {
        if (auto* other = dynamic_cast<TKwCustomShellList*>(under)) {
            other->MouseWheel(delta, nullptr);
            return;
        }
        if (auto* tree = dynamic_cast<TKwCustomShellTree*>(under)) {
            tree->MouseWheel(delta);
            return;
        }
    }
    const int notches = std::max(1, std::abs(delta) / 120);
    const bool down = delta < 0;
    const int bar = ViewStyle == forms::ViewStyle::list ? SB_HORZ : SB_VERT;
    for (int i = 0; i < notches; ++i)
        WheelScroll(*this, bar, down ? SB_LINEDOWN : SB_LINEUP, down ? SB_PAGEDOWN : SB_PAGEUP);
}

// ---- geometry ---------------------------------------------------------------------------------------------

int TKwCustomShellList::VisibleRows() const {
    const int top = ViewStyle == forms::ViewStyle::report ? HeaderHeight : 0;
    return std::max(0, (Height - top) / RowHeight);
}

int TKwCustomShellList::ItemAt(Point client) const {
    const int top = ViewStyle == forms::ViewStyle::report ? HeaderHeight : 0;
    if (client.y < top || client.x < 0 || client.x >= Width || client.y >= Height) return -1;
    if (ViewStyle == forms::ViewStyle::report && !Columns.empty()) {
        int total = 0;
        for (const auto& c : Columns) total += c.Width;
        if (client.x + LeftPos >= total) return -1;
    }
    const int row = TopIndex + (client.y - top) / RowHeight;
    return row < static_cast<int>(Items.size()) ? row : -1;
}

Point TKwCustomShellList::ClientToScreen(Point client) const {
    return client_to_screen(client);
}

Point TKwCustomShellList::ScreenToClient(Point screen) const {
    return screen_to_client(screen);
}

forms::Rect TKwCustomShellList::item_rect(int index) const {
    if (index < 0 || index >= static_cast<int>(Items.size())) return {};
    const int top =
        (ViewStyle == forms::ViewStyle::report ? HeaderHeight : 0) + (index - TopIndex) * RowHeight;
    int right = Width;
    if (ViewStyle == forms::ViewStyle::report && !Columns.empty()) {
        int total = 0;
        for (const auto& c : Columns) total += c.Width;
        right = std::min(right, total - LeftPos);
    }
    return {0, top, right, top + RowHeight};
}

bool TKwCustomShellList::ScrollBarStep(int bar, int code) {
    const bool forward = code == SB_LINEDOWN || code == SB_PAGEDOWN;
    const bool page = code == SB_PAGEUP || code == SB_PAGEDOWN;
    if (bar == SB_VERT) {
        const int last = std::max(0, static_cast<int>(Items.size()) - VisibleRows());
        const int step = page ? std::max(1, VisibleRows()) : 1;
        if (forward ? TopIndex >= last : TopIndex <= 0) return false;
        TopIndex = forward ? std::min(TopIndex + step, last) : std::max(0, TopIndex - step);
        return true;
    }
    int total = 0;
    for (const auto& c : Columns) total += c.Width;
    const int step = page ? std::max(8, Width) : 8;
    if (forward && LeftPos + Width < total) {
        LeftPos += step;
        return true;
    }
    if (!forward && LeftPos > 0) {
        LeftPos = std::max(0, LeftPos - step);
        return true;
    }
    return false;
}

// ---- opening
// ------------------------------------------------------------------------------------------------

void TKwCustomShellList::OpenSelection() {
    CompletePendingRefresh(true);
    const auto indexes = SelectedDataIndexes();
    if (indexes.size() < 2) {
        if (const int i = selected_index(); i >= 0) OpenItem(i);
        return;
    }
    bool handled = false;
    if (OnDefaultAction) OnDefaultAction(*this, handled);
    if (handled) return;
    std::vector<PIDL> lists = SelectedRelativeCopies();
    platform::scope_exit free_lists{[&lists] { free_all(lists); }};
    TKwContextMenu menu;
    OleCheck(GetContextMenu(folder_, const_lists(lists), shell::CMF_EXPLORE, kwFirstShellCommand, menu));
    const int id = default_command(menu.Popup);
    if (id >= kwFirstShellCommand) InvokeCommandOffset(*menu.Menu, id - kwFirstShellCommand);
}

void TKwCustomShellList::OpenItem(int index) {
    CompletePendingRefresh(true);
    TKwShListData* data = ItemData(index);
    bool handled = false;
    if (!data) {
        if (OnDefaultAction) OnDefaultAction(*this, handled);
        return;
    }
    TKwHourglass hourglass;
    PIDL absolute = CopyIdList(nullptr, data->AbsoluteIdList());
    platform::scope_exit free_absolute{[absolute] { ShellFree(absolute); }};
    const std::uint32_t attributes = folder_->attributes_of(data->RelativeIdList(), shell::SFGAO_FOLDER);
    if (attributes & shell::SFGAO_FOLDER) {
        BrowseTo(absolute);
        return;
    }
    if (data->IsShortcut() && BrowseShortcutTarget(*data)) return;
    if (OnDefaultAction) OnDefaultAction(*this, handled);
    if (!handled) OpenDefaultCommand(index);
}

void TKwCustomShellList::OpenDefaultCommand(int index) {
    TKwShListData* data = ItemData(index);
    if (!data) return;
    TKwContextMenu menu;
    OleCheck(
        GetContextMenu(folder_, {data->RelativeIdList()}, shell::CMF_EXPLORE, kwFirstShellCommand, menu));
    const int id = default_command(menu.Popup);
    if (id > kwFirstShellCommand - 1) InvokeCommandOffset(*menu.Menu, id - kwFirstShellCommand);
}

bool TKwCustomShellList::BrowseShortcutTarget(TKwShListData& data) {
    TLinkData link;
    if (com::failed(ResolveShellLink(data.Path(), link, false)) || !link.Directory) return false;
    PIDL target = nullptr;
    if (com::failed(PathToIdList(link.Path, target))) return false;
    BrowseTo(target);
    ShellFree(target);
    return true;
}

void TKwCustomShellList::BrowseTo(PCIDL absolute) {
    if (options_ & kwsloNoBrowse) return;
    DeleteAllItems();
    const int fills = FillCount;
    if (tree_)
        tree_->DriverBrowse(absolute);
    else if (combo_)
        combo_->DriverBrowse(absolute);
    else
        locator_->SetIdList(absolute);
    // The folder shown already (a link to it, or a driver that is there): no change comes to
    // fill the list again, so it is filled here rather than left empty.
    if (FillCount == fills && Items.empty()) FillList();
}

void TKwCustomShellList::ListGoUp(int levels) {
    if (options_ & kwsloNoBrowse) return;
    if (tree_) {
        tree_->DriverGoUp(levels);
    } else if (combo_) {
        combo_->DriverGoUp(levels);
    } else {
        PCIDL list = locator_->IdList();
        TKwIdListArray items(list);
        if (items.Count() < 1) return;
        locator_->SetIdList(items.StripLast(std::min(levels, items.Count())));
    }
}

// ---- verbs and the context menu
// -----------------------------------------------------------------------------

void TKwCustomShellList::InvokeSelectionVerb(const std::string& verb) {
    std::shared_ptr<shell::ContextMenu> menu;
    if (com::failed(GetSelectionUIObject(menu))) return;
    InvokeVerb(*menu, verb);
    if (IsNetworkFolder()) RefreshList();
}

void TKwCustomShellList::InvokeFolderVerb(const std::string& verb) {
    FolderPtr parent;
    PIDL parent_list = nullptr, child = nullptr;
    const HRESULT hr = SplitIdList(folder_list_, parent, parent_list, child);
    ShellFree(parent_list);
    if (com::failed(hr)) RaiseShellError(hr);
    shell::ContextMenu menu(parent, {shell::to_id_list(child)});
    ShellFree(child);
    // A verb the folder does not offer now (paste with nothing cut or copied) does nothing.
    if (!FindVerbOffset(menu, verb)) return;
    OleCheck(InvokeVerb(menu, verb));
}

void TKwCustomShellList::SelectAllItems() {
    for (int i = 0; i < static_cast<int>(Items.size()); ++i) {
        auto& item = Items[static_cast<std::size_t>(i)];
        if (item.Selected) continue;
        item.Selected = true;
        if (OnSelectItem) OnSelectItem(*this, i, true);
    }
}

void TKwCustomShellList::DoItemContextMenu(int item, Point& pos, forms::PopupMenu*& menu) {
    TKwCustomListView::DoItemContextMenu(item, pos, menu);
    if ((options_ & kwsloContextMenus) && !Designing && !dragging_) {
        ShowContextMenu(pos);
        menu = nullptr;
    }
}

void TKwCustomShellList::ShowContextMenu(Point client_point) {
    std::vector<PIDL> lists = SelectedRelativeCopies();
    platform::scope_exit free_lists{[&lists] { free_all(lists); }};
    if (lists.empty()) return;
    std::uint32_t flags = shell::CMF_EXPLORE;
    if (TKwShListData* focused = ItemData(ItemFocused); focused && !focused->Path().empty() && !ReadOnly)
        flags |= shell::CMF_CANRENAME;
    TKwContextMenu menu;
    if (com::failed(GetContextMenu(folder_, const_lists(lists), flags, kwFirstShellCommand, menu))) return;
    tracked_menu_ = menu.Menu;
    platform::scope_exit untrack{[this] { tracked_menu_.reset(); }};
    TKwMenuTracking tracking{menu.Popup, ClientToScreen(client_point),
                             [](TKwPopupMenu& submenu) { HandleMenuInitPopup(submenu); },
                             [this](int id) {
                                 if (OnPopupHint && tracked_menu_)
                                     OnPopupHint(*this, MenuCommandHelp(*tracked_menu_, id));
                             }};
    SetSendToMenuSteps(tracking);
    const int id = TrackPopupMenu(tracking);
    if (id == kwRenameCommand) {
        if (ItemFocused >= 0) EditCaption(ItemFocused);
    } else if (id >= kwFirstShellCommand) {
        InvokeCommandOffset(*menu.Menu, id - kwFirstShellCommand);
        if (IsNetworkFolder()) RefreshList();
    } else if (id >= 1) {
        SendSelectionTo(id - 1);
    }
}

void TKwCustomShellList::SendSelectionTo(int entry) {
    const auto& entries = SendToList();
    if (entry < 0 || entry >= static_cast<int>(entries.size())) RaiseShellError(com::E_INVALIDARG);
    auto data = com::ComPtr<shell::IDataObject>::share(new TDataObject_shlv(*this));
    SendToTarget(entries[static_cast<std::size_t>(entry)].Name, data.get());
}

void TKwCustomShellList::NewFolder() {
    const std::string parent = FolderPath();
    std::string name;
    if (!CreateNewFolder(parent, name)) return;
    NameToSelect = name;
    RefreshList();
    win::post_message(Handle(), WM_KWSELECTNAME);
}

// ---- renaming
// -------------------------------------------------------------------------------------------------

bool TKwCustomShellList::CanEdit(int index) {
    if (index < 0 || index >= static_cast<int>(Items.size())) return false;
    TKwShListData* data = ItemData(index);
    if (!data) {
        EditText = Items[static_cast<std::size_t>(index)].Caption;
        edit_offered_ = EditText;
        return !ReadOnly;
    }
    if (!data->CanRename() || ReadOnly || Designing) return false;
    // The editor holds the name as it is edited (an extension the caption hides is shown).
    EditText =
        folder_->display_name_of(data->RelativeIdList(), shell::SHGDN_INFOLDER | shell::SHGDN_FOREDITING);
    edit_offered_ = EditText;
    return true;
}

bool TKwCustomShellList::EditCaption(int index) {
    if (IsEditing()) EndEdit(false);
    if (!CanEdit(index)) return false;
    editing_ = index;
    SetFocusedItem(index);
    return true;
}

bool TKwCustomShellList::RenameItem(int index, const std::string& text) {
    TKwShListData* data = ItemData(index);
    TKwHourglass hourglass;
    // The rename's own change notice is not to refresh the list.
    ignore_next_change_ = true;
    shell::IdList renamed;
    const std::string old_name =
        folder_->display_name_of(data->RelativeIdList(), shell::SHGDN_FORPARSING | shell::SHGDN_INFOLDER);
    const HRESULT hr = folder_->set_name_of(data->RelativeIdList(), text, renamed);
    if (com::failed(hr)) {
        // No notice comes for a rename that did not happen: the next real change must count.
        ignore_next_change_ = false;
        ShowShellBox(forms::DialogType::warning, "Unable to rename '" + shell::display_text(old_name) +
                                                     "' to '" + shell::display_text(text) + "'.\n\n" +
                                                     shell::error_text(hr));
        return false;
    }
    if (text == old_name) ignore_next_change_ = false;  // nothing changed on disk
    auto* relative = static_cast<PIDL>(ShellAlloc(renamed.size()));
    std::copy(renamed.begin(), renamed.end(), relative);
    data->SetRelative(relative);
    Items[static_cast<std::size_t>(index)].Caption =
        folder_->display_name_of(relative, shell::SHGDN_INFOLDER);
    return true;
}

void TKwCustomShellList::EndEdit(bool accept) {
    const int index = editing_;
    editing_ = -1;
    if (index < 0) return;
    if (accept) {
        if (TKwShListData* data = ItemData(index)) {
            // The editor held the display form of the name: left as offered it is no rename,
            // even for a name the display cannot show exactly.
            const std::string name = folder_->display_name_of(
                data->RelativeIdList(), shell::SHGDN_FORPARSING | shell::SHGDN_INFOLDER);
            std::string text = shell::edited_name(name, edit_offered_, EditText);
            if (OnEdited) OnEdited(*this, index, text);
            if (text != name) RenameItem(index, text);
        } else {
            std::string text = trimmed(EditText);
            if (OnEdited) OnEdited(*this, index, text);
            Items[static_cast<std::size_t>(index)].Caption = text;
        }
    }
    const bool pending = refresh_pending_;
    refresh_pending_ = false;
    if (pending) RefreshList();
}

// ---- drag from the list
// ----------------------------------------------------------------------------------------

std::uint32_t TKwCustomShellList::SelectionDropEffects() {
    constexpr std::uint32_t all = shell::DROPEFFECT_COPY | shell::DROPEFFECT_MOVE | shell::DROPEFFECT_LINK;
    std::vector<PIDL> lists = SelectedRelativeCopies();
    platform::scope_exit free_lists{[&lists] { free_all(lists); }};
    if (lists.empty() || !folder_) return 0;
    // The attribute bits are the effects: SFGAO_CANCOPY, CANMOVE, CANLINK.
    const auto raw = const_lists(lists);
    return all & folder_->attributes_of(std::span<const PCIDL>(raw), all);
}

shell::IDropSource* TKwCustomShellList::CreateDropSource(int button) {
    return new TDropSource_shlvtv(button);
}

void TKwCustomShellList::StartOleDrag(int button) {
    if (!(options_ & kwsloOleDrag)) return;
    BeginDrag();
    dragging_ = true;
    has_dragged_ = true;
    bool refresh = false;
    // Whatever happens during the drag, the list leaves its dragging state: a list left
    // "dragging" would defer every later fill and refresh for good.
    {
        platform::scope_exit end{[this] {
            dragging_ = false;
            refresh_pending_ = false;
            dragged_out_ = nullptr;
        }};
        auto data = com::ComPtr<shell::IDataObject>::share(new TDataObject_shlv(*this));
        dragged_out_ = data.get();
        const std::uint32_t allowed = SelectionDropEffects();
        auto source = com::ComPtr<shell::IDropSource>::share(CreateDropSource(button));
        std::uint32_t effect = shell::DROPEFFECT_NONE;
        const HRESULT hr = shell::do_drag_drop(data.get(), source.get(), allowed, &effect);
        refresh = hr == shell::DRAGDROP_S_DROP || refresh_pending_;
    }
    if (refresh) {
        RefreshList();
        SortItems();
    }
}

// ---- drops onto the list
// -----------------------------------------------------------------------------------------

void TKwCustomShellList::SetDropHighlight(int index) {
    drop_highlight_ = index;
}

com::ComPtr<shell::IDropTarget> TKwCustomShellList::FolderDropTarget() {
    const std::string path = FolderPath();
    if (path.empty()) return {};
    return shell::drop_target_for_path(path);
}

com::ComPtr<shell::IDropTarget> TKwCustomShellList::TargetAt(shell::POINTL point, int& item,
                                                             bool& own_background) {
    own_background = false;
    item = ItemAt(ScreenToClient({point.x, point.y}));
    if (item >= 0) {
        TKwShListData* data = ItemData(item);
        if (!data) return {};
        if (auto target = shell::drop_target_for_path(data->Path())) return target;
        item = -1;  // the folder takes it; no item is highlighted
        return FolderDropTarget();
    }
    if (dragging_) {
        own_background = true;
        return {};
    }
    return FolderDropTarget();
}

HRESULT TKwCustomShellList::DoDragEnter(shell::IDataObject* data, std::uint32_t key_state,
                                        std::uint32_t* effect, shell::POINTL point) {
    if (!effect) return com::E_INVALIDARG;
    try {
        last_scroll_time_ = Clock();
        if (dragged_in_) dragged_in_->Release();
        dragged_in_ = data;
        if (dragged_in_) dragged_in_->AddRef();
        drag_in_key_state_ = key_state;
        int item = -1;
        bool own_background = false;
        auto target = TargetAt(point, item, own_background);
        if (own_background && (key_state & shell::MK_RBUTTON)) {
            *effect = shell::DROPEFFECT_COPY;
            SetDropHighlight(-1);
            return com::S_OK;
        }
        if (!target) {
            SetDropHighlight(-1);
            *effect = shell::DROPEFFECT_NONE;
            return com::S_OK;
        }
        const HRESULT hr = target->DragEnter(data, key_state, point, effect);
        target->DragLeave();
        SetDropHighlight(-1);
        if (*effect != shell::DROPEFFECT_NONE) SetDropHighlight(item);
        return hr;
    } catch (const std::exception&) {
        *effect = shell::DROPEFFECT_NONE;
        return com::S_OK;
    }
}

HRESULT TKwCustomShellList::DoDragOver(std::uint32_t key_state, std::uint32_t* effect, shell::POINTL point) {
    if (!effect) return com::E_INVALIDARG;
    try {
        const int before = drop_highlight_;
        int item = -1;
        bool own_background = false;
        auto target = TargetAt(point, item, own_background);
        if (item >= 0 && !ItemData(item)) {
            *effect = shell::DROPEFFECT_COPY;
            SetDropHighlight(-1);
            return com::S_OK;
        }
        if (own_background && (key_state & shell::MK_RBUTTON)) {
            *effect = shell::DROPEFFECT_COPY;
            SetDropHighlight(-1);
            return com::S_OK;
        }
        HRESULT hr = com::S_OK;
        if (target) {
            const std::uint32_t offered = *effect;
            std::uint32_t e = offered;
            target->DragEnter(dragged_in_, key_state, point, &e);
            e = offered;
            hr = target->DragOver(key_state, point, &e);
            target->DragLeave();
            *effect = e;
            if (e == shell::DROPEFFECT_NONE)
                SetDropHighlight(-1);
            else if (item != drop_highlight_)
                SetDropHighlight(item);
        } else {
            *effect = shell::DROPEFFECT_NONE;
            SetDropHighlight(-1);
        }
        AutoScroll(ScreenToClient({point.x, point.y}));
        *effect |= shell::DROPEFFECT_SCROLL;
        if (drop_highlight_ != before) Repaint();
        return hr;
    } catch (const std::exception&) {
        *effect = shell::DROPEFFECT_NONE;
        return com::S_OK;
    }
}

void TKwCustomShellList::AutoScroll(Point client) {
    const std::uint32_t now = Clock();
    if (now - last_scroll_time_ <= scroll_pause_ms) return;
    if (client.x < scroll_edge_x)
        ScrollBarStep(SB_HORZ, SB_LINEUP);
    else if (client.x > Width - scroll_edge_x)
        ScrollBarStep(SB_HORZ, SB_LINEDOWN);
    if (client.y < scroll_edge_y)
        ScrollBarStep(SB_VERT, SB_LINEUP);
    else if (client.y > Height - scroll_edge_y)
        ScrollBarStep(SB_VERT, SB_LINEDOWN);
    last_scroll_time_ = now;
}

HRESULT TKwCustomShellList::DoDragLeave() {
    if (dragged_in_) dragged_in_->Release();
    dragged_in_ = nullptr;
    SetDropHighlight(-1);
    return com::S_OK;
}

HRESULT TKwCustomShellList::DoDrop(shell::IDataObject* data, std::uint32_t key_state, std::uint32_t* effect,
                                   shell::POINTL point) {
    if (!effect) return com::E_INVALIDARG;
    HRESULT hr = com::S_OK;
    try {
        int item = -1;
        bool own_background = false;
        auto target = TargetAt(point, item, own_background);
        if (own_background && (drag_in_key_state_ & shell::MK_RBUTTON)) {
            // The list's own items onto its own folder: a copy or a link, never a move.
            *effect &= ~shell::DROPEFFECT_MOVE;
            target = FolderDropTarget();
        }
        if (target) {
            key_state |= drag_in_key_state_ & (shell::MK_RBUTTON | shell::MK_LBUTTON);
            std::uint32_t e = *effect;
            target->DragEnter(data, key_state, point, &e);
            e = *effect;
            target->DragOver(key_state, point, &e);
            *effect &= GetAllowedDropEffects(data);
            TKwHourglass hourglass;
            hr = target->Drop(data, key_state, point, effect);
            RefreshList();
        } else {
            *effect = shell::DROPEFFECT_NONE;
        }
    } catch (const std::exception&) {
        // A drop never raises to the drag loop: what failed is no drop.
        *effect = shell::DROPEFFECT_NONE;
        hr = com::S_OK;
    }
    SetDropHighlight(-1);
    if (dragged_in_) dragged_in_->Release();
    dragged_in_ = nullptr;
    return hr;
}

}  // namespace shellctl
