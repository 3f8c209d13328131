// The course of a run as clients see it through the status, against zorsim: a preparation that
// another job replaces or the host cancels, a change of operating mode while the syringe is
// checked, a stop while the error question is open, BUSY and a lost connection while the run
// waits, the sync signal, the local atoms, RowInd -1, an unreadable label in a run, a bar-code
// read after an instrument error, and a tray type that the configuration keeps as a number.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "driver/zorrun/tests/e2e/zorrun_e2e_fixture.h"

namespace zorrun_test {
namespace {

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

constexpr int abort_answer = 3;
constexpr int retry_answer = 4;
constexpr int ignore_answer = 5;

class ZorrunCourse : public ZorrunE2E {
  protected:
    CallResult prepare(const std::string& path, std::int32_t start_mode = 0,
                       const std::string& vial = "Tray2:5", std::int32_t row_ind = 0) {
        return client->PrepareForRun("raw", path, "list", row_ind, start_mode, vial, 1.0, 0);
    }
    // Abort/retry/ignore questions are left to the test's main thread; other boxes are cancelled.
    void answer_errors_by_hand() {
        channel->set_box_handler([](const InteractionEvent& e) -> std::optional<int> {
            if (e.buttons == "abort,retry,ignore") return std::nullopt;
            return e.buttons == "cancel" ? std::optional<int>(2) : std::nullopt;
        });
    }
    void answer_errors_with(int answer) {
        channel->set_box_handler([answer](const InteractionEvent& e) -> std::optional<int> {
            if (e.buttons == "abort,retry,ignore") return answer;
            return e.buttons == "cancel" ? std::optional<int>(2) : std::nullopt;
        });
    }
    // A preparation taken while the instrument is silent: it waits at its syringe check until the
    // test lets the instrument answer ("silent off").
    void prepare_at_syringe_check(const std::string& path) {
        ASSERT_TRUE(silence_instrument());
        ASSERT_EQ(prepare(path).result, 1);
        EXPECT_EQ(status(), 3);
    }
    int executed_count(const std::string& atom) const {
        const auto all = sim->executed();
        return static_cast<int>(std::count(all.begin(), all.end(), atom));
    }
};

TEST_F(ZorrunCourse, a_preparation_that_reset_or_reload_replaces_never_holds_back_the_next_one) {
    start();
    initialize();
    const std::string path = document(sample_method());

    // Reset while the syringe check waits: the clean-up replaces it.
    ASSERT_NO_FATAL_FAILURE(prepare_at_syringe_check(path));
    ASSERT_TRUE(client->Reset().ok);
    EXPECT_EQ(status(), 1);  // nothing is being prepared any more
    sim->tell("silent off");
    ASSERT_TRUE(wait_until([&] { return contains(sim->executed(), "CLEANUP(Wash1,1,1,1,1,1,1,1)"); }));
    ASSERT_TRUE(wait_for_polls(2));
    ASSERT_TRUE(client->ClearStatus().ok);
    EXPECT_EQ(count_sent("GET_SYR"), 0);

    // ReloadConfiguration likewise.
    ASSERT_NO_FATAL_FAILURE(prepare_at_syringe_check(path));
    ASSERT_TRUE(client->ReloadConfiguration().ok);
    EXPECT_EQ(status(), 1);
    sim->tell("silent off");
    ASSERT_TRUE(wait_until([&] { return count_sent("GET_FW_VERSION") == 1; }));
    ASSERT_TRUE(wait_for_polls(1));
    EXPECT_EQ(count_sent("GET_SYR"), 0);

    // The next preparation is taken and runs.
    const CallResult r = prepare(path);
    ASSERT_TRUE(r.ok) << r.error_message;
    ASSERT_TRUE(wait_for_status(4));
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_for_status(1));
    const std::vector<std::string> expected = {
        "CLEANUP(Wash1,1,1,1,1,1,1,1)", "WASH(Wash1,1,)",  "MOVE_TO_VIAL(Tray2,5,10000,)",
        "ASPIRATE(10ul,1000,2000,0,)",  "INJECT(Inj1,0,)", "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
}

TEST_F(ZorrunCourse, a_run_cancelled_at_its_syringe_check_by_stop_run_or_initialize_never_starts_its_method) {
    start();
    initialize();
    const std::string path = document(sample_method());

    // StopRun while the syringe check waits.
    ASSERT_NO_FATAL_FAILURE(prepare_at_syringe_check(path));
    ASSERT_EQ(client->StopRun().result, 1);
    EXPECT_EQ(status(), 1);
    sim->tell("silent off");
    ASSERT_TRUE(wait_for_polls(2));
    EXPECT_EQ(count_sent("GET_SYR"), 0);
    EXPECT_TRUE(sim->executed().empty());

    // The host's cancel: ClearStatus (the status only), then Initialize, which ends the sample
    // list as for a started run.
    ASSERT_NO_FATAL_FAILURE(prepare_at_syringe_check(path));
    ASSERT_TRUE(client->ClearStatus().ok);
    EXPECT_EQ(status(), 1);
    ASSERT_EQ(client->Initialize().result, 1);
    sim->tell("silent off");
    ASSERT_TRUE(wait_until([&] { return contains(sim->executed(), "WASH(Wash2,3,)"); }));
    ASSERT_TRUE(wait_until([&] { return client->InstrumentHasStopped(0).result == 1; }));
    ASSERT_TRUE(wait_for_polls(2));
    EXPECT_EQ(status(), 1);
    EXPECT_EQ(count_sent("GET_SYR"), 0);
    EXPECT_EQ(sim->executed(), std::vector<std::string>{"WASH(Wash2,3,)"});
}

TEST_F(ZorrunCourse,
       change_operating_mode_2_during_the_syringe_check_ends_the_preparation_and_reads_busy_while_working) {
    start();
    initialize();
    ASSERT_NO_FATAL_FAILURE(prepare_at_syringe_check(document(sample_method())));
    ASSERT_EQ(client->ChangeOperatingMode(2).result, 1);
    // The end of the sample list's macro runs now: the instrument works.
    EXPECT_EQ(status(), 9);
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 0);
    sim->tell("silent off");
    ASSERT_TRUE(wait_until([&] { return client->InstrumentHasStopped(0).result == 1; }));
    EXPECT_EQ(status(), 1);
    ASSERT_TRUE(wait_for_polls(2));
    // The method never started: no syringe query, none of its atoms, nothing without its parts.
    EXPECT_EQ(sim->executed(), std::vector<std::string>{"WASH(Wash2,3,)"});
    EXPECT_EQ(count_sent("GET_SYR"), 0);
    // A new run is taken with its entry and exit parts.
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    ASSERT_TRUE(wait_for_status(4));
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_TRUE(contains(sim->executed(), "WASH(Wash2,2,)"));
}

TEST_F(ZorrunCourse, a_stop_while_the_error_question_is_open_wins_over_retry) {
    start({.zorsim = {"--error-atom", "ASPIRATE=17"}});
    // Without ERROR EXIT lines the answer is carried out right after the question.
    write_macro("ERROR EXIT", {"// nothing after the answer"});
    answer_errors_by_hand();
    initialize();
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    const auto box = channel->next_event(60s);
    ASSERT_TRUE(box);
    ASSERT_EQ(box->buttons, "abort,retry,ignore");
    ASSERT_EQ(client->StopRun().result, 1);
    channel->answer(box->id, retry_answer);
    ASSERT_TRUE(wait_until([&] { return client->InstrumentHasStopped(0).result == 1; }));
    EXPECT_EQ(executed_count("ASPIRATE(10ul,1000,2000,0,)"), 1);
    EXPECT_FALSE(contains(sim->executed(), "INJECT(Inj1,0,)"));
    EXPECT_EQ(sim->executed().back(), "WASH(Wash2,2,)");
    EXPECT_EQ(channel->boxes().size(), 1u);
}

TEST_F(ZorrunCourse, an_aborted_run_ends_with_status_8_not_idle) {
    start({.zorsim = {"--error-atom", "ASPIRATE=17"}});
    answer_errors_with(abort_answer);
    initialize();
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    ASSERT_TRUE(wait_for_status(8));
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 1);
    EXPECT_EQ(client->AtomStatus().text, "Error in method!");
    EXPECT_EQ(sim->executed().back(), "WASH(Wash2,2,)");
    // The failure stands until a client clears it.
    EXPECT_FALSE(prepare(document(sample_method())).ok);
    ASSERT_TRUE(client->ClearStatus().ok);
    EXPECT_EQ(status(), 1);
}

