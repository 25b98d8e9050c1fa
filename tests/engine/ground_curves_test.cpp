// The two corner curves: the build rules of a GroundTurn as a table of
// statuses, and the constant-speed evaluation of both curves.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/geodesy.h"
#include "engine/ground_curves.h"

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
    // All three points in one place: no length, invalid.
    gf_buildGroundCurve(curve, {{kStart.latitude, kStart.longitude, 0.0}, {kStart.latitude, kStart.longitude, 0.0},
                                kStart, 1.0});
    EXPECT_FALSE(curve.valid());
}

} // namespace
