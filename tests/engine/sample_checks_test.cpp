// New samples of known aircraft: runway holds on a synthetic runway, the
// stand and push-back checks, the quarantine, and respawns against the
// stand-in simulator in manual frames.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <numbers>

#include "airports/airport_database.h"
#include "airports/airport_database_load.h"
#include "core/geodesy.h"
#include "core/settings_snapshot.h"
#include "engine/engine_reports.h"
#include "engine/motion/runway_hold.h"
#include "engine/motion/sample_checks.h"
#include "engine/motion/stand_checks.h"
#include "engine/per_tick_update.h"
#include "engine/quarantine.h"
#include "engine/respawn_check.h"
#include "engine/traffic_intake.h"
#include "feed/traffic_records.h"
#include "liveries/regcode_lists.h"
#include "runways/runway_table.h"
#include "tests/engine/engine_fixture.h"

namespace {

using kvr::test::makeLive;

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;
constexpr LatLon kRunwayCentre{52.30, 4.76}; // runway 09-27, 3000 m x 45 m
constexpr uint32_t kEham = 0x4548414D;

LatLon moved(const LatLon& from, double bearingDeg, double metres)
{
    return gf_destinationPoint(from, {bearingDeg * kDeg, metres * 3.2808399});
}

TrafficSample sampleAt(const LatLon& p, double kt, int32_t playTime, bool stationary = false)
{
    TrafficSample s;
    s.lat = p.latitude;
    s.lon = p.longitude;
    s.speedKt = kt;
    s.playTime = playTime;
    s.stationary = stationary ? 1 : 0;
    return s;
}

void setAirport(uint32_t code)
{
    std::unique_lock lock(engineLock);
    CurrentAirport = {code, kRunwayCentre.latitude, kRunwayCentre.longitude, 0.0, IataCode("AMS")};
}

void setGuidChanges(bool on)
{
    gf_modifyParameters([on](Parameters& p) { p.GUID_CHANGES = on; });
}

class RunwayHoldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvr::test::resetEngineState();
        RunwayRecord r;
        r.latitude = kRunwayCentre.latitude;
        r.longitude = kRunwayCentre.longitude;
        r.heading = 90.0;
        r.length = 3000.0;
        r.width = 45.0;
        r.primaryNumber = 9;
        r.secondaryNumber = 27;
        runwayTable.runways = {r};
        setAirport(kEham);
        engineClock = 1000;
    }
    void TearDown() override
    {
        gf_clearRunwayTable();
        setAirport(0);
        engineClock = 0;
        kvr::test::resetEngineState();
    }
    // A taxiing aircraft at `p` heading `headingDeg` whose last two samples
    // move along that heading at `kt`.
    static LiveAircraft taxiing(const LatLon& p, double headingDeg, double kt = 10.0)
    {
        LiveAircraft ac = makeLive(0x4C0001, "KLM9", false, p.latitude, p.longitude, 0.0);
        ac.sim.simState = SimState::active;
        ac.phases.phase = FlightPhase::taxi;
        ac.motion.heading = headingDeg * kDeg;
        ac.identity.baseTurnRate = 0.01;
        ac.stream.samples = {sampleAt(moved(p, headingDeg, -20.0), kt, 900), sampleAt(p, kt, 1100)};
        return ac;
    }
};

TEST_F(RunwayHoldTest, AStopOnTheRunwayIsHeldBackOnlyWhenTheAircraftSlowedAlongIt)
{
    const LatLon stop = moved(kRunwayCentre, 90.0, 10.0);
    struct Case {
        const char* what;
        double headingDeg;
        double kt;
        double crossM;
        FlightPhase previous;
        bool stationary;
        uint32_t airport;
        bool held;
    };
    const Case cases[] = {
        {"along the runway", 90.0, 10.0, 0.0, FlightPhase::birth, true, kEham, true},
        {"too slow", 90.0, 1.0, 0.0, FlightPhase::birth, true, kEham, false},
        {"too fast", 90.0, 40.0, 0.0, FlightPhase::birth, true, kEham, false},
        {"crossing at 30 degrees", 120.0, 10.0, 0.0, FlightPhase::birth, true, kEham, false},
        {"beside the centre line", 90.0, 10.0, 10.0, FlightPhase::birth, true, kEham, false},
        {"after landing", 90.0, 10.0, 0.0, FlightPhase::landing_roll, true, kEham, false},
        {"still moving", 90.0, 10.0, 0.0, FlightPhase::birth, false, kEham, false},
        {"elsewhere", 90.0, 10.0, 0.0, FlightPhase::birth, true, 0, false},
    };
    for (const Case& c : cases) {
        setAirport(c.airport);
        const LatLon at = moved(stop, 0.0, c.crossM);
        LiveAircraft ac = taxiing(moved(at, c.headingDeg, -15.0), c.headingDeg, c.kt);
        ac.phases.previousPhase = c.previous;
        EXPECT_EQ(lf_rememberRunwayHold(ac, sampleAt(at, 0.0, 1300, c.stationary)), c.held) << c.what;
        EXPECT_EQ(ac.stream.samples.size(), 2u) << c.what;
        // A second stop at the same place brings the held one back first.
        lf_rememberRunwayHold(ac, sampleAt(moved(at, 0.0, 0.5), 0.0, 1500, true));
        EXPECT_EQ(ac.stream.samples.size(), c.held ? 3u : 2u) << c.what;
    }
}

