// The instrument session's unit state: one set per process, main thread only.
//
// The session keeps its state in plain structs, one per concern, each reached through one
// accessor (link_state(), step_queue(), run_state(), barcode_state(), session_state()).
// reset_session_state() puts all of them back to what FormCreate leaves, so a test can start
// from a fresh session without a new process. The method engine's lists (running_method,
// expanded_method, alternate_cmd_list, ...) live in method_state() (core/method_expansion.h); the
// run variables in run_variables() (core/run_variables.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/instrument_commands.h"

namespace core {

class Tzor_lib;

// What the one armed timer means when it expires.
enum class TimerMode : std::uint8_t {
    reply_timeout = 0,  // the outstanding command got no good reply: resend
    atom_wait = 1,      // an atom runs: ask for its progress
    idle_poll = 2,      // nothing to do: ask for the instrument's state
    baud_settle = 3,    // a command waits until the instrument has switched its rate
};

// Baud probe after start: 0 nothing tried yet, 1 trying 38400, 99 settled.
inline constexpr std::int32_t baud_untried = 0;
inline constexpr std::int32_t baud_trying_fast = 1;
inline constexpr std::int32_t baud_settled = 99;

struct LinkState {
    std::uint8_t sequence_toggle = 1;  // flipped before every send; the frame carries toggle + 1
    std::string last_sent = command_word::get_stat;
    std::string last_command;  // the last command other than GET_ATOM_INFO
    // Receive machine.
    std::uint8_t receive_state = 0;
    std::int32_t record_number = 0;
    std::int32_t counted_length = 0;
    std::int32_t computed_xor = 0;
    std::int32_t declared_length = 0;
    std::int32_t received_checksum = 0;
    std::string current_line;
    std::string final_element;
    // Data lines of the current reply (the form's return_box shows them).
    std::vector<std::string> return_lines;
    // Timer.
    TimerMode timer_mode = TimerMode::reply_timeout;
    std::uint16_t timer_handle = 0;
    std::int32_t timer_retries = 0;
    bool timer_armed = false;
    std::int32_t polling_ticks = 9;
    std::int32_t reply_timeout_ticks = 54;
    std::int32_t config_timeout_ticks = 272;
    std::int32_t atom_poll_interval = 1;
    bool lost = false;
    std::int32_t baud_state = baud_untried;
    std::int32_t resends_since_queue = 0;
    // A query whose answer is data (GET_CONFIG, GET_FW_VERSION, GET_SYR, GET_SPL_ID) got a bare
    // "|" since it was last sent: the instrument answers, with nothing. Such a reply is taken only
    // once the query's resends have run out and it keeps coming (a late "|" of an earlier command
    // looks the same).
    bool empty_answer_since_send = false;
    // Pacing: the monotonic time of the last frame written, and the earliest time the next one
    // may go (set after a rate change); a command held until then waits here.
    std::uint64_t last_send_ms = 0;
    std::uint64_t send_not_before_ms = 0;
    std::string held_command;
    // A frame has gone out and its reply has not come yet. Each frame gets one reply at most:
    // of several good frames in one read the last answers it, the others (late replies to
    // earlier frames) answer nothing and are dropped.
    bool reply_expected = false;
    // Trace mark (tick count) for the elapsed times of the trace lines.
    std::uint32_t trace_mark = 0;
    // Counters for reports and tests.
    std::uint64_t frames_sent = 0;
    std::uint64_t good_replies = 0;
    std::uint64_t bad_frames = 0;
    std::uint64_t resends = 0;
    std::uint64_t stale_replies = 0;  // good frames dropped because no command waited for them
};

// A queued step: a parameterless procedure run in the processing of one completed reply.
using Step = std::function<void()>;
inline constexpr int step_queue_capacity = 64;

struct StepQueueState {
    std::array<Step, step_queue_capacity> slots{};
    std::int32_t position = 0;
    std::int32_t size = 0;
    // Counts installs, so a step that installs a new sequence is not followed by a skip.
    std::uint64_t generation = 0;
    // The command the current step chose; sent at the end of the reply's processing.
    std::string pending_command;
};

struct RunState {
    bool run_active = false;
    // The run did not do all it was asked: a line could not be turned into a command, or the
    // user aborted after an instrument error. Cleared when a run starts.
    bool failed = false;
    // Why, when the reason is not an error of the method itself ("" for those): the text the
    // run's end reports.
    std::string failure_text;
    // A stop was asked for during this run (StopRun, Reset, a change of operating mode); an
    // answer to an error question given afterwards cannot take the run back.
    bool stop_requested = false;
    std::int32_t step_index = 0;
    bool error_mode = false;
    std::int32_t error_step_index = 0;
    std::int32_t error_answer = 0;  // 3 abort, 4 retry, 5 ignore; 0 not asked yet
    std::int32_t repeat_start = 0;
    // The method's loop while error mode runs its own (restored when error mode ends).
    std::int32_t saved_repeat_total = 0;
    std::int32_t saved_repeat_remaining = 0;
    std::int32_t saved_repeat_start = 0;
    // The method line whose command was sent last, and that command: Retry runs that line again.
    std::int32_t last_method_step = -1;
    std::string last_method_command;
    std::int32_t failed_step = -1;  // the line Retry returns to; -1 when the error was not a method line's
    // Commands of the run's lines (cmd_list), a copy of expanded_method made at the start.
    std::vector<std::string> cmd_list;
    bool waiting_for_ds = false;
    bool go_flag = false;
    bool cancel_requested = false;
    bool cancel_sent = false;
    std::string error_text;
    std::string status_text;
};

// Bar-code state values.
inline constexpr std::int32_t barcode_not_read = 0;
inline constexpr std::int32_t barcode_requested = 1;
inline constexpr std::int32_t barcode_unreadable = 2;
inline constexpr std::int32_t barcode_error = 3;

struct BarcodeState {
    std::int32_t state = barcode_not_read;
    std::string text;
};

// What the deliverable shows while the configuration is uploaded (the driver's configuration
// form). Unset members do nothing.
struct ConfigProgressHooks {
    std::function<void(int max)> begin;
    std::function<void(int lines)> progress;
    std::function<void()> end;
    // The upload did not give a configuration the session took (the old one is kept): why.
    std::function<void(const std::string& reason)> failed;
};

struct SessionState {
    // init_session's flags.
    bool reset_after_firmware = false;
    bool framed = true;
    bool connect_on_create = false;
    bool debug_page = false;
    std::string extension = ".PME";
    std::string sample_type_list;
    // The program's name ("Zorrun", "Zorsetup") and the tick count at form creation.
    std::string program_name;
    std::uint32_t tick_mark = 0;
    // FormCreate and after.
    bool connected = false;
    // Why the port did not open the last time it was tried ("" after it opened): the message
    // shown and what the port layer said.
    std::string port_failure;
    bool debug_list_on = false;
    std::int32_t uploading = 0;
    // The configuration upload's job in the step queue (its generation), while it is queued.
    std::uint64_t upload_job = 0;
    // The link's count of bad frames when GET_CONFIG was queued.
    std::uint64_t config_bad_frames_before = 0;
    // Why the last upload failed ("" when it did not).
    std::string upload_failure;
    std::string firmware_version;
    bool port_change_requested = false;
    // A port change waits to be carried out outside the port's handlers; the reply processing
    // sends nothing meanwhile. resume_resend: the change came from a time-out, so the
    // outstanding command goes out again afterwards.
    bool port_change_in_progress = false;
    bool port_change_resume_resend = false;
    // The device went away (unplugged, hung up): the port is reopened at the same number
    // outside the port's handlers, again and again until the device is back.
    bool device_reopen_pending = false;
    // An instrument error box is shown (or about to be): further errors are only logged.
    bool error_report_pending = false;
    std::string pending_error_text;
    ConfigProgressHooks config_progress;
    // The process's one core form, while it exists.
    Tzor_lib* form = nullptr;
};

LinkState& link_state();
StepQueueState& step_queue();
RunState& run_state();
BarcodeState& barcode_state();
SessionState& session_state();

// The mounted syringe as the instrument reported it (held with the run variables, where "SYR"
// reads it).
std::string& mounted_syringe();

// Back to the state FormCreate leaves (the form pointer and the progress hooks stay).
void reset_session_state();

// The core form; nullptr before it exists.
Tzor_lib* zor_lib();

}  // namespace core
