#include <quillet/page_manager.h>
#include <quillet/quick_ftp.h>

#include "text_functions.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTime>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quillet {

using namespace quillet::text;

namespace {

struct Template {
    QString text;
    bool utf8 = true; // else Latin-1
};

// The template's lines, each ended with CR LF; UTF-8 when its bytes are
// UTF-8, else Latin-1, and written back the same way.
Template readTemplate(const std::string& path) {
    Template t;
    QFile f(QString::fromStdString(path));
    if (path.empty() || !f.open(QIODevice::ReadOnly)) return t;
    QByteArray bytes = f.readAll();
    QByteArray joined;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        joined += line + "\r\n";
    }
    // A last line break ends the last line; it does not start another.
    if (bytes.endsWith('\n')) joined.chop(2);
    if (bytes.isEmpty()) joined.clear();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    t.text = utf8.decode(joined);
    if (utf8.hasError()) {
        t.utf8 = false;
        t.text = QString::fromLatin1(joined);
    }
    return t;
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

} // namespace

void PageManager::tell(const std::string& text, MessageType priority) {
    if (IncomingMessage) IncomingMessage(text, priority);
}

void PageManager::ProcessPages() {
    if (m_pages.empty() || m_servers.empty()) {
        tell("No page or server data!", Critical);
        return;
    }
    for (const ServerData& server : m_servers) {
        Template page = readTemplate(server.LocalFileName);
        if (page.text.isEmpty()) {
            tell("Local file doesn't exist or contains no data!", Error);
            continue;
        }
        std::vector<std::pair<QString, QString>> tags;
        for (const PageData& p : m_pages)
            tags.emplace_back(QString::fromStdString(p.Tag), QString::fromStdString(p.Content));
        const QDate today = QDate::currentDate();
        tags.emplace_back(QStringLiteral("@ShortDate"), formatDate(today, "Short Date"));
        tags.emplace_back(QStringLiteral("@LongDate"), formatDate(today, "Long Date"));
        tags.emplace_back(QStringLiteral("@Time"), formatTime12(QTime::currentTime(), false));
        tags.emplace_back(QStringLiteral("@RemoteServer"),
                          QString::fromStdString(server.RemoteHost));
        tags.emplace_back(QStringLiteral("@RemoteFileName"),
                          QString::fromStdString(server.RemoteFileName));
        tags.emplace_back(QStringLiteral("@LocalFileName"),
                          QString::fromStdString(server.LocalFileName));
        QString filled = fillTags(page.text, tags);

        // A file of our own (0600) in the system's temporary folder.
        QByteArray name = QFile::encodeName(QDir::tempPath() + QStringLiteral("/QlXXXXXX"));
        int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) {
            tell("Cannot create temporary file on system!", Error);
            continue;
        }
        const std::string tempName = name.toStdString();
        QByteArray bytes = page.utf8 ? filled.toUtf8() : filled.toLatin1();
        bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
        if (::close(fd) != 0) written = false;
        if (!written) {
            ::unlink(tempName.c_str());
            tell("Cannot write to temporary file, " + tempName + "!", Error);
            continue;
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
}

} // namespace quillet
