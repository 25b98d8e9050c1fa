// Which stands take which aircraft, and the nearest stand with the option fallback.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/aircraft.h"
#include "stands/stand_fit.h"
#include "engine/stand_questions.h"

namespace {

constexpr double kNmPerM = 1.0 / 1852.0;
const LatLon kBase{52.3, 4.76};

LatLon flatOffset(double northM, double eastM)
{
    return {kBase.latitude + northM / 1852.0 / 60.0,
            kBase.longitude + eastM / 1852.0 / (60.0 * std::cos(kBase.latitude * 3.141592653589793 / 180.0))};
}

Stand makeStand(int32_t id, StandType type, double radiusM, const LatLon& at = kBase)
{
    Stand s;
    s.id = id;
    s.name = "S" + std::to_string(id);
    s.type = type;
    s.radius = radiusM * kNmPerM;
    s.lat = at.latitude;
    s.lon = at.longitude;
    return s;
}

AircraftBase makeAircraft(Category category, double radiusM, double standSearchM, double optionSearchM)
{
    AircraftBase a;
    a.identity.category = category;
    a.identity.radius = radiusM * kNmPerM;
    a.identity.standSearchNm = standSearchM * kNmPerM;
    a.identity.optionSearchNm = optionSearchM * kNmPerM;
    a.identity.callsign = "KLM123";
    a.identity.ids.airline = 7;
    a.identity.ids.model = 9;
    return a;
}

TEST(StandFitTest, TypesAdmitTheirCategories)
{
    // Letters by category 0..6 (Light, TwoProps, Bizjet, Large, Heavy, HighPerf, Rotorcraft) and 7 (none).
    const std::pair<uint32_t, const char*> admitted[] = {
        {0, "........"}, {1, "LTB...R."}, {2, "LTB...R."}, {3, "..BL..R."}, {4, "...LH..."}, {5, "...LH..."},
        {6, "..BLH.R."}, {7, ".....PR."}, {8, "LTBL...."}, {9, "..BL...."}, {10, "...LH..."}, {11, "LTB...R."},
        {12, "LTBLHPRX"}, {13, "........"}, {14, "LTBLHPRX"}, {15, "LTBLHPRX"}, {99, "LTBLHPRX"},
    };
    for (const auto& [type, expected] : admitted) {
        const Stand stand = makeStand(1, static_cast<StandType>(type), 20.0);
        for (uint32_t category = 0; category < 8; ++category)
            EXPECT_EQ(gf_standFitsAircraft(stand, static_cast<Category>(category), 20.0 * kNmPerM), expected[category] != '.')
                << "type " << type << " category " << category;
    }
}

TEST(StandFitTest, WidthLimits)
{
    const Category large = Category::Large;
    const auto fits = [&](StandType type, double aircraftRadiusM) {
        return gf_standFitsAircraft(makeStand(1, type, 20.0), large, aircraftRadiusM * kNmPerM);
    };
    EXPECT_FALSE(fits(StandType::GATE_SMALL, 23.0));
    EXPECT_TRUE(fits(StandType::GATE_MEDIUM, 23.0));
    EXPECT_FALSE(fits(StandType::GATE_MEDIUM, 26.0)); // 6 m wider fits nowhere
    EXPECT_FALSE(fits(StandType::FUEL, 26.0));
    EXPECT_TRUE(fits(StandType::FUEL, 24.9));
    EXPECT_FALSE(fits(StandType::FUEL, 25.1));
    EXPECT_TRUE(fits(StandType::GATE_EXTRA, 21.7));
    EXPECT_FALSE(fits(StandType::GATE_EXTRA, 21.9));
}

TEST(StandFitTest, NearestStandReachAndHelipads)
{
    const AircraftBase large = makeAircraft(Category::Large, 15.0, 44.0, 55.0);
    std::vector<Stand> stands{makeStand(1, StandType::GATE_MEDIUM, 20.0, flatOffset(80.0, 30.0)),
                              makeStand(2, StandType::GATE_MEDIUM, 20.0, flatOffset(40.0, 0.0)),
                              makeStand(3, StandType::RAMP_GA, 20.0, flatOffset(30.0, 0.0))};
    stands[2].helipad = 1;
    double distance = 0.0;
    const Stand* found = gf_findNearestStand(stands, kBase, gf_standFitQuery(large), distance, false);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->id, 2); // the helipad is nearer but not for a Large aircraft
    EXPECT_NEAR(distance, 40.0, 0.01);

