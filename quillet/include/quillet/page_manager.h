#pragma once

// PageManager fills page templates with content and sends each finished
// page to its FTP server, telling the client what happened through
// IncomingMessage (in entry order, on the caller's thread).

#include <quillet/types.h>

#include <functional>
#include <string>
#include <vector>

namespace quillet {

class PageManager {
public:
    // "Passes the page data to use over to the PageManager object, ready for
    // putting into Web pages."
    void SetPageData(const std::vector<PageData>& PageDataArray) { m_pages = PageDataArray; }
    // "Passes details of your HTML pages and the servers they ultimately
    // reside on, over to PageManager, ready for processing."
    void SetServerData(const std::vector<ServerData>& ServerDataArray) {
        m_servers = ServerDataArray;
    }
    // "Used after the SetPageData and SetServerData methods. Places content
    // onto your pages, then sends it to the servers via FTP." Every tag is
    // found without regard to case, in one pass over the template, so text a
    // tag put in is never taken for another tag; then @ShortDate, @LongDate,
    // @Time, @RemoteServer, @RemoteFileName and @LocalFileName.
    void ProcessPages();

    // "Informs the client of any issues raised by the ProcessPages method."
    std::function<void(const std::string& MessageText, MessageType MessagePriority)>
        IncomingMessage;

private:
    void tell(const std::string& text, MessageType priority);
    // One entry: its template filled a block at a time into a temporary
    // file (never whole in memory), then sent.
    void publish(const ServerData& server);
    std::vector<PageData> m_pages;
    std::vector<ServerData> m_servers;
};

} // namespace quillet
