#include "driver/zorrun/tests/support/driver_fixture.h"

#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "core/config_model.h"
#include "core/config_text.h"
#include "core/engine_hooks.h"
#include "core/method_expansion.h"
#include "core/run_variables.h"
#include "core/session_state.h"
#include "core/tests/support/sample_method_folder.h"
#include "core/window_broadcast.h"
#include "driver/zorrun/driver_forms.h"
#include "driver/zorrun/run_preparation.h"
#include "driver/zorrun/status_model.h"
#include "platform/forms/application.h"
#include "platform/registry/registry.h"
#include "platform/testing/temp_tree.h"
#include "utilities/session.h"
#include "utilities/settings.h"

namespace zorrun_test {

namespace window = platform::window;

void DriverTest::SetUp() {
    folder = zor_testing::make_temp_folder("zorrun-unit");
    ASSERT_FALSE(folder.empty());
    ::setenv("ZOR_REGISTRY", (folder / "registry.db").c_str(), 1);
    platform::registry::reset_store();
    const core::SessionState& session = core::session_state();
    start_flags_ = {session.reset_after_firmware, session.framed,    session.connect_on_create,
                    session.debug_page,           session.extension, session.sample_type_list,
                    session.program_name};
    window::reset_thread_state_for_tests();
    platform::forms::reset_forms_state_for_tests();
    putils::reset_session();
    putils::session().instance_number = 1;
    core::reset_config_model();
    core::reset_method_state();
    core::reset_run_variables();
    core::reset_engine_hooks();
    core::reset_session_state();
    core::session_state().config_progress = {};
    zorrun::reset_vzor_state();
    zorrun::reset_dialog_state();
    zorrun::reset_run_preparation_state();
    putils::reg_write_string("Method Folder", folder.string());
    putils::session().method_folder = folder.string();
    interaction = std::make_unique<platform::forms::ScriptedInteraction>();
    interaction->set_default_box_answer(platform::forms::mr_cancel);
    if (create_forms) zorrun::create_driver_forms();
}

void DriverTest::TearDown() {
    interaction.reset();
    zorrun::reset_dialog_state();
    core::session_state().config_progress = {};
    core::reset_engine_hooks();
    core::SessionState& session = core::session_state();
    session.reset_after_firmware = start_flags_.reset_after_firmware;
    session.framed = start_flags_.framed;
    session.connect_on_create = start_flags_.connect_on_create;
    session.debug_page = start_flags_.debug_page;
    session.extension = start_flags_.extension;
    session.sample_type_list = start_flags_.sample_type_list;
    session.program_name = start_flags_.program_name;
    platform::forms::reset_forms_state_for_tests();
    window::reset_thread_state_for_tests();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void DriverTest::write_macro(const std::string& name, const std::vector<std::string>& lines) const {
    core_test::write_macro_file(folder, name, lines);
}

void DriverTest::load_example_configuration() const {
    ASSERT_TRUE(core::read_configuration_file(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol"));
}

Receiver::Receiver(const std::string& class_name, window::Handle parent) {
    handle = window::create_window(
        class_name, parent,
        [this](window::Handle, std::uint32_t message, window::WParam w, window::LParam l) {
            if (message == core::zor_status_message) {
                ++count_;
                last_wparam = w;
                last_lparam = l;
            }
            return window::Result{0};
        });
}

Receiver::~Receiver() {
    window::destroy_window(handle);
}

int Receiver::count() {
    window::process_messages();
    return count_;
}

}  // namespace zorrun_test
