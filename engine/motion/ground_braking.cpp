#include "engine/motion/ground_braking.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/units.h"
#include "engine/geometry.h"
#include "engine/motion/ground_tuning.h"
#include "engine/motion/speed_limits.h"
#include "runways/runway_table.h"

namespace {

// Taxiing an aircraft brakes at about 5 kt/s; on a landing roll, with
// spoilers and reversers, up to about 8 kt/s. Planned a little under both.
constexpr double kTaxiBrakeKtPerS = 4.5;
constexpr double kRollBrakeKtPerS = 7.0;
// Reports this close together are one place: the aircraft stands there (m).
constexpr double kSamePlaceM = 1.0;
// The slowest the cap falls to short of a stop: it ends the leg, not crawls
// toward its end for ever (kt).
constexpr double kLeastKt = 1.0;
// No more reports than these are looked at ahead.
constexpr size_t kLookAhead = 12;

double lf_brakeKtPerS(const LiveAircraft& ac)
{
    return ac.phases.phase == FlightPhase::landing_roll ? kRollBrakeKtPerS : kTaxiBrakeKtPerS;
}

LatLon lf_at(const TrafficSample& s)
{
    return {s.lat, s.lon};
}

bool lf_positive(double kt)
{
    return std::isfinite(kt) && kt > 0.0;
}

// The pace a leg between two reports is driven at, as its timing takes it:
// their reported speeds' mean, or its length over its time.
double lf_legPaceKt(const TrafficSample& a, const TrafficSample& b)
{
    if (lf_positive(a.speedKt))
        return lf_positive(b.speedKt) ? (a.speedKt + b.speedKt) / 2.0 : a.speedKt;
    if (lf_positive(b.speedKt))
        return b.speedKt;
    const double ticks = std::max<double>(b.playTime - a.playTime, 25.0);
    return gf_distanceNm(lf_at(a), lf_at(b)) * kTicksPerHour / ticks;
}

// Its report reads a standstill and the next one a taxi: the leg is driven
// off from rest.
bool lf_drivesOffFrom(const LiveAircraft& ac, const TrafficSample& s, const TrafficSample& next)
{
    return (ac.phases.phase == FlightPhase::taxi || ac.phases.phase == FlightPhase::takeoff_roll) && s.speedKt == 0.0 &&
           next.speedKt > ground_tuning::kStandingKt;
}

// At this report a corner of the reports is rolled round, not turned on the
// spot: a taxi at taxi speed, or a roll-out.
bool lf_rollsOntoLegs(const LiveAircraft& ac, const TrafficSample& s)
{
    if (ac.phases.phase == FlightPhase::landing_roll)
        return true;
    return ac.phases.phase == FlightPhase::taxi && s.speedKt > ground_tuning::kStandingKt &&
           !(s.speedKt > ground_tuning::kTurnOnTheSpotKt);
}

// The speed a corner at `at` is rolled round at, arriving along `inbound`:
// the curve from there toward `next`, bent through a point halfway along
// the way it comes, with a mean sideways pull the tyres take.
double lf_rollingTurnKt(double inbound, const LatLon& at, const LatLon& next, double legKt)
{
    const double toNextM = gf_distanceM(at, next);
    const LatLon control = gf_destinationPoint(at, {inbound, 0.5 * toNextM * kFeetPerMetre});
    const double turn = std::fabs(gf_wrapAngle(gf_initialBearing(control, next) - inbound));
    const double turnKt =
        std::sqrt(ground_tuning::kRollingTurnSideMps2 * toNextM / std::max(turn, 1e-3)) / kKnotsToMetresPerSecond;
    return std::clamp(turnKt, ground_tuning::kRollingTurnSlowestKt, std::max(legKt, ground_tuning::kRollingTurnSlowestKt));
}

// The pace a taxi leg from report j is driven at once its next report is
// re-timed: the leg at its own pace, but ending no earlier nor later than
// the report's time allows. `arrive` is when the aircraft gets to report j
// (ticks); it becomes when it gets to the next.
double lf_timedPaceKt(const LiveAircraft& ac, size_t j, double& arrive)
{
    const SampleStream& st = ac.stream.samples;
    if (j + 1 >= st.size())
        return std::numeric_limits<double>::infinity();
    const TrafficSample& s = st[j];
    const TrafficSample& next = st[j + 1];
    const double nm = gf_distanceNm(lf_at(s), lf_at(next));
    const double ownTicks = std::max(std::round(nm * kTicksPerHour / std::max(lf_legPaceKt(s, next), 1.0)), 25.0);
    double end = std::clamp(arrive + ownTicks, static_cast<double>(next.playTime) - ac.leg.lagEarlier,
                            static_cast<double>(next.playTime) + ac.leg.lagLater);
    end = std::max(end, arrive + 1.0);
    const double paceKt = nm * kTicksPerHour / (end - arrive);
    arrive = end;
    return ac.phases.phase == FlightPhase::taxi ? paceKt : std::numeric_limits<double>::infinity();
}

// The speed the aircraft must be down to on reaching report j, the leg from
// there driven at `timedKt`.
double lf_limitAfterKt(const LiveAircraft& ac, size_t j, bool taxiCapAhead, double timedKt)
{
    const SampleStream& st = ac.stream.samples;
    const TrafficSample& s = st[j];
    double limit = std::numeric_limits<double>::infinity();
    if (j + 1 < st.size()) {
        const TrafficSample& next = st[j + 1];
        if (next.stationary || gf_distanceM(lf_at(s), lf_at(next)) < kSamePlaceM)
            return 0.0; // its reports freeze there or it stops: it stands
        limit = std::min(lf_legPaceKt(s, next), timedKt);
        // A taxi whose report reads a standstill drives the next leg off from
        // rest: it is there at a stand.
        if (lf_drivesOffFrom(ac, s, next))
            return 0.0;
        // A leg that turns off too sharply to roll onto is turned onto where
        // it stands; one it rolls onto is taken at the turn's speed.
        const LatLon before = j > 0 ? lf_at(st[j - 1]) : LatLon{ac.motion.lat, ac.motion.lon};
        if (gf_distanceM(before, lf_at(s)) >= kSamePlaceM) {
            const double inbound = gf_initialBearing(before, lf_at(s));
            const double turnDeg = std::fabs(gf_wrapAngle(gf_initialBearing(lf_at(s), lf_at(next)) - inbound)) / kDegToRad;
            const double nextM = gf_distanceM(lf_at(s), lf_at(next));
            if (turnDeg > ground_tuning::kRollingTurnMaxDeg ||
                (turnDeg > ground_tuning::kSlideDeg && nextM < ground_tuning::kRollingTurnMinM))
                return 0.0;
            if (turnDeg >= ground_tuning::kSlideDeg && lf_rollsOntoLegs(ac, s))
                limit = std::min(limit, lf_rollingTurnKt(inbound, lf_at(s), lf_at(next), limit));
        }
    } else if (!(s.speedKt > ground_tuning::kStandingKt) || (ac.phases.phase != FlightPhase::takeoff_roll &&
                                                ac.phases.phase != FlightPhase::landing_roll)) {
        // Its last report: a taxi carried on without reports stands there
        // (a roll is carried on), and so does one whose report stands.
        return 0.0;
    }
    if (taxiCapAhead && !gf_isBesideAnyRunway(lf_at(s), kBesideRunwayM, std::nullopt))
        limit = std::min(limit, kMostTaxiKt);
    return limit;
}

} // namespace

