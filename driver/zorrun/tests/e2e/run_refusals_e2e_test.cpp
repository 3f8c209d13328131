// Calls that cannot do what was asked fail, with the reason the user would have read, before
// anything moves: refused preparations, bad vials and volumes, unreadable or blocking
// documents, a start with nothing prepared, a second preparation during a run, and an
// instrument that cannot be reached. The status always tells the truth about the instrument.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "driver/zorrun/tests/e2e/zorrun_e2e_fixture.h"

namespace zorrun_test {
namespace {

class ZorrunRefusals : public ZorrunE2E {
  protected:
    CallResult prepare(const std::string& path, const std::string& vial = "Tray2:5", double volume = 1.0,
                       std::int32_t row_ind = 0) {
        return client->PrepareForRun("raw", path, "list", row_ind, 0, vial, volume, 0);
    }
    // The failure's message carries the reason after the code.
    static bool says(const CallResult& r, const std::string& text) {
        return !r.ok && r.error_name == failed_error && r.error_message.find(text) != std::string::npos;
    }
};

TEST_F(ZorrunRefusals, a_prepare_for_run_before_initialize_fails_with_the_reason_and_sets_status_8) {
    start();
    const CallResult r = prepare(document(sample_method()));
    EXPECT_TRUE(
        says(r, "PrepareForRun failed: HRESULT 0x8007139F: Got a run command, but not ready (status 0: "))
        << r.error_message;
    EXPECT_EQ(status(), 8);
    EXPECT_EQ(count_sent("GET_SYR"), 0);
}

TEST_F(ZorrunRefusals, an_unreadable_document_fails_with_the_message_and_the_path_and_keeps_the_status) {
    start();
    initialize();
    const std::string missing = (folder / "missing.raw").string();
    const CallResult r = prepare(missing);
    EXPECT_TRUE(says(r, "HRESULT 0x80030002: cant open storage: 0080030002 (" + missing)) << r.error_message;
    EXPECT_EQ(status(), 1);
    EXPECT_EQ(box_texts(), std::vector<std::string>{"cant open storage: 0080030002"});
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    EXPECT_TRUE(wait_for_status(4));
}

TEST_F(ZorrunRefusals, a_fifo_as_document_is_refused_at_once_and_the_driver_keeps_serving) {
    start();
    initialize();
    const auto fifo = folder / "pipe.raw";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Nobody ever writes to the FIFO: an open that waits for a writer would hang the driver.
    client->set_timeout_ms(15000);
    const CallResult r = prepare(fifo.string());
    EXPECT_TRUE(says(r, "cant open storage: 0080030005 (" + fifo.string() + ": \"" + fifo.string() +
                            "\" is a FIFO (named pipe), not a document file)"))
        << r.error_name << " " << r.error_message;
    EXPECT_EQ(status(), 1);
    EXPECT_EQ(prepare(folder.string()).ok, false);  // a folder neither
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    EXPECT_TRUE(wait_for_status(4));
}

TEST_F(ZorrunRefusals, vials_that_are_not_in_their_tray_are_refused_before_anything_moves) {
    start();
    initialize();
    const std::string path = document(sample_method());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"banana", "Vial \"banana\": banana is not a tray of the configuration"},
        {"Tray9:999", "Vial \"Tray9:999\": Tray9 is not a tray of the configuration"},
        {"Tray3:999", "Vial \"Tray3:999\": vial 999 is not in Tray3 (1 - 54)"},
        {"Tray3:7:8", "Vial \"Tray3:7:8\": the vial position \"7:8\" is not a number of a vial in Tray3"},
        {"Tray3:0", "Vial \"Tray3:0\": vial 0 is not in Tray3 (1 - 54)"},
        {"Tray3:-5", "Vial \"Tray3:-5\": vial -5 is not in Tray3 (1 - 54)"},
        {"Tray3", "Vial \"Tray3\": the vial position \"\" is not a number of a vial in Tray3"},
        {"Tray3:x", "Vial \"Tray3:x\": the vial position \"x\" is not a number of a vial in Tray3"},
        {"", "Vial \"\": the vial names no tray"},
        {"Tray2:5,0)|WASH(Wash1,9", "is not a number of a vial in Tray2"},
        {"Wash1:1", "Vial \"Wash1:1\": Wash1 is not a tray of the configuration"},
    };
    for (const auto& [vial, reason] : cases) {
        const CallResult r = prepare(path, vial);
        EXPECT_TRUE(says(r, "HRESULT 0x80070057: Vial \"")) << vial << ": " << r.error_message;
        EXPECT_TRUE(says(r, reason)) << vial << ": " << r.error_message;
        EXPECT_EQ(status(), 1) << vial;
    }
    ASSERT_TRUE(wait_for_polls(2));
    EXPECT_EQ(count_sent("GET_SYR"), 0);
    EXPECT_TRUE(sim->executed().empty());
    // The last vial of the tray is one of it.
    ASSERT_EQ(prepare(path, "Tray3:54").result, 1);
    ASSERT_TRUE(wait_for_status(4));
    EXPECT_EQ(sim->executed()[1], "MOVE_TO_VIAL(Tray3,54,10000,)");
}

