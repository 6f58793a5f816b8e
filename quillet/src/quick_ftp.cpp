#include <quillet/quick_ftp.h>

#include "inet_ftp.h"

#include <QCoreApplication>

namespace quillet {

namespace {

// Lets a client's window repaint between the long steps.
void letEventsRun() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

// One whole session around `transfer`.
template <typename F>
bool session(const std::string& host, const std::string& user, const std::string& password,
             const std::string& remoteName, TransferTypes type, std::string& lastError,
             F transfer) {
    // Refused before anything is sent.
    if (!INetFTP::safeHost(host) || !INetFTP::safeText(user) || !INetFTP::safeText(password) ||
        !INetFTP::safeText(remoteName)) {
        lastError = "the host, user name, password or remote name holds a character an FTP "
                    "command cannot carry";
        return false;
    }
    INetFTP ftp;
    bool ok = ftp.OpenSession();
    ftp.TransferType = type;
    ftp.Server = host;
    ftp.UserName = user;
    ftp.Password = password;
    ok = ok && ftp.Connect();
    letEventsRun();
    ok = ok && transfer(ftp);
    lastError = ok ? std::string() : ftp.LastErrorText();
    if (!ok && lastError.empty())
        lastError = "the server could not be reached or refused the login";
    letEventsRun();
    ftp.Disconnect();
    ftp.CloseSession();
    letEventsRun();
    return ok;
}

} // namespace

bool QuickFTP::SendFile(const std::string& RemoteHost, const std::string& UserName,
                        const std::string& Password, const std::string& LocalFileName,
                        const std::string& RemoteFileName) {
    if (RemoteFileName.empty()) {
        m_lastError = "no remote file name";
        return false;
    }
    // A local file that cannot be sent is found before the server hears of
    // it: a STOR for a folder or an unreadable file would empty the remote one.
    if (!INetFTP::readableFile(LocalFileName, m_lastError)) return false;
    return session(RemoteHost, UserName, Password, RemoteFileName, m_transferType, m_lastError,
                   [&](INetFTP& ftp) { return ftp.PutFile(LocalFileName, RemoteFileName); });
}

bool QuickFTP::GetFile(const std::string& RemoteHost, const std::string& UserName,
                       const std::string& Password, const std::string& RemoteFileName,
                       const std::string& LocalFileName) {
    return session(RemoteHost, UserName, Password, RemoteFileName, m_transferType, m_lastError,
                   [&](INetFTP& ftp) { return ftp.GetFile(RemoteFileName, LocalFileName); });
}

} // namespace quillet
