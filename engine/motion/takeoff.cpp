#include "engine/motion/takeoff.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/motion/flight_motion.h"
#include "engine/motion/roll_braking.h"
#include "engine/geometry.h"
#include "engine/quarantine.h"
#include "engine/report_noise.h"
#include "engine/sample_stream.h"
#include "engine/tick_airport.h"
#include "engine/traffic_log.h"
#include "runways/runway_matching.h"
#include "simlink/sim_command_mailbox.h"

namespace {


double lf_metres(const LatLon& a, const LatLon& b)
{
    return gf_distanceNm(a, b) * kMetresPerNm;
}

bool lf_positive(double v)
{
    return std::isfinite(v) && v > 0.0;
}

// The aircraft's speed for the decisions: the current ground speed, else the
// front sample's.
double lf_decisionSpeed(const LiveAircraft& ac)
{
    if (lf_positive(ac.flight.groundSpeedKt))
        return ac.flight.groundSpeedKt;
    return ac.stream.samples.empty() ? std::numeric_limits<double>::quiet_NaN() : ac.stream.samples.front().speedKt;
}

// Along-track distance (m) of a position from the take-off runway's end,
// negative before it; NaN without a runway.
double lf_alongToEnd(const LiveAircraft& ac, const LatLon& p)
{
    const RunwayMatch& m = ac.flight.takeoffRunway;
    if (!m.valid)
        return std::numeric_limits<double>::quiet_NaN();
    const LatLon end{m.endLatitude, m.endLongitude};
    const double d = lf_metres(end, p);
    if (d <= 0.0)
        return 0.0;
    const double x = gf_wrapAngle(gf_initialBearing(end, p) - m.endHeading * kDegToRad);
    return std::cos(x) * d;
}

void lf_ensureTakeoffRunway(LiveAircraft& ac)
{
    if (ac.flight.takeoffRunway.valid)
        return;
    if (const auto m = gf_runwayUnderAircraft({ac.motion.lat, ac.motion.lon}, ac.motion.heading)) {
        ac.flight.takeoffRunway = *m;
        gf_keepStreamOnTakeOffCentreLine(ac);
    }
}

// The category's climb rate of a take-off without a climbing sample ahead.
double lf_categoryClimbPerTick(const LiveAircraft& ac)
{
    return ac.identity.category == Category::Light ? std::min(ac.identity.maxClimbRateFtPerTick, 0.2) : ac.identity.maxClimbRateFtPerTick;
}

bool lf_anyAirborne(const LiveAircraft& ac)
{
    return std::any_of(ac.stream.samples.begin(), ac.stream.samples.end(), [](const TrafficSample& s) { return s.airborne; });
}

bool lf_shortRunwayEnd(const LiveAircraft& ac)
{
    const RunwayMatch& m = ac.flight.takeoffRunway;
    return m.valid && m.length <= 1800.0 && lf_allNextAtRotationSpeed(ac);
}

const LightStates kRollLights{1, 1, 1, 1, 1, 1, 0};

void lf_rollCommon(LiveAircraft& ac)
{
    ac.flight.takeoffRetry = 0;
    ac.flight.climbOutDone = 0;
    ac.flight.takeoffRunway = {};
    ac.touchdown.flareStage = 0;
    ac.setPhase(FlightPhase::takeoff_roll);
    ac.leg.lagEarlier = 2700;
    ac.leg.lagLater = 4500;
}

// The heading that brings the aircraft back onto the runway's centre line.
void lf_planRunwaySpeedProfile(LiveAircraft& ac)
{
    const bool takeoff = ac.phases.phase == FlightPhase::takeoff_roll;
    std::optional<RunwayMatch> match;
    if (takeoff) {
        lf_ensureTakeoffRunway(ac);
        if (ac.flight.takeoffRunway.valid)
            match = ac.flight.takeoffRunway;
    } else {
        match = gf_runwayAtPosition({ac.motion.lat, ac.motion.lon}, ac.motion.heading);
    }
    if (!match || ac.stream.samples.size() < 2)
        return;
    const double fastest = std::max({std::isfinite(ac.flight.groundSpeedKt) ? ac.flight.groundSpeedKt : 0.0,
                                     ac.stream.samples[0].speedKt, ac.stream.samples[1].speedKt});
    if (!(fastest >= (takeoff ? 30.0 : 45.0)))
        return;
    // Toward the point abeam the runway's end that keeps 0.15 of the
    // aircraft's offset from the centre line; along the runway when the end
    // is behind, too far off to the side or too close for a believable turn.
    const double runwayHeading = gf_normalizeAngle(match->endHeading * kDegToRad);
    const LineOffset steer = gf_offsetTowardLine({ac.motion.lat, ac.motion.lon}, {match->endLatitude, match->endLongitude},
                                                 runwayHeading, 10.0 * kDegToRad, 100.0, 0.15);
    ac.flight.ramp.endHeading = steer.ok ? gf_normalizeAngle(steer.bearing) : runwayHeading;
}

// A roll brakes or gathers speed no faster than this (m/s²).
constexpr double kRollMostAccel = 5.0;
// The most a roll's ramp may stop short of its report.
constexpr double kRollMostShortM = 30.0;
// Slower than this a roll follows its reports leg by leg.
constexpr double kFastRollKt = 40.0;

// A roll whose reports scatter along the runway (a few metres each way) has
// no ramp that reaches the next one exactly at its time without braking and
// speeding up harder than a real roll does. Then the ramp keeps the time and
// the end speed and runs along the line to the report, as far as the speeds
// allow, stopping short of it (never past it, which would send the next leg
// backwards): the next leg takes up the rest. Only a fast roll; false when
// the leg cannot be planned so, or would end too far short.
bool lf_fitRollRamp(RollRamp& r, const LatLon& from, const LatLon& to, double seconds, double v0, double v1)
{
    const double d = lf_metres(from, to);
    const double fast = kFastRollKt * kKnotsToMetresPerSecond;
    if (!(seconds > 0.0) || !(d > 1.0) || !(v0 >= fast) || !(v1 >= fast))
        return false;
    // Braking or speeding up evenly covers `even`; a Hermite ramp that
    // covers e more starts and ends with 6 e / T² more acceleration.
    const double even = seconds * (v0 + v1) / 2.0;
    const double spare = std::max(kRollMostAccel - std::fabs(v1 - v0) / seconds, 0.0) * seconds * seconds / 6.0;
    const double length = std::min(std::clamp(d, even - spare, even + spare), d);
    if (!(length > 1.0) || std::fabs(length - d) > kRollMostShortM)
        return false;
    const SpeedRamp ramp = lf_buildRamp(length, seconds, v0, v1);
    if (!ramp.valid)
        return false;
    const double k = length / d;
    r.ramp = ramp;
    r.start = from;
    r.end = {from.latitude + (to.latitude - from.latitude) * k,
             from.longitude + gf_longitudeDelta(to.longitude, from.longitude) * k};
    return true;
}

// The speed ramp of a take-off or landing roll to the next sample (or, in a
// take-off roll, to a later one); false when none fits.
bool lf_planRollRamp(LiveAircraft& ac, int32_t legTicks)
{
    RollRamp& r = ac.flight.ramp;
    const FlightPhase phase = ac.phases.phase;
    const bool roll = phase == FlightPhase::takeoff_roll || phase == FlightPhase::landing_roll;
    const bool continuing = r.active && roll && r.phase == phase;
    r = {};
    const SampleStream& st = ac.stream.samples;
    // A roll curving off its runway follows its curve, not a straight ramp;
    // one that turns on the spot first drives its leg after the turn.
    if (!ac.phases.groundMode || !roll || ac.identity.category == Category::Rotorcraft || st.size() < 2 ||
        ac.ground.groundCurve.valid() || ac.ground.turningInPlace)
        return false;
    if (ac.stream.projection > 0 && phase != FlightPhase::landing_roll)
        return false;
    const TrafficSample& s0 = st[0];
    const TrafficSample& s1 = st[1];
    const LatLon here{ac.motion.lat, ac.motion.lon};
    if (s1.stationary || lf_metres(here, lf_samplePosition(s1)) <= 1.0 || !(s0.speedKt >= 0.0) || !(s1.speedKt >= 0.0))
        return false;
    const bool takeoff = phase == FlightPhase::takeoff_roll;
    if (takeoff && !(s1.speedKt > 0.0))
        return false;
    double v0 = ac.flight.groundSpeedKt;
    if (continuing)
        v0 = ac.flight.groundSpeedKt;
    else if (!takeoff || (ac.identity.category == Category::Light && ac.flight.rollingTakeoff))
        v0 = s0.speedKt;
    // Already rolling (touched down, or gathering speed before the roll was
    // known as one): the ramp starts at the speed it moves at, not at a
    // report's, which would show as a step.
    if (!continuing && std::isfinite(ac.motion.tasKt) && ac.motion.tasKt >= kFastRollKt)
        v0 = ac.motion.tasKt;
    if (!std::isfinite(v0) || v0 < 0.0)
        v0 = s0.speedKt;
    const double limitKt = takeoff ? lf_takeoffVr(ac, 1) + 30.0 : 400.0;
    const double toleranceKt = takeoff ? 5.0 : 0.5;
    const auto tryTo = [&](size_t k, int32_t ticks) {
        const TrafficSample& s = st[k];
        SpeedRamp ramp;
        const double d = lf_metres(here, lf_samplePosition(s));
        if (!lf_planRamp(d, ticks / 100.0, v0 * kKnotsToMetresPerSecond, s.speedKt * kKnotsToMetresPerSecond,
                         limitKt * kKnotsToMetresPerSecond, ramp))
            return false;
        const double lo = std::min(v0, s.speedKt) - toleranceKt;
        const double hi = std::max(v0, s.speedKt) + toleranceKt;
        if (lf_rampMaxSpeed(ramp) / kKnotsToMetresPerSecond >= hi || lf_rampMinSpeed(ramp) / kKnotsToMetresPerSecond <= lo)
            return false;
        r.ramp = ramp;
        r.start = here;
        r.end = lf_samplePosition(s);
        return true;
    };
    bool planned = tryTo(1, legTicks);
    if (!planned && takeoff) {
        const bool later = std::any_of(st.begin() + 1, st.end(),
                                       [&](const TrafficSample& s) { return s.airborne || s.speedKt > v0 + 1.0; });
        for (size_t k = 2; later && !planned && k < st.size(); ++k) {
            const TrafficSample& s = st[k];
            if (s.stationary || lf_metres(here, lf_samplePosition(s)) <= 1.0 || !(s.speedKt > 0.0))
                continue;
            planned = tryTo(k, std::max(s.playTime - engineClock.load(), 25));
        }
    }
    if (!planned)
        planned = lf_fitRollRamp(r, here, lf_samplePosition(s1), legTicks / 100.0, v0 * kKnotsToMetresPerSecond,
                                 s1.speedKt * kKnotsToMetresPerSecond);
    if (!planned && !takeoff) {
        // A landing roll braking into a slower leg (its exit's): from the
        // speed it rolls at, no harder than a roll brakes; the samples from
        // the next on wait where braking takes longer than the leg's time.
        double seconds = legTicks / 100.0;
        planned = lf_planBrakingRamp(r, here, lf_samplePosition(s1), seconds, v0 * kKnotsToMetresPerSecond,
                                     s1.speedKt * kKnotsToMetresPerSecond);
        const int32_t wait = planned ? static_cast<int32_t>(std::lround(seconds * 100.0)) - legTicks : 0;
        if (wait > 0) {
            for (size_t k = 1; k < st.size(); ++k)
                ac.stream.samples[k].playTime += wait;
            ac.stream.lagTicks += wait;
        }
    }
    if (!planned)
        return false;
    r.active = 1;
    r.phase = phase;
    lf_planRunwaySpeedProfile(ac);
    return true;
}

// Per-tick fractions of a ground leg that speeds up from a stop or slows to one.
void lf_planSpeedProfile(LiveAircraft& ac, int32_t legTicks)
{
    FlightState& f = ac.flight;
    f.profile.clear();
    f.profileIndex = 0;
    if (ac.leg.speedMode != LegSpeedMode::accelerateFromStop && ac.leg.speedMode != LegSpeedMode::slowToStop)
        return;
    const uint32_t ease = ac.leg.speedMode == LegSpeedMode::accelerateFromStop ? 1u : 2u;
    const double n = static_cast<double>(legTicks);
    f.profile.reserve(static_cast<size_t>(legTicks));
    for (int32_t i = 0; i < legTicks; ++i)
        f.profile.push_back(gf_ease((i + 1) / n, ease) - gf_ease(i / n, ease));
    f.legOffsetLat = ac.leg.stepLat * n;
    f.legOffsetLon = ac.leg.stepLon * n;
}

void lf_rollThrottle(LiveAircraft& ac)
{
    const bool rotor = ac.identity.category == Category::Rotorcraft;
    const TrafficSample& s0 = ac.stream.samples[0];
    const TrafficSample& s1 = ac.stream.samples[1];
    switch (ac.phases.phase) {
    case FlightPhase::taxi:
        gf_setThrottle(ac, rotor ? 4u : 0u);
        return;
    case FlightPhase::takeoff_roll: {
        const double g0 = s0.speedKt, g1 = s1.speedKt;
        if (!rotor && g0 < 25.0 && g1 < 30.0)
            gf_setThrottle(ac, g0 >= 20.0 || g1 >= 25.0 ? 2u : (g0 >= 15.0 || g1 >= 20.0 ? 1u : 0u));
        else
            gf_setThrottle(ac, 4);
        return;
    }
    case FlightPhase::landing_roll: {
        if (std::fabs(gf_wrapAngle(ac.motion.heading - ac.touchdown.touchdownHeading)) >= 15.0 * kDegToRad) {
            abortTakeoffRoll(ac);
            return;
        }
        const double g0 = s0.speedKt;
        if (g0 > 90.0)
            return;
        if (g0 > 30.0) {
            gf_setSpoilers(ac, false);
            if (ac.identity.category != Category::Light)
                gf_setSpoilersThrust(ac.sim.objectId, false, false);
            gf_setFlaps(ac, 1);
        } else {
            gf_setFlaps(ac, 0);
        }
        return;
    }
    default:
        return;
    }
}

} // namespace

