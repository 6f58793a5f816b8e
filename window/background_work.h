#pragma once

#include "ui/prompter.h"
#include "work_runner.h"

#include <QObject>

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tv {

// The window's long work, one piece at a time, on the window's work runner:
// the work runs on a worker thread while the window's thread goes on
// painting and answering clicks; what follows the work is a queued call on
// the window's thread, never a nested event loop, so no other slot runs in
// the middle of the caller. What the work tells the window goes through
// onWindowThread (waiting for it) or postToWindowThread (not waiting).
class BackgroundWork : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts `work` on a worker thread and returns at once; `done` runs on
    // the window's thread once the work has ended and everything it posted
    // has arrived (busyChanged first). false (nothing started) while other
    // work is under way. `stoppable` work looks at stopRequested() at its
    // safe points.
    bool start(std::function<void()> work, bool stoppable, std::function<void()> done = {});
    // Waits for work under way to end, handling the window's events (so
    // that work asking the window is answered); for shutting down.
    void waitForEnd();
    ~BackgroundWork() override;
    bool busy() const { return m_busy; }
    bool stoppable() const { return m_busy && m_stoppable; }
    void requestStop() { m_stop = true; }
    bool stopRequested() const { return m_stop; }

    static bool onWindowThreadNow();
    // Runs `f` on the window's thread and waits for it (at once when called there).
    static void onWindowThread(const std::function<void()>& f);
    // Runs `f` on the window's thread without waiting (at once when called
    // there). Posted calls arrive in the order they were posted.
    static void postToWindowThread(std::function<void()> f);

signals:
    // Work began or ended.
    void busyChanged();
    // The work ended by throwing (what it threw, as words); `done` did not run.
    void failed(const QString& text);

private:
    void ended();

    WorkRunner m_runner;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_stop{false};
    bool m_stoppable = false;
};

// Lines a worker hands to the window's thread in pieces: add() tells when
// a piece begins (the caller then posts one take() to the window's thread).
// The lines travel as one text, a line feed after each (a Status line holds
// none), so that handing them over costs one allocation, not one per line.
class LineFeed {
public:
    bool add(const std::string& line) {
        std::lock_guard<std::mutex> hold(m_mutex);
        const bool first = m_text.empty();
        m_text += line;
        m_text += '\n';
        return first;
    }
    std::string take() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return std::exchange(m_text, {});
    }

private:
    std::mutex m_mutex;
    std::string m_text;
};

// Passes every box and chooser on to another Prompter on the window's
// thread, so that work on a worker thread can ask the user.
class WindowThreadPrompter : public Prompter {
public:
    explicit WindowThreadPrompter(Prompter& inner) : m_inner(inner) {}
    void message(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool question(const std::string& text, const std::string& title, MessageIcon icon) override;
    Choice choose(const std::string& text, const std::string& title) override;
    std::string browseForFolder(const std::string& title) override;
    std::vector<std::string> chooseFiles(const FileRequest& request) override;
    int chooseFromList(const ListRequest& request) override;
    bool isWindow(int64_t handle) const override;

private:
    Prompter& m_inner;
};

} // namespace tv
