// The handle table, the exclusive open, and the operations of comm.h.
#include "platform/comm/comm.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/comm/device.h"
#include "platform/comm/termios_map.h"
#include "platform/comm/test_hooks.h"

namespace platform::comm {

using detail::Device;
using detail::RequestAccess;
using detail::RequestState;

namespace detail {

CommState& comm_state() {
    static CommState* state = new CommState;  // never destroyed: drivers may end during exit
    return *state;
}

std::shared_ptr<Device> find_device(Handle handle) {
    auto& s = comm_state();
    std::lock_guard lk(s.lock);
    for (auto& [h, d] : s.devices)
        if (h == handle) return d;
    return nullptr;
}

std::shared_ptr<Device> find_device_by_name(std::string_view name, Handle* handle) {
    auto path = resolve_device_path(name);
    if (!path) return nullptr;
    auto& s = comm_state();
    std::lock_guard lk(s.lock);
    for (auto& [h, d] : s.devices) {
        if (d->path() == *path) {
            if (handle) *handle = h;
            return d;
        }
    }
    return nullptr;
}

}  // namespace detail

namespace {

Error not_open(Handle handle) {
    return detail::layer_error(error::invalid_handle, "handle " + std::to_string(handle));
}

IoResult not_open_result(Handle handle) {
    IoResult r;
    r.status = Status::closed;
    r.error = not_open(handle);
    return r;
}

std::shared_ptr<RequestState>& fresh_state(Request& request) {
    auto& state = RequestAccess::state(request);
    if (!state) state = std::make_shared<RequestState>();
    return state;
}

bool request_pending(Request& request) {
    auto& state = RequestAccess::state(request);
    if (!state) return false;
    std::lock_guard lk(state->mu);
    return state->pending;
}

IoResult already_pending() {
    IoResult r;
    r.status = Status::failed;
    r.error = detail::layer_error(error::invalid_parameter, "the request is still pending");
    return r;
}

// A blocking call: start it on a private request, then wait for the driver to complete it (every
// pending request has a deadline here, or ends on close, abort or hang-up).
template <class Start>
IoResult run_blocking(Start start) {
    Request request;
    IoResult r = start(fresh_state(request));
    if (r.status != Status::pending) return r;
    request.wait(infinite);
    return request.result();
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string describe_error(std::uint32_t code) {
    switch (code) {
        case error::none:
            return "No error";
        case error::file_not_found:
            return "The device does not exist";
        case error::path_not_found:
            return "The device name is not valid";
        case error::too_many_open_files:
            return "Too many files are open";
        case error::access_denied:
            return "The device is in use by another program";
        case error::permission_denied:
            return "Permission to open the device is denied";
        case error::invalid_handle:
            return "The device is not open";
        case error::not_enough_memory:
            return "Not enough memory or system resources";
        case error::device_failure:
            return "The device failed or was disconnected";
        case error::invalid_parameter:
            return "The device does not accept this setting";
        case error::operation_aborted:
            return "The operation was aborted";
        case error::timed_out:
            return "The operation timed out";
        default:
            return "";
    }
}

std::string_view status_name(Status status) {
    switch (status) {
        case Status::ok:
            return "ok";
        case Status::pending:
            return "pending";
        case Status::timed_out:
            return "timed out";
        case Status::aborted:
            return "aborted";
        case Status::closed:
            return "closed";
        case Status::disconnected:
            return "disconnected";
        case Status::failed:
            return "failed";
    }
    return "?";
}

OpenResult open_device(std::string_view name) {
    OpenResult result;
    auto path = resolve_device_path(name);
    if (!path) {
        // "COM0" names no device (2); anything that is neither a COM name nor a path is malformed (3).
        std::string_view rest = name;
        if (rest.size() >= 4 && rest.substr(0, 4) == "\\\\.\\") rest.remove_prefix(4);
        bool com_like = rest.size() > 3 && (rest[0] == 'C' || rest[0] == 'c') &&
                        (rest[1] == 'O' || rest[1] == 'o') && (rest[2] == 'M' || rest[2] == 'm') &&
                        rest.substr(3).find_first_not_of("0123456789") == std::string_view::npos;
        result.error = detail::layer_error(com_like ? error::file_not_found : error::path_not_found,
                                           "open \"" + std::string(name) + "\"");
        return result;
    }
    int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        result.error = detail::os_error(detail::open_error_from_errno(e), e, "open " + *path);
        return result;
    }
    auto fail = [&](std::uint32_t code, int e, const std::string& what) {
        result.error = e ? detail::os_error(code, e, what) : detail::layer_error(code, what);
        ::close(fd);
        return result;
    };
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return fail(error::file_not_found, errno, *path + " is not a serial device");
    // The advisory lock is what every opener of this layer meets, also root and also this process.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int e = errno;
        return fail(e == EWOULDBLOCK ? error::access_denied : detail::open_error_from_errno(e), e,
                    "lock " + *path);
    }
    ::ioctl(fd, TIOCEXCL);  // for programs that do not lock; root is not kept out by it
    DeviceState initial;
    detail::to_termios(initial, t);
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return fail(detail::io_error_from_errno(errno), errno, "tcsetattr " + *path);
    // A tty keeps what arrived while nobody had it open; a device starts empty.
    ::tcflush(fd, TCIOFLUSH);
    ::tcflow(fd, TCOON);
    int bits = 0;
    bool modem_from_tty = ::ioctl(fd, TIOCMGET, &bits) == 0;
    std::uint32_t lines = modem::cts | modem::dsr | modem::dcd;  // a pty: as if a ready peer were there
    if (modem_from_tty) {
        lines = 0;
        if (bits & TIOCM_CTS) lines |= modem::cts;
        if (bits & TIOCM_DSR) lines |= modem::dsr;
        if (bits & TIOCM_RI) lines |= modem::ring;
        if (bits & TIOCM_CD) lines |= modem::dcd;
        int set = TIOCM_DTR | TIOCM_RTS;
        ::ioctl(fd, TIOCMBIS, &set);
    }
    serial_icounter_struct counts{};
    bool icount_ok = ::ioctl(fd, TIOCGICOUNT, &counts) == 0;

