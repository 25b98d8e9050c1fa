// The conversion of received values into traffic records and its rules.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/log.h"
#include "feed/traffic_records.h"
#include "liveries/model_database.h"
#include "parking/parking_plan.h"
#include "simlink/user_aircraft.h"
#include "tests/feed/feed_test_support.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

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
        setFilter(BlockFilter());
        setCurrentAirport(0x45484148, kUserLat, kUserLon, 0.0); // EHAM
        gf_publishUserAcPosition(UserAcPosition{});
        context.userLat = kUserLat;
        context.userLon = kUserLon;
        context.cosUserLat = std::cos(kUserLat * std::numbers::pi / 180.0);
        context.sourceTag = TrafficSource::rtApp;
    }
    void TearDown() override { setCurrentAirport(0, 0, 0, 0); }

    void setFilter(const BlockFilter& filter)
    {
        gf_modifyParameters([&](Parameters& p) { p.blockFilter = filter; });
        settings = gf_parametersSnapshot();
        context.settings = settings.get();
    }

    // An airborne A320 near the user.
    static ParsedTrafficFields airborne()
    {
        return ParsedTrafficFields{.timestamp = 1700000000.25, .hexid = 0x484F6D, .lat = kUserLat + 0.1,
                                   .lon = kUserLon, .altitude = 8000, .track = 90, .groundSpeed = 250,
                                   .callsign = "KLM123", .type = "A320", .registration = "PH-EXA",
                                   .origin = "AMS", .destination = "LHR"};
    }
    // A batch of one: the mode, the user's altimeter and the airport as the
    // test set them, taken the way a decoder takes them for a batch.
    std::optional<LiveTrafficRecord> convert(const ParsedTrafficFields& f)
    {
        gf_takeProgramState(context);
        return gf_makeLiveTrafficRecord(f, context).record;
    }
    void expectThrow(const ParsedTrafficFields& f, const char* text)
    {
        try {
            convert(f);
            ADD_FAILURE() << "no exception for " << text;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), text);
        }
    }

    std::shared_ptr<const Parameters> settings;
    TrafficConversionContext context;
};

} // namespace

TEST_F(LiveConversion, WantedAndUnwantedAircraft)
{
    auto r = convert(airborne());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->callsign, "KLM123");
    EXPECT_EQ(r->registration, "PH-EXA");
    EXPECT_EQ(gf_modelCodeText(r->ids.model), "A320");
    EXPECT_EQ(gf_airlineCodeText(r->ids.airline), "KLM");
    EXPECT_EQ(r->origin.toString(), "AMS");
    EXPECT_EQ(r->airborne, 1);
    EXPECT_EQ(r->timestamp, 1700000000.25);

    auto f = airborne();
    f.hexid = 10000;
    EXPECT_FALSE(convert(f));
    f.hexid = 10001;
    EXPECT_TRUE(convert(f));
    f.groundSpeed = 0;
    EXPECT_FALSE(convert(f)) << "airborne without speed";
    f = airborne();
    f.callsign = "";
    f.registration = "null";
    EXPECT_FALSE(convert(f)) << "no name";

    f = airborne();
    f.lat = kUserLat + 41.0 / 60.0; // 41 NM with a 40 NM range
    auto result = gf_makeLiveTrafficRecord(f, context);
    EXPECT_FALSE(result.record);
    EXPECT_EQ(result.timestamp, 1700000000u);
    context.settings = nullptr;
    EXPECT_FALSE(convert(airborne()));
}

TEST_F(LiveConversion, AirlinesAreInternedOnlyForKeptRecordsAndNeverGetAWrongId)
{
    const size_t before = gf_airlineCodeCount();
    auto f = airborne();
    f.airline = "QQX";
    f.hexid = 10000; // dropped
    EXPECT_FALSE(convert(f));
    f = airborne();
    f.airline = "QQY";
    f.lat = kUserLat + 41.0 / 60.0; // out of range
    EXPECT_FALSE(convert(f));
    EXPECT_EQ(gf_airlineCodeCount(), before);

    f = airborne();
    f.airline = "QQZ";
    auto r = convert(f);
    ASSERT_TRUE(r);
    EXPECT_EQ(gf_airlineCodeText(r->ids.airline), "QQZ");
    EXPECT_EQ(gf_airlineCodeCount(), before + 1);

    // A full table gives a new code no id; a known one keeps its own.
    gf_setAirlineCodeLimitForTest(gf_airlineCodeCount());
    f.airline = "QQW";
    r = convert(f);
    f.airline = "QQZ";
    auto known = convert(f);
    gf_setAirlineCodeLimitForTest(0);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->ids.airline, 0);
    ASSERT_TRUE(known);
    EXPECT_EQ(gf_airlineCodeText(known->ids.airline), "QQZ");
}

