#include "engine/motion/approach.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include <fmt/format.h>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/motion/flight_motion.h"
#include "engine/geometry.h"
#include "engine/report_noise.h"
#include "engine/sample_stream.h"
#include "engine/tick_airport.h"
#include "engine/traffic_state.h"
#include "simlink/sim_command_mailbox.h"

namespace {


void lf_lag(LegMotion& ac, int32_t ticks)
{
    ac.lagEarlier = ticks;
    ac.lagLater = ticks;
}

// Throttle full, gear up, flaps up: a go-around or a climb.
void lf_climbConfiguration(LiveAircraft& ac)
{
    gf_setThrottle(ac, 4);
    gf_setGear(ac, false);
    gf_setFlaps(ac, 0);
    lf_lag(ac.leg, 900);
}

// The ground under the aircraft on the approach: the landing runway, else
// the current airport.
double lf_referenceGroundFt(const LiveAircraft& ac)
{
    const RunwayMatch& m = ac.flight.landing.runway;
    if (m.valid && std::isfinite(m.startAltitude))
        return landingGroundFt(ac, m.startAltitude);
    if (const auto elevation = gf_tickAirportAltitude())
        return landingGroundFt(ac, *elevation);
    return std::numeric_limits<double>::quiet_NaN();
}

constexpr double kOffRunwayM = 15.0;          // beyond the runway's edge by this much a report is off it
constexpr double kSlowestFlyoverShare = 0.8;  // of the rotation speed: slower, no landing is still in the air
constexpr double kGlideSlopeRad = 3.0 * std::numbers::pi / 180.0;

// Where `at` lies from the far end of the runway `m`: metres along its
// heading (negative before that end) and across its centre line.
RelativePosition lf_fromRunway(const RunwayMatch& m, const LatLon& at)
{
    const double heading = gf_normalizeAngle(m.endHeading * kDegToRad);
    return gf_relativePosition({m.endLatitude, m.endLongitude}, heading, at);
}

} // namespace

void configureApproach(LiveAircraft& ac, double h)
{
    FlightState& f = ac.flight;
    if (!f.approachLightsSent) {
        gf_setLights(ac.sim.objectId, LightStates{1, 1, 1, 1, 1, 1, 1});
        lf_lag(ac.leg, 900);
        f.approachLightsSent = 1;
        f.cruiseConfigSent = 0;
    }
    const double gate = f.highApproach ? 2050.0 : 625.0;
    const double height = std::isfinite(h) ? h : ac.reports.lastSimAglFt;
    if (height > gate && ac.phases.phase != FlightPhase::landing) {
        if (ac.leg.lagEarlier > 900)
            ac.leg.lagEarlier = std::max(ac.leg.lagEarlier - 100, 900);
        if (ac.leg.lagLater > 900)
            ac.leg.lagLater = std::max(ac.leg.lagLater - 100, 900);
        gf_setCabinLights(ac.sim.objectId, 1);
        const double vs = lf_sampleVs(ac.stream.samples.front());
        if (vs <= -250.0 && ac.sim.throttleIndex == 3)
            gf_setThrottle(ac, ac.identity.category == Category::Rotorcraft ? 4u : 2u);
        else if (vs > 400.0 && ac.sim.throttleIndex == 4)
            gf_setThrottle(ac, ac.identity.category == Category::Rotorcraft ? 4u : 3u);
        if (height >= 2400.0) {
            gf_setGear(ac, false);
            gf_setFlaps(ac, 0);
        } else if (vs <= 100.0) {
            if (ac.sim.flapsIndex == 0)
                gf_setFlaps(ac, 1);
            else if (ac.sim.flapsIndex == 1 && height < 2000.0)
                gf_setFlaps(ac, 2);
        }
        return;
    }
    checkLandingState(ac);
}

