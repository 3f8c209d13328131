#include "core/expressions.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/command_text.h"
#include "core/quantities.h"
#include "core/run_variables.h"
#include "utilities/message_boxes.h"
#include "utilities/text.h"

namespace core {

namespace {

constexpr std::string_view operator_chars = "()*+-/";

bool is_operator(char c) {
    return operator_chars.find(c) != std::string_view::npos;
}

struct RunVariable {
    std::string_view name;
    bool in_microlitres;  // else a plain number
};

// Run variables that an expression may name. "Repeat Count" is left out: used in a unit it is
// not an error, the text just does not evaluate there.
static constexpr std::array<RunVariable, 5> run_variable_table{{
    {"SL.volume", true},
    {"SL.volume2", true},
    {"SL.index", false},
    {"SL.injpervial", false},
    {"user_index", false},
}};

double run_variable_value(std::string_view name) {
    const RunVariables& v = run_variables();
    if (putils::same_text(name, "SL.volume")) return v.sample_volume;
    if (putils::same_text(name, "SL.volume2")) return v.sample_volume2;
    if (putils::same_text(name, "SL.index")) return v.sample_index;
    if (putils::same_text(name, "SL.injpervial")) return v.injections_per_vial;
    return v.user_index;
}

const RunVariable* find_run_variable(std::string_view text) {
    for (const RunVariable& variable : run_variable_table)
        if (putils::same_text(text, variable.name)) return &variable;
    return nullptr;
}

std::string_view after_first_dot(std::string_view text) {
    std::size_t dot = text.find('.');
    return dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
}

std::string_view before_first_dot(std::string_view text) {
    return text.substr(0, text.find('.'));
}

// The first number attribute of the syringe class with that name and unit; -1 when none.
int syringe_attribute(std::string_view name, std::string_view unit) {
    const Tconfig_model& model = config_model();
    if (model.syringe_class < 0 || model.syringe_class >= model.class_count) return -1;
    const Tclass_rec& cls = model.classes[model.syringe_class];
    for (int i = 0; i < cls.attribute_count; ++i) {
        const Tattribute_rec& a = cls.attributes[i];
        if (a.kind == ValueKind::number && putils::same_text(a.name, name) && putils::same_text(a.unit, unit))
            return i;
    }
    return -1;
}

int find_param(std::span<const MacroParam> params, std::string_view name) {
    for (std::size_t i = 0; i < params.size(); ++i)
        if (putils::same_text(params[i].name, name)) return int(i);
    return -1;
}

// remove_blanks until nothing changes. After that no blank touches an operator, so every part
// between two split points is already in normal form and the search can work on views of one
// text. (A single pass can leave a blank beside an operator, "1  +2" gives "1 +2"; the
// recursive search then dropped it from the part anyway.)
std::string normalize(std::string_view text) {
    std::string current = remove_blanks(text);
    for (;;) {
        std::string next = remove_blanks(current);
        if (next == current) return current;
        current = std::move(next);
    }
}

// Units the search passes down: the expected one and the four of the product and quotient
// rules. Interned so each has a small number.
class UnitSet {
  public:
    explicit UnitSet(std::string_view expected) { units_[0] = expected; }
    int id(std::string_view unit) const {
        for (int i = 0; i < count_; ++i)
            if (putils::same_text(units_[i], unit)) return i;
        return -1;
    }
    std::string_view unit(int id) const { return units_[id]; }
    int intern(std::string_view unit) {
        int found = id(unit);
        if (found >= 0) return found;
        units_[count_] = unit;
        return count_++;
    }

  private:
    std::array<std::string_view, 5> units_{};
    int count_ = 1;
};

// What is known about each part of a text (start, length) in each unit: a flat table, sized by
// the text, so a search that meets the same part again looks it up instead of repeating itself.
template <typename Entry>
class PartTable {
  public:
    static constexpr Entry unknown = -1;
    // Sized for a text on first use: most texts are decided by their whole and never need it.
    void prepare(std::size_t text_length) { text_length_ = text_length; }
    Entry& at(std::size_t offset, std::size_t length, int unit) {
        if (entries_.empty()) {
            stride_ = text_length_ + 1;
            entries_.assign(units * stride_ * stride_, unknown);
        }
        return entries_[(std::size_t(unit) * stride_ + offset) * stride_ + length];
    }

