// Live traffic end to end: synthetic tracks posted into the traffic mailbox
// as the feed would, the engine's tick against the stand-in simulator in
// manual frames, and what the simulator saw.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <optional>

#include "airports/airport_database.h"
#include "core/files.h"
#include "core/geodesy.h"
#include "core/layout.h"
#include "core/settings_snapshot.h"
#include "engine/aircraft_commands.h"
#include "engine/per_tick_update.h"
#include "engine/quarantine.h"
#include "engine/removal_operations.h"
#include "engine/spawning.h"
#include "engine/sim_reactions.h"
#include "engine/traffic_aircraft.h"
#include "engine/traffic_intake.h"
#include "feed/traffic_mailbox.h"
#include "liveries/livery_list_file.h"
#include "liveries/livery_matching_tables.h"
#include "liveries/livery_memory.h"
#include "parking/parking_runs.h"
#include "engine/parked_limits.h"
#include "simlink/user_aircraft.h"
#include "stands/stand_table.h"
#include "simlink/position_stream.h"
#include "standins/track_generator.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/track_records.h"

namespace {

using kvr::standin::TrackPoint;

constexpr const char* kTitle = "Airbus A320-200 KLM";
std::atomic<int64_t> g_nowNs{1'000'000'000};
int64_t testClock()
{
    return g_nowNs.load();
}

LiveTrafficRecord recordOf(const TrackPoint& p, uint32_t hexid, const std::string& callsign, double t0 = 1.7e9)
{
    return kvr::test::trackRecord(p, hexid, callsign, t0);
}

// The track position at `seconds` from its start, linear between points.
LatLon trackAt(const std::vector<TrackPoint>& track, double seconds)
{
    size_t i = 0;
    while (i + 1 < track.size() && track[i + 1].t <= seconds)
        ++i;
    const TrackPoint& a = track[i];
    const TrackPoint& b = i + 1 < track.size() ? track[i + 1] : a;
    const double f = b.t > a.t ? std::clamp((seconds - a.t) / (b.t - a.t), 0.0, 1.0) : 0.0;
    return {a.lat + (b.lat - a.lat) * f, a.lon + (b.lon - a.lon) * f};
}

class LiveTrafficTest : public kvr::test::EngineSimTest {
protected:
    void SetUp() override
    {
        g_nowNs.store(1'000'000'000);
        gf_setSteadyClockForTest(&testClock);
        EngineSimTest::SetUp();
        kvr::test::startLiveTraffic();
        engineClock = 0;
    }
    void TearDown() override
    {
        kvr::test::stopLiveTraffic();
        gf_clearNoMatchList();
        gf_setSteadyClockForTest(nullptr);
        EngineSimTest::TearDown();
        engineClock = 0;
    }
    // The main loop's tick, then one simulator frame.
    void run(int ticks, bool withFrames = true)
    {
        for (int i = 0; i < ticks; ++i) {
            g_nowNs.fetch_add(10'000'000);
            lf_handleAddingStack();
            if (withFrames)
                frames(1);
        }
    }
    static void post(std::vector<LiveTrafficRecord> batch, uint32_t delay)
    {
        gf_trafficMailbox().post(batch, TrafficBatchKind::Live, delay, false);
    }
    nlohmann::json objects() { return trace("objects"); }
};

TEST_F(LiveTrafficTest, ACruiseAircraftIsCreatedFollowsItsSamplesAndLeavesWhenTheyStop)
{
    constexpr uint32_t hexid = 0x484123;
    lf_rememberLiveryOfHexid(hexid, kTitle);
    // The user is 100 NM away: beyond the range the aircraft is not flown on.
    sim.load({{"user", {{"lat", 50.6}, {"lon", 4.76}, {"alt_ft", 3000.0}}}});
    const auto track = kvr::standin::gf_cruiseTrack({52.3, 4.76}, 10000.0, 250.0, 90.0, 40.0);
    constexpr uint32_t delay = 10;
    int32_t firstPlay = -1;
    int32_t createdAt = -1;
    int32_t activeAt = -1;
    uint32_t objectId = 0;
    double worstM = 0.0;
    std::vector<double> lags;
    // The feed sends a batch every 2 s for 40 s; the engine runs on for 16 s more.
    for (int step = 0; step < 28; ++step) {
        if (step <= 20) {
            LiveTrafficRecord r = recordOf(track[static_cast<size_t>(step * 2)], hexid, "KLM1234");
            if (firstPlay < 0)
                firstPlay = engineClock.load() + static_cast<int32_t>(delay) * 100;
            post({r}, delay);
        }
        for (int t = 0; t < 200; ++t) {
            run(1);
            LiveAircraft* ac = live(hexid);
            if (createdAt < 0 && !objects().empty())
                createdAt = engineClock.load();
            if (ac && ac->sim.simState == SimState::active && activeAt < 0) {
                activeAt = engineClock.load();
                objectId = ac->sim.objectId;
            }
            // Once active, the simulator's object lies on the track, a steady
            // time behind the play time: the legs are flown at the samples'
            // speed from where the object was released.
            if (activeAt >= 0 && ac && ac->sim.simState == SimState::active && t % 50 == 0 &&
                engineClock.load() - activeAt > 100) {
                const double playSeconds = (engineClock.load() - firstPlay) / 100.0;
                const nlohmann::json o = objectRecord(objectId);
                const LatLon shown{o["lat"], o["lon"]};
                double bestM = 1e9, bestT = 0.0;
                for (double ts = 0.0; ts <= track.back().t; ts += 0.01) {
                    const double m = gf_distanceNm(trackAt(track, ts), shown) * 1852.0;
                    if (m < bestM)
                        bestM = m, bestT = ts;
                }
                worstM = std::max(worstM, bestM);
                lags.push_back(playSeconds - bestT);
            }
        }
    }
    ASSERT_GE(createdAt, firstPlay);
    EXPECT_LE(createdAt, firstPlay + 25); // the gate opens at the first play time, one creation per 20 ticks
    const nlohmann::json all = objects();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]["title"], kTitle);
    EXPECT_EQ(all[0]["tail"], "KLM1234");
    EXPECT_TRUE(all[0]["released"].get<bool>());
    for (const char* freeze : {"FREEZE_LATITUDE_LONGITUDE_SET", "FREEZE_ALTITUDE_SET", "FREEZE_ATTITUDE_SET"})
        EXPECT_FALSE(eventsOf(objectId, freeze).empty()) << freeze;
    // The first commands come 200 ticks after the object id.
    EXPECT_GE(activeAt - createdAt, 200);
    EXPECT_LE(activeAt - createdAt, 203);
    EXPECT_FALSE(eventsOf(objectId, "ENGINE_AUTO_START").empty());
    EXPECT_FALSE(eventsOf(objectId, "SPOILERS_SET").empty());
    EXPECT_FALSE(eventsOf(objectId, "LANDING_LIGHTS_SET").empty());
    ASSERT_GT(lags.size(), 20u);
    EXPECT_LT(worstM, 20.0) << "farthest from the track";
    const auto [minLag, maxLag] = std::minmax_element(lags.begin(), lags.end());
    EXPECT_GE(*minLag, 0.0);
    EXPECT_LE(*maxLag, 2.6); // the creation's 2 s and its pacing
    EXPECT_LT(*maxLag - *minLag, 0.2);
    // Frame after frame the object was written at new positions.
    size_t writes = 0;
    for (const auto& p : trace("positions"))
        if (p["object_id"] == objectId)
            ++writes;
    EXPECT_GT(writes, 100u);
    // The samples stopped at 40 s of track: beyond the range the aircraft is
    // removed when its stream runs dry, without flying on predictions.
    ASSERT_FALSE(all[0]["removed_frame"].is_null());
    EXPECT_EQ(all[0]["removed_by"], "client");
    EXPECT_EQ(live(hexid), nullptr);
    const nlohmann::json last = objectRecord(objectId);
    EXPECT_LT(gf_distanceNm(LatLon{track.back().lat, track.back().lon},
                            {last["lat"], last["lon"]}) * 1852.0, 300.0);
}

TEST_F(LiveTrafficTest, WithinRangeAnAircraftFliesOnPredictionsForAMinute)
{
    constexpr uint32_t hexid = 0x484124;
    lf_rememberLiveryOfHexid(hexid, kTitle);
    sim.load({{"user", {{"lat", 52.3}, {"lon", 4.9}, {"alt_ft", 3000.0}}}});
    const auto track = kvr::standin::gf_cruiseTrack({52.3, 4.76}, 10000.0, 250.0, 90.0, 12.0);
    for (int step = 0; step <= 6; ++step) {
        post({recordOf(track[static_cast<size_t>(step * 2)], hexid, "KLM1235")}, 5);
        run(200);
    }
    run(600);
    LiveAircraft* ac = live(hexid);
    ASSERT_NE(ac, nullptr);
    ASSERT_EQ(ac->sim.simState, SimState::active);
    ASSERT_GT(ac->stream.projection, 0);
    const uint32_t objectId = ac->sim.objectId;
    EXPECT_GT(ac->motion.lon, track.back().lon); // flies on along its heading
    // 20 predictions of 3 s: gone a minute after the last sample, not before.
    run(4500, false);
    ASSERT_NE(live(hexid), nullptr);
    EXPECT_EQ(live(hexid)->sim.simState, SimState::active);
    run(2000, false);
    run(20);
    EXPECT_EQ(live(hexid), nullptr);
    EXPECT_FALSE(objectRecord(objectId)["removed_frame"].is_null());
}

TEST_F(LiveTrafficTest, AnAircraftThatTurnedDuringAGapInReceptionFollowsItsReportsAgain)
{
    constexpr uint32_t hexid = 0x484125;
    lf_rememberLiveryOfHexid(hexid, kTitle);
    sim.load({{"user", {{"lat", 52.3}, {"lon", 4.9}, {"alt_ft", 3000.0}}}});
    // Downwind east at 160 kt, then out of sight from 30 s to 84 s while it
    // turns right onto base at 5 degrees a second from 32 s; the engine,
    // 30 s behind, flies it on east on predictions meanwhile, past where it
    // turned.
    const auto track = kvr::standin::TrackBuilder({52.3, 4.76}, 3000.0, 160.0, 90.0, false)
                           .fly(32.0)
                           .turnTo(180.0, 5.0)
                           .fly(200.0)
                           .points();
    ASSERT_GE(track.back().t, 240.0);
    constexpr uint32_t delay = 30;
    int32_t firstPlay = -1;
    for (int step = 0; step <= 120; ++step) {
        const double t = step * 2.0;
        if (t <= 30.0 || t >= 84.0) {
            if (firstPlay < 0)
                firstPlay = engineClock.load() + static_cast<int32_t>(delay) * 100;
            post({recordOf(track[static_cast<size_t>(t)], hexid, "KLM1236")}, delay);
        }
        run(200);
    }
    // The one simulator object all along: never removed and created again.
    ASSERT_EQ(objects().size(), 1u);
    EXPECT_TRUE(objects()[0]["removed_frame"].is_null());
    LiveAircraft* ac = live(hexid);
    ASSERT_NE(ac, nullptr);
    ASSERT_EQ(ac->sim.simState, SimState::active);
    EXPECT_LE(ac->stream.projection, 0); // on its reports again
    // The simulator shows it on the path it flew, catching up from where the
    // prediction had taken it: at most the lag limit behind its play time.
    const double playSeconds = (engineClock.load() - firstPlay) / 100.0;
    const nlohmann::json o = objectRecord(ac->sim.objectId);
    const LatLon shown{o["lat"], o["lon"]};
    double bestM = 1e9, bestT = 0.0;
    for (double ts = 0.0; ts <= track.back().t; ts += 0.05) {
        const double m = gf_distanceNm(trackAt(track, ts), shown) * 1852.0;
        if (m < bestM)
            bestM = m, bestT = ts;
    }
    EXPECT_LT(bestM, 100.0);
    EXPECT_GT(bestT, 84.0);
    EXPECT_LE(playSeconds - bestT, 27.5);
    
}

TEST_F(LiveTrafficTest, PacingHandsOnOneRemovalPerTenTicksAndOneCreationPerTwentyLiveFirst)
{
    TrafficState& s = gf_trafficState();
    for (uint32_t i = 0; i < 40; ++i) {
        s.removalQueue.push_back(1000 + i);
        CreateAcCmd live;
        live.callsign = "L" + std::to_string(i);
        live.title = kTitle;
        live.key = 0x400000 + i;
        s.liveCreations.push_back(live);
    }
    CreateAcCmd parked;
    parked.callsign = "S1*";
    parked.title = kTitle;
    parked.key = 1;
    s.staticCreations.push_back(parked);
    const size_t callsBefore = callCount();
    run(200, false);
    frames(2);
    const auto names = calls(callsBefore);
    EXPECT_EQ(kvr::test::countOf(names, "AIRemoveObject"), 20u);
    EXPECT_EQ(kvr::test::countOf(names, "AICreateNonATCAircraft"), 10u);
    EXPECT_EQ(s.liveCreations.size(), 30u);
    EXPECT_EQ(s.staticCreations.size(), 1u); // live creations first
    EXPECT_EQ(s.removalQueue.size(), 20u);
}

TEST_F(LiveTrafficTest, AnHourOfBusyTrafficNeverStallsTheMailbox)
{
    // 300 aircraft every 10 s for well over the minute that counts as a stall.
    TrafficMailbox& box = gf_trafficMailbox();
    static TrafficMailbox::Clock::time_point now{};
    now = {};
    box.now = [] { return now; };
    const auto track = kvr::standin::gf_cruiseTrack({52.0, 4.0}, 20000.0, 300.0, 45.0, 120.0);
    for (int batch = 0; batch < 9; ++batch) {
        std::vector<LiveTrafficRecord> records;
        for (uint32_t i = 0; i < 300; ++i) {
            TrackPoint p = track[static_cast<size_t>(batch * 10)];
            p.lat += i * 0.01;
            records.push_back(recordOf(p, 0x500000 + i, "KLM" + std::to_string(1000 + i)));
        }
        post(std::move(records), 30);
        now += std::chrono::seconds(10);
        run(1000, false);
    }
    box.now = &TrafficMailbox::Clock::now;
    EXPECT_FALSE(box.stalled);
    EXPECT_TRUE(box.deliveryOn.load());
    EXPECT_EQ(gf_trafficState().aircraft.liveCount(), 300u);
}

// ---- Matched beyond the matching depth: gone below the TCAS level ----------

class TcasCoverageTest : public LiveTrafficTest {
protected:
    static constexpr const char* kJumbo = "Boeing 747-400 Cargolux";
    void SetUp() override
    {
        LiveTrafficTest::SetUp();
        saved = gf_parametersSnapshot();
        gf_modifyParameters([](Parameters& p) {
            p.MATCHING_DEPTH = 3;
            p.TCAS_FL = 180;
            p.RANDOM = false;
        });
        auto& db = gf_modelDatabase();
        db.icaoModelCodes.insert("B744");
        db.heavy.insert(gf_modelCode2Id("B744"));
        LiveryScanResult = {livery("KLM", "A320", kTitle), livery("CLX", "B744", kJumbo)};
        std::filesystem::create_directories(g_outputErrorsFolder);
        ASSERT_TRUE(gf_writeScannedLiveries());
        gf_processScannedLiveries();
        // The user above the TCAS level as well: the livery choice may go to its last step.
        sim.load({{"user", {{"lat", 50.6}, {"lon", 4.76}, {"alt_ft", 25000.0}}}});
    }
    void TearDown() override
    {
        // Without a list to read the build leaves the matching tables empty.
        LiveryScanResult.clear();
        std::filesystem::remove(gf_liveriesScannedPath());
        EXPECT_THROW(gf_processScannedLiveries(), std::runtime_error);
        auto& db = gf_modelDatabase();
        db.icaoModelCodes.erase("B744");
        db.heavy.erase(gf_modelCode2Id("B744"));
        g_parameters.store(saved);
        LiveTrafficTest::TearDown();
    }
    static LiveryRecord livery(const char* airline, const char* model, const char* title)
    {
        LiveryRecord r;
        r.title = title;
        r.ids = {gf_airlineCode2Id(airline), 0, gf_modelCode2Id(model), 0, 0};
        return r;
    }
    std::shared_ptr<const Parameters> saved;
};

TEST_F(TcasCoverageTest, OnlyTheAircraftMatchedBeyondTheDepthLeavesBelowTheTcasLevelAndForgetsItsLivery)
{
    // MATCHING_DEPTH 3. Two aircraft descend side by side from 19 500 ft
    // through FL180 at 2000 ft/min: a KLM A320, matched by airline and type
    // (step 2), and a B744 of an airline without liveries, which only a
    // generic step fits (the type's livery of another airline), open above
    // the TCAS level only.
    constexpr uint32_t within = 0x484201;
    constexpr uint32_t beyond = 0x484202;
    auto descent = [](double lat) {
        auto track = kvr::standin::gf_cruiseTrack({lat, 4.0}, 19500.0, 250.0, 90.0, 150.0);
        for (TrackPoint& p : track) {
            p.altFt = 19500.0 - std::max(0.0, p.t - 20.0) * 2000.0 / 60.0;
            p.vsFpm = p.t < 20.0 ? 0.0 : -2000.0;
        }
        return track;
    };
    const auto a = descent(52.3);
    const auto b = descent(52.4);
    std::optional<double> removedAtFt;
    for (size_t second = 0; second <= 150; ++second) {
        if (second % 5 == 0) {
            LiveTrafficRecord rb = recordOf(b[second], beyond, "ABC2241");
            rb.ids = {gf_airlineCode2Id("ABC"), 0, gf_modelCode2Id("B744"), 0, 0};
            post({recordOf(a[second], within, "KLM1240"), rb}, 10);
        }
        run(100);
        // The main loop's duty once a second.
        const LiveAircraft* ac = live(beyond);
        const double shownFt = ac ? ac->motion.altitudeFt : 0.0;
        gf_removeTCASCoverageAcs();
        if (!removedAtFt && ac && ac->sim.simState == SimState::removingfromsim)
            removedAtFt = shownFt;
    }
    run(50);
    // Removed in the second it went below 17 000 ft, and not created again.
    ASSERT_TRUE(removedAtFt);
    EXPECT_LT(*removedAtFt, 17000.0);
    EXPECT_GT(*removedAtFt, 16950.0);
    const nlohmann::json all = objects();
    ASSERT_EQ(all.size(), 2u);
    for (const auto& o : all) {
        const bool isBeyond = o["tail"] == "ABC2241";
        EXPECT_EQ(o["title"], isBeyond ? kJumbo : kTitle);
        EXPECT_EQ(o["removed_frame"].is_null(), !isBeyond) << o["tail"];
    }
    EXPECT_FALSE(lf_rememberedLiveryOfHexid(beyond));
    ASSERT_NE(live(within), nullptr);
    EXPECT_EQ(live(within)->sim.simState, SimState::active);
    EXPECT_LT(live(within)->motion.altitudeFt, 16000.0);
    EXPECT_EQ(lf_rememberedLiveryOfHexid(within), std::optional<std::string_view>(kTitle));
}

// ---- Intake -----------------------------------------------------------------

class TrafficIntakeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvr::test::resetEngineState();
        auto& db = gf_modelDatabase();
        db.icaoModelCodes.insert("A320");
        db.large.insert(gf_modelCode2Id("A320"));
        engineClock = 0;
    }
    void TearDown() override
    {
        auto& db = gf_modelDatabase();
        db.icaoModelCodes.erase("A320");
        db.large.erase(gf_modelCode2Id("A320"));
        gf_setIntakeClockForTest(nullptr);
        gf_setTrafficDelivery(false);
        gf_trafficMailbox().reset();
        std::unique_lock lock(engineLock);
        CurrentAirport = {};
        lock.unlock();
        kvr::test::resetEngineState();
    }
    static TrackPoint at(double t, double lat, double lon, double alt, double kt, double track = 90.0)
    {
        TrackPoint p;
        p.t = t;
        p.lat = lat;
        p.lon = lon;
        p.altFt = alt;
        p.gsKt = kt;
        p.trackDeg = track;
        p.onGround = alt <= 0.0;
        return p;
    }
    static LiveAircraft* ac(uint32_t hexid) { return gf_findLiveAircraft(hexid); }
    kvr::test::SimLinkTestBase base{"intake"};
};

