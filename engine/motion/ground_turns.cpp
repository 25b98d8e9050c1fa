#include "engine/motion/ground_turns.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "engine/geometry.h"
#include "engine/sample_stream.h"
#include "runways/runway_matching.h"

namespace {

// The longest leg of a bend that is turned as one corner (m).
constexpr double kBendLegMaxM = 80.0;
// A curve's first metres further off the heading than this would be a slide (deg).
constexpr double kCurveStartOffDeg = 30.0;

LatLon lf_pos(const TrafficSample& s)
{
    return {s.lat, s.lon};
}
LatLon lf_here(const LiveAircraft& ac)
{
    return {ac.motion.lat, ac.motion.lon};
}
bool lf_same(const LatLon& a, const LatLon& b)
{
    return std::fabs(a.latitude - b.latitude) < 1e-8 && std::fabs(a.longitude - b.longitude) < 1e-8;
}
bool lf_same(const TrafficSample& a, const TrafficSample& b)
{
    return lf_same(lf_pos(a), lf_pos(b));
}
double lf_metres(const LatLon& a, const LatLon& b)
{
    return gf_distanceNm(a, b) * kMetresPerNm;
}
double lf_bearing(const LatLon& a, const LatLon& b)
{
    return gf_initialBearing(a, b);
}
// |a - b| wrapped, in degrees.
double lf_diffDeg(double a, double b)
{
    return std::fabs(gf_wrapAngle(a - b)) * kRadToDeg;
}
double lf_signedDiffDeg(double a, double b)
{
    return gf_wrapAngle(a - b) * kRadToDeg;
}
double lf_max(double a, double b)
{
    return std::isnan(b) ? a : std::max(a, b);
}
// The largest of the aircraft's own speed and the given sample speeds.
double lf_largestSpeed(const LiveAircraft& ac, std::initializer_list<const TrafficSample*> samples)
{
    double v = std::isfinite(ac.motion.tasKt) ? ac.motion.tasKt : 0.0;
    for (const TrafficSample* s : samples)
        v = lf_max(v, s->speedKt);
    return v;
}
// Either s0 or s1 is where s2 is: no corner to turn round.
bool lf_endRepeats(const SampleStream& st)
{
    return lf_same(st[0], st[2]) || lf_same(st[1], st[2]);
}

// A sample made from `from` at `fraction` of the way to `to` (linear in
// degrees), timed between the two.
TrafficSample lf_sampleBetween(const TrafficSample& copyOf, const LatLon& from, int32_t fromTime,
                               const TrafficSample& to, double fraction)
{
    TrafficSample s = copyOf;
    LatLon at{from.latitude + (to.lat - from.latitude) * fraction,
              from.longitude + gf_longitudeDelta(to.lon, from.longitude) * fraction};
    gf_normalizeLatLon(at);
    s.lat = at.latitude;
    s.lon = at.longitude;
    s.stationary = 0;
    s.inserted = 1;
    const int64_t dt = static_cast<int64_t>(to.playTime) - fromTime;
    const int64_t t = fromTime + static_cast<int64_t>(std::trunc(static_cast<double>(dt) * fraction));
    s.playTime = static_cast<int32_t>(std::clamp<int64_t>(t, fromTime + 1, to.playTime - 1));
    return s;
}

GroundTurnParams lf_firstParams(const LiveAircraft& ac)
{
    const SampleStream& st = ac.stream.samples;
    GroundTurnParams p;
    p.p0 = lf_here(ac);
    p.p1 = lf_pos(st[1]);
    p.p2 = lf_pos(st[2]);
    p.startHeading = gf_normalizeAngle(ac.motion.heading);
    switch (ac.identity.category) {
    case Category::Light:
    case Category::HighPerf:
        p.tuning[kTuneMinLeg] = 10.0;
        p.tuning[kTuneMinLegSum] = 35.0;
        p.tuning[kTuneCurvature] = 5.0;
        break;
    case Category::TwoProps:
    case Category::Bizjet:
        p.tuning[kTuneMinLeg] = 12.0;
        p.tuning[kTuneMinLegSum] = 40.0;
        p.tuning[kTuneCurvature] = 4.0;
        break;
    default:
        break;
    }
    // Turning onto the runway it holds for: end the turn on the runway heading.
    const bool lineUpPhase = ac.phases.phase == FlightPhase::takeoff_roll ||
                             (ac.phases.phase == FlightPhase::taxi && ac.phases.previousPhase != FlightPhase::landing_roll);
    if (ac.phases.groundMode && lineUpPhase && ac.holds.runwayHeading) {
        for (size_t i = 1; i < st.size(); ++i) {
            if (!st[i].stationary)
                continue;
            if (lf_metres(lf_pos(st[i]), lf_pos(st[2])) <= 1.0) {
                p.endHeading = gf_normalizeAngle(*ac.holds.runwayHeading);
                p.hasEndHeading = 1;
            }
            break;
        }
    }
    return p;
}

// The sample index at which a long approach to a turned-away track ends, or 0.
size_t lf_longApproachEnd(const LiveAircraft& ac, double searchM)
{
    const SampleStream& st = ac.stream.samples;
    const double leg = lf_bearing(lf_pos(st[1]), lf_pos(st[2]));
    for (size_t k = 2; k < st.size(); ++k) {
        const TrafficSample& s = st[k];
        const TrafficSample& before = st[k - 1];
        if (s.stationary || s.airborne || lf_same(s, before) || s.playTime <= before.playTime)
            return 0;
        if (lf_diffDeg(lf_bearing(lf_pos(before), lf_pos(s)), leg) > 12.0)
            return 0;
        const double d = lf_metres(lf_here(ac), lf_pos(s));
        if (d > 250.0)
            return 0;
        if (d >= searchM)
            return k;
    }
    return 0;
}

} // namespace

