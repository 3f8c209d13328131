// The serial port component TSpComPort.
//
// The component keeps the line settings as properties, opens and closes the device, owns one
// dispatcher (serial/win32_dispatcher.h) for each period in which the port is open, and turns the
// dispatcher's notifications into events that run on the main thread: the dispatch thread sends a
// window message to the component's hidden window ("awComWindow"), whose procedure calls the
// handlers. Every operation passes its result through CheckResult (serial/exceptions.h): a
// negative code raises its ESpException class (EInOutError for system errors 2..162); nothing is
// raised while the component is loading.
//
// Using it (the instrument session's view):
//
//     serial::TSpComPort port;
//     port.SetComNumber(1);                        // "\\.\COM1": ZOR_COM1 or /dev/ttyS0
//     port.SetBaud(9600);
//     port.SetSWFlowOptions(serial::swfBoth);      // XON/XOFF both ways, limits 3072/1024
//     port.SetOnTriggerAvail([&](serial::TSpCustomComPort& cp, std::uint16_t count) {
//         for (unsigned i = 0; i < count; ++i) buffer.push_back(cp.ReadChar());
//     });
//     port.SetOnTriggerTimer([&](serial::TSpCustomComPort&, std::uint16_t handle) { ... });
//     port.SetOpen(true);                          // EAlreadyOpen, EBadId, ENoPortSelected ...
//     std::uint16_t timer = port.NewTimerTrigger();
//     port.ArmTimerTrigger(timer, 9, true);        // one-shot, 9 ticks of 55 ms
//     port.WriteText("GET_STAT\r");
//     ... the thread's message loop runs the events ...
//     port.SetOpen(false);
//
// The events run on the thread that opened the port, inside its message loop (and inside any
// nested loop: modal forms, message boxes), while the dispatch thread waits for them. A handler
// may read (ReadChar), write (WriteText), arm timers and close the port; a close from inside a
// handler finishes later, through message 0x7E0A to the hidden window: OnPortClose runs at once,
// Open stays true until the worker threads have ended. Setting Open true again meanwhile reopens
// the port as soon as the close has finished, with the same trigger set, and a timer armed while
// the close is in progress is armed in the reopened port.
//
// Window messages (to the hidden window, lParam's high word = dispatcher handle): 0x7E01 avail
// (wParam count), 0x7E02 data trigger, 0x7E03 timer trigger (wParam handle), 0x7E04 status
// trigger; to port users 0x7E08 opened, 0x7E09 closed, 0x7E0A closing; 0x7E0A also carries the
// deferred close to the component's own window.
//
// Main thread only (the thread that opens the port), except where a comment says otherwise.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms/types.h"
#include "platform/window/window.h"
#include "serial/base_component.h"
#include "serial/dispatcher.h"

namespace serial {

class TSpCustomComPort;

enum TParity : std::uint8_t { pNone, pOdd, pEven, pMark, pSpace };
enum TDeviceLayer : std::uint8_t { dlWin32, dlWinsock };
enum TTapiMode : std::uint8_t { tmNone, tmAuto, tmOn, tmOff };
enum THWFlowOptions : std::uint8_t { hwfUseDTR, hwfUseRTS, hwfRequireDSR, hwfRequireCTS };
enum TSWFlowOptions : std::uint8_t { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTraceLogState : std::uint8_t { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };

// A set of THWFlowOptions.
class THWFlowOptionSet {
  public:
    THWFlowOptionSet() = default;
    THWFlowOptionSet(std::initializer_list<THWFlowOptions> options) {
        for (auto o : options) bits_ |= static_cast<std::uint8_t>(1u << o);
    }
    bool has(THWFlowOptions o) const { return (bits_ >> o) & 1u; }
    THWFlowOptionSet& add(THWFlowOptions o) {
        bits_ |= static_cast<std::uint8_t>(1u << o);
        return *this;
    }
    THWFlowOptionSet& remove(THWFlowOptions o) {
        bits_ &= static_cast<std::uint8_t>(~(1u << o));
        return *this;
    }
    bool empty() const { return bits_ == 0; }
    // The dispatcher's option code: 1 DTR, 2 RTS, 4 require DSR, 8 require CTS.
    std::uint32_t code() const { return bits_; }
    bool operator==(const THWFlowOptionSet&) const = default;

