// Stray ground reports: the source places an aircraft that stands at its
// stand 0.5 to 2 km away at 0 kt for a report or two, then at its stand
// again. Generated cases at the parked spots of the recorded traffic of Las
// Vegas and Los Angeles, played against the stand-in simulator and judged on
// its trace: the aircraft is created where its reports agree and never driven
// to a stray place or back from it.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/geodesy.h"
#include "core/settings_snapshot.h"
#include "stands/stand_table.h"
#include "standins/track_generator.h"
#include "tests/engine/runway_traffic_fixture.h"

namespace {

using kvr::standin::TrackPoint;
using Airport = kvr::test::RecordedAirport;

constexpr double kDeg = 3.141592653589793 / 180.0;
constexpr double kMps = 1852.0 / 3600.0; // metres per second in a knot

double metres(const LatLon& a, const LatLon& b)
{
    return gf_distanceNm(a, b) * 1852.0;
}

LatLon moveM(const LatLon& from, double bearingDeg, double m)
{
    return gf_destinationPoint(from, {bearingDeg * kDeg, m / 0.3048});
}

TrackPoint standing(double t, const LatLon& at, double fieldFt, double trackDeg, double kt = 0.0)
{
    TrackPoint p;
    p.t = t;
    p.lat = at.latitude;
    p.lon = at.longitude;
    p.altFt = fieldFt;
    p.gsKt = kt;
    p.trackDeg = trackDeg;
    p.onGround = true;
    return p;
}

// ---- The parked spots of a recording ----

struct Recording {
    const Airport* airport;
    const char* file; // in shared/data
    const char* code;
};
const Recording kLasVegas{&kvr::test::kLasVegas, "realtraffic-klas-2019.rttfc", "KLAS"};
const Recording kLosAngeles{&kvr::test::kLosAngeles, "realtraffic-klax-2020.rttfc", "KLAX"};

struct ParkedSpot {
    LatLon at;
    double headingDeg = 0.0;
};

// The aircraft of the recording that stood on the ground at 0 kt in every one
// of at least 20 reports, within 30 m, no more than 4 km from the airport:
// where each stood and its reported track. In the order of the recording.
std::vector<ParkedSpot> parkedSpots(const Recording& r)
{
    struct Seen {
        std::vector<LatLon> at;
        double track = 0.0;
        bool standing = true;
    };
    std::map<std::string, Seen> seen;
    std::vector<std::string> order;
    std::ifstream in(std::filesystem::path(KELO_SOURCE_DIR) / "../shared/data" / r.file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with("RTTFC,"))
            continue;
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');)
            f.push_back(field);
        if (f.size() < 11)
            continue;
        auto [it, added] = seen.try_emplace(f[1]);
        if (added)
            order.push_back(f[1]);
        Seen& s = it->second;
        s.at.push_back({std::stod(f[2]), std::stod(f[3])});
        s.track = std::stod(f[7]);
        s.standing = s.standing && f[6] == "1" && std::stod(f[8]) == 0.0;
    }
    std::vector<ParkedSpot> spots;
    for (const std::string& hexid : order) {
        const Seen& s = seen[hexid];
        if (!s.standing || s.at.size() < 20 || metres(s.at.front(), r.airport->reference) > 4000.0)
            continue;
        const bool still = std::all_of(s.at.begin(), s.at.end(), [&](const LatLon& p) { return metres(p, s.at.front()) <= 30.0; });
        if (still)
            spots.push_back({s.at.front(), s.track});
    }
    return spots;
}

// ---- The fixture: the airport's runways, a stand at each parked spot ----

struct Write {
    uint32_t id = 0;
    double t = 0.0;
    LatLon at;
    bool onGround = false;
};

