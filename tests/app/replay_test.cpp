// Real traffic on the whole road: a recording of the RealTraffic App's
// broadcast around an airport (Los Angeles, Las Vegas, New York JFK, Dubai)
// played whole (or a window of it) by the
// stand-in App, its batches as far apart as they were recorded and each
// position's time moved onto the run's clock, with the user aircraft at the
// airport's reference point and the airport's published runways in the
// stand-in simulator. The program's own main task takes it through on manual
// frames; the motion checks run over the simulator's trace. Real reports
// carry what generated tracks do not (stale repeats, pressure altitudes under
// the field, reception gaps, exits beside the runway, push-backs of either
// track convention): the traffic must still move believably, and nearly every
// aircraft the settings let through must be shown.
//
// With KELO_REPLAY_REPORT=<folder> each run also writes its figures there
// (<ICAO>.md, and the run's log as <ICAO>-Log.txt); the trace stays in the
// temporary folder (kelo_replay_<icao>.jsonl).
//
// The test command runs each replay as a group of its own; alone, run
//   wine tests/kelo_app_tests.exe --gtest_filter='Replay.*'
// (the App's UDP ports are fixed: no other run of the program's tests may hold them meanwhile).
// Take-offs at airports whose runways the replay does not hold are counted, not judged.
#include <gtest/gtest.h>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <numbers>
#include <numeric>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/geodesy.h"
#include "engine/traffic_state.h"
#include "feed/traffic_records.h"
#include "liveries/model_database.h"
#include "liveries/model_texts.h"
#include "simlink/simconnect_loader.h"
#include "standins/rt_app_lines.h"
#include "standins/trace_check.h"
#include "standins/trace_summary.h"
#include "tests/app/road_run.h"
#include "tests/app/rt_app_run.h"
#include "tests/runways/runway_fixture.h"
#include "tests/support/data_sets.h"
#include "update/downloader.h"

using namespace kvr::test;
using namespace kvr::standin;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kFramesPerSecond = 50;
constexpr uint32_t kTicksPerFrame = 2;
constexpr double kRunOnSeconds = 90.0; // after the last batch: the 30 s delay, the last creations and removals
constexpr double kNmPerDegree = 60.0;

const fs::path kData = fs::path(KELO_SOURCE_DIR) / "../shared/data";

// ---- The recording ----

struct Capture {
    std::string icao;
    LatLon user;
    std::string weather;
    // The lines of each batch, split at the commas, and the batch's time
    // (its newest position time).
    struct Batch {
        double time = 0.0;
        std::vector<std::vector<std::string>> lines;
    };
    std::vector<Batch> batches;
};

std::vector<std::string> lf_split(const std::string& line)
{
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ','))
        out.push_back(field);
    if (!line.empty() && line.back() == ',')
        out.emplace_back();
    return out;
}

Capture lf_loadCapture(const std::string& name)
{
    Capture c;
    const nlohmann::json side = nlohmann::json::parse(readBytes(kData / (name + ".json")));
    c.icao = side["airport"].get<std::string>();
    c.user = {side["user_position"]["lat"].get<double>(), side["user_position"]["lon"].get<double>()};
    // A recording without weather flies on the standard pressure.
    c.weather = side["weather_datagram"].is_string()
                    ? side["weather_datagram"].get<std::string>()
                    : fmt::format(R"({{"ICAO": "{}","QNH": 2992, "METAR": "{} 000000Z 00000KT CAVOK 20/10 Q1013"}})", c.icao,
                                  c.icao);
    std::ifstream in(kData / (name + ".rttfc"), std::ios::binary);
    Capture::Batch batch;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "RTTFC_EOT") {
            c.batches.push_back(std::move(batch));
            batch = {};
        } else if (line.starts_with("RTTFC,")) {
            batch.lines.push_back(lf_split(line));
            batch.time = std::max(batch.time, std::stod(batch.lines.back()[14]));
        }
    }
    return c;
}

// ---- What the settings let through ----

// One aircraft of the recording as the feed's rules see it.
struct Recorded {
    uint32_t hexid = 0;
    std::string callsign, type;
    size_t lines = 0, kept = 0;         // lines, and those the feed keeps
    double firstKept = -1.0, lastKept = -1.0; // replay seconds
    bool showable = false;              // a kept report the spawn lets through: high enough, or taxiing
    double maxAgl = -1e9, maxGroundKt = 0.0, minNm = 1e9;
    size_t groundKept = 0;
    std::map<std::string, size_t> dropped; // lines the feed drops, by why
    std::string excluded; // why the settings leave it out, empty when they do not
};

