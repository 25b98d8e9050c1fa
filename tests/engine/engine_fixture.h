#pragma once
// The engine's state made fresh for each test, and the engine's side of a
// tick (events, pacing, clock) against the stand-in simulator in manual frames.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/aircraft.h"
#include "engine/aircraft_commands.h"
#include "engine/engine.h"
#include "engine/per_tick_update.h"
#include "engine/sim_reactions.h"
#include "engine/traffic_state.h"
#include "feed/traffic_mailbox.h"
#include "liveries/livery_memory.h"
#include "liveries/model_database.h"
#include "simlink/position_stream.h"
#include "simlink/sim_command_mailbox.h"
#include <gtest/gtest.h>

#include "standins/trace_check.h"
#include "tests/support/track_records.h"
#include "tests/simlink/sim_client_fixture.h"
#include "tests/simlink/sim_test_support.h"

namespace kvr::test {

inline void resetEngineState()
{
    gf_resetTrafficState();
    gf_initTrafficState();
    gf_resetCommandMailbox();
}

// The engine's state made fresh, its clock at 1000 ticks: aircraft driven
// tick by tick without the simulator.
class EngineClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetEngineState();
        engineClock = 1000;
    }
    void TearDown() override
    {
        resetEngineState();
        engineClock = 0;
    }
};

// A live aircraft at a position, with one sample there.
inline LiveAircraft makeLive(uint32_t hexid, const std::string& callsign, bool airborne = true,
                             double lat = 47.45, double lon = 8.56, double altitudeFt = 5000.0)
{
    AircraftBase base;
    base.identity.hexid = hexid;
    base.identity.callsign = callsign;
    base.identity.registration = "HB-" + callsign.substr(0, 3);
    base.identity.category = Category::Large;
    base.identity.cgDefaultFt = 8.0;
    TrafficSample s;
    s.lat = lat;
    s.lon = lon;
    s.altitudeFt = altitudeFt;
    s.airborne = airborne ? 1 : 0;
    LiveAircraft ac(s, base, 1.7e9);
    ac.motion.lat = lat;
    ac.motion.lon = lon;
    ac.motion.altitudeFt = altitudeFt;
    ac.phases.groundMode = airborne ? 0 : 1;
    return ac;
}

inline StaticAircraft makeStatic(const std::string& callsign, int32_t standId = 0)
{
    AircraftBase base;
    base.identity.callsign = callsign;
    base.identity.category = Category::Large;
    return StaticAircraft(base, gf_nextStaticKey(), standId, {47.46, 8.55, 1.0}, true);
}

// The creation request that the pacing hands on, as the tick builds it.
inline CreateAcCmd creationFor(const AircraftBase& ac, const std::string& title = "A320")
{
    CreateAcCmd cmd;
    cmd.initPosition = {47.45, 8.56, 5000.0, 0.0, 0.0, 90.0, 0, 0};
    cmd.callsign = ac.identity.callsign;
    cmd.title = title;
    cmd.key = ac.key();
    return cmd;
}

class EngineSimTest : public SimClientTest {
protected:
    void SetUp() override
    {
        SimClientTest::SetUp();
        resetEngineState();
        connect();
    }
    void TearDown() override
    {
        SimClientTest::TearDown();
        resetEngineState();
    }
    // The engine's part of one tick, then one simulator frame.
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            lf_processSimEvents();
            gf_compactLiveAircraft();
            gf_compactStaticAircraft();
            engineClock.fetch_add(1);
            frames(1);
        }
    }
    // Queues the aircraft's creation, hands it on and lets the simulator
    // assign the object id.
    void create(AircraftBase& ac, const std::string& title = "A320")
    {
        ac.sim.simState = SimState::adding2sim;
        auto& q = ac.sim.isStatic ? gf_trafficState().staticCreations : gf_trafficState().liveCreations;
        q.push_back(creationFor(ac, title));
        ASSERT_TRUE(gf_handOnOneCreation());
        frames(2);
    }
    // Sim events of one object by name, as the stand-in received them.
    std::vector<nlohmann::json> eventsOf(uint32_t objectId, const std::string& name)
    {
        std::vector<nlohmann::json> found;
        for (const auto& e : trace("events"))
            if (e["object_id"] == objectId && e["name"] == name)
                found.push_back(e);
        return found;
    }
    nlohmann::json objectRecord(uint32_t objectId)
    {
        for (const auto& o : trace("objects"))
            if (o["object_id"] == objectId)
                return o;
        return nullptr;
    }
    LiveAircraft* live(uint32_t hexid) { return gf_findLiveAircraft(hexid); }
};

// Live traffic for the scenario tests: the A320 known as a large model, no
// remembered liveries, the mailbox empty and delivering, the clock at 0.
inline void startLiveTraffic()
{
    auto& db = gf_modelDatabase();
    db.icaoModelCodes.insert("A320");
    db.large.insert(gf_modelCode2Id("A320"));
    gf_clearLiveryMemory();
    gf_trafficMailbox().reset();
    gf_setTrafficDelivery(true);
    engineClock = 0;
}

