// The engine's commands and their de-duplication, the static keys, the
// simulator's CG and pitch reports, and the reports and lists of the engine.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "core/layout.h"
#include "core/settings_snapshot.h"
#include "engine/engine.h"
#include "engine/engine_reports.h"
#include "engine/removal_operations.h"
#include "engine/stand_arrival.h"
#include "engine/traffic_log.h"
#include "engine/user_collisions.h"
#include "feed/qnh.h"
#include "stands/stand_table.h"
#include "tests/engine/engine_fixture.h"

namespace {

using kvr::test::makeLive;
using kvr::test::makeStatic;

class EngineCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { kvr::test::resetEngineState(); }
    void TearDown() override { kvr::test::resetEngineState(); }

    static std::vector<SimCommand> sent() { return gf_takeCommandQueues().a; }
    static void setParameters(void (*change)(Parameters&))
    {
        auto p = std::make_shared<Parameters>(*gf_parametersSnapshot());
        change(*p);
        g_parameters.store(p);
    }
    kvr::test::SimLinkTestBase base{"engine"};
};

TEST_F(EngineCommandsTest, ThrottleAndFlapsAreSentOnlyWhenTheyChange)
{
    LiveAircraft ac = makeLive(0x4B0001, "SWR1");
    ac.sim.objectId = 77;
    gf_setThrottle(ac, 0); // from the starting index 5
    gf_setThrottle(ac, 0);
    gf_setThrottle(ac, 5); // no such index: nothing sent, but kept
    gf_setThrottle(ac, 3);
    gf_setFlaps(ac, 5);
    gf_setFlaps(ac, 0);
    gf_setFlaps(ac, 0);
    gf_setFlaps(ac, 4); // the fourth index sends 0 again
    const std::vector<SimCommand> commands = sent();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0].eventId, SimEventId::THROTTLE_SET);
    EXPECT_EQ(commands[0].value, 0u);
    EXPECT_EQ(commands[1].value, 11468u);
    EXPECT_EQ(commands[2].eventId, SimEventId::FLAPS_SET);
    EXPECT_EQ(commands[2].value, 0u);
    EXPECT_EQ(commands[3].value, 0u);
    EXPECT_EQ(ac.sim.flapsIndex, 4u);
    EXPECT_NE(kvr::test::flushedLog().find("==> gf_setFlaps: invalid flaps index\n"), std::string::npos);
}

TEST_F(EngineCommandsTest, RotorcraftGetsNoSpoilersFlapsOrGearButThrottle)
{
    LiveAircraft heli = makeLive(0x4B0002, "REGA1");
    heli.identity.category = Category::Rotorcraft;
    heli.sim.objectId = 78;
    gf_setSpoilers(heli, true);
    gf_setFlaps(heli, 2);
    gf_setGear(heli, true);
    gf_setThrottle(heli, 4);
    const std::vector<SimCommand> commands = sent();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].eventId, SimEventId::THROTTLE_SET);
    EXPECT_EQ(commands[0].value, 16383u);
    EXPECT_EQ(heli.sim.flapsIndex, 2u);
}

TEST_F(EngineCommandsTest, StaticKeysSkipZeroAndKeysInUseAndWrap)
{
    auto& s = gf_trafficState();
    s.staticCounter = 9997;
    const uint32_t k1 = gf_nextStaticKey();
    EXPECT_EQ(k1, 9998u);
    s.aircraft.addStatic(StaticAircraft(AircraftBase{}, 9999, 0, {}, false));
    s.aircraft.addStatic(StaticAircraft(AircraftBase{}, 1, 0, {}, false));
    EXPECT_EQ(gf_nextStaticKey(), 2u); // 9999 and 1 are held, 0 is never a key
    EXPECT_THROW(s.aircraft.addStatic(StaticAircraft(AircraftBase{}, 1, 0, {}, false)), std::logic_error);
    for (uint32_t k = 2; k <= 9998; ++k)
        s.aircraft.addStatic(StaticAircraft(AircraftBase{}, k, 0, {}, false));
    EXPECT_THROW(gf_nextStaticKey(), std::runtime_error);
}