double gf_groundSpeedFactor(double v) noexcept
{
    if (v <= 8.0)
        return 1.2;
    if (v <= 15.0)
        return 1.2 - (v - 8.0) / 7.0 * 0.2;
    if (v <= 20.0)
        return 1.0;
    if (v <= 30.0)
        return 1.0 - (v - 20.0) / 10.0 * 0.4;
    return 0.6;
}

double gf_groundTurnRateDegS(const LiveAircraft& ac) noexcept
{
    const double v = ac.stream.samples.empty() ? 0.0 : ac.stream.samples[0].speedKt;
    return gf_groundSpeedFactor(v) * ac.identity.baseTurnRate * kRadToDeg * 100.0;
}

double gf_turnLookAheadM(double v) noexcept
{
    if (!std::isfinite(v) || !(v > 0.0))
        return 100.0;
    return std::clamp(v * kKnotsToMetresPerSecond * 7.0, 100.0, 160.0);
}

double gf_turnLeadM(double angleDeg, double v, double rateDegS) noexcept
{
    const double lead = v * kKnotsToMetresPerSecond * std::clamp(angleDeg / rateDegS, 1.5, 6.0);
    return std::isnan(lead) ? 12.0 : std::clamp(lead, 12.0, 90.0);
}

bool lf_insertSampleBeforeCorner(LiveAircraft& ac, double d, bool fromCurrent)
{
    SampleStream& st = ac.stream.samples;
    if (st.size() < 2)
        return false;
    const LatLon start = fromCurrent ? lf_here(ac) : lf_pos(st[0]);
    const int32_t startTime = fromCurrent ? engineClock.load() : st[0].playTime;
    const double l = lf_metres(start, lf_pos(st[1]));
    if (!std::isfinite(d) || !(d > 0.0) || !(d < l) || st[1].playTime - startTime < 2)
        return false;
    const double f = std::clamp((l - d) / l, 0.0, 1.0);
    TrafficSample s = lf_sampleBetween(st[0], start, startTime, st[1], f);
    s.insertedFromCurrent = fromCurrent ? 1 : 0;
    if (fromCurrent)
        s.speedKt = st[0].speedKt + (st[1].speedKt - st[0].speedKt) * f;
    st.insert(st.begin() + 1, s);
    return true;
}

