#include "core/command_text.h"

#include <array>

#include "core/config_model.h"
#include "core/engine_hooks.h"
#include "core/expressions.h"
#include "core/method_expansion.h"
#include "core/quantities.h"
#include "core/run_variables.h"
#include "utilities/message_boxes.h"

namespace core {

namespace {

struct ObjectVariable {
    std::string_view name;
    std::string RunVariables::*object;
};

// The object variables of method lines and the run values that name their objects. Only
// "SYR" and "SL.tray" are ever set; the others stay empty.
static constexpr std::array<ObjectVariable, 5> object_variables{{
    {"SYR", &RunVariables::mounted_syringe},
    {"SL.tray", &RunVariables::sample_tray},
    {"SL.tray2", &RunVariables::sample_tray2},
    {"SL.injector", &RunVariables::sample_injector},
    {"SL.injector2", &RunVariables::sample_injector2},
}};

std::string_view until_nul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

}  // namespace

std::string command_name(std::string_view line) {
    return std::string(line.substr(0, line.find('(')));
}

bool line_has_command(std::string_view line, std::string_view name) {
    return putils::same_text(command_name(line), name);
}

std::string split_command_name(putils::Cursor& line) {
    // Only a closing parenthesis is dropped; a line without one keeps its last argument whole.
    if (!line.empty() && line.back() == ')') line.remove_suffix(1);
    return putils::next_token(line, '(');
}

bool split_arguments(std::string_view text, std::vector<std::string>& arguments) {
    arguments.clear();
    putils::Cursor cursor = until_nul(text);
    while (!cursor.empty()) {
        if (int(arguments.size()) == max_line_arguments) return false;
        arguments.push_back(putils::next_token(cursor, ','));
    }
    return true;
}

bool split_line(std::string_view line, std::string& name, std::vector<std::string>& arguments) {
    putils::Cursor cursor = until_nul(line);
    name = split_command_name(cursor);
    return split_arguments(cursor, arguments);
}

bool is_object_variable(std::string_view text) {
    for (std::size_t i = 1; i < object_variables.size(); ++i)
        if (putils::same_text(text, object_variables[i].name)) return true;
    return false;
}

bool is_syr(std::string_view text) {
    return putils::same_text(text, "SYR");
}

bool substitute_object_variable(std::string& text) {
    for (const ObjectVariable& variable : object_variables) {
        if (putils::same_text(text, variable.name)) {
            text = run_variables().*variable.object;
            return true;
        }
    }
    return false;
}

double limit_value(std::string_view context, std::string_view unit, double max, double min, double value) {
    if (!(value >= min)) return ask_out_of_range_value(context, unit, max, min, min, value);
    if (value > max) return ask_out_of_range_value(context, unit, max, min, max, value);
    return value;
}

double ask_out_of_range_value(std::string_view context, std::string_view unit, double max, double min,
                              double bound, double value) {
    if (OutOfRangeAsker ask = engine_hooks().ask_out_of_range)
        return ask(context, unit, max, min, bound, value);
    return bound;
}

bool encode_atom_line(std::string_view line, const ArgumentRules& rules, std::string& command) {
    command.clear();
    std::string name;
    std::vector<std::string> args;
    if (!split_line(line, name, args)) {
        putils::show_error(std::string(line) + " has more than " + std::to_string(max_line_arguments) +
                           " arguments");
        return false;
    }
    const Tconfig_model& model = config_model();
    const int atom = find_atom(name);
    if (atom >= model.atom_count) {
        putils::show_error(name + " is not an atom!");
        return false;
    }
    const Tatom_rec& record = model.atoms[atom];
    std::string text = record.name.str() + "(";
    for (int p = 0; p < record.param_count; ++p) {
        const Tatom_param_rec& param = record.params[p];
        std::string argument = std::size_t(p) < args.size() ? args[p] : std::string();
        switch (param.kind) {
            case ValueKind::list:
                // An argument that is no item of the list travels as -1.
                text += std::to_string(find_list_item(param.list_or_mask, argument)) + ",";
                break;
            case ValueKind::object:
            case ValueKind::text:
                rules.object_name(argument);
                text += argument + ",";
                break;
            case ValueKind::number: {
                const std::string context = record.name.str() + ":" + param.name.str();
                const std::string unit = param.unit.str();
                if (argument.empty()) {
                    if (param.required) {
                        putils::show_error(context + " cannot be defaulted");
                        return false;
                    }
                    text += ",";
                    break;
                }
                double value = 0, min = 0, max = 0;
                // A run variable in the wrong unit has had its own message from the evaluator;
                // the value's message follows it.
                if (!rules.evaluate(argument, unit, context, atom, args, value)) {
                    putils::show_error(rules.cant_understand(context, argument));
                    return false;
                }
                for (auto [limit, target] :
                     {std::pair{param.min.view(), &min}, std::pair{param.max.view(), &max}}) {
                    if (!rules.evaluate(limit, unit, context, atom, args, *target)) {
                        putils::show_error("cant understand " + std::string(limit));
                        return false;
                    }
                }
                value = limit_value(context, unit, max, min, value);
                const auto integer = rules.integer(value, unit);
                if (!integer) {
                    putils::show_error(context + ": " + argument + " is out of range");
                    return false;
                }
                text += std::to_string(*integer) + ",";
                break;
            }
        }
    }
    command = text + ")";
    return true;
}

bool line_to_command(int expanded_index, std::string_view line, std::string& command) {
    MethodState& state = method_state();
    command.clear();
    const int count = load_step_params(expanded_index);

    std::vector<std::string> step_args;
    if (expanded_index >= 0 && expanded_index < max_expanded_lines) {
        const int step = state.origins[expanded_index].step;
        if (step >= 0 && step < int(state.running_method.size())) {
            std::string step_name;
            if (!split_line(state.running_method[step], step_name, step_args)) {
                putils::show_error(state.running_method[step] + " has more than " +
                                   std::to_string(max_line_arguments) + " arguments");
                return false;
            }
        }
    }

    EvaluationScope scope;
    scope.params = std::span<const MacroParam>(state.execution_params.data(), std::size_t(count));
    scope.step_args = step_args;
    scope.syringe = method_syringe_record();

    ArgumentRules rules;
    rules.evaluate = [&scope](std::string_view text, std::string_view unit, const std::string& context,
                              int atom, std::span<const std::string> args, double& value) {
        scope.atom = atom;
        scope.line_args = args;
        return evaluate_expression(text, unit, scope, context, value);
    };
    rules.object_name = [&](std::string& argument) {
        if (substitute_object_variable(argument)) return;
        const int i = find_step_param(argument, count);
        if (i >= 0) argument = std::size_t(i) < step_args.size() ? step_args[i] : std::string();
    };
    rules.cant_understand = [](const std::string& context, const std::string& argument) {
        return context + ": cant understand " + argument;
    };
    rules.integer = command_integer;
    return encode_atom_line(line, rules, command);
}

}  // namespace core
