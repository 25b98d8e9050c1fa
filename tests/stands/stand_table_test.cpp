// The stand table: ids and names, reservations with their excluded
// neighbours, the static quota and the stand at a position from any thread.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "airports/park_airports.h"
#include "engine/aircraft.h"
#include "stands/stand_table.h"
#include "simlink/user_aircraft.h"
#include "tests/support/ui_recorder.h"
#include "engine/stand_questions.h"

namespace {

constexpr double kDeg = 3.141592653589793 / 180.0;
const LatLon kBase{52.3, 4.76};

// The point north and east of kBase by the given metres on the flat measure
// that the stand lookup uses.
LatLon flatOffset(double northM, double eastM)
{
    return {kBase.latitude + northM / 1852.0 / 60.0,
            kBase.longitude + eastM / 1852.0 / (60.0 * std::cos(kBase.latitude * kDeg))};
}

Stand makeStand(int32_t id, std::string name, const LatLon& at, std::vector<uint32_t> exclusions = {})
{
    Stand s;
    s.id = id;
    s.name = std::move(name);
    s.lat = at.latitude;
    s.lon = at.longitude;
    s.exclusions = std::move(exclusions);
    s.type = StandType::GATE_MEDIUM;
    return s;
}

class StandTableTest : public ::testing::Test {
protected:
    void SetUp() override { userOnGround.store(true); }
    void TearDown() override
    {
        gf_clearStandTable();
        userOnGround.store(false);
    }
};

TEST_F(StandTableTest, IdsNamesAndReservations)
{
    gf_setStandTable({makeStand(1, "G1", kBase, {2, 3, 4, 0, 99}), makeStand(2, "G2", kBase),
                      makeStand(3, "G3", kBase, {5}), makeStand(4, "G4", kBase), makeStand(7, "odd", kBase)});
    EXPECT_EQ(gf_standNameById(0), "sid==0?");
    EXPECT_EQ(gf_standNameById(6), "sid==?");
    EXPECT_EQ(gf_standById(5), nullptr); // element 5 carries id 7
    EXPECT_EQ(lf_standByName("odd"), nullptr);
    EXPECT_EQ(lf_standByName("G2")->id, 2);

    EXPECT_FALSE(gf_reserveStand(3, 5)); // one used of five wanted
    EXPECT_TRUE(gf_reserveStand(1, 2));  // two used now; G3 is blocked although it is used
    for (int32_t id : {2, 3, 4})
        EXPECT_EQ(gf_standById(id)->blocked, 1) << id;
    gf_standById(2)->blocked = 0;
    EXPECT_FALSE(gf_reserveStand(1, 0)); // already used: nothing changes
    EXPECT_EQ(gf_standById(2)->blocked, 0);

    EXPECT_TRUE(gf_isSameOrAdjacentStand(1, 4));
    EXPECT_FALSE(gf_isSameOrAdjacentStand(4, 1));
    EXPECT_TRUE(lf_standOrAdjacentHasName(*gf_standById(1), "G3"));
    EXPECT_FALSE(lf_standOrAdjacentHasName(*gf_standById(3), "G1"));
    EXPECT_EQ(lf_formatStandExclusions(gf_standById(1)->exclusions, 1), "          G1      : excludes G2, G3, G4, sid==?");
}

TEST_F(StandTableTest, UserStandAndItsNeighbours)
{
    gf_setStandTable({makeStand(1, "H1", kBase, {2}), makeStand(2, "H2", kBase), makeStand(3, "H3", kBase)});
    gf_blockUserStandForStatic("H1", "User");
    EXPECT_EQ(gf_standById(2)->blocked, 1);
    EXPECT_EQ(gf_standById(3)->blocked, 0);

    gf_setCurrentParkAirport(IcaoCode("EHAM"), kBase);
    ASSERT_TRUE(gf_setCurrentReservedStand(IcaoCode("EHAM"), "H2"));
    EXPECT_TRUE(lf_isUserStandOrAdjacent(*gf_standById(1)));
    EXPECT_FALSE(lf_isUserStandOrAdjacent(*gf_standById(3)));
    std::lock_guard lock(gf_parkAirportList().mutex);
    gf_parkAirportList().airports.clear();
}

TEST_F(StandTableTest, StandAtPositionReachAndTies)
{
    gf_setStandTable({makeStand(1, "S1", kBase), makeStand(2, "S2", flatOffset(0.0, 200.0)),
                      makeStand(3, "S3", flatOffset(0.0, 220.0)), makeStand(4, "S4", flatOffset(0.0, 180.0))});
    // Each query first goes far away, so that this thread's last answer is not reused.
    const auto freshQuery = [](const LatLon& at) {
        gf_findStandAtPosition(flatOffset(5000.0, 0.0));
        return gf_findStandAtPosition(at);
    };
    EXPECT_EQ(freshQuery(flatOffset(19.9999, 0.0)), "S1");
    EXPECT_EQ(freshQuery(flatOffset(0.0, -19.9999)), "S1");
    EXPECT_EQ(freshQuery(flatOffset(20.01, 0.0)), "");
    EXPECT_EQ(freshQuery(flatOffset(12.0, -15.99)), "S1");
    EXPECT_EQ(freshQuery(flatOffset(12.0, -16.01)), "");
    EXPECT_EQ(freshQuery(flatOffset(0.0, 210.0)), "S2"); // S2 and S3 both 10 m away: the earlier wins
    EXPECT_EQ(freshQuery(flatOffset(0.0, 185.0)), "S4"); // the nearest wins over table order
    userOnGround.store(false);
    EXPECT_EQ(gf_findStandAtPosition(kBase), ""); // airborne: never at a stand
}

TEST_F(StandTableTest, StandAtPositionCacheFollowsMovesAndNewTables)
{
    gf_setStandTable({makeStand(1, "C1", kBase)});
    EXPECT_EQ(gf_findStandAtPosition(flatOffset(19.0, 0.0)), "C1");
    // 2 m further (21 m from the stand) is within the 0.003 NM the answer is kept for.
    EXPECT_EQ(gf_findStandAtPosition(flatOffset(21.0, 0.0)), "C1");
    // 10 m further is not.
    EXPECT_EQ(gf_findStandAtPosition(flatOffset(29.0, 0.0)), "");
    EXPECT_EQ(gf_findStandAtPosition(flatOffset(19.0, 0.0)), "C1");
    // A new table is asked again at once.
    gf_setStandTable({makeStand(1, "D1", flatOffset(19.0, 0.0))});
    EXPECT_EQ(gf_findStandAtPosition(flatOffset(19.0, 0.0)), "D1");
    gf_clearStandTable();
    EXPECT_EQ(gf_findStandAtPosition(flatOffset(19.0, 0.0)), "");
}

TEST_F(StandTableTest, SnapshotIsReadFromOtherThreadsAndNeverChanges)
{
    gf_setStandTable({makeStand(1, "T1", kBase), makeStand(2, "T2", flatOffset(100.0, 0.0))});
    const std::shared_ptr<const StandSnapshot> held = gf_standSnapshot();
    std::string seen;
    std::thread([&] { seen = gf_findStandAtPosition(flatOffset(99.0, 0.0)); }).join();
    EXPECT_EQ(seen, "T2");

    gf_setStandTable({makeStand(1, "U1", kBase)});
    ASSERT_EQ(held->size(), 2u); // a held snapshot keeps what it had
    EXPECT_EQ((*held)[1].name, "T2");
    std::thread([&] { seen = gf_findStandAtPosition(flatOffset(99.0, 0.0)); }).join();
    EXPECT_EQ(seen, "");
}

TEST_F(StandTableTest, StaticQuota)
{
    struct Case {
        size_t stands;
        int32_t percentage, limit, quota;
        uint32_t percent;
    };
    const Case cases[] = {
        {3, 40, 500, 1, 33},  {3, 50, 500, 2, 67}, {1, 10, 500, 1, 100}, {1, 90, 500, 1, 100},
        {10, 30, 500, 3, 30}, {10, 30, 2, 2, 20},  {10, 30, 0, 0, 0},    {0, 50, 500, 1, 0},
        {2, 49, 500, 1, 50},  {4, 10, 500, 0, 0},
    };
    kvr::test::RecordingUiSink window;
    for (const Case& c : cases) {
        std::vector<Stand> stands;
        for (size_t i = 0; i < c.stands; ++i)
            stands.push_back(makeStand(static_cast<int32_t>(i + 1), "Q" + std::to_string(i + 1), kBase));
        gf_setStandTable(std::move(stands));
        EXPECT_EQ(gf_setStaticStandQuota(c.percentage, c.limit), c.quota) << c.stands << " stands " << c.percentage;
        EXPECT_EQ(gf_standTable().staticQuota, c.quota);
        const auto shown = window.all<GuiUpdate::MaxPark>();
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().count, static_cast<uint32_t>(c.quota));
        EXPECT_EQ(shown.back().percent, c.percent) << c.stands << " stands " << c.percentage;
    }
}

