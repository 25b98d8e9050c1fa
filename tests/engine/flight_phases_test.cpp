// The flight phases end to end on Amsterdam's runways: synthetic take-off
// and landing tracks posted as the feed would, the engine's tick against the
// stand-in simulator in manual frames, and the commands the simulator saw;
// then the decisions with thresholds one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "airports/airport_database.h"
#include "core/geodesy.h"
#include "engine/motion/approach.h"
#include "engine/motion/flight_motion.h"
#include "engine/ground_curves.h"
#include "engine/motion/motion_dispatch.h"
#include "engine/motion/motion_step.h"
#include "engine/per_tick_update.h"
#include "engine/motion/sample_checks.h"
#include "engine/quarantine.h"
#include "engine/sample_stream.h"
#include "engine/sim_reactions.h"
#include "engine/motion/takeoff.h"
#include "feed/qnh.h"
#include "feed/traffic_mailbox.h"
#include "liveries/livery_memory.h"
#include "runways/runway_table.h"
#include "engine/traffic_intake.h"
#include "standins/track_generator.h"
#include "tests/engine/engine_fixture.h"
#include "tests/runways/runway_fixture.h"
#include "tests/support/track_records.h"

namespace {

using kvr::standin::TrackPoint;

constexpr const char* kTitle = "Airbus A320-200 KLM";
constexpr double kEhamElevation = -11.0;
constexpr double kDeg = std::numbers::pi / 180.0;

void setEham()
{
    std::unique_lock lock(engineLock);
    CurrentAirport = {0x4548414D, 52.3086, 4.7639, kEhamElevation, {}};
}

class FlightPhasesTest : public kvr::test::EngineSimTest {
protected:
    void SetUp() override
    {
        EngineSimTest::SetUp();
        kvr::test::startLiveTraffic();
        engineClock = 0;
        runwayTable.runways = kvr::test::amsterdamRunways();
        setEham();
        sim.load({{"ground_ft", kEhamElevation}, {"user", {{"lat", 52.33}, {"lon", 4.70}, {"alt_ft", 3000.0}}}});
        runways = kvr::standin::gf_loadRunwayCsv(std::filesystem::path(KELO_SOURCE_DIR) /
                                                 "../shared/data/runways-eham.csv");
    }
    void TearDown() override
    {
        kvr::test::stopLiveTraffic();
        gf_clearRunwayTable();
        {
            std::unique_lock lock(engineLock);
            CurrentAirport = {};
        }
        EngineSimTest::TearDown();
        engineClock = 0;
    }
    // Plays the track one record a second, 10 s ahead of the engine; `each`
    // looks at the aircraft after every tick.
    template <typename F>
    void play(const std::vector<TrackPoint>& track, uint32_t hexid, const std::string& callsign, int tailSeconds,
              F each)
    {
        lf_rememberLiveryOfHexid(hexid, kTitle);
        const int seconds = static_cast<int>(track.size()) + tailSeconds;
        for (int s = 0; s < seconds; ++s) {
            if (static_cast<size_t>(s) < track.size()) {
                std::vector<LiveTrafficRecord> batch{
                    kvr::test::trackRecord(track[static_cast<size_t>(s)], hexid, callsign)};
                gf_trafficMailbox().post(batch, TrafficBatchKind::Live, 10, false);
            }
            for (int t = 0; t < 100; ++t) {
                lf_handleAddingStack();
                frames(1);
                if (LiveAircraft* ac = live(hexid))
                    each(*ac);
            }
        }
    }
    std::vector<uint32_t> valuesOf(uint32_t objectId, const std::string& name)
    {
        std::vector<uint32_t> out;
        for (const auto& e : eventsOf(objectId, name))
            out.push_back(e["data"].get<uint32_t>());
        return out;
    }
    std::vector<kvr::standin::RunwayGeometry> runways;
};

TEST_F(FlightPhasesTest, ATakeOffRollRotatesAtVrRetractsTheGearOnceAndFliesFrom800Feet)
{
    constexpr uint32_t hexid = 0x484201;
    const auto& from = kvr::standin::gf_runwayEnd(runways, "36L");
    // From the first moving point: a standing aircraft does not spawn on the runway.
    auto track = kvr::standin::gf_takeOffTrack(from, 140.0, 2000.0);
    track.erase(track.begin(), std::find_if(track.begin(), track.end(), [](const TrackPoint& p) { return p.gsKt > 0.0; }));
    uint32_t objectId = 0;
    bool rollStarted = false;
    std::optional<double> rotationKt, flyingHeight;
    play(track, hexid, "KLM1601", 5, [&](LiveAircraft& ac) {
        if (ac.sim.simState != SimState::active)
            return;
        objectId = ac.sim.objectId;
        // The sample checks start the roll once the samples run fast on the runway.
        if (ac.phases.phase == FlightPhase::takeoff_roll)
            rollStarted = true;
        if (!rotationKt && ac.phases.phase == FlightPhase::takeoff)
            rotationKt = ac.flight.groundSpeedKt;
        if (!flyingHeight && ac.phases.phase == FlightPhase::flying && ac.phases.previousPhase == FlightPhase::takeoff)
            flyingHeight = ac.motion.altitudeFt - kEhamElevation;
    });
    ASSERT_TRUE(rollStarted);
    ASSERT_NE(objectId, 0u);
    const auto flaps = valuesOf(objectId, "FLAPS_SET");
    ASSERT_FALSE(flaps.empty());
    EXPECT_EQ(flaps.front(), 3072u); // taxi and roll: index 1
    const auto throttle = valuesOf(objectId, "THROTTLE_SET");
    ASSERT_GE(throttle.size(), 3u);
    EXPECT_EQ(throttle.front(), 0u);
    EXPECT_TRUE(std::is_sorted(throttle.begin(), std::find(throttle.begin(), throttle.end(), 16383u)));
    EXPECT_NE(std::find(throttle.begin(), throttle.end(), 16383u), throttle.end()) << "full power on the roll";
    EXPECT_EQ(throttle.back(), 11468u) << "climb power once flying";
    EXPECT_EQ(valuesOf(objectId, "SPOILERS_SET").front(), 0u);
    const auto gear = valuesOf(objectId, "GEAR_SET");
    EXPECT_EQ(std::count(gear.begin(), gear.end(), 0u), 1) << "gear up exactly once";
    ASSERT_TRUE(rotationKt.has_value());
    EXPECT_GE(*rotationKt, 130.0); // an A320's Vr is 140 kt
    EXPECT_LE(*rotationKt, 170.0);
    ASSERT_TRUE(flyingHeight.has_value());
    EXPECT_GE(*flyingHeight, 800.0);
    EXPECT_LT(*flyingHeight, 900.0);
    const std::string log = kvr::test::flushedLog();
    EXPECT_NE(log.find("KLM1601 PH-601 KLM A320 take off runway 36L ..."), std::string::npos) << log;
}

TEST_F(FlightPhasesTest, AnApproachConfiguresLandsFlaresAndRollsOutWithSpoilers)
{
    constexpr uint32_t hexid = 0x484202;
    const auto& to = kvr::standin::gf_runwayEnd(runways, "18R");
    const auto track = kvr::standin::gf_landingTrack(to, 6.0);
    uint32_t objectId = 0;
    std::optional<double> landingNm, landingHeight;
    uint8_t deepestFlare = 0;
    bool rolled = false;
    play(track, hexid, "KLM1602", 3, [&](LiveAircraft& ac) {
        if (ac.sim.simState != SimState::active)
            return;
        objectId = ac.sim.objectId;
        if (!landingNm && ac.phases.phase == FlightPhase::landing) {
            landingNm = gf_distanceNm({ac.motion.lat, ac.motion.lon}, {52.3086, 4.7639});
            landingHeight = ac.motion.altitudeFt - kEhamElevation;
        }
        deepestFlare = std::max(deepestFlare, ac.touchdown.flareStage);
        rolled = rolled || ac.phases.phase == FlightPhase::landing_roll;
    });
    ASSERT_NE(objectId, 0u);
    ASSERT_TRUE(landingNm.has_value());
    EXPECT_LE(*landingNm, 10.0);
    EXPECT_LE(*landingHeight, 625.0 + 50.0);
    const auto flaps = valuesOf(objectId, "FLAPS_SET");
    EXPECT_NE(std::find(flaps.begin(), flaps.end(), 16383u), flaps.end());
    EXPECT_FALSE(valuesOf(objectId, "GEAR_SET").empty());
    EXPECT_EQ(valuesOf(objectId, "GEAR_SET").back(), 1u);
    EXPECT_GE(deepestFlare, 3);
    EXPECT_TRUE(rolled);
    // After touch-down the nose comes down to the ground attitude over the
    // category's roll-out ticks (3 s for an A320), not in one write.
    std::vector<double> pitch;
    for (const auto& p : trace("positions"))
        if (p["object_id"] == objectId)
            pitch.push_back(p["values"][2].get<double>());
    ASSERT_FALSE(pitch.empty());
    const auto flare = std::min_element(pitch.rbegin(), pitch.rend()).base() - 1; // the last nose-up extreme
    EXPECT_LT(*flare, -3.5 * kDeg);
    const double ground = pitch.back();
    const auto reached = std::find_if(flare, pitch.end(), [&](double v) { return std::fabs(v - ground) < 1e-9; });
    EXPECT_GE(reached - flare, 250) << "writes from the flare to the ground attitude";
    EXPECT_TRUE(std::is_sorted(flare, reached)) << "the nose only comes down";
    const auto spoilers = valuesOf(objectId, "SPOILERS_SET");
    EXPECT_NE(std::find(spoilers.begin(), spoilers.end(), 16383u), spoilers.end());
    const std::string log = kvr::test::flushedLog();
    EXPECT_NE(log.find("KLM1602 PH-602 KLM A320 touch down at EHAM"), std::string::npos) << log;
}

// ---- Decisions ------------------------------------------------------------------

class FlightDecisionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvr::test::resetEngineState();
        engineClock = 1000;
        setEham();
    }
    void TearDown() override
    {
        {
            std::unique_lock lock(engineLock);
            CurrentAirport = {};
        }
        kvr::test::resetEngineState();
        engineClock = 0;
    }
    // An aircraft near Amsterdam with a front sample and a next one.
    static LiveAircraft approaching(double height, double vs0, double vs1, double gain, double eastNm = 3.0)
    {
        LiveAircraft ac = kvr::test::makeLive(0x4E0001, "KLM70", true, 52.3086, 4.7639 + eastNm / 36.7,
                                              kEhamElevation + height);
        ac.sim.objectId = 77;
        ac.phases.phase = FlightPhase::flying;
        ac.stream.samples.front().verticalSpeedFpm = vs0;
        ac.stream.samples.front().altitudeFt = ac.motion.altitudeFt;
        TrafficSample next = ac.stream.samples.front();
        next.lon -= 0.01;
        next.altitudeFt += gain;
        next.verticalSpeedFpm = vs1;
        next.playTime = engineClock.load() + 300;
        ac.stream.samples.push_back(next);
        return ac;
    }
    static std::vector<uint32_t> sent(uint32_t eventId)
    {
        std::vector<uint32_t> out;
        for (const SimCommand& c : gf_takeCommandQueues().a)
            if (c.eventId == eventId)
                out.push_back(c.value);
        return out;
    }
    kvr::test::SimLinkTestBase base{"flight"};
};

