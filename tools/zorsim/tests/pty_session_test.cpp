// zorsim driven through a real pseudo-terminal, as the driver drives it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "platform/testing/wait.h"
#include "support/simulator_fixture.h"
#include "tools/zorsim/frame_codec.h"

namespace zorsim::test {
namespace {

using std::chrono::milliseconds;
using zor_testing::wait_until;

// How long a test listens to be sure that no reply comes. Absence can only be shown by waiting;
// a reply that is merely slow still fails the test, so this cannot hide a fault.
constexpr milliseconds no_reply_wait(300);

std::size_t count_with(const std::vector<std::string>& lines, const std::string& part) {
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

class PtySession : public SimulatorTest {};

TEST_F(PtySession, get_stat_is_answered_ready_in_a_good_frame) {
    start(options());
    const auto reply = host_->ask("GET_STAT");
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->good());
    EXPECT_EQ(reply->payload, "READY");
    EXPECT_EQ(reply->trailer, "00054B");
    EXPECT_TRUE(reply->noise.empty());
}

TEST_F(PtySession, a_resent_frame_is_answered_again_but_executed_once) {
    Options o = options();
    o.instrument.atom_ms = {{"WASH", "100"}};
    start(o);
    // The first answer is lost on the line: the host hears nothing and resends the same frame.
    ASSERT_EQ(sim_->control("drop 1"), "ok");
    host_->send('1', "WASH(Wash1,1,)");
    EXPECT_FALSE(host_->read_reply(no_reply_wait));
    ASSERT_EQ(sim_->control("drop 0"), "ok");
    auto reply = host_->ask_again();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, "|");
    reply = host_->ask_again();  // and once more for good measure
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, "|");
    EXPECT_EQ(sim_->executed(), std::vector<std::string>{"WASH(Wash1,1,)"});
    EXPECT_EQ(sim_->stats().resends, 2);
    // A new frame (other digit) with the same text is a second wash.
    ASSERT_TRUE(wait_until([&] {
        auto r = host_->ask("GET_ATOM_INFO");
        return r && r->payload == "|";
    }));
    reply = host_->ask("WASH(Wash1,1,)");
    ASSERT_TRUE(reply);
    EXPECT_EQ(sim_->executed().size(), 2u);
}

TEST_F(PtySession, a_late_reply_waits_for_the_resend_and_goes_out_with_its_reply_in_one_write) {
    Options o = options();
    o.faults.late = 1;
    start(o);
    host_->send('1', "WASH(Wash1,1,)");
    EXPECT_FALSE(host_->read_reply(no_reply_wait));
    // The resend: both replies come back to back; the command ran once.
    host_->send('1', "WASH(Wash1,1,)");
    const std::string bytes = host_->read_coming_bytes(milliseconds(100), milliseconds(3000));
    const std::string one = encode_reply("|");
    EXPECT_EQ(bytes, one + one);
    EXPECT_EQ(sim_->executed(), std::vector<std::string>{"WASH(Wash1,1,)"});
    EXPECT_EQ(sim_->stats().late, 1);
    // A new frame instead of a resend withdraws the held reply: it never reaches the host.
    host_->send('2', "GET_STAT");
    EXPECT_FALSE(host_->read_reply(no_reply_wait));
    host_->send('1', "GET_SYR");
    EXPECT_FALSE(host_->read_reply(no_reply_wait)) << "the GET_SYR reply is held in its turn";
    ASSERT_EQ(sim_->control("late 0"), "ok");
    host_->send('1', "GET_SYR");
    EXPECT_EQ(host_->read_coming_bytes(milliseconds(100), milliseconds(3000)),
              encode_reply("10ul\r|") + encode_reply("10ul\r|"));
    const auto transcript = read_lines(dir_ / "transcript.txt");
    EXPECT_EQ(count_with(transcript, "late reply withdrawn"), 1u);
}

TEST_F(PtySession, an_atom_reports_progress_until_its_duration_has_passed) {
    Options o = options();
    o.instrument.atom_ms = {{"ASPIRATE", "400"}};
    start(o);
    const auto started = std::chrono::steady_clock::now();
    auto reply = host_->ask("ASPIRATE(10ul,5000,2000,0,)");
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->payload, "|");
    std::vector<std::string> progress;
    ASSERT_TRUE(wait_until([&] {
        auto r = host_->ask("GET_ATOM_INFO");
        if (!r) return false;
        if (r->payload == "|") return true;
        progress.push_back(r->payload);
        std::this_thread::sleep_for(milliseconds(50));
        return false;
    }));
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_FALSE(progress.empty());
    for (const auto& p : progress) EXPECT_EQ(p.rfind("Aspirating ", 0), 0u) << p;
    EXPECT_GE(took, milliseconds(400));  // done no earlier than its duration
    EXPECT_EQ(host_->ask("GET_STAT")->payload, "READY");
}

