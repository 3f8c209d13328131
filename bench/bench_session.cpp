// The instrument session on a pseudo-terminal.
//
// BM_ReplyToNextCommand: a far end of our own answers at once; each reply whose processing
//   sends the next command is timed from its last byte written to the first byte of that
//   command read (unpaced pty). Median and 99th percentile per run.
// BM_IdleSessionCpu: the session idle-polls zorsim for 10 s; the process's CPU time (main
//   thread and the port's worker threads) as a share of one core.
// BM_RunAgainstTheProtocolFloor: a 200-step method (atoms of 50 ms) against zorsim pacing the
//   line at 9600 baud both ways; the run's wall time against the protocol's floor for the same
//   transcript (protocol_floor_end_ms below): goal 1.02 or less.
// BM_UploadRatePauses: the configuration upload against zorsim (unpaced): each of its two
//   pauses after a rate change, from the "|" to SET_BAUD leaving zorsim to the next command
//   reaching it, against what is asked: the serial layer's wait for the transmitter before it
//   changes the rate (19 ms from 9600 baud, 5 ms from 38400), then the 500-ms pause. Goal: within
//   5 ms of that.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>
#include <vector>

#include "core/config_model.h"
#include "core/engine_hooks.h"
#include "core/framed_link.h"
#include "core/method_expansion.h"
#include "core/method_run.h"
#include "core/reply_dispatcher.h"
#include "core/run_variables.h"
#include "core/session_state.h"
#include "core/step_sequences.h"
#include "core/tests/e2e/zorsim_process.h"
#include "core/tests/support/far_end_pty.h"
#include "core/tests/support/recording_hooks.h"
#include "core/zor_lib_form.h"
#include "platform/comm/test_hooks.h"
#include "platform/forms/interaction.h"
#include "platform/kernel/kernel.h"
#include "platform/registry/registry.h"
#include "platform/window/window.h"
#include "serial/com_port.h"
#include "serial/dispatcher.h"
#include "utilities/session.h"
#include "utilities/settings.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Session {
    std::filesystem::path folder;
    platform::forms::FormPtr<core::Tzor_lib> form;
    std::unique_ptr<platform::forms::ScriptedInteraction> interaction;
    std::unique_ptr<core_test::ZorsimProcess> sim;

    Session() {
        char pattern[] = "/tmp/zor-bench-session-XXXXXX";
        folder = ::mkdtemp(pattern);
        ::setenv("ZOR_REGISTRY", (folder / "registry.db").c_str(), 1);
        platform::registry::reset_store();
        serial::reset_com_port_unit_state_for_tests();
        core::reset_config_model();
        core::reset_method_state();
        core::reset_run_variables();
        core::reset_engine_hooks();
        core::reset_session_state();
        putils::reset_session();
        putils::session().instance_number = 1;
        putils::reg_write_string("Method Folder", folder.string());
        putils::write_port_setting(1);
        std::filesystem::copy_file(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol",
                                   folder / "latest_zor.pol");
        interaction = std::make_unique<platform::forms::ScriptedInteraction>();
        interaction->set_default_box_answer(platform::forms::mr_cancel);
    }
    void start() {
        core::init_session(false, false, true, false, true, false, ".PME", "Zorrun", "");
        form = platform::forms::make_form<core::Tzor_lib>();
        core::connect_port();
    }
    // zorsim with the options on COM1, the session started and its first poll answered.
    void start_against_zorsim(const std::vector<std::string>& options) {
        sim = std::make_unique<core_test::ZorsimProcess>(folder, options);
        ::setenv("ZOR_COM1", sim->link_path().c_str(), 1);
        start();
        run_until([] { return core::link_state().good_replies >= 1; }, 5s);
    }
    ~Session() {
        form.reset();
        if (sim) sim->stop();
        platform::comm::test::close_all_devices();
        platform::window::reset_thread_state_for_tests();
        serial::reset_com_port_unit_state_for_tests();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    static bool run_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        return platform::window::run_nested_loop_for(done, static_cast<unsigned>(timeout.count()));
    }
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
    return v[i];
}

// A far end that answers every frame at once and times the host's turnaround.
class FastInstrument {
  public:
    FastInstrument() {
        ::setenv("ZOR_COM1", pty_.slave_path().c_str(), 1);
        thread_ = std::thread([this] { serve(); });
    }
    ~FastInstrument() {
        stop_ = true;
        thread_.join();
    }
    std::vector<double> turnaround_us() {
        std::lock_guard lock(mutex_);
        return samples_;
    }
    std::atomic<int> commands{0};

