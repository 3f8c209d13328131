// TKwCustomShellTree / TKwShellTree: a tree over the shell namespace rooted at BaseFolder.
//
// Nodes are filled lazily on expansion, sorted by their folder's own order and kept current by
// diffing against the folders (RefreshTree). Changes come from the directory watcher (message
// 1125 from its thread, debounced by a one-shot timer: 400 ms with the focus, 2000 ms without),
// from mount-table changes, and from the tree's own operations. The selection is mirrored in a
// selection locator that other controls read and set.
//
// The interactive side (rename in place, new folder, verbs, default keys, the shell context
// menu with Send To, the wheel, drag and drop) is in kw_shell_tree_edit.cpp and
// kw_shell_tree_dnd.cpp.
//
// Watching on Linux: inotify watches one directory, not a subtree, so the tree watches the
// directory of every filled node (one watcher holds them all) and brings the set up to date
// after each fill and refresh. A folder made inside a node that was never expanded shows when
// that node is filled.
//
// A "window" here is the tree's hidden message window: the watcher, the auto-fill message and
// the drop-target registration use its handle. Design-time behaviour does not exist in this
// program (Designing stays false). Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/forms/hidden_window.h"
#include "platform/forms/timer.h"
#include "shellctl/change_handler_thread.h"
#include "shellctl/kw_sh_tree_data.h"
#include "shellctl/kw_shell_list.h"
#include "shellctl/kw_shell_locator.h"
#include "shellctl/kw_shell_ops.h"
#include "shellctl/kw_tree_list.h"

namespace shellctl {

enum TKwShellTreeOption : int {
    kwstoAutoFill = 0,
    kwstoVirtualFolders = 1,
    kwstoDesignInteractive = 2,
    kwstoDefaultKeyHandling = 3,
    kwstoContextMenus = 4,
    kwstoDynamicRefresh = 5,
    kwstoIncludeNonFolders = 6,
    kwstoOleDrag = 7,
    kwstoOleDrop = 8,
    kwstoShowHidden = 9,
};
using TKwShellTreeOptions = std::uint16_t;  // bit n = option n
inline constexpr TKwShellTreeOptions option_bit(TKwShellTreeOption o) {
    return static_cast<TKwShellTreeOptions>(1u << o);
}
inline constexpr TKwShellTreeOptions kwstoDefaultOptions = 955;

inline constexpr unsigned kwRefreshDelayFocused = 400;
inline constexpr unsigned kwRefreshDelayUnfocused = 2000;
inline constexpr unsigned kwDeferredSelectionDelay = 500;

// The tree drives an attached shell list (TKwShellListDriver): the list shows the tree's
// selected folder, and the list's own navigation moves the tree's selection.
class TKwCustomShellTree : public TKwCustomTreeView, public TKwShellListDriver, public TKwScrollable {
  public:
    FORMS_CLASS_NAME("TKwCustomShellTree")
    TKwCustomShellTree();
    ~TKwCustomShellTree() override;

    using Node = platform::forms::TreeNode;
    using AddItemEvent = std::function<void(platform::forms::Component& sender,
                                            const FolderPtr& parent_folder, PCIDL parent_absolute,
                                            PCIDL item_relative, std::uint32_t attributes, bool& allow)>;
    using NodeDataEvent =
        std::function<void(platform::forms::Component& sender, Node* node, TKwShTreeData* data)>;
    using NodeEvent = std::function<void(platform::forms::Component& sender, Node* node)>;
    using HintEvent = std::function<void(platform::forms::Component& sender, const std::string& hint)>;
    using ShCustomDrawEvent = std::function<void(platform::forms::Component& sender, TKwCustomDraw& draw,
                                                 Node* node, TKwShTreeData* data)>;
    using EditingEvent = std::function<void(platform::forms::Component& sender, Node* node, bool& allow)>;
    using EditedEvent =
        std::function<void(platform::forms::Component& sender, Node* node, std::string& text)>;

    // ---- properties ----
    TKwShellLocator& BaseFolder() { return base_folder_; }
    void SetBaseFolder(const TKwShellLocator& folder) { base_folder_.Assign(&folder); }
    TKwShellLocator& SelectionLocator() { return selection_; }
    // The window that owns what shell calls show: the tree's form, or none while a node opens
    // under a resting drag (nothing may then be modal to the form the drag runs over).
    platform::forms::Form* OwnerWindow();
    // The window's no-drag style: set while kwstoOleDrag is not, once the window exists, so a
    // person's drag of a node starts nothing.
    bool DragDisabled = false;
    TKwShellTreeOptions Options() const { return options_; }
    void SetOptions(TKwShellTreeOptions options);
    bool Has(TKwShellTreeOption o) const { return options_ & option_bit(o); }
    TKwCustomShellList* ShellList() const { return shell_list_; }
    void SetShellList(TKwCustomShellList* list);
    // The tree's message window (the watcher's target, the drop-target registration).
    platform::window::Handle WindowHandle() const { return window_->handle(); }

