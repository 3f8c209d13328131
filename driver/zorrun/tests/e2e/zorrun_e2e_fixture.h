// The fixture of Zorrun's end-to-end tests: a folder of its own (method folder with the
// library macros and the cached configuration, settings store, zorsim's files, the interaction
// socket), a session bus of its own (so tests may run side by side), zorsim as a real process on a
// pseudo-terminal mapped to COM1, Zorrun as a real process on the test's private session bus, and a run
// client that speaks the bus contract.
//
// Every wait is bounded; a wait that runs out fails the test. Boxes that Zorrun shows are
// answered on the channel's thread (error boxes with Cancel, the rest as the test says), so a
// box shown inside a bus call cannot block the test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/tests/e2e/zorsim_process.h"
#include "driver/zorrun/tests/support/bus_client.h"
#include "driver/zorrun/tests/support/interaction_channel.h"
#include "driver/zorrun/tests/support/private_bus.h"
#include "driver/zorrun/tests/support/zorrun_process.h"
#include "platform/testing/wait.h"

namespace zorrun_test {

using namespace std::chrono_literals;
using zor_testing::wait_until;

struct StartOptions {
    std::vector<std::string> zorsim;       // extra zorsim options
    std::vector<std::string> arguments;    // Zorrun's command line
    std::vector<std::string> environment;  // extra environment of Zorrun
    bool method_folder = true;             // the "Method Folder" setting is written
    int framing_timeout_ms = 1000;         // "Framing timeout (msec)"
    bool append_to_log = true;             // "Append to log" (the log shows port changes)
    bool debug_page = false;               // "Debug Page" (automation calls are logged)
    bool interaction = true;               // ZOR_TEST_INTERACTION
};

class ZorrunE2E : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // zorsim, then Zorrun; waits until Zorrun owns its bus name (and the channel is connected).
    void start(const StartOptions& options = {});
    // Initialize, and wait for the first polls: status 1, port open.
    void initialize();

    bool wait_for_status(std::int32_t code, std::chrono::milliseconds timeout = 30s);
    std::int32_t status();
    // The commands Zorrun sent (resends and polls left out), from zorsim's transcript.
    std::vector<std::string> sent_commands() const;
    int count_sent(const std::string& command) const;
    // Waits until zorsim has seen `n` more GET_STAT polls than now.
    bool wait_for_polls(int n);
    // zorsim answers nothing from now on. Returns once it has left a frame of Zorrun's
    // unanswered: a reply it sent just before is in by then (Zorrun sends a frame only when the
    // last one is answered or timed out), so nothing Zorrun queues afterwards goes out before
    // "silent off".
    bool silence_instrument();

    // A method document of the lines in the test's folder; its path.
    std::string document(const std::vector<std::string>& lines, const std::string& name = "run.raw") const;
    void write_macro(const std::string& name, const std::vector<std::string>& lines) const;
    void write_setting(const std::string& name, const std::string& value) const;
    void write_setting(const std::string& name, std::int32_t value) const;
    std::vector<std::string> log_lines() const;
    std::string zorrun_stderr() const;
    std::vector<std::string> box_texts() const;

    std::filesystem::path folder;
    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<core_test::ZorsimProcess> sim;
    std::unique_ptr<InteractionChannel> channel;
    std::unique_ptr<ZorrunProcess> zorrun;
    std::unique_ptr<BusClient> client;
};

// A method document: a compound file with the storage "Zor" and its stream "Data" holding the
// lines as UTF-16LE, each ended by CR LF (the syringe line first).
void write_method_document(const std::filesystem::path& path, const std::vector<std::string>& lines);
// The bytes of a compound file whose root holds the stream "Data" with the lines.
std::vector<std::uint8_t> storage_bytes_with_data(const std::vector<std::string>& lines);

// A method with a wait for the data system and a METHOD EXIT part, for vial Tray2:5 and the
// syringe 10ul (the sample configuration's names).
std::vector<std::string> sample_method(const std::string& syringe = "10ul");
// The atoms zorsim executes for it, all of them.
std::vector<std::string> sample_atoms();

}  // namespace zorrun_test
