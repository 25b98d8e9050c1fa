// Live and static aircraft through the simulator and back: creation, the
// delayed activation, creation failures and removal in every state, against
// the stand-in simulator in manual frames.
#include <gtest/gtest.h>

#include <set>

#include "engine/per_tick_update.h"
#include "engine/quarantine.h"
#include "engine/spawning.h"
#include "engine/traffic_intake.h"
#include "engine/wait_bounds.h"
#include "feed/traffic_mailbox.h"
#include "liveries/livery_memory.h"
#include "standins/track_generator.h"
#include "stands/stand_table.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/track_records.h"

namespace {

using kvr::test::makeLive;
using kvr::test::makeStatic;
using kvr::test::countOf;

class AircraftRoundTripTest : public kvr::test::EngineSimTest {
protected:
    // Creates the live aircraft and takes the object-id event: returns the id.
    uint32_t createLive(LiveAircraft& ac)
    {
        create(ac);
        tick();
        return ac.sim.objectId;
    }
};

TEST_F(AircraftRoundTripTest, LiveAircraftIsActivatedAfter200TicksWithLightTogglesAt50And100)
{
    LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(0x4B1805, "SWR100"));
    create(ac);
    // The frame of the tick that takes the object id is frame start + 1.
    const uint64_t start = trace("frame").get<uint64_t>();
    tick();
    const uint32_t id = ac.sim.objectId;
    ASSERT_GE(id, 3u);
    EXPECT_EQ(gf_trafficState().aircraft.findLiveByObjectId(id), &ac);
    EXPECT_EQ(ac.sim.simState, SimState::adding2sim);

    tick(199); // 200 ticks since the object id arrived
    EXPECT_EQ(live(0x4B1805)->sim.simState, SimState::adding2sim);
    const auto toggles = eventsOf(id, "ALL_LIGHTS_TOGGLE");
    ASSERT_EQ(toggles.size(), 2u);
    EXPECT_EQ(toggles[0]["frame"].get<uint64_t>() - start, 50u);
    EXPECT_EQ(toggles[1]["frame"].get<uint64_t>() - start, 100u);
    EXPECT_TRUE(eventsOf(id, "ENGINE_AUTO_START").empty());

    tick(2);
    EXPECT_EQ(live(0x4B1805)->sim.simState, SimState::active);
    EXPECT_EQ(eventsOf(id, "ENGINE_AUTO_START").size(), 1u);
    const auto landing = eventsOf(id, "LANDING_LIGHTS_SET");
    ASSERT_EQ(landing.size(), 1u);
    EXPECT_EQ(landing[0]["data"], 1); // 5000 ft: landing lights on
    EXPECT_EQ(eventsOf(id, "ALL_LIGHTS_TOGGLE").size(), 2u);
    EXPECT_TRUE(gf_trafficState().delayedCommands.empty());
}

TEST_F(AircraftRoundTripTest, StaticAircraftIsParkedAfter200TicksWithoutToggles)
{
    StaticAircraft& st = gf_trafficState().aircraft.addStatic(makeStatic("KLM1*"));
    const uint32_t key = st.identity.hexid;
    create(st);
    tick();
    ASSERT_EQ(gf_trafficState().delayedCommands.size(), 1u);
    tick(200);
    StaticAircraft* parked = gf_trafficState().aircraft.findStatic(key);
    ASSERT_NE(parked, nullptr);
    EXPECT_EQ(parked->sim.simState, SimState::active);
    ASSERT_GE(parked->sim.objectId, 3u);
    EXPECT_TRUE(eventsOf(parked->sim.objectId, "ALL_LIGHTS_TOGGLE").empty());
    EXPECT_EQ(eventsOf(parked->sim.objectId, "ENGINE_AUTO_SHUTDOWN").size(), 1u);
    EXPECT_EQ(eventsOf(parked->sim.objectId, "CABIN_LIGHTS_SET").at(0)["data"], 0); // at the stand
    EXPECT_NE(log().find("sid==0?       : KLM1*    parked\n"), std::string::npos);
}

