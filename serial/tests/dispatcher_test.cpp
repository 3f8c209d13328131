// The dispatcher's buffers, line state, flow control, triggers and notification, driven directly
// on a device of the test's own making (no threads), so that every path is reached.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <thread>

#include "platform/testing/message_loop.h"
#include "serial/dispatcher.h"
#include "serial/errors.h"
#include "serial/tick_timer.h"

namespace serial {
namespace {

namespace comm = platform::comm;
namespace win = platform::window;
using namespace std::chrono_literals;

// A device in memory: received bytes wait in `input`, written device states are counted.
class FakeDispatcher : public TSpBaseDispatcher {
  public:
    FakeDispatcher() : TSpBaseDispatcher(nullptr) {}
    ~FakeDispatcher() override { Shutdown(); }

    std::string input;
    std::uint32_t pending_errors = 0;
    std::uint32_t hold = 0;
    TDCB device;
    int state_writes = 0;
    int escapes_failing = 0;  // > 0: the escape function fails
    std::vector<std::int32_t> escapes;

    std::int32_t Open(std::uint32_t in_size = 4096, std::uint32_t out_size = 4096) {
        return OpenLine("fake", 9600, ooDTR | ooRTS, out_size, in_size, 1, 8, 0);
    }
    std::uint32_t RingTail() { return ring_tail_; }
    bool RingFull() { return ring_full_; }
    bool OutFull() { return out_full_; }

    std::int32_t EscapeFunction(std::int32_t code) override {
        escapes.push_back(code);
        return escapes_failing > 0 ? -31 : 0;
    }
    std::int32_t FlushDevice(std::int32_t which) override {
        if (which == 0) return DiscardOutput();
        input.clear();
        return 0;
    }
    std::int32_t QueueStatus(TComStat& status) override {
        std::uint32_t e = pending_errors;
        pending_errors = 0;
        status.Flags = hold;
        status.InQue = static_cast<std::uint32_t>(input.size());
        platform::kernel::CriticalSectionGuard out(output_lock_);
        status.OutQue = OutputFillLocked();
        return static_cast<std::int32_t>(e);
    }
    std::int32_t ReadFailed(std::int32_t) override { return 0; }
    std::int32_t GetDeviceState(TDCB& state) override {
        state = device;
        return 0;
    }
    std::int32_t ReadDevice(void* buffer, std::uint32_t count) override {
        std::size_t n = std::min<std::size_t>(count, input.size());
        std::memcpy(buffer, input.data(), n);
        input.erase(0, n);
        return static_cast<std::int32_t>(n);
    }
    std::int32_t SetDeviceState(const TDCB& state) override {
        device = state;
        ++state_writes;
        return 0;
    }
    std::int32_t WriteToOutput(const void* bytes, std::uint32_t count) override {
        platform::kernel::CriticalSectionGuard out(output_lock_);
        const char* p = static_cast<const char*>(bytes);
        for (std::uint32_t i = 0; i < count; ++i) {
            out_buffer_[out_head_] = p[i];
            out_head_ = (out_head_ + 1) % out_size_;
        }
        if (out_head_ == out_tail_) out_full_ = true;
        return static_cast<std::int32_t>(count);
    }
    bool WaitDeviceEvent(std::uint32_t&) override { return false; }
    bool SetDeviceQueues(std::uint32_t, std::uint32_t) override { return true; }
    void StartThreads() override {}
    void StopThreads() override {}
    std::int32_t OpenDeviceHandle(const std::string&, std::uint32_t, std::uint32_t) override { return 1; }
    std::int32_t CloseDevice() override {
        cid_ = -1;
        return 0;
    }
    std::int32_t YieldSlice() override { return 0; }
    std::int32_t PurgeOutput() override { return 0; }
    int timer_wakes = 0;  // times the dispatch thread's wait was called out of date
    void DispatchWaitChanged() override { ++timer_wakes; }
    std::vector<std::uint32_t> levels;  // receive levels given to the device
    void SetReceiveLevel(std::uint32_t bytes) override { levels.push_back(bytes); }
};

// A controllable clock for the tick timers.
struct FakeClock {
    std::uint64_t now = 1'000'000;
    FakeClock() {
        clock_state().now_ms = [this] { return now; };
    }
    ~FakeClock() { reset_clock_state_for_tests(); }
    void advance_ticks(int ticks) { now += static_cast<std::uint64_t>(ticks) * kTickMs; }
};

struct Notice {
    std::uint32_t msg;
    std::uintptr_t wparam;
    std::intptr_t lparam;
};

class DispatcherTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(d.Open(), 0); }
    void TearDown() override { win::reset_thread_state_for_tests(); }
    // A procedure handler that records and reads `read` bytes of each avail notification.
    void RecordNotices(std::uint32_t read = 0) {
        d.AddProcedureHandler([this, read](std::uint32_t msg, std::uintptr_t w, std::intptr_t l) {
            notices.push_back({msg, w, l});
            if (msg == APW_TRIGGERAVAIL)
                for (std::uint32_t i = 0; i < std::min<std::uint32_t>(read, static_cast<std::uint32_t>(w));
                     ++i) {
                    char c;
                    ASSERT_EQ(d.TakeChar(c), 0);
                    taken.push_back(c);
                }
        });
    }
    void Receive(const std::string& bytes) {
        d.input += bytes;
        d.ReadIntoRing();
    }
    FakeDispatcher d;
    std::vector<Notice> notices;
    std::string taken;
};

