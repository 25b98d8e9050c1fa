// The motion checker's rules on short hand-made traces, one case per rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <functional>
#include <numbers>
#include <sstream>

#include <fmt/format.h>

#include "standins/trace_check.h"
#include "standins/trace_summary.h"

using kvr::standin::gf_checkTraceMotion;
using kvr::standin::gf_motionTable;
using kvr::standin::MotionCounts;

namespace {

struct Pos {
    double northM = 0.0, eastM = 0.0, alt = 0.0, hdg = 0.0, kts = 0.0, gnd = 0.0;
    bool onGround = true;
};

// How a hand-made trace is written besides its moves.
struct TraceForm {
    double framesPerSecond = 30.0;
    std::string category;   // the create line's, when given
    double removedAt = -1.0; // a remove line at this time, when not negative
    std::string removedBy = "client";
    double closedAt = -1.0; // the link closes at this time, the writes end, when not negative
    bool writesAfterRemoval = true; // the object's writes go on past its removal
    double jitterS = 0.0; // each write's time off by up to this much, alternately early and late
};
TraceForm lf_frames(double framesPerSecond, double jitterS = 0.0)
{
    TraceForm f;
    f.framesPerSecond = framesPerSecond;
    f.jitterS = jitterS;
    return f;
}
TraceForm lf_category(const std::string& category)
{
    TraceForm f;
    f.category = category;
    return f;
}
TraceForm lf_removed(double at, const std::string& by = "client", double closedAt = -1.0, bool writesAfter = true)
{
    TraceForm f;
    f.removedAt = at;
    f.removedBy = by;
    f.closedAt = closedAt;
    f.writesAfterRemoval = writesAfter;
    return f;
}

// `seconds` of position writes at `form.framesPerSecond`, each from `at(t)`
// (metres from 52.3 N 4.7 E), judged against `runways`.
MotionCounts lf_run(double seconds, const std::function<Pos(double)>& at,
                    const std::vector<kvr::standin::RunwayGeometry>& runways = {}, const TraceForm& form = {})
{
    std::string text = R"({"k":"create","f":0,"t":0,"id":7,"tail":"PH-BXA")" +
                       (form.category.empty() ? std::string() : fmt::format(R"(,"category":"{}")", form.category)) + "}\n";
    bool removed = false;
    for (int f = 0; f <= static_cast<int>(seconds * form.framesPerSecond); ++f) {
        const double t = f / form.framesPerSecond;
        if (!removed && form.removedAt >= 0.0 && t > form.removedAt) {
            text += fmt::format(R"({{"k":"remove","f":{},"t":{},"id":7,"by":"{}"}})" "\n", f, form.removedAt, form.removedBy);
            removed = true;
        }
        if (form.closedAt >= 0.0 && t > form.closedAt) {
            text += fmt::format(R"({{"k":"close","f":{},"t":{},"connection":0}})" "\n", f, form.closedAt);
            break;
        }
        if (removed && !form.writesAfterRemoval)
            continue;
        const Pos p = at(t);
        const double lat = 52.3 + p.northM / 1852.0 / 60.0;
        const double lon = 4.7 + p.eastM / 1852.0 / 60.0 / std::cos(52.3 * 3.14159265358979 / 180.0);
        text += fmt::format(R"({{"k":"pos","f":{},"t":{},"id":7,"lat":{},"lon":{},"alt_ft":{},"hdg":{},"kts":{},"gnd_ft":{},"on_ground":{}}})"
                            "\n",
                            f, t + (f % 2 ? form.jitterS : -form.jitterS), lat, lon, p.alt, p.hdg, p.kts, p.gnd,
                            p.onGround);
    }
    std::istringstream in(text);
    const auto report = gf_checkTraceMotion(in, runways);
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
    // Sideways at walking pace is a slide, an arc along the turning nose is
    // not; a creep and flight are not judged.
    EXPECT_GT(lf_run(3.0, [](double t) { return Pos{t * 2.0, 0.0, 0.0, 90.0 - 10.0 * t, 4.0}; }).slides, 0u);
    const auto arc = [](double t) {
        // A tight turn, 29 degrees a second: each move of 2 m turns the
        // heading 80 degrees.
        const double r = 1.5, turned = 0.5 * t;
        return Pos{r * std::sin(turned), r * (1.0 - std::cos(turned)), 0.0, turned * 180.0 / 3.14159265358979, 3.0};
    };
    EXPECT_EQ(lf_run(6.0, arc).slides, 0u);
    EXPECT_EQ(lf_run(4.0, [](double t) { return Pos{t * 0.75, 0.0, 0.0, 90.0, 1.5}; }).slides, 0u);
    EXPECT_EQ(lf_run(3.0, [](double t) { return Pos{t * kMs10, 0.0, 500.0, 60.0, 10.0, 0.0, false}; }).slides, 0u);
}

TEST(TraceCheck, RollingBackwardsOutsideAPushBackIsCounted)
{
    // Rolling on after a landing, then backwards at 30 kt: no push-back.
    const double fast = 3.0 * kMs10;
    const MotionCounts roll = lf_run(6.0, [=](double t) {
        const double north = t < 3.0 ? t * fast : (6.0 - t) * fast;
        return Pos{north, 0.0, 0.0, 0.0, 30.0};
    });
    EXPECT_GT(roll.backwards, 0u);
    EXPECT_GT(roll.slides, 0u);
    // From a stop at 3 kt is a push-back, and so is going on with it.
    EXPECT_EQ(lf_run(6.0, [](double t) { return Pos{t < 2.0 ? 0.0 : -(t - 2.0) * 1.5, 0.0, 0.0, 0.0, 3.0}; }).backwards,
              0u);
    // Slow backwards straight after rolling forward is not.
    EXPECT_GT(lf_run(6.0, [](double t) {
                  const double north = t < 3.0 ? t * 3.0 : (6.0 - t) * 3.0;
                  return Pos{north, 0.0, 0.0, 0.0, 6.0};
              }).backwards,
              0u);
}

TEST(TraceCheck, AMoveAfterAStandIsMeasuredFromWhereTheAircraftStood)
{
    // 1.5 m north, a stand turning to 090, then east at 10 kt: no slide,
    // however the metres before the stop and after it add up.
    const auto turnAfterStop = [](double hdgAfter) {
        return lf_run(14.0, [=](double t) {
            if (t < 1.0)
                return Pos{1.5 * t, 0.0, 0.0, 0.0, 3.0};
            if (t < 10.0)
                return Pos{1.5, 0.0, 0.0, std::min(90.0, (t - 1.0) * 20.0), 0.0};
            return Pos{1.5, (t - 10.0) * kMs10, 0.0, hdgAfter, 10.0};
        });
    };
    EXPECT_TRUE(turnAfterStop(90.0).clean());
    EXPECT_GT(turnAfterStop(0.0).slides, 0u); // driving east with the nose north still slides
    // Back the way it came after a stand is still a reversal.
    const MotionCounts back = lf_run(14.0, [](double t) {
        if (t < 4.0)
            return Pos{t * kMs10, 0.0, 0.0, 0.0, 10.0};
        if (t < 10.0)
            return Pos{4.0 * kMs10, 0.0, 0.0, std::min(180.0, (t - 4.0) * 30.0), 0.0};
        return Pos{(14.0 - t) * kMs10, 0.0, 0.0, 180.0, 10.0};
    });
    EXPECT_EQ(back.reversals, 1u);
    EXPECT_EQ(back.slides, 0u);
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
    EXPECT_EQ(turning(8.0, false).groundFastTurns, 0u);
    EXPECT_EQ(turning(25.0, true).fastTurns, 0u);
    EXPECT_GT(turning(40.0, true).fastTurns, 0u);
    EXPECT_EQ(turning(40.0, true).groundFastTurns, turning(40.0, true).fastTurns);
    // At speed on the ground the tyres allow less: 3 m/s² sideways is
    // 11°/s at 30 kt, 2.6°/s at 130 kt.
    const auto rolling = [](double rate, double kts) {
        return lf_run(4.0, [=](double t) {
            const double a = rate * t * std::numbers::pi / 180.0, r = kts * 1852.0 / 3600.0 / (rate * std::numbers::pi / 180.0);
            return Pos{r * std::sin(a), r * (1.0 - std::cos(a)), 0.0, rate * t, kts};
        });
    };
    EXPECT_EQ(rolling(10.0, 30.0).fastTurns, 0u);
    EXPECT_GT(rolling(13.0, 30.0).fastTurns, 0u);
    EXPECT_GT(rolling(5.0, 130.0).fastTurns, 0u);
}

// A take-off roll on runway 36 (north from the origin, 3000 m by 45 m) that
// starts `eastM` off its centre line, its heading `hdg`, and lifts off
// 1225 m north. Its published length may fall short of the `endsM` between
// its published ends.
kvr::standin::MotionReport lf_takeOff(double eastM, double hdg, double lengthM = 3000.0, double endsM = 3000.0)
{
    std::string text;
    for (int f = 0; f <= 40 * 10; ++f) {
        const double t = f / 10.0, kts = 4.0 * t, north = 1.0 * t * t; // 4 kt/s is about 2 m/s²
        const double lat = 52.3 + north / 1852.0 / 60.0;
        const double lon = 4.7 + eastM / 1852.0 / 60.0 / std::cos(52.3 * std::numbers::pi / 180.0);
        text += fmt::format(R"({{"k":"pos","f":{},"t":{},"id":7,"lat":{},"lon":{},"alt_ft":{},"hdg":{},"kts":{},"gnd_ft":0,"on_ground":{}}})"
                            "\n",
                            f, t, lat, lon, kts > 140.0 ? 50.0 : 0.0, hdg, kts, kts <= 140.0);
    }
    const kvr::standin::RunwayGeometry r36{"EHAM", lengthM / 0.3048, 45.0 / 0.3048,
                                           {"36", {52.3, 4.7}, 0.0, 0.0, 0.0}, {"18", {52.3 + endsM / 1852.0 / 60.0, 4.7}, 0.0, 180.0, 0.0}};
    std::istringstream in(text);
    return gf_checkTraceMotion(in, {r36});
}

TEST(TraceCheck, ATakeOffRollOffTheRunwayOrNotLinedUpIsCounted)
{
    EXPECT_EQ(lf_takeOff(0.0, 0.0).total.offRunwayTakeOffs, 0u);
    EXPECT_TRUE(lf_takeOff(0.0, 0.0).findings.empty());
    // The finding names the roll's first write off a runway: its start.
    // (Across the apron it is a dash off the runways as well.)
    auto across = lf_takeOff(120.0, 0.0).findings.at(7);
    std::erase_if(across, [](const auto& f) { return f.kind == "off-runway dash"; });
    ASSERT_EQ(across.size(), 1u);
    EXPECT_EQ(across[0].kind, "off-runway take-off");
    EXPECT_NEAR(across[0].t, 7.6, 0.05); // the first write above 30 kt
    EXPECT_TRUE(across[0].onGround);
    EXPECT_EQ(lf_takeOff(30.0, 0.0).total.offRunwayTakeOffs, 0u); // on its edge
    EXPECT_EQ(lf_takeOff(120.0, 0.0).total.offRunwayTakeOffs, 1u); // across the apron
    EXPECT_EQ(lf_takeOff(0.0, 35.0).total.offRunwayTakeOffs, 1u);  // not lined up
    // Published as 1000 m long: between ends 3000 m apart the roll stays on
    // it, between ends 1000 m apart it runs off its end.
    EXPECT_EQ(lf_takeOff(0.0, 0.0, 1000.0, 3000.0).total.offRunwayTakeOffs, 0u);
    EXPECT_EQ(lf_takeOff(0.0, 0.0, 1000.0, 1000.0).total.offRunwayTakeOffs, 1u);
    // 5 km away a lift-off is at an airport whose runways the check does
    // not know: counted apart, not judged.
    const auto elsewhere = lf_takeOff(5000.0, 35.0).total;
    EXPECT_EQ(elsewhere.offRunwayTakeOffs, 0u);
    EXPECT_EQ(elsewhere.unjudgedTakeOffs, 1u);
    EXPECT_EQ(lf_takeOff(2500.0, 0.0).total.offRunwayTakeOffs, 1u);
}

// Runway 36/18 at 52.3 N 4.7 E, 3000 m long and 45 m wide, northward.
const kvr::standin::RunwayGeometry kR36{"EHAM", 3000.0 / 0.3048, 45.0 / 0.3048,
                                        {"36", {52.3, 4.7}, 0.0, 0.0, 0.0},
                                        {"18", {52.3 + 3000.0 / 1852.0 / 60.0, 4.7}, 0.0, 180.0, 0.0}};

TEST(TraceCheck, GroundMovesFasterThanTaxiingOffTheRunwaysOrFasterThanAnyRollAreCountedOnce)
{
    // North at a steady speed, `eastM` beside the runway's line.
    const auto straight = [](double eastM, double kts, double fromNorthM = 0.0) {
        return [=](double t) { return Pos{fromNorthM + t * kts * 1852.0 / 3600.0, eastM, 0.0, 0.0, kts}; };
    };
    const std::vector<kvr::standin::RunwayGeometry> runways{kR36};
    // Taxi speed across the apron, a roll's speed on the runway: clean.
    EXPECT_TRUE(lf_run(20.0, straight(400.0, 35.0), runways).clean());
    EXPECT_TRUE(lf_run(20.0, straight(0.0, 150.0), runways).clean());
    // 60 kt across the apron, once however long; beside the runway (an exit)
    // it is not judged.
    const MotionCounts dash = lf_run(20.0, straight(400.0, 60.0), runways);
    EXPECT_EQ(dash.offRunwayDashes, 1u);
    EXPECT_EQ(dash.groundOverspeeds, 0u);
    EXPECT_EQ(lf_run(20.0, straight(70.0, 60.0), runways).offRunwayDashes, 0u);
    // Past the runway's end on the ground at 60 kt: off the runways too.
    EXPECT_EQ(lf_run(10.0, straight(0.0, 60.0, 3100.0), runways).offRunwayDashes, 1u);
    // The speed is judged by position, not by what was written: 60 kt of
    // moves written as 20 kt.
    EXPECT_EQ(lf_run(20.0, [&](double t) { Pos p = straight(400.0, 60.0)(t); p.kts = 20.0; return p; }, runways)
                  .offRunwayDashes, 1u);
    // Faster than any roll, even on the runway, and without runways given.
    EXPECT_EQ(lf_run(10.0, straight(0.0, 250.0), runways).groundOverspeeds, 1u);
    EXPECT_EQ(lf_run(10.0, straight(0.0, 250.0)).groundOverspeeds, 1u);
    EXPECT_FALSE(lf_run(10.0, straight(0.0, 250.0)).clean());
    // Without runways nothing is off them; in the air nothing is judged.
    EXPECT_EQ(lf_run(20.0, straight(400.0, 60.0)).offRunwayDashes, 0u);
    EXPECT_EQ(lf_run(10.0, [&](double t) { Pos p = straight(400.0, 250.0)(t); p.onGround = false; p.alt = 500.0; return p; },
                     runways).groundSpeedFindings(), 0u);
    // Two runs of dashes with taxiing between count twice.
    const MotionCounts twice = lf_run(30.0, [](double t) {
        const bool fast = t < 5.0 || (t > 15.0 && t < 20.0);
        const double ktSeconds = 20.0 * t + 60.0 * std::min(t, 5.0) + 60.0 * std::clamp(t - 15.0, 0.0, 5.0);
        return Pos{ktSeconds * 1852.0 / 3600.0, 400.0, 0.0, 0.0, fast ? 80.0 : 20.0};
    }, runways);
    EXPECT_EQ(twice.offRunwayDashes, 2u);
}

TEST(TraceCheck, ATouchDownBeforeTheThresholdOfTheRunwayItLinesUpWithIsCounted)
{
    // Down a 3 degree path at 140 kt, touching down `atM` along runway 36
    // (negative: before its threshold), `eastM` beside its line.
    const auto landing = [](double atM, double eastM, double hdg = 0.0) {
        return [=](double t) {
            const double north = atM - 1500.0 + t * 140.0 * 1852.0 / 3600.0;
            const double height = std::max(0.0, (atM - north) * std::tan(3.0 * std::numbers::pi / 180.0)) / 0.3048;
            return Pos{north, eastM, height, hdg, 140.0, 0.0, height <= 0.0};
        };
    };
    const std::vector<kvr::standin::RunwayGeometry> runways{kR36};
    EXPECT_EQ(lf_run(30.0, landing(300.0, 0.0), runways).shortTouchDowns, 0u);
    EXPECT_EQ(lf_run(30.0, landing(-40.0, 10.0), runways).shortTouchDowns, 0u); // within the 60 m
    const MotionCounts shortOf = lf_run(30.0, landing(-800.0, 10.0), runways);
    EXPECT_EQ(shortOf.shortTouchDowns, 1u);
    EXPECT_FALSE(shortOf.clean());
    // Not lined up with it, or far beside its line: not short of it, but
    // down off the runways all the same.
    for (const MotionCounts& off : {lf_run(30.0, landing(-800.0, 0.0, 60.0), runways),
                                    lf_run(30.0, landing(-800.0, 200.0), runways),
                                    lf_run(30.0, landing(1500.0, 200.0), runways)}) {
        EXPECT_EQ(off.shortTouchDowns, 0u);
        EXPECT_EQ(off.offRunwayTouchDowns, 1u);
        EXPECT_FALSE(off.clean());
    }
    // Beside the runway within 60 m of its edge, or far from every runway (at
    // another airport): not judged.
    EXPECT_EQ(lf_run(30.0, landing(1500.0, 70.0), runways).offRunwayTouchDowns, 0u);
    EXPECT_EQ(lf_run(30.0, landing(-5000.0, 0.0, 60.0), runways).offRunwayTouchDowns, 0u);
    // Judged by the speed it came in with, by position: not the one the first
    // ground write shows, nor a stale one written while it hardly moves.
    EXPECT_EQ(lf_run(30.0, [&](double t) {
        Pos p = landing(-800.0, 200.0)(t);
        if (p.onGround)
            p.kts = 30.0;
        return p;
    }, runways).offRunwayTouchDowns, 1u);
    EXPECT_EQ(lf_run(60.0, [&](double t) {
        const double height = std::max(0.0, 100.0 - 10.0 * t);
        return Pos{-800.0 + 10.0 * t, 200.0, height, 0.0, 46.0, 0.0, height <= 0.0};
    }, runways).offRunwayTouchDowns, 0u);
    // The same landing from the other end: short of 18's threshold.
    EXPECT_EQ(lf_run(30.0, [&](double t) {
        Pos p = landing(-800.0, 0.0)(t);
        p.northM = 3000.0 - p.northM;
        p.hdg = 180.0;
        return p;
    }, runways).shortTouchDowns, 1u);
}

TEST(TraceCheck, ATailCreatedThreeTimesIsNamed)
{
    std::string text;
    for (int id = 1; id <= 3; ++id)
        text += fmt::format(R"({{"k":"create","f":{},"t":{},"id":{},"tail":"PH-BXE*"}})" "\n", id, id, id);
    text += R"({"k":"create","f":9,"t":9,"id":9,"tail":"KLM1601"})" "\n";
    std::istringstream in(text);
    const auto report = gf_checkTraceMotion(in);
    ASSERT_EQ(report.churnedTails.size(), 1u);
    EXPECT_EQ(report.churnedTails[0], "PH-BXE*");
    EXPECT_FALSE(report.clean());
    EXPECT_NE(gf_motionTable(report).find("tails created three times or more: 1 PH-BXE*"), std::string::npos);
}

// The speed rules over generated cases: ground speed changes, air speeds
// below 10,000 ft, removals while rolling and steps beyond the written speed
// in the true time between writes.
struct SpeedCase {
    std::string name;
    double seconds;
    std::function<Pos(double)> at;
    TraceForm form;
    uint64_t snaps = 0, airOverspeeds = 0, removedRolling = 0, shortJumps = 0, jumps = 0;
    friend void PrintTo(const SpeedCase& c, std::ostream* os) { *os << c.name; }
};

// North at `kts` until `from`, then changing speed at `rate` kt/s (braking:
// negative) down to `to` kt, on the ground or at `altFt`; the speed written is
// the one it moves at.
std::function<Pos(double)> lf_speedRamp(double kts, double from, double rate, double to, double altFt = 0.0)
{
    return [=](double t) {
        const double ramp = std::max(0.0, std::min(t - from, (to - kts) / rate));
        const double now = kts + rate * ramp;
        const double ktSeconds = kts * t + rate * ramp * ramp / 2.0 + (now - kts) * std::max(0.0, t - from - ramp);
        return Pos{ktSeconds * 1852.0 / 3600.0, 0.0, altFt, 0.0, now, 0.0, altFt <= 0.0};
    };
}

std::vector<SpeedCase> lf_speedCases()
{
    std::vector<SpeedCase> cases;
    const auto add = [&](std::string name, double seconds, std::function<Pos(double)> at, TraceForm form,
                         std::array<uint64_t, 5> counts) {
        cases.push_back({std::move(name), seconds, std::move(at), std::move(form), counts[0], counts[1], counts[2],
                         counts[3], counts[4]});
    };
    // Ground speed changes: stops from taxi speeds within a tick or a second
    // snap; braking and take-off rolls do not, nor a steady roll written at
    // 10 ms with its times a few milliseconds off.
    for (const double kts : {16.0, 26.0, 38.0})
        add(fmt::format("stop from {:.0f} kt in one tick", kts), 10.0, lf_speedRamp(kts, 5.0, -1e6, 0.0), {},
            {1, 0, 0, 0, 0});
    add("stop from 38 kt within a second", 10.0, lf_speedRamp(38.0, 5.0, -38.0, 0.0), {}, {1, 0, 0, 0, 0});
    add("start to 26 kt in one tick", 10.0, lf_speedRamp(0.0, 5.0, 1e6, 26.0), {}, {1, 0, 0, 0, 0});
    add("braking at 5 kt/s to a stop", 12.0, lf_speedRamp(26.0, 3.0, -5.0, 0.0), {}, {0, 0, 0, 0, 0});
    add("landing roll braking at 8 kt/s", 20.0, lf_speedRamp(130.0, 2.0, -8.0, 20.0), {}, {0, 0, 0, 0, 0});
    add("take-off roll at 10 kt/s", 20.0, lf_speedRamp(0.0, 2.0, 10.0, 160.0), {}, {0, 0, 0, 0, 0});
    add("steady roll at 10 ms writes, 4 ms off", 10.0, lf_speedRamp(150.0, 0.0, 1.0, 150.0),
        lf_frames(100.0, 0.004), {0, 0, 0, 0, 0});
    add("push-back from a stand", 10.0, [](double t) { return Pos{-std::max(0.0, t - 3.0) * 1.5, 0.0, 0.0, 0.0, 3.0}; },
        {}, {0, 0, 0, 0, 0});
    add("touch-down at 124 kt snapped to 38 kt", 10.0, [](double t) {
        const double north = t < 5.0 ? t * 124.0 * 1852.0 / 3600.0 : (5.0 * 124.0 + (t - 5.0) * 38.0) * 1852.0 / 3600.0;
        return Pos{north, 0.0, t < 5.0 ? (5.0 - t) * 10.0 : 0.0, 0.0, t < 5.0 ? 124.0 : 38.0, 0.0, t >= 5.0};
    }, {}, {1, 0, 0, 0, 0});
    // Air speeds below 10,000 ft, over five seconds.
    add("A321 at 300 kt at 5,000 ft", 20.0, lf_speedRamp(300.0, 0.0, 1.0, 300.0, 5000.0), {}, {0, 0, 0, 0, 0});
    add("A321 at 420 kt at 5,000 ft", 20.0, lf_speedRamp(420.0, 0.0, 1.0, 420.0, 5000.0), {}, {0, 1, 0, 0, 0});
    add("A321 written at 280 kt moving at 770 kt", 20.0, [](double t) {
        Pos p = lf_speedRamp(770.0, 0.0, 1.0, 770.0, 2650.0)(t);
        p.kts = 280.0;
        return p;
    }, {}, {0, 1, 0, 0, 0});
    add("A321 written at 180 kt moving at 770 kt, written every 0.1 s", 20.0, [](double t) {
        Pos p = lf_speedRamp(770.0, 0.0, 1.0, 770.0, 2650.0)(t);
        p.kts = 180.0;
        return p;
    }, lf_frames(10.0), {0, 1, 0, 1, 0});
    add("A321 at 420 kt at 12,000 ft", 20.0, lf_speedRamp(420.0, 0.0, 1.0, 420.0, 12000.0), {}, {0, 0, 0, 0, 0});
    add("helicopter at 170 kt", 20.0, lf_speedRamp(170.0, 0.0, 1.0, 170.0, 1000.0), lf_category("Helicopter"),
        {0, 1, 0, 0, 0});
    add("helicopter at its bound as measured, 160.5 kt", 20.0, lf_speedRamp(160.5, 0.0, 1.0, 160.5, 1000.0), lf_category("Helicopter"),
        {0, 0, 0, 0, 0});
    add("aeroplane at 170 kt", 20.0, lf_speedRamp(170.0, 0.0, 1.0, 170.0, 1000.0), lf_category("Airplane"),
        {0, 0, 0, 0, 0});
    add("jump of 2 km at 250 kt", 20.0, [](double t) {
        Pos p = lf_speedRamp(250.0, 0.0, 1.0, 250.0, 3000.0)(t);
        p.northM += t >= 10.0 ? 2000.0 : 0.0;
        return p;
    }, {}, {0, 0, 0, 0, 1});
    // Removals while rolling.
    add("removed by Kelo rolling at 60 kt", 8.0, lf_speedRamp(60.0, 0.0, 1.0, 60.0), lf_removed(5.0),
        {0, 0, 1, 0, 0});
    add("removed by the closing link at 60 kt", 8.0, lf_speedRamp(60.0, 0.0, 1.0, 60.0),
        lf_removed(5.0, "close"), {0, 0, 0, 0, 0});
    // Kelo's clean-up as it stops: it removes what it shows, then closes the
    // link with nothing written between. A removal followed by more writes,
    // or by the close only much later, is none.
    add("removed by Kelo rolling at 60 kt as it closes the link", 8.0, lf_speedRamp(60.0, 0.0, 1.0, 60.0),
        lf_removed(5.0, "client", 5.5, false), {0, 0, 0, 0, 0});
    add("removed by Kelo rolling at 60 kt, the link closed 6 s later", 15.0, lf_speedRamp(60.0, 0.0, 1.0, 60.0),
        lf_removed(5.0, "client", 11.0, false), {0, 0, 1, 0, 0});
    add("removed by Kelo rolling at 60 kt, writes going on until the link closes", 8.0,
        lf_speedRamp(60.0, 0.0, 1.0, 60.0), lf_removed(5.0, "client", 7.0), {0, 0, 1, 0, 0});
    add("removed by Kelo taxiing at 30 kt", 8.0, lf_speedRamp(30.0, 0.0, 1.0, 30.0), lf_removed(5.0),
        {0, 0, 0, 0, 0});
    add("removed by Kelo flying at 140 kt", 8.0, lf_speedRamp(140.0, 0.0, 1.0, 140.0, 500.0), lf_removed(5.0),
        {0, 0, 0, 0, 0});
    add("removed by Kelo standing, 60 kt written", 8.0, [](double) { return Pos{0.0, 0.0, 0.0, 0.0, 60.0}; },
        lf_removed(5.0), {0, 0, 0, 0, 0});
    // Steps on the true time between writes: 123 m in a tenth of a second at
    // 170 kt is one; steady writes at 10 ms or 30 frames a second are not.
    add("lift-off stepping 123 m in 0.1 s at 170 kt", 10.0, [](double t) {
        Pos p = lf_speedRamp(170.0, 0.0, 1.0, 170.0)(t);
        p.northM += t >= 5.0 ? 123.0 : 0.0;
        return p;
    }, lf_frames(10.0), {0, 0, 0, 1, 0});
    add("lift-off at 150 kt written as 10 kt", 10.0, [](double t) {
        Pos p = lf_speedRamp(150.0, 0.0, 1.0, 150.0)(t);
        p.kts = t < 5.0 ? 150.0 : 10.0;
        p.onGround = t < 6.0;
        p.alt = t < 6.0 ? 0.0 : 10.0 * (t - 6.0);
        return p;
    }, lf_frames(10.0), {0, 0, 0, 0, 0});
    add("roll at 170 kt written every 10 ms", 10.0, lf_speedRamp(170.0, 0.0, 1.0, 170.0),
        lf_frames(100.0, 0.004), {0, 0, 0, 0, 0});
    add("climb-out at 250 kt at 30 frames a second", 10.0, lf_speedRamp(250.0, 0.0, 1.0, 250.0, 1500.0), {},
        {0, 0, 0, 0, 0});
    return cases;
}

class SpeedRules : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(SpeedRules, CountEachFindingOnce)
{
    const SpeedCase& s = GetParam();
    const MotionCounts c = lf_run(s.seconds, s.at, {}, s.form);
    EXPECT_EQ(c.speedSnaps, s.snaps);
    EXPECT_EQ(c.airOverspeeds, s.airOverspeeds);
    EXPECT_EQ(c.removedRolling, s.removedRolling);
    EXPECT_EQ(c.shortJumps, s.shortJumps);
    EXPECT_EQ(c.jumps, s.jumps);
    EXPECT_EQ(c.speedFindings(), s.snaps + s.airOverspeeds + s.removedRolling + s.shortJumps);
    EXPECT_EQ(c.cleanWithSpeeds(), c.clean() && c.speedFindings() == 0);
    // The speed rules stay out of the older verdict.
    EXPECT_EQ(c.clean(), s.jumps == 0 && c.slides == 0 && c.belowGround == 0 && c.reversals == 0 && c.fastTurns == 0 &&
                             c.backwards == 0 && c.offRunwayTakeOffs == 0 && c.groundSpeedFindings() == 0);
}

INSTANTIATE_TEST_SUITE_P(TraceCheck, SpeedRules, ::testing::ValuesIn(lf_speedCases()),
                         [](const ::testing::TestParamInfo<SpeedCase>& info) {
                             std::string name;
                             for (const char ch : info.param.name)
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

TEST(TraceCheck, TheSpeedRulesHaveTheirColumns)
{
    std::istringstream in(R"({"k":"create","f":0,"t":0,"id":7,"tail":"PH-BXA","category":"Helicopter"})" "\n");
    const auto report = gf_checkTraceMotion(in);
    EXPECT_EQ(report.categories.at(7), "Helicopter");
    const std::string table = gf_motionTable(report);
    for (const char* column : {"snaps", "airspd", "rmroll", "shjump"})
        EXPECT_NE(table.find(column), std::string::npos) << column;
}

} // namespace

TEST(TraceSummary, CreationsWritesRemovalsAndRefusalsPerObject)
{
    std::istringstream in(
        R"({"k":"create","f":3,"t":0.1,"id":100,"req":1,"title":"Boeing 737-800 KLM","tail":"KLM1601","lat":52.29,"lon":4.69,"hdg":180.5,"on_ground":true})" "\n"
        R"({"k":"refuse","f":3,"t":0.1,"req":2,"title":"Boeing 737-800 Ryanair","tail":"RYR8AB","exception":22})" "\n"
        "not json\n"
        R"({"k":"pos","f":4,"t":0.2,"id":100,"lat":52.3,"lon":4.7,"alt_ft":-3,"gnd_ft":-11,"on_ground":true})" "\n"
        R"({"k":"event","f":4,"t":0.2,"id":100,"name":"GEAR_UP","value":0})" "\n"
        R"({"k":"event","f":4,"t":0.2,"id":77,"name":"GEAR_UP","value":0})" "\n"
        R"({"k":"pos","f":5,"t":0.3,"id":100,"lat":52.31,"lon":4.7,"alt_ft":500,"gnd_ft":-11,"on_ground":false})" "\n"
        R"({"k":"remove","f":6,"t":0.4,"id":100,"by":"client"})" "\n"
        R"({"k":"remove","f":7,"t":0.5,"id":100,"by":"close"})" "\n"
        R"({"k":"pos","f":8,"t":0.6,"id":100,"lat":52.32,"lon":4.7,"alt_ft":600,"gnd_ft":-11,"on_ground":false})" "\n"
        R"({"k":"create","f":9,"t":0.7,"id":101,"req":3,"title":"Boeing 737-800 House Colours","tail":"RYR8AB"})" "\n");
    const auto s = kvr::standin::gf_summarizeTrace(in, true);
    ASSERT_EQ(s.objects.size(), 2u);
    const auto& klm = s.objects.at(100);
    EXPECT_EQ(klm.creations, 1u);
    EXPECT_EQ(klm.writes, 2u);
    ASSERT_EQ(klm.positions.size(), 2u);
    EXPECT_EQ(klm.first->altFt, -3.0);
    EXPECT_TRUE(klm.first->onGround);
    EXPECT_EQ(klm.last->lat, 52.31);
    EXPECT_EQ(klm.removedAt, 0.4); // the first removal counts
    EXPECT_EQ(klm.removedBy, "client");
    EXPECT_EQ(klm.writesAfterRemoval, 1u);
    EXPECT_EQ(klm.createdPose.lat, 52.29);
    EXPECT_EQ(klm.createdPose.hdg, 180.5);
    EXPECT_TRUE(klm.createdPose.onGround);
    ASSERT_EQ(klm.events.size(), 1u); // the event to object 77 made no object
    EXPECT_EQ(klm.events[0].name, "GEAR_UP");
    const auto ryr = s.withTail("RYR8AB");
    ASSERT_EQ(ryr.size(), 1u);
    EXPECT_EQ(ryr[0]->writes, 0u);
    EXPECT_FALSE(ryr[0]->removedAt.has_value());
    ASSERT_EQ(s.refusals.size(), 1u);
    EXPECT_EQ(s.refusals[0].exception, 22u);
    EXPECT_EQ(s.lastTime, 0.7);
    const std::string text = kvr::standin::gf_summaryText(s);
    EXPECT_NE(text.find("objects created 2, moved 1, removed 1, refused 1"), std::string::npos) << text;
    EXPECT_NE(text.find("1 writes after removal"), std::string::npos) << text;
    EXPECT_NE(text.find("refused at 0.1: RYR8AB \"Boeing 737-800 Ryanair\" (exception 22)"), std::string::npos) << text;
}
