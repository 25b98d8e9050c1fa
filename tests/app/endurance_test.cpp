// Long runs of the whole road: hundreds of aircraft around Amsterdam created
// and removed all the time (overflights, arrivals, departures, parked aircraft,
// callsigns and hexids handed on), on manual frames and the main task's own
// clock. Every few simulated minutes the run takes the process's memory and
// handles, the size of every per-aircraft container and the simulator's
// objects against the engine's: nothing may grow with the hours, and the
// simulator holds exactly the engine's aircraft.
//
// The short form runs with the tests. The long one (6 simulated hours at 1000
// aircraft; KELO_SOAK="<hours>,<aircraft>" changes it) runs on demand:
//   wine tests/kelo_app_tests.exe --gtest_also_run_disabled_tests --gtest_filter=Endurance.DISABLED_LongSoak
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <future>
#include <map>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "airports/package_scan.h"
#include "core/clock.h"
#include "core/geodesy.h"
#include "engine/quarantine.h"
#include "engine/traffic_intake.h"
#include "engine/traffic_state.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_traffic_reader.h"
#include "feed/rt_api_transport.h"
#include "feed/rt_app_link.h"
#include "feed/traffic_mailbox.h"
#include "liveries/livery_memory.h"
#include "parking/parking_plan.h"
#include "simlink/facility_reader.h"
#include "simlink/sim_client_internal.h"
#include "simlink/simconnect_api.h"
#include "simlink/simconnect_loader.h"
#include "standins/rt_app_scenario.h"
#include "standins/rt_web_api.h"
#include "tests/app/road_run.h"
#include "tests/app/rt_app_run.h"
#include "tests/runways/runway_fixture.h"
#include "update/downloader.h"

using namespace kvr::test;
using namespace kvr::standin;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr double kEhamFt = -11.0;
constexpr double kNm = 6076.12; // feet
const LatLon kUser{52.30872, 4.76392};
const LatLon kEhamRef{52.3086, 4.7639};

// ---- The traffic ----

struct Livery {
    std::string airline, model;
};

// Aircraft that come and go: each slot flies one flight after another, with
// a pause between; every flight gets a new hexid, except every fifth, which
// takes one whose flight ended minutes ago; callsigns come round again on new
// hexids.
class Churn {
public:
    Churn(size_t slots, std::vector<Livery> liveries) : m_slots(slots), m_liveries(std::move(liveries)), m_random(42)
    {
        const auto runways = gf_loadRunwayCsv(fs::path(KELO_SOURCE_DIR) / "../shared/data/runways-eham.csv");
        for (const char* end : {"06", "24", "27", "09", "36C", "18C"}) {
            m_arrivals.push_back(gf_movingFrom(gf_landingTrack(gf_runwayEnd(runways, end), 5.0), 0.0));
            m_departures.push_back(gf_movingFrom(gf_departureTrack(gf_runwayEnd(runways, end), 800.0, 140.0, 3000.0), 0.0));
        }
        m_scenario.loopSeconds = 1e9;
        for (size_t i = 0; i < slots; ++i)
            m_starts.push_back(static_cast<double>(i % 120));
    }

    // The position lines of every aircraft flying at `t` (seconds).
    std::vector<std::string> linesAt(double t, double epoch)
    {
        auto& flying = m_scenario.aircraft;
        for (size_t i = 0; i < flying.size();) {
            if (t <= flying[i].track.back().t) {
                ++i;
                continue;
            }
            m_ended.push_back({flying[i].start.hexid, t});
            m_starts.push_back(t + std::uniform_real_distribution<double>(5.0, 90.0)(m_random));
            flying[i] = std::move(flying.back());
            flying.pop_back();
        }
        for (size_t i = 0; i < m_starts.size();) {
            if (m_starts[i] > t) {
                ++i;
                continue;
            }
            flying.push_back(newFlight(t));
            m_starts[i] = m_starts.back();
            m_starts.pop_back();
        }
        std::vector<std::string> lines;
        for (const AppAircraft& a : m_scenario.stateAt(t))
            lines.push_back(trafficLine(a, epoch + t));
        return lines;
    }
    // Where the flying aircraft are at `t` (no slot starts or ends).
    std::vector<AppAircraft> flyingAt(double t) const { return m_scenario.stateAt(t); }
    size_t flights = 0, reusedHexids = 0;

private:
    ScenarioAircraft newFlight(double t)
    {
        ScenarioAircraft f;
        const size_t n = flights++;
        const Livery& l = m_liveries[n % m_liveries.size()];
        f.start.hexid = 0x400000 + static_cast<uint32_t>(n);
        if (n % 5 == 4 && !m_ended.empty() && t - m_ended.front().second > 120.0) {
            f.start.hexid = m_ended.front().first;
            m_ended.pop_front();
            ++reusedHexids;
        }
        while (m_ended.size() > m_slots)
            m_ended.pop_front();
        // 2 x slots callsigns: each is flown again, by another hexid, later.
        f.start.callsign = l.airline + std::to_string(100 + n % (2 * m_slots));
        f.start.type = l.model;
        f.start.airline = l.airline;
        f.start.registration = "PH-" + std::to_string(n);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const double kind = unit(m_random);
        const size_t runway = n % m_arrivals.size();
        if (kind < 0.15) {
            f.track = m_arrivals[runway];
        } else if (kind < 0.3) {
            f.track = m_departures[runway];
        } else {
            // An overflight that starts near and flies out of range.
            const LatLon from = gf_destinationPoint(kUser, {unit(m_random) * 2.0 * std::numbers::pi, 6.0 * unit(m_random) * kNm});
            f.track = gf_cruiseTrack(from, 2000.0 + 10000.0 * unit(m_random), 180.0 + 100.0 * unit(m_random),
                                     360.0 * unit(m_random), 60.0 + 240.0 * unit(m_random));
        }
        for (TrackPoint& p : f.track)
            p.t += t;
        return f;
    }

