#include "simlink/sim_command_mailbox.h"

#include <utility>

#include "simlink/position_stream.h"
#include "simlink/sim_client_internal.h"
#include "simlink/simconnect_ids.h"
#include "simlink/user_aircraft.h"

SimCommandMailbox g_simCommandMailbox;
std::atomic<uint32_t> g_nextCreateRequestId{FIRST_CREATION_REQUEST_ID};

uint32_t gf_createSimObject(const CreateAcCmd& cmd)
{
    std::lock_guard lock(g_simCommandMailbox.mutex);
    CreateAcCmd& queued = g_simCommandMailbox.queues.b.emplace_back(cmd);
    queued.requestId = g_nextCreateRequestId.fetch_add(1);
    return queued.requestId;
}

void gf_removeSimObject(uint32_t objectId)
{
    g_positionBuffer.erase(objectId);
    std::lock_guard lock(g_simCommandMailbox.mutex);
    g_simCommandMailbox.queues.c.push_back(objectId);
}

UserAcPosition gf_requestUserAcPosition()
{
    gf_postDataRequest(DataRequestKind::UserPosition, 0);
    return gf_getUserAcPosition();
}

void gf_engineStart(uint32_t objectId)
{
    gf_postSimCommand({objectId, SimEventId::ENGINE_AUTO_START, 0});
}

void gf_engineShutdown(uint32_t objectId)
{
    gf_postSimCommand({objectId, SimEventId::ENGINE_AUTO_SHUTDOWN, 0});
}

void gf_setLights(uint32_t objectId, const LightStates& lights)
{
    std::lock_guard lock(g_simCommandMailbox.mutex);
    auto& a = g_simCommandMailbox.queues.a;
    a.push_back({objectId, SimEventId::NAV_LIGHTS_SET, lights.nav});
    a.push_back({objectId, SimEventId::BEACON_LIGHTS_SET, lights.beacon});
    a.push_back({objectId, SimEventId::LANDING_LIGHTS_SET, lights.landing});
    a.push_back({objectId, SimEventId::TAXI_LIGHTS_SET, lights.taxi});
    a.push_back({objectId, SimEventId::STROBES_SET, lights.strobes});
    a.push_back({objectId, SimEventId::LOGO_LIGHTS_SET, lights.logo});
    a.push_back({objectId, SimEventId::CABIN_LIGHTS_SET, lights.cabin});
}

void gf_setNavLights(uint32_t objectId, uint32_t value)
{
    gf_postSimCommand({objectId, SimEventId::NAV_LIGHTS_SET, value});
}

void gf_setCabinLights(uint32_t objectId, uint32_t value)
{
    gf_postSimCommand({objectId, SimEventId::CABIN_LIGHTS_SET, value});
}

void gf_setSpoilersThrust(uint32_t objectId, bool on, bool reverse)
{
    std::lock_guard lock(g_simCommandMailbox.mutex);
    g_simCommandMailbox.queues.e.push_back({objectId, static_cast<uint8_t>(on), static_cast<uint8_t>(reverse)});
}

void gf_postSimCommand(const SimCommand& cmd)
{
    std::lock_guard lock(g_simCommandMailbox.mutex);
    g_simCommandMailbox.queues.a.push_back(cmd);
}

void gf_postDataRequest(DataRequestKind kind, uint32_t objectId)
{
    std::lock_guard lock(g_simCommandMailbox.mutex);
    g_simCommandMailbox.queues.d.push_back({kind, objectId});
}

void gf_postFlightPlan(uint32_t objectId, std::wstring path)
{
    std::lock_guard lock(g_simCommandMailbox.mutex);
    g_simCommandMailbox.queues.f.push_back({objectId, std::move(path)});
}

void gf_clearCommandMailbox(SimCommandQueues& queues)
{
    queues.a.clear();
    queues.b.clear();
    queues.c.clear();
    queues.d.clear();
    queues.e.clear();
    queues.f.clear();
}

void gf_resetCommandMailbox()
{
    std::lock_guard lock(g_simCommandMailbox.mutex);
    auto& q = g_simCommandMailbox.queues;
    q.a.reserve(512);
    q.b.reserve(256);
    q.c.reserve(256);
    q.d.reserve(64);
    q.e.reserve(128);
    q.f.reserve(64);
    gf_clearCommandMailbox(q);
}

SimCommandQueues gf_takeCommandQueues()
{
    std::lock_guard lock(g_simCommandMailbox.mutex);
    return std::exchange(g_simCommandMailbox.queues, SimCommandQueues{});
}
