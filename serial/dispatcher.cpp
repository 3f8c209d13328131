// The dispatcher's buffers, line state and flow control (triggers: dispatcher_triggers.cpp).
#include "serial/dispatcher.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <sstream>

#include "serial/errors.h"

namespace serial {

namespace comm = platform::comm;
namespace kernel = platform::kernel;
using Guard = kernel::CriticalSectionGuard;

// ---------------------------------------------------------------------------------------------
// Process-wide state
// ---------------------------------------------------------------------------------------------

DispatcherListState& dispatcher_list() {
    static DispatcherListState state;
    return state;
}

DispatcherUnitState& dispatcher_unit_state() {
    static DispatcherUnitState state;
    return state;
}

void reset_dispatcher_unit_state_for_tests() {
    dispatcher_unit_state() = DispatcherUnitState{};
}

TSpBaseDispatcher* FindDispatcher(std::int32_t handle) {
    auto& dl = dispatcher_list();
    Guard guard(dl.lock);
    if (handle < 0 || static_cast<std::size_t>(handle) >= dl.list.size()) return nullptr;
    return dl.list[static_cast<std::size_t>(handle)];
}

std::int32_t BaudFromCode(std::int32_t code) {
    // Old rate codes; 0 marks a code without a rate of its own (kept as it is).
    static constexpr std::int32_t kRates[24] = {110,   300, 600, 1200,   2400, 4800, 9600, 14400,
                                                19200, 0,   0,   38400,  0,    0,    0,    56000,
                                                0,     0,   0,   128000, 0,    0,    0,    256000};
    if (code == 0xFEFF) return 115200;
    if (code >= 0xFF10 && code <= 0xFF27) {
        std::int32_t rate = kRates[code - 0xFF10];
        return rate != 0 ? rate : code;
    }
    return code;
}

std::uint32_t TransmitDrainMs(std::int32_t rate, std::uint8_t data_bits, comm::Parity parity,
                              comm::StopBits stop) {
    if (rate <= 0) rate = 115200;  // a device that reports no rate must not divide by zero
    std::uint32_t bits = data_bits + 2u;
    if (parity != comm::Parity::none) ++bits;
    if (stop != comm::StopBits::one) ++bits;
    std::uint64_t t = (10'000'000ull / static_cast<std::uint64_t>(rate)) * bits * 18u;  // 100-ns units
    if (t < 10'000) t *= 2;
    return static_cast<std::uint32_t>((t + 9'999) / 10'000);
}

// ---------------------------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------------------------

TSpBaseDispatcher::TSpBaseDispatcher(TSpBaseComponent* owner) : owner_(owner) {
    auto& dl = dispatcher_list();
    Guard guard(dl.lock);
    auto empty = std::find(dl.list.begin(), dl.list.end(), nullptr);
    if (empty != dl.list.end()) {
        *empty = this;
        handle_ = static_cast<std::int32_t>(empty - dl.list.begin());
    } else {
        dl.list.push_back(this);
        handle_ = static_cast<std::int32_t>(dl.list.size() - 1);
    }
}

TSpBaseDispatcher::~TSpBaseDispatcher() {
    auto& dl = dispatcher_list();
    Guard guard(dl.lock);
    if (handle_ >= 0 && static_cast<std::size_t>(handle_) < dl.list.size() &&
        dl.list[static_cast<std::size_t>(handle_)] == this)
        dl.list[static_cast<std::size_t>(handle_)] = nullptr;
    while (!dl.list.empty() && dl.list.back() == nullptr) dl.list.pop_back();
}

void TSpBaseDispatcher::Shutdown() {
    if (close_requested_.load())
        ReleaseResources();
    else
        CloseLine();
}

// ---------------------------------------------------------------------------------------------
// Opening and closing
// ---------------------------------------------------------------------------------------------

std::int32_t TSpBaseDispatcher::OpenLine(const std::string& device, std::int32_t baud, std::uint8_t options,
                                         std::uint32_t out_size, std::uint32_t in_size,
                                         std::uint8_t stop_bits, std::uint8_t data_bits,
                                         std::uint8_t parity) {
    ring_seen_ = false;
    notifying_ = false;
    deletions_pending_ = false;

    std::int32_t result = 0;
    std::int32_t opened = OpenDeviceHandle(device, in_size, out_size);
    if (opened < 0) {
        result = opened == ecOutOfMemory ? ecOutOfMemory : opened;
        CloseLine();
        return result;
    }
    cid_ = opened;
    device_lost_ = false;

    if (!SetDeviceQueues(in_size, out_size)) {
        result = -static_cast<std::int32_t>(last_system_error_.load() ? last_system_error_.load()
                                                                      : comm::error::device_failure);
        CloseLine();
        return result;
    }

    {
        Guard in(input_lock_);
        Guard gen(general_lock_);
        Guard out(output_lock_);
        ring_.assign(kRingSize, 0);
        ring_head_ = ring_tail_ = 0;
        ring_full_ = false;
        device_input_left_ = false;
        receive_level_ = 1;  // a device starts at 1
        out_buffer_.assign(out_size, 0);
        out_head_ = out_tail_ = 0;
        out_full_ = false;
        in_size_ = in_size;
        out_size_ = out_size;
        look_ahead_ = 0;
        max_look_ahead_ = 0;
        in_avail_ = false;
        rs485_ = false;
        base_address_ = 0;
        scan_position_ = 0;
        unscanned_ = 0;
        bytes_since_avail_ = 0;
        resources_released_ = false;
    }
    {
        Guard st(status_lock_);
        last_error_ = 0;
        comstat_ = {};
    }
    something_sent_ = false;
    close_requested_ = false;

    {
        Guard gen(general_lock_);
        GetDeviceState(dcb_);
        dtr_flow_ = (options & ooDTRFlow) != 0;
        rts_flow_ = (options & ooRTSFlow) != 0;
    }
    if (!dtr_flow_) SetDTRLine((options & ooDTR) != 0);
    if (!rts_flow_) SetRTSLine((options & ooRTS) != 0);

    RemoveAllTriggers();
    ClearStatusHits();
    {
        Guard gen(general_lock_);
        modem_status_ = 0;
        last_baud_ = kInitialLastBaud;
    }
    ReadModemStatus(0xF0);

    result = ApplyLineSettings(baud, parity, data_bits, stop_bits);
    if (result != 0) {
        CloseLine();
        return result;
    }

    RefreshLineStatus();
    {
        Guard gen(general_lock_);
        trace_.Free();
        trace_on_ = false;
        log_.Free();
        log_on_ = false;
        log_.MarkStart();
    }
    StartThreads();
    return 0;
}

bool TSpBaseDispatcher::CloseLine() {
    if (DeviceValid()) {
        DiscardOutput();
        DiscardInput();
        CloseDevice();
    }
    if (notifying_.load()) {
        // The dispatch thread is delivering a notification (most likely the one whose handler
        // called us): it finishes the close when the delivery returns.
        close_requested_ = true;
        return true;
    }
    ReleaseResources();
    return false;
}

void TSpBaseDispatcher::ReleaseResources() {
    StopThreads();  // never under a lock: the threads may need the locks to finish
    Guard in(input_lock_);
    Guard gen(general_lock_);
    Guard out(output_lock_);
    FreeBuffers();
}

void TSpBaseDispatcher::FreeBuffers() {
    assert(input_lock_.held() && general_lock_.held() && output_lock_.held());
    std::vector<char>().swap(ring_);
    std::vector<char>().swap(out_buffer_);
    ring_head_ = ring_tail_ = 0;
    ring_full_ = false;
    out_head_ = out_tail_ = 0;
    out_full_ = false;
    unscanned_ = 0;
    ++out_generation_;
    resources_released_ = true;
}

// ---------------------------------------------------------------------------------------------
// Line settings
// ---------------------------------------------------------------------------------------------

namespace {

comm::StopBits StopCode(std::uint8_t stop_bits, std::uint8_t data_bits) {
    if (stop_bits == 0) stop_bits = 1;
    if (stop_bits > 2) stop_bits = 2;
    if (stop_bits == 1) return comm::StopBits::one;
    return data_bits == 5 ? comm::StopBits::one_and_half : comm::StopBits::two;
}

void PutBinaryFlags(TDCB& dcb) {
    dcb.binary = true;
    dcb.parity_check = false;
    dcb.dsr_sensitivity = false;
    dcb.tx_continue_on_xoff = true;
    dcb.strip_null = false;
}

bool BinaryFlagsEqual(const TDCB& a, const TDCB& b) {
    return a.binary == b.binary && a.parity_check == b.parity_check &&
           a.dsr_sensitivity == b.dsr_sensitivity && a.tx_continue_on_xoff == b.tx_continue_on_xoff &&
           a.strip_null == b.strip_null;
}

}  // namespace

std::int32_t TSpBaseDispatcher::ApplyLineSettings(std::int32_t baud, std::uint8_t parity,
                                                  std::uint8_t data_bits, std::uint8_t stop_bits) {
    TDCB current;
    TDCB wanted;
    {
        Guard gen(general_lock_);
        GetDeviceState(current);
        wanted = current;
        PutBinaryFlags(wanted);
        if (baud != kKeepBaud) wanted.baud = static_cast<std::uint32_t>(baud);
        if (parity != kKeepParity && parity <= 4) wanted.parity = static_cast<comm::Parity>(parity);
        if (data_bits != kKeepDataBits) wanted.data_bits = data_bits;
        if (stop_bits != kKeepStopBits) wanted.stop_bits = StopCode(stop_bits, wanted.data_bits);
        // The binary-mode flags count too, so that a device left with other flags gets ours.
        if (wanted.baud == current.baud && wanted.parity == current.parity &&
            wanted.data_bits == current.data_bits && wanted.stop_bits == current.stop_bits &&
            BinaryFlagsEqual(wanted, current))
            return 0;
    }
    WaitTransmitDrain();
    Guard gen(general_lock_);
    TDCB state;
    GetDeviceState(state);
    PutBinaryFlags(state);
    state.baud = wanted.baud;
    state.parity = wanted.parity;
    state.data_bits = wanted.data_bits;
    state.stop_bits = wanted.stop_bits;
    return ApplyDeviceState(state);
}

void TSpBaseDispatcher::WaitTransmitDrain() {
    // The output thread empties the buffer; at most 5,000 x 2 ms, never under a lock. Output
    // held by flow control (an XOFF, CTS or DSR) cannot drain until the far end lets it: the
    // wait ends at once then, rather than block the caller (the main thread) for ten seconds.
    for (int i = 0; i < 5000; ++i) {
        std::uint32_t fill;
        {
            Guard out(output_lock_);
            fill = OutputFillLocked();
        }
        if (fill == 0) break;
        if (i % 10 == 0) {
            RefreshLineStatus();
            if (LineStatus().Flags & (fsXoffHold | fsCtsHold | fsDsrHold)) break;
        }
        kernel::sleep_ms(2);
    }
    TDCB state;
    std::int32_t rate;
    {
        Guard gen(general_lock_);
        GetDeviceState(state);
        rate = BaudFromCode(last_baud_);
    }
    kernel::sleep_ms(TransmitDrainMs(rate, state.data_bits, state.parity, state.stop_bits));
}

std::int32_t TSpBaseDispatcher::ApplyDeviceState(TDCB& state) {
    Guard gen(general_lock_);
    if (!dtr_flow_) state.dtr_control = dtr_state_ ? comm::DtrControl::enable : comm::DtrControl::disable;
    if (!rts_flow_) state.rts_control = rts_state_ ? comm::RtsControl::enable : comm::RtsControl::disable;
    std::int32_t result = SetDeviceState(state);
    if (result == 0) {
        dcb_ = state;
        // Only a rate the device took counts for the drain timing.
        last_baud_ = static_cast<std::int32_t>(state.baud);
    }
    SetDTRLine(dtr_state_);
    if (!rs485_) SetRTSLine(rts_state_);
    return result;
}

std::int32_t TSpBaseDispatcher::SetDTRLine(bool on) {
    Guard gen(general_lock_);
    if (dtr_flow_) return 1;
    if (EscapeFunction(on ? SETDTR : CLRDTR) < 0) return ecBadArgument;
    dtr_state_ = on;
    return 0;
}

std::int32_t TSpBaseDispatcher::SetRTSLine(bool on) {
    Guard gen(general_lock_);
    if (rts_flow_) return 1;
    if (EscapeFunction(on ? SETRTS : CLRRTS) < 0) return ecBadArgument;
    rts_state_ = on;
    return 0;
}

std::int32_t TSpBaseDispatcher::ApplyHardwareFlow(std::uint32_t full, std::uint32_t resume,
                                                  std::uint32_t options) {
    // Without hardware flow the limits are not used, so they cannot make an open fail.
    if (options != 0 && (full < resume || full > in_size_)) return ecBadArgument;
    Guard gen(general_lock_);
    TDCB state;
    GetDeviceState(state);
    state.dtr_control = comm::DtrControl::disable;
    state.rts_control = comm::RtsControl::disable;
    state.cts_output_flow = false;
    state.dsr_output_flow = false;
    dtr_flow_ = false;
    rts_flow_ = false;
    if (options & hfUseDTR) {
        state.dtr_control = comm::DtrControl::handshake;
        dtr_flow_ = true;
    } else {
        state.dtr_control = dtr_state_ ? comm::DtrControl::enable : comm::DtrControl::disable;
    }
    if (options & hfUseRTS) {
        state.rts_control = comm::RtsControl::handshake;
        rts_flow_ = true;
    } else {
        state.rts_control = rts_state_ ? comm::RtsControl::enable : comm::RtsControl::disable;
    }
    if (rs485_ && dispatcher_unit_state().nt_family) {
        state.rts_control = comm::RtsControl::toggle;  // RTS high while sending
        rts_flow_ = true;
    }
    if (full <= in_size_) state.xoff_limit = static_cast<std::uint16_t>(in_size_ - full);
    state.xon_limit = static_cast<std::uint16_t>(resume);
    if (options & hfRequireDSR) state.dsr_output_flow = true;
    if (options & hfRequireCTS) state.cts_output_flow = true;
    return ApplyDeviceState(state);
}

std::int32_t TSpBaseDispatcher::ApplySoftwareFlow(std::uint32_t full, std::uint32_t resume,
                                                  std::uint32_t options) {
    if (full < resume || full > in_size_) return ecBadArgument;
    Guard gen(general_lock_);
    TDCB state;
    GetDeviceState(state);
    state.xon_xoff_in = false;
    state.xon_xoff_out = false;
    if (options & sfReceiveFlow) {
        state.xon_xoff_in = true;
        state.xoff_limit = static_cast<std::uint16_t>(in_size_ - full);
        state.xon_limit = static_cast<std::uint16_t>(resume);
        state.xon_char = 17;
        state.xoff_char = 19;
    }
    if (options & sfTransmitFlow) {
        state.xon_xoff_out = true;
        state.xon_char = 17;
        state.xoff_char = 19;
    }
    return ApplyDeviceState(state);
}

std::int32_t TSpBaseDispatcher::SoftwareFlowOff() {
    Guard gen(general_lock_);
    TDCB state;
    GetDeviceState(state);
    state.xon_xoff_in = false;
    state.xon_xoff_out = false;
    return ApplyDeviceState(state);
}

std::int32_t TSpBaseDispatcher::SetFlowChars(char on, char off) {
    Guard gen(general_lock_);
    TDCB state;
    GetDeviceState(state);
    state.xon_char = on;
    state.xoff_char = off;
    return ApplyDeviceState(state);
}

std::int32_t TSpBaseDispatcher::HardwareFlowState() {
    Guard gen(general_lock_);
    bool dtr_hs = dcb_.dtr_control == comm::DtrControl::handshake;
    bool rts_hs = dcb_.rts_control == comm::RtsControl::handshake;
    if (!dtr_hs && !rts_hs && !dcb_.dsr_output_flow && !dcb_.cts_output_flow) return fsOff;
    std::int32_t result = fsOn;
    if (dtr_hs || rts_hs) {
        RefreshLineStatus();
        TComStat st = LineStatus();
        if (dcb_.dsr_output_flow && (st.Flags & fsDsrHold)) result = fsDsrHoldState;
        if (dcb_.cts_output_flow && (st.Flags & fsCtsHold)) result = fsCtsHoldState;
    }
    return result;
}

std::int32_t TSpBaseDispatcher::SoftwareFlowState() {
    Guard gen(general_lock_);
    if (!dcb_.xon_xoff_in && !dcb_.xon_xoff_out) return fsOff;
    RefreshLineStatus();
    TComStat st = LineStatus();
    bool sent = (st.Flags & fsXoffSent) != 0;
    bool held = (st.Flags & fsXoffHold) != 0;
    if (sent && held) return fsBothHoldState;
    if (sent) return fsLocalHoldState;
    if (held) return fsRemoteHoldState;
    return fsOn;
}

std::int32_t TSpBaseDispatcher::SetDriverQueues(std::uint32_t in_size, std::uint32_t out_size) {
    if (SetDeviceQueues(in_size, out_size)) return 0;
    return -static_cast<std::int32_t>(last_system_error_.load() ? last_system_error_.load()
                                                                : comm::error::device_failure);
}

// ---------------------------------------------------------------------------------------------
// Status
// ---------------------------------------------------------------------------------------------

void TSpBaseDispatcher::RefreshLineStatus() {
    TComStat st;
    std::uint32_t errors = static_cast<std::uint32_t>(QueueStatus(st));
    Guard s(status_lock_);
    last_error_ |= errors & 0x1F;
    comstat_ = st;
}

TComStat TSpBaseDispatcher::LineStatus() {
    Guard s(status_lock_);
    return comstat_;
}

std::uint32_t TSpBaseDispatcher::LastLineErrors() {
    Guard s(status_lock_);
    return last_error_;
}

std::uint16_t TSpBaseDispatcher::TakeLineError() {
    Guard gen(general_lock_);
    Guard s(status_lock_);
    std::uint16_t kind = leNoError;
    if (last_error_ & leRxOverflow)
        kind = leBuffer;
    else if (last_error_ & leOverrun)
        kind = leOverrunKind;
    else if (last_error_ & leParity)
        kind = leParityKind;
    else if (last_error_ & leFraming)
        kind = leFramingKind;
    else if (last_error_ & leBreak)
        kind = leBreakKind;
    if (kind != leNoError) last_error_ &= ~(leRxOverflow | leOverrun | leParity | leFraming);
    return kind;
}

bool TSpBaseDispatcher::TakeLineBreak() {
    Guard gen(general_lock_);
    Guard s(status_lock_);
    bool brk = (last_error_ & leBreak) != 0;
    last_error_ &= ~leBreak;
    return brk;
}

std::uint8_t TSpBaseDispatcher::ReadModemStatus(std::uint8_t mask) {
    Guard gen(general_lock_);
    std::uint32_t lines = 0;
    if (DeviceValid()) comm::modem_status(cid_.load(), lines);
    modem_status_ = static_cast<std::uint8_t>((modem_status_ & 0x0F) | (lines & 0xF0));
    if (ring_seen_.exchange(false)) modem_status_ |= msTrailingRing;
    std::uint8_t result = modem_status_;
    modem_status_ &= mask;
    return result;
}

void TSpBaseDispatcher::RefreshModemStatus() {
    Guard gen(general_lock_);
    std::uint8_t before = modem_status_;
    ReadModemStatus(0xFF);
    std::uint8_t changed = static_cast<std::uint8_t>(((before ^ modem_status_) >> 4) & 0x0F);
    modem_status_ |= changed;
}

std::uint8_t TSpBaseDispatcher::ModemStatus() {
    Guard gen(general_lock_);
    return modem_status_;
}

void TSpBaseDispatcher::MarkDeviceLost() {
    if (!device_lost_.exchange(true)) AddLogEntry(dtError, dstNone, 0);
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

std::uint32_t TSpBaseDispatcher::AvailableLocked() const {
    if (ring_full_) return kRingSize;
    return (ring_head_ + kRingSize - ring_tail_) % kRingSize;
}

void TSpBaseDispatcher::ReadIntoRing() {
    Guard in(input_lock_);
    if (ring_.empty() || ring_full_) return;
    RefreshLineStatus();
    std::uint32_t queued = LineStatus().InQue;
    device_input_left_ = false;
    if (queued == 0) return;
    std::uint32_t free =
        ring_head_ == ring_tail_ ? kRingSize : (ring_tail_ + kRingSize - ring_head_) % kRingSize;
    std::uint32_t contiguous = ring_head_ >= ring_tail_ ? kRingSize - ring_head_ : free;
    std::uint32_t wanted = std::min(free, queued);

    auto read_at_head = [&](std::uint32_t ask) -> std::uint32_t {
        std::int32_t got = ReadDevice(&ring_[ring_head_], ask);
        if (got < 0) {
            ReadFailed(got);
            got = 0;
        }
        std::uint32_t n = static_cast<std::uint32_t>(got);
        if (n > 0 && log_on_.load()) AddLogEntry(dtDispatch, dstReadCom, n, &ring_[ring_head_], n);
        ring_head_ += n;
        if (ring_head_ == kRingSize) ring_head_ = 0;
        if (n > 0 && ring_head_ == ring_tail_) ring_full_ = true;
        unscanned_ += n;
        return n;
    };

    std::uint32_t got = read_at_head(contiguous);
    if (got >= contiguous && wanted > contiguous && !ring_full_) {
        std::uint32_t rest = free - got;  // contiguous again now that the write index has wrapped
        if (rest > 0) got += read_at_head(rest);
    }
    device_input_left_ = got < queued;
}

std::int32_t TSpBaseDispatcher::PeekInput(char& c, std::uint32_t n) {
    Guard in(input_lock_);
    if (n == 0) return ecBadArgument;
    if (ring_.empty() || AvailableLocked() < n) return ecBufferIsEmpty;
    c = ring_[(ring_tail_ + n - 1) % kRingSize];
    return 0;
}

std::int32_t TSpBaseDispatcher::TakeChar(char& c) {
    Guard in(input_lock_);
    std::int32_t result;
    if (in_avail_) {
        ++look_ahead_;
        result = PeekInput(c, look_ahead_);
        if (result < 0) --look_ahead_;
    } else {
        result = PeekInput(c, 1);
        if (result == 0) {
            ring_tail_ = (ring_tail_ + 1) % kRingSize;
            ring_full_ = false;
        }
    }
    if (result == 0 && trace_on_.load()) AddTraceEntry(kTraceReceived, static_cast<std::uint8_t>(c));
    return result;
}

std::uint32_t TSpBaseDispatcher::InputCount() {
    Guard in(input_lock_);
    std::uint32_t available = ring_.empty() ? 0 : AvailableLocked();
    if (in_avail_) available -= std::min(available, look_ahead_);
    return available;
}

bool TSpBaseDispatcher::InAvail() {
    Guard in(input_lock_);
    return in_avail_;
}

std::int32_t TSpBaseDispatcher::DiscardInput() {
    Guard in(input_lock_);
    std::int32_t result = DeviceValid() ? FlushDevice(1) : 0;
    if (in_avail_) {
        // The notification moves the read index past everything when it returns; reads after
        // the discard find nothing.
        std::uint32_t available = ring_.empty() ? 0 : AvailableLocked();
        max_look_ahead_ = available;
        look_ahead_ = available;
    } else {
        ring_tail_ = ring_head_;
        look_ahead_ = 0;
        ring_full_ = false;
    }
    device_input_left_ = false;  // purged with the rest
    scan_position_ = ring_head_;
    unscanned_ = 0;
    Guard gen(general_lock_);
    for (auto& t : data_triggers_) {
        std::fill(std::begin(t.tChkIndex), std::end(t.tChkIndex), 0);
        t.tMatched = 0;
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------------------------

std::uint32_t TSpBaseDispatcher::OutputFillLocked() const {
    if (out_full_) return out_size_;
    if (out_head_ > out_tail_) return out_head_ - out_tail_;
    if (out_tail_ > out_head_) return out_size_ + out_head_ - out_tail_;
    return 0;
}

std::int32_t TSpBaseDispatcher::QueueBlock(const void* bytes, std::uint32_t length) {
    if (length == 0) return 0;
    {
        Guard out(output_lock_);
        TComStat st;
        std::uint32_t errors = static_cast<std::uint32_t>(QueueStatus(st));
        {
            Guard s(status_lock_);
            last_error_ = errors & 0x1F;
            comstat_ = st;
        }
        if (out_buffer_.empty()) return ecPutBlockFail;
        // A device that has gone is an I/O error, not a full buffer.
        if (device_lost_.load()) return -static_cast<std::int32_t>(comm::error::device_failure);
        std::uint32_t free = out_size_ - OutputFillLocked();
        if (free < length) return ecOutputBufferTooSmall;
        if (rs485_ && !dispatcher_unit_state().nt_family) {
            if (base_address_ == 0) return ecBaseAddressNotSet;
            EscapeFunction(SETRTS);
        }
        // The copy and the full flag happen under this one hold of the lock, so the output
        // thread never sees "full" before the bytes are there.
        if (WriteToOutput(bytes, length) <= 0) {
            RefreshLineStatus();
            return ecPutBlockFail;
        }
        something_sent_ = true;
    }
    if (log_on_.load()) AddLogEntry(dtDispatch, dstWriteCom, length, bytes, length);
    if (trace_on_.load()) {
        const auto* p = static_cast<const std::uint8_t*>(bytes);
        for (std::uint32_t i = 0; i < length; ++i) AddTraceEntry(kTraceSent, p[i]);
    }
    return 0;
}

std::uint32_t TSpBaseDispatcher::OutputUsed() {
    Guard out(output_lock_);
    RefreshLineStatus();
    return OutputFillLocked();
}

std::uint32_t TSpBaseDispatcher::OutputFree() {
    Guard out(output_lock_);
    return out_size_ - OutputFillLocked();
}

std::int32_t TSpBaseDispatcher::DiscardOutput() {
    HaltOutput();  // waits (at most 5 s, no lock held) until the output thread has stopped writing
    {
        Guard out(output_lock_);
        out_full_ = false;
        out_head_ = out_tail_ = 0;
        ++out_generation_;
    }
    std::int32_t result = DeviceValid() ? PurgeOutput() : 0;
    ResumeOutput();
    return result;
}

// ---------------------------------------------------------------------------------------------
// Settings as last written
// ---------------------------------------------------------------------------------------------

TDCB TSpBaseDispatcher::DeviceStateCopy() {
    Guard gen(general_lock_);
    return dcb_;
}
std::int32_t TSpBaseDispatcher::LastBaud() {
    Guard gen(general_lock_);
    return last_baud_;
}
bool TSpBaseDispatcher::DTRState() {
    Guard gen(general_lock_);
    return dtr_state_;
}
bool TSpBaseDispatcher::RTSState() {
    Guard gen(general_lock_);
    return rts_state_;
}
bool TSpBaseDispatcher::DTRUnderFlow() {
    Guard gen(general_lock_);
    return dtr_flow_;
}
bool TSpBaseDispatcher::RTSUnderFlow() {
    Guard gen(general_lock_);
    return rts_flow_;
}
bool TSpBaseDispatcher::RS485Mode() {
    Guard gen(general_lock_);
    return rs485_;
}
std::uint16_t TSpBaseDispatcher::BaseAddress() {
    Guard gen(general_lock_);
    return base_address_;
}
void TSpBaseDispatcher::SetOptionBit(std::uint32_t bit, bool on) {
    Guard gen(general_lock_);
    if (on)
        options_ |= bit;
    else
        options_ &= ~bit;
}
std::uint32_t TSpBaseDispatcher::Options() {
    Guard gen(general_lock_);
    return options_;
}

void TSpBaseDispatcher::SetThreadPriorities(std::int32_t base) {
    Guard gen(general_lock_);
    thread_priority_base_ = base;
}

void TSpBaseDispatcher::SetRS485(bool on) {
    Guard gen(general_lock_);
    rs485_ = on;
}

// ---------------------------------------------------------------------------------------------
// Tracing and dispatch logging
// ---------------------------------------------------------------------------------------------

std::int32_t TSpBaseDispatcher::InitTracing(std::uint32_t size) {
    Guard gen(general_lock_);
    std::int32_t r = trace_.Init(size);
    trace_on_ = trace_.Active();
    return r;
}
void TSpBaseDispatcher::ClearTracing() {
    Guard gen(general_lock_);
    trace_.Clear();
}
void TSpBaseDispatcher::StartTracing() {
    Guard gen(general_lock_);
    trace_.Start();
    trace_on_ = trace_.Active();
}
void TSpBaseDispatcher::StopTracing() {
    Guard gen(general_lock_);
    trace_.Stop();
    trace_on_ = false;
}
void TSpBaseDispatcher::AbortTracing() {
    Guard gen(general_lock_);
    trace_.Stop();
    trace_.Free();
    trace_on_ = false;
}
std::int32_t TSpBaseDispatcher::DumpTrace(const std::string& file, bool append, bool in_hex, bool all_hex) {
    Guard gen(general_lock_);
    trace_on_ = false;
    return trace_.Dump(file, append, in_hex, all_hex);
}
bool TSpBaseDispatcher::TracingOn() {
    return trace_on_.load();
}
void TSpBaseDispatcher::AddTraceEntry(char kind, std::uint8_t byte) {
    Guard gen(general_lock_);
    if (trace_.Active()) trace_.Add(kind, byte);
}

std::int32_t TSpBaseDispatcher::InitDispatchLogging(std::uint32_t size) {
    Guard gen(general_lock_);
    std::int32_t r = log_.Init(size);
    log_on_ = log_.Active();
    return r;
}
void TSpBaseDispatcher::ClearDispatchLogging() {
    Guard gen(general_lock_);
    log_.Clear();
}
void TSpBaseDispatcher::StartDispatchLogging() {
    Guard gen(general_lock_);
    log_.Start();
    log_on_ = log_.Active();
}
void TSpBaseDispatcher::StopDispatchLogging() {
    Guard gen(general_lock_);
    log_.Stop();
    log_on_ = false;
}
void TSpBaseDispatcher::AbortDispatchLogging() {
    Guard gen(general_lock_);
    log_.Stop();
    log_.Free();
    log_on_ = false;
}
std::int32_t TSpBaseDispatcher::DumpDispatchLog(const std::string& file, bool append, bool in_hex,
                                                bool all_hex) {
    Guard gen(general_lock_);
    log_on_ = false;
    return log_.Dump(file, append, in_hex, all_hex, name_);
}
bool TSpBaseDispatcher::LoggingOn() {
    return log_on_.load();
}
void TSpBaseDispatcher::AddLogEntry(std::uint8_t type, std::uint8_t subtype, std::uint32_t data,
                                    const void* bytes, std::uint32_t count) {
    if (!log_on_.load()) return;  // the cheap test first: logging is off in normal use
    Guard gen(general_lock_);
    if (log_.Active()) log_.AddEntry(type, subtype, data, bytes, count);
}
std::vector<TSpDispatchLog::Entry> TSpBaseDispatcher::LogEntries() {
    Guard gen(general_lock_);
    return log_.Entries();
}

std::string TSpBaseDispatcher::Report() {
    std::ostringstream out;
    std::uint32_t in_count = InputCount();
    std::uint32_t used;
    {
        Guard o(output_lock_);
        used = OutputFillLocked();
    }
    Guard gen(general_lock_);
    out << name_ << " handle " << handle_ << " device " << cid_.load() << " baud " << dcb_.baud << " input "
        << in_count << " output " << used << "/" << out_size_ << " timers " << timer_triggers_.size()
        << " data " << data_triggers_.size() << " status " << status_triggers_.size() << " avail "
        << avail_threshold_ << (device_lost_.load() ? " lost" : "")
        << (notifying_.load() ? " notifying" : "");
    return out.str();
}

}  // namespace serial
