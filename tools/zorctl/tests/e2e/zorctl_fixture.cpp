#include "tools/zorctl/tests/e2e/zorctl_fixture.h"
#include "platform/testing/temp_tree.h"

#include <signal.h>
#include <stdlib.h>

#include <iostream>
#include <sstream>

namespace zorctl_test {

namespace {

namespace fs = std::filesystem;

const fs::path examples = ZOR_EXAMPLES_DIR;
constexpr const char* settings_key = "HKCU\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1";

// A session bus of this test program's own: CTest runs every test case as a process of its own,
// in parallel with the driver's own tests, and each of them claims com.hox.Zorrun. The bus the
// caller gave is used only when no daemon can be started.
class PrivateBus : public ::testing::Environment {
  public:
    void SetUp() override {
        const std::string daemon = find_program("dbus-daemon");
        if (daemon.empty()) return;
        // The daemon forks and its first process ends after printing the address and the pid.
        // Its service folder is an empty one of its own: a Zorrun registered with this user's bus
        // must not be started in place of the one under test.
        data_home_ = zor_testing::make_temp_folder("zorctl-bus").string();
        if (data_home_.empty()) return;
        const Finished f = run_program({daemon, "--session", "--fork", "--print-address=1", "--print-pid=1"},
                                       {"XDG_DATA_HOME=" + data_home_}, 20s);
        std::istringstream lines(f.out);
        std::string address, pid;
        std::getline(lines, address);
        std::getline(lines, pid);
        if (f.exit_code != 0 || address.empty() || pid.empty()) return;
        pid_ = static_cast<pid_t>(std::stol(pid));
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    }
    void TearDown() override {
        if (pid_ > 0) ::kill(pid_, SIGTERM);
        std::error_code ignored;
        if (!data_home_.empty()) std::filesystem::remove_all(data_home_, ignored);
    }

