#include "engine/motion/motion_step.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/units.h"
#include "engine/ground_curves.h"
#include "engine/motion/approach.h"
#include "engine/motion/flight_motion.h"
#include "engine/motion/ground_braking.h"
#include "engine/motion/speed_limits.h"
#include "engine/geometry.h"
#include "engine/report_noise.h"
#include "engine/sample_stream.h"
#include "engine/motion/takeoff.h"
#include "liveries/category.h"
#include "liveries/model_texts.h"
#include "runways/runway_table.h"
#include "simlink/user_aircraft.h"

namespace {

// A heading step per tick above this is a jump, not a turn.
constexpr double kMaxStepRad = 3.6 * kDegToRad;
// Smooth taxi turns: largest heading rate and its largest change, per tick.
constexpr double kSmoothMaxRad = 0.02 * kDegToRad;
constexpr double kSmoothChangeRad = 0.0004 * kDegToRad;

bool lf_pushingBack(const LiveAircraft& ac)
{
    return ac.phases.phase == FlightPhase::pushing_back;
}

double lf_minSpeedForFlying(Category category)
{
    switch (category) {
    case Category::Light:
        return 25.0;
    case Category::TwoProps:
        return 45.0;
    case Category::HighPerf:
        return 90.0;
    default:
        return 70.0;
    }
}

// A curve is followed up to just short of its end (where it is evaluated).
constexpr double kCurveEnd = 0.999999;

// The share of the leg this tick covers: the next step of the leg's speed
// profile, or an even share.
double lf_nextLegFraction(LiveAircraft& ac)
{
    FlightState& f = ac.flight;
    if (f.profileIndex < f.profile.size())
        return f.profile[f.profileIndex++];
    return ac.ground.legFraction;
}

// One tick along the planned turn; a turn that cannot be evaluated is
// dropped and the aircraft stays where it is.
void lf_followGroundTurn(LiveAircraft& ac)
{
    GroundTurn& turn = ac.ground.groundTurn;
    turn.follower = std::clamp(turn.follower + lf_nextLegFraction(ac), 0.0, 1.0);
    const GroundPose p = gf_groundTurnAt(turn, turn.follower);
    if (!p.valid) {
        gf_clearGroundTurn(turn);
        return;
    }
    ac.motion.lat = p.lat;
    ac.motion.lon = p.lon;
    ac.motion.heading = p.heading;
}

// A roll ramp on a turn: the ramp's share of its distance placed on the turn.
// A turn that cannot be evaluated is dropped and the ramp's line stays.
bool lf_followGroundTurnOnRamp(LiveAircraft& ac)
{
    const RollRamp& r = ac.flight.ramp;
    const double whole = gf_distanceNm(r.start, r.end);
    const double f = whole > 0.0 ? std::clamp(gf_distanceNm(r.start, {ac.motion.lat, ac.motion.lon}) / whole, 0.0, 1.0) : 1.0;
    const GroundPose p = gf_groundTurnAt(ac.ground.groundTurn, f);
    if (!p.valid) {
        gf_clearGroundTurn(ac.ground.groundTurn);
        return false;
    }
    ac.ground.groundTurn.follower = f;
    ac.motion.lat = p.lat;
    ac.motion.lon = p.lon;
    ac.motion.heading = p.heading;
    return true;
}

void lf_followGroundCurve(LiveAircraft& ac)
{
    ac.ground.curveProgress = std::clamp(ac.ground.curveProgress + lf_nextLegFraction(ac), 0.0, kCurveEnd);
    const GroundPose p = gf_groundCurveAt(ac.ground.groundCurve, ac.ground.curveProgress);
    if (!p.valid) {
        gf_logError(fmt::format("{} error in curve at index: {:.2F}", ac.identity.callsign, ac.ground.curveProgress));
        return;
    }
    ac.motion.lat = p.lat;
    ac.motion.lon = p.lon;
    if (ac.phases.groundMode || lf_pushingBack(ac)) {
        ac.motion.heading = p.heading;
        return;
    }
    // In the air the heading follows the curve at the turn rate, not within
    // half a degree.
    const double y = gf_wrapAngle(p.heading - ac.motion.heading);
    if (std::fabs(y) > 0.5 * kDegToRad && ac.identity.turnRate > 0.0)
        ac.motion.heading = gf_normalizeAngle(ac.motion.heading + std::clamp(y, -ac.identity.turnRate, ac.identity.turnRate));
}

// The length of the leg a speed profile spreads, in nautical miles.
double lf_legOffsetNm(const FlightState& f, double latDeg)
{
    const FlatOffsetNm leg = gf_flatOffsetNmOfDegrees(f.legOffsetLat, f.legOffsetLon, gf_cosLatitude(latDeg));
    return std::hypot(leg.north, leg.east);
}

bool lf_rollRound(LiveAircraft& ac);

// While turning on the spot the aircraft does not move; within 5 degrees of
// its track the turn ends and it drives off.
bool lf_turnInPlace(LiveAircraft& ac)
{
    if (!ac.ground.turningInPlace)
        return false;
    if (ac.ground.turnRoundSide != 0 && !ac.stream.samples.empty()) {
        if (lf_rollRound(ac))
            return true;
        ac.ground.turningInPlace = 1; // the common end of the turn below
    }
    if (std::fabs(gf_wrapAngle(ac.leg.targetTrack - ac.motion.heading)) > 5.0 * kDegToRad) {
        ac.motion.tasKt = 0.0;
        return true;
    }
    ac.ground.turningInPlace = 0;
    if (ac.stream.samples.empty())
        return false;
    ac.motion.tasKt = ac.stream.samples.front().speedKt;
    // A turn that took longer than planned: the samples wait for the whole
    // leg, so that it is driven at its own pace.
    const int32_t due = engineClock.load() + ac.leg.legOverrideTicks;
    if (ac.leg.legOverride && ac.stream.samples.front().playTime < due) {
        const int32_t delay = due - ac.stream.samples.front().playTime;
        for (TrafficSample& s : ac.stream.samples)
            s.playTime += delay;
    }
    return false;
}

// A U-turn is rolled at walking pace, the heading turning at the rate of a
// turn on the spot (never faster than the fastest ground turn).
constexpr double kTurnRoundKt = 3.0;

double lf_turnRoundRate(const LiveAircraft& ac)
{
    const double rate = ac.identity.baseTurnRate > 0.0 ? 1.2 * ac.identity.baseTurnRate : ac.identity.turnRate;
    return std::min(rate, kFastestGroundTurnRad);
}

// One tick of a U-turn: forward along the heading at walking pace, the
// heading turning to its side until it faces the next sample. Then the leg
// is driven from where the turn ended. False when the turn is over.
bool lf_rollRound(LiveAircraft& ac)
{
    const TrafficSample& next = ac.stream.samples.front();
    const LatLon here{ac.motion.lat, ac.motion.lon};
    const LatLon to{next.lat, next.lon};
    ac.leg.targetTrack = gf_initialBearing(here, to);
    const double left = gf_normalizeAngle(ac.ground.turnRoundSide * (ac.leg.targetTrack - ac.motion.heading));
    const double rate = lf_turnRoundRate(ac);
    if (!(rate > 0.0) || std::min(left, 2.0 * std::numbers::pi - left) <= 5.0 * kDegToRad) {
        ac.ground.turningInPlace = 0;
        ac.ground.turnRoundSide = 0;
        // The leg from here, at the pace it was planned at.
        const double plannedNm = std::hypot(ac.leg.stepLat * 60.0, ac.leg.stepLon * 60.0 * gf_cosLatitude(ac.motion.lat)) *
                                 std::max(ac.leg.legOverrideTicks, 1);
        const double leftNm = gf_distanceNm(here, to);
        const int32_t ticks = plannedNm > 0.0 ? std::max(static_cast<int32_t>(std::lround(
                                                             ac.leg.legOverrideTicks * leftNm / plannedNm)),
                                                         25)
                                              : ac.leg.legOverrideTicks;
        ac.leg.legOverrideTicks = ticks;
        ac.leg.stepLat = (next.lat - ac.motion.lat) / ticks;
        ac.leg.stepLon = gf_longitudeDelta(next.lon, ac.motion.lon) / ticks;
        ac.ground.legFraction = 1.0 / ticks;
        // Already rolling: it gathers speed from walking pace.
        ac.flight.profile.clear();
        ac.flight.profileIndex = 0;
        return false;
    }
    // The samples wait for the turn, however long it takes.
    const int32_t due = engineClock.load() + 1 + ac.leg.legOverrideTicks;
    if (next.playTime < due) {
        const int32_t delay = due - next.playTime;
        for (TrafficSample& s : ac.stream.samples)
            s.playTime += delay;
    }
    ac.motion.heading = gf_normalizeAngle(ac.motion.heading + ac.ground.turnRoundSide * std::min(rate, left));
    const double kt = std::min(kTurnRoundKt, std::max(ac.ground.groundStepKt, 0.0) + kSpeedUpKtPerTick);
    const LatLon ahead = gf_destinationPoint(here, {ac.motion.heading, kt / kTicksPerHour * kFeetPerNm});
    ac.motion.lat = ahead.latitude;
    ac.motion.lon = ahead.longitude;
    ac.motion.tasKt = kt;
    return true;
}

// A helicopter setting off from a hover toward a way well off its nose
// turns toward it where it hovers first, no faster than a turn in the air,
// level (a pedal turn); then it goes straight along its way, nose first.
// Only a leg that would move it waits for the turn, its samples held back
// for the rest of it: still over its spot it turns while the hover lasts.
constexpr double kHoverTurnRad = 5.0 * kDegToRad / kTicksPerSecond;
bool lf_hoverTurn(LiveAircraft& ac)
{
    if (!ac.ground.hoverTurning)
        return false;
    if (ac.stream.samples.empty()) {
        ac.ground.hoverTurning = 0;
        return false;
    }
    const double way = ac.ground.hoverTurnWay;
    const double off = gf_wrapAngle(way - ac.motion.heading);
    if (std::fabs(off) > kHoverTurnRad) {
        ac.motion.heading = gf_normalizeAngle(ac.motion.heading + std::copysign(kHoverTurnRad, off));
        const bool still = ac.stream.samples.front().stationary || (ac.leg.stepLat == 0.0 && ac.leg.stepLon == 0.0);
        if (!still)
            for (TrafficSample& s : ac.stream.samples)
                s.playTime += 1;
        return true;
    }
    ac.motion.heading = gf_normalizeAngle(way);
    ac.ground.hoverTurning = 0;
    // The leg from here: straight along the way it now faces, level.
    ac.flight.arc = {};
    ac.leg.airHeadingStep = 0.0;
    ac.flight.bankRate = 0.0;
    return false;
}

// Hovering or turning in the hover, a helicopter levels its bank at the
// rate it rolls.
void lf_levelInTheHover(LiveAircraft& ac)
{
    if (ac.phases.groundMode || (!ac.ground.hoverLeg && !ac.ground.hoverTurning))
        return;
    const double rate = gf_bankRateForCategory(ac.identity.category);
    ac.flight.bankRate = std::clamp(-ac.motion.bank, -rate, rate);
}

// How the step moved the aircraft: along a straight leg or ramp, or along
// the planned turn or curve (with where it stood on it before the step).
struct GroundStep {
    bool straight = false;
    bool onTurn = false;
    bool onCurve = false;
    double before = 0.0;
};

// The leg ends where the aircraft is: its end sample, and the frozen
// repeats of it that follow, are put there and fall due now.
void lf_endLegHere(LiveAircraft& ac, const LatLon& at)
{
    SampleStream& st = ac.stream.samples;
    if (st.empty())
        return;
    const TrafficSample end = st.front();
    for (TrafficSample& s : st) {
        if (s.lat != end.lat || s.lon != end.lon)
            break;
        s.lat = at.latitude;
        s.lon = at.longitude;
    }
    lf_frontDueNow(ac.stream);
}

// Crawling on a straight leg, it rolls along its nose, not along the leg: as
// the heading turns toward its way this is an arc, never a crab. The rest of
// the leg is aimed again from where the crawl got to, at the leg's own pace
// (no catch-up), and the samples wait for what the crawl lost.
void lf_crawlAlongNose(LiveAircraft& ac, const LatLon& from, double fromHeading, double kt)
{
    const double limit = lf_groundTurnLimit(lf_withMargin(kt));
    const double turned = std::clamp(gf_wrapAngle(ac.motion.heading - fromHeading), -limit, limit);
    const LatLon to = gf_destinationPoint(from, {gf_normalizeAngle(fromHeading + turned / 2.0), kt / kTicksPerHour * kFeetPerNm});
    ac.motion.lat = to.latitude;
    ac.motion.lon = to.longitude;
    FlightState& f = ac.flight;
    if (ac.stream.samples.empty())
        return;
    const TrafficSample& end = ac.stream.samples.front();
    const LatLon endAt{end.lat, end.lon};
    const int32_t ticksLeft = std::max(end.playTime - engineClock.load(), 1);
    const double leftNm = gf_distanceNm(to, endAt);
    if (f.profileIndex < f.profile.size()) {
        // A speed profile keeps its length: the offset its steps still to
        // come move is aimed again.
        double share = 0.0;
        for (size_t i = f.profileIndex; i < f.profile.size(); ++i)
            share += f.profile[i];
        if (!(share > 0.0))
            return;
        f.legOffsetLat = (end.lat - to.latitude) / share;
        f.legOffsetLon = gf_longitudeDelta(end.lon, to.longitude) / share;
    } else {
        const double stepNm = std::hypot(ac.leg.stepLat * 60.0, ac.leg.stepLon * 60.0 * gf_cosLatitude(to.latitude));
        if (!(stepNm > 0.0))
            return;
        const int32_t ticks = std::max(ticksLeft, static_cast<int32_t>(std::ceil(leftNm / stepNm)));
        ac.leg.stepLat = (end.lat - to.latitude) / ticks;
        ac.leg.stepLon = gf_longitudeDelta(end.lon, to.longitude) / ticks;
        for (TrafficSample& s : ac.stream.samples)
            s.playTime += ticks - ticksLeft;
    }
    // The nose turns toward where the leg now leads (not once it is about
    // there: a few metres off, the bearing swings round). Once the end lies
    // that near and still well off the nose, the leg is over where the
    // aircraft is: the rest is the reports' own scatter, not a way sideways.
    if (leftNm * kMetresPerNm > kCrawlAimM)
        ac.leg.targetTrack = gf_initialBearing(to, endAt);
    else if (std::fabs(gf_wrapAngle(gf_initialBearing(to, endAt) - ac.motion.heading)) > kCreepOffDeg * kDegToRad)
        lf_endLegHere(ac, to);
}

void lf_boundGroundStep(LiveAircraft& ac, const LatLon& from, double fromHeading, const GroundStep& step)
{
    const LatLon to{ac.motion.lat, ac.motion.lon};
    const LatitudeTrig atFrom = ac.ground.stepTrig.of(from.latitude);
    const LatitudeTrig atTo = ac.ground.stepTrig.of(to.latitude);
    const double movedNm = gf_distanceNm(from, to, atFrom, atTo);
    const double speedKt = movedNm * kTicksPerHour;
    if (!(movedNm > 0.0))
        ac.ground.speedCapLagTicks = 0.0; // standing, it is back on its reports' time
    const double way = movedNm > 0.0 ? gf_initialBearing(from, to, atFrom, atTo) : ac.motion.heading;
    const double off = std::fabs(gf_wrapAngle(way - ac.motion.heading)) / kDegToRad;
    // Only while the heading turns toward the way: crawling cannot help a
    // heading that steers elsewhere.
    const bool catchingUp = off < std::fabs(gf_wrapAngle(way - fromHeading)) / kDegToRad;
    const bool onPath = step.onTurn || step.onCurve;
    RollRamp& ramp = ac.flight.ramp;
    const double crawl = lf_crawlShare(ac, speedKt, off, catchingUp);
    // Creeping no faster than a crawl with the heading still far off the way:
    // it creeps along its nose, as a crawl does.
    const bool creepAlongNose = !onPath && ac.phases.phase == FlightPhase::taxi && movedNm > 0.0 &&
                                !(speedKt > kCreepKt) && off > kCreepOffDeg && catchingUp;
    double k = crawl;
    if (onPath) {
        // How far the path itself turns over this step (the heading may
        // lag it, held to the turn rate).
        const auto at = [&](double x) {
            return step.onTurn ? gf_groundTurnAt(ac.ground.groundTurn, x) : gf_groundCurveAt(ac.ground.groundCurve, x);
        };
        const GroundPose was = at(step.before);
        const GroundPose now = at(step.onTurn ? ac.ground.groundTurn.follower : ac.ground.curveProgress);
        const double pathTurned = was.valid && now.valid ? std::fabs(gf_wrapAngle(now.heading - was.heading))
                                                         : std::fabs(gf_wrapAngle(ac.motion.heading - fromHeading));
        k = std::min(k, lf_pathShare(lf_withMargin(speedKt), pathTurned));
    }
    // Slowed for a turn, it gathers speed again at a believable rate, not
    // in one step (a leg's own profile keeps its pace, a take-off roll's
    // and a roll's ramp up to what a roll gathers).
    const bool onProfile = !ramp.active && ac.flight.profileIndex < ac.flight.profile.size();
    const bool ownPace = ramp.active || onProfile;
    const double speedUp = ownPace ? kRollSpeedUpKtPerTick : kSpeedUpKtPerTick;
    const double gathered = ac.ground.groundStepKt + speedUp;
    // A ramp keeps its own pace; an ease-in from a stop over a long leg
    // would gather faster than any roll: it is held to a roll's pace.
    if (!ramp.active && ac.ground.groundStepKt >= 0.0 && speedKt > gathered)
        k = std::min(k, gathered / speedKt);
    const double rollToAloft = lf_rollTowardReportAloft(ac, from, speedKt, onPath);
    if (rollToAloft > 0.0 && rollToAloft <= lf_mostGroundKt(ac, from, to)) {
        // The leg ends aloft: it gathers speed as a take-off roll does, not at
        // the leg's even pace, and lifts off at its rotation speed.
        ramp = {};
        ac.motion.lat = from.latitude + (to.latitude - from.latitude) * rollToAloft / speedKt;
        ac.motion.lon = from.longitude + gf_longitudeDelta(to.longitude, from.longitude) * rollToAloft / speedKt;
        ac.motion.tasKt = rollToAloft;
        ac.ground.groundStepKt = rollToAloft;
        ac.ground.creeping = 0;
        const double limit = lf_groundTurnLimit(lf_withMargin(rollToAloft));
        ac.motion.heading =
            gf_normalizeAngle(fromHeading + std::clamp(gf_wrapAngle(ac.motion.heading - fromHeading), -limit, limit));
        if (rollToAloft >= lf_takeoffVr(ac, 1)) {
            const LatLon here{ac.motion.lat, ac.motion.lon};
            startTakeoff(ac, 2);
            ac.ground.speedCapLagTicks = 0.0;
            lf_climbOutToReportsAloft(ac, here, rollToAloft);
        }
        return;
    }
    // Reports it cannot follow that fast: it moves at the most it may and
    // its samples wait. A ramp that runs faster is left (it would stand and
    // wait a tick): the rest of the leg is driven evenly at that pace.
    double most = lf_mostGroundKt(ac, from, to);
    if ((ramp.active || ac.phases.phase == FlightPhase::takeoff_roll) && ac.ground.groundStepKt >= 0.0)
        // A take-off roll drives off from a stop at a roll's pace too, not
        // at a creep's speed in one tick.
        most = std::min(most, ac.phases.phase == FlightPhase::takeoff_roll ? gathered : std::max(gathered, kCreepKt));
    // Stops and slower limits ahead are braked into, not hit.
    if (!ramp.active)
        most = std::min(most, gf_brakingCapKt(ac, from));
    const bool held = speedKt > most;
    if (held) {
        k = std::min(k, most / speedKt);
        ramp = {};
        // A take-off roll at its rotation speed whose reports are already
        // aloft ahead (they froze where it began rolling, or came seldom)
        // lifts off and climbs toward them; it never rolls on past its runway.
        const bool aloftAhead = std::any_of(ac.stream.samples.begin(), ac.stream.samples.end(),
                                            [](const TrafficSample& s) { return s.airborne != 0; });
        if (ac.phases.phase == FlightPhase::takeoff_roll && aloftAhead && speedKt * k >= lf_takeoffVr(ac, 1)) {
            startTakeoff(ac, 2);
            ac.ground.speedCapLagTicks = 0.0;
            lf_climbOutToReportsAloft(ac, from, speedKt * k);
        }
    }
    // The speed shown on the ground is the one it moves at.
    ac.motion.tasKt = speedKt;
    ac.ground.creeping = k < 1.0 ? 1 : 0;
    double pathHeading = ac.motion.heading;
    if (k < 1.0 && ramp.active) {
        // A speed ramp keeps its own time: it waits a tick, the aircraft
        // turning where it stands.
        --ramp.ticks;
        ac.motion.lat = from.latitude;
        ac.motion.lon = from.longitude;
        ac.motion.tasKt = 0.0;
        for (TrafficSample& s : ac.stream.samples)
            s.playTime += 1;
        return;
    }
    if (k < 1.0) {
        GroundPose on;
        if (onPath) {
            // A path's parameter does not run evenly with the distance along
            // it: the share is found again until the step is no longer than
            // the speed allows.
            double& x = step.onTurn ? ac.ground.groundTurn.follower : ac.ground.curveProgress;
            const double reached = x;
            const double wantedNm = movedNm * k;
            double share = k;
            for (int i = 0; i < 4; ++i) {
                x = step.before + (reached - step.before) * share;
                on = step.onTurn ? gf_groundTurnAt(ac.ground.groundTurn, x) : gf_groundCurveAt(ac.ground.groundCurve, x);
                const double nm = on.valid ? gf_distanceNm(from, {on.lat, on.lon}) : 0.0;
                if (!on.valid || !(nm > wantedNm * 1.02))
                    break;
                share *= wantedNm / nm;
            }
        }
        const bool alongNose = !on.valid && !onPath && crawl < 1.0;
        if (on.valid) {
            ac.motion.lat = on.lat;
            ac.motion.lon = on.lon;
            pathHeading = on.heading;
        } else if (alongNose) {
            lf_crawlAlongNose(ac, from, fromHeading, speedKt * k);
        } else {
            ac.motion.lat = from.latitude + (to.latitude - from.latitude) * k;
            ac.motion.lon = from.longitude + gf_longitudeDelta(to.longitude, from.longitude) * k;
        }
        ac.motion.tasKt = speedKt * k;
        // Crawling along the nose, the samples already wait at the leg's pace.
        lf_samplesWait(ac, alongNose ? 0.0 : 1.0 - k);
        if (held)
            ac.ground.speedCapLagTicks += 1.0 - k;
    } else if (creepAlongNose && !ramp.active) {
        lf_crawlAlongNose(ac, from, fromHeading, speedKt);
    }
    // The last step of a turn or curve ends where the path does, short of
    // a whole tick: it does not slow the aircraft (what it moves next would
    // gather speed again from that short step's).
    const bool pathEnded = (step.onTurn && ac.ground.groundTurn.follower >= 1.0) ||
                           (step.onCurve && ac.ground.curveProgress >= kCurveEnd);
    if (pathEnded && movedNm > 0.0 && ac.ground.groundStepKt > ac.motion.tasKt)
        ac.motion.tasKt = ac.ground.groundStepKt;
    ac.ground.groundStepKt = ac.motion.tasKt;
    // The heading turns no faster than the speed it moves at allows.
    const double limit = lf_groundTurnLimit(lf_withMargin(ac.motion.tasKt));
    ac.motion.heading = gf_normalizeAngle(fromHeading + std::clamp(gf_wrapAngle(pathHeading - fromHeading), -limit, limit));
}

// A helicopter moving faster than it hover-taxis (by its reports or as it
// catches up with them) flies, a few feet above its skids: it sets down
// only where it slows to a hover taxi, not at speed (it would slide along
// the ground).
void lf_keepHelicopterAloft(LiveAircraft& ac, const LatLon& from)
{
    if (ac.identity.category != Category::Rotorcraft || ac.phases.groundMode || ac.phases.phase == FlightPhase::takeoff ||
        !std::isfinite(ac.reports.lastSimGroundFt) || ac.stream.samples.empty())
        return;
    const double movedKt = gf_distanceNm(from, {ac.motion.lat, ac.motion.lon}) * kTicksPerHour;
    const double nextKt = ac.stream.samples.size() >= 2 ? ac.stream.samples[1].speedKt : 0.0;
    if (!(std::max({ac.stream.samples[0].speedKt, nextKt, movedKt}) > kHoverTaxiKt))
        return;
    const double floorFt = ac.reports.lastSimGroundFt + lf_gearHeightFt(ac) + kHoverFt;
    if (ac.motion.altitudeFt < floorFt) {
        ac.motion.altitudeFt = floorFt;
        ac.motion.verticalSpeedFpm = std::max(ac.motion.verticalSpeedFpm, 0.0);
    }
}

} // namespace

