// The dispatcher on a serial device of the comm layer, and its three worker threads.
//
// Per open port:
// - the comm-event thread (TComThread) waits for device events, one after the other; each
//   completed wait adds its events to those the next pass handles and sets "device event ready"
//   (right where the device completes it), so a burst of device events gives one dispatch pass
//   and no pass runs twice at once;
// - the dispatch thread (TDispThread) waits for a device event, then runs one pass: it fills the
//   receive ring and runs the status, data, avail and timer triggers, whose notifications it
//   sends to the handlers (the port's hidden window, by a blocking send of at most 3,000 ms).
//   Its wait also ends when the earliest armed timer trigger expires (a scan of the timers
//   alone), and after 50 ms while something can change without a device event (an armed status
//   trigger, bytes nobody took, a full ring: TSpBaseDispatcher::PassesNeeded);
// - the output thread (TOutThread) writes the output buffer to the device, the whole pending
//   amount in one write, and stops when asked (DiscardOutput, StopThreads).
//
// Waits that would otherwise have no limit are made in slices of at most kWaitSliceMs, after each
// of which the thread looks at its kill and close flags again (the dispatch thread runs a pass
// then); an idle port wakes only for those slices and for its armed timers.
//
// Stopping: StopThreads sets the flags, wakes each thread and waits for it to end, serving the
// calling thread's messages meanwhile (a notification may be on its way to the main thread at
// that moment), and never holds a dispatcher lock while it waits. A close from inside a
// notification lets the dispatch thread finish instead: it ends, stops the other two threads and
// frees the buffers itself (TSpBaseDispatcher::ReleaseResources).
//
// Thread contract: as TSpBaseDispatcher. The thread objects belong to the dispatcher, which joins
// them when it is destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/comm/comm.h"
#include "platform/kernel/kernel.h"
#include "serial/dispatcher.h"

namespace serial {

class TSpWin32Dispatcher;

// Device events the comm-event thread waits for: received character, CTS, DSR, DCD, break, line
// error and ring; the older platform also reports 0x2000 (a ring ended).
inline constexpr std::uint32_t kDefaultEventMask = 0x1F9;
inline constexpr std::uint32_t kRingEndedEvent = 0x2000;
inline constexpr unsigned kDispatchPassMs = 50;
// The longest single wait of a worker thread (see above).
inline constexpr unsigned kWaitSliceMs = 1000;

// A worker thread of a dispatcher: it counts itself in the dispatcher's running count when it
// begins and runs the exit bookkeeping (ThreadExited) when it ends, also when its loop raised
// (the exception then goes to the kernel's thread exception handler).
class TSpDispatcherThread {
  public:
    enum class Kind { comm, dispatch, output };
    TSpDispatcherThread(TSpWin32Dispatcher& dispatcher, Kind kind);
    virtual ~TSpDispatcherThread();
    TSpDispatcherThread(const TSpDispatcherThread&) = delete;
    TSpDispatcherThread& operator=(const TSpDispatcherThread&) = delete;

    // Starts the body. Kept apart from construction so that the body never sees a half-made
    // object.
    void Start();
    Kind ThreadKind() const { return kind_; }
    platform::kernel::ThreadId Id() const { return thread_.id(); }
    bool Finished() const { return thread_.finished(); }
    // Waits at most `ms` for the body to end; true when it has.
    bool WaitForEnd(unsigned ms) const { return !thread_.started() || thread_.wait_for_end(ms).signalled(); }
    void Join();
    void SetPriority(std::int32_t level);  // 0 idle .. 3 normal .. 6 time critical (recorded)
    std::int32_t Priority() const { return priority_; }

  protected:
    virtual void Execute() = 0;
    TSpWin32Dispatcher& H;

  private:
    void Run();
    Kind kind_;
    std::int32_t priority_ = 3;
    platform::kernel::Thread thread_;
};

class TComThread final : public TSpDispatcherThread {
  public:
    explicit TComThread(TSpWin32Dispatcher& dispatcher) : TSpDispatcherThread(dispatcher, Kind::comm) {}

  protected:
    void Execute() override;
};

class TDispThread final : public TSpDispatcherThread {
  public:
    explicit TDispThread(TSpWin32Dispatcher& dispatcher) : TSpDispatcherThread(dispatcher, Kind::dispatch) {}

  protected:
    void Execute() override;
};

class TOutThread final : public TSpDispatcherThread {
  public:
    explicit TOutThread(TSpWin32Dispatcher& dispatcher) : TSpDispatcherThread(dispatcher, Kind::output) {}

  protected:
    void Execute() override;
};

class TSpWin32Dispatcher : public TSpBaseDispatcher {
  public:
    explicit TSpWin32Dispatcher(TSpBaseComponent* owner);
    ~TSpWin32Dispatcher() override;

    // Device operations.
    std::int32_t EscapeFunction(std::int32_t code) override;
    std::int32_t FlushDevice(std::int32_t which) override;
    std::int32_t QueueStatus(TComStat& status) override;
    std::int32_t ReadFailed(std::int32_t code) override;
    std::int32_t GetDeviceState(TDCB& state) override;
    std::int32_t ReadDevice(void* buffer, std::uint32_t count) override;
    std::int32_t SetDeviceState(const TDCB& state) override;
    std::int32_t WriteToOutput(const void* bytes, std::uint32_t count) override;
    bool WaitDeviceEvent(std::uint32_t& mask) override;
    bool SetDeviceQueues(std::uint32_t in_size, std::uint32_t out_size) override;
    void StartThreads() override;
    void StopThreads() override;
    // The handle (> 0), or the negated system error of the open (-2, -3 no device, -5 in use,
    // -8 no resources). The system error is also kept as LastOpenError().
    std::int32_t OpenDeviceHandle(const std::string& name, std::uint32_t in_size,
                                  std::uint32_t out_size) override;
    std::int32_t CloseDevice() override;
    std::int32_t YieldSlice() override;
    void SetReceiveLevel(std::uint32_t bytes) override;
    void SetThreadPriorities(std::int32_t base) override;
    void SetRS485(bool on) override;

