// Landing and take-off rolls whose reports the feed places beside the
// runway's centre line, played against the stand-in simulator: generated
// cases on the runways of Las Vegas and Los Angeles, judged on the trace.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "core/geodesy.h"
#include "engine/geometry.h"
#include "runways/runway_table.h"
#include "standins/track_generator.h"
#include "tests/engine/runway_traffic_fixture.h"

namespace {

using kvr::standin::RunwayEndGeometry;
using kvr::standin::TrackPoint;

constexpr double kDeg = 3.141592653589793 / 180.0;

double metres(const LatLon& a, const LatLon& b)
{
    return gf_distanceNm(a, b) * 1852.0;
}

using kvr::test::kLasVegas;
using kvr::test::kLosAngeles;
using Airport = kvr::test::RecordedAirport;
using Write = kvr::test::TraceWrite;
using kvr::test::movedMetres;

class RunwayRollTest : public kvr::test::RunwayTrafficTest {
protected:
    RunwayRollTest() : RunwayTrafficTest("kelo_runway_roll_trace.jsonl") {}
    // The roll on the ground from the first write above `fromKt` (or the
    // first on the ground) to the last one above 40 kt, judged on its motion:
    // the largest angle between heading and way (over moves of 2 m or more)
    // and the fastest change of the shown speed (over half a second).
    struct Roll {
        size_t writes = 0;
        double worstOffDeg = 0.0, worstOffAt = 0.0;
        double worstKtPerS = 0.0, worstKtPerSAt = 0.0;
        std::optional<Write> first;
    };
    Roll roll(bool landing)
    {
        const std::vector<Write> w = traceWrites();
        Roll r;
        size_t lo = 0, hi = 0;
        while (lo < w.size() && !(w[lo].onGround && (landing || w[lo].kts > 40.0)))
            ++lo;
        for (size_t i = lo; i < w.size() && w[i].onGround; ++i)
            if (w[i].kts > 40.0)
                hi = i + 1;
        if (lo >= hi)
            return r;
        r.first = w[lo];
        for (size_t i = lo + 1, from = lo; i < hi; ++i) {
            ++r.writes;
            if (metres(w[from].at, w[i].at) < 2.0)
                continue;
            const double way = gf_initialBearing(w[from].at, w[i].at) / kDeg;
            const double off = std::fabs(std::remainder(way - w[i].hdg, 360.0));
            if (off > r.worstOffDeg) {
                r.worstOffDeg = off;
                r.worstOffAt = w[i].t;
            }
            from = i;
        }
        for (size_t i = lo, j = lo; i < hi; ++i) {
            while (w[i].t - w[j].t > 0.5)
                ++j;
            if (w[i].t - w[j].t < 0.45)
                continue;
            const double rate = std::fabs(w[i].kts - w[j].kts) / (w[i].t - w[j].t);
            if (rate > r.worstKtPerS) {
                r.worstKtPerS = rate;
                r.worstKtPerSAt = w[i].t;
            }
        }
        return r;
    }
};

// The runway end `ident` of the list, its heading the bearing to the other
// end (the published heading is rounded to a degree: a track along it drifts
// off the centre line by tens of metres over a roll).
RunwayEndGeometry endOf(const std::vector<kvr::standin::RunwayGeometry>& runways, const std::string& ident)
{
    RunwayEndGeometry end = kvr::standin::gf_runwayEnd(runways, ident);
    end.headingDeg = gf_initialBearing(end.threshold, kvr::standin::gf_oppositeEnd(runways, ident).threshold) / kDeg;
    return end;
}

// Metres right of the centre line of the runway that starts at `end`.
double rightOf(const RunwayEndGeometry& end, const LatLon& p)
{
    return gf_relativePosition(end.threshold, end.headingDeg * kDeg, p).acrossM;
}

// The reports of a track as the App gives them every `intervalS` seconds,
// moved `offsetM` right of the way the runway `end` leads (left when
// negative): the feed's position error over a whole approach or roll. Their
// own noise is small beside it.
std::vector<TrackPoint> offsetReports(const std::vector<TrackPoint>& track, const RunwayEndGeometry& end, double offsetM,
                                      double intervalS, uint64_t seed)
{
    auto reports = kvr::standin::gf_appReports(track, {.seed = seed, .intervalS = intervalS, .jitterS = intervalS / 4.0,
                                                       .groundNoiseMinM = 2.0, .groundNoiseMaxM = 5.0});
    for (TrackPoint& p : reports) {
        const LatLon moved = movedMetres({p.lat, p.lon}, end.headingDeg + 90.0, offsetM);
        p.lat = moved.latitude;
        p.lon = moved.longitude;
    }
    return reports;
}

// A 3 degree approach from 4 NM at `touchKt`, touching down 400 m past the
// threshold, a roll-out braking 3 kt/s to 60 kt, then 2 kt/s to 20 kt.
std::vector<TrackPoint> landingTrack(const RunwayEndGeometry& to, double touchKt)
{
    const double touchFt = 400.0 / 0.3048;
    const LatLon touch = gf_destinationPoint(to.threshold, {to.headingDeg * kDeg, touchFt});
    const double startFt = 4.0 * 6076.11549;
    const LatLon start = gf_destinationPoint(touch, {(to.headingDeg + 180.0) * kDeg, startFt});
    const double seconds = std::round(4.0 / touchKt * 3600.0);
    const double height = startFt * std::tan(3.0 * kDeg);
    kvr::standin::TrackBuilder b(start, to.elevationFt + height, touchKt, to.headingDeg, false);
    b.fly(seconds, 0.0, -height / seconds * 60.0);
    b.setOnGround(true, to.elevationFt);
    b.fly(std::ceil((touchKt - 60.0) / 3.0), -3.0);
    b.fly(20.0, -2.0);
    b.fly(10.0);
    return b.points();
}

// What a roll on the ground may show: its way within a few degrees of its
// heading (a landing's, straight along the runway, within less), its speed
// changing little faster than a roll accelerates or brakes, never with a
// step from one leg of reports to the next: a take-off's at most 10 kt/s
// (it gathers 3-6 kt/s), a landing's from touch-down on about 8 kt/s (the
// touch-down itself, from the air leg onto the ground, takes up the rest of
// its allowance); a landing touches down on the centre line, within a few
// metres, whatever the offset of its reports within the runway's reach.
constexpr double kMostOffHeadingDeg = 8.0;
constexpr double kLandingMostOffHeadingDeg = 4.0;
constexpr double kTakeOffMostKtPerS = 10.0;
constexpr double kLandingMostKtPerS = 16.0;
constexpr double kTouchDownOffM = 15.0;

struct RollCase {
    const Airport* airport;
    const char* runway;
    double kt;      // touch-down speed of a landing
    double offsetM; // the reports right of the centre line, left when negative
    double intervalS;
};

std::string caseName(const ::testing::TestParamInfo<RollCase>& info)
{
    const RollCase& k = info.param;
    return fmt::format("{}_{}_{}{}m_every{}s", k.airport->icao == kLasVegas.icao ? "KLAS" : "KLAX", k.runway,
                       k.offsetM < 0 ? "left" : "right", std::lround(std::fabs(k.offsetM)), std::lround(k.intervalS));
}

} // namespace

