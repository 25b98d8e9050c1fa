#include "engine/stand_arrival.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <numbers>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/geometry.h"
#include "engine/traffic_state.h"
#include "core/geodesy.h"
#include "engine/live_at_stands.h"
#include "engine/parked_limits.h"
#include "engine/stand_questions.h"
#include "stands/stand_table.h"

namespace {

// An aircraft this close to its stand and this well aligned has arrived.
constexpr double kArrivalRadiusNm = 18.0 / kMetresPerNm;
constexpr double kArrivalHeadingRad = 40.0 * kDegToRad;

bool lf_samePosition(double lat1, double lon1, double lat2, double lon2)
{
    return std::fabs(lat1 - lat2) <= 1e-8 && std::fabs(lon1 - lon2) <= 1e-8;
}

void lf_clearStand(LiveAircraft& ac)
{
    ac.stand.standLat = 0.0;
    ac.stand.standLon = 0.0;
    ac.stand.standHeading = 0.0;
    gf_trafficState().aircraft.setStandId(ac, 0);
    ac.stand.gateStand = 0;
}

void lf_park(LiveAircraft& ac)
{
    ac.flight.runwayExit = 0;
    ac.setPhase(FlightPhase::parked);
    ac.reports.parkedSince = gf_weekSlotOfWord(weekdayHalfHourWord.load());
    if (ac.flight.towed)
        gf_logLine(fmt::format("          towed aircraft {} parks", ac.identity.callsign));
    TrafficSample& front = ac.stream.samples.front();
    front.stationary = 1;
    ac.reports.parkedSinceTime = gf_systemTime100ns();
    ac.push.minStandDistanceNm = 0.0;
    ac.push.maxStandDistanceNm = 0.0;
    ac.stand.keepStand = 0;
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 0);
    const int32_t t0 = front.playTime;
    const int32_t r = static_cast<int32_t>(gf_randomIndex(10));
    gf_addParkedTimer({ac.identity.hexid, t0 + 1000 + 100 * r, ParkedAction::engineShutdown});
    gf_addParkedTimer({ac.identity.hexid, t0 + 1500 + 100 * (r + static_cast<int32_t>(gf_randomIndex(5))), ParkedAction::fixedLights});
    gf_addParkedTimer({ac.identity.hexid, t0 + 3000 + 100 * (r + static_cast<int32_t>(gf_randomIndex(100))), ParkedAction::settingsLights});
    gf_logLine(fmt::format("{:14}: {:8} arrived at stand", gf_standNameById(ac.stand.standId),
                           ac.identity.callsign));
    gf_trafficState().newLiveHexids.push_back(ac.identity.hexid);
    gf_recordRealStandUse(ac.stand.standId, ac, 0);
    gf_enforceParkedLimit(0);
}

} // namespace

bool arriveAtStand(LiveAircraft& ac)
{
    ac.leg.lagEarlier = 900;
    ac.leg.lagLater = 900;
    if (gf_liveStandHolder(ac.stand.standId, ac.identity.hexid) != 0 ||
        std::fabs(gf_wrapAngle(ac.motion.heading - ac.stand.standHeading)) > kArrivalHeadingRad) {
        ac.stream.projection = 1;
        return false;
    }
    if (gf_distanceNm({ac.motion.lat, ac.motion.lon}, {ac.stand.standLat, ac.stand.standLon}) > kArrivalRadiusNm) {
        lf_clearStand(ac);
        ac.setPhase(FlightPhase::taxi);
        return true;
    }
    if (ac.stand.standId < 1 || ac.identity.hexid == 0 || !gf_standById(ac.stand.standId)) {
        ac.stream.projection = 1;
        return false;
    }
    lf_park(ac);
    return true;
}

void lf_startAgainFromHere(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (st.empty())
        throw std::runtime_error("empty sample stream");
    TrafficSample fresh;
    if (ac.phases.phase != FlightPhase::parked) {
        fresh = st.front();
        fresh.lat = ac.motion.lat;
        fresh.lon = ac.motion.lon;
        fresh.altitudeFt = ac.motion.altitudeFt;
        fresh.roll = ac.motion.bank;
        fresh.hasRoll = 1;
        if (lf_samePosition(st.front().lat, st.front().lon, ac.motion.lat, ac.motion.lon))
            st.front().stationary = 1;
    } else {
        st.resize(1);
        TrafficSample& only = st.front();
        only.stationary = 1;
        only.speedKt = 0.0;
        only.tasKt = 0.0;
        only.trackDeg = ac.motion.heading * 180.0 / std::numbers::pi;
        fresh = only;
    }
    fresh.playTime = engineClock.load() + 1;
    st.push_front(fresh);
    ac.holds.respawnHeading = ac.motion.heading;
}

void lf_backToBuffer(AircraftBase& ac)
{
    ac.sim.simState = SimState::buffer;
    ac.sim.throttleIndex = 5;
    ac.sim.flapsIndex = 4;
    ac.sim.creationRequestId = 0;
    ac.sim.creationAnswered = 0;
    gf_trafficState().aircraft.setObjectId(ac, 0);
}

void liveryRespawn(LiveAircraft& ac)
{
    try {
        lf_startAgainFromHere(ac);
        ac.sim.simState = SimState::liveryrespawn;
        if (ac.sim.objectId != 0) {
            gf_trafficState().removalQueue.push_back(ac.sim.objectId);
        } else {
            // No object to wait for: the removal event never comes, so the
            // aircraft goes straight back to be created again.
            gf_logError(fmt::format("{} removing act {} with objectid=0 ?", "liveryRespawn", ac.identity.callsign));
            lf_backToBuffer(ac);
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "liveryRespawn", e.what()));
    }
}

void gf_addParkedTimer(const ParkedTimer& timer)
{
    std::vector<ParkedTimer>& timers = gf_trafficState().parkedTimers;
    timers.push_back(timer);
    std::stable_sort(timers.begin(), timers.end(),
                     [](const ParkedTimer& a, const ParkedTimer& b) { return a.due > b.due; });
}

void lf_runParkedTimers()
{
    std::vector<ParkedTimer>& timers = gf_trafficState().parkedTimers;
    if (timers.empty() || engineClock.load() - timers.back().due < 0)
        return;
    const ParkedTimer timer = timers.back();
    timers.pop_back();
    LiveAircraft* ac = gf_findLiveAircraft(timer.hexid);
    if (!ac || ac->phases.phase != FlightPhase::parked)
        return;
    switch (timer.action) {
    case ParkedAction::engineShutdown:
        gf_engineShutdown(ac->sim.objectId);
        break;
    case ParkedAction::fixedLights:
        gf_setLights(ac->sim.objectId, LightStates{1, 0, 0, 1, 0, 1, 1});
        break;
    case ParkedAction::settingsLights:
        gf_setLights(ac->sim.objectId,
                     LightStates{gf_parametersSnapshot()->NAV_LIGHTS_WHILE_PARKED ? 1u : 0u, 0, 0, 0, 0, 1,
                                 ac->stand.atStand ? 0u : (gf_randomIndex(10) < 9 ? 1u : 0u)});
        break;
    default:
        break;
    }
}
