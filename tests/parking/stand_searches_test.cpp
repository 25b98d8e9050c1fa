// The stand searches: which searches the parking settings run, how far back
// they reach, RealTraffic's parked aircraft by age, and static aircraft kept
// where their stand's options still fit.
#include <gtest/gtest.h>

#include <regex>

#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "engine/traffic_state.h"
#include "feed/traffic_records.h"
#include "parking/stand_searches.h"
#include "parking/stand_table.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

namespace {

constexpr uint32_t Mon = 1, Tue = 2;

// A small gate `eastM` metres east of a base point.
Stand gate(int32_t id, std::string name, double eastM)
{
    Stand s;
    s.id = id;
    s.name = std::move(name);
    s.lat = 52.3;
    s.lon = 4.76 + eastM / 1852.0 / 60.0 / 0.6106;
    s.radius = 0.02;
    s.type = 8;
    return s;
}

ParkedTrafficRecord parked(uint32_t hexid, std::string callsign, int32_t age, std::string gateText, double eastM)
{
    ParkedTrafficRecord r;
    r.hexid = hexid;
    r.callsign = std::move(callsign);
    r.age = age;
    r.stand = std::move(gateText);
    const Stand at = gate(0, "", eastM);
    r.lat = at.lat;
    r.lon = at.lon;
    return r;
}

class StandSearchesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_openLog();
        gf_initTrafficState();
    }
    void TearDown() override
    {
        setParked({});
        gf_initTrafficState();
        gf_clearStandTable();
        gf_standTable().softOptionCount = 0;
        g_parameters.store(std::make_shared<const Parameters>());
        gf_closeLog();
    }
    static void set(bool autoPark, bool week, bool soft, int32_t maxFit)
    {
        Parameters p;
        p.AUTO_PARK = autoPark;
        p.WEEK = week;
        p.PARK_SOFT = soft;
        p.MAX_FIT = maxFit;
        g_parameters.store(std::make_shared<const Parameters>(p));
    }
    static void setParked(std::vector<ParkedTrafficRecord> list)
    {
        ParkedTrafficShare& share = gf_parkedTrafficOf(gf_isRTDirect() ? 2 : 1);
        std::lock_guard lock(share.mutex);
        share.list = std::move(list);
    }
    static int32_t used()
    {
        int32_t n = 0;
        for (const Stand& s : gf_standTable().stands)
            n += s.used;
        return n;
    }

    kvr::test::ScopedTestFolders folders{"ss"};
    kvr::test::RecordingUiSink window;
};

TEST_F(StandSearchesTest, SettingsChooseTheSearches)
{
    struct Case {
        bool autoPark, week, soft;
        int32_t softOptions;
        std::vector<std::string> searches;
    };
    const Case cases[] = {
        {true, false, false, 0, {"real", "real/week"}},      {true, false, false, 3, {"real", "real/week", "soft", "soft/week"}},
        {false, false, true, 0, {"real"}},                   {false, false, true, 3, {"real", "soft"}},
        {false, true, false, 3, {"real", "real/week"}},      {false, true, true, 3, {"real", "real/week", "soft", "soft/week"}},
    };
    gf_setStandTable({gate(1, "A1", 0.0), gate(2, "A2", 200.0)});
    for (const Case& c : cases) {
        gf_closeLog();
        gf_openLog();
        set(c.autoPark, c.week, c.soft, 3);
        gf_standTable().softOptionCount = c.softOptions;
        lf_runStandSearches({Mon, 20}, 2);
        lf_searchByKind({Mon, 20}, 1, 1, 0); // nothing needed: no result lines
        gf_flushLog();
        const std::string log = kvr::test::logText();
        std::vector<std::string> ran;
        const std::regex line("Results for (\\S+) search");
        for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it)
            ran.push_back((*it)[1]);
        EXPECT_EQ(ran, c.searches) << c.autoPark << c.week << c.soft << c.softOptions;
        EXPECT_EQ(g_parkedFromRTOnlyNow.load(), ran.size() > 1 && ran[1] == "real/week");
    }
}

