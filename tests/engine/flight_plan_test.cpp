// AI flight plans: the eight lines byte for byte, the folder's life, and
// nothing at all with MSFS 2024.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/layout.h"
#include "engine/aircraft.h"
#include "engine/sim_reactions.h"
#include "liveries/model_database.h"
#include "engine/flight_plan.h"
#include "tests/simlink/sim_test_support.h"

namespace fs = std::filesystem;

namespace {

class FlightPlanTest : public ::testing::Test, public kvr::test::SimLinkTestBase {
protected:
    FlightPlanTest() : SimLinkTestBase("flightplan") { gf_rebuildSettingsPaths(); }
    ~FlightPlanTest() override { gf_rebuildSettingsPaths(); }

    fs::path folder() const { return gf_settingsFolder() / "orig_dest"; }
};

TEST_F(FlightPlanTest, PlanHasTheEightLinesByteForByte)
{
    LiveAircraft light;
    light.identity.category = Category::Light;
    light.identity.origin = IataCode("ZRH");
    const fs::path path = gf_createFlightPlan(4711, light);
    EXPECT_EQ(path, folder() / "4711.pln");
    EXPECT_EQ(kvr::test::readBytes(path), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                          "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
                                          "<FlightPlan.FlightPlan>\n"
                                          "<FPType>VFR</FPType>\n"
                                          "<DepartureID>ZRH</DepartureID>\n"
                                          "<DestinationID></DestinationID>\n"
                                          "</FlightPlan.FlightPlan>\n"
                                          "</SimBase.Document>\n");

    struct Case {
        Category category;
        const char* type;
    } cases[] = {{Category::TwoProps, "IFR"}, {Category::Bizjet, "IFR"},   {Category::Large, "IFR"},
                 {Category::Heavy, "IFR"},    {Category::HighPerf, "VFR"}, {Category::Rotorcraft, "VFR"}};
    for (const auto& c : cases) {
        LiveAircraft a;
        a.identity.category = c.category;
        a.identity.destination = IataCode("JFK");
        const std::string text = kvr::test::readBytes(gf_createFlightPlan(1, a));
        EXPECT_NE(text.find(std::string("<FPType>") + c.type + "</FPType>\n<DepartureID></DepartureID>\n"
                                                               "<DestinationID>JFK</DestinationID>\n"),
                  std::string::npos)
            << c.type;
    }
}

TEST_F(FlightPlanTest, RemovalOfPlansAndFolder)
{
    LiveAircraft a;
    ASSERT_FALSE(gf_createFlightPlan(1, a).empty());
    ASSERT_FALSE(gf_createFlightPlan(2, a).empty());
    EXPECT_TRUE(gf_removeFlightPlan(1));
    EXPECT_FALSE(gf_removeFlightPlan(1)); // a missing file is no error
    EXPECT_FALSE(fs::exists(folder() / "1.pln"));
    EXPECT_TRUE(gf_removeFlightPlanFolder()); // still holds 2.pln
    EXPECT_FALSE(fs::exists(folder()));
    EXPECT_TRUE(gf_removeFlightPlanFolder());
}

TEST_F(FlightPlanTest, FileInPlaceOfTheFolderGivesNoPlan)
{
    fs::create_directories(gf_settingsFolder());
    kvr::test::writeBytes(folder(), "x");
    LiveAircraft a;
    EXPECT_TRUE(gf_createFlightPlan(1, a).empty());
    EXPECT_NE(kvr::test::flushedLog().find("Flight-plan path '"), std::string::npos);
    EXPECT_NE(kvr::test::flushedLog().find("orig_dest' is not a directory\n"), std::string::npos);
    // The engine names the aircraft with its whole kind.
    LiveAircraft klm;
    klm.identity.callsign = "KLM1234";
    klm.identity.registration = "PH-BXA";
    klm.identity.origin = IataCode("AMS");
    klm.identity.destination = IataCode("JFK");
    klm.identity.ids = {gf_airlineCode2Id("KLM"), gf_airlineCode2Id("KL"), gf_modelCode2Id("B738"), 0, 0};
    lf_sendFlightPlan(klm);
    EXPECT_EQ(klm.reports.flightPlanSent, 0);
    EXPECT_NE(kvr::test::flushedLog().find("==> KLM1234  PH-BXA KLM,KL  B738     creating a flight plan failed\n"),
              std::string::npos)
        << kvr::test::flushedLog();
}

TEST_F(FlightPlanTest, Msfs2024HasNoFolderAndNoPlan)
{
    kvr::test::selectSimulator(2);
    EXPECT_FALSE(gf_flightPlanFolder());
    LiveAircraft a;
    EXPECT_TRUE(gf_createFlightPlan(1, a).empty());
    EXPECT_FALSE(fs::exists(folder()));
    EXPECT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_FALSE(gf_removeFlightPlan(1));
}

} // namespace