  private:
    std::uint8_t bits_ = 0;
};

using TNotifyEvent = platform::forms::NotifyEvent;  // (Sender)
using TTriggerEvent = std::function<void(TSpCustomComPort& CP, std::uint16_t Msg, std::uint16_t TriggerHandle,
                                         std::uint16_t Data)>;
using TTriggerAvailEvent = std::function<void(TSpCustomComPort& CP, std::uint16_t Count)>;
using TTriggerDataEvent = std::function<void(TSpCustomComPort& CP, std::uint16_t TriggerHandle)>;
using TTriggerStatusEvent = std::function<void(TSpCustomComPort& CP, std::uint16_t TriggerHandle)>;
using TTriggerTimerEvent = std::function<void(TSpCustomComPort& CP, std::uint16_t TriggerHandle)>;
using TTriggerLineErrorEvent = std::function<void(TSpCustomComPort& CP, std::uint16_t Error, bool LineBreak)>;
using TPortCallbackEvent = std::function<void(TSpCustomComPort& CP, std::int32_t value)>;

// A port user: another component that wants the open, close and closing notices; a callback gets
// the notice's message number (APW_PORTOPEN, APW_PORTCLOSE, APW_CLOSEPENDING).
using TPortCallback = std::function<void(TSpCustomComPort& CP, std::uint32_t notice, void* user)>;
struct TUserListEntry {
    platform::window::Handle Window = 0;  // 0 for a callback user
    TPortCallback Callback;
    void* UserData = nullptr;
    bool WantsClosing = false;  // asks for the closing notice (0x7E0A) as well
    std::uint32_t Id = 0;
};

// Makes the dispatcher of an open (the factory hook).
using TDispatcherFactory = std::function<std::unique_ptr<TSpBaseDispatcher>(TSpCustomComPort& port)>;

// Port states.
inline constexpr std::uint8_t psClosed = 0;
inline constexpr std::uint8_t psClosing = 1;
inline constexpr std::uint8_t psOpen = 2;

inline constexpr const char* kComWindowClass = "awComWindow";

// The unit's process state.
struct ComPortUnitState {
    // The application's exception handler: exceptions raised by event handlers on the main thread
    // and by an open from Loaded go here (default: the message on stderr).
    std::function<void(std::exception_ptr)> application_exception_handler;
    // The thread that counts as the main thread; 0 = the thread that opened a port first.
    platform::kernel::ThreadId main_thread = 0;
    bool window_class_registered = false;
};
ComPortUnitState& com_port_unit_state();
void reset_com_port_unit_state_for_tests();
// Passes an exception to the application's exception handler.
void HandleApplicationException(std::exception_ptr error);

class TSpCustomComPort : public TSpBaseComponent {
  public:
    TSpCustomComPort();
    // Closes the port when it is open.
    ~TSpCustomComPort() override;
    const char* class_name() const override { return "TSpCustomComPort"; }

    // --- properties (getter, setter) --------------------------------------------------------