TEST_F(FlightDecisionTest, LandingEntryAndGoAround)
{
    LiveAircraft ac = approaching(500.0, -300.0, -300.0, -25.0);
    checkLandingState(ac);
    EXPECT_EQ(ac.phases.phase, FlightPhase::landing);
    EXPECT_EQ(ac.sim.flapsIndex, 3u);
    EXPECT_EQ(ac.sim.throttleIndex, 1u);
    EXPECT_EQ(sent(SimEventId::GEAR_SET), std::vector<uint32_t>{1});
    EXPECT_EQ(ac.leg.lagEarlier, 2700);

    struct Case {
        const char* name;
        double vs0, vs1, gain, eastNm;
        bool goesAround;
    };
    for (const Case& c : {Case{"climbing 500 fpm, 60 ft", 500, 500, 60, 3, true},
                          Case{"climbing 500 fpm, 40 ft", 500, 500, 40, 3, false},
                          Case{"12 NM out", -300, -300, -25, 12, true},
                          Case{"descending on final", -700, -700, -35, 3, false}}) {
        LiveAircraft a = approaching(400.0, c.vs0, c.vs1, c.gain, c.eastNm);
        a.phases.phase = FlightPhase::landing;
        a.flight.landing.vsMemory = 0.0;
        a.sim.throttleIndex = 1;
        checkLandingState(a);
        EXPECT_EQ(a.phases.phase == FlightPhase::flying, c.goesAround) << c.name;
        if (c.goesAround) {
            EXPECT_EQ(a.sim.throttleIndex, 4u) << c.name;
            EXPECT_EQ(a.sim.flapsIndex, 0u) << c.name;
            EXPECT_FALSE(a.flight.landing.vsMemory) << c.name << ": landing data cleared";
        }
    }
    // While the airport is being loaded there is none: no one goes around for
    // the distance.
    {
        std::unique_lock lock(engineLock);
        CurrentAirport = {};
    }
    LiveAircraft unknown = approaching(400.0, -300.0, -300.0, -25.0, 12.0);
    unknown.phases.phase = FlightPhase::landing;
    checkLandingState(unknown);
    EXPECT_EQ(unknown.phases.phase, FlightPhase::landing);
    setEham();
    // Above the gate a descending aircraft is only configured.
    LiveAircraft high = approaching(1500.0, -800.0, -800.0, -40.0);
    configureApproach(high, 1500.0);
    EXPECT_EQ(high.phases.phase, FlightPhase::flying);
    high.flight.highApproach = 1;
    configureApproach(high, 1500.0);
    EXPECT_EQ(high.phases.phase, FlightPhase::landing);
}