TEST_F(TrafficIntakeTest, TooCloseAndThinnedSamplesAreDropped)
{
    decodeMessage(recordOf(at(0, 52.3, 4.7, 0, 0), 0x4A0001, "KLM1"));
    ASSERT_NE(ac(0x4A0001), nullptr);
    EXPECT_EQ(ac(0x4A0001)->sim.simState, SimState::buffer);
    EXPECT_EQ(ac(0x4A0001)->phases.phase, FlightPhase::birth);
    decodeMessage(recordOf(at(0, 52.3, 4.7, 0, 0), 0x4A0001, "KLM1"));   // same time
    decodeMessage(recordOf(at(1.0, 52.3, 4.7, 0, 0), 0x4A0001, "KLM1")); // exactly 1 s
    decodeMessage(recordOf(at(15.0, 52.3, 4.7, 0, 0), 0x4A0001, "KLM1")); // standing: one per 15 s
    EXPECT_EQ(ac(0x4A0001)->stream.samples.size(), 1u);
    decodeMessage(recordOf(at(15.5, 52.3, 4.7, 0, 0), 0x4A0001, "KLM1"));
    EXPECT_EQ(ac(0x4A0001)->stream.samples.size(), 2u);
    // At 10 kt one sample per 20 m: 3.888 s.
    decodeMessage(recordOf(at(0, 52.4, 4.7, 0, 10), 0x4A0002, "KLM2"));
    decodeMessage(recordOf(at(3.85, 52.4, 4.7001, 0, 10), 0x4A0002, "KLM2"));
    decodeMessage(recordOf(at(3.9, 52.4, 4.7001, 0, 10), 0x4A0002, "KLM2"));
    EXPECT_EQ(ac(0x4A0002)->stream.samples.size(), 2u);
    // A second address under a callsign and model already shown is not taken.
    decodeMessage(recordOf(at(0, 52.4, 4.7, 0, 10), 0x4A0003, "KLM2"));
    EXPECT_EQ(ac(0x4A0003), nullptr);
    // Neither is an unknown type nor address 0.
    LiveTrafficRecord unknown = recordOf(at(0, 52.5, 4.7, 5000, 200), 0x4A0004, "KLM4");
    unknown.ids.model = gf_modelCode2Id("ZZZZ");
    decodeMessage(unknown);
    decodeMessage(recordOf(at(0, 52.5, 4.7, 5000, 200), 0, "KLM5"));
    EXPECT_EQ(gf_trafficState().aircraft.liveCount(), 2u);
}