TEST_F(EngineCommandsTest, SimulatorCgAndPitchAreCheckedBeforeUse)
{
    struct Case {
        double cg, pitch, wantCg;
        uint8_t measured;
        double wantPitch;
    };
    const double deg = 0.017453292519943295;
    const Case cases[] = {
        {0.0, -1.0 * deg, 8.0, 0, 0.7 * deg},   // CG 0 is no measurement; -1 degree is out
        {35.0, 2.5 * deg, 35.0, 1, 2.5 * deg},  // both limits are kept
        {35.01, NAN, 8.0, 0, 0.7 * deg},
        {-1.0, -0.9 * deg, -1.0, 1, -0.9 * deg},
    };
    for (const Case& c : cases) {
        kvr::test::resetEngineState();
        LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(0x4B0003, "SWR3"));
        gf_trafficState().aircraft.setObjectId(ac, 90);
        gf_pushSimEvent(SimEvent{90, 0, 0, SimEventKind::StaticCgAndPitch, c.cg, c.pitch});
        lf_processSimEvents();
        EXPECT_DOUBLE_EQ(ac.identity.cgFt, c.wantCg) << c.cg;
        EXPECT_EQ(ac.identity.cgMeasured, c.measured) << c.cg;
        EXPECT_DOUBLE_EQ(ac.identity.staticPitch, c.wantPitch) << c.pitch;
    }
}

TEST_F(EngineCommandsTest, ExceptionReportsStopAfterTheTwentieth)
{
    ASSERT_LE(gf_trafficExceptionCount(), 18u);
    while (gf_trafficExceptionCount() < 18)
        gf_reportTrafficException("filler");
    try {
        throw std::runtime_error("bad sample");
    } catch (...) {
        gf_reportTrafficException("updateLiveAc");
    }
    gf_reportTrafficException("twentieth");
    gf_reportTrafficException("twenty-first");
    const std::string log = kvr::test::flushedLog();
    EXPECT_NE(log.find("==> Traffic exception in updateLiveAc: bad sample\n"), std::string::npos);
    EXPECT_NE(log.find("==> Traffic exception in twentieth: unknown exception (further traffic exceptions will be "
                       "suppressed)\n"),
              std::string::npos);
    EXPECT_EQ(log.find("twenty-first"), std::string::npos);
}

TEST_F(EngineCommandsTest, SelectorListShowsActiveAircraftSortedWithNullForEmptyTexts)
{
    auto& store = gf_trafficState().aircraft;
    LiveAircraft& a = store.addLive(makeLive(0xABC123, "SWR9"));
    LiveAircraft& b = store.addLive(makeLive(0x3C6DD5, "", false));
    b.identity.registration.clear();
    LiveAircraft& c = store.addLive(makeLive(0x4B0009, "EZY1"));
    for (LiveAircraft* ac : {&a, &b})
        ac->sim.simState = SimState::active;
    store.setObjectId(a, 255);
    store.setObjectId(b, 16);
    (void)c; // still buffered: not listed
    EXPECT_EQ(lf_listActiveAircraft(),
              (std::vector<std::string>{"SWR9, HB-SWR, abc123, oid=255", "null, null, 3c6dd5, oid=16"}));
    setParameters([](Parameters& p) { p.ALL_AIR_GND_SELECTOR = 2; });
    EXPECT_EQ(lf_listActiveAircraft(), (std::vector<std::string>{"null, null, 3c6dd5, oid=16"}));
    setParameters([](Parameters& p) { p.ALL_AIR_GND_SELECTOR = 0; });
}

TEST_F(EngineCommandsTest, FurthestLiveIsRemovedOnlyBeyondTheMargin)
{
    UserAcPosition user;
    user.latitude = 47.0;
    user.longitude = 8.0;
    gf_publishUserAcPosition(user);
    LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(0x4B0004, "SWR4", true, 47.0 + 10.05 / 60.0, 8.0));
    ac.sim.simState = SimState::active;
    gf_trafficState().aircraft.setObjectId(ac, 40);
    EXPECT_TRUE(lf_isThisTheFurthestLive(10.0));
    EXPECT_TRUE(gf_trafficState().removalQueue.empty());
    ac.motion.lat = 47.0 + 10.2 / 60.0;
    EXPECT_FALSE(lf_isThisTheFurthestLive(10.0));
    EXPECT_EQ(gf_trafficState().removalQueue, std::deque<uint32_t>{40});
    gf_publishUserAcPosition(UserAcPosition{});
}

