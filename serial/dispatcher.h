// The dispatcher: the engine behind one open serial port.
//
// TSpBaseDispatcher holds the received-data ring (8,192 bytes), the output buffer, the copy of the
// device's line settings, the line and modem status, the trigger and handler lists and three
// locks. Its descendant TSpWin32Dispatcher (serial/win32_dispatcher.h) supplies the device
// operations (the pure virtual slots below) and runs the worker threads. The port component
// (serial/com_port.h) creates one dispatcher at each open and frees it at the end of each close.
//
// Triggers are the conditions on which a dispatcher tells its handlers that something happened:
// received data is available (the avail threshold), a timer trigger expired, a data trigger's
// string arrived, or a status trigger's condition became true. The dispatch thread tests them
// after each device event, when a timer trigger expires, and every 50 ms while a condition can
// change without a device event (PassesNeeded), and delivers each hit by NotifyHandlers.
// Trigger handles are positive multiples of 8 from one handle space; a status trigger's handle
// carries its kind in the low three bits.
//
// Locks and their order
// ---------------------
//   input lock    receive ring, read/write index, ring-full flag, look-ahead state
//   general lock  settings, flow, modem status, triggers, handler lists, trace and dispatch log
//   output lock   output buffer (head, tail, full flag, generation)
//   status lock   the line-status record and the last line errors (a leaf: nothing is taken
//                 and nothing is called while it is held)
// When locks nest they are taken in the order input -> general -> output -> status, never the
// other way. No lock is held while a handler runs, while a notification is sent, or while a
// thread waits on an event or for another thread: state is copied out under the lock, the lock is
// released, the call is made, and shared state is read again afterwards. The process-wide
// dispatcher-list lock is a leaf as well: it is held only to look up, add or empty a slot.
//
// Thread contract: the port operations run on the main thread (the one that owns the port's
// hidden window); the scans and NotifyHandlers run on the dispatch thread; handlers run on the
// main thread (window handlers, synchronised event handlers) or on the dispatch thread (plain
// event and procedure handlers). Everything below takes the locks it needs itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/comm/comm.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"
#include "serial/dispatch_log.h"
#include "serial/flow_states.h"
#include "serial/tick_timer.h"
#include "serial/trace.h"

