#include "tools/zorsim/config_text.h"

#include <array>

#include "tools/zorsim/limit_expression.h"
#include "tools/zorsim/text_rules.h"

namespace zorsim {
namespace {

// The host's fixed tables; a text that needs more is refused there.
constexpr int max_lists = 100;
constexpr std::size_t max_list_items = 40;
constexpr std::size_t max_classes = 32;
constexpr std::size_t max_attributes = 24;
constexpr std::size_t max_objects = 200;
constexpr std::size_t max_value_area = 40000;
constexpr std::size_t max_atoms_from_text = 51;  // 60 with the 9 the host adds itself
constexpr std::size_t max_params = 40;
constexpr std::size_t max_fields = 41;
constexpr std::size_t name_width = 24;         // lists items, classes, objects, atoms
constexpr std::size_t member_name_width = 20;  // attributes and parameters
constexpr std::size_t unit_width = 4;
constexpr std::size_t text_value_width = 19;
constexpr std::size_t limit_width = 42;

constexpr std::array<std::string_view, 4> headers = {"[LISTS]", "[CLASSES]", "[OBJECTS]", "[ATOMS]"};

// The atoms the host carries out itself; one in the text is hidden by them.
constexpr std::array<std::string_view, 9> built_in_atoms = {
    "INC_INDEX",      "DEC_INDEX",      "REPEAT",           "END",         "WAIT_FOR_DS",
    "INC_USER_INDEX", "DEC_USER_INDEX", "RESET_USER_INDEX", "SET_INJECTED"};

std::string strip_cr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return std::string(line);
}

struct Section {
    std::size_t begin = 0;  // first record line
    std::size_t end = 0;    // one past the last
};

class Reader {
  public:
    Reader(const std::vector<std::string>& lines, std::vector<std::string>& problems)
        : lines_(lines), problems_(problems) {}

    void problem(std::size_t line, const std::string& text) {
        problems_.push_back("line " + std::to_string(line + 1) + ": " + text);
    }
    void problem(const std::string& text) { problems_.push_back(text); }

    // Splits one record, noting what the host would refuse in any line.
    std::vector<std::string> fields(std::size_t i) {
        auto f = split_fields(lines_[i]);
        if (f.size() > max_fields) problem(i, "more than 41 fields");
        return f;
    }

    void check_width(std::size_t i, std::string_view what, const std::string& name, std::size_t width) {
        if (name.size() > width) {
            problem(i, std::string(what) + " \"" + name + "\" is longer than " + std::to_string(width) +
                           " characters and would be cut");
        }
    }

    bool find_sections(std::array<Section, 4>& sections) {
        std::array<std::size_t, 4> at{};
        std::array<bool, 4> found{};
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (lines_[i].empty() || lines_[i][0] != '[') continue;
            for (std::size_t k = 0; k < headers.size(); ++k) {
                if (!same_text(lines_[i], headers[k])) continue;
                if (found[k])
                    problem(i, std::string(headers[k]) + " appears again; the earlier one is ignored");
                found[k] = true;
                at[k] = i;
            }
        }
        bool ok = true;
        for (std::size_t k = 0; k < headers.size(); ++k) {
            if (!found[k]) {
                problem("the header " + std::string(headers[k]) + " is missing");
                ok = false;
            }
        }
        if (!ok) return false;
        for (std::size_t k = 1; k < headers.size(); ++k) {
            if (at[k] < at[k - 1]) {
                problem(at[k], std::string(headers[k]) + " stands before " + std::string(headers[k - 1]) +
                                   "; the sections must come in the order LISTS, CLASSES, OBJECTS, ATOMS");
                return false;
            }
        }
        if (at[0] > 0) problem(0, "lines before [LISTS] belong to no section and are ignored");
        for (std::size_t k = 0; k < headers.size(); ++k) {
            sections[k].begin = at[k] + 1;
            sections[k].end = k + 1 < headers.size() ? at[k + 1] : lines_.size();
            for (std::size_t i = sections[k].begin; i < sections[k].end; ++i) {
                if (lines_[i].empty() || lines_[i].find_first_not_of(' ') == std::string::npos) {
                    problem(i, "blank line inside " + std::string(headers[k]) +
                                   " (the host reads it as a record)");
                }
            }
        }
        return true;
    }

