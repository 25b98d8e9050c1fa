// The facility reader against the stand-in: stands and helipads, runways,
// failed and timed-out waits, and a stop of the program while waiting.
#include <gtest/gtest.h>

#include <chrono>

#include "airports/scanned_airport.h"
#include "core/geodesy.h"
#include "core/stop_request.h"
#include "simlink/facility_reader.h"
#include "standins/demo_scenario.h"
#include "tests/simlink/sim_test_support.h"
#include "tests/simlink/standin_fixture.h"

namespace {

using json = nlohmann::json;

json runway(double lat, int primary, int secondary)
{
    return {{"LATITUDE", lat},
            {"LONGITUDE", 8.55},
            {"ALTITUDE", 420.0},
            {"HEADING", 100.0},
            {"LENGTH", 3300.0},
            {"WIDTH", 60.0},
            {"PRIMARY_NUMBER", primary},
            {"PRIMARY_DESIGNATOR", 0},
            {"SECONDARY_NUMBER", secondary},
            {"SECONDARY_DESIGNATOR", 0},
            {"PRIMARY_THRESHOLD", {{"LENGTH", 0.0}, {"WIDTH", 60.0}, {"ENABLE", 1}}},
            {"SECONDARY_THRESHOLD", {{"LENGTH", 150.0}, {"WIDTH", 60.0}, {"ENABLE", 1}}}};
}

json start(int number)
{
    return {{"LATITUDE", 47.45}, {"LONGITUDE", 8.55}, {"ALTITUDE", 420.0}, {"HEADING", 100.0},
            {"NUMBER", number},  {"DESIGNATOR", 0},   {"TYPE", 1}};
}

json airport(const std::string& icao, json faults = json::object())
{
    return {{"icao", icao},
            {"lat", 47.4647},
            {"lon", 8.5492},
            {"elevation_ft", 1416.0},
            {"name", "Zurich"},
            {"facility",
             {{"TAXI_PARKING",
               {{{"TYPE", 9}, {"NAME", 10}, {"NUMBER", 12}, {"SUFFIX", 12}, {"HEADING", 180.0}, {"RADIUS", 25.0},
                 {"BIAS_X", -20.0}},
                {{"TYPE", 13}, {"NAME", 1}, {"NUMBER", 1}},
                {{"TYPE", 0}, {"NAME", 1}, {"NUMBER", 2}},
                {{"TYPE", 5}, {"NAME", 1}, {"NUMBER", 3}, {"BIAS_Z", 50.0}}}},
              {"HELIPAD", {{{"LATITUDE", 47.46}, {"LONGITUDE", 8.55}, {"WIDTH", 20.0}, {"TYPE", 2}},
                           {{"LATITUDE", 47.47}, {"LONGITUDE", 8.55}, {"WIDTH", 20.0}, {"TYPE", 1}}}},
              {"RUNWAY", {runway(47.45, 10, 28), runway(47.46, 16, 34)}},
              {"START", {start(10), start(28), start(16), start(34)}}}},
            {"faults", faults}};
}

class FacilityReaderTest : public kvr::test::StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        base = std::make_unique<kvr::test::SimLinkTestBase>("facreader");
    }
    void TearDown() override
    {
        gf_closeParkingReader();
        gf_setFacilityWaitsForTest(0, 0);
        base.reset();
        StandinTest::TearDown();
    }
    std::unique_ptr<kvr::test::SimLinkTestBase> base;
};

