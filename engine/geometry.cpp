#include "engine/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/geodesy.h"
#include "core/units.h"

namespace {

constexpr double kGravity = 9.80665;
constexpr double kMetresPerDegree = 111319.49;

bool lf_finite(double v) noexcept
{
    return std::isfinite(v);
}

LatLon lf_move(const LatLon& from, double bearing, double metres) noexcept
{
    return gf_destinationPoint(from, BearingDistance{gf_normalizeAngle(bearing), metres * kFeetPerMetre});
}

bool lf_samePoint(const LatLon& a, const LatLon& b) noexcept
{
    return a.latitude == b.latitude && a.longitude == b.longitude;
}

} // namespace

double gf_wrapAngle(double a) noexcept
{
    if (a > kPi)
        a -= kTwoPi;
    else if (a <= -kPi)
        a += kTwoPi;
    return a;
}

void gf_normalizeLatLon(LatLon& position) noexcept
{
    const auto wrapLon = [](double lon) {
        double r = lon + 180.0;
        // Within range the remainder is r itself: no division (every tick).
        if (!(r >= 0.0 && r < 360.0))
            r = std::fmod(r, 360.0);
        if (r < 0.0)
            r += 360.0;
        return r - 180.0;
    };
    position.longitude = wrapLon(position.longitude);
    if (std::fabs(position.latitude) > 90.0) {
        position.latitude = position.latitude > 0.0 ? 180.0 - position.latitude : -180.0 - position.latitude;
        position.longitude = wrapLon(position.longitude + 180.0);
    }
}

RelativePosition gf_relativePosition(const LatLon& p, double heading, const LatLon& q) noexcept
{
    RelativePosition r;
    r.distanceM = gf_distanceNm(p, q) * kMetresPerNm;
    if (!(r.distanceM > 0.1))
        return r;
    r.bearing = gf_wrapAngle(gf_initialBearing(p, q) - heading);
    r.alongM = r.distanceM * std::cos(r.bearing);
    r.acrossM = r.distanceM * std::sin(r.bearing);
    return r;
}

bool gf_withinCombinedRadiusNm(const LatLon& a, double radiusANm, const LatLon& b, double radiusBNm) noexcept
{
    const double r = radiusANm + radiusBNm;
    if (!(r > 0.0))
        return false;
    return r * r >= gf_flatOffsetNm(a, b, gf_cosLatitude(a.latitude)).squared();
}

AirConflict gf_airConflictGeometry(const AirConflictInput& in) noexcept
{
    AirConflict r;
    const double d2 = gf_flatOffsetNm(in.own, in.other, in.cosOwnLat).squared();
    r.distanceNm = std::sqrt(d2);
    r.altitudeDiffFt = in.otherAltitudeFt - in.ownAltitudeFt;
    if (d2 > 16.0) {
        r.reason = 1;
        return r;
    }
    const double absAlt = std::fabs(r.altitudeDiffFt);
    if (absAlt > 1000.0) {
        r.reason = 2;
        return r;
    }
    const double b = gf_wrapAngle(in.ownHeading - gf_initialBearing(in.own, in.other));
    r.alongNm = std::cos(b) * r.distanceNm;
    if (r.distanceNm <= 0.6 && absAlt <= 300.0 && r.alongNm > 0.05) {
        r.code = 1;
        return r;
    }
    if (in.mode == 0)
        return r;

    r.headingDiff = gf_wrapAngle(in.ownHeading - in.otherHeading);
    const double lateral = std::fabs(std::sin(b)) * r.distanceNm * kFeetPerNm;
    if (in.mode == 1) {
        if (r.alongNm <= 0.05) {
            r.reason = 5;
        } else if (r.alongNm > 0.6) {
            r.reason = 6;
        } else if (std::fabs(r.headingDiff) > 25.0 * kDegToRad) {
            r.reason = 3;
        } else {
            r.lateralFt = lateral;
            r.lateralLimitFt = 700.0;
            if (lateral <= 700.0)
                r.code = 4;
            else
                r.reason = 7;
        }
        return r;
    }

    if (std::fabs(r.headingDiff) > 20.0 * kDegToRad) {
        r.reason = 3;
        return r;
    }
    r.lateralFt = lateral;
    if (r.alongNm < -0.05) {
        r.lateralLimitFt = 900.0;
        if (-r.alongNm > 1.8 || lateral > 900.0)
            r.reason = 4;
        else
            r.code = 2;
    } else if (std::fabs(r.alongNm) <= 0.05) {
        r.reason = 5;
    } else if (r.alongNm > 1.8) {
        r.reason = 6;
    } else {
        r.lateralLimitFt = 900.0 + 1900.0 * std::clamp(r.distanceNm / 4.0, 0.0, 1.0);
        if (lateral <= r.lateralLimitFt)
            r.code = 3;
        else
            r.reason = 7;
    }
    return r;
}

