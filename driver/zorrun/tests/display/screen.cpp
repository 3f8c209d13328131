#include "driver/zorrun/tests/display/screen.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

namespace zorrun_test {

std::optional<std::string> run(const std::string& command) {
    FILE* pipe = ::popen(("timeout 20 " + command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    const int status = ::pclose(pipe);
    if (status != 0) return std::nullopt;
    return out;
}

std::optional<std::string> visible_window(const std::string& name_pattern) {
    const auto found = run("xdotool search --sync --onlyvisible --name '" + name_pattern + "'");
    if (!found) return std::nullopt;
    std::istringstream ids(*found);
    std::string window;
    ids >> window;
    if (window.empty()) return std::nullopt;
    return window;
}

WindowManager::WindowManager(const std::filesystem::path& folder) {
    const auto flag = folder / "window-manager-ready";
    process_ = std::make_unique<ZorrunProcess>(
        OPENBOX_PATH, std::vector<std::string>{"--startup", "touch " + flag.string()},
        std::vector<std::string>{}, folder / "openbox.err");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(flag) && process_->running() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ready_ = std::filesystem::exists(flag);
}

WindowManager::~WindowManager() {
    process_->signal(SIGTERM);
    if (!process_->wait_exit(std::chrono::seconds(10))) process_->signal(SIGKILL);
}

}  // namespace zorrun_test
