// The link under faults: garbled and dropped replies during a 200-step method, an instrument
// that goes silent in the middle of a run, XOFF during atom waits, and port changes (one that
// works, one to a port that does not exist).
#include <algorithm>

#include "core/framed_link.h"
#include "core/reply_dispatcher.h"
#include "core/tests/e2e/session_fixture.h"
#include "utilities/settings.h"
#include "utilities/text.h"

namespace core_test {
namespace {

using core::link_state;
using core::run_state;

// A method of n steps, each one atom with its own depth, so the order shows in what ran.
std::vector<std::string> numbered_method(int n) {
    std::vector<std::string> text;
    for (int i = 1; i <= n; ++i) text.push_back("Mv(" + putils::real_to_text(i * 0.1) + ")");
    text.push_back("[MACRO Mv]");
    text.push_back("Depth (mm);1;0;50");
    text.push_back("MOVE_TO_VIAL(Tray1,1,Depth)");
    return text;
}

std::vector<std::string> numbered_atoms(int n) {
    std::vector<std::string> atoms;
    for (int i = 1; i <= n; ++i) atoms.push_back("MOVE_TO_VIAL(Tray1,1," + std::to_string(i * 100) + ",)");
    return atoms;
}

class LinkFaultsE2E : public SessionE2E {
  protected:
    void start(std::vector<std::string> options) {
        options.insert(options.end(), {"--default-atom-ms", "5"});
        start_session(options);
        // A short reply time-out keeps the many resends of these tests quick; the rules are
        // the same at any length.
        link_state().reply_timeout_ticks = 6;
        ASSERT_TRUE(pump_until([] { return link_state().good_replies >= 1; }));
    }
};

class ReplyFaults : public LinkFaultsE2E, public ::testing::WithParamInterface<const char*> {};

TEST_P(ReplyFaults, a_200_step_method_still_runs_every_atom_once_and_in_order) {
    start({"--seed", "7", GetParam(), "0.1"});
    ASSERT_TRUE(start_method_text(numbered_method(200)));
    ASSERT_TRUE(pump_until([] { return hook_count("on_method_finished") == 1; }, 240s));
    EXPECT_EQ(sim->executed(), numbered_atoms(200));
    // The faults really happened and were mended by resends.
    EXPECT_GT(link_state().resends, 5u);
    EXPECT_TRUE(port_errors.empty());
}

INSTANTIATE_TEST_SUITE_P(GarbledOrDropped, ReplyFaults, ::testing::Values("--garble", "--drop"));

TEST_F(LinkFaultsE2E, an_instrument_gone_silent_is_reported_resent_to_and_found_again) {
    start({"--atom-ms", "MOVE_TO_VIAL=300"});
    ASSERT_TRUE(start_method_text(numbered_method(6)));
    ASSERT_TRUE(pump_until([&] { return sim->executed().size() >= 2; }));
    ASSERT_EQ(sim->tell("silent on"), "ok");
    ASSERT_TRUE(pump_until([] { return hook_count("on_disconnected") == 1; }));
    const auto resends_then = link_state().resends;
    ASSERT_TRUE(pump_until([&] { return link_state().resends >= resends_then + 3; }));
    EXPECT_GE(hook_count("on_timeout_message: Lost Connection to Zor!"), 3);
    EXPECT_EQ(form->port.SWFlowOptions(), serial::swfNone);
    EXPECT_TRUE(run_state().run_active);
    ASSERT_EQ(sim->tell("silent off"), "ok");
    ASSERT_TRUE(pump_until([] { return hook_count("on_reconnected") == 1; }));
    EXPECT_EQ(form->port.SWFlowOptions(), serial::swfBoth);
    ASSERT_TRUE(pump_until([] { return hook_count("on_method_finished") == 1; }));
    EXPECT_EQ(sim->executed(), numbered_atoms(6));
    EXPECT_EQ(hook_count("on_disconnected"), 1);
    // The session had answered before, so the rate was never probed.
    EXPECT_EQ(form->port.Baud(), 9600);
}

TEST_F(LinkFaultsE2E, a_device_that_goes_away_is_reported_and_reopened_when_back_without_losing_a_step) {
    start({"--atom-ms", "MOVE_TO_VIAL=300"});
    ASSERT_TRUE(start_method_text(numbered_method(6)));
    ASSERT_TRUE(pump_until([&] { return sim->executed().size() >= 2; }));
    ASSERT_EQ(sim->tell("unplug 1500"), "ok");
    ASSERT_TRUE(pump_until([] { return hook_count("on_disconnected") == 1; }));
    EXPECT_GE(hook_count("on_timeout_message: Lost Connection to Zor!"), 1);
    EXPECT_TRUE(run_state().run_active);
    // The device is looked for again on a timer; a loaded machine can take a while.
    ASSERT_TRUE(pump_until([] { return hook_count("on_reconnected") == 1; }, 60s));
    ASSERT_TRUE(pump_until([] { return hook_count("on_method_finished") == 1; }, 60s));
    EXPECT_EQ(sim->executed(), numbered_atoms(6));
    EXPECT_TRUE(form->port.Open());
    EXPECT_FALSE(form->port.DeviceLost());
    EXPECT_EQ(hook_count("on_disconnected"), 1);
    EXPECT_TRUE(port_errors.empty()) << port_errors.front();
}

TEST_F(LinkFaultsE2E, a_lost_device_whose_line_is_still_closing_is_looked_for_until_it_is_back) {
    start({"--atom-ms", "MOVE_TO_VIAL=300"});
    // The loss is taken up while the port still delivers the time-out that found it, as when the
    // posted message runs before the port's dispatch thread is done: the old line's close then
    // finishes later, and a reopen asked for meanwhile must not count as the device found again.
    form->port.SetOnTriggerTimer([](serial::TSpCustomComPort& port, std::uint16_t handle) {
        core::portTriggerTimer(port, handle);
        if (core::session_state().device_reopen_pending) core::reopen_lost_device();
    });
    ASSERT_TRUE(start_method_text(numbered_method(6)));
    ASSERT_TRUE(pump_until([&] { return sim->executed().size() >= 2; }));
    ASSERT_EQ(sim->tell("unplug 1500"), "ok");
    ASSERT_TRUE(pump_until([] { return hook_count("on_disconnected") == 1; }));
    ASSERT_TRUE(pump_until([] { return hook_count("on_reconnected") == 1; }, 60s));
    ASSERT_TRUE(pump_until([] { return hook_count("on_method_finished") == 1; }, 60s));
    EXPECT_EQ(sim->executed(), numbered_atoms(6));
    EXPECT_TRUE(form->port.Open());
    EXPECT_TRUE(port_errors.empty()) << port_errors.front();
}

TEST_F(LinkFaultsE2E, xoff_during_atom_waits_holds_the_polls_without_losing_steps) {
    start({"--xoff-during-atom", "--xoff-hold-ms", "400", "--atom-ms", "MOVE_TO_VIAL=700"});
    // A GET_ATOM_INFO that went out just as the XOFF came is held until the XON, 400 ms later:
    // the reply time-out must outlast that, or the test would depend on where the poll falls.
    link_state().reply_timeout_ticks = 18;
    ASSERT_TRUE(start_method_text(numbered_method(3)));
    // The atom wait that finds the output held counts instead of polling; seen on the way.
    std::int32_t most_held_waits = 0;
    ASSERT_TRUE(pump_until(
        [&] {
            most_held_waits = std::max(most_held_waits, link_state().timer_retries);
            return hook_count("on_method_finished") == 1;
        },
        60s));
    EXPECT_GE(most_held_waits, 1) << "no atom wait was held back by the XOFF";
    EXPECT_LT(most_held_waits, 20);
    EXPECT_EQ(sim->executed(), numbered_atoms(3));
    EXPECT_EQ(hook_count("on_disconnected"), 0);
    EXPECT_EQ(link_state().resends, 0u);
}

TEST_F(LinkFaultsE2E, an_xoff_held_through_20_atom_waits_is_taken_for_a_lost_reply_and_resent) {
    start({"--xoff-during-atom", "--xoff-hold-ms", "60000", "--atom-ms", "MOVE_TO_VIAL=700"});
    ASSERT_TRUE(start_method_text(numbered_method(2)));
    std::int32_t most_held_waits = 0;
    ASSERT_TRUE(pump_until(
        [&] {
            most_held_waits = std::max(most_held_waits, link_state().timer_retries);
            return hook_count("on_disconnected") == 1;
        },
        60s));
    // Sampled between messages, so a loaded machine may skip a count or two.
    EXPECT_GE(most_held_waits, 15) << "the resend comes at the 20th held wait";
    EXPECT_EQ(link_state().resends, 1u);
    // Software flow control is off until the instrument answers, so the resend goes out.
    ASSERT_TRUE(pump_until([] { return hook_count("on_reconnected") >= 1; }));
    ASSERT_TRUE(pump_until([] { return hook_count("on_method_finished") == 1; }, 90s));
    EXPECT_EQ(sim->executed(), numbered_atoms(2));
}

TEST_F(LinkFaultsE2E, get_stat_answered_error_polls_the_atom_and_goes_on) {
    start({"--atom-ms", "MOVE_TO_VIAL=200"});
    // Idle: the ERROR reply makes the session ask for the atom's state, then idle polling goes on.
    ASSERT_EQ(sim->tell("stat-error 1"), "ok");
    ASSERT_TRUE(pump_until([&] { return count_sent("GET_ATOM_INFO") >= 1; }));
    ASSERT_TRUE(wait_for_replies(2));
    EXPECT_TRUE(pump_until([] { return idle(); }));
    const auto transcript = sim->transcript();
    const auto error_at = std::find_if(transcript.begin(), transcript.end(), [](const std::string& l) {
        return l.find("TX <STX>ERROR<ETX>") != std::string::npos;
    });
    ASSERT_NE(error_at, transcript.end());
    const auto next_rx = std::find_if(
        error_at, transcript.end(), [](const std::string& l) { return l.find(" RX ") != std::string::npos; });
    ASSERT_NE(next_rx, transcript.end());
    EXPECT_NE(next_rx->find("GET_ATOM_INFO"), std::string::npos) << *next_rx;
    // In a run: the run neither stops nor skips a step.
    ASSERT_EQ(sim->tell("stat-error 2"), "ok");
    ASSERT_TRUE(start_method_text(numbered_method(3)));
    ASSERT_TRUE(pump_until([] { return hook_count("on_method_finished") == 1; }, 60s));
    EXPECT_EQ(sim->executed(), numbered_atoms(3));
    EXPECT_TRUE(port_errors.empty());
}

TEST_F(LinkFaultsE2E, a_port_change_moves_the_session_to_the_new_port) {
    start({});
    ::setenv("ZOR_COM2", sim->link_path().c_str(), 1);
    putils::write_port_setting(2);
    core::session_state().port_change_requested = true;
    ASSERT_TRUE(pump_until([&] { return form->port.ComNumber() == 2; }));
    ASSERT_TRUE(wait_for_replies(2));
    EXPECT_TRUE(form->port.Open());
    EXPECT_TRUE(core::session_state().connected);
    EXPECT_TRUE(interaction->boxes().empty());
    EXPECT_TRUE(pump_until([] { return idle(); }));
}

TEST_F(LinkFaultsE2E, a_port_change_to_a_missing_port_stays_on_the_old_one_and_keeps_polling) {
    start({});
    ::setenv("ZOR_COM9", (folder / "no-such-terminal").c_str(), 1);
    putils::write_port_setting(9);
    core::session_state().port_change_requested = true;
    ASSERT_TRUE(pump_until([&] { return interaction->boxes().size() == 1; }));
    EXPECT_EQ(interaction->boxes()[0].request.text, "Port is not available9; still on port 1");
    ASSERT_TRUE(wait_for_replies(3));
    EXPECT_EQ(form->port.ComNumber(), 1);
    EXPECT_TRUE(core::session_state().connected);
}

TEST_F(LinkFaultsE2E, a_port_change_during_a_time_out_resends_on_the_new_port) {
    start({});
    ::setenv("ZOR_COM2", sim->link_path().c_str(), 1);
    ASSERT_EQ(sim->tell("silent on"), "ok");
    ASSERT_TRUE(pump_until([] { return hook_count("on_disconnected") == 1; }));
    putils::write_port_setting(2);
    core::session_state().port_change_requested = true;
    ASSERT_TRUE(pump_until([&] { return form->port.ComNumber() == 2; }));
    ASSERT_EQ(sim->tell("silent off"), "ok");
    ASSERT_TRUE(pump_until([] { return hook_count("on_reconnected") == 1; }));
    ASSERT_TRUE(wait_for_replies(2));
    EXPECT_TRUE(pump_until([] { return idle(); }));
}

}  // namespace
}  // namespace core_test