TEST_F(RunwayHoldTest, TheHoldOnARunwayCountsFromTheFirstStopAtThatPlace)
{
    LiveAircraft ac = taxiing(kRunwayCentre, 60.0);
    EXPECT_FALSE(lf_heldOnSameRunway(ac.holds, "09-27:09", kRunwayCentre));
    engineClock += 299;
    EXPECT_FALSE(lf_heldOnSameRunway(ac.holds, "09-27:09", moved(kRunwayCentre, 0.0, 1.5)));
    engineClock += 1;
    EXPECT_TRUE(lf_heldOnSameRunway(ac.holds, "09-27:09", kRunwayCentre));
    EXPECT_FALSE(lf_heldOnSameRunway(ac.holds, "09-27:27", kRunwayCentre)); // another direction starts again
    engineClock += 400;
    EXPECT_FALSE(lf_heldOnSameRunway(ac.holds, "09-27:27", moved(kRunwayCentre, 0.0, 3.0)));
}

TEST_F(RunwayHoldTest, AStopOnTheCentreLineIsALineUpWhenTheSamplesGoOnAlongTheRunway)
{
    struct Case {
        double departureDeg; // where the samples go after the stop; NaN: none yet
        bool lineUp;
        double approachDeg = 30.0; // 90: along the centre line, nothing left to turn
    };
    for (const Case c : {Case{90.0, true}, Case{270.0, true}, Case{150.0, false}, Case{std::nan(""), false},
                         Case{90.0, true, 90.0}}) {
        const LatLon stop = kRunwayCentre;
        LiveAircraft ac = taxiing(moved(stop, c.approachDeg, -30.0), c.approachDeg);
        ac.stream.samples = {sampleAt(moved(stop, c.approachDeg, -30.0), 10.0, 900), sampleAt(stop, 0.0, 1100, true)};
        if (!std::isnan(c.departureDeg))
            ac.stream.samples.push_back(sampleAt(moved(stop, c.departureDeg, 40.0), 10.0, 1500));
        lf_scanRunwayHold(ac);
        EXPECT_EQ(ac.holds.runwayHeading.has_value(), c.lineUp) << c.departureDeg;
        EXPECT_EQ(ac.holds.runwayKey, c.lineUp ? "09-27:09" : "") << c.departureDeg;
        EXPECT_EQ(ac.holds.lastRunwaySeen, "09-27:09");
    }
}

TEST_F(RunwayHoldTest, OnTheRunwayASampleBehindIsDroppedOnceAndOneAheadStartsTheRoll)
{
    LiveAircraft ac = taxiing(kRunwayCentre, 90.0);
    ac.phases.previousPhase = FlightPhase::pushed_back;
    ac.holds.runwayKey = "09-27:09";
    ac.holds.runwayHeading = 90.0 * kDeg;
    ac.stream.samples = {sampleAt(kRunwayCentre, 5.0, 1000), sampleAt(moved(kRunwayCentre, 270.0, 50.0), 5.0, 1200),
                  sampleAt(moved(kRunwayCentre, 270.0, 40.0), 5.0, 1400),
                  sampleAt(moved(kRunwayCentre, 90.0, 100.0), 30.0, 1600)};
    EXPECT_TRUE(lf_checkRunwayHeadingAhead(ac));
    EXPECT_EQ(ac.stream.samples.size(), 3u);
    EXPECT_FALSE(lf_checkRunwayHeadingAhead(ac)); // once per runway heading
    EXPECT_EQ(ac.phases.phase, FlightPhase::taxi);
    ac.stream.samples.erase(ac.stream.samples.begin() + 1);
    EXPECT_FALSE(lf_checkRunwayHeadingAhead(ac));
    EXPECT_EQ(ac.phases.phase, FlightPhase::takeoff_roll);
    EXPECT_TRUE(ac.flight.takeoffRunway.valid);
    EXPECT_EQ(ac.flight.takeoffRunway.endText, "09");
    EXPECT_TRUE(ac.holds.runwayKey.empty());
    EXPECT_FALSE(ac.holds.runwayHeading.has_value());
}

TEST_F(RunwayHoldTest, ATurnPastTheRunwayLinesUpWithIt)
{
    struct Case {
        double headingDeg;
        double targetDeg;
        bool aligned;
    };
    for (const Case c : {Case{45.0, 120.0, true}, Case{45.0, 80.0, false}, Case{135.0, 30.0, true},
                         Case{88.0, 120.0, false}}) {
        LiveAircraft ac = taxiing(kRunwayCentre, c.headingDeg);
        ac.leg.targetTrack = c.targetDeg * kDeg;
        ac.leg.headingCorrectionPending = 1;
        lf_alignToRunwayOnEntry(ac);
        EXPECT_EQ(ac.holds.runwayHeading.has_value(), c.aligned) << c.headingDeg << " " << c.targetDeg;
        if (c.aligned) {
            EXPECT_NEAR(ac.leg.headingCorrectionDeg, std::fabs(90.0 - c.headingDeg), 1e-6);
        }
    }
}