double lf_takeoffVr(const AircraftBase& ac, int level)
{
    return gf_rotationSpeedKt(ac, level);
}

double lf_heightAboveGround(const LiveAircraft& ac)
{
    const LatLon here{ac.motion.lat, ac.motion.lon};
    if (gf_tickNearAirport(here))
        if (const auto elevation = gf_tickAirportAltitude())
            return ac.motion.altitudeFt - *elevation;
    return ac.stream.samples.empty() ? ac.motion.altitudeFt : ac.stream.samples.front().altitudeFt;
}

void enterTakeoffRoll(LiveAircraft& ac, bool rolling)
{
    ac.flight.rollingTakeoff = rolling ? 1 : 0;
    lf_rollCommon(ac);
    gf_setThrottle(ac, 3);
    gf_setSpoilers(ac, true);
    gf_setFlaps(ac, 1);
    gf_setLights(ac.sim.objectId, kRollLights);
}

void enterTowedTakeoffRoll(LiveAircraft& ac)
{
    if (ac.flight.towed)
        gf_logLine(fmt::format("towed aircraft takes-off? {}", ac.identity.callsign));
    ac.flight.rollingTakeoff = 0;
    lf_rollCommon(ac);
    gf_setThrottle(ac, 0);
    gf_setSpoilers(ac, false);
    gf_setFlaps(ac, 1);
    gf_setLights(ac.sim.objectId, kRollLights);
}

