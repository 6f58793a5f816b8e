#include "desktop_notice.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>

namespace tv {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr uint64_t kCallTimeoutUs = 5'000'000;

std::string busError(const sd_bus_error& e, int r) {
    if (e.message) return e.message;
    return std::strerror(r < 0 ? -r : r);
}

} // namespace

// Each action chosen on a notice, kept until it is taken.
struct ActionHeard {
    static int onSignal(sd_bus_message* m, void* self, sd_bus_error*) {
        uint32_t id = 0;
        const char* key = nullptr;
        auto* notices = static_cast<DesktopNotices*>(self);
        if (!notices->fromServer(m)) return 0;
        if (sd_bus_message_read(m, "us", &id, &key) >= 0 && key)
            notices->m_chosen.emplace_back(id, key);
        return 0;
    }
    static int onClosed(sd_bus_message* m, void* self, sd_bus_error*) {
        uint32_t id = 0, reason = 0;
        auto* notices = static_cast<DesktopNotices*>(self);
        if (notices->fromServer(m) && sd_bus_message_read(m, "uu", &id, &reason) >= 0)
            notices->m_closed.push_back(id);
        return 0;
    }
};

DesktopNotices::DesktopNotices() {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_user(&bus);
    if (r < 0) {
        // Nothing names a bus (no DBUS_SESSION_BUS_ADDRESS, no
        // $XDG_RUNTIME_DIR/bus), or the one named does not answer.
        m_error = r == -ENOMEDIUM || r == -ENOENT
                      ? "there is no session bus"
                      : std::string("the session bus does not answer: ") + std::strerror(-r);
        return;
    }
    m_bus = bus;
    // ActionInvoked reaches every listener; the notices are told apart by id.
    const int m = sd_bus_match_signal(m_bus, nullptr, nullptr, kPath, kService, "ActionInvoked",
                                      &ActionHeard::onSignal, this);
    const int c = sd_bus_match_signal(m_bus, nullptr, nullptr, kPath, kService,
                                      "NotificationClosed", &ActionHeard::onClosed, this);
    if (m < 0 || c < 0)
        m_error = std::string("actions cannot be heard: ") + std::strerror(m < 0 ? -m : -c);
}

DesktopNotices::~DesktopNotices() {
    if (m_bus) sd_bus_flush_close_unref(m_bus);
}

bool DesktopNotices::offersActions() {
    if (!m_bus) return false;
    if (m_actionsOffered >= 0) return m_actionsOffered == 1;
    sd_bus_error e = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    m_actionsOffered = 0;
    if (sd_bus_call_method(m_bus, kService, kPath, kService, "GetCapabilities", &e, &reply, "") >=
        0) {
        if (sd_bus_message_enter_container(reply, 'a', "s") > 0) {
            const char* cap = nullptr;
            while (sd_bus_message_read(reply, "s", &cap) > 0)
                if (cap && std::strcmp(cap, "actions") == 0) m_actionsOffered = 1;
        }
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&e);
    return m_actionsOffered == 1;
}

uint32_t DesktopNotices::show(const std::string& summary, const std::string& body,
                              const std::vector<Action>& actions) {
    if (!m_bus) return 0;
    const bool withActions = !actions.empty() && offersActions();
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error e = SD_BUS_ERROR_NULL;
    uint32_t id = 0;
    int r = sd_bus_message_new_method_call(m_bus, &call, kService, kPath, kService, "Notify");
    if (r >= 0)
        r = sd_bus_message_append(call, "susss", "Tessvane", 0u, "tessvane", summary.c_str(),
                                  body.c_str());
    if (r >= 0) r = sd_bus_message_open_container(call, 'a', "s");
    for (size_t i = 0; r >= 0 && withActions && i < actions.size(); ++i)
        r = sd_bus_message_append(call, "ss", actions[i].key.c_str(), actions[i].label.c_str());
    if (r >= 0) r = sd_bus_message_close_container(call);
    // The desktop entry lets the service show the program's name and icon.
    if (r >= 0)
        r = sd_bus_message_append(call, "a{sv}", 1, "desktop-entry", "s", "org.example.tessvane");
    if (r >= 0) r = sd_bus_message_append(call, "i", -1);
    if (r >= 0) r = sd_bus_call(m_bus, call, kCallTimeoutUs, &e, &reply);
    if (r >= 0) r = sd_bus_message_read(reply, "u", &id);
    // Only the service that showed the notices speaks for them: another
    // program on the bus cannot choose their Undo.
    if (r >= 0 && sd_bus_message_get_sender(reply)) m_server = sd_bus_message_get_sender(reply);
    if (r < 0) {
        m_error = "the notice could not be shown: " + busError(e, r);
        id = 0;
    }
    sd_bus_error_free(&e);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    return id;
}

void DesktopNotices::close(uint32_t id) {
    if (!m_bus || id == 0) return;
    sd_bus_error e = SD_BUS_ERROR_NULL;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    // As bounded as showing one: a service that hangs does not hold the watch.
    if (sd_bus_message_new_method_call(m_bus, &call, kService, kPath, kService,
                                       "CloseNotification") >= 0 &&
        sd_bus_message_append(call, "u", id) >= 0)
        sd_bus_call(m_bus, call, kCallTimeoutUs, &e, &reply);
    sd_bus_error_free(&e);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
}

int DesktopNotices::fd() const {
    return m_bus ? sd_bus_get_fd(m_bus) : -1;
}

bool DesktopNotices::fromServer(sd_bus_message* m) const {
    const char* sender = sd_bus_message_get_sender(m);
    return sender && !m_server.empty() && m_server == sender;
}

int DesktopNotices::events() const {
    return m_bus ? sd_bus_get_events(m_bus) : 0;
}

void DesktopNotices::process() {
    int r = 0;
    while (m_bus && (r = sd_bus_process(m_bus, nullptr)) > 0) {
    }
    if (r < 0) {
        // The bus went away (its daemon ended): no notices from now on, and
        // nothing left to wait for on it.
        sd_bus_flush_close_unref(m_bus);
        m_bus = nullptr;
        m_error = std::string("the session bus went away: ") + std::strerror(-r);
    }
}

bool DesktopNotices::hasWaiting() {
    process();
    return !m_chosen.empty() || !m_closed.empty();
}

std::vector<std::pair<uint32_t, std::string>> DesktopNotices::takeActions() {
    process();
    return std::exchange(m_chosen, {});
}

std::vector<uint32_t> DesktopNotices::takeClosed() {
    process();
    return std::exchange(m_closed, {});
}

} // namespace tv