void checkLandingState(LiveAircraft& ac)
{
    if (ac.stream.samples.size() < 2)
        return;
    FlightState& f = ac.flight;
    gf_setCabinLights(ac.sim.objectId, 0);
    const TrafficSample& s0 = ac.stream.samples[0];
    const TrafficSample& s1 = ac.stream.samples[1];
    const double drop = s0.altitudeFt - s1.altitudeFt;
    const bool descending = (drop > 10.0 && lf_sampleVs(s0) <= -250.0 && lf_sampleVs(s1) <= -250.0) ||
                            (!s1.airborne && (lf_sampleVs(s0) <= -250.0 || drop > 10.0 || ac.motion.verticalSpeedFpm <= -250.0));
    const bool climbing = gf_longEnoughRunway({s0.verticalSpeedFpm, s1.verticalSpeedFpm, -drop, s1.airborne != 0});
    const bool landing = ac.phases.phase == FlightPhase::landing;
    bool overflown = false;
    if (landing && !ac.phases.groundMode) {
        const RunwayMatch m = landingRunwayMatch(ac);
        overflown = m.valid && m.distancePastThreshold && m.lengthFromThreshold &&
                    *m.distancePastThreshold > *m.lengthFromThreshold + 100.0 &&
                    ac.motion.altitudeFt - m.startAltitude > 250.0;
    }
    const bool near = gf_tickNearAirport({ac.motion.lat, ac.motion.lon});
    // Only a known airport can be too far away: while the airport is being
    // (re)loaded there is none, and an aircraft on short final lands.
    const bool tooFar = !near && gf_tickAirportAltitude().has_value();
    if (landing && (climbing || overflown || tooFar)) {
        ac.setPhase(FlightPhase::flying);
        lf_climbConfiguration(ac);
        ac.touchdown.flareStage = 0;
        f.climbConfig = 1;
        return;
    }
    if (!descending) {
        if (lf_sampleVs(s0) > 600.0 && !f.climbConfig) {
            lf_climbConfiguration(ac);
            f.climbConfig = 1;
        }
        return;
    }
    if (ac.phases.phase != FlightPhase::flying || !near)
        return;
    ac.setPhase(FlightPhase::landing);
    gf_setThrottle(ac, ac.identity.category == Category::Rotorcraft ? 4u : 1u);
    gf_setFlaps(ac, 3);
    gf_setGear(ac, true);
    gf_trafficState().newLiveHexids.push_back(ac.identity.hexid);
    f.takeoffCounter = 1;
    f.climbConfig = 0;
    ac.stand.standLat = 0.0;
    ac.stand.standLon = 0.0;
    ac.stand.standHeading = 0.0;
    gf_trafficState().aircraft.setStandId(ac, 0);
    ac.stand.atStand = 0;
    ac.stand.gateStand = 0;
    lf_lag(ac.leg, 2700);
}

bool isShortOfRunway(const LiveAircraft& ac, const TrafficSample& sample)
{
    if (ac.phases.phase != FlightPhase::landing || ac.phases.groundMode || sample.airborne)
        return false;
    if (!(ac.reports.lastSimAglFt > lf_gearHeightFt(ac) + 1.0))
        return false;
    const LatLon at = lf_samplePosition(sample);
    auto m = gf_runwayAtPosition(at, ac.motion.heading);
    if (!m)
        m = gf_runwayOnFinal(at, ac.motion.heading);
    return m && m->distancePastThreshold && *m->distancePastThreshold < -50.0;
}