// --- pure helpers ----------------------------------------------------------------------------

TEST(DispatcherHelpers, BaudCodesAndDrainTime) {
    EXPECT_EQ(BaudFromCode(0xFEFF), 115200);
    EXPECT_EQ(BaudFromCode(0xFF10), 110);
    EXPECT_EQ(BaudFromCode(0xFF16), 9600);
    EXPECT_EQ(BaudFromCode(0xFF1B), 38400);
    EXPECT_EQ(BaudFromCode(0xFF27), 256000);
    EXPECT_EQ(BaudFromCode(0xFF19), 0xFF19);  // a code without a rate stays as it is
    EXPECT_EQ(BaudFromCode(19200), 19200);
    EXPECT_EQ(TransmitDrainMs(9600, 8, comm::Parity::none, comm::StopBits::one), 19u);
    EXPECT_EQ(TransmitDrainMs(0, 8, comm::Parity::none, comm::StopBits::one),
              TransmitDrainMs(115200, 8, comm::Parity::none, comm::StopBits::one));  // no division by 0
    // Below 10,000 x 100 ns the time doubles: 115,200 baud, 10 bits: 86 x 10 x 18 = 15,480.
    EXPECT_EQ(TransmitDrainMs(115200, 8, comm::Parity::none, comm::StopBits::one), 2u);
}

TEST(DispatcherList, HandlesReuseTheFirstEmptySlotAndTrimTheEnd) {
    auto& dl = dispatcher_list();
    std::size_t before = dl.list.size();
    auto a = std::make_unique<FakeDispatcher>();
    auto b = std::make_unique<FakeDispatcher>();
    auto c = std::make_unique<FakeDispatcher>();
    EXPECT_EQ(b->Handle(), a->Handle() + 1);
    std::int32_t hb = b->Handle();
    b.reset();
    EXPECT_EQ(FindDispatcher(hb), nullptr);
    auto e = std::make_unique<FakeDispatcher>();
    EXPECT_EQ(e->Handle(), hb);
    EXPECT_EQ(FindDispatcher(hb), e.get());
    c.reset();
    e.reset();
    a.reset();
    EXPECT_EQ(dl.list.size(), before);
    EXPECT_EQ(FindDispatcher(-1), nullptr);
}

// --- ring and input --------------------------------------------------------------------------

TEST_F(DispatcherTest, FullRingReadsNothingMoreUntilACharacterIsTaken) {
    std::string data(kRingSize + 100, 'a');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
    Receive(data);
    EXPECT_TRUE(d.RingFull());
    EXPECT_EQ(d.InputCount(), kRingSize);
    EXPECT_EQ(d.input.size(), 100u);
    d.ReadIntoRing();
    EXPECT_EQ(d.input.size(), 100u);  // nothing more while full
    char c;
    ASSERT_EQ(d.TakeChar(c), 0);
    EXPECT_EQ(c, 'a');
    EXPECT_FALSE(d.RingFull());
    char peek;
    EXPECT_EQ(d.PeekInput(peek, kRingSize), ecBufferIsEmpty);  // one more than available
    EXPECT_EQ(d.PeekInput(peek, kRingSize - 1), 0);
    EXPECT_EQ(d.InputCount(), kRingSize - 1);
    d.ReadIntoRing();
    EXPECT_EQ(d.input.size(), 99u);  // one byte of room again
}

TEST_F(DispatcherTest, PeekBeyondTheAvailableMovesNothing) {
    Receive("xyz");
    char c = 0;
    EXPECT_EQ(d.PeekInput(c, 4), ecBufferIsEmpty);
    EXPECT_EQ(d.PeekInput(c, 3), 0);
    EXPECT_EQ(c, 'z');
    EXPECT_EQ(d.InputCount(), 3u);
    EXPECT_EQ(d.DiscardInput(), 0);
    EXPECT_EQ(d.InputCount(), 0u);
    EXPECT_EQ(d.TakeChar(c), ecBufferIsEmpty);
}

TEST_F(DispatcherTest, ReadsWrapAroundTheRingInTwoReads) {
    Receive(std::string(8000, 'p'));
    char c;
    for (int i = 0; i < 8000; ++i) ASSERT_EQ(d.TakeChar(c), 0);
    std::string more;
    for (int i = 0; i < 300; ++i) more.push_back(static_cast<char>(i));
    Receive(more);  // 192 bytes up to the end, then 108 from the start
    EXPECT_EQ(d.InputCount(), 300u);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(d.TakeChar(c), 0);
        EXPECT_EQ(static_cast<unsigned char>(c), static_cast<unsigned char>(i));
    }
}

