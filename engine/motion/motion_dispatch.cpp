#include "engine/motion/motion_dispatch.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/motion/air_speed_limits.h"
#include "engine/motion/approach.h"
#include "engine/motion/flight_motion.h"
#include "engine/motion/ground_leg_timing.h"
#include "engine/motion/ground_moves.h"
#include "engine/motion/ground_tuning.h"
#include "engine/motion/ground_turns.h"
#include "engine/motion/runway_exits.h"
#include "engine/sample_stream.h"
#include "engine/stand_arrival.h"
#include "engine/taxi_to_stand.h"
#include "engine/live_at_stands.h"
#include "stands/stand_table.h"
#include "engine/geometry.h"
#include "engine/motion/motion_step.h"
#include "engine/motion/runway_hold.h"
#include "engine/report_noise.h"
#include "runways/runway_matching.h"
#include "simlink/user_aircraft.h"

namespace {

using namespace ground_tuning;

LatLon lf_pos(const TrafficSample& s)
{
    return {s.lat, s.lon};
}

bool lf_samePosition(const TrafficSample& a, const TrafficSample& b)
{
    return std::fabs(a.lat - b.lat) <= 1e-8 && std::fabs(a.lon - b.lon) <= 1e-8;
}

bool lf_finiteNonNegative(double v)
{
    return std::isfinite(v) && v >= 0.0;
}

int32_t lf_ticksUntil(int32_t playTime)
{
    return std::max(playTime - engineClock.load(), 25);
}

std::string lf_who(const LiveAircraft& ac)
{
    return fmt::format("{} {}", ac.identity.callsign, ac.identity.registration);
}

double lf_degrees(double radians)
{
    return radians / kDegToRad;
}

// The flat distance between two samples in metres (60 NM a degree).
double lf_flatMetres(const TrafficSample& a, const TrafficSample& b)
{
    return gf_flatOffsetNm({a.lat, a.lon}, {b.lat, b.lon}, gf_cosLatitude(a.lat)).length() * kMetresPerNm;
}

// Taxiing out slowly from a push-back or a stand at an airport with stands.
bool lf_afterPushBack(const LiveAircraft& ac)
{
    if (ac.phases.phase != FlightPhase::taxi ||
        (ac.phases.previousPhase != FlightPhase::pushed_back && ac.phases.previousPhase != FlightPhase::parked) ||
        gf_standCount() == 0)
        return false;
    for (size_t i = 0; i + 1 < ac.stream.samples.size(); ++i)
        if (!(ac.stream.samples[i].speedKt <= 6.0))
            return false;
    return true;
}

// A tug pushes at this speed or slower.
constexpr double kPushKt = 5.0;
// A push-back's next report lies at least this much further back (m).
constexpr double kPushStepM = 5.0;
constexpr double kBackwardsDeg = 135.0;
constexpr double kNoseTrackDeg = 45.0;
// A leg this far from the way a helicopter came would fly it straight back.
constexpr double kTurnRoundDeg = 120.0;

// A taxi leg that goes backwards at a tug's pace is a push-back (an aircraft
// without a stand): from rest or on from a push, with the report's track
// (often the nose's direction) along the heading.
bool lf_pushLeg(const LiveAircraft& ac, bool wasPushing)
{
    const SampleStream& st = ac.stream.samples;
    if (ac.phases.phase != FlightPhase::taxi || !ac.phases.groundMode || st[1].stationary || st[1].airborne ||
        !(st[1].speedKt <= kPushKt) || st[0].speedKt > kPushKt)
        return false;
    const double way = gf_initialBearing({ac.motion.lat, ac.motion.lon}, lf_pos(st[1]));
    if (!(lf_degrees(std::fabs(gf_wrapAngle(way - ac.motion.heading))) >= kBackwardsDeg))
        return false;
    const double nose = std::fabs(std::remainder(st[1].trackDeg - lf_degrees(ac.motion.heading), 360.0));
    // A push-back's report gives as its track either the nose or the way it
    // is pushed; a track that is neither is no push-back.
    const double along = lf_degrees(std::fabs(gf_wrapAngle(st[1].trackDeg * kDegToRad - way)));
    if (!wasPushing && nose > kNoseTrackDeg && along > kNoseTrackDeg)
        return false;
    return wasPushing || !(st[0].speedKt > kStandingKt) || nose <= kNoseTrackDeg;
}

// Waiting in a queue, an aircraft's positions flip between places one
// quantisation step apart, the step behind the nose reported as moving with
// the nose as its track. A next report that close behind, with no later one
// further back (a push-back's keep going back) or too fast for a tug, is that
// flip: the aircraft waits where it stands, neither rolled round to it nor
// pushed back onto it.
constexpr double kQueueFlipM = 30.0;

void lf_holdFlipBehind(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (ac.phases.phase != FlightPhase::taxi || !ac.phases.groundMode || ac.ground.pushingInTaxi ||
        ac.identity.category == Category::Rotorcraft || st[1].stationary || st[1].airborne ||
        !std::isfinite(st[1].trackDeg))
        return;
    const LatLon here{ac.motion.lat, ac.motion.lon};
    if (!(gf_distanceNm(here, lf_pos(st[1])) * kMetresPerNm < kQueueFlipM))
        return;
    const RelativePosition rel = gf_relativePosition(here, ac.motion.heading, lf_pos(st[1]));
    const double off = lf_degrees(std::fabs(std::atan2(rel.acrossM, rel.alongM)));
    const double nose = std::fabs(std::remainder(st[1].trackDeg - lf_degrees(ac.motion.heading), 360.0));
    if (!(off > kRollRoundDeg) || !(nose <= kNoseTrackDeg))
        return;
    if (!(st[1].speedKt > kPushKt)) {
        if (st.size() < 3)
            return; // nothing after it yet to tell a push from a flip
        for (size_t i = 2; i < st.size() && !st[i].airborne; ++i)
            if (gf_relativePosition(here, ac.motion.heading, lf_pos(st[i])).alongM < rel.alongM - kPushStepM)
                return;
    }
    st[1].lat = here.latitude;
    st[1].lon = here.longitude;
    st[1].stationary = 1;
}

// The push-back target is reached: engines on and ready to taxi.
void lf_endPushBack(LiveAircraft& ac)
{
    ac.leg.targetTrack = ac.motion.heading;
    gf_engineStart(ac.sim.objectId);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
    ac.setPhase(FlightPhase::pushed_back);
    ac.stream.projection = 0;
    ac.push.standLeaveRequest = 0;
    ac.leg.speedMode = LegSpeedMode::none;
}

// Rolling at taxi speed, a next report only a few metres away and well off
// the heading, with more ahead, is the feed's scatter: no aircraft turns
// that sharply as it rolls. It is passed over for the one after.
bool lf_dropScatterAhead(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if ((ac.phases.phase != FlightPhase::taxi && ac.phases.phase != FlightPhase::landing_roll) || ac.ground.pushingInTaxi ||
        ac.stream.projection > 0 || st.size() < 3 || st[1].inserted || st[2].stationary || st[2].airborne ||
        !(ac.motion.tasKt > kStandingKt) || ac.motion.tasKt > kTurnOnTheSpotKt || !(st[0].speedKt > kStandingKt))
        return false;
    const LatLon here{ac.motion.lat, ac.motion.lon};
    if (!(gf_distanceNm(here, lf_pos(st[1])) * kMetresPerNm < kRollingTurnMinM))
        return false;
    const double off = lf_degrees(std::fabs(gf_wrapAngle(gf_initialBearing(here, lf_pos(st[1])) - ac.motion.heading)));
    const double offAfter = lf_degrees(std::fabs(gf_wrapAngle(gf_initialBearing(here, lf_pos(st[2])) - ac.motion.heading)));
    if (!(off >= kSlideDeg) || !(offAfter < off))
        return false;
    st.erase(st.begin() + 1);
    ac.leg.targetTrack = gf_initialBearing(lf_pos(st[0]), lf_pos(st[1]));
    return true;
}

// The bend ahead: a turn planned over it, or the first leg split where it
// needs a turn at its middle or a change of speed spread.
void lf_planGroundLeg(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    const bool afterPushBack = lf_afterPushBack(ac);
    if (st[1].stationary || !ac.phases.groundMode)
        return;
    lf_dropScatterAhead(ac);
    // The last sample on the runway before one beside it: the roll runs on
    // to it, the exit is planned there.
    if (lf_exitAfterNextSample(ac))
        return;
    // Rolling out toward a report beside the runway: off by a corner on the
    // centre line, reached slowed to exit speed.
    lf_planRunwayExit(ac);
    if (st.size() >= 3 && !st[2].stationary && lf_planGroundTurn(ac))
        return;
    // Facing well away from a long last leg, or from any leg so far that
    // driving it straight would slide the aircraft sideways: split it so
    // that the turn onto it can be planned at its middle.
    const double off = lf_degrees(std::fabs(gf_wrapAngle(gf_initialBearing({ac.motion.lat, ac.motion.lon}, lf_pos(st[1])) - ac.motion.heading)));
    const bool lastLeg = st.size() == 2 || st[2].stationary;
    if ((lastLeg || off > kSlideDeg) && !(st[0].inserted && st[1].inserted)) {
        if (off > 15.0) {
            const double f = std::clamp((off - 15.0) / 75.0, 0.0, 1.0);
            if (lf_flatMetres(st[0], st[1]) >= 45.0 - 35.0 * f * f) {
                insertMidSample(ac.stream);
                if (lf_planGroundTurn(ac))
                    return;
            }
        }
    }
    if (st.size() >= 3 || ac.stream.projection <= 0)
        lf_checkSpeedChangeSplit(ac, afterPushBack);
}

// A Light aircraft rolling for take-off drops a sample that lies almost on
// top of it when the one after lies well ahead along the runway.
bool lf_dropRollSampleBehind(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (ac.identity.category != Category::Light || !ac.phases.groundMode ||
        ac.phases.phase != FlightPhase::takeoff_roll || st.size() < 3 || !(ac.flight.groundSpeedKt >= 35.0))
        return false;
    const double heading =
        ac.flight.takeoffRunway.valid ? ac.flight.takeoffRunway.endHeading * kPi / 180.0 : ac.motion.heading;
    const LatLon here{ac.motion.lat, ac.motion.lon};
    if (!(gf_distanceNm(here, lf_pos(st[1])) * kMetresPerNm < 12.0))
        return false;
    if (!(gf_relativePosition(here, heading, lf_pos(st[2])).alongM > 30.0))
        return false;
    st.erase(st.begin() + 1);
    return true;
}

// Aloft, a report it has already flown past (it lies behind, the one after
// it ahead) is no way to go: an aeroplane does not turn back to it tail first
// and on again. It flies on toward the one after it. Such a report is left
// behind where it was shown again aloft where it flew (its front report is
// where it was, the one it flew toward behind it) or where it ran ahead of
// its reports climbing out.
constexpr double kPassedReportM = 30.0;
bool lf_dropPassedReportAloft(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (ac.phases.groundMode || ac.identity.category == Category::Rotorcraft || st.size() < 3 || st[1].stationary ||
        st[2].stationary || !st[1].airborne || !st[2].airborne)
        return false;
    const LatLon here{ac.motion.lat, ac.motion.lon};
    const double heading = ac.motion.heading;
    if (!std::isfinite(heading) || !(gf_relativePosition(here, heading, lf_pos(st[1])).alongM < -kPassedReportM))
        return false;
    if (!(gf_relativePosition(here, heading, lf_pos(st[2])).alongM > kPassedReportM))
        return false;
    st.erase(st.begin() + 1);
    return true;
}

// In the take-off, or in the first 30 s of flying after it.
bool lf_liftingOff(const LiveAircraft& ac)
{
    if (ac.phases.phase == FlightPhase::takeoff)
        return true;
    return ac.phases.phase == FlightPhase::flying && ac.phases.previousPhase == FlightPhase::takeoff &&
           engineClock.load() - static_cast<int32_t>(ac.phases.phaseSince) <= 3000;
}

// The samples after lift-off imply a speed well below the reported one: they
// lag behind the aircraft.
bool lf_lagsAfterLiftoff(const LiveAircraft& ac)
{
    const TrafficSample& s0 = ac.stream.samples[0];
    const TrafficSample& s1 = ac.stream.samples[1];
    TakeoffLagInput in;
    in.distanceM = gf_distanceNm({ac.motion.lat, ac.motion.lon}, lf_pos(s1)) * kMetresPerNm;
    in.timeS = lf_ticksUntil(s1.playTime) / 100.0;
    in.speedKt = s0.speedKt;
    in.light = ac.identity.category == Category::Light;
    return gf_takeoffLagCheck(in);
}

// A helicopter reported this slow hovers.
constexpr double kHoverKt = 5.0;
// The reports of a hovering helicopter scatter by up to 20 m about where it
// is, so two of them lie up to 40 m apart: a report nearer than that is no
// way to turn toward, it hovers on over its spot.
constexpr double kHoverNoiseM = 40.0;

// Hovering, with its next report also a hover's.
bool lf_hoversOn(const LiveAircraft& ac)
{
    const TrafficSample& s0 = ac.stream.samples[0];
    const TrafficSample& s1 = ac.stream.samples[1];
    return ac.identity.category == Category::Rotorcraft && !ac.phases.groundMode && !(s0.speedKt > kHoverKt) &&
           !(s1.speedKt > kHoverKt);
}

// A helicopter whose next report lies back the way it came turns round on its
// way there: it swings out to the side of that report first, so that no leg
// flies straight back along the last one.
void lf_turnRoundFirst(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    const TrafficSample& s1 = st[1];
    if (s1.stationary)
        return;
    const LatLon here{ac.motion.lat, ac.motion.lon};
    // Hovering on over its spot, it came the way it last moved.
    if (!ac.leg.lastWay)
        return;
    const double came = *ac.leg.lastWay;
    const double d = gf_distanceNm(here, lf_pos(s1)) * kMetresPerNm;
    if (!(d >= 2.0) ||
        lf_degrees(std::fabs(gf_wrapAngle(gf_initialBearing(here, lf_pos(s1)) - came))) <= kTurnRoundDeg)
        return;
    // In the hover the way it came and the way on are the reports' scatter.
    if (lf_hoversOn(ac) && d < kHoverNoiseM)
        return;
    const RelativePosition rel = gf_relativePosition(here, came, lf_pos(s1));
    const double side = rel.acrossM >= 0.0 ? 1.0 : -1.0;
    const double outM = std::clamp(d / 2.0, 30.0, 150.0);
    const LatLon out = gf_destinationPoint(here, {gf_normalizeAngle(came + side * kPi / 2.0), outM / kMetresPerFoot});
    TrafficSample m = s1;
    m.lat = out.latitude;
    m.lon = out.longitude;
    m.inserted = 1;
    const double back = gf_distanceNm(out, lf_pos(s1)) * kMetresPerNm;
    const int32_t clock = engineClock.load();
    const int32_t ticks = std::max(s1.playTime - clock, 50);
    m.playTime = clock + std::clamp(static_cast<int32_t>(std::lround(ticks * outM / (outM + back))), 25, ticks - 25);
    st.insert(st.begin() + 1, m);
}

// A take-off roll still at taxi speed whose next sample lies well off its
// runway, the way there well off the runway heading, is no take-off: the
// aircraft crosses the runway, or leaves it after holding on it, and taxis
// on (slowed and turned round its corners as a taxiing aircraft is).
constexpr double kOffRunwayM = 30.0;
constexpr double kOffRunwayWayDeg = 30.0;
void lf_taxiOffRunway(LiveAircraft& ac)
{
    const SampleStream& st = ac.stream.samples;
    const RunwayMatch& m = ac.flight.takeoffRunway;
    if (ac.phases.phase != FlightPhase::takeoff_roll || !ac.phases.groundMode || !m.valid || st[1].stationary || st[1].airborne)
        return;
    for (const double kt : {ac.motion.tasKt, st[0].speedKt, st[1].speedKt})
        if (kt > kTurnOnTheSpotKt)
            return;
    const double runway = m.endHeading * kDegToRad;
    const RelativePosition off = gf_relativePosition({m.endLatitude, m.endLongitude}, runway, lf_pos(st[1]));
    const double way = gf_initialBearing({ac.motion.lat, ac.motion.lon}, lf_pos(st[1]));
    if (std::fabs(off.acrossM) > kOffRunwayM && lf_degrees(std::fabs(gf_wrapAngle(way - runway))) > kOffRunwayWayDeg)
        abortTakeoffRoll(ac);
}

// A helicopter lifting off, or setting off from a hover, toward a report
// further off its nose than this turns toward it in the hover first: it
// never flies off sideways or tail first. Still hovering, with the way it
// will leave by already among its reports, it turns toward it there, so
// that its reports need not wait for the turn when it leaves.
constexpr double kHoverTurnDeg = 30.0;
void lf_planHoverTurn(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (ac.identity.category != Category::Rotorcraft || st.size() < 2)
        return;
    const bool liftingOff = ac.phases.phase == FlightPhase::takeoff;
    const bool fromHover = !ac.phases.groundMode && (!(st[0].speedKt > kHoverKt) || st[0].stationary);
    if (!liftingOff && !fromHover)
        return;
    // The way: toward the first report beyond the scatter of where it
    // hovers; the reports within it are the hover's.
    const LatLon here{ac.motion.lat, ac.motion.lon};
    size_t k = 1;
    while (k < st.size() && (st[k].stationary || gf_distanceNm(here, lf_pos(st[k])) * kMetresPerNm < kHoverNoiseM))
        ++k;
    if (k == st.size())
        return;
    const double way = gf_initialBearing(here, lf_pos(st[k]));
    if (!(lf_degrees(std::fabs(gf_wrapAngle(way - ac.motion.heading))) > kHoverTurnDeg))
        return;
    ac.ground.hoverTurning = 1;
    ac.ground.hoverTurnWay = way;
    // Lifting off, the reports it passes over lie where it rises and turns:
    // turned, it goes on along its way toward the one it turned to, nose
    // first, not back to them sideways or tail first (a way made up to swing
    // out on is kept).
    const bool passedOver = liftingOff && k > 1 && std::none_of(st.begin() + 1, st.begin() + static_cast<std::ptrdiff_t>(k),
                                                  [](const TrafficSample& s) { return s.stationary || s.inserted; });
    if (passedOver) {
        st.erase(st.begin() + 1, st.begin() + static_cast<std::ptrdiff_t>(k));
        const int32_t ticks = lf_ticksUntil(st[1].playTime);
        ac.leg.stepLat = (st[1].lat - ac.motion.lat) / ticks;
        ac.leg.stepLon = gf_longitudeDelta(st[1].lon, ac.motion.lon) / ticks;
        ac.ground.legFraction = 1.0 / ticks;
        ac.leg.targetTrack = way;
        ac.flight.profile.clear();
        ac.flight.ramp = {};
    }
}

// The aircraft reached its last sample and none may follow: it leaves the
// simulator and comes back where its reports go on. The App repeats its last
// report while it has nothing new, so this happens while reports still come;
// the line tells such a hiding from any other removal.
void lf_noReportToGoOn(LiveAircraft& ac, const char* why)
{
    const UserAcPosition user = gf_engineUserAcPosition();
    const double nm = gf_flatOffsetNm({user.latitude, user.longitude}, {ac.motion.lat, ac.motion.lon},
                                      gf_cosLatitude(user.latitude))
                          .length();
    gf_logLine(fmt::format("{} has no report to go on: {} ({}, {:.0f} ft, {:.1f} NM out), hidden until its next report",
                           ac.identity.callsign, why, gf_flightPhaseName(ac.phases.phase), ac.motion.altitudeFt, nm));
    noMoreNextPos(ac);
}

// A landing roll whose next report lies beside its runway where the roll,
// as it now goes, cannot get: the reports left the runway before the shown
// aircraft was down (it touched down further on than they did). Hidden, it is
// shown again where its reports go on.
bool lf_hideRollThatCannotLeave(LiveAircraft& ac)
{
    const SampleStream& st = ac.stream.samples;
    if (ac.phases.phase != FlightPhase::landing_roll || !ac.phases.groundMode || st.size() < 2 || st[1].inserted ||
        ac.stream.projection > 0)
        return false;
    const double kt = std::isfinite(ac.motion.tasKt) ? ac.motion.tasKt : ac.flight.groundSpeedKt;
    if (!gf_leftRunwayUnseen(ac, gf_aircraftPosition(ac), kt, engineClock.load(), st[1]))
        return false;
    gf_logLine(fmt::format("{} left its runway unseen, hidden until its next report", ac.identity.callsign));
    removeAircraftFromSim(ac);
    return true;
}

} // namespace

