// What a person does at the virtual X server the display tests run under: xdotool commands
// (keys and clicks synthesized by the server's test extension), and a window manager for the
// things only a window manager does (Alt+F4 asks the window to close).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "driver/zorrun/tests/support/zorrun_process.h"

namespace zorrun_test {

// Runs a shell command (bounded to 20 seconds) and returns its standard output, or nothing
// when it failed.
std::optional<std::string> run(const std::string& command);

// The first visible window whose name matches the pattern, waiting for it; nothing when none
// came up.
std::optional<std::string> visible_window(const std::string& name_pattern);

// openbox on the display, started in `folder` and ready when made; stopped with the object.
class WindowManager {
  public:
    explicit WindowManager(const std::filesystem::path& folder);
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;
    bool ready() const { return ready_; }

  private:
    std::unique_ptr<ZorrunProcess> process_;
    bool ready_ = false;
};

}  // namespace zorrun_test