TEST_F(FlightDecisionTest, LegsAcrossTheDateLineTakeTheShortWayRound)
{
    // A straight air leg of 556 m from 179.995 E to 179.995 W in 3 s.
    const LatLon start{60.0, 179.995};
    LiveAircraft ac = kvr::test::makeLive(0x4E0401, "KLM90", true, start.latitude, start.longitude, 10000.0);
    ac.sim.simState = SimState::active;
    ac.sim.objectId = 90;
    ac.phases.phase = FlightPhase::flying;
    ac.motion.heading = 90.0 * kDeg;
    TrafficSample& s0 = ac.stream.samples.front();
    s0.speedKt = 360.0;
    s0.trackDeg = 90.0;
    s0.playTime = engineClock.load();
    TrafficSample s1 = s0;
    s1.lon = -179.995;
    s1.playTime = engineClock.load() + 300;
    ac.stream.samples.push_back(s1);
    nextPosMain(ac);
    for (int t = 0; t < 100; ++t) {
        stepMotion(ac);
        engineClock.fetch_add(1);
    }
    EXPECT_NEAR(gf_distanceNm(start, {ac.motion.lat, ac.motion.lon}) * 1852.0, 185.0, 20.0) << ac.motion.lat << "," << ac.motion.lon;
    EXPECT_GT(ac.motion.lon, 179.995);

    // The mid-point of two samples 22 m apart either side of the line.
    TrafficSample a = s0, b = s0;
    a.lon = 179.9998;
    b.lon = -179.9998;
    b.playTime = a.playTime + 100;
    ac.stream.samples.assign({a, b});
    insertMidSample(ac.stream);
    ASSERT_EQ(ac.stream.samples.size(), 3u);
    EXPECT_NEAR(std::fabs(ac.stream.samples[1].lon), 180.0, 1e-9);

    // A roll ramp over the line.
    RollRamp& r = ac.flight.ramp;
    r.start = {60.0, 179.9999};
    r.end = {60.0, -179.9999};
    r.ramp = lf_buildRamp(gf_distanceNm(r.start, r.end) * 1852.0, 1.0, 11.0, 11.0);
    r.active = 1;
    r.ticks = 0;
    ASSERT_TRUE(stepRollRamp(ac));
    EXPECT_LT(gf_distanceNm(r.start, {ac.motion.lat, ac.motion.lon}) * 1852.0, 1.0);
}

