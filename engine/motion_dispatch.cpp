#include "engine/motion_dispatch.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include <fmt/format.h>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/approach.h"
#include "engine/flight_motion.h"
#include "engine/ground_moves.h"
#include "engine/ground_turns.h"
#include "engine/stand_arrival.h"
#include "engine/taxi_to_stand.h"
#include "engine/live_at_stands.h"
#include "stands/stand_table.h"
#include "engine/geometry.h"
#include "engine/motion_step.h"
#include "engine/runway_hold.h"
#include "engine/sample_checks.h"
#include "engine/traffic_state.h"
#include "runways/runway_matching.h"

namespace {

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
    return fmt::format("{} {}", ac.callsign, ac.registration);
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

// Heading and motion further apart than this on the ground look like a slide.
constexpr double kSlideDeg = 30.0;
constexpr double kStandingKt = 2.0; // a report this slow is a standing aircraft
// The fastest an aircraft turns on the spot from: faster, it is rolling for
// its take-off. At taxi speeds the turn on the spot keeps a leg off the
// heading from being driven sideways.
constexpr double kTurnOnTheSpotKt = 30.0;
constexpr double kRollingTurnMinM = 20.0; // a shorter leg leaves no room to turn as it rolls

// Taxiing out slowly from a push-back or a stand at an airport with stands.
bool lf_afterPushBack(const LiveAircraft& ac)
{
    if (ac.phase != FlightPhase::taxi ||
        (ac.previousPhase != FlightPhase::pushed_back && ac.previousPhase != FlightPhase::parked) ||
        gf_standCount() == 0)
        return false;
    for (size_t i = 0; i + 1 < ac.samples.size(); ++i)
        if (!(ac.samples[i].speedKt <= 6.0))
            return false;
    return true;
}

// The aircraft and the sample lie on the same runway.
bool lf_sameRunway(const LiveAircraft& ac, const TrafficSample& s)
{
    const auto here = gf_runwayAtPosition({ac.lat, ac.lon}, ac.heading);
    const auto there = gf_runwayAtPosition(lf_pos(s), ac.heading);
    return here && there && here->runwayText == there->runwayText;
}

// A tug pushes at this speed or slower.
constexpr double kPushKt = 5.0;
constexpr double kBackwardsDeg = 135.0;
constexpr double kNoseTrackDeg = 45.0;
// A leg this far from the way a helicopter came would fly it straight back.
constexpr double kTurnRoundDeg = 120.0;

// A taxi leg that goes backwards at a tug's pace is a push-back (an aircraft
// without a stand): from rest or on from a push, with the report's track
// (often the nose's direction) along the heading.
bool lf_pushLeg(const LiveAircraft& ac, bool wasPushing)
{
    const SampleStream& st = ac.samples;
    if (ac.phase != FlightPhase::taxi || !ac.groundMode || st[1].stationary || st[1].airborne ||
        !(st[1].speedKt <= kPushKt) || st[0].speedKt > kPushKt)
        return false;
    const double way = gf_initialBearing({ac.lat, ac.lon}, lf_pos(st[1]));
    if (!(lf_degrees(std::fabs(gf_wrapAngle(way - ac.heading))) >= kBackwardsDeg))
        return false;
    const double nose = std::fabs(std::remainder(st[1].trackDeg - lf_degrees(ac.heading), 360.0));
    // A push-back's report gives as its track either the nose or the way it
    // is pushed; a track that is neither is no push-back.
    const double along = lf_degrees(std::fabs(gf_wrapAngle(st[1].trackDeg * kDegToRad - way)));
    if (!wasPushing && nose > kNoseTrackDeg && along > kNoseTrackDeg)
        return false;
    return wasPushing || !(st[0].speedKt > kStandingKt) || nose <= kNoseTrackDeg;
}

// The push-back target is reached: engines on and ready to taxi.
void lf_endPushBack(LiveAircraft& ac)
{
    ac.targetTrack = ac.heading;
    gf_engineStart(ac.objectId);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
    ac.setPhase(FlightPhase::pushed_back);
    ac.projection = 0;
    ac.standLeaveRequest = 0;
    ac.speedMode = LegSpeedMode::none;
}

// Rolling at taxi speed, a next report only a few metres away and well off
// the heading, with more ahead, is the feed's scatter: no aircraft turns
// that sharply as it rolls. It is passed over for the one after.
bool lf_dropScatterAhead(LiveAircraft& ac)
{
    SampleStream& st = ac.samples;
    if ((ac.phase != FlightPhase::taxi && ac.phase != FlightPhase::landing_roll) || ac.pushingInTaxi ||
        ac.projection > 0 || st.size() < 3 || st[1].inserted || st[2].stationary || st[2].airborne ||
        !(ac.tasKt > kStandingKt) || ac.tasKt > kTurnOnTheSpotKt || !(st[0].speedKt > kStandingKt))
        return false;
    const LatLon here{ac.lat, ac.lon};
    if (!(gf_distanceNm(here, lf_pos(st[1])) * kMetresPerNm < kRollingTurnMinM))
        return false;
    const double off = lf_degrees(std::fabs(gf_wrapAngle(gf_initialBearing(here, lf_pos(st[1])) - ac.heading)));
    const double offAfter = lf_degrees(std::fabs(gf_wrapAngle(gf_initialBearing(here, lf_pos(st[2])) - ac.heading)));
    if (!(off >= kSlideDeg) || !(offAfter < off))
        return false;
    st.erase(st.begin() + 1);
    ac.targetTrack = gf_initialBearing(lf_pos(st[0]), lf_pos(st[1]));
    return true;
}

// The bend ahead: a turn planned over it, or the first leg split where it
// needs a turn at its middle or a change of speed spread.
void lf_planGroundLeg(LiveAircraft& ac)
{
    SampleStream& st = ac.samples;
    const bool afterPushBack = lf_afterPushBack(ac);
    if (st[1].stationary || !ac.groundMode)
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
    const double off = lf_degrees(std::fabs(gf_wrapAngle(gf_initialBearing({ac.lat, ac.lon}, lf_pos(st[1])) - ac.heading)));
    const bool lastLeg = st.size() == 2 || st[2].stationary;
    if ((lastLeg || off > kSlideDeg) && !(st[0].inserted && st[1].inserted)) {
        if (off > 15.0) {
            const double f = std::clamp((off - 15.0) / 75.0, 0.0, 1.0);
            if (lf_flatMetres(st[0], st[1]) >= 45.0 - 35.0 * f * f) {
                insertMidSample(ac);
                if (lf_planGroundTurn(ac))
                    return;
            }
        }
    }
    if (st.size() >= 3 || ac.projection <= 0)
        lf_checkSpeedChangeSplit(ac, afterPushBack);
}

// A Light aircraft rolling for take-off drops a sample that lies almost on
// top of it when the one after lies well ahead along the runway.
bool lf_dropRollSampleBehind(LiveAircraft& ac)
{
    SampleStream& st = ac.samples;
    if (ac.category != Category::Light || !ac.groundMode ||
        ac.phase != FlightPhase::takeoff_roll || st.size() < 3 || !(ac.flight.groundSpeedKt >= 35.0))
        return false;
    const double heading =
        ac.flight.takeoffRunway.valid ? ac.flight.takeoffRunway.endHeading * kPi / 180.0 : ac.heading;
    const LatLon here{ac.lat, ac.lon};
    if (!(gf_distanceNm(here, lf_pos(st[1])) * kMetresPerNm < 12.0))
        return false;
    if (!(gf_relativePosition(here, heading, lf_pos(st[2])).alongM > 30.0))
        return false;
    st.erase(st.begin() + 1);
    return true;
}

// In the take-off, or in the first 30 s of flying after it.
bool lf_liftingOff(const LiveAircraft& ac)
{
    if (ac.phase == FlightPhase::takeoff)
        return true;
    return ac.phase == FlightPhase::flying && ac.previousPhase == FlightPhase::takeoff &&
           engineClock.load() - static_cast<int32_t>(ac.phaseSince) <= 3000;
}

// The samples after lift-off imply a speed well below the reported one: they
// lag behind the aircraft.
bool lf_lagsAfterLiftoff(const LiveAircraft& ac)
{
    const TrafficSample& s0 = ac.samples[0];
    const TrafficSample& s1 = ac.samples[1];
    TakeoffLagInput in;
    in.distanceM = gf_distanceNm({ac.lat, ac.lon}, lf_pos(s1)) * kMetresPerNm;
    in.timeS = lf_ticksUntil(s1.playTime) / 100.0;
    in.speedKt = s0.speedKt;
    in.light = ac.category == Category::Light;
    return gf_takeoffLagCheck(in);
}

// A helicopter whose next report lies back the way it came turns round on its
// way there: it swings out to the side of that report first, so that no leg
// flies straight back along the last one.
void lf_turnRoundFirst(LiveAircraft& ac)
{
    SampleStream& st = ac.samples;
    const TrafficSample& s1 = st[1];
    if (s1.stationary)
        return;
    const LatLon here{ac.lat, ac.lon};
    const double northM = ac.stepLat * 60.0 * kMetresPerNm;
    const double eastM = ac.stepLon * 60.0 * kMetresPerNm * std::cos(ac.lat * kDegToRad);
    if (!(std::hypot(northM, eastM) > 1e-4))
        return; // it hovered: no way it came
    const double came = std::atan2(eastM, northM);
    const double d = gf_distanceNm(here, lf_pos(s1)) * kMetresPerNm;
    if (!(d >= 2.0) ||
        lf_degrees(std::fabs(gf_wrapAngle(gf_initialBearing(here, lf_pos(s1)) - came))) <= kTurnRoundDeg)
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

// Rolling at taxi speed onto a leg this far off the heading or less, the
// aircraft turns onto it as it rolls; further off it stops and turns on the
// spot.
constexpr double kRollingTurnMaxDeg = 100.0;

// The mean sideways acceleration a rolling turn onto a leg is taken with
// (m/s²): its sharpest part asks about twice that.
constexpr double kRollingTurnSideMps2 = 1.0;
constexpr double kRollingTurnSlowestKt = 8.0;

// A taxiing aircraft moving on with its heading well off the leg ahead:
// a curve from where it is, leaving along its heading, onto the line to the
// next sample, and the speed it takes it at. 0 when there is no room for it.
double lf_rollOntoLeg(LiveAircraft& ac, double legKt)
{
    SampleStream& st = ac.samples;
    const LatLon here{ac.lat, ac.lon};
    const double toNextM = gf_distanceNm(here, lf_pos(st[1])) * kMetresPerNm;
    if (!(toNextM >= kRollingTurnMinM))
        return 0.0;
    const LatLon control = gf_destinationPoint(here, {ac.heading, 0.5 * toNextM * kFeetPerMetre});
    GroundCurveInput in;
    in.a = {here.latitude, here.longitude, 0.0};
    in.b = {control.latitude, control.longitude, 0.5};
    in.c = lf_pos(st[1]);
    in.endTime = 1.0;
    gf_buildGroundCurve(ac.groundCurve, in);
    if (!ac.groundCurve.valid())
        return 0.0;
    ac.curveProgress = 0.0;
    ac.targetTrack = gf_initialBearing(control, lf_pos(st[1]));
    const double turn = std::fabs(gf_wrapAngle(ac.targetTrack - ac.heading));
    ac.lastTurnAngleDeg = lf_degrees(turn);
    ac.headingCorrectionPending = 0;
    // Slowed into the turn: v² × turn / length is its mean sideways pull.
    const double turnKt = std::sqrt(kRollingTurnSideMps2 * toNextM / std::max(turn, 1e-3)) / kKnotsToMetresPerSecond;
    const double kt = std::clamp(turnKt, kRollingTurnSlowestKt, std::max(legKt, kRollingTurnSlowestKt));
    ac.tasKt = kt;
    st[1].tasKt = kt; // the speed shown until it gets there
    return kt;
}

// A leg further than this off the heading is driven after a U-turn rolled
// at walking pace: turned on the spot, the aircraft would drive straight
// back the way it came.
constexpr double kRollRoundDeg = 120.0;

// The side a U-turn toward `way` rolls round to: the side the next sample
// lies on, unless it lies within that turning circle.
int8_t lf_turnRoundSide(const LiveAircraft& ac, double way)
{
    const int8_t side = gf_wrapAngle(way - ac.heading) >= 0.0 ? 1 : -1;
    const double radiusM = gf_turnRoundRadiusM(ac);
    const LatLon here{ac.lat, ac.lon};
    const LatLon centre =
        gf_destinationPoint(here, {gf_normalizeAngle(ac.heading + side * kPi / 2.0), radiusM * kFeetPerMetre});
    const double fromCentreM = gf_distanceNm(centre, lf_pos(ac.samples[1])) * kMetresPerNm;
    return fromCentreM > 1.2 * radiusM ? side : static_cast<int8_t>(-side);
}

// A take-off roll still at taxi speed whose next sample lies well off its
// runway, the way there well off the runway heading, is no take-off: the
// aircraft crosses the runway, or leaves it after holding on it, and taxis
// on (slowed and turned round its corners as a taxiing aircraft is).
constexpr double kOffRunwayM = 30.0;
constexpr double kOffRunwayWayDeg = 30.0;
void lf_taxiOffRunway(LiveAircraft& ac)
{
    const SampleStream& st = ac.samples;
    const RunwayMatch& m = ac.flight.takeoffRunway;
    if (ac.phase != FlightPhase::takeoff_roll || !ac.groundMode || !m.valid || st[1].stationary || st[1].airborne)
        return;
    for (const double kt : {ac.tasKt, st[0].speedKt, st[1].speedKt})
        if (kt > kTurnOnTheSpotKt)
            return;
    const double runway = m.endHeading * kDegToRad;
    const RelativePosition off = gf_relativePosition({m.endLatitude, m.endLongitude}, runway, lf_pos(st[1]));
    const double way = gf_initialBearing({ac.lat, ac.lon}, lf_pos(st[1]));
    if (std::fabs(off.acrossM) > kOffRunwayM && lf_degrees(std::fabs(gf_wrapAngle(way - runway))) > kOffRunwayWayDeg)
        abortTakeoffRoll(ac);
}

// A helicopter lifting off, or setting off from a hover, toward a report
// further off its nose than this turns toward it in the hover first: it
// never flies off sideways or tail first.
constexpr double kHoverTurnDeg = 30.0;
constexpr double kHoverKt = 5.0;
constexpr double kHoverTurnMinM = 10.0; // a report nearer is hover taxi on the spot
void lf_planHoverTurn(LiveAircraft& ac)
{
    const SampleStream& st = ac.samples;
    if (ac.category != Category::Rotorcraft || st[1].stationary)
        return;
    const bool liftingOff = ac.phase == FlightPhase::takeoff;
    const bool fromHover = !ac.groundMode && !(st[0].speedKt > kHoverKt);
    if (!liftingOff && !fromHover)
        return;
    const LatLon here{ac.lat, ac.lon};
    if (!(gf_distanceNm(here, lf_pos(st[1])) * kMetresPerNm >= kHoverTurnMinM))
        return;
    const double off = lf_degrees(std::fabs(gf_wrapAngle(gf_initialBearing(here, lf_pos(st[1])) - ac.heading)));
    if (off > kHoverTurnDeg)
        ac.hoverTurning = 1;
}

} // namespace

double lf_legSpeedKt(const LiveAircraft& ac)
{
    const TrafficSample& s0 = ac.samples[0];
    const TrafficSample& s1 = ac.samples[1];
    double v = 0.0;
    const bool roll = ac.phase == FlightPhase::takeoff_roll || ac.phase == FlightPhase::landing_roll;
    if (roll && lf_finiteNonNegative(s0.speedKt) && lf_finiteNonNegative(s1.speedKt) &&
        (s0.speedKt > 0.0 || s1.speedKt > 0.0)) {
        v = (s0.speedKt + s1.speedKt) / 2.0;
    } else if (s0.speedKt > 0.0) {
        v = std::isfinite(s1.speedKt) && s1.speedKt > 0.0 ? (s0.speedKt + s1.speedKt) / 2.0 : s0.speedKt;
    } else if (!std::isfinite(s1.speedKt) || s1.speedKt <= 0.0) {
        const double ticks = std::max<double>(s1.playTime - s0.playTime, 25.0);
        v = gf_distanceNm(lf_pos(s0), lf_pos(s1)) * kTicksPerHour / ticks;
        if (!(v > 0.0))
            v = 1.0;
    } else {
        v = s1.speedKt;
    }
    return std::max(v, 1.0);
}

void nextPosMain(LiveAircraft& ac)
{
    try {
        for (int pass = 1;; ++pass) {
            if (pass >= 32) {
                gf_logError(fmt::format("{}: guard exceeded {}, sz:{}, fs:{}, st:{}", "nextPosMain", lf_who(ac),
                                        ac.samples.size(), gf_flightPhaseName(ac.phase),
                                        gf_simStateName(ac.simState)));
                noMoreNextPos(ac);
                return;
            }
            SampleStream& st = ac.samples;
            if (st.size() >= 2) {
                if (!ac.groundMode && st[1].stationary && ac.category != Category::Rotorcraft) {
                    st.erase(st.begin() + 1);
                    continue;
                }
                if (lf_checkRunwayHeadingAhead(ac))
                    continue;
                if (lf_dropRollSampleBehind(ac))
                    continue;
                if (!lf_liftingOff(ac) || ac.projection > 0 || st.size() < 2) {
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
            if (ac.phase == FlightPhase::parking && ac.projection != 1) {
                arriveAtStand(ac);
                return;
            }
            int32_t n = 0;
            if (ac.projection < 0) {
                noMoreNextPos(ac);
                return;
            }
            if (ac.projection == 1) {
                ac.projection = -1;
                noMoreNextPos(ac);
                return;
            }
            n = ac.projection > 1 ? ac.projection - 1 : extrapolationBudget(ac);
            if (n < 1) {
                noMoreNextPos(ac);
                return;
            }
            extrapolateSample(ac, n);
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "nextPosMain", e.what(), lf_who(ac),
                                ac.samples.size(), gf_flightPhaseName(ac.phase), gf_simStateName(ac.simState)));
        throw;
    }
}

void lf_advanceLeg(LiveAircraft& ac)
{
    ac.legOverride = 0;
    timeTouchdown(ac);
    const bool roll = ac.phase == FlightPhase::takeoff_roll || ac.phase == FlightPhase::landing_roll;
    if (!ac.groundMode || !roll)
        ac.flight.ramp = {};
    ac.flight.arc = {};
    ac.flight.profile.clear();
    lf_clearGroundPath(ac);
    ac.sharpTurn = 0;
    ac.turningInPlace = 0;
    ac.turnRoundSide = 0;
    ac.hoverTurning = 0;
    SampleStream& st = ac.samples;
    if (!st[1].stationary) {
        if (lf_samePosition(st[0], st[1]))
            st[1].stationary = 1;
        else
            ac.targetTrack = gf_initialBearing(lf_pos(st[0]), lf_pos(st[1]));
    }
    if (ac.groundMode) {
        nextPosGround(ac);
    } else {
        ac.pushingInTaxi = 0;
        nextPosAir(ac);
    }
    if (st.size() < 2)
        return;
    const TrafficSample& s1 = st[1];
    if (!s1.stationary) {
        const int32_t legTicks = ac.legOverride ? ac.legOverrideTicks : lf_ticksUntil(s1.playTime);
        ac.stepLat = (s1.lat - ac.lat) / legTicks;
        ac.stepLon = gf_longitudeDelta(s1.lon, ac.lon) / legTicks;
        ac.legFraction = 1.0 / legTicks;
        if (ac.groundMode)
            planGroundRollLeg(ac, legTicks);
        else
            planAirLeg(ac, legTicks);
        if (st.size() >= 2)
            lf_planHoverTurn(ac);
    } else {
        ac.flight.ramp = {};
        ac.stepLat = 0.0;
        ac.stepLon = 0.0;
        if (ac.lagEarlier > 900)
            ac.lagEarlier = std::max(ac.lagEarlier - 100, 900);
        if (ac.lagLater > 900)
            ac.lagLater = std::max(ac.lagLater - 100, 900);
    }
    st.pop_front();
}

void nextPosGround(LiveAircraft& ac)
{
    try {
        SampleStream& st = ac.samples;
        if (ac.phase != FlightPhase::taxi)
            ac.pushingInTaxi = 0;
        if (ac.phase == FlightPhase::pushing_back) {
            lf_endPushBack(ac);
            lf_groundLegTiming(ac);
            return;
        }
        if (ac.phase == FlightPhase::parked) {
            ac.lagEarlier = 2700;
            ac.lagLater = 2700;
            ac.headingCorrectionPending = 0;
            if (ac.standLeaveRequest) {
                if (ac.pulledOut)
                    lf_pullOutOfStand(ac);
                else
                    initiatePushBack(ac);
                ac.speedMode = ac.phase == FlightPhase::pushing_back ? LegSpeedMode::standing : LegSpeedMode::none;
            } else if (lf_samePosition(st[0], st[1])) {
                st[1].stationary = 1;
            }
            lf_groundLegTiming(ac);
            return;
        }
        lf_taxiOffRunway(ac);
        lf_scanRunwayHold(ac);
        // A taxiing aircraft that has come to rest near the stands gets one,
        // and the path onto it is planned like any other.
        if (lf_parkingHandOverDue(ac))
            try2Park(ac);
        ac.pushingInTaxi = lf_pushLeg(ac, ac.pushingInTaxi != 0) ? 1 : 0;
        if (ac.pushingInTaxi)
            ac.targetTrack = ac.heading; // pushed straight back, the nose kept
        else
            lf_planGroundLeg(ac);
        const TrafficSample& s0 = st[0];
        const TrafficSample& s1 = st[1];
        ac.headingCorrectionDeg = std::fabs(gf_wrapAngle(ac.targetTrack - ac.heading)) * 180.0 / kPi;
        ac.headingCorrectionPending =
            ac.headingCorrectionDeg > 3.0 && !ac.groundTurn.active() && !ac.groundCurve.valid() ? 1 : 0;
        if (!s1.stationary && !ac.groundTurn.active() && !ac.groundCurve.valid() && !ac.pushingInTaxi)
            lf_alignToRunwayOnEntry(ac);
        ac.speedMode = LegSpeedMode::none;
        if (!s1.stationary && std::isfinite(s0.speedKt) && std::isfinite(s1.speedKt)) {
            if (ac.phase == FlightPhase::parking) {
                if (s0.speedKt == 0.0 && s1.speedKt == 0.0)
                    ac.speedMode = LegSpeedMode::standing;
                else if (s0.speedKt > 2.0 && s1.speedKt == 0.0)
                    ac.speedMode = LegSpeedMode::slowToStop;
            } else if (ac.phase == FlightPhase::taxi || ac.phase == FlightPhase::takeoff_roll) {
                const bool s2Stationary = st.size() >= 3 && st[2].stationary;
                if (s0.speedKt == 0.0 && s1.speedKt > 2.0)
                    ac.speedMode = LegSpeedMode::accelerateFromStop;
                else if (s0.speedKt > 2.0 && (s1.speedKt == 0.0 || (s1.speedKt <= 2.0 && s2Stationary)))
                    ac.speedMode = LegSpeedMode::slowToStop;
            }
        }
        lf_groundLegTiming(ac);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("{}: {}, {}, sz:{}", "nextPosGround", e.what(), lf_who(ac), ac.samples.size()));
        throw;
    }
}

// Driving off from rest over a leg of this length to reach this speed at
// its end: the ticks it takes, speeding up evenly and no harder than an
// aircraft on its own thrust does. A creep may end its leg at up to walking
// pace: held to a 1 kt report it would take twice the report's own time.
constexpr double kDriveOffMps2 = 1.0;
constexpr double kCreepEndKt = 5.0;
int32_t lf_fromRestTicks(double lengthM, double speedKt)
{
    const double atSpeed = 2.0 * lengthM / (std::max(speedKt, kCreepEndKt) * kKnotsToMetresPerSecond);
    const double gathering = std::sqrt(2.0 * lengthM / kDriveOffMps2);
    return static_cast<int32_t>(std::ceil(std::max(atSpeed, gathering) * kTicksPerSecond));
}

void lf_groundLegTiming(LiveAircraft& ac)
{
    SampleStream& st = ac.samples;
    if (st[1].stationary) {
        lf_holdLeg(ac);
        return;
    }
    double rate = gf_groundSpeedFactor(st[0].speedKt) * ac.baseTurnRate;
    ac.turnRate = rate;
    // Rolling at taxi speed with the heading well off the leg ahead (a
    // corner the samples cut): it turns onto the leg as it rolls, not stops
    // dead to turn on the spot.
    double rollingTurnKt = 0.0;
    if (ac.phase == FlightPhase::taxi && !ac.pushingInTaxi && ac.projection <= 0 && !ac.groundTurn.active() &&
        !ac.groundCurve.valid() && ac.tasKt > kStandingKt && !(ac.tasKt > kTurnOnTheSpotKt) &&
        !(st[0].speedKt > kTurnOnTheSpotKt) && st[0].speedKt > kStandingKt) {
        const double off =
            lf_degrees(std::fabs(gf_wrapAngle(gf_initialBearing({ac.lat, ac.lon}, lf_pos(st[1])) - ac.heading)));
        if (off >= kSlideDeg && off <= kRollingTurnMaxDeg)
            rollingTurnKt = lf_rollOntoLeg(ac, lf_legSpeedKt(ac));
    }
    // Rolling out with the next report well off the heading (an exit the
    // reports cut): the roll curves off toward the side the report lies on,
    // the heading turning with the way, slowed for the turn; driven straight
    // there it would slide sideways or turn away from it.
    if (ac.phase == FlightPhase::landing_roll && ac.groundMode && !ac.groundTurn.active() &&
        !ac.groundCurve.valid() && !st[1].airborne) {
        const double off =
            lf_degrees(std::fabs(gf_wrapAngle(gf_initialBearing({ac.lat, ac.lon}, lf_pos(st[1])) - ac.heading)));
        if (off >= kSlideDeg && off <= kRollingTurnMaxDeg)
            rollingTurnKt = lf_rollOntoLeg(ac, lf_legSpeedKt(ac));
    }
    const bool onTurn = ac.groundTurn.active();
    const bool onCurve = ac.groundCurve.valid();
    const double lengthNm = onTurn ? ac.groundTurn.length / kMetresPerNm : gf_distanceNm(lf_pos(st[0]), lf_pos(st[1]));
    const double speed = rollingTurnKt > 0.0 ? rollingTurnKt : lf_legSpeedKt(ac);
    if (!(lengthNm > 0.0) || !(speed > 0.0)) {
        retimeNextSample(ac, 25);
        return;
    }
    const int32_t legTime = std::max(static_cast<int32_t>(std::lround(lengthNm * kTicksPerHour / speed)), 25);
    const bool pending = ac.headingCorrectionPending != 0;
    if ((onTurn || onCurve || pending) && rate > 0.0) {
        // Fit the turn rate to the time the leg leaves for the turn.
        const double angle = pending ? ac.headingCorrectionDeg : ac.lastTurnAngleDeg;
        const double needed = std::max<double>(std::lround(angle * kDegToRad / rate), 25.0);
        const double ratio = legTime / needed;
        if (angle <= 45.0) {
            if (ratio >= 1.2) {
                const double lengthM = lengthNm * kMetresPerNm;
                double slow = ratio;
                if (angle > 0.0)
                    slow = std::min(slow, ratio * 10.0 / angle);
                slow = std::min(slow, ratio * 30.0 / lengthM);
                rate /= slow;
            } else {
                rate /= ratio;
            }
        } else {
            rate *= std::clamp(1.0 / ratio, 1.0, std::min(angle, 90.0) / 30.0);
            const double u = std::clamp((angle - 30.0) / 70.0, 0.0, 1.0);
            const double later = ac.phase == FlightPhase::takeoff_roll ? 5.0 : 3.0;
            ac.lagEarlier = std::max(ac.lagEarlier, static_cast<int32_t>(std::lround((2.0 * u + 1.0) * 900.0)));
            ac.lagLater = std::max(ac.lagLater, static_cast<int32_t>(std::lround(((later - 1.0) * u + 1.0) * 900.0)));
        }
        ac.turnRate = rate;
    }
    if (ac.category == Category::Light && ac.phase == FlightPhase::landing_roll &&
        !st[1].airborne && !onTurn && !onCurve && ac.projection <= 0 && pending && ac.headingCorrectionDeg >= 150.0 &&
        std::max({ac.tasKt, st[0].speedKt, st[1].speedKt}) <= 30.0 && lf_sameRunway(ac, st[1])) {
        // A light aircraft turning back on its runway after landing taxis.
        abortTakeoffRoll(ac);
    }
    // Taxiing, or starting a take-off roll from a stop: a leg further off the
    // heading than a slide would show is driven after a turn on the spot.
    // The aircraft drives from where it is, which may lie off the sample it
    // just reached: it turns onto that way.
    // Not at a take-off roll's speed: then it steers onto the leg as it goes
    // (a take-off roll still in `taxi` at another airport).
    const bool rollFromStop = ac.phase == FlightPhase::takeoff_roll && !(st[0].speedKt > kStandingKt);
    // From rest it turns first whatever speed the leg reads: driving off at
    // that speed with the heading far off the leg is a slide.
    const bool atRest = !(ac.tasKt > kStandingKt);
    const bool taxiSpeed = (!(st[0].speedKt > kTurnOnTheSpotKt) && !(ac.tasKt > kTurnOnTheSpotKt)) || atRest;
    const double way = gf_initialBearing({ac.lat, ac.lon}, lf_pos(st[1]));
    const double offWay = lf_degrees(std::fabs(gf_wrapAngle(way - ac.heading)));
    if (((ac.phase == FlightPhase::taxi && taxiSpeed && !ac.pushingInTaxi) || rollFromStop) && !onTurn && !onCurve &&
        ac.projection <= 0 &&
        (pending || offWay >= kSlideDeg) &&
        (ac.headingCorrectionDeg >= kSlideDeg || offWay >= kSlideDeg || ac.sharpTurn) && ac.turnRate > 0.0) {
        if (offWay >= kSlideDeg) {
            ac.targetTrack = way;
            ac.headingCorrectionDeg = offWay;
            ac.headingCorrectionPending = 1;
        }
        // Turn on the spot first, then drive the leg; the samples wait. The
        // motion step turns it at most 1.2 times its base rate, whatever
        // rate the leg was fitted to.
        const double spotRate =
            ac.baseTurnRate > 0.0 ? std::min(ac.turnRate, 1.2 * ac.baseTurnRate) : ac.turnRate;
        const int32_t extra = std::max(
            static_cast<int32_t>(std::ceil(std::max(ac.headingCorrectionDeg - 5.0, 0.0) * kDegToRad / spotRate)), 25);
        // It drives off from where it stood, gathering speed as an aircraft
        // can: the leg is timed so that it reaches the report's speed at the
        // report, not twice that halfway along a short leg.
        if (ac.speedMode == LegSpeedMode::none)
            ac.speedMode = LegSpeedMode::accelerateFromStop;
        int32_t driveTime = legTime;
        if (ac.speedMode == LegSpeedMode::accelerateFromStop)
            driveTime = std::max(lf_fromRestTicks(lengthNm * kMetresPerNm, speed), legTime);
        ac.legOverride = 1;
        ac.legOverrideTicks = driveTime;
        ac.turningInPlace = 1;
        // Back the way it faces: it rolls round in a tight U-turn at walking
        // pace, never pivots there to drive straight back the way it came.
        if (ac.phase == FlightPhase::taxi && offWay > kRollRoundDeg)
            ac.turnRoundSide = lf_turnRoundSide(ac, way);
        retimeNextSample(ac, extra + driveTime);
        const int32_t due = engineClock.load() + extra + driveTime;
        if (st[1].playTime < due) {
            const int32_t delay = due - st[1].playTime;
            for (size_t i = 1; i < st.size(); ++i)
                st[i].playTime += delay;
        }
        return;
    }
    retimeNextSample(ac, legTime);
}

void nextPosAir(LiveAircraft& ac)
{
    try {
        SampleStream& st = ac.samples;
        const bool rotorcraft = ac.category == Category::Rotorcraft;
        if (rotorcraft)
            lf_turnRoundFirst(ac);
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
        if (ac.phase == FlightPhase::landing && !s1.airborne && s0.speedKt > 0.0) {
            speed = s0.speedKt;
        } else {
            const double leg = lf_legSpeedKt(ac);
            if (leg > 1.0)
                speed = leg;
        }
        retimeNextSample(ac, std::max(static_cast<int32_t>(std::lround(distance * kTicksPerHour / speed)), 25));
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}, {}, sz:{}", "nextPosAir", e.what(), lf_who(ac), ac.samples.size()));
        throw;
    }
}
