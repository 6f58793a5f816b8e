#pragma once
// The watch that moves a game's downloads once it has ended, as a Run moves
// them, and offers to take them back. What it looks at and where it speaks
// are handed in: the game check, the desktop's notices, the place for its
// lines; the host (tessvane-cli watch) decides when it looks.

#include "engine/cache_run.h"
#include "operation.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

namespace tv {

class Session;

using CacheNames = std::unordered_set<std::string, FoldedHash, FoldedEqual>;

// The names Cache.ini holds now.
CacheNames cacheNames(const CacheFolders& folders);

// "3 maps and 2 textures from the last game moved into ~/.ut2004"
std::string movedAfterGameText(const std::vector<RunResult::Moved>& moved);

// Where the watch's notices go (the desktop's notification service).
class NoticeBoard {
public:
    struct Action {
        std::string key, label;
    };
    virtual ~NoticeBoard() = default;
    // Its id, or 0 (with error()) when none was shown.
    virtual uint32_t show(const std::string& summary, const std::string& body,
                          const std::vector<Action>& actions) = 0;
    virtual void close(uint32_t id) = 0;
    virtual bool connected() const = 0;
    virtual std::string error() const = 0;
};

struct AfterGameParts {
    std::function<bool()> gameRunning;           // the game of the session's install runs now
    std::function<void(const std::string&)> say; // a line for the journal
    NoticeBoard* notices = nullptr;              // none: no notices
    std::function<void()> openWindow;            // a notice's "Open Tessvane"
};

class AfterGameWatch {
public:
    // `once`: its notices offer no action (nobody would hear it).
    AfterGameWatch(Session& session, AfterGameParts parts, bool once);

    // What is in the cache now counts as before the game; said once.
    void begin();
    // Looks at the game and the cache; true when a game has ended and its
    // downloads were moved (or there were none). A move that could not be
    // done (the game started again, another Tessvane at work, the undo log
    // in use) stays pending and is tried at the next look.
    bool look();
    // Whether the host should look at the next interval even without a
    // change in the folders (a game on, a move pending).
    bool wantsLooks() const { return m_inGame || m_pending; }
    // Nothing under way: no game on, no move pending (the game may be switched).
    bool idle() const { return !m_inGame && !m_pending; }
    // Another game chosen: its cache counts as before its next game.
    void switched();

    // A notice's action was chosen, or the notice was closed.
    void chosen(uint32_t id, const std::string& key);
    void closed(uint32_t id) { m_shown.erase(id); }

    // 0, or the exit status of the last move (3: it failed part-way).
    int status() const { return m_status; }

    // At most this many notices remember their Undo (the oldest are forgotten).
    static constexpr size_t kNoticesKept = 16;

private:
    // What the watch knows of one file it moved: changed since, it stays.
    struct Fingerprint {
        std::string path;
        int64_t size = -1;
        int64_t mtimeNs = 0;
        ino_t inode = 0;
    };
    Session& m_session;
    AfterGameParts m_parts;
    const bool m_once;
    CacheNames m_before;     // the cache's names before this game
    FileIdentity m_beforeIn; // the cache folder they were read from
    bool m_inGame = false;   // a game was running at the last look
    bool m_pending = false;  // a game ended whose downloads are not moved yet
    int m_status = 0;
    std::string m_lastSaid;                               // said once until something else is
    std::map<uint32_t, std::vector<Fingerprint>> m_shown; // notice: the files it moved

    void say(const std::string& line);
    // The names of before the game from the cache folder now.
    void takeBaseline();
    // Moves what came during the game; false when it is to be tried again.
    bool afterGame();
    void tellMoved(const RunResult& run);
    void undoFromNotice(std::vector<Fingerprint> files);
    void notice(const std::string& text, const std::vector<NoticeBoard::Action>& actions,
                std::vector<Fingerprint> files = {});
    static Fingerprint fingerprint(const std::string& path);
};

} // namespace tv
