#include "session_bus.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tvtest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

SessionBus::SessionBus() {
    char tmpl[] = "/tmp/tvbus-XXXXXX";
    if (!::mkdtemp(tmpl)) return;
    m_folder = tmpl;
    const std::string socket = m_folder + "/bus";
    const std::string address = "--address=unix:path=" + socket;
    const char* argv[] = {"dbus-daemon", "--session",     "--nofork",
                          "--nopidfile", address.c_str(), nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    const int r =
        ::posix_spawnp(&m_pid, "dbus-daemon", &files, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&files);
    if (r != 0) {
        m_pid = -1;
        return;
    }
    for (int i = 0; i < 500 && !fs::exists(socket); ++i)
        std::this_thread::sleep_for(10ms);
    if (fs::exists(socket)) m_address = "unix:path=" + socket;
}

SessionBus::~SessionBus() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    std::error_code ec;
    if (!m_folder.empty()) fs::remove_all(m_folder, ec);
}

struct FakeNotifications::State {
    mutable std::mutex lock;
    std::vector<Shown> shown;
    std::vector<uint32_t> closed;                        // CloseNotification asked
    std::vector<std::pair<uint32_t, std::string>> toSay; // actions to signal
    bool withActions = true;
};

namespace {

constexpr const char* kName = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";

int notify(sd_bus_message* m, void* data, sd_bus_error*) {
    auto* state = static_cast<FakeNotifications::State*>(data);
    const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
    uint32_t replaces = 0;
    FakeNotifications::Shown shown;
    if (sd_bus_message_read(m, "susss", &app, &replaces, &icon, &summary, &body) < 0)
        return -EINVAL;
    shown.summary = summary;
    shown.body = body;
    if (sd_bus_message_enter_container(m, 'a', "s") > 0) {
        const char* a = nullptr;
        while (sd_bus_message_read(m, "s", &a) > 0)
            shown.actions.push_back(a);
        sd_bus_message_exit_container(m);
    }
    std::lock_guard<std::mutex> g(state->lock);
    shown.id = static_cast<uint32_t>(state->shown.size() + 1);
    state->shown.push_back(shown);
    return sd_bus_reply_method_return(m, "u", shown.id);
}

int closeNotice(sd_bus_message* m, void* data, sd_bus_error*) {
    auto* state = static_cast<FakeNotifications::State*>(data);
    uint32_t id = 0;
    if (sd_bus_message_read(m, "u", &id) < 0) return -EINVAL;
    std::lock_guard<std::mutex> g(state->lock);
    state->closed.push_back(id);
    return sd_bus_reply_method_return(m, "");
}

int capabilities(sd_bus_message* m, void* data, sd_bus_error*) {
    auto* state = static_cast<FakeNotifications::State*>(data);
    return state->withActions ? sd_bus_reply_method_return(m, "as", 2, "body", "actions")
                              : sd_bus_reply_method_return(m, "as", 1, "body");
}

const sd_bus_vtable kTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", notify, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetCapabilities", "", "as", capabilities, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("CloseNotification", "u", "", closeNotice, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

} // namespace

void sendActionFromElsewhere(const SessionBus& bus, uint32_t id, const std::string& key) {
    sd_bus* b = nullptr;
    if (sd_bus_new(&b) < 0) return;
    sd_bus_set_address(b, bus.address().c_str());
    sd_bus_set_bus_client(b, 1);
    if (sd_bus_start(b) >= 0)
        sd_bus_emit_signal(b, kPath, kName, "ActionInvoked", "us", id, key.c_str());
    sd_bus_flush_close_unref(b);
}

FakeNotifications::FakeNotifications(const SessionBus& bus, bool withActions) : m_state(new State) {
    m_state->withActions = withActions;
    const std::string address = bus.address();
    m_thread = std::thread([this, address] {
        sd_bus* b = nullptr;
        if (sd_bus_new(&b) < 0) return;
        sd_bus_set_address(b, address.c_str());
        sd_bus_set_bus_client(b, 1);
        if (sd_bus_start(b) < 0 ||
            sd_bus_add_object_vtable(b, nullptr, kPath, kName, kTable, m_state) < 0 ||
            sd_bus_request_name(b, kName, 0) < 0) {
            sd_bus_unref(b);
            return;
        }
        m_ready = true;
        while (!m_stop) {
            while (sd_bus_process(b, nullptr) > 0) {
            }
            std::vector<std::pair<uint32_t, std::string>> say;
            {
                std::lock_guard<std::mutex> g(m_state->lock);
                say.swap(m_state->toSay);
            }
            for (const auto& [id, key] : say)
                sd_bus_emit_signal(b, kPath, kName, "ActionInvoked", "us", id, key.c_str());
            sd_bus_flush(b);
            sd_bus_wait(b, 20'000);
        }
        sd_bus_flush_close_unref(b);
    });
    for (int i = 0; i < 500 && !m_ready; ++i)
        std::this_thread::sleep_for(10ms);
}

FakeNotifications::~FakeNotifications() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    delete m_state;
}

std::vector<uint32_t> FakeNotifications::closed() const {
    std::lock_guard<std::mutex> g(m_state->lock);
    return m_state->closed;
}

std::vector<FakeNotifications::Shown> FakeNotifications::shown() const {
    std::lock_guard<std::mutex> g(m_state->lock);
    return m_state->shown;
}

bool FakeNotifications::waitForShown(size_t count) const {
    for (int i = 0; i < 1000; ++i) {
        if (shown().size() >= count) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

void FakeNotifications::choose(uint32_t id, const std::string& key) {
    std::lock_guard<std::mutex> g(m_state->lock);
    m_state->toSay.emplace_back(id, key);
}

} // namespace tvtest