class StrayReportTest : public kvr::test::RunwayTrafficTest {
protected:
    StrayReportTest() : RunwayTrafficTest("kelo_stray_report_trace.jsonl") {}
    void TearDown() override
    {
        gf_clearStandTable();
        gf_modifyParameters([](Parameters& p) { p.RANDOM = true; });
        RunwayTrafficTest::TearDown();
    }
    void at(const Recording& r)
    {
        RunwayTrafficTest::at(*r.airport);
        runways = kvr::standin::gf_loadRunwayCsv(kvr::test::recordedRunwaysCsv(*r.airport));
        field = r.airport->fieldFt;
        spots = parkedSpots(r);
        ASSERT_FALSE(spots.empty()) << "no parked aircraft in " << r.file;
        std::vector<Stand> stands;
        for (size_t i = 0; i < spots.size(); ++i) {
            Stand s;
            s.name = fmt::format("G{}", i + 1);
            s.lat = spots[i].at.latitude;
            s.lon = spots[i].at.longitude;
            s.heading = spots[i].headingDeg * kDeg;
            s.radius = 0.02;
            s.id = static_cast<int32_t>(i + 1);
            s.type = StandType::GATE_MEDIUM;
            stands.push_back(s);
        }
        gf_modifyParameters([](Parameters& p) { p.RANDOM = false; });
        gf_setStandTable(std::move(stands));
    }
    // The simulator's creations and position writes, in their order.
    void readTrace(std::vector<Write>& created, std::vector<Write>& written)
    {
        std::ifstream in(tracePath, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
            if (!j.is_object())
                continue;
            const std::string k = j.value("k", "");
            if (k != "create" && k != "pos")
                continue;
            const Write w{j.value("id", 0u), j.value("t", 0.0), {j.value("lat", 0.0), j.value("lon", 0.0)},
                          j.value("on_ground", false)};
            (k == "create" ? created : written).push_back(w);
        }
    }
    // The fastest ground move of one object by position, over 1 to 3 s.
    static double fastestOnGroundKt(const std::vector<Write>& written)
    {
        std::map<uint32_t, std::vector<Write>> byObject;
        for (const Write& w : written)
            byObject[w.id].push_back(w);
        double fastest = 0.0;
        for (const auto& [id, w] : byObject)
            for (size_t i = 1, from = 0; i < w.size(); ++i) {
                while (from + 1 < i && w[from + 1].t <= w[i].t - 1.0)
                    ++from;
                const double dt = w[i].t - w[from].t;
                if (w[i].onGround && w[from].onGround && dt >= 1.0 && dt <= 3.0)
                    fastest = std::max(fastest, metres(w[from].at, w[i].at) / dt / kMps);
            }
        return fastest;
    }
    // The motion findings that fail any case: jumps, dashes, overspeeds.
    void expectCleanMotion()
    {
        stopThread();
        const auto motion = traceMotion(runways);
        EXPECT_EQ(motion.total.jumps, 0u);
        EXPECT_EQ(motion.total.offRunwayDashes, 0u);
        EXPECT_EQ(motion.total.groundOverspeeds, 0u);
    }
    std::vector<kvr::standin::RunwayGeometry> runways;
    std::vector<ParkedSpot> spots;
    double field = 0.0;
};

// ---- One or two stray reports of an aircraft standing at its stand ----

struct StrayCase {
    const Recording* recording;
    size_t spot;        // which parked spot of the recording (wrapped)
    double strayKm;     // how far the stray reports lie
    double bearingDeg;  // and which way
    int strays;         // one or two in a row
    double strayAtS;    // seconds after the first report: 20 before the creation, 160 after
};

void PrintTo(const StrayCase& k, std::ostream* os)
{
    *os << fmt::format("{} spot {}: {} x {:.0f} m at {:.0f} deg, {:.0f} s in", k.recording->code, k.spot, k.strays,
                       k.strayKm * 1000.0, k.bearingDeg, k.strayAtS);
}

std::string strayName(const ::testing::TestParamInfo<StrayCase>& info)
{
    const StrayCase& k = info.param;
    return fmt::format("{}_spot{}_{}x{:.0f}m_{:.0f}deg_{}", k.recording->code, k.spot, k.strays, k.strayKm * 1000.0,
                       k.bearingDeg, k.strayAtS < 30.0 ? "beforeCreation" : "whileParked");
}

std::vector<StrayCase> strayCases()
{
    std::vector<StrayCase> cases;
    const double km[] = {0.5, 0.9, 1.4, 2.0};
    int n = 0;
    for (const Recording* r : {&kLasVegas, &kLosAngeles})
        for (size_t spot = 0; spot < (r == &kLasVegas ? 3u : 1u); ++spot)
            for (double at : {20.0, 160.0})
                for (int strays : {1, 2}) {
                    if (r == &kLasVegas && spot == 2 && strays == 2)
                        continue; // four spots by two moments by one or two strays, less two: 14
                    cases.push_back({r, spot, km[n % 4], std::fmod(37.0 + 97.0 * n, 360.0), strays, at});
                    ++n;
                }
    return cases;
}