TEST_F(FlightDecisionTest, FlareStagesFollowTheHeightAboveTheGear)
{
    LiveAircraft ac = approaching(60.0, -700.0, -700.0, -12.0);
    ac.phases.phase = FlightPhase::landing;
    ac.identity.cgFt = 8.0;
    ac.sim.throttleIndex = 1;
    // Stage n+1 begins at 38, 28, 18 and 11 ft above the ground.
    const std::array<double, 4> begins{38.0, 28.0, 18.0, 11.0};
    for (size_t stage = 0; stage < begins.size(); ++stage) {
        ac.reports.lastSimAglFt = begins[stage] + 0.5;
        ac.motion.altitudeFt = kEhamElevation + begins[stage] + 0.5;
        stepFlare(ac);
        EXPECT_EQ(ac.touchdown.flareStage, stage) << "not yet at " << ac.reports.lastSimAglFt;
        ac.reports.lastSimAglFt = begins[stage];
        ac.motion.altitudeFt = kEhamElevation + begins[stage];
        stepFlare(ac);
        EXPECT_EQ(ac.touchdown.flareStage, stage + 1) << "at " << begins[stage];
        EXPECT_EQ(ac.sim.throttleIndex, stage >= 2 ? 0u : 1u);
    }
    EXPECT_DOUBLE_EQ(ac.reports.verticalSpeedStep * 6000.0, -150.0);
}

