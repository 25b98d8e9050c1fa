// Runway exits after a landing roll, played against the stand-in simulator:
// reports from tests/data, the motion judged on the stand-in's trace.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/geodesy.h"
#include "engine/geometry.h"
#include "engine/per_tick_update.h"
#include "feed/traffic_mailbox.h"
#include "liveries/livery_memory.h"
#include "runways/runway_table.h"
#include "simlink/position_stream.h"
#include "standins/trace_check.h"
#include "tests/engine/runway_traffic_fixture.h"
#include "tests/support/report_files.h"
#include "tests/support/track_records.h"

namespace {

constexpr double kDeg = 3.141592653589793 / 180.0;

double metres(const LatLon& a, const LatLon& b)
{
    return gf_distanceNm(a, b) * 1852.0;
}

using kvr::test::kLasVegas;
using kvr::test::kLosAngeles;
using Airport = kvr::test::RecordedAirport;
using Write = kvr::test::TraceWrite;
// 30 m short of the taxiway north of 26L that the exits lead to.
constexpr double kTaxiwayNorthOf26L = 36.0748;
// The ends of 26L as published (26L, then 08R) and its half width.
constexpr LatLon k26L{36.073699951171875, -115.1259994506836};
constexpr LatLon k08R{36.07360076904297, -115.16100311279297};
constexpr double k26LHalfWidthM = 150.0 * 0.3048 / 2.0;

class RunwayExitTest : public kvr::test::RunwayTrafficTest {
protected:
    RunwayExitTest() : RunwayTrafficTest("kelo_runway_exit_trace.jsonl") {}
    // Posts the reports at their times and runs the engine between them.
    void play(const std::vector<kvr::standin::TrackPoint>& reports, uint32_t hexid, const std::string& callsign)
    {
        playReports(reports, hexid, callsign);
        run(3000);
        stopThread();
    }
    kvr::standin::MotionReport motion() { return traceMotion(); }
    // Each slide, backwards move or fast turn fails the test, with its text.
    static void failOnFindings(const kvr::standin::MotionReport& report)
    {
        for (const auto& [id, found] : report.findings)
            for (const auto& f : found)
                if (f.kind == "slide" || f.kind == "backwards" || f.kind == "reversal" || f.kind == "turn rate" ||
                    f.kind == "jump")
                    ADD_FAILURE() << kvr::standin::gf_findingText(f);
    }
    // Writes near the ground, in the air or not, that move 30 degrees or more
    // off their heading: the direction over each move of 5 m or more.
    std::vector<std::string> slidesNearGround(double maxHeightFt)
    {
        std::vector<std::string> out;
        const std::vector<Write> w = traceWrites();
        size_t from = 0, still = 0;
        for (size_t i = 1; i < w.size(); ++i) {
            if (w[i].id != w[i - 1].id) {
                from = still = i;
                continue;
            }
            // A move from a stand of two seconds or more starts where it stood.
            if (metres(w[i - 1].at, w[i].at) >= 0.2) {
                if (w[i - 1].t - w[still].t >= 2.0)
                    from = i - 1;
                still = i;
            }
            const double d = metres(w[from].at, w[i].at);
            if (d < 5.0)
                continue;
            const double dir = gf_initialBearing(w[from].at, w[i].at) / kDeg;
            const double off = std::fabs(std::remainder(dir - w[i].hdg, 360.0));
            if (w[i].heightFt < maxHeightFt && d / std::max(w[i].t - w[from].t, 0.01) > 2.5 && off > 30.0)
                out.push_back(fmt::format("at {:.1f} s {:.0f} ft up heading {:.0f} moving {:.0f}", w[i].t,
                                          w[i].heightFt, w[i].hdg, dir));
            from = i;
        }
        return out;
    }
    void checkRightTurnOff()
    {
        const auto report = motion();
        ASSERT_EQ(report.objects.size(), 1u);
        const kvr::standin::MotionCounts& c = report.objects.begin()->second;
        EXPECT_EQ(c.backwards, 0u);
        EXPECT_EQ(c.slides, 0u);
        EXPECT_EQ(c.reversals, 0u);
        failOnFindings(report);
        // Off the runway up to the taxiway it never faces south of west.
        for (const Write& w : traceWrites())
            if (w.onGround && w.kts > 5.0 && w.at.latitude < kTaxiwayNorthOf26L) {
                EXPECT_TRUE(w.hdg >= 260.0 && w.hdg <= 360.0) << "at " << w.t << " s heading " << w.hdg;
            }
        const auto slides = slidesNearGround(30.0);
        EXPECT_TRUE(slides.empty()) << slides.size() << " writes off their way, first " << slides.front();
    }
};

} // namespace

