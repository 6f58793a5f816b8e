#pragma once

// pyftpdlib on 127.0.0.1 and a free port for the duration of one test
// (tools/ftp_server.py), serving a folder of the test's own to one user.
// Every connection and disconnection is noted, so a test can tell that no
// session was left open. `python()` is empty when no Python here has
// pyftpdlib (setup.sh installs python3-pyftpdlib).

#include <cstdio>
#include <string>

class FtpServer {
public:
    FtpServer(const std::string& root, const std::string& user, const std::string& password);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    static std::string python();
    bool running() const { return m_port > 0; }
    int port() const { return m_port; }
    // "127.0.0.1:PORT", as a host for QuickFTP.
    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }
    // How many connections are open now, by the server's own notes (waits
    // up to two seconds for the count to settle at `expected`).
    int openConnections(int expected = 0) const;
    int connectionsMade() const;

private:
    int m_pid = -1;
    int m_stdin = -1;
    int m_port = 0;
    std::string m_events;
};
