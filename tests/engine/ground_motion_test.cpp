// Ground movement: the build rules and the constant-speed evaluation of the
// two corner curves, the turn planning on hand-made sample streams, the turn
// on the spot, and against the stand-in simulator a taxi corner and a
// push-back, checked on the simulator's trace.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "airports/airport_database.h"
#include "core/geodesy.h"
#include "core/settings_snapshot.h"
#include "engine/geometry.h"
#include "engine/ground_curves.h"
#include "engine/motion/ground_moves.h"
#include "engine/motion/ground_turns.h"
#include "engine/motion/motion_dispatch.h"
#include "engine/motion/motion_step.h"
#include "engine/per_tick_update.h"
#include "feed/traffic_mailbox.h"
#include "liveries/livery_memory.h"
#include "runways/runway_table.h"
#include "stands/stand_table.h"
#include "simlink/position_stream.h"
#include "standins/trace_check.h"
#include "tests/engine/engine_fixture.h"
#include "tests/runways/runway_fixture.h"
#include "tests/support/report_files.h"
#include "tests/support/track_records.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;
const LatLon kStart{52.3, 4.76};

LatLon moveM(const LatLon& from, double bearingDeg, double metres)
{
    return gf_destinationPoint(from, {bearingDeg * kDeg, metres / 0.3048});
}
double metres(const LatLon& a, const LatLon& b)
{
    return gf_distanceNm(a, b) * 1852.0;
}

// ---- The two corner curves ------------------------------------------------------

// Start heading, leg 1 (bearing, length) from kStart, leg 2 (bearing, length).
GroundTurnParams params(double headingDeg, double leg1Deg, double leg1M, double leg2Deg, double leg2M)
{
    GroundTurnParams p;
    p.p0 = kStart;
    p.p1 = moveM(kStart, leg1Deg, leg1M);
    p.p2 = moveM(p.p1, leg2Deg, leg2M);
    p.startHeading = headingDeg * kDeg;
    return p;
}

TEST(GroundCurvesTest, TurnStatusRules)
{
    struct Case {
        const char* what;
        GroundTurnParams p;
        const char* status;
    };
    GroundTurnParams badHeading = params(0, 0, 60, 90, 60);
    badHeading.startHeading = 2.0 * kPi;
    GroundTurnParams badPoint = params(0, 0, 60, 90, 60);
    badPoint.p2.latitude = std::numeric_limits<double>::quiet_NaN();
    GroundTurnParams badEnd = params(0, 0, 60, 90, 60);
    badEnd.hasEndHeading = 1;
    badEnd.endHeading = -0.1;
    const Case cases[] = {
        {"right angle along leg 1", params(0, 0, 60, 90, 60), "none"},
        {"left corner", params(90, 90, 80, 30, 70), "none"},
        {"start heading 2 pi", badHeading, "invalid input"},
        {"end point not a number", badPoint, "invalid input"},
        {"negative end heading", badEnd, "invalid input"},
        {"leg 1 of 1.9 m", params(0, 0, 1.9, 90, 60), "leg too short"},
        {"leg 2 of 1.9 m", params(0, 0, 60, 90, 1.9), "leg too short"},
        {"leg 2 of 251 m", params(0, 0, 60, 90, 251), "leg out of range"},
        {"2 degrees, heading on leg 2", params(2, 0, 60, 2, 60), "turn too small"},
        {"170 degree turn", params(0, 0, 60, 170, 60), "turn too large"},
        {"75 degrees off leg 1", params(75, 0, 60, 90, 60), "start heading mismatch"},
        // Corner mode: the heading is off leg 1 against the turn, and the
        // legs are shorter than the 15 m minimum.
        {"corner with short legs", params(330, 0, 12, 20, 12), "invalid tangent"},
        // Corner mode: straight legs, heading 40 degrees off, long enough.
        {"corner onto straight track", params(320, 0, 60, 0, 60), "none"},
        {"corner beyond 60 degrees of heading change", params(320, 0, 60, 60, 60), "invalid tangent"},
    };
    for (const Case& c : cases) {
        GroundTurn turn;
        const bool built = gf_buildGroundTurn(turn, c.p);
        EXPECT_EQ(std::string(gf_groundTurnStatusText(turn)), c.status) << c.what;
        EXPECT_EQ(built, turn.active()) << c.what;
        if (built) {
            // The curve is longer than the chord to its end and at most 1.6 legs.
            const GroundPose e = gf_groundTurnAt(turn, 1.0);
            ASSERT_TRUE(e.valid) << c.what;
            const LatLon end{e.lat, e.lon};
            EXPECT_GT(turn.length, metres(kStart, end)) << c.what;
            EXPECT_LT(metres(end, c.p.p2), 0.01) << c.what;
        }
    }
    GroundTurn turn;
    turn.status = static_cast<GroundTurnStatus>(9);
    EXPECT_EQ(gf_groundTurnStatusText(turn), "unknown");
}

TEST(GroundCurvesTest, TurnIsFollowedAtConstantSpeedAndClampedAtItsEnds)
{
    GroundTurn turn;
    GroundTurnParams p = params(0, 0, 60, 90, 60);
    ASSERT_TRUE(gf_buildGroundTurn(turn, p));
    EXPECT_NEAR(turn.turnAngleDeg, 90.0, 0.1);
    EXPECT_EQ(turn.cornerMode, 0);
    const GroundPose before = gf_groundTurnAt(turn, -0.2);
    const GroundPose after = gf_groundTurnAt(turn, 1.7);
    ASSERT_TRUE(before.valid && after.valid);
    EXPECT_LT(metres({before.lat, before.lon}, kStart), 0.01);
    EXPECT_LT(metres({after.lat, after.lon}, p.p2), 0.01);
    EXPECT_NEAR(before.heading, 0.0, 1e-6);
    EXPECT_NEAR(after.heading, 90.0 * kDeg, 1e-4); // the end tangent lies along leg 2
    // Ten equal steps of the fraction cover equal distances, and the heading
    // turns one way only.
    double last = before.heading;
    LatLon at = kStart;
    for (int i = 1; i <= 10; ++i) {
        const GroundPose g = gf_groundTurnAt(turn, i / 10.0);
        ASSERT_TRUE(g.valid);
        EXPECT_NEAR(metres(at, {g.lat, g.lon}), turn.length / 10.0, turn.length * 0.004) << i;
        EXPECT_GE(g.heading, last - 1e-9) << i;
        last = g.heading;
        at = {g.lat, g.lon};
    }
    // Stopping at the corner ends the curve at the corner.
    p.stopAtCorner = 1;
    ASSERT_TRUE(gf_buildGroundTurn(turn, p));
    const GroundPose corner = gf_groundTurnAt(turn, 1.0);
    EXPECT_LT(metres({corner.lat, corner.lon}, p.p1), 0.01);
    EXPECT_FALSE(gf_groundTurnAt(turn, std::numeric_limits<double>::quiet_NaN()).valid);
}

TEST(GroundCurvesTest, CurveIsTimedByLengthAndInvalidWithoutTime)
{
    // A lopsided control point: t = 0.5 is not half of the length.
    const LatLon control = moveM(kStart, 0.0, 150.0);
    const LatLon end = moveM(control, 90.0, 20.0);
    GroundCurve curve;
    EXPECT_FALSE(curve.valid());
    gf_buildGroundCurve(curve, {{kStart.latitude, kStart.longitude, 10.0}, {control.latitude, control.longitude, 0.0},
                                end, 20.0});
    ASSERT_TRUE(curve.valid());
    EXPECT_DOUBLE_EQ(curve.arcTable[0], 0.0);
    EXPECT_DOUBLE_EQ(curve.arcTable[64], 1.0);
    const GroundPose first = gf_groundCurveAt(curve, 10.0);
    const GroundPose mid = gf_groundCurveAt(curve, 15.0);
    const GroundPose last = gf_groundCurveAt(curve, 20.0);
    ASSERT_TRUE(first.valid && mid.valid && last.valid);
    EXPECT_LT(metres({first.lat, first.lon}, kStart), 0.01);
    EXPECT_NEAR(first.heading, 0.0, 1e-9); // toward the control point
    EXPECT_LT(metres({last.lat, last.lon}, end), 0.01);
    // Half of the length by walking the curve in small time steps.
    double total = 0.0, toMid = 0.0;
    LatLon at = kStart;
    for (int i = 1; i <= 1000; ++i) {
        const GroundPose g = gf_groundCurveAt(curve, 10.0 + i * 0.01);
        total += metres(at, {g.lat, g.lon});
        if (i == 500)
            toMid = total;
        at = {g.lat, g.lon};
    }
    EXPECT_NEAR(toMid / total, 0.5, 0.005);
    EXPECT_FALSE(gf_groundCurveAt(curve, 9.99).valid);
    EXPECT_FALSE(gf_groundCurveAt(curve, 20.01).valid);

    // End time equal to the start time: invalid, and fails at every time.
    gf_buildGroundCurve(curve, {{kStart.latitude, kStart.longitude, 5.0}, {control.latitude, control.longitude, 0.0},
                                end, 5.0});
    EXPECT_FALSE(curve.valid());
    for (double t : {4.0, 5.0, 6.0})
        EXPECT_FALSE(gf_groundCurveAt(curve, t).valid) << t;
}

// ---- Turn planning ------------------------------------------------------------

// One leg of a hand-made stream: bearing and length from the previous sample.
struct Leg {
    double bearingDeg = 0.0;
    double metres = 0.0;
};

// A taxiing aircraft at kStart heading north, with s0 there and one sample
// per leg, timed at `kt`.
LiveAircraft taxiing(double kt, const std::vector<Leg>& legs, Category category = Category::Large)
{
    LiveAircraft ac = kvr::test::makeLive(0x4D0001, "KLM77", false, kStart.latitude, kStart.longitude, 0.0);
    ac.identity.category = category;
    ac.identity.baseTurnRate = (category == Category::Rotorcraft ? 0.20 : 0.07) * kDeg;
    ac.phases.phase = FlightPhase::taxi;
    ac.motion.tasKt = kt;
    ac.stream.samples.front().speedKt = kt;
    ac.stream.samples.front().playTime = engineClock.load();
    LatLon at = kStart;
    for (const Leg& leg : legs) {
        TrafficSample s = ac.stream.samples.back();
        at = moveM(at, leg.bearingDeg, leg.metres);
        s.lat = at.latitude;
        s.lon = at.longitude;
        s.playTime += static_cast<int32_t>(std::lround(leg.metres / (kt * 0.5144444444444445) * 100.0));
        ac.stream.samples.push_back(s);
    }
    return ac;
}

LatLon posOf(const TrafficSample& s)
{
    return {s.lat, s.lon};
}

class GroundTurnPlanningTest : public kvr::test::EngineClockTest {
protected:
    kvr::test::SimLinkTestBase base{"groundturns"};

    // At rest, its next report `legM` off to the right at `kt`, then 100 m
    // on: it turns on the spot and drives off. The fastest it shows, its
    // hardest speed-up (m/s²) and the ticks until it reaches that report.
    struct DriveOff {
        double fastestKt = 0.0, hardestMps2 = 0.0;
        int reachedAt = -1;
    };
    static DriveOff driveOffFromRest(double kt, double legM)
    {
        LiveAircraft ac = taxiing(kt, {{90, legM}, {90, 100}});
        ac.motion.tasKt = 0.0;
        ac.stream.samples.front().speedKt = 0.0;
        nextPosMain(ac);
        EXPECT_TRUE(ac.ground.turningInPlace);
        const LatLon report = posOf(ac.stream.samples[1]);
        DriveOff out;
        double was = 0.0;
        for (int t = 1; t <= 20000 && ac.stream.samples.size() >= 2; ++t) {
            engineClock.fetch_add(1);
            if (ac.stream.samples.front().playTime <= engineClock.load())
                nextPosMain(ac);
            stepMotion(ac);
            out.fastestKt = std::max(out.fastestKt, ac.motion.tasKt);
            out.hardestMps2 = std::max(out.hardestMps2, (ac.motion.tasKt - was) * kKnotsToMetresPerSecond * kTicksPerSecond);
            was = ac.motion.tasKt;
            if (out.reachedAt < 0 && metres(report, {ac.motion.lat, ac.motion.lon}) < 1.0)
                out.reachedAt = t;
        }
        return out;
    }
};

