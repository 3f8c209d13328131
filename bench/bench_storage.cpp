// Compound files: the driver's run preparation (open a document read-only, storage "Zor",
// stream "Data", one read of at most 40,000 bytes), and for scale writing such a document.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/storage/cfb_file.h"
#include "platform/storage/cfb_text.h"

namespace {

namespace stg = platform::storage;

// A 40 KB method text (UTF-16LE lines ended by CR LF) in Zor/Data, in a temp folder.
class BenchDocument {
  public:
    BenchDocument() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zor-bench-storage-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::perror("mkdtemp");
        folder_ = pattern;
        path_ = (folder_ / "method.zor").string();
        std::vector<std::string> lines;
        std::size_t bytes = 0;
        for (int i = 0; bytes < 40000 - 64; ++i) {
            lines.push_back("STEP " + std::to_string(i) + " INJECT Tray.Pos=" + std::to_string(i % 96));
            bytes += (lines.back().size() + 2) * 2;
        }
        text_ = stg::utf16le_from_lines(lines);
        auto file = stg::CompoundFile::create(path_);
        auto zor = file->root().create_storage("Zor");
        auto data = zor->create_stream("Data", false);
        data->write(text_.data(), text_.size());
        file->commit();
    }
    ~BenchDocument() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    const std::string& path() const { return path_; }
    const std::vector<std::uint8_t>& text() const { return text_; }

  private:
    std::filesystem::path folder_;
    std::string path_;
    std::vector<std::uint8_t> text_;
};

void BM_OpenDocumentReadData(benchmark::State& state) {
    BenchDocument doc;
    std::vector<std::uint8_t> buffer(40000);
    for (auto _ : state) {
        auto file = stg::CompoundFile::open(doc.path(), stg::Mode::read_only);
        auto zor = file->root().open_storage("Zor");
        auto data = zor->open_stream("Data");
        std::size_t n = data->read(buffer.data(), buffer.size());
        if (n != doc.text().size()) state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["bytes"] = static_cast<double>(doc.text().size());
}
BENCHMARK(BM_OpenDocumentReadData)->Unit(benchmark::kMicrosecond);

void BM_OpenBytesReadData(benchmark::State& state) {
    BenchDocument doc;
    auto bytes = stg::CompoundFile::open(doc.path(), stg::Mode::read_only)->to_bytes();
    for (auto _ : state) {
        auto file = stg::CompoundFile::open_bytes(bytes);
        auto data = file->root().open_storage("Zor")->open_stream("Data");
        benchmark::DoNotOptimize(data->read_all());
    }
}
BENCHMARK(BM_OpenBytesReadData)->Unit(benchmark::kMicrosecond);

void BM_CreateDocumentAndCommit(benchmark::State& state) {
    BenchDocument doc;
    const std::string path = doc.path() + ".new";
    for (auto _ : state) {
        auto file = stg::CompoundFile::create(path);
        auto data = file->root().create_storage("Zor")->create_stream("Data", false);
        data->write(doc.text().data(), doc.text().size());
        file->commit();
    }
}
BENCHMARK(BM_CreateDocumentAndCommit)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
