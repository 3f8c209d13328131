#include "driver/zorrun/tests/e2e/zorrun_e2e_fixture.h"

#include <stdlib.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "core/tests/support/sample_method_folder.h"
#include "core/zor_lib_form.h"
#include "driver/zorrun/tests/support/compound_writer.h"
#include "platform/registry/registry.h"
#include "platform/testing/temp_tree.h"
#include "utilities/session.h"
#include "utilities/settings.h"

namespace zorrun_test {

void ZorrunE2E::SetUp() {
    folder = zor_testing::make_temp_folder("zorrun-e2e");
    ASSERT_FALSE(folder.empty());
    // The test writes Zorrun's settings into the store that Zorrun will read.
    ::setenv("ZOR_REGISTRY", (folder / "registry.db").c_str(), 1);
    // Registration writes the bus's service file under XDG_DATA_HOME: the test's own, which its
    // bus (started below) reads too.
    ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    platform::registry::reset_store();
    putils::reset_session();
    putils::session().instance_number = 1;
    core_test::write_sample_method_folder(folder);
    bus = std::make_unique<PrivateBus>(folder);
    ASSERT_TRUE(bus->ok()) << "cannot start a dbus-daemon";
    client = std::make_unique<BusClient>();
    ASSERT_TRUE(client->connected()) << "cannot reach the test's session bus";
}

void ZorrunE2E::TearDown() {
    if (zorrun) {
        zorrun->signal(SIGTERM);
        if (!zorrun->wait_exit(10s)) zorrun->signal(SIGKILL);
        zorrun->wait_exit(10s);
    }
    zorrun.reset();
    channel.reset();
    if (sim) sim->stop();
    sim.reset();
    client.reset();
    bus.reset();
    if (HasFailure()) std::cerr << "Zorrun's standard error:\n" << zorrun_stderr() << std::endl;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void ZorrunE2E::start(const StartOptions& options) {
    if (options.method_folder) putils::reg_write_string("Method Folder", folder.string());
    putils::write_port_setting(1);
    putils::reg_write_int("Framing timeout (msec)", options.framing_timeout_ms);
    core::reg_write_bool(putils::driver_startup_key(), "Append to log", options.append_to_log);
    core::reg_write_bool(putils::driver_startup_key(), "Debug Page", options.debug_page);

    std::vector<std::string> zorsim_options = {"--default-atom-ms", "50", "--syringe", "10ul"};
    zorsim_options.insert(zorsim_options.end(), options.zorsim.begin(), options.zorsim.end());
    sim = std::make_unique<core_test::ZorsimProcess>(folder, zorsim_options);
    ASSERT_TRUE(sim->ok()) << "zorsim did not start";

    std::vector<std::string> env = {"ZOR_REGISTRY=" + (folder / "registry.db").string(),
                                    "ZOR_COM1=" + sim->link_path().string()};
    if (options.interaction) {
        channel = std::make_unique<InteractionChannel>((folder / "ui.sock").string());
        env.push_back("ZOR_TEST_INTERACTION=" + channel->path());
        channel->set_box_handler([](const InteractionEvent& e) -> std::optional<int> {
            if (e.buttons == "cancel") return 2;
            if (e.buttons == "ok") return 1;
            return std::nullopt;
        });
    }
    env.insert(env.end(), options.environment.begin(), options.environment.end());
    zorrun = std::make_unique<ZorrunProcess>(ZORRUN_PATH, options.arguments, env, folder / "zorrun.err");
    if (options.interaction) {
        ASSERT_TRUE(channel->wait_connected()) << zorrun_stderr();
    }
    ASSERT_TRUE(wait_until([&] { return client->zorrun_on_bus() || !zorrun->running(); }, 20s));
    ASSERT_TRUE(zorrun->running()) << zorrun_stderr();
}

void ZorrunE2E::initialize() {
    const CallResult r = client->Initialize();
    ASSERT_TRUE(r.ok) << r.error_name << " " << r.error_message;
    ASSERT_EQ(r.result, 1);
    ASSERT_EQ(status(), 1);
    ASSERT_TRUE(wait_for_polls(1));
}

std::int32_t ZorrunE2E::status() {
    const CallResult r = client->GetStatus();
    return r.ok ? r.result : -1;
}

bool ZorrunE2E::wait_for_status(std::int32_t code, std::chrono::milliseconds timeout) {
    return wait_until([&] { return status() == code; }, timeout);
}

std::vector<std::string> ZorrunE2E::sent_commands() const {
    std::vector<std::string> out;
    for (const std::string& line : sim->transcript()) {
        const auto rx = line.find(" RX <STX>");
        if (rx == std::string::npos) continue;
        const auto body = rx + 9;
        const auto etx = line.find("<ETX>", body);
        if (etx == std::string::npos || etx <= body) continue;
        if (line.find("# resend", etx) != std::string::npos) continue;
        const std::string command = line.substr(body + 1, etx - body - 1);
        if (command == "GET_STAT" || command == "GET_ATOM_INFO") continue;
        out.push_back(command);
    }
    return out;
}

int ZorrunE2E::count_sent(const std::string& command) const {
    int n = 0;
    for (const auto& c : sent_commands())
        if (c == command) ++n;
    return n;
}

bool ZorrunE2E::wait_for_polls(int n) {
    const auto polls = [this] {
        int count = 0;
        for (const std::string& line : sim->transcript())
            if (line.find(" RX <STX>") != std::string::npos &&
                line.find("GET_STAT<ETX>") != std::string::npos)
                ++count;
        return count;
    };
    const int target = polls() + n;
    return wait_until([&] { return polls() >= target; });
}

bool ZorrunE2E::silence_instrument() {
    const auto ignored = [this] {
        const auto lines = sim->transcript();
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("# ignored: silent") != std::string::npos;
        });
    };
    const auto before = ignored();
    if (sim->tell("silent on") != "ok") return false;
    return wait_until([&] { return ignored() > before; });
}