// --- output ----------------------------------------------------------------------------------

TEST_F(DispatcherTest, QueueBlockOfExactlyTheFreeSpaceFillsTheBuffer) {
    std::string block(4096, 'q');
    EXPECT_EQ(d.QueueBlock(block.data(), 4000), 0);
    EXPECT_EQ(d.OutputFree(), 96u);
    EXPECT_EQ(d.QueueBlock(block.data(), 97), ecOutputBufferTooSmall);
    EXPECT_EQ(d.OutputFree(), 96u);  // nothing queued
    EXPECT_EQ(d.QueueBlock(block.data(), 96), 0);
    EXPECT_TRUE(d.OutFull());
    EXPECT_EQ(d.OutputUsed(), 4096u);
    EXPECT_EQ(d.OutputFree(), 0u);
    EXPECT_EQ(d.QueueBlock(block.data(), 0), 0);
    EXPECT_EQ(d.DiscardOutput(), 0);
    EXPECT_EQ(d.OutputUsed(), 0u);
}

TEST_F(DispatcherTest, Rs485OnTheOlderPlatformNeedsABaseAddress) {
    dispatcher_unit_state().nt_family = false;
    d.SetRS485(true);
    EXPECT_EQ(d.QueueBlock("x", 1), ecBaseAddressNotSet);
    reset_dispatcher_unit_state_for_tests();
    d.SetRS485(false);
    EXPECT_EQ(d.QueueBlock("x", 1), 0);
}

// --- line settings and flow ------------------------------------------------------------------

TEST_F(DispatcherTest, UnchangedLineSettingsWriteNothing) {
    int writes = d.state_writes;
    EXPECT_EQ(d.ApplyLineSettings(9600, 0, 8, 1), 0);
    EXPECT_EQ(d.ApplyLineSettings(kKeepBaud, kKeepParity, kKeepDataBits, kKeepStopBits), 0);
    EXPECT_EQ(d.state_writes, writes);
    EXPECT_EQ(d.ApplyLineSettings(38400, 2, 7, 2), 0);
    EXPECT_EQ(d.state_writes, writes + 1);
    EXPECT_EQ(d.device.baud, 38400u);
    EXPECT_EQ(d.device.parity, comm::Parity::even);
    EXPECT_EQ(d.device.data_bits, 7);
    EXPECT_EQ(d.device.stop_bits, comm::StopBits::two);
    EXPECT_EQ(d.LastBaud(), 38400);
    EXPECT_EQ(d.ApplyLineSettings(kKeepBaud, kKeepParity, 5, 2), 0);
    EXPECT_EQ(d.device.stop_bits, comm::StopBits::one_and_half);  // two stop bits with 5 data bits
}

TEST_F(DispatcherTest, SoftwareFlowLimitsAndSides) {
    EXPECT_EQ(d.ApplySoftwareFlow(3072, 1024, sfReceiveFlow | sfTransmitFlow), 0);
    EXPECT_EQ(d.device.xoff_limit, 1024);
    EXPECT_EQ(d.device.xon_limit, 1024);
    EXPECT_TRUE(d.device.xon_xoff_in);
    EXPECT_TRUE(d.device.xon_xoff_out);
    EXPECT_EQ(d.ApplySoftwareFlow(1024, 3072, sfReceiveFlow), ecBadArgument);
    EXPECT_EQ(d.ApplySoftwareFlow(5000, 1024, sfReceiveFlow), ecBadArgument);
    EXPECT_EQ(d.ApplySoftwareFlow(3072, 1024, sfReceiveFlow), 0);
    EXPECT_TRUE(d.device.xon_xoff_in);
    EXPECT_FALSE(d.device.xon_xoff_out);
    EXPECT_EQ(d.SoftwareFlowState(), fsOn);
    d.hold = fsXoffHold;
    EXPECT_EQ(d.SoftwareFlowState(), fsRemoteHoldState);
    d.hold = fsXoffSent;
    EXPECT_EQ(d.SoftwareFlowState(), fsLocalHoldState);
    d.hold = fsXoffSent | fsXoffHold;
    EXPECT_EQ(d.SoftwareFlowState(), fsBothHoldState);
    EXPECT_EQ(d.SoftwareFlowOff(), 0);
    EXPECT_EQ(d.SoftwareFlowState(), fsOff);
    EXPECT_EQ(d.SetFlowChars('A', 'B'), 0);
    EXPECT_EQ(d.device.xon_char, 'A');
}

