#include "engine/motion/ground_leg_timing.h"

#include <algorithm>
#include <cmath>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/units.h"
#include "engine/geometry.h"
#include "engine/ground_curves.h"
#include "engine/motion/flight_motion.h"
#include "engine/motion/ground_moves.h"
#include "engine/motion/ground_tuning.h"
#include "engine/motion/ground_turns.h"
#include "engine/motion/motion_step.h"
#include "engine/sample_stream.h"
#include "runways/runway_matching.h"

namespace {

using namespace ground_tuning;

double lf_degrees(double radians)
{
    return radians / kDegToRad;
}

// A taxiing aircraft moving on with its heading well off the leg ahead:
// a curve from where it is, leaving along its heading, onto the line to the
// next sample, and the speed it takes it at. 0 when there is no room for it.
double lf_rollOntoLeg(LiveAircraft& ac, double legKt)
{
    SampleStream& st = ac.stream.samples;
    const LatLon here{ac.motion.lat, ac.motion.lon};
    const double toNextM = gf_distanceNm(here, gf_samplePosition(st[1])) * kMetresPerNm;
    if (!(toNextM >= kRollingTurnMinM))
        return 0.0;
    const LatLon control = gf_destinationPoint(here, {ac.motion.heading, 0.5 * toNextM * kFeetPerMetre});
    GroundCurveInput in;
    in.a = {here.latitude, here.longitude, 0.0};
    in.b = {control.latitude, control.longitude, 0.5};
    in.c = gf_samplePosition(st[1]);
    in.endTime = 1.0;
    gf_buildGroundCurve(ac.ground.groundCurve, in);
    if (!ac.ground.groundCurve.valid())
        return 0.0;
    ac.ground.curveProgress = 0.0;
    ac.leg.targetTrack = gf_initialBearing(control, gf_samplePosition(st[1]));
    const double turn = std::fabs(gf_wrapAngle(ac.leg.targetTrack - ac.motion.heading));
    ac.ground.lastTurnAngleDeg = lf_degrees(turn);
    ac.leg.headingCorrectionPending = 0;
    // Slowed into the turn: v² × turn / length is its mean sideways pull.
    const double turnKt = std::sqrt(kRollingTurnSideMps2 * toNextM / std::max(turn, 1e-3)) / kKnotsToMetresPerSecond;
    const double kt = std::clamp(turnKt, kRollingTurnSlowestKt, std::max(legKt, kRollingTurnSlowestKt));
    ac.motion.tasKt = kt;
    st[1].tasKt = kt; // the speed shown until it gets there
    return kt;
}

// The side a U-turn toward `way` rolls round to: the side the next sample
// lies on, unless it lies within that turning circle.
int8_t lf_turnRoundSide(const LiveAircraft& ac, double way)
{
    const int8_t side = gf_wrapAngle(way - ac.motion.heading) >= 0.0 ? 1 : -1;
    const double radiusM = gf_turnRoundRadiusM(ac);
    const LatLon here{ac.motion.lat, ac.motion.lon};
    const LatLon centre =
        gf_destinationPoint(here, {gf_normalizeAngle(ac.motion.heading + side * kPi / 2.0), radiusM * kFeetPerMetre});
    const double fromCentreM = gf_distanceNm(centre, gf_samplePosition(ac.stream.samples[1])) * kMetresPerNm;
    return fromCentreM > 1.2 * radiusM ? side : static_cast<int8_t>(-side);
}

// The aircraft and the sample lie on the same runway.
bool lf_sameRunway(const LiveAircraft& ac, const TrafficSample& s)
{
    const auto here = gf_runwayAtPosition({ac.motion.lat, ac.motion.lon}, ac.motion.heading);
    const auto there = gf_runwayAtPosition(gf_samplePosition(s), ac.motion.heading);
    return here && there && here->runwayText == there->runwayText;
}

// Driving off from rest over a leg of this length to reach this speed at
// its end: the ticks it takes, speeding up evenly and no harder than an
// aircraft on its own thrust does.
int32_t lf_fromRestTicks(double lengthM, double speedKt)
{
    const double atSpeed = 2.0 * lengthM / (std::max(speedKt, kCreepEndKt) * kKnotsToMetresPerSecond);
    const double gathering = std::sqrt(2.0 * lengthM / kDriveOffMps2);
    return static_cast<int32_t>(std::ceil(std::max(atSpeed, gathering) * kTicksPerSecond));
}

// Rolling at taxi speed with the heading well off the leg ahead (a corner
// the samples cut): it turns onto the leg as it rolls, not stops dead to turn
// on the spot. Rolling out with the next report well off the heading (an exit
// the reports cut): the roll curves off toward the side the report lies on,
// the heading turning with the way, slowed for the turn; driven straight there
// it would slide sideways or turn away from it. The speed it takes the turn
// at; 0 when it does not.
double lf_rollingTurnKt(LiveAircraft& ac)
{
    const SampleStream& st = ac.stream.samples;
    const bool taxiing = ac.phases.phase == FlightPhase::taxi && !ac.ground.pushingInTaxi && ac.stream.projection <= 0 &&
                         !ac.ground.groundTurn.active() && !ac.ground.groundCurve.valid() &&
                         ac.motion.tasKt > kStandingKt && !(ac.motion.tasKt > kTurnOnTheSpotKt) &&
                         !(st[0].speedKt > kTurnOnTheSpotKt) && st[0].speedKt > kStandingKt;
    const bool rollingOut = ac.phases.phase == FlightPhase::landing_roll && ac.phases.groundMode &&
                            !ac.ground.groundTurn.active() && !ac.ground.groundCurve.valid() && !st[1].airborne;
    if (!taxiing && !rollingOut)
        return 0.0;
    const double off = lf_degrees(std::fabs(
        gf_wrapAngle(gf_initialBearing({ac.motion.lat, ac.motion.lon}, gf_samplePosition(st[1])) - ac.motion.heading)));
    if (off >= kSlideDeg && off <= kRollingTurnMaxDeg)
        return lf_rollOntoLeg(ac, lf_legSpeedKt(ac));
    return 0.0;
}

// On a turn or curve, or with a heading correction pending: the turn rate
// fitted to the time the leg leaves for the turn (and the sample lags
// widened for a sharp one).
void lf_fitTurnRateToLeg(LiveAircraft& ac, double rate, int32_t legTime, double lengthNm, bool pending)
{
    const double angle = pending ? ac.leg.headingCorrectionDeg : ac.ground.lastTurnAngleDeg;
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
        const double later = ac.phases.phase == FlightPhase::takeoff_roll ? 5.0 : 3.0;
        ac.leg.lagEarlier = std::max(ac.leg.lagEarlier, static_cast<int32_t>(std::lround((2.0 * u + 1.0) * 900.0)));
        ac.leg.lagLater = std::max(ac.leg.lagLater, static_cast<int32_t>(std::lround(((later - 1.0) * u + 1.0) * 900.0)));
    }
    ac.identity.turnRate = rate;
}