TEST_F(GroundTurnPlanningTest, DecisionsForTheBendAhead)
{
    struct Case {
        const char* what;
        double kt;
        std::vector<Leg> legs;
        Category category;
        bool changed;
        std::function<void(const LiveAircraft&, const std::vector<TrafficSample>&)> check;
    };
    const std::vector<Case> cases = {
        {"a bend of 2 degrees is flown straight", 15.0, {{0, 100}, {2, 100}}, Category::Large, false,
         [](const LiveAircraft& ac, const std::vector<TrafficSample>& before) {
             EXPECT_EQ(ac.stream.samples.size(), before.size());
             EXPECT_FALSE(ac.ground.groundTurn.active());
             EXPECT_FALSE(ac.ground.groundCurve.valid());
         }},
        {"a zig-zag within 3 m of a line is one leg", 15.0, {{2.15, 40.03}, {-3.58, 40.08}, {1.43, 40.01}, {0, 40}},
         Category::Large, true,
         [](const LiveAircraft& ac, const std::vector<TrafficSample>& before) {
             ASSERT_EQ(ac.stream.samples.size(), 3u);
             EXPECT_EQ(ac.stream.samples[1].playTime, before[3].playTime);
             EXPECT_NEAR(ac.leg.targetTrack, gf_initialBearing(kStart, posOf(before[3])), 1e-12);
         }},
        {"at 10 kt a corner 200 m ahead gets the turn's start inserted", 10.0, {{0, 200}, {90, 80}},
         Category::Large, true,
         [](const LiveAircraft& ac, const std::vector<TrafficSample>& before) {
             ASSERT_EQ(ac.stream.samples.size(), 4u);
             const TrafficSample& start = ac.stream.samples[1];
             EXPECT_TRUE(start.inserted);
             EXPECT_FALSE(start.insertedFromCurrent);
             const double lead = metres(posOf(start), posOf(before[1]));
             // 10 kt turning at 8 degrees a second for at most 6 s.
             EXPECT_NEAR(lead, 10.0 * 0.5144444444444445 * 6.0, 0.5);
             EXPECT_GT(start.playTime, before[0].playTime);
             EXPECT_LT(start.playTime, before[1].playTime);
             EXPECT_FALSE(ac.ground.groundTurn.active());
         }},
        {"a corner 10 m ahead is turned on a GroundTurn", 5.0, {{0, 10}, {90, 80}}, Category::Large, true,
         [](const LiveAircraft& ac, const std::vector<TrafficSample>& before) {
             EXPECT_TRUE(ac.ground.groundTurn.active());
             EXPECT_EQ(ac.ground.turnKind, GroundTurnKind::taxiTurn);
             EXPECT_NEAR(ac.ground.lastTurnAngleDeg, 90.0, 0.1);
             ASSERT_EQ(ac.stream.samples.size(), 2u); // the corner sample is consumed
             EXPECT_EQ(ac.stream.samples[1].playTime, before[2].playTime);
         }},
        {"a corner reported as an arc of samples is turned as the one corner", 14.0,
         {{0, 60}, {30, 14}, {60, 14}, {90, 14}, {90, 30}}, Category::Large, true,
         [](const LiveAircraft& ac, const std::vector<TrafficSample>& before) {
             // The arc's samples give way to the corner where the line north
             // meets the line east, with the turn's start inserted before it.
             ASSERT_EQ(ac.stream.samples.size(), 5u);
             EXPECT_TRUE(ac.stream.samples[1].inserted);
             const TrafficSample& corner = ac.stream.samples[2];
             EXPECT_FALSE(corner.inserted);
             EXPECT_LT(metres(posOf(corner), {before[4].lat, before[1].lon}), 0.5);
             EXPECT_GT(corner.playTime, before[1].playTime);
             EXPECT_LT(corner.playTime, before[4].playTime);
             EXPECT_EQ(ac.stream.samples[3].playTime, before[4].playTime);
         }},
        {"a rotorcraft turning 130 degrees without a turn drives straight", 5.0, {{0, 10}, {130, 100}},
         Category::Rotorcraft, false,
         [](const LiveAircraft& ac, const std::vector<TrafficSample>& before) {
             EXPECT_EQ(ac.stream.samples.size(), before.size());
             EXPECT_FALSE(ac.ground.groundCurve.valid());
         }},
        {"a rotorcraft turning 100 degrees follows the fallback curve", 5.0, {{0, 10}, {100, 100}},
         Category::Rotorcraft, true,
         [](const LiveAircraft& ac, const std::vector<TrafficSample>&) {
             EXPECT_TRUE(ac.ground.groundCurve.valid());
             EXPECT_FALSE(ac.ground.groundTurn.active());
             EXPECT_EQ(ac.stream.samples.size(), 2u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LiveAircraft ac = taxiing(c.kt, c.legs, c.category);
        const std::vector<TrafficSample> before(ac.stream.samples.begin(), ac.stream.samples.end());
        EXPECT_EQ(lf_planGroundTurn(ac), c.changed);
        c.check(ac, before);
    }
}

TEST_F(GroundTurnPlanningTest, AnInsertedTurnStartIsPlannedAndAStopSampleIsRefused)
{
    // Reaching the inserted start of a corner plans the turn there.
    LiveAircraft ac = taxiing(10.0, {{0, 200}, {90, 80}});
    ASSERT_TRUE(lf_planGroundTurn(ac));
    ac.stream.samples.pop_front();
    const TrafficSample start = ac.stream.samples.front();
    ac.motion.lat = start.lat;
    ac.motion.lon = start.lon;
    EXPECT_TRUE(lf_planGroundTurn(ac));
    EXPECT_TRUE(ac.ground.groundTurn.active() || ac.ground.groundCurve.valid());
    ASSERT_EQ(ac.stream.samples.size(), 2u);

    // A turn toward a stop sample is refused with its log line.
    LiveAircraft stop = taxiing(10.0, {{0, 20}, {90, 30}});
    stop.stream.samples[2].stationary = 1;
    EXPECT_FALSE(makeTurnGnd(stop, 90.0));
    EXPECT_NE(kvr::test::flushedLog().find("makeTurnGnd: unexpected same at stream[2], KLM77"), std::string::npos);
}

TEST_F(GroundTurnPlanningTest, FacingAwayFromTheLegTheAircraftTurnsOnTheSpotAndTheSamplesWait)
{
    LiveAircraft ac = taxiing(10.0, {{90, 100}, {90, 100}});
    ac.motion.tasKt = 0.0; // at rest
    const int32_t lastBefore = ac.stream.samples.back().playTime;
    nextPosMain(ac);
    ASSERT_TRUE(ac.ground.turningInPlace);
    EXPECT_GT(ac.stream.samples.back().playTime, lastBefore); // the later samples were delayed too
    const LatLon startPos{ac.motion.lat, ac.motion.lon};
    const double limit = 1.2 * ac.identity.baseTurnRate + 1e-12;
    int movedAt = -1;
    for (int t = 0; t < 3000 && ac.stream.samples.size() >= 2; ++t) {
        engineClock.fetch_add(1);
        if (ac.stream.samples.front().playTime <= engineClock.load()) {
            // Each sample is reached about on time: no catching up after the
            // turn (without the delay the first would be 69 m away).
            EXPECT_LT(metres({ac.motion.lat, ac.motion.lon}, posOf(ac.stream.samples.front())), 5.0) << t;
            nextPosMain(ac);
        }
        const double heading = ac.motion.heading;
        const LatLon was{ac.motion.lat, ac.motion.lon};
        stepMotion(ac);
        EXPECT_LE(std::fabs(gf_wrapAngle(ac.motion.heading - heading)), limit) << t;
        if (movedAt < 0 && metres(was, {ac.motion.lat, ac.motion.lon}) > 1e-6) {
            movedAt = t;
            EXPECT_LE(std::fabs(gf_wrapAngle(ac.motion.heading - kPi / 2.0)), 5.0 * kDeg);
            EXPECT_LT(metres(startPos, was), 1e-6);
        }
        // It drives off from rest: its first metres are slow, and the speed
        // it shows is the one it moves at.
        if (movedAt >= 0 && metres(startPos, {ac.motion.lat, ac.motion.lon}) < 3.0)
            EXPECT_LT(ac.motion.tasKt, 5.0) << t;
    }
    EXPECT_GT(movedAt, static_cast<int>(80.0 / (1.2 * 0.07))); // about 85 degrees turned first
}

TEST_F(GroundTurnPlanningTest, AfterATurnOnTheSpotALegIsDrivenOffAtAnAircraftsPace)
{
    // A short leg at 18 kt: KLAS AAL1401's drive-off went from 0 to 36 kt
    // in a second there.
    const DriveOff shortLeg = driveOffFromRest(18.0, 12.0);
    EXPECT_GT(shortLeg.fastestKt, 10.0);
    EXPECT_LE(shortLeg.fastestKt, 18.5);
    EXPECT_LE(shortLeg.hardestMps2, 2.1);
    // A creep of 30 m at 1 kt keeps to the report's pace: about 80 degrees
    // turned (some 17 s), then its 58 s. KLAX N348BE leaving a holding point
    // took 110 s, and the one behind ran into it.
    const DriveOff creep = driveOffFromRest(1.0, 30.0);
    ASSERT_GE(creep.reachedAt, 0);
    EXPECT_LT(creep.reachedAt, 8500);
    EXPECT_LE(creep.fastestKt, 5.0);
}

TEST_F(GroundTurnPlanningTest, AtTakeOffRollSpeedALegOffTheHeadingIsSteeredOntoNotTurnedOnTheSpot)
{
    // A take-off roll still in `taxi` at 60 kt, its next report 35 degrees
    // off the heading (23 m beside the line 40 m on).
    LiveAircraft ac = taxiing(60.0, {{35, 40}, {0, 90}});
    const int32_t due = ac.stream.samples[1].playTime;
    nextPosMain(ac);
    EXPECT_FALSE(ac.ground.turningInPlace);
    EXPECT_FALSE(ac.leg.legOverride);
    EXPECT_LE(ac.stream.samples.front().playTime, due); // the samples do not wait
    const LatLon was{ac.motion.lat, ac.motion.lon};
    engineClock.fetch_add(1);
    stepMotion(ac);
    EXPECT_GT(metres(was, {ac.motion.lat, ac.motion.lon}), 0.2); // it rolls on
    // Rolling at a taxi's speed it turns onto the leg as it rolls, slowed,
    // not on the spot.
    LiveAircraft slow = taxiing(20.0, {{35, 40}, {0, 90}});
    nextPosMain(slow);
    EXPECT_FALSE(slow.ground.turningInPlace);
    EXPECT_TRUE(slow.ground.groundCurve.valid());
    EXPECT_LT(slow.motion.tasKt, 20.0);
    // From rest, whatever speed the leg reads.
    LiveAircraft standing = taxiing(40.0, {{35, 40}, {0, 90}});
    standing.motion.tasKt = 0.0;
    nextPosMain(standing);
    EXPECT_TRUE(standing.ground.turningInPlace);
}

TEST_F(GroundTurnPlanningTest, CreepingOntoTheRunwayToLineUpALegFarOffTheHeadingIsNotSlidAlong)
{
    // In its take-off roll already but still creeping at 4.6 kt to line up:
    // the next report 14 m on and 45 degrees off the heading, the runway
    // beyond it. Driven straight while the heading turns, it would slide.
    LiveAircraft ac = taxiing(10.0, {{45, 14}, {45, 300}});
    ac.phases.phase = FlightPhase::takeoff_roll;
    ac.phases.groundMode = 1;
    ac.motion.tasKt = 4.6;
    nextPosMain(ac);
    EXPECT_TRUE(ac.ground.turningInPlace);
    double worstDeg = 0.0;
    for (int t = 0; t < 3000 && ac.stream.samples.size() >= 2; ++t) {
        engineClock.fetch_add(1);
        if (ac.stream.samples.front().playTime <= engineClock.load())
            nextPosMain(ac);
        const LatLon was{ac.motion.lat, ac.motion.lon};
        stepMotion(ac);
        const LatLon now{ac.motion.lat, ac.motion.lon};
        if (metres(was, now) > 0.005)
            worstDeg = std::max(worstDeg, std::fabs(gf_wrapAngle(gf_initialBearing(was, now) - ac.motion.heading)) / kDeg);
    }
    EXPECT_LT(worstDeg, 30.0);
    EXPECT_GT(metres(kStart, {ac.motion.lat, ac.motion.lon}), 14.0); // and it rolls on
}

TEST_F(GroundTurnPlanningTest, RollingSlowlyAReportScatteredBesideTheWayIsPassedOver)
{
    // Taxiing north at 11 kt: the next report 11 m on but 55 degrees off the
    // heading, the ones after it north again. It drives on to the next one.
    LiveAircraft ac = taxiing(11.0, {{55, 11}, {0, 60}, {0, 60}});
    const LatLon after = posOf(ac.stream.samples[2]);
    nextPosMain(ac);
    EXPECT_LT(metres(posOf(ac.stream.samples.front()), after), 0.01);
    EXPECT_FALSE(ac.ground.turningInPlace);
}

TEST_F(GroundTurnPlanningTest, APushBackWhileTaxiingGoesBackwardsWithTheNoseKept)
{
    // No stand known: pushed 25 m south at 3 kt from rest, facing north,
    // the reports giving the nose's direction as their track, or the
    // motion's.
    for (const double trackDeg : {0.0, 180.0}) {
        SCOPED_TRACE(trackDeg);
        LiveAircraft ac = taxiing(3.0, {{180, 6.2}, {180, 6.2}, {180, 6.2}, {180, 6.2}});
        for (TrafficSample& s : ac.stream.samples)
            s.trackDeg = trackDeg;
        ac.stream.samples.front().speedKt = 0.0;
        ac.motion.tasKt = 0.0;
        const TrafficSample last = ac.stream.samples.back();
        TrafficSample stop = last; // and stopped there
        stop.stationary = 1;
        stop.speedKt = 0.0;
        stop.playTime += 300;
        ac.stream.samples.push_back(stop);
        double worstDeg = 0.0;
        nextPosMain(ac);
        for (int t = 0; t < 4000 && ac.stream.samples.size() >= 2; ++t) {
            engineClock.fetch_add(1);
            if (ac.stream.samples.front().playTime <= engineClock.load())
                nextPosMain(ac);
            stepMotion(ac);
            worstDeg = std::max(worstDeg, std::fabs(gf_wrapAngle(ac.motion.heading)) / kDeg);
        }
        EXPECT_FALSE(ac.ground.turningInPlace);
        EXPECT_LT(worstDeg, 1.0);
        EXPECT_LT(metres({ac.motion.lat, ac.motion.lon}, posOf(last)), 1.0);
    }
}

// ---- Against the stand-in simulator ---------------------------------------------

class GroundMotionSimTest : public kvr::test::TracedTrafficTest {
protected:
    GroundMotionSimTest() : TracedTrafficTest("kelo_ground_motion_trace.jsonl") {}
    void SetUp() override
    {
        TracedTrafficTest::SetUp();
        // The user is far away: no collision holds.
        sim.load({{"user", {{"lat", 50.6}, {"lon", 4.76}, {"alt_ft", 3000.0}}}});
    }
    void TearDown() override
    {
        gf_clearStandTable();
        TracedTrafficTest::TearDown();
    }
    // The trace's motion counts, once the client is gone (take-offs judged
    // against the runways given).
    kvr::standin::MotionReport motion(const std::vector<kvr::standin::RunwayGeometry>& runways = {})
    {
        stopThread();
        return traceMotion(runways);
    }
};

TEST_F(GroundMotionSimTest, TaxiCornersAreTurnedSmoothly)
{
    // On its wheels 8 ft up: the trace tells the ground writes, where slides
    // are judged, from the air ones.
    sim.load({{"titles", {{{"title", "Airbus A320-200 KLM"}, {"static_cg_ft", 8.0}}}}});
    // Reported every `every` seconds along taxiways with right-angle corners:
    // 15 kt with the corner itself reported, and 14 kt round two tight
    // corners (turned at 15 degrees a second) as the App plays a taxi track.
    struct Case {
        const char* what;
        std::vector<kvr::standin::TrackPoint> track;
        int every;
        double first; // seconds into the track of the first report
    };
    std::vector<kvr::standin::TrackPoint> square;
    LatLon at = kStart;
    const double step = 15.0 * 0.5144444444444445 * 4.0;
    for (int i = 0; i <= 14; ++i) {
        if (i > 0)
            at = moveM(at, i <= 7 ? 0.0 : 90.0, step);
        kvr::standin::TrackPoint p;
        p.t = i * 4.0;
        p.lat = at.latitude;
        p.lon = at.longitude;
        p.gsKt = 15.0;
        p.trackDeg = i < 7 ? 0.0 : 90.0;
        p.onGround = true;
        square.push_back(p);
    }
    const std::vector<LatLon> route{{52.3095, 4.7600}, {52.3095, 4.7520}, {52.3060, 4.7520}, {52.3060, 4.7560}};
    const Case cases[] = {
        {"15 kt, one corner", square, 4, 0.0},
        {"14 kt, two tight corners", kvr::standin::gf_movingFrom(kvr::standin::gf_taxiTrack(route, 0.0, 14.0), 0.0),
         2, 1.0},
    };
    uint32_t hexid = 0x484201;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ++hexid;
        const std::string callsign = fmt::format("KLM18{:02}", hexid & 0xFF);
        lf_rememberLiveryOfHexid(hexid, "Airbus A320-200 KLM");
        // The track where it is every `every` seconds, as the App reports it.
        std::vector<kvr::standin::TrackPoint> samples;
        size_t seg = 0;
        for (double t = c.first; t <= c.track.back().t; t += c.every) {
            while (c.track[seg + 1].t < t)
                ++seg;
            const kvr::standin::TrackPoint &a = c.track[seg], &b = c.track[seg + 1];
            const double w = b.t > a.t ? (t - a.t) / (b.t - a.t) : 1.0;
            kvr::standin::TrackPoint p = b;
            p.t = t;
            p.lat = a.lat + (b.lat - a.lat) * w;
            p.lon = a.lon + (b.lon - a.lon) * w;
            samples.push_back(p);
        }
        bool turned = false;
        for (size_t i = 0; i < samples.size(); ++i) {
            std::vector<LiveTrafficRecord> batch{kvr::test::trackRecord(samples[i], hexid, callsign)};
            gf_trafficMailbox().post(batch, TrafficBatchKind::Live, 30, false);
            const double next = i + 1 < samples.size() ? samples[i + 1].t : samples[i].t + 1.0;
            for (int t = 0; t < std::lround((next - samples[i].t) * 100.0); ++t) {
                run(1);
                if (const LiveAircraft* ac = live(hexid))
                    turned |= ac->ground.groundTurn.active() || ac->ground.groundCurve.valid();
            }
        }
        run(4000);
        const LiveAircraft* ac = live(hexid);
        ASSERT_NE(ac, nullptr);
        EXPECT_EQ(ac->phases.phase, FlightPhase::taxi);
        EXPECT_TRUE(turned);
        // It ends on the last leg, near the last report.
        const kvr::standin::TrackPoint& last = samples.back();
        const kvr::standin::TrackPoint& before = samples[samples.size() - 2];
        EXPECT_NEAR(ac->motion.heading, gf_initialBearing({before.lat, before.lon}, {last.lat, last.lon}), 3.0 * kDeg);
        EXPECT_LT(metres({ac->motion.lat, ac->motion.lon}, {samples.back().lat, samples.back().lon}), 25.0);
    }
    const auto report = motion();
    ASSERT_EQ(report.objects.size(), 2u);
    for (const auto& [id, c] : report.objects) {
        SCOPED_TRACE(id);
        EXPECT_GT(c.writes, 500u);
        EXPECT_EQ(c.jumps, 0u);
        EXPECT_EQ(c.slides, 0u);
        EXPECT_EQ(c.reversals, 0u);
        EXPECT_EQ(c.fastTurns, 0u);
    }
}

TEST_F(GroundMotionSimTest, APushBackGoesStraightBackAndStartsTheEngines)
{
    // On its wheels 8 ft up: the trace tells the ground writes, where slides
    // are judged, from the air ones.
    sim.load({{"titles", {{{"title", "Airbus A320-200 KLM"}, {"static_cg_ft", 8.0}}}}});
    Stand stand;
    stand.name = "GATE D7";
    stand.lat = kStart.latitude;
    stand.lon = kStart.longitude;
    stand.heading = 30.0 * kDeg;
    stand.radius = 0.01;
    stand.id = 1;
    gf_setStandTable({stand});
    LiveAircraft ac = kvr::test::makeLive(0x484202, "KLM1802", false, kStart.latitude, kStart.longitude, 0.0);
    ac.identity.liveryTitle = "Airbus A320-200 KLM";
    ac.stand.standId = 1;
    ac.stand.standLat = stand.lat;
    ac.stand.standLon = stand.lon;
    ac.stand.standHeading = stand.heading;
    ac.motion.heading = stand.heading;
    ac.identity.standSpeedKt = 3.0;
    ac.identity.baseTurnRate = 0.07 * kDeg;
    ac.setPhase(FlightPhase::parked);
    ac.sim.simState = SimState::adding2sim;
    LiveAircraft& stored = gf_trafficState().aircraft.addLive(std::move(ac));
    gf_trafficState().addingStack.push_back(stored.identity.hexid);
    run(400);
    LiveAircraft* parked = live(0x484202);
    ASSERT_NE(parked, nullptr);
    ASSERT_EQ(parked->sim.simState, SimState::active);
    const uint32_t objectId = parked->sim.objectId;

    // Its samples now move away behind it: the intake asks it to leave.
    const LatLon behind = moveM(kStart, 210.0, 30.0);
    TrafficSample s0 = parked->stream.samples.front();
    s0.stationary = 0;
    s0.playTime = engineClock.load() + 1;
    TrafficSample s1 = s0;
    s1.lat = behind.latitude;
    s1.lon = behind.longitude;
    s1.playTime += 500;
    parked->stream.samples = {s0, s1};
    parked->stream.projection = 0;
    parked->push.standLeaveRequest = 1;
    run(2);
    ASSERT_EQ(parked->phases.phase, FlightPhase::pushing_back);
    // 2.5 stand radii, 46.3 m at 3 kt: about 30 s.
    run(3200);
    EXPECT_EQ(parked->phases.phase, FlightPhase::pushed_back);
    const LatLon end{parked->motion.lat, parked->motion.lon};
    EXPECT_NEAR(metres(kStart, end), 2.5 * 0.01 * 1852.0, 0.5);
    EXPECT_NEAR(gf_initialBearing(kStart, end), 210.0 * kDeg, 0.01);
    EXPECT_NEAR(parked->motion.heading, 30.0 * kDeg, 1e-9); // pushed, not turned
    EXPECT_FALSE(eventsOf(objectId, "ENGINE_AUTO_START").empty());
    const auto taxiLights = eventsOf(objectId, "TAXI_LIGHTS_SET");
    ASSERT_FALSE(taxiLights.empty());
    EXPECT_EQ(taxiLights.back()["data"], 1);
    const auto report = motion();
    const kvr::standin::MotionCounts& c = report.objects.at(objectId);
    EXPECT_EQ(c.jumps, 0u);
    EXPECT_EQ(c.fastTurns, 0u);

    // Driving out forward: two aircraft radii along the stand's axis.
    LiveAircraft forward = kvr::test::makeLive(0x484204, "KLM1804", false, kStart.latitude, kStart.longitude, 0.0);
    forward.phases.phase = FlightPhase::parked;
    forward.stand.standId = 1;
    forward.stand.standLat = stand.lat;
    forward.stand.standLon = stand.lon;
    forward.stand.standHeading = stand.heading;
    forward.identity.radius = 0.02;
    forward.identity.standSpeedKt = 5.0;
    forward.push.standLeaveRequest = 1;
    forward.stream.samples.push_back(s1);
    lf_pullOutOfStand(forward);
    EXPECT_EQ(forward.phases.phase, FlightPhase::taxi);
    EXPECT_EQ(forward.push.standLeaveRequest, 0);
    ASSERT_EQ(forward.stream.samples.size(), 2u);
    EXPECT_NEAR(metres(kStart, posOf(forward.stream.samples[1])), 2.0 * 0.02 * 1852.0, 0.3);
    EXPECT_NEAR(gf_initialBearing(kStart, posOf(forward.stream.samples[1])), 30.0 * kDeg, 0.01);
    EXPECT_DOUBLE_EQ(forward.stream.samples[1].speedKt, 5.0);
    EXPECT_NE(log().find("GATE D7       : KLM1804  pulling out"), std::string::npos);

    // A stand without a radius: the push-back is cancelled, the aircraft stays.
    LiveAircraft other = kvr::test::makeLive(0x484203, "KLM1803", false, kStart.latitude, kStart.longitude, 0.0);
    other.phases.phase = FlightPhase::parked;
    other.push.standLeaveRequest = 1;
    other.stream.samples.push_back(s1);
    initiatePushBack(other);
    EXPECT_EQ(other.phases.phase, FlightPhase::parked);
    EXPECT_EQ(other.push.standLeaveRequest, 0);
    EXPECT_EQ(other.stream.samples.size(), 2u);
    EXPECT_NE(log().find("initiatePushBack cancelled pushback, invalid stand radius for stand sid==0?, callsign KLM1803"),
              std::string::npos);
}

} // namespace

// ---- Arrivals at Las Vegas (field elevation 2 180 ft) ------------------------

class LasVegasArrivalTest : public GroundMotionSimTest {
protected:
    static constexpr double kFieldFt = 2180.0;
    void SetUp() override
    {
        GroundMotionSimTest::SetUp();
        sim.load({{"ground_ft", kFieldFt}, {"user", {{"lat", 36.5}, {"lon", -115.15}, {"alt_ft", 3000.0}}}});
        runwayTable.runways = kvr::test::publishedRunways(std::filesystem::path(KELO_SOURCE_DIR) /
                                                          "../shared/data/runways-klas.csv");
        runways = kvr::standin::gf_loadRunwayCsv(std::filesystem::path(KELO_SOURCE_DIR) /
                                                 "../shared/data/runways-klas.csv");
        std::unique_lock lock(engineLock);
        CurrentAirport = {0x4B4C4153, 36.0801, -115.1522, kFieldFt, {}};
    }
    void TearDown() override
    {
        gf_clearRunwayTable();
        {
            std::unique_lock lock(engineLock);
            CurrentAirport = {};
        }
        GroundMotionSimTest::TearDown();
    }
    // Posts the reports at their times and runs the engine between them,
    // then `tailTicks` more.
    void play(const std::vector<kvr::standin::TrackPoint>& reports, uint32_t hexid, const std::string& callsign,
              int tailTicks)
    {
        playReports(reports, hexid, callsign);
        run(tailTicks);
    }
    struct Write {
        double alt, gnd;
        bool onGround;
    };
    // The altitude writes of every object, in order.
    std::map<uint32_t, std::vector<Write>> altitudeWrites()
    {
        std::map<uint32_t, std::vector<Write>> out;
        std::ifstream in(tracePath, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
            if (j.is_object() && j.value("k", "") == "pos")
                out[j.value("id", 0u)].push_back(
                    {j.value("alt_ft", 0.0), j.value("gnd_ft", 0.0), j.value("on_ground", false)});
        }
        return out;
    }
    std::vector<kvr::standin::RunwayGeometry> runways;
};

namespace {

struct RecordedReport {
    double t, lat, lon, altFt, vsFpm, trackDeg, gsKt;
};

// Reports as the App sent them: on the ground under this altitude (0 is a
// ground report; a pressure altitude may read under the field).
std::vector<kvr::standin::TrackPoint> recordedReports(std::initializer_list<RecordedReport> recorded,
                                                      double groundUnderFt = 1.0)
{
    std::vector<kvr::standin::TrackPoint> out;
    for (const RecordedReport& r : recorded) {
        kvr::standin::TrackPoint p;
        p.t = r.t;
        p.lat = r.lat;
        p.lon = r.lon;
        p.altFt = r.altFt;
        p.vsFpm = r.vsFpm;
        p.trackDeg = r.trackDeg;
        p.gsKt = r.gsKt;
        p.onGround = r.altFt < groundUnderFt;
        out.push_back(p);
    }
    return out;
}

} // namespace

TEST_F(LasVegasArrivalTest, ARecordedArrivalReadingUnderTheFieldTouchesDownOnTheGround)
{
    // SWA286 on 26L as the App reported it (2019): the last air reports read
    // 2 000 ft, 180 ft under the field, then the first ground report.
    const auto reports = recordedReports({
        {0.00, 36.0737, -115.0471, 3275, -1088, 269, 177}, {9.80, 36.0736, -115.0562, 3125, -832, 270, 174},
        {19.56, 36.0738, -115.0672, 2950, -960, 269, 164}, {29.32, 36.0736, -115.0762, 2825, -1024, 268, 166},
        {39.07, 36.0737, -115.0868, 2650, -1216, 271, 164}, {48.84, 36.0737, -115.0931, 2500, -768, 269, 164},
        {58.62, 36.0736, -115.1014, 2425, -768, 269, 160}, {69.40, 36.0736, -115.1014, 2425, -768, 269, 160},
        {78.15, 36.0737, -115.1200, 2125, -832, 269, 159}, {87.91, 36.0737, -115.1308, 2000, 0, 270, 158},
        {97.69, 36.0737, -115.1338, 2000, 0, 270, 153}, {108.25, 36.0737, -115.1445, 0, 0, 270, 86},
        {117.01, 36.0737, -115.1474, 0, 0, 275, 40}, {126.85, 36.0742, -115.1494, 0, 0, 298, 35},
        {136.69, 36.0750, -115.1510, 0, 0, 312, 19}, {146.45, 36.0753, -115.1513, 0, 0, 323, 28},
        {156.23, 36.0754, -115.1514, 0, 0, 326, 0},
    });
    play(reports, 0x4C4102, "SWA286", 3000);
    const LiveAircraft* ac = live(0x4C4102);
    ASSERT_NE(ac, nullptr);
    const double onGroundFt = ac->identity.cgFt; // its reference point above the ground on its wheels
    ASSERT_GT(onGroundFt, 1.0);
    EXPECT_NE(log().find("SWA286 PH-286 KLM A320 touch down at KLAS runway 26L"), std::string::npos);
    const auto report = motion();
    const auto writes = altitudeWrites();
    ASSERT_EQ(report.objects.size(), 1u);
    EXPECT_EQ(report.total.belowGround, 0u);
    // It comes down short of the runway: from there it is held on the
    // ground, never under its on-ground altitude, and the altitude changes
    // smoothly up to the roll (no write steps it by more than 1.5 ft).
    const std::vector<Write>& w = writes.begin()->second;
    double largest = 0.0, lowest = 1e9;
    for (size_t i = 1; i < w.size(); ++i) {
        if (w[i].alt - w[i].gnd < 60.0) {
            largest = std::max(largest, std::fabs(w[i].alt - w[i - 1].alt));
            lowest = std::min(lowest, w[i].alt - w[i].gnd);
        }
    }
    EXPECT_GT(lowest, onGroundFt - 0.5);
    EXPECT_LT(largest, 1.5);
}

namespace {

struct GroundReport {
    double t, lat, lon, trackDeg, gsKt;
};

std::vector<kvr::standin::TrackPoint> groundReports(const std::vector<GroundReport>& recorded)
{
    std::vector<kvr::standin::TrackPoint> out;
    for (const GroundReport& r : recorded) {
        kvr::standin::TrackPoint p;
        p.t = r.t;
        p.lat = r.lat;
        p.lon = r.lon;
        p.onGround = true;
        p.trackDeg = r.trackDeg;
        p.gsKt = r.gsKt;
        out.push_back(p);
    }
    return out;
}

// The simulator knows the model's height on its wheels: the trace tells
// the ground writes (where slides are judged) from the air ones.
class LasVegasGroundTest : public LasVegasArrivalTest {
protected:
    void SetUp() override
    {
        LasVegasArrivalTest::SetUp();
        sim.load({{"titles", {{{"title", "Airbus A320-200 KLM"}, {"static_cg_ft", 8.0}}}}});
    }
    // Each finding of these kinds fails the test, with its text.
    static void failOnFindings(const kvr::standin::MotionReport& report, std::initializer_list<std::string_view> kinds)
    {
        for (const auto& [id, found] : report.findings)
            for (const auto& f : found)
                if (std::find(kinds.begin(), kinds.end(), f.kind) != kinds.end())
                    ADD_FAILURE() << kvr::standin::gf_findingText(f);
    }
    // Each time the aircraft drives off from rest: how far its heading is
    // from the way it then moves (over its first 3 m), in degrees.
    std::vector<double> driveOffMismatches()
    {
        struct Write {
            LatLon at;
            double hdg, kts;
        };
        std::vector<Write> w;
        std::ifstream in(tracePath, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
            if (j.is_object() && j.value("k", "") == "pos")
                w.push_back({{j.value("lat", 0.0), j.value("lon", 0.0)}, j.value("hdg", 0.0), j.value("kts", 0.0)});
        }
        std::vector<double> out;
        for (size_t i = 1; i < w.size(); ++i) {
            if (!(w[i - 1].kts <= 0.5 && w[i].kts > 0.5))
                continue;
            for (size_t k = i; k < w.size(); ++k) {
                if (metres(w[i - 1].at, w[k].at) >= 3.0) {
                    const double way = gf_initialBearing(w[i - 1].at, w[k].at) / kDeg;
                    out.push_back(std::fabs(std::remainder(way - w[i].hdg, 360.0)));
                    break;
                }
            }
        }
        return out;
    }
    // The largest turn of the heading (degrees) while the aircraft stands:
    // how far it pivots on the spot.
    double largestPivotDeg()
    {
        double largest = 0.0, pivot = 0.0;
        std::optional<LatLon> at;
        double hdg = 0.0;
        std::ifstream in(tracePath, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
            if (!j.is_object() || j.value("k", "") != "pos")
                continue;
            const LatLon p{j.value("lat", 0.0), j.value("lon", 0.0)};
            const double h = j.value("hdg", 0.0);
            pivot = at && metres(*at, p) < 0.005 ? pivot + std::fabs(std::remainder(h - hdg, 360.0)) : 0.0;
            largest = std::max(largest, pivot);
            at = p;
            hdg = h;
        }
        return largest;
    }
};

} // namespace

TEST_F(LasVegasGroundTest, ADepartureThatStoodFacingAwayRollsRoundBeforeItDrivesOff)
{
    // WJA1789 as the App reported it (2019): it taxis in heading west at
    // 10 kt, stands 100 s (its reports 9 to 27 m apart, the nose 267), then
    // drives off the other way, east, at 17-31 kt. It rolls round in a tight
    // U-turn at walking pace first, not pivots on the spot to drive straight
    // back the way it came.
    const auto reports = groundReports({
        {0.0, 36.0847, -115.1370, 242, 10},  {9.8, 36.0847, -115.1372, 255, 10},
        {19.5, 36.0847, -115.1372, 255, 10}, {29.3, 36.0847, -115.1372, 255, 10},
        {39.1, 36.0847, -115.1372, 255, 10}, {48.9, 36.0847, -115.1372, 255, 10},
        {59.4, 36.0847, -115.1373, 267, 0},  {68.2, 36.0847, -115.1373, 267, 0},
        {78.0, 36.0847, -115.1373, 267, 0},  {87.8, 36.0847, -115.1373, 267, 0},
        {97.6, 36.0847, -115.1373, 267, 0},  {108.2, 36.0847, -115.1373, 267, 0},
        {116.9, 36.0847, -115.1373, 267, 0}, {126.7, 36.0847, -115.1373, 267, 0},
        {136.4, 36.0847, -115.1373, 267, 0}, {146.2, 36.0847, -115.1373, 267, 0},
        {156.8, 36.0847, -115.1373, 267, 0}, {165.8, 36.0847, -115.1370, 89, 17},
        {175.5, 36.0847, -115.1364, 90, 24}, {185.3, 36.0847, -115.1363, 90, 26},
        {195.0, 36.0847, -115.1353, 90, 31},
    });
    play(reports, 0x4C4103, "WJA1789", 3000);
    const auto report = motion();
    const std::vector<double> offs = driveOffMismatches();
    ASSERT_FALSE(offs.empty());
    for (double off : offs)
        EXPECT_LT(off, 10.0);
    ASSERT_EQ(report.objects.size(), 1u);
    const kvr::standin::MotionCounts& c = report.objects.begin()->second;
    EXPECT_GT(c.writes, 1000u);
    EXPECT_EQ(c.slides, 0u);
    EXPECT_EQ(c.backwards, 0u);
    EXPECT_EQ(c.reversals, 0u);
    EXPECT_LT(largestPivotDeg(), 30.0);
    failOnFindings(report, {"slide", "backwards", "reversal", "turn rate"});
}

TEST_F(LasVegasGroundTest, ACornerAtTaxiSpeedIsNotSlidThrough)
{
    // AMX481 as the App reported it (2019): south at 22-27 kt, then a right
    // angle left onto a taxiway east at 30 kt, the corner between two reports.
    const auto reports = groundReports({
        {0.0, 36.0805, -115.1329, 180, 22},  {9.8, 36.0802, -115.1329, 180, 23},
        {19.5, 36.0796, -115.1329, 182, 26}, {29.3, 36.0791, -115.1329, 180, 25},
        {39.1, 36.0785, -115.1329, 180, 27}, {49.6, 36.0782, -115.1329, 180, 27},
        {58.4, 36.0776, -115.1327, 129, 30}, {68.4, 36.0775, -115.1320, 87, 30},
        {78.2, 36.0775, -115.1311, 90, 33},  {87.9, 36.0775, -115.1303, 90, 32},
        {97.7, 36.0775, -115.1299, 92, 31},
    });
    play(reports, 0x4C4105, "AMX481", 3000);
    const auto report = motion();
    ASSERT_EQ(report.objects.size(), 1u);
    const kvr::standin::MotionCounts& c = report.objects.begin()->second;
    EXPECT_GT(c.writes, 1000u);
    EXPECT_EQ(c.slides, 0u);
    failOnFindings(report, {"slide"});
}

TEST_F(LasVegasGroundTest, TaxiTurnsAreTakenNoFasterThanTheTyresAllow)
{
    // WJA1401 as the App reported it (2019): it stands, then drives off
    // turning from 251 through 165 and 135 to 180 while it speeds up from 13
    // to 31 kt. Each turn slows it enough, and its heading turns no faster,
    // than 2.5 m/s² sideways allows at the speed shown.
    const auto reports = groundReports({
        {0.0, 36.0846, -115.1336, 89, 0},     {9.8, 36.0846, -115.1336, 89, 0},
        {20.4, 36.0846, -115.1336, 89, 0},    {29.2, 36.0846, -115.1336, 89, 0},
        {38.9, 36.0846, -115.1336, 89, 0},    {48.7, 36.0845, -115.1337, 251, 13},
        {58.5, 36.0844, -115.1338, 223, 17},  {68.2, 36.0841, -115.1339, 165, 20},
        {78.0, 36.0838, -115.1335, 135, 24},  {87.8, 36.0837, -115.1334, 135, 25},
        {97.5, 36.0832, -115.1329, 163, 27},  {107.3, 36.0825, -115.1329, 180, 29},
        {117.1, 36.0821, -115.1329, 180, 31}, {126.9, 36.0812, -115.1329, 180, 31},
    });
    play(reports, 0x4C4107, "WJA1401", 3000);
    const auto report = motion();
    ASSERT_EQ(report.objects.size(), 1u);
    const kvr::standin::MotionCounts& c = report.objects.begin()->second;
    EXPECT_GT(c.writes, 1000u);
    EXPECT_EQ(c.groundFastTurns, 0u);
    failOnFindings(report, {"slide", "turn rate", "backwards"});
}

TEST_F(LasVegasGroundTest, CornersOfCoarseTaxiReportsAreNotSlidThrough)
{
    // Reports 10 s apart with positions in 11 m steps: the aircraft stands
    // on a runway, then taxis off it round a corner of 105 degrees at 24 kt
    // and two of 64 degrees at 28 kt, the way between its reports bending
    // sharply at each. It stood there as if lined up, but it taxis: the
    // heading keeps up with the way it moves, the aircraft slowing where it
    // must, and it gets to the last report.
    const auto reports = kvr::test::reportsFromFile("taxi-corners-klas.csv");
    ASSERT_GT(reports.size(), 10u);
    play(reports, 0x4C410B, "AMX483", 6000);
    const LiveAircraft* ac = live(0x4C410B);
    const auto report = motion();
    ASSERT_EQ(report.objects.size(), 1u);
    const kvr::standin::MotionCounts& c = report.objects.begin()->second;
    EXPECT_GT(c.writes, 1000u);
    EXPECT_EQ(c.slides, 0u);
    failOnFindings(report, {"slide", "backwards", "reversal", "turn rate"});
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->phases.phase, FlightPhase::taxi);
    EXPECT_LT(metres({ac->motion.lat, ac->motion.lon}, {reports.back().lat, reports.back().lon}), 25.0);
}

