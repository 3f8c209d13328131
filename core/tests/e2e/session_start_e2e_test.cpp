// Session start against zorsim: the port opens, idle polling runs, frames carry alternating
// digits, the configuration upload fills the model and the cache, the syringe query, the baud
// probe of a session whose instrument does not answer at first.
#include <algorithm>

#include "core/framed_link.h"
#include "core/step_queue.h"
#include "core/step_sequences.h"
#include "core/tests/e2e/session_fixture.h"
#include "core/uilib.h"
#include "platform/kernel/kernel.h"
#include "serial/win32_dispatcher.h"

namespace core_test {
namespace {

using core::link_state;
using core::session_state;

TEST_F(SessionE2E, opens_the_port_and_polls_the_idle_instrument_every_nine_ticks) {
    start_session();
    EXPECT_EQ(link_state().polling_ticks, 9);
    EXPECT_EQ(link_state().reply_timeout_ticks, 54);
    ASSERT_TRUE(wait_for_replies(3));
    const auto frames = sent();
    ASSERT_GE(frames.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(frames[i].command, "GET_STAT");
    // The first frame after start carries "1", the next ones alternate.
    EXPECT_EQ(frames[0].digit, '1');
    EXPECT_EQ(frames[1].digit, '2');
    EXPECT_EQ(frames[2].digit, '1');
    EXPECT_NE(sim->transcript()[0].find("<STX>1GET_STAT<ETX>00081B"), std::string::npos);
    EXPECT_GE(hook_count("on_idle_poll"), 3);
    EXPECT_EQ(hook_count("on_disconnected"), 0);
    EXPECT_TRUE(pump_until([] { return idle(); }));
}

TEST_F(SessionE2E, a_second_connect_does_nothing_and_a_failed_one_is_tried_again) {
    ::setenv("ZOR_COM9", (folder / "no-such-terminal").c_str(), 1);
    putils::write_port_setting(9);
    start_session({}, false);
    core::connect_port();
    EXPECT_FALSE(session_state().connected);
    ASSERT_EQ(interaction->boxes().size(), 1u);
    EXPECT_EQ(interaction->boxes()[0].request.text, "Port is not available9");
    putils::write_port_setting(1);
    core::connect_port();
    EXPECT_TRUE(session_state().connected);
    ASSERT_TRUE(wait_for_replies(1));
    core::connect_port();
    EXPECT_TRUE(wait_for_replies(2));
    EXPECT_EQ(interaction->boxes().size(), 1u);
}

TEST_F(SessionE2E, the_configuration_upload_switches_rates_fills_the_model_and_writes_the_cache) {
    std::filesystem::remove(folder / "latest_zor.pol");
    core::reset_config_model();
    start_session({"--strict-baud", "--fw-version", "ZR1.0.0150"});
    std::vector<int> progress;
    int begun = 0, ended = 0;
    session_state().config_progress.begin = [&](int max) { begun = max; };
    session_state().config_progress.progress = [&](int lines) { progress.push_back(lines); };
    session_state().config_progress.end = [&] { ++ended; };
    ASSERT_TRUE(wait_for_replies(1));
    core::queue_reload_sequence();
    ASSERT_TRUE(pump_until([] { return hook_count("on_firmware_version") == 1; }));
    EXPECT_EQ(session_state().uploading, 0);
    EXPECT_EQ(session_state().firmware_version, "ZR1.0.0150");
    EXPECT_EQ(begun, 520);
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(progress.empty());

    const auto commands = sent_commands_without_polls();
    const std::vector<std::string> upload = {"SET_BAUD 38400", "GET_CONFIG", "SET_BAUD 9600",
                                             "GET_FW_VERSION"};
    EXPECT_EQ(commands, upload);
    // The cache holds exactly the instrument's lines, and the model was read from them.
    const auto cached = read_file_lines(folder / "latest_zor.pol");
    const auto served = read_file_lines(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol");
    EXPECT_EQ(cached, served);
    EXPECT_LT(core::find_atom("ASPIRATE"), core::config_model().atom_count);
    EXPECT_EQ(hook_count("on_config_received"), 1);
    EXPECT_EQ(form->port.Baud(), 9600);
    // No frame was lost to a rate change: nothing was resent.
    EXPECT_EQ(link_state().resends, 0u);
    ASSERT_TRUE(wait_for_replies(2));
    EXPECT_TRUE(pump_until([] { return idle(); }));
}

TEST_F(SessionE2E, a_configuration_that_does_not_read_keeps_the_last_good_cache) {
    // The instrument serves a text whose [ATOMS] section is missing.
    const auto good = read_file_lines(folder / "latest_zor.pol");
    {
        std::ofstream bad(folder / "bad.pol", std::ios::binary);
        for (const auto& line : good) {
            if (line == "[ATOMS]") break;
            bad << line << "\r\n";
        }
    }
    start_session({"--config", (folder / "bad.pol").string()});
    ASSERT_TRUE(wait_for_replies(1));
    core::queue_reload_sequence();
    ASSERT_TRUE(pump_until([] { return hook_count("on_firmware_version") == 1; }));
    EXPECT_EQ(read_file_lines(folder / "latest_zor.pol"), good);
    EXPECT_LT(core::find_atom("ASPIRATE"), core::config_model().atom_count);
    EXPECT_EQ(hook_count("on_config_received"), 0);
    EXPECT_EQ(interaction->boxes().size(), 1u);  // the reader's own message
    EXPECT_EQ(form->port.Baud(), 9600);
}

TEST_F(SessionE2E, the_syringe_query_stores_the_mounted_syringe_and_runs_its_continuation) {
    start_session({"--syringe", "100ul"});
    ASSERT_TRUE(wait_for_replies(1));
    int continued = 0;
    std::string seen;
    core::queue_get_syringe([&] {
        ++continued;
        seen = core::mounted_syringe();
    });
    ASSERT_TRUE(pump_until([&] { return continued == 1; }));
    EXPECT_EQ(seen, "100ul");
    EXPECT_EQ(core::run_variables().mounted_syringe, "100ul");
    EXPECT_EQ(count_sent("GET_SYR"), 1);
    ASSERT_TRUE(wait_for_replies(1));
    EXPECT_EQ(continued, 1);
}

TEST_F(SessionE2E, a_continuation_that_asks_again_sends_the_syringe_query_again) {
    start_session();
    ASSERT_TRUE(wait_for_replies(1));
    int runs = 0;
    core::queue_get_syringe([&] {
        if (++runs == 1) core::step_queue().position = -1;
    });
    ASSERT_TRUE(pump_until([&] { return runs == 2; }));
    EXPECT_EQ(count_sent("GET_SYR"), 2);
}

TEST_F(SessionE2E, a_sequence_installed_while_another_runs_starts_from_its_first_step) {
    start_session();
    ASSERT_TRUE(wait_for_replies(1));
    int cleanup_done = 0;
    core::queue_get_syringe([&] {
        // Installed from inside a step: its first step must not be skipped.
        core::queue_cleanup();
        ++cleanup_done;
    });
    ASSERT_TRUE(pump_until([] { return hook_count("on_reset_done") == 1; }, 30s));
    EXPECT_EQ(cleanup_done, 1);
    EXPECT_EQ(count_sent("CLEANUP(Wash1,1,1,1,1,1,1,1)"), 1);
}

TEST_F(SessionE2E, a_reply_arriving_byte_by_byte_wakes_the_port_a_few_times_not_once_a_byte) {
    start_session({"--pace"});  // zorsim lets out one byte per 10 bit times at 9600 baud
    ASSERT_TRUE(wait_for_replies(1));
    auto* dispatcher = dynamic_cast<serial::TSpWin32Dispatcher*>(form->port.Dispatcher());
    ASSERT_NE(dispatcher, nullptr);
    const std::uint64_t events = dispatcher->DeviceEventCount();
    ASSERT_TRUE(wait_for_replies(4));  // READY to four polls: 13 bytes each
    // The port is told how many bytes can complete the frame under way (9 from its start, then
    // what its trailer still lacks): about two events a reply, where every byte (13 a reply) was
    // one before. A busy machine may split a reply's bytes into a few more reads.
    EXPECT_LT(dispatcher->DeviceEventCount() - events, 4u * 13 / 2);
    EXPECT_EQ(link_state().bad_frames, 0u);
    EXPECT_TRUE(idle());
}

TEST_F(SessionE2E, a_command_after_a_rate_change_waits_out_the_whole_pause_and_then_goes_once) {
    start_session();
    ASSERT_TRUE(wait_for_replies(1));
    const auto sent_before = link_state().frames_sent;
    const std::uint64_t begun = platform::kernel::monotonic_ms();
    core::hold_until_rate_settled();
    core::send_command("POS_STAT");
    EXPECT_EQ(link_state().frames_sent, sent_before);
    EXPECT_EQ(link_state().held_command, "POS_STAT");
    // Nothing of the port's may expire meanwhile: the idle poll is off until the command is out.
    EXPECT_FALSE(link_state().timer_armed);
    ASSERT_TRUE(pump_until([&] { return link_state().frames_sent > sent_before; }));
    EXPECT_GE(link_state().last_send_ms - begun, static_cast<std::uint64_t>(core::rate_change_settle_ms));
    EXPECT_EQ(link_state().last_sent, "POS_STAT");
    EXPECT_TRUE(link_state().held_command.empty());
    ASSERT_TRUE(wait_for_replies(2));
    EXPECT_EQ(count_sent("POS_STAT"), 1);
    EXPECT_TRUE(idle());
}

TEST_F(SessionE2E, a_silent_instrument_at_start_is_probed_at_38400_then_9600_and_found_again) {
    start_session({"--silent-after", "0"});
    ASSERT_TRUE(pump_until([] { return hook_count("on_disconnected") == 1; }, 10s));
    EXPECT_EQ(form->port.Baud(), 38400);
    ASSERT_TRUE(pump_until([] { return hook_count("on_baud_fallback") == 1; }, 10s));
    EXPECT_EQ(form->port.Baud(), 9600);
    ASSERT_TRUE(pump_until([] { return link_state().resends >= 3; }, 10s));
    EXPECT_EQ(form->port.Baud(), 9600);  // a third time-out only resends
    EXPECT_EQ(hook_count("on_baud_fallback"), 1);
    EXPECT_EQ(hook_count("on_disconnected"), 1);
    EXPECT_GE(hook_count("on_timeout_message: Lost Connection to Zor!"), 3);
    // Every resend repeats the lost frame's digit.
    for (const auto& f : sent()) EXPECT_EQ(f.digit, '1') << f.command;
    EXPECT_EQ(sim->tell("silent off"), "ok");
    ASSERT_TRUE(pump_until([] { return hook_count("on_reconnected") == 1; }, 10s));
    EXPECT_EQ(form->port.SWFlowOptions(), serial::swfBoth);
    ASSERT_TRUE(wait_for_replies(2));
    EXPECT_TRUE(pump_until([] { return idle(); }));
}

}  // namespace
}  // namespace core_test
