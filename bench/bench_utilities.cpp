// One settings read: the open-read-close cycle of reg_read_int on a value that exists, as the
// core does for every setting at start-up. Goal: under 0.5 ms.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/registry/registry.h"
#include "utilities/session.h"
#include "utilities/settings.h"

namespace {

// A registry store of its own in a temp folder, removed at the end.
class BenchStore {
  public:
    BenchStore() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zor-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::perror("mkdtemp");
        folder_ = pattern;
        setenv("ZOR_REGISTRY", (folder_ / "registry.db").c_str(), 1);
        platform::registry::reset_store();
        putils::reset_session();
        putils::session().instance_number = 1;
    }
    ~BenchStore() {
        platform::registry::reset_store();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

  private:
    std::filesystem::path folder_;
};

void BM_reg_read_int_existing(benchmark::State& state) {
    BenchStore store;
    // A profile as the first start leaves it: the instance key with its values.
    putils::reg_read_int("Polling interval", 500);
    putils::reg_read_int("Framing timeout (msec)", 3000);
    putils::reg_write_int("Port", 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(putils::reg_read_int("Port", 1));
    }
}
BENCHMARK(BM_reg_read_int_existing)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
