// The dispatcher on a comm-layer device, and its worker threads.
#include "serial/win32_dispatcher.h"

#include <algorithm>
#include <cstring>

#include "serial/errors.h"
#include "serial/exceptions.h"
#include "serial/misc.h"

namespace serial {

namespace comm = platform::comm;
namespace kernel = platform::kernel;
namespace win = platform::window;
using Guard = kernel::CriticalSectionGuard;
using Kind = TSpDispatcherThread::Kind;

namespace {

std::int32_t Negated(const comm::Error& e) {
    return e ? -static_cast<std::int32_t>(e.code) : 0;
}

kernel::ThreadPriority KernelPriority(std::int32_t level) {
    switch (std::clamp(level, 0, 6)) {
        case 0:
            return kernel::ThreadPriority::idle;
        case 1:
            return kernel::ThreadPriority::lowest;
        case 2:
            return kernel::ThreadPriority::below_normal;
        case 4:
            return kernel::ThreadPriority::above_normal;
        case 5:
            return kernel::ThreadPriority::highest;
        case 6:
            return kernel::ThreadPriority::time_critical;
        default:
            return kernel::ThreadPriority::normal;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Threads
// ---------------------------------------------------------------------------------------------

TSpDispatcherThread::TSpDispatcherThread(TSpWin32Dispatcher& dispatcher, Kind kind)
    : H(dispatcher), kind_(kind) {}

TSpDispatcherThread::~TSpDispatcherThread() {
    Join();
}

void TSpDispatcherThread::Start() {
    thread_ = kernel::Thread([this] { Run(); }, KernelPriority(priority_));
}

void TSpDispatcherThread::Join() {
    if (thread_.started() && thread_.id() != kernel::current_thread_id()) thread_.join();
}

void TSpDispatcherThread::SetPriority(std::int32_t level) {
    priority_ = level;
    if (thread_.started()) thread_.set_priority(KernelPriority(level));
}

void TSpDispatcherThread::Run() {
    kernel::set_current_thread_name(kind_ == Kind::comm       ? "zor-comm-event"
                                    : kind_ == Kind::dispatch ? "zor-dispatch"
                                                              : "zor-output");
    kernel::interlocked_increment(H.running_);
    try {
        Execute();
    } catch (...) {
        // The bookkeeping below still runs, so that a close never waits for a thread that died.
        std::exception_ptr error = std::current_exception();
        H.ThreadExited(kind_);
        std::rethrow_exception(error);  // to the kernel's thread exception handler
    }
    H.ThreadExited(kind_);
}

void TComThread::Execute() {
    auto& unit = dispatcher_unit_state();
    H.event_mask_ = unit.nt_family ? kDefaultEventMask : (kDefaultEventMask | kRingEndedEvent);
    comm::Timeouts timeouts;  // a read returns at once with what is there
    comm::set_timeouts(H.cid_.load(), timeouts);
    H.acknowledge_.set();
    do {
        std::uint32_t mask = H.event_mask_.load();
        if (!H.WaitDeviceEvent(mask)) {
            if (H.last_system_error_ == comm::error::invalid_parameter &&
                (H.event_mask_.load() & kRingEndedEvent)) {
                H.event_mask_ = kDefaultEventMask;  // the platform has no such event
                continue;
            }
            break;  // the device was closed or went away
        }
        // The completion itself has told the dispatch thread (DeviceEventCompleted). The next
        // wait starts at once: the events of a pass still running are gathered for the next one
        // (the event is auto-reset), so one pass follows every burst of device events and this
        // thread need not be woken again when the pass is done.
    } while (!H.kill_.load());
    H.acknowledge_.set();
}

void TDispThread::Execute() {
    H.acknowledge_.set();
    // A pass follows each device event. Without one, the next pass comes after 50 ms while
    // something needs looking at without an event (PassesNeeded), else after a wait slice. A
    // timer trigger is served when it expires, by a scan of the timers alone; one that its scan
    // could not deliver (no notification taken) waits for the next pass, 50 ms on, instead of
    // being offered again at once.
    // Both ends are on the tick timers' clock, and the wait is made to the nanosecond: an expiry
    // falls on a whole millisecond, and a wait in whole milliseconds from now would miss it by
    // up to one.
    auto pass_due = [this] { return ClockMs() + (H.PassesNeeded() ? kDispatchPassMs : kWaitSliceMs); };
    std::uint64_t next_pass = pass_due();
    bool undelivered = false;
    do {
        const std::uint64_t end = H.PlanDispatchWait(next_pass, !undelivered);
        const kernel::WaitResult r =
            kernel::wait_any({&H.event_ready_, &H.wait_changed_}, kernel::Deadline::at(MonotonicNsAt(end)));
        H.EndDispatchWait();
        if (H.kill_.load()) break;
        if (r.signalled() && r.index == 1) {  // a trigger was armed: plan anew
            undelivered = false;
            next_pass = std::min(next_pass, pass_due());
            continue;
        }
        if (!r.signalled() && ClockMs() < next_pass) {
            H.ProcessTimers();
            undelivered = H.MsUntilNextTimer(1) == 0;
            if (undelivered) next_pass = std::min(next_pass, ClockMs() + kDispatchPassMs);
            continue;
        }
        undelivered = false;
        H.ProcessCommEvent();
        H.ProcessTimers();
        H.passes_.fetch_add(1);
        next_pass = pass_due();
    } while (!H.kill_.load() && !H.close_requested_.load());
    H.acknowledge_.set();
    H.ended_for_close_ = H.close_requested_.load() || H.kill_.load();
}

void TOutThread::Execute() {
    H.acknowledge_.set();
    do {
        kernel::WaitResult r = kernel::wait_any({&H.output_ready_, &H.output_stop_}, kWaitSliceMs);
        if (!r.signalled()) continue;
        if (r.index == 0) {
            if (H.kill_.load()) break;
            H.WriteOutput();
        } else {
            // Halted before answered: the discarding side resumes output once it sees the
            // answer, and a halt set after that would stop the port for good.
            H.halted_ = true;
            H.stop_answers_ = H.stop_requests_.load();
            H.stop_ack_.set();
        }
    } while (!H.kill_.load() && !H.close_requested_.load());
}

// ---------------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------------

TSpWin32Dispatcher::TSpWin32Dispatcher(TSpBaseComponent* owner)
    : TSpBaseDispatcher(owner),
      event_request_([this](const comm::IoResult& r) { DeviceEventCompleted(r); }),
      write_request_([this] { write_done_.set(); }) {}

void TSpWin32Dispatcher::DeviceEventCompleted(const comm::IoResult& r) {
    // Runs where the device completes the wait (its driver thread, mostly), so the dispatch
    // thread is woken straight from there, not through the comm-event thread: one hand-over less
    // between a received byte and its handler.
    std::uint32_t mask = 0;
    if (r.status == comm::Status::ok)
        mask = r.events;
    else if (r.status != comm::Status::aborted && r.status != comm::Status::timed_out)
        return;  // the device was closed or went away: the comm-event thread ends
    if (mask & (kRingEndedEvent | comm::events::ring)) ring_seen_ = true;
    last_event_ = mask;
    pending_events_.fetch_or(mask);
    device_events_.fetch_add(1);
    if (!kill_.load()) event_ready_.set();
}

TSpWin32Dispatcher::~TSpWin32Dispatcher() {
    Shutdown();
    // Serve the thread's messages until no worker is left: one of them may be sending to us.
    while (running_.load() > 0) {
        if (!OnWorkerThread()) PumpOneMessage();
        kernel::sleep_ms(1);
    }
    if (com_thread_) com_thread_->Join();
    if (disp_thread_) disp_thread_->Join();
    if (out_thread_) out_thread_->Join();
}

bool TSpWin32Dispatcher::OnWorkerThread() const {
    kernel::ThreadId me = kernel::current_thread_id();
    for (auto* t : {static_cast<TSpDispatcherThread*>(com_thread_.get()),
                    static_cast<TSpDispatcherThread*>(disp_thread_.get()),
                    static_cast<TSpDispatcherThread*>(out_thread_.get())})
        if (t && t->Id() == me) return true;
    return false;
}

TSpDispatcherThread* TSpWin32Dispatcher::ThreadOf(Kind kind) const {
    switch (kind) {
        case Kind::comm:
            return com_thread_.get();
        case Kind::dispatch:
            return disp_thread_.get();
        default:
            return out_thread_.get();
    }
}

bool TSpWin32Dispatcher::ThreadAlive(Kind kind) const {
    switch (kind) {
        case Kind::comm:
            return com_alive_.load();
        case Kind::dispatch:
            return disp_alive_.load();
        default:
            return out_alive_.load();
    }
}

std::int32_t TSpWin32Dispatcher::ThreadPriority(Kind kind) const {
    auto* t = ThreadOf(kind);
    return t ? t->Priority() : -1;
}

// ---------------------------------------------------------------------------------------------
// Device operations
// ---------------------------------------------------------------------------------------------

std::int32_t TSpWin32Dispatcher::EscapeFunction(std::int32_t code) {
    comm::Handle h = cid_.load();
    comm::Escape f;
    switch (code) {
        case SETXOFF:
            f = comm::Escape::set_xoff;
            break;
        case SETXON:
            f = comm::Escape::set_xon;
            break;
        case SETRTS:
            f = comm::Escape::set_rts;
            break;
        case CLRRTS:
            f = comm::Escape::clear_rts;
            break;
        case SETDTR:
            f = comm::Escape::set_dtr;
            break;
        case CLRDTR:
            f = comm::Escape::clear_dtr;
            break;
        case SETBREAK:
            f = comm::Escape::set_break;
            break;
        case CLRBREAK:
            f = comm::Escape::clear_break;
            break;
        case GETBASEADDRESS: {
            auto& unit = dispatcher_unit_state();
            return !unit.nt_family && unit.base_address ? unit.base_address() : 0;
        }
        default:
            return ecBadArgument;
    }
    return Negated(comm::escape(h, f));
}

std::int32_t TSpWin32Dispatcher::FlushDevice(std::int32_t which) {
    if (which == 0) return DiscardOutput();
    return Negated(comm::purge(cid_.load(), comm::purge_flags::rx_abort | comm::purge_flags::rx_clear));
}

std::int32_t TSpWin32Dispatcher::PurgeOutput() {
    return Negated(comm::purge(cid_.load(), comm::purge_flags::tx_abort | comm::purge_flags::tx_clear));
}

std::int32_t TSpWin32Dispatcher::QueueStatus(TComStat& status) {
    std::uint32_t errors = 0;
    comm::QueueStatus qs;
    comm::Error e = comm::clear_errors(cid_.load(), errors, &qs);
    if (e) errors = 0;
    status.Flags = qs.hold;
    status.InQue = qs.in_queue;
    Guard out(output_lock_);
    status.OutQue = OutputFillLocked();
    return static_cast<std::int32_t>(errors);
}

std::int32_t TSpWin32Dispatcher::ReadFailed(std::int32_t) {
    return 0;
}

std::int32_t TSpWin32Dispatcher::GetDeviceState(TDCB& state) {
    return comm::get_device_state(cid_.load(), state) ? -1 : 0;
}

std::int32_t TSpWin32Dispatcher::SetDeviceState(const TDCB& state) {
    return Negated(comm::set_device_state(cid_.load(), state));
}

std::int32_t TSpWin32Dispatcher::ReadDevice(void* buffer, std::uint32_t count) {
    comm::IoResult r = comm::start_read(cid_.load(), buffer, count, read_request_);
    if (r.status == comm::Status::pending) {
        // Reads are set to return at once; a pending one is still waited for, in slices.
        while (read_request_.wait(std::chrono::milliseconds(kWaitSliceMs)) == comm::Status::timed_out) {
            if (kill_.load()) {
                comm::cancel_io(cid_.load());
            }
        }
        r = read_request_.result();
    }
    switch (r.status) {
        case comm::Status::ok:
        case comm::Status::timed_out:
        case comm::Status::aborted:
            return static_cast<std::int32_t>(r.bytes);
        case comm::Status::disconnected:
            MarkDeviceLost();
            return static_cast<std::int32_t>(r.bytes);
        default:
            return r.bytes > 0 ? static_cast<std::int32_t>(r.bytes)
                               : -static_cast<std::int32_t>(r.error.code ? r.error.code
                                                                         : comm::error::device_failure);
    }
}

std::int32_t TSpWin32Dispatcher::WriteToOutput(const void* bytes, std::uint32_t count) {
    {
        Guard out(output_lock_);
        if (out_buffer_.empty() || device_lost_.load()) return 0;
        const char* p = static_cast<const char*>(bytes);
        std::uint32_t first = std::min(count, out_size_ - out_head_);
        std::memcpy(&out_buffer_[out_head_], p, first);
        if (count > first) std::memcpy(&out_buffer_[0], p + first, count - first);
        out_head_ = (out_head_ + count) % out_size_;
        if (out_head_ == out_tail_) out_full_ = true;
    }
    output_ready_.set();
    return static_cast<std::int32_t>(count);
}

bool TSpWin32Dispatcher::WaitDeviceEvent(std::uint32_t& mask) {
    comm::Handle h = cid_.load();
    if (mask != applied_mask_.load()) {
        comm::Error e = comm::set_event_mask(h, mask);
        if (e) {
            last_system_error_ = e.code;
            return false;
        }
        applied_mask_ = mask;
    }
    comm::IoResult r = comm::start_wait_event(h, event_request_);
    if (r.status == comm::Status::pending) {
        while (event_request_.wait(std::chrono::milliseconds(kWaitSliceMs)) == comm::Status::timed_out) {
            if (kill_.load()) comm::cancel_io(h);
        }
        r = event_request_.result();
    }
    switch (r.status) {
        case comm::Status::ok:
            mask = r.events;
            return true;
        case comm::Status::aborted:
        case comm::Status::timed_out:
            mask = 0;
            return true;
        case comm::Status::disconnected:
            MarkDeviceLost();
            last_system_error_ = comm::error::device_failure;
            return false;
        default:
            last_system_error_ = r.error.code ? r.error.code : comm::error::invalid_handle;
            return false;
    }
}

bool TSpWin32Dispatcher::SetDeviceQueues(std::uint32_t in_size, std::uint32_t out_size) {
    comm::Error e = comm::setup_queues(cid_.load(), in_size, out_size);
    if (e) last_system_error_ = e.code;
    return !e;
}

std::int32_t TSpWin32Dispatcher::OpenDeviceHandle(const std::string& name, std::uint32_t, std::uint32_t) {
    comm::OpenResult r = comm::open_device(name);
    if (r.error || r.handle == comm::no_handle) {
        last_open_error_ = r.error.code ? r.error.code : comm::error::file_not_found;
        last_open_message_ = r.error.message;
        return -static_cast<std::int32_t>(last_open_error_);
    }
    last_open_error_ = 0;
    last_open_message_.clear();
    return r.handle;
}

std::int32_t TSpWin32Dispatcher::CloseDevice() {
    comm::Handle h = cid_.load();
    if (threads_started_.load()) {
        kill_ = true;
        comm::set_event_mask(h, 0);  // releases a pending event wait
        acknowledge_.reset();
    }
    comm::Error e = comm::close_device(h);
    cid_ = -1;
    return e ? -1 : 0;
}

void TSpWin32Dispatcher::SetReceiveLevel(std::uint32_t bytes) {
    comm::set_receive_level(cid_.load(), bytes);
}

std::int32_t TSpWin32Dispatcher::YieldSlice() {
    kernel::sleep_ms(0);
    return 0;
}

std::int32_t TSpTAPI32Dispatcher::OpenDeviceHandle(const std::string&, std::uint32_t, std::uint32_t) {
    if (tapi_handle_ <= 0) return ecCommNotOpen;
    return tapi_handle_;
}

// ---------------------------------------------------------------------------------------------
// Starting and stopping
// ---------------------------------------------------------------------------------------------

void TSpWin32Dispatcher::StartThreads() {
    {
        Guard gen(general_lock_);
        if (threads_started_.load()) throw ESpException(std::string("Dispatcher already started"));
        threads_started_ = true;
        kill_ = false;
    }
    // Each thread acknowledges its start; a late one is not an error (no lock is held meanwhile).
    com_alive_ = true;
    com_thread_ = std::make_unique<TComThread>(*this);
    com_thread_->Start();
    acknowledge_.wait(kThreadStartTimeoutMs);
    disp_alive_ = true;
    disp_thread_ = std::make_unique<TDispThread>(*this);
    disp_thread_->Start();
    acknowledge_.wait(kThreadStartTimeoutMs);
    out_alive_ = true;
    out_thread_ = std::make_unique<TOutThread>(*this);
    out_thread_->Start();
    acknowledge_.wait(kThreadStartTimeoutMs);
}

void TSpWin32Dispatcher::WaitThreadEnd(Kind kind) {
    TSpDispatcherThread* t = ThreadOf(kind);
    if (!t || t->Id() == kernel::current_thread_id()) return;
    bool pump = !OnWorkerThread();
    while (ThreadAlive(kind) || !t->Finished()) {
        // The main thread keeps serving its messages: the dispatch thread may be sending it a
        // notification right now, and would otherwise wait out the send's time-out.
        if (pump) {
            for (int i = 0; i < 100 && PumpOneMessage() != 0; ++i) {
            }
        }
        t->WaitForEnd(pump ? 1 : 10);
    }
}

void TSpWin32Dispatcher::StopThreads() {
    if (!threads_started_.load()) return;
    kill_ = true;  // a flag only: no lock is held while the threads are waited for
    if (out_thread_ && out_alive_.load()) {
        output_stop_.set();
        WaitThreadEnd(Kind::output);
    }
    if (com_thread_ && com_alive_.load()) {
        if (DeviceValid()) comm::set_event_mask(cid_.load(), 0);
        acknowledge_.reset();
        WaitThreadEnd(Kind::comm);
    }
    event_ready_.set();  // the dispatch thread sees the kill flag now, not at its next 50-ms pass
    WaitThreadEnd(Kind::dispatch);
}

void TSpWin32Dispatcher::ThreadExited(Kind kind) {
    switch (kind) {
        case Kind::comm:
            com_alive_ = false;
            break;
        case Kind::output:
            out_alive_ = false;
            break;
        case Kind::dispatch:
            disp_alive_ = false;
            if (ended_for_close_.exchange(false)) ReleaseResources();
            break;
    }
    if (kernel::interlocked_decrement(running_) == 0) {
        threads_started_ = false;
        win::Handle window;
        std::uint32_t message;
        std::intptr_t lparam;
        {
            Guard notice(end_notice_lock_);
            window = end_notice_window_;
            message = end_notice_message_;
            lparam = end_notice_lparam_;
            end_notice_window_ = 0;
        }
        if (window != 0) win::post_message(window, message, 0, lparam);
    }
}

void TSpWin32Dispatcher::NotifyWhenThreadsEnd(win::Handle window, std::uint32_t message,
                                              std::intptr_t lparam) {
    {
        Guard notice(end_notice_lock_);
        end_notice_window_ = window;
        end_notice_message_ = message;
        end_notice_lparam_ = lparam;
    }
    if (running_.load() == 0) {
        Guard notice(end_notice_lock_);
        if (end_notice_window_ != 0) {
            end_notice_window_ = 0;
            win::post_message(window, message, 0, lparam);
        }
    }
}

void TSpWin32Dispatcher::SetThreadPriorities(std::int32_t base) {
    {
        Guard gen(general_lock_);
        if (base == thread_priority_base_) return;
        thread_priority_base_ = base;
    }
    if (com_thread_) com_thread_->SetPriority(base + 3);
    if (disp_thread_) {
        disp_thread_->SetPriority(base + 3);
        if (out_thread_) out_thread_->SetPriority(base + (RS485Mode() ? 4 : 3));
    }
}

void TSpWin32Dispatcher::SetRS485(bool on) {
    std::int32_t base;
    {
        Guard gen(general_lock_);
        rs485_ = on;
        base = thread_priority_base_;
        if (on && !dispatcher_unit_state().nt_family)
            base_address_ = static_cast<std::uint16_t>(EscapeFunction(GETBASEADDRESS));
    }
    if (out_thread_) out_thread_->SetPriority(base + (on ? 4 : 3));
}

// ---------------------------------------------------------------------------------------------
// Passes
// ---------------------------------------------------------------------------------------------

bool TSpWin32Dispatcher::ScanStatusWhileFiring() {
    while (ScanStatusTriggers())
        if (close_requested_.load()) return false;
    return !close_requested_.load();
}

void TSpWin32Dispatcher::ProcessCommEvent() {
    // The events gathered since the last pass; a pass that no event started looks again at the
    // last one's.
    std::uint32_t mask = pending_events_.exchange(0);
    if (mask == 0) mask = last_event_.load();
    if (mask &
        (comm::events::cts | comm::events::dsr | comm::events::rlsd | comm::events::ring | kRingEndedEvent)) {
        RefreshModemStatus();
        if (!notifying_.load() && !ScanStatusWhileFiring()) return;
        if (StatusHitThisPass()) ClearStatusHits();
    }
    if (mask & (comm::events::break_detected | comm::events::line_error)) {
        RefreshLineStatus();
        if (!notifying_.load() && !ScanStatusWhileFiring()) return;
    }
    ReadIntoRing();
    if (!notifying_.load()) {
        if (!ScanStatusWhileFiring()) return;
        while (ScanDataTriggers())
            if (close_requested_.load()) return;
        if (close_requested_.load()) return;
    }
    if (StatusHitThisPass()) ClearStatusHits();
    UpdateReceiveLevel();  // what the ring holds has changed
}

void TSpWin32Dispatcher::ProcessTimers() {
    if (close_requested_.load() || notifying_.load()) return;
    status_hit_ = false;
    while (!close_requested_.load()) {
        if (ScanStatusTriggers()) continue;
        if (ScanTimerTriggers()) continue;
        break;
    }
    if (StatusHitThisPass()) ClearStatusHits();
}

// ---------------------------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------------------------

void TSpWin32Dispatcher::DispatchWaitChanged() {
    wait_changed_.set();
}

void TSpWin32Dispatcher::HaltOutput() {
    if (!out_thread_ || !out_alive_.load() ||
        (out_thread_ && out_thread_->Id() == kernel::current_thread_id()))
        return;
    {
        // Nothing queued and no earlier stop unanswered: the output thread has no write under way
        // (the tail moves only when a write has completed), so there is nothing to stop and no
        // need to wake it; the halted flag keeps it from starting one until the discard is done.
        Guard out(output_lock_);
        if (!out_full_ && out_head_ == out_tail_ && stop_answers_.load() >= stop_requests_.load()) {
            halted_ = true;
            return;
        }
    }
    std::uint64_t request = stop_requests_.fetch_add(1) + 1;
    output_stop_.set();
    kernel::Deadline deadline(kOutputStopTimeoutMs);
    while (stop_answers_.load() < request && out_alive_.load() && !deadline.expired())
        stop_ack_.wait(std::min(deadline.remaining_ms(), 50u));
}

void TSpWin32Dispatcher::ResumeOutput() {
    halted_ = false;
    bool queued;
    {
        Guard out(output_lock_);
        queued = out_full_ || out_head_ != out_tail_;
    }
    if (queued) output_ready_.set();  // whatever was queued meanwhile goes out now
}

void TSpWin32Dispatcher::AdvanceTail(std::uint32_t count, std::uint64_t generation) {
    Guard out(output_lock_);
    if (count == 0 || generation != out_generation_ || out_buffer_.empty()) return;
    out_tail_ += count;
    if (out_tail_ >= out_size_) out_tail_ -= out_size_;
    if (out_tail_ == out_head_) out_tail_ = out_head_ = 0;
    out_full_ = false;
}

void TSpWin32Dispatcher::ServeRs485AfterWrite() {
    auto& unit = dispatcher_unit_state();
    if (!RS485Mode() || unit.nt_family) return;
    std::uint16_t base = BaseAddress();
    // Wait for the transmitter to empty (line status bit 6), a bounded number of looks.
    for (int i = 0; i < 10000 && unit.read_port_byte; ++i) {
        if (unit.read_port_byte(static_cast<std::uint16_t>(base + 5)) & 0x40) break;
        kernel::sleep_ms(0);
    }
    EscapeFunction(CLRRTS);
}

void TSpWin32Dispatcher::WriteOutput() {
    for (;;) {
        if (kill_.load() || halted_.load()) return;
        if (stop_requests_.load() > stop_answers_.load()) return;  // answered by the thread's loop
        const char* run_start = nullptr;
        std::uint32_t run = 0;
        std::uint64_t generation = 0;
        {
            Guard out(output_lock_);
            if (out_buffer_.empty() || (!out_full_ && out_head_ == out_tail_)) return;
            if (out_tail_ < out_head_) {
                run = out_head_ - out_tail_;
            } else if (out_head_ != 0) {
                // The data wraps: rotate it so that it is one run from 0.
                std::uint32_t pending = OutputFillLocked();
                std::rotate(out_buffer_.begin(), out_buffer_.begin() + out_tail_, out_buffer_.end());
                out_tail_ = 0;
                out_head_ = pending == out_size_ ? 0 : pending;  // a full buffer keeps head 0 and its flag
                run = pending;
            } else {
                run = out_size_ - out_tail_;
            }
            run_start = &out_buffer_[out_tail_];
            generation = out_generation_;
        }
        // The bytes between tail and head are only changed by this thread, so the device write
        // runs outside the lock (the comm layer copies them).
        write_done_.reset();
        comm::IoResult r = comm::start_write(cid_.load(), run_start, run, write_request_);
        if (r.status == comm::Status::pending) {
            for (;;) {
                kernel::WaitResult w = kernel::wait_any({&write_done_, &output_stop_}, kWaitSliceMs);
                if (w.signalled() && w.index == 0) {
                    r = write_request_.result();
                    write_done_.reset();
                    break;
                }
                if (w.signalled() && w.index == 1) {
                    // A discard or a stop: answer it; the discarding side empties the buffer and
                    // purges the pending write.
                    halted_ = true;  // before the answer, as in the thread's loop
                    stop_answers_ = stop_requests_.load();
                    stop_ack_.set();
                    return;
                }
                if (kill_.load()) return;
            }
        }
        switch (r.status) {
            case comm::Status::ok:
                AdvanceTail(static_cast<std::uint32_t>(r.bytes), generation);
                break;
            case comm::Status::aborted:
                break;  // purged: the discarding side has reset the buffer
            case comm::Status::disconnected:
                MarkDeviceLost();
                AdvanceTail(run, generation);
                break;
            default:
                // The device refused the run: drop it, never retry it without end.
                AdvanceTail(run, generation);
                AddLogEntry(dtError, dstWriteCom, static_cast<std::uint32_t>(r.error.code));
                break;
        }
        ServeRs485AfterWrite();
    }
}

}  // namespace serial
