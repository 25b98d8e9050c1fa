// The engine's geometry set as tables of cases with known answers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/geodesy.h"
#include "engine/geometry.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const LatLon kHome{52.0, 4.0};
const double kCosHome = std::cos(52.0 * kDeg);

// The point north and east of kHome by the given nautical miles (flat).
LatLon offsetNm(double northNm, double eastNm)
{
    return {kHome.latitude + northNm / 60.0, kHome.longitude + eastNm / (60.0 * kCosHome)};
}

LatLon moveM(const LatLon& from, double bearingDeg, double metres)
{
    return gf_destinationPoint(from, {bearingDeg * kDeg, metres * 3.2808399});
}

TEST(GeometryTest, AirConflictClassification)
{
    struct Case {
        const char* what;
        double northNm, eastNm, altDiffFt, otherHeadingDeg;
        uint32_t mode, code, reason;
    };
    const Case cases[] = {
        {"close ahead", 0.5, 0.0, 0.0, 0.0, 0, 1, 0},
        {"beyond 4 NM", 4.1, 0.0, 0.0, 0.0, 2, 0, 1},
        {"1500 ft above", 0.5, 0.0, 1500.0, 0.0, 2, 0, 2},
        {"mode 0 above 300 ft", 0.5, 0.0, 500.0, 0.0, 0, 0, 0},
        {"mode 1 in lane", 0.5, 0.0, 500.0, 10.0, 1, 4, 0},
        {"mode 1 crossing", 0.5, 0.0, 500.0, 30.0, 1, 0, 3},
        {"mode 1 too far ahead", 1.0, 0.0, 500.0, 0.0, 1, 0, 6},
        {"mode 1 behind", -0.5, 0.0, 0.0, 0.0, 1, 0, 5},
        {"mode 1 wide", 0.4, 0.2, 500.0, 0.0, 1, 0, 7},
        {"behind in lane", -1.5, 0.0, 500.0, 0.0, 2, 2, 0},
        {"far behind", -2.0, 0.0, 0.0, 0.0, 2, 0, 4},
        {"ahead in lane", 1.0, 0.1, 0.0, 0.0, 2, 3, 0},
        {"ahead but wide", 1.0, 0.3, 0.0, 0.0, 2, 0, 7},
        {"too far ahead", 2.0, 0.0, 0.0, 0.0, 2, 0, 6},
        {"abeam", 0.0, 0.5, 0.0, 0.0, 2, 0, 5},
        {"converging", 1.0, 0.0, 0.0, 25.0, 2, 0, 3},
    };
    for (const Case& c : cases) {
        AirConflictInput in{kHome, offsetNm(c.northNm, c.eastNm), kCosHome, 0.0, c.otherHeadingDeg * kDeg,
                            10000.0, 10000.0 + c.altDiffFt, c.mode};
        const AirConflict r = gf_airConflictGeometry(in);
        EXPECT_EQ(r.code, c.code) << c.what;
        EXPECT_EQ(r.reason, c.reason) << c.what;
    }
    const AirConflict wide = gf_airConflictGeometry(
        {kHome, offsetNm(1.0, 0.1), kCosHome, 0.0, 0.0, 10000.0, 10000.0, 2});
    EXPECT_NEAR(wide.lateralFt, 0.1 * 6076.11549, 10.0);
    EXPECT_NEAR(wide.lateralLimitFt, 900.0 + 1900.0 * wide.distanceNm / 4.0, 1e-9);
}

