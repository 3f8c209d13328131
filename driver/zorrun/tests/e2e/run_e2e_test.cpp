// Whole runs through the bus against zorsim: PrepareForRun, the syringe check, WAIT_FOR_DS,
// StartRun and the method's end; the mismatch dialog answered both ways; StartRun before the
// wait; StopRun; unreadable documents, a long document, and ValidateMethod.
#include <algorithm>

#include "driver/zorrun/tests/e2e/zorrun_e2e_fixture.h"
#include "driver/zorrun/tests/support/compound_writer.h"

namespace zorrun_test {
namespace {

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

class ZorrunRun : public ZorrunE2E {
  protected:
    CallResult prepare(const std::string& path, std::int32_t start_mode = 0,
                       const std::string& vial = "Tray2:5") {
        return client->PrepareForRun("raw", path, "list", 0, start_mode, vial, 1.0, 0);
    }
    std::vector<std::string> atoms_before_wait() const {
        const auto all = sample_atoms();
        return {all.begin(), all.begin() + 3};
    }
};

TEST_F(ZorrunRun, goes_from_preparation_through_the_wait_for_the_data_system_to_the_methods_end) {
    start();
    initialize();
    const CallResult r = prepare(document(sample_method()));
    ASSERT_TRUE(r.ok) << r.error_message;
    EXPECT_EQ(r.result, 1);
    ASSERT_TRUE(wait_for_status(4)) << status();
    EXPECT_EQ(client->AtomStatus().text, "Waiting for start");
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 0);
    EXPECT_EQ(sim->executed(), atoms_before_wait());
    EXPECT_EQ(count_sent("GET_SYR"), 1);

    const CallResult start_run = client->StartRun();
    ASSERT_TRUE(start_run.ok);
    EXPECT_EQ(start_run.result, 1);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 1);
    EXPECT_EQ(client->AtomStatus().text, "The Zor is idle");
    EXPECT_EQ(sim->executed(), sample_atoms());
    EXPECT_TRUE(box_texts().empty());
}

