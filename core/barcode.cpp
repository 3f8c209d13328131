#include "core/barcode.h"

#include <cmath>

#include "core/config_model.h"
#include "core/config_text.h"
#include "core/expressions.h"
#include "core/framed_link.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "core/uilib.h"
#include "utilities/log.h"
#include "utilities/message_boxes.h"
#include "utilities/text.h"

namespace core {

namespace {

// The names the bar-code check and the tray type download look for in the configuration.
constexpr std::string_view tray_type_attribute = "TRAY TYPE";
constexpr std::string_view barcode_attribute = "Barcode";
constexpr std::string_view barcode_reader_item = "AutoFix";
constexpr std::string_view barcode_reader_holder = "TH-9070";
constexpr std::string_view tray_holder_class = "TRAY_HOLDER";
constexpr std::string_view tray_class = "TRAY";

// The object's index, or -1 when no object has the name.
int object_index(std::string_view name) {
    const int i = find_object(name);
    return i < config_model().object_count ? i : -1;
}

}  // namespace

std::string get_list_attribute(std::string_view object_name, std::string_view attribute_name) {
    const int i = object_index(object_name);
    if (i < 0) return {};
    const Tconfig_model& model = config_model();
    const Tobject_rec& object = model.objects[i];
    const Tclass_rec& cls = class_of(object);
    int found = -1;
    for (int a = 0; a < cls.attribute_count; ++a)
        if (putils::same_text(cls.attributes[a].name, attribute_name)) found = a;
    if (found < 0 || cls.attributes[found].kind != ValueKind::list) return {};
    const auto list = cls.attributes[found].list_or_mask;
    if (list >= std::uint32_t(max_lists)) return {};
    const Tlist_rec& items = model.lists[list];
    const double stored = get_number_value(object, found);
    if (!std::isfinite(stored)) return {};
    const long index = std::lround(stored);
    if (index < 0 || index >= items.item_count) return {};
    return items.items[index].str();
}

std::string vial_problem(std::string_view tray, std::string_view position) {
    const std::string name(tray);
    if (tray.empty()) return "the vial names no tray";
    if (!object_is_of_class(tray, tray_class)) return name + " is not a tray of the configuration";
    if (!putils::is_integer(position) || position.size() > 9)
        return "the vial position \"" + std::string(position) + "\" is not a number of a vial in " + name;
    double capacity = 0;
    if (!object_attribute_value("", "Max Index", tray, capacity) || !std::isfinite(capacity))
        return "the number of vials in " + name + " is not known";
    const long number = std::stol(std::string(position));
    const long last = std::lround(std::floor(capacity));
    if (number < 1 || number > last)
        return "vial " + std::to_string(number) + " is not in " + name + " (1 - " + std::to_string(last) +
               ")";
    return {};
}

int read_barcode(std::string_view tray, std::string_view position) {
    const std::string type = get_tray_type(tray);
    if (vial_problem(tray, position).empty() && !type.empty() &&
        putils::same_text(get_list_attribute(type, barcode_attribute), barcode_reader_item) &&
        object_is_of_class(barcode_reader_holder, tray_holder_class) &&
        queue_command("READ_BARCODE(" + std::string(tray) + "," + std::string(position) + ")")) {
        return 1;
    }
    barcode_state().state = barcode_not_read;
    uilib::on_barcode_text("Barcode not read!");
    return 0;
}

int set_tray_type(std::string_view object_name, std::string_view tray_type) {
    const int i = object_index(object_name);
    if (i < 0) return -1;
    const Tobject_rec& object = config_model().objects[i];
    const Tclass_rec& cls = class_of(object);
    for (int a = 0; a < cls.attribute_count; ++a) {
        if (!putils::same_text(cls.attributes[a].name, tray_type_attribute)) continue;
        // A name that does not fit the slot would download as another type.
        if (!set_text_value(object, a, tray_type)) return -1;
        putils::append_log("Tray type of " + std::string(object_name) + " set to " + std::string(tray_type));
        return i;
    }
    return -1;
}

bool download_tray_type(std::string_view object_name, std::string_view tray_type) {
    // A type no frame can carry is refused before the model takes it.
    if (const std::string why = frame_problem(tray_type); !why.empty()) {
        putils::show_error("Tray type " + printable_text(tray_type) + " cannot be sent: " + why);
        return false;
    }
    const std::string before = get_tray_type(object_name);
    const int i = set_tray_type(object_name, tray_type);
    if (i < 0) return false;
    if (queue_command("DLD_OBJ " + format_object_line(i))) return true;
    // The instrument never takes the line: the model keeps what it had.
    set_tray_type(object_name, before);
    return false;
}

}  // namespace core
