// The automation object in this process, without a bus and without an instrument: the guard,
// the answers that need no instrument, and the calls that must fail at once.
#include <fstream>

#include "core/config_model.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "driver/zorrun/automation.h"
#include "driver/zorrun/status_model.h"
#include "driver/zorrun/tests/support/compound_writer.h"
#include "driver/zorrun/tests/support/driver_fixture.h"
#include "driver/zorrun/tizor.h"
#include "utilities/log.h"
#include "utilities/session.h"

namespace zorrun_test {
namespace {

using namespace zorrun;
namespace com = platform::com;

class DriverObject : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        load_example_configuration();
        driver = com::ComPtr<izor::IIZor>::adopt(new TIZor);
        driver2 = driver.query<izor::IIZor2>();
        ASSERT_TRUE(driver2);
    }
    com::ComPtr<izor::IIZor> driver;
    com::ComPtr<izor::IIZor2> driver2;
};

TEST_F(DriverObject, answers_both_interfaces_and_iunknown_with_one_identity) {
    auto unknown1 = driver.query<com::IUnknown>();
    auto unknown2 = driver2.query<com::IUnknown>();
    EXPECT_EQ(unknown1.get(), unknown2.get());
    EXPECT_FALSE(driver.query<com::IClassFactory>());
}

TEST_F(DriverObject, a_missing_out_value_is_a_pointer_failure) {
    EXPECT_EQ(driver->GetStatus(nullptr), com::E_POINTER);
    EXPECT_EQ(driver->StartRun(nullptr), com::E_POINTER);
    EXPECT_EQ(driver2->GetSyringe(nullptr), com::E_POINTER);
    EXPECT_EQ(vzor_state().status_code, 0);
}

TEST_F(DriverObject, status_lock_and_stopped_need_no_instrument) {
    std::int32_t value = -1;
    ASSERT_EQ(driver->GetStatus(&value), com::S_OK);
    EXPECT_EQ(value, 0);
    ASSERT_EQ(driver->Lock(&value), com::S_OK);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(driver->Unlock(&value), com::S_OK);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(driver->InstrumentHasStopped(3, &value), com::S_OK);
    EXPECT_EQ(value, 1);
    core::run_state().run_active = true;
    ASSERT_EQ(driver->InstrumentHasStopped(3, &value), com::S_OK);
    EXPECT_EQ(value, 0);
    core::run_state().status_text = "Washing 40%";
    com::Bstr text;
    ASSERT_EQ(driver2->AtomStatus(text.put()), com::S_OK);
    EXPECT_EQ(text.text(), "Washing 40%");
    core::run_state().run_active = false;
    ASSERT_EQ(driver2->AtomStatus(text.put()), com::S_OK);
    EXPECT_EQ(text.text(), "The Zor is idle");
    ASSERT_EQ(driver2->ClearStatus(), com::S_OK);
    ASSERT_EQ(driver->GetStatus(&value), com::S_OK);
    EXPECT_EQ(value, 1);
}

TEST_F(DriverObject, synchronous_calls_fail_at_once_with_the_port_closed) {
    com::Bstr syringe;
    EXPECT_EQ(driver2->GetSyringe(syringe.put()), ZOR_E_NOT_CONNECTED);
    EXPECT_TRUE(core::step_queue_empty());
    com::Bstr code;
    std::int32_t state = -1;
    EXPECT_EQ(driver->ReadBarCode(com::Bstr(std::string("Tray2:5")).get(), code.put(), &state),
              ZOR_E_NOT_CONNECTED);
    EXPECT_EQ(core::step_queue().pending_command, "");
    // A tray without a reader needs no instrument.
    ASSERT_EQ(driver->ReadBarCode(com::Bstr(std::string("Tray1:5")).get(), code.put(), &state), com::S_OK);
    EXPECT_EQ(code.text(), "Unreadable");
    EXPECT_EQ(state, 2);
}

TEST_F(DriverObject, set_tray_type_with_an_unknown_tray_changes_nothing) {
    const auto before = core::config_model().object_count;
    for (const char* tray : {"Tray9", "", "Wash1", "TH-9070"}) {
        EXPECT_EQ(
            driver2->SetTrayType(com::Bstr(std::string(tray)).get(), com::Bstr(std::string("VT96")).get()),
            com::E_INVALIDARG)
            << tray;
    }
    EXPECT_EQ(
        driver2->SetTrayType(com::Bstr(std::string("Tray1")).get(), com::Bstr(std::string("Nothing")).get()),
        com::E_INVALIDARG);
    EXPECT_EQ(core::config_model().object_count, before);
    EXPECT_EQ(core::get_tray_type("Tray1"), "VT96");
    EXPECT_EQ(core::step_queue().pending_command, "");
    ASSERT_EQ(
        driver2->SetTrayType(com::Bstr(std::string("tray1")).get(), com::Bstr(std::string("VT96BC")).get()),
        com::S_OK);
    EXPECT_EQ(core::get_tray_type("Tray1"), "VT96BC");
    EXPECT_EQ(core::step_queue().pending_command.rfind("DLD_OBJ TRAY;Tray1;VT96BC;", 0), 0u);
}

