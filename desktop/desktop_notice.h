#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct sd_bus;
struct sd_bus_message;

namespace tv {

// Notices on the desktop through the freedesktop notification service on
// the user's session bus, and the actions the user chose on them.
class DesktopNotices {
public:
    // Connects to the session bus; without one, connected() is false and
    // every notice is left to the caller's own log.
    DesktopNotices();
    ~DesktopNotices();
    DesktopNotices(const DesktopNotices&) = delete;
    DesktopNotices& operator=(const DesktopNotices&) = delete;

    bool connected() const { return m_bus != nullptr; }
    // Why there is no connection, or why the last notice was not shown.
    const std::string& error() const { return m_error; }

    struct Action {
        std::string key;   // what the program hears back
        std::string label; // what the user reads
    };
    // Shows a notice; its id, or 0 (with error()) when none was shown.
    // Actions are offered only where the service can show them.
    uint32_t show(const std::string& summary, const std::string& body,
                  const std::vector<Action>& actions = {});
    bool offersActions();
    // Takes a notice off the desktop (one whose action was taken); a
    // service that cannot is left as it is.
    void close(uint32_t id);

    // Waitable (poll, for events()) when the bus has something; -1 without one.
    int fd() const;
    int events() const;
    // Reads what the bus holds; true when an action was chosen or a notice
    // closed since they were last taken (then there is no waiting on fd()).
    bool hasWaiting();
    // Each action chosen since, as (notice, key); each notice closed since.
    std::vector<std::pair<uint32_t, std::string>> takeActions();
    std::vector<uint32_t> takeClosed();

private:
    sd_bus* m_bus = nullptr;
    std::string m_error;
    int m_actionsOffered = -1; // not yet asked
    std::vector<std::pair<uint32_t, std::string>> m_chosen;
    std::vector<uint32_t> m_closed;
    std::string m_server; // the unique bus name of the service that answered
    bool fromServer(sd_bus_message* m) const;
    void process();
    friend struct ActionHeard;
};

} // namespace tv
