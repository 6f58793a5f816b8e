#pragma once

#include "session/session.h"

#include <functional>

namespace tvtest {

// A test's hooks into a session's reports for as long as it lives. Every
// report also goes on to the observer that was there before (the window's,
// or nobody), so the window keeps showing what it shows.
struct ObserverHook : tv::SessionObserver {
    explicit ObserverHook(tv::Session& s) : session(s), previous(s.observer()) {
        s.setObserver(this);
    }
    ~ObserverHook() override { session.setObserver(previous); }
    ObserverHook(const ObserverHook&) = delete;
    ObserverHook& operator=(const ObserverHook&) = delete;

    std::function<void(size_t done, size_t total)> onProgress;
    std::function<bool()> onStopRequested;
    std::function<void()> onRunningChanged;

    void statusLine(const std::string& line) override { previous->statusLine(line); }
    void statusText(const std::string& text) override { previous->statusText(text); }
    void cacheFolderLabel(const std::string& text) override { previous->cacheFolderLabel(text); }
    void gameShown(const std::string& label) override { previous->gameShown(label); }
    void progress(size_t done, size_t total) override {
        previous->progress(done, total);
        if (onProgress) onProgress(done, total);
    }
    bool stopRequested() override {
        return onStopRequested ? onStopRequested() : previous->stopRequested();
    }
    void rowsChanged() override { previous->rowsChanged(); }
    void runningChanged() override {
        previous->runningChanged();
        if (onRunningChanged) onRunningChanged();
    }
    void inShowingThread(const std::function<void()>& change) override {
        previous->inShowingThread(change);
    }

    tv::Session& session;
    tv::SessionObserver* previous;
};

} // namespace tvtest
