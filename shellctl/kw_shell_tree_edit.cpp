// The shell tree's editing side: rename in place, new folder, verbs, the default keys, the
// shell context menu with its Send To items, and the mouse wheel.
#include <algorithm>
#include <cstdlib>

#include "platform/forms/keys.h"
#include "platform/forms/message_dialog.h"
#include "platform/kernel/scope_exit.h"
#include "shellctl/kw_sh_consts.h"
#include "shellctl/kw_shell_tree.h"

namespace shellctl {

namespace forms = platform::forms;
namespace shell = platform::shell;
namespace com = platform::com;
using Node = forms::TreeNode;

namespace {

constexpr int kWheelDelta = 120;

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

}  // namespace

// ---- rename in place ----------------------------------------------------------------------------------

bool TKwCustomShellTree::EditNode(Node* node) {
    if (!node || ReadOnly || Designing || IsEditing()) return false;
    auto* data = NodeData(node);
    if (data && !data->CanRename()) return false;
    bool allow = true;
    if (OnEditing) OnEditing(*this, node, allow);
    if (!allow) return false;
    editing_ = node;
    EditText = data ? GetDisplayName(data->ParentFolder(), data->RelativeIdList(), nkForEditing) : node->Text;
    edit_offered_ = EditText;
    return true;
}

void TKwCustomShellTree::InvalidateDescendants(Node* node) {
    for (const auto& child : node->children()) {
        if (auto* d = NodeData(child.get())) d->Invalidate();
        InvalidateDescendants(child.get());
    }
}

void TKwCustomShellTree::EndEdit(bool cancel) {
    Node* node = editing_;
    if (!node) return;
    editing_ = nullptr;
    // A refresh asked for while the editor was open runs now, whatever became of the edit.
    platform::scope_exit pending{[this] {
        if (!pending_refresh_) return;
        pending_refresh_ = false;
        try {
            RefreshTree();
        } catch (const Exception& e) {
            HandleException(e);
        }
    }};
    if (cancel) return;
    auto* data = NodeData(node);
    if (!data) {
        node->Text = trimmed(EditText);
        return;
    }
    const FolderPtr folder = data->ParentFolder();
    // The editor held the display form of the name: left as offered it is no rename, even for
    // a name the display cannot show exactly.
    const std::string name = folder ? folder->display_name_of(data->RelativeIdList(),
                                                              shell::SHGDN_FORPARSING | shell::SHGDN_INFOLDER)
                                    : std::string{};
    std::string text = shell::edited_name(name, edit_offered_, EditText);
    if (OnEdited) OnEdited(*this, node, text);
    if (folder && text == name) return;
    const TKwHourglass hourglass;
    ignore_next_notification_ = true;
    const UpdateGuard guard(*this);
    shell::IdList renamed;
    const HRESULT hr = folder ? folder->set_name_of(data->RelativeIdList(), text, renamed) : com::E_FAIL;
    if (com::failed(hr)) {
        // No change comes from a rename that did not happen: the next one is real.
        ignore_next_notification_ = false;
        forms::MessageBoxRequest box;
        box.type = forms::DialogType::warning;
        box.caption = forms::dialog_caption(box.type);
        box.text = "Unable to rename '" + node->Text + "' to '" + shell::display_text(text) + "'.\n\n" +
                   shell::error_text(hr);
        box.buttons = {forms::DialogButton::ok};
        box.stay_on_top = true;
        forms::show_message_dialog(box);
        return;
    }
    if (!renamed.empty()) {
        InvalidateDescendants(node);
        data->ReplaceRelative(renamed.data());
        node->Text = GetDisplayName(folder, data->RelativeIdList(), nkInFolder);
        selection_.SetIdList(data->AbsoluteIdList());
        if (shell_list_) shell_list_->FollowDriverSelection(selection_.IdList());
    } else {
        node->Text = GetDisplayName(folder, data->RelativeIdList(), nkInFolder);
    }
    SortChildren(node->parent());
}

// ---- new folder and verbs ---------------------------------------------------------------------------------

bool TKwCustomShellTree::CreateFolderHere() {
    const std::string path = SelectedPath();
    ignore_next_notification_ = true;
    std::string name;
    if (!CreateNewFolder(path, name)) {
        ignore_next_notification_ = false;
        return false;
    }
    PCIDL selected = selection_.IdList();
    SleepWithHourglass(selected && IdListSize(selected) > 2 ? 1000 : 2100);
    RefreshTree();
    Node* parent = Selected;
    if (!parent) return true;
    FillIfNeeded(parent);
    ExpandNode(parent);
    for (const auto& child : parent->children()) {
        if (child->Text == name) {
            MakeVisible(child.get());
            EditNode(child.get());
            break;
        }
    }
    return true;
}

bool TKwCustomShellTree::InvokeNodeVerb(Node* node, const std::string& verb) {
    // The root and nodes outside the namespace have no verbs: nothing was done.
    auto* data = NodeData(node);
    if (!data || !data->Parent()) return false;
    TKwContextMenu menu;
    const PCIDL item = data->RelativeIdList();
    OleCheck(GetContextMenu(data->ParentFolder(), {item}, shell::CMF_EXPLORE | shell::CMF_CANRENAME,
                            kwFirstShellCommand, menu));
    const HRESULT hr = InvokeVerb(*menu.Menu, verb);
    RefreshTree();
    return com::succeeded(hr);
}

// ---- the context menu -------------------------------------------------------------------------------------

void TKwCustomShellTree::DoNodeContextMenu(Node* node, forms::Point& pos, forms::PopupMenu*& menu) {
    TKwCustomTreeView::DoNodeContextMenu(node, pos, menu);
    if (!Has(kwstoContextMenus) || Designing || !node) return;
    ShowShellContextMenu(node, pos);
    menu = nullptr;  // the shell's menu was the menu: no ordinary one follows
    SetMenuHandled(true);
}

void TKwCustomShellTree::ShowShellContextMenu(Node* node, forms::Point point) {
    auto* data = NodeData(node);
    if (!data) return;
    PCIDL absolute = data->AbsoluteIdList();
    const FolderPtr parent = data->ParentFolder();
    if (!parent || !absolute || IdListSize(absolute) <= 2) return;
    const std::uint32_t flags = ReadOnly ? shell::CMF_EXPLORE : (shell::CMF_EXPLORE | shell::CMF_CANRENAME);
    TKwContextMenu menu;
    if (com::failed(GetContextMenu(parent, {data->RelativeIdList()}, flags, kwFirstShellCommand, menu)))
        return;
    TKwMenuTracking tracking{menu.Popup, point, [](TKwPopupMenu& submenu) { HandleMenuInitPopup(submenu); },
                             [&](int id) {
                                 if (OnPopupHint) OnPopupHint(*this, MenuCommandHelp(*menu.Menu, id));
                             }};
    SetSendToMenuSteps(tracking);
    modal_ = true;
    int result = 0;
    try {
        result = TrackPopupMenu(tracking);
    } catch (...) {
        modal_ = false;
        throw;
    }
    modal_ = false;
    if (result == kwRenameCommand) {
        EditNode(node);
    } else if (result >= kwFirstShellCommand) {
        InvokeCommandOffset(*menu.Menu, result - kwFirstShellCommand);
        RefreshTree();
    } else if (result >= 1) {
        RunExtraMenuCommand(node, result - 1);
    }
    // A change seen while the menu was open.
    if (pending_refresh_ && !IsEditing()) {
        pending_refresh_ = false;
        RefreshTree();
    }
}

void TKwCustomShellTree::RunExtraMenuCommand(Node* node, int index) {
    const auto& entries = SendToList();
    if (index < 0 || index >= static_cast<int>(entries.size())) return;
    auto data = com::ComPtr<shell::IDataObject>::share(new TDataObject_shtv(NodeData(node)));
    SendToTarget(entries[static_cast<std::size_t>(index)].Name, data.get());
}

// ---- keys and the wheel
// ----------------------------------------------------------------------------------------

void TKwCustomShellTree::key_down(int key, forms::ShiftState shift) {
    ensure_reachable("type into");
    if (IsEditing()) {
        if (key == forms::keys::enter) EndEdit(false);
        if (key == forms::keys::escape) EndEdit(true);
        return;
    }
    if (OnKeyDown) OnKeyDown(*this, key, shift);
    if (key == 0 || KeyForContextMenu(key, shift)) return;
    if (Has(kwstoDefaultKeyHandling) && !Designing) KeyForDefaults(key, shift);
}

bool TKwCustomShellTree::KeyForDefaults(int key, forms::ShiftState shift) {
    InitDefaultKeys();
    TShortCut pressed = static_cast<TShortCut>(key & 0xFF);
    if (shift.shift) pressed |= scShift;
    if (shift.ctrl) pressed |= scCtrl;
    if (shift.alt) pressed |= scAlt;
    const auto* keys = DefaultKeys();
    auto is = [&](TKwDefaultKey k, TShortCut sc) { return keys[k].ShortCut != 0 && keys[k].ShortCut == sc; };
    if (is(dkRename, pressed)) {
        EditNode(Selected);
    } else if (is(dkRefresh, pressed)) {
        RefreshTree();
    } else if (is(dkCut, pressed)) {
        InvokeNodeVerb(Selected, "cut");
    } else if (is(dkCopy, pressed)) {
        InvokeNodeVerb(Selected, "copy");
    } else if (is(dkPaste, pressed)) {
        InvokeNodeVerb(Selected, "paste");
        RefreshTree();
    } else if (is(dkDelete, pressed) || is(dkDelete, static_cast<TShortCut>(pressed & ~scShift))) {
        InvokeNodeVerb(Selected, "delete");
        RefreshTree();
    } else {
        return false;
    }
    return true;
}

void TKwCustomShellTree::MouseWheel(int delta) {
    ensure_reachable("turn the wheel over");
    const int notches = delta / kWheelDelta;
    if (notches == 0 || RowCount() <= PageRows()) return;
    const bool down = notches < 0;
    for (int i = 0; i < std::abs(notches); ++i)
        WheelScroll(*this, SB_VERT, down ? SB_LINEDOWN : SB_LINEUP, down ? SB_PAGEDOWN : SB_PAGEUP);
}

}  // namespace shellctl
