#include "engine/motion/flight_motion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <span>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/motion/approach.h"
#include "engine/traffic_aircraft.h"
#include "liveries/category.h"
#include "engine/geometry.h"
#include "engine/motion/takeoff.h"
#include "engine/tick_airport.h"
#include "feed/qnh.h"
#include "runways/runway_matching.h"
#include "simlink/sim_command_mailbox.h"

namespace {


// Degrees per tick by category.
double lf_pitchRateLimit(Category category)
{
    static constexpr std::array<double, 7> limits{0.01, 0.009, 0.0085, 0.0075, 0.005, 0.03, 0.03};
    const auto index = static_cast<size_t>(category);
    return (index < limits.size() ? limits[index] : 0.0075) * kDegToRad;
}

// Degrees per second that the turn planner may turn at.
double lf_turnRateInput(Category category)
{
    if (category == Category::HighPerf)
        return 12.0 * kDegToRad;
    if (category == Category::Rotorcraft)
        return 20.0 * kDegToRad;
    return 8.0 * kDegToRad;
}

double lf_bankLimit(const LiveAircraft& ac, double heightFt)
{
    const bool low = ac.phases.phase == FlightPhase::landing || ac.phases.phase == FlightPhase::takeoff;
    return gf_maxBankNearGround(gf_maxBankForCategory(ac.identity.category), low, heightFt, ac.touchdown.flareStage != 0);
}

void lf_sendCruiseConfiguration(LiveAircraft& ac)
{
    FlightState& f = ac.flight;
    if (f.cruiseConfigSent)
        return;
    gf_setLights(ac.sim.objectId, LightStates{1, 1, 0, 0, 1, 0, 1});
    gf_setThrottle(ac, ac.identity.category == Category::Rotorcraft ? 4u : 3u);
    ac.leg.lagEarlier = 900;
    ac.leg.lagLater = 900;
    gf_setGear(ac, false);
    gf_setFlaps(ac, 0);
    f.cruiseConfigSent = 1;
    f.approachLightsSent = 0;
}

// The vertical speed of the leg (step 2 of the air leg set-up).
void lf_planVerticalSpeed(LiveAircraft& ac, int32_t dt)
{
    SampleStream& st = ac.stream.samples;
    FlightState& f = ac.flight;
    TrafficSample& s0 = st[0];
    TrafficSample& s1 = st[1];
    const bool front = s0.airborne || isShortOfRunway(ac, s0);
    const bool next = s1.airborne != 0;
    const bool nextShort = isShortOfRunway(ac, s1);
    const bool laterAirborne = ac.phases.phase == FlightPhase::takeoff && f.takeoffVsFloor > 0.0 && !next &&
                               std::any_of(st.begin() + std::min<std::ptrdiff_t>(2, static_cast<std::ptrdiff_t>(st.size())),
                                           st.end(), [](const TrafficSample& s) { return s.airborne != 0; });
    if (!front && !next) {
        if (ac.phases.phase == FlightPhase::landing) {
            f.targetVsFpm = defaultDescentVs(ac);
        } else {
            double sum = 0.0;
            for (const TrafficSample& s : st)
                sum += lf_sampleVs(s);
            if (sum > 100.0) {
                const size_t last = std::min<size_t>(st.size() - 1, 10);
                for (size_t k = 3; k <= last; ++k)
                    if (skipToLiftoffSample(ac, k)) {
                        gf_setGear(ac, true);
                        return;
                    }
                s1.verticalSpeedFpm = std::max(lf_sampleVs(s1), 601.0);
                f.targetVsFpm = s1.verticalSpeedFpm;
            } else {
                f.targetVsFpm = defaultDescentVs(ac);
                s1.verticalSpeedFpm = f.targetVsFpm;
            }
        }
        ac.reports.verticalSpeedStep = f.targetVsFpm / kTicksPerMinute;
        gf_setGear(ac, true);
        return;
    }
    if (!front && next) {
        climbRateToNextSample(ac);
        applyTakeoffVsFloor(ac);
        return;
    }
    if (front && !next && !nextShort && !laterAirborne) {
        std::optional<double> elevation;
        if (const auto m = gf_runwayAtPosition({ac.motion.lat, ac.motion.lon}, ac.motion.heading); m && std::isfinite(m->startAltitude))
            elevation = m->startAltitude;
        else
            elevation = gf_tickAirportAltitude();
        if (CurrentQnh.load() > 1013) {
            f.targetVsFpm = defaultDescentVs(ac);
        } else if (elevation) {
            const double ticks = std::max(s1.playTime - engineClock.load(), 25);
            ac.reports.verticalSpeedStep = (*elevation + lf_gearHeightFt(ac) - ac.motion.altitudeFt) / ticks;
            f.targetVsFpm = ac.reports.verticalSpeedStep * kTicksPerMinute;
            s1.verticalSpeedFpm = f.targetVsFpm;
            gf_setGear(ac, true);
            return;
        } else {
            f.targetVsFpm = -601.0;
        }
        s1.verticalSpeedFpm = f.targetVsFpm;
        ac.reports.verticalSpeedStep = f.targetVsFpm / kTicksPerMinute;
        gf_setGear(ac, true);
        return;
    }
    if (nextShort) {
        f.targetVsFpm = defaultDescentVs(ac);
        ac.reports.verticalSpeedStep = f.targetVsFpm / kTicksPerMinute;
        gf_setGear(ac, true);
        return;
    }
    double v = (s1.altitudeFt - ac.motion.altitudeFt) / dt;
    const double height = lf_heightAboveGround(ac);
    switch (ac.phases.phase) {
    case FlightPhase::flying:
        ac.reports.verticalSpeedStep = v;
        break;
    case FlightPhase::takeoff:
        if (height <= 1000.0)
            v = std::min(ac.identity.maxClimbRateFtPerTick, std::max(v, 0.2));
        else
            v = std::min(v, ac.identity.maxClimbRateFtPerTick);
        ac.reports.verticalSpeedStep = v;
        break;
    case FlightPhase::landing:
        if (s0.altitudeFt == s1.altitudeFt && height <= 1000.0 && lf_sampleVs(s0) + lf_sampleVs(s1) <= 100.0)
            f.targetVsFpm = defaultDescentVs(ac);
        else
            ac.reports.verticalSpeedStep = v;
        break;
    default:
        break;
    }
}

// The turn toward the next track and the air arc through the next sample.
void lf_planTurn(LiveAircraft& ac, int32_t dt, double height)
{
    const SampleStream& st = ac.stream.samples;
    const TrafficSample& s1 = st[1];
    const LatLon here{ac.motion.lat, ac.motion.lon};
    const bool landing = ac.phases.phase == FlightPhase::landing;
    double track;
    if (s1.hasTrueHeading && height < (landing ? 2000.0 : 1000.0))
        track = s1.trueHeading;
    else if (landing && !s1.airborne)
        track = gf_initialBearing(here, lf_samplePosition(s1)); // down along the way to where it touches
    else if (st.size() >= 3)
        track = gf_initialBearing(lf_samplePosition(s1), lf_samplePosition(st[2]));
    else
        track = gf_initialBearing(here, lf_samplePosition(s1));
    if (landing && height < 2000.0) {
        std::array<LatLon, 6> points;
        size_t count = 0;
        for (size_t i = 1; i < st.size() && count < points.size(); ++i)
            if (st[i].airborne && !st[i].stationary)
                points[count++] = lf_samplePosition(st[i]);
        const LineHeading fit = gf_lineHeadingFromPoints(here, std::span<const LatLon>(points.data(), count),
                                                         gf_normalizeAngle(track), 100.0, 20000.0, 5.0 * kDegToRad);
        if (fit.ok)
            track = fit.heading;
    }
    BankInput in;
    in.heading = ac.motion.heading;
    in.targetHeading = track;
    in.currentBank = ac.motion.bank;
    in.speedKt = lf_rollSpeedKt(ac);
    in.t1 = dt;
    in.t2 = 100.0;
    in.maxTurnRate = lf_turnRateInput(ac.identity.category);
    in.maxBank = lf_bankLimit(ac, height);
    in.maxBankRate = gf_bankRateForCategory(ac.identity.category);
    const BankCommand cmd = gf_bankForHeading(in);
    ac.motion.bank = cmd.currentBankLimited;
    ac.leg.airHeadingStep = cmd.turnRate;
    ac.flight.bankRate = cmd.bankRate;

    AirArc& arc = ac.flight.arc;
    arc = {};
    if (st.size() < 3 || st[2].stationary ||
        (std::fabs(st[2].lat - s1.lat) <= 1e-8 && std::fabs(st[2].lon - s1.lon) <= 1e-8))
        return;
    const double totalTurn = std::fabs(ac.leg.airHeadingStep) * dt;
    AirArc planned{here, lf_samplePosition(s1), ac.motion.heading,
                   std::clamp(totalTurn + 2.0 * kDegToRad, 0.5 * kDegToRad, 30.0 * kDegToRad), dt, 0, 0};
    const FlightCurvePoint mid = gf_flightCurvePoint(planned.start, planned.end, planned.startHeading,
                                                     planned.maxDeviation, 0.5);
    if (!mid.ok)
        return;
    planned.valid = 1;
    arc = planned;
}

} // namespace

