// Form placement and helpers for list controls, menus and paint boxes shared by the forms of
// both programs. Texts are compared with same_text (letters without regard to case) unless
// said otherwise. No state; main thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/forms/types.h"

namespace platform::forms {
class ComboBox;
class Control;
class Form;
class ListBox;
class MenuItem;
class PaintBox;
class PopupMenu;
class ScrollBox;
}  // namespace platform::forms

namespace putils {

// Centres the form on the stored point "Window Left" / "Window Top" (read-or-create, defaults
// half the screen's width and height): Left = X - Width / 2, Top = Y - Height / 2.
void place_form(platform::forms::Form& form);
// Centres the form on the screen.
void center_form(platform::forms::Form& form);
// Sets the canvas's brush colour and draws the rectangle (0, 0, Width, Height) with the pen.
void fill_paint_box(platform::forms::PaintBox& box, platform::forms::Color colour);
// low when the value is below low, else the smaller of the value and high.
std::int32_t limit_int(std::int32_t value, std::int32_t low, std::int32_t high);
// The smaller of the two; the second when they are equal.
double min_real(double a, double b);

// The selected item's text; "" when nothing is selected.
std::string combo_text(const platform::forms::ComboBox& box);
// Selects the first item equal to the text (code: fires nothing); otherwise no change.
void select_combo_item(platform::forms::ComboBox& box, std::string_view text);
bool combo_contains(const platform::forms::ComboBox& box, std::string_view text);
// Appends the text unless an item equals it.
void combo_add_unique(platform::forms::ComboBox& box, std::string_view text);
// Deletes the first item equal to the text; nothing when none is.
void combo_delete_item(std::string_view text, platform::forms::ComboBox& box);

// The file name without folder (behind the last "/" or "\") and without extension (from the
// first "." on): "/data/a.b.PME" gives "a".
std::string file_base_name(std::string_view path);
// Empties the box and fills it with file_base_name of every entry the mask finds (find_files),
// adds `extra` unless empty or present, then selects what was selected before: nothing when
// nothing was, else that text, else item 0.
void fill_combo_with_files(std::string_view mask, std::string_view extra, platform::forms::ComboBox& box);
// fill_combo_with_files keeping the selected text (added when it has no file any more).
void refill_combo_with_files(std::string_view mask, platform::forms::ComboBox& box);
// Empties the list box, adds file_base_name of every entry the mask finds, selects item 0.
void fill_list_with_files(std::string_view mask, platform::forms::ListBox& box);
// The first direct control of the scroll box whose name equals `name` exactly (letter case
// counts), or nullptr.
platform::forms::Control* find_control(std::string_view name, const platform::forms::ScrollBox& box);

// When none of the items 0 .. n-1 has the text as caption: item n gets it as caption and is
// made visible, true. Otherwise, and when the menu has no item n, nothing changes: false.
bool popup_add_caption(platform::forms::PopupMenu& menu, std::string_view text, int n);
// The edit the menu was opened on gets the caption of the item at the clicked item's position
// as its text; the edit's OnChange fires when that changed its text, since the value was chosen
// by the user. Nothing when the menu was not opened on an edit or the position has no item.
void popup_item_to_edit(platform::forms::PopupMenu& menu, const platform::forms::MenuItem& clicked);

}  // namespace putils