void stepHoverTurn(LiveAircraft& ac)
{
    if (ac.phases.groundMode || !ac.ground.hoverTurning)
        return;
    lf_hoverTurn(ac);
    ac.motion.bank = gf_stepToward(ac.motion.bank, 0.0, gf_bankRateForCategory(ac.identity.category));
    ac.flight.bankRate = 0.0;
}

void stepHeading(LiveAircraft& ac, double target, bool smooth)
{
    const double y = gf_wrapAngle(target - ac.motion.heading);
    const double m = ac.identity.turnRate;
    if (!std::isfinite(y) || !std::isfinite(m) || m <= 0.0)
        return;
    double step = 0.0;
    if (smooth && std::fabs(y) <= 6.0 * kDegToRad) {
        double& r = ac.leg.headingRate;
        const double cap = std::min(m, kSmoothMaxRad);
        if (!std::isfinite(r) || cap <= 0.0 || y == 0.0) {
            r = 0.0;
        } else {
            if (std::signbit(r) != std::signbit(y))
                r = 0.0;
            const double wanted = std::copysign(
                std::min(std::sqrt(std::fabs(y) * 1.3962634015954637e-5 + 4.873878716587338e-11) - 6.981317007977318e-6,
                         cap),
                y);
            r = std::clamp(wanted, r - kSmoothChangeRad, r + kSmoothChangeRad);
            r = std::clamp(r, -std::fabs(y), std::fabs(y));
        }
        step = r;
    } else {
        ac.leg.headingRate = 0.0;
        step = std::clamp(y, -m, m);
    }
    if (std::fabs(step) > kMaxStepRad)
        return;
    ac.motion.heading = gf_normalizeAngle(ac.motion.heading + step);
}

