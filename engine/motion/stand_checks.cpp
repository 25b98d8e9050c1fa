#include "engine/motion/stand_checks.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "engine/aircraft.h"
#include "engine/aircraft_commands.h"
#include "engine/geometry.h"
#include "engine/sample_stream.h"
#include "engine/stand_questions.h"
#include "engine/traffic_log.h"
#include "engine/traffic_state.h"

namespace {

// ---- Stand ----

double lf_pullOutDistanceM(const LiveAircraft& ac)
{
    double d = 180.0;
    switch (ac.identity.category) {
    case Category::Light: d = 120.0; break;
    case Category::TwoProps:
    case Category::Bizjet: d = 140.0; break;
    case Category::Heavy: d = 220.0; break;
    default: break;
    }
    return ac.stand.gateStand ? d + 30.0 : d;
}

// A turn-around shorter than the category's usual one, timed from when the
// aircraft parked.
void lf_quickTurnAroundTest(LiveAircraft& ac)
{
    double limitMinutes = 0.0;
    switch (ac.identity.category) {
    case Category::Heavy: limitMinutes = 60.0; break;
    case Category::Large: limitMinutes = 25.0; break;
    case Category::TwoProps:
    case Category::Bizjet: limitMinutes = 15.0; break;
    default: return;
    }
    const double parkedMinutes =
        static_cast<double>(engineClock.load() - static_cast<int32_t>(ac.phases.phaseSince)) / kTicksPerMinute;
    ac.push.quickTurnAround = parkedMinutes >= 0.0 && parkedMinutes < limitMinutes ? 1 : 0;
}

void lf_leaveStand(LiveAircraft& ac, TrafficSample& sample, bool pulledOut)
{
    sample.stationary = 0;
    ac.push.leftStand = 1;
    if (ac.phases.previousPhase == FlightPhase::parked)
        return;
    ac.push.pulledOut = pulledOut ? 1 : 0;
    ac.push.standLeaveRequest = 1;
    if (ac.stream.projection > 0) {
        if (ac.phases.phase == FlightPhase::parked) {
            if (ac.phases.phaseBeforePrevious == FlightPhase::landing_roll) {
                lf_quickTurnAroundTest(ac);
                ac.phases.phaseBeforePrevious = FlightPhase::birth;
            }
            lf_frontDueNow(ac.stream);
        }
        lf_restartNormalFlight(ac);
    }
    gf_recordRealStandUse(ac.stand.standId, ac, 2);
    ac.push.inboundToAirport = 0;
    if (ac.phases.phase != FlightPhase::parked)
        ac.setPhase(FlightPhase::parked);
}

void lf_startTracker(LiveAircraft& ac, const TrafficSample& sample, double d)
{
    ac.phases.leavingStand = 1;
    ac.push.trackerStartM = d;
    ac.push.trackerLastM = d;
    ac.push.trackerLat = sample.lat;
    ac.push.trackerLon = sample.lon;
    ac.push.trackerTime = sample.playTime;
    ac.push.trackerCount = 0;
}

// The tracker's verdict on the sample: 1 leaves, 0 tracking on, -1 ended.
int lf_trackLeaving(LiveAircraft& ac, TrafficSample& sample, double d, bool known, bool ahead)
{
    const double fromTracker = gf_distanceM({ac.push.trackerLat, ac.push.trackerLon}, gf_samplePosition(sample));
    const double dt = (sample.playTime - ac.push.trackerTime) / 100.0;
    constexpr double kTrackerSpeedMs = 25.0 * kMetresPerNm / kSecondsPerHour; // 25 kt, a fast taxi
    const bool plausible = std::isfinite(d) && std::isfinite(fromTracker) && dt > 0.0 && dt <= 120.0 &&
                           fromTracker <= std::max(12.0, kTrackerSpeedMs * dt) && d <= 262.0 &&
                           d >= ac.push.trackerStartM - 5.0 && d >= ac.push.trackerLastM - 5.0;
    if (plausible) {
        const double gain = d - ac.push.trackerStartM;
        if (gain >= 3.0 && ((known && !ahead) || (ac.push.trackerStartM >= 30.0 && gain >= 10.0))) {
            lf_leaveStand(ac, sample, false);
            return 1;
        }
        if (ac.push.trackerCount < 1) {
            ac.push.trackerLastM = d;
            ac.push.trackerLat = sample.lat;
            ac.push.trackerLon = sample.lon;
            ac.push.trackerTime = sample.playTime;
            ac.push.trackerCount = 1;
            return 0;
        }
    }
    ac.phases.leavingStand = 0;
    return -1;
}

// ---- Push-back ----

void lf_clearPushState(PushBackAndDeparture& ac)
{
    ac.pushFirst.reset();
    ac.pushSecond.reset();
    ac.pushSecondCount = 0;
}

} // namespace