TEST_F(LiveConversion, TypesAreInternedOnlyForKeptRecordsAndAFullTableKeepsThemTypes)
{
    const size_t before = gf_modelCodeCount();
    auto f = airborne();
    f.type = "QT1";
    f.hexid = 10000;
    EXPECT_FALSE(convert(f));
    f = airborne();
    f.type = "QT2";
    f.callsign = "";
    f.registration = "";
    EXPECT_FALSE(convert(f)) << "no name";
    f = airborne();
    f.type = "QT3";
    f.groundSpeed = 0;
    EXPECT_FALSE(convert(f)) << "airborne without speed";
    EXPECT_EQ(gf_modelCodeCount(), before);

    f = airborne();
    f.type = "QT4";
    auto r = convert(f);
    ASSERT_TRUE(r);
    EXPECT_EQ(gf_modelCodeText(r->ids.model), "QT4");
    EXPECT_EQ(gf_modelCodeCount(), before + 1);

    // Full: a new type is still a type, logged once; a known one keeps its id.
    ScopedTestFolders folders{"types"};
    gf_openLog();
    gf_setModelCodeLimitForTest(gf_modelCodeCount());
    f.type = "QT5";
    r = convert(f);
    f.type = "QT6";
    auto other = convert(f);
    f.type = "QT4";
    auto known = convert(f);
    gf_setModelCodeLimitForTest(0);
    ASSERT_TRUE(r && other && known);
    EXPECT_FALSE(gf_isTypeMissing(*r));
    EXPECT_EQ(r->ids.model, kUnlistedModel);
    EXPECT_EQ(other->ids.model, kUnlistedModel);
    EXPECT_EQ(gf_modelCodeText(known->ids.model), "QT4");
    EXPECT_EQ(gf_modelCodeCount(), before + 1);
    gf_closeLog();
    const std::string text = logText();
    EXPECT_NE(text.find("the model code table is full (65535 codes): new codes such as 'QT5' get no id"),
              std::string::npos) << text;
    EXPECT_EQ(text.find("QT6"), std::string::npos);
}

TEST(HexidRule, OneRuleForBothFeeds)
{
    EXPECT_EQ(gf_parseHexid("0000000004ca7b3", 16), 0x4CA7B3u); // leading zeros
    EXPECT_EQ(gf_parseHexid("FFFFFFFF", 16), 0xFFFFFFFFu);
    EXPECT_FALSE(gf_parseHexid("100000000", 16)); // does not fit
    EXPECT_FALSE(gf_parseHexid("0x4840", 16));
    EXPECT_FALSE(gf_parseHexid("", 16));
    EXPECT_FALSE(gf_parseHexid("-1", 10));
    EXPECT_EQ(gf_parseHexid("0000000000400001", 10), 400001u);
    EXPECT_TRUE(gf_isAdsbIcaoSource("adsb_icao"));
    EXPECT_TRUE(gf_isAdsbIcaoSource("F_adsb_icao"));
    EXPECT_FALSE(gf_isAdsbIcaoSource("_adsb_icao"));
    EXPECT_FALSE(gf_isAdsbIcaoSource("adsb_icao_nt"));
}

TEST_F(LiveConversion, MalformedValuesThrowTheirTexts)
{
    auto f = airborne();
    f.timestamp = -1.0;
    expectThrow(f, "timestamp outside range: -1.000");
    f = airborne();
    f.lat = 91.0;
    expectThrow(f, "invalid lalo: 91.000000,4.760000");
    f = airborne();
    f.source = "adsb_icao";
    f.trueHeading = 361.0;
    expectThrow(f, "true heading: 361.00");
}

TEST_F(LiveConversion, TrueHeadingTrackBankAndTas)
{
    auto f = airborne();
    f.source = "adsb_icao";
    f.trueHeading = 0.0;
    f.track = 0.0;
    auto r = convert(f);
    EXPECT_DOUBLE_EQ(*r->trueHeading, 2 * std::numbers::pi);
    EXPECT_DOUBLE_EQ(r->track, 360.0);
    f.trueHeading = -5.0;
    r = convert(f);
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
}

TEST_F(LiveConversion, GroundTrafficOnlyNearTheCurrentAirport)
{
    auto f = airborne();
    f.altitude = 0;
    f.roll = 20.0;
    f.lat = kUserLat + 4.9 / 60.0;
    auto r = convert(f);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->airborne, 0);
    EXPECT_FALSE(r->bank);
    // Without a reported airspeed a ground aircraft moves at its ground speed.
    f.tas = -1.0;
    f.groundSpeed = 14.0;
    EXPECT_EQ(convert(f)->tas, 14.0);
    f.lat = kUserLat + 6.0 / 60.0;
    EXPECT_FALSE(convert(f));
    f.lat = kUserLat + 1.0 / 60.0;
    setCurrentAirport(0, 0, 0, 0);
    EXPECT_FALSE(convert(f));
}

