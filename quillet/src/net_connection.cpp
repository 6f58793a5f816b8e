#include <quillet/net_connection.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <ifaddrs.h>
#include <net/if.h>
#include <set>
#include <sstream>
#include <string>

namespace quillet {

namespace {

// QUILLET_CONNECTION_STATE=online|offline sets the state for the whole process.
int overrideFromEnvironment() {
    const char* state = std::getenv("QUILLET_CONNECTION_STATE");
    if (!state) return -1;
    std::string s(state);
    if (s == "online") return 1;
    if (s == "offline") return 0;
    return -1;
}

// -1: the machine's state; 0 or 1: the state a client (or the environment) set.
std::atomic<int> g_override{overrideFromEnvironment()};

// Interfaces that carry a default route, from the kernel's routing table.
std::set<std::string> defaultRouteInterfaces() {
    std::set<std::string> out;
    for (const char* table : {"/proc/net/route", "/proc/net/ipv6_route"}) {
        std::ifstream in(table);
        std::string line;
        bool v6 = std::string(table).find("ipv6") != std::string::npos;
        if (!v6) std::getline(in, line); // header
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            if (v6) {
                std::string dest, destLen, src, srcLen, next, metric, ref, use, flags, iface;
                fields >> dest >> destLen >> src >> srcLen >> next >> metric >> ref >> use >>
                    flags >> iface;
                if (dest == std::string(32, '0') && destLen == "00" && iface != "lo")
                    out.insert(iface);
            } else {
                std::string iface, dest;
                fields >> iface >> dest;
                if (dest == "00000000" && iface != "lo") out.insert(iface);
            }
        }
    }
    return out;
}

bool machineConnected() {
    std::set<std::string> routed = defaultRouteInterfaces();
    if (routed.empty()) return false;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool up = false;
    for (ifaddrs* a = list; a && !up; a = a->ifa_next) {
        if (!a->ifa_addr || (a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP)) continue;
        int family = a->ifa_addr->sa_family;
        if ((family == AF_INET || family == AF_INET6) && routed.count(a->ifa_name)) up = true;
    }
    freeifaddrs(list);
    return up;
}

} // namespace

bool NetConnection::IsConnected() const {
    int o = g_override.load();
    return o >= 0 ? o == 1 : machineConnected();
}

bool NetConnection::DialInternet(bool) {
    return IsConnected();
}

bool NetConnection::HangupInternet() {
    return true;
}

void NetConnection::SetConnectionState(std::optional<bool> connected) {
    g_override = connected ? (*connected ? 1 : 0) : -1;
}

} // namespace quillet
