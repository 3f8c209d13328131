// The Qt backend offscreen: opening the largest form (the debug page: eight list boxes on
// 584 x 445, its lists filled as during a run) and painting it once, as a person's first look at
// it costs. The widgets are made anew each time: the form is constructed, its window built,
// shown and rendered, and the form freed with its widgets.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/zor_lib_form.h"
#include "platform/forms/controls.h"
#include "platform/forms_qt/deferred_deletion.h"
#include "platform/forms_qt/qt_session.h"
#include "platform/forms_qt/snapshot.h"

namespace forms = platform::forms;

static platform::forms_qt::QtSession* session = nullptr;

static void BM_OpenAndPaintLargestForm(benchmark::State& state) {
    std::size_t pixels = 0;
    for (auto _ : state) {
        auto form = forms::make_form<core::Tzor_lib>();
        for (int i = 0; i < 200; ++i) {
            form->debug_box->Items.add("> MOVE_TO_VIAL(Tray2," + std::to_string(i) + ",10000,)");
            form->cmd_list->Items.add("WASH(Wash1," + std::to_string(i) + ",)");
        }
        form->Show();
        session->backend().sync();
        const QImage image = platform::forms_qt::render_form(session->backend(), *form);
        pixels += static_cast<std::size_t>(image.width() * image.height());
        form.reset();
        platform::forms_qt::delete_idle_objects();
    }
    benchmark::DoNotOptimize(pixels);
}
BENCHMARK(BM_OpenAndPaintLargestForm)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const auto folder =
        std::filesystem::temp_directory_path() / ("bench_forms_qt." + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    setenv("ZOR_REGISTRY", (folder / "registry.db").c_str(), 1);
    {
        platform::forms_qt::QtSession qt;
        session = &qt;
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        forms::application().free_all_forms();
        session = nullptr;
    }
    std::filesystem::remove_all(folder);
    return 0;
}
