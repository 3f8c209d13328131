// Method runs against zorsim: REPEAT and WAIT_FOR_DS, every atom once and in order; a stop
// request; instrument errors in a run (Abort, Retry, Ignore through the error macros) and
// outside one; SL EXIT.
#include "core/barcode.h"
#include "core/step_queue.h"
#include "core/step_sequences.h"
#include "core/tests/e2e/session_fixture.h"

namespace core_test {
namespace {

using core::run_state;
namespace forms = platform::forms;

// A method with a loop, a wait for the data system and a METHOD EXIT part.
const std::vector<std::string> sample_method = {
    "Prep()",
    "Load(SL.tray)",
    "Inject(Inj1)",
    "[MACRO Prep]",
    "REPEAT(2)",
    "WASH(Wash1,1)",
    "END()",
    "[MACRO Load]",
    "Tray;TRAY",
    "MOVE_TO_VIAL(Tray,SL.index,10)",
    "ASPIRATE(SYR,1,2,0)",
    "[MACRO Inject]",
    "Injector;INJECTOR",
    "WAIT_FOR_DS()",
    "INJECT(Injector,Needle)",
    "[MACRO METHOD EXIT]",
    "WASH(Wash2,2)",
};

const std::vector<std::string> sample_atoms = {
    "WASH(Wash1,1,)",  "WASH(Wash1,1,)", "MOVE_TO_VIAL(Tray2,5,10000,)", "ASPIRATE(10ul,1000,2000,0,)",
    "INJECT(Inj1,0,)", "WASH(Wash2,2,)",
};

class MethodRunE2E : public SessionE2E {
  protected:
    void start(std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--default-atom-ms", "60", "--syringe", "10ul"});
        start_session(options);
        core::run_variables().sample_tray = "Tray2";
        core::run_variables().sample_index = 5;
        core::mounted_syringe() = "10ul";
        ASSERT_TRUE(wait_for_replies(1));
    }
    bool finished() const { return hook_count("on_method_finished") == 1; }
};

TEST_F(MethodRunE2E, a_method_with_repeat_and_wait_for_ds_runs_every_atom_once_in_order) {
    start({"--atom-ms", "MOVE_TO_VIAL=800"});
    ASSERT_TRUE(start_method_text(sample_method));
    EXPECT_EQ(hook_count("on_run_started"), 1);
    // A start given before the wait is reached does not count.
    core::set_go_flag();
    ASSERT_TRUE(pump_until([] { return hook_count("on_waiting_for_ds") == 1; }));
    EXPECT_FALSE(run_state().go_flag);
    ASSERT_TRUE(wait_for_replies(3));
    EXPECT_TRUE(run_state().waiting_for_ds);
    EXPECT_EQ(sim->executed(), std::vector<std::string>(sample_atoms.begin(), sample_atoms.begin() + 4));
    core::set_go_flag();
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    EXPECT_EQ(hook_count("on_ds_ready"), 1);
    EXPECT_FALSE(run_state().run_active);
    EXPECT_EQ(sim->executed(), sample_atoms);
    // Each atom went out once (no resends), and progress came through the status hook.
    EXPECT_EQ(core::link_state().resends, 0u);
    EXPECT_GE(hook_count("on_status_text"), 1);
    ASSERT_TRUE(wait_for_replies(1));
    EXPECT_TRUE(pump_until([] { return idle(); }));
}

TEST_F(MethodRunE2E, the_sync_signal_is_reported_when_its_wait_is_acknowledged) {
    start({"--manual-sync"});
    ASSERT_TRUE(start_method_text({"Sync()", "[MACRO Sync]", "WAIT_SYNC_SIG(Start In)"}));
    ASSERT_TRUE(pump_until([&] { return !sim->executed().empty(); }));
    ASSERT_TRUE(wait_for_replies(3));
    EXPECT_EQ(hook_count("on_sync_signal"), 0);
    EXPECT_FALSE(finished());
    ASSERT_EQ(sim->tell("sync"), "ok");
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    EXPECT_EQ(hook_count("on_sync_signal"), 1);
    EXPECT_EQ(run_state().status_text, "Saw Sync Signal");
    EXPECT_EQ(sim->executed(), std::vector<std::string>{"WAIT_SYNC_SIG(Start In,)"});
}

TEST_F(MethodRunE2E, a_start_while_the_run_waits_sends_the_next_poll_at_once) {
    start();
    ASSERT_TRUE(start_method_text(sample_method));
    ASSERT_TRUE(pump_until([] { return hook_count("on_waiting_for_ds") == 1; }));
    // From the next poll on the interval is 55 s: the run can only go on by a poll sent at the
    // start.
    core::link_state().polling_ticks = 1000;
    ASSERT_TRUE(wait_for_replies(1));
    ASSERT_EQ(core::link_state().timer_mode, core::TimerMode::idle_poll);
    const auto frames = core::link_state().frames_sent;
    core::set_go_flag();
    EXPECT_EQ(core::link_state().frames_sent, frames + 1);
    EXPECT_EQ(core::link_state().last_sent, "GET_STAT");
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    EXPECT_EQ(sim->executed(), sample_atoms);
    EXPECT_EQ(core::link_state().resends, 0u);
}

TEST_F(MethodRunE2E, the_hidden_debug_page_gets_the_run_lists_when_it_is_shown) {
    start();
    ASSERT_TRUE(start_method_text(sample_method));
    EXPECT_EQ(form->cmd_list->Items.count(), 0);  // nobody sees them: not copied
    form->Show();
    EXPECT_EQ(form->cmd_list->Items.count(), static_cast<int>(core::run_state().cmd_list.size()));
    EXPECT_EQ(form->expanded_method->Items.count(),
              static_cast<int>(core::method_state().expanded_method.size()));
    EXPECT_GT(form->cmd_list->Items.count(), 0);
}

TEST_F(MethodRunE2E, a_repeat_of_zero_skips_its_body) {
    start();
    ASSERT_TRUE(start_method_text(
        {"Skip()", "[MACRO Skip]", "REPEAT(0)", "WASH(Wash1,1)", "END()", "WASH(Wash2,1)"}));
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    EXPECT_EQ(sim->executed(), std::vector<std::string>{"WASH(Wash2,1,)"});
}

TEST_F(MethodRunE2E, a_stop_cancels_the_running_atom_and_ends_through_method_exit) {
    start({"--atom-ms", "MOVE_TO_VIAL=3000"});
    ASSERT_TRUE(start_method_text(sample_method));
    ASSERT_TRUE(pump_until([&] { return sim->executed().size() == 3; }));
    core::request_stop();
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    EXPECT_EQ(count_sent("CANCEL"), 1);
    const std::vector<std::string> expected = {"WASH(Wash1,1,)", "WASH(Wash1,1,)",
                                               "MOVE_TO_VIAL(Tray2,5,10000,)", "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
    // After the cancel the host waited for the atom's end before the next command.
    const auto commands = sent();
    std::size_t cancel = 0, exit_wash = 0;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (commands[i].command == "CANCEL") cancel = i;
        if (commands[i].command == "WASH(Wash2,2,)") exit_wash = i;
    }
    ASSERT_GT(exit_wash, cancel);
    EXPECT_EQ(commands[cancel + 1].command, "GET_ATOM_INFO");
}

TEST_F(MethodRunE2E, a_stop_while_waiting_for_the_data_system_ends_the_run) {
    start();
    ASSERT_TRUE(start_method_text(sample_method));
    ASSERT_TRUE(pump_until([] { return hook_count("on_waiting_for_ds") == 1; }));
    core::request_stop();
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    const std::vector<std::string> expected = {"WASH(Wash1,1,)", "WASH(Wash1,1,)",
                                               "MOVE_TO_VIAL(Tray2,5,10000,)", "ASPIRATE(10ul,1000,2000,0,)",
                                               "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
}

TEST_F(MethodRunE2E, an_error_answered_abort_runs_the_error_macros_then_method_exit) {
    start({"--error-atom", "ASPIRATE=17"});
    interaction->answer_next_box(forms::mr_abort);
    ASSERT_TRUE(start_method_text(sample_method));
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    ASSERT_EQ(interaction->boxes().size(), 1u);
    EXPECT_EQ(interaction->boxes()[0].request.text, "ASPIRATE(10ul,1000,2000,0,)\rError 17");
    EXPECT_EQ(hook_count("on_error_abort"), 1);
    const std::vector<std::string> expected = {"WASH(Wash1,1,)",
                                               "WASH(Wash1,1,)",
                                               "MOVE_TO_VIAL(Tray2,5,10000,)",
                                               "ASPIRATE(10ul,1000,2000,0,)",
                                               "WASH(Wash1,1,)",
                                               "WASH(Wash2,1,)",
                                               "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
    // The instrument answered: nothing was resent and no loss was reported.
    EXPECT_EQ(core::link_state().resends, 0u);
    EXPECT_EQ(hook_count("on_disconnected"), 0);
}

TEST_F(MethodRunE2E, an_error_answered_retry_runs_the_failed_line_again) {
    start({"--error-atom", "ASPIRATE=17"});
    interaction->set_box_handler([this](const forms::MessageBoxRequest&) {
        sim->tell("error-atom off");
        return forms::mr_retry;
    });
    ASSERT_TRUE(start_method_text(sample_method));
    ASSERT_TRUE(pump_until([] { return hook_count("on_waiting_for_ds") == 1; }));
    core::set_go_flag();
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    const std::vector<std::string> expected = {
        "WASH(Wash1,1,)", "WASH(Wash1,1,)", "MOVE_TO_VIAL(Tray2,5,10000,)", "ASPIRATE(10ul,1000,2000,0,)",
        "WASH(Wash1,1,)", "WASH(Wash2,1,)", "ASPIRATE(10ul,1000,2000,0,)",  "INJECT(Inj1,0,)",
        "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
    EXPECT_EQ(interaction->boxes().size(), 1u);
}

TEST_F(MethodRunE2E, an_error_answered_ignore_goes_on_with_the_next_line) {
    start({"--error-atom", "ASPIRATE=17"});
    interaction->answer_next_box(forms::mr_ignore);
    ASSERT_TRUE(start_method_text(sample_method));
    ASSERT_TRUE(pump_until([] { return hook_count("on_waiting_for_ds") == 1; }));
    core::set_go_flag();
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    const std::vector<std::string> expected = {"WASH(Wash1,1,)",
                                               "WASH(Wash1,1,)",
                                               "MOVE_TO_VIAL(Tray2,5,10000,)",
                                               "ASPIRATE(10ul,1000,2000,0,)",
                                               "WASH(Wash1,1,)",
                                               "WASH(Wash2,1,)",
                                               "INJECT(Inj1,0,)",
                                               "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
}

TEST_F(MethodRunE2E, an_error_inside_a_loop_leaves_the_loop_intact) {
    // The error macros loop too; the method's own loop count must survive them.
    write_macro("ERROR ENTRY", {"// loops", "REPEAT(2)", "WASH(Wash1,1)", "END()"});
    start({"--error-atom", "DISPENSE=17"});
    ASSERT_TRUE(start_method_text(
        {"Loop()", "[MACRO Loop]", "REPEAT(3)", "DISPENSE(10ul,1,2)", "END()", "WASH(Wash2,1)"}));
    interaction->set_box_handler([this](const forms::MessageBoxRequest&) {
        sim->tell("error-atom off");
        return forms::mr_ignore;
    });
    ASSERT_TRUE(pump_until([&] { return finished(); }, 40s));
    const std::vector<std::string> expected = {"DISPENSE(10ul,1000,2000,)",
                                               "WASH(Wash1,1,)",
                                               "WASH(Wash1,1,)",
                                               "WASH(Wash2,1,)",
                                               "DISPENSE(10ul,1000,2000,)",
                                               "DISPENSE(10ul,1000,2000,)",
                                               "WASH(Wash2,1,)"};
    EXPECT_EQ(sim->executed(), expected);
}

TEST_F(MethodRunE2E, an_error_outside_a_run_is_shown_once_and_not_resent) {
    start();
    // The instrument refuses an object line that names an unknown tray type.
    ASSERT_TRUE(core::download_tray_type("Tray1", "NOPE"));
    ASSERT_TRUE(pump_until([&] { return interaction->boxes().size() == 1; }));
    ASSERT_TRUE(wait_for_replies(4, 10s));
    pump_for(3500ms);  // longer than the reply time-out
    ASSERT_EQ(interaction->boxes().size(), 1u);
    EXPECT_EQ(interaction->boxes()[0].request.text.rfind("DLD_OBJ TRAY;Tray1;NOPE;", 0), 0u);
    EXPECT_NE(interaction->boxes()[0].request.text.find("\rError 21. Please check the terminal."),
              std::string::npos);
    int downloads = 0;
    for (const auto& f : sent())
        if (f.command.rfind("DLD_OBJ", 0) == 0) ++downloads;
    EXPECT_EQ(downloads, 1);
    EXPECT_EQ(hook_count("on_disconnected"), 0);
    EXPECT_EQ(core::link_state().resends, 0u);
    EXPECT_TRUE(pump_until([] { return idle(); }));
}

// A wash station whose name holds XOFF, as an edited configuration cache may give it: the
// instrument would take that byte for flow control and never see the frame whole.
void add_station_with_xoff(const std::filesystem::path& cache) {
    std::vector<std::string> lines = read_file_lines(cache);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("WASH_STATION;Wash2;", 0) == 0) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                         "WASH_STATION;Wash\x13"
                         "3;30000;2;Water");
            break;
        }
    }
    std::ofstream out(cache, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << "\r\n";
}

bool holds_flow_control(const std::vector<SentFrame>& frames) {
    for (const SentFrame& f : frames)
        if (f.command.find("<XOFF>") != std::string::npos || f.note.find("bad frame") != std::string::npos)
            return true;
    return false;
}

TEST_F(MethodRunE2E, a_command_no_frame_can_carry_fails_its_line_and_never_goes_out) {
    add_station_with_xoff(folder / "latest_zor.pol");
    start();
    ASSERT_TRUE(start_method_text({"Odd()", "[MACRO Odd]", "WASH(Wash1,1)",
                                   "WASH(Wash\x13"
                                   "3,1)",
                                   "WASH(Wash1,2)", "[MACRO METHOD EXIT]", "WASH(Wash2,2)"}));
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    const std::vector<std::string> expected = {"WASH(Wash1,1,)", "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
    EXPECT_TRUE(run_state().failed);
    EXPECT_FALSE(holds_flow_control(sent()));
    EXPECT_EQ(core::link_state().resends, 0u);
    ASSERT_FALSE(interaction->boxes().empty());
    EXPECT_EQ(interaction->boxes()[0].request.text,
              "WASH(Wash\\x133,1,) cannot be sent: a frame cannot carry the byte 0x13");
    ASSERT_TRUE(pump_until([] { return idle(); }));
}

TEST_F(MethodRunE2E, a_download_no_frame_can_carry_is_refused_before_anything_is_sent) {
    start();
    EXPECT_FALSE(core::download_tray_type("Tray1",
                                          "VT\x02"
                                          "96"));
    EXPECT_TRUE(core::step_queue().pending_command.empty());
    ASSERT_TRUE(wait_for_replies(2));
    for (const auto& f : sent()) EXPECT_NE(f.command.rfind("DLD_OBJ", 0), 0u) << f.command;
    EXPECT_EQ(core::link_state().resends, 0u);
    EXPECT_TRUE(pump_until([] { return idle(); }));
}

TEST_F(MethodRunE2E, sl_exit_runs_the_library_macro_as_the_whole_method) {
    start();
    ASSERT_TRUE(core::run_sl_exit());
    EXPECT_EQ(hook_count("on_sl_exit"), 1);
    EXPECT_TRUE(core::method_state().skip_wrappers);
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    EXPECT_EQ(sim->executed(), std::vector<std::string>{"WASH(Wash2,3,)"});
}

TEST_F(MethodRunE2E, an_error_in_a_macro_run_without_error_macros_still_asks_the_user) {
    start({"--error-atom", "WASH=17"});
    interaction->answer_next_box(forms::mr_abort);
    ASSERT_TRUE(core::run_sl_exit());
    ASSERT_TRUE(pump_until([&] { return finished(); }));
    EXPECT_EQ(interaction->boxes().size(), 1u);
    EXPECT_EQ(hook_count("on_error_abort"), 1);
}

TEST_F(MethodRunE2E, a_macro_file_of_comment_lines_only_does_not_start) {
    start();
    write_macro("SL EXIT", {"// nothing", "// at all"});
    EXPECT_FALSE(core::run_sl_exit());
    EXPECT_FALSE(run_state().run_active);
    std::filesystem::remove(folder / "SL EXIT.pma");
    EXPECT_FALSE(core::run_sl_exit());
}

}  // namespace
}  // namespace core_test