// It turns right, toward the report north of the runway, and rolls forward
// to it: rolling, it never faces south of west.
TEST_F(RunwayExitTest, AnExitToTheRightOfTheRollTurnsRightAndRollsForwardToIt)
{
    at(kLasVegas);
    play(kvr::test::reportsFromFile("exit-report-right-of-runway-klas.csv"), 0x4C4201, "SWA301");
    checkRightTurnOff();
}

// The same with roll reports 25 to 38 m right of the centre line: the turn
// off still goes right, never back across toward the centre line.
TEST_F(RunwayExitTest, ARollReportedRightOfTheCentreLineTurnsRightOffForward)
{
    at(kLasVegas);
    play(kvr::test::reportsFromFile("exit-right-roll-off-centre-klas.csv"), 0x4C4206, "SWA306");
    checkRightTurnOff();
}

// A roll report at 87 kt along the runway that the feed places 45 m left of
// its centre line, then the next report on a taxiway to the right: the roll
// keeps to the runway, never turns off left toward that report (to come back
// across the runway backwards), and turns off right, forward.
TEST_F(RunwayExitTest, ARollReportLeftOfTheRunwayKeepsTheRollOnItAndTurnsOffRight)
{
    at(kLasVegas);
    play(kvr::test::reportsFromFile("exit-after-roll-45m-left-klas.csv"), 0x4C4207, "SWA307");
    checkRightTurnOff();
    const double runway = gf_initialBearing(k26L, k08R);
    size_t rolling = 0;
    for (const Write& w : traceWrites()) {
        if (!w.onGround || w.kts <= 40.0)
            continue;
        ++rolling;
        const double off = gf_relativePosition(k26L, runway, w.at).acrossM;
        EXPECT_LE(std::fabs(off), k26LHalfWidthM) << "at " << w.t << " s " << off << " m off the centre line at " << w.kts
                                                  << " kt";
    }
    EXPECT_GT(rolling, 300u);
}

// The same report 55 m left, further off than a roll is kept on the runway
// from: it is still the roll, not an exit to the left.
TEST_F(RunwayExitTest, ARollReportFarLeftOfTheRunwayIsNoExitToTheLeft)
{
    at(kLasVegas);
    play(kvr::test::reportsFromFile("exit-after-roll-55m-left-klas.csv"), 0x4C4208, "SWA308");
    checkRightTurnOff();
}

// Slowed to 22-31 kt, the roll's next report lies on the exit 50 to 89
// degrees off the way it rolls.
struct ExitCase {
    const char* reports;
    const Airport* airport;
    uint32_t hexid;
};
class ExitTurnTest : public RunwayExitTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitTurnTest, TheHeadingTurnsOntoTheExitWithTheWay)
{
    const ExitCase& k = GetParam();
    at(*k.airport);
    const auto reports = kvr::test::reportsFromFile(k.reports);
    play(reports, k.hexid, fmt::format("AAL{}", k.hexid & 0xFF));
    const auto report = motion();
    ASSERT_GE(report.objects.size(), 1u);
    EXPECT_GT(report.total.writes, 1000u);
    EXPECT_EQ(report.total.slides, 0u);
    EXPECT_EQ(report.total.backwards, 0u);
    failOnFindings(report);
    const auto slides = slidesNearGround(30.0);
    EXPECT_TRUE(slides.empty()) << slides.size() << " writes off their way, first " << slides.front();
}

INSTANTIATE_TEST_SUITE_P(Landings, ExitTurnTest,
                         ::testing::Values(ExitCase{"exit-at-31kt-left-klas.csv", &kLasVegas, 0x4C4202},
                                           ExitCase{"exit-at-22kt-right-klax.csv", &kLosAngeles, 0x4C4203},
                                           ExitCase{"exit-at-26kt-left-klas.csv", &kLasVegas, 0x4C4204}));

