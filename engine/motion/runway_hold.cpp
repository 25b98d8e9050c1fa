#include "engine/motion/runway_hold.h"

#include <cmath>
#include <mutex>
#include <numbers>
#include <optional>
#include <shared_mutex>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "core/clock.h"
#include "core/geodesy.h"
#include "core/units.h"
#include "engine/engine_reports.h"
#include "engine/geometry.h"
#include "engine/report_noise.h"
#include "engine/motion/motion_step.h"
#include "engine/motion/takeoff.h"

namespace {

constexpr double kMargin = 75.0;
constexpr double kLinedUpCrossM = 7.5;
constexpr double kBehindStartM = -700.0;
constexpr int32_t kHeldTicks = 300;

// Degrees (-180, 180] from b to a.
double lf_diffDeg(double a, double b)
{
    return gf_wrapAngle(a - b) * kRadToDeg;
}

std::string lf_key(const RunwayMatch& m)
{
    return fmt::format("{}:{}", m.runwayText, m.endText);
}

// A match that a parallel runway nearly ties with says too little.
bool lf_isShort(const RunwayMatch& m)
{
    return !m.runnerUpText.empty() && m.runnerUpScore - m.score <= 20.0;
}

// On the centre line, between 700 m before the beginning and the far end.
bool lf_onCentreLine(const RunwayMatch& m)
{
    return m.valid && std::fabs(m.crossTrack) <= kLinedUpCrossM && m.distanceFromStart >= kBehindStartM &&
           m.distanceFromStart <= m.length;
}

double lf_runwayHeadingRad(const RunwayMatch& m)
{
    return m.endHeading * kDegToRad;
}

RunwayMatch lf_match(const LatLon& position, double heading)
{
    return lf_matchRunway(position, heading, false, kMargin);
}

// The aircraft is at the airport the user is at.
bool lf_atCurrentAirport(const LiveAircraft& ac)
{
    uint32_t code = 0;
    {
        std::shared_lock lock(engineLock);
        code = CurrentAirport.code;
    }
    return code != 0 && lf_airportNear(gf_aircraftPosition(ac), 0) == code;
}

bool lf_taxiNotAfterLanding(const LiveAircraft& ac)
{
    return ac.phases.phase == FlightPhase::taxi && ac.phases.previousPhase != FlightPhase::landing_roll;
}

bool lf_holdPhase(const LiveAircraft& ac)
{
    return ac.phases.groundMode && (ac.phases.phase == FlightPhase::takeoff_roll || lf_taxiNotAfterLanding(ac));
}

void lf_clearHeldMemory(RunwayHolds& ac)
{
    ac.heldKey.clear();
    ac.heldLat = 0.0;
    ac.heldLon = 0.0;
    ac.heldSince = 0;
}

void lf_clearRunwayFlags(LiveAircraft& ac)
{
    ac.holds.runwayHeading.reset();
    ac.holds.runwayAheadDropped = 0;
    ac.holds.lineUp = 0;
    ac.holds.turningToRunway = 0;
}

// Where the stream stops next within 50 m of the aircraft: the index of the
// stop sample, none when it moves on.
std::optional<size_t> lf_stopAhead(const LiveAircraft& ac)
{
    const SampleStream& st = ac.stream.samples;
    if (st[1].stationary)
        return 1;
    for (size_t i = 2; i < st.size(); ++i) {
        if (!st[i].stationary)
            continue;
        if (gf_distanceM(gf_aircraftPosition(ac), gf_samplePosition(st[i])) <= 50.0)
            return i;
        return std::nullopt;
    }
    return std::nullopt;
}

// The way the aircraft faces when it reaches the stop at `stop`: the way its
// samples go into the stop (from the last one, or else the aircraft itself,
// more than 1 m before it). The shown heading may still lie along the chord
// of a turn whose end came in late (a sample played right after the one
// before it), and a runway end chosen from it would face the wrong way.
double lf_facingAtStop(const LiveAircraft& ac, size_t stop)
{
    const SampleStream& st = ac.stream.samples;
    const LatLon stopPos = gf_samplePosition(st[stop]);
    for (size_t i = stop; i-- > 0;) {
        const LatLon from = gf_samplePosition(st[i]);
        if (gf_distanceM(from, stopPos) > 1.0)
            return gf_initialBearing(from, stopPos);
    }
    if (gf_distanceM(gf_aircraftPosition(ac), stopPos) > 1.0)
        return gf_initialBearing(gf_aircraftPosition(ac), stopPos);
    return ac.motion.heading;
}

void lf_describeStop(LiveAircraft& ac)
{
    const RunwayMatch m = lf_match(gf_aircraftPosition(ac), ac.motion.heading);
    if (!lf_onCentreLine(m) || m.headingDifference < 3.0) {
        ac.holds.runwayDescription.clear();
        return;
    }
    const SampleStream& st = ac.stream.samples;
    for (size_t i = 1; i < st.size(); ++i) {
        if (st[i].stationary) {
            ac.holds.runwayDescription = fmt::format("{}:{} {} {:.1f}", m.runwayText, m.endText, i,
                                               gf_distanceM(gf_aircraftPosition(ac), gf_samplePosition(st[i])));
            return;
        }
    }
    ac.holds.runwayDescription = fmt::format("{}:{} none", m.runwayText, m.endText);
}

void lf_measureSpeed(LiveAircraft& ac)
{
    const int32_t now = engineClock.load();
    if (!ac.phases.groundMode) {
        ac.holds.lastWindowM = std::nan("");
        ac.holds.lastWindowS = std::nan("");
        ac.holds.speedWindowStart = now;
        ac.holds.speedWindowSumM = 0.0;
        ac.holds.speedWindowLat = ac.motion.lat;
        ac.holds.speedWindowLon = ac.motion.lon;
        return;
    }
    if (std::isfinite(ac.holds.speedWindowLat) && std::isfinite(ac.holds.speedWindowLon)) {
        const LatitudeTrig atFrom = ac.ground.stepTrig.of(ac.holds.speedWindowLat);
        const LatitudeTrig atTo = ac.ground.stepTrig.of(ac.motion.lat);
        ac.holds.speedWindowSumM +=
            gf_distanceNm({ac.holds.speedWindowLat, ac.holds.speedWindowLon}, gf_aircraftPosition(ac), atFrom, atTo) *
            kMetresPerNm;
    }
    ac.holds.speedWindowLat = ac.motion.lat;
    ac.holds.speedWindowLon = ac.motion.lon;
    if (now - ac.holds.speedWindowStart >= 200) {
        ac.holds.lastWindowM = ac.holds.speedWindowSumM;
        ac.holds.lastWindowS = (now - ac.holds.speedWindowStart) / 100.0;
        ac.holds.speedWindowStart = now;
        ac.holds.speedWindowSumM = 0.0;
    }
}

} // namespace

