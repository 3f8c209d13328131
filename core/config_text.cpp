#include "core/config_text.h"

#include <algorithm>
#include <cmath>

#include "core/config_model.h"
#include "core/engine_hooks.h"
#include "core/expressions.h"
#include "core/line_files.h"
#include "core/quantities.h"
#include "utilities/log.h"
#include "utilities/message_boxes.h"
#include "utilities/session.h"
#include "utilities/text.h"

namespace core {

namespace {

// The sections, in the order the text must have them.
static constexpr std::array<std::string_view, 4> section_headers{"[LISTS]", "[CLASSES]", "[OBJECTS]",
                                                                 "[ATOMS]"};

struct WellKnownClass {
    std::string_view name;
    std::int32_t Tconfig_model::*index;
};

// Classes the core remembers by index while reading.
static constexpr std::array<WellKnownClass, 6> well_known_classes{{
    {"SYRINGE", &Tconfig_model::syringe_class},
    {"INJECTOR", &Tconfig_model::injector_class},
    {"WASH_STATION", &Tconfig_model::wash_station_class},
    {"TRAY", &Tconfig_model::tray_class},
    {"TRAY_HOLDER", &Tconfig_model::tray_holder_class},
    {"TRAY_TYPE", &Tconfig_model::tray_type_class},
}};

// Atoms the step executor carries out itself; appended after the text's atoms, so (names
// being looked up last match first) they hide a text atom of the same name.
static constexpr std::array<std::string_view, builtin_atom_count> builtin_atoms{
    "INC_INDEX",      "DEC_INDEX",      "REPEAT",           "END",          "WAIT_FOR_DS",
    "INC_USER_INDEX", "DEC_USER_INDEX", "RESET_USER_INDEX", "SET_INJECTED",
};

// A list line holds its number, its maximum and at most this many items.
static_assert(max_fields - 2 <= max_list_items);

constexpr std::size_t quoted_line_width = 60;

std::string_view until_nul(std::string_view line) {
    return line.substr(0, line.find('\0'));
}

std::string shortened(std::string_view line) {
    line = until_nul(line);
    if (line.size() <= quoted_line_width) return std::string(line);
    return std::string(line.substr(0, quoted_line_width)) + "...";
}

struct Range {
    int first = 0;
    int end = 0;  // one past the last line
};

class Reader {
  public:
    explicit Reader(const std::vector<std::string>& lines) : lines_(lines), model_(config_model()) {}

    bool read() {
        start_model();
        std::array<int, 4> header{-1, -1, -1, -1};
        for (int i = 0; i < int(lines_.size()); ++i) {
            std::string_view line = until_nul(lines_[i]);
            if (line.empty() || line.front() != '[') continue;
            for (int s = 0; s < 4; ++s)
                if (putils::same_text(line, section_headers[s])) header[s] = i;
        }
        for (int s = 0; s < 4; ++s) {
            if (header[s] < 0) {
                putils::show_error("The configuration has no " + std::string(section_headers[s]) +
                                   " section");
                return false;
            }
        }
        auto range = [&](int s) {
            int end = s < 3 ? header[s + 1] : int(lines_.size());
            return Range{header[s] + 1, std::max(header[s] + 1, end)};
        };
        return read_lists(range(0)) && read_classes(range(1)) && read_objects(range(2)) &&
               read_atoms(range(3));
    }

  private:
    void start_model() {
        model_.list_count = 0;
        model_.class_count = 0;
        model_.object_count = 0;
        model_.atom_count = 0;
        model_.text_atom_count = 0;
        model_.value_area_used = 0;
        for (const WellKnownClass& known : well_known_classes) model_.*known.index = -1;
        for (Tlist_rec& list : model_.lists) {
            list.item_count = 0;
            list.present = false;
        }
    }

    // Splits line i into fields_; false (after the message) when it has too many fields.
    bool split(int i) {
        line_ = i;
        split_fields(lines_[i], fields_);
        if (fields_.overflow) {
            putils::show_error("Line has more than " + std::to_string(max_fields) +
                               " fields: " + shortened(lines_[i]));
            return false;
        }
        return true;
    }

