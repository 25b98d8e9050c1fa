#include "engine/taxi_to_stand.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <fmt/format.h>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "engine/geometry.h"
#include "engine/tick_airport.h"
#include "stands/stand_table.h"

namespace {


int32_t lf_ticksAtLeast100(double ticks)
{
    return std::max(static_cast<int32_t>(std::lround(ticks)), 100);
}

// The heading tolerance (degrees) within which an aircraft close in front of
// the stand point only needs to stop: 4 at 12 m, opening to 10 at 3.5 m.
double lf_stopOnlyToleranceDeg(double d)
{
    if (d <= 3.5)
        return 10.0;
    return 4.0 + (10.0 - 4.0) * (12.0 - d) / 8.5;
}

void lf_setLeadInLagLimits(LiveAircraft& ac)
{
    ac.leg.lagEarlier = 2700;
    ac.leg.lagLater = ac.phases.phase == FlightPhase::takeoff_roll ? 4500 : 2700;
}

} // namespace

void drive2Stand(LiveAircraft& ac, const StandPoint& stand)
{
    SampleStream& st = ac.stream.samples;
    if (st.size() != 1) {
        gf_logError(fmt::format("{} unexpected stream size: {}, {}", "drive2Stand", ac.identity.callsign, st.size()));
        if (st.empty())
            return;
        st.resize(1);
    }
    const LatLon standPos{stand.lat, stand.lon};
    const LatLon here{ac.motion.lat, ac.motion.lon};
    const RelativePosition rel = gf_relativePosition(standPos, stand.heading, here);
    const double d = rel.distanceM;
    const double offDeg = std::fabs(gf_wrapAngle(stand.heading - ac.motion.heading)) * kRadToDeg;
    const bool inFront = rel.alongM > 3.0;
    const bool stopOnly = d <= 12.0 && offDeg <= lf_stopOnlyToleranceDeg(d);
    if (!stopOnly) {
        const bool leadIn = !inFront && (d > 15.0 || offDeg >= 45.0 || std::fabs(rel.acrossM) > 8.0);
        const double speed = std::max(0.8 * ac.identity.standSpeedKt, 1.0);
        // A synthetic sample on the stand axis: on the ground, facing the
        // stand heading, with the aircraft's altitude and bank.
        auto appendOnAxis = [&](const LatLon& p, double kt, int32_t ticks) {
            TrafficSample s = st.back();
            s.lat = p.latitude;
            s.lon = p.longitude;
            s.altitudeFt = ac.motion.altitudeFt;
            s.speedKt = kt;
            s.tasKt = kt;
            s.trackDeg = stand.heading * kRadToDeg;
            s.roll = ac.motion.bank;
            s.hasRoll = 1;
            s.trueHeading = stand.heading;
            s.hasTrueHeading = 1;
            s.airborne = 0;
            s.stationary = 0;
            s.playTime = st.back().playTime + ticks;
            st.push_back(s);
        };
        int32_t toStand = 0;
        if (leadIn) {
            // The lead-in point lies 10 m before the stand on its axis.
            constexpr double kLeadInM = 10.0;
            constexpr double kLeadInFt = kLeadInM * kFeetPerMetre;
            const LatLon point = gf_destinationPoint(
                standPos, {gf_normalizeAngle(stand.heading + std::numbers::pi), kLeadInFt});
            appendOnAxis(point, speed, lf_ticksAtLeast100(gf_distanceNm(here, point) * kTicksPerHour / speed));
            lf_setLeadInLagLimits(ac);
            toStand = lf_ticksAtLeast100(kLeadInM * kNmPerMetre * kTicksPerHour / speed);
        } else {
            toStand = lf_ticksAtLeast100(d * kNmPerMetre * kTicksPerHour / speed);
            if (inFront) {
                st.back().speedKt = 0.0;
                st.back().tasKt = 0.0;
            }
        }
        appendOnAxis(standPos, 0.0, toStand);
    }
    TrafficSample stop = st.back();
    stop.stationary = 1;
    stop.playTime += 50;
    st.push_back(stop);
    ac.leg.targetTrack = stand.heading;
    if (ac.stream.projection > 0) {
        ac.stream.projection = 0;
        lf_setLeadInLagLimits(ac);
    }
}

bool lf_parkingHandOverDue(const LiveAircraft& ac)
{
    const SampleStream& st = ac.stream.samples;
    if (ac.phases.phase != FlightPhase::taxi || st.empty() || !(st.back().speedKt <= 0.5))
        return false;
    if (gf_standTable().stands.empty() || !gf_tickNearAirport({ac.motion.lat, ac.motion.lon}))
        return false;
    if (ac.phases.previousPhase == FlightPhase::landing_roll)
        return true; // taxied in after landing and came to rest
    if (ac.phases.previousPhase != FlightPhase::pushed_back && ac.phases.previousPhase != FlightPhase::parked)
        return false;
    return std::all_of(st.begin(), st.end() - 1, [](const TrafficSample& s) { return s.speedKt <= 6.0; });
}
