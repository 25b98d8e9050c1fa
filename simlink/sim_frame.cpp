// The work of one simulator frame on the SimClient thread: the AI positions,
// then the commands that the engine queued, in the order data requests,
// client events, flight plans, creations, removals, spoiler/thrust settings.
#include <fmt/format.h>

#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "simlink/sim_client.h"
#include "simlink/sim_client_internal.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/sim_link_state.h"
#include "simlink/simconnect_ids.h"
#include "simlink/simconnect_loader.h"
#include "simlink/user_aircraft.h"
#include "simlink/user_model.h"

PositionStreamer g_positionStreamer;
LastSentPosition g_lastSentPosition;
std::atomic<bool> g_userReportsRequested{false};

namespace {

bool lf_requestFailed()
{
    return g_linkState.load() == LinkState::RequestFailed;
}

bool lf_request(ScHresult hr, const char* errorLine)
{
    if (hr >= 0)
        return true;
    gf_logError(errorLine);
    gf_onSimConnectRequestError();
    return false;
}

void lf_executeDataRequest(const DataRequestCmd& cmd)
{
    const ScHandle h = g_simHandle.load();
    if (!h || lf_requestFailed())
        return;
    const SimConnectApi& sc = gf_simConnect();
    const auto once = [&](uint32_t request, uint32_t definition, uint32_t objectId) {
        return sc.RequestDataOnSimObject(h, request, definition, objectId, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    };
    switch (cmd.kind) {
    case DataRequestKind::AiInRange:
        lf_request(sc.RequestDataOnSimObjectType(h, AI_POSITION, DEFINITION_AI_GET_POSITION,
                                                 static_cast<ScDword>(gf_parametersSnapshot()->rangeMeters),
                                                 SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
                   "SimConnect request ac within range fails");
        break;
    case DataRequestKind::UserTitleAndModel:
        lf_request(once(USER_AC_TITLE, DEFINITION_USER_AC_GET_TITLE, SIMCONNECT_OBJECT_ID_USER),
                   "SimConnect request user ac title fails");
        lf_request(once(USER_AC_MODEL, DEFINITION_USER_AC_GET_MODEL, SIMCONNECT_OBJECT_ID_USER),
                   "SimConnect request user ac model fails");
        break;
    case DataRequestKind::UserOnGround:
        if (lf_request(sc.RequestDataOnSimObject(h, USER_AC_ON_GROUND, DEFINITION_USER_AC_GET_ONGROUND,
                                                 SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND, 0, 0, 0, 0),
                       "SimConnect request ac gnd/air fails"))
            g_userReportsRequested.store(true);
        break;
    case DataRequestKind::UserPosition:
        lf_request(once(USER_AC_POSITION, DEFINITION_LATLONPIBAVSHETRALTGSZULI, SIMCONNECT_OBJECT_ID_USER),
                   "SimConnect request user ac position fails");
        break;
    case DataRequestKind::StaticCgAndPitch:
        lf_request(once(AI_STATIC_CG_AND_PITCH, DEFINITION_AI_GET_STATIC_CG_AND_PITCH, cmd.objectId),
                   "SimConnect request StaticCG fails");
        break;
    default:
        break;
    }
}

void lf_transmit(const SimCommand& cmd)
{
    const SimConnectApi& sc = gf_simConnect();
    const ScHandle h = g_simHandle.load();
    const bool flaps = cmd.eventId == EVENT_FLAPS_SET;
    if (flaps)
        sc.AIReleaseControl(h, cmd.objectId, REQUEST_AI_RELEASE);
    const ScHresult hr = sc.TransmitClientEvent(h, cmd.objectId, cmd.eventId, cmd.value, TRAFFIC_APP, 0);
    if (hr >= 0 && flaps)
        sc.AIReleaseControl(h, cmd.objectId, REQUEST_AI_RELEASE);
}

void lf_setFlightPlan(const FlightPlanCmd& cmd)
{
    const ScHandle h = g_simHandle.load();
    if (!h || !gf_isMSFS2020())
        return;
    std::string path;
    try {
        path = wide_to_utf8(cmd.path);
    } catch (const std::exception&) {
        return;
    }
    gf_simConnect().AISetAircraftFlightPlan(h, cmd.objectId, path.c_str(), REQUEST_AI_FLIGHT_PLAN);
}

void lf_setSpoilersThrust(const SpoilerThrustCmd& cmd)
{
    const ScHandle h = g_simHandle.load();
    if (!h)
        return;
    double values[3] = {0.0, 0.0, 0.0};
    if (cmd.on) {
        const double thrust = cmd.reverse ? -100.0 : 100.0;
        values[0] = 100.0;
        values[1] = values[2] = thrust;
    }
    gf_simConnect().SetDataOnSimObject(h, DEFINITION_REVERSE_THRUST, cmd.objectId, 0, 0, sizeof values, values);
}

// Runs `run` on each item until the link state turns 3; false then.
template <typename Items, typename Run>
bool lf_runQueue(const Items& items, Run&& run)
{
    for (const auto& item : items) {
        run(item);
        if (lf_requestFailed())
            return false;
    }
    return true;
}

} // namespace

void lf_drainCommandMailbox()
{
    if (lf_requestFailed()) {
        std::lock_guard lock(g_simCommandMailbox.mutex);
        gf_clearCommandMailbox(g_simCommandMailbox.queues);
        return;
    }
    const SimCommandQueues q = gf_takeCommandQueues();
    lf_runQueue(q.d, lf_executeDataRequest) && lf_runQueue(q.a, lf_transmit) &&
        lf_runQueue(q.f, lf_setFlightPlan) && lf_runQueue(q.b, lf_createAiObject) &&
        lf_runQueue(q.c, lf_removeAiObject) && lf_runQueue(q.e, lf_setSpoilersThrust);
}

void lf_sendAiPositions()
{
    g_positionStreamer.takePosted(g_positionBuffer);
    const int64_t now = gf_steadyNowNs();
    const SimConnectApi& sc = gf_simConnect();
    const ScHandle h = g_simHandle.load();
    g_positionStreamer.writeAll(now, g_userObjectId.load(), [&](uint32_t objectId, const PositionBlock& block) {
        // Only objects this connection created and that still exist: the ids
        // of an earlier connection are dead or belong to someone else now.
        if (!g_aiBooks.owned.contains(objectId))
            return true;
        PositionBlock data = block;
        const ScHresult hr =
            sc.SetDataOnSimObject(h, DEFINITION_LATLONPIBAHEALVSTAS, objectId, 0, 0, sizeof data, &data);
        g_lastSentPosition = LastSentPosition{true, objectId, block, hr};
        if (hr >= 0)
            return true;
        gf_logError(fmt::format("SimConnect_SetDataOnSimObject batch failed, objectid: {}", objectId));
        gf_onSimConnectRequestError();
        return false;
    });
}

void gf_logPositionDiagnostic()
{
    const LastSentPosition& last = g_lastSentPosition;
    if (!last.valid) {
        gf_logLine("SimConnect diagnostic: no AI position update recorded");
        return;
    }
    const auto it = g_aiBooks.callsigns.find(last.objectId);
    const PositionBlock& b = last.block;
    gf_logLine(fmt::format("SimConnect diagnostic: last AI position update callsign='{}', objectid={}, "
                           "result=0x{:08X}, position={:.6f},{:.6f}, altitude={:.1f} ft, pitch={:.3f} rad, "
                           "bank={:.3f} rad, heading={:.3f} rad, VS={:.1f} fpm, TAS={:.1f} kt",
                           it == g_aiBooks.callsigns.end() ? std::string("unknown") : it->second,
                           gf_objectIdText(last.objectId), static_cast<uint32_t>(last.result), b.latitude,
                           b.longitude, b.altitude, b.pitch, b.bank, b.heading, b.verticalSpeed, b.airspeed));
}