void nextPosMain(LiveAircraft& ac)
{
    try {
        for (int pass = 1;; ++pass) {
            if (pass >= 32) {
                gf_logError(fmt::format("{}: guard exceeded {}, sz:{}, fs:{}, st:{}", "nextPosMain", lf_who(ac),
                                        ac.stream.samples.size(), gf_flightPhaseName(ac.phases.phase),
                                        gf_simStateName(ac.sim.simState)));
                noMoreNextPos(ac);
                return;
            }
            SampleStream& st = ac.stream.samples;
            if (st.size() >= 2) {
                if (!ac.phases.groundMode && st[1].stationary && ac.identity.category != Category::Rotorcraft) {
                    st.erase(st.begin() + 1);
                    continue;
                }
                if (lf_hideRollThatCannotLeave(ac))
                    return;
                if (lf_checkRunwayHeadingAhead(ac))
                    continue;
                if (lf_dropRollSampleBehind(ac))
                    continue;
                if (lf_dropPassedReportAloft(ac))
                    continue;
                if (!lf_liftingOff(ac) || ac.stream.projection > 0 || st.size() < 2) {
                    lf_advanceLeg(ac);
                    return;
                }
                if (lf_lagsAfterLiftoff(ac)) {
                    st.erase(st.begin() + 1, st.end());
                    continue;
                }
                lf_advanceLeg(ac);
                return;
            }
            // Refused at the stand (projection 1): it moves on with the
            // samples that still come and leaves when they run dry.
            if (ac.phases.phase == FlightPhase::parking && ac.stream.projection != 1) {
                arriveAtStand(ac);
                return;
            }
            int32_t n = 0;
            if (ac.stream.projection < 0) {
                lf_noReportToGoOn(ac, "its reports ran out");
                return;
            }
            if (ac.stream.projection == 1) {
                ac.stream.projection = -1;
                lf_noReportToGoOn(ac, "the way made up for it is spent");
                return;
            }
            n = ac.stream.projection > 1 ? ac.stream.projection - 1 : extrapolationBudget(ac);
            if (n < 1) {
                lf_noReportToGoOn(ac, "no way may be made up for it here");
                return;
            }
            extrapolateSample(ac, n);
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "nextPosMain", e.what(), lf_who(ac),
                                ac.stream.samples.size(), gf_flightPhaseName(ac.phases.phase), gf_simStateName(ac.sim.simState)));
        throw;
    }
}

