// Settings, mode and airport set-up shared by the feed tests.
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <memory>
#include <mutex>
#include <shared_mutex>

#include "airports/airport_database.h"
#include "core/settings_snapshot.h"
#include "engine/traffic_state.h"

namespace kvr::test {

inline void setRTApp(bool rtApp)
{
    auto m = std::make_shared<ModeSettings>(*g_modeSettings.load());
    m->rtApp = rtApp;
    g_modeSettings.store(m);
}

inline void setRangeNm(double nm)
{
    gf_modifyParameters([nm](Parameters& p) {
        p.rangeNm = nm;
        p.rangeNmSquared = nm * nm;
    });
}

inline void setCurrentAirport(uint32_t code, double lat, double lon, double altitude)
{
    std::unique_lock lock(engineLock);
    CurrentAirport = CurrentAirportRecord{code, lat, lon, altitude, IataCode()};
}

// A port of the kind that is free now (Winsock must be started).
inline uint16_t freePort(int type, int protocol)
{
#if defined(_WIN32)
    SOCKET s = socket(AF_INET, type, protocol);
    int len = sizeof(sockaddr_in);
#else
    const int s = socket(AF_INET, type, protocol);
    socklen_t len = sizeof(sockaddr_in);
#endif
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
#if defined(_WIN32)
    closesocket(s);
#else
    close(s);
#endif
    return ntohs(a.sin_port);
}
inline uint16_t freeTcpPort()
{
    return freePort(SOCK_STREAM, IPPROTO_TCP);
}
inline uint16_t freeUdpPort()
{
    return freePort(SOCK_DGRAM, IPPROTO_UDP);
}

} // namespace kvr::test