TEST_F(ZorrunCourse, busy_during_a_run_reads_9_until_the_method_ends) {
    start({.zorsim = {"--atom-ms", "INJECT=1500"}});
    initialize();
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    ASSERT_TRUE(wait_for_status(4));
    sim->tell("busy 3");
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_for_status(9));
    for (;;) {
        const std::int32_t code = status();
        if (client->InstrumentHasStopped(0).result == 1) break;
        ASSERT_EQ(code, 9);
    }
    EXPECT_EQ(status(), 1);
    EXPECT_EQ(sim->executed(), sample_atoms());
}

TEST_F(ZorrunCourse, a_time_out_while_waiting_for_the_data_system_reads_10_then_4_reconnected) {
    start();
    initialize();
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    ASSERT_TRUE(wait_for_status(4));
    sim->tell("silent on");
    ASSERT_TRUE(wait_for_status(10));
    EXPECT_EQ(client->AtomStatus().text, "The Zor is disconnected");
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 0);
    sim->tell("silent off");
    ASSERT_TRUE(wait_for_status(4));
    EXPECT_EQ(client->AtomStatus().text, "The Zor reconnected");
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(sim->executed(), sample_atoms());
}

TEST_F(ZorrunCourse, the_sync_signal_turns_5_into_6_with_its_text) {
    start({.zorsim = {"--manual-sync", "--error-atom", "WAIT=17"}});
    answer_errors_by_hand();
    initialize();
    auto method = sample_method();
    method.insert(method.begin() + 4, "Sync()");
    method.insert(method.end(), {"[MACRO Sync]", "WAIT_SYNC_SIG(Start In)", "WAIT(1)"});
    ASSERT_EQ(prepare(document(method), 1).result, 1);
    ASSERT_TRUE(wait_for_status(4));
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_until([&] { return contains(sim->executed(), "WAIT_SYNC_SIG(Start In,)"); }));
    EXPECT_EQ(status(), 5);
    EXPECT_EQ(sim->tell("sync").rfind("ok", 0), 0u);
    // The pause after the signal fails at once: its question holds the run still, with the
    // status the signal left.
    const auto box = channel->next_event(60s);
    ASSERT_TRUE(box);
    EXPECT_EQ(status(), 6);
    EXPECT_EQ(client->AtomStatus().text, "Saw sync signal");
    channel->answer(box->id, ignore_answer);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(sim->executed().back(), "WASH(Wash2,2,)");
}

