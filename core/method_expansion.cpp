#include "core/method_expansion.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "core/command_text.h"
#include "core/expressions.h"
#include "core/macro_library.h"
#include "platform/kernel/scope_exit.h"
#include "utilities/message_boxes.h"
#include "utilities/text.h"

namespace core {

namespace {

constexpr char quote = '"';

std::string quoted(std::string_view text) {
    return quote + std::string(text) + quote;
}

std::string too_many_arguments(std::string_view line) {
    return std::string(line) + " has more than " + std::to_string(max_line_arguments) + " arguments";
}

// The message prefix of a body line of `macro`; "" for a line of no macro call.
std::string macro_prefix(std::string_view macro) {
    return "In macro " + quoted(macro) + ", ";
}

// An object argument of an atom line: "None" where a signal may be left unconnected, an object
// variable, or an object of a class in the mask. The message is led by the prefix of `macro`
// (none when `macro` is null); it is built only when there is something to say.
bool check_object_argument(const std::string_view* macro, std::string_view atom, const std::string& argument,
                           const Tatom_param_rec& param) {
    if (none_allowed(argument, param.list_or_mask) || is_object_variable(argument) || is_syr(argument))
        return true;
    const int object = find_object(argument);
    if (object >= config_model().object_count) {
        putils::show_error((macro ? macro_prefix(*macro) : std::string()) + std::string(atom) + ": " +
                           argument + " is not an object");
        return false;
    }
    if (!object_class_in_mask(object, param.list_or_mask)) {
        putils::show_error((macro ? macro_prefix(*macro) : std::string()) + std::string(atom) + ": " +
                           argument + " is not a valid object for " + param.name.str());
        return false;
    }
    return true;
}

std::string joined_atom_line(std::string_view name, const std::vector<std::string>& arguments) {
    std::string line = std::string(name) + "(";
    for (const std::string& argument : arguments) line += argument + ",";
    return line + ")";
}

// check_atom_line; `reported` tells whether a message was shown.
std::string check_atom_line_reporting(std::string_view line, bool& reported) {
    reported = true;
    std::string name;
    std::vector<std::string> arguments;
    if (!split_line(line, name, arguments)) {
        putils::show_error(too_many_arguments(line));
        return {};
    }
    const Tconfig_model& model = config_model();
    const int atom = find_atom(name);
    if (atom >= model.atom_count) {
        putils::show_error(name + " is not an atom!");
        return {};
    }
    const Tatom_rec& record = model.atoms[atom];
    const int shared = std::min<int>(record.param_count, int(arguments.size()));
    for (int p = 0; p < shared; ++p) {
        const Tatom_param_rec& param = record.params[p];
        if (param.kind == ValueKind::object) {
            if (!check_object_argument(nullptr, name, arguments[p], param)) return {};
        } else if (param.kind == ValueKind::number) {
            if (!check_expression(arguments[p], param.unit, true, true, atom, {})) {
                reported = false;
                return {};
            }
        }
    }
    return joined_atom_line(name, arguments);
}

// The macro sections of the method text being built, found in one pass over it, and the
// declarations of each section parsed once: a method of many steps calling the same few macros
// then costs a look-up per step instead of a scan of the whole text.
class SectionIndex {
  public:
    struct Section {
        int first = -1;
        int last = -1;
        // Filled by the first call of the macro whose declarations all parse.
        bool parsed = false;
        int body = 0;  // index of the first body line
        std::vector<MacroParam> params;
    };

    explicit SectionIndex(const std::vector<std::string>& text) : text_(text) {
        std::vector<int> headers;
        for (int j = 0; j < int(text.size()); ++j)
            if (putils::is_macro_line(text[j])) headers.push_back(j);
        for (std::size_t k = 0; k < headers.size(); ++k) {
            const std::string& line = text[std::size_t(headers[k])];
            // The name: from the eighth character on, without the last character (the "]").
            const std::string_view name =
                line.size() > 7 ? std::string_view(line).substr(7, line.size() - 8) : std::string_view();
            const int last = k + 1 < headers.size() ? headers[k + 1] - 1 : int(text.size()) - 1;
            // The first section of a name is the one that counts.
            sections_.try_emplace(folded(name), Section{headers[k] + 1, last, false, 0, {}});
        }
    }

