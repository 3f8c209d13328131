// The fixture of zorctl's end-to-end tests: a folder of its own (method folder with the example
// macro library and the cached configuration, settings store, the simulator's files), zorsim as
// a real process on a pseudo-terminal mapped to COM1, Zorrun as a real process registered and
// started on the session bus, and the clients: zorctl, and the stock busctl and dbus-send.
//
// The test program starts a private session bus of its own (so that tests running side by side
// do not meet on one bus); without dbus-daemon it uses DBUS_SESSION_BUS_ADDRESS, and when there is
// none either, the tests skip and say why.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tools/zorctl/tests/e2e/processes.h"

namespace zorctl_test {

using namespace std::chrono_literals;

class ZorctlE2E : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // zorsim (with the extra options), then Zorrun; waits until Zorrun owns its bus name.
    void start(const std::vector<std::string>& zorsim_options = {});
    void start_simulator(const std::vector<std::string>& zorsim_options = {});
    void start_zorrun();

    Finished zorctl(const std::vector<std::string>& args, std::chrono::milliseconds timeout = 120s) const;
    Finished busctl(const std::vector<std::string>& args) const;     // busctl --user ...
    Finished dbus_send(const std::vector<std::string>& args) const;  // dbus-send --session ...
    bool zorrun_on_bus() const;

    // A method document made by `zorctl make-document` from the example method and macros, at
    // `where` (the test's folder's "demo.zor" when empty).
    std::filesystem::path make_demo_document(const std::string& syringe = "10ul",
                                             const std::filesystem::path& where = {}) const;
    // The commands zorsim carried out, in order.
    std::vector<std::string> executed() const;
    // The atoms of the example method for vial Tray2:5, 1 µl, syringe 10ul, in order.
    static std::vector<std::string> demo_atoms();

    std::filesystem::path folder;
    std::filesystem::path methods;
    std::vector<std::string> environment;  // ZOR_REGISTRY and ZOR_COM1, for Zorrun and zorctl
    std::unique_ptr<Background> sim;
    std::unique_ptr<Background> zorrun;
};

}  // namespace zorctl_test