    TDeviceLayer DeviceLayer() const { return device_layer_; }
    void SetDeviceLayer(TDeviceLayer layer);
    std::uint16_t ComNumber() const { return com_number_; }
    void SetComNumber(std::uint16_t number);
    std::int32_t Baud() const { return baud_; }
    void SetBaud(std::int32_t baud);
    bool PromptForPort() const { return prompt_for_port_; }
    void SetPromptForPort(bool prompt) { prompt_for_port_ = prompt; }
    TParity Parity() const { return parity_; }
    void SetParity(TParity parity);
    std::uint16_t DataBits() const { return data_bits_; }
    void SetDataBits(std::uint16_t bits);
    std::uint16_t StopBits() const { return stop_bits_; }
    void SetStopBits(std::uint16_t bits);
    std::uint16_t InSize() const { return in_size_; }
    void SetInSize(std::uint16_t size);
    std::uint16_t OutSize() const { return out_size_; }
    void SetOutSize(std::uint16_t size);
    bool AutoOpen() const { return auto_open_; }
    void SetAutoOpen(bool on) { auto_open_ = on; }
    bool Open() const { return open_; }
    void SetOpen(bool open);
    bool DTR() const { return dtr_; }
    void SetDTR(bool on);
    bool RTS() const { return rts_; }
    void SetRTS(bool on);
    THWFlowOptionSet HWFlowOptions() const { return hw_flow_; }
    void SetHWFlowOptions(THWFlowOptionSet options);
    TSWFlowOptions SWFlowOptions() const { return sw_flow_; }
    void SetSWFlowOptions(TSWFlowOptions options);
    char XOnChar() const { return xon_char_; }
    void SetXOnChar(char c);
    char XOffChar() const { return xoff_char_; }
    void SetXOffChar(char c);
    std::uint16_t BufferFull() const { return buffer_full_; }
    void SetBufferFull(std::uint16_t value);
    std::uint16_t BufferResume() const { return buffer_resume_; }
    void SetBufferResume(std::uint16_t value);
    TTraceLogState Tracing() const { return tracing_; }
    void SetTracing(TTraceLogState state);
    std::uint32_t TraceSize() const { return trace_size_; }
    void SetTraceSize(std::uint32_t size);
    const std::string& TraceName() const { return trace_name_; }
    void SetTraceName(const std::string& name) { trace_name_ = name.substr(0, 255); }
    bool TraceHex() const { return trace_hex_; }
    void SetTraceHex(bool on) { trace_hex_ = on; }
    bool TraceAllHex() const { return trace_all_hex_; }
    void SetTraceAllHex(bool on) { trace_all_hex_ = on; }
    TTraceLogState Logging() const { return logging_; }
    void SetLogging(TTraceLogState state);
    std::uint32_t LogSize() const { return log_size_; }
    void SetLogSize(std::uint32_t size);
    const std::string& LogName() const { return log_name_; }
    void SetLogName(const std::string& name) { log_name_ = name.substr(0, 255); }
    bool LogHex() const { return log_hex_; }
    void SetLogHex(bool on) { log_hex_ = on; }
    bool LogAllHex() const { return log_all_hex_; }
    void SetLogAllHex(bool on) { log_all_hex_ = on; }
    bool UseMSRShadow() const { return true; }
    virtual void SetUseMSRShadow(bool) {}  // always true
    bool UseEventWord() const { return use_event_word_; }
    void SetUseEventWord(bool on);
    std::uint16_t CommNotificationLevel() const { return comm_notification_level_; }
    void SetCommNotificationLevel(std::uint16_t level) { comm_notification_level_ = level; }
    TTapiMode TapiMode() const { return tapi_mode_; }
    void SetTapiMode(TTapiMode mode) { tapi_mode_ = mode; }
    bool RS485Mode() const { return rs485_mode_; }
    void SetRS485Mode(bool on);
    std::uint8_t PriorityRaise() const { return priority_raise_; }
    void SetPriorityRaise(std::uint8_t raise);
    std::uint16_t AvailThreshold() const { return avail_threshold_; }
    void SetAvailThreshold(std::uint16_t count);
    // With TapiMode tmOn: the comm handle of a device that another component has opened.
    platform::comm::Handle TapiHandle() const { return tapi_handle_; }
    void SetTapiHandle(platform::comm::Handle handle) { tapi_handle_ = handle; }

    // --- events -----------------------------------------------------------------------------

    TNotifyEvent OnPortClose;
    TNotifyEvent OnPortOpen;
    // The trigger events; each setter re-checks whether the dispatcher needs to notify.
    void SetOnTrigger(TTriggerEvent handler);
    void SetOnTriggerAvail(TTriggerAvailEvent handler);
    void SetOnTriggerData(TTriggerDataEvent handler);
    void SetOnTriggerStatus(TTriggerStatusEvent handler);
    void SetOnTriggerTimer(TTriggerTimerEvent handler);
    void SetOnTriggerLineError(TTriggerLineErrorEvent handler);
    void SetOnTriggerModemStatus(TNotifyEvent handler);
    void SetOnTriggerOutbuffFree(TNotifyEvent handler);
    void SetOnTriggerOutbuffUsed(TNotifyEvent handler);
    void SetOnTriggerOutSent(TNotifyEvent handler);
    const TTriggerEvent& OnTrigger() const { return on_trigger_; }
    const TTriggerAvailEvent& OnTriggerAvail() const { return on_trigger_avail_; }
    const TTriggerDataEvent& OnTriggerData() const { return on_trigger_data_; }
    const TTriggerStatusEvent& OnTriggerStatus() const { return on_trigger_status_; }
    const TTriggerTimerEvent& OnTriggerTimer() const { return on_trigger_timer_; }
    const TTriggerLineErrorEvent& OnTriggerLineError() const { return on_trigger_line_error_; }
    const TNotifyEvent& OnTriggerModemStatus() const { return on_trigger_modem_status_; }
    const TNotifyEvent& OnTriggerOutbuffFree() const { return on_trigger_outbuff_free_; }
    const TNotifyEvent& OnTriggerOutbuffUsed() const { return on_trigger_outbuff_used_; }
    const TNotifyEvent& OnTriggerOutSent() const { return on_trigger_out_sent_; }
    // The extra event after OnPortClose, which nothing fires in this system but FirePortCallback.
    TPortCallbackEvent OnPortCallback;

