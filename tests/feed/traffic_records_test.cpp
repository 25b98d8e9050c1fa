// The conversion of received values into traffic records and its rules.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/clock.h"
#include "engine/engine_reports.h"
#include "feed/traffic_records.h"
#include "liveries/model_database.h"
#include "tests/feed/feed_test_support.h"

using namespace kvr::test;

namespace {

constexpr double kUserLat = 52.3;
constexpr double kUserLon = 4.76;

class LiveConversion : public ::testing::Test {
protected:
    void SetUp() override
    {
        setRTApp(true);
        setRangeNm(40.0);
        gf_modifyParameters([](Parameters& p) { p.blockFilter = BlockFilter(); });
        setCurrentAirport(0x45484148, kUserLat, kUserLon, 0.0); // EHAM
        gf_publishUserAcPosition(UserAcPosition{});
        settings = gf_parametersSnapshot();
        context.userLat = kUserLat;
        context.userLon = kUserLon;
        context.cosUserLat = std::cos(kUserLat * std::numbers::pi / 180.0);
        context.qnh = 1013;
        context.sourceTag = 1;
        context.settings = settings.get();
    }
    void TearDown() override { setCurrentAirport(0, 0, 0, 0); }

    // An airborne A320 near the user.
    ParsedTrafficFields airborne()
    {
        ParsedTrafficFields f;
        f.timestamp = 1700000000.25;
        f.hexid = 0x484F6D;
        f.lat = kUserLat + 0.1;
        f.lon = kUserLon;
        f.altitude = 8000;
        f.groundSpeed = 250;
        f.track = 90;
        f.callsign = "KLM123";
        f.type = "A320";
        f.registration = "PH-EXA";
        f.origin = "AMS";
        f.destination = "LHR";
        return f;
    }

    std::optional<LiveTrafficRecord> convert(const ParsedTrafficFields& f)
    {
        return gf_makeLiveTrafficRecord(f, context).record;
    }

    std::shared_ptr<const Parameters> settings;
    TrafficConversionContext context;
};

} // namespace

TEST_F(LiveConversion, CopiesTheValuesOfAWantedAircraft)
{
    auto r = convert(airborne());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->callsign, "KLM123");
    EXPECT_EQ(r->registration, "PH-EXA");
    EXPECT_EQ(gf_modelCodeText(r->ids.model), "A320");
    EXPECT_EQ(gf_airlineCodeText(r->ids.airline), "KLM");
    EXPECT_EQ(r->origin.toString(), "AMS");
    EXPECT_EQ(r->destination.toString(), "LHR");
    EXPECT_EQ(r->altitude, 8000);
    EXPECT_EQ(r->airborne, 1);
    EXPECT_EQ(r->hexid, 0x484F6Du);
    EXPECT_EQ(r->timestamp, 1700000000.25);
    EXPECT_EQ(r->playTime, 0);
    EXPECT_FALSE(r->hasTrueHeading);
}

TEST_F(LiveConversion, HexidAndRange)
{
    auto f = airborne();
    f.hexid = 10000;
    EXPECT_FALSE(convert(f));
    f.hexid = 10001;
    EXPECT_TRUE(convert(f));

    f.lat = kUserLat + 41.0 / 60.0; // 41 NM north with a 40 NM range
    auto result = gf_makeLiveTrafficRecord(f, context);
    EXPECT_FALSE(result.record);
    EXPECT_EQ(result.timestamp, 1700000000u); // still reported

    context.settings = nullptr;
    EXPECT_FALSE(gf_makeLiveTrafficRecord(airborne(), context).record);
}

TEST_F(LiveConversion, MalformedValuesThrowTheirTexts)
{
    auto f = airborne();
    f.timestamp = -1.0;
    try {
        convert(f);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "timestamp outside range: -1.000");
    }
    f = airborne();
    f.lat = 91.0;
    try {
        convert(f);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "invalid lalo: 91.000000,4.760000");
    }
    f = airborne();
    f.source = "adsb_icao";
    f.trueHeading = 361.0;
    try {
        convert(f);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "true heading: 361.00");
    }
}