namespace serial {

class TSpBaseComponent;
class TSpBaseDispatcher;

// ---------------------------------------------------------------------------------------------
// Notification messages (sent to window handlers; lParam's high word is the dispatcher handle)
// ---------------------------------------------------------------------------------------------

inline constexpr std::uint32_t APW_TRIGGERAVAIL = 0x7E01;   // wParam: count of available bytes
inline constexpr std::uint32_t APW_TRIGGERDATA = 0x7E02;    // wParam: handle; low: string length
inline constexpr std::uint32_t APW_TRIGGERTIMER = 0x7E03;   // wParam: handle
inline constexpr std::uint32_t APW_TRIGGERSTATUS = 0x7E04;  // wParam: handle; low: output count
inline constexpr std::uint32_t APW_PORTOPEN = 0x7E08;       // to port users
inline constexpr std::uint32_t APW_PORTCLOSE = 0x7E09;      // to port users
inline constexpr std::uint32_t APW_CLOSEPENDING = 0x7E0A;   // port closing; deferred close

inline constexpr std::uint32_t kRingSize = 8192;
inline constexpr std::int32_t kInitialLastBaud = 115200;
// Time-outs of the blocking send to a window handler and of the waits for the threads.
inline constexpr unsigned kNotifySendTimeoutMs = 3000;
inline constexpr unsigned kThreadStartTimeoutMs = 3000;
inline constexpr unsigned kOutputStopTimeoutMs = 5000;

// ---------------------------------------------------------------------------------------------
// Line state codes
// ---------------------------------------------------------------------------------------------

// Line error bits (as the device reports them).
inline constexpr std::uint32_t leRxOverflow = 0x01;
inline constexpr std::uint32_t leOverrun = 0x02;
inline constexpr std::uint32_t leParity = 0x04;
inline constexpr std::uint32_t leFraming = 0x08;
inline constexpr std::uint32_t leBreak = 0x10;

// Kinds returned by TakeLineError.
inline constexpr std::uint16_t leNoError = 0;
inline constexpr std::uint16_t leBuffer = 1;
inline constexpr std::uint16_t leOverrunKind = 2;
inline constexpr std::uint16_t leParityKind = 3;
inline constexpr std::uint16_t leFramingKind = 4;
inline constexpr std::uint16_t leBreakKind = 9;

// Hold flags of the line status.
inline constexpr std::uint32_t fsCtsHold = 0x01;
inline constexpr std::uint32_t fsDsrHold = 0x02;
inline constexpr std::uint32_t fsDcdHold = 0x04;
inline constexpr std::uint32_t fsXoffHold = 0x08;  // sending held by a received XOFF
inline constexpr std::uint32_t fsXoffSent = 0x10;

// Modem status byte (the layout of a UART modem status register).
inline constexpr std::uint8_t msDeltaCts = 0x01;
inline constexpr std::uint8_t msDeltaDsr = 0x02;
inline constexpr std::uint8_t msTrailingRing = 0x04;
inline constexpr std::uint8_t msDeltaDcd = 0x08;
inline constexpr std::uint8_t msCts = 0x10;
inline constexpr std::uint8_t msDsr = 0x20;
inline constexpr std::uint8_t msRing = 0x40;
inline constexpr std::uint8_t msDcd = 0x80;

// Hardware flow option codes (ApplyHardwareFlow) and software flow option codes.
inline constexpr std::uint32_t hfUseDTR = 1;
inline constexpr std::uint32_t hfUseRTS = 2;
inline constexpr std::uint32_t hfRequireDSR = 4;
inline constexpr std::uint32_t hfRequireCTS = 8;
inline constexpr std::uint32_t sfReceiveFlow = 2;
inline constexpr std::uint32_t sfTransmitFlow = 1;

// OpenLine option byte.
inline constexpr std::uint8_t ooDTR = 0x01;
inline constexpr std::uint8_t ooRTS = 0x02;
inline constexpr std::uint8_t ooDTRFlow = 0x10;
inline constexpr std::uint8_t ooRTSFlow = 0x20;

// "Keep" values of ApplyLineSettings.
inline constexpr std::int32_t kKeepBaud = 0;
inline constexpr std::uint8_t kKeepParity = 5;
inline constexpr std::uint8_t kKeepDataBits = 9;
inline constexpr std::uint8_t kKeepStopBits = 3;

// Escape function codes (EscapeFunction).
inline constexpr std::int32_t SETXOFF = 1;
inline constexpr std::int32_t SETXON = 2;
inline constexpr std::int32_t SETRTS = 3;
inline constexpr std::int32_t CLRRTS = 4;
inline constexpr std::int32_t SETDTR = 5;
inline constexpr std::int32_t CLRDTR = 6;
inline constexpr std::int32_t GETBASEADDRESS = 10;
inline constexpr std::int32_t SETBREAK = 8;
inline constexpr std::int32_t CLRBREAK = 9;

// The device's status record: hold flags, then the bytes in the driver's input queue and the bytes
// waiting to be sent (the Win32 layer puts the output buffer's fill there).
struct TComStat {
    std::uint32_t Flags = 0;
    std::uint32_t InQue = 0;
    std::uint32_t OutQue = 0;
};

// The device control block: the comm layer's device state.
using TDCB = platform::comm::DeviceState;

// ---------------------------------------------------------------------------------------------
// Triggers
// ---------------------------------------------------------------------------------------------

// Kinds that FindTrigger reports.
inline constexpr std::int32_t ttNone = 0;
inline constexpr std::int32_t ttTimer = 2;
inline constexpr std::int32_t ttData = 3;
inline constexpr std::int32_t ttStatus = 4;

// Status trigger kinds (the low three bits of a status trigger's handle).
inline constexpr std::uint16_t stNotActive = 0;
inline constexpr std::uint16_t stModem = 1;
inline constexpr std::uint16_t stLine = 2;
inline constexpr std::uint16_t stOutBuffFree = 3;
inline constexpr std::uint16_t stOutBuffUsed = 4;
inline constexpr std::uint16_t stOutSent = 5;

// Longest string of a data trigger.
inline constexpr std::uint32_t kMaxTriggerData = 21;
inline constexpr std::uint32_t kMatchSlots = 22;

struct TTimerTrigger {
    std::int32_t tHandle = 0;
    TTimerRecord tET;          // the tick timer
    std::int32_t tTicks = 0;   // the tick count last given
    std::int32_t tValid = -1;  // reserved
    bool tActive = false;      // armed
};

struct TDataTrigger {
    std::int32_t tHandle = 0;
    std::uint32_t tLen = 0;                    // 0: inactive
    std::int32_t tChkIndex[kMatchSlots] = {};  // partial matches in progress: characters matched
    std::int32_t tMatched = 0;
    std::int32_t tIgnoreCase = 0;
    char tData[kMaxTriggerData + 1] = {};
};

struct TStatusTrigger {
    std::int32_t tHandle = 0;
    std::int32_t tSType = 0;   // stModem .. stOutSent
    std::uint16_t tValue = 0;  // count; error bits; modem: low byte reference, high byte mask
    bool tSActive = false;     // armed
    bool StatusHit = false;    // hit in this pass
};

// A copy of a dispatcher's trigger set, carried by the port component over a close and reopen.
struct TTriggerSave {
    std::uint32_t tsAvailTrigger = 0;
    std::vector<TTimerTrigger> tsTimerTriggers;
    std::vector<TDataTrigger> tsDataTriggers;
    std::vector<TStatusTrigger> tsStatusTriggers;
};

// ---------------------------------------------------------------------------------------------
// Handlers
// ---------------------------------------------------------------------------------------------

// A procedure handler: (message, wParam, lParam), called on the dispatch thread.
using TSpNotifyProc = std::function<void(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam)>;
// An event handler: (user data, message, wParam, lParam); on the main thread when synchronised.
using TSpNotifyEvent =
    std::function<void(void* user, std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam)>;

struct TWndHandlerRec {
    platform::window::Handle Window = 0;
    bool Deleted = false;
};
struct TProcHandlerRec {
    std::uint32_t Id = 0;  // what AddProcedureHandler returned (functions cannot be compared)
    TSpNotifyProc Proc;
    bool Deleted = false;
};
struct TEventHandlerRec {
    std::uint32_t Id = 0;
    TSpNotifyEvent Event;
    void* UserData = nullptr;
    bool Deleted = false;
    bool Sync = false;
};

// UpdateHandlerService codes.
inline constexpr std::int32_t hsRecompute = 0;
inline constexpr std::int32_t hsPortHandlerInstalled = 1;
inline constexpr std::int32_t hsPortHandlerRemoved = 2;

// ---------------------------------------------------------------------------------------------
// Process-wide state
// ---------------------------------------------------------------------------------------------

// The dispatcher list: the index of a dispatcher is its handle; a new dispatcher takes the first
// empty slot or is appended; a destroyed one empties its slot, and empty slots at the end are
// dropped. `lock` guards `list` (a leaf lock).
struct DispatcherListState {
    platform::kernel::CriticalSection lock;
    std::vector<TSpBaseDispatcher*> list;
};
DispatcherListState& dispatcher_list();

// The platform facts the layer consults, as unit state so that tests can take the other branch.
struct DispatcherUnitState {
    // The NT family: RS485 by the device's RTS toggle, no 0x2000 device event. Linux behaves as
    // one; false selects the older platform's paths (base address, UART polling, event 0x2000).
    bool nt_family = true;
    // Older platform: the port's base address as the driver reports it (0 = none), and a reader
    // of the UART's line status register.
    std::function<std::uint16_t()> base_address;
    std::function<std::uint8_t(std::uint16_t port)> read_port_byte;
};
DispatcherUnitState& dispatcher_unit_state();
// Test support: back to the defaults. Dispatchers that still exist keep their slots.
void reset_dispatcher_unit_state_for_tests();

// The dispatcher of a handle under the list lock, or null (index outside the list, empty slot).
// The caller must know the dispatcher stays alive (the main thread frees dispatchers).
TSpBaseDispatcher* FindDispatcher(std::int32_t handle);

// Rate of a device baud value: 0xFEFF is 115,200; 0xFF10..0xFF27 index the old rate codes; any
// other value is the rate itself.
std::int32_t BaudFromCode(std::int32_t code);

// The time WaitTransmitDrain waits for the last character, in ms (rounded up), for a rate, data
// bits, parity and stop setting: t = (10,000,000 / rate) x bits x 18 in 100 ns, doubled when below
// 10,000. A rate of 0 or less counts as 115,200.
std::uint32_t TransmitDrainMs(std::int32_t rate, std::uint8_t data_bits, platform::comm::Parity parity,
                              platform::comm::StopBits stop);

// ---------------------------------------------------------------------------------------------
// The dispatcher
// ---------------------------------------------------------------------------------------------

class TSpBaseDispatcher {
  public:
    // Takes the first empty slot of the dispatcher list (or appends) and keeps its index as the
    // handle. `owner` may be null (the port probe).
    explicit TSpBaseDispatcher(TSpBaseComponent* owner);
    // Closes the line when needed, waits (serving the thread's messages) until no worker thread
    // of this dispatcher is alive, and empties its slot. Main thread.
    virtual ~TSpBaseDispatcher();
    TSpBaseDispatcher(const TSpBaseDispatcher&) = delete;
    TSpBaseDispatcher& operator=(const TSpBaseDispatcher&) = delete;

