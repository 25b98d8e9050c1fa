// Air speeds no aircraft flies: generated arrivals on the finals of the
// recorded airports' runways, whose creation the stand-in simulator answers
// seconds after their first report's time, played against the stand-in and
// judged on its trace. A late aircraft starts from its reports' pace and
// makes the time up flying no faster than they do by about 30 %, never
// faster than an aeroplane flies low down.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "core/geodesy.h"
#include "standins/track_generator.h"
#include "tests/engine/runway_traffic_fixture.h"

namespace {

using kvr::standin::TrackPoint;
using Airport = kvr::test::RecordedAirport;
using Write = kvr::test::TraceWrite;

constexpr double kDeg = 3.141592653589793 / 180.0;
constexpr double kMps = 1852.0 / 3600.0;
constexpr double kFtPerM = 1.0 / 0.3048;

struct LateArrival {
    const Airport* airport;
    const char* icao;
    const char* runway;
    double heightFt; // above the field at the first report
    double kt;       // the reports' ground speed
    double reportS;  // between reports
    double answerS;  // the simulator answers the creation this late
};

std::string caseName(const ::testing::TestParamInfo<LateArrival>& info)
{
    const LateArrival& k = info.param;
    return fmt::format("{}_{}_{:.0f}ft_{:.0f}kt_{:.0f}s_late", k.icao, k.runway, k.heightFt, k.kt, k.answerS);
}

// Arrivals at 2,000-5,000 ft over the field, answered 2-20 s late, reported
// every 3-8 s at 190-290 kt: spread over the airports' runways.
std::vector<LateArrival> lateArrivals()
{
    struct End {
        const Airport* airport;
        const char* icao;
        const char* runway;
    };
    const End ends[] = {{&kvr::test::kLosAngeles, "KLAX", "24R"}, {&kvr::test::kLosAngeles, "KLAX", "25L"},
                        {&kvr::test::kLasVegas, "KLAS", "26L"},   {&kvr::test::kLasVegas, "KLAS", "19R"},
                        {&kvr::test::kNewYork, "KJFK", "04R"},    {&kvr::test::kNewYork, "KJFK", "22L"},
                        {&kvr::test::kDubai, "OMDB", "12L"},      {&kvr::test::kDubai, "OMDB", "30R"}};
    std::vector<LateArrival> out;
    for (size_t i = 0; i < std::size(ends); ++i)
        out.push_back({ends[i].airport, ends[i].icao, ends[i].runway, 2000.0 + 1000.0 * static_cast<double>(i % 4),
                       190.0 + 100.0 * static_cast<double>((i * 3) % 8) / 7.0, 3.0 + static_cast<double>((i * 5) % 6),
                       2.0 + 18.0 * static_cast<double>((i * 3 + 1) % 8) / 7.0});
    return out;
}

class LateArrivalTest : public kvr::test::RunwayTrafficTest, public ::testing::WithParamInterface<LateArrival> {
protected:
    LateArrivalTest() : RunwayTrafficTest("kelo_late_arrival_trace.jsonl") {}

    // Reports straight in on a 3 degree path toward the runway's threshold,
    // for 100 s.
    std::vector<TrackPoint> finalReports(const LateArrival& k) const
    {
        const auto& end = kvr::standin::gf_runwayEnd(runways, k.runway);
        const auto& other = kvr::standin::gf_oppositeEnd(runways, k.runway);
        const double hdg = gf_initialBearing(end.threshold, other.threshold) / kDeg;
        const double glide = std::tan(3.0 * kDeg);
        const double outM = k.heightFt / kFtPerM / glide;
        std::vector<TrackPoint> out;
        for (double t = 0.0; t <= 100.0; t += k.reportS) {
            const double along = outM - t * k.kt * kMps;
            const LatLon at = kvr::test::movedMetres(end.threshold, hdg + 180.0, along);
            out.push_back(kvr::test::feedReport(t, at, k.airport->fieldFt + along * glide * kFtPerM, k.kt, hdg, false,
                                                -k.kt * kMps * glide * kFtPerM * 60.0));
        }
        return out;
    }
};

// Over every 5 s of the trace aloft, the fastest move by position (kt).
double fastestAloftKt(const std::vector<Write>& written, size_t& judged)
{
    std::map<uint32_t, std::vector<Write>> byObject;
    for (const Write& w : written)
        byObject[w.id].push_back(w);
    double fastest = 0.0;
    for (const auto& [id, w] : byObject)
        for (size_t i = 1, from = 0; i < w.size(); ++i) {
            while (from + 1 < i && w[from + 1].t <= w[i].t - 5.0)
                ++from;
            const double dt = w[i].t - w[from].t;
            if (w[i].onGround || w[from].onGround || dt < 5.0 || dt > 6.0)
                continue;
            ++judged;
            fastest = std::max(fastest, gf_distanceNm(w[from].at, w[i].at) * 3600.0 / dt);
        }
    return fastest;
}

TEST_P(LateArrivalTest, ALateArrivalMakesUpItsTimeNoFasterThanItsReportsGo)
{
    const LateArrival& k = GetParam();
    at(*k.airport);
    sim.load({{"assign_delay_frames", static_cast<int>(std::lround(k.answerS * 30.0))}});
    playReports(finalReports(k), 0x4C4800, "KLM1801");
    run(3000);

    const auto motion = traceMotion(runways);
    EXPECT_EQ(motion.total.jumps, 0u);
    ASSERT_EQ(traceWrites("create").size(), 1u);
    size_t judged = 0;
    const double fastest = fastestAloftKt(traceWrites(), judged);
    std::printf("fastest aloft over 5 s: %.0f kt (reports %.0f kt)\n", fastest, k.kt);
    EXPECT_GT(judged, 100u);
    EXPECT_LE(fastest, std::min(1.3 * k.kt, 380.0));
}

INSTANTIATE_TEST_SUITE_P(Generated, LateArrivalTest, ::testing::ValuesIn(lateArrivals()), caseName);

} // namespace
