// platform/comm test hooks: raise on an open device what a pseudo-terminal cannot show.
//
// A pseudo-terminal has no modem lines, no breaks and no line errors. These hooks put such
// conditions into an open device's state and event stream, exactly where the driver thread puts
// them for a real tty, so the layers above (modem status, line-error and status triggers, hardware
// flow holds) can be tested over a real pty. Data still flows through the pty as usual.
//
// `name` is what open_device() took ("COM3", "\\.\COM3" or a path); the device must be open in
// this process. Error 6 when it is not. Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/comm/comm.h"

namespace platform::comm::test {

// Sets the modem lines (modem:: bits) the device sees from now on, in place of the tty's. Changes
// raise events::cts, dsr and rlsd; RI going high raises events::ring. CTS or DSR low holds output
// when the device state asks for that flow control.
Error set_modem_lines(std::string_view name, std::uint32_t lines);

// Adds line-error bits (line_errors::) as if the tty had reported them: events::line_error for
// overflow, overrun, parity and framing; events::break_detected for the break bit.
Error raise_line_error(std::string_view name, std::uint32_t line_error_bits);

// A received break: raise_line_error(name, line_errors::break_detected).
Error raise_break(std::string_view name);

// The output lines as the device last set them (also where the tty has none).
struct OutputLines {
    bool dtr = false;
    bool rts = false;
    bool break_on = false;
};
std::optional<OutputLines> output_lines(std::string_view name);

// Closes every device this process has open (between test cases).
void close_all_devices();

}  // namespace platform::comm::test
