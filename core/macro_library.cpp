#include "core/macro_library.h"

#include "core/config_model.h"
#include "core/config_text.h"
#include "core/expressions.h"
#include "core/line_files.h"
#include "utilities/session.h"
#include "utilities/text.h"

namespace core {

std::string path_in_method_folder(std::string_view name) {
    return putils::method_folder_file(putils::strip_extension(name));
}

std::string macro_file_path(std::string_view name) {
    return path_in_method_folder(name) + ".pma";
}

bool macro_file_exists(std::string_view name) {
    return file_exists(macro_file_path(name));
}

std::vector<std::string> load_macro_file(std::string_view name) {
    std::vector<std::string> lines;
    load_lines(macro_file_path(name), lines);
    return lines;
}

bool load_macro_file(std::string_view name, std::vector<std::string>& lines) {
    return load_lines(macro_file_path(name), lines);
}

bool is_comment_line(std::string_view line) {
    return line.size() >= 2 && line[0] == '/' && line[1] == '/';
}

int count_header_lines(const std::vector<std::string>& lines) {
    int count = 0;
    while (count < int(lines.size()) && is_comment_line(lines[count])) ++count;
    return count;
}

bool is_param_declaration(std::string_view line) {
    return line.find(';') != std::string_view::npos;
}

std::string macro_header(std::string_view name) {
    return "[MACRO " + std::string(name) + "]";
}

bool check_declared_value(std::string_view text, std::string_view unit) {
    return check_expression(text, unit, true, false, -1, {});
}

bool parse_param_declaration(std::string_view line, MacroParam& param) {
    FieldTable fields;
    split_fields(line, fields);
    param = MacroParam{};
    const Tconfig_model& model = config_model();
    if (!fields[1].empty() && find_class(fields[1]) < model.class_count) {
        param.name = std::string(fields[0]);
        for (int i = 1; i <= fields.count && !fields[i].empty(); ++i)
            param.class_mask |= class_bit(fields[i]);
        param.default_value = param.minimum = param.maximum = "0";
        return true;
    }
    putils::Cursor cursor = fields[0];
    std::string name = putils::next_token(cursor, '(');
    if (!name.empty()) name.pop_back();
    param.name = name;
    param.unit = cursor.empty() ? std::string() : putils::next_token(cursor, ')');
    param.default_value = std::string(fields[1]);
    param.minimum = std::string(fields[2]);
    param.maximum = std::string(fields[3]);
    return check_declared_value(param.default_value, param.unit) &&
           check_declared_value(param.minimum, param.unit) && check_declared_value(param.maximum, param.unit);
}

}  // namespace core