    size_t m_slots;
    std::vector<Livery> m_liveries;
    std::mt19937 m_random;
    std::vector<std::vector<TrackPoint>> m_arrivals, m_departures;
    RtAppScenario m_scenario;   // the aircraft flying now
    std::vector<double> m_starts; // when each waiting slot's next flight begins
    std::deque<std::pair<uint32_t, double>> m_ended;
};

// ---- The airport: a row of gates south of the user ----

struct Gate {
    int number;
    double eastM, northM;
    LatLon at() const
    {
        return {kEhamRef.latitude + northM / 6371000.0 * 180.0 / std::numbers::pi,
                kEhamRef.longitude +
                    eastM / (6371000.0 * std::cos(kEhamRef.latitude * std::numbers::pi / 180.0)) * 180.0 / std::numbers::pi};
    }
};

std::vector<Gate> lf_gates()
{
    std::vector<Gate> gates;
    for (int n = 1; n <= 24; ++n)
        gates.push_back({n, -900.0 + 80.0 * n, -300.0});
    return gates;
}

// Parked aircraft on every other gate, moved on by `round`.
std::vector<std::string> lf_parkedLines(const std::vector<Livery>& liveries, int round, double epoch)
{
    std::vector<std::string> lines;
    for (const Gate& g : lf_gates()) {
        if ((g.number + round) % 2)
            continue;
        const Livery& l = liveries[static_cast<size_t>(g.number) % liveries.size()];
        const uint32_t hexid = 0x300000 + static_cast<uint32_t>(round * 100 + g.number);
        lines.push_back(parkedLine({hexid, l.airline + std::to_string(900 + g.number + round * 30), l.model,
                                    "PH-P" + std::to_string(hexid % 1000), "G" + std::to_string(g.number),
                                    g.at().latitude, g.at().longitude},
                                   epoch));
    }
    return lines;
}

std::vector<InstalledLivery> lf_installedLiveries()
{
    pugi::xml_document doc;
    doc.load_file((fs::path(KELO_SOURCE_DIR) / "standins/datasets/sources/LiveriesScanned.xml").c_str());
    std::vector<InstalledLivery> out;
    for (const pugi::xml_node l : doc.child("root").child("liveries").children("l"))
        out.push_back({l.attribute("a").as_string(), l.attribute("m").as_string(), l.attribute("t").as_string()});
    return out;
}

// ---- What the run measures ----

struct Figures {
    double seconds = 0.0;
    uint64_t privateBytes = 0;
    uint64_t heapBytes = 0; // in use in the process's heaps
    uint32_t handles = 0;
    uint64_t logBytes = 0;
    std::map<std::string, size_t> sizes;
    std::set<uint32_t> simObjects, engineObjects;
    double wallSeconds = 0.0;
};

size_t lf_positionBufferSize()
{
    std::lock_guard lock(g_positionBuffer.mutex);
    return g_positionBuffer.staging.size() + g_positionBuffer.posted.size() + g_positionBuffer.taken.size();
}

std::map<std::string, size_t> lf_containerSizes()
{
    TrafficState& s = gf_trafficState();
    const SeenTraffic app = gf_seenTrafficOf(TrafficSource::rtApp).copy();
    const SeenTraffic& parking = gf_parkingSeenTraffic();
    return {{"live", s.aircraft.liveCount()},
            {"statics", s.aircraft.staticCount()},
            {"indexes", s.aircraft.indexEntries()},
            {"events", s.processingEvents.size() + s.delayedCommands.size()},
            {"adding", s.addingStack.size() + s.newLiveHexids.size()},
            {"removals", s.removalQueue.size()},
            {"creations", s.liveCreations.size() + s.staticCreations.size()},
            {"parkTimers", s.parkedTimers.size()},
            {"ghostCallsigns", s.ghostCallsigns.size()},
            {"limitHolds", s.parkedLimitHolds.size()},
            {"quarantine", gf_quarantineMap().size()},
            {"linkOwned", g_aiBooks.owned.size()},
            {"linkCallsigns", g_aiBooks.callsigns.size()},
            {"linkPending", g_aiBooks.pendingCreates.size() + g_aiBooks.packets.size() + g_aiBooks.pendingRemovals.size()},
            {"histories", g_positionStreamer.historyCount()},
            {"positionBuffer", lf_positionBufferSize()},
            {"simRemoved", g_positionStreamer.removedBySimCount()},
            {"liveryMemory", gf_liveryMemorySize()},
            {"failedLiveries", gf_failedLiveryCount()},
            {"noMatch", gf_noMatchCount()},
            {"seenApp", app.callsigns.size() + app.hexids.size()},
            {"seenParking", parking.callsigns.size() + parking.hexids.size()}};
}

