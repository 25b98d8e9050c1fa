// Parking runs and limits: the quota of a run, the parked limit with the age
// order of static aircraft, the replacements of an adjustment.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "airports/airport_ui.h"
#include "core/clock.h"
#include "core/log.h"
#include "engine/engine.h"
#include "engine/static_placement.h"
#include "parking/parking_runs.h"
#include "engine/parked_limits.h"
#include "parking/stand_search_index.h"
#include "parking/stand_searches.h"
#include "tests/parking/parking_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

namespace {

using Names = std::set<std::string>;

class ParkingRunsTest : public ::testing::Test {
protected:
    kvr::test::ParkingState state;
    kvr::test::RecordingUiSink window;
    Names removedStatics() { return state.callsigns(gf_trafficState().aircraft.statics()); }
};

TEST_F(ParkingRunsTest, QuotaOfARunFollowsTheParkingMode)
{
    struct Case {
        bool rtOnly;
        int32_t maxSel, quota;
        uint32_t percent;
    } cases[] = {{false, 500, 2, 67}, {false, 1, 1, 33}, {true, 12, 3, 100}, {true, 0, 0, 0}, {true, 2, 2, 67}};
    gf_setStandTable(kvr::test::rowOfStands(3));
    for (const Case& c : cases) {
        gf_modifyParameters([&](Parameters& p) {
            p.RT_PARKTRAFFIC_ONLY = c.rtOnly;
            p.parking_percentage = 50;
            p.MAX_PARK_SEL = c.maxSel;
        });
        EXPECT_EQ(gf_parkingRunQuotaFor(*gf_parametersSnapshot()), c.quota) << c.rtOnly << " " << c.maxSel;
        EXPECT_EQ(gf_parkingRunQuota(*gf_parametersSnapshot()), c.quota) << c.rtOnly << " " << c.maxSel;
        EXPECT_EQ(gf_standTable().staticQuota, c.quota);
        EXPECT_EQ(window.last<GuiUpdate::MaxPark>()->percent, c.percent) << c.rtOnly << " " << c.maxSel;
    }
}

TEST_F(ParkingRunsTest, EngineClockCatchesUpWithARunOfFiveMillisecondsOrMore)
{
    for (const auto& [ms, ticks] : {std::pair{4, 0}, {5, 1}, {14, 1}, {15, 2}, {2000, 200}}) {
        const int32_t before = engineClock.load();
        EXPECT_EQ(gf_catchUpEngineClock(ms), ticks) << ms;
        EXPECT_EQ(engineClock.load() - before, ticks) << ms;
    }
}

TEST_F(ParkingRunsTest, ParkedLimitRemovesTheOldestAcrossTheWeekAndCountsNoStaticTwice)
{
    struct Case {
        int32_t quota;
        int live, statics;
        uint8_t extra;
        size_t liveRemoved, staticsRemoved;
    } cases[] = {{10, 12, 3, 0, 2, 3}, {10, 6, 6, 1, 0, 3}, {10, 5, 5, 0, 0, 0}, {-1, 30, 30, 1, 0, 0}, {0, 0, 2, 0, 0, 2}};
    for (const Case& c : cases) {
        gf_resetTrafficState();
        gf_initTrafficState();
        kvr::test::setNow(1, 1); // Monday 00:30: the older statics were parked on Sunday
        gf_standTable().staticQuota = c.quota;
        // Live i came near its stand at tick 100 + i; static i parked i half-hours ago.
        for (int i = 0; i < c.live; ++i)
            state.addLive(0x400000u + i, FlightPhase::parked).stream.lastNearStandTicks = 100 + i;
        for (int i = 0; i < c.statics; ++i)
            state.addStatic(fmt::format("S{}*", i), i + 1, SimState::active, gf_weekSlotBack({1, 1}, i));
        for (int call = 0; call < 2; ++call) { // the second call, while the removals wait, removes nothing more
            gf_enforceParkedLimit(c.extra);
            const Names live = state.callsigns(gf_trafficState().aircraft.live());
            const Names statics = removedStatics();
            ASSERT_EQ(live.size(), c.liveRemoved) << c.quota << " " << c.live << " " << c.statics;
            ASSERT_EQ(statics.size(), c.staticsRemoved) << c.quota << " " << c.live << " " << c.statics;
            for (size_t i = 0; i < c.liveRemoved; ++i)
                EXPECT_TRUE(live.contains(fmt::format("L{:x}", 0x400000u + i)));
            for (size_t i = 0; i < c.staticsRemoved; ++i) // the oldest have the highest numbers
                EXPECT_TRUE(statics.contains(fmt::format("S{}*", c.statics - 1 - static_cast<int>(i))));
        }
    }
}

TEST_F(ParkingRunsTest, TurnaroundGetsItsDepartureCallsignAndUnchangedAircraftStay)
{
    auto stands = kvr::test::rowOfStands(3);
    stands[0].options = {kvr::test::option("KLM", "KLM12", "PH-BXA", 2, {28, 29, 30}, "KLM13")};
    kvr::test::loadStands(std::move(stands));
    StaticAircraft& turnaround = state.addStatic("KLM12*", 1, SimState::active, {2, 28});
    turnaround.identity.callsign2 = "KLM12";
    turnaround.identity.callsign3 = "KLM13";
    turnaround.identity.ids = gf_standById(1)->options[0].aom;
    turnaround.stand.keepStand = 1;
    const StaticAircraft& unchanged = state.addStatic("DLH4*", 2);

    // Still standing there in the next half-hour: it keeps its arrival callsign.
    lf_planDepartureCallsigns({2, 28});
    EXPECT_EQ(gf_parkingPlanSize(), 0u);
    EXPECT_TRUE(gf_removals().empty());
    lf_planDepartureCallsigns({2, 30});
    ASSERT_EQ(gf_parkingPlanSize(), 1u);
    EXPECT_FALSE(gf_parkingPlan()[0].keepsFirstCallsign);
    EXPECT_EQ(gf_parkingPlan()[0].slotOffset, 28);
    // DLH4 would be planned back unchanged on stand 2; stand 3 gets a new one.
    ParkingPlanEntry same, fresh;
    same.standId = 2;
    same.callsign = "DLH4";
    fresh.standId = 3;
    fresh.callsign = "EZY7";
    gf_parkingPlan().insert(gf_parkingPlan().begin(), {fresh, same});
    lf_addRemoval(unchanged, 2);
    lf_addRemoval(unchanged, 2); // listed once
    lf_dropUnchangedReplacements();
    ASSERT_EQ(gf_removals().size(), 1u);
    ASSERT_EQ(gf_parkingPlanSize(), 2u);
    EXPECT_EQ(gf_parkingPlan()[0].callsign, "KLM12"); // its stand also has a removal: first
    lf_removeRemovals();
    EXPECT_TRUE(gf_removals().empty());
    EXPECT_EQ(removedStatics(), Names{"KLM12*"});
}

// A busy airport made from a seed: options of three categories over the
// week, real and soft, registrations that repeat, neighbours that exclude
// each other, helipads; statics and live aircraft that name some options.
void loadBusyAirport(kvr::test::ParkingState& state, unsigned seed)
{
    static const char* models[] = {"B738", "B738", "C172", "EC35"};
    std::mt19937 random(seed);
    auto stands = kvr::test::rowOfStands(60);
    for (Stand& s : stands) {
        if (s.id > 1 && s.id % 3 != 0)
            s.exclusions = {static_cast<uint32_t>(s.id - 1), static_cast<uint32_t>(s.id + 1)};
        s.helipad = s.id % 17 == 0;
        for (int k = 0; k < 12; ++k) {
            const int from = static_cast<int>(random() % 40);
            const std::string cs = fmt::format("KLM{}", random() % 300);
            const std::string reg = fmt::format("PH-{}", random() % 500);
            StandOption o = kvr::test::option("KLM", cs.c_str(), reg.c_str(), static_cast<uint32_t>(random() % 7 + 1),
                                              {from, from + 1, from + 2 + static_cast<int>(random() % 6)},
                                              k % 3 == 0 ? "KLM999" : "");
            o.aom.model = gf_modelCode2Id(models[random() % 4]);
            o.real = random() % 3 == 0 ? 0 : 1;
            s.options.push_back(std::move(o));
        }
    }
    kvr::test::loadStands(std::move(stands));
    gf_standTable().softOptionCount = 100;
    for (int i = 0; i < 12; ++i) {
        const int32_t standId = static_cast<int32_t>(random() % 60 + 1);
        const StandOption& o = gf_standById(standId)->options[random() % 12];
        StaticAircraft& st = state.addStatic(fmt::format("S{}*", i), standId,
                                             i % 5 == 0 ? SimState::removingfromsim : SimState::active, {3, 20});
        st.identity.registration = o.registration;
        st.identity.ids = o.aom;
    }
    for (uint32_t i = 0; i < 30; ++i) {
        LiveAircraft& ac = state.addLive(0x400000u + i, i % 4 == 0 ? FlightPhase::parked : FlightPhase::flying,
                                         SimState::active, i % 4 == 0 ? static_cast<int32_t>(random() % 60 + 1) : 0);
        ac.identity.registration = fmt::format("PH-{}", random() % 500);
    }
}

// What a run decided: the plan, the stands' flags, the options it took out
// and what became of the statics.
std::string runOutcome()
{
    std::string out;
    for (const ParkingPlanEntry& e : gf_parkingPlan())
        out += fmt::format("plan {} {} {} {} {}\n", e.standId, e.callsign, e.registration, e.slotOffset,
                           e.keepsFirstCallsign);
    for (const Stand& s : gf_standTable().stands) {
        out += fmt::format("stand {} {}{}", s.id, s.used, s.blocked);
        for (const StandOption& o : s.options)
            out += o.optionId == 0 ? "-" : "+";
        out += '\n';
    }
    for (const StaticAircraft& st : gf_trafficState().aircraft.statics())
        out += fmt::format("static {} {} {}\n", st.identity.callsign, static_cast<int>(st.sim.simState), st.stand.keepStand);
    return out;
}

TEST_F(ParkingRunsTest, IndexedSearchesPlanWhatThePlainPassesPlan)
{
    struct Case {
        int32_t percentage;
        bool autoPark, random, light;
    } cases[] = {{30, true, false, true}, {100, true, false, true}, {100, false, true, false}, {60, false, true, true}};
    kvr::test::setNow(3, 30);
    for (const Case& c : cases) {
        gf_modifyParameters([&](Parameters& p) {
            p.parking_percentage = c.percentage;
            p.MAX_PARK_SEL = 500;
            p.AUTO_PARK = c.autoPark;
            p.MAX_FIT = 20;
            p.WEEK = true;
            p.PARK_SOFT = true;
            p.RANDOM = c.random;
            p.LIGHT_AIRCRAFT = c.light;
            p.RT_PARKTRAFFIC_ONLY = false;
        });
        std::string outcome[2];
        for (const bool indexed : {false, true}) {
            gf_resetTrafficState();
            gf_initTrafficState();
            gf_clearParkingPlan();
            loadBusyAirport(state, 5);
            gf_setStandSearchIndexForTesting(indexed);
            gf_threadRandomEngine().seed(9);
            searchDirectionToggle = true;
            gf_buildParkingPlan();
            outcome[indexed] = runOutcome();
            gf_adjustParking(false);
            outcome[indexed] += runOutcome();
        }
        gf_setStandSearchIndexForTesting(true);
        EXPECT_NE(outcome[1].find("plan "), std::string::npos) << c.percentage;
        EXPECT_EQ(outcome[1], outcome[0]) << c.percentage << " " << c.autoPark;
    }
}

TEST_F(ParkingRunsTest, RealTrafficOnlyRenewalAndAnEmptyBuild)
{
    struct Ui final : AirportUi {
        int enabled = 0;
        void enableParkingControls() override { ++enabled; }
    } ui;
    AirportUi* before = gf_setAirportUi(&ui);
    kvr::test::ScopedTestFolders folders("parking_runs");
    gf_openLog();
    gf_modifyParameters([](Parameters& p) { p.RT_PARKTRAFFIC_ONLY = true; });
    kvr::test::loadStands(kvr::test::rowOfStands(4));
    state.addStatic("KLM1*", 1);
    state.addStatic("RT2*", 2).sim.staticSource = 0;
    gf_adjustParking(true); // only the airport-file statics go, each once
    EXPECT_EQ(removedStatics(), Names{"KLM1*"});
    gf_buildParkingPlan();
    EXPECT_EQ(ui.enabled, 1);
    gf_flushLog();
    const std::string text = kvr::test::logText();
    gf_closeLog();
    gf_setAirportUi(before);
    EXPECT_NE(text.find("RT Parking changes: 1 to be removed, 0 to be added"), std::string::npos) << text;
    EXPECT_NE(text.find("no parking positions found"), std::string::npos);
}

TEST_F(ParkingRunsTest, AnAdjustmentShowsAndLogsItsCountsAsALineOfItsOwn)
{
    kvr::test::ScopedTestFolders folders("parking_adjustments");
    gf_openLog();
    gf_modifyParameters([](Parameters& p) {
        p.RT_PARKTRAFFIC_ONLY = false;
        p.parking_percentage = 0;
        p.MAX_PARK_SEL = 0;
    });
    kvr::test::loadStands(kvr::test::rowOfStands(2));
    state.addStatic("KLM1*", 1);
    gf_adjustParking(false);
    gf_flushLog();
    const std::string text = kvr::test::logText();
    gf_closeLog();
    const std::string shown = "Parking adjustments: 1 to be removed, 0 to be added\n";
    std::vector<std::string> messages;
    for (const auto& m : window.all<GuiUpdate::Message>())
        messages.push_back(m.text);
    EXPECT_NE(std::find(messages.begin(), messages.end(), shown), messages.end());
    // An empty line before it, and the line end it carries after it.
    EXPECT_NE(text.find("\n\n" + shown + "\n"), std::string::npos) << text;
}

} // namespace
