// The configuration and method engine at its limits:
// - reading a configuration text that fills the model (100 lists of 39 items, 32 classes of 24
//   attributes, 200 objects in 99 % of the value area, 51 atoms of 40 parameters with expression
//   limits). Goal: under 2 ms.
// - expanding a method of 100 steps into 1000 validated atom lines. Goal: under 1 ms.
// - expanding methods of 1,000, 10,000 and 40,000 steps: the time grows linearly with the steps
//   (10,000 steps under 10 ms, 1,000 under 1 ms); a method past the 1000-line limit is refused
//   without scanning it per step.
// - turning those 1000 lines into command text (evaluated, limited and scaled values).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/command_text.h"
#include "core/config_model.h"
#include "core/config_text.h"
#include "core/method_expansion.h"
#include "core/run_variables.h"
#include "core/tests/engine_samples.h"
#include "platform/forms/interaction.h"
#include "utilities/session.h"

namespace {

// No box is expected; should one come, it is answered and the figure is void.
class CountingInteraction : public platform::forms::InteractionProvider {
  public:
    CountingInteraction() { platform::forms::set_interaction_provider(this); }
    platform::forms::ModalResult answer_box(const platform::forms::MessageBoxRequest&) override {
        ++boxes;
        return platform::forms::mr_cancel;
    }
    void modal_form_shown(platform::forms::Form&) override {}
    int boxes = 0;
};

CountingInteraction& interaction() {
    static CountingInteraction provider;
    putils::session().use_message_boxes = true;
    return provider;
}

std::string n(int i) {
    return std::to_string(i);
}

// A configuration text at the model's limits.
std::vector<std::string> full_configuration() {
    std::vector<std::string> text{"[LISTS]"};
    for (int l = 0; l < core::max_lists; ++l) {
        std::string line = n(l) + ";39";
        for (int i = 0; i < 39; ++i) line += ";Item " + n(l) + "." + n(i);
        text.push_back(line);
    }
    text.push_back("[CLASSES]");
    // Class 0 is the syringe class, class 1 the trays; all have 24 attributes. Even classes hold
    // 22 numbers and 2 lists (192 bytes an object), odd ones a text and 23 numbers (204 bytes).
    for (int c = 0; c < core::max_classes; ++c) {
        text.push_back(c == 0 ? "!SYRINGE" : c == 1 ? "!TRAY" : "!CLASS_" + n(c));
        if (c == 0) {
            text.push_back("Volume;1000;1000000;10000;1;nl");
            text.push_back("Max Speed;100;1000000;50000;1;nl/s");
        } else if (c == 1) {
            text.push_back("Spl Per Col;1;50;8;1;E");
            text.push_back("Spl Per Row;1;50;12;1;E");
        } else {
            text.push_back("Size " + n(c) + ";0;1000;10;1;E");
            text.push_back("Depth " + n(c) + ";0;60000;20000;1;" MU "m");
        }
        for (int a = 2; a < core::max_attributes; ++a) {
            if (c % 2 == 0 && a >= 22)
                text.push_back("#Choice " + n(a) + ";0;38;1;" + n((c + a) % core::max_lists));
            else if (c % 2 == 1 && a == 23)
                text.push_back("&Label");
            else
                text.push_back("Value " + n(a) + ";-500000;500000;" + n(a * 100) + ";1;" +
                               (a % 3 ? "nl" : "E"));
        }
    }
    text.push_back("[OBJECTS]");
    for (int k = 0; k < core::max_objects; ++k) {
        const int c = k % core::max_classes;
        std::string line = (c == 0   ? std::string("SYRINGE")
                            : c == 1 ? std::string("TRAY")
                                     : "CLASS_" + n(c)) +
                           ";Object " + n(k);
        for (int a = 0; a < core::max_attributes; ++a) {
            if (c % 2 == 1 && a == 23)
                line += ";Label " + n(k);
            else if (c % 2 == 0 && a >= 22)
                line += ";" + n(a % 39);
            else
                line += ";" + n(1000 * (a + 1) + k);
        }
        text.push_back(line);
    }
    text.push_back("[ATOMS]");
    for (int t = 0; t < core::max_text_atoms; ++t) {
        text.push_back("!ATOM_" + n(t));
        text.push_back("Syringe;SYRINGE");
        text.push_back("Tray;TRAY");
        for (int p = 2; p < core::max_atom_params; ++p) {
            switch (p % 4) {
                case 0:
                    text.push_back("Volume " + n(p) + ";0;SYR.Volume;1000;1;nl");
                    break;
                case 1:
                    text.push_back("Index " + n(p) + ";1;Tray.Max Index;1;1;E");
                    break;
                case 2:
                    text.push_back("?#Mode " + n(p) + ";0;1;0;" + n(p));
                    break;
                default:
                    text.push_back("Speed " + n(p) + ";100;SYR.Max Speed/2;5000;1;nl/s");
                    break;
            }
        }
    }
    return text;
}

void BM_ReadFullConfiguration(benchmark::State& state) {
    CountingInteraction& boxes = interaction();
    const std::vector<std::string> text = full_configuration();
    for (auto _ : state) benchmark::DoNotOptimize(core::read_configuration(text));
    const core::Tconfig_model& m = core::config_model();
    if (!core::read_configuration(text) || boxes.boxes != 0 || m.object_count != core::max_objects ||
        m.atom_count != core::max_atoms)
        state.SkipWithError("the full configuration did not read cleanly");
    state.counters["lines"] = double(text.size());
    state.counters["value_bytes"] = m.value_area_used;
}
BENCHMARK(BM_ReadFullConfiguration)->Unit(benchmark::kMicrosecond);

// 100 steps of two macros of 10 body lines each: 1000 atom lines (no wrapper sections).
std::vector<std::string> hundred_step_method() {
    std::vector<std::string> text;
    for (int s = 0; s < 50; ++s) {
        text.push_back("Sample(SL.tray,SL.volume*" + n(1 + s % 3) + ",2)");
        text.push_back("Rinse(Wash" + n(1 + s % 2) + "," + n(1 + s % 5) + ")");
    }
    const std::vector<std::string> sections{
        "[MACRO Sample]",
        "Tray;TRAY",
        "Volume (" MU "l);SL.volume;0;SYR.Volume",
        "Speed (" MU "l/s);2;0.1;SYR.Max Speed",
        "MOVE_TO_VIAL(Tray,SL.index,10)",
        "ASPIRATE(SYR,Volume,Speed,0)",
        "MOVE_TO_VIAL(Tray,SL.index,Tray.Offset x/10+1)",
        "DISPENSE(SYR,Volume/2,Speed*2)",
        "ASPIRATE(SYR,Volume/2,Speed,0:01)",
        "MOVE_TO_VIAL(Tray,Tray.Max Index-SL.index,5)",
        "DISPENSE(SYR,Volume,Speed)",
        "WAIT_FOR_DS()",
        "INJECT(Inj1,Needle)",
        "WASH(Wash1,1)",
        "[MACRO Rinse]",
        "Station;WASH_STATION",
        "Cycles ();1;1;10",
        "WASH(Station,Cycles)",
        "ASPIRATE(SYR,SYR.Volume/4,SYR.Max Speed/2,0)",
        "DISPENSE(SYR,SYR.Volume/4,SYR.Max Speed/2)",
        "WASH(Station,Cycles+1)",
        "ASPIRATE(SYR,1.5,2,0)",
        "DISPENSE(SYR,1.5,2)",
        "INC_USER_INDEX()",
        "WASH(Wash2,1)",
        "ASPIRATE(SYR,user_index*0.5,1,1:00)",
        "DISPENSE(SYR,user_index*0.5,1)",
    };
    text.insert(text.end(), sections.begin(), sections.end());
    return text;
}

void prepare_run() {
    interaction();
    core::read_configuration(core_test::standard_configuration());
    core::RunVariables& run = core::run_variables();
    run.sample_tray = "Tray2";
    run.sample_index = 5;
    run.sample_volume = 5;
    run.user_index = 1;
    run.mounted_syringe = "100ul";
}

void BM_ExpandHundredSteps(benchmark::State& state) {
    prepare_run();
    const std::vector<std::string> method = hundred_step_method();
    for (auto _ : state) benchmark::DoNotOptimize(core::build_running_method("100ul", 0, method));
    if (!core::build_running_method("100ul", 0, method) || interaction().boxes != 0 ||
        core::method_state().expanded_method.size() != 1000u)
        state.SkipWithError(
            ("the method did not expand into 1000 lines: " + putils::session().last_error).c_str());
    state.counters["atom_lines"] = double(core::method_state().expanded_method.size());
}
BENCHMARK(BM_ExpandHundredSteps)->Unit(benchmark::kMicrosecond);

// `steps` steps of which every 40th calls a one-line macro with an object and a number parameter
// and the others a macro without body lines, so that 40,000 steps give the 1000 atom lines the
// expander takes. The macro sections follow the steps, as in every method text.
std::vector<std::string> many_step_method(int steps) {
    std::vector<std::string> text;
    text.reserve(std::size_t(steps) + 8);
    for (int s = 0; s < steps; ++s)
        text.push_back(s % 40 == 0 ? "Rinse(Wash" + n(1 + s % 2) + "," + n(1 + s % 5) + ")" : "Mark()");
    for (const char* line : {"[MACRO Rinse]", "Station;WASH_STATION", "Cycles ();1;1;10",
                             "WASH(Station,Cycles)", "[MACRO Mark]"})
        text.emplace_back(line);
    return text;
}

void BM_ExpandSteps(benchmark::State& state) {
    prepare_run();
    const int steps = int(state.range(0));
    const std::vector<std::string> method = many_step_method(steps);
    for (auto _ : state) benchmark::DoNotOptimize(core::build_running_method("100ul", 0, method));
    const std::size_t lines = std::size_t((steps + 39) / 40);
    if (!core::build_running_method("100ul", 0, method) || interaction().boxes != 0 ||
        core::method_state().expanded_method.size() != lines)
        state.SkipWithError(("the method did not expand: " + putils::session().last_error).c_str());
    state.counters["atom_lines"] = double(core::method_state().expanded_method.size());
    state.counters["ns_per_step"] = benchmark::Counter(
        double(steps), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ExpandSteps)->Arg(1000)->Arg(10000)->Arg(40000)->Unit(benchmark::kMicrosecond);

// Every step a one-line macro: the method is refused at its 1001st atom line, whatever its length.
void BM_ExpandRefusedSteps(benchmark::State& state) {
    prepare_run();
    const int steps = int(state.range(0));
    std::vector<std::string> method = many_step_method(steps);
    std::fill(method.begin(), method.begin() + steps, std::string("Rinse(Wash1,2)"));
    const int boxes_before = interaction().boxes;
    int runs = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(core::build_running_method("100ul", 0, method));
        ++runs;
    }
    if (core::build_running_method("100ul", 0, method) || interaction().boxes - boxes_before != runs + 1)
        state.SkipWithError("the method was not refused once per build");
}
BENCHMARK(BM_ExpandRefusedSteps)->Arg(10000)->Arg(40000)->Unit(benchmark::kMicrosecond);

void BM_CommandsForThousandLines(benchmark::State& state) {
    prepare_run();
    const std::vector<std::string> method = hundred_step_method();
    // The boxes of the benchmarks before this one (a refused method shows one) are not its own.
    const int boxes_before = interaction().boxes;
    core::build_running_method("100ul", 0, method);
    const std::vector<std::string> lines = core::method_state().expanded_method;
    std::string command;
    int built = 0;
    for (auto _ : state) {
        built = 0;
        for (int i = 0; i < int(lines.size()); ++i) built += core::line_to_command(i, lines[i], command);
    }
    if (built != 1000 || interaction().boxes != boxes_before)
        state.SkipWithError(("not every line gave a command: " + putils::session().last_error).c_str());
}
BENCHMARK(BM_CommandsForThousandLines)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
