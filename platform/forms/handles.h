// Handles of menus and image lists: what one part of a program hands another that must not
// reach into its forms (a plug-in gives its host the in-place menu and the button image).
//
// A handle is 32-bit, never 0, and never reused within a process; it is valid while its menu
// or image list exists (made with the component, gone with it). Menus and image lists draw
// from one sequence, so a menu handle is never an image list's. Item positions count hidden
// items, as the menu holds them.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <string>

namespace platform::forms {

class Component;
class ImageList;
class PopupMenu;
struct Image;

using MenuHandle = std::uint32_t;
using ImageListHandle = std::uint32_t;

PopupMenu* find_menu(MenuHandle menu);
ImageList* find_image_list(ImageListHandle list);

// -1 for an unknown handle.
int get_menu_item_count(MenuHandle menu);
// The command id of the item at `position` (what the holder of the menu is told when the item
// is chosen); -1 for an unknown handle or position.
std::int32_t get_menu_item_id(MenuHandle menu, int position);
// Sets only the command id of the item at `position`; false for an unknown handle or position.
bool set_menu_item_id(MenuHandle menu, int position, std::int32_t id);
// The item's caption; empty for an unknown handle or position.
std::string get_menu_item_text(MenuHandle menu, int position);

// -1 for an unknown handle.
int get_image_count(ImageListHandle list);
// The images' width and height; false for an unknown handle.
bool get_image_size(ImageListHandle list, int& width, int& height);
// The image at `index`, or nullptr for an unknown handle or index.
const Image* get_image(ImageListHandle list, int index);

namespace detail {
std::uint32_t add_handle(Component* component);
void forget_handle(std::uint32_t handle);
}  // namespace detail

}  // namespace platform::forms
