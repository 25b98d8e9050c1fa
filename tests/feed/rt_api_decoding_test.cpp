// Decoding the web API's traffic, parked-traffic and METAR data.
#include <gtest/gtest.h>

#include <cmath>

#include "core/log.h"
#include "feed/rt_api_decoding.h"
#include "feed/rt_api_transport.h"
#include "liveries/model_database.h"
#include "simlink/user_aircraft.h"
#include "tests/feed/feed_test_support.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

using nlohmann::json;

namespace {

class RTApiDecoding : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_openLog();
        kvr::test::setRTApp(false);
        gf_publishUserAcPosition(UserAcPosition{});
        context.userLat = 52.3;
        context.userLon = 4.76;
        context.cosUserLat = std::cos(52.3 * 3.14159265358979 / 180.0);
        context.qnh = 1013;
        context.sourceTag = TrafficSource::rtDirect;
        context.settings = settings.get();
        context.groundSquawkCheck = true;
    }
    void TearDown() override { gf_closeLog(); }

    // A 49-element array of an airborne A320 near the user.
    static json aircraft(json hexid, double timestamp = 1700000000.0)
    {
        json a = json::array();
        for (int i = 0; i < 49; ++i)
            a.push_back(nullptr);
        a[0] = std::move(hexid);
        a[1] = 52.35;
        a[2] = 4.80;
        a[3] = 90.0;
        a[4] = 5000;
        a[5] = 200u;
        a[6] = "1000";
        a[8] = "A320";
        a[9] = "PH-ABC";
        a[10] = timestamp;
        a[11] = "AMS";
        a[12] = "LHR";
        a[13] = "KLM123";
        a[15] = -500.0;
        a[17] = "mlat";
        a[48] = "KLM";
        return a;
    }

    kvr::test::ScopedTestFolders folders{"dec"};
    std::shared_ptr<const Parameters> settings = std::make_shared<const Parameters>();
    TrafficConversionContext context;
    TrafficBatch batch;
};

} // namespace

TEST_F(RTApiDecoding, OnlyFortyNineElementArraysWithAHexidBecomeRecords)
{
    json a48 = aircraft("484001");
    a48.erase(48);
    json a50 = aircraft("484002");
    a50.push_back(0);
    const json data = {{"a", aircraft("4ca7b3")},         {"b", a48},          {"c", a50},
                       {"d", aircraft(4990003)},          {"e", "not an array"}, {"f", aircraft("0x4840")},
                       {"g", aircraft("1004ca7b4")}};
    gf_decodeRTAPITraffic(data, context, batch);
    ASSERT_EQ(batch.records.size(), 1u);
    const LiveTrafficRecord& r = batch.records[0];
    EXPECT_EQ(r.hexid, 0x4CA7B3u);
    EXPECT_EQ(r.callsign, "KLM123");
    EXPECT_EQ(r.registration, "PH-ABC");
    EXPECT_DOUBLE_EQ(r.lat, 52.35);
    EXPECT_DOUBLE_EQ(r.groundSpeed, 200.0);
    EXPECT_DOUBLE_EQ(r.verticalSpeed, -500.0);
    EXPECT_EQ(r.origin.toString(), "AMS");
    EXPECT_DOUBLE_EQ(r.tas, 220.0); // null tas: the table's value at 5000 ft
    EXPECT_EQ(gf_airlineCodeText(r.ids.airline), "KLM");
    EXPECT_EQ(batch.latestTimestamp, 1700000000u);
}

TEST_F(RTApiDecoding, LeadingZerosOfAHexidAreAcceptedAsByTheAppFeed)
{
    gf_decodeRTAPITraffic(json{{"a", aircraft("00000000004ca7b3")}}, context, batch);
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.records[0].hexid, 0x4CA7B3u);
    gf_modelDatabase().icaoModelCodes.insert("A320");
    const auto parked = gf_decodeRTAPIParkedTraffic(
        json{{"00000000484f6d", json::array({52.31, 4.77, "D7", "A320", "PH-EXA", 1699957770, "KLM1"})}});
    gf_modelDatabase().icaoModelCodes.clear();
    ASSERT_EQ(parked.size(), 1u);
    EXPECT_EQ(parked[0].hexid, 0x484F6Du);
}

