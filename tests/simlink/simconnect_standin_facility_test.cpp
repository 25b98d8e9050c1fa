// The stand-in's facility data: records laid out as the definition asks,
// parents before their children, the end marker last, and the scripted
// faults of the stream.
#include <gtest/gtest.h>

#include "simlink/simconnect_ids.h"
#include "tests/simlink/standin_fixture.h"

using kvr::test::Received;
using kvr::test::StandinTest;
using kvr::test::TestClient;

namespace {

const char* const kParkingFields[] = {
    "OPEN AIRPORT", "LATITUDE", "LONGITUDE", "ALTITUDE", "NAME", "N_HELIPADS", "N_TAXI_PARKINGS",
    "OPEN TAXI_PARKING", "TYPE", "TAXI_POINT_TYPE", "NAME", "SUFFIX", "NUMBER", "ORIENTATION", "HEADING", "RADIUS",
    "BIAS_X", "BIAS_Z", "CLOSE TAXI_PARKING", "OPEN HELIPAD", "LATITUDE", "LONGITUDE", "ALTITUDE", "HEADING",
    "LENGTH", "WIDTH", "SURFACE", "TYPE", "CLOSE HELIPAD", "CLOSE AIRPORT"};

const char* const kRunwayFields[] = {
    "OPEN AIRPORT", "ALTITUDE", "N_RUNWAYS", "N_STARTS", "OPEN RUNWAY", "LATITUDE", "LONGITUDE", "ALTITUDE",
    "HEADING", "LENGTH", "WIDTH", "PRIMARY_NUMBER", "PRIMARY_DESIGNATOR", "SECONDARY_NUMBER", "SECONDARY_DESIGNATOR",
    "OPEN PRIMARY_THRESHOLD", "LENGTH", "WIDTH", "ENABLE", "CLOSE PRIMARY_THRESHOLD", "OPEN SECONDARY_THRESHOLD",
    "LENGTH", "WIDTH", "ENABLE", "CLOSE SECONDARY_THRESHOLD", "CLOSE RUNWAY", "OPEN START", "LATITUDE", "LONGITUDE",
    "ALTITUDE", "HEADING", "NUMBER", "DESIGNATOR", "TYPE", "CLOSE START", "CLOSE AIRPORT"};

nlohmann::json lf_airport(nlohmann::json faults = nlohmann::json::object())
{
    nlohmann::json runway = {{"LATITUDE", 47.45},      {"LONGITUDE", 8.56},     {"ALTITUDE", 430.0},
                             {"HEADING", 137.5},       {"LENGTH", 3300.0},      {"WIDTH", 60.0},
                             {"PRIMARY_NUMBER", 14},   {"PRIMARY_DESIGNATOR", 0}, {"SECONDARY_NUMBER", 32},
                             {"SECONDARY_DESIGNATOR", 0},
                             {"PRIMARY_THRESHOLD", {{"LENGTH", 100.0}, {"WIDTH", 60.0}, {"ENABLE", 1}}},
                             {"SECONDARY_THRESHOLD", {{"LENGTH", 0.0}, {"WIDTH", 60.0}, {"ENABLE", 0}}}};
    nlohmann::json runway2 = runway;
    runway2["PRIMARY_NUMBER"] = 16;
    runway2["SECONDARY_NUMBER"] = 34;
    return {{"icao", "LSZH"},
            {"lat", 47.4647},
            {"lon", 8.5492},
            {"elevation_ft", 1416},
            {"name", "Zurich"},
            {"faults", faults},
            {"facility",
             {{"TAXI_PARKING",
               {{{"TYPE", 10}, {"NAME", 12}, {"SUFFIX", 12}, {"NUMBER", 12}, {"HEADING", 270.5}, {"RADIUS", 30.0},
                 {"BIAS_X", -20.0}, {"BIAS_Z", 5.0}},
                {{"TYPE", 13}, {"NAME", 1}, {"NUMBER", 3}}}},
              {"HELIPAD", {{{"LATITUDE", 47.47}, {"LONGITUDE", 8.55}, {"WIDTH", 20.0}, {"TYPE", 2}}}},
              {"RUNWAY", {runway, runway2}},
              {"START", {{{"NUMBER", 14}, {"TYPE", 1}}, {{"NUMBER", 32}, {"TYPE", 1}}}}}}};
}

std::vector<Received> lf_request(const SimConnectApi& sc, TestClient& c, std::uint32_t def, std::uint32_t request,
                                 const char* icao, int dispatches = 1)
{
    EXPECT_EQ(sc.RequestFacilityData(c.handle, def, request, icao, ""), SC_S_OK);
    std::vector<Received> all;
    for (int i = 0; i < dispatches; ++i)
        for (auto& r : c.dispatch())
            all.push_back(std::move(r));
    return all;
}

struct FacilityClient : TestClient {
    explicit FacilityClient(const SimConnectApi& sc)
    {
        EXPECT_EQ(open("PARKING_DATA_RDR"), SC_S_OK);
        dispatch();
        for (const char* f : kParkingFields)
            EXPECT_EQ(sc.AddToFacilityDefinition(handle, DEFINITION_FACILITY_PARKING, f), SC_S_OK);
        for (const char* f : kRunwayFields)
            EXPECT_EQ(sc.AddToFacilityDefinition(handle, DEFINITION_FACILITY_RUNWAYS, f), SC_S_OK);
    }
};

} // namespace