TEST_F(LiveConversion, QnhCorrection)
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

    // Low and slow just above the airport is on the ground.
    context.airportAltitude = 100.0;
    f.lat = kUserLat + 1.0 / 60.0;
    f.altitude = 160;
    f.groundSpeed = 30;
    EXPECT_EQ(convert(f)->airborne, 0);
    f.groundSpeed = 130;
    EXPECT_EQ(convert(f)->altitude, 160.0);
}

TEST_F(LiveConversion, ABatchIsConvertedWithTheStateTakenAtItsStart)
{
    context.qnh = 1023;
    setRTApp(false);
    gf_takeProgramState(context);
    // Changes after the batch began reach only the next batch.
    setRTApp(true);
    setCurrentAirport(0, 0, 0, 0);
    gf_publishUserAcPosition(UserAcPosition{.altitude = 1000, .indicatedAltitude = 0});
    auto f = airborne();
    f.altitude = 5000;
    EXPECT_DOUBLE_EQ(gf_makeLiveTrafficRecord(f, context).record->altitude, 5292.5);
    f.altitude = 0;
    f.lat = kUserLat + 1.0 / 60.0;
    EXPECT_TRUE(gf_makeLiveTrafficRecord(f, context).record);
    gf_takeProgramState(context);
    EXPECT_FALSE(gf_makeLiveTrafficRecord(f, context).record);
    EXPECT_EQ(context.userAltimeterErrorFt, 1000.0);
}

TEST_F(LiveConversion, TypesCallsignsRegistrationsAndRoutes)
{
    auto& db = gf_modelDatabase();
    const AirlineId cargoAirline = gf_airlineCode2Id("FDX");
    db.cargoOperatorIds.insert(cargoAirline);
    auto f = airborne();
    f.type = "B777";
    f.callsign = "FDX12";
    auto r = convert(f);
    db.cargoOperatorIds.erase(cargoAirline);
    EXPECT_EQ(gf_modelCodeText(r->ids.model), "B77F");
    EXPECT_EQ(r->ids.cargo, 1);
    for (const char* type : {"ZZZZ", "GLID", "0", "X", "ABCDE"}) {
        f.type = type;
        EXPECT_FALSE(convert(f)) << type;
    }
    // A report that leaves the type out is kept without a model, for the
    // engine to continue the aircraft it knows by the hexid; a glider's stays out.
    for (const char* type : {"", "null"}) {
        f.type = type;
        r = convert(f);
        ASSERT_TRUE(r) << type;
        EXPECT_TRUE(gf_isTypeMissing(*r));
        EXPECT_EQ(r->ids.cargo, 0);
        EXPECT_EQ(gf_airlineCodeText(r->ids.airline), "FDX");
        EXPECT_EQ(r->hexid, f.hexid);
        f.category = "B2";
        EXPECT_FALSE(convert(f)) << type;
        f.category = "";
    }
    f.type = "A320";
    f.category = "B2";
    EXPECT_FALSE(convert(f));

    const std::pair<const char*, const char*> callsigns[] = {
        {".AB", ""}, {".ABC1", "ABC1"}, {"AB", ""}, {"ABCDEFGHI", ""}, {"N00000X", ""}, {"A@B12", ""},
        {"N0000X0", "N0000X0"}, {"AB00000", ""}, {"null", ""}, {"ABCDEFG@", ""}, {".12345678", ""}};
    for (auto [in, out] : callsigns)
        EXPECT_EQ(lf_normalizeCallsign(in), out) << in;
    f = airborne();
    f.registration = "D-ABCDEFGHIJKL";
    EXPECT_EQ(convert(f)->registration, "");

    // An aircraft without a known route is kept.
    for (const char* route : {"", "null", "AMST"}) {
        f.origin = route;
        f.destination = route;
        r = convert(f);
        ASSERT_TRUE(r) << route;
        EXPECT_FALSE(r->origin.isSet());
        EXPECT_FALSE(r->destination.isSet());
    }
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
    ASSERT_TRUE(result.seen);
    EXPECT_EQ(result.seen->hexid, f.hexid);
    context.earlySeen = false;
    EXPECT_FALSE(gf_makeLiveTrafficRecord(f, context).seen);
}

