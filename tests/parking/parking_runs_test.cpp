// Parking runs and limits: the quota of a run, the parked limit, the age
// order of static aircraft, the replacements of an adjustment and the
// removals of a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "airports/airport_ui.h"
#include "core/log.h"
#include "parking/parking_runs.h"
#include "tests/parking/parking_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

namespace {

class ParkingRunsTest : public ::testing::Test {
protected:
    kvr::test::ParkingState state;
    kvr::test::RecordingUiSink window;
    uint32_t nextObject = 100;

    StaticAircraft& addStatic(const std::string& callsign, int32_t standId, WeekSlot parked,
                              uint32_t source = 1)
    {
        AircraftBase base;
        base.callsign = callsign;
        StaticAircraft& st =
            gf_trafficState().aircraft.addStatic(StaticAircraft(base, gf_nextStaticKey(), standId, {}, true));
        st.simState = SimState::active;
        st.createdWeekSlot = parked;
        st.staticSource = source;
        gf_trafficState().aircraft.setObjectId(st, nextObject++);
        return st;
    }
    LiveAircraft& addParkedLive(uint32_t hexid, int64_t nearStandTicks)
    {
        AircraftBase base;
        base.hexid = hexid;
        base.callsign = fmt::format("L{}", hexid);
        LiveAircraft ac(TrafficSample{}, base, 0.0);
        ac.phase = FlightPhase::parked;
        ac.simState = SimState::active;
        ac.lastNearStandTicks = nearStandTicks;
        LiveAircraft& added = gf_trafficState().aircraft.addLive(std::move(ac));
        gf_trafficState().aircraft.setObjectId(added, nextObject++);
        return added;
    }
    template <typename Range>
    static std::set<std::string> removed(Range aircraft)
    {
        std::set<std::string> names;
        for (const AircraftBase& ac : aircraft)
            if (ac.simState == SimState::removingfromsim)
                names.insert(ac.callsign);
        return names;
    }
};

TEST_F(ParkingRunsTest, QuotaOfARunFollowsTheParkingMode)
{
    struct Case {
        bool rtOnly;
        int32_t percentage;
        int32_t maxSel;
        int stands;
        int32_t quota;
        uint32_t percent;
    } cases[] = {
        {false, 40, 500, 3, 1, 33}, {false, 50, 500, 3, 2, 67}, {false, 10, 500, 1, 1, 100},
        {false, 30, 10, 100, 10, 10}, {false, 30, 0, 100, 0, 0},  {true, 30, 12, 10, 10, 100},
        {true, 30, 0, 10, 0, 0},      {true, 30, 5, 10, 5, 50},
    };
    for (const Case& c : cases) {
        gf_modifyParameters([&](Parameters& p) {
            p.RT_PARKTRAFFIC_ONLY = c.rtOnly;
            p.parking_percentage = c.percentage;
            p.MAX_PARK_SEL = c.maxSel;
        });
        gf_setStandTable(kvr::test::rowOfStands(c.stands));
        window.clear();
        EXPECT_EQ(gf_parkingRunQuota(*gf_parametersSnapshot()), c.quota) << c.rtOnly << " " << c.stands;
        EXPECT_EQ(gf_standTable().staticQuota, c.quota);
        const auto shown = window.last<GuiUpdate::MaxPark>();
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->count, static_cast<uint32_t>(c.quota));
        EXPECT_EQ(shown->percent, c.percent) << c.rtOnly << " " << c.stands;
    }
}

TEST_F(ParkingRunsTest, ParkedLimitRemovesTheOldestAndCountsNoStaticTwice)
{
    kvr::test::setNow(1, 20);
    struct Case {
        int32_t quota;
        int live;
        int statics;
        uint8_t extra;
        size_t liveRemoved;
        size_t staticsRemoved;
    } cases[] = {
        {10, 12, 3, 0, 2, 3}, {10, 6, 6, 1, 0, 3}, {10, 5, 5, 0, 0, 0}, {-1, 30, 30, 1, 0, 0}, {0, 0, 2, 0, 0, 2},
    };
    for (const Case& c : cases) {
        gf_resetTrafficState();
        gf_initTrafficState();
        gf_standTable().staticQuota = c.quota;
        // Live aircraft i came near its stand at tick 100 + i; static i was
        // parked i half-hours ago.
        for (int i = 0; i < c.live; ++i)
            addParkedLive(0x400000u + i, 100 + i);
        for (int i = 0; i < c.statics; ++i)
            addStatic(fmt::format("S{}*", i), i + 1, {1, 20u - static_cast<uint32_t>(i)});
        gf_enforceParkedLimit(c.extra);
        const auto live = removed(gf_trafficState().aircraft.live());
        const auto statics = removed(gf_trafficState().aircraft.statics());
        EXPECT_EQ(live.size(), c.liveRemoved) << c.quota << " " << c.live << " " << c.statics;
        EXPECT_EQ(statics.size(), c.staticsRemoved) << c.quota << " " << c.live << " " << c.statics;
        for (size_t i = 0; i < c.liveRemoved; ++i)
            EXPECT_TRUE(live.contains(fmt::format("L{}", 0x400000u + i)));
        // The oldest statics are the ones with the highest numbers.
        for (size_t i = 0; i < c.staticsRemoved; ++i)
            EXPECT_TRUE(statics.contains(fmt::format("S{}*", c.statics - 1 - static_cast<int>(i))));
        // A second call while the removals wait removes nothing more.
        gf_enforceParkedLimit(c.extra);
        EXPECT_EQ(removed(gf_trafficState().aircraft.statics()).size(), c.staticsRemoved);
        EXPECT_EQ(removed(gf_trafficState().aircraft.live()).size(), c.liveRemoved);
    }
}

