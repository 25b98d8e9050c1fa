// The parking plan on a small airport: entries from stand options and from
// parked traffic, the neighbour and presence checks.
#include <gtest/gtest.h>

#include "engine/static_placement.h"
#include "feed/traffic_records.h"
#include "parking/stand_searches.h"
#include "tests/parking/parking_fixture.h"

namespace {

using kvr::test::option;

class ParkingPlanTest : public ::testing::Test {
protected:
    kvr::test::ParkingState state;
    ParkingSearchResult result;
    bool plan(WeekSlot now, int standId, int64_t needed = 10)
    {
        return lf_planStaticAtStand({1, 1, now, now, 0, &result, needed}, *gf_standById(standId));
    }
};

TEST_F(ParkingPlanTest, SmallAirportPlansEachAircraftOnceAndKeepsNeighboursFree)
{
    auto stands = kvr::test::rowOfStands(4);
    stands[0].exclusions = {2};
    stands[0].options = {option("KLM", "KLM12", "PH-BXA", 1, {10})};
    stands[1].options = {option("DLH", "DLH4", "D-ABCD", 1, {10})};
    // The same registration again, another weekday, another half-hour, then one that fits.
    stands[2].options = {option("KLM", "KLM14", "PH-BXA", 1, {10}), option("TRA", "TRA1", "PH-HZA", 2, {10}),
                         option("TRA", "TRA2", "PH-HZB", 1, {11}), option("TRA", "TRA3", "PH-HZC", 1, {10})};
    stands[3].options = {option("EZY", "EZY7", "G-EZAA", 1, {10})};
    kvr::test::loadStands(std::move(stands));
    for (int id = 1; id <= 3; ++id)
        EXPECT_FALSE(plan({1, 10}, id));
    ASSERT_EQ(gf_parkingPlanSize(), 2u); // stand 2 is blocked by its planned neighbour
    EXPECT_EQ(gf_parkingPlan()[1].callsign, "TRA3");
    EXPECT_EQ(gf_standById(3)->options[0].optionId, 0); // present already: unusable for the run
    EXPECT_TRUE(plan({1, 10}, 4, 3)); // the quota of three is reached

    // A neighbour held by a static aircraft counts, the stand itself does not.
    gf_clearParkingPlan();
    gf_standTable().stands[1].exclusions = {3};
    state.addStatic("KLM1*", 2, SimState::buffer);
    EXPECT_TRUE(lf_standTakenByStaticOrPlan(3));
    EXPECT_FALSE(lf_standTakenByStaticOrPlan(2));
}

TEST_F(ParkingPlanTest, DepartureInTheNextHalfHourShowsTheSecondCallsign)
{
    auto keepsFirst = [&](WeekSlot now, std::vector<StandOption> options) {
        gf_clearParkingPlan();
        auto stands = kvr::test::rowOfStands(1);
        stands[0].options = std::move(options);
        kvr::test::loadStands(std::move(stands));
        plan(now, 1);
        return gf_parkingPlanSize() == 1 ? static_cast<int>(gf_parkingPlan()[0].keepsFirstCallsign) : -1;
    };
    EXPECT_EQ(keepsFirst({1, 10}, {option("KLM", "KLM12", "PH-BXA", 1, {10, 11}, "KLM13")}), 1);
    EXPECT_EQ(keepsFirst({1, 10}, {option("KLM", "KLM12", "PH-BXA", 1, {10}, "KLM13")}), 0);
    // Sunday 23:30: the next half-hour is Monday's first, read from another option.
    EXPECT_EQ(keepsFirst({7, 47}, {option("KLM", "KLM12", "PH-BXA", 7, {47}, "KLM13"), option("KLM", "KLM13", "", 1, {0})}), 1);
}

TEST_F(ParkingPlanTest, StaticStaysOnlyWhileItsFlightIsNotSeenLive)
{
    auto stands = kvr::test::rowOfStands(2);
    stands[0].options = {option("KLM", "KLM12", "PH-BXA", 1, {10})};
    kvr::test::loadStands(std::move(stands));
    StaticAircraft& st = state.addStatic("KLM12*", 1);
    st.identity.registration = "PH-BXA";
    st.identity.ids = gf_standById(1)->options[0].aom;
    SeenTrafficCollector& seen = gf_seenTrafficOf(gf_isRTDirect() ? TrafficSource::rtDirect : TrafficSource::rtApp);
    for (const bool live : {false, true}) {
        seen.reset();
        if (live)
            seen.add({"KLM12", 0x484001}); // the same flight reported live elsewhere
        lf_takeOverSeenTraffic();
        st.stand.keepStand = 0;
        gf_standById(1)->used = 0;
        EXPECT_EQ(lf_keepCompliantStatics({1, 10}, 0, false, result, 10), false);
        EXPECT_EQ(st.stand.keepStand, live ? 0 : 1) << live;
    }
    seen.clear();
    lf_takeOverSeenTraffic(); // nothing seen for the tests that follow
}

TEST_F(ParkingPlanTest, ParkedTrafficIsPlannedByGateUntilARecordOlderThanMaxFit)
{
    gf_modifyParameters([](Parameters& p) { p.MAX_FIT = 3; });
    kvr::test::loadStands(kvr::test::rowOfStands(4));
    auto record = [](uint32_t hexid, const char* callsign, int32_t age, int gate) {
        ParkedTrafficRecord r;
        r.hexid = hexid;
        r.callsign = callsign;
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
    lf_planRtParkedAircraft(parked, 0);
    EXPECT_EQ(gf_parkingPlanSize(), 0u);
    lf_planRtParkedAircraft(parked, 10);
    ASSERT_EQ(gf_parkingPlanSize(), 2u);
    const ParkingPlanEntry& first = gf_parkingPlan()[0];
    EXPECT_EQ(first.standId, 2);
    EXPECT_EQ(first.rtParkedKey, 0x480001u);
    EXPECT_EQ(gf_parkingPlan()[1].standId, 1);
    EXPECT_EQ(gf_parkingPlan()[1].slotOffset, 2);
    EXPECT_EQ(gf_airlineCodeText(first.ids.airline), "KLM"); // from the callsign
}

} // namespace