// The first ground report lies early on the runway, the one after it on a
// taxiway to its right: the touch-down held short of the threshold settles
// past it, and the aircraft rolls onto the exit turning with its way.
TEST_F(RunwayExitTest, ATouchDownHeldShortOfTheThresholdSettlesAndTurnsOffWithItsWay)
{
    at(kLasVegas);
    play(kvr::test::reportsFromFile("exit-short-touchdown-klas.csv"), 0x4C4205, "SWA305");
    const auto report = motion();
    ASSERT_EQ(report.objects.size(), 1u);
    failOnFindings(report);
    bool landed = false;
    for (const Write& w : traceWrites())
        landed = landed || (w.onGround && w.at.longitude < -115.126 && w.at.longitude > -115.131);
    EXPECT_TRUE(landed) << "no touch-down on the runway before the exit";
    const auto slides = slidesNearGround(30.0);
    EXPECT_TRUE(slides.empty()) << slides.size() << " writes off their way, first " << slides.front();
}

// ---- Rolls that touched down further on than their reports ----
//
// The reports roll out along the runway, then the next one lies on a
// parallel taxiway beside it: behind the roll (the reports left the runway
// before the shown aircraft was down), or at the runway's far end, which the
// roll cannot reach by that report's time; from there they taxi on along the
// taxiway, back the way the roll came, and stop.
namespace {

struct RollBehindCase {
    const Airport* airport;
    const char* runway;
    double besideM; // the taxiway right of the centre line, left when negative
    double backM;   // its first report this far behind the last on the runway; 0: at the far end
};

std::string rollBehindName(const ::testing::TestParamInfo<RollBehindCase>& info)
{
    const RollBehindCase& k = info.param;
    const char* icao = k.airport == &kLasVegas ? "KLAS" : k.airport == &kLosAngeles ? "KLAX" : "KJFK";
    return fmt::format("{}_{}_{}{}m_{}", icao, k.runway, k.besideM < 0 ? "left" : "right", std::lround(std::fabs(k.besideM)),
                       k.backM > 0.0 ? fmt::format("{}m_back", std::lround(k.backM)) : std::string("at_the_end"));
}

class RollBehindReportsTest : public RunwayExitTest, public ::testing::WithParamInterface<RollBehindCase> {
protected:
    // A 3 degree approach from 4 NM at 135 kt, touching down 400 m past the
    // threshold, reported every 5 s, the roll braking 3 kt/s; the last
    // report on the runway 10 s after the touch-down at 105 kt.
    std::vector<kvr::standin::TrackPoint> reports(const RollBehindCase& k)
    {
        const auto& end = kvr::standin::gf_runwayEnd(runways, k.runway);
        const auto& other = kvr::standin::gf_oppositeEnd(runways, k.runway);
        const double hdg = gf_initialBearing(end.threshold, other.threshold) / kDeg;
        const double lengthM = metres(end.threshold, other.threshold);
        const LatLon touch = kvr::test::movedMetres(end.threshold, hdg, 400.0);
        const double outM = 4.0 * 1852.0;
        const double seconds = std::round(outM / (135.0 * 1852.0 / 3600.0));
        const double heightFt = outM * std::tan(3.0 * kDeg) / 0.3048;
        kvr::standin::TrackBuilder b(kvr::test::movedMetres(touch, hdg + 180.0, outM), end.elevationFt + heightFt, 135.0, hdg,
                                     false);
        b.fly(seconds, 0.0, -heightFt / seconds * 60.0);
        b.setOnGround(true, end.elevationFt);
        b.fly(10.0, -3.0);
        std::vector<kvr::standin::TrackPoint> out;
        for (const auto& p : b.points())
            if (std::fmod(p.t, 5.0) == 0.0 || &p == &b.points().back())
                out.push_back(p);
        const kvr::standin::TrackPoint last = out.back();
        const double alongM = metres(end.threshold, {last.lat, last.lon});
        // The first report on the taxiway, 10 s on.
        const double firstAlongM = k.backM > 0.0 ? alongM - k.backM : lengthM - 40.0;
        LatLon at = kvr::test::movedMetres(kvr::test::movedMetres(end.threshold, hdg, firstAlongM),
                                           hdg + (k.besideM > 0.0 ? 90.0 : -90.0), std::fabs(k.besideM));
        // At 18 kt, slowing before it stops as a taxiing aircraft brakes.
        double t = last.t + 10.0;
        const auto taxiKt = [](int i) { return i < 12 ? 18.0 : std::max(18.0 - 6.0 * (i - 11), 0.0); };
        for (int i = 0; i < 14; ++i, t += 5.0) {
            out.push_back(kvr::test::feedReport(t, at, end.elevationFt, taxiKt(i), std::fmod(hdg + 180.0, 360.0), true));
            at = kvr::test::movedMetres(at, hdg + 180.0, (taxiKt(i) + taxiKt(i + 1)) / 2.0 * 1852.0 / 3600.0 * 5.0);
        }
        const LatLon stop{out.back().lat, out.back().lon};
        for (int i = 0; i < 3; ++i, t += 10.0)
            out.push_back(kvr::test::feedReport(t, stop, end.elevationFt, 0.0, std::fmod(hdg + 180.0, 360.0), true));
        return out;
    }
    // Creations, and removals before the last write (the simulator's end
    // removes what it still shows after that).
    std::pair<size_t, size_t> createsAndRemoves() const
    {
        std::ifstream in(tracePath, std::ios::binary);
        size_t creates = 0;
        std::vector<double> removed;
        double last = 0.0;
        for (std::string line; std::getline(in, line);) {
            const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
            const std::string kind = j.is_object() ? j.value("k", "") : "";
            creates += kind == "create" ? 1 : 0;
            if (kind == "remove")
                removed.push_back(j.value("t", 0.0));
            if (kind == "pos")
                last = j.value("t", 0.0);
        }
        return {creates, static_cast<size_t>(std::count_if(removed.begin(), removed.end(), [&](double t) { return t < last; }))};
    }
};

} // namespace

