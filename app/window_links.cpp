#include "app/window_links.h"

#include <mutex>

namespace {
std::mutex linksMutex;
WindowLinks links;
} // namespace

WindowLinks gf_setWindowLinks(const WindowLinks& next)
{
    std::lock_guard lock(linksMutex);
    WindowLinks before = links;
    links = next;
    return before;
}

namespace {
WindowLinks current()
{
    std::lock_guard lock(linksMutex);
    return links;
}
} // namespace

uint8_t gf_simConnectionState()
{
    const WindowLinks l = current();
    return l.simConnectionState ? l.simConnectionState() : 0;
}

bool gf_realTrafficConnected()
{
    const WindowLinks l = current();
    return l.realTrafficConnected ? l.realTrafficConnected() : false;
}

std::optional<int64_t> gf_simulatorUtcSeconds()
{
    const WindowLinks l = current();
    return l.simulatorUtcSeconds ? l.simulatorUtcSeconds() : std::nullopt;
}

void gf_runAutoRange()
{
    const WindowLinks l = current();
    if (l.autoRange)
        l.autoRange();
}

void gf_askRTAppForParkedTraffic()
{
    const WindowLinks l = current();
    if (l.requestRTAppParkedTraffic)
        l.requestRTAppParkedTraffic();
}

void gf_closeRTAppServer()
{
    const WindowLinks l = current();
    if (l.closeRTAppServer)
        l.closeRTAppServer();
}
