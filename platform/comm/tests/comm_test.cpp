// The device layer on real pseudo-terminals.
#include "platform/comm/comm.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/comm/termios_map.h"
#include "platform/comm/test_hooks.h"
#include "platform/testing/pty_pair.h"
#include "platform/testing/unprivileged_child.h"
#include "platform/testing/wait.h"

#ifdef ZOR_COMM_HAS_REGISTRY
#include "platform/registry/registry.h"
#include "platform/testing/temp_tree.h"
#endif

namespace comm = platform::comm;
using namespace std::chrono_literals;
using zor_testing::PtyPair;
using zor_testing::wait_until;

namespace {

class CommTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty.ok()); }
    void TearDown() override { comm::test::close_all_devices(); }

    comm::Handle open_ok(const char* name = "\\\\.\\COM7") {
        auto r = comm::open_device(name);
        EXPECT_EQ(r.error.code, 0u) << r.error.message;
        return r.handle;
    }

    comm::QueueStatus status(comm::Handle h) {
        std::uint32_t errors = 0;
        comm::QueueStatus s;
        EXPECT_FALSE(comm::clear_errors(h, errors, &s));
        return s;
    }

    PtyPair pty{7};
};

// --- opening ------------------------------------------------------------------------------------

TEST_F(CommTest, OpensComNumberThroughTheEnvironmentInAnyLetterCase) {
    auto h = open_ok("\\\\.\\COM7");
    EXPECT_GT(h, 0);
    EXPECT_EQ(comm::device_path(h), pty.slave_path());
    EXPECT_TRUE(comm::is_open(h));
    EXPECT_FALSE(comm::close_device(h));
    EXPECT_FALSE(comm::is_open(h));

    auto again = comm::open_device("com7");
    ASSERT_EQ(again.error.code, 0u) << again.error.message;
    EXPECT_NE(again.handle, h) << "handles are never reused";
}

TEST_F(CommTest, SecondOpenInThisProcessIsDeniedUntilTheFirstCloses) {
    auto h = open_ok();
    auto second = comm::open_device("COM7");
    EXPECT_EQ(second.handle, comm::no_handle);
    EXPECT_EQ(second.error.code, comm::error::access_denied);
    EXPECT_NE(second.error.os_errno, 0);
    // The refused open must not have released the first holder's lock.
    auto third = comm::open_device(pty.slave_path());
    EXPECT_EQ(third.error.code, comm::error::access_denied);
    comm::close_device(h);
    auto after = comm::open_device("COM7");
    EXPECT_EQ(after.error.code, 0u) << after.error.message;
}

TEST_F(CommTest, OpenInAnotherProcessIsDenied) {
    int to_child[2], from_child[2];
    ASSERT_EQ(::pipe(to_child), 0);
    ASSERT_EQ(::pipe(from_child), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(to_child[1]);
        ::close(from_child[0]);
        auto r = comm::open_device("COM7");
        char ready = r.error.code == 0 ? 'y' : 'n';
        [[maybe_unused]] auto w = ::write(from_child[1], &ready, 1);
        char go;
        [[maybe_unused]] auto n = ::read(to_child[0], &go, 1);
        ::_exit(0);
    }
    // Only the other ends stay open here: a child that dies gives an end of file, not a wait.
    ::close(to_child[0]);
    ::close(from_child[1]);
    char ready = 0;
    ASSERT_EQ(::read(from_child[0], &ready, 1), 1);
    EXPECT_EQ(ready, 'y');
    auto r = comm::open_device("COM7");
    EXPECT_EQ(r.error.code, comm::error::access_denied) << r.error.message;
    char go = 'g';
    ASSERT_EQ(::write(to_child[1], &go, 1), 1);
    int wstatus = 0;
    ::waitpid(child, &wstatus, 0);
    for (int fd : {to_child[1], from_child[0]}) ::close(fd);
    auto after = comm::open_device("COM7");
    EXPECT_EQ(after.error.code, 0u) << "the lock goes with the holder";
}

