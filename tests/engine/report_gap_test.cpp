// Gaps in an aircraft's reports: the App goes on repeating the last position
// it had while nothing new comes in. The engine carries the aircraft on for a
// while, then hides it until its reports go on. Generated cases of an A320 in
// level flight at several speeds and gap lengths, played against the
// stand-in simulator: every time the aircraft leaves the simulator while its
// reports still come, the log says so, and it moves believably throughout.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <cmath>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/geodesy.h"
#include "standins/track_generator.h"
#include "tests/engine/engine_fixture.h"

namespace {

using kvr::standin::TrackPoint;

constexpr double kDeg = 3.141592653589793 / 180.0;
const LatLon kUser{40.64, -73.78};

struct GapCase {
    double kt;   // ground speed in level flight
    double gapS; // how long the App repeats the last position
};

void PrintTo(const GapCase& c, std::ostream* os)
{
    *os << c.kt << " kt, gap " << c.gapS << " s";
}

std::string caseName(const ::testing::TestParamInfo<GapCase>& info)
{
    return fmt::format("At{}ktFor{}s", static_cast<int>(info.param.kt), static_cast<int>(info.param.gapS));
}

class ReportGapTest : public kvr::test::TracedTrafficTest, public ::testing::WithParamInterface<GapCase> {
protected:
    ReportGapTest() : TracedTrafficTest("kelo_report_gap_trace.jsonl") {}
    void SetUp() override
    {
        TracedTrafficTest::SetUp();
        sim.load({{"ground_ft", 13.0}, {"user", {{"lat", kUser.latitude}, {"lon", kUser.longitude}, {"alt_ft", 13.0}}}});
    }
    // Eastbound at 3000 ft, 3 NM south of the user, from 4 NM west of it:
    // a report every 10 s, the position repeated from 60 s on for the
    // gap, then the true positions again for another 60 s.
    static std::vector<TrackPoint> reports(const GapCase& c)
    {
        const LatLon start = gf_destinationPoint(gf_destinationPoint(kUser, {180.0 * kDeg, 3.0 * 1852.0 / 0.3048}),
                                                 {270.0 * kDeg, 4.0 * 1852.0 / 0.3048});
        std::vector<TrackPoint> out;
        const double gapEnd = 60.0 + c.gapS;
        for (double t = 0.0; t <= gapEnd + 60.0; t += 10.0) {
            const double flownS = t > 60.0 && t < gapEnd ? 60.0 : t;
            const LatLon at = gf_destinationPoint(start, {90.0 * kDeg, c.kt * flownS / 3600.0 * 1852.0 / 0.3048});
            TrackPoint p;
            p.t = t;
            p.lat = at.latitude;
            p.lon = at.longitude;
            p.altFt = 3000.0;
            p.gsKt = c.kt;
            p.trackDeg = 90.0;
            out.push_back(p);
        }
        return out;
    }
    // The objects the simulator was asked to create, by the trace.
    size_t creations()
    {
        size_t created = 0;
        std::ifstream in(tracePath, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
            created += j.is_object() && j.value("k", "") == "create";
        }
        return created;
    }
};

TEST_P(ReportGapTest, AnAircraftHiddenInAGapOfItsReportsIsLoggedAndMovesBelievably)
{
    const GapCase& c = GetParam();
    const std::string callsign = fmt::format("KLM{}", 100 + static_cast<int>(c.kt / 10.0) + static_cast<int>(c.gapS));
    playReports(reports(c), 0x4A0000 + static_cast<uint32_t>(c.kt * 1000.0 + c.gapS), callsign);
    // The last report plays 30 s after it came in.
    run(4000);
    stopThread();
    const size_t created = creations();
    const std::string text = log();
    size_t hidden = 0;
    for (size_t at = text.find(callsign + " has no report to go on"); at != std::string::npos;
         at = text.find(callsign + " has no report to go on", at + 1))
        ++hidden;
    if (c.gapS <= 60.0) {
        // Carried over the gap: one object throughout.
        EXPECT_EQ(created, 1u) << text;
    } else {
        // The gap outlasts the way made up for it: hidden, with the reason
        // logged, and shown again where its reports go on.
        EXPECT_EQ(created, 2u) << text;
        EXPECT_GE(hidden, 1u) << text;
    }
    const auto motion = traceMotion();
    EXPECT_EQ(motion.total.jumps, 0u);
    EXPECT_EQ(motion.total.reversals, 0u);
    EXPECT_EQ(motion.total.backwards, 0u);
}

INSTANTIATE_TEST_SUITE_P(ReportGaps, ReportGapTest,
                         ::testing::Values(GapCase{140.0, 30.0}, GapCase{140.0, 120.0}, GapCase{200.0, 60.0},
                                           GapCase{200.0, 150.0}, GapCase{250.0, 120.0}),
                         caseName);

} // namespace