double lf_gearHeightFt(const AircraftBase& ac)
{
    if (std::isfinite(ac.identity.cgFt) && ac.identity.cgFt > 0.0)
        return ac.identity.cgFt;
    return ac.identity.cgDefaultFt;
}

void planAirLeg(LiveAircraft& ac, int32_t legTicks)
{
    if (ac.stream.samples.size() < 2 || legTicks < 1)
        return;
    FlightState& f = ac.flight;
    const int32_t dt = std::max(legTicks, 1);
    f.targetVsFpm = lf_sampleVs(ac.stream.samples[1]);
    if (ac.touchdown.flareStage == 0)
        lf_planVerticalSpeed(ac, dt);
    if (ac.stream.samples.size() < 2)
        return;
    const TrafficSample& s0 = ac.stream.samples[0];
    const TrafficSample& s1 = ac.stream.samples[1];
    if (ac.phases.phase != FlightPhase::takeoff) {
        const double target = pitchFromVs(isShortOfRunway(ac, s0) ? s0 : s1, ac.identity.category);
        if (!std::isfinite(ac.motion.pitch))
            ac.motion.pitch = target;
        const double limit = lf_pitchRateLimit(ac.identity.category);
        f.pitchRate = std::clamp((target - ac.motion.pitch) / dt, -limit, limit);
    }
    const double height = lf_heightAboveGround(ac);
    lf_planTurn(ac, dt, height);
    if (ac.phases.phase == FlightPhase::flying && f.climbOutDone) {
        f.climbOutDone = 0;
        f.climbOutBlend = 1;
    }
    // The climb-out owns gear, flaps and throttle until the aircraft flies.
    if (height < 10000.0) {
        if (ac.phases.phase != FlightPhase::takeoff)
            configureApproach(ac, height);
    } else {
        lf_sendCruiseConfiguration(ac);
    }
    if (ac.phases.phase == FlightPhase::landing && !ac.phases.groundMode && s0.airborne) {
        // On the runway, or on its final: the final's runway carries over to
        // the touch-down and the roll however far beside it the reports lie.
        auto m = gf_runwayAtPosition({ac.motion.lat, ac.motion.lon}, ac.motion.heading);
        if (!m && !f.landing.runway.valid)
            m = gf_runwayOnFinal({ac.motion.lat, ac.motion.lon}, ac.motion.heading);
        if (m) {
            f.landing.runway = *m;
            f.landing.matchPosition = LatLon{ac.motion.lat, ac.motion.lon};
        }
    }
}

