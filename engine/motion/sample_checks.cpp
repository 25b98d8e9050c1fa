#include "engine/motion/sample_checks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <shared_mutex>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "core/clock.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/units.h"
#include "engine/motion/air_speed_limits.h"
#include "engine/aircraft_commands.h"
#include "engine/geometry.h"
#include "engine/motion/runway_exits.h"
#include "engine/motion/stand_checks.h"
#include "engine/report_noise.h"
#include "engine/motion/runway_hold.h"
#include "engine/sample_stream.h"
#include "engine/motion/takeoff.h"
#include "engine/traffic_log.h"
#include "feed/traffic_records.h"
#include "liveries/livery_memory.h"
#include "liveries/regcode_lists.h"
#include "runways/runway_matching.h"

namespace {

constexpr double kStandingDeg = 0.00015;
constexpr double kStandingKt = 2.0;
// The samples of a ground aircraft held to its most ground speed wait; past
// this (ticks) it cannot catch up with its reports and is shown again where
// they go on.
constexpr double kMostSpeedCapLagTicks = 3000.0;

// Metres that `p` lies ahead of `from` along the aircraft's heading.
double lf_aheadOffset(const LiveAircraft& ac, const LatLon& from, const TrafficSample& p)
{
    return gf_relativePosition(from, ac.motion.heading, gf_samplePosition(p)).alongM;
}

bool lf_activeOrLater(const LiveAircraft& ac)
{
    return ac.sim.simState == SimState::active || ac.sim.simState == SimState::liveryrespawn ||
           ac.sim.simState == SimState::removingfromsim;
}

// ---- Sample filters ----

void lf_takeoffFromSamples(LiveAircraft& ac, const TrafficSample& sample);

// Small moves of a standing aircraft become a stop at the previous position;
// false rejects the sample.
bool lf_standingFilter(LiveAircraft& ac, TrafficSample& sample)
{
    if (ac.stream.samples.empty())
        return true;
    const TrafficSample& back = ac.stream.samples.back();
    const bool stationary = gf_samePosition(sample, back);
    if (ac.identity.category == Category::Rotorcraft)
        return true;
    const bool flying = ac.sim.simState == SimState::active && !ac.phases.groundMode;
    if (!stationary) {
        // Jitter of a standing aircraft; a sample that reports a speed shows
        // slow movement (taxi, the start of a roll) and is not a stop.
        // A slow report that moved from the last one as its speed says is a
        // creeping aircraft, not jitter round the stop.
        const bool reportsStanding = !(sample.speedKt > kStandingKt) && !gf_movedAsReported(ac, sample);
        if (reportsStanding && std::fabs(sample.lat - back.lat) <= kStandingDeg &&
            std::fabs(sample.lon - back.lon) <= kStandingDeg) {
            if (sample.airborne || flying)
                return false;
            if (ac.phases.phase == FlightPhase::takeoff_roll && sample.speedKt > 0.0 && back.speedKt >= 50.0)
                return false;
            const int32_t due = sample.playTime;
            sample = back;
            sample.playTime = due;
            sample.speedKt = 0.0;
            sample.stationary = 1;
            return true;
        }
        return !(sample.speedKt == 0.0 && (ac.phases.phase == FlightPhase::takeoff_roll || sample.airborne) &&
                 back.speedKt >= 50.0);
    }
    if (sample.airborne || flying)
        return false;
    if (ac.phases.phase == FlightPhase::takeoff_roll && sample.speedKt > 0.0 && back.speedKt >= 30.0)
        return false;
    // The App repeats its last report while it has nothing new: the same
    // place at a take-off roll's speed is that repeat, not a stop. The roll
    // it reports goes on (and is taken as one when it is fast enough).
    if (ac.phases.phase == FlightPhase::taxi && ac.sim.simState == SimState::active && ac.phases.groundMode &&
        sample.speedKt >= 30.0 && back.speedKt >= 30.0) {
        lf_takeoffFromSamples(ac, sample);
        if (ac.phases.phase == FlightPhase::takeoff_roll)
            return false;
    }
    sample.speedKt = 0.0;
    sample.stationary = 1;
    return true;
}

// ---- Landing and take-off ----

// Drops the back sample (and the one before when more than two remain) when
// the new sample lies behind it.
void lf_dropSamplesAhead(LiveAircraft& ac, const TrafficSample& sample, double limit)
{
    SampleStream& st = ac.stream.samples;
    if (lf_aheadOffset(ac, gf_samplePosition(st.back()), sample) >= limit)
        return;
    st.pop_back();
    if (st.size() > 2 && lf_aheadOffset(ac, gf_samplePosition(st.back()), sample) < limit)
        st.pop_back();
}

// A report in the air that the aircraft, flying on its predictions, has
// already passed: a late one (delivered after a gap in reception) or a stale
// repeat of the last one. Flying back to it would turn the aircraft round on
// the spot; it flies on and meets the next report. A report whose track
// turned away from the heading shows a turn made out of sight: it is flown to.
bool lf_passedOnPrediction(const LiveAircraft& ac, const TrafficSample& sample)
{
    if (ac.phases.groundMode || ac.identity.category == Category::Rotorcraft || !sample.airborne)
        return false;
    if (std::isfinite(sample.trackDeg) &&
        std::fabs(std::remainder(sample.trackDeg - ac.motion.heading * 180.0 / kPi, 360.0)) > 90.0)
        return false;
    return lf_aheadOffset(ac, gf_aircraftPosition(ac), sample) < 0.0;
}

bool lf_acceptAfterRestart(LiveAircraft& ac, TrafficSample& sample, bool landing)
{
    const TrafficSample& back = ac.stream.samples.back();
    if (gf_samePosition(sample, back)) {
        sample.stationary = 1;
        return true;
    }
    sample.stationary = 0;
    if (landing) {
        if (ac.phases.phase == FlightPhase::landing && !sample.airborne && sample.speedKt > back.speedKt && sample.speedKt > 40.0)
            sample.speedKt = back.speedKt;
    } else if (sample.speedKt < back.speedKt && back.speedKt > 40.0) {
        sample.speedKt = back.speedKt;
    }
    return true;
}

// ---- decodeExisting steps ----

bool lf_touchAndGo(const TrafficSample& kept, const TrafficSample& sample, double vr)
{
    const std::array<SpeedPoint, 2> points{
        SpeedPoint{kept.speedKt, static_cast<uint32_t>(kept.playTime)},
        SpeedPoint{sample.speedKt, static_cast<uint32_t>(sample.playTime)}};
    return gf_findSpeedRise(points, vr).found;
}

// The ground aircraft's samples show a take-off (or a touch-and-go).
void lf_takeoffFromSamples(LiveAircraft& ac, const TrafficSample& sample)
{
    const TrafficSample& back = ac.stream.samples.back();
    const double vr = lf_takeoffVr(ac, 1);
    if (ac.phases.phase == FlightPhase::landing_roll) {
        if (back.airborne && sample.airborne) {
            enterTakeoffRoll(ac, false);
            return;
        }
        if (ac.identity.category != Category::Light)
            return;
        if (!ac.remembered.rolloutKept || sample.playTime - ac.remembered.rolloutKept->playTime > 2000 ||
            back.speedKt < ac.remembered.rolloutKept->speedKt)
            ac.remembered.rolloutKept = back;
        if (gf_runwayUnderAircraft(gf_aircraftPosition(ac), ac.motion.heading) && lf_touchAndGo(*ac.remembered.rolloutKept, sample, vr))
            enterTakeoffRoll(ac, true);
        return;
    }
    if (ac.phases.phase == FlightPhase::taxi && ac.phases.previousPhase == FlightPhase::landing_roll && ac.push.inboundToAirport) {
        if (back.airborne && gf_longEnoughRunway({back.verticalSpeedFpm, sample.verticalSpeedFpm,
                                                  sample.altitudeFt - back.altitudeFt, sample.airborne != 0})) {
            enterTakeoffRoll(ac, false);
            return;
        }
    }
    if (ac.phases.phase != FlightPhase::taxi || ac.push.inboundToAirport)
        return;
    const double slowest = std::max(vr / 2.0, 43.0);
    const bool fast = std::isfinite(back.speedKt) && std::isfinite(sample.speedKt) && std::isfinite(vr) && vr > 0.0 &&
                      back.speedKt >= slowest && sample.speedKt >= slowest &&
                      gf_runwayUnderAircraft(gf_aircraftPosition(ac), ac.motion.heading).has_value();
    if (sample.airborne || fast)
        enterTowedTakeoffRoll(ac);
}

// A held aircraft's next report that it can still reach at taxi speed by the
// report's time: a reception gap while it taxied on, not a reappearance
// elsewhere. A report on the ground at taxi speed, and the way there from
// where the aircraft holds no faster.
bool lf_reachableAtTaxiSpeed(const LiveAircraft& ac, const TrafficSample& sample)
{
    constexpr double kTaxiKt = 30.0;
    const double seconds = (sample.playTime - engineClock.load()) / 100.0;
    if (sample.airborne || !std::isfinite(sample.speedKt) || sample.speedKt > kTaxiKt || seconds <= 0.0)
        return false;
    const double metres = gf_distanceM(gf_aircraftPosition(ac), gf_samplePosition(sample));
    return std::isfinite(metres) && metres / seconds * kMetresPerSecondToKnots <= kTaxiKt;
}

void lf_decodeExisting(LiveAircraft& ac, TrafficSample sample)
{
    const TrafficSample received = sample;
    SampleStream& st = ac.stream.samples;
    if (st.size() > 200) {
        gf_logLine(fmt::format("{} has {} samples waiting, more than it can play, removed", ac.identity.callsign, st.size()));
        removeAircraftFromSim(ac);
        return;
    }
    if (ac.push.holding && ac.phases.phase == FlightPhase::taxi && !st.empty() &&
        gf_distanceM(gf_samplePosition(st.front()), gf_samplePosition(sample)) > gf_parametersSnapshot()->HOLDING_THRESHOLD_METERS &&
        !lf_reachableAtTaxiSpeed(ac, sample)) {
        gf_logLine(fmt::format("{} holds beyond a taxi's reach of its report {:.0f} m away, hidden until its next report",
                               ac.identity.callsign, gf_distanceM(gf_aircraftPosition(ac), gf_samplePosition(sample))));
        lf_restartNormalFlight(ac);
        removeAircraftFromSim(ac);
        return;
    }
    if (ac.phases.phase == FlightPhase::birth) {
        // Waiting to be created, a standing aircraft's spread is its stop too.
        if (!st.empty())
            gf_holdStopBehind(ac, sample);
        if (!st.empty() && lf_standingFilter(ac, sample) && !gf_stepsBackAgainstTrack(ac, sample) &&
            !gf_stepsAsideOfTrack(ac, sample)) {
            sample.playTime = std::max(sample.playTime, st.back().playTime + 1);
            lf_appendReport(ac.stream, sample, received);
        }
        return;
    }
    // A speed no roll reaches, on the ground or leaving it, is none of this
    // aircraft's: the way from its last report in the time between is, up
    // to the most a roll reaches.
    if (!st.empty() && !st.back().airborne && ac.identity.category != Category::Rotorcraft) {
        const double most = lf_takeoffVr(ac, 1) + 30.0;
        const double dt = (sample.playTime - st.back().playTime) / 100.0;
        if (std::isfinite(most) && sample.speedKt > most) {
            const double implied = dt > 0.0 ? gf_distanceM(gf_samplePosition(st.back()), gf_samplePosition(sample)) / dt *
                                                  kMetresPerSecondToKnots
                                            : most;
            sample.speedKt = std::min(std::isfinite(implied) ? implied : most, most);
        }
    }
    if (ac.phases.groundMode && ac.sim.simState == SimState::active && ac.ground.speedCapLagTicks > kMostSpeedCapLagTicks) {
        gf_logLine(fmt::format("{} cannot catch up with its reports on the ground, hidden until its next report",
                               ac.identity.callsign));
        ac.ground.speedCapLagTicks = 0.0;
        removeAircraftFromSim(ac);
        return;
    }
    if (!ac.phases.groundMode && ac.sim.simState == SimState::active && airLagBeyondReach(ac)) {
        gf_logLine(fmt::format("{} cannot catch up with its reports in the air, hidden until its next report",
                               ac.identity.callsign));
        ac.leg.airLagTicks = 0.0;
        removeAircraftFromSim(ac);
        return;
    }
    if (!checkExtendingSituations(ac, sample))
        return;
    if (sample.airborne && std::isfinite(sample.altitudeFt) && sample.altitudeFt > 0.0)
        ac.remembered.lastAirborneAltitudeFt = sample.altitudeFt;
    if (lf_rememberRunwayHold(ac, sample))
        return;
    if (!st.empty()) {
        if (!sample.airborne && st.back().stationary)
            lf_dropFalseStops(ac.stream, sample);
        const TrafficSample& back = st.back();
        if (!ac.phases.groundMode || sample.airborne)
            ac.stream.lagTicks = 0;
        sample.playTime = std::max(sample.playTime + ac.stream.lagTicks, back.playTime + 1);
        if (back.airborne && sample.airborne) {
            const double dt = (sample.playTime - back.playTime) / 100.0;
            const JumpPlausibility flight = gf_jumpPlausibility(gf_distanceM(gf_samplePosition(back), gf_samplePosition(sample)), dt,
                                                                back.speedKt, sample.speedKt,
                                                                ac.identity.category);
            if (flight.implausible)
                sample.playTime =
                    back.playTime + std::max(25, static_cast<int32_t>(std::lround(100.0 * flight.neededTimeS)));
        }
        if (ac.phases.phase != FlightPhase::takeoff_roll && ac.phases.groundMode && ac.sim.simState == SimState::active)
            lf_takeoffFromSamples(ac, sample);
    }
    lf_appendReport(ac.stream, sample, received);
    if (st.size() == 2 && st[0].stationary && st[1].stationary) {
        st[0].playTime = engineClock.load() + 1;
        st[0].speedKt = st[1].speedKt;
    }
}

} // namespace