    AddItemEvent OnAddItem;
    NodeDataEvent OnDeleteItem;
    NodeEvent OnInsertItem;
    HintEvent OnPopupHint;
    ShCustomDrawEvent OnCustomDrawSh;
    ShCustomDrawEvent OnCustomDrawShEx;
    platform::forms::NotifyEvent OnFillStart;
    platform::forms::NotifyEvent OnFillComplete;
    EditingEvent OnEditing;
    EditedEvent OnEdited;

    // ---- filling and navigation ----
    void FillRoot();
    void PopulateNode(const FolderPtr& folder, Node* node);
    // May add one child; `added` gets it (nullptr when the item was filtered out).
    HRESULT AddShellItem(const FolderPtr& folder, PCIDL parent_absolute, PCIDL item, Node* parent,
                         Node** added = nullptr);
    bool DoAddItem(const FolderPtr& folder, PCIDL parent_absolute, std::uint32_t attributes, PCIDL item);
    void SelectIdList(PCIDL list);
    void RefreshTree();
    std::string SelectedPath();
    void GoUp(int count);
    void AssignSelection(TKwShellLocator& locator);
    void FlushPendingSelection(bool cascade);
    void WatchAllDrives();
    void WatchDrive(const std::string& path);
    void SortChildren(Node* node);
    bool IsShellNode(const Node* node) const { return node && node->Data != 0; }
    TKwShTreeData* NodeData(const Node* node) const {
        return node ? reinterpret_cast<TKwShTreeData*>(node->Data) : nullptr;
    }
    Node* FirstShellRoot() const;
    Node* FindChildById(Node* node, PCIDL item);
    // A shell node's image (or selected image), looked up the first time it is shown.
    int NodeImageIndex(Node* node, bool selected);
    int shown_image(Node* node, bool selected) override { return NodeImageIndex(node, selected); }
    bool Loading = false;  // streaming from a form description (never, here)
    // A person clicking a node: the selection locator follows at once.
    void ClickNode(Node* node);

    // ---- editing, verbs and menus ----
    // Starts renaming a node in place; false when its item cannot be renamed.
    bool EditNode(Node* node);
    bool IsEditing() const { return editing_ != nullptr; }
    Node* EditingNode() const { return editing_; }
    std::string EditText;  // what the in-place editor holds
    // The editor closes: with the text (Enter) or without (Escape).
    void EndEdit(bool cancel);
    Node* edited_node() const override { return editing_; }
    std::string* edited_text() override { return &EditText; }
    void end_label_edit(bool accept) override { EndEdit(!accept); }
    bool CreateFolderHere();
    bool InvokeNodeVerb(Node* node, const std::string& verb);
    void ShowShellContextMenu(Node* node, platform::forms::Point point);
    void RunExtraMenuCommand(Node* node, int index);

    // ---- drag and drop ----
    HRESULT BeginOleDrag(bool right_button);
    platform::com::ComPtr<platform::shell::IDropSource> CreateDropSource(bool right_button);
    HRESULT TreeDragEnter(platform::shell::IDataObject* data, std::uint32_t keys,
                          platform::forms::Point point, std::uint32_t* effect);
    HRESULT TreeDragOver(std::uint32_t keys, platform::forms::Point point, std::uint32_t* effect);
    HRESULT TreeDragLeave();
    HRESULT TreeDrop(platform::shell::IDataObject* data, std::uint32_t keys, platform::forms::Point point,
                     std::uint32_t* effect);
    std::uint32_t DragEffects(Node* node);
    void DragAutoScroll(platform::forms::Point point);
    // A person starting to drag a node (with the right button: `right_button`).
    void begin_drag(Node* node, bool right_button) override;
    platform::forms::Rect node_rect(const Node* node) const override { return NodeRect(node); }
    std::uint32_t drop_window() const override { return WindowHandle(); }
    std::function<std::uint32_t()> TickCount;  // milliseconds; the kernel's unless a test sets it

    // ---- layout (what the headless tree lays out: one row per visible node) ----
    int ItemHeight = 16;
    int Indent = 19;
    int TopRow = 0;  // the first row shown (the vertical scroll position)
    int LeftPixel = 0;
    int RowCount() const;
    Node* NodeAtRow(int row) const;
    Node* GetNodeAt(int x, int y) const;
    platform::forms::Rect NodeRect(const Node* node) const;
    int PageRows() const;
    // Scrolls by whole rows within the rows there are; false when nothing moved.
    bool ScrollLines(int lines);
    // A line or a page of the vertical bar (the horizontal one by 8 pixels or a width).
    bool ScrollBarStep(int bar, int code) override;
    // Scrolls a node into view.
    void MakeVisible(Node* node);
    // A person turning the mouse wheel (delta 120 per notch, positive away from the user).
    void MouseWheel(int delta);
    bool wheel(int delta) override {
        MouseWheel(delta);
        return true;
    }
    int top_row() const override { return TopRow; }
    void key_down(int key, platform::forms::ShiftState shift = {}) override;

