// One open device: the operations and the driver thread that stands in for a serial driver.
#include "platform/comm/device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/comm/termios_map.h"

namespace platform::comm::detail {

namespace {

// How often the driver looks at modem lines and error counters of a tty that has them. Short
// enough for the port layer's 50-ms passes; a pseudo-terminal has neither and never ticks.
constexpr auto kLinePollInterval = std::chrono::milliseconds(20);
// Largest single read from the tty.
constexpr std::size_t kReadChunk = 4096;

std::uint32_t lines_from_tiocm(int bits) {
    std::uint32_t lines = 0;
    if (bits & TIOCM_CTS) lines |= modem::cts;
    if (bits & TIOCM_DSR) lines |= modem::dsr;
    if (bits & TIOCM_RI) lines |= modem::ring;
    if (bits & TIOCM_CD) lines |= modem::dcd;
    return lines;
}

// A tty without modem control answers these; the shadow then stands in.
bool no_such_control(int e) {
    return e == ENOTTY || e == EINVAL || e == ENOSYS || e == EOPNOTSUPP;
}

IoResult result_of(Status status, std::size_t bytes = 0, std::uint32_t events = 0, Error error = {}) {
    IoResult r;
    r.status = status;
    r.bytes = bytes;
    r.events = events;
    r.error = std::move(error);
    return r;
}

}  // namespace

void deliver(Completions& completions) {
    for (auto& [request, result] : completions) {
        std::function<void(const IoResult&)> callback;
        {
            std::lock_guard lk(request->mu);
            request->result = result;  // the callback gets its own copy: the request may be restarted
            request->pending = false;
            callback = request->on_complete;
        }
        request->cv.notify_all();
        if (callback) callback(result);
    }
    completions.clear();
}

std::optional<Clock::time_point> deadline_after(Timeout timeout) {
    if (timeout == infinite) return std::nullopt;
    if (timeout.count() < 0) timeout = Timeout(0);
    return Clock::now() + timeout;
}

Device::Device(int fd, int wake_fd, std::string path) : path_(std::move(path)), fd_(fd), wake_fd_(wake_fd) {}

Device::~Device() {
    // shutdown() joins or detaches; a device that never started has no thread.
    if (driver_.joinable()) driver_.detach();
    if (fd_ >= 0) ::close(fd_);
    if (wake_fd_ >= 0) ::close(wake_fd_);
}

void Device::init_lines(bool modem_from_tty, std::uint32_t lines, bool icount_ok) {
    std::lock_guard lk(mu_);
    modem_from_tty_ = modem_from_tty;
    lines_ = lines;
    icount_ok_ = icount_ok;
    if (icount_ok_) {
        serial_icounter_struct ic{};
        if (::ioctl(fd_, TIOCGICOUNT, &ic) == 0) {
            icount_[0] = ic.frame;
            icount_[1] = ic.parity;
            icount_[2] = ic.overrun;
            icount_[3] = ic.brk;
            icount_[4] = ic.buf_overrun;
            icount_[5] = ic.rng;
        }
    }
    // The default state has DTR and RTS enabled; what the tty has is set by the first state write.
    dtr_ = true;
    rts_ = true;
}

bool Device::start() {
    try {
        auto self = shared_from_this();
        driver_ = std::thread([self] { self->run(); });
        driver_id_ = driver_.get_id();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void Device::wake() {
    std::uint64_t one = 1;
    if (wake_fd_ >= 0) [[maybe_unused]]
        auto n = ::write(wake_fd_, &one, sizeof one);
}

Error Device::closed_error() const {
    return layer_error(error::invalid_handle, path_);
}

void Device::shutdown() {
    Completions c;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return;
        stopping_ = true;
        fail_all_locked(Status::closed, layer_error(error::invalid_handle, "closed"), c);
        wake();
    }
    if (driver_.joinable()) {
        if (std::this_thread::get_id() == driver_id_)
            driver_.detach();  // closed from a completion on the driver thread: it ends on its own
        else
            driver_.join();
    }
    {
        std::lock_guard lk(mu_);
        if (fd_ >= 0) {
            ::ioctl(fd_, TIOCNXCL);
            ::tcflow(fd_, TCOON);  // never leave the tty stopped for the next opener
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
            fd_ = -1;
        }
        // The wake descriptor stays until the object goes: a detached driver may still poll it.
    }
    deliver(c);
}

// ---------------------------------------------------------------------------------------------
// The driver thread
// ---------------------------------------------------------------------------------------------

std::optional<Clock::time_point> Device::level_due_locked() const {
    // Below the receive level, with nobody waiting on a read, the bytes still missing cannot all
    // be there before the line has carried them: until then nothing is taken from the tty, so a
    // frame arriving byte by byte wakes this thread twice rather than once a byte. The last of
    // them is taken as it arrives; a sender faster than the line rate (a pseudo-terminal) waits
    // at most that line time.
    if (input_.empty() || input_.size() >= rx_level_ || !reads_.empty() || state_.baud == 0)
        return std::nullopt;
    std::uint32_t bits = 2u + state_.data_bits;  // start, data, stop
    if (state_.parity != Parity::none) ++bits;
    if (state_.stop_bits != StopBits::one) ++bits;
    const std::uint64_t missing = rx_level_ - input_.size();
    const auto line_time = std::chrono::nanoseconds(missing * bits * 1'000'000'000ull / state_.baud);
    const auto due = last_input_at_ + std::chrono::duration_cast<Clock::duration>(line_time);
    if (due <= Clock::now()) return std::nullopt;
    return due;
}

std::optional<Clock::time_point> Device::next_deadline_locked() const {
    std::optional<Clock::time_point> next;
    auto consider = [&](const std::optional<Clock::time_point>& d) {
        if (d && (!next || *d < *next)) next = d;
    };
    consider(level_due_locked());
    for (const auto& r : reads_) consider(r.deadline);
    for (const auto& w : writes_) consider(w.deadline);
    if (wait_request_) consider(wait_deadline_);
    if (!lost_ && ((modem_from_tty_ && !modem_simulated_) || icount_ok_ || tx_empty_check_))
        consider(Clock::now() + kLinePollInterval);
    return next;
}

void Device::run() {
    ::pthread_setname_np(::pthread_self(), "zor-device");
    std::unique_lock lk(mu_);
    while (!stopping_) {
        pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {fd_, 0, 0}};
        nfds_t count = 1;
        if (!lost_ && fd_ >= 0) {
            short want = 0;
            if (input_.size() < in_size_ && !level_due_locked()) want |= POLLIN;
            input_polled_ = (want & POLLIN) != 0;
            if (!writes_.empty() && !output_held_locked()) want |= POLLOUT;
            fds[1].events = want;
            count = 2;
        }
        int timeout_ms = -1;
        if (auto deadline = next_deadline_locked()) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            timeout_ms = static_cast<int>(std::clamp<long long>(left, 0, 60'000));
        }
        lk.unlock();
        int ready = ::poll(fds, count, timeout_ms);
        int poll_errno = errno;
        lk.lock();
        if (stopping_) break;
        if (fds[0].revents & POLLIN) {
            std::uint64_t drained;
            [[maybe_unused]] auto n = ::read(wake_fd_, &drained, sizeof drained);
        }
        Completions c;
        if (ready < 0 && poll_errno != EINTR) {
            mark_lost_locked(os_error(error::device_failure, poll_errno, "poll " + path_), c);
        } else if (ready > 0 && count == 2 && fds[1].revents != 0) {
            short rev = fds[1].revents;
            // Only the system says the line is gone: a hang-up or error from poll, or a failing
            // read. A read that finds nothing after POLLIN is no hang-up: a purge may have taken
            // the input between the poll and the read.
            bool got_input = false;
            if (rev & POLLIN) got_input = read_tty_locked(c);
            if (!got_input && (rev & (POLLHUP | POLLERR | POLLNVAL)))
                mark_lost_locked(layer_error(error::device_failure, path_ + " hung up"), c);
            if (!lost_ && (rev & POLLOUT)) write_tty_locked(c);
        }
        poll_lines_locked(c);
        check_tx_empty_locked(c);
        expire_locked(Clock::now(), c);
        serve_reads_locked(c);
        if (!c.empty()) {
            lk.unlock();
            deliver(c);
            lk.lock();
        }
    }
}

bool Device::read_tty_locked(Completions& c) {
    std::size_t room = in_size_ > input_.size() ? in_size_ - input_.size() : 0;
    if (room == 0) return true;  // not read now; the line's state is looked at once there is room
    std::uint8_t buffer[kReadChunk];
    ssize_t n = ::read(fd_, buffer, std::min(room, sizeof buffer));
    if (n > 0) {
        on_input_locked(buffer, static_cast<std::size_t>(n), c);
        return true;
    }
    // 0 bytes (with VMIN and VTIME 0: nothing there, e.g. purged since the poll) and EAGAIN
    // say nothing about the line; EIO and the like are a device that has gone.
    if (n < 0 && errno != EAGAIN && errno != EINTR)
        mark_lost_locked(os_error(error::device_failure, errno, "read " + path_), c);
    return false;
}

void Device::on_input_locked(const std::uint8_t* bytes, std::size_t n, Completions& c) {
    std::uint32_t events = 0;
    bool released = false;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t b = bytes[i];
        if (state_.xon_xoff_out) {
            if (b == static_cast<std::uint8_t>(state_.xoff_char)) {
                held_by_xoff_ = true;
                ::tcflow(fd_, TCOOFF);
                continue;
            }
            if (b == static_cast<std::uint8_t>(state_.xon_char)) {
                if (held_by_xoff_) released = true;
                held_by_xoff_ = false;
                ::tcflow(fd_, TCOON);
                continue;
            }
        }
        if (state_.strip_null && b == 0) continue;
        if (input_.size() >= in_size_) {
            errors_ |= line_errors::rx_overflow;
            events |= events::line_error;
            continue;
        }
        input_.push_back(b);
        events |= events::rx_char;
        if (b == static_cast<std::uint8_t>(state_.event_char)) events |= events::rx_flag;
    }
    // Below the receive level the bytes wait in the queue without an event, as in a UART's FIFO.
    if (input_.size() < rx_level_) events &= ~events::rx_char;
    last_input_at_ = Clock::now();
    input_flow_locked();
    raise_locked(events, c);
    if (released) write_tty_locked(c);
}

bool Device::output_held_locked() const {
    if (held_by_xoff_) return true;
    if (state_.cts_output_flow && !(lines_ & modem::cts)) return true;
    if (state_.dsr_output_flow && !(lines_ & modem::dsr)) return true;
    return false;
}

void Device::write_tty_locked(Completions& c) {
    while (!writes_.empty() && !output_held_locked() && !lost_) {
        PendingWrite& w = writes_.front();
        ssize_t n = ::write(fd_, w.data.data() + w.done, w.data.size() - w.done);
        if (n > 0) {
            w.done += static_cast<std::size_t>(n);
            if (w.done == w.data.size()) {
                c.emplace_back(w.request, result_of(Status::ok, w.done));
                writes_.pop_front();
                // The tty's own queue is watched until it empties only when someone waits for that.
                if (writes_.empty() && (mask_ & events::tx_empty)) tx_empty_check_ = true;
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;  // the tty is full (or stopped)
        if (n < 0 && errno == EIO) {
            mark_lost_locked(os_error(error::device_failure, errno, "write " + path_), c);
            return;
        }
        // Any other failure ends this write; its unsent rest is dropped, and the caller is told.
        int e = n < 0 ? errno : EIO;
        c.emplace_back(w.request, result_of(Status::failed, w.done, 0,
                                            os_error(io_error_from_errno(e), e, "write " + path_)));
        writes_.pop_front();
    }
}

void Device::check_tx_empty_locked(Completions& c) {
    if (!tx_empty_check_ || !writes_.empty()) return;
    int queued = 0;
    if (!lost_ && ::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) return;  // look again next tick
    tx_empty_check_ = false;
    raise_locked(events::tx_empty, c);
}

void Device::send_flow_char_locked(bool xoff) {
    // tcflow sends the VSTOP / VSTART characters, which to_termios keeps equal to ours.
    if (::tcflow(fd_, xoff ? TCIOFF : TCION) == 0) return;
    char ch = xoff ? state_.xoff_char : state_.xon_char;
    [[maybe_unused]] auto n = ::write(fd_, &ch, 1);
}

void Device::input_flow_locked() {
    if (lost_) return;
    if (!state_.xon_xoff_in) {
        if (xoff_sent_) {  // flow control switched off while the peer was held: release it
            send_flow_char_locked(false);
            xoff_sent_ = false;
        }
        return;
    }
    std::size_t fill = input_.size();
    std::size_t free = in_size_ > fill ? in_size_ - fill : 0;
    if (!xoff_sent_ && free < state_.xoff_limit) {
        send_flow_char_locked(true);
        xoff_sent_ = true;
    } else if (xoff_sent_ && fill <= state_.xon_limit) {
        send_flow_char_locked(false);
        xoff_sent_ = false;
    }
}

void Device::raise_locked(std::uint32_t events, Completions& c) {
    seen_ |= events & mask_;
    if (wait_request_ && seen_ != 0) {
        c.emplace_back(wait_request_, result_of(Status::ok, 0, seen_));
        wait_request_.reset();
        wait_deadline_.reset();
        seen_ = 0;
    }
}

void Device::set_lines_locked(std::uint32_t lines, Completions& c) {
    std::uint32_t changed = lines ^ lines_;
    bool was_held = output_held_locked();
    std::uint32_t events = 0;
    if (changed & modem::cts) events |= events::cts;
    if (changed & modem::dsr) events |= events::dsr;
    if (changed & modem::dcd) events |= events::rlsd;
    if ((changed & modem::ring) && (lines & modem::ring)) events |= events::ring;
    lines_ = lines;
    raise_locked(events, c);
    if (was_held && !output_held_locked()) write_tty_locked(c);
}

void Device::poll_lines_locked(Completions& c) {
    if (lost_ || fd_ < 0) return;
    if (modem_from_tty_ && !modem_simulated_) {
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) == 0) set_lines_locked(lines_from_tiocm(bits), c);
    }
    if (icount_ok_) {
        serial_icounter_struct ic{};
        if (::ioctl(fd_, TIOCGICOUNT, &ic) != 0) return;
        int now[6] = {ic.frame, ic.parity, ic.overrun, ic.brk, ic.buf_overrun, ic.rng};
        std::uint32_t bits = 0;
        std::uint32_t events = 0;
        if (now[0] != icount_[0]) bits |= line_errors::framing;
        if (now[1] != icount_[1]) bits |= line_errors::parity;
        if (now[2] != icount_[2]) bits |= line_errors::overrun;
        if (now[4] != icount_[4]) bits |= line_errors::rx_overflow;
        if (now[3] != icount_[3]) {
            bits |= line_errors::break_detected;
            events |= events::break_detected;
        }
        if (now[5] != icount_[5]) events |= events::ring;  // a ring shorter than one tick
        if (bits & ~line_errors::break_detected) events |= events::line_error;
        std::copy(std::begin(now), std::end(now), std::begin(icount_));
        errors_ |= bits;
        raise_locked(events, c);
    }
}

void Device::expire_locked(Clock::time_point now, Completions& c) {
    for (auto it = reads_.begin(); it != reads_.end();) {
        if (it->deadline && *it->deadline <= now) {
            c.emplace_back(it->request, result_of(Status::timed_out));
            it = reads_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = writes_.begin(); it != writes_.end();) {
        if (it->deadline && *it->deadline <= now) {
            c.emplace_back(it->request, result_of(Status::timed_out, it->done));
            it = writes_.erase(it);
        } else {
            ++it;
        }
    }
    if (wait_request_ && wait_deadline_ && *wait_deadline_ <= now) {
        c.emplace_back(wait_request_, result_of(Status::timed_out));
        wait_request_.reset();
        wait_deadline_.reset();
    }
}

void Device::serve_reads_locked(Completions& c) {
    while (!reads_.empty() && !input_.empty()) {
        PendingRead r = std::move(reads_.front());
        reads_.pop_front();
        std::size_t n = std::min(r.size, input_.size());
        std::copy_n(input_.begin(), n, r.buffer);
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
        c.emplace_back(r.request, result_of(Status::ok, n));
    }
    if (!reads_.empty() && lost_) {
        for (auto& r : reads_) c.emplace_back(r.request, result_of(Status::disconnected, 0, 0, lost_error_));
        reads_.clear();
    }
    input_flow_locked();
}

void Device::fail_all_locked(Status status, const Error& cause, Completions& c) {
    for (auto& r : reads_) c.emplace_back(r.request, result_of(status, 0, 0, cause));
    reads_.clear();
    for (auto& w : writes_) c.emplace_back(w.request, result_of(status, w.done, 0, cause));
    writes_.clear();
    if (wait_request_) c.emplace_back(wait_request_, result_of(status, 0, 0, cause));
    wait_request_.reset();
    wait_deadline_.reset();
}

void Device::mark_lost_locked(Error cause, Completions& c) {
    if (lost_) return;
    lost_ = true;
    lost_error_ = cause;
    for (auto& w : writes_) c.emplace_back(w.request, result_of(Status::disconnected, w.done, 0, cause));
    writes_.clear();
    if (wait_request_) c.emplace_back(wait_request_, result_of(Status::disconnected, 0, 0, cause));
    wait_request_.reset();
    wait_deadline_.reset();
    // Reads keep what is queued; serve_reads_locked fails the rest.
}

void Device::release_hold_locked(Completions& c) {
    if (!held_by_xoff_) return;
    held_by_xoff_ = false;
    ::tcflow(fd_, TCOON);
    write_tty_locked(c);
}

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

Error Device::get_state(DeviceState& state) {
    std::lock_guard lk(mu_);
    if (stopping_) return closed_error();
    state = state_;
    return {};
}

Error Device::set_state(const DeviceState& state) {
    Completions c;
    Error err;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return closed_error();
        if (!valid_state(state)) return layer_error(error::invalid_parameter, "device state for " + path_);
        termios t{};
        if (::tcgetattr(fd_, &t) != 0)
            return os_error(io_error_from_errno(errno), errno, "tcgetattr " + path_);
        to_termios(state, t);
        if (::tcsetattr(fd_, TCSANOW, &t) != 0)
            return os_error(io_error_from_errno(errno), errno, "tcsetattr " + path_);
        if (standard_speed(state.baud) == 0) {
            if (int e = set_custom_baud(fd_, state.baud); e != 0)
                return os_error(io_error_from_errno(e), e,
                                "set " + std::to_string(state.baud) + " baud on " + path_);
        }
        DeviceState old = state_;
        state_ = state;
        bool dtr_on = state.dtr_control != DtrControl::disable;
        bool rts_on = state.rts_control == RtsControl::enable || state.rts_control == RtsControl::handshake;
        if (Error e = set_output_line_locked(TIOCM_DTR, dtr_on)) err = e;
        if (Error e = set_output_line_locked(TIOCM_RTS, rts_on)) err = e;
        if (old.xon_xoff_out && !state.xon_xoff_out) release_hold_locked(c);
        input_flow_locked();
        write_tty_locked(c);
    }
    deliver(c);
    return err;
}

Error Device::setup_queues(std::uint32_t in_size, std::uint32_t out_size) {
    constexpr std::uint32_t kMin = 16, kMax = 1u << 20;
    if (in_size < kMin || in_size > kMax || out_size < kMin || out_size > kMax)
        return layer_error(error::invalid_parameter, "queue sizes for " + path_);
    {
        std::lock_guard lk(mu_);
        if (stopping_) return closed_error();
        in_size_ = in_size;
        out_size_ = out_size;
        input_flow_locked();
    }
    wake();  // the room for input may have changed
    return {};
}

Error Device::set_timeouts(const Timeouts& timeouts) {
    std::lock_guard lk(mu_);
    if (stopping_) return closed_error();
    timeouts_ = timeouts;
    return {};
}

Error Device::get_timeouts(Timeouts& timeouts) {
    std::lock_guard lk(mu_);
    if (stopping_) return closed_error();
    timeouts = timeouts_;
    return {};
}

Error Device::set_event_mask(std::uint32_t mask) {
    if (mask & ~events::all) return layer_error(error::invalid_parameter, "event mask for " + path_);
    Completions c;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return closed_error();
        mask_ = mask;
        seen_ = 0;
        if (wait_request_) {
            c.emplace_back(wait_request_, result_of(Status::ok, 0, 0));
            wait_request_.reset();
            wait_deadline_.reset();
        }
    }
    deliver(c);
    return {};
}

Error Device::set_receive_level(std::uint32_t bytes) {
    Completions c;
    bool wake_driver = false;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return closed_error();
        rx_level_ = std::max<std::uint32_t>(bytes, 1);
        // A level lowered to what the queue already holds is reached now.
        if (!input_.empty() && input_.size() >= rx_level_) raise_locked(events::rx_char, c);
        // A driver that waits out the line time of the old level plans anew.
        wake_driver = !input_polled_;
    }
    if (wake_driver) wake();
    deliver(c);
    return {};
}

