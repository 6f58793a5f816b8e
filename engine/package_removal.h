#pragma once
// Removing packages from the game: each goes back into the cache under its
// GUID with its Cache.ini line, as a download the game still finds (or, when
// asked, is deleted), recorded before it goes; and putting removed packages
// back.

#include "content_library.h"
#include "work_sink.h"

#include <string>
#include <vector>

namespace tv {

class UndoLog;

struct RemovalPlan {
    struct Item {
        std::string path;
        std::string name;
        std::string guid; // empty: no package (music, a language file)
        std::string why;  // "asked for", "goes with DM-Foo", "only DM-Foo needs it"
        std::string cacheCopy; // a download of the same name and GUID in the cache
    };
    std::vector<Item> items;
    std::vector<std::string> refused; // "<name>: why not"
    bool empty() const { return items.empty(); }
};

// What removing `names` (file names, any letter case, or paths) takes: each
// installed package of that name, a map's language files and .ucl in the
// System folders, and, `withUnused`, every package and music file that the
// packages left behind no longer need: not stock, not in ServerPackages= or
// EditPackages=, used by nothing that stays (the cache's downloads count).
// A stock package, a download and a name the library lacks are refused.
// `entries` have their facts read.
RemovalPlan planRemoval(const std::vector<LibraryEntry>& entries,
                        const std::vector<std::string>& names, bool withUnused,
                        const CacheFolders& folders);

struct RemovalResult {
    int removed = 0;
    std::vector<std::string> failures;
    bool stopped = false;
    bool failed() const { return !failures.empty(); }
    bool nothingDone() const { return removed == 0 && failures.empty(); }
};

// Carries the plan out, item by item: the record is committed first, then
// the file is moved into the cache (or deleted, `deleteFiles`), then its
// Cache.ini line appended ("<GUID>=<name>", or "<GUID>-1=<name>" where the
// index has that form), then the record is marked done. Killed at any
// point, the file is where the record says or still where it was. `undo`
// is open (not in a transaction); the caller holds the operation lock.
RemovalResult carryOutRemoval(UndoLog& undo, const RemovalPlan& plan, const CacheFolders& folders,
                              const std::string& date, bool deleteFiles, const WorkSink& sink);

struct PutBackResult {
    int putBack = 0;
    std::vector<std::string> failures;
    bool failed() const { return !failures.empty(); }
    bool nothingDone() const { return putBack == 0 && failures.empty(); }
};

// Puts the removed files of these paths back (the newest removal first):
// each cache file moved back where it was and its line taken out of
// Cache.ini (the bytes appended, exactly, where they still end the file).
// A file deleted on removal cannot come back: said, and its record
// forgotten; one whose place is taken again stays in the cache.
PutBackResult putBackRemoved(UndoLog& undo, const std::vector<std::string>& paths,
                             const CacheFolders& folders, const WorkSink& sink);

} // namespace tv
