// Bulk removals by kind, category and airport, with aircraft in every state
// of their creation.
#include <gtest/gtest.h>

#include "engine/removal_operations.h"
#include "engine/static_placement.h"
#include "tests/parking/parking_fixture.h"

namespace {

using Names = std::set<std::string>;

class RemovalOperationsTest : public ::testing::Test {
protected:
    kvr::test::ParkingState state;
    AircraftStore& store = gf_trafficState().aircraft;
    void SetUp() override { kvr::test::loadStands(kvr::test::rowOfStands(4)); }
    // A creation request of the aircraft, still in the engine's queue.
    static void queueCreation(const AircraftBase& ac)
    {
        CreateAcCmd cmd;
        cmd.key = ac.key();
        (ac.sim.isStatic ? gf_trafficState().staticCreations : gf_trafficState().liveCreations).push_back(cmd);
    }
};

TEST_F(RemovalOperationsTest, CategorySwitchesRemoveOnlyTheirCategory)
{
    state.addLive(0x400001, FlightPhase::flying, SimState::active, 0, "EC35");
    state.addLive(0x400002, FlightPhase::flying);
    state.addLive(0x400003, FlightPhase::taxi, SimState::active, 0, "C172"); // Light
    state.addStatic("HELI1*", 1, SimState::active, {}, "EC35");
    queueCreation(state.addStatic("HELI2*", 2, SimState::adding2sim, {}, "EC35"));
    state.addStatic("KLM3*", 3);
    ParkingPlanEntry heli, jet;
    heli.ids.model = gf_modelCode2Id("EC35");
    jet.ids.model = gf_modelCode2Id("B738");
    jet.callsign = "KLM9";
    gf_parkingPlan() = {heli, jet, heli};

    gf_removeLiveAircraftCategory(Category::Rotorcraft);
    gf_removeStaticAircraftCategory();
    EXPECT_EQ(state.callsigns(store.live()), Names{"L400001"});
    EXPECT_EQ(state.callsigns(store.statics()), Names{"HELI1*"});
    EXPECT_EQ(store.staticCount(), 2u);
    ASSERT_EQ(gf_parkingPlanSize(), 1u);
    EXPECT_EQ(gf_parkingPlan()[0].callsign, "KLM9");
    gf_removeLiveAircraftCategory(Category::Light);
    EXPECT_EQ(state.callsigns(store.live()), (Names{"L400001", "L400003"}));
}

TEST_F(RemovalOperationsTest, DestinationGateRemovesOneAircraftStaticFirstAndNothingWithoutAStand)
{
    state.addLive(0x400001, FlightPhase::parked, SimState::active, 2);
    state.addStatic("KLM2*", 2);
    state.addLive(0x400002, FlightPhase::parked);
    state.addStatic("KLM0*", 0);
    for (const char* gate : {"", "NO SUCH GATE", "GATE A2"})
        gf_clearUserDestGate(gate);
    EXPECT_EQ(state.callsigns(store.statics()), Names{"KLM2*"});
    EXPECT_TRUE(state.callsigns(store.live()).empty());
    gf_clearUserDestGate("GATE A2");
    EXPECT_EQ(state.callsigns(store.live()), Names{"L400001"});
}

TEST_F(RemovalOperationsTest, ChangeOfAirportRemovesStaticsAndGroundTrafficButNotAircraftTaxiingToTheirStand)
{
    state.addStatic("KLM1*", 1);
    queueCreation(state.addStatic("KLM2*", 2, SimState::adding2sim)); // still in the engine's queue
    state.addStatic("KLM3*", 3, SimState::adding2sim);                  // handed to the simulator link
    state.addLive(0x400001, FlightPhase::parked, SimState::active, 2);
    state.addLive(0x400002, FlightPhase::parking, SimState::active, 3);
    state.addLive(0x400003, FlightPhase::flying);
    state.addLive(0x400004, FlightPhase::takeoff_roll);
    queueCreation(state.addLive(0x400005, FlightPhase::parked, SimState::adding2sim, 4));
    lf_removeAllStaticAndLiveAtAirport();
    EXPECT_EQ(state.callsigns(store.statics()), Names{"KLM1*"});
    ASSERT_EQ(store.staticCount(), 2u); // KLM2 erased at once, KLM3 removed once created
    EXPECT_EQ(store.statics()[1].sim.removeWhenCreated, 1);
    EXPECT_EQ(state.callsigns(store.live()), (Names{"L400001", "L400004"}));
    EXPECT_EQ(store.findLive(0x400005), nullptr);
    EXPECT_TRUE(gf_trafficState().staticCreations.empty() && gf_trafficState().liveCreations.empty());
    EXPECT_EQ(store.findLive(0x400001)->stand.standId, 0);
    EXPECT_EQ(store.findLive(0x400002)->stand.standId, 3);
}

} // namespace