  private:
    void serve() {
        std::string in;
        bool timing = false;
        Clock::time_point reply_done;
        while (!stop_) {
            pollfd p{pty_.master(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buf[512];
            const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
            if (n <= 0) continue;
            const auto now = Clock::now();
            if (timing) {
                std::lock_guard lock(mutex_);
                samples_.push_back(std::chrono::duration<double, std::micro>(now - reply_done).count());
                timing = false;
            }
            in.append(buf, static_cast<std::size_t>(n));
            for (;;) {
                const auto stx = in.find(core::STX);
                const auto etx = in.find(core::ETX, stx == std::string::npos ? 0 : stx);
                if (stx == std::string::npos || etx == std::string::npos || in.size() < etx + 7) break;
                const std::string command = in.substr(stx + 2, etx - stx - 2);
                in.erase(0, etx + 7);
                ++commands;
                const std::string answer =
                    command == "GET_STAT" ? core_test::reply_frame("READY") : core_test::reply_frame("|");
                ::write(pty_.master(), answer.data(), answer.size());
                reply_done = Clock::now();
                // Only replies whose processing sends the next command at once are timed.
                timing = command != "GET_STAT";
            }
        }
    }
    core_test::FarEndPty pty_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<double> samples_;
};

void BM_ReplyToNextCommand(benchmark::State& state) {
    std::vector<double> all;
    for (auto _ : state) {
        Session session;
        FastInstrument far_end;
        session.start();
        // 1000 lines that are no atoms: each "|" makes the executor send the next one at once.
        core::method_state().expanded_method.assign(1000, "POS_STAT");
        core::method_state().method_exit_index = 1000;
        Session::run_until([] { return core::link_state().good_replies >= 1; }, 5s);
        core::start_method();
        if (!Session::run_until([] { return !core::run_state().run_active; }, 60s)) {
            // A stalled session (a live line taken for lost, a reply never matched) is a failure,
            // not a slow sample.
            state.SkipWithError("the 1,000 lines did not all run within 60 s");
            break;
        }
        auto samples = far_end.turnaround_us();
        all.insert(all.end(), samples.begin(), samples.end());
    }
    state.counters["median_us"] = percentile(all, 0.5);
    state.counters["p99_us"] = percentile(all, 0.99);
    state.counters["p999_us"] = percentile(all, 0.999);
    state.counters["max_us"] = percentile(all, 1.0);
    state.counters["samples"] = static_cast<double>(all.size());
}
BENCHMARK(BM_ReplyToNextCommand)->Iterations(3)->Unit(benchmark::kMillisecond);

double cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_IdleSessionCpu(benchmark::State& state) {
    double share = 0;
    std::uint64_t polls = 0;
    for (auto _ : state) {
        Session session;
        session.start_against_zorsim({});
        const auto replies = core::link_state().good_replies;
        const double cpu0 = cpu_seconds();
        const auto t0 = Clock::now();
        Session::run_until([] { return false; }, 10s);
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        share = (cpu_seconds() - cpu0) / wall * 100.0;
        polls = core::link_state().good_replies - replies;
    }
    state.counters["cpu_percent_of_core"] = share;
    state.counters["polls"] = static_cast<double>(polls);
}
BENCHMARK(BM_IdleSessionCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

// Bytes of a frame as the transcript escapes them.
std::size_t frame_bytes(const std::string& escaped) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '<') {
            i = escaped.find('>', i);
            if (i == std::string::npos) break;
        } else if (escaped[i] == '\\') {
            i += escaped[i + 1] == 'x' ? 3 : 1;
        }
        ++n;
    }
    return n;
}

// One frame of zorsim's transcript: from the host (RX) or to it, its bytes on the line, its text.
struct LineFrame {
    bool from_host = false;
    std::size_t bytes = 0;
    std::string text;  // between STX and ETX, the sequence digit of a command left out
};

std::vector<LineFrame> transcript_frames(const std::vector<std::string>& lines, std::size_t from) {
    std::vector<LineFrame> frames;
    for (std::size_t i = from; i < lines.size(); ++i) {
        const auto& l = lines[i];
        const auto rx = l.find(" RX <STX>");
        const auto tx = l.find(" TX <STX>");
        const auto at = rx != std::string::npos ? rx : tx;
        if (at == std::string::npos || l.find("# dropped") != std::string::npos) continue;
        std::string frame = l.substr(at + 4);
        if (const auto hash = frame.find(" # "); hash != std::string::npos) frame.resize(hash);
        LineFrame f;
        f.from_host = rx != std::string::npos;
        f.bytes = frame_bytes(frame);
        const auto etx = frame.find("<ETX>");
        f.text = frame.substr(f.from_host ? 6 : 5, etx - (f.from_host ? 6 : 5));
        frames.push_back(std::move(f));
    }
    return frames;
}

// When a timer of n ticks armed at `ms` (on the tick timers' clock) expires: as the tick after
// its start tick + n begins.
double tick_expiry_ms(double ms, int ticks) {
    const double tick = std::floor(ms / serial::kTickMs);
    return (tick + ticks + 1) * serial::kTickMs;
}