    TSpBaseComponent* Owner() const { return owner_; }
    std::int32_t Handle() const { return handle_; }
    const std::string& DeviceName() const { return name_; }
    void SetDeviceName(const std::string& name) { name_ = name; }
    platform::comm::Handle DeviceHandle() const { return cid_.load(); }
    bool DeviceValid() const { return cid_.load() > 0; }

    // --- line ----------------------------------------------------------------------------------

    // Opens the device and starts the threads; 0 or a negative code (negated system errors: 2, 3
    // no such device, 5 in use; -8 out of memory). On failure the line is closed again.
    std::int32_t OpenLine(const std::string& device, std::int32_t baud, std::uint8_t options,
                          std::uint32_t out_size, std::uint32_t in_size, std::uint8_t stop_bits,
                          std::uint8_t data_bits, std::uint8_t parity);
    // Discards output and input and closes the device (which tells the threads to end). While a
    // notification is being delivered only the close-requested flag is set (the dispatch thread
    // finishes) and the result is true ("deferred"); otherwise the threads are stopped, the
    // buffers freed and the result is false.
    bool CloseLine();

    std::int32_t ApplyLineSettings(std::int32_t baud, std::uint8_t parity, std::uint8_t data_bits,
                                   std::uint8_t stop_bits);
    // 0; 1 when the line is under flow control (nothing done); -1002 when the escape failed.
    std::int32_t SetDTRLine(bool on);
    std::int32_t SetRTSLine(bool on);
    std::int32_t ApplyHardwareFlow(std::uint32_t full, std::uint32_t resume, std::uint32_t options);
    std::int32_t ApplySoftwareFlow(std::uint32_t full, std::uint32_t resume, std::uint32_t options);
    std::int32_t SoftwareFlowOff();
    std::int32_t SetFlowChars(char on, char off);
    std::int32_t HardwareFlowState();
    std::int32_t SoftwareFlowState();
    std::int32_t SetDriverQueues(std::uint32_t in_size, std::uint32_t out_size);
    // Waits until the output buffer is empty (at most 5,000 x 2 ms), then for one character time.
    void WaitTransmitDrain();

