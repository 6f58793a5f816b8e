#pragma once

#include "engine/work_sink.h"
#include "install_recorder.h"
#include "platform/byte_source.h"
#include "platform/text_io.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tv {

// Opens the bytes a file is to have, afresh for each reading of them (a
// comparison with the file there, then the copy).
using OpenBytes = std::function<std::unique_ptr<ByteSource>()>;

enum class Placed {
    Copied, // written
    Same,   // a file of that name with those bytes is there already
    Kept,   // another file of that name is there and stays
    Failed, // nothing written; `why` says why
};

struct Placement {
    Placed outcome = Placed::Failed;
    std::string path; // the file written, or the one there (in its own letter case)
    std::string why;  // of a failure
};

// The first folder below `base` (which may itself be a link: a type folder
// on another disk) on the way to `path` that is a link; empty when none is.
// Nothing is written or deleted through such a folder.
std::string linkBelow(const std::string& base, const std::string& path);

// A file's bytes as they are.
OpenBytes fileBytesOf(std::string path);

// A folder of the game's own (Maps, Textures, StaticMeshes, ...) as the game
// spells it, for a name in any letter case; empty for any other name.
std::string canonicalTypeFolder(const std::string& name);

// Puts files into the game's folders by one set of rules, whatever brought
// them (a ZIP archive, an installer, a compressed package):
// - missing folders are made, each said ("Created folder ...");
// - a file of that name in any letter case is never replaced: the same bytes
//   count as installed, other bytes stay;
// - the bytes are read a piece at a time, never held whole, and a source
//   that fails (a damaged compressed package, an installer cut short) is a
//   failure whatever is there;
// - each new file is announced to the recorder before it is written and
//   confirmed with the size and hash of the bytes written; it is written
//   under a temporary name and given its own only when whole.
class FilePlacer {
public:
    FilePlacer(const WorkSink& sink, InstallRecorder* recorder)
        : m_sink(sink), m_recorder(recorder) {}
    ~FilePlacer();
    FilePlacer(const FilePlacer&) = delete;
    FilePlacer& operator=(const FilePlacer&) = delete;
    // The targets about to be placed, in order: they are announced to the
    // recorder a batch at a time rather than one by one.
    void expect(std::vector<std::string> targets);
    Placement place(const OpenBytes& open, const std::string& target);

private:
    // Announces the next batch of expected targets that are not there yet.
    bool announceFrom(const std::string& target, std::string* error);

    void makeFolders(const std::string& folder);
    Placement compareWith(const OpenBytes& open, std::string existing);

    const WorkSink& m_sink;
    InstallRecorder* m_recorder;
    FolderIndexCache m_folders;
    std::set<std::string> m_cleaned; // folders whose leftovers are gone
    std::vector<std::string> m_expected;
    size_t m_nextExpected = 0;         // the first not announced yet
    std::set<std::string> m_announced; // announced, not placed yet
};

} // namespace tv
