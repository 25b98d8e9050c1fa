// Runway matching and the three lookups on runways put into the table
// directly: directions and runner-ups, lateral and along limits, parallel
// runways, strict mode, thresholds and start altitudes.
#include <gtest/gtest.h>

#include <numbers>

#include "runways/runway_matching.h"
#include "runways/runway_table.h"
#include "tests/runways/runway_fixture.h"

namespace {

using kvr::test::syntheticRunway;

constexpr double kDeg = std::numbers::pi / 180.0;

// A point `east`/`north` metres from the synthetic airport's reference.
LatLon at(double east, double north)
{
    return kvr::test::syntheticPoint(east, north);
}

class RunwayMatchingTest : public ::testing::Test {
protected:
    void TearDown() override { gf_clearRunwayTable(); }
    void use(std::vector<RunwayRecord> runways) { runwayTable.runways = std::move(runways); }
};

TEST_F(RunwayMatchingTest, CentreOfTheRunwayAlongItsHeading)
{
    auto s = syntheticRunway(0, 0, 90.0, 3000, 45, 9, 0, 27, 0);
    s.primaryStart.altitude = 140.0; // within 50 ft: used
    s.secondaryStart.altitude = 300.0; // too far, not sloped: the centre
    use({s});
    const RunwayMatch m = lf_matchRunway(at(0, 0), 90.0 * kDeg, false, 75.0);
    ASSERT_TRUE(m.valid);
    EXPECT_EQ(m.runwayText, "09-27");
    EXPECT_EQ(m.endText, "09");
    EXPECT_NEAR(m.score, 0.0, 1e-6);
    EXPECT_NEAR(m.distanceFromStart, 1500.0, 1e-3);
    EXPECT_EQ(m.startWindow, 1200.0);
    EXPECT_EQ(m.startAltitude, 140.0);
    EXPECT_EQ(m.runnerUpText, "09-27:27");
    EXPECT_NEAR(m.runnerUpScore, 180.0, 1e-6);
    // The end ahead is the secondary end.
    EXPECT_DOUBLE_EQ(m.endLongitude, runwayTable.runways[0].secondaryLongitude);

    const RunwayMatch back = lf_matchRunway(at(-500, 0), 270.0 * kDeg, false, 75.0);
    ASSERT_TRUE(back.valid);
    EXPECT_EQ(back.endText, "27");
    EXPECT_EQ(back.endHeading, 270.0);
    EXPECT_NEAR(back.distanceFromStart, 2000.0, 0.5);
    EXPECT_NEAR(back.alongTrack, -500.0, 0.5);
    EXPECT_EQ(back.startAltitude, 120.0); // corrected to the centre
    EXPECT_DOUBLE_EQ(back.endLatitude, runwayTable.runways[0].primaryLatitude);
}

TEST_F(RunwayMatchingTest, LateralAndAlongLimits)
{
    use({syntheticRunway(0, 0, 90.0, 3000, 45, 9, 0, 27, 0)});
    // 40 m beside a 45 m runway: within max(52.5, 75) but not under the aircraft.
    EXPECT_TRUE(lf_matchRunway(at(0, 40), 90.0 * kDeg, false, 75.0).valid);
    EXPECT_NEAR(lf_matchRunway(at(0, 40), 90.0 * kDeg, false, 75.0).crossTrack, -40.0, 0.1);
    EXPECT_FALSE(gf_runwayUnderAircraft(at(0, 40), 90.0 * kDeg));
    EXPECT_TRUE(gf_runwayAtPosition(at(0, 40), 90.0 * kDeg));
    EXPECT_FALSE(gf_runwayAtPosition(at(0, 60), 90.0 * kDeg)); // beyond 22.5 + 30
    EXPECT_TRUE(gf_runwayUnderAircraft(at(0, 14), 90.0 * kDeg));
    EXPECT_FALSE(lf_matchRunway(at(0, 80), 90.0 * kDeg, false, 75.0).valid);
    EXPECT_TRUE(lf_matchRunway(at(0, 80), 90.0 * kDeg, false, 90.0).valid); // a wider minimum

    // Before the beginning on the extended centre line.
    const auto before600 = gf_runwayUnderAircraft(at(-2100, 0), 90.0 * kDeg);
    ASSERT_TRUE(before600);
    EXPECT_NEAR(before600->distanceFromStart, -600.0, 0.5);
    EXPECT_FALSE(lf_matchRunway(at(-2300, 0), 90.0 * kDeg, false, 75.0).valid); // 800 m before
    EXPECT_FALSE(gf_runwayUnderAircraft(at(-2300, 0), 90.0 * kDeg));

    // Heading more than 20 degrees off: a match, but no lookup.
    EXPECT_TRUE(lf_matchRunway(at(0, 0), 115.0 * kDeg, false, 75.0).valid);
    EXPECT_FALSE(gf_runwayNameAt(at(0, 0), 115.0 * kDeg));
    EXPECT_EQ(gf_runwayNameAt(at(0, 0), 105.0 * kDeg), "09");

    // Strict: only the beginning of the runway in each direction. 2700 m
    // from 09's start only 27 remains, even against the heading.
    EXPECT_EQ(lf_matchRunway(at(1200, 0), 90.0 * kDeg, false, 75.0).endText, "09");
    const RunwayMatch strict = lf_matchRunway(at(1200, 0), 90.0 * kDeg, true, 75.0);
    ASSERT_TRUE(strict.valid);
    EXPECT_EQ(strict.endText, "27");
    EXPECT_NEAR(strict.headingDifference, 180.0, 1e-9);
    EXPECT_TRUE(strict.runnerUpText.empty());
    EXPECT_FALSE(lf_matchRunway(at(0, 0), 90.0 * kDeg, true, 75.0).valid); // 1500 m in: past both windows
}

TEST_F(RunwayMatchingTest, InvalidInputsAndEmptyTable)
{
    EXPECT_FALSE(lf_matchRunway(at(0, 0), 0.0, false, 75.0).valid);
    use({syntheticRunway(0, 0, 90.0, 3000, 45, 9, 0, 27, 0)});
    EXPECT_FALSE(lf_matchRunway(at(0, 0), 2.0 * std::numbers::pi, false, 75.0).valid);
    EXPECT_FALSE(lf_matchRunway(at(0, 0), -0.01, false, 75.0).valid);
    EXPECT_FALSE(lf_matchRunway(at(0, 0), std::nan(""), false, 75.0).valid);
    EXPECT_FALSE(lf_matchRunway({0.0, 0.0}, 1.0, false, 75.0).valid);
    // A runway of the table that is not usable is passed over.
    runwayTable.runways[0].length = std::nan("");
    EXPECT_FALSE(lf_matchRunway(at(0, 0), 90.0 * kDeg, false, 75.0).valid);
}

TEST_F(RunwayMatchingTest, ParallelRunwaysNeedAClearRunnerUp)
{
    // 09L and 09R, 60 m wide, 120 m apart.
    use({syntheticRunway(0, 60, 90.0, 3000, 60, 9, 1, 27, 2), syntheticRunway(0, -60, 90.0, 3000, 60, 9, 2, 27, 1)});
    struct Case {
        double north;
        bool atPosition;
        bool name;
    } cases[] = {
        {14.0, true, true},   // 46 m from 09L, 74 m from 09R: gap 28
        {11.0, true, true},   // 49 / 71: gap 22
        {9.0, false, true},   // 51 / 69: gap 18
        {5.5, false, true},   // 54.5 / 65.5: gap 11
        {4.5, false, false},  // 55.5 / 64.5: gap 9
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.north);
        const RunwayMatch m = lf_matchRunway(at(0, c.north), 90.0 * kDeg, false, 75.0);
        ASSERT_TRUE(m.valid);
        EXPECT_EQ(m.endText, "09L");
        EXPECT_EQ(m.runnerUpText, "09R-27L:09R");
        EXPECT_EQ(gf_runwayAtPosition(at(0, c.north), 90.0 * kDeg).has_value(), c.atPosition);
        EXPECT_EQ(gf_runwayNameAt(at(0, c.north), 90.0 * kDeg).has_value(), c.name);
        EXPECT_FALSE(gf_runwayUnderAircraft(at(0, c.north), 90.0 * kDeg)); // more than 15 m off
    }
    // On 09L's centre line 09R is out of reach and the runner-up is 27R.
    const auto under = gf_runwayUnderAircraft(at(0, 60), 90.0 * kDeg);
    ASSERT_TRUE(under);
    EXPECT_EQ(under->runnerUpText, "09L-27R:27R");
}