TEST_F(FlightDecisionTest, ClimbOutEndsAt800FeetOr300ForLightAircraft)
{
    for (const auto& [category, needed] : {std::pair{Category::Large, 800.0}, std::pair{Category::Light, 300.0}}) {
        LiveAircraft ac = approaching(needed - 5.0, 1500.0, 1500.0, 50.0);
        ac.identity.category = category;
        ac.phases.phase = FlightPhase::takeoff;
        ac.identity.climbPitch = -15.0 * kDeg;
        ac.motion.pitch = ac.identity.climbPitch;
        ac.flight.takeoffCounter = -400;
        ac.reports.verticalSpeedStep = 0.25;
        stepTakeoff(ac);
        EXPECT_EQ(ac.phases.phase, FlightPhase::takeoff) << gf_categoryName(ac.identity.category);
        ac.motion.altitudeFt += 10.0;
        stepTakeoff(ac);
        EXPECT_EQ(ac.phases.phase, FlightPhase::flying) << gf_categoryName(ac.identity.category);
        EXPECT_EQ(ac.sim.throttleIndex, 3u);
        EXPECT_TRUE(ac.flight.climbOutDone);
    }
    // The gear goes up once, three seconds after the rotation.
    LiveAircraft ac = approaching(0.0, 1500.0, 1500.0, 50.0, 0.0);
    ac.phases.phase = FlightPhase::takeoff;
    ac.flight.takeoffCounter = 1;
    gf_takeCommandQueues();
    for (int i = 0; i < 900; ++i)
        stepTakeoff(ac);
    EXPECT_EQ(sent(SimEventId::GEAR_SET), std::vector<uint32_t>{0});
    EXPECT_EQ(ac.flight.takeoffCounter, -899);
}

TEST_F(FlightDecisionTest, CircuitClimbAndDescentRates)
{
    LiveAircraft light = approaching(1000.0, 700.0, 700.0, 30.0);
    light.identity.category = Category::Light;
    light.remembered.lastAirborneAltitudeFt = 1000.0;
    for (const auto& [altitude, expected] : {std::pair{1400.0, 700.0}, std::pair{1500.0, 0.0},
                                             std::pair{1640.0, 0.0}, std::pair{1651.0, -600.0}}) {
        light.motion.altitudeFt = altitude;
        EXPECT_DOUBLE_EQ(limitLightClimb(light, 700.0), expected) << altitude;
    }
    EXPECT_DOUBLE_EQ(limitLightClimb(light, -3000.0), -1200.0);
    light.phases.phase = FlightPhase::takeoff;
    EXPECT_DOUBLE_EQ(limitLightClimb(light, 700.0), 700.0);

    LiveAircraft ac = approaching(2000.0, -700.0, -900.0, -50.0);
    CurrentQnh = 1003;
    EXPECT_NEAR(defaultDescentVs(ac), -800.0 + 61.5, 1e-9);
    CurrentQnh = 1013;
    ac.stream.samples[0].verticalSpeedFpm = -100.0;
    ac.stream.samples[1].verticalSpeedFpm = -100.0;
    EXPECT_NEAR(defaultDescentVs(ac), -601.0, 1e-9);
    ac.motion.altitudeFt = kEhamElevation + 80.0;
    EXPECT_DOUBLE_EQ(defaultDescentVs(ac), -600.0);
}

// ---- The roll on a runway ----------------------------------------------------------

