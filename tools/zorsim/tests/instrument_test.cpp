// The instrument's answers, driven directly with a clock of the test's own.
#include <gtest/gtest.h>

#include "tools/zorsim/builtin_config.h"
#include "tools/zorsim/command_check.h"
#include "tools/zorsim/frame_codec.h"
#include "tools/zorsim/instrument.h"

namespace zorsim {
namespace {

using std::chrono::milliseconds;

class InstrumentTest : public ::testing::Test {
  protected:
    Instrument make(InstrumentSettings s = {}) {
        return Instrument(ConfigText::from_text(builtin_config_text()), std::move(s));
    }
    // A new command: the digit alternates as the host's does.
    std::string ask(Instrument& in, const std::string& command, milliseconds at = milliseconds(0)) {
        digit_ = digit_ == '1' ? '2' : '1';
        return in.handle(digit_, command, t0_ + at).payload;
    }
    // The same frame again, as after a lost reply.
    Reply again(Instrument& in, const std::string& command, milliseconds at = milliseconds(0)) {
        return in.handle(digit_, command, t0_ + at);
    }

    Clock::time_point t0_ = Clock::now();
    char digit_ = '2';
};

TEST_F(InstrumentTest, answers_the_fixed_queries) {
    InstrumentSettings s;
    s.syringe = "100ul";
    s.firmware = "ZR2.0.0001";
    auto in = make(s);
    EXPECT_EQ(ask(in, "GET_STAT"), "READY");
    EXPECT_EQ(ask(in, "GET_SYR"), "100ul\r|");
    EXPECT_EQ(ask(in, "GET_FW_VERSION"), "ZR2.0.0001\r|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO"), "|");
    EXPECT_EQ(ask(in, "POS_STAT"), "|");
    in.set_syringe("25ul");
    EXPECT_EQ(ask(in, "GET_SYR"), "25ul\r|");
    EXPECT_EQ(make().syringe(), "10ul");  // the first syringe of the configuration
}

TEST_F(InstrumentTest, get_config_sends_every_line_with_cr_and_ends_with_the_code) {
    auto in = make();
    const std::string payload = ask(in, "GET_CONFIG");
    std::string expected;
    for (const auto& line : in.config().lines()) expected += line + "\r";
    EXPECT_EQ(payload, expected + "|");
    EXPECT_EQ(payload.substr(0, 8), "[LISTS]\r");
    EXPECT_EQ(forbidden_frame_byte(payload), 0);
    EXPECT_LE(payload.size(), max_frame_text);
}

TEST_F(InstrumentTest, an_atom_runs_for_its_duration_with_progress_and_then_reports_done) {
    InstrumentSettings s;
    s.atom_ms = {{"WASH", "1000"}};
    auto in = make(s);
    EXPECT_EQ(ask(in, "WASH(Wash1,1,)"), "|");
    EXPECT_EQ(in.running_atom(t0_ + milliseconds(10)), "WASH(Wash1,1,)");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(100)), "Washing 10%");
    EXPECT_EQ(ask(in, "GET_STAT", milliseconds(200)), "BUSY");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(999)), "Washing 99%");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(1000)), "|");
    EXPECT_EQ(ask(in, "GET_STAT", milliseconds(1001)), "READY");
    EXPECT_EQ(in.executed(), std::vector<std::string>{"WASH(Wash1,1,)"});
}

TEST_F(InstrumentTest, a_resend_gets_the_same_answer_and_executes_nothing) {
    InstrumentSettings s;
    s.atom_ms = {{"ASPIRATE", "500"}};
    auto in = make(s);
    EXPECT_EQ(ask(in, "ASPIRATE(10ul,5000,2000,0,)"), "|");
    const Reply r = again(in, "ASPIRATE(10ul,5000,2000,0,)", milliseconds(3000));
    EXPECT_TRUE(r.resend);
    EXPECT_FALSE(r.atom_started);
    EXPECT_EQ(r.payload, "|");
    EXPECT_EQ(in.executed().size(), 1u);
    // A progress reply repeated keeps its text even though time went on.
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(250)), "Aspirating 50%");
    EXPECT_EQ(again(in, "GET_ATOM_INFO", milliseconds(3250)).payload, "Aspirating 50%");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(3300)), "|");
    // The same text with the other digit is a new command: the atom runs again.
    EXPECT_EQ(ask(in, "ASPIRATE(10ul,5000,2000,0,)", milliseconds(4000)), "|");
    EXPECT_EQ(in.executed().size(), 2u);
}

