// The parking plan on a small airport: entries from stand options and from
// parked traffic, the neighbour and presence checks, and the week arithmetic.
#include <gtest/gtest.h>

#include "feed/traffic_records.h"
#include "parking/parking_plan.h"
#include "tests/parking/parking_fixture.h"

namespace {

using kvr::test::option;

class ParkingPlanTest : public ::testing::Test {
protected:
    kvr::test::ParkingState state;
    ParkingSearchResult result;

    StandSearchContext context(WeekSlot now, int64_t needed = 10)
    {
        return {1, 1, now, now, 0, &result, needed};
    }
};

TEST_F(ParkingPlanTest, WeekSlotGoesBackAcrossMidnightAndTheWeek)
{
    struct Case {
        WeekSlot now;
        int32_t back;
        WeekSlot expected;
    } cases[] = {
        {{1, 2}, 5, {7, 45}}, {{1, 3}, 5, {7, 46}}, {{3, 10}, 0, {3, 10}}, {{3, 10}, 10, {3, 0}}, {{4, 0}, 47, {3, 1}},
    };
    for (const Case& c : cases) {
        const WeekSlot got = gf_weekSlotBack(c.now, c.back);
        EXPECT_EQ(got.weekday, c.expected.weekday) << c.now.weekday << "/" << c.now.halfHour << " - " << c.back;
        EXPECT_EQ(got.halfHour, c.expected.halfHour) << c.now.weekday << "/" << c.now.halfHour << " - " << c.back;
    }
}

TEST_F(ParkingPlanTest, SmallAirportPlansOncePerAircraftAndKeepsNeighboursFree)
{
    auto stands = kvr::test::rowOfStands(4);
    stands[0].exclusions = {2};
    stands[1].exclusions = {1};
    stands[0].options = {option("KLM", "B738", "KLM12", "PH-BXA", 1, {10})};
    stands[1].options = {option("DLH", "B738", "DLH4", "D-ABCD", 1, {10})};
    // The same registration again, then an aircraft of the wrong weekday and
    // one of another half-hour; the last one fits.
    stands[2].options = {option("KLM", "B738", "KLM14", "PH-BXA", 1, {10}), option("TRA", "B738", "TRA1", "PH-HZA", 2, {10}),
                         option("TRA", "B738", "TRA2", "PH-HZB", 1, {11}), option("TRA", "B738", "TRA3", "PH-HZC", 1, {10})};
    stands[3].options = {option("EZY", "B738", "EZY7", "G-EZAA", 1, {10})};
    kvr::test::loadStands(std::move(stands));
    const WeekSlot now{1, 10};

    std::vector<Stand>& table = gf_standTable().stands;
    EXPECT_FALSE(lf_planStaticAtStand(context(now), table[0]));
    EXPECT_FALSE(lf_planStaticAtStand(context(now), table[1])); // blocked by its planned neighbour
    EXPECT_FALSE(lf_planStaticAtStand(context(now), table[2]));
    ASSERT_EQ(gf_parkingPlanSize(), 2u);
    EXPECT_EQ(gf_parkingPlan()[0].callsign, "KLM12");
    EXPECT_EQ(gf_parkingPlan()[1].callsign, "TRA3");
    EXPECT_EQ(table[2].options[0].optionId, 0); // present already: unusable for the rest of the run
    EXPECT_EQ(table[2].options[1].optionId, 2);
    EXPECT_TRUE(table[1].blocked);
    EXPECT_EQ(result.airportFilePositions, 2);

    // The quota of three is reached with the third stand.
    EXPECT_TRUE(lf_planStaticAtStand(context(now, 3), table[3]));
    const ParkingPlanEntry& last = gf_parkingPlan().back();
    EXPECT_EQ(last.standId, 4);
    EXPECT_EQ(last.staticSource, 1u);
    EXPECT_EQ(last.rtParkedKey, 0u);
    EXPECT_EQ(last.registration, "G-EZAA");
    EXPECT_TRUE(last.keepsFirstCallsign);
}

TEST_F(ParkingPlanTest, NeighbourHeldByPlanOrStaticTakesTheStandButTheStandItselfDoesNot)
{
    auto stands = kvr::test::rowOfStands(3);
    stands[1].exclusions = {3};
    kvr::test::loadStands(std::move(stands));
    ParkingPlanEntry onSelf;
    onSelf.standId = 3;
    gf_parkingPlan().push_back(onSelf);
    EXPECT_FALSE(lf_standTakenByStaticOrPlan(3));
    ParkingPlanEntry onNeighbour;
    onNeighbour.standId = 2;
    gf_parkingPlan().push_back(onNeighbour);
    EXPECT_TRUE(lf_standTakenByStaticOrPlan(3));
    EXPECT_FALSE(lf_standTakenByStaticOrPlan(2)); // 3 does not list 2
    EXPECT_FALSE(lf_standTakenByStaticOrPlan(0));

    gf_clearParkingPlan();
    AircraftBase base;
    base.callsign = "KLM1*";
    StaticAircraft& st = gf_trafficState().aircraft.addStatic(StaticAircraft(base, 1, 2, {}, true));
    EXPECT_TRUE(lf_standTakenByStaticOrPlan(3));
    st.simState = SimState::removingfromsim;
    EXPECT_FALSE(lf_standTakenByStaticOrPlan(3));
    gf_liveStayers().push_back({"SWR1", "HB-JJA", 0, 2, 5});
    EXPECT_TRUE(lf_standTakenByStaticOrPlan(3));
}

TEST_F(ParkingPlanTest, PresenceChecksIgnoreEmptyTextsAndOneTrailingStar)
{
    AircraftBase base;
    base.callsign = "KLM12*";
    base.registration = "PH-BXA";
    StaticAircraft& st = gf_trafficState().aircraft.addStatic(StaticAircraft(base, 1, 1, {}, true));
    st.simState = SimState::active;
    EXPECT_FALSE(lf_isAircraftAlreadyPresent({"", "KLM12", ""})); // not kept: no match
    st.keepStand = 1;
    EXPECT_TRUE(lf_isAircraftAlreadyPresent({"", "KLM12", ""}));
    EXPECT_TRUE(lf_isAircraftAlreadyPresent({"", "X", "KLM12*"}));
    EXPECT_TRUE(lf_isAircraftAlreadyPresent({"PH-BXA", "", ""}));
    gf_liveStayers().push_back({"", "", 0, 3, 0});
    EXPECT_FALSE(lf_isAircraftAlreadyPresent({"", "", ""}));
    EXPECT_FALSE(lf_isAircraftAlreadyPresent({"PH-XXX", "KLM99", "KLM98"}));
}

TEST_F(ParkingPlanTest, DepartureInTheNextHalfHourShowsTheSecondCallsign)
{
    struct Case {
        WeekSlot now;
        std::vector<StandOption> options;
        bool keepsFirst;
    } cases[] = {
        {{1, 10}, {option("KLM", "B738", "KLM12", "PH-BXA", 1, {10}, "")}, true},
        {{1, 10}, {option("KLM", "B738", "KLM12", "PH-BXA", 1, {10, 11}, "KLM13")}, true},
        {{1, 10}, {option("KLM", "B738", "KLM12", "PH-BXA", 1, {10}, "KLM13")}, false},
        // Sunday 23:30: the next half-hour is Monday's first, from another option.
        {{7, 47},
         {option("KLM", "B738", "KLM12", "PH-BXA", 7, {47}, "KLM13"), option("KLM", "B738", "KLM13", "PH-BXA", 1, {0})},
         true},
        {{7, 47},
         {option("KLM", "B738", "KLM12", "PH-BXA", 7, {47}, "KLM13"), option("KLM", "B738", "KLM13", "PH-BXA", 1, {1})},
         false},
    };
    for (const Case& c : cases) {
        gf_clearParkingPlan();
        auto stands = kvr::test::rowOfStands(1);
        stands[0].options = c.options;
        kvr::test::loadStands(std::move(stands));
        lf_planStaticAtStand(context(c.now), gf_standTable().stands[0]);
        ASSERT_EQ(gf_parkingPlanSize(), 1u);
        EXPECT_EQ(gf_parkingPlan()[0].keepsFirstCallsign, c.keepsFirst) << c.now.weekday << "/" << c.now.halfHour;
    }
}

TEST_F(ParkingPlanTest, ParkedTrafficIsPlannedByGateUntilAnOlderRecordThanMaxFit)
{
    gf_modifyParameters([](Parameters& p) { p.MAX_FIT = 3; });
    kvr::test::loadStands(kvr::test::rowOfStands(4));
    auto record = [](uint32_t hexid, const char* callsign, int32_t age, int gate) {
        ParkedTrafficRecord r;
        r.hexid = hexid;
        r.callsign = callsign;
        r.registration = std::string("PH-") + callsign;
        r.ids.model = gf_modelCode2Id("B738");
        r.age = age;
        r.lat = 52.30;
        r.lon = 4.76 + 0.0015 * gate;
        r.stand = fmt::format("GATE A{}", gate);
        return r;
    };
    std::vector<ParkedTrafficRecord> parked = {record(0x480001, "KLM1", 0, 2), record(0x480002, "", 1, 3),
                                               record(0x480003, "KLM3", 2, 1), record(0x480004, "KLM4", 4, 3),
                                               record(0x480005, "KLM5", 1, 4)};
    lf_takeOverSeenTraffic(); // nothing seen live
    lf_planRtParkedAircraft(parked, 10);
    ASSERT_EQ(gf_parkingPlanSize(), 2u);
    EXPECT_EQ(gf_parkingPlan()[0].standId, 2);
    EXPECT_EQ(gf_parkingPlan()[0].rtParkedKey, 0x480001u);
    EXPECT_EQ(gf_parkingPlan()[0].staticSource, 0u);
    EXPECT_EQ(gf_parkingPlan()[1].standId, 1);
    EXPECT_EQ(gf_parkingPlan()[1].slotOffset, 2);
    // The airline comes from the callsign when the record has none.
    EXPECT_EQ(gf_airlineCodeText(gf_parkingPlan()[1].ids.airline), "KLM");

    // A quota of 0 plans nothing; a quota reached ends the walk.
    gf_clearParkingPlan();
    kvr::test::loadStands(kvr::test::rowOfStands(4));
    lf_planRtParkedAircraft(parked, 0);
    EXPECT_EQ(gf_parkingPlanSize(), 0u);
    lf_planRtParkedAircraft(parked, 1);
    EXPECT_EQ(gf_parkingPlanSize(), 1u);
}

} // namespace