TEST_F(ZorrunRefusals, volumes_that_are_no_numbers_are_refused_negative_and_tiny_ones_become_0) {
    start();
    initialize();
    const std::vector<std::string> method = {"10ul", "Take()", "[MACRO Take]", "ASPIRATE(SYR,SL.volume,2,0)"};
    const std::string path = document(method);
    for (double volume :
         {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        const CallResult r = prepare(path, "Tray2:5", volume);
        EXPECT_TRUE(says(r, "HRESULT 0x80070057: Injection volume ")) << volume << ": " << r.error_message;
        EXPECT_TRUE(says(r, " is not a volume")) << r.error_message;
        EXPECT_EQ(status(), 1);
    }
    EXPECT_EQ(count_sent("GET_SYR"), 0);
    EXPECT_TRUE(sim->executed().empty());
    // A negative volume and one below a thousandth of a nanolitre are nothing.
    ASSERT_EQ(prepare(path, "Tray2:5", -1.0).result, 1);
    ASSERT_TRUE(wait_for_status(1));
    ASSERT_EQ(prepare(path, "Tray2:5", 1e-300).result, 1);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(sim->executed(),
              (std::vector<std::string>{"ASPIRATE(10ul,0,2000,0,)", "ASPIRATE(10ul,0,2000,0,)"}));
}

TEST_F(ZorrunRefusals, start_run_without_a_prepared_run_succeeds_and_changes_nothing) {
    start();
    initialize();
    const CallResult r = client->StartRun();
    ASSERT_TRUE(r.ok) << r.error_message;
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(status(), 1);
    // The next preparation is taken as if nothing had happened: its run waits for its own start.
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    ASSERT_TRUE(wait_for_status(4));
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(sim->executed(), sample_atoms());
}

TEST_F(ZorrunRefusals,
       a_second_prepare_for_run_during_a_preparation_fails_and_leaves_the_status_of_the_first) {
    start();
    initialize();
    const std::string path = document(sample_method());
    sim->tell("silent on");
    ASSERT_EQ(prepare(path).result, 1);
    EXPECT_EQ(status(), 3);
    const CallResult second = prepare(path, "Tray1:1");
    EXPECT_TRUE(says(second, "Got a run command, but not ready: a run is under way")) << second.error_message;
    EXPECT_EQ(status(), 3);
    sim->tell("silent off");
    ASSERT_TRUE(wait_for_status(4));
    // And once more while the first run waits for its start.
    EXPECT_TRUE(says(prepare(path, "Tray1:1"), "a run is under way"));
    EXPECT_EQ(status(), 4);
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(sim->executed(), sample_atoms());
}

TEST_F(ZorrunRefusals, initialize_with_a_missing_device_says_the_instrument_is_not_reachable) {
    start({.environment = {"ZOR_COM7=" + (std::filesystem::path("/nonexistent") / "zor-device").string()}});
    write_setting("Port", 7);
    const CallResult r = client->Initialize();
    EXPECT_TRUE(says(r, "The Zor is not reachable: ")) << r.error_message;
    EXPECT_EQ(status(), 10);
    const CallResult text = client->AtomStatus();
    EXPECT_EQ(text.text.rfind("The Zor is not reachable: ", 0), 0u) << text.text;
    // A run fails at once, with the same reason.
    const auto begun = std::chrono::steady_clock::now();
    const CallResult p = prepare(document(sample_method()));
    EXPECT_TRUE(says(p, "Got a run command, but not ready (status 10: The Zor is not reachable: "))
        << p.error_message;
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 10s);
    EXPECT_EQ(status(), 10);
    // A client that clears the status still cannot run anything.
    ASSERT_TRUE(client->ClearStatus().ok);
    EXPECT_TRUE(says(prepare(document(sample_method())),
                     "Got a run command, but not ready: The Zor is not reachable: "));
    EXPECT_EQ(status(), 1);
    // Once the setting names the instrument's line, Initialize opens it.
    write_setting("Port", 1);
    ASSERT_TRUE(client->Initialize().ok);
    EXPECT_EQ(status(), 1);
}

TEST_F(ZorrunRefusals, a_value_out_of_range_with_nobody_to_ask_fails_the_run_instead_of_taking_the_bound) {
    // No test answers dialogs: the driver is alone, as on a server without a screen.
    start({.interaction = false});
    initialize();
    const std::vector<std::string> method = {
        "10ul",         "Take()", "[MACRO Take]", "ASPIRATE(SYR,SL.volume,2,0)", "[MACRO METHOD EXIT]",
        "WASH(Wash2,2)"};
    // 101 µl on a 10 µl syringe.
    ASSERT_EQ(prepare(document(method), "Tray2:5", 101).result, 1);
    ASSERT_TRUE(wait_for_status(8));
    EXPECT_EQ(client->AtomStatus().text, "Error in method! ASPIRATE:Volume: SL.volume is out of range");
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 1);
    // Nothing was aspirated; the run ended through its exit part.
    EXPECT_EQ(sim->executed(), std::vector<std::string>{"WASH(Wash2,2,)"});
    EXPECT_NE(zorrun_stderr().find("ASPIRATE:Volume: SL.volume is out of range"), std::string::npos)
        << zorrun_stderr();
}

TEST_F(ZorrunRefusals, a_method_line_with_a_control_character_fails_the_method_before_anything_moves) {
    start();
    initialize();
    const std::vector<std::string> method = {
        "10ul",       "Odd()",         "[MACRO Odd]",         "WASH(Wash1,1)",
        "BEEP\x01()", "WASH(Wash1,2)", "[MACRO METHOD EXIT]", "WASH(Wash2,2)"};
    ASSERT_EQ(prepare(document(method)).result, 1);
    ASSERT_TRUE(wait_for_status(8));
    EXPECT_EQ(client->AtomStatus().text, "Error in method! In macro \"Odd\", BEEP\x01 is not an atom!");
    ASSERT_TRUE(wait_for_polls(2));
    EXPECT_TRUE(sim->executed().empty());
    for (const std::string& sent : sent_commands()) EXPECT_EQ(sent.find("BEEP"), std::string::npos) << sent;
}

}  // namespace
}  // namespace zorrun_test
