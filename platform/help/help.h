// The help service: what a window asks for when the user wants the help file.
//
// Every request is recorded (tests read the record). Where a desktop exists (DISPLAY or
// WAYLAND_DISPLAY is set) the named file is opened with the desktop's opener, xdg-open,
// which runs on its own: the call never waits for the viewer. A file that does not exist is
// not handed to the opener; the result then carries a message for the user.
//
// File names are the system's 8-bit Windows-1252 texts, joined with "/". Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

namespace platform::help {

// Commands of a help request.
inline constexpr std::uint32_t help_context = 0x0001;
inline constexpr std::uint32_t help_quit = 0x0002;
inline constexpr std::uint32_t help_contents = 0x0003;
inline constexpr std::uint32_t help_key = 0x0101;  // the data is a keyword

struct HelpRequest {
    window::Handle window = 0;
    std::string file;
    std::uint32_t command = 0;
    std::string data;
    bool operator==(const HelpRequest&) const = default;
};

enum class HelpOutcome {
    recorded,      // a command that opens nothing (help_quit, help_context)
    opened,        // handed to the desktop's opener
    no_desktop,    // recorded only: nothing can show it here
    missing_file,  // the file does not exist
    failed,        // the opener could not be started
};

struct HelpResult {
    HelpOutcome outcome = HelpOutcome::no_desktop;
    std::string message;  // for the user when the outcome is missing_file or failed
};

// Records the request; for help_key and help_contents it opens the file where a desktop exists.
HelpResult win_help(window::Handle window, std::string_view file, std::uint32_t command,
                    std::string_view data);

const std::vector<HelpRequest>& help_requests();
void clear_help_requests();

// Replaces how a file is opened (UTF-8 path; true when the opener started). The default
// starts xdg-open; nullptr restores it. Returns the previous one.
using Opener = std::function<bool(const std::string& utf8_path)>;
Opener set_opener(Opener opener);

}  // namespace platform::help
