// Braking on the ground, judged on the stand-in simulator's trace: taxi
// reports that freeze for a while and go on, generated on the runways of
// the recorded airports. The aircraft brakes into the stop before it gets
// there and gathers speed again; its speed never snaps.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/geodesy.h"
#include "runways/runway_table.h"
#include "standins/track_generator.h"
#include "tests/engine/runway_traffic_fixture.h"

namespace {

using kvr::standin::TrackPoint;
using Airport = kvr::test::RecordedAirport;
using Written = kvr::test::TraceWrite;
using kvr::test::movedMetres;

constexpr double kMps = 1852.0 / 3600.0; // metres per second in a knot

struct FrozenTaxi {
    const Airport* airport;
    const char* name;
    size_t runway;  // which of the airport's runways the taxiway runs beside
    double kt;      // the speed the reports give
    double frozenS; // the place where they freeze repeated this long
};

// Cases over the four airports: every runway in turn, 17-38 kt, frozen for
// 20-60 s.
std::vector<FrozenTaxi> generated()
{
    const std::pair<const Airport*, const char*> airports[] = {{&kvr::test::kLasVegas, "KLAS"},
                                                                {&kvr::test::kLosAngeles, "KLAX"},
                                                                {&kvr::test::kNewYork, "KJFK"},
                                                                {&kvr::test::kDubai, "OMDB"}};
    std::vector<FrozenTaxi> out;
    for (size_t i = 0; i < 8; ++i)
        out.push_back({airports[i % 4].first, airports[i % 4].second, i / 4, 17.0 + (i * 7 % 8) * 21.0 / 7.0,
                       20.0 + (i * 3 % 8) * 40.0 / 7.0});
    return out;
}

std::string caseName(const ::testing::TestParamInfo<FrozenTaxi>& info)
{
    const FrozenTaxi& k = info.param;
    return fmt::format("{}_runway{}_{:.0f}kt_frozen{:.0f}s", k.name, k.runway, k.kt, k.frozenS);
}

void PrintTo(const FrozenTaxi& k, std::ostream* os)
{
    *os << caseName({k, 0});
}

class GroundBrakingTest : public kvr::test::RunwayTrafficTest, public ::testing::WithParamInterface<FrozenTaxi> {
protected:
    GroundBrakingTest() : RunwayTrafficTest("kelo_ground_braking_trace.jsonl") {}
};

// Taxiing along a parallel taxiway, the reports stop moving (the same place
// at the same speed) for 20-60 s and then go on from there: the aircraft
// brakes to a stand at the place where they froze, no harder than 15 kt in
// a second, stands, and taxis on after them.
TEST_P(GroundBrakingTest, BrakesIntoAFrozenReportAndGoesOn)
{
    const FrozenTaxi& k = GetParam();
    at(*k.airport);
    ASSERT_LT(k.runway, runways.size());
    const kvr::standin::RunwayGeometry& runway = runways[k.runway];
    const double hdg = gf_initialBearing(runway.low.threshold, runway.high.threshold) * 180.0 / 3.141592653589793;
    // A taxiway 180-300 m to one side of the runway, clear of every runway.
    std::vector<TrackPoint> reports;
    for (double side : {180.0, -180.0, 240.0, -240.0, 300.0, -300.0, 400.0, -400.0, 1180.0, -1180.0, 1240.0, -1240.0}) {
        // (beyond 1,000: 1,000 m further along the runway)
        const LatLon from = movedMetres(movedMetres(runway.low.threshold, hdg, side > 1000.0 || side < -1000.0 ? 1600.0 : 600.0),
                                        hdg + 90.0, std::fmod(side, 1000.0));
        reports.clear();
        // Half a minute at 12 kt (it is created taxiing slowly), then it
        // gathers speed to the case's and taxis on 20 s.
        double t = 0.0, along = 0.0, kt = 12.0, fast = -1.0;
        for (; fast < 0.0 || t < fast + 20.0; t += 2.0) {
            reports.push_back(kvr::test::feedReport(t, movedMetres(from, hdg, along), k.airport->fieldFt, kt, hdg, true));
            along += 2.0 * kt * kMps;
            if (t >= 30.0)
                kt = std::min(kt + 4.0, k.kt);
            if (fast < 0.0 && kt == k.kt)
                fast = t;
        }
        along -= 2.0 * k.kt * kMps;
        for (const double until = t + k.frozenS; t < until; t += 2.0)
            reports.push_back(kvr::test::feedReport(t, movedMetres(from, hdg, along), k.airport->fieldFt, k.kt, hdg, true));
        for (const double until = t + 30.0; t < until; t += 2.0)
            reports.push_back(kvr::test::feedReport(t, movedMetres(from, hdg, along += 2.0 * k.kt * kMps), k.airport->fieldFt,
                                                    k.kt, hdg, true));
        if (std::none_of(reports.begin(), reports.end(),
                         [](const TrackPoint& r) { return gf_isBesideAnyRunway({r.lat, r.lon}, 60.0); }))
            break;
        reports.clear();
    }
    ASSERT_FALSE(reports.empty()) << "no taxiway beside the runway clear of the others";
    playReports(reports, 0x4C5700 + static_cast<uint32_t>(k.runway * 64 + k.kt), "AAL1587");
    run(3000);
    const auto motion = traceMotion(runways);
    EXPECT_TRUE(motion.total.cleanWithSpeeds());
    for (const auto& [id, found] : motion.findings)
        for (const kvr::standin::MotionFinding& f : found)
            ADD_FAILURE() << "object " << id << ": " << kvr::standin::gf_findingText(f);
    const std::vector<Written> w = traceWrites();
    ASSERT_FALSE(w.empty());
    // It stood while its reports froze, and taxied on after them.
    const double stood = std::min_element(w.begin(), w.end(), [](const Written& a, const Written& b) {
                             return a.kts < b.kts;
                         })->kts;
    EXPECT_LT(stood, 1.0);
    EXPECT_TRUE(w.back().onGround);
    EXPECT_LT(gf_distanceNm(w.back().at, {reports.back().lat, reports.back().lon}) * 1852.0, 120.0);
}

INSTANTIATE_TEST_SUITE_P(Generated, GroundBrakingTest, ::testing::ValuesIn(generated()), caseName);

// A taxi at 18-30 kt whose reports slow while their speed still reads the
// taxi's (a queue ahead: their places at a third of that pace for 30 s),
// or which reach a report that reads a standstill and drive off from it:
// the slower pace and the stop are braked into before they are reached,
// not hit in one tick.
struct TaxiPace {
    const Airport* airport;
    const char* name;
    double kt;
    bool standstill; // a report reads 0 kt, instead of the reports slowing
};

std::vector<TaxiPace> paces()
{
    const std::pair<const Airport*, const char*> airports[] = {{&kvr::test::kLasVegas, "KLAS"},
                                                                {&kvr::test::kLosAngeles, "KLAX"},
                                                                {&kvr::test::kNewYork, "KJFK"},
                                                                {&kvr::test::kDubai, "OMDB"}};
    std::vector<TaxiPace> out;
    for (size_t i = 0; i < 8; ++i)
        out.push_back({airports[i % 4].first, airports[i % 4].second, 18.0 + (i * 5 % 8) * 12.0 / 7.0, i % 2 == 1});
    return out;
}

std::string paceName(const ::testing::TestParamInfo<TaxiPace>& info)
{
    const TaxiPace& k = info.param;
    return fmt::format("{}_{:.0f}kt_{}", k.name, k.kt, k.standstill ? "standstill" : "slowing");
}

void PrintTo(const TaxiPace& k, std::ostream* os)
{
    *os << paceName({k, 0});
}

class TaxiPaceBrakingTest : public kvr::test::RunwayTrafficTest, public ::testing::WithParamInterface<TaxiPace> {
protected:
    TaxiPaceBrakingTest() : RunwayTrafficTest("kelo_taxi_pace_trace.jsonl") {}
};

TEST_P(TaxiPaceBrakingTest, BrakesIntoTheSlowerPaceAhead)
{
    const TaxiPace& k = GetParam();
    at(*k.airport);
    const double hdg = 90.0;
    std::vector<TrackPoint> reports;
    // 40 s at the case's speed (gathered from 12 kt), 30 s slowed (or a
    // standstill and a drive-off), 30 s at the case's speed again.
    double t = 0.0, kt = 12.0;
    LatLon at = movedMetres(k.airport->reference, 0.0, 3000.0);
    for (; t < 100.0; t += 2.0) {
        const bool slowed = t >= 40.0 && t < 70.0;
        const double reportedKt = k.standstill && t == 40.0 ? 0.0 : kt;
        reports.push_back(kvr::test::feedReport(t, at, k.airport->fieldFt, reportedKt, hdg, true));
        kt = std::min(kt + 4.0, k.kt);
        at = movedMetres(at, hdg, 2.0 * (slowed && !k.standstill ? kt / 3.0 : kt) * kMps);
    }
    ASSERT_TRUE(std::none_of(reports.begin(), reports.end(),
                             [](const TrackPoint& r) { return gf_isBesideAnyRunway({r.lat, r.lon}, 100.0, std::nullopt); }))
        << "the way crosses a runway";
    playReports(reports, 0x4C5800 + static_cast<uint32_t>(k.kt * 8), "JBU477");
    run(3000);
    const auto motion = traceMotion(runways);
    EXPECT_TRUE(motion.total.cleanWithSpeeds());
    for (const auto& [id, found] : motion.findings)
        for (const kvr::standin::MotionFinding& f : found)
            ADD_FAILURE() << "object " << id << ": " << kvr::standin::gf_findingText(f);
    const std::vector<Written> w = traceWrites();
    ASSERT_FALSE(w.empty());
    // Its speed by position, every half second, falls no faster than a
    // taxi brakes (about 5 kt/s).
    std::vector<std::pair<double, LatLon>> half; // the last write of each half second
    for (const Written& x : w)
        if (half.empty() || std::floor(x.t * 2.0) > std::floor(half.back().first * 2.0))
            half.emplace_back(x.t, x.at);
    for (size_t i = 3; i < half.size(); ++i) {
        const auto kt = [&](size_t j) {
            return gf_distanceNm(half[j - 1].second, half[j].second) * 3600.0 / (half[j].first - half[j - 1].first);
        };
        EXPECT_LE(kt(i - 2) - kt(i), 8.0) << "at " << half[i].first << " s";
    }
    // It taxied on after its reports to their end.
    EXPECT_TRUE(w.back().onGround);
    EXPECT_LT(gf_distanceNm(w.back().at, {reports.back().lat, reports.back().lon}) * 1852.0, 120.0);
}

INSTANTIATE_TEST_SUITE_P(Generated, TaxiPaceBrakingTest, ::testing::ValuesIn(paces()), paceName);

} // namespace
