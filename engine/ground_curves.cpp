#include "engine/ground_curves.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "core/geodesy.h"
#include "core/units.h"
#include "engine/geometry.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTiny = 1e-18;   // squared length below which a quadratic has no direction
constexpr double kTinyD = 1e-8;   // squared length below which a Hermite has no direction
// A heading change against the turn of more than this breaks a corner.
constexpr double kHalfDegreeRad = 0.5 * kDegToRad;
constexpr std::array<double, 7> kTuningDefaults{15.0, 50.0, 60.0, 60.0, 0.35, 3.0, 2.0};

struct Vec {
    double e = 0.0;
    double n = 0.0;
};
Vec operator+(Vec a, Vec b)
{
    return {a.e + b.e, a.n + b.n};
}
Vec operator-(Vec a, Vec b)
{
    return {a.e - b.e, a.n - b.n};
}
Vec operator*(double k, Vec a)
{
    return {k * a.e, k * a.n};
}
double lf_norm2(Vec a)
{
    return a.e * a.e + a.n * a.n;
}
double lf_len(Vec a)
{
    return std::sqrt(lf_norm2(a));
}
double lf_headingOf(Vec d)
{
    return gf_normalizeAngle(std::atan2(d.e, d.n));
}
Vec lf_unitOf(double heading)
{
    return {std::sin(heading), std::cos(heading)};
}

bool lf_validPoint(double lat, double lon)
{
    return std::isfinite(lat) && std::isfinite(lon) && lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0;
}
bool lf_validPoint(const LatLon& p)
{
    return lf_validPoint(p.latitude, p.longitude);
}
bool lf_validTimed(const TimedPoint& p)
{
    return lf_validPoint(p.lat, p.lon) && std::isfinite(p.time);
}

double lf_eastScale(double originLat)
{
    const double lat = originLat > 180.0 ? originLat - 360.0 : originLat;
    return gf_cosLatitude(lat) * kGroundFrameMPerDeg;
}

// (lat, lon) in metres east and north of the origin.
Vec lf_toLocal(double originLat, double originLon, double lat, double lon)
{
    double dlon = lon - originLon;
    if (dlon > 180.0)
        dlon -= 360.0;
    else if (dlon < -180.0)
        dlon += 360.0;
    return {dlon * lf_eastScale(originLat), (lat - originLat) * kGroundFrameMPerDeg};
}

struct QuadPoint {
    Vec pos;
    double heading = kNaN; // raw atan2
};
QuadPoint lf_quadratic(double t, Vec control, Vec end)
{
    QuadPoint q;
    q.pos = (2.0 * t * (1.0 - t)) * control + (t * t) * end;
    Vec d = (2.0 * (1.0 - t)) * control + (2.0 * t) * (end - control);
    if (lf_norm2(d) <= kTiny)
        d = 2.0 * (end - 2.0 * control);
    if (lf_norm2(d) > kTiny)
        q.heading = std::atan2(d.e, d.n);
    return q;
}

struct Hermite {
    Vec pos;
    Vec d;
};
Hermite lf_hermite(double t, Vec end, Vec t0, Vec t1)
{
    t = std::clamp(t, 0.0, 1.0);
    const double t2 = t * t, t3 = t2 * t;
    Hermite h;
    h.pos = (t3 - 2.0 * t2 + t) * t0 + (-2.0 * t3 + 3.0 * t2) * end + (t3 - t2) * t1;
    h.d = (3.0 * t2 - 4.0 * t + 1.0) * t0 + (6.0 * t - 6.0 * t2) * end + (3.0 * t2 - 2.0 * t) * t1;
    return h;
}

// The curve parameter at which the share s of the length is reached.
template <size_t N>
double lf_parameterAt(const std::array<double, N>& table, double s)
{
    const auto it = std::lower_bound(table.begin(), table.end(), s);
    if (it == table.begin())
        return 0.0;
    if (it == table.end())
        return 1.0;
    const size_t i = static_cast<size_t>(it - table.begin());
    const double span = table[i] - table[i - 1];
    const double f = span > 0.0 ? (s - table[i - 1]) / span : 0.0;
    return (static_cast<double>(i - 1) + f) / static_cast<double>(N - 1);
}

