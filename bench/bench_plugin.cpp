// The method editor with a 200-step template, in a method folder holding the example
// configuration and macro library:
// - load_template: read the file, compare every macro section with the library, check the
//   atoms and object references of the used macros and of every step, show the first step.
//   Goal: under 20 ms.
// - check_method: every step re-checked against the syringe (declarations read from the
//   library, bounds evaluated, values pulled back). Goal: under 20 ms.
// - printing a method of 1,000, 2,000 and 5,000 steps page by page. Goal: 5,000 steps under
//   1 s, growing linearly with the steps.
// - where the Qt backend is built, printing a 10-page method into a PDF file. Goal: under 200 ms.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/config_text.h"
#include "core/line_files.h"
#include "core/session_state.h"
#include "platform/forms/controls.h"
#include "platform/print/device_context.h"
#include "platform/registry/registry.h"
#include "platform/storage/com_storage.h"
#include "plugin/host_document.h"
#include "plugin/method_editor.h"
#include "utilities/session.h"
#ifdef ZOR_BENCH_PDF
#include "platform/forms_qt/pdf_device_context.h"
#endif

namespace {

namespace fs = std::filesystem;

// No box is expected; should one come, it is answered and counted, and the figure is void.
class CountingInteraction : public platform::forms::InteractionProvider {
  public:
    platform::forms::ModalResult answer_box(const platform::forms::MessageBoxRequest&) override {
        ++boxes;
        return platform::forms::mr_cancel;
    }
    void modal_form_shown(platform::forms::Form&) override {}
    int boxes = 0;
};

struct Setup {
    Setup() {
        char pattern[] = "/tmp/zor-bench-plugin-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        folder = pattern;
        setenv("ZOR_REGISTRY", (folder + "/registry.db").c_str(), 1);
        platform::registry::reset_store();
        platform::forms::set_interaction_provider(&boxes);
        putils::session().instance_number = 1;
        putils::session().use_message_boxes = true;
        putils::session().method_folder = folder;
        core::session_state().extension = ".PME";
        for (const auto& entry : fs::directory_iterator(fs::path(ZOR_EXAMPLES_DIR) / "macros"))
            fs::copy_file(entry.path(), fs::path(folder) / entry.path().filename());
        fs::copy_file(fs::path(ZOR_EXAMPLES_DIR) / "zor_config.pol", fs::path(folder) / "latest_zor.pol");
        if (!core::read_configuration_file(core::config_file_path())) std::abort();

        // 200 steps of the four library macros in turn, values that need pulling back at
        // every check (a volume above the syringe's).
        std::vector<std::string> lines{"//Two hundred steps", "syringe:25ul"};
        const char* steps[] = {"Rinse Needle(Wash2,2)", "Load Sample(Tray1,5,2)", "Wait For Start()",
                               "Inject(Inj1)"};
        for (int i = 0; i < 200; ++i) lines.push_back(steps[i % 4]);
        zorsetup::add_used_macros(lines, 2);
        if (!core::save_lines(folder + "/Big.PME", lines)) std::abort();
        // 140 of them print on 10 pages: 3 lines, then 35 times the four steps' 14 lines.
        std::vector<std::string> ten_pages{"//Ten pages", "syringe:25ul"};
        for (int i = 0; i < 140; ++i) ten_pages.push_back(steps[i % 4]);
        zorsetup::add_used_macros(ten_pages, 2);
        if (!core::save_lines(folder + "/Tenpages.PME", ten_pages)) std::abort();

        editor = zorsetup::make_editor();
        editor->Show();
        editor->init_editor();
    }
    ~Setup() {
        editor.reset();
        platform::forms::set_interaction_provider(nullptr);
        platform::registry::reset_store();
        fs::remove_all(folder);
    }
    std::string folder;
    CountingInteraction boxes;
    platform::forms::FormPtr<zorsetup::Tmethod_editor> editor;
};

void BM_LoadTemplate200Steps(benchmark::State& state) {
    Setup setup;
    for (auto _ : state) {
        const bool loaded = setup.editor->load_template("Big");
        benchmark::DoNotOptimize(loaded);
    }
    state.counters["steps"] = setup.editor->current_method->Items.count();
    state.counters["boxes"] = setup.boxes.boxes;
}
BENCHMARK(BM_LoadTemplate200Steps)->Unit(benchmark::kMillisecond);

void BM_CheckMethod200Steps(benchmark::State& state) {
    Setup setup;
    setup.editor->load_template("Big");
    auto& steps = setup.editor->current_method->Items;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 1; i < steps.count(); i += 4) steps.set(i, "Load Sample(Tray1,500,2)");
        state.ResumeTiming();
        setup.editor->check_method();
    }
    state.counters["steps"] = steps.count();
    state.counters["boxes"] = setup.boxes.boxes;
    if (steps[1] != "Load Sample(Tray1,25,2)") state.SkipWithError("the volume was not pulled back");
}
BENCHMARK(BM_CheckMethod200Steps)->Unit(benchmark::kMillisecond);

