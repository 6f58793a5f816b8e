#pragma once
// A session bus of the test's own (dbus-daemon) and a notification service
// on it that keeps what it was asked to show and can say an action was chosen.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace tvtest {

class SessionBus {
public:
    SessionBus(); // started in a temporary folder; usable() false without dbus-daemon
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;
    bool usable() const { return !m_address.empty(); }
    // DBUS_SESSION_BUS_ADDRESS's value.
    const std::string& address() const { return m_address; }

private:
    std::string m_folder, m_address;
    pid_t m_pid = -1;
};

// ActionInvoked for notice `id`, sent by another program on the bus (not the
// notification service).
void sendActionFromElsewhere(const SessionBus& bus, uint32_t id, const std::string& key);

class FakeNotifications {
public:
    struct Shown {
        uint32_t id;
        std::string summary, body;
        std::vector<std::string> actions; // key, label, key, label, ...
    };
    explicit FakeNotifications(const SessionBus& bus, bool withActions = true);
    ~FakeNotifications();
    FakeNotifications(const FakeNotifications&) = delete;
    FakeNotifications& operator=(const FakeNotifications&) = delete;
    bool ready() const { return m_ready; }
    std::vector<Shown> shown() const;
    std::vector<uint32_t> closed() const; // the notices the program closed
    // Waits (up to 10 s) until at least `count` notices were shown.
    bool waitForShown(size_t count) const;
    // As if the user chose the action `key` on notice `id`.
    void choose(uint32_t id, const std::string& key);

    struct State; // shared with the service's thread

private:
    State* m_state;
    std::thread m_thread;
    std::atomic<bool> m_ready{false}, m_stop{false};
};

} // namespace tvtest
