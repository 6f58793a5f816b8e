#include "internet_connection.h"

#include "platform/cfile.h"

#include <quillet/net_connection.h>

#include <fstream>
#include <sstream>

namespace tv {

namespace {

// Set by WorkMode(1) in this process.
bool g_offline = false;

} // namespace

bool CInternetConnection::Connected() const {
    return quillet::NetConnection().IsConnected();
}

std::string CInternetConnection::ConnectionName() const {
    if (!Connected()) return {};
    std::ifstream in("/proc/net/route");
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string iface, destination;
        fields >> iface >> destination;
        if (destination == "00000000" && iface != "lo") return iface;
    }
    return {};
}

int32_t CInternetConnection::ConnectionType() const {
    return Connected() ? 2 : 4;
}

int32_t CInternetConnection::WorkMode() const {
    return g_offline ? 1 : 2;
}

void CInternetConnection::WorkMode(int32_t mode) {
    if (mode != 1 && mode != 2)
        throw ComponentError(ErrInvalidWorkMode, "Invalid work mode",
                             programName() + ".CInternetConnection");
    g_offline = mode == 1;
    quillet::NetConnection::SetConnectionState(g_offline ? std::optional<bool>(false)
                                                         : std::nullopt);
}

} // namespace tv
