// Landed aircraft taxiing in to the stands of the current airport, against
// the stand-in simulator in manual frames: the hand-over to parking, the
// path onto the stand, the arrival and the parked timers.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>

#include "airports/airport_database.h"
#include "core/geodesy.h"
#include "core/settings_snapshot.h"
#include "engine/geometry.h"
#include "engine/per_tick_update.h"
#include "engine/stand_arrival.h"
#include "engine/live_at_stands.h"
#include "feed/traffic_mailbox.h"
#include "parking/parking_runs.h"
#include "stands/stand_table.h"
#include "tests/engine/engine_fixture.h"
#include "tests/engine/runway_traffic_fixture.h"
#include "tests/support/track_records.h"

namespace {

constexpr double kLat = 52.3;
constexpr double kLon = 4.76;

// The point `north` and `east` metres from the airport's reference point.
LatLon at(double north, double east)
{
    return {kLat + north / 111120.0, kLon + east / (111120.0 * std::cos(kLat * std::numbers::pi / 180.0))};
}

// The current airport with gates facing north: A1, A2 60 m east, A3 200 m
// east; the RANDOM setting off.
struct AirportWithGates {
    AirportWithGates()
    {
        gf_modifyParameters([](Parameters& p) { p.RANDOM = false; });
        std::unique_lock lock(engineLock);
        CurrentAirport = CurrentAirportRecord{0x4548414D, kLat, kLon, 0.0, IataCode()};
    }
    ~AirportWithGates()
    {
        gf_clearStandTable();
        gf_modifyParameters([](Parameters& p) { p.RANDOM = true; });
        std::unique_lock lock(engineLock);
        CurrentAirport = CurrentAirportRecord{};
    }
    // After each engine reset, which empties the stand table too.
    static void setStands()
    {
        std::vector<Stand> stands(3);
        const double east[] = {0.0, 60.0, 200.0};
        for (int32_t i = 0; i < 3; ++i) {
            const LatLon p = at(0, east[i]);
            Stand& s = stands[static_cast<size_t>(i)];
            s.name = "A" + std::to_string(i + 1);
            s.lat = p.latitude;
            s.lon = p.longitude;
            s.radius = 0.02;
            s.id = i + 1;
            s.type = StandType::GATE_MEDIUM;
        }
        gf_setStandTable(std::move(stands));
    }
};

class StandArrivalTest : public kvr::test::EngineSimTest {
protected:
    void SetUp() override
    {
        EngineSimTest::SetUp();
        engineClock = 0;
        sim.load({{"user", {{"lat", 50.6}, {"lon", 4.76}, {"alt_ft", 3000.0}}}});
        AirportWithGates::setStands();
    }
    void TearDown() override
    {
        EngineSimTest::TearDown();
        engineClock = 0;
    }
    // A landed aircraft taxiing in; its samples from here on: one every 5 s.
    LiveAircraft& arrival(uint32_t hexid, const std::string& callsign, std::vector<std::pair<LatLon, double>> path)
    {
        LiveAircraft ac = kvr::test::makeLive(hexid, callsign, false, path[0].first.latitude,
                                              path[0].first.longitude, 0.0);
        ac.identity.radius = ac.identity.collisionRadius = 0.0097;
        ac.identity.standSearchNm = 0.05;
        ac.identity.standSpeedKt = 10.0;
        ac.identity.baseTurnRate = 0.01;
        ac.phases.phase = FlightPhase::taxi;
        ac.phases.previousPhase = FlightPhase::landing_roll;
        for (size_t i = 1; i < path.size(); ++i) {
            TrafficSample s = ac.stream.samples.back();
            s.lat = path[i].first.latitude;
            s.lon = path[i].first.longitude;
            s.speedKt = path[i].second;
            s.playTime += 500;
            ac.stream.samples.push_back(s);
        }
        LiveAircraft& stored = gf_trafficState().aircraft.addLive(std::move(ac));
        create(stored);
        return stored;
    }
    // The main loop's tick with its parked timers, then one frame.
    void run(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            lf_handleAddingStack();
            lf_runParkedTimers();
            frames(1);
        }
    }
    // {engine clock, data} of each event `name` of the object.
    std::vector<std::pair<int64_t, int>> clocksOf(uint32_t objectId, const std::string& name)
    {
        std::vector<std::pair<int64_t, int>> out;
        for (const auto& e : eventsOf(objectId, name))
            out.emplace_back(e["frame"].get<int64_t>() - frameOffset, e["data"].get<int>());
        return out;
    }
    int64_t frameOffset = 0;
    AirportWithGates airport;
};

