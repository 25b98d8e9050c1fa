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

// Driving round a stand from beyond its nose: the turns on the way there
// stay below this, and it passes the stand this far to its side at least.
constexpr double kRoundStandDeg = 100.0;
constexpr double kRoundStandM = 30.0;
// Turning onto the stand's axis by more than this, it enters the axis this
// far before the stand.
constexpr double kAxisTurnDeg = 15.0;
constexpr double kAxisEntryM = 30.0;

// The point `alongM` ahead of the stand on its axis and `acrossM` to its
// right (negative: behind, to the left).
LatLon lf_besideStand(const LatLon& stand, double heading, double alongM, double acrossM)
{
    const LatLon onAxis =
        gf_destinationPoint(stand, {gf_normalizeAngle(heading + (alongM < 0.0 ? std::numbers::pi : 0.0)), std::fabs(alongM) * kFeetPerMetre});
    if (acrossM == 0.0)
        return onAxis;
    return gf_destinationPoint(onAxis, {gf_normalizeAngle(heading + std::copysign(std::numbers::pi / 2.0, acrossM)),
                                        std::fabs(acrossM) * kFeetPerMetre});
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
        // Beyond the stand's nose, only a short overshoot still facing the
        // stand's way is set back onto it; from further out or turned away
        // it drives round to the lead-in point like any other arrival.
        const bool overshot = inFront && d <= 15.0 && offDeg < 45.0;
        const bool leadIn = !overshot && (inFront || d > 15.0 || offDeg >= 45.0 || std::fabs(rel.acrossM) > 8.0);
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
        const auto ticksBetween = [&](const LatLon& a, const LatLon& b) {
            return lf_ticksAtLeast100(gf_distanceNm(a, b) * kTicksPerHour / speed);
        };
        int32_t toStand = 0;
        if (leadIn) {
            // The lead-in point lies 10 m before the stand on its axis.
            constexpr double kLeadInM = 10.0;
            const LatLon point = lf_besideStand(standPos, stand.heading, -kLeadInM, 0.0);
            // Coming from beyond the stand's nose, the way to the lead-in
            // point would turn back on itself there (or run over the stand):
            // it drives round beside the stand instead, abeam of it, back
            // along it and in onto the axis at 45 degrees.
            LatLon from = here;
            const auto driveTo = [&](const LatLon& way, bool onAxis) {
                appendOnAxis(way, speed, ticksBetween(from, way));
                if (!onAxis) {
                    TrafficSample& w = st.back();
                    w.trueHeading = gf_initialBearing(from, way);
                    w.trackDeg = w.trueHeading * kRadToDeg;
                }
                from = way;
            };
            const double turnAtLeadIn = std::fabs(gf_wrapAngle(stand.heading - gf_initialBearing(here, point)));
            if (turnAtLeadIn > kRoundStandDeg * kDegToRad) {
                const double side = rel.acrossM >= 0.0 ? 1.0 : -1.0;
                const double out = std::max(kRoundStandM, std::fabs(rel.acrossM));
                driveTo(lf_besideStand(standPos, stand.heading, 0.0, side * out), false);
                driveTo(lf_besideStand(standPos, stand.heading, -kAxisEntryM - out, side * out), false);
            }
            // Turning onto the axis it rounds a corner further out, and the
            // last straight metres onto the stand are its own leg, braked
            // into the stop.
            if (turnAtLeadIn > kAxisTurnDeg * kDegToRad)
                driveTo(lf_besideStand(standPos, stand.heading, -kAxisEntryM, 0.0), true);
            appendOnAxis(point, speed, ticksBetween(from, point));
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
    // Nose first along its way: the stand's heading is the way of the last
    // few metres onto the stand (turned onto at the lead-in point), not the
    // heading to steer while it drives there.
    const LatLon next{st[1].lat, st[1].lon};
    ac.leg.targetTrack = stopOnly || gf_distanceNm(here, next) * kMetresPerNm < 1.0 ? stand.heading : gf_initialBearing(here, next);
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
