#include "tools/zorsim/limit_expression.h"

#include <string>

#include "tools/zorsim/config_text.h"
#include "tools/zorsim/text_rules.h"

namespace zorsim {
namespace {

const std::string ul = "\xB5l";
const std::string ul_per_s = "\xB5l/s";

bool is_operator(char c) {
    return c == '(' || c == ')' || c == '*' || c == '+' || c == '-' || c == '/';
}

// Blanks next to an operator and at both ends go; blanks between words stay.
std::string remove_blanks(std::string_view t) {
    std::string out;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] != ' ') {
            out += t[i];
            continue;
        }
        if (i == 0 || i + 1 == t.size()) continue;
        if (is_operator(t[i - 1]) || is_operator(t[i + 1])) continue;
        out += t[i];
    }
    return out;
}

bool attribute_with_unit_exists(const ConfigText& config, std::string_view name, std::string_view unit) {
    if (same_text(name, "Max Index")) return unit.empty();
    for (const auto& cls : config.classes()) {
        for (const auto& a : cls.attributes) {
            if (same_text(a.name, name) && a.kind == ValueKind::number && same_text(a.unit, unit))
                return true;
        }
    }
    return false;
}

class Checker {
  public:
    Checker(const ConfigText& config, const AtomDef& atom) : config_(config), atom_(atom) {}

    bool valid(std::string_view text, std::string_view unit, bool empty_allowed) const {
        const std::string t = remove_blanks(text);
        if (t.empty()) return empty_allowed;
        if (is_real_text(t)) return true;
        if (same_text(unit, "s") && is_time_text(t)) return true;
        if (unit.empty() && (same_text(t, "Repeat Count") || same_text(t, "SL.index") ||
                             same_text(t, "SL.injpervial") || same_text(t, "user_index")))
            return true;
        if (same_text(unit, ul) && (same_text(t, "SL.volume") || same_text(t, "SL.volume2"))) return true;
        if (syringe_reference(t, unit)) return true;
        if (object_attribute_reference(t, unit)) return true;
        if (t[0] == '-') return valid(std::string_view(t).substr(1), unit, false);
        if (t.front() == '(' && t.back() == ')')
            return valid(std::string_view(t).substr(1, t.size() - 2), unit, false);
        if (t.size() < 3) return false;
        const std::string_view v(t);
        for (std::size_t p = 1; p + 1 < v.size(); ++p) {
            const auto left = v.substr(0, p);
            const auto right = v.substr(p + 1);
            switch (v[p]) {
                case '+':
                case '-':
                    if (valid(left, unit, false) && valid(right, unit, false)) return true;
                    break;
                case '*':
                    if (valid(left, unit, false) && valid(right, "", false)) return true;
                    if (valid(left, "", false) && valid(right, unit, false)) return true;
                    if (same_text(unit, ul) && valid(left, ul_per_s, false) && valid(right, "s", false))
                        return true;
                    if (same_text(unit, ul) && valid(left, "s", false) && valid(right, ul_per_s, false))
                        return true;
                    break;
                case '/':
                    if (valid(left, unit, false) && valid(right, "", false)) return true;
                    if (same_text(unit, ul_per_s) && valid(left, ul, false) && valid(right, "s", false))
                        return true;
                    break;
                default:
                    break;
            }
        }
        return false;
    }

  private:
    bool syringe_reference(std::string_view t, std::string_view unit) const {
        const auto dot = t.find('.');
        if (dot == std::string_view::npos || !same_text(t.substr(0, dot), "SYR")) return false;
        const ClassDef* syringe = config_.find_class("SYRINGE");
        if (syringe == nullptr) return false;
        for (const auto& a : syringe->attributes) {
            if (a.kind == ValueKind::number && same_text(a.name, t.substr(dot + 1)) &&
                same_text(a.unit, unit))
                return true;
        }
        return false;
    }

    bool object_attribute_reference(std::string_view t, std::string_view unit) const {
        const auto dot = t.find('.');
        if (dot == std::string_view::npos) return false;
        bool is_param = false;
        for (const auto& p : atom_.params) {
            if (p.kind == ValueKind::reference && same_text(p.name, t.substr(0, dot))) is_param = true;
        }
        return is_param && attribute_with_unit_exists(config_, t.substr(dot + 1), unit);
    }

    const ConfigText& config_;
    const AtomDef& atom_;
};

}  // namespace

bool is_limit_expression(const ConfigText& config, const AtomDef& atom, std::string_view text,
                         std::string_view unit) {
    return Checker(config, atom).valid(text, unit, false);
}

}  // namespace zorsim