std::string ZorrunE2E::document(const std::vector<std::string>& lines, const std::string& name) const {
    const auto path = folder / name;
    write_method_document(path, lines);
    return path.string();
}

void ZorrunE2E::write_macro(const std::string& name, const std::vector<std::string>& lines) const {
    core_test::write_macro_file(folder, name, lines);
}

void ZorrunE2E::write_setting(const std::string& name, const std::string& value) const {
    putils::reg_write_string(name, value);
}

void ZorrunE2E::write_setting(const std::string& name, std::int32_t value) const {
    putils::reg_write_int(name, value);
}

std::vector<std::string> ZorrunE2E::log_lines() const {
    return core_test::read_file_lines(folder / "tsk_weav.log");
}

std::string ZorrunE2E::zorrun_stderr() const {
    std::ifstream in(folder / "zorrun.err");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> ZorrunE2E::box_texts() const {
    std::vector<std::string> texts;
    if (channel)
        for (const auto& b : channel->boxes()) texts.push_back(b.text);
    return texts;
}

std::vector<std::string> sample_method(const std::string& syringe) {
    return {syringe,
            "Prep()",
            "Load(SL.tray)",
            "Inject(Inj1)",
            "[MACRO Prep]",
            "WASH(Wash1,1)",
            "[MACRO Load]",
            "Tray;TRAY",
            "MOVE_TO_VIAL(Tray,SL.index,10)",
            "ASPIRATE(SYR,1,2,0)",
            "[MACRO Inject]",
            "Injector;INJECTOR",
            "WAIT_FOR_DS()",
            "INJECT(Injector,Needle)",
            "[MACRO METHOD EXIT]",
            "WASH(Wash2,2)"};
}

std::vector<std::string> sample_atoms() {
    return {"WASH(Wash1,1,)", "MOVE_TO_VIAL(Tray2,5,10000,)", "ASPIRATE(10ul,1000,2000,0,)",
            "INJECT(Inj1,0,)", "WASH(Wash2,2,)"};
}

}  // namespace zorrun_test

namespace zorrun_test {

void write_method_document(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    const std::string bytes = make_compound_file(
        {CompoundNode::folder("Zor", {CompoundNode::stream("Data", method_stream_bytes(lines))})});
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::uint8_t> storage_bytes_with_data(const std::vector<std::string>& lines) {
    const std::string bytes = make_compound_file({CompoundNode::stream("Data", method_stream_bytes(lines))});
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace zorrun_test