TEST_F(LiveConversion, BlockFilterMatchesOnlyKnownFields)
{
    const uint32_t blocked = 0x400001;
    setFilter(BlockFilter{"BLK1, null, 400001", "", "", static_cast<int32_t>(blocked), false});
    auto f = airborne();
    f.registration = "";
    EXPECT_TRUE(convert(f)) << "an aircraft without registration is not the blocked one";
    f.hexid = blocked;
    EXPECT_FALSE(convert(f));

    // The filter follows the blocked aircraft by registration and by callsign.
    setFilter(BlockFilter{"x", "", "PH-BLK", 0, false});
    f = airborne();
    f.registration = "PH-BLK";
    EXPECT_FALSE(convert(f));
    EXPECT_EQ(gf_parametersSnapshot()->blockFilter.hexid, static_cast<int32_t>(f.hexid));

    setFilter(BlockFilter{"x", "KLM12_", "", 0, true});
    f = airborne();
    f.callsign = "KLM12";
    EXPECT_FALSE(convert(f));
    const BlockFilter after = gf_parametersSnapshot()->blockFilter;
    EXPECT_EQ(after.callsign, "KLM12");
    EXPECT_EQ(after.regcode, "PH-EXA");
    EXPECT_FALSE(after.callsignEndsWithUnderscore);
    setFilter(BlockFilter());
}

// ---- Parked records -------------------------------------------------------------

namespace {

constexpr int64_t k20231114_102930 = 1699957770; // 2023-11-14 10:29:30 UTC

ParkedTrafficRecord parked(std::string_view stand, int64_t time, std::string_view callsign = "KLM1")
{
    ParkedTrafficFields f{0x484F6D, 52.3, 4.76, time, callsign, "A320", "PH-EXA", stand};
    auto r = gf_makeParkedTrafficRecord(f);
    EXPECT_TRUE(r);
    return r.value_or(ParkedTrafficRecord());
}

class ParkedConversion : public ::testing::Test {
protected:
    void SetUp() override
    {
        setRTApp(true);
        gf_modelDatabase().icaoModelCodes.insert("A320");
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
};

} // namespace

TEST_F(ParkedConversion, SlotAgeingAndDuplicates)
{
    EXPECT_EQ(parked("D7", k20231114_102930).slot, 21);
    EXPECT_EQ(parked("D7", k20231114_102930 - 1).slot, 20);

    // Aged at 10:00 the next day; a second ageing gives the same age.
    std::vector<ParkedTrafficRecord> list{parked("D7", k20231114_102930)};
    lf_ageParkedTraffic(list, 20);
    lf_ageParkedTraffic(list, 20);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].age, 47);
    gf_modifyParameters([](Parameters& p) { p.MAX_FIT = 46; });
    lf_ageParkedTraffic(list, 20);
    EXPECT_TRUE(list.empty()) << "older than MAX_FIT";

    // The youngest report of a stand or a callsign wins.
    list = {parked("D7", k20231114_102930, "KLM1"), parked("D7", k20231114_102930 + 3600, "KLM2"),
            parked("E1", k20231114_102930, "KLM2"), parked("E2", k20231114_102930, "KLM3")};
    list[3].callsign = "X";
    lf_ageParkedTraffic(list, 30);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].stand, "D7");
    EXPECT_EQ(list[0].age, 7);
}

TEST_F(ParkedConversion, HandOverWaitsForTheEndOfParkedTraffic)
{
    ParkedTrafficShare& share = gf_parkedTrafficOf(TrafficSource::rtApp);
    share.list = {parked("D7", k20231114_102930)};
    share.received = false;
    gf_processRTParkedTraffic(10);
    EXPECT_EQ(share.list[0].age, -1);
    share.received = true;
    gf_processRTParkedTraffic(10);
    EXPECT_GE(share.list[0].age, 0);
    share.list.clear();
    share.received = false;
}

TEST_F(ParkedConversion, UnwantedParkedAircraftAndKnownRegistrations)
{
    ParkedTrafficFields f{10000, 52.3, 4.76, k20231114_102930, "KLM1", "A320", "PH-EXA", "D7"};
    EXPECT_FALSE(gf_makeParkedTrafficRecord(f));
    f.hexid = 0x484F6D;
    f.type = "B748"; // not a known type
    EXPECT_FALSE(gf_makeParkedTrafficRecord(f));
    f.type = "A320";
    f.stand = "";
    EXPECT_FALSE(gf_makeParkedTrafficRecord(f));
    f.stand = "D7";
    f.lat = f.lon = 0.0;
    EXPECT_THROW(gf_makeParkedTrafficRecord(f), std::runtime_error);

    auto& db = gf_modelDatabase();
    AirlOprModel ids{gf_airlineCode2Id("TRA"), gf_airlineCode2Id("TRA"), gf_modelCode2Id("A320"), 0, 1};
    db.records = {DbaseRecord{"PH-HXA", ids}};
    f = ParkedTrafficFields{0x484F6D, 52.3, 4.76, k20231114_102930, "", "ZZZ9", "PHHXA", "D7"};
    auto r = gf_makeParkedTrafficRecord(f); // looked up as PH-HXA; the type is not used
    db.records.clear();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->ids, ids);
    EXPECT_EQ(r->callsign, "PHHXA");
}
