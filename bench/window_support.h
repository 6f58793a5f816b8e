#pragma once

// The main window on a fixture's program folder and settings, started and
// shown (off screen), as the window benchmarks use it.

#include "formats/registry_store.h"
#include "recording_prompter.h"
#include "window/main_window.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTest>

#include <benchmark/benchmark.h>

#include <string>

// The main() of a window benchmark: an off-screen application, then the benchmarks.
inline int runWindowBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Handles the window's events until the work a click started has ended.
inline void settle(tv::MainWindow& window) {
    while (window.working())
        QTest::qWait(1);
    QCoreApplication::processEvents(); // what the work left to paint
}

struct ShownMainWindow {
    tv::RegistryStore store;
    tv::RecordingPrompter prompter;
    tv::RecordingShell shell;
    tv::MainWindow window;
    ShownMainWindow(const std::string& programFolder, const std::string& registry)
        : store(registry), window(programFolder, store, prompter, shell) {
        window.setQuitOnShutdown(false);
        window.startUp();
        window.show();
        settle(window);
    }
};