TEST_F(CommTest, MissingOrInvalidDevicesGiveTheirErrors) {
    ::setenv("ZOR_COM9", "/nonexistent/ttyZ9", 1);
    auto missing = comm::open_device("\\\\.\\COM9");
    EXPECT_EQ(missing.error.code, comm::error::file_not_found);
    EXPECT_EQ(missing.error.os_errno, ENOENT);
    EXPECT_NE(missing.error.message.find("/nonexistent/ttyZ9"), std::string::npos);

    EXPECT_EQ(comm::open_device("COM0").error.code, comm::error::file_not_found);
    EXPECT_EQ(comm::open_device("\\\\.\\COM0").error.code, comm::error::file_not_found);
    EXPECT_EQ(comm::open_device("printer").error.code, comm::error::path_not_found);

    // A file that is not a terminal is no serial device.
    char name[] = "/tmp/zor_comm_notatty_XXXXXX";
    int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(comm::open_device(name).error.code, comm::error::file_not_found);
    ::unlink(name);
}

TEST_F(CommTest, ADeviceThisUserMayNotOpenIsDeniedWithItsReasonAndPathNotAsInUse) {
    ASSERT_EQ(::chmod(pty.slave_path().c_str(), 0), 0);
    const std::string got = zor_testing::in_unprivileged_child([] {
        auto r = comm::open_device("COM7");
        return std::to_string(r.error.code) + "|" + r.error.message;
    });
    ::chmod(pty.slave_path().c_str(), 0620);
    EXPECT_EQ(got, std::to_string(comm::error::permission_denied) + "|open " + pty.slave_path() +
                       ": Permission denied");
    EXPECT_NE(comm::describe_error(comm::error::permission_denied),
              comm::describe_error(comm::error::access_denied));
}

TEST_F(CommTest, ClosedHandlesGiveInvalidHandle) {
    auto h = open_ok();
    comm::close_device(h);
    EXPECT_EQ(comm::close_device(h).code, comm::error::invalid_handle);
    comm::DeviceState s;
    EXPECT_EQ(comm::get_device_state(h, s).code, comm::error::invalid_handle);
    char b;
    EXPECT_EQ(comm::read(h, &b, 1, 0ms).status, comm::Status::closed);
}

TEST(CommPaths, ComNamesResolveInOrder) {
    EXPECT_EQ(comm::com_number("COM12"), 12);
    EXPECT_EQ(comm::com_number("\\\\.\\com3"), 3);
    EXPECT_EQ(comm::com_number("COM"), 0);
    EXPECT_EQ(comm::com_number("COM1x"), 0);
    EXPECT_EQ(comm::com_number("LPT1"), 0);
    ::unsetenv("ZOR_COM41");
#ifdef ZOR_COMM_HAS_REGISTRY
    const std::string folder = zor_testing::make_temp_folder("zor_comm_reg").string();
    ASSERT_FALSE(folder.empty());
    std::string db = folder + "/registry.db";
    ::setenv("ZOR_REGISTRY", db.c_str(), 1);
    platform::registry::reset_store();
    EXPECT_EQ(comm::resolve_device_path("COM41"), "/dev/ttyS40");
    ASSERT_TRUE(platform::registry::set_string_value(platform::registry::HKEY_LOCAL_MACHINE,
                                                     "\\HARDWARE\\DEVICEMAP\\SERIALCOMM", "COM41",
                                                     "/dev/ttyUSB7"));
    EXPECT_EQ(comm::resolve_device_path("COM41"), "/dev/ttyUSB7");
    ::setenv("ZOR_COM41", "/dev/pts/99", 1);
    EXPECT_EQ(comm::resolve_device_path("\\\\.\\COM41"), "/dev/pts/99") << "the environment comes first";
    platform::registry::reset_store();
    ::unsetenv("ZOR_REGISTRY");
    std::remove(db.c_str());
    std::remove((db + "-wal").c_str());
    std::remove((db + "-shm").c_str());
    ::rmdir(folder.c_str());
#else
    EXPECT_EQ(comm::resolve_device_path("COM41"), "/dev/ttyS40");
#endif
    ::unsetenv("ZOR_COM41");
    EXPECT_EQ(comm::resolve_device_path("/dev/ttyACM0"), "/dev/ttyACM0");
    EXPECT_EQ(comm::resolve_device_path("COM0"), std::nullopt);
}

// --- settings -----------------------------------------------------------------------------------