    // --- operations -------------------------------------------------------------------------

    void ClearInput();
    void ClearOutput();
    // One received character; raises EBufferIsEmpty when none is there. #0 while closing.
    char ReadChar();
    // The next unread characters without taking them (n = 1 is the next one).
    char PeekChar(std::uint32_t n);
    std::uint32_t InBuffUsed();
    std::uint32_t OutBuffUsed();
    std::uint32_t OutBuffFree();
    // Queues all bytes of the text in one block.
    void WriteText(const std::string& text);
    std::uint16_t NewTimerTrigger();
    void ArmTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate);
    // Data and status triggers (their events: OnTriggerData, OnTriggerStatus and the five status
    // kinds). The handle of a status trigger carries its kind (stModem .. stOutSent).
    std::uint16_t AddDataTrigger(const std::string& data, bool ignore_case);
    std::uint16_t AddStatusTrigger(std::uint16_t kind);
    void SetStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate);
    void RemoveTrigger(std::uint16_t handle);
    // 0 off, 1 on, 2 held by DSR, 3 held by CTS, 5 sending held by a received XOFF, 6 XOFF sent,
    // 7 both: flow_hold_state of the flow state (serial/flow_states.h).
    std::uint8_t FlowHoldState();
    void GiveTimeSlice();
    // Modem lines (bits 4-7 of the modem status byte, change bits cleared on reading).
    std::uint8_t ModemStatus();
    // The line-error kind (TakeLineError) and the break flag, both cleared on reading.
    std::uint16_t LineError();
    bool LineBreak();
    // True once the device went away while open (pty master closed, adapter unplugged).
    bool DeviceLost();

    // Port users.
    std::uint32_t RegisterUser(platform::window::Handle window, bool wants_closing = false);
    std::uint32_t RegisterUserCallback(TPortCallback callback, void* user, bool wants_closing = false);
    void DeregisterUser(std::uint32_t id);

    // The dispatcher, opening the port first when AutoOpen allows; null when there is none.
    TSpBaseDispatcher* CurrentDispatcher();
    // As CurrentDispatcher, raising ECommNotOpen when there still is none.
    TSpBaseDispatcher& RequireDispatcher();
    TSpBaseDispatcher* Dispatcher() const { return dispatcher_.get(); }
    std::uint8_t PortState() const { return port_state_; }
    platform::window::Handle NotifyWindow() const { return notify_window_; }
    bool ReopenRequested() const { return reopen_requested_; }
    bool RestorePending() const { return restore_pending_; }
    const TTriggerSave& SavedTriggers() const { return saved_triggers_; }

    TDispatcherFactory DispatcherFactory;

    // After the form description was read: opens the port when Open was set meanwhile.
    void Loaded();
    // Copies the properties and the handlers (not Open) from another port.
    void Assign(const TSpCustomComPort& source);

    // --- virtual slots ----------------------------------------------------------------------

    virtual std::unique_ptr<TSpBaseDispatcher> CreateDispatcher();
    virtual void DeviceLayerChanged() {}
    virtual std::int32_t OpenDevice();
    virtual void SetNotifyWindow(bool on);
    virtual void AskForPort();
    virtual void FireTrigger(std::uint16_t msg, std::uint16_t handle, std::uint16_t data);
    virtual void FireTriggerAvail(std::uint16_t count);
    virtual void FireTriggerData(std::uint16_t handle);
    virtual void FireTriggerStatus(std::uint16_t handle);
    virtual void FireTriggerTimer(std::uint16_t handle);
    virtual void RecheckTriggerHandlers();
    virtual void FireTriggerLineError(std::uint16_t error, bool line_break);
    virtual void FireTriggerModemStatus();
    virtual void FireTriggerOutbuffFree();
    virtual void FireTriggerOutbuffUsed();
    virtual void FireTriggerOutSent();
    virtual void FirePortCallback(std::int32_t value);
    virtual void RunCloseSequence();
    virtual void SendOpenNotices();
    virtual void SendCloseNotices();
    virtual void SendClosingNotices();
    virtual void RunOpenSequence();

