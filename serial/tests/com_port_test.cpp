// The serial port component over real pseudo-terminal pairs: open and settings, data both ways,
// flow control, timers, triggers, closes (also from inside handlers and with a stuck main
// thread), the far end vanishing, port users and the property rules.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "platform/comm/test_hooks.h"
#include "platform/testing/message_loop.h"
#include "platform/testing/pty_pair.h"
#include "platform/testing/unprivileged_child.h"
#include "serial/com_port.h"
#include "serial/errors.h"
#include "serial/exceptions.h"
#include "serial/win32_dispatcher.h"

namespace serial {
namespace {

namespace comm = platform::comm;
namespace kernel = platform::kernel;
namespace win = platform::window;
using namespace std::chrono_literals;
using zor_testing::PtyPair;
using zor_testing::pump_for;
using zor_testing::pump_until;

std::string Message(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return x.what();
    } catch (...) {
        return "?";
    }
}

class PortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_com_port_unit_state_for_tests();
        com_port_unit_state().application_exception_handler = [this](std::exception_ptr e) {
            errors.push_back(Message(e));
        };
        ASSERT_TRUE(pty.ok());
    }
    void TearDown() override {
        comm::test::close_all_devices();
        win::reset_thread_state_for_tests();
        reset_com_port_unit_state_for_tests();
    }
    // The core's settings for its port.
    static void Configure(TSpComPort& port, int com) {
        port.SetComNumber(static_cast<std::uint16_t>(com));
        port.SetBaud(9600);
        port.SetAutoOpen(false);
        port.SetDTR(false);
        port.SetRTS(false);
        port.SetSWFlowOptions(swfBoth);
    }
    static std::string DeviceName(int com) { return "\\\\.\\COM" + std::to_string(com); }

    static constexpr int kCom = 7;
    PtyPair pty{kCom};
    std::vector<std::string> errors;
};

// --- opening ---------------------------------------------------------------------------------

TEST_F(PortTest, OpensWithTheSettingsApplied) {
    TSpComPort port;
    Configure(port, kCom);
    EXPECT_EQ(port.BufferFull(), 3072);
    EXPECT_EQ(port.BufferResume(), 1024);
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.PortState(), psOpen);
    ASSERT_NE(port.Dispatcher(), nullptr);
    EXPECT_EQ(port.Dispatcher()->DeviceName(), "COM7");
    EXPECT_NE(port.NotifyWindow(), 0u);
    EXPECT_EQ(win::class_name(port.NotifyWindow()), kComWindowClass);
    EXPECT_EQ(pty.slave_speed(), B9600);
    TDCB dcb = port.Dispatcher()->DeviceStateCopy();
    EXPECT_TRUE(dcb.xon_xoff_in);
    EXPECT_TRUE(dcb.xon_xoff_out);
    EXPECT_EQ(dcb.xoff_limit, 4096 - 3072);
    EXPECT_EQ(dcb.xon_limit, 1024);
    EXPECT_EQ(dcb.data_bits, 8);
    EXPECT_EQ(port.FlowHoldState(), 1);  // software flow on, not holding
    port.SetBaud(38400);
    EXPECT_EQ(pty.slave_speed(), B38400);
    EXPECT_EQ(port.Dispatcher()->LastBaud(), 38400);
    auto lines = comm::test::output_lines(DeviceName(kCom));
    ASSERT_TRUE(lines.has_value());
    EXPECT_FALSE(lines->dtr);
    EXPECT_FALSE(lines->rts);
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.Dispatcher(), nullptr);
}

TEST_F(PortTest, OpeningAHeldPortFailsWithEAlreadyOpen) {
    TSpComPort first;
    Configure(first, kCom);
    first.SetOpen(true);
    TSpComPort second;
    Configure(second, kCom);
    EXPECT_THROW(second.SetOpen(true), EAlreadyOpen);
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(second.Dispatcher(), nullptr);
    EXPECT_EQ(second.PortState(), psClosed);
    first.SetOpen(false);
    second.SetOpen(true);  // free again
    EXPECT_TRUE(second.Open());
}