bool checkAtStandSituations(LiveAircraft& ac, TrafficSample& sample)
{
    const double d = gf_distanceM(lf_stand(ac), gf_samplePosition(sample));
    bool known = false;
    bool ahead = false;
    if (d >= 15.0) {
        const double off = std::fabs(gf_wrapAngle(gf_initialBearing(lf_stand(ac), gf_samplePosition(sample)) - ac.stand.standHeading));
        ahead = off * 180.0 / kPi <= (ac.stand.gateStand ? 30.0 : 60.0);
        known = true;
    }
    if (ac.phases.leavingStand) {
        const int verdict = lf_trackLeaving(ac, sample, d, known, ahead);
        if (verdict >= 0)
            return verdict == 1;
    }
    const double limit = ac.phases.previousPhase == FlightPhase::parking ? 200.0 : 100.0;
    if (d < limit) {
        ac.stream.lastNearStandTicks = engineClock.load();
        const double dNm = d / kMetresPerNm;
        if (ac.push.standGrowthCount == 0 && ac.push.maxStandDistanceNm == 0.0)
            ac.push.minStandDistanceNm = dNm;
        ac.push.minStandDistanceNm = std::min(ac.push.minStandDistanceNm, dNm);
        if (d >= ac.push.maxStandDistanceNm * kMetresPerNm + 3.0) {
            ac.push.maxStandDistanceNm = dNm;
            ++ac.push.standGrowthCount;
            if (ac.push.standGrowthCount >= 2 && d - ac.push.minStandDistanceNm * kMetresPerNm >= ac.identity.radius * kMetresPerNm / 2.0 && known &&
                !ahead)
                lf_startTracker(ac, sample, d);
        } else if (d <= ac.push.maxStandDistanceNm * kMetresPerNm - 3.0) {
            ac.push.minStandDistanceNm = dNm;
            ac.push.maxStandDistanceNm = dNm;
            ac.push.standGrowthCount = 0;
        }
        return false;
    }
    if (known && ahead) {
        const double pull = lf_pullOutDistanceM(ac);
        if (d >= pull && d <= 300.0) {
            lf_leaveStand(ac, sample, true);
            return true;
        }
        if (d < pull)
            return false;
    } else if (d <= 262.0) {
        lf_leaveStand(ac, sample, false);
        return true;
    }
    // Far away: the aircraft used the stand and left unseen.
    gf_recordRealStandUse(ac.stand.standId, ac, 3);
    try {
        removeAircraftFromSim(ac);
    } catch (...) {
        gf_reportTrafficException("checkAtStandSituations");
    }
    return false;
}

bool lf_pushedBackCheck(LiveAircraft& ac, TrafficSample& sample)
{
    if (!ac.push.pushFirst) {
        ac.push.pushFirst = gf_samplePosition(sample);
        return false;
    }
    if (gf_distanceM(*ac.push.pushFirst, gf_samplePosition(sample)) >= 4.0) {
        ac.push.pushFirst = gf_samplePosition(sample);
        if (gf_distanceM(lf_stand(ac), gf_samplePosition(sample)) <= std::max(2.0 * ac.identity.radius * kMetresPerNm, 25.0)) {
            ac.push.pushSecond.reset();
        } else if (!ac.push.pushSecond) {
            ac.push.pushSecond = gf_samplePosition(sample);
        } else if (ac.push.pushSecondCount = std::min(ac.push.pushSecondCount + 1, 2u);
                   ac.push.pushSecondCount == 2 &&
                   gf_distanceM(*ac.push.pushSecond, gf_samplePosition(sample)) >= 15.0) {
            // Moving off the push-back position: the taxi starts. Samples
            // closer together than 7.5 m reach the 15 m only after further
            // counts, so every count from the second on may start it.
            sample.stationary = 0;
            if (ac.push.holding) {
                lf_frontDueNow(ac.stream);
                lf_restartNormalFlight(ac);
            }
            lf_clearPushState(ac.push);
            ac.setPhase(FlightPhase::taxi);
            ac.stand.standLat = 0.0;
            ac.stand.standLon = 0.0;
            gf_trafficState().aircraft.setStandId(ac, 0);
            ac.stand.atStand = 0;
            ac.stand.gateStand = 0;
            return true;
        }
    }
    if (ac.push.holding)
        lf_restartNormalFlight(ac);
    return false;
}
