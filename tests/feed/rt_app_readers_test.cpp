// The RT App's traffic and weather datagrams: line decoding, batches, parked
// lists and QNH, and the readers end to end over UDP against the stand-in App.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <cmath>
#include <future>
#include <numbers>
#include <thread>

#include "app/gui.h"
#include "app/stop_request.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings.h"
#include "engine/engine_reports.h"
#include "engine/traffic_state.h"
#include "feed/qnh.h"
#include "feed/rt_app_link.h"
#include "feed/rt_app_readers.h"
#include "liveries/model_database.h"
#include "standins/rt_app_standin.h"
#include "tests/feed/feed_test_support.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

using namespace std::chrono_literals;
using kvr::standin::AppAircraft;
using kvr::standin::AppParked;
using kvr::standin::parkedLine;
using kvr::standin::RtAppStandIn;
using kvr::standin::trafficLine;

namespace {

constexpr double kLat = 52.3;
constexpr double kLon = 4.76;
constexpr double kNow = 1700000000.0;

std::mutex g_appliedMutex;
std::vector<LiveTrafficRecord> g_applied;
void captureApplied(const LiveTrafficRecord& r)
{
    std::lock_guard lock(g_appliedMutex);
    g_applied.push_back(r);
}
size_t appliedCount()
{
    std::lock_guard lock(g_appliedMutex);
    return g_applied.size();
}

AppAircraft aircraft(uint32_t hexid, double northNm = 5.0)
{
    AppAircraft a;
    a.hexid = hexid;
    a.callsign = fmt::format("KLM{}", hexid % 1000);
    a.type = "B738";
    a.registration = "PH-BXA";
    a.origin = "AMS";
    a.destination = "LHR";
    a.lat = kLat + northNm / 60.0;
    a.lon = kLon;
    a.altitude = 3000;
    a.groundSpeed = 200;
    a.track = 240;
    return a;
}

// A line with its fields in a list, for cutting and changing fields.
std::vector<std::string> fieldsOf(const std::string& line)
{
    std::vector<std::string> f;
    size_t start = 0, comma;
    while ((comma = line.find(',', start)) != std::string::npos) {
        f.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
    f.push_back(line.substr(start));
    return f;
}
std::string join(const std::vector<std::string>& f)
{
    std::string s = f[0];
    for (size_t i = 1; i < f.size(); ++i)
        s += "," + f[i];
    return s;
}

class RTAppLines : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_openLog();
        kvr::test::setRTApp(true);
        kvr::test::setRangeNm(40);
        kvr::test::setCurrentAirport(0x45484148, kLat, kLon, 0.0);
        gf_modelDatabase().icaoModelCodes.insert("B738");
        gf_publishUserAcPosition(UserAcPosition{});
        reader.mailbox = &box;
        box.apply = &captureApplied;
        g_applied.clear();
        engineClock = 1000;
        reader.userLat = kLat;
        reader.userLon = kLon;
        reader.cosUserLat = std::cos(kLat * std::numbers::pi / 180);
        reader.qnh = 1013;
        std::lock_guard lock(box.mutex);
        box.deliveryOn = true;
    }
    void TearDown() override
    {
        gf_modelDatabase().icaoModelCodes.clear();
        kvr::test::setCurrentAirport(0, 0, 0, 0);
        engineClock = 0;
        gf_closeLog();
    }
    std::string log()
    {
        gf_flushLog();
        return kvr::test::logText();
    }

    kvr::test::ScopedTestFolders folders{"rtlines"};
    TrafficMailbox box;
    TrafficReader reader;
};

} // namespace

TEST_F(RTAppLines, PositionLinesNeedTheirFields)
{
    const std::string line = trafficLine(aircraft(400001), kNow);
    auto f = fieldsOf(line);
    ASSERT_EQ(f.size(), 44u);
    f.pop_back();
    reader.handleLine(join(f));
    EXPECT_TRUE(reader.batch.empty());
    EXPECT_NE(log().find("Ignoring incomplete RT App message: 43 fields received, 44 required: " + join(f) + "\n"),
              std::string::npos);

    reader.handleLine(line);
    ASSERT_EQ(reader.batch.size(), 1u);
    EXPECT_EQ(reader.batch[0].hexid, 400001u);
    EXPECT_EQ(reader.batch[0].callsign, "KLM1");
    EXPECT_EQ(reader.lastTimestamp, 1700000000u);

    f = fieldsOf(line);
    f[7] = ""; // an empty track is 0
    f[1] = "400002";
    reader.handleLine(join(f));
    ASSERT_EQ(reader.batch.size(), 2u);
    EXPECT_DOUBLE_EQ(reader.batch[1].track, 240.0) << "no track: the true heading stands in";

    f[8] = ""; // an empty gs is an error
    reader.handleLine(join(f));
    f[8] = "200";
    f[1] = "4x";
    reader.handleLine(join(f));
    EXPECT_EQ(reader.batch.size(), 2u);
    const std::string text = log();
    EXPECT_NE(text.find("exception in processLine: gs:\n"), std::string::npos);
    EXPECT_NE(text.find("exception in processLine: hexid:4x\n"), std::string::npos);
}

