// The RT App's traffic and weather datagrams: line decoding, batches, parked
// lists and QNH, and the readers end to end over UDP against the stand-in App.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <future>
#include <numbers>
#include <thread>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/stop_request.h"
#include "feed/qnh.h"
#include "feed/rt_app_link.h"
#include "feed/rt_app_readers.h"
#include "liveries/model_database.h"
#include "simlink/user_aircraft.h"
#include "standins/rt_app_standin.h"
#include "tests/feed/feed_test_support.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

using namespace std::chrono_literals;
using kvr::standin::AppAircraft;
using kvr::standin::AppParked;
using kvr::standin::parkedLine;
using kvr::standin::TrafficLayout;
using kvr::standin::trafficLine;

namespace {

constexpr double kLat = 52.3;
constexpr double kLon = 4.76;
constexpr double kNow = 1700000000.0;

// The clock of the readers' counts of bad input.
std::atomic<int64_t> g_badInputClockS{1000};
RepeatedInputLog::Clock::time_point badInputClock()
{
    return RepeatedInputLog::Clock::time_point(std::chrono::seconds(g_badInputClockS.load()));
}

AppAircraft aircraft(uint32_t hexid, double northNm = 5.0)
{
    return AppAircraft{.hexid = hexid, .callsign = fmt::format("KLM{}", hexid % 1000), .type = "B738",
                       .registration = "PH-BXA", .lat = kLat + northNm / 60.0, .lon = kLon, .altitude = 3000,
                       .groundSpeed = 200, .track = 240};
}

// The line with field `index` replaced.
std::string withField(const std::string& line, size_t index, std::string_view value)
{
    size_t start = 0;
    for (size_t i = 0; i < index; ++i)
        start = line.find(',', start) + 1;
    const size_t end = std::min(line.find(',', start), line.size());
    return line.substr(0, start) + std::string(value) + line.substr(end);
}

class RTAppFeed : public ::testing::Test {
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
        UserAcPosition user;
        user.latitude = kLat;
        user.longitude = kLon;
        gf_publishUserAcPosition(user);
        engineClock = 1000;
        for (TrafficReader* r : {&reader, &gf_rtAppTrafficReader()}) {
            r->reset();
            r->qnh = 1013;
            r->userLat = kLat;
            r->userLon = kLon;
            r->cosUserLat = std::cos(kLat * std::numbers::pi / 180);
        }
        reader.mailbox = &box;
        for (TrafficMailbox* b : {&box, &gf_trafficMailbox()}) {
            std::lock_guard lock(b->mutex);
            b->deliveryOn = true;
        }
        gf_rtAppQnhReader().clearState();
        gf_resetRTBufferRequest();
        // Ports of this run only: another run (or a demo) may hold the App's.
        app.trafficPort = kvr::test::freeUdpPort();
        app.weatherPort = kvr::test::freeUdpPort();
        gf_setRTAppPortsForTest(app.trafficPort, app.weatherPort);
        server.pollInterval = 20ms;
        server.settleTime = 50ms;
        PSX_SERVER_HERE.value = true;
        AEROWINX.value = false;
    }
    void TearDown() override
    {
        for (UdpReceiver* r : {static_cast<UdpReceiver*>(&gf_rtAppTrafficReader()),
                               static_cast<UdpReceiver*>(&gf_rtAppQnhReader())})
            r->badInput.now = &RepeatedInputLog::Clock::now;
        gf_rtAppTrafficReader().stopFlag = true;
        gf_rtAppQnhReader().stopFlag = true;
        if (traffic.joinable()) {
            app.sendTraffic("wake up");
            traffic.join();
        }
        if (weather.joinable()) {
            app.sendDatagram(app.weatherPort, "wake up");
            weather.join();
        }
        gf_setRTAppPortsForTest(0, 0);
        server.closeSockets();
        gf_setTrafficDelivery(false);
        gf_trafficMailbox().reset();
        kvr::test::setCurrentAirport(0, 0, 0, 0);
        engineClock = 0;
        gf_closeLog();
        WSACleanup();
    }