Error Device::get_event_mask(std::uint32_t& mask) {
    std::lock_guard lk(mu_);
    if (stopping_) return closed_error();
    mask = mask_;
    return {};
}

Error Device::clear_errors(std::uint32_t& errors, QueueStatus* status) {
    std::lock_guard lk(mu_);
    if (stopping_) return closed_error();
    errors = errors_;
    errors_ = 0;
    if (status) {
        status->hold = 0;
        if (state_.cts_output_flow && !(lines_ & modem::cts)) status->hold |= hold::cts;
        if (state_.dsr_output_flow && !(lines_ & modem::dsr)) status->hold |= hold::dsr;
        if (held_by_xoff_) status->hold |= hold::xoff_received;
        if (xoff_sent_) status->hold |= hold::xoff_sent;
        status->in_queue = static_cast<std::uint32_t>(input_.size());
        std::size_t out = 0;
        for (const auto& w : writes_) out += w.data.size() - w.done;
        status->out_queue = static_cast<std::uint32_t>(out);
    }
    return {};
}

Error Device::modem_status(std::uint32_t& lines) {
    std::lock_guard lk(mu_);
    if (stopping_) return closed_error();
    if (modem_from_tty_ && !modem_simulated_ && !lost_) {
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) == 0) {
            lines = lines_from_tiocm(bits);
            return {};
        }
    }
    lines = lines_;
    return {};
}

