// The registry store under the settings: open a key, read an existing integer, close (the cycle of
// every settings read; goal under 0.5 ms), and for scale the other operations the system makes.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/registry/registry.h"

namespace {

namespace reg = platform::registry;

constexpr const char* kInstanceKey = "\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1";

// A store of its own in a temp folder, holding the instance key as a first start leaves it.
class BenchStore {
  public:
    BenchStore() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zor-bench-registry-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::perror("mkdtemp");
        folder_ = pattern;
        setenv("ZOR_REGISTRY", (folder_ / "registry.db").c_str(), 1);
        reg::reset_store();
        reg::Registry r;
        r.open_key(kInstanceKey, true);
        r.write_integer("Port", 1);
        r.write_integer("Polling interval", 500);
        r.write_integer("Framing timeout (msec)", 3000);
        r.write_integer("Window Left", 960);
        r.write_integer("Window Top", 540);
        r.write_string("Method Folder", "/srv/zor/methods");
        r.write_string("Method", "");
        r.write_string("Status Box", "True");
        r.open_key("Driver startup", true);
        r.write_integer("Append to log", 0);
    }
    ~BenchStore() {
        reg::reset_store();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

  private:
    std::filesystem::path folder_;
};

// A registry object, open (creating) the instance key, value exists, read the integer, close.
void BM_OpenReadIntegerClose(benchmark::State& state) {
    BenchStore store;
    for (auto _ : state) {
        reg::Registry r(reg::HKEY_CURRENT_USER);
        std::int32_t v = 1;
        if (r.open_key(kInstanceKey, true) && r.value_exists("Polling interval"))
            v = r.read_integer("Polling interval");
        r.close_key();
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_OpenReadIntegerClose)->Unit(benchmark::kMicrosecond);

// The host's keys: a read-only open of a key that is not there.
void BM_OpenReadOnlyMissingKey(benchmark::State& state) {
    BenchStore store;
    for (auto _ : state) {
        reg::Registry r(reg::HKEY_LOCAL_MACHINE);
        benchmark::DoNotOptimize(r.open_key_read_only("\\SOFTWARE\\Velorand\\Chromarq\\Global"));
    }
}
BENCHMARK(BM_OpenReadOnlyMissingKey)->Unit(benchmark::kMicrosecond);

// Open, write one integer (one BEGIN IMMEDIATE transaction, committed to the WAL), close.
void BM_OpenWriteIntegerClose(benchmark::State& state) {
    BenchStore store;
    std::int32_t n = 0;
    for (auto _ : state) {
        reg::Registry r;
        r.open_key(kInstanceKey, true);
        r.write_integer("Port", ++n);
    }
}
BENCHMARK(BM_OpenWriteIntegerClose)->Unit(benchmark::kMicrosecond);

// The folder list as the configuration dialog writes it: clear the key's values, write 20.
void BM_RewriteFolderListOf20(benchmark::State& state) {
    BenchStore store;
    for (auto _ : state) {
        reg::Registry r;
        r.open_key(std::string(kInstanceKey) + "\\Folder List", true);
        std::vector<std::string> names;
        r.get_value_names(names);
        for (const auto& name : names) r.delete_value(name);
        for (int i = 0; i < 20; ++i) r.write_integer("/srv/zor/folder" + std::to_string(i), i);
    }
}
BENCHMARK(BM_RewriteFolderListOf20)->Unit(benchmark::kMicrosecond);

// A class registration of a dozen keys and values in one transaction.
void BM_RegistrationBatch(benchmark::State& state) {
    BenchStore store;
    const std::string clsid = "CLSID\\{763BDB62-6812-11D2-883E-3C8B00C10000}";
    for (auto _ : state) {
        reg::WriteBatch b;
        b.delete_tree(reg::HKEY_CLASSES_ROOT, clsid)
            .set_string(reg::HKEY_CLASSES_ROOT, clsid, "", "IZor Object")
            .set_string(reg::HKEY_CLASSES_ROOT, clsid + "\\LocalServer32", "", "/usr/bin/Zorrun")
            .set_string(reg::HKEY_CLASSES_ROOT, clsid + "\\ProgID", "", "zorrun.IZor")
            .set_string(reg::HKEY_CLASSES_ROOT, clsid + "\\TypeLib", "",
                        "{763BDB61-6812-11D2-883E-3C8B00C10000}")
            .set_string(reg::HKEY_CLASSES_ROOT, clsid + "\\Version", "", "1.0")
            .set_string(reg::HKEY_CLASSES_ROOT, "zorrun.IZor", "", "IZor Object")
            .set_string(reg::HKEY_CLASSES_ROOT, "zorrun.IZor\\Clsid", "",
                        "{763BDB62-6812-11D2-883E-3C8B00C10000}");
        benchmark::DoNotOptimize(b.commit());
    }
}
BENCHMARK(BM_RegistrationBatch)->Unit(benchmark::kMicrosecond);

// The first use in a process: open the connection (WAL, schema check), then one settings read.
void BM_FirstUseInAProcess(benchmark::State& state) {
    BenchStore store;
    for (auto _ : state) {
        reg::reset_store();
        reg::Registry r;
        benchmark::DoNotOptimize(r.open_key(kInstanceKey, true) && r.read_integer("Port") == 1);
    }
}
BENCHMARK(BM_FirstUseInAProcess)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