    std::string_view field(int i) const { return fields_[i]; }
    std::string field_text(int i) const { return std::string(fields_[i]); }

    bool is_class_name(std::string_view text) const {
        return !text.empty() && find_class(text) < model_.class_count;
    }

    // A real number of the configuration, held within max_number_magnitude. The context is only
    // put together for a message.
    template <typename Context>
    bool read_number(std::string_view text, const Context& context, double& value) {
        if (putils::parse_real(text, value) && std::abs(value) <= max_number_magnitude) return true;
        if (putils::read_real(text, context(), value)) putils::show_error("Number out of range:" + context());
        value = 0;
        return false;
    }

    // A text longer than its field is cut to the field's width, as the model stores every short
    // text; the log keeps what was cut.
    static std::string cut_to(std::string_view text, int width, const std::string& context,
                              const char* what) {
        if (text.size() <= std::size_t(width)) return std::string(text);
        putils::append_log(context + ": the " + what + " " + std::string(until_nul(text)) + " is cut to " +
                           std::to_string(width) + " characters");
        return std::string(text.substr(0, std::size_t(width)));
    }

    // The user unit of an instrument unit, cut to the model's four characters. A unit that cannot
    // be a unit text at all (is_readable_instrument_unit) is refused with its line.
    bool read_unit(std::string_view instrument_unit, const std::string& context,
                   ShortText<unit_width>& unit) {
        if (!is_readable_instrument_unit(instrument_unit)) {
            putils::show_error(context + ": the unit " + shortened(instrument_unit) +
                               " is damaged, in the line " + shortened(lines_[line_]));
            return false;
        }
        unit = cut_to(to_user_unit(instrument_unit), unit_width, context, "unit");
        return true;
    }

    bool read_list_number(std::string_view text, const std::string& context, std::uint32_t& list_number) {
        std::int32_t number = 0;
        if (!putils::read_int(text, context, number)) return false;
        if (number < 0 || number >= max_lists) {
            putils::show_error(context + ": bad list id " + std::to_string(number));
            return false;
        }
        list_number = std::uint32_t(number);
        return true;
    }

    // The bits of the classes in fields 1, 2, ... up to the first empty one. `where` completes
    // the message for a name that is no class.
    bool read_class_mask(const std::string& where, std::uint32_t& mask) {
        mask = 0;
        for (int i = 1; i <= fields_.count && !field(i).empty(); ++i) {
            std::uint32_t bit = class_bit(field(i));
            if (bit == 0) {
                putils::show_error(field_text(i) + where);
                return false;
            }
            mask |= bit;
        }
        return true;
    }

    bool read_lists(Range range) {
        for (int i = range.first; i < range.end; ++i) {
            if (!split(i)) return false;
            const std::string context = "list " + std::to_string(i - range.first + 1);
            std::int32_t number = 0, maximum = 0;
            if (!putils::read_int(field(0), context, number)) return false;
            if (number < 0 || number >= max_lists) {
                putils::show_error("bad list id " + std::to_string(number));
                return false;
            }
            if (!putils::read_int(field(1), context, maximum)) return false;
            if (maximum < 0) {
                putils::show_error("bad list max " + std::to_string(number));
                return false;
            }
            Tlist_rec& list = model_.lists[number];
            list.item_count = 0;
            for (int f = 2; f <= fields_.count && !field(f).empty(); ++f)
                list.items[list.item_count++] = field(f);
            list.maximum = maximum;
            list.present = true;
            ++model_.list_count;
        }
        return true;
    }

