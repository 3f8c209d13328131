// The driver's status model: a status code with the core's status text, kept for clients that
// poll it (GetStatus, AtomStatus) and broadcast to status windows as message 1425.
//
// Codes: 0 program start, 1 idle, 3 starting a method, 4 waiting for start, 5 waiting for
// contact closure, 6 continuing, 8 refused or failed, 9 busy, 10 disconnected (2 and 7 are not
// used). Every text change broadcasts to "TZorStatusX" windows. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zorrun {

inline constexpr std::int32_t status_start = 0;
inline constexpr std::int32_t status_idle = 1;
inline constexpr std::int32_t status_starting_method = 3;
inline constexpr std::int32_t status_waiting_for_start = 4;
inline constexpr std::int32_t status_waiting_for_contact = 5;
inline constexpr std::int32_t status_continuing = 6;
inline constexpr std::int32_t status_not_ready = 8;
inline constexpr std::int32_t status_busy = 9;
inline constexpr std::int32_t status_disconnected = 10;

inline constexpr std::string_view text_start = "The Zor is Idle";
inline constexpr std::string_view text_idle = "The Zor is idle";

// The automation unit's globals.
struct VzorState {
    std::int32_t status_code = status_start;
    std::int32_t saved_status_code = status_start;  // the code before a disconnection
    std::int32_t start_mode = 0;                    // StartMode of the last PrepareForRun; 1: contact closure
    std::string barcode_text;                       // the last text handed to on_barcode_text
    // The reason of status 8: a refusal or failure stands, code and text, until a client sets
    // the status itself (ClearStatus, Initialize, ChangeOperatingMode); progress texts, a busy
    // instrument, a macro's end and a reconnection do not replace it.
    std::string failure_text;
    // Counts on_barcode_text calls, so a synchronous read can tell that its answer came.
    std::uint64_t barcode_reports = 0;
};

VzorState& vzor_state();
// Back to the state of a process that has just started: code 0 and the core's status text
// "The Zor is Idle" (no broadcast).
void reset_vzor_state();

// The core's status text (what AtomStatus reports during a run).
const std::string& status_text();

// "zorrun:" + text to the log, when the debug page is on (and the log is enabled).
void log_automation_call(std::string_view text);

void set_status(std::int32_t code, std::string_view text);
// Sets the text ("The Zor is idle" for an empty one) and broadcasts; the code stays.
void set_status_text(std::string_view text);
void set_status_idle();
// The text a failed run ends with: its own reason when it has one, else "Error in method!"
// followed by what the error reporter said during the run (a line that could not become a
// command says why).
std::string run_failure_text();
// `text` (a failure's own words), followed by what the error reporter said when it said
// anything: "Error in method! Macro "Nope" does not exist."
std::string failure_with_reason(std::string_view text, std::string_view said);
// Status 8 is a failure that stands.
bool failure_stands();
// A progress text (an atom's, the sync signal's): the text, unless a failure stands.
void set_progress_text(std::string_view text);
void set_status_waiting_for_start();
void set_status_busy();
void set_status_disconnected();
void set_status_reconnected();
void sync_signal_status();

}  // namespace zorrun
