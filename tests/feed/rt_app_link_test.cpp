// The TCP link with the RealTraffic App, end to end against the stand-in App.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <future>
#include <thread>

#include "core/geodesy.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/stop_request.h"
#include "feed/feed_flags.h"
#include "feed/rt_app_link.h"
#include "simlink/user_aircraft.h"
#include "standins/rt_app_standin.h"
#include "tests/feed/feed_test_support.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

using namespace std::chrono_literals;
using kvr::standin::AppEdition;
using kvr::standin::RtAppStandIn;

namespace {

class RTAppLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        gf_openLog();
        gf_clearStopRequest();
        kvr::test::setRTApp(true);
        port = kvr::test::freeTcpPort();
        PSX_SERVER_HERE.value = true;
        AEROWINX.value = false;
        PORT_NUMBER.value = std::to_string(port);
        server.pollInterval = 20ms;
        server.settleTime = 100ms;
        server.replyTimeout = 3s;
        feedConnected = false;
        gf_professionalLevel() = false;
        gf_resetRTBufferRequest();
        gf_publishUserAcPosition(UserAcPosition{});
    }
    void TearDown() override
    {
        server.closeSockets();
        gf_clearStopRequest();
        gf_closeLog();
        WSACleanup();
    }

    // Runs the handshake on its own thread, as the main task does.
    std::future<void> startSession()
    {
        server.startListening(PORT_NUMBER.value);
        return std::async(std::launch::async, gf_runRTAppSession);
    }

    std::string log()
    {
        gf_flushLog();
        return kvr::test::logText();
    }

    kvr::test::RecordingUiSink ui;
    kvr::test::ScopedTestFolders folders{"rtlink"};
    RTAppServer& server = gf_rtAppServer();
    uint16_t port = 0;
};

} // namespace

TEST_F(RTAppLink, VersionReplies)
{
    struct Case {
        const char* reply;
        bool professional;
        const char* source;
    };
    const Case cases[] = {{R"({"level":1,"version":"9.1"})", false, "RT App stnd edition: 9.1"},
                          {R"({"version":"9.2"})", false, "RT App stnd edition: 9.2"},
                          {R"({"level":2.0,"version":"9.3"})", true, "RT App prof edition: 9.3"},
                          {R"({"level":2})", true, "RT App prof edition: "},
                          {"[]", false, ""},
                          {R"({"level":2,"version":7})", false, ""},
                          {"not json", false, ""}};
    for (const Case& c : cases) {
        gf_setTrafficSourceInfo("before");
        gf_professionalLevel() = !c.professional;
        lf_processRTVersion(c.reply);
        EXPECT_EQ(gf_professionalLevel().load(), c.professional) << c.reply;
        EXPECT_EQ(ui.last<GuiUpdate::TrafficSource>().value().text, c.source) << c.reply;
    }
    EXPECT_NE(log().find("lf_processRTVersion: JSON parse failed: "), std::string::npos);

    // A boolean level counts as 0 or 1: the standard edition, no type error.
    for (const char* reply : {R"({"level":true,"version":"9.4"})", R"({"level":false,"version":"9.4"})"}) {
        const size_t failures = kvr::test::logText().size();
        gf_professionalLevel() = true;
        lf_processRTVersion(reply);
        EXPECT_FALSE(gf_professionalLevel()) << reply;
        EXPECT_EQ(ui.last<GuiUpdate::TrafficSource>().value().text, "RT App stnd edition: 9.4") << reply;
        EXPECT_EQ(log().find("JSON parse failed", failures), std::string::npos) << reply;
    }

    gf_setTrafficSourceInfo("kept");
    gf_professionalLevel() = true;
    lf_processRTVersion("");
    EXPECT_FALSE(gf_professionalLevel());
    EXPECT_NE(log().find("No RealTraffic version received?"), std::string::npos);
    EXPECT_EQ(ui.last<GuiUpdate::TrafficSource>().value().text, "kept");
}

