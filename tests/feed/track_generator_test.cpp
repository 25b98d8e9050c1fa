// Synthetic tracks on real runways (Amsterdam, Las Vegas), with the
// properties of real App recordings, and their play-back by the stand-in
// App's scenario.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>

#include "core/geodesy.h"
#include "standins/rt_app_scenario.h"
#include "standins/track_generator.h"

using namespace kvr::standin;

namespace {

const std::filesystem::path kEham = std::filesystem::path(KELO_SOURCE_DIR) / "../shared/data/runways-eham.csv";

double lf_nmBetween(const TrackPoint& p, LatLon q)
{
    return gf_distanceNm({p.lat, p.lon}, q);
}

TEST(TrackGenerator, LandingFollowsAThreeDegreePathToTheTouchDownPointAndRollsOut)
{
    const auto runways = gf_loadRunwayCsv(kEham);
    ASSERT_EQ(runways.size(), 6u);
    const RunwayEndGeometry& r18r = gf_runwayEnd(runways, "18R");
    EXPECT_EQ(gf_oppositeEnd(runways, "18R").ident, "36L");
    EXPECT_DOUBLE_EQ(r18r.headingDeg, 183.0);
    const auto track = gf_landingTrack(r18r, 8.0);
    EXPECT_NEAR(lf_nmBetween(track.front(), r18r.threshold), 8.0 - 300.0 / 1852.0, 0.02);
    EXPECT_NEAR(track.front().altFt - r18r.elevationFt, 8.0 * 6076.12 * std::tan(3.0 * std::numbers::pi / 180.0), 1.0);
    const auto touch = std::find_if(track.begin(), track.end(), [](const TrackPoint& p) { return p.onGround; });
    ASSERT_NE(touch, track.end());
    EXPECT_NEAR(lf_nmBetween(*touch, r18r.threshold) * 1852.0, 300.0, 5.0);
    EXPECT_NEAR(touch->altFt, r18r.elevationFt, 1.0);
    for (auto p = track.begin(); p != touch; ++p)
        EXPECT_GT(p->altFt, r18r.elevationFt - 1.0);
    EXPECT_NEAR(track.back().gsKt, 15.0, 2.0);
    EXPECT_NEAR(track.back().trackDeg, 183.0, 1e-6);
}

TEST(TrackGenerator, TakeOffLiftsOffAtTheRotationSpeedAndTaxiEndsOnItsLastPoint)
{
    const auto runways = gf_loadRunwayCsv(kEham);
    const auto track = gf_takeOffTrack(gf_runwayEnd(runways, "24"), 145.0, 3000.0);
    const auto lift = std::find_if(track.begin(), track.end(), [](const TrackPoint& p) { return !p.onGround; });
    ASSERT_NE(lift, track.end());
    EXPECT_GE(lift->gsKt, 145.0);
    EXPECT_LT((lift - 1)->gsKt, 145.0);
    EXPECT_NEAR(track.back().altFt, 3000.0, 40.0);

    const std::vector<LatLon> path{{52.3000, 4.7600}, {52.3010, 4.7600}, {52.3010, 4.7630}};
    const auto taxi = gf_taxiTrack(path, -11.0, 15.0);
    EXPECT_EQ(taxi.front().gsKt, 0.0);
    EXPECT_DOUBLE_EQ(taxi.back().lat, 52.3010);
    EXPECT_DOUBLE_EQ(taxi.back().lon, 4.7630);
    for (size_t i = 1; i < taxi.size(); ++i) // no step longer than the speed allows
        EXPECT_LE(gf_distanceNm({taxi[i - 1].lat, taxi[i - 1].lon}, {taxi[i].lat, taxi[i].lon}),
                  15.0 / 3600.0 * (taxi[i].t - taxi[i - 1].t) + 1e-6);

    // A departure: the taxi, then the take-off a second apart (it holds 10 s).
    const auto departure = gf_departureTrack(gf_runwayEnd(runways, "24"), 1000.0, 145.0, 3000.0);
    const auto stop = std::find_if(departure.begin(), departure.end(), [](const TrackPoint& p) { return p.gsKt == 0.0; });
    ASSERT_NE(stop, departure.end());
    for (auto p = stop + 1; p != departure.end(); ++p)
        ASSERT_NEAR(p->t - (p - 1)->t, 1.0, 1e-9) << p - departure.begin();
    EXPECT_EQ(std::find_if(stop, departure.end(), [](const TrackPoint& p) { return p.gsKt > 0.0; }) - stop, 11);
}

TEST(TrackGenerator, AScenarioTrackIsReportedOnlyWhileItLasts)
{
    const auto file = std::filesystem::temp_directory_path() / "kelo_track_scenario.json";
    std::ofstream(file) << R"({"airport":"EHAM","aircraft":[{"hexid":1,"type":"B738","points":[
        [10,52.0,4.0,1000,200,350,0],[20,52.1,4.0,2000,220,10,600]]},
        {"hexid":2,"type":"B738","reports":true,"points":[[10,53.0,4.0,1000,200,350,0],[20,53.1,4.0,2000,220,10,600]]}]})";
    const RtAppScenario s = RtAppScenario::load(file);
    EXPECT_TRUE(s.stateAt(5.0).empty());
    EXPECT_TRUE(s.stateAt(20.5).empty());
    const auto mid = s.stateAt(15.0);
    ASSERT_EQ(mid.size(), 2u);
    // Reports stand as they are, each sent once.
    EXPECT_EQ(mid[1].lat, 53.0);
    EXPECT_EQ(mid[1].groundSpeed, 200.0);
    EXPECT_EQ(s.stateAt(17.0, 15.0).size(), 1u);
    const auto next = s.stateAt(20.0, 17.0);
    ASSERT_EQ(next.size(), 2u);
    EXPECT_EQ(next[1].lat, 53.1);
    EXPECT_DOUBLE_EQ(mid[0].lat, 52.05);
    EXPECT_DOUBLE_EQ(mid[0].altitude, 1500.0);
    EXPECT_NEAR(mid[0].track, 0.0, 1e-9); // across north, not through south
    std::filesystem::remove(file);
}