TEST_F(PortTest, ADeviceThisUserMayNotOpenGivesEPermissionDeniedWithTheSystemsReasonAndPath) {
    ASSERT_EQ(::chmod(pty.slave_path().c_str(), 0), 0);
    const std::string got = zor_testing::in_unprivileged_child([] {
        TSpComPort port;
        Configure(port, kCom);
        try {
            port.SetOpen(true);
            return std::string("opened");
        } catch (const EPermissionDenied& e) {
            return std::to_string(e.ErrorCode) + "|" + e.what();
        } catch (const std::exception& e) {
            return std::string("other: ") + e.what();
        }
    });
    ::chmod(pty.slave_path().c_str(), 0620);
    EXPECT_EQ(got, std::to_string(ecPermissionDenied) + "|ie_Open - permission denied: open " +
                       pty.slave_path() + ": Permission denied");
}

TEST_F(PortTest, ANumberWithoutADeviceGivesEBadId) {
    ::setenv("ZOR_COM9", "/dev/pts/zor-no-such-device", 1);
    TSpComPort port;
    Configure(port, 9);
    try {
        port.SetOpen(true);
        FAIL() << "opened a missing device";
    } catch (const EBadId& e) {
        EXPECT_EQ(e.ErrorCode, ecBadId);
        EXPECT_STREQ(e.what(), "ie_BadId - Specified comport doesn't exist");
    }
    EXPECT_EQ(port.Dispatcher(), nullptr);
    ::unsetenv("ZOR_COM9");
}

TEST_F(PortTest, PortZeroWithoutPromptGivesENoPortSelected) {
    TSpComPort port;
    port.SetPromptForPort(false);
    EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
    EXPECT_EQ(port.Dispatcher(), nullptr);
    EXPECT_FALSE(port.Open());
}

TEST_F(PortTest, UsingAClosedPortRaisesOrOpensIt) {
    TSpComPort port;
    Configure(port, kCom);
    EXPECT_THROW(port.ReadChar(), ECommNotOpen);
    EXPECT_THROW(port.WriteText("x"), ECommNotOpen);
    EXPECT_THROW(port.ClearInput(), ECommNotOpen);
    port.SetAutoOpen(true);
    port.ClearInput();  // opens first
    EXPECT_TRUE(port.Open());
    EXPECT_THROW(port.ReadChar(), EBufferIsEmpty);
}

// --- data ------------------------------------------------------------------------------------

TEST_F(PortTest, WrittenTextArrivesAtTheFarEnd) {
    TSpComPort port;
    Configure(port, kCom);
    port.SetOpen(true);
    port.WriteText("GET_STAT\r");
    EXPECT_EQ(pty.read_exactly(9), "GET_STAT\r");
    std::string big(4000, 'w');
    port.WriteText(big);
    EXPECT_EQ(pty.read_exactly(4000).size(), 4000u);
    EXPECT_THROW(port.WriteText(std::string(5000, 'x')), EOutputBufferTooSmall);
}

TEST_F(PortTest, BurstsFromTheFarEndArriveInOrderOnTheMainThread) {
    TSpComPort port;
    Configure(port, kCom);
    std::string received;
    bool off_main = false;
    auto main = kernel::current_thread_id();
    std::vector<std::uint16_t> counts;
    port.SetOnTriggerAvail([&](TSpCustomComPort& cp, std::uint16_t count) {
        if (kernel::current_thread_id() != main) off_main = true;
        counts.push_back(count);
        for (unsigned i = 0; i < count; ++i) received.push_back(cp.ReadChar());
    });
    port.SetOpen(true);

    // Bytes 0..255 except the two flow characters, in bursts of 1 to 8,192.
    std::mt19937 rng(7);
    std::string sent;
    const std::size_t sizes[] = {1,    2,    3,    17,   64,   255, 256,  257, 1000,
                                 4095, 4096, 4097, 8191, 8192, 1,   8192, 33};
    std::vector<std::string> bursts;
    for (std::size_t size : sizes) {
        std::string burst;
        while (burst.size() < size) {
            char c = static_cast<char>(rng() & 0xFF);
            if (c == 17 || c == 19) continue;
            burst.push_back(c);
        }
        bursts.push_back(burst);
        sent += burst;
    }
    std::atomic<bool> writer_ok{true};
    std::thread writer([&] {
        for (auto& burst : bursts)
            if (!pty.write_all(burst, 20s)) writer_ok = false;
    });
    bool all = pump_until([&] { return received.size() >= sent.size(); }, 30s);
    writer.join();
    EXPECT_TRUE(writer_ok.load());
    ASSERT_TRUE(all) << received.size() << " of " << sent.size();
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent) << "bytes out of order or changed";
    EXPECT_FALSE(off_main);
    for (auto c : counts) EXPECT_LE(c, kRingSize);
    pump_for(100ms);
    EXPECT_EQ(received.size(), sent.size());  // nothing twice
}

