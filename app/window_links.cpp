#include "app/window_links.h"

#include <mutex>

#include "feed/feed_flags.h"
#include "feed/rt_app_link.h"
#include "feed/rt_app_readers.h"
#include "simlink/sim_link_state.h"
#include "simlink/user_aircraft.h"

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
    return l.simConnectionState ? l.simConnectionState() : g_linkState.load();
}

bool gf_realTrafficConnected()
{
    const WindowLinks l = current();
    return l.realTrafficConnected ? l.realTrafficConnected() : feedConnected.load();
}

std::optional<int64_t> gf_simulatorUtcSeconds()
{
    const WindowLinks l = current();
    if (l.simulatorUtcSeconds)
        return l.simulatorUtcSeconds();
    if (!simulatorUtcTime.valid.load())
        return std::nullopt;
    return simulatorUtcTime.seconds.load();
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
    else
        gf_requestRTAppParkedTraffic();
}

void gf_closeRTAppServer()
{
    const WindowLinks l = current();
    if (l.closeRTAppServer)
        l.closeRTAppServer();
    else
        gf_rtAppServer().closeSockets(); // nothing to close before it started
}