    // ---- state, for the owner and tests ----
    bool Modal() const { return modal_; }
    bool PendingRefresh() const { return pending_refresh_; }
    bool IgnoreNextNotification() const { return ignore_next_notification_; }
    platform::forms::Timer& RefreshTimer() { return *timer_; }
    TChangeHandlerThread* Watcher() const { return watcher_.get(); }
    int WatchCount() const { return watch_count_; }
    // The one-shot timer's handler (pending selection update or refresh).
    void TimerFired();
    // Message 1125 from the watcher thread.
    void ChangeNotify();
    // Mount-table changes.
    void DeviceChange(std::uint32_t code);

    // ---- what the attached list asks of the tree ----
    TKwShellLocator& DriverLocator() override { return selection_; }
    void DriverShow(PCIDL absolute) override { SelectIdList(absolute); }
    void DriverBrowse(PCIDL absolute) override;
    void DriverGoUp(int levels) override { GoUp(levels); }
    void DriverCompletePendingRefresh() override;
    void DriverListGone(TKwCustomShellList* list) override;

  protected:
    void attached() override;
    bool CanExpand(Node* node) override;
    void Change(Node* node) override;
    void Delete(Node* node) override;
    TKwCustomDraw* CustomDrawNotify(TKwCustomDrawInfo& info, std::uint32_t& result) override;
    void DoNodeContextMenu(Node* node, platform::forms::Point& pos,
                           platform::forms::PopupMenu*& menu) override;

  private:
    friend class TDropTarget_shtv;
    // The update counter raised for the life of the object.
    class UpdateGuard {
      public:
        explicit UpdateGuard(TKwCustomShellTree& tree) : tree_(tree) { ++tree_.update_count_; }
        ~UpdateGuard() { --tree_.update_count_; }
        UpdateGuard(const UpdateGuard&) = delete;
        UpdateGuard& operator=(const UpdateGuard&) = delete;

      private:
        TKwCustomShellTree& tree_;
    };
    void BaseFolderChanged();
    void SelectionLocatorChanged();
    void FillIfNeeded(Node* node);
    // Expanding and selecting by the program (a person's expand and select check that the
    // control can be reached; the program's do not).
    void ExpandNode(Node* node);
    void SelectNode(Node* node);
    void RefreshNode(Node* node, Node*& remembered);
    std::uint32_t EnumFlags() const;
    int CompareNodes(const Node& a, const Node& b) const;
    void InsertedNode(Node* node);
    void ImmediateSelectionUpdate(Node* node);
    void EnsureWatcher();
    void RegisterDropTarget();
    void RevokeDropTarget();
    void InvalidateDescendants(Node* node);
    bool KeyForDefaults(int key, platform::forms::ShiftState shift);
    platform::window::Result HandleMessage(std::uint32_t message, platform::window::WParam,
                                           platform::window::LParam);
    std::uint32_t Now() const;

    std::unique_ptr<platform::forms::Timer> timer_;
    TKwCustomShellList* shell_list_ = nullptr;
    TKwShellLocator base_folder_;
    TKwShellLocator selection_;
    TKwShellTreeOptions options_ = kwstoDefaultOptions;
    bool immediate_selection_ = false;
    int update_count_ = 0;
    int hover_expansion_ = 0;
    bool expand_last_level_ = false;  // the attached list opened the folder being selected
    bool expansion_block_ = false;
    bool ignore_next_notification_ = false;
    std::unique_ptr<TChangeHandlerThread> watcher_;
    int watch_count_ = 0;
    bool modal_ = false;
    bool pending_refresh_ = false;
    Node* editing_ = nullptr;
    std::string edit_offered_;  // the text the editor was given
    bool window_created_ = false;
    bool filling_all_ =
        false;  // FillRoot or RefreshTree: the watch set is brought up to date once, at the end
    // Drag state.
    Node* drag_node_ = nullptr;
    bool drop_target_registered_ = false;
    platform::com::ComPtr<platform::shell::IDataObject> drag_data_;
    std::uint32_t drag_keys_ = 0;
    std::uint32_t last_scroll_tick_ = 0;
    platform::forms::Point hover_point_;
    std::uint32_t hover_start_ = 0;
    std::unique_ptr<platform::forms::HiddenWindow> window_;
};

// The published class: the custom tree with ShowRoot false and the default options.
class TKwShellTree : public TKwCustomShellTree {
  public:
    FORMS_CLASS_NAME("TKwShellTree")
};

}  // namespace shellctl