bool landOnRunwayFirst(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (ac.phases.phase != FlightPhase::landing || ac.phases.groundMode || ac.identity.category == Category::Rotorcraft ||
        st.size() < 2 || st[1].airborne || st[1].stationary || st[1].inserted)
        return false;
    const RunwayMatch m = finalApproachRunway(ac);
    if (!m.valid || !m.distancePastThreshold || !m.lengthFromThreshold || !std::isfinite(*m.distancePastThreshold) ||
        !(*m.lengthFromThreshold > 0.0) || !std::isfinite(m.startAltitude))
        return false;
    const double slowest = kSlowestFlyoverShare * gf_rotationSpeedKt(ac, 1);
    const auto slowShort = [&](const TrafficSample& s) {
        return !s.airborne && !s.stationary && isShortOfRunway(ac, s) && std::isfinite(s.speedKt) && s.speedKt < slowest;
    };
    const TrafficSample& next = st[1];
    const bool beside = std::fabs(lf_fromRunway(m, lf_samplePosition(next)).acrossM) > m.width / 2.0 + kOffRunwayM &&
                        !gf_rollsAlongRunway(next, m.endHeading);
    if (!beside && !slowShort(next))
        return false;
    // Down on the glide slope from here, in the touch-down zone at the earliest.
    const double a = *m.distancePastThreshold;
    const double lengthM = *m.lengthFromThreshold;
    const double heightFt = ac.motion.altitudeFt - landingGroundFt(ac, m.startAltitude) - lf_gearHeightFt(ac);
    const double glideM = std::max(std::isfinite(heightFt) ? heightFt : 0.0, 0.0) * kMetresPerFoot / std::tan(kGlideSlopeRad);
    const double touchM = std::max(std::min(lengthM / 3.0, 1000.0), a + glideM);
    if (!(touchM <= lengthM / 2.0))
        return false; // no room left to roll out: the reports are followed as they come
    const LatLon here{ac.motion.lat, ac.motion.lon};
    const RelativePosition from = lf_fromRunway(m, here);
    const double heading = gf_normalizeAngle(m.endHeading * kDegToRad);
    const double alongFromEnd = from.alongM + (touchM - a); // negative: before the far end
    const LatLon touch = gf_destinationPoint({m.endLatitude, m.endLongitude},
                                             {gf_normalizeAngle(heading + std::numbers::pi), -alongFromEnd * kFeetPerMetre});
    const double front = st[0].speedKt;
    const double speedKt = std::max(std::isfinite(front) ? front : 0.0, slowest);
    if (!(speedKt > 0.0))
        return false;
    TrafficSample down = next;
    down.lat = touch.latitude;
    down.lon = touch.longitude;
    down.altitudeFt = 0.0;
    down.speedKt = speedKt;
    down.tasKt = speedKt;
    down.trackDeg = m.endHeading;
    down.hasTrueHeading = 0;
    down.verticalSpeedFpm = 0.0;
    down.inserted = 0;
    down.insertedFromCurrent = 0;
    const double seconds = gf_distanceM(here, touch) / (speedKt * kKnotsToMetresPerSecond);
    down.playTime = engineClock.load() + std::max(static_cast<int32_t>(std::lround(seconds * 100.0)), 25);
    // The reports it passes over on the way: they rolled out before the threshold.
    while (st.size() >= 2 && slowShort(st[1]))
        st.erase(st.begin() + 1);
    st.insert(st.begin() + 1, down);
    if (st.size() >= 3 && st[2].playTime <= down.playTime + 25) {
        const int32_t delay = down.playTime + 25 - st[2].playTime;
        for (size_t i = 2; i < st.size(); ++i)
            st[i].playTime += delay;
    }
    ac.flight.landing.runway = m;
    ac.flight.landing.matchPosition = here;
    gf_logLine(fmt::format("{} touches down on runway {}: its reports {} before it is down", ac.identity.callsign, m.endText,
                           beside ? "leave the runway" : "roll out short of the threshold"));
    return true;
}

RunwayMatch landingRunwayMatch(const LiveAircraft& ac)
{
    if (const auto m = gf_runwayAtPosition({ac.motion.lat, ac.motion.lon}, ac.motion.heading))
        return *m;
    const LandingData& l = ac.flight.landing;
    if (!l.runway.valid || !l.matchPosition)
        return {};
    RunwayMatch carried = l.runway;
    if (carried.distancePastThreshold) {
        const RelativePosition r = gf_relativePosition(*l.matchPosition, carried.endHeading * kDegToRad, {ac.motion.lat, ac.motion.lon});
        *carried.distancePastThreshold += r.alongM;
    }
    return carried;
}

RunwayMatch finalApproachRunway(const LiveAircraft& ac)
{
    const LatLon here{ac.motion.lat, ac.motion.lon};
    if (const auto m = gf_runwayAtPosition(here, ac.motion.heading))
        return *m;
    // Reports that read low on a high-pressure day take the aircraft down
    // kilometres before the runway it is lined up with: the runway is known
    // from the final already.
    if (const auto m = gf_runwayOnFinal(here, ac.motion.heading))
        return *m;
    return landingRunwayMatch(ac);
}