double lf_measuredSpeedKt(const LiveAircraft& ac)
{
    return ac.holds.lastWindowM / ac.holds.lastWindowS / kKnotsToMetresPerSecond;
}

bool lf_heldOnSameRunway(RunwayHolds& ac, const std::string& key, const LatLon& position)
{
    const int32_t now = engineClock.load();
    if (!ac.heldKey.empty() && ac.heldKey == key && gf_distanceM({ac.heldLat, ac.heldLon}, position) <= 2.0)
        return now - ac.heldSince >= kHeldTicks;
    // A new place: the watch starts here. Standing on at the same place keeps
    // its start, or the hold could never last 300 ticks.
    ac.heldKey = key;
    ac.heldLat = position.latitude;
    ac.heldLon = position.longitude;
    ac.heldSince = now;
    return false;
}

bool lf_checkRunwayHeadingAhead(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (!ac.holds.runwayHeading || !ac.phases.groundMode || st.size() < 2 || st[1].stationary)
        return false;
    const LatLon s1 = gf_samplePosition(st[1]);
    const double d = gf_distanceM(gf_aircraftPosition(ac), s1);
    const double b = std::fabs(lf_diffDeg(gf_initialBearing(gf_aircraftPosition(ac), s1), *ac.holds.runwayHeading));
    if (!ac.holds.runwayAheadDropped && d <= 150.0 && b > 90.0) {
        st.erase(st.begin() + 1);
        ac.holds.runwayAheadDropped = 1;
        return true;
    }
    const bool fromPushBack =
        ac.phases.previousPhase == FlightPhase::pushed_back || ac.phases.phaseBeforePrevious == FlightPhase::parked;
    // The ground roll enters taxi after a landing roll or an abandoned take-off roll.
    const bool taxiFromRoll =
        ac.phases.previousPhase == FlightPhase::landing_roll || ac.phases.previousPhase == FlightPhase::takeoff_roll;
    if ((fromPushBack || lf_atCurrentAirport(ac)) && (!taxiFromRoll || fromPushBack) && !ac.holds.runwayKey.empty() &&
        ac.phases.phase == FlightPhase::taxi && d >= 5.0 && b <= 30.0) {
        enterTowedTakeoffRoll(ac);
        ac.flight.takeoffRunway = lf_match(gf_aircraftPosition(ac), *ac.holds.runwayHeading);
        gf_keepStreamOnTakeOffCentreLine(ac);
        ac.holds.runwayKey.clear();
        ac.holds.runwayHeading.reset();
        ac.holds.runwayAheadDropped = 0;
    }
    return false;
}