Vec lf_turnEnd(const GroundTurn& t)
{
    return {t.endEast, t.endNorth};
}

} // namespace

bool GroundCurve::valid() const noexcept
{
    return !std::isnan(controlEast) && !std::isnan(controlNorth);
}

void gf_invalidateGroundCurve(GroundCurve& curve) noexcept
{
    curve.startTime = kNaN;
    curve.endTime = kNaN;
    curve.controlEast = kNaN;
    curve.controlNorth = kNaN;
    curve.arcTable.fill(0.0);
}

void gf_clearGroundTurn(GroundTurn& turn) noexcept
{
    turn = GroundTurn{};
    turn.status = GroundTurnStatus::invalidInput;
}

void gf_buildGroundCurve(GroundCurve& curve, const GroundCurveInput& in) noexcept
{
    if (!lf_validTimed(in.a) || !lf_validTimed(in.b) || !lf_validPoint(in.c) || !std::isfinite(in.endTime) ||
        !(in.a.time < in.endTime)) {
        gf_invalidateGroundCurve(curve);
        return;
    }
    curve.originLat = in.a.lat;
    curve.originLon = in.a.lon;
    curve.startTime = in.a.time;
    curve.endTime = in.endTime;
    const Vec control = lf_toLocal(in.a.lat, in.a.lon, in.b.lat, in.b.lon);
    const Vec end = lf_toLocal(in.a.lat, in.a.lon, in.c.latitude, in.c.longitude);
    curve.controlEast = control.e;
    curve.controlNorth = control.n;
    curve.endEast = end.e;
    curve.endNorth = end.n;
    curve.arcTable[0] = 0.0;
    Vec prev{};
    double total = 0.0;
    for (size_t k = 1; k <= 64; ++k) {
        const Vec p = lf_quadratic(static_cast<double>(k) * 0.015625, control, end).pos;
        total += lf_len(p - prev);
        curve.arcTable[k] = total;
        prev = p;
    }
    if (!std::isfinite(total) || !(total > 0.0)) {
        gf_invalidateGroundCurve(curve);
        return;
    }
    for (double& v : curve.arcTable)
        v /= total;
}

GroundPose gf_groundCurveAt(const GroundCurve& c, double time) noexcept
{
    GroundPose out;
    const double span = c.endTime - c.startTime;
    if (!c.valid() || !std::isfinite(time) || !(time >= c.startTime && time <= c.endTime) || !std::isfinite(span) ||
        !(span > 0.0))
        return out;
    const double s = (time - c.startTime) / span;
    if (!std::isfinite(s) || s < 0.0 || s > 1.0)
        return out;
    const QuadPoint q = lf_quadratic(lf_parameterAt(c.arcTable, s), {c.controlEast, c.controlNorth},
                                     {c.endEast, c.endNorth});
    if (std::isnan(q.pos.e) || std::isnan(q.pos.n) || !std::isfinite(q.heading))
        return out;
    out.lat = q.pos.n / kGroundFrameMPerDeg + c.originLat;
    out.lon = q.pos.e / (gf_cosLatitude(c.originLat) * kGroundFrameMPerDeg) + c.originLon;
    out.heading = gf_normalizeAngle(q.heading);
    out.valid = 1;
    return out;
}

