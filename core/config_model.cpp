#include "core/config_model.h"

#include <cstring>

#include "core/command_text.h"
#include "utilities/text.h"

namespace core {

namespace {

Tconfig_model& model_instance() {
    static Tconfig_model model;
    return model;
}

// The slot of attribute i of an object; the reader keeps every block inside the value area.
unsigned char* slot(const Tobject_rec& object, int attribute) {
    Tconfig_model& model = model_instance();
    const Tclass_rec& cls = model.classes[object.class_index];
    return model.value_area.data() + object.block_offset + cls.attributes[attribute].value_offset;
}

const Tattribute_rec* first_attribute(const Tclass_rec& cls, std::string_view name, int* index) {
    for (int i = 0; i < cls.attribute_count; ++i) {
        if (putils::same_text(cls.attributes[i].name, name)) {
            if (index) *index = i;
            return &cls.attributes[i];
        }
    }
    return nullptr;
}

}  // namespace

Tconfig_model& config_model() {
    return model_instance();
}

void reset_config_model() {
    // The model is large; copy a static empty one rather than build a temporary on the stack.
    static const Tconfig_model empty{};
    model_instance() = empty;
}

int find_class(std::string_view name) {
    const Tconfig_model& model = model_instance();
    int found = model.class_count;
    for (int i = 0; i < model.class_count; ++i)
        if (putils::same_text(model.classes[i].name, name)) found = i;
    return found;
}

int find_object(std::string_view name) {
    const Tconfig_model& model = model_instance();
    int found = model.object_count;
    for (int i = 0; i < model.object_count; ++i)
        if (putils::same_text(model.objects[i].name, name)) found = i;
    return found;
}

int find_atom(std::string_view name) {
    const Tconfig_model& model = model_instance();
    int found = model.atom_count;
    for (int i = 0; i < model.atom_count; ++i)
        if (putils::same_text(model.atoms[i].name, name)) found = i;
    return found;
}

int find_list_item(std::int64_t list_number, std::string_view item) {
    if (list_number < 0 || list_number >= max_lists) return -1;
    const Tlist_rec& list = model_instance().lists[list_number];
    int found = -1;
    for (int i = 0; i < list.item_count; ++i)
        if (putils::same_text(list.items[i], item)) found = i;
    return found;
}

std::uint32_t class_bit(std::string_view class_name) {
    const Tconfig_model& model = model_instance();
    for (int i = 0; i < model.class_count; ++i)
        if (putils::same_text(model.classes[i].name, class_name)) return std::uint32_t{1} << i;
    return 0;
}

std::uint32_t sync_signal_class_bit() {
    return class_bit("SYNC_SIGNAL");
}
std::uint32_t out_signal_class_bit() {
    return class_bit("OUT_SIGNAL");
}

bool bit_in_mask(std::int32_t bit, std::uint32_t mask) {
    return (mask >> (bit & 31)) & 1u;
}

bool object_class_in_mask(int object_index, std::uint32_t mask) {
    const Tconfig_model& model = model_instance();
    if (object_index < 0 || object_index >= model.object_count) return false;
    return bit_in_mask(model.objects[object_index].class_index, mask);
}

std::string object_class_name(std::string_view object_name) {
    const Tobject_rec* object = object_record_by_name(object_name);
    return object ? class_of(*object).name.str() : std::string();
}

bool object_is_of_class(std::string_view object_name, std::string_view class_name) {
    return putils::same_text(object_class_name(object_name), class_name);
}

bool is_tray_holder(std::string_view object_name) {
    return object_is_of_class(object_name, "TRAY_HOLDER");
}

std::string get_text_attribute(std::string_view object_name, std::string_view attribute_name) {
    const Tobject_rec* object = object_record_by_name(object_name);
    if (!object) return {};
    int index = 0;
    const Tattribute_rec* attribute = first_attribute(class_of(*object), attribute_name, &index);
    if (!attribute || (attribute->kind != ValueKind::text && attribute->kind != ValueKind::object)) return {};
    return get_text_value(*object, index);
}

double get_number_attribute(std::string_view object_name, std::string_view attribute_name) {
    const Tobject_rec* object = object_record_by_name(object_name);
    if (!object) return 0;
    int index = 0;
    const Tattribute_rec* attribute = first_attribute(class_of(*object), attribute_name, &index);
    if (!attribute || (attribute->kind != ValueKind::number && attribute->kind != ValueKind::list)) return 0;
    return get_number_value(*object, index);
}

std::string get_tray_type(std::string_view object_name) {
    return get_text_attribute(object_name, "Tray Type");
}

const Tobject_rec* object_record_by_name(std::string_view object_name) {
    const Tconfig_model& model = model_instance();
    int index = find_object(object_name);
    return index < model.object_count ? &model.objects[index] : nullptr;
}

bool is_atom_line(std::string_view line) {
    return find_atom(command_name(line)) < model_instance().atom_count;
}

double get_number_value(const Tobject_rec& object, int attribute) {
    double value = 0;
    std::memcpy(&value, slot(object, attribute), sizeof value);
    return value;
}

void set_number_value(const Tobject_rec& object, int attribute, double value) {
    std::memcpy(slot(object, attribute), &value, sizeof value);
}

std::string get_text_value(const Tobject_rec& object, int attribute) {
    const char* text = reinterpret_cast<const char*>(slot(object, attribute));
    return std::string(text, strnlen(text, text_slot_width));
}

bool set_text_value(const Tobject_rec& object, int attribute, std::string_view text) {
    // Only a text or reference slot holds a text; a number's slot is smaller, and the text
    // would run into the next values.
    const Tclass_rec& cls = class_of(object);
    if (attribute < 0 || attribute >= cls.attribute_count) return false;
    const ValueKind kind = cls.attributes[attribute].kind;
    if (kind != ValueKind::text && kind != ValueKind::object) return false;
    if (text.size() > std::size_t(text_slot_width)) return false;
    unsigned char* target = slot(object, attribute);
    std::memset(target, 0, text_slot_size);
    if (!text.empty()) std::memcpy(target, text.data(), text.size());
    return true;
}

const Tclass_rec& class_of(const Tobject_rec& object) {
    return model_instance().classes[object.class_index];
}

}  // namespace core
