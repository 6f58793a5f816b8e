#include "file_placement.h"

#include "formats/file_hash.h"
#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/text_util.h"

namespace tv {

std::string canonicalTypeFolder(const std::string& name) {
    static const char* const kFolders[] = {"Animations",   "Benchmark", "ForceFeedback", "Help",
                                           "KarmaData",    "Manual",    "Maps",          "Music",
                                           "Prefabs",      "Saves",     "Sounds",        "Speech",
                                           "StaticMeshes", "System",    "Textures",      "Web"};
    for (const char* folder : kFolders)
        if (equalsNoCase(name, folder)) return folder;
    return {};
}

std::string linkBelow(const std::string& base, const std::string& path) {
    if (path.size() <= base.size() + 1 || path.compare(0, base.size(), base) != 0) return {};
    for (size_t at = path.find('/', base.size() + 1); at != std::string::npos;
         at = path.find('/', at + 1))
        if (isSymlink(path.substr(0, at))) return path.substr(0, at);
    return {};
}

OpenBytes fileBytesOf(std::string path) {
    return [path = std::move(path)] { return std::make_unique<FileBytes>(path); };
}

void FilePlacer::makeFolders(const std::string& folder) {
    while (!folderExists(folder)) {
        std::string missing = folder;
        while (!folderExists(folderOf(missing)) && folderOf(missing) != missing)
            missing = folderOf(missing);
        if (!makeFolder(missing)) return; // the copy then says why it failed
        m_sink.status("Created folder " + missing);
        if (m_recorder) m_recorder->madeFolder(missing);
    }
}

namespace {
// Files announced to the recorder in one write.
constexpr size_t kBatch = 64;
} // namespace

FilePlacer::~FilePlacer() {
    if (!m_recorder) return;
    for (const auto& path : m_announced)
        m_recorder->withdrawn(path); // expected, never placed
    m_recorder->flush();
}

void FilePlacer::expect(std::vector<std::string> targets) {
    m_expected = std::move(targets);
    m_nextExpected = 0;
}

bool FilePlacer::announceFrom(const std::string& target, std::string* error) {
    // Only a target that is next in line starts a batch; any other goes alone.
    if (m_nextExpected >= m_expected.size() || m_expected[m_nextExpected] != target)
        return m_recorder->pending(target, error) && (m_announced.insert(target), true);
    std::vector<std::string> batch;
    for (; m_nextExpected < m_expected.size() && batch.size() < kBatch; ++m_nextExpected) {
        const std::string& t = m_expected[m_nextExpected];
        const std::string folder = folderOf(t);
        if (!folderExists(folder) || !m_folders.of(folder).find(fileNameOf(t))) batch.push_back(t);
    }
    if (!m_recorder->pendingAll(batch, error)) return false;
    m_announced.insert(batch.begin(), batch.end());
    return m_announced.count(target) > 0 ||
           (m_recorder->pending(target, error) && (m_announced.insert(target), true));
}

Placement FilePlacer::compareWith(const OpenBytes& open, std::string existing) {
    Placement p;
    p.path = std::move(existing);
    auto source = open();
    FileBytes there(p.path);
    switch (compareBytes(*source, there)) {
    case Comparison::Same:
        p.outcome = Placed::Same;
        break;
    case Comparison::Different:
    case Comparison::SecondFailed: // what cannot be read there stays all the same
        p.outcome = Placed::Kept;
        break;
    case Comparison::FirstFailed:
        p.why = source->error();
        break;
    }
    return p;
}

Placement FilePlacer::place(const OpenBytes& open, const std::string& target) {
    const std::string folder = folderOf(target);
    const std::string name = fileNameOf(target);
    makeFolders(folder);
    // What a killed installation left half-written, once per folder.
    if (m_cleaned.insert(folder).second) removeLeftovers(folder);
    FolderIndex& there = m_folders.of(folder);
    if (auto existing = there.find(name)) {
        if (m_recorder && m_announced.erase(target)) m_recorder->withdrawn(target);
        return compareWith(open, joinPath(folder, *existing));
    }
    Placement p;
    std::string error;
    if (m_recorder && !m_announced.count(target) && !announceFrom(target, &error)) {
        p.why = "it could not be recorded in the undo log: " + error;
        return p;
    }
    m_announced.erase(target);
    RunningHash hash;
    uint64_t size = 0;
    const bool written = writeNewFile(
        target, &error,
        [&](int fd, std::string* why) {
            auto source = open();
            return copyBytes(*source, fd, why, [&](const char* data, size_t n) {
                hash.add(data, n);
                size += n;
            });
        },
        /*anyCaseChecked=*/true);
    if (written) {
        crashPoint("placement: file written");
        there.insert(name);
        if (m_recorder) m_recorder->written(target, size, hash.text());
        p.outcome = Placed::Copied;
        p.path = target;
        return p;
    }
    if (m_recorder) m_recorder->withdrawn(target);
    // Another program put a file of that name there meanwhile.
    if (auto now = lookupInFolder(folder, name); now && fileExists(*now))
        return compareWith(open, *now);
    p.why = error;
    return p;
}

} // namespace tv
