// The step sequences: configuration upload, syringe query, clean-up, and running a library
// macro as the whole method ("SL EXIT").
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace core {

// The configuration upload, one step per reply: "SET_BAUD 38400", "GET_CONFIG" (with the
// progress form), save and parse the configuration then "SET_BAUD 9600", "GET_FW_VERSION".
void queue_reload_sequence();
// "GET_SYR", then the continuation in the same reply's processing.
void queue_get_syringe(std::function<void()> continuation);
// "CLEANUP(Wash1,1,1,1,1,1,1,1)", then on_reset_done.
void queue_cleanup();
// The third upload step. The reply's lines are parsed first; only a configuration that reads
// cleanly replaces latest_zor.pol, and only one that could be written there is taken (a bad or
// unsaved upload keeps the last good cache and the model read from it, and fails with
// upload_failure_prefix or upload_not_saved_prefix and the reason).
void save_and_parse_configuration();
// An upload is under way: its sequence is queued, or its closing GET_FW_VERSION is not answered
// yet. Jobs that would replace the sequence must wait: the instrument would be left at 38400.
bool upload_under_way();
// Reports a failed upload: kept as the session's upload failure, logged, and handed to the
// deliverable (config_progress.failed). The reason begins with one of the two prefixes below.
extern const char* const upload_failure_prefix;
extern const char* const upload_not_saved_prefix;
void fail_upload(const std::string& reason);
// Whether the configuration reply is to be given up at this time-out: GET_CONFIG is out, the
// link has resent it as often as it resends before releasing waits, and what came back were
// frames that failed their checks (a reply too long for a frame, or holding bytes a frame
// cannot carry, fails every time). A silent instrument is resent to as ever.
bool configuration_reply_unreadable();
// The upload fails and goes back to 9600 baud with its GET_FW_VERSION. Returns the command to
// send now.
std::string give_up_configuration_reply();

// Makes the library macro <method folder>/<name>.pma the whole method to run; true when it
// exists and expands cleanly.
bool run_named_macro(std::string_view name);
// run_named_macro("SL EXIT"), then on_sl_exit, the skip-wrapper flag and prepare_cmd_list.
bool run_sl_exit();

}  // namespace core