TEST(GeometryTest, JumpPlausibility)
{
    const JumpPlausibility fast = gf_jumpPlausibility(1000.0, 2.0, 100.0, 0.0, Category::Light);
    EXPECT_TRUE(fast.implausible);
    EXPECT_NEAR(fast.neededTimeS, 9.719, 0.001); // at the allowed 200 kt
    EXPECT_NEAR(fast.impliedSpeedKt, 971.9, 0.1);
    EXPECT_FALSE(gf_jumpPlausibility(1000.0, 10.0, 100.0, 0.0, Category::Light).implausible);
    // The class bounds: a helicopter is held to 120 kt however slow, a fast jet to 1500 kt.
    EXPECT_NEAR(gf_jumpPlausibility(1000.0, 1.0, kNaN, -5.0, Category::Rotorcraft).neededTimeS, 1000.0 * 1.9438444924406046 / 120.0, 1e-9);
    EXPECT_NEAR(gf_jumpPlausibility(1000.0, 1.0, 1000.0, 0.0, Category::HighPerf).neededTimeS, 1000.0 * 1.9438444924406046 / 1500.0, 1e-9);
    EXPECT_NEAR(gf_jumpPlausibility(1000.0, 1.0, 0.0, 300.0, static_cast<Category>(9)).neededTimeS, 1000.0 * 1.9438444924406046 / 600.0, 1e-9);
    // No time at all: infinite implied speed, but a jump of a metre or less is never implausible.
    EXPECT_TRUE(std::isinf(gf_jumpPlausibility(0.5, 0.0, 0.0, 0.0, Category::Light).impliedSpeedKt));
    EXPECT_FALSE(gf_jumpPlausibility(0.5, 0.0, 0.0, 0.0, Category::Light).implausible);
    EXPECT_EQ(gf_jumpPlausibility(kNaN, 0.0, 0.0, 0.0, Category::Light).impliedSpeedKt, 0.0);
}

TEST(GeometryTest, GlidePlanner)
{
    // 140 ft above the gear height at the threshold, sinking 500 fpm: aim 600 m in.
    GlideInput in{-500.0, 150.0, 10.0, 0.0, 2000.0, 140.0, -500.0, -100.0, -500.0, true};
    GlidePlan p = gf_glidePlanner(in);
    EXPECT_TRUE(p.limited);
    EXPECT_NEAR(p.aimPointM, 600.0, 1e-9);
    EXPECT_NEAR(p.verticalSpeedFpm, -140.0 * 60.0 / (600.0 / (140.0 * 0.5144444444444445)), 1e-6);

    // Steep enough already to reach the gear height within the window: unchanged.
    in.verticalSpeedFpm = -1500.0;
    p = gf_glidePlanner(in);
    EXPECT_FALSE(p.limited);
    EXPECT_EQ(p.verticalSpeedFpm, -1500.0);

    // The samples show a climb (go-around): unchanged.
    GlideInput climb{-500.0, 150.0, 10.0, 0.0, 2000.0, 140.0, 500.0, 500.0, 100.0, true};
    EXPECT_FALSE(gf_glidePlanner(climb).limited);

    // Slow and high: the rate is held at -1200 fpm.
    GlideInput slow{-100.0, 260.0, 10.0, 500.0, 2000.0, 30.0, 0.0, 0.0, 0.0, false};
    p = gf_glidePlanner(slow);
    EXPECT_TRUE(p.limited);
    EXPECT_EQ(p.verticalSpeedFpm, -1200.0);
    EXPECT_EQ(p.aimPointM, 600.0);

    // Out of the planner's range: too high, past the runway, no runway.
    for (GlideInput bad : {GlideInput{-100.0, 300.0, 10.0, 0.0, 2000.0, 140.0, 0, 0, 0, false},
                           GlideInput{-100.0, 150.0, 10.0, 2000.0, 2000.0, 140.0, 0, 0, 0, false},
                           GlideInput{-100.0, 150.0, 10.0, 0.0, 0.0, 140.0, 0, 0, 0, false},
                           GlideInput{kNaN, 150.0, 10.0, 0.0, 2000.0, 140.0, 0, 0, 0, false}}) {
        const GlidePlan q = gf_glidePlanner(bad);
        EXPECT_FALSE(q.limited);
        EXPECT_EQ(q.aimPointM, bad.alongPastThresholdM);
    }
}