TEST_F(ZorrunRun, a_method_document_longer_than_40000_bytes_runs_to_its_last_step_and_exit_part) {
    start();
    initialize();
    // Steps with the long names people give their macros; they count on the user index, which
    // costs no exchange, and the last step washes as often as the count says.
    const std::string up = "Count one more sample in the user index()";
    const std::string down = "Count one sample less in the user index()";
    std::vector<std::string> method = {"10ul", "Start counting()"};
    for (int i = 0; i < 300; ++i) method.insert(method.end(), {up, down});
    method.insert(method.end(), {up, up, "Wash as often as counted(Wash1)"});
    method.insert(method.end(), {"[MACRO Start counting]", "RESET_USER_INDEX()",
                                 "[MACRO Count one more sample in the user index]", "INC_USER_INDEX()",
                                 "[MACRO Count one sample less in the user index]", "DEC_USER_INDEX()",
                                 "[MACRO Wash as often as counted]", "Station;WASH_STATION",
                                 "WASH(Station,user_index)", "[MACRO METHOD EXIT]", "WASH(Wash2,2)"});
    ASSERT_EQ(prepare(document(method)).result, 1);
    ASSERT_TRUE(
        wait_until([&] { return client->InstrumentHasStopped(0).result == 1 && status() != 3; }, 60s));
    EXPECT_EQ(status(), 1) << client->AtomStatus().text;
    const std::vector<std::string> expected = {"WASH(Wash1,3,)", "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
    EXPECT_TRUE(box_texts().empty());
}

TEST_F(ZorrunRun, prepare_for_run_sets_status_3_until_the_syringe_is_known) {
    start();
    initialize();
    sim->tell("silent on");
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    EXPECT_EQ(status(), 3);
    EXPECT_EQ(client->AtomStatus().text, "The Zor is idle");  // no run yet
    sim->tell("silent off");
    ASSERT_TRUE(wait_for_status(4));
}

TEST_F(ZorrunRun, start_mode_1_waits_for_contact_closure_until_the_sync_signal) {
    start({.zorsim = {"--manual-sync"}});
    initialize();
    auto method = sample_method();
    // WAIT_SYNC_SIG after the wait for the data system.
    method.insert(method.begin() + 4, "Sync()");
    method.insert(method.end(), {"[MACRO Sync]", "WAIT_SYNC_SIG(Start In)"});
    ASSERT_EQ(prepare(document(method), 1).result, 1);
    ASSERT_TRUE(wait_for_status(4));
    ASSERT_EQ(client->StartRun().result, 1);
    EXPECT_EQ(status(), 5);
    ASSERT_TRUE(wait_until([&] { return contains(sim->executed(), "WAIT_SYNC_SIG(Start In,)"); }));
    EXPECT_EQ(status(), 5);
    EXPECT_EQ(sim->tell("sync").rfind("ok", 0), 0u);
    ASSERT_TRUE(wait_until([&] { return client->AtomStatus().text == "Saw sync signal" || status() == 1; }));
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_TRUE(contains(sim->executed(), "WASH(Wash2,2,)"));
}

TEST_F(ZorrunRun, a_start_run_before_the_wait_is_reached_does_not_release_it) {
    start();
    initialize();
    sim->tell("silent on");
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    const CallResult early = client->StartRun();
    ASSERT_TRUE(early.ok);
    EXPECT_EQ(early.result, 1);
    EXPECT_EQ(status(), 6);
    sim->tell("silent off");
    ASSERT_TRUE(wait_for_status(4));
    // The run stays at the wait while the instrument is polled.
    ASSERT_TRUE(wait_for_polls(3));
    EXPECT_EQ(status(), 4);
    EXPECT_EQ(sim->executed(), atoms_before_wait());
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 0);
    // A start after the wait was reached releases it.
    ASSERT_EQ(client->StartRun().result, 1);
    EXPECT_EQ(status(), 6);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(sim->executed(), sample_atoms());
}

TEST_F(ZorrunRun, stop_run_cancels_the_atom_and_ends_through_method_exit) {
    start({.zorsim = {"--atom-ms", "MOVE_TO_VIAL=4000"}});
    initialize();
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    ASSERT_TRUE(wait_until([&] { return sim->executed().size() == 2; }));
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 0);
    ASSERT_EQ(client->StopRun().result, 1);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(count_sent("CANCEL"), 1);
    const std::vector<std::string> expected = {"WASH(Wash1,1,)", "MOVE_TO_VIAL(Tray2,5,10000,)",
                                               "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 1);
    // StopRun with nothing running does nothing.
    EXPECT_EQ(client->StopRun().result, 1);
}

TEST_F(ZorrunRun, continue_in_the_mismatch_dialog_asks_again_and_runs_once_the_syringe_matches) {
    start({.zorsim = {"--syringe", "100ul"}});
    initialize();
    ASSERT_EQ(prepare(document(sample_method()), 0).result, 1);
    auto shown = channel->next_event();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->kind, "form");
    EXPECT_EQ(shown->form_class, "Tnew_syr");
    EXPECT_EQ(shown->caption, "Syringe Mismatch ZOR 1");
    EXPECT_EQ(channel->get("Tnew_syr.warning_text", "Caption"),
              "Method \"run.raw\" uses syringe \"10ul\" but syringe \"100ul\" is in the ZOR. "
              "Please insert syringe \"10ul\" into the ZOR.");
    EXPECT_EQ(status(), 3);
    // The user changes the syringe, then presses Continue.
    sim->tell("syringe 10ul");
    ASSERT_TRUE(channel->act("Tnew_syr.retry_button", "click"));
    ASSERT_TRUE(wait_for_status(4));
    EXPECT_EQ(count_sent("GET_SYR"), 2);
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(sim->executed(), sample_atoms());
}

