// Great-circle helpers.
#include "core/geodesy.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#include "core/units.h"

namespace {

// Twice the earth radius in nautical miles (one NM per minute of arc).
constexpr double kEarthDiameterNm = 2.0 * kNmPerDegree * kRadToDeg;
// Radians of arc per foot on that sphere.
constexpr double kRadiansPerFoot = 1.0 / (kFeetPerNm * kNmPerDegree * kRadToDeg);

// In double precision the sine of an angle below 2^-26 radians is the angle
// itself, and below 2^-27 the cosine is 1 and the arc tangent of a value is
// the value: the library functions give exactly these, so the small angles
// of a step of a tick (a few metres) skip the calls, results unchanged.
constexpr double kSineIsAngle = 0x1p-26;
constexpr double kCosineIsOne = 0x1p-27;

inline double lf_sin(double x) noexcept
{
    return std::fabs(x) < kSineIsAngle ? x : std::sin(x);
}

// The haversine distance from the cosines of both latitudes.
inline double lf_haversineNm(const LatLon& from, const LatLon& to, double cosFrom, double cosTo) noexcept
{
    const double dPhi = (to.latitude - from.latitude) * kDegToRad;
    const double dLambda = (to.longitude - from.longitude) * kDegToRad;
    const double sPhi = lf_sin(dPhi / 2.0);
    const double sLambda = lf_sin(dLambda / 2.0);
    // Near the antipodes rounding can take the term just above 1.
    const double a = std::clamp(sPhi * sPhi + cosFrom * cosTo * sLambda * sLambda, 0.0, 1.0);
    const double y = std::sqrt(a);
    const double x = std::sqrt(1.0 - a);
    return kEarthDiameterNm * (x == 1.0 && y < kCosineIsOne ? y : std::atan2(y, x));
}

// The initial bearing from the sines and cosines of both latitudes.
inline double lf_bearing(const LatLon& from, const LatLon& to, double sinFrom, double cosFrom, double sinTo,
                         double cosTo) noexcept
{
    const double dLambda = (to.longitude - from.longitude) * kDegToRad;
    double sinLambda = dLambda;
    double cosLambda = 1.0;
    if (!(std::fabs(dLambda) < kCosineIsOne)) {
        sinLambda = std::sin(dLambda);
        cosLambda = std::cos(dLambda);
    }
    double theta = std::atan2(sinLambda * cosTo, cosFrom * sinTo - sinFrom * cosTo * cosLambda);
    if (theta < 0.0)
        theta += kTwoPi;
    if (theta >= kTwoPi) // a tiny negative angle rounds up to 2*pi
        theta = 0.0;
    return theta;
}

// The great-circle sums of one thread keep their latest inputs and results:
// the checks of one report ask for the same points and pairs of points again
// and again (the last report to the new one, the aircraft to either), and a
// sine or an arc tangent costs far more than the look-up. Points are
// compared bit for bit; a NaN is never kept.
class SphereMemo {
public:
    LatitudeTrig latitude(double latitudeDeg) noexcept
    {
        if (std::isnan(latitudeDeg))
            return gf_latitudeTrig(latitudeDeg);
        const auto bits = std::bit_cast<uint64_t>(latitudeDeg);
        for (const LatitudeTrig& kept : m_latitudes)
            if (std::bit_cast<uint64_t>(kept.latitude) == bits)
                return kept;
        LatitudeTrig& slot = m_latitudes[m_nextLatitude];
        m_nextLatitude = (m_nextLatitude + 1) % m_latitudes.size();
        slot = gf_latitudeTrig(latitudeDeg);
        return slot;
    }

    struct Pair {
        std::array<uint64_t, 4> key{};
        bool used = false;
        bool hasDistance = false;
        bool hasBearing = false;
        double distanceNm = 0.0;
        double bearing = 0.0;
    };

    // The pair's entry, a fresh one when it is not kept (or holds a NaN).
    Pair& pair(const LatLon& from, const LatLon& to) noexcept
    {
        const std::array<uint64_t, 4> key{std::bit_cast<uint64_t>(from.latitude), std::bit_cast<uint64_t>(from.longitude),
                                          std::bit_cast<uint64_t>(to.latitude), std::bit_cast<uint64_t>(to.longitude)};
        for (Pair& kept : m_pairs)
            if (kept.used && kept.key == key)
                return kept;
        Pair& slot = m_pairs[m_nextPair];
        m_nextPair = (m_nextPair + 1) % m_pairs.size();
        slot = Pair{};
        slot.key = key;
        slot.used = !(std::isnan(from.latitude) || std::isnan(from.longitude) || std::isnan(to.latitude) ||
                      std::isnan(to.longitude));
        return slot;
    }

private:
    std::array<LatitudeTrig, 8> m_latitudes{};
    std::array<Pair, 4> m_pairs{};
    size_t m_nextLatitude = 0;
    size_t m_nextPair = 0;
};

thread_local SphereMemo t_sphereMemo;

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
    SphereMemo& memo = t_sphereMemo;
    SphereMemo::Pair& kept = memo.pair(from, to);
    if (!kept.hasDistance) {
        kept.distanceNm =
            lf_haversineNm(from, to, memo.latitude(from.latitude).cos, memo.latitude(to.latitude).cos);
        kept.hasDistance = true;
    }
    return kept.distanceNm;
}

double gf_initialBearing(const LatLon& from, const LatLon& to) noexcept
{
    SphereMemo& memo = t_sphereMemo;
    SphereMemo::Pair& kept = memo.pair(from, to);
    if (!kept.hasBearing) {
        const LatitudeTrig atFrom = memo.latitude(from.latitude);
        const LatitudeTrig atTo = memo.latitude(to.latitude);
        kept.bearing = lf_bearing(from, to, atFrom.sin, atFrom.cos, atTo.sin, atTo.cos);
        kept.hasBearing = true;
    }
    return kept.bearing;
}

LatitudeTrig gf_latitudeTrig(double latitudeDeg) noexcept
{
    const double phi = latitudeDeg * kDegToRad;
    return {latitudeDeg, std::sin(phi), std::cos(phi)};
}

double gf_distanceNm(const LatLon& from, const LatLon& to, const LatitudeTrig& atFrom,
                     const LatitudeTrig& atTo) noexcept
{
    return lf_haversineNm(from, to, atFrom.cos, atTo.cos);
}

double gf_initialBearing(const LatLon& from, const LatLon& to, const LatitudeTrig& atFrom,
                         const LatitudeTrig& atTo) noexcept
{
    return lf_bearing(from, to, atFrom.sin, atFrom.cos, atTo.sin, atTo.cos);
}

LatitudeTrig LatitudeTrigMemo::of(double latitudeDeg) noexcept
{
    // Compared bit for bit: -0 and +0 have sines of their own sign. A NaN
    // is never kept (an empty entry's latitude is one).
    if (std::isnan(latitudeDeg))
        return gf_latitudeTrig(latitudeDeg);
    const auto bits = std::bit_cast<uint64_t>(latitudeDeg);
    for (const LatitudeTrig& kept : m_kept)
        if (std::bit_cast<uint64_t>(kept.latitude) == bits)
            return kept;
    m_newest ^= 1;
    m_kept[m_newest] = gf_latitudeTrig(latitudeDeg);
    return m_kept[m_newest];
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
