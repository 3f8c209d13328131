#include "platform/comm/termios_map.h"

#include <cerrno>
#include <cstring>

namespace platform::comm::detail {

namespace {

struct SpeedRow {
    std::uint32_t baud;
    speed_t speed;
};

// The rates termios names; anything else goes through termios2.
constexpr SpeedRow kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

}  // namespace

bool valid_state(const DeviceState& s) {
    if (s.baud == 0) return false;
    if (s.data_bits < 5 || s.data_bits > 8) return false;
    if (static_cast<unsigned>(s.parity) > static_cast<unsigned>(Parity::space)) return false;
    if (static_cast<unsigned>(s.stop_bits) > static_cast<unsigned>(StopBits::two)) return false;
    if (static_cast<unsigned>(s.dtr_control) > static_cast<unsigned>(DtrControl::handshake)) return false;
    if (static_cast<unsigned>(s.rts_control) > static_cast<unsigned>(RtsControl::toggle)) return false;
    if ((s.xon_xoff_in || s.xon_xoff_out) && s.xon_char == s.xoff_char) return false;
    return true;
}

speed_t standard_speed(std::uint32_t baud) {
    for (const auto& row : kSpeeds)
        if (row.baud == baud) return row.speed;
    return 0;
}

bool to_termios(const DeviceState& s, termios& t) {
    if (!valid_state(s)) return false;
    cfmakeraw(&t);
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);
    if (s.parity_check && s.parity != Parity::none) t.c_iflag |= INPCK;
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (s.data_bits) {
        case 5:
            t.c_cflag |= CS5;
            break;
        case 6:
            t.c_cflag |= CS6;
            break;
        case 7:
            t.c_cflag |= CS7;
            break;
        default:
            t.c_cflag |= CS8;
            break;
    }
    switch (s.parity) {
        case Parity::none:
            break;
        case Parity::odd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case Parity::even:
            t.c_cflag |= PARENB;
            break;
        case Parity::mark:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case Parity::space:
            t.c_cflag |= PARENB | CMSPAR;
            break;
    }
    // A UART sends 1.5 stop bits for CSTOPB with 5 data bits, 2 otherwise.
    if (s.stop_bits != StopBits::one) t.c_cflag |= CSTOPB;
    if (s.cts_output_flow || s.rts_control == RtsControl::handshake) t.c_cflag |= CRTSCTS;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    // tcflow(TCIOFF/TCION) sends these, so input flow control uses the device's characters.
    t.c_cc[VSTOP] = static_cast<cc_t>(s.xoff_char);
    t.c_cc[VSTART] = static_cast<cc_t>(s.xon_char);
    if (speed_t sp = standard_speed(s.baud)) {
        cfsetispeed(&t, sp);
        cfsetospeed(&t, sp);
    }
    return true;
}

std::uint32_t open_error_from_errno(int e) {
    switch (e) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case EIO:
        case ENOTTY:
        case EISDIR:
            return error::file_not_found;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return error::path_not_found;
        case EBUSY:
        case EWOULDBLOCK:  // flock: another holder (EAGAIN is the same number here)
            return error::access_denied;
        // Not in use by anyone: this user may not open it (e.g. not in the device's group).
        case EACCES:
        case EPERM:
        case EROFS:
            return error::permission_denied;
        case EMFILE:
        case ENFILE:
            return error::too_many_open_files;
        case ENOMEM:
            return error::not_enough_memory;
        default:
            return error::device_failure;
    }
}

std::uint32_t io_error_from_errno(int e) {
    switch (e) {
        case EINVAL:
            return error::invalid_parameter;
        case ENOMEM:
            return error::not_enough_memory;
        case EBADF:
            return error::invalid_handle;
        default:
            return error::device_failure;
    }
}

Error os_error(std::uint32_t code, int error_number, const std::string& what) {
    Error err;
    err.code = code;
    err.os_errno = error_number;
    err.message = what + ": " + std::strerror(error_number);
    return err;
}

Error layer_error(std::uint32_t code, const std::string& what) {
    Error err;
    err.code = code;
    err.message = what.empty() ? describe_error(code) : what + ": " + describe_error(code);
    return err;
}

}  // namespace platform::comm::detail