  private:
    const std::vector<std::string>& lines_;
    std::vector<std::string>& problems_;
};

bool is_blank(const std::string& line) {
    return line.find_first_not_of(' ') == std::string::npos;
}

std::size_t slot_size(ValueKind kind) {
    return (kind == ValueKind::number || kind == ValueKind::list) ? 8 : 20;
}

}  // namespace

ConfigText ConfigText::from_text(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            lines.push_back(strip_cr(text.substr(pos)));
            break;
        }
        lines.push_back(strip_cr(text.substr(pos, end - pos)));
        pos = end + 1;
    }
    return from_lines(std::move(lines));
}

ConfigText ConfigText::from_lines(std::vector<std::string> lines) {
    ConfigText config;
    config.lines_ = std::move(lines);
    config.read();
    return config;
}

const ListDef* ConfigText::find_list(int number) const {
    const ListDef* found = nullptr;
    for (const auto& l : lists_) {
        if (l.number == number) found = &l;
    }
    return found;
}

const ClassDef* ConfigText::find_class(std::string_view name) const {
    const ClassDef* found = nullptr;
    for (const auto& c : classes_) {
        if (same_text(c.name, name)) found = &c;
    }
    return found;
}

const ObjectDef* ConfigText::find_object(std::string_view name) const {
    const ObjectDef* found = nullptr;
    for (const auto& o : objects_) {
        if (same_text(o.name, name)) found = &o;
    }
    return found;
}

const AtomDef* ConfigText::find_atom(std::string_view name) const {
    for (auto b : built_in_atoms) {
        if (same_text(b, name)) return nullptr;
    }
    const AtomDef* found = nullptr;
    for (const auto& a : atoms_) {
        if (same_text(a.name, name)) found = &a;
    }
    return found;
}

std::vector<std::string> ConfigText::object_names_of_class(std::string_view class_name) const {
    std::vector<std::string> names;
    for (const auto& o : objects_) {
        if (same_text(o.class_name, class_name)) names.push_back(o.name);
    }
    return names;
}