TEST_F(CommTest, OpenStartsRawAndSettingsReachTheTty) {
    auto h = open_ok();
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.slave(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u) << "XON/XOFF is done by the driver, not the tty";

    comm::DeviceState s;
    ASSERT_FALSE(comm::get_device_state(h, s));
    s.baud = 38400;
    s.stop_bits = comm::StopBits::two;
    s.cts_output_flow = true;
    ASSERT_FALSE(comm::set_device_state(h, s));
    ASSERT_EQ(::tcgetattr(pty.slave(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B38400);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);

    comm::DeviceState back;
    ASSERT_FALSE(comm::get_device_state(h, back));
    EXPECT_EQ(back.baud, 38400u);
    EXPECT_EQ(back.stop_bits, comm::StopBits::two);

    // A rate termios has no name for goes through termios2.
    s.baud = 14400;
    s.cts_output_flow = false;
    EXPECT_FALSE(comm::set_device_state(h, s));

    comm::DeviceState bad = s;
    bad.data_bits = 4;
    EXPECT_EQ(comm::set_device_state(h, bad).code, comm::error::invalid_parameter);
    bad = s;
    bad.baud = 0;
    EXPECT_EQ(comm::set_device_state(h, bad).code, comm::error::invalid_parameter);
    ASSERT_FALSE(comm::get_device_state(h, back));
    EXPECT_EQ(back.baud, 14400u) << "a refused state changes nothing";

    EXPECT_EQ(comm::setup_queues(h, 4, 4096).code, comm::error::invalid_parameter);
    EXPECT_FALSE(comm::setup_queues(h, 1024, 1024));
    EXPECT_EQ(comm::set_event_mask(h, 0x2000).code, comm::error::invalid_parameter);
}

TEST(CommTermios, DeviceStateMapsToTermiosFlags) {
    termios t{};
    comm::DeviceState s;
    s.data_bits = 7;
    s.parity = comm::Parity::even;
    s.parity_check = true;
    ASSERT_TRUE(comm::detail::to_termios(s, t));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB));
    EXPECT_NE(t.c_iflag & INPCK, 0u);
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);

    s.parity = comm::Parity::odd;
    ASSERT_TRUE(comm::detail::to_termios(s, t));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD));
    s.parity = comm::Parity::mark;
    ASSERT_TRUE(comm::detail::to_termios(s, t));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD | CMSPAR));
    s.parity = comm::Parity::space;
    ASSERT_TRUE(comm::detail::to_termios(s, t));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | CMSPAR));

    s = comm::DeviceState{};
    s.data_bits = 5;
    s.stop_bits = comm::StopBits::one_and_half;
    s.rts_control = comm::RtsControl::handshake;
    s.xon_char = 0x11;
    s.xoff_char = 0x13;
    ASSERT_TRUE(comm::detail::to_termios(s, t));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS5));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VMIN], 0);

    EXPECT_EQ(comm::detail::standard_speed(115200), static_cast<speed_t>(B115200));
    EXPECT_EQ(comm::detail::standard_speed(14400), 0u);
    s.xon_xoff_out = true;
    s.xoff_char = s.xon_char;
    EXPECT_FALSE(comm::detail::to_termios(s, t)) << "equal flow characters cannot work";
}

// --- data ---------------------------------------------------------------------------------------

TEST_F(CommTest, WrittenBytesReachTheFarEnd) {
    auto h = open_ok();
    comm::Request request;
    auto r = comm::start_write(h, "GET_STAT\r", 9, request);
    ASSERT_TRUE(r.status == comm::Status::ok || r.status == comm::Status::pending);
    EXPECT_EQ(pty.read_master(9), "GET_STAT\r");
    ASSERT_EQ(request.wait(5s), comm::Status::ok);
    EXPECT_EQ(request.result().status, comm::Status::ok);
    EXPECT_EQ(request.result().bytes, 9u);

    // Large writes go in pieces as the far end reads.
    std::string big(100000, 'x');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
    comm::Request bulk;
    comm::start_write(h, big.data(), big.size(), bulk);
    EXPECT_EQ(pty.read_master(big.size()), big);
    ASSERT_EQ(bulk.wait(5s), comm::Status::ok);
    EXPECT_EQ(bulk.result().bytes, big.size());
}