TEST_F(EngineCommandsTest, GroundCollisionRemovesOnlyAircraftAheadOnTheLine)
{
    UserAcPosition user;
    user.latitude = 47.0;
    user.longitude = 8.0;
    user.trueHeading = 0.0; // north
    gf_publishUserAcPosition(user);
    const double ahead = 47.0 + 0.5 / 60.0;
    const double ftToLon = 1.0 / (6076.11549 * 60.0 * std::cos(47.0 * 0.017453292519943295));
    struct Case {
        double lat, lon;
        bool removed;
    };
    const Case cases[] = {{ahead, 8.0 + 49.0 * ftToLon, true},
                          {ahead, 8.0 + 51.0 * ftToLon, false},
                          {47.0 - 0.5 / 60.0, 8.0, false}};
    uint32_t hexid = 0x4B0100;
    for (const Case& c : cases) {
        LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(++hexid, "T", false, c.lat, c.lon));
        ac.sim.simState = SimState::active;
        gf_trafficState().aircraft.setObjectId(ac, hexid & 0xFF);
        EXPECT_EQ(checkUserAirGndCollision(ac), c.removed) << c.lon;
        EXPECT_EQ(ac.sim.simState == SimState::removingfromsim, c.removed);
    }
    gf_publishUserAcPosition(UserAcPosition{});
}

TEST_F(EngineCommandsTest, ObjectIdListHasOneLinePerActiveAircraft)
{
    std::filesystem::create_directories(g_outputInfoFolder);
    lf_writeObjectIdList();
    std::stringstream empty;
    empty << std::ifstream(g_objectIdListPath, std::ios::binary).rdbuf();
    EXPECT_EQ(empty.str(), "");
    LiveAircraft& a = gf_trafficState().aircraft.addLive(makeLive(0x4B0005, "SWR5", false));
    a.identity.ids.airline = gf_airlineCode2Id("SWR");
    a.identity.ids.model = gf_modelCode2Id("A320");
    a.sim.simState = SimState::active;
    a.setPhase(FlightPhase::parked);
    gf_trafficState().aircraft.setObjectId(a, 1234);
    LiveAircraft& b = gf_trafficState().aircraft.addLive(makeLive(0x4B0006, "EZY6"));
    b.identity.registration.clear();
    b.sim.simState = SimState::active;
    gf_trafficState().aircraft.setObjectId(b, 99);
    lf_writeObjectIdList();
    std::stringstream text;
    text << std::ifstream(g_objectIdListPath, std::ios::binary).rdbuf();
    EXPECT_EQ(text.str(), "1234;SWR5;HB-SWR;SWR;A320;GND;PARKED\n99;EZY6;;;;AIR;\n");
    EXPECT_EQ(a.phases.previousPhase, FlightPhase::birth);
    EXPECT_EQ(gf_flightPhaseName(a.phases.phaseBeforePrevious), "birth");
}

TEST_F(EngineCommandsTest, ResetEmptiesEverythingButKeepsTheReservedCapacity)
{
    auto& s = gf_trafficState();
    s.aircraft.addLive(makeLive(0x4B0301, "R1"));
    s.aircraft.addStatic(makeStatic("R2*"));
    s.delayedCommands.push_back(SimEvent{});
    s.addingStack.push_back(0x4B0301);
    s.removalQueue.push_back(5);
    s.liveCreations.push_back(CreateAcCmd{});
    gf_addParkedTimer(ParkedTimer{0x4B0301, 10, ParkedAction::engineShutdown});
    std::vector<Stand> stands(1);
    stands[0].id = 1;
    gf_setStandTable(std::move(stands));
    CurrentQnh.store(990);
    gf_pushSimEvent(SimEvent{});
    gf_resetTrafficState();
    EXPECT_EQ(s.aircraft.liveCount() + s.aircraft.staticCount(), 0u);
    EXPECT_TRUE(s.delayedCommands.empty() && s.addingStack.empty() && s.removalQueue.empty() &&
                s.liveCreations.empty() && s.parkedTimers.empty());
    EXPECT_EQ(gf_simEventQueue().pendingCount(), 0u);
    EXPECT_EQ(gf_standCount(), 0u);
    EXPECT_EQ(CurrentQnh.load(), 1013);
    EXPECT_GE(s.aircraft.liveCapacity(), 512u);
    EXPECT_GE(s.aircraft.staticCapacity(), 256u);
    EXPECT_GE(s.delayedCommands.capacity(), 128u);
}

