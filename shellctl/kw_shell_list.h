// TKwCustomShellList: a list view of one shell folder. One item per child of the folder, in
// report view with the four standard columns (Name, Size, Type, Modified) or the folder's own
// details columns, sorted by the folder's comparison on the clicked column, optionally limited
// by file masks, and kept current by directory-change notifications, device arrival and
// removal and its own operations.
//
// The list shows the folder of its own locator, or follows a driver (a shell tree or a folder
// combo box, TKwShellListDriver): the driver's selection decides the list's folder, and the
// list's steps that open a folder or go up move the driver.
//
// Texts and icons are computed when they are shown (ItemText, ItemImage), not at fill time.
// The user's side (opening items, keys, the context menu, renaming, drag and drop) is in
// kw_shell_list_ui.cpp; the OLE objects are in kw_shell_list_ole.h.
//
// The list has a window of its own (Handle()) that receives the watcher's notices (1125), the
// request to rename a new item (1126) and the deferred fill (1127), and on which its drop target
// is registered. There is no form designer here: Designing is always false.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/forms/hidden_window.h"
#include "platform/forms/timer.h"
#include "platform/shell/ole.h"
#include "shellctl/change_handler_thread.h"
#include "shellctl/kw_sh_list_data.h"
#include "shellctl/kw_shell_locator.h"
#include "shellctl/kw_shell_ops.h"
#include "shellctl/kw_tree_list.h"

namespace shellctl {

using TKwShellListOptions = std::uint16_t;
inline constexpr TKwShellListOptions kwsloAutoFill = 1u << 0;
inline constexpr TKwShellListOptions kwsloVirtualItems = 1u << 1;
inline constexpr TKwShellListOptions kwsloDesignInteractive = 1u << 2;
inline constexpr TKwShellListOptions kwsloDefaultKeyHandling = 1u << 3;
inline constexpr TKwShellListOptions kwsloContextMenus = 1u << 4;
inline constexpr TKwShellListOptions kwsloNoBrowse = 1u << 5;
inline constexpr TKwShellListOptions kwsloDynamicRefresh = 1u << 7;
inline constexpr TKwShellListOptions kwsloHideFolders = 1u << 8;
inline constexpr TKwShellListOptions kwsloOleDrag = 1u << 9;
inline constexpr TKwShellListOptions kwsloOleDrop = 1u << 10;
inline constexpr TKwShellListOptions kwsloShowHidden = 1u << 12;
inline constexpr TKwShellListOptions kwsloDefault = 0x1E9B;

inline constexpr std::uint32_t WM_KWSELECTNAME = platform::window::WM_USER + 102;  // 1126

// The tree or folder combo box that drives a list: what the list asks of it.
class TKwCustomShellList;

class TKwShellListDriver {
  public:
    virtual ~TKwShellListDriver() = default;
    // The locator the driver's selection follows; the list's BrowseTo sets it.
    virtual TKwShellLocator& DriverLocator() = 0;
    // Shows the folder: a tree selects it (adding and expanding nodes on the way); a combo
    // box's locator takes it.
    virtual void DriverShow(PCIDL absolute) = 0;
    // The list opens a folder: the driver's locator takes it (a tree shows the folder with its
    // own level expanded, so the folders inside it are there to choose).
    virtual void DriverBrowse(PCIDL absolute) { DriverLocator().SetIdList(absolute); }
    virtual void DriverGoUp(int levels) = 0;
    // Runs the driver's pending refresh now, without asking the list back.
    virtual void DriverCompletePendingRefresh() = 0;
    // The list that this driver drives is going: the driver lets go of it.
    virtual void DriverListGone(TKwCustomShellList*) {}
};

class TKwCustomShellList;
class TDataObject_shlv;

using TKwShAddItemEvent =
    std::function<void(platform::forms::Component& sender, const FolderPtr& folder, PCIDL absolute,
                       PCIDL relative, std::uint32_t attributes, bool& allow)>;
using TKwShDeleteItemEvent =
    std::function<void(platform::forms::Component& sender, int item, TKwShListData* data)>;
using TKwShDefaultActionEvent = std::function<void(platform::forms::Component& sender, bool& handled)>;
using TKwShLvCustomDrawEvent = std::function<void(platform::forms::Component& sender, TKwCustomDraw& draw,
                                                  int item, TKwShListData* data)>;
using TKwShPopupHintEvent = std::function<void(platform::forms::Component& sender, const std::string& hint)>;

// The process-wide column-width stream: a 32-bit count, then one 32-bit width per column.
std::vector<std::uint8_t>& ColumnWidthStream();
// Test support: empties the width stream and the copy of the last "DirectoryCols" value.
void ResetShellListUnitState();

class TKwCustomShellList : public TKwCustomListView, public TKwScrollable {
  public:
    FORMS_CLASS_NAME("TKwCustomShellList")
    TKwCustomShellList();
    ~TKwCustomShellList() override;