    bool read_classes(Range range) {
        for (int i = range.first; i < range.end; ++i) {
            if (!split(i)) return false;
            if (field(0).empty() || field(0).front() != '!') continue;
            if (model_.class_count >= max_classes) {
                putils::show_error("Too many classes: the configuration holds at most " +
                                   std::to_string(max_classes));
                return false;
            }
            Tclass_rec& cls = model_.classes[model_.class_count];
            cls.name = field(0).substr(1);
            cls.attribute_count = 0;
            cls.block_size = 0;
            for (const WellKnownClass& known : well_known_classes)
                if (putils::same_text(cls.name, known.name)) model_.*known.index = model_.class_count;
            ++model_.class_count;
        }
        if (model_.syringe_class < 0) {
            putils::show_error("No syringe class was found!");
            return false;
        }

        int current = -1;
        for (int i = range.first; i < range.end; ++i) {
            split(i);
            if (!field(0).empty() && field(0).front() == '!') {
                ++current;
                continue;
            }
            if (current < 0) {
                putils::show_error("Attribute line before the first class: " + shortened(lines_[i]));
                return false;
            }
            if (!read_attribute(model_.classes[current])) return false;
        }

        for (int c = 0; c < model_.class_count; ++c) {
            Tclass_rec& cls = model_.classes[c];
            std::int32_t offset = 0;
            for (int a = 0; a < cls.attribute_count; ++a) {
                Tattribute_rec& attribute = cls.attributes[a];
                attribute.value_offset = offset;
                const bool text_slot =
                    attribute.kind == ValueKind::text || attribute.kind == ValueKind::object;
                offset += text_slot ? text_slot_size : number_slot_size;
            }
            cls.block_size = offset;
        }
        return true;
    }

    bool read_attribute(Tclass_rec& cls) {
        const std::string class_name = cls.name.str();
        if (cls.attribute_count >= max_attributes) {
            putils::show_error(class_name + ": a class holds at most " + std::to_string(max_attributes) +
                               " attributes");
            return false;
        }
        const std::string_view name = field(0);
        const std::string context = class_name + ":" + std::string(name);
        auto with = [&context](const char* what) { return [&context, what] { return context + what; }; };
        Tattribute_rec attribute;
        if (!name.empty() && name.front() == '#') {
            attribute.kind = ValueKind::list;
            attribute.name = name.substr(1);
            if (!read_number(field(1), with(" min"), attribute.min) ||
                !read_number(field(2), with(" max"), attribute.max) ||
                !read_number(field(3), with(" default"), attribute.default_value) ||
                !read_list_number(field(4), context + " list number", attribute.list_or_mask))
                return false;
        } else if (!name.empty() && name.front() == '&') {
            attribute.kind = ValueKind::text;
            attribute.name = name.substr(1);
        } else if (is_class_name(field(1))) {
            attribute.kind = ValueKind::object;
            attribute.name = name;
            if (!read_class_mask(" in class " + class_name + " is not a class!", attribute.list_or_mask))
                return false;
        } else {
            attribute.kind = ValueKind::number;
            attribute.name = name;
            if (!read_unit(field(5), context, attribute.unit)) return false;
            if (!read_number(field(1), with(" min"), attribute.min) ||
                !read_number(field(2), with(" max"), attribute.max) ||
                !read_number(field(3), with(" default"), attribute.default_value) ||
                !read_number(field(4), with(" increment"), attribute.increment))
                return false;
        }
        cls.attributes[cls.attribute_count++] = attribute;
        return true;
    }

    bool read_objects(Range range) {
        std::fill(model_.value_area.begin(), model_.value_area.end(), 0);
        model_.value_area_used = 0;
        for (int i = range.first; i < range.end; ++i) {
            if (!split(i)) return false;
            if (!is_class_name(field(0))) {
                putils::show_error(field_text(0) + " is not a known class!");
                return false;
            }
            if (field(1).empty()) {
                putils::show_error("an object of class " + field_text(0) + " must have a name to be defined");
                return false;
            }
            if (model_.object_count >= max_objects) {
                putils::show_error("Too many objects: the configuration holds at most " +
                                   std::to_string(max_objects));
                return false;
            }
            Tobject_rec& object = model_.objects[model_.object_count++];
            object.name = field(1);
            object.class_index = find_class(field(0));
            object.block_offset = 0;
        }

        for (int i = range.first; i < range.end; ++i) {
            split(i);
            Tobject_rec& object = model_.objects[i - range.first];
            const Tclass_rec& cls = model_.classes[object.class_index];
            if (model_.value_area_used + cls.block_size > value_area_size) {
                putils::show_error("Object values need more than " + std::to_string(value_area_size) +
                                   " bytes, at object " + object.name.str());
                return false;
            }
            object.block_offset = model_.value_area_used;
            model_.value_area_used += cls.block_size;
            for (int a = 0; a < cls.attribute_count; ++a)
                if (!read_value(object, a)) return false;
        }
        return true;
    }

