// End-to-end: a client in this process, the fake Zorrun (com_test_server) in another, a bus
// daemon of this test process's own between them.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "driver/izor/izor.h"
#include "platform/com/tests/private_bus.h"
#include "platform/com/tests/registry_fixture.h"
#include "platform/com/tests/window_peer.h"
#include "platform/kernel/kernel.h"
#include "platform/testing/child_environment.h"
#include "platform/testing/message_loop.h"
#include "platform/window/window.h"

#ifndef COM_TEST_SERVER_PATH
#error "COM_TEST_SERVER_PATH names the test server"
#endif

namespace {

using namespace platform::com;
using namespace izor;
namespace window = platform::window;
using zor_testing::pump_until;

[[maybe_unused]] auto* const bus_environment = ::testing::AddGlobalTestEnvironment(new com_test::PrivateBus);

constexpr unsigned guard_ms = 15'000;  // no correct run comes near this

bool process_gone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return true;
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() &&
           line[close + 2] == 'Z';  // a zombie has ended
}

// Runs a shell command; its standard output and error, and its exit code.
struct RunResult {
    std::string output;
    int code = -1;
};
RunResult run(const std::string& command) {
    RunResult r;
    FILE* f = popen(("timeout 20 " + command + " 2>&1").c_str(), "r");
    if (!f) return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, f)) r.output += buf;
    const int status = pclose(f);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

const std::string call_prefix = "busctl --user call com.hox.Zorrun /com/hox/Zorrun/IZor ";

class ZorrunOverTheBus : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_com_state_for_tests();
        ASSERT_EQ(izor::register_server(COM_TEST_SERVER_PATH), S_OK);
        set_call_timeout_ms(guard_ms);
        set_activation_timeout_ms(guard_ms);
    }
    void TearDown() override {
        // Whatever server a test left running ends here, so the next one starts clean.
        if (joined_session_bus()) {
            if (const pid_t pid = bus_name_owner_pid(bus_name); pid > 0) {
                kill(pid, SIGKILL);
                pump_until([] { return !bus_name_has_owner(bus_name); });
            }
        }
        reset_com_state_for_tests();
        window::reset_thread_state_for_tests();
    }

    ComPtr<IIZor> create() {
        ComPtr<IIZor> zor;
        const HRESULT hr =
            co_create_instance(CLSID_IZor, nullptr, CLSCTX_LOCAL_SERVER, IID_IIZor, zor.put_void());
        EXPECT_EQ(hr, S_OK) << hresult_text(hr) << " " << last_bus_error();
        return zor;
    }

    std::string atom_status(IIZor2* zor2) {
        Bstr text;
        EXPECT_EQ(zor2->AtomStatus(text.put()), S_OK);
        return text.text();
    }

    com_test::TempRegistry registry_;
};

TEST_F(ZorrunOverTheBus, starts_the_registered_program_with_embedding_when_the_name_has_no_owner) {
    ASSERT_EQ(join_session_bus(), S_OK);
    ASSERT_FALSE(bus_name_has_owner(bus_name));
    ComPtr<IIZor> zor = create();
    ASSERT_TRUE(zor);
    EXPECT_TRUE(bus_name_has_owner(bus_name));
    ComPtr<IIZor2> zor2 = zor.query<IIZor2>();
    ASSERT_TRUE(zor2);
    EXPECT_EQ(atom_status(zor2.get()), "embedded");
    EXPECT_EQ(zor.query<IUnknown>().get(), zor2.query<IUnknown>().get());

    // A second object comes from the same server.
    const pid_t server = bus_name_owner_pid(bus_name);
    ComPtr<IIZor2> other;
    ASSERT_EQ(co_create_instance(CLSID_IZor, nullptr, CLSCTX_LOCAL_SERVER, IID_IIZor2, other.put_void()),
              S_OK);
    EXPECT_EQ(bus_name_owner_pid(bus_name), server);
}