TEST_F(RTAppLines, TagsAndBatches)
{
    reader.handleLine(trafficLine(aircraft(400001), kNow, "RTBUFX"));
    reader.handleLine(trafficLine(aircraft(400002), kNow, "RTTFCX"));
    reader.handleLine(trafficLine(aircraft(400003), kNow, "RTPARKX"));
    ASSERT_EQ(reader.batch.size(), 1u);

    // An out-of-range line still moves the traffic time on.
    reader.handleLine(trafficLine(aircraft(400004, 50.0), kNow + 7));
    EXPECT_EQ(reader.batch.size(), 1u);
    EXPECT_EQ(reader.lastTimestamp, 1700000007u);

    reader.handleLine(trafficLine(aircraft(400005), kNow + 2));
    reader.handleLine("RTTFC_EOT");
    EXPECT_TRUE(reader.batch.empty());
    ASSERT_EQ(box.slot.size(), 2u);
    EXPECT_EQ(box.slot[0].playTime, 1000 + 3000 - 100);
    EXPECT_EQ(box.slot[1].playTime, 1000 + 3000 + 100);
    EXPECT_FALSE(reader.batchContext);
}

TEST_F(RTAppLines, BufferedSlicesPlayAtTheirDelays)
{
    for (int slice = 0; slice < 7; ++slice) {
        reader.handleLine(trafficLine(aircraft(400001 + slice), kNow + slice));
        reader.handleLine("RTBUF_SEP");
    }
    reader.handleLine("RTBUF_EOT");
    ASSERT_EQ(g_applied.size(), 7u);
    for (int slice = 0; slice < 7; ++slice)
        EXPECT_EQ(g_applied[slice].playTime, 1000 + 600 * slice) << slice;
    EXPECT_TRUE(box.slot.empty()) << "a sixth slice is still buffered traffic";
    EXPECT_TRUE(reader.bufferDone);
    EXPECT_NE(log().find(" Buffer traffic received\n"), std::string::npos);
}

TEST_F(RTAppLines, ParkedLines)
{
    AppParked p{0xA1B2C3, "KLM1", "B738", "PH-BXA", "D7", kLat, kLon};
    std::string line = parkedLine(p, kNow);
    auto f = fieldsOf(line);
    f[1] = "a1B2c3";
    reader.handleLine(join(f));
    f[1] = "0x12";
    reader.handleLine(join(f));
    f[1] = "a1b2c4";
    f[8] = "-3";
    reader.handleLine(join(f));
    f[8] = "abc";
    reader.handleLine(join(f));
    f.pop_back();
    reader.handleLine(join(f));
    EXPECT_TRUE(reader.parked.list.empty());
    reader.handleLine("RTPARK_EOT");
    EXPECT_TRUE(reader.parked.received);
    ASSERT_EQ(reader.parked.list.size(), 1u);
    EXPECT_EQ(reader.parked.list[0].hexid, 0xA1B2C3u);
    EXPECT_EQ(reader.parked.list[0].stand, "D7");
    const std::string text = log();
    EXPECT_NE(text.find("exception in processRTAppLine: hexid incorrect0x12\n"), std::string::npos);
    EXPECT_NE(text.find("exception in processRTAppLine: timestamp outside range: -3.000\n"), std::string::npos);
    EXPECT_NE(text.find("exception in processRTAppLine: timestamp:abc\n"), std::string::npos);
    EXPECT_NE(text.find("Ignoring incomplete RT App message: 8 fields received, 9 required"), std::string::npos);
    EXPECT_NE(text.find(" park traffic received\n"), std::string::npos);
}