TEST_F(AircraftRoundTripTest, LiveHexidsUpTo10000AndStaticKeysNeverMeet)
{
    // A live aircraft whose hexid equals a static key: each event finds its own record.
    StaticAircraft& st = gf_trafficState().aircraft.addStatic(makeStatic("KLM2*"));
    const uint32_t key = st.identity.hexid;
    create(st);
    LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(key, "EZY7"));
    EXPECT_NE(ac.key(), key);
    create(ac);
    tick(202);
    LiveAircraft* liveAc = live(key);
    StaticAircraft* staticAc = gf_trafficState().aircraft.findStatic(key);
    ASSERT_TRUE(liveAc && staticAc);
    EXPECT_EQ(liveAc->sim.simState, SimState::active);
    EXPECT_EQ(staticAc->sim.simState, SimState::active);
    EXPECT_NE(liveAc->sim.objectId, staticAc->sim.objectId);
    EXPECT_EQ(objectRecord(liveAc->sim.objectId)["tail"], "EZY7");
    EXPECT_EQ(objectRecord(staticAc->sim.objectId)["tail"], "KLM2*");
    EXPECT_EQ(eventsOf(liveAc->sim.objectId, "ALL_LIGHTS_TOGGLE").size(), 2u);
}

TEST_F(AircraftRoundTripTest, RemovalOfAnActiveAircraftErasesItWhenTheSimulatorConfirms)
{
    auto& store = gf_trafficState().aircraft;
    store.addLive(makeLive(0x4B0001, "SWR1"));
    store.addLive(makeLive(0x4B0002, "SWR2"));
    store.addLive(makeLive(0x4B0003, "SWR3"));
    for (uint32_t h : {0x4B0001u, 0x4B0002u, 0x4B0003u})
        createLive(*live(h));
    tick(201);
    LiveAircraft& first = *live(0x4B0001);
    const uint32_t id = first.sim.objectId;
    removeAircraftFromSim(first);
    removeAircraftFromSim(first);
    EXPECT_EQ(first.sim.simState, SimState::removingfromsim);
    EXPECT_NE(log().find("==> SWR1 HB-SWR duplicate remove blocked\n"), std::string::npos);
    EXPECT_EQ(gf_trafficState().removalQueue.size(), 1u);
    ASSERT_TRUE(gf_handOnOneRemoval());
    EXPECT_FALSE(gf_handOnOneRemoval());
    frames(2);
    tick();
    EXPECT_EQ(live(0x4B0001), nullptr);
    EXPECT_FALSE(objectRecord(id)["removed_frame"].is_null());
    // The last record moved into the erased place; both indexes follow it.
    EXPECT_EQ(&store.live()[0], live(0x4B0003));
    EXPECT_EQ(store.findLiveByObjectId(live(0x4B0003)->sim.objectId), live(0x4B0003));
    EXPECT_EQ(store.findLiveByObjectId(id), nullptr);
}

TEST_F(AircraftRoundTripTest, RemovalInBufferAndWhileTheRequestIsQueuedNeverReachesTheSimulator)
{
    auto& s = gf_trafficState();
    LiveAircraft& waiting = s.aircraft.addLive(makeLive(0x4B0010, "SWR10"));
    removeAircraftFromSim(waiting);
    EXPECT_EQ(waiting.sim.removeFlag, 1);
    // Two aircraft with the same callsign: only the removed one's request goes.
    LiveAircraft& a = s.aircraft.addLive(makeLive(0x4B0011, "DLH4"));
    LiveAircraft& b = s.aircraft.addLive(makeLive(0x4B0012, "DLH4"));
    for (LiveAircraft* ac : {live(0x4B0011), live(0x4B0012)}) {
        ac->sim.simState = SimState::adding2sim;
        s.liveCreations.push_back(kvr::test::creationFor(*ac));
    }
    (void)a;
    (void)b;
    removeAircraftFromSim(*live(0x4B0011));
    EXPECT_EQ(live(0x4B0011)->sim.staticRemoveFlag, 1);
    ASSERT_EQ(s.liveCreations.size(), 1u);
    EXPECT_EQ(s.liveCreations.front().key, 0x4B0012u);
    tick();
    EXPECT_EQ(live(0x4B0010), nullptr);
    EXPECT_EQ(live(0x4B0011), nullptr);
    ASSERT_TRUE(gf_handOnOneCreation());
    frames(2);
    tick();
    EXPECT_GE(live(0x4B0012)->sim.objectId, 3u);
    EXPECT_EQ(trace("objects").size(), 1u);
}

