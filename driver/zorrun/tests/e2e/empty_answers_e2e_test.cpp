// An instrument that answers a query with a bare "|" and no data line, against zorsim: once the
// query's resends have run out with only "|" coming back, that is its answer. An empty
// configuration fails the upload with its reason, no version ends the upload, no syringe is a
// mismatch, no bar code is an unreadable label; the instrument never reads as disconnected, and
// the next call is served.
#include <fstream>

#include "driver/zorrun/tests/e2e/zorrun_e2e_fixture.h"

namespace zorrun_test {
namespace {

class ZorrunEmptyAnswers : public ZorrunE2E {
  protected:
    // Waits for the condition while watching the status: true when it held and the status
    // never read 10 (disconnected) meanwhile.
    bool connected_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 60s) {
        bool disconnected = false;
        const bool held = wait_until(
            [&] {
                disconnected = disconnected || status() == 10;
                return condition();
            },
            timeout);
        return held && !disconnected;
    }
    // (Its resends count as sent too.)
    bool upload_ended() { return count_sent("GET_FW_VERSION") > 0 && client->Uploading().result == 0; }
};

TEST_F(ZorrunEmptyAnswers, an_empty_configuration_fails_the_upload_with_its_reason_and_keeps_the_cache) {
    start({.zorsim = {"--bare-reply", "GET_CONFIG"}});
    initialize();
    const auto cached = core_test::read_file_lines(folder / "latest_zor.pol");
    ASSERT_TRUE(client->ReloadConfiguration().ok);
    ASSERT_TRUE(connected_until([&] { return upload_ended(); }));
    EXPECT_EQ(status(), 8);
    EXPECT_EQ(client->AtomStatus().text,
              "The configuration from the Zor was not taken: it answered GET_CONFIG with no configuration");
    EXPECT_EQ(core_test::read_file_lines(folder / "latest_zor.pol"), cached);
    // The next call is served.
    const CallResult syringe = client->GetSyringe();
    ASSERT_TRUE(syringe.ok) << syringe.error_message;
    EXPECT_EQ(syringe.text, "10ul");
}

TEST_F(ZorrunEmptyAnswers, no_firmware_version_still_ends_the_upload_and_the_configuration_is_taken) {
    start({.zorsim = {"--bare-reply", "GET_FW_VERSION"}});
    initialize();
    std::filesystem::remove(folder / "latest_zor.pol");
    ASSERT_TRUE(client->ReloadConfiguration().ok);
    ASSERT_TRUE(connected_until([&] { return upload_ended(); }));
    EXPECT_EQ(status(), 1);
    EXPECT_EQ(core_test::read_file_lines(folder / "latest_zor.pol"),
              core_test::read_file_lines(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol"));
    const CallResult syringe = client->GetSyringe();
    ASSERT_TRUE(syringe.ok) << syringe.error_message;
    EXPECT_EQ(syringe.text, "10ul");
}

TEST_F(ZorrunEmptyAnswers, no_syringe_is_answered_as_none_and_a_run_meets_the_mismatch) {
    start({.zorsim = {"--bare-reply", "GET_SYR"}, .interaction = false});
    initialize();
    const CallResult syringe = client->GetSyringe();
    ASSERT_TRUE(syringe.ok) << syringe.error_message;
    EXPECT_EQ(syringe.text, "");
    EXPECT_EQ(status(), 1);
    // With nobody to ask, the mismatch cancels the method.
    ASSERT_EQ(client->PrepareForRun("raw", document(sample_method()), "list", 0, 0, "Tray2:5", 1.0, 0).result,
              1);
    ASSERT_TRUE(connected_until([&] { return status() == 8; }));
    EXPECT_EQ(client->AtomStatus().text, "Mismatch between method syringe and actual syringe!");
    ASSERT_TRUE(
        wait_until([&] { return client->InstrumentHasStopped(0).result == 1 && !sim->executed().empty(); }));
    EXPECT_EQ(sim->executed(), std::vector<std::string>{"WASH(Wash2,3,)"});
}

TEST_F(ZorrunEmptyAnswers, no_bar_code_reads_as_an_unreadable_label) {
    start({.zorsim = {"--bare-reply", "GET_SPL_ID"}});
    initialize();
    const CallResult r = client->ReadBarCode("Tray2:5");
    ASSERT_TRUE(r.ok) << r.error_message;
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(status(), 1);
    const CallResult syringe = client->GetSyringe();
    ASSERT_TRUE(syringe.ok) << syringe.error_message;
    EXPECT_EQ(syringe.text, "10ul");
}

}  // namespace
}  // namespace zorrun_test
