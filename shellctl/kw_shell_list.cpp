#include "shellctl/kw_shell_list.h"

#include <dirent.h>
#include <fnmatch.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "platform/forms/application.h"
#include "platform/forms/interaction.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/scope_exit.h"
#include "platform/registry/registry.h"
#include "platform/shell/mounts.h"
#include "shellctl/kw_sh_consts.h"
#include "shellctl/kw_shell_list_ole.h"

namespace shellctl {

namespace shell = platform::shell;
namespace com = platform::com;
namespace forms = platform::forms;
namespace win = platform::window;
namespace registry = platform::registry;

namespace {

constexpr std::uint32_t filter_attribute_mask = 0x720B0000;
constexpr std::size_t directory_cols_capacity = 22;
constexpr HRESULT hresult_no_more_items = static_cast<HRESULT>(0x80070103);
constexpr const char* directory_cols_key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

struct ShellListUnitState {
    std::vector<std::uint8_t> width_stream;
    std::array<std::uint8_t, directory_cols_capacity> last_cols{};
    std::size_t last_cols_size = 0;
};

ShellListUnitState& unit_state() {
    static ShellListUnitState state;
    return state;
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

class Nesting {
  public:
    explicit Nesting(int& counter) : counter_(counter) { ++counter_; }
    ~Nesting() { --counter_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

  private:
    int& counter_;
};

}  // namespace

std::vector<std::uint8_t>& ColumnWidthStream() {
    return unit_state().width_stream;
}

void ResetShellListUnitState() {
    auto& s = unit_state();
    s.width_stream.clear();
    s.last_cols = {};
    s.last_cols_size = 0;
}

// ---- life ---------------------------------------------------------------------------------------------

TKwCustomShellList::TKwCustomShellList() {
    MultiSelect = true;
    SmallImages = &GetSysImageList(0);
    Clock = [] { return platform::kernel::tick_count(); };
    ItemIconRect = [this](int index) {
        const int top = HeaderHeight + (index - TopIndex) * RowHeight;
        return forms::Rect{2, top, 18, top + 16};
    };
    window_ = std::make_unique<forms::HiddenWindow>(
        "TKwShellList", [this](std::uint32_t m, win::WParam w, win::LParam l) -> win::Result {
            try {
                return HandleMessage(m, w, l);
            } catch (const Exception& e) {
                HandleException(e);  // as the application does with what reaches its loop
            }
            return 0;
        });
    locator_ = std::make_unique<TKwShellLocator>();
    locator_->OnChange = [this](TKwShellLocator&) { LocatorChanged(); };
    timer_ = Component::add<forms::Timer>("");
    timer_->set_enabled(false);
    timer_->OnTimer = [this](forms::Component&) { RefreshTimerFired(); };
    DeviceChangeHandler().Register(this, [this](TKwDeviceChangeHandler&, win::Message& m) {
        DeviceChanged(static_cast<std::uint32_t>(m.wparam));
    });
    if (!Designing && (options_ & kwsloOleDrop)) {
        drop_target_ = com::ComPtr<shell::IDropTarget>::share(new TDropTarget_shlv(*this));
        shell::register_drag_drop(Handle(), drop_target_.get());
    }
    if ((options_ & kwsloAutoFill) && Items.empty()) win::post_message(Handle(), WM_KWAUTOFILL);
}

TKwCustomShellList::~TKwCustomShellList() {
    destroying_ = true;
    if (tree_) tree_->DriverListGone(this);
    if (combo_) combo_->DriverListGone(this);
    UnregisterDeviceChange(this);
    locator_->OnChange = nullptr;
    if (!Columns.empty() && widths_persistable_) SaveColumnWidths();
    watcher_.reset();
    if (drop_target_) {
        shell::revoke_drag_drop(Handle());
        drop_target_.reset();
    }
    for (auto& item : Items) delete reinterpret_cast<TKwShListData*>(item.Data);
    Items.clear();
    if (details_) details_->Release();
    if (pending_details_) pending_details_->Release();
    ShellFree(folder_list_);
}

void TKwCustomShellList::SetOptions(TKwShellListOptions options) {
    const TKwShellListOptions old = options_;
    options_ = options;
    if ((old ^ options) & kwsloOleDrop) {
        if ((options & kwsloOleDrop) && !Designing) {
            drop_target_ = com::ComPtr<shell::IDropTarget>::share(new TDropTarget_shlv(*this));
            shell::register_drag_drop(Handle(), drop_target_.get());
        } else if (drop_target_) {
            shell::revoke_drag_drop(Handle());
            drop_target_.reset();
        }
    }
    if ((old & kwsloDynamicRefresh) && !(options & kwsloDynamicRefresh)) watcher_.reset();
}

void TKwCustomShellList::SetMask(const std::string& mask) {
    mask_text_ = mask;
    mask_list_.clear();
    std::string part;
    auto flush = [&] {
        const auto b = part.find_first_not_of(' ');
        const auto e = part.find_last_not_of(' ');
        if (b != std::string::npos) mask_list_.push_back(part.substr(b, e - b + 1));
        part.clear();
    };
    for (char c : mask) {
        if (c == ';' || c == ',')
            flush();
        else
            part += c;
    }
    flush();
}

// ---- items --------------------------------------------------------------------------------------------

TKwShListData* TKwCustomShellList::ItemData(int index) const {
    if (index < 0 || index >= static_cast<int>(Items.size())) return nullptr;
    return reinterpret_cast<TKwShListData*>(Items[static_cast<std::size_t>(index)].Data);
}

TKwShListData* TKwCustomShellList::SelectedData() const {
    return ItemData(selected_index());
}

int TKwCustomShellList::SelectedDataCount() const {
    return static_cast<int>(SelectedDataIndexes().size());
}

std::vector<int> TKwCustomShellList::SelectedIndexes() const {
    std::vector<int> out;
    for (std::size_t i = 0; i < Items.size(); ++i)
        if (Items[i].Selected) out.push_back(static_cast<int>(i));
    return out;
}

std::vector<int> TKwCustomShellList::SelectedDataIndexes() const {
    std::vector<int> out;
    for (int i : SelectedIndexes())
        if (ItemData(i)) out.push_back(i);
    return out;
}

std::vector<PIDL> TKwCustomShellList::SelectedRelativeCopies() const {
    std::vector<PIDL> out;
    for (int i : SelectedDataIndexes()) out.push_back(CopyIdList(nullptr, ItemData(i)->RelativeIdList()));
    return out;
}

int TKwCustomShellList::IndexOfData(const TKwShListData* data) const {
    for (std::size_t i = 0; i < Items.size(); ++i)
        if (reinterpret_cast<const TKwShListData*>(Items[i].Data) == data) return static_cast<int>(i);
    return -1;
}

std::string TKwCustomShellList::ItemText(int index, int column) {
    if (index < 0 || index >= static_cast<int>(Items.size())) return {};
    forms::ListItem& item = Items[static_cast<std::size_t>(index)];
    TKwShListData* data = ItemData(index);
    if (column == 0) {
        if (item.Caption.empty() && data) item.Caption = data->DisplayName();
        return item.Caption;
    }
    if (item.SubItems.count() < column) return {};
    const std::string& stored = item.SubItems[column - 1];
    if (!stored.empty() || !data) return stored;
    return data->DetailText(column);
}

std::string TKwCustomShellList::shown_text(int index, int column) {
    TKwListDispInfo info;
    info.Mask = LVIF_TEXT;
    info.Item = index;
    info.SubItem = column;
    GetDispInfo(info);
    return info.Text;
}

int TKwCustomShellList::shown_image(int index) {
    TKwListDispInfo info;
    info.Mask = LVIF_IMAGE;
    info.Item = index;
    GetDispInfo(info);
    return info.Image;
}

void TKwCustomShellList::GetDispInfo(TKwListDispInfo& info) {
    if (info.Item < 0 || info.Item >= static_cast<int>(Items.size())) return;
    if (info.Mask & LVIF_TEXT) {
        info.Text = ItemText(info.Item, info.SubItem);
        if (info.TextMax == 0)
            info.Text.clear();
        else if (info.Text.size() > info.TextMax - 1)
            info.Text.resize(info.TextMax - 1);
    }
    if ((info.Mask & LVIF_IMAGE) && info.SubItem == 0) {
        if (OnGetImageIndex) OnGetImageIndex(*this, Items[static_cast<std::size_t>(info.Item)]);
        info.Image = ItemImage(info.Item);
    }
}

int TKwCustomShellList::ItemImage(int index) {
    if (index < 0 || index >= static_cast<int>(Items.size())) return -1;
    const forms::ListItem& item = Items[static_cast<std::size_t>(index)];
    TKwShListData* data = ItemData(index);
    if (item.ImageIndex < 1 && data) return GetSysIconIndex(data->AbsoluteIdList(), SHGFI_SMALLICON);
    return item.ImageIndex;
}

void TKwCustomShellList::InsertItem(TKwShListData* data, std::uint32_t attributes, int sub_items) {
    forms::ListItem item;
    item.Data = reinterpret_cast<std::intptr_t>(data);
    if (attributes & shell::SFGAO_SHARE)
        item.OverlayIndex = 0;
    else if (attributes & shell::SFGAO_LINK)
        item.OverlayIndex = 1;
    item.Cut = (attributes & shell::SFGAO_GHOSTED) != 0;
    for (int i = 0; i < sub_items; ++i) item.SubItems.add({});
    Items.push_back(std::move(item));
}

void TKwCustomShellList::DeleteItem(int index) {
    if (index < 0 || index >= static_cast<int>(Items.size())) return;
    TKwShListData* data = ItemData(index);
    if (data && OnDeleteItem) OnDeleteItem(*this, index, data);
    Items.erase(Items.begin() + index);
    delete data;
    auto follow = [index](int& i) {
        if (i == index)
            i = -1;
        else if (i > index)
            --i;
    };
    follow(ItemFocused);
    follow(drop_highlight_);
    follow(editing_);
}

void TKwCustomShellList::DeleteAllItems() {
    for (auto& item : Items) item.Selected = false;
    while (!Items.empty()) DeleteItem(static_cast<int>(Items.size()) - 1);
    ItemFocused = -1;
    TopIndex = 0;
}

void TKwCustomShellList::SetFocusedItem(int index) {
    ItemFocused = index;
}

// ---- filling ------------------------------------------------------------------------------------------

void TKwCustomShellList::FillList() {
    if (dragging_ || IsEditing()) {
        refresh_pending_ = true;
        return;
    }
    {
        TKwHourglass hourglass;
        DeleteAllItems();
        PCIDL list = locator_->IdList();
        FolderPtr folder;
        const HRESULT hr = GetShellFolder(list, folder);
        if (com::failed(hr)) RaiseShellError(hr);
        BuildMaskNames();
        try {
            FillFromFolder(folder, list);
        } catch (...) {
            FreeMaskNames();
            throw;
        }
        FreeMaskNames();
    }
    ++FillCount;
    SortItems();
    if (!Items.empty()) SetFocusedItem(0);
    TopIndex = 0;
    LeftPos = 0;
    if ((options_ & kwsloDynamicRefresh) && !Designing) StartWatching();
}

void TKwCustomShellList::FillFromFolder(const FolderPtr& folder, PCIDL absolute) {
    fire(OnFillStart);
    // What the list showed before: all of it comes back when the fill fails, so the folder,
    // its list and the items never disagree (an item's absolute list is the folder list joined
    // with its own, and a drag or Send To acts on that path).
    PIDL old_list = folder_list_;
    FolderPtr old_folder = folder_;
    IShellDetails* old_details = details_;
    const std::size_t first_new = Items.size();
    folder_list_ = CopyIdList(nullptr, absolute);
    folder_ = folder;
    details_ = GetFolderShellDetails(folder);
    details_asked_ = true;
    try {
        RebuildColumns(details_);
        std::uint32_t flags = shell::SHCONTF_FOLDERS | shell::SHCONTF_NONFOLDERS;
        if (options_ & kwsloShowHidden) flags |= shell::SHCONTF_INCLUDEHIDDEN;
        std::vector<shell::IdList> children;
        // A folder that cannot be read (nothing read), or whose reading breaks off with
        // E_FAIL, ends the fill silently; "no more items" is a normal end; any other end code
        // is a fault of the folder and is raised.
        const HRESULT hr = folder->enum_objects(flags, children);
        if (com::failed(hr) && hr != hresult_no_more_items) {
            if (children.empty() || hr == com::E_FAIL) throw EAbort();
            RaiseShellError(hr);
        }
        Items.reserve(Items.size() + children.size());
        for (const auto& child : children) {
            auto* relative = static_cast<PIDL>(ShellAlloc(child.size()));
            std::memcpy(relative, child.data(), child.size());
            AddListItem(folder_list_, relative);
        }
    } catch (...) {
        while (Items.size() > first_new) DeleteItem(static_cast<int>(Items.size()) - 1);
        ShellFree(folder_list_);
        folder_list_ = old_list;
        folder_ = old_folder;
        if (details_) details_->Release();
        details_ = old_details;
        throw;
    }
    ShellFree(old_list);
    if (old_details) old_details->Release();
    fire(OnFillComplete);
}

bool TKwCustomShellList::FilterItem(PCIDL absolute, PCIDL relative, std::uint32_t& attributes) {
    // An item the folder cannot answer for has no attributes (not every bit asked for).
    attributes = folder_ ? folder_->attributes_of(relative, filter_attribute_mask) : 0;
    if (!(options_ & kwsloVirtualItems) &&
        !(attributes & (shell::SFGAO_FILESYSTEM | shell::SFGAO_FILESYSANCESTOR)))
        return false;
    if ((options_ & kwsloHideFolders) && tree_ && (attributes & shell::SFGAO_FOLDER) &&
        (attributes & shell::SFGAO_FILESYSTEM))
        return false;
    return CanAddItem(folder_, absolute, attributes, relative);
}

bool TKwCustomShellList::CanAddItem(const FolderPtr& folder, PCIDL absolute, std::uint32_t attributes,
                                    PCIDL relative) {
    bool allow = true;
    if (mask_names_ && !(attributes & shell::SFGAO_FOLDER) && folder) {
        allow = MatchesMask(
            folder->display_name_of(relative, shell::SHGDN_FORPARSING | shell::SHGDN_INFOLDER), attributes);
    }
    if (allow && OnAddItem) OnAddItem(*this, folder, absolute, relative, attributes, allow);
    return allow;
}

void TKwCustomShellList::AddListItem(PCIDL absolute, PIDL relative) {
    try {
        std::uint32_t attributes = 0;
        if (!FilterItem(absolute, relative, attributes)) {
            ShellFree(relative);
            return;
        }
        std::unique_ptr<TKwShListData> data(new TKwShListData(this, relative));
        relative = nullptr;  // the data holds it now
        pending_data_ = data.get();
        pending_attributes_ = attributes;
        InsertItem(data.get(), attributes, 3);
        data.release();  // the item holds it now
        pending_data_ = nullptr;
    } catch (...) {
        ShellFree(relative);
        pending_data_ = nullptr;
        ShowShellBox(forms::DialogType::error, "Exception in AddNewShellItem");
        throw;
    }
}

void TKwCustomShellList::RefreshList() {
    if (dragging_ || IsEditing()) {
        refresh_pending_ = true;
        return;
    }
    if (Items.empty()) {
        FillList();
        return;
    }
    TKwHourglass hourglass;
    ++RefreshCount;
    fire(OnFillStart);
    BuildMaskNames();
    platform::scope_exit mask_guard{[this] { FreeMaskNames(); }};

    TKwPidlList old_items;
    old_items.SetCapacity(static_cast<int>(Items.size()));
    old_items.Duplicates = TKwPidlList::dupAccept;
    for (auto& item : Items) {
        auto* data = reinterpret_cast<TKwShListData*>(item.Data);
        if (data) old_items.AddObject(const_cast<PIDL>(data->RelativeIdList()), data);
    }
    // Byte order is enough for names in a file-system folder; a virtual folder compares its own.
    if (FolderPath().empty()) old_items.ShellFolder = folder_;
    old_items.SetSorted(true);

    TKwPidlList new_items;
    new_items.SetCapacity(static_cast<int>(Items.size()));
    new_items.Malloc = ShellMalloc();
    new_items.Duplicates = TKwPidlList::dupAccept;
    std::uint32_t flags = shell::SHCONTF_FOLDERS | shell::SHCONTF_NONFOLDERS;
    if (options_ & kwsloShowHidden) flags |= shell::SHCONTF_INCLUDEHIDDEN;
    std::vector<shell::IdList> children;
    if (folder_) folder_->enum_objects(flags, children);  // cannot start: every item goes
    for (const auto& child : children) {
        auto* relative = static_cast<PIDL>(ShellAlloc(child.size()));
        std::memcpy(relative, child.data(), child.size());
        new_items.AddObject(relative, nullptr);
    }
    for (int i = new_items.Count() - 1; i >= 0; --i) {
        const int j = old_items.IndexOf(new_items.IdLists(i));
        if (j < 0) continue;
        new_items.Delete(i);
        old_items.Delete(j);
    }
    for (int j = 0; j < old_items.Count(); ++j)
        DeleteItem(IndexOfData(static_cast<TKwShListData*>(old_items.Objects(j))));
    new_items.Malloc = nullptr;  // the lists pass to the items
    const bool added = new_items.Count() > 0;
    for (int i = 0; i < new_items.Count(); ++i) AddListItem(folder_list_, new_items.IdLists(i));
    new_items.Clear();
    fire(OnFillComplete);
    // New items take their place in the order the header shows.
    if (added) SortItems();
}

// ---- columns -------------------------------------------------------------------------------------------

void TKwCustomShellList::SaveColumnWidths() {
    auto& stream = ColumnWidthStream();
    stream.clear();
    put_u32(stream, static_cast<std::uint32_t>(Columns.size()));
    for (const auto& c : Columns) put_u32(stream, static_cast<std::uint32_t>(c.Width));
}

void TKwCustomShellList::LoadColumnWidths() {
    const auto& stream = ColumnWidthStream();
    auto read = [&](std::size_t at, std::uint32_t& v) {
        if (at + 4 > stream.size()) return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(stream[at + static_cast<std::size_t>(i)]) << (8 * i);
        return true;
    };
    std::uint32_t count = 0;
    if (!read(0, count)) return;
    for (std::uint32_t i = 0; i < count && i < Columns.size(); ++i) {
        std::uint32_t w = 0;
        if (!read(4 + 4 * static_cast<std::size_t>(i), w)) return;
        Columns[i].Width = static_cast<int>(w);
    }
}

void TKwCustomShellList::RebuildColumns(IShellDetails* details) {
    if (!Columns.empty() && widths_persistable_) SaveColumnWidths();
    Columns.clear();
    ColumnAlignment.clear();
    if (details)
        DetailsColumns(details);
    else
        StandardColumns();
    UpdateHeaderItems();
    if (std::abs(sort_number_) > static_cast<int>(Columns.size())) sort_number_ = 1;
    SetSortColumn(sort_number_);
}

void TKwCustomShellList::StandardColumns() {
    auto& s = unit_state();
    std::array<std::uint8_t, directory_cols_capacity> buffer{};
    const std::uint16_t defaults[] = {200, 60, 100, 120, 50};
    for (std::size_t i = 0; i < 5; ++i) {
        buffer[2 * i] = static_cast<std::uint8_t>(defaults[i] & 0xFF);
        buffer[2 * i + 1] = static_cast<std::uint8_t>(defaults[i] >> 8);
    }
    std::size_t size = 10;
    // A value that does not fit the buffer is not ours to read: the defaults stay. The store
    // never raises; one it cannot open reads as no value.
    const auto value =
        registry::query_value(registry::HKEY_CURRENT_USER, directory_cols_key, "DirectoryCols");
    if (value && value->type == registry::DataType::binary && value->text.size() <= directory_cols_capacity) {
        std::copy(value->text.begin(), value->text.end(), buffer.begin());
        size = value->text.size();
    }
    auto word = [&](std::size_t i) { return static_cast<int>(buffer[2 * i] | (buffer[2 * i + 1] << 8)); };
    const std::pair<int, forms::Alignment> columns[] = {{sKwColName, forms::Alignment::left},
                                                        {sKwColSize, forms::Alignment::right},
                                                        {sKwColType, forms::Alignment::left},
                                                        {sKwColModified, forms::Alignment::left}};
    for (std::size_t i = 0; i < 4; ++i) {
        Columns.push_back({LoadStr(columns[i].first), word(i)});
        ColumnAlignment.push_back(columns[i].second);
    }
    const bool same_as_before =
        s.last_cols_size != 0 && s.last_cols_size == size &&
        std::equal(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size / 2 * 2),
                   s.last_cols.begin());
    if (same_as_before && !ColumnWidthStream().empty()) LoadColumnWidths();
    s.last_cols = buffer;
    s.last_cols_size = size;
    column_kind_ = 2;
    widths_persistable_ = true;
}

void TKwCustomShellList::DetailsColumns(IShellDetails* details) {
    widths_persistable_ = !FolderPath().empty();
    const bool stored = widths_persistable_ && !ColumnWidthStream().empty();
    for (unsigned index = 0;; ++index) {
        SHELLDETAILS d;
        if (com::failed(details->GetDetailsOf(nullptr, index, d))) break;
        Columns.push_back({d.str, d.cxChar * 7});
        ColumnAlignment.push_back(d.fmt == 1
                                      ? forms::Alignment::right
                                      : (d.fmt == 2 ? forms::Alignment::center : forms::Alignment::left));
    }
    if (stored) LoadColumnWidths();
    column_kind_ = 1;
}

// ---- sorting ------------------------------------------------------------------------------------------

void TKwCustomShellList::SetSortColumn(int n) {
    // The arrow shows the order: ascending for n >= 0, descending for n < 0.
    TKwCustomListView::SetSortColumn(n == 0 ? -1 : std::abs(n) - 1);
    SetSortDescending(n < 0);
    sort_set_by_handler_ = true;
    if (n != sort_number_) {
        sort_number_ = n;
        SortItems();
    }
}

void TKwCustomShellList::SortItems() {
    if (sort_number_ == 0 || !folder_ || Items.size() < 2) return;
    const int column = std::abs(sort_number_) - 1;
    const bool descending = sort_number_ < 0;
    const TKwShListData* focused = ItemData(ItemFocused);
    const TKwShListData* highlighted = ItemData(drop_highlight_);
    const TKwShListData* edited = ItemData(editing_);
    const FolderPtr folder = folder_;
    // The order is found on indexes and the items moved once: moving an item copies its texts.
    std::vector<std::size_t> order(Items.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    const bool all_data =
        std::all_of(Items.begin(), Items.end(), [](const forms::ListItem& i) { return i.Data != 0; });
    if (all_data) {
        // The folder's own order, found with each item's status read once rather than at
        // every comparison: a folder of thousands of files sorts in milliseconds.
        std::vector<PCIDL> lists;
        lists.reserve(Items.size());
        std::unordered_map<PCIDL, std::size_t> index_of;
        for (std::size_t i = 0; i < Items.size(); ++i) {
            lists.push_back(reinterpret_cast<const TKwShListData*>(Items[i].Data)->RelativeIdList());
            index_of[lists.back()] = i;
        }
        folder->sort_ids(column, lists, descending);
        for (std::size_t i = 0; i < lists.size(); ++i) order[i] = index_of[lists[i]];
    } else {
        // Items without data compare equal to every other.
        std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
            const auto* da = reinterpret_cast<const TKwShListData*>(Items[x].Data);
            const auto* db = reinterpret_cast<const TKwShListData*>(Items[y].Data);
            if (!da || !db) return false;
            int c = static_cast<std::int16_t>(std::clamp(
                folder->compare_ids(column, da->RelativeIdList(), db->RelativeIdList()), -32768, 32767));
            if (descending) c = -c;
            return c < 0;
        });
    }
    std::vector<forms::ListItem> sorted;
    sorted.reserve(Items.size());
    for (std::size_t i : order) sorted.push_back(std::move(Items[i]));
    Items.swap(sorted);
    if (focused) ItemFocused = IndexOfData(focused);
    if (highlighted) drop_highlight_ = IndexOfData(highlighted);
    if (edited) editing_ = IndexOfData(edited);
}

void TKwCustomShellList::ColumnClick(int column) {
    sort_set_by_handler_ = false;
    if (OnColumnClick) OnColumnClick(*this, column);
    if (sort_set_by_handler_) return;
    if (std::abs(sort_number_) - 1 == column && sort_number_ != 0)
        SetSortColumn(-sort_number_);
    else
        SetSortColumn(column + 1);
}

void TKwCustomShellList::click_column(int column) {
    ensure_reachable("click the header of");
    if (column < 0 || column >= static_cast<int>(Columns.size()))
        throw forms::FormError(forms::describe(*this) + " has no column " + std::to_string(column));
    ColumnClick(column);
}

// ---- masks ---------------------------------------------------------------------------------------------

void TKwCustomShellList::BuildMaskNames() {
    FreeMaskNames();
    const std::string path = locator_->Path();
    if (path.empty() || mask_text_.empty() || mask_text_ == "*" || mask_text_ == "*.*") return;
    mask_names_ = std::make_unique<std::set<std::string>>();
    for (const auto& mask : mask_list_) {
        DIR* dir = ::opendir(path.c_str());
        if (!dir) break;  // a folder that cannot be searched: the later masks add nothing either
        const std::string pattern = upper(mask);
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_type == DT_DIR) continue;
            const std::string name = upper(e->d_name);
            if (name == "." || name == "..") continue;
            if (::fnmatch(pattern.c_str(), name.c_str(), 0) == 0) mask_names_->insert(name);
        }
        ::closedir(dir);
    }
}

