// The configuration model: what the instrument reports about itself.
//
// Lists of texts, classes of hardware with typed attributes, objects with a value for every
// attribute of their class, and atoms (the instrument's primitive commands) with typed
// parameters. One model per process, of fixed size: nothing is allocated while it is filled.
// Only the configuration reader (config_text.h) fills it; apart from the reader only the tray
// type of an object is ever changed (set_text_value).
//
// Names are compared with same_text. Searches by name return the LAST match, or the table's count
// (-1 for list items) when nothing matches; class_bit and the attribute lookups by name take the
// FIRST match. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// Limits of the model.
inline constexpr int max_lists = 100;
inline constexpr int max_list_items = 40;
inline constexpr int max_classes = 32;  // one bit each in a 32-bit class mask
inline constexpr int max_attributes = 24;
inline constexpr int max_objects = 200;
inline constexpr int value_area_size = 40000;
inline constexpr int max_atoms = 60;
inline constexpr int builtin_atom_count = 9;
inline constexpr int max_text_atoms = max_atoms - builtin_atom_count;
inline constexpr int max_atom_params = 40;

// Widths of the model's short texts.
inline constexpr int list_item_width = 24;
inline constexpr int name_width = 24;         // classes, objects, atoms
inline constexpr int member_name_width = 20;  // attributes and parameters
inline constexpr int limit_width = 42;        // atom parameter limit texts
inline constexpr int unit_width = 4;
// A text or object-reference slot holds 19 characters and its terminating zero.
inline constexpr int text_slot_width = 19;
inline constexpr int number_slot_size = 8;
inline constexpr int text_slot_size = 20;

// A text of at most N characters, held in place; a longer text is cut to N when stored.
template <int N>
class ShortText {
  public:
    ShortText() = default;
    ShortText(std::string_view text) { assign(text); }  // NOLINT: texts convert freely
    void assign(std::string_view text) {
        size_ = static_cast<std::uint8_t>(text.size() < std::size_t(N) ? text.size() : std::size_t(N));
        for (int i = 0; i < size_; ++i) data_[i] = text[i];
    }
    ShortText& operator=(std::string_view text) {
        assign(text);
        return *this;
    }
    std::string_view view() const { return {data_.data(), size_}; }
    operator std::string_view() const { return view(); }  // NOLINT
    std::string str() const { return std::string(view()); }
    bool empty() const { return size_ == 0; }
    static constexpr int width = N;

  private:
    std::array<char, N> data_{};
    std::uint8_t size_ = 0;
};

// Kinds of attributes and parameters (atoms have no text parameters).
enum class ValueKind : std::uint8_t { number = 0, list = 1, text = 2, object = 3 };

struct Tlist_rec {
    std::array<ShortText<list_item_width>, max_list_items> items{};
    std::int32_t item_count = 0;
    // The second field of the list's line: kept and written back, not interpreted.
    std::int32_t maximum = 0;
    // The slot was read from the text (the writer writes exactly the slots that were read).
    bool present = false;
};

struct Tattribute_rec {
    ShortText<member_name_width> name;
    ValueKind kind = ValueKind::number;
    // Number and list kinds, as the configuration text has them (instrument units).
    double min = 0;
    double max = 0;
    double increment = 0;
    double default_value = 0;
    ShortText<unit_width> unit;  // number kind: the user unit, "" for a plain number
    // List kind: the list number. Object reference: bit n set = an object of class n may be
    // referenced.
    std::uint32_t list_or_mask = 0;
    std::int32_t value_offset = 0;  // of this attribute's slot inside an object's value block
};

struct Tclass_rec {
    ShortText<name_width> name;
    std::int32_t attribute_count = 0;
    std::array<Tattribute_rec, max_attributes> attributes{};
    std::int32_t block_size = 0;  // bytes of the value block of one object of this class
};

