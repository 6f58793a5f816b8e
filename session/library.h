#pragma once
// The content library of the session's game: every package it reads, where
// each came from and what uses it; removing packages (with what only they
// needed) and putting removed ones back, as operations of the session.

#include "engine/content_library.h"
#include "engine/package_removal.h"
#include "operation.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tv {

class Prompter;
class Session;

// What to remove: a plan the user was shown, and whether the files are
// deleted instead of going back into the cache.
struct RemoveRequest {
    RemovalPlan plan;
    bool deleteFiles = false;
};

class PackageLibrary {
public:
    PackageLibrary(Session& session, Prompter& prompter)
        : m_session(session), m_prompter(prompter) {}

    // What the library of the game is made from, read now: the session's
    // folders, the undo log's moves and installations, the GUIDs stock
    // packages had when first seen. Reads only.
    LibrarySources sources() const;
    // The list and its facts; the stock GUIDs first seen are kept.
    std::vector<LibraryEntry> read(const std::function<bool()>& stop = {}) const;
    // Keeps the GUIDs of the stock packages of a library just read.
    void rememberStock(const LibrarySources& sources,
                       const std::vector<LibraryEntry>& entries) const;

    // Shows what the plan removes and why, and what it refuses, then asks;
    // why not (said already), or nullopt to go on.
    std::optional<Refused> confirm(const RemoveRequest& request);
    // The removal: refused while the game runs or another operation works;
    // each file recorded before it goes; the list scanned again after.
    Outcome<RemovalResult> remove(const RemoveRequest& request);

    // Every removal the undo log holds (none when it cannot be read).
    std::vector<Removal> removals() const;
    // The removed files of these paths put back where they were.
    Outcome<PutBackResult> putBack(const std::vector<std::string>& paths);

private:
    Session& m_session;
    Prompter& m_prompter;
};

// The lines a confirmation shows: per item "<path> (<why>)", then what was
// refused.
std::vector<std::string> planLines(const RemovalPlan& plan);

} // namespace tv
