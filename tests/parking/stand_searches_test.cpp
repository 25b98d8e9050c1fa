// The stand searches of a parking run: which of the four searches run under
// the parking settings, static aircraft kept where their stand's options
// still fit, and RealTraffic's parked aircraft by age.
#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "engine/traffic_state.h"
#include "feed/traffic_records.h"
#include "parking/stand_options.h"
#include "parking/stand_searches.h"
#include "parking/stand_table.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

namespace {

constexpr uint32_t Mon = 1, Tue = 2;
const LatLon kBase{52.3, 4.76};

Stand stand(int32_t id, std::string name, double eastM = 0.0)
{
    Stand s;
    s.id = id;
    s.name = std::move(name);
    s.lat = kBase.latitude;
    s.lon = kBase.longitude + eastM / 1852.0 / 60.0 / 0.6106;
    s.radius = 0.02;
    s.type = 8; // GATE_SMALL
    return s;
}

ParkedTrafficRecord parked(uint32_t hexid, std::string callsign, int32_t age, std::string gate, double eastM)
{
    ParkedTrafficRecord r;
    r.hexid = hexid;
    r.callsign = std::move(callsign);
    r.age = age;
    r.stand = std::move(gate);
    r.lat = kBase.latitude;
    r.lon = kBase.longitude + eastM / 1852.0 / 60.0 / 0.6106;
    return r;
}

class StandSearchesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_openLog();
        gf_initTrafficState();
        setParameters([](Parameters&) {});
    }
    void TearDown() override
    {
        gf_initTrafficState();
        gf_clearStandTable();
        gf_standTable().softOptionCount = 0;
        {
            ParkedTrafficShare& share = gf_parkedTrafficOf(gf_isRTDirect() ? 2 : 1);
            std::lock_guard lock(share.mutex);
            share.list.clear();
        }
        g_parameters.store(std::make_shared<const Parameters>());
        gf_closeLog();
    }
    template <class F>
    void setParameters(F change)
    {
        Parameters p;
        change(p);
        g_parameters.store(std::make_shared<const Parameters>(p));
    }
    std::vector<std::string> searchesLogged()
    {
        gf_flushLog();
        const std::string log = kvr::test::logText();
        std::vector<std::string> labels;
        const std::regex line("Results for (\\S+) search");
        for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it)
            labels.push_back((*it)[1]);
        return labels;
    }
    StaticAircraft& addStatic(uint32_t key, int32_t standId, std::string reg)
    {
        AircraftBase model;
        model.registration = std::move(reg);
        model.callsign = "KLM" + std::to_string(key) + "*";
        StaticAircraft& ac = gf_trafficState().aircraft.addStatic(StaticAircraft(model, key, standId, {}, true));
        ac.simState = SimState::active;
        return ac;
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
        {true, false, false, 0, {"real", "real/week"}},
        {true, false, false, 3, {"real", "real/week", "soft", "soft/week"}},
        {false, false, true, 0, {"real"}},
        {false, false, true, 3, {"real", "soft"}},
        {false, true, false, 3, {"real", "real/week"}},
        {false, true, true, 3, {"real", "real/week", "soft", "soft/week"}},
    };
    gf_setStandTable({stand(1, "A1"), stand(2, "A2")});
    for (const Case& c : cases) {
        gf_closeLog();
        gf_openLog(); // each case reads a fresh log
        setParameters([&](Parameters& p) {
            p.AUTO_PARK = c.autoPark;
            p.WEEK = c.week;
            p.PARK_SOFT = c.soft;
            p.MAX_FIT = 3;
        });
        gf_standTable().softOptionCount = c.softOptions;
        lf_runStandSearches({Mon, 20}, 2);
        EXPECT_EQ(searchesLogged(), c.searches) << c.autoPark << c.week << c.soft << c.softOptions;
        EXPECT_EQ(g_parkedFromRTOnlyNow.load(), c.searches.size() > 1 && c.searches[1] == "real/week");
    }
    gf_closeLog();
    gf_openLog();
    lf_searchByKind({Mon, 20}, 1, 1, 0); // nothing needed: no result lines
    EXPECT_TRUE(searchesLogged().empty());
}

TEST_F(StandSearchesTest, RealSearchReachesBackMaxFitOrADay)
{
    // The real search takes parked aircraft of ages 0 to 3 at once, and of
    // age n at offset n: how far back it goes decides which are planned.
    struct Case {
        bool autoPark;
        int32_t maxFit;
        int32_t planned;
    };
    for (const Case& c : {Case{false, 4, 1}, Case{false, 5, 2}, Case{true, 0, 3}}) {
        gf_setStandTable({stand(1, "GATE E1"), stand(2, "GATE E2", 200.0), stand(3, "GATE E3", 400.0)});
        {
            ParkedTrafficShare& share = gf_parkedTrafficOf(gf_isRTDirect() ? 2 : 1);
            std::lock_guard lock(share.mutex);
            share.list = {parked(0x200001, "EEE1", 2, "GATE E1", 0.0), parked(0x200002, "EEE2", 5, "GATE E2", 200.0),
                          parked(0x200003, "EEE3", 47, "GATE E3", 400.0)};
        }
        setParameters([&](Parameters& p) {
            p.AUTO_PARK = c.autoPark;
            p.MAX_FIT = c.maxFit;
        });
        lf_searchByKind({Mon, 20}, 1, 1, 3);
        int32_t used = 0;
        for (int32_t id : {1, 2, 3})
            used += gf_standById(id)->used;
        EXPECT_EQ(used, c.planned) << c.autoPark << " " << c.maxFit;
    }
}