    // ---- properties and events ----
    TKwShellListOptions Options() const { return options_; }
    void SetOptions(TKwShellListOptions options);
    TKwShellLocator& Locator() { return *locator_; }
    // The mask text: masks separated by ";" (or ","), e.g. "*.txt;*.log"; empty, "*" or "*.*"
    // filter nothing. Folders always pass.
    const std::string& Mask() const { return mask_text_; }
    void SetMask(const std::string& mask);
    const std::vector<std::string>& MaskList() const { return mask_list_; }
    int SortColumnNumber() const { return sort_number_; }

    TKwShAddItemEvent OnAddItem;
    TKwShDeleteItemEvent OnDeleteItem;
    TKwShDefaultActionEvent OnDefaultAction;
    TKwShLvCustomDrawEvent OnCustomDrawItem;    // item pre-paint only
    TKwShLvCustomDrawEvent OnCustomDrawItemEx;  // every notification, first
    platform::forms::NotifyEvent OnFillComplete;
    platform::forms::NotifyEvent OnFillStart;
    platform::forms::NotifyEvent OnFolderChange;
    TKwShPopupHintEvent OnPopupHint;
    // A person's column click, before the list sorts; a handler may call SetSortColumn itself.
    std::function<void(platform::forms::Component& sender, int column)> OnColumnClick;

    static constexpr bool Designing = false;
    platform::window::Handle Handle() const { return window_->handle(); }

    // ---- the folder ----
    FolderPtr CurrentFolder() const { return folder_; }
    PCIDL FolderIdList() const { return folder_list_; }
    std::string FolderPath() const { return IdListToPath(folder_list_); }
    IShellDetails* DetailsProvider() const { return details_; }
    int ColumnKind() const { return column_kind_; }

    // Empties the list and fills it from the locator's folder.
    void FillList();
    // Brings the items up to date with the folder: adds what came, removes what went, keeps
    // the rest (with their selection) as they are.
    void RefreshList();
    void SortItems();
    // 0 unsorted; n > 0 column n-1 ascending; n < 0 column -n-1 descending.
    void SetSortColumn(int n);
    void RebuildColumns(IShellDetails* details);
    void StartWatching();
    void CompletePendingRefresh(bool cascade);

    // ---- drivers ----
    void SetTree(TKwShellListDriver* tree);
    TKwShellListDriver* Tree() const { return tree_; }
    void SetComboBox(TKwShellListDriver* combo);
    TKwShellListDriver* ComboBox() const { return combo_; }
    // The locator takes a copy of `locator` (a driver does this when its selection changes).
    void AssignLocator(const TKwShellLocator& locator);
    // A driver's selection moved to `absolute`: the locator takes it.
    void FollowDriverSelection(PCIDL absolute);

    // ---- items ----
    TKwShListData* ItemData(int index) const;
    TKwShListData* SelectedData() const;
    int SelectedDataCount() const;
    // The indexes of the selected items, in order.
    std::vector<int> SelectedIndexes() const;
    int IndexOfData(const TKwShListData* data) const;
    // The texts and icon the list shows for an item (what the display callbacks answer).
    std::string ItemText(int index, int column);
    std::string shown_text(int index, int column) override;
    int shown_image(int index) override;
    int ItemImage(int index);
    // A request for an item's display information: its text in a column, bounded by the
    // requester's buffer (TextMax bytes with the terminator), and its image (column 0), for
    // which OnGetImageIndex fires first and may set the item's image.
    static constexpr std::uint32_t LVIF_TEXT = 0x1, LVIF_IMAGE = 0x2;
    struct TKwListDispInfo {
        std::uint32_t Mask = 0;
        int Item = 0;
        int SubItem = 0;
        std::size_t TextMax = 260;
        std::string Text;
        int Image = -1;
    };
    void GetDispInfo(TKwListDispInfo& info);
    std::function<void(platform::forms::Component& sender, platform::forms::ListItem& item)> OnGetImageIndex;
    HRESULT GetSelectionUIObject(std::shared_ptr<platform::shell::ContextMenu>& out);
    bool IsNetworkFolder();

