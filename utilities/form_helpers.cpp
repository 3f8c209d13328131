#include "utilities/form_helpers.h"

#include <vector>

#include "platform/forms/application.h"
#include "platform/forms/common_controls.h"
#include "platform/forms/form.h"
#include "platform/forms/list_controls.h"
#include "platform/forms/menus.h"
#include "platform/forms/standard_controls.h"
#include "utilities/file_search.h"
#include "utilities/settings.h"
#include "utilities/text.h"

namespace putils {

namespace forms = platform::forms;

namespace {

int index_of_text(const forms::StringList& items, std::string_view text) {
    for (int i = 0; i < items.count(); ++i) {
        if (same_text(items[i], text)) return i;
    }
    return -1;
}

}  // namespace

void place_form(forms::Form& form) {
    const forms::Screen& screen = forms::screen();
    const std::int32_t x = reg_read_int("Window Left", screen.Width / 2);
    const std::int32_t y = reg_read_int("Window Top", screen.Height / 2);
    form.Left = x - form.Width / 2;
    form.Top = y - form.Height / 2;
}

void center_form(forms::Form& form) {
    const forms::Screen& screen = forms::screen();
    form.Left = (screen.Width - form.Width) / 2;
    form.Top = (screen.Height - form.Height) / 2;
}

void fill_paint_box(forms::PaintBox& box, forms::Color colour) {
    box.Canvas.Brush.Color = colour;
    box.Canvas.Rectangle(0, 0, box.Width, box.Height);
}

std::int32_t limit_int(std::int32_t value, std::int32_t low, std::int32_t high) {
    if (value < low) return low;
    return value < high ? value : high;
}

double min_real(double a, double b) {
    return a < b ? a : b;
}

std::string combo_text(const forms::ComboBox& box) {
    if (box.ItemIndex < 0 || box.ItemIndex >= box.Items.count()) return {};
    return box.Items[box.ItemIndex];
}

void select_combo_item(forms::ComboBox& box, std::string_view text) {
    const int index = index_of_text(box.Items, text);
    if (index >= 0) box.ItemIndex = index;
}

bool combo_contains(const forms::ComboBox& box, std::string_view text) {
    return index_of_text(box.Items, text) >= 0;
}

void combo_add_unique(forms::ComboBox& box, std::string_view text) {
    if (!combo_contains(box, text)) box.Items.add(std::string(text));
}

void combo_delete_item(std::string_view text, forms::ComboBox& box) {
    const int index = index_of_text(box.Items, text);
    if (index >= 0) box.Items.erase(index);
}

std::string file_base_name(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    return strip_extension(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

void fill_combo_with_files(std::string_view mask, std::string_view extra, forms::ComboBox& box) {
    const std::string remembered = combo_text(box);
    box.Items.clear();
    for (const std::string& name : find_files(mask)) box.Items.add(file_base_name(name));
    if (!extra.empty()) combo_add_unique(box, extra);
    box.ItemIndex = box.Items.empty() ? -1 : 0;
    if (remembered.empty()) {
        box.ItemIndex = -1;
    } else {
        select_combo_item(box, remembered);
    }
}

void refill_combo_with_files(std::string_view mask, forms::ComboBox& box) {
    const std::string kept = combo_text(box);
    fill_combo_with_files(mask, kept, box);
    select_combo_item(box, kept);
}

void fill_list_with_files(std::string_view mask, forms::ListBox& box) {
    box.Items.clear();
    for (const std::string& name : find_files(mask)) box.Items.add(file_base_name(name));
    box.ItemIndex = box.Items.empty() ? -1 : 0;
}

forms::Control* find_control(std::string_view name, const forms::ScrollBox& box) {
    for (forms::Control* child : box.children()) {
        if (child->Name == name) return child;
    }
    return nullptr;
}

bool popup_add_caption(forms::PopupMenu& menu, std::string_view text, int n) {
    // The menu holds its hidden items in advance; without an item n there is no room.
    if (n < 0 || n >= menu.count()) return false;
    for (int i = 0; i < n; ++i) {
        if (same_text(menu.item(i)->Caption, text)) return false;
    }
    forms::MenuItem* item = menu.item(n);
    item->Caption = std::string(text);
    item->Visible = true;
    return true;
}

void popup_item_to_edit(forms::PopupMenu& menu, const forms::MenuItem& clicked) {
    auto* edit = dynamic_cast<forms::Edit*>(menu.PopupComponent);
    if (edit == nullptr) return;
    const int index = clicked.MenuIndex();
    if (index < 0 || index >= menu.count()) return;
    const std::string& caption = menu.item(index)->Caption;
    if (edit->Text == caption) return;
    edit->Text = caption;
    if (edit->OnChange) edit->OnChange(*edit);
}

}  // namespace putils
