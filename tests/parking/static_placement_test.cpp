// Static aircraft placed from the plan against the stand-in simulator: one
// creation per slot, '*' callsigns, stand positions and headings, engines off
// once parked, and the stands that are taken meanwhile.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/layout.h"
#include "engine/per_tick_update.h"
#include "liveries/livery_list_file.h"
#include "liveries/livery_matching_tables.h"
#include "engine/static_placement.h"
#include "tests/engine/engine_fixture.h"
#include "tests/parking/parking_fixture.h"

namespace {

class StaticPlacementTest : public kvr::test::EngineSimTest {
protected:
    void SetUp() override
    {
        EngineSimTest::SetUp();
        state = std::make_unique<kvr::test::ParkingState>();
        LiveryScanResult = {livery("KLM", "Boeing 737-800 KLM"), livery("DLH", "Boeing 737-800 Lufthansa")};
        std::filesystem::create_directories(g_outputErrorsFolder);
        ASSERT_TRUE(gf_writeScannedLiveries());
        gf_processScannedLiveries();
        kvr::test::setNow(1, 2); // Monday 01:00
        auto stands = kvr::test::rowOfStands(3);
        stands[1].exclusions = {3};
        stands[2].cargo = 1;
        kvr::test::loadStands(std::move(stands));
    }
    void TearDown() override
    {
        LiveryScanResult.clear();
        state.reset();
        EngineSimTest::TearDown();
    }
    static LiveryRecord livery(const char* airline, const char* title)
    {
        LiveryRecord r;
        r.title = title;
        r.ids = {gf_airlineCode2Id(airline), 0, gf_modelCode2Id("B738"), 0, 0};
        return r;
    }
    static ParkingPlanEntry entry(int32_t standId, const char* airline, const char* callsign, const char* second = "",
                                  bool keepsFirst = true, int32_t offset = 0)
    {
        return {0, 1, standId, offset, {gf_airlineCode2Id(airline), 0, gf_modelCode2Id("B738"), 0, 0},
                callsign, second, "", keepsFirst};
    }

    std::unique_ptr<kvr::test::ParkingState> state;
};

TEST_F(StaticPlacementTest, PlanIsPlacedLastEntryFirstAndParkedWithEnginesOff)
{
    // The plan is placed from its end: the made-up callsign first.
    gf_parkingPlan() = {entry(1, "KLM", "KLM12", "KLM13__", false, 0), entry(3, "DLH", "", "", true, 5)};
    lf_placeStaticFromPlan();
    ASSERT_EQ(gf_trafficState().staticCreations.size(), 1u);
    const CreateAcCmd cmd = gf_trafficState().staticCreations.front();
    const StaticAircraft& first = gf_trafficState().aircraft.statics()[0];
    EXPECT_EQ(cmd.callsign, fmt::format("DLH{}*", first.identity.hexid));
    EXPECT_EQ(cmd.title, "Boeing 737-800 Lufthansa");
    // Five half-hours before Monday 01:00 is Sunday 22:30.
    EXPECT_EQ(first.sim.createdWeekSlot.weekday, 7u);
    EXPECT_EQ(first.sim.createdWeekSlot.halfHour, 45u);
    lf_placeStaticFromPlan();

    // One creation per slot, then 200 ticks until the aircraft is parked.
    ASSERT_TRUE(gf_handOnOneCreation());
    ASSERT_TRUE(gf_handOnOneCreation());
    frames(2);
    tick(202);
    ASSERT_EQ(trace("objects").size(), 2u);
    for (const StaticAircraft& st : gf_trafficState().aircraft.statics()) {
        EXPECT_EQ(st.sim.simState, SimState::active) << st.identity.callsign;
        const auto o = objectRecord(st.sim.objectId);
        EXPECT_EQ(o["tail"], st.identity.callsign);
        EXPECT_EQ(o["init"]["on_ground"], 1);
        EXPECT_DOUBLE_EQ(o["init"]["heading"].get<double>(), 90.0);
        EXPECT_EQ(eventsOf(st.sim.objectId, "ENGINE_AUTO_SHUTDOWN").size(), 1u) << st.identity.callsign;
    }
    const StaticAircraft& onCargo = gf_trafficState().aircraft.statics()[0];
    EXPECT_EQ(eventsOf(onCargo.sim.objectId, "CABIN_LIGHTS_SET").at(0)["data"], 0); // a cargo ramp
    EXPECT_EQ(gf_trafficState().aircraft.statics()[1].identity.callsign, "KLM13*");
}

TEST_F(StaticPlacementTest, TakenStandOrNeighbourDropsTheEntry)
{
    // A live aircraft pushing back from stand 2, which lists stand 3 as its
    // neighbour; a static aircraft being removed from stand 1 does not hold it.
    state->addLive(0x4B0001, FlightPhase::pushing_back, SimState::buffer, 2);
    state->addStatic("KLM1*", 1, SimState::removingfromsim);
    gf_parkingPlan() = {entry(1, "KLM", "KLM12"), entry(3, "DLH", "DLH4"), entry(2, "DLH", "DLH5"), entry(9, "DLH", "DLH6")};
    for (int i = 0; i < 4; ++i)
        lf_placeStaticFromPlan();
    EXPECT_TRUE(gf_parkingPlan().empty());
    ASSERT_EQ(gf_trafficState().staticCreations.size(), 1u);
    EXPECT_EQ(gf_trafficState().staticCreations.front().callsign, "KLM12*");
    const std::string text = log();
    EXPECT_NE(text.find("==> stand with id 9 not found"), std::string::npos) << text;
    EXPECT_NE(text.find("GATE A2       : no static parking for DLH5, live aircraft L4b0001 standing here"), std::string::npos);
    EXPECT_NE(text.find("GATE A3       : no static parking for DLH4, live aircraft L4b0001 is adjacent at GATE A2, possibly colliding"),
              std::string::npos);
}

} // namespace