    // --- input ---------------------------------------------------------------------------------

    std::int32_t TakeChar(char& c);
    // n = 1 is the next unread byte. 0, or -3007 when fewer than n bytes are there.
    std::int32_t PeekInput(char& c, std::uint32_t n);
    std::uint32_t InputCount();
    std::int32_t DiscardInput();
    // Moves received bytes from the device into the ring (dispatch thread).
    void ReadIntoRing();

    // --- output --------------------------------------------------------------------------------

    // 0; -3006 when it does not fit (nothing queued); -3004 when the copy failed (the device is
    // gone); -3010 in RS485 mode on the older platform without a base address.
    std::int32_t QueueBlock(const void* bytes, std::uint32_t length);
    std::uint32_t OutputUsed();
    std::uint32_t OutputFree();
    std::int32_t DiscardOutput();

    // --- status --------------------------------------------------------------------------------

    std::uint16_t TakeLineError();
    bool TakeLineBreak();
    void RefreshLineStatus();
    void RefreshModemStatus();
    // The modem lines in bits 4-7 with the change bits 0-3 kept, then only `mask` kept.
    std::uint8_t ReadModemStatus(std::uint8_t mask = 0xFF);
    std::uint8_t ModemStatus();
    std::uint32_t LastLineErrors();
    TComStat LineStatus();
    // True once the device reported that it went away (hang-up, unplugged).
    bool DeviceLost() const { return device_lost_.load(); }

    // --- settings as last written ----------------------------------------------------------------

    TDCB DeviceStateCopy();
    std::int32_t LastBaud();
    bool DTRState();
    bool RTSState();
    bool DTRUnderFlow();
    bool RTSUnderFlow();
    bool RS485Mode();
    std::uint16_t BaseAddress();
    std::uint32_t InSize() const { return in_size_; }
    std::uint32_t OutSize() const { return out_size_; }
    void SetOptionBit(std::uint32_t bit, bool on);
    std::uint32_t Options();

