// The user aircraft against the traffic: the collision removals against the
// stand-in.
#include <gtest/gtest.h>

#include <cmath>

#include <set>

#include "core/geodesy.h"
#include "engine/engine.h"
#include "engine/per_tick_update.h"
#include "engine/traffic_state.h"
#include "liveries/model_database.h"
#include "runways/runway_table.h"
#include "engine/user_collisions.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/user_aircraft.h"
#include "tests/runways/runway_fixture.h"
#include "tests/simlink/packet_builder.h"
#include "tests/simlink/sim_client_fixture.h"

namespace {

// ---- Collisions against the stand-in -----------------------------------------

constexpr double kFeetPerMetre = 3.2808399;
constexpr double kUserLat = 47.45;
constexpr double kUserLon = 8.56;

// The user aircraft stands on the ground heading east; the engine's live and
// static aircraft around it own objects of the stand-in, so that a removal
// can be followed to the simulator.
class UserCollisionTest : public kvr::test::SimClientTest {
protected:
    void SetUp() override
    {
        SimClientTest::SetUp();
        gf_initTrafficState();
        auto& db = gf_modelDatabase();
        b738 = gf_modelCode2Id("B738");
        db.WingspanTable[b738] = 17.9 / 1852.0; // the user's type term
    }
    void TearDown() override
    {
        gf_modelDatabase().WingspanTable[b738] = 0.0;
        gf_resetTrafficState();
        SimClientTest::TearDown();
    }
    // The user on the ground (or `aglFt` above it) at the reference point,
    // as the simulator reports it and as the engine holds it.
    void userAt(double aglFt)
    {
        sim.load({{"ground_ft", 100.0},
                  {"user",
                   {{"lat", kUserLat}, {"lon", kUserLon}, {"alt_ft", 100.0 + aglFt}, {"on_ground", aglFt == 0.0},
                    {"heading_deg", 90.0}, {"gs_kt", 0.0}}}});
        connect();
        gf_postDataRequest(DataRequestKind::UserPosition);
        frames(1);
        gf_postDataRequest(DataRequestKind::UserOnGround);
        frames(1);
        ASSERT_DOUBLE_EQ(gf_getUserAcPosition().latitude, kUserLat);
        ASSERT_EQ(userOnGround.load(), aglFt == 0.0);
        gf_publishUserAcPosition(gf_getUserAcPosition());
        objectIds = createObjects(6);
        ASSERT_EQ(objectIds.size(), 6u);
    }
    // A point `metres` from the user along `bearingDeg`.
    static LatLon from(double bearingDeg, double metres)
    {
        return gf_destinationPoint({kUserLat, kUserLon}, {bearingDeg * std::numbers::pi / 180.0, metres * kFeetPerMetre});
    }
    LiveAircraft& live(const std::string& callsign, const LatLon& at, bool onGround, double radiusM = 20.0)
    {
        LiveAircraft a;
        a.identity.hexid = 0x400000u + nextObject;
        a.identity.callsign = callsign;
        a.motion.lat = at.latitude;
        a.motion.lon = at.longitude;
        a.phases.groundMode = onGround ? 1 : 0;
        a.identity.radius = radiusM / 1852.0;
        a.sim.simState = SimState::active;
        LiveAircraft& added = gf_trafficState().aircraft.addLive(std::move(a));
        gf_trafficState().aircraft.setObjectId(added, objectIds.at(nextObject++));
        return added;
    }
    StaticAircraft& parked(const std::string& callsign, const LatLon& at, double radiusM = 20.0)
    {
        StaticAircraft a;
        a.identity.hexid = gf_nextStaticKey();
        a.identity.callsign = callsign;
        a.stand.standLat = at.latitude;
        a.stand.standLon = at.longitude;
        a.identity.radius = radiusM / 1852.0;
        a.sim.simState = SimState::active;
        StaticAircraft& added = gf_trafficState().aircraft.addStatic(std::move(a));
        gf_trafficState().aircraft.setObjectId(added, objectIds.at(nextObject++));
        return added;
    }
    // Hands every queued removal to the simulator link and returns the
    // objects that the stand-in has removed at the client's request.
    std::set<uint32_t> removedInSim()
    {
        while (gf_handOnOneRemoval())
            frames(2);
        std::set<uint32_t> removed;
        for (const auto& o : trace("objects"))
            if (!o["removed_frame"].is_null() && o["removed_by"] == "client")
                removed.insert(o["object_id"].get<uint32_t>());
        return removed;
    }
    // Live aircraft are found again by hexid after every change of the table.
    static SimState stateOf(uint32_t hexid) { return gf_trafficState().aircraft.findLive(hexid)->sim.simState; }

