// The parameter rows of the selected step: built from the macro's declarations, filled from
// a step, composed back into a step with their checks, and the whole method re-checked
// against the chosen syringe.
#include <algorithm>

#include "core/command_text.h"
#include "core/expressions.h"
#include "core/macro_library.h"
#include "core/method_expansion.h"
#include "plugin/method_editor.h"
#include "utilities/form_helpers.h"
#include "utilities/message_boxes.h"
#include "utilities/text.h"

namespace zorsetup {

using namespace platform::forms;
using putils::same_text;

namespace {

core::MacroParam& running_param(int row) {
    return core::method_state().expansion_params[static_cast<std::size_t>(row)];
}

std::string caption_of(const core::MacroParam& param) {
    if (param.unit.empty()) return param.name;
    if (same_text(param.unit, "s")) return param.name + "  (m:ss)";
    return param.name + "  (" + param.unit + ")";
}

// Names of the classes in the mask, in class order, joined by " or ".
std::string class_names(std::uint32_t mask) {
    const core::Tconfig_model& model = core::config_model();
    std::string text;
    for (int c = 0; c < model.class_count; ++c) {
        if (!core::bit_in_mask(c % 32, mask)) continue;
        if (!text.empty()) text += " or ";
        text += model.classes[c].name.str();
    }
    return text;
}

// The choices an object row offers besides the configured objects: the method's syringe, the
// sample's tray, and no signal.
constexpr std::string_view pseudo_items[] = {"SYR", "SL.tray", "None"};

void fill_objects_of_mask(ComboBox& combo, std::uint32_t mask) {
    const core::Tconfig_model& model = core::config_model();
    for (int n = 0; n < model.object_count; ++n)
        if (core::object_class_in_mask(n, mask)) combo.Items.add(model.objects[n].name.str());
}

}  // namespace

StaticText* Tmethod_editor::param_caption(int row) const {
    return static_cast<StaticText*>(
        putils::find_control("StaticText" + std::to_string(row + 1), *param_group_box));
}
Edit* Tmethod_editor::param_edit(int row) const {
    return static_cast<Edit*>(putils::find_control("Edit" + std::to_string(row + 1), *param_group_box));
}
ComboBox* Tmethod_editor::param_combo(int row) const {
    return static_cast<ComboBox*>(
        putils::find_control("ComboBox" + std::to_string(row + 1), *param_group_box));
}

std::string Tmethod_editor::chosen_macro() const {
    return putils::combo_text(*macros_of_method);
}

std::string Tmethod_editor::resolve_value_text(std::string_view text) {
    if (!core::is_syringe_reference(text)) return std::string(text);
    const std::string_view attribute = text.substr(text.find('.') + 1);
    const core::Tconfig_model& model = core::config_model();
    const core::Tclass_rec& syringes = model.classes[static_cast<std::size_t>(model.syringe_class)];
    const core::Tobject_rec* syringe = core::object_record_by_name(putils::combo_text(*syringe_box));
    for (int a = 0; a < syringes.attribute_count; ++a) {
        if (!same_text(syringes.attributes[a].name.view(), attribute)) continue;
        if (!syringe || syringe->class_index != model.syringe_class) return std::string(text);
        return putils::real_to_text(core::get_number_value(*syringe, a));
    }
    return std::string(text);
}

std::string Tmethod_editor::value_display_text(std::string_view text, int row) {
    return putils::display_value(resolve_value_text(text), running_param(row).unit);
}

int Tmethod_editor::load_macro_declarations(std::string_view macro) {
    bad_declaration_.clear();
    const Lines lines = core::load_macro_file(macro);
    int n = 0;
    for (std::size_t i = static_cast<std::size_t>(core::count_header_lines(lines)); i < lines.size(); ++i) {
        if (!core::is_param_declaration(lines[i])) break;
        // The tables have room for max_macro_params; a macro declaring more cannot run either.
        if (n == core::max_macro_params) break;
        core::MacroParam& param = declarations_[static_cast<std::size_t>(n)];
        param = {};
        if (!core::parse_param_declaration(lines[i], param) && bad_declaration_.empty())
            bad_declaration_ = lines[i];
        ++n;
    }
    return n;
}

std::uint32_t Tmethod_editor::declaration_class_mask(std::string_view line) {
    putils::Cursor cursor = line;
    putils::next_token(cursor, ';');  // the name
    std::uint32_t mask = 0;
    while (!cursor.empty()) {
        const std::string name = putils::next_token(cursor, ';');
        const int c = core::find_class(name);
        if (c < 0 || c >= core::config_model().class_count) return 0;
        mask |= std::uint32_t{1} << (c % 32);
    }
    return mask;
}

void Tmethod_editor::build_parameter_panel() {
    const std::string macro = chosen_macro();
    if (macro.empty()) {
        for (int r = 0; r < parameter_rows; ++r) {
            param_caption(r)->Visible = false;
            param_edit(r)->Visible = false;
            param_edit(r)->ShowHint = false;
            param_combo(r)->Visible = false;
        }
        return;
    }
    std::string description;
    int r = 0;
    if (core::macro_file_exists(macro)) {
        bool first = true;
        for (const std::string& line : core::load_macro_file(macro)) {
            if (core::is_comment_line(line)) {
                if (!first) description += line_break;
                description += line.substr(2);
                first = false;
                continue;
            }
            if (!core::is_param_declaration(line) || r == parameter_rows) continue;
            core::MacroParam& param = running_param(r);
            param = {};
            core::parse_macro_param(r, line);
            StaticText* caption = param_caption(r);
            Edit* edit = param_edit(r);
            ComboBox* combo = param_combo(r);
            caption->Visible = true;
            caption->Caption = caption_of(param);
            if (param.class_mask != 0) {
                edit->Visible = false;
                edit->ShowHint = false;
                combo->Visible = true;
                combo->Items.clear();
                combo->Hint = class_names(param.class_mask);
                combo->ShowHint = true;
                fill_objects_of_mask(*combo, param.class_mask);
                if (param.class_mask & syringe_class_bit()) combo->Items.add(std::string(pseudo_items[0]));
                if (param.class_mask & tray_class_bit()) combo->Items.add(std::string(pseudo_items[1]));
                if (param.class_mask & (core::out_signal_class_bit() | core::sync_signal_class_bit()))
                    combo->Items.add(std::string(pseudo_items[2]));
                combo->ItemIndex = combo->Items.empty() ? -1 : 0;
            } else {
                combo->Visible = false;
                edit->Visible = true;
                edit->PopupMenu = macro_param_popup;
                edit->Text = value_display_text(param.default_value, r);
                edit->Hint = "Range: " + value_display_text(param.minimum, r) + " to " +
                             value_display_text(param.maximum, r) + std::string(line_break) +
                             "Default: " + value_display_text(param.default_value, r);
                edit->ShowHint = true;
            }
            ++r;
        }
        macros_of_method->Hint = description;
    } else {
        macros_of_method->Hint = macro;
    }
    for (; r < parameter_rows; ++r) {
        param_caption(r)->Visible = false;
        param_edit(r)->Visible = false;
        param_edit(r)->ShowHint = false;
        param_combo(r)->Visible = false;
    }
}

std::string Tmethod_editor::compose_step(bool report) {
    const std::string macro = chosen_macro();
    if (macro.empty()) return {};
    const int n = load_macro_declarations(macro);
    std::string text = macro + "(";
    bool first = true;
    for (int r = 0; r < parameter_rows; ++r) {
        Edit* edit = param_edit(r);
        ComboBox* combo = param_combo(r);
        if (edit->Visible) {
            if (edit->Text.empty()) {
                if (report) putils::show_error(param_caption(r)->Caption + " is not specified");
                return {};
            }
            const core::MacroParam& param = running_param(r);
            // A text with a colon is a time and nothing else ("1:-5" is none). Refused, not
            // converted: a step keeps the text it was given, which template_file_differs
            // compares with the template's own lines.
            const bool bad_time = edit->Text.find(':') != std::string::npos && !putils::is_time(edit->Text);
            if (bad_time || !core::check_expression(edit->Text, param.unit, true, false, -1, {})) {
                if (report)
                    putils::show_error("Parameter " + quoted(param.name) + " : " + edit->Text +
                                       " is not a valid value.");
                return {};
            }
            if (!first) text += ",";
            text += putils::seconds_text(edit->Text);
            first = false;
        } else if (combo->Visible) {
            if (!first) text += ",";
            text += combo->text();
            first = false;
        }
    }
    // Parameters beyond the rows cannot be shown; the step keeps the values it has for them.
    if (n > parameter_rows && selected_step_ >= 0 && selected_step_ < current_method->Items.count()) {
        std::string step_macro;
        std::vector<std::string> values;
        split_step(current_method->Items[selected_step_], step_macro, values);
        if (same_text(step_macro, macro))
            for (int k = parameter_rows; k < n; ++k)
                text += "," + (k < static_cast<int>(values.size()) ? values[static_cast<std::size_t>(k)]
                                                                   : std::string());
    }
    return text + ")";
}

bool Tmethod_editor::commit_step(bool report) {
    if (selected_step_ < 0 || selected_step_ >= current_method->Items.count()) return true;
    // A step whose macro is not in the library has no rows: it stays as it is.
    if (macros_of_method->ItemIndex < 0) return true;
    const std::string text = compose_step(report);
    if (text.empty()) return false;
    current_method->Items.set(selected_step_, text);
    refresh_step_list();
    check_method();
    return true;
}

void Tmethod_editor::check_method() {
    bool changed = false;
    StringList& steps = current_method->Items;
    for (int i = 0; i < steps.count(); ++i) {
        std::string macro;
        std::vector<std::string> values;
        split_step(steps[i], macro, values);
        // Without its library file the macro's parameters are unknown: the step is kept whole.
        if (!core::macro_file_exists(macro)) continue;
        const int n = load_macro_declarations(macro);
        if (!bad_declaration_.empty()) {
            putils::show_error("Macro " + quoted(macro) + " parameter " + quoted(bad_declaration_) +
                               " is not valid");
            return;
        }
        const core::Tobject_rec* syringe = core::object_record_by_name(putils::combo_text(*syringe_box));
        core::EvaluationScope scope;
        scope.syringe = syringe;
        values.resize(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k) {
            const core::MacroParam& param = declarations_[static_cast<std::size_t>(k)];
            std::string& value = values[static_cast<std::size_t>(k)];
            if (param.class_mask != 0 || !putils::is_real(value)) continue;
            const std::string context = "Macro " + quoted(macro) + " parameter " + quoted(param.name);
            const std::string min_text = resolve_value_text(param.minimum);
            double minimum = 0;
            if (!core::evaluate_expression(min_text, param.unit, scope, context, minimum)) {
                putils::show_error(context + " syntax error in minimum:" + min_text);
                return;
            }
            const std::string max_text = resolve_value_text(param.maximum);
            double maximum = 0;
            if (!core::evaluate_expression(max_text, param.unit, scope, context, maximum)) {
                putils::show_error(context + "syntax error in maximum:" + max_text);
                return;
            }
            const double v = putils::text_to_real(value);
            if (!(v >= minimum)) {
                value = putils::real_to_text(
                    core::ask_out_of_range_value(context, param.unit, maximum, minimum, minimum, v));
                changed = true;
            } else if (v > maximum) {
                value = putils::real_to_text(
                    core::ask_out_of_range_value(context, param.unit, maximum, minimum, maximum, v));
                changed = true;
            }
        }
        std::string line = macro + "(";
        for (int k = 0; k < n; ++k) line += (k ? "," : "") + values[static_cast<std::size_t>(k)];
        steps.set(i, line + ")");
    }
    if (changed) {
        if (selected_step_ < 0)
            build_parameter_panel();
        else
            show_step();
    }
}

void Tmethod_editor::refresh_object_choices() {
    const std::string macro = chosen_macro();
    if (macro.empty() || !core::macro_file_exists(macro)) return;
    int r = 0;
    for (const std::string& line : core::load_macro_file(macro)) {
        if (!core::is_param_declaration(line)) continue;
        if (r == parameter_rows) break;
        const std::uint32_t mask = declaration_class_mask(line);
        if (mask != 0) {
            ComboBox* combo = param_combo(r);
            const std::string remembered = combo->text();
            // The row keeps the pseudo-items its first fill gave it: without them a step whose
            // value is one of them would silently take the first object instead.
            std::vector<std::string> kept;
            for (std::string_view pseudo : pseudo_items)
                if (combo->Items.index_of(pseudo) >= 0) kept.emplace_back(pseudo);
            combo->Items.clear();
            fill_objects_of_mask(*combo, mask);
            for (std::string& pseudo : kept) combo->Items.add(std::move(pseudo));
            int found = -1;
            for (int i = 0; i < combo->Items.count(); ++i)
                if (same_text(combo->Items[i], remembered)) found = i;
            combo->ItemIndex = found >= 0 ? found : (combo->Items.empty() ? -1 : 0);
        }
        ++r;
    }
}

void Tmethod_editor::set_macro_defaults_buttonClick() {
    for (int r = 0; r < parameter_rows; ++r) {
        Edit* edit = param_edit(r);
        if (edit->Visible) edit->Text = value_display_text(running_param(r).default_value, r);
    }
}

int Tmethod_editor::popup_row() const {
    for (int r = 0; r < parameter_rows; ++r)
        if (macro_param_popup->PopupComponent == param_edit(r)) return r;
    return -1;
}

void Tmethod_editor::macro_param_popupPopup() {
    const std::string macro = chosen_macro();
    if (core::macro_file_exists(macro)) {
        const Lines lines = core::load_macro_file(macro);
        int r = 0;
        for (std::size_t i = static_cast<std::size_t>(core::count_header_lines(lines));
             i < lines.size() && core::is_param_declaration(lines[i]) && r < core::max_macro_params;
             ++i, ++r) {
            running_param(r) = {};
            core::parse_macro_param(r, lines[i]);
        }
    }
    const int row = popup_row();
    if (row < 0) return;
    const core::MacroParam& param = running_param(row);
    putils::popup_add_caption(*macro_param_popup, resolve_value_text(param.default_value), 0);
    build_variable_popup(param.unit, *macro_param_popup);
    macro_deflt->Caption = "Default: " + macro_deflt->Caption;
}

void Tmethod_editor::macro_defltClick() {
    const int row = popup_row();
    if (row < 0) return;
    const std::string& caption = macro_deflt->Caption;
    param_edit(row)->Text = caption.size() > 9 ? caption.substr(9) : std::string();
}

void Tmethod_editor::macro_popupClick(MenuItem& item) {
    putils::popup_item_to_edit(*macro_param_popup, item);
}

}  // namespace zorsetup