TEST_F(LiveConversion, TrueHeadingTrackBankAndTas)
{
    auto f = airborne();
    f.source = "adsb_icao";
    f.trueHeading = 0.0;
    f.track = 0.0;
    auto r = convert(f);
    ASSERT_TRUE(r);
    EXPECT_DOUBLE_EQ(*r->trueHeading, 2 * std::numbers::pi);
    EXPECT_DOUBLE_EQ(r->track, 360.0);
    EXPECT_EQ(r->hasTrueHeading, 1);

    f.trueHeading = -5.0;
    r = convert(f);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->trueHeading);
    EXPECT_EQ(r->track, 0.0);

    f = airborne();
    f.roll = -1.0;
    EXPECT_FALSE(convert(f)->bank);
    f.roll = 20.0;
    EXPECT_NEAR(*convert(f)->bank, -0.349066, 1e-6);

    f.tas = -1.0;
    f.altitude = 4000;
    EXPECT_EQ(convert(f)->tas, 220.0);
    f.altitude = 25000;
    EXPECT_EQ(convert(f)->tas, 430.0);
    f.tas = 301.0;
    EXPECT_EQ(convert(f)->tas, 301.0);
}

TEST_F(LiveConversion, GroundTrafficOnlyNearTheCurrentAirport)
{
    auto f = airborne();
    f.altitude = 0;
    f.groundSpeed = 10;
    f.roll = 20.0;
    f.lat = kUserLat + 4.9 / 60.0;
    auto r = convert(f);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->airborne, 0);
    EXPECT_FALSE(r->bank); // roll on the ground is ignored

    f.lat = kUserLat + 6.0 / 60.0;
    EXPECT_FALSE(convert(f));
    f.lat = kUserLat + 1.0 / 60.0;
    setCurrentAirport(0, 0, 0, 0);
    EXPECT_FALSE(convert(f));
}

TEST_F(LiveConversion, AirborneWithoutSpeedOrNameIsDropped)
{
    auto f = airborne();
    f.groundSpeed = 0;
    EXPECT_FALSE(convert(f));
    f.groundSpeed = std::nan("");
    EXPECT_FALSE(convert(f));
    f = airborne();
    f.callsign = "";
    f.registration = "null";
    EXPECT_FALSE(convert(f));
}

TEST_F(LiveConversion, QnhCorrectionByMode)
{
    context.qnh = 1023;
    auto f = airborne();
    f.altitude = 5000;
    EXPECT_EQ(convert(f)->altitude, 5000.0);
    setRTApp(false);
    EXPECT_DOUBLE_EQ(convert(f)->altitude, 5292.5);

    // Above 19000 ft both follow the user's altimeter difference.
    UserAcPosition user;
    user.altitude = 30100;
    user.indicatedAltitude = 30000;
    gf_publishUserAcPosition(user);
    f.altitude = 30000;
    EXPECT_DOUBLE_EQ(convert(f)->altitude, 30100.0);
    setRTApp(true);
    EXPECT_DOUBLE_EQ(convert(f)->altitude, 30100.0 - 292.5);
}

TEST_F(LiveConversion, LowAndSlowAboveTheAirportIsOnTheGround)
{
    context.airportAltitude = 100.0;
    auto f = airborne();
    f.lat = kUserLat + 1.0 / 60.0;
    f.altitude = 160;
    f.groundSpeed = 30;
    auto r = convert(f);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->altitude, 0.0);
    EXPECT_EQ(r->airborne, 0);
    f.groundSpeed = 130;
    EXPECT_EQ(convert(f)->altitude, 160.0);
}

TEST_F(LiveConversion, TypeRulesAndCargo)
{
    auto& db = gf_modelDatabase();
    const AirlineId cargoAirline = gf_airlineCode2Id("FDX");
    db.cargoOperatorIds.insert(cargoAirline);
    auto f = airborne();
    f.type = "B777";
    f.callsign = "FDX12";
    auto r = convert(f);
    db.cargoOperatorIds.erase(cargoAirline);
    ASSERT_TRUE(r);
    EXPECT_EQ(gf_modelCodeText(r->ids.model), "B77F");
    EXPECT_EQ(r->ids.cargo, 1);

    for (const char* type : {"ZZZZ", "GLID", "", "null", "0", "X", "ABCDE"}) {
        f.type = type;
        EXPECT_FALSE(convert(f)) << type;
    }
    f.type = "A320";
    f.category = "B2";
    EXPECT_FALSE(convert(f));
    f.category = "A3";
    EXPECT_TRUE(convert(f));

    ModelFixes["A20N_X"] = "A20N";
    f.type = "A20N_X";
    r = convert(f);
    ModelFixes.clear();
    ASSERT_TRUE(r);
    EXPECT_EQ(gf_modelCodeText(r->ids.model), "A20N");
}