TEST_F(RunwayHoldTest, AnAircraftStoppedAcrossTheRunwayTurnsOntoItAfterHolding)
{
    LiveAircraft ac = taxiing(kRunwayCentre, 60.0, 0.0);
    ac.stream.samples = {sampleAt(kRunwayCentre, 0.0, 900, true), sampleAt(kRunwayCentre, 0.0, 5000, true)};
    for (int i = 0; i < 520 && !ac.holds.turningToRunway; ++i) {
        lf_trackRunwayHold(ac);
        ++engineClock;
    }
    ASSERT_EQ(ac.holds.turningToRunway, 1);
    EXPECT_EQ(ac.holds.runwayKey, "09-27:09");
    EXPECT_EQ(ac.holds.runwayDescription, "NO_FUTURE:09-27:09");
    EXPECT_NEAR(lf_measuredSpeedKt(ac), 0.0, 1e-9);
    const double before = ac.motion.heading;
    lf_trackRunwayHold(ac);
    EXPECT_GT(ac.motion.heading, before);
}

TEST_F(RunwayHoldTest, TheAirportNearAPointIsTheCurrentOneElseTheNearestKnown)
{
    AirportDbRecord zurich{IcaoCode("LSZH"), IataCode("ZRH"), {47.4647, 8.5492}, 1416};
    AirportDbRecord dubendorf{IcaoCode("LSMD"), IataCode("ZRH"), {47.3986, 8.6482}, 1470};
    gf_installAirportDatabase({dubendorf, zurich}, true);
    EXPECT_EQ(lf_airportNear(moved(kRunwayCentre, 45.0, 9000.0), 0), kEham);          // 4.9 NM
    EXPECT_EQ(lf_airportNear(moved(kRunwayCentre, 45.0, 9500.0), 0), 0u);             // 5.1 NM, nothing known
    EXPECT_EQ(lf_airportNear({47.46, 8.56}, 0), zurich.icao.code);                   // the nearer of two
    EXPECT_EQ(lf_airportNear({47.41, 8.64}, 0), dubendorf.icao.code);
    EXPECT_EQ(lf_airportNear({47.46, 8.56}, 0x41424344), 0x41424344u);               // the fallback wins
    EXPECT_EQ(lf_airportNear({0.0, 0.0}, 0), 0u);
    gf_installAirportDatabase({}, false);
}

class SampleChecksTest : public kvr::test::EngineSimTest {
protected:
    void SetUp() override
    {
        EngineSimTest::SetUp();
        engineClock = 100000;
    }
    void TearDown() override
    {
        setGuidChanges(true);
        gf_quarantineMap().clear();
        EngineSimTest::TearDown();
        engineClock = 0;
    }
    // An active parked aircraft on a stand at the runway centre, heading north.
    LiveAircraft& parked(uint32_t hexid, Category category, bool gate = false)
    {
        LiveAircraft& ac = gf_trafficState().aircraft.addLive(makeLive(hexid, "KLM" + std::to_string(hexid % 1000),
                                                                       false, 52.30, 4.76, 0.0));
        create(ac);
        tick(202);
        ac.identity.category = category;
        ac.phases.phase = FlightPhase::parked;
        ac.stand.standLat = 52.30;
        ac.stand.standLon = 4.76;
        gf_trafficState().aircraft.setStandId(ac, 7);
        ac.stand.gateStand = gate ? 1 : 0;
        ac.stream.samples.front().stationary = 1;
        return ac;
    }
    static LiveTrafficRecord record(const LiveAircraft& ac, const LatLon& p, double t, double kt = 3.0)
    {
        LiveTrafficRecord r;
        r.ids = ac.identity.ids;
        r.callsign = ac.identity.callsign;
        r.registration = ac.identity.registration;
        r.lat = p.latitude;
        r.lon = p.longitude;
        r.groundSpeed = kt;
        r.track = 180.0;
        r.timestamp = 1.7e9 + t;
        r.playTime = engineClock.load() + static_cast<int32_t>(t * 100.0);
        r.hexid = ac.identity.hexid;
        return r;
    }
};

