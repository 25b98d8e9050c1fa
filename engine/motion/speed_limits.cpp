#include "engine/motion/speed_limits.h"

#include <algorithm>
#include <cmath>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/units.h"
#include "engine/geometry.h"
#include "engine/motion/flight_motion.h"
#include "engine/motion/ground_braking.h"
#include "engine/motion/ground_tuning.h"
#include "engine/motion/takeoff.h"
#include "engine/sample_stream.h"
#include "liveries/category.h"
#include "runways/runway_table.h"

double lf_crawlShare(const LiveAircraft& ac, double speedKt, double off, bool catchingUp)
{
    if (ac.phases.phase == FlightPhase::taxi && speedKt > kCreepKt && speedKt <= kFastestTaxiKt && off > kCreepOffDeg &&
        catchingUp)
        return kCreepKt / speedKt;
    return 1.0;
}

double lf_withMargin(double speedKt)
{
    return speedKt * 1.4 + 2.0;
}

double lf_pathShare(double speedKt, double turnedRad)
{
    double k = 1.0;
    const double side = speedKt * kKnotsToMetresPerSecond * turnedRad * kTicksPerSecond;
    if (side > kSideAccel)
        k = std::sqrt(kSideAccel / side);
    if (turnedRad > kFastestGroundTurnRad)
        k = std::min(k, kFastestGroundTurnRad / turnedRad);
    return k;
}

double lf_groundTurnLimit(double speedKt)
{
    const double metresPerSecond = speedKt * kKnotsToMetresPerSecond;
    if (!(metresPerSecond > 0.0))
        return kFastestGroundTurnRad;
    return std::min(kFastestGroundTurnRad, kSideAccel / metresPerSecond / kTicksPerSecond);
}

void lf_samplesWait(LiveAircraft& ac, double lostTicks)
{
    ac.ground.creepLagTicks += lostTicks;
    if (ac.ground.creepLagTicks >= 1.0) {
        const auto delay = static_cast<int32_t>(ac.ground.creepLagTicks);
        ac.ground.creepLagTicks -= delay;
        for (TrafficSample& s : ac.stream.samples)
            s.playTime += delay;
    }
}

void lf_climbOutToReportsAloft(LiveAircraft& ac, const LatLon& here, double kt)
{
    SampleStream& st = ac.stream.samples;
    while (!st.empty() && !st.front().airborne)
        st.pop_front();
    if (st.empty() || !(kt > 0.0))
        return;
    TrafficSample& aloft = st.front();
    const int32_t now = engineClock.load();
    const double metres = gf_distanceM(here, gf_samplePosition(aloft));
    const double reportedKt = std::isfinite(aloft.speedKt) ? aloft.speedKt : kt;
    const double mostKt = std::max(kt, std::min(reportedKt, kClimbOutMostKt));
    // The share of the way each tick covers, the speed rising to the most.
    FlightState& f = ac.flight;
    f.profile.clear();
    f.profileIndex = 0;
    double covered = 0.0;
    double v = kt;
    for (int32_t tick = 0; metres > 0.0 && covered < metres; ++tick) {
        const double step = std::min(v * kKnotsToMetresPerSecond / kTicksPerSecond, metres - covered);
        f.profile.push_back(step / metres);
        covered += step;
        if (tick >= kClimbOutHoldTicks)
            v = std::min(v + kClimbOutSpeedUpKtPerTick, mostKt);
    }
    if (f.profile.size() < 25)
        f.profile.clear(); // that close it is flown at an even pace
    const int32_t ticks = std::max(static_cast<int32_t>(f.profile.size()), 25);
    const int32_t shift = now + ticks - aloft.playTime;
    for (TrafficSample& s : st)
        s.playTime += shift;
    f.legOffsetLat = aloft.lat - here.latitude;
    f.legOffsetLon = gf_longitudeDelta(aloft.lon, here.longitude);
    ac.leg.stepLat = f.legOffsetLat / ticks;
    ac.leg.stepLon = f.legOffsetLon / ticks;
    ac.ground.legFraction = 1.0 / ticks;
    ac.leg.targetTrack = gf_initialBearing(here, gf_samplePosition(aloft));
}

double lf_mostGroundKt(const LiveAircraft& ac, const LatLon& from, const LatLon& to)
{
    // A helicopter takes off from where it stands, never rolls for it.
    if (ac.identity.category == Category::Rotorcraft)
        return kMostTaxiKt;
    const double roll = lf_takeoffVr(ac, 1) + kRollMarginKt;
    if (!std::isfinite(roll))
        return kMostTaxiKt;
    // Rolling for a take-off or after a touch-down, on or beside the runway;
    // otherwise only along a runway (a roll not yet known as one), never
    // across it.
    const FlightPhase phase = ac.phases.phase;
    const bool rolling = phase == FlightPhase::takeoff_roll || phase == FlightPhase::landing_roll || phase == FlightPhase::takeoff;
    const std::optional<double> along = rolling ? std::nullopt : std::optional<double>(ac.motion.heading);
    if (gf_isBesideAnyRunway(from, kBesideRunwayM, along) || gf_isBesideAnyRunway(to, kBesideRunwayM, along))
        return roll;
    // Away from the airport whose runways it knows, a roll cannot be told
    // from a taxi: only a roll's limit holds there.
    if (!gf_isNearAnyRunway(from))
        return roll;
    // Leaving the runway faster than a taxi it brakes to a taxi's speed;
    // just down, from the speed it touched down at.
    const double before = ac.ground.groundStepKt >= 0.0 ? ac.ground.groundStepKt
                          : phase == FlightPhase::landing_roll ? ac.motion.tasKt : -1.0;
    if (before >= 0.0)
        return std::max(kMostTaxiKt, std::min(before - gf_brakeKtPerTick(ac), roll));
    return kMostTaxiKt;
}

