// The whole road in one run: the stand-in App sends a few minutes of traffic
// around Amsterdam (departures, arrivals that land, taxiing, overflights, one
// aircraft flying out of range, one whose title the simulator refuses, and
// the ground's hard cases of real traffic: right-angle taxi corners at 25 kt,
// a high-speed exit, an arrival next seen 500 m back on the parallel taxiway,
// a minute lined up and waiting, a first report on the take-off roll, a
// departure that drives off forward from beside the runway, a light aircraft
// with multilateration jumps), each reported as the App reports real traffic
// (about every 10 s, rounded, with position noise); the
// program's own main task takes it through the feed, the engine and the link
// into the stand-in simulator, on manual frames and a clock moved by the main
// task's own sleeps; the simulator's trace file shows what it did.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <numbers>
#include <thread>

#include "airports/package_scan.h"
#include "app/main_task.h"
#include "core/clock.h"
#include "core/geodesy.h"
#include "core/layout.h"
#include "feed/traffic_mailbox.h"
#include "feed/traffic_records.h"
#include "simlink/facility_reader.h"
#include "simlink/position_stream.h"
#include "simlink/simconnect_loader.h"
#include "standins/rt_app_scenario.h"
#include "standins/simconnect/standin_control.h"
#include "standins/trace_check.h"
#include "standins/trace_summary.h"
#include "standins/track_generator.h"
#include "tests/app/main_task_fixture.h"
#include "tests/app/road_run.h"
#include "tests/app/rt_app_run.h"
#include "tests/feed/feed_test_support.h"
#include "tests/runways/runway_fixture.h"
#include "update/downloader.h"

using namespace kvr::test;
using namespace kvr::standin;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kFramesPerSecond = 100;
constexpr double kEhamFt = -11.0;
constexpr double kLastBatch = 300.0;   // scenario seconds of traffic
constexpr double kRunSeconds = 440.0;  // then the engine runs on: the 30 s delay, predictions, removals
constexpr double kMetresPerNm = 1852.0;
const LatLon kUser{52.30872, 4.76392};
constexpr double kStandSeconds = 40.0; // DLH2409 stands this long beside the runway

// ---- The scenario ----

enum class Ending {
    LinesUp,
    TakesOff,
    Lands,
    LandsAndIsLost, // lands, then the feed loses it until it is far behind: it may come back there
    LeavesRange,
    StaysInRange,
    Refused,
    Parks,
    PushesBack,
    LeavesForward
};

struct Flight {
    AppAircraft who;
    std::vector<TrackPoint> track; // scenario seconds
    Ending ending = Ending::StaysInRange;
};

// A light aircraft's air reports come from multilateration: they step back
// and forth along its track by up to this much.
constexpr double kLightJumpM = 400.0;
double lf_airJumpM(const Flight& f)
{
    return f.who.category == "A1" ? kLightJumpM : 0.0;
}

// A departure that stands on the runway for `holdSeconds` before its roll.
std::vector<TrackPoint> lf_holdingDeparture(const RunwayEndGeometry& end, double holdSeconds)
{
    std::vector<TrackPoint> track = gf_movingFrom(gf_departureTrack(end, 1000.0, 140.0, 3000.0), 0.0);
    const auto standing = std::find_if(track.begin(), track.end(), [](const TrackPoint& p) { return p.gsKt <= 0.0; });
    for (auto p = standing + 1; p != track.end(); ++p)
        p->t += holdSeconds;
    std::vector<TrackPoint> hold;
    for (double s = 1.0; s <= holdSeconds; s += 1.0)
        hold.push_back(*standing), hold.back().t += s;
    track.insert(standing + 1, hold.begin(), hold.end());
    return track;
}

// Taxi onto the runway and line up; the samples end there.
std::vector<TrackPoint> lf_lineUp(const RunwayEndGeometry& end, double start)
{
    std::vector<TrackPoint> track = gf_movingFrom(gf_departureTrack(end, 1000.0, 140.0, 3000.0), start);
    const auto standing = std::find_if(track.begin(), track.end(), [](const TrackPoint& p) { return p.gsKt <= 0.0; });
    track.erase(standing + std::min<ptrdiff_t>(5, track.end() - standing), track.end());
    return track;
}

// ---- Stands: a pier of gates D2 to D7 (the user stands at D4) and the gate
// where the arriving KLM1396 ends. ----

const LatLon kEhamRef{52.3086, 4.7639};
constexpr double kGateRadiusM = 20.0;
constexpr double kFtPerM = 3.2808399;