TEST_F(ZorrunRun, continue_without_changing_the_syringe_shows_the_dialog_again) {
    start({.zorsim = {"--syringe", "100UL"}});
    initialize();
    ASSERT_EQ(prepare(document(sample_method("500ul"))).result, 1);
    ASSERT_TRUE(channel->next_event());
    ASSERT_TRUE(channel->act("Tnew_syr.retry_button", "click"));
    const auto again = channel->next_event();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->form_class, "Tnew_syr");
    EXPECT_EQ(count_sent("GET_SYR"), 2);
    ASSERT_TRUE(channel->act("Tnew_syr.cancel_button", "click"));
    EXPECT_TRUE(wait_until([&] { return contains(sim->executed(), "WASH(Wash2,3,)"); }));
}

TEST_F(ZorrunRun, cancel_method_in_the_mismatch_dialog_gives_status_8_and_runs_nothing_of_the_method) {
    start({.zorsim = {"--syringe", "100ul"}});
    std::filesystem::remove(folder / "SL EXIT.pma");
    initialize();
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    ASSERT_TRUE(channel->next_event());
    ASSERT_TRUE(channel->act("Tnew_syr.cancel_button", "click"));
    ASSERT_TRUE(wait_for_status(8));
    ASSERT_TRUE(wait_for_polls(2));
    EXPECT_EQ(status(), 8);
    EXPECT_TRUE(sim->executed().empty());
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 1);
    // The status must be cleared before the next run.
    EXPECT_EQ(prepare(document(sample_method())).result, 0);
    ASSERT_TRUE(client->ClearStatus().ok);
    EXPECT_EQ(status(), 1);
}

TEST_F(ZorrunRun, an_answer_to_the_mismatch_dialog_after_initialize_dropped_the_run_changes_nothing) {
    start({.zorsim = {"--syringe", "100ul"}});
    initialize();
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    ASSERT_TRUE(channel->next_event());
    // The host cancels the run while the user is still asked about the syringe.
    ASSERT_EQ(client->Initialize().result, 1);
    ASSERT_TRUE(channel->act("Tnew_syr.cancel_button", "click"));
    ASSERT_TRUE(wait_until([&] { return client->InstrumentHasStopped(0).result == 1; }));
    ASSERT_TRUE(wait_for_polls(2));
    EXPECT_EQ(status(), 1);
    EXPECT_EQ(client->AtomStatus().text, "The Zor is idle");
    EXPECT_EQ(sim->executed(), std::vector<std::string>{"WASH(Wash2,3,)"});
}

TEST_F(ZorrunRun, cancel_method_runs_sl_exit_when_the_library_has_it_and_the_mismatch_stands) {
    start({.zorsim = {"--syringe", "100ul"}});
    initialize();
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    ASSERT_TRUE(channel->next_event());
    ASSERT_TRUE(channel->act("Tnew_syr.cancel_button", "click"));
    ASSERT_TRUE(wait_until([&] { return contains(sim->executed(), "WASH(Wash2,3,)"); }));
    ASSERT_TRUE(wait_until([&] { return client->InstrumentHasStopped(0).result == 1; }));
    EXPECT_EQ(sim->executed(), std::vector<std::string>{"WASH(Wash2,3,)"});
    // The end of SL EXIT does not make the refusal read as a finished method.
    EXPECT_EQ(status(), 8);
    EXPECT_EQ(client->AtomStatus().text, "Mismatch between method syringe and actual syringe!");
    ASSERT_TRUE(client->ClearStatus().ok);
    EXPECT_EQ(status(), 1);
}