    int wake_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_fd < 0) return fail(error::not_enough_memory, errno, "eventfd for " + *path);
    std::shared_ptr<Device> device;
    try {
        device = std::make_shared<Device>(fd, wake_fd, *path);
    } catch (const std::bad_alloc&) {
        ::close(wake_fd);
        return fail(error::not_enough_memory, 0, "open " + *path);
    }
    device->init_lines(modem_from_tty, lines, icount_ok);
    if (!device->start()) {
        device->shutdown();
        result.error = detail::layer_error(error::not_enough_memory, "driver thread for " + *path);
        return result;
    }
    auto& s = detail::comm_state();
    std::lock_guard lk(s.lock);
    result.handle = s.next_handle++;
    s.devices.emplace_back(result.handle, std::move(device));
    return result;
}

Error close_device(Handle handle) {
    std::shared_ptr<Device> device;
    {
        auto& s = detail::comm_state();
        std::lock_guard lk(s.lock);
        auto it = std::find_if(s.devices.begin(), s.devices.end(),
                               [&](const auto& e) { return e.first == handle; });
        if (it == s.devices.end()) return not_open(handle);
        device = std::move(it->second);
        s.devices.erase(it);
    }
    device->shutdown();
    return {};
}

bool is_open(Handle handle) {
    return detail::find_device(handle) != nullptr;
}

std::string device_path(Handle handle) {
    auto d = detail::find_device(handle);
    return d ? d->path() : std::string();
}

#define ZOR_COMM_FORWARD(call)                 \
    auto device = detail::find_device(handle); \
    if (!device) return not_open(handle);      \
    return device->call;

Error get_device_state(Handle handle, DeviceState& state){ZOR_COMM_FORWARD(get_state(state))} Error
    set_device_state(Handle handle, const DeviceState& state){ZOR_COMM_FORWARD(set_state(state))} Error
    setup_queues(Handle handle, std::uint32_t in_size,
                 std::uint32_t out_size){ZOR_COMM_FORWARD(setup_queues(in_size, out_size))} Error
    set_timeouts(Handle handle, const Timeouts& timeouts){ZOR_COMM_FORWARD(set_timeouts(timeouts))} Error
    get_timeouts(Handle handle, Timeouts& timeouts){ZOR_COMM_FORWARD(get_timeouts(timeouts))} Error
    set_event_mask(Handle handle, std::uint32_t mask){ZOR_COMM_FORWARD(set_event_mask(mask))} Error
    get_event_mask(Handle handle, std::uint32_t& mask){ZOR_COMM_FORWARD(get_event_mask(mask))} Error
    set_receive_level(Handle handle, std::uint32_t bytes){ZOR_COMM_FORWARD(set_receive_level(bytes))} Error
    clear_errors(Handle handle, std::uint32_t& errors,
                 QueueStatus* status){ZOR_COMM_FORWARD(clear_errors(errors, status))} Error
    modem_status(Handle handle, std::uint32_t& lines){ZOR_COMM_FORWARD(modem_status(lines))} Error
    escape(Handle handle, Escape function){ZOR_COMM_FORWARD(escape(function))} Error
    purge(Handle handle, std::uint32_t flags){ZOR_COMM_FORWARD(purge(flags))} Error
    cancel_io(Handle handle){ZOR_COMM_FORWARD(cancel_io())}
