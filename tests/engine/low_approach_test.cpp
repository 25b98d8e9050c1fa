// Landings whose reports read low near the ground (pressure altitudes on a
// high-pressure day): generated approaches to runways of Las Vegas, Los
// Angeles, New York JFK and Dubai, played against the stand-in simulator and
// judged on its trace. The aircraft is flown down its final to the runway and
// touches down on it, never on the approach before it nor beside it; an
// approach whose reports are right touches down where its reports do.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/geodesy.h"
#include "engine/geometry.h"
#include "runways/runway_table.h"
#include "standins/track_generator.h"
#include "tests/engine/runway_traffic_fixture.h"

namespace {

using kvr::standin::TrackPoint;
using Airport = kvr::test::RecordedAirport;
using Write = kvr::test::TraceWrite;

constexpr double kDeg = 3.141592653589793 / 180.0;
constexpr double kMps = 1852.0 / 3600.0; // metres per second in a knot
constexpr double kFtPerM = 1.0 / 0.3048;

// The generated landing: a 3 degree final at 140 kt from 10 km out, aimed at
// the point 400 m past the threshold where the reports put it on the ground;
// then a roll slowing by 3 kt/s to 20 kt. A report every 10 s.
constexpr double kStartOutM = 10000.0;
constexpr double kAimM = 400.0;
constexpr double kFinalKt = 140.0;
constexpr double kTouchKt = 130.0;
constexpr double kReportS = 10.0;
// The reports read low by the case's amount over the last 3 km, the error
// growing in over the 2 km before.
constexpr double kLowFromM = 5000.0;
constexpr double kLowFullM = 3000.0;
// A visual final that joins the centre line late: its reports lie the case's
// amount beside the line until this far out, then close in on the threshold;
// or the whole landing's reports lie beside it, the roll's too.
constexpr double kJoinM = 800.0;

struct LowApproach {
    const Airport* airport;
    const char* runway;
    double lowFt; // how much the reports read low near the ground; 0: right
    double besideM = 0.0; // how far right of the centre line the final's reports lie
    bool offsetAll = false; // the roll's reports too
    bool frozen = false;    // the report a kilometre out comes twice more, unchanged
};

std::string caseName(const ::testing::TestParamInfo<LowApproach>& info)
{
    const LowApproach& k = info.param;
    const std::string icao = k.airport == &kvr::test::kLasVegas     ? "KLAS"
                             : k.airport == &kvr::test::kLosAngeles ? "KLAX"
                             : k.airport == &kvr::test::kNewYork    ? "KJFK"
                                                                    : "OMDB";
    return fmt::format("{}_{}_{:.0f}ft_low{}", icao, k.runway, k.lowFt,
                       k.besideM > 0.0 ? fmt::format("_{:.0f}m_beside{}{}", k.besideM, k.offsetAll ? "_all" : "",
                                                     k.frozen ? "_frozen" : "")
                                       : "");
}

class LowApproachTest : public kvr::test::RunwayTrafficTest, public ::testing::WithParamInterface<LowApproach> {
protected:
    LowApproachTest() : RunwayTrafficTest("kelo_low_approach_trace.jsonl") {}

    // The airport's runways at its field elevation, as the stand-in's flat
    // ground around it.
    void atAirport(const Airport& a)
    {
        at(a);
        runwayTable.runways = kvr::test::publishedRunways(kvr::test::recordedRunwaysCsv(a), a.fieldFt);
        runways = kvr::standin::gf_loadRunwayCsv(kvr::test::recordedRunwaysCsv(a));
    }

    // The landing on `ident`: its reports, the threshold and the heading.
    std::vector<TrackPoint> landingReports(const std::string& ident, double fieldFt, double lowFt, double besideM,
                                           bool offsetAll, bool frozen = false)
    {
        const kvr::standin::RunwayGeometry* g = nullptr;
        for (const auto& r : runways)
            if (r.low.ident == ident || r.high.ident == ident)
                g = &r;
        const auto& end = kvr::standin::gf_runwayEnd(runways, ident);
        const auto& other = kvr::standin::gf_oppositeEnd(runways, ident);
        threshold = kvr::test::publishedLandingThreshold(*g, end);
        headingDeg = gf_initialBearing(end.threshold, other.threshold) / kDeg;
        auto point = [&](double alongM) {
            return gf_destinationPoint(threshold, {(alongM >= 0.0 ? headingDeg : headingDeg + 180.0) * kDeg,
                                                   std::fabs(alongM) * kFtPerM});
        };
        const double glide = std::tan(3.0 * kDeg);
        const double vsFpm = -kFinalKt * kMps * glide * kFtPerM * 60.0;
        std::vector<TrackPoint> out;
        double frozenFrom = -1.0;
        const double touchT = (kStartOutM + kAimM) / (kFinalKt * kMps);
        for (double t = 0.0;; t += kReportS) {
            TrackPoint p;
            p.t = t;
            p.trackDeg = headingDeg;
            double along = 0.0;
            if (t < touchT) {
                along = -kStartOutM + t * kFinalKt * kMps;
                const double out = -along;
                const double low = lowFt * std::clamp((kLowFromM - out) / (kLowFromM - kLowFullM), 0.0, 1.0);
                p.altFt = fieldFt + (kAimM - along) * glide * kFtPerM - low;
                p.gsKt = kFinalKt;
                p.vsFpm = vsFpm;
            } else {
                const double s = t - touchT;
                const double kt = std::max(kTouchKt - 3.0 * s, 20.0);
                along = kAimM + (kTouchKt + kt) / 2.0 * kMps * s;
                p.altFt = fieldFt;
                p.gsKt = kt;
                p.onGround = true;
                if (kt <= 20.0)
                    break;
            }
            LatLon at = point(along);
            if (const double beside = besideM * (offsetAll ? 1.0 : std::clamp(-along / kJoinM, 0.0, 1.0)); beside > 0.0)
                at = gf_destinationPoint(at, {(headingDeg + 90.0) * kDeg, beside * kFtPerM});
            p.lat = at.latitude;
            p.lon = at.longitude;
            // Frozen: the feed repeats the first report within a kilometre of
            // the threshold for the next 20 s.
            if (frozen && frozenFrom < 0.0 && along > -1000.0) {
                frozenFrom = p.t;
            } else if (frozen && frozenFrom >= 0.0 && p.t - frozenFrom <= 20.0) {
                const double t = p.t;
                p = out.back();
                p.t = t;
            }
            out.push_back(p);
        }
        return out;
    }


