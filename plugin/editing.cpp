#include "plugin/editing.h"

#include "core/command_text.h"
#include "core/config_model.h"
#include "core/macro_library.h"
#include "core/session_state.h"
#include "platform/forms/list_controls.h"
#include "platform/forms/menus.h"
#include "utilities/form_helpers.h"
#include "utilities/session.h"
#include "utilities/text.h"

namespace zorsetup {

using putils::same_text;

namespace {

bool ends_with_text(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && same_text(text.substr(text.size() - tail.size()), tail);
}

bool is_class(int object_number, std::string_view class_name) {
    return same_text(object_class_name(object_number), class_name);
}

}  // namespace

std::string template_file_path(std::string_view name) {
    const std::string& extension = core::session_state().extension;
    std::string_view base = name;
    if (ends_with_text(base, extension)) base.remove_suffix(extension.size());
    return putils::method_folder_file(std::string(base) + extension);
}

std::string template_name_of_file(std::string_view file_name) {
    const auto slash = file_name.find_last_of("/\\");
    if (slash != std::string_view::npos) file_name.remove_prefix(slash + 1);
    const std::string& extension = core::session_state().extension;
    if (ends_with_text(file_name, extension)) file_name.remove_suffix(extension.size());
    return std::string(file_name);
}

std::uint32_t syringe_class_bit() {
    return core::class_bit("SYRINGE");
}
std::uint32_t tray_class_bit() {
    return core::class_bit("TRAY");
}
std::uint32_t injector_class_bit() {
    return core::class_bit("INJECTOR");
}

std::string object_class_name(int object_number) {
    const core::Tconfig_model& model = core::config_model();
    if (object_number < 0 || object_number >= model.object_count) return {};
    return model.classes[model.objects[object_number].class_index].name.str();
}

bool is_tray(std::string_view object_name) {
    const int n = core::find_object(object_name);
    return n < core::config_model().object_count && is_class(n, "TRAY");
}

int tray_count() {
    int count = 0;
    for (int n = 0; n < core::config_model().object_count; ++n)
        if (is_class(n, "TRAY")) ++count;
    return count;
}

int tray_number(std::string_view object_name) {
    const core::Tconfig_model& model = core::config_model();
    int number = 0;
    for (int n = 0; n < model.object_count; ++n) {
        if (!is_class(n, "TRAY")) continue;
        ++number;
        if (same_text(model.objects[n].name.view(), object_name)) return number;
    }
    return -1;
}

std::string nth_tray_name(int n) {
    const core::Tconfig_model& model = core::config_model();
    int seen = 0;
    for (int k = 0; k < model.object_count; ++k) {
        if (!is_class(k, "TRAY")) continue;
        if (seen++ == n) return model.objects[k].name.str();
    }
    return {};
}

bool tray_on_holder(std::string_view tray_name, std::string_view holder_name) {
    return is_tray(tray_name) && same_text(core::get_text_attribute(tray_name, "Tray Holder"), holder_name);
}

void fill_object_box(platform::forms::ComboBox& box, std::string_view class_name) {
    const core::Tconfig_model& model = core::config_model();
    box.Items.clear();
    for (int n = 0; n < model.object_count; ++n)
        if (is_class(n, class_name)) box.Items.add(model.objects[n].name.str());
    box.ItemIndex = box.Items.count() > 0 ? 0 : -1;
}

void fill_holder_box(platform::forms::ComboBox& box) {
    const core::Tconfig_model& model = core::config_model();
    box.Items.clear();
    for (int n = 0; n < model.object_count; ++n)
        if (is_class(n, "TRAY_HOLDER") && !same_text(model.objects[n].name.view(), "TH-9070"))
            box.Items.add(model.objects[n].name.str());
    box.ItemIndex = box.Items.count() > 0 ? 0 : -1;
}

int add_variable_items(std::string_view unit, platform::forms::PopupMenu& menu, int n) {
    std::vector<std::string_view> names;
    if (unit.empty())
        names = {"SL.index", "SL.injpervial", "user_index"};
    else if (unit == "\xB5l")  // exactly "µl"
        names = {"SL.volume", "SL.volume2"};
    for (std::string_view name : names)
        if (putils::popup_add_caption(menu, name, n)) ++n;
    return n;
}

void hide_items_from(platform::forms::PopupMenu& menu, int n) {
    for (int i = std::max(n, 0); i < menu.count(); ++i) menu.item(i)->Visible = false;
}

void build_variable_popup(std::string_view unit, platform::forms::PopupMenu& menu) {
    hide_items_from(menu, add_variable_items(unit, menu, 1));
}

bool macro_in_method_text(std::string_view macro, const Lines& lines) {
    const std::string header = core::macro_header(macro);
    for (const std::string& line : lines)
        if (same_text(line, header)) return true;
    return false;
}

void add_macro_definition(std::string_view macro, Lines& lines) {
    if (macro_in_method_text(macro, lines) || !core::macro_file_exists(macro)) return;
    // A file whose text is refused gets no section: an empty one would run as a macro that does
    // nothing, while a method without the section is refused before the run.
    Lines file;
    if (!core::load_macro_file(macro, file)) return;
    lines.push_back(core::macro_header(macro));
    for (std::string& line : file)
        if (!core::is_comment_line(line)) lines.push_back(std::move(line));
}

void add_used_macros(Lines& lines, int first_step) {
    const std::size_t end = lines.size();
    for (std::size_t i = static_cast<std::size_t>(std::max(first_step, 0)); i < end; ++i) {
        const std::string name = core::command_name(lines[i]);
        add_macro_definition(name, lines);
    }
    add_macro_definition("METHOD ENTRY", lines);
    add_macro_definition("METHOD EXIT", lines);
}

bool macro_differs_from_library(std::string_view macro, const Lines& lines, int first, int end) {
    const Lines file = core::load_macro_file(macro);
    const int h = core::count_header_lines(file);
    if (static_cast<int>(file.size()) - h != end - first) return true;
    for (int k = 0; first + k < end; ++k)
        if (!same_text(file[static_cast<std::size_t>(h + k)], lines[static_cast<std::size_t>(first + k)]))
            return true;
    return false;
}

std::string section_macro_name(std::string_view header) {
    if (header.size() < 8) return {};
    return std::string(header.substr(7, header.size() - 8));
}

namespace {

// Calls f(name, first, end) for every section of the lines, in order.
template <class F>
void for_each_section(const Lines& lines, F f) {
    const int count = static_cast<int>(lines.size());
    int i = 0;
    while (i < count && !putils::is_macro_line(lines[static_cast<std::size_t>(i)])) ++i;
    while (i < count) {
        int end = i + 1;
        while (end < count && !putils::is_macro_line(lines[static_cast<std::size_t>(end)])) ++end;
        f(section_macro_name(lines[static_cast<std::size_t>(i)]), i + 1, end);
        i = end;
    }
}

}  // namespace

std::string list_missing_macros(const Lines& lines) {
    std::string list;
    for_each_section(lines, [&](const std::string& name, int, int) {
        if (!core::macro_file_exists(name)) list += name + "\n";
    });
    return list;
}

bool library_macros_readable(const Lines& lines) {
    bool readable = true;
    for_each_section(lines, [&](const std::string& name, int, int) {
        Lines file;
        if (readable && core::macro_file_exists(name)) readable = core::load_macro_file(name, file);
    });
    return readable;
}

std::string list_changed_macros(const Lines& lines) {
    std::string list;
    for_each_section(lines, [&](const std::string& name, int first, int end) {
        // A section without a library file is no change of the library's; the load names it
        // as missing before it asks about changes.
        if (core::macro_file_exists(name) && macro_differs_from_library(name, lines, first, end))
            list += name + "\n";
    });
    return list;
}

}  // namespace zorsetup