TEST_F(RTAppLink, OverlongOrMissingReplyMeansStandard)
{
    RtAppStandIn app;
    app.versionReply = std::string(16384, ' ');
    auto session = startSession();
    ASSERT_TRUE(app.connect(port, 5s));
    ASSERT_EQ(session.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(feedConnected); // the link is alive
    EXPECT_FALSE(gf_professionalLevel());
    EXPECT_NE(log().find("receive: buffer overrun: 16384"), std::string::npos);
    EXPECT_NE(log().find("No RealTraffic version received?"), std::string::npos);
    app.disconnect();
    server.closeSockets();

    // An App that never answers does not hold up the start for ever.
    server.replyTimeout = 200ms;
    RtAppStandIn silent;
    silent.edition = AppEdition::Silent;
    feedConnected = false;
    session = startSession();
    ASSERT_TRUE(silent.connect(port, 5s));
    ASSERT_EQ(session.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(feedConnected);
}

TEST_F(RTAppLink, ConnectAndCloseGivesTheStaleLineAndANewListen)
{
    RtAppStandIn app;
    auto session = startSession();
    ASSERT_TRUE(app.connectAndClose(port, 5s));
    const char* stale = "RT App connection was stale, waiting for a new one ...";
    for (int i = 0; i < 250 && log().find(stale) == std::string::npos; ++i)
        std::this_thread::sleep_for(20ms);
    // The server listens again on the same port. A connection that slipped
    // into the old listener's queue just before it closed is reset: retry.
    for (int attempt = 0; attempt < 5; ++attempt) {
        ASSERT_TRUE(app.connect(port, 10s));
        if (!app.waitForClose(300ms))
            break;
    }
    ASSERT_EQ(session.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(feedConnected);
    const std::string text = log();
    const size_t at = text.find(stale);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find("RealTraffic connected", at), std::string::npos);
}

TEST_F(RTAppLink, StopRequestOrClosedServerEndsTheWait)
{
    auto session = startSession();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(session.wait_for(0ms), std::future_status::timeout);
    StopRequestPtr none;
    gf_compareExchangeStopRequest(none, std::make_shared<const StopRequest>(StopRequest{1, 0}));
    ASSERT_EQ(session.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(feedConnected);
    EXPECT_TRUE(rtAppWaitingForApp);

    // The window's close path: the sockets are closed from another thread.
    gf_clearStopRequest();
    server.closeSockets(); // the shutdown's part
    session = startSession();
    std::this_thread::sleep_for(100ms);
    server.closeSockets();
    ASSERT_EQ(session.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(feedConnected);
    EXPECT_EQ(log().find("RealTraffic connected"), std::string::npos);

    // A stop request while the App keeps the version reply back.
    RtAppStandIn silent;
    silent.edition = AppEdition::Silent;
    server.replyTimeout = 60s;
    server.closeSockets();
    session = startSession();
    ASSERT_TRUE(silent.connect(port, 5s));
    ASSERT_TRUE(silent.waitForLines("Qs999=version", 1, 5s));
    none.reset();
    gf_compareExchangeStopRequest(none, std::make_shared<const StopRequest>(StopRequest{2, 60}));
    ASSERT_EQ(session.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(feedConnected);
}

TEST_F(RTAppLink, NoServerOfOurOwnSendsNothing)
{
    PSX_SERVER_HERE.value = false;
    gf_runRTAppSession(); // returns at once, without listening
    UserAcPosition user;
    user.latitude = 52;
    gf_publishUserAcPosition(user);
    gf_sendUserStateToRTApp();
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    // Aerowinx mode has no server either: no "gone", so no endless restarts.
    PSX_SERVER_HERE.value = true;
    AEROWINX.value = true;
    gf_sendUserStateToRTApp();
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    AEROWINX.value = false;
    gf_sendUserStateToRTApp();
    EXPECT_NE(gf_currentStopRequest(), nullptr) << "with a server and no App: gone";
}

TEST_F(RTAppLink, HandshakeAndTheLinesSentToTheApp)
{
    EXPECT_EQ(gf_formatQs121(0.01, -0.02, 3.0, 1500, 250, 1.0, 0.0),
              "Qs121=-1000;-2000;3.000000;1500000;250000;0.017453;0.000000\r\n");

    RtAppStandIn app;
    auto session = startSession();
    ASSERT_TRUE(app.connect(port, 5s));
    ASSERT_EQ(session.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(feedConnected);
    EXPECT_TRUE(gf_professionalLevel());
    EXPECT_FALSE(rtAppWaitingForApp);
    const std::string text = log();
    EXPECT_NE(text.find("Waiting for the RealTraffic App to run ... (did you start it?)"), std::string::npos);
    EXPECT_NE(text.find("RealTraffic connected\n"), std::string::npos);
    EXPECT_EQ(ui.last<GuiUpdate::TrafficSource>().value().text, "RT App prof edition: 10.0.281");

    gf_sendUserStateToRTApp(); // position unknown: nothing, and not "gone"
    gf_sendQs123Line(0);
    gf_sendQs123Line(-5);
    gf_sendQs123Line(1700000000);

    // The buffer request: one at a time; unknown position -> no box.
    EXPECT_TRUE(gf_requestRTBufferTraffic());
    EXPECT_FALSE(gf_requestRTBufferTraffic());
    gf_resetRTBufferRequest();

    UserAcPosition user;
    user.latitude = 1.0;
    user.pitch = 0.01;
    user.bank = -0.02;
    user.trueHeading = 3.0;
    user.indicatedAltitude = 1500;
    user.groundSpeed = 250;
    gf_publishUserAcPosition(user);
    gf_sendUserStateToRTApp();
    kvr::test::setRangeNm(10);
    EXPECT_TRUE(gf_requestRTBufferTraffic());
    gf_resetRTBufferRequest();
    EXPECT_TRUE(gf_requestRTParkedTraffic(ParkedTrafficBox{52.05, 51.95, 4.9, 5.1}));

    ASSERT_TRUE(app.waitForLines("Qs999=sendparked", 1, 5s));
    const std::vector<std::string> sent = app.lines();
    const double west = gf_destinationPoint(LatLon{1.0, 0.0}, BearingDistance{-std::numbers::pi / 2, 60761.1549}).longitude;
    const double east = gf_destinationPoint(LatLon{1.0, 0.0}, BearingDistance{std::numbers::pi / 2, 60761.1549}).longitude;
    const std::vector<std::string> expected{
        "Qs999=version\r\n",
        "Qs123=1700000000000\r\n",
        "Qs999=sendbuffer=5,6\n",
        "Qs121=-1000;-2000;3.000000;1500000;250000;0.017453;0.000000\r\n",
        fmt::format("Qs999=sendbuffer=5,6,{:.6f},{:.6f},{:.6f},{:.6f}\n", 1.0 - 10 * 1.852 / 111.2, west,
                    1.0 + 10 * 1.852 / 111.2, east),
        "Qs999=sendparked,51.950000,4.900000,52.050000,5.100000\r\n"};
    EXPECT_EQ(sent, expected);
    EXPECT_NEAR(east, 10.0 / 60.0 / std::cos(1.0 * std::numbers::pi / 180), 1e-3);
}

TEST_F(RTAppLink, DroppingTheAppRestarts)
{
    RtAppStandIn app;
    auto session = startSession();
    ASSERT_TRUE(app.connect(port, 5s));
    ASSERT_EQ(session.wait_for(10s), std::future_status::ready);
    UserAcPosition user;
    user.latitude = 52.3;
    user.longitude = 4.76;
    gf_publishUserAcPosition(user);
    gf_sendUserStateToRTApp();
    ASSERT_TRUE(app.waitForLines("Qs121=", 1, 5s));
    EXPECT_EQ(gf_currentStopRequest(), nullptr);

    app.disconnect();
    // The drain after a sent line notices the closed peer (or the send
    // fails); either way the user-state sender reports the App gone.
    for (int i = 0; i < 100 && !gf_currentStopRequest(); ++i) {
        gf_sendUserStateToRTApp();
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_NE(gf_currentStopRequest(), nullptr);
    EXPECT_EQ(gf_currentStopRequest()->code, 3u);
    EXPECT_EQ(gf_currentStopRequest()->arg, 0u);
    EXPECT_FALSE(feedConnected);
    const std::string message = ui.lastMessage();
    EXPECT_TRUE(message == "RealTraffic App gone" ||
                (message.size() == 29 && message.ends_with(" RealTraffic App gone"))) << message;
}

TEST_F(RTAppLink, APeerThatKeepsSendingCannotHoldTheDrain)
{
    server.startListening(PORT_NUMBER.value);
    auto accepted = std::async(std::launch::async, [this] { return server.waitForClient(); });
    SOCKET peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(peer, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_TRUE(accepted.get());
    // Four MiB, more than the sockets hold: the peer sends on while Kelo reads.
    std::thread sender([peer] {
        const std::string chunk(16384, 'x');
        for (int i = 0; i < 256; ++i)
            if (send(peer, chunk.data(), static_cast<int>(chunk.size()), 0) == SOCKET_ERROR)
                break;
    });
    std::this_thread::sleep_for(200ms);
    server.drainByteLimit = 64 * 1024;
    const auto start = std::chrono::steady_clock::now();
    server.drainReceiveBuffer();
    const auto took = std::chrono::steady_clock::now() - start;
    u_long waiting = 0;
    ioctlsocket(static_cast<SOCKET>(server.clientSocket()), FIONREAD, &waiting);
    EXPECT_GT(waiting, 0u) << "the drain stopped after its share; the rest waits for the next one";
    EXPECT_LT(took, 1s);
    EXPECT_TRUE(server.connected) << "the peer is still there";
    closesocket(peer);
    server.closeSockets(); // frees a sender that is still blocked
    sender.join();
}

namespace {

std::atomic<int64_t> g_linkClockMs{0};
std::chrono::steady_clock::time_point linkClock()
{
    return std::chrono::steady_clock::time_point(std::chrono::milliseconds(g_linkClockMs.load()));
}

} // namespace

TEST_F(RTAppLink, AnAppThatStopsReadingIsLostWithoutHoldingTheSender)
{
    server.sendNow = &linkClock;
    server.startListening(PORT_NUMBER.value);
    // A peer that connects and then reads nothing, with a small window.
    auto connectPeer = [this](SOCKET& peer) {
        auto accepted = std::async(std::launch::async, [this] { return server.waitForClient(); });
        peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        int small = 4096;
        setsockopt(peer, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(connect(peer, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_TRUE(accepted.get());
    };
    // Sends until the socket holds no more and bytes are kept back; a send
    // that waits for the peer never comes back, so the peer is closed to
    // free it after a while and the test fails.
    auto fill = [this](SOCKET peer) {
        auto filling = std::async(std::launch::async, [this] {
            const std::string chunk(64 * 1024, 'x');
            for (int i = 0; i < 4096 && server.pendingBytes() == 0; ++i)
                if (!server.sendDataPacket(chunk))
                    return false;
            return server.pendingBytes() > 0;
        });
        const bool returned = filling.wait_for(20s) == std::future_status::ready;
        if (!returned)
            closesocket(peer);
        EXPECT_TRUE(returned) << "a send waited for the App to read";
        return returned && filling.get();
    };

    g_linkClockMs = 1000000;
    SOCKET peer = INVALID_SOCKET;
    connectPeer(peer);
    ASSERT_TRUE(fill(peer));
    UserAcPosition user;
    user.latitude = 52.3;
    user.longitude = 4.76;
    gf_publishUserAcPosition(user);
    g_linkClockMs += 1500;
    gf_sendUserStateToRTApp(); // kept for later: not yet lost
    EXPECT_TRUE(server.connected);
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    g_linkClockMs += 600;
    gf_sendUserStateToRTApp();
    EXPECT_FALSE(server.connected);
    ASSERT_NE(gf_currentStopRequest(), nullptr);
    EXPECT_EQ(gf_currentStopRequest()->code, 3u);
    EXPECT_FALSE(feedConnected);
    EXPECT_EQ(ui.lastMessage(), "RealTraffic App gone");
    EXPECT_NE(log().find("sendDataPacket to RealTraffic failed: the App took no data for 2100 ms\n"),
              std::string::npos);
    closesocket(peer);

    // An App that is slow for a moment but then reads keeps its link.
    gf_clearStopRequest();
    connectPeer(peer);
    ASSERT_TRUE(fill(peer));
    std::atomic<bool> reading{true};
    std::thread reader([peer, &reading] {
        std::array<char, 65536> buffer;
        while (reading && recv(peer, buffer.data(), static_cast<int>(buffer.size()), 0) > 0) {
        }
    });
    for (int i = 0; i < 1000 && server.pendingBytes() > 0; ++i) {
        server.sendDataPacket("Qs123=1\r\n");
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(server.pendingBytes(), 0u);
    g_linkClockMs += 60000;
    EXPECT_TRUE(server.sendDataPacket("Qs123=2\r\n"));
    EXPECT_TRUE(server.connected);
    reading = false;
    closesocket(peer);
    server.closeSockets();
    reader.join();
    server.sendNow = &std::chrono::steady_clock::now;
}