TEST(GeometryTest, DescentWindow)
{
    EXPECT_TRUE(gf_descentWindow({100.0, 200.0, {1500.0, 20.0, 10.0}, 50.0}));
    EXPECT_TRUE(gf_descentWindow({-60.0, -50.0, {1001.0, 10.0, 10.0}, 50.0})); // b exactly d behind zero
    for (DescentWindowInput bad : {DescentWindowInput{200.0, 200.0, {1500.0, 20.0, 10.0}, 50.0},  // b not past a
                                   DescentWindowInput{-90.0, -60.0, {1500.0, 20.0, 10.0}, 50.0},  // b too far behind
                                   DescentWindowInput{100.0, 200.0, {1000.0, 20.0, 10.0}, 50.0},  // c0 not above 1000
                                   DescentWindowInput{100.0, 200.0, {1500.0, 10.0, 20.0}, 50.0},  // c1 below c2
                                   DescentWindowInput{100.0, 200.0, {1500.0, 20.0, 10.0}, 0.0},   // d not positive
                                   DescentWindowInput{kNaN, 200.0, {1500.0, 20.0, 10.0}, 50.0}})
        EXPECT_FALSE(gf_descentWindow(bad));
}

TEST(GeometryTest, OffsetTowardLine)
{
    // A point 1000 m along a line heading 090 and 40 m to its right (south): a
    // fraction of 0.25 leaves 10 m of the offset.
    const LatLon q = moveM(moveM(kHome, 90.0, 1000.0), 180.0, 40.0);
    LineOffset o = gf_offsetTowardLine(kHome, q, kPi / 2, 10.0 * kDeg, 100.0, 0.25);
    ASSERT_TRUE(o.ok);
    EXPECT_NEAR(o.acrossM, 40.0, 0.05);
    EXPECT_NEAR(o.relativeAngle, std::atan2(40.0, 1000.0), 1e-4);
    const RelativePosition r = gf_relativePosition(kHome, kPi / 2, o.position);
    EXPECT_NEAR(r.alongM, 1000.0, 0.05);
    EXPECT_NEAR(r.acrossM, 10.0, 0.05);
    EXPECT_NEAR(o.bearing, gf_initialBearing(kHome, o.position), 1e-12);
    // To the left the result stays on the left; a fraction of 0 lands on the line.
    o = gf_offsetTowardLine(kHome, moveM(moveM(kHome, 90.0, 1000.0), 0.0, 40.0), kPi / 2, 10.0 * kDeg, 100.0, 0.0);
    ASSERT_TRUE(o.ok);
    EXPECT_NEAR(gf_relativePosition(kHome, kPi / 2, o.position).acrossM, 0.0, 0.05);
    EXPECT_NEAR(o.acrossM, -40.0, 0.05);

    // Behind p, beyond the angle, too far across, a bad fraction or heading, or p = q: q itself, not ok.
    const LatLon behind = moveM(kHome, 270.0, 500.0);
    const LatLon wide = moveM(moveM(kHome, 90.0, 100.0), 180.0, 40.0);
    struct Case {
        LatLon p, q;
        double heading, maxAngle, maxAcross, fraction;
    };
    for (const Case& c : {Case{kHome, behind, kPi / 2, 10.0 * kDeg, 100.0, 0.5},
                          Case{kHome, wide, kPi / 2, 10.0 * kDeg, 100.0, 0.5},
                          Case{kHome, q, kPi / 2, 10.0 * kDeg, 30.0, 0.5},
                          Case{kHome, q, kPi / 2, 10.0 * kDeg, 100.0, 1.5},
                          Case{kHome, q, 2 * kPi, 10.0 * kDeg, 100.0, 0.5},
                          Case{kHome, q, kPi / 2, 0.0, 100.0, 0.5}}) {
        o = gf_offsetTowardLine(c.p, c.q, c.heading, c.maxAngle, c.maxAcross, c.fraction);
        EXPECT_FALSE(o.ok);
        EXPECT_EQ(o.position.latitude, c.q.latitude);
        EXPECT_NEAR(o.bearing, gf_initialBearing(c.p, c.q), 1e-12);
    }
    o = gf_offsetTowardLine(kHome, kHome, 1.0, 10.0 * kDeg, 100.0, 0.5);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.bearing, 1.0);
}

