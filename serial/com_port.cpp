// The serial port component.
#include "serial/com_port.h"

#include <algorithm>
#include <cstdio>

#include "platform/forms/form.h"
#include "serial/errors.h"
#include "serial/exceptions.h"
#include "serial/misc.h"
#include "serial/select_port.h"
#include "serial/win32_dispatcher.h"

namespace serial {

namespace kernel = platform::kernel;
namespace win = platform::window;
namespace forms = platform::forms;
using Guard = kernel::CriticalSectionGuard;

// ---------------------------------------------------------------------------------------------
// Unit state
// ---------------------------------------------------------------------------------------------

ComPortUnitState& com_port_unit_state() {
    static ComPortUnitState state;
    return state;
}

void reset_com_port_unit_state_for_tests() {
    com_port_unit_state() = ComPortUnitState{};
}

void HandleApplicationException(std::exception_ptr error) {
    auto& handler = com_port_unit_state().application_exception_handler;
    if (handler) {
        handler(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "serial port: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "serial port: unknown exception\n");
    }
}

namespace {

bool OnMainThread() {
    auto main = com_port_unit_state().main_thread;
    return main == 0 || main == kernel::current_thread_id();
}

std::string ComName(std::uint16_t n) {
    return "COM" + std::to_string(n);
}
std::string DeviceNameOf(std::uint16_t n) {
    return "\\\\.\\COM" + std::to_string(n);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------------

TSpCustomComPort::TSpCustomComPort() = default;

TSpCustomComPort::~TSpCustomComPort() {
    try {
        if (port_state_ == psOpen) RunCloseSequence();
    } catch (...) {
        // a destructor must not raise; the close still finishes below
    }
    // A close still finishing (deferred from a handler) ends here: the dispatcher's destruction
    // waits for its threads, serving messages.
    if (dispatcher_) {
        DestroyNotifyWindow();
        dispatcher_.reset();
    }
    DestroyNotifyWindow();
    users_.clear();
    TSpBaseDispatcher::FreeTriggerSet(saved_triggers_);
}

std::int32_t TSpCustomComPort::Check(std::int32_t result) const {
    return CheckResult(this, result);
}

// ---------------------------------------------------------------------------------------------
// Open and close
// ---------------------------------------------------------------------------------------------

void TSpCustomComPort::SetOpen(bool open) {
    // A close still finishing counts before the equality test (Open stays true meanwhile): a
    // reopen asked for now happens as soon as the close has finished, and a close cancels it.
    if (port_state_ == psClosing && !Loading() && !Designing()) {
        reopen_requested_ = open;
        return;
    }
    if (open == open_) return;
    if (Loading() || Designing()) {
        open_ = open;
        if (open) open_after_load_ = true;
        return;
    }
    if (!open)
        RunCloseSequence();
    else if (port_state_ != psClosed)
        reopen_requested_ = true;
    else
        RunOpenSequence();
}

void TSpCustomComPort::Loaded() {
    if (Designing()) return;
    if (open_after_load_) open_ = true;
    if (open_) {
        open_after_load_ = false;
        open_ = false;  // RunOpenSequence sets it on success
        try {
            RunOpenSequence();
        } catch (...) {
            open_ = false;
            HandleApplicationException(std::current_exception());
        }
    }
}

void TSpCustomComPort::AskForPort() {
    if (com_number_ != 0) return;
    if (!prompt_for_port_) RaiseResult(ecNoPortSelected);
    auto form = forms::make_form<TComSelectForm>();
    forms::ModalResult result = form->ShowModal();
    int chosen = result == forms::mr_ok ? form->SelectedPortNumber() : -1;
    // An empty list gives no number: that is "no port chosen", not a conversion error.
    if (chosen <= 0 || chosen > 0xFFFF) RaiseResult(ecNoPortSelected);
    com_number_ = static_cast<std::uint16_t>(chosen);
}

std::unique_ptr<TSpBaseDispatcher> TSpCustomComPort::CreateDispatcher() {
    if (DispatcherFactory) return DispatcherFactory(*this);
    if (device_layer_ != dlWin32) RaiseResult(ecNullApi);
    if (tapi_mode_ == tmOn) return std::make_unique<TSpTAPI32Dispatcher>(this, tapi_handle_);
    return std::make_unique<TSpWin32Dispatcher>(this);
}

std::int32_t TSpCustomComPort::OpenDevice() {
    std::uint8_t options = 0;
    if (dtr_) options |= ooDTR;
    if (rts_) options |= ooRTS;
    if (hw_flow_.has(hwfUseDTR)) options |= ooDTRFlow;
    if (hw_flow_.has(hwfUseRTS)) options |= ooRTSFlow;
    std::string name = tapi_mode_ == tmOn ? std::string() : DeviceNameOf(com_number_);
    std::int32_t r = dispatcher_->OpenLine(
        name, baud_, options, out_size_, in_size_, static_cast<std::uint8_t>(stop_bits_),
        static_cast<std::uint8_t>(data_bits_), static_cast<std::uint8_t>(parity_));
    if (r == ecAccessDenied) return ecAlreadyOpen;
    if (r == -static_cast<std::int32_t>(platform::comm::error::permission_denied)) {
        // Its own error, with the system's reason and the device's path: "already open" would
        // send the user looking for another program.
        std::string reason;
        if (auto* w = dynamic_cast<TSpWin32Dispatcher*>(dispatcher_.get())) reason = w->LastOpenMessage();
        throw EPermissionDenied(ecPermissionDenied, ErrorText(ecPermissionDenied) +
                                                        (reason.empty() ? std::string() : ": " + reason));
    }
    if (r == ecFileNotFound || r == ecPathNotFound) return ecBadId;
    return r;
}

void TSpCustomComPort::RunOpenSequence() {
    auto& unit = com_port_unit_state();
    if (unit.main_thread == 0) unit.main_thread = kernel::current_thread_id();
    if (tapi_mode_ != tmOn) AskForPort();
    dispatcher_ = CreateDispatcher();
    dispatcher_->SetDeviceName(ComName(com_number_));
    try {
        if (tapi_mode_ == tmOn && tapi_handle_ <= 0) RaiseResult(ecNotOpenedByTapi);
        std::int32_t r = OpenDevice();
        if (r != 0) RaiseResult(r);
        if (tapi_mode_ == tmOn) {
            // The device was set up by its owner: take its settings into the properties.
            TDCB dcb = dispatcher_->DeviceStateCopy();
            baud_ = static_cast<std::int32_t>(dcb.baud);
            data_bits_ = dcb.data_bits;
            parity_ = static_cast<TParity>(dcb.parity);
            stop_bits_ = dcb.stop_bits == platform::comm::StopBits::two ? 2 : 1;
        }
        port_state_ = psOpen;
        RecheckTriggerHandlers();
        force_ = true;
        SetTracing(tracing_);
        SetLogging(logging_);
        SetHWFlowOptions(hw_flow_);
        SetSWFlowOptions(sw_flow_);
        SetXOnChar(xon_char_);
        SetXOffChar(xoff_char_);
        SetAvailThreshold(avail_threshold_);
        SetDTR(dtr_);
        SetRTS(rts_);
        SetUseEventWord(use_event_word_);
        SetRS485Mode(rs485_mode_);
        SetPriorityRaise(priority_raise_);
        force_ = false;
        open_ = true;
        SetNotifyWindow(true);
        if (restore_pending_) {
            restore_pending_ = false;
            dispatcher_->RestoreTriggerSet(saved_triggers_);
        }
    } catch (...) {
        force_ = false;
        open_ = false;
        port_state_ = psClosed;
        DestroyNotifyWindow();
        dispatcher_.reset();
        throw;
    }
    SendOpenNotices();
}

void TSpCustomComPort::RunCloseSequence() {
    if (port_state_ != psOpen) return;
    SetTracing(tlDump);
    SetLogging(tlDump);
    port_state_ = psClosing;
    SendClosingNotices();
    dispatcher_->SaveTriggerSet(saved_triggers_);
    restore_pending_ = true;
    bool deferred = dispatcher_->CloseLine();
    if (deferred) {
        // Called from a handler that a notification runs: the dispatch thread finishes the close,
        // and the hidden window completes it once the threads have ended (it is told then, so
        // it need not poll).
        win::LParam lparam =
            static_cast<win::LParam>(static_cast<std::uint32_t>(dispatcher_->Handle()) << 16);
        if (auto* w = dynamic_cast<TSpWin32Dispatcher*>(dispatcher_.get()))
            w->NotifyWhenThreadsEnd(notify_window_, APW_CLOSEPENDING, lparam);
        else
            win::post_message(notify_window_, APW_CLOSEPENDING, 0, lparam);
        PumpOneMessage();
    } else {
        DestroyNotifyWindow();
        dispatcher_.reset();
        port_state_ = psClosed;
        open_ = false;
    }
    SendCloseNotices();
}

void TSpCustomComPort::HandleDeferredClose(win::LParam lparam) {
    if (port_state_ != psClosing || !dispatcher_) return;
    if (dispatcher_->Handle() !=
        static_cast<std::int32_t>((static_cast<std::uint32_t>(lparam) >> 16) & 0xFFFF))
        return;
    if (auto* w = dynamic_cast<TSpWin32Dispatcher*>(dispatcher_.get()); w && w->ThreadsStarted()) {
        w->NotifyWhenThreadsEnd(notify_window_, APW_CLOSEPENDING, lparam);  // not yet: told again at the end
        return;
    }
    DestroyNotifyWindow();
    dispatcher_.reset();
    port_state_ = psClosed;
    open_ = false;
    if (reopen_requested_) {
        reopen_requested_ = false;
        RunOpenSequence();
    }
}

void TSpCustomComPort::SetNotifyWindow(bool on) {
    if (on) {
        com_port_unit_state().window_class_registered = true;
        if (notify_window_ == 0) notify_window_ = win::create_window(kComWindowClass, 0, &PortWindowProc);
        if (dispatcher_) dispatcher_->AddWindowHandler(notify_window_);
    } else {
        DestroyNotifyWindow();
    }
}

void TSpCustomComPort::DestroyNotifyWindow() {
    if (notify_window_ == 0) return;
    if (dispatcher_) dispatcher_->RemoveWindowHandler(notify_window_);
    win::destroy_window(notify_window_);
    notify_window_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Notices to port users
// ---------------------------------------------------------------------------------------------

std::uint32_t TSpCustomComPort::AddUser(TUserListEntry entry) {
    entry.Id = next_user_id_++;
    users_.push_back(std::move(entry));
    return users_.back().Id;
}

std::uint32_t TSpCustomComPort::RegisterUser(win::Handle window, bool wants_closing) {
    TUserListEntry e;
    e.Window = window;
    e.WantsClosing = wants_closing;
    return AddUser(std::move(e));
}

std::uint32_t TSpCustomComPort::RegisterUserCallback(TPortCallback callback, void* user, bool wants_closing) {
    TUserListEntry e;
    e.Callback = std::move(callback);
    e.UserData = user;
    e.WantsClosing = wants_closing;
    return AddUser(std::move(e));
}

void TSpCustomComPort::DeregisterUser(std::uint32_t id) {
    std::erase_if(users_, [&](const TUserListEntry& e) { return e.Id == id; });
}

void TSpCustomComPort::SendOpenNotices() {
    auto users = users_;
    for (auto it = users.rbegin(); it != users.rend(); ++it) {
        if (it->Window != 0)
            win::send_message(it->Window, APW_PORTOPEN, 0, 0);
        else if (it->Callback)
            it->Callback(*this, APW_PORTOPEN, it->UserData);
    }
    if (OnPortOpen) OnPortOpen(*this);
}

void TSpCustomComPort::SendCloseNotices() {
    auto users = users_;
    for (auto it = users.rbegin(); it != users.rend(); ++it) {
        if (it->Window != 0)
            win::send_message(it->Window, APW_PORTCLOSE, 0, 0);
        else if (it->Callback)
            it->Callback(*this, APW_PORTCLOSE, it->UserData);
    }
    if (OnPortClose) OnPortClose(*this);
}

void TSpCustomComPort::SendClosingNotices() {
    auto users = users_;
    for (auto it = users.rbegin(); it != users.rend(); ++it) {
        if (!it->WantsClosing) continue;
        if (it->Window != 0)
            win::send_message(it->Window, APW_CLOSEPENDING, 0, 0);
        else if (it->Callback)
            it->Callback(*this, APW_CLOSEPENDING, it->UserData);
    }
}

// ---------------------------------------------------------------------------------------------
// The hidden window
// ---------------------------------------------------------------------------------------------

win::Result TSpCustomComPort::PortWindowProc(win::Handle window, std::uint32_t msg, win::WParam wparam,
                                             win::LParam lparam) {
    bool notification = msg >= APW_TRIGGERAVAIL && msg <= APW_TRIGGERSTATUS;
    if (!notification && msg != APW_CLOSEPENDING) return 0;
    TSpBaseDispatcher* dispatcher = nullptr;
    TSpCustomComPort* port = nullptr;
    {
        // The list lock only guards the lookup; it is not held while the handlers run, so that
        // no lock is held while code outside this layer runs.
        auto& dl = dispatcher_list();
        Guard guard(dl.lock);
        auto index = static_cast<std::size_t>((static_cast<std::uint32_t>(lparam) >> 16) & 0xFFFF);
        if (index >= dl.list.size() || dl.list[index] == nullptr) return 0;
        dispatcher = dl.list[index];
        port = dynamic_cast<TSpCustomComPort*>(dispatcher->Owner());
        if (!port || port->dispatcher_.get() != dispatcher || port->notify_window_ != window) return 0;
    }
    try {
        if (notification) {
            dispatcher->NoteNotificationEntered();
            // While a close runs the data is being discarded: no events (ReadChar gives #0 then).
            if (port->port_state_ != psOpen) return 0;
            auto handle = static_cast<std::uint16_t>(wparam);
            auto data = static_cast<std::uint16_t>(lparam & 0xFFFF);
            if (msg == APW_TRIGGERAVAIL)
                port->FireTrigger(static_cast<std::uint16_t>(msg), handle, handle);
            else
                port->FireTrigger(static_cast<std::uint16_t>(msg), handle, data);
            switch (msg) {
                case APW_TRIGGERAVAIL:
                    port->FireTriggerAvail(handle);
                    break;
                case APW_TRIGGERDATA:
                    port->FireTriggerData(handle);
                    break;
                case APW_TRIGGERTIMER:
                    port->FireTriggerTimer(handle);
                    break;
                case APW_TRIGGERSTATUS: {
                    port->FireTriggerStatus(handle);
                    switch (handle & 7) {
                        case stModem:
                            port->FireTriggerModemStatus();
                            break;
                        case stLine: {
                            bool line_break = port->port_state_ == psOpen && port->dispatcher_
                                                  ? port->dispatcher_->TakeLineBreak()
                                                  : false;
                            std::uint16_t error = port->port_state_ == psOpen && port->dispatcher_
                                                      ? port->dispatcher_->TakeLineError()
                                                      : 0;
                            port->FireTriggerLineError(error, line_break);
                            break;
                        }
                        case stOutBuffFree:
                            port->FireTriggerOutbuffFree();
                            break;
                        case stOutBuffUsed:
                            port->FireTriggerOutbuffUsed();
                            break;
                        case stOutSent:
                            port->FireTriggerOutSent();
                            break;
                        default:
                            break;
                    }
                    break;
                }
                default:
                    break;
            }
        } else {
            port->HandleDeferredClose(lparam);
        }
    } catch (...) {
        if (OnMainThread()) HandleApplicationException(std::current_exception());
    }
    return 0;
}

void TSpCustomComPort::FireTrigger(std::uint16_t msg, std::uint16_t handle, std::uint16_t data) {
    if (on_trigger_) on_trigger_(*this, msg, handle, data);
}
void TSpCustomComPort::FireTriggerAvail(std::uint16_t count) {
    if (on_trigger_avail_) on_trigger_avail_(*this, count);
}
void TSpCustomComPort::FireTriggerData(std::uint16_t handle) {
    if (on_trigger_data_) on_trigger_data_(*this, handle);
}
void TSpCustomComPort::FireTriggerStatus(std::uint16_t handle) {
    if (on_trigger_status_) on_trigger_status_(*this, handle);
}
void TSpCustomComPort::FireTriggerTimer(std::uint16_t handle) {
    if (on_trigger_timer_) on_trigger_timer_(*this, handle);
}
void TSpCustomComPort::FireTriggerLineError(std::uint16_t error, bool line_break) {
    if (on_trigger_line_error_) on_trigger_line_error_(*this, error, line_break);
}
void TSpCustomComPort::FireTriggerModemStatus() {
    if (on_trigger_modem_status_) on_trigger_modem_status_(*this);
}
void TSpCustomComPort::FireTriggerOutbuffFree() {
    if (on_trigger_outbuff_free_) on_trigger_outbuff_free_(*this);
}
void TSpCustomComPort::FireTriggerOutbuffUsed() {
    if (on_trigger_outbuff_used_) on_trigger_outbuff_used_(*this);
}
void TSpCustomComPort::FireTriggerOutSent() {
    if (on_trigger_out_sent_) on_trigger_out_sent_(*this);
}
void TSpCustomComPort::FirePortCallback(std::int32_t value) {
    if (OnPortCallback) OnPortCallback(*this, value);
}

bool TSpCustomComPort::AnyTriggerHandler() const {
    return on_trigger_ || on_trigger_avail_ || on_trigger_data_ || on_trigger_status_ || on_trigger_timer_ ||
           on_trigger_line_error_ || on_trigger_modem_status_ || on_trigger_outbuff_free_ ||
           on_trigger_outbuff_used_ || on_trigger_out_sent_;
}

void TSpCustomComPort::RecheckTriggerHandlers() {
    if (port_state_ != psOpen || !dispatcher_) return;
    dispatcher_->UpdateHandlerService(AnyTriggerHandler() ? hsPortHandlerInstalled : hsPortHandlerRemoved);
}

void TSpCustomComPort::SetOnTrigger(TTriggerEvent handler) {
    InstallTriggerHandler(on_trigger_, std::move(handler));
}
void TSpCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent handler) {
    InstallTriggerHandler(on_trigger_avail_, std::move(handler));
}
void TSpCustomComPort::SetOnTriggerData(TTriggerDataEvent handler) {
    InstallTriggerHandler(on_trigger_data_, std::move(handler));
}
void TSpCustomComPort::SetOnTriggerStatus(TTriggerStatusEvent handler) {
    InstallTriggerHandler(on_trigger_status_, std::move(handler));
}
void TSpCustomComPort::SetOnTriggerTimer(TTriggerTimerEvent handler) {
    InstallTriggerHandler(on_trigger_timer_, std::move(handler));
}
void TSpCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent handler) {
    InstallTriggerHandler(on_trigger_line_error_, std::move(handler));
}
void TSpCustomComPort::SetOnTriggerModemStatus(TNotifyEvent handler) {
    InstallTriggerHandler(on_trigger_modem_status_, std::move(handler));
}
void TSpCustomComPort::SetOnTriggerOutbuffFree(TNotifyEvent handler) {
    InstallTriggerHandler(on_trigger_outbuff_free_, std::move(handler));
}
void TSpCustomComPort::SetOnTriggerOutbuffUsed(TNotifyEvent handler) {
    InstallTriggerHandler(on_trigger_outbuff_used_, std::move(handler));
}
void TSpCustomComPort::SetOnTriggerOutSent(TNotifyEvent handler) {
    InstallTriggerHandler(on_trigger_out_sent_, std::move(handler));
}

// ---------------------------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------------------------

void TSpCustomComPort::SetDeviceLayer(TDeviceLayer layer) {
    if (port_state_ != psClosed || layer != dlWin32) return;  // the only layer this build has
    device_layer_ = layer;
    DeviceLayerChanged();
}

void TSpCustomComPort::SetComNumber(std::uint16_t number) {
    if (number == com_number_) return;
    if (port_state_ != psOpen) {
        com_number_ = number;  // closed, or a close still finishing: the reopen takes the new number
        return;
    }
    TTriggerSave carried;
    dispatcher_->SaveTriggerSet(carried);
    TTraceLogState tracing = tracing_;
    TTraceLogState logging = logging_;
    SetOpen(false);
    com_number_ = number;
    tracing_ = tracing == tlOn ? tlOn : tlOff;
    logging_ = logging == tlOn ? tlOn : tlOff;
    SetOpen(true);
    if (port_state_ == psOpen && dispatcher_) dispatcher_->RestoreTriggerSet(carried);
}

void TSpCustomComPort::ApplyLine() {
    if (port_state_ != psOpen || !dispatcher_) return;
    std::int32_t r = dispatcher_->ApplyLineSettings(baud_, static_cast<std::uint8_t>(parity_),
                                                    static_cast<std::uint8_t>(data_bits_),
                                                    static_cast<std::uint8_t>(stop_bits_));
    line_settings_failed_ = r < 0;
    Check(r);
}

void TSpCustomComPort::SetBaud(std::int32_t baud) {
    SetLineField(baud_, baud);
}
void TSpCustomComPort::SetParity(TParity parity) {
    SetLineField(parity_, parity);
}
void TSpCustomComPort::SetDataBits(std::uint16_t bits) {
    SetLineField(data_bits_, bits);
}
void TSpCustomComPort::SetStopBits(std::uint16_t bits) {
    SetLineField(stop_bits_, bits);
}

void TSpCustomComPort::SetInSize(std::uint16_t size) {
    in_size_ = size;
    if (port_state_ == psOpen && dispatcher_) dispatcher_->SetDriverQueues(in_size_, out_size_);
}
void TSpCustomComPort::SetOutSize(std::uint16_t size) {
    out_size_ = size;
    if (port_state_ == psOpen && dispatcher_) dispatcher_->SetDriverQueues(in_size_, out_size_);
}

void TSpCustomComPort::SetDTR(bool on) {
    if (on == dtr_ && !force_) return;
    if (port_state_ != psOpen || !dispatcher_) {
        dtr_ = on;
        return;
    }
    std::int32_t r = dispatcher_->SetDTRLine(on);
    if (r == 0)
        dtr_ = on;
    else if (r < 0)
        Check(r);
}

void TSpCustomComPort::SetRTS(bool on) {
    if (on == rts_ && !force_) return;
    if (port_state_ != psOpen || !dispatcher_) {
        rts_ = on;
        return;
    }
    std::int32_t r = dispatcher_->SetRTSLine(on);
    if (r == 0)
        rts_ = on;
    else if (r < 0)
        Check(r);
}

void TSpCustomComPort::SetRS485Mode(bool on) {
    if (on == rs485_mode_ && !force_) return;
    rs485_mode_ = on;
    if (port_state_ == psOpen && dispatcher_) dispatcher_->SetRS485(on);
    if (on) {
        THWFlowOptionSet without = hw_flow_;
        without.remove(hwfUseRTS).remove(hwfRequireCTS);
        SetHWFlowOptions(without);
        SetRTS(false);
    }
}

void TSpCustomComPort::SetHWFlowOptions(THWFlowOptionSet options) {
    if (options == hw_flow_ && !force_) return;
    std::uint32_t code = options.code();
    if (code != 0) {
        if (buffer_full_ == 0 || buffer_full_ > in_size_)
            buffer_full_ = static_cast<std::uint16_t>(in_size_ * 0.9);
        if (buffer_resume_ == 0 || buffer_resume_ > buffer_full_)
            buffer_resume_ = static_cast<std::uint16_t>(in_size_ * 0.1);
    }
    if (port_state_ == psOpen && dispatcher_)
        Check(dispatcher_->ApplyHardwareFlow(buffer_full_, buffer_resume_, code));
    hw_flow_ = options;
    if (options.has(hwfUseRTS) || options.has(hwfRequireCTS)) SetRS485Mode(false);
}

void TSpCustomComPort::SetSWFlowOptions(TSWFlowOptions options) {
    if (options == sw_flow_ && !force_) return;
    std::uint32_t code = 0;
    switch (options) {
        case swfBoth:
            code = sfReceiveFlow | sfTransmitFlow;
            break;
        case swfReceive:
            code = sfReceiveFlow;
            break;
        case swfTransmit:
            code = sfTransmitFlow;
            break;
        default:
            code = 0;
            break;
    }
    if (code != 0) {
        if (buffer_full_ == 0 || buffer_full_ > in_size_)
            buffer_full_ = static_cast<std::uint16_t>(in_size_ * 0.75);
        if (buffer_resume_ == 0 || buffer_resume_ > buffer_full_)
            buffer_resume_ = static_cast<std::uint16_t>(in_size_ * 0.25);
    }
    if (port_state_ == psOpen && dispatcher_) {
        if (code != 0)
            Check(dispatcher_->ApplySoftwareFlow(buffer_full_, buffer_resume_, code));
        else
            Check(dispatcher_->SoftwareFlowOff());
    }
    sw_flow_ = options;
}

void TSpCustomComPort::SetBufferFull(std::uint16_t value) {
    buffer_full_ = value > in_size_ ? static_cast<std::uint16_t>(in_size_ * 0.9) : value;
    bool was = force_;
    force_ = true;
    try {
        SetHWFlowOptions(hw_flow_);
        SetSWFlowOptions(sw_flow_);
    } catch (...) {
        force_ = was;
        throw;
    }
    force_ = was;
}

void TSpCustomComPort::SetBufferResume(std::uint16_t value) {
    buffer_resume_ = value > buffer_full_ ? static_cast<std::uint16_t>(buffer_full_ * 0.1) : value;
    bool was = force_;
    force_ = true;
    try {
        SetHWFlowOptions(hw_flow_);
        SetSWFlowOptions(sw_flow_);
    } catch (...) {
        force_ = was;
        throw;
    }
    force_ = was;
}

void TSpCustomComPort::SetXOnChar(char c) {
    xon_char_ = c;
    if (port_state_ == psOpen && dispatcher_) Check(dispatcher_->SetFlowChars(xon_char_, xoff_char_));
}

void TSpCustomComPort::SetXOffChar(char c) {
    xoff_char_ = c;
    if (port_state_ == psOpen && dispatcher_) Check(dispatcher_->SetFlowChars(xon_char_, xoff_char_));
}

void TSpCustomComPort::SetUseEventWord(bool on) {
    use_event_word_ = on;
    if (port_state_ == psOpen && dispatcher_) dispatcher_->SetOptionBit(4, on);
}

void TSpCustomComPort::SetPriorityRaise(std::uint8_t raise) {
    priority_raise_ = raise;
    if (port_state_ == psOpen && dispatcher_) dispatcher_->SetThreadPriorities(raise);
}

void TSpCustomComPort::SetAvailThreshold(std::uint16_t count) {
    avail_threshold_ = count;
    if (port_state_ == psOpen && dispatcher_) dispatcher_->ChangeAvailThreshold(count);
}

void TSpCustomComPort::ApplyTraceState(TTraceLogState state, bool logging) {
    TTraceLogState& current = logging ? logging_ : tracing_;
    if (port_state_ != psOpen || !dispatcher_) {
        current = state > tlOn ? tlOff : state;
        return;
    }
    TSpBaseDispatcher& d = *dispatcher_;
    bool active = current == tlOn || current == tlPause;
    switch (state) {
        case tlOff:
            if (active) logging ? d.AbortDispatchLogging() : d.AbortTracing();
            current = tlOff;
            break;
        case tlOn:
            if (current != tlPause) {
                if (logging)
                    d.InitDispatchLogging(log_size_);  // its result is not raised
                else
                    Check(d.InitTracing(trace_size_));
            } else {
                logging ? d.StartDispatchLogging() : d.StartTracing();
            }
            current = tlOn;
            break;
        case tlDump:
        case tlAppend: {
            bool append = state == tlAppend;
            current = tlOff;
            if (active) {
                if (logging) {
                    d.StartDispatchLogging();
                    Check(d.DumpDispatchLog(log_name_, append, log_hex_, log_all_hex_));
                } else {
                    d.StartTracing();
                    Check(d.DumpTrace(trace_name_, append, trace_hex_, trace_all_hex_));
                }
            }
            break;
        }
        case tlClear:
            if (active) logging ? d.ClearDispatchLogging() : d.ClearTracing();
            break;
        case tlPause:
            if (current == tlOn) logging ? d.StopDispatchLogging() : d.StopTracing();
            current = tlPause;
            break;
    }
}

void TSpCustomComPort::SetTracing(TTraceLogState state) {
    ApplyTraceState(state, false);
}
void TSpCustomComPort::SetLogging(TTraceLogState state) {
    ApplyTraceState(state, true);
}

void TSpCustomComPort::SetTraceSize(std::uint32_t size) {
    trace_size_ = std::min<std::uint32_t>(size, kMaxTraceEntries);
    if (port_state_ == psOpen && dispatcher_ && (tracing_ == tlOn || tracing_ == tlPause)) {
        TTraceLogState stored = tracing_;
        dispatcher_->AbortTracing();
        tracing_ = tlOff;
        SetTracing(stored);
    }
}

void TSpCustomComPort::SetLogSize(std::uint32_t size) {
    log_size_ = std::min<std::uint32_t>(size, kMaxLogBytes);
    if (port_state_ == psOpen && dispatcher_ && (logging_ == tlOn || logging_ == tlPause)) {
        TTraceLogState stored = logging_;
        dispatcher_->AbortDispatchLogging();
        logging_ = tlOff;
        SetLogging(stored);
    }
}

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

TSpBaseDispatcher* TSpCustomComPort::CurrentDispatcher() {
    if (!dispatcher_ && !Loading() && !Designing() && port_state_ == psClosed && auto_open_) SetOpen(true);
    return dispatcher_.get();
}

TSpBaseDispatcher& TSpCustomComPort::RequireDispatcher() {
    TSpBaseDispatcher* d = CurrentDispatcher();
    if (!d) RaiseResult(ecCommNotOpen);
    return *d;
}

void TSpCustomComPort::ClearInput() {
    if (Closing()) return;
    Check(RequireDispatcher().DiscardInput());
}

void TSpCustomComPort::ClearOutput() {
    if (Closing()) return;
    Check(RequireDispatcher().DiscardOutput());
}

char TSpCustomComPort::ReadChar() {
    if (Closing()) return '\0';
    char c = '\0';
    Check(RequireDispatcher().TakeChar(c));
    return c;
}

char TSpCustomComPort::PeekChar(std::uint32_t n) {
    if (Closing()) return '\0';
    char c = '\0';
    Check(RequireDispatcher().PeekInput(c, n));
    return c;
}

std::uint32_t TSpCustomComPort::InBuffUsed() {
    if (Closing()) return 0;
    return RequireDispatcher().InputCount();
}

std::uint32_t TSpCustomComPort::OutBuffUsed() {
    if (Closing()) return 0;
    return RequireDispatcher().OutputUsed();
}

std::uint32_t TSpCustomComPort::OutBuffFree() {
    if (Closing()) return 0;
    return RequireDispatcher().OutputFree();
}

void TSpCustomComPort::WriteText(const std::string& text) {
    if (Closing()) return;
    Check(RequireDispatcher().QueueBlock(text.data(), static_cast<std::uint32_t>(text.size())));
}

std::uint16_t TSpCustomComPort::NewTimerTrigger() {
    if (Closing()) return 0;
    return static_cast<std::uint16_t>(Check(RequireDispatcher().AllocTimerTrigger()));
}

void TSpCustomComPort::ArmTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate) {
    if (Closing()) {
        // The saved trigger set goes into the reopened port: arming it there keeps the owner's
        // time-out alive across a close and reopen made from inside a handler.
        for (auto& t : saved_triggers_.tsTimerTriggers) {
            if (t.tHandle != handle) continue;
            if (activate) {
                if (ticks != 0) t.tTicks = ticks;
                NewTimer(t.tET, t.tTicks);
            }
            t.tActive = activate;
        }
        return;
    }
    Check(RequireDispatcher().StartTimerTrigger(handle, ticks, activate));
}

std::uint16_t TSpCustomComPort::AddDataTrigger(const std::string& data, bool ignore_case) {
    if (Closing()) return 0;
    return static_cast<std::uint16_t>(Check(RequireDispatcher().AddDataTrigger(data, ignore_case)));
}

std::uint16_t TSpCustomComPort::AddStatusTrigger(std::uint16_t kind) {
    if (Closing()) return 0;
    return static_cast<std::uint16_t>(Check(RequireDispatcher().AddStatusTrigger(kind)));
}

void TSpCustomComPort::SetStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate) {
    if (Closing()) return;
    Check(RequireDispatcher().SetStatusTrigger(handle, value, activate));
}

void TSpCustomComPort::RemoveTrigger(std::uint16_t handle) {
    if (Closing()) return;
    Check(RequireDispatcher().RemoveTrigger(handle));
}

std::uint8_t TSpCustomComPort::FlowHoldState() {
    if (Closing()) return 0;
    TSpBaseDispatcher& d = RequireDispatcher();
    std::int32_t hw = Check(d.HardwareFlowState());
    if (hw != fsOff) return flow_hold_state(hw);
    return flow_hold_state(Check(d.SoftwareFlowState()));
}

void TSpCustomComPort::GiveTimeSlice() {
    if (Closing()) return;
    RequireDispatcher().YieldSlice();
}

std::uint8_t TSpCustomComPort::ModemStatus() {
    if (Closing()) return 0;
    return RequireDispatcher().ReadModemStatus(0xF0);
}

std::uint16_t TSpCustomComPort::LineError() {
    if (Closing()) return 0;
    TSpBaseDispatcher& d = RequireDispatcher();
    d.RefreshLineStatus();
    return d.TakeLineError();
}

bool TSpCustomComPort::LineBreak() {
    if (Closing()) return false;
    TSpBaseDispatcher& d = RequireDispatcher();
    d.RefreshLineStatus();
    return d.TakeLineBreak();
}

bool TSpCustomComPort::DeviceLost() {
    return dispatcher_ && dispatcher_->DeviceLost();
}

void TSpCustomComPort::Assign(const TSpCustomComPort& source) {
    users_ = source.users_;
    if (source.port_state_ == psOpen && source.dispatcher_) {
        source.dispatcher_->SaveTriggerSet(saved_triggers_);
        restore_pending_ = true;
    }
    device_layer_ = source.device_layer_;
    com_number_ = source.com_number_;
    baud_ = source.baud_;
    prompt_for_port_ = source.prompt_for_port_;
    parity_ = source.parity_;
    data_bits_ = source.data_bits_;
    stop_bits_ = source.stop_bits_;
    in_size_ = source.in_size_;
    out_size_ = source.out_size_;
    auto_open_ = source.auto_open_;
    open_ = false;
    dtr_ = source.dtr_;
    rts_ = source.rts_;
    hw_flow_ = source.hw_flow_;
    sw_flow_ = source.sw_flow_;
    xon_char_ = source.xon_char_;
    xoff_char_ = source.xoff_char_;
    buffer_full_ = source.buffer_full_;
    buffer_resume_ = source.buffer_resume_;
    tracing_ = source.tracing_;
    trace_size_ = source.trace_size_;
    trace_name_ = source.trace_name_;
    trace_hex_ = source.trace_hex_;
    trace_all_hex_ = source.trace_all_hex_;
    logging_ = source.logging_;
    log_size_ = source.log_size_;
    log_name_ = source.log_name_;
    log_hex_ = source.log_hex_;
    log_all_hex_ = source.log_all_hex_;
    use_event_word_ = source.use_event_word_;
    comm_notification_level_ = source.comm_notification_level_;
    tapi_mode_ = source.tapi_mode_;
    rs485_mode_ = source.rs485_mode_;
    priority_raise_ = source.priority_raise_;
    avail_threshold_ = source.avail_threshold_;
    on_trigger_ = source.on_trigger_;
    on_trigger_avail_ = source.on_trigger_avail_;
    on_trigger_data_ = source.on_trigger_data_;
    on_trigger_status_ = source.on_trigger_status_;
    on_trigger_timer_ = source.on_trigger_timer_;
    OnPortOpen = source.OnPortOpen;
    OnPortClose = source.OnPortClose;
    RecheckTriggerHandlers();
}

}  // namespace serial
