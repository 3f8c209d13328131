#include "tools/zorsim/command_check.h"

#include <cstdlib>

#include "tools/zorsim/config_text.h"
#include "tools/zorsim/text_rules.h"

namespace zorsim {
namespace {

CheckResult refuse(int code, std::string reason) {
    return {code, std::move(reason)};
}

// A limit in instrument units when it is a plain number: an integer is already in instrument
// units; a number with a point is in user units, so a scaled one is multiplied by 1000.
// Expressions ("SYR.Volume", "Tray.Max Index") are left to the driver.
bool limit_value(const std::string& text, const std::string& unit, double& value) {
    if (!is_real_text(text)) return false;
    value = real_value(text);
    if (!is_integer_text(text) && is_scaled_unit(unit)) value *= 1000;
    return true;
}

}  // namespace

CommandLine split_command(std::string_view text) {
    CommandLine c;
    const std::size_t open = text.find('(');
    if (open == std::string_view::npos) {
        c.name = std::string(text);
        return c;
    }
    c.name = std::string(text.substr(0, open));
    c.has_arguments = true;
    if (text.back() != ')' || text.size() < open + 2) {
        c.well_formed = false;
        return c;
    }
    const std::string_view inside = text.substr(open + 1, text.size() - open - 2);
    if (inside.empty()) return c;
    std::size_t pos = 0;
    while (true) {
        const std::size_t comma = inside.find(',', pos);
        if (comma == std::string_view::npos) {
            if (pos < inside.size()) c.args.emplace_back(inside.substr(pos));
            break;
        }
        c.args.emplace_back(inside.substr(pos, comma - pos));
        pos = comma + 1;
    }
    return c;
}

CheckResult check_atom_command(const ConfigText& config, const AtomDef& atom, const CommandLine& command) {
    if (!command.has_arguments || !command.well_formed) {
        return refuse(error_malformed, "an atom command needs its values in \"(\" ... \")\"");
    }
    if (command.args.size() > atom.params.size()) {
        return refuse(error_too_many_values, atom.name + " takes " + std::to_string(atom.params.size()) +
                                                 " values, the command gives " +
                                                 std::to_string(command.args.size()));
    }
    for (std::size_t i = 0; i < atom.params.size(); ++i) {
        const ParamDef& p = atom.params[i];
        const std::string arg = i < command.args.size() ? command.args[i] : "";
        const std::string context = atom.name + ":" + p.name;
        if (arg.empty()) {
            if (p.required) return refuse(error_missing_value, context + " needs a value");
            continue;
        }
        switch (p.kind) {
            case ValueKind::reference: {
                bool signal = false;
                for (const auto& c : p.classes)
                    signal = signal || same_text(c, "SYNC_SIGNAL") || same_text(c, "OUT_SIGNAL");
                if (signal && same_text(arg, "None")) break;
                const ObjectDef* o = config.find_object(arg);
                if (o == nullptr) return refuse(error_bad_object, context + ": " + arg + " is not an object");
                bool allowed = false;
                for (const auto& c : p.classes) allowed = allowed || same_text(c, o->class_name);
                if (!allowed)
                    return refuse(error_bad_object, context + ": " + arg + " is of class " + o->class_name);
                break;
            }
            case ValueKind::list: {
                if (!is_integer_text(arg))
                    return refuse(error_not_a_number, context + ": " + arg + " is not an item index");
                const ListDef* list = config.find_list(p.list);
                const double index = std::strtod(arg.c_str(), nullptr);
                if (list != nullptr && (index < 0 || index >= static_cast<double>(list->items.size()))) {
                    return refuse(error_out_of_range,
                                  context + ": item " + arg + " is not in list " + std::to_string(p.list));
                }
                break;
            }
            case ValueKind::number: {
                if (!is_integer_text(arg))
                    return refuse(error_not_a_number, context + ": " + arg + " is not an integer");
                const double v = std::strtod(arg.c_str(), nullptr);
                // The driver truncates values scaled by 1000, so a value at a limit can come out one
                // instrument unit beyond it.
                const double slack = is_scaled_unit(p.unit) ? 1 : 0;
                double limit = 0;
                if (limit_value(p.min, p.unit, limit) && v < limit - slack) {
                    return refuse(error_out_of_range, context + ": " + arg + " is below " + p.min);
                }
                if (limit_value(p.max, p.unit, limit) && v > limit + slack) {
                    return refuse(error_out_of_range, context + ": " + arg + " is above " + p.max);
                }
                break;
            }
            case ValueKind::text:
                break;
        }
    }
    return {};
}

}  // namespace zorsim