TEST_F(ZorrunOverTheBus, carries_every_argument_type_and_returns_out_values_and_results) {
    ComPtr<IIZor> zor = create();
    ASSERT_TRUE(zor);
    ComPtr<IIZor2> zor2 = zor.query<IIZor2>();
    std::int32_t value = -1;
    std::int32_t result = -1;

    EXPECT_EQ(zor->GetStatus(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(zor->Initialize(&result), S_OK);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(zor->GetStatus(&value), S_OK);
    EXPECT_EQ(value, 1);

    // Strings (with the system's "µ"), longs and a double, in declared order.
    EXPECT_EQ(zor->PrepareForRun(Bstr("raw \xB5").get(), Bstr("/tmp/meth.raw").get(), Bstr("").get(), 3, 1,
                                 Bstr("T1:12").get(), 12.5, 0, &result),
              S_OK);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(atom_status(zor2.get()), "raw \xB5|/tmp/meth.raw||3|1|T1:12|12.5|0");
    EXPECT_EQ(zor->GetStatus(&value), S_OK);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(zor->PrepareForRun(nullptr, nullptr, nullptr, -2, 0, nullptr, -0.25, 65536, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(atom_status(zor2.get()), "|||-2|0||-0.25|65536");

    EXPECT_EQ(zor->InstrumentHasStopped(7, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(zor->InstrumentHasStopped(1, &result), S_OK);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(zor->ChangeOperatingMode(3, &result), S_OK);
    EXPECT_EQ(atom_status(zor2.get()), "ChangeOperatingMode3");
    for (auto method : {&IIZor::StartRun, &IIZor::StopRun, &IIZor::Lock, &IIZor::Unlock}) {
        result = -1;
        EXPECT_EQ((zor.get()->*method)(&result), S_OK);
        EXPECT_EQ(result, 1);
    }

    Bstr code;
    EXPECT_EQ(zor->ReadBarCode(Bstr("T1:5").get(), code.put(), &result), S_OK);
    EXPECT_EQ(code.text(), "ABC\xB5");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(zor->ReadBarCode(Bstr("T2:1").get(), code.put(), &result), S_OK);
    EXPECT_EQ(code.text(), "Unreadable");
    EXPECT_EQ(result, 2);

    // The storage travels as the bytes of a compound file.
    const std::vector<std::uint8_t> header = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    Bstr reason("not yet");
    EXPECT_EQ(zor->ValidateMethod(make_compound_file_bytes(header).get(), reason.put()), S_OK);
    EXPECT_EQ(reason.text(), "");
    EXPECT_EQ(atom_status(zor2.get()), "ValidateMethod 8");
    const std::vector<std::uint8_t> junk = {1, 2, 3};
    EXPECT_EQ(zor->ValidateMethod(make_compound_file_bytes(junk).get(), reason.put()), S_OK);
    EXPECT_EQ(reason.text(), "The ZOR Method is not readable");
    EXPECT_EQ(zor->ValidateMethod(zor.get(), reason.put()), E_NOINTERFACE);  // not a storage

    EXPECT_EQ(zor2->Reset(), S_OK);
    EXPECT_EQ(atom_status(zor2.get()), "Reset");
    EXPECT_EQ(zor2->ReloadConfiguration(), S_OK);
    EXPECT_EQ(atom_status(zor2.get()), "ReloadConfiguration");
    EXPECT_EQ(zor2->SetTrayType(Bstr("T1").get(), Bstr("Vial 2ml").get()), S_OK);
    EXPECT_EQ(atom_status(zor2.get()), "SetTrayType T1 Vial 2ml");
    EXPECT_EQ(zor2->StartPolling(), S_OK);
    EXPECT_EQ(atom_status(zor2.get()), "StartPolling");
    EXPECT_EQ(zor2->ChangePorts(3), S_OK);
    EXPECT_EQ(atom_status(zor2.get()), "ChangePorts 3");
    EXPECT_EQ(zor2->Uploading(&result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(zor2->ClearStatus(), S_OK);
    EXPECT_EQ(zor->GetStatus(&value), S_OK);
    EXPECT_EQ(value, 1);
}

TEST_F(ZorrunOverTheBus, returns_the_servers_failure_hresult_from_the_failed_error) {
    ComPtr<IIZor> zor = create();
    ASSERT_TRUE(zor);
    ComPtr<IIZor2> zor2 = zor.query<IIZor2>();
    BSTR vials = bstr_from_text("T1:1;1;SA;");
    std::int32_t result = 7;
    EXPECT_EQ(zor2->ChooseVials(Bstr("options").get(), &vials, &result), E_NOTIMPL);
    EXPECT_EQ(text_from_bstr(vials), "T1:1;1;SA;");  // unchanged
    sys_free_string(vials);
    EXPECT_EQ(last_bus_error(), "com.hox.Zorrun.Error.Failed: ChooseVials failed: HRESULT 0x80004001");
}

TEST_F(ZorrunOverTheBus, answers_a_stock_client_with_one_call_per_command) {
    ComPtr<IIZor> zor = create();  // keeps the server up
    ASSERT_TRUE(zor);
    RunResult r = run(call_prefix + "com.hox.Zorrun.IIZor GetStatus");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output, "i 0\n");
    EXPECT_EQ(run(call_prefix + "com.hox.Zorrun.IIZor Initialize").output, "i 1\n");
    EXPECT_EQ(run(call_prefix + "com.hox.Zorrun.IIZor GetStatus").output, "i 1\n");
    r = run(call_prefix + "com.hox.Zorrun.IIZor PrepareForRun sssiisdi raw /tmp/m.raw '' 3 1 T1:12 12.5 0");
    EXPECT_EQ(r.output, "i 1\n");
    EXPECT_EQ(run(call_prefix + "com.hox.Zorrun.IIZor2 AtomStatus").output,
              "s \"raw|/tmp/m.raw||3|1|T1:12|12.5|0\"\n");
    // busctl shows the UTF-8 of "µ" as it is or escaped, depending on the locale.
    r = run(call_prefix + "com.hox.Zorrun.IIZor ReadBarCode s T1:5");
    EXPECT_TRUE(r.output == "si \"ABC\xC2\xB5\" 1\n" || r.output == "si \"ABC\\302\\265\" 1\n") << r.output;
    EXPECT_EQ(run(call_prefix + "com.hox.Zorrun.IIZor2 SetTrayType ss T2 Deep").output, "");
    EXPECT_EQ(run(call_prefix + "com.hox.Zorrun.IIZor2 AtomStatus").output, "s \"SetTrayType T2 Deep\"\n");

    // A failure: the error name and the HRESULT in its message.
    r =
        run("gdbus call --session --dest com.hox.Zorrun --object-path /com/hox/Zorrun/IZor "
            "--method com.hox.Zorrun.IIZor2.ChooseVials a b");
    EXPECT_NE(r.code, 0);
    EXPECT_NE(
        r.output.find("GDBus.Error:com.hox.Zorrun.Error.Failed: ChooseVials failed: HRESULT 0x80004001"),
        std::string::npos)
        << r.output;
    r = run(call_prefix + "com.hox.Zorrun.IIZor2 ChooseVials ss a b");
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.output.find("ChooseVials failed: HRESULT 0x80004001"), std::string::npos) << r.output;

    // The object shows both interfaces with the signatures of the tables.
    r = run("busctl --user introspect com.hox.Zorrun /com/hox/Zorrun/IZor");
    EXPECT_NE(r.output.find("com.hox.Zorrun.IIZor "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("com.hox.Zorrun.IIZor2 "), std::string::npos);
    EXPECT_NE(r.output.find(".PrepareForRun"), std::string::npos);
    EXPECT_NE(r.output.find("sssiisdi"), std::string::npos);
    r = run("busctl --user introspect com.hox.Zorrun /com/hox/Zorrun");
    EXPECT_NE(r.output.find("com.hox.Zorrun.Factory"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(".CreateInstance"), std::string::npos);
}

TEST_F(ZorrunOverTheBus,
       a_client_that_dies_gives_back_its_references_and_the_embedded_server_ends_with_the_last) {
    ComPtr<IIZor> zor = create();
    ASSERT_TRUE(zor);
    const pid_t server = bus_name_owner_pid(bus_name);
    ASSERT_GT(server, 0);

    // A second client in its own process takes a reference and then dies without giving it back.
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t helper = fork();
    ASSERT_GE(helper, 0);
    if (helper == 0) {
        dup2(out[1], 1);
        close(out[0]);
        execl(COM_TEST_SERVER_PATH, COM_TEST_SERVER_PATH, "--client", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string line;
    {
        pollfd p{out[0], POLLIN, 0};
        char c;
        while (poll(&p, 1, static_cast<int>(guard_ms)) > 0 && read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
    }
    close(out[0]);
    EXPECT_EQ(line, "ready 0");

    // Our reference goes; the helper's keeps the server. (Our Release reaches the server before
    // this call, which comes from the same connection.)
    zor.reset();
    {
        RemoteObject probe(bus_name, bus_name, "/com/hox/Zorrun/IZor");
        std::int32_t status = -1;
        EXPECT_EQ(probe.call("IIZor", iizor_methods()[0], {},
                             [&](BusValues& out) {
                                 out.read(status);
                                 return S_OK;
                             }),
                  S_OK)
            << last_bus_error();
        EXPECT_EQ(status, 0);
    }
    EXPECT_FALSE(process_gone(server));

    kill(helper, SIGKILL);
    int status;
    waitpid(helper, &status, 0);
    EXPECT_TRUE(pump_until([] { return !bus_name_has_owner(bus_name); })) << "the server kept its name";
    EXPECT_TRUE(pump_until([&] { return process_gone(server); })) << "the server did not end";
}

TEST_F(ZorrunOverTheBus, a_server_killed_in_the_middle_of_a_call_gives_rpc_e_disconnected) {
    ComPtr<IIZor> zor = create();
    ASSERT_TRUE(zor);
    ComPtr<IIZor2> zor2 = zor.query<IIZor2>();
    EXPECT_EQ(zor2->ChangePorts(-9), RPC_E_DISCONNECTED);
    EXPECT_NE(last_bus_error().find("org.freedesktop.DBus.Error.NoReply"), std::string::npos)
        << last_bus_error();
    std::int32_t value = -1;
    EXPECT_EQ(zor->GetStatus(&value), RPC_E_DISCONNECTED);  // the proxy's server is gone for good
    zor2.reset();
    zor.reset();

    // A new creation starts a new server.
    ComPtr<IIZor> again = create();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->GetStatus(&value), S_OK);
}

TEST_F(ZorrunOverTheBus, serves_calls_inside_its_nested_loop_while_the_waiting_client_handles_its_messages) {
    ComPtr<IIZor> zor = create();
    ASSERT_TRUE(zor);
    ComPtr<IIZor2> zor2 = zor.query<IIZor2>();
    // While GetSyringe waits, a timer of ours fires and makes the call that ends the server's wait.
    int ticks = 0;
    HRESULT inner = E_FAIL;
    const window::Handle w = window::create_window(
        "TTestClient", 0, [&](window::Handle self, std::uint32_t message, window::WParam, window::LParam) {
            if (message == window::WM_TIMER) {
                window::kill_timer(self, 1);
                ++ticks;
                inner = zor2->ClearStatus();
            }
            return window::Result{0};
        });
    window::set_timer(w, 1, 20);
    Bstr syringe;
    EXPECT_EQ(zor2->GetSyringe(syringe.put()), S_OK) << last_bus_error();
    EXPECT_EQ(syringe.text(), "SYR 250 \xB5l");
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(inner, S_OK);
}

TEST_F(ZorrunOverTheBus, a_call_not_answered_in_time_gives_rpc_e_timeout) {
    ComPtr<IIZor> zor = create();
    ASSERT_TRUE(zor);
    ComPtr<IIZor2> zor2 = zor.query<IIZor2>();
    set_call_timeout_ms(200);
    Bstr syringe;
    EXPECT_EQ(zor2->GetSyringe(syringe.put()), RPC_E_TIMEOUT);
    EXPECT_EQ(syringe.get(), nullptr);
    set_call_timeout_ms(guard_ms);
    // The server is still there and ends its wait.
    EXPECT_EQ(zor2->ClearStatus(), S_OK);
    std::int32_t value = -1;
    EXPECT_EQ(zor->GetStatus(&value), S_OK);
    EXPECT_EQ(value, 1);
}

TEST_F(ZorrunOverTheBus, a_window_broadcast_reaches_the_windows_of_the_class_in_the_other_process_once) {
    int got = 0;
    window::WParam instance = 0;
    window::create_window("TZorStatusX", 0,
                          [&](window::Handle, std::uint32_t message, window::WParam wparam, window::LParam) {
                              if (message == 1425) {
                                  ++got;
                                  instance = wparam;
                              }
                              return window::Result{0};
                          });
    ComPtr<IIZor> zor = create();
    ASSERT_TRUE(zor);
    ComPtr<IIZor2> zor2 = zor.query<IIZor2>();
    const auto server_count = [&] {
        BSTR vials = nullptr;
        std::int32_t result = 0;
        EXPECT_EQ(zor2->ChooseVials(Bstr("count").get(), &vials, &result), S_OK);
        const std::string n = text_from_bstr(vials);
        sys_free_string(vials);
        return n;
    };

    // The server broadcasts: our window gets it over the bus; the server's own window only once.
    EXPECT_EQ(zor2->SetTrayType(Bstr("broadcast").get(), Bstr("tzorstatusx").get()), S_OK);
    EXPECT_TRUE(pump_until([&] { return got == 1; }));
    EXPECT_EQ(instance, 1u);
    EXPECT_TRUE(pump_until([&] { return server_count() == "1"; }));

    // We broadcast: the server's window gets it; ours gets the local post and no echo.
    EXPECT_EQ(window::broadcast_to_class("TZorStatusX", 1425, 1, 0), 1);
    EXPECT_TRUE(pump_until([&] { return server_count() == "2"; }));
    EXPECT_EQ(bus_ping(), S_OK);
    window::process_messages();
    EXPECT_EQ(got, 2);
}

TEST_F(ZorrunOverTheBus, a_window_of_a_class_in_another_process_is_brought_to_the_front) {
    ASSERT_EQ(join_session_bus(), S_OK);
    com_test::WindowPeer weaver(COM_TEST_SERVER_PATH, "TTask_Weaver");
    ASSERT_TRUE(weaver.ok());
    // A process that has none of the class says so; the one that has it is found after it.
    com_test::WindowPeer other(COM_TEST_SERVER_PATH, "TOther");
    ASSERT_TRUE(other.ok());
    EXPECT_FALSE(window::bring_window_of_class_to_front("TNobody"));
    EXPECT_TRUE(window::bring_window_of_class_to_front("ttask_weaver"));
    EXPECT_EQ(weaver.next_line(), "activated");
    // A window of our own comes first, without asking the others.
    const window::Handle own = window::create_window("TOther", 0, {});
    EXPECT_TRUE(window::bring_window_of_class_to_front("TOther"));
    EXPECT_EQ(window::foreground_window(), own);
    // Off the bus, only our own windows are found.
    leave_session_bus();
    EXPECT_FALSE(window::bring_window_of_class_to_front("TTask_Weaver"));
}

TEST_F(ZorrunOverTheBus, reports_a_class_that_is_not_registered_and_a_server_that_cannot_start) {
    ComPtr<IIZor> zor;
    ASSERT_EQ(izor::unregister_server(), S_OK);
    EXPECT_EQ(co_create_instance(CLSID_IZor, nullptr, CLSCTX_LOCAL_SERVER, IID_IIZor, zor.put_void()),
              REGDB_E_CLASSNOTREG);

    ASSERT_EQ(izor::register_server((registry_.dir() / "no-such-program").string()), S_OK);
    EXPECT_EQ(co_create_instance(CLSID_IZor, nullptr, CLSCTX_LOCAL_SERVER, IID_IIZor, zor.put_void()),
              CO_E_SERVER_EXEC_FAILURE);
    EXPECT_NE(last_bus_error().find("cannot start"), std::string::npos) << last_bus_error();

    // A program that starts but never takes the name.
    ASSERT_EQ(izor::register_server("/bin/true"), S_OK);
    set_activation_timeout_ms(300);
    EXPECT_EQ(co_create_instance(CLSID_IZor, nullptr, CLSCTX_LOCAL_SERVER, IID_IIZor, zor.put_void()),
              CO_E_SERVER_EXEC_FAILURE);
    EXPECT_NE(last_bus_error().find("did not take the bus name com.hox.Zorrun"), std::string::npos)
        << last_bus_error();
    EXPECT_FALSE(zor);
}

// A server on a bus that went away can serve nobody: it ends instead of lingering, holding the
// output its starter waits on.
TEST(TestServer, ends_when_its_bus_goes_away) {
    const std::string outer = getenv("DBUS_SESSION_BUS_ADDRESS");
    com_test::PrivateBus second;
    struct Ending {
        com_test::PrivateBus& bus;
        ~Ending() { bus.TearDown(); }
    } ending{second};
    second.SetUp();
    const std::string address = getenv("DBUS_SESSION_BUS_ADDRESS");
    setenv("DBUS_SESSION_BUS_ADDRESS", outer.c_str(), 1);
    if (address == outer) GTEST_SKIP() << "the shared session bus is in use";

    const zor_testing::ChildEnvironment environment({"DBUS_SESSION_BUS_ADDRESS=" + address});
    const pid_t server = fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
        execle(COM_TEST_SERVER_PATH, COM_TEST_SERVER_PATH, static_cast<char*>(nullptr), environment.envp());
        _exit(127);
    }
    const std::string owner_query = "busctl --address=" + address + " status " + bus_name;
    EXPECT_TRUE(pump_until([&] { return run(owner_query).code == 0; })) << "the server did not take its name";

    second.TearDown();
    int status = 0;
    const bool ended = pump_until([&] { return waitpid(server, &status, WNOHANG) == server; });
    if (!ended) {
        kill(server, SIGKILL);
        waitpid(server, &status, 0);
    }
    EXPECT_TRUE(ended) << "the server outlived its bus";
    EXPECT_TRUE(WIFEXITED(status));
}

}  // namespace