class StrayAtStandTest : public StrayReportTest, public ::testing::WithParamInterface<StrayCase> {};

// Five minutes of reports every 10 s at the stand, one or two of them 0.5 to
// 2 km away at 0 kt. The aircraft is created once, at its stand, stays
// there and is never shown near the stray place nor driven anywhere.
TEST_P(StrayAtStandTest, ItIsCreatedOnceAtItsStandAndNeverMovesToTheStrayPlace)
{
    const StrayCase& k = GetParam();
    at(*k.recording);
    const ParkedSpot& spot = spots[k.spot % spots.size()];
    const LatLon stray = moveM(spot.at, k.bearingDeg, k.strayKm * 1000.0);
    std::vector<TrackPoint> reports;
    for (double t = 0.0; t <= 300.0; t += 10.0) {
        const bool isStray = t >= k.strayAtS && t < k.strayAtS + 10.0 * k.strays;
        reports.push_back(standing(t, isStray ? stray : spot.at, field, spot.headingDeg));
    }
    const uint32_t hexid = 0x4C5700 + static_cast<uint32_t>(k.spot * 16 + k.strays * 4 + (k.strayAtS < 30.0 ? 1 : 2));
    playReports(reports, hexid, "KLM1701");
    run(3000);

    const LiveAircraft* ac = live(hexid);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->sim.simState, SimState::active);
    EXPECT_EQ(ac->phases.phase, FlightPhase::parked);
    EXPECT_EQ(ac->stand.standId, static_cast<int32_t>(k.spot % spots.size() + 1));
    std::vector<Write> created, written;
    readTrace(created, written);
    ASSERT_FALSE(created.empty());
    EXPECT_EQ(created.size(), 1u) << "created more than once";
    for (const Write& c : created)
        EXPECT_LT(metres(c.at, spot.at), 40.0) << "not created at its stand";
    ASSERT_FALSE(written.empty());
    double farthest = 0.0;
    for (const Write& w : written)
        farthest = std::max(farthest, metres(w.at, spot.at));
    EXPECT_LT(farthest, 40.0) << "moved off its stand";
    EXPECT_LE(fastestOnGroundKt(written), 40.0);
    expectCleanMotion();
}

INSTANTIATE_TEST_SUITE_P(Generated, StrayAtStandTest, ::testing::ValuesIn(strayCases()), strayName);

// ---- An aircraft that really is somewhere else ----

struct MoveCase {
    const Recording* recording;
    double awayKm;
    double bearingDeg;
    double movedAtS; // seconds after the first report: 10 before the creation, 150 after
};

void PrintTo(const MoveCase& k, std::ostream* os)
{
    *os << fmt::format("{}: {:.0f} m at {:.0f} deg, {:.0f} s in", k.recording->code, k.awayKm * 1000.0, k.bearingDeg,
                       k.movedAtS);
}

std::string moveName(const ::testing::TestParamInfo<MoveCase>& info)
{
    const MoveCase& k = info.param;
    return fmt::format("{}_{:.0f}m_{:.0f}deg_{}", k.recording->code, k.awayKm * 1000.0, k.bearingDeg,
                       k.movedAtS < 30.0 ? "beforeCreation" : "whileParked");
}

class StrayGenuineMoveTest : public StrayReportTest, public ::testing::WithParamInterface<MoveCase> {};