    static std::string log()
    {
        gf_flushLog();
        return kvr::test::logText();
    }
    static bool waitFor(const std::function<bool()>& pred)
    {
        for (int i = 0; i < 500 && !pred(); ++i)
            std::this_thread::sleep_for(10ms);
        return pred();
    }
    void startReaders()
    {
        traffic = std::thread(gf_trafficReader);
        weather = std::thread(gf_weatherReader);
        ASSERT_TRUE(waitFor([] {
            const std::string text = log();
            return text.find("Traffic Reader connected") != text.npos && text.find("QNH Reader connected") != text.npos;
        }));
    }
    // Waits until the program's traffic reader has counted `n` datagrams.
    static bool counted(uint32_t n)
    {
        return waitFor([n] { return gf_rtAppTrafficReader().datagramCount >= n; });
    }

    kvr::test::RecordingUiSink ui;
    kvr::test::ScopedTestFolders folders{"rtfeed"};
    TrafficMailbox box;
    TrafficReader reader;
    RTAppServer& server = gf_rtAppServer();
    kvr::standin::RtAppStandIn app;
    std::thread traffic;
    std::thread weather;
};

} // namespace

TEST_F(RTAppFeed, PositionLinesNeedTheirFields)
{
    const std::string line = trafficLine(aircraft(400001), kNow);
    const std::string documented = trafficLine(aircraft(400001), kNow, "RTTFC", TrafficLayout::Documented);
    const std::string cut = documented.substr(0, documented.rfind(','));
    reader.handleLine(cut);
    EXPECT_TRUE(reader.batch.empty());
    EXPECT_NE(log().find("Ignoring incomplete RT App message: 42 fields received, 43 required: " + cut + "\n"),
              std::string::npos);

    reader.handleLine(line);
    ASSERT_EQ(reader.batch.size(), 1u);
    EXPECT_EQ(reader.batch[0].hexid, 400001u);
    EXPECT_EQ(reader.lastTimestamp, 1700000000u);

    reader.handleLine(withField(withField(line, 7, ""), 1, "400002")); // an empty track is 0
    ASSERT_EQ(reader.batch.size(), 2u);
    EXPECT_DOUBLE_EQ(reader.batch[1].track, 240.0) << "no track: the true heading stands in";
    reader.handleLine(withField(line, 8, ""));
    reader.handleLine(withField(line, 1, "4x"));
    EXPECT_EQ(reader.batch.size(), 2u);
    EXPECT_NE(log().find("exception in processLine: gs:\n"), std::string::npos);
    EXPECT_NE(log().find("exception in processLine: hexid:4x\n"), std::string::npos);
    // A record refused or failing in the conversion leaves nothing in the batch.
    reader.handleLine(withField(line, 1, "10000"));
    reader.handleLine(withField(withField(line, 25, "361"), 1, "400003"));
    ASSERT_EQ(reader.batch.size(), 2u);
    EXPECT_EQ(reader.batch[1].hexid, 400002u);
    EXPECT_NE(log().find("exception in processLine: true heading: 361.00\n"), std::string::npos);

    // Every latitude text reads as from_chars reads it, or not at all.
    uint32_t hexid = 400100;
    for (const char* text : {"52.36", "52.123456789012", "52.1234567890123456", "5.236e1", "52.", "052.5", "52.3.1",
                             "-", "+52.5", "52.5x"}) {
        reader.batch.clear();
        reader.handleLine(withField(withField(line, 2, text), 1, std::to_string(++hexid)));
        const std::string_view t(text);
        double expected = 0.0;
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), expected);
        if (ec != std::errc() || end != t.data() + t.size()) {
            EXPECT_TRUE(reader.batch.empty()) << text;
            continue;
        }
        ASSERT_EQ(reader.batch.size(), 1u) << text;
        EXPECT_EQ(reader.batch[0].lat, expected) << text;
    }
}