// A light aircraft turning back on its runway after landing taxis.
void lf_lightAircraftTurningBack(LiveAircraft& ac, bool onTurn, bool onCurve, bool pending)
{
    const SampleStream& st = ac.stream.samples;
    if (ac.identity.category == Category::Light && ac.phases.phase == FlightPhase::landing_roll &&
        !st[1].airborne && !onTurn && !onCurve && ac.stream.projection <= 0 && pending && ac.leg.headingCorrectionDeg >= 150.0 &&
        std::max({ac.motion.tasKt, st[0].speedKt, st[1].speedKt}) <= 30.0 && lf_sameRunway(ac, st[1])) {
        abortTakeoffRoll(ac);
    }
}

// Taxiing, or starting a take-off roll from a stop: a leg further off the
// heading than a slide would show is driven after a turn on the spot (the
// samples wait). True when the leg is planned so.
bool lf_turnOnTheSpotThenDrive(LiveAircraft& ac, int32_t legTime, double lengthNm, double speed, bool onTurn,
                               bool onCurve, bool pending)
{
    SampleStream& st = ac.stream.samples;
    // The aircraft drives from where it is, which may lie off the sample it
    // just reached: it turns onto that way.
    // Not at a take-off roll's speed: then it steers onto the leg as it goes
    // (a take-off roll still in `taxi` at another airport).
    // Nor while it still creeps onto its runway to line up: a leg that far
    // off the heading driven straight would slide.
    const bool rollFromStop = ac.phases.phase == FlightPhase::takeoff_roll &&
                              (!(st[0].speedKt > kStandingKt) || !(ac.motion.tasKt > kCreepEndKt));
    // From rest it turns first whatever speed the leg reads: driving off at
    // that speed with the heading far off the leg is a slide.
    const bool atRest = !(ac.motion.tasKt > kStandingKt);
    const bool taxiSpeed = (!(st[0].speedKt > kTurnOnTheSpotKt) && !(ac.motion.tasKt > kTurnOnTheSpotKt)) || atRest;
    const double way = gf_initialBearing({ac.motion.lat, ac.motion.lon}, gf_samplePosition(st[1]));
    const double offWay = lf_degrees(std::fabs(gf_wrapAngle(way - ac.motion.heading)));
    // Driving onto its stand it turns first as it does taxiing.
    const bool taxiing = ac.phases.phase == FlightPhase::taxi || ac.phases.phase == FlightPhase::parking;
    if (((taxiing && taxiSpeed && !ac.ground.pushingInTaxi) || rollFromStop) && !onTurn && !onCurve &&
        ac.stream.projection <= 0 &&
        (pending || offWay >= kSlideDeg) &&
        (ac.leg.headingCorrectionDeg >= kSlideDeg || offWay >= kSlideDeg || ac.ground.sharpTurn) && ac.identity.turnRate > 0.0) {
        if (offWay >= kSlideDeg) {
            ac.leg.targetTrack = way;
            ac.leg.headingCorrectionDeg = offWay;
            ac.leg.headingCorrectionPending = 1;
        }
        // Turn on the spot first, then drive the leg; the samples wait. The
        // motion step turns it at most 1.2 times its base rate, whatever
        // rate the leg was fitted to.
        const double spotRate =
            ac.identity.baseTurnRate > 0.0 ? std::min(ac.identity.turnRate, 1.2 * ac.identity.baseTurnRate) : ac.identity.turnRate;
        const int32_t extra = std::max(
            static_cast<int32_t>(std::ceil(std::max(ac.leg.headingCorrectionDeg - 5.0, 0.0) * kDegToRad / spotRate)), 25);
        // It drives off from where it stood, gathering speed as an aircraft
        // can: the leg is timed so that it reaches the report's speed at the
        // report, not twice that halfway along a short leg.
        if (ac.leg.speedMode == LegSpeedMode::none)
            ac.leg.speedMode = LegSpeedMode::accelerateFromStop;
        int32_t driveTime = legTime;
        if (ac.leg.speedMode == LegSpeedMode::accelerateFromStop)
            driveTime = std::max(lf_fromRestTicks(lengthNm * kMetresPerNm, speed), legTime);
        ac.leg.legOverride = 1;
        ac.leg.legOverrideTicks = driveTime;
        ac.ground.turningInPlace = 1;
        // Back the way it faces: it rolls round in a tight U-turn at walking
        // pace, never pivots there to drive straight back the way it came.
        // On the way onto its stand it turns where it stands: its path there
        // leaves no room to roll round beside it.
        if (ac.phases.phase == FlightPhase::taxi && offWay > kRollRoundDeg)
            ac.ground.turnRoundSide = lf_turnRoundSide(ac, way);
        retimeNextSample(ac, extra + driveTime);
        const int32_t due = engineClock.load() + extra + driveTime;
        if (st[1].playTime < due) {
            const int32_t delay = due - st[1].playTime;
            for (size_t i = 1; i < st.size(); ++i)
                st[i].playTime += delay;
        }
        return true;
    }
    return false;
}

} // namespace

