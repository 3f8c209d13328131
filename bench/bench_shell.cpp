// The shell controls over a real folder tree in a temp folder:
// - EnumerateFolderOf10000: bind a folder of 10,000 files, enumerate it (folders, files and
//   hidden ones), ask each item's attributes as the list asks them (folder, link, read-only,
//   ghosted, copy, move, rename, delete) and its in-folder display name. Goal: under 50 ms.
// - OpenFolderBrowseDialog10Deep: the folder-browse dialog as the configuration dialog's Browse
//   runs it, opened at a folder 10 levels below the home folder (each level holding five
//   folders with a sub-folder each), until the form is showing with the tree filled, watched
//   and the folder selected; then closed. Goal: under 100 ms.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/forms/application.h"
#include "platform/forms/interaction.h"
#include "platform/shell/shell.h"
#include "shellctl/kw_folder_browse_dlg.h"
#include "shellctl/kw_shell_ops.h"
#include "shellctl/kw_shell_utils.h"

namespace {

namespace fs = std::filesystem;
namespace sh = platform::shell;

struct TempFolder {
    TempFolder() {
        char pattern[] = "/tmp/zor-bench-shell-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        path = pattern;
        setenv("HOME", path.c_str(), 1);
        setenv("XDG_DATA_HOME", (path + "/.local/share").c_str(), 1);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string path;
};

// What the list asks of every item it shows (the tree asks less, and only of folders).
constexpr std::uint32_t kAttributeMask = 0x700F0037u;

// Made once for all runs of a benchmark (the framework calls it several times).
TempFolder& temp() {
    static TempFolder t;
    return t;
}

const std::string& folder_of_10000() {
    static const std::string folder = [] {
        const std::string f = temp().path + "/many";
        fs::create_directories(f);
        for (int i = 0; i < 10000; ++i) std::ofstream(f + "/file " + std::to_string(i) + ".txt") << i;
        return f;
    }();
    return folder;
}

void BM_EnumerateFolderOf10000(benchmark::State& state) {
    const std::string& folder = folder_of_10000();
    shellctl::PIDL list = nullptr;
    if (shellctl::PathToIdList(folder, list) != 0) std::abort();
    std::size_t names = 0;
    for (auto _ : state) {
        sh::FolderPtr shell_folder;
        if (shellctl::GetShellFolder(list, shell_folder) != 0) std::abort();
        std::vector<sh::IdList> items;
        shell_folder->enum_objects(sh::SHCONTF_FOLDERS | sh::SHCONTF_NONFOLDERS | sh::SHCONTF_INCLUDEHIDDEN,
                                   items);
        names = 0;
        std::uint32_t all = 0;
        for (const auto& item : items) {
            all |= shell_folder->attributes_of(item.data(), kAttributeMask);
            names += shellctl::GetItemDisplayName(shell_folder, item.data(), sh::SHGDN_INFOLDER).size();
        }
        benchmark::DoNotOptimize(all);
        if (items.size() != 10000) state.SkipWithError("not 10,000 items");
    }
    state.counters["name_bytes"] = static_cast<double>(names);
    shellctl::ShellFree(list);
}
BENCHMARK(BM_EnumerateFolderOf10000)->Unit(benchmark::kMillisecond);

// Closes every dialog as soon as it shows; checks that it opened where it should.
class CloseAtOnce : public platform::forms::InteractionProvider {
  public:
    platform::forms::ModalResult answer_box(const platform::forms::MessageBoxRequest&) override {
        ++boxes;
        return platform::forms::mr_cancel;
    }
    void modal_form_shown(platform::forms::Form& form) override {
        auto& dialog = dynamic_cast<shellctl::TKwFrmFolderBrowseDlg&>(form);
        opened_at = dialog.KwShellTree1->SelectedPath();
        dialog.CancelBtn->click();
    }
    int boxes = 0;
    std::string opened_at;
};

void BM_OpenFolderBrowseDialog10Deep(benchmark::State& state) {
    std::string deepest = temp().path + "/deep";
    fs::create_directories(deepest);
    for (int level = 0; level < 10; ++level) {
        for (int sibling = 0; sibling < 5; ++sibling)
            fs::create_directories(deepest + "/folder " + std::to_string(sibling) + "/inner");
        deepest += "/folder 0";
    }
    CloseAtOnce person;
    platform::forms::set_interaction_provider(&person);
    for (auto _ : state) {
        shellctl::TKwFolderBrowseDlg dialog;
        dialog.SetSelectedPath(deepest);
        dialog.Execute();
    }
    platform::forms::set_interaction_provider(nullptr);
    if (person.opened_at != deepest) state.SkipWithError("the dialog did not open at the deep folder");
    if (person.boxes != 0) state.SkipWithError("a message box came up");
}
BENCHMARK(BM_OpenFolderBrowseDialog10Deep)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