TEST_F(StandSearchesTest, StaticsStayWhereTheirOptionStillFits)
{
    std::vector<Stand> stands{stand(1, "B1"), stand(2, "B2"), stand(3, "B3"), stand(4, "B4")};
    auto addOption = [&](int32_t standId, uint32_t weekday, size_t slot, const std::string& reg) {
        StandOption o;
        o.registration = reg;
        o.optionId = static_cast<int32_t>(stands[standId - 1].options.size()) + 1;
        o.weekday = weekday;
        o.real = 1;
        o.halfHours.set(slot);
        stands[standId - 1].options.push_back(o);
    };
    addOption(1, Mon, 8, "PH-AAA");  // 2 half-hours ago
    addOption(2, Mon, 1, "PH-BBB");  // before the window of offset 2
    addOption(3, Tue, 10, "PH-CCC"); // another weekday
    addOption(4, Mon, 10, "PH-XXX"); // another registration
    gf_setStandTable(std::move(stands));
    addStatic(1, 1, "PH-AAA");
    addStatic(2, 2, "PH-BBB");
    addStatic(3, 3, "PH-CCC");
    addStatic(4, 4, "PH-DDD");
    StaticAircraft& fromRt = addStatic(5, 4, "PH-XXX");
    fromRt.parkedKey = 0x484C12; // RealTraffic's, kept by the other search

    ParkingSearchResult result;
    EXPECT_FALSE(lf_keepCompliantStatics({Mon, 10}, 2, false, result, 10));
    EXPECT_EQ(result.stayers, 1);
    const auto statics = gf_trafficState().aircraft.statics();
    EXPECT_EQ(statics[0].keepStand, 1);
    EXPECT_EQ(gf_standById(1)->used, 1);
    for (size_t i : {1u, 2u, 3u, 4u})
        EXPECT_EQ(statics[i].keepStand, 0) << i;

    // Any weekday and a longer reach keep the other two; the quota of 3 is
    // then reached.
    EXPECT_TRUE(lf_keepCompliantStatics({Mon, 10}, 9, true, result, 3));
    EXPECT_EQ(result.stayers, 3);
    EXPECT_EQ(statics[1].keepStand, 1);
    EXPECT_EQ(statics[2].keepStand, 1);
}

TEST_F(StandSearchesTest, RealTrafficParkedAircraftByAge)
{
    gf_setStandTable({stand(1, "GATE C1"), stand(2, "GATE C2", 200.0), stand(3, "GATE C3", 400.0)});
    {
        ParkedTrafficShare& share = gf_parkedTrafficOf(gf_isRTDirect() ? 2 : 1);
        std::lock_guard lock(share.mutex);
        share.list = {parked(0x100001, "AAA1", 0, "GATE C1", 0.0), parked(0x100002, "", 0, "GATE C2", 200.0),
                      parked(0x100003, "CCC3", 1, "GATE C3", 400.0), parked(0x100004, "DDD4", 0, "GATE C9", 200.0)};
    }
    ParkingSearchResult result;
    EXPECT_FALSE(lf_searchRtParkPositions(0, result, 5));
    EXPECT_EQ(result.rtParkPositions, 2); // by gate text, and the nearest stand for an unknown gate
    EXPECT_EQ(gf_standById(1)->used, 1);
    EXPECT_EQ(gf_standById(2)->used, 1);
    EXPECT_EQ(gf_standById(3)->used, 0);
    {
        ParkedTrafficShare& share = gf_parkedTrafficOf(gf_isRTDirect() ? 2 : 1);
        std::lock_guard lock(share.mutex);
        EXPECT_EQ(gf_airlineCodeText(share.list[0].ids.airline), "AAA"); // from the callsign
    }

    // A static aircraft made from a record keeps its stand; one whose stand
    // is used already ends the real search.
    AircraftBase model;
    model.hexid = 0x100003;
    StaticAircraft& kept = gf_trafficState().aircraft.addStatic(StaticAircraft(model, 7, 3, {}, true));
    EXPECT_TRUE(lf_searchRtParkPositions(1, result, 3));
    EXPECT_EQ(kept.keepStand, 1);
    EXPECT_EQ(result.stayers, 1);
    kept.keepStand = 0;
    EXPECT_TRUE(lf_searchRtParkPositions(1, result, 9));
    EXPECT_EQ(result.stayers, 1);
}

} // namespace
