#include "core/step_sequences.h"

#include "core/config_model.h"
#include "core/config_text.h"
#include "core/instrument_commands.h"
#include "core/line_files.h"
#include "core/macro_library.h"
#include "core/method_expansion.h"
#include "core/method_run.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "core/uilib.h"
#include "utilities/log.h"
#include "utilities/session.h"
#include "utilities/text.h"

namespace core {

const char* const upload_failure_prefix = "The configuration from the Zor was not taken: ";
const char* const upload_not_saved_prefix = "The configuration from the Zor was not saved: ";

namespace {

// The progress form's bar counts received lines up to this.
constexpr int config_progress_max = 520;
// Times GET_CONFIG goes out (the first and the link's resends) before an unreadable reply is
// given up.
constexpr std::int32_t config_reply_tries = 4;

// The upload's end after a failure: back to 9600 baud, then the firmware version, which also
// ends the upload (uploading 0). Installed as the rest of the upload's job.
void install_upload_tail() {
    install_sequence({
        [] { queue_command(command_word::set_baud_9600); },
        [] { queue_command(command_word::get_fw_version); },
    });
    session_state().upload_job = step_queue().generation;
}

}  // namespace

void fail_upload(const std::string& reason) {
    SessionState& ss = session_state();
    ss.upload_failure = reason;
    putils::append_log(reason);
    if (ss.config_progress.failed) ss.config_progress.failed(reason);
}

void queue_reload_sequence() {
    session_state().upload_failure.clear();
    install_sequence({
        [] { queue_command(command_word::set_baud_38400); },
        [] {
            SessionState& ss = session_state();
            if (ss.config_progress.begin) ss.config_progress.begin(config_progress_max);
            ss.uploading = 1;
            ss.config_bad_frames_before = link_state().bad_frames;
            queue_command(command_word::get_config);
        },
        [] { save_and_parse_configuration(); },
        [] { queue_command(command_word::get_fw_version); },
    });
    session_state().upload_job = step_queue().generation;
}

bool upload_under_way() {
    const SessionState& ss = session_state();
    if (ss.uploading) return true;
    return ss.upload_job != 0 && ss.upload_job == step_queue().generation && !step_queue_empty();
}

void queue_get_syringe(std::function<void()> continuation) {
    install_sequence({
        [] { queue_command(command_word::get_syr); },
        [continuation = std::move(continuation)] {
            if (continuation) continuation();
        },
    });
}

void queue_cleanup() {
    install_sequence({
        [] { queue_command(command_word::cleanup); },
        [] { uilib::on_reset_done(); },
    });
}

void save_and_parse_configuration() {
    const std::vector<std::string> lines = link_state().return_lines;
    SessionState& ss = session_state();
    if (ss.config_progress.end) ss.config_progress.end();
    const std::string path = config_file_path();
    // The reader says what is wrong through the error reporter; its message is the reason.
    putils::session().last_error.clear();
    std::string failure;
    if (lines.empty()) {
        failure = std::string(upload_failure_prefix) + "it answered " + command_word::get_config +
                  " with no configuration";
    } else if (read_configuration(lines)) {
        // The plug-in reads the cache, not this model: a text that could not be kept there is
        // not taken, or the two would tell of different trays.
        if (const std::string why = replace_lines_file(path, lines); !why.empty())
            failure = std::string(upload_not_saved_prefix) + path + ": " + why;
    } else {
        const std::string why = putils::session().last_error;
        failure = std::string(upload_failure_prefix) + (why.empty() ? "its text could not be read" : why);
    }
    if (failure.empty()) {
        uilib::on_config_received();
    } else {
        // The instrument's text is refused as a whole: the model goes back to the last good
        // cache, which stays as it was.
        reset_config_model();
        if (file_exists(path)) read_configuration_file(path);
        fail_upload(failure);
    }
    queue_command(command_word::set_baud_9600);
}

bool configuration_reply_unreadable() {
    const LinkState& link = link_state();
    const SessionState& ss = session_state();
    return ss.uploading && putils::same_text(link.last_sent, command_word::get_config) &&
           link.resends_since_queue >= config_reply_tries - 1 &&
           link.bad_frames > ss.config_bad_frames_before;
}

std::string give_up_configuration_reply() {
    SessionState& ss = session_state();
    if (ss.config_progress.end) ss.config_progress.end();
    fail_upload(std::string(upload_failure_prefix) + "its reply to " + command_word::get_config +
                " failed the frame checks " + std::to_string(config_reply_tries) +
                " times (too long for a frame, or holding bytes a frame cannot carry)");
    install_upload_tail();
    run_next_queued_step();
    std::string command = std::move(step_queue().pending_command);
    step_queue().pending_command.clear();
    return command;
}

bool run_named_macro(std::string_view name) {
    if (!macro_file_exists(name)) return false;
    MethodState& ms = method_state();
    ms.expanded_method.clear();
    ms.running_method.assign(1, std::string(name) + "()");
    const std::vector<std::string> lines = load_macro_file(name);
    const int first = count_header_lines(lines);
    if (first >= static_cast<int>(lines.size())) return false;
    for (int i = first; i < static_cast<int>(lines.size()); ++i) {
        const int n = static_cast<int>(ms.expanded_method.size());
        if (n >= max_expanded_lines) return false;
        // The whole macro is step 0 of its own method and has no parameters; nothing of the
        // previous method's tables may leak into it.
        ms.origins[n] = ExpandedLineOrigin{0, 0, 0, 0};
        std::string line = expand_macro_line(name, lines[i], -1);
        if (line.empty()) return false;
        ms.expanded_method.push_back(std::move(line));
    }
    // A stop during the macro ends it: there is no METHOD EXIT part.
    ms.method_exit_index = static_cast<int>(ms.expanded_method.size());
    return true;
}

bool run_sl_exit() {
    if (!run_named_macro("SL EXIT")) return false;
    uilib::on_sl_exit();
    method_state().skip_wrappers = true;
    prepare_cmd_list();
    return true;
}

}  // namespace core
