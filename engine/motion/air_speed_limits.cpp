#include "engine/motion/air_speed_limits.h"

#include <algorithm>
#include <cmath>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/units.h"
#include "engine/aircraft.h"
#include "engine/motion/speed_limits.h"
#include "engine/motion/takeoff.h"
#include "liveries/category.h"

namespace {

// Aloft, no faster than its reports go by this share (a quarter more),
constexpr double kReportsMargin = 1.25;
// and below this altitude no faster than these (a little under the 380 kt
// and 160 kt aircraft fly there at most, so that a step's rounding never
// passes them).
constexpr double kLowAltitudeFt = 10000.0;
constexpr double kMostLowAeroplaneKt = 370.0;
constexpr double kMostLowHelicopterKt = 155.0;
// A leg's pace is its straight way over its time; flown as an arc (turning
// up to 30 degrees off the straight way at either end) the way is up to this
// much longer, and so is the speed shown.
constexpr double kMostArcLengthening = 1.05;
// Samples that waited longer than this (ticks) are not caught up with: the
// aircraft is shown again where its reports go on.
constexpr double kMostAirLagTicks = 6000.0;
// The shortest leg (ticks), as the legs are timed.
constexpr int32_t kShortestLegTicks = 25;

LatLon lf_pos(const TrafficSample& s)
{
    return {s.lat, s.lon};
}

double lf_reportedKt(double kt)
{
    return std::isfinite(kt) && kt > 0.0 ? kt : 0.0;
}

// Every sample after the front one falls due `ticks` later (earlier when
// negative).
void lf_shiftSamples(LiveAircraft& ac, int32_t ticks)
{
    if (ticks == 0)
        return;
    SampleStream& st = ac.stream.samples;
    for (size_t i = 1; i < st.size(); ++i)
        st[i].playTime += ticks;
}

// The samples wait `ticks` more (a share of a tick adds up): the whole
// ticks the total lag crossed are added to their times.
void lf_samplesWaitAloft(LiveAircraft& ac, double ticks)
{
    const double before = std::floor(ac.leg.airLagTicks);
    ac.leg.airLagTicks += ticks;
    const auto whole = static_cast<int32_t>(std::floor(ac.leg.airLagTicks) - before);
    if (whole <= 0)
        return;
    for (TrafficSample& s : ac.stream.samples)
        s.playTime += whole;
}

// The most below 10,000 ft (at or below it now or where it flies to), none
// above.
double lf_mostLowKt(const LiveAircraft& ac)
{
    const double altitude = std::min(ac.motion.altitudeFt, ac.stream.samples.size() >= 2 ? ac.stream.samples[1].altitudeFt
                                                                                         : ac.motion.altitudeFt);
    if (altitude >= kLowAltitudeFt)
        return HUGE_VAL;
    return (ac.identity.category == Category::Rotorcraft ? kMostLowHelicopterKt : kMostLowAeroplaneKt) / kMostArcLengthening;
}

} // namespace

double airReportsPaceKt(const LiveAircraft& ac)
{
    const SampleStream& st = ac.stream.samples;
    if (st.size() < 2)
        return 0.0;
    const TrafficSample& s0 = st[0];
    const TrafficSample& s1 = st[1];
    double pace = std::max(lf_reportedKt(s0.speedKt), lf_reportedKt(s1.speedKt));
    const double seconds = (s1.playTime - s0.playTime) / 100.0;
    // Samples a second or less apart were re-timed, not reported so.
    if (seconds > 1.0)
        pace = std::max(pace, gf_distanceNm(lf_pos(s0), lf_pos(s1)) * 3600.0 / seconds);
    return pace;
}

double mostAirKt(const LiveAircraft& ac, double reportsKt)
{
    double most = reportsKt > 0.0 ? kReportsMargin * reportsKt : HUGE_VAL;
    return std::min(most, lf_mostLowKt(ac));
}

int32_t boundAirLeg(LiveAircraft& ac, double reportsKt, int32_t legTicks)
{
    const SampleStream& st = ac.stream.samples;
    if (st.size() < 2 || st[1].stationary || legTicks < 1)
        return legTicks;
    const double most = mostAirKt(ac, reportsKt);
    const double nm = gf_distanceNm({ac.motion.lat, ac.motion.lon}, lf_pos(st[1]));
    if (!std::isfinite(most) || !(most > 0.0) || !std::isfinite(nm))
        return legTicks;
    // The fewest ticks the leg may take.
    const auto fewest = std::max(static_cast<int32_t>(std::ceil(nm * kTicksPerHour / most)), kShortestLegTicks);
    if (fewest > legTicks) {
        // The next sample falls due when the leg ends.
        const int32_t wait = std::max(fewest - legTicks, engineClock.load() + fewest - st[1].playTime);
        lf_shiftSamples(ac, wait);
        ac.leg.airLagTicks += wait;
        return fewest;
    }
    // Late on its reports: it flies faster, within the most, to make up the
    // time its samples waited.
    const auto lag = static_cast<int32_t>(std::floor(ac.leg.airLagTicks));
    const int32_t gain = std::min(lag, legTicks - fewest);
    if (gain <= 0)
        return legTicks;
    lf_shiftSamples(ac, -gain);
    ac.leg.airLagTicks -= gain;
    return legTicks - gain;
}

void boundAirStep(LiveAircraft& ac, const LatLon& from)
{
    if (ac.phases.phase != FlightPhase::takeoff || !std::isfinite(ac.motion.tasKt) || !(ac.motion.tasKt > 0.0))
        return;
    // Lifting off, no faster than the speed written, nor than aircraft fly
    // low down; but never slower than it lifts off at: an aeroplane does not
    // hang in the air at a report's taxi speed (and leap on once the leg
    // after it reads faster).
    const double liftOffKt = ac.identity.category == Category::Rotorcraft ? 0.0 : lf_takeoffVr(ac, 1);
    const double lost = lf_holdStepTo(
        ac, from, std::min(lf_mostLowKt(ac), std::max(ac.motion.tasKt, std::isfinite(liftOffKt) ? liftOffKt : 0.0)));
    if (!(lost > 0.0))
        return;
    lf_samplesWaitAloft(ac, lost);
    // An arc places the aircraft by its share of the leg's time, not by the
    // step before: held back, it would leap to the arc again when no longer
    // held. The rest of the leg is flown straight to where the arc ends, by
    // the time its sample (now later) falls due.
    AirArc& arc = ac.flight.arc;
    if (arc.valid && arc.counter < arc.length && !ac.stream.samples.empty()) {
        const int32_t ticks = std::max(ac.stream.samples.front().playTime - engineClock.load(), 1);
        ac.leg.stepLat = (arc.end.latitude - ac.motion.lat) / ticks;
        ac.leg.stepLon = gf_longitudeDelta(arc.end.longitude, ac.motion.lon) / ticks;
        arc = {};
    }
}

bool airLagBeyondReach(const LiveAircraft& ac)
{
    return ac.leg.airLagTicks > kMostAirLagTicks;
}
