// The shell list: filling it from a folder of 10,000 files (every item with its attributes,
// sorted by name), the first screen of texts a person then sees, and a refresh that finds
// nothing changed.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/shell/mounts.h"
#include "shellctl/kw_shell_list.h"

namespace {

class BenchFolder {
  public:
    explicit BenchFolder(int files) {
        std::string pattern = (std::filesystem::temp_directory_path() / "zor-bench-shellctl-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::perror("mkdtemp");
        root_ = pattern;
        std::filesystem::create_directories(root_ / "home/.local/share");
        setenv("HOME", (root_ / "home").c_str(), 1);
        setenv("XDG_DATA_HOME", (root_ / "home/.local/share").c_str(), 1);
        folder_ = (root_ / "many").string();
        std::filesystem::create_directories(folder_);
        for (int i = 0; i < 20; ++i)
            std::filesystem::create_directories(folder_ + "/folder " + std::to_string(i));
        // Names in no particular order, so the sort has work to do.
        for (int i = 0; i < files; ++i) {
            const int n = (i * 7919) % files;
            std::ofstream(folder_ + "/sample " + std::to_string(n) + ".txt") << n;
        }
    }
    ~BenchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    const std::string& folder() const { return folder_; }

  private:
    std::filesystem::path root_;
    std::string folder_;
};

// A list of a person's size showing the folder.
void show(shellctl::TKwShellList& list, const BenchFolder& bench) {
    list.SetBounds(0, 0, 600, 400);
    list.Locator().SetPath(bench.folder());
}

void BM_FillListOf10000Files(benchmark::State& state) {
    BenchFolder bench(10000);
    shellctl::TKwShellList list;
    show(list, bench);
    for (auto _ : state) {
        list.FillList();
        benchmark::DoNotOptimize(list.Items.size());
    }
    if (list.Items.size() != 10020) state.SkipWithError("not every entry was listed");
    state.counters["items"] = static_cast<double>(list.Items.size());
}
BENCHMARK(BM_FillListOf10000Files)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FillListOf10000FilesAndShowTheFirstScreen(benchmark::State& state) {
    BenchFolder bench(10000);
    shellctl::TKwShellList list;
    show(list, bench);
    for (auto _ : state) {
        list.FillList();
        for (int i = 0; i < list.VisibleRows(); ++i) {
            for (int c = 0; c < 4; ++c) benchmark::DoNotOptimize(list.ItemText(i, c));
            benchmark::DoNotOptimize(list.ItemImage(i));
        }
    }
}
BENCHMARK(BM_FillListOf10000FilesAndShowTheFirstScreen)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_RefreshListOf10000FilesUnchanged(benchmark::State& state) {
    BenchFolder bench(10000);
    shellctl::TKwShellList list;
    show(list, bench);
    for (auto _ : state) list.RefreshList();
    if (list.Items.size() != 10020) state.SkipWithError("items lost");
}
BENCHMARK(BM_RefreshListOf10000FilesUnchanged)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
