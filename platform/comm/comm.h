// platform/comm: serial devices for the port layer, on Linux ttys through termios.
//
// The model
// ---------
// - A device is opened by name: "\\.\COM<n>" (as the port layer formats it), "COM<n>" (any letter
//   case, n >= 1) or an absolute path ("/dev/ttyUSB0"). COM<n> resolves to a path in this order:
//   the environment variable ZOR_COM<n>; the registry store's string value "COM<n>" under
//   HKEY_LOCAL_MACHINE "\HARDWARE\DEVICEMAP\SERIALCOMM" (when this build has the registry);
//   /dev/ttyS<n-1>. See resolve_device_path().
// - The open is exclusive: an advisory lock (flock) that every opener in this or another process
//   meets, plus TIOCEXCL for programs that do not lock. A second open gives error 5; a name without
//   a device behind it gives 2 (3 for a malformed name). The tty is put in raw mode at 9600 8N1
//   with both queues flushed, so a device always starts empty.
// - Each open device has a driver thread of its own that stands in for a serial driver: it moves
//   bytes between the tty and the device's input queue and pending writes, does XON/XOFF in both
//   directions itself (so that "held by a received XOFF" and "XOFF sent" show in the queue
//   status), watches modem lines and line errors where the tty reports them, notices a hang-up,
//   and turns all of that into device events.
// - Operations take a Handle. Any thread may call any operation. A closed or unknown handle gives
//   error 6. Closing completes every pending request with Status::closed, so nothing waits forever
//   on a closed device.
// - Reads, writes and event waits are overlapped-style: start_read / start_write /
//   start_wait_event return at once, either completed or pending on a Request, which completes
//   later (on the driver thread). The blocking helpers read / write / wait_event wrap them with a
//   time-out.
// - Time-out is a result of its own (Status::timed_out), distinct from closed, disconnected and
//   an OS failure; an OS failure keeps errno and a message captured where it happened.
//
// What a pseudo-terminal cannot show (modem lines, breaks, line errors) is raised on an open device
// by the test hooks in platform/comm/test_hooks.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform::comm {

// ---------------------------------------------------------------------------------------------
// Errors and results
// ---------------------------------------------------------------------------------------------

// System error numbers in the numbering the serial layer expects. Everything that can reach the
// port layer's error mapper lies in 2..162, so it is reported there as an I/O error with its
// code; 995 and 1460 only describe requests and never need mapping.
namespace error {
inline constexpr std::uint32_t none = 0;
inline constexpr std::uint32_t file_not_found = 2;       // no device behind the name
inline constexpr std::uint32_t path_not_found = 3;       // malformed device name
inline constexpr std::uint32_t too_many_open_files = 4;  // EMFILE, ENFILE
inline constexpr std::uint32_t access_denied = 5;        // in use: another holder's lock or TIOCEXCL
inline constexpr std::uint32_t permission_denied = 65;   // no permission (EACCES, EPERM, EROFS)
inline constexpr std::uint32_t invalid_handle = 6;       // closed or unknown handle
inline constexpr std::uint32_t not_enough_memory = 8;    // ENOMEM, no thread or eventfd
inline constexpr std::uint32_t device_failure = 31;      // the device failed or went away
inline constexpr std::uint32_t invalid_parameter = 87;   // a value the device cannot take
inline constexpr std::uint32_t operation_aborted = 995;  // purged or cancelled
inline constexpr std::uint32_t timed_out = 1460;         // the request's own time-out ran out
}  // namespace error

struct Error {
    std::uint32_t code = error::none;  // see namespace error; 0 = no error
    int os_errno = 0;                  // errno where it happened, 0 when the OS was not involved
    std::string message;               // what failed, e.g. "open /dev/ttyS4: No such file or directory"

    explicit operator bool() const { return code != error::none; }
};

// This layer's text for one of its error numbers (our own wording); "" for numbers it never gives.
std::string describe_error(std::uint32_t code);

enum class Status : std::uint8_t {
    ok,            // completed
    pending,       // started; completes later through the Request (start_* only)
    timed_out,     // the time-out ran out first; not a failure, nothing was lost that was read
    aborted,       // cancelled by purge() or cancel_io()
    closed,        // the handle was closed while the request was pending, or was not open
    disconnected,  // the device went away (hang-up, unplugged, pty master closed)
    failed,        // the OS refused: see IoResult::error
};