double defaultDescentVs(const LiveAircraft& ac)
{
    if (ac.stream.samples.empty())
        return -600.0;
    if (lf_heightAboveGround(ac) <= 100.0)
        return -600.0;
    const double front = lf_sampleVs(ac.stream.samples[0]);
    const double next = ac.stream.samples.size() >= 2 ? lf_sampleVs(ac.stream.samples[1]) : front;
    return std::min((front + next) / 2.0 - (CurrentQnh.load() - 1013.25) * 6.0, -601.0);
}

void applyVerticalSpeed(LiveAircraft& ac, double v, bool keep)
{
    if (!keep && !(v * kTicksPerMinute > 0.0))
        v = ac.motion.verticalSpeedFpm > 0.0 ? ac.motion.verticalSpeedFpm / kTicksPerMinute : 0.0;
    v = limitLightClimb(ac, v * kTicksPerMinute) / kTicksPerMinute;
    FlightState& f = ac.flight;
    f.vsStepMemory = gf_stepToward(f.vsStepMemory, v, 0.001);
    ac.motion.altitudeFt += f.vsStepMemory;
    ac.motion.verticalSpeedFpm = f.vsStepMemory * kTicksPerMinute;
}

double limitLightClimb(const LiveAircraft& ac, double vs)
{
    const double circuit = ac.remembered.lastAirborneAltitudeFt;
    if (ac.identity.category != Category::Light || ac.phases.phase != FlightPhase::flying || !std::isfinite(circuit))
        return vs;
    vs = std::max(vs, -1200.0);
    if (vs < 0.0)
        return vs;
    if (ac.motion.altitudeFt > circuit + 650.0)
        return -600.0;
    if (ac.motion.altitudeFt >= circuit + 500.0)
        return std::min(vs, 0.0);
    return vs;
}

