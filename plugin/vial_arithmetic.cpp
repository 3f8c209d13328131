#include "plugin/vial_arithmetic.h"

#include "core/config_model.h"
#include "plugin/editing.h"
#include "utilities/log.h"
#include "utilities/text.h"

namespace zorsetup {

namespace {
int type_count(std::string_view tray, std::string_view attribute) {
    return static_cast<int>(core::get_number_attribute(core::get_tray_type(tray), attribute));
}
}  // namespace

int num_vials(std::string_view tray) {
    const int n = is_tray(tray) ? type_count(tray, "Spl Per Col") * type_count(tray, "Spl Per Row") : 0;
    putils::append_log("zorsetup : num_vials - Result := " + std::to_string(n));
    return n;
}

std::string vial_tray_part(std::string_view vial) {
    const auto colon = vial.find(':');
    return colon == std::string_view::npos ? std::string() : std::string(vial.substr(0, colon));
}

int vial_position(std::string_view vial) {
    const auto colon = vial.find(':');
    const std::string_view number = colon == std::string_view::npos ? std::string_view() : vial.substr(colon + 1);
    return putils::is_integer(number) ? putils::text_to_int(number) : 0;
}

int vial_out_of_range(std::string_view vial, std::string& tray, int& number) {
    tray = vial_tray_part(vial);
    const auto colon = vial.find(':');
    number = 0;
    if (colon == std::string_view::npos || !is_tray(tray)) return 1;
    const std::string_view text = vial.substr(colon + 1);
    if (!putils::is_integer(text)) return 1;
    number = putils::text_to_int(text);
    return number > 0 && number <= num_vials(tray) ? 0 : 1;
}

int transposed_vial_index(int p, std::string_view tray) {
    const std::string type = core::get_tray_type(tray);
    if (core::get_number_attribute(type, "Row Length X") != 0) return p;
    const int c = type_count(tray, "Spl Per Col");
    const int r = type_count(tray, "Spl Per Row");
    if (r <= 0) return p;
    return (p - 1) / r + ((p - 1) % r) * c + 1;
}

}  // namespace zorsetup