TEST_F(PortTest, AHandlerThatLeavesBytesUnreadGetsThemWithTheNextArrival) {
    TSpComPort port;
    Configure(port, kCom);
    std::vector<std::uint16_t> counts;
    std::string got;
    port.SetOnTriggerAvail([&](TSpCustomComPort& cp, std::uint16_t count) {
        counts.push_back(count);
        got.push_back(cp.ReadChar());  // one only
    });
    port.SetOpen(true);
    pty.write_all("abcde");
    ASSERT_TRUE(pump_until([&] { return !counts.empty(); }));
    pump_for(200ms);  // every arrival gives one notification, and nothing comes without one
    std::size_t k = counts.size();
    ASSERT_LE(k, 5u);
    EXPECT_EQ(counts.back(), 5 - (k - 1));
    pty.write_all("f");
    ASSERT_TRUE(pump_until([&] { return counts.size() == k + 1; }));
    EXPECT_EQ(counts.back(), 6 - k);  // the bytes left unread, with the new one
    EXPECT_EQ(got, std::string("abcdef").substr(0, k + 1));
}

TEST_F(PortTest, OnTriggerSeesEveryNotification) {
    TSpComPort port;
    Configure(port, kCom);
    std::vector<std::array<std::uint16_t, 3>> seen;
    port.SetOnTrigger([&](TSpCustomComPort& cp, std::uint16_t msg, std::uint16_t handle, std::uint16_t data) {
        seen.push_back({msg, handle, data});
        if (msg == APW_TRIGGERAVAIL)
            for (unsigned i = 0; i < handle; ++i) cp.ReadChar();
    });
    port.SetOpen(true);
    std::uint16_t t = port.NewTimerTrigger();
    port.ArmTimerTrigger(t, 1, true);
    pty.write_all("xyz");
    ASSERT_TRUE(pump_until([&] { return seen.size() >= 2; }));
    bool avail = false, timer = false;
    for (auto& s : seen) {
        if (s[0] == APW_TRIGGERAVAIL) {
            avail = true;
            EXPECT_EQ(s[1], s[2]);  // both carry the count
        }
        if (s[0] == APW_TRIGGERTIMER) {
            timer = true;
            EXPECT_EQ(s[1], t);
        }
    }
    EXPECT_TRUE(avail);
    EXPECT_TRUE(timer);
}

// --- flow control ------------------------------------------------------------------------------

TEST_F(PortTest, XoffHoldsOutputAndXonResumesIt) {
    TSpComPort port;
    Configure(port, kCom);
    port.SetOpen(true);
    pty.write_all(std::string(1, '\x13'));
    ASSERT_TRUE(pump_until([&] { return port.FlowHoldState() == 5; }));
    port.WriteText("held back");
    EXPECT_EQ(pty.read_available(200ms), "");
    pty.write_all(std::string(1, '\x11'));
    ASSERT_TRUE(pump_until([&] { return port.FlowHoldState() == 1; }));
    EXPECT_EQ(pty.read_exactly(9), "held back");
}

TEST_F(PortTest, ARateChangeWhileOutputIsHeldByXoffDoesNotWaitForTheHold) {
    TSpComPort port;
    Configure(port, kCom);
    port.SetOpen(true);
    pty.write_all(std::string(1, '\x13'));
    ASSERT_TRUE(pump_until([&] { return port.FlowHoldState() == 5; }));
    port.WriteText("held back");
    const auto start = std::chrono::steady_clock::now();
    port.SetBaud(38400);
    // A drain that waited for the hold would take its full ten seconds; half of that is far
    // beyond any scheduling delay.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(pty.slave_speed(), B38400);
    pty.write_all(std::string(1, '\x11'));
    EXPECT_EQ(pty.read_exactly(9), "held back");
}

TEST_F(PortTest, SoftwareFlowOffReleasesAHold) {
    TSpComPort port;
    Configure(port, kCom);
    port.SetOpen(true);
    pty.write_all(std::string(1, '\x13'));
    ASSERT_TRUE(pump_until([&] { return port.FlowHoldState() == 5; }));
    port.WriteText("go");
    port.SetSWFlowOptions(swfNone);
    EXPECT_EQ(port.FlowHoldState(), 0);
    EXPECT_EQ(pty.read_exactly(2), "go");
}

