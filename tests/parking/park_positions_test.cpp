// The park positions of the user's airport: a file written by the airport
// writer loaded with its runways from the stand-in simulator and the user's
// stand remembered, then left again with what was learned saved.
#include <gtest/gtest.h>

#include <shared_mutex>

#include "airports/airport_database.h"
#include "airports/airport_file_format.h"
#include "airports/airport_files.h"
#include "airports/airport_ui.h"
#include "airports/park_airports.h"
#include "core/layout.h"
#include "core/settings_snapshot.h"
#include "engine/traffic_state.h"
#include "liveries/model_database.h"
#include "parking/park_positions.h"
#include "runways/runway_table.h"
#include "stands/stand_options.h"
#include "stands/stand_table.h"
#include "simlink/facility_reader.h"
#include "simlink/user_aircraft.h"
#include "tests/runways/runway_fixture.h"
#include "tests/simlink/packet_builder.h"
#include "tests/simlink/sim_test_support.h"
#include "tests/simlink/standin_fixture.h"
#include "engine/stand_questions.h"

namespace {

struct RecordingParkingUi : AirportUi {
    int countdownRestarts = 0;
    bool parkButton = true;
    bool flushButton = true;
    void enableParkButton(bool on) override { parkButton = on; }
    void enableFlushButton(bool on) override { flushButton = on; }
    void restartParkingCountdown() override { ++countdownRestarts; }
};

Stand gate(std::string name, double eastM)
{
    Stand s;
    s.name = std::move(name);
    const LatLon at = kvr::test::syntheticPoint(eastM, -1500.0);
    s.lat = at.latitude;
    s.lon = at.longitude;
    s.radius = 20.0 / 1852.0;
    s.type = StandType::GATE_MEDIUM;
    return s;
}

class ParkPositionsTest : public kvr::test::StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        base = std::make_unique<kvr::test::SimLinkTestBase>("parkpos");
        previousUi = gf_setAirportUi(&ui);
        g_parameters.store(std::make_shared<const Parameters>());
        savedRecords = gf_modelDatabase().records;
        gf_clearRunwayTable();
    }
    void TearDown() override
    {
        gf_unloadAirportParking();
        gf_closeParkingReader();
        gf_resetUserAircraftState();
        userOnGround.store(false);
        weekdayHalfHourWord.store(0);
        gf_modelDatabase().records = savedRecords;
        {
            ParkAirportList& list = gf_parkAirportList();
            std::lock_guard lock(list.mutex);
            list.airports.clear();
        }
        gf_setAirportUi(previousUi);
        base.reset();
        StandinTest::TearDown();
    }

    std::unique_ptr<kvr::test::SimLinkTestBase> base;
    RecordingParkingUi ui;
    AirportUi* previousUi = nullptr;
    std::vector<DbaseRecord> savedRecords;
};

TEST_F(ParkPositionsTest, AirportFileLoadsWithRunwaysAndUserStandAndIsLeftAgain)
{
    const std::vector<RunwayRecord> runways = kvr::test::syntheticAirport();
    const LatLon airportAt{kvr::test::kSyntheticLat, kvr::test::kSyntheticLon};
    ASSERT_TRUE(sim.load({{"airports", {kvr::test::facilityAirport("XPRK", airportAt.latitude, airportAt.longitude,
                                                                    kvr::test::kSyntheticElevationFt, runways)}}}));

    // S1 and S2 overlap; S3 carries a soft option.
    ScannedAirport airport;
    airport.icao = IcaoCode("XPRK");
    airport.latitude = airportAt.latitude;
    airport.longitude = airportAt.longitude;
    airport.airportName = "Parkfield";
    airport.altitude = 120;
    airport.publisher = "Parkfield Works";
    airport.stands = {gate("S1", 0.0), gate("S2", 30.0), gate("S3", 300.0)};
    StandOption soft;
    soft.registration = "PH-BXA";
    soft.weekday = 2;
    soft.halfHours.set(10);
    soft.optionId = 1;
    airport.stands[2].options = {soft};
    ASSERT_TRUE(gf_writeApf(airport, g_myThirdpartyFolder / "XPRK.xml", ApfWriteMode::Learned,
                            g_modeSettings.load()->sim, true, AirportSettings{}));

    {
        std::unique_lock lock(engineLock);
        CurrentAirport = {IcaoCode("XPRK").code, airportAt.latitude, airportAt.longitude, 120.0, IataCode()};
    }
    kvr::test::Packet user = kvr::test::simObjectData(108, 1, 120); // the user aircraft on S3
    user.put<double>(40, airport.stands[2].lat).put<double>(48, airport.stands[2].lon);
    lf_onSimObjectData(user.data(), user.size());
    userOnGround.store(true);
    gf_loadAirportParking();

    ASSERT_EQ(gf_standCount(), 3u);
    EXPECT_EQ(lf_standByName("S3")->id, 3);
    EXPECT_EQ(gf_standTable().softOptionCount, 1);
    EXPECT_EQ(runwayTable.runways.size(), runways.size());
    EXPECT_EQ(ui.countdownRestarts, 1);
    const std::string log = kvr::test::flushedLog();
    EXPECT_NE(log.find("          S1      : excludes S2\n          S2      : excludes S1\n"), std::string::npos);
    EXPECT_NE(log.find("\nUser aircraft at stand: S3\n"), std::string::npos);
    EXPECT_EQ(gf_currentParkAirport().value_or(ParkAirport{}).reservedStand, "S3");
    EXPECT_EQ(base->ui.all<GuiUpdate::AirportFileInfo>().back().text, "Parkfield");

    // An aircraft learned at S2 goes into the learned file when the airport
    // is left.
    gf_modelDatabase().records = {{"PH-BXC", {gf_airlineCode2Id("KLM"), 0, gf_modelCode2Id("B738"), 0, 0}}};
    weekdayHalfHourWord.store(1 | (int64_t{20} << 32));
    LiveAircraft ac;
    ac.identity.callsign = "KLM77";
    ac.identity.registration = "PH-BXC";
    gf_recordRealStandUse(2, ac, 0);
    ASSERT_EQ(gf_standById(2)->options.size(), 1u);

    gf_unloadAirportParking();
    EXPECT_EQ(gf_standCount(), 0u);
    EXPECT_TRUE(runwayTable.runways.empty());
    EXPECT_FALSE(ui.parkButton || ui.flushButton);
    EXPECT_EQ(CurrentAirport.code, 0u);
    EXPECT_NE(kvr::test::flushedLog().find("saved with 1 update\n"), std::string::npos);
    EXPECT_EQ(base->ui.all<GuiUpdate::UpdateCount>().back().count, 0u);
    EXPECT_FALSE(base->ui.all<GuiUpdate::AirportFileInfo>().back().loaded);
}

} // namespace
