// An aircraft record from a traffic record: radius and search distances,
// category values, engine classes, and the text forms of the log lines.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "engine/aircraft.h"
#include "feed/traffic_records.h"
#include "engine/traffic_aircraft.h"

namespace {

constexpr double kDeg = 3.141592653589793 / 180.0;
constexpr double kNmPerM = 0.0005399568034557236;

class TrafficAircraftTest : public ::testing::Test {
protected:
    void SetUp() override { saved = gf_modelDatabase(); }
    void TearDown() override { gf_modelDatabase() = saved; }

    // A record head of that type, with the half wingspan in metres (0 = none) and category set.
    TrafficIdentity head(std::string_view type, double halfSpanM, std::set<ModelId> ModelDatabaseTables::*set)
    {
        TrafficIdentity h;
        h.ids.model = gf_modelCode2Id(type);
        auto& db = gf_modelDatabase();
        db.WingspanTable.at(h.ids.model) = halfSpanM * kNmPerM;
        if (set)
            (db.*set).insert(h.ids.model);
        h.callsign = "KLM1234";
        h.registration = "PH-BXA";
        return h;
    }

    ModelDatabaseTables saved;
};

TEST_F(TrafficAircraftTest, RadiusAndSearchDistances)
{
    AircraftBase a = AircraftBase::fromTrafficRecord(head("B738", 18.0, &ModelDatabaseTables::large));
    EXPECT_NEAR(a.identity.radius, 18.0 * kNmPerM, 1e-15);
    EXPECT_EQ(a.identity.collisionRadius, a.identity.radius);
    EXPECT_NEAR(a.identity.standSearchNm / kNmPerM, 44.4, 1e-9);
    EXPECT_NEAR(a.identity.optionSearchNm / kNmPerM, 55.5, 1e-9);

    a = AircraftBase::fromTrafficRecord(head("XXXX", 0.0, nullptr));
    EXPECT_EQ(a.identity.radius, 0.0);
    EXPECT_NEAR(a.identity.standSearchNm / kNmPerM, 18.0, 1e-9);

    a = AircraftBase::fromTrafficRecord(head("A388", 40.0, &ModelDatabaseTables::heavy));
    EXPECT_NEAR(a.identity.standSearchNm / kNmPerM, 65.0, 1e-9);

    // Model ids from 2700 on have no wingspan: they take their category's
    // default radius, neither 35 NM nor 0.
    TrafficIdentity beyond;
    beyond.ids.model = 2800;
    a = AircraftBase::fromTrafficRecord(beyond);
    EXPECT_NEAR(a.identity.radius / kNmPerM, 5.5, 1e-9); // Light
    EXPECT_EQ(a.identity.collisionRadius, a.identity.radius);
    EXPECT_NEAR(a.identity.standSearchNm / kNmPerM, 21.9, 1e-9);
    beyond.ids.model = 2801;
    gf_modelDatabase().heavy.insert(gf_modelCode2Id(gf_modelCodeText(2801))); // its category, as the record finds it
    a = AircraftBase::fromTrafficRecord(beyond);
    EXPECT_NEAR(a.identity.radius / kNmPerM, 30.0, 1e-9);
    EXPECT_NEAR(a.identity.standSearchNm / kNmPerM, 65.0, 1e-9);
}

TEST_F(TrafficAircraftTest, CategoryValuesAndEngineClasses)
{
    TrafficIdentity h = head("AT76", 13.5, &ModelDatabaseTables::large);
    h.origin = IataCode("AMS");
    h.text1 = "KL1234";
    AircraftBase a = AircraftBase::fromTrafficRecord(h);
    EXPECT_EQ(a.identity.category, Category::Large);
    EXPECT_TRUE(a.identity.jet && a.identity.regional);
    EXPECT_FALSE(a.identity.pistonTwin || a.identity.pistonSingle);
    EXPECT_EQ(a.identity.origin, IataCode("AMS"));
    EXPECT_EQ(a.identity.callsign2, "KL1234");
    EXPECT_EQ(a.identity.registration, "PH-BXA");
    EXPECT_EQ(a.identity.cgDefaultFt, 8.0);
    EXPECT_EQ(a.identity.modelValues, (std::array<uint32_t, 4>{400, 350, 200, 300}));
    EXPECT_NEAR(a.identity.baseTurnRate, 0.07 * kDeg, 1e-15);
    // Plus or minus exactly the percentage.
    EXPECT_NEAR(std::fabs(a.identity.rotationPitch / kDeg + 6.0), 0.15, 1e-9);
    EXPECT_NEAR(std::fabs(a.identity.climbPitch / kDeg + 16.5), 0.825, 1e-9);

    a = AircraftBase::fromTrafficRecord(head("C172", 5.5, nullptr));
    EXPECT_EQ(a.identity.category, Category::Light);
    EXPECT_TRUE(a.identity.pistonSingle);
    EXPECT_FALSE(a.identity.jet || a.identity.regional || a.identity.pistonTwin);
    EXPECT_EQ(a.identity.cgDefaultFt, 3.0);

    a = AircraftBase::fromTrafficRecord(head("PA34", 6.0, &ModelDatabaseTables::twoProps));
    EXPECT_TRUE(a.identity.pistonTwin);
    a = AircraftBase::fromTrafficRecord(head("EC35", 5.0, &ModelDatabaseTables::rotorcraft));
    EXPECT_EQ(a.identity.cgDefaultFt, 4.0);
    EXPECT_FALSE(a.identity.jet || a.identity.pistonSingle);
}

TEST_F(TrafficAircraftTest, KindText)
{
    AirlOprModel kind;
    kind.airline = gf_airlineCode2Id("KLM");
    kind.model = gf_modelCode2Id("B738");
    EXPECT_EQ(lf_formatAirlOprModelText(kind), "KLM     B738    ");
    kind.oper = gf_airlineCode2Id("TRA");
    kind.cargo = 1;
    kind.flag = 1;
    EXPECT_EQ(fmt::format("[{}]", lf_formatAirlOprModelArg(kind)), "[KLM,TRA B738.(C)]");
    EXPECT_EQ(lf_formatRouteArg(IataCode("AMS"), IataCode()), "AMS->   ");
}

} // namespace
