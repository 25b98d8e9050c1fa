// Synthetic tracks on Amsterdam's real runways, and their play-back by the
// stand-in App's scenario.
#include <gtest/gtest.h>

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
        [10,52.0,4.0,1000,200,350,0],[20,52.1,4.0,2000,220,10,600]]}]})";
    const RtAppScenario s = RtAppScenario::load(file);
    EXPECT_TRUE(s.stateAt(5.0).empty());
    EXPECT_TRUE(s.stateAt(20.5).empty());
    const auto mid = s.stateAt(15.0);
    ASSERT_EQ(mid.size(), 1u);
    EXPECT_DOUBLE_EQ(mid[0].lat, 52.05);
    EXPECT_DOUBLE_EQ(mid[0].altitude, 1500.0);
    EXPECT_NEAR(mid[0].track, 0.0, 1e-9); // across north, not through south
    std::filesystem::remove(file);
}

} // namespace