    bool indexes(const std::vector<std::string>& text) const { return &text == &text_; }

    Section* find(std::string_view name) {
        const auto found = sections_.find(folded(name));
        return found == sections_.end() ? nullptr : &found->second;
    }

  private:
    // Names compare as same_text does: ASCII letters without case.
    static std::string folded(std::string_view name) {
        std::string key(name);
        for (char& c : key)
            if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        return key;
    }

    const std::vector<std::string>& text_;
    std::unordered_map<std::string, Section> sections_;
};

// The index of the build in progress; expand_macro_call called on its own scans the text.
SectionIndex* active_index = nullptr;

// Parses the declarations of a section from `index` into the expansion set and appends them to
// running_macro_params, from the section's cache after the first time. Same result as
// parse_macro_params.
int parse_section_params(SectionIndex::Section& section, const std::vector<std::string>& text, int& index,
                         int last) {
    if (!section.parsed) {
        const int count = parse_macro_params(text, index, last);
        if (count < 0) return count;
        const MacroParamTable& params = method_state().expansion_params;
        section.params.assign(params.begin(), params.begin() + count);
        section.body = index;
        section.parsed = true;
        return count;
    }
    MethodState& state = method_state();
    const int count = int(section.params.size());
    std::copy(section.params.begin(), section.params.end(), state.expansion_params.begin());
    state.running_macro_params.insert(state.running_macro_params.end(), text.begin() + section.first,
                                      text.begin() + section.first + count);
    index = section.body;
    return count;
}

// expand_macro_line with the macro's parameters already in the execution set (`count` of them).
std::string expand_loaded_macro_line(std::string_view macro, std::string_view line, int count) {
    MethodState& state = method_state();
    std::string name;
    std::vector<std::string> arguments;
    if (!split_line(line, name, arguments)) {
        putils::show_error(macro_prefix(macro) + too_many_arguments(line));
        return {};
    }
    const Tconfig_model& model = config_model();
    const int atom = find_atom(name);
    if (atom >= model.atom_count) {
        putils::show_error(macro_prefix(macro) + name + " is not an atom!");
        return {};
    }
    const Tatom_rec& record = model.atoms[atom];
    if (record.param_count != int(arguments.size())) {
        putils::show_error(macro_prefix(macro) + std::string(line) + " does not have " +
                           std::to_string(record.param_count) + " arguments. It has " +
                           std::to_string(arguments.size()));
        return {};
    }
    const std::span<const MacroParam> params(state.expansion_params.data(), std::size_t(count));
    for (int p = 0; p < record.param_count; ++p) {
        const Tatom_param_rec& param = record.params[p];
        std::string& argument = arguments[p];
        if (param.kind == ValueKind::object) {
            // A macro parameter takes the calling step's argument, which is checked like any
            // object argument: the step line comes from the method document.
            const int i = find_macro_param(argument, count);
            if (i >= 0)
                argument =
                    std::size_t(i) < state.call_arguments.size() ? state.call_arguments[i] : std::string();
            if (!check_object_argument(&macro, name, argument, param)) return {};
        } else if (param.kind == ValueKind::number) {
            if (!check_expression(argument, param.unit, true, true, atom, params)) {
                putils::show_error(macro_prefix(macro) + argument + " is not a good parameter");
                return {};
            }
        }
    }
    return joined_atom_line(name, arguments);
}

}  // namespace

MethodState& method_state() {
    static MethodState state;
    return state;
}

void reset_method_state() {
    static const MethodState empty{};
    method_state() = empty;
}

const Tobject_rec* method_syringe_record() {
    const int index = method_state().method_syringe;
    const Tconfig_model& model = config_model();
    return index >= 0 && index < model.object_count ? &model.objects[index] : nullptr;
}

int find_macro_param(std::string_view name, int count) {
    const MacroParamTable& params = method_state().expansion_params;
    for (int i = 0; i < std::min(count, max_macro_params); ++i)
        if (putils::same_text(params[i].name, name)) return i;
    return -1;
}

int find_step_param(std::string_view name, int count) {
    const MacroParamTable& params = method_state().execution_params;
    for (int i = 0; i < std::min(count, max_macro_params); ++i)
        if (putils::same_text(params[i].name, name)) return i;
    return -1;
}

bool parse_macro_param(int slot, std::string_view line) {
    if (slot < 0 || slot >= max_macro_params) return false;
    return parse_param_declaration(line, method_state().expansion_params[slot]);
}

int load_step_params(int expanded_index) {
    MethodState& state = method_state();
    if (expanded_index < 0 || expanded_index >= max_expanded_lines) return 0;
    const ExpandedLineOrigin& origin = state.origins[expanded_index];
    int count = std::clamp(origin.param_count, 0, max_macro_params);
    for (int i = 0; i < count; ++i) {
        const std::size_t line = std::size_t(origin.declaration_offset) + std::size_t(i);
        if (origin.declaration_offset < 0 || line >= state.running_macro_params.size()) return i;
        parse_param_declaration(state.running_macro_params[line], state.execution_params[i]);
    }
    return count;
}

bool method_has_macro(std::string_view name, const std::vector<std::string>& text) {
    const std::string header = macro_header(name);
    return std::any_of(text.begin(), text.end(),
                       [&](const std::string& line) { return putils::same_text(line, header); });
}

bool build_running_method(std::string_view syringe_name, int first_step,
                          const std::vector<std::string>& text) {
    MethodState& state = method_state();
    const int syringe = find_object(syringe_name);
    state.method_syringe = syringe < config_model().object_count ? syringe : -1;
    state.method_exit_index = -1;
    state.running_method.clear();

    const bool wrappers = !state.row_flag && !state.skip_wrappers;
    if (wrappers && method_has_macro("METHOD ENTRY", text)) state.running_method.push_back("METHOD ENTRY()");
    for (int i = std::max(first_step, 0); i < int(text.size()) && !putils::is_macro_line(text[i]); ++i)
        state.running_method.push_back(text[i]);
    state.method_exit_step = int(state.running_method.size());
    if (wrappers && method_has_macro("METHOD EXIT", text)) state.running_method.push_back("METHOD EXIT()");

    state.expanded_method.clear();
    state.running_macro_params.clear();
    SectionIndex index(text);
    SectionIndex* const previous_index = std::exchange(active_index, &index);
    platform::scope_exit activate{[previous_index] { active_index = previous_index; }};
    int counter = 0, offset = 0;
    for (int i = 0; i < int(state.running_method.size()); ++i) {
        // A copy: the step line stays valid while the lists grow.
        const std::string step = state.running_method[i];
        if (!expand_macro_call(step, counter, offset, text, i)) return false;
    }
    if (state.method_exit_index == -1) state.method_exit_index = counter;
    return true;
}

bool expand_macro_call(std::string_view step_line, int& counter, int& declaration_offset,
                       const std::vector<std::string>& text, int step_index) {
    MethodState& state = method_state();
    if (step_index == state.method_exit_step) state.method_exit_index = counter;

    std::string name;
    if (!split_line(step_line, name, state.call_arguments)) {
        putils::show_error(too_many_arguments(step_line));
        return false;
    }
    SectionIndex::Section* section = nullptr;
    int first = -1, last = -1;
    if (active_index && active_index->indexes(text)) {
        section = active_index->find(name);
        if (section) first = section->first, last = section->last;
    } else {
        find_macro_section(name, text, first, last);
    }
    if (first < 0) {
        putils::show_error("Macro " + quoted(name) + " does not exist.");
        return false;
    }
    int index = first;
    const int count =
        section ? parse_section_params(*section, text, index, last) : parse_macro_params(text, index, last);
    if (count < 0) {
        putils::show_error("couldnt interpret macro param " + text[-count]);
        return false;
    }
    if (index < last && is_param_declaration(text[index])) {
        putils::show_error("Macro " + quoted(name) + " has more than " + std::to_string(max_macro_params) +
                           " parameters");
        return false;
    }
    const int call_start = counter;
    // Every body line of the call has the same parameters: they are loaded into the execution set
    // once, as load_step_params would load them for each line.
    if (index <= last) std::copy_n(state.expansion_params.begin(), count, state.execution_params.begin());
    for (int j = index; j <= last; ++j) {
        if (counter >= max_expanded_lines) {
            putils::show_error("The method expands to more than " + std::to_string(max_expanded_lines) +
                               " atom lines");
            return false;
        }
        state.origins[counter] = ExpandedLineOrigin{declaration_offset, count, step_index, call_start};
        std::string line = expand_loaded_macro_line(name, text[j], count);
        if (line.empty()) return false;
        state.expanded_method.push_back(std::move(line));
        ++counter;
    }
    declaration_offset += count;
    return true;
}

bool find_macro_section(std::string_view name, const std::vector<std::string>& text, int& first, int& last) {
    first = last = -1;
    bool found = false;
    for (int j = 0; j < int(text.size()); ++j) {
        const std::string& line = text[j];
        if (!putils::is_macro_line(line)) continue;
        if (found) {
            last = j - 1;
            return true;
        }
        // The name: from the eighth character on, without the last character (the "]").
        std::string_view header_name =
            line.size() > 7 ? std::string_view(line).substr(7, line.size() - 8) : "";
        if (putils::same_text(header_name, name)) {
            found = true;
            first = j + 1;
        }
    }
    if (!found) return false;
    last = int(text.size()) - 1;
    return true;
}

int parse_macro_params(const std::vector<std::string>& text, int& index, int last) {
    MethodState& state = method_state();
    int count = 0;
    while (index < last && count < max_macro_params && is_param_declaration(text[index])) {
        if (!parse_macro_param(count, text[index])) return -index;
        state.running_macro_params.push_back(text[index]);
        ++count;
        ++index;
    }
    return count;
}

std::string expand_macro_line(std::string_view macro, std::string_view line, int expanded_index) {
    return expand_loaded_macro_line(macro, line, load_step_params(expanded_index));
}

bool none_allowed(std::string_view argument, std::uint32_t class_mask) {
    return putils::same_text(argument, "None") &&
           (class_mask & (out_signal_class_bit() | sync_signal_class_bit())) != 0;
}

std::string check_atom_line(std::string_view line) {
    bool reported = false;
    return check_atom_line_reporting(line, reported);
}

bool load_error_macro(std::string_view name, std::vector<std::string>& list) {
    if (!macro_file_exists(name)) return false;
    std::vector<std::string> lines;
    if (!load_macro_file(name, lines)) return false;
    for (int j = count_header_lines(lines); j < int(lines.size()); ++j) {
        const std::string& line = lines[j];
        if (is_param_declaration(line)) {
            putils::show_error("The macro " + quoted(name) + " contains parameters.");
            return false;
        }
        bool reported = false;
        std::string checked = check_atom_line_reporting(line, reported);
        if (checked.empty()) {
            if (!reported)
                putils::show_error("couldnt interpret " + line + " in the macro " + quoted(name) + ".");
            return false;
        }
        list.push_back(std::move(checked));
    }
    return true;
}

bool build_error_macros() {
    std::vector<std::string>& list = method_state().alternate_cmd_list;
    list.clear();
    if (!load_error_macro("ERROR ENTRY", list)) return false;
    list.push_back("ERROR DLG()");
    if (!load_error_macro("ERROR EXIT", list)) return false;
    list.push_back("ERROR RESPONSE()");
    return true;
}

}  // namespace core