TEST_F(StandArrivalTest, LandedAircraftTaxiInWinStandsAndParkWithEnginesOff)
{
    StaticAircraft& parked = gf_trafficState().aircraft.addStatic(kvr::test::makeStatic("KLM77*", 1));
    create(parked);
    // KLM1 stops nearest A1, DLH2 beside it nearest A2.
    LiveAircraft& klm = arrival(0x484001, "KLM1", {{at(-70, 0), 12.0}, {at(-40, 0), 8.0}, {at(-14, 0), 0.0}});
    LiveAircraft& dlh = arrival(0x484002, "DLH2", {{at(-70, 50), 12.0}, {at(-40, 50), 6.0}, {at(-10, 45), 0.0}});
    tick(202);
    ASSERT_EQ(klm.sim.simState, SimState::active);
    const uint32_t staticId = gf_trafficState().aircraft.statics()[0].sim.objectId;
    const uint32_t klmId = klm.sim.objectId;
    for (LiveAircraft* ac : {&klm, &dlh})
        for (size_t i = 0; i < 3; ++i)
            ac->stream.samples[i].playTime = engineClock.load() + 500 * static_cast<int32_t>(i);
    frameOffset = trace("frame").get<int64_t>() - engineClock.load();
    run(1);
    EXPECT_EQ(klm.phases.phase, FlightPhase::parking);
    EXPECT_EQ(klm.stand.standId, 1);
    EXPECT_EQ(dlh.phases.phase, FlightPhase::parking);
    EXPECT_EQ(dlh.stand.standId, 2);
    // The path: lead-in 10 m before A1 on its axis, A1 itself, the stop.
    ASSERT_EQ(klm.stream.samples.size(), 3u);
    EXPECT_NEAR(gf_distanceNm({klm.stream.samples[0].lat, klm.stream.samples[0].lon}, at(-10, 0)) * 1852.0, 0.0, 0.05);
    EXPECT_NEAR(gf_distanceNm({klm.stream.samples[1].lat, klm.stream.samples[1].lon}, at(0, 0)) * 1852.0, 0.0, 0.05);
    EXPECT_EQ(klm.stream.samples[2].playTime - klm.stream.samples[1].playTime, 50);

    int64_t parkedAt = -1;
    for (int i = 0; i < 3000 && parkedAt < 0; ++i) {
        run(1);
        if (klm.phases.phase == FlightPhase::parked)
            parkedAt = engineClock.load();
    }
    ASSERT_GE(parkedAt, 0);
    run(3100);
    EXPECT_EQ(dlh.phases.phase, FlightPhase::parked);
    const nlohmann::json shown = objectRecord(klmId);
    EXPECT_LT(gf_distanceNm({shown["lat"], shown["lon"]}, at(0, 0)) * 1852.0, 1.0);
    const std::string text = log();
    EXPECT_NE(text.find("A1            : KLM1     arrived at stand\n"), std::string::npos) << text;
    EXPECT_NE(text.find("A2            : DLH2     arrived at stand\n"), std::string::npos);
    // The static on A1 made way and left the simulator.
    EXPECT_NE(text.find("A1            : KLM77*    makes way for KLM1 HB-KLM"), std::string::npos);
    EXPECT_EQ(objectRecord(staticId)["removed_by"], "client");
    EXPECT_TRUE(gf_trafficState().aircraft.statics().empty());
    // Parked timers, RANDOM off: engines off 10 s after the stop sample, the
    // fixed light set at 15 s, the settings' light set (taxi light off) at 30 s.
    const auto shutdown = clocksOf(klmId, "ENGINE_AUTO_SHUTDOWN");
    ASSERT_EQ(shutdown.size(), 1u);
    EXPECT_NEAR(shutdown[0].first, parkedAt + 1000, 3);
    const auto taxiLights = clocksOf(klmId, "TAXI_LIGHTS_SET");
    ASSERT_GE(taxiLights.size(), 3u);
    EXPECT_NEAR(taxiLights[taxiLights.size() - 2].first, parkedAt + 1500, 3);
    EXPECT_EQ(taxiLights[taxiLights.size() - 2].second, 1);
    EXPECT_NEAR(taxiLights.back().first, parkedAt + 3000, 3);
    EXPECT_EQ(taxiLights.back().second, 0);
    EXPECT_EQ(gf_countLiveParked(false), 2u);
}

