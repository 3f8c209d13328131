#include "plugin/task_weaver.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/com/bus.h"
#include "platform/window/window.h"
#include "plugin/method_editor.h"
#include "utilities/log.h"

extern char** environ;

namespace zorsetup {

namespace {

constexpr const char* settings_key = "\\Devices\\ZOR\\Settings";

// The shell only puts the program in the background and returns: it gets the program and its
// arguments as its own arguments and never reads them as commands.
bool start_detached(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<const char*> argv = {"/bin/sh", "-c", "\"$0\" \"$@\" </dev/null >/dev/null 2>&1 &",
                                     program.c_str()};
    for (const std::string& a : arguments) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv.data()), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::vector<std::string> split_parameters(std::string_view parameters) {
    std::vector<std::string> out;
    std::string current;
    bool in_word = false;
    bool quoted = false;
    for (const char c : parameters) {
        if (c == '"') {
            quoted = !quoted;
            in_word = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (in_word) out.push_back(std::move(current));
            current.clear();
            in_word = false;
        } else {
            current.push_back(c);
            in_word = true;
        }
    }
    if (in_word) out.push_back(std::move(current));
    return out;
}

void bring_up_task_weaver() {
    // The desktop's windows of other programs are reached over the session bus; without one,
    // only this process's windows are looked at.
    platform::com::join_session_bus();
    if (platform::window::bring_window_of_class_to_front("TTask_Weaver")) return;
    const std::string program = read_host_registry(settings_key, "Executable");
    if (program.empty()) return;
    const std::vector<std::string> arguments =
        split_parameters(read_host_registry(settings_key, "Parameters"));
    if (!start_detached(program, arguments))
        putils::append_log("zorsetup : Task Weaver could not be started: " + program);
}

}  // namespace zorsetup