TEST_F(LasVegasGroundTest, AStandingAircraftIsNotMovedBackToAReportBehindIt)
{
    // AAL1908 as the App reported it (2019): it stands for 5 minutes, 0 kt,
    // its positions spread 36 m east-west, its track any way. A standing
    // report behind its nose is the spread, not a way back.
    const auto reports = groundReports({
        {0.0, 36.0808, -115.1367, 89, 0},    {9.8, 36.0808, -115.1367, 105, 0},   {20.4, 36.0808, -115.1367, 180, 0},
        {29.2, 36.0808, -115.1367, 180, 0},  {38.9, 36.0808, -115.1367, 271, 0},  {48.7, 36.0809, -115.1367, 271, 0},
        {58.5, 36.0808, -115.1367, 180, 0},  {68.2, 36.0808, -115.1367, 129, 0},  {78.0, 36.0809, -115.1367, 50, 0},
        {87.8, 36.0809, -115.1368, 296, 0},  {97.5, 36.0809, -115.1368, 296, 0},  {107.3, 36.0809, -115.1367, 114, 0},
        {117.1, 36.0809, -115.1368, 295, 0}, {126.9, 36.0809, -115.1368, 295, 0}, {137.4, 36.0808, -115.1366, 110, 0},
        {146.2, 36.0809, -115.1366, 105, 0}, {156.2, 36.0809, -115.1366, 82, 0},  {165.9, 36.0808, -115.1366, 255, 0},
        {175.7, 36.0809, -115.1368, 180, 0}, {185.5, 36.0809, -115.1367, 105, 0}, {195.2, 36.0808, -115.1365, 286, 0},
        {205.8, 36.0809, -115.1368, 284, 0}, {214.6, 36.0809, -115.1368, 42, 0},  {224.3, 36.0809, -115.1368, 42, 0},
        {234.1, 36.0808, -115.1364, 112, 0}, {243.9, 36.0808, -115.1365, 291, 0}, {253.6, 36.0808, -115.1365, 89, 0},
        {263.4, 36.0808, -115.1365, 100, 0}, {273.2, 36.0809, -115.1367, 288, 0}, {283.0, 36.0809, -115.1367, 288, 0},
        {292.7, 36.0808, -115.1364, 110, 0}, {302.5, 36.0808, -115.1364, 108, 0}, {312.3, 36.0809, -115.1368, 288, 0},
    });
    play(reports, 0x4C4107, "AAL1908", 3000);
    const auto report = motion();
    ASSERT_EQ(report.objects.size(), 1u);
    const kvr::standin::MotionCounts& c = report.objects.begin()->second;
    EXPECT_GT(c.writes, 1000u);
    EXPECT_EQ(c.backwards, 0u);
    EXPECT_EQ(c.reversals, 0u);
    failOnFindings(report, {"backwards", "reversal"});
}