TEST_F(StandArrivalTest, AHeldAircraftThatAGroundMoverReachesLeavesOnceAPassAndOnlyIt)
{
    // In one latitude band: two held aircraft 200 m apart, a mover 20 m
    // north of the first (itself held), a mover 200 m east of the second.
    LiveAircraft& held = arrival(0x484011, "KLM11", {{at(-300, 0), 8.0}, {at(-250, 0), 8.0}});
    LiveAircraft& away = arrival(0x484012, "KLM12", {{at(-300, 200), 8.0}, {at(-250, 200), 8.0}});
    LiveAircraft& east = arrival(0x484013, "DLH13", {{at(-300, 400), 8.0}, {at(-250, 400), 8.0}});
    LiveAircraft& nearby = arrival(0x484014, "DLH14", {{at(-280, 0), 8.0}, {at(-230, 0), 8.0}});
    tick(202);
    for (LiveAircraft* ac : {&held, &away, &east, &nearby}) {
        ASSERT_EQ(ac->sim.simState, SimState::active);
        for (TrafficSample& s : ac->stream.samples)
            s.playTime = engineClock.load() + 10000;
        ac->push.holding = ac != &east;
    }
    gf_resetTickCounters();
    run(20);
    EXPECT_EQ(held.sim.simState, SimState::removingfromsim);
    // The first removal made `held` stop moving: `nearby` stays.
    EXPECT_EQ(nearby.sim.simState, SimState::active);
    EXPECT_EQ(away.sim.simState, SimState::active);
    EXPECT_EQ(away.push.holding, 1);
    EXPECT_EQ(east.sim.simState, SimState::active);
}

// Live aircraft reported standing by the stands, through the feed.
class StandHoldersTest : public StandArrivalTest {
protected:
    void SetUp() override
    {
        StandArrivalTest::SetUp();
        kvr::test::startLiveTraffic();
        lf_rememberLiveryOfHexid(kArrived, "Airbus A320-200 KLM");
        lf_rememberLiveryOfHexid(kLeaving, "Airbus A320-200 KLM");
    }
    void TearDown() override
    {
        kvr::test::stopLiveTraffic();
        StandArrivalTest::TearDown();
    }
    // The report of an aircraft standing at `p`, `t` seconds into the run,
    // delivered 30 s ahead of its play time.
    static void postStanding(uint32_t hexid, const std::string& callsign, LatLon p, double t)
    {
        kvr::standin::TrackPoint point;
        point.t = t;
        point.lat = p.latitude;
        point.lon = p.longitude;
        point.onGround = true;
        std::vector<LiveTrafficRecord> batch{kvr::test::trackRecord(point, hexid, callsign)};
        gf_trafficMailbox().post(batch, TrafficBatchKind::Live, 30, false);
    }
    // KLM101, arrived, stands 2 m short of A1; KLM202, about to leave, 13 m
    // east of it, nearest A1 as well. The feed reports them in turns, each
    // every 20 s, for six minutes.
    void standInTurns()
    {
        for (int t = 0; t < 360; t += 10) {
            if (t % 20 == 0)
                postStanding(kArrived, "KLM101", at(-2, 0), t);
            else
                postStanding(kLeaving, "KLM202", at(-2, 13), t);
            runQuickly(1000);
        }
    }
    // The main loop's ticks with a simulator frame every fourth.
    void runQuickly(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            lf_handleAddingStack();
            lf_runParkedTimers();
            if (i % 4 == 0)
                frames(1);
        }
    }
    // The simulator's creations by callsign.
    std::map<std::string, int> creations()
    {
        std::map<std::string, int> n;
        for (const auto& o : trace("objects"))
            ++n[o["tail"].get<std::string>()];
        return n;
    }
    static constexpr uint32_t kArrived = 0x484101;
    static constexpr uint32_t kLeaving = 0x484202;
};