// --- timers ----------------------------------------------------------------------------------

TEST_F(PortTest, TimerTriggersFireWithoutAnyDeviceTraffic) {
    TSpComPort port;
    Configure(port, kCom);
    int fired = 0;
    std::uint16_t last = 0;
    port.SetOnTriggerTimer([&](TSpCustomComPort&, std::uint16_t handle) {
        ++fired;
        last = handle;
    });
    port.SetOpen(true);
    std::uint16_t t = port.NewTimerTrigger();
    EXPECT_EQ(t % 8, 0);
    port.ArmTimerTrigger(t, 2, true);
    ASSERT_TRUE(pump_until([&] { return fired == 1; }));
    EXPECT_EQ(last, t);
    pump_for(300ms);
    EXPECT_EQ(fired, 1);               // one-shot
    port.ArmTimerTrigger(t, 0, true);  // the same 2 ticks again
    ASSERT_TRUE(pump_until([&] { return fired == 2; }));
    EXPECT_THROW(port.ArmTimerTrigger(static_cast<std::uint16_t>(t + 8), 1, true), EBadTriggerHandle);
    EXPECT_EQ(dynamic_cast<TSpWin32Dispatcher*>(port.Dispatcher())->DeviceEventCount(), 0u);
}

TEST_F(PortTest, ATimerKeepsHandleTicksAndArmingAcrossCloseReopenAndPortChange) {
    PtyPair other(8);
    ASSERT_TRUE(other.ok());
    TSpComPort port;
    Configure(port, kCom);
    port.SetOnTriggerTimer([](TSpCustomComPort&, std::uint16_t) {});
    port.SetOpen(true);
    std::uint16_t t = port.NewTimerTrigger();
    port.ArmTimerTrigger(t, 1000, true);
    port.SetOpen(false);
    port.SetOpen(true);
    auto timers = port.Dispatcher()->TimerTriggers();
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0].tHandle, t);
    EXPECT_EQ(timers[0].tTicks, 1000);
    EXPECT_TRUE(timers[0].tActive);
    port.SetComNumber(8);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.Dispatcher()->DeviceName(), "COM8");
    timers = port.Dispatcher()->TimerTriggers();
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0].tHandle, t);
    EXPECT_TRUE(timers[0].tActive);
}

// --- closing ---------------------------------------------------------------------------------

TEST_F(PortTest, ClosingWithOutputQueuedDiscardsIt) {
    TSpComPort port;
    Configure(port, kCom);
    port.SetOpen(true);
    pty.write_all(std::string(1, '\x13'));
    ASSERT_TRUE(pump_until([&] { return port.FlowHoldState() == 5; }));
    port.WriteText(std::string(4000, 'Z'));
    auto start = std::chrono::steady_clock::now();
    port.SetOpen(false);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(port.Open());
    EXPECT_LT(took, 15s);  // a hang guard; the close waits at most 5 s for the output thread
    std::string after = pty.read_available(200ms);
    EXPECT_EQ(after.find('Z'), std::string::npos);
}

TEST_F(PortTest, ClosingFromInsideOnTriggerAvailFinishesLater) {
    TSpComPort port;
    Configure(port, kCom);
    bool closed_notice = false;
    bool open_after_close_call = false;
    int avails = 0;
    port.OnPortClose = [&](platform::forms::Component&) { closed_notice = true; };
    port.SetOnTriggerAvail([&](TSpCustomComPort& cp, std::uint16_t count) {
        ++avails;
        for (unsigned i = 0; i < count; ++i) cp.ReadChar();
        cp.SetOpen(false);
        open_after_close_call = cp.Open();
        EXPECT_TRUE(closed_notice);  // OnPortClose runs at once
        EXPECT_EQ(cp.PortState(), psClosing);
        EXPECT_EQ(cp.ReadChar(), '\0');  // nothing while closing
    });
    port.SetOpen(true);
    auto* dispatcher = dynamic_cast<TSpWin32Dispatcher*>(port.Dispatcher());
    ASSERT_NE(dispatcher, nullptr);
    pty.write_all("bye");
    ASSERT_TRUE(pump_until([&] { return avails == 1; }));
    EXPECT_TRUE(open_after_close_call);
    ASSERT_TRUE(pump_until([&] { return !port.Open(); }));
    EXPECT_EQ(port.PortState(), psClosed);
    EXPECT_EQ(port.Dispatcher(), nullptr);
    EXPECT_EQ(port.NotifyWindow(), 0u);
    EXPECT_EQ(avails, 1);
    EXPECT_TRUE(errors.empty());
    // Usable again afterwards.
    port.SetOnTriggerAvail({});
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
}

