#include "platform/help/help.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

#include "platform/com/text.h"

extern char** environ;

namespace platform::help {

namespace {

struct HelpState {
    std::vector<HelpRequest> requests;
    Opener opener;
};

HelpState& state() {
    static HelpState s;
    return s;
}

bool desktop_present() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// The shell only puts xdg-open in the background and returns, so waiting for it is short and
// the viewer is nobody's child here.
bool open_with_xdg_open(const std::string& path) {
    const char* argv[] = {"/bin/sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", path.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

HelpResult win_help(window::Handle window, std::string_view file, std::uint32_t command,
                    std::string_view data) {
    HelpState& s = state();
    s.requests.push_back({window, std::string(file), command, std::string(data)});
    if (command != help_key && command != help_contents) return {HelpOutcome::recorded, {}};

    const std::string path = com::utf8_from_cp1252(file);
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return {HelpOutcome::missing_file, "The help file \"" + std::string(file) + "\" does not exist."};
    if (!s.opener && !desktop_present()) return {HelpOutcome::no_desktop, {}};
    const bool started = s.opener ? s.opener(path) : open_with_xdg_open(path);
    if (!started)
        return {HelpOutcome::failed, "The help file \"" + std::string(file) + "\" could not be opened."};
    return {HelpOutcome::opened, {}};
}

const std::vector<HelpRequest>& help_requests() {
    return state().requests;
}

void clear_help_requests() {
    state().requests.clear();
}

Opener set_opener(Opener opener) {
    Opener previous = std::move(state().opener);
    state().opener = std::move(opener);
    return previous;
}

}  // namespace platform::help