// The aircraft of the recording that the settings want shown. A line is
// kept with a type the program takes and knows, of a category switched on
// (the start-up switches off those without an installed model), a callsign
// or registration, in range, near the airport when on the ground, moving when
// in the air. An aircraft is wanted with two kept lines or more of which one
// the spawn lets through: more than 700 ft above the field (any height for a
// helicopter) or taxiing (5 to 30 kt on the ground). Aircraft that only ever
// stand are parked traffic, which the App reports in its parked list, not here.
std::map<uint32_t, Recorded> lf_recorded(const Capture& c, double rangeNm, double fieldFt, double qnhCorrectionFt)
{
    std::map<uint32_t, Recorded> out;
    const double t0 = c.batches.front().time;
    const double cosLat = std::cos(c.user.latitude * std::numbers::pi / 180.0);
    for (const Capture::Batch& b : c.batches) {
        for (const auto& f : b.lines) {
            const uint32_t hexid = static_cast<uint32_t>(std::stoul(f[1]));
            Recorded& r = out[hexid];
            r.hexid = hexid;
            ++r.lines;
            if (r.callsign.empty())
                r.callsign = f[9].empty() ? f[11] : f[9];
            if (!f[10].empty())
                r.type = f[10];
            const double lat = std::stod(f[2]), lon = std::stod(f[3]);
            const double dLat = (lat - c.user.latitude) * kNmPerDegree;
            const double dLon = (lon - c.user.longitude) * cosLat * kNmPerDegree;
            const double nm = std::hypot(dLat, dLon);
            r.minNm = std::min(r.minNm, nm);
            const double raw = std::stod(f[4]), gs = std::stod(f[8]);
            const bool airborne = raw > 0.0;
            const double alt = raw + qnhCorrectionFt;
            const std::string type = lf_fixModelCode(f[10]);
            const Category category = gf_modelCategory(gf_modelCode2Id(type));
            const bool rotor = category == Category::Rotorcraft;
            const char* drop = nullptr;
            if (!lf_isAcceptedType(type, f[28]))
                drop = "type not taken";
            else if (!gf_isIcaoModel(type))
                drop = "type unknown to the model tables";
            else if (!gf_isCategoryIncluded(category))
                drop = "its category is switched off (no model of it installed)";
            else if (hexid <= 10000 || (f[9].empty() && f[11].empty()))
                drop = "no identity";
            else if (nm > rangeNm)
                drop = "never in range";
            else if (!airborne && nm > 5.0)
                drop = "on the ground away from the airport";
            else if (airborne && !rotor && gs <= 0.0)
                drop = "in the air without speed";
            if (drop) {
                ++r.dropped[drop];
                continue;
            }
            const double t = std::stod(f[14]) - t0;
            if (r.kept++ == 0)
                r.firstKept = t;
            r.lastKept = t;
            if (airborne)
                r.maxAgl = std::max(r.maxAgl, alt - fieldFt);
            else
                ++r.groundKept, r.maxGroundKt = std::max(r.maxGroundKt, gs);
            if ((airborne && (rotor || alt - fieldFt > 700.0)) || (!airborne && gs >= 5.0 && gs <= 30.0))
                r.showable = true;
        }
    }
    for (auto& [hexid, r] : out) {
        if (r.kept == 0)
            r.excluded = std::max_element(r.dropped.begin(), r.dropped.end(), [](const auto& a, const auto& b) {
                             return a.second < b.second;
                         })->first;
        else if (r.kept < 2)
            r.excluded = "one report kept";
        else if (!r.showable)
            r.excluded = r.groundKept == r.kept && r.maxGroundKt < 5.0 ? "only ever stands" : "never high enough or taxiing";
    }
    return out;
}

// The model tables of the tests, with the types of the recordings that they
// lack, each in its category with a wingspan of its kind.
// The helicopter types of the model tables: the simulator's title list gives
// their titles the category "Helicopter", by which the trace check holds them
// to a helicopter's speeds.
constexpr const char* kRotorcraftTypes = "AS50, R22, R44, R66, EC30, B407, A109";