struct Gate {
    char letter = 'D';
    int number = 0;
    LatLon at;               // where the facility reader puts it
    double headingDeg = 0.0; // the parked aircraft's nose
    double biasX = 0.0, biasZ = 0.0; // metres east and north of the airport's reference point
    std::string name() const { return std::string("GATE ") + letter + std::to_string(number); }
};

Gate lf_gate(char letter, int number, LatLon wanted, double headingDeg)
{
    const double cosLat = std::cos(kEhamRef.latitude * std::numbers::pi / 180.0);
    Gate g{letter, number, {}, headingDeg, (wanted.longitude - kEhamRef.longitude) * cosLat * 60.0 * kMetresPerNm,
           (wanted.latitude - kEhamRef.latitude) * 60.0 * kMetresPerNm};
    // As the reader places a parking: east by BIAS_X, then north by BIAS_Z.
    const LatLon east =
        gf_destinationPoint(kEhamRef, {std::numbers::pi * (g.biasX >= 0.0 ? 0.5 : 1.5), std::abs(g.biasX) * kFtPerM});
    g.at = gf_destinationPoint(east, {g.biasZ >= 0.0 ? 0.0 : std::numbers::pi, std::abs(g.biasZ) * kFtPerM});
    return g;
}

// The gate as the simulator's facility data lists it.
nlohmann::json lf_taxiParking(const Gate& g)
{
    return {{"TYPE", 9}, // GATE_MEDIUM
            {"TAXI_POINT_TYPE", 0},
            {"NAME", 12 + (g.letter - 'A')},
            {"SUFFIX", 0},
            {"NUMBER", g.number},
            {"ORIENTATION", 0},
            {"HEADING", g.headingDeg},
            {"RADIUS", kGateRadiusM},
            {"BIAS_X", g.biasX},
            {"BIAS_Z", g.biasZ}};
}

double lf_metresBetween(const LatLon& a, const LatLon& b)
{
    return gf_distanceNm(a, b) * kMetresPerNm;
}

// A landing on `end` from 3 NM, then off the runway to the left, south onto
// a gate: it stops there, its nose south.
std::vector<TrackPoint> lf_landAndTaxiIn(const RunwayEndGeometry& end)
{
    std::vector<TrackPoint> track = gf_landingTrack(end, 3.0);
    const TrackPoint rolled = track.back();
    TrackBuilder in({rolled.lat, rolled.lon}, rolled.altFt, rolled.gsKt, rolled.trackDeg, true);
    in.fly(5.0, -1.0).turnTo(180.0, 3.0).fly(15.0).fly(5.0, -1.0).fly(4.0, -1.25).hold(30.0);
    for (size_t i = 1; i < in.points().size(); ++i) {
        TrackPoint p = in.points()[i];
        p.t += rolled.t;
        track.push_back(p);
    }
    return track;
}

// Standing at the gate, pushed back 50 m along its axis (the nose stays on
// the gate's heading), then turning west onto the taxi lane and away.
std::vector<TrackPoint> lf_pushBackAndTaxi(const Gate& gate, double start)
{
    TrackBuilder at(gate.at, kEhamFt, 0.0, gate.headingDeg, true);
    at.hold(30.0);
    std::vector<TrackPoint> track = at.points();
    const double back = std::fmod(gate.headingDeg + 180.0, 360.0) * std::numbers::pi / 180.0;
    constexpr int kPushSeconds = 32;
    for (int i = 1; i <= kPushSeconds; ++i) {
        const LatLon p = gf_destinationPoint(gate.at, {back, 50.0 * i / kPushSeconds * kFtPerM});
        track.push_back({track.back().t + 1.0, p.latitude, p.longitude, kEhamFt, i < kPushSeconds ? 3.0 : 0.0,
                         gate.headingDeg, 0.0, true});
    }
    TrackBuilder away({track.back().lat, track.back().lon}, kEhamFt, 0.0, gate.headingDeg, true);
    away.hold(10.0).setSpeed(4.0).turnTo(270.0, 6.0).fly(6.0, 1.0).fly(60.0);
    const double pushed = track.back().t;
    for (size_t i = 1; i < away.points().size(); ++i) {
        TrackPoint p = away.points()[i];
        p.t += pushed;
        track.push_back(p);
    }
    for (TrackPoint& p : track)
        p.t += start;
    return track;
}

