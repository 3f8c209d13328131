#include "utilities/session.h"

#include <algorithm>

#include "utilities/text.h"

namespace putils {

namespace {
constexpr std::size_t max_sample_name = 40;
constexpr std::size_t max_sample_code = 2;
// The field splitter of the configuration text reads a first field and at most 40 more.
constexpr int max_fields_after_first = 40;
}  // namespace

SessionValues& session() {
    static SessionValues values;
    return values;
}

void reset_session() {
    session() = SessionValues{};
}

void set_sample_types(std::string_view list) {
    SessionValues& s = session();
    s.sample_type_count = 0;
    for (SampleType& entry : s.sample_types) entry = SampleType{};
    if (list.empty()) return;

    Cursor cursor = list;
    s.requested_tray = next_token(cursor, ';');
    std::string fields[max_fields_after_first];
    int count = 0;
    while (count < max_fields_after_first) {
        // A trailing ";" adds no field: splitting stops once nothing but blanks is left.
        Cursor rest = cursor;
        skip_blanks(rest);
        if (rest.empty() || rest.front() == '\0') break;
        fields[count++] = next_token(cursor, ';');
    }
    const int pairs = std::min(count / 2, max_sample_types);
    for (int i = 0; i < pairs; ++i) {
        s.sample_types[i].name = fields[2 * i].substr(0, max_sample_name);
        s.sample_types[i].code = fields[2 * i + 1].substr(0, max_sample_code);
    }
    s.sample_type_count = pairs;
}

std::string method_folder_file(std::string_view file_name) {
    const std::string& folder = session().method_folder;
    if (folder.empty()) return std::string(file_name);
    std::string path = folder;
    if (path.back() != '/') path += '/';
    path += file_name;
    return path;
}

}  // namespace putils