TEST_F(SampleChecksTest, AParkedAircraftLeavesByPullOutPushBackOrIsRemovedByDistance)
{
    struct Case {
        Category category;
        bool gate;
        double bearingDeg;
        double metres;
        int outcome; // 0 stays, 1 pulls out, 2 pushes back, 3 removed
    };
    const Case cases[] = {
        {Category::Heavy, false, 0.0, 230.0, 1}, {Category::Heavy, false, 0.0, 210.0, 0},
        {Category::Heavy, false, 0.0, 310.0, 3}, {Category::Heavy, true, 0.0, 230.0, 0},
        {Category::Light, false, 40.0, 125.0, 1}, {Category::Large, false, 180.0, 150.0, 2},
        {Category::Large, false, 180.0, 270.0, 3},
    };
    uint32_t hexid = 0x4D0000;
    for (const Case& c : cases) {
        LiveAircraft& ac = parked(++hexid, c.category, c.gate);
        TrafficSample s = sampleAt(moved({52.30, 4.76}, c.bearingDeg, c.metres), 5.0, engineClock + 500);
        EXPECT_EQ(checkAtStandSituations(ac, s), c.outcome == 1 || c.outcome == 2) << c.metres;
        EXPECT_EQ(ac.push.standLeaveRequest == 1, c.outcome == 1 || c.outcome == 2) << c.metres;
        EXPECT_EQ(ac.push.pulledOut == 1, c.outcome == 1) << c.metres;
        EXPECT_EQ(ac.sim.simState == SimState::removingfromsim, c.outcome == 3) << c.metres;
    }
}

TEST_F(SampleChecksTest, SamplesBackingAwayFromTheStandAreSeenAsAPushBackThroughTheIntake)
{
    LiveAircraft& ac = parked(0x4D0101, Category::Large);
    const uint32_t id = ac.sim.objectId;
    // 20 m further behind the stand every 14 s at 3 kt.
    for (int i = 1; i <= 3; ++i)
        decodeMessage(record(ac, moved({52.30, 4.76}, 180.0, 20.0 * i), 14.0 * i));
    EXPECT_EQ(ac.push.standLeaveRequest, 1);
    EXPECT_EQ(ac.push.pulledOut, 0);
    EXPECT_EQ(ac.push.leftStand, 1);
    EXPECT_EQ(ac.stream.samples.size(), 2u); // the sample that showed it joins the stream
    EXPECT_EQ(ac.sim.simState, SimState::active);
    tick(20);
    EXPECT_TRUE(objectRecord(id)["removed_frame"].is_null());
}

TEST_F(SampleChecksTest, APushedBackAircraftTaxisOnceItsSamplesMove15MetresWhateverTheirSpacing)
{
    // Pushed back 50 m behind the stand, it moves off sideways; samples 4 m
    // apart (4 kt every 2 s) reach 15 m from the first of them only at the
    // fourth count after it.
    struct Case {
        double stepM;
        int samplesToTaxi; // samples after the first that moved off
    };
    for (const Case c : {Case{4.1, 5}, Case{8.0, 3}, Case{20.0, 3}}) {
        LiveAircraft& ac = parked(0x4D0150 + static_cast<uint32_t>(c.stepM), Category::Large);
        ac.identity.radius = 0.0097;
        ac.phases.phase = FlightPhase::pushed_back;
        const LatLon pushed = moved({52.30, 4.76}, 180.0, 50.0);
        TrafficSample first = sampleAt(pushed, 0.0, engineClock + 100, true);
        EXPECT_FALSE(checkExtendingSituations(ac, first));
        int taxiAt = 0;
        for (int i = 1; i <= 12 && taxiAt == 0; ++i) {
            TrafficSample s = sampleAt(moved(pushed, 270.0, c.stepM * i), 4.0, engineClock + 100 + 200 * i);
            if (checkExtendingSituations(ac, s))
                taxiAt = i;
        }
        EXPECT_EQ(taxiAt, c.samplesToTaxi) << c.stepM;
        EXPECT_EQ(ac.phases.phase, FlightPhase::taxi) << c.stepM;
        EXPECT_EQ(ac.stand.standId, 0) << c.stepM;
    }
}

TEST_F(SampleChecksTest, QuickTurnAroundIsTimedFromWhenTheAircraftParked)
{
    for (const int minutes : {20, 30}) {
        LiveAircraft& ac = parked(0x4D0200 + minutes, Category::Large);
        ac.phases.phaseBeforePrevious = FlightPhase::landing_roll;
        ac.phases.phaseSince = static_cast<uint32_t>(engineClock - minutes * 6000);
        ac.stream.projection = 5;
        // The predicted stand sample of a parked aircraft lies a week ahead.
        ac.stream.samples.front().playTime = engineClock + 60480000;
        TrafficSample s = sampleAt(moved({52.30, 4.76}, 180.0, 150.0), 5.0, engineClock + 500);
        ASSERT_TRUE(checkAtStandSituations(ac, s));
        EXPECT_EQ(ac.push.quickTurnAround, minutes < 25 ? 1 : 0) << minutes;
        EXPECT_EQ(ac.stream.samples.front().playTime, engineClock + 1);
        EXPECT_EQ(ac.stream.projection, 0);
    }
}