// ---- Runway exits after landing ------------------------------------------------

namespace {

struct GroundWrite {
    double t, lat, lon, hdg, kts;
    bool onGround;
    double bank;
};

// The position writes of the trace's one object, in order.
std::vector<GroundWrite> lf_positionWrites(const std::string& tracePath)
{
    std::vector<GroundWrite> out;
    std::ifstream in(tracePath, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_object() && j.value("k", "") == "pos")
            out.push_back({j.value("t", 0.0), j.value("lat", 0.0), j.value("lon", 0.0), j.value("hdg", 0.0),
                           j.value("kts", 0.0), j.value("on_ground", false), j.value("bank", 0.0)});
    }
    return out;
}

// Metres from the centre line of the runway that starts at `end` (left negative).
double lf_offCentreLine(const kvr::standin::RunwayEndGeometry& end, double lat, double lon)
{
    const double bearing = gf_initialBearing(end.threshold, {lat, lon});
    return metres(end.threshold, {lat, lon}) * std::sin(bearing - end.headingDeg * kDeg);
}

} // namespace

TEST_F(LasVegasArrivalTest, ARollWhoseNextReportLiesBesideTheRunwaySlowsAndTurnsOffForward)
{
    // Rolling out at 60 kt, lost by the feed while it turns off (the App
    // repeats its last report meanwhile), next seen beside the runway at 20 kt.
    const kvr::standin::RunwayEndGeometry& r26l = kvr::standin::gf_runwayEnd(runways, "26L");
    const auto reports = kvr::standin::gf_appReports(kvr::standin::gf_sideExitTrack(r26l, 60.0),
                                                     {.seed = 7, .staleKeepsTime = false, .staleInGaps = true});
    const auto beside = std::find_if(reports.begin(), reports.end(), [&](const kvr::standin::TrackPoint& p) {
        return p.onGround && std::fabs(lf_offCentreLine(r26l, p.lat, p.lon)) > 60.0;
    });
    ASSERT_NE(beside, reports.end());
    ASSERT_GE((beside - 1)->gsKt, 58.0) << "the last report on the runway is a fast roll";
    ASSERT_EQ((beside - 1)->lat, (beside - 2)->lat) << "repeated while the feed lost it";
    // On its wheels 8 ft up: the simulator tells the ground roll from flight.
    sim.load({{"titles", {{{"title", "Airbus A320-200 KLM"}, {"static_cg_ft", 8.0}}}}});
    play(reports, 0x4C4103, "SWA287", 3000);
    const auto report = motion();
    ASSERT_EQ(report.objects.size(), 1u);
    const kvr::standin::MotionCounts& c = report.objects.begin()->second;
    EXPECT_EQ(c.slides, 0u);
    EXPECT_EQ(c.backwards, 0u);
    EXPECT_EQ(c.jumps, 0u);
    EXPECT_EQ(c.reversals, 0u);
    EXPECT_EQ(c.groundFastTurns, 0u);
    // It leaves the runway's edge at exit speed.
    const auto writes = lf_positionWrites(tracePath);
    const auto off = std::find_if(writes.begin(), writes.end(), [&](const GroundWrite& w) {
        return w.onGround && std::fabs(lf_offCentreLine(r26l, w.lat, w.lon)) > 25.0;
    });
    ASSERT_NE(off, writes.end()) << "never left the runway";
    EXPECT_LE(off->kts, 40.0);
}

