#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// libzip's archive handle (zip_t).
struct zip;

namespace tv {

// Wildcard match as the Windows file functions do it: "*" and "?", letter
// case ignored, "*.*" matching every name.
bool wildcardMatch(const std::string& mask, const std::string& name);

// The ZIP archive component: packs a folder's files into an archive, lists an
// archive's members and extracts them. Members are extracted under their
// file name only (memberFileName; others are passed over), and a member
// whose file already exists is not extracted.
// Nothing here ends the program: a failure leaves lastError() set.
class ZipArchive {
public:
    std::string ArchiveName;
    std::string ExtractFolder;
    std::string SourceFolder; // with a trailing separator
    std::string IncludeMask = "*.*";
    std::string ExcludeMask;

    // Packs every file of SourceFolder matching IncludeMask and not
    // ExcludeMask into ArchiveName (created anew). true when the archive was
    // written. Packed tells how many of the files are in so far; Stop is
    // asked as it goes: true ends it with nothing written (cancelled()).
    bool Compress();
    // The deflate level of Compress (1 fastest ... 9 smallest; libzip's own
    // default, 9, when 0). Members that are compressed already (Ogg Vorbis,
    // .uz2, pictures, archives) are stored as they are whatever the level.
    int CompressionLevel = 0;
    std::function<void(size_t done, size_t total)> Packed;
    std::function<bool()> Stop;
    bool cancelled() const { return m_cancelled; }
    // Writes each member matching IncludeMask (and Wanted, when set) into
    // ExtractFolder. First checks that the members' declared sizes fit the
    // folder's free space with a margin ("Not enough room in ..."); a member
    // that turns out larger than it declared stops the extraction, its part
    // removed. Time grows with the member count, not its square.
    bool Extract();
    // Which members Extract writes, by file name (all when not set).
    std::function<bool(const std::string& name)> Wanted;
    // Each extracted file is flushed to the disk before it takes its name;
    // a private folder that is thrown away after a crash can do without.
    bool Sync = true;
    // The free bytes of a folder (statvfs when not set; tests give less).
    std::function<std::optional<uint64_t>(const std::string& folder)> FreeSpace;
    // Calls FileListed once per member, in archive order.
    bool ListContents();
    std::function<void(const std::string& memberName)> FileListed;

    const std::string& lastError() const { return m_error; }
    // The last Extract stopped at a bound (too little room, a member larger
    // than it declared) rather than at a damaged archive; lastError() says which.
    bool stoppedByBound() const { return m_bounded; }

private:
    // One member Extract writes: where it is, its names, its declared size.
    struct Member {
        uint64_t index;
        std::string raw;
        std::string name;
        uint64_t size;
    };
    enum class Written { Done, Failed, Larger };
    std::vector<Member> membersToWrite(::zip* z, uint64_t& total) const;
    // Writes one member under a temporary name, then gives it its own.
    Written writeMember(::zip* z, const Member& m);

    std::string m_error;
    bool m_bounded = false;
    bool m_progressMarked = false;
    bool m_cancelled = false;
    size_t m_files = 0, m_packed = 0;
};

// The file name a member is taken under: the part after the last "/" or
// "\\". nullopt for members that are no files of the archive's own: folder
// entries, names that are empty, "." or "..", paths that hold ".." or start
// at the root, names with a control character (below 0x20, or 0x7F), and the
// resource files Macs add (under "__MACOSX/", or names beginning "._").
std::optional<std::string> memberFileName(std::string_view member);

// Calls memberListed once per member of the archive held in `bytes`; false
// (with `error` set) when they are no archive libzip can read.
bool listArchiveBytes(std::string_view bytes,
                      const std::function<void(const std::string&)>& memberListed,
                      std::string* error = nullptr);

} // namespace tv
