#include "plugin/vial_arithmetic.h"

#include <cmath>
#include <limits>

#include "core/config_model.h"
#include "plugin/editing.h"
#include "plugin/host_interfaces.h"
#include "utilities/log.h"
#include "utilities/text.h"

namespace zorsetup {

std::int64_t tray_type_count(std::string_view tray, std::string_view attribute) {
    const double v = core::get_number_attribute(core::get_tray_type(tray), attribute);
    constexpr double most = std::numeric_limits<std::int32_t>::max();
    if (!(v > 0)) return 0;
    return static_cast<std::int64_t>(std::trunc(std::min(v, most)));
}

std::int64_t num_vials(std::string_view tray) {
    const std::int64_t n =
        is_tray(tray) ? tray_type_count(tray, "Spl Per Col") * tray_type_count(tray, "Spl Per Row") : 0;
    putils::append_log("zorsetup : num_vials - Result := " + std::to_string(n));
    return n;
}

std::string vial_tray_part(std::string_view vial) {
    const auto colon = vial.find(':');
    return colon == std::string_view::npos ? std::string() : std::string(vial.substr(0, colon));
}

int vial_position(std::string_view vial) {
    const auto colon = vial.find(':');
    const std::string_view number =
        colon == std::string_view::npos ? std::string_view() : vial.substr(colon + 1);
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

std::int64_t transposed_vial_index(int p, std::string_view tray) {
    const std::string type = core::get_tray_type(tray);
    if (core::get_number_attribute(type, "Row Length X") != 0) return p;
    const std::int64_t c = tray_type_count(tray, "Spl Per Col");
    const std::int64_t r = tray_type_count(tray, "Spl Per Row");
    if (r <= 0) return p;
    const std::int64_t q = static_cast<std::int64_t>(p) - 1;
    return q / r + (q % r) * c + 1;
}

std::int32_t check_vial(std::string_view tray, std::int64_t position, std::int32_t acquisition,
                        std::string& other_tray) {
    if (is_tray(tray)) return (position <= 0 || position > num_vials(tray)) ? 1 : 0;
    if (acquisition == 0) return result_unknown_tray;
    other_tray = tray;
    return 1;
}

std::string next_vial(std::string_view current, std::string_view tray) {
    if (current.empty()) return std::string(tray) + ":1";
    const std::int64_t m = std::int64_t{vial_position(current)} + 1;
    if (m > 0 && m <= num_vials(tray)) return std::string(tray) + ":" + std::to_string(m);
    return {};
}

std::string next_tray(std::string_view current) {
    if (current.empty()) return nth_tray_name(0);
    const int k = tray_number(current);
    if (k != -1 && k < tray_count()) return nth_tray_name(k);
    return {};
}

void tray_columns_and_rows(std::string_view tray, std::int32_t& columns, std::int32_t& rows) {
    const std::string type = core::get_tray_type(tray);
    const double rx = core::get_number_attribute(type, "Row Length X");
    const double ry = core::get_number_attribute(type, "Row Length Y");
    const double cx = core::get_number_attribute(type, "Col Length X");
    const double cy = core::get_number_attribute(type, "Col Length Y");
    // At most 32 bits each (tray_type_count), as the host's integers.
    const auto spr = static_cast<std::int32_t>(tray_type_count(tray, "Spl Per Row"));
    const auto spc = static_cast<std::int32_t>(tray_type_count(tray, "Spl Per Col"));
    const bool turned = rx == 0 && (std::abs(ry) < std::abs(cx) || std::abs(rx) < std::abs(cy));
    columns = turned ? spc : spr;
    rows = turned ? spr : spc;
}

std::int64_t vial_index_over_trays(int tray_number, std::int64_t vial_index) {
    std::int64_t total = vial_index;
    for (int k = 0; k + 1 < tray_number; ++k) total += num_vials(nth_tray_name(k));
    return total;
}

}  // namespace zorsetup