  private:
    pid_t pid_ = -1;
    std::string data_home_;
};

[[maybe_unused]] ::testing::Environment* const private_bus =
    ::testing::AddGlobalTestEnvironment(new PrivateBus);

void copy_macro_library(const fs::path& to) {
    for (const auto& entry : fs::directory_iterator(examples / "macros"))
        if (entry.path().extension() == ".pma") fs::copy_file(entry.path(), to / entry.path().filename());
}

}  // namespace

void ZorctlE2E::SetUp() {
    if (!::getenv("DBUS_SESSION_BUS_ADDRESS"))
        GTEST_SKIP()
            << "no session bus: DBUS_SESSION_BUS_ADDRESS is not set and dbus-daemon could not start one";
    if (find_program("busctl").empty()) GTEST_SKIP() << "no busctl (Debian package systemd)";
    folder = zor_testing::make_temp_folder("zorctl-e2e");
    ASSERT_FALSE(folder.empty());
    methods = folder / "methods";
    fs::create_directory(methods);
    copy_macro_library(methods);
    fs::copy_file(examples / "zor_config.pol", methods / "latest_zor.pol");
    // XDG_DATA_HOME: registration writes the bus's service file there, not into the user's home.
    environment = {"ZOR_REGISTRY=" + (folder / "registry.db").string(),
                   "ZOR_COM1=" + (folder / "COM1").string(), "XDG_DATA_HOME=" + (folder / "data").string()};

    const auto zorreg = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv = {ZORREG_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        const Finished f = run_program(argv, environment, 20s);
        ASSERT_EQ(f.exit_code, 0) << f.err;
    };
    zorreg({"add", settings_key, "/v", "Method Folder", "/t", "REG_SZ", "/d", methods.string(), "/f"});
    zorreg({"add", settings_key, "/v", "Port", "/t", "REG_DWORD", "/d", "1", "/f"});
    const Finished reg = run_program({ZORRUN_PATH, "-RegServer"}, environment, 20s);
    ASSERT_EQ(reg.exit_code, 0) << reg.err;
}

void ZorctlE2E::TearDown() {
    std::optional<int> zorrun_exit;
    if (zorrun) zorrun_exit = zorrun->stop();
    zorrun.reset();
    if (sim) sim->stop();
    sim.reset();
    if (HasFailure() && !folder.empty()) {
        std::cerr << "Zorrun's standard error:\n" << read_file(folder / "zorrun.err") << "\n";
        std::cerr << "zorsim's standard error:\n" << read_file(folder / "zorsim.err") << "\n";
    }
    if (!folder.empty()) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
}

void ZorctlE2E::start(const std::vector<std::string>& zorsim_options) {
    start_simulator(zorsim_options);
    if (HasFatalFailure()) return;
    start_zorrun();
}

void ZorctlE2E::start_simulator(const std::vector<std::string>& zorsim_options) {
    std::vector<std::string> argv = {ZORSIM_PATH,
                                     "--config",
                                     (examples / "zor_config.pol").string(),
                                     "--link",
                                     (folder / "COM1").string(),
                                     "--control",
                                     (folder / "ctl").string(),
                                     "--transcript",
                                     (folder / "transcript.txt").string(),
                                     "--executed",
                                     (folder / "executed.txt").string(),
                                     "--default-atom-ms",
                                     "30"};
    argv.insert(argv.end(), zorsim_options.begin(), zorsim_options.end());
    sim = std::make_unique<Background>(argv, std::vector<std::string>{}, folder / "zorsim.out",
                                       folder / "zorsim.err");
    ASSERT_TRUE(wait_until(
        [&] { return (fs::exists(folder / "ctl") && fs::exists(folder / "COM1")) || !sim->running(); }, 20s));
    ASSERT_TRUE(sim->running()) << read_file(folder / "zorsim.err");
}

void ZorctlE2E::start_zorrun() {
    ASSERT_FALSE(zorrun_on_bus()) << "another Zorrun owns com.hox.Zorrun on this bus";
    zorrun = std::make_unique<Background>(std::vector<std::string>{ZORRUN_PATH}, environment,
                                          folder / "zorrun.out", folder / "zorrun.err");
    ASSERT_TRUE(wait_until([&] { return zorrun_on_bus() || !zorrun->running(); }, 20s));
    ASSERT_TRUE(zorrun->running()) << read_file(folder / "zorrun.err");
}

Finished ZorctlE2E::zorctl(const std::vector<std::string>& args, std::chrono::milliseconds timeout) const {
    std::vector<std::string> argv = {ZORCTL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    Finished f = run_program(argv, environment, timeout);
    EXPECT_FALSE(f.timed_out) << "zorctl did not end in time: " << f.out << f.err;
    return f;
}

Finished ZorctlE2E::busctl(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {find_program("busctl"), "--user"};
    argv.insert(argv.end(), args.begin(), args.end());
    Finished f = run_program(argv, {}, 90s);
    EXPECT_FALSE(f.timed_out) << "busctl did not end in time";
    return f;
}

Finished ZorctlE2E::dbus_send(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {find_program("dbus-send"), "--session", "--print-reply"};
    argv.insert(argv.end(), args.begin(), args.end());
    Finished f = run_program(argv, {}, 90s);
    EXPECT_FALSE(f.timed_out) << "dbus-send did not end in time";
    return f;
}

bool ZorctlE2E::zorrun_on_bus() const {
    const Finished f = busctl({"call", "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", "s", "com.hox.Zorrun"});
    return f.exit_code == 0 && f.out == "b true\n";
}

fs::path ZorctlE2E::make_demo_document(const std::string& syringe, const fs::path& where) const {
    const fs::path document = where.empty() ? folder / "demo.zor" : where;
    const Finished f =
        zorctl({"make-document", document.string(), "--syringe", syringe, "--method",
                (examples / "demo_method.txt").string(), "--macros", (examples / "macros").string()});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    return document;
}

std::vector<std::string> ZorctlE2E::executed() const {
    const Finished f = run_program({ZORSIM_PATH, "--tell", (folder / "ctl").string(), "dump"}, {}, 20s);
    EXPECT_EQ(f.exit_code, 0) << f.out << f.err;
    return read_lines(folder / "executed.txt");
}

std::vector<std::string> ZorctlE2E::demo_atoms() {
    return {
        "WASH(Wash1,1,)",                // METHOD ENTRY
        "WASH(Wash2,1,)",                // Rinse Needle: REPEAT(2) ... END
        "WASH(Wash2,1,)",                //
        "MOVE_TO_VIAL(Tray2,5,10000,)",  // Load Sample: vial 5 of Tray2, 10 mm deep
        "ASPIRATE(10ul,1000,2000,0,)",   //   1 µl at 2 µl/s
        "MOVE_TO(Inj1,5000,)",           // Inject, after the wait for the start
        "INJECT(Inj1,0,)",               //
        "SET_OUTPUT(Inject Out,1,)",     //
        "WASH(Wash2,2,)",                // METHOD EXIT
    };
}

}  // namespace zorctl_test
