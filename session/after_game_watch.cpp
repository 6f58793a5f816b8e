#include "after_game_watch.h"

#include "platform/operation_lock.h"
#include "platform/text_io.h"
#include "session.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace tv {

CacheNames cacheNames(const CacheFolders& folders) {
    CacheNames names;
    for (const auto& e : readCacheEntries(folders))
        names.insert(e.name);
    return names;
}

namespace {

// "3 maps and 2 textures": how many of each type, in the types' order.
std::string countsText(const std::vector<RunResult::Moved>& moved) {
    static constexpr std::array<std::pair<const char*, const char*>, 10> kNouns{{
        {"map", "maps"},
        {"texture", "textures"},
        {"music file", "music files"},
        {"sound package", "sound packages"},
        {"static mesh", "static meshes"},
        {"animation", "animations"},
        {"localisation file", "localisation files"},
        {"demo", "demos"},
        {"code package", "code packages"},
        {"file", "files"},
    }};
    std::array<size_t, kNouns.size()> count{};
    for (const auto& m : moved)
        ++count[std::min(static_cast<size_t>(m.type), kNouns.size() - 1)];
    std::vector<std::string> parts;
    for (size_t t = 0; t < kNouns.size(); ++t)
        if (count[t] > 0)
            parts.push_back(std::to_string(count[t]) + " " +
                            (count[t] == 1 ? kNouns[t].first : kNouns[t].second));
    return joinedAsWords(parts);
}

// The folder that holds every destination, with the home folder as "~".
std::string commonFolder(const std::vector<RunResult::Moved>& moved) {
    std::string common = folderOf(moved.front().destination);
    for (const auto& m : moved)
        while (!common.empty() && common != "/" &&
               m.destination.compare(0, common.size() + 1, common + "/") != 0)
            common = folderOf(common);
    const char* home = std::getenv("HOME");
    return withHomeAsTilde(common, home ? home : "");
}

} // namespace

std::string movedAfterGameText(const std::vector<RunResult::Moved>& moved) {
    if (moved.empty()) return "Nothing from the last game was moved";
    return countsText(moved) + " from the last game moved into " + commonFolder(moved);
}

AfterGameWatch::AfterGameWatch(Session& session, AfterGameParts parts, bool once)
    : m_session(session), m_parts(std::move(parts)), m_once(once) {
}

void AfterGameWatch::say(const std::string& line) {
    // A state that stays (the cache unreadable, another Tessvane at work) is
    // said once, not at every look.
    if (line == m_lastSaid) return;
    m_lastSaid = line;
    if (m_parts.say) m_parts.say(escapeControls(line));
}

void AfterGameWatch::takeBaseline() {
    const CacheFolders& folders = m_session.folders();
    m_beforeIn = fileIdentity(folders.cacheFolder);
    m_before = cacheNames(folders);
}

void AfterGameWatch::begin() {
    takeBaseline();
    m_inGame = m_parts.gameRunning();
    say("Watching " + m_session.install().gameFolder + " for the end of a game");
    if (m_inGame) say("A game is on; what it downloads moves when it ends");
    if (!m_parts.notices || !m_parts.notices->connected())
        say("No desktop notices: " +
            (m_parts.notices ? m_parts.notices->error() : std::string("none given")));
}

void AfterGameWatch::switched() {
    takeBaseline();
    m_inGame = m_parts.gameRunning();
    m_pending = false;
    m_shown.clear(); // their files belong to the other game
    say("Watching " + m_session.install().gameFolder + " for the end of a game");
}

bool AfterGameWatch::look() {
    // The names first: a download that comes while the processes are looked
    // at is then not taken for one of before the game.
    const FileIdentity folder = fileIdentity(m_session.folders().cacheFolder);
    CacheNames now = cacheNames(m_session.folders());
    const bool running = m_parts.gameRunning();
    if (!(folder == m_beforeIn) && (folder.known || m_beforeIn.known)) {
        // Another cache folder (the configuration names another, or a copy
        // was put in its place): what it holds was not downloaded by this game.
        if (m_pending) say("The cache folder changed; the downloads of the last game stay there");
        m_before = std::move(now);
        m_beforeIn = folder;
        m_pending = false;
        m_inGame = running;
        say("The cache folder is another one now; what it holds counts as before the game");
        return false;
    }
    if (running) {
        if (!m_inGame) say("The game started");
        m_inGame = true;
        return false;
    }
    if (m_inGame || m_pending) {
        m_inGame = false;
        m_pending = !afterGame();
        if (m_pending || m_inGame) return false; // tried again at the next look
        takeBaseline();
        return true;
    }
    // Entries that came while no game ran are not the game's.
    m_before = std::move(now);
    return false;
}