void stepMotion(LiveAircraft& ac)
{
    retryTakeoff(ac);
    const bool onGround = ac.phases.groundMode != 0;
    const bool onTurn = ac.ground.groundTurn.active();
    const bool onCurve = !onTurn && ac.ground.groundCurve.valid();
    if (!onGround || lf_pushingBack(ac) || onTurn || onCurve)
        ac.leg.headingRate = 0.0;
    const double startHeading = ac.motion.heading;
    const LatLon startPosition{ac.motion.lat, ac.motion.lon};
    GroundStep groundStep;
    groundStep.before = onTurn ? ac.ground.groundTurn.follower : ac.ground.curveProgress;
    if (stepRollRamp(ac)) {
        const RollRamp& r = ac.flight.ramp;
        if (onTurn && lf_followGroundTurnOnRamp(ac)) {
            // The turn gave position and heading.
        } else if (onGround && !lf_pushingBack(ac)) {
            stepHeading(ac, r.endHeading.value_or(ac.leg.targetTrack), r.endHeading.has_value());
            groundStep.straight = true;
        }
    } else if (onTurn) {
        lf_followGroundTurn(ac);
        groundStep.onTurn = onGround && ac.ground.groundTurn.active();
    } else if (onCurve) {
        lf_followGroundCurve(ac);
        groundStep.onCurve = onGround && ac.ground.groundCurve.valid();
    } else if (lf_hoverTurn(ac)) {
        // Turning toward its way where it hovers.
    } else {
        const bool turning = lf_turnInPlace(ac);
        if (turning) {
            // Standing (or rolling round) while the turn goes on.
        } else if (!stepAirArc(ac) && ac.phases.phase != FlightPhase::pushed_back) {
            FlightState& f = ac.flight;
            if (f.profileIndex < f.profile.size()) {
                ac.motion.lat += f.profile[f.profileIndex] * f.legOffsetLat;
                ac.motion.lon += f.profile[f.profileIndex] * f.legOffsetLon;
                // Speeding up from a stop or slowing to one: the speed shown
                // is the one it moves at.
                if (onGround)
                    ac.motion.tasKt = f.profile[f.profileIndex] * lf_legOffsetNm(f, ac.motion.lat) * kTicksPerHour;
                ++f.profileIndex;
            } else {
                ac.motion.lat += ac.leg.stepLat;
                ac.motion.lon += ac.leg.stepLon;
            }
            groundStep.straight = onGround;
        }
        if (turning && ac.ground.turnRoundSide != 0) {
            // The U-turn turned the heading.
        } else if (onGround && !lf_pushingBack(ac)) {
            const double target = ac.leg.endHeading.value_or(ac.leg.targetTrack);
            const bool smooth =
                ac.phases.phase == FlightPhase::taxi && std::fabs(gf_wrapAngle(ac.leg.targetTrack - ac.motion.heading)) <= 6.0 * kDegToRad;
            stepHeading(ac, target, smooth);
        } else if (std::fabs(ac.leg.airHeadingStep) < kMaxStepRad) {
            ac.motion.heading = gf_normalizeAngle(ac.motion.heading + ac.leg.airHeadingStep);
        }
    }
    if (onGround && !lf_pushingBack(ac)) {
        // On a curve the heading follows the path; the turn rate the leg was
        // fitted to may exceed the base rate, and holding the heading to the
        // base rate there would leave the aircraft sliding sideways.
        const double rate = onTurn || onCurve ? std::max(ac.identity.baseTurnRate, ac.identity.turnRate) : ac.identity.baseTurnRate;
        const double limit = 1.2 * rate;
        const double turned = gf_wrapAngle(ac.motion.heading - startHeading);
        if (limit > 0.0 && std::fabs(turned) > limit)
            ac.motion.heading = gf_normalizeAngle(startHeading + std::copysign(limit, turned));
        if ((groundStep.straight || groundStep.onTurn || groundStep.onCurve) && !ac.ground.pushingInTaxi)
            lf_boundGroundStep(ac, startPosition, startHeading, groundStep);
        else
            ac.ground.groundStepKt = ac.ground.turningInPlace ? (ac.ground.turnRoundSide != 0 ? ac.motion.tasKt : 0.0) : -1.0;
    } else {
        ac.ground.groundStepKt = -1.0;
    }
    lf_levelInTheHover(ac);
    if (ac.phases.phase == FlightPhase::takeoff) {
        stepTakeoff(ac);
    } else {
        if (ac.phases.phase == FlightPhase::landing && !ac.phases.groundMode &&
            std::fmin(ac.reports.lastSimAglFt, lf_heightAboveGround(ac)) <= 400.0)
            stepFlare(ac);
        if (!ac.phases.groundMode) {
            stepAirAttitude(ac);
        } else if (ac.touchdown.flareStage != 0) {
            // Back to the ground attitude after the touch-down.
            ac.motion.pitch = gf_stepToward(ac.motion.pitch, ac.identity.staticPitch, std::max(std::fabs(ac.touchdown.rolloutPitchStep), 1e-6));
            ac.motion.bank = gf_stepToward(ac.motion.bank, 0.0, std::max(std::fabs(ac.touchdown.rolloutBankStep), 1e-6));
            if (ac.motion.pitch == ac.identity.staticPitch) {
                ac.motion.bank = 0.0;
                ac.flight.pitchRate = 0.0;
                ac.flight.bankRate = 0.0;
                ac.touchdown.flareStage = 0;
            }
        } else {
            ac.motion.pitch = ac.identity.staticPitch;
            ac.motion.bank = 0.0;
        }
    }
    lf_riseBeforeSpeedingUp(ac, startPosition);
    lf_liftOffAtRollSpeed(ac, startPosition);
    lf_keepHelicopterAloft(ac, startPosition);
    LatLon p{ac.motion.lat, ac.motion.lon};
    gf_normalizeLatLon(p);
    ac.motion.lat = p.latitude;
    ac.motion.lon = p.longitude;
    keepLightOnRunwayLine(ac, startPosition, startHeading);
}