TEST_F(AircraftRoundTripTest, RemovalAfterTheRequestWasHandedOnRemovesTheObjectOnceActive)
{
    LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(0x4B0020, "AFR20"));
    ac.sim.simState = SimState::adding2sim;
    gf_trafficState().liveCreations.push_back(kvr::test::creationFor(ac));
    ASSERT_TRUE(gf_handOnOneCreation());
    removeAircraftFromSim(ac);
    EXPECT_EQ(ac.sim.removeWhenCreated, 1);
    frames(2);
    tick(201);
    LiveAircraft* created = live(0x4B0020);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->sim.simState, SimState::removingfromsim);
    const uint32_t id = created->sim.objectId;
    ASSERT_TRUE(gf_handOnOneRemoval());
    frames(2);
    tick();
    EXPECT_EQ(live(0x4B0020), nullptr);
    EXPECT_FALSE(objectRecord(id)["removed_frame"].is_null());
}

TEST_F(AircraftRoundTripTest, LiveryRespawnRemovalKeepsTheRecordWithoutObject)
{
    LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(0x4B0030, "BAW30"));
    createLive(ac);
    tick(201);
    LiveAircraft& active = *live(0x4B0030);
    gf_setThrottle(active, 2);
    active.sim.simState = SimState::liveryrespawn;
    const uint32_t id = active.sim.objectId;
    removeAircraftFromSim(active);
    EXPECT_EQ(active.sim.simState, SimState::removingfromsim);
    active.sim.simState = SimState::liveryrespawn; // the respawn keeps its state while the removal runs
    gf_handOnOneRemoval();
    frames(2);
    tick();
    LiveAircraft* kept = live(0x4B0030);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->sim.simState, SimState::buffer);
    EXPECT_EQ(kept->sim.objectId, 0u);
    EXPECT_EQ(kept->sim.throttleIndex, 5u);
    EXPECT_EQ(kept->sim.flapsIndex, 4u);
    EXPECT_EQ(gf_trafficState().aircraft.findLiveByObjectId(id), nullptr);
    tick(); // a second removal event of the same object finds nothing
}

TEST_F(AircraftRoundTripTest, ActiveAircraftWithoutObjectIsFlaggedAndLogged)
{
    LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(0x4B0040, "UAL40"));
    ac.sim.simState = SimState::active;
    ac.identity.ids = {gf_airlineCode2Id("UAL"), 0, gf_modelCode2Id("A320"), 0, 0};
    ac.identity.origin = IataCode("AMS");
    ac.identity.destination = IataCode("ZRH");
    removeAircraftFromSim(ac);
    EXPECT_EQ(ac.sim.removeFlag, 1);
    // The identity in its columns: callsign, registration, route, then the kind.
    EXPECT_NE(log().find("==> removeAircraftFromSim removing act UAL40    HB-UAL       AMS->ZRH UAL     A320    "
                         ", with objectid=0 ?\n"),
              std::string::npos)
        << log();
    tick();
    EXPECT_EQ(live(0x4B0040), nullptr);
}

TEST_F(AircraftRoundTripTest, StaticRemovalErasesItAndFreesItsKey)
{
    StaticAircraft& st = gf_trafficState().aircraft.addStatic(makeStatic("KLM3*"));
    const uint32_t key = st.identity.hexid;
    create(st);
    tick(202);
    StaticAircraft& parked = *gf_trafficState().aircraft.findStatic(key);
    const uint32_t id = parked.sim.objectId;
    removeAircraftFromSim(parked);
    gf_handOnOneRemoval();
    frames(2);
    tick();
    EXPECT_EQ(gf_trafficState().aircraft.findStatic(key), nullptr);
    EXPECT_FALSE(objectRecord(id)["removed_frame"].is_null());
    EXPECT_EQ(gf_trafficState().aircraft.staticCount(), 0u);
}

