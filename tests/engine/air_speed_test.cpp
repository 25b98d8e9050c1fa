// Air speeds no aircraft flies: generated arrivals on the finals of the
// recorded airports' runways, whose creation the stand-in simulator answers
// seconds after their first report's time, played against the stand-in and
// judged on its trace. A late aircraft starts from its reports' pace and
// makes the time up flying no faster than they do by about 30 %, never
// faster than an aeroplane flies low down.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/geodesy.h"
#include "engine/motion/air_speed_limits.h"
#include "engine/motion/motion_dispatch.h"
#include "engine/motion/motion_step.h"
#include "engine/motion/speed_limits.h"
#include "engine/motion/takeoff.h"
#include "liveries/livery_memory.h"
#include "liveries/model_database.h"
#include "standins/track_generator.h"
#include "tests/engine/engine_fixture.h"
#include "tests/engine/runway_traffic_fixture.h"

namespace {

using kvr::standin::TrackPoint;
using Airport = kvr::test::RecordedAirport;
using Write = kvr::test::TraceWrite;

constexpr double kDeg = 3.141592653589793 / 180.0;
constexpr double kMps = 1852.0 / 3600.0;
constexpr double kFtPerM = 1.0 / 0.3048;

struct LateArrival {
    const Airport* airport;
    const char* icao;
    const char* runway;
    double heightFt; // above the field at the first report
    double kt;       // the reports' ground speed
    double reportS;  // between reports
    double answerS;  // the simulator answers the creation this late
};

std::string caseName(const ::testing::TestParamInfo<LateArrival>& info)
{
    const LateArrival& k = info.param;
    return fmt::format("{}_{}_{:.0f}ft_{:.0f}kt_{:.0f}s_late", k.icao, k.runway, k.heightFt, k.kt, k.answerS);
}

// Arrivals at 2,000-5,000 ft over the field, answered 2-20 s late, reported
// every 3-8 s at 190-290 kt: spread over the airports' runways.
std::vector<LateArrival> lateArrivals()
{
    struct End {
        const Airport* airport;
        const char* icao;
        const char* runway;
    };
    const End ends[] = {{&kvr::test::kLosAngeles, "KLAX", "24R"}, {&kvr::test::kLosAngeles, "KLAX", "25L"},
                        {&kvr::test::kLasVegas, "KLAS", "26L"},   {&kvr::test::kLasVegas, "KLAS", "19R"},
                        {&kvr::test::kNewYork, "KJFK", "04R"},    {&kvr::test::kNewYork, "KJFK", "22L"},
                        {&kvr::test::kDubai, "OMDB", "12L"},      {&kvr::test::kDubai, "OMDB", "30R"}};
    std::vector<LateArrival> out;
    for (size_t i = 0; i < std::size(ends); ++i)
        out.push_back({ends[i].airport, ends[i].icao, ends[i].runway, 2000.0 + 1000.0 * static_cast<double>(i % 4),
                       190.0 + 100.0 * static_cast<double>((i * 3) % 8) / 7.0, 3.0 + static_cast<double>((i * 5) % 6),
                       2.0 + 18.0 * static_cast<double>((i * 3 + 1) % 8) / 7.0});
    return out;
}

class LateArrivalTest : public kvr::test::RunwayTrafficTest, public ::testing::WithParamInterface<LateArrival> {
protected:
    LateArrivalTest() : RunwayTrafficTest("kelo_late_arrival_trace.jsonl") {}