void timeTouchdown(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (ac.phases.phase != FlightPhase::landing || ac.phases.groundMode || st.size() < 2 || st[1].airborne)
        return;
    TrafficSample& next = st[1];
    const LatLon here{ac.motion.lat, ac.motion.lon};
    const auto m0 = gf_runwayAtPosition(here, ac.motion.heading);
    const auto m1 = gf_runwayAtPosition(lf_samplePosition(next), ac.motion.heading);
    if (!m0 || !m1 || m0->runwayText != m1->runwayText || m0->endText != m1->endText)
        return;
    if (!m0->distancePastThreshold || !m1->distancePastThreshold || !m0->lengthFromThreshold)
        return;
    const double a0 = *m0->distancePastThreshold, a1 = *m1->distancePastThreshold, length = *m0->lengthFromThreshold;
    if (!(std::isfinite(a0) && std::isfinite(a1) && std::isfinite(length) && length > 0.0 && a0 < a1))
        return;
    const double aim = std::min(length / 3.0, 1000.0);
    if (!(a0 < aim && aim < a1))
        return;
    const double f = std::clamp((aim - a0) / (a1 - a0), 0.0, 1.0);
    if (!(f < 1.0))
        return;
    LatLon cut{ac.motion.lat + (next.lat - ac.motion.lat) * f, ac.motion.lon + gf_longitudeDelta(next.lon, ac.motion.lon) * f};
    gf_normalizeLatLon(cut);
    next.lat = cut.latitude;
    next.lon = cut.longitude;
    const double legS = (next.playTime - engineClock.load()) / 100.0;
    const double height = std::max(ac.motion.altitudeFt - (lf_gearHeightFt(ac) + m0->startAltitude), 0.0);
    const double seconds = std::max({2.0, legS, height / 10.0});
    retimeNextSample(ac, std::max(static_cast<int32_t>(std::ceil(100.0 * seconds)), 25));
    ac.flight.landing.runway = *m0;
    ac.flight.landing.matchPosition = here;
}

double landingGroundFt(const LiveAircraft& ac, double runwayElevationFt)
{
    if (!std::isfinite(ac.reports.lastSimGroundFt))
        return runwayElevationFt;
    return std::isfinite(runwayElevationFt) ? std::max(runwayElevationFt, ac.reports.lastSimGroundFt) : ac.reports.lastSimGroundFt;
}

double glidePathVs(LiveAircraft& ac, double v)
{
    const SampleStream& st = ac.stream.samples;
    ac.flight.landing.floorFt.reset();
    if (ac.phases.phase != FlightPhase::landing || ac.phases.groundMode || st.empty())
        return v;
    const RunwayMatch m = finalApproachRunway(ac);
    if (!m.valid || !std::isfinite(m.startAltitude) || !m.distancePastThreshold)
        return v;
    const double elevation = landingGroundFt(ac, m.startAltitude);
    double height = ac.motion.altitudeFt - elevation;
    const double g = lf_gearHeightFt(ac);
    const double a = *m.distancePastThreshold;
    double r = std::min(v * kTicksPerMinute, 0.0);
    const TrafficSample& s0 = st[0];
    const TrafficSample& s1 = st.size() >= 2 ? st[1] : st[0];
    const double legS = std::max(s0.playTime - engineClock.load(), 25) / 100.0;
    const double needed = gf_distanceNm({ac.motion.lat, ac.motion.lon}, lf_samplePosition(s0)) * 3600.0 / legS;
    double estimate = st.size() >= 2 ? lf_legSpeedKt(ac) : s0.speedKt;
    if (!(estimate > 0.0))
        estimate = ac.flight.groundSpeedKt > 0.0 ? ac.flight.groundSpeedKt : 1.0;
    const double p = std::isfinite(needed) && needed >= 0.0 ? std::min(needed, estimate) : estimate;
    const double current = std::isfinite(ac.motion.tasKt) ? ac.motion.tasKt : 0.0;
    const double planning = std::min(200.0, std::max({p, current, s0.speedKt, s1.speedKt}));
    if (a < 60.0 && std::isfinite(height) && std::isfinite(g) && std::isfinite(p)) {
        const double floor = std::max(g, 0.0) + 1.0;
        ac.flight.landing.floorFt = elevation + floor;
        if (height < floor) {
            height = floor;
            ac.motion.altitudeFt = elevation + floor;
        }
        if (r < 0.0) {
            const double s = std::max(p, 0.0) * kKnotsToMetresPerSecond;
            const double h = std::max(height - g, 0.0);
            if (h * kSecondsPerMinute / -r * s + a < 60.0)
                r = h > 0.0 && s > 0.0 ? -h * kSecondsPerMinute / ((60.0 - a) / s) : 0.0;
        }
    }
    GlideInput in;
    in.verticalSpeedFpm = r;
    in.heightFt = height;
    in.gearHeightFt = g;
    in.alongPastThresholdM = a;
    in.runwayDistanceM = m.lengthFromThreshold ? *m.lengthFromThreshold : 0.0;
    in.speedKt = planning;
    in.nextSampleVsFpm = lf_sampleVs(s1);
    in.firstSamplesAltDiffFt = s1.altitudeFt - s0.altitudeFt;
    in.frontSampleVsFpm = lf_sampleVs(s0);
    in.nextSampleAirborne = s1.airborne != 0;
    return gf_glidePlanner(in).verticalSpeedFpm / kTicksPerMinute;
}