bool checkExtendingSituations(LiveAircraft& ac, TrafficSample& sample)
{
    switch (ac.phases.phase) {
    case FlightPhase::parked:
        return lf_activeOrLater(ac) && checkAtStandSituations(ac, sample);
    case FlightPhase::parking:
        if (!lf_activeOrLater(ac) || gf_distanceM(lf_stand(ac), gf_samplePosition(sample)) <= 200.0)
            return false;
        // Too far from the stand: the parking is given up.
        ac.setPhase(FlightPhase::taxi);
        sample.stationary = 0;
        return true;
    case FlightPhase::pushing_back:
        ac.push.pushFirst = gf_samplePosition(sample);
        ac.push.pushSecond.reset();
        ac.push.pushSecondCount = 0;
        return false;
    case FlightPhase::pushed_back: return lf_pushedBackCheck(ac, sample);
    case FlightPhase::landing:
    case FlightPhase::landing_roll: return checkNewPosDuringLanding(ac, sample);
    case FlightPhase::takeoff_roll:
    case FlightPhase::takeoff: return checkNewPosDuringTakeoff(ac, sample);
    default: break;
    }
    gf_holdStopBehind(ac, sample);
    if (!lf_standingFilter(ac, sample) || gf_stepsBackAgainstTrack(ac, sample) || gf_stepsAsideOfTrack(ac, sample))
        return false;
    if (ac.stream.projection <= 0)
        return true;
    if (ac.stream.samples.empty()) {
        gf_logLine(fmt::format("{} empty sz?", "checkExtendingSituations"));
        return false;
    }
    if (lf_passedOnPrediction(ac, sample))
        return false;
    // Flying on predictions: the report is judged against the last report,
    // not against where the prediction took the aircraft; one that turned
    // while out of sight lies behind its prediction. A helicopter hovers and
    // flies any way: a report behind is no noise.
    if (ac.phases.groundMode || ac.identity.category == Category::Rotorcraft ||
        gf_distanceM(gf_aircraftPosition(ac), gf_samplePosition(sample)) <= 0.1 ||
        lf_aheadOffset(ac, gf_samplePosition(ac.stream.lastReport), sample) >= -50.0) {
        lf_restartNormalFlight(ac);
        ac.phases.firstProjected = 0;
        lf_frontDueNow(ac.stream);
        return true;
    }
    return false; // behind the last report
}