void planGroundRollLeg(LiveAircraft& ac, int32_t legTicks)
{
    ac.reports.verticalSpeedStep = 0.0;
    if (ac.stream.samples.size() < 2)
        return;
    lf_rollThrottle(ac);
    if (ac.phases.phase == FlightPhase::takeoff_roll && checkTakeoffRoll(ac))
        return;
    if (ac.phases.phase != FlightPhase::takeoff_roll && ac.phases.phase != FlightPhase::landing_roll) {
        if (ac.leg.lagEarlier > 900)
            ac.leg.lagEarlier = std::max(ac.leg.lagEarlier - 100, 900);
        if (ac.leg.lagLater > 900)
            ac.leg.lagLater = std::max(ac.leg.lagLater - 100, 900);
    }
    if (ac.touchdown.flareStage == 0 && ac.phases.phase != FlightPhase::takeoff) {
        ac.motion.pitch = ac.identity.staticPitch;
        ac.motion.bank = 0.0;
        ac.flight.pitchRate = 0.0;
        ac.flight.bankRate = 0.0;
    }
    if (!lf_planRollRamp(ac, legTicks))
        lf_planSpeedProfile(ac, legTicks);
    else
        ac.flight.profile.clear();
    const TrafficSample& s1 = ac.stream.samples[1];
    ac.flight.groundSpeedKt = ac.phases.phase == FlightPhase::pushing_back ? -s1.speedKt : s1.speedKt;
    if (ac.phases.phase != FlightPhase::takeoff_roll)
        return;
    // A helicopter rises where it stands: it never rolls along the ground
    // toward the place of its first report aloft.
    if (ac.identity.category == Category::Rotorcraft && ac.phases.groundMode && lf_anyAirborne(ac)) {
        startTakeoff(ac, 1);
        return;
    }
    if (!(ac.stream.samples[0].speedKt >= 43.0))
        return;
    const int d = takeoffDecision(ac);
    if (d == 0) {
        if (engineClock.load() - static_cast<int32_t>(ac.phases.phaseSince) >= 12000)
            removeAircraftFromSim(ac);
        return;
    }
    if (!ac.phases.groundMode)
        return;
    if (liftoffDecision(ac) == 0)
        ac.flight.takeoffRetry = 1;
    else
        startTakeoff(ac, d);
}