TEST_F(RTAppFeed, TheDocumentedLayoutAndTheLongerOneAreBothDecoded)
{
    AppAircraft a = aircraft(400011);
    a.track = 240;
    a.airline = "KLM";
    const std::string documented = trafficLine(a, kNow, "RTTFC", TrafficLayout::Documented);
    ASSERT_EQ(std::count(documented.begin(), documented.end(), ','), 42);
    ASSERT_NE(documented.find(",F_adsb_icao,"), std::string::npos);
    reader.handleLine(withField(documented, 25, "250.0")); // the true heading differs from the track
    a.hexid = 400012;
    reader.handleLine(withField(trafficLine(a, kNow), 25, "250.0"));
    a.hexid = 400013;
    a.source = "mlat";
    reader.handleLine(withField(trafficLine(a, kNow, "RTTFC", TrafficLayout::Documented), 25, "x"));
    ASSERT_EQ(reader.batch.size(), 3u);
    const double radians = 250.0 * std::numbers::pi / 180.0;
    ASSERT_TRUE(reader.batch[0].trueHeading);
    EXPECT_DOUBLE_EQ(*reader.batch[0].trueHeading, radians) << "a provider's prefix is still ADS-B";
    ASSERT_TRUE(reader.batch[1].trueHeading);
    EXPECT_DOUBLE_EQ(*reader.batch[1].trueHeading, radians);
    EXPECT_FALSE(reader.batch[2].trueHeading) << "no ADS-B: field 25 is not read";
    EXPECT_EQ(gf_airlineCodeText(reader.batch[1].ids.airline), "KLM");
    EXPECT_EQ(gf_airlineCodeText(reader.batch[0].ids.airline), "KLM") << "from the callsign";
}

TEST_F(RTAppFeed, LogLinesQuoteAFewHundredCharactersOfWhatCame)
{
    const std::string junk = "RTTFC," + std::string(16000, 'x');
    reader.handleLine(junk);
    const std::string bad = withField(trafficLine(aircraft(400021), kNow), 8, std::string(10000, '9') + "z");
    reader.handleLine(bad);
    QnhReader qnhReader;
    const std::string notJson = "{" + std::string(16000, 'y');
    qnhReader.datagram = notJson;
    qnhReader.onDatagram();
    const std::string text = log();
    EXPECT_NE(text.find("Ignoring incomplete RT App message: 2 fields received, 43 required: RTTFC,xxx"),
              std::string::npos);
    EXPECT_NE(text.find("... (16006 bytes)\n"), std::string::npos);
    EXPECT_NE(text.find("exception in processLine: gs:999"), std::string::npos);
    EXPECT_NE(text.find("... (10001 bytes)\n"), std::string::npos);
    EXPECT_NE(text.find("... (16001 bytes)\n"), std::string::npos);
    size_t longest = 0;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        longest = std::max(longest, end - at);
    }
    EXPECT_LT(longest, 1000u);
}

TEST_F(RTAppFeed, TagsBatchesAndSlices)
{
    reader.handleLine(trafficLine(aircraft(400001), kNow, "RTBUFX"));
    reader.handleLine(trafficLine(aircraft(400002), kNow, "RTTFCX"));
    reader.handleLine(trafficLine(aircraft(400003), kNow, "RTPARKX"));
    ASSERT_EQ(reader.batch.size(), 1u);
    reader.handleLine(trafficLine(aircraft(400004, 50.0), kNow + 7)); // out of range, still timed
    EXPECT_EQ(reader.lastTimestamp, 1700000007u);
    reader.handleLine(trafficLine(aircraft(400005), kNow + 2));
    reader.handleLine("RTTFC_EOT");
    ASSERT_EQ(box.slot.size(), 2u);
    EXPECT_EQ(box.slot[0].playTime, 1000 + 3000 - 100);
    EXPECT_EQ(box.slot[1].playTime, 1000 + 3000 + 100);

    // Seven buffered slices: every one waits whole for the main task, the
    // sixth and seventh too, however late they play.
    for (int slice = 0; slice < 7; ++slice) {
        reader.handleLine(trafficLine(aircraft(410001 + slice), kNow + slice));
        reader.handleLine("RTBUF_SEP");
    }
    reader.handleLine("RTBUF_EOT");
    ASSERT_EQ(box.buffered.size(), 7u);
    for (int slice = 0; slice < 7; ++slice)
        EXPECT_EQ(box.buffered[slice].playTime, 1000 + 600 * slice) << slice;
    EXPECT_EQ(box.slot.size(), 2u);
    EXPECT_TRUE(reader.bufferDone);
    EXPECT_NE(log().find(" Buffer traffic received\n"), std::string::npos);
}

