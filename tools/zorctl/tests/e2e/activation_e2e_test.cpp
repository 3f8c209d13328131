// Zorrun started by the session bus from the service file that "Zorrun -RegServer" writes: a
// stock client's call starts it, successive zorctl calls meet that one server, and it ends with
// the session.
#include <signal.h>

#include <cerrno>
#include <sstream>

#include "tools/zorctl/tests/e2e/zorctl_fixture.h"

namespace zorctl_test {
namespace {

namespace fs = std::filesystem;

bool process_gone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// A session bus of the test's own whose service folder is the test's XDG_DATA_HOME, as a user's
// session reads ~/.local/share. Programs the bus starts get its environment (the test's store
// and COM1), as programs started by a user's session get the session's.
class ActivatingBus {
  public:
    explicit ActivatingBus(const std::vector<std::string>& environment) {
        const Finished f = run_program(
            {find_program("dbus-daemon"), "--session", "--fork", "--print-address=1", "--print-pid=1"},
            environment, 20s);
        std::istringstream lines(f.out);
        std::string pid;
        std::getline(lines, address);
        std::getline(lines, pid);
        if (f.exit_code == 0 && !pid.empty()) pid_ = static_cast<pid_t>(std::stol(pid));
    }
    ~ActivatingBus() { end(); }
    void end() {
        if (pid_ > 0) ::kill(pid_, SIGTERM);
        pid_ = -1;
    }
    bool ok() const { return pid_ > 0 && !address.empty(); }
    std::string address;

  private:
    pid_t pid_ = -1;
};

using ZorctlActivation = ZorctlE2E;

TEST_F(ZorctlActivation,
       a_stock_call_starts_the_registered_zorrun_and_successive_zorctl_calls_meet_that_server) {
    start_simulator();
    // SetUp registered Zorrun: the service file is in the test's XDG_DATA_HOME.
    ASSERT_TRUE(fs::exists(folder / "data" / "dbus-1" / "services" / "com.hox.Zorrun.service"));
    ActivatingBus bus(environment);
    ASSERT_TRUE(bus.ok());
    std::vector<std::string> on_bus = environment;
    on_bus.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus.address);
    const auto busctl_on_bus = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv = {find_program("busctl"), "--user"};
        argv.insert(argv.end(), args.begin(), args.end());
        return run_program(argv, on_bus, 60s);
    };
    const auto owner_pid = [&]() -> pid_t {
        const Finished f =
            busctl_on_bus({"call", "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "GetConnectionUnixProcessID", "s", "com.hox.Zorrun"});
        return f.exit_code == 0 && f.out.rfind("u ", 0) == 0 ? static_cast<pid_t>(std::stol(f.out.substr(2)))
                                                             : 0;
    };
    const auto zorctl_on_bus = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv = {ZORCTL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        return run_program(argv, on_bus, 120s);
    };

    // Nobody runs Zorrun: the first call, from busctl, has the bus start it.
    Finished f = busctl_on_bus(
        {"call", "com.hox.Zorrun", "/com/hox/Zorrun/IZor", "com.hox.Zorrun.IIZor", "GetStatus"});
    ASSERT_EQ(f.exit_code, 0) << f.err;
    EXPECT_EQ(f.out, "i 0\n");
    const pid_t server = owner_pid();
    ASSERT_GT(server, 0);

    // Each zorctl is a process of its own; the state one leaves is there for the next.
    f = zorctl_on_bus({"initialize"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    f = zorctl_on_bus({"status"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    EXPECT_EQ(f.out, "status 1: The Zor is idle\nrun active: no\n");
    const auto document = make_demo_document();
    f = zorctl_on_bus({"run", document.string(), "Tray2:5", "--timeout", "100"});
    EXPECT_EQ(f.exit_code, 0) << f.out << f.err;
    EXPECT_EQ(executed(), demo_atoms());
    EXPECT_EQ(owner_pid(), server);

    // The session ends: so does the server the bus started.
    bus.end();
    EXPECT_TRUE(wait_until([&] { return process_gone(server); }, 30s));
    if (!process_gone(server)) ::kill(server, SIGKILL);
}

TEST_F(ZorctlActivation, without_a_service_file_zorctl_still_starts_zorrun_through_its_registration) {
    // The fixture's own bus reads no service folder of the test: the COM layer starts the
    // registered program with -Embedding, which ends with the call.
    start_simulator();
    const Finished f = zorctl({"status"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    EXPECT_EQ(f.out, "status 0: The Zor is Idle\nrun active: no\n");
    EXPECT_TRUE(wait_until([&] { return !zorrun_on_bus(); }, 30s));
}

}  // namespace
}  // namespace zorctl_test