bool gf_buildGroundTurn(GroundTurn& turn, const GroundTurnParams& p) noexcept
{
    gf_clearGroundTurn(turn);
    const auto fail = [&turn](GroundTurnStatus s) {
        turn.status = s;
        return false;
    };
    const auto validHeading = [](double h) { return std::isfinite(h) && h >= 0.0 && h < 2.0 * std::numbers::pi; };
    if (!lf_validPoint(p.p0) || !lf_validPoint(p.p1) || !lf_validPoint(p.p2) || !validHeading(p.startHeading) ||
        (p.hasEndHeading && !validHeading(p.endHeading)))
        return fail(GroundTurnStatus::invalidInput);

    turn.originLat = p.p0.latitude;
    turn.originLon = p.p0.longitude;
    turn.stopAtCorner = p.stopAtCorner;
    const Vec corner = lf_toLocal(p.p0.latitude, p.p0.longitude, p.p1.latitude, p.p1.longitude);
    const Vec last = lf_toLocal(p.p0.latitude, p.p0.longitude, p.p2.latitude, p.p2.longitude);
    turn.cornerEast = corner.e;
    turn.cornerNorth = corner.n;
    const Vec leg1 = corner;
    const Vec leg2 = last - corner;
    const double l1 = lf_len(leg1), l2 = lf_len(leg2);
    if (l1 < 2.0 || l2 < 2.0)
        return fail(GroundTurnStatus::legTooShort);
    if (l1 > 250.0 || l2 > 250.0)
        return fail(GroundTurnStatus::legOutOfRange);

    const double b1 = lf_headingOf(leg1), b2 = lf_headingOf(leg2);
    const double tau = gf_wrapAngle(b2 - b1);
    const double delta = gf_wrapAngle(b2 - p.startHeading);
    turn.turnAngleDeg = std::fabs(tau) / kDegToRad;
    turn.startMismatchDeg = std::fabs(gf_wrapAngle(b1 - p.startHeading)) / kDegToRad;

    std::array<double, 7> tune = p.tuning;
    for (size_t i = 0; i < tune.size(); ++i)
        if (!(tune[i] > 0.0))
            tune[i] = kTuningDefaults[i];

    // Below 5 degrees of turn the path is one smooth curve, not a corner.
    constexpr double kCornerTurnRad = 5.0 * kDegToRad;
    if (std::fabs(delta) <= kCornerTurnRad) {
        turn.cornerMode = 0;
        if (turn.turnAngleDeg <= 3.0)
            return fail(GroundTurnStatus::turnTooSmall);
    } else if (turn.turnAngleDeg <= 3.0) {
        turn.cornerMode = 1;
    } else {
        turn.cornerMode = std::signbit(delta) == std::signbit(tau) && turn.startMismatchDeg < 20.0 ? 0 : 1;
    }
    if (turn.turnAngleDeg >= 165.0)
        return fail(GroundTurnStatus::turnTooLarge);
    if (turn.startMismatchDeg > std::max(tune[kTuneMaxMismatch], 70.0))
        return fail(GroundTurnStatus::startHeadingMismatch);

    Vec end = last, t0, t1;
    if (p.stopAtCorner) {
        end = corner;
        t0 = l1 * lf_unitOf(p.startHeading);
        t1 = (l1 * 0.5 / l2) * leg2;
    } else {
        t0 = (tune[kTuneStartTangent] * l1) * lf_unitOf(p.startHeading);
        t1 = p.hasEndHeading ? (2.0 * l2) * lf_unitOf(p.endHeading) : 2.0 * leg2;
    }
    turn.endEast = end.e;
    turn.endNorth = end.n;
    turn.startTangentEast = t0.e;
    turn.startTangentNorth = t0.n;
    turn.endTangentEast = t1.e;
    turn.endTangentNorth = t1.n;

    const double deltaDeg = delta / kDegToRad;
    // A turn of nearly a half circle has no usable tangents.
    constexpr double kMaxTurnRad = 175.0 * kDegToRad;
    if (!(lf_norm2(t0) > kTinyD) || !(std::fabs(delta) < kMaxTurnRad))
        return fail(GroundTurnStatus::invalidTangent);
    if (turn.cornerMode &&
        (std::fabs(deltaDeg) < 10.0 || std::fabs(deltaDeg) > tune[kTuneMaxTurn] || turn.turnAngleDeg > 60.0 ||
         turn.startMismatchDeg > tune[kTuneMaxMismatch] || l1 < tune[kTuneMinLeg] || l2 < tune[kTuneMinLeg] ||
         l1 + l2 < tune[kTuneMinLegSum]))
        return fail(GroundTurnStatus::invalidTangent);

    const Vec right1{leg1.n / l1, -leg1.e / l1};
    const double chordLen = lf_len(end);
    const Vec chord = chordLen > 0.0 ? (1.0 / chordLen) * end : Vec{};
    Vec prev{};
    double prevHeading = std::atan2(t0.e, t0.n);
    double length = 0.0, running = 0.0, runMax = 0.0, runMin = 0.0, absSum = 0.0;
    double nearCorner = l1, outside = 0.0, chordDev = 0.0;
    for (size_t k = 1; k <= 128; ++k) {
        const Hermite h = lf_hermite(static_cast<double>(k) * 0.0078125, end, t0, t1);
        if (!std::isfinite(h.pos.e) || !std::isfinite(h.pos.n) || !std::isfinite(h.d.e) || !std::isfinite(h.d.n) ||
            !(lf_norm2(h.d) > kTinyD))
            return fail(GroundTurnStatus::invalidTangent);
        const double heading = std::atan2(h.d.e, h.d.n);
        const double dh = gf_wrapAngle(heading - prevHeading);
        const double segment = lf_len(h.pos - prev);
        if (!turn.cornerMode) {
            if ((tau > 0.0 && dh < -kHalfDegreeRad) || (tau < 0.0 && dh > kHalfDegreeRad))
                return fail(GroundTurnStatus::invalidTangent);
        } else if (segment > 0.0 && std::fabs(dh) / kDegToRad / segment > tune[kTuneCurvature]) {
            return fail(GroundTurnStatus::invalidTangent);
        }
        length += segment;
        turn.arcTable[k] = length;
        running += dh;
        runMax = std::max(runMax, running);
        runMin = std::min(runMin, running);
        absSum += std::fabs(dh);
        nearCorner = std::min(nearCorner, lf_len(h.pos - corner));
        const double rightOffset = h.pos.e * right1.e + h.pos.n * right1.n;
        outside = std::max(outside, tau > 0.0 ? -rightOffset : rightOffset);
        chordDev = chordLen > 0.0 ? std::max(chordDev, std::fabs(h.pos.e * chord.n - h.pos.n * chord.e))
                                  : std::max(chordDev, lf_len(h.pos));
        prev = h.pos;
        prevHeading = heading;
    }
    turn.outsideDeviation = outside;
    turn.chordDeviation = chordDev;
    if (turn.cornerMode &&
        (runMin < std::min(delta, 0.0) - 25.0 * kDegToRad || runMax > std::max(delta, 0.0) + 25.0 * kDegToRad ||
         absSum > std::fabs(delta) + 50.0 * kDegToRad || nearCorner > std::min(l1, l2) * tune[kTuneCornerFrac]))
        return fail(GroundTurnStatus::invalidTangent);
    if (!std::isfinite(length) || !(length > 0.0) || length > (l1 + l2) * 1.6)
        return fail(GroundTurnStatus::excessiveLength);
    turn.length = length;
    for (double& v : turn.arcTable)
        v /= length;
    turn.status = GroundTurnStatus::none;
    return true;
}