TEST(TrackGenerator, AppReportsAreTenSecondsApartRoundedNoisyAndRepeatable)
{
    const auto runways = gf_loadRunwayCsv(kEham);
    const auto track = gf_taxiCornersTrack({52.2950, 4.7900}, 0.0, -11.0, 25.0);
    const auto reports = gf_appReports(track, {.seed = 7});
    ASSERT_GT(reports.size(), 8u);
    EXPECT_EQ(reports.front().t, track.front().t);
    EXPECT_EQ(reports.back().t, track.back().t);
    bool jittered = false;
    for (size_t i = 0; i < reports.size(); ++i) {
        const TrackPoint& r = reports[i];
        EXPECT_EQ(r.gsKt, std::round(r.gsKt));
        EXPECT_EQ(r.trackDeg, std::round(r.trackDeg));
        if (i + 2 < reports.size()) { // the last interval ends with the track
            EXPECT_NEAR(reports[i + 1].t - r.t, 10.0, 1.0);
            jittered = jittered || std::abs(reports[i + 1].t - r.t - 10.0) > 0.1;
        }
        // Moving: 5-30 m off the track; standing: a few metres, 0-2 kt.
        const auto next = std::lower_bound(track.begin(), track.end(), r.t,
                                           [](const TrackPoint& p, double t) { return p.t < t; });
        const TrackPoint& a = next == track.begin() ? *next : *(next - 1);
        const double w = next->t > a.t ? (r.t - a.t) / (next->t - a.t) : 0.0;
        const LatLon truth{a.lat + (next->lat - a.lat) * w, a.lon + (next->lon - a.lon) * w};
        const double off = lf_nmBetween(r, truth) * 1852.0;
        const auto near = next;
        if (near->gsKt >= 1.0 && a.gsKt >= 1.0) {
            EXPECT_GE(off, 4.9);
            EXPECT_LE(off, 30.1);
        } else {
            EXPECT_LE(off, 3.1);
            EXPECT_LE(r.gsKt, 2.0);
        }
    }
    EXPECT_TRUE(jittered);
    const auto again = gf_appReports(track, {.seed = 7});
    ASSERT_EQ(again.size(), reports.size());
    EXPECT_EQ(again[3].lat, reports[3].lat);
    EXPECT_NE(gf_appReports(track, {.seed = 8})[3].lat, reports[3].lat);

    // The turn-back arrival: the first report after the roll lies 500 m back
    // along the runway, on the taxiway, heading the other way.
    const RunwayEndGeometry& r36r = gf_runwayEnd(runways, "36R");
    const auto back = gf_appReports(gf_turnBackArrivalTrack(r36r), {.seed = 3});
    const auto after = std::find_if(back.begin() + 1, back.end(), [](const TrackPoint& p) {
        return p.onGround && std::abs(std::remainder(p.trackDeg - 183.0, 360.0)) < 10.0;
    });
    ASSERT_NE(after, back.end());
    const TrackPoint& seen = *(after - 1);
    EXPECT_GE(seen.gsKt, 40.0);
    const double behind = lf_nmBetween(seen, {after->lat, after->lon}) * 1852.0;
    EXPECT_GE(behind, 500.0);
    EXPECT_LE(behind, 900.0);
    EXPECT_GT(after->t - seen.t, 30.0);

    // Airborne multilateration: reports step back and forth along the track.
    const auto air = gf_appReports(gf_cruiseTrack({52.2, 4.7}, 1500.0, 100.0, 45.0, 120.0), {.seed = 1, .airJumpM = 400.0});
    size_t backwards = 0;
    for (size_t i = 1; i < air.size(); ++i) {
        const double b = gf_initialBearing({air[i - 1].lat, air[i - 1].lon}, {air[i].lat, air[i].lon}) * 180.0 / std::numbers::pi;
        backwards += std::abs(std::remainder(b - 45.0, 360.0)) > 90.0 ? 1 : 0;
    }
    EXPECT_GT(backwards, 2u);
}

