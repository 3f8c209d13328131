// The dispatcher's triggers, handler lists and notification.
//
// The scans decide under the locks which trigger fires and change its state there, then release
// every lock before NotifyHandlers sends anything: a handler may call back into the dispatcher
// (TakeChar, QueueBlock, StartTimerTrigger, RemoveWindowHandler) on another thread while the
// dispatch thread waits for it.
#include <algorithm>
#include <cassert>
#include <cstring>
#include <map>
#include <mutex>

#include "serial/dispatcher.h"
#include "serial/errors.h"

namespace serial {

namespace kernel = platform::kernel;
namespace win = platform::window;
using Guard = kernel::CriticalSectionGuard;

namespace {

// Windows-1252 upper case, for data triggers that ignore case.
char UpperAnsi(char c) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 'a' && b <= 'z') return static_cast<char>(b - 32);
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<char>(b - 32);
    switch (b) {
        case 0x9A:
            return static_cast<char>(0x8A);
        case 0x9C:
            return static_cast<char>(0x8C);
        case 0x9E:
            return static_cast<char>(0x8E);
        case 0xFF:
            return static_cast<char>(0x9F);
        default:
            return c;
    }
}

// Feeds one character to a data trigger; true when its string is now complete.
bool FeedDataTrigger(TDataTrigger& t, char c) {
    if (t.tLen == 0) return false;
    if (t.tMatched) return true;
    char cc = t.tIgnoreCase ? UpperAnsi(c) : c;
    bool done = false;
    for (auto& matched : t.tChkIndex) {
        if (matched <= 0) continue;
        if (t.tData[matched] == cc) {
            ++matched;
            if (static_cast<std::uint32_t>(matched) == t.tLen) done = true;
        } else {
            matched = 0;
        }
    }
    if (!done && t.tData[0] == cc) {
        if (t.tLen == 1) {
            done = true;
        } else {
            for (auto& matched : t.tChkIndex)
                if (matched <= 0) {
                    matched = 1;
                    break;
                }
        }
    }
    if (done) {
        t.tMatched = 1;
        std::fill(std::begin(t.tChkIndex), std::end(t.tChkIndex), 0);
    }
    return done;
}

// Jobs of synchronised event handlers, by id: the main thread's window takes a job out of here
// before it runs it, and the dispatch thread takes it out when the send gave up before the window
// started, so that exactly one of them owns it.
struct SyncJobs {
    std::mutex mutex;
    std::map<std::uint64_t, std::function<void()>> jobs;
    std::uint64_t next = 1;
};
SyncJobs& sync_jobs() {
    static SyncJobs jobs;
    return jobs;
}
constexpr std::uint32_t kSyncMessage = 0x7E0F;
constexpr const char* kSyncWindowClass = "awSyncWindow";