TEST_F(CommTest, FarEndBytesArriveThroughReads) {
    auto h = open_ok();
    char buffer[64] = {};
    // Nothing queued: a read that returns at once says so by timing out, never by a bare 0.
    auto empty = comm::read(h, buffer, sizeof buffer, 0ms);
    EXPECT_EQ(empty.status, comm::Status::timed_out);
    EXPECT_EQ(empty.bytes, 0u);

    comm::Timeouts t;
    t.read_first_byte = comm::infinite;
    ASSERT_FALSE(comm::set_timeouts(h, t));
    std::atomic<int> completions{0};
    comm::Request request([&] { ++completions; });
    auto r = comm::start_read(h, buffer, sizeof buffer, request);
    ASSERT_EQ(r.status, comm::Status::pending);
    EXPECT_TRUE(request.pending());
    ASSERT_TRUE(pty.write_master("OK 12\r\n"));
    ASSERT_EQ(request.wait(5s), comm::Status::ok);
    // The callback runs right after waiters are released.
    EXPECT_TRUE(wait_until([&] { return completions.load() == 1; }));
    auto got = request.result();
    EXPECT_EQ(got.status, comm::Status::ok);
    std::string text(buffer, got.bytes);
    // The bytes may come in more than one piece; collect the rest.
    while (text.size() < 7) {
        auto more = comm::read(h, buffer, sizeof buffer, 2s);
        ASSERT_EQ(more.status, comm::Status::ok);
        text.append(buffer, more.bytes);
    }
    EXPECT_EQ(text, "OK 12\r\n");

    // Starting a request that is still pending is refused.
    comm::Request twice;
    ASSERT_EQ(comm::start_read(h, buffer, 1, twice).status, comm::Status::pending);
    EXPECT_EQ(comm::start_read(h, buffer, 1, twice).error.code, comm::error::invalid_parameter);
    comm::cancel_io(h);
    EXPECT_EQ(twice.result().status, comm::Status::aborted);

    auto late = comm::read(h, buffer, 1, 30ms);
    EXPECT_EQ(late.status, comm::Status::timed_out);
}

TEST_F(CommTest, ReceivedXoffHoldsOutputUntilXon) {
    auto h = open_ok();
    comm::DeviceState s;
    comm::get_device_state(h, s);
    s.xon_xoff_out = true;
    ASSERT_FALSE(comm::set_device_state(h, s));

    ASSERT_TRUE(pty.write_master("\x13"));
    ASSERT_TRUE(wait_until([&] { return (status(h).hold & comm::hold::xoff_received) != 0; }));
    comm::Request request;
    EXPECT_EQ(comm::start_write(h, "abc", 3, request).status, comm::Status::pending);
    EXPECT_EQ(status(h).out_queue, 3u);
    EXPECT_EQ(pty.read_master(1, 100ms), "") << "output must wait while held";

    ASSERT_TRUE(pty.write_master("\x11"));
    EXPECT_EQ(pty.read_master(3), "abc");
    ASSERT_EQ(request.wait(5s), comm::Status::ok);
    EXPECT_EQ(request.result().status, comm::Status::ok);
    EXPECT_EQ(status(h).hold & comm::hold::xoff_received, 0u);
    EXPECT_EQ(status(h).in_queue, 0u) << "XON and XOFF are not data";

    // Turning the flow control off releases a hold.
    ASSERT_TRUE(pty.write_master("\x13"));
    ASSERT_TRUE(wait_until([&] { return (status(h).hold & comm::hold::xoff_received) != 0; }));
    comm::start_write(h, "d", 1, request);
    s.xon_xoff_out = false;
    ASSERT_FALSE(comm::set_device_state(h, s));
    EXPECT_EQ(pty.read_master(1), "d");
}

TEST_F(CommTest, FullInputQueueSendsXoffAndDrainingSendsXon) {
    auto h = open_ok();
    ASSERT_FALSE(comm::setup_queues(h, 64, 64));
    comm::DeviceState s;
    comm::get_device_state(h, s);
    s.xon_xoff_in = true;
    s.xoff_limit = 16;  // XOFF once fewer than 16 bytes are free
    s.xon_limit = 8;    // XON once 8 or fewer are queued
    ASSERT_FALSE(comm::set_device_state(h, s));

    ASSERT_TRUE(pty.write_master(std::string(60, 'z')));
    EXPECT_EQ(pty.read_master(1), "\x13");
    EXPECT_NE(status(h).hold & comm::hold::xoff_sent, 0u);
    char buffer[64];
    std::size_t taken = 0;
    while (taken < 60) {
        auto r = comm::read(h, buffer, 10, 2s);
        ASSERT_EQ(r.status, comm::Status::ok);
        taken += r.bytes;
    }
    EXPECT_EQ(pty.read_master(1), "\x11");
    EXPECT_EQ(status(h).hold & comm::hold::xoff_sent, 0u);
}