TEST_F(AircraftRoundTripTest, FailedCreationErasesTheRecord)
{
    sim.load({{"titles", {"A320"}}});
    gf_clearFailedLiveriesForTests();
    LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(0x4B0050, "QFA50"));
    ac.identity.liveryTitle = "No Such Livery";
    create(ac, "No Such Livery");
    StaticAircraft& st = gf_trafficState().aircraft.addStatic(makeStatic("QFA51*"));
    st.identity.liveryTitle = "No Such Livery";
    const uint32_t key = st.identity.hexid;
    create(st, "No Such Livery");
    tick(2);
    EXPECT_EQ(live(0x4B0050), nullptr);
    EXPECT_EQ(gf_trafficState().aircraft.findStatic(key), nullptr);
    EXPECT_NE(log().find("QFA50 'No Such Livery' could not be created by your Sim!\n"), std::string::npos);
    EXPECT_TRUE(trace("objects").empty());
    EXPECT_EQ(gf_failedLiveryCount(), 1u); // one title, now never chosen again
    gf_clearFailedLiveriesForTests();
}

// The connection fails: what the simulator showed is created again on the
// next one (a live aircraft where it stands now), and a creation it never
// answered is asked again, not taken as a livery that failed.
TEST_F(AircraftRoundTripTest, AircraftOfAConnectionThatEndedAreCreatedAgain)
{
    gf_clearFailedLiveriesForTests();
    AircraftStore& store = gf_trafficState().aircraft;
    createLive(store.addLive(makeLive(0x4B0070, "AFR70")));
    const uint32_t key = store.addStatic(makeStatic("AFR71*")).identity.hexid;
    create(*store.findStatic(key));
    tick(202);
    live(0x4B0070)->motion.lat = 47.5; // moved on since its last sample
    sim.load({{"assign_delay_frames", 1000}});
    create(store.addLive(makeLive(0x4B0072, "AFR72")));

    sim.setFault("SimConnect_CallDispatch", 1, SC_E_FAIL);
    ASSERT_TRUE(waitFor([&] { return countOf(calls(), "Open") == 2; }));
    ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::Running; }));
    tick();
    ASSERT_NE(live(0x4B0070), nullptr);
    ASSERT_NE(live(0x4B0072), nullptr);
    ASSERT_NE(store.findStatic(key), nullptr);
    const LiveAircraft& shown = *live(0x4B0070);
    EXPECT_EQ(shown.sim.simState, SimState::buffer);
    EXPECT_EQ(shown.sim.objectId, 0u);
    EXPECT_EQ(shown.stream.samples.front().lat, 47.5);
    EXPECT_EQ(store.findLiveByObjectId(0), nullptr);
    EXPECT_EQ(live(0x4B0072)->sim.simState, SimState::buffer);
    const StaticAircraft& parked = *store.findStatic(key);
    EXPECT_EQ(parked.sim.simState, SimState::adding2sim);
    ASSERT_EQ(gf_trafficState().staticCreations.size(), 1u);
    EXPECT_EQ(gf_trafficState().staticCreations.front().key, key);
    EXPECT_EQ(gf_failedLiveryCount(), 0u);
    EXPECT_EQ(log().find("could not be created"), std::string::npos);
}