TEST_F(LasVegasArrivalTest, AnExitReportFarBehindTheRollIsNeverReachedBackwards)
{
    // Last seen rolling at 76 kt, that report repeated twice, and 10 s later
    // seen 500 m back along the parallel taxiway, taxiing the other way: the
    // App's last reports on the runway were late, no aircraft gets there
    // forward in that time.
    const kvr::standin::RunwayEndGeometry& r26l = kvr::standin::gf_runwayEnd(runways, "26L");
    auto reports = kvr::standin::gf_appReports(kvr::standin::gf_turnBackArrivalTrack(r26l, 76.0),
                                               {.seed = 8, .staleKeepsTime = false, .staleInGaps = true});
    {
        const auto lost = std::find_if(reports.begin(), reports.end(), [](const kvr::standin::TrackPoint& p) {
            return p.onGround && p.gsKt < 70.0;
        });
        ASSERT_NE(lost, reports.end());
        ASSERT_GE(lost - reports.begin(), 3);
        const auto kept = std::find_if(reports.begin(), lost, [&](const kvr::standin::TrackPoint& p) {
            return p.lat == (lost - 1)->lat && p.lon == (lost - 1)->lon;
        });
        const auto next = reports.erase(std::min(kept + 3, lost), lost);
        const double cut = next->t - ((next - 1)->t + 10.0);
        for (auto p = next; p != reports.end(); ++p)
            p->t -= cut;
    }
    const auto beside = std::find_if(reports.begin(), reports.end(), [&](const kvr::standin::TrackPoint& p) {
        return p.onGround && std::fabs(lf_offCentreLine(r26l, p.lat, p.lon)) > 60.0;
    });
    ASSERT_NE(beside, reports.end());
    ASSERT_GE((beside - 1)->gsKt, 70.0) << "the last report on the runway is a fast roll";
    ASSERT_EQ((beside - 1)->lat, (beside - 2)->lat) << "repeated while the feed lost it";
    sim.load({{"titles", {{{"title", "Airbus A320-200 KLM"}, {"static_cg_ft", 8.0}}}}});
    play(reports, 0x4C4104, "SWA288", 3000);
    const auto report = motion();
    ASSERT_GE(report.objects.size(), 1u);
    ASSERT_LE(report.objects.size(), 2u) << "lost at most once";
    EXPECT_EQ(report.total.backwards, 0u);
    EXPECT_EQ(report.total.slides, 0u);
    EXPECT_EQ(report.total.jumps, 0u);
    // Shown again where its reports go on: it ends where they end.
    const auto writes = lf_positionWrites(tracePath);
    ASSERT_FALSE(writes.empty());
    EXPECT_LT(metres({writes.back().lat, writes.back().lon}, {reports.back().lat, reports.back().lon}), 30.0);
    // Hidden at once and shown again by the next reports (30 s behind them),
    // not left standing on the runway until its predictions run out.
    const auto again = std::find_if(writes.begin(), writes.end(), [&](const GroundWrite& w) {
        return std::fabs(lf_offCentreLine(r26l, w.lat, w.lon)) > 60.0;
    });
    ASSERT_NE(again, writes.end());
    EXPECT_LE(again->t, beside->t + 60.0);
}

// Aircraft of given types at the airport of `Field`: helicopters shown, the
// EC30 and B407 rotorcraft and the B772 a heavy of the model tables.
template <class Field>
class ModelTypesTest : public Field {
protected:
    void SetUp() override
    {
        Field::SetUp();
        savedModels = gf_modelDatabase();
        savedParameters = gf_parametersSnapshot();
        for (const char* type : {"EC30", "B407"}) {
            gf_modelDatabase().icaoModelCodes.insert(type);
            gf_modelDatabase().rotorcraft.insert(gf_modelCode2Id(type));
        }
        gf_modelDatabase().icaoModelCodes.insert("B772");
        gf_modelDatabase().heavy.insert(gf_modelCode2Id("B772"));
        auto helicopters = std::make_shared<Parameters>(*savedParameters);
        helicopters->HELICOPTERS = true;
        g_parameters.store(helicopters);
    }
    void TearDown() override
    {
        gf_modelDatabase() = savedModels;
        g_parameters.store(savedParameters);
        Field::TearDown();
    }
    // Posts the recorded reports of an aircraft of the type as the feed gives
    // them (its airspeed aloft guessed from the altitude); the category the
    // engine last held it in.
    std::optional<Category> playAs(const std::vector<kvr::standin::TrackPoint>& reports, uint32_t hexid,
                                   const std::string& callsign, const char* type)
    {
        lf_rememberLiveryOfHexid(hexid, "Airbus A320-200 KLM");
        std::optional<Category> category;
        for (size_t i = 0; i < reports.size(); ++i) {
            LiveTrafficRecord record = kvr::test::trackRecord(reports[i], hexid, callsign);
            record.ids.model = gf_modelCode2Id(type);
            if (!reports[i].onGround)
                record.tas = 220.0; // the feed's guess from the altitude
            std::vector<LiveTrafficRecord> batch{record};
            gf_trafficMailbox().post(batch, TrafficBatchKind::Live, 30, false);
            const double next = i + 1 < reports.size() ? reports[i + 1].t : reports[i].t + 1.0;
            this->run(static_cast<int>(std::lround((next - reports[i].t) * 100.0)));
            if (const LiveAircraft* ac = this->live(hexid))
                category = ac->identity.category;
        }
        return category;
    }
    // The same for a helicopter; whether the engine held it as a rotorcraft.
    bool playHelicopter(const std::vector<kvr::standin::TrackPoint>& reports, uint32_t hexid,
                        const std::string& callsign, const char* type = "EC30")
    {
        return playAs(reports, hexid, callsign, type) == Category::Rotorcraft;
    }
    ModelDatabaseTables savedModels;
    std::shared_ptr<const Parameters> savedParameters;
};
using LasVegasHelicopterTest = ModelTypesTest<LasVegasGroundTest>;

TEST_F(LasVegasHelicopterTest, AHelicopterRisesWhereItStandsInsteadOfRollingAlongTheGround)
{
    // N879MH, an EC30, as the App reported it (2019): it stands at its pad,
    // moves 120 m at 18 kt, then is next seen 700 m on climbing through
    // 2 300 ft, its airspeed guessed by the feed from its altitude (220 kt).
    const auto reports = recordedReports({
        {0.00, 36.0790, -115.1713, 2100, 0, 82, 0},       {10.16, 36.0790, -115.1713, 2100, 0, 82, 0},
        {19.91, 36.0790, -115.1713, 2100, 0, 82, 0},      {29.66, 36.0799, -115.1706, 2100, -64, 25, 18},
        {39.44, 36.0799, -115.1706, 2100, -64, 25, 18},   {49.20, 36.0799, -115.1706, 2100, -64, 25, 18},
        {58.99, 36.0861, -115.1677, 2300, 1600, 354, 57}, {68.75, 36.0875, -115.1682, 2500, 1728, 342, 58},
        {78.53, 36.0903, -115.1686, 2700, 1280, 358, 65}, {88.30, 36.0972, -115.1677, 3200, 1664, 11, 78},
    }, 2200.0);
    const bool rotorcraft = playHelicopter(reports, 0x4C4106, "N879MH");
    ASSERT_TRUE(rotorcraft);
    run(3000);
    const std::vector<GroundWrite> w = lf_positionWrites(tracePath);
    const auto report = motion(runways);
    // It lifts off within reach of the place it last stood, and leaves its
    // wheels no faster than a hover.
    const auto liftoff = std::adjacent_find(w.begin(), w.end(), [](const GroundWrite& a, const GroundWrite& b) {
        return a.onGround && !b.onGround;
    });
    ASSERT_NE(liftoff, w.end());
    EXPECT_LT(metres({36.0799, -115.1706}, {liftoff->lat, liftoff->lon}), 150.0);
    EXPECT_EQ(report.total.offRunwayTakeOffs, 0u);
}

TEST_F(LasVegasHelicopterTest, AHelicopterComingDownAtSpeedDoesNotSlideAlongTheGround)
{
    // N216SH, an EC30, as the App reported it (2019): in from the west at
    // 90 kt, down to the field at 37 kt heading 205, then on the ground
    // 150 m back at 12 kt, track 272.
    const auto reports = recordedReports({
        {0.0, 36.1006, -115.1762, 2700, 0, 96, 90},   {9.8, 36.1006, -115.1762, 2700, 0, 96, 90},
        {19.5, 36.1006, -115.1762, 2700, 0, 96, 90},  {29.3, 36.0994, -115.1620, 2550, 0, 131, 70},
        {39.1, 36.0978, -115.1609, 2475, 0, 168, 62}, {49.7, 36.0978, -115.1609, 2475, 0, 168, 62},
        {58.5, 36.0921, -115.1635, 2200, 0, 205, 46}, {68.2, 36.0908, -115.1642, 2175, 0, 205, 37},
        {78.0, 36.0908, -115.1642, 2175, 0, 205, 37}, {87.8, 36.0908, -115.1642, 2175, 0, 205, 37},
        {98.4, 36.0871, -115.1664, 2175, 0, 205, 37}, {107.2, 36.0871, -115.1664, 2175, 0, 205, 37},
        {116.9, 36.0885, -115.1657, 0, 0, 272, 12},   {126.7, 36.0885, -115.1662, 0, 0, 261, 14},
    });
    ASSERT_TRUE(playHelicopter(reports, 0x4C4107, "N216SH"));
    run(3000);
    failOnFindings(motion(), {"slide", "backwards"});
}

TEST_F(LasVegasHelicopterTest, AHelicopterWhoseWayLiesBehindItTurnsRoundInTheHoverFirst)
{
    // An EC30 stands with its nose on 054, then is next seen climbing away
    // south-west, behind it. It rises and turns toward its way in the hover
    // before it flies off nose first, never backwards or sideways.
    const auto reports = kvr::test::reportsFromFile("helicopter-behind-klas.csv", 2200.0);
    ASSERT_TRUE(playHelicopter(reports, 0x4C410C, "N881MH"));
    run(3000);
    const std::vector<GroundWrite> w = lf_positionWrites(tracePath);
    // Over each half second aloft faster than a hover taxi: the nose points
    // within 45 degrees of the way it moves.
    size_t judged = 0;
    for (size_t i = 0, j = 0; i < w.size(); ++i) {
        while (j < i && w[i].t - w[j + 1].t >= 0.5)
            ++j;
        if (w[i].onGround || w[j].onGround || !(w[i].t - w[j].t >= 0.5))
            continue;
        const double m = metres({w[j].lat, w[j].lon}, {w[i].lat, w[i].lon});
        if (!(m / (w[i].t - w[j].t) / 0.5144444444444445 > 10.0))
            continue;
        ++judged;
        const double way = gf_initialBearing({w[j].lat, w[j].lon}, {w[i].lat, w[i].lon}) / kDeg;
        const double off = std::fabs(std::remainder(way - w[i].hdg, 360.0));
        if (off > 45.0) {
            ADD_FAILURE() << fmt::format("t {:.2f}: heading {:.0f}, moving {:.0f} at {:.0f} kt", w[i].t, w[i].hdg,
                                         way, m / (w[i].t - w[j].t) / 0.5144444444444445);
            break;
        }
    }
    EXPECT_GT(judged, 100u);
    failOnFindings(motion(runways), {"jump", "reversal", "turn rate"});
}

