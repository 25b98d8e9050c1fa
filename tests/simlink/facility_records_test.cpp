// Facility records: stands and helipads from taxi parkings, runways with
// their starts, and the completeness and plausibility rules.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/geodesy.h"
#include "simlink/facility_reader.h"
#include "simlink/simconnect_api.h"
#include "tests/simlink/packet_builder.h"
#include "tests/simlink/sim_test_support.h"

using kvr::test::facilityRecord;
using kvr::test::Packet;

namespace {

constexpr uint32_t kStands = 2001;
constexpr uint32_t kRunways = 2002;

Packet airportRecord(double lat, double lon, double altMetres, const std::string& name)
{
    Packet p = facilityRecord(kStands, 0, 104);
    p.put<double>(40, lat).put<double>(48, lon).put<double>(56, altMetres).text(64, name);
    return p;
}

Packet parking(int32_t type, int32_t nameIndex, int32_t number, int32_t suffix, float biasX = 0, float biasZ = 0,
               uint32_t size = 80)
{
    Packet p = facilityRecord(kStands, 15, size);
    p.put<int32_t>(40, type).put<int32_t>(48, nameIndex).put<int32_t>(52, suffix).put<int32_t>(56, number);
    p.put<float>(64, 90.0f).put<float>(68, 20.0f).put<float>(72, biasX).put<float>(76, biasZ);
    return p;
}

class FacilityRecordsTest : public ::testing::Test, public kvr::test::SimLinkTestBase {
protected:
    FacilityRecordsTest() : SimLinkTestBase("facility") { ctx.airportCode = "LSZH"; }
    void feed(const Packet& p) { onRecvFacilityData(ctx, p.data(), p.size()); }
    StandReadContext ctx;
};

TEST_F(FacilityRecordsTest, TaxiParkingsBecomeStandsByTypeNameAndSuffix)
{
    feed(airportRecord(47.0, 8.0, 432.0, "Zurich"));
    struct Case {
        int32_t type, nameIndex, number, suffix;
        const char* name; // nullptr: no stand
    } cases[] = {
        {0, 10, 1, 0, nullptr},      {13, 10, 2, 0, nullptr},  {16, 10, 3, 0, nullptr},
        {9, 10, 12, 12, "GATE 12A"}, {9, 12, 5, 37, "GATE A5Z"}, {9, 10, 7, 38, "GATE 7?"},
        {14, 1, 4, 0, "PARKING 4"},  {5, 9, 8, 0, "NW_PARKING 8"}, {8, 11, 9, 0, "DOCK 9"},
    };
    for (const auto& c : cases) {
        const size_t before = ctx.stands.size();
        feed(parking(c.type, c.nameIndex, c.number, c.suffix));
        if (!c.name) {
            EXPECT_EQ(ctx.stands.size(), before) << c.type;
            continue;
        }
        ASSERT_EQ(ctx.stands.size(), before + 1) << c.name;
        const Stand& s = ctx.stands.back();
        EXPECT_EQ(s.name, c.name);
        EXPECT_EQ(s.type, static_cast<StandType>(c.type));
        EXPECT_EQ(s.id, c.number);
        EXPECT_EQ(s.gaRamp, c.type == 14) << c.name;
        EXPECT_EQ(s.cargo, c.type == 5) << c.name;
        EXPECT_NEAR(s.heading, std::numbers::pi / 2, 1e-6);
        EXPECT_NEAR(s.radius, 20.0 / 1852.0, 1e-9);
    }
    EXPECT_FALSE(ctx.failed);
}

TEST_F(FacilityRecordsTest, AnAirportPositionThatIsNotANumberEndsTheRead)
{
    feed(airportRecord(47.0, std::nan(""), 432.0, "Zurich"));
    EXPECT_TRUE(ctx.failed);
    EXPECT_TRUE(ctx.done);
    EXPECT_NE(kvr::test::flushedLog().find("==> Fac: LSZH position from the simulator is not a number, stands not read\n"),
              std::string::npos);
}

TEST_F(FacilityRecordsTest, BiasMovesTheStandFromTheAirportReference)
{
    feed(airportRecord(47.0, 8.0, 0.0, "X"));
    feed(parking(9, 10, 1, 0, -20.0f, 0.0f));
    feed(parking(9, 10, 2, 0, 0.0f, 30.0f));
    const LatLon ref{47.0, 8.0};
    const Stand& west = ctx.stands[0];
    EXPECT_NEAR(gf_distanceNm(ref, {west.lat, west.lon}) * 6076.11549, 65.616798, 1e-3);
    EXPECT_NEAR(west.lat, 47.0, 1e-6);
    EXPECT_LT(west.lon, 8.0);
    const Stand& north = ctx.stands[1];
    EXPECT_NEAR(north.lon, 8.0, 1e-12);
    EXPECT_NEAR((north.lat - 47.0) * 60.0 * 1852.0, 30.0, 0.01);
}

TEST_F(FacilityRecordsTest, RecordShorterByItsOwnSizeFailsTheRead)
{
    // The packet says it ends (dwSize) before the fields its kind must hold,
    // even though more bytes were handed over.
    Packet p = parking(9, 10, 1, 0);
    p.put<uint32_t>(0, 60);
    lf_onParkingDispatch(reinterpret_cast<SIMCONNECT_RECV*>(p.bytes.data()), p.size(), &ctx);
    EXPECT_TRUE(ctx.failed);
    EXPECT_TRUE(ctx.stands.empty());

    RunwayReadContext runways;
    Packet r = facilityRecord(kRunways, 0, 56);
    r.put<uint32_t>(0, 48);
    lf_onRunwayDispatch(reinterpret_cast<SIMCONNECT_RECV*>(r.bytes.data()), r.size(), &runways);
    EXPECT_TRUE(runways.failed);

    // Both readers name the short record as the main connection's checks do.
    const std::string log = kvr::test::flushedLog();
    EXPECT_NE(log.find("==> SimConnect FACILITY_DATA TAXI_PARKING payload too small: 60 < 80 bytes\n"),
              std::string::npos);
    EXPECT_NE(log.find("==> SimConnect FACILITY_DATA AIRPORT payload too small: 48 < 56 bytes\n"),
              std::string::npos);
}

// ---- Runways -------------------------------------------------------------------

TEST(RunwayIdTextTest, NumbersAndDesignators)
{
    struct Case {
        uint32_t number;
        int32_t designator;
        const char* text;
    } cases[] = {
        {9, 1, "09L"}, {41, 0, "S"}, {50, 9, "#50(9)"}, {36, 3, "36C"}, {37, 2, "NR"},
        {44, 6, "NWB"}, {0, 0, "#0"}, {27, 4, "27W"}, {1, -1, "01(-1)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_runwayIdText(c.number, c.designator), c.text);
}

struct RunwayShape {
    int32_t primary, primaryDesignator, secondary, secondaryDesignator;
    float heading = 90.0f, length = 3000.0f, width = 45.0f;
};

class RunwayReadTest : public ::testing::Test, public kvr::test::SimLinkTestBase {
protected:
    RunwayReadTest() : SimLinkTestBase("runways") {}

    void airport(int32_t runways, int32_t starts, double altMetres = 400.0)
    {
        Packet p = facilityRecord(kRunways, 0, 56);
        p.put<double>(40, altMetres).put<int32_t>(48, runways).put<int32_t>(52, starts);
        feed(p);
    }
    void runway(const RunwayShape& r, bool withStarts = true)
    {
        const uint32_t unique = 100 + static_cast<uint32_t>(ctx.runways.size());
        Packet p = facilityRecord(kRunways, 1, 92, unique, 1);
        p.put<double>(40, 47.0).put<double>(48, 8.0).put<double>(56, 400.0);
        p.put<float>(64, r.heading).put<float>(68, r.length).put<float>(72, r.width);
        p.put<int32_t>(76, r.primary).put<int32_t>(80, r.primaryDesignator);
        p.put<int32_t>(84, r.secondary).put<int32_t>(88, r.secondaryDesignator);
        feed(p);
        for (int i = 0; i < 3; ++i) {
            Packet t = facilityRecord(kRunways, 23, 52, 500, unique);
            t.put<float>(40, 100.0f + i).put<float>(44, 45.0f).put<int32_t>(48, 1);
            feed(t);
        }
        if (withStarts) {
            start(r.primary, r.primaryDesignator);
            start(r.secondary, r.secondaryDesignator);
        }
    }
    void start(int32_t number, int32_t designator, int32_t type = 1, double lat = 47.01)
    {
        Packet s = facilityRecord(kRunways, 2, 80);
        s.put<double>(40, lat).put<double>(48, 8.0).put<double>(56, 400.0).put<float>(64, 90.0f);
        s.put<int32_t>(68, number).put<int32_t>(72, designator).put<int32_t>(76, type);
        feed(s);
    }
    void feed(const Packet& p) { lf_onRecvRunwayData(ctx, p.data(), p.size()); }
    std::optional<FacilityRunways> finish() { return lf_finishRunwayRead("LSZH", ctx); }

    RunwayReadContext ctx;
};

TEST_F(RunwayReadTest, PlausibilityRules)
{
    struct Case {
        const char* what;
        RunwayShape shape;
        bool ok;
    } cases[] = {
        {"09/27", {9, 0, 27, 0}, true},
        {"09/28", {9, 0, 28, 0}, false},
        {"36/18", {36, 0, 18, 0}, true},
        {"18/36", {18, 0, 36, 0}, true},
        {"N/S", {37, 0, 41, 0}, true},
        {"NE/SW", {38, 0, 42, 0}, true},
        {"N/E", {37, 0, 39, 0}, false},
        {"36/S", {36, 0, 41, 0}, false},
        {"45/45", {45, 0, 45, 0}, false},
        {"designator 7", {9, 7, 27, 0}, false},
        {"09L/27R", {9, 1, 27, 2}, true},
        {"length 10000 width 500", {9, 0, 27, 0, 90.0f, 10000.0f, 500.0f}, true},
        {"length 10001", {9, 0, 27, 0, 90.0f, 10001.0f, 45.0f}, false},
        {"width 501", {9, 0, 27, 0, 90.0f, 3000.0f, 501.0f}, false},
        {"length 0", {9, 0, 27, 0, 90.0f, 0.0f, 45.0f}, false},
        {"heading 360", {9, 0, 27, 0, 360.0f, 3000.0f, 45.0f}, false},
        {"heading NaN", {9, 0, 27, 0, std::nanf(""), 3000.0f, 45.0f}, false},
    };
    for (const auto& c : cases) {
        ctx = RunwayReadContext{};
        airport(1, 2);
        runway(c.shape);
        EXPECT_EQ(finish().has_value(), c.ok) << c.what;
    }
    EXPECT_NE(kvr::test::flushedLog().find("==> RUNWAY_HEADING: LSZH invalid or duplicate runway 09-28; correction "
                                           "disabled\n"),
              std::string::npos);
}

TEST_F(RunwayReadTest, IncompleteOrDuplicateAnswersAreRejected)
{
    airport(2, 4);
    runway({9, 1, 27, 2});
    runway({9, 1, 27, 0}); // 09L again
    EXPECT_FALSE(finish());

    ctx = RunwayReadContext{};
    airport(1, 0);
    runway({9, 0, 27, 0}, false); // no START records
    EXPECT_FALSE(finish());

    ctx = RunwayReadContext{};
    airport(2, 2);
    runway({9, 0, 27, 0});
    EXPECT_FALSE(finish());

    ctx = RunwayReadContext{};
    airport(1, 3);
    runway({9, 0, 27, 0});
    EXPECT_FALSE(finish());

    ctx = RunwayReadContext{};
    runway({9, 0, 27, 0}); // no airport record: altitude unknown
    EXPECT_FALSE(finish());

    const std::string log = kvr::test::flushedLog();
    EXPECT_NE(log.find("RUNWAY_HEADING: LSZH invalid or duplicate runway 09L-27; correction disabled"),
              std::string::npos);
    EXPECT_NE(log.find("RUNWAY_HEADING: LSZH incomplete runway data: advertised 2, returned 1; correction disabled"),
              std::string::npos);
    EXPECT_NE(log.find("RUNWAY_HEADING: LSZH incomplete START data: advertised 3, returned 2; correction disabled"),
              std::string::npos);
    EXPECT_NE(log.find("RUNWAY_HEADING: LSZH invalid Facilities airport altitude; correction disabled"),
              std::string::npos);
}

TEST_F(RunwayReadTest, StartsOfOtherTypesOrEndsAreNotAttached)
{
    airport(1, 4);
    runway({9, 0, 27, 0}, false);
    start(9, 0, 2);  // water start
    start(18, 0, 1); // no such end
    start(27, 0, 1);
    start(9, 0, 1);
    auto r = finish();
    ASSERT_TRUE(r);

    ctx = RunwayReadContext{};
    airport(1, 2);
    runway({9, 0, 27, 0}, false);
    start(9, 0, 2);
    start(27, 0, 1);
    EXPECT_FALSE(finish()); // the primary end has no runway start

    ctx = RunwayReadContext{};
    airport(1, 0);
    Packet shortRunway = facilityRecord(kRunways, 1, 91);
    feed(shortRunway);
    EXPECT_TRUE(ctx.failed);
}

TEST_F(RunwayReadTest, AHugeAdvertisedCountReservesNoMoreThanAnAirportNeeds)
{
    airport(0x7fffffff, 2);
    EXPECT_FALSE(ctx.failed);
    EXPECT_LE(ctx.runways.capacity(), 64u);
    runway({9, 0, 27, 0});
    EXPECT_EQ(ctx.runways.size(), 1u);
    EXPECT_FALSE(finish()); // the count does not match what came
    const std::string log = kvr::test::flushedLog();
    EXPECT_NE(log.find("==> RUNWAY_HEADING: advertised runway count 2147483647 not reserved\n"), std::string::npos);
    EXPECT_NE(log.find("incomplete runway data: advertised 2147483647, returned 1"), std::string::npos);
}

} // namespace