TEST_F(DispatcherTest, HardwareFlowPutsTheLinesUnderControl) {
    EXPECT_EQ(d.HardwareFlowState(), fsOff);
    EXPECT_EQ(d.ApplyHardwareFlow(3686, 409, hfUseDTR | hfRequireCTS), 0);
    EXPECT_EQ(d.device.dtr_control, comm::DtrControl::handshake);
    EXPECT_TRUE(d.device.cts_output_flow);
    EXPECT_EQ(d.device.xoff_limit, 4096 - 3686);
    EXPECT_TRUE(d.DTRUnderFlow());
    EXPECT_EQ(d.SetDTRLine(false), 1);  // under flow control: nothing done
    EXPECT_EQ(d.HardwareFlowState(), fsOn);
    d.hold = fsCtsHold;
    EXPECT_EQ(d.HardwareFlowState(), fsCtsHoldState);
    EXPECT_EQ(d.ApplyHardwareFlow(100, 200, hfUseRTS), ecBadArgument);
    // Without hardware flow the limits do not matter.
    EXPECT_EQ(d.ApplyHardwareFlow(9000, 1, 0), 0);
    EXPECT_FALSE(d.DTRUnderFlow());
    EXPECT_EQ(d.HardwareFlowState(), fsOff);
}

TEST_F(DispatcherTest, FailedEscapesAreReported) {
    d.escapes_failing = 1;
    EXPECT_EQ(d.SetDTRLine(false), ecBadArgument);
    EXPECT_TRUE(d.DTRState());  // the level stays what the line has
    d.escapes_failing = 0;
    EXPECT_EQ(d.SetRTSLine(false), 0);
    EXPECT_FALSE(d.RTSState());
}

TEST_F(DispatcherTest, LineErrorsAreTakenInOrderAndTheBreakSeparately) {
    d.pending_errors = leFraming | leBreak;
    d.RefreshLineStatus();
    EXPECT_EQ(d.TakeLineError(), leFramingKind);
    EXPECT_EQ(d.LastLineErrors(), leBreak);
    EXPECT_TRUE(d.TakeLineBreak());
    EXPECT_FALSE(d.TakeLineBreak());
    d.pending_errors = leOverrun | leParity;
    d.RefreshLineStatus();
    EXPECT_EQ(d.TakeLineError(), leOverrunKind);
    EXPECT_EQ(d.TakeLineError(), leNoError);
    d.pending_errors = leBreak;
    d.RefreshLineStatus();
    EXPECT_EQ(d.TakeLineError(), leBreakKind);
}

// --- trigger handles and timers ---------------------------------------------------------------

TEST_F(DispatcherTest, TriggerHandlesAreMultiplesOfEightUntilTheSpaceIsUsed) {
    EXPECT_EQ(d.AllocTimerTrigger(), 8);
    EXPECT_EQ(d.AllocTimerTrigger(), 16);
    for (int i = 2; i < 4095; ++i) ASSERT_GT(d.AllocTimerTrigger(), 0);
    EXPECT_EQ(d.TimerTriggers().back().tHandle, 32760);
    EXPECT_EQ(d.AllocTimerTrigger(), ecNoMoreTriggers);  // 8 .. 4096 are all in use
    EXPECT_EQ(d.FindTrigger(40, true), ttTimer);
    EXPECT_EQ(d.FindTrigger(40, false), ecBadTriggerHandle);
    EXPECT_EQ(d.AllocTimerTrigger(), 40);  // the smallest free one
    EXPECT_EQ(d.FindTrigger(1, false), ecBadTriggerHandle);
    d.RemoveAllTriggers();
    EXPECT_EQ(d.AllocTimerTrigger(), 8);
}

TEST_F(DispatcherTest, TimerTriggersFireOncePerArming) {
    FakeClock clock;
    RecordNotices();
    std::int32_t h = d.AllocTimerTrigger();
    EXPECT_EQ(d.StartTimerTrigger(h + 8, 1, true), ecBadTriggerHandle);
    EXPECT_EQ(d.StartTimerTrigger(h, 0, true), 0);  // 0 ticks on the first arming
    EXPECT_FALSE(d.ScanTimerTriggers());            // the tick count has not moved yet
    clock.advance_ticks(1);
    EXPECT_TRUE(d.ScanTimerTriggers());
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].msg, APW_TRIGGERTIMER);
    EXPECT_EQ(notices[0].wparam, static_cast<std::uintptr_t>(h));
    EXPECT_EQ(notices[0].lparam >> 16, d.Handle());
    EXPECT_FALSE(d.ScanTimerTriggers());  // one-shot
    EXPECT_EQ(d.StartTimerTrigger(h, 3, true), 0);
    clock.advance_ticks(3);
    EXPECT_FALSE(d.ScanTimerTriggers());  // expires after n + 1 tick changes
    clock.advance_ticks(1);
    EXPECT_TRUE(d.ScanTimerTriggers());
    EXPECT_EQ(d.StartTimerTrigger(h, 0, true), 0);  // reuses the 3 ticks
    EXPECT_EQ(d.TimerTriggers()[0].tTicks, 3);
    clock.advance_ticks(4);
    EXPECT_EQ(d.StartTimerTrigger(h, 0, false), 0);
    EXPECT_FALSE(d.ScanTimerTriggers());  // disarmed
    EXPECT_EQ(notices.size(), 2u);
}