// The connection ends while a static's new object still settles: that object
// went with it, so the static is created again on the next connection and
// parks there, not on the old object; one that was to go once created goes.
TEST_F(AircraftRoundTripTest, AStaticWhoseObjectEndedWithTheConnectionBeforeItParkedIsCreatedAgain)
{
    AircraftStore& store = gf_trafficState().aircraft;
    const uint32_t key = store.addStatic(makeStatic("AFR81*")).identity.hexid;
    create(*store.findStatic(key));
    const uint32_t leaving = store.addStatic(makeStatic("AFR82*")).identity.hexid;
    create(*store.findStatic(leaving));
    removeAircraftFromSim(*store.findStatic(leaving)); // to go once created
    tick(50);
    ASSERT_EQ(gf_trafficState().delayedCommands.size(), 2u);
    const uint32_t lost = gf_trafficState().delayedCommands.front().objectId;

    sim.setFault("SimConnect_CallDispatch", 1, SC_E_FAIL);
    ASSERT_TRUE(waitFor([&] { return countOf(calls(), "Open") == 2; }));
    ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::Running; }));
    tick(200); // past the moment the old object would have parked
    EXPECT_EQ(store.findStatic(leaving), nullptr);
    ASSERT_NE(store.findStatic(key), nullptr);
    EXPECT_EQ(store.findStatic(key)->sim.simState, SimState::adding2sim);
    EXPECT_EQ(store.findStaticByObjectId(lost), nullptr);
    EXPECT_TRUE(gf_trafficState().delayedCommands.empty());
    ASSERT_EQ(gf_trafficState().staticCreations.size(), 1u);
    EXPECT_EQ(gf_trafficState().staticCreations.front().key, key);
    EXPECT_EQ(log().find("AFR81*   parked"), std::string::npos);

    ASSERT_TRUE(gf_handOnOneCreation());
    frames(2);
    tick(201);
    const StaticAircraft& parked = *store.findStatic(key);
    EXPECT_EQ(parked.sim.simState, SimState::active);
    const nlohmann::json shown = trace("live_objects");
    EXPECT_NE(std::find(shown.begin(), shown.end(), parked.sim.objectId), shown.end());
    EXPECT_EQ(objectRecord(parked.sim.objectId)["tail"], "AFR81*");
    EXPECT_EQ(eventsOf(parked.sim.objectId, "ENGINE_AUTO_SHUTDOWN").size(), 1u);
    size_t created = 0;
    for (const auto& o : trace("objects"))
        created += o["tail"] == "AFR81*" ? 1 : 0;
    EXPECT_EQ(created, 2u);
}

// The same for a live aircraft: its object went with the connection while it
// settled, so it keeps its record, its stand and its phase, is created again
// on the next connection and is activated there on the new object; one that
// was to go once created goes.
TEST_F(AircraftRoundTripTest, ALiveAircraftWhoseObjectEndedWithTheConnectionBeforeItWasActiveIsCreatedAgain)
{
    Stand b7;
    b7.id = 1;
    b7.name = "B7";
    b7.lat = 47.46;
    b7.lon = 8.55;
    gf_setStandTable({b7});
    AircraftStore& store = gf_trafficState().aircraft;
    LiveAircraft& atStand = store.addLive(makeLive(0x4B0090, "AFR90", false, b7.lat, b7.lon, 1400.0));
    store.setStandId(atStand, b7.id);
    atStand.setPhase(FlightPhase::parked);
    createLive(atStand);
    LiveAircraft& leaving = store.addLive(makeLive(0x4B0091, "AFR91"));
    createLive(leaving);
    removeAircraftFromSim(*live(0x4B0091)); // to go once created
    ASSERT_EQ(live(0x4B0091)->sim.removeWhenCreated, 1);
    tick(50);
    const uint32_t lost = live(0x4B0090)->sim.objectId;
    ASSERT_GE(lost, 3u);
    ASSERT_EQ(live(0x4B0090)->sim.simState, SimState::adding2sim);
    ASSERT_EQ(gf_trafficState().delayedCommands.size(), 2u);

    sim.setFault("SimConnect_CallDispatch", 1, SC_E_FAIL);
    ASSERT_TRUE(waitFor([&] { return countOf(calls(), "Open") == 2; }));
    ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::Running; }));
    tick(200); // past the moment the old object would have been activated
    EXPECT_EQ(live(0x4B0091), nullptr);
    LiveAircraft* kept = live(0x4B0090);
    ASSERT_NE(kept, nullptr) << "erased with the connection\n" << log();
    EXPECT_EQ(kept->sim.simState, SimState::buffer);
    EXPECT_EQ(kept->sim.objectId, 0u);
    EXPECT_EQ(store.findLiveByObjectId(lost), nullptr);
    EXPECT_EQ(kept->phases.phase, FlightPhase::parked);
    EXPECT_EQ(kept->stand.standId, b7.id);
    EXPECT_TRUE(gf_trafficState().delayedCommands.empty());
    EXPECT_TRUE(eventsOf(lost, "ENGINE_AUTO_SHUTDOWN").empty());
    EXPECT_EQ(log().find("no longer exists"), std::string::npos);

    // The spawn takes it up again as it stands: parked at its stand.
    spawnLiveAc(*kept);
    EXPECT_EQ(kept->sim.simState, SimState::adding2sim);
    EXPECT_EQ(kept->phases.phase, FlightPhase::parked);
    EXPECT_EQ(kept->stand.standId, b7.id);
    EXPECT_DOUBLE_EQ(kept->motion.lat, b7.lat);
    EXPECT_DOUBLE_EQ(kept->motion.lon, b7.lon);
    const auto& stack = gf_trafficState().addingStack;
    EXPECT_NE(std::find(stack.begin(), stack.end(), 0x4B0090u), stack.end());
    gf_trafficState().addingStack.clear();
    create(*kept);
    tick(202);
    const LiveAircraft& again = *live(0x4B0090);
    EXPECT_EQ(again.sim.simState, SimState::active);
    EXPECT_NE(again.sim.objectId, lost);
    EXPECT_EQ(objectRecord(again.sim.objectId)["tail"], "AFR90");
    EXPECT_EQ(eventsOf(again.sim.objectId, "ENGINE_AUTO_SHUTDOWN").size(), 1u); // activated parked
    size_t created = 0;
    for (const auto& o : trace("objects"))
        created += o["tail"] == "AFR90" ? 1 : 0;
    EXPECT_EQ(created, 2u);
}