TEST_F(InstrumentTest, cancel_stops_the_atom_at_once) {
    InstrumentSettings s;
    s.atom_ms = {{"WAIT", "60000"}};
    auto in = make(s);
    EXPECT_EQ(ask(in, "WAIT(600,)"), "|");
    EXPECT_EQ(ask(in, "CANCEL", milliseconds(100)), "|");
    EXPECT_EQ(ask(in, "GET_STAT", milliseconds(110)), "READY");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(120)), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(130)), "|");
    EXPECT_EQ(ask(in, "CANCEL", milliseconds(140)), "|");  // nothing runs: still acknowledged
}

TEST_F(InstrumentTest, an_error_atom_fails_at_its_end_with_its_code) {
    InstrumentSettings s;
    s.atom_ms = {{"ASPIRATE", "100"}};
    s.error_atoms = {{"aspirate", "17"}};
    auto in = make(s);
    EXPECT_EQ(ask(in, "ASPIRATE(10ul,5000,2000,0,)"), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(50)), "Aspirating 50%");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(100)), "@17");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(110)), "|");
    in.clear_error_atoms();
    EXPECT_EQ(ask(in, "ASPIRATE(10ul,5000,2000,0,)", milliseconds(200)), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(300)), "|");
    in.set_error_atom("WASH", "");
    EXPECT_EQ(ask(in, "WASH(Wash1,1,)", milliseconds(400)), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(1400)), "@" + std::string(default_error_code));
}

TEST_F(InstrumentTest, commands_with_wrong_values_are_refused_and_not_executed) {
    auto in = make();
    const std::pair<const char*, int> cases[] = {
        {"WASH(Nowhere,1,)", error_bad_object},
        {"WASH(Tray1,1,)", error_bad_object},  // a tray is no wash station
        {"WASH(Wash1,,)", error_missing_value},
        {"WASH(Wash1,1,2,)", error_too_many_values},
        {"WASH(Wash1,1.5,)", error_not_a_number},
        {"WASH(Wash1,11,)", error_out_of_range},   // Cycles 1..10
        {"INJECT(Inj1,2,)", error_out_of_range},   // list 2 has items 0 and 1
        {"INJECT(Inj1,-1,)", error_out_of_range},  // the driver sends -1 for an unknown item
        {"MOVE_TO_VIAL(Tray2,5,60000,)", error_out_of_range},
        {"WASH(Wash1,1", error_malformed},
    };
    for (const auto& [command, code] : cases) {
        EXPECT_EQ(ask(in, command), "@" + std::to_string(code)) << command;
    }
    EXPECT_TRUE(in.executed().empty());
    // Optional values may be left out; the driver's truncation may land one unit past a limit.
    EXPECT_EQ(ask(in, "ASPIRATE(10ul,5000,99,,)", milliseconds(5000)), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(7000)), "|");
    EXPECT_EQ(ask(in, "CLEANUP(Wash1,1,1,1,1,1,1,1)", milliseconds(8000)), "|");
    EXPECT_EQ(in.executed().size(), 2u);
}

TEST_F(InstrumentTest, a_second_atom_while_one_runs_is_refused) {
    InstrumentSettings s;
    s.atom_ms = {{"WASH", "1000"}};
    auto in = make(s);
    EXPECT_EQ(ask(in, "WASH(Wash1,1,)"), "|");
    EXPECT_EQ(ask(in, "WASH(Wash2,1,)", milliseconds(10)), "@" + std::to_string(error_atom_running));
    EXPECT_EQ(ask(in, "WASH(Wash2,1,)", milliseconds(1000)), "|");
    EXPECT_EQ(in.executed().size(), 2u);
}