bool checkTakeoffRoll(LiveAircraft& ac)
{
    lf_ensureTakeoffRunway(ac);
    if (!ac.flight.takeoffRunway.valid || ac.stream.samples.size() < 2)
        return false;
    const double a = lf_alongToEnd(ac, {ac.motion.lat, ac.motion.lon});
    const double aNext = lf_alongToEnd(ac, lf_samplePosition(ac.stream.samples[1]));
    const bool airborne = lf_anyAirborne(ac);
    const double m = lf_maxSampleVerticalSpeed(ac);
    const double speed = lf_decisionSpeed(ac);
    const double vr = lf_takeoffVr(ac, 1);
    const double vr3 = lf_takeoffVr(ac, 3);
    const bool liftoffDue = m > 1000.0 && speed >= vr3 && aNext > a && aNext >= -300.0;
    if (liftoffDue && (isAlignedOnRunway(ac, 300.0) || isAlignedOnRunway(ac, 1200.0) ||
                       (isAlignedOnRunway(ac, ac.flight.takeoffRunway.length) && speed >= vr))) {
        ac.flight.takeoffRetry = 0;
        ac.reports.verticalSpeedStep = lf_categoryClimbPerTick(ac);
        enterTakeoff(ac, 2);
        return false;
    }
    if (!airborne && !(m > 2000.0) && speed < vr3 && a >= -300.0 && a <= 100.0 && aNext > -50.0) {
        ac.flight.takeoffRunway = {};
        ac.setPhase(FlightPhase::taxi);
        return false;
    }
    if (!(a > 100.0) && (airborne || m > 2000.0 || liftoffDue || !(aNext > -50.0)))
        return false;
    if (std::isnan(a))
        return false;
    if (ac.identity.hexid != 0 && gf_isValidLatLon({ac.motion.lat, ac.motion.lon}) && std::isfinite(ac.stream.lastRecordTime))
        gf_quarantineMap().try_emplace(ac.identity.hexid, QuarantineEntry{ac.motion.lat, ac.motion.lon, ac.stream.lastRecordTime, 1, 1, engineClock.load()});
    removeAircraftFromSim(ac);
    return true;
}