// The intake's clock: every reading is `g_intakeStepNs` later than the one before.
int64_t g_intakeNs = 0;
int64_t g_intakeStepNs = 0;
int64_t intakeClock()
{
    return g_intakeNs += g_intakeStepNs;
}

TEST_F(TrafficIntakeTest, AtTwoThousandAircraftEveryRecordOfEveryBatchIsTakenWithinTheTickBudget)
{
    gf_setIntakeClockForTest(&intakeClock);
    TrafficMailbox& box = gf_trafficMailbox();
    gf_setTrafficDelivery(true);
    constexpr uint32_t n = 2000;
    const auto batchAt = [](double t) {
        std::vector<LiveTrafficRecord> batch;
        for (uint32_t i = 0; i < n; ++i) // 100 kt north, every record kept
            batch.push_back(recordOf(at(t, 50.0 + 0.01 * i + t * 100.0 / 3600.0 / 60.0, 4.0, 5000, 100, 0.0),
                                     0x600000 + i, "KLM" + std::to_string(i)));
        return batch;
    };
    // A slow tick: the budget ends the intake, the rest waits for the next.
    g_intakeStepNs = 250'000;
    auto batch = batchAt(0.0);
    box.post(batch, TrafficBatchKind::Live, 30, false);
    lf_takeMailboxRecords();
    const size_t left = box.slot.size();
    EXPECT_GT(left, 0u);
    EXPECT_LT(left, n - 2);
    EXPECT_EQ(gf_trafficState().aircraft.liveCount(), n - left);
    // Ordinary ticks: a batch every 2 s reaches every aircraft whole.
    g_intakeStepNs = 1'000;
    for (int b = 1; b <= 3; ++b) {
        batch = batchAt(2.0 * b);
        box.post(batch, TrafficBatchKind::Live, 30, false);
        for (int tick = 0; tick < 200; ++tick)
            lf_takeMailboxRecords();
        int behind = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const LiveAircraft* a = ac(0x600000 + i);
            behind += !a || a->stream.lastRecordTime != 1.7e9 + 2.0 * b;
        }
        EXPECT_EQ(behind, 0) << "batch " << b;
    }
    // A buffered slice goes before the live batch that waits beside it.
    auto slice = std::vector{recordOf(at(0, 40.0, 4.0, 5000, 100, 0.0), 0x6FFFFF, "KLM9999")};
    auto live = std::vector{recordOf(at(2, 40.0 + 100.0 / 1800.0 / 60.0, 4.0, 5000, 100, 0.0), 0x6FFFFF, "KLM9999")};
    box.post(live, TrafficBatchKind::Live, 30, false);
    box.post(slice, TrafficBatchKind::Buffered, 0, false);
    lf_takeMailboxRecords();
    ASSERT_NE(ac(0x6FFFFF), nullptr);
    EXPECT_EQ(ac(0x6FFFFF)->stream.samples.size(), 2u);
    EXPECT_EQ(ac(0x6FFFFF)->stream.lastRecordTime, 1.7e9 + 2.0);
}

