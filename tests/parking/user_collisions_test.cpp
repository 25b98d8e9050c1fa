// The user aircraft against the airport and the traffic: airborne or not,
// nearness to a runway, and the collision removals against the stand-in.
#include <gtest/gtest.h>

#include <cmath>

#include "parking/runway_table.h"
#include "parking/user_collisions.h"
#include "simlink/user_aircraft.h"
#include "tests/parking/runway_fixture.h"
#include "tests/simlink/packet_builder.h"

namespace {

// The simulator's position report of the user aircraft with its height
// above ground.
void reportUser(double lat, double lon, double aglFt)
{
    kvr::test::Packet p = kvr::test::simObjectData(108, 1, 120);
    p.put<double>(40, lat).put<double>(48, lon).put<double>(40 + 64, aglFt);
    lf_onSimObjectData(p.data(), p.size());
}

TEST(UserAirborneTest, OnGroundFlagAndHeightAboveGround)
{
    struct Case {
        bool onGround;
        double agl;
        bool airborne;
    } cases[] = {
        {false, 0.0, true},  {true, 600.0, true},          {true, 500.0, false},
        {true, 20.0, false}, {true, std::nan(""), false}, {true, INFINITY, false},
    };
    for (const Case& c : cases) {
        gf_resetUserAircraftState();
        reportUser(47.0, 8.0, c.agl);
        userOnGround.store(c.onGround);
        EXPECT_EQ(lf_userIsAirborne(), c.airborne) << c.onGround << " " << c.agl;
    }
    gf_resetUserAircraftState();
}

TEST(NearAnyRunwayTest, HalfTheLengthPlusFifteenHundredMetres)
{
    EXPECT_FALSE(gf_isNearAnyRunway(kvr::test::pointFromEnd(kvr::test::syntheticRunway(0, 0, 90, 3000, 45, 9, 0, 27, 0),
                                                            true, 0.0))); // empty table
    const auto runway = kvr::test::syntheticRunway(0, 0, 90.0, 3000, 45, 9, 0, 27, 0);
    const auto other = kvr::test::syntheticRunway(0, 20000, 90.0, 0.0, 45, 9, 1, 27, 2); // no length: passed over
    runwayTable.runways = kvr::test::runwayRecords({other, runway});
    const LatLon centre{runway.latitude, runway.longitude};
    auto at = [&](double metres) { return gf_destinationPoint(centre, {0.3, metres * kvr::test::kFeetPerMetreT}); };
    EXPECT_TRUE(gf_isNearAnyRunway(at(2999.0)));
    EXPECT_FALSE(gf_isNearAnyRunway(at(3001.0)));
    EXPECT_FALSE(gf_isNearAnyRunway({other.latitude, other.longitude}));
    EXPECT_FALSE(gf_isNearAnyRunway({0.0, 0.0}));
    gf_clearRunwayTable();
}

} // namespace
