// What a client reads from Zorrun can be trusted: a failed upload, a syringe mismatch and an
// unreadable document stand as status 8 with their reason until the client clears it, an
// upload is never cut short by another job, a vial text names exactly one vial of one tray in
// the configuration's spelling, and values a call does not know are refused with a reason.
#include <algorithm>
#include <fstream>
#include <thread>

#include "driver/zorrun/tests/e2e/zorrun_e2e_fixture.h"

namespace zorrun_test {
namespace {

class ZorrunTrustedAnswers : public ZorrunE2E {
  protected:
    CallResult prepare(const std::string& path, const std::string& vial = "Tray2:5",
                       std::int32_t start_mode = 0, double volume = 1.0) {
        return client->PrepareForRun("raw", path, "list", 0, start_mode, vial, volume, 0);
    }
    static bool says(const CallResult& r, const std::string& text) {
        return !r.ok && r.error_name == failed_error && r.error_message.find(text) != std::string::npos;
    }
    // A client that polls every 2 s sees the same status and text each time.
    void expect_standing(std::int32_t code, const std::string& text, int polls = 3) {
        for (int i = 0; i < polls; ++i) {
            if (i > 0) std::this_thread::sleep_for(2s);
            EXPECT_EQ(status(), code) << "poll " << i;
            EXPECT_EQ(client->AtomStatus().text, text) << "poll " << i;
        }
    }
    std::string write_text(const std::string& name, const std::vector<std::string>& lines) const {
        const auto path = folder / name;
        std::ofstream out(path, std::ios::binary);
        for (const auto& line : lines) out << line << "\r\n";
        return path.string();
    }
};

TEST_F(ZorrunTrustedAnswers, a_failed_upload_stands_as_status_8_with_its_reason_until_cleared) {
    // The instrument serves a text without any of its sections.
    start({.zorsim = {"--config", write_text("broken.pol", {"this is no configuration"})}});
    initialize();
    ASSERT_TRUE(client->ReloadConfiguration().ok);
    ASSERT_TRUE(wait_until(
        [&] { return count_sent("GET_FW_VERSION") == 1 && client->Uploading().result == 0; }, 60s));
    EXPECT_EQ(sent_commands(),
              (std::vector<std::string>{"SET_BAUD 38400", "GET_CONFIG", "SET_BAUD 9600", "GET_FW_VERSION"}));
    const std::string reason = client->AtomStatus().text;
    EXPECT_EQ(reason.rfind("The configuration from the Zor was not taken: ", 0), 0u) << reason;
    expect_standing(8, reason);
    // The old configuration is kept: once cleared, a run on it is taken.
    ASSERT_TRUE(client->ClearStatus().ok);
    EXPECT_EQ(status(), 1);
    ASSERT_EQ(prepare(document(sample_method())).result, 1);
    EXPECT_TRUE(wait_for_status(4));
}

TEST_F(ZorrunTrustedAnswers, jobs_that_would_cut_an_upload_short_are_refused_and_the_upload_ends_at_9600) {
    // Paced, the configuration takes a few seconds to arrive.
    start({.zorsim = {"--pace"}});
    initialize();
    const std::string path = document(sample_method());
    ASSERT_TRUE(client->ReloadConfiguration().ok);
    const CallResult run = prepare(path);
    EXPECT_TRUE(says(run, "Got a run command, but not ready: the configuration is being uploaded"))
        << run.error_message;
    ASSERT_TRUE(wait_until([&] { return client->Uploading().result == 1; }));
    EXPECT_TRUE(says(prepare(path), "the configuration is being uploaded"));
    EXPECT_TRUE(says(client->ReadBarCode("Tray1:1"), "ReadBarCode: the configuration is being uploaded"));
    EXPECT_TRUE(
        says(client->SetTrayType("Tray1", "BC96"), "SetTrayType: the configuration is being uploaded"));
    ASSERT_TRUE(wait_until([&] { return client->Uploading().result == 0; }, 60s));
    EXPECT_EQ(sent_commands(),
              (std::vector<std::string>{"SET_BAUD 38400", "GET_CONFIG", "SET_BAUD 9600", "GET_FW_VERSION"}));
    EXPECT_NE(sim->tell("status").find("baud=9600"), std::string::npos) << sim->tell("status");
    EXPECT_EQ(status(), 1);
    // Afterwards the run is taken.
    ASSERT_EQ(prepare(path).result, 1);
    EXPECT_TRUE(wait_for_status(4));
}

TEST_F(ZorrunTrustedAnswers, a_mismatch_with_nobody_to_ask_stands_through_sl_exit_until_cleared) {
    // SL EXIT's wash takes long enough for a slow poller to see it run.
    start({.zorsim = {"--atom-ms", "WASH=3000"}, .interaction = false});
    initialize();
    ASSERT_EQ(prepare(document(sample_method("100ul"))).result, 1);
    ASSERT_TRUE(wait_for_status(8));
    expect_standing(8, "Mismatch between method syringe and actual syringe!");
    ASSERT_TRUE(wait_until([&] { return sim->executed() == std::vector<std::string>{"WASH(Wash2,3,)"}; }));
    ASSERT_TRUE(wait_until([&] { return client->InstrumentHasStopped(0).result == 1; }));
    expect_standing(8, "Mismatch between method syringe and actual syringe!", 2);
    ASSERT_TRUE(client->ClearStatus().ok);
    EXPECT_EQ(status(), 1);
}

TEST_F(ZorrunTrustedAnswers, a_syringe_line_of_garbage_stands_as_a_mismatch_until_cleared) {
    start({.interaction = false});
    initialize();
    ASSERT_EQ(prepare(document(sample_method("#~~ not a syringe ~~#"))).result, 1);
    ASSERT_TRUE(wait_for_status(8));
    ASSERT_TRUE(
        wait_until([&] { return client->InstrumentHasStopped(0).result == 1 && !sim->executed().empty(); }));
    expect_standing(8, "Mismatch between method syringe and actual syringe!", 2);
}

TEST_F(ZorrunTrustedAnswers, a_vial_text_names_one_vial_of_one_tray_in_the_configurations_spelling) {
    start();
    initialize();
    const std::string path = document(sample_method());
    const CallResult twice = prepare(path, "Tray2:5:5");
    EXPECT_TRUE(
        says(twice, "Vial \"Tray2:5:5\": the vial position \"5:5\" is not a number of a vial in Tray2"))
        << twice.error_message;
    EXPECT_EQ(status(), 1);
    ASSERT_EQ(prepare(path, "tRAY2:5").result, 1);
    ASSERT_TRUE(wait_for_status(4));
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(sim->executed(), sample_atoms());
}

TEST_F(ZorrunTrustedAnswers, a_volume_above_the_syringe_with_nobody_to_ask_tells_its_reason) {
    start({.interaction = false});
    initialize();
    const std::vector<std::string> method = {"10ul", "Take()", "[MACRO Take]", "ASPIRATE(SYR,SL.volume,2,0)"};
    ASSERT_EQ(prepare(document(method), "Tray2:5", 0, 101).result, 1);
    ASSERT_TRUE(wait_for_status(8));
    expect_standing(8, "Error in method! ASPIRATE:Volume: SL.volume is out of range", 2);
}

TEST_F(ZorrunTrustedAnswers, a_method_that_does_not_expand_stands_as_status_8_with_the_expansions_reason) {
    start();
    initialize();
    // A step whose macro the document does not carry.
    ASSERT_EQ(prepare(document({"10ul", "Nope(1)"})).result, 1);
    ASSERT_TRUE(wait_for_status(8));
    expect_standing(8, "Error in method! Macro \"Nope\" does not exist.", 2);
    ASSERT_TRUE(client->ClearStatus().ok);
    // One that expands to more atom lines than a method may hold.
    std::vector<std::string> long_method = {"10ul"};
    long_method.insert(long_method.end(), 1001, "Wash()");
    long_method.insert(long_method.end(), {"[MACRO Wash]", "WASH(Wash1,1)"});
    ASSERT_EQ(prepare(document(long_method)).result, 1);
    ASSERT_TRUE(wait_for_status(8));
    expect_standing(8, "Error in method! The method expands to more than 1000 atom lines", 2);
    EXPECT_TRUE(sim->executed().empty());
}

TEST_F(ZorrunTrustedAnswers, values_a_call_does_not_know_are_refused_with_a_reason) {
    start();
    initialize();
    for (std::int32_t mode : {-1, 4, 99999}) {
        const CallResult r = client->ChangeOperatingMode(mode);
        EXPECT_TRUE(says(r, "ChangeOperatingMode: " + std::to_string(mode) + " is not an operating mode"))
            << r.error_message;
    }
    const std::string path = document(sample_method());
    for (std::int32_t mode : {-1, 2, 99999}) {
        const CallResult r = prepare(path, "Tray2:5", mode);
        EXPECT_TRUE(says(r, "StartMode " + std::to_string(mode) + " is not a start mode")) << r.error_message;
    }
    EXPECT_EQ(status(), 1);
    EXPECT_EQ(count_sent("GET_SYR"), 0);
    // A Data stream without any line is what PrepareForRun refuses; ValidateMethod says so.
    const CallResult empty = client->ValidateMethod(storage_bytes_with_data({}));
    ASSERT_TRUE(empty.ok) << empty.error_message;
    EXPECT_EQ(empty.text, "The ZOR Method is not readable: the method stream holds no syringe line");
    EXPECT_TRUE(says(prepare(document({})), "the method stream holds no syringe line"));
}

TEST_F(ZorrunTrustedAnswers, reload_configuration_with_a_port_that_cannot_be_opened_fails_with_the_reason) {
    start({.environment = {"ZOR_COM7=" + (std::filesystem::path("/nonexistent") / "zor-device").string()}});
    write_setting("Port", 7);
    EXPECT_TRUE(client->StartPolling().ok);
    const CallResult r = client->ReloadConfiguration();
    EXPECT_TRUE(says(r, "ReloadConfiguration: The Zor is not reachable: ")) << r.error_message;
    EXPECT_EQ(client->Uploading().result, 0);
}

}  // namespace
}  // namespace zorrun_test
