// Method templates: the file format, loading with its checks against the macro library and
// the instrument's configuration, saving, the offer to save a changed template, and the
// modified test the host asks.
#include <algorithm>

#include "core/command_text.h"
#include "core/config_model.h"
#include "core/line_files.h"
#include "core/macro_library.h"
#include "core/method_expansion.h"
#include "core/session_state.h"
#include "plugin/method_editor.h"
#include "utilities/file_search.h"
#include "utilities/form_helpers.h"
#include "utilities/message_boxes.h"
#include "utilities/session.h"
#include "utilities/settings.h"
#include "utilities/text.h"

namespace zorsetup {

using namespace platform::forms;
using putils::same_text;

namespace {

bool is_description_line(std::string_view line) {
    return core::is_comment_line(line);
}
bool is_syringe_line(std::string_view line) {
    return putils::starts_with_text(line, "syringe:") && line.size() >= 8;
}

// Index of the first section header; the line count when there is none.
std::size_t first_section(const Lines& lines) {
    std::size_t i = 0;
    while (i < lines.size() && !putils::is_macro_line(lines[i])) ++i;
    return i;
}

}  // namespace

void Tmethod_editor::refill_template_list() {
    const std::string selected = putils::combo_text(*method_select_box);
    StringList& items = method_select_box->Items;
    items.clear();
    const std::string& extension = core::session_state().extension;
    for (const std::string& file : putils::find_files(putils::method_folder_file("*" + extension)))
        items.add(template_name_of_file(file));
    if (selected.empty()) {
        method_select_box->ItemIndex = -1;
        return;
    }
    int index = items.index_of(selected);
    if (index < 0) index = items.add(selected);
    method_select_box->ItemIndex = index;
}

void Tmethod_editor::select_template(std::string_view name) {
    if (name.empty()) {
        method_select_box->ItemIndex = -1;
    } else {
        const int index = method_select_box->Items.index_of(name);
        if (index >= 0) method_select_box->ItemIndex = index;
    }
    putils::reg_write_string("Method", selected_template());
}

void Tmethod_editor::method_select_boxChange() {
    offer_template_save();
    const std::string chosen = selected_template();
    if (!load_template(chosen)) new_method(chosen);
    putils::reg_write_string("Method", chosen);
}

void Tmethod_editor::compose_method_text(StringList& list) {
    Lines lines;
    for (const std::string& line : method_descrip_box->Lines) lines.push_back("//" + line);
    lines.push_back("syringe:" + putils::combo_text(*syringe_box));
    const int first_step = static_cast<int>(lines.size());
    for (const std::string& step : current_method->Items) lines.push_back(step);
    add_used_macros(lines, first_step);
    list.clear();
    for (std::string& line : lines) list.add(std::move(line));
}

std::vector<std::string> Tmethod_editor::used_macros() const {
    std::vector<std::string> names;
    for (const std::string& step : current_method->Items) {
        std::string name = core::command_name(step);
        const bool known =
            std::any_of(names.begin(), names.end(), [&](const std::string& n) { return same_text(n, name); });
        if (!known) names.push_back(std::move(name));
    }
    return names;
}

std::string Tmethod_editor::check_object_reference(std::string_view value, std::uint32_t mask, int n) {
    if (mask == 0) return {};
    for (int k = 0; k < n; ++k)
        if (same_text(value, declarations_[static_cast<std::size_t>(k)].name)) return {};
    if (same_text(value, "SL.tray") || same_text(value, "SL.tray2"))
        return mask & tray_class_bit() ? std::string() : quote + std::string(" which is a tray");
    if (same_text(value, "SL.injector") || same_text(value, "SL.injector2"))
        return mask & injector_class_bit() ? std::string() : quote + std::string(" which is an injector");
    if (same_text(value, "SYR"))
        return mask & syringe_class_bit() ? std::string() : quote + std::string(" which is a syringe");
    // The editor offers "None" for a signal parameter; it names no object.
    if (core::none_allowed(value, mask)) return {};
    const int object = core::find_object(value);
    if (object < 0 || object >= core::config_model().object_count)
        return quote + std::string(" which doesnt exist in ZOR");
    if (!core::object_class_in_mask(object, mask))
        return quote + std::string(" which is a ") + object_class_name(object);
    return {};
}

std::string Tmethod_editor::check_used_macro_atoms(const std::vector<std::string>& macros) {
    std::string report;
    for (const std::string& macro : macros) {
        const Lines lines = core::load_macro_file(macro);
        std::size_t i = 0;
        while (i < lines.size() && (is_description_line(lines[i]) || core::is_param_declaration(lines[i])))
            ++i;
        std::string names;
        for (; i < lines.size(); ++i) {
            if (lines[i].empty()) continue;
            const std::string atom = core::command_name(lines[i]);
            const int found = core::find_atom(atom);
            if (found < 0 || found >= core::config_model().atom_count)
                names += atom + std::string(line_break);
        }
        if (!names.empty())
            report += "In macro " + quoted(macro) +
                      " the following atoms dont exist:" + std::string(line_break) + names;
    }
    return report;
}

std::string Tmethod_editor::check_used_macro_objects(const std::vector<std::string>& macros) {
    std::string report;
    const core::Tconfig_model& model = core::config_model();
    for (const std::string& macro : macros) {
        const int n = load_macro_declarations(macro);
        const Lines lines = core::load_macro_file(macro);
        const std::size_t start = static_cast<std::size_t>(n + core::count_header_lines(lines));
        for (std::size_t i = start; i < lines.size(); ++i) {
            const int k = static_cast<int>(i - start) + 1;
            std::string atom_name;
            std::vector<std::string> values;
            split_step(lines[i], atom_name, values);
            const int atom = core::find_atom(atom_name);
            if (atom < 0 || atom >= model.atom_count) continue;
            const core::Tatom_rec& record = model.atoms[static_cast<std::size_t>(atom)];
            for (int p = 0; p < record.param_count && p < static_cast<int>(values.size()); ++p) {
                const core::Tatom_param_rec& param = record.params[static_cast<std::size_t>(p)];
                if (param.kind != core::ValueKind::object) continue;
                const std::string& value = values[static_cast<std::size_t>(p)];
                const std::string fragment = check_object_reference(value, param.list_or_mask, n);
                if (fragment.size() > 1)
                    report += "In macro " + quoted(macro) + "," + "(Line " + std::to_string(k) + ") " +
                              "Atom " + quoted(atom_name) + " refers to object " + quote + value + fragment +
                              std::string(line_break);
            }
        }
    }
    return report;
}

std::string Tmethod_editor::check_step_objects() {
    std::string report;
    const StringList& steps = current_method->Items;
    for (int i = 0; i < steps.count(); ++i) {
        std::string macro;
        std::vector<std::string> values;
        split_step(steps[i], macro, values);
        const int n = load_macro_declarations(macro);
        for (int k = 0; k < n; ++k) {
            const std::string value =
                k < static_cast<int>(values.size()) ? values[static_cast<std::size_t>(k)] : "";
            const core::MacroParam& param = declarations_[static_cast<std::size_t>(k)];
            const std::string fragment = check_object_reference(value, param.class_mask, n);
            if (!fragment.empty())
                report += "In line " + std::to_string(i + 1) + " " + quoted(param.name) +
                          " is set to object " + quote + value + fragment + std::string(line_break);
        }
    }
    return report;
}

bool Tmethod_editor::load_template(std::string_view name) {
    if (!core::file_exists(template_file_path(name))) {
        putils::show_error("Method " + quoted(name) + " doesnt exist");
        return false;
    }
    select_template(name);
    const std::string t = selected_template();
    if (t.empty()) {
        putils::show_error("Method " + quote + std::string(name) + " " + quote + " is not defined!");
        return false;
    }
    // A template whose text is refused is not an empty one: loaded as such, it would be offered
    // for saving over the file (reading it has said why).
    Lines lines;
    if (!core::load_lines(template_file_path(t), lines)) {
        new_method("");
        return false;
    }

    const std::string missing = list_missing_macros(lines);
    if (!missing.empty()) {
        putils::show_error(
            "Method " + quoted(t) +
            " cant be loaded because the following macros dont exist:" + std::string(line_break) + missing);
        new_method("");
        return false;
    }
    // Nor is a library macro whose text is refused an empty one: it would count as changed, and
    // the update would empty the template's section of it.
    if (!library_macros_readable(lines)) {
        new_method("");
        return false;
    }
    std::size_t first_step = 0;
    while (first_step < lines.size() &&
           (is_description_line(lines[first_step]) || is_syringe_line(lines[first_step])))
        ++first_step;
    bool declined = false;
    const std::string changed = list_changed_macros(lines);
    if (!changed.empty()) {
        if (putils::ask_yes_no("The following macros have been changed since " + quoted(t) +
                               " was last saved:" + std::string(line_break) + changed + "Ok to update " +
                               quoted(t) + " with new versions?")) {
            lines.resize(first_section(lines));
            add_used_macros(lines, static_cast<int>(std::min(first_step, lines.size())));
            if (core::save_lines(template_file_path(t), lines))
                report_status("rewrote method " + t);
            else
                putils::show_error("Method " + quoted(t) + " could not be written");
        } else {
            select_template("");
            declined = true;
        }
    }
    lines.resize(first_section(lines));

    method_descrip_box->Lines.clear();
    Lines steps;
    for (const std::string& line : lines) {
        if (is_description_line(line)) {
            method_descrip_box->Lines.add(line.substr(2));
        } else if (is_syringe_line(line)) {
            const std::string syringe = line.substr(8);
            const int index = syringe_box->Items.index_of(syringe);
            if (index >= 0)
                syringe_box->ItemIndex = index;
            else
                putils::info_box("Warning loading method " + quoted(t) + " : Syringe " + quoted(syringe) +
                                 " does not exist in Zor");
        } else {
            steps.push_back(line);
        }
    }
    current_method->Items.clear();
    for (std::string& step : steps) current_method->Items.add(std::move(step));
    selected_step_ = -1;
    refresh_step_list();

    const std::vector<std::string> macros = used_macros();
    std::string report = check_used_macro_atoms(macros);
    if (report.empty()) report = check_used_macro_objects(macros);
    if (!report.empty()) {
        putils::show_error("Method " + quoted(t) + " cant be loaded because " + std::string(line_break) +
                           report);
        new_method("");
        return false;
    }
    report = check_step_objects();
    if (report.empty()) {
        // A template whose library update the user declined is not the current template: a
        // later save must not rewrite it behind the user's back.
        if (!declined) {
            current_template_ = t;
            template_clean_ = true;
        }
    } else {
        putils::info_box("Warning! In method " + quoted(t) + ":" + std::string(line_break) +
                         std::string(line_break) + report);
        select_template("");
        current_template_.clear();
    }
    if (!method_box->Items.empty()) {
        method_box->ItemIndex = 0;
        show_step();
    }
    return true;
}

void Tmethod_editor::save_template(std::string_view name) {
    if (method_box->Items.empty()) {
        putils::info_box("The method is empty!");
        return;
    }
    if (!commit_step()) return;
    compose_method_text(amalgamated_method->Items);
    if (!core::save_lines(template_file_path(name), amalgamated_method->Items.strings())) {
        putils::show_error("Method " + quoted(name) + " could not be written");
        return;
    }
    report_status("rewrote method " + std::string(name));
    refill_template_list();
    template_clean_ = true;
}

void Tmethod_editor::offer_template_save() {
    if (!template_clean_ || current_template_.empty() || !template_file_differs()) return;
    if (putils::ask_yes_no("The method template " + quoted(current_template_) +
                           " has been changed. Do you wish to save it?"))
        save_template(current_template_);
}

bool Tmethod_editor::template_file_differs() {
    const StringList& description = method_descrip_box->Lines;
    const StringList& steps = current_method->Items;
    Lines file;
    if (!core::load_lines(template_file_path(current_template_), file))
        return !description.empty() || !steps.empty();
    // The whole method part of the file is compared, so fewer description lines or fewer
    // steps than the file holds count as a change.
    Lines own;
    for (const std::string& line : description) own.push_back("//" + line);
    own.push_back("syringe:" + putils::combo_text(*syringe_box));
    for (const std::string& step : steps) own.push_back(step);
    file.resize(first_section(file));
    if (file.size() != own.size()) return true;
    for (std::size_t i = 0; i < own.size(); ++i)
        if (!same_text(own[i], file[i])) return true;
    return false;
}

void Tmethod_editor::snapshot_method() {
    compose_method_text(last_opened_method->Items);
}

bool Tmethod_editor::is_method_modified() {
    // Never opened nor saved: what the method holds is new.
    if (last_opened_method->Items.empty())
        return !method_descrip_box->Lines.empty() || !current_method->Items.empty();
    if (selected_step_ >= 0 && selected_step_ < current_method->Items.count() &&
        macros_of_method->ItemIndex >= 0) {
        const std::string text = compose_step();
        if (!text.empty()) current_method->Items.set(selected_step_, text);
    }
    compose_method_text(amalgamated_method->Items);
    return !(amalgamated_method->Items == last_opened_method->Items);
}

}  // namespace zorsetup
