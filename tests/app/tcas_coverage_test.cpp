// The TCAS coverage rule on the whole road: an aircraft whose livery only the
// deeper matching above the TCAS level could find goes once it is below the
// level and stays away while it is; a small aircraft that its own steps match
// at any depth is shown for as long as it is in range. The stand-in App sends
// the traffic, the program's own main task takes it through on manual frames,
// and the stand-in simulator's trace shows what was created and removed.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <future>
#include <numbers>
#include <string>
#include <vector>

#include "core/geodesy.h"
#include "liveries/livery_memory.h"
#include "simlink/simconnect_loader.h"
#include "simlink/user_aircraft.h"
#include "standins/rt_app_lines.h"
#include "standins/trace_summary.h"
#include "standins/track_generator.h"
#include "tests/app/main_task_fixture.h"
#include "tests/app/road_run.h"
#include "tests/app/rt_app_run.h"
#include "update/downloader.h"

using namespace kvr::test;
using namespace kvr::standin;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kFramesPerSecond = 50;
constexpr uint32_t kTicksPerFrame = 2;
// Far from every airport of the airport list: no parking, no ground traffic.
const LatLon kUser{54.5, 3.0};

struct Flight {
    AppAircraft who;
    std::vector<TrackPoint> track; // run seconds
};

// Round and round `seconds` long, `radiusNm` from the user to the east,
// starting due east of the circle's centre, descending at vsFpm after `levelS`.
std::vector<TrackPoint> lf_circles(double altFt, double kt, double turnDegPerS, double seconds, double levelS = 0.0,
                                   double vsFpm = 0.0)
{
    const LatLon start = gf_destinationPoint(kUser, {std::numbers::pi / 2.0, 3.0 * 6076.12});
    TrackBuilder b(start, altFt, kt, 0.0, false);
    if (levelS > 0.0)
        b.fly(levelS, 0.0, 0.0, turnDegPerS);
    b.fly(seconds - levelS, 0.0, vsFpm, turnDegPerS);
    return b.points();
}

struct RunResult {
    bool ended = false;
    bool stopRequested = false;
    double endSim = 0.0; // simulator seconds when the run asked to stop
    TraceSummary summary;
    std::string log;
};