Error Device::set_output_line_locked(int line, bool on) {
    if (line == TIOCM_DTR) dtr_ = on;
    if (line == TIOCM_RTS) rts_ = on;
    if (lost_) return {};
    int bits = line;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !no_such_control(errno))
        return os_error(error::device_failure, errno, "set modem line of " + path_);
    return {};
}

Error Device::set_break_locked(bool on) {
    break_on_ = on;
    if (lost_) return {};
    if (::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) != 0 && !no_such_control(errno))
        return os_error(error::device_failure, errno, "break on " + path_);
    return {};
}

Error Device::escape(Escape function) {
    Completions c;
    Error err;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return closed_error();
        switch (function) {
            case Escape::set_xoff:
                held_by_xoff_ = true;
                ::tcflow(fd_, TCOOFF);
                break;
            case Escape::set_xon:
                release_hold_locked(c);
                break;
            case Escape::set_rts:
                err = set_output_line_locked(TIOCM_RTS, true);
                break;
            case Escape::clear_rts:
                err = set_output_line_locked(TIOCM_RTS, false);
                break;
            case Escape::set_dtr:
                err = set_output_line_locked(TIOCM_DTR, true);
                break;
            case Escape::clear_dtr:
                err = set_output_line_locked(TIOCM_DTR, false);
                break;
            case Escape::set_break:
                err = set_break_locked(true);
                break;
            case Escape::clear_break:
                err = set_break_locked(false);
                break;
            default:
                err = layer_error(error::invalid_parameter, "escape function");
                break;
        }
    }
    deliver(c);
    return err;
}