bool TKwCustomShellList::MatchesMask(const std::string& name, std::uint32_t attributes) {
    if (attributes & shell::SFGAO_FOLDER) return true;
    return mask_names_ && mask_names_->count(upper(name)) > 0;
}

void TKwCustomShellList::FreeMaskNames() {
    mask_names_.reset();
}

// ---- watching and refreshing ------------------------------------------------------------------------------

void TKwCustomShellList::StartWatching() {
    timer_->set_enabled(false);
    if (watcher_)
        watcher_->RemoveAllWatches();
    else
        watcher_ = std::make_unique<TChangeHandlerThread>(Handle(), WM_KWCHANGENOTIFY);
    int slot = -1;
    watcher_->AddWatch(locator_->Path(), FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, slot,
                       false);
}

win::Result TKwCustomShellList::HandleMessage(std::uint32_t message, win::WParam, win::LParam) {
    switch (message) {
        case WM_KWCHANGENOTIFY:
            ++ChangeNotices;
            if (ignore_next_change_) {
                ignore_next_change_ = false;
                return 0;
            }
            if (dragging_) {
                // The change is not lost: the drag's end refreshes when one was asked for.
                refresh_pending_ = true;
                return 0;
            }
            timer_->set_enabled(false);
            timer_->set_interval(Focused() ? 400 : 2000);
            timer_->set_enabled(true);
            return 0;
        case WM_KWSELECTNAME:
            for (int i = 0; i < static_cast<int>(Items.size()); ++i) {
                TKwShListData* data = ItemData(i);
                if (!data || data->DisplayName() != NameToSelect) continue;
                if (form()) SetFocus();
                EditCaption(i);
                break;
            }
            return 0;
        case WM_KWAUTOFILL:
            if (Items.empty()) FillList();
            return 0;
        default:
            return 0;
    }
}