// Plays the flights' App reports for `seconds` (and 60 s more) with the user
// standing or flying at `userAltFt`, the liveries installed.
RunResult lf_run(MainTaskFixture& fx, const std::vector<Flight>& flights, const std::vector<InstalledLivery>& liveries,
                 bool userOnGround, double userAltFt, double seconds)
{
    RunResult result;
    if (!gf_loadSimConnect()) {
        ADD_FAILURE() << gf_simConnectLoadError();
        return result;
    }
    SimConnectStandin sim;
    if (!sim.bind()) {
        ADD_FAILURE() << "the stand-in simulator did not bind";
        return result;
    }
    const fs::path tracePath = fs::temp_directory_path() / "kelo_tcas_coverage.jsonl";
    fs::remove(tracePath);
    _putenv_s("KELO_SIM_TRACE", tracePath.string().c_str());
    _putenv_s("KELO_SIM_TRACE_EVERY", "25");
    sim.reset();
    nlohmann::json titles = nlohmann::json::array();
    for (const InstalledLivery& l : liveries)
        titles.push_back({{"title", l.title}, {"static_cg_ft", 8.0}});
    EXPECT_TRUE(sim.load({{"mode", "realtime"},
                          {"sim_running", true},
                          {"frames_per_second", kFramesPerSecond},
                          {"trace_positions", false},
                          {"ground_ft", 0.0},
                          {"titles", titles},
                          {"user",
                           {{"title", "Airbus A320 Neo"}, {"atc_model", "A20N"}, {"lat", kUser.latitude},
                            {"lon", kUser.longitude}, {"alt_ft", userAltFt}, {"on_ground", userOnGround},
                            {"gs_kt", 0.0}}}}));
    // Nothing of an earlier run in this process: no user position to jump
    // from, no title refused before.
    gf_resetUserAircraftState();
    gf_clearFailedLiveriesForTests();
    const uint16_t port = prepareRtAppRun(fx, liveries);
    EXPECT_NE(port, 0);
    gf_setDownloadSiteForTests("http://127.0.0.1:9/"); // nothing answers: no update
    MessageBoxRecorder boxes;

    std::vector<std::vector<TrackPoint>> reports;
    for (const Flight& f : flights)
        reports.push_back(gf_appReports(f.track, {.seed = f.who.hexid}));
    RtAppStandIn app;
    auto appConnected = std::async(std::launch::async, [&] { return app.connect(port, 60s); });
    const double epoch = static_cast<double>(gf_nowSeconds(false));
    RoadRun run(sim);
    run.framesPerSecond = kFramesPerSecond;
    run.ticksPerFrame = kTicksPerFrame;
    run.parkedAnswered = [] { return true; }; // no airport: no parked traffic is asked for
    double nextBatch = 0.0;
    auto sendDue = [&] {
        if (nextBatch > seconds || run.seconds() < nextBatch)
            return;
        std::vector<std::pair<double, std::string>> timed;
        for (size_t i = 0; i < flights.size(); ++i) {
            for (const TrackPoint& r : reports[i]) {
                if (r.t <= nextBatch - 2.0 || r.t > nextBatch)
                    continue;
                AppAircraft a = flights[i].who;
                a.lat = r.lat;
                a.lon = r.lon;
                a.altitude = r.altFt;
                a.groundSpeed = a.tas = r.gsKt;
                a.track = r.trackDeg;
                a.verticalSpeed = r.vsFpm;
                timed.emplace_back(epoch + r.lineTime(), trafficLine(a, epoch + r.lineTime()));
            }
        }
        nextBatch += 2.0;
        if (timed.empty())
            return;
        std::stable_sort(timed.begin(), timed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> lines;
        for (auto& [t, line] : timed)
            lines.push_back(std::move(line));
        sendBatchAndWait(app, lines, static_cast<uint64_t>(std::llround(std::stod(fmt::format("{:.2f}", timed.back().first)))));
    };
    run.onManual = [&] { app.sendMetar("EHAM 071025Z 24012KT 9999 FEW020 08/04 Q1013"); };
    run.onFrame = [&](double) { sendDue(); };
    run.done = [&](double t) {
        if (t < seconds + 60.0)
            return false;
        result.endSim = run.simSeconds();
        return true;
    };
    result.ended = run.run(900s);
    result.stopRequested = run.stopRequested;
    gf_setDownloadSiteForTests("");
    _putenv_s("KELO_SIM_TRACE", "");
    _putenv_s("KELO_SIM_TRACE_EVERY", "");
    sim.reset(); // closes the trace file
    EXPECT_TRUE(appConnected.get());
    std::ifstream in(tracePath, std::ios::binary);
    result.summary = gf_summarizeTrace(in, false);
    std::printf("%s", gf_summaryText(result.summary).c_str());
    result.log = fx.log();
    // The next run in this process starts where its own simulator puts the
    // user, with no aircraft left on the no-match list.
    gf_resetUserAircraftState();
    gf_clearNoMatchList();
    return result;
}

std::vector<InstalledLivery> lf_liveries()
{
    return {{"SAS", "C172", "Cessna 172 Aeroclub"},
            {"SWR", "EC35", "Eurocopter EC135 Air Zermatt"},
            {"RYR", "B738", "Boeing 737-800 Ryanair Tcas Tests"}};
}

} // namespace