class TakeoffRollTest : public FlightDecisionTest {
protected:
    void SetUp() override
    {
        FlightDecisionTest::SetUp();
        runwayTable.runways = {kvr::test::syntheticRunway(0, 0, 90.0, 3000, 45, 9, 0, 27, 0)};
    }
    void TearDown() override
    {
        gf_clearRunwayTable();
        FlightDecisionTest::TearDown();
    }
    // On the runway's centre line `eastM` from its centre, rolling east at
    // `kt`; the next samples `aheadM` metres further on.
    static LiveAircraft rolling(uint32_t hexid, double eastM, double kt, std::vector<std::pair<double, bool>> aheadM)
    {
        const LatLon at = kvr::test::syntheticPoint(eastM, 0.0);
        LiveAircraft ac = kvr::test::makeLive(hexid, "KLM80", false, at.latitude, at.longitude, 120.0);
        ac.sim.simState = SimState::active;
        ac.sim.objectId = 80;
        ac.motion.heading = 90.0 * kDeg;
        ac.phases.phase = FlightPhase::takeoff_roll;
        ac.flight.takeoffRunway = *gf_runwayUnderAircraft(kvr::test::syntheticPoint(0, 0), ac.motion.heading);
        ac.flight.groundSpeedKt = kt;
        ac.stream.samples.front().speedKt = kt;
        ac.stream.samples.front().playTime = engineClock.load();
        for (const auto& [metres, airborne] : aheadM) {
            TrafficSample s = ac.stream.samples.front();
            const LatLon p = kvr::test::syntheticPoint(eastM + metres, 0.0);
            s.lat = p.latitude;
            s.lon = p.longitude;
            s.airborne = airborne ? 1 : 0;
            s.altitudeFt = airborne ? 200.0 : 120.0;
            s.playTime = engineClock.load() + 250;
            ac.stream.samples.push_back(s);
        }
        return ac;
    }
};

TEST_F(TakeoffRollTest, TheFirstAirborneSampleMustLieWithin600Metres)
{
    LiveAircraft within = rolling(0x4E0101, -1000.0, 140.0, {{300.0, false}, {595.0, true}});
    EXPECT_EQ(liftoffDecision(within), 1);
    LiveAircraft beyond = rolling(0x4E0102, -1000.0, 140.0, {{300.0, false}, {700.0, true}});
    EXPECT_EQ(liftoffDecision(beyond), 0);
    // Near the end of the runway the lower speeds let it go.
    LiveAircraft late = rolling(0x4E0103, 1000.0, 131.0, {{300.0, false}, {700.0, true}});
    EXPECT_EQ(liftoffDecision(late), 2);
    // A rolling take-off whose next sample is airborne lifts off along the samples.
    LiveAircraft again = rolling(0x4E0104, 0.0, 100.0, {{100.0, true}});
    again.flight.rollingTakeoff = 1;
    EXPECT_EQ(takeoffDecision(again), 1);
}

TEST_F(TakeoffRollTest, TheRollSteersTowardTheCentreLine)
{
    // 10 m left (north) of the centre line of 09, 1000 m from its end: it
    // steers right, toward the point abeam the end 0.15 of its offset nearer
    // the centre line.
    LiveAircraft ac = rolling(0x4E0105, 500.0, 80.0, {{103.0, false}}); // 80 kt for 2.5 s
    ac.phases.groundMode = 1;
    const LatLon off = kvr::test::syntheticPoint(500.0, 10.0);
    ac.motion.lat = off.latitude;
    ac.motion.lon = off.longitude;
    planGroundRollLeg(ac, 250);
    ASSERT_TRUE(ac.flight.ramp.endHeading.has_value());
    EXPECT_NEAR(*ac.flight.ramp.endHeading, 90.0 * kDeg + std::atan2(1.5, 1000.0), 0.002 * kDeg);
    // Rolling 150 m beside the runway: not steered, the runway's heading.
    LiveAircraft wide = rolling(0x4E0106, 500.0, 80.0, {{103.0, false}});
    wide.phases.groundMode = 1;
    const LatLon beside = kvr::test::syntheticPoint(500.0, 150.0), next = kvr::test::syntheticPoint(603.0, 150.0);
    wide.motion.lat = beside.latitude;
    wide.motion.lon = beside.longitude;
    wide.stream.samples[1].lat = next.latitude;
    wide.stream.samples[1].lon = next.longitude;
    planGroundRollLeg(wide, 250);
    ASSERT_TRUE(wide.flight.ramp.endHeading.has_value());
    EXPECT_NEAR(*wide.flight.ramp.endHeading, 90.0 * kDeg, 0.002 * kDeg);
}