int takeoffDecision(const LiveAircraft& ac)
{
    const SampleStream& st = ac.stream.samples;
    if (st.size() < 2)
        return 0;
    if (ac.flight.rollingTakeoff)
        return st[1].airborne ? 1 : 2;
    const bool allClimb = std::all_of(st.begin(), st.end(),
                                      [](const TrafficSample& s) { return s.verticalSpeedFpm > 256.0; });
    if (allClimb) {
        if (lf_allNextAirborne(ac))
            return 1;
        const bool onlyLast = st.back().airborne &&
                              std::none_of(st.begin() + 1, st.end() - 1, [](const TrafficSample& s) { return s.airborne; });
        if (onlyLast)
            return 2;
    }
    if (lf_allNextAirborne(ac) && lf_allNextAtRotationSpeed(ac))
        return 2;
    if (lf_maxSampleVerticalSpeed(ac) > 2000.0)
        return 2;
    if (lf_shortRunwayEnd(ac))
        return 2;
    return 0;
}

bool isAlignedOnRunway(const LiveAircraft& ac, double lengthM)
{
    const RunwayMatch& m = ac.flight.takeoffRunway;
    if (!m.valid)
        return false;
    const LatLon end{m.endLatitude, m.endLongitude};
    const LatLon here{ac.motion.lat, ac.motion.lon};
    const double d = lf_metres(end, here);
    const double x = d > 0.0 ? gf_wrapAngle(gf_initialBearing(end, here) - m.endHeading * kDegToRad) : std::numbers::pi;
    const double along = std::cos(x) * d;
    if (!(along >= -lengthM && along <= 10.0))
        return false;
    if (std::fabs(gf_wrapAngle(ac.motion.heading - m.endHeading * kDegToRad)) > 20.0 * kDegToRad)
        return false;
    return std::fabs(std::sin(x) * d) <= 15.0;
}

