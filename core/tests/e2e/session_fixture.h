// The fixture of the session's end-to-end tests: a folder of its own (method folder, settings
// store, zorsim's files), zorsim as a real process on a pseudo-terminal mapped to COM1, the
// core form with the recording hooks, and bounded waits that run the thread's messages (the
// port's events run there). A wait that runs out returns false: a hung session fails its test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/config_model.h"
#include "core/config_text.h"
#include "core/engine_hooks.h"
#include "core/method_expansion.h"
#include "core/method_run.h"
#include "core/run_variables.h"
#include "core/session_state.h"
#include "core/tests/e2e/zorsim_process.h"
#include "core/tests/support/recording_hooks.h"
#include "core/tests/support/sample_method_folder.h"
#include "core/zor_lib_form.h"
#include "platform/comm/test_hooks.h"
#include "platform/forms/interaction.h"
#include "platform/registry/registry.h"
#include "platform/testing/message_loop.h"
#include "platform/testing/temp_tree.h"
#include "platform/window/window.h"
#include "serial/com_port.h"
#include "utilities/session.h"
#include "utilities/settings.h"

namespace core_test {

using namespace std::chrono_literals;
// Waits that run the thread's messages meanwhile: the port's events run there.
using zor_testing::pump_for;
using zor_testing::pump_until;

// One RX line of zorsim's transcript: what the host sent.
struct SentFrame {
    char digit = 0;
    std::string command;
    std::string note;
};

inline std::vector<SentFrame> parse_sent_frames(const std::vector<std::string>& transcript) {
    std::vector<SentFrame> frames;
    for (const std::string& line : transcript) {
        const auto rx = line.find(" RX <STX>");
        if (rx == std::string::npos) continue;
        const auto body = rx + 9;
        const auto etx = line.find("<ETX>", body);
        if (etx == std::string::npos || etx <= body) continue;
        SentFrame f;
        f.digit = line[body];
        f.command = line.substr(body + 1, etx - body - 1);
        const auto hash = line.find(" # ", etx);
        if (hash != std::string::npos) f.note = line.substr(hash + 3);
        frames.push_back(std::move(f));
    }
    return frames;
}

class SessionE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = zor_testing::make_temp_folder("zor-session");
        ASSERT_FALSE(folder.empty());
        ::setenv("ZOR_REGISTRY", (folder / "registry.db").c_str(), 1);
        platform::registry::reset_store();
        serial::reset_com_port_unit_state_for_tests();
        serial::com_port_unit_state().application_exception_handler = [this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& x) {
                port_errors.push_back(x.what());
            } catch (...) {
                port_errors.push_back("?");
            }
        };
        core::reset_config_model();
        core::reset_method_state();
        core::reset_run_variables();
        core::reset_engine_hooks();
        core::reset_session_state();
        core::session_state().config_progress = {};
        putils::reset_session();
        putils::session().instance_number = 1;
        clear_recorded_hooks();
        putils::reg_write_string("Method Folder", folder.string());
        putils::write_port_setting(1);
        write_sample_method_folder(folder);
        interaction = std::make_unique<platform::forms::ScriptedInteraction>();
        interaction->set_default_box_answer(platform::forms::mr_cancel);
    }

    void TearDown() override {
        form.reset();
        platform::comm::test::close_all_devices();
        platform::window::reset_thread_state_for_tests();
        serial::reset_com_port_unit_state_for_tests();
        interaction.reset();
        if (sim) sim->stop();
        sim.reset();
        ::unsetenv("ZOR_COM1");
        ::unsetenv("ZOR_COM2");
        ::unsetenv("ZOR_COM9");
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        core::session_state().form = nullptr;
    }

    // zorsim with the options, the session started (and connected unless told otherwise).
    void start_session(std::vector<std::string> zorsim_options = {}, bool connect = true) {
        sim = std::make_unique<ZorsimProcess>(folder, zorsim_options);
        ASSERT_TRUE(sim->ok()) << "zorsim did not start";
        ::setenv("ZOR_COM1", sim->link_path().c_str(), 1);
        core::init_session(false, false, true, false, true, false, ".PME", "Zorrun", "");
        form = platform::forms::make_form<core::Tzor_lib>();
        if (connect) {
            core::connect_port();
            ASSERT_TRUE(core::session_state().connected);
        }
    }

    void write_macro(const std::string& name, const std::vector<std::string>& lines) {
        write_macro_file(folder, name, lines);
    }

    // Waits for the n-th completed reply from now on.
    bool wait_for_replies(std::uint64_t n, std::chrono::milliseconds timeout = 20s) {
        const std::uint64_t target = core::link_state().good_replies + n;
        return pump_until([&] { return core::link_state().good_replies >= target; }, timeout);
    }

    // The session is idle: no run, nothing queued, the idle poll armed. (While an idle poll's
    // GET_STAT is out, the reply time-out is armed instead: tests wait for idle() rather than
    // look at one moment.)
    static bool idle() {
        return !core::run_state().run_active && core::step_queue().size == 0 &&
               core::link_state().timer_mode == core::TimerMode::idle_poll;
    }

    std::vector<SentFrame> sent() const { return parse_sent_frames(sim->transcript()); }
    int count_sent(const std::string& command) const {
        int n = 0;
        for (const auto& f : sent())
            if (f.command == command) ++n;
        return n;
    }
    // Commands the host sent, without polls, in order (resends left out).
    std::vector<std::string> sent_commands_without_polls() const {
        std::vector<std::string> out;
        for (const auto& f : sent()) {
            if (f.command == "GET_STAT" || f.command == "GET_ATOM_INFO") continue;
            if (f.note.rfind("resend", 0) == 0) continue;
            out.push_back(f.command);
        }
        return out;
    }

    // Builds the method (with the error macros) and starts it.
    bool start_method_text(const std::vector<std::string>& text, const std::string& syringe = "10ul") {
        if (!core::build_running_method(syringe, 0, text)) return false;
        if (!core::build_error_macros()) return false;
        core::start_method();
        return true;
    }

    std::filesystem::path folder;
    std::unique_ptr<ZorsimProcess> sim;
    platform::forms::FormPtr<core::Tzor_lib> form;
    std::unique_ptr<platform::forms::ScriptedInteraction> interaction;
    std::vector<std::string> port_errors;
};

}  // namespace core_test