double gf_turnRoundRadiusM(const LiveAircraft& ac)
{
    const double rate = lf_turnRoundRate(ac);
    return rate > 0.0 ? kTurnRoundKt * kKnotsToMetresPerSecond / (rate * kTicksPerSecond) : 0.0;
}

int32_t extrapolationBudget(LiveAircraft& ac)
{
    if (!gf_isCategoryIncluded(ac.identity.category))
        return 0;
    switch (ac.phases.phase) {
    case FlightPhase::takeoff_roll:
    case FlightPhase::takeoff:
    case FlightPhase::landing:
    case FlightPhase::landing_roll:
        return 20;
    case FlightPhase::parked:
        return 1;
    case FlightPhase::pushed_back:
    case FlightPhase::taxi:
        ac.push.holding = 1;
        return gf_parametersSnapshot()->MAX_HOLDING_MINUTES * 20;
    case FlightPhase::flying: {
        if (ac.stream.samples.empty())
            return 0;
        const double v = ac.stream.samples.back().speedKt;
        if (ac.identity.category != Category::Rotorcraft &&
            (!std::isfinite(v) || v < lf_minSpeedForFlying(ac.identity.category)))
            return 0;
        const UserAcPosition user = gf_engineUserAcPosition();
        if (std::fabs(user.latitude) < 0.0001 && std::fabs(user.longitude) < 0.0001)
            return 20;
        const double nm =
            gf_flatOffsetNm({user.latitude, user.longitude}, {ac.motion.lat, ac.motion.lon}, gf_cosLatitude(user.latitude)).length();
        return nm < gf_parametersSnapshot()->rangeNm - 0.5 ? 20 : 0;
    }
    default:
        return 0;
    }
}

