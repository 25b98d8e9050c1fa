// The user aircraft: position reports, teleports, Zulu time, on-ground
// reports, the model and its radius, and the object-id text.
#include <gtest/gtest.h>

#include <cmath>

#include "core/clock.h"
#include "liveries/model_database.h"
#include "simlink/sim_link_state.h"
#include "simlink/user_aircraft.h"
#include "simlink/user_model.h"
#include "tests/simlink/packet_builder.h"
#include "tests/simlink/sim_test_support.h"

using kvr::test::Packet;
using kvr::test::simObjectData;

namespace {

Packet positionReport(double lat, double lon, double alt = 500.0, int64_t year = 2024, int64_t day = 1,
                      int64_t seconds = 3600, uint32_t objectId = 1)
{
    Packet p = simObjectData(108, objectId, 120);
    p.put<double>(40, lat).put<double>(48, lon).put<double>(88, alt);
    p.put<int64_t>(120, seconds).put<int64_t>(128, day).put<int64_t>(136, year);
    return p;
}

class UserAircraftTest : public ::testing::Test, public kvr::test::SimLinkTestBase {
protected:
    UserAircraftTest() : SimLinkTestBase("useracft")
    {
        gf_resetUserAircraftState();
        gf_trafficClockInputs().professionalLevel.store(true);
    }
    ~UserAircraftTest() override { gf_trafficClockInputs().professionalLevel.store(false); }

    void report(const Packet& p) { lf_onSimObjectData(p.data(), p.size()); }
};

TEST(ZuluTimeTest, EpochOfYearDayAndSeconds)
{
    struct Case {
        int64_t year, day, seconds;
        std::optional<int64_t> epoch;
    } cases[] = {
        {1970, 1, 0, 0},
        {2024, 1, 3600, 1704070800},
        {2024, 366, 0, 1735603200},
        {2023, 366, 0, std::nullopt},
        {2100, 366, 0, std::nullopt},
        {2000, 366, 0, 951782400 + 306 * 86400},
        {2024, 0, 0, std::nullopt},
        {2024, 1, 86399, 1704067200 + 86399},
        {2024, 1, 86400, std::nullopt},
        {2024, 1, -1, std::nullopt},
        {1969, 365, 0, -86400},
        {1, 1, 0, -62135596800},
        {32768, 1, 0, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_zuluToEpoch(c.year, c.day, c.seconds), c.epoch) << c.year << " " << c.day << " " << c.seconds;
}

TEST_F(UserAircraftTest, ValuesThatAreNotNumbersKeepTheOnesReceivedBefore)
{
    report(positionReport(47.0, 8.0, 500.0));
    report(positionReport(47.001, 8.0, std::nan("")));
    UserAcPosition pos = gf_getUserAcPosition();
    EXPECT_DOUBLE_EQ(pos.latitude, 47.001);
    EXPECT_DOUBLE_EQ(pos.altitude, 500.0);
    report(positionReport(std::nan(""), 8.0, 520.0));
    pos = gf_getUserAcPosition();
    EXPECT_DOUBLE_EQ(pos.latitude, 47.001);
    EXPECT_DOUBLE_EQ(pos.altitude, 520.0);
    EXPECT_FALSE(gf_currentStopRequest());
    const std::string log = kvr::test::flushedLog();
    const std::string line = "==> User aircraft values from the simulator that are not numbers are ignored";
    ASSERT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find(line, log.find(line) + 1), std::string::npos) << log;
}

TEST_F(UserAircraftTest, TeleportOnlyBeyondTenNauticalMilesAfterAKnownPosition)
{
    report(positionReport(47.0, 8.0)); // first report: never a teleport
    report(positionReport(47.0 + 9.999 / 60.0, 8.0));
    EXPECT_FALSE(gf_currentStopRequest());
    report(positionReport(0.0, 0.0)); // 0,0 is not a known position
    report(positionReport(47.0, 8.0));
    EXPECT_FALSE(gf_currentStopRequest());
    report(positionReport(47.0 + 10.01 / 60.0, 8.0));
    auto stop = gf_currentStopRequest();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->code, 2u);
    EXPECT_EQ(stop->arg, 60u);
    EXPECT_NE(kvr::test::flushedLog().find("Teleport\n"), std::string::npos);
}