class LandingRollTest : public RunwayRollTest, public ::testing::WithParamInterface<RollCase> {};

// The approach flies the reports' offset out: the aircraft touches down on
// the centre line and rolls along it, never stepping sideways onto it.
TEST_P(LandingRollTest, TouchesDownOnTheCentreLineAndRollsStraight)
{
    const RollCase& k = GetParam();
    at(*k.airport);
    const RunwayEndGeometry end = endOf(runways, k.runway);
    const uint32_t hexid = 0x4C5300 + static_cast<uint32_t>(GetParam().kt);
    playReports(offsetReports(landingTrack(end, k.kt), end, k.offsetM, k.intervalS, hexid), hexid, "SWA531");
    run(1000);
    stopThread();
    const Roll r = roll(true);
    ASSERT_TRUE(r.first.has_value()) << "no roll";
    EXPECT_GT(r.writes, 300u);
    EXPECT_LT(std::fabs(rightOf(end, r.first->at)), kTouchDownOffM) << "touched down at " << r.first->t << " s";
    EXPECT_LE(r.worstOffDeg, kLandingMostOffHeadingDeg) << "at " << r.worstOffAt << " s";
    EXPECT_LE(r.worstKtPerS, kLandingMostKtPerS) << "at " << r.worstKtPerSAt << " s";
}

INSTANTIATE_TEST_SUITE_P(Generated, LandingRollTest,
                         ::testing::Values(RollCase{&kLasVegas, "26L", 152.0, 45.0, 1.0},
                                           RollCase{&kLasVegas, "26L", 122.0, -40.0, 2.0},
                                           RollCase{&kLasVegas, "19R", 140.0, 20.0, 1.0},
                                           RollCase{&kLosAngeles, "25R", 155.0, -35.0, 3.0},
                                           RollCase{&kLosAngeles, "24R", 120.0, 10.0, 1.0}),
                         caseName);

class TakeoffRollTest : public RunwayRollTest, public ::testing::WithParamInterface<RollCase> {};

// Lined up beside the centre line where its reports place it, the aircraft
// rolls onto the line gradually, never sideways, and gathers speed steadily
// through the ends of the curves its reports make it follow.
TEST_P(TakeoffRollTest, RollsOntoTheCentreLineGradually)
{
    const RollCase& k = GetParam();
    at(*k.airport);
    const RunwayEndGeometry end = endOf(runways, k.runway);
    const uint32_t hexid = 0x4C5400 + static_cast<uint32_t>(std::fabs(k.offsetM));
    const auto track = kvr::standin::gf_departureTrack(end, 600.0, 140.0, end.elevationFt + 2000.0);
    playReports(offsetReports(track, end, k.offsetM, k.intervalS, hexid), hexid, "SWA541");
    run(1000);
    stopThread();
    const Roll r = roll(false);
    ASSERT_TRUE(r.first.has_value()) << "no roll";
    EXPECT_GT(r.writes, 300u);
    EXPECT_LE(r.worstOffDeg, kMostOffHeadingDeg) << "at " << r.worstOffAt << " s";
    EXPECT_LE(r.worstKtPerS, kTakeOffMostKtPerS) << "at " << r.worstKtPerSAt << " s";
}

INSTANTIATE_TEST_SUITE_P(Generated, TakeoffRollTest,
                         ::testing::Values(RollCase{&kLasVegas, "26L", 0.0, 40.0, 1.0},
                                           RollCase{&kLasVegas, "19R", 0.0, -20.0, 2.0},
                                           RollCase{&kLosAngeles, "24R", 0.0, 12.0, 3.0},
                                           RollCase{&kLasVegas, "26L", 0.0, 14.0, 1.0},
                                           RollCase{&kLasVegas, "19R", 0.0, -15.0, 1.0},
                                           RollCase{&kLosAngeles, "25R", 0.0, -14.0, 2.0},
                                           RollCase{&kLosAngeles, "24R", 0.0, 16.0, 1.0},
                                           RollCase{&kLasVegas, "26L", 0.0, -18.0, 2.0}),
                         caseName);
