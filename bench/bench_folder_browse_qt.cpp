// The folder-browse dialog on the Qt backend, offscreen: a person's Down or Up key on the tree
// until the tree shows the new selection. One iteration is the key reaching the tree (its
// key-down, the current node moving, the shell tree's selection following), the sync that
// brings the widgets in line with the model, and the tree's repaint. The tree shows a folder of
// 200 sub-folders in a temp folder, with a private home.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/forms/controls.h"
#include "platform/forms/interaction.h"
#include "platform/forms_qt/qt_session.h"
#include "shellctl/kw_folder_browse_dlg.h"
#include "shellctl/kw_shell_ops.h"

namespace forms = platform::forms;

static platform::forms_qt::QtSession* session = nullptr;
static std::filesystem::path root;

static void BM_KeyToRepaintedSelection(benchmark::State& state) {
    shellctl::TKwFolderBrowseDlg dialog;
    shellctl::TKwShellLocator base;
    base.SetPath((root / "lab").string());
    dialog.SetBaseFolder(base);
    dialog.SetSelectedPath((root / "lab/folder100").string());
    forms::ScriptedInteraction person;
    person.on_next_form([&](forms::Form& form) {
        auto& dlg = dynamic_cast<shellctl::TKwFrmFolderBrowseDlg&>(form);
        session->backend().sync();
        QWidget* tree = session->backend().widget_of(*dlg.KwShellTree1);
        bool down = true;
        for (auto _ : state) {
            QTest::keyClick(tree, down ? Qt::Key_Down : Qt::Key_Up);
            session->backend().sync();
            tree->repaint();
            down = !down;
        }
        dlg.CancelBtn->click();
    });
    dialog.Execute();
}
BENCHMARK(BM_KeyToRepaintedSelection)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string pattern = (std::filesystem::temp_directory_path() / "zor-bench-browse-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    root = pattern;
    setenv("HOME", (root / "home").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "home/.local/share").c_str(), 1);
    for (int i = 0; i < 200; ++i)
        std::filesystem::create_directories(root / "lab" / ("folder" + std::to_string(i)));
    std::filesystem::create_directories(root / "home/.local/share");
    const auto sleep = shellctl::SetSleepFunction([](unsigned) {});
    {
        platform::forms_qt::QtSession qt;
        session = &qt;
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        forms::reset_forms_state_for_tests();
        session = nullptr;
    }
    shellctl::SetSleepFunction(sleep);
    std::filesystem::remove_all(root);
    return 0;
}
