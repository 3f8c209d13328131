// Zorrun's configuration tasks and synchronous calls over the bus, against zorsim: status at
// start, Initialize, GetSyringe, ReadBarCode, SetTrayType, ReloadConfiguration with Uploading,
// ChangePorts, Reset, and the calls that answer at once.
#include <algorithm>
#include <fstream>

#include "driver/zorrun/tests/e2e/zorrun_e2e_fixture.h"

namespace zorrun_test {
namespace {

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool contains_text(const std::vector<std::string>& list, const std::string& part) {
    return std::any_of(list.begin(), list.end(),
                       [&](const std::string& s) { return s.find(part) != std::string::npos; });
}

using ZorrunStartUp = ZorrunE2E;

TEST_F(ZorrunStartUp, reports_status_0_until_initialized_then_1_and_polls_the_instrument) {
    start();
    EXPECT_EQ(status(), 0);
    auto atom = client->AtomStatus();
    ASSERT_TRUE(atom.ok);
    EXPECT_EQ(atom.text, "The Zor is idle");
    initialize();
    EXPECT_EQ(status(), 1);
    EXPECT_TRUE(box_texts().empty());
    // Lock, Unlock and InstrumentHasStopped answer at once.
    EXPECT_EQ(client->Lock().result, 1);
    EXPECT_EQ(client->Unlock().result, 1);
    EXPECT_EQ(client->InstrumentHasStopped(0).result, 1);
    EXPECT_EQ(client->ChangeOperatingMode(1).result, 1);
    EXPECT_EQ(status(), 1);
}

TEST_F(ZorrunStartUp, initialize_without_a_method_folder_tells_the_user_and_still_opens_the_port) {
    start({.method_folder = false});
    const CallResult r = client->Initialize();
    ASSERT_TRUE(r.ok) << r.error_message;
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(box_texts(), std::vector<std::string>{
                               "The Zor Method folder is not defined. Please run instrument configuration"});
    EXPECT_EQ(status(), 0);
    EXPECT_TRUE(wait_for_polls(2));
}

TEST_F(ZorrunStartUp, logs_every_automation_call_when_the_debug_page_is_on) {
    start({.debug_page = true});
    EXPECT_EQ(status(), 0);
    initialize();
    EXPECT_EQ(client->ChangeOperatingMode(1).result, 1);
    EXPECT_EQ(client->ReadBarCode("Tray1:1").result, 2);
    const auto lines = log_lines();
    // The start-up's own line comes before the settings are read, so it is not among them.
    EXPECT_FALSE(contains_text(lines, "zorrun:initialization"));
    for (const char* text : {" : zorrun:GetStatus 0", " : zorrun:Initialize", " : zorrun:GetStatus 1",
                             " : zorrun:ChangeOperatingMode1", " : zorrun:ReadBarcode"})
        EXPECT_TRUE(contains_text(lines, text)) << text;
}

TEST_F(ZorrunStartUp, choose_vials_fails_with_not_implemented) {
    start();
    const CallResult r = client->ChooseVials("opt", "Tray1:1;");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error_name, failed_error);
    EXPECT_EQ(r.error_message,
              "ChooseVials failed: HRESULT 0x80004001: ChooseVials: the driver has no vial selection");
}

TEST_F(ZorrunStartUp, stops_cleanly_on_sigterm) {
    start();
    initialize();
    zorrun->signal(SIGTERM);
    EXPECT_EQ(zorrun->wait_exit(20s), 0);
    EXPECT_TRUE(wait_until([&] { return !client->zorrun_on_bus(); }, 10s));
}

// ---- GetSyringe ---------------------------------------------------------------------------

using ZorrunGetSyringe = ZorrunE2E;

TEST_F(ZorrunGetSyringe, returns_the_syringe_the_instrument_reports) {
    start({.zorsim = {"--syringe", "25ul"}});
    initialize();
    const CallResult r = client->GetSyringe();
    ASSERT_TRUE(r.ok) << r.error_message;
    EXPECT_EQ(r.text, "25ul");
    EXPECT_EQ(count_sent("GET_SYR"), 1);
    sim->tell("syringe 100ul");
    EXPECT_EQ(client->GetSyringe().text, "100ul");
}

TEST_F(ZorrunGetSyringe, returns_not_connected_error_when_the_port_is_closed) {
    start();
    const CallResult r = client->GetSyringe();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error_name, failed_error);
    EXPECT_EQ(r.error_message, "GetSyringe failed: HRESULT 0x80070015: GetSyringe: the port is not open");
    EXPECT_EQ(count_sent("GET_SYR"), 0);
}

