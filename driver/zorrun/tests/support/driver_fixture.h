// The unit tests' fixture: a folder of its own (method folder, settings store), the core's,
// the forms' and the driver's state reset around every test, the driver's forms created, and
// every box and dialog answered by a script. Also a receiver window that counts the status
// broadcasts of its class.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms/interaction.h"
#include "platform/testing/message_loop.h"
#include "platform/window/window.h"

namespace zorrun_test {

class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes <method folder>/<name>.pma with CR LF line ends.
    void write_macro(const std::string& name, const std::vector<std::string>& lines) const;
    // Loads the sample configuration (examples/zor_config.pol) into the model.
    void load_example_configuration() const;

    std::filesystem::path folder;
    std::unique_ptr<platform::forms::ScriptedInteraction> interaction;
    bool create_forms = true;

  private:
    // The core's start-up flags outlive a session reset (they belong to the process): a test
    // that changes one (the debug page) gives it back, so the next test finds them as it would
    // alone.
    struct StartFlags {
        bool reset_after_firmware = false, framed = true, connect_on_create = false, debug_page = false;
        std::string extension, sample_type_list, program_name;
    };
    StartFlags start_flags_;
};

// A window of a class that counts message 1425 and keeps the last wParam and lParam.
class Receiver {
  public:
    explicit Receiver(const std::string& class_name, platform::window::Handle parent = 0);
    ~Receiver();
    // Handles what is pending, then the count.
    int count();
    platform::window::WParam last_wparam = 0;
    platform::window::LParam last_lparam = -1;
    platform::window::Handle handle = 0;

  private:
    int count_ = 0;
};

// Handles what is pending until the condition holds (bounded).
using zor_testing::pump_until;

}  // namespace zorrun_test
