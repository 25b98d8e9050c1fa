#include "engine/motion/runway_exits.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/units.h"
#include "engine/geometry.h"
#include "engine/motion/ground_turns.h"
#include "engine/motion/roll_braking.h"
#include "engine/report_noise.h"
#include "runways/runway_matching.h"

namespace {

constexpr double kExitBesideM = 15.0;     // beyond the runway's edge by this much a report is off it
constexpr double kComfortBrakeMps2 = 2.0; // how hard a roll slows for its exit
constexpr double kExitFastestKt = 35.0;   // an exit of 45 degrees or less is taken no faster
constexpr double kRightAngleExitKt = 27.0; // a right-angle one no faster
constexpr double kExitSlowestKt = 10.0;
constexpr double kExitDeg = 45.0;         // the exit's angle when the report's track does not tell
constexpr double kNearestCornerM = 20.0;
constexpr double kTaxiRollKt = 30.0;      // slower, a roll turns off as any taxiing aircraft
// A roll that touched down further on than its reports did turns off behind
// them and taxis after them, its reports waiting up to this long.
constexpr double kMostExitLagS = 150.0;
constexpr double kFirmBrakeMps2 = 3.5;  // 7 kt/s: how hard a roll brakes for an exit behind it
constexpr double kTurnBackM = 30.0;     // a report this far behind the corner is taxied back to
constexpr double kTaxiBackKt = 30.0;    // and that fast
// A roll already at taxi speed has no turn-off path back to a report behind
// it: later than this it leaves the runway unseen rather than rolling back
// sideways to the report.
constexpr double kSlowRollLateS = 27.0;

// A landing roll on its runway (the one it landed on, else the one under
// it) and a report beside that runway, both placed from the runway's end.
struct RollBesideReport {
    RunwayMatch runway;
    double heading = 0.0; // the runway's, radians
    LatLon end;
    RelativePosition roll, report;
};

std::optional<RollBesideReport> lf_reportBesideRoll(const LiveAircraft& ac, const LatLon& from,
                                                    const TrafficSample& report)
{
    RollBesideReport out;
    if (ac.flight.landing.runway.valid) {
        out.runway = ac.flight.landing.runway;
    } else if (const auto at = gf_runwayAtPosition(from, ac.motion.heading)) {
        out.runway = *at;
    } else {
        return std::nullopt;
    }
    out.heading = gf_normalizeAngle(out.runway.endHeading * kDegToRad);
    out.end = {out.runway.endLatitude, out.runway.endLongitude};
    const double half = out.runway.width / 2.0 + kExitBesideM;
    out.roll = gf_relativePosition(out.end, out.heading, from);
    out.report = gf_relativePosition(out.end, out.heading, gf_samplePosition(report));
    if (!(std::fabs(out.roll.acrossM) <= half) || !(std::fabs(out.report.acrossM) > half))
        return std::nullopt;
    // A report of the roll itself that the feed's position error places
    // beside the runway is no exit: taken for one, it would turn the roll off
    // toward the wrong side of the runway.
    if (gf_rollsAlongRunway(report, out.runway.endHeading))
        return std::nullopt;
    return out;
}

} // namespace

