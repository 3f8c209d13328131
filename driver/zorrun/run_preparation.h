// Run preparation: reading this instrument's part of the host's method document, taking the
// sample's vial and injection volume, building the error macros, and checking the mounted
// syringe before the method is expanded and started. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorrun {

// The run parameters that only the driver keeps (the sample's values are the core's run
// variables; the method lines are the core's method_source).
struct RunPreparationState {
    std::string method_syringe;    // the first line of the method stream
    std::string method_file_name;  // the file name part of Methname
    // The step-queue job (its generation) that carries the syringe check of the preparation
    // under way; 0 when none was queued.
    std::uint64_t check_job = 0;
};

RunPreparationState& run_preparation_state();
void reset_run_preparation_state();

// A preparation waits for its syringe check: its job is still the step queue's. Whatever
// replaces or empties the queue (an error reply, Reset, ReloadConfiguration, another job) ends
// the wait, so a check that can no longer run never holds the next preparation back.
bool syringe_check_pending();
// Takes a waiting syringe check out of the queue: the method it would start never starts.
// True when one was waiting.
bool withdraw_syringe_check();

// A method stream is read whole; one longer than this (2 Mi UTF-16 characters, far beyond any
// method the core can expand) is refused with its length rather than cut, since a cut method
// would run without its last steps or its exit part.
// Why a method stream without any complete line cannot run.
inline constexpr std::string_view no_syringe_line = "the method stream holds no syringe line";

inline constexpr std::size_t method_stream_limit = 4 * 1024 * 1024;

// "Tray1:12" -> "Tray1", "12". Everything before the first ":" is the tray, the rest is the
// position as it stands: "Tray2:5:5" gives the position "5:5", which is no vial number (taken
// together, its digits would name another vial); without a ":" the whole text is the tray.
void split_vial(std::string_view vial, std::string& tray, std::string& position);

// The file name part of a path ("/" or "\" separated).
std::string file_name_part(std::string_view path);

// The preparation proper, once the document's lines are read (`methname` is the document's
// path in UTF-8): the syringe line is taken off
// `method_lines`, which become the core's method_source; vial, volume, row flag and start mode
// are stored, the error macros built, and the syringe check queued. Throws std::runtime_error
// when the lines hold no syringe line. Result: true when the check was queued.
bool prepare_method(std::vector<std::string> method_lines, std::string_view methname, std::int32_t row_ind,
                    std::int32_t start_mode, std::string_view vial, double inj_volume);

// The continuation queued after "GET_SYR".
void check_syringe_then_run();

}  // namespace zorrun