TEST_F(DispatcherTest, TheDispatchWaitEndsWhenTheEarliestArmedTimerExpires) {
    FakeClock clock;  // 1,000,000 ms: tick 18181, which began at 999,955
    RecordNotices();
    std::int32_t slow = d.AllocTimerTrigger();
    std::int32_t fast = d.AllocTimerTrigger();
    EXPECT_EQ(d.MsUntilNextTimer(50), 50u);  // nothing armed: the pass limit
    EXPECT_EQ(d.StartTimerTrigger(slow, 3, true), 0);
    EXPECT_EQ(d.timer_wakes, 1);
    EXPECT_EQ(d.MsUntilNextTimer(1000), 175u);  // expires as tick 18185 begins, at 1,000,175
    EXPECT_EQ(d.MsUntilNextTimer(50), 50u);
    EXPECT_EQ(d.StartTimerTrigger(fast, 1, true), 0);
    EXPECT_EQ(d.MsUntilNextTimer(1000), 65u);
    EXPECT_EQ(d.StartTimerTrigger(fast, 1, false), 0);  // disarmed: no longer counts
    EXPECT_EQ(d.MsUntilNextTimer(1000), 175u);
    clock.now += 174;
    EXPECT_EQ(d.MsUntilNextTimer(1000), 1u);
    EXPECT_FALSE(d.ScanTimerTriggers());
    clock.now += 1;
    EXPECT_EQ(d.MsUntilNextTimer(1000), 0u);
    EXPECT_TRUE(d.ScanTimerTriggers());
    EXPECT_EQ(d.MsUntilNextTimer(1000), 1000u);  // fired: nothing armed any more
    EXPECT_EQ(notices.size(), 1u);
}

TEST_F(DispatcherTest, OnlyAnArmingThatExpiresBeforeThePlannedWaitEndsWakesTheDispatchThread) {
    FakeClock clock;  // 1,000,000 ms: the next tick begins at 1,000,010
    std::int32_t h = d.AllocTimerTrigger();
    std::int32_t quick = d.AllocTimerTrigger();  // never armed: its first arming may be 0 ticks
    EXPECT_EQ(d.StartTimerTrigger(h, 3, true), 0);
    EXPECT_EQ(d.timer_wakes, 1);  // no wait planned yet
    EXPECT_EQ(d.PlanDispatchWait(clock.now + 50, true),
              clock.now + 50);                      // the pass first (the timer: 175 ms)
    EXPECT_EQ(d.StartTimerTrigger(h, 1, true), 0);  // 65 ms: after the wait's end
    EXPECT_EQ(d.timer_wakes, 1);
    EXPECT_EQ(d.StartTimerTrigger(quick, 0, true), 0);  // 10 ms: before it
    EXPECT_EQ(d.timer_wakes, 2);
    EXPECT_EQ(d.PlanDispatchWait(clock.now + 50, true), clock.now + 10);
    EXPECT_EQ(d.PlanDispatchWait(clock.now + 50, false),
              clock.now + 50);  // timers left out (one was not taken)
    EXPECT_EQ(d.StartTimerTrigger(quick, 0, true), 0);
    EXPECT_EQ(d.timer_wakes, 3);
    EXPECT_EQ(d.StartTimerTrigger(quick, 0, false), 0);  // disarming never wakes
    EXPECT_EQ(d.timer_wakes, 3);
    // Between waits (a pass, a notification) the thread plans with every arming by itself.
    d.EndDispatchWait();
    EXPECT_EQ(d.StartTimerTrigger(quick, 0, true), 0);
    EXPECT_EQ(d.timer_wakes, 3);
    EXPECT_EQ(d.PlanDispatchWait(clock.now + 1000, true), clock.now + 10);
}

TEST_F(DispatcherTest, TriggerSetsSurviveSaveAndRestore) {
    FakeClock clock;
    std::int32_t h = d.AllocTimerTrigger();
    d.StartTimerTrigger(h, 7, true);
    d.ChangeAvailThreshold(1);
    std::int32_t data = d.AddDataTrigger("OK", false);
    std::int32_t status = d.AddStatusTrigger(stOutSent);
    TTriggerSave save;
    d.SaveTriggerSet(save);
    d.RemoveAllTriggers();
    EXPECT_TRUE(d.TimerTriggers().empty());
    FakeDispatcher other;
    ASSERT_EQ(other.Open(), 0);
    other.RestoreTriggerSet(save);
    ASSERT_EQ(other.TimerTriggers().size(), 1u);
    EXPECT_EQ(other.TimerTriggers()[0].tHandle, h);
    EXPECT_EQ(other.TimerTriggers()[0].tTicks, 7);
    EXPECT_TRUE(other.TimerTriggers()[0].tActive);
    EXPECT_EQ(other.AvailThreshold(), 1u);
    EXPECT_EQ(other.FindTrigger(data, false), ttData);
    EXPECT_EQ(other.FindTrigger(status, false), ttStatus);
    EXPECT_EQ(status & 7, stOutSent);
    TSpBaseDispatcher::FreeTriggerSet(save);
    EXPECT_TRUE(save.tsTimerTriggers.empty());
}