// "ok", "pending", "timed out", ...
std::string_view status_name(Status status);

struct IoResult {
    Status status = Status::ok;
    std::size_t bytes = 0;     // bytes read or written (also on time-out or abort: what was done)
    std::uint32_t events = 0;  // wait_event: the events that happened; 0 when a mask change released it
    Error error;               // set unless status is ok, pending or timed_out
};

// A time-out: a length of time, measured against the monotonic clock from the call.
using Timeout = std::chrono::milliseconds;
inline constexpr Timeout infinite = Timeout::max();

// ---------------------------------------------------------------------------------------------
// Devices
// ---------------------------------------------------------------------------------------------

using Handle = std::int32_t;
inline constexpr Handle no_handle = -1;  // handles are positive and never reused in a process

struct OpenResult {
    Handle handle = no_handle;  // no_handle on failure
    Error error;                // 2 or 3 no device, 5 in use, 4 or 8 no resources, 31 other
};

// Opens the device exclusively (see the model). Never raises.
OpenResult open_device(std::string_view name);

// Closes the device: pending requests complete with Status::closed, the driver thread ends, the
// lock is released. Error 6 for a handle that is not open. Never raises.
Error close_device(Handle handle);

// True while the handle is open (also after a hang-up, until it is closed).
bool is_open(Handle handle);

// The tty path the handle was opened on ("" when not open).
std::string device_path(Handle handle);

// The n of "COM<n>" or "\\.\COM<n>" (any letter case); 0 for other names.
int com_number(std::string_view name);

// The path a name opens (see the model); nullopt for a malformed name or COM0.
std::optional<std::string> resolve_device_path(std::string_view name);

// ---------------------------------------------------------------------------------------------
// Device state (line settings and flow control)
// ---------------------------------------------------------------------------------------------

enum class Parity : std::uint8_t { none, odd, even, mark, space };
enum class StopBits : std::uint8_t { one, one_and_half, two };
enum class DtrControl : std::uint8_t { disable, enable, handshake };
enum class RtsControl : std::uint8_t { disable, enable, handshake, toggle };

// The device control block. get_device_state() gives what was last set (a pseudo-terminal does not
// keep parity or data bits, so reading the tty back would lie).
struct DeviceState {
    std::uint32_t baud = 9600;     // any rate above 0; non-standard rates through termios2
    bool binary = true;            // kept for the caller; the tty is always binary
    bool parity_check = false;     // INPCK
    bool cts_output_flow = false;  // hold output while CTS is low (CRTSCTS)
    bool dsr_output_flow = false;  // hold output while DSR is low (done by the driver thread)
    DtrControl dtr_control = DtrControl::enable;
    bool dsr_sensitivity = false;     // kept only
    bool tx_continue_on_xoff = true;  // kept only: output always goes on after an XOFF was sent
    bool xon_xoff_out = false;        // received XON/XOFF hold and release our output; they are
                                      // taken out of the input
    bool xon_xoff_in = false;         // send XOFF when the input queue's free space falls below
                                      // xoff_limit, XON when its fill is back at xon_limit or less
    bool strip_null = false;          // drop received NUL bytes
    RtsControl rts_control = RtsControl::enable;
    std::uint16_t xon_limit = 0;   // input-queue fill at or below which XON is sent
    std::uint16_t xoff_limit = 0;  // input-queue free space below which XOFF is sent
    std::uint8_t data_bits = 8;    // 5..8
    Parity parity = Parity::none;
    StopBits stop_bits = StopBits::one;
    char xon_char = 17;
    char xoff_char = 19;
    char event_char = 0;  // its arrival raises events::rx_flag (when in the mask)
};

// Error 87 for values the tty cannot take (data bits outside 5..8, baud 0, an unknown enum value,
// equal XON and XOFF characters with XON/XOFF on); then nothing changes.
Error get_device_state(Handle handle, DeviceState& state);
Error set_device_state(Handle handle, const DeviceState& state);

// Size of the driver's input queue (the flow-control limits count against it) and of its output
// queue (kept; writes are never refused for size). Both at least 16 and at most 1 MiB, else 87.
// Default 4096 / 4096. A smaller input queue keeps bytes already queued.
Error setup_queues(Handle handle, std::uint32_t in_size, std::uint32_t out_size);