TEST_F(RTAppFeed, TheLinesOfABatchKeepTheModeOfItsFirstLine)
{
    reader.qnh = 1023;
    reader.handleLine(trafficLine(aircraft(400001), kNow));
    kvr::test::setRTApp(false); // the QNH offset would apply in RT Direct mode
    reader.handleLine(trafficLine(aircraft(400002), kNow));
    reader.handleLine("RTTFC_EOT");
    reader.handleLine(trafficLine(aircraft(400003), kNow));
    kvr::test::setRTApp(true);
    ASSERT_EQ(box.slot.size(), 2u);
    EXPECT_EQ(box.slot[0].altitude, 3000.0);
    EXPECT_EQ(box.slot[1].altitude, 3000.0);
    ASSERT_EQ(reader.batch.size(), 1u);
    EXPECT_EQ(reader.batch[0].altitude, 3292.5);
}

TEST_F(RTAppFeed, ParkedLines)
{
    const std::string line = parkedLine(AppParked{0xA1B2C3, "KLM1", "B738", "PH-BXA", "D7", kLat, kLon}, kNow);
    gf_modelDatabase().icaoModelCodes.insert("B738");
    reader.handleLine(withField(line, 1, "a1B2c3"));
    reader.handleLine(withField(line, 1, "0x12"));
    reader.handleLine(withField(line, 8, "-3"));
    reader.handleLine(withField(line, 8, "abc"));
    reader.handleLine(line.substr(0, line.rfind(',')));
    reader.handleLine(withField(trafficLine(aircraft(400001), kNow), 14, "-3")); // a position keeps its blank
    EXPECT_TRUE(reader.parked.list.empty());
    reader.handleLine("RTPARK_EOT");
    gf_modelDatabase().icaoModelCodes.clear();
    EXPECT_TRUE(reader.parked.received);
    ASSERT_EQ(reader.parked.list.size(), 1u);
    EXPECT_EQ(reader.parked.list[0].hexid, 0xA1B2C3u);
    EXPECT_EQ(reader.parked.list[0].stand, "D7");
    const std::string text = log();
    EXPECT_NE(text.find("exception in processRTAppLine: hexid incorrect0x12\n"), std::string::npos);
    EXPECT_NE(text.find("exception in processRTAppLine: timestamp outside range:-3.000\n"), std::string::npos);
    EXPECT_NE(text.find("exception in processLine: timestamp outside range: -3.000\n"), std::string::npos);
    EXPECT_NE(text.find("exception in processRTAppLine: timestamp:abc\n"), std::string::npos);
    EXPECT_NE(text.find("Ignoring incomplete RT App message: 8 fields received, 9 required"), std::string::npos);
    EXPECT_NE(text.find(" park traffic received\n"), std::string::npos);
}