void ConfigText::read() {
    problems_.clear();
    lists_.clear();
    classes_.clear();
    objects_.clear();
    atoms_.clear();
    objects_end_ = 0;

    Reader r(lines_, problems_);
    std::array<Section, 4> sec;
    if (!r.find_sections(sec)) return;
    objects_end_ = sec[2].end;

    // Lists: number;maximum;item;item;... with the items up to the first empty field.
    for (std::size_t i = sec[0].begin; i < sec[0].end; ++i) {
        if (is_blank(lines_[i])) continue;
        const auto f = r.fields(i);
        if (!is_integer_text(f[0])) {
            r.problem(i, "list number \"" + f[0] + "\" is not an integer");
            continue;
        }
        ListDef list;
        list.number = integer_value(f[0]);
        if (list.number < 0 || list.number >= max_lists) {
            r.problem(i, "list number " + f[0] + " is outside 0..99");
            continue;
        }
        if (f.size() < 2 || !is_integer_text(f[1]) || integer_value(f[1]) < 0) {
            r.problem(i, "list " + f[0] + " needs a maximum of 0 or more as its second field");
            continue;
        }
        list.maximum = integer_value(f[1]);
        for (std::size_t k = 2; k < f.size() && !f[k].empty(); ++k) {
            r.check_width(i, "list item", f[k], name_width);
            list.items.push_back(f[k]);
        }
        if (list.items.size() > max_list_items) r.problem(i, "more than 40 items");
        if (find_list(list.number) != nullptr) r.problem(i, "list " + f[0] + " is defined again");
        lists_.push_back(std::move(list));
    }

    // Classes, first their names (a reference may name a class defined further down).
    for (std::size_t i = sec[1].begin; i < sec[1].end; ++i) {
        if (lines_[i].empty() || lines_[i][0] != '!') continue;
        ClassDef cls;
        cls.name = split_fields(lines_[i])[0].substr(1);
        r.check_width(i, "class name", cls.name, name_width);
        classes_.push_back(std::move(cls));
    }
    if (classes_.size() > max_classes) r.problem("more than 32 classes");
    if (find_class("SYRINGE") == nullptr) r.problem("there is no class SYRINGE (the host refuses the text)");

    // Then their attributes.
    {
        ClassDef* current = nullptr;
        std::size_t next = 0;
        for (std::size_t i = sec[1].begin; i < sec[1].end; ++i) {
            if (is_blank(lines_[i])) continue;
            if (lines_[i][0] == '!') {
                current = &classes_[next++];
                continue;
            }
            if (current == nullptr) {
                r.problem(i, "attribute line before the first class (\"!NAME\") line");
                continue;
            }
            const auto f = r.fields(i);
            AttributeDef a;
            const std::string context = current->name + ":" + f[0];
            auto real_field = [&](std::size_t k, const char* what) {
                if (k >= f.size() || !is_real_text(f[k])) {
                    r.problem(i, context + " " + what + " is not a real number");
                    return 0.0;
                }
                return real_value(f[k]);
            };
            if (f[0].starts_with('#')) {
                a.kind = ValueKind::list;
                a.name = f[0].substr(1);
                a.min = real_field(1, "min");
                a.max = real_field(2, "max");
                real_field(3, "default");
                if (f.size() < 5 || !is_integer_text(f[4])) {
                    r.problem(i, context + " list number is not an integer");
                } else {
                    a.list = integer_value(f[4]);
                    if (find_list(a.list) == nullptr)
                        r.problem(i, context + " uses list " + f[4] + ", which is not defined");
                }
            } else if (f[0].starts_with('&')) {
                a.kind = ValueKind::text;
                a.name = f[0].substr(1);
            } else if (f.size() > 1 && find_class(f[1]) != nullptr) {
                a.kind = ValueKind::reference;
                a.name = f[0];
                for (std::size_t k = 1; k < f.size() && !f[k].empty(); ++k) {
                    if (find_class(f[k]) == nullptr) {
                        r.problem(i, f[k] + " in class " + current->name + " is not a class");
                    } else {
                        a.classes.push_back(f[k]);
                    }
                }
            } else {
                a.kind = ValueKind::number;
                a.name = f[0];
                a.min = real_field(1, "min");
                a.max = real_field(2, "max");
                real_field(3, "default");
                real_field(4, "increment");
                const std::string unit = f.size() > 5 ? f[5] : "";
                r.check_width(i, "unit", unit, unit_width);
                a.unit = to_user_unit(unit);
            }
            r.check_width(i, "attribute name", a.name, member_name_width);
            current->attributes.push_back(std::move(a));
            if (current->attributes.size() == max_attributes + 1)
                r.problem(i, "class " + current->name + " has more than 24 attributes");
        }
    }

    // Objects: CLASS;name;one value per attribute.
    std::size_t value_area = 0;
    for (std::size_t i = sec[2].begin; i < sec[2].end; ++i) {
        if (is_blank(lines_[i])) continue;
        const auto f = r.fields(i);
        const ClassDef* cls = find_class(f[0]);
        if (cls == nullptr) {
            r.problem(i, f[0] + " is not a known class");
            continue;
        }
        if (f.size() < 2 || f[1].empty()) {
            r.problem(i, "an object of class " + f[0] + " must have a name");
            continue;
        }
        ObjectDef o;
        o.class_name = cls->name;
        o.name = f[1];
        r.check_width(i, "object name", o.name, name_width);
        for (std::size_t k = 0; k < cls->attributes.size(); ++k) {
            const auto& a = cls->attributes[k];
            const std::string v = k + 2 < f.size() ? f[k + 2] : "";
            const std::string context = o.name + ":" + a.name;
            if (a.kind == ValueKind::number && !same_text(v, "Off") && !is_real_text(v)) {
                r.problem(i, context + " value \"" + v + "\" is not a real number or Off");
            } else if (a.kind == ValueKind::list && !is_real_text(v)) {
                r.problem(i, context + " value \"" + v + "\" is not an item index");
            } else if (a.kind == ValueKind::text || a.kind == ValueKind::reference) {
                if (v.size() > text_value_width)
                    r.problem(i, context + " value is longer than 19 characters");
            }
            if (a.kind == ValueKind::number && is_real_text(v) &&
                (real_value(v) < a.min || real_value(v) > a.max)) {
                r.problem(i, context + " value " + v + " is outside the class limits");
            }
            if (a.kind == ValueKind::list && is_real_text(v)) {
                const ListDef* list = find_list(a.list);
                if (list != nullptr &&
                    (real_value(v) < 0 || real_value(v) >= static_cast<double>(list->items.size()))) {
                    r.problem(i,
                              context + " value " + v + " is not an item of list " + std::to_string(a.list));
                }
            }
            o.values.push_back(v);
            value_area += slot_size(a.kind);
        }
        if (f.size() > cls->attributes.size() + 2) {
            r.problem(i, o.name + " has more values than class " + cls->name + " has attributes");
        }
        objects_.push_back(std::move(o));
    }
    if (objects_.size() > max_objects) r.problem("more than 200 objects");
    if (value_area > max_value_area) r.problem("the objects need more than 40000 bytes of values");
    // References must name an object of an allowed class, or "None".
    for (std::size_t i = sec[2].begin; i < sec[2].end; ++i) {
        if (is_blank(lines_[i])) continue;
        const auto f = split_fields(lines_[i]);
        const ClassDef* cls = find_class(f[0]);
        if (cls == nullptr || f.size() < 2) continue;
        for (std::size_t k = 0; k < cls->attributes.size(); ++k) {
            const auto& a = cls->attributes[k];
            if (a.kind != ValueKind::reference || k + 2 >= f.size() || same_text(f[k + 2], "None")) continue;
            const ObjectDef* target = find_object(f[k + 2]);
            bool allowed = false;
            for (const auto& c : a.classes) allowed = allowed || (target && same_text(c, target->class_name));
            if (target == nullptr) {
                r.problem(i, f[1] + " references " + f[k + 2] + " which does not exist");
            } else if (!allowed) {
                r.problem(i, f[1] + ":" + a.name + " references " + f[k + 2] + " of class " +
                                 target->class_name + ", which the attribute does not allow");
            }
        }
    }

    // Atoms: "!NAME", then one line per parameter in command order.
    for (std::size_t i = sec[3].begin; i < sec[3].end; ++i) {
        if (is_blank(lines_[i])) continue;
        const auto f = r.fields(i);
        if (f[0].starts_with('!')) {
            AtomDef atom;
            atom.name = f[0].substr(1);
            r.check_width(i, "atom name", atom.name, name_width);
            for (auto b : built_in_atoms) {
                if (same_text(b, atom.name))
                    r.problem(i, "atom " + atom.name + " is hidden by the host's own atom of that name");
            }
            atoms_.push_back(std::move(atom));
            continue;
        }
        if (atoms_.empty()) {
            r.problem(i, "parameter line before the first atom (\"!NAME\") line");
            continue;
        }
        AtomDef& atom = atoms_.back();
        ParamDef p;
        std::string name = f[0];
        if (name.starts_with('?')) {
            p.required = false;
            name.erase(0, 1);
        }
        if (name.starts_with('#')) {
            p.kind = ValueKind::list;
            name.erase(0, 1);
        } else if (f.size() > 1 && find_class(f[1]) != nullptr) {
            p.kind = ValueKind::reference;
        } else {
            p.kind = ValueKind::number;
            const std::string unit = f.size() > 5 ? f[5] : "";
            r.check_width(i, "unit", unit, unit_width);
            p.unit = to_user_unit(unit);
        }
        p.name = name;
        r.check_width(i, "parameter name", p.name, member_name_width);
        if (p.kind == ValueKind::reference) {
            for (std::size_t k = 1; k < f.size() && !f[k].empty(); ++k) {
                if (find_class(f[k]) == nullptr) {
                    r.problem(i, f[k] + " in " + atom.name + ":" + p.name + " is not a class");
                } else {
                    p.classes.push_back(f[k]);
                }
            }
        } else {
            auto field = [&](std::size_t k) { return k < f.size() ? f[k] : std::string(); };
            p.min = field(1);
            p.max = field(2);
            p.def = field(3);
            if (p.kind == ValueKind::list) {
                if (!is_integer_text(field(4))) {
                    r.problem(i, atom.name + ":" + p.name + " list number is not an integer");
                } else {
                    p.list = integer_value(field(4));
                    if (find_list(p.list) == nullptr)
                        r.problem(i, atom.name + ":" + p.name + " uses list " + field(4) +
                                         ", which is not defined");
                }
            } else {
                p.increment = field(4);
            }
        }
        atom.params.push_back(std::move(p));
        if (atom.params.size() == max_params + 1)
            r.problem(i, "atom " + atom.name + " has more than 40 parameters");
    }
    if (atoms_.size() > max_atoms_from_text) r.problem("more than 51 atoms");
    // Limits are checked once every atom is known: they may name the atom's object parameters.
    for (const auto& atom : atoms_) {
        for (const auto& p : atom.params) {
            if (p.kind == ValueKind::reference) continue;
            const std::string context = atom.name + ":" + p.name;
            std::vector<std::pair<const char*, const std::string*>> limits = {
                {"min", &p.min}, {"max", &p.max}, {"default", &p.def}};
            if (p.kind == ValueKind::number) limits.emplace_back("increment", &p.increment);
            for (const auto& [what, text] : limits) {
                if (text->size() > limit_width)
                    problems_.push_back(context + " " + what + " is longer than 42 characters");
                if (!is_limit_expression(*this, atom, *text, p.unit)) {
                    problems_.push_back(context + " " + what + " \"" + *text +
                                        "\" is not a valid expression" +
                                        (p.unit.empty() ? std::string() : " in " + p.unit));
                }
            }
        }
    }
    // The lines travel in one reply frame, which has no escapes.
    std::size_t payload = 1;  // the final "|"
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        payload += lines_[i].size() + 1;
        for (char c : lines_[i]) {
            if (c == 0x03 || c == 0x11 || c == 0x13) {
                r.problem(i, "holds a control byte (ETX, XON or XOFF) that cannot travel in a frame");
                break;
            }
            if (c == '~' || c == 0x7F) {
                r.problem(i, "holds a byte that the host turns into another character (0x7E or 0x7F)");
                break;
            }
        }
    }
    if (payload > 0xFFFF)
        problems_.push_back("the text is longer than one reply frame can carry (65535 bytes)");
}

