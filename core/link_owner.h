// What the framed link needs of the form that owns the session's port: the port, the lists in
// which replies and trace lines show, and a millisecond timer for the pause after a rate
// change. The core form installs itself when it is made and takes itself out when it goes;
// without an owner the link has no port and shows nothing. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace serial {
class TSpComPort;
}

namespace core {

class LinkOwner {
  public:
    virtual ~LinkOwner() = default;

    // The session's port, open or not.
    virtual serial::TSpComPort& link_port() = 0;
    // Whether the owner's lists are on screen (nothing is shown to them otherwise).
    virtual bool link_lists_shown() const = 0;
    // The data lines of the reply being received.
    virtual void show_return_line(const std::string& line) = 0;
    virtual void clear_return_lines() = 0;
    // One more trace line.
    virtual void show_debug_line(std::string_view line) = 0;
    // send_held_command once `wait_ms` have passed; stop_rate_settle_timer cancels that.
    virtual void start_rate_settle_timer(std::uint64_t wait_ms) = 0;
    virtual void stop_rate_settle_timer() = 0;
};

// The owner the link works with; nullptr when none.
LinkOwner* link_owner();
// Installs the owner (nullptr: none).
void set_link_owner(LinkOwner* owner);

}  // namespace core