TEST_F(DriverObject, choose_vials_fails_and_leaves_the_vials) {
    com::BSTR vials = com::bstr_from_text("Tray1:1;");
    std::int32_t result = 7;
    EXPECT_EQ(driver2->ChooseVials(com::Bstr(std::string("o")).get(), &vials, &result), com::E_NOTIMPL);
    EXPECT_EQ(com::text_from_bstr(vials), "Tray1:1;");
    EXPECT_EQ(result, 7);
    com::sys_free_string(vials);
}

TEST_F(DriverObject, reset_in_a_run_turns_5_into_1_without_a_broadcast_and_leaves_6) {
    Receiver status("TZorStatusX");
    core::run_state().run_active = true;
    set_status(5, "Waiting for contact closure");
    const int before = status.count();
    ASSERT_EQ(driver2->Reset(), com::S_OK);
    EXPECT_EQ(vzor_state().status_code, 1);
    EXPECT_EQ(status_text(), "Waiting for contact closure");
    EXPECT_EQ(status.count(), before);
    EXPECT_TRUE(core::run_state().cancel_requested);
    set_status(6, "Zor continuing method");
    ASSERT_EQ(driver2->Reset(), com::S_OK);
    EXPECT_EQ(vzor_state().status_code, 6);
    // Idle, Reset queues the clean-up.
    core::run_state().run_active = false;
    ASSERT_EQ(driver2->Reset(), com::S_OK);
    EXPECT_EQ(core::step_queue().size, 2);
}

TEST_F(DriverObject, start_run_chooses_5_or_6_by_the_start_mode) {
    std::int32_t result = 0;
    // With nothing prepared a start succeeds, changes nothing and leaves one log line.
    putils::session().log_enabled = true;
    set_status(1, "");
    ASSERT_EQ(driver->StartRun(&result), com::S_OK);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(vzor_state().status_code, 1);
    EXPECT_EQ(status_text(), "The Zor is idle");
    EXPECT_FALSE(core::run_state().go_flag);
    std::ifstream log(putils::log_file_path());
    std::vector<std::string> logged;
    for (std::string line; std::getline(log, line);) logged.push_back(line.substr(line.find(" : ") + 3));
    EXPECT_EQ(logged, std::vector<std::string>{"zorrun:StartRun: no run is prepared; the status stays 1\r"});
    result = 0;
    core::run_state().run_active = true;
    vzor_state().start_mode = 1;
    ASSERT_EQ(driver->StartRun(&result), com::S_OK);
    EXPECT_EQ(vzor_state().status_code, 5);
    EXPECT_EQ(status_text(), "Waiting for contact closure");
    EXPECT_TRUE(core::run_state().go_flag);
    vzor_state().start_mode = 0;
    ASSERT_EQ(driver->StartRun(&result), com::S_OK);
    EXPECT_EQ(vzor_state().status_code, 6);
    EXPECT_EQ(status_text(), "Zor continuing method");
    EXPECT_EQ(result, 1);
}

TEST_F(DriverObject, change_ports_asks_for_the_change_and_uploading_reports_the_core) {
    ASSERT_EQ(driver2->ChangePorts(5), com::S_OK);
    EXPECT_TRUE(core::session_state().port_change_requested);
    std::int32_t value = -1;
    core::session_state().uploading = 1;
    ASSERT_EQ(driver2->Uploading(&value), com::S_OK);
    EXPECT_EQ(value, 1);
}

TEST_F(DriverObject, validate_method_takes_no_object_for_a_storage_that_is_none) {
    const std::string file =
        make_compound_file({CompoundNode::stream("Data", method_stream_bytes({"10ul", "Wash()"}))});
    const std::vector<std::uint8_t> bytes(file.begin(), file.end());
    com::ComPtr<com::IUnknown> storage = izor::make_compound_file_bytes(bytes);
    com::Bstr reason;
    ASSERT_EQ(driver->ValidateMethod(storage.get(), reason.put()), com::S_OK);
    EXPECT_EQ(reason.text(), "");
    // Another kind of object, no object, and bytes that are no compound file.
    auto other = driver.query<com::IUnknown>();
    ASSERT_EQ(driver->ValidateMethod(other.get(), reason.put()), com::S_OK);
    EXPECT_EQ(reason.text(), "The ZOR Method is not readable: the storage is no compound file");
    ASSERT_EQ(driver->ValidateMethod(nullptr, reason.put()), com::S_OK);
    EXPECT_EQ(reason.text(), "The ZOR Method is not readable: the storage is no compound file");
    const std::string junk = "junk";
    storage = izor::make_compound_file_bytes(std::vector<std::uint8_t>(junk.begin(), junk.end()));
    ASSERT_EQ(driver->ValidateMethod(storage.get(), reason.put()), com::S_OK);
    EXPECT_EQ(reason.text(), "The ZOR Method is not readable: the storage is no compound file");
    EXPECT_TRUE(interaction->boxes().empty());
}

}  // namespace
}  // namespace zorrun_test
