#pragma once

#include <optional>

namespace quillet {

// Whether the machine is on line: a network interface other than loopback is
// up with an address and a default route exists. Dial-up does not exist
// here: dialling and hanging up report the connection state.
class NetConnection {
public:
    // "Either prompts to dial the Internet or connects automatically.
    // Synchronous, returns a boolean value dependant on success."
    bool DialInternet(bool Automatic = true);
    // "Hangs up an Internet connection dialled using DialInternet, returning a
    // boolean dependant on success."
    bool HangupInternet();
    // "Returns a boolean value dependant on whether the current machine is
    // connected to the Internet."
    bool IsConnected() const;

    // Makes every NetConnection (and every WebParser) report this state
    // instead of the machine's; nullopt goes back to the machine's state.
    // The environment variable QUILLET_CONNECTION_STATE (online or offline)
    // sets it for a whole process from its start.
    static void SetConnectionState(std::optional<bool> connected);
};

} // namespace quillet