TEST_F(RTAppFeed, BufferLiveAndParkedTrafficOverUdp)
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
    gf_modelDatabase().icaoModelCodes.insert("B738");

    startReaders();
    ASSERT_TRUE(app.waitForLines("Qs999=sendbuffer=5,6,", 1, 5s));
    ASSERT_TRUE(waitFor([] { return gf_rtAppTrafficReader().bufferDone.load(); }));
    std::vector<LiveTrafficRecord> slices;
    {
        std::lock_guard lock(gf_trafficMailbox().mutex);
        slices.assign(gf_trafficMailbox().buffered.begin(), gf_trafficMailbox().buffered.end());
    }
    ASSERT_EQ(slices.size(), 5u);
    for (int s = 0; s < 5; ++s)
        EXPECT_EQ(slices[s].playTime, 1000 + 600 * s);
    EXPECT_FALSE(rtAppBufferRequested) << "the end of the buffer clears the request";

    app.sendBatch({trafficLine(aircraft(420001), kNow), trafficLine(aircraft(420002), kNow + 1)});
    ASSERT_TRUE(counted(5 * 2 + 1 + 3));
    EXPECT_EQ(gf_trafficMailbox().slot.size(), 2u);
    EXPECT_EQ(gf_rtAppTrafficReader().lastTimestamp, 1700000001u);

    gf_requestRTAppParkedTraffic();
    ASSERT_TRUE(waitFor([] { return gf_rtAppTrafficReader().parked.received.load(); }));
    gf_modelDatabase().icaoModelCodes.clear();
    ASSERT_EQ(gf_rtAppTrafficReader().parked.list.size(), 1u);
    EXPECT_EQ(gf_rtAppTrafficReader().parked.list[0].stand, "E3");
    auto lon = [](double bearing) {
        return gf_destinationPoint(LatLon{kLat, kLon}, BearingDistance{bearing, 18228.34647}).longitude;
    };
    EXPECT_EQ(app.linesStartingWith("Qs999=sendparked,").at(0),
              fmt::format("Qs999=sendparked,{:.6f},{:.6f},{:.6f},{:.6f}\r\n", kLat - 0.04996402877697842,
                          lon(-std::numbers::pi / 2), kLat + 0.04996402877697842, lon(std::numbers::pi / 2)));
}

TEST_F(RTAppFeed, DatagramSizesAndDuplicates)
{
    gf_rtAppTrafficReader().badInput.now = &badInputClock;
    startReaders();
    std::string big = trafficLine(aircraft(430001), kNow) + ",";
    big += std::string(kMaxDatagram - big.size(), 'x');
    app.sendTraffic(big);
    app.sendTraffic(big); // the same again: skipped
    app.sendTraffic(big + "y");
    app.sendTraffic(big + "yyyy");
    app.sendTraffic("RTTFC_EOT");
    ASSERT_TRUE(counted(5));
    ASSERT_EQ(gf_trafficMailbox().slot.size(), 1u);
    EXPECT_EQ(gf_trafficMailbox().slot[0].hexid, 430001u);
    const std::string text = log();
    const std::string exceeds = "UDP datagram exceeds 16384 bytes; discarded\n";
    ASSERT_NE(text.find(exceeds), std::string::npos);
    EXPECT_EQ(text.find(exceeds, text.find(exceeds) + 1), std::string::npos) << "the second is counted";
    g_badInputClockS += 60;
    EXPECT_TRUE(waitFor([] {
        return log().find("1 more like this in the last minute: UDP datagram too large\n") != std::string::npos;
    })) << "two are too long";
}

