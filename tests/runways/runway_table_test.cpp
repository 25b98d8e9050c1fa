// The runway table against the stand-in simulator's facility data: loads of
// a synthetic airport and of Amsterdam with their summary lines, the points
// near each runway end, rejected reads, the checks of one runway, the
// airport altitude and the ignore list.
#include <gtest/gtest.h>

#include <mutex>
#include <sstream>

#include "airports/airport_database.h"
#include "core/geodesy.h"
#include "engine/traffic_state.h"
#include "runways/runway_matching.h"
#include "runways/runway_table.h"
#include "simlink/facility_reader.h"
#include "tests/runways/runway_fixture.h"
#include "tests/simlink/sim_test_support.h"
#include "tests/simlink/standin_fixture.h"

namespace {

using json = nlohmann::json;

// Every line of the log that carries the runway prefix, in order.
std::vector<std::string> runwayLines()
{
    std::vector<std::string> out;
    std::istringstream in(kvr::test::flushedLog());
    for (std::string line; std::getline(in, line);)
        if (line.find("RUNWAY_HEADING: ") != std::string::npos)
            out.push_back(line);
    return out;
}

void setCurrentAirport(const std::string& icao, double lat, double lon, double altitudeFt)
{
    std::unique_lock lock(engineLock);
    CurrentAirport = CurrentAirportRecord{IcaoCode(icao).code, lat, lon, altitudeFt};
}

class RunwayTableTest : public kvr::test::StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        base = std::make_unique<kvr::test::SimLinkTestBase>("runwaytable");
        gf_clearRunwayTable();
    }
    void TearDown() override
    {
        gf_clearRunwayTable();
        gf_closeParkingReader();
        setCurrentAirport("ZZZZ", 0.0, 0.0, 0.0);
        base.reset();
        StandinTest::TearDown();
    }
    size_t facilityRequests()
    {
        size_t n = 0;
        for (const auto& call : sim.trace("calls"))
            n += call["fn"] == "SimConnect_RequestFacilityData";
        return n;
    }
    // Loads the airport into the stand-in and the table; the table must then
    // hold these runways, in order.
    void loadAirport(const std::string& icao, double lat, double lon, double elevationFt,
                     const std::vector<RunwayRecord>& specs)
    {
        ASSERT_TRUE(sim.load({{"airports", {kvr::test::facilityAirport(icao, lat, lon, elevationFt, specs)}}}));
        setCurrentAirport(icao, lat, lon, elevationFt);
        lf_loadRunwayTable(IcaoCode(icao), "stock");
        ASSERT_EQ(runwayTable.runways.size(), specs.size());
        for (size_t i = 0; i < specs.size(); ++i)
            EXPECT_EQ(gf_runwayText(runwayTable.runways[i]), gf_runwayText(specs[i]));
    }
    // A point on each centre line 300 m from each end, heading down the
    // runway from that end, matches that runway and that end.
    void expectEndsMatch(const std::vector<RunwayRecord>& specs)
    {
        for (const RunwayRecord& r : specs) {
            for (bool primary : {true, false}) {
                const LatLon point = kvr::test::pointFromEnd(r, primary, 300.0);
                const double heading = std::fmod(r.heading + (primary ? 0.0 : 180.0), 360.0) * std::numbers::pi / 180.0;
                const std::string end = primary ? gf_primaryEndText(r) : gf_secondaryEndText(r);
                SCOPED_TRACE(end);
                const RunwayMatch m = lf_matchRunway(point, heading, true, 75.0);
                ASSERT_TRUE(m.valid);
                EXPECT_EQ(m.runwayText, gf_runwayText(r));
                EXPECT_EQ(m.endText, end);
                EXPECT_NEAR(m.distanceFromStart, 300.0, 2.0);
                EXPECT_NEAR(m.crossTrack, 0.0, 2.0);
                const auto under = gf_runwayUnderAircraft(point, heading);
                ASSERT_TRUE(under);
                EXPECT_EQ(under->endText, end);
                EXPECT_EQ(gf_runwayNameAt(point, heading), end);
                const auto at = gf_runwayAtPosition(point, heading);
                ASSERT_TRUE(at);
                const RunwayThreshold& t = primary ? r.primaryThreshold : r.secondaryThreshold;
                EXPECT_NEAR(*at->distancePastThreshold, 300.0 - (t.enabled ? t.length : 0.0), 2.0);
            }
        }
    }
    std::unique_ptr<kvr::test::SimLinkTestBase> base;
};