bool checkNewPosDuringLanding(LiveAircraft& ac, TrafficSample& sample)
{
    SampleStream& st = ac.stream.samples;
    if (st.empty()) {
        gf_logLine(fmt::format("{} empty sz?", "checkNewPosDuringLanding"));
        return false;
    }
    if (ac.remembered.goAroundWatch) {
        if (sample.airborne) {
            // Two reports in a row climbing, one of them at 400 ft/min or
            // more: a climb-out's vertical speeds wander (700, 320, 830).
            const bool climbs = sample.altitudeFt - ac.remembered.goAroundAltitudeFt >= 50.0 && sample.verticalSpeedFpm > 0.0 &&
                                ac.remembered.goAroundVsFpm > 0.0 &&
                                std::max(sample.verticalSpeedFpm, ac.remembered.goAroundVsFpm) >= 400.0;
            if (climbs) {
                ac.remembered.goAroundWatch = 0;
                // The report before, held on the ground, climbed too.
                TrafficSample& back = st.back();
                if (!back.airborne && back.altitudeFt == ac.remembered.goAroundAltitudeFt && back.verticalSpeedFpm > 0.0)
                    back.airborne = 1;
            } else {
                ac.remembered.goAroundAltitudeFt = sample.altitudeFt;
                ac.remembered.goAroundVsFpm = sample.verticalSpeedFpm;
                sample.airborne = 0;
            }
        } else {
            ac.remembered.goAroundWatch = 0;
        }
    }
    // A frozen repeat of the last report: the reports ahead may have been
    // moved onto the centre line since that one came, so it is judged as it
    // came.
    const bool repeat = gf_samePosition(sample, ac.stream.lastReport);
    gf_keepOnLandingCentreLine(ac, sample);
    // Rolled out to a stop: a slow report just behind is where it stopped,
    // not a way back.
    if (ac.phases.phase == FlightPhase::landing_roll)
        gf_holdStopBehind(ac, sample);
    if (repeat || gf_samePosition(sample, st.back()))
        return false;
    if (ac.phases.phase == FlightPhase::landing_roll && ac.phases.groundMode) {
        // A report beside the runway that no roll reaches forward in its
        // time: the aircraft left the runway unseen. It is hidden, and shown
        // again where its reports go on.
        const bool left =
            ac.stream.projection > 0
                ? gf_leftRunwayUnseen(ac, gf_aircraftPosition(ac), ac.flight.groundSpeedKt, engineClock.load(), sample)
                : gf_leftRunwayUnseen(ac, gf_samplePosition(st.back()), st.back().speedKt, st.back().playTime, sample);
        if (left) {
            gf_logLine(fmt::format("{} left its runway unseen, hidden until its next report", ac.identity.callsign));
            removeAircraftFromSim(ac);
            return false;
        }
    }
    if (st.size() == 1) {
        const double off = lf_aheadOffset(ac, gf_samplePosition(st.front()), sample);
        if (ac.phases.phase == FlightPhase::landing && off < -20.0)
            return false;
        if (ac.phases.phase == FlightPhase::landing_roll && off < -10.0) {
            if (ac.stream.projection > 0)
                return false;
            TrafficSample& front = st.front();
            front.lat = ac.motion.lat;
            front.lon = ac.motion.lon;
            front.playTime = engineClock.load() + 1;
        }
    } else if (!gf_besideLandingRunway(ac, st.back())) {
        lf_dropSamplesAhead(ac, sample, -20.0);
    }
    if (ac.stream.projection > 0)
        lf_restartNormalFlight(ac);
    return lf_acceptAfterRestart(ac, sample, true);
}

