// Text files as lists of lines: the configuration cache, macro library files, method templates.
//
// Lines are 8-bit Windows-1252 texts. Reading accepts CR LF, LF and a lone CR as line ends; a last
// line without a line end counts, a final line end adds no empty line. Writing ends every line
// with CR LF. File names are Windows-1252 too and are turned into UTF-8 for the file system.
//
// Editors save these files in other encodings too, and a text read in the wrong one is not
// harmless: "µm" saved as UTF-8 reads as "Âµm", a unit the core does not scale, so a depth of
// 20 mm would become 20000 mm. Reading therefore recognises the encoding:
//   - a UTF-8 byte-order mark, or a text that is valid UTF-8 throughout and holds at least one
//     character beyond ASCII: UTF-8;
//   - a UTF-16 byte-order mark (little- or big-endian): UTF-16;
//   - anything else: Windows-1252.
// UTF-8 and UTF-16 texts are converted to Windows-1252. A text is refused, naming its line, when
// a character has no Windows-1252 form, when it is not valid in its encoding, when it mixes
// UTF-8 with Windows-1252 bytes, or when it holds a NUL character (a UTF-16 text without its
// mark shows itself that way).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace core {

// Files above this size are not read (no text the core handles comes near it).
inline constexpr std::size_t max_line_file_size = 16 * 1024 * 1024;

enum class TextEncoding { windows_1252, utf8, utf8_with_mark, utf16le, utf16be };

// Why a text cannot be read as Windows-1252: the 1-based line (counted by the line-end rules
// above) and what is wrong there.
struct TextProblem {
    int line = 0;
    std::string reason;
};

// Turns a file's bytes into Windows-1252 text by the rules above. False (text empty, problem
// filled) when the text is refused.
bool decode_text(std::string_view bytes, std::string& text, TextProblem& problem,
                 TextEncoding* encoding = nullptr);

bool file_exists(std::string_view path);
// Replaces `lines` with the file's lines; false (lines empty) when it cannot be read. A missing
// file gives false without a message; a file that is there but cannot be read (unreadable, too
// large) or whose text decode_text refuses gives false after show_error names the file and why
// (for a refused text, the line).
bool load_lines(std::string_view path, std::vector<std::string>& lines);
// Replaces the file whole (see replace_lines_file); false when it cannot be written.
bool save_lines(std::string_view path, const std::vector<std::string>& lines);
// Replaces the file whole or not at all: the lines go to a new file in the same folder, which then
// takes the file's name, so a failed or interrupted write leaves the old file as it was. Empty on
// success, else what the system said ("No such file or directory").
std::string replace_lines_file(std::string_view path, const std::vector<std::string>& lines);

// Splits a text into lines by the rules above.
std::vector<std::string> split_lines(std::string_view text);

// A Windows-1252 file name as UTF-8.
std::string file_name_to_utf8(std::string_view name);

}  // namespace core