TEST_F(StandTableTest, StandByGateText)
{
    AircraftBase large;
    large.identity.category = Category::Large;
    const std::vector<Stand> stands{makeStand(1, "B123", kBase), makeStand(2, "GATE B12", flatOffset(240.0, 0.0))};
    EXPECT_EQ(gf_findStandByGateText(stands, "GATE B12", kBase, gf_standFitQuery(large)), 2);
    EXPECT_EQ(gf_findStandByGateText(stands, "GATE B12", flatOffset(-20.0, 0.0), gf_standFitQuery(large)), 0); // 260 m away
    EXPECT_EQ(gf_findStandByGateText(stands, "GATE B1", kBase, gf_standFitQuery(large)), 0);                   // not a whole word
    EXPECT_EQ(gf_findStandByGateText(stands, "RAMP B12", kBase, gf_standFitQuery(large)), 0);                  // not a gate text

    // A heavy named at gate 5 passes over the stands it cannot use: a GA ramp,
    // a stand without type, a helipad and a gate too narrow for it.
    AircraftBase heavy;
    heavy.identity.category = Category::Heavy;
    heavy.identity.radius = 0.016; // 30 m
    std::vector<Stand> five{makeStand(1, "RAMP GA 5", kBase), makeStand(2, "5", kBase), makeStand(3, "H 5", kBase),
                            makeStand(4, "GATE 5", kBase), makeStand(5, "GATE 5", kBase)};
    five[0].type = StandType::RAMP_GA_SMALL;
    five[1].type = StandType::NONE;
    five[2].type = StandType::GATE_HEAVY;
    five[2].helipad = 1;
    for (Stand& s : five)
        s.radius = 0.02;
    five[3].type = StandType::GATE_HEAVY;
    five[3].radius = 0.01; // 18.5 m
    five[4].type = StandType::GATE_HEAVY;
    EXPECT_EQ(gf_findStandByGateText(five, "GATE 5", kBase, gf_standFitQuery(heavy)), 5);
}

} // namespace
