#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace tv {

// What a session tells whoever shows it (the window, tessvane-cli). Long work
// calls these from its worker thread: an observer that shows them elsewhere
// passes them on by value. Each one does nothing unless overridden.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;

    // A Status line, the status bar's text, the Status tab's label
    // ("Cache Directory = ...").
    virtual void statusLine(const std::string& line) { (void)line; }
    virtual void statusText(const std::string& text) { (void)text; }
    virtual void cacheFolderLabel(const std::string& text) { (void)text; }
    // Which game the session looks after, after each scan ("UT2004 (native)
    // — ~/.ut2004/Cache").
    virtual void gameShown(const std::string& label) { (void)label; }
    // A run's, an undo's or an installation's files so far (n of N), and
    // whether the user asked it to stop (looked at between batches of moves,
    // between files undone, between maps).
    virtual void progress(size_t done, size_t total) {
        (void)done;
        (void)total;
    }
    virtual bool stopRequested() { return false; }
    // The File List's rows changed (a scan, a tick-all, the never-move marks).
    virtual void rowsChanged() {}
    // A run, an undo or an archive installation began or ended.
    virtual void runningChanged() {}
    // Makes a change that the one showing the session must not see half made
    // (the File List's rows, the running state) where it reads them, and
    // waits for it.
    virtual void inShowingThread(const std::function<void()>& change) { change(); }
};

} // namespace tv
