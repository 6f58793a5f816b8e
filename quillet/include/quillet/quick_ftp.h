#pragma once

// QuickFTP: one call sends a file to an FTP server or fetches one from it.
// Each call opens a session, logs in (passive mode), transfers and closes
// again; only the transfer type is kept between calls. A host may carry a
// port ("ftp.example.org:2121"). A download replaces the local file only
// when it arrived whole; a failed one leaves the old file as it was.

#include <quillet/types.h>

#include <string>

namespace quillet {

class QuickFTP {
public:
    // "Sends a local file to a server, via FTP. Returns a boolean value
    // dependant on success." Without a remote name nothing is sent.
    bool SendFile(const std::string& RemoteHost, const std::string& UserName,
                  const std::string& Password, const std::string& LocalFileName,
                  const std::string& RemoteFileName = std::string());
    // "Retrieves a remote file to the local machine, via FTP. Returns a
    // boolean value dependant on success." A bare name is fetched from the
    // server's root folder; a folder that cannot be entered fails.
    bool GetFile(const std::string& RemoteHost, const std::string& UserName,
                 const std::string& Password, const std::string& RemoteFileName,
                 const std::string& LocalFileName);
    // "Sets the transfer type - ASCII or Binary - to use when sending or
    // receiving files via the QuickFTP object. Of the TransferTypes
    // enumeration." A new object transfers in binary (type 0, unspecified).
    TransferTypes TransferType() const { return m_transferType; }
    void TransferType(TransferTypes type) { m_transferType = type; }

    // Why the last call failed, in words ("" after a success); it never
    // holds the password.
    const std::string& LastErrorText() const { return m_lastError; }

private:
    TransferTypes m_transferType = static_cast<TransferTypes>(0);
    std::string m_lastError;
};

} // namespace quillet