TEST_F(ZorrunGetSyringe, returns_no_answer_error_when_the_instrument_is_silent) {
    start();
    initialize();
    sim->tell("silent on");
    const CallResult r = client->GetSyringe();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error_name, failed_error);
    EXPECT_EQ(r.error_message,
              "GetSyringe failed: HRESULT 0x800705B4: GetSyringe: the instrument did not answer");
    // The driver is still there, reports the loss, and recovers when the instrument answers.
    EXPECT_EQ(status(), 10);
    sim->tell("silent off");
    EXPECT_TRUE(wait_for_status(1));
    EXPECT_EQ(client->AtomStatus().text, "The Zor is idle");
    const CallResult again = client->GetSyringe();
    ASSERT_TRUE(again.ok) << again.error_message;
    EXPECT_EQ(again.text, "10ul");
}

// ---- ReadBarCode --------------------------------------------------------------------------

using ZorrunReadBarCode = ZorrunE2E;

TEST_F(ZorrunReadBarCode, reads_the_code_of_a_vial_on_a_bar_code_tray) {
    start({.zorsim = {"--barcode", "Tray2:5=LOT-0815"}});
    initialize();
    const CallResult r = client->ReadBarCode("Tray2:5");
    ASSERT_TRUE(r.ok) << r.error_message;
    EXPECT_EQ(r.text, "LOT-0815");
    EXPECT_EQ(r.result, 1);
    EXPECT_TRUE(contains(sent_commands(), "READ_BARCODE(Tray2,5)"));
    EXPECT_TRUE(contains(sent_commands(), "GET_SPL_ID"));
    // Another vial reads the simulator's default code.
    const CallResult other = client->ReadBarCode("Tray2:6");
    EXPECT_EQ(other.text, "Tray2-006");
    EXPECT_EQ(other.result, 1);
}

TEST_F(ZorrunReadBarCode, reports_an_unreadable_label_with_state_2) {
    start({.zorsim = {"--unreadable", "Tray2:7"}});
    initialize();
    const CallResult r = client->ReadBarCode("Tray2:7");
    ASSERT_TRUE(r.ok) << r.error_message;
    EXPECT_EQ(r.text, "Barcode unreadable!");
    EXPECT_EQ(r.result, 2);
}

TEST_F(ZorrunReadBarCode, answers_unreadable_at_once_for_a_tray_without_a_reader) {
    start();
    initialize();
    const CallResult r = client->ReadBarCode("Tray1:3");
    ASSERT_TRUE(r.ok) << r.error_message;
    EXPECT_EQ(r.text, "Unreadable");
    EXPECT_EQ(r.result, 2);
    EXPECT_FALSE(contains_text(sent_commands(), "READ_BARCODE"));
}

TEST_F(ZorrunReadBarCode, returns_failed_error_when_instrument_is_silent) {
    start();
    initialize();
    sim->tell("silent on");
    const CallResult r = client->ReadBarCode("Tray2:5");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error_name, failed_error);
    EXPECT_EQ(r.error_message,
              "ReadBarCode failed: HRESULT 0x800705B4: ReadBarCode: the instrument did not answer");
}

TEST_F(ZorrunReadBarCode, returns_not_connected_error_when_the_port_is_closed) {
    start();
    const CallResult r = client->ReadBarCode("Tray2:5");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error_name, failed_error);
    EXPECT_EQ(r.error_message, "ReadBarCode failed: HRESULT 0x80070015: ReadBarCode: the port is not open");
    // Nothing is left over to be sent once the port opens.
    initialize();
    EXPECT_TRUE(wait_for_polls(2));
    EXPECT_FALSE(contains_text(sent_commands(), "READ_BARCODE"));
}

// ---- SetTrayType --------------------------------------------------------------------------

using ZorrunSetTrayType = ZorrunE2E;

TEST_F(ZorrunSetTrayType, downloads_the_tray_and_rewrites_the_cached_configuration) {
    start();
    initialize();
    const CallResult r = client->SetTrayType("Tray1", "VT96BC");
    ASSERT_TRUE(r.ok) << r.error_message;
    ASSERT_TRUE(wait_until([&] { return !sim->downloads().empty(); }));
    const std::vector<std::string> downloads = sim->downloads();
    ASSERT_EQ(downloads.size(), 1u);
    EXPECT_EQ(downloads[0].rfind("TRAY;Tray1;VT96BC;TH-1;", 0), 0u) << downloads[0];
    // Once the instrument took it, the cache holds the same line.
    ASSERT_TRUE(wait_until(
        [&] { return contains(core_test::read_file_lines(folder / "latest_zor.pol"), downloads[0]); }));
    // The tray now has a reader.
    EXPECT_EQ(client->ReadBarCode("Tray1:2").result, 1);
}