std::string lf_modelTables()
{
    struct Kind {
        const char* section;
        const char* element; // empty: a light aircraft, the category of a type listed nowhere else
        double wingspanM;
        const char* types;
    };
    const Kind kinds[] = {
        {"", "", 11.0,
         "C152, P28A, P28R, PA24, PA46, SLG2, EVOT, EVSS, M20P, T210, P210, BT36, BE36, S22T, SR22, DA40, C82S, "
         "C180, C206, P750"},
        {"twoprops", "tpr", 16.0, "PA44, BE55, BE9L, B350"},
        {"buzjet", "bzj", 18.0,
         "BE40, E55P, E50P, E550, LJ35, F2TH, F900, C750, C68A, C680, PRM1, GL5T, CL30, GLF4, GLF5, GLEX, GX, C25B, "
         "C25C"},
        {"large", "lar", 34.0, "B736, B739, B712, B752, B753, CRJ2, CRJ7, E135, E75S, ER3"},
        {"heavy", "hvy", 50.0, "B762"},
        {"rotorcraft", "rot", 11.0, kRotorcraftTypes},
    };
    std::string tables(dataSetSource(DataSetKind::Dbase));
    const auto insertAfter = [&](const std::string& open, const std::string& line) {
        const size_t at = tables.find(open);
        if (at != std::string::npos)
            tables.insert(tables.find('\n', at) + 1, line);
    };
    for (const Kind& k : kinds) {
        insertAfter("<aircrafts>", fmt::format("    <aircraft types=\"{}\"/>\n", k.types));
        if (*k.element)
            insertAfter(fmt::format("<{}>", k.section), fmt::format("    <{} types=\"{}\"/>\n", k.element, k.types));
        std::istringstream list(k.types);
        for (std::string type; std::getline(list >> std::ws, type, ',');)
            insertAfter("<wingspans>", fmt::format("    <wingspan type=\"{}\" meters=\"{}\"/>\n", type, k.wingspanM));
    }
    return tables;
}

// ---- The run ----

struct ReplayForm {
    std::string name; // the recording's file name without extension
    std::string csv;  // the airport's runways
    double fieldFt;   // the airport's elevation
    // The window played, in seconds from the recording's first batch.
    double fromS = 0.0, toS = 1e9;
};

// What the engine last held of an aircraft: its phase, its state with the
// simulator and its samples (the next one's height, speed and whether it stands).
struct EngineSeen {
    std::string phase;
    std::string simState;
    double lastSeen = 0.0;
    size_t samples = 0;
    std::string next;
};

const char* lf_simStateName(SimState s)
{
    switch (s) {
    case SimState::buffer: return "buffer";
    case SimState::adding2sim: return "adding2sim";
    case SimState::active: return "active";
    case SimState::liveryrespawn: return "liveryrespawn";
    case SimState::removingfromsim: return "removingfromsim";
    }
    return "?";
}

// The liveries of the tests' list, and a generic one ("ZZZ": an empty
// airline is no airline at all) of its own for every type of the recording
// (the model tables know them all): the list's liveries belong to a few
// airlines, and at the default matching depth an aircraft of another airline
// takes only a generic livery of its type. The run is about motion, not
// livery choice.
std::vector<InstalledLivery> lf_liveries(const Capture& c)
{
    pugi::xml_document doc;
    doc.load_file((fs::path(KELO_SOURCE_DIR) / "standins/datasets/sources/LiveriesScanned.xml").c_str());
    std::vector<InstalledLivery> out;
    std::set<std::string> types;
    for (const pugi::xml_node l : doc.child("root").child("liveries").children("l"))
        out.push_back({l.attribute("a").as_string(), l.attribute("m").as_string(), l.attribute("t").as_string()});
    for (const Capture::Batch& b : c.batches)
        for (const auto& f : b.lines) {
            const std::string type = lf_fixModelCode(f[10]);
            if (!type.empty() && types.insert(type).second)
                out.push_back({"ZZZ", type, "Replay " + type});
        }
    return out;
}

// Two gates beside the reference point: the airport file needs stands, and
// with it the airport is current, so the feed keeps ground reports.
nlohmann::json lf_gate(int number, double eastM)
{
    return {{"TYPE", 9},        {"TAXI_POINT_TYPE", 0}, {"NAME", 12}, {"SUFFIX", 0},     {"NUMBER", number},
            {"ORIENTATION", 0}, {"HEADING", 0.0},        {"RADIUS", 20.0}, {"BIAS_X", eastM}, {"BIAS_Z", 0.0}};
}