TEST_F(TrafficIntakeTest, ReportsWithoutATypeContinueTheAircraftKnownByTheirAddress)
{
    // The feed keeps hexid and callsign but leaves the type (and here the
    // registration) out after the first reports of a pass.
    const auto typeless = [](double t, double lat, uint32_t hexid, const char* callsign) {
        LiveTrafficRecord r = recordOf(at(t, lat, 4.7, 30000, 450, 0.0), hexid, callsign);
        r.ids.model = kNoModel;
        r.registration.clear();
        return r;
    };
    constexpr uint32_t hexid = 0x4A0030;
    decodeMessage(recordOf(at(0, 52.30, 4.7, 30000, 450, 0.0), hexid, "KLM30"));
    for (int i = 1; i <= 3; ++i)
        decodeMessage(typeless(2.0 * i, 52.30 + 0.0042 * i, hexid, "KLM30"));
    LiveAircraft* a = ac(hexid);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->stream.samples.size(), 4u);
    EXPECT_EQ(a->stream.lastRecordTime, 1.7e9 + 6.0);
    EXPECT_EQ(gf_modelCodeText(a->identity.ids.model), "A320");
    EXPECT_EQ(a->identity.registration, "PH-M30");

    // Nothing known by the address: no aircraft, even when the model database
    // knows the registration the report carries.
    auto& db = gf_modelDatabase();
    db.records.push_back(DbaseRecord{"PH-M31", {gf_airlineCode2Id("KLM"), 0, gf_modelCode2Id("A320"), 0, 0}});
    std::sort(db.records.begin(), db.records.end(),
              [](const DbaseRecord& x, const DbaseRecord& y) { return x.registration < y.registration; });
    LiveTrafficRecord unknown = typeless(0, 52.5, 0x4A0031, "KLM31");
    unknown.registration = "PH-M31";
    decodeMessage(unknown);
    std::erase_if(db.records, [](const DbaseRecord& x) { return x.registration == "PH-M31"; });
    EXPECT_EQ(ac(0x4A0031), nullptr);
    EXPECT_EQ(gf_trafficState().aircraft.liveCount(), 1u);
}