RunwayExit gf_runwayExit(const LiveAircraft& ac, const LatLon& from, double fromKt, int32_t fromTime,
                         const TrafficSample& report)
{
    RunwayExit out;
    if (ac.phases.phase != FlightPhase::landing_roll || !ac.phases.groundMode || report.airborne || report.stationary ||
        !(fromKt > kTaxiRollKt))
        return out;
    const auto frame = lf_reportBesideRoll(ac, from, report);
    if (!frame)
        return out;
    const RunwayMatch& m = frame->runway;
    const double h = frame->heading;
    const LatLon& end = frame->end;
    const RelativePosition& f = frame->roll;
    const RelativePosition& r = frame->report;
    out.beside = true;
    const double ahead = r.alongM - f.alongM;
    const double across = std::fabs(r.acrossM);
    const double reportKt = std::isfinite(report.speedKt) ? report.speedKt : kExitFastestKt;
    // Along the report's track back to the centre line when it leads away
    // from the runway on the report's side; else a usual exit angle.
    double exitDeg = kExitDeg;
    const double away = (r.acrossM > 0.0 ? 1.0 : -1.0) * std::remainder(report.trackDeg - m.endHeading, 360.0);
    if (std::isfinite(away) && away >= 20.0 && away <= 120.0)
        exitDeg = std::min(away, 90.0);
    // Slowed for the sharpest exit it may have to take: a right angle.
    out.exitKt = std::clamp(reportKt, kExitSlowestKt, kRightAngleExitKt);
    const double v0 = std::max(std::isfinite(fromKt) ? fromKt : 0.0, out.exitKt) * kKnotsToMetresPerSecond;
    const double vx = out.exitKt * kKnotsToMetresPerSecond;
    const auto brakeM = [&](double a) { return (v0 * v0 - vx * vx) / (2.0 * a); };
    double corner = ahead - across / std::tan(exitDeg * kDegToRad);
    corner = std::max(corner, std::min(brakeM(kComfortBrakeMps2), ahead)); // at most a right angle
    // A report behind where a roll braking firmly has slowed: the roll turns
    // off there, at a right angle toward the report's side, and taxis back
    // to it.
    corner = std::max(corner, brakeM(kFirmBrakeMps2));
    corner = std::min(corner, -f.alongM); // not past the runway's end
    if (!(corner >= std::max(brakeM(kRollHardestBrakeMps2), kNearestCornerM)))
        return out;
    out.turnsBack = ahead < corner - kTurnBackM;
    const double angle = std::atan2(across, ahead - corner) / kDegToRad;
    if (angle <= 45.0)
        out.exitKt = std::clamp(reportKt, kExitSlowestKt, kExitFastestKt);
    out.cornerM = corner;
    out.cornerS = 2.0 * corner / (v0 + out.exitKt * kKnotsToMetresPerSecond);
    const double alongFromEnd = f.alongM + corner; // negative: before the end
    out.corner = gf_destinationPoint(end, {gf_normalizeAngle(h + std::numbers::pi), -alongFromEnd * kFeetPerMetre});
    double restM = std::hypot(ahead - corner, across);
    out.onKt = std::max((out.exitKt + std::max(reportKt, 0.0)) / 2.0, 5.0);
    if (out.turnsBack) {
        const double side = r.acrossM > 0.0 ? 1.0 : -1.0;
        out.abeam = gf_destinationPoint(out.corner, {gf_normalizeAngle(h + side * std::numbers::pi / 2.0), across * kFeetPerMetre});
        restM = across + (corner - ahead);
        out.onKt = std::max(out.onKt, kTaxiBackKt);
    }
    const double needS = out.cornerS + restM / (out.onKt * kKnotsToMetresPerSecond);
    const double dueS = (report.playTime - fromTime) / 100.0;
    out.lagS = std::max(needS - dueS, 0.0);
    out.reachable = needS <= dueS + kMostExitLagS;
    return out;
}

bool gf_leftRunwayBehindSlowRoll(const LiveAircraft& ac, const LatLon& from, double fromKt, int32_t fromTime,
                                 const TrafficSample& report)
{
    if (ac.phases.phase != FlightPhase::landing_roll || !ac.phases.groundMode || report.airborne || report.stationary ||
        fromKt > kTaxiRollKt)
        return false;
    const auto frame = lf_reportBesideRoll(ac, from, report);
    if (!frame)
        return false;
    const RelativePosition& f = frame->roll;
    const RelativePosition& r = frame->report;
    const double behind = f.alongM - r.alongM;
    if (!(behind > 0.0))
        return false;
    // Stopped ahead, turned round and taxied back beside the runway at the
    // report's taxi speed.
    const double v0 = (std::isfinite(fromKt) ? std::max(fromKt, 0.0) : 0.0) * kKnotsToMetresPerSecond;
    const double reportKt = std::isfinite(report.speedKt) ? report.speedKt : kRightAngleExitKt;
    const double backMps = std::clamp(reportKt, kExitSlowestKt, kRightAngleExitKt) * kKnotsToMetresPerSecond;
    const double stopM = v0 * v0 / (2.0 * kComfortBrakeMps2);
    const double needS = v0 / kComfortBrakeMps2 + (stopM + behind + std::fabs(r.acrossM)) / backMps;
    return needS > (report.playTime - fromTime) / 100.0 + kSlowRollLateS;
}

bool gf_leftRunwayUnseen(const LiveAircraft& ac, const LatLon& from, double fromKt, int32_t fromTime,
                         const TrafficSample& report)
{
    const RunwayExit exit = gf_runwayExit(ac, from, fromKt, fromTime, report);
    return (exit.beside && !exit.reachable) || gf_leftRunwayBehindSlowRoll(ac, from, fromKt, fromTime, report);
}