// The pier at the user's position and the arrival's gate.
std::vector<Gate> lf_gates(const LatLon& arrivalStop)
{
    const double cosLat = std::cos(kUser.latitude * std::numbers::pi / 180.0);
    std::vector<Gate> gates;
    const double degreesPer80M = 80.0 / (60.0 * kMetresPerNm * cosLat);
    for (int n = 2; n <= 7; ++n)
        gates.push_back(lf_gate('D', n, {kUser.latitude, kUser.longitude + (n - 4) * degreesPer80M}, 180.0));
    gates.push_back(lf_gate('F', 8, arrivalStop, 180.0));
    return gates;
}

const Gate& lf_gateNamed(const std::vector<Gate>& gates, const std::string& name)
{
    return *std::find_if(gates.begin(), gates.end(), [&](const Gate& g) { return g.name() == name; });
}

// Parked aircraft the App reports: three on free gates, one on the user's.
std::vector<AppParked> lf_parkedAircraft(const std::vector<Gate>& gates)
{
    auto at = [&](const char* name) { return lf_gateNamed(gates, name).at; };
    return {{0x4843A1, "KLM1117", "B738", "PH-BXE", "D5", at("GATE D5").latitude, at("GATE D5").longitude},
            {0x4843A2, "EZY45TW", "A320", "G-EZTW", "D6", at("GATE D6").latitude, at("GATE D6").longitude},
            {0x4843A3, "BAW8CN", "A320", "G-EUUB", "D7", at("GATE D7").latitude, at("GATE D7").longitude},
            {0x4843A4, "DLH4YE", "A20N", "D-AINB", "D4", at("GATE D4").latitude, at("GATE D4").longitude}};
}

