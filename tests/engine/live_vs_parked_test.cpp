// Live aircraft on the ground against static parked ones, with the user's
// "live vs parked" switch on: a live aircraft that taxis into a static's
// stand removes the static, and which live aircraft each once-a-second check
// looks at, against the stand-in simulator.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <cmath>
#include <numbers>

#include "core/geodesy.h"
#include "core/settings_snapshot.h"
#include "engine/engine.h"
#include "engine/live_at_stands.h"
#include "standins/track_generator.h"
#include "stands/stand_table.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/track_records.h"

namespace {

constexpr double kFtPerM = 3.2808399;
constexpr double kMetresPerNm = 1852.0;
const LatLon kRouteStart{47.45, 8.56};

LatLon lf_moved(const LatLon& from, double bearingDeg, double metres)
{
    return gf_destinationPoint(from, {bearingDeg * std::numbers::pi / 180.0, metres * kFtPerM});
}

// A static parked aircraft of `radiusM` at `at`, not yet created.
StaticAircraft lf_parkedAt(const std::string& callsign, int32_t standId, const LatLon& at, double radiusM)
{
    AircraftBase base;
    base.identity.callsign = callsign;
    base.identity.category = Category::Large;
    base.identity.radius = base.identity.collisionRadius = radiusM / kMetresPerNm;
    return StaticAircraft(base, gf_nextStaticKey(), standId, {at.latitude, at.longitude, 0.0}, true);
}

void lf_switchLiveVsParked(bool on)
{
    gf_modifyParameters([on](Parameters& p) { p.COLLISION_LIVE_PARKED_GND = on; });
}

// ---- A taxi past two parked aircraft, through the main loop's tick ----

class LiveVsParkedTaxiTest : public kvr::test::TracedTrafficTest {
protected:
    LiveVsParkedTaxiTest() : TracedTrafficTest("kelo_live_vs_parked_trace.jsonl") {}
    void SetUp() override
    {
        TracedTrafficTest::SetUp();
        // The user is far away: no collision holds.
        sim.load({{"user", {{"lat", 50.6}, {"lon", 4.76}, {"alt_ft", 3000.0}}}});
        // The A320's half span, as the model database gives it.
        gf_modelDatabase().WingspanTable[gf_modelCode2Id("A320")] = 17.9 / kMetresPerNm;
    }
    void TearDown() override
    {
        gf_modelDatabase().WingspanTable[gf_modelCode2Id("A320")] = 0.0;
        lf_switchLiveVsParked(false);
        gf_clearStandTable();
        TracedTrafficTest::TearDown();
    }
    // One tick; every 100th also runs the once-a-second work with the switch
    // as the settings have it.
    void tickWithSeconds()
    {
        run(1);
        if (++ticks_ % 100 == 0) {
            EngineSecondInputs in;
            in.liveVsParkedCollisions = gf_parametersSnapshot()->COLLISION_LIVE_PARKED_GND;
            gf_engineEverySecond(in);
        }
    }
    // Creates the static in the simulator and lets it park.
    uint32_t park(StaticAircraft parked)
    {
        StaticAircraft& st = gf_trafficState().aircraft.addStatic(std::move(parked));
        const uint32_t key = st.identity.hexid;
        create(st, "Airbus A320-200 KLM");
        for (int i = 0; i < 260; ++i)
            tickWithSeconds();
        const StaticAircraft* shown = gf_trafficState().aircraft.findStatic(key);
        EXPECT_TRUE(shown && shown->sim.simState == SimState::active);
        return key;
    }
    int ticks_ = 0;
};

TEST_F(LiveVsParkedTaxiTest, ATaxiingAircraftRemovesTheParkedOneItRunsIntoOnlyWithTheSwitchOn)
{
    sim.load({{"titles", {{{"title", "Airbus A320-200 KLM"}, {"static_cg_ft", 8.0}}}}});
    // East along a taxiway for 900 m at 15 kt. Stands beside it: A1 25 m
    // north of the way at 300 m (passed with the switch still off), A2 25 m
    // north at 700 m and A3 90 m north at 700 m, each with a parked aircraft
    // of 20 m.
    const LatLon end = lf_moved(kRouteStart, 90.0, 900.0);
    const LatLon a1 = lf_moved(lf_moved(kRouteStart, 90.0, 300.0), 0.0, 25.0);
    const LatLon a2 = lf_moved(lf_moved(kRouteStart, 90.0, 700.0), 0.0, 25.0);
    const LatLon a3 = lf_moved(lf_moved(kRouteStart, 90.0, 700.0), 0.0, 90.0);
    std::vector<Stand> stands(3);
    const LatLon at[] = {a1, a2, a3};
    for (int i = 0; i < 3; ++i) {
        stands[i].id = i + 1;
        stands[i].name = fmt::format("GATE A{}", i + 1);
        stands[i].lat = at[i].latitude;
        stands[i].lon = at[i].longitude;
        stands[i].radius = 20.0 / kMetresPerNm;
        stands[i].type = StandType::GATE_MEDIUM;
    }
    gf_setStandTable(stands);
    lf_switchLiveVsParked(false);
    const uint32_t passedOff = park(lf_parkedAt("TRA1*", 1, a1, 20.0));
    const uint32_t hit = park(lf_parkedAt("EZY2*", 2, a2, 20.0));
    const uint32_t wide = park(lf_parkedAt("BAW3*", 3, a3, 20.0));
    const uint32_t hitObject = gf_trafficState().aircraft.findStatic(hit)->sim.objectId;
    const uint32_t wideObject = gf_trafficState().aircraft.findStatic(wide)->sim.objectId;
    const uint32_t passedObject = gf_trafficState().aircraft.findStatic(passedOff)->sim.objectId;

    constexpr uint32_t kHexid = 0x484501;
    lf_rememberLiveryOfHexid(kHexid, "Airbus A320-200 KLM");
    const auto track = kvr::standin::gf_movingFrom(kvr::standin::gf_taxiTrack({kRouteStart, end}, 0.0, 15.0), 0.0);
    double closestToA1 = 1e9;
    double closestToA2 = 1e9;
    double closestToA3 = 1e9;
    double liveRadiusM = 0.0;
    auto follow = [&] {
        const LiveAircraft* ac = live(kHexid);
        if (!ac || ac->sim.simState != SimState::active)
            return;
        const LatLon pos{ac->motion.lat, ac->motion.lon};
        closestToA1 = std::min(closestToA1, gf_distanceNm(pos, a1) * kMetresPerNm);
        closestToA2 = std::min(closestToA2, gf_distanceNm(pos, a2) * kMetresPerNm);
        closestToA3 = std::min(closestToA3, gf_distanceNm(pos, a3) * kMetresPerNm);
        liveRadiusM = ac->identity.collisionRadius * kMetresPerNm;
        // Past A1 by 100 m the user switches the check on.
        if (!gf_parametersSnapshot()->COLLISION_LIVE_PARKED_GND &&
            gf_distanceNm(kRouteStart, pos) * kMetresPerNm > 400.0)
            lf_switchLiveVsParked(true);
    };
    // Reported every 4 s.
    for (double t = 0.0; t <= track.back().t + 0.01; t += 4.0) {
        size_t seg = 0;
        while (seg + 2 < track.size() && track[seg + 1].t < t)
            ++seg;
        const kvr::standin::TrackPoint &a = track[seg], &b = track[seg + 1];
        const double w = b.t > a.t ? std::clamp((t - a.t) / (b.t - a.t), 0.0, 1.0) : 1.0;
        kvr::standin::TrackPoint p = b;
        p.t = t;
        p.lat = a.lat + (b.lat - a.lat) * w;
        p.lon = a.lon + (b.lon - a.lon) * w;
        std::vector<LiveTrafficRecord> batch{kvr::test::trackRecord(p, kHexid, "KLM1845")};
        gf_trafficMailbox().post(batch, TrafficBatchKind::Live, 30, false);
        for (int i = 0; i < 400; ++i) {
            tickWithSeconds();
            follow();
        }
    }
    for (int i = 0; i < 6000; ++i) {
        tickWithSeconds();
        follow();
    }
    while (gf_handOnOneRemoval())
        frames(2);
    frames(2);

    // It drove past all three: in reach of A1 and A2, out of reach of A3.
    ASSERT_GT(liveRadiusM, 0.0) << log();
    ASSERT_LT(closestToA1, liveRadiusM + 20.0);
    ASSERT_LT(closestToA2, liveRadiusM + 20.0);
    ASSERT_GT(closestToA3, liveRadiusM + 20.0);
    ASSERT_TRUE(gf_parametersSnapshot()->COLLISION_LIVE_PARKED_GND);

    const std::string text = log();
    EXPECT_NE(text.find("GATE A2       : EZY2*    removed for 'live vs parked' collision avoidance with KLM1845\n"),
              std::string::npos)
        << text;
    size_t lines = 0;
    for (size_t at = text.find("collision avoidance"); at != std::string::npos; at = text.find("collision avoidance", at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u);
    EXPECT_EQ(gf_trafficState().aircraft.findStatic(hit), nullptr);
    const nlohmann::json removed = objectRecord(hitObject);
    ASSERT_FALSE(removed.is_null());
    EXPECT_EQ(removed["removed_by"], "client");
    // The one out of reach and the one passed while the switch was off stay.
    const nlohmann::json shown = trace("live_objects");
    for (const auto& [key, object] : {std::pair{wide, wideObject}, {passedOff, passedObject}}) {
        const StaticAircraft* st = gf_trafficState().aircraft.findStatic(key);
        ASSERT_NE(st, nullptr);
        EXPECT_EQ(st->sim.simState, SimState::active);
        EXPECT_NE(std::find(shown.begin(), shown.end(), object), shown.end());
    }
}

// ---- Which aircraft a check looks at ----

class LiveVsParkedCheckTest : public kvr::test::EngineSimTest {
protected:
    void SetUp() override
    {
        EngineSimTest::SetUp();
        objectIds = createObjects(10);
        ASSERT_EQ(objectIds.size(), 10u);
    }
    LiveAircraft& taxiing(uint32_t hexid, const std::string& callsign, const LatLon& at,
                          FlightPhase phase = FlightPhase::taxi)
    {
        LiveAircraft a = kvr::test::makeLive(hexid, callsign, false, at.latitude, at.longitude, 0.0);
        a.identity.radius = a.identity.collisionRadius = 20.0 / kMetresPerNm;
        a.phases.phase = phase;
        a.sim.simState = SimState::active;
        LiveAircraft& added = gf_trafficState().aircraft.addLive(std::move(a));
        gf_trafficState().aircraft.setObjectId(added, objectIds.at(next++));
        return added;
    }
    // An active static 10 m north of `at`, parked without the parked count
    // seeing it (as one already there when the live aircraft came).
    uint32_t parkedBeside(const std::string& callsign, const LatLon& at)
    {
        StaticAircraft& st = gf_trafficState().aircraft.addStatic(lf_parkedAt(callsign, 0, lf_moved(at, 0.0, 10.0), 20.0));
        st.sim.simState = SimState::active;
        gf_trafficState().aircraft.setObjectId(st, objectIds.at(next++));
        return st.identity.hexid;
    }
    static bool removed(uint32_t key)
    {
        return gf_trafficState().aircraft.findStatic(key)->sim.simState == SimState::removingfromsim;
    }
    std::vector<uint32_t> objectIds;
    size_t next = 0;
};

TEST_F(LiveVsParkedCheckTest, EveryAircraftAfterANewParkedOneOrEverySixtiethCallOtherwiseOnlyThoseThatMoved)
{
    const LatLon here = kRouteStart;
    LiveAircraft& ac = taxiing(0x484601, "KLM1846", here);
    // Parked on the spot: never looked at, however close.
    const LatLon farther = lf_moved(here, 90.0, 500.0);
    taxiing(0x484602, "KLM1847", farther, FlightPhase::parked);
    const uint32_t byParked = parkedBeside("TRA7*", farther);
    const uint32_t hexid = ac.identity.hexid;
    auto checked = [&] { return gf_findLiveAircraft(hexid); };

    // Nothing to look at yet: the call takes in the parked count as it is.
    gf_checkLiveVsParkedCollisions();
    const LatLon lastCheck{checked()->reports.collisionCheckLat, checked()->reports.collisionCheckLon};
    EXPECT_DOUBLE_EQ(lastCheck.latitude, here.latitude); // never checked before: checked now
    EXPECT_FALSE(removed(byParked));

    // A static beside the aircraft that has not moved since: found by the
    // next call that looks at every aircraft, the sixtieth at the latest.
    const uint32_t first = parkedBeside("EZY1*", here);
    int calls = 0;
    while (!removed(first) && calls < 61) {
        gf_checkLiveVsParkedCollisions();
        ++calls;
    }
    ASSERT_TRUE(removed(first)) << "never checked again";
    ASSERT_LE(calls, 60);
    EXPECT_NE(log().find("sid==0?       : EZY1*    removed for 'live vs parked' collision avoidance with KLM1846"),
              std::string::npos)
        << log();

    // That was a sixtieth call: the next 59 look only at aircraft that moved.
    const uint32_t second = parkedBeside("EZY2*", here);
    for (int i = 0; i < 59; ++i)
        gf_checkLiveVsParkedCollisions();
    EXPECT_FALSE(removed(second)) << "an aircraft that has not moved is checked only every 60 calls";
    gf_checkLiveVsParkedCollisions();
    EXPECT_TRUE(removed(second)) << "the sixtieth call checks every aircraft";

    // A static that parks (the parked count moves): the next call looks at every aircraft.
    const uint32_t third = parkedBeside("EZY3*", here);
    gf_checkLiveVsParkedCollisions();
    EXPECT_FALSE(removed(third));
    staticParkedCount.fetch_add(1);
    gf_checkLiveVsParkedCollisions();
    EXPECT_TRUE(removed(third)) << "a new parked aircraft makes the check look at every aircraft";

    // Moved by 4 m (0.002 NM) since its last check: not looked at; by 7 m in
    // all (above 0.003 NM): looked at.
    const uint32_t fourth = parkedBeside("EZY4*", here);
    LiveAircraft& moving = *checked();
    const LatLon nudged = lf_moved(here, 90.0, 4.0);
    moving.motion.lat = nudged.latitude;
    moving.motion.lon = nudged.longitude;
    gf_checkLiveVsParkedCollisions();
    EXPECT_FALSE(removed(fourth)) << "moved less than 0.003 NM";
    const LatLon moved = lf_moved(here, 90.0, 7.0);
    moving.motion.lat = moved.latitude;
    moving.motion.lon = moved.longitude;
    gf_checkLiveVsParkedCollisions();
    EXPECT_TRUE(removed(fourth)) << "moved more than 0.003 NM";
    EXPECT_DOUBLE_EQ(checked()->reports.collisionCheckLon, moved.longitude);

    // However often it is called, the parked live aircraft never removes its neighbour.
    EXPECT_FALSE(removed(byParked));
}

} // namespace