Error Device::purge(std::uint32_t flags) {
    if (flags & ~0xFu) return layer_error(error::invalid_parameter, "purge flags");
    Completions c;
    Error err;
    bool wake_driver = false;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return closed_error();
        // The driver thread is woken only when its poll set changes: input it had stopped taking
        // (a full queue, or bytes below the receive level) is taken again, or writes it was
        // waiting to write are gone.
        wake_driver = ((flags & purge_flags::rx_clear) && !input_polled_) ||
                      ((flags & purge_flags::tx_abort) && !writes_.empty());
        Error aborted = layer_error(error::operation_aborted, "purge");
        if (flags & purge_flags::tx_abort) {
            for (auto& w : writes_) c.emplace_back(w.request, result_of(Status::aborted, w.done, 0, aborted));
            writes_.clear();
        }
        if (flags & purge_flags::rx_abort) {
            for (auto& r : reads_) c.emplace_back(r.request, result_of(Status::aborted, 0, 0, aborted));
            reads_.clear();
        }
        if ((flags & purge_flags::tx_clear) && !lost_ && ::tcflush(fd_, TCOFLUSH) != 0)
            err = os_error(io_error_from_errno(errno), errno, "tcflush " + path_);
        if (flags & purge_flags::rx_clear) {
            input_.clear();
            if (!lost_ && ::tcflush(fd_, TCIFLUSH) != 0)
                err = os_error(io_error_from_errno(errno), errno, "tcflush " + path_);
            input_flow_locked();
        }
    }
    if (wake_driver) wake();
    deliver(c);
    return err;
}

