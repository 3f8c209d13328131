// Zorrun as a run client meets it: Zorrun as a real process on a bus daemon of the benchmark's
// own, zorsim on a pseudo-terminal pacing the line at 9600 baud, clients on the bus.
//
// BM_WholeRunOverTheBus: one run of a method of 200 atoms of 50 ms: PrepareForRun, the run up
//   to WAIT_FOR_DS, StartRun, the rest to the method's end, while a second client asks GetStatus
//   20 times a second. The figure is Zorrun's CPU time (every thread, from /proc) per atom the
//   instrument executed; the counters split it by thread.
// BM_GetStatusAgainstAMinimalService: GetStatus round trips to Zorrun (idle-polling its
//   instrument) and to a minimal sd-bus service of a few lines (a process of its own, the
//   library's own loop), alternately from one client connection; medians and their ratio.
// BM_IdleSessionCpu: Zorrun with its port open, idle-polling the instrument, no calls, 10 s:
//   its CPU time as a share of one core.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "bench/thread_counters.h"
#include "core/tests/e2e/zorsim_process.h"
#include "driver/zorrun/tests/support/bus_client.h"
#include "driver/zorrun/tests/support/compound_writer.h"
#include "driver/zorrun/tests/support/private_bus.h"
#include "driver/zorrun/tests/support/zorrun_process.h"
#include "platform/registry/registry.h"
#include "utilities/session.h"
#include "utilities/settings.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int atoms_per_run = 200;
constexpr const char* minimal_service = "com.hox.MinimalStatus";

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A GetStatus service as the sd-bus documentation writes one: a vtable, a name, the library's
// own process-and-wait loop. Runs in a child process until killed.
int reply_status(sd_bus_message* m, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "i", 1);
}

const sd_bus_vtable minimal_vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetStatus", "", "i", reply_status, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

pid_t start_minimal_service() {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    sd_bus* bus = nullptr;
    sd_bus_slot* slot = nullptr;
    if (sd_bus_open_user(&bus) < 0 ||
        sd_bus_add_object_vtable(bus, &slot, "/com/hox/Zorrun/IZor", "com.hox.Zorrun.IIZor", minimal_vtable,
                                 nullptr) < 0 ||
        sd_bus_request_name(bus, minimal_service, 0) < 0)
        ::_exit(1);
    for (;;) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0) ::_exit(1);
        if (r > 0) continue;
        if (sd_bus_wait(bus, UINT64_MAX) < 0) ::_exit(1);
    }
}

// The whole set-up: folder, settings, bus, zorsim, Zorrun.
struct Setup {
    std::filesystem::path folder;
    std::unique_ptr<zorrun_test::PrivateBus> bus;
    std::unique_ptr<core_test::ZorsimProcess> sim;
    std::unique_ptr<zorrun_test::ZorrunProcess> zorrun;
    std::unique_ptr<zorrun_test::BusClient> client;
    std::string document;
    std::string problem;

