// Internal to platform/comm: the device state as termios settings (pure, so it can be tested
// without a tty).
#pragma once

#include <termios.h>

#include <cstdint>

#include "platform/comm/comm.h"

namespace platform::comm::detail {

// True when the values are ones the device can take (see set_device_state).
bool valid_state(const DeviceState& state);

// The Bxxx constant of a standard rate, or 0 when the rate needs a custom setting.
speed_t standard_speed(std::uint32_t baud);

// Puts `state` into `t` (raw mode, receiver on, no modem control hang-ups, reads return at once,
// XON/XOFF off in the tty because the driver thread does it). The rate is set when standard; a
// non-standard rate is left to set_custom_baud. Returns false for an invalid state.
bool to_termios(const DeviceState& state, termios& t);

// Sets a non-standard rate through termios2 (Linux). 0 or errno.
int set_custom_baud(int fd, std::uint32_t baud);

// errno as this layer's error number, for failures of open and the calls right after it.
std::uint32_t open_error_from_errno(int error_number);
// errno as this layer's error number, for failures of an open device.
std::uint32_t io_error_from_errno(int error_number);
// An Error from errno, with "what: strerror" as the message.
Error os_error(std::uint32_t code, int error_number, const std::string& what);
// An Error of this layer (no errno), with describe_error(code) and `what` in the message.
Error layer_error(std::uint32_t code, const std::string& what);

}  // namespace platform::comm::detail