    std::uint32_t LastOpenError() const { return last_open_error_; }
    // What the system said about the failed open, with the device's path.
    const std::string& LastOpenMessage() const { return last_open_message_; }

    // Thread state (tests and the port component).
    bool ThreadsStarted() const { return threads_started_.load(); }
    std::int32_t RunningThreads() const { return running_.load(); }
    bool ThreadAlive(TSpDispatcherThread::Kind kind) const;
    std::int32_t ThreadPriority(TSpDispatcherThread::Kind kind) const;
    std::uint32_t EventMask() const { return event_mask_.load(); }
    // Counters for reports and benchmarks.
    std::uint64_t PassCount() const { return passes_.load(); }
    std::uint64_t DeviceEventCount() const { return device_events_.load(); }
    // Asks the dispatch thread (from any thread) to post `message` with `lparam` to `window` once
    // the worker threads have ended; used by the deferred close so that it need not poll.
    void NotifyWhenThreadsEnd(platform::window::Handle window, std::uint32_t message, std::intptr_t lparam);

  private:
    friend class TSpDispatcherThread;
    friend class TComThread;
    friend class TDispThread;
    friend class TOutThread;

    void ThreadExited(TSpDispatcherThread::Kind kind);
    void DeviceEventCompleted(const platform::comm::IoResult& result);
    void ProcessCommEvent();
    void ProcessTimers();
    bool ScanStatusWhileFiring();  // false when a close was requested
    void WriteOutput();
    void AdvanceTail(std::uint32_t count, std::uint64_t generation);
    void ServeRs485AfterWrite();
    // Waits (serving messages when the caller is not a worker) until the thread has ended.
    void WaitThreadEnd(TSpDispatcherThread::Kind kind);
    bool OnWorkerThread() const;
    TSpDispatcherThread* ThreadOf(TSpDispatcherThread::Kind kind) const;

  protected:
    void DispatchWaitChanged() override;
    void HaltOutput() override;
    void ResumeOutput() override;
    std::int32_t PurgeOutput() override;

  private:
    // Events; they live as long as the dispatcher, so that a thread in its last steps never
    // meets a closed one.
    platform::kernel::Event event_ready_{platform::kernel::ResetMode::automatic};  // device event ready
    platform::kernel::Event acknowledge_{platform::kernel::ResetMode::automatic};  // thread started / ended
    platform::kernel::Event output_ready_{platform::kernel::ResetMode::automatic};
    platform::kernel::Event write_done_{platform::kernel::ResetMode::manual};
    platform::kernel::Event output_stop_{platform::kernel::ResetMode::automatic};
    platform::kernel::Event stop_ack_{platform::kernel::ResetMode::automatic};  // the output thread stopped
    platform::kernel::Event wait_changed_{
        platform::kernel::ResetMode::automatic};  // the dispatch wait is out of date
    // Set while a discard is between the output thread's answer and the buffer reset.
    std::atomic<bool> halted_{false};

    std::unique_ptr<TComThread> com_thread_;
    std::unique_ptr<TDispThread> disp_thread_;
    std::unique_ptr<TOutThread> out_thread_;
    std::atomic<bool> com_alive_{false};
    std::atomic<bool> disp_alive_{false};
    std::atomic<bool> out_alive_{false};

    std::atomic<bool> threads_started_{false};
    std::atomic<bool> kill_{false};
    std::atomic<std::int32_t> running_{0};
    std::atomic<bool> ended_for_close_{false};
    std::atomic<std::uint32_t> event_mask_{kDefaultEventMask};
    std::atomic<std::uint32_t> last_event_{0};
    std::atomic<std::uint32_t> pending_events_{0};  // device events since the dispatch thread's last pass
    std::atomic<std::uint32_t> applied_mask_{0};
    // DiscardOutput's stop requests and the output thread's answers, counted, so that an answer
    // to an earlier request that gave up is never taken for the answer to a later one.
    std::atomic<std::uint64_t> stop_requests_{0};
    std::atomic<std::uint64_t> stop_answers_{0};
    std::atomic<std::uint64_t> passes_{0};
    std::atomic<std::uint64_t> device_events_{0};

    platform::kernel::CriticalSection end_notice_lock_;  // leaf
    platform::window::Handle end_notice_window_ = 0;
    std::uint32_t end_notice_message_ = 0;
    std::intptr_t end_notice_lparam_ = 0;

    platform::comm::Request read_request_;   // dispatch thread
    platform::comm::Request event_request_;  // comm-event thread
    platform::comm::Request write_request_;  // output thread
    std::uint32_t last_open_error_ = 0;
    std::string last_open_message_;
};

// The dispatcher for TapiMode tmOn: it takes the handle of a device that a telephony component
// has opened instead of opening one (there is no such component in this system).
class TSpTAPI32Dispatcher : public TSpWin32Dispatcher {
  public:
    TSpTAPI32Dispatcher(TSpBaseComponent* owner, platform::comm::Handle handle)
        : TSpWin32Dispatcher(owner), tapi_handle_(handle) {}
    // The given handle, or -2007 when it is 0.
    std::int32_t OpenDeviceHandle(const std::string& name, std::uint32_t in_size,
                                  std::uint32_t out_size) override;

  private:
    platform::comm::Handle tapi_handle_;
};

}  // namespace serial