bool checkNewPosDuringTakeoff(LiveAircraft& ac, TrafficSample& sample)
{
    SampleStream& st = ac.stream.samples;
    if (st.empty()) {
        gf_logLine(fmt::format("{} empty sz?", "checkNewPosDuringTakeoff"));
        return false;
    }
    const double limit = ac.phases.phase == FlightPhase::takeoff_roll ? -10.0 : -25.0;
    // The App repeats its last report while it has nothing new; the stream's
    // back may have been moved onto the centre line, the repeat is judged
    // against the report itself.
    if (gf_samePosition(sample, st.back()) || gf_samePosition(sample, ac.stream.lastReport) ||
        gf_standingJitterInRoll(ac, sample))
        return false;
    if (st.size() == 1) {
        if (lf_aheadOffset(ac, gf_samplePosition(st.front()), sample) < limit)
            return false;
    } else {
        lf_dropSamplesAhead(ac, sample, limit);
    }
    const int32_t now = engineClock.load();
    const bool climbOut = ac.phases.phase == FlightPhase::takeoff ||
                          (ac.phases.phase == FlightPhase::flying && ac.phases.previousPhase == FlightPhase::takeoff &&
                           now - static_cast<int32_t>(ac.phases.phaseSince) <= 3000);
    if (ac.phases.firstProjected && ac.stream.projection >= 1 && !ac.phases.groundMode && climbOut) {
        // The projected aircraft is ahead of its samples: only a sample ahead
        // of it that it can reach in time is taken.
        if (sample.playTime <= now + 1)
            return false;
        const double d = gf_distanceM(gf_aircraftPosition(ac), gf_samplePosition(sample));
        if (d <= 0.1 || lf_aheadOffset(ac, gf_aircraftPosition(ac), sample) < limit)
            return false;
        const double dt = (sample.playTime - now) / 100.0;
        if (dt >= 1.0) {
            const double back = st.back().speedKt;
            const double speed = back > 1.0 ? back : sample.speedKt;
            const Category speedClass = ac.identity.category == Category::Light ? Category::Light : Category::Large;
            if (gf_jumpPlausibility(d, dt, speed, 0.0, speedClass).implausible)
                return false;
        }
    }
    lf_restartNormalFlight(ac);
    ac.phases.firstProjected = 0;
    gf_keepOnTakeOffCentreLine(ac, sample);
    return lf_acceptAfterRestart(ac, sample, false);
}

void decodeExisting(LiveAircraft& ac, const TrafficSample& sample)
{
    try {
        lf_decodeExisting(ac, sample);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("{} exception {}", "decodeExisting", e.what()));
    } catch (...) {
        gf_reportTrafficException("decodeExisting");
    }
}