TEST(GeometryTest, TurnPlannerBank)
{
    constexpr double kMaxBank = 30.0 * kDeg;
    // A right turn at 200 kt: the rate is bounded by the 30 degree bank and the bank by its rate.
    BankInput in{0.0, kPi / 2, 0.0, 0.0, false, 200.0, 2.0, 1.0, 0.1, kMaxBank, 0.05};
    BankCommand c = gf_bankForHeading(in);
    const double v = 200.0 * 0.5144444444444445;
    EXPECT_NEAR(c.turnRate, std::tan(kMaxBank) * 9.80665 / v, 1e-12);
    EXPECT_NEAR(c.commandedBank, -kMaxBank, 1e-12); // right turns bank negative
    EXPECT_EQ(c.bankRate, -0.05);
    EXPECT_EQ(c.hold, 0u);

    in.targetHeading = 2 * kPi - kPi / 2; // the short way is left
    c = gf_bankForHeading(in);
    EXPECT_LT(c.turnRate, 0.0);
    EXPECT_NEAR(c.commandedBank, kMaxBank, 1e-12);

    // Hold a given bank; a bank beyond 90 degrees is refused and the normal rule applies.
    in.hold = true;
    in.holdBank = 0.2;
    c = gf_bankForHeading(in);
    EXPECT_EQ(c.hold, 1u);
    EXPECT_EQ(c.commandedBank, 0.2);
    EXPECT_EQ(c.bankRate, 0.05);
    in.holdBank = 2.0;
    c = gf_bankForHeading(in);
    EXPECT_EQ(c.hold, 0u);
    EXPECT_EQ(c.holdRefused, 1u);
    EXPECT_NEAR(c.commandedBank, kMaxBank, 1e-12);

    // Standing still: the bank follows the heading error directly; a wild current bank is limited.
    BankInput slow{0.0, 0.1, 1.0, 0.0, false, 1.0, 2.0, 1.0, 0.1, kMaxBank, 0.05};
    c = gf_bankForHeading(slow);
    EXPECT_EQ(c.currentBankLimited, kMaxBank);
    EXPECT_NEAR(c.commandedBank, -0.1, 1e-12);
    EXPECT_NEAR(c.turnRate, 0.05, 1e-12);

    slow.t1 = 0.0;
    c = gf_bankForHeading(slow);
    EXPECT_EQ(c.commandedBank, 0.0);
    EXPECT_EQ(c.currentBankLimited, 0.0);
}

TEST(GeometryTest, BankLimitNearGround)
{
    const double b = 30.0 * kDeg;
    EXPECT_NEAR(gf_maxBankNearGround(b, true, 550.0, false), 20.0 * kDeg, 1e-12);
    EXPECT_NEAR(gf_maxBankNearGround(b, true, 50.0, false), 10.0 * kDeg, 1e-12);
    EXPECT_NEAR(gf_maxBankNearGround(b, true, 2000.0, true), 5.0 * kDeg, 1e-12);
    EXPECT_EQ(gf_maxBankNearGround(b, true, kNaN, true), b);
    EXPECT_EQ(gf_maxBankNearGround(2.0, false, 0.0, false), kPi / 2);
    EXPECT_EQ(gf_maxBankNearGround(kNaN, false, 0.0, false), 0.0);
}