namespace {

// A hover over one spot west of the field, 220 ft above it, reported about
// every 10 s, each position off the spot by `noiseMinM` to `noiseMaxM` in a
// random direction (the same seed, the same reports) at 0-2 kt, the track
// wandering about `trackDeg`; then a departure north at 60 kt, climbing at
// 500 ft/min.
std::vector<kvr::standin::TrackPoint> hoverThenDeparture(uint64_t seed, double noiseMinM, double noiseMaxM,
                                                         double trackDeg, double hoverS, double departS)
{
    uint64_t state = seed;
    const auto uniform = [&state](double lo, double hi) {
        state += 0x9E3779B97F4A7C15ull;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return lo + (hi - lo) * static_cast<double>(z >> 11) / 9007199254740992.0;
    };
    const LatLon spot{36.0790, -115.1713};
    std::vector<kvr::standin::TrackPoint> out;
    double t = 0.0;
    for (; t < hoverS; t += uniform(9.0, 11.0)) {
        kvr::standin::TrackPoint p;
        p.t = t;
        const LatLon at = noiseMaxM > 0.0 ? moveM(spot, uniform(0.0, 360.0), uniform(noiseMinM, noiseMaxM)) : spot;
        p.lat = at.latitude;
        p.lon = at.longitude;
        p.altFt = 2400.0;
        p.gsKt = std::round(uniform(0.0, 2.0));
        p.trackDeg = std::fmod(trackDeg + std::round(uniform(-20.0, 20.0)) + 360.0, 360.0);
        out.push_back(p);
    }
    const double start = t;
    for (; t < start + departS; t += uniform(9.0, 11.0)) {
        kvr::standin::TrackPoint p;
        p.t = t;
        const LatLon at = moveM(spot, 0.0, (t - start) * 60.0 * 0.5144444444444445);
        p.lat = at.latitude;
        p.lon = at.longitude;
        p.altFt = 2400.0 + (t - start) * 500.0 / 60.0;
        p.vsFpm = 500.0;
        p.gsKt = 60.0;
        out.push_back(p);
    }
    return out;
}

// The turns the aircraft makes standing where it is (moving less than a
// centimetre a write) by 5 degrees or more: when each began (trace seconds),
// how long it took and how far the heading turned.
struct Pivot {
    double t, seconds, turnedDeg;
};
std::vector<Pivot> lf_pivots(const std::vector<GroundWrite>& w)
{
    std::vector<Pivot> out;
    std::optional<Pivot> now;
    for (size_t i = 1; i < w.size(); ++i) {
        const double turned = std::fabs(std::remainder(w[i].hdg - w[i - 1].hdg, 360.0));
        if (metres({w[i - 1].lat, w[i - 1].lon}, {w[i].lat, w[i].lon}) < 0.01 && turned > 0.01) {
            if (!now)
                now = Pivot{w[i - 1].t, 0.0, 0.0};
            now->seconds = w[i].t - now->t;
            now->turnedDeg += turned;
        } else if (now && w[i].t - (now->t + now->seconds) > 0.5) {
            if (now->turnedDeg >= 5.0)
                out.push_back(*now);
            now.reset();
        }
    }
    if (now && now->turnedDeg >= 5.0)
        out.push_back(*now);
    return out;
}

} // namespace

// An EC30 hovers five minutes over one spot, then departs north at 60 kt.
// Reports scattered as its position source gives them are no way to turn
// toward or fly to and back: it hovers over its spot and turns there only
// toward the departure, level, while it still hovers, so that it keeps up
// with its reports when it leaves.
struct HoverCase {
    const char* what;
    uint64_t seed;
    double noiseMinM, noiseMaxM, trackDeg;
};
class HoverDepartureTest : public LasVegasHelicopterTest, public ::testing::WithParamInterface<HoverCase> {};

TEST_P(HoverDepartureTest, ItHoversOverItsSpotAndTurnsLevelOnlyTowardItsDeparture)
{
    const HoverCase& c = GetParam();
    SCOPED_TRACE(c.what);
    const auto reports = hoverThenDeparture(c.seed, c.noiseMinM, c.noiseMaxM, c.trackDeg, 300.0, 240.0);
    ASSERT_TRUE(playHelicopter(reports, 0x4C410D, "N882MH"));
    const LiveAircraft* ac = live(0x4C410D);
    ASSERT_NE(ac, nullptr);
    // 30 s behind its reports: where the one of 30 s ago puts it.
    const auto due = std::find_if(reports.rbegin(), reports.rend(), [&](const kvr::standin::TrackPoint& p) {
        return p.t <= reports.back().t + 1.0 - 30.0;
    });
    ASSERT_NE(due, reports.rend());
    EXPECT_LE(ac->stream.samples.size(), 6u);
    EXPECT_LT(metres({ac->motion.lat, ac->motion.lon}, {due->lat, due->lon}), 400.0);
    EXPECT_LT(std::fabs(std::remainder(ac->motion.heading / kDeg, 360.0)), 20.0);
    const std::vector<GroundWrite> w = lf_positionWrites(tracePath);
    const std::vector<Pivot> pivots = lf_pivots(w);
    // At most the turn toward the departure (180 degrees at most, taken at
    // 5 degrees a second or faster), and over its spot while it hovers.
    EXPECT_LE(pivots.size(), 1u);
    for (const Pivot& p : pivots)
        EXPECT_LE(p.seconds, 37.0) << fmt::format("t {:.1f}: {:.0f} deg", p.t, p.turnedDeg);
    double strayedM = 0.0;
    for (const GroundWrite& x : w)
        if (x.t < w.front().t + 250.0)
            strayedM = std::max(strayedM, metres({x.lat, x.lon}, {36.0790, -115.1713}));
    EXPECT_LT(strayedM, 25.0);
    // Level while it hovers or turns there; flying off nose first.
    double steepest = 0.0;
    size_t judged = 0;
    for (size_t i = 0, j = 0; i < w.size(); ++i) {
        while (j < i && w[i].t - w[j + 1].t >= 0.5)
            ++j;
        if (!(w[i].t - w[j].t >= 0.5))
            continue;
        const double kt = metres({w[j].lat, w[j].lon}, {w[i].lat, w[i].lon}) / (w[i].t - w[j].t) / 0.5144444444444445;
        if (kt < 5.0)
            steepest = std::max(steepest, std::fabs(w[i].bank));
        if (kt > 30.0) {
            ++judged;
            const double way = gf_initialBearing({w[j].lat, w[j].lon}, {w[i].lat, w[i].lon}) / kDeg;
            const double off = std::fabs(std::remainder(way - w[i].hdg, 360.0));
            if (off > 45.0) {
                ADD_FAILURE() << fmt::format("t {:.2f}: heading {:.0f}, moving {:.0f} at {:.0f} kt", w[i].t, w[i].hdg, way, kt);
                break;
            }
        }
    }
    EXPECT_LT(steepest, 10.0);
    EXPECT_GT(judged, 1000u);
    failOnFindings(motion(runways), {"jump", "reversal", "turn rate"});
}

INSTANTIATE_TEST_SUITE_P(Hover, HoverDepartureTest,
                         ::testing::Values(HoverCase{"reports scattered 8-20 m", 4711, 8.0, 20.0, 90.0},
                                           HoverCase{"reports scattered 8-20 m, another draw", 90210, 8.0, 20.0, 270.0}));

// ---- Take-off rolls --------------------------------------------------------------

// SWA852 on 26R as the App reported it (2019): it taxis to the runway,
// lines up, rolls at 23, 65 and 98 kt, then the App repeats the 98 kt report
// (nothing new came in) before the aircraft is seen climbing out. The repeat
// is no stop: the roll runs on along the runway to the lift-off.
class StaleRollRepeatTest : public LasVegasGroundTest {
protected:
    static std::vector<kvr::standin::TrackPoint> swa852()
    {
        return recordedReports({
            {0.00, 36.0780, -115.1223, 0, 0, 142, 0},           {9.76, 36.0778, -115.1220, 0, 0, 126, 21},
            {19.53, 36.0776, -115.1217, 0, 0, 129, 20},          {29.32, 36.0774, -115.1214, 0, 0, 137, 13},
            {39.09, 36.0774, -115.1214, 0, 0, 137, 0},           {48.85, 36.0773, -115.1213, 0, 0, 143, 12},
            {58.65, 36.0772, -115.1213, 0, 0, 160, 14},          {68.43, 36.0770, -115.1212, 0, 0, 174, 18},
            {78.21, 36.0765, -115.1212, 0, 0, 180, 19},          {87.95, 36.0764, -115.1213, 0, 0, 219, 13},
            {97.73, 36.0764, -115.1215, 0, 0, 89, 0},            {107.49, 36.0764, -115.1215, 0, 0, 89, 0},
            {117.25, 36.0764, -115.1215, 0, 0, 271, 0},          {126.99, 36.0764, -115.1220, 0, 0, 270, 23},
            {136.79, 36.0764, -115.1247, 0, 0, 270, 65},         {146.58, 36.0764, -115.1288, 0, 0, 270, 98},
            {156.36, 36.0764, -115.1288, 0, 0, 270, 98},         {166.10, 36.0764, -115.1471, 2150, 1792, 271, 169},
            {176.08, 36.0766, -115.1561, 2525, 2048, 271, 170},  {186.34, 36.0769, -115.1678, 3025, 2368, 270, 170},
            {195.12, 36.0769, -115.1678, 3025, 2368, 270, 170},  {204.88, 36.0769, -115.1678, 3025, 2368, 270, 170},
            {215.42, 36.0767, -115.1922, 3700, 1088, 269, 192},
        });
    }
    // Plays the reports and checks the roll from its line-up to the lift-off.
    void expectOneRollFromTheLineUp(const std::vector<kvr::standin::TrackPoint>& reports)
    {
        play(reports, 0x4C4108, "SWA852", 3000);
        const std::vector<GroundWrite> w = lf_positionWrites(tracePath);
        const auto report = motion(runways);
        ASSERT_EQ(report.objects.size(), 1u);
        failOnFindings(report, {"off-runway take-off"});
        // It stands last where it lined up, and rolls from there to the lift-off.
        const auto liftoff = std::adjacent_find(w.begin(), w.end(), [](const GroundWrite& a, const GroundWrite& b) {
            return a.onGround && !b.onGround;
        });
        ASSERT_NE(liftoff, w.end());
        const auto stood = std::find_if(std::make_reverse_iterator(liftoff), w.rend(),
                                        [](const GroundWrite& g) { return g.onGround && g.kts < 1.0; });
        ASSERT_NE(stood, w.rend());
        EXPECT_LT(metres({36.0764, -115.1215}, {stood->lat, stood->lon}), 50.0);
        // It keeps to the centre line until it lifts off, though its first
        // reports in the air lie 30 m to its side.
        const kvr::standin::RunwayEndGeometry& r26r = kvr::standin::gf_runwayEnd(runways, "26R");
        for (auto it = stood.base(); it != liftoff + 1; ++it)
            if (it->kts > 40.0)
                EXPECT_LT(std::fabs(lf_offCentreLine(r26r, it->lat, it->lon)), 10.0) << "at " << it->t << " s";
    }
};

TEST_F(StaleRollRepeatTest, ARepeatWhileTaxiingFastStartsNoStop)
{
    expectOneRollFromTheLineUp(swa852());
}

TEST_F(StaleRollRepeatTest, ARepeatInTheRollOnTheCentreLineIsNoStop)
{
    // Created at the line-up: the roll is under way before the repeat comes,
    // its samples moved onto the centre line.
    const auto all = swa852();
    expectOneRollFromTheLineUp({all.begin() + 9, all.end()});
}

TEST_F(LasVegasGroundTest, AnArrivalHeldOffTheGroundShortOfTheRunwayNeverTouchesAndRisesAgain)
{
    // SWA1971 onto 26L as the App reported it (2019): its air reports read
    // under the field (pressure altitudes) from 4 km out, so it is held just
    // off the ground short of the runway. Held there, it is never written
    // on the ground and then in the air again (which reads as a take-off).
    const auto reports = recordedReports({
        {0.04, 36.0736, -115.0412, 3350, -768, 269, 171},    {9.83, 36.0736, -115.0412, 3350, -768, 269, 171},
        {19.61, 36.0736, -115.0616, 3025, -832, 270, 162},   {29.40, 36.0736, -115.0616, 3025, -832, 270, 162},
        {39.14, 36.0736, -115.0805, 2750, -1024, 270, 157},  {48.91, 36.0737, -115.0913, 2575, -896, 270, 156},
        {58.67, 36.0737, -115.0966, 2500, -896, 270, 154},   {68.43, 36.0737, -115.1073, 2325, -960, 270, 152},
        {78.18, 36.0737, -115.1099, 2275, -768, 270, 151},   {87.97, 36.0737, -115.1099, 2275, -768, 270, 151},
        {97.76, 36.0737, -115.1330, 1975, -64, 270, 147},    {107.54, 36.0737, -115.1376, 1950, 0, 270, 125},
        {117.29, 36.0737, -115.1429, 0, 0, 272, 41},         {127.28, 36.0740, -115.1443, 0, 0, 295, 24},
        {137.53, 36.0745, -115.1455, 0, 0, 300, 15},         {146.31, 36.0746, -115.1457, 0, 0, 300, 30},
        {156.07, 36.0747, -115.1460, 0, 0, 298, 9},          {166.61, 36.0748, -115.1461, 0, 0, 298, 10},
    });
    play(reports, 0x4C4109, "SWA1971", 3000);
    const std::vector<GroundWrite> w = lf_positionWrites(tracePath);
    const auto report = motion(runways);
    ASSERT_EQ(report.objects.size(), 1u);
    failOnFindings(report, {"off-runway take-off"});
    const auto touchdown = std::find_if(w.begin(), w.end(), [](const GroundWrite& g) { return g.onGround; });
    ASSERT_NE(touchdown, w.end());
    EXPECT_TRUE(std::all_of(touchdown, w.end(), [](const GroundWrite& g) { return g.onGround; }))
        << "written on the ground at " << touchdown->t << " s and in the air again";
}

TEST_F(LasVegasGroundTest, AStandingAircraftWaitingForCreationIsNotMovedToItsSpreadAndBack)
{
    // AAL2249 as the App reported it (2019): it stands, 0 kt, and one
    // report lies 29 m off, the next ones back where it stood. Taken while
    // the aircraft waits to be created, that spread is no way there and back.
    const auto reports = groundReports({
        {0.0, 36.0800, -115.1357, 242, 0},   {9.8, 36.0800, -115.1357, 242, 0},  {19.5, 36.0800, -115.1357, 61, 0},
        {29.3, 36.0800, -115.1357, 242, 0},  {39.0, 36.0800, -115.1357, 271, 0}, {48.8, 36.0800, -115.1357, 118, 0},
        {58.6, 36.0799, -115.1354, 120, 0},  {68.4, 36.0799, -115.1355, 271, 0}, {78.1, 36.0800, -115.1357, 42, 0},
        {87.9, 36.0800, -115.1357, 223, 0},  {97.7, 36.0800, -115.1356, 112, 0}, {107.5, 36.0800, -115.1357, 299, 0},
        {117.2, 36.0800, -115.1356, 118, 0}, {127.0, 36.0800, -115.1357, 299, 0},
    });
    play(reports, 0x4C410A, "AAL2249", 100);
    // Every sample it holds is where it stands.
    const LiveAircraft* ac = live(0x4C410A);
    ASSERT_NE(ac, nullptr);
    for (const TrafficSample& s : ac->stream.samples)
        EXPECT_LT(metres({36.0800, -115.1357}, {s.lat, s.lon}), 10.0);
    run(3000);
    const auto report = motion();
    failOnFindings(report, {"backwards", "reversal"});
}