const std::filesystem::path kKlas = std::filesystem::path(KELO_SOURCE_DIR) / "../shared/data/runways-klas.csv";

double lf_metresBetween(const TrackPoint& a, const TrackPoint& b)
{
    return gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon}) * 1852.0;
}

double lf_offCentreLineM(const TrackPoint& p, const RunwayEndGeometry& end)
{
    const double bearing = gf_initialBearing(end.threshold, {p.lat, p.lon}) * 180.0 / std::numbers::pi;
    return gf_distanceNm(end.threshold, {p.lat, p.lon}) * 1852.0 *
           std::sin((bearing - end.headingDeg) * std::numbers::pi / 180.0);
}

// Stale repeats (with the position's time or the time sent) and pressure
// altitudes under the field on final at Las Vegas.
TEST(TrackGenerator, ReportsRepeatStaleAndGivePressureAltitudes)
{
    const auto runways = gf_loadRunwayCsv(kKlas);
    const RunwayEndGeometry& r26l = gf_runwayEnd(runways, "26L");
    const auto track = gf_landingTrack(r26l, 5.0);
    for (bool keepsTime : {true, false}) {
        const auto reports = gf_appReports(track, {.seed = 5, .staleEvery = 3, .staleKeepsTime = keepsTime});
        size_t repeats = 0;
        for (size_t i = 1; i < reports.size(); ++i) {
            const TrackPoint &a = reports[i - 1], &b = reports[i];
            if (a.lat != b.lat || a.lon != b.lon)
                continue;
            ++repeats;
            EXPECT_EQ(b.altFt, a.altFt);
            EXPECT_EQ(b.gsKt, a.gsKt);
            EXPECT_GT(b.t, a.t + 8.0) << "sent in a later batch";
            EXPECT_EQ(b.lineTime(), keepsTime ? a.lineTime() : b.t);
        }
        EXPECT_GE(repeats, reports.size() / 5) << keepsTime;
    }
    // QNH 30.19 at 2 000 ft: pressure altitudes 270 ft under the true ones.
    const auto pressure = gf_appReports(track, {.seed = 5, .pressureOffsetFt = 270.0});
    const auto touch = std::find_if(pressure.begin(), pressure.end(), [](const TrackPoint& p) { return p.onGround; });
    ASSERT_NE(touch, pressure.end());
    ASSERT_NE(touch, pressure.begin());
    EXPECT_LT((touch - 1)->altFt, r26l.elevationFt) << "the last air report under the field";
    for (auto p = pressure.begin(); p != touch; ++p)
        EXPECT_EQ(std::fmod(p->altFt, 25.0), 0.0);
    EXPECT_EQ(touch->altFt, gf_appReports(track, {.seed = 5})[touch - pressure.begin()].altFt) << "ground reports stay";
}