TEST_F(PortTest, AReopenFromInsideAHandlerKeepsTheArmedTimer) {
    PtyPair other(8);
    ASSERT_TRUE(other.ok());
    TSpComPort port;
    Configure(port, kCom);
    std::uint16_t timer = 0;
    int timer_fired = 0;
    bool changed = false;
    std::string second_port_data;
    port.SetOnTriggerTimer([&](TSpCustomComPort&, std::uint16_t) { ++timer_fired; });
    port.SetOnTriggerAvail([&](TSpCustomComPort& cp, std::uint16_t count) {
        std::string got;
        for (unsigned i = 0; i < count; ++i) got.push_back(cp.ReadChar());
        if (!changed) {
            changed = true;
            // What the core does when the user changes ports: close, renumber, open, go on.
            cp.SetOpen(false);
            cp.SetComNumber(8);
            cp.SetOpen(true);
            cp.ArmTimerTrigger(timer, 2, true);
            cp.WriteText("lost");  // while closing: nothing
        } else {
            second_port_data += got;
        }
    });
    port.SetOpen(true);
    timer = port.NewTimerTrigger();
    pty.write_all("change");
    ASSERT_TRUE(pump_until([&] { return changed && port.PortState() == psOpen; }));
    EXPECT_EQ(port.ComNumber(), 8);
    EXPECT_EQ(port.Dispatcher()->DeviceName(), "COM8");
    ASSERT_TRUE(pump_until([&] { return timer_fired == 1; }));
    other.write_all("on eight");
    ASSERT_TRUE(pump_until([&] { return second_port_data == "on eight"; }));
    EXPECT_EQ(pty.read_available(100ms), "");
    EXPECT_TRUE(errors.empty()) << errors.front();
}

TEST_F(PortTest, TheFarEndVanishingIsReportedAndNeverHangs) {
    TSpComPort port;
    Configure(port, kCom);
    port.SetOnTriggerAvail([](TSpCustomComPort& cp, std::uint16_t count) {
        for (unsigned i = 0; i < count; ++i) cp.ReadChar();
    });
    port.SetOpen(true);
    pty.close_master();
    ASSERT_TRUE(pump_until([&] { return port.DeviceLost(); }));
    try {
        port.WriteText("anyone?");
        ADD_FAILURE() << "a write to a device that has gone succeeded";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, static_cast<std::int32_t>(comm::error::device_failure)) << e.what();
    }
    int fired = 0;
    port.SetOnTriggerTimer([&](TSpCustomComPort&, std::uint16_t) { ++fired; });
    std::uint16_t t = port.NewTimerTrigger();
    port.ArmTimerTrigger(t, 1, true);
    ASSERT_TRUE(pump_until([&] { return fired == 1; }));  // the session's time-outs go on
    port.SetOpen(false);
    // A close that meets a notification on its way to this thread finishes once it is served.
    EXPECT_TRUE(pump_until([&] { return !port.Open(); }));
}

TEST_F(PortTest, AStuckMainThreadDelaysButDoesNotLoseOrWedge) {
    TSpComPort port;
    Configure(port, kCom);
    std::string received;
    port.SetOnTriggerAvail([&](TSpCustomComPort& cp, std::uint16_t count) {
        for (unsigned i = 0; i < count; ++i) received.push_back(cp.ReadChar());
    });
    port.SetOpen(true);
    pty.write_all("abc");
    std::this_thread::sleep_for(3500ms);                         // longer than the 3,000-ms send: it gives up
    ASSERT_TRUE(pump_until([&] { return received == "abc"; }));  // offered again
    // A close while a notification waits for the main thread still completes.
    pty.write_all("def");
    std::this_thread::sleep_for(200ms);
    port.SetOpen(false);
    ASSERT_TRUE(pump_until([&] { return !port.Open(); }));
    EXPECT_EQ(port.Dispatcher(), nullptr);
}

// --- triggers through the comm layer's test hooks ----------------------------------------------