    // The hidden window's procedure (public for tests that feed it messages directly).
    static platform::window::Result PortWindowProc(platform::window::Handle window, std::uint32_t msg,
                                                   platform::window::WParam wparam,
                                                   platform::window::LParam lparam);

  protected:
    std::int32_t Check(std::int32_t result) const;
    bool Force() const { return force_; }

  private:
    void ApplyTraceState(TTraceLogState state, bool logging);
    void HandleDeferredClose(platform::window::LParam lparam);
    bool AnyTriggerHandler() const;
    bool Closing() const { return port_state_ == psClosing; }
    // A line setting that the device refused: the next write of the same value tries again.
    bool line_settings_failed_ = false;
    void ApplyLine();
    // Stores a line setting and sends the line to the device when it changed or was refused.
    template <class T>
    void SetLineField(T& field, T value) {
        if (value == field && !line_settings_failed_) return;
        field = value;
        ApplyLine();
    }
    // Installs a trigger handler; the dispatcher learns whether any handler is left.
    template <class H>
    void InstallTriggerHandler(H& slot, H handler) {
        slot = std::move(handler);
        RecheckTriggerHandlers();
    }
    std::uint32_t AddUser(TUserListEntry entry);
    void DestroyNotifyWindow();

    bool force_ = false;
    std::uint8_t port_state_ = psClosed;
    bool reopen_requested_ = false;
    bool open_after_load_ = false;
    std::vector<TUserListEntry> users_;
    std::uint32_t next_user_id_ = 1;
    bool restore_pending_ = false;
    TTriggerSave saved_triggers_;
    platform::window::Handle notify_window_ = 0;
    std::unique_ptr<TSpBaseDispatcher> dispatcher_;
    platform::comm::Handle tapi_handle_ = 0;
    std::uint8_t priority_raise_ = 0;
    std::uint16_t avail_threshold_ = 1;

    TDeviceLayer device_layer_ = dlWin32;
    std::uint16_t com_number_ = 0;
    std::int32_t baud_ = 19200;
    bool prompt_for_port_ = true;
    TParity parity_ = pNone;
    std::uint16_t data_bits_ = 8;
    std::uint16_t stop_bits_ = 1;
    std::uint16_t in_size_ = 4096;
    std::uint16_t out_size_ = 4096;
    bool auto_open_ = true;
    bool open_ = false;
    bool dtr_ = true;
    bool rts_ = true;
    THWFlowOptionSet hw_flow_;
    TSWFlowOptions sw_flow_ = swfNone;
    char xon_char_ = 17;
    char xoff_char_ = 19;
    std::uint16_t buffer_full_ = 0;
    std::uint16_t buffer_resume_ = 0;
    TTraceLogState tracing_ = tlOff;
    std::uint32_t trace_size_ = 10000;
    std::string trace_name_ = "SERIAL.TRC";
    bool trace_hex_ = true;
    bool trace_all_hex_ = false;
    TTraceLogState logging_ = tlOff;
    std::uint32_t log_size_ = 10000;
    std::string log_name_ = "SERIAL.LOG";
    bool log_hex_ = true;
    bool log_all_hex_ = false;
    bool use_event_word_ = true;
    std::uint16_t comm_notification_level_ = 10;
    TTapiMode tapi_mode_ = tmAuto;
    bool rs485_mode_ = false;

    TTriggerEvent on_trigger_;
    TTriggerAvailEvent on_trigger_avail_;
    TTriggerDataEvent on_trigger_data_;
    TTriggerStatusEvent on_trigger_status_;
    TTriggerTimerEvent on_trigger_timer_;
    TTriggerLineErrorEvent on_trigger_line_error_;
    TNotifyEvent on_trigger_modem_status_;
    TNotifyEvent on_trigger_outbuff_free_;
    TNotifyEvent on_trigger_outbuff_used_;
    TNotifyEvent on_trigger_out_sent_;
};

// The component the core's form holds; it only publishes the properties.
class TSpComPort : public TSpCustomComPort {
  public:
    const char* class_name() const override { return "TSpComPort"; }
};

}  // namespace serial