std::vector<Flight> lf_flights(const std::vector<Gate>& gates)
{
    const auto runways = gf_loadRunwayCsv(fs::path(KELO_SOURCE_DIR) / "../shared/data/runways-eham.csv");
    const LatLon west = gf_destinationPoint(kUser, {270.0 * std::numbers::pi / 180.0, 7.0 * 6076.12});
    const LatLon north = gf_destinationPoint(kUser, {0.0, 8.0 * 6076.12});
    const LatLon south = gf_destinationPoint(kUser, {std::numbers::pi, 3.0 * 6076.12});
    // West, a right-angle corner south, another one east.
    const std::vector<LatLon> taxiway{{52.3095, 4.7600}, {52.3095, 4.7520}, {52.3060, 4.7520}, {52.3060, 4.7560}};
    return {
        {{.hexid = 0x484301, .callsign = "KLM1601", .type = "B738", .registration = "PH-BXA", .airline = "KLM"},
         // Lines up and waits on the runway for a minute, then takes off and climbs out.
         lf_holdingDeparture(gf_runwayEnd(runways, "24"), 60.0), Ending::TakesOff},
        {{.hexid = 0x484302, .callsign = "TRA5821", .type = "B738", .registration = "PH-HXB", .airline = "TRA"},
         lf_lineUp(gf_runwayEnd(runways, "36L"), 20.0), Ending::LinesUp},
        {{.hexid = 0x484303, .callsign = "KLM1294", .type = "E190", .registration = "PH-EZA", .airline = "KLM"},
         gf_movingFrom(gf_landingTrack(gf_runwayEnd(runways, "27"), 6.0), 0.0), Ending::Lands},
        {{.hexid = 0x484304, .callsign = "EZY7923", .type = "A320", .registration = "G-EZAB", .airline = "EZY"},
         gf_movingFrom(gf_landingTrack(gf_runwayEnd(runways, "06"), 5.0), 30.0), Ending::Lands},
        {{.hexid = 0x484305, .callsign = "DLH2307", .type = "A20N", .registration = "D-AINA", .airline = "DLH"},
         gf_movingFrom(gf_taxiTrack(taxiway, kEhamFt, 14.0), 5.0), Ending::StaysInRange},
        {{.hexid = 0x484306, .callsign = "BAW435", .type = "A320", .registration = "G-EUUA", .airline = "BAW"},
         gf_movingFrom(gf_cruiseTrack(west, 10000.0, 250.0, 80.0, 180.0), 10.0), Ending::StaysInRange},
        {{.hexid = 0x484307, .callsign = "UAE147", .type = "B77W", .registration = "A6-EGA", .airline = "UAE"},
         gf_movingFrom(gf_cruiseTrack(north, 24000.0, 330.0, 175.0, 170.0), 40.0), Ending::StaysInRange},
        {{.hexid = 0x484308, .callsign = "DLH4AB", .type = "A320", .registration = "D-AIZA", .airline = "DLH"},
         gf_movingFrom(gf_cruiseTrack(south, 6000.0, 250.0, 190.0, 200.0), 0.0), Ending::LeavesRange},
        {{.hexid = 0x484309, .callsign = "RYR8AB", .type = "B738", .registration = "EI-DCL", .airline = "RYR"},
         gf_movingFrom(gf_cruiseTrack(west, 7000.0, 220.0, 100.0, 120.0), 15.0), Ending::Refused},
        {{.hexid = 0x48430A, .callsign = "KLM1396", .type = "B738", .registration = "PH-BXD", .airline = "KLM"},
         gf_movingFrom(lf_landAndTaxiIn(gf_runwayEnd(runways, "27")), 0.0), Ending::Parks},
        {{.hexid = 0x48430B, .callsign = "TRA6033", .type = "B738", .registration = "PH-HXC", .airline = "TRA"},
         lf_pushBackAndTaxi(lf_gateNamed(gates, "GATE D3"), 20.0), Ending::PushesBack},
        // Taxi corners of 90 degrees at 25 kt, each between two reports.
        {{.hexid = 0x48430C, .callsign = "KLM1721", .type = "E190", .registration = "PH-EZB", .airline = "KLM"},
         gf_movingFrom(gf_taxiCornersTrack({52.2950, 4.7900}, 0.0, kEhamFt, 25.0), 10.0), Ending::StaysInRange},
        // Off the runway by a high-speed exit at 28 kt.
        {{.hexid = 0x48430D, .callsign = "EZY8811", .type = "A320", .registration = "G-EZAC", .airline = "EZY"},
         gf_movingFrom(gf_highSpeedExitTrack(gf_runwayEnd(runways, "18C")), 20.0), Ending::Lands},
        // Its first report after the roll lies 500 m back, on the parallel
        // taxiway, heading the other way.
        {{.hexid = 0x48430E, .callsign = "TRA6410", .type = "B738", .registration = "PH-HXD", .airline = "TRA"},
         gf_movingFrom(gf_turnBackArrivalTrack(gf_runwayEnd(runways, "36R")), 0.0), Ending::LandsAndIsLost},
        // First reported on its take-off roll.
        {{.hexid = 0x48430F, .callsign = "KLM1835", .type = "B738", .registration = "PH-BXF", .airline = "KLM"},
         gf_movingFrom(gf_takeOffTrack(gf_runwayEnd(runways, "18L"), 140.0, 3000.0), 60.0, 60.0), Ending::TakesOff},
        // Standing beside the runway for 40 s, then away forward and off.
        {{.hexid = 0x484310, .callsign = "DLH2409", .type = "A20N", .registration = "D-AINC", .airline = "DLH"},
         gf_standToTakeOffTrack(gf_runwayEnd(runways, "36C"), kStandSeconds), Ending::LeavesForward},
        // A light aircraft whose positions step back and forth by hundreds of metres.
        {{.hexid = 0x484311, .callsign = "PHABC", .type = "C172", .registration = "PH-ABC", .category = "A1"},
         gf_movingFrom(gf_cruiseTrack(gf_destinationPoint(kUser, {225.0 * std::numbers::pi / 180.0, 4.0 * 6076.12}),
                                      1500.0, 100.0, 45.0, 180.0),
                       30.0),
         Ending::StaysInRange},
    };
}

// What the App reports of every flight's track, each flight with its own draws.
std::vector<std::vector<TrackPoint>> lf_reports(const std::vector<Flight>& flights)
{
    std::vector<std::vector<TrackPoint>> reports;
    for (const Flight& f : flights)
        reports.push_back(gf_appReports(f.track, {.seed = f.who.hexid, .airJumpM = lf_airJumpM(f)}));
    return reports;
}

// Metres from p to the nearest point of the track's polyline.
double lf_metresFromTrack(const std::vector<TrackPoint>& track, const TracedPosition& p)
{
    const double cosLat = std::cos(p.lat * std::numbers::pi / 180.0);
    auto east = [&](double lon) { return (lon - p.lon) * 60.0 * kMetresPerNm * cosLat; };
    auto north = [&](double lat) { return (lat - p.lat) * 60.0 * kMetresPerNm; };
    double best = 1e12;
    for (size_t i = 0; i + 1 < track.size(); ++i) {
        const double ax = east(track[i].lon), ay = north(track[i].lat);
        const double bx = east(track[i + 1].lon), by = north(track[i + 1].lat);
        const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
        const double f = len2 > 0 ? std::clamp(-(ax * dx + ay * dy) / len2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(ax + f * dx, ay + f * dy));
    }
    return best;
}

