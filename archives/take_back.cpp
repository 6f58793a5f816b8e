#include "take_back.h"

#include "file_placement.h"
#include "formats/file_hash.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "store/undo_log.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace tv {

namespace {

// Absolute, with no empty, "." or ".." part: the path names itself.
bool isWholePath(std::string_view path) {
    if (path.size() < 2 || path.front() != '/' || path.back() == '/') return false;
    size_t at = 1;
    while (at <= path.size()) {
        size_t end = path.find('/', at);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(at, end - at);
        if (part.empty() || part == "." || part == "..") return false;
        at = end + 1;
    }
    return true;
}

std::vector<std::string> wholeFolders(const std::vector<std::string>& folders) {
    std::vector<std::string> out;
    for (const auto& f : folders) {
        std::string folder = withoutTrailingSeparator(f);
        // The root folder is no place of the game's: it would hold everything.
        if (isWholePath(folder)) out.push_back(std::move(folder));
    }
    return out;
}

} // namespace

TakeBackPlaces::TakeBackPlaces(const std::vector<std::string>& roots,
                               const std::vector<std::string>& folders)
    : m_roots(wholeFolders(roots)), m_folders(wholeFolders(folders)) {
}

std::string TakeBackPlaces::baseOf(const std::string& path) const {
    // Below a type folder, every folder down to the file is looked at (one
    // an installer made may have been swapped for a link since).
    for (const auto& root : m_roots) {
        if (path.size() <= root.size() + 1 || path.compare(0, root.size(), root) != 0 ||
            path[root.size()] != '/')
            continue;
        const size_t typeEnd = path.find('/', root.size() + 1);
        if (typeEnd == std::string::npos) continue; // a file of the root folder itself
        if (!canonicalTypeFolder(path.substr(root.size() + 1, typeEnd - root.size() - 1)).empty())
            return path.substr(0, typeEnd);
    }
    const std::string folder = folderOf(path);
    for (const auto& f : m_folders)
        if (folder == f) return f;
    return {};
}

std::string TakeBackPlaces::refusal(const std::string& path) const {
    if (!isWholePath(path)) return path + " is not a whole path";
    const std::string base = baseOf(path);
    if (base.empty()) return path + " is not in a folder Tessvane installs into";
    // Below the base, nothing may lead elsewhere.
    if (const std::string link = linkBelow(base, path); !link.empty())
        return path + " lies through a link (" + link + ")";
    return {};
}

namespace {

class TakeBack {
public:
    TakeBack(UndoLog& undo, std::string database, const TakeBackPlaces& places,
             const WorkSink& sink)
        : m_undo(undo), m_database(std::move(database)), m_places(places), m_sink(sink) {}

    TakeBackResult run(const std::vector<std::string>& paths) {
        std::vector<Installation> all;
        m_undo.installations(all);
        // Each path's records, found once (a big installation has tens of
        // thousands of files).
        std::unordered_map<std::string, std::vector<std::pair<const Installation*, size_t>>> byPath;
        for (const auto& in : all)
            for (size_t i = 0; i < in.files.size(); ++i)
                byPath[in.files[i].path].emplace_back(&in, i);
        std::unordered_map<int64_t, size_t> left; // each installation's files still recorded
        for (const auto& in : all)
            left[in.id] = in.files.size();
        for (const auto& path : paths) {
            auto found = byPath.find(path);
            if (found == byPath.end()) {
                fail("Not undone: " + path + " has no installation record");
                continue;
            }
            for (const auto& [in, i] : found->second) {
                if (takeBack(*in, in->files[i]))
                    --left[in->id];
                else if (m_logFailed)
                    return m_result;
            }
        }
        for (const auto& in : all)
            if (left[in.id] == 0 && !removeMadeFolders(in)) return m_result;
        return m_result;
    }

private:
    // One installed file taken back where it holds what was installed;
    // false when it stays (said), so its record stays too.
    bool takeBack(const Installation& in, const InstalledFile& f) {
        const std::string from = " (installed from " + fileNameOf(in.archive) + ")";
        const std::string& path = f.path;
        struct stat st {};
        const bool there = ::lstat(path.c_str(), &st) == 0;
        if (!there && errno == ENOENT) {
            m_sink.status(path + from + " is gone already");
            return forget(in, path);
        }
        std::string why = m_places.refusal(path);
        if (why.empty() && S_ISLNK(st.st_mode)) why = path + " is a link";
        if (why.empty() && !S_ISREG(st.st_mode)) why = path + " is not a regular file";
        if (!why.empty()) return fail("Not undone: " + why + from + "; it stays");
        // A pending record: the installation was cut short after recording the
        // file; a file of that name now is the one it wrote (it never replaces).
        if (!f.pending()) {
            const auto hash =
                st.st_size == f.size ? fileHash(path) : std::optional<std::string>("");
            if (!hash) return fail("Not undone: " + path + from + " cannot be read; it stays");
            if (st.st_size != f.size || *hash != f.hash)
                return fail("Not undone: " + path + from +
                            " was changed since it was installed; it stays");
        }
        if (std::string error; !removeFile(path, &error))
            return fail("Not undone: " + error); // its record stays: it can be taken back later
        m_sink.status("Removed " + path + from);
        ++m_result.removed;
        return forget(in, path);
    }

    // An installation taken back whole: the folders it made go again, each
    // only while empty (rmdir removes nothing else) and never through a link.
    bool removeMadeFolders(const Installation& in) {
        std::vector<std::string> folders;
        if (!m_undo.installedFolders(in.id, folders)) {
            logFailure();
            return false;
        }
        for (const auto& folder : folders) {
            if (!isWholePath(folder) || isSymlink(folder)) continue;
            if (::rmdir(folder.c_str()) == 0) m_sink.status("Removed folder " + folder);
        }
        if (folders.empty() || m_undo.forgetInstalledFolders(in.id)) return true;
        logFailure();
        return false;
    }

    bool forget(const Installation& in, const std::string& path) {
        if (m_undo.forgetInstalledFile(in.id, path)) return true;
        logFailure();
        return false;
    }
    void logFailure() {
        m_logFailed = true;
        fail("**ERROR** The undo log " + m_database + " " + m_undo.lastError());
    }
    bool fail(const std::string& line) {
        m_result.someFailed = true;
        m_sink.status(line);
        return false;
    }

    UndoLog& m_undo;
    const std::string m_database;
    const TakeBackPlaces& m_places;
    const WorkSink& m_sink;
    TakeBackResult m_result;
    bool m_logFailed = false;
};

} // namespace

TakeBackResult takeBackInstalled(UndoLog& undo, const std::string& database,
                                 const std::vector<std::string>& paths,
                                 const TakeBackPlaces& places, const WorkSink& sink) {
    return TakeBack(undo, database, places, sink).run(paths);
}

} // namespace tv