TEST_F(RTApiDecoding, LatestTimestampFollowsEveryValidTimeEvenOfSkippedArrays)
{
    json noTime = aircraft("484011");
    noTime[10] = nullptr;
    // Members are visited in key order: "a" sets the time, "b" has none, "c"
    // has a later time but a bad hexid.
    gf_decodeRTAPITraffic({{"a", aircraft("484010", 1700000100.4)}, {"b", noTime}, {"c", aircraft("xyz", 1700000200.6)}},
                          context, batch);
    EXPECT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.latestTimestamp, 1700000201u);

    gf_decodeRTAPITraffic({{"a", aircraft("484010", 1700000100.4)}, {"b", noTime}}, context, batch);
    EXPECT_EQ(batch.latestTimestamp, 1700000100u);

    // The batch is cleared by every decode; no settings means nothing at all.
    context.settings = nullptr;
    gf_decodeRTAPITraffic({{"a", aircraft("484010")}}, context, batch);
    EXPECT_TRUE(batch.records.empty());
    EXPECT_EQ(batch.latestTimestamp, 0u);
}

TEST_F(RTApiDecoding, ParkedMembersNeedSevenElementsAndAValidTime)
{
    gf_modelDatabase().icaoModelCodes.insert("A320");
    const json data = {
        {"ABC123", {52.31, 4.77, "D7", "A320", "PH-EXA", 1699957770.6, "KLM1"}},
        {"ABC124", {52.31, 4.77, "D8", "A320", "PH-EXB", 1699957770}},
        {"ABC125", {52.31, 4.77, "D9", "A320", "PH-EXC", "soon", "KLM3"}},
        {"xyz", {52.31, 4.77, "D10", "A320", "PH-EXD", 1699957770, "KLM4"}},
        {"ABC126", {52.31, 4.77, "D11", "A320", "PH-EXE", 1699957770, "KLM5", "extra"}},
    };
    const auto list = gf_decodeRTAPIParkedTraffic(data);
    gf_modelDatabase().icaoModelCodes.clear();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].hexid, 0xABC123u);
    EXPECT_EQ(list[0].stand, "D7");
    EXPECT_EQ(list[0].callsign, "KLM1");
    EXPECT_EQ(list[0].slot, 21); // 10:29:31 after rounding
    EXPECT_EQ(list[1].hexid, 0xABC126u);
    EXPECT_TRUE(gf_decodeRTAPIParkedTraffic(json::array()).empty());
}

TEST_F(RTApiDecoding, NearestMetarStations)
{
    auto one = gf_parseNearestMetar({{"ICAO", "EHAM"}, {"METAR", "EHAM 1 Q1013"}});
    ASSERT_TRUE(std::holds_alternative<std::vector<std::string>>(one));
    EXPECT_EQ(std::get<std::vector<std::string>>(one), std::vector<std::string>{"EHAM 1 Q1013"});

    auto many = gf_parseNearestMetar(json::array({{{"METAR", ""}}, {{"METAR", "B"}}, 5, {{"METAR", "C"}}}));
    EXPECT_EQ(std::get<std::vector<std::string>>(many), (std::vector<std::string>{"B", "C"}));

    auto none = gf_parseNearestMetar(json::array({{{"METAR", ""}}, {{"ICAO", "EHAM"}}}));
    ASSERT_TRUE(std::holds_alternative<MetarListError>(none));
    EXPECT_EQ(std::get<MetarListError>(none).context, "nearest metar");
    EXPECT_EQ(std::get<MetarListError>(none).message, "response contains no METAR station with a valid METAR string");
    EXPECT_EQ(std::get<MetarListError>(gf_parseNearestMetar("EHAM Q1013")).message,
              "response contains invalid METAR data");
}

TEST_F(RTApiDecoding, AServersMessageIsKeptToAFewHundredCharacters)
{
    const std::string body = json{{"status", 406}, {"message", std::string(5000, 'm')}}.dump();
    auto parsed = gf_parseRTAPIResponse(body, "traffic", RTAPILimitSpec{});
    ASSERT_TRUE(std::holds_alternative<RTAPIReply>(parsed));
    const std::string& message = std::get<RTAPIReply>(parsed).message;
    EXPECT_LT(message.size(), 400u);
    EXPECT_TRUE(message.ends_with("... (5000 bytes)")) << message;
}