double gf_ease(double t, uint32_t mode) noexcept
{
    t = std::clamp(t, 0.0, 1.0);
    switch (mode) {
    case 1: return t * t;
    case 2: return 1.0 - (1.0 - t) * (1.0 - t);
    case 3: return (3.0 - 2.0 * t) * t * t;
    default: return t;
    }
}

double gf_stepToward(double current, double target, double maxStep) noexcept
{
    if (!lf_finite(current))
        return lf_finite(target) ? target : 0.0;
    if (!lf_finite(target))
        return current;
    if (lf_finite(maxStep) && maxStep > 0.0)
        return current + std::clamp(target - current, -maxStep, maxStep);
    return current;
}

LimitedVs gf_limitDescentVs(double verticalSpeedFpm, std::span<const double> recentFpm, Category category) noexcept
{
    const double floor = category == Category::HighPerf     ? -3600.0
                         : category == Category::Rotorcraft ? -1800.0
                                                            : -3000.0;
    double sum = 0.0;
    int n = 0;
    for (size_t i = 0; i < std::min<size_t>(recentFpm.size(), 2); ++i) {
        if (lf_finite(recentFpm[i])) {
            sum += recentFpm[i];
            ++n;
        }
    }
    const double mean = std::clamp(n > 0 ? sum / n : 0.0, floor, 0.0);
    const double lower = std::max(mean - 1200.0, floor);
    const double given = lf_finite(verticalSpeedFpm) ? verticalSpeedFpm : mean;
    LimitedVs r;
    r.value = std::clamp(given, lower, 0.0);
    r.clamped = !(r.value == verticalSpeedFpm);
    return r;
}

JumpPlausibility gf_jumpPlausibility(double distanceM, double timeS, double speedAKt, double speedBKt,
                                     Category category) noexcept
{
    const auto positive = [](double v) { return lf_finite(v) && v > 0.0 ? v : 0.0; };
    const double d = positive(distanceM);
    const double t = positive(timeS);
    double low = 360.0;
    double high = 700.0;
    switch (category) {
    case Category::Light: low = 180.0, high = 350.0; break;
    case Category::TwoProps: low = 250.0, high = 500.0; break;
    case Category::HighPerf: low = 900.0, high = 1500.0; break;
    case Category::Rotorcraft: low = 120.0, high = 220.0; break;
    default: break;
    }
    const double allowed = std::clamp(2.0 * std::max(positive(speedAKt), positive(speedBKt)), low, high);
    JumpPlausibility r;
    r.neededTimeS = d == 0.0 ? 0.0 : d * kMetresPerSecondToKnots / allowed;
    if (t == 0.0)
        r.impliedSpeedKt = d > 0.0 ? std::numeric_limits<double>::infinity() : 0.0;
    else
        r.impliedSpeedKt = d / t * kMetresPerSecondToKnots;
    r.implausible = d > 1.0 && r.neededTimeS > t + 1e-9;
    return r;
}

bool gf_repeatedText(const std::string& previous, const std::string& text, RepeatedTextMemory& memory)
{
    if (text.empty() || text == previous) {
        memory = {};
        return false;
    }
    if (memory.text == text) {
        ++memory.count;
    } else {
        memory.text = text;
        memory.count = 1;
    }
    if (memory.count >= 3) {
        memory = {};
        return true;
    }
    return false;
}