    // Metres past the threshold along the runway (negative: before it).
    double pastThresholdM(const LatLon& p) const
    {
        return gf_relativePosition(threshold, headingDeg * kDeg, p).alongM;
    }

    LatLon threshold;
    double headingDeg = 0.0;
};

// The aircraft touches down on its runway, at or past the threshold, in the
// touch-down zone, whatever the reports' altitudes say; it never writes under
// the ground nor jumps, and the trace check finds no touch-down before the
// runway. With right reports it touches down where they put it on the ground.
TEST_P(LowApproachTest, TouchesDownOnTheRunwayItIsLinedUpWith)
{
    const LowApproach& k = GetParam();
    atAirport(*k.airport);
    const std::vector<TrackPoint> reports = landingReports(k.runway, k.airport->fieldFt, k.lowFt, k.besideM, k.offsetAll, k.frozen);
    playReports(reports, 0x4C5700 + static_cast<uint32_t>(k.lowFt), "KLM1775");
    run(3000);

    const auto motion = traceMotion(runways);
    EXPECT_EQ(motion.total.jumps, 0u);
    EXPECT_EQ(motion.total.belowGround, 0u);
    EXPECT_EQ(motion.total.shortTouchDowns, 0u);
    EXPECT_EQ(motion.total.offRunwayTouchDowns, 0u);
    const std::vector<Write> w = traceWrites();
    const auto touch = std::adjacent_find(w.begin(), w.end(), [](const Write& a, const Write& b) {
        return !a.onGround && b.onGround && b.kts > 40.0;
    });
    ASSERT_NE(touch, w.end()) << "never touched down";
    const double past = pastThresholdM((touch + 1)->at);
    std::printf("touch-down %.0f m past the threshold at %.1f s\n", past, (touch + 1)->t);
    EXPECT_GE(past, 0.0) << "touched down before the threshold";
    // Flown down to the touch-down zone, not held on to float along the runway.
    EXPECT_LE(past, 1000.0);
    if (k.lowFt == 0.0) {
        EXPECT_NEAR(past, kAimM, 250.0) << "right reports touch down where they reach the ground";
    }
    // It stays on the ground after: no bounce.
    const auto again = std::find_if(touch + 1, w.end(), [](const Write& x) { return !x.onGround; });
    EXPECT_EQ(again, w.end()) << "in the air again at " << again->t << " s";
}

INSTANTIATE_TEST_SUITE_P(Generated, LowApproachTest,
                         ::testing::Values(LowApproach{&kvr::test::kLasVegas, "26L", 250.0},
                                           LowApproach{&kvr::test::kLasVegas, "26R", 400.0},
                                           LowApproach{&kvr::test::kLasVegas, "26L", 0.0},
                                           LowApproach{&kvr::test::kLasVegas, "19R", 250.0, 230.0},
                                           LowApproach{&kvr::test::kLasVegas, "19R", 250.0, 290.0, true},
                                           LowApproach{&kvr::test::kLasVegas, "19R", 250.0, 290.0, true, true},
                                           LowApproach{&kvr::test::kLosAngeles, "24R", 300.0},
                                           LowApproach{&kvr::test::kLosAngeles, "25R", 350.0},
                                           LowApproach{&kvr::test::kLosAngeles, "25L", 0.0},
                                           LowApproach{&kvr::test::kLosAngeles, "24R", 300.0, 200.0},
                                           LowApproach{&kvr::test::kNewYork, "04R", 350.0},
                                           LowApproach{&kvr::test::kNewYork, "22L", 300.0},
                                           LowApproach{&kvr::test::kNewYork, "04R", 0.0},
                                           LowApproach{&kvr::test::kDubai, "12L", 300.0},
                                           LowApproach{&kvr::test::kDubai, "30R", 400.0},
                                           LowApproach{&kvr::test::kDubai, "12R", 400.0},
                                           LowApproach{&kvr::test::kDubai, "30L", 350.0},
                                           LowApproach{&kvr::test::kDubai, "30L", 0.0}),
                         caseName);

} // namespace