    // 80 m north and 30 m east lies in the box but outside the 81.25 m circle.
    stands[1].blocked = 1;
    AircraftBase wide = large;
    wide.identity.standSearchNm = 200.0 * kNmPerM;
    EXPECT_EQ(gf_findNearestStand(stands, kBase, gf_standFitQuery(wide), distance, false), nullptr);
    EXPECT_EQ(distance, 99999.0);

    const AircraftBase heli = makeAircraft(Category::Rotorcraft, 6.0, 35.0, 40.0);
    found = gf_findNearestStand(stands, kBase, gf_standFitQuery(heli), distance, false);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->id, 3);
    stands[2].helipad = 0;
    EXPECT_EQ(gf_findNearestStand(stands, kBase, gf_standFitQuery(heli), distance, false), nullptr);
    EXPECT_EQ(gf_findNearestStand({}, kBase, gf_standFitQuery(heli), distance, true), nullptr);

    // A stand 2 m away across the 180th meridian.
    const std::vector<Stand> dateline{makeStand(4, StandType::GATE_MEDIUM, 20.0, {-16.7, 179.99999})};
    found = gf_findNearestStand(dateline, {-16.7, -179.999992}, gf_standFitQuery(large), distance, false);
    ASSERT_NE(found, nullptr);
    EXPECT_NEAR(distance, 0.000018 * 60.0 * 1852.0 * std::cos(16.7 * 3.141592653589793 / 180.0), 0.01);
}

TEST(StandFitTest, OptionFallback)
{
    const AircraftBase a = makeAircraft(Category::Large, 15.0, 30.0, 60.0);
    std::vector<Stand> stands{makeStand(1, StandType::GATE_MEDIUM, 20.0, flatOffset(50.0, 0.0)),
                              makeStand(2, StandType::GATE_MEDIUM, 20.0, flatOffset(45.0, 0.0)),
                              makeStand(3, StandType::GATE_MEDIUM, 20.0, flatOffset(0.0, 28.0))};
    StandOption byCallsign;
    byCallsign.optionId = 1;
    byCallsign.real = 1;
    byCallsign.callsign2 = "KLM123";
    stands[0].options.push_back(byCallsign);
    StandOption byKind;
    byKind.optionId = 1;
    byKind.real = 1;
    byKind.aom = a.identity.ids;
    byKind.aom.flag = 1; // the marker is not compared
    stands[1].options.push_back(byKind);

    // A stand within the stand search distance wins over nearer-by-option ones.
    double distance = 0.0;
    const Stand* found = gf_findNearestStand(stands, kBase, gf_standFitQuery(a), distance, true);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->id, 3);

    // Without it: the nearest stand with an option within the option search distance.
    stands[2].blocked = 1;
    found = gf_findNearestStand(stands, kBase, gf_standFitQuery(a), distance, true);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->id, 2);
    EXPECT_NEAR(distance, 45.0, 0.01);
    EXPECT_EQ(gf_findNearestStand(stands, kBase, gf_standFitQuery(a), distance, false), nullptr);
    EXPECT_EQ(distance, 99999.0);

    // A void, soft or foreign option does not count.
    stands[1].options[0].real = 0;
    EXPECT_EQ(gf_findNearestStand(stands, kBase, gf_standFitQuery(a), distance, true)->id, 1);
    stands[0].options[0].optionId = 0;
    EXPECT_EQ(gf_findNearestStand(stands, kBase, gf_standFitQuery(a), distance, true), nullptr);
    EXPECT_FALSE(gf_standHasOptionFor(stands[0], "", a.identity.ids));
}

} // namespace
