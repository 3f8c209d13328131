// Speed of the kernel and window layers.
//   cross-thread send round trip: goal median under 50 us
//   posting and dispatching 100,000 messages: goal under 100 ms
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

namespace {

namespace kernel = platform::kernel;
namespace window = platform::window;
using window::Handle;
using window::LParam;
using window::Result;
using window::WParam;

constexpr std::uint32_t msg_echo = window::WM_USER + 1;
constexpr std::uint32_t msg_stop = window::WM_USER + 2;

// A thread that owns one window and runs its message loop until told to stop.
class Owner {
  public:
    Owner() {
        thread_ = kernel::Thread([this] {
            handle_ = window::create_window(
                "BenchOwner", 0, [](Handle, std::uint32_t message, WParam wparam, LParam) -> Result {
                    if (message == msg_stop) window::post_quit_message(0);
                    return static_cast<Result>(wparam) + 1;
                });
            ready_.set();
            window::run_message_loop();
            window::reset_thread_state_for_tests();
        });
        ready_.wait();
    }
    ~Owner() {
        window::post_message(handle_, msg_stop);
        thread_.join();
    }
    Handle handle() const { return handle_; }

  private:
    kernel::Thread thread_;
    kernel::Event ready_{kernel::ResetMode::manual};
    std::atomic<Handle> handle_{0};
};

double percentile(std::vector<double>& v, double p) {
    if (v.empty()) return 0;
    const auto k = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
    return v[k];
}

void BM_CrossThreadSendRoundTrip(benchmark::State& state) {
    Owner owner;
    std::vector<double> us;
    us.reserve(1 << 20);
    WParam i = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const Result r = window::send_message(owner.handle(), msg_echo, i);
        const auto end = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(r);
        if (us.size() < us.capacity())
            us.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        ++i;
    }
    state.counters["median_us"] = percentile(us, 0.5);
    state.counters["p99_us"] = percentile(us, 0.99);
}
BENCHMARK(BM_CrossThreadSendRoundTrip)->UseRealTime();

void BM_SendTimeoutRoundTrip(benchmark::State& state) {
    Owner owner;
    for (auto _ : state) {
        Result r = 0;
        benchmark::DoNotOptimize(window::send_message_timeout(owner.handle(), msg_echo, 1, 0, 3000, &r));
    }
}
BENCHMARK(BM_SendTimeoutRoundTrip)->UseRealTime();

// 100,000 messages posted to a window of the same thread, then dispatched by its loop.
void BM_PostAndDispatch100k(benchmark::State& state) {
    constexpr int count = 100'000;
    int handled = 0;
    const Handle w =
        window::create_window("BenchPost", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
            if (message == msg_echo) ++handled;
            return 0;
        });
    for (auto _ : state) {
        handled = 0;
        for (int i = 0; i < count; ++i) window::post_message(w, msg_echo, static_cast<WParam>(i));
        window::run_nested_loop([&] { return handled == count; });
    }
    window::destroy_window(w);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_PostAndDispatch100k)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same number posted by another thread while the owner dispatches them.
void BM_PostFromAnotherThreadAndDispatch100k(benchmark::State& state) {
    constexpr int count = 100'000;
    int handled = 0;
    const Handle w =
        window::create_window("BenchPost", 0, [&](Handle, std::uint32_t message, WParam, LParam) -> Result {
            if (message == msg_echo) ++handled;
            return 0;
        });
    for (auto _ : state) {
        handled = 0;
        kernel::Thread poster([w] {
            for (int i = 0; i < count; ++i) window::post_message(w, msg_echo, static_cast<WParam>(i));
        });
        window::run_nested_loop([&] { return handled == count; });
        poster.join();
    }
    window::destroy_window(w);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_PostFromAnotherThreadAndDispatch100k)->Unit(benchmark::kMillisecond)->UseRealTime();

// Two threads handing an auto-reset event back and forth: one round trip per iteration.
void BM_EventPingPong(benchmark::State& state) {
    kernel::Event ping, pong;
    std::atomic<bool> stop{false};
    kernel::Thread partner([&] {
        for (;;) {
            ping.wait();
            if (stop) return;
            pong.set();
        }
    });
    for (auto _ : state) {
        ping.set();
        pong.wait();
    }
    stop = true;
    ping.set();
    partner.join();
}
BENCHMARK(BM_EventPingPong)->UseRealTime();

void BM_CriticalSectionUncontended(benchmark::State& state) {
    kernel::CriticalSection cs;
    for (auto _ : state) {
        cs.enter();
        cs.leave();
    }
}
BENCHMARK(BM_CriticalSectionUncontended);

}  // namespace

BENCHMARK_MAIN();
