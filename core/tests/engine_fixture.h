// A method folder in a temporary directory with a realistic configuration and a small macro
// library, the engine's state reset around every test, and every message box recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config_model.h"
#include "core/config_text.h"
#include "core/engine_hooks.h"
#include "core/line_files.h"
#include "core/method_expansion.h"
#include "core/run_variables.h"
#include "core/tests/engine_samples.h"
#include "platform/forms/interaction.h"
#include "platform/testing/temp_tree.h"
#include "utilities/session.h"

namespace core_test {

// The whole model as text, for comparing two reads (values in user units, exactly).
inline std::string describe_model() {
    const core::Tconfig_model& m = core::config_model();
    std::string out;
    auto number = [](double v) { return testing::PrintToString(v); };
    for (int n = 0; n < core::max_lists; ++n) {
        const core::Tlist_rec& list = m.lists[n];
        if (!list.present) continue;
        out += "list " + std::to_string(n) + " max " + std::to_string(list.maximum) + ":";
        for (int i = 0; i < list.item_count; ++i) out += " [" + list.items[i].str() + "]";
        out += "\n";
    }
    out += "list count " + std::to_string(m.list_count) + "\n";
    for (int c = 0; c < m.class_count; ++c) {
        const core::Tclass_rec& cls = m.classes[c];
        out += "class " + cls.name.str() + " block " + std::to_string(cls.block_size) + "\n";
        for (int a = 0; a < cls.attribute_count; ++a) {
            const core::Tattribute_rec& at = cls.attributes[a];
            out += "  " + at.name.str() + " kind " + std::to_string(int(at.kind)) + " " + number(at.min) +
                   " " + number(at.max) + " " + number(at.default_value) + " " + number(at.increment) + " [" +
                   at.unit.str() + "] " + std::to_string(at.list_or_mask) + " @" +
                   std::to_string(at.value_offset) + "\n";
        }
    }
    for (int k = 0; k < m.object_count; ++k) {
        const core::Tobject_rec& o = m.objects[k];
        const core::Tclass_rec& cls = m.classes[o.class_index];
        out +=
            "object " + o.name.str() + " of " + cls.name.str() + " @" + std::to_string(o.block_offset) + ":";
        for (int a = 0; a < cls.attribute_count; ++a) {
            const bool text = cls.attributes[a].kind == core::ValueKind::text ||
                              cls.attributes[a].kind == core::ValueKind::object;
            out +=
                " " + (text ? "'" + core::get_text_value(o, a) + "'" : number(core::get_number_value(o, a)));
        }
        out += "\n";
    }
    for (int t = 0; t < m.atom_count; ++t) {
        const core::Tatom_rec& atom = m.atoms[t];
        out += "atom " + atom.name.str() + "\n";
        for (int p = 0; p < atom.param_count; ++p) {
            const core::Tatom_param_rec& pr = atom.params[p];
            out += "  " + pr.name.str() + " kind " + std::to_string(int(pr.kind)) + " [" + pr.min.str() +
                   "] [" + pr.max.str() + "] [" + pr.default_value.str() + "] [" + pr.increment.str() +
                   "] [" + pr.unit.str() + "] " + std::to_string(pr.list_or_mask) +
                   (pr.required ? " required" : "") + "\n";
        }
    }
    out += "text atoms " + std::to_string(m.text_atom_count) + " value area " +
           std::to_string(m.value_area_used) + "\n";
    return out;
}

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = zor_testing::make_temp_folder("zor-core");
        ASSERT_FALSE(folder_.empty());
        putils::reset_session();
        putils::session().method_folder = folder_;
        putils::session().use_message_boxes = true;
        core::reset_config_model();
        core::reset_method_state();
        core::reset_run_variables();
        core::reset_engine_hooks();
        debug_lines().clear();
        core::engine_hooks().debug_line = [](std::string_view line) { debug_lines().emplace_back(line); };
        boxes_.set_default_box_answer(platform::forms::mr_cancel);
        for (const MacroFile& macro : standard_macro_library())
            write_file(std::string(macro.name) + ".pma", macro.lines);
    }

    void TearDown() override {
        core::reset_engine_hooks();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    // The texts of the boxes shown so far.
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : boxes_.boxes()) texts.push_back(box.request.text);
        return texts;
    }
    void clear_messages() { boxes_.clear_record(); }

    static std::vector<std::string>& debug_lines() {
        static std::vector<std::string> lines;
        return lines;
    }

    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    void write_file(const std::string& name, const std::vector<std::string>& lines) {
        ASSERT_TRUE(core::save_lines(path(name), lines)) << name;
    }

    // Reads the standard configuration through its file, as a session start does.
    void load_standard_configuration() {
        write_file("latest_zor.pol", standard_configuration());
        ASSERT_TRUE(core::read_configuration_file(core::config_file_path()))
            << testing::PrintToString(messages());
        ASSERT_TRUE(messages().empty()) << testing::PrintToString(messages());
    }

    // The run of the documented example: vial "Tray2:5", 5 µl, the 10 µl syringe mounted.
    static void set_example_run() {
        core::RunVariables& run = core::run_variables();
        run.sample_tray = "Tray2";
        run.sample_index = 5;
        run.sample_volume = 5;
        run.mounted_syringe = "10ul";
    }

    std::string folder_;
    platform::forms::ScriptedInteraction boxes_;
};

}  // namespace core_test