// The bytes of the blocks in use in every heap of the process: what the
// program holds, apart from what the heaps keep in reserve.
uint64_t lf_heapBytesInUse()
{
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    uint64_t total = 0;
    for (HANDLE heap : heaps) {
        if (!HeapLock(heap))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heap);
    }
    return total;
}

// This process's entries in the system's handle list (what Wine counts).
uint32_t lf_handlesInSystemList()
{
    struct Entry {
        void* object;
        ULONG_PTR processId, value;
        ACCESS_MASK access;
        USHORT creatorBackTrace, type;
        ULONG attributes, reserved;
    };
    struct List {
        ULONG_PTR count, reserved;
        Entry entries[1];
    };
    using Query = LONG(NTAPI*)(ULONG, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    constexpr ULONG kExtendedHandleInformation = 64;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<char> buffer(1 << 16);
    ULONG length = 0;
    LONG status = 0;
    while (query && (status = query(kExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                                    &length)) == kLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (!query || status != 0)
        return 0;
    const auto* list = reinterpret_cast<const List*>(buffer.data());
    uint32_t mine = 0;
    for (ULONG_PTR i = 0; i < list->count; ++i)
        mine += list->entries[i].processId == GetCurrentProcessId() ? 1 : 0;
    return mine;
}

Figures lf_measure(SimConnectStandin& sim, double seconds)
{
    Figures f;
    f.seconds = seconds;
    static const auto start = std::chrono::steady_clock::now();
    f.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory));
    // Wine leaves PrivateUsage at 0; Windows gives both the same.
    f.privateBytes = std::max<uint64_t>(memory.PrivateUsage, memory.PagefileUsage);
    f.heapBytes = lf_heapBytesInUse();
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles); // Wine counts none here
    f.handles = handles ? handles : lf_handlesInSystemList();
    gf_flushLog();
    std::error_code ec;
    f.logBytes = fs::file_size("Log.txt", ec);
    f.sizes = lf_containerSizes();
    for (const auto& id : sim.trace("live_objects"))
        f.simObjects.insert(id.get<uint32_t>());
    TrafficState& s = gf_trafficState();
    for (const LiveAircraft& a : s.aircraft.live())
        if (a.sim.objectId)
            f.engineObjects.insert(a.sim.objectId);
    for (const StaticAircraft& a : s.aircraft.statics())
        if (a.sim.objectId)
            f.engineObjects.insert(a.sim.objectId);
    return f;
}

