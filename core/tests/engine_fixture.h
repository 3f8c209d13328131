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
#include "platform/forms/interaction.h"
#include "utilities/session.h"

namespace core_test {

// "µ" and "°" as the configuration text has them.
#define MU "\xB5"
#define DEG "\xB0"

// Three syringes, an injector, two wash stations, two signal classes, tray holders, three tray
// types of two layouts (8 x 12 and a turned, mirrored 6 x 9), trays using them; lists 0, 1, 2
// and 4 (slot 3 is not used); atoms with number, list and object parameters, optional ones, and
// limits that are expressions.
inline std::vector<std::string> standard_configuration() {
    return {
        "[LISTS]",
        "0;2;None;AutoFix",
        "1;3;Low;Medium;High",
        "2;2;Needle;Loop",
        "4;1;Off;On",
        "[CLASSES]",
        "!SYRINGE",
        "Volume;1000;1000000;10000;1;nl",
        "Max Speed;100;1000000;50000;1;nl/s",
        "Needle Length;0;100000;51000;1;" MU "m",
        "!INJECTOR",
        "Loop Volume;0;1000000;20000;1;nl",
        "#Valve Mode;0;1;0;2",
        "!WASH_STATION",
        "Depth;0;60000;20000;1;" MU "m",
        "#Solvent Level;0;2;1;1",
        "!SYNC_SIGNAL",
        "&Description",
        "!OUT_SIGNAL",
        "&Description",
        "Pulse;0;10;1;1;s",
        "!TRAY_HOLDER",
        "&Description",
        "!TRAY_TYPE",
        "Spl Per Col;1;50;8;1;E",
        "Spl Per Row;1;50;12;1;E",
        "Row Length X;-500000;500000;0;1;" MU "m",
        "Row Length Y;-500000;500000;99000;1;" MU "m",
        "Col Length X;-500000;500000;63000;1;" MU "m",
        "Col Length Y;-500000;500000;0;1;" MU "m",
        "#Barcode;0;1;0;0",
        "&TrayTypeGroup",
        "!TRAY",
        "Tray Type;TRAY_TYPE",
        "Tray Holder;TRAY_HOLDER",
        "Offset x;-1000000;1000000;0;1;" MU "m",
        "Offset y;-1000000;1000000;0;1;" MU "m",
        "Path Offset z;-1000000;1000000;0;1;" MU "m",
        "Temperature;4000;40000;20000;1;m" DEG "C",
        "&TrayTypeGroup",
        "[OBJECTS]",
        "SYRINGE;10ul;10000;50000;51000",
        "SYRINGE;100ul;100000;200000;51000",
        "SYRINGE;500ul;500000;400000;57000",
        "INJECTOR;Inj1;20000;0",
        "WASH_STATION;Wash1;20000;1",
        "WASH_STATION;Wash2;30000;2",
        "SYNC_SIGNAL;Start In;Contact input",
        "OUT_SIGNAL;Ready Out;Ready relay;2",
        "TRAY_HOLDER;TH-1;Front holder",
        "TRAY_HOLDER;TH-9070;Barcode holder",
        "TRAY_TYPE;VT96;8;12;0;99000;63000;0;0;A",
        "TRAY_TYPE;VT96BC;8;12;0;99000;63000;0;1;A",
        "TRAY_TYPE;VT54R;6;9;90000;0;0;-60000;0;B",
        "TRAY;Tray1;VT96;TH-1;0;0;0;Off;AB",
        "TRAY;Tray2;VT96BC;TH-9070;130000;0;0;20000;A",
        "TRAY;Tray3;VT54R;TH-1;0;110000;0;20000;B",
        "[ATOMS]",
        "!MOVE_TO_VIAL",
        "Tray;TRAY",
        "Index;1;Tray.Max Index;1;1;E",
        "Depth;0;50000;10000;100;" MU "m",
        "!ASPIRATE",
        "Syringe;SYRINGE",
        "Volume;0;SYR.Volume;1000;1;nl",
        "Speed;100;SYR.Max Speed;5000;1;nl/s",
        "?Delay;0;60;0;1;s",
        "!DISPENSE",
        "Syringe;SYRINGE",
        "Volume;0;SYR.Volume;1000;1;nl",
        "Speed;100;SYR.Max Speed;5000;1;nl/s",
        "!INJECT",
        "Injector;INJECTOR",
        "#Mode;0;1;0;2",
        "!WASH",
        "Station;WASH_STATION",
        "Cycles;1;10;1;1;E",
        "!WAIT_SYNC_SIG",
        "Signal;SYNC_SIGNAL",
        "!SET_OUT",
        "Signal;OUT_SIGNAL;SYNC_SIGNAL",
        "#State;0;1;0;4",
        "?Duration;0;60;1;1;s",
        "!DRAW_FROM",
        "Volume;0;1000000;1000;1;nl",
        "Tray;TRAY",
        "#Speed Level;0;2;1;1",
        "!HEAT_TRAY",
        "Tray;TRAY",
        "Temperature;4000;40000;20000;100;m" DEG "C",
    };
}

// The macro library of the method folder.
struct MacroFile {
    const char* name;
    std::vector<std::string> lines;
};

inline std::vector<MacroFile> standard_macro_library() {
    return {
        {"Load Sample",
         {"// Load Sample", "// Moves to the sample's vial and draws the sample volume", "Tray;TRAY",
          "Volume (" MU "l);SL.volume;0;SYR.Volume", "Speed (" MU "l/s);2;0.1;SYR.Max Speed",
          "MOVE_TO_VIAL(Tray,SL.index,10)", "ASPIRATE(SYR,Volume,Speed,0)"}},
        {"Inject",
         {"// Inject: wait for the data system, then inject", "Injector;INJECTOR", "WAIT_FOR_DS()",
          "INJECT(Injector,Needle)"}},
        {"METHOD ENTRY", {"// before the first step", "WASH(Wash1,1)"}},
        {"METHOD EXIT", {"// after the last step", "WASH(Wash2,2)"}},
        {"ERROR ENTRY", {"// on an instrument error", "WASH(Wash1,1)"}},
        {"ERROR EXIT", {"// after the user's answer", "WASH(Wash2,1)"}},
        {"SL EXIT", {"// end of a sample list", "WASH(Wash2,3)"}},
    };
}

// The method of the host document (after its syringe line): two steps and the sections.
inline std::vector<std::string> standard_method() {
    return {
        "Load Sample(SL.tray,SL.volume,2)",
        "Inject(Inj1)",
        "[MACRO Load Sample]",
        "Tray;TRAY",
        "Volume (" MU "l);SL.volume;0;SYR.Volume",
        "Speed (" MU "l/s);2;0.1;SYR.Max Speed",
        "MOVE_TO_VIAL(Tray,SL.index,10)",
        "ASPIRATE(SYR,Volume,Speed,0)",
        "[MACRO Inject]",
        "Injector;INJECTOR",
        "WAIT_FOR_DS()",
        "INJECT(Injector,Needle)",
        "[MACRO METHOD ENTRY]",
        "WASH(Wash1,1)",
        "[MACRO METHOD EXIT]",
        "WASH(Wash2,2)",
    };
}

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
        char pattern[] = "/tmp/zor-core-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
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