TEST_F(SampleChecksTest, AGroundTrackQuarantineNeedsThreeConsistentSamplesWithin60s)
{
    TrafficSample s = sampleAt({52.30, 4.76}, 4.0, 0);
    gf_quarantineMap()[0x4D0300] = QuarantineEntry{52.30, 4.76, 1000.0, 1, 0};
    s.lat += 0.0002;
    EXPECT_FALSE(releaseQuarantine(0x4D0300, s, 1061.0, "KLM300")); // 61 s later: count 1
    EXPECT_EQ(gf_quarantineMap()[0x4D0300].consistentCount, 1);
    EXPECT_FALSE(releaseQuarantine(0x4D0300, s, 1061.0, "KLM300")); // no time passed: unchanged
    s.lat += 0.002; // 222 m
    EXPECT_FALSE(releaseQuarantine(0x4D0300, s, 1070.0, "KLM300"));
    EXPECT_EQ(gf_quarantineMap()[0x4D0300].consistentCount, 1);
    EXPECT_FALSE(releaseQuarantine(0x4D0300, s, 1080.0, "KLM300"));
    EXPECT_TRUE(releaseQuarantine(0x4D0300, s, 1090.0, "KLM300"));
    EXPECT_NE(log().find("KLM300 ground track quarantine released after 3 consistent samples\n"), std::string::npos);
    // A failed departure waits for an airborne sample.
    gf_quarantineMap()[0x4D0301] = QuarantineEntry{52.30, 4.76, 1000.0, 1, 1};
    for (double t : {1010.0, 1020.0, 1030.0})
        EXPECT_FALSE(releaseQuarantine(0x4D0301, s, t, "KLM301"));
    s.airborne = 1;
    EXPECT_TRUE(releaseQuarantine(0x4D0301, s, 1040.0, "KLM301"));
    EXPECT_NE(log().find("KLM301 failed departure quarantine released by an airborne sample\n"), std::string::npos);
}

TEST_F(SampleChecksTest, ANewCallsignInThreeRecordsRespawnsTheAircraftOnlyWithTheSwitchOn)
{
    for (const bool on : {true, false}) {
        setGuidChanges(on);
        LiveAircraft& ac = parked(on ? 0x4D0401 : 0x4D0402, Category::Large);
        ac.phases.phase = FlightPhase::taxi;
        ac.phases.groundMode = 1;
        const uint32_t id = ac.sim.objectId;
        const std::string before = ac.identity.callsign;
        for (int i = 1; i <= 3; ++i) {
            LiveTrafficRecord r = record(ac, moved({52.30, 4.76}, 90.0, 30.0 * i), 15.0 * i, 5.0);
            r.callsign = "TRA123";
            decodeMessage(r);
            EXPECT_EQ(ac.identity.callsign, i < 3 ? before : "TRA123") << on << i;
        }
        EXPECT_EQ(log().find(fmt::format("{:8} {:12} > respawns because of callsign change", before,
                                         ac.identity.registration)) != std::string::npos,
                  on);
        EXPECT_EQ(ac.sim.simState == SimState::active, !on);
        while (gf_handOnOneRemoval())
            frames(2);
        tick();
        EXPECT_EQ(objectRecord(id)["removed_frame"].is_null(), !on);
    }
}

TEST_F(SampleChecksTest, ARouteToTheAirportMakesATaxiingAircraftInboundAndANewRegistrationRespawnsAtOnce)
{
    setAirport(kEham);
    setGuidChanges(false);
    LiveAircraft& ac = parked(0x4D0451, Category::Large);
    ac.phases.phase = FlightPhase::taxi;
    LiveTrafficRecord r = record(ac, moved({52.30, 4.76}, 90.0, 30.0), 15.0, 5.0);
    r.origin = IataCode("LHR");
    r.destination = IataCode("AMS");
    EXPECT_TRUE(checkRespawn(ac, r)); // the switch is off: the route is only filled in
    EXPECT_EQ(ac.push.inboundToAirport, 1);
    EXPECT_EQ(ac.identity.destination, IataCode("AMS"));
    // A registration whose code names another livery: the livery is chosen again.
    setGuidChanges(true);
    static const std::string title = "Airbus A320 Transavia";
    RegcodeLiveries["PH-XRA"] = title;
    r.registration = "PH-XRA";
    r.timestamp += 15.0;
    EXPECT_FALSE(checkRespawn(ac, r));
    RegcodeLiveries.erase("PH-XRA");
    EXPECT_EQ(ac.phases.phase, FlightPhase::birth);
    EXPECT_TRUE(ac.identity.liveryTitle.empty());
    EXPECT_EQ(ac.sim.simState, SimState::liveryrespawn); // its object goes; it is created again in place
    EXPECT_NE(log().find("respawns because of regcode change\n"), std::string::npos);
    setAirport(0);
}

