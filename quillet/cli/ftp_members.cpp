// The quillet program's FTP and publishing members.

#include "cli_members.h"

#include <quillet/page_manager.h>
#include <quillet/quick_ftp.h>

#include <fstream>

namespace quillet::cli {

namespace {

// "-" as a password: the next line of standard input, so the password stays
// out of the process list.
std::string password(Args& a) {
    std::string p = a.text();
    if (p != "-" || !a.in) return p;
    std::string line;
    std::getline(*a.in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

Printed transferResult(Args& a, bool ok, const QuickFTP& ftp) {
    if (!ok) {
        a.failed = true;
        if (a.err) *a.err << "quillet: " << ftp.LastErrorText() << '\n';
    }
    return yesNo(ok);
}

// One record per line, tab-separated, with \t, \n, \r and \\ inside fields.
std::vector<std::vector<std::string>> readRecords(const std::string& path, bool& readable) {
    std::vector<std::vector<std::string>> records;
    std::ifstream in(path, std::ios::binary);
    readable = static_cast<bool>(in);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<std::string> fields(1);
        for (size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (c == '\t') {
                fields.emplace_back();
            } else if (c == '\\' && i + 1 < line.size()) {
                char e = line[++i];
                fields.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
            } else {
                fields.back() += c;
            }
        }
        records.push_back(std::move(fields));
    }
    return records;
}

std::string fieldAt(const std::vector<std::string>& r, size_t i) {
    return i < r.size() ? r[i] : std::string();
}

const char* priorityName(MessageType t) {
    switch (t) {
    case Information:
        return "Information";
    case Error:
        return "Error";
    case Critical:
        return "Critical";
    }
    return "Information";
}

} // namespace

void addFtpMembers(std::map<std::string, Member>& table) {
    table.insert(
        {"SendFile",
         {"HOST[:PORT] USER PASS LOCAL [REMOTE]  (QuickFTP; PASS \"-\": read from standard input)",
          [](WebParser&, Args& a) -> Printed {
              std::string host = a.text(), user = a.text();
              std::string pass = password(a);
              std::string local = a.text();
              std::string remote = a.optText().value_or("");
              if (a.bad) return std::nullopt;
              QuickFTP ftp;
              ftp.TransferType(static_cast<TransferTypes>(a.transferType));
              bool ok = ftp.SendFile(host, user, pass, local, remote);
              return transferResult(a, ok, ftp);
          },
          false}});
    table.insert({"GetFile",
                  {"HOST[:PORT] USER PASS REMOTE LOCAL  (QuickFTP)",
                   [](WebParser&, Args& a) -> Printed {
                       std::string host = a.text(), user = a.text();
                       std::string pass = password(a);
                       std::string remote = a.text(), local = a.text();
                       if (a.bad) return std::nullopt;
                       QuickFTP ftp;
                       ftp.TransferType(static_cast<TransferTypes>(a.transferType));
                       bool ok = ftp.GetFile(host, user, pass, remote, local);
                       return transferResult(a, ok, ftp);
                   },
                   false}});
    table.insert(
        {"ProcessPages",
         {"PAGES.tsv SERVERS.tsv  (PageManager; lines of Tag<TAB>Content and of "
          "RemoteHost<TAB>UserName<TAB>Password<TAB>LocalFileName<TAB>RemoteFileName; prints "
          "each message as Priority: text)",
          [](WebParser&, Args& a) -> Printed {
              std::string pagesFile = a.text(), serversFile = a.text();
              if (a.bad) return std::nullopt;
              bool pagesRead = false, serversRead = false;
              std::vector<PageData> pages;
              for (const auto& r : readRecords(pagesFile, pagesRead))
                  pages.push_back({fieldAt(r, 0), fieldAt(r, 1)});
              std::vector<ServerData> servers;
              for (const auto& r : readRecords(serversFile, serversRead))
                  servers.push_back(
                      {fieldAt(r, 0), fieldAt(r, 1), fieldAt(r, 2), fieldAt(r, 3), fieldAt(r, 4)});
              if (!pagesRead || !serversRead) {
                  if (a.err)
                      *a.err << "quillet: cannot read " << (pagesRead ? serversFile : pagesFile)
                             << '\n';
                  a.failed = true;
                  return std::nullopt;
              }
              PageManager manager;
              std::string printed;
              manager.IncomingMessage = [&](const std::string& text, MessageType priority) {
                  if (priority != Information) a.failed = true;
                  if (!printed.empty()) printed += '\n';
                  printed += std::string(priorityName(priority)) + ": " + text;
              };
              manager.SetPageData(pages);
              manager.SetServerData(servers);
              manager.ProcessPages();
              if (printed.empty()) return std::nullopt;
              return printed;
          },
          false}});
}

} // namespace quillet::cli