bool lf_insertSampleAfterCorner(StreamState& ac, double d)
{
    SampleStream& st = ac.samples;
    if (st.size() < 3)
        return false;
    const double l = lf_metres(lf_pos(st[1]), lf_pos(st[2]));
    if (!(d > 0.0) || !(d < l) || st[2].playTime - st[1].playTime < 2)
        return false;
    const double f = d / l;
    TrafficSample s = lf_sampleBetween(st[1], lf_pos(st[1]), st[1].playTime, st[2], f);
    s.insertedFromCurrent = 1;
    s.speedKt = st[1].speedKt + (st[2].speedKt - st[1].speedKt) * f;
    st.insert(st.begin() + 2, s);
    return true;
}

bool lf_mergeStraightRun(LiveAircraft& ac, size_t k)
{
    SampleStream& st = ac.stream.samples;
    if (k < 2 || st.size() <= k || lf_same(lf_pos(st[k]), lf_here(ac)))
        return false;
    for (size_t j = 1; j <= k; ++j) {
        const TrafficSample& s = st[j];
        if (s.stationary || s.airborne || lf_same(s, st[j - 1]) || s.playTime <= st[j - 1].playTime)
            return false;
    }
    const LatLon here = lf_here(ac);
    const double b01 = lf_bearing(here, lf_pos(st[1]));
    const double b12 = lf_bearing(lf_pos(st[1]), lf_pos(st[2]));
    const double bk = lf_bearing(lf_pos(st[k - 1]), lf_pos(st[k]));
    const double b = lf_bearing(here, lf_pos(st[k]));
    if (lf_metres(here, lf_pos(st[k])) > 180.0)
        return false;
    double along = 0.0, across = 0.0;
    for (size_t j = 1; j < k; ++j) {
        const RelativePosition r = gf_relativePosition(here, b, lf_pos(st[j]));
        if (!(r.alongM > along))
            return false;
        along = r.alongM;
        across = std::max(across, std::fabs(r.acrossM));
    }
    const double bend1 = lf_signedDiffDeg(b12, b01);
    const double bend2 = lf_signedDiffDeg(bk, b12);
    if (!(std::fabs(bend1) <= 12.0 && std::fabs(bend2) <= 15.0 && bend1 * bend2 < 0.0 &&
          lf_diffDeg(b, b01) <= 3.0 && lf_diffDeg(bk, b) <= 3.0 && across <= 3.0))
        return false;
    ac.leg.targetTrack = b;
    st.erase(st.begin() + 1, st.begin() + static_cast<std::ptrdiff_t>(k));
    return true;
}

