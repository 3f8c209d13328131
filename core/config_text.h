// The configuration text: reader and writer.
//
// The instrument answers "GET_CONFIG" with its configuration as text, cached as latest_zor.pol
// in the method folder. Four sections, in this order and all required: "[LISTS]", "[CLASSES]",
// "[OBJECTS]", "[ATOMS]" (headers compared without case; a later duplicate wins). One record per
// line, fields separated by ";". A blank line inside a section is a record and fails the read.
//
// The reader refills the whole model (config_model.h). The first problem stops it with one
// message through show_error; the model then holds what was read up to that point and the
// caller treats the configuration as not loaded. A text that needs more than the model holds
// (tables, value area, fields per line) is refused the same way, never read past a table.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace core {

inline constexpr int max_fields = 41;  // field 0 and up to 40 further fields

// The fields of one record line, as views into the line (which must outlive the table). count
// is the number of fields after field 0; fields beyond it read as "".
struct FieldTable {
    std::array<std::string_view, max_fields> fields{};
    int count = 0;
    // The line had more than max_fields fields.
    bool overflow = false;
    std::string_view operator[](int i) const { return fields[i]; }
};

// Splits a line at ";" as next_token does (leading blanks of each field skipped, characters up
// to the next ";"; a NUL ends the line). A trailing ";" adds nothing, two in a row give an empty
// field. Returns the number of fields after field 0.
int split_fields(std::string_view line, FieldTable& table);

// method folder + "/" + "latest_zor.pol"
std::string config_file_path();

// True when all four sections were read.
bool read_configuration(const std::vector<std::string>& lines);
// Loads the file and reads it; false (without a message) when the file cannot be loaded.
bool read_configuration_file(std::string_view path);

// The lines the writer produces from the model.
std::vector<std::string> configuration_lines();
// Reports dangling object references (and writes all the same), then replaces
// config_file_path() with configuration_lines(). False when the file cannot be written.
bool write_configuration();

// The object line of object k: class;name;value;... as "DLD_OBJ " sends it and the writer writes.
std::string format_object_line(int object_index);

}  // namespace core