    // --- triggers --------------------------------------------------------------------------------

    std::int32_t AllocTimerTrigger();
    std::int32_t StartTimerTrigger(std::int32_t handle, std::int32_t ticks, bool activate);
    // Adds a data trigger: -5002 for a string longer than 21 or empty, -5001 when no handle is free.
    std::int32_t AddDataTrigger(const std::string& data, bool ignore_case);
    // Adds a status trigger of a kind (stModem .. stOutSent): its handle carries the kind; -1002
    // for an unknown kind, -5001 when no handle is free.
    std::int32_t AddStatusTrigger(std::uint16_t kind);
    // Arms (or disarms) a status trigger: for stModem `value` is the mask of lines to watch (the
    // reference is the current line state), for stLine the error bits, for the output kinds the
    // count. -5003 for a handle that is not a status trigger.
    std::int32_t SetStatusTrigger(std::int32_t handle, std::uint16_t value, bool activate);
    // Kind found (ttTimer, ttData, ttStatus) or -5003; with `remove` the record is freed.
    std::int32_t FindTrigger(std::int32_t handle, bool remove);
    std::int32_t RemoveTrigger(std::int32_t handle) { return FindTrigger(handle, true) < 0 ? -5003 : 0; }
    void ChangeAvailThreshold(std::uint32_t count);
    std::uint32_t AvailThreshold();
    // Tells the device how many more bytes the next notification needs (SetReceiveLevel): the
    // avail threshold less what the ring holds, or 1 while data triggers look at every byte or
    // nothing is held back. Called when the threshold, the data triggers or the ring change.
    void UpdateReceiveLevel();
    void RemoveAllTriggers();
    // Copies of the records (tests, the component's reports).
    std::vector<TTimerTrigger> TimerTriggers();
    std::vector<TDataTrigger> DataTriggers();
    std::vector<TStatusTrigger> StatusTriggers();

    // --- handlers --------------------------------------------------------------------------------

    void AddWindowHandler(platform::window::Handle window);
    void RemoveWindowHandler(platform::window::Handle window);
    // Procedure and event handlers; the result identifies the record for removal.
    std::uint32_t AddProcedureHandler(TSpNotifyProc proc);
    void RemoveProcedureHandler(std::uint32_t id);
    std::uint32_t AddEventHandler(TSpNotifyEvent event, void* user, bool synchronise);
    void RemoveEventHandler(std::uint32_t id);
    virtual void UpdateHandlerService(std::int32_t code);
    bool HandlerServiceNeeded();
    std::size_t WindowHandlerCount();  // records still in the list (marked ones included)

    // Delivers one notification to every handler; false when a close was requested during it, or
    // for an avail notification when the largest look-ahead differs from wParam. `delivered`
    // (optional) tells whether any handler took it: a send that timed out before the window
    // started on it does not count.
    bool NotifyHandlers(std::uint32_t msg, std::uintptr_t wparam, std::uint16_t low,
                        bool* delivered = nullptr);
    // Called by the port's window procedure when it begins on a notification of this dispatcher,
    // so that a send that timed out can tell "not started" from "started but slow".
    void NoteNotificationEntered() { notifications_entered_.fetch_add(1); }

    // The scans (dispatch thread). Each returns whether a notification was delivered.
    bool ScanStatusTriggers();
    bool ScanDataTriggers();
    bool ScanTimerTriggers();
    // Milliseconds until the earliest armed timer trigger expires, at most `limit`.
    std::uint64_t MsUntilNextTimer(std::uint64_t limit);
    // The end of the dispatch thread's next wait (ClockMs): `pass_due_ms`, or the expiry of the
    // earliest armed timer trigger when that comes sooner (with `until_timers`). The end is kept,
    // so that an arming that expires before it wakes the thread (DispatchWaitChanged) and a
    // later one does not.
    std::uint64_t PlanDispatchWait(std::uint64_t pass_due_ms, bool until_timers);
    // The wait has ended: until the next plan the thread sees every arming by itself (an arming
    // from a handler, while the thread waits for that handler, wakes nobody).
    void EndDispatchWait();
    void ClearStatusHits();
    bool StatusHitThisPass() const { return status_hit_.load(); }
    // Whether the dispatch thread must run a pass every 50 ms though no device event comes: a
    // status trigger is armed (its condition can turn true without one), the ring was full or the
    // device kept bytes the ring had no room for, or received bytes were announced to nobody.
    // Otherwise device events and timer expiries are all there is to wait for.
    bool PassesNeeded();