// --- avail notifications and look-ahead --------------------------------------------------------

TEST_F(DispatcherTest, OneAvailPerArrivalCarryingTheWholeCount) {
    RecordNotices(3);
    d.ChangeAvailThreshold(1);
    Receive("abcde");
    EXPECT_FALSE(d.ScanDataTriggers());  // the handler read 3 of 5
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].msg, APW_TRIGGERAVAIL);
    EXPECT_EQ(notices[0].wparam, 5u);
    EXPECT_EQ(taken, "abc");
    EXPECT_EQ(d.InputCount(), 2u);
    EXPECT_FALSE(d.ScanDataTriggers());  // nothing new: no notification
    EXPECT_EQ(notices.size(), 1u);
    Receive("f");
    d.ScanDataTriggers();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1].wparam, 3u);
    EXPECT_EQ(taken, "abcdef");
}

TEST_F(DispatcherTest, TheDeviceIsToldHowManyBytesTheNextAvailNeeds) {
    RecordNotices(100);
    d.ChangeAvailThreshold(9);
    EXPECT_EQ(d.levels, std::vector<std::uint32_t>{9});
    Receive("abcd");
    EXPECT_FALSE(d.ScanDataTriggers());  // 4 of 9
    d.UpdateReceiveLevel();
    EXPECT_EQ(d.levels.back(), 5u);
    Receive("efghi");
    EXPECT_TRUE(d.ScanDataTriggers());
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].wparam, 9u);
    d.UpdateReceiveLevel();  // all taken: a whole threshold again
    EXPECT_EQ(d.levels.back(), 9u);
    const std::size_t calls = d.levels.size();
    d.UpdateReceiveLevel();
    EXPECT_EQ(d.levels.size(), calls);  // unchanged: the device is not asked again
    // Data triggers look at every byte; so does a threshold of 1 or 0.
    std::int32_t data = d.AddDataTrigger("OK", false);
    EXPECT_EQ(d.levels.back(), 1u);
    d.RemoveTrigger(data);
    EXPECT_EQ(d.levels.back(), 9u);
    d.ChangeAvailThreshold(1);
    EXPECT_EQ(d.levels.back(), 1u);
    d.ChangeAvailThreshold(7);
    d.RemoveAllTriggers();
    EXPECT_EQ(d.levels.back(), 1u);
}

TEST_F(DispatcherTest, ThresholdZeroGivesNoAvailNotifications) {
    RecordNotices(10);
    Receive("abc");
    EXPECT_FALSE(d.ScanDataTriggers());
    EXPECT_TRUE(notices.empty());
}

TEST_F(DispatcherTest, TwoWindowHandlersMoveTheReadIndexByTheLargerLookAhead) {
    std::string first, second;
    auto reader = [this](std::string& into, int n) {
        return [this, &into, n](win::Handle, std::uint32_t msg, win::WParam, win::LParam) -> win::Result {
            if (msg != APW_TRIGGERAVAIL) return 0;
            for (int i = 0; i < n; ++i) {
                char c;
                if (d.TakeChar(c) == 0) into.push_back(c);
            }
            return 0;
        };
    };
    win::Handle a = win::create_window("TestHandler", 0, reader(first, 2));
    win::Handle b = win::create_window("TestHandler", 0, reader(second, 4));
    d.AddWindowHandler(a);
    d.AddWindowHandler(b);  // two windows: notified without the port handler
    d.ChangeAvailThreshold(1);
    Receive("123456");
    d.ScanDataTriggers();
    EXPECT_EQ(first, "12");
    EXPECT_EQ(second, "1234");  // each handler reads the same bytes from the start
    EXPECT_EQ(d.InputCount(), 2u);
    char c;
    ASSERT_EQ(d.TakeChar(c), 0);
    EXPECT_EQ(c, '5');
}

TEST_F(DispatcherTest, OneWindowWithoutThePortHandlerIsNotNotified) {
    int calls = 0;
    win::Handle a =
        win::create_window("TestHandler", 0, [&](win::Handle, std::uint32_t msg, win::WParam, win::LParam) {
            if (msg == APW_TRIGGERAVAIL) ++calls;
            return win::Result{0};
        });
    d.AddWindowHandler(a);
    d.ChangeAvailThreshold(1);
    Receive("x");
    d.ScanDataTriggers();
    EXPECT_EQ(calls, 0);
    d.UpdateHandlerService(hsPortHandlerInstalled);
    Receive("y");
    d.ScanDataTriggers();
    EXPECT_EQ(calls, 1);
    d.UpdateHandlerService(hsPortHandlerRemoved);
    EXPECT_FALSE(d.HandlerServiceNeeded());
}