void applyLandingVerticalSpeed(LiveAircraft& ac, double v)
{
    LandingData& l = ac.flight.landing;
    if (!std::isfinite(v))
        v = l.vsMemory.value_or(0.0);
    std::array<double, 2> recent{0.0, 0.0};
    size_t n = 0;
    for (size_t i = 0; i < ac.stream.samples.size() && n < 2; ++i)
        recent[n++] = ac.stream.samples[i].verticalSpeedFpm;
    const LimitedVs filtered = gf_limitDescentVs(v * kTicksPerMinute, std::span<const double>(recent.data(), n),
                                                 ac.identity.category);
    const double wanted = glidePathVs(ac, filtered.value / kTicksPerMinute);
    l.vsMemory = l.vsMemory ? gf_stepToward(*l.vsMemory, wanted, 0.001) : wanted;
    ac.motion.altitudeFt += *l.vsMemory;
    // Held short of the runway, the descent left over from the approach does
    // not take it under its floor: even a touch there, written between air
    // positions, reads as a bounce.
    if (l.floorFt && ac.motion.altitudeFt < *l.floorFt) {
        ac.motion.altitudeFt = *l.floorFt;
        l.vsMemory = 0.0;
    }
    ac.motion.verticalSpeedFpm = *l.vsMemory * kTicksPerMinute;
}

void stepFlare(LiveAircraft& ac)
{
    if (ac.stream.samples.empty())
        return;
    const double g = lf_gearHeightFt(ac);
    const double flareHeight = ac.motion.altitudeFt - lf_referenceGroundFt(ac);
    const double h = std::fmin(ac.reports.lastSimAglFt, flareHeight);
    if (!std::isfinite(h))
        return;
    // Stage n + 1 begins this high above the gear, with this descent.
    struct FlareStage {
        double aboveGearFt;
        double vsPerTick;
        double frontVsFpm;
    };
    static constexpr std::array<FlareStage, 4> kStages{
        {{30.0, -0.1, -601.0}, {20.0, -0.075, -450.0}, {10.0, -0.05, -300.0}, {3.0, -0.025, -150.0}}};
    if (ac.touchdown.flareStage >= kStages.size())
        return;
    const FlareStage& next = kStages[ac.touchdown.flareStage];
    if (!(h <= g + next.aboveGearFt))
        return;
    if (ac.touchdown.flareStage == 0) {
        const double duration = std::max<double>(ac.identity.modelValues[2], 1.0);
        ac.flight.pitchRate = (-4.0 * kDegToRad - ac.motion.pitch) / duration;
    } else if (ac.touchdown.flareStage == 2) {
        gf_setThrottle(ac, 0);
    }
    ac.reports.verticalSpeedStep = next.vsPerTick;
    ac.stream.samples.front().verticalSpeedFpm = next.frontVsFpm;
    ++ac.touchdown.flareStage;
}

bool lf_findTouchAndGoClimb(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    size_t climb = st.size();
    for (size_t k = 1; k < st.size() && climb == st.size(); ++k) {
        const TrafficSample& a = st[k - 1];
        const TrafficSample& b = st[k];
        if (gf_longEnoughRunway(
                {a.verticalSpeedFpm, b.verticalSpeedFpm, b.altitudeFt - a.altitudeFt, b.airborne != 0})) {
            climb = k;
        } else if (k + 1 < st.size()) {
            const int32_t span = st[k + 1].playTime - a.playTime;
            if (span >= 1 && span <= 1000 &&
                gf_longEnoughRunway({a.verticalSpeedFpm, b.verticalSpeedFpm, st[k + 1].altitudeFt - a.altitudeFt,
                                     st[k + 1].airborne != 0}))
                climb = k + 1;
        }
    }
    if (climb == st.size() && ac.identity.category == Category::Light &&
        gf_runwayUnderAircraft({ac.motion.lat, ac.motion.lon}, ac.motion.heading)) {
        std::vector<SpeedPoint> speeds;
        speeds.reserve(st.size());
        for (const TrafficSample& s : st)
            speeds.push_back({s.speedKt, static_cast<uint32_t>(std::max(s.playTime, 0))});
        const SpeedRise rise = gf_findSpeedRise(speeds, gf_rotationSpeedKt(ac, 1));
        if (rise.found) {
            climb = rise.index;
            while (climb < st.size() && !st[climb].airborne)
                ++climb;
        }
    }
    for (size_t i = 0; i < climb; ++i)
        st[i].airborne = 0;
    return climb < st.size();
}