TEST_F(StandHoldersTest, TwoAircraftReportedInTurnsAtOneStandAreEachCreatedOnce)
{
    // No other stand within KLM202's reach: it stands where its reports put it.
    standInTurns();
    EXPECT_EQ(creations(), (std::map<std::string, int>{{"KLM101", 1}, {"KLM202", 1}}));
    const LiveAircraft* arrived = live(kArrived);
    const LiveAircraft* leaving = live(kLeaving);
    ASSERT_TRUE(arrived && leaving);
    EXPECT_EQ(arrived->sim.simState, SimState::active);
    EXPECT_EQ(arrived->phases.phase, FlightPhase::parked);
    EXPECT_EQ(arrived->stand.standId, 1);
    EXPECT_EQ(leaving->sim.simState, SimState::active);
    EXPECT_EQ(leaving->stand.standId, 0);
    const nlohmann::json shown = objectRecord(leaving->sim.objectId);
    EXPECT_LT(gf_distanceNm({shown["lat"], shown["lon"]}, at(-2, 13)) * 1852.0, 3.0);

    // KLM101's reports stop. An aircraft taxiing in after landing stops at A1:
    // KLM101 makes way and the arrival parks there.
    const uint32_t arrivedId = arrived->sim.objectId;
    constexpr uint32_t kArrival = 0x484303;
    arrival(kArrival, "DLH3", {{at(-70, 0), 12.0}, {at(-40, 0), 8.0}, {at(-14, 0), 0.0}});
    tick(202);
    LiveAircraft* dlh = live(kArrival);
    ASSERT_TRUE(dlh && dlh->sim.simState == SimState::active);
    for (size_t i = 0; i < dlh->stream.samples.size(); ++i)
        dlh->stream.samples[i].playTime = engineClock.load() + 500 * static_cast<int32_t>(i);
    for (int t = 362; t < 422; t += 20) {
        postStanding(kLeaving, "KLM202", at(-2, 13), t);
        runQuickly(2000);
    }
    EXPECT_NE(log().find("A1            : KLM101   removed, DLH3 wants to park there\n"), std::string::npos);
    EXPECT_EQ(objectRecord(arrivedId)["removed_by"], "client");
    EXPECT_EQ(live(kArrived), nullptr);
    dlh = live(kArrival);
    ASSERT_NE(dlh, nullptr);
    EXPECT_EQ(dlh->stand.standId, 1);
    EXPECT_EQ(dlh->phases.phase, FlightPhase::parked);
    EXPECT_EQ(creations(), (std::map<std::string, int>{{"DLH3", 1}, {"KLM101", 1}, {"KLM202", 1}}));
}