void extrapolateSample(LiveAircraft& ac, int32_t budget)
{
    ac.stream.projection = budget;
    if (ac.stream.samples.empty())
        return;
    TrafficSample s = ac.stream.samples.back();
    const bool parked = ac.phases.phase == FlightPhase::parked;
    if (s.stationary || parked) {
        s.speedKt = 0.0;
        s.tasKt = 0.0;
        s.stationary = 1;
    } else if (!ac.phases.groundMode) {
        if (ac.phases.phase != FlightPhase::landing) {
            s.speedKt = std::max(s.speedKt * 0.9, 1.0);
            if (ac.phases.phase == FlightPhase::takeoff) {
                s.altitudeFt += 75.0;
                s.verticalSpeedFpm = 1500.0;
            }
        } else {
            if (budget >= 4)
                s.speedKt = std::max(s.speedKt * 0.94, 1.0);
            s.altitudeFt -= 31.6825;
            s.verticalSpeedFpm = -633.65;
        }
        s.airborne = s.altitudeFt > 0.0 ? 1 : 0;
        s.altitudeFt = std::max(s.altitudeFt, 0.0);
    } else if (ac.phases.phase == FlightPhase::landing_roll) {
        s.verticalSpeedFpm = 0.0;
        const double a = s.speedKt >= 120.0 ? 6.0 : s.speedKt >= 80.0 ? 5.0 : s.speedKt >= 40.0 ? 4.0 : 2.5;
        s.speedKt = std::max(s.speedKt - 3.0 * a, 0.0);
    } else if (ac.phases.phase == FlightPhase::takeoff_roll) {
        const double a = s.speedKt < 60.0 ? 4.0 : s.speedKt < 120.0 ? 3.0 : 2.0;
        s.speedKt = std::min(s.speedKt + 3.0 * a, 180.0);
        if (s.speedKt == 140.0)
            s.verticalSpeedFpm = 600.0;
        else if (s.speedKt > 140.0 && s.speedKt <= 170.0)
            s.verticalSpeedFpm = 1200.0;
        else if (s.speedKt > 170.0)
            s.verticalSpeedFpm = 2400.0;
    } else {
        s.speedKt = 0.0;
        s.stationary = 1;
    }
    if (s.speedKt > 0.0) {
        if (ac.phases.phase == FlightPhase::takeoff && ac.leg.extrapolating)
            s.speedKt = std::min(s.speedKt * 1.015, 210.0);
        const double ft = s.speedKt * 3.0 * kFeetPerNm / kSecondsPerHour;
        const LatLon to = gf_destinationPoint({s.lat, s.lon}, {ac.motion.heading, ft});
        s.lat = to.latitude;
        s.lon = to.longitude;
        s.stationary = 0;
        // A roll carried on without reports stays on its runway: along the
        // heading of its last short leg it would drift off the centre line.
        gf_keepOnTakeOffCentreLine(ac, s);
    } else {
        s.stationary = 1;
    }
    s.playTime += parked ? 60480000 : 300;
    ac.leg.extrapolating = 1;
    ac.stream.samples.push_back(s);
}