TEST_F(TrafficIntakeTest, ANewAircraftAtTheAirportsHeightIsNotTaken)
{
    decodeMessage(recordOf(at(0, 52.3, 4.7, 250, 120), 0x4A0010, "KLM10"));
    EXPECT_NE(ac(0x4A0010), nullptr); // no current airport
    {
        std::unique_lock lock(engineLock);
        CurrentAirport = {0x45484148, 52.3, 4.76, 200.0};
    }
    decodeMessage(recordOf(at(0, 52.3, 4.7, 250, 120), 0x4A0011, "KLM11"));
    EXPECT_EQ(ac(0x4A0011), nullptr);
    decodeMessage(recordOf(at(0, 52.3, 4.7, 400, 120), 0x4A0012, "KLM12"));
    EXPECT_NE(ac(0x4A0012), nullptr);
}

TEST_F(TrafficIntakeTest, ATaxiJumpRemovesTheAircraftAndQuarantinesItsAddress)
{
    constexpr uint32_t hexid = 0x4A0020;
    decodeMessage(recordOf(at(0, 52.3, 4.7, 0, 4), hexid, "KLM20"));
    LiveAircraft* a = ac(hexid);
    ASSERT_NE(a, nullptr);
    a->phases.phase = FlightPhase::taxi;
    a->sim.simState = SimState::active;
    gf_trafficState().aircraft.setObjectId(*a, 321);
    // 100 m in 2 s while reporting 4 kt: 97 kt implied.
    const LatLon jumped = gf_destinationPoint({52.3, 4.7}, {0.0, 100.0 / 0.3048});
    decodeMessage(recordOf(at(2, jumped.latitude, jumped.longitude, 0, 4), hexid, "KLM20"));
    EXPECT_EQ(a->sim.simState, SimState::removingfromsim);
    ASSERT_EQ(gf_trafficState().removalQueue.size(), 1u);
    EXPECT_EQ(gf_trafficState().removalQueue.front(), 321u);
    ASSERT_TRUE(gf_quarantineMap().contains(hexid));
    // Gone from the engine, the address comes back only after three
    // consistent samples; without a callsign the log names its registration.
    gf_trafficState().aircraft.eraseLiveSwap(*a);
    LatLon p = jumped;
    for (int i = 1; i <= 3; ++i) {
        p = gf_destinationPoint(p, {0.0, 6.0});
        LiveTrafficRecord r = recordOf(at(2 + 2 * i, p.latitude, p.longitude, 0, 4), hexid, "KLM20");
        r.callsign.clear();
        r.registration = "PH-BXA";
        decodeMessage(r);
        EXPECT_EQ(ac(hexid) != nullptr, i >= 2) << i;
    }
    EXPECT_FALSE(gf_quarantineMap().contains(hexid));
    const std::string log = kvr::test::flushedLog();
    EXPECT_NE(log.find("PH-BXA ground track quarantine released after 3 consistent samples"), std::string::npos)
        << log;
}

TEST_F(TrafficIntakeTest, AMoveAfterStaleRepeatsOfAMovingAircraftsPositionIsTimedFromItsFirstReport)
{
    // The feed repeats a taxiing aircraft's position for 48 s while reporting
    // 34 kt, then shows it 600 m on: 20 kt since the position was new, 117 kt
    // since its last repeat. Repeats that report it standing (3 kt) leave the
    // move a jump.
    for (const double repeatKt : {34.0, 3.0}) {
        const uint32_t hexid = repeatKt > 5.0 ? 0x4A0021 : 0x4A0022;
        decodeMessage(recordOf(at(0, 52.3, 4.7, 0, repeatKt, 0.0), hexid, "KLM21"));
        LiveAircraft* a = ac(hexid);
        ASSERT_NE(a, nullptr);
        a->phases.phase = FlightPhase::taxi;
        a->sim.simState = SimState::active;
        gf_trafficState().aircraft.setObjectId(*a, 400 + hexid % 16);
        for (int t = 16; t <= 48; t += 16)
            decodeMessage(recordOf(at(t, 52.3, 4.7, 0, repeatKt, 0.0), hexid, "KLM21"));
        ASSERT_EQ(a->stream.lastRecordTime, 1.7e9 + 48.0);
        const LatLon on = gf_destinationPoint({52.3, 4.7}, {0.0, 600.0 / 0.3048});
        decodeMessage(recordOf(at(58, on.latitude, on.longitude, 0, 29, 0.0), hexid, "KLM21"));
        EXPECT_EQ(a->sim.simState == SimState::active, repeatKt > 5.0) << repeatKt;
        EXPECT_EQ(a->stream.lastRecordTime == 1.7e9 + 58.0, repeatKt > 5.0) << repeatKt;
        gf_trafficState().aircraft.eraseLiveSwap(*a);
    }
}