    bool read_value(const Tobject_rec& object, int a) {
        const Tattribute_rec& attribute = model_.classes[object.class_index].attributes[a];
        const std::string_view text = field(a + 2);
        auto context = [&] { return object.name.str() + ":" + attribute.name.str(); };
        switch (attribute.kind) {
            case ValueKind::number:
            case ValueKind::list: {
                double value = 0;
                if (attribute.kind == ValueKind::number && putils::same_text(text, "Off"))
                    value = attribute.min;
                else if (!read_number(text, context, value))
                    return false;
                // Every number of a scaled unit is in thousandths, fractional ones included.
                set_number_value(object, a, instrument_number_to_user(value, attribute.unit));
                return true;
            }
            case ValueKind::text:
            case ValueKind::object:
                return set_text_value(object, a, cut_to(text, text_slot_width, context(), "text"));
        }
        return false;
    }

    bool read_atoms(Range range) {
        // Pass 1: the structure, so that limits may name the atom's own object parameters.
        for (int i = range.first; i < range.end; ++i) {
            if (!split(i)) return false;
            const std::string_view first = field(0);
            if (!first.empty() && first.front() == '!') {
                if (model_.atom_count >= max_text_atoms) {
                    putils::show_error("Too many atoms: the configuration holds at most " +
                                       std::to_string(max_text_atoms));
                    return false;
                }
                Tatom_rec& atom = model_.atoms[model_.atom_count++];
                atom.name = first.substr(1);
                atom.param_count = 0;
                continue;
            }
            if (model_.atom_count == 0) {
                putils::show_error("Parameter line before the first atom: " + shortened(lines_[i]));
                return false;
            }
            Tatom_rec& atom = model_.atoms[model_.atom_count - 1];
            if (atom.param_count >= max_atom_params) {
                putils::show_error(atom.name.str() + ": an atom holds at most " +
                                   std::to_string(max_atom_params) + " parameters");
                return false;
            }
            Tatom_param_rec param;
            std::string_view name = first;
            param.required = !(name.size() > 0 && name.front() == '?');
            if (!param.required) name.remove_prefix(1);
            if (!name.empty() && name.front() == '#') {
                param.kind = ValueKind::list;
                name.remove_prefix(1);
            } else if (is_class_name(field(1))) {
                param.kind = ValueKind::object;
            } else {
                param.kind = ValueKind::number;
                if (!read_unit(field(5), atom.name.str() + ":" + std::string(name), param.unit)) return false;
            }
            param.name = name;
            atom.params[atom.param_count++] = param;
        }

        // Pass 2: limits and class masks.
        int atom = -1, param = 0;
        for (int i = range.first; i < range.end; ++i) {
            split(i);
            if (!field(0).empty() && field(0).front() == '!') {
                ++atom;
                param = 0;
                continue;
            }
            if (!check_atom_param(atom, param++)) return false;
        }

        model_.text_atom_count = model_.atom_count;
        for (std::string_view name : builtin_atoms) {
            Tatom_rec& builtin = model_.atoms[model_.atom_count++];
            builtin.name = name;
            builtin.param_count = 0;
            if (name == "REPEAT") {
                Tatom_param_rec count;
                count.name = "Count";
                count.kind = ValueKind::number;
                count.min = "0";
                count.max = "1000000";
                count.default_value = "1";
                count.increment = "1";
                count.required = true;
                builtin.params[builtin.param_count++] = count;
            }
        }
        return true;
    }

    bool store_limit(ShortText<limit_width>& target, std::string_view text, const std::string& context) {
        target = cut_to(text, limit_width, context, "limit");
        return true;
    }

