#pragma once

// INetFTP: one FTP session on libcurl. One easy handle keeps the control
// connection between requests; passive mode; the remote current folder is
// tracked here and every request names absolute paths. Text mode (type 1)
// converts line ends both ways, binary (2, or 0 for "unspecified") keeps
// every byte. Nothing here waits for ever: a connection must be made within
// 30 s, and a transfer that moves nothing for 60 s ends.

#include <cstdint>
#include <string>
#include <vector>

namespace quillet {

class INetFTP {
public:
    INetFTP();
    ~INetFTP();
    INetFTP(const INetFTP&) = delete;
    INetFTP& operator=(const INetFTP&) = delete;

    // ---- properties --------------------------------------------------------------------
    std::string ProxyString; // empty: a direct connection (the environment's proxies ignored)
    std::string UserName = "anonymous";
    std::string Password;
    std::string Server; // host, or host:port
    int TransferType = 2;

    void* SessionHandle() const { return m_curl; }
    void* ConnectionHandle() const { return m_connected ? m_curl : nullptr; }
    bool SessionActive() const { return m_connected; }
    // The libcurl code of the last step, as decimal text; "" after a success.
    const std::string& LastDLLError() const { return m_lastError; }
    // What went wrong in the last step, in words (never a password).
    const std::string& LastErrorText() const { return m_lastErrorText; }

    std::string FTPCurDir();
    // The current folder's listing, read on first use; entries counted from 1.
    int FTPDirCount();
    std::string FTPDirEntry(int intIndex);
    int FTPDirAttrNumber(int intIndex);
    std::string FTPDirAttrString(int intIndex);
    std::int64_t FTPDirSize(int intIndex);

    // ---- operations -------------------------------------------------------------------------
    bool OpenSession();
    bool Connect();
    void Disconnect();
    void CloseSession();
    bool RemoteChDir(const std::string& strRemoteDir);
    bool CreateDirectory(const std::string& strDirectory);
    bool GetFile(const std::string& strRemoteFile, const std::string& strLocalFile);
    bool PutFile(const std::string& strLocalFile, const std::string& strRemoteFile);

    // ---- pieces, public for their tests --------------------------------------------------
    struct Entry {
        std::string name;
        int attributes = 0;
        std::int64_t size = 0;
    };
    // What may go into a command: no CR, LF or NUL; a host of name, address
    // and port characters only.
    static bool safeText(const std::string& s);
    static bool safeHost(const std::string& host);
    // Opens the file to see that it is a regular file this process can read;
    // false with the reason in `error` otherwise.
    static bool readableFile(const std::string& path, std::string& error);
    static std::string GetPathFromFTPPath(const std::string& p);
    static std::string GetNameFromFTPPath(const std::string& p);
    static std::string TrimNulls(const std::string& s);
    static std::string GetEnglishAttributes(int attributes);
    // A listing's lines: MLSD facts, or LIST in its Unix or DOS form. "." and
    // ".." are dropped.
    static std::vector<Entry> parseMlsd(const std::string& text);
    static std::vector<Entry> parseList(const std::string& text);
    // The folder `dir` names from `current`: absolute, without "." or "..",
    // ending without "/" (the root is "/").
    static std::string resolvePath(const std::string& current, const std::string& dir);

private:
    bool ready(); // connected, with a usable handle
    void clearError();
    bool fail(int code, const std::string& text);
    bool perform(const std::string& step);
    void resetRequest();
    std::string urlFor(const std::string& folder, const std::string& file = std::string()) const;
    bool enterFolder(const std::string& folder);
    void FTPEnumerateDir();
    void ClearCollections();

    void* m_curl = nullptr;
    bool m_connected = false;
    std::string m_curDir = "/";
    bool m_listed = false;
    std::vector<Entry> m_entries;
    std::string m_lastError;
    std::string m_lastErrorText;
    char m_errorBuffer[256] = {};
};

} // namespace quillet