bool lf_planRunwayExit(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (ac.phases.phase != FlightPhase::landing_roll || st.size() < 2 || st[1].stationary || st[1].inserted)
        return false;
    // From the speed it rolls at: the ramp to the exit starts there.
    const double v0 = std::isfinite(ac.motion.tasKt) && ac.motion.tasKt > kTaxiRollKt ? ac.motion.tasKt
                      : std::isfinite(st[0].speedKt)                                  ? st[0].speedKt
                                                                                      : ac.flight.groundSpeedKt;
    const LatLon here = gf_aircraftPosition(ac);
    const RunwayExit exit = gf_runwayExit(ac, here, v0, engineClock.load(), st[1]);
    if (!exit.beside || !exit.reachable)
        return false;
    const TrafficSample& report = st[1];
    // Where it leaves the runway for: the report, or the point abeam it that
    // it turns back from.
    const LatLon toward = exit.turnsBack ? exit.abeam : gf_samplePosition(report);
    const double rate = gf_groundTurnRateDegS(ac);
    const double exitDeg =
        std::fabs(gf_wrapAngle(gf_initialBearing(exit.corner, toward) - gf_initialBearing(here, exit.corner))) * kRadToDeg;
    const double toReport = gf_distanceM(exit.corner, toward);
    // Slowed to exit speed where the turn off must begin, round the corner
    // onto the line to the report, then on along it.
    const double lead = std::min(gf_turnLeadM(exitDeg, exit.exitKt, rate), exit.cornerM - 1.0);
    const double outM = std::clamp(lead, 2.0, std::min(0.5 * toReport, 0.9 * gf_turnLookAheadM(exit.exitKt)));
    const double exitMps = exit.exitKt * kKnotsToMetresPerSecond;
    const double v0Mps = std::max(v0, exit.exitKt) * kKnotsToMetresPerSecond;
    TrafficSample base = st[0];
    base.speedKt = exit.exitKt;
    base.tasKt = 0.0;
    base.trackDeg = gf_normalizeAngle(gf_initialBearing(here, exit.corner)) / kDegToRad;
    base.airborne = 0;
    base.stationary = 0;
    base.inserted = 0;
    base.insertedFromCurrent = 0;
    const auto at = [&](const LatLon& p, int32_t time) {
        TrafficSample s = base;
        s.lat = p.latitude;
        s.lon = p.longitude;
        s.playTime = time;
        return s;
    };
    const auto ticks = [](double seconds) { return std::max(static_cast<int32_t>(std::lround(seconds * 100.0)), 25); };
    std::vector<TrafficSample> path;
    int32_t time = engineClock.load();
    const double slowM = exit.cornerM - lead;
    if (lead >= 12.0 && slowM >= 10.0) {
        // The even braking's time: the roll's braking ramp runs from the
        // speed it rolls at into the exit speed.
        time += ticks(2.0 * slowM / (v0Mps + exitMps));
        path.push_back(at(gf_destinationPoint(here, {gf_initialBearing(here, exit.corner), slowM * kFeetPerMetre}), time));
        time += ticks(lead / exitMps);
    } else {
        time += ticks(exit.cornerS);
    }
    path.push_back(at(exit.corner, time));
    time += ticks(outM / exitMps);
    TrafficSample out = at(gf_destinationPoint(exit.corner, {gf_initialBearing(exit.corner, toward), outM * kFeetPerMetre}), time);
    out.inserted = 1;
    out.insertedFromCurrent = 1;
    path.push_back(out);
    if (exit.turnsBack) {
        time += ticks((toReport - outM) / (exit.onKt * kKnotsToMetresPerSecond));
        TrafficSample abeam = at(exit.abeam, time);
        abeam.speedKt = exit.onKt;
        abeam.trackDeg = gf_normalizeAngle(gf_initialBearing(exit.abeam, gf_samplePosition(report))) / kDegToRad;
        abeam.inserted = 1;
        path.push_back(abeam);
    }
    // The samples from the report on wait for the slower roll: the report
    // falls due when the way left to it is driven at the speed it is taken.
    const LatLon last = gf_samplePosition(path.back());
    const int32_t due = time + ticks(gf_distanceM(last, gf_samplePosition(report)) / (exit.onKt * kKnotsToMetresPerSecond));
    if (report.playTime < due) {
        const int32_t delay = due - report.playTime;
        for (size_t i = 1; i < st.size(); ++i)
            st[i].playTime += delay;
        // The reports still to come wait as long.
        ac.stream.lagTicks += delay;
    }
    // The leg to the exit is timed from the speed it rolls at, not from its
    // last report's.
    st[0].speedKt = std::max(v0, exit.exitKt);
    st.insert(st.begin() + 1, path.begin(), path.end());
    ac.leg.targetTrack = gf_initialBearing(here, gf_samplePosition(st[1]));
    return true;
}

bool gf_besideLandingRunway(const LiveAircraft& ac, const TrafficSample& sample)
{
    const bool landing = ac.phases.phase == FlightPhase::landing;
    if ((!landing && ac.phases.phase != FlightPhase::landing_roll) || sample.airborne || sample.stationary)
        return false;
    if (sample.inserted)
        return true;
    const LatLon here = gf_aircraftPosition(ac);
    std::optional<RunwayMatch> m;
    if (ac.flight.landing.runway.valid)
        m = ac.flight.landing.runway;
    else if (const auto at = gf_runwayAtPosition(here, ac.motion.heading))
        m = at;
    else if (landing)
        m = gf_runwayOnFinal(here, ac.motion.heading);
    if (!m)
        return false;
    const RelativePosition r = gf_relativePosition({m->endLatitude, m->endLongitude}, gf_normalizeAngle(m->endHeading * kDegToRad),
                                                   gf_samplePosition(sample));
    return std::fabs(r.acrossM) > m->width / 2.0 + kExitBesideM && !gf_rollsAlongRunway(sample, m->endHeading);
}

bool lf_exitAfterNextSample(const LiveAircraft& ac)
{
    const SampleStream& st = ac.stream.samples;
    if (ac.phases.phase != FlightPhase::landing_roll || st.size() < 3 || st[1].stationary || st[1].inserted ||
        st[2].inserted)
        return false;
    return gf_runwayExit(ac, gf_samplePosition(st[1]), st[1].speedKt, st[1].playTime, st[2]).beside;
}
