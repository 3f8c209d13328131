// Internal to platform/comm: one open device and its driver thread.
//
// Lock: `mu` guards every member below it. It is never held while a request's completion runs or
// while poll() sleeps. A request's own mutex is taken inside `mu` (never the other way round).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/comm/comm.h"
#include "platform/comm/test_hooks.h"

namespace platform::comm::detail {

using Clock = std::chrono::steady_clock;

struct RequestState {
    std::mutex mu;
    std::condition_variable cv;
    bool pending = false;
    IoResult result;
    std::function<void(const IoResult&)> on_complete;
};

struct RequestAccess {
    static std::shared_ptr<RequestState>& state(Request& r) { return r.state_; }
};

// Completions gathered under the device lock and delivered after it is released.
using Completions = std::vector<std::pair<std::shared_ptr<RequestState>, IoResult>>;
void deliver(Completions& completions);

// A deadline from a time-out, or none for an infinite one.
std::optional<Clock::time_point> deadline_after(Timeout timeout);

class Device : public std::enable_shared_from_this<Device> {
  public:
    Device(int fd, int wake_fd, std::string path);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Starts the driver thread; false when no thread could be made.
    bool start();
    // Completes everything with Status::closed, ends the driver thread, releases the lock and the
    // descriptors. Safe from the driver thread itself (a completion that closes its device).
    void shutdown();

    const std::string& path() const { return path_; }

    // The operations of comm.h, on this device.
    Error get_state(DeviceState& state);
    Error set_state(const DeviceState& state);
    Error setup_queues(std::uint32_t in_size, std::uint32_t out_size);
    Error set_timeouts(const Timeouts& timeouts);
    Error get_timeouts(Timeouts& timeouts);
    Error set_event_mask(std::uint32_t mask);
    Error get_event_mask(std::uint32_t& mask);
    Error set_receive_level(std::uint32_t bytes);
    Error clear_errors(std::uint32_t& errors, QueueStatus* status);
    Error modem_status(std::uint32_t& lines);
    Error escape(Escape function);
    Error purge(std::uint32_t flags);
    Error cancel_io();
    IoResult start_read(void* buffer, std::size_t size, const std::shared_ptr<RequestState>& request,
                        std::optional<Timeout> wait);
    IoResult start_write(const void* data, std::size_t size, const std::shared_ptr<RequestState>& request,
                         std::optional<Timeout> wait);
    IoResult start_wait_event(const std::shared_ptr<RequestState>& request, std::optional<Timeout> wait);

    // Test hooks.
    Error set_modem_lines(std::uint32_t lines);
    Error raise_line_error(std::uint32_t bits);
    test::OutputLines output_lines();

    // Set once at open, before the driver starts.
    void init_lines(bool modem_from_tty, std::uint32_t lines, bool icount_ok);

  private:
    struct PendingRead {
        std::shared_ptr<RequestState> request;
        std::uint8_t* buffer;
        std::size_t size;
        std::optional<Clock::time_point> deadline;
    };
    struct PendingWrite {
        std::shared_ptr<RequestState> request;
        std::vector<std::uint8_t> data;
        std::size_t done;
        std::optional<Clock::time_point> deadline;
    };

    void run();
    void wake();
    Error closed_error() const;

    // All with `mu` held.
    void raise_locked(std::uint32_t events, Completions& c);
    void on_input_locked(const std::uint8_t* bytes, std::size_t n, Completions& c);
    // True when bytes were taken (or there is no room for them now).
    bool read_tty_locked(Completions& c);
    void serve_reads_locked(Completions& c);
    void write_tty_locked(Completions& c);
    bool output_held_locked() const;
    void input_flow_locked();
    void send_flow_char_locked(bool xoff);
    void poll_lines_locked(Completions& c);
    void set_lines_locked(std::uint32_t lines, Completions& c);
    void check_tx_empty_locked(Completions& c);
    void expire_locked(Clock::time_point now, Completions& c);
    void mark_lost_locked(Error cause, Completions& c);
    void fail_all_locked(Status status, const Error& cause, Completions& c);
    Error set_output_line_locked(int line, bool on);
    Error set_break_locked(bool on);
    std::optional<Clock::time_point> next_deadline_locked() const;
    // When the bytes the receive level still lacks can have arrived, while that is ahead.
    std::optional<Clock::time_point> level_due_locked() const;
    void release_hold_locked(Completions& c);

    const std::string path_;
    std::thread driver_;
    std::thread::id driver_id_;

    std::mutex mu_;
    int fd_;
    int wake_fd_;
    bool stopping_ = false;
    bool lost_ = false;
    Error lost_error_;
    DeviceState state_;
    Timeouts timeouts_;
    std::uint32_t in_size_ = 4096;
    std::uint32_t out_size_ = 4096;
    std::deque<std::uint8_t> input_;
    std::uint32_t errors_ = 0;
    bool held_by_xoff_ = false;
    bool xoff_sent_ = false;
    bool modem_from_tty_ = false;
    bool modem_simulated_ = false;
    std::uint32_t lines_ = 0;
    bool icount_ok_ = false;
    int icount_[6] = {0, 0, 0, 0, 0, 0};  // frame, parity, overrun, brk, buf_overrun, rng
    bool dtr_ = false;
    bool rts_ = false;
    bool break_on_ = false;
    std::uint32_t mask_ = 0;
    std::uint32_t seen_ = 0;
    std::shared_ptr<RequestState> wait_request_;
    std::optional<Clock::time_point> wait_deadline_;
    std::deque<PendingRead> reads_;
    std::deque<PendingWrite> writes_;
    bool tx_empty_check_ = false;
    std::uint32_t rx_level_ = 1;         // rx_char is raised once the input queue holds this many bytes
    Clock::time_point last_input_at_{};  // when bytes were last taken from the tty
    bool input_polled_ = true;           // the driver's poll set asks for input
};

// The process's open devices, by handle. One struct with one accessor, so tests can find and
// reset it (test::close_all_devices).
struct CommState {
    std::mutex lock;  // guards the map and next_handle; never held while a device call runs
    std::vector<std::pair<Handle, std::shared_ptr<Device>>> devices;
    Handle next_handle = 1;
};
CommState& comm_state();

std::shared_ptr<Device> find_device(Handle handle);
std::shared_ptr<Device> find_device_by_name(std::string_view name, Handle* handle = nullptr);

}  // namespace platform::comm::detail
