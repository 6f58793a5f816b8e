#include "ftp_server.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

std::string FtpServer::python() {
    static const std::string found = [] {
        for (const char* p : {"/usr/bin/python3", "python3"}) {
            std::string command = std::string(p) + " -c 'import pyftpdlib' >/dev/null 2>&1";
            if (std::system(command.c_str()) == 0) return std::string(p);
        }
        return std::string();
    }();
    return found;
}

FtpServer::FtpServer(const std::string& root, const std::string& user, const std::string& password)
    : m_events(root + ".events") {
    std::string py = python();
    if (py.empty()) return;
    int in[2], out[2];
    if (::pipe(in) != 0) return;
    if (::pipe(out) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::close(in[1]);
        ::close(out[0]);
        std::string script = std::string(TESSVANE_SOURCE_DIR) + "/tools/ftp_server.py";
        ::execlp(py.c_str(), py.c_str(), script.c_str(), root.c_str(), user.c_str(),
                 password.c_str(), m_events.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    // Its first line is the port.
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(out[0]);
    m_port = std::atoi(line.c_str());
}

FtpServer::~FtpServer() {
    if (m_stdin >= 0) ::close(m_stdin); // the server stops when its input ends
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    std::remove(m_events.c_str());
}

int FtpServer::connectionsMade() const {
    std::ifstream in(m_events);
    int made = 0;
    for (std::string line; std::getline(in, line);)
        if (line == "connect") ++made;
    return made;
}

int FtpServer::openConnections(int expected) const {
    int open = 0;
    for (int i = 0; i < 40; ++i) {
        std::ifstream in(m_events);
        open = 0;
        for (std::string line; std::getline(in, line);)
            open += line == "connect" ? 1 : line == "disconnect" ? -1 : 0;
        if (open == expected) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return open;
}
