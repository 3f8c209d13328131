// Speed of the serial port layer on a pseudo-terminal pair.
//   throughput far end -> OnTriggerAvail: goal >= 1 MB/s, nothing lost
//   latency from a byte written at the far end to its handler on the main thread: goal median < 0.5 ms
//   CPU time of an open idle port over 10 s: goal < 1 % of one core, no wake-ups faster than the
//   50-ms dispatch pass
//   delivery of a timer trigger: from the moment its expiry is due (the 55-ms tick rule) to its
//   handler on the main thread: goal median < 1 ms
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/comm/test_hooks.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"
#include "serial/com_port.h"
#include "serial/tick_timer.h"
#include "serial/win32_dispatcher.h"

namespace {

namespace win = platform::window;
using Clock = std::chrono::steady_clock;

class Pty {
  public:
    explicit Pty(int com) : com_(com) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master_);
        ::unlockpt(master_);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        const char* name = ::ptsname(master_);
        keep_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::setenv(("ZOR_COM" + std::to_string(com)).c_str(), name, 1);
    }
    ~Pty() {
        ::close(master_);
        ::close(keep_);
        ::unsetenv(("ZOR_COM" + std::to_string(com_)).c_str());
    }
    bool write_all(const char* data, std::size_t size) {
        std::size_t done = 0;
        auto end = Clock::now() + std::chrono::seconds(30);
        while (done < size) {
            ssize_t n = ::write(master_, data + done, size - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (Clock::now() > end) return false;
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 10);
            drain();  // the port's XOFF/XON bytes come back this way
        }
        return true;
    }
    void drain() {
        char buf[256];
        while (::read(master_, buf, sizeof buf) > 0) {
        }
    }

  private:
    int com_;
    int master_ = -1;
    int keep_ = -1;
};

// The core's port settings.
void Configure(serial::TSpComPort& port, int com) {
    port.SetComNumber(static_cast<std::uint16_t>(com));
    port.SetBaud(9600);
    port.SetAutoOpen(false);
    port.SetDTR(false);
    port.SetRTS(false);
    port.SetSWFlowOptions(serial::swfBoth);
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    auto k = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
    return v[k];
}

