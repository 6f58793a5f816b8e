#include "inet_ftp.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

CURL* handle(void* p) {
    return static_cast<CURL*>(p);
}

} // namespace

// CR, LF or NUL would end an FTP command early and start another.
bool INetFTP::safeText(const std::string& s) {
    return s.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// A host name, an IPv4 or a bracketed IPv6 address, with an optional port:
// nothing that could change what the address means.
bool INetFTP::safeHost(const std::string& host) {
    if (host.empty()) return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' ||
               c == ':' || c == '[' || c == ']';
    });
}

namespace {

std::string encodeSegment(const std::string& segment) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : segment) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '/') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool toInt64(const std::string& s, std::int64_t& out) {
    if (s.empty() || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    try {
        out = std::stoll(s);
        return true;
    } catch (...) {
        return false;
    }
}

// The words of a line with where each starts, so a name with spaces can be
// taken as it stands.
struct Word {
    std::string text;
    size_t at;
};
std::vector<Word> words(const std::string& line) {
    std::vector<Word> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size()) break;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        out.push_back({line.substr(start, i - start), start});
    }
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            if (!cur.empty() && cur.back() == '\r') cur.pop_back();
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

constexpr int kReadonly = 1, kHidden = 2, kDirectory = 16, kNormal = 128;

// Windows' rule: "normal" only stands alone.
int finishAttributes(int bits, const std::string& name) {
    if (!name.empty() && name[0] == '.') bits |= kHidden;
    return bits == 0 ? kNormal : bits;
}

bool isMonth(const std::string& w) {
    static const char* months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};
    std::string l = lower(w);
    return std::any_of(std::begin(months), std::end(months), [&](const char* m) { return l == m; });
}

size_t appendTo(char* data, size_t size, size_t n, void* out) {
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
}

// A download into a file descriptor; a failed write ends the transfer.
size_t writeToFd(char* data, size_t size, size_t n, void* fdp) {
    int fd = *static_cast<int*>(fdp);
    size_t total = size * n, done = 0;
    while (done < total) {
        ssize_t w = ::write(fd, data + done, total - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return 0;
        done += static_cast<size_t>(w);
    }
    return total;
}

// An upload from a file; in text mode a CR before LF is left out, since
// libcurl puts a CR before every LF itself (a CR at the end of one read is
// held back until the next byte shows whether an LF follows).
struct Upload {
    int fd = -1;
    bool text = false;
    bool heldCr = false;
    bool failed = false;
    int readError = 0;
};
size_t readFromFile(char* buffer, size_t size, size_t n, void* p) {
    auto* up = static_cast<Upload*>(p);
    size_t room = size * n;
    if (!up->text) {
        for (;;) {
            ssize_t r = ::read(up->fd, buffer, room);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) {
                up->failed = true;
                up->readError = errno;
                return CURL_READFUNC_ABORT;
            }
            return static_cast<size_t>(r);
        }
    }
    if (room < 2) return 0;
    std::vector<char> in(room - 1);
    size_t out = 0;
    for (;;) {
        ssize_t r = ::read(up->fd, in.data(), in.size());
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            up->failed = true;
            up->readError = errno;
            return CURL_READFUNC_ABORT;
        }
        if (r == 0) { // the end: a held CR stands
            if (up->heldCr) {
                buffer[out++] = '\r';
                up->heldCr = false;
            }
            return out;
        }
        for (ssize_t i = 0; i < r; ++i) {
            char c = in[static_cast<size_t>(i)];
            if (up->heldCr) {
                up->heldCr = false;
                if (c != '\n') buffer[out++] = '\r';
            }
            if (c == '\r')
                up->heldCr = true;
            else
                buffer[out++] = c;
        }
        if (out > 0) return out;
    }
}

} // namespace

INetFTP::INetFTP() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

INetFTP::~INetFTP() {
    CloseSession();
}

void INetFTP::clearError() {
    m_lastError.clear();
    m_lastErrorText.clear();
    m_errorBuffer[0] = '\0';
}

bool INetFTP::fail(int code, const std::string& text) {
    m_lastError = std::to_string(code);
    m_lastErrorText = text;
    return false;
}