void TKwCustomShellList::RefreshTimerFired() {
    timer_->set_enabled(false);
    {
        Nesting nesting(locator_nesting_);
        CompletePendingRefresh(true);
    }
    RefreshList();
}

void TKwCustomShellList::CompletePendingRefresh(bool cascade) {
    if (cascade) {
        if (combo_) combo_->DriverCompletePendingRefresh();
        if (tree_) tree_->DriverCompletePendingRefresh();
    }
    if (timer_->enabled()) RefreshTimerFired();
}

void TKwCustomShellList::LocatorChanged() {
    if (locator_nesting_ == 0) {
        {
            Nesting nesting(locator_nesting_);
            if (tree_)
                tree_->DriverShow(locator_->IdList());
            else if (combo_)
                combo_->DriverLocator().SetIdList(locator_->IdList());
        }
        FillList();
    }
    fire(OnFolderChange);
}

void TKwCustomShellList::DeviceChanged(std::uint32_t event) {
    if (event != shell::DBT_DEVICEARRIVAL && event != shell::DBT_DEVICEREMOVECOMPLETE) return;
    ValidateMyComputer();
    BeginNoValidate();
    platform::scope_exit end{[] { EndNoValidate(); }};
    if (IdListToSpecialFolder(locator_->IdList()) == shell::CSIDL_DRIVES) FillList();
}