// --- events -------------------------------------------------------------------------------------

TEST_F(CommTest, WaitsReportReceivedBytesAndTheFlagCharacter) {
    auto h = open_ok();
    comm::DeviceState s;
    comm::get_device_state(h, s);
    s.event_char = '\n';
    comm::set_device_state(h, s);
    ASSERT_FALSE(comm::set_event_mask(h, comm::events::rx_char | comm::events::rx_flag));
    ASSERT_TRUE(pty.write_master("A\n"));
    std::uint32_t seen = 0;
    ASSERT_TRUE(wait_until([&] {
        auto r = comm::wait_event(h, 100ms);
        seen |= r.events;
        return seen == (comm::events::rx_char | comm::events::rx_flag);
    }));
    // Nothing new: the next wait times out rather than repeating old events.
    EXPECT_EQ(comm::wait_event(h, 30ms).status, comm::Status::timed_out);

    // Output drained.
    ASSERT_FALSE(comm::set_event_mask(h, comm::events::tx_empty));
    comm::Request w;
    comm::start_write(h, "x", 1, w);
    auto r = comm::wait_event(h, 5s);
    EXPECT_EQ(r.status, comm::Status::ok);
    EXPECT_EQ(r.events, comm::events::tx_empty);
}

TEST_F(CommTest, TheReceiveLevelHoldsTheReceiveEventBackUntilEnoughBytesAreQueued) {
    auto h = open_ok();
    ASSERT_FALSE(comm::set_event_mask(h, comm::events::rx_char | comm::events::rx_flag));
    ASSERT_FALSE(comm::set_receive_level(h, 5));
    auto queued = [&] {
        std::uint32_t errors = 0;
        comm::QueueStatus status;
        comm::clear_errors(h, errors, &status);
        return status.in_queue;
    };
    ASSERT_TRUE(pty.write_master("ABC"));
    ASSERT_TRUE(wait_until([&] { return queued() == 3; }));
    EXPECT_EQ(comm::wait_event(h, 0ms).status, comm::Status::timed_out);  // 3 of 5: no event
    ASSERT_TRUE(pty.write_master("DE"));
    auto r = comm::wait_event(h, 5s);
    EXPECT_EQ(r.status, comm::Status::ok);
    EXPECT_EQ(r.events, comm::events::rx_char);
    // At or above the level every arrival counts again.
    ASSERT_TRUE(pty.write_master("F"));
    EXPECT_EQ(comm::wait_event(h, 5s).events, comm::events::rx_char);
    // Raised above what is queued, then lowered to it: reached at once.
    ASSERT_FALSE(comm::set_receive_level(h, 10));
    EXPECT_EQ(comm::wait_event(h, 0ms).status, comm::Status::timed_out);
    ASSERT_FALSE(comm::set_receive_level(h, 6));
    EXPECT_EQ(comm::wait_event(h, 0ms).events, comm::events::rx_char);
    // The flag character is reported whatever the level.
    ASSERT_FALSE(comm::set_receive_level(h, 100));
    comm::DeviceState s;
    comm::get_device_state(h, s);
    s.event_char = '\n';
    comm::set_device_state(h, s);
    ASSERT_TRUE(pty.write_master("\n"));
    r = comm::wait_event(h, 5s);
    EXPECT_EQ(r.events, comm::events::rx_flag);
}