TEST_F(ZorrunRun, a_refused_prepare_for_run_fails_with_its_reason_and_status_8) {
    start();
    const std::string path = document(sample_method());
    // Not initialized: status 0.
    const CallResult r = prepare(path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error_message,
              "PrepareForRun failed: HRESULT 0x8007139F: Got a run command, but not ready (status 0: The Zor "
              "is Idle)");
    EXPECT_EQ(status(), 8);
    EXPECT_EQ(client->AtomStatus().text, "Got a run command, but not ready");
    EXPECT_EQ(count_sent("GET_SYR"), 0);
}

TEST_F(ZorrunRun, an_unreadable_document_fails_with_the_message_and_keeps_the_status) {
    start();
    initialize();
    const CallResult missing = prepare((folder / "missing.raw").string());
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error_message.rfind(
                  "PrepareForRun failed: HRESULT 0x80030002: cant open storage: 0080030002 (" +
                      (folder / "missing.raw").string() + ": ",
                  0),
              0u)
        << missing.error_message;
    std::ofstream(folder / "plain.raw") << "10ul\r\nWash()\r\n";
    const CallResult plain = prepare((folder / "plain.raw").string());
    EXPECT_FALSE(plain.ok);
    EXPECT_NE(plain.error_message.find("HRESULT 0x800300FB: cant open storage: 00800300FB ("),
              std::string::npos)
        << plain.error_message;
    EXPECT_EQ(box_texts(),
              (std::vector<std::string>{"cant open storage: 0080030002", "cant open storage: 00800300FB"}));
    EXPECT_EQ(status(), 1);
    // A Data stream without a complete line fails the call.
    const CallResult empty = prepare(document({}));
    EXPECT_FALSE(empty.ok);
    EXPECT_EQ(empty.error_name, failed_error);
    EXPECT_EQ(empty.error_message,
              "PrepareForRun failed: HRESULT 0x80004005: the method stream holds no syringe line");
    EXPECT_EQ(status(), 1);
    // The driver goes on: a good document runs.
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    EXPECT_TRUE(wait_for_status(4));
}

TEST_F(ZorrunRun, validate_method_reads_the_storage_it_is_given) {
    start();
    const CallResult good = client->ValidateMethod(storage_bytes_with_data(sample_method()));
    ASSERT_TRUE(good.ok) << good.error_message;
    EXPECT_EQ(good.text, "");
    // What is wrong follows the verdict.
    const std::string junk = "this is not a compound file";
    const CallResult bad = client->ValidateMethod(std::vector<std::uint8_t>(junk.begin(), junk.end()));
    ASSERT_TRUE(bad.ok);
    EXPECT_EQ(bad.text, "The ZOR Method is not readable: the storage is no compound file");
    const CallResult none = client->ValidateMethod({});
    ASSERT_TRUE(none.ok);
    EXPECT_EQ(none.text, "The ZOR Method is not readable: the storage is no compound file");
    const std::string other =
        make_compound_file({CompoundNode::stream("Text", method_stream_bytes({"a name"}))});
    const CallResult no_data = client->ValidateMethod(std::vector<std::uint8_t>(other.begin(), other.end()));
    ASSERT_TRUE(no_data.ok);
    EXPECT_EQ(no_data.text, "The ZOR Method is not readable: cant open Data stream: 0080030002");
}

TEST_F(ZorrunRun, change_operating_mode_2_runs_sl_exit_reading_busy_and_then_sets_status_1) {
    start();
    initialize();
    const CallResult r = client->ChangeOperatingMode(2);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.result, 1);
    // Never idle while the instrument works.
    EXPECT_EQ(status(), 9);
    EXPECT_TRUE(wait_until([&] { return contains(sim->executed(), "WASH(Wash2,3,)"); }));
    EXPECT_TRUE(wait_for_status(1));
    // Without the macro nothing runs: idle at once.
    std::filesystem::remove(folder / "SL EXIT.pma");
    ASSERT_EQ(client->ChangeOperatingMode(3).result, 1);
    EXPECT_EQ(status(), 1);
}

