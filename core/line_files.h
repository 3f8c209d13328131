// Text files as lists of lines: the configuration cache, macro library files.
//
// Lines are 8-bit Windows-1252 texts. Reading accepts CR LF, LF and a lone CR as line ends; a last
// line without a line end counts, a final line end adds no empty line. Writing ends every line
// with CR LF. File names are Windows-1252 too and are turned into UTF-8 for the file system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace core {

// Files above this size are not read (no text the core handles comes near it).
inline constexpr std::size_t max_line_file_size = 16 * 1024 * 1024;

bool file_exists(std::string_view path);
// Replaces `lines` with the file's lines; false (lines empty) when it cannot be read.
bool load_lines(std::string_view path, std::vector<std::string>& lines);
// Replaces the file; false when it cannot be written.
bool save_lines(std::string_view path, const std::vector<std::string>& lines);

// Splits a text into lines by the rules above.
std::vector<std::string> split_lines(std::string_view text);

// A Windows-1252 file name as UTF-8.
std::string file_name_to_utf8(std::string_view name);

}  // namespace core
