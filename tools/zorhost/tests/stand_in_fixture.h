// Tests of the plug-in with a stand-in Zorrun (the COM layer's test server) registered as IZor,
// started by activation on a session bus of the test process's own. Each test has its own
// folder and settings store.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "platform/com/com.h"
#include "platform/com/tests/private_bus.h"
#include "platform/forms/interaction.h"
#include "platform/registry/registry.h"
#include "platform/testing/temp_tree.h"
#include "tools/zorhost/host.h"

namespace zorhost_test {

// Zorrun's ids, written out, so that a host with nothing of Zorrun's in it can use them too.
inline constexpr platform::com::CLSID clsid_izor =
    platform::com::guid("{763BDB62-6812-11D2-883E-3C8B00C10000}");
inline constexpr platform::com::IID iid_iizor = platform::com::guid("{763BDB61-6812-11D2-883E-3C8B00C10000}");
inline constexpr platform::com::IID iid_iizor2 =
    platform::com::guid("{3FD89A95-A73D-11D2-8983-0080C80C9840}");

class StandInZorrun : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace com = platform::com;
        folder_ = zor_testing::make_temp_folder("zorhost-bridge");
        ASSERT_FALSE(folder_.empty());
        setenv("ZOR_REGISTRY", (folder_ / "registry.db").c_str(), 1);
        platform::registry::reset_store();
        ASSERT_EQ(zorhost::register_plugin(ZORSETUP_LIBRARY_PATH), com::S_OK);
        com::LocalRegistration zorrun{clsid_izor,           "Zorrun.IZor",    "zorrun Library: IZor",
                                      COM_TEST_SERVER_PATH, "com.hox.Zorrun", "IZor"};
        ASSERT_EQ(com::register_local_server(zorrun), com::S_OK);
        boxes_ = std::make_unique<platform::forms::ScriptedInteraction>();
        boxes_->set_default_box_answer(platform::forms::mr_ok);
    }
    void TearDown() override {
        boxes_.reset();
        platform::com::co_free_unused_libraries();
        platform::registry::reset_store();
        unsetenv("ZOR_REGISTRY");
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::filesystem::path folder_;
    std::unique_ptr<platform::forms::ScriptedInteraction> boxes_;
};

}  // namespace zorhost_test
