// Session bus round trips against the test server (the fake Zorrun of platform/com/tests).
// Starts a bus daemon of its own unless ZOR_BENCH_USE_SESSION_BUS=1, and a temporary registry.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "driver/izor/izor.h"
#include "platform/registry/registry.h"

namespace {

using namespace platform::com;

ComPtr<izor::IIZor>& zor() {
    static ComPtr<izor::IIZor> z;
    return z;
}

void BM_GetStatusRoundTrip(benchmark::State& state) {
    std::int32_t value = 0;
    for (auto _ : state) {
        if (failed(zor()->GetStatus(&value))) state.SkipWithError("GetStatus failed");
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_GetStatusRoundTrip)->UseRealTime();

void BM_PrepareForRunRoundTrip(benchmark::State& state) {
    Bstr raw("raw"), meth("/tmp/method.raw"), list(""), vial("T1:12");
    std::int32_t result = 0;
    for (auto _ : state) {
        if (failed(
                zor()->PrepareForRun(raw.get(), meth.get(), list.get(), 3, 1, vial.get(), 12.5, 0, &result)))
            state.SkipWithError("PrepareForRun failed");
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_PrepareForRunRoundTrip)->UseRealTime();

void BM_CreateInstanceAndRelease(benchmark::State& state) {
    for (auto _ : state) {
        ComPtr<izor::IIZor2> z;
        if (failed(co_create_instance(izor::CLSID_IZor, nullptr, CLSCTX_LOCAL_SERVER, izor::IID_IIZor2,
                                      z.put_void())))
            state.SkipWithError("co_create_instance failed");
    }
}
BENCHMARK(BM_CreateInstanceAndRelease)->UseRealTime();

pid_t start_bus() {
    const char* shared = getenv("ZOR_BENCH_USE_SESSION_BUS");
    if (shared && std::string(shared) == "1" && getenv("DBUS_SESSION_BUS_ADDRESS")) return 0;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 3);
        execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=3",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string address;
    pollfd p{out[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 10'000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') address += c;
    close(out[0]);
    if (address.empty()) return -1;
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const pid_t bus = start_bus();
    if (bus < 0) {
        std::fprintf(stderr, "bench_com: cannot start dbus-daemon\n");
        return 1;
    }
    char tmpl[] = "/tmp/zor_bench_com_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::filesystem::path dir = tmpl;
    setenv("ZOR_REGISTRY", (dir / "registry.db").c_str(), 1);
    platform::registry::reset_store();
    izor::register_server(COM_TEST_SERVER_PATH);

    int code = 0;
    const HRESULT hr =
        co_create_instance(izor::CLSID_IZor, nullptr, CLSCTX_LOCAL_SERVER, izor::IID_IIZor, zor().put_void());
    if (failed(hr)) {
        std::fprintf(stderr, "bench_com: no server: %s %s\n", hresult_text(hr).c_str(),
                     last_bus_error().c_str());
        code = 1;
    } else {
        benchmark::RunSpecifiedBenchmarks();
    }
    // The server was started with -Embedding: it ends when this last reference goes.
    zor().reset();
    bus_ping();
    leave_session_bus();
    benchmark::Shutdown();
    if (bus > 0) {
        kill(bus, SIGTERM);
        waitpid(bus, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return code;
}
