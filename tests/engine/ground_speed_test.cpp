// Ground speeds no aircraft shows, from reports that freeze: generated cases
// on the runways of Las Vegas and Los Angeles, played against the stand-in
// simulator and judged on its trace (the fixture fails a test on any ground
// move faster than taxiing off the runways, or than any roll).
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/geodesy.h"
#include "runways/runway_table.h"
#include "standins/track_generator.h"
#include "tests/engine/runway_traffic_fixture.h"

namespace {

using kvr::standin::RunwayEndGeometry;
using kvr::standin::TrackPoint;
using Airport = kvr::test::RecordedAirport;
using Written = kvr::test::TraceWrite;
using kvr::test::movedMetres;

constexpr double kDeg = 3.141592653589793 / 180.0;
constexpr double kMps = 1852.0 / 3600.0; // metres per second in a knot

class GroundSpeedTest : public kvr::test::RunwayTrafficTest {
protected:
    GroundSpeedTest() : RunwayTrafficTest("kelo_ground_speed_trace.jsonl") {}
};

// The runway end `ident`, its heading the bearing to the other end.
RunwayEndGeometry endOf(const std::vector<kvr::standin::RunwayGeometry>& runways, const std::string& ident)
{
    RunwayEndGeometry end = kvr::standin::gf_runwayEnd(runways, ident);
    end.headingDeg = gf_initialBearing(end.threshold, kvr::standin::gf_oppositeEnd(runways, ident).threshold) / kDeg;
    return end;
}

// ---- A take-off whose reports freeze where the roll begins ----

struct FrozenTakeOff {
    const Airport* airport;
    const char* runway;
    double frozenS;  // the roll's start repeated this long
    double aloftKm;  // then the first report aloft, this far along
    double aloftKt = 180.0;      // the speed the reports aloft give
    double firstAloftFt = 1500.0; // the first of them this high over the field (pressure
                                  // altitudes at a high field read under it)
};

std::string frozenName(const ::testing::TestParamInfo<FrozenTakeOff>& info)
{
    const FrozenTakeOff& k = info.param;
    return fmt::format("{}_{}_frozen{:.0f}s_aloft{:.0f}km_{:.0f}kt_{}{:.0f}ft", k.airport == &kvr::test::kLasVegas ? "KLAS" : "KLAX",
                       k.runway, k.frozenS, k.aloftKm, k.aloftKt, k.firstAloftFt < 0.0 ? "under" : "over",
                       std::fabs(k.firstAloftFt));
}

class FrozenTakeOffTest : public GroundSpeedTest, public ::testing::WithParamInterface<FrozenTakeOff> {};

// Taxiing onto the runway, the reports stop where the roll begins (the same
// place at 36 kt for up to a minute and a half) and go on aloft kilometres
// on. The aircraft rolls to its lift-off on the runway, gathering speed no
// faster than a roll does, and climbs toward its reports; it never races
// along the ground past the runway's end.
TEST_P(FrozenTakeOffTest, LiftsOffOnTheRunwayAndClimbsTowardItsReports)
{
    const FrozenTakeOff& k = GetParam();
    at(*k.airport);
    const RunwayEndGeometry end = endOf(runways, k.runway);
    const double field = end.elevationFt;
    const double hdg = end.headingDeg;
    // A minute taxiing along the runway's first metres at 12 kt.
    std::vector<TrackPoint> reports;
    double t = 0.0;
    for (; t < 60.0; t += 10.0)
        reports.push_back(kvr::test::feedReport(t, movedMetres(end.threshold, hdg, t * 12.0 * kMps), field, 12.0, hdg, true));
    const LatLon start = movedMetres(end.threshold, hdg, t * 12.0 * kMps);
    const double frozenUntil = t + k.frozenS;
    for (; t <= frozenUntil; t += 10.0)
        reports.push_back(kvr::test::feedReport(t, start, field, 36.0, hdg, true));
    for (int i = 0; i < 8; ++i, t += 10.0)
        reports.push_back(kvr::test::feedReport(t, movedMetres(start, hdg, k.aloftKm * 1000.0 + i * 10.0 * 180.0 * kMps),
                                                field + k.firstAloftFt + i * 300.0, k.aloftKt, hdg, false, 1800.0));
    playReports(reports, 0x4C5500 + static_cast<uint32_t>(k.frozenS + k.aloftKm + k.aloftKt), "SWA907");
    run(9000);
    const auto motion = traceMotion(runways);
    EXPECT_EQ(motion.total.jumps, 0u);
    EXPECT_EQ(motion.total.offRunwayTakeOffs, 0u);
    const std::vector<Written> w = traceWrites();
    const auto liftOff = std::adjacent_find(w.begin(), w.end(), [](const Written& a, const Written& b) {
        return a.onGround && !b.onGround;
    });
    ASSERT_NE(liftOff, w.end()) << "never lifted off";
    // Within the runway: from where the roll began, no further than to its end.
    const RunwayEndGeometry& opposite = kvr::standin::gf_oppositeEnd(runways, k.runway);
    EXPECT_LT(gf_distanceNm(start, liftOff->at) * 1852.0, gf_distanceNm(start, opposite.threshold) * 1852.0);
    EXPECT_LE(fastestOnGroundKt(w), 175.0); // an A320's rotation speed and 30 kt
    // The roll's shown speed gathers no faster than 10 kt/s up to the lift-off.
    const auto rolled = static_cast<size_t>(liftOff - w.begin());
    for (size_t i = 1, j = 0; i < rolled; ++i) {
        while (w[i].t - w[j].t > 0.5)
            ++j;
        if (w[i].t - w[j].t >= 0.45) {
            EXPECT_LE((w[i].kts - w[j].kts) / (w[i].t - w[j].t), 10.5) << "at " << w[i].t << " s";
        }
    }
    // Lifted off, it climbs: it never settles back on its wheels.
    const auto down = std::find_if(liftOff + 1, w.end(), [](const Written& p) { return p.onGround; });
    EXPECT_EQ(down, w.end()) << "back on the ground at " << down->t << " s, " << down->kts << " kt";
    // Aloft it follows its reports: at the end it has flown on past the
    // first of them.
    EXPECT_FALSE(w.back().onGround);
    EXPECT_GT(gf_distanceNm(start, w.back().at) * 1852.0, k.aloftKm * 1000.0);
}

INSTANTIATE_TEST_SUITE_P(Generated, FrozenTakeOffTest,
                         ::testing::Values(FrozenTakeOff{&kvr::test::kLasVegas, "26L", 70.0, 8.0},
                                           FrozenTakeOff{&kvr::test::kLosAngeles, "24L", 50.0, 5.0},
                                           FrozenTakeOff{&kvr::test::kLasVegas, "19R", 30.0, 3.0},
                                           FrozenTakeOff{&kvr::test::kLosAngeles, "25R", 90.0, 10.0},
                                           FrozenTakeOff{&kvr::test::kLasVegas, "26R", 20.0, 1.2, 520.0, -130.0},
                                           FrozenTakeOff{&kvr::test::kLasVegas, "26R", 20.0, 3.0, 520.0, -130.0},
                                           FrozenTakeOff{&kvr::test::kLosAngeles, "25R", 30.0, 3.0, 520.0, 0.0}),
                         frozenName);

// ---- Taxi reports that freeze, then lie hundreds of metres on ----

struct FrozenTaxi {
    const Airport* airport;
    double bearingDeg; // the taxiway's way from the airport's reference point
    double kt;         // the speed the reports give
    double frozenS;    // the last place repeated this long
    double gapM;       // then the next report this far on
};

std::string taxiName(const ::testing::TestParamInfo<FrozenTaxi>& info)
{
    const FrozenTaxi& k = info.param;
    return fmt::format("{}_{:.0f}deg_{:.0f}kt_frozen{:.0f}s_gap{:.0f}m", k.airport == &kvr::test::kLasVegas ? "KLAS" : "KLAX",
                       k.bearingDeg, k.kt, k.frozenS, k.gapM);
}

class FrozenTaxiTest : public GroundSpeedTest, public ::testing::WithParamInterface<FrozenTaxi> {};

// A taxiing aircraft whose reports repeat one place for up to a minute while
// their speed says it moves, and then lie up to 600 m on: it covers the gap
// at a taxi's speed, its samples waiting, never dashes there.
TEST_P(FrozenTaxiTest, CoversTheGapAtTaxiSpeed)
{
    const FrozenTaxi& k = GetParam();
    at(*k.airport);
    // It taxis from 300 m beside the airport's reference point; each case's
    // way keeps clear of the runways.
    const LatLon from = movedMetres(k.airport->reference, k.bearingDeg - 90.0, 300.0);
    const double field = k.airport->fieldFt;
    std::vector<TrackPoint> reports;
    double t = 0.0, along = 0.0;
    for (int i = 0; i < 4; ++i, t += 10.0, along += 10.0 * k.kt * kMps)
        reports.push_back(kvr::test::feedReport(t, movedMetres(from, k.bearingDeg, along), field, k.kt, k.bearingDeg, true));
    const double frozenAt = along - 10.0 * k.kt * kMps;
    for (double s = 10.0; s < k.frozenS; s += 10.0, t += 10.0)
        reports.push_back(kvr::test::feedReport(t, movedMetres(from, k.bearingDeg, frozenAt), field, k.kt, k.bearingDeg, true));
    along = frozenAt + k.gapM;
    for (int i = 0; i < 6; ++i, t += 10.0, along += 10.0 * k.kt * kMps)
        reports.push_back(kvr::test::feedReport(t, movedMetres(from, k.bearingDeg, along), field, k.kt, k.bearingDeg, true));
    for (const TrackPoint& r : reports)
        ASSERT_FALSE(gf_isBesideAnyRunway({r.lat, r.lon}, 100.0)) << "the case's way crosses a runway";
    playReports(reports, 0x4C5600 + static_cast<uint32_t>(k.frozenS + k.gapM), "SWA1411");
    run(6000);
    const auto motion = traceMotion(runways);
    EXPECT_EQ(motion.total.jumps, 0u);
    EXPECT_EQ(motion.total.slides, 0u);
    EXPECT_EQ(motion.total.backwards, 0u);
    const std::vector<Written> w = traceWrites();
    ASSERT_FALSE(w.empty());
    EXPECT_LE(fastestOnGroundKt(w), 40.0);
    // It gets there: at the end near its last report.
    EXPECT_LT(gf_distanceNm(w.back().at, {reports.back().lat, reports.back().lon}) * 1852.0, 150.0);
}

INSTANTIATE_TEST_SUITE_P(Generated, FrozenTaxiTest,
                         ::testing::Values(FrozenTaxi{&kvr::test::kLasVegas, 30.0, 25.0, 40.0, 600.0},
                                           FrozenTaxi{&kvr::test::kLasVegas, 90.0, 15.0, 20.0, 250.0},
                                           FrozenTaxi{&kvr::test::kLosAngeles, 90.0, 30.0, 60.0, 500.0},
                                           FrozenTaxi{&kvr::test::kLosAngeles, 270.0, 10.0, 30.0, 400.0}),
                         taxiName);

} // namespace
