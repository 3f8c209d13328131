// The shell tree: filling, navigation, selection, refresh and watching.
#include "shellctl/kw_shell_tree.h"

#include <algorithm>
#include <cstring>

#include "platform/kernel/kernel.h"
#include "platform/kernel/scope_exit.h"
#include "platform/shell/mounts.h"

namespace shellctl {

namespace forms = platform::forms;
namespace shell = platform::shell;
namespace com = platform::com;
namespace win = platform::window;
using Node = forms::TreeNode;
using forms::Rect;

namespace {

// What the tree asks of every item it may show.
constexpr std::uint32_t kAddItemMask = 0xF20B0000u;

// The signed 16-bit code part of a folder's comparison, as the tree sorts and matches with it.
int compare_code(const FolderPtr& folder, PCIDL a, PCIDL b) {
    return static_cast<std::int16_t>(std::clamp(folder->compare_ids(0, a, b), -32768, 32767));
}

bool same_list(PCIDL a, PCIDL b) {
    const std::size_t sa = IdListSize(a), sb = IdListSize(b);
    if (sa <= 2 && sb <= 2) return true;  // none and the empty list are both the root
    return sa == sb && std::memcmp(a, b, sa) == 0;
}

}  // namespace

TKwCustomShellTree::TKwCustomShellTree() {
    StartShellControls();
    timer_ = std::make_unique<forms::Timer>();
    timer_->set_enabled(false);
    timer_->OnTimer = [this](forms::Component&) { TimerFired(); };
    base_folder_.OnChange = [this](TKwShellLocator&) { BaseFolderChanged(); };
    selection_.OnChange = [this](TKwShellLocator&) { SelectionLocatorChanged(); };
    ShowRoot = false;
    Images = &GetSysImageList(0);
    TickCount = [] { return platform::kernel::tick_count(); };
    NodeTextRect = [this](Node* node) {
        Rect r = NodeRect(node);
        r.left += (node->level() + (ShowRoot ? 1 : 0)) * Indent + 20;
        r.right = r.left + static_cast<int>(node->Text.size()) * 6 + 4;
        return r;
    };
    window_ = std::make_unique<forms::HiddenWindow>(
        "TKwShellTreeWindow",
        [this](std::uint32_t m, win::WParam w, win::LParam l) { return HandleMessage(m, w, l); });
    DeviceChangeHandler().Register(this, [this](TKwDeviceChangeHandler&, win::Message& m) {
        DeviceChange(static_cast<std::uint32_t>(m.wparam));
    });
}

TKwCustomShellTree::~TKwCustomShellTree() {
    if (shell_list_) shell_list_->SetTree(nullptr);
    DestroyNodes();  // every node's data goes through this class's deletion step
    UnregisterDeviceChange(this);
    RevokeDropTarget();
    timer_.reset();
    watcher_.reset();  // joins the thread before its target window goes
    window_.reset();
    FinishShellControls();
}

win::Result TKwCustomShellTree::HandleMessage(std::uint32_t message, win::WParam, win::LParam) {
    if (message == WM_KWCHANGENOTIFY) {
        ChangeNotify();
    } else if (message == WM_KWAUTOFILL) {
        // The tree is placed before its owner sets its options: they are the ones in force now.
        if (Has(kwstoAutoFill) && roots().empty()) FillRoot();
    }
    return 0;
}

std::uint32_t TKwCustomShellTree::Now() const {
    return TickCount ? TickCount() : platform::kernel::tick_count();
}

// ---- window life and options ------------------------------------------------------------------------

void TKwCustomShellTree::attached() {
    window_created_ = true;
    DragDisabled = !Has(kwstoOleDrag);
    if (Has(kwstoOleDrop) && !Designing) RegisterDropTarget();
    if (!Loading) {
        if (Has(kwstoAutoFill) && roots().empty()) win::post_message(window_->handle(), WM_KWAUTOFILL, 0, 0);
        if (shell_list_) shell_list_->FollowDriverSelection(selection_.IdList());
    }
}

void TKwCustomShellTree::SetOptions(TKwShellTreeOptions options) {
    const TKwShellTreeOptions old = options_;
    options_ = options;
    if (!window_created_) return;
    const auto switched_on = [&](TKwShellTreeOption o) { return !(old & option_bit(o)) && Has(o); };
    const auto switched_off = [&](TKwShellTreeOption o) { return (old & option_bit(o)) && !Has(o); };
    DragDisabled = !Has(kwstoOleDrag);
    if (switched_on(kwstoOleDrop)) RegisterDropTarget();
    if (switched_off(kwstoOleDrop)) RevokeDropTarget();
    if (switched_on(kwstoDynamicRefresh) && !Designing) WatchAllDrives();
    if (switched_off(kwstoDynamicRefresh) && watcher_) {
        watcher_->RemoveAllWatches();
        watch_count_ = 0;
    }
}

void TKwCustomShellTree::SetShellList(TKwCustomShellList* list) {
    if (list == shell_list_) return;
    if (shell_list_) shell_list_->SetTree(nullptr);
    shell_list_ = list;
    if (!shell_list_) return;
    shell_list_->SetTree(this);
    shell_list_->FollowDriverSelection(selection_.IdList());
}

void TKwCustomShellTree::DriverListGone(TKwCustomShellList* list) {
    if (list == shell_list_) shell_list_ = nullptr;
}

void TKwCustomShellTree::DriverCompletePendingRefresh() {
    if (timer_->enabled() && timer_->Tag == 2) TimerFired();
}

void TKwCustomShellTree::RegisterDropTarget() {
    if (drop_target_registered_) return;
    auto target = com::ComPtr<shell::IDropTarget>::share(new TDropTarget_shtv(this));
    drop_target_registered_ = com::succeeded(shell::register_drag_drop(window_->handle(), target.get()));
}

void TKwCustomShellTree::RevokeDropTarget() {
    if (!drop_target_registered_) return;
    shell::revoke_drag_drop(window_->handle());
    drop_target_registered_ = false;
}

// ---- locators -----------------------------------------------------------------------------------------

void TKwCustomShellTree::BaseFolderChanged() {
    if (Loading) return;
    selection_.Clear();
    if (Has(kwstoAutoFill)) {
        immediate_selection_ = true;
        FillRoot();
    }
}

void TKwCustomShellTree::SelectionLocatorChanged() {
    if (!roots().empty()) SelectIdList(selection_.IdList());
}

void TKwCustomShellTree::AssignSelection(TKwShellLocator& locator) {
    if (Loading || update_count_ > 0) {
        if (shell_list_) shell_list_->AssignLocator(locator);
        return;
    }
    selection_.Assign(&locator);
}

void TKwCustomShellTree::FlushPendingSelection(bool cascade) {
    if (cascade && shell_list_) shell_list_->CompletePendingRefresh(false);
    if (timer_->enabled()) TimerFired();
}

// ---- filling --------------------------------------------------------------------------------------------

std::uint32_t TKwCustomShellTree::EnumFlags() const {
    std::uint32_t flags = shell::SHCONTF_FOLDERS;
    if (Has(kwstoShowHidden)) flags |= shell::SHCONTF_INCLUDEHIDDEN;
    if (Has(kwstoIncludeNonFolders)) flags |= shell::SHCONTF_NONFOLDERS;
    return flags;
}

void TKwCustomShellTree::FillRoot() {
    if (modal_ || IsEditing()) {
        pending_refresh_ = true;
        return;
    }
    const TKwHourglass hourglass;
    {
        const UpdateGuard guard(*this);
        Selected = nullptr;
        DestroyNodes();
        TopRow = 0;
    }
    FolderPtr root;
    PCIDL base = base_folder_.IdList();
    OleCheck(base ? GetShellFolder(base, root) : GetDesktopFolder(root));
    filling_all_ = true;
    try {
        PopulateNode(root, nullptr);
        if (PCIDL wanted = selection_.IdList()) {
            SelectIdList(wanted);
        } else if (!roots().empty()) {
            SelectNode(roots().front().get());
        }
    } catch (...) {
        filling_all_ = false;
        throw;
    }
    filling_all_ = false;
    FlushPendingSelection(false);
    if (Has(kwstoDynamicRefresh) && !Designing) WatchAllDrives();
}

void TKwCustomShellTree::PopulateNode(const FolderPtr& folder, Node* node) {
    if (OnFillStart) OnFillStart(*this);
    PIDL absolute = nullptr;
    Node* filled = node;
    // The fill always ends with its children sorted and OnFillComplete, also when the folder
    // cannot be read to the end.
    platform::scope_exit finish{[this, &filled, &absolute] {
        ShellFree(absolute);
        if (filled) SortChildren(filled);
        if (OnFillComplete) OnFillComplete(*this);
    }};

    if (node) {
        absolute = CopyIdList(nullptr, NodeData(node)->AbsoluteIdList());
    } else {
        absolute = CopyIdList(nullptr, base_folder_.IdList());
        filled = add(nullptr, GetAbsDisplayName(absolute));
        auto* data = new TKwShTreeData(this);
        data->Init(nullptr, absolute);
        data->SetOwnFolder(folder);
        filled->Data = reinterpret_cast<std::intptr_t>(data);
        filled->ImageIndex = GetSysIconIndex(absolute, SHGFI_SMALLICON);
        filled->SelectedIndex = GetSysIconIndex(absolute, SHGFI_SMALLICON | SHGFI_OPENICON);
        filled->HasChildren = true;
        InsertedNode(filled);
    }
    if (!folder) {
        filled->HasChildren = false;
        return;
    }
    std::vector<shell::IdList> items;
    const HRESULT hr = folder->enum_objects(EnumFlags(), items);
    // Nothing read: the folder cannot be read, and keeps its button.
    if (com::failed(hr) && items.empty()) return;
    bool added_any = false;
    for (const auto& item : items) {
        Node* added = nullptr;
        OleCheck(AddShellItem(folder, absolute, item.data(), filled, &added));
        added_any = added_any || added;
    }
    // A reading that broke off (E_FAIL) keeps what it read; any other end code is raised.
    if (com::failed(hr) && hr != com::E_FAIL) RaiseShellError(hr);
    if (!added_any && filled->count() == 0) filled->HasChildren = false;
    if (!node) filled->Expanded = true;
    if (node && !filling_all_ && Has(kwstoDynamicRefresh) && !Designing) WatchDrive(NodeData(node)->Path());
}

HRESULT TKwCustomShellTree::AddShellItem(const FolderPtr& folder, PCIDL parent_absolute, PCIDL item,
                                         Node* parent, Node** added) {
    if (added) *added = nullptr;
    if (!item || !folder) return com::S_OK;
    const std::uint32_t attrs = folder->attributes_of(item, kAddItemMask);
    const bool qualifies =
        Has(kwstoVirtualFolders) || (attrs & (shell::SFGAO_FILESYSTEM | shell::SFGAO_FILESYSANCESTOR));
    if (!qualifies || !DoAddItem(folder, parent_absolute, attrs, item)) return com::S_OK;
    Node* node = add(parent, GetItemDisplayName(folder, item, shell::SHGDN_INFOLDER));
    const bool is_folder = attrs & shell::SFGAO_FOLDER, has_sub = attrs & shell::SFGAO_HASSUBFOLDER;
    node->HasChildren = Has(kwstoIncludeNonFolders) ? (is_folder || has_sub) : (is_folder && has_sub);
    if (attrs & shell::SFGAO_SHARE) {
        node->OverlayIndex = 0;
    } else if (attrs & shell::SFGAO_LINK) {
        node->OverlayIndex = 1;
    }
    node->Cut = attrs & shell::SFGAO_GHOSTED;
    node->ImageIndex = node->SelectedIndex = 0;  // looked up when first shown
    auto* data = new TKwShTreeData(this);
    data->Init(NodeData(parent), item);
    node->Data = reinterpret_cast<std::intptr_t>(data);
    InsertedNode(node);
    if (added) *added = node;
    return com::S_OK;
}

bool TKwCustomShellTree::DoAddItem(const FolderPtr& folder, PCIDL parent_absolute, std::uint32_t attributes,
                                   PCIDL item) {
    bool allow = true;
    if (OnAddItem) OnAddItem(*this, folder, parent_absolute, item, attributes, allow);
    return allow;
}

void TKwCustomShellTree::InsertedNode(Node* node) {
    if (OnInsertItem) OnInsertItem(*this, node);
}

int TKwCustomShellTree::NodeImageIndex(Node* node, bool selected) {
    int& index = selected ? node->SelectedIndex : node->ImageIndex;
    if (index == 0 && IsShellNode(node)) {
        index = GetSysIconIndex(NodeData(node)->AbsoluteIdList(),
                                SHGFI_SMALLICON | (selected ? SHGFI_OPENICON : 0));
    }
    return index;
}

bool TKwCustomShellTree::CanExpand(Node* node) {
    if (expansion_block_) return false;
    if (!TKwCustomTreeView::CanExpand(node)) return false;
    FillIfNeeded(node);
    return true;
}

void TKwCustomShellTree::FillIfNeeded(Node* node) {
    if (!IsShellNode(node) || !node->HasChildren || node->count() > 0) return;
    const TKwHourglass hourglass;
    PopulateNode(NodeData(node)->OwnFolder(), node);
}

void TKwCustomShellTree::ExpandNode(Node* node) {
    if (node && !node->Expanded && CanExpand(node)) node->Expanded = true;
}

void TKwCustomShellTree::SelectNode(Node* node) {
    if (node == Selected) return;
    Selected = node;
    Change(node);
}

void TKwCustomShellTree::SortChildren(Node* node) {
    sort_children(node, [this](const Node& a, const Node& b) { return CompareNodes(a, b) < 0; });
}

int TKwCustomShellTree::CompareNodes(const Node& a, const Node& b) const {
    auto* da = NodeData(&a);
    auto* db = NodeData(&b);
    if (!da || !db) return 0;
    const FolderPtr folder = da->ParentFolder();
    if (!folder) return 0;
    return compare_code(folder, da->RelativeIdList(), db->RelativeIdList());
}

Node* TKwCustomShellTree::FirstShellRoot() const {
    for (const auto& r : roots())
        if (IsShellNode(r.get())) return r.get();
    return nullptr;
}

Node* TKwCustomShellTree::FindChildById(Node* node, PCIDL item) {
    if (!node) return FirstShellRoot();
    auto* data = NodeData(node);
    if (!data) return nullptr;
    const FolderPtr folder = data->OwnFolder();
    if (!folder) return nullptr;
    for (const auto& child : node->children()) {
        auto* cd = NodeData(child.get());
        if (cd && compare_code(folder, cd->RelativeIdList(), item) == 0) return child.get();
    }
    return nullptr;
}

// ---- navigation and selection --------------------------------------------------------------------------

void TKwCustomShellTree::SelectIdList(PCIDL list) {
    if (update_count_ > 0) return;
    immediate_selection_ = true;
    PCIDL base_list = base_folder_.IdList();
    TKwIdListArray base(base_list), target(list);
    const int b = base.Count(), t = target.Count();
    Node* root = FirstShellRoot();
    if (!root) return;
    Node* reached = root;
    // A list outside the base folder would walk unrelated items into the tree: the root then.
    const bool under_base = b == 0 || (t > b && same_list(target.StripLast(t - b), base_list));
    if (t == 0) {
        reached = root;
    } else if (b >= t || !under_base) {
        ExpandNode(root);
    } else {
        ExpandNode(root);
        Node* node = root;
        for (int i = b; i < t; ++i) {
            PIDL item = CopyIdList(nullptr, target.Item(i));
            Node* child = FindChildById(node, item);
            if (!child) {
                auto* data = NodeData(node);
                const FolderPtr folder = data ? data->OwnFolder() : nullptr;
                const HRESULT hr =
                    AddShellItem(folder, data ? data->AbsoluteIdList() : nullptr, item, node, &child);
                if (child) SortChildren(node);
                if (com::failed(hr) || !child) {
                    // The level cannot be added (filtered out or gone): the deepest node reached.
                    ShellFree(item);
                    MessageBeep();
                    break;
                }
            }
            ShellFree(item);
            if (i < t - 1 || expand_last_level_) ExpandNode(child);
            node = child;
        }
        reached = node;
    }
    SelectNode(reached);
    // The flag is for the change this walk makes; when the node was selected already, the next
    // keyboard move must not inherit it.
    immediate_selection_ = false;
    MakeVisible(reached);
}

forms::Form* TKwCustomShellTree::OwnerWindow() {
    return hover_expansion_ > 0 ? nullptr : GetOwnerForm(this);
}

void TKwCustomShellTree::DriverBrowse(PCIDL absolute) {
    expand_last_level_ = true;
    platform::scope_exit reset{[this] { expand_last_level_ = false; }};
    selection_.SetIdList(absolute);
}

void TKwCustomShellTree::Change(Node* node) {
    if (update_count_ > 0 || Loading) {
        if (IsShellNode(node)) {
            const UpdateGuard guard(*this);
            selection_.SetIdList(NodeData(node)->AbsoluteIdList());
        }
        return;
    }
    TKwCustomTreeView::Change(node);
    if (!IsShellNode(node)) return;
    if (immediate_selection_ || !shell_list_) {
        ImmediateSelectionUpdate(node);
    } else {
        timer_->set_enabled(false);
        timer_->Tag = 1;
        timer_->set_interval(kwDeferredSelectionDelay);
        timer_->set_enabled(true);
    }
}

void TKwCustomShellTree::ImmediateSelectionUpdate(Node* node) {
    {
        const UpdateGuard guard(*this);
        selection_.SetIdList(NodeData(node)->AbsoluteIdList());
        if (shell_list_) shell_list_->FollowDriverSelection(selection_.IdList());
    }
    immediate_selection_ = false;
}

void TKwCustomShellTree::ClickNode(Node* node) {
    ensure_reachable("click in");
    immediate_selection_ = true;
    SelectNode(node);
}

void TKwCustomShellTree::TimerFired() {
    timer_->set_enabled(false);
    if (timer_->Tag == 1) {
        if (IsShellNode(Selected)) ImmediateSelectionUpdate(Selected);
    } else if (timer_->Tag == 2) {
        RefreshTree();
    }
    timer_->Tag = 0;
}

std::string TKwCustomShellTree::SelectedPath() {
    auto* data = NodeData(Selected);
    return data ? data->Path() : std::string{};
}

void TKwCustomShellTree::GoUp(int count) {
    if (!Selected || !Selected->parent()) return;
    Node* node = Selected;
    for (int i = 0; i < count && node->parent(); ++i) node = node->parent();
    immediate_selection_ = true;
    SelectNode(node);
}

// ---- refresh ---------------------------------------------------------------------------------------------

void TKwCustomShellTree::RefreshTree() {
    if (modal_ || IsEditing()) {
        pending_refresh_ = true;
        return;
    }
    if (roots().empty()) {
        FillRoot();
        return;
    }
    const TKwHourglass hourglass;
    if (OnFillStart) OnFillStart(*this);
    Node* remembered = nullptr;
    {
        const UpdateGuard guard(*this);
        remembered = Selected;
        Selected = nullptr;
        filling_all_ = true;
        try {
            RefreshNode(roots().front().get(), remembered);
        } catch (...) {
            filling_all_ = false;
            throw;
        }
        filling_all_ = false;
    }
    if (remembered) {
        immediate_selection_ = true;
        SelectNode(remembered);
    }
    if (OnFillComplete) OnFillComplete(*this);
    if (Has(kwstoDynamicRefresh) && !Designing) WatchAllDrives();
}

void TKwCustomShellTree::RefreshNode(Node* node, Node*& remembered) {
    auto* data = NodeData(node);
    if (!data) return;
    if (node->HasChildren && node->count() == 0) return;  // never filled
    const FolderPtr folder = data->OwnFolder();
    if (!folder) return;
    std::vector<shell::IdList> items;
    const HRESULT hr = folder->enum_objects(EnumFlags(), items);
    if (com::failed(hr) && hr != com::E_FAIL) return;  // unreadable now: leave it as it is

    TKwPidlList old;  // the children as they are, with their nodes
    old.ShellFolder = folder;
    old.Duplicates = TKwPidlList::dupAccept;
    for (const auto& child : node->children()) {
        if (auto* cd = NodeData(child.get()))
            old.AddObject(const_cast<PIDL>(cd->RelativeIdList()), child.get());
    }
    old.SetSorted(true);
    TKwPidlList fresh;  // the folder as it is now
    fresh.ShellFolder = folder;
    fresh.Malloc = ShellMalloc();
    for (const auto& item : items) fresh.Add(CopyIdList(nullptr, item.data()));

    for (int i = fresh.Count() - 1; i >= 0; --i) {
        int index = 0;
        if (old.Find(fresh.IdLists(i), index)) {
            old.Delete(index);
            fresh.Delete(i);
        }
    }
    for (int i = old.Count() - 1; i >= 0; --i) {
        auto* gone = static_cast<Node*>(old.Objects(i));
        for (Node* s = remembered; s; s = s->parent()) {
            if (s == gone) {
                remembered = gone->parent();
                break;
            }
        }
        EraseNode(gone);
    }
    bool added_any = false;
    for (int i = 0; i < fresh.Count(); ++i) {
        Node* added = nullptr;
        OleCheck(AddShellItem(folder, data->AbsoluteIdList(), fresh.IdLists(i), node, &added));
        added_any = added_any || added;
    }
    if (added_any) SortChildren(node);
    std::vector<Node*> children;
    for (const auto& child : node->children()) children.push_back(child.get());
    for (Node* child : children) RefreshNode(child, remembered);
}

// ---- watching --------------------------------------------------------------------------------------------

void TKwCustomShellTree::EnsureWatcher() {
    if (!watcher_) watcher_ = std::make_unique<TChangeHandlerThread>(window_->handle(), WM_KWCHANGENOTIFY);
}

void TKwCustomShellTree::WatchDrive(const std::string& path) {
    EnsureWatcher();
    if (path.empty()) {
        watcher_->RemoveAllWatches();
        watch_count_ = 0;
        return;
    }
    std::uint32_t filter = FILE_NOTIFY_CHANGE_DIR_NAME;
    if (Has(kwstoIncludeNonFolders)) filter |= FILE_NOTIFY_CHANGE_FILE_NAME;
    int slot = -1;
    if (watcher_->AddWatch(path, filter, slot, true)) ++watch_count_;
}

void TKwCustomShellTree::WatchAllDrives() {
    WatchDrive({});
    // Every filled folder: the expanded ones and the filled leaves, whose new sub-folders a
    // refresh also adds.
    std::vector<Node*> stack;
    for (auto it = roots().rbegin(); it != roots().rend(); ++it) stack.push_back(it->get());
    while (!stack.empty()) {
        Node* n = stack.back();
        stack.pop_back();
        const bool filled = !n->HasChildren || n->count() > 0;
        if (IsShellNode(n) && filled) {
            const std::string path = NodeData(n)->Path();
            if (!path.empty()) WatchDrive(path);
        }
        for (auto it = n->children().rbegin(); it != n->children().rend(); ++it) stack.push_back(it->get());
    }
}

void TKwCustomShellTree::ChangeNotify() {
    if (ignore_next_notification_) {
        ignore_next_notification_ = false;
        return;
    }
    if (modal_) {
        // A drag or a menu is running: the refresh runs when it ends, so a change made by
        // another program meanwhile is not lost.
        pending_refresh_ = true;
        return;
    }
    timer_->set_enabled(false);
    timer_->Tag = 2;
    timer_->set_interval(Focused() ? kwRefreshDelayFocused : kwRefreshDelayUnfocused);
    timer_->set_enabled(true);
}

void TKwCustomShellTree::DeviceChange(std::uint32_t code) {
    if (code != shell::DBT_DEVICEARRIVAL && code != shell::DBT_DEVICEREMOVECOMPLETE) return;
    ValidateMyComputer();
    BeginNoValidate();
    try {
        RefreshTree();
    } catch (...) {
        EndNoValidate();
        throw;
    }
    EndNoValidate();
}

// ---- node data and drawing
// ---------------------------------------------------------------------------------

void TKwCustomShellTree::Delete(Node* node) {
    if (node == editing_) editing_ = nullptr;
    if (node == drag_node_) drag_node_ = nullptr;
    if (auto* data = NodeData(node)) {
        if (OnDeleteItem) OnDeleteItem(*this, node, data);
        delete data;
        node->Data = 0;
    }
    TKwCustomTreeView::Delete(node);
}

TKwCustomDraw* TKwCustomShellTree::CustomDrawNotify(TKwCustomDrawInfo& info, std::uint32_t& result) {
    Node* node = (info.dwDrawStage & CDDS_ITEM) ? reinterpret_cast<Node*>(info.dwItemSpec) : nullptr;
    TKwShTreeData* data = NodeData(node);
    if (OnCustomDrawShEx) {
        draw_ = CreateCustomDraw(info, result);
        OnCustomDrawShEx(*this, *draw_, node, data);
    }
    if (OnCustomDrawSh) {
        if (!draw_) draw_ = CreateCustomDraw(info, result);
        if (draw_->Stage() == 4) OnCustomDrawSh(*this, *draw_, node, data);
    }
    if (draw_) draw_->Apply();
    if (info.dwDrawStage & CDDS_PREPAINT) result |= CDRF_NOTIFYITEMDRAW;
    return draw_.get();
}

// ---- layout
// --------------------------------------------------------------------------------------------------

namespace {

void visible_rows(const std::vector<std::unique_ptr<Node>>& nodes, std::vector<Node*>& out) {
    for (const auto& n : nodes) {
        out.push_back(n.get());
        if (n->Expanded) visible_rows(n->children(), out);
    }
}

}  // namespace

int TKwCustomShellTree::RowCount() const {
    std::vector<Node*> rows;
    visible_rows(roots(), rows);
    return static_cast<int>(rows.size());
}

Node* TKwCustomShellTree::NodeAtRow(int row) const {
    std::vector<Node*> rows;
    visible_rows(roots(), rows);
    return row >= 0 && row < static_cast<int>(rows.size()) ? rows[static_cast<std::size_t>(row)] : nullptr;
}

Node* TKwCustomShellTree::GetNodeAt(int, int y) const {
    if (y < 0 || y >= Height) return nullptr;
    return NodeAtRow(TopRow + y / ItemHeight);
}

Rect TKwCustomShellTree::NodeRect(const Node* node) const {
    std::vector<Node*> rows;
    visible_rows(roots(), rows);
    const auto it = std::find(rows.begin(), rows.end(), node);
    if (it == rows.end()) return {};
    const int row = static_cast<int>(it - rows.begin()) - TopRow;
    return {-LeftPixel, row * ItemHeight, Width, (row + 1) * ItemHeight};
}

int TKwCustomShellTree::PageRows() const {
    return std::max(1, Height / ItemHeight);
}

bool TKwCustomShellTree::ScrollLines(int lines) {
    const int last = std::max(0, RowCount() - PageRows());
    const int top = std::clamp(TopRow + lines, 0, last);
    if (top == TopRow) return false;
    TopRow = top;
    return true;
}

bool TKwCustomShellTree::ScrollBarStep(int bar, int code) {
    const bool forward = code == SB_LINEDOWN || code == SB_PAGEDOWN;
    const bool page = code == SB_PAGEUP || code == SB_PAGEDOWN;
    if (bar == SB_VERT) return ScrollLines((forward ? 1 : -1) * (page ? PageRows() : 1));
    const int step = page ? std::max(8, Width) : 8;
    const int left = std::max(0, LeftPixel + (forward ? step : -step));
    if (left == LeftPixel) return false;
    LeftPixel = left;
    return true;
}

void TKwCustomShellTree::MakeVisible(Node* node) {
    if (!node) return;
    for (Node* p = node->parent(); p; p = p->parent()) p->Expanded = true;
    std::vector<Node*> rows;
    visible_rows(roots(), rows);
    const int row = static_cast<int>(std::find(rows.begin(), rows.end(), node) - rows.begin());
    if (row < TopRow) TopRow = row;
    if (row >= TopRow + PageRows()) TopRow = row - PageRows() + 1;
}

}  // namespace shellctl