TEST_F(CommTest, PendingWaitIsReleasedPromptlyFromAnotherThread) {
    auto h = open_ok();
    ASSERT_FALSE(comm::set_event_mask(h, 0x1F9));
    for (int round = 0; round < 3; ++round) {
        // As a worker does: start the wait, then block on it in its own thread.
        comm::Request request;
        ASSERT_EQ(comm::start_wait_event(h, request).status, comm::Status::pending);
        std::atomic<bool> done{false};
        std::thread waiter([&] {
            request.wait(comm::infinite);
            done = true;
        });
        // Only one wait may pend; a second is refused rather than queued.
        comm::Request second;
        EXPECT_EQ(comm::start_wait_event(h, second).error.code, comm::error::invalid_parameter);
        comm::Error released;
        if (round == 0) released = comm::set_event_mask(h, 0x1F9);
        if (round == 1) released = comm::cancel_io(h);
        if (round == 2) released = comm::close_device(h);
        EXPECT_FALSE(released) << released.message;
        EXPECT_TRUE(wait_until([&] { return done.load(); }, 2s));
        waiter.join();
        auto result = request.result();
        if (round == 0) {
            EXPECT_EQ(result.status, comm::Status::ok);
            EXPECT_EQ(result.events, 0u);
        }
        if (round == 1) {
            EXPECT_EQ(result.status, comm::Status::aborted);
        }
        if (round == 2) {
            EXPECT_EQ(result.status, comm::Status::closed);
        }
    }
}

TEST_F(CommTest, FarEndClosingIsReportedNotWaitedFor) {
    auto h = open_ok();
    ASSERT_FALSE(comm::set_event_mask(h, comm::events::all));
    ASSERT_TRUE(pty.write_master("last"));
    ASSERT_TRUE(wait_until([&] { return status(h).in_queue == 4; }));
    comm::Request wait;
    // The rx_char of "last" may still be remembered; take it first.
    while (comm::start_wait_event(h, wait).status == comm::Status::ok) {
    }
    ASSERT_TRUE(wait.pending());
    pty.close_master();
    ASSERT_EQ(wait.wait(5s), comm::Status::ok);
    EXPECT_EQ(wait.result().status, comm::Status::disconnected);

    char buffer[8];
    auto r = comm::read(h, buffer, sizeof buffer, 0ms);
    EXPECT_EQ(r.status, comm::Status::ok) << "bytes that came before the hang-up are kept";
    EXPECT_EQ(std::string(buffer, r.bytes), "last");
    EXPECT_EQ(comm::read(h, buffer, sizeof buffer, comm::infinite).status, comm::Status::disconnected);
    auto w = comm::write(h, "x", 1, comm::infinite);
    EXPECT_EQ(w.status, comm::Status::disconnected);
    EXPECT_EQ(w.error.code, comm::error::device_failure);
    EXPECT_FALSE(comm::close_device(h));
}

TEST_F(CommTest, InjectedModemLinesRaiseEventsAndHoldFlow) {
    auto h = open_ok();
    std::uint32_t lines = 0;
    ASSERT_FALSE(comm::modem_status(h, lines));
    EXPECT_EQ(lines, comm::modem::cts | comm::modem::dsr | comm::modem::dcd)
        << "a pty looks like a ready peer";

    ASSERT_FALSE(comm::set_event_mask(
        h, comm::events::cts | comm::events::dsr | comm::events::rlsd | comm::events::ring));
    ASSERT_FALSE(comm::test::set_modem_lines("COM7", comm::modem::dsr));
    auto r = comm::wait_event(h, 5s);
    EXPECT_EQ(r.events, comm::events::cts | comm::events::rlsd);
    comm::modem_status(h, lines);
    EXPECT_EQ(lines, comm::modem::dsr);

    ASSERT_FALSE(comm::test::set_modem_lines("COM7", comm::modem::dsr | comm::modem::ring));
    EXPECT_EQ(comm::wait_event(h, 5s).events, comm::events::ring);
    ASSERT_FALSE(comm::test::set_modem_lines("COM7", comm::modem::dsr));
    EXPECT_EQ(comm::wait_event(h, 30ms).status, comm::Status::timed_out) << "a ring ending is no new ring";

    // CTS flow: low CTS holds output, raising it lets it go.
    comm::DeviceState s;
    comm::get_device_state(h, s);
    s.cts_output_flow = true;
    ASSERT_FALSE(comm::set_device_state(h, s));
    comm::Request w;
    EXPECT_EQ(comm::start_write(h, "hw", 2, w).status, comm::Status::pending);
    EXPECT_NE(status(h).hold & comm::hold::cts, 0u);
    EXPECT_EQ(pty.read_master(1, 50ms), "");
    comm::test::set_modem_lines("COM7", comm::modem::dsr | comm::modem::cts);
    EXPECT_EQ(pty.read_master(2), "hw");
    EXPECT_EQ(w.wait(5s), comm::Status::ok);
}