bool gf_takeoffLagCheck(const TakeoffLagInput& in) noexcept
{
    const double minSpeed = in.light ? 55.0 : 120.0;
    const double maxImplied = in.light ? 35.0 : 100.0;
    if (!lf_finite(in.distanceM) || !lf_finite(in.timeS) || !lf_finite(in.speedKt))
        return false;
    if (!(in.distanceM > 1.0) || !(in.timeS >= 5.0) || !(in.speedKt >= minSpeed))
        return false;
    const double implied = in.distanceM / in.timeS * kMetresPerSecondToKnots;
    return implied < maxImplied && implied < 0.65 * in.speedKt;
}

bool gf_longEnoughRunway(const ClimbCheckInput& in) noexcept
{
    constexpr double kLeastClimbVsFpm = 400.0;
    constexpr double kLeastClimbFt = 50.0;
    return in.airborne && lf_finite(in.firstVsFpm) && lf_finite(in.secondVsFpm) && lf_finite(in.climbFt) &&
           in.firstVsFpm >= kLeastClimbVsFpm && in.secondVsFpm >= kLeastClimbVsFpm && in.climbFt >= kLeastClimbFt;
}

SpeedRise gf_findSpeedRise(std::span<const SpeedPoint> points, double threshold) noexcept
{
    if (!lf_finite(threshold) || !(threshold > 0.0))
        return {};
    for (size_t k = 1; k < points.size(); ++k) {
        const double vk = points[k].value;
        if (!(vk >= threshold + 10.0))
            continue;
        for (size_t j = 0; j < k; ++j) {
            const double vj = points[j].value;
            const int64_t dt = static_cast<int64_t>(points[k].time) - static_cast<int64_t>(points[j].time);
            if (lf_finite(vj) && vj >= 40.0 && vk - vj >= 15.0 && dt >= 1 && dt <= 2000)
                return {k, true};
        }
    }
    return {};
}

GlidePlan gf_glidePlanner(const GlideInput& in) noexcept
{
    GlidePlan out{in.verticalSpeedFpm, in.alongPastThresholdM, false};
    const double r = in.verticalSpeedFpm;
    const double a = in.alongPastThresholdM;
    const double D = in.runwayDistanceM;
    if (!lf_finite(r) || !lf_finite(in.heightFt) || !lf_finite(in.gearHeightFt) || !lf_finite(a) || !lf_finite(D) ||
        !lf_finite(in.speedKt) || !(D > 0.0) || !(in.speedKt > 0.0))
        return out;
    const double h = in.heightFt - in.gearHeightFt;
    if (!(h > 1.0 && h <= 250.0) || !(a < D))
        return out;
    if (in.nextSampleAirborne && in.frontSampleVsFpm >= 50.0 && in.nextSampleVsFpm >= 400.0 &&
        in.firstSamplesAltDiffFt >= 400.0)
        return out;
    const double v = std::clamp(in.speedKt, 40.0, 200.0) * kKnotsToMetresPerSecond;
    const double window = std::min(D / 3.0, 1000.0);
    if (r < 0.0 && v * h * kSecondsPerMinute / -r + a <= window)
        return out;
    const double aim = std::min(std::max(a + 100.0, std::min(window, 600.0)), D - 100.0);
    if (aim <= a)
        return out;
    const double vs = std::max(-h * kSecondsPerMinute / ((aim - a) / v), -1200.0);
    if (vs < r)
        out = {vs, aim, true};
    return out;
}

bool gf_descentWindow(const DescentWindowInput& in) noexcept
{
    return lf_finite(in.a) && lf_finite(in.b) && in.c[0] > 1000.0 && in.c[1] >= in.c[2] && in.d > 0.0 &&
           in.b > in.a && in.b >= -in.d;
}

