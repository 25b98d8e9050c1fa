// The motion checker's rules on short hand-made traces, one case per rule.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include <fmt/format.h>

#include "standins/trace_check.h"

using kvr::standin::gf_checkTraceMotion;
using kvr::standin::MotionCounts;

namespace {

struct Pos {
    double northM = 0.0, eastM = 0.0, alt = 0.0, hdg = 0.0, kts = 0.0, gnd = 0.0;
    bool onGround = true;
};

// `seconds` of position writes at 30 frames a second, each from `at(t)`.
MotionCounts lf_run(double seconds, const std::function<Pos(double)>& at)
{
    std::string text = R"({"k":"create","f":0,"t":0,"id":7,"tail":"PH-BXA"})" "\n";
    for (int f = 0; f <= static_cast<int>(seconds * 30); ++f) {
        const double t = f / 30.0;
        const Pos p = at(t);
        const double lat = 52.3 + p.northM / 1852.0 / 60.0;
        const double lon = 4.7 + p.eastM / 1852.0 / 60.0 / std::cos(52.3 * 3.14159265358979 / 180.0);
        text += fmt::format(R"({{"k":"pos","f":{},"t":{},"id":7,"lat":{},"lon":{},"alt_ft":{},"hdg":{},"kts":{},"gnd_ft":{},"on_ground":{}}})"
                            "\n",
                            f, t, lat, lon, p.alt, p.hdg, p.kts, p.gnd, p.onGround);
    }
    std::istringstream in(text);
    const auto report = gf_checkTraceMotion(in);
    EXPECT_EQ(report.tails.at(7), "PH-BXA");
    return report.objects.at(7);
}

constexpr double kMs10 = 10.0 * 1852.0 / 3600.0; // 10 kt in m/s

TEST(TraceCheck, AStraightTaxiIsCleanAndASingleDisplacedWriteIsTwoJumps)
{
    const auto taxi = [](double t) { return Pos{t * kMs10, 0.0, 0.0, 0.0, 10.0}; };
    EXPECT_TRUE(lf_run(5.0, taxi).clean());
    const MotionCounts c = lf_run(5.0, [&](double t) {
        Pos p = taxi(t);
        if (std::abs(t - 2.5) < 1e-6)
            p.eastM += 60.0; // 60 m aside and back, at 10 kt
        return p;
    });
    EXPECT_EQ(c.jumps, 2u);
}

TEST(TraceCheck, MovingSidewaysOnTheGroundSlidesButPushBackDoesNot)
{
    EXPECT_GT(lf_run(3.0, [](double t) { return Pos{t * kMs10, 0.0, 0.0, 90.0, 10.0}; }).slides, 0u);
    const MotionCounts push = lf_run(3.0, [](double t) { return Pos{-t * 1.5, 0.0, 0.0, 0.0, 3.0}; });
    EXPECT_EQ(push.slides, 0u);
    EXPECT_EQ(push.reversals, 0u);
    // Slow ground movement and flight are not judged.
    EXPECT_EQ(lf_run(3.0, [](double t) { return Pos{t * 2.0, 0.0, 0.0, 90.0, 4.0}; }).slides, 0u);
    EXPECT_EQ(lf_run(3.0, [](double t) { return Pos{t * kMs10, 0.0, 500.0, 60.0, 10.0, 0.0, false}; }).slides, 0u);
}

TEST(TraceCheck, WritesBelowTheGroundAreCountedOneByOne)
{
    const MotionCounts c = lf_run(1.0, [](double t) { return Pos{0.0, 0.0, t < 0.5 ? 10.0 : 9.5, 0.0, 0.0, 10.0}; });
    EXPECT_EQ(c.belowGround, 16u); // frames 15..30
}

TEST(TraceCheck, ADirectionFlipIsAReversal)
{
    // Airborne: north for two seconds, then straight back south.
    const MotionCounts c = lf_run(4.0, [](double t) {
        const double north = t < 2.0 ? t * 60.0 : (4.0 - t) * 60.0;
        return Pos{north, 0.0, 1000.0, 0.0, 117.0, 0.0, false};
    });
    EXPECT_EQ(c.reversals, 1u);
}

TEST(TraceCheck, TurnRatesHaveTheirLimitsInTheAirAndOnTheGround)
{
    const auto turning = [](double rate, bool onGround) {
        return lf_run(4.0, [=](double t) { return Pos{0.0, 0.0, onGround ? 0.0 : 3000.0, rate * t, 0.0, 0.0, onGround}; });
    };
    EXPECT_EQ(turning(5.0, false).fastTurns, 0u);
    EXPECT_GT(turning(8.0, false).fastTurns, 0u);
    EXPECT_EQ(turning(25.0, true).fastTurns, 0u);
    EXPECT_GT(turning(40.0, true).fastTurns, 0u);
}

} // namespace