TEST_F(TakeoffRollTest, PredictedRollSamplesClimbFrom140KnotsAndTheLiftOffLeavesTheGroundPath)
{
    LiveAircraft ac = rolling(0x4E0301, 0.0, 100.0, {});
    ac.stream.samples.front().verticalSpeedFpm = 0.0;
    extrapolateSample(ac, 20); // 3 s later, 9 kt faster
    EXPECT_DOUBLE_EQ(ac.stream.samples.back().speedKt, 109.0);
    EXPECT_DOUBLE_EQ(ac.stream.samples.back().verticalSpeedFpm, 0.0);
    ac.stream.samples.back().speedKt = 134.0;
    extrapolateSample(ac, 19);
    EXPECT_DOUBLE_EQ(ac.stream.samples.back().speedKt, 140.0);
    EXPECT_DOUBLE_EQ(ac.stream.samples.back().verticalSpeedFpm, 600.0);
    extrapolateSample(ac, 18);
    EXPECT_DOUBLE_EQ(ac.stream.samples.back().speedKt, 146.0);
    EXPECT_DOUBLE_EQ(ac.stream.samples.back().verticalSpeedFpm, 1200.0);

    // A ground curve and a turn still set at the lift-off are dropped.
    const LatLon c = kvr::test::syntheticPoint(100.0, 20.0);
    gf_buildGroundCurve(ac.ground.groundCurve, {{ac.motion.lat, ac.motion.lon, 0.0}, {c.latitude, c.longitude, 0.0},
                                         kvr::test::syntheticPoint(200.0, 0.0), 10.0});
    ASSERT_TRUE(ac.ground.groundCurve.valid());
    ac.ground.groundTurn.status = GroundTurnStatus::none;
    ac.ground.groundTurn.length = 80.0;
    ac.ground.curveProgress = 0.5;
    enterTakeoff(ac, 1);
    EXPECT_EQ(ac.phases.phase, FlightPhase::takeoff);
    EXPECT_FALSE(ac.ground.groundCurve.valid());
    EXPECT_FALSE(ac.ground.groundTurn.active());
    EXPECT_EQ(ac.ground.curveProgress, 0.0);
}

TEST_F(TakeoffRollTest, APredictedRollKeepsToTheCentreLine)
{
    // Its last short leg left its heading 3.5 degrees off the runway's: the
    // roll carried on without reports still runs along the centre line.
    LiveAircraft ac = rolling(0x4E0302, -1000.0, 40.0, {});
    ac.phases.groundMode = 1;
    ac.motion.heading = 93.5 * kDeg;
    const LatLon centre = kvr::test::syntheticPoint(0.0, 0.0);
    for (int32_t budget = 20; budget > 15; --budget) {
        extrapolateSample(ac, budget);
        const TrafficSample& s = ac.stream.samples.back();
        EXPECT_NEAR((s.lat - centre.latitude) * kDeg * 6371000.0, 0.0, 2.0) << budget;
    }
    EXPECT_GT(ac.stream.samples.back().lon, kvr::test::syntheticPoint(-500.0, 0.0).longitude);
}

TEST_F(TakeoffRollTest, ARollPastTheRunwayEndOrOfTwoMinutesIsRemoved)
{
    LiveAircraft mid = rolling(0x4E0201, 0.0, 100.0, {{60.0, false}});
    EXPECT_FALSE(checkTakeoffRoll(mid));
    EXPECT_EQ(mid.phases.phase, FlightPhase::takeoff_roll);
    // Slow near the end without a climb ahead: back to taxiing.
    LiveAircraft slow = rolling(0x4E0202, 1400.0, 30.0, {{60.0, false}});
    EXPECT_FALSE(checkTakeoffRoll(slow));
    EXPECT_EQ(slow.phases.phase, FlightPhase::taxi);

    LiveAircraft past = rolling(0x4E0203, 1620.0, 130.0, {{60.0, false}});
    EXPECT_TRUE(checkTakeoffRoll(past));
    EXPECT_EQ(past.sim.simState, SimState::removingfromsim);
    ASSERT_TRUE(gf_quarantineMap().contains(0x4E0203));
    EXPECT_EQ(gf_quarantineMap().at(0x4E0203).kind, 1);

    engineClock = 20000;
    LiveAircraft stuck = rolling(0x4E0204, -1400.0, 50.0, {{60.0, false}});
    stuck.phases.phaseSince = static_cast<uint32_t>(engineClock.load() - 12000);
    planGroundRollLeg(stuck, 250);
    EXPECT_EQ(stuck.sim.simState, SimState::removingfromsim);
    gf_quarantineMap().clear();
}