TEST_F(RunwayTableTest, SyntheticAirportLoadsOnceAndMatchesEveryEnd)
{
    const auto specs = kvr::test::syntheticAirport();
    loadAirport("XRWY", kvr::test::kSyntheticLat, kvr::test::kSyntheticLon, kvr::test::kSyntheticElevationFt, specs);
    EXPECT_EQ(runwayLines(), std::vector<std::string>{"RUNWAY_HEADING: XRWY 12 runways: 01-19, 04L-22R, 04R-22L, "
                                                      "09C-27C, 09L-27R, 09R-27L, 13A-31A, 13B-31B, 18W-36W, E-W, "
                                                      "N-S, NE-SW"});
    EXPECT_EQ(runwayTable.icao, "XRWY");
    EXPECT_EQ(runwayTable.source, "stock");
    // The same airport and source again: nothing is read.
    lf_loadRunwayTable(IcaoCode("XRWY"), "stock");
    EXPECT_EQ(facilityRequests(), 1u);
    EXPECT_EQ(runwayTable.runways.size(), 12u);
    expectEndsMatch(specs);
}

TEST_F(RunwayTableTest, AmsterdamAsPublishedMatchesEveryEnd)
{
    const auto specs = kvr::test::amsterdamRunways();
    ASSERT_EQ(specs.size(), 6u);
    loadAirport("EHAM", 52.308601, 4.76389, -11.0, specs);
    EXPECT_EQ(runwayLines(),
              std::vector<std::string>{"RUNWAY_HEADING: EHAM 6 runways: 04-22, 06-24, 09-27, 18C-36C, 18L-36R, 18R-36L"});
    expectEndsMatch(specs);
    // 36C's displaced threshold of 1476 ft counts from its own end.
    const RunwayRecord& c = specs[3];
    const auto at = gf_runwayAtPosition(kvr::test::pointFromEnd(c, false, 600.0),
                                        std::fmod(c.heading + 180.0, 360.0) * std::numbers::pi / 180.0);
    ASSERT_TRUE(at);
    EXPECT_EQ(at->endText, "36C");
    EXPECT_NEAR(*at->distancePastThreshold, 600.0 - 1476 * 0.3048, 2.0);
}

TEST_F(RunwayTableTest, RejectedReadsLeaveNoRunwaysAndAreReadAgain)
{
    auto specs = kvr::test::syntheticAirport();
    specs.resize(2);
    specs[1].primaryDesignator = 1; // a second 09L
    specs[1].secondaryDesignator = 2;
    ASSERT_TRUE(sim.load({{"airports", {kvr::test::facilityAirport("XDUP", 40.0, -75.0, 120.0, specs)}}}));
    setCurrentAirport("XDUP", 40.0, -75.0, 120.0);
    lf_loadRunwayTable(IcaoCode("XDUP"), "stock");
    EXPECT_TRUE(runwayTable.runways.empty());
    EXPECT_TRUE(runwayTable.icao.empty());
    lf_loadRunwayTable(IcaoCode("XDUP"), "stock"); // nothing kept: read again
    EXPECT_EQ(facilityRequests(), 2u);

    // Runways without their START records.
    json airport = kvr::test::facilityAirport("XNOS", 40.0, -75.0, 120.0, kvr::test::syntheticAirport());
    airport["facility"].erase("START");
    ASSERT_TRUE(sim.load({{"airports", {airport}}}));
    lf_loadRunwayTable(IcaoCode("XNOS"), "stock");
    EXPECT_TRUE(runwayTable.runways.empty());
    EXPECT_EQ(runwayLines(), (std::vector<std::string>{
                                 "==> RUNWAY_HEADING: XDUP invalid or duplicate runway 09L-27R; correction disabled",
                                 "==> RUNWAY_HEADING: reading runway facilities for XDUP failed",
                                 "==> RUNWAY_HEADING: XDUP invalid or duplicate runway 09L-27R; correction disabled",
                                 "==> RUNWAY_HEADING: reading runway facilities for XDUP failed",
                                 "==> RUNWAY_HEADING: XNOS invalid or duplicate runway 09L-27R; correction disabled",
                                 "==> RUNWAY_HEADING: reading runway facilities for XNOS failed",
                             }));
}

TEST_F(RunwayTableTest, AirportAltitudeDifferenceIsLoggedAndRunwaysKept)
{
    const auto specs = kvr::test::syntheticAirport();
    ASSERT_TRUE(sim.load({{"airports", {kvr::test::facilityAirport("XRWY", 40.0, -75.0, 1300.0, specs)}}}));
    setCurrentAirport("XRWY", 40.0, -75.0, 1150.0);
    lf_loadRunwayTable(IcaoCode("XRWY"), "stock");
    EXPECT_EQ(runwayTable.runways.size(), 12u);
    const auto lines = runwayLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "==> RUNWAY_HEADING: XRWY airport altitude difference too large: Facilities=1300.0 ft, "
                        "airport file=1150.0 ft, difference=+150.0 ft");
}