TEST_F(UserAircraftTest, InvalidZuluTimeIsLoggedOncePerRunOfInvalidReports)
{
    for (int i = 0; i < 10; ++i)
        report(positionReport(47.0, 8.0, 500.0, 2023, 366, 0));
    EXPECT_FALSE(simulatorUtcTime.valid.load());
    report(positionReport(47.0, 8.0, 500.0, 2024, 366, 0));
    EXPECT_TRUE(simulatorUtcTime.valid.load());
    report(positionReport(47.0, 8.0, 500.0, 2024, 1, 86400));
    const std::string log = kvr::test::flushedLog();
    const std::string first = "==> Invalid simulator Zulu time: year=2023, day-of-year=366, seconds=0\n";
    EXPECT_EQ(log.find(first), log.rfind(first));
    EXPECT_NE(log.find(first), std::string::npos);
    EXPECT_NE(log.find("year=2024, day-of-year=1, seconds=86400"), std::string::npos);

    // Without the professional level the time is never valid.
    gf_trafficClockInputs().professionalLevel.store(false);
    report(positionReport(47.0, 8.0));
    EXPECT_FALSE(simulatorUtcTime.valid.load());
}

TEST_F(UserAircraftTest, OnGroundReportsBeforeAndAfterThePosition)
{
    Packet ground = simObjectData(107, 1, 8);
    ground.put<int64_t>(40, 1);
    report(ground); // no position yet: only "arrived"
    EXPECT_EQ(g_userGroundDataArrived.exchange(0), 1);
    EXPECT_EQ(g_userOnGroundState.load(), -1);
    EXPECT_FALSE(userOnGround.load());

    report(positionReport(47.0, 8.0));
    report(ground);
    report(ground);
    EXPECT_EQ(g_userGroundDataArrived.exchange(0), 1);
    EXPECT_EQ(g_userOnGroundState.load(), 1);
    EXPECT_TRUE(userOnGround.load());
    const std::string log = kvr::test::flushedLog();
    const std::string line = "User ground data: SIM ON GROUND=true, AGL=0 ft, altitude=500 ft, groundspeed=0 kt, "
                             "position=47.000000,8.000000\n";
    EXPECT_NE(log.find(line), std::string::npos);
    EXPECT_EQ(log.find(line), log.rfind(line));

    // A short packet changes nothing.
    Packet shortGround = simObjectData(107, 1, 7);
    report(shortGround);
    EXPECT_EQ(g_userGroundDataArrived.load(), 0);
    EXPECT_NE(kvr::test::flushedLog().find("==> SimConnect USER_AC_ON_GROUND payload too small: 47 < 48 bytes"),
              std::string::npos);
}

// ---- Model ---------------------------------------------------------------------

class UserModelTest : public UserAircraftTest {
protected:
    UserModelTest()
    {
        auto& db = gf_modelDatabase();
        db = ModelDatabaseTables{};
        db.icaoModelCodes = {"B738", "A388", "A343", "E55P", "A320", "E190", "B461"};
        db.WingspanTable[gf_modelCode2Id("B738")] = 17.9 / 1852.0;
        db.WingspanTable[gf_modelCode2Id("E190")] = 14.3 / 1852.0;
        db.maxHalfWingspan = 40.0 / 1852.0;
        db.large.insert(gf_modelCode2Id("B738"));
        g_userAnswers.store(0);
        gf_setUserAcTitle("");
    }
    ~UserModelTest() override { gf_modelDatabase() = ModelDatabaseTables{}; }

    void modelReply(const std::string& model)
    {
        Packet p = simObjectData(106, 1, 32);
        p.text(40, model.substr(0, 32));
        report(p);
    }
};

