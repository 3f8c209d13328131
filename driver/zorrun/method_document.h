// Reading the method out of compound files: the raw-data file that PrepareForRun names
// (storage "Zor", stream "Data") and the storage bytes that ValidateMethod receives (stream
// "Data" of the root). Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/storage/cfb_file.h"

namespace zorrun {

// Reads one stream of a storage whole into 8-bit lines (the one line rule of the method
// documents). Failures show "cant open " / "cant read " + name + " stream: " + the code as 10 hex
// digits (a stream longer than method_stream_limit: STG_E_DOCFILETOOLARGE, with its length and
// the limit); result 0 or the failing code, and `shown` (when given) receives the text shown.
std::int32_t read_method_stream(const platform::storage::Storage& storage, std::string_view name,
                                std::vector<std::string>& lines, std::string* shown = nullptr);

// Opens the file (its path as the file system has it, UTF-8: a name from a COM string keeps
// every character) read-only and share-exclusive, its sub-storage "Zor" and reads "Data". The
// failures show "cant open storage: " and "cant open Zor substorage: " (and those of
// read_method_stream) with the code; result 0 or the failing code. On a failure,
// `failure_text` (when given) receives the text shown, the file's path and what the storage
// layer says of it, in UTF-8.
std::int32_t read_document_method(const std::string& path, std::vector<std::string>& lines,
                                  std::string* failure_text = nullptr);

// The bytes of a compound file, opened as an in-memory storage; its stream "Data" is read.
// False when the bytes are no compound file (nothing is shown then) or the stream cannot be read.
bool read_storage_bytes_method(std::string_view bytes, std::vector<std::string>& lines);

}  // namespace zorrun