// The ids in `a` but not in `b`.
std::vector<uint32_t> lf_minus(const std::set<uint32_t>& a, const std::set<uint32_t>& b)
{
    std::vector<uint32_t> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

void lf_printFigures(const std::vector<Figures>& rows)
{
    std::printf("%8s %6s %10s %10s %7s %9s %7s %7s", "minutes", "wall", "private", "heap", "handles", "log", "simObj",
                "engObj");
    for (const auto& [name, size] : rows.front().sizes)
        std::printf(" %s", name.c_str());
    std::printf("\n");
    for (const Figures& f : rows) {
        std::printf("%8.1f %6.0f %10llu %10llu %7u %9llu %7zu %7zu", f.seconds / 60.0, f.wallSeconds,
                    static_cast<unsigned long long>(f.privateBytes), static_cast<unsigned long long>(f.heapBytes),
                    f.handles, static_cast<unsigned long long>(f.logBytes), f.simObjects.size(), f.engineObjects.size());
        for (const auto& [name, size] : f.sizes)
            std::printf(" %*zu", static_cast<int>(name.size()), size);
        std::printf("\n");
    }
    std::fflush(stdout);
}

// ---- The road ----

enum class Feed { app, webApi };

// The program folder, the simulator with Amsterdam and its gates, and the
// stand-in App (or web API), ready for a run of the main task.
class Road {
public:
    explicit Road(const nlohmann::json& simOptions = nlohmann::json::object(), Feed feed = Feed::app)
        : fx(feed == Feed::app, 1)
    {
        ok = gf_loadSimConnect() && sim.bind();
        if (!ok)
            return;
        sim.reset();
        nlohmann::json eham = facilityAirport("EHAM", kEhamRef.latitude, kEhamRef.longitude, kEhamFt, amsterdamRunways());
        for (const Gate& g : lf_gates())
            eham["facility"]["TAXI_PARKING"].push_back({{"TYPE", 9}, {"TAXI_POINT_TYPE", 0}, {"NAME", 12},
                                                        {"SUFFIX", 0}, {"NUMBER", g.number}, {"ORIENTATION", 0},
                                                        {"HEADING", 180.0}, {"RADIUS", 20.0}, {"BIAS_X", g.eastM},
                                                        {"BIAS_Z", g.northM}});
        nlohmann::json titles = nlohmann::json::array();
        for (const InstalledLivery& l : lf_installedLiveries()) {
            titles.push_back({{"title", l.title}, {"static_cg_ft", 8.0}});
            liveries.push_back({l.airline, l.model});
        }
        nlohmann::json scenario{{"mode", "realtime"},
                                {"sim_running", true},
                                {"frames_per_second", 100},
                                {"trace_positions", false},
                                {"trace_calls", false},
                                {"keep_history", false},
                                {"map_window", false},
                                {"ground_ft", kEhamFt},
                                {"titles", titles},
                                {"airports", {eham}},
                                {"user",
                                 {{"title", "Airbus A320 Neo"}, {"atc_model", "A20N"}, {"lat", kUser.latitude},
                                  {"lon", kUser.longitude}, {"alt_ft", kEhamFt}, {"on_ground", true}}}};
        scenario.update(simOptions);
        ok = sim.load(scenario);
        failure = ok ? "" : "scenario";
        ok = ok && (port = prepareRtAppRun(fx, lf_installedLiveries())) != 0;
        failure = ok || !failure.empty() ? failure : "port";
        ok = ok && writeAirport();
        failure = ok || !failure.empty() ? failure : "facility stands";
        std::string settings = readBytes(gf_parametersXmlPath());
        settings.insert(settings.find("  </parameters>"), "    <parameter name=\"parking_percentage\" value=\"100\"/>\n");
        if (feed == Feed::webApi) {
            settings.replace(settings.find("\"RT App\""), 8, "\"RT Direct\"");
            api.emplace();
            api->setCredential(kCredential);
            api->setWrrl(250);
            // Thirty aircraft of installed types, 3 to 6 NM out and low: in
            // range for the whole run.
            std::vector<RTWebApi::Aircraft> traffic = RTWebApi::scenarioAround(kEhamRef.latitude, kEhamRef.longitude, 30);
            const char* const types[] = {"A320", "B738", "E190", "DH8D"};
            for (size_t i = 0; i < traffic.size(); ++i) {
                RTWebApi::Aircraft& a = traffic[i];
                const double bearing = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(traffic.size());
                const LatLon at = gf_destinationPoint(kEhamRef, {bearing, (3.0 + static_cast<double>(i % 4)) * kNm});
                a.lat = at.latitude;
                a.lon = at.longitude;
                a.altitudeFt = 3000.0 + 500.0 * static_cast<double>(i % 5);
                a.groundSpeedKt = 140.0;
                a.verticalSpeedFpm = 0.0;
                a.type = types[i % 4];
            }
            api->setTraffic(std::move(traffic));
            const fs::path dir = fx.folders.roamingAppData() / "InsideSystems";
            fs::create_directories(dir);
            writeBytes(dir / "RealTraffic.lic", fmt::format("{{\"License\":\"{}\"}}", kCredential));
            gf_setRTApiBaseUrlForTesting(api->baseUrl());
        }
        writeBytes(gf_parametersXmlPath(), settings);
        gf_setDownloadSiteForTests("http://127.0.0.1:9/"); // nothing answers: no update
    }
    ~Road()
    {
        if (api) {
            api->stop();
            gf_rtApiSession().clear();
            gf_setRTApiBaseUrlForTesting({});
        }
        gf_setDownloadSiteForTests("");
        if (ok)
            sim.reset();
    }

    // Sends the batch of `t` and waits until the feed has posted it.
    void send(const std::vector<std::string>& lines, double t)
    {
        sendBatchAndWait(app, lines, static_cast<uint64_t>(std::llround(epoch + t)));
    }

    MainTaskFixture fx;
    MessageBoxRecorder boxes;
    SimConnectStandin sim;
    RtAppStandIn app;
    std::optional<RTWebApi> api;
    static constexpr const char* kCredential = "lic-endurance-5d1f";
    std::vector<Livery> liveries;
    uint16_t port = 0;
    bool ok = false;
    std::string failure = "SimConnect.dll";
    const double epoch = static_cast<double>(gf_nowSeconds(false));

private:
    // Amsterdam's airport file from the simulator's facility data (read once
    // per process: the facility reader serves one run).
    bool writeAirport()
    {
        static std::optional<std::pair<ScannedAirport, int>> read;
        if (!read) {
            ScannedAirport scanned;
            int helipads = 0;
            if (!readRoadAirport("EHAM", scanned, helipads))
                return false;
            read.emplace(std::move(scanned), helipads);
        }
        writeRoadAirportFile(read->first, read->second);
        return true;
    }
};

struct SoakForm {
    double seconds;
    size_t aircraft;
    double checkEvery;
};

// The churn on the road, driven by the main task: a batch every 2 s while
// the App is up; the simulator's objects are checked against the engine's
// when asked, and again 3 s later when they differ (objects on their way in
// or out settle within a few frames: what still differs is a ghost or an
// orphan).
struct Drive {
    Drive(Road& r, Churn& c) : road(r), churn(c), run{r.sim}
    {
        run.ticksPerFrame = 4;
        run.onManual = [this] { road.app.sendMetar("EHAM 071025Z 24012KT 9999 FEW020 08/04 Q1013"); };
        run.parkedAnswered = [this] { return !appUp || gf_parkedTrafficOf(TrafficSource::rtApp).received.load(); };
        run.onFrame = [this](double t) { step(t); };
    }

    Figures check(double t)
    {
        Figures f = lf_measure(road.sim, t);
        if (f.simObjects != f.engineObjects)
            suspect = f;
        return f;
    }

    // Runs `seconds` of traffic; `during(t)` after each frame.
    bool go(double seconds)
    {
        auto connected = std::async(std::launch::async, [this] { return road.app.connect(road.port, 60s); });
        run.done = [this, seconds](double t) { return t >= seconds || finished; };
        const bool ended = run.run(std::chrono::seconds(static_cast<int64_t>(seconds) / 2 + 120));
        return ended && connected.get() && run.stopRequested;
    }

    Road& road;
    Churn& churn;
    RoadRun run;
    std::atomic<bool> appUp{true};
    bool finished = false; // set by `during` to end the run early
    std::function<void(double)> during;
    std::vector<std::string> mismatches;

private:
    void step(double t)
    {
        if (t >= nextBatch) {
            nextBatch = std::max(nextBatch, t - 2.0); // no batches of a time skipped
            if (appUp)
                road.send(churn.linesAt(nextBatch, road.epoch), nextBatch);
            nextBatch += 2.0;
        }
        if (suspect && t >= suspect->seconds + 3.0) {
            const Figures now = lf_measure(road.sim, t);
            size_t ghosts = 0, orphans = 0;
            for (uint32_t id : lf_minus(suspect->simObjects, suspect->engineObjects))
                ghosts += now.simObjects.contains(id) && !now.engineObjects.contains(id);
            for (uint32_t id : lf_minus(suspect->engineObjects, suspect->simObjects))
                orphans += now.engineObjects.contains(id) && !now.simObjects.contains(id);
            if (ghosts || orphans)
                mismatches.push_back(fmt::format("at {:.0f} s: {} ghosts, {} orphans", t, ghosts, orphans));
            suspect.reset();
        }
        if (during)
            during(t);
    }
    double nextBatch = 0.0;
    std::optional<Figures> suspect;
};

void lf_soak(const SoakForm& form)
{
    Road road;
    ASSERT_TRUE(road.ok) << road.failure << gf_simConnectLoadError();
    Churn churn(form.aircraft, road.liveries);
    road.app.parkedLines = lf_parkedLines(road.liveries, 0, road.epoch);
    Drive drive(road, churn);
    std::vector<Figures> rows;
    double nextCheck = form.checkEvery;
    int round = 0;
    size_t appLines = 0;
    drive.during = [&](double t) {
        if (t < nextCheck)
            return;
        rows.push_back(drive.check(t));
        std::printf("%.0f simulated minutes, %.0f s\n", t / 60.0, rows.back().wallSeconds);
        std::fflush(stdout);
        nextCheck += form.checkEvery;
        appLines += road.app.forgetLines();
        // The parked aircraft change for the next parking run.
        road.app.setParkedLines(lf_parkedLines(road.liveries, ++round, road.epoch + t));
    };
    ASSERT_TRUE(drive.go(form.seconds + 4.0)) << road.fx.log();
    lf_printFigures(rows);
    if (const char* keep = std::getenv("KELO_SOAK_LOG")) // the run's log, for a look afterwards
        fs::copy_file("Log.txt", keep, fs::copy_options::overwrite_existing);
    std::printf("%zu flights, %zu hexids flown again, %zu lines to the App\n", churn.flights, churn.reusedHexids,
                appLines + road.app.forgetLines());
    EXPECT_TRUE(drive.mismatches.empty()) << ::testing::PrintToString(drive.mismatches);
    ASSERT_GE(rows.size(), 3u);

    // After the first third, nothing grows: every container stays within what
    // the traffic holds, and memory grows by less than 2 % of its level per
    // hour, handles by a few at most and the log by the same amount each check.
    const size_t settled = rows.size() / 3;
    const Figures& base = rows[settled];
    const double hours = (rows.back().seconds - base.seconds) / 3600.0;
    for (const auto& [name, size] : rows.back().sizes) {
        if (name == "liveryMemory")
            continue; // one title per hexid seen, cleared once a day: bounded by the day's traffic
        size_t most = 0, atBase = base.sizes.at(name);
        for (size_t i = settled; i < rows.size(); ++i)
            most = std::max(most, rows[i].sizes.at(name));
        EXPECT_LE(most, 3 * form.aircraft + 64) << name;
        if (name == "seenParking" && atBase == 0)
            continue; // taken at the first parking run after the base (in the shorter forms)
        EXPECT_LE(static_cast<double>(most), atBase * (1.0 + 0.02 * std::max(hours, 1.0)) + form.aircraft / 5.0 + 8)
            << name << " grows";
    }
    // What the link keeps per object goes with the object.
    for (size_t i = settled; i < rows.size(); ++i)
        for (const char* name : {"linkOwned", "linkCallsigns", "histories", "positionBuffer", "simRemoved", "live"})
            EXPECT_LE(rows[i].sizes.at(name), 2 * rows[i].simObjects.size() + 64) << name << " at check " << i;
    // Each record is indexed by its key, and by its object while it has one.
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].sizes.at("indexes"),
                  rows[i].sizes.at("live") + rows[i].sizes.at("statics") + rows[i].engineObjects.size())
            << "at check " << i;
    EXPECT_LE(static_cast<double>(rows.back().privateBytes), base.privateBytes * (1.0 + 0.02 * hours));
    EXPECT_LE(rows.back().handles, base.handles + 20u);
    const uint64_t firstStep = rows[settled].logBytes - rows[settled - 1].logBytes;
    for (size_t i = settled + 1; i < rows.size(); ++i)
        EXPECT_LE(rows[i].logBytes - rows[i - 1].logBytes, 2 * firstStep + 65536) << "log growth at check " << i;
}

} // namespace