  private:
    static constexpr std::size_t units = 5;
    std::size_t text_length_ = 0;
    std::size_t stride_ = 0;
    std::vector<Entry> entries_;
};

// ---------------------------------------------------------------------------------------------
// The checker. Works on views of one normalized text, remembering each part's verdict per unit.

class Checker {
  public:
    Checker(std::string_view unit, bool syringe_attributes, int atom, std::span<const MacroParam> params)
        : units_(unit), syringe_attributes_(syringe_attributes), atom_(atom), params_(params) {
        ul_ = units_.intern(unit_ul());
        ul_per_s_ = units_.intern(unit_ul_per_s());
        s_ = units_.intern("s");
        none_ = units_.intern("");
    }

    bool run(std::string_view text, bool empty_allowed) {
        text_ = normalize(text);
        if (text_.empty()) return empty_allowed;
        if (text_.size() > max_expression_length) return false;
        known_.prepare(text_.size());
        return check_part(0, text_.size(), 0);
    }

  private:
    bool check(std::size_t offset, std::size_t length, int unit_id) {
        if (length == 0) return false;
        std::int8_t& known = known_.at(offset, length, unit_id);
        if (known == PartTable<std::int8_t>::unknown) known = check_part(offset, length, unit_id) ? 1 : 0;
        return known == 1;
    }

    bool check_part(std::size_t offset, std::size_t length, int unit_id) {
        std::string_view t(text_.data() + offset, length);
        std::string_view unit = units_.unit(unit_id);
        if (putils::is_real(t)) return true;
        if (putils::same_text(unit, "s") && putils::is_time(t)) return true;
        if (unit.empty() && putils::same_text(t, "Repeat Count")) return true;
        if (const RunVariable* variable = find_run_variable(t)) {
            if (variable->in_microlitres ? putils::same_text(unit, unit_ul()) : unit.empty()) return true;
        }
        if (syringe_attributes_ && is_syringe_reference(t) &&
            syringe_attribute(after_first_dot(t), unit) >= 0)
            return true;
        if (is_object_attribute_ref(atom_, t, unit)) return true;
        if (int p = find_param(params_, t); p >= 0 && putils::same_text(params_[p].unit, unit)) return true;
        if (t.front() == '-') return check(offset + 1, length - 1, unit_id);
        // A failed "( ... )" goes on to the splits, so "(1+2)*(3+4)" is valid.
        if (t.front() == '(' && t.back() == ')' && check(offset + 1, length - 2, unit_id)) return true;
        if (length < 3) return false;
        const bool microlitres = unit_id == ul_;
        const bool flow = unit_id == ul_per_s_;
        for (std::size_t p = 1; p + 1 < length; ++p) {
            const std::size_t lo = offset, ll = p, ro = offset + p + 1, rl = length - p - 1;
            switch (t[p]) {
                case '+':
                case '-':
                    if (check(lo, ll, unit_id) && check(ro, rl, unit_id)) return true;
                    break;
                case '*':
                    if (check(lo, ll, unit_id) && check(ro, rl, none_)) return true;
                    if (check(lo, ll, none_) && check(ro, rl, unit_id)) return true;
                    if (microlitres && check(lo, ll, ul_per_s_) && check(ro, rl, s_)) return true;
                    if (microlitres && check(lo, ll, s_) && check(ro, rl, ul_per_s_)) return true;
                    break;
                case '/':
                    if (check(lo, ll, unit_id) && check(ro, rl, none_)) return true;
                    if (flow && check(lo, ll, ul_) && check(ro, rl, s_)) return true;
                    break;
                default:
                    break;
            }
        }
        return false;
    }

    UnitSet units_;
    int ul_ = 0, ul_per_s_ = 0, s_ = 0, none_ = 0;
    bool syringe_attributes_;
    int atom_;
    std::span<const MacroParam> params_;
    std::string text_;
    PartTable<std::int8_t> known_;
};

// ---------------------------------------------------------------------------------------------
// The evaluators. One frame per text: the step argument of a macro parameter is evaluated in a
// frame of its own. Each parameter is evaluated once per evaluation and its value kept; while
// its argument is being evaluated the parameter counts as unknown, so an argument that names
// its own parameter (directly or through other parameters) cannot recurse without end, and
// arguments that name each other many times cannot multiply the work.

enum class ParamState : std::uint8_t { unknown, in_progress, done };

struct EvaluationShared {
    const EvaluationScope& scope;
    std::string_view context;
    bool with_params;
    std::string first_message;  // the wrong-units message, shown only if everything fails
    std::array<ParamState, max_macro_params> param_state{};
    std::array<std::optional<double>, max_macro_params> param_value{};
};

class Evaluator {
  public:
    Evaluator(EvaluationShared& shared, std::string_view unit) : shared_(shared), units_(unit) {
        ul_ = units_.intern(unit_ul());
        ul_per_s_ = units_.intern(unit_ul_per_s());
        s_ = units_.intern("s");
        none_ = units_.intern("");
    }