TEST_F(ZorrunRun, reset_during_a_run_in_status_5_stops_it_and_sets_1) {
    start({.zorsim = {"--atom-ms", "INJECT=4000"}});
    initialize();
    ASSERT_EQ(prepare(document(sample_method()), 1).result, 1);
    ASSERT_TRUE(wait_for_status(4));
    ASSERT_EQ(client->StartRun().result, 1);
    EXPECT_EQ(status(), 5);
    ASSERT_TRUE(wait_until([&] { return contains(sim->executed(), "INJECT(Inj1,0,)"); }));
    ASSERT_TRUE(client->Reset().ok);
    EXPECT_EQ(status(), 1);
    ASSERT_TRUE(wait_until([&] { return client->InstrumentHasStopped(0).result == 1; }));
    EXPECT_EQ(count_sent("CANCEL"), 1);
    EXPECT_TRUE(contains(sim->executed(), "WASH(Wash2,2,)"));
}

TEST_F(ZorrunRun, a_value_out_of_range_is_asked_for_in_the_parameter_dialog) {
    start();
    initialize();
    // The vial number is the wash's cycle count: 12 is above its limit of 10.
    const std::vector<std::string> method = {"10ul", "Rinse()", "[MACRO Rinse]", "WASH(Wash1,SL.index)"};
    ASSERT_EQ(prepare(document(method), 0, "Tray2:12").result, 1);
    const auto shown = channel->next_event();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->form_class, "Tsyringe_change");
    EXPECT_EQ(channel->get("Tsyringe_change.edit_syr_value", "Text"), "10");
    const auto text = channel->get("Tsyringe_change.change_text", "Caption");
    ASSERT_TRUE(text);
    EXPECT_NE(text->find(":12 is out of range (1 - 10) ZOR 1"), std::string::npos) << *text;
    // Letters are refused with a box; the dialog stays until a good value comes.
    ASSERT_TRUE(channel->set("Tsyringe_change.edit_syr_value", "Text", "many"));
    ASSERT_TRUE(channel->act("Tsyringe_change.ok_button", "click"));
    EXPECT_TRUE(wait_until([&] { return box_texts().size() == 1; }));
    EXPECT_EQ(box_texts(), std::vector<std::string>{"many is not a number"});
    ASSERT_TRUE(channel->set("Tsyringe_change.edit_syr_value", "Text", "3"));
    ASSERT_TRUE(channel->act("Tsyringe_change.ok_button", "click"));
    ASSERT_TRUE(wait_until([&] { return contains(sim->executed(), "WASH(Wash1,3,)"); }));
    EXPECT_TRUE(wait_for_status(1));
}

TEST_F(ZorrunRun,
       an_instrument_error_in_a_run_asks_abort_retry_ignore_and_abort_ends_failed_through_method_exit) {
    start({.zorsim = {"--error-atom", "ASPIRATE=17"}});
    channel->set_box_handler([&](const InteractionEvent& e) -> std::optional<int> {
        if (e.buttons == "abort,retry,ignore") return 3;  // Abort
        return e.buttons == "cancel" ? std::optional<int>(2) : std::nullopt;
    });
    initialize();
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    // The run did not do what was asked: it ends failed, not idle.
    ASSERT_TRUE(wait_for_status(8));
    EXPECT_EQ(client->AtomStatus().text, "Error in method!");
    const auto boxes = channel->boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type, "warning");
    EXPECT_NE(boxes[0].text.find("Error 17"), std::string::npos) << boxes[0].text;
    // The failed aspiration, the error macros, then METHOD EXIT; the injection never happened.
    const std::vector<std::string> expected = {"WASH(Wash1,1,)",
                                               "MOVE_TO_VIAL(Tray2,5,10000,)",
                                               "ASPIRATE(10ul,1000,2000,0,)",
                                               "WASH(Wash1,1,)",
                                               "WASH(Wash2,1,)",
                                               "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
}

}  // namespace
}  // namespace zorrun_test