TEST_F(StandSearchesTest, RealTrafficParkedAircraftByAgeAndReach)
{
    // Ages 0 to 3 are taken at once, age n at offset n: MAX_FIT decides.
    for (const auto& [autoPark, maxFit, planned] : {std::tuple{false, 4, 1}, {false, 5, 2}, {true, 0, 3}}) {
        gf_setStandTable({gate(1, "GATE E1", 0.0), gate(2, "GATE E2", 200.0), gate(3, "GATE E3", 400.0)});
        setParked({parked(1, "EEE1", 2, "GATE E1", 0.0), parked(2, "EEE2", 5, "GATE E2", 200.0),
                   parked(3, "EEE3", 47, "GATE E3", 400.0)});
        set(autoPark, false, false, maxFit);
        lf_searchByKind({Mon, 20}, 1, 1, 3);
        EXPECT_EQ(used(), planned) << autoPark << " " << maxFit;
    }

    // By gate text, else the nearest stand; no callsign, another age: skipped.
    gf_setStandTable({gate(1, "GATE C1", 0.0), gate(2, "GATE C2", 200.0), gate(3, "GATE C3", 400.0)});
    setParked({parked(11, "AAA1", 0, "GATE C1", 0.0), parked(12, "", 0, "GATE C2", 200.0),
               parked(13, "CCC3", 1, "GATE C3", 400.0), parked(14, "DDD4", 0, "GATE C9", 200.0)});
    ParkingSearchResult result;
    EXPECT_FALSE(lf_searchRtParkPositions(0, result, 5));
    EXPECT_EQ(result.rtParkPositions, 2);
    EXPECT_EQ(used(), 2);

    // A static made from a record keeps its stand; once that stand is used
    // the real search ends.
    AircraftBase model;
    model.hexid = 13;
    StaticAircraft& kept = gf_trafficState().aircraft.addStatic(StaticAircraft(model, 7, 3, {}, true));
    EXPECT_TRUE(lf_searchRtParkPositions(1, result, 3));
    EXPECT_EQ(kept.keepStand, 1);
    kept.keepStand = 0;
    EXPECT_TRUE(lf_searchRtParkPositions(1, result, 9));
    EXPECT_EQ(result.stayers, 1);
}

TEST_F(StandSearchesTest, StaticsStayWhereTheirOptionStillFits)
{
    std::vector<Stand> stands{gate(1, "B1", 0.0), gate(2, "B2", 200.0), gate(3, "B3", 400.0)};
    const std::pair<uint32_t, size_t> optionAt[] = {{Mon, 8}, {Mon, 1}, {Tue, 10}};
    for (size_t i = 0; i < stands.size(); ++i) {
        StandOption o;
        o.registration = "PH-AA" + std::to_string(i);
        o.optionId = 1;
        o.weekday = optionAt[i].first;
        o.real = 1;
        o.halfHours.set(optionAt[i].second);
        stands[i].options = {o};
    }
    gf_setStandTable(std::move(stands));
    for (int32_t i = 0; i < 3; ++i) {
        AircraftBase model;
        model.registration = "PH-AA" + std::to_string(i);
        gf_trafficState().aircraft.addStatic(StaticAircraft(model, 1 + i, 1 + i, {}, true)).simState = SimState::active;
    }
    const auto statics = gf_trafficState().aircraft.statics();
    // Today, two half-hours back from 10: only the option at 8.
    ParkingSearchResult result;
    EXPECT_FALSE(lf_keepCompliantStatics({Mon, 10}, 2, false, result, 10));
    EXPECT_EQ(result.stayers, 1);
    EXPECT_EQ(statics[0].keepStand + statics[1].keepStand + statics[2].keepStand, 1);
    // Any weekday, nine back: the other two, and the quota of 3 is reached.
    EXPECT_TRUE(lf_keepCompliantStatics({Mon, 10}, 9, true, result, 3));
    EXPECT_EQ(result.stayers, 3);
}

} // namespace