bool stepAirArc(LiveAircraft& ac)
{
    AirArc& arc = ac.flight.arc;
    if (ac.phases.groundMode || !arc.valid || arc.length <= 0 || arc.counter >= arc.length)
        return false;
    arc.counter = std::min(arc.counter + 1, arc.length);
    const double t = static_cast<double>(arc.counter) / arc.length;
    const FlightCurvePoint p = gf_flightCurvePoint(arc.start, arc.end, arc.startHeading, arc.maxDeviation, t);
    if (p.ok) {
        ac.motion.lat = p.position.latitude;
        ac.motion.lon = p.position.longitude;
    } else {
        const double c = std::clamp(t, 0.0, 1.0);
        ac.motion.lat = arc.start.latitude + (arc.end.latitude - arc.start.latitude) * c;
        ac.motion.lon = arc.start.longitude + gf_longitudeDelta(arc.end.longitude, arc.start.longitude) * c;
        arc.valid = 0;
    }
    return true;
}

bool stepRollRamp(LiveAircraft& ac)
{
    RollRamp& r = ac.flight.ramp;
    if (!r.active)
        return false;
    const SpeedRamp& ramp = r.ramp;
    ++r.ticks;
    const double t = r.ticks / 100.0;
    const double u = lf_rampFraction(ramp, t);
    const double T = ramp.duration, D = ramp.length;
    double s = (u * u * u - 2.0 * u * u + u) * T * ramp.startSpeed + (3.0 * u * u - 2.0 * u * u * u) * D +
               (u * u * u - u * u) * T * ramp.endSpeed;
    s = std::clamp(s, 0.0, D);
    const double f = D > 0.0 ? std::clamp(s / D, 0.0, 1.0) : 1.0;
    ac.motion.lat = r.start.latitude + (r.end.latitude - r.start.latitude) * f;
    ac.motion.lon = r.start.longitude + gf_longitudeDelta(r.end.longitude, r.start.longitude) * f;
    double speed = lf_rampSpeed(ramp, t) / kKnotsToMetresPerSecond;
    if (r.phase == FlightPhase::takeoff_roll)
        speed = std::min(speed, lf_takeoffVr(ac, 1) + 30.0);
    ac.flight.groundSpeedKt = speed;
    return true;
}

void stepAirAttitude(LiveAircraft& ac)
{
    FlightState& f = ac.flight;
    const double limit = lf_bankLimit(ac, lf_heightAboveGround(ac));
    ac.motion.bank = std::clamp(ac.motion.bank + f.bankRate, -limit, limit);
    if (ac.touchdown.flareStage != 0) {
        ac.motion.pitch = gf_stepToward(ac.motion.pitch, -4.0 * kDegToRad, std::fabs(f.pitchRate));
        applyLandingVerticalSpeed(ac, ac.reports.verticalSpeedStep);
        return;
    }
    ac.motion.pitch += f.pitchRate;
    const SampleStream& st = ac.stream.samples;
    const bool groundAhead = st.size() >= 2 && !st[0].airborne && !st[1].airborne && ac.reports.verticalSpeedStep < 0.0;
    switch (ac.phases.phase) {
    case FlightPhase::landing:
        applyLandingVerticalSpeed(ac, ac.reports.verticalSpeedStep);
        return;
    case FlightPhase::flying:
        if (!f.climbOutBlend) {
            ac.motion.altitudeFt += groundAhead ? ac.reports.verticalSpeedStep
                                         : limitLightClimb(ac, ac.reports.verticalSpeedStep * kTicksPerMinute) / kTicksPerMinute;
            return;
        }
        if (groundAhead) {
            f.climbOutBlend = 0;
            ac.motion.altitudeFt += ac.reports.verticalSpeedStep;
            return;
        }
        if (!st.empty() && st.front().airborne && st.front().altitudeFt > 0.0) {
            double t = std::clamp(ac.reports.verticalSpeedStep * kTicksPerMinute, -1200.0, ac.identity.maxClimbRateFtPerTick * kTicksPerMinute);
            t = limitLightClimb(ac, t);
            applyVerticalSpeed(ac, t / kTicksPerMinute, true);
            if (std::fabs(f.vsStepMemory * kTicksPerMinute - t) <= 1.0)
                f.climbOutBlend = 0;
        } else {
            double t = ac.reports.verticalSpeedStep * kTicksPerMinute;
            if (!(t > 0.0))
                t = ac.motion.verticalSpeedFpm > 0.0 ? ac.motion.verticalSpeedFpm : 0.0;
            applyVerticalSpeed(ac, limitLightClimb(ac, t) / kTicksPerMinute, false);
        }
        return;
    default:
        ac.motion.altitudeFt += ac.reports.verticalSpeedStep;
        return;
    }
}