    void SaveTriggerSet(TTriggerSave& save);
    void RestoreTriggerSet(const TTriggerSave& save);
    static void FreeTriggerSet(TTriggerSave& save);

    bool Notifying() const { return notifying_.load(); }
    bool CloseRequested() const { return close_requested_.load(); }
    bool InAvail();

    // --- tracing and dispatch logging ------------------------------------------------------------

    std::int32_t InitTracing(std::uint32_t size);
    void ClearTracing();
    void StartTracing();
    void StopTracing();
    void AbortTracing();  // stop and discard
    std::int32_t DumpTrace(const std::string& file, bool append, bool in_hex, bool all_hex);
    bool TracingOn();
    void AddTraceEntry(char kind, std::uint8_t byte);

    std::int32_t InitDispatchLogging(std::uint32_t size);
    void ClearDispatchLogging();
    void StartDispatchLogging();
    void StopDispatchLogging();
    void AbortDispatchLogging();
    std::int32_t DumpDispatchLog(const std::string& file, bool append, bool in_hex, bool all_hex);
    bool LoggingOn();
    void AddLogEntry(std::uint8_t type, std::uint8_t subtype, std::uint32_t data, const void* bytes = nullptr,
                     std::uint32_t count = 0);
    // Copies of the recorders' entries (tests).
    std::vector<TSpDispatchLog::Entry> LogEntries();

    // --- device operations, in slot order ---------------------------------------------------------

    virtual std::int32_t EscapeFunction(std::int32_t code) = 0;
    virtual std::int32_t FlushDevice(std::int32_t which) = 0;  // 0 output, 1 input
    virtual std::int32_t QueueStatus(TComStat& status) = 0;    // error bits
    virtual std::int32_t ReadFailed(std::int32_t code) = 0;
    virtual std::int32_t GetDeviceState(TDCB& state) = 0;
    virtual std::int32_t ReadDevice(void* buffer, std::uint32_t count) = 0;
    virtual std::int32_t SetDeviceState(const TDCB& state) = 0;
    virtual std::int32_t WriteToOutput(const void* bytes, std::uint32_t count) = 0;
    virtual bool WaitDeviceEvent(std::uint32_t& mask) = 0;
    virtual bool SetDeviceQueues(std::uint32_t in_size, std::uint32_t out_size) = 0;
    virtual void ReleaseResources();
    virtual void StartThreads() = 0;
    virtual void StopThreads() = 0;
    virtual std::int32_t OpenDeviceHandle(const std::string& name, std::uint32_t in_size,
                                          std::uint32_t out_size) = 0;
    virtual std::int32_t CloseDevice() = 0;
    virtual std::int32_t YieldSlice() = 0;
    // The device reports received bytes once it holds this many (1: every arrival).
    virtual void SetReceiveLevel(std::uint32_t) {}
    virtual void SetThreadPriorities(std::int32_t base);
    virtual void SetRS485(bool on);

    // A one-line report of counters and state for diagnostics.
    std::string Report();

  protected:
    // The dispatch thread's wait must be planned anew: a timer trigger was armed that expires
    // before it ends, or a status trigger was armed.
    virtual void DispatchWaitChanged() {}
    // Stops the output thread for a discard (waits for its answer; nothing when there is none) and
    // lets it go on afterwards; purges the device's transmit side.
    virtual void HaltOutput() {}
    virtual void ResumeOutput() {}
    virtual std::int32_t PurgeOutput() = 0;
    // The closing part of a destructor: a derived dispatcher calls it first thing in its own
    // destructor, while its device operations still exist.
    void Shutdown();
    // The system error of the last failed device call (SetDeviceQueues and the like).
    std::atomic<std::uint32_t> last_system_error_{0};

    // The output fill; the caller holds the output lock.
    std::uint32_t OutputFillLocked() const;
    // The available count; the caller holds the input lock.
    std::uint32_t AvailableLocked() const;
    std::int32_t ApplyDeviceState(TDCB& state);
    std::int32_t NextTriggerHandle();  // general lock held

    // Called by the device layer when the device reported that it went away.
    void MarkDeviceLost();