int liftoffDecision(LiveAircraft& ac)
{
    const SampleStream& st = ac.stream.samples;
    if (st.size() < 2)
        return 0;
    const double s = lf_decisionSpeed(ac);
    const double vr = lf_takeoffVr(ac, 1);
    const bool rolling = ac.flight.rollingTakeoff != 0;
    const double v1 = rolling ? std::max(vr - 5.0, 1.0) : vr;
    double v2 = lf_takeoffVr(ac, 2);
    double v3 = lf_takeoffVr(ac, 3);
    const bool climb = lf_maxSampleVerticalSpeed(ac) > 2000.0;
    if (climb) {
        v2 = std::max(v2 - 5.0, 1.0);
        v3 = std::max(v3 - 5.0, 1.0);
    }
    const auto firstAirborne =
        std::find_if(st.begin(), st.end(), [](const TrafficSample& x) { return x.airborne != 0; });
    if (firstAirborne != st.end()) {
        const double d = lf_metres({ac.motion.lat, ac.motion.lon}, lf_samplePosition(*firstAirborne));
        const int32_t dt = firstAirborne->playTime - engineClock.load();
        const int32_t rotation = static_cast<int32_t>(ac.identity.modelValues[0]);
        if (s >= v1 && d <= 600.0 && dt <= std::max(rotation + 300, 1))
            return 1;
        if (!std::isfinite(s) || !std::isfinite(d))
            return 0;
        if (s >= v2 && d <= 1200.0 && dt < 1501 && isAlignedOnRunway(ac, 1200.0))
            return 2;
        if (s >= v3 && isAlignedOnRunway(ac, 300.0))
            return 3;
        return 0;
    }
    if (rolling)
        return s >= vr + 10.0 && st[0].speedKt >= vr + 10.0 && gf_runwayUnderAircraft({ac.motion.lat, ac.motion.lon}, ac.motion.heading)
                   ? 1
                   : 0;
    if (!climb && !lf_shortRunwayEnd(ac))
        return 0;
    if (isAlignedOnRunway(ac, 1200.0) && s >= v2)
        return 2;
    if (isAlignedOnRunway(ac, 300.0) && s >= v3)
        return 3;
    return 0;
}

void startTakeoff(LiveAircraft& ac, int mode)
{
    ac.flight.takeoffRetry = 0;
    if (mode == 1 && ac.stream.samples.size() >= 2) {
        const TrafficSample& next = ac.stream.samples[1];
        const double dt = std::max(next.playTime - engineClock.load(), 25);
        ac.reports.verticalSpeedStep = std::max(next.altitudeFt - ac.motion.altitudeFt, 0.1 * dt) / dt;
    } else {
        ac.reports.verticalSpeedStep = lf_categoryClimbPerTick(ac);
    }
    enterTakeoff(ac, mode);
}

