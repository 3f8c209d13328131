#include "platform/forms/list_controls.h"

namespace platform::forms {

namespace {

// Keeps a selection on its item as the list changes.
int follow(int selected, StringList::Change change, int index) {
    using C = StringList::Change;
    if (selected < 0) return -1;
    switch (change) {
        case C::inserted:
            return index <= selected ? selected + 1 : selected;
        case C::deleted:
            if (index == selected) return -1;
            return index < selected ? selected - 1 : selected;
        case C::replaced:
            return index < 0 ? -1 : selected;  // a whole new list drops the selection
        case C::cleared:
        case C::reordered:
            return -1;
    }
    return -1;
}

void check_index(const Control& control, int index, int count) {
    if (index < -1 || index >= count) {
        throw FormError(describe(control) + " has no item " + std::to_string(index) + " (count " +
                        std::to_string(count) + ")");
    }
}

}  // namespace

// ---- ListBox ------------------------------------------------------------------------------

ListBox::ListBox() {
    TabStop = true;
    Color = clWindow;
    Items.set_listener([this](StringList::Change change, int index) { items_changed(change, index); });
}

void ListBox::items_changed(StringList::Change change, int index) {
    ItemIndex = follow(ItemIndex, change, index);
    using C = StringList::Change;
    switch (change) {
        case C::inserted:
            if (index <= static_cast<int>(multi_.size())) multi_.insert(multi_.begin() + index, false);
            break;
        case C::deleted:
            if (index < static_cast<int>(multi_.size())) multi_.erase(multi_.begin() + index);
            break;
        case C::replaced:
            if (index < 0) multi_.clear();
            break;
        case C::cleared:
        case C::reordered:
            multi_.clear();
            break;
    }
    multi_.resize(static_cast<std::size_t>(Items.count()), false);
    if (TopIndex >= Items.count()) TopIndex = 0;
}

void ListBox::select(int index) {
    ensure_reachable("select in");
    check_index(*this, index, Items.count());
    if (MultiSelect) {
        multi_.assign(static_cast<std::size_t>(Items.count()), false);
        if (index >= 0) multi_[static_cast<std::size_t>(index)] = true;
    }
    if (index == ItemIndex) return;
    ItemIndex = index;
    fire(OnClick);
}

bool ListBox::selected(int index) const {
    if (index < 0 || index >= Items.count()) return false;
    if (!MultiSelect) return index == ItemIndex;
    return index < static_cast<int>(multi_.size()) && multi_[static_cast<std::size_t>(index)];
}

void ListBox::set_selected(int index, bool selected) {
    check_index(*this, index, Items.count());
    if (index < 0) return;
    if (!MultiSelect) {
        if (selected) {
            ItemIndex = index;
        } else if (ItemIndex == index) {
            ItemIndex = -1;
        }
        return;
    }
    multi_.resize(static_cast<std::size_t>(Items.count()), false);
    multi_[static_cast<std::size_t>(index)] = selected;
}

int ListBox::selected_count() const {
    if (!MultiSelect) return (ItemIndex >= 0 && ItemIndex < Items.count()) ? 1 : 0;
    int n = 0;
    for (bool b : multi_) n += b ? 1 : 0;
    return n;
}

int ListBox::ItemAtPos(Point point, bool existing) const {
    const int height = ItemHeight > 0 ? ItemHeight : 1;
    const int index = TopIndex + (point.y < 0 ? -1 : point.y / height);
    if (existing && (index < 0 || index >= Items.count())) return -1;
    return index;
}

std::string ListBox::selected_text() const {
    return (ItemIndex >= 0 && ItemIndex < Items.count()) ? Items[ItemIndex] : std::string();
}

// ---- ComboBox -----------------------------------------------------------------------------

ComboBox::ComboBox() {
    TabStop = true;
    Color = clWindow;
    Items.set_listener([this](StringList::Change change, int index) { items_changed(change, index); });
}

void ComboBox::items_changed(StringList::Change change, int index) {
    const int before = ItemIndex;
    ItemIndex = follow(ItemIndex, change, index);
    if (change == StringList::Change::cleared || (before >= 0 && ItemIndex < 0)) {
        // Losing the selected item (or all items) empties the edit too.
        typed_.clear();
        typed_for_ = -1;
    } else if (ItemIndex >= 0) {
        typed_for_ = ItemIndex;
    }
}

std::string ComboBox::text() const {
    if (ItemIndex >= 0 && ItemIndex < Items.count()) return Items[ItemIndex];
    if (Style == ComboStyle::drop_down_list) return {};
    return typed_for_ == -1 ? typed_ : std::string();
}

void ComboBox::set_text(std::string_view text) {
    if (Style == ComboStyle::drop_down_list) {
        ItemIndex = Items.index_of(text);
        typed_.clear();
    } else {
        ItemIndex = Items.index_of_exact(text);
        typed_ = std::string(text);
    }
    typed_for_ = ItemIndex;
}

void ComboBox::select(int index) {
    ensure_reachable("select in");
    check_index(*this, index, Items.count());
    if (index == ItemIndex) return;
    ItemIndex = index;
    typed_ = index >= 0 ? Items[index] : std::string();
    typed_for_ = index;
    fire(OnSelect);
    fire(OnChange);
}

void ComboBox::type_text(std::string_view text) {
    ensure_reachable("type into");
    if (Style == ComboStyle::drop_down_list) {
        throw FormError("cannot type into " + describe(*this) + ": it is a drop-down list");
    }
    set_text(text);
    fire(OnChange);
}

void ComboBox::drop_down() {
    ensure_reachable("open");
    fire(OnDropDown);
}

}  // namespace platform::forms