    bool check_atom_param(int atom_index, int param_index) {
        Tatom_param_rec& param = model_.atoms[atom_index].params[param_index];
        const std::string context = model_.atoms[atom_index].name.str() + ":" + param.name.str();
        const std::string unit = param.unit.str();
        bool shown = false;  // a message was shown already
        bool good = true;
        auto valid = [&](std::string_view text) {
            return check_expression(text, unit, true, false, atom_index, {});
        };
        switch (param.kind) {
            case ValueKind::list:
                good = valid(field(1)) && valid(field(2)) && valid(field(3));
                if (good) {
                    shown = true;
                    good = store_limit(param.min, field(1), context) &&
                           store_limit(param.max, field(2), context) &&
                           store_limit(param.default_value, field(3), context) &&
                           read_list_number(field(4), context + " list number", param.list_or_mask);
                }
                break;
            case ValueKind::object:
                shown = true;
                good = read_class_mask(" in " + context + " is not a class!", param.list_or_mask);
                break;
            case ValueKind::number:
                good = valid(field(1)) && valid(field(2)) && valid(field(3)) && valid(field(4));
                if (good) {
                    shown = true;
                    good =
                        store_limit(param.min, instrument_value_to_user(field(1), unit), context) &&
                        store_limit(param.max, instrument_value_to_user(field(2), unit), context) &&
                        store_limit(param.default_value, instrument_value_to_user(field(3), unit), context) &&
                        store_limit(param.increment, instrument_value_to_user(field(4), unit), context);
                }
                break;
            case ValueKind::text:
                break;
        }
        if (good) return true;
        engine_debug_line("problem with " + context);
        if (!shown) putils::show_error("problem with " + context);
        return false;
    }

    const std::vector<std::string>& lines_;
    int line_ = 0;  // the line last split
    Tconfig_model& model_;
    FieldTable fields_;
};

std::string join_fields(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) line += ';';
        line += fields[i];
    }
    return line;
}

void append_mask_classes(std::vector<std::string>& fields, std::uint32_t mask) {
    const Tconfig_model& model = config_model();
    for (int bit = 0; bit < model.class_count; ++bit)
        if (bit_in_mask(bit, mask)) fields.push_back(model.classes[bit].name.str());
}

}  // namespace

int split_fields(std::string_view line, FieldTable& table) {
    std::string_view rest = until_nul(line);
    // One field as next_token takes it, on views: no copies while a configuration is read.
    auto next_field = [&rest]() {
        std::size_t start = 0;
        while (start < rest.size() && rest[start] == ' ') ++start;
        const std::size_t end = rest.find(';', start);
        std::string_view field =
            rest.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        return field;
    };
    table.overflow = false;
    table.fields[0] = next_field();
    int next = 1;
    while (!rest.empty()) {
        if (next == max_fields) {
            table.overflow = true;
            break;
        }
        table.fields[next++] = next_field();
    }
    table.count = next - 1;
    for (int i = next; i < max_fields; ++i) table.fields[i] = {};
    return table.count;
}

std::string config_file_path() {
    return putils::method_folder_file("latest_zor.pol");
}

bool read_configuration(const std::vector<std::string>& lines) {
    Reader reader(lines);
    return reader.read();
}

bool read_configuration_file(std::string_view path) {
    std::vector<std::string> lines;
    if (!load_lines(path, lines)) return false;
    return read_configuration(lines);
}

std::string format_object_line(int object_index) {
    const Tconfig_model& model = config_model();
    const Tobject_rec& object = model.objects[object_index];
    const Tclass_rec& cls = model.classes[object.class_index];
    std::string line = cls.name.str() + ";" + object.name.str();
    for (int a = 0; a < cls.attribute_count; ++a) {
        const Tattribute_rec& attribute = cls.attributes[a];
        line += ';';
        if (attribute.kind == ValueKind::number || attribute.kind == ValueKind::list) {
            auto integer = object_integer(get_number_value(object, a), attribute.unit);
            line += std::to_string(integer.value_or(0));
        } else {
            line += get_text_value(object, a);
        }
    }
    return line;
}