TEST_F(TakeoffRollTest, ATouchDownWithAClimbAheadRollsIntoATakeOffAgain)
{
    LiveAircraft ac = rolling(0x4E0301, -1000.0, 120.0, {{200.0, false}, {400.0, true}, {600.0, true}});
    ac.phases.phase = FlightPhase::landing;
    ac.phases.groundMode = 0;
    ac.touchdown.flareStage = 4;
    ac.stream.samples[2].verticalSpeedFpm = 500.0;
    ac.stream.samples[3].verticalSpeedFpm = 500.0;
    ac.stream.samples[3].altitudeFt = 300.0;
    enterLandingRoll(ac);
    EXPECT_EQ(ac.phases.phase, FlightPhase::takeoff_roll);
    EXPECT_EQ(ac.phases.previousPhase, FlightPhase::landing_roll);
    EXPECT_TRUE(ac.flight.rollingTakeoff);
    EXPECT_EQ(ac.sim.throttleIndex, 3u);
    EXPECT_FALSE(ac.stream.samples[1].airborne); // on the ground before the climb
    EXPECT_TRUE(ac.stream.samples[3].airborne);
    EXPECT_EQ(takeoffDecision(ac), 2);
}

// After a touch-down the samples are watched for a go-around: airborne ones
// count as on the ground until two in a row climb away by 50 ft, one of them
// at 400 fpm or more.
TEST_F(TakeoffRollTest, AfterTouchDownOnlySamplesThatClimbAwayGoAround)
{
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> airborne; // height gain (ft) and vertical speed (fpm)
        bool goesAround;
    };
    for (const Case& c : {Case{"bounces", {{10.0, 100.0}, {15.0, 200.0}, {5.0, -100.0}}, false},
                          Case{"climbs too slowly", {{20.0, 300.0}, {80.0, 390.0}, {150.0, 390.0}}, false},
                          Case{"climbs away", {{20.0, 450.0}, {80.0, 600.0}, {150.0, 900.0}}, true},
                          // A touch-and-go's climb-out as reported: its vertical speeds wander.
                          Case{"climbs away unevenly", {{100.0, 704.0}, {675.0, 320.0}, {825.0, 832.0}}, true}}) {
        LiveAircraft ac = rolling(0x4E0302, -1000.0, 120.0, {{200.0, false}, {400.0, false}});
        ac.phases.phase = FlightPhase::landing;
        ac.phases.groundMode = 0;
        ac.touchdown.flareStage = 4;
        enterLandingRoll(ac);
        ASSERT_EQ(ac.phases.phase, FlightPhase::landing_roll) << c.name;
        EXPECT_TRUE(ac.remembered.goAroundWatch) << c.name;
        double east = -400.0;
        for (const auto& [gain, vs] : c.airborne) {
            TrafficSample s = ac.stream.samples.back();
            east += 200.0;
            const LatLon p = kvr::test::syntheticPoint(east, 0.0);
            s.lat = p.latitude;
            s.lon = p.longitude;
            s.airborne = 1;
            s.altitudeFt = 120.0 + gain;
            s.verticalSpeedFpm = vs;
            s.playTime += 200;
            decodeExisting(ac, s);
        }
        EXPECT_EQ(ac.phases.phase == FlightPhase::takeoff_roll, c.goesAround) << c.name;
        EXPECT_EQ(ac.phases.phase == FlightPhase::landing_roll, !c.goesAround) << c.name;
        EXPECT_EQ(ac.remembered.goAroundWatch, c.goesAround ? 0 : 1) << c.name;
    }
}

} // namespace
