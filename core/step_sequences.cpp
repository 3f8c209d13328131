#include "core/step_sequences.h"

#include <filesystem>
#include <system_error>

#include "core/config_model.h"
#include "core/config_text.h"
#include "core/line_files.h"
#include "core/macro_library.h"
#include "core/method_expansion.h"
#include "core/method_run.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "core/uilib.h"

namespace core {

namespace {

// The progress form's bar counts received lines up to this.
constexpr int config_progress_max = 520;

// Replaces the file only once the new text is completely written, so a crash or a full disk
// never leaves a half cache.
bool replace_file(const std::string& path, const std::vector<std::string>& lines) {
    const std::string temporary = path + ".new";
    if (!save_lines(temporary, lines)) return false;
    std::error_code error;
    std::filesystem::rename(file_name_to_utf8(temporary), file_name_to_utf8(path), error);
    if (error) {
        std::filesystem::remove(file_name_to_utf8(temporary), error);
        return false;
    }
    return true;
}

}  // namespace

void queue_reload_sequence() {
    install_sequence({
        [] { queue_command("SET_BAUD 38400"); },
        [] {
            SessionState& ss = session_state();
            if (ss.config_progress.begin) ss.config_progress.begin(config_progress_max);
            ss.uploading = 1;
            queue_command("GET_CONFIG");
        },
        [] { save_and_parse_configuration(); },
        [] { queue_command("GET_FW_VERSION"); },
    });
}

void queue_get_syringe(std::function<void()> continuation) {
    install_sequence({
        [] { queue_command("GET_SYR"); },
        [continuation = std::move(continuation)] {
            if (continuation) continuation();
        },
    });
}

void queue_cleanup() {
    install_sequence({
        [] { queue_command("CLEANUP(Wash1,1,1,1,1,1,1,1)"); },
        [] { uilib::on_reset_done(); },
    });
}

void save_and_parse_configuration() {
    const std::vector<std::string> lines = link_state().return_lines;
    SessionState& ss = session_state();
    if (ss.config_progress.end) ss.config_progress.end();
    const std::string path = config_file_path();
    if (read_configuration(lines)) {
        replace_file(path, lines);
        uilib::on_config_received();
    } else {
        // The reader has said what is wrong. The instrument's text is refused as a whole: the
        // model goes back to the last good cache, which stays as it was.
        reset_config_model();
        if (file_exists(path)) read_configuration_file(path);
    }
    queue_command("SET_BAUD 9600");
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