TEST_F(EngineCommandsTest, TcasLimitIsStrictAndBlockingTakesOnlyActiveAircraft)
{
    auto& store = gf_trafficState().aircraft;
    uint32_t id = 100;
    for (auto [hexid, alt] : {std::pair{0x4B0401u, 16999.0}, {0x4B0402u, 17000.0}}) {
        LiveAircraft& ac = store.addLive(makeLive(hexid, "T", true, 47.0, 8.0, alt));
        ac.identity.matchedBeyondDepth = 1;
        ac.sim.simState = SimState::active;
        store.setObjectId(ac, ++id);
    }
    lf_rememberLiveryOfHexid(0x4B0401, "TCAS livery");
    lf_rememberLiveryOfHexid(0x4B0402, "TCAS livery");
    gf_removeTCASCoverageAcs(); // TCAS_FL 180: the limit is 17000 ft
    EXPECT_EQ(gf_trafficState().removalQueue, std::deque<uint32_t>{101});
    // The one removed chooses its livery afresh when it comes back.
    EXPECT_FALSE(lf_rememberedLiveryOfHexid(0x4B0401));
    EXPECT_TRUE(lf_rememberedLiveryOfHexid(0x4B0402));
    // A deeper matching asked for: every remembered livery is chosen again.
    gf_clearLiveryChoiceCache();
    EXPECT_FALSE(lf_rememberedLiveryOfHexid(0x4B0402));
    LiveAircraft& waiting = store.addLive(makeLive(0x4B0403, "BLK1"));
    waiting.sim.simState = SimState::adding2sim;
    setParameters([](Parameters& p) { p.blockFilter.hexid = 0x123; p.blockFilter.callsign = "BLK1"; });
    gf_removeBlockedAc(); // no aircraft with the hexid; the callsign's is not active yet
    EXPECT_EQ(waiting.sim.removeWhenCreated, 0);
    waiting.sim.simState = SimState::active;
    store.setObjectId(waiting, 300);
    gf_removeBlockedAc();
    EXPECT_EQ(waiting.sim.simState, SimState::removingfromsim);
    setParameters([](Parameters& p) { p.blockFilter = BlockFilter{}; });
}

TEST_F(EngineCommandsTest, StaticAircraftKnowsAGateStandByItsName)
{
    std::vector<Stand> stands(2);
    stands[0].name = "GATE B12";
    stands[0].id = 1;
    stands[1].name = "RAMP 3";
    stands[1].id = 2;
    gf_setStandTable(std::move(stands));
    EXPECT_EQ(StaticAircraft(AircraftBase{}, 1, 1, {}, true).stand.gateStand, 1);
    EXPECT_EQ(StaticAircraft(AircraftBase{}, 2, 2, {}, true).stand.gateStand, 0);
    EXPECT_EQ(StaticAircraft(AircraftBase{}, 3, 0, {}, true).stand.gateStand, 0);
    EXPECT_EQ(StaticAircraft(AircraftBase{}, 4, 3, {}, true).stand.gateStand, 0);
    gf_clearStandTable();
}

TEST_F(EngineCommandsTest, AirConflictRemovesOnlyAnAircraftCloseAheadAtTheUsersLevel)
{
    UserAcPosition user;
    user.latitude = 47.0;
    user.longitude = 8.0;
    user.altitude = 9000.0;
    user.altitudeAboveGround = 8000.0; // above both bands: only close ahead counts
    gf_publishUserAcPosition(user);
    const double cosLat = std::cos(47.0 * 0.017453292519943295);
    LiveAircraft& ahead = gf_trafficState().aircraft.addLive(makeLive(0x4B0201, "N1", true, 47.005, 8.0, 9200.0));
    LiveAircraft& above = gf_trafficState().aircraft.addLive(makeLive(0x4B0202, "N2", true, 47.005, 8.0, 9400.0));
    for (LiveAircraft* ac : {&ahead, &above}) {
        ac->sim.simState = SimState::active;
        gf_trafficState().aircraft.setObjectId(*ac, ac->identity.hexid & 0xFFF);
    }
    EXPECT_FALSE(checkUserAirCollision(*gf_findLiveAircraft(0x4B0202), cosLat));
    EXPECT_TRUE(checkUserAirCollision(*gf_findLiveAircraft(0x4B0201), cosLat));
    EXPECT_EQ(gf_trafficState().removalQueue, std::deque<uint32_t>{0x201});
    gf_publishUserAcPosition(UserAcPosition{});
}

} // namespace