Error Device::cancel_io() {
    Completions c;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return closed_error();
        fail_all_locked(Status::aborted, layer_error(error::operation_aborted, "cancelled"), c);
    }
    deliver(c);
    return {};
}

IoResult Device::start_read(void* buffer, std::size_t size, const std::shared_ptr<RequestState>& request,
                            std::optional<Timeout> wait) {
    Completions c;
    IoResult out;
    bool wake_driver = false;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return result_of(Status::closed, 0, 0, closed_error());
        auto* bytes = static_cast<std::uint8_t*>(buffer);
        Timeout first = wait ? *wait : timeouts_.read_first_byte;
        // The driver stopped taking input (a full queue, or bytes below the receive level): it
        // must look at the tty again once these are taken.
        wake_driver = !input_polled_;
        if (!input_.empty() || size == 0) {
            std::size_t n = std::min(size, input_.size());
            std::copy_n(input_.begin(), n, bytes);
            input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
            input_flow_locked();
            out = result_of(Status::ok, n);
        } else if (lost_) {
            out = result_of(Status::disconnected, 0, 0, lost_error_);
        } else if (first.count() <= 0) {
            out = result_of(Status::timed_out);
        } else {
            {
                std::lock_guard rl(request->mu);
                request->pending = true;
            }
            reads_.push_back({request, bytes, size, deadline_after(first)});
            out = result_of(Status::pending);
            wake_driver = true;  // a deadline to keep
        }
        if (out.status != Status::pending) c.emplace_back(request, out);
    }
    if (wake_driver) wake();
    deliver(c);
    return out;
}