// Reported at its stand, then from some moment on always at 0 kt at a remote
// stand 1 km or more away (it was towed while the source did not see it):
// it is shown there, not driven there.
TEST_P(StrayGenuineMoveTest, ItIsShownWhereItsReportsAgreeNotDrivenThere)
{
    const MoveCase& k = GetParam();
    at(*k.recording);
    const ParkedSpot& spot = spots.front();
    const LatLon moved = moveM(spot.at, k.bearingDeg, k.awayKm * 1000.0);
    // A remote stand there: an aircraft standing away from every stand is
    // not shown until it moves.
    std::vector<Stand> stands = gf_standTable().stands;
    Stand remote = stands.front();
    remote.name = "R1";
    remote.id = static_cast<int32_t>(stands.size() + 1);
    remote.lat = moved.latitude;
    remote.lon = moved.longitude;
    stands.push_back(remote);
    gf_setStandTable(std::move(stands));
    std::vector<TrackPoint> reports;
    for (double t = 0.0; t <= 360.0; t += 10.0)
        reports.push_back(standing(t, t < k.movedAtS ? spot.at : moved, field, spot.headingDeg));
    const uint32_t hexid = 0x4C5800 + static_cast<uint32_t>(k.movedAtS);
    playReports(reports, hexid, "KLM1702");
    run(3000);

    const LiveAircraft* ac = live(hexid);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->sim.simState, SimState::active);
    EXPECT_EQ(ac->phases.phase, FlightPhase::parked);
    EXPECT_EQ(ac->stand.standId, static_cast<int32_t>(spots.size() + 1));
    std::vector<Write> created, written;
    readTrace(created, written);
    ASSERT_FALSE(created.empty());
    ASSERT_FALSE(written.empty());
    EXPECT_LT(metres(written.back().at, moved), 40.0) << "not shown where it stands";
    // Each write lies at the stand or at the new place, never between.
    double between = 0.0;
    for (const Write& w : written)
        between = std::max(between, std::min(metres(w.at, spot.at), metres(w.at, moved)));
    EXPECT_LT(between, 60.0) << "driven across";
    EXPECT_LE(fastestOnGroundKt(written), 40.0);
    expectCleanMotion();
}

INSTANTIATE_TEST_SUITE_P(Generated, StrayGenuineMoveTest,
                         ::testing::Values(MoveCase{&kLasVegas, 1.0, 200.0, 10.0},
                                           MoveCase{&kLasVegas, 1.5, 30.0, 150.0},
                                           MoveCase{&kLosAngeles, 1.2, 110.0, 10.0}),
                         moveName);

// ---- A normal departure from the stand ----

class StrayLeavingTheStandTest : public StrayReportTest, public ::testing::WithParamInterface<const Recording*> {};

void PrintTo(const Recording* r, std::ostream* os)
{
    *os << r->code;
}

std::string leaveName(const ::testing::TestParamInfo<const Recording*>& info)
{
    return info.param->code;
}

// Parked for two minutes, pushed back 40 m at 2 kt, then taxiing away at
// 15 kt: every report is within a taxi's reach of the one before, none is
// held, and the aircraft follows them at a taxi's pace to the last one.
TEST_P(StrayLeavingTheStandTest, APushBackAndTaxiAreFollowed)
{
    at(*GetParam());
    const ParkedSpot& spot = spots.front();
    const double back = spot.headingDeg + 180.0;
    std::vector<TrackPoint> reports;
    double t = 0.0;
    for (; t < 120.0; t += 10.0)
        reports.push_back(standing(t, spot.at, field, spot.headingDeg));
    LatLon p = spot.at;
    for (int i = 0; i < 4; ++i, t += 10.0) {
        p = moveM(p, back, 10.0);
        reports.push_back(standing(t, p, field, spot.headingDeg, 2.0));
    }
    const double away = spot.headingDeg + 90.0;
    for (int i = 0; i < 10; ++i, t += 10.0) {
        p = moveM(p, away, 15.0 * kMps * 10.0);
        reports.push_back(standing(t, p, field, away, 15.0));
    }
    const uint32_t hexid = 0x4C5900 + (GetParam() == &kLasVegas ? 1u : 2u);
    playReports(reports, hexid, "KLM1703");
    run(9000);

    const LiveAircraft* ac = live(hexid);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->sim.simState, SimState::active);
    EXPECT_EQ(ac->phases.phase, FlightPhase::taxi);
    std::vector<Write> created, written;
    readTrace(created, written);
    ASSERT_EQ(created.size(), 1u);
    ASSERT_FALSE(written.empty());
    EXPECT_LT(metres(written.back().at, p), 60.0) << "did not follow its reports";
    EXPECT_LE(fastestOnGroundKt(written), 40.0);
    EXPECT_EQ(log().find("stray report"), std::string::npos);
    expectCleanMotion();
}

INSTANTIATE_TEST_SUITE_P(Generated, StrayLeavingTheStandTest, ::testing::Values(&kLasVegas, &kLosAngeles), leaveName);

} // namespace
