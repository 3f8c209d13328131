// Zorrun's life as a local server: registration, activation by the COM layer, the end of an
// activated server with its last reference (also one held by a client that died), and what a
// client sees when Zorrun dies in the middle of a call.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "driver/izor/izor.h"
#include "driver/zorrun/server.h"
#include "driver/zorrun/tests/e2e/zorrun_e2e_fixture.h"
#include "platform/com/com.h"
#include "utilities/settings.h"

namespace zorrun_test {
namespace {

namespace com = platform::com;

bool process_gone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// A client in a process of its own that takes a reference and dies without giving it back.
void client_that_dies_holding_a_reference() {
    const pid_t child = ::fork();
    if (child == 0) {
        BusClient own;
        const CallResult r = own.CreateInstance();
        ::_exit(r.ok && r.text == "/com/hox/Zorrun/IZor" ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

using ZorrunRegistration = ZorrunE2E;

TEST_F(ZorrunRegistration, regserver_writes_the_local_server_and_unregserver_removes_it) {
    const std::vector<std::string> env = {"ZOR_REGISTRY=" + (folder / "registry.db").string()};
    EXPECT_EQ(run_program(ZORRUN_PATH, {"/REGSERVER"}, env), 0);
    auto found = com::find_local_registration(izor::CLSID_IZor);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->program_path, std::filesystem::canonical(ZORRUN_PATH).string());
    EXPECT_EQ(found->bus_name, "com.hox.Zorrun");
    EXPECT_EQ(found->object_name, "IZor");
    EXPECT_EQ(com::clsid_from_prog_id("Zorrun.IZor"), izor::CLSID_IZor);
    // The bus's service file names the same program, without a switch.
    const auto service = folder / "data" / "dbus-1" / "services" / "com.hox.Zorrun.service";
    EXPECT_EQ(core_test::read_file_lines(service),
              (std::vector<std::string>{"[D-BUS Service]", "Name=com.hox.Zorrun",
                                        "Exec=" + std::filesystem::canonical(ZORRUN_PATH).string()}));
    // Registration alone starts no server.
    EXPECT_FALSE(client->zorrun_on_bus());
    EXPECT_EQ(run_program(ZORRUN_PATH, {"-unregserver"}, env), 0);
    EXPECT_FALSE(com::find_local_registration(izor::CLSID_IZor));
    EXPECT_FALSE(std::filesystem::exists(service));
}

TEST_F(ZorrunRegistration, the_service_file_quotes_a_program_path_the_bus_would_split) {
    EXPECT_EQ(zorrun::service_file_text("/opt/zor/bin/Zorrun"),
              "[D-BUS Service]\nName=com.hox.Zorrun\nExec=/opt/zor/bin/Zorrun\n");
    EXPECT_EQ(zorrun::service_file_text("/home/lab user/it's/Zorrun"),
              "[D-BUS Service]\nName=com.hox.Zorrun\nExec='/home/lab user/it'\\''s/Zorrun'\n");
    const char* home = ::getenv("HOME");
    const std::string own_home = home ? home : "";
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", "/home/lab", 1);
    EXPECT_EQ(zorrun::service_file_path(), "/home/lab/.local/share/dbus-1/services/com.hox.Zorrun.service");
    ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored, as the bus does
    EXPECT_EQ(zorrun::service_file_path(), "/home/lab/.local/share/dbus-1/services/com.hox.Zorrun.service");
    ::setenv("HOME", own_home.c_str(), 1);
}

using ZorrunLifetime = ZorrunE2E;

TEST_F(ZorrunLifetime, an_embedded_zorrun_ends_when_the_last_reference_goes) {
    start({.arguments = {"-Embedding"}});
    const CallResult first = client->CreateInstance();
    ASSERT_TRUE(first.ok) << first.error_message;
    EXPECT_EQ(first.text, "/com/hox/Zorrun/IZor");
    BusClient second;
    ASSERT_TRUE(second.CreateInstance().ok);
    ASSERT_TRUE(client->Release().ok);
    EXPECT_TRUE(zorrun->running());
    EXPECT_EQ(second.GetStatus().result, 0);
    ASSERT_TRUE(second.Release().ok);
    EXPECT_EQ(zorrun->wait_exit(20s), 0);
}

TEST_F(ZorrunLifetime, a_client_that_dies_releases_its_references) {
    start({.arguments = {"-Embedding"}});
    ASSERT_TRUE(client->CreateInstance().ok);
    client_that_dies_holding_a_reference();
    // The dead client's reference went with its connection; ours still holds the server.
    EXPECT_TRUE(zorrun->running());
    EXPECT_TRUE(client->GetStatus().ok);
    client.reset();  // our connection ends too, without a Release
    EXPECT_EQ(zorrun->wait_exit(20s), 0);
}

TEST_F(ZorrunLifetime, a_zorrun_started_without_switches_outlives_its_clients) {
    start();
    ASSERT_TRUE(client->CreateInstance().ok);
    ASSERT_TRUE(client->Release().ok);
    client_that_dies_holding_a_reference();
    EXPECT_TRUE(client->GetStatus().ok);
    EXPECT_TRUE(zorrun->running());
}

TEST_F(ZorrunLifetime, a_second_zorrun_on_the_bus_ends_saying_that_the_bus_name_is_taken) {
    start();
    InteractionChannel second_channel((folder / "second-ui.sock").string());
    ZorrunProcess second(
        ZORRUN_PATH, {},
        {"ZOR_REGISTRY=" + (folder / "registry.db").string(), "ZOR_COM1=" + sim->link_path().string(),
         "ZOR_TEST_INTERACTION=" + second_channel.path()},
        folder / "second.err");
    EXPECT_EQ(second.wait_exit(20s), 1);
    std::string said;
    for (const auto& line : core_test::read_file_lines(folder / "second.err")) said += line + "\n";
    EXPECT_NE(said.find("the bus name com.hox.Zorrun is owned by another process"), std::string::npos)
        << said;
    EXPECT_EQ(said.find("File exists"), std::string::npos) << said;
    EXPECT_TRUE(zorrun->running());
    EXPECT_TRUE(client->GetStatus().ok);
}

TEST_F(ZorrunLifetime, a_zorrun_ends_when_its_session_bus_goes_away) {
    start();
    initialize();
    client.reset();
    bus.reset();  // the session ends
    EXPECT_EQ(zorrun->wait_exit(20s), 0);
    EXPECT_NE(zorrun_stderr().find("the session bus went away"), std::string::npos) << zorrun_stderr();
}

TEST_F(ZorrunLifetime, killed_in_the_middle_of_a_call_gives_the_client_a_disconnect_error) {
    start();
    initialize();
    sim->tell("silent on");
    CallResult result;
    std::atomic<bool> returned{false};
    std::thread call([&] {
        BusClient own;
        result = own.GetSyringe();
        returned = true;
    });
    // The call is waiting inside Zorrun once the link resends.
    EXPECT_TRUE(wait_until([&] {
        for (const auto& line : sim->transcript())
            if (line.find("# resend") != std::string::npos ||
                line.find("ignored: silent") != std::string::npos)
                return true;
        return false;
    }));
    EXPECT_FALSE(returned);
    zorrun->signal(SIGKILL);
    call.join();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error_name, "org.freedesktop.DBus.Error.NoReply");
    EXPECT_FALSE(result.error_message.empty());
}

// Through the COM layer of this process: the class is activated from its registration and
// reached through a proxy.
class ZorrunActivation : public ZorrunE2E {
  protected:
    void TearDown() override {
        com::reset_com_state_for_tests();
        ::unsetenv("ZOR_COM1");
        if (sim_for_activation) sim_for_activation->stop();
        ZorrunE2E::TearDown();
    }
    std::unique_ptr<core_test::ZorsimProcess> sim_for_activation;
};

TEST_F(ZorrunActivation, creating_the_class_starts_zorrun_which_ends_with_the_last_release) {
    putils::reg_write_string("Method Folder", folder.string());
    const std::vector<std::string> env = {"ZOR_REGISTRY=" + (folder / "registry.db").string()};
    ASSERT_EQ(run_program(ZORRUN_PATH, {"-RegServer"}, env), 0);
    sim_for_activation =
        std::make_unique<core_test::ZorsimProcess>(folder, std::vector<std::string>{"--syringe", "100ul"});
    ASSERT_TRUE(sim_for_activation->ok());
    // The started server inherits this process's environment.
    ::setenv("ZOR_COM1", sim_for_activation->link_path().c_str(), 1);

    com::ComPtr<izor::IIZor2> driver;
    const com::HRESULT hr = com::co_create_instance(izor::CLSID_IZor, nullptr, com::CLSCTX_LOCAL_SERVER,
                                                    izor::IID_IIZor2, driver.put_void());
    ASSERT_EQ(hr, com::S_OK) << com::hresult_text(hr) << " " << com::last_bus_error();
    const pid_t server = com::bus_name_owner_pid("com.hox.Zorrun");
    ASSERT_GT(server, 0);
    ASSERT_EQ(driver->StartPolling(), com::S_OK);
    com::Bstr syringe;
    ASSERT_EQ(driver->GetSyringe(syringe.put()), com::S_OK);
    EXPECT_EQ(syringe.text(), "100ul");
    std::int32_t uploading = -1;
    ASSERT_EQ(driver->Uploading(&uploading), com::S_OK);
    EXPECT_EQ(uploading, 0);
    // ChooseVials fails and leaves the vials as they were.
    com::BSTR vials = com::bstr_from_text("Tray1:1;");
    std::int32_t chosen = 0;
    EXPECT_EQ(driver->ChooseVials(com::Bstr(std::string("x")).get(), &vials, &chosen), com::E_NOTIMPL);
    EXPECT_EQ(com::text_from_bstr(vials), "Tray1:1;");
    com::sys_free_string(vials);
    driver.reset();
    com::bus_ping();
    EXPECT_TRUE(wait_until([&] { return process_gone(server); }, 20s));
}

}  // namespace
}  // namespace zorrun_test