    std::optional<double> run(std::string_view text) {
        text_ = normalize(text);
        if (text_.empty() || text_.size() > max_expression_length) return std::nullopt;
        known_.prepare(text_.size());
        return eval_part(0, text_.size(), 0);
    }

  private:
    static constexpr std::int32_t failed = -2;

    std::optional<double> eval(std::size_t offset, std::size_t length, int unit_id) {
        if (length == 0) return std::nullopt;
        std::int32_t& known = known_.at(offset, length, unit_id);
        if (known == PartTable<std::int32_t>::unknown) {
            // The table keeps its size for the whole text, so `known` stays valid meanwhile.
            std::optional<double> value = eval_part(offset, length, unit_id);
            if (value) {
                known = std::int32_t(values_.size());
                values_.push_back(*value);
            } else {
                known = failed;
            }
            return value;
        }
        if (known == failed) return std::nullopt;
        return values_[known];
    }

    std::optional<double> eval_part(std::size_t offset, std::size_t length, int unit_id) {
        std::string_view t(text_.data() + offset, length);
        std::string_view unit = units_.unit(unit_id);
        const EvaluationScope& scope = shared_.scope;

        if (putils::is_real(t)) return putils::text_to_real(t);
        if (putils::same_text(unit, "s") && putils::is_time(t)) return putils::time_to_seconds(t);
        if (unit.empty() && putils::same_text(t, "Repeat Count")) return repeat_pass_number();
        if (const RunVariable* variable = find_run_variable(t)) {
            if (variable->in_microlitres ? putils::same_text(unit, unit_ul()) : unit.empty())
                return run_variable_value(variable->name);
            if (shared_.first_message.empty())
                shared_.first_message =
                    std::string(variable->name) + " has wrong units for " + std::string(shared_.context);
            return std::nullopt;
        }
        if (is_syringe_reference(t)) {
            int attribute = syringe_attribute(after_first_dot(t), unit);
            if (attribute >= 0) {
                // Without a method syringe of the syringe class there is no value to read.
                const Tobject_rec* syringe = scope.syringe;
                if (!syringe || syringe->class_index != config_model().syringe_class) return std::nullopt;
                return get_number_value(*syringe, attribute);
            }
        }
        if (int position = object_attribute_ref_position(scope.atom, t, unit); position >= 0) {
            std::string object =
                std::size_t(position) < scope.line_args.size() ? scope.line_args[position] : std::string();
            if (shared_.with_params) {
                int p = find_param(scope.params, object);
                if (p >= 0)
                    object = std::size_t(p) < scope.step_args.size() ? scope.step_args[p] : std::string();
            }
            substitute_object_variable(object);
            if (object.empty()) return 1.0;
            double value = 0;
            if (!object_attribute_value(unit, after_first_dot(t), object, value)) return std::nullopt;
            return value;
        }
        if (shared_.with_params) {
            int p = find_param(scope.params, t);
            if (p >= 0 && p < max_macro_params && putils::same_text(scope.params[p].unit, unit)) {
                if (shared_.param_state[p] == ParamState::unknown) {
                    shared_.param_state[p] = ParamState::in_progress;
                    Evaluator nested(shared_, unit);
                    std::string argument =
                        std::size_t(p) < scope.step_args.size() ? scope.step_args[p] : std::string();
                    shared_.param_value[p] = nested.run(argument);
                    shared_.param_state[p] = ParamState::done;
                }
                // A parameter still in progress is not taken: its argument names it.
                if (shared_.param_state[p] == ParamState::done && shared_.param_value[p])
                    return shared_.param_value[p];
            }
        }
        if (t.front() == '(' && t.back() == ')') {
            if (auto inside = eval(offset + 1, length - 2, unit_id)) return inside;
        }
        // Sums and differences first, split right to left: a-b-c is (a-b)-c.
        for (std::size_t p = length - 1; length >= 3 && --p >= 1;) {
            if (t[p] != '+' && t[p] != '-') continue;
            auto left = eval(offset, p, unit_id);
            if (!left) continue;
            auto right = eval(offset + p + 1, length - p - 1, unit_id);
            if (!right) continue;
            return t[p] == '+' ? *left + *right : *left - *right;
        }
        if (length < 3) {
            if (t.front() == '-') {
                if (auto rest = eval(offset + 1, length - 1, unit_id)) return -*rest;
            }
            return std::nullopt;
        }
        const bool microlitres = unit_id == ul_;
        const bool flow = unit_id == ul_per_s_;
        for (std::size_t p = length - 1; --p >= 1;) {
            const std::size_t lo = offset, ll = p, ro = offset + p + 1, rl = length - p - 1;
            if (t[p] == '*') {
                if (auto v = combine(lo, ll, unit_id, ro, rl, none_, '*')) return v;
                if (auto v = combine(lo, ll, none_, ro, rl, unit_id, '*')) return v;
                if (microlitres) {
                    if (auto v = combine(lo, ll, ul_per_s_, ro, rl, s_, '*')) return v;
                    if (auto v = combine(lo, ll, s_, ro, rl, ul_per_s_, '*')) return v;
                }
            } else if (t[p] == '/') {
                if (auto v = combine(lo, ll, unit_id, ro, rl, none_, '/')) return v;
                if (flow) {
                    if (auto v = combine(lo, ll, ul_, ro, rl, s_, '/')) return v;
                }
            }
        }
        if (t.front() == '-') {
            if (auto rest = eval(offset + 1, length - 1, unit_id)) return -*rest;
        }
        return std::nullopt;
    }