void lf_advanceLeg(LiveAircraft& ac)
{
    ac.leg.legOverride = 0;
    landOnRunwayFirst(ac);
    timeTouchdown(ac);
    const bool roll = ac.phases.phase == FlightPhase::takeoff_roll || ac.phases.phase == FlightPhase::landing_roll;
    if (!ac.phases.groundMode || !roll)
        ac.flight.ramp = {};
    ac.flight.arc = {};
    ac.flight.profile.clear();
    lf_clearGroundPath(ac.ground);
    ac.ground.sharpTurn = 0;
    ac.ground.turningInPlace = 0;
    ac.ground.turnRoundSide = 0;
    ac.ground.hoverTurning = 0;
    ac.ground.hoverLeg = 0;
    SampleStream& st = ac.stream.samples;
    if (!st[1].stationary) {
        if (lf_samePosition(st[0], st[1]))
            st[1].stationary = 1;
        else
            ac.leg.targetTrack = gf_initialBearing(lf_pos(st[0]), lf_pos(st[1]));
    }
    const double reportsKt = ac.phases.groundMode ? 0.0 : airReportsPaceKt(ac);
    if (ac.phases.groundMode) {
        nextPosGround(ac);
    } else {
        ac.ground.pushingInTaxi = 0;
        nextPosAir(ac);
    }
    if (st.size() < 2)
        return;
    const TrafficSample& s1 = st[1];
    if (!s1.stationary) {
        int32_t legTicks = ac.leg.legOverride ? ac.leg.legOverrideTicks : lf_ticksUntil(s1.playTime);
        // A hover's legs are its reports' scatter, flown in their own time.
        if (!ac.phases.groundMode && !lf_hoversOn(ac))
            legTicks = boundAirLeg(ac, reportsKt, legTicks);
        ac.leg.stepLat = (s1.lat - ac.motion.lat) / legTicks;
        ac.leg.stepLon = gf_longitudeDelta(s1.lon, ac.motion.lon) / legTicks;
        ac.ground.legFraction = 1.0 / legTicks;
        if (ac.phases.groundMode)
            planGroundRollLeg(ac, legTicks);
        else
            planAirLeg(ac, legTicks);
        if (!ac.phases.groundMode && lf_hoversOn(ac)) {
            // Hovering on: level, its nose kept, not turned and banked toward
            // each report; a report within the scatter of where it hovers
            // leaves it there, not flown to and back.
            ac.ground.hoverLeg = 1;
            ac.leg.airHeadingStep = 0.0;
            ac.flight.arc = {};
            if (gf_distanceNm({ac.motion.lat, ac.motion.lon}, lf_pos(s1)) * kMetresPerNm < kHoverNoiseM) {
                ac.leg.stepLat = 0.0;
                ac.leg.stepLon = 0.0;
            }
        }
        lf_planHoverTurn(ac);
        const double northM = ac.leg.stepLat * 60.0 * kMetresPerNm;
        const double eastM = ac.leg.stepLon * 60.0 * kMetresPerNm * std::cos(ac.motion.lat * kDegToRad);
        if (std::hypot(northM, eastM) > 1e-4)
            ac.leg.lastWay = std::atan2(eastM, northM);
    } else {
        if (!ac.phases.groundMode)
            lf_planHoverTurn(ac);
        ac.flight.ramp = {};
        ac.leg.stepLat = 0.0;
        ac.leg.stepLon = 0.0;
        if (ac.leg.lagEarlier > 900)
            ac.leg.lagEarlier = std::max(ac.leg.lagEarlier - 100, 900);
        if (ac.leg.lagLater > 900)
            ac.leg.lagLater = std::max(ac.leg.lagLater - 100, 900);
    }
    st.pop_front();
}

