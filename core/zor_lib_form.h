// The core form Tzor_lib, session start and opening the serial port.
//
// One Tzor_lib exists per process. It owns the serial port `port` and the list boxes in which
// the session shows replies, traces and methods. The session state itself lives in the unit
// state of core/session_state.h and core/method_expansion.h; the list boxes are the form's view
// of it:
//   return_box, debug_box     written as replies and trace lines arrive (while the form is shown)
//   cmd_list                  run_state().cmd_list
//   running_method, expanded_method, alternate_cmd_list, running_macro_params, method_source
//                             method_state()'s vectors of the same names
// The vectors are the one source of truth; sync_lists() copies them into the boxes (the run
// start does it, and the debug page when it is shown). Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/link_owner.h"
#include "platform/forms/controls.h"
#include "serial/com_port.h"

namespace core {

class Tzor_lib : public platform::forms::Form, public LinkOwner {
  public:
    Tzor_lib();
    ~Tzor_lib() override;

    serial::TSpComPort& link_port() override;
    bool link_lists_shown() const override;
    void show_return_line(const std::string& line) override;
    void clear_return_lines() override;
    void show_debug_line(std::string_view line) override;
    void start_rate_settle_timer(std::uint64_t wait_ms) override;
    void stop_rate_settle_timer() override;

    platform::forms::ListBox* return_box;
    platform::forms::ListBox* debug_box;
    platform::forms::ListBox* running_method;
    platform::forms::ListBox* expanded_method;
    platform::forms::ListBox* cmd_list;
    platform::forms::ListBox* alternate_cmd_list;
    platform::forms::ListBox* running_macro_params;
    platform::forms::ListBox* method_source;
    serial::TSpComPort port;

    void FormCreate(platform::forms::Component& sender);
    void FormActivate(platform::forms::Component& sender);

    // Copies the session's lists into the list boxes.
    void sync_lists();

    // Firmware version text: the first five characters, then by the number from the seventh
    // character on: 1000 or more nothing more, 2..200 " (Alpha n)", 201..999 " (Beta n)", 1 or
    // less an empty text. Throws std::invalid_argument when the rest is not a number.
    static std::string get_juist_version_info(std::string_view version);

    // Messages the form posts to itself, so the work runs outside the port's handlers.
    static constexpr std::uint32_t msg_port_change = 0x0400 + 402;
    static constexpr std::uint32_t msg_instrument_error = 0x0400 + 403;
    static constexpr std::uint32_t msg_device_lost = 0x0400 + 404;
    // The window timer that waits for a reopened port.
    static constexpr std::uintptr_t port_watch_timer = 1;
    // The window timer that tries again to reopen a device that went away.
    static constexpr std::uintptr_t device_watch_timer = 2;
    // The window timer that ends the pause after a rate change (send_held_command).
    static constexpr std::uintptr_t rate_settle_timer = 3;
};

// Once per process, before the form is created.
void init_session(bool reset_after_firmware, bool tray_insert_mode, bool framed, bool connect_on_create,
                  bool use_message_boxes, bool debug_page, std::string_view extension,
                  std::string_view program_name, std::string_view sample_types);

// Opens the port once (the "Port" setting) and starts idle polling. A failed open leaves the
// session unconnected, so the next call tries again.
void connect_port();
// 0 opened, 1 port not available, 2 port used by another program.
int open_port(bool show_messages);
// Loads latest_zor.pol from the method folder into the model; 1 on success, else 0.
int load_latest_configuration();

// reg_read_int(name, default 500 / 3000), raised to the minimum, divided by 55.
std::int32_t polling_ticks(std::string_view value_name, std::int32_t minimum);
std::int32_t timeout_ticks(std::string_view value_name, std::int32_t minimum);
// Booleans under any key of the current user (the key is created when missing).
bool reg_read_bool(std::string_view key, std::string_view value_name, bool default_value);
void reg_write_bool(std::string_view key, std::string_view value_name, bool value);

}  // namespace core
