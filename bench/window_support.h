#pragma once

// The main window on a fixture's program folder and settings, started and
// shown (off screen), as the window benchmarks use it.

#include "formats/registry_store.h"
#include "recording_prompter.h"
#include "window/main_window.h"

#include <string>

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
    }
};