TEST_F(RTAppLines, SeenTrafficWhileCollecting)
{
    reader.seen.reset();
    auto a = aircraft(400001);
    a.callsign = "";
    a.registration = "";
    reader.handleLine(trafficLine(a, kNow)); // no name: no record, but seen
    EXPECT_TRUE(reader.batch.empty());
    SeenTraffic taken;
    reader.seen.takeOver(taken);
    EXPECT_TRUE(taken.hexids.contains(400001u));
    reader.handleLine(trafficLine(aircraft(400002), kNow));
    EXPECT_TRUE(reader.seen.copy().hexids.empty()) << "collection is off after the take-over";
}

// ---- Over UDP against the stand-in App -------------------------------------------

namespace {

class RTAppReaders : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        gf_openLog();
        gf_clearStopRequest();
        kvr::test::setRTApp(true);
        kvr::test::setRangeNm(40);
        kvr::test::setCurrentAirport(0x45484148, kLat, kLon, 0.0);
        gf_modelDatabase().icaoModelCodes.insert("B738");
        UserAcPosition user;
        user.latitude = kLat;
        user.longitude = kLon;
        gf_publishUserAcPosition(user);
        gf_rtAppTrafficReader().reset();
        gf_rtAppQnhReader().clearState();
        gf_setRTAppUserPosition(kLat, kLon);
        box.reset();
        box.apply = &captureApplied;
        gf_setTrafficDelivery(true);
        g_applied.clear();
        CurrentQnh = 1013;
        gf_resetRTBufferRequest();
        server.pollInterval = 20ms;
        server.settleTime = 50ms;
        PSX_SERVER_HERE.value = true;
        AEROWINX.value = false;
    }
    void TearDown() override
    {
        stopReaders();
        server.closeSockets();
        gf_setTrafficDelivery(false);
        box.reset();
        box.apply = nullptr;
        gf_modelDatabase().icaoModelCodes.clear();
        kvr::test::setCurrentAirport(0, 0, 0, 0);
        gf_closeLog();
        WSACleanup();
    }

    void startReaders()
    {
        traffic = std::thread(gf_trafficReader);
        weather = std::thread(gf_weatherReader);
        ASSERT_TRUE(waitFor([] { return logHas("Traffic Reader connected") && logHas("QNH Reader connected"); }));
    }
    void stopReaders()
    {
        gf_rtAppTrafficReader().stopFlag = true;
        gf_rtAppQnhReader().stopFlag = true;
        if (traffic.joinable()) {
            app.sendTraffic("wake up");
            traffic.join();
        }
        if (weather.joinable()) {
            app.sendDatagram(kRTAppWeatherPort, "wake up");
            weather.join();
        }
    }
    static bool logHas(std::string_view text)
    {
        gf_flushLog();
        return kvr::test::logText().find(text) != std::string::npos;
    }
    template <typename Pred>
    static bool waitFor(Pred pred)
    {
        for (int i = 0; i < 500; ++i) {
            if (pred())
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return pred();
    }
    // Waits until the reader has counted `n` datagrams.
    static bool counted(uint32_t n)
    {
        return waitFor([n] { return gf_rtAppTrafficReader().datagramCount >= n; });
    }

    kvr::test::ScopedTestFolders folders{"rtudp"};
    TrafficMailbox& box = gf_trafficMailbox();
    RTAppServer& server = gf_rtAppServer();
    RtAppStandIn app;
    std::thread traffic;
    std::thread weather;
};

} // namespace