TEST_F(StandHoldersTest, TheSecondAircraftAtAHeldStandTakesAFreeOneWithinReach)
{
    std::vector<Stand> stands = gf_standTable().stands;
    Stand a4 = stands[0];
    const LatLon p = at(0, 30);
    a4.name = "A4";
    a4.id = 4;
    a4.lat = p.latitude;
    a4.lon = p.longitude;
    stands.push_back(a4);
    gf_setStandTable(std::move(stands));
    standInTurns();
    EXPECT_EQ(creations(), (std::map<std::string, int>{{"KLM101", 1}, {"KLM202", 1}}));
    ASSERT_TRUE(live(kArrived) && live(kLeaving));
    EXPECT_EQ(live(kArrived)->stand.standId, 1);
    EXPECT_EQ(live(kLeaving)->stand.standId, 4);
    EXPECT_EQ(live(kLeaving)->phases.phase, FlightPhase::parked);
}

class StandRulesTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { kvr::test::resetEngineState(); }
    static void reset()
    {
        kvr::test::resetEngineState();
        AirportWithGates::setStands();
    }
    kvr::test::SimLinkTestBase base{"stands"};
    AirportWithGates airport;
};

TEST_F(StandRulesTest, ArrivalParksWithin18MetresAndFortyDegreesOnly)
{
    struct Row {
        const char* what;
        double northM, headingDeg; // the aircraft seen from A1
        bool otherHolder;          // another live aircraft is parked on A1
        bool result;
        FlightPhase phase;
        int32_t standId, projection;
        size_t timers;
    };
    const Row rows[] = {
        {"17 m short, aligned", -17.0, 10.0, false, true, FlightPhase::parked, 1, 0, 3},
        {"19 m short gives the stand up", -19.0, 0.0, false, true, FlightPhase::taxi, 0, 0, 0},
        {"turned 41 degrees away", 0.0, 41.0, false, false, FlightPhase::parking, 1, 1, 0},
        {"held by another", 0.0, 0.0, true, false, FlightPhase::parking, 1, 1, 0},
    };
    for (const Row& row : rows) {
        reset();
        if (row.otherHolder) {
            LiveAircraft& other = gf_trafficState().aircraft.addLive(kvr::test::makeLive(0x486000, "SAS9", false));
            gf_trafficState().aircraft.setStandId(other, 1);
            other.phases.phase = FlightPhase::parked;
            gf_trafficState().aircraft.setObjectId(other, 40);
        }
        const LatLon p = at(row.northM, 0);
        LiveAircraft& ac = gf_trafficState().aircraft.addLive(
            kvr::test::makeLive(0x485000, "KLM5", false, p.latitude, p.longitude, 0.0));
        ac.phases.phase = FlightPhase::parking;
        ac.motion.heading = row.headingDeg * std::numbers::pi / 180.0;
        assignStand(ac, *gf_standById(1));
        EXPECT_EQ(arriveAtStand(ac), row.result) << row.what;
        EXPECT_EQ(ac.phases.phase, row.phase) << row.what;
        EXPECT_EQ(ac.stand.standId, row.standId) << row.what;
        EXPECT_EQ(ac.stream.projection, row.projection) << row.what;
        EXPECT_EQ(gf_trafficState().parkedTimers.size(), row.timers) << row.what;
    }
}

TEST_F(StandRulesTest, LiveryRespawnOfAParkedAircraftKeepsOneStandingSample)
{
    LiveAircraft& ac = gf_trafficState().aircraft.addLive(kvr::test::makeLive(0x488001, "KLM7", false));
    ac.phases.phase = FlightPhase::parked;
    ac.sim.simState = SimState::active;
    ac.motion.heading = std::numbers::pi / 2.0;
    ac.stream.samples.resize(5, ac.stream.samples.front());
    ac.stream.samples.front().speedKt = 12.0;
    liveryRespawn(ac); // no simulator object: straight back to be created again
    EXPECT_EQ(ac.sim.simState, SimState::buffer);
    ASSERT_EQ(ac.stream.samples.size(), 2u);
    for (const TrafficSample& s : ac.stream.samples)
        EXPECT_TRUE(s.stationary && s.speedKt == 0.0 && s.trackDeg == 90.0);
    ac.sim.simState = SimState::active;
    gf_trafficState().aircraft.setObjectId(ac, 55);
    liveryRespawn(ac);
    EXPECT_EQ(ac.sim.simState, SimState::liveryrespawn);
    EXPECT_EQ(gf_trafficState().removalQueue.back(), 55u);
}

