#include "platform/forms/handles.h"

#include "platform/forms/common_controls.h"
#include "platform/forms/menus.h"
#include "platform/kernel/handle_table.h"

namespace platform::forms {

namespace {

// Menus and image lists share one table, so no handle names both.
kernel::HandleTable<Component>& handles() {
    static kernel::HandleTable<Component> table;
    return table;
}

MenuItem* item_of(MenuHandle menu, int position) {
    PopupMenu* m = find_menu(menu);
    if (!m || position < 0 || position >= m->count()) return nullptr;
    return m->item(position);
}

}  // namespace

namespace detail {

std::uint32_t add_handle(Component* component) {
    return handles().add(component);
}

void forget_handle(std::uint32_t handle) {
    handles().forget(handle);
}

}  // namespace detail

PopupMenu* find_menu(MenuHandle menu) {
    return dynamic_cast<PopupMenu*>(handles().find(menu));
}

ImageList* find_image_list(ImageListHandle list) {
    return dynamic_cast<ImageList*>(handles().find(list));
}

int get_menu_item_count(MenuHandle menu) {
    const PopupMenu* m = find_menu(menu);
    return m ? m->count() : -1;
}

std::int32_t get_menu_item_id(MenuHandle menu, int position) {
    const MenuItem* item = item_of(menu, position);
    return item ? item->Command : -1;
}

bool set_menu_item_id(MenuHandle menu, int position, std::int32_t id) {
    MenuItem* item = item_of(menu, position);
    if (!item) return false;
    item->Command = id;
    return true;
}

std::string get_menu_item_text(MenuHandle menu, int position) {
    const MenuItem* item = item_of(menu, position);
    return item ? item->Caption : std::string();
}

int get_image_count(ImageListHandle list) {
    const ImageList* l = find_image_list(list);
    return l ? l->count() : -1;
}

bool get_image_size(ImageListHandle list, int& width, int& height) {
    const ImageList* l = find_image_list(list);
    if (!l) return false;
    width = l->Width;
    height = l->Height;
    return true;
}

const Image* get_image(ImageListHandle list, int index) {
    const ImageList* l = find_image_list(list);
    if (!l || index < 0 || index >= l->count()) return nullptr;
    return &l->image(index);
}

}  // namespace platform::forms