bool lf_mergeSampledBend(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (st.size() < 5)
        return false;
    // The line in is the reported leg into s1: the aircraft itself may still
    // be off it after the last turn.
    const double entry =
        lf_metres(lf_pos(st[0]), lf_pos(st[1])) >= 10.0 ? lf_bearing(lf_pos(st[0]), lf_pos(st[1])) : ac.motion.heading;
    // Walk the bend from s1 on while every leg turns the same way, until the
    // leg after sk runs on as the one before it.
    double before = entry, turned = 0.0;
    size_t k = 0;
    for (size_t j = 1; j + 1 < st.size(); ++j) {
        for (const size_t i : {j, j + 1}) {
            const TrafficSample& s = st[i];
            if (s.stationary || s.airborne || lf_same(s, st[i - 1]) || s.playTime <= st[i - 1].playTime)
                return false;
        }
        const double leg = lf_bearing(lf_pos(st[j]), lf_pos(st[j + 1]));
        const double bend = lf_signedDiffDeg(leg, before);
        if (lf_metres(lf_pos(st[j]), lf_pos(st[j + 1])) > kBendLegMaxM)
            return false;
        if (j >= 2 && std::fabs(bend) <= 3.0) {
            k = j;
            break;
        }
        if (std::fabs(bend) <= 3.0 || (j >= 2 && (bend > 0.0) != (turned > 0.0)))
            return false;
        turned += bend;
        before = leg;
    }
    if (k < 3 || std::fabs(turned) < 30.0 || std::fabs(turned) > 150.0)
        return false;
    // The corner: where the line in meets the line out through sk.
    const double exit = lf_bearing(lf_pos(st[k]), lf_pos(st[k + 1]));
    const double span = lf_metres(lf_pos(st[1]), lf_pos(st[k]));
    const double toEnd = lf_bearing(lf_pos(st[1]), lf_pos(st[k]));
    const double dx = span * std::sin(toEnd), dy = span * std::cos(toEnd);
    const double ix = std::sin(entry), iy = std::cos(entry), ox = std::sin(exit), oy = std::cos(exit);
    const double det = ix * oy - iy * ox;
    if (!(std::fabs(det) >= std::sin(20.0 * kDegToRad)))
        return false;
    const double in = (dx * oy - dy * ox) / det;  // from s1 on along the line in
    const double out = (ix * dy - iy * dx) / det; // from the corner on to sk
    if (!(in >= 0.0 && out >= 2.0 && in <= kBendLegMaxM * 2.0 && out <= kBendLegMaxM * 2.0))
        return false;
    TrafficSample corner = st[1];
    const LatLon at = gf_destinationPoint(lf_pos(st[1]), {entry, in / kMetresPerFoot});
    corner.lat = at.latitude;
    corner.lon = at.longitude;
    corner.stationary = 0;
    const int64_t t1 = st[1].playTime, tk = st[k].playTime;
    corner.playTime = static_cast<int32_t>(
        std::clamp<int64_t>(t1 + std::llround(static_cast<double>(tk - t1) * in / (in + out)), t1, tk - 1));
    st.erase(st.begin() + 2, st.begin() + static_cast<std::ptrdiff_t>(k));
    st[1] = corner;
    ac.leg.targetTrack = entry;
    return true;
}

void lf_checkSpeedChangeSplit(LiveAircraft& ac, bool afterPushBack)
{
    SampleStream& st = ac.stream.samples;
    if (st.size() < 2)
        return;
    const double v0 = st[0].speedKt, v1 = st[1].speedKt;
    if ((v0 <= 0.0 && v1 <= 0.0) || ac.phases.phase == FlightPhase::takeoff_roll || ac.phases.phase == FlightPhase::landing_roll)
        return;
    double threshold = 0.0;
    if (afterPushBack) {
        threshold = ac.phases.previousPhase == FlightPhase::landing_roll ? 40.0 : 50.0;
    } else {
        if (!(std::fabs(v0 - v1) > 5.0))
            return;
        const double f = std::clamp(std::max(v0, v1) / 25.0, 0.0, 1.0);
        threshold = 60.0 + (120.0 - 60.0) * f;
    }
    const LatLon from{st[0].lat, st[0].lon};
    if (gf_flatOffsetNm(from, {st[1].lat, st[1].lon}, gf_cosLatitude(st[0].lat)).length() * kMetresPerNm >= threshold)
        insertMidSample(ac.stream);
}

bool lf_makeTurnNow(LiveAircraft& ac, double angleDeg)
{
    if (ac.stream.samples.size() < 3 || lf_endRepeats(ac.stream.samples))
        return false;
    if (!makeTurnGnd(ac, angleDeg))
        return false;
    ac.ground.lastTurnAngleDeg = angleDeg;
    return true;
}