void lf_alignToRunwayOnEntry(LiveAircraft& ac)
{
    if (!ac.leg.headingCorrectionPending || !ac.phases.groundMode || !lf_taxiNotAfterLanding(ac) || !lf_atCurrentAirport(ac))
        return;
    const RunwayMatch m = lf_match(gf_aircraftPosition(ac), ac.motion.heading);
    if (!lf_onCentreLine(m) || lf_isShort(m))
        return;
    const double runway = lf_runwayHeadingRad(m);
    const double a = lf_diffDeg(ac.leg.targetTrack, ac.motion.heading);
    const double b = lf_diffDeg(runway, ac.motion.heading);
    const double c = lf_diffDeg(ac.leg.targetTrack, runway);
    const bool large = std::fabs(a) >= 3.0 && std::fabs(b) >= 3.0 && std::fabs(c) >= 3.0;
    const bool sameSign = (a > 0.0) == (b > 0.0) && (b > 0.0) == (c > 0.0);
    if (!large || !sameSign || std::fabs(a) + 0.5 < std::fabs(b) + std::fabs(c))
        return;
    ac.holds.runwayKey = lf_key(m);
    ac.holds.runwayHeading = runway;
    ac.leg.headingCorrectionDeg = m.headingDifference;
    ac.leg.headingCorrectionPending = m.headingDifference > 3.0 ? 1 : 0;
}

bool lf_rememberRunwayHold(LiveAircraft& ac, const TrafficSample& sample)
{
    SampleStream& st = ac.stream.samples;
    if (ac.holds.heldSample) {
        if (sample.stationary && gf_distanceM(gf_samplePosition(*ac.holds.heldSample), gf_samplePosition(sample)) <= 1.0) {
            TrafficSample again = *ac.holds.heldSample;
            if (!st.empty())
                again.playTime = std::max(again.playTime, st.back().playTime + 1);
            st.push_back(again);
        }
        ac.holds.heldSample.reset();
    }
    if (!sample.stationary || st.empty() || st.back().stationary || !ac.phases.groundMode ||
        ac.sim.simState != SimState::active || !lf_taxiNotAfterLanding(ac))
        return false;
    const RunwayMatch m = lf_match(gf_samplePosition(sample), ac.motion.heading);
    if (!lf_onCentreLine(m) || lf_isShort(m) || !lf_atCurrentAirport(ac))
        return false;
    const TrafficSample& last = st.back();
    if (!(last.speedKt >= 2.0 && last.speedKt <= 35.0))
        return false;
    double track = ac.motion.heading;
    if (st.size() >= 2 && !gf_samePosition(st[st.size() - 2], last))
        track = gf_initialBearing(gf_samplePosition(st[st.size() - 2]), gf_samplePosition(last));
    const double runway = lf_runwayHeadingRad(m);
    if (std::fabs(lf_diffDeg(runway, track)) > 15.0 || m.headingDifference > 15.0)
        return false;
    ac.holds.heldSample = sample;
    return true;
}

