// Great-circle distance, bearing and destination on the one-NM-per-minute sphere.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "core/geodesy.h"

namespace {
constexpr double kPi = 3.141592653589793;
constexpr double kFeetPerNm = 6076.115485564304;
} // namespace

TEST(Geodesy, NormalizeAngle)
{
    EXPECT_NEAR(gf_normalizeAngle(-0.5), 2 * kPi - 0.5, 1e-12);
    EXPECT_EQ(gf_normalizeAngle(4 * kPi), 0.0);
    EXPECT_EQ(gf_normalizeAngle(0.0), 0.0);
    EXPECT_NEAR(gf_normalizeAngle(7.0), 7.0 - 2 * kPi, 1e-12);
    EXPECT_NEAR(gf_normalizeAngle(-7.0), 4 * kPi - 7.0, 1e-12);
    EXPECT_EQ(gf_normalizeAngle(-1e-20), 0.0); // -tiny + 2*pi rounds to 2*pi, which is 0
    EXPECT_EQ(gf_normalizeAngle(std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(gf_normalizeAngle(-std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(gf_normalizeAngle(std::numeric_limits<double>::quiet_NaN()), 0.0);
    for (double a : {-100.0, -6.3, -1e-9, 1.0, 6.2831853, 6.3, 1000.0}) {
        const double r = gf_normalizeAngle(a);
        EXPECT_GE(r, 0.0) << a;
        EXPECT_LT(r, 2 * kPi) << a;
    }
}

TEST(Geodesy, OneDegreeOfLatitudeIsSixtyMiles)
{
    EXPECT_NEAR(gf_distanceNm({52.0, 4.0}, {53.0, 4.0}), 60.0, 1e-9);
    EXPECT_NEAR(gf_distanceNm({-0.5, 0.0}, {0.5, 0.0}), 60.0, 1e-9);
    // Along the equator too, and across the date line.
    EXPECT_NEAR(gf_distanceNm({0.0, 10.0}, {0.0, 11.0}), 60.0, 1e-9);
    EXPECT_NEAR(gf_distanceNm({0.0, 179.5}, {0.0, -179.5}), 60.0, 1e-9);
    EXPECT_EQ(gf_distanceNm({52.0, 4.0}, {52.0, 4.0}), 0.0);
    // Half the world: pi * 3437.75 NM.
    EXPECT_NEAR(gf_distanceNm({0.0, 0.0}, {0.0, 180.0}), 10800.0, 1e-6);
}

TEST(Geodesy, InitialBearingIsNeverNegative)
{
    EXPECT_NEAR(gf_initialBearing({0.0, 0.0}, {0.0, 1.0}), kPi / 2, 1e-12);
    EXPECT_NEAR(gf_initialBearing({0.0, 0.0}, {0.0, -1.0}), 3 * kPi / 2, 1e-12);
    EXPECT_NEAR(gf_initialBearing({10.0, 5.0}, {11.0, 5.0}), 0.0, 1e-12);
    EXPECT_NEAR(gf_initialBearing({10.0, 5.0}, {9.0, 5.0}), kPi, 1e-12);
    // Eastwards across the date line.
    EXPECT_NEAR(gf_initialBearing({0.0, 179.9}, {0.0, -179.9}), kPi / 2, 1e-9);
    const double b = gf_initialBearing({52.0, 4.0}, {51.0, 3.0}); // south-west
    EXPECT_GT(b, kPi);
    EXPECT_LT(b, 3 * kPi / 2);
}

TEST(Geodesy, DestinationCrossesTheDateLine)
{
    const LatLon p = gf_destinationPoint({0.0, 179.9}, {kPi / 2, 20 * kFeetPerNm});
    EXPECT_NEAR(p.latitude, 0.0, 1e-9);
    EXPECT_NEAR(p.longitude, -179.7667, 0.001);

    const LatLon w = gf_destinationPoint({0.0, -179.9}, {3 * kPi / 2, 20 * kFeetPerNm});
    EXPECT_NEAR(w.longitude, 179.7667, 0.001);
}

TEST(Geodesy, DestinationAgreesWithDistanceAndBearing)
{
    const LatLon start{52.308, 4.764};
    for (double bearing : {0.0, 0.7, kPi / 2, 2.5, kPi, 4.0, 5.9}) {
        const LatLon end = gf_destinationPoint(start, {bearing, 3 * kFeetPerNm});
        EXPECT_NEAR(gf_distanceNm(start, end), 3.0, 1e-6) << bearing;
        EXPECT_NEAR(gf_initialBearing(start, end), bearing, 1e-6) << bearing;
    }
    const LatLon north = gf_destinationPoint({50.0, 8.0}, {0.0, 60 * kFeetPerNm});
    EXPECT_NEAR(north.latitude, 51.0, 1e-6);
    EXPECT_NEAR(north.longitude, 8.0, 1e-9);
    const LatLon same = gf_destinationPoint({50.0, 8.0}, {1.0, 0.0});
    EXPECT_NEAR(same.latitude, 50.0, 1e-12);
    EXPECT_NEAR(same.longitude, 8.0, 1e-12);
}

TEST(Geodesy, InitialBearingOfATinyWestwardStepIsZeroNotTwoPi)
{
    // The angle is a tiny negative number that rounds to 2*pi once 2*pi is added.
    const double b = gf_initialBearing({10.0, 0.0}, {11.0, -1e-20});
    EXPECT_EQ(b, 0.0);
}

TEST(Geodesy, AntipodesAndPolesGiveNumbersNotNaN)
{
    // Rounding can push the haversine term above 1 or the asin argument above 1.
    int checked = 0;
    for (double lat = -89.0; lat <= 89.0; lat += 0.37) {
        for (double lon = -179.0; lon <= 179.0; lon += 7.3) {
            const double d = gf_distanceNm({lat, lon}, {-lat, lon > 0 ? lon - 180.0 : lon + 180.0});
            ASSERT_TRUE(std::isfinite(d)) << lat << " " << lon;
            EXPECT_NEAR(d, 10800.0, 1e-3);
            ++checked;
        }
        // Straight north to the pole, and across it to the other side.
        const double toPoleFt = (90.0 - lat) * 60.0 * kFeetPerNm;
        const LatLon pole = gf_destinationPoint({lat, 20.0}, {0.0, toPoleFt});
        ASSERT_TRUE(std::isfinite(pole.latitude) && std::isfinite(pole.longitude)) << lat;
        EXPECT_NEAR(pole.latitude, 90.0, 1e-5);
        const LatLon south = gf_destinationPoint({lat, 20.0}, {kPi, (90.0 + lat) * 60.0 * kFeetPerNm});
        ASSERT_TRUE(std::isfinite(south.latitude) && std::isfinite(south.longitude)) << lat;
        EXPECT_NEAR(south.latitude, -90.0, 1e-5);
    }
    EXPECT_GT(checked, 1000);
}

TEST(Geodesy, FlatOffsetScalesLongitudeByTheGivenCosine)
{
    // At 60 degrees a degree of longitude is 30 NM; a minute of latitude one NM.
    const FlatOffsetNm o = gf_flatOffsetNm({60.0, 10.0}, {60.05, 9.9}, gf_cosLatitude(60.0));
    EXPECT_NEAR(o.north, 3.0, 1e-9);
    EXPECT_NEAR(o.east, -3.0, 1e-9);
    EXPECT_NEAR(o.length(), 3.0 * std::sqrt(2.0), 1e-9);
    // The short way round over the date line, unless the caller formed a plain difference.
    EXPECT_NEAR(gf_flatOffsetNm({0.0, 179.95}, {0.0, -179.95}, 1.0).east, 6.0, 1e-9);
    EXPECT_NEAR(gf_flatOffsetNmOfDegrees(0.0, -179.95 - 179.95, 1.0).east, -21594.0, 1e-9);
    EXPECT_NEAR(gf_flatOffsetNmOfDegrees(0.04, 0.05, 0.6).squared(), 2.4 * 2.4 + 1.8 * 1.8, 1e-9);
}

namespace {

// The haversine and the initial bearing as plain formulas, every sine and
// cosine called: what the kept sines and skipped calls must reproduce.
double lf_plainDistanceNm(const LatLon& from, const LatLon& to)
{
    const double k = kPi / 180.0;
    const double sPhi = std::sin((to.latitude - from.latitude) * k / 2.0);
    const double sLambda = std::sin((to.longitude - from.longitude) * k / 2.0);
    const double a = std::clamp(
        sPhi * sPhi + std::cos(from.latitude * k) * std::cos(to.latitude * k) * sLambda * sLambda, 0.0, 1.0);
    return 2.0 * 60.0 * (180.0 / kPi) * std::atan2(std::sqrt(a), std::sqrt(1.0 - a));
}

double lf_plainBearing(const LatLon& from, const LatLon& to)
{
    const double k = kPi / 180.0;
    const double phi1 = from.latitude * k;
    const double phi2 = to.latitude * k;
    const double dLambda = (to.longitude - from.longitude) * k;
    double theta = std::atan2(std::sin(dLambda) * std::cos(phi2),
                              std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda));
    if (theta < 0.0)
        theta += 2 * kPi;
    if (theta >= 2 * kPi)
        theta = 0.0;
    return theta;
}

bool lf_sameBits(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

} // namespace

// The memo of points and pairs, the kept latitudes of a moving aircraft and
// the calls skipped for tiny angles give what the formulas give, bit for
// bit: steps on both sides of the small-angle limits, pairs asked for again
// and in turn, signed zeros and NaN.
TEST(Geodesy, KeptSinesAndSkippedCallsChangeNoBit)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<std::pair<LatLon, LatLon>> pairs;
    for (double step : {0.0, 1e-9, 4e-7, 8.5e-7, 1.7e-6, 3.4e-6, 1e-4, 0.01, 2.0})
        for (double dir : {0.0, 0.7, 1.6, 3.9, 5.5})
            pairs.push_back({{52.3, 4.76}, {52.3 + step * std::cos(dir), 4.76 + step * std::sin(dir)}});
    pairs.push_back({{0.0, 0.0}, {-0.0, -0.0}});
    pairs.push_back({{-0.0, -0.0}, {0.0, 0.0}});
    pairs.push_back({{0.0, 10.0}, {1e-12, 10.0}});
    pairs.push_back({{nan, 4.0}, {52.0, 4.0}});
    pairs.push_back({{52.0, 4.0}, {52.0, nan}});
    // An empty memo holds no latitude, not even a NaN one.
    LatitudeTrigMemo fresh;
    EXPECT_TRUE(std::isnan(fresh.of(nan).cos));
    LatitudeTrigMemo kept;
    for (int round = 0; round < 3; ++round) {
        for (size_t i = 0; i < pairs.size(); ++i) {
            // In turn with the pair before, and twice, as the checks ask.
            const auto& [from, to] = pairs[round == 1 ? pairs.size() - 1 - i : i];
            for (int again = 0; again < 2; ++again) {
                EXPECT_TRUE(lf_sameBits(gf_distanceNm(from, to), lf_plainDistanceNm(from, to))) << i;
                EXPECT_TRUE(lf_sameBits(gf_initialBearing(from, to), lf_plainBearing(from, to))) << i;
            }
            const LatitudeTrig atFrom = kept.of(from.latitude);
            const LatitudeTrig atTo = kept.of(to.latitude);
            EXPECT_TRUE(lf_sameBits(gf_distanceNm(from, to, atFrom, atTo), lf_plainDistanceNm(from, to))) << i;
            EXPECT_TRUE(lf_sameBits(gf_initialBearing(from, to, atFrom, atTo), lf_plainBearing(from, to))) << i;
        }
    }
}