    // ---- the user's side ----
    void OpenSelection();
    void OpenItem(int index);
    void OpenDefaultCommand(int index);
    void BrowseTo(PCIDL absolute);
    bool BrowseShortcutTarget(TKwShListData& data);
    void ListGoUp(int levels);
    void InvokeSelectionVerb(const std::string& verb);
    void InvokeFolderVerb(const std::string& verb);
    void SelectAllItems();
    void ShowContextMenu(platform::forms::Point client_point);
    void SendSelectionTo(int entry);
    // Makes a new folder in the shown folder and starts renaming it.
    void NewFolder();

    // Renaming in place.
    bool CanEdit(int index);
    // Starts editing an item's caption (when it may be edited); true when the editor opened.
    bool EditCaption(int index);
    bool IsEditing() const { return editing_ >= 0; }
    // The edited text before the rename; a handler may change it.
    std::function<void(platform::forms::Component& sender, int item, std::string& text)> OnEdited;
    int EditingIndex() const { return editing_; }
    std::string EditText;  // what the editor holds
    // Ends editing: with `accept`, the text is trimmed and the item renamed.
    void EndEdit(bool accept);
    int edited_item() const override { return editing_; }
    std::string* edited_text() override { return &EditText; }
    void end_label_edit(bool accept) override { EndEdit(accept); }

    // Drag and drop.
    void StartOleDrag(int button);
    std::uint32_t SelectionDropEffects();
    virtual platform::shell::IDropSource* CreateDropSource(int button);
    virtual HRESULT DoDragEnter(platform::shell::IDataObject* data, std::uint32_t key_state,
                                std::uint32_t* effect, platform::shell::POINTL point);
    virtual HRESULT DoDragOver(std::uint32_t key_state, std::uint32_t* effect, platform::shell::POINTL point);
    virtual HRESULT DoDragLeave();
    virtual HRESULT DoDrop(platform::shell::IDataObject* data, std::uint32_t key_state, std::uint32_t* effect,
                           platform::shell::POINTL point);
    bool Dragging() const { return dragging_; }
    bool HasDragged() const { return has_dragged_; }
    int DropHighlighted() const { return drop_highlight_; }

    // ---- geometry (report view: the header, then one row per item) ----
    static constexpr int RowHeight = 17;
    int TopIndex = 0;
    int LeftPos = 0;
    int VisibleRows() const;
    int ItemAt(platform::forms::Point client) const;
    platform::forms::Point ScreenToClient(platform::forms::Point screen) const;
    platform::forms::Point ClientToScreen(platform::forms::Point client) const;
    platform::forms::Rect item_rect(int index) const override;
    // One line or page of a bar (SB_HORZ, SB_VERT) by a scroll code, only when there is room.
    bool ScrollBarStep(int bar, int code) override;
    // The clock of the auto-scroll (milliseconds); tests set their own.
    std::function<std::uint32_t()> Clock;

    // ---- a person's actions ----
    // A click on an item: with Ctrl it toggles the item's selection, otherwise it becomes the
    // only selected item; it gets the focus either way.
    void click_item(int index, platform::forms::ShiftState shift = {}) override;
    void double_click_item(int index) override;
    void click_column(int column) override;
    // A right click on an item (or on the background for -1): a person's context menu.
    void right_click_item(int index) override;
    void key_down(int key, platform::forms::ShiftState shift = {}) override;
    void MouseWheel(int delta, platform::forms::Control* under = nullptr);
    bool wheel(int delta) override {
        MouseWheel(delta);
        return true;
    }
    int top_row() const override { return TopIndex; }
    // The user presses a button on the selection and starts dragging (0 left, 1 right).
    void drag_selection(int button) override { StartOleDrag(button); }
    std::uint32_t drop_window() const override { return Handle(); }