TEST_F(RunwayTableTest, IgnoredRunwaysAreRemovedForTheirSourceOnly)
{
    auto a = kvr::test::syntheticRunway(0, 0, 60.0, 2000, 45, 6, 0, 24, 0);
    auto b = kvr::test::syntheticRunway(0, 500, 100.0, 2000, 45, 10, 0, 28, 0);
    ASSERT_TRUE(sim.load({{"airports", {kvr::test::facilityAirport("CYUL", 40.0, -75.0, 120.0, {a, b})}}}));
    setCurrentAirport("CYUL", 40.0, -75.0, 120.0);
    lf_loadRunwayTable(IcaoCode("CYUL"), "stock");
    ASSERT_EQ(runwayTable.runways.size(), 1u);
    EXPECT_EQ(gf_runwayText(runwayTable.runways[0]), "06-24");
    lf_loadRunwayTable(IcaoCode("CYUL"), "custom");
    EXPECT_EQ(runwayTable.runways.size(), 2u);
    EXPECT_EQ(runwayLines(), (std::vector<std::string>{
                                 "RUNWAY_HEADING: CYUL stock runway 10-28 ignored: permanently converted to Taxiway C",
                                 "RUNWAY_HEADING: CYUL 1 runway: 06-24",
                                 "RUNWAY_HEADING: CYUL 2 runways: 06-24, 10-28",
                             }));
    // The other way round, at the other airport of the list.
    std::set<std::string> texts{"26-08"};
    RunwayIgnoreContext yyc{"CYYC", "stock", texts};
    EXPECT_TRUE(lf_logIgnoredRunway(yyc, kvr::test::syntheticRunway(0, 0, 260.0, 2000, 45, 26, 0, 8, 0)));
    EXPECT_TRUE(texts.empty());
    EXPECT_FALSE(lf_logIgnoredRunway(yyc, kvr::test::syntheticRunway(0, 0, 260.0, 2000, 45, 26, 1, 8, 2)));
}

// ---- The checks of one runway ------------------------------------------------