TEST_F(DispatcherTest, AWindowHandlerRemovedDuringANotificationIsFreedAfterIt) {
    std::size_t during = 0;
    win::Handle a = 0;
    a = win::create_window("TestHandler", 0, [&](win::Handle, std::uint32_t msg, win::WParam, win::LParam) {
        if (msg == APW_TRIGGERAVAIL) {
            d.RemoveWindowHandler(a);
            during = d.WindowHandlerCount();
        }
        return win::Result{0};
    });
    d.AddWindowHandler(a);
    d.UpdateHandlerService(hsPortHandlerInstalled);
    d.ChangeAvailThreshold(1);
    Receive("x");
    d.ScanDataTriggers();
    EXPECT_EQ(during, 1u);  // only marked while the notification was out
    EXPECT_EQ(d.WindowHandlerCount(), 0u);
}

TEST_F(DispatcherTest, DiscardDuringAnAvailNotificationSkipsEverything) {
    d.AddProcedureHandler([&](std::uint32_t msg, std::uintptr_t, std::intptr_t) {
        if (msg != APW_TRIGGERAVAIL) return;
        char c;
        d.TakeChar(c);
        d.DiscardInput();
        EXPECT_EQ(d.TakeChar(c), ecBufferIsEmpty);  // discarded bytes are not read afterwards
        EXPECT_EQ(d.InputCount(), 0u);
    });
    d.ChangeAvailThreshold(1);
    Receive("abcdef");
    d.ScanDataTriggers();
    EXPECT_EQ(d.InputCount(), 0u);
}

TEST_F(DispatcherTest, DataTriggersFireAfterTheAvailOfTheBytesBeforeThem) {
    RecordNotices(0);
    d.ChangeAvailThreshold(1);
    std::int32_t h = d.AddDataTrigger("ok", true);
    EXPECT_EQ(d.AddDataTrigger("", false), ecTriggerTooLong);
    EXPECT_EQ(d.AddDataTrigger(std::string(22, 'x'), false), ecTriggerTooLong);
    Receive("xxOK!");
    while (d.ScanDataTriggers()) {
    }
    d.ScanDataTriggers();
    ASSERT_GE(notices.size(), 3u);
    EXPECT_EQ(notices[0].msg, APW_TRIGGERAVAIL);
    EXPECT_EQ(notices[0].wparam, 2u);  // "xx": through the match, less the string
    EXPECT_EQ(notices[1].msg, APW_TRIGGERDATA);
    EXPECT_EQ(notices[1].wparam, static_cast<std::uintptr_t>(h));
    EXPECT_EQ(notices[1].lparam & 0xFFFF, 2);
    EXPECT_EQ(notices[2].msg, APW_TRIGGERAVAIL);
    EXPECT_EQ(notices[2].wparam, 5u);  // the handler read nothing: the whole count
}

TEST_F(DispatcherTest, OverlappingDataMatchesAreFound) {
    RecordNotices(0);
    std::int32_t h = d.AddDataTrigger("aab", false);
    Receive("aaab");
    while (d.ScanDataTriggers()) {
    }
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].msg, APW_TRIGGERDATA);
    EXPECT_EQ(notices[0].wparam, static_cast<std::uintptr_t>(h));
}

TEST_F(DispatcherTest, PassesEvery50MsAreNeededOnlyWhileSomethingCanChangeWithoutADeviceEvent) {
    EXPECT_FALSE(d.PassesNeeded());
    // An armed status trigger: its condition can turn true without a device event.
    std::int32_t sent = d.AddStatusTrigger(stOutSent);
    EXPECT_FALSE(d.PassesNeeded());
    const int wakes = d.timer_wakes;
    d.SetStatusTrigger(sent, 0, true);
    EXPECT_TRUE(d.PassesNeeded());
    EXPECT_EQ(d.timer_wakes, wakes + 1);  // the dispatch thread plans its wait anew
    d.SetStatusTrigger(sent, 0, false);
    EXPECT_FALSE(d.PassesNeeded());
    // Bytes the ring had no room for.
    Receive(std::string(kRingSize + 10, 'x'));
    EXPECT_TRUE(d.PassesNeeded());
    d.DiscardInput();
    EXPECT_FALSE(d.PassesNeeded());
    // Bytes announced to nobody: the window went before it could take them.
    win::Handle gone = win::create_window(
        "TestHandler", 0,
        [](win::Handle, std::uint32_t, win::WParam, win::LParam) { return win::Result{0}; });
    d.AddWindowHandler(gone);
    d.UpdateHandlerService(hsPortHandlerInstalled);
    d.ChangeAvailThreshold(1);
    win::destroy_window(gone);
    Receive("abc");
    d.ScanDataTriggers();
    EXPECT_TRUE(d.PassesNeeded());
    d.DiscardInput();
    EXPECT_FALSE(d.PassesNeeded());
}