#undef ZOR_COMM_FORWARD

IoResult start_read(Handle handle, void* buffer, std::size_t size, Request& request) {
    auto device = detail::find_device(handle);
    if (!device) return not_open_result(handle);
    if (request_pending(request)) return already_pending();
    return device->start_read(buffer, size, fresh_state(request), std::nullopt);
}

IoResult start_write(Handle handle, const void* data, std::size_t size, Request& request) {
    auto device = detail::find_device(handle);
    if (!device) return not_open_result(handle);
    if (request_pending(request)) return already_pending();
    return device->start_write(data, size, fresh_state(request), std::nullopt);
}

IoResult start_wait_event(Handle handle, Request& request) {
    auto device = detail::find_device(handle);
    if (!device) return not_open_result(handle);
    if (request_pending(request)) return already_pending();
    return device->start_wait_event(fresh_state(request), std::nullopt);
}

IoResult read(Handle handle, void* buffer, std::size_t size, Timeout wait) {
    auto device = detail::find_device(handle);
    if (!device) return not_open_result(handle);
    return run_blocking(
        [&](const std::shared_ptr<RequestState>& s) { return device->start_read(buffer, size, s, wait); });
}

IoResult write(Handle handle, const void* data, std::size_t size, Timeout wait) {
    auto device = detail::find_device(handle);
    if (!device) return not_open_result(handle);
    return run_blocking(
        [&](const std::shared_ptr<RequestState>& s) { return device->start_write(data, size, s, wait); });
}

IoResult wait_event(Handle handle, Timeout wait) {
    auto device = detail::find_device(handle);
    if (!device) return not_open_result(handle);
    return run_blocking(
        [&](const std::shared_ptr<RequestState>& s) { return device->start_wait_event(s, wait); });
}

// ---------------------------------------------------------------------------------------------
// Request

Request::Request(std::function<void()> on_complete) : state_(std::make_shared<RequestState>()) {
    if (on_complete) state_->on_complete = [done = std::move(on_complete)](const IoResult&) { done(); };
}
Request::Request(std::function<void(const IoResult&)> on_complete)
    : state_(std::make_shared<RequestState>()) {
    state_->on_complete = std::move(on_complete);
}
Request::Request(Request&&) noexcept = default;
Request& Request::operator=(Request&&) noexcept = default;
Request::~Request() = default;

bool Request::pending() const {
    if (!state_) return false;
    std::lock_guard lk(state_->mu);
    return state_->pending;
}

Status Request::wait(Timeout timeout) const {
    if (!state_) return Status::ok;
    std::unique_lock lk(state_->mu);
    auto done = [&] { return !state_->pending; };
    if (timeout == infinite) {
        state_->cv.wait(lk, done);
        return Status::ok;
    }
    return state_->cv.wait_for(lk, timeout, done) ? Status::ok : Status::timed_out;
}

IoResult Request::result() const {
    if (!state_) return {};
    std::lock_guard lk(state_->mu);
    return state_->result;
}

// ---------------------------------------------------------------------------------------------
// Test hooks

namespace test {

Error set_modem_lines(std::string_view name, std::uint32_t lines) {
    auto device = detail::find_device_by_name(name);
    if (!device) return detail::layer_error(error::invalid_handle, std::string(name));
    return device->set_modem_lines(lines);
}

Error raise_line_error(std::string_view name, std::uint32_t bits) {
    auto device = detail::find_device_by_name(name);
    if (!device) return detail::layer_error(error::invalid_handle, std::string(name));
    return device->raise_line_error(bits);
}

Error raise_break(std::string_view name) {
    return raise_line_error(name, line_errors::break_detected);
}

std::optional<OutputLines> output_lines(std::string_view name) {
    auto device = detail::find_device_by_name(name);
    if (!device) return std::nullopt;
    return device->output_lines();
}

void close_all_devices() {
    std::vector<Handle> handles;
    {
        auto& s = detail::comm_state();
        std::lock_guard lk(s.lock);
        for (auto& [h, d] : s.devices) handles.push_back(h);
    }
    for (Handle h : handles) close_device(h);
}

}  // namespace test

}  // namespace platform::comm