TEST_F(PortTest, StatusTriggersFireFromModemLinesLineErrorsBreaksAndOutput) {
    TSpComPort port;
    Configure(port, kCom);
    int modem = 0, out_sent = 0, statuses = 0;
    std::vector<std::pair<std::uint16_t, bool>> line_errors;
    port.SetOnTriggerStatus([&](TSpCustomComPort&, std::uint16_t) { ++statuses; });
    port.SetOnTriggerModemStatus([&](platform::forms::Component&) { ++modem; });
    port.SetOnTriggerLineError(
        [&](TSpCustomComPort&, std::uint16_t error, bool brk) { line_errors.emplace_back(error, brk); });
    port.SetOnTriggerOutSent([&](platform::forms::Component&) { ++out_sent; });
    port.SetOpen(true);
    std::string name = DeviceName(kCom);

    std::uint16_t m = port.AddStatusTrigger(stModem);
    EXPECT_EQ(m & 7, stModem);
    port.SetStatusTrigger(m, msCts, true);
    ASSERT_FALSE(comm::test::set_modem_lines(name, comm::modem::dsr | comm::modem::dcd));  // CTS drops
    ASSERT_TRUE(pump_until([&] { return modem == 1; }));
    EXPECT_EQ(port.ModemStatus() & msCts, 0);

    std::uint16_t l = port.AddStatusTrigger(stLine);
    port.SetStatusTrigger(l, leFraming | leBreak, true);
    ASSERT_FALSE(comm::test::raise_line_error(name, comm::line_errors::framing));
    ASSERT_TRUE(pump_until([&] { return line_errors.size() == 1; }));
    EXPECT_EQ(line_errors[0].first, leFramingKind);
    EXPECT_FALSE(line_errors[0].second);
    port.SetStatusTrigger(l, leFraming | leBreak, true);
    ASSERT_FALSE(comm::test::raise_break(name));
    ASSERT_TRUE(pump_until([&] { return line_errors.size() == 2; }));
    EXPECT_TRUE(line_errors[1].second);

    std::uint16_t s = port.AddStatusTrigger(stOutSent);
    port.SetStatusTrigger(s, 0, true);
    port.WriteText("x");
    ASSERT_TRUE(pump_until([&] { return out_sent == 1; }));
    EXPECT_EQ(statuses, 4);
    port.RemoveTrigger(s);
    EXPECT_THROW(port.RemoveTrigger(s), EBadTriggerHandle);
}

TEST_F(PortTest, DataTriggersFireWhenTheirStringArrives) {
    TSpComPort port;
    Configure(port, kCom);
    std::vector<std::uint16_t> data;
    std::string avail;
    port.SetOnTriggerData([&](TSpCustomComPort&, std::uint16_t handle) { data.push_back(handle); });
    port.SetOnTriggerAvail([&](TSpCustomComPort& cp, std::uint16_t count) {
        for (unsigned i = 0; i < count; ++i) avail.push_back(cp.ReadChar());
    });
    port.SetOpen(true);
    std::uint16_t h = port.AddDataTrigger("ok\r", true);
    pty.write_all("xOK\rrest");
    ASSERT_TRUE(pump_until([&] { return !data.empty() && avail.size() == 8; }));
    EXPECT_EQ(data[0], h);
    EXPECT_EQ(avail, "xOK\rrest");
}

// --- port users and notices ---------------------------------------------------------------------

TEST_F(PortTest, PortUsersGetOpenClosingAndClosedNotices) {
    std::vector<std::uint32_t> window_notices, callback_notices;
    win::Handle user =
        win::create_window("PortUser", 0, [&](win::Handle, std::uint32_t msg, win::WParam, win::LParam) {
            if (msg >= APW_PORTOPEN && msg <= APW_CLOSEPENDING) window_notices.push_back(msg);
            return win::Result{0};
        });
    TSpComPort port;
    Configure(port, kCom);
    std::uint32_t w = port.RegisterUser(user, true);
    port.RegisterUserCallback(
        [&](TSpCustomComPort&, std::uint32_t notice, void*) { callback_notices.push_back(notice); }, nullptr,
        false);
    int opened = 0;
    port.OnPortOpen = [&](platform::forms::Component&) { ++opened; };
    port.SetOpen(true);
    port.SetOpen(false);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(window_notices, (std::vector<std::uint32_t>{APW_PORTOPEN, APW_CLOSEPENDING, APW_PORTCLOSE}));
    EXPECT_EQ(callback_notices, (std::vector<std::uint32_t>{APW_PORTOPEN, APW_PORTCLOSE}));
    port.DeregisterUser(w);
    port.SetOpen(true);
    EXPECT_EQ(window_notices.size(), 3u);
}

