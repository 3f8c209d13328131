// Method documents as the data system keeps them: a compound file whose storage "Zor" holds the
// stream "Data". The stream is a self-contained method text: the syringe the method needs, the
// step lines, then a "[MACRO name]" section for each macro that the steps call (the macro's file
// without its "//" lines), then the sections of "METHOD ENTRY" and "METHOD EXIT", each written
// once and only when its file exists. Every line is UTF-16LE text ended by CR LF, with no
// byte-order mark and nothing else around it.
//
// Texts are the system's Windows-1252 bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zorctl {

// The lines of a text file, without their CR LF or LF ends and without empty lines (a method
// text has none). A file that is valid UTF-8 with characters beyond ASCII is converted to
// Windows-1252; any other file is taken byte for byte. False when it cannot be read.
bool read_method_text(const std::filesystem::path& file, std::vector<std::string>& lines);

// The "Data" stream's lines: the syringe, the steps of `method` (its lines up to the first
// "[MACRO " line), the sections `method` already has, then the sections of the macros that the
// steps call and that `method` does not have, read from `macro_folder` ("<name>.pma"); with an
// empty folder nothing is added. Macros whose file is missing are left out, as the host does.
std::vector<std::string> document_lines(const std::string& syringe, const std::vector<std::string>& method,
                                        const std::filesystem::path& macro_folder);

// The stream's bytes: every line and CR LF, as UTF-16 little-endian.
std::vector<std::uint8_t> stream_bytes(const std::vector<std::string>& lines);

// Writes a new compound file at `path` (an existing file is replaced) with the storage "Zor" and
// its stream "Data" holding `data`. False with a message in `error` when that fails.
bool write_method_document(const std::filesystem::path& path, const std::vector<std::uint8_t>& data,
                           std::string& error);

}  // namespace zorctl