    explicit Setup(const std::vector<std::string>& zorsim_options) {
        char pattern[] = "/tmp/zor-bench-run-XXXXXX";
        folder = ::mkdtemp(pattern);
        ::setenv("ZOR_REGISTRY", (folder / "registry.db").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
        platform::registry::reset_store();
        putils::reset_session();
        putils::session().instance_number = 1;
        putils::reg_write_string("Method Folder", folder.string());
        putils::write_port_setting(1);
        write_macro("ERROR ENTRY", {"WASH(Wash1,1)"});
        write_macro("ERROR EXIT", {"WASH(Wash2,1)"});
        std::filesystem::copy_file(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol",
                                   folder / "latest_zor.pol");
        // The method: a wait for the data system, then the atoms, MOVE_TO and WASH in turn.
        std::vector<std::string> method = {"10ul",       "Go()",          "Steps()",
                                           "[MACRO Go]", "WAIT_FOR_DS()", "[MACRO Steps]"};
        for (int i = 0; i < atoms_per_run; ++i) method.push_back(i % 2 ? "WASH(Wash1,1)" : "MOVE_TO(Inj1,5)");
        document = (folder / "bench.raw").string();
        std::ofstream(document, std::ios::binary)
            << zorrun_test::make_compound_file({zorrun_test::CompoundNode::folder(
                   "Zor",
                   {zorrun_test::CompoundNode::stream("Data", zorrun_test::method_stream_bytes(method))})});

        bus = std::make_unique<zorrun_test::PrivateBus>(folder);
        if (!bus->ok()) {
            problem = "no dbus-daemon";
            return;
        }
        std::vector<std::string> options = {"--syringe", "10ul"};
        options.insert(options.end(), zorsim_options.begin(), zorsim_options.end());
        sim = std::make_unique<core_test::ZorsimProcess>(folder, options);
        if (!sim->ok()) {
            problem = "zorsim did not start";
            return;
        }
        zorrun = std::make_unique<zorrun_test::ZorrunProcess>(
            ZORRUN_PATH, std::vector<std::string>{},
            std::vector<std::string>{"ZOR_REGISTRY=" + (folder / "registry.db").string(),
                                     "ZOR_COM1=" + sim->link_path().string()},
            folder / "zorrun.err");
        client = std::make_unique<zorrun_test::BusClient>();
        if (!wait_until([&] { return client->zorrun_on_bus(); }, 20s)) {
            problem = "Zorrun did not come onto the bus";
            return;
        }
        if (client->Initialize().result != 1 || !wait_until([&] { return polls() >= 2; }, 20s))
            problem = "Zorrun did not start polling";
    }

    ~Setup() {
        client.reset();
        if (zorrun) {
            zorrun->signal(SIGTERM);
            if (!zorrun->wait_exit(10s)) zorrun->signal(SIGKILL);
        }
        zorrun.reset();
        if (sim) sim->stop();
        sim.reset();
        bus.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    void write_macro(const std::string& name, const std::vector<std::string>& lines) const {
        std::ofstream out(folder / (name + ".pma"), std::ios::binary);
        for (const auto& line : lines) out << line << "\r\n";
    }

    int polls() const {
        int n = 0;
        for (const auto& line : sim->transcript())
            if (line.find(" RX <STX>") != std::string::npos &&
                line.find("GET_STAT<ETX>") != std::string::npos)
                ++n;
        return n;
    }
};

void BM_WholeRunOverTheBus(benchmark::State& state) {
    Setup setup({"--pace", "--default-atom-ms", "50"});
    if (!setup.problem.empty()) {
        state.SkipWithError(setup.problem.c_str());
        return;
    }
    // The client that follows the run: GetStatus 20 times a second, on a connection of its own;
    // the run's course is read from its answers, so no other call polls.
    std::atomic<bool> stop{false};
    std::atomic<int> asked{0};
    std::atomic<std::int32_t> status{-1};
    std::thread poller([&] {
        zorrun_test::BusClient own;
        auto next = Clock::now();
        while (!stop) {
            status = own.GetStatus().result;
            ++asked;
            next += 50ms;
            std::this_thread::sleep_until(next);
        }
    });
    std::size_t executed = setup.sim->executed().size();
    std::map<std::string, bench::ThreadCounters> spent;
    double atoms = 0, wall = 0;
    for (auto _ : state) {
        const auto before = bench::thread_counters(setup.zorrun->pid());
        const auto t0 = Clock::now();
        auto& c = *setup.client;
        if (c.PrepareForRun("", setup.document, "", 0, 0, "Tray2:5", 1.0, 0).result != 1 ||
            !wait_until([&] { return status == 4; }, 60s)) {
            state.SkipWithError("the run did not reach its wait for the data system");
            break;
        }
        c.StartRun();
        status = -1;  // an answer from before the start does not count
        if (!wait_until([&] { return status == 1; }, 600s)) {
            state.SkipWithError("the run did not end");
            break;
        }
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
        const auto after = bench::thread_counters(setup.zorrun->pid());
        bench::add_difference(spent, before, after);
        const std::size_t now = setup.sim->executed().size();
        atoms += static_cast<double>(now - executed);
        executed = now;
        state.SetIterationTime((bench::sum(after).cpu_ns - bench::sum(before).cpu_ns) / 1e9);
    }
    stop = true;
    poller.join();
    if (atoms > 0) {
        state.counters["cpu_ms_per_atom"] = bench::sum(spent).cpu_ns / 1e6 / atoms;
        state.counters["wakeups_per_atom"] = bench::sum(spent).wakeups / atoms;
        for (const auto& [name, c] : spent) {
            state.counters["ms_per_atom:" + name] = c.cpu_ns / 1e6 / atoms;
            state.counters["wakeups_per_atom:" + name] = c.wakeups / atoms;
        }
        state.counters["atoms"] = atoms;
        state.counters["wall_s"] = wall;
        state.counters["getstatus_per_s"] = asked / wall;
    }
}
BENCHMARK(BM_WholeRunOverTheBus)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_GetStatusAgainstAMinimalService(benchmark::State& state) {
    Setup setup({"--default-atom-ms", "0"});
    if (!setup.problem.empty()) {
        state.SkipWithError(setup.problem.c_str());
        return;
    }
    const pid_t minimal = start_minimal_service();
    sd_bus* bus = nullptr;
    sd_bus_open_user(&bus);
    auto call = [&](const char* destination) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        const auto t0 = Clock::now();
        const int r = sd_bus_call_method(bus, destination, "/com/hox/Zorrun/IZor", "com.hox.Zorrun.IIZor",
                                         "GetStatus", &error, &reply, "");
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return r < 0 ? -1.0 : us;
    };
    if (!wait_until([&] { return call(minimal_service) >= 0; }, 10s)) {
        state.SkipWithError("the minimal service did not come onto the bus");
    } else {
        std::vector<double> zorrun_us, minimal_us;
        double zorrun_cpu = 0, minimal_cpu = 0;
        for (auto _ : state) {
            const double z0 = bench::sum(bench::thread_counters(setup.zorrun->pid())).cpu_ns;
            const double m0 = bench::sum(bench::thread_counters(minimal)).cpu_ns;
            for (int i = 0; i < 2000; ++i) {
                zorrun_us.push_back(call("com.hox.Zorrun"));
                minimal_us.push_back(call(minimal_service));
            }
            zorrun_cpu += bench::sum(bench::thread_counters(setup.zorrun->pid())).cpu_ns - z0;
            minimal_cpu += bench::sum(bench::thread_counters(minimal)).cpu_ns - m0;
        }
        state.counters["zorrun_median_us"] = median(zorrun_us);
        state.counters["minimal_median_us"] = median(minimal_us);
        state.counters["ratio"] = median(zorrun_us) / median(minimal_us);
        // The servers' own CPU per call (Zorrun's includes its idle polling meanwhile).
        state.counters["zorrun_cpu_us_per_call"] = zorrun_cpu / 1e3 / static_cast<double>(zorrun_us.size());
        state.counters["minimal_cpu_us_per_call"] =
            minimal_cpu / 1e3 / static_cast<double>(minimal_us.size());
    }
    sd_bus_flush_close_unref(bus);
    ::kill(minimal, SIGTERM);
    ::waitpid(minimal, nullptr, 0);
}
BENCHMARK(BM_GetStatusAgainstAMinimalService)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_IdleSessionCpu(benchmark::State& state) {
    Setup setup({"--default-atom-ms", "0"});
    if (!setup.problem.empty()) {
        state.SkipWithError(setup.problem.c_str());
        return;
    }
    std::map<std::string, bench::ThreadCounters> spent;
    double seconds = 0;
    for (auto _ : state) {
        const auto before = bench::thread_counters(setup.zorrun->pid());
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(10s);
        seconds += std::chrono::duration<double>(Clock::now() - t0).count();
        bench::add_difference(spent, before, bench::thread_counters(setup.zorrun->pid()));
    }
    state.counters["cpu_percent_of_core"] = bench::sum(spent).cpu_ns / 1e9 / seconds * 100.0;
    state.counters["wakeups_per_s"] = bench::sum(spent).wakeups / seconds;
    for (const auto& [name, c] : spent) state.counters["percent:" + name] = c.cpu_ns / 1e9 / seconds * 100.0;
}
BENCHMARK(BM_IdleSessionCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