TEST_F(PortTest, TheWindowProcedureIgnoresWhatIsNotItsOwn) {
    TSpComPort port;
    Configure(port, kCom);
    int avails = 0;
    port.SetOnTriggerAvail([&](TSpCustomComPort&, std::uint16_t) { ++avails; });
    port.SetOpen(true);
    win::Handle w = port.NotifyWindow();
    win::LParam foreign = static_cast<win::LParam>(0x7FFFu << 16);
    EXPECT_EQ(TSpCustomComPort::PortWindowProc(w, APW_TRIGGERAVAIL, 1, foreign), 0);
    EXPECT_EQ(TSpCustomComPort::PortWindowProc(w, 0x7E05, 1, 0), 0);
    EXPECT_EQ(avails, 0);
    win::LParam own = static_cast<win::LParam>(static_cast<std::uint32_t>(port.Dispatcher()->Handle()) << 16);
    TSpCustomComPort::PortWindowProc(w, APW_TRIGGERAVAIL, 0, own);
    EXPECT_EQ(avails, 1);
}

TEST_F(PortTest, AnExceptionInAHandlerGoesToTheApplication) {
    TSpComPort port;
    Configure(port, kCom);
    port.SetOnTriggerAvail([](TSpCustomComPort& cp, std::uint16_t count) {
        for (unsigned i = 0; i <= count; ++i) cp.ReadChar();  // one too many
    });
    port.SetOpen(true);
    pty.write_all("q");
    ASSERT_TRUE(pump_until([&] { return !errors.empty(); }));
    EXPECT_EQ(errors[0], "Buffer is empty");
    EXPECT_TRUE(port.Open());
}

// --- properties ----------------------------------------------------------------------------------

TEST(PortProperties, DefaultsAndDerivedFlowLimits) {
    TSpComPort port;
    EXPECT_EQ(port.ComNumber(), 0);
    EXPECT_EQ(port.Baud(), 19200);
    EXPECT_TRUE(port.PromptForPort());
    EXPECT_EQ(port.InSize(), 4096);
    EXPECT_TRUE(port.AutoOpen());
    EXPECT_TRUE(port.DTR());
    EXPECT_TRUE(port.RTS());
    EXPECT_EQ(port.XOnChar(), 17);
    EXPECT_EQ(port.XOffChar(), 19);
    EXPECT_EQ(port.TraceName(), "SERIAL.TRC");
    EXPECT_EQ(port.LogName(), "SERIAL.LOG");
    EXPECT_EQ(port.TraceSize(), 10000u);
    EXPECT_EQ(port.CommNotificationLevel(), 10);
    EXPECT_EQ(port.TapiMode(), tmAuto);
    EXPECT_EQ(port.AvailThreshold(), 1);
    EXPECT_EQ(port.Version(), "v4.03");
    EXPECT_TRUE(port.UseMSRShadow());
    port.SetUseMSRShadow(false);
    EXPECT_TRUE(port.UseMSRShadow());

    port.SetSWFlowOptions(swfBoth);
    EXPECT_EQ(port.BufferFull(), 3072);
    EXPECT_EQ(port.BufferResume(), 1024);
    TSpComPort hw;
    hw.SetHWFlowOptions({hwfUseRTS});
    EXPECT_EQ(hw.BufferFull(), 3686);
    EXPECT_EQ(hw.BufferResume(), 409);
    TSpComPort full;
    full.SetBufferFull(5000);
    EXPECT_EQ(full.BufferFull(), 3686);
    TSpComPort resume;
    resume.SetSWFlowOptions(swfBoth);
    resume.SetBufferResume(4000);
    EXPECT_EQ(resume.BufferResume(), 307);
    port.SetTracing(tlDump);
    EXPECT_EQ(port.Tracing(), tlOff);
    port.SetTraceSize(5'000'000);
    EXPECT_EQ(port.TraceSize(), kMaxTraceEntries);
    port.SetLogSize(20'000'000);
    EXPECT_EQ(port.LogSize(), kMaxLogBytes);
    port.SetRS485Mode(true);
    EXPECT_FALSE(port.RTS());
    hw.SetRS485Mode(true);
    EXPECT_FALSE(hw.HWFlowOptions().has(hwfUseRTS));
    port.SetDeviceLayer(dlWinsock);
    EXPECT_EQ(port.DeviceLayer(), dlWin32);  // not supported here
}