std::string ConfigText::download_object(std::string_view line) {
    const auto f = split_fields(line);
    const ClassDef* cls = find_class(f[0]);
    if (cls == nullptr) return f[0] + " is not a known class";
    if (f.size() < 2 || f[1].empty()) return "the object has no name";
    if (f.size() - 2 < cls->attributes.size()) {
        return "class " + cls->name + " has " + std::to_string(cls->attributes.size()) +
               " attributes, the line gives " + std::to_string(f.size() - 2) + " values";
    }
    for (std::size_t k = 0; k < cls->attributes.size(); ++k) {
        const auto& a = cls->attributes[k];
        const std::string& v = f[k + 2];
        if ((a.kind == ValueKind::number && !same_text(v, "Off") && !is_real_text(v)) ||
            (a.kind == ValueKind::list && !is_real_text(v))) {
            return cls->name + ":" + a.name + " value \"" + v + "\" is not a number";
        }
        if (a.kind == ValueKind::reference && !same_text(v, "None") && find_object(v) == nullptr) {
            return cls->name + ":" + a.name + " names " + v + ", which is not an object";
        }
    }
    const ObjectDef* existing = find_object(f[1]);
    if (existing != nullptr && !same_text(existing->class_name, cls->name)) {
        return f[1] + " is an object of class " + existing->class_name + ", not " + cls->name;
    }
    std::vector<std::string> lines = lines_;
    bool replaced = false;
    if (existing != nullptr) {
        for (std::size_t i = objects_end_; i-- > 0;) {
            const auto g = split_fields(lines[i]);
            if (g.size() > 1 && same_text(g[0], cls->name) && same_text(g[1], f[1])) {
                lines[i] = std::string(line);
                replaced = true;
                break;
            }
            if (same_text(lines[i], "[OBJECTS]")) break;
        }
    }
    if (!replaced) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(objects_end_), std::string(line));
    lines_ = std::move(lines);
    read();
    return {};
}

}  // namespace zorsim