TEST_F(AircraftRoundTripTest, ObjectIdBelow3IsRefused)
{
    LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(0x4B0060, "SAS60"));
    ac.sim.simState = SimState::adding2sim;
    gf_pushSimEvent(SimEvent{2, ac.key(), 0, SimEventKind::LiveCreated, 0.0, 0.0});
    tick();
    EXPECT_EQ(live(0x4B0060)->sim.objectId, 0u);
    EXPECT_TRUE(gf_trafficState().delayedCommands.empty());
}

TEST_F(AircraftRoundTripTest, WaitsWhoseAnswerWasLostEndAfterTheirBounds)
{
    auto& s = gf_trafficState();
    auto& store = s.aircraft;
    engineClock = 1000;
    LiveAircraft& removing = store.addLive(makeLive(0x4B0070, "EZY70"));
    removing.sim.simState = SimState::removingfromsim;
    store.setObjectId(removing, 70);
    LiveAircraft& respawning = store.addLive(makeLive(0x4B0071, "EZY71"));
    respawning.sim.simState = SimState::liveryrespawn;
    store.setObjectId(respawning, 71);
    LiveAircraft& creating = store.addLive(makeLive(0x4B0072, "EZY72"));
    creating.sim.simState = SimState::adding2sim;
    s.liveCreations.push_back(kvr::test::creationFor(creating)); // not handed on yet
    StaticAircraft& parked = store.addStatic(makeStatic("EZY73*"));
    parked.sim.simState = SimState::removingfromsim;
    store.setObjectId(parked, 73);
    gf_quarantineMap()[0x4B0074] = QuarantineEntry{47.0, 8.0, 1.7e9, 1, 1, 1000};

    gf_expireStuckWaits(); // the waits begin
    engineClock = 1000 + kRemovalAnswerTicks - 1;
    gf_expireStuckWaits();
    EXPECT_EQ(live(0x4B0070)->sim.removeFlag, 0);
    EXPECT_EQ(live(0x4B0071)->sim.simState, SimState::liveryrespawn);
    engineClock = 1000 + kRemovalAnswerTicks;
    gf_expireStuckWaits();
    tick();
    // Taken as removed; the respawn is created again; the static goes too.
    EXPECT_EQ(live(0x4B0070), nullptr);
    EXPECT_EQ(store.findLiveByObjectId(70), nullptr);
    ASSERT_NE(live(0x4B0071), nullptr);
    EXPECT_EQ(live(0x4B0071)->sim.simState, SimState::buffer);
    EXPECT_EQ(live(0x4B0071)->sim.objectId, 0u);
    EXPECT_EQ(store.findLiveByObjectId(71), nullptr);
    EXPECT_EQ(store.staticCount(), 0u);
    EXPECT_EQ(live(0x4B0072)->sim.simState, SimState::adding2sim);
    EXPECT_TRUE(gf_quarantineMap().contains(0x4B0074));

    // The creation's wait starts when its request leaves the queue.
    engineClock = 1000 + kCreationAnswerTicks;
    gf_expireStuckWaits();
    EXPECT_EQ(live(0x4B0072)->sim.removeFlag, 0);
    EXPECT_FALSE(gf_quarantineMap().contains(0x4B0074));
    ASSERT_TRUE(gf_handOnOneCreation());
    s.removalQueue.clear();
    engineClock = 1000 + 2 * kCreationAnswerTicks;
    gf_expireStuckWaits();
    tick();
    EXPECT_EQ(live(0x4B0072), nullptr);
    // Its answer comes after all: the object no one drives is removed.
    frames(2);
    tick();
    ASSERT_EQ(s.removalQueue.size(), 1u);
    EXPECT_GE(s.removalQueue.front(), 3u);

    const std::string text = log();
    for (const char* line :
         {"EZY70 HB-EZY: the simulator did not confirm the removal after 30 s, taken as removed\n",
          "EZY71 HB-EZY: the simulator did not confirm the removal for the new livery after 30 s, creating it again\n",
          "EZY73* : the simulator did not confirm the removal after 30 s, taken as removed\n",
          "Address 4b0074: quarantine lifted after 60 s\n",
          "EZY72 HB-EZY: no answer from the simulator to the creation request after 60 s, aircraft dropped\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    engineClock = 0;
}

// A failure names its request: one of an earlier request (the record of the
// same address that made it is gone) leaves the current creation alone.
TEST_F(AircraftRoundTripTest, AFailureOfAnEarlierRequestLeavesTheCurrentCreation)
{
    LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(0x4B0080, "IBE80"));
    create(ac);
    const uint32_t current = ac.sim.creationRequestId;
    ASSERT_GE(current, 10000u);
    gf_pushSimEvent(SimEvent{0, ac.key(), 0, SimEventKind::CreateFailed, current - 1.0, 0.0});
    tick(202);
    const LiveAircraft* created = live(0x4B0080);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->sim.simState, SimState::active);
    const auto objects = trace("objects");
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]["object_id"], created->sim.objectId);
    EXPECT_TRUE(objects[0]["removed_frame"].is_null());
}