    std::optional<double> combine(std::size_t lo, std::size_t ll, int lu, std::size_t ro, std::size_t rl,
                                  int ru, char op) {
        auto left = eval(lo, ll, lu);
        if (!left) return std::nullopt;
        auto right = eval(ro, rl, ru);
        if (!right) return std::nullopt;
        if (op == '*') return *left * *right;
        return *right == 0 ? 0.0 : *left / *right;
    }

    EvaluationShared& shared_;
    UnitSet units_;
    int ul_ = 0, ul_per_s_ = 0, s_ = 0, none_ = 0;
    std::string text_;
    PartTable<std::int32_t> known_;
    std::vector<double> values_;
};

bool evaluate(std::string_view text, std::string_view unit, const EvaluationScope& scope,
              std::string_view context, bool with_params, double& value, bool* reported) {
    if (reported) *reported = false;
    EvaluationShared shared{scope, context, with_params, {}};
    Evaluator evaluator(shared, unit);
    if (auto result = evaluator.run(text)) {
        value = *result;
        return true;
    }
    value = 0;
    if (!shared.first_message.empty()) {
        putils::show_error(shared.first_message);
        if (reported) *reported = true;
    }
    return false;
}

// One step of the search for an attribute along object references: in `cls`, the first
// attribute named `name` that is not a reference decides; else each reference attribute and
// each class of its mask, one level deeper.
struct PathStep {
    int class_index;
    int attribute;
};

// Searches that found nothing, by class and depth: the same search finds nothing again, and
// without this record a configuration full of references takes (24 x 32)^3 steps.
using FailedSearches = std::array<std::array<bool, 5>, max_classes>;

bool search_path(int cls_index, std::string_view name, std::string_view unit, int depth_left,
                 std::vector<PathStep>& path, FailedSearches& failed) {
    if (failed[cls_index][depth_left]) return false;
    const Tconfig_model& model = config_model();
    const Tclass_rec& cls = model.classes[cls_index];
    for (int i = 0; i < cls.attribute_count; ++i) {
        const Tattribute_rec& a = cls.attributes[i];
        if (a.kind == ValueKind::object || !putils::same_text(a.name, name)) continue;
        // Only number and list slots hold a value; a text attribute of that name finds nothing.
        if ((a.kind == ValueKind::number || a.kind == ValueKind::list) && putils::same_text(a.unit, unit)) {
            path.push_back({cls_index, i});
            return true;
        }
        break;
    }
    if (depth_left > 1) {
        for (int i = 0; i < cls.attribute_count; ++i) {
            const Tattribute_rec& a = cls.attributes[i];
            if (a.kind != ValueKind::object) continue;
            for (int bit = 0; bit < model.class_count; ++bit) {
                if (!bit_in_mask(bit, a.list_or_mask)) continue;
                path.push_back({cls_index, i});
                if (search_path(bit, name, unit, depth_left - 1, path, failed)) return true;
                path.pop_back();
            }
        }
    }
    failed[cls_index][depth_left] = true;
    return false;
}

}  // namespace

std::string remove_blanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c == ' ') {
            if (i == 0 || i + 1 == n) continue;
            if (is_operator(text[i - 1]) || is_operator(text[i + 1])) continue;
        }
        out += c;
    }
    return out;
}

