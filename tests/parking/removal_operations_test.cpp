// Bulk removals by kind, category and airport, with aircraft in every state
// of their creation.
#include <gtest/gtest.h>

#include <set>

#include "engine/aircraft_commands.h"
#include "parking/removal_operations.h"
#include "tests/parking/parking_fixture.h"

namespace {

class RemovalOperationsTest : public ::testing::Test {
protected:
    kvr::test::ParkingState state;
    uint32_t nextObject = 200;

    void SetUp() override { kvr::test::loadStands(kvr::test::rowOfStands(4)); }

    StaticAircraft& addStatic(const std::string& callsign, int32_t standId, SimState simState,
                              const char* model = "B738")
    {
        AircraftBase base;
        base.callsign = callsign;
        base.ids.model = gf_modelCode2Id(model);
        base.category = static_cast<uint32_t>(gf_modelCategory(base.ids.model));
        StaticAircraft& st =
            gf_trafficState().aircraft.addStatic(StaticAircraft(base, gf_nextStaticKey(), standId, {}, true));
        st.simState = simState;
        if (simState == SimState::active)
            gf_trafficState().aircraft.setObjectId(st, nextObject++);
        return st;
    }
    LiveAircraft& addLive(uint32_t hexid, FlightPhase phase, SimState simState, int32_t standId = 0,
                          const char* model = "B738")
    {
        AircraftBase base;
        base.hexid = hexid;
        base.callsign = fmt::format("L{:x}", hexid);
        base.ids.model = gf_modelCode2Id(model);
        base.category = static_cast<uint32_t>(gf_modelCategory(base.ids.model));
        LiveAircraft ac(TrafficSample{}, base, 0.0);
        ac.phase = phase;
        ac.simState = simState;
        ac.standId = standId;
        LiveAircraft& added = gf_trafficState().aircraft.addLive(std::move(ac));
        if (simState == SimState::active)
            gf_trafficState().aircraft.setObjectId(added, nextObject++);
        return added;
    }
    // A creation request of the aircraft, still in the engine's queue.
    static void queueCreation(const AircraftBase& ac)
    {
        CreateAcCmd cmd;
        cmd.callsign = ac.callsign;
        cmd.key = ac.key();
        (ac.isStatic ? gf_trafficState().staticCreations : gf_trafficState().liveCreations).push_back(cmd);
    }
    template <typename Range>
    static std::set<std::string> callsigns(Range aircraft, SimState simState)
    {
        std::set<std::string> names;
        for (const AircraftBase& ac : aircraft)
            if (ac.simState == simState)
                names.insert(ac.callsign);
        return names;
    }
};

TEST_F(RemovalOperationsTest, AllStaticCancelsQueuedCreationsAndRemovesHandedOnOnesWhenCreated)
{
    addStatic("KLM1*", 1, SimState::active);
    queueCreation(addStatic("KLM2*", 2, SimState::adding2sim)); // still queued in the engine
    addStatic("KLM3*", 3, SimState::adding2sim);                  // handed to the simulator link
    addStatic("KLM4*", 4, SimState::removingfromsim);
    gf_removeAllStatic();
    AircraftStore& store = gf_trafficState().aircraft;
    EXPECT_EQ(store.staticCount(), 3u); // KLM2 erased at once
    EXPECT_TRUE(gf_trafficState().staticCreations.empty());
    EXPECT_EQ(callsigns(store.statics(), SimState::removingfromsim), (std::set<std::string>{"KLM1*", "KLM4*"}));
    ASSERT_EQ(store.statics()[1].callsign, "KLM3*");
    EXPECT_EQ(store.statics()[1].removeWhenCreated, 1);
    EXPECT_EQ(gf_trafficState().removalQueue.size(), 1u);
}

TEST_F(RemovalOperationsTest, CategorySwitchesRemoveOnlyTheirCategory)
{
    gf_modifyParameters([](Parameters& p) { p.HELICOPTERS = false; });
    addLive(0x400001, FlightPhase::flying, SimState::active, 0, "EC35");
    addLive(0x400002, FlightPhase::flying, SimState::active, 0, "B738");
    addLive(0x400003, FlightPhase::taxi, SimState::active, 0, "C172"); // Light
    addStatic("HELI1*", 1, SimState::active, "EC35");
    queueCreation(addStatic("HELI2*", 2, SimState::adding2sim, "EC35"));
    addStatic("KLM3*", 3, SimState::active);
    ParkingPlanEntry heli;
    heli.ids.model = gf_modelCode2Id("EC35");
    heli.callsign = "HELI9";
    ParkingPlanEntry jet;
    jet.ids.model = gf_modelCode2Id("B738");
    jet.callsign = "KLM9";
    gf_parkingPlan() = {heli, jet, heli};

    gf_removeLiveAircraftCategory(static_cast<uint8_t>(Category::Rotorcraft));
    gf_removeStaticAircraftCategory();
    AircraftStore& store = gf_trafficState().aircraft;
    EXPECT_EQ(callsigns(store.live(), SimState::removingfromsim), std::set<std::string>{"L400001"});
    EXPECT_EQ(callsigns(store.statics(), SimState::removingfromsim), std::set<std::string>{"HELI1*"});
    EXPECT_EQ(store.staticCount(), 2u);
    ASSERT_EQ(gf_parkingPlanSize(), 1u);
    EXPECT_EQ(gf_parkingPlan()[0].callsign, "KLM9");

    gf_removeLiveAircraftCategory(static_cast<uint8_t>(Category::Light));
    EXPECT_EQ(callsigns(store.live(), SimState::removingfromsim), (std::set<std::string>{"L400001", "L400003"}));
    EXPECT_EQ(callsigns(store.statics(), SimState::active), std::set<std::string>{"KLM3*"});
}

TEST_F(RemovalOperationsTest, DestinationGateRemovesOneAircraftStaticFirstAndNothingWithoutAStand)
{
    addLive(0x400001, FlightPhase::parked, SimState::active, 2);
    addStatic("KLM2*", 2, SimState::active);
    addLive(0x400002, FlightPhase::parked, SimState::active, 0);
    addStatic("KLM0*", 0, SimState::active);
    AircraftStore& store = gf_trafficState().aircraft;
    gf_clearUserDestGate("");
    gf_clearUserDestGate("NO SUCH GATE");
    EXPECT_TRUE(callsigns(store.statics(), SimState::removingfromsim).empty());
    EXPECT_TRUE(callsigns(store.live(), SimState::removingfromsim).empty());
    gf_clearUserDestGate("GATE A2");
    EXPECT_EQ(callsigns(store.statics(), SimState::removingfromsim), std::set<std::string>{"KLM2*"});
    EXPECT_TRUE(callsigns(store.live(), SimState::removingfromsim).empty());
    gf_clearUserDestGate("GATE A2");
    EXPECT_EQ(callsigns(store.live(), SimState::removingfromsim), std::set<std::string>{"L400001"});
}

TEST_F(RemovalOperationsTest, ChangeOfAirportRemovesGroundTrafficButNotAircraftTaxiingToTheirStand)
{
    addStatic("KLM1*", 1, SimState::active);
    addLive(0x400001, FlightPhase::parked, SimState::active, 2);
    addLive(0x400002, FlightPhase::parking, SimState::active, 3);
    addLive(0x400003, FlightPhase::flying, SimState::active);
    addLive(0x400004, FlightPhase::takeoff_roll, SimState::active);
    queueCreation(addLive(0x400005, FlightPhase::parked, SimState::adding2sim, 4));
    lf_removeAllStaticAndLiveAtAirport();
    AircraftStore& store = gf_trafficState().aircraft;
    EXPECT_EQ(callsigns(store.statics(), SimState::removingfromsim), std::set<std::string>{"KLM1*"});
    EXPECT_EQ(callsigns(store.live(), SimState::removingfromsim), (std::set<std::string>{"L400001", "L400004"}));
    EXPECT_EQ(store.findLive(0x400005), nullptr); // its request was still queued
    EXPECT_TRUE(gf_trafficState().liveCreations.empty());
    EXPECT_EQ(store.findLive(0x400001)->standId, 0);
    EXPECT_EQ(store.findLive(0x400002)->standId, 3);
}

} // namespace