TEST_F(TrafficIntakeTest, AnonymousAircraftWithTheirTypeAsCallsignAreEachTheirOwnAircraft)
{
    // Three anonymous A320s: the type as callsign, no airline; two without
    // a registration, one with.
    const auto anonymous = [](uint32_t hexid, double lat, const char* registration, double t = 0.0) {
        LiveTrafficRecord r = recordOf(at(t, lat, 4.7, 30000, 450, 0.0), hexid, "A320");
        r.ids.airline = 0;
        r.registration = registration;
        return r;
    };
    decodeMessage(anonymous(0x1FB49FA6, 52.30, ""));
    decodeMessage(anonymous(0x1FB480A0, 52.40, ""));
    decodeMessage(anonymous(0x1FB48AD6, 52.50, "N550EM"));
    ASSERT_EQ(gf_trafficState().aircraft.liveCount(), 3u);
    EXPECT_EQ(ac(0x1FB49FA6)->identity.callsign, "1FB49FA6");
    EXPECT_EQ(ac(0x1FB49FA6)->identity.ids.airline, gf_airlineCode2Id("PVT"));
    EXPECT_EQ(ac(0x1FB480A0)->identity.callsign, "1FB480A0");
    EXPECT_EQ(ac(0x1FB48AD6)->identity.callsign, "N550EM");
    // Their next reports keep the callsign they were given.
    decodeMessage(anonymous(0x1FB49FA6, 52.32, "", 10.0));
    EXPECT_EQ(ac(0x1FB49FA6)->identity.callsign, "1FB49FA6");
    EXPECT_EQ(ac(0x1FB49FA6)->stream.samples.size(), 2u);
}

TEST_F(TrafficIntakeTest, RecordsWithATimeOrPositionThatIsNotANumberAreRefusedWithOneLine)
{
    constexpr uint32_t hexid = 0x4A0030;
    LiveTrafficRecord bad = recordOf(at(0, 52.3, 4.7, 5000, 200), hexid, "KLM30");
    bad.timestamp = std::nan("");
    decodeMessage(bad);
    EXPECT_EQ(ac(hexid), nullptr);
    decodeMessage(recordOf(at(0, 52.3, 4.7, 5000, 200), hexid, "KLM30"));
    ASSERT_NE(ac(hexid), nullptr);
    // A known aircraft takes no such record either: its thinning would be
    // lost with a time stamp that is not a number.
    bad = recordOf(at(5, 52.31, 4.7, 5000, 200), hexid, "KLM30");
    bad.timestamp = std::nan("");
    decodeMessage(bad);
    bad = recordOf(at(6, std::nan(""), 4.7, 5000, 200), hexid, "KLM30");
    decodeMessage(bad);
    EXPECT_EQ(ac(hexid)->stream.samples.size(), 1u);
    EXPECT_DOUBLE_EQ(ac(hexid)->stream.lastRecordTime, recordOf(at(0, 52.3, 4.7, 5000, 200), hexid, "KLM30").timestamp);
    decodeMessage(recordOf(at(8, 52.32, 4.7, 5000, 200), hexid, "KLM30"));
    EXPECT_EQ(ac(hexid)->stream.samples.size(), 2u);
    const std::string log = kvr::test::flushedLog();
    const std::string line = "refused: time stamp, position or altitude is not a number";
    ASSERT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find(line, log.find(line) + 1), std::string::npos) << log;
}

TEST_F(TrafficIntakeTest, PitchFollowsTheClampedVerticalSpeed)
{
    TrafficSample s;
    s.verticalSpeedFpm = 3000.0;
    EXPECT_NEAR(pitchFromVs(s, Category::Heavy) * 180.0 / std::numbers::pi, -11.8, 1e-9);
    s.verticalSpeedFpm = -6000.0;
    EXPECT_NEAR(pitchFromVs(s, Category::Large) * 180.0 / std::numbers::pi, -3.0 + 5.5, 1e-9);
    s.verticalSpeedFpm = std::nan("");
    EXPECT_NEAR(pitchFromVs(s, Category::Rotorcraft), 0.0, 1e-12);
    EXPECT_THROW(gf_maxClimbRateForCategory(static_cast<Category>(7)), std::out_of_range);
}

} // namespace

// ---- Reactions to the simulator's ground reports ------------------------------

