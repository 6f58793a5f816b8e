#include <quillet/page_manager.h>
#include <quillet/quick_ftp.h>

#include "text_functions.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTime>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

using namespace quillet::text;

namespace {

constexpr size_t kBlock = 64 * 1024;

// A template's bytes a block at a time, never the whole: its lines, each
// ended with CR LF. A lone LF gains its CR, and a last line without a line
// end gets one, as joining the lines (each followed by CR LF) would give.
class TemplateBytes {
public:
    explicit TemplateBytes(const std::string& path)
        : m_fd(path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~TemplateBytes() {
        if (m_fd >= 0) ::close(m_fd);
    }
    TemplateBytes(const TemplateBytes&) = delete;
    TemplateBytes& operator=(const TemplateBytes&) = delete;

    // A file with at least one byte; a folder, a device or a pipe is none
    // (it could not be read again from its start, or would never end).
    bool hasData() const {
        struct stat st {};
        char c = 0;
        return m_fd >= 0 && ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) &&
               ::pread(m_fd, &c, 1, 0) == 1;
    }
    // The next block into `out`; false at the end, or at a read error (failed()).
    bool next(std::string& out);
    bool failed() const { return m_failed; }
    // Back to the first byte, for reading it all again.
    bool rewind() {
        m_previous = '\n';
        m_ended = m_failed = false;
        return ::lseek(m_fd, 0, SEEK_SET) == 0;
    }

private:
    int m_fd;
    std::string m_raw;
    char m_previous = '\n'; // the last byte read; before the first, a line's start
    bool m_ended = false, m_failed = false;
};

bool TemplateBytes::next(std::string& out) {
    out.clear();
    if (m_ended) return false;
    m_raw.resize(kBlock);
    ssize_t got = 0;
    do
        got = ::read(m_fd, m_raw.data(), kBlock);
    while (got < 0 && errno == EINTR);
    if (got <= 0) {
        m_ended = true;
        m_failed = got < 0;
        // The last line ends like the others.
        if (m_failed || m_previous == '\n') return false;
        out = m_previous == '\r' ? "\n" : "\r\n";
        return true;
    }
    const char* p = m_raw.data();
    const char* const end = p + got;
    while (p < end) {
        const char* lf =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* stop = lf ? lf : end;
        if (stop > p) {
            out.append(p, stop);
            m_previous = stop[-1];
        }
        if (!lf) break;
        if (m_previous != '\r') out += '\r';
        out += '\n';
        m_previous = '\n';
        p = lf + 1;
    }
    return true;
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        ssize_t w = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += w;
    }
    return true;
}

enum class Filled { Done, NotUtf8, ReadFailed, WriteFailed };

// One pass over the template into `fd`, a block at a time: decoded, its tags
// filled and encoded back as it came (UTF-8, or else Latin-1).
Filled fillPass(TemplateBytes& source, const Tags& tags, int fd, bool utf8) {
    const auto encoding = utf8 ? QStringConverter::Utf8 : QStringConverter::Latin1;
    // A byte order mark stays: the page is sent as the template has it.
    QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom);
    QStringEncoder encoder(encoding);
    TagFiller filler(tags);
    std::string bytes;
    QString filled;
    while (source.next(bytes)) {
        const QString piece = decoder.decode(QByteArrayView(bytes.data(), bytes.size()));
        if (decoder.hasError()) return Filled::NotUtf8;
        filled.clear();
        filler.feed(piece, filled);
        if (!writeAll(fd, QByteArray(encoder.encode(filled)))) return Filled::WriteFailed;
    }
    if (source.failed()) return Filled::ReadFailed;
    filled.clear();
    filler.finish(filled);
    return writeAll(fd, QByteArray(encoder.encode(filled))) ? Filled::Done : Filled::WriteFailed;
}

// The filled template into `fd`: as UTF-8 when all of its bytes are, else
// from its start again as Latin-1, what was written so far thrown away.
Filled fill(TemplateBytes& source, const Tags& tags, int fd) {
    Filled result = fillPass(source, tags, fd, true);
    if (result != Filled::NotUtf8) return result;
    if (!source.rewind()) return Filled::ReadFailed;
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) return Filled::WriteFailed;
    return fillPass(source, tags, fd, false);
}

// The page data's tags, then the built-in ones of this entry.
Tags tagsFor(const std::vector<PageData>& pages, const ServerData& server) {
    Tags tags;
    for (const PageData& p : pages)
        tags.emplace_back(QString::fromStdString(p.Tag), QString::fromStdString(p.Content));
    const QDate today = QDate::currentDate();
    tags.emplace_back(QStringLiteral("@ShortDate"), formatDate(today, "Short Date"));
    tags.emplace_back(QStringLiteral("@LongDate"), formatDate(today, "Long Date"));
    tags.emplace_back(QStringLiteral("@Time"), formatTime12(QTime::currentTime(), false));
    tags.emplace_back(QStringLiteral("@RemoteServer"), QString::fromStdString(server.RemoteHost));
    tags.emplace_back(QStringLiteral("@RemoteFileName"),
                      QString::fromStdString(server.RemoteFileName));
    tags.emplace_back(QStringLiteral("@LocalFileName"),
                      QString::fromStdString(server.LocalFileName));
    return tags;
}

} // namespace

void PageManager::tell(const std::string& text, MessageType priority) {
    if (IncomingMessage) IncomingMessage(text, priority);
}

void PageManager::ProcessPages() {
    if (m_pages.empty() || m_servers.empty()) {
        tell("No page or server data!", Critical);
        return;
    }
    for (const ServerData& server : m_servers)
        publish(server);
}

void PageManager::publish(const ServerData& server) {
    TemplateBytes source(server.LocalFileName);
    if (!source.hasData()) {
        tell("Local file doesn't exist or contains no data!", Error);
        return;
    }
    // A file of our own (0600) in the system's temporary folder.
    QByteArray name = QFile::encodeName(QDir::tempPath() + QStringLiteral("/QlXXXXXX"));
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        tell("Cannot create temporary file on system!", Error);
        return;
    }
    const std::string tempName = name.toStdString();
    const Filled filled = fill(source, tagsFor(m_pages, server), fd);
    bool written = filled == Filled::Done && ::fsync(fd) == 0;
    if (::close(fd) != 0) written = false;
    if (!written) {
        ::unlink(tempName.c_str());
        // A template that could not be read to its end is not sent in part.
        if (filled == Filled::ReadFailed)
            tell("Local file doesn't exist or contains no data!", Error);
        else
            tell("Cannot write to temporary file, " + tempName + "!", Error);
        return;
    }
    QuickFTP ftp;
    if (ftp.SendFile(server.RemoteHost, server.UserName, server.Password, tempName,
                     server.RemoteFileName)) {
        tell("Sent " + server.LocalFileName + " to " + server.RemoteHost + " on " +
                 formatDate(QDate::currentDate(), "Long Date").toStdString() + " at " +
                 formatTime12(QTime::currentTime(), true).toStdString() + ".",
             Information);
    } else {
        tell("Cannot send " + server.LocalFileName + " to " + server.RemoteHost +
                 " - an FTP error occured. Check username and password, remote host "
                 "details, allocated disk quota, or server availability!",
             Error);
    }
    ::unlink(tempName.c_str());
}

} // namespace quillet
