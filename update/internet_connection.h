#pragma once

#include <cstdint>
#include <string>

namespace tv {

// The machine's Internet connection state, as the update check asks for it.
// The state is Quillet's (NetConnection), so one switch (its
// SetConnectionState, or QUILLET_CONNECTION_STATE=online|offline for a whole
// process) serves both. Reading never fails.
class CInternetConnection {
public:
    static constexpr uint32_t ErrInvalidWorkMode = 0x80044525;
    static constexpr uint32_t ErrCannotSetOption = 0x80044526;

    bool Connected() const;
    // The interface that carries the default route ("eth0"), or "".
    std::string ConnectionName() const;
    // 1 modem, 2 LAN, 3 proxy, 4 none.
    int32_t ConnectionType() const;
    bool RasInstalled() const { return false; } // no dial-up here
    // 1 working off line (set by the program), else 2.
    int32_t WorkMode() const;
    // 1 works off line, 2 goes back to the machine's state; anything else
    // raises "Invalid work mode".
    void WorkMode(int32_t mode);
};

} // namespace tv