TEST_F(UserModelTest, NormalisationTable)
{
    struct Case {
        const char* model;
        const char* title;
        std::optional<std::string> result;
    } cases[] = {
        {"ATCCOM.AC_MODEL B738.0.text", "", "B738"},
        {"  $$:A380 ", "", "A388"},
        {"", "Airbus A340-300 Lufthansa", "A343"},
        {"737", "DG 737-800 Ryanair", "B738"},
        {"737", "Boeing 737 Generic", std::nullopt},
        {"BA46", "Avro 146-100", "B461"},
        {"Embraer Phenom 300E", "", "E55P"},
        {"XYZ1", "", std::nullopt},
        {"ATCCOM.AC_MODEL_B738.0.text", "", std::nullopt}, // no blank after the prefix
        {"\tB738\n", "", "B738"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_normaliseUserModel(c.model, c.title), c.result) << c.model;
    EXPECT_EQ(gf_cleanUserModel("737", "Boeing 737 Generic"), "737");
    gf_modelDatabase().icaoModelCodes.insert("737");
    EXPECT_EQ(gf_normaliseUserModel("737", "Boeing 737 Generic"), std::optional<std::string>("737"));
}

TEST_F(UserModelTest, KnownModelGivesItsRadiusAndCategory)
{
    modelReply("ATCCOM.AC_MODEL B738.0.text");
    EXPECT_NEAR(g_userAcRadius.load(), 17.9 / 1852.0, 1e-12);
    EXPECT_EQ(g_userAnswers.load(), 2);
    EXPECT_TRUE(ui.last<GuiUpdate::WingspanKnown>().value().known);
    const std::string log = kvr::test::flushedLog();
    EXPECT_NE(log.find("          model raw: ATCCOM.AC_MODEL B738.0.text\n"), std::string::npos);
    EXPECT_NE(log.find("          model normalized: B738\n"), std::string::npos);
    EXPECT_NE(log.find("          SimConnect: User aircraft model: B738, half wing span: 17.9 meter, category: "
                       "Large\n"),
              std::string::npos);
}

TEST_F(UserModelTest, UnknownModelsFallBackToTheLargestRadius)
{
    modelReply("");
    EXPECT_NEAR(g_userAcRadius.load(), 40.0 / 1852.0, 1e-12);
    EXPECT_FALSE(ui.last<GuiUpdate::WingspanKnown>().value().known);
    EXPECT_NE(ui.lastMessage().find("171: No model info"), std::string::npos);

    // A long model, but the title names an Aerosoft A320: deduced; A320 has
    // no wingspan, so the radius stays the largest and is unknown.
    gf_setUserAcTitle("Aerosoft A320 Lufthansa");
    modelReply("AIRBUS A320 NEO");
    EXPECT_NEAR(g_userAcRadius.load(), 40.0 / 1852.0, 1e-12);
    EXPECT_FALSE(ui.last<GuiUpdate::WingspanKnown>().value().known);
    EXPECT_NE(kvr::test::flushedLog().find("User aircraft wing span unknown, max is taken instead"),
              std::string::npos);

    gf_modelDatabase().WingspanTable[gf_modelCode2Id("A320")] = 17.0 / 1852.0;
    modelReply("AIRBUS A320 NEO");
    EXPECT_NEAR(g_userAcRadius.load(), 17.0 / 1852.0, 1e-12);
    EXPECT_TRUE(ui.last<GuiUpdate::WingspanKnown>().value().known);
    EXPECT_NE(kvr::test::flushedLog().find("SimConnect: User aircraft model deduced from title: A320, half wing span: "
                                           "17.0 meter, category: Light"),
              std::string::npos);

    modelReply("camerapod");
    EXPECT_NEAR(g_userAcRadius.load(), 14.3 / 1852.0, 1e-12);
}

TEST_F(UserModelTest, ShortReplyStillCountsAsAnswered)
{
    Packet p = simObjectData(106, 1, 31);
    report(p);
    EXPECT_EQ(g_userAnswers.load(), 2);
    EXPECT_TRUE(std::isnan(g_userAcRadius.load()));
}

TEST_F(UserModelTest, TitleIsCutAndLoggedOnlyWhenItChanges)
{
    const std::string title(60, 'T');
    Packet p = simObjectData(105, 1, 61);
    p.text(40, title);
    report(p);
    report(p);
    EXPECT_EQ(gf_userAcTitle(), std::string(48, 'T'));
    EXPECT_EQ(g_userAnswers.load(), 1);
    const std::string log = kvr::test::flushedLog();
    const std::string line = "SimConnect: user aircraft title: " + std::string(48, 'T') + "\n";
    EXPECT_EQ(log.find(line), log.rfind(line));

    Packet unterminated = simObjectData(105, 1, 4);
    unterminated.text(40, "ABCD");
    report(unterminated);
    EXPECT_NE(kvr::test::flushedLog().find("==> SimConnect USER_AC_TITLE is not null terminated"), std::string::npos);
}

TEST_F(UserModelTest, ObjectIdTextFollowsTheSimulator)
{
    EXPECT_EQ(gf_objectIdText(255), "255");
    kvr::test::selectSimulator(2);
    EXPECT_EQ(gf_objectIdText(255), "ff");
}

// The simulator's position report of the user aircraft with its height
// above ground.
void reportUserHeight(double lat, double lon, double aglFt)
{
    kvr::test::Packet p = kvr::test::simObjectData(108, 1, 120);
    p.put<double>(40, lat).put<double>(48, lon).put<double>(40 + 64, aglFt);
    lf_onSimObjectData(p.data(), p.size());
}

TEST(UserAirborneTest, OnGroundFlagAndHeightAboveGround)
{
    struct Case {
        bool onGround;
        double agl;
        bool airborne;
    } cases[] = {
        {false, 0.0, true},  {true, 600.0, true},          {true, 500.0, false},
        {true, 20.0, false}, {true, std::nan(""), false}, {true, INFINITY, false},
    };
    for (const Case& c : cases) {
        gf_resetUserAircraftState();
        reportUserHeight(47.0, 8.0, c.agl);
        userOnGround.store(c.onGround);
        EXPECT_EQ(lf_userIsAirborne(), c.airborne) << c.onGround << " " << c.agl;
    }
    gf_resetUserAircraftState();
}

} // namespace