void nextPosGround(LiveAircraft& ac)
{
    try {
        SampleStream& st = ac.stream.samples;
        if (ac.phases.phase != FlightPhase::taxi)
            ac.ground.pushingInTaxi = 0;
        if (ac.phases.phase == FlightPhase::pushing_back) {
            lf_endPushBack(ac);
            lf_groundLegTiming(ac);
            return;
        }
        if (ac.phases.phase == FlightPhase::parked) {
            ac.leg.lagEarlier = 2700;
            ac.leg.lagLater = 2700;
            ac.leg.headingCorrectionPending = 0;
            if (ac.push.standLeaveRequest) {
                if (ac.push.pulledOut)
                    lf_pullOutOfStand(ac);
                else
                    initiatePushBack(ac);
                ac.leg.speedMode = ac.phases.phase == FlightPhase::pushing_back ? LegSpeedMode::standing : LegSpeedMode::none;
            } else if (lf_samePosition(st[0], st[1])) {
                st[1].stationary = 1;
            }
            lf_groundLegTiming(ac);
            return;
        }
        gf_keepStreamOnLandingCentreLine(ac);
        lf_taxiOffRunway(ac);
        lf_scanRunwayHold(ac);
        // A taxiing aircraft that has come to rest near the stands gets one,
        // and the path onto it is planned like any other.
        if (lf_parkingHandOverDue(ac))
            try2Park(ac);
        lf_holdFlipBehind(ac);
        ac.ground.pushingInTaxi = lf_pushLeg(ac, ac.ground.pushingInTaxi != 0) ? 1 : 0;
        if (ac.ground.pushingInTaxi)
            ac.leg.targetTrack = ac.motion.heading; // pushed straight back, the nose kept
        else
            lf_planGroundLeg(ac);
        const TrafficSample& s0 = st[0];
        const TrafficSample& s1 = st[1];
        ac.leg.headingCorrectionDeg = std::fabs(gf_wrapAngle(ac.leg.targetTrack - ac.motion.heading)) * 180.0 / kPi;
        ac.leg.headingCorrectionPending =
            ac.leg.headingCorrectionDeg > 3.0 && !ac.ground.groundTurn.active() && !ac.ground.groundCurve.valid() ? 1 : 0;
        if (!s1.stationary && !ac.ground.groundTurn.active() && !ac.ground.groundCurve.valid() && !ac.ground.pushingInTaxi)
            lf_alignToRunwayOnEntry(ac);
        ac.leg.speedMode = LegSpeedMode::none;
        if (!s1.stationary && std::isfinite(s0.speedKt) && std::isfinite(s1.speedKt)) {
            if (ac.phases.phase == FlightPhase::parking) {
                if (s0.speedKt == 0.0 && s1.speedKt == 0.0)
                    ac.leg.speedMode = LegSpeedMode::standing;
                else if (s0.speedKt > 2.0 && s1.speedKt == 0.0)
                    ac.leg.speedMode = LegSpeedMode::slowToStop;
            } else if (ac.phases.phase == FlightPhase::taxi || ac.phases.phase == FlightPhase::takeoff_roll) {
                const bool s2Stationary = st.size() >= 3 && st[2].stationary;
                if (s0.speedKt == 0.0 && s1.speedKt > 2.0)
                    ac.leg.speedMode = LegSpeedMode::accelerateFromStop;
                else if (s0.speedKt > 2.0 && (s1.speedKt == 0.0 || (s1.speedKt <= 2.0 && s2Stationary)))
                    ac.leg.speedMode = LegSpeedMode::slowToStop;
            }
        }
        lf_groundLegTiming(ac);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("{}: {}, {}, sz:{}", "nextPosGround", e.what(), lf_who(ac), ac.stream.samples.size()));
        throw;
    }
}

