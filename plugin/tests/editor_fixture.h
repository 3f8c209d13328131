// A method folder in a temporary directory with the example configuration and macro library,
// a fresh registry store, the forms layer reset, and every message box recorded and answered
// from a script.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/config_model.h"
#include "core/config_text.h"
#include "core/line_files.h"
#include "core/method_expansion.h"
#include "core/run_variables.h"
#include "core/session_state.h"
#include "platform/forms/application.h"
#include "platform/forms/interaction.h"
#include "platform/help/help.h"
#include "platform/registry/registry.h"
#include "platform/testing/temp_tree.h"
#include "platform/window/window.h"
#include "plugin/method_editor.h"
#include "utilities/session.h"

namespace zorsetup_test {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// "µl" in the system's 8-bit text.
inline const std::string ul = "\xB5l";

class EditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = zor_testing::make_temp_folder("zor-plugin");
        ASSERT_FALSE(folder_.empty());
        setenv("ZOR_REGISTRY", (folder_ + "/registry.db").c_str(), 1);
        platform::registry::reset_store();
        platform::window::reset_thread_state_for_tests();
        platform::forms::reset_forms_state_for_tests();
        boxes_ = std::make_unique<platform::forms::ScriptedInteraction>();
        boxes_->set_default_box_answer(platform::forms::mr_cancel);
        putils::reset_session();
        putils::session().instance_number = 1;
        putils::session().use_message_boxes = true;
        putils::session().method_folder = folder_;
        core::reset_session_state();
        core::session_state().extension = ".PME";
        core::reset_config_model();
        core::reset_method_state();
        core::reset_run_variables();
        platform::help::clear_help_requests();
        for (const auto& entry : fs::directory_iterator(fs::path(ZOR_EXAMPLES_DIR) / "macros"))
            fs::copy_file(entry.path(), fs::path(folder_) / entry.path().filename());
        // Two macros of the tests' own: a time parameter, and an object parameter that allows
        // syringes.
        write_file("Pause.pma", {"// Waits before the next step.", "Time (s);90;1;3600", "WAIT(Time)"});
        write_file("Flush.pma", {"// Flushes the syringe.", "Syringe;SYRINGE",
                                 "Volume (" + ul + ");5;1;SYR.Volume", "DISPENSE(Syringe,Volume,10)"});
        fs::copy_file(fs::path(ZOR_EXAMPLES_DIR) / "zor_config.pol", fs::path(folder_) / "latest_zor.pol");
        ASSERT_TRUE(core::read_configuration_file(core::config_file_path()));
        ASSERT_TRUE(boxes_->boxes().empty());
    }

    void TearDown() override {
        editor_.reset();
        platform::forms::reset_forms_state_for_tests();
        boxes_.reset();
        platform::window::reset_thread_state_for_tests();
        platform::registry::reset_store();
        unsetenv("ZOR_REGISTRY");
        putils::reset_session();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // The editor as the host makes it: created, shown, initialised.
    zorsetup::Tmethod_editor& open_editor(platform::window::Handle host = 0) {
        editor_ = zorsetup::make_editor(host);
        editor_->Show();
        editor_->init_editor();
        return *editor_;
    }

    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    void write_file(const std::string& name, const Lines& lines) {
        ASSERT_TRUE(core::save_lines(path(name), lines)) << name;
    }
    Lines read_file(const std::string& name) const {
        Lines lines;
        EXPECT_TRUE(core::load_lines(path(name), lines)) << name;
        return lines;
    }

    // A template as the editor writes it, the sections taken from the library.
    void write_template(const std::string& name, const Lines& description, const std::string& syringe,
                        const Lines& steps) {
        Lines lines;
        for (const auto& d : description) lines.push_back("//" + d);
        lines.push_back("syringe:" + syringe);
        const int first = static_cast<int>(lines.size());
        lines.insert(lines.end(), steps.begin(), steps.end());
        zorsetup::add_used_macros(lines, first);
        write_file(name + ".PME", lines);
    }

    // The demo template: a rinse, a sample load, a pause and the injection.
    void write_demo_template(const std::string& name = "Demo") {
        write_template(name, {"Demo injection", "second line"}, "25ul",
                       {"Rinse Needle(Wash2,2)", "Load Sample(Tray1,5,2)", "Pause(90)", "Inject(Inj1)"});
    }

    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : boxes_->boxes()) texts.push_back(box.request.text);
        return texts;
    }
    void clear_messages() { boxes_->clear_record(); }

    Lines steps() const { return editor_->current_method->Items.strings(); }
    Lines shown_steps() const { return editor_->method_box->Items.strings(); }

    // A person choosing a template from the box.
    void choose_template(const std::string& name) {
        editor_->method_select_box->drop_down();
        const int index = editor_->method_select_box->Items.index_of(name);
        ASSERT_GE(index, 0) << name;
        editor_->method_select_box->select(index);
    }
    // A person clicking step n (0-based) in the step list.
    void click_step(int n) { editor_->method_box->select(n); }
    // A person typing into row r's edit and leaving it for the step list.
    void type_row(int r, const std::string& text) {
        platform::forms::Edit* edit = editor_->param_edit(r);
        edit->SetFocus();
        edit->type_text(text);
    }
    void leave_field() { editor_->set_focus(nullptr); }

    std::string folder_;
    std::unique_ptr<platform::forms::ScriptedInteraction> boxes_;
    platform::forms::FormPtr<zorsetup::Tmethod_editor> editor_;
};

}  // namespace zorsetup_test