TEST_F(RunwayMatchingTest, RunwayAcrossTheDateline)
{
    // The centre lies 200 m west of the 180th meridian; the aircraft 1000 m
    // east of the centre is on the other side.
    const LatLon centre = gf_destinationPoint({-16.7, 180.0}, {270.0 * kDeg, 200.0 * kvr::test::kFeetPerMetreT});
    use({kvr::test::makeRunway(centre.latitude, centre.longitude, 90.0, 3000, 45, 9, 0, 27, 0, 100.0)});
    const LatLon east = gf_destinationPoint(centre, {90.0 * kDeg, 1000.0 * kvr::test::kFeetPerMetreT});
    ASSERT_LT(east.longitude, 0.0);
    const RunwayMatch m = lf_matchRunway(east, 90.0 * kDeg, false, 75.0);
    ASSERT_TRUE(m.valid);
    EXPECT_NEAR(m.alongTrack, 1000.0, 1.0);
    EXPECT_NEAR(m.crossTrack, 0.0, 1.0);
}

TEST_F(RunwayMatchingTest, ThresholdLengthsCountOnlyWithinFortyPercent)
{
    auto s = syntheticRunway(0, 0, 90.0, 3000, 45, 9, 0, 27, 0);
    struct Case {
        double length; // below 0: disabled
        std::optional<double> pastThreshold;
    } cases[] = {
        {-1.0, 500.0}, {0.0, 500.0}, {300.0, 200.0}, {1200.0, -700.0}, {1201.0, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        s.primaryThreshold = {std::max(c.length, 0.0), 45.0, c.length >= 0.0};
        use({s});
        const RunwayMatch m = lf_matchRunway(at(-1000, 0), 90.0 * kDeg, false, 75.0);
        ASSERT_TRUE(m.valid);
        ASSERT_EQ(m.distancePastThreshold.has_value(), c.pastThreshold.has_value());
        EXPECT_EQ(gf_runwayAtPosition(at(-1000, 0), 90.0 * kDeg).has_value(), c.pastThreshold.has_value());
        if (c.pastThreshold) {
            EXPECT_NEAR(*m.distancePastThreshold, *c.pastThreshold, 0.5);
            EXPECT_NEAR(*m.lengthFromThreshold, 3000.0 - std::max(c.length, 0.0), 1e-9);
        }
    }
    runwayTable.runways[0].primaryThreshold = {std::nan(""), 45.0, true};
    EXPECT_FALSE(lf_matchRunway(at(-1000, 0), 90.0 * kDeg, false, 75.0).lengthFromThreshold);
}

} // namespace