struct Timeouts {
    // Longest wait of start_read() for its first byte. 0 (default): return at once with what is
    // queued, which is what the port layer sets.
    Timeout read_first_byte{0};
    // Longest time a write may stay pending before it completes with Status::timed_out (the unsent
    // rest dropped); infinite (default) waits until written, purged or closed.
    Timeout write_total = infinite;
};
Error set_timeouts(Handle handle, const Timeouts& timeouts);
Error get_timeouts(Handle handle, Timeouts& timeouts);

// ---------------------------------------------------------------------------------------------
// Events, errors, status
// ---------------------------------------------------------------------------------------------

// Device events (the bit values the port layer uses in its masks, e.g. 0x1F9).
namespace events {
inline constexpr std::uint32_t rx_char = 0x0001;   // bytes were stored in the input queue
inline constexpr std::uint32_t rx_flag = 0x0002;   // the event character was stored
inline constexpr std::uint32_t tx_empty = 0x0004;  // the last pending output byte left
inline constexpr std::uint32_t cts = 0x0008;       // CTS changed
inline constexpr std::uint32_t dsr = 0x0010;       // DSR changed
inline constexpr std::uint32_t rlsd = 0x0020;      // DCD (receive line signal detect) changed
inline constexpr std::uint32_t break_detected = 0x0040;
inline constexpr std::uint32_t line_error = 0x0080;  // framing, parity, overrun or overflow
inline constexpr std::uint32_t ring = 0x0100;        // a ring was detected (RI went high)
inline constexpr std::uint32_t all = 0x01FF;         // every event this layer knows
}  // namespace events

// Line error bits, as clear_errors() reports them.
namespace line_errors {
inline constexpr std::uint32_t rx_overflow = 0x01;  // input queue overflow
inline constexpr std::uint32_t overrun = 0x02;
inline constexpr std::uint32_t parity = 0x04;
inline constexpr std::uint32_t framing = 0x08;
inline constexpr std::uint32_t break_detected = 0x10;
}  // namespace line_errors

// Hold flags of QueueStatus.
namespace hold {
inline constexpr std::uint32_t cts = 0x01;            // output waits for CTS
inline constexpr std::uint32_t dsr = 0x02;            // output waits for DSR
inline constexpr std::uint32_t dcd = 0x04;            // never set: DCD does not hold output here
inline constexpr std::uint32_t xoff_received = 0x08;  // output held by a received XOFF
inline constexpr std::uint32_t xoff_sent = 0x10;      // we sent XOFF and have not sent XON yet
}  // namespace hold

// Modem lines, as modem_status() reports them.
namespace modem {
inline constexpr std::uint32_t cts = 0x10;
inline constexpr std::uint32_t dsr = 0x20;
inline constexpr std::uint32_t ring = 0x40;
inline constexpr std::uint32_t dcd = 0x80;
}  // namespace modem

struct QueueStatus {
    std::uint32_t hold = 0;       // hold:: bits
    std::uint32_t in_queue = 0;   // bytes in the input queue, ready for start_read()
    std::uint32_t out_queue = 0;  // bytes of pending writes not yet handed to the tty
};

// Sets which events a wait reports. Events outside the mask are not remembered; remembered events
// are forgotten. A pending wait completes at once with Status::ok and events 0 (this is how a
// worker blocked in a wait is released). Bits outside events::all give 87 and change nothing.
Error set_event_mask(Handle handle, std::uint32_t mask);
Error get_event_mask(Handle handle, std::uint32_t& mask);
// The receive level: rx_char is reported only once the input queue holds at least `bytes` bytes
// (0 counts as 1, the level of a new device: every arrival), as a UART raises its receive
// interrupt at a FIFO level. A reader that knows how many bytes it needs before it can act sets
// it so that the bytes before that wake nobody. A level at or below what is queued is reached
// at once. The other events do not depend on it.
Error set_receive_level(Handle handle, std::uint32_t bytes);

// Gives the line-error bits gathered since the last call and clears them; fills `status` when
// given. Never blocks.
Error clear_errors(Handle handle, std::uint32_t& errors, QueueStatus* status = nullptr);

// The modem lines (modem:: bits). On a tty without modem lines (a pseudo-terminal) the lines are
// simulated: CTS, DSR and DCD on, RI off, unless the test hooks set them.
Error modem_status(Handle handle, std::uint32_t& lines);