namespace {

class GroundReportTest : public ::testing::Test {
protected:
    void SetUp() override { kvr::test::resetEngineState(); }
    void TearDown() override { kvr::test::resetEngineState(); }
    static SimEvent ground(uint32_t objectId, double groundFt, double aglFt, bool onGround)
    {
        return SimEvent{objectId, onGround ? 1u : 0u, 0, SimEventKind::GroundData, groundFt, aglFt};
    }
    LiveAircraft& add(LiveAircraft ac, uint32_t objectId)
    {
        ac.sim.simState = SimState::active;
        LiveAircraft& stored = gf_trafficState().aircraft.addLive(std::move(ac));
        gf_trafficState().aircraft.setObjectId(stored, objectId);
        return stored;
    }
    kvr::test::SimLinkTestBase base{"ground"};
};

TEST_F(GroundReportTest, TheRollOutIsCalibratedFromTheFirstGroundReport)
{
    LiveAircraft& ac = add(kvr::test::makeLive(0x4C0001, "KLM30", false, 52.3, 4.76, 14.0), 50);
    ac.phases.phase = FlightPhase::landing_roll;
    ac.identity.cgFt = 0.0; // not valid
    std::string source;
    applySimGroundReport(ac, ground(50, 10.0, 0.0, true), source); // AGL 0: the altitude difference counts
    EXPECT_DOUBLE_EQ(ac.touchdown.calibrationFt, 4.0);
    EXPECT_DOUBLE_EQ(ac.motion.altitudeFt, 14.0);
    applySimGroundReport(ac, ground(50, 12.0, 3.0, true), source);
    EXPECT_DOUBLE_EQ(ac.motion.altitudeFt, 16.0);
    EXPECT_DOUBLE_EQ(ac.reports.lastSimAglFt, 3.0);

    // A valid CG blends from the calibration to the CG as the nose comes down.
    ac.identity.cgFt = 8.0;
    ac.identity.staticPitch = 0.0;
    ac.touchdown.calibrationPitch = -0.1;
    ac.motion.pitch = -0.05;
    applySimGroundReport(ac, ground(50, 10.0, 3.0, true), source);
    EXPECT_DOUBLE_EQ(ac.motion.altitudeFt, (4.0 - 8.0) * 0.5 + 8.0 + 10.0);

    // Taxiing without a calibration and a valid CG: the simulator's ground.
    LiveAircraft& taxi = add(kvr::test::makeLive(0x4C0002, "KLM31", false, 52.3, 4.77, 30.0), 51);
    taxi.phases.phase = FlightPhase::taxi;
    taxi.identity.cgFt = 40.0;
    applySimGroundReport(taxi, ground(51, -11.0, 2.0, true), source);
    EXPECT_DOUBLE_EQ(taxi.motion.altitudeFt, -11.0);
    EXPECT_TRUE(std::isnan(taxi.touchdown.calibrationFt));
}

TEST_F(GroundReportTest, ANewApproachForgetsTheLastTouchDown)
{
    LiveAircraft& ac = add(kvr::test::makeLive(0x4C0004, "KLM33", true, 52.3, 4.76, 3000.0), 52);
    ac.phases.phase = FlightPhase::flying;
    // What the last landing left: its calibration, latch, flare and runway.
    ac.touchdown.calibrationFt = 4.0;
    ac.touchdown.calibrationPitch = -0.1;
    ac.touchdown.calibrationFailed = 1;
    ac.touchdown.flareStage = 2;
    ac.flight.landing.runway.valid = true;
    ac.setPhase(FlightPhase::landing);
    EXPECT_TRUE(std::isnan(ac.touchdown.calibrationFt));
    EXPECT_EQ(ac.touchdown.calibrationFailed, 0);
    EXPECT_EQ(ac.touchdown.flareStage, 0);
    EXPECT_FALSE(ac.flight.landing.runway.valid);
    // The roll-out calibrates afresh from its own first ground report.
    ac.setPhase(FlightPhase::landing_roll);
    ac.phases.groundMode = 1;
    ac.motion.altitudeFt = 17.0;
    ac.identity.cgFt = 0.0;
    std::string source;
    applySimGroundReport(ac, ground(52, 10.0, 0.0, true), source);
    EXPECT_DOUBLE_EQ(ac.touchdown.calibrationFt, 7.0);
}

TEST_F(GroundReportTest, TouchDownEntersTheLandingRoll)
{
    LiveAircraft& ac = add(kvr::test::makeLive(0x4C0003, "KLM32", true, 52.3, 4.76, 60.0), 60);
    ac.phases.phase = FlightPhase::landing;
    ac.motion.pitch = -0.05;
    ac.identity.staticPitch = 0.01;
    ac.identity.reverseThrust = 1;
    gf_takeCommandQueues();
    gf_pushSimEvent(ground(60, 0.0, 5.0, true));
    lf_processSimEvents();
    LiveAircraft* after = gf_findLiveAircraft(0x4C0003);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->phases.phase, FlightPhase::landing_roll);
    EXPECT_EQ(after->phases.previousPhase, FlightPhase::landing);
    EXPECT_TRUE(after->phases.groundMode);
    EXPECT_DOUBLE_EQ(after->touchdown.rolloutPitchStep, 0.06); // no on-ground slots: at once
    // No climb ahead: the stream is on the ground and watched for a go-around.
    EXPECT_FALSE(after->stream.samples.front().airborne);
    EXPECT_TRUE(after->remembered.goAroundWatch);
    const SimCommandQueues q = gf_takeCommandQueues();
    ASSERT_EQ(q.e.size(), 1u);
    EXPECT_EQ(q.e[0].objectId, 60u);
    EXPECT_EQ(q.e[0].reverse, 1);
    EXPECT_TRUE(std::any_of(q.a.begin(), q.a.end(),
                            [](const SimCommand& c) { return c.eventId == SimEventId::SPOILERS_SET; }));
    ASSERT_EQ(gf_trafficState().newLiveHexids.size(), 1u);
    const std::string text = kvr::test::flushedLog();
    EXPECT_NE(text.find("KLM32 HB-KLM"), std::string::npos);
    EXPECT_NE(text.find("touch down at ?"), std::string::npos) << text;
    // A second report on the ground changes the phase no more.
    gf_pushSimEvent(ground(60, 0.0, 5.0, true));
    lf_processSimEvents();
    EXPECT_EQ(gf_trafficState().newLiveHexids.size(), 1u);
}

} // namespace

// ---- The spawn gate -------------------------------------------------------------

namespace {

class SpawnGateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvr::test::resetEngineState();
        auto& db = gf_modelDatabase();
        db.icaoModelCodes.insert("A320");
        db.large.insert(gf_modelCode2Id("A320"));
        saved = gf_parametersSnapshot();
        gf_clearLiveryMemory();
        engineClock = 1000;
    }
    void TearDown() override
    {
        g_parameters.store(saved);
        auto& db = gf_modelDatabase();
        db.icaoModelCodes.erase("A320");
        db.large.erase(gf_modelCode2Id("A320"));
        {
            std::unique_lock lock(engineLock);
            CurrentAirport = {};
        }
        gf_clearLiveryMemory();
        gf_clearNoMatchList();
        kvr::test::resetEngineState();
        engineClock = 0;
    }
    static void setMaxLive(int32_t n)
    {
        auto p = std::make_shared<Parameters>(*gf_parametersSnapshot());
        p->MAX_LIVE_SEL = n;
        p->COLLISION_USER_AIR = false;
        g_parameters.store(p);
    }
    // An aircraft in buffer with `n` samples climbing from `alt`, all of
    // them due (the feed was late).
    static LiveAircraft& born(uint32_t hexid, double alt, int n = 4)
    {
        AircraftBase base;
        base.identity.hexid = hexid;
        base.identity.callsign = "KLM" + std::to_string(hexid & 0xFFF);
        base.identity.registration = "PH-ABC";
        base.identity.category = Category::Large;
        base.identity.ids = {gf_airlineCode2Id("KLM"), 0, gf_modelCode2Id("A320"), 0, 0};
        TrafficSample s;
        s.lat = 52.3;
        s.lon = 4.7;
        s.altitudeFt = alt;
        s.speedKt = 160.0;
        s.airborne = 1;
        s.playTime = engineClock.load() - 100;
        LiveAircraft ac(s, base, 1.7e9);
        for (int i = 1; i < n; ++i) {
            s.lat += 0.005;
            s.altitudeFt += 100.0;
            s.playTime += 10;
            ac.stream.samples.push_back(s);
        }
        return gf_trafficState().aircraft.addLive(std::move(ac));
    }
    std::shared_ptr<const Parameters> saved;
    kvr::test::SimLinkTestBase base{"spawn"};
};

TEST_F(SpawnGateTest, TooLowAboveTheAirportTheSamplesAreConsumedUntilOneIsHigher)
{
    setMaxLive(500);
    {
        std::unique_lock lock(engineLock);
        CurrentAirport = {0x45484148, 52.3, 4.76, 100.0};
    }
    lf_rememberLiveryOfHexid(0x4D0001, kTitle);
    LiveAircraft& ac = born(0x4D0001, 750.0); // 650 ft above the airport, then 750
    lf_spawnGate(ac);
    EXPECT_EQ(ac.stream.samples.size(), 3u);
    EXPECT_EQ(ac.sim.simState, SimState::buffer);
    lf_spawnGate(ac);
    EXPECT_EQ(ac.sim.simState, SimState::adding2sim);
    EXPECT_EQ(ac.phases.phase, FlightPhase::flying);
    EXPECT_EQ(ac.identity.liveryTitle, kTitle);
    EXPECT_EQ(gf_trafficState().addingStack, std::vector<uint32_t>{0x4D0001});
    EXPECT_DOUBLE_EQ(ac.motion.altitudeFt, 850.0);
    EXPECT_NEAR(ac.motion.heading, 0.0, 1e-6); // toward the next sample, due north
}