std::string lf_countsLine(const MotionCounts& c)
{
    return fmt::format("writes {}, jumps {}, below ground {}, slides {}, backwards {}, reversals {}, turn rates {} "
                       "(on the ground {}), off-runway take-offs {} (at other airports, not judged: {}), dashes off the "
                       "runways {}, ground overspeeds {}, short touch-downs {}, off-runway touch-downs {}, speed "
                       "snaps {}, air overspeeds {}, removed rolling {}, short jumps {}",
                       c.writes, c.jumps, c.belowGround, c.slides, c.backwards, c.reversals, c.fastTurns,
                       c.groundFastTurns, c.offRunwayTakeOffs, c.unjudgedTakeOffs, c.offRunwayDashes,
                       c.groundOverspeeds, c.shortTouchDowns, c.offRunwayTouchDowns, c.speedSnaps, c.airOverspeeds,
                       c.removedRolling, c.shortJumps);
}

void lf_replay(const ReplayForm& form)
{
    Capture capture = lf_loadCapture(form.name);
    {
        const double first = capture.batches.front().time;
        std::erase_if(capture.batches, [&](const Capture::Batch& b) {
            return b.time - first < form.fromS || b.time - first > form.toS;
        });
    }
    ASSERT_GT(capture.batches.size(), 10u);
    std::string lower = capture.icao;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return std::tolower(ch); });

    MainTaskFixture fx(true, 1);
    ASSERT_TRUE(gf_loadSimConnect()) << gf_simConnectLoadError();
    SimConnectStandin sim;
    ASSERT_TRUE(sim.bind());
    const fs::path tracePath = fs::temp_directory_path() / ("kelo_replay_" + lower + ".jsonl");
    fs::remove(tracePath);
    _putenv_s("KELO_SIM_TRACE", tracePath.string().c_str());
    _putenv_s("KELO_SIM_TRACE_EVERY", "5");
    sim.reset(); // reads the variables
    const fs::path csv = kData / form.csv;
    nlohmann::json airport = facilityAirport(capture.icao, capture.user.latitude, capture.user.longitude, form.fieldFt,
                                             publishedRunways(csv, form.fieldFt));
    airport["facility"]["TAXI_PARKING"] = {lf_gate(1, -150.0), lf_gate(2, 150.0)};
    const std::vector<InstalledLivery> liveries = lf_liveries(capture);
    nlohmann::json titles = nlohmann::json::array();
    for (const InstalledLivery& l : liveries) {
        const bool rotor = (", " + std::string(kRotorcraftTypes) + ",").find(", " + l.model + ",") != std::string::npos;
        titles.push_back({{"title", l.title}, {"static_cg_ft", 8.0}, {"category", rotor ? "Helicopter" : "Airplane"}});
    }
    ASSERT_TRUE(sim.load({{"mode", "realtime"},
                          {"sim_running", true},
                          {"frames_per_second", kFramesPerSecond},
                          {"trace_positions", false},
                          {"trace_calls", false},
                          {"map_window", false},
                          {"ground_ft", form.fieldFt},
                          {"titles", titles},
                          {"airports", {airport}},
                          {"user",
                           {{"title", "Airbus A320 Neo"}, {"atc_model", "A20N"}, {"lat", capture.user.latitude},
                            {"lon", capture.user.longitude}, {"alt_ft", form.fieldFt}, {"on_ground", true}}}}));
    const uint16_t port = prepareRtAppRun(fx, liveries);
    ASSERT_NE(port, 0);
    writeDataSet(DataSetKind::Dbase, lf_modelTables(), g_inputFolder / dataSetFileName(DataSetKind::Dbase));
    {
        ScannedAirport scanned;
        int helipads = 0;
        ASSERT_TRUE(readRoadAirport(capture.icao, scanned, helipads));
        ASSERT_EQ(scanned.stands.size(), 2u);
        writeRoadAirportFile(scanned, helipads);
    }
    gf_setDownloadSiteForTests("http://127.0.0.1:9/"); // nothing answers: no update
    MessageBoxRecorder boxes;

    RtAppStandIn app;
    auto appConnected = std::async(std::launch::async, [&] { return app.connect(port, 60s); });
    const double epoch = static_cast<double>(gf_nowSeconds(false));
    const double t0 = capture.batches.front().time;
    const double lastBatch = capture.batches.back().time - t0;
    RoadRun run(sim);
    run.ticksPerFrame = kTicksPerFrame;
    run.framesPerSecond = kFramesPerSecond;
    size_t next = 0, unposted = 0;
    double rangeNm = 0.0, firstBatchSim = 0.0;
    std::map<uint32_t, EngineSeen> engineSeen;
    std::set<uint32_t> active; // hexids the engine drove in the simulator
    double nextLook = 0.0;
    run.onManual = [&] { app.sendDatagram(app.weatherPort, capture.weather); };
    run.onFrame = [&](double t) {
        if (next < capture.batches.size() && t >= capture.batches[next].time - t0) {
            if (next == 0)
                firstBatchSim = run.simSeconds();
            std::vector<std::string> lines;
            double newest = 0.0;
            for (std::vector<std::string> f : capture.batches[next].lines) {
                const double at = epoch + std::stod(f[14]) - t0;
                f[14] = fmt::format("{:.2f}", at);
                newest = at;
                std::string line = f[0];
                for (size_t i = 1; i < f.size(); ++i)
                    line += "," + f[i];
                lines.push_back(std::move(line));
            }
            const uint64_t stamp = static_cast<uint64_t>(std::llround(std::stod(fmt::format("{:.2f}", newest))));
            unposted += sendBatchAndWait(app, lines, stamp) ? 0 : 1;
            ++next;
        }
        if (t >= nextLook) { // what the engine holds, once a second
            nextLook = t + 1.0;
            rangeNm = std::max(rangeNm, gf_parametersSnapshot()->rangeNm);
            for (const LiveAircraft& a : gf_trafficState().aircraft.live()) {
                if (a.sim.simState == SimState::active && a.sim.objectId != 0)
                    active.insert(a.identity.hexid);
                EngineSeen& e = engineSeen[a.identity.hexid];
                e = {gf_flightPhaseName(a.phases.phase), lf_simStateName(a.sim.simState), t, a.stream.samples.size(), ""};
                if (!a.stream.samples.empty()) {
                    const TrafficSample& f = a.stream.samples.front();
                    e.next = fmt::format("{} {:.0f} ft {:.0f} kt{}", f.airborne ? "airborne" : "on the ground",
                                         f.altitudeFt, f.speedKt, f.stationary ? " standing" : "");
                }
            }
        }
    };
    run.done = [&](double t) { return t >= lastBatch + kRunOnSeconds; };
    // A bound on the wall time that only a stalled run reaches: a loaded
    // machine takes longer than an idle one, and ctest ends the group at 900 s.
    const bool ended = run.run(800s);
    const bool stopRequested = run.stopRequested;
    gf_setDownloadSiteForTests("");
    _putenv_s("KELO_SIM_TRACE", "");
    _putenv_s("KELO_SIM_TRACE_EVERY", "");
    sim.reset(); // closes the trace file
    ASSERT_TRUE(ended) << fx.log();
    EXPECT_TRUE(appConnected.get());
    ASSERT_TRUE(stopRequested) << "the main loop never ran its replay\n" << fx.log();
    EXPECT_EQ(next, capture.batches.size());
    EXPECT_EQ(unposted, 0u) << "batches the feed never posted";

    std::ifstream in(tracePath, std::ios::binary);
    const TraceSummary summary = gf_summarizeTrace(in, false);
    in.clear();
    in.seekg(0);
    const auto runways = gf_loadRunwayCsv(csv);
    const MotionReport motion = gf_checkTraceMotion(in, runways);
    const std::string log = fx.log();

    // The aircraft the settings want shown, and those the simulator showed.
    const double qnhCorrectionFt = [&] {
        const auto j = nlohmann::json::parse(capture.weather);
        const double qnh = j["QNH"].is_string() ? std::stod(j["QNH"].get<std::string>()) : j["QNH"].get<double>();
        return (qnh / 100.0 - 29.92) * 1000.0;
    }();
    const std::map<uint32_t, Recorded> recorded = lf_recorded(capture, rangeNm, form.fieldFt, qnhCorrectionFt);
    std::set<std::string> shownTails;
    for (const auto& [id, o] : summary.objects)
        shownTails.insert(o.tail);
    size_t wanted = 0, shown = 0;
    std::string missing, leftOut;
    for (const auto& [hexid, r] : recorded) {
        if (!r.excluded.empty()) {
            leftOut += fmt::format("  {:<9} {:<5} {}\n", r.callsign, r.type, r.excluded);
            continue;
        }
        ++wanted;
        // Created under the record's callsign (or its registration), or driven by the engine.
        if (shownTails.contains(lf_normalizeCallsign(r.callsign)) || shownTails.contains(r.callsign) ||
            active.contains(hexid)) {
            ++shown;
            continue;
        }
        const auto seen = engineSeen.find(hexid);
        std::string lines;
        for (size_t at = log.find(r.callsign); at != std::string::npos && std::count(lines.begin(), lines.end(), '\n') < 3;
             at = log.find(r.callsign, at + 1)) {
            const size_t from = log.rfind('\n', at) + 1;
            lines += "      log: " + log.substr(from, log.find('\n', at) - from) + "\n";
            at = log.find('\n', at);
            if (at == std::string::npos)
                break;
        }
        missing += fmt::format(
            "  {:<9} {:<5} hexid {}: {} reports kept of {}, {:.0f} s to {:.0f} s, {} on the ground (at most {:.0f} kt), "
            "highest {:.0f} ft above the field, nearest {:.1f} NM; engine: {}\n{}",
            r.callsign, r.type, hexid, r.kept, r.lines, r.firstKept, r.lastKept, r.groundKept, r.maxGroundKt,
            r.maxAgl, r.minNm,
            seen == engineSeen.end() ? std::string("never held")
                                     : fmt::format("last held at {:.0f} s, {} / {}, {} samples, next {}",
                                                   seen->second.lastSeen, seen->second.phase, seen->second.simState,
                                                   seen->second.samples, seen->second.next),
            lines);
    }

    // The worst objects: most findings first.
    std::vector<std::pair<uint64_t, uint32_t>> worst;
    for (const auto& [id, c] : motion.objects) {
        const uint64_t bad = c.jumps + c.belowGround + c.slides + c.backwards + c.reversals + c.groundFastTurns +
                             c.offRunwayTakeOffs + c.groundSpeedFindings() + c.speedFindings();
        if (bad)
            worst.emplace_back(bad, id);
    }
    std::sort(worst.rbegin(), worst.rend());

    // A tail created three times or more is churn, unless its extra
    // creations follow truly impossible reports: the ground-jump rule removes
    // the aircraft and quarantines its address, and it is created again once
    // the quarantine is released; a landing that left its runway unseen, an
    // aircraft that cannot catch up with its reports on the ground, one whose
    // reports gave out (the App repeating its last one, or the aircraft out of
    // range) and one that holds while its next report is out of a taxi's
    // reach, is hidden and shown again where its reports go on (logged
    // lines). Each such line accounts for one creation.
    std::map<std::string, size_t> creations;
    for (const auto& [id, o] : summary.objects)
        ++creations[o.tail];
    std::vector<std::string> churned, afterJumps;
    for (const std::string& tail : motion.churnedTails) {
        size_t releases = 0;
        for (const std::string& line : {tail + " ground track quarantine released", tail + " left its runway unseen",
                                        tail + " cannot catch up with its reports on the ground",
                                        tail + " has no report to go on", tail + " holds beyond a taxi's reach"})
            for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
                ++releases;
        if (creations[tail] <= 2 + releases)
            afterJumps.push_back(fmt::format("{} ({} creations, {} after the ground-jump rule or hidden)", tail,
                                             creations[tail], releases));
        else
            churned.push_back(tail);
    }
    std::string report = fmt::format(
        "## {} ({})\n\n{} batches, {} lines, {:.0f} s replayed; range {:.0f} NM; first batch at trace time {:.1f} s "
        "(a record's trace time is about its replay time plus this and the 30 s delay)\n\n"
        "- aircraft recorded {}, wanted by the settings {}, shown {} ({:.1f} %)\n"
        "- objects created {}, refusals {}\n- motion: {}\n- tails created three times or more: {}; of them after "
        "impossible reports: {}\n\n",
        capture.icao, form.name, capture.batches.size(),
        std::accumulate(capture.batches.begin(), capture.batches.end(), size_t{0},
                        [](size_t n, const Capture::Batch& b) { return n + b.lines.size(); }),
        lastBatch, rangeNm, firstBatchSim, recorded.size(), wanted, shown,
        wanted ? 100.0 * static_cast<double>(shown) / static_cast<double>(wanted) : 0.0, summary.objects.size(),
        summary.refusals.size(), lf_countsLine(motion.total), fmt::join(churned, " "), fmt::join(afterJumps, ", "));
    report += "### Worst objects\n\n```\n";
    for (size_t i = 0; i < worst.size() && i < 15; ++i) {
        const uint32_t id = worst[i].second;
        const auto tail = motion.tails.find(id);
        report += fmt::format("object {} {}: {}\n", id, tail == motion.tails.end() ? "" : tail->second,
                              lf_countsLine(motion.objects.at(id)));
        if (const auto f = motion.findings.find(id); f != motion.findings.end())
            for (const MotionFinding& finding : f->second)
                report += "    " + gf_findingText(finding) + "\n";
    }
    // Every object's findings of the speed rules (the first few of each kind).
    report += "```\n\n### Speed findings\n\n```\n";
    for (const auto& [id, list] : motion.findings)
        for (const MotionFinding& finding : list)
            if (gf_isSpeedFinding(finding)) {
                const auto tail = motion.tails.find(id);
                report += fmt::format("{:>6} {:<9} {}\n", id, tail == motion.tails.end() ? "" : tail->second,
                                      gf_findingText(finding));
            }
    report += "```\n\n### Wanted, not shown\n\n```\n" + missing + "```\n\n### Left out by the settings\n\n```\n" +
              leftOut + "```\n";
    std::printf("%s\n%s", report.c_str(), gf_motionTable(motion).c_str());
    std::fflush(stdout);
    if (const char* folder = std::getenv("KELO_REPLAY_REPORT")) {
        writeBytes(fs::path(folder) / (capture.icao + ".md"), report);
        writeBytes(fs::path(folder) / (capture.icao + "-Log.txt"), log);
    }

    EXPECT_GE(static_cast<double>(shown), 0.95 * static_cast<double>(wanted)) << "wanted, not shown:\n" << missing;
    EXPECT_GT(wanted, 20u);
    EXPECT_EQ(motion.total.jumps, 0u);
    EXPECT_EQ(motion.total.belowGround, 0u);
    EXPECT_EQ(motion.total.slides, 0u);
    EXPECT_EQ(motion.total.backwards, 0u);
    EXPECT_EQ(motion.total.reversals, 0u);
    EXPECT_EQ(motion.total.groundFastTurns, 0u);
    EXPECT_EQ(motion.total.offRunwayTakeOffs, 0u);
    EXPECT_EQ(motion.total.offRunwayDashes, 0u);
    EXPECT_EQ(motion.total.groundOverspeeds, 0u);
    EXPECT_EQ(motion.total.shortTouchDowns, 0u);
    EXPECT_EQ(motion.total.offRunwayTouchDowns, 0u);
    // Aloft no aircraft races to make up time, no roll is taken out of the
    // simulator while its reports go on, and no step goes beyond the speed
    // written for it.
    EXPECT_EQ(motion.total.airOverspeeds, 0u);
    EXPECT_EQ(motion.total.removedRolling, 0u);
    EXPECT_EQ(motion.total.shortJumps, 0u);
    EXPECT_TRUE(churned.empty()) << ::testing::PrintToString(churned);
}

} // namespace

TEST(Replay, EighteenMinutesOfRealTrafficAtLosAngelesMoveBelievably)
{
    lf_replay({"realtraffic-klax-2020", "runways-klax.csv", 128.0});
}

TEST(Replay, TwentyThreeMinutesOfRealTrafficAtLasVegasMoveBelievably)
{
    lf_replay({"realtraffic-klas-2019", "runways-klas.csv", 2181.0});
}

TEST(Replay, TwentyOneMinutesOfRealTrafficAtNewYorkJfkMoveBelievably)
{
    lf_replay({"realtraffic-kjfk-2019", "runways-kjfk.csv", 13.0});
}

TEST(Replay, HalfAnHourOfRealTrafficAtDubaiMovesBelievably)
{
    lf_replay({"realtraffic-omdb-2019", "runways-omdb.csv", 62.0, 0.0, 1800.0});
}