void enterTakeoff(LiveAircraft& ac, int mode)
{
    FlightState& f = ac.flight;
    f.takeoffVsFloor = mode == 2 ? ac.reports.verticalSpeedStep : 0.0;
    f.vsStepMemory = 0.0;
    f.climbOutDone = 0;
    const int32_t rotation = static_cast<int32_t>(ac.identity.modelValues[0]);
    f.takeoffCounter = rotation < 2 ? 1 : rotation;
    f.pitchRate = (ac.identity.rotationPitch - ac.motion.pitch) / f.takeoffCounter;
    ac.motion.bank = 0.0;
    f.bankRate = 0.0;
    const bool touchAndGo = ac.phases.previousPhase == FlightPhase::landing_roll ||
                            (ac.phases.previousPhase == FlightPhase::taxi && ac.phases.phaseBeforePrevious == FlightPhase::landing_roll);
    ac.setPhase(FlightPhase::takeoff);
    ac.reports.liftOffCounter = 2;
    std::string route;
    if (ac.identity.origin.isSet())
        route += fmt::format(" from {}", ac.identity.origin.toString());
    if (ac.identity.destination.isSet() && !(ac.identity.origin.isSet() && ac.identity.origin == ac.identity.destination))
        route += fmt::format(" to {}", ac.identity.destination.toString());
    std::string runway;
    if (f.takeoffRunway.valid)
        runway = fmt::format(" runway {}", f.takeoffRunway.endText);
    else if (const auto name = gf_runwayNameAt({ac.motion.lat, ac.motion.lon}, ac.motion.heading))
        runway = fmt::format(" runway {}", *name);
    lf_flightMessage(fmt::format("{} {} {} {} {} take off{}{} ...", gf_trafficClockTextHm(), ac.identity.callsign,
                                 ac.identity.registration, lf_airlineText(ac), gf_modelCodeText(ac.identity.ids.model), route,
                                 runway));
    f.ramp = {};
    f.profile.clear();
    lf_clearGroundPath(ac.ground);
    if (touchAndGo) {
        gf_setThrottle(ac, 4);
        gf_setSpoilers(ac, true);
        gf_setFlaps(ac, 1);
    }
}

bool skipToLiftoffSample(LiveAircraft& ac, size_t k)
{
    SampleStream& st = ac.stream.samples;
    if (k < 2 || st.size() < k || !st[k - 1].airborne)
        return false;
    st.erase(st.begin() + 1, st.begin() + static_cast<std::ptrdiff_t>(k - 1));
    const double speed = lf_rollSpeedKt(ac);
    const double nm = gf_distanceNm(lf_samplePosition(st[0]), lf_samplePosition(st[1]));
    retimeNextSample(ac, std::max(static_cast<int32_t>(std::lround(nm * kTicksPerHour / speed)), 25));
    climbRateToNextSample(ac);
    applyTakeoffVsFloor(ac);
    return true;
}

void climbRateToNextSample(LiveAircraft& ac)
{
    if (ac.stream.samples.size() < 2)
        return;
    const TrafficSample& next = ac.stream.samples[1];
    if (ac.motion.altitudeFt >= next.altitudeFt) {
        ac.reports.verticalSpeedStep = 0.0;
        return;
    }
    const double dt = std::max(next.playTime - engineClock.load(), 25);
    ac.reports.verticalSpeedStep = std::min((next.altitudeFt - ac.motion.altitudeFt) / dt, ac.identity.maxClimbRateFtPerTick);
}

void applyTakeoffVsFloor(LiveAircraft& ac)
{
    if (ac.phases.phase == FlightPhase::takeoff && ac.flight.takeoffVsFloor > 0.0)
        ac.reports.verticalSpeedStep = std::max(ac.flight.takeoffVsFloor, ac.reports.verticalSpeedStep);
}