TEST_F(SampleChecksTest, AHeldTaxiAircraftFarFromItsLastSampleAndAnOverlongStreamAreRemoved)
{
    LiveAircraft& held = parked(0x4D0501, Category::Large);
    held.phases.phase = FlightPhase::taxi;
    held.push.holding = 1;
    decodeExisting(held, sampleAt(moved({52.30, 4.76}, 90.0, 260.0), 5.0, engineClock + 100));
    EXPECT_EQ(held.sim.simState, SimState::removingfromsim);

    LiveAircraft& busy = parked(0x4D0502, Category::Large);
    busy.phases.phase = FlightPhase::taxi;
    busy.stream.samples.resize(201, busy.stream.samples.front());
    decodeExisting(busy, sampleAt(moved({52.30, 4.76}, 90.0, 10.0), 5.0, engineClock + 100));
    EXPECT_EQ(busy.sim.simState, SimState::removingfromsim);
}

TEST_F(SampleChecksTest, AHeldTaxiAircraftDrivesOnToAFarReportItCanReachAtTaxiSpeed)
{
    // A queue's reports 40 s apart: held at the last one, the next lies 280 m
    // on, due in 26 s at 16 kt (21 kt to get there).
    LiveAircraft& held = parked(0x4D0503, Category::Heavy);
    held.phases.phase = FlightPhase::taxi;
    held.push.holding = 1;
    held.stream.projection = 40;
    const TrafficSample next = sampleAt(moved({52.30, 4.76}, 90.0, 280.0), 16.0, engineClock + 2600);
    decodeExisting(held, next);
    EXPECT_EQ(held.sim.simState, SimState::active);
    EXPECT_EQ(held.push.holding, 0);
    EXPECT_EQ(held.stream.samples.back().lat, next.lat);
    EXPECT_EQ(held.stream.samples.back().lon, next.lon);
    // Out of taxi reach: due in 10 s (54 kt), or rolling for take-off at 82 kt.
    for (const TrafficSample& beyond : {sampleAt(moved({52.30, 4.76}, 90.0, 280.0), 16.0, engineClock + 1000),
                                     sampleAt(moved({52.30, 4.76}, 90.0, 280.0), 82.0, engineClock + 2600)}) {
        LiveAircraft& gone = parked(0x4D0504 + (beyond.speedKt > 30.0 ? 1 : 0), Category::Heavy);
        gone.phases.phase = FlightPhase::taxi;
        gone.push.holding = 1;
        gone.stream.projection = 40;
        decodeExisting(gone, beyond);
        EXPECT_EQ(gone.sim.simState, SimState::removingfromsim) << beyond.speedKt;
    }
}

TEST_F(SampleChecksTest, TheStandingFilterTurnsSmallGroundMovesIntoStopsAndRejectsAirborneOnes)
{
    LiveAircraft& ac = parked(0x4D0601, Category::Large);
    ac.phases.phase = FlightPhase::taxi;
    ac.stream.samples.front().stationary = 0;
    TrafficSample jitter = sampleAt(moved({52.30, 4.76}, 90.0, 5.0), 2.0, engineClock + 300);
    ASSERT_TRUE(checkExtendingSituations(ac, jitter));
    EXPECT_EQ(jitter.stationary, 1);
    EXPECT_EQ(jitter.speedKt, 0.0);
    EXPECT_EQ(jitter.lat, 52.30);
    EXPECT_EQ(jitter.playTime, engineClock + 300);
    // As close, but reporting 10 kt: a slow move, not a stop.
    TrafficSample slow = sampleAt(moved({52.30, 4.76}, 0.0, 8.0), 10.0, engineClock + 400);
    ASSERT_TRUE(checkExtendingSituations(ac, slow));
    EXPECT_EQ(slow.stationary, 0);
    ac.phases.groundMode = 0;
    TrafficSample still = sampleAt({52.30, 4.76}, 0.0, engineClock + 600);
    EXPECT_FALSE(checkExtendingSituations(ac, still)); // a flying aircraft does not stand
}

TEST_F(SampleChecksTest, AHelicoptersReportBehindItsLastOneIsTakenWhereAnAeroplanesIsNoise)
{
    // Flying north at 50 kt on predictions; the next report lies 200 m
    // behind the last one, still heading north (a helicopter backing off
    // in an orbit), or the same but heading north-east.
    for (const Category category : {Category::Rotorcraft, Category::Large}) {
        LiveAircraft& ac = parked(category == Category::Rotorcraft ? 0x4D0611 : 0x4D0612, category);
        ac.phases.phase = FlightPhase::flying;
        ac.phases.groundMode = 0;
        ac.stream.projection = 12;
        ac.motion.heading = 0.0;
        TrafficSample last = sampleAt({52.30, 4.76}, 50.0, engineClock + 100);
        last.airborne = 1;
        last.altitudeFt = 500.0;
        last.trackDeg = 0.0;
        ac.stream.samples = {last};
        ac.stream.lastReport = last;
        for (const double track : {0.0, 45.0}) {
            TrafficSample behind = sampleAt(moved({52.30, 4.76}, 180.0, 200.0), 50.0, engineClock + 1100);
            behind.airborne = 1;
            behind.altitudeFt = 500.0;
            behind.trackDeg = track;
            EXPECT_EQ(checkExtendingSituations(ac, behind), category == Category::Rotorcraft) << track;
        }
    }
}