void lf_scanRunwayHold(LiveAircraft& ac)
{
    if (!lf_holdPhase(ac)) {
        ac.holds.runwayKey.clear();
        ac.holds.lastRunwaySeen.clear();
        lf_clearRunwayFlags(ac);
        lf_clearHeldMemory(ac.holds);
        return;
    }
    const SampleStream& st = ac.stream.samples;
    if (st.size() < 2)
        return;
    const std::optional<size_t> stop = lf_stopAhead(ac);
    if (!stop)
        return;
    const LatLon stopPos = gf_samplePosition(st[*stop]);
    const RunwayMatch m = lf_match(stopPos, lf_facingAtStop(ac, *stop));
    if (!m.valid) {
        ac.holds.runwayKey.clear();
        lf_clearRunwayFlags(ac);
        ac.holds.runwayDescription.clear();
        lf_clearHeldMemory(ac.holds);
        return;
    }
    const std::string key = lf_key(m);
    const double runway = lf_runwayHeadingRad(m);
    // An aircraft that taxied straight along the centre line onto the runway
    // is lined up as well as one that still has to turn onto it: both hold
    // for the take-off, and the roll starts when the samples move on.
    const bool linedUp = !lf_isShort(m) && lf_onCentreLine(m) && m.headingDifference <= 90.0;
    bool accepted = linedUp;
    if (*stop == 1) {
        // The way the samples go on from the stop tells a line-up from a
        // runway crossing; without them the aircraft must have held there.
        std::optional<double> departure;
        for (size_t i = 2; i < st.size() && !departure; ++i)
            if (gf_distanceM(stopPos, gf_samplePosition(st[i])) > 1.0)
                departure = gf_initialBearing(stopPos, gf_samplePosition(st[i]));
        if (departure) {
            const double off = std::fabs(lf_diffDeg(*departure, runway));
            accepted = off <= 30.0 || off >= 135.0;
        } else {
            accepted = lf_heldOnSameRunway(ac.holds, key, stopPos);
        }
    }
    if (linedUp && accepted) {
        ac.holds.runwayKey = key;
        ac.holds.runwayHeading = runway;
        ac.holds.runwayAheadDropped = 0;
        ac.holds.lineUp = 1;
        lf_clearHeldMemory(ac.holds);
    } else if (!ac.holds.runwayKey.empty() && ac.holds.runwayKey != key) {
        ac.holds.runwayKey.clear();
        lf_clearRunwayFlags(ac);
    }
    ac.holds.lastRunwaySeen = key;
}

void lf_trackRunwayHold(LiveAircraft& ac)
{
    lf_measureSpeed(ac);
    if (!lf_holdPhase(ac))
        return;
    const double measured = lf_measuredSpeedKt(ac);
    const SampleStream& st = ac.stream.samples;
    if (st.size() >= 2 && !st[1].stationary) {
        if (st[0].speedKt > 1.0 && measured > 0.5 && !ac.leg.legOverride) {
            lf_scanRunwayHold(ac);
            return; // moving: no stop on a runway to turn at
        }
        if (measured > 0.5 && measured <= 1.0)
            return;
    } else {
        lf_describeStop(ac);
    }
    if (!(measured <= 0.5))
        return;
    const RunwayMatch m = lf_match(gf_aircraftPosition(ac), ac.motion.heading);
    if (!lf_onCentreLine(m) || lf_isShort(m) || m.headingDifference > 90.0)
        return;
    const std::string key = lf_key(m);
    if (key != ac.holds.runwayKey && !lf_heldOnSameRunway(ac.holds, key, gf_aircraftPosition(ac)))
        return;
    const double runway = lf_runwayHeadingRad(m);
    if (m.headingDifference >= 3.0) {
        ac.holds.runwayKey = key;
        ac.holds.runwayHeading = runway;
        ac.holds.turningToRunway = 1;
        lf_clearHeldMemory(ac.holds);
        ac.identity.turnRate = ac.identity.baseTurnRate;
        stepHeading(ac, runway, false);
        ac.holds.runwayDescription = fmt::format("NO_FUTURE:{}:{}", m.runwayText, m.endText);
    } else if (ac.holds.turningToRunway) {
        stepHeading(ac, runway, false);
    }
}