// With the user on the ground and the default matching depth 4, a light
// aircraft of a type with liveries (step 5), one of a similar type (step 6)
// and a helicopter of a type without (step 7, any helicopter) fly low for ten
// minutes: each is created once and shown until the end.
TEST(TcasCoverage, SmallAircraftMatchedByTheirTypeStepsStayBelowTheLevel)
{
    MainTaskFixture fx(true, 1);
    const std::vector<Flight> flights{
        {{.hexid = 0x4A0001, .callsign = "N172KL", .type = "C172", .registration = "N172KL", .category = "A1"},
         lf_circles(2000.0, 90.0, 1.0, 600.0)},
        {{.hexid = 0x4A0002, .callsign = "N28PA", .type = "PA28", .registration = "N28PA", .category = "A1"},
         lf_circles(2500.0, 100.0, 1.0, 600.0)},
        {{.hexid = 0x4A0003, .callsign = "DHEMS", .type = "H145", .registration = "D-HEMS", .category = "A7"},
         lf_circles(800.0, 60.0, 2.0, 600.0)},
    };
    const RunResult r = lf_run(fx, flights, lf_liveries(), true, 0.0, 600.0);
    ASSERT_TRUE(r.ended) << r.log;
    ASSERT_TRUE(r.stopRequested) << "the main loop never ran its scenario\n" << r.log;

    const char* steps[] = {" =5= Cessna 172 Aeroclub", " =6= Cessna 172 Aeroclub", " =7= Eurocopter EC135 Air Zermatt"};
    for (size_t i = 0; i < flights.size(); ++i) {
        const Flight& f = flights[i];
        SCOPED_TRACE(f.who.callsign);
        EXPECT_NE(r.log.find(f.who.callsign), std::string::npos);
        EXPECT_EQ(countOf(r.log, steps[i]), 1u) << "its livery chosen more than once\n" << r.log;
        const auto objects = r.summary.withTail(f.who.callsign);
        ASSERT_EQ(objects.size(), 1u) << "created again and again";
        const TracedObject& o = *objects.front();
        EXPECT_EQ(o.creations, 1u);
        // Removed only by the end of the run, never while it flew.
        if (o.removedAt) {
            EXPECT_GE(*o.removedAt, r.endSim - 1.0) << "removed while in range";
        }
    }
    EXPECT_EQ(r.summary.objects.size(), flights.size());
}

// With the user above the level (TCAS_FL 180: the user at 25,000 ft), a heavy jet whose type and category
// have no livery is matched at the last step (a B737-800) above it; it
// descends through the level, goes once below FL170 and is not created again
// while its reports stay below.
TEST(TcasCoverage, AJetMatchedAtTheLastStepGoesBelowTheLevelAndStaysAway)
{
    MainTaskFixture fx(true, 1);
    // 90 s level at 21,000 ft, then down at 2000 ft/min to 9,000 ft and level
    // there, four minutes and a half below 16,000 ft.
    const std::vector<Flight> flights{
        {{.hexid = 0x4A0011, .callsign = "UAE9", .type = "B77W", .registration = "A6-EQZ", .airline = "UAE"},
         lf_circles(21000.0, 280.0, 1.0, 600.0, 90.0, -2000.0)},
    };
    std::vector<Flight> clamped = flights;
    for (TrackPoint& p : clamped[0].track) {
        if (p.altFt < 9000.0) {
            p.altFt = 9000.0;
            p.vsFpm = 0.0;
        }
    }
    const RunResult r = lf_run(fx, clamped, lf_liveries(), false, 25000.0, 600.0);
    ASSERT_TRUE(r.ended) << r.log;
    ASSERT_TRUE(r.stopRequested) << "the main loop never ran its scenario\n" << r.log;

    EXPECT_EQ(countOf(r.log, " =8= Boeing 737-800 Ryanair Tcas Tests"), 1u) << r.log;
    const auto objects = r.summary.withTail("UAE9");
    ASSERT_EQ(objects.size(), 1u) << "created again below the level\n" << r.log;
    const TracedObject& o = *objects.front();
    ASSERT_TRUE(o.removedAt.has_value());
    EXPECT_EQ(o.removedBy, "client");
    // Its reports crossed 16,000 ft 240 s in and are played 30 s behind: the
    // removal follows within the next run of the rule, long before the end.
    EXPECT_LT(*o.removedAt, r.endSim - 200.0) << "not removed below the level";
    EXPECT_GT(*o.removedAt, o.createdAt + 200.0) << "removed before it was below the level";
    // The records below the level found no livery within the depth: listed
    // as unmatched, not created.
    const size_t unmatched = r.log.rfind("No match found for:");
    ASSERT_NE(unmatched, std::string::npos) << r.log;
    EXPECT_NE(r.log.find("B77W     A6-EQZ", unmatched), std::string::npos) << r.log;
}