// A static aircraft given up before its answer came: the object goes at once
// instead of standing on the stand with no record.
TEST_F(AircraftRoundTripTest, AStaticAircraftsLateAnswerRemovesItsObject)
{
    sim.load({{"assign_delay_frames", 10}});
    const uint32_t key = gf_trafficState().aircraft.addStatic(makeStatic("KLM9*")).identity.hexid;
    create(*gf_trafficState().aircraft.findStatic(key));
    engineClock = 1000;
    gf_expireStuckWaits();
    engineClock = 1000 + kCreationAnswerTicks;
    gf_expireStuckWaits();
    tick();
    ASSERT_EQ(gf_trafficState().aircraft.findStatic(key), nullptr);
    frames(10);
    tick(201);
    ASSERT_TRUE(gf_handOnOneRemoval());
    frames(2);
    const auto objects = trace("objects");
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_FALSE(objects[0]["removed_frame"].is_null());
    EXPECT_EQ(log().find("Delayed static command expired"), std::string::npos);
    engineClock = 0;
}

// A busy simulator answers creations late. The engine's whole tick runs
// against the stand-in, fed a cruise track as the feed would send it; frames
// are held back while the simulator is busy.
class LateCreationAnswerTest : public kvr::test::EngineSimTest {
protected:
    static constexpr uint32_t kHexid = 0x484321;
    void SetUp() override
    {
        EngineSimTest::SetUp();
        kvr::test::startLiveTraffic();
        lf_rememberLiveryOfHexid(kHexid, "Airbus A320-200 KLM");
        sim.load({{"user", {{"lat", 50.6}, {"lon", 4.76}, {"alt_ft", 3000.0}}}, {"assign_delay_frames", 3}});
        m_track = kvr::standin::gf_cruiseTrack({52.3, 4.76}, 10000.0, 250.0, 90.0, 300.0);
    }
    void TearDown() override
    {
        kvr::test::stopLiveTraffic();
        EngineSimTest::TearDown();
        engineClock = 0;
    }
    // Ticks of the main loop, a record of the track every 2 s; a simulator
    // frame after each tick unless the simulator is busy.
    void fly(int ticks, bool withFrames)
    {
        for (int i = 0; i < ticks; ++i) {
            if (engineClock.load() % 200 == 0) {
                const auto& point = m_track.at(static_cast<size_t>(engineClock.load() / 100));
                std::vector<LiveTrafficRecord> batch{kvr::test::trackRecord(point, kHexid, "KLM1234")};
                gf_trafficMailbox().post(batch, TrafficBatchKind::Live, 10, false);
            }
            lf_handleAddingStack();
            if (withFrames)
                frames(1);
        }
    }
    // Flies until the aircraft's creation request has left the engine (and,
    // with frames, reached the simulator); returns the request id.
    uint32_t flyUntilRequested(bool withFrames)
    {
        for (int i = 0; i < 3000; ++i) {
            fly(1, withFrames);
            if (const LiveAircraft* ac = live(kHexid); ac && ac->sim.creationRequestId != 0)
                return ac->sim.creationRequestId;
        }
        ADD_FAILURE() << "no creation request";
        return 0;
    }
    // The simulator holds no object the engine does not drive.
    void expectBooksAgree()
    {
        std::set<uint32_t> held, driven;
        for (const auto& o : trace("objects"))
            if (o["removed_frame"].is_null())
                held.insert(o["object_id"].get<uint32_t>());
        for (const LiveAircraft& ac : gf_trafficState().aircraft.live())
            if (ac.sim.objectId != 0)
                driven.insert(ac.sim.objectId);
        EXPECT_EQ(held, driven);
        EXPECT_EQ(held.size(), 1u);
    }
    std::vector<kvr::standin::TrackPoint> m_track;
};