TEST_F(StandinTest, StandsAndHelipadsStreamWithTheirLayouts)
{
    ASSERT_TRUE(sim.load({{"airports", {lf_airport()}}}));
    FacilityClient c(api());
    const auto packets = lf_request(api(), c, DEFINITION_FACILITY_PARKING, REQUEST_FACILITY_PARKING, "LSZH");
    ASSERT_EQ(packets.size(), 5u);
    const std::uint32_t types[] = {0, 15, 15, 4};
    const std::uint32_t sizes[] = {104, 80, 80, 84};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(packets[i].id(), SIMCONNECT_RECV_ID_FACILITY_DATA);
        EXPECT_EQ(packets[i].field<std::uint32_t>(24), types[i]);
        EXPECT_EQ(packets[i].cbData, sizes[i]);
        EXPECT_EQ(packets[i].field<std::uint32_t>(12), REQUEST_FACILITY_PARKING);
    }
    EXPECT_EQ(packets[4].id(), SIMCONNECT_RECV_ID_FACILITY_DATA_END);
    EXPECT_EQ(packets[4].field<std::uint32_t>(12), REQUEST_FACILITY_PARKING);
    const Received& airport = packets[0];
    EXPECT_DOUBLE_EQ(airport.field<double>(40), 47.4647);
    EXPECT_DOUBLE_EQ(airport.field<double>(56), 1416 * 0.3048); // metres
    EXPECT_STREQ(reinterpret_cast<const char*>(airport.bytes.data() + 64), "Zurich");
    EXPECT_EQ(airport.field<std::int32_t>(96), 1); // helipads
    EXPECT_EQ(airport.field<std::int32_t>(100), 2); // parkings
    const Received& gate = packets[1];
    EXPECT_EQ(gate.field<std::uint32_t>(20), airport.field<std::uint32_t>(16)); // parent
    EXPECT_EQ(gate.field<std::uint32_t>(28), 1u); // a list item
    EXPECT_EQ(gate.field<std::uint32_t>(36), 2u); // of two
    EXPECT_EQ(gate.field<std::int32_t>(40), 10);  // TYPE
    EXPECT_EQ(gate.field<std::int32_t>(48), 12);  // NAME index
    EXPECT_EQ(gate.field<std::int32_t>(52), 12);  // SUFFIX
    EXPECT_EQ(gate.field<std::int32_t>(56), 12);  // NUMBER
    EXPECT_FLOAT_EQ(gate.field<float>(64), 270.5f);
    EXPECT_FLOAT_EQ(gate.field<float>(68), 30.0f);
    EXPECT_FLOAT_EQ(gate.field<float>(72), -20.0f);
    EXPECT_FLOAT_EQ(gate.field<float>(76), 5.0f);
    EXPECT_EQ(packets[2].field<std::uint32_t>(32), 1u); // item index
    const Received& helipad = packets[3];
    EXPECT_DOUBLE_EQ(helipad.field<double>(40), 47.47);
    EXPECT_FLOAT_EQ(helipad.field<float>(72), 20.0f);
    EXPECT_EQ(helipad.field<std::int32_t>(80), 2);
}