double lf_rollTowardReportAloft(const LiveAircraft& ac, const LatLon& from, double speedKt, bool onPath)
{
    const SampleStream& st = ac.stream.samples;
    if (ac.phases.phase != FlightPhase::takeoff_roll || onPath || st.empty() || !st.front().airborne ||
        !(ac.ground.groundStepKt >= 0.0) || !(speedKt > 0.0))
        return 0.0;
    const double vr = lf_takeoffVr(ac, 1);
    const double v = ac.ground.groundStepKt;
    if (!(vr > 0.0) || !(v < vr))
        return 0.0;
    const auto metresToGather = [&](double gainKtPerTick) {
        const double a = gainKtPerTick * kTicksPerSecond * kKnotsToMetresPerSecond;
        const double vrMs = vr * kKnotsToMetresPerSecond;
        const double vMs = v * kKnotsToMetresPerSecond;
        return (vrMs * vrMs - vMs * vMs) / (2.0 * a);
    };
    double gain = kSpeedUpKtPerTick;
    const RunwayMatch& runway = ac.flight.takeoffRunway;
    if (runway.valid) {
        const RelativePosition end =
            gf_relativePosition(from, runway.endHeading * kDegToRad, {runway.endLatitude, runway.endLongitude});
        const double left = end.alongM - kLiftOffBeforeEndM;
        if (left > 0.0 && metresToGather(gain) > left)
            gain = std::min(kRollSpeedUpKtPerTick, gain * metresToGather(gain) / left);
    }
    if (metresToGather(gain) > gf_distanceM(from, gf_samplePosition(st.front())))
        return 0.0;
    return std::min(v + gain, vr);
}

double lf_holdStepTo(LiveAircraft& ac, const LatLon& from, double mostKt)
{
    const double movedKt = gf_distanceNm(from, {ac.motion.lat, ac.motion.lon}) * kTicksPerHour;
    if (!std::isfinite(mostKt) || !(movedKt > mostKt))
        return 0.0;
    const double k = mostKt / movedKt;
    ac.motion.lat = from.latitude + (ac.motion.lat - from.latitude) * k;
    ac.motion.lon = from.longitude + gf_longitudeDelta(ac.motion.lon, from.longitude) * k;
    return 1.0 - k;
}

void lf_riseBeforeSpeedingUp(LiveAircraft& ac, const LatLon& from)
{
    if (ac.identity.category != Category::Rotorcraft || ac.phases.phase != FlightPhase::takeoff ||
        !(lf_heightAboveGround(ac) < ac.identity.cgFt + 2.0 * kHoverFt))
        return;
    lf_samplesWait(ac, lf_holdStepTo(ac, from, kHoverTaxiKt));
}

void lf_liftOffAtRollSpeed(LiveAircraft& ac, const LatLon& from)
{
    double& lastKt = ac.flight.liftOffStepKt;
    if (ac.phases.phase != FlightPhase::takeoff || ac.identity.category == Category::Rotorcraft) {
        // The speed it rolls at: lifting off, it gathers on from there.
        lastKt = ac.phases.groundMode ? ac.ground.groundStepKt : -1.0;
        return;
    }
    const double gear = std::max(lf_gearHeightFt(ac), 0.0);
    const double height = std::isfinite(ac.reports.lastSimGroundFt) ? ac.motion.altitudeFt - ac.reports.lastSimGroundFt
                                                                     : lf_heightAboveGround(ac);
    if (!(height < gear + kLiftOffHeightFt)) {
        lastKt = -1.0;
        return;
    }
    // No faster than a roll, and gathering from the speed it rolled at as a
    // roll does: a roll that lifts off short of its rotation speed does not
    // leap to it in a tick.
    double most = lf_takeoffVr(ac, 1) + kRollMarginKt;
    if (lastKt >= 0.0)
        most = std::min(most, std::max(lastKt, kCreepKt) + kRollSpeedUpKtPerTick);
    const double lost = lf_holdStepTo(ac, from, most);
    lastKt = gf_distanceNm(from, {ac.motion.lat, ac.motion.lon}) * kTicksPerHour;
    if (!(lost > 0.0))
        return;
    ac.motion.tasKt = std::min(ac.motion.tasKt, most);
    lf_samplesWait(ac, lost);
}
