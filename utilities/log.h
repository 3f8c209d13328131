// The event log "tsk_weav.log" in the method folder, shared by both programs of a machine.
#pragma once

#include <string>
#include <string_view>

namespace putils {

// The log file's path: the method folder joined with "tsk_weav.log".
std::string log_file_path();

// When log_enabled is on, appends one line "yyyy/mm/dd hh:nn:ss : text" (local time, CR LF) to
// the log, creating the file when it is missing. The file is opened and closed for every line
// so that the two programs can write to it in turn. Input/output errors are ignored: a line
// that cannot be written is lost and the next call tries again. With no method folder set there
// is no log and nothing is written.
void append_log(std::string_view text);

}  // namespace putils