// ---- Reports in the air that the predicted aircraft has passed ------------------

class PassedReportTest : public LasVegasArrivalTest {
protected:
    void SetUp() override
    {
        LasVegasArrivalTest::SetUp();
        sim.load({{"user", {{"lat", 36.07}, {"lon", -115.0}, {"alt_ft", 3000.0}}}});
    }
    // The aircraft's reversals, each failing the test with its text.
    size_t reversals(size_t minWrites)
    {
        const auto report = motion();
        EXPECT_EQ(report.objects.size(), 1u);
        for (const auto& [id, found] : report.findings)
            for (const auto& f : found)
                if (f.kind == "reversal")
                    ADD_FAILURE() << kvr::standin::gf_findingText(f);
        EXPECT_GT(report.total.writes, minWrites);
        return report.total.reversals;
    }
};

TEST_F(PassedReportTest, StaleRepeatsOfTheLastReportDoNotPullThePredictedAircraftBack)
{
    // SWA410 as the App reported it (2019), on a long final east of the
    // field: from 78 s on the feed repeats one position every 10 s. The
    // aircraft flies on past it on its predictions and is not pulled back
    // to it by each repeat.
    // Its track reads 271 throughout.
    const auto reports = recordedReports({
        {0, 36.0685, -114.9641, 3000, -832, 271, 196}, {10, 36.0686, -114.9756, 3000, -832, 271, 196},
        {19, 36.0686, -114.9756, 3000, -832, 271, 196}, {29, 36.0686, -114.9756, 3000, -832, 271, 196},
        {39, 36.0686, -114.9756, 3000, -832, 271, 196}, {49, 36.0726, -115.0174, 2300, -832, 271, 160},
        {58, 36.0726, -115.0174, 2300, -832, 271, 160}, {68, 36.0728, -115.0369, 2300, -832, 271, 160},
        {78, 36.0730, -115.0462, 2300, -832, 271, 160}, {88, 36.0730, -115.0462, 2300, -832, 271, 160},
        {98, 36.0730, -115.0462, 2300, -832, 271, 160}, {107, 36.0730, -115.0462, 2300, -832, 271, 160},
        {117, 36.0730, -115.0462, 2300, -832, 271, 160}, {127, 36.0730, -115.0462, 2300, -832, 271, 160},
    });
    play(reports, 0x4C4108, "SWA410", 3000);
    EXPECT_EQ(reversals(2000), 0u);
}

TEST_F(PassedReportTest, AReportDeliveredLateBehindThePredictedAircraftIsNotFlownBackTo)
{
    // West at 200 kt, a report every 10 s; the report of 46 s arrives only
    // at 80 s, after a gap, when the aircraft flew past its place on its
    // predictions, and the fresh one follows a second later.
    const LatLon start{36.10, -114.90};
    const double speedMs = 200.0 * 1852.0 / 3600.0;
    auto at = [&](double t) {
        kvr::standin::TrackPoint p;
        const LatLon here = moveM(start, 270.0, speedMs * t);
        p.lat = here.latitude;
        p.lon = here.longitude;
        p.altFt = 6000.0;
        p.trackDeg = 270.0;
        p.gsKt = 200.0;
        p.t = t;
        return p;
    };
    std::vector<kvr::standin::TrackPoint> reports;
    for (double t = 0.0; t <= 40.0; t += 10.0)
        reports.push_back(at(t));
    kvr::standin::TrackPoint late = at(46.0);
    late.t = 80.0; // sent, and time-stamped, when it arrives
    reports.push_back(late);
    for (double t = 81.0; t <= 121.0; t += 10.0)
        reports.push_back(at(t));
    play(reports, 0x4C4109, "KLM209", 3000);
    EXPECT_EQ(reversals(2000), 0u);
}

TEST_F(PassedReportTest, AHelicopterTurnsRoundOnItsWayToAReportBehindIt)
{
    // An EC30 east at 60 kt; its next report lies 150 m back the way it came
    // (it turned round out of sight), and its reports then go on west. It
    // swings out and turns round instead of flying straight back.
    constexpr uint32_t kHexid = 0x4C410A;
    const ModelDatabaseTables savedModels = gf_modelDatabase();
    gf_modelDatabase().icaoModelCodes.insert("EC30");
    gf_modelDatabase().rotorcraft.insert(gf_modelCode2Id("EC30"));
    const auto savedParameters = gf_parametersSnapshot();
    auto helicopters = std::make_shared<Parameters>(*savedParameters);
    helicopters->HELICOPTERS = true;
    g_parameters.store(helicopters);
    struct Restore {
        const ModelDatabaseTables& models;
        std::shared_ptr<const Parameters> parameters;
        ~Restore()
        {
            gf_modelDatabase() = models;
            g_parameters.store(parameters);
        }
    } restore{savedModels, savedParameters};
    lf_rememberLiveryOfHexid(kHexid, "Airbus A320-200 KLM");
    const LatLon start{36.10, -114.95};
    const double stepM = 60.0 * 1852.0 / 3600.0 * 10.0;
    std::vector<std::pair<LatLon, double>> track; // position, track
    for (int i = 0; i < 4; ++i)
        track.push_back({moveM(start, 90.0, stepM * i), 90.0});
    const LatLon back = moveM(track.back().first, 270.0, 150.0);
    for (int i = 0; i < 4; ++i)
        track.push_back({moveM(back, 270.0, stepM * i), 270.0});
    bool rotorcraft = false;
    for (size_t i = 0; i < track.size(); ++i) {
        kvr::standin::TrackPoint p;
        p.t = 10.0 * static_cast<double>(i);
        p.lat = track[i].first.latitude;
        p.lon = track[i].first.longitude;
        p.altFt = 2800.0;
        p.trackDeg = track[i].second;
        p.gsKt = 60.0;
        LiveTrafficRecord record = kvr::test::trackRecord(p, kHexid, "N879MH");
        record.ids.model = gf_modelCode2Id("EC30");
        std::vector<LiveTrafficRecord> batch{record};
        gf_trafficMailbox().post(batch, TrafficBatchKind::Live, 30, false);
        run(1000);
        if (const LiveAircraft* ac = live(kHexid))
            rotorcraft = ac->identity.category == Category::Rotorcraft;
    }
    ASSERT_TRUE(rotorcraft);
    run(3000);
    EXPECT_EQ(reversals(2000), 0u);
}

TEST_F(LasVegasGroundTest, ASlowRollNextSeenBehindItBesideTheRunwayIsHiddenNotDrivenBack)
{
    // 1FB470D8, an LJ35 without a callsign, as the App reported it (2019):
    // it lands on 19R and rolls out to 28 kt, then is next seen 420 m back
    // north beside the runway on the parallel taxiway at 12 kt: the App's
    // last reports on the runway were late. No roll gets there forward.
    // Pressure altitudes under the field are on the ground.
    const auto reports = recordedReports({
        {146.2, 36.1343, -115.1350, 3050, -1536, 229, 170}, {156.2, 36.1290, -115.1398, 2800, -1408, 209, 162},
        {165.9, 36.1211, -115.1443, 2625, -1088, 203, 142}, {175.7, 36.1157, -115.1473, 2550, -704, 204, 148},
        {185.5, 36.1117, -115.1496, 2450, -896, 204, 147},  {195.2, 36.1044, -115.1538, 2275, -1024, 205, 140},
        {205.8, 36.0983, -115.1573, 2125, -640, 204, 136},  {214.6, 36.0939, -115.1597, 2050, -640, 204, 136},
        {224.3, 36.0939, -115.1597, 2050, -640, 204, 136},  {234.1, 36.0858, -115.1644, 2100, 64, 204, 88},
        {243.9, 36.0830, -115.1660, 2100, 64, 204, 48},     {253.7, 36.0807, -115.1673, 2100, 64, 205, 39},
        {263.4, 36.0794, -115.1680, 2125, 64, 205, 33},     {273.2, 36.0787, -115.1685, 2125, 0, 204, 28},
        {283.0, 36.0787, -115.1685, 2125, 0, 204, 28},      {292.8, 36.0787, -115.1685, 2125, 0, 204, 28},
        {302.5, 36.0761, -115.1699, 2125, 0, 204, 28},      {312.3, 36.0749, -115.1706, 2125, 0, 204, 28},
        {322.1, 36.0749, -115.1706, 2125, 0, 204, 28},      {331.9, 36.0787, -115.1707, 2125, 0, 359, 12},
        {341.8, 36.0787, -115.1707, 2125, 0, 359, 12},      {352.0, 36.0787, -115.1707, 2125, 0, 359, 12},
    }, kFieldFt);
    play(reports, 0x1FB470D8, "1FB470D8", 3000);
    EXPECT_NE(log().find("1FB470D8 left its runway unseen"), std::string::npos);
    const auto report = motion();
    ASSERT_EQ(report.objects.size(), 1u);
    const kvr::standin::MotionCounts& c = report.objects.begin()->second;
    EXPECT_GT(c.writes, 1000u);
    EXPECT_EQ(c.slides, 0u);
    EXPECT_EQ(c.backwards, 0u);
    EXPECT_EQ(c.reversals, 0u);
    failOnFindings(report, {"slide", "backwards", "reversal"});
}

TEST_F(GroundMotionSimTest, ATaxiCornerItsReportsCutIsRolledRoundNotStoppedDeadAndTurnedOnTheSpot)
{
    // Right-angle corners at 25 kt as the App reports them (10 s apart, the
    // positions off by up to 30 m): the report before a corner and the one
    // after it cut the corner, so the aircraft reaches a report with its
    // heading well off the next leg.
    sim.load({{"titles", {{{"title", "Airbus A320-200 KLM"}, {"static_cg_ft", 8.0}}}}});
    const auto reports = kvr::standin::gf_appReports(
        kvr::standin::gf_movingFrom(kvr::standin::gf_taxiCornersTrack({52.2950, 4.7900}, 0.0, 0.0, 25.0), 10.0),
        {.seed = 4738011});
    constexpr uint32_t kHexid = 0x48430C;
    lf_rememberLiveryOfHexid(kHexid, "Airbus A320-200 KLM");
    for (size_t i = 0; i < reports.size(); ++i) {
        std::vector<LiveTrafficRecord> batch{kvr::test::trackRecord(reports[i], kHexid, "KLM1721")};
        gf_trafficMailbox().post(batch, TrafficBatchKind::Live, 30, false);
        const double next = i + 1 < reports.size() ? reports[i + 1].t : reports[i].t + 1.0;
        run(static_cast<int>(std::lround((next - reports[i].t) * 100.0)));
    }
    run(3000);
    const auto report = motion();
    ASSERT_EQ(report.objects.size(), 1u);
    for (const auto& [id, found] : report.findings)
        for (const auto& f : found)
            if (!kvr::standin::gf_isSpeedFinding(f)) // printed by the fixture, not judged yet
                ADD_FAILURE() << kvr::standin::gf_findingText(f);
    // Until it slows for its stop by the last reports it never stands, nor
    // turns where it stands.
    const std::vector<GroundWrite> w = lf_positionWrites(tracePath);
    const LatLon end{reports.back().lat, reports.back().lon};
    size_t moving = 0;
    while (moving < w.size() && !(w[moving].kts > 5.0))
        ++moving;
    ASSERT_LT(moving, w.size());
    size_t checked = 0;
    for (size_t i = moving + 1; i < w.size() && metres({w[i].lat, w[i].lon}, end) > 120.0; ++i, ++checked) {
        EXPECT_GT(w[i].kts, 3.0) << "stopped at " << w[i].t << " s";
        const bool stood = metres({w[i - 1].lat, w[i - 1].lon}, {w[i].lat, w[i].lon}) < 0.01;
        EXPECT_FALSE(stood && std::fabs(std::remainder(w[i].hdg - w[i - 1].hdg, 360.0)) > 0.01)
            << "turned on the spot at " << w[i].t << " s";
    }
    EXPECT_GT(checked, 1000u);
}

TEST_F(LasVegasGroundTest, AStoppedAircraftIsNotPushedBackToAReportWhoseTrackIsNeitherItsNoseNorTheWay)
{
    // AAL1368 as the App reported it (2019), two receivers taking turns: a
    // report 45 m north-west pulls it there, the next ones lie 50 m back
    // south-east at 2 kt, track 092. A push-back report gives the nose or
    // the way pushed as its track, so it is not pushed back there nose first.
    // Taxiing east at 9 kt, one report lies 44 m beside its track: it does
    // not swing aside to it and pivot back.
    const auto reports = groundReports({
{0.0, 36.0772, -115.1233, 92, 0}, {9.8, 36.0772, -115.1233, 92, 0}, {20.4, 36.0776, -115.1232, 61, 0},
{29.2, 36.0776, -115.1232, 223, 0}, {39.0, 36.0776, -115.1232, 271, 0}, {48.7, 36.0775, -115.1232, 348, 0},
{58.5, 36.0772, -115.1232, 92, 2}, {68.2, 36.0772, -115.1230, 92, 16}, {78.0, 36.0772, -115.1225, 92, 23},
{87.8, 36.0772, -115.1219, 92, 26}, {97.5, 36.0772, -115.1216, 92, 26}, {107.3, 36.0770, -115.1213, 92, 9},
{117.1, 36.0774, -115.1214, 92, 9}, {126.9, 36.0770, -115.1211, 92, 2}, {137.4, 36.0770, -115.1211, 92, 2},
{146.2, 36.0774, -115.1214, 242, 0}, {156.2, 36.0770, -115.1209, 92, 2}, {165.9, 36.0770, -115.1209, 92, 2},
{175.7, 36.0774, -115.1214, 314, 0}, {185.5, 36.0770, -115.1209, 92, 2}, {195.2, 36.0769, -115.1209, 92, 2},
    });
    play(reports, 0x4C4109, "AAL1368", 3000);
    const auto report = motion();
    failOnFindings(report, {"slide", "turn rate", "backwards", "reversal"});
    // It was shown, and driven east along its reports (about 215 m).
    ASSERT_EQ(report.objects.size(), 1u);
    EXPECT_GT(report.objects.begin()->second.writes, 1000u);
    const std::vector<GroundWrite> w = lf_positionWrites(tracePath);
    ASSERT_FALSE(w.empty());
    EXPECT_GT(metres({w.front().lat, w.front().lon}, {w.back().lat, w.back().lon}), 150.0);
}

