// List box and combo box: a StringList of items and a selection.
//
// Selection rules, the same for both:
// - ItemIndex is the selected item, -1 for none; code may assign it (fires nothing).
// - The selection follows its item when items are inserted or deleted in front of it; it
//   becomes -1 when its item is deleted or the items are cleared.
// - With Sorted set, adding keeps the items in order (letters compared without regard to
//   case), so an added item may land in front of the selection, which then moves with its item.
// - select(i) is a person choosing item i: it sets ItemIndex and fires OnClick (list box) or
//   OnChange (combo box) when the selection changed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/forms/component.h"
#include "platform/forms/string_list.h"

namespace platform::forms {

class ListBox : public Control {
  public:
    FORMS_CLASS_NAME("TListBox")
    ListBox();

    StringList Items;
    bool& Sorted = Items.sorted;
    int ItemIndex = -1;
    bool MultiSelect = false;
    int ItemHeight = 13;
    int TopIndex = 0;

    // A person choosing item `index` (-1: none); with MultiSelect it also becomes the only
    // selected item.
    void select(int index);
    // Multi-select state; without MultiSelect, selected(i) is i == ItemIndex.
    bool selected(int index) const;
    void set_selected(int index, bool selected);
    int selected_count() const;
    // The item at a client point: TopIndex + y / ItemHeight; -1 beyond the last item when
    // `existing` is set, else that computed index.
    int ItemAtPos(Point point, bool existing) const;
    // The selected item's text, or "" when nothing is selected.
    std::string selected_text() const;

  private:
    void items_changed(StringList::Change change, int index);
    std::vector<bool> multi_;
};

enum class ComboStyle { drop_down, drop_down_list, simple };

class ComboBox : public Control {
  public:
    FORMS_CLASS_NAME("TComboBox")
    ComboBox();

    StringList Items;
    bool& Sorted = Items.sorted;
    ComboStyle Style = ComboStyle::drop_down;
    int ItemIndex = -1;
    int DropDownCount = 8;
    NotifyEvent OnChange;
    NotifyEvent OnDropDown;
    NotifyEvent OnSelect;

    // The text the box shows: the selected item; with nothing selected, the typed text of a
    // drop-down box ("" for a drop-down list, after code set ItemIndex from an item to -1,
    // and after the selected item was deleted).
    std::string text() const;
    // Code setting the text: a drop-down list selects the first item equal to it without
    // regard to case (-1 when none); a drop-down box shows the text and selects the item equal
    // to it exactly, if any. Fires nothing.
    void set_text(std::string_view text);

    // A person choosing item `index`: ItemIndex, then OnSelect and OnChange when it changed.
    void select(int index);
    // A person typing into a drop-down box: set_text, then OnChange. A drop-down list accepts
    // no typing: throws FormError.
    void type_text(std::string_view text);
    // A person opening the list: OnDropDown.
    void drop_down();

  private:
    void items_changed(StringList::Change change, int index);
    std::string typed_;
    int typed_for_ = -1;  // ItemIndex when typed_ was last set
};

}  // namespace platform::forms