TEST_F(InstrumentTest, bar_codes_are_read_or_reported_unreadable) {
    InstrumentSettings s;
    s.atom_ms = {{"READ_BARCODE", "100"}};
    s.barcodes = {{"Tray2", 5, "A1234567"}, {"Tray2", 6, ""}};
    auto in = make(s);
    // Readable: "@" at the end, then GET_SPL_ID gives the code.
    EXPECT_EQ(ask(in, "READ_BARCODE(Tray2,5)"), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(10)), "Reading barcode 10%");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(100)), "@");
    EXPECT_EQ(ask(in, "GET_SPL_ID", milliseconds(110)), "A1234567\r|");
    // Unreadable: the progress text the host looks for, once; the host then lets its timer run out
    // and resends GET_ATOM_INFO, which finds the atom over.
    EXPECT_EQ(ask(in, "READ_BARCODE(Tray2,6)", milliseconds(200)), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(300)), "Barcode unreadable");
    EXPECT_EQ(again(in, "GET_ATOM_INFO", milliseconds(3300)).payload, "|");
    EXPECT_EQ(ask(in, "GET_SPL_ID", milliseconds(3400)), "Unreadable\r|");
    // Other vials read as tray name and number; codes change at run time.
    in.set_barcode("Tray1", 12, "XYZ");
    EXPECT_EQ(ask(in, "READ_BARCODE(Tray1,12)", milliseconds(4000)), "|");
    EXPECT_EQ(ask(in, "GET_SPL_ID", milliseconds(4010)), "XYZ\r|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(4100)), "@");
    EXPECT_EQ(ask(in, "READ_BARCODE(Tray1,7)", milliseconds(5000)), "|");
    EXPECT_EQ(ask(in, "GET_SPL_ID", milliseconds(5010)), "Tray1-007\r|");
}

TEST_F(InstrumentTest, a_bar_code_error_ends_the_unreadable_read_with_an_acknowledge) {
    InstrumentSettings s;
    s.atom_ms = {{"READ_BARCODE", "100"}};
    auto in = make(s);
    in.set_barcode_error("Tray2", 7);
    EXPECT_EQ(ask(in, "READ_BARCODE(Tray2,7)"), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(200)), "Barcode unreadable");
    EXPECT_EQ(again(in, "GET_ATOM_INFO", milliseconds(3200)).payload, "@");
    EXPECT_EQ(ask(in, "GET_SPL_ID", milliseconds(3300)), "Unreadable\r|");
    // A plain unreadable vial still ends with "|"; a bar code set afterwards reads again.
    in.set_unreadable("Tray2", 7);
    EXPECT_EQ(ask(in, "READ_BARCODE(Tray2,7)", milliseconds(4000)), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(4200)), "Barcode unreadable");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(4300)), "|");
    in.set_barcode("Tray2", 7, "B7");
    EXPECT_EQ(ask(in, "READ_BARCODE(Tray2,7)", milliseconds(5000)), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(5200)), "@");
    EXPECT_EQ(ask(in, "GET_SPL_ID", milliseconds(5300)), "B7\r|");
}

TEST_F(InstrumentTest, without_a_bar_code_atom_the_read_is_acknowledged_at_once) {
    const std::string config = std::string(builtin_config_text());
    const std::size_t at = config.find("!READ_BARCODE");
    ASSERT_NE(at, std::string::npos);
    std::string without = config;
    without.replace(at, 1, "!X");  // renames the atom
    InstrumentSettings s;
    s.barcodes = {{"Tray2", 5, "A1234567"}};
    Instrument in(ConfigText::from_text(without), s);
    EXPECT_EQ(ask(in, "READ_BARCODE(Tray2,5)"), "@");
    EXPECT_EQ(ask(in, "GET_SPL_ID"), "A1234567\r|");
}