// ---- drivers --------------------------------------------------------------------------------------------

void TKwCustomShellList::SetTree(TKwShellListDriver* tree) {
    tree_ = tree;
}
void TKwCustomShellList::SetComboBox(TKwShellListDriver* combo) {
    combo_ = combo;
}

void TKwCustomShellList::AssignLocator(const TKwShellLocator& locator) {
    locator_->Assign(&locator);
}

void TKwCustomShellList::FollowDriverSelection(PCIDL absolute) {
    locator_->SetIdList(absolute);
}

bool TKwCustomShellList::IsNetworkFolder() {
    const std::string path = locator_->Path();
    if (path.empty()) return false;
    const shell::Mount* m = shell::mount_of(shell::normalize_path(path));
    return m && shell::drive_type(*m) == shell::DriveType::remote;
}

HRESULT TKwCustomShellList::GetSelectionUIObject(std::shared_ptr<shell::ContextMenu>& out) {
    out.reset();
    const auto indexes = SelectedDataIndexes();
    if (indexes.empty() || !folder_) return com::E_FAIL;
    std::vector<shell::IdList> children;
    for (int i : indexes) children.push_back(shell::to_id_list(ItemData(i)->RelativeIdList()));
    out = std::make_shared<shell::ContextMenu>(folder_, std::move(children));
    return com::S_OK;
}

// ---- custom draw ------------------------------------------------------------------------------------------

TKwCustomDraw* TKwCustomShellList::CustomDrawNotify(TKwCustomDrawInfo& info, std::uint32_t& result) {
    const bool item_stage = (info.dwDrawStage & CDDS_ITEM) != 0;
    const int item = item_stage ? static_cast<int>(info.dwItemSpec) : -1;
    TKwShListData* data = item_stage ? ItemData(item) : nullptr;
    custom_draw_ = CreateCustomDraw(info, result);
    if (OnCustomDrawItemEx) OnCustomDrawItemEx(*this, *custom_draw_, item, data);
    if (OnCustomDrawItem && custom_draw_->Stage() == 4) OnCustomDrawItem(*this, *custom_draw_, item, data);
    custom_draw_->Apply();
    if (info.dwDrawStage & CDDS_PREPAINT) result |= CDRF_NOTIFYITEMDRAW;
    return custom_draw_.get();
}

}  // namespace shellctl