TEST_F(PortTest, DtrStaysUnderHardwareFlowControl) {
    TSpComPort port;
    Configure(port, kCom);
    port.SetDTR(true);
    port.SetHWFlowOptions({hwfUseDTR});
    port.SetOpen(true);
    port.SetDTR(false);
    EXPECT_TRUE(port.DTR());
    EXPECT_TRUE(port.Dispatcher()->DTRUnderFlow());
    port.SetHWFlowOptions({});
    port.SetDTR(false);
    EXPECT_FALSE(port.DTR());
}

TEST_F(PortTest, LoadingStoresOpenAndLoadedOpens) {
    TSpComPort port;
    Configure(port, kCom);
    port.SetLoading(true);
    port.SetOpen(true);
    EXPECT_EQ(port.Dispatcher(), nullptr);
    EXPECT_EQ(CheckResult(&port, ecBadId), ecBadId);  // nothing raised while loading
    port.SetLoading(false);
    port.Loaded();
    EXPECT_TRUE(port.Open());
    EXPECT_NE(port.Dispatcher(), nullptr);

    TSpComPort copy;
    copy.Assign(port);
    EXPECT_FALSE(copy.Open());
    EXPECT_EQ(copy.ComNumber(), kCom);
    EXPECT_EQ(copy.SWFlowOptions(), swfBoth);
    EXPECT_TRUE(copy.RestorePending());
}

TEST_F(PortTest, TracingAndLoggingDumpOnClose) {
    auto folder = std::filesystem::temp_directory_path() / ("zor_port_trace_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    TSpComPort port;
    Configure(port, kCom);
    port.SetTraceName((folder / "port.trc").string());
    port.SetLogName((folder / "port.log").string());
    port.SetTraceHex(false);
    port.SetOpen(true);
    port.SetTracing(tlOn);
    port.SetLogging(tlOn);
    EXPECT_EQ(port.Tracing(), tlOn);
    port.WriteText("AB");
    port.SetTracing(tlPause);
    EXPECT_EQ(port.Tracing(), tlPause);
    port.WriteText("CD");  // not traced while paused
    port.SetTracing(tlOn);
    port.SetOpen(false);  // dumps both
    EXPECT_EQ(port.Tracing(), tlOff);
    std::ifstream trace(folder / "port.trc", std::ios::binary);
    std::stringstream text;
    text << trace.rdbuf();
    EXPECT_NE(text.str().find("Transmit: "), std::string::npos);
    EXPECT_NE(text.str().find("AB"), std::string::npos);
    EXPECT_EQ(text.str().find("CD"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(folder / "port.log"));
    std::filesystem::remove_all(folder);
}

TEST_F(PortTest, WithoutTheRingEndedEventTheCommThreadFallsBack) {
    dispatcher_unit_state().nt_family = false;  // the older platform asks for event 0x2000 first
    TSpComPort port;
    Configure(port, kCom);
    std::string got;
    port.SetOnTriggerAvail([&](TSpCustomComPort& cp, std::uint16_t count) {
        for (unsigned i = 0; i < count; ++i) got.push_back(cp.ReadChar());
    });
    port.SetOpen(true);
    auto* d = dynamic_cast<TSpWin32Dispatcher*>(port.Dispatcher());
    ASSERT_TRUE(pump_until([&] { return d->EventMask() == kDefaultEventMask; }));
    pty.write_all("after");
    ASSERT_TRUE(pump_until([&] { return got == "after"; }));
    EXPECT_GT(d->DeviceEventCount(), 0u);
    port.SetOpen(false);
    reset_dispatcher_unit_state_for_tests();
}

TEST_F(PortTest, TelephonyModeNeedsAHandleFromItsOwner) {
    TSpComPort port;
    Configure(port, kCom);
    port.SetTapiMode(tmOn);
    EXPECT_THROW(port.SetOpen(true), ENotOpenedByTapi);
    EXPECT_EQ(port.Dispatcher(), nullptr);
}

}  // namespace
}  // namespace serial