    // Reports straight in on a 3 degree path toward the runway's threshold,
    // for 100 s.
    std::vector<TrackPoint> finalReports(const LateArrival& k) const
    {
        const auto& end = kvr::standin::gf_runwayEnd(runways, k.runway);
        const auto& other = kvr::standin::gf_oppositeEnd(runways, k.runway);
        const double hdg = gf_initialBearing(end.threshold, other.threshold) / kDeg;
        const double glide = std::tan(3.0 * kDeg);
        const double outM = k.heightFt / kFtPerM / glide;
        std::vector<TrackPoint> out;
        for (double t = 0.0; t <= 100.0; t += k.reportS) {
            const double along = outM - t * k.kt * kMps;
            const LatLon at = kvr::test::movedMetres(end.threshold, hdg + 180.0, along);
            out.push_back(kvr::test::feedReport(t, at, k.airport->fieldFt + along * glide * kFtPerM, k.kt, hdg, false,
                                                -k.kt * kMps * glide * kFtPerM * 60.0));
        }
        return out;
    }
};

// Over every 5 s of the trace aloft, the fastest move by position (kt).
double fastestAloftKt(const std::vector<Write>& written, size_t& judged)
{
    std::map<uint32_t, std::vector<Write>> byObject;
    for (const Write& w : written)
        byObject[w.id].push_back(w);
    double fastest = 0.0;
    for (const auto& [id, w] : byObject)
        for (size_t i = 1, from = 0; i < w.size(); ++i) {
            while (from + 1 < i && w[from + 1].t <= w[i].t - 5.0)
                ++from;
            const double dt = w[i].t - w[from].t;
            if (w[i].onGround || w[from].onGround || dt < 5.0 || dt > 6.0)
                continue;
            ++judged;
            fastest = std::max(fastest, gf_distanceNm(w[from].at, w[i].at) * 3600.0 / dt);
        }
    return fastest;
}

TEST_P(LateArrivalTest, ALateArrivalMakesUpItsTimeNoFasterThanItsReportsGo)
{
    const LateArrival& k = GetParam();
    at(*k.airport);
    sim.load({{"assign_delay_frames", static_cast<int>(std::lround(k.answerS * 30.0))}});
    playReports(finalReports(k), 0x4C4800, "KLM1801");
    run(3000);

    const auto motion = traceMotion(runways);
    EXPECT_EQ(motion.total.jumps, 0u);
    EXPECT_EQ(motion.total.speedFindings(), 0u);
    ASSERT_EQ(traceWrites("create").size(), 1u);
    size_t judged = 0;
    const double fastest = fastestAloftKt(traceWrites(), judged);
    std::printf("fastest aloft over 5 s: %.0f kt (reports %.0f kt)\n", fastest, k.kt);
    EXPECT_GT(judged, 100u);
    EXPECT_LE(fastest, std::min(1.3 * k.kt, 380.0));
}

INSTANTIATE_TEST_SUITE_P(Generated, LateArrivalTest, ::testing::ValuesIn(lateArrivals()), caseName);

// A helicopter hover-taxiing nose first on the ground whose next report is
// aloft behind it: on the given airports' fields, behind it by 110-180
// degrees, hover-taxiing at 8-14 kt.
struct LiftOffBehind {
    const Airport* airport;
    const char* icao;
    double trackDeg; // the hover taxi's
    double behindDeg; // the report aloft lies this far off its track
    double kt;
};

std::string liftOffName(const ::testing::TestParamInfo<LiftOffBehind>& info)
{
    const LiftOffBehind& k = info.param;
    return fmt::format("{}_{:.0f}_{:.0f}deg_behind_{:.0f}kt", k.icao, k.trackDeg, k.behindDeg, k.kt);
}

class HelicopterLiftOffTest : public kvr::test::RunwayTrafficTest, public ::testing::WithParamInterface<LiftOffBehind> {
protected:
    HelicopterLiftOffTest() : RunwayTrafficTest("kelo_helicopter_liftoff_trace.jsonl") {}
    void SetUp() override
    {
        RunwayTrafficTest::SetUp();
        savedModels = gf_modelDatabase();
        gf_modelDatabase().icaoModelCodes.insert("EC30");
        gf_modelDatabase().rotorcraft.insert(gf_modelCode2Id("EC30"));
    }
    void TearDown() override
    {
        gf_modelDatabase() = savedModels;
        RunwayTrafficTest::TearDown();
    }
    void playHelicopter(const std::vector<TrackPoint>& reports, uint32_t hexid)
    {
        lf_rememberLiveryOfHexid(hexid, "Airbus A320-200 KLM");
        for (size_t i = 0; i < reports.size(); ++i) {
            LiveTrafficRecord record = kvr::test::trackRecord(reports[i], hexid, "N881MH");
            record.ids.model = gf_modelCode2Id("EC30");
            std::vector<LiveTrafficRecord> batch{record};
            gf_trafficMailbox().post(batch, TrafficBatchKind::Live, 30, false);
            const double next = i + 1 < reports.size() ? reports[i + 1].t : reports[i].t + 1.0;
            run(static_cast<int>(std::lround((next - reports[i].t) * 100.0)));
        }
    }
    ModelDatabaseTables savedModels;
};

std::vector<LiftOffBehind> liftOffsBehind()
{
    return {{&kvr::test::kLasVegas, "KLAS", 90.0, 143.0, 11.0}, {&kvr::test::kLasVegas, "KLAS", 200.0, 180.0, 8.0},
            {&kvr::test::kLosAngeles, "KLAX", 320.0, 240.0, 14.0}, {&kvr::test::kNewYork, "KJFK", 45.0, 110.0, 12.0}};
}

// It slows, turns toward its way and goes: aloft or on the ground, never a
// move well off its nose, and while it moves the way it moves never flips
// (a turn where it hovers, stopped, is no flip).
TEST_P(HelicopterLiftOffTest, RisesTurnsAndGoesNeverSidewaysNorBack)
{
    const LiftOffBehind& k = GetParam();
    at(*k.airport);
    const LatLon pad = kvr::test::movedMetres(k.airport->reference, 225.0, 1500.0);
    std::vector<TrackPoint> reports;
    LatLon here = pad;
    for (double t = 0.0; t <= 40.0; t += 5.0) {
        reports.push_back(kvr::test::feedReport(t, here, k.airport->fieldFt, t < 5.0 ? 0.0 : k.kt, k.trackDeg, true));
        here = kvr::test::movedMetres(here, k.trackDeg, t < 5.0 ? 0.0 : k.kt * kMps * 5.0);
    }
    const double away = std::fmod(k.trackDeg + k.behindDeg + 360.0, 360.0);
    for (double t = 45.0, s = 0.0; t <= 90.0; t += 5.0, s += 5.0) {
        const LatLon p = kvr::test::movedMetres(here, away, 150.0 + 45.0 * kMps * s);
        reports.push_back(kvr::test::feedReport(t, p, k.airport->fieldFt + 200.0 + 10.0 * s, 45.0, away, false, 600.0));
    }
    playHelicopter(reports, 0x4C4C0A);
    run(3000);

    const std::vector<Write> w = traceWrites();
    size_t judged = 0;
    double lastWay = -1.0;
    for (size_t i = 1, from = 0; i < w.size(); ++i) {
        while (from + 1 < i && w[from + 1].t <= w[i].t - 0.2)
            ++from;
        const double dt = w[i].t - w[from].t;
        if (!(dt >= 0.2 && dt <= 0.5))
            continue;
        const double kt = gf_distanceNm(w[from].at, w[i].at) * 3600.0 / dt;
        if (!(kt > 4.0)) {
            lastWay = -1.0;
            continue;
        }
        ++judged;
        const double way = gf_initialBearing(w[from].at, w[i].at) / kDeg;
        const double offNose = std::fabs(std::remainder(way - w[i].hdg, 360.0));
        EXPECT_LE(offNose, 60.0) << fmt::format("t {:.2f}: heading {:.0f}, moving {:.0f} at {:.1f} kt", w[i].t, w[i].hdg, way, kt);
        if (lastWay >= 0.0) {
            EXPECT_LE(std::fabs(std::remainder(way - lastWay, 360.0)), 90.0)
                << fmt::format("t {:.2f}: moving {:.0f}, just before {:.0f}", w[i].t, way, lastWay);
        }
        lastWay = way;
        if (offNose > 60.0)
            break;
    }
    EXPECT_GT(judged, 100u);
    const auto motion = traceMotion(runways);
    EXPECT_EQ(motion.total.jumps, 0u);
    EXPECT_EQ(motion.total.speedFindings(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Generated, HelicopterLiftOffTest, ::testing::ValuesIn(liftOffsBehind()), liftOffName);

// Shown again aloft where it flew (a respawn): its front report is where it
// is, the report it flew toward lies 100-800 m behind it (it ran ahead of its
// reports), the ones after ahead. Headings all round, at 140-300 kt.
struct PassedReport {
    double headingDeg;
    double behindM;
    double kt;
};

std::string passedName(const ::testing::TestParamInfo<PassedReport>& info)
{
    const PassedReport& k = info.param;
    return fmt::format("hdg_{:.0f}_{:.0f}m_behind_{:.0f}kt", k.headingDeg, k.behindM, k.kt);
}

std::vector<PassedReport> passedReports()
{
    std::vector<PassedReport> out;
    for (int i = 0; i < 6; ++i)
        out.push_back({60.0 * i + 15.0, 100.0 + 140.0 * i, 140.0 + 32.0 * ((i * 5) % 6)});
    return out;
}

using kvr::test::EngineClockTest;

class ShownAgainAloftTest : public EngineClockTest, public ::testing::WithParamInterface<PassedReport> {};

// It flies on nose first along its way toward the reports ahead, never tail
// first back to the one behind, and no faster than they go by a quarter.
TEST_P(ShownAgainAloftTest, AnAircraftShownAgainAloftFliesOnNotBackToAReportItPassed)
{
    const PassedReport& k = GetParam();
    const LatLon here{36.08, -115.15};
    LiveAircraft ac = kvr::test::makeLive(0x4E0501, "KLM91", true, here.latitude, here.longitude, 3000.0);
    ac.sim.simState = SimState::active;
    ac.sim.objectId = 91;
    ac.phases.phase = FlightPhase::flying;
    ac.motion.heading = k.headingDeg * kDeg;
    TrafficSample& fresh = ac.stream.samples.front();
    fresh.speedKt = k.kt;
    fresh.trackDeg = k.headingDeg;
    fresh.playTime = engineClock.load();
    TrafficSample passed = fresh;
    const LatLon behind = kvr::test::movedMetres(here, k.headingDeg + 180.0, k.behindM);
    passed.lat = behind.latitude;
    passed.lon = behind.longitude;
    passed.playTime = fresh.playTime + 300;
    ac.stream.samples.push_back(passed);
    for (int i = 1; i <= 4; ++i) {
        TrafficSample ahead = passed;
        const LatLon at = kvr::test::movedMetres(behind, k.headingDeg, k.kt * kMps * 10.0 * i);
        ahead.lat = at.latitude;
        ahead.lon = at.longitude;
        ahead.playTime = passed.playTime + 1000 * i;
        ac.stream.samples.push_back(ahead);
    }
    LatLon last = here;
    double fastest = 0.0;
    size_t judged = 0;
    for (int t = 1; t <= 2500 && !ac.stream.samples.empty(); ++t) {
        if (ac.stream.samples.front().playTime <= engineClock.load())
            nextPosMain(ac);
        if (ac.stream.samples.empty())
            break;
        const LatLon from{ac.motion.lat, ac.motion.lon};
        stepMotion(ac);
        boundAirStep(ac, from);
        engineClock.fetch_add(1);
        if (t % 50 != 0)
            continue;
        const LatLon now{ac.motion.lat, ac.motion.lon};
        const double m = gf_distanceNm(last, now) * 1852.0;
        if (m > 1.0) {
            ++judged;
            const double way = gf_initialBearing(last, now) / kDeg;
            ASSERT_LE(std::fabs(std::remainder(way - k.headingDeg, 360.0)), 60.0)
                << fmt::format("tick {}: moving {:.0f}, its way {:.0f}", t, way, k.headingDeg);
            fastest = std::max(fastest, m / 0.5 / kMps);
        }
        last = now;
    }
    EXPECT_GT(judged, 40u);
    EXPECT_LE(fastest, 1.3 * k.kt);
}

INSTANTIATE_TEST_SUITE_P(Generated, ShownAgainAloftTest, ::testing::ValuesIn(passedReports()), passedName);

// Lifting off, a step is held to the speed written (90 kt, or at least its
// lift-off speed when a report's taxi speed is written) while its leg,
// turning 10-35 degrees toward the report after, would go at 150-250 kt:
// held back on an arc, it flies the rest of the leg from where it is, and
// flying on (no longer held) it never leaps to where the arc would have put
// it.
struct HeldArc {
    double turnDeg;
    double legKt;
    double writtenKt; // a report's taxi speed: it still flies at its lift-off speed at least
};

std::vector<HeldArc> heldArcs()
{
    return {{10.0, 150.0, 90.0}, {20.0, 250.0, 10.0}, {35.0, 200.0, 90.0}, {-25.0, 180.0, 15.0}};
}

std::string heldArcName(const ::testing::TestParamInfo<HeldArc>& info)
{
    return fmt::format("turn_{}{:.0f}deg_{:.0f}kt_written_{:.0f}kt", info.param.turnDeg < 0.0 ? "left_" : "right_",
                       std::fabs(info.param.turnDeg), info.param.legKt, info.param.writtenKt);
}

class HeldArcTest : public EngineClockTest, public ::testing::WithParamInterface<HeldArc> {};

TEST_P(HeldArcTest, AnArcHeldLiftingOffNeverLeapsWhenNoLongerHeld)
{
    const HeldArc& k = GetParam();
    const LatLon here{36.08, -115.15};
    LiveAircraft ac = kvr::test::makeLive(0x4E0502, "KLM92", true, here.latitude, here.longitude, 2500.0);
    ac.sim.simState = SimState::active;
    ac.sim.objectId = 92;
    ac.phases.phase = FlightPhase::takeoff;
    ac.motion.heading = 0.0;
    TrafficSample& s0 = ac.stream.samples.front();
    s0.speedKt = 90.0;
    s0.tasKt = 90.0;
    s0.trackDeg = 0.0;
    s0.playTime = engineClock.load();
    TrafficSample s1 = s0;
    const LatLon a = kvr::test::movedMetres(here, 0.0, k.legKt * kMps * 10.0);
    s1.lat = a.latitude;
    s1.lon = a.longitude;
    s1.playTime = s0.playTime + 1000;
    TrafficSample s2 = s1;
    const LatLon b = kvr::test::movedMetres(a, k.turnDeg, k.legKt * kMps * 10.0);
    s2.lat = b.latitude;
    s2.lon = b.longitude;
    s2.playTime = s1.playTime + 1000;
    ac.stream.samples.push_back(s1);
    ac.stream.samples.push_back(s2);
    nextPosMain(ac);
    ASSERT_TRUE(ac.flight.arc.valid);
    double most = 0.0;
    for (int t = 1; t <= 600 && ac.stream.samples.size() >= 2; ++t) {
        if (t == 300)
            ac.phases.phase = FlightPhase::flying; // no longer held
        const LatLon from{ac.motion.lat, ac.motion.lon};
        stepMotion(ac);
        if (t < 300)
            ac.motion.tasKt = k.writtenKt; // as its reports write it
        boundAirStep(ac, from);
        engineClock.fetch_add(1);
        const double kt = gf_distanceNm(from, {ac.motion.lat, ac.motion.lon}) * 360000.0;
        most = std::max(most, kt);
        ASSERT_LE(kt, 1.3 * k.legKt) << fmt::format("tick {}: {:.0f} kt", t, kt);
        if (t < 300)
            ASSERT_GE(kt, 60.0) << fmt::format("tick {}: {:.0f} kt aloft", t, kt);
    }
    EXPECT_GT(most, 80.0);
}

INSTANTIATE_TEST_SUITE_P(Generated, HeldArcTest, ::testing::ValuesIn(heldArcs()), heldArcName);

// Low down, reports faster than aircraft fly there (420 kt, or 200 kt for a
// helicopter) on legs that turn 30-90 degrees: flown as arcs, whose way is
// longer than the straight one the leg's pace is taken on, it is still no
// faster than 370 kt (155 kt) over any 5 s.
struct FastTurn {
    double turnDeg;
    bool helicopter;
};

std::vector<FastTurn> fastTurns()
{
    return {{30.0, false}, {60.0, false}, {-90.0, false}, {45.0, true}, {-75.0, true}};
}

std::string fastTurnName(const ::testing::TestParamInfo<FastTurn>& info)
{
    return fmt::format("{}_turn_{}{:.0f}deg", info.param.helicopter ? "helicopter" : "aeroplane", info.param.turnDeg < 0.0 ? "left_" : "right_", std::fabs(info.param.turnDeg));
}

class FastTurnTest : public EngineClockTest, public ::testing::WithParamInterface<FastTurn> {};

TEST_P(FastTurnTest, ATurningLegLowDownIsFlownNoFasterThanAircraftFlyThere)
{
    const FastTurn& k = GetParam();
    const double kt = k.helicopter ? 200.0 : 420.0;
    const double most = k.helicopter ? 155.0 : 370.0;
    LatLon at{36.08, -115.15};
    LiveAircraft ac = kvr::test::makeLive(0x4E0503, "KLM93", true, at.latitude, at.longitude, 4000.0);
    if (k.helicopter)
        ac.identity.category = Category::Rotorcraft;
    ac.sim.simState = SimState::active;
    ac.sim.objectId = 93;
    ac.phases.phase = FlightPhase::flying;
    ac.motion.heading = 0.0;
    TrafficSample s = ac.stream.samples.front();
    s.speedKt = kt;
    s.tasKt = kt;
    ac.stream.samples.clear();
    double track = 0.0;
    for (int i = 0; i < 8; ++i) {
        s.lat = at.latitude;
        s.lon = at.longitude;
        s.trackDeg = track;
        s.playTime = engineClock.load() + 500 * i;
        ac.stream.samples.push_back(s);
        if (i % 2 == 1)
            track += k.turnDeg;
        at = kvr::test::movedMetres(at, track, kt * kMps * 5.0);
    }
    std::vector<LatLon> path;
    for (int t = 0; t < 3500 && ac.stream.samples.size() >= 2; ++t) {
        if (ac.stream.samples.front().playTime <= engineClock.load())
            nextPosMain(ac);
        if (ac.stream.samples.size() < 2)
            break;
        const LatLon from{ac.motion.lat, ac.motion.lon};
        stepMotion(ac);
        boundAirStep(ac, from);
        engineClock.fetch_add(1);
        path.push_back({ac.motion.lat, ac.motion.lon});
    }
    ASSERT_GT(path.size(), 1000u);
    double fastest = 0.0;
    for (size_t i = 500; i < path.size(); i += 10)
        fastest = std::max(fastest, gf_distanceNm(path[i - 500], path[i]) * 3600.0 / 5.0);
    EXPECT_GT(fastest, 0.8 * most);
    EXPECT_LE(fastest, most);
}

INSTANTIATE_TEST_SUITE_P(Generated, FastTurnTest, ::testing::ValuesIn(fastTurns()), fastTurnName);

// A roll that lifts off short of the pace its leg aloft asks (rolled at
// 60-130 kt toward reports at 140-170 kt) gathers speed from the speed it
// rolled at no faster than a roll does (10 kt/s): just over its wheels its
// step never leaps to the leg's pace, and it keeps gathering.
struct LiftOffLeap {
    double rolledKt;
    double legKt;
};

std::vector<LiftOffLeap> liftOffLeaps()
{
    return {{60.0, 140.0}, {104.0, 130.0}, {130.0, 170.0}};
}

std::string liftOffLeapName(const ::testing::TestParamInfo<LiftOffLeap>& info)
{
    return fmt::format("rolled_{:.0f}kt_leg_{:.0f}kt", info.param.rolledKt, info.param.legKt);
}

class LiftOffLeapTest : public EngineClockTest, public ::testing::WithParamInterface<LiftOffLeap> {};

TEST_P(LiftOffLeapTest, ARollLiftingOffShortOfItsLegsPaceGathersSpeedNotLeaps)
{
    const LiftOffLeap& k = GetParam();
    LiveAircraft ac = kvr::test::makeLive(0x4E0503, "QXE77", false, 36.0763, -115.14, 2181.0);
    ac.sim.simState = SimState::active;
    ac.reports.lastSimGroundFt = 2181.0;
    ac.phases.phase = FlightPhase::takeoff_roll;
    ac.ground.groundStepKt = k.rolledKt;
    lf_liftOffAtRollSpeed(ac, {ac.motion.lat, ac.motion.lon}); // its last tick on the ground
    ac.phases.phase = FlightPhase::takeoff;
    ac.phases.groundMode = 0;
    const double most = lf_takeoffVr(ac, 1) + kRollMarginKt;
    double was = k.rolledKt;
    for (int t = 1; t <= 200; ++t) {
        const LatLon from{ac.motion.lat, ac.motion.lon};
        // Its leg aloft moves it on at the leg's pace.
        ac.motion.lat += k.legKt / 360000.0 / 60.0;
        ac.motion.tasKt = k.legKt;
        lf_liftOffAtRollSpeed(ac, from);
        const double kt = gf_distanceNm(from, {ac.motion.lat, ac.motion.lon}) * 360000.0;
        ASSERT_LE(kt, was + kRollSpeedUpKtPerTick + 0.01) << fmt::format("tick {}: {:.1f} kt after {:.1f}", t, kt, was);
        ASSERT_LE(ac.motion.tasKt, kt + kRollSpeedUpKtPerTick + 0.01) << fmt::format("tick {}: written", t);
        was = kt;
    }
    // Two seconds on it has gathered 20 kt, up to its leg's pace or a roll's most.
    EXPECT_NEAR(was, std::min({k.legKt, most, k.rolledKt + 200 * kRollSpeedUpKtPerTick}), 0.5);
}

INSTANTIATE_TEST_SUITE_P(Generated, LiftOffLeapTest, ::testing::ValuesIn(liftOffLeaps()), liftOffLeapName);

} // namespace