TEST_F(SampleChecksTest, NoisyReportsBehindTheTrackAndJitterLinedUpAreDropped)
{
    LiveAircraft& ac = parked(0x4D0602, Category::Large);
    ac.stream.samples.front().stationary = 0;
    // Lined up and waiting: 3 m of jitter at 1 kt is no move.
    ac.phases.phase = FlightPhase::takeoff_roll;
    ac.stream.samples.front().speedKt = 0.0;
    TrafficSample jitter = sampleAt(moved({52.30, 4.76}, 200.0, 3.0), 1.0, engineClock + 300);
    EXPECT_FALSE(checkExtendingSituations(ac, jitter));
    // Rolling on runway 36 (its end 3 km north): a report 20 m aside is put
    // on the centre line.
    ac.flight.takeoffRunway.valid = true;
    const LatLon end = moved({52.30, 4.76}, 0.0, 3000.0);
    ac.flight.takeoffRunway.endLatitude = end.latitude;
    ac.flight.takeoffRunway.endLongitude = end.longitude;
    ac.flight.takeoffRunway.width = 45.0;
    TrafficSample rolling = sampleAt(moved(moved({52.30, 4.76}, 0.0, 40.0), 90.0, 20.0), 20.0, engineClock + 500);
    EXPECT_TRUE(checkExtendingSituations(ac, rolling));
    EXPECT_NEAR(rolling.lon, 4.76, 1e-7);
    EXPECT_NEAR(gf_distanceNm({52.30, 4.76}, {rolling.lat, rolling.lon}) * 1852.0, 40.0, 0.5);
    // Taxiing north at 20 kt: a report 60 m behind that still says north is
    // noise; one that says south turned round out of sight.
    ac.phases.phase = FlightPhase::taxi;
    ac.stream.samples = {sampleAt({52.30, 4.76}, 20.0, engineClock + 100)};
    ac.stream.lastReport = ac.stream.samples.back();
    TrafficSample back = sampleAt(moved({52.30, 4.76}, 180.0, 60.0), 20.0, engineClock + 1100);
    EXPECT_FALSE(checkExtendingSituations(ac, back));
    back.trackDeg = 180.0;
    EXPECT_TRUE(checkExtendingSituations(ac, back));
    TrafficSample ahead = sampleAt(moved({52.30, 4.76}, 10.0, 100.0), 20.0, engineClock + 1100);
    EXPECT_TRUE(checkExtendingSituations(ac, ahead));
    // Stopped 20 m short of the last report as the noise has it: a stop there.
    ac.stream.samples = {sampleAt({52.30, 4.76}, 20.0, engineClock + 100)};
    ac.stream.lastReport = ac.stream.samples.back();
    TrafficSample stop = sampleAt(moved(moved({52.30, 4.76}, 180.0, 20.0), 90.0, 8.0), 1.0, engineClock + 1100);
    stop.trackDeg = 250.0;
    ASSERT_TRUE(checkExtendingSituations(ac, stop));
    EXPECT_EQ(stop.stationary, 1);
    EXPECT_EQ(stop.lat, 52.30);
    // The same for an aircraft still waiting for its simulator object: 4 kt
    // south, then 2 kt 22 m north is where it stopped.
    const SimState wasState = ac.sim.simState;
    ac.sim.simState = SimState::adding2sim;
    ac.phases.groundMode = 0;
    ac.stream.samples = {sampleAt({52.30, 4.76}, 4.0, engineClock + 100)};
    ac.stream.samples.front().trackDeg = 183.0;
    ac.stream.lastReport = ac.stream.samples.back();
    TrafficSample unplaced = sampleAt(moved(moved({52.30, 4.76}, 0.0, 22.0), 270.0, 3.0), 2.0, engineClock + 1100);
    unplaced.trackDeg = 211.0;
    ASSERT_TRUE(checkExtendingSituations(ac, unplaced));
    EXPECT_EQ(unplaced.stationary, 1);
    EXPECT_EQ(unplaced.lat, 52.30);
    ac.phases.groundMode = 1;
    ac.sim.simState = wasState;
    // Rolled out south to 4 kt after its landing: a report at 2 kt 20 m back
    // is where it stopped, so it does not turn round to creep back.
    ac.phases.phase = FlightPhase::landing_roll;
    ac.stream.samples = {sampleAt({52.30, 4.76}, 4.0, engineClock + 100)};
    ac.stream.samples.front().trackDeg = 183.0;
    ac.stream.lastReport = ac.stream.samples.back();
    TrafficSample rolledOut = sampleAt(moved(moved({52.30, 4.76}, 0.0, 20.0), 270.0, 3.0), 2.0, engineClock + 1100);
    rolledOut.trackDeg = 211.0;
    EXPECT_FALSE(checkExtendingSituations(ac, rolledOut));
    EXPECT_EQ(ac.stream.samples.size(), 1u);
    TrafficSample rollsOn = sampleAt(moved({52.30, 4.76}, 183.0, 40.0), 4.0, engineClock + 1100);
    EXPECT_TRUE(checkExtendingSituations(ac, rollsOn));
    // In the air, multilateration 400 m back along a north track.
    ac.phases.groundMode = 0;
    ac.phases.phase = FlightPhase::flying;
    TrafficSample air = sampleAt({52.30, 4.76}, 100.0, engineClock + 100);
    air.airborne = 1;
    air.altitudeFt = 1500.0;
    ac.stream.samples = {air};
    ac.stream.lastReport = ac.stream.samples.back();
    TrafficSample jump = air;
    jump.lat = moved({52.30, 4.76}, 180.0, 400.0).latitude;
    jump.playTime = engineClock + 1100;
    EXPECT_FALSE(checkExtendingSituations(ac, jump));
    jump.lat = moved({52.30, 4.76}, 0.0, 500.0).latitude;
    EXPECT_TRUE(checkExtendingSituations(ac, jump));
}

