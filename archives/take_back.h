#pragma once

#include "engine/work_sink.h"

#include <string>
#include <vector>

namespace tv {

class UndoLog;

// Where installed files may be taken back from: below the game's or the
// player's folder inside one of the game's type folders (in any letter
// case, at any depth: an installer's Help/ModDocs), and the folders the
// undo log remembers writing into or the move options name now. A record
// naming any other place (an undo log edited by hand) is never followed,
// nor a link below such a folder (the type folder itself may be one, to
// another disk).
class TakeBackPlaces {
public:
    // `roots`: the game's and the player's folders; `folders`: folders
    // files may be taken back from directly.
    TakeBackPlaces(const std::vector<std::string>& roots, const std::vector<std::string>& folders);
    // Why `path` is no place a file may be deleted from, or empty when it is
    // (the file itself is looked at by the caller).
    std::string refusal(const std::string& path) const;

private:
    // The folder below which `path` is looked at for links; empty when it
    // lies in none of the places.
    std::string baseOf(const std::string& path) const;

    std::vector<std::string> m_roots;
    std::vector<std::string> m_folders;
};

struct TakeBackResult {
    size_t removed = 0;
    bool someFailed = false; // a file stayed, a path had no record, or the log failed
    bool failed() const { return someFailed; }
};

// Takes these installed files back: each is deleted where it still holds
// the bytes that were installed and its record forgotten; one changed
// since, unreadable or outside the places stays with its record (said);
// one gone already is forgotten. The log (`database`, as its failures name
// it) is open for writing.
TakeBackResult takeBackInstalled(UndoLog& undo, const std::string& database,
                                 const std::vector<std::string>& paths,
                                 const TakeBackPlaces& places, const WorkSink& sink);

} // namespace tv