TEST_F(ZorrunCourse, local_atoms_change_the_indexes_without_an_exchange) {
    start();
    initialize();
    const std::vector<std::string> method = {"10ul",
                                             "Steps()",
                                             "[MACRO Steps]",
                                             "MOVE_TO_VIAL(SL.tray,SL.index,10)",
                                             "INC_INDEX()",
                                             "MOVE_TO_VIAL(SL.tray,SL.index,10)",
                                             "DEC_INDEX()",
                                             "DEC_INDEX()",
                                             "MOVE_TO_VIAL(SL.tray,SL.index,10)",
                                             "RESET_USER_INDEX()",
                                             "INC_USER_INDEX()",
                                             "INC_USER_INDEX()",
                                             "WASH(Wash1,user_index)",
                                             "DEC_USER_INDEX()",
                                             "WASH(Wash1,user_index)",
                                             "RESET_USER_INDEX()",
                                             "WASH(Wash1,user_index)",
                                             "SET_INJECTED()"};
    ASSERT_EQ(prepare(document(method)).result, 1);
    ASSERT_TRUE(wait_for_status(1));
    const std::vector<std::string> expected = {"MOVE_TO_VIAL(Tray2,5,10000,)",
                                               "MOVE_TO_VIAL(Tray2,6,10000,)",
                                               "MOVE_TO_VIAL(Tray2,4,10000,)",
                                               "WASH(Wash1,3,)",
                                               "WASH(Wash1,2,)",
                                               "WASH(Wash1,1,)"};
    EXPECT_EQ(sim->executed(), expected);
    for (const std::string& sent : sent_commands()) EXPECT_EQ(sent.find("INDEX"), std::string::npos) << sent;
    EXPECT_EQ(count_sent("SET_INJECTED()"), 0);
}

TEST_F(ZorrunCourse, row_ind_minus_1_runs_the_method_without_its_entry_and_exit_parts) {
    start();
    initialize();
    auto method = sample_method();
    method.insert(method.end(), {"[MACRO METHOD ENTRY]", "WASH(Wash1,3)"});
    ASSERT_EQ(prepare(document(method), 0, "Tray2:5", -1).result, 1);
    ASSERT_TRUE(wait_for_status(4));
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_for_status(1));
    const std::vector<std::string> expected = {"WASH(Wash1,1,)", "MOVE_TO_VIAL(Tray2,5,10000,)",
                                               "ASPIRATE(10ul,1000,2000,0,)", "INJECT(Inj1,0,)"};
    EXPECT_EQ(sim->executed(), expected);
    // With RowInd 0 both parts run.
    ASSERT_EQ(prepare(document(method), 0, "Tray2:6", 0).result, 1);
    ASSERT_TRUE(wait_for_status(4));
    EXPECT_EQ(sim->executed()[4], "WASH(Wash1,3,)");
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(sim->executed().back(), "WASH(Wash2,2,)");
}