TEST_F(ParkingRunsTest, StaticAgeWrapsTheWeek)
{
    kvr::test::setNow(1, 1); // Monday 00:30
    addStatic("MON0*", 1, {1, 0});   // age 1
    addStatic("SUN46*", 2, {7, 46}); // age 3 across the week's end
    addStatic("MON1*", 3, {1, 1});   // age 0
    lf_removeNOldestStaticParked(1);
    EXPECT_EQ(removed(gf_trafficState().aircraft.statics()), std::set<std::string>{"SUN46*"});
    lf_removeNOldestStaticParked(5); // cut to the two still active
    EXPECT_EQ(removed(gf_trafficState().aircraft.statics()).size(), 3u);
    lf_removeNOldestStaticParked(0);

    // The mean age shown counts the aircraft of the week so far and now's slot.
    window.clear();
    EXPECT_EQ(gf_countStaticParked(true), 3u);
    const auto fit = window.last<GuiUpdate::StaticFit>();
    ASSERT_TRUE(fit);
    EXPECT_FLOAT_EQ(fit->value, 1.0f / 4.0f + 0.5f); // (1 + 0) / (2 x 2) + 0.5; Sunday's is left out
}

TEST_F(ParkingRunsTest, TurnaroundGetsItsDepartureCallsignAndUnchangedAircraftStay)
{
    kvr::test::setNow(2, 30);
    auto stands = kvr::test::rowOfStands(3);
    stands[0].options = {kvr::test::option("KLM", "B738", "KLM12", "PH-BXA", 2, {28, 29, 30}, "KLM13")};
    kvr::test::loadStands(std::move(stands));
    StaticAircraft& turnaround = addStatic("KLM12*", 1, {2, 28});
    turnaround.callsign2 = "KLM12";
    turnaround.text3 = "KLM13";
    turnaround.ids = gf_standTable().stands[0].options[0].aom;
    turnaround.keepStand = 1;
    const StaticAircraft& unchanged = addStatic("DLH4*", 2, {2, 29});

    lf_planDepartureCallsigns({2, 30});
    ASSERT_EQ(gf_parkingPlanSize(), 1u);
    EXPECT_FALSE(gf_parkingPlan()[0].keepsFirstCallsign);
    EXPECT_EQ(gf_parkingPlan()[0].slotOffset, 28);

    // DLH4 would be planned back unchanged on stand 2; stand 3 gets a new one.
    ParkingPlanEntry same;
    same.standId = 2;
    same.callsign = "DLH4";
    ParkingPlanEntry fresh;
    fresh.standId = 3;
    fresh.callsign = "EZY7";
    gf_parkingPlan().insert(gf_parkingPlan().begin(), {fresh, same});
    lf_addRemoval(unchanged, 2);
    lf_addRemoval(unchanged, 2); // listed once
    ASSERT_EQ(gf_removals().size(), 2u);

    lf_dropUnchangedReplacements();
    ASSERT_EQ(gf_removals().size(), 1u);
    EXPECT_EQ(gf_removals()[0].callsign, "KLM12*");
    ASSERT_EQ(gf_parkingPlanSize(), 2u);
    EXPECT_EQ(gf_parkingPlan()[0].callsign, "KLM12"); // its stand also has a removal: first
    EXPECT_EQ(gf_parkingPlan()[1].callsign, "EZY7");

    lf_removeRemovals();
    EXPECT_TRUE(gf_removals().empty());
    EXPECT_EQ(removed(gf_trafficState().aircraft.statics()), std::set<std::string>{"KLM12*"});
}

TEST_F(ParkingRunsTest, RealTrafficOnlyRenewalListsEachStaticOnceAndEmptyBuildReenablesControls)
{
    struct RecordingAirportUi final : AirportUi {
        int disabled = 0;
        int enabled = 0;
        int busy = 0;
        void disableParkingControls() override { ++disabled; }
        void enableParkingControls() override { ++enabled; }
        void setParkingBusy() override { ++busy; }
    } ui;
    AirportUi* before = gf_setAirportUi(&ui);
    kvr::test::ScopedTestFolders folders("parking_runs");
    gf_openLog();
    gf_modifyParameters([](Parameters& p) {
        p.RT_PARKTRAFFIC_ONLY = true;
        p.MAX_PARK_SEL = 4;
    });
    kvr::test::setNow(3, 12);
    kvr::test::loadStands(kvr::test::rowOfStands(4));
    addStatic("KLM1*", 1, {3, 10}, 1);
    addStatic("RT2*", 2, {3, 10}, 0);
    addStatic("KLM3*", 3, {3, 10}, 1);
    gf_adjustParking(true);
    EXPECT_EQ(removed(gf_trafficState().aircraft.statics()), (std::set<std::string>{"KLM1*", "KLM3*"}));

    gf_buildParkingPlan();
    EXPECT_EQ(ui.disabled, 1);
    EXPECT_EQ(ui.enabled, 1);
    gf_flushLog();
    const std::string text = kvr::test::logText();
    gf_closeLog();
    EXPECT_NE(text.find("RT Parking changes: 2 to be removed, 0 to be added"), std::string::npos) << text;
    EXPECT_NE(text.find("no parking positions found"), std::string::npos);
    gf_setAirportUi(before);
}

} // namespace