enum class Escape : std::uint8_t {
    set_xoff,  // hold output as if an XOFF had been received
    set_xon,   // release it as if an XON had been received
    set_rts,
    clear_rts,
    set_dtr,
    clear_dtr,
    set_break,  // hold the line in the break state
    clear_break,
};
// DTR, RTS and break are set on the tty where it has them and kept in a shadow (which the test
// hooks show) where it does not, so a pseudo-terminal never fails them.
Error escape(Handle handle, Escape function);

namespace purge_flags {
inline constexpr std::uint32_t tx_abort = 0x1;  // pending writes complete as aborted, unsent rest dropped
inline constexpr std::uint32_t rx_abort = 0x2;  // pending reads complete as aborted
inline constexpr std::uint32_t tx_clear = 0x4;  // drop what the tty still holds for sending
inline constexpr std::uint32_t rx_clear = 0x8;  // empty the input queue (and the tty's); sends XON
                                                // when an XOFF was sent
}  // namespace purge_flags
Error purge(Handle handle, std::uint32_t flags);

// ---------------------------------------------------------------------------------------------
// Overlapped-style requests
// ---------------------------------------------------------------------------------------------

namespace detail {
struct RequestState;
struct RequestAccess;
}  // namespace detail

// One read, write or event wait in flight. A Request may be reused once it is no longer pending;
// starting a request that is still pending gives error 87. Destroying a pending Request is safe:
// its completion is then simply dropped (but a read's buffer must stay valid until the read
// completes or the device is closed).
class Request {
  public:
    // `on_complete` runs once per completion, also when start_* completes the request at once; it
    // runs on the thread that completes it (the caller's, the driver thread, or the closer's), with
    // no lock of this layer held, just after the request stopped being pending (so waiters may
    // already be running). It may call this layer (even close_device() or a new start_* on the
    // same request), and must be quick: other completions of the device wait for it.
    explicit Request(std::function<void()> on_complete = {});
    // The same with the outcome of this completion (result() may already tell of a later one
    // when the request was started again meanwhile).
    explicit Request(std::function<void(const IoResult&)> on_complete);
    Request(Request&&) noexcept;
    Request& operator=(Request&&) noexcept;
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request();

    bool pending() const;
    // Waits until the request is no longer pending: Status::ok when it completed (see result()),
    // Status::timed_out when it is still pending after `timeout`.
    Status wait(Timeout timeout) const;
    // The outcome of the last completion; meaningful when not pending.
    IoResult result() const;

  private:
    friend struct detail::RequestAccess;
    std::shared_ptr<detail::RequestState> state_;
};

// Reads up to `size` bytes into `buffer`. Completes at once when bytes are queued (with as many as
// there are, up to size), or when the read time-out is 0 (Status::timed_out with 0 bytes when the
// queue is empty). Otherwise pends until a byte comes (then completes with what is there), the
// read time-out runs out (timed_out), an abort, close or hang-up. After a hang-up, queued bytes
// are still read; then Status::disconnected.
IoResult start_read(Handle handle, void* buffer, std::size_t size, Request& request);

// Writes `size` bytes. The bytes are copied, so the caller's buffer may be reused at once.
// Completes at once when the tty took them all; else pends until they are written (ok), the write
// time-out runs out (timed_out, bytes = what went), an abort (aborted), close or hang-up. Writes go
// out in the order they were started. Size 0 completes at once.
IoResult start_write(Handle handle, const void* data, std::size_t size, Request& request);

// Waits for an event of the mask. Completes at once when one was remembered since the last wait;
// else pends until one happens (events = the bits that happened), the mask changes (ok, events 0),
// cancel_io (aborted), close or hang-up. At most one wait per device; a second one gives 87.
IoResult start_wait_event(Handle handle, Request& request);

// Completes every pending request of the handle with Status::aborted.
Error cancel_io(Handle handle);

// Blocking helpers. read: as start_read but waits up to `wait` for the first byte (0 returns at
// once); write: waits up to `wait` for all bytes to go (on time-out the unsent rest is dropped);
// wait_event: waits up to `wait`, then gives timed_out (the wait is withdrawn).
IoResult read(Handle handle, void* buffer, std::size_t size, Timeout wait);
IoResult write(Handle handle, const void* data, std::size_t size, Timeout wait = infinite);
IoResult wait_event(Handle handle, Timeout wait);

}  // namespace platform::comm
