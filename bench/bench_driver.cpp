// The run-time driver in a whole run against zorsim (unpaced, atoms of 0 ms): the driver and
// the instrument core of Zorrun in this process (the automation calls made directly, as the bus
// stub makes them), zorsim as a process of its own on a pseudo-terminal.
//
// BM_WholeRunDriverTimePerStep: Initialize is done once; each iteration is one run of a
//   method of 40 instrument steps: PrepareForRun from a compound file, the syringe check, the
//   run up to WAIT_FOR_DS, StartRun, the rest to the method's end. The time reported is the
//   process's CPU time (main thread and the serial layer's worker threads) per executed step;
//   the counters give the wall time per step (mostly the protocol's own polling pauses) and the
//   steps per run.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "bench/thread_counters.h"
#include "core/config_model.h"
#include "core/engine_hooks.h"
#include "core/method_expansion.h"
#include "core/run_variables.h"
#include "core/session_state.h"
#include "core/tests/e2e/zorsim_process.h"
#include "core/zor_lib_form.h"
#include "driver/zorrun/automation.h"
#include "driver/zorrun/driver_forms.h"
#include "driver/zorrun/interaction.h"
#include "driver/zorrun/status_model.h"
#include "driver/zorrun/tests/support/compound_writer.h"
#include "platform/forms/application.h"
#include "platform/registry/registry.h"
#include "platform/window/window.h"
#include "serial/com_port.h"
#include "utilities/session.h"
#include "utilities/settings.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int steps_per_run = 40;

// The loop checks `done` after every message it handles, so it needs no wake-ups of its own
// (they would be counted as the driver's).
bool run_until(const std::function<bool()>& done, std::chrono::seconds timeout = 120s) {
    return platform::window::run_nested_loop_for(
        done, static_cast<unsigned>(std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count()));
}

void write_macro(const std::filesystem::path& folder, const std::string& name,
                 const std::vector<std::string>& lines) {
    std::ofstream out(folder / (name + ".pma"), std::ios::binary);
    for (const auto& line : lines) out << line << "\r\n";
}

struct Driver {
    std::filesystem::path folder;
    std::unique_ptr<core_test::ZorsimProcess> sim;
    zorrun::HeadlessInteraction interaction;
    std::string document;

    Driver() {
        char pattern[] = "/tmp/zor-bench-driver-XXXXXX";
        folder = ::mkdtemp(pattern);
        ::setenv("ZOR_REGISTRY", (folder / "registry.db").c_str(), 1);
        platform::registry::reset_store();
        putils::reset_session();
        putils::session().instance_number = 1;
        putils::reg_write_string("Method Folder", folder.string());
        putils::write_port_setting(1);
        write_macro(folder, "ERROR ENTRY", {"WASH(Wash1,1)"});
        write_macro(folder, "ERROR EXIT", {"WASH(Wash2,1)"});
        std::filesystem::copy_file(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol",
                                   folder / "latest_zor.pol");
        sim = std::make_unique<core_test::ZorsimProcess>(
            folder, std::vector<std::string>{"--default-atom-ms", "0", "--syringe", "10ul"});
        ::setenv("ZOR_COM1", sim->link_path().c_str(), 1);

        zorrun::reset_vzor_state();
        core::init_session(false, false, true, false, true, false, ".PME", "Zorrun", "");
        platform::forms::set_interaction_provider(&interaction);
        platform::forms::application().ShowMainForm = false;
        platform::forms::application().create_form<core::Tzor_lib>();
        zorrun::create_driver_forms();
        zorrun::initialize();

        // 40 steps: half before the wait for the data system, half after it.
        std::vector<std::string> method = {"10ul", "Half()", "Wait()", "Half()", "[MACRO Half]"};
        for (int i = 0; i < steps_per_run / 2; ++i)
            method.push_back(i % 2 ? "WASH(Wash1,1)" : "MOVE_TO(Inj1,5)");
        method.insert(method.end(), {"[MACRO Wait]", "WAIT_FOR_DS()"});
        const std::string bytes = zorrun_test::make_compound_file({zorrun_test::CompoundNode::folder(
            "Zor", {zorrun_test::CompoundNode::stream("Data", zorrun_test::method_stream_bytes(method))})});
        document = (folder / "bench.raw").string();
        std::ofstream(document, std::ios::binary) << bytes;
        run_until([] { return core::link_state().good_replies > 2; });
    }

    ~Driver() {
        platform::forms::application().free_all_forms();
        platform::forms::set_interaction_provider(nullptr);
        sim->stop();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // One whole run; false when it did not end.
    bool run() {
        if (zorrun::prepare_for_run("", document, "", 0, 0, "Tray2:5", 1.0, 0) != 1) return false;
        if (!run_until([] { return zorrun::get_status() == zorrun::status_waiting_for_start; })) return false;
        zorrun::start_run();
        return run_until([] { return zorrun::get_status() == zorrun::status_idle; });
    }
};

void BM_WholeRunDriverTimePerStep(benchmark::State& state) {
    Driver driver;
    std::size_t executed = driver.sim->executed().size();
    std::map<std::string, bench::ThreadCounters> spent;
    double wall_total = 0;
    std::size_t steps_total = 0;
    for (auto _ : state) {
        const auto before = bench::thread_counters();
        const auto wall = Clock::now();
        if (!driver.run()) {
            state.SkipWithError("the run did not end");
            break;
        }
        const auto after = bench::thread_counters();
        const double wall_used = std::chrono::duration<double>(Clock::now() - wall).count();
        const std::size_t now = driver.sim->executed().size();
        const std::size_t steps = now - executed;
        executed = now;
        if (steps == 0) {
            state.SkipWithError("no step ran");
            break;
        }
        bench::add_difference(spent, before, after);
        state.SetIterationTime((bench::sum(after).cpu_ns - bench::sum(before).cpu_ns) / 1e9 / double(steps));
        wall_total += wall_used;
        steps_total += steps;
    }
    if (steps_total) {
        const double steps = double(steps_total);
        state.counters["wall_ms_per_step"] = 1000.0 * wall_total / steps;
        state.counters["steps_per_run"] = steps / double(state.iterations());
        state.counters["wakeups_per_step"] = bench::sum(spent).wakeups / steps;
        for (const auto& [name, c] : spent) {
            state.counters["us_per_step:" + name] = c.cpu_ns / 1e3 / steps;
            state.counters["wakeups_per_step:" + name] = c.wakeups / steps;
        }
    }
}
BENCHMARK(BM_WholeRunDriverTimePerStep)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