TEST_F(PtySession, cancel_aborts_the_running_atom) {
    Options o = options();
    o.instrument.atom_ms = {{"WASH", "60000"}};
    start(o);
    ASSERT_EQ(host_->ask("WASH(Wash2,3,)")->payload, "|");
    EXPECT_EQ(host_->ask("GET_ATOM_INFO")->payload.rfind("Washing", 0), 0u);
    EXPECT_EQ(host_->ask("GET_STAT")->payload, "BUSY");
    EXPECT_EQ(host_->ask("CANCEL")->payload, "|");
    EXPECT_EQ(host_->ask("GET_ATOM_INFO")->payload, "|");
    EXPECT_EQ(host_->ask("GET_STAT")->payload, "READY");
}

TEST_F(PtySession, silent_on_and_off_at_run_time) {
    start(options());
    ASSERT_EQ(sim_->control("silent on"), "ok");
    host_->send('1', "GET_STAT");
    EXPECT_FALSE(host_->read_reply(no_reply_wait));
    ASSERT_EQ(sim_->control("silent off"), "ok");
    const auto reply = host_->ask_again();  // the host's resend
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, "READY");
    EXPECT_EQ(sim_->stats().ignored, 1);
    EXPECT_EQ(sim_->control("silent maybe").rfind("error", 0), 0u);
}

TEST_F(PtySession, silent_after_a_number_of_frames) {
    Options o = options();
    o.silent_after = 2;
    start(o);
    EXPECT_TRUE(host_->ask("GET_STAT"));
    EXPECT_TRUE(host_->ask("GET_STAT"));
    EXPECT_FALSE(host_->ask("GET_STAT", no_reply_wait));
    EXPECT_FALSE(host_->ask_again(no_reply_wait));
    ASSERT_EQ(sim_->control("silent off"), "ok");
    EXPECT_TRUE(host_->ask_again());
}

TEST_F(PtySession, transcript_and_executed_files_are_written) {
    Options o = options();
    o.instrument.atom_ms = {{"MOVE_TO_VIAL", "0"}};
    start(o);
    ASSERT_TRUE(host_->ask("GET_STAT"));
    ASSERT_TRUE(host_->ask("MOVE_TO_VIAL(Tray2,5,10000,)"));
    ASSERT_TRUE(host_->ask_again());
    ASSERT_TRUE(host_->ask("GET_ATOM_INFO"));
    ASSERT_TRUE(host_->ask("WASH(Wash1,1,)"));
    ASSERT_TRUE(host_->ask("DLD_OBJ TRAY;Tray1;VT96;TH-1;0;0;0;4000;AB"));
    host_->write_bytes(
        "\x02"
        "1GET_STAT\x03"
        "00091B");  // a bad frame
    ASSERT_TRUE(wait_until([&] { return sim_->stats().bad_frames == 1; }));
    ASSERT_EQ(sim_->control("dump"), "ok");

    EXPECT_EQ(read_lines(dir_ / "executed.txt"),
              (std::vector<std::string>{"MOVE_TO_VIAL(Tray2,5,10000,)", "WASH(Wash1,1,)"}));
    EXPECT_EQ(read_lines(dir_ / "downloads.txt"),
              std::vector<std::string>{"TRAY;Tray1;VT96;TH-1;0;0;0;4000;AB"});
    const auto t = read_lines(dir_ / "transcript.txt");
    ASSERT_GE(t.size(), 13u);
    EXPECT_NE(t[0].find(" RX <STX>1GET_STAT<ETX>00081B"), std::string::npos) << t[0];
    EXPECT_NE(t[1].find(" TX <STX>READY<ETX>00054B"), std::string::npos) << t[1];
    // Each line starts with the seconds since start.
    EXPECT_EQ(t[0].find('.'), t[0].find(' ') - 4);
    EXPECT_EQ(count_with(t, "# resend"), 1u);
    EXPECT_EQ(count_with(t, "bad frame: length error"), 1u);
    EXPECT_EQ(count_with(t, " RX "), 7u);
    EXPECT_EQ(count_with(t, " TX "), 6u);

    // The files are written again when zorsim ends.
    ASSERT_TRUE(host_->ask("WASH(Wash2,1,)"));
    sim_->stop();
    EXPECT_EQ(read_lines(dir_ / "executed.txt").size(), 3u);
}

TEST_F(PtySession, get_config_carries_the_whole_text_and_set_baud_changes_the_rate) {
    start(options());
    EXPECT_EQ(host_->ask("SET_BAUD 38400")->payload, "|");
    ASSERT_TRUE(wait_until([&] { return sim_->baud() == 38400; }));
    const auto config = host_->ask("GET_CONFIG");
    ASSERT_TRUE(config);
    ASSERT_TRUE(config->good());
    EXPECT_EQ(config->code, "|");
    ASSERT_FALSE(config->lines.empty());
    EXPECT_EQ(config->lines.front(), "[LISTS]");
    EXPECT_EQ(std::count(config->lines.begin(), config->lines.end(), "[ATOMS]"), 1);
    EXPECT_EQ(host_->ask("SET_BAUD 9600")->payload, "|");
    ASSERT_TRUE(wait_until([&] { return sim_->baud() == 9600; }));
    EXPECT_EQ(host_->ask("GET_FW_VERSION")->lines, std::vector<std::string>{"ZR1.0.0150"});
}