TEST_F(LiveConversion, CallsignAndRegistrationTexts)
{
    const std::pair<const char*, const char*> callsigns[] = {
        {".AB", ""}, {".ABC1", "ABC1"}, {"AB", ""}, {"ABCDEFGHI", ""}, {"N00000X", ""},
        {"null", ""}, {"A@B12", ""}, {"DLH4AB", "DLH4AB"}};
    for (auto [in, out] : callsigns)
        EXPECT_EQ(lf_normalizeCallsign(in), out) << in;

    auto f = airborne();
    f.registration = "D-ABCDEFGHIJKL";
    EXPECT_EQ(convert(f)->registration, "");
    f.registration = "AB";
    EXPECT_EQ(convert(f)->registration, "");
}

TEST_F(LiveConversion, AnAircraftWithoutARouteIsKept)
{
    for (const char* route : {"", "null", "AMST", "A-B"}) {
        auto f = airborne();
        f.origin = route;
        f.destination = route;
        auto r = convert(f);
        ASSERT_TRUE(r) << route;
        EXPECT_FALSE(r->origin.isSet());
        EXPECT_FALSE(r->destination.isSet());
    }
    auto f = airborne();
    f.origin = "ams";
    EXPECT_EQ(convert(f)->origin.toString(), "AMS");
}

TEST_F(LiveConversion, SeenEntriesEarlyAndLate)
{
    context.collectSeen = true;
    context.earlySeen = true;
    auto f = airborne();
    f.callsign = "";
    f.registration = "";
    auto result = gf_makeLiveTrafficRecord(f, context);
    EXPECT_FALSE(result.record);
    ASSERT_TRUE(result.seen); // seen before the name check
    EXPECT_EQ(result.seen->hexid, f.hexid);

    context.earlySeen = false;
    EXPECT_FALSE(gf_makeLiveTrafficRecord(f, context).seen);

    // RT Direct drops ground traffic squawking 0000, after the early seen step only.
    context.groundSquawkCheck = true;
    f = airborne();
    f.altitude = 0;
    f.lat = kUserLat + 1.0 / 60.0;
    f.squawk = "0000";
    result = gf_makeLiveTrafficRecord(f, context);
    EXPECT_FALSE(result.record);
    EXPECT_FALSE(result.seen);
}

TEST_F(LiveConversion, BlockFilterMatchesOnlyKnownFields)
{
    const uint32_t blocked = 0x400001;
    gf_modifyParameters([&](Parameters& p) {
        p.blockFilter = BlockFilter{"BLK1, null, 400001", "", "", static_cast<int32_t>(blocked), false};
    });
    settings = gf_parametersSnapshot();
    context.settings = settings.get();

    auto f = airborne();
    f.registration = "";
    EXPECT_TRUE(convert(f)) << "an aircraft without registration is not the blocked one";
    f.hexid = blocked;
    EXPECT_FALSE(convert(f));

    // The filter follows the blocked aircraft by registration and by callsign.
    gf_modifyParameters([&](Parameters& p) { p.blockFilter = BlockFilter{"x", "", "PH-BLK", 0, false}; });
    settings = gf_parametersSnapshot();
    context.settings = settings.get();
    f = airborne();
    f.registration = "PH-BLK";
    EXPECT_FALSE(convert(f));
    EXPECT_EQ(gf_parametersSnapshot()->blockFilter.hexid, static_cast<int32_t>(f.hexid));

    gf_modifyParameters([&](Parameters& p) { p.blockFilter = BlockFilter{"x", "KLM12_", "", 0, true}; });
    settings = gf_parametersSnapshot();
    context.settings = settings.get();
    f = airborne();
    f.callsign = "KLM12";
    EXPECT_FALSE(convert(f));
    const BlockFilter after = gf_parametersSnapshot()->blockFilter;
    EXPECT_EQ(after.callsign, "KLM12");
    EXPECT_EQ(after.regcode, "PH-EXA");
    EXPECT_FALSE(after.callsignEndsWithUnderscore);
    gf_modifyParameters([](Parameters& p) { p.blockFilter = BlockFilter(); });
}

// ---- Parked records -------------------------------------------------------------