    // The refresh timer and its event (tests run it rather than wait).
    platform::forms::Timer& RefreshTimer() { return *timer_; }
    void RefreshTimerFired();
    // The window's message handling (1125, 1126, 1127).
    platform::window::Result HandleMessage(std::uint32_t message, platform::window::WParam wparam,
                                           platform::window::LParam lparam);
    // Sets the name that message 1126 focuses and renames.
    std::string NameToSelect;
    // Test support: how many refreshes and fills ran.
    int RefreshCount = 0;
    int FillCount = 0;
    int ChangeNotices = 0;
    bool RefreshPending() const { return refresh_pending_; }
    bool IgnoreNextChange() const { return ignore_next_change_; }
    TChangeHandlerThread* Watcher() const { return watcher_.get(); }

  protected:
    void DoItemContextMenu(int item, Point& pos, platform::forms::PopupMenu*& menu) override;
    TKwCustomDraw* CustomDrawNotify(TKwCustomDrawInfo& info, std::uint32_t& result) override;
    virtual bool CanAddItem(const FolderPtr& folder, PCIDL absolute, std::uint32_t attributes,
                            PCIDL relative);
    virtual void DeviceChanged(std::uint32_t event);
    virtual void FillFromFolder(const FolderPtr& folder, PCIDL absolute);
    virtual void BuildMaskNames();
    virtual bool MatchesMask(const std::string& name, std::uint32_t attributes);
    virtual void FreeMaskNames();

  private:
    friend class TKwShListData;
    bool FilterItem(PCIDL absolute, PCIDL relative, std::uint32_t& attributes);
    void AddListItem(PCIDL absolute, PIDL relative);
    void InsertItem(TKwShListData* data, std::uint32_t attributes, int sub_items);
    void DeleteItem(int index);
    void DeleteAllItems();
    void StandardColumns();
    void DetailsColumns(IShellDetails* details);
    void SaveColumnWidths();
    void LoadColumnWidths();
    void LocatorChanged();
    void ColumnClick(int column);
    std::vector<PIDL> SelectedRelativeCopies() const;
    std::vector<int> SelectedDataIndexes() const;
    void AutoScroll(platform::forms::Point client);
    platform::com::ComPtr<platform::shell::IDropTarget> TargetAt(platform::shell::POINTL point, int& item,
                                                                 bool& own_background);
    platform::com::ComPtr<platform::shell::IDropTarget> FolderDropTarget();
    void SetDropHighlight(int index);
    void SetFocusedItem(int index);
    bool RenameItem(int index, const std::string& text);

    TKwShellListOptions options_ = kwsloDefault;
    std::uint8_t column_kind_ = 0;
    bool widths_persistable_ = false;
    FolderPtr folder_;
    PIDL folder_list_ = nullptr;
    bool details_asked_ = false;
    IShellDetails* details_ = nullptr;
    std::unique_ptr<TKwShellLocator> locator_;
    std::string mask_text_;
    std::unique_ptr<std::set<std::string>> mask_names_;
    std::vector<std::string> mask_list_;
    platform::forms::Timer* timer_ = nullptr;
    TKwShellListDriver* tree_ = nullptr;
    TKwShellListDriver* combo_ = nullptr;
    std::shared_ptr<platform::shell::ContextMenu> tracked_menu_;
    int sort_number_ = 1;
    int locator_nesting_ = 0;
    bool ignore_next_change_ = false;
    std::unique_ptr<TChangeHandlerThread> watcher_;
    bool has_dragged_ = false;
    bool dragging_ = false;
    bool refresh_pending_ = false;
    TKwShListData* pending_data_ = nullptr;
    std::uint32_t pending_attributes_ = 0;
    IShellDetails* pending_details_ = nullptr;
    std::uint32_t last_scroll_time_ = 0;
    bool sort_set_by_handler_ = false;
    bool destroying_ = false;
    platform::shell::IDataObject* dragged_out_ = nullptr;
    platform::com::ComPtr<platform::shell::IDropTarget> drop_target_;
    platform::shell::IDataObject* dragged_in_ = nullptr;
    std::uint32_t drag_in_key_state_ = 0;
    int drop_highlight_ = -1;
    int editing_ = -1;
    std::string edit_offered_;  // the text the editor was given
    std::unique_ptr<TKwCustomDraw> custom_draw_;
    std::unique_ptr<platform::forms::HiddenWindow> window_;
};

class TKwShellList final : public TKwCustomShellList {
  public:
    FORMS_CLASS_NAME("TKwShellList")
};

}  // namespace shellctl
