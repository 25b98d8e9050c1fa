// What the window reads from, and asks of, the simulator link, the RealTraffic
// feed and the main loop. The main task may register its own functions here;
// until one is registered the window reads the simulator link's and the
// feed's published state and asks nothing.
#pragma once

#include <cstdint>
#include <optional>

struct WindowLinks {
    // The simulator connection state: 0 not connected, 1 connected and
    // stopped, 2 running, 3 the simulator quit.
    uint8_t (*simConnectionState)() = nullptr;
    // True while a RealTraffic link is up (RT App handshake done or RT Direct
    // signed in).
    bool (*realTrafficConnected)() = nullptr;
    // The simulator's UTC time in seconds since 1970, when it is valid.
    std::optional<int64_t> (*simulatorUtcSeconds)() = nullptr;
    // The automatic traffic range from the user's flight level.
    void (*autoRange)() = nullptr;
    // Asks the RealTraffic App for parked traffic (RT App mode).
    void (*requestRTAppParkedTraffic)() = nullptr;
    // Closes the RT App server's sockets when the server has been started.
    void (*closeRTAppServer)() = nullptr;
};

// Replaces the registered functions; returns the ones before.
WindowLinks gf_setWindowLinks(const WindowLinks& links);

// The calls, each with its answer while nothing is registered.
uint8_t gf_simConnectionState();               // g_linkState
bool gf_realTrafficConnected();                // feedConnected
std::optional<int64_t> gf_simulatorUtcSeconds(); // the simulator link's own time
void gf_runAutoRange();                        // nothing
void gf_askRTAppForParkedTraffic();            // the RT App readers' request
void gf_closeRTAppServer();                    // the RT App server's sockets closed