LineOffset gf_offsetTowardLine(const LatLon& p, const LatLon& q, double heading, double maxRelativeAngle,
                               double maxAcrossM, double fraction) noexcept
{
    LineOffset out;
    out.position = q;
    const bool pointsUsable = gf_isValidLatLon(p) && gf_isValidLatLon(q) && !lf_samePoint(p, q);
    out.bearing = pointsUsable ? gf_initialBearing(p, q) : heading;
    if (!pointsUsable || !(heading >= 0.0 && heading < kTwoPi) || !(maxRelativeAngle > 0.0) || !(maxAcrossM > 0.0) ||
        !(fraction >= 0.0 && fraction <= 1.0))
        return out;
    const RelativePosition rel = gf_relativePosition(p, heading, q);
    out.relativeAngle = rel.bearing;
    out.acrossM = rel.acrossM;
    if (!(rel.alongM > 0.0) || !(std::fabs(rel.bearing) <= maxRelativeAngle) || !(std::fabs(rel.acrossM) <= maxAcrossM))
        return out;
    const LatLon foot = lf_move(p, heading, rel.alongM);
    const double side = rel.acrossM >= 0.0 ? heading + kPi / 2.0 : heading - kPi / 2.0;
    const LatLon moved = lf_move(foot, side, std::fabs(rel.acrossM * fraction));
    if (!gf_isValidLatLon(moved))
        return out;
    out.position = moved;
    out.bearing = gf_initialBearing(p, moved);
    out.ok = true;
    return out;
}

LineHeading gf_lineHeadingFromPoints(const LatLon& p, std::span<const LatLon> points, double heading, double minDistanceM,
                                     double maxDistanceM, double maxAngle) noexcept
{
    LineHeading out;
    out.heading = heading;
    if (!gf_isValidLatLon(p) || !(heading >= 0.0 && heading < kTwoPi) || !(minDistanceM > 0.0) ||
        !(minDistanceM <= maxDistanceM) || !(maxAngle > 0.0))
        return out;
    const LatLon* first = nullptr;
    const LatLon* last = nullptr;
    for (const LatLon& point : points) {
        if (!gf_isValidLatLon(point))
            break;
        const double d = gf_distanceNm(p, point) * kMetresPerNm;
        if (!(d <= maxDistanceM))
            break;
        if (d <= 1.0)
            continue;
        if (!first)
            first = &point;
        last = &point;
        out.distanceM = d;
    }
    if (!first || !last || lf_samePoint(*first, *last) || !(out.distanceM >= minDistanceM))
        return out;
    const double toLast = gf_initialBearing(p, *last);
    if (std::fabs(gf_wrapAngle(gf_initialBearing(p, *first) - toLast)) <= maxAngle &&
        std::fabs(gf_wrapAngle(heading - toLast)) <= maxAngle) {
        out.heading = toLast;
        out.ok = true;
    }
    return out;
}

BankCommand gf_bankForHeading(const BankInput& in) noexcept
{
    BankCommand out;
    const auto usable = [](double v) { return lf_finite(v) && v > 0.0; };
    if (!usable(in.t1) || !usable(in.t2) || !usable(in.maxTurnRate) || !usable(in.maxBank) || !usable(in.maxBankRate))
        return out;
    const double x = std::clamp(std::fabs(in.maxBank), 0.0, kPi / 2.0);
    out.currentBankLimited = lf_finite(in.currentBank) ? std::clamp(in.currentBank, -x, x) : 0.0;

    const double e = lf_finite(in.targetHeading) && lf_finite(in.heading)
                         ? std::remainder(in.targetHeading - in.heading, kTwoPi)
                         : 0.0;
    const double v = lf_finite(in.speedKt) && in.speedKt > 0.0 ? in.speedKt * kKnotsToMetresPerSecond : 0.0;
    const double rateBound = std::min(v > 1.0 ? std::tan(x) * kGravity / v : in.maxTurnRate, in.maxTurnRate);
    const double rateLimit = rateBound / in.t2;
    out.turnRate = std::clamp(e / in.t1, -rateLimit, rateLimit);

    if (in.hold && lf_finite(in.holdBank) && std::fabs(in.holdBank) <= kPi / 2.0) {
        out.hold = 1;
        out.commandedBank = std::clamp(in.holdBank, -x, x);
    } else {
        if (in.hold)
            out.holdRefused = 1;
        const double bank =
            v > 1.0 ? -std::atan(out.turnRate * in.t2 * v / kGravity) : -std::clamp(e, -x, x);
        out.commandedBank = std::clamp(bank, -x, x);
    }
    out.bankRate = std::clamp((out.commandedBank - out.currentBankLimited) / in.t1, -in.maxBankRate, in.maxBankRate);
    return out;
}