TEST_F(RTAppFeed, AFloodOfBadLinesIsLoggedOnceAndThenCountedPerMinute)
{
    reader.badInput.now = &badInputClock;
    QnhReader qnhReader;
    qnhReader.badInput.now = &badInputClock;
    const std::string line = trafficLine(aircraft(400001), kNow);
    const size_t before = log().size();
    for (int i = 0; i < 100000; ++i) {
        reader.handleLine(fmt::format("RTTFC,{}", i));
        if (i % 100 == 0) {
            reader.handleLine(withField(line, 8, std::to_string(i) + "x"));
            reader.handleLine(withField(parkedLine(AppParked{0xA1B2C3, "KLM1", "B738", "PH-BXA", "D7", kLat, kLon}, kNow),
                                        1, fmt::format("0x{}", i)));
            qnhReader.datagram = "{" + std::to_string(i);
            qnhReader.onDatagram();
        }
    }
    reader.handleLine(withField(line, 1, "4x")); // another kind: written
    std::string text = log().substr(before);
    EXPECT_LT(text.size(), 2000u) << text.substr(0, 2000);
    EXPECT_NE(text.find("Ignoring incomplete RT App message: 2 fields received, 43 required: RTTFC,0\n"),
              std::string::npos);
    EXPECT_NE(text.find("exception in processLine: gs:0x\n"), std::string::npos);
    EXPECT_NE(text.find("exception in processRTAppLine: hexid incorrect0x0\n"), std::string::npos);
    EXPECT_NE(text.find("Exception "), std::string::npos);
    EXPECT_NE(text.find("exception in processLine: hexid:4x\n"), std::string::npos);

    // A minute on, the next bad line brings the counts; a quiet minute after
    // that forgets the kind, and its next line is written again.
    g_badInputClockS += 60;
    reader.handleLine("RTTFC,late");
    qnhReader.badInput.report();
    text = log().substr(before);
    EXPECT_NE(text.find("99999 more like this in the last minute: Ignoring incomplete RT App message (43 fields "
                        "required)\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("999 more like this in the last minute: exception in processLine: gs\n"), std::string::npos);
    EXPECT_NE(text.find("999 more like this in the last minute: exception in processRTAppLine: hexid incorrect\n"),
              std::string::npos);
    EXPECT_NE(text.find("999 more like this in the last minute: weather datagram not read\n"), std::string::npos);
    EXPECT_EQ(text.find("RTTFC,late"), std::string::npos);
    g_badInputClockS += 60;
    reader.badInput.report();
    g_badInputClockS += 60;
    reader.handleLine("RTTFC,again");
    text = log().substr(before);
    EXPECT_NE(text.find("1 more like this in the last minute: Ignoring incomplete RT App message (43 fields "
                        "required)\n"),
              std::string::npos);
    EXPECT_NE(text.find("Ignoring incomplete RT App message: 2 fields received, 43 required: RTTFC,again\n"),
              std::string::npos);
}

TEST_F(RTAppFeed, EndsOfBatchesNobodyWaitsForAreCounted)
{
    reader.badInput.now = &badInputClock;
    const size_t before = log().size();
    for (int i = 0; i < 100000; ++i)
        reader.handleLine(i % 2 == 0 ? "RTBUF_EOT" : "RTPARK_EOT");
    std::string text = log().substr(before);
    EXPECT_LT(text.size(), 400u) << text.substr(0, 400);
    const auto count = [&text](std::string_view what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    // The awaited end and the first one out of turn are written.
    EXPECT_EQ(count(" Buffer traffic received\n"), 2u);
    EXPECT_EQ(count(" park traffic received\n"), 2u);
    EXPECT_TRUE(reader.bufferDone);
    EXPECT_TRUE(reader.parked.received);

    // A parked request makes the next end awaited again: written at once.
    reader.parked.received = false;
    reader.handleLine("RTPARK_EOT");
    text = log().substr(before);
    EXPECT_EQ(count(" park traffic received\n"), 3u);
    g_badInputClockS += 60;
    reader.badInput.report();
    text = log().substr(before);
    EXPECT_NE(text.find("49998 more like this in the last minute: Buffer traffic received out of turn\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("49998 more like this in the last minute: park traffic received out of turn\n"),
              std::string::npos);
}

TEST_F(RTAppFeed, AnUnchangedWeatherDatagramIsStillFreshWeather)
{
    startReaders();
    QnhReader& qnh = gf_rtAppQnhReader();
    app.sendMetar("EHAM 071025Z 24012KT 9999 Q1020");
    ASSERT_TRUE(waitFor([&] { return qnh.lastQnh == 1020; }));
    const auto first = qnh.lastReceive.load();
    std::this_thread::sleep_for(20ms);
    app.sendMetar("EHAM 071025Z 24012KT 9999 Q1020"); // the App repeats it every 10 s
    EXPECT_TRUE(waitFor([&] { return qnh.lastReceive.load() > first; }));
}

TEST_F(RTAppFeed, BothReadersAskForAReceiveBufferThatHoldsABurst)
{
    startReaders();
    for (UdpReceiver* r : {static_cast<UdpReceiver*>(&gf_rtAppTrafficReader()),
                           static_cast<UdpReceiver*>(&gf_rtAppQnhReader())}) {
        ASSERT_TRUE(waitFor([r] { return r->receiveBufferBytes() > 0; }));
        int granted = 0;
        int length = sizeof granted;
        ASSERT_EQ(getsockopt(static_cast<SOCKET>(r->socket_), SOL_SOCKET, SO_RCVBUF,
                             reinterpret_cast<char*>(&granted), &length),
                  0);
        EXPECT_EQ(granted, r->receiveBufferBytes());
        if (granted < kUdpReceiveBufferBytes)
            EXPECT_NE(log().find(fmt::format("UDP receive buffer: {} bytes asked, {} granted", kUdpReceiveBufferBytes,
                                              granted)),
                      std::string::npos);
        else
            EXPECT_GE(granted, kUdpReceiveBufferBytes);
    }
}

TEST_F(RTAppFeed, MetarSetsTheQnh)
{
    startReaders();
    QnhReader& qnh = gf_rtAppQnhReader();
    app.sendMetar("EHAM 071025Z 24012KT 9999 Q1020");
    ASSERT_TRUE(waitFor([&] { return qnh.lastQnh == 1020; }));
    EXPECT_EQ(CurrentQnh, 1020);
    EXPECT_EQ(gf_rtAppTrafficReader().qnh, 1020);

    app.sendMetar("EHAM 071055Z 24012KT 9999 Q0850");
    app.sendDatagram(app.weatherPort, "{\"METAR\": 5}");
    app.sendDatagram(app.weatherPort, "not json");
    app.sendMetar("EHAM 071125Z 24012KT 9999 Q1013");
    ASSERT_TRUE(waitFor([&] { return qnh.lastQnh == 1013; }));
    EXPECT_EQ(CurrentQnh, 1013);
    const std::string text = log();
    EXPECT_NE(text.find("==> QNH outside limits: 850 (Q0850) in {\"METAR\":\"EHAM 071055Z 24012KT 9999 Q0850\"}"),
              std::string::npos);
    EXPECT_NE(text.find("no QNH {\"METAR\": 5}"), std::string::npos);
    EXPECT_NE(text.find("Exception "), std::string::npos);
    EXPECT_EQ(ui.last<GuiUpdate::QnhValue>().value().hpa, 1013u);
}

TEST_F(RTAppFeed, WeatherReaderReconnectsWhenItsPortIsTaken)
{
    SOCKET taken = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(app.weatherPort);
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    weather = std::thread(gf_weatherReader);
    ASSERT_TRUE(waitFor([] { return log().find("==> gf_weatherReader exception: bind failed") != std::string::npos; }));
    EXPECT_NE(log().find("; reconnecting ...\n"), std::string::npos);
    closesocket(taken);
    ASSERT_TRUE(waitFor([] { return log().find("QNH Reader connected") != std::string::npos; }));
    app.sendMetar("EHAM 071025Z 24012KT 9999 Q1003");
    EXPECT_TRUE(waitFor([] { return gf_rtAppQnhReader().lastQnh == 1003; }));
}

TEST_F(RTAppFeed, StopAskedBeforeTheLoopStartsEndsIt)
{
    // The shutdown may publish its request and set the flag while a reader
    // thread is still on its way into the receive loop.
    reader.openSocket();
    reader.bindToPort(0);
    gf_requestStop(2, 60);
    reader.stopFlag = true;
    auto loop = std::async(std::launch::async, [this] { reader.receive(); });
    const bool ended = loop.wait_for(3s) == std::future_status::ready;
    reader.stopFlag = true; // frees a loop that missed the request
    loop.wait();
    gf_clearStopRequest();
    EXPECT_TRUE(ended);
}

TEST_F(RTAppFeed, EmptyMetarIsNoWeather)
{
    QnhReader qnhReader;
    const std::string empty = R"({"METAR":""})";
    qnhReader.datagram = empty;
    qnhReader.onDatagram();
    EXPECT_EQ(qnhReader.lastReceive.load(), std::chrono::steady_clock::time_point{}) << "weather would look fresh";
    EXPECT_NE(log().find("no QNH " + empty + "\n"), std::string::npos);
}