TEST(Endurance, HalfAnHourOfChurningTrafficLeavesNothingBehind)
{
    lf_soak({1800.0, 300, 300.0});
}

TEST(Endurance, DISABLED_LongSoak)
{
    SoakForm form{6 * 3600.0, 1000, 3600.0};
    if (const char* text = std::getenv("KELO_SOAK")) {
        double hours = 0.0;
        size_t aircraft = 0;
        if (std::sscanf(text, "%lf,%zu", &hours, &aircraft) == 2)
            form = {hours * 3600.0, aircraft, std::min(3600.0, hours * 600.0)};
    }
    lf_soak(form);
}

namespace {

// The simulator's objects now: id -> tail (the callsign; a static aircraft's ends in '*').
std::map<uint32_t, std::string> lf_simTails(SimConnectStandin& sim)
{
    std::map<uint32_t, std::string> out;
    for (const auto& o : sim.trace("objects"))
        if (o["removed_frame"].is_null())
            out[o["object_id"].get<uint32_t>()] = o["tail"].get<std::string>();
    return out;
}

void lf_expectEachTailOnce(const std::map<uint32_t, std::string>& objects)
{
    std::map<std::string, int> tails;
    for (const auto& [id, tail] : objects)
        EXPECT_EQ(++tails[tail], 1) << tail << " twice";
}

size_t lf_liveObjects(const std::map<uint32_t, std::string>& tails)
{
    return std::count_if(tails.begin(), tails.end(), [](const auto& t) { return !t.second.ends_with('*'); });
}

} // namespace