void nextPosAir(LiveAircraft& ac)
{
    try {
        SampleStream& st = ac.stream.samples;
        const bool rotorcraft = ac.identity.category == Category::Rotorcraft;
        if (rotorcraft)
            lf_turnRoundFirst(ac);
        gf_keepStreamOnLandingCentreLine(ac);
        const TrafficSample& s0 = st[0];
        const TrafficSample& s1 = st[1];
        if (s1.stationary) {
            if (rotorcraft)
                lf_holdLeg(ac);
            else
                removeAircraftFromSim(ac);
            return;
        }
        const double distance = gf_distanceNm(lf_pos(s0), lf_pos(s1));
        if (!rotorcraft) {
            const double interval = std::max<double>(s1.playTime - s0.playTime, 25.0) / 100.0;
            if (distance * kTicksPerHour / interval < 40.0) {
                removeAircraftFromSim(ac);
                return;
            }
        }
        double speed = 100.0;
        if (ac.phases.phase == FlightPhase::landing && !s1.airborne && s0.speedKt > 0.0) {
            speed = s0.speedKt;
        } else if (rotorcraft && lf_hoversOn(ac)) {
            // The legs between a hover's reports are their scatter: flown in
            // the reports' own time, not at the hover's few knots, which
            // would hold every later report back.
            const double ticks = std::max<double>(s1.playTime - s0.playTime, 25.0);
            speed = std::max(distance * kTicksPerHour / ticks, 1e-3);
        } else {
            const double leg = lf_legSpeedKt(ac);
            if (leg > 1.0)
                speed = leg;
        }
        retimeNextSample(ac, std::max(static_cast<int32_t>(std::lround(distance * kTicksPerHour / speed)), 25));
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}, {}, sz:{}", "nextPosAir", e.what(), lf_who(ac), ac.stream.samples.size()));
        throw;
    }
}