struct Tobject_rec {
    ShortText<name_width> name;
    std::int32_t class_index = 0;
    std::int32_t block_offset = 0;  // where its value block starts in the value area
};

struct Tatom_param_rec {
    ShortText<member_name_width> name;
    ValueKind kind = ValueKind::number;
    // Expression texts in the parameter's user unit (number and list kinds).
    ShortText<limit_width> min;
    ShortText<limit_width> max;
    ShortText<limit_width> increment;
    ShortText<limit_width> default_value;
    ShortText<unit_width> unit;
    std::uint32_t list_or_mask = 0;  // list kind: list number; object kind: class mask
    // The parameter's line had no "?": every command line must give it a value.
    bool required = true;
};

struct Tatom_rec {
    ShortText<name_width> name;
    std::int32_t param_count = 0;
    std::array<Tatom_param_rec, max_atom_params> params{};
};

struct Tconfig_model {
    std::int32_t list_count = 0;
    std::int32_t class_count = 0;
    std::int32_t object_count = 0;
    std::int32_t atom_count = 0;  // built-in atoms included
    // Atoms read from the text (the first ones); the writer writes only these.
    std::int32_t text_atom_count = 0;
    std::int32_t value_area_used = 0;
    std::array<unsigned char, value_area_size> value_area{};
    std::array<Tlist_rec, max_lists> lists{};
    std::array<Tclass_rec, max_classes> classes{};
    std::array<Tobject_rec, max_objects> objects{};
    std::array<Tatom_rec, max_atoms> atoms{};
    // Indices of the well-known classes; -1 when the configuration last read has none.
    std::int32_t syringe_class = -1;
    std::int32_t injector_class = -1;
    std::int32_t wash_station_class = -1;
    std::int32_t tray_class = -1;
    std::int32_t tray_holder_class = -1;
    std::int32_t tray_type_class = -1;
};

// The process's one model.
Tconfig_model& config_model();
// Back to the empty model of a process that has just started (tests).
void reset_config_model();

int find_class(std::string_view name);
int find_object(std::string_view name);
int find_atom(std::string_view name);
// -1 when the list number is not a list slot or the text is no item of it.
int find_list_item(std::int64_t list_number, std::string_view item);
// 1 shifted left by the index of the first class of that name; 0 when there is none.
std::uint32_t class_bit(std::string_view class_name);
std::uint32_t sync_signal_class_bit();
std::uint32_t out_signal_class_bit();
bool bit_in_mask(std::int32_t bit, std::uint32_t mask);
bool object_class_in_mask(int object_index, std::uint32_t mask);

std::string object_class_name(std::string_view object_name);
bool object_is_of_class(std::string_view object_name, std::string_view class_name);
bool is_tray_holder(std::string_view object_name);
// The value of the first attribute of that name of the object's class; "" or 0 when the object
// or the attribute does not exist (or the attribute is not of a text or number kind).
std::string get_text_attribute(std::string_view object_name, std::string_view attribute_name);
double get_number_attribute(std::string_view object_name, std::string_view attribute_name);
std::string get_tray_type(std::string_view object_name);
// The object's record; nullptr when no object has that name.
const Tobject_rec* object_record_by_name(std::string_view object_name);
// The text before the first "(" is an atom's name.
bool is_atom_line(std::string_view line);

// Value slots of an object. The attribute index must be below its class's attribute count;
// number slots hold a double, text slots a text of at most 19 characters.
double get_number_value(const Tobject_rec& object, int attribute);
void set_number_value(const Tobject_rec& object, int attribute, double value);
std::string get_text_value(const Tobject_rec& object, int attribute);
// False (and the slot unchanged) when the attribute is no text or reference, or the text is
// longer than 19 characters.
bool set_text_value(const Tobject_rec& object, int attribute, std::string_view text);

// The class record of an object (its class index is always a valid class).
const Tclass_rec& class_of(const Tobject_rec& object);

}  // namespace core