// ---- Departures at Los Angeles (field elevation 128 ft) ----------------------

namespace {

// A report as the replay delivers it: posted `post` seconds into the run in a
// batch whose median lies `delay` seconds before its play time, stamped `t`.
struct BatchedReport {
    double post, t;
    uint32_t delay;
    double lat, lon, altFt, vsFpm, trackDeg, gsKt;
};

// Ground traffic at a real airport: its published runways and elevation,
// the user 25 NM north (no collision holds), an A320 on its wheels 8 ft up.
class AirportGroundTest : public GroundMotionSimTest {
protected:
    struct Field {
        const char* runwaysCsv; // in ../shared/data
        uint32_t icao;
        double lat, lon, elevationFt;
    };
    void useField(const Field& f)
    {
        sim.load({{"ground_ft", f.elevationFt},
                  {"user", {{"lat", f.lat + 0.42}, {"lon", f.lon}, {"alt_ft", 3000.0}}},
                  {"titles", {{{"title", "Airbus A320-200 KLM"}, {"static_cg_ft", 8.0}}}}});
        const auto csv = std::filesystem::path(KELO_SOURCE_DIR) / "../shared/data" / f.runwaysCsv;
        runwayTable.runways = kvr::test::publishedRunways(csv);
        runways = kvr::standin::gf_loadRunwayCsv(csv);
        std::unique_lock lock(engineLock);
        CurrentAirport = {f.icao, f.lat, f.lon, f.elevationFt, {}};
    }
    void TearDown() override
    {
        gf_clearRunwayTable();
        {
            std::unique_lock lock(engineLock);
            CurrentAirport = {};
        }
        GroundMotionSimTest::TearDown();
    }
    // Each finding of the trace fails the test, but for the speed rules'
    // (printed by the fixture, not judged yet).
    static void failOnAnyFinding(const kvr::standin::MotionReport& report)
    {
        for (const auto& [id, found] : report.findings)
            for (const auto& f : found)
                if (!kvr::standin::gf_isSpeedFinding(f))
                    ADD_FAILURE() << "object " << id << ": " << kvr::standin::gf_findingText(f);
    }
    std::vector<kvr::standin::RunwayGeometry> runways;
};

class LosAngelesGroundTest : public AirportGroundTest {
protected:
    void SetUp() override
    {
        AirportGroundTest::SetUp();
        useField({"runways-klax.csv", 0x4B4C4158, 33.9425, -118.408, 128.0});
    }
    void play(const std::vector<BatchedReport>& reports, uint32_t hexid, const std::string& callsign, int tailTicks)
    {
        lf_rememberLiveryOfHexid(hexid, "Airbus A320-200 KLM");
        double now = 0.0;
        for (const BatchedReport& r : reports) {
            // One batch a tick at most: the mailbox keeps only the newest.
            run(std::max(1, static_cast<int>(std::lround((r.post - now) * 100.0))));
            now = std::max(r.post, now + 0.01);
            const auto p = recordedReports({{r.t, r.lat, r.lon, r.altFt, r.vsFpm, r.trackDeg, r.gsKt}});
            std::vector<LiveTrafficRecord> batch{kvr::test::trackRecord(p.front(), hexid, callsign)};
            gf_trafficMailbox().post(batch, TrafficBatchKind::Live, r.delay, false);
        }
        run(tailTicks);
    }
};

} // namespace

TEST_F(LosAngelesGroundTest, ADepartureWhoseTurnOntoTheRunwayArrivesOutOfOrderRollsAlongItsReports)
{
    // UAL1693 as the App reported it (2020): east along the taxiway, then a
    // right turn south and west onto the end of 25R, where it stands 80 s and
    // rolls west. The report of the turn's end came in a batch played 7 s
    // ahead of the one before it.
    const std::vector<BatchedReport> reports{
        {0, 0, 28, 33.9404, -118.3839, 0, 0, 89, 0}, {0, 30, 30, 33.9406, -118.3821, 0, 0, 81, 16},
        {7, 30, 30, 33.9406, -118.3821, 0, 0, 81, 16}, {36, 39, 30, 33.9407, -118.3812, 0, 0, 81, 19},
        {38, 41, 21, 33.9407, -118.3810, 0, 0, 81, 17}, {49, 41, 21, 33.9407, -118.3810, 0, 0, 81, 17},
        {71, 80, 30, 33.9398, -118.3802, 0, 0, 230, 18}, {78, 88, 16, 33.9398, -118.3804, 0, 0, 258, 9},
        {88, 88, 16, 33.9398, -118.3804, 0, 0, 258, 9}, {100, 117, 26, 33.9398, -118.3804, 0, 0, 180, 0},
        {119, 132, 29, 33.9398, -118.3804, 0, 0, 180, 0}, {126, 147, 27, 33.9398, -118.3804, 0, 0, 180, 0},
        {140, 147, 27, 33.9398, -118.3804, 0, 0, 180, 0}, {154, 171, 29, 33.9398, -118.3804, 0, 0, 180, 0},
        {179, 186, 29, 33.9398, -118.3806, 0, 0, 264, 27}, {206, 199, 18, 33.9394, -118.3844, 0, 0, 261, 76},
        {215, 239, 31, 33.9366, -118.4142, 825, 2368, 264, 156}, {224, 239, 31, 33.9366, -118.4142, 825, 2368, 264, 156},
        {236, 257, 31, 33.9351, -118.4296, 1350, 1280, 261, 170}, {254, 269, 31, 33.9335, -118.4426, 1625, 1088, 260, 185},
    };
    play(reports, 0xA5B996, "UAL1693", 3000);
    const std::vector<GroundWrite> w = lf_positionWrites(tracePath);
    const auto report = motion(runways);
    // Created once: it is never removed on its way, and its roll keeps to
    // the runway.
    EXPECT_EQ(report.objects.size(), 1u);
    failOnAnyFinding(report);
    // It stands last where its reports stop, and rolls west from there.
    const auto liftoff = std::adjacent_find(w.begin(), w.end(), [](const GroundWrite& a, const GroundWrite& b) {
        return a.onGround && !b.onGround;
    });
    ASSERT_NE(liftoff, w.end());
    const auto stood = std::find_if(std::make_reverse_iterator(liftoff), w.rend(),
                                    [](const GroundWrite& g) { return g.onGround && g.kts < 1.0; });
    ASSERT_NE(stood, w.rend());
    EXPECT_LT(metres({33.9398, -118.3804}, {stood->lat, stood->lon}), 15.0);
    EXPECT_NEAR(std::remainder(liftoff->hdg - 263.0, 360.0), 0.0, 10.0);
}

// ---- A taxi queue at New York JFK (field 13 ft) ------------------------------

namespace {

class NewYorkJfkGroundTest : public AirportGroundTest {
protected:
    void SetUp() override
    {
        AirportGroundTest::SetUp();
        useField({"runways-kjfk.csv", 0x4B4A464B, 40.6398, -73.7789, 13.0});
    }
};
using NewYorkJfkTypesTest = ModelTypesTest<NewYorkJfkGroundTest>;

} // namespace

TEST_F(NewYorkJfkGroundTest, AQueueWhosePositionsFlipBehindTheNoseIsNeitherDrivenRoundNorPushedBack)
{
    // RJA261 as the App reported it (2019) waits eight minutes in the queue
    // for 31L. Its positions flip one step (8-14 m) behind the nose and
    // forward again, reported at 2 or 10 kt with the nose as their track.
    // An aircraft in a queue waits nose on: it neither rolls round to the
    // step behind it nor is pushed back onto it.
    const auto reports = kvr::test::reportsFromFile("taxi-queue-flips-kjfk.csv");
    ASSERT_EQ(reports.size(), 77u);
    playReports(reports, 0x71C261, "RJA261");
    run(1000);
    const std::vector<GroundWrite> w = lf_positionWrites(tracePath);
    const auto report = motion(runways);
    ASSERT_EQ(report.objects.size(), 1u);
    const kvr::standin::MotionCounts& c = report.objects.begin()->second;
    EXPECT_GT(c.writes, 10000u);
    EXPECT_EQ(c.backwards, 0u);
    EXPECT_EQ(c.reversals, 0u);
    EXPECT_EQ(c.slides, 0u);
    // In the queue (within 150 m of where it waits) it turns onto its creeps
    // north-west and back, never round in a loop.
    const LatLon queue{40.6466, -73.7958};
    double turned = 0.0;
    for (size_t i = 1; i < w.size(); ++i)
        if (w[i].onGround && metres(queue, {w[i].lat, w[i].lon}) < 150.0)
            turned += std::fabs(std::remainder(w[i].hdg - w[i - 1].hdg, 360.0));
    EXPECT_LT(turned, 360.0);
}

TEST_F(NewYorkJfkGroundTest, AfterAFrozenStretchACornerFromRestIsTurnedOntoNotSlidAlong)
{
    // AAL2305 as the App reported it (2019): frozen reports, then 445 m on,
    // then a corner it comes to rest before. From rest with its next report
    // far off its nose it turns toward it first: a curve that leaves toward
    // that report from where the aircraft stands would drive it sideways.
    const auto reports = kvr::test::reportsFromFile("taxi-freeze-then-corner-kjfk.csv");
    ASSERT_EQ(reports.size(), 44u);
    playReports(reports, 0xA2305, "AAL2305");
    run(1000);
    const auto report = motion(runways);
    ASSERT_EQ(report.objects.size(), 1u);
    const kvr::standin::MotionCounts& c = report.objects.begin()->second;
    EXPECT_GT(c.writes, 10000u);
    EXPECT_EQ(c.slides, 0u);
    EXPECT_EQ(c.backwards, 0u);
    EXPECT_EQ(c.reversals, 0u);
    failOnAnyFinding(report);
}

TEST_F(NewYorkJfkGroundTest, ALandingWhoseReportsRollOutBesideTheRunwayTouchesDownOnItAndIsNotFlownOffIt)
{
    // AAL2423 as the App reported it (2019): the final of 22R, but every
    // report 375 m east of the centre line, its roll slowing to 29 kt beside
    // the runway's displaced threshold and turning off east. The landing is
    // flown down 22R and touches down there past the threshold, not flown over
    // its slow reports to a touch-down off the runway, nor driven back to them
    // from the roll.
    const auto reports = kvr::test::reportsFromFile("landing-beside-runway-kjfk.csv");
    ASSERT_EQ(reports.size(), 31u);
    playReports(reports, 0xA2423, "AAL2423");
    run(3000);
    const auto report = traceMotion(runways);
    ASSERT_GE(report.objects.size(), 1u);
    failOnAnyFinding(report);
    const std::vector<GroundWrite> w = lf_positionWrites(tracePath);
    const auto touch = std::adjacent_find(w.begin(), w.end(),
                                          [](const GroundWrite& a, const GroundWrite& b) { return !a.onGround && b.onGround; });
    ASSERT_NE(touch, w.end());
    const GroundWrite& down = *std::next(touch);
    const auto r22 = std::find_if(runways.begin(), runways.end(), [](const auto& r) { return r.high.ident == "22R"; });
    ASSERT_NE(r22, runways.end());
    const kvr::standin::RunwayEndGeometry& end = r22->high;
    const double bearing = gf_initialBearing(end.threshold, {down.lat, down.lon});
    const double along = metres(end.threshold, {down.lat, down.lon}) * std::cos(bearing - end.headingDeg * kDeg);
    EXPECT_LT(std::fabs(lf_offCentreLine(end, down.lat, down.lon)), 20.0);
    EXPECT_GT(along, end.displacedFt * 0.3048);
    EXPECT_LT(along, r22->lengthFt * 0.3048 / 2.0);
    EXPECT_GT(down.kts, 100.0);
}

TEST_F(NewYorkJfkTypesTest, AHoverThatDriftedOneWayAndSetsOffTheOtherTurnsRoundNotBack)
{
    // N77NY as the App reported it (2019): five minutes in the hover, its
    // reports scattered 8-28 m about a spot drifting north-east, then away
    // south-west at 5-10 kt. Set off from the hover, it swings out to the side
    // of its way: it never flies straight back along the way it drifted.
    const auto reports = kvr::test::reportsFromFile("helicopter-hover-drift-kjfk.csv", 100.0);
    ASSERT_EQ(reports.size(), 36u);
    ASSERT_TRUE(playHelicopter(reports, 0xA77A77, "N77NY", "B407"));
    run(1000);
    const auto report = traceMotion(runways);
    ASSERT_EQ(report.objects.size(), 1u);
    const kvr::standin::MotionCounts& c = report.objects.begin()->second;
    EXPECT_GT(c.writes, 5000u);
    EXPECT_EQ(c.reversals, 0u);
    EXPECT_EQ(c.jumps, 0u);
}

TEST_F(NewYorkJfkTypesTest, ACreepToAReportOffTheNoseEndsWhereItIsNotSidewaysOntoIt)
{
    // AFR032, a B772, as the App reported it (2019): it lands on 22L and taxis
    // to a stop west of the terminals, creeping on at 2-12 kt in steps of the
    // reports' four decimals (8-14 m, west then north). Creeping along its
    // nose toward a report off it, it does not drive the last metres
    // sideways onto it: that near, the rest is the reports' scatter.
    const auto reports = kvr::test::reportsFromFile("taxi-creep-off-nose-kjfk.csv");
    ASSERT_EQ(reports.size(), 86u);
    ASSERT_EQ(playAs(reports, 0x3C032, "AFR032", "B772"), Category::Heavy);
    run(1000);
    const auto report = traceMotion(runways);
    ASSERT_GE(report.objects.size(), 1u);
    failOnAnyFinding(report);
}