TEST(GeometryTest, FlightCurvePoint)
{
    const LatLon p1{52.05, 4.0}; // about 5.6 km north
    // Starting along the chord: a straight line.
    FlightCurvePoint c = gf_flightCurvePoint(kHome, p1, 0.0, 10.0 * kDeg, 0.5);
    ASSERT_TRUE(c.ok);
    EXPECT_FALSE(c.curved);
    EXPECT_NEAR(c.position.latitude, 52.025, 1e-9);
    EXPECT_NEAR(c.position.longitude, 4.0, 1e-9);

    // Starting 20 degrees right, allowed 10: curved, leaves at 10 degrees, bulges east, ends on p1 along the chord.
    c = gf_flightCurvePoint(kHome, p1, 20.0 * kDeg, 10.0 * kDeg, 0.0);
    ASSERT_TRUE(c.ok && c.curved);
    EXPECT_NEAR(c.heading, 10.0 * kDeg, 1e-3);
    c = gf_flightCurvePoint(kHome, p1, 20.0 * kDeg, 10.0 * kDeg, 0.5);
    const double eastM = (c.position.longitude - 4.0) * 111319.49 * std::cos(52.025 * kDeg);
    EXPECT_NEAR(eastM, 0.125 * 0.05 * 111319.49 * std::sin(10.0 * kDeg), 1.0);
    c = gf_flightCurvePoint(kHome, p1, 20.0 * kDeg, 10.0 * kDeg, 1.0);
    EXPECT_NEAR(c.position.latitude, p1.latitude, 1e-12);
    EXPECT_NEAR(c.position.longitude, p1.longitude, 1e-12);
    EXPECT_NEAR(c.heading, 0.0, 1e-6);

    // Pointing away (more than 90 degrees off) or a tiny allowance: no curve.
    EXPECT_FALSE(gf_flightCurvePoint(kHome, p1, 120.0 * kDeg, 10.0 * kDeg, 0.5).curved);
    EXPECT_FALSE(gf_flightCurvePoint(kHome, p1, 20.0 * kDeg, 0.4 * kDeg, 0.5).curved);

    // Under 10 m: linear, heading 0; across the date line the short way.
    const LatLon near = moveM(kHome, 0.0, 5.0);
    c = gf_flightCurvePoint(kHome, near, 1.0, 1.0, 2.0);
    ASSERT_TRUE(c.ok);
    EXPECT_NEAR(c.position.latitude, near.latitude, 1e-12);
    EXPECT_EQ(c.heading, 0.0);
    c = gf_flightCurvePoint({10.0, 179.99}, {10.0, -179.99}, kPi / 2, 0.1, 0.5);
    ASSERT_TRUE(c.ok);
    EXPECT_NEAR(std::fabs(c.position.longitude), 180.0, 1e-6);

    EXPECT_FALSE(gf_flightCurvePoint({0.0, 0.0}, p1, 0.0, 0.1, 0.5).ok);
}

TEST(GeometryTest, SmallRules)
{
    LatLon p{91.0, 10.0};
    gf_normalizeLatLon(p);
    EXPECT_NEAR(p.latitude, 89.0, 1e-12);
    EXPECT_NEAR(p.longitude, -170.0, 1e-12);
    const RelativePosition close = gf_relativePosition(kHome, 0.0, moveM(kHome, 90.0, 0.05));
    EXPECT_NEAR(close.distanceM, 0.05, 1e-4);
    EXPECT_EQ(close.acrossM, 0.0);
    EXPECT_EQ(gf_ease(1.4, 3), 1.0);
    EXPECT_EQ(gf_stepToward(kNaN, kNaN, 1.0), 0.0);
    EXPECT_EQ(gf_stepToward(5.0, kNaN, 1.0), 5.0);
    EXPECT_EQ(gf_stepToward(0.0, 10.0, 2.0), 2.0);
    // The descent filter: 1200 fpm below the mean of the first two recent rates, never below the floor.
    const std::vector<double> recent{-800.0, -1000.0, -9999.0};
    EXPECT_EQ(gf_limitDescentVs(-2500.0, recent, Category::Large).value, -2100.0);
    EXPECT_EQ(gf_limitDescentVs(-5000.0, std::vector<double>{-3000.0, kNaN}, Category::HighPerf).value, -3600.0);
    const std::vector<SpeedPoint> rise{{30.0, 0}, {45.0, 100}, {62.0, 200}};
    EXPECT_EQ(gf_findSpeedRise(rise, 50.0).index, 2u);
    const std::vector<SpeedPoint> slowRise{{30.0, 0}, {45.0, 100}, {62.0, 2200}};
    EXPECT_FALSE(gf_findSpeedRise(slowRise, 50.0).found);
}

} // namespace