TEST_F(InstrumentTest, wait_sync_sig_ends_with_an_acknowledgement) {
    InstrumentSettings s;
    s.atom_ms = {{"WAIT_SYNC_SIG", "200"}};
    auto in = make(s);
    EXPECT_EQ(ask(in, "WAIT_SYNC_SIG(Start In,)"), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(100)), "Waiting for sync signal 0%");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(200)), "@");
    // Waiting for the control command instead of the clock.
    in.set_manual_sync(true);
    EXPECT_FALSE(in.give_sync_signal());
    EXPECT_EQ(ask(in, "WAIT_SYNC_SIG(Start In,)", milliseconds(300)), "|");
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(60000)), "Waiting for sync signal 0%");
    EXPECT_TRUE(in.give_sync_signal());
    EXPECT_EQ(ask(in, "GET_ATOM_INFO", milliseconds(60001)), "@");
}

TEST_F(InstrumentTest, set_baud_switches_after_its_reply_and_refuses_other_rates) {
    auto in = make();
    digit_ = '2';
    const Reply up = in.handle('1', "SET_BAUD 38400", t0_);
    EXPECT_EQ(up.payload, "|");
    EXPECT_EQ(up.baud_after, 38400);
    EXPECT_EQ(in.handle('2', "SET_BAUD 9600", t0_).baud_after, 9600);
    EXPECT_EQ(in.handle('1', "SET_BAUD 19200", t0_).payload, "@" + std::to_string(error_bad_baud));
}

TEST_F(InstrumentTest, dld_obj_stores_the_object_line_and_get_config_reflects_it) {
    auto in = make();
    EXPECT_EQ(ask(in, "DLD_OBJ TRAY;Tray1;VT54R;TH-1;0;0;0;4000;AB"), "|");
    EXPECT_EQ(in.downloads(), std::vector<std::string>{"TRAY;Tray1;VT54R;TH-1;0;0;0;4000;AB"});
    const std::string config = ask(in, "GET_CONFIG");
    EXPECT_NE(config.find("\rTRAY;Tray1;VT54R;TH-1;0;0;0;4000;AB\r"), std::string::npos);
    EXPECT_EQ(config.find("TRAY;Tray1;VT96;"), std::string::npos);
    EXPECT_EQ(ask(in, "DLD_OBJ TRAY;Tray1;NOTYPE;TH-1;0;0;0;4000;AB"),
              "@" + std::to_string(error_bad_download));
    EXPECT_EQ(in.downloads().size(), 1u);
}

TEST_F(InstrumentTest, clean_up_without_an_atom_keeps_the_instrument_busy_for_a_while) {
    const std::string config = std::string(builtin_config_text());
    std::string without = config;
    without.replace(without.find("!CLEANUP"), 1, "!X");
    InstrumentSettings s;
    s.atom_ms = {{"CLEANUP", "500"}};
    Instrument in(ConfigText::from_text(without), s);
    EXPECT_EQ(ask(in, "CLEANUP(Wash1,1,1,1,1,1,1,1)"), "|");
    EXPECT_EQ(ask(in, "GET_STAT", milliseconds(100)), "BUSY");
    EXPECT_EQ(ask(in, "GET_STAT", milliseconds(500)), "READY");
    in.force_busy(2);
    EXPECT_EQ(ask(in, "GET_STAT", milliseconds(600)), "BUSY");
    EXPECT_EQ(ask(in, "GET_STAT", milliseconds(700)), "BUSY");
    EXPECT_EQ(ask(in, "GET_STAT", milliseconds(800)), "READY");
}

TEST_F(InstrumentTest, lines_that_are_no_commands_are_acknowledged) {
    auto in = make();
    EXPECT_EQ(ask(in, "SOMETHING_ELSE(1,2)"), "|");
    EXPECT_TRUE(in.executed().empty());
}

}  // namespace
}  // namespace zorsim