GroundPose gf_groundTurnAt(const GroundTurn& turn, double fraction) noexcept
{
    GroundPose out;
    if (turn.status != GroundTurnStatus::none || !(turn.length > 0.0) || !std::isfinite(fraction))
        return out;
    const double t = lf_parameterAt(turn.arcTable, std::clamp(fraction, 0.0, 1.0));
    const Hermite h = lf_hermite(t, lf_turnEnd(turn), {turn.startTangentEast, turn.startTangentNorth},
                                 {turn.endTangentEast, turn.endTangentNorth});
    if (!(lf_norm2(h.d) > kTinyD))
        return out;
    const double c = gf_cosLatitude(turn.originLat);
    if (std::fabs(c) >= 1e-9) {
        out.lat = h.pos.n / kGroundFrameMPerDeg + turn.originLat;
        out.lon = h.pos.e / (c * kGroundFrameMPerDeg) + turn.originLon;
    }
    if (!lf_validPoint(out.lat, out.lon))
        return out;
    out.heading = gf_normalizeAngle(std::atan2(h.d.e, h.d.n));
    out.valid = 1;
    return out;
}

std::string_view gf_groundTurnStatusText(const GroundTurn& turn) noexcept
{
    switch (turn.status) {
    case GroundTurnStatus::none: return "none";
    case GroundTurnStatus::invalidInput: return "invalid input";
    case GroundTurnStatus::legTooShort: return "leg too short";
    case GroundTurnStatus::legOutOfRange: return "leg out of range";
    case GroundTurnStatus::turnTooSmall: return "turn too small";
    case GroundTurnStatus::turnTooLarge: return "turn too large";
    case GroundTurnStatus::startHeadingMismatch: return "start heading mismatch";
    case GroundTurnStatus::invalidTangent: return "invalid tangent";
    case GroundTurnStatus::excessiveLength: return "excessive length";
    }
    return "unknown";
}