void stepTakeoff(LiveAircraft& ac)
{
    FlightState& f = ac.flight;
    const int32_t n = f.takeoffCounter;
    f.takeoffCounter = std::max(n - 1, -1000);
    if (ac.identity.category == Category::Rotorcraft && !ac.stream.samples.empty()) {
        // A helicopter rising from where it stood hovers off the ground
        // before it speeds up toward its next report.
        constexpr double kHoverKt = 20.0;
        const TrafficSample& front = ac.stream.samples.front();
        const double given = front.tasKt > 0.0 ? front.tasKt : front.speedKt;
        const double onward = std::isfinite(given) ? given : 0.0;
        ac.motion.tasKt = lf_heightAboveGround(ac) < ac.identity.cgFt + 10.0 ? std::min(onward, kHoverKt) : onward;
    }
    if (n >= 1) {
        ac.phases.groundMode = 0;
        ac.motion.pitch = gf_stepToward(ac.motion.pitch, ac.identity.rotationPitch, std::fabs(f.pitchRate));
        return;
    }
    ac.reports.liftOffCounter = 0;
    ac.motion.bank = std::clamp(ac.motion.bank + f.bankRate, -std::numbers::pi, std::numbers::pi);
    const double transition = std::max<double>(static_cast<double>(ac.identity.modelValues[1]), 1.0);
    ac.motion.pitch = gf_stepToward(ac.motion.pitch, ac.identity.climbPitch, std::fabs(ac.identity.climbPitch - ac.identity.rotationPitch) / transition);
    const double t = std::clamp((1.0 - n) / 300.0, 0.0, 1.0);
    // Lifted off, it climbs: a report ahead that reads under it (a pressure
    // altitude under a high field's elevation) leaves it its category's climb,
    // never level at the height of its wheels.
    double rate = ac.reports.verticalSpeedStep;
    if (!(rate > 0.0))
        rate = std::max(ac.motion.verticalSpeedFpm / kTicksPerMinute, lf_categoryClimbPerTick(ac));
    double climb = (3.0 - 2.0 * t) * t * t * rate * kTicksPerMinute;
    climb = limitLightClimb(ac, climb);
    f.vsStepMemory = gf_stepToward(f.vsStepMemory, climb / kTicksPerMinute, 0.001);
    ac.motion.altitudeFt += f.vsStepMemory;
    ac.motion.verticalSpeedFpm = f.vsStepMemory * kTicksPerMinute;
    if (n == -299)
        gf_setGear(ac, false);
    if (f.takeoffCounter < -300 && std::fabs(ac.motion.pitch - ac.identity.climbPitch) < 1e-9) {
        f.bankRate = 0.0;
        const double needed = ac.identity.category == Category::Light ? 300.0 : 800.0;
        if (lf_heightAboveGround(ac) >= needed) {
            gf_setThrottle(ac, ac.identity.category == Category::Rotorcraft ? 4u : 3u);
            f.climbOutDone = 1;
            ac.setPhase(FlightPhase::flying);
            f.takeoffCounter = 1;
        }
    }
}

void retryTakeoff(LiveAircraft& ac)
{
    if (!ac.flight.takeoffRetry || ac.phases.phase != FlightPhase::takeoff_roll || !ac.phases.groundMode)
        return;
    const int d = takeoffDecision(ac);
    if (d == 0) {
        ac.flight.takeoffRetry = 0;
        return;
    }
    if (liftoffDecision(ac) != 0)
        startTakeoff(ac, d);
}

void abortTakeoffRoll(LiveAircraft& ac)
{
    const bool rotor = ac.identity.category == Category::Rotorcraft;
    gf_setFlaps(ac, 0);
    ac.setPhase(FlightPhase::taxi);
    ac.flight.runwayExit = 1;
    ac.flight.ramp = {};
    gf_setThrottle(ac, rotor ? 4u : 0u);
    gf_setSpoilers(ac, false);
    if (ac.identity.category != Category::Light)
        gf_setSpoilersThrust(ac.sim.objectId, false, false);
    gf_setLights(ac.sim.objectId, LightStates{1, 1, 0, 1, 0, 1, 1});
}

void keepLightOnRunwayLine(LiveAircraft& ac, const LatLon& previous, double startHeading)
{
    if (ac.identity.category != Category::Light)
        return;
    const bool rolling = ac.phases.phase == FlightPhase::takeoff_roll;
    const bool lifting = !ac.phases.groundMode && ac.phases.phase == FlightPhase::takeoff;
    const bool justFlying = ac.phases.phase == FlightPhase::flying && ac.phases.previousPhase == FlightPhase::takeoff &&
                            engineClock.load() - static_cast<int32_t>(ac.phases.phaseSince) <= 3000;
    if (!rolling && !lifting && !justFlying)
        return;
    const double line = ac.flight.takeoffRunway.valid ? ac.flight.takeoffRunway.endHeading * kDegToRad : startHeading;
    const RelativePosition r = gf_relativePosition(previous, line, {ac.motion.lat, ac.motion.lon});
    if (!(r.acrossM < -0.02 && r.alongM > 0.02))
        return;
    const double speed = std::max(ac.stream.samples.empty() ? 0.0 : ac.stream.samples.front().speedKt,
                                  std::isfinite(ac.flight.groundSpeedKt) ? ac.flight.groundSpeedKt : 0.0);
    const LatLon ahead = gf_destinationPoint(previous, {line, speed * kFeetPerNm / kTicksPerHour});
    ac.motion.lat = ahead.latitude;
    ac.motion.lon = ahead.longitude;
}