// Real ground traffic: an exit report beside the runway at a third of the
// roll speed, a turn hidden in a reception gap, push-backs whose track is the
// direction of motion or the nose's.
TEST(TrackGenerator, GroundCasesOfRealRecordings)
{
    const auto runways = gf_loadRunwayCsv(kKlas);
    const RunwayEndGeometry& r26l = gf_runwayEnd(runways, "26L");
    const auto exit = gf_appReports(gf_sideExitTrack(r26l, 60.0), {.seed = 2});
    const auto beside = std::find_if(exit.begin(), exit.end(), [&](const TrackPoint& p) {
        return p.onGround && std::abs(lf_offCentreLineM(p, r26l)) > 60.0;
    });
    ASSERT_NE(beside, exit.end());
    ASSERT_NE(beside, exit.begin());
    const TrackPoint& rolling = *(beside - 1);
    EXPECT_LT(std::abs(lf_offCentreLineM(rolling, r26l)), 40.0) << "the report before on the runway";
    EXPECT_NEAR(rolling.gsKt, 60.0, 1.0);
    EXPECT_NEAR(beside->gsKt, 20.0, 1.0);
    EXPECT_LT(lf_offCentreLineM(*beside, r26l), -60.0) << "left of the runway";
    EXPECT_GT(lf_offCentreLineM(*beside, r26l), -150.0) << "beside it, not far off";

    const auto gap = gf_appReports(gf_gapTurnTrack({36.08, -115.15}, 0.0, 2181.0, 15.0, 90.0), {.seed = 4});
    size_t turnedAt = 0;
    for (size_t i = 1; i < gap.size() && !turnedAt; ++i)
        turnedAt = std::abs(std::remainder(gap[i].trackDeg - 90.0, 360.0)) < 5.0 ? i : 0;
    ASSERT_GT(turnedAt, 0u);
    EXPECT_LT(std::abs(std::remainder(gap[turnedAt - 1].trackDeg, 360.0)), 5.0) << "the old heading before the gap";
    EXPECT_GE(gap[turnedAt].t - gap[turnedAt - 1].t, 30.0) << "no report inside the gap";

    const LatLon gate{36.0820, -115.1500};
    for (PushBackTrack convention : {PushBackTrack::Motion, PushBackTrack::Nose}) {
        const auto push = gf_pushBackTrack(gate, 90.0, 2181.0, convention);
        const auto moving = std::find_if(push.begin(), push.end(), [](const TrackPoint& p) { return p.gsKt > 0.0; });
        ASSERT_NE(moving, push.end());
        const double bearing = gf_initialBearing(gate, {moving->lat, moving->lon}) * 180.0 / std::numbers::pi;
        EXPECT_NEAR(std::remainder(bearing - 270.0, 360.0), 0.0, 1.0) << "moves tail first";
        EXPECT_EQ(moving->trackDeg, convention == PushBackTrack::Motion ? 270.0 : 90.0);
        EXPECT_NEAR(lf_metresBetween(push.front(), *std::find_if(moving, push.end(), [](const TrackPoint& p) {
                        return p.gsKt == 0.0;
                    })),
                    50.0, 0.5);
        EXPECT_NEAR(push.back().trackDeg, 180.0, 1e-6) << "away nose first onto the lane";
    }
}

} // namespace