// The host's Save of the 200-step method: a new document file, storage "Zor", the plug-in's
// Save (step commit and check, "Text" and "Data" written), the host's commit (temp file,
// fsync, rename, fsync of the folder).
void BM_SaveDocument200Steps(benchmark::State& state) {
    Setup setup;
    setup.editor->load_template("Big");
    const std::string path = setup.folder + "/doc.zor";
    std::int32_t result = 0;
    for (auto _ : state) {
        auto file = platform::storage::CompoundFile::create(path);
        auto zor = file->root().create_storage("Zor");
        auto storage = platform::storage::make_com_storage(*zor);
        result |= zorsetup::save_method_document(*setup.editor, *storage.get());
        result |= file->commit().ok() ? 0 : 1;
    }
    state.counters["boxes"] = setup.boxes.boxes;
    if (result != 0) state.SkipWithError("a save failed");
}
BENCHMARK(BM_SaveDocument200Steps)->Unit(benchmark::kMillisecond);

// The host's Open of that document: the file opened read-only, storage "Zor", the plug-in's
// Open (both streams read whole, syringe and template chosen, step list, first step shown).
void BM_OpenDocument200Steps(benchmark::State& state) {
    Setup setup;
    setup.editor->load_template("Big");
    const std::string path = setup.folder + "/doc.zor";
    {
        auto file = platform::storage::CompoundFile::create(path);
        auto zor = file->root().create_storage("Zor");
        auto storage = platform::storage::make_com_storage(*zor);
        if (zorsetup::save_method_document(*setup.editor, *storage.get()) != 0 || !file->commit().ok())
            std::abort();
    }
    std::int32_t result = 0;
    for (auto _ : state) {
        auto file = platform::storage::CompoundFile::open(path, platform::storage::Mode::read_only);
        auto zor = file->root().open_storage("Zor");
        auto storage = platform::storage::make_com_storage(*zor);
        result |= zorsetup::open_method_document(*setup.editor, *storage.get());
    }
    state.counters["steps"] = setup.editor->current_method->Items.count();
    state.counters["boxes"] = setup.boxes.boxes;
    if (result != 0) state.SkipWithError("an open failed");
}
BENCHMARK(BM_OpenDocument200Steps)->Unit(benchmark::kMillisecond);

// `zorhost print` of a long method: the page count, then every page drawn on a recording
// device context, as the host asks for them. The description changes between iterations (not
// timed), so every iteration prints a method the editor has not printed before.
void BM_PrintSteps(benchmark::State& state) {
    Setup setup;
    const int count = static_cast<int>(state.range(0));
    const char* steps[] = {"Rinse Needle(Wash2,2)", "Load Sample(Tray1,5,2)", "Wait For Start()",
                           "Inject(Inj1)"};
    std::vector<std::string> lines{"//Long", "syringe:25ul"};
    for (int i = 0; i < count; ++i) lines.push_back(steps[i % 4]);
    zorsetup::add_used_macros(lines, 2);
    if (!core::save_lines(setup.folder + "/Long.PME", lines)) std::abort();
    setup.editor->refill_template_list();
    if (!setup.editor->load_template("Long")) std::abort();
    int round = 0, pages = 0;
    bool ok = true;
    for (auto _ : state) {
        state.PauseTiming();
        setup.editor->method_descrip_box->Lines.set(0, "Long " + std::to_string(++round));
        platform::print::RecordingDeviceContext dc;
        state.ResumeTiming();
        pages = setup.editor->page_count();
        for (int page = 1; page <= pages; ++page)
            ok &= setup.editor->print_page(dc, {0, 0, 2000, 2870}, page);
        benchmark::DoNotOptimize(dc.calls().size());
    }
    state.counters["steps"] = setup.editor->current_method->Items.count();
    state.counters["pages"] = pages;
    state.counters["boxes"] = setup.boxes.boxes;
    if (!ok) state.SkipWithError("printing failed");
}
BENCHMARK(BM_PrintSteps)->Arg(1000)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond);

#ifdef ZOR_BENCH_PDF
// The host's printing of a 10-page method into a PDF file: the file begun, each page started,
// drawn by the plug-in (50 lines, red underlines) and ended, the file written with its font.
void BM_PrintTenPagesToPdf(benchmark::State& state) {
    Setup setup;
    platform::forms_qt::PrintingSession qt;
    setup.editor->load_template("Tenpages");
    if (setup.editor->page_count() != 10) state.SkipWithError("the method is not 10 pages long");
    const std::string path = setup.folder + "/method.pdf";
    bool ok = true;
    for (auto _ : state) {
        platform::forms_qt::PdfDeviceContext dc(path, "Ten pages");
        for (int page = 1; page <= 10; ++page) {
            dc.start_page();
            ok &= setup.editor->print_page(dc, {100, 100, 2000, 2870}, page);
            dc.end_page();
        }
        dc.end_document();
        ok &= dc.ok();
    }
    state.counters["pages"] = setup.editor->page_count();
    state.counters["bytes"] = static_cast<double>(fs::file_size(path));
    state.counters["boxes"] = setup.boxes.boxes;
    if (!ok) state.SkipWithError("printing failed");
}
BENCHMARK(BM_PrintTenPagesToPdf)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