TEST_F(StandinTest, RunwaysAreFollowedByTheirThresholdsThenTheStarts)
{
    ASSERT_TRUE(sim.load({{"airports", {lf_airport()}}}));
    FacilityClient c(api());
    const auto packets = lf_request(api(), c, DEFINITION_FACILITY_RUNWAYS, REQUEST_FACILITY_RUNWAYS, "lszh");
    // airport, runway, 2 thresholds, runway, 2 thresholds, 2 starts, end
    const std::uint32_t types[] = {0, 1, 23, 23, 1, 23, 23, 2, 2};
    const std::uint32_t sizes[] = {56, 92, 52, 52, 92, 52, 52, 80, 80};
    ASSERT_EQ(packets.size(), 10u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(packets[i].field<std::uint32_t>(24), types[i]) << i;
        EXPECT_EQ(packets[i].cbData, sizes[i]) << i;
    }
    EXPECT_EQ(packets[0].field<std::int32_t>(48), 2); // runways
    EXPECT_EQ(packets[0].field<std::int32_t>(52), 2); // starts
    // Each threshold names its own runway as parent.
    for (int runway : {1, 4})
        for (int t : {1, 2})
            EXPECT_EQ(packets[runway + t].field<std::uint32_t>(20), packets[runway].field<std::uint32_t>(16));
    EXPECT_EQ(packets[4].field<std::int32_t>(76), 16);  // primary number
    EXPECT_FLOAT_EQ(packets[2].field<float>(40), 100.0f); // primary threshold length
    EXPECT_EQ(packets[3].field<std::int32_t>(48), 0);     // secondary threshold not enabled
    EXPECT_EQ(packets[8].field<std::int32_t>(68), 32);    // second start's number
    EXPECT_EQ(packets[9].id(), SIMCONNECT_RECV_ID_FACILITY_DATA_END);
}

TEST_F(StandinTest, FacilityFaultsDelayDropMiscountAndFail)
{
    const auto& sc = api();
    {
        // Delayed by three dispatches, the second runway's first threshold
        // dropped, an advertised runway count that does not match.
        auto airport = lf_airport({{"delay_dispatches", 3}, {"drop", {{{"type", 23}, {"index", 2}}}}});
        airport["facility"]["N_RUNWAYS"] = 3;
        ASSERT_TRUE(sim.load({{"airports", {airport}}}));
        FacilityClient c(sc);
        EXPECT_TRUE(lf_request(sc, c, DEFINITION_FACILITY_RUNWAYS, REQUEST_FACILITY_RUNWAYS, "LSZH", 2).empty());
        const auto packets = c.dispatch();
        ASSERT_EQ(packets.size(), 9u);
        EXPECT_EQ(packets[0].field<std::int32_t>(48), 3);
        EXPECT_EQ(packets[4].field<std::uint32_t>(24), 1u);  // the second runway
        EXPECT_EQ(packets[5].field<std::uint32_t>(24), 23u); // only its second threshold
        EXPECT_EQ(packets[6].field<std::uint32_t>(24), 2u);
    }
    {
        ASSERT_TRUE(sim.load({{"airports", {lf_airport({{"exception", 1}})}}}));
        FacilityClient c(sc);
        const auto packets = lf_request(sc, c, DEFINITION_FACILITY_PARKING, REQUEST_FACILITY_PARKING, "LSZH");
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException, 1u);
    }
    {
        ASSERT_TRUE(sim.load({{"airports", {lf_airport({{"omit_end", true}})}}}));
        FacilityClient c(sc);
        const auto packets = lf_request(sc, c, DEFINITION_FACILITY_PARKING, REQUEST_FACILITY_PARKING, "LSZH");
        ASSERT_EQ(packets.size(), 4u);
        EXPECT_EQ(packets.back().id(), SIMCONNECT_RECV_ID_FACILITY_DATA);
        // An airport the simulator does not know: exception 1.
        const auto unknown = lf_request(sc, c, DEFINITION_FACILITY_PARKING, REQUEST_FACILITY_PARKING, "XXXX");
        ASSERT_EQ(unknown.size(), 1u);
        EXPECT_EQ(unknown[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException, SIMCONNECT_EXCEPTION_ERROR);
    }
}