// Stands that do not stand in a row: four, 700 m apart, facing four ways.
struct SidedStand {
    double north, east, headingDeg;
};
constexpr SidedStand kSidedStands[] = {{0, 0, 0}, {0, 700, 95}, {700, 0, 215}, {700, 700, 300}};

// An arrival that comes to rest `outM` from its stand, `offAxisDeg` round
// from the stand's axis (0: on the line it drives in along, 180: beyond the
// stand's nose; negative: on the left), facing the stand.
struct SideArrival {
    int stand;
    double offAxisDeg, outM;
};

std::vector<SideArrival> sideArrivals()
{
    std::vector<SideArrival> out;
    const double outs[] = {20.0, 45.0, 90.0, 200.0};
    for (int i = 0; i <= 12; ++i)
        out.push_back({(i + i / 4) % 4, (i % 2 ? -15.0 : 15.0) * i, outs[i % 4]});
    return out;
}

class StandArrivalFromEverySide : public kvr::test::RunwayTrafficTest,
                                  public ::testing::WithParamInterface<SideArrival> {
protected:
    StandArrivalFromEverySide() : RunwayTrafficTest("stand_sides_trace.jsonl") {}
    void SetUp() override
    {
        RunwayTrafficTest::SetUp();
        // An A320 that stands on its wheels 8 ft up: the trace tells its
        // ground writes from air ones.
        sim.load({{"ground_ft", 0.0},
                  {"user", {{"lat", kLat + 0.4}, {"lon", kLon}, {"alt_ft", 3000.0}}},
                  {"titles", {{{"title", "A320"}, {"static_cg_ft", 8.0}}}}});
        gf_modifyParameters([](Parameters& p) { p.RANDOM = false; });
        {
            std::unique_lock lock(engineLock);
            CurrentAirport = CurrentAirportRecord{0x4548414D, kLat, kLon, 0.0, IataCode()};
        }
        std::vector<Stand> stands;
        for (const SidedStand& d : kSidedStands) {
            Stand s;
            const LatLon p = ::at(d.north, d.east);
            s.name = "S" + std::to_string(stands.size() + 1);
            s.lat = p.latitude;
            s.lon = p.longitude;
            s.heading = d.headingDeg * std::numbers::pi / 180.0;
            s.radius = 0.02;
            s.id = static_cast<int32_t>(stands.size()) + 1;
            s.type = StandType::GATE_MEDIUM;
            stands.push_back(s);
        }
        gf_setStandTable(std::move(stands));
    }
    void TearDown() override
    {
        gf_clearStandTable();
        gf_modifyParameters([](Parameters& p) { p.RANDOM = true; });
        RunwayTrafficTest::TearDown();
    }
};