bool is_syringe_reference(std::string_view text) {
    const Tconfig_model& model = config_model();
    if (model.syringe_class < 0 || model.syringe_class >= model.class_count) return false;
    return text.find('.') != std::string_view::npos && putils::same_text(before_first_dot(text), "SYR");
}

bool attribute_with_unit_exists(std::string_view attribute, std::string_view unit) {
    if (putils::same_text(attribute, "Max Index") && unit.empty()) return true;
    const Tconfig_model& model = config_model();
    for (int c = 0; c < model.class_count; ++c) {
        const Tclass_rec& cls = model.classes[c];
        for (int i = 0; i < cls.attribute_count; ++i)
            if (putils::same_text(cls.attributes[i].name, attribute) &&
                putils::same_text(cls.attributes[i].unit, unit))
                return true;
    }
    return false;
}

int object_attribute_ref_position(int atom, std::string_view text, std::string_view unit) {
    const Tconfig_model& model = config_model();
    if (atom < 0 || atom >= model.atom_count) return -1;
    std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) return -1;
    const Tatom_rec& a = model.atoms[atom];
    for (int i = 0; i < a.param_count; ++i) {
        if (a.params[i].kind != ValueKind::object ||
            !putils::same_text(a.params[i].name, text.substr(0, dot)))
            continue;
        return attribute_with_unit_exists(text.substr(dot + 1), unit) ? i : -1;
    }
    return -1;
}

bool is_object_attribute_ref(int atom, std::string_view text, std::string_view unit) {
    return object_attribute_ref_position(atom, text, unit) >= 0;
}

double max_index(std::string_view object_name) {
    return get_number_attribute(object_name, "Spl Per Col") *
           get_number_attribute(object_name, "Spl Per Row");
}

bool object_attribute_value(std::string_view unit, std::string_view attribute, std::string_view object_name,
                            double& value) {
    const Tconfig_model& model = config_model();
    const bool max_index_wanted = putils::same_text(attribute, "Max Index");
    std::string_view searched = max_index_wanted ? std::string_view("Spl Per Col") : attribute;
    const Tobject_rec* object = object_record_by_name(object_name);
    if (!object) return false;

    std::vector<PathStep> path;
    FailedSearches failed{};
    bool found = false;
    for (int depth = 1; depth <= 4 && !found; ++depth) {
        path.clear();
        found = search_path(object->class_index, searched, unit, depth, path, failed);
    }
    if (!found) {
        value = 1.0;
        return true;
    }
    // Follow the path through the objects named in the reference attributes. Each object must
    // be of the class the path passes through, or the attribute index would mean another slot.
    for (const PathStep& step : path) {
        if (object->class_index != step.class_index) return false;
        if (model.classes[step.class_index].attributes[step.attribute].kind != ValueKind::object) {
            value = max_index_wanted ? max_index(object->name) : get_number_value(*object, step.attribute);
            return true;
        }
        object = object_record_by_name(get_text_value(*object, step.attribute));
        if (!object) return false;
    }
    return false;
}

bool check_expression(std::string_view text, std::string_view unit, bool syringe_attributes,
                      bool empty_allowed, int atom, std::span<const MacroParam> params) {
    // Most texts are plain numbers: valid in every unit.
    if (text.size() <= max_expression_length && putils::is_real(text)) return true;
    Checker checker(unit, syringe_attributes, atom, params);
    return checker.run(text, empty_allowed);
}

bool evaluate_expression(std::string_view text, std::string_view unit, const EvaluationScope& scope,
                         std::string_view context, double& value, bool* reported) {
    return evaluate(text, unit, scope, context, true, value, reported);
}

bool evaluate_error_expression(std::string_view text, std::string_view unit, const Tobject_rec* syringe,
                               std::string_view context, int atom, std::span<const std::string> line_args,
                               double& value, bool* reported) {
    EvaluationScope scope;
    scope.atom = atom;
    scope.line_args = line_args;
    scope.syringe = syringe;
    return evaluate(text, unit, scope, context, false, value, reported);
}

}  // namespace core