namespace {

class ParkedConversion : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto& db = gf_modelDatabase();
        db.icaoModelCodes.insert("A320");
        gf_publishUserAcPosition(UserAcPosition{});
        gf_modifyParameters([](Parameters& p) {
            p.RT_PARKTRAFFIC_ONLY = false;
            p.AUTO_PARK = false;
            p.MAX_FIT = 47;
        });
    }
    void TearDown() override
    {
        gf_modelDatabase().icaoModelCodes.clear();
        gf_modifyParameters([](Parameters& p) { p.AUTO_PARK = true; });
    }

    static ParkedTrafficFields fields(std::string_view stand, int64_t time, std::string_view callsign = "KLM1")
    {
        ParkedTrafficFields f;
        f.hexid = 0x484F6D;
        f.lat = 52.3;
        f.lon = 4.76;
        f.time = time;
        f.callsign = callsign;
        f.type = "A320";
        f.registration = "PH-EXA";
        f.stand = stand;
        return f;
    }
};

constexpr int64_t k20231114_102930 = 1699957770; // 2023-11-14 10:29:30 UTC

} // namespace

TEST_F(ParkedConversion, SlotAndAgeing)
{
    auto r = gf_makeParkedTrafficRecord(fields("D7", k20231114_102930));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->slot, 21);
    EXPECT_EQ(r->stand, "D7");
    EXPECT_EQ(gf_makeParkedTrafficRecord(fields("D7", k20231114_102930 - 1))->slot, 20);

    std::vector<ParkedTrafficRecord> list{*r};
    lf_ageParkedTraffic(list, 20); // 10:00 the next day
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].age, 47);
    lf_ageParkedTraffic(list, 20); // a second ageing gives the same age
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].age, 47);
    EXPECT_EQ(list[0].slot, 21);

    gf_modifyParameters([](Parameters& p) { p.MAX_FIT = 46; });
    lf_ageParkedTraffic(list, 20);
    EXPECT_TRUE(list.empty()) << "older than MAX_FIT";
}

TEST_F(ParkedConversion, YoungestReportOfAStandOrCallsignWins)
{
    std::vector<ParkedTrafficRecord> list{*gf_makeParkedTrafficRecord(fields("D7", k20231114_102930, "KLM1")),
                                          *gf_makeParkedTrafficRecord(fields("D7", k20231114_102930 + 3600, "KLM2")),
                                          *gf_makeParkedTrafficRecord(fields("E1", k20231114_102930, "KLM2")),
                                          *gf_makeParkedTrafficRecord(fields("E2", k20231114_102930, "KLM3"))};
    list[3].callsign = "X"; // no callsign after a new normalisation
    lf_ageParkedTraffic(list, 30);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].callsign, "KLM2");
    EXPECT_EQ(list[0].stand, "D7");
    EXPECT_EQ(list[0].age, 7);
}

TEST_F(ParkedConversion, UnwantedParkedAircraft)
{
    auto f = fields("D7", k20231114_102930);
    f.hexid = 10000;
    EXPECT_FALSE(gf_makeParkedTrafficRecord(f));
    f = fields("", k20231114_102930);
    EXPECT_FALSE(gf_makeParkedTrafficRecord(f));
    f = fields("D7", k20231114_102930);
    f.type = "B748"; // not a known type
    EXPECT_FALSE(gf_makeParkedTrafficRecord(f));
    f = fields("D7", k20231114_102930);
    f.lat = 0.0;
    f.lon = 0.0;
    EXPECT_THROW(gf_makeParkedTrafficRecord(f), std::runtime_error);
    gf_modifyParameters([](Parameters& p) { p.LIGHT_AIRCRAFT = false; }); // A320 is Light without categories
    EXPECT_FALSE(gf_makeParkedTrafficRecord(fields("D7", k20231114_102930)));
    gf_modifyParameters([](Parameters& p) { p.LIGHT_AIRCRAFT = true; });
}

TEST_F(ParkedConversion, RegistrationFromTheModelDatabase)
{
    auto& db = gf_modelDatabase();
    AirlOprModel ids{gf_airlineCode2Id("TRA"), gf_airlineCode2Id("TRA"), gf_modelCode2Id("A320"), 0, 1};
    db.records = {DbaseRecord{"PH-HXA", ids}};
    auto f = fields("D7", k20231114_102930, "");
    f.registration = "PHHXA"; // looked up as PH-HXA
    f.type = "ZZZ9";          // not used when the registration is known
    auto r = gf_makeParkedTrafficRecord(f);
    db.records.clear();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->ids, ids);
    EXPECT_EQ(r->callsign, "PHHXA");
}