win::Result SyncWindowProc(win::Handle window, std::uint32_t msg, win::WParam wparam, win::LParam) {
    (void)window;
    if (msg != kSyncMessage) return 0;
    std::function<void()> job;
    {
        std::lock_guard lock(sync_jobs().mutex);
        auto it = sync_jobs().jobs.find(static_cast<std::uint64_t>(wparam));
        if (it == sync_jobs().jobs.end()) return 0;
        job = std::move(it->second);
        sync_jobs().jobs.erase(it);
    }
    job();
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Handles and timer triggers
// ---------------------------------------------------------------------------------------------

std::int32_t TSpBaseDispatcher::NextTriggerHandle() {
    assert(general_lock_.held());
    if (trigger_counter_ < 4096) return trigger_counter_++ * 8;
    auto used = [&](std::int32_t h) {
        for (auto& t : timer_triggers_)
            if (t.tHandle == h) return true;
        for (auto& t : status_triggers_)
            if ((t.tHandle & ~7) == h) return true;
        for (auto& t : data_triggers_)
            if (t.tHandle == h) return true;
        return false;
    };
    std::int32_t h = 8;
    while (h <= 4096 && used(h)) h += 8;
    return h > 4096 ? 0 : h;
}

std::int32_t TSpBaseDispatcher::AllocTimerTrigger() {
    std::int32_t handle;
    {
        Guard gen(general_lock_);
        handle = NextTriggerHandle();
        if (handle == 0) return ecNoMoreTriggers;
        TTimerTrigger t;
        t.tHandle = handle;
        timer_triggers_.push_back(t);
    }
    AddLogEntry(dtTriggerAlloc, dstTimerTrigger, static_cast<std::uint32_t>(handle));
    return handle;
}

std::int32_t TSpBaseDispatcher::StartTimerTrigger(std::int32_t handle, std::int32_t ticks, bool activate) {
    std::int32_t result;
    bool sooner = false;
    {
        Guard gen(general_lock_);
        result = StartTimerTriggerLocked(handle, ticks, activate, sooner);
    }
    // Only an expiry before the end of the dispatch thread's wait needs to wake it: a later one
    // is in the wait it plans next.
    if (sooner) DispatchWaitChanged();
    return result;
}

std::int32_t TSpBaseDispatcher::StartTimerTriggerLocked(std::int32_t handle, std::int32_t ticks,
                                                        bool activate, bool& sooner) {
    auto it = std::find_if(timer_triggers_.begin(), timer_triggers_.end(),
                           [&](const TTimerTrigger& t) { return handle >= 2 && t.tHandle == handle; });
    if (it == timer_triggers_.end()) return ecBadTriggerHandle;
    if (activate) {
        if (ticks != 0) it->tTicks = ticks;
        NewTimer(it->tET, it->tTicks);
        const std::uint64_t now = ClockMs();
        sooner = now + MsUntilExpiry(it->tET, now) < dispatch_wait_end_ms_;
        std::int32_t count = it->tTicks;
        AddLogEntry(dtTriggerDataChange, dstTimerTrigger, static_cast<std::uint32_t>(handle), &count, 4);
    } else {
        static constexpr char kText[] = "Deactivated";
        AddLogEntry(dtTriggerDataChange, dstTimerTrigger, static_cast<std::uint32_t>(handle), kText, 11);
    }
    it->tActive = activate;
    return 0;
}

std::int32_t TSpBaseDispatcher::AddDataTrigger(const std::string& data, bool ignore_case) {
    if (data.empty() || data.size() > kMaxTriggerData) return ecTriggerTooLong;
    std::int32_t handle;
    {
        Guard gen(general_lock_);
        handle = NextTriggerHandle();
        if (handle == 0) return ecNoMoreTriggers;
        TDataTrigger t;
        t.tHandle = handle;
        t.tLen = static_cast<std::uint32_t>(data.size());
        t.tIgnoreCase = ignore_case ? 1 : 0;
        for (std::size_t i = 0; i < data.size(); ++i) t.tData[i] = ignore_case ? UpperAnsi(data[i]) : data[i];
        data_triggers_.push_back(t);
    }
    UpdateReceiveLevel();  // data triggers look at every byte
    AddLogEntry(dtTriggerAlloc, dstData, static_cast<std::uint32_t>(handle), data.data(),
                static_cast<std::uint32_t>(data.size()));
    return handle;
}

std::int32_t TSpBaseDispatcher::AddStatusTrigger(std::uint16_t kind) {
    if (kind < stModem || kind > stOutSent) return ecBadArgument;
    std::int32_t handle;
    {
        Guard gen(general_lock_);
        std::int32_t base = NextTriggerHandle();
        if (base == 0) return ecNoMoreTriggers;
        handle = base | kind;
        TStatusTrigger t;
        t.tHandle = handle;
        t.tSType = kind;
        status_triggers_.push_back(t);
    }
    std::uint8_t k = static_cast<std::uint8_t>(kind);
    AddLogEntry(dtTriggerAlloc, dstStatusTrigger, static_cast<std::uint32_t>(handle), &k, 1);
    return handle;
}

std::int32_t TSpBaseDispatcher::SetStatusTrigger(std::int32_t handle, std::uint16_t value, bool activate) {
    {
        Guard gen(general_lock_);
        auto it = std::find_if(status_triggers_.begin(), status_triggers_.end(),
                               [&](const TStatusTrigger& t) { return handle >= 2 && t.tHandle == handle; });
        if (it == status_triggers_.end()) return ecBadTriggerHandle;
        if (activate) {
            if (it->tSType == stModem)
                it->tValue = static_cast<std::uint16_t>(((value & 0xFF) << 8) | (modem_status_ & 0xF0));
            else
                it->tValue = value;
        }
        it->tSActive = activate;
        it->StatusHit = false;
    }
    // An armed status trigger is looked at every 50 ms: the dispatch thread may be in a longer wait.
    if (activate) DispatchWaitChanged();
    return 0;
}

bool TSpBaseDispatcher::PassesNeeded() {
    Guard in(input_lock_);
    Guard gen(general_lock_);
    if (std::any_of(status_triggers_.begin(), status_triggers_.end(),
                    [](const TStatusTrigger& t) { return t.tSActive; }))
        return true;
    if (ring_full_ || device_input_left_) return true;
    // Bytes announced to nobody (the handler did not take the notification) are offered again.
    return avail_threshold_ != 0 && bytes_since_avail_ > 0 && !ring_.empty() &&
           AvailableLocked() >= avail_threshold_;
}

std::int32_t TSpBaseDispatcher::FindTrigger(std::int32_t handle, bool remove) {
    if (handle < 2) return ecBadTriggerHandle;
    std::int32_t kind = ttNone;
    std::uint8_t subtype = dstNone;
    std::uint8_t low = 0;
    {
        Guard gen(general_lock_);
        auto t = std::find_if(timer_triggers_.begin(), timer_triggers_.end(),
                              [&](const TTimerTrigger& r) { return r.tHandle == handle; });
        if (t != timer_triggers_.end()) {
            kind = ttTimer;
            subtype = dstTimer;
            if (remove) timer_triggers_.erase(t);
        } else {
            auto s = std::find_if(status_triggers_.begin(), status_triggers_.end(),
                                  [&](const TStatusTrigger& r) { return r.tHandle == handle; });
            if (s != status_triggers_.end()) {
                kind = ttStatus;
                subtype = dstStatusTrigger;
                low = static_cast<std::uint8_t>(handle & 7);
                if (remove) status_triggers_.erase(s);
            } else {
                auto d = std::find_if(data_triggers_.begin(), data_triggers_.end(),
                                      [&](const TDataTrigger& r) { return (r.tHandle & ~7) == handle; });
                if (d != data_triggers_.end()) {
                    kind = ttData;
                    subtype = dstData;
                    if (remove) data_triggers_.erase(d);
                }
            }
        }
    }
    if (kind == ttNone) return ecBadTriggerHandle;
    if (remove)
        AddLogEntry(dtTriggerDispose, subtype, static_cast<std::uint32_t>(handle),
                    kind == ttStatus ? &low : nullptr, kind == ttStatus ? 1 : 0);
    if (remove && kind == ttData) UpdateReceiveLevel();
    return kind;
}

void TSpBaseDispatcher::ChangeAvailThreshold(std::uint32_t count) {
    {
        Guard gen(general_lock_);
        avail_threshold_ = count;
    }
    AddLogEntry(dtTriggerDataChange, dstAvailTrigger, count);
    UpdateReceiveLevel();
}

void TSpBaseDispatcher::UpdateReceiveLevel() {
    // Both locks for one consistent look at the threshold, the triggers and the ring; the device
    // call under them keeps a later look from being overtaken by an earlier one.
    Guard in(input_lock_);
    Guard gen(general_lock_);
    if (ring_.empty()) return;
    const bool every_byte =
        avail_threshold_ <= 1 || std::any_of(data_triggers_.begin(), data_triggers_.end(),
                                             [](const TDataTrigger& t) { return t.tLen != 0; });
    const std::uint32_t held = AvailableLocked();
    const std::uint32_t level = every_byte || held >= avail_threshold_ ? 1 : avail_threshold_ - held;
    if (level == receive_level_) return;
    receive_level_ = level;
    SetReceiveLevel(level);
}

std::uint32_t TSpBaseDispatcher::AvailThreshold() {
    Guard gen(general_lock_);
    return avail_threshold_;
}

void TSpBaseDispatcher::RemoveAllTriggers() {
    {
        Guard gen(general_lock_);
        avail_threshold_ = 0;
        timer_triggers_.clear();
        data_triggers_.clear();
        status_triggers_.clear();
        trigger_counter_ = 1;
    }
    UpdateReceiveLevel();
}

std::vector<TTimerTrigger> TSpBaseDispatcher::TimerTriggers() {
    Guard gen(general_lock_);
    return timer_triggers_;
}
std::vector<TDataTrigger> TSpBaseDispatcher::DataTriggers() {
    Guard gen(general_lock_);
    return data_triggers_;
}
std::vector<TStatusTrigger> TSpBaseDispatcher::StatusTriggers() {
    Guard gen(general_lock_);
    return status_triggers_;
}

// ---------------------------------------------------------------------------------------------
// Scans
// ---------------------------------------------------------------------------------------------

bool TSpBaseDispatcher::ScanTimerTriggers() {
    std::int32_t handle = 0;
    {
        Guard gen(general_lock_);
        std::int32_t now = CurrentTicks();
        for (auto& t : timer_triggers_) {
            if (t.tActive && TimerExpiredAt(t.tET, now)) {
                t.tActive = false;  // one-shot: fires once per arming
                handle = t.tHandle;
                break;
            }
        }
    }
    if (handle == 0) return false;
    AddLogEntry(dtTrigger, dstTimer, static_cast<std::uint32_t>(handle));
    bool delivered = true;
    bool result = NotifyHandlers(APW_TRIGGERTIMER, static_cast<std::uintptr_t>(handle), 0, &delivered);
    if (!delivered) {
        // Nobody took it (the send gave up before the window started on it): arm it again, still
        // expired, so that the next pass offers it once more and the owner's time-out is not lost.
        Guard gen(general_lock_);
        for (auto& t : timer_triggers_)
            if (t.tHandle == handle) t.tActive = true;
        return false;
    }
    return result;
}

std::uint64_t TSpBaseDispatcher::MsUntilNextTimer(std::uint64_t limit) {
    Guard gen(general_lock_);
    const std::uint64_t now = ClockMs();
    for (const auto& t : timer_triggers_)
        if (t.tActive) limit = std::min(limit, MsUntilExpiry(t.tET, now));
    return limit;
}

void TSpBaseDispatcher::EndDispatchWait() {
    Guard gen(general_lock_);
    dispatch_wait_end_ms_ = 0;
}

std::uint64_t TSpBaseDispatcher::PlanDispatchWait(std::uint64_t pass_due_ms, bool until_timers) {
    Guard gen(general_lock_);
    const std::uint64_t now = ClockMs();
    const std::uint64_t until_pass = pass_due_ms > now ? pass_due_ms - now : 0;
    dispatch_wait_end_ms_ = now + (until_timers ? MsUntilNextTimer(until_pass) : until_pass);
    return dispatch_wait_end_ms_;
}

bool TSpBaseDispatcher::ScanStatusTriggers() {
    std::int32_t handle = 0;
    std::uint16_t value = 0;
    {
        Guard gen(general_lock_);
        for (auto& t : status_triggers_) {
            if (!t.tSActive || t.StatusHit) continue;
            bool fire = false;
            std::uint16_t message_value = 0;
            switch (t.tSType) {
                case stModem: {
                    std::uint8_t reference = static_cast<std::uint8_t>(t.tValue & 0xFF);
                    std::uint8_t mask = static_cast<std::uint8_t>(t.tValue >> 8);
                    fire = ((reference ^ modem_status_) & mask) != 0;
                    break;
                }
                case stLine: {
                    std::uint32_t errors = LastLineErrors();
                    fire = (t.tValue & errors) != 0;
                    if (fire) t.tValue = static_cast<std::uint16_t>(errors);
                    break;
                }
                case stOutBuffFree: {
                    std::uint32_t free = OutputFree();
                    fire = free >= t.tValue;
                    message_value = static_cast<std::uint16_t>(std::min<std::uint32_t>(free, 0xFFFF));
                    break;
                }
                case stOutBuffUsed: {
                    std::uint32_t used = OutputUsed();
                    fire = used <= t.tValue;
                    message_value = static_cast<std::uint16_t>(std::min<std::uint32_t>(used, 0xFFFF));
                    break;
                }
                case stOutSent:
                    fire = something_sent_.exchange(false);
                    break;
                default:
                    break;
            }
            if (fire) {
                t.tSActive = false;
                t.StatusHit = true;
                status_hit_ = true;
                handle = t.tHandle;
                value = message_value;
                break;
            }
        }
    }
    if (handle == 0) return false;
    AddLogEntry(dtTrigger, dstStatus, static_cast<std::uint32_t>(handle));
    bool delivered = true;
    bool result = NotifyHandlers(APW_TRIGGERSTATUS, static_cast<std::uintptr_t>(handle), value, &delivered);
    if (!delivered) {
        Guard gen(general_lock_);
        for (auto& t : status_triggers_)
            if (t.tHandle == handle) t.tSActive = true;
        return false;
    }
    return result;
}

void TSpBaseDispatcher::ClearStatusHits() {
    Guard gen(general_lock_);
    for (auto& t : status_triggers_) t.StatusHit = false;
    status_hit_ = false;
}

bool TSpBaseDispatcher::ScanDataTriggers() {
    std::vector<std::pair<std::int32_t, std::uint32_t>> fired;  // handle, string length
    bool send_avail = false;
    std::uint32_t avail_count = 0;
    {
        Guard in(input_lock_);
        Guard gen(general_lock_);
        if (ring_.empty()) return false;
        bool any = std::any_of(data_triggers_.begin(), data_triggers_.end(),
                               [](const TDataTrigger& t) { return t.tLen != 0; });
        bool completed = false;
        std::uint32_t p = scan_position_;
        if (any) {
            while (unscanned_ > 0) {
                char c = ring_[p];
                for (auto& t : data_triggers_)
                    if (FeedDataTrigger(t, c)) completed = true;
                ++bytes_since_avail_;
                if (completed) break;
                p = (p + 1) % kRingSize;
                --unscanned_;
            }
        } else {
            p = (p + unscanned_) % kRingSize;
            bytes_since_avail_ += unscanned_;
            unscanned_ = 0;
        }
        if (completed) {
            std::uint32_t longest = 0;
            for (auto& t : data_triggers_)
                if (t.tMatched) longest = std::max(longest, t.tLen);
            std::uint32_t through_p = (p + kRingSize - ring_tail_) % kRingSize + 1;
            if (avail_threshold_ != 0 && bytes_since_avail_ > 0 && through_p >= longest &&
                through_p - longest >= avail_threshold_) {
                send_avail = true;
                avail_count = through_p - longest;
            }
            for (auto it = data_triggers_.rbegin(); it != data_triggers_.rend(); ++it) {
                if (!it->tMatched) continue;
                it->tMatched = 0;
                fired.emplace_back(it->tHandle, it->tLen);
            }
            scan_position_ = (p + 1) % kRingSize;
            --unscanned_;
        } else {
            scan_position_ = p;
            std::uint32_t a = AvailableLocked() - (in_avail_ ? std::min(AvailableLocked(), look_ahead_) : 0);
            if (avail_threshold_ == 0 || bytes_since_avail_ == 0 || a < avail_threshold_) return false;
            send_avail = true;
            avail_count = a;
        }
    }

    bool result = false;
    if (send_avail) {
        AddLogEntry(dtTrigger, dstAvail, avail_count);
        bool delivered = true;
        result = NotifyHandlers(APW_TRIGGERAVAIL, avail_count, 0, &delivered);
        if (delivered) {
            Guard in(input_lock_);
            bytes_since_avail_ = 0;
        }
    }
    for (auto& [handle, length] : fired) {
        AddLogEntry(dtTrigger, dstData, static_cast<std::uint32_t>(handle));
        result = NotifyHandlers(APW_TRIGGERDATA, static_cast<std::uintptr_t>(handle),
                                static_cast<std::uint16_t>(length));
        if (close_requested_.load()) break;
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Handlers
// ---------------------------------------------------------------------------------------------

void TSpBaseDispatcher::AddWindowHandler(win::Handle window) {
    {
        Guard gen(general_lock_);
        wnd_handlers_.push_back({window, false});
        handler_service_needed_ = true;
    }
    AddLogEntry(dtTriggerHandlerAlloc, dstWndHandler, window);
}

void TSpBaseDispatcher::RemoveWindowHandler(win::Handle window) {
    Guard gen(general_lock_);
    auto it = std::find_if(wnd_handlers_.begin(), wnd_handlers_.end(),
                           [&](const TWndHandlerRec& r) { return r.Window == window && !r.Deleted; });
    if (it == wnd_handlers_.end()) {
        UpdateHandlerService(hsRecompute);
        return;
    }
    AddLogEntry(dtTriggerHandlerDispose, dstWndHandler, window);
    if (notifying_.load()) {
        it->Deleted = true;
        deletions_pending_ = true;
    } else {
        wnd_handlers_.erase(it);
    }
    UpdateHandlerService(hsRecompute);
}

std::uint32_t TSpBaseDispatcher::AddProcedureHandler(TSpNotifyProc proc) {
    Guard gen(general_lock_);
    std::uint32_t id = next_handler_id_++;
    proc_handlers_.push_back({id, std::move(proc), false});
    UpdateHandlerService(hsRecompute);
    return id;
}

void TSpBaseDispatcher::RemoveProcedureHandler(std::uint32_t id) {
    Guard gen(general_lock_);
    auto it = std::find_if(proc_handlers_.begin(), proc_handlers_.end(),
                           [&](const TProcHandlerRec& r) { return r.Id == id && !r.Deleted; });
    if (it != proc_handlers_.end()) {
        if (notifying_.load()) {
            it->Deleted = true;
            deletions_pending_ = true;
        } else {
            proc_handlers_.erase(it);
        }
    }
    UpdateHandlerService(hsRecompute);
}

std::uint32_t TSpBaseDispatcher::AddEventHandler(TSpNotifyEvent event, void* user, bool synchronise) {
    if (synchronise && sync_window_.load() == 0)
        sync_window_ = win::create_window(kSyncWindowClass, 0, SyncWindowProc);  // on the main thread
    Guard gen(general_lock_);
    std::uint32_t id = next_handler_id_++;
    event_handlers_.push_back({id, std::move(event), user, false, synchronise});
    UpdateHandlerService(hsRecompute);
    return id;
}

void TSpBaseDispatcher::RemoveEventHandler(std::uint32_t id) {
    Guard gen(general_lock_);
    auto it = std::find_if(event_handlers_.begin(), event_handlers_.end(),
                           [&](const TEventHandlerRec& r) { return r.Id == id && !r.Deleted; });
    if (it != event_handlers_.end()) {
        if (notifying_.load()) {
            it->Deleted = true;
            deletions_pending_ = true;
        } else {
            event_handlers_.erase(it);
        }
    }
    UpdateHandlerService(hsRecompute);
}

void TSpBaseDispatcher::UpdateHandlerService(std::int32_t code) {
    Guard gen(general_lock_);
    auto live = [](const auto& list) {
        return std::count_if(list.begin(), list.end(), [](const auto& r) { return !r.Deleted; });
    };
    bool others = live(wnd_handlers_) > 1 || live(proc_handlers_) > 0 || live(event_handlers_) > 0;
    switch (code) {
        case hsPortHandlerInstalled:
            port_handler_installed_ = true;
            handler_service_needed_ = true;
            break;
        case hsPortHandlerRemoved:
            port_handler_installed_ = false;
            handler_service_needed_ = others;
            break;
        default:
            handler_service_needed_ = others || port_handler_installed_;
            break;
    }
}

bool TSpBaseDispatcher::HandlerServiceNeeded() {
    Guard gen(general_lock_);
    return handler_service_needed_;
}

std::size_t TSpBaseDispatcher::WindowHandlerCount() {
    Guard gen(general_lock_);
    return wnd_handlers_.size();
}

void TSpBaseDispatcher::RunSynchronised(const std::function<void()>& job) {
    std::uint64_t id;
    {
        std::lock_guard lock(sync_jobs().mutex);
        id = sync_jobs().next++;
        sync_jobs().jobs.emplace(id, job);
    }
    win::send_message_timeout(sync_window_.load(), kSyncMessage, static_cast<win::WParam>(id), 0,
                              kNotifySendTimeoutMs);
    std::lock_guard lock(sync_jobs().mutex);
    sync_jobs().jobs.erase(id);  // not started in time: it never runs
}

bool TSpBaseDispatcher::CallWindowHandler(win::Handle window, std::uint32_t msg, std::uintptr_t wparam,
                                          std::intptr_t lparam) {
    std::uint64_t entered = notifications_entered_.load();
    win::Result ignored = 0;
    win::SendStatus status =
        win::send_message_timeout(window, msg, wparam, lparam, kNotifySendTimeoutMs, &ignored);
    if (status == win::SendStatus::ok) return true;
    if (status == win::SendStatus::no_window) return false;
    // Timed out: it counts as taken when the window started on it (it may still be running).
    if (notifications_entered_.load() != entered) return true;
    Guard in(input_lock_);
    return look_ahead_ > 0;
}

bool TSpBaseDispatcher::NotifyHandlers(std::uint32_t msg, std::uintptr_t wparam, std::uint16_t low,
                                       bool* delivered) {
    bool taken = false;
    {
        Guard gen(general_lock_);
        if (!handler_service_needed_) {
            if (delivered) *delivered = true;
            return true;
        }
        notifying_ = true;
    }
    bool result = true;
    bool early = false;
    bool avail = msg == APW_TRIGGERAVAIL || msg == APW_TRIGGERDATA;
    {
        Guard in(input_lock_);
        max_look_ahead_ = 0;
        look_ahead_ = 0;
        in_avail_ = avail;
    }
    std::intptr_t lparam = static_cast<std::intptr_t>((static_cast<std::uint32_t>(handle_) << 16) | low);

    auto after_handler = [&]() {
        if (close_requested_.load()) {
            result = false;
            early = true;
            return;
        }
        Guard in(input_lock_);
        max_look_ahead_ = std::max(max_look_ahead_, look_ahead_);
    };
    auto reset_look_ahead = [&]() {
        Guard in(input_lock_);
        look_ahead_ = 0;
    };

    // Event handlers.
    for (std::size_t i = 0; !early; ++i) {
        TEventHandlerRec rec;
        {
            Guard gen(general_lock_);
            if (i >= event_handlers_.size()) break;
            rec = event_handlers_[i];
        }
        reset_look_ahead();
        if (!rec.Deleted && rec.Event) {
            if (rec.Sync && sync_window_.load() != 0) {
                // The job owns copies: a send that gives up while it runs leaves it running alone.
                RunSynchronised([event = rec.Event, user = rec.UserData, msg, wparam, lparam] {
                    event(user, msg, wparam, lparam);
                });
            } else {
                rec.Event(rec.UserData, msg, wparam, lparam);
            }
            taken = true;
        }
        after_handler();
    }
    // Procedure handlers.
    for (std::size_t i = 0; !early; ++i) {
        TProcHandlerRec rec;
        {
            Guard gen(general_lock_);
            if (i >= proc_handlers_.size()) break;
            rec = proc_handlers_[i];
        }
        reset_look_ahead();
        if (!rec.Deleted && rec.Proc) {
            rec.Proc(msg, wparam, lparam);
            taken = true;
        }
        after_handler();
    }
    // Window handlers: only when there are several, or the port's own handler is installed.
    for (std::size_t i = 0; !early; ++i) {
        TWndHandlerRec rec;
        {
            Guard gen(general_lock_);
            if (i >= wnd_handlers_.size()) break;
            if (!(wnd_handlers_.size() > 1 || port_handler_installed_)) break;
            rec = wnd_handlers_[i];
        }
        reset_look_ahead();
        if (!rec.Deleted && CallWindowHandler(rec.Window, msg, wparam, lparam)) taken = true;
        after_handler();
    }

    {
        Guard in(input_lock_);
        if (avail) {
            in_avail_ = false;
            if (!early) {
                std::uint32_t available = ring_.empty() ? 0 : AvailableLocked();
                std::uint32_t advance = std::min(max_look_ahead_, available);
                if (advance > 0) {
                    ring_tail_ = (ring_tail_ + advance) % kRingSize;
                    ring_full_ = false;
                }
                if (msg == APW_TRIGGERAVAIL && max_look_ahead_ != wparam) result = false;
            }
        }
        if (!early) look_ahead_ = 0;
    }
    {
        Guard gen(general_lock_);
        notifying_ = false;
        if (deletions_pending_.exchange(false)) {
            std::erase_if(wnd_handlers_, [](const TWndHandlerRec& r) { return r.Deleted; });
            std::erase_if(proc_handlers_, [](const TProcHandlerRec& r) { return r.Deleted; });
            std::erase_if(event_handlers_, [](const TEventHandlerRec& r) { return r.Deleted; });
            UpdateHandlerService(hsRecompute);
        }
    }
    if (delivered) *delivered = taken || early;
    return result;
}

// ---------------------------------------------------------------------------------------------
// Saved trigger sets
// ---------------------------------------------------------------------------------------------

void TSpBaseDispatcher::FreeTriggerSet(TTriggerSave& save) {
    save.tsTimerTriggers.clear();
    save.tsDataTriggers.clear();
    save.tsStatusTriggers.clear();
}

void TSpBaseDispatcher::SaveTriggerSet(TTriggerSave& save) {
    Guard gen(general_lock_);
    FreeTriggerSet(save);
    save.tsAvailTrigger = avail_threshold_;
    save.tsTimerTriggers = timer_triggers_;
    save.tsDataTriggers = data_triggers_;
    save.tsStatusTriggers = status_triggers_;
}

void TSpBaseDispatcher::RestoreTriggerSet(const TTriggerSave& save) {
    {
        Guard gen(general_lock_);
        avail_threshold_ = save.tsAvailTrigger;
        timer_triggers_ = save.tsTimerTriggers;
        data_triggers_ = save.tsDataTriggers;
        status_triggers_ = save.tsStatusTriggers;
    }
    DispatchWaitChanged();
    UpdateReceiveLevel();
}

}  // namespace serial