TEST_F(FacilityReaderTest, StandsAndHelipadsOfAnAirport)
{
    sim.load({{"airports", {airport("LSZH")}}});
    ScannedAirport scanned;
    int helipads = -1;
    ASSERT_TRUE(gf_readFacilityStands("LSZH", "LSZH", "", scanned, helipads));
    EXPECT_EQ(helipads, 2);
    ASSERT_EQ(scanned.stands.size(), 4u);
    EXPECT_EQ(scanned.stands[0].name, "GATE 12A");
    EXPECT_EQ(scanned.stands[0].type, StandType::GATE_MEDIUM);
    EXPECT_NEAR(scanned.stands[0].radius, 25.0 / 1852.0, 1e-9);
    EXPECT_LT(scanned.stands[0].lon, 8.5492);
    EXPECT_EQ(scanned.stands[1].name, "PARKING 3");
    EXPECT_TRUE(scanned.stands[1].cargo);
    EXPECT_GT(scanned.stands[1].lat, 47.4647);
    EXPECT_EQ(scanned.stands[2].name, "HELIPAD 1");
    EXPECT_NEAR(scanned.stands[2].radius, 14.0 / 1852.0, 1e-6);
    EXPECT_EQ(scanned.stands[3].name, "HELIPAD 2");
    EXPECT_NEAR(scanned.stands[3].radius, 10.0 / 1852.0, 1e-6);
    EXPECT_EQ(scanned.icao.toString(), "LSZH");
    EXPECT_EQ(scanned.altitude, 1416);
    EXPECT_EQ(scanned.airportName, "Zurich");
    EXPECT_TRUE(gf_isParkingReaderOpen()); // kept for the caller

    // The runways on the same connection.
    auto runways = gf_readFacilityRunways("LSZH");
    ASSERT_TRUE(runways);
    EXPECT_NEAR(runways->airportAltitude, 1416.0, 1e-4);
    ASSERT_EQ(runways->runways.size(), 2u);
    EXPECT_EQ(runways->runways[0].secondaryThreshold.length, 150.0);
    EXPECT_TRUE(runways->runways[1].secondaryStart.present);
    gf_closeParkingReader();
    EXPECT_NE(kvr::test::flushedLog().find("SimConnect closed ok\nSimConnect (PARKING_DATA_RDR) closed\n"),
              std::string::npos);
}

// The demo's stands as the reader finds them: under the user aircraft and
// under every aircraft the App reports parked, named as it names the stand,
// and no two of them overlapping.
TEST_F(FacilityReaderTest, DemoStandsLieUnderTheDemosParkedAircraft)
{
    const LatLon reference{52.3086, 4.7639};
    json eham = airport("EHAM");
    eham["lat"] = reference.latitude;
    eham["lon"] = reference.longitude;
    eham["facility"]["TAXI_PARKING"] = kvr::standin::gf_facilityStands(reference, kvr::standin::gf_amsterdamDemoStands());
    sim.load({{"airports", {eham}}});
    ScannedAirport scanned;
    int helipads = 0;
    ASSERT_TRUE(gf_readFacilityStands("EHAM", "EHAM", "", scanned, helipads));
    std::erase_if(scanned.stands, [](const Stand& s) { return s.helipad != 0; });
    const auto metres = [](LatLon a, LatLon b) { return gf_distanceNm(a, b) * 1852.0; };
    const auto standAt = [&](LatLon p) -> const Stand* {
        for (const Stand& s : scanned.stands)
            if (metres(p, {s.lat, s.lon}) < 0.5)
                return &s;
        return nullptr;
    };
    std::vector<std::pair<std::string, LatLon>> expected{{"C4", {52.30872, 4.76392}}};
    for (const kvr::standin::AppParked& p : kvr::standin::gf_amsterdamDemoParked())
        expected.push_back({p.stand, {p.lat, p.lon}});
    for (const auto& [name, position] : expected) {
        const Stand* stand = standAt(position);
        ASSERT_NE(stand, nullptr) << name;
        EXPECT_EQ(stand->name, "GATE " + name);
    }
    for (size_t i = 0; i < scanned.stands.size(); ++i)
        for (size_t j = i + 1; j < scanned.stands.size(); ++j) {
            const Stand& a = scanned.stands[i];
            const Stand& b = scanned.stands[j];
            EXPECT_GT(metres({a.lat, a.lon}, {b.lat, b.lon}), (a.radius + b.radius) * 1852.0) << a.name << " " << b.name;
        }
}

TEST_F(FacilityReaderTest, ShortRecordFailsTheStandRead)
{
    sim.load({{"airports", {airport("LSZH", {{"truncate", {{{"type", 15}, {"size", 79}}}}})}}});
    ScannedAirport scanned;
    int helipads = 0;
    EXPECT_FALSE(gf_readFacilityStands("LSZH", "LSZH", "", scanned, helipads));
    EXPECT_TRUE(scanned.stands.empty());
    EXPECT_FALSE(gf_isParkingReaderOpen());
}