bool makeTurnGnd(LiveAircraft& ac, double angle)
{
    SampleStream& st = ac.stream.samples;
    if (st.size() < 3)
        return false;
    if (st[2].stationary) {
        gf_logError(fmt::format("{}: unexpected same at stream[2], {}", "makeTurnGnd", ac.identity.callsign));
        return false;
    }
    if (st[2].speedKt <= 0.1)
        st[2].speedKt = (st[0].speedKt + st[1].speedKt) / 2.0;
    lf_clearGroundPath(ac.ground);
    size_t endIndex = 2;
    const FlightPhase phase = ac.phases.phase;
    const LatLon here = lf_here(ac);

    const double b1 = lf_bearing(here, lf_pos(st[1]));
    const double legTurn = lf_diffDeg(lf_bearing(lf_pos(st[1]), lf_pos(st[2])), b1);
    const double mismatch = lf_diffDeg(b1, ac.motion.heading);
    const double fastest = lf_largestSpeed(ac, {&st[0], &st[1], &st[2]});
    const bool runwayExit =
        phase == FlightPhase::landing_roll && legTurn >= 15.0 && legTurn < 135.0 && mismatch <= 20.0 &&
        st[0].speedKt <= 65.0;
    const bool lineUp = !runwayExit && phase == FlightPhase::takeoff_roll && angle >= 10.0 && fastest <= 30.0 &&
                        !st[1].airborne && !st[2].airborne;
    GroundTurn& turn = ac.ground.groundTurn;

    if ((phase == FlightPhase::taxi || runwayExit || lineUp) && ac.identity.category != Category::Rotorcraft) {
        const GroundTurnParams first = lf_firstParams(ac);
        const double d1 = lf_metres(here, lf_pos(st[1]));
        const double d2 = lf_metres(lf_pos(st[1]), lf_pos(st[2]));
        const double lookAhead = gf_turnLookAheadM(lf_largestSpeed(ac, {&st[0], &st[1]}));
        gf_buildGroundTurn(turn, first);
        // The geometry of the plain corner decides what is tried next.
        const bool cornerMode = turn.cornerMode != 0;
        const double turnAngle = turn.turnAngleDeg;
        const double startMismatch = turn.startMismatchDeg;

        if (phase == FlightPhase::taxi && !turn.active() && cornerMode && startMismatch >= 60.0 && st.size() >= 4) {
            // Far off the new track: one long curve onto it.
            const size_t k = lf_longApproachEnd(ac, std::clamp(1.5 * startMismatch, 90.0, 250.0));
            if (k > 0) {
                GroundTurnParams p = first;
                p.p1 = {(here.latitude + st[k].lat) / 2.0,
                        here.longitude + gf_longitudeDelta(st[k].lon, here.longitude) / 2.0};
                gf_normalizeLatLon(p.p1);
                p.p2 = lf_pos(st[k]);
                p.tuning[kTuneMaxTurn] = 135.0;
                p.tuning[kTuneMaxMismatch] = 135.0;
                p.tuning[kTuneCornerFrac] = 1.0;
                p.tuning[kTuneCurvature] = 10.0;
                p.tuning[kTuneStartTangent] = 1.0;
                if (gf_buildGroundTurn(turn, p))
                    endIndex = k;
            }
        }

        bool tightAccepted = false;
        if ((phase == FlightPhase::taxi && !turn.active()) || phase == FlightPhase::takeoff_roll) {
            const bool roll = phase == FlightPhase::takeoff_roll;
            const double limit = roll ? 20.0 : first.hasEndHeading ? 10.0 : 60.0;
            const double speedLimit = roll ? 30.0 : 25.0;
            if (cornerMode && turnAngle <= (roll ? 8.0 : 3.0) && startMismatch >= limit && startMismatch <= 105.0 &&
                d1 >= 7.0 && d1 <= 35.0 && d2 >= 7.0 && d2 <= 35.0 && d1 + d2 <= 60.0 && fastest <= speedLimit) {
                if (turn.active()) {
                    tightAccepted = turn.chordDeviation <= 5.0;
                } else {
                    GroundTurnParams p = first;
                    p.tuning[kTuneMinLeg] = 7.0;
                    p.tuning[kTuneMinLegSum] = 14.0;
                    p.tuning[kTuneMaxTurn] = 105.0;
                    p.tuning[kTuneMaxMismatch] = 105.0;
                    p.tuning[kTuneCornerFrac] = 0.5;
                    p.tuning[kTuneCurvature] = 50.0;
                    p.tuning[kTuneStartTangent] = startMismatch > 90.0 ? 2.5 : 1.25;
                    if (gf_buildGroundTurn(turn, p)) {
                        tightAccepted = turn.chordDeviation <= 5.0;
                        if (!tightAccepted)
                            gf_clearGroundTurn(turn);
                    }
                }
            }
        }

        if (phase == FlightPhase::taxi && turn.active() && !turn.cornerMode) {
            // Stop at the corner when the path bends hard again right after
            // it, or when a sharp corner lies far from the end.
            bool stop = turn.turnAngleDeg >= 75.0 && d2 > 100.0 && d2 >= 2.0 * d1;
            if (!stop && st.size() >= 4 && !st[3].stationary && !lf_same(st[1], st[2]) && !lf_same(st[2], st[3]) &&
                !lf_same(st[1], st[3]))
                stop = lf_diffDeg(lf_bearing(lf_pos(st[2]), lf_pos(st[3])), lf_bearing(lf_pos(st[1]), lf_pos(st[2]))) >=
                       45.0;
            if (stop) {
                GroundTurnParams p = first;
                p.stopAtCorner = 1;
                gf_buildGroundTurn(turn, p);
            }
        }

        if (runwayExit) {
            if (turn.active() && turn.turnAngleDeg >= 15.0 && !turn.cornerMode && turn.startMismatchDeg <= 20.0 &&
                d1 <= lookAhead && d2 <= lookAhead && turn.outsideDeviation <= 5.0)
                ac.ground.turnKind = GroundTurnKind::runwayExit;
            else
                gf_clearGroundTurn(turn);
        } else if (lineUp) {
            if (turn.active() && (tightAccepted || (!turn.cornerMode && turn.startMismatchDeg <= 20.0)) &&
                turn.outsideDeviation <= 5.0)
                ac.ground.turnKind = GroundTurnKind::lineUp;
            else
                gf_clearGroundTurn(turn);
        } else if (turn.active() && ac.ground.turnKind == GroundTurnKind::none) {
            ac.ground.turnKind = GroundTurnKind::taxiTurn;
        }
        if (phase == FlightPhase::taxi && !turn.active())
            ac.ground.sharpTurn = cornerMode && turn.status == GroundTurnStatus::invalidTangent && angle >= 90.0 &&
                                   turnAngle >= 30.0 && turnAngle <= 70.0 && startMismatch >= 35.0 &&
                                   startMismatch < 60.0
                               ? 1
                               : 0;
    }

    bool useCurve = false;
    if (!turn.active()) {
        if (phase == FlightPhase::takeoff_roll || phase == FlightPhase::landing_roll)
            return false;
        if (phase == FlightPhase::taxi && turn.cornerMode)
            return false;
        useCurve = true;
    }
    if (useCurve) {
        if (angle > 120.0)
            return false;
        // The curve leaves toward the next sample: with the heading far off
        // that way it would be driven sideways from its first metre. The leg
        // is planned straight instead, and turned onto as any other.
        if (lf_diffDeg(lf_bearing(here, lf_pos(st[1])), ac.motion.heading) >= kCurveStartOffDeg)
            return false;
        GroundCurveInput in;
        in.a = {here.latitude, here.longitude, 0.0};
        in.b = {st[1].lat, st[1].lon, 0.5};
        in.c = lf_pos(st[2]);
        in.endTime = 1.0;
        gf_buildGroundCurve(ac.ground.groundCurve, in);
        if (!ac.ground.groundCurve.valid())
            return false;
    } else if (turn.stopAtCorner) {
        return true;
    }
    st.erase(st.begin() + 1, st.begin() + static_cast<std::ptrdiff_t>(endIndex));
    return true;
}