    TSpBaseComponent* owner_;
    std::int32_t handle_ = -1;
    std::string name_;
    std::atomic<platform::comm::Handle> cid_{-1};

    platform::kernel::CriticalSection general_lock_;  // see the lock order above
    platform::kernel::CriticalSection output_lock_;
    platform::kernel::CriticalSection input_lock_;
    platform::kernel::CriticalSection status_lock_;  // leaf

    // General lock.
    TDCB dcb_;
    std::int32_t last_baud_ = kInitialLastBaud;
    std::uint32_t options_ = 0;
    bool dtr_state_ = false;
    bool rts_state_ = false;
    bool dtr_flow_ = false;
    bool rts_flow_ = false;
    bool rs485_ = false;
    std::uint16_t base_address_ = 0;
    std::uint8_t modem_status_ = 0;
    std::int32_t thread_priority_base_ = 0;

    // Status lock.
    std::uint32_t last_error_ = 0;
    TComStat comstat_;

    std::uint32_t in_size_ = 0;
    std::uint32_t out_size_ = 0;

    // Input lock.
    std::vector<char> ring_;
    std::uint32_t ring_head_ = 0;  // write index
    std::uint32_t ring_tail_ = 0;  // read index
    bool ring_full_ = false;
    bool device_input_left_ = false;  // the last read left bytes in the device (no room)
    bool in_avail_ = false;
    std::uint32_t look_ahead_ = 0;
    std::uint32_t max_look_ahead_ = 0;

    // Output lock.
    std::vector<char> out_buffer_;
    std::uint32_t out_head_ = 0;
    std::uint32_t out_tail_ = 0;
    bool out_full_ = false;
    // Counts DiscardOutput's resets, so that the output thread never moves a tail it took before
    // a reset that did not wait for it.
    std::uint64_t out_generation_ = 0;

    std::atomic<bool> something_sent_{false};
    std::atomic<bool> notifying_{false};
    std::atomic<bool> deletions_pending_{false};
    std::atomic<bool> close_requested_{false};
    std::atomic<bool> ring_seen_{false};
    std::atomic<bool> device_lost_{false};
    std::atomic<bool> resources_released_{true};

    // General lock: triggers and handlers.
    std::vector<TTimerTrigger> timer_triggers_;
    std::vector<TDataTrigger> data_triggers_;
    std::vector<TStatusTrigger> status_triggers_;
    std::uint32_t avail_threshold_ = 0;
    std::uint32_t receive_level_ = 1;  // input lock: the level the device was last given
    std::int32_t trigger_counter_ = 1;
    std::vector<TWndHandlerRec> wnd_handlers_;
    std::vector<TProcHandlerRec> proc_handlers_;
    std::vector<TEventHandlerRec> event_handlers_;
    std::uint32_t next_handler_id_ = 1;
    bool handler_service_needed_ = false;
    bool port_handler_installed_ = false;
    std::atomic<bool> status_hit_{false};
    // When the dispatch thread's current (or last) wait ends, on the tick timers' clock; none
    // planned yet: every arming wakes it.
    std::uint64_t dispatch_wait_end_ms_ = UINT64_MAX;
    std::atomic<std::uint64_t> notifications_entered_{0};
    // Main-thread window through which synchronised event handlers run (made on demand by
    // AddEventHandler, on the thread that adds the first synchronised handler).
    std::atomic<platform::window::Handle> sync_window_{0};

    // Input lock: the data triggers' scan position, the bytes from there to the write index that
    // are not scanned yet, and the bytes scanned since the last avail notification (which stands
    // for "the scan position differs from the last avail position" also when exactly a whole ring
    // arrived at once).
    std::uint32_t scan_position_ = 0;
    std::uint32_t unscanned_ = 0;
    std::uint32_t bytes_since_avail_ = 0;

    // General lock; the atomics let the hot paths skip the lock while both are off.
    TSpTrace trace_;
    TSpDispatchLog log_;
    std::atomic<bool> trace_on_{false};
    std::atomic<bool> log_on_{false};

  private:
    void FreeBuffers();
    std::int32_t StartTimerTriggerLocked(std::int32_t handle, std::int32_t ticks, bool activate,
                                         bool& sooner);
    bool CallWindowHandler(platform::window::Handle window, std::uint32_t msg, std::uintptr_t wparam,
                           std::intptr_t lparam);
    void RunSynchronised(const std::function<void()>& job);
};

}  // namespace serial