// The App goes away: Kelo restarts (the window starts it again), and
// nothing of its traffic stays in the simulator meanwhile.
TEST(Endurance, AnAppThatGoesAwayTakesItsTrafficOutOfTheSimulator)
{
    const nlohmann::json options{{"keep_history", true}};
    Road road(options);
    ASSERT_TRUE(road.ok) << road.failure << gf_simConnectLoadError();
    Churn churn(60, road.liveries);
    Drive drive(road, churn);
    constexpr double kDown = 150.0;
    std::map<uint32_t, std::string> before;
    drive.during = [&](double t) {
        if (t >= kDown && drive.appUp) {
            before = lf_simTails(road.sim);
            drive.appUp = false;
            road.app.disconnect();
        }
    };
    drive.go(kDown + 120.0);
    EXPECT_FALSE(drive.run.stopRequested) << "the program ran on without the App";
    ASSERT_GT(lf_liveObjects(before), 20u);
    EXPECT_TRUE(lf_simTails(road.sim).empty()) << "objects left in the simulator";
    EXPECT_TRUE(drive.mismatches.empty()) << ::testing::PrintToString(drive.mismatches);
    const std::string log = road.fx.log();
    EXPECT_NE(log.find("RealTraffic App gone\n"), std::string::npos) << log;
    EXPECT_NE(log.find("pending removals 0, pending creates 0\n"), std::string::npos) << log;
    const auto posted = road.fx.postedMessages();
    EXPECT_NE(std::find(posted.begin(), posted.end(), static_cast<UINT>(MSG_START)), posted.end());
}