double gf_maxBankNearGround(double bankLimit, bool useAltitude, double altitudeFt, bool final) noexcept
{
    if (!lf_finite(bankLimit) || bankLimit <= 0.0)
        return 0.0;
    const double b = std::clamp(bankLimit, 0.0, kPi / 2.0);
    if (!useAltitude || !lf_finite(altitudeFt))
        return b;
    if (final)
        return std::min(b, 5.0 * kDegToRad);
    const double low = std::min(b, 10.0 * kDegToRad);
    const double f = std::clamp((altitudeFt - 100.0) / 900.0, 0.0, 1.0);
    return low + (b - low) * f;
}

FlightCurvePoint gf_flightCurvePoint(const LatLon& p0, const LatLon& p1, double h0, double maxStartDeviation,
                                     double t) noexcept
{
    FlightCurvePoint out;
    if (!gf_isValidLatLon(p0) || !gf_isValidLatLon(p1))
        return out;
    const double eastScale = kMetresPerDegree * gf_cosLatitude((p0.latitude + p1.latitude) / 2.0);
    if (!(eastScale >= 1.0))
        return out;
    // The short way round, also across the date line.
    const double dLon = gf_longitudeDelta(p1.longitude, p0.longitude);
    const double dLat = p1.latitude - p0.latitude;
    const double e = dLon * eastScale;
    const double n = dLat * kMetresPerDegree;
    const double D = std::hypot(e, n);
    const double tc = lf_finite(t) ? std::clamp(t, 0.0, 1.0) : 0.0;
    if (D < 10.0) {
        out.position = {p0.latitude + dLat * tc, p0.longitude + dLon * tc};
        gf_normalizeLatLon(out.position);
        out.ok = true;
        return out;
    }

    const double theta = std::atan2(e, n);
    const double beta = gf_initialBearing(p0, p1);
    double delta = lf_finite(h0) ? std::remainder(h0 - beta, kTwoPi) : 0.0;
    const double a = lf_finite(maxStartDeviation) ? std::clamp(std::fabs(maxStartDeviation), 0.0, kPi / 2.0) : 0.0;
    const double halfDegree = 0.5 * kDegToRad;
    if (std::fabs(delta) <= kPi / 2.0 && a >= halfDegree) {
        delta = std::clamp(delta, -a, a);
        out.curved = std::fabs(delta) >= halfDegree;
    }
    const double start = out.curved ? beta + delta : theta;

    // Cubic Hermite from (0, 0) to (e, n) with tangents of length D.
    const double t2 = tc * tc;
    const double t3 = t2 * tc;
    const double h10 = t3 - 2.0 * t2 + tc;
    const double h01 = -2.0 * t3 + 3.0 * t2;
    const double h11 = t3 - t2;
    const double d10 = 3.0 * t2 - 4.0 * tc + 1.0;
    const double d01 = -6.0 * t2 + 6.0 * tc;
    const double d11 = 3.0 * t2 - 2.0 * tc;
    const double m0e = D * std::sin(start), m0n = D * std::cos(start);
    const double m1e = D * std::sin(theta), m1n = D * std::cos(theta);
    const double pe = h10 * m0e + h01 * e + h11 * m1e;
    const double pn = h10 * m0n + h01 * n + h11 * m1n;
    const double de = d10 * m0e + d01 * e + d11 * m1e;
    const double dn = d10 * m0n + d01 * n + d11 * m1n;
    if (!lf_finite(pe) || !lf_finite(pn) || !lf_finite(de) || !lf_finite(dn) || std::hypot(de, dn) < 1e-6) {
        out.curved = false;
        return out;
    }
    out.position = {pn / kMetresPerDegree + p0.latitude, pe / eastScale + p0.longitude};
    gf_normalizeLatLon(out.position);
    out.heading = out.curved ? gf_normalizeAngle(std::atan2(de, dn)) : beta;
    out.ok = true;
    return out;
}

double gf_distanceM(const LatLon& a, const LatLon& b)
{
    return gf_distanceNm(a, b) * kMetresPerNm;
}