void BM_ThroughputFarEndToTriggerAvail(benchmark::State& state) {
    constexpr std::size_t kTotal = 8u << 20;  // 8 MiB per iteration
    constexpr std::size_t kBurst = 8192;
    Pty pty(41);
    serial::TSpComPort port;
    Configure(port, 41);
    std::size_t received = 0;
    std::size_t mismatches = 0;
    port.SetOnTriggerAvail([&](serial::TSpCustomComPort& cp, std::uint16_t count) {
        for (unsigned i = 0; i < count; ++i) {
            char c = cp.ReadChar();
            if (c != static_cast<char>(' ' + received % 95)) ++mismatches;
            ++received;
        }
    });
    port.SetOpen(true);
    std::string pattern(kTotal, ' ');
    for (std::size_t i = 0; i < kTotal; ++i)
        pattern[i] = static_cast<char>(' ' + i % 95);  // no flow characters
    std::size_t lost = 0;
    for (auto _ : state) {
        received = 0;
        std::thread writer([&] {
            for (std::size_t at = 0; at < kTotal; at += kBurst) pty.write_all(pattern.data() + at, kBurst);
        });
        win::run_nested_loop_for([&] { return received >= kTotal; }, 120000);
        writer.join();
        lost += kTotal - received;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotal));
    state.counters["lost"] = static_cast<double>(lost);
    state.counters["mismatches"] = static_cast<double>(mismatches);
    port.SetOpen(false);
    win::reset_thread_state_for_tests();
}
BENCHMARK(BM_ThroughputFarEndToTriggerAvail)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_LatencyFarEndByteToHandler(benchmark::State& state) {
    Pty pty(42);
    serial::TSpComPort port;
    Configure(port, 42);
    std::atomic<int> got{0};
    Clock::time_point handled;
    port.SetOnTriggerAvail([&](serial::TSpCustomComPort& cp, std::uint16_t count) {
        handled = Clock::now();
        for (unsigned i = 0; i < count; ++i) cp.ReadChar();
        got += count;
    });
    port.SetOpen(true);
    std::vector<double> us;
    for (auto _ : state) {
        int before = got.load();
        auto sent = Clock::now();
        pty.write_all("A", 1);
        win::run_nested_loop_for([&] { return got.load() > before; }, 2000);
        us.push_back(std::chrono::duration<double, std::micro>(handled - sent).count());
        state.SetIterationTime(std::chrono::duration<double>(handled - sent).count());
        // Let the port settle so that each byte starts from an idle port.
        win::run_nested_loop_for([] { return false; }, 2);
    }
    state.counters["median_us"] = Percentile(us, 0.5);
    state.counters["p99_us"] = Percentile(us, 0.99);
    port.SetOpen(false);
    win::reset_thread_state_for_tests();
}
BENCHMARK(BM_LatencyFarEndByteToHandler)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_IdlePortCpu10s(benchmark::State& state) {
    Pty pty(43);
    serial::TSpComPort port;
    Configure(port, 43);
    int timers = 0;
    port.SetOnTriggerAvail([](serial::TSpCustomComPort&, std::uint16_t) {});
    port.SetOnTriggerTimer([&](serial::TSpCustomComPort&, std::uint16_t) { ++timers; });
    port.SetOpen(true);
    port.NewTimerTrigger();  // the core holds one timer trigger, disarmed between commands
    auto* d = dynamic_cast<serial::TSpWin32Dispatcher*>(port.Dispatcher());
    for (auto _ : state) {
        std::uint64_t passes = d->PassCount();
        std::uint64_t events = d->DeviceEventCount();
        double cpu = CpuSeconds();
        auto start = Clock::now();
        win::run_nested_loop_for([] { return false; }, 10000);
        double wall = std::chrono::duration<double>(Clock::now() - start).count();
        state.counters["cpu_percent_of_core"] = 100.0 * (CpuSeconds() - cpu) / wall;
        state.counters["dispatch_passes_per_s"] = static_cast<double>(d->PassCount() - passes) / wall;
        state.counters["device_events"] = static_cast<double>(d->DeviceEventCount() - events);
    }
    port.SetOpen(false);
    win::reset_thread_state_for_tests();
}
BENCHMARK(BM_IdlePortCpu10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_TimerDeliveryAfterExpiry(benchmark::State& state) {
    Pty pty(45);
    serial::TSpComPort port;
    Configure(port, 45);
    std::int64_t fired_ns = 0;
    port.SetOnTriggerAvail([](serial::TSpCustomComPort&, std::uint16_t) {});
    port.SetOnTriggerTimer(
        [&](serial::TSpCustomComPort&, std::uint16_t) { fired_ns = platform::kernel::monotonic_ns(); });
    port.SetOpen(true);
    const std::uint16_t timer = port.NewTimerTrigger();
    std::vector<double> late_us;
    int ticks = 0;
    for (auto _ : state) {
        // 1 to 4 ticks in turn (0 would mean "as last time"), armed at whatever phase of the
        // tick the last one left.
        ticks = ticks % 4 + 1;
        const std::int32_t before = serial::CurrentTicks();
        port.ArmTimerTrigger(timer, ticks, true);
        if (serial::CurrentTicks() != before) continue;  // the tick moved while arming: no clean due time
        // Expires as the tick after start + n begins.
        const std::int64_t due_ns =
            (static_cast<std::int64_t>(before) + ticks + 1) * serial::kTickMs * 1'000'000;
        fired_ns = 0;
        win::run_nested_loop_for([&] { return fired_ns != 0; }, 2000);
        late_us.push_back(static_cast<double>(fired_ns - due_ns) / 1e3);
        state.SetIterationTime(static_cast<double>(fired_ns - due_ns) / 1e9);
    }
    state.counters["median_us"] = Percentile(late_us, 0.5);
    state.counters["p99_us"] = Percentile(late_us, 0.99);
    state.counters["max_us"] = late_us.empty() ? 0 : *std::max_element(late_us.begin(), late_us.end());
    state.counters["early"] =
        static_cast<double>(std::count_if(late_us.begin(), late_us.end(), [](double u) { return u < 0; }));
    port.SetOpen(false);
    win::reset_thread_state_for_tests();
}
BENCHMARK(BM_TimerDeliveryAfterExpiry)->Iterations(400)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_OpenClose(benchmark::State& state) {
    Pty pty(44);
    serial::TSpComPort port;
    Configure(port, 44);
    for (auto _ : state) {
        port.SetOpen(true);
        port.SetOpen(false);
    }
    win::reset_thread_state_for_tests();
}
BENCHMARK(BM_OpenClose)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

BENCHMARK_MAIN();
