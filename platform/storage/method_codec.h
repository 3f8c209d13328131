// The method document as the driver, the plug-in and the run client all read and write it: the
// storage "Zor" of a compound file (or the storage a host hands over) with the streams "Data"
// (the syringe line, then the method's lines) and "Text" (the template name, then the
// description). Lines are Windows-1252 text kept as UTF-16LE with CR LF after each
// (cfb_text.h holds the conversion and the one line rule), with no byte-order mark, count or
// terminating zero. Also the storage failures as codes and as words.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/storage/com_storage.h"

namespace platform::storage {

inline constexpr std::string_view method_storage_name = "Zor";
inline constexpr std::string_view data_stream_name = "Data";
inline constexpr std::string_view text_stream_name = "Text";

// The stream's lines (the one line rule) and the stream's bytes of lines.
std::vector<std::string> method_stream_lines(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> method_stream_bytes(const std::vector<std::string>& lines);

// Writes one line and its CR LF in one write: 0, the stream's failure, or STG_E_MEDIUMFULL for
// a write that took less.
com::HRESULT write_stream_line(IStream& stream, std::string_view line);
// Reads the stream to its end; S_OK or the first failing read's code.
com::HRESULT read_stream_bytes(IStream& stream, std::vector<std::uint8_t>& bytes);

// Takes the first line, the syringe the method needs, off the lines; false when there is none.
bool take_syringe_line(std::vector<std::string>& lines, std::string& syringe);

// Whether the bytes (the file's first bytes) begin as every compound file does.
bool has_compound_file_signature(std::span<const std::uint8_t> bytes);
bool file_has_compound_file_signature(const std::string& path);
// The code of a storage failure in opening a document: a damaged file is STG_E_DOCFILECORRUPT,
// but bytes that are no compound file at all are STG_E_INVALIDHEADER.
com::HRESULT document_hresult(StgError error, bool is_compound_file);

// A code as the driver's messages write it: 10 upper-case hexadecimal digits ("0080030002").
std::string message_code(com::HRESULT hr);
// What a storage failure code means, in words ("the disk is full"); the code in hexadecimal for
// one this layer does not know.
std::string storage_failure_words(com::HRESULT hr);

}  // namespace platform::storage