// The roll stays shown: it brakes on the runway, turns off nose first toward
// the side its reports went, taxis after them, lagging as long as it needs,
// and ends where they stopped: never hidden, never sideways, backwards or
// turned about in one go, never faster than taxiing off the runway.
TEST_P(RollBehindReportsTest, TurnsOffAndTaxisAfterItsReports)
{
    const RollBehindCase& k = GetParam();
    at(*k.airport);
    const auto r = reports(k);
    const uint32_t hexid = 0x4C5A00 + static_cast<uint32_t>(std::fabs(k.besideM) + k.backM / 10.0);
    playReports(r, hexid, "UAL1616");
    run(15000);
    stopThread();
    const auto [creates, removes] = createsAndRemoves();
    EXPECT_EQ(creates, 1u);
    EXPECT_EQ(removes, 0u) << "hidden while its reports went on";
    const auto report = traceMotion(runways);
    EXPECT_EQ(report.total.slides, 0u);
    EXPECT_EQ(report.total.backwards, 0u);
    EXPECT_EQ(report.total.reversals, 0u);
    EXPECT_EQ(report.total.jumps, 0u);
    EXPECT_EQ(report.total.offRunwayDashes, 0u);
    EXPECT_EQ(report.total.removedRolling, 0u);
    EXPECT_EQ(report.total.shortJumps, 0u);
    // Where the roll's braking meets the taxi's braking cap off the runway, a
    // change of up to 17 kt in a second is still seen once at Las Vegas.
    EXPECT_LE(report.total.speedSnaps, 1u);
    failOnFindings(report);
    const std::vector<Write> w = traceWrites();
    ASSERT_FALSE(w.empty());
    EXPECT_LT(metres(w.back().at, {r.back().lat, r.back().lon}), 60.0) << "ended " << metres(w.back().at, {r.back().lat, r.back().lon})
                                                                         << " m from where its reports stopped";
}

INSTANTIATE_TEST_SUITE_P(Generated, RollBehindReportsTest,
                         ::testing::Values(RollBehindCase{&kLosAngeles, "24R", -160.0, 500.0},
                                           RollBehindCase{&kLosAngeles, "25L", 210.0, 300.0},
                                           RollBehindCase{&kLasVegas, "26L", 130.0, 600.0},
                                           RollBehindCase{&kLasVegas, "19R", -250.0, 700.0},
                                           RollBehindCase{&kvr::test::kNewYork, "22L", 100.0, 400.0},
                                           RollBehindCase{&kLosAngeles, "25R", 180.0, 0.0},
                                           RollBehindCase{&kLasVegas, "26R", -150.0, 0.0}),
                         rollBehindName);