TEST_F(RTAppReaders, BufferLiveAndParkedTrafficEndToEnd)
{
    const uint16_t port = kvr::test::freeTcpPort();
    PORT_NUMBER.value = std::to_string(port);
    server.startListening(PORT_NUMBER.value);
    auto session = std::async(std::launch::async, gf_runRTAppSession);
    for (int s = 0; s < 5; ++s)
        app.bufferSlices.push_back({trafficLine(aircraft(410000 + s), kNow - 24 + 6 * s, "RTBUF")});
    app.parkedLines = {parkedLine(AppParked{0x484F6D, "KLM9", "B738", "PH-BXB", "E3", kLat, kLon}, kNow)};
    ASSERT_TRUE(app.connect(port, 5s));
    ASSERT_EQ(session.wait_for(10s), std::future_status::ready);
    gf_setRTAppUserPosition(kLat, kLon); // the feed start's step after the handshake

    startReaders();
    ASSERT_TRUE(app.waitForLines("Qs999=sendbuffer=5,6,", 1, 5s));
    ASSERT_TRUE(waitFor([] { return gf_rtAppTrafficReader().bufferDone.load(); }));
    ASSERT_EQ(appliedCount(), 5u);
    for (int s = 0; s < 5; ++s)
        EXPECT_EQ(g_applied[s].playTime, engineClock + 600 * s);
    EXPECT_FALSE(rtAppBufferRequested) << "the end of the buffer clears the request";

    app.sendBatch({trafficLine(aircraft(420001), kNow), trafficLine(aircraft(420002), kNow + 1)});
    ASSERT_TRUE(counted(5 * 2 + 1 + 3));
    {
        std::lock_guard lock(box.mutex);
        ASSERT_EQ(box.slot.size(), 2u);
        EXPECT_EQ(box.slot[1].hexid, 420002u);
    }
    EXPECT_EQ(gf_rtAppTrafficReader().lastTimestamp, 1700000001u);

    gf_requestRTAppParkedTraffic();
    ASSERT_TRUE(app.waitForLines("Qs999=sendparked,", 1, 5s));
    ASSERT_TRUE(waitFor([] { return gf_rtAppTrafficReader().parked.received.load(); }));
    std::lock_guard lock(gf_rtAppTrafficReader().parked.mutex);
    ASSERT_EQ(gf_rtAppTrafficReader().parked.list.size(), 1u);
    EXPECT_EQ(gf_rtAppTrafficReader().parked.list[0].stand, "E3");
    EXPECT_EQ(app.linesStartingWith("Qs999=sendparked,")[0],
              fmt::format("Qs999=sendparked,{:.6f},{:.6f},{:.6f},{:.6f}\r\n", kLat - 0.04996402877697842,
                          gf_destinationPoint(LatLon{kLat, kLon}, BearingDistance{-std::numbers::pi / 2, 18228.34647}).longitude,
                          kLat + 0.04996402877697842,
                          gf_destinationPoint(LatLon{kLat, kLon}, BearingDistance{std::numbers::pi / 2, 18228.34647}).longitude));
}

TEST_F(RTAppReaders, DatagramSizesAndDuplicates)
{
    startReaders();
    std::string big = trafficLine(aircraft(430001), kNow) + ",";
    big += std::string(kMaxDatagram - big.size(), 'x');
    ASSERT_EQ(big.size(), 16384u);
    app.sendTraffic(big);
    app.sendTraffic(big); // the same again: skipped
    app.sendTraffic(big + "y");
    app.sendTraffic(big + "yyyy");
    app.sendTraffic("RTTFC_EOT");
    ASSERT_TRUE(counted(5));
    std::lock_guard lock(box.mutex);
    ASSERT_EQ(box.slot.size(), 1u);
    EXPECT_EQ(box.slot[0].hexid, 430001u);
    gf_flushLog();
    const std::string text = kvr::test::logText();
    const std::string exceeds = "UDP datagram exceeds 16384 bytes; discarded\n";
    const size_t first = text.find(exceeds);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(text.find(exceeds, first + 1), std::string::npos);
}

TEST_F(RTAppReaders, MetarSetsTheQnh)
{
    startReaders();
    QnhReader& qnh = gf_rtAppQnhReader();
    auto waitQnh = [&](int32_t value) { return waitFor([&] { return qnh.lastQnh == value; }); };
    app.sendMetar("EHAM 071025Z 24012KT 9999 Q1020");
    ASSERT_TRUE(waitQnh(1020));
    EXPECT_EQ(CurrentQnh, 1020);
    EXPECT_EQ(gf_rtAppTrafficReader().qnh, 1020);

    app.sendMetar("EHAM 071055Z 24012KT 9999 Q0850");
    app.sendDatagram(kRTAppWeatherPort, "{\"METAR\": 5}");
    app.sendDatagram(kRTAppWeatherPort, "not json");
    app.sendMetar("EHAM 071125Z 24012KT 9999 Q1013");
    ASSERT_TRUE(waitQnh(1013));
    EXPECT_EQ(CurrentQnh, 1013);
    gf_flushLog();
    const std::string text = kvr::test::logText();
    EXPECT_NE(text.find("==> QNH outside limits: 850 (Q0850) in {\"METAR\":\"EHAM 071055Z 24012KT 9999 Q0850\"}"),
              std::string::npos);
    EXPECT_NE(text.find("no QNH {\"METAR\": 5}"), std::string::npos);
    EXPECT_NE(text.find("Exception "), std::string::npos);
    Gui::instance().drainUpdates();
    EXPECT_EQ(Gui::instance().display.qnhValue, 1013);
}