inline void stopLiveTraffic()
{
    gf_setTrafficDelivery(false);
    gf_trafficMailbox().reset();
    gf_clearLiveryMemory();
    auto& db = gf_modelDatabase();
    db.icaoModelCodes.erase("A320");
    db.large.erase(gf_modelCode2Id("A320"));
}

// Live traffic played through the main loop against the stand-in with its
// motion trace on: the steady clock moves only with the test's ticks (10 ms
// each), the simulator runs about three frames in 100 ms. The trace is the
// file `traceName` in the temporary folder, removed after the test.
class TracedTrafficTest : public EngineSimTest {
protected:
    explicit TracedTrafficTest(const char* traceName) : traceName_(traceName) {}
    void SetUp() override
    {
        // The engine groups run as parallel processes in one temp folder:
        // each names its traces apart.
        static const std::string run = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
        tracePath = (std::filesystem::temp_directory_path() / (run + "-" + traceName_)).string();
        std::filesystem::remove(tracePath);
        _putenv_s("KELO_SIM_TRACE", tracePath.c_str());
        nowNs().store(1'000'000'000);
        gf_setSteadyClockForTest(&steadyNow);
        EngineSimTest::SetUp();
        startLiveTraffic();
        engineClock = 0;
    }
    void TearDown() override
    {
        stopLiveTraffic();
        gf_setSteadyClockForTest(nullptr);
        EngineSimTest::TearDown();
        _putenv_s("KELO_SIM_TRACE", "");
        sim.reset();
        printSpeedFindings();
        std::filesystem::remove(tracePath);
        engineClock = 0;
    }
    // What the trace check's speed rules find in the trace, printed for a
    // look: they do not fail a test yet.
    void printSpeedFindings() const
    {
        std::ifstream in(tracePath, std::ios::binary);
        const kvr::standin::MotionReport report = kvr::standin::gf_checkTraceMotion(in);
        const kvr::standin::MotionCounts& c = report.total;
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::printf("speed rules in %s.%s: snaps %llu, air overspeeds %llu, removed rolling %llu, short jumps %llu\n",
                    test ? test->test_suite_name() : "", test ? test->name() : "",
                    static_cast<unsigned long long>(c.speedSnaps), static_cast<unsigned long long>(c.airOverspeeds),
                    static_cast<unsigned long long>(c.removedRolling), static_cast<unsigned long long>(c.shortJumps));
        for (const auto& [id, found] : report.findings)
            for (const kvr::standin::MotionFinding& f : found)
                if (kvr::standin::gf_isSpeedFinding(f)) {
                    const auto tail = report.tails.find(id);
                    std::printf("    %s %s\n", tail == report.tails.end() ? "" : tail->second.c_str(),
                                kvr::standin::gf_findingText(f).c_str());
                }
    }
    void run(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            nowNs().fetch_add(10'000'000);
            lf_handleAddingStack();
            const int c = engineClock.load() % 10;
            if (c == 0 || c == 3 || c == 7)
                frames(1);
        }
    }
    // Posts the reports of one A320 of KLM at their times and runs the main
    // loop between them (one second after the last).
    void playReports(const std::vector<kvr::standin::TrackPoint>& reports, uint32_t hexid, const std::string& callsign)
    {
        lf_rememberLiveryOfHexid(hexid, "Airbus A320-200 KLM");
        for (size_t i = 0; i < reports.size(); ++i) {
            std::vector<LiveTrafficRecord> batch{trackRecord(reports[i], hexid, callsign)};
            gf_trafficMailbox().post(batch, TrafficBatchKind::Live, 30, false);
            const double next = i + 1 < reports.size() ? reports[i + 1].t : reports[i].t + 1.0;
            run(static_cast<int>(std::lround((next - reports[i].t) * 100.0)));
        }
    }
    // The trace's motion counts (take-offs, ground speeds and touch-downs
    // judged against the runways given). Whatever else a test judges, no
    // aircraft it drove may move on the ground faster than aircraft do, nor
    // touch down before its runway: each such finding fails the test.
    kvr::standin::MotionReport traceMotion(const std::vector<kvr::standin::RunwayGeometry>& runways = {})
    {
        std::ifstream in(tracePath, std::ios::binary);
        kvr::standin::MotionReport report = kvr::standin::gf_checkTraceMotion(in, runways);
        for (const auto& [id, found] : report.findings)
            for (const kvr::standin::MotionFinding& f : found)
                if (f.kind == "off-runway dash" || f.kind == "ground overspeed" || f.kind == "short touch-down" ||
                    f.kind == "off-runway touch-down")
                    ADD_FAILURE() << "object " << id << ": " << kvr::standin::gf_findingText(f);
        return report;
    }
    std::string tracePath;

private:
    static std::atomic<int64_t>& nowNs()
    {
        static std::atomic<int64_t> ns{1'000'000'000};
        return ns;
    }
    static int64_t steadyNow() { return nowNs().load(); }
    const char* traceName_;
};

} // namespace kvr::test