TEST_F(FacilityReaderTest, TimedOutWaitClosesTheReader)
{
    gf_setFacilityWaitsForTest(30'000'000, 30'000'000);
    sim.load({{"airports", {airport("LSZH", {{"omit_end", true}})}}});
    ScannedAirport scanned;
    int helipads = 0;
    EXPECT_FALSE(gf_readFacilityStands("LSZH", "LSZH", "", scanned, helipads));
    EXPECT_FALSE(gf_isParkingReaderOpen());
    EXPECT_FALSE(gf_readFacilityRunways("LSZH"));
    EXPECT_FALSE(gf_isParkingReaderOpen());
    const std::string log = kvr::test::flushedLog();
    EXPECT_NE(log.find("==> Facility data request timed out for LSZH\n"), std::string::npos);
    EXPECT_NE(log.find("==> RUNWAY_HEADING: facility data request timed out for LSZH\n"), std::string::npos);
}

TEST_F(FacilityReaderTest, LateRunwayRecordsNeverReachTheNextAirport)
{
    gf_setFacilityWaitsForTest(0, 20'000'000);
    json late = airport("LSZH", {{"delay_dispatches", 40}});
    json next = airport("LSGG", {{"delay_dispatches", 30}});
    next["facility"]["RUNWAY"] = json::array({runway(46.23, 5, 23)});
    next["facility"]["START"] = json::array({start(5), start(23)});
    sim.load({{"airports", {late, next}}});
    EXPECT_FALSE(gf_readFacilityRunways("LSZH"));
    gf_setFacilityWaitsForTest(0, 0);
    auto runways = gf_readFacilityRunways("LSGG");
    ASSERT_TRUE(runways);
    ASSERT_EQ(runways->runways.size(), 1u);
    EXPECT_EQ(runways->runways[0].primaryNumber, 5u);
}

TEST_F(FacilityReaderTest, RefusedRunwayDefinitionIsAddedAfreshOnTheNextRead)
{
    sim.load({{"airports", {airport("LSZH")}}});
    // 30 fields of the stand definition, then the 3rd of the runway definition.
    sim.setFault("SimConnect_AddToFacilityDefinition", 33, SC_E_FAIL);
    EXPECT_FALSE(gf_readFacilityRunways("LSZH"));
    EXPECT_NE(kvr::test::flushedLog().find("==> RUNWAY_HEADING: facility definition initialization failed\n"),
              std::string::npos);
    auto runways = gf_readFacilityRunways("LSZH");
    ASSERT_TRUE(runways);
    EXPECT_EQ(runways->runways.size(), 2u);
}

TEST_F(FacilityReaderTest, ReadsRecoverAfterTheSimulatorWasRestarted)
{
    sim.load({{"airports", {airport("LSZH")}}});
    ASSERT_TRUE(gf_readFacilityRunways("LSZH"));
    sim.quit();
    sim.setAvailable(1);
    EXPECT_FALSE(gf_readFacilityRunways("LSZH")); // refused on the old connection
    EXPECT_FALSE(gf_isParkingReaderOpen());
    EXPECT_TRUE(gf_readFacilityRunways("LSZH"));
    ScannedAirport scanned;
    int helipads = 0;
    ASSERT_TRUE(gf_readFacilityStands("LSZH", "LSZH", "", scanned, helipads));
    sim.quit();
    sim.setAvailable(1);
    EXPECT_FALSE(gf_readFacilityStands("LSZH", "LSZH", "", scanned, helipads));
    EXPECT_TRUE(gf_readFacilityStands("LSZH", "LSZH", "", scanned, helipads));
}

TEST_F(FacilityReaderTest, ProgramStopEndsTheWaitAtOnce)
{
    sim.load({{"airports", {airport("LSZH", {{"omit_end", true}})}}});
    gf_requestStop(1, 0);
    const auto t0 = std::chrono::steady_clock::now();
    ScannedAirport scanned;
    int helipads = 0;
    EXPECT_FALSE(gf_readFacilityStands("LSZH", "LSZH", "", scanned, helipads));
    EXPECT_FALSE(gf_readFacilityRunways("LSZH"));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
}

TEST_F(FacilityReaderTest, UnknownAirportIsAnException)
{
    sim.load({{"airports", {airport("LSZH")}}});
    ScannedAirport scanned;
    int helipads = 0;
    EXPECT_FALSE(gf_readFacilityStands("EDDF", "EDDF", "", scanned, helipads));
    EXPECT_NE(kvr::test::flushedLog().find("==> SimConnect EXCEPTION id=1 sendID="), std::string::npos);
    EXPECT_FALSE(gf_isParkingReaderOpen());
}

} // namespace