TEST_F(PtySession, with_strict_baud_frames_at_the_wrong_rate_go_unheard) {
    Options o = options();
    o.strict_baud = true;
    start(o);
    EXPECT_EQ(host_->ask("SET_BAUD 38400")->payload, "|");
    ASSERT_TRUE(wait_until([&] { return sim_->baud() == 38400; }));
    // The host has not followed: its frames are noise at the instrument's new rate.
    EXPECT_FALSE(host_->ask("GET_STAT", no_reply_wait));
    host_->set_baud(38400);
    const auto reply = host_->ask_again();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, "READY");
    EXPECT_EQ(sim_->stats().ignored, 1);
}

TEST_F(PtySession, control_commands_through_a_fifo) {
    const auto fifo = dir_ / "control.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Options o = options();
    o.control_path = fifo.string();
    start(o);
    {
        std::ofstream out(fifo);
        out << "silent on\n";
    }
    ASSERT_TRUE(wait_until([&] { return sim_->control("status").find("silent=on") != std::string::npos; }));
    {
        std::ofstream out(fifo);  // a second writer after the first has gone
        out << "silent off\nsyringe 25ul\n";
    }
    ASSERT_TRUE(
        wait_until([&] { return sim_->control("status").find("syringe=25ul") != std::string::npos; }));
    EXPECT_EQ(host_->ask("GET_SYR")->lines, std::vector<std::string>{"25ul"});
}

TEST_F(PtySession, the_hosts_xoff_holds_replies_until_xon) {
    start(options());
    host_->write_bytes(std::string(1, XOFF));
    host_->send('1', "GET_STAT");
    EXPECT_FALSE(host_->read_reply(no_reply_wait));
    host_->write_bytes(std::string(1, XON));
    const auto reply = host_->read_reply(milliseconds(3000));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, "READY");
}

TEST_F(PtySession, xoff_during_an_atom_then_xon) {
    Options o = options();
    o.xoff_during_atom = true;
    o.xoff_delay_ms = 0;
    o.xoff_hold_ms = 100;
    o.instrument.atom_ms = {{"WASH", "5000"}};
    start(o);
    ASSERT_EQ(host_->ask("WASH(Wash1,1,)")->payload, "|");
    std::string flow;
    ASSERT_TRUE(wait_until([&] {
        flow += host_->read_until_quiet(milliseconds(20), milliseconds(50));
        return flow.find(XON) != std::string::npos;
    }));
    ASSERT_NE(flow.find(XOFF), std::string::npos);
    EXPECT_LT(flow.find(XOFF), flow.find(XON));
    EXPECT_EQ(host_->ask("CANCEL")->payload, "|");
}

TEST_F(PtySession, the_host_may_close_and_reopen_the_terminal) {
    start(options());
    ASSERT_TRUE(host_->ask("GET_STAT"));
    host_->close();
    host_ = std::make_unique<HostLink>(sim_->slave_path());
    ASSERT_TRUE(host_->is_open());
    const auto reply = host_->ask("GET_STAT");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, "READY");
}

TEST_F(PtySession, error_replies_for_a_named_atom_and_bar_codes_set_at_run_time) {
    Options o = options();
    start(o);
    ASSERT_EQ(sim_->control("error-atom INJECT=E42"), "ok");
    ASSERT_EQ(host_->ask("INJECT(Inj1,0,)")->payload, "|");
    EXPECT_EQ(host_->ask("GET_ATOM_INFO")->payload, "@E42");
    ASSERT_EQ(sim_->control("error-atom off"), "ok");
    ASSERT_EQ(host_->ask("INJECT(Inj1,0,)")->payload, "|");
    EXPECT_EQ(host_->ask("GET_ATOM_INFO")->payload, "|");

    ASSERT_EQ(sim_->control("barcode Tray2 5 A1234567"), "ok");
    ASSERT_EQ(host_->ask("READ_BARCODE(Tray2,5)")->payload, "|");
    EXPECT_EQ(host_->ask("GET_ATOM_INFO")->payload, "@");
    EXPECT_EQ(host_->ask("GET_SPL_ID")->lines, std::vector<std::string>{"A1234567"});
    ASSERT_EQ(sim_->control("unreadable Tray2 5"), "ok");
    ASSERT_EQ(host_->ask("READ_BARCODE(Tray2,5)")->payload, "|");
    EXPECT_EQ(host_->ask("GET_ATOM_INFO")->payload, "Barcode unreadable");
    EXPECT_EQ(host_->ask_again()->payload, "|");

    ASSERT_EQ(sim_->control("syringe 500ul"), "ok");
    EXPECT_EQ(host_->ask("GET_SYR")->lines, std::vector<std::string>{"500ul"});
    EXPECT_EQ(sim_->control("frobnicate").rfind("error", 0), 0u);
}

}  // namespace
}  // namespace zorsim::test