TEST_F(SampleChecksTest, SlowMovesThatTheReportedSpeedExplainsAreMovementNotStops)
{
    LiveAircraft& ac = parked(0x4D0603, Category::Large);
    ac.phases.phase = FlightPhase::taxi;
    const LatLon p0{52.30, 4.76};
    auto standingAt = [&](const LatLon& p) {
        ac.stream.samples = {sampleAt(p, 0.0, engineClock + 100, true)};
        ac.stream.lastReport = ac.stream.samples.back();
    };
    // Every 4 s from where the last report left it, reporting `kt` and a
    // north track.
    auto report = [&](const LatLon& from, double bearingDeg, double kt, int i) {
        TrafficSample s = sampleAt(moved(from, bearingDeg, kt * 0.5144444444444445 * 4.0 * i), kt, engineClock + 100 + 400 * i);
        s.trackDeg = 0.0;
        decodeExisting(ac, s);
        return s;
    };
    auto noStops = [&] {
        return std::none_of(ac.stream.samples.begin() + 1, ac.stream.samples.end(), [](const TrafficSample& s) { return s.stationary; });
    };
    // A queue creeping north at 1.5 kt: each report 3 m on from the last.
    standingAt(p0);
    TrafficSample last;
    for (int i = 1; i <= 5; ++i)
        last = report(p0, 0.0, 1.5, i);
    EXPECT_EQ(ac.stream.samples.size(), 6u);
    EXPECT_TRUE(noStops());
    EXPECT_EQ(ac.stream.samples.back().lat, last.lat);
    // A push-back south at 3 kt whose transponder gives the nose's direction
    // as its track: 25 m behind, and no stop on the way.
    standingAt(p0);
    for (int i = 1; i <= 4; ++i)
        last = report(p0, 180.0, 3.0, i);
    EXPECT_EQ(ac.stream.samples.size(), 5u);
    EXPECT_TRUE(noStops());
    EXPECT_EQ(ac.stream.samples.back().lat, last.lat);
    // Standing jitter reported at 0 kt, or 15 m at 1 kt in 4 s, is a stop.
    standingAt(p0);
    TrafficSample jitter = sampleAt(moved(p0, 0.0, 8.0), 0.0, engineClock + 500);
    ASSERT_TRUE(checkExtendingSituations(ac, jitter));
    EXPECT_EQ(jitter.stationary, 1);
    TrafficSample stray = sampleAt(moved(p0, 0.0, 15.0), 1.0, engineClock + 500);
    ASSERT_TRUE(checkExtendingSituations(ac, stray));
    EXPECT_EQ(stray.stationary, 1);
    EXPECT_EQ(stray.lat, p0.latitude);
}

TEST_F(SampleChecksTest, JitterRoundAStopStaysAStopWhateverTheTracksItsScatterReads)
{
    LiveAircraft& ac = parked(0x4D0604, Category::Large);
    ac.phases.phase = FlightPhase::taxi;
    const LatLon p0{52.30, 4.76};
    // Held at a threshold: reports a second apart at 1-2 kt, each 2.5 m from
    // the last in another direction, its track along that move (as tracks
    // derived from the scatter read). No report moves as its speed says.
    ac.stream.samples = {sampleAt(p0, 0.0, engineClock + 100, true)};
    ac.stream.lastReport = ac.stream.samples.back();
    const double scatterDeg[] = {70.0, 200.0, 310.0, 20.0, 150.0, 250.0};
    for (size_t i = 0; i < std::size(scatterDeg); ++i) {
        const LatLon from{ac.stream.lastReport.lat, ac.stream.lastReport.lon};
        TrafficSample s = sampleAt(moved(from, scatterDeg[i], 2.5), i % 2 ? 2.0 : 1.0,
                                   engineClock + 200 + 100 * static_cast<int32_t>(i));
        s.trackDeg = scatterDeg[i];
        decodeExisting(ac, s);
    }
    for (const TrafficSample& s : ac.stream.samples) {
        EXPECT_EQ(s.stationary, 1) << "at " << s.playTime;
        EXPECT_EQ(s.lat, p0.latitude);
        EXPECT_EQ(s.lon, p0.longitude);
    }
}

} // namespace