// The liveries the tests' list holds, installed as one AI package.
std::vector<kvr::test::InstalledLivery> lf_sourceLiveries()
{
    pugi::xml_document doc;
    doc.load_file((fs::path(KELO_SOURCE_DIR) / "standins/datasets/sources/LiveriesScanned.xml").c_str());
    std::vector<kvr::test::InstalledLivery> liveries;
    for (const pugi::xml_node l : doc.child("root").child("liveries").children("l"))
        liveries.push_back({l.attribute("a").as_string(), l.attribute("m").as_string(), l.attribute("t").as_string()});
    return liveries;
}

// The installed liveries but one, each standing 8 ft high on its wheels.
nlohmann::json lf_titlesBut(const std::string& refused)
{
    nlohmann::json titles = nlohmann::json::array();
    const std::string xml = readBytes(fs::path(KELO_SOURCE_DIR) / "standins/datasets/sources/LiveriesScanned.xml");
    for (size_t at = xml.find(" t=\""); at != std::string::npos; at = xml.find(" t=\"", at + 1)) {
        const std::string title = xml.substr(at + 4, xml.find('"', at + 4) - at - 4);
        if (title != refused)
            titles.push_back({{"title", title}, {"static_cg_ft", 8.0}});
    }
    return titles;
}

} // namespace