TEST_F(ZorrunSetTrayType, refuses_an_unknown_tray_or_tray_type_and_changes_nothing) {
    start();
    initialize();
    for (const auto& [tray, type] : std::vector<std::pair<std::string, std::string>>{
             {"Tray9", "VT96"}, {"Wash1", "VT96"}, {"Tray1", "VT00"}, {"Tray1", "Tray2"}, {"", ""}}) {
        const CallResult r = client->SetTrayType(tray, type);
        EXPECT_FALSE(r.ok) << tray << " " << type;
        EXPECT_EQ(r.error_name, failed_error);
        EXPECT_EQ(r.error_message.rfind("SetTrayType failed: HRESULT 0x80070057: SetTrayType: ", 0), 0u)
            << r.error_message;
    }
    EXPECT_TRUE(wait_for_polls(2));
    EXPECT_TRUE(sim->downloads().empty());
    EXPECT_EQ(client->GetStatus().result, 1);
}

// ---- ReloadConfiguration ------------------------------------------------------------------

using ZorrunReloadConfiguration = ZorrunE2E;

TEST_F(ZorrunReloadConfiguration, uploads_the_configuration_while_uploading_says_1) {
    start({.zorsim = {"--pace"}});
    initialize();
    std::filesystem::remove(folder / "latest_zor.pol");
    EXPECT_EQ(client->Uploading().result, 0);
    ASSERT_TRUE(client->ReloadConfiguration().ok);
    EXPECT_TRUE(wait_until([&] { return client->Uploading().result == 1; }));
    EXPECT_TRUE(wait_until([&] { return client->Uploading().result == 0; }, 60s));
    const std::vector<std::string> expected = {"SET_BAUD 38400", "GET_CONFIG", "SET_BAUD 9600",
                                               "GET_FW_VERSION"};
    EXPECT_EQ(sent_commands(), expected);
    EXPECT_EQ(core_test::read_file_lines(folder / "latest_zor.pol"),
              core_test::read_file_lines(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol"));
    // The progress form was shown and is gone.
    EXPECT_EQ(channel->get("Tload_config_form.config_bar", "Max"), "520");
    EXPECT_EQ(channel->get("Tload_config_form", "Visible"), "False");
    EXPECT_EQ(status(), 1);
}

// ---- ChangePorts and Reset ----------------------------------------------------------------

using ZorrunChangePorts = ZorrunE2E;

TEST_F(ZorrunChangePorts, reopens_the_port_the_setting_names_at_the_next_reply) {
    // A second instrument, in a folder of its own inside the test's.
    const std::filesystem::path other = folder / "second";
    std::filesystem::create_directory(other);
    core_test::ZorsimProcess second(other, {"--syringe", "500ul"});
    ASSERT_TRUE(second.ok());
    start({.environment = {"ZOR_COM3=" + second.link_path().string()}});
    initialize();
    EXPECT_EQ(client->GetSyringe().text, "10ul");
    write_setting("Port", 3);
    ASSERT_TRUE(client->ChangePorts(7).ok);  // the argument is not used
    EXPECT_TRUE(wait_until([&] { return contains_text(log_lines(), " : changed port to 3"); }));
    // The log line is written when the new line is asked to open. The old line may still be
    // closing then (when the change came while the serial layer was delivering a notification,
    // it finishes the close afterwards and only then opens the new line), and until it has, the
    // driver has no open port. The change is complete once the driver polls the second
    // instrument.
    const auto polled = [&] {
        for (const std::string& line : second.transcript())
            if (line.find(" RX <STX>") != std::string::npos &&
                line.find("GET_STAT<ETX>") != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(wait_until(polled));
    const CallResult r = client->GetSyringe();
    ASSERT_TRUE(r.ok) << r.error_message;
    EXPECT_EQ(r.text, "500ul");
    second.stop();
}

using ZorrunReset = ZorrunE2E;

TEST_F(ZorrunReset, while_idle_cleans_up_the_instrument) {
    start();
    initialize();
    ASSERT_TRUE(client->Reset().ok);
    EXPECT_TRUE(wait_until([&] { return contains(sim->executed(), "CLEANUP(Wash1,1,1,1,1,1,1,1)"); }));
}

}  // namespace
}  // namespace zorrun_test
