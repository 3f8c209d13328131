// Pop-up menus and their items.
//
// Items are components owned by the menu's owner (the form), so named items are found by
// name like any control. The helper popup() is a person opening the menu on a control: it
// sets PopupComponent and fires OnPopup; MenuItem::click() is a person choosing an item.
#pragma once

#include <string>
#include <vector>

#include "platform/forms/component.h"
#include "platform/forms/handles.h"

namespace platform::forms {

class PopupMenu;

class MenuItem : public Component {
  public:
    FORMS_CLASS_NAME("TMenuItem")
    std::string Caption;
    bool Visible = true;
    bool Enabled = true;
    bool Checked = false;
    // The id the holder of the menu's handle is told when the item is chosen (set_menu_item_id).
    std::int32_t Command = 0;
    NotifyEvent OnClick;

    forms::PopupMenu* menu() const { return menu_; }
    // Position in the menu, counting hidden items.
    int MenuIndex() const;
    // A person choosing the item; throws FormError on a hidden or disabled item.
    void click();

  private:
    friend class PopupMenu;
    forms::PopupMenu* menu_ = nullptr;
};

class PopupMenu : public Component {
  public:
    FORMS_CLASS_NAME("TPopupMenu")
    PopupMenu() : handle_(detail::add_handle(this)) {}
    ~PopupMenu() override { detail::forget_handle(handle_); }
    // The menu's handle (handles.h).
    MenuHandle handle() const { return handle_; }
    bool AutoHotkeys = true;  // false: captions keep their "&" exactly as given
    NotifyEvent OnPopup;
    // The control the menu was last opened on.
    Control* PopupComponent = nullptr;
    Point popup_point;

    // Adds an item (owned by the menu's owner, or by the menu when it has none).
    MenuItem* add_item(std::string name = {}, std::string caption = {});
    const std::vector<MenuItem*>& Items() const { return items_; }
    int count() const { return static_cast<int>(items_.size()); }
    MenuItem* item(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    // The visible items in order, as a person sees them.
    std::vector<MenuItem*> visible_items() const;

    // Opens the menu on `control` at (x, y): PopupComponent, then OnPopup.
    void popup(Control* control, int x = 0, int y = 0);

  private:
    friend class MenuItem;
    MenuHandle handle_;
    std::vector<MenuItem*> items_;
};

}  // namespace platform::forms