TEST_F(DispatcherTest, StatusTriggersFireOnceEach) {
    RecordNotices();
    std::int32_t sent = d.AddStatusTrigger(stOutSent);
    std::int32_t free_trigger = d.AddStatusTrigger(stOutBuffFree);
    std::int32_t used = d.AddStatusTrigger(stOutBuffUsed);
    std::int32_t line = d.AddStatusTrigger(stLine);
    EXPECT_EQ(d.AddStatusTrigger(9), ecBadArgument);
    EXPECT_EQ(d.SetStatusTrigger(sent + 8, 0, true), ecBadTriggerHandle);
    d.SetStatusTrigger(sent, 0, true);
    d.SetStatusTrigger(free_trigger, 4000, true);
    d.SetStatusTrigger(line, leFraming, true);
    EXPECT_EQ(d.QueueBlock("0123456789", 10), 0);
    EXPECT_TRUE(d.ScanStatusTriggers());  // output sent
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].wparam, static_cast<std::uintptr_t>(sent));
    EXPECT_TRUE(d.ScanStatusTriggers());  // 4086 free >= 4000
    EXPECT_EQ(notices[1].wparam, static_cast<std::uintptr_t>(free_trigger));
    EXPECT_EQ(notices[1].lparam & 0xFFFF, 4086);
    EXPECT_FALSE(d.ScanStatusTriggers());
    d.ClearStatusHits();
    d.SetStatusTrigger(used, 5, true);
    EXPECT_FALSE(d.ScanStatusTriggers());  // 10 used > 5
    d.DiscardOutput();
    EXPECT_TRUE(d.ScanStatusTriggers());
    EXPECT_EQ(notices.back().wparam, static_cast<std::uintptr_t>(used));
    d.pending_errors = leFraming;
    d.RefreshLineStatus();
    EXPECT_TRUE(d.ScanStatusTriggers());
    EXPECT_EQ(notices.back().wparam, static_cast<std::uintptr_t>(line));
    EXPECT_EQ(d.RemoveTrigger(line), 0);
    EXPECT_EQ(d.RemoveTrigger(line), ecBadTriggerHandle);
}

TEST_F(DispatcherTest, ACloseFromInsideANotificationIsDeferred) {
    bool deferred = false;
    d.AddProcedureHandler([&](std::uint32_t, std::uintptr_t, std::intptr_t) { deferred = d.CloseLine(); });
    std::int32_t h = d.AllocTimerTrigger();
    d.StartTimerTrigger(h, 1, true);
    EXPECT_FALSE(d.NotifyHandlers(APW_TRIGGERTIMER, static_cast<std::uintptr_t>(h), 0));
    EXPECT_TRUE(deferred);
    EXPECT_TRUE(d.CloseRequested());
    EXPECT_FALSE(d.Notifying());
}

TEST_F(DispatcherTest, EventHandlersRunDirectlyOrSynchronisedOnTheAddingThread) {
    auto main = platform::kernel::current_thread_id();
    platform::kernel::ThreadId plain_on = 0, sync_on = 0;
    d.AddEventHandler([&](void*, std::uint32_t, std::uintptr_t,
                          std::intptr_t) { plain_on = platform::kernel::current_thread_id(); },
                      nullptr, false);
    int user = 42;
    void* seen = nullptr;
    d.AddEventHandler(
        [&](void* u, std::uint32_t, std::uintptr_t, std::intptr_t) {
            sync_on = platform::kernel::current_thread_id();
            seen = u;
        },
        &user, true);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        d.NotifyHandlers(APW_TRIGGERTIMER, 8, 0);
        done = true;
    });
    EXPECT_TRUE(zor_testing::pump_until([&] { return done.load(); }));
    worker.join();
    EXPECT_NE(plain_on, main);
    EXPECT_EQ(sync_on, main);
    EXPECT_EQ(seen, &user);
}

TEST_F(DispatcherTest, DispatchLogRecordsTriggerWork) {
    ASSERT_EQ(d.InitDispatchLogging(4096), 0);
    std::int32_t h = d.AllocTimerTrigger();
    d.StartTimerTrigger(h, 2, true);
    d.StartTimerTrigger(h, 0, false);
    d.ChangeAvailThreshold(1);
    d.QueueBlock("AB", 2);
    auto entries = d.LogEntries();
    ASSERT_GE(entries.size(), 5u);
    EXPECT_EQ(entries[0].type, dtTriggerAlloc);
    EXPECT_EQ(entries[0].subtype, dstTimerTrigger);
    EXPECT_EQ(entries[2].bytes.size(), 11u);  // "Deactivated"
    EXPECT_EQ(entries[3].subtype, dstAvailTrigger);
    EXPECT_EQ(entries[4].type, dtDispatch);
    EXPECT_EQ(entries[4].subtype, dstWriteCom);
    ASSERT_EQ(d.InitTracing(10), 0);
    d.QueueBlock("C", 1);
    EXPECT_TRUE(d.TracingOn());
    d.AbortTracing();
    d.AbortDispatchLogging();
    EXPECT_FALSE(d.LoggingOn());
    EXPECT_EQ(d.InitTracing(kMaxTraceEntries + 1), ecBadArgument);
}

}  // namespace
}  // namespace serial