TEST_F(CommTest, InjectedLineErrorsAndBreaksAreSeenOnce) {
    auto h = open_ok();
    ASSERT_FALSE(comm::set_event_mask(h, comm::events::line_error | comm::events::break_detected));
    ASSERT_FALSE(comm::test::raise_line_error(pty.slave_path(), comm::line_errors::framing));
    EXPECT_EQ(comm::wait_event(h, 5s).events, comm::events::line_error);
    ASSERT_FALSE(comm::test::raise_break("\\\\.\\COM7"));
    EXPECT_EQ(comm::wait_event(h, 5s).events, comm::events::break_detected);
    std::uint32_t errors = 0;
    ASSERT_FALSE(comm::clear_errors(h, errors));
    EXPECT_EQ(errors, comm::line_errors::framing | comm::line_errors::break_detected);
    ASSERT_FALSE(comm::clear_errors(h, errors));
    EXPECT_EQ(errors, 0u) << "clear_errors clears";
    EXPECT_EQ(comm::test::raise_break("COM8").code, comm::error::invalid_handle);
}

TEST_F(CommTest, EscapeFunctionsWorkWhereThePtyHasNoLines) {
    auto h = open_ok();
    ASSERT_FALSE(comm::escape(h, comm::Escape::clear_dtr));
    ASSERT_FALSE(comm::escape(h, comm::Escape::clear_rts));
    auto lines = comm::test::output_lines("COM7");
    ASSERT_TRUE(lines.has_value());
    EXPECT_FALSE(lines->dtr);
    EXPECT_FALSE(lines->rts);
    ASSERT_FALSE(comm::escape(h, comm::Escape::set_dtr));
    ASSERT_FALSE(comm::escape(h, comm::Escape::set_break));
    lines = comm::test::output_lines("COM7");
    EXPECT_TRUE(lines->dtr);
    EXPECT_TRUE(lines->break_on);
    ASSERT_FALSE(comm::escape(h, comm::Escape::clear_break));

    ASSERT_FALSE(comm::escape(h, comm::Escape::set_xoff));
    EXPECT_NE(status(h).hold & comm::hold::xoff_received, 0u);
    comm::Request w;
    EXPECT_EQ(comm::start_write(h, "q", 1, w).status, comm::Status::pending);
    ASSERT_FALSE(comm::escape(h, comm::Escape::set_xon));
    EXPECT_EQ(pty.read_master(1), "q");
}

TEST_F(CommTest, PurgeDropsInputAndAbortsHeldOutput) {
    auto h = open_ok();
    ASSERT_TRUE(pty.write_master("stale reply"));
    ASSERT_TRUE(wait_until([&] { return status(h).in_queue == 11; }));
    ASSERT_FALSE(comm::purge(h, comm::purge_flags::rx_abort | comm::purge_flags::rx_clear));
    EXPECT_EQ(status(h).in_queue, 0u);

    comm::escape(h, comm::Escape::set_xoff);
    comm::Request w;
    ASSERT_EQ(comm::start_write(h, "never", 5, w).status, comm::Status::pending);
    ASSERT_FALSE(comm::purge(h, comm::purge_flags::tx_abort | comm::purge_flags::tx_clear));
    EXPECT_FALSE(w.pending());
    EXPECT_EQ(w.result().status, comm::Status::aborted);
    EXPECT_EQ(w.result().error.code, comm::error::operation_aborted);
    comm::escape(h, comm::Escape::set_xon);
    EXPECT_EQ(pty.read_master(1, 100ms), "") << "purged output never goes out";
}