void lf_groundLegTiming(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (st[1].stationary) {
        lf_holdLeg(ac);
        return;
    }
    const double rate = gf_groundSpeedFactor(st[0].speedKt) * ac.identity.baseTurnRate;
    ac.identity.turnRate = rate;
    const double rollingTurnKt = lf_rollingTurnKt(ac);
    const bool onTurn = ac.ground.groundTurn.active();
    const bool onCurve = ac.ground.groundCurve.valid();
    // The leg is driven from where the aircraft is: a roll that ran ahead
    // of the sample it reached has only the rest of the way to go, and
    // timed over the whole leg it would stand and wait at the next one.
    const double lengthNm = onTurn ? ac.ground.groundTurn.length / kMetresPerNm
                                   : gf_distanceNm({ac.motion.lat, ac.motion.lon}, gf_samplePosition(st[1]));
    const double speed = rollingTurnKt > 0.0 ? rollingTurnKt : lf_legSpeedKt(ac);
    if (!(lengthNm > 0.0) || !(speed > 0.0)) {
        retimeNextSample(ac, 25);
        return;
    }
    const int32_t legTime = std::max(static_cast<int32_t>(std::lround(lengthNm * kTicksPerHour / speed)), 25);
    const bool pending = ac.leg.headingCorrectionPending != 0;
    if ((onTurn || onCurve || pending) && rate > 0.0)
        lf_fitTurnRateToLeg(ac, rate, legTime, lengthNm, pending);
    lf_lightAircraftTurningBack(ac, onTurn, onCurve, pending);
    if (lf_turnOnTheSpotThenDrive(ac, legTime, lengthNm, speed, onTurn, onCurve, pending))
        return;
    retimeNextSample(ac, legTime);
}