bool AfterGameWatch::afterGame() {
    const Outcome<ScanResult> scanned = m_session.scan();
    if (const Refused* no = scanned.refused()) {
        say(no->reason + "; the watch tries again");
        m_status = 1;
        return false;
    }
    m_session.fillStates();
    RunRequest request = m_session.runRequest();
    std::erase_if(request.names, [&](const std::string& n) { return m_before.count(n) > 0; });
    if (request.names.empty()) {
        say("The game ended; nothing new to move");
        return true;
    }
    // Each move has its undo record: the whole cache is not backed up after
    // every game.
    request.backup = false;
    const Outcome<RunResult> ran = m_session.run(request);
    if (const Refused* no = ran.refused()) {
        // Nothing moved: the downloads stay pending for the next look.
        if (no->kind == RefusalKind::GameRunning) m_inGame = true;
        if (no->kind == RefusalKind::Locked && no->reason == kBusyText)
            say("Another Tessvane is at work on this game; the watch waits for it");
        else
            say((no->reason.empty() ? std::string("Another operation is under way") : no->reason) +
                "; the downloads of the last game move later");
        return false;
    }
    m_status = exitStatus(ran) == 3 ? 3 : 0;
    tellMoved(*ran.result());
    return true;
}

AfterGameWatch::Fingerprint AfterGameWatch::fingerprint(const std::string& path) {
    Fingerprint f{path};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return f;
    f.size = st.st_size;
    f.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    f.inode = st.st_ino;
    return f;
}

void AfterGameWatch::tellMoved(const RunResult& run) {
    if (run.movedFiles.empty()) {
        say("The game ended; nothing could be moved (the Status lines above say why)");
        return;
    }
    const std::string text = movedAfterGameText(run.movedFiles);
    std::vector<Fingerprint> files;
    for (const auto& m : run.movedFiles)
        files.push_back(fingerprint(m.destination));
    say(text);
    m_lastSaid.clear(); // the next game's news is news again
    if (!m_parts.notices || !m_parts.notices->connected()) return;
    const std::string body =
        run.failed() ? "Some could not be moved; the Status tab and tessvane.log say why." : "";
    // Once it has ended the watch hears no action: a --once notice has none.
    std::vector<NoticeBoard::Action> actions;
    if (!m_once) actions = {{"undo", "Undo"}, {"open", "Open Tessvane"}};
    const uint32_t id = m_parts.notices->show(text, body, actions);
    if (id == 0) {
        say("No desktop notice: " + m_parts.notices->error());
        return;
    }
    if (!m_once) m_shown[id] = std::move(files);
    while (m_shown.size() > kNoticesKept)
        m_shown.erase(m_shown.begin());
}

void AfterGameWatch::chosen(uint32_t id, const std::string& key) {
    auto it = m_shown.find(id);
    if (it == m_shown.end()) return; // another program's notice, or one forgotten
    if (key == "open") {
        if (m_parts.openWindow) m_parts.openWindow();
        return;
    }
    if (key != "undo") return;
    // Its Undo is taken: the notice goes (a new one offers it again when needed).
    std::vector<Fingerprint> files = std::move(it->second);
    m_shown.erase(it);
    if (m_parts.notices) m_parts.notices->close(id);
    if (m_parts.gameRunning()) {
        notice("The game is running; choose Undo again once it has ended", {{"undo", "Undo"}},
               std::move(files));
        return;
    }
    undoFromNotice(std::move(files));
}

void AfterGameWatch::undoFromNotice(std::vector<Fingerprint> files) {
    // Only what is still as the watch left it goes back: a map the player
    // replaced since is the player's, and one moved away is not there.
    std::vector<std::string> unchanged, changed, gone;
    for (const Fingerprint& f : files) {
        const Fingerprint now = fingerprint(f.path);
        if (now.size < 0)
            gone.push_back(fileNameOf(f.path));
        else if (now.size != f.size || now.mtimeNs != f.mtimeNs || now.inode != f.inode)
            changed.push_back(fileNameOf(f.path));
        else
            unchanged.push_back(f.path);
    }
    size_t back = 0;
    if (!unchanged.empty()) {
        const Outcome<UndoResult> undone = m_session.undo({unchanged});
        if (const Refused* no = undone.refused()) {
            notice(
                (no->reason.empty() ? std::string("Another operation is under way") : no->reason) +
                    "; choose Undo again later",
                {{"undo", "Undo"}}, std::move(files));
            return;
        }
        if (undone.result()->failed()) {
            notice("Not all the files from the last game could go back; see the Undo tab", {});
            return;
        }
        back = static_cast<size_t>(undone.result()->undone);
        // What went back was there before the next game.
        for (const std::string& name : cacheNames(m_session.folders()))
            m_before.insert(name);
    }
    if (changed.empty() && gone.empty()) {
        notice("The files from the last game went back into the cache", {});
        return;
    }
    std::string text = std::to_string(back) + " of " + std::to_string(files.size()) + " went back";
    if (!changed.empty())
        text += "; " + joinedAsWords(changed) +
                (changed.size() == 1 ? " was changed since, it stays"
                                     : " were changed since, they stay");
    if (!gone.empty())
        text +=
            "; " + joinedAsWords(gone) + (gone.size() == 1 ? " is" : " are") + " no longer there";
    notice(text, {});
}

void AfterGameWatch::notice(const std::string& text,
                            const std::vector<NoticeBoard::Action>& actions,
                            std::vector<Fingerprint> files) {
    say(text);
    m_lastSaid.clear();
    if (!m_parts.notices || !m_parts.notices->connected()) return;
    const uint32_t id = m_parts.notices->show(text, "", actions);
    if (id == 0) {
        say("No desktop notice: " + m_parts.notices->error());
        return;
    }
    if (!files.empty()) m_shown[id] = std::move(files);
    while (m_shown.size() > kNoticesKept)
        m_shown.erase(m_shown.begin());
}

} // namespace tv