TEST(WholeRoad, AFewMinutesOfTrafficAroundAmsterdamArriveBelievably)
{
    constexpr const char* kRefusedTitle = "Boeing 737-800 Ryanair";
    MainTaskFixture fx(true, 1);
    ASSERT_TRUE(gf_loadSimConnect()) << gf_simConnectLoadError();
    SimConnectStandin sim;
    ASSERT_TRUE(sim.bind());
    // Kept after the run for a look with kelo_trace_check.
    const fs::path tracePath = fs::temp_directory_path() / "kelo_whole_road.jsonl";
    fs::remove(tracePath);
    _putenv_s("KELO_SIM_TRACE", tracePath.string().c_str());
    _putenv_s("KELO_SIM_TRACE_EVERY", "5");
    sim.reset(); // reads the variables
    nlohmann::json eham = facilityAirport("EHAM", kEhamRef.latitude, kEhamRef.longitude, kEhamFt, amsterdamRunways());
    const auto runwayList = gf_loadRunwayCsv(fs::path(KELO_SOURCE_DIR) / "../shared/data/runways-eham.csv");
    const TrackPoint arrivalStop = lf_landAndTaxiIn(gf_runwayEnd(runwayList, "27")).back();
    const std::vector<Gate> gates = lf_gates({arrivalStop.lat, arrivalStop.lon});
    for (const Gate& g : gates)
        eham["facility"]["TAXI_PARKING"].push_back(lf_taxiParking(g));
    ASSERT_TRUE(sim.load({{"mode", "realtime"},
                          {"sim_running", true},
                          {"frames_per_second", kFramesPerSecond},
                          {"trace_positions", false},
                          {"ground_ft", kEhamFt},
                          {"titles", lf_titlesBut(kRefusedTitle)},
                          {"airports", {eham}},
                          {"user",
                           {{"title", "Airbus A320 Neo"}, {"atc_model", "A20N"}, {"lat", kUser.latitude},
                            {"lon", kUser.longitude}, {"alt_ft", kEhamFt}, {"on_ground", true}}}}));

    const uint16_t port = prepareRtAppRun(fx, lf_sourceLiveries());
    ASSERT_NE(port, 0);
    // Every gate may carry a parked aircraft.
    std::string settings = readBytes(gf_parametersXmlPath());
    settings.insert(settings.find("  </parameters>"), "    <parameter name=\"parking_percentage\" value=\"100\"/>\n");
    writeBytes(gf_parametersXmlPath(), settings);
    // Amsterdam's airport file with the stands of the simulator's facility data.
    {
        ScannedAirport scanned;
        int helipads = 0;
        ASSERT_TRUE(readRoadAirport("EHAM", scanned, helipads));
        ASSERT_EQ(scanned.stands.size(), gates.size());
        writeRoadAirportFile(scanned, helipads);
    }
    gf_setDownloadSiteForTests("http://127.0.0.1:9/"); // nothing answers: no update
    MessageBoxRecorder boxes;

    const std::vector<Flight> flights = lf_flights(gates);
    const std::vector<std::vector<TrackPoint>> reports = lf_reports(flights);
    RtAppStandIn app;
    auto appConnected = std::async(std::launch::async, [&] { return app.connect(port, 60s); });

    // Main loop: the first tick switches the simulator to manual frames and the
    // clocks to the sleeps; every 10 ms of sleep is one frame; every 2 s the
    // App sends a batch and the test waits until the feed has posted it.
    const double epoch = static_cast<double>(gf_nowSeconds(false));
    for (const AppParked& p : lf_parkedAircraft(gates))
        app.parkedLines.push_back(parkedLine(p, epoch));
    RoadRun run(sim);
    run.framesPerSecond = kFramesPerSecond;
    double nextBatch = 0.0;
    std::map<std::string, double> firstSent; // callsign -> simulator seconds of its first record
    auto sendDue = [&] {
        if (nextBatch > kLastBatch || run.seconds() < nextBatch)
            return;
        // The reports made since the last batch, each with its own time, in
        // the order of their times; the feed's clock is the last one's.
        std::vector<std::pair<double, std::string>> timed;
        for (size_t i = 0; i < flights.size(); ++i) {
            const Flight& f = flights[i];
            for (const TrackPoint& r : reports[i]) {
                if (r.t <= nextBatch - 2.0 || r.t > nextBatch)
                    continue;
                AppAircraft a = f.who;
                a.lat = r.lat;
                a.lon = r.lon;
                a.altitude = r.altFt;
                a.groundSpeed = a.tas = r.gsKt;
                a.track = r.trackDeg;
                a.verticalSpeed = r.vsFpm;
                timed.emplace_back(epoch + r.lineTime(), trafficLine(a, epoch + r.lineTime()));
                firstSent.try_emplace(a.callsign, run.simSeconds());
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
    run.done = [](double t) { return t >= kRunSeconds; };
    const bool ended = run.run(600s);
    const bool stopRequested = run.stopRequested;
    gf_setDownloadSiteForTests("");
    _putenv_s("KELO_SIM_TRACE", "");
    _putenv_s("KELO_SIM_TRACE_EVERY", "");
    sim.reset(); // closes the trace file
    ASSERT_TRUE(ended) << fx.log();
    EXPECT_TRUE(appConnected.get());
    ASSERT_TRUE(stopRequested) << "the main loop never ran its scenario\n" << fx.log();

    std::ifstream in(tracePath, std::ios::binary);
    const TraceSummary summary = gf_summarizeTrace(in, true);
    in.clear();
    in.seekg(0);
    const MotionReport motion = gf_checkTraceMotion(in, runwayList);
    std::printf("%s\n%s", gf_summaryText(summary).c_str(), gf_motionTable(motion).c_str());

    const std::string log = fx.log();
    auto angleBetween = [](double a, double b) { return std::abs(std::remainder(a - b, 360.0)); };
    // Static aircraft stand on free gates at the gates' headings; nothing
    // stands on the user's gate.
    const Gate& userGate = lf_gateNamed(gates, "GATE D4");
    size_t statics = 0;
    for (const auto& [id, o] : summary.objects) {
        SCOPED_TRACE(o.tail);
        const LatLon created{o.createdPose.lat, o.createdPose.lon};
        EXPECT_GT(lf_metresBetween(created, userGate.at), kGateRadiusM) << "created on the user's gate";
        if (o.last)
            EXPECT_GT(lf_metresBetween({o.last->lat, o.last->lon}, userGate.at), kGateRadiusM)
                << "ends on the user's gate";
        if (o.tail.empty() || o.tail.back() != '*')
            continue;
        ++statics;
        const auto gate = std::find_if(gates.begin(), gates.end(),
                                       [&](const Gate& g) { return lf_metresBetween(g.at, created) < 1.0; });
        ASSERT_NE(gate, gates.end()) << "a static aircraft off the gates";
        EXPECT_TRUE(o.createdPose.onGround);
        EXPECT_LT(angleBetween(o.createdPose.hdg, gate->headingDeg), 0.5);
    }
    EXPECT_GE(statics, 3u) << "the App's parked aircraft on the free gates\n" << log;

    size_t recreated = 0;
    for (const Flight& f : flights) {
        SCOPED_TRACE(f.who.callsign);
        const auto objects = summary.withTail(f.who.callsign);
        if (f.ending == Ending::Refused) {
            ASSERT_EQ(summary.refusals.size(), 1u);
            EXPECT_EQ(summary.refusals[0].tail, f.who.callsign);
            EXPECT_EQ(summary.refusals[0].title, kRefusedTitle);
            // Its next record brings it back with the next choice of livery.
            ASSERT_FALSE(objects.empty()) << "not created again after the refusal";
            EXPECT_NE(objects[0]->title, kRefusedTitle);
        }
        if (f.ending == Ending::LandsAndIsLost) {
            // It stops on the runway and leaves when its samples run dry;
            // created again where its reports come back, never both at once.
            ASSERT_LE(objects.size(), 2u);
            if (objects.size() == 2) {
                ++recreated;
                ASSERT_TRUE(objects[0]->removedAt.has_value());
                EXPECT_GE(objects[1]->createdAt, *objects[0]->removedAt);
            }
        } else {
            ASSERT_EQ(objects.size(), 1u) << "created once";
        }
        const TracedObject& o = *objects.back();
        EXPECT_EQ(o.creations, 1u);
        ASSERT_TRUE(firstSent.contains(f.who.callsign));
        if (f.ending == Ending::Refused) {
            // The refused creation came in time; the next title follows with
            // the next report, up to 11 s later.
            EXPECT_LE(summary.refusals[0].t - firstSent[f.who.callsign], 35.0);
            EXPECT_LE(o.createdAt - summary.refusals[0].t, 46.0);
        } else {
            // One reported standing waits for its reports to move, one first
            // seen on its take-off roll for three of them in the air.
            double waits = f.ending == Ending::LeavesForward ? kStandSeconds : 0.0;
            if (f.track.front().onGround && f.track.front().gsKt > 30.0) {
                const auto lift = std::find_if(f.track.begin(), f.track.end(),
                                               [](const TrackPoint& p) { return !p.onGround; });
                waits = lift == f.track.end() ? 0.0 : lift->t - f.track.front().t + 33.0;
            }
            EXPECT_LE(objects[0]->createdAt - firstSent[f.who.callsign], 35.0 + waits)
                << "created within 35 s of its first record";
        }
        EXPECT_EQ(o.writesAfterRemoval, 0u);
        ASSERT_TRUE(o.removedAt.has_value()) << "left at the end";
        ASSERT_GT(o.positions.size(), 20u) << "it moves";
        // While it has samples (they play 30 s behind), it follows its track.
        const double samplesEnd = firstSent[f.who.callsign] + (f.track.back().t - f.track.front().t) + 30.0;
        // A climb-out may run a few seconds ahead of its samples, on the line
        // of its last leg.
        std::vector<TrackPoint> line = f.track;
        if (f.ending == Ending::TakesOff) {
            const LatLon last{line.back().lat, line.back().lon};
            const LatLon on = gf_destinationPoint(last, {line.back().trackDeg * std::numbers::pi / 180.0, 1000.0 / 0.3048});
            line.push_back(line.back());
            line.back().lat = on.latitude;
            line.back().lon = on.longitude;
        }
        double worst = 0.0;
        for (const TracedPosition& p : o.positions)
            if (p.t <= samplesEnd)
                worst = std::max(worst, lf_metresFromTrack(line, p));
        EXPECT_LT(worst, 150.0 + lf_airJumpM(f)) << "metres off its track";
        const LatLon lastAt{o.last->lat, o.last->lon};
        if (f.ending != Ending::LeavesRange) {
            double closest = 1e12;
            for (const TracedPosition& p : o.positions)
                closest = std::min(closest, lf_metresFromTrack({f.track.back(), f.track.back()}, p));
            EXPECT_LT(closest, 100.0) << "metres short of where its samples end";
        }
        if (f.ending == Ending::LinesUp)
            EXPECT_TRUE(o.last->onGround);
        if (f.ending == Ending::LeavesForward) {
            // Created where it stands, it drives off nose first.
            const LatLon stand{f.track.front().lat, f.track.front().lon};
            EXPECT_LT(lf_metresBetween({o.createdPose.lat, o.createdPose.lon}, stand), 40.0) << "created at its stand";
            const auto out = std::find_if(o.positions.begin(), o.positions.end(), [&](const TracedPosition& p) {
                return lf_metresBetween({p.lat, p.lon}, stand) >= 40.0;
            });
            ASSERT_NE(out, o.positions.end()) << "never left its stand";
            const double bearing = gf_initialBearing(stand, {out->lat, out->lon}) * 180.0 / std::numbers::pi;
            EXPECT_LT(angleBetween(bearing, f.track.front().trackDeg), 45.0) << "left its stand ahead";
        }
        if (f.ending == Ending::TakesOff || f.ending == Ending::LeavesForward) {
            const bool climbed = std::any_of(o.positions.begin(), o.positions.end(), [](const TracedPosition& p) {
                return !p.onGround && p.altFt - p.groundFt > 1500.0;
            });
            EXPECT_TRUE(climbed) << "never left the ground";
        }
        if (f.ending == Ending::Lands || f.ending == Ending::LandsAndIsLost) {
            const bool touched = std::any_of(o.positions.begin(), o.positions.end(),
                                             [](const TracedPosition& p) { return p.onGround; });
            EXPECT_TRUE(touched) << "never on the ground";
            EXPECT_LT(o.last->altFt - o.last->groundFt, 9.0) << "ends on the ground";
        }
        if (f.ending == Ending::Parks) {
            // It taxis in, parks on the gate where its samples end and shuts its engines down.
            const Gate& gate = lf_gateNamed(gates, "GATE F8");
            EXPECT_NE(log.find("GATE F8       : KLM1396  arrived at stand"), std::string::npos) << log;
            EXPECT_LT(lf_metresBetween(lastAt, gate.at), 18.0) << "metres from its gate";
            EXPECT_TRUE(o.last->onGround);
            EXPECT_LT(o.last->altFt - o.last->groundFt, 9.0);
            const auto onGate = std::find_if(o.positions.begin(), o.positions.end(), [&](const TracedPosition& p) {
                return lf_metresBetween({p.lat, p.lon}, gate.at) < 18.0;
            });
            ASSERT_NE(onGate, o.positions.end());
            EXPECT_TRUE(std::any_of(o.events.begin(), o.events.end(), [&](const TracedEvent& e) {
                return e.name == "ENGINE_AUTO_SHUTDOWN" && e.t >= onGate->t;
            })) << "engines shut down at the gate";
        }
        if (f.ending == Ending::PushesBack) {
            // Created parked at its gate, it leaves backwards along the gate's
            // axis, nose on the gate's heading.
            const Gate& gate = lf_gateNamed(gates, "GATE D3");
            EXPECT_LT(lf_metresBetween({o.createdPose.lat, o.createdPose.lon}, gate.at), 3.0) << "created at its gate";
            EXPECT_LT(angleBetween(o.createdPose.hdg, gate.headingDeg), 3.0);
            const auto out = std::find_if(o.positions.begin(), o.positions.end(), [&](const TracedPosition& p) {
                return lf_metresBetween({p.lat, p.lon}, gate.at) >= 15.0;
            });
            ASSERT_NE(out, o.positions.end());
            const double bearing = gf_initialBearing(gate.at, {out->lat, out->lon}) * 180.0 / std::numbers::pi;
            EXPECT_LT(angleBetween(bearing, gate.headingDeg + 180.0), 20.0) << "left its gate ahead";
            EXPECT_LT(angleBetween(out->hdg, gate.headingDeg), 20.0) << "turned while pushed back";
            // Then it taxis away to where its samples end.
            const LatLon end{f.track.back().lat, f.track.back().lon};
            EXPECT_TRUE(std::any_of(o.positions.begin(), o.positions.end(), [&](const TracedPosition& p) {
                return lf_metresBetween({p.lat, p.lon}, end) < 50.0;
            })) << "never taxied away from the push-back";
        }
        if (f.ending == Ending::LeavesRange) {
            EXPECT_EQ(o.removedBy, "client");
            EXPECT_LT(*o.removedAt, summary.lastTime - 10.0) << "removed by the engine, not the shutdown";
            EXPECT_GT(gf_distanceNm(kUser, lastAt), 8.0) << "left within range";
        }
    }
    EXPECT_EQ(summary.objects.size() - statics, flights.size() + recreated) << "only the kept aircraft were created";
    EXPECT_EQ(motion.total.jumps, 0u);
    EXPECT_EQ(motion.total.slides, 0u);
    EXPECT_EQ(motion.total.belowGround, 0u);
    EXPECT_EQ(motion.total.reversals, 0u);
    EXPECT_EQ(motion.total.backwards, 0u);
    EXPECT_EQ(motion.total.fastTurns, 0u);
    EXPECT_EQ(motion.total.offRunwayTakeOffs, 0u);
    EXPECT_EQ(motion.total.groundSpeedFindings(), 0u);
    EXPECT_TRUE(motion.churnedTails.empty());
}