TEST_F(SpawnGateTest, ARespawnedAircraftKeepsItsOwnHeadingAndOneMeetingTheUserIsHeldNotRemoved)
{
    setMaxLive(500);
    // Created again after a livery respawn: the heading it had, not the
    // bearing to its next sample (due north).
    lf_rememberLiveryOfHexid(0x4D0006, kTitle);
    LiveAircraft& respawned = born(0x4D0006, 5000.0);
    respawned.holds.respawnHeading = std::numbers::pi / 2.0;
    lf_spawnGate(respawned);
    EXPECT_EQ(respawned.sim.simState, SimState::adding2sim);
    EXPECT_NEAR(respawned.motion.heading, std::numbers::pi / 2.0, 1e-12);

    // Close ahead of the airborne user at its level: held back, not erased.
    auto p = std::make_shared<Parameters>(*gf_parametersSnapshot());
    p->COLLISION_USER_AIR = true;
    g_parameters.store(p);
    UserAcPosition user;
    user.latitude = 52.295;
    user.longitude = 4.7;
    user.altitude = 5000.0;
    user.altitudeAboveGround = 8000.0;
    gf_publishUserAcPosition(user);
    lf_rememberLiveryOfHexid(0x4D0007, kTitle);
    LiveAircraft& met = born(0x4D0007, 5000.0);
    lf_spawnGate(met);
    gf_publishUserAcPosition(UserAcPosition{});
    EXPECT_EQ(met.sim.simState, SimState::buffer);
    EXPECT_EQ(met.sim.removeFlag, 0);
    EXPECT_EQ(met.sim.removeWhenCreated, 0);
    EXPECT_EQ(met.phases.heldForUser, 1);
    EXPECT_EQ(met.stream.samples.size(), 3u);
    EXPECT_TRUE(gf_trafficState().removalQueue.empty());
}

TEST_F(SpawnGateTest, AFullCreationQueueAndTheLiveLimitHoldNewAircraftBack)
{
    setMaxLive(500);
    lf_rememberLiveryOfHexid(0x4D0002, kTitle);
    LiveAircraft& ac = born(0x4D0002, 5000.0);
    gf_trafficState().liveCreations.resize(11);
    lf_spawnGate(ac);
    lf_spawnGate(ac);
    EXPECT_EQ(ac.stream.samples.size(), 2u);
    EXPECT_EQ(ac.sim.simState, SimState::buffer);
    gf_trafficState().liveCreations.resize(10);
    lf_spawnGate(ac);
    EXPECT_EQ(ac.sim.simState, SimState::adding2sim);

    setMaxLive(0);
    LiveAircraft& none = born(0x4D0003, 5000.0);
    lf_spawnGate(none);
    EXPECT_TRUE(none.sim.removeFlag);

    // Without a livery the aircraft goes and is listed once as unmatched.
    setMaxLive(500);
    LiveAircraft& unmatched = born(0x4D0004, 5000.0);
    lf_spawnGate(unmatched);
    EXPECT_TRUE(unmatched.sim.removeFlag);
    EXPECT_EQ(gf_noMatchCount(), 1u);
    // One that the livery choice once matched beyond the matching depth goes
    // without an entry: it is no failure of the matching.
    LiveAircraft& deep = born(0x4D0008, 5000.0);
    deep.identity.matchedBeyondDepth = 1;
    deep.identity.registration = "PH-DEF";
    lf_spawnGate(deep);
    EXPECT_TRUE(deep.sim.removeFlag);
    EXPECT_EQ(gf_noMatchCount(), 1u);
    // A single sample due is not enough to fly: the aircraft goes.
    LiveAircraft& single = born(0x4D0005, 5000.0, 1);
    lf_spawnGate(single);
    EXPECT_TRUE(single.sim.removeFlag);
    EXPECT_TRUE(single.stream.samples.empty());
}

TEST_F(SpawnGateTest, AnAircraftRemovedForTheParkedLimitStaysAwayWhileItsRecordsStayAtItsStand)
{
    setMaxLive(500);
    {
        std::unique_lock lock(engineLock);
        CurrentAirport = {0x45484148, 52.3, 4.76, 0.0};
    }
    Stand b1;
    b1.id = 1;
    b1.name = "B1";
    b1.lat = 52.3;
    b1.lon = 4.76;
    b1.radius = 0.02;
    b1.type = StandType::GATE_MEDIUM;
    gf_setStandTable({b1});
    gf_standTable().staticQuota = 1;
    constexpr uint32_t kHexid = 0x4D0010;
    lf_rememberLiveryOfHexid(kHexid, kTitle);
    // Its records at B1, standing or moving at `speedKt`.
    auto atB1 = [](double speedKt) -> LiveAircraft& {
        LiveAircraft& ac = born(kHexid, 0.0, 3);
        ac.identity.standSearchNm = 0.03;
        for (TrafficSample& s : ac.stream.samples) {
            s = TrafficSample{52.3, 4.76};
            s.speedKt = speedKt;
            s.stationary = speedKt == 0.0 ? 1 : 0;
            s.playTime = engineClock.load() - 100;
        }
        return ac;
    };
    LiveAircraft& first = atB1(0.0);
    lf_spawnGate(first);
    ASSERT_EQ(first.phases.phase, FlightPhase::parked);
    first.sim.simState = SimState::active;
    gf_trafficState().aircraft.setObjectId(first, 40);
    gf_enforceParkedLimit(1); // another aircraft parks: one too many
    ASSERT_EQ(first.sim.simState, SimState::removingfromsim);
    lf_eraseLiveAircraft(first);

    // The records keep it at B1: it is not created again.
    LiveAircraft& again = atB1(0.0);
    lf_spawnGate(again);
    EXPECT_TRUE(again.sim.removeFlag);
    EXPECT_EQ(again.sim.simState, SimState::buffer);
    EXPECT_EQ(again.stand.standId, 0);
    lf_eraseLiveAircraft(again);

    // Once it moves it comes back, and the hold is gone.
    LiveAircraft& moving = atB1(10.0);
    lf_spawnGate(moving);
    EXPECT_EQ(moving.sim.simState, SimState::adding2sim);
    EXPECT_EQ(moving.phases.phase, FlightPhase::taxi);
    EXPECT_FALSE(gf_heldForParkedLimit(kHexid, 1));
    gf_standTable().staticQuota = -1;
}

} // namespace