std::vector<std::string> configuration_lines() {
    const Tconfig_model& model = config_model();
    std::vector<std::string> lines;
    lines.push_back("[LISTS]");
    for (int n = 0; n < max_lists; ++n) {
        const Tlist_rec& list = model.lists[n];
        if (!list.present) continue;
        std::vector<std::string> fields{std::to_string(n), std::to_string(list.maximum)};
        for (int i = 0; i < list.item_count; ++i) fields.push_back(list.items[i].str());
        lines.push_back(join_fields(fields));
    }

    lines.push_back("[CLASSES]");
    for (int c = 0; c < model.class_count; ++c) {
        const Tclass_rec& cls = model.classes[c];
        lines.push_back("!" + cls.name.str());
        for (int a = 0; a < cls.attribute_count; ++a) {
            const Tattribute_rec& attribute = cls.attributes[a];
            std::vector<std::string> fields;
            switch (attribute.kind) {
                case ValueKind::number:
                    fields = {attribute.name.str(),
                              limit_to_text(attribute.min),
                              limit_to_text(attribute.max),
                              limit_to_text(attribute.default_value),
                              limit_to_text(attribute.increment),
                              to_instrument_unit(attribute.unit)};
                    break;
                case ValueKind::list:
                    fields = {"#" + attribute.name.str(), limit_to_text(attribute.min),
                              limit_to_text(attribute.max), limit_to_text(attribute.default_value),
                              std::to_string(attribute.list_or_mask)};
                    break;
                case ValueKind::text:
                    fields = {"&" + attribute.name.str()};
                    break;
                case ValueKind::object:
                    fields = {attribute.name.str()};
                    append_mask_classes(fields, attribute.list_or_mask);
                    break;
            }
            lines.push_back(join_fields(fields));
        }
    }

    lines.push_back("[OBJECTS]");
    for (int k = 0; k < model.object_count; ++k) lines.push_back(format_object_line(k));

    lines.push_back("[ATOMS]");
    for (int t = 0; t < model.text_atom_count; ++t) {
        const Tatom_rec& atom = model.atoms[t];
        lines.push_back("!" + atom.name.str());
        for (int p = 0; p < atom.param_count; ++p) {
            const Tatom_param_rec& param = atom.params[p];
            const std::string prefix = param.required ? "" : "?";
            const std::string unit = param.unit.str();
            std::vector<std::string> fields;
            switch (param.kind) {
                case ValueKind::number:
                    fields = {prefix + param.name.str(),
                              user_value_to_instrument(param.min, unit),
                              user_value_to_instrument(param.max, unit),
                              user_value_to_instrument(param.default_value, unit),
                              user_value_to_instrument(param.increment, unit),
                              to_instrument_unit(unit)};
                    break;
                case ValueKind::list:
                    fields = {prefix + "#" + param.name.str(), user_value_to_instrument(param.min, unit),
                              user_value_to_instrument(param.max, unit),
                              user_value_to_instrument(param.default_value, unit),
                              std::to_string(param.list_or_mask)};
                    break;
                case ValueKind::object:
                case ValueKind::text:
                    fields = {prefix + param.name.str()};
                    append_mask_classes(fields, param.list_or_mask);
                    break;
            }
            lines.push_back(join_fields(fields));
        }
    }
    return lines;
}

bool write_configuration() {
    const Tconfig_model& model = config_model();
    for (int k = 0; k < model.object_count; ++k) {
        const Tobject_rec& object = model.objects[k];
        const Tclass_rec& cls = model.classes[object.class_index];
        for (int a = 0; a < cls.attribute_count; ++a) {
            if (cls.attributes[a].kind != ValueKind::object) continue;
            std::string target = get_text_value(object, a);
            if (putils::same_text(target, "None") || find_object(target) < model.object_count) continue;
            putils::show_error(object.name.str() + " references " + target + " which does not exist!");
        }
    }
    // Replaced as a whole: the plug-in may be reading the cache, and a write that fails must
    // leave the last good one.
    const std::string path = config_file_path();
    if (const std::string why = replace_lines_file(path, configuration_lines()); !why.empty()) {
        putils::show_error("The configuration was not saved: " + path + ": " + why);
        return false;
    }
    return true;
}

}  // namespace core