IoResult Device::start_write(const void* data, std::size_t size, const std::shared_ptr<RequestState>& request,
                             std::optional<Timeout> wait) {
    Completions c;
    IoResult out;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return result_of(Status::closed, 0, 0, closed_error());
        if (lost_) {
            out = result_of(Status::disconnected, 0, 0, lost_error_);
            c.emplace_back(request, out);
        } else if (size == 0) {
            out = result_of(Status::ok, 0);
            c.emplace_back(request, out);
        } else {
            {
                std::lock_guard rl(request->mu);
                request->pending = true;
            }
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            writes_.push_back({request, std::vector<std::uint8_t>(bytes, bytes + size), 0,
                               deadline_after(wait ? *wait : timeouts_.write_total)});
            write_tty_locked(c);
            // Completed at once when it is among the completions just gathered.
            out = result_of(Status::pending);
            for (auto& [req, res] : c)
                if (req == request) out = res;
        }
    }
    if (out.status == Status::pending) wake();
    deliver(c);
    return out;
}

IoResult Device::start_wait_event(const std::shared_ptr<RequestState>& request, std::optional<Timeout> wait) {
    Completions c;
    IoResult out;
    bool timed = false;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return result_of(Status::closed, 0, 0, closed_error());
        if (wait_request_)
            return result_of(Status::failed, 0, 0,
                             layer_error(error::invalid_parameter, "a wait is already pending"));
        if (seen_ & mask_) {
            out = result_of(Status::ok, 0, seen_ & mask_);
            seen_ = 0;
            c.emplace_back(request, out);
        } else if (lost_) {
            out = result_of(Status::disconnected, 0, 0, lost_error_);
            c.emplace_back(request, out);
        } else {
            {
                std::lock_guard rl(request->mu);
                request->pending = true;
            }
            wait_request_ = request;
            wait_deadline_ = wait ? deadline_after(*wait) : std::nullopt;
            timed = wait_deadline_.has_value();
            out = result_of(Status::pending);
        }
    }
    // The driver thread has a deadline to keep only for a wait with a time-out; a wait without
    // one is completed by what the driver sees anyway.
    if (timed) wake();
    deliver(c);
    return out;
}

Error Device::set_modem_lines(std::uint32_t lines) {
    Completions c;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return closed_error();
        modem_simulated_ = true;
        set_lines_locked(lines & (modem::cts | modem::dsr | modem::ring | modem::dcd), c);
    }
    deliver(c);
    return {};
}

Error Device::raise_line_error(std::uint32_t bits) {
    Completions c;
    {
        std::lock_guard lk(mu_);
        if (stopping_) return closed_error();
        bits &= 0x1F;
        errors_ |= bits;
        std::uint32_t events = 0;
        if (bits & ~line_errors::break_detected) events |= events::line_error;
        if (bits & line_errors::break_detected) events |= events::break_detected;
        raise_locked(events, c);
    }
    deliver(c);
    return {};
}

test::OutputLines Device::output_lines() {
    std::lock_guard lk(mu_);
    return test::OutputLines{dtr_, rts_, break_on_};
}

}  // namespace platform::comm::detail