TEST_F(ZorrunCourse, read_bar_code_after_an_instrument_error_waits_for_its_own_answer) {
    start({.zorsim = {"--error-atom", "ASPIRATE=17", "--barcode", "Tray2:5=XYZ-5"}});
    answer_errors_with(ignore_answer);
    initialize();
    const std::vector<std::string> method = {"10ul", "Take()", "[MACRO Take]", "ASPIRATE(SYR,1,2,0)"};
    ASSERT_EQ(prepare(document(method)).result, 1);
    ASSERT_TRUE(wait_until([&] { return channel->boxes().size() == 1; }));
    ASSERT_TRUE(wait_for_status(1));
    const CallResult r = client->ReadBarCode("Tray2:5");
    ASSERT_TRUE(r.ok) << r.error_message;
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.text, "XYZ-5");
    EXPECT_TRUE(contains(sim->executed(), "READ_BARCODE(Tray2,5)"));
}

TEST_F(ZorrunCourse, an_unreadable_label_during_a_run_ends_it_with_status_8_and_says_why) {
    start();
    initialize();
    ASSERT_EQ(sim->tell("unreadable Tray2 5"), "ok");
    auto method = sample_method();
    method.insert(method.begin() + 2, "Read(SL.tray)");
    method.insert(method.end(), {"[MACRO Read]", "Tray;TRAY", "READ_BARCODE(Tray,SL.index)"});
    ASSERT_EQ(prepare(document(method)).result, 1);
    ASSERT_TRUE(wait_for_status(8));
    EXPECT_EQ(client->AtomStatus().text, "Barcode unreadable!");
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 1);
    // Nothing was taken from the vial; the exit part ran.
    const std::vector<std::string> expected = {"WASH(Wash1,1,)", "READ_BARCODE(Tray2,5,)", "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
    // The failure stands until a client clears it.
    EXPECT_FALSE(prepare(document(sample_method())).ok);
    ASSERT_TRUE(client->ClearStatus().ok);
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    ASSERT_TRUE(wait_for_status(4));
}

TEST_F(ZorrunCourse, read_bar_code_sends_only_a_vial_of_the_tray) {
    start();
    initialize();
    for (const std::string vial : {"Tray2:5,0)|WASH(Wash1,9", "Tray2:\x01", "Tray2:97", "Nowhere:1"}) {
        const CallResult r = client->ReadBarCode(vial);
        EXPECT_FALSE(r.ok) << vial;
        EXPECT_NE(r.error_message.find("HRESULT 0x80070057: Vial \""), std::string::npos) << r.error_message;
    }
    ASSERT_TRUE(wait_for_polls(2));
    EXPECT_TRUE(sent_commands().empty());
    EXPECT_TRUE(sim->executed().empty());
}

TEST_F(ZorrunCourse, set_tray_type_never_writes_a_text_into_a_number_of_the_configuration) {
    // A configuration whose trays keep their tray type as a number.
    std::ifstream in(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string config = text.str();
    const auto replace_all = [&](const std::string& from, const std::string& to) {
        for (auto at = config.find(from); at != std::string::npos; at = config.find(from, at + to.size()))
            config.replace(at, from.size(), to);
    };
    replace_all("Tray Type;TRAY_TYPE", "Tray Type;0;100;1;1;E");
    for (const std::string type : {"VT96BC", "VT96", "VT54R", "VT15", "MT96"})
        for (int n = 1; n <= 5; ++n)
            replace_all("TRAY;Tray" + std::to_string(n) + ";" + type + ";",
                        "TRAY;Tray" + std::to_string(n) + ";3;");
    const auto path = folder / "number_trays.pol";
    std::ofstream(path, std::ios::binary) << config;
    std::filesystem::copy_file(path, folder / "latest_zor.pol",
                               std::filesystem::copy_options::overwrite_existing);
    start({.zorsim = {"--config", path.string()}});
    initialize();
    const CallResult r = client->SetTrayType("Tray1", "VT96BC");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error_message.find("SetTrayType: the tray type of Tray1 cannot be set"), std::string::npos)
        << r.error_message;
    ASSERT_TRUE(wait_for_polls(2));
    EXPECT_TRUE(sim->downloads().empty());
    for (const std::string& sent : sent_commands()) EXPECT_NE(sent.rfind("DLD_OBJ", 0), 0u) << sent;
    std::ifstream cached(folder / "latest_zor.pol", std::ios::binary);
    std::stringstream now;
    now << cached.rdbuf();
    EXPECT_EQ(now.str(), config);
}

}  // namespace
}  // namespace zorrun_test
