// Great-circle helpers.
#include "core/geodesy.h"

#include <algorithm>
#include <cmath>

#include "core/units.h"

namespace {

// Twice the earth radius in nautical miles (one NM per minute of arc).
constexpr double kEarthDiameterNm = 2.0 * kNmPerDegree * kRadToDeg;
// Radians of arc per foot on that sphere.
constexpr double kRadiansPerFoot = 1.0 / (kFeetPerNm * kNmPerDegree * kRadToDeg);

} // namespace

double gf_normalizeAngle(double a) noexcept
{
    if (!std::isfinite(a))
        return 0.0;
    // Mostly already in range, where the division's remainder is `a` itself
    // (and costly: the heading of every aircraft passes here every tick).
    if (a >= 0.0 && a < kTwoPi)
        return a;
    double r = std::fmod(a, kTwoPi);
    if (r < 0.0)
        r += kTwoPi;
    if (r >= kTwoPi)
        r = 0.0;
    return r;
}

double gf_longitudeDelta(double a, double b) noexcept
{
    const double d = a - b;
    return std::fabs(d) <= 180.0 ? d : std::remainder(d, 360.0);
}

double gf_distanceNm(const LatLon& from, const LatLon& to) noexcept
{
    const double phi1 = from.latitude * kDegToRad;
    const double phi2 = to.latitude * kDegToRad;
    const double dPhi = (to.latitude - from.latitude) * kDegToRad;
    const double dLambda = (to.longitude - from.longitude) * kDegToRad;
    const double sPhi = std::sin(dPhi / 2.0);
    const double sLambda = std::sin(dLambda / 2.0);
    // Near the antipodes rounding can take the term just above 1.
    const double a = std::clamp(sPhi * sPhi + std::cos(phi1) * std::cos(phi2) * sLambda * sLambda, 0.0, 1.0);
    return kEarthDiameterNm * std::atan2(std::sqrt(a), std::sqrt(1.0 - a));
}

double gf_initialBearing(const LatLon& from, const LatLon& to) noexcept
{
    const double phi1 = from.latitude * kDegToRad;
    const double phi2 = to.latitude * kDegToRad;
    const double dLambda = (to.longitude - from.longitude) * kDegToRad;
    double theta = std::atan2(std::sin(dLambda) * std::cos(phi2),
                              std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda));
    if (theta < 0.0)
        theta += kTwoPi;
    if (theta >= kTwoPi) // a tiny negative angle rounds up to 2*pi
        theta = 0.0;
    return theta;
}

LatLon gf_destinationPoint(const LatLon& start, const BearingDistance& move) noexcept
{
    const double delta = move.distanceFt * kRadiansPerFoot;
    const double theta = move.bearing;
    const double phi1 = start.latitude * kDegToRad;
    const double lambda1 = start.longitude * kDegToRad;
    // A path that ends on a pole can round the sine just beyond 1.
    const double phi2 = std::asin(
        std::clamp(std::sin(phi1) * std::cos(delta) + std::cos(phi1) * std::sin(delta) * std::cos(theta), -1.0, 1.0));
    double lambda2 = lambda1 + std::atan2(std::sin(theta) * std::sin(delta) * std::cos(phi1),
                                          std::cos(delta) - std::sin(phi1) * std::sin(phi2));
    lambda2 = std::remainder(lambda2, kTwoPi);
    return {phi2 * kRadToDeg, lambda2 * kRadToDeg};
}

double gf_cosLatitude(double latitudeDeg) noexcept
{
    return std::cos(latitudeDeg * kDegToRad);
}

FlatOffsetNm gf_flatOffsetNm(const LatLon& from, const LatLon& to, double cosLat) noexcept
{
    return gf_flatOffsetNmOfDegrees(to.latitude - from.latitude, gf_longitudeDelta(to.longitude, from.longitude), cosLat);
}

FlatOffsetNm gf_flatOffsetNmOfDegrees(double northDeg, double eastDeg, double cosLat) noexcept
{
    return {northDeg * kNmPerDegree, eastDeg * kNmPerDegree * cosLat};
}
