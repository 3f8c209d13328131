// The core's routines that only the editing side of the plug-in uses: template paths, class
// bits and tray lookups over the configuration model, filling boxes with objects of a class,
// the run variables of the parameter pop-up menu, and keeping the macro sections of a method
// text in step with the macro library.
//
// They are queries and small edits over the configuration model and the method text; they
// keep no state. Names are compared with same_text. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::forms {
class ComboBox;
class PopupMenu;
}  // namespace platform::forms

namespace zorsetup {

using Lines = std::vector<std::string>;

// A line break inside a message or a hint.
inline constexpr std::string_view line_break = "\r\n";
// Messages put names in double quotes.
inline const std::string quote = "\"";
inline std::string quoted(std::string_view text) {
    return quote + std::string(text) + quote;
}

// The method folder, "/", the template name and the session's method-file extension (".PME").
// Only that extension is cut off the name when it ends with it, so "v1.2" and "v1.3" are two
// templates, not both "v1".
std::string template_file_path(std::string_view name);
// The template name of a template file name: the extension (".PME") cut off, nothing else.
std::string template_name_of_file(std::string_view file_name);

std::uint32_t syringe_class_bit();
std::uint32_t tray_class_bit();
std::uint32_t injector_class_bit();
// The name of object number n's class; "" for a number outside the model.
std::string object_class_name(int object_number);
bool is_tray(std::string_view object_name);
int tray_count();
// 1-based among the TRAY objects in model order; -1 when the name is not a tray.
int tray_number(std::string_view object_name);
// "" when there are not that many trays.
std::string nth_tray_name(int n);
bool tray_on_holder(std::string_view tray_name, std::string_view holder_name);
// Empties the box, adds every object of the class in model order, selects item 0.
void fill_object_box(platform::forms::ComboBox& box, std::string_view class_name);
// As fill_object_box for "TRAY_HOLDER", without the holder "TH-9070".
void fill_holder_box(platform::forms::ComboBox& box);

// The run variables that fit a parameter's unit, placed with popup_add_caption from item n on;
// returns the next free item number.
int add_variable_items(std::string_view unit, platform::forms::PopupMenu& menu, int n);
void hide_items_from(platform::forms::PopupMenu& menu, int n);
void build_variable_popup(std::string_view unit, platform::forms::PopupMenu& menu);

// Macro sections of a method text.
bool macro_in_method_text(std::string_view macro, const Lines& lines);
void add_macro_definition(std::string_view macro, Lines& lines);
void add_used_macros(Lines& lines, int first_step);
bool macro_differs_from_library(std::string_view macro, const Lines& lines, int first, int end);
// The macro's name of a section header ("[MACRO Inject]" gives "Inject").
std::string section_macro_name(std::string_view header);
// Names, each followed by a line feed, in section order; "" when none.
std::string list_missing_macros(const Lines& lines);
// Whether the library file of every section that has one can be read; false at the first whose
// text is refused (the reading has said why, naming the file and the line).
bool library_macros_readable(const Lines& lines);
std::string list_changed_macros(const Lines& lines);

}  // namespace zorsetup