double gf_brakeKtPerTick(const LiveAircraft& ac)
{
    return lf_brakeKtPerS(ac) / kTicksPerSecond;
}

double gf_brakingCapKt(const LiveAircraft& ac, const LatLon& here)
{
    const double none = std::numeric_limits<double>::infinity();
    const SampleStream& st = ac.stream.samples;
    const double v = ac.ground.groundStepKt;
    if (st.empty() || st.front().stationary || !(v > 0.0))
        return none;
    const double a = lf_brakeKtPerS(ac) * kKnotsToMetresPerSecond; // m/s²
    const double vMs = v * kKnotsToMetresPerSecond;
    // Beyond where it stops from its speed now (and a margin), nothing ahead
    // can limit it yet.
    const double reachM = vMs * vMs / (2.0 * a) + 30.0;
    // Only a roll faster than a taxi has the taxi speed ahead to brake to.
    const bool taxiCapAhead = v > kMostTaxiKt && ac.phases.phase != FlightPhase::takeoff_roll &&
                              ac.identity.category != Category::Rotorcraft;
    double cap = none;
    double metres = 0.0;
    LatLon from = here;
    double arrive = st.front().playTime;
    for (size_t j = 0; j < st.size() && j < kLookAhead; ++j) {
        if (st[j].stationary)
            break;
        metres += gf_distanceM(from, lf_at(st[j]));
        from = lf_at(st[j]);
        if (metres > reachM)
            break;
        const double timedKt = lf_timedPaceKt(ac, j, arrive);
        const double limitKt = lf_limitAfterKt(ac, j, taxiCapAhead, timedKt);
        if (std::isfinite(limitKt)) {
            const double limitMs = limitKt * kKnotsToMetresPerSecond;
            cap = std::min(cap, std::sqrt(limitMs * limitMs + 2.0 * a * metres) / kKnotsToMetresPerSecond);
        }
        if (limitKt == 0.0)
            break;
    }
    // A limit seen too late to brake for at its rate (a report that came
    // late, a slower pace that shows only as the leg begins) is braked for
    // at that rate, not hit.
    return std::max({cap, kLeastKt, v - lf_brakeKtPerS(ac) / kTicksPerSecond});
}