bool lf_planGroundTurn(LiveAircraft& ac)
{
    SampleStream& st = ac.stream.samples;
    if (st.size() < 2)
        return false;
    // A sample inserted before a corner is where the turn is meant to begin,
    // so planning goes on when one is reached; a next sample of the
    // planning's own making is driven to as it is.
    if (st[1].inserted)
        return false;
    const double a = st.size() >= 3 ? lf_diffDeg(lf_bearing(lf_pos(st[1]), lf_pos(st[2])), ac.motion.heading) : 0.0;
    if (!(a > 3.0))
        return false;
    const FlightPhase phase = ac.phases.phase;
    if (phase == FlightPhase::taxi && a <= 12.0) {
        bool merged = lf_mergeStraightRun(ac, 3);
        merged = lf_mergeStraightRun(ac, 4) || merged;
        if (merged)
            return true;
    }
    // A corner reported as an arc of samples is planned as the one corner
    // it rounds; the planning of that corner follows at once.
    if (phase == FlightPhase::taxi && lf_mergeSampledBend(ac)) {
        lf_planGroundTurn(ac);
        return true;
    }
    if (phase == FlightPhase::takeoff_roll &&
        (a < 10.0 || ac.identity.category == Category::Rotorcraft || lf_largestSpeed(ac, {&st[0], &st[1], &st[2]}) > 30.0 || st[1].airborne ||
         st[2].airborne))
        return false;

    const LatLon here = lf_here(ac);
    const bool landingRoll = phase == FlightPhase::landing_roll;
    const double d = lf_metres(landingRoll ? here : lf_pos(st[0]), lf_pos(st[1]));
    const double toCorner = lf_bearing(here, lf_pos(st[1]));
    const double legTurn = lf_diffDeg(lf_bearing(lf_pos(st[1]), lf_pos(st[2])), toCorner);
    const double mismatch = lf_diffDeg(toCorner, ac.motion.heading);
    const bool exitCandidate = legTurn >= 15.0 && legTurn < 135.0 && mismatch <= 20.0;
    const double lookAhead = gf_turnLookAheadM(lf_largestSpeed(ac, {&st[0], &st[1]}));
    const double rate = gf_groundTurnRateDegS(ac);
    const double v0 = st[0].speedKt, v1 = st[1].speedKt;

    if (landingRoll && exitCandidate && rate > 0.0 && std::isfinite(v1) && v1 <= 65.0) {
        // A runway exit: the turn must begin early enough for the speed.
        if (!st[0].insertedFromCurrent && d > lookAhead && std::isfinite(v0)) {
            double lead = gf_turnLeadM(a, v0, rate);
            if (v0 > 65.0 && v0 > v1)
                lead = std::min(lead, (65.0 - v1) * d / (v0 - v1));
            if (lead >= 12.0 && lf_insertSampleBeforeCorner(ac, lead, true))
                return true;
        }
        if (!st[2].insertedFromCurrent && lookAhead >= d &&
            lf_metres(lf_pos(st[1]), lf_pos(st[2])) > lookAhead &&
            lf_insertSampleAfterCorner(ac.stream, gf_turnLeadM(a, v1, rate)))
            return true;
    }

    if (phase != FlightPhase::takeoff_roll && v0 <= 43.0) {
        if (!(rate > 0.0))
            return false;
        if (d >= (v0 < 10.0 ? 5.0 : 12.0)) {
            const double lead = gf_turnLeadM(a, v0, rate);
            if (lead >= 0.75 * d)
                return lf_makeTurnNow(ac, a);
            if (!(a <= 45.0 && d < 50.0))
                return lf_insertSampleBeforeCorner(ac, lead, false);
        }
    }
    if (lf_endRepeats(st))
        return false;
    if (!makeTurnGnd(ac, a))
        return false;
    ac.ground.lastTurnAngleDeg = a;
    return true;
}