TEST_F(RunwayTableTest, EachDoubtAboutARunwayIsLoggedWithItsReason)
{
    using kvr::test::syntheticRunway;
    const LatLon reference{40.0, -75.0};
    struct Case {
        const char* name;
        RunwayRecord runway;
        std::vector<std::string> reasons;
    };
    auto record = [](RunwayRecord r, auto change) {
        change(r);
        return r;
    };
    const RunwayRecord base = syntheticRunway(0, 0, 90.0, 3000, 45, 9, 0, 27, 0);
    std::vector<Case> cases{
        {"clean", record(base, [](RunwayRecord&) {}), {}},
        {"designators", record(syntheticRunway(0, 0, 90.0, 3000, 45, 9, 1, 27, 1), [](RunwayRecord&) {}),
         {"09L-27L: runway designators are not reciprocal"}},
        {"numbers", record(syntheticRunway(0, 0, 90.0, 3000, 45, 9, 0, 28, 0), [](RunwayRecord&) {}),
         {"09-28: runway numbers are not reciprocal"}},
        {"3003.5 m apart", record(syntheticRunway(0, 0, 90.0, 3003.5, 45, 9, 0, 27, 0),
                                  [](RunwayRecord& r) { r.length = 3000.0; }),
         {"09-27: endpoint distance differs from facility length"}},
        {"3002.5 m apart", record(syntheticRunway(0, 0, 90.0, 3002.5, 45, 9, 0, 27, 0),
                                  [](RunwayRecord& r) { r.length = 3000.0; }),
         {}},
        {"500 m runway 1.2 m off", record(syntheticRunway(0, 0, 90.0, 501.2, 45, 9, 0, 27, 0),
                                          [](RunwayRecord& r) { r.length = 500.0; }),
         {"09-27: endpoint distance differs from facility length"}},
        {"500 m runway 0.8 m off", record(syntheticRunway(0, 0, 90.0, 500.8, 45, 9, 0, 27, 0),
                                          [](RunwayRecord& r) { r.length = 500.0; }),
         {}},
        {"bearing", record(base, [](RunwayRecord& r) { r.heading = 90.2; }),
         {"09-27: endpoint bearing differs from facility heading"}},
        {"heading 360", record(base, [](RunwayRecord& r) { r.heading = 360.0; }),
         {"09-27: invalid facility heading", "09-27: endpoint bearing differs from facility heading"}},
        {"sloped", record(base,
                          [](RunwayRecord& r) {
                              r.primaryStart.altitude = r.altitude + 60.0;
                              r.secondaryStart.altitude = r.altitude - 60.0;
                          }),
         {}},
        {"both ends high", record(base,
                                  [](RunwayRecord& r) {
                                      r.primaryStart.altitude = r.altitude + 60.0;
                                      r.secondaryStart.altitude = r.altitude + 60.0;
                                  }),
         {"09-27: primary START altitude 180.0 ft differs from runway center 120.0 ft; using runway center altitude",
          "09-27: secondary START altitude 180.0 ft differs from runway center 120.0 ft; using runway center "
          "altitude"}},
        {"start missing", record(base, [](RunwayRecord& r) { r.secondaryStart.present = false; }),
         {"09-27: one or both runway START records are missing"}},
        {"far away", record(syntheticRunway(0, 20000, 90.0, 3000, 45, 9, 0, 27, 0), [](RunwayRecord&) {}),
         {"09-27: center is more than 10 NM from airport reference point"}},
        {"no position", record(base,
                               [](RunwayRecord& r) {
                                   r.secondaryLatitude = 0.0;
                                   r.secondaryLongitude = 0.0;
                               }),
         {"09-27: invalid center or endpoint coordinates"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gf_closeLog();
        gf_openLog();
        std::set<std::string> texts;
        lf_validateRunway("XRWY", reference, c.runway, texts);
        std::vector<std::string> expected;
        for (const std::string& reason : c.reasons)
            expected.push_back("==> RUNWAY_HEADING: XRWY runway " + reason);
        EXPECT_EQ(runwayLines(), expected);
        EXPECT_EQ(texts.size(), 1u);
    }
    // The same designation twice.
    gf_closeLog();
    gf_openLog();
    std::set<std::string> texts;
    lf_validateRunway("XRWY", reference, base, texts);
    lf_validateRunway("XRWY", reference, base, texts);
    EXPECT_EQ(runwayLines(), std::vector<std::string>{"==> RUNWAY_HEADING: XRWY runway 09-27: duplicate runway "
                                                      "designation"});
}

TEST(PickAltitudeTest, StartAltitudeWithinFiftyFeetOrSlopedElseCentre)
{
    const double nan = std::nan("");
    struct Case {
        double r;
        std::optional<double> a, b;
        double altitude;
        bool corrected;
    } cases[] = {
        {100.0, 150.0, std::nullopt, 150.0, false}, // exactly 50 ft off
        {100.0, 151.0, std::nullopt, 100.0, true},
        {100.0, 160.0, 40.0, 160.0, false},  // sloped
        {100.0, 160.0, 160.0, 100.0, true},  // both high
        {100.0, 160.0, 60.0, 100.0, true},   // the other end within 50 ft
        {100.0, std::nullopt, 300.0, 100.0, false},
        {100.0, nan, 300.0, 100.0, false},
        {nan, 80.0, std::nullopt, 80.0, false},
    };
    for (const Case& c : cases) {
        const PickedAltitude p = gf_pickAltitude(c.r, c.a, c.b);
        EXPECT_EQ(p.altitude, c.altitude);
        EXPECT_EQ(p.corrected, c.corrected);
    }
    EXPECT_TRUE(std::isnan(gf_pickAltitude(nan, std::nullopt, 5.0).altitude));
}

TEST(NearAnyRunwayTest, HalfTheLengthPlusFifteenHundredMetres)
{
    EXPECT_FALSE(gf_isNearAnyRunway(kvr::test::pointFromEnd(kvr::test::syntheticRunway(0, 0, 90, 3000, 45, 9, 0, 27, 0),
                                                            true, 0.0))); // empty table
    const auto runway = kvr::test::syntheticRunway(0, 0, 90.0, 3000, 45, 9, 0, 27, 0);
    const auto other = kvr::test::syntheticRunway(0, 20000, 90.0, 0.0, 45, 9, 1, 27, 2); // no length: passed over
    runwayTable.runways = {other, runway};
    const LatLon centre{runway.latitude, runway.longitude};
    auto at = [&](double metres) { return gf_destinationPoint(centre, {0.3, metres * kvr::test::kFeetPerMetreT}); };
    EXPECT_TRUE(gf_isNearAnyRunway(at(2999.0)));
    EXPECT_FALSE(gf_isNearAnyRunway(at(3001.0)));
    EXPECT_FALSE(gf_isNearAnyRunway({other.latitude, other.longitude}));
    EXPECT_FALSE(gf_isNearAnyRunway({0.0, 0.0}));
    gf_clearRunwayTable();
}

} // namespace
