#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

namespace tv {

// Where long work (a run, an undo) reports as it goes. Every member may be
// left empty.
struct WorkSink {
    // Each line of the Status list as it is added (given away: the list
    // keeps it without a copy).
    std::function<void(std::string)> statusLine;
    // How far the work is: `done` of `total` files.
    std::function<void(size_t done, size_t total)> progress;
    // Asked at each safe point: true ends the work there, leaving every file
    // either where it was or where it went, with its record and index line.
    std::function<bool()> stopRequested;

    void status(std::string line) const {
        if (statusLine) statusLine(std::move(line));
    }
    void reportProgress(size_t done, size_t total) const {
        if (progress) progress(done, total);
    }
    bool stopAsked() const { return stopRequested && stopRequested(); }
};

} // namespace tv
