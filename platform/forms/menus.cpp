#include "platform/forms/menus.h"

#include <algorithm>

#include "platform/forms/backend.h"
#include "platform/forms/interaction.h"

namespace platform::forms {

int Backend::track_menu(TrackedMenu&) {
    throw NoInteractionProvider("a context menu was shown with nobody to choose from it");
}

int MenuItem::MenuIndex() const {
    if (!menu_) return -1;
    const auto& items = menu_->Items();
    auto it = std::find(items.begin(), items.end(), this);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void MenuItem::click() {
    if (!Visible) throw FormError("cannot choose " + describe(*this) + ": it is hidden");
    if (!Enabled) throw FormError("cannot choose " + describe(*this) + ": it is disabled");
    if (OnClick) OnClick(*this);
}

MenuItem* PopupMenu::add_item(std::string name, std::string caption) {
    Component* owner = this->owner() ? this->owner() : this;
    auto* item = owner->add<MenuItem>(std::move(name));
    item->Caption = std::move(caption);
    item->menu_ = this;
    items_.push_back(item);
    return item;
}

std::vector<MenuItem*> PopupMenu::visible_items() const {
    std::vector<MenuItem*> out;
    for (MenuItem* item : items_) {
        if (item->Visible) out.push_back(item);
    }
    return out;
}

void PopupMenu::popup(Control* control, int x, int y) {
    PopupComponent = control;
    popup_point = {x, y};
    if (OnPopup) OnPopup(*this);
    backend().menu_opened(*this);
}

}  // namespace platform::forms
