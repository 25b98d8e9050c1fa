#include "engine/motion/ground_moves.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/sample_stream.h"
#include "stands/stand_table.h"
#include "simlink/sim_command_mailbox.h"

namespace {


// Lights of an aircraft leaving its stand.
constexpr LightStates kLeavingStandLights{1, 1, 0, 1, 0, 1, 0};

// Ticks to drive from here to `to` at the stand manoeuvre speed; at least 25.
int32_t lf_standMoveTicks(const LiveAircraft& ac, const LatLon& to)
{
    const double ticks = gf_distanceNm({ac.motion.lat, ac.motion.lon}, to) / ac.identity.standSpeedKt * kTicksPerHour;
    if (!std::isfinite(ticks))
        return 25;
    return std::max(static_cast<int32_t>(std::lround(std::min(ticks, 1e9))), 25);
}

TrafficSample lf_pathSample(const LatLon& at, int32_t playTime, double speedKt)
{
    TrafficSample s{};
    s.lat = at.latitude;
    s.lon = at.longitude;
    s.playTime = playTime;
    s.speedKt = speedKt;
    return s;
}

void lf_leaveStandPhase(LiveAircraft& ac, FlightPhase next)
{
    if (ac.phases.phase != next)
        ac.setPhase(next);
}

} // namespace

void initiatePushBack(LiveAircraft& ac)
{
    ac.stream.projection = 0;
    lf_clearGroundPath(ac.ground);
    ac.ground.turningInPlace = 0;
    const double pushHeading = gf_normalizeAngle(ac.stand.standHeading + std::numbers::pi);
    const Stand* stand = gf_standById(ac.stand.standId);
    if (!stand || !(stand->radius > 0.0)) {
        gf_logError(fmt::format("{} cancelled pushback, invalid stand radius for stand {}, callsign {}",
                                "initiatePushBack", gf_standNameById(ac.stand.standId), ac.identity.callsign));
        ac.push.standLeaveRequest = 0;
        return;
    }
    const LatLon target = gf_destinationPoint({ac.motion.lat, ac.motion.lon}, {pushHeading, 2.5 * stand->radius * kFeetPerNm});
    SampleStream& st = ac.stream.samples;
    st.front().speedKt = 0.0;
    ac.leg.targetTrack = ac.motion.heading;
    ac.leg.airHeadingStep = 0.0;
    const int32_t due = engineClock.load() + lf_standMoveTicks(ac, target);
    st.erase(st.begin() + 1, st.end());
    st.push_back(lf_pathSample(target, due, 0.0));
    TrafficSample stop = st.back();
    stop.stationary = 1;
    st.push_back(stop);
    gf_setLights(ac.sim.objectId, kLeavingStandLights);
    lf_leaveStandPhase(ac, FlightPhase::pushing_back);
}

void lf_pullOutOfStand(LiveAircraft& ac)
{
    ac.push.standLeaveRequest = 0;
    ac.stream.projection = 0;
    const LatLon target =
        gf_destinationPoint({ac.stand.standLat, ac.stand.standLon}, {ac.stand.standHeading, 2.0 * ac.identity.radius * kFeetPerNm});
    SampleStream& st = ac.stream.samples;
    st.front().speedKt = 0.0;
    const int32_t due = engineClock.load() + lf_standMoveTicks(ac, target);
    st.erase(st.begin() + 1, st.end());
    st.push_back(lf_pathSample(target, due, ac.identity.standSpeedKt));
    lf_leaveStandPhase(ac, FlightPhase::taxi);
    ac.leg.targetTrack = ac.motion.heading;
    gf_setLights(ac.sim.objectId, kLeavingStandLights);
    gf_engineStart(ac.sim.objectId);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
    gf_logLine(fmt::format("{:14}: {:8} pulling out", gf_standNameById(ac.stand.standId), ac.identity.callsign));
}

void lf_holdLeg(LiveAircraft& ac)
{
    ac.leg.stepLat = 0.0;
    ac.leg.stepLon = 0.0;
    const SampleStream& st = ac.stream.samples;
    if (st.empty())
        return;
    const int32_t lag = st[0].playTime - engineClock.load();
    if (st.size() == 1)
        retimeNextSample(ac, std::max(lag + 25, 25));
    else
        retimeNextSample(ac, std::max(std::max(st[1].playTime - st[0].playTime, 25) + lag, 25));
}