// The App goes away for 5 s, a minute or ten: Kelo restarts (the window
// starts it again), nothing of its traffic stays in the simulator meanwhile,
// and once the App is back its traffic is too, each aircraft once.
TEST(Endurance, AnAppThatGoesAwayAndComesBackBringsItsTrafficBack)
{
    for (double outage : {5.0, 60.0, 600.0}) {
        SCOPED_TRACE(fmt::format("App away for {} s", outage));
        Road road(nlohmann::json{{"keep_history", true}});
        ASSERT_TRUE(road.ok) << road.failure << gf_simConnectLoadError();
        Churn churn(60, road.liveries);
        Drive drive(road, churn);
        constexpr double kDown = 100.0, kAfter = kDown; // as long as the traffic had at first
        std::map<uint32_t, std::string> before, during, after;
        std::string firstLog;
        double back = 0.0;
        std::future<bool> returned;
        drive.run.restartPosted = [&] {
            firstLog = road.fx.log(); // the restart starts a new log
            const auto posted = road.fx.postedMessages();
            return std::find(posted.begin(), posted.end(), static_cast<UINT>(MSG_START)) != posted.end();
        };
        drive.during = [&](double t) {
            if (t >= kDown && before.empty()) {
                before = lf_simTails(road.sim);
                drive.appUp = false;
                road.app.disconnect();
                // Kelo waits for the App on the network, not on its clock: the
                // outage passes at once, then the App connects again.
                returned = std::async(std::launch::async, [&] {
                    while (!(drive.run.restarts.load() > 0 && rtAppWaitingForApp.load()))
                        std::this_thread::sleep_for(10ms);
                    during = lf_simTails(road.sim);
                    drive.run.skip(std::max(0.0, kDown + outage - drive.run.seconds()));
                    back = drive.run.seconds();
                    drive.appUp = true;
                    return road.app.connect(road.port, 60s);
                });
            } else if (back > 0.0 && t >= back + kAfter && after.empty()) {
                drive.check(t);
                after = lf_simTails(road.sim);
            } else if (!after.empty() && t >= back + kAfter + 4.0) {
                drive.finished = true;
            }
        };
        ASSERT_TRUE(drive.go(kDown + outage + 600.0)) << road.fx.log();
        ASSERT_TRUE(returned.valid() && returned.get());
        EXPECT_EQ(drive.run.restarts.load(), 1);
        ASSERT_GT(lf_liveObjects(before), 20u);
        EXPECT_TRUE(during.empty()) << "objects left in the simulator";
        // Aircraft first seen low on the approach or on the take-off roll wait.
        EXPECT_GE(lf_liveObjects(after), lf_liveObjects(before) / 2) << "traffic not back";
        lf_expectEachTailOnce(after);
        EXPECT_TRUE(drive.mismatches.empty()) << ::testing::PrintToString(drive.mismatches);
        EXPECT_NE(firstLog.find("RealTraffic App gone\n"), std::string::npos) << firstLog;
        EXPECT_NE(firstLog.find("pending removals 0, pending creates 0\n"), std::string::npos) << firstLog;
    }
}

