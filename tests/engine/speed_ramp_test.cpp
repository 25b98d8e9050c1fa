// Speed ramps: built and planned ramps never run backwards and keep their limits.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/speed_ramp.h"

namespace {

// The distance covered at fraction u (the curve that the motion code evaluates).
double distanceAt(const SpeedRamp& r, double u)
{
    return (u * u * u - 2 * u * u + u) * r.duration * r.startSpeed + (3 * u * u - 2 * u * u * u) * r.length +
           (u * u * u - u * u) * r.duration * r.endSpeed;
}

TEST(SpeedRampTest, ConstantSpeedLeg)
{
    const SpeedRamp r = lf_buildRamp(100.0, 10.0, 10.0, 10.0);
    ASSERT_TRUE(r.valid);
    for (double t : {0.0, 2.5, 5.0, 9.9, 10.0, 50.0})
        EXPECT_NEAR(lf_rampSpeed(r, t), 10.0, 1e-12) << t;
    EXPECT_EQ(lf_rampExtremeFraction(r), -1.0);
    EXPECT_EQ(lf_rampMinSpeed(r), 10.0);
    EXPECT_EQ(lf_rampMaxSpeed(r), 10.0);
}

TEST(SpeedRampTest, TooFastAStartIsReducedAndRefusedByThePlan)
{
    const SpeedRamp r = lf_buildRamp(100.0, 10.0, 40.0, 0.0);
    ASSERT_TRUE(r.valid);
    EXPECT_NEAR(r.startSpeed, 30.0, 1e-12);
    EXPECT_EQ(r.endSpeed, 0.0);
    SpeedRamp planned;
    EXPECT_FALSE(lf_planRamp(100.0, 10.0, 40.0, 0.0, 100.0, planned));
    EXPECT_FALSE(planned.valid);
}

TEST(SpeedRampTest, InvalidInputsAndFractions)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    for (const SpeedRamp& r : {lf_buildRamp(100.0, 0.0, 1.0, 1.0), lf_buildRamp(100.0, 10.0, kInf, 1.0)}) {
        EXPECT_FALSE(r.valid);
        EXPECT_EQ(lf_rampSpeed(r, 1.0), 0.0);
    }
    const SpeedRamp r = lf_buildRamp(100.0, 10.0, 5.0, 15.0);
    EXPECT_EQ(lf_rampFraction(r, kInf), 1.0);
    EXPECT_EQ(lf_rampFraction(r, kNaN), 0.0);
    EXPECT_EQ(lf_rampFraction(r, 2.5), 0.25);
}

TEST(SpeedRampTest, DistanceNeverRunsBackwards)
{
    // Wanted speeds far beyond the mean speed included: the limit keeps the curve monotone.
    for (double start : {0.0, 3.0, 10.0, 25.0, 40.0, 90.0}) {
        for (double end : {0.0, 5.0, 10.0, 30.0, 80.0}) {
            const SpeedRamp r = lf_buildRamp(100.0, 10.0, start, end);
            ASSERT_TRUE(r.valid);
            double previous = 0.0;
            for (int i = 1; i <= 200; ++i) {
                const double s = distanceAt(r, i / 200.0);
                EXPECT_GE(s, previous - 1e-9) << start << " -> " << end << " at " << i;
                previous = s;
            }
            EXPECT_NEAR(previous, 100.0, 1e-9);
            EXPECT_GE(lf_rampMinSpeed(r), 0.0);
        }
    }
}

TEST(SpeedRampTest, PlanKeepsTheStartSpeedAndRaisesAnEndThatWouldBrake)
{
    // 5 -> 0 over a 10 m/s leg would brake at the end: the end becomes 15.
    SpeedRamp r;
    ASSERT_TRUE(lf_planRamp(100.0, 10.0, 5.0, 0.0, 50.0, r));
    EXPECT_EQ(r.startSpeed, 5.0);
    EXPECT_NEAR(r.endSpeed, 15.0, 1e-12);
    for (double t = 0.0; t < 10.0; t += 0.5)
        EXPECT_LE(lf_rampSpeed(r, t), lf_rampSpeed(r, t + 0.5) + 1e-12) << t;
    EXPECT_FALSE(lf_planRamp(100.0, 10.0, 5.0, 0.0, 12.0, r)); // 15 is above the limit

    // Accelerating from 8 to 14 stays within the limit at once.
    ASSERT_TRUE(lf_planRamp(100.0, 10.0, 8.0, 14.0, 20.0, r));
    EXPECT_EQ(r.endSpeed, 14.0);
    EXPECT_LE(lf_rampMaxSpeed(r), 20.0);
}

} // namespace