// The first request's answer comes after the aircraft was given up and its
// next record asked again: the late object is removed, the new request's
// object is the one driven.
TEST_F(LateCreationAnswerTest, AnAnswerToAGivenUpRequestLeavesNoGhost)
{
    const uint32_t first = flyUntilRequested(true);
    for (int i = 0; i < 7000 && live(kHexid); ++i)
        fly(1, false);
    ASSERT_EQ(live(kHexid), nullptr);
    EXPECT_NE(log().find("KLM1234 PH-234: no answer from the simulator to the creation request after 60 s"),
              std::string::npos);
    const uint32_t second = flyUntilRequested(false);
    EXPECT_GT(second, first);
    fly(500, true); // both answers arrive, the first one first
    const LiveAircraft* ac = live(kHexid);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->sim.simState, SimState::active);
    const auto objects = trace("objects");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[1]["request_id"], second);
    EXPECT_EQ(ac->sim.objectId, objects[1]["object_id"]);
    EXPECT_NE(log().find(fmt::format("Object {} created for hexid 484321 that no longer waits for it, removing it",
                                     objects[0]["object_id"].get<uint32_t>())),
              std::string::npos);
    expectBooksAgree();
}

// The answer comes just before the 60 s bound: the wait ended with it, and
// the aircraft is activated after its settling delay.
TEST_F(LateCreationAnswerTest, AnAnswerJustInsideTheBoundIsKept)
{
    flyUntilRequested(true);
    const int32_t waitSince = live(kHexid)->sim.waitSince;
    while (engineClock.load() < waitSince + kCreationAnswerTicks - 100)
        fly(1, false);
    fly(400, true);
    const LiveAircraft* ac = live(kHexid);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->sim.simState, SimState::active);
    EXPECT_EQ(log().find("no answer from the simulator"), std::string::npos);
    expectBooksAgree();
}

} // namespace