// Whatever side it comes from, the aircraft drives to its stand nose first
// (turning onto the stand's axis as it rolls or where it stands) and ends
// on the stand, on its heading: moving, its way never lies more than 30
// degrees off its nose.
TEST_P(StandArrivalFromEverySide, DrivesInNoseFirstAndEndsOnTheStand)
{
    const SideArrival a = GetParam();
    const SidedStand& sd = kSidedStands[a.stand];
    const LatLon standAt = ::at(sd.north, sd.east);
    const LatLon restAt = kvr::test::movedMetres(standAt, sd.headingDeg + 180.0 + a.offAxisDeg, a.outM);
    const double facing = gf_initialBearing(restAt, standAt);
    LiveAircraft made = kvr::test::makeLive(0x48A001, "KLM9", false, restAt.latitude, restAt.longitude, 0.0);
    made.identity.radius = made.identity.collisionRadius = 0.0097;
    made.identity.standSearchNm = 0.15;
    made.identity.standSpeedKt = 10.0;
    made.identity.baseTurnRate = 0.09 * std::numbers::pi / 180.0; // 9 degrees a second
    made.motion.heading = facing;
    made.phases.phase = FlightPhase::taxi;
    made.phases.previousPhase = FlightPhase::landing_roll;
    // Its reports end in a stop no further than 60 m from the stand (the
    // stands within reach of where it stops are looked for).
    made.stream.samples.back().speedKt = a.outM > 60.0 ? 8.0 : 0.0;
    TrafficSample stop = made.stream.samples.back();
    const LatLon stopAt = kvr::test::movedMetres(standAt, facing * 180.0 / std::numbers::pi + 180.0, std::min(a.outM, 60.0));
    stop.lat = stopAt.latitude;
    stop.lon = stopAt.longitude;
    stop.speedKt = 0.0;
    made.stream.samples.push_back(stop);
    LiveAircraft& ac = gf_trafficState().aircraft.addLive(std::move(made));
    create(ac);
    for (size_t i = 0; i < ac.stream.samples.size(); ++i)
        ac.stream.samples[i].playTime = engineClock.load() + 300 * static_cast<int32_t>(i);
    for (int i = 0; i < 600 && ac.phases.phase != FlightPhase::parked; ++i)
        run(100);
    run(300);
    ASSERT_EQ(ac.phases.phase, FlightPhase::parked);
    EXPECT_EQ(ac.stand.standId, a.stand + 1);

    const std::vector<kvr::test::TraceWrite> w = traceWrites();
    ASSERT_GT(w.size(), 10u);
    // The way over each second it moved more than 1 kt against the nose
    // half way through that second.
    int crabs = 0;
    double worst = 0.0;
    for (size_t i = 1, from = 0; i < w.size(); ++i) {
        while (from + 1 < i && w[from + 1].t <= w[i].t - 1.0)
            ++from;
        const double dt = w[i].t - w[from].t;
        const double m = gf_distanceNm(w[from].at, w[i].at) * 1852.0;
        if (dt < 0.9 || m / dt < 1.0 * 1852.0 / 3600.0)
            continue;
        const double way = gf_initialBearing(w[from].at, w[i].at) * 180.0 / std::numbers::pi;
        const double turned = std::remainder(w[i].hdg - w[from].hdg, 360.0);
        const double off = std::fabs(std::remainder(way - (w[from].hdg + turned / 2.0), 360.0));
        if (off > 30.0)
            ++crabs;
        worst = std::max(worst, off);
    }
    EXPECT_EQ(crabs, 0) << "worst " << worst << " degrees off the nose";
    const kvr::test::TraceWrite& last = w.back();
    EXPECT_LT(gf_distanceNm(last.at, standAt) * 1852.0, 2.0);
    EXPECT_LT(std::fabs(std::remainder(last.hdg - sd.headingDeg, 360.0)), 5.0);
    const kvr::standin::MotionReport report = traceMotion();
    EXPECT_EQ(report.total.slides + report.total.backwards + report.total.reversals + report.total.jumps +
                  report.total.fastTurns + report.total.speedFindings(),
              0u)
        << kvr::standin::gf_motionTable(report);
}

INSTANTIATE_TEST_SUITE_P(Sides, StandArrivalFromEverySide, ::testing::ValuesIn(sideArrivals()),
                         [](const ::testing::TestParamInfo<SideArrival>& i) {
                             const SideArrival& a = i.param;
                             return "Stand" + std::to_string(a.stand + 1) + (a.offAxisDeg < 0 ? "_Left" : "_Right") +
                                    std::to_string(static_cast<int>(std::fabs(a.offAxisDeg))) + "Deg_" +
                                    std::to_string(static_cast<int>(a.outM)) + "m";
                         });

} // namespace
