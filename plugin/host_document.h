// The method in the host's document: the streams "Text" (template name, description lines)
// and "Data" (syringe, steps, then the definitions of the macros the steps use, so that the
// driver runs the stream alone). Each line is the 8-bit text, CR and LF, as UTF-16LE, with no
// byte-order mark, count or terminating zero.
//
// Differences from how the documents were once handled, each a loss the old way caused:
// - a stream is read whole, however long (a single read of 40,000 bytes lost the end of a
//   long method);
// - Save replaces streams the storage already holds (saving twice into one document failed,
//   or left a new "Text" beside an old "Data");
// - a failed write leaves the method modified, so the host does not drop the edits;
// - a syringe the configuration does not know is kept as the document has it, with a message,
//   instead of being replaced by whatever the box showed;
// - a stream without a complete line is refused with a message instead of being taken apart;
// - CR LF, a lone CR and a lone LF each end one line, and a last line without an end is kept:
//   no character is lost, and the driver reads the same lines (platform/storage/method_codec.h);
// - a failed read leaves the editor's method as it was.
// Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/storage/method_codec.h"

namespace zorsetup {

class Tmethod_editor;
using Lines = std::vector<std::string>;

// One line as the stream holds it: UTF-16LE of the text and CR LF, in one write.
using platform::storage::write_stream_line;
// Every line; at the first failure of line n (from 1) "couldnt write string n" and its result.
std::int32_t strings_to_stream(const Lines& lines, platform::storage::IStream& stream);
// Reads the named stream whole into lines; "cant open stream NAME" / "cant read stream NAME".
std::int32_t stream_to_strings(platform::storage::IStorage& storage, std::string_view name, Lines& lines);

// The host's Save and Open. Save: 1 when the current step does not pass its check (nothing
// written), else 0 or the storage's failure. Open: 0 or the failure (the editor keeps its
// method then).
std::int32_t save_method_document(Tmethod_editor& editor, platform::storage::IStorage& storage);
std::int32_t open_method_document(Tmethod_editor& editor, platform::storage::IStorage& storage);
// The host's New: an empty method, which as the document's method has nothing to save.
void new_method_document(Tmethod_editor& editor);

// The lines of "Data" and "Text" the editor's method gives (what Save writes).
Lines data_stream_lines(Tmethod_editor& editor);
Lines text_stream_lines(Tmethod_editor& editor);

}  // namespace zorsetup