// RT Direct with traffic running: the web API stops answering (the transfer
// times out), answers a 500 and a 429 page, then garbage three times. The
// session holds (no new sign-in, no restart), the first good answer brings
// the traffic again, no aircraft is in the simulator twice, and neither the
// credential nor the session is ever logged.
TEST(Endurance, TheWebApiFailingForAWhileLosesNeitherTheSessionNorTheTraffic)
{
    // The reader waits after the 500 and 429 pages; a short wait keeps the
    // spell within the time the aircraft outlive a silent feed.
    gf_rtApiTrafficReader().serverErrorWaitMs = 2000;
    struct RestoreWait {
        ~RestoreWait() { gf_rtApiTrafficReader().serverErrorWaitMs = 30000; }
    } restoreWait;
    Road road({{"keep_history", true}}, Feed::webApi);
    ASSERT_TRUE(road.ok) << road.failure << gf_simConnectLoadError();
    RTWebApi& api = *road.api;
    RoadRun run(road.sim);
    run.realTime = true;
    enum class Stage { flowing, failing, recovering, resumed, done } stage = Stage::flowing;
    std::map<uint32_t, std::string> before, after;
    std::string guid;
    size_t signIns = 0, firstBad = 0, pollOfResumption = 0;
    uint64_t lastStamp = 0;
    double resumedAt = 0.0, nextLook = 0.0;
    Figures settled;
    run.onFrame = [&](double t) {
        const size_t polls = api.count("/v6/traffic");
        const uint64_t stamp = gf_trafficClockInputs().rtDirectLatestTimestamp.load();
        if (stage == Stage::flowing && t >= nextLook) {
            nextLook = t + 1.0;
            if (lf_liveObjects(lf_simTails(road.sim)) < 20)
                return;
            before = lf_simTails(road.sim);
            signIns = api.count("/v6/auth");
            guid = api.currentGuid();
            firstBad = polls;
            api.queueBadSpell("/v6/traffic");
            stage = Stage::failing;
        } else if (stage == Stage::failing && polls >= firstBad + 6) {
            lastStamp = stamp; // the last bad poll is on its way
            stage = Stage::recovering;
        } else if (stage == Stage::recovering && stamp > lastStamp) {
            pollOfResumption = polls - firstBad;
            resumedAt = t;
            stage = Stage::resumed;
        } else if (stage == Stage::resumed && t >= resumedAt + 30.0) {
            after = lf_simTails(road.sim);
            settled = lf_measure(road.sim, t);
            stage = Stage::done;
        }
    };
    run.done = [&](double t) { return stage == Stage::done || t > 300.0; };
    ASSERT_TRUE(run.run(420s)) << road.fx.log();
    ASSERT_EQ(stage, Stage::done) << road.fx.log();
    EXPECT_EQ(pollOfResumption, 7u) << "traffic came back only after more polls than the bad ones";
    EXPECT_EQ(api.count("/v6/auth"), signIns) << "the session was lost";
    EXPECT_EQ(run.restarts.load(), 0);
    EXPECT_GE(lf_liveObjects(after), lf_liveObjects(before) * 3 / 4) << "traffic not back";
    lf_expectEachTailOnce(after);
    EXPECT_EQ(settled.simObjects, settled.engineObjects);
    const std::string log = road.fx.log();
    EXPECT_NE(log.find("HTTP 500 response"), std::string::npos) << log;
    EXPECT_NE(log.find("invalid JSON: %%garbage%%"), std::string::npos) << log;
    EXPECT_EQ(log.find(Road::kCredential), std::string::npos) << "the credential is logged";
    ASSERT_FALSE(guid.empty());
    EXPECT_EQ(log.find(guid), std::string::npos) << "the session is logged";
}

namespace {

// The simulator quits with traffic running and is back 10 s later (its
// objects taken with the client on close, or kept): within 35 s every
// aircraft the engine holds is in the simulator again, once, and nothing of
// the old connection is left.
void lf_simulatorRestart(bool closeRemovesObjects)
{
    Road road({{"keep_history", true}, {"close_removes_objects", closeRemovesObjects}});
    ASSERT_TRUE(road.ok) << road.failure << gf_simConnectLoadError();
    Churn churn(60, road.liveries);
    road.app.parkedLines = lf_parkedLines(road.liveries, 0, road.epoch);
    Drive drive(road, churn);
    constexpr double kQuit = 150.0, kBack = kQuit + 10.0, kCheck = kBack + 35.0;
    std::map<uint32_t, std::string> before, now;
    std::set<uint32_t> oldOwners;
    std::vector<std::string> notBack;
    bool checked = false;
    drive.during = [&](double t) {
        if (t >= kQuit && oldOwners.empty()) {
            before = lf_simTails(road.sim);
            for (const auto& o : road.sim.trace("objects"))
                oldOwners.insert(o["owner"].get<uint32_t>());
            road.sim.quit();
        } else if (t >= kBack && t < kBack + 0.05) {
            road.sim.setAvailable(1);
            // The link retries every 100 ms of real time: the simulated
            // clock waits for it.
            for (int i = 0; i < 3000 && g_linkState.load() == LinkState::NotConnected; ++i)
                std::this_thread::sleep_for(1ms);
        } else if (t >= kCheck && !checked) {
            checked = true;
            drive.check(t);
            now = lf_simTails(road.sim);
            std::set<std::string> beforeTails;
            for (const auto& [id, tail] : before)
                beforeTails.insert(tail);
            for (const LiveAircraft& a : gf_trafficState().aircraft.live())
                if (beforeTails.contains(a.identity.callsign) && a.sim.objectId == 0)
                    notBack.push_back(a.identity.callsign);
        }
    };
    ASSERT_TRUE(drive.go(kCheck + 4.0)) << road.fx.log();
    ASSERT_GT(lf_liveObjects(before), 20u);
    EXPECT_TRUE(drive.mismatches.empty()) << ::testing::PrintToString(drive.mismatches);
    EXPECT_GE(lf_liveObjects(now), lf_liveObjects(before) * 3 / 4) << "traffic not back";
    EXPECT_TRUE(notBack.empty()) << ::testing::PrintToString(notBack);
    lf_expectEachTailOnce(now);
    for (const auto& o : road.sim.trace("objects"))
        EXPECT_TRUE(!oldOwners.contains(o["owner"].get<uint32_t>()) || !o["removed_frame"].is_null()) << o.dump();
}

} // namespace

TEST(Endurance, TheSimulatorQuitsAndComesBackWithTrafficRunning)
{
    for (bool closeRemovesObjects : {true, false}) {
        SCOPED_TRACE(closeRemovesObjects ? "objects go with the client" : "objects kept");
        lf_simulatorRestart(closeRemovesObjects);
    }
}