// The protocol's floor for a run's transcript: each command sent the moment its reply came (or,
// for GET_ATOM_INFO, the moment its atom wait expires by the tick rule), every byte taking its
// line time at 9600 baud both ways, an atom's closing "|" no sooner than the atom's end. Returns
// the moment the last reply of the run is through, on the tick timers' clock, for a run whose
// first command went at `start_ms`; `atoms` is the number of atom commands in the run.
double protocol_floor_end_ms(const std::vector<LineFrame>& frames, double start_ms, int atoms,
                             double atom_ms) {
    const double byte_ms = 10.0 * 1000.0 / 9600.0;
    double t = start_ms;  // when the last reply was through
    double atom_start = 0;
    int interval = 3, sent_atoms = 0;
    bool atom_running = false;
    for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
        const LineFrame& command = frames[i];
        if (!command.from_host) continue;
        const LineFrame& reply = frames[i + 1];
        if (reply.from_host) continue;
        const bool poll = command.text == "GET_ATOM_INFO";
        double send = t;
        if (poll) {
            send = tick_expiry_ms(t, interval);
            interval = std::min(interval + 1, 9);
        }
        const double heard = send + static_cast<double>(command.bytes) * byte_ms;
        double answer = heard;
        if (command.text.find('(') != std::string::npos) {  // an atom: it starts as it is heard
            atom_start = heard;
            atom_running = true;
            interval = 3;
            ++sent_atoms;
        } else if (poll && atom_running && reply.text == "|") {
            answer = std::max(heard, atom_start + atom_ms);
            atom_running = false;
        }
        t = answer + static_cast<double>(reply.bytes) * byte_ms;
        if (sent_atoms == atoms && !atom_running) break;
    }
    return t;
}

void BM_RunAgainstTheProtocolFloor(benchmark::State& state) {
    const int steps = static_cast<int>(state.range(0));
    const double atom_ms = static_cast<double>(state.range(1));
    double wall = 0, floor = 0;
    for (auto _ : state) {
        Session session;
        session.start_against_zorsim({"--pace", "--default-atom-ms", std::to_string(state.range(1))});
        auto& sim = *session.sim;
        std::vector<std::string> text;
        for (int i = 0; i < steps; ++i) text.push_back("W()");
        text.insert(text.end(), {"[MACRO W]", "WASH(Wash1,1)"});
        core::build_running_method("10ul", 0, text);
        const auto before = core_test::read_file_lines(sim.transcript_path()).size();
        core::start_method();
        // The first step follows the answer to a poll sent now (as a start does).
        const double t0 = static_cast<double>(platform::kernel::monotonic_ns()) / 1e6;
        core::poll_now_if_idle();
        Session::run_until([] { return !core::run_state().run_active; }, 600s);
        const double t1 = static_cast<double>(platform::kernel::monotonic_ns()) / 1e6;
        wall = t1 - t0;
        const auto frames = transcript_frames(core_test::read_file_lines(sim.transcript_path()), before);
        floor = protocol_floor_end_ms(frames, t0, steps, atom_ms) - t0;
    }
    state.counters["wall_s"] = wall / 1000.0;
    state.counters["floor_s"] = floor / 1000.0;
    state.counters["wall_over_floor"] = wall / floor;
    state.counters["ms_over_floor_per_step"] = (wall - floor) / steps;
}
BENCHMARK(BM_RunAgainstTheProtocolFloor)
    ->Args({200, 50})
    ->Args({50, 640})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Seconds since zorsim's start of a transcript line.
double transcript_seconds(const std::string& line) {
    return std::stod(line.substr(0, line.find(' ')));
}

void BM_UploadRatePauses(benchmark::State& state) {
    std::vector<double> pauses_ms, over_ms;
    for (auto _ : state) {
        Session session;
        session.start_against_zorsim({});
        auto& sim = *session.sim;
        const auto before = core_test::read_file_lines(sim.transcript_path()).size();
        core::queue_reload_sequence();
        Session::run_until([] { return !core::session_state().firmware_version.empty(); }, 60s);
        const auto transcript = core_test::read_file_lines(sim.transcript_path());
        // Each SET_BAUD: its reply (the next TX line), then the next command (RX line).
        for (std::size_t i = before; i < transcript.size(); ++i) {
            if (transcript[i].find(" RX <STX>") == std::string::npos ||
                transcript[i].find("SET_BAUD") == std::string::npos)
                continue;
            std::size_t reply = i + 1, next = i + 1;
            while (reply < transcript.size() && transcript[reply].find(" TX ") == std::string::npos) ++reply;
            next = reply + 1;
            while (next < transcript.size() && transcript[next].find(" RX <STX>") == std::string::npos)
                ++next;
            if (next >= transcript.size()) break;
            const double pause =
                1000.0 * (transcript_seconds(transcript[next]) - transcript_seconds(transcript[reply]));
            // The drain wait is timed at the rate the line had before the change.
            const int from = transcript[i].find("SET_BAUD 38400") != std::string::npos ? 9600 : 38400;
            const double asked =
                core::rate_change_settle_ms +
                serial::TransmitDrainMs(from, 8, platform::comm::Parity::none, platform::comm::StopBits::one);
            pauses_ms.push_back(pause);
            over_ms.push_back(pause - asked);
        }
    }
    state.counters["pauses"] = static_cast<double>(pauses_ms.size());
    state.counters["median_ms"] = percentile(pauses_ms, 0.5);
    state.counters["over_asked_median_ms"] = percentile(over_ms, 0.5);
    state.counters["over_asked_max_ms"] =
        over_ms.empty() ? 0 : *std::max_element(over_ms.begin(), over_ms.end());
}
BENCHMARK(BM_UploadRatePauses)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
