// Session values shared by every subsystem of a process (main thread only).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace putils {

struct SampleType {
    std::string name;  // at most 40 characters
    std::string code;  // at most 2 characters
};

inline constexpr int max_sample_types = 20;

struct SessionValues {
    std::int32_t instance_number = 0;  // set to 1 by the first unit initialization
    std::string method_folder;         // the "Method Folder" setting
    bool log_enabled = false;          // the "Append to log" setting
    bool use_message_boxes = false;
    bool tray_insert_mode = false;
    bool tray_form_first_create = false;
    std::string requested_tray;
    SampleType sample_types[max_sample_types];
    int sample_type_count = 0;
    // The last message show_error reported, and whether it has reported one.
    std::string last_error;
    bool error_flag = false;
    // The driver's error form, shown by show_error instead of the box when use_message_boxes
    // is off (set_error_form_shower); none in the plug-in.
    void (*error_form_shower)(std::string_view text) = nullptr;
};

// The process's one set of session values.
SessionValues& session();
// Back to the values of a process that has just started (tests).
void reset_session();

// Fills the sample-type table from a ";"-separated list: a first field (the requested tray)
// then pairs of name and code, cut to 40 and 2 characters, at most 20 pairs. The count is
// always reset; a non-empty list also sets requested_tray to its first field. A trailing ";"
// adds no field, and at most 40 fields after the first are read.
void set_sample_types(std::string_view list);

// Joins the method folder and a file name with "/" (no second "/" when the folder already ends
// with one). With no method folder set it is the file name alone.
std::string method_folder_file(std::string_view file_name);

}  // namespace putils