// ---- paths --------------------------------------------------------------------------------
std::string INetFTP::GetPathFromFTPPath(const std::string& p) {
    size_t at = p.rfind('/');
    return at == std::string::npos ? std::string() : p.substr(0, at + 1);
}

std::string INetFTP::GetNameFromFTPPath(const std::string& p) {
    size_t at = p.rfind('/');
    return at == std::string::npos ? p : p.substr(at + 1);
}

std::string INetFTP::TrimNulls(const std::string& s) {
    size_t at = s.find('\0');
    return at == std::string::npos ? s : s.substr(0, at);
}

std::string INetFTP::resolvePath(const std::string& current, const std::string& dir) {
    std::vector<std::string> parts =
        (!dir.empty() && dir[0] == '/') ? std::vector<std::string>() : splitPath(current);
    for (const std::string& p : splitPath(dir)) {
        if (p == ".") continue;
        if (p == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(p);
    }
    std::string out;
    for (const std::string& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

// The address of a folder (and a file in it) as absolute paths: "%2F" is the
// root, every name is percent-encoded, and one CWD enters the whole folder.
std::string INetFTP::urlFor(const std::string& folder, const std::string& file) const {
    std::string url = "ftp://" + Server + "/%2F";
    bool first = true;
    for (const std::string& p : splitPath(folder)) {
        url += (first ? "" : "/") + encodeSegment(p);
        first = false;
    }
    return url + "/" + encodeSegment(file);
}

// ---- the session ------------------------------------------------------------------------------
bool INetFTP::OpenSession() {
    clearError();
    if (m_curl) return true;
    m_curl = curl_easy_init();
    if (!m_curl) return fail(CURLE_FAILED_INIT, "the FTP library could not start");
    return true;
}

void INetFTP::resetRequest() {
    CURL* c = handle(m_curl);
    curl_easy_reset(c); // the connection itself stays
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Quillet");
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(c, CURLOPT_USERNAME, UserName.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, Password.c_str());
    // An empty proxy also keeps the environment's proxies out.
    curl_easy_setopt(c, CURLOPT_PROXY, ProxyString.c_str());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, 60L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, TransferType == 1 ? 1L : 0L);
    m_errorBuffer[0] = '\0';
}

bool INetFTP::perform(const std::string& step) {
    CURLcode res = curl_easy_perform(handle(m_curl));
    if (res == CURLE_OK) {
        clearError();
        return true;
    }
    std::string why = m_errorBuffer[0] ? m_errorBuffer : curl_easy_strerror(res);
    return fail(res, step + ": " + why);
}

bool INetFTP::ready() {
    clearError();
    if (!m_curl || !m_connected) return fail(CURLE_FAILED_INIT, "not connected");
    return true;
}

bool INetFTP::Connect() {
    clearError();
    if (m_connected || !m_curl || Server.empty() || UserName.empty()) return false;
    if (!safeHost(Server) || !safeText(UserName) || !safeText(Password))
        return fail(CURLE_URL_MALFORMAT, "the server, user name or password holds a character "
                                         "an FTP command cannot carry");
    resetRequest();
    curl_easy_setopt(handle(m_curl), CURLOPT_URL, ("ftp://" + Server + "/").c_str());
    curl_easy_setopt(handle(m_curl), CURLOPT_NOBODY, 1L);
    if (!perform("connect to " + Server)) return false;
    // The folder the server put us in.
    const char* entry = nullptr;
    if (curl_easy_getinfo(handle(m_curl), CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry)
        m_curDir = resolvePath("/", entry);
    else
        m_curDir = "/";
    m_connected = true;
    ClearCollections();
    return true;
}

void INetFTP::Disconnect() {
    if (!m_connected) return;
    // A fresh handle: ending the old one closes its control connection.
    curl_easy_cleanup(handle(m_curl));
    m_curl = curl_easy_init();
    m_connected = false;
    ClearCollections();
}

void INetFTP::CloseSession() {
    if (m_curl) curl_easy_cleanup(handle(m_curl));
    m_curl = nullptr;
    m_connected = false;
    ClearCollections();
}

// ---- folders ------------------------------------------------------------------------------
std::string INetFTP::FTPCurDir() {
    return m_connected ? m_curDir : std::string();
}

bool INetFTP::enterFolder(const std::string& folder) {
    resetRequest();
    curl_easy_setopt(handle(m_curl), CURLOPT_URL, urlFor(folder).c_str());
    curl_easy_setopt(handle(m_curl), CURLOPT_NOBODY, 1L);
    return perform("enter " + folder);
}

bool INetFTP::RemoteChDir(const std::string& strRemoteDir) {
    if (!ready()) return false;
    if (!safeText(strRemoteDir))
        return fail(CURLE_URL_MALFORMAT, "the folder name holds a line break or NUL");
    std::string dir = strRemoteDir;
    if (lower(dir.substr(0, 6)) == "ftp://") dir = dir.substr(6);
    // The server's own name only where it starts the path.
    if (!Server.empty() && dir.compare(0, Server.size(), Server) == 0)
        dir = dir.substr(Server.size());
    if (dir.empty()) dir = "/";
    std::string target = resolvePath(m_curDir, dir);
    if (!enterFolder(target)) return false;
    m_curDir = target;
    ClearCollections();
    return true;
}

bool INetFTP::CreateDirectory(const std::string& strDirectory) {
    if (strDirectory.empty()) {
        clearError();
        return true;
    }
    if (!ready()) return false;
    if (!safeText(strDirectory))
        return fail(CURLE_URL_MALFORMAT, "the folder name holds a line break or NUL");
    std::string target = resolvePath(m_curDir, strDirectory);
    resetRequest();
    curl_slist* commands = curl_slist_append(nullptr, ("MKD " + target).c_str());
    curl_easy_setopt(handle(m_curl), CURLOPT_QUOTE, commands);
    curl_easy_setopt(handle(m_curl), CURLOPT_URL, urlFor(m_curDir).c_str());
    curl_easy_setopt(handle(m_curl), CURLOPT_NOBODY, 1L);
    bool ok = perform("create " + target);
    curl_easy_setopt(handle(m_curl), CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(commands);
    ClearCollections();
    return ok;
}

// ---- transfers ------------------------------------------------------------------------------
bool INetFTP::GetFile(const std::string& strRemoteFile, const std::string& strLocalFile) {
    if (!ready() || strRemoteFile.empty() || strLocalFile.empty()) return false;
    if (!safeText(strRemoteFile))
        return fail(CURLE_URL_MALFORMAT, "the remote name holds a line break or NUL");
    // Its folder must be entered: a file of that name elsewhere is not it.
    if (!RemoteChDir(GetPathFromFTPPath(strRemoteFile))) return false;
    std::string name = GetNameFromFTPPath(strRemoteFile);
    if (name.empty()) return fail(CURLE_REMOTE_FILE_NOT_FOUND, "no file name");

    // Into a new file beside the target, which it replaces only when whole.
    std::string temp = strLocalFile + ".qlpart-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(CURLE_WRITE_ERROR,
                    "cannot write beside " + strLocalFile + ": " + std::strerror(errno));
    struct stat old {};
    mode_t mode;
    if (::stat(strLocalFile.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);

    resetRequest();
    curl_easy_setopt(handle(m_curl), CURLOPT_URL, urlFor(m_curDir, name).c_str());
    curl_easy_setopt(handle(m_curl), CURLOPT_WRITEFUNCTION, writeToFd);
    curl_easy_setopt(handle(m_curl), CURLOPT_WRITEDATA, &fd);
    bool ok = perform("fetch " + strRemoteFile);
    if (ok && ::fsync(fd) != 0)
        ok = fail(CURLE_WRITE_ERROR, "cannot write " + strLocalFile + ": " + std::strerror(errno));
    if (::close(fd) != 0 && ok)
        ok = fail(CURLE_WRITE_ERROR, "cannot write " + strLocalFile + ": " + std::strerror(errno));
    if (ok && ::rename(temp.c_str(), strLocalFile.c_str()) != 0)
        ok =
            fail(CURLE_WRITE_ERROR, "cannot replace " + strLocalFile + ": " + std::strerror(errno));
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

bool INetFTP::readableFile(const std::string& path, std::string& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) error = path + " is not a file that can be sent";
    return regular;
}

bool INetFTP::PutFile(const std::string& strLocalFile, const std::string& strRemoteFile) {
    if (!ready() || strLocalFile.empty() || strRemoteFile.empty()) return false;
    if (!safeText(strRemoteFile))
        return fail(CURLE_URL_MALFORMAT, "the remote name holds a line break or NUL");
    std::string name = GetNameFromFTPPath(strRemoteFile);
    if (name.empty()) return fail(CURLE_REMOTE_FILE_NOT_FOUND, "no remote file name");
    std::string folder = resolvePath(m_curDir, GetPathFromFTPPath(strRemoteFile));
    Upload up;
    up.fd = ::open(strLocalFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (up.fd < 0)
        return fail(CURLE_READ_ERROR, "cannot read " + strLocalFile + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(up.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(up.fd);
        return fail(CURLE_READ_ERROR, strLocalFile + " is not a file that can be sent");
    }
    up.text = TransferType == 1;
    resetRequest();
    curl_easy_setopt(handle(m_curl), CURLOPT_URL, urlFor(folder, name).c_str());
    curl_easy_setopt(handle(m_curl), CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle(m_curl), CURLOPT_READFUNCTION, readFromFile);
    curl_easy_setopt(handle(m_curl), CURLOPT_READDATA, &up);
    if (!up.text)
        curl_easy_setopt(handle(m_curl), CURLOPT_INFILESIZE_LARGE,
                         static_cast<curl_off_t>(st.st_size));
    bool ok = perform("send " + strRemoteFile);
    // A read error stopped the transfer: the reason is the file's, not the server's.
    if (up.failed)
        ok = fail(CURLE_READ_ERROR,
                  "cannot read " + strLocalFile + ": " + std::strerror(up.readError));
    ::close(up.fd);
    ClearCollections();
    return ok;
}

// ---- the listing --------------------------------------------------------------------------
void INetFTP::ClearCollections() {
    m_entries.clear();
    m_listed = false;
}

void INetFTP::FTPEnumerateDir() {
    ClearCollections();
    m_listed = true;
    if (!ready()) return;
    std::string text;
    resetRequest();
    curl_easy_setopt(handle(m_curl), CURLOPT_URL, urlFor(m_curDir).c_str());
    curl_easy_setopt(handle(m_curl), CURLOPT_CUSTOMREQUEST, "MLSD");
    curl_easy_setopt(handle(m_curl), CURLOPT_WRITEFUNCTION, appendTo);
    curl_easy_setopt(handle(m_curl), CURLOPT_WRITEDATA, &text);
    if (perform("list " + m_curDir)) {
        m_entries = parseMlsd(text);
        return;
    }
    // A server without MLSD: its LIST, in the Unix or the DOS form.
    text.clear();
    resetRequest();
    curl_easy_setopt(handle(m_curl), CURLOPT_URL, urlFor(m_curDir).c_str());
    curl_easy_setopt(handle(m_curl), CURLOPT_WRITEFUNCTION, appendTo);
    curl_easy_setopt(handle(m_curl), CURLOPT_WRITEDATA, &text);
    if (perform("list " + m_curDir)) m_entries = parseList(text);
}

std::vector<INetFTP::Entry> INetFTP::parseMlsd(const std::string& text) {
    std::vector<Entry> out;
    for (const std::string& line : lines(text)) {
        size_t gap = line.find(' ');
        if (gap == std::string::npos) continue;
        Entry e;
        e.name = line.substr(gap + 1);
        if (e.name.empty() || e.name == "." || e.name == "..") continue;
        std::string type, perm;
        bool hasPerm = false;
        std::string facts = line.substr(0, gap);
        size_t start = 0;
        while (start < facts.size()) {
            size_t end = facts.find(';', start);
            if (end == std::string::npos) end = facts.size();
            std::string fact = facts.substr(start, end - start);
            size_t eq = fact.find('=');
            if (eq != std::string::npos) {
                std::string key = lower(fact.substr(0, eq)), value = fact.substr(eq + 1);
                if (key == "type") type = lower(value);
                if (key == "size" || key == "sizd") toInt64(value, e.size);
                if (key == "perm") {
                    perm = lower(value);
                    hasPerm = true;
                }
            }
            start = end + 1;
        }
        if (type == "cdir" || type == "pdir") continue;
        int bits = 0;
        if (type == "dir") bits |= kDirectory;
        if (hasPerm && perm.find_first_of("wacm") == std::string::npos) bits |= kReadonly;
        e.attributes = finishAttributes(bits, e.name);
        out.push_back(e);
    }
    return out;
}

std::vector<INetFTP::Entry> INetFTP::parseList(const std::string& text) {
    std::vector<Entry> out;
    for (const std::string& line : lines(text)) {
        std::vector<Word> w = words(line);
        if (w.size() < 4) continue;
        Entry e;
        int bits = 0;
        if (w[0].text.size() >= 8 && std::isdigit(static_cast<unsigned char>(w[0].text[0])) &&
            (w[0].text[2] == '-' || w[0].text[2] == '/')) {
            // DOS: date, time, <DIR> or size, name.
            if (w[2].text == "<DIR>")
                bits |= kDirectory;
            else if (!toInt64(w[2].text, e.size))
                continue;
            e.name = line.substr(w[3].at);
        } else {
            // Unix: permissions, ..., size, month, day, time or year, name.
            const std::string& perms = w[0].text;
            if (perms.size() < 10) continue;
            size_t month = 0;
            for (size_t k = 3; k < w.size(); ++k)
                if (isMonth(w[k].text) && toInt64(w[k - 1].text, e.size)) {
                    month = k;
                    break;
                }
            if (month == 0 || month + 3 >= w.size()) continue; // month, day, time, name
            e.name = line.substr(w[month + 3].at);
            if (perms[0] == 'l') {
                size_t arrow = e.name.find(" -> ");
                if (arrow != std::string::npos) e.name = e.name.substr(0, arrow);
            }
            if (perms[0] == 'd') bits |= kDirectory;
            if (perms[2] != 'w') bits |= kReadonly;
        }
        if (e.name.empty() || e.name == "." || e.name == "..") continue;
        e.attributes = finishAttributes(bits, e.name);
        out.push_back(e);
    }
    return out;
}

std::string INetFTP::GetEnglishAttributes(int attributes) {
    static const std::pair<int, const char*> words[] = {
        {1, "Readonly "},     {2, "Hidden "},        {4, "System "},
        {16, "<directory> "}, {256, "Temporary "},   {32, "Archive "},
        {128, "normal "},     {2048, "Compressed "}, {4096, "Offline "}};
    std::string out;
    for (const auto& [bit, word] : words)
        if (attributes & bit) out += word;
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    while (!out.empty() && out.front() == ' ')
        out.erase(out.begin());
    return out;
}

int INetFTP::FTPDirCount() {
    if (!m_listed) FTPEnumerateDir();
    return static_cast<int>(m_entries.size());
}

std::string INetFTP::FTPDirEntry(int intIndex) {
    if (intIndex < 1 || intIndex > FTPDirCount()) return {};
    return TrimNulls(m_entries[static_cast<size_t>(intIndex - 1)].name);
}

int INetFTP::FTPDirAttrNumber(int intIndex) {
    if (intIndex < 1 || intIndex > FTPDirCount()) return 0;
    return m_entries[static_cast<size_t>(intIndex - 1)].attributes;
}

std::string INetFTP::FTPDirAttrString(int intIndex) {
    return GetEnglishAttributes(FTPDirAttrNumber(intIndex));
}

std::int64_t INetFTP::FTPDirSize(int intIndex) {
    if (intIndex < 1 || intIndex > FTPDirCount()) return 0;
    return m_entries[static_cast<size_t>(intIndex - 1)].size;
}

} // namespace quillet