// A purge between the driver's poll and its read leaves nothing to read: that is no hang-up.
// Many rounds of purging while the far end keeps writing; the device stays alive throughout.
TEST_F(CommTest, PurgingWhileTheFarEndWritesNeverLosesTheDevice) {
    auto h = open_ok();
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const char chunk[] = "0123456789abcdef";
        while (!stop.load()) {
            if (::write(pty.master(), chunk, sizeof chunk - 1) < 0) std::this_thread::yield();
        }
    });
    // Bounded in rounds and in time, so a loaded machine only runs fewer rounds.
    const auto end = std::chrono::steady_clock::now() + 4s;
    char buffer[64];
    long rounds = 0;
    bool lost = false;
    for (; rounds < 300000 && std::chrono::steady_clock::now() < end; ++rounds) {
        ASSERT_FALSE(comm::purge(h, comm::purge_flags::rx_clear));
        auto r = comm::read(h, buffer, sizeof buffer, 0ms);
        if (r.status == comm::Status::disconnected) {
            lost = true;
            break;
        }
    }
    stop = true;
    writer.join();
    EXPECT_FALSE(lost) << "lost after " << rounds << " rounds";
    // Still alive both ways.
    while (!pty.read_master(4096, 50ms).empty()) {
    }
    ASSERT_FALSE(comm::purge(h, comm::purge_flags::rx_clear));
    auto w = comm::write(h, "alive", 5, 2s);
    EXPECT_EQ(w.status, comm::Status::ok);
    EXPECT_EQ(pty.read_master(5, 2s), "alive");
    ASSERT_TRUE(pty.write_master("back"));
    auto r = comm::read(h, buffer, 4, 2s);
    EXPECT_EQ(r.status, comm::Status::ok);
}

TEST_F(CommTest, WriteTimeOutDropsTheRest) {
    auto h = open_ok();
    comm::escape(h, comm::Escape::set_xoff);
    auto r = comm::write(h, "late", 4, 30ms);
    EXPECT_EQ(r.status, comm::Status::timed_out);
    EXPECT_EQ(r.bytes, 0u);
    EXPECT_EQ(status(h).out_queue, 0u);
}

TEST_F(CommTest, ACompletionMayCloseItsDevice) {
    auto h = open_ok();
    std::atomic<bool> closed{false};
    char buffer[4];
    comm::Timeouts t;
    t.read_first_byte = comm::infinite;
    comm::set_timeouts(h, t);
    comm::Request request([&] {
        comm::close_device(h);
        closed = true;
    });
    ASSERT_EQ(comm::start_read(h, buffer, sizeof buffer, request).status, comm::Status::pending);
    ASSERT_TRUE(pty.write_master("x"));
    EXPECT_TRUE(wait_until([&] { return closed.load(); }));
    EXPECT_FALSE(comm::is_open(h));
    auto again = comm::open_device("COM7");
    EXPECT_EQ(again.error.code, 0u) << again.error.message;
}

TEST_F(CommTest, EachCompletionHandsItsOwnOutcomeToItsCallbackThoughTheRequestRestarts) {
    auto h = open_ok();
    ASSERT_FALSE(comm::set_event_mask(h, comm::events::rx_char | comm::events::rx_flag));
    comm::DeviceState s;
    comm::get_device_state(h, s);
    s.event_char = '!';
    comm::set_device_state(h, s);
    std::mutex lock;
    std::vector<std::uint32_t> seen;
    comm::Request request([&](const comm::IoResult& r) {
        std::lock_guard guard(lock);
        seen.push_back(r.events);
    });
    // The first completes with the flag character; the restart finds the next byte already
    // there and completes at once, before the first callback may even have run.
    ASSERT_EQ(comm::start_wait_event(h, request).status, comm::Status::pending);
    ASSERT_TRUE(pty.write_master("!"));
    ASSERT_TRUE(wait_until([&] { return !request.pending(); }));
    ASSERT_TRUE(pty.write_master("a"));
    ASSERT_TRUE(wait_until([&] {
        std::uint32_t errors = 0;
        comm::QueueStatus status;
        comm::clear_errors(h, errors, &status);
        return status.in_queue == 2;
    }));
    EXPECT_EQ(comm::start_wait_event(h, request).status, comm::Status::ok);
    ASSERT_TRUE(wait_until([&] {
        std::lock_guard guard(lock);
        return seen.size() == 2;
    }));
    std::lock_guard guard(lock);
    EXPECT_EQ(seen[0], comm::events::rx_char | comm::events::rx_flag);
    EXPECT_EQ(seen[1], comm::events::rx_char);
}

TEST(CommErrors, EveryErrorHasItsOwnText) {
    for (auto code : {comm::error::file_not_found, comm::error::path_not_found, comm::error::access_denied,
                      comm::error::invalid_handle, comm::error::device_failure,
                      comm::error::invalid_parameter, comm::error::operation_aborted, comm::error::timed_out})
        EXPECT_FALSE(comm::describe_error(code).empty()) << code;
    EXPECT_EQ(comm::describe_error(12345), "");
    EXPECT_EQ(comm::status_name(comm::Status::timed_out), "timed out");
}

}  // namespace