    ModelId b738 = 0;
    std::vector<uint32_t> objectIds;
    size_t nextObject = 0;
};

TEST_F(UserCollisionTest, GroundContactRemovesOneAircraftPerCallLiveBeforeStatic)
{
    userAt(0.0);
    // In table order: one in the air above the user, two touching on the
    // ground, one out of reach; a parked one under the user.
    const uint32_t air = live("AIR1", from(0.0, 5.0), false).identity.hexid;
    const uint32_t first = live("GND1", from(90.0, 30.0), true).identity.hexid;  // 30 m < 17.9 + 20
    const uint32_t second = live("GND2", from(270.0, 25.0), true).identity.hexid;
    const uint32_t distant = live("GND3", from(180.0, 45.0), true).identity.hexid;   // 45 m > 37.9
    const StaticAircraft& stat = parked("STA1*", from(0.0, 10.0));
    const uint32_t staticKey = stat.identity.hexid;
    const uint32_t firstObject = gf_trafficState().aircraft.findLive(first)->sim.objectId;
    const uint32_t secondObject = gf_trafficState().aircraft.findLive(second)->sim.objectId;
    const uint32_t staticObject = stat.sim.objectId;

    gf_checkUserAcGndCollisions();
    EXPECT_EQ(stateOf(first), SimState::removingfromsim);
    EXPECT_EQ(stateOf(second), SimState::active);
    EXPECT_EQ(removedInSim(), std::set<uint32_t>{firstObject});

    gf_checkUserAcGndCollisions();
    EXPECT_EQ(stateOf(second), SimState::removingfromsim);
    EXPECT_EQ(gf_trafficState().aircraft.findStatic(staticKey)->sim.simState, SimState::active);

    gf_checkUserAcGndCollisions(); // no live aircraft left to hit: the parked one
    EXPECT_EQ(gf_trafficState().aircraft.findStatic(staticKey)->sim.simState, SimState::removingfromsim);
    gf_checkUserAcGndCollisions(); // nothing more
    EXPECT_EQ(stateOf(air), SimState::active);
    EXPECT_EQ(stateOf(distant), SimState::active);
    EXPECT_EQ(removedInSim(), (std::set<uint32_t>{firstObject, secondObject, staticObject}));
}

TEST_F(UserCollisionTest, GroundAircraftAheadOfALowUserAreRemovedOneAWalk)
{
    userAt(0.0);
    // 0.5 NM ahead (east), 51 ft and 49 ft to the side; one directly behind.
    const double ahead = 926.0;
    const double bearing51 = 90.0 - std::atan2(51.0 / kFeetPerMetre, ahead) * 180.0 / std::numbers::pi;
    const double bearing49 = 90.0 - std::atan2(49.0 / kFeetPerMetre, ahead) * 180.0 / std::numbers::pi;
    const double bearing48 = 90.0 + std::atan2(48.0 / kFeetPerMetre, ahead) * 180.0 / std::numbers::pi;
    const uint32_t wide = live("W51", from(bearing51, ahead), true).identity.hexid;
    const uint32_t behind = live("BEHIND", from(270.0, 300.0), true).identity.hexid;
    const uint32_t hit = live("H49", from(bearing49, ahead), true).identity.hexid;
    const uint32_t next = live("H48", from(bearing48, ahead), true).identity.hexid;

    gf_checkUserCollisions();
    EXPECT_EQ(stateOf(wide), SimState::active);
    EXPECT_EQ(stateOf(behind), SimState::active);
    EXPECT_EQ(stateOf(hit), SimState::removingfromsim);
    EXPECT_EQ(stateOf(next), SimState::active); // the walk ended with the first removal
    gf_checkUserCollisions();
    EXPECT_EQ(stateOf(next), SimState::removingfromsim);
    EXPECT_EQ(removedInSim().size(), 2u);
}

TEST_F(UserCollisionTest, AUserHighAboveTheGroundRemovesNothingOnTheGround)
{
    userAt(600.0);
    EXPECT_TRUE(lf_userIsAirborne());
    const uint32_t ahead = live("AHEAD", from(90.0, 500.0), true).identity.hexid;
    gf_checkUserCollisions();
    EXPECT_EQ(stateOf(ahead), SimState::active);
    EXPECT_TRUE(removedInSim().empty());
}

} // namespace
