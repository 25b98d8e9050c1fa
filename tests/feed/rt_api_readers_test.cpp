// The RT Direct traffic and weather readers end to end against the stand-in
// web API: buffer slices, live polling, parked queries, METARs, and how each
// reader ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "app/main_loop.h"
#include "app/user_requests.h"
#include "engine/static_placement.h"
#include "engine/traffic_state.h"
#include "feed/qnh.h"
#include "feed/rt_api_traffic_reader.h"
#include "feed/rt_api_transport.h"
#include "feed/rt_api_weather_reader.h"
#include "feed/traffic_mailbox.h"
#include "liveries/model_database.h"
#include "simlink/user_aircraft.h"
#include "tests/feed/feed_test_support.h"
#include "parking/parking_plan.h"
#include "simlink/sim_link_state.h"
#include "tests/feed/rt_direct_fixture.h"
#include "tests/parking/parking_fixture.h"

using kvr::standin::RTWebApi;
using namespace std::chrono_literals;

namespace {

constexpr double kLat = 52.3086;
constexpr double kLon = 4.7639;

// What waits for the engine's intake: the buffered slices, in their order.
std::vector<LiveTrafficRecord> applied()
{
    std::lock_guard lock(gf_trafficMailbox().mutex);
    return {gf_trafficMailbox().buffered.begin(), gf_trafficMailbox().buffered.end()};
}

// Polls `done` every 10 ms for up to 10 s.
template <typename F>
bool eventually(F done)
{
    for (int i = 0; i < 1000; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

class RTReadersTest : public kvr::test::RTDirectTest {
protected:
    void SetUp() override
    {
        RTDirectTest::SetUp();
        traffic().resetForRestart();
        weather().resetForRestart();
        weather().lastQnh = 1013;
        CurrentQnh = 1013;
        engineClock = 0;
        TrafficMailbox& box = gf_trafficMailbox();
        box.reset();
        gf_setTrafficDelivery(true);
        UserAcPosition user;
        user.latitude = kLat;
        user.longitude = kLon;
        gf_publishUserAcPosition(user);
        kvr::test::setRangeNm(40);
        gf_updateRTDirectQueryBox();
        api.setTraffic(RTWebApi::scenarioAround(kLat, kLon, 8));
        api.setRrl(250);
        useCredential("lic-readers");
        // A passing server error waits a moment here, not half a minute.
        for (RTAPIreader* r : {static_cast<RTAPIreader*>(&traffic()), static_cast<RTAPIreader*>(&weather())})
            r->serverErrorWaitMs = 250;
        weather().failureWaitMs = 250;
        int32_t status = 0;
        ASSERT_TRUE(authenticate(status));
    }
    void TearDown() override
    {
        stopReaders();
        traffic().resetForRestart();
        traffic().parkedNow = &std::chrono::steady_clock::now;
        for (RTAPIreader* r : {static_cast<RTAPIreader*>(&traffic()), static_cast<RTAPIreader*>(&weather())}) {
            r->serverErrorWaitMs = 30000;
            r->outageNow = &std::chrono::steady_clock::now;
        }
        weather().failureWaitMs = 30000;
        weather().resetForRestart();
        gf_setTrafficDelivery(false);
        gf_trafficMailbox().reset();
        gf_publishUserAcPosition(UserAcPosition{});
        kvr::test::setCurrentAirport(0, 0, 0, 0);
        RTDirectTest::TearDown();
    }

    static RTAPITrafficReader& traffic() { return gf_rtApiTrafficReader(); }
    static RTAPIWeatherReader& weather() { return gf_rtApiWeatherReader(); }

    void startTraffic() { trafficThread = std::thread(gf_RTAPITrafficReader); }
    void startWeather() { weatherThread = std::thread(gf_RTAPIWeatherReader); }
    void stopReaders()
    {
        weather().requestStop();
        traffic().requestStop();
        if (weatherThread.joinable())
            weatherThread.join();
        if (trafficThread.joinable())
            trafficThread.join();
    }
    // Joins a reader that is expected to end by itself.
    static bool ends(std::thread& t)
    {
        auto done = std::async(std::launch::async, [&t] { t.join(); });
        return done.wait_for(15s) == std::future_status::ready;
    }
    // A parked query as a parking run makes it: asked, waited for here, its
    // outcome taken.
    static bool requestParked()
    {
        if (!gf_requestRTAPIParkedTraffic())
            return false;
        while (!gf_RTAPIParkedTrafficSettled())
            std::this_thread::sleep_for(10ms);
        return gf_takeRTAPIParkedTraffic();
    }
    std::vector<RTWebApi::Request> trafficRequests()
    {
        std::vector<RTWebApi::Request> out;
        for (auto& r : api.requests())
            if (r.path == "/v6/traffic")
                out.push_back(std::move(r));
        return out;
    }

    // Every aircraft's buffered samples play in the order of their times.
    static void expectEveryAircraftPlayedForwards()
    {
        std::map<uint32_t, std::vector<std::pair<int32_t, double>>> byHexid;
        for (const auto& r : applied())
            byHexid[r.hexid].emplace_back(r.playTime, r.timestamp);
        ASSERT_FALSE(byHexid.empty());
        for (auto& [hexid, samples] : byHexid) {
            std::sort(samples.begin(), samples.end());
            for (size_t i = 1; i < samples.size(); ++i)
                EXPECT_GT(samples[i].second, samples[i - 1].second) << std::hex << hexid;
        }
    }

    std::thread trafficThread;
    std::thread weatherThread;
};

} // namespace

TEST_F(RTReadersTest, BufferSlicesThenLivePollingAtTheServersPace)
{
    api.omitBufferSlices({"buffer_3"});
    api.setRrl(100); // below the floor of 250 ms
    startTraffic();
    ASSERT_TRUE(eventually([&] { return traffic().liveRunning.load(); }));
    ASSERT_TRUE(api.waitForCount("/v6/traffic", 4, 10s));

    const auto reqs = trafficRequests();
    const std::string guid = api.currentGuid();
    EXPECT_EQ(reqs[0].body, "GUID=" + guid +
                                "&top=52.97&bottom=51.64&left=3.67&right=5.85&querytype=locationtraffic&toffset=0"
                                "&buffercount=5&buffertime=6");
    EXPECT_EQ(reqs[1].body,
              "GUID=" + guid + "&top=52.97&bottom=51.64&left=3.67&right=5.85&querytype=locationtraffic&toffset=0");
    // Live polls reuse one connection.
    EXPECT_EQ(reqs[2].remotePort, reqs[1].remotePort);
    EXPECT_EQ(traffic().intervalMs.load(), 250u);

    // Four slices went to the engine's intake, 6 s apart, the oldest first:
    // "buffer_3", the second oldest of the newest-first names, was missing.
    std::set<int32_t> slices;
    for (const auto& r : applied())
        slices.insert((r.playTime + 300) / 600 * 600);
    EXPECT_EQ(slices, (std::set<int32_t>{0, 1200, 1800, 2400}));
    expectEveryAircraftPlayedForwards();
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(gf_trafficMailbox().mutex);
        return !gf_trafficMailbox().slot.empty();
    }));
    EXPECT_GT(traffic().recordCount.load(), 0u);
    EXPECT_GT(traffic().latestTimestamp.load(), 1'700'000'000u);
    EXPECT_EQ(gf_trafficClockInputs().rtDirectLatestTimestamp.load(), traffic().latestTimestamp.load());
    EXPECT_FALSE(gf_seenTrafficOf(TrafficSource::rtDirect).copy().hexids.empty());
    EXPECT_EQ(CurrentQnh.load(), 1013);

    stopReaders();
    EXPECT_FALSE(traffic().liveRunning.load());
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    const std::string text = log();
    EXPECT_NE(text.find("Traffic RTAPIreader connected\n"), std::string::npos);
    EXPECT_NE(text.find("==> traffic receive: rrl 100 ms outside limits, using 250 ms\n"), std::string::npos);
    EXPECT_EQ(text.find("RT API"), std::string::npos) << text;
}

TEST_F(RTReadersTest, SlicesPlayInTimeOrderWhateverTheOrderOfTheirNames)
{
    // An answer that names its slices oldest first.
    nlohmann::json data = nlohmann::json::object();
    for (int i = 0; i < 5; ++i) {
        nlohmann::json slice = nlohmann::json::object();
        nlohmann::json a = nlohmann::json::array();
        for (int k = 0; k < 49; ++k)
            a.push_back(nullptr);
        a[0] = "484f6d";
        a[1] = kLat + 0.1 + 0.001 * i;
        a[2] = kLon;
        a[3] = 90.0;
        a[4] = 5000;
        a[5] = 200;
        a[8] = "A320";
        a[9] = "PH-ABC";
        a[10] = 1'700'000'000.0 + 6 * i;
        a[13] = "KLM123";
        slice["484f6d"] = a;
        data[fmt::format("buffer_{}", i)] = slice;
    }
    RTWebApi::Reply reply;
    reply.body = nlohmann::json{{"status", 200}, {"rrl", 250}, {"data", data}}.dump();
    api.queueReply("/v6/traffic#buffer", reply);
    startTraffic();
    ASSERT_TRUE(eventually([&] { return applied().size() >= 5; }));
    const auto records = applied();
    ASSERT_EQ(records.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(records[i].timestamp, 1'700'000'000.0 + 6 * static_cast<double>(i));
        EXPECT_EQ((records[i].playTime + 300) / 600, static_cast<int32_t>(i));
    }
    EXPECT_EQ(traffic().latestTimestamp.load(), 1'700'000'024u) << "the newest slice is handed over last";
}

TEST_F(RTReadersTest, TheStandInRefusesWhatTheServiceRefuses)
{
    RTAPITransport transport(4096);
    const std::string guid = api.currentGuid();
    auto statusOf = [&](const char* path, const std::string& body) {
        auto result = transport.request(gf_rtApiUrl(path), body, RTAPIRequestOptions{5, 10, false, false});
        const auto* response = std::get_if<RTAPIHttpResponse>(&result);
        if (!response)
            return -1;
        return nlohmann::json::parse(response->body).value("status", -1);
    };
    const std::string box = "&top=52.97&bottom=51.64&left=3.67&right=5.85";
    EXPECT_EQ(statusOf("/v6/auth", "license=lic-readers"), 400) << "no software";
    EXPECT_EQ(statusOf("/v6/traffic", "GUID=" + guid + box + "&querytype=locationtraffic"), 400) << "no toffset";
    EXPECT_EQ(statusOf("/v6/traffic", "GUID=" + guid + box + "&querytype=nothing&toffset=0"), 400);
    EXPECT_EQ(statusOf("/v6/nearestmetar", "GUID=" + guid + "&toffset=0&lat=52.3"), 400) << "no lon";
    api.setRrl(2000);
    const std::string query = "GUID=" + guid + box + "&querytype=locationtraffic&toffset=0";
    EXPECT_EQ(statusOf("/v6/traffic", query), 200);
    EXPECT_EQ(statusOf("/v6/traffic", query), 406) << "sooner than rrl allows";
    const std::string parked = "GUID=" + guid + box + "&querytype=parkedtraffic&toffset=0";
    EXPECT_EQ(statusOf("/v6/traffic", parked), 406) << "a parked query keeps the same interval";
    EXPECT_EQ(api.rateViolationCount(), 2u);
}

TEST_F(RTReadersTest, LiveAnswersDecideHowTheReaderEnds)
{
    struct Case {
        int status;
        const char* line;
        uint32_t stopCode;
    };
    for (const Case c : {Case{401, "==> re-authentication to RT API is needed, restart Kelo\n", 7},
                         Case{400, "==> Traffic RT API: parameter fault\n", 8},
                         Case{403, "==> Traffic RT API: No data for this license type\n", 8},
                         Case{402, "==> Traffic RT API error: 402\n", 8},
                         // The API's own 9999 is no stop on request.
                         Case{9999, "==> Traffic RT API error: 100\n", 8}}) {
        gf_clearStopRequest();
        traffic().stopFlag = false;
        weather().stopFlag = false;
        api.queueReply("/v6/traffic", RTWebApi::jsonStatus(406, "slow down"));
        api.queueReply("/v6/traffic", RTWebApi::jsonStatus(c.status, "refused", c.status < 1000 ? c.status : 200));
        startTraffic();
        ASSERT_TRUE(ends(trafficThread)) << c.status;
        const std::string text = log();
        EXPECT_NE(text.find(c.line), std::string::npos) << c.status;
        EXPECT_NE(text.find(" curl traffic msg: slow down\n"), std::string::npos);
        ASSERT_NE(gf_currentStopRequest(), nullptr);
        EXPECT_EQ(gf_currentStopRequest()->code, c.stopCode) << c.status;
        EXPECT_TRUE(weather().stopFlag.load()); // the weather reader is told to stop as well
    }
}

TEST_F(RTReadersTest, ASessionRenewedDuringARequestEndsWithARestart)
{
    api.queueReply("/v6/traffic", RTWebApi::Reply{200, R"({"status":200,"rrl":250,"data":{}})", "application/json",
                                                   1500});
    startTraffic();
    ASSERT_TRUE(api.waitForCount("/v6/traffic", 2, 10s)); // the delayed live poll is under way
    int32_t status = 0;
    ASSERT_TRUE(authenticate(status));
    ASSERT_TRUE(ends(trafficThread));
    ASSERT_NE(gf_currentStopRequest(), nullptr);
    EXPECT_EQ(gf_currentStopRequest()->code, 7u);
    EXPECT_NE(log().find("re-authentication to RT API is needed"), std::string::npos);
}

TEST_F(RTReadersTest, AStopDuringATransferEndsQuietly)
{
    RTWebApi::Reply hang;
    hang.hang = true;
    api.queueReply("/v6/traffic", hang);
    startTraffic();
    startWeather();
    ASSERT_TRUE(api.waitForCount("/v6/traffic", 2, 10s));
    traffic().requestStop();
    ASSERT_TRUE(ends(trafficThread));
    EXPECT_FALSE(weather().stopFlag.load()); // the other reader goes on
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    const std::string text = log();
    EXPECT_EQ(text.find("traffic receive transport"), std::string::npos) << text;
    EXPECT_EQ(text.find("Traffic RT API"), std::string::npos);
}

TEST_F(RTReadersTest, AParkedQueryKeepsTheServersInterval)
{
    gf_modelDatabase().icaoModelCodes.insert({"A320", "B738"});
    api.setParked(RTWebApi::parkedAround(kLat, kLon, 6));
    api.setRrl(1000);
    kvr::test::setCurrentAirport(IcaoCode("EHAM").code, kLat, kLon, -11);
    startTraffic();
    // The start-up asks for parked traffic as soon as the buffer phase is over.
    ASSERT_TRUE(eventually([&] { return traffic().liveRunning.load(); }));
    EXPECT_TRUE(requestParked());
    {
        ParkedTrafficShare& share = gf_parkedTrafficOf(TrafficSource::rtDirect);
        std::lock_guard lock(share.mutex);
        EXPECT_EQ(share.list.size(), 6u);
    }
    EXPECT_EQ(api.rateViolationCount(), 0u);
    const auto reqs = trafficRequests();
    const auto parked = std::find_if(reqs.begin(), reqs.end(),
                                     [](const auto& r) { return r.form.at("querytype") == "parkedtraffic"; });
    ASSERT_NE(parked, reqs.end());
    EXPECT_EQ(parked->body, "GUID=" + api.currentGuid() +
                                "&top=52.36&bottom=52.26&left=4.68&right=4.85&querytype=parkedtraffic&toffset=0");
    EXPECT_NE(log().find(" RT parked traffic received\n"), std::string::npos);
    EXPECT_EQ(log().find("Request rate violation"), std::string::npos);

    // The API's refusals of a parked query.
    api.queueReply("/v6/traffic#parked", RTWebApi::jsonStatus(401, "expired"));
    EXPECT_FALSE(requestParked());
    EXPECT_NE(log().find("==> RT Parked: re-authentication to RT API is needed Kelo\n"), std::string::npos);
    api.queueReply("/v6/traffic#parked", RTWebApi::jsonStatus(406, "later"));
    EXPECT_TRUE(requestParked());
    EXPECT_NE(log().find("==> parkedtraffic msg: later\n"), std::string::npos);
    api.queueReply("/v6/traffic#parked", RTWebApi::jsonStatus(400, "bad box"));
    EXPECT_THROW(requestParked(), std::runtime_error);
    EXPECT_EQ(api.rateViolationCount(), 0u) << "neither parked nor live queries came too soon";
    gf_modelDatabase().icaoModelCodes.clear();
}

TEST_F(RTReadersTest, NoCurrentAirportSendsNoParkedQuery)
{
    EXPECT_FALSE(gf_requestRTAPIParkedTraffic());
    EXPECT_TRUE(gf_RTAPIParkedTrafficSettled());
    EXPECT_FALSE(gf_takeRTAPIParkedTraffic());
    EXPECT_FALSE(traffic().parkedPending.load());
    EXPECT_EQ(api.count("/v6/traffic"), 0u);
}

TEST_F(RTReadersTest, AStopRequestEndsTheWaitForParkedTraffic)
{
    kvr::test::setCurrentAirport(IcaoCode("EHAM").code, kLat, kLon, -11);
    api.queueReply("/v6/traffic", RTWebApi::jsonStatus(400, "bad box"));
    startTraffic();
    ASSERT_TRUE(ends(trafficThread)); // the reader is gone and the program is stopping
    ASSERT_NE(gf_currentStopRequest(), nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(requestParked());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s); // not the 10 s meant for a slow answer
    EXPECT_EQ(log().find("ParkedTraffic receiving timed out"), std::string::npos);
}

TEST_F(RTReadersTest, AParkingAdjustmentRunsOnTheTickAfterItsParkedAnswer)
{
    kvr::test::ParkingState parking;
    gf_modelDatabase().icaoModelCodes.insert({"A320", "B738"});
    gf_modifyParameters([](Parameters& p) {
        p.RT_PARKTRAFFIC_ONLY = true;
        p.MAX_PARK_SEL = 500;
    });
    std::vector<RTWebApi::Parked> parked = RTWebApi::parkedAround(kLat, kLon, 3);
    std::vector<Stand> stands = kvr::test::rowOfStands(3);
    for (size_t i = 0; i < stands.size(); ++i) {
        parked[i].type = "B738"; // light aircraft are left out
        stands[i].lat = parked[i].lat;
        stands[i].lon = parked[i].lon;
        stands[i].radius = 40.0 / 1852.0;
    }
    kvr::test::loadStands(std::move(stands));
    api.setParked(parked);
    kvr::test::setCurrentAirport(IcaoCode("EHAM").code, kLat, kLon, -11);
    startTraffic();
    ASSERT_TRUE(eventually([&] { return traffic().liveRunning.load(); }));
    api.holdReplies("/v6/traffic#parked", true);
    lf_resetMainLoopState();
    gf_mainLoopState().secondsCounter = 15;
    ParkingRequests& requests = gf_parkingRequests();
    {
        std::lock_guard lock(requests.mutex);
        requests.requestedGeneration = 1;
        requests.doneGeneration = 0;
    }
    lf_every15Seconds(); // captures the request
    lf_every15Seconds(); // asks for parked traffic and returns at once
    EXPECT_TRUE(gf_mainLoopState().latch) << "the adjustment waits for its parked traffic";
    ASSERT_TRUE(eventually([&] {
        const auto reqs = trafficRequests();
        return std::any_of(reqs.begin(), reqs.end(),
                           [](const auto& r) { return r.form.at("querytype") == "parkedtraffic"; });
    }));
    g_linkState = LinkState::Running;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(lf_tick());
    EXPECT_TRUE(lf_parkingUpdatePending()) << "no answer, no run";
    EXPECT_EQ(gf_parkingPlanSize(), 0u);

    api.holdReplies("/v6/traffic#parked", false);
    EXPECT_TRUE(eventually([&] {
        lf_tick();
        return !gf_mainLoopState().latch;
    }));
    g_linkState = LinkState::NotConnected;
    EXPECT_FALSE(lf_parkingUpdatePending());
    EXPECT_EQ(gf_parkingPlanSize(), 3u);
    EXPECT_NE(log().find("RT Parking changes: 0 to be removed, 3 to be added"), std::string::npos) << log();
    gf_clearParkingPlan();
    gf_clearStandTable();
    gf_modelDatabase().icaoModelCodes.clear();
    lf_resetMainLoopState();
    std::lock_guard lock(requests.mutex);
    requests.requestedGeneration = requests.doneGeneration = 0;
}

TEST_F(RTReadersTest, AnUnansweredParkedQueryIsGivenUpAfterTenSecondsOfItsClock)
{
    static std::chrono::steady_clock::time_point now{};
    traffic().parkedNow = [] { return now; };
    kvr::test::setCurrentAirport(IcaoCode("EHAM").code, kLat, kLon, -11);
    ASSERT_TRUE(gf_requestRTAPIParkedTraffic()); // no reader runs: nobody answers
    EXPECT_TRUE(traffic().parkedPending.load());
    now += 10s;
    EXPECT_FALSE(gf_RTAPIParkedTrafficSettled());
    EXPECT_EQ(log().find("ParkedTraffic receiving timed out"), std::string::npos);
    now += 1ms;
    EXPECT_TRUE(gf_RTAPIParkedTrafficSettled());
    EXPECT_NE(log().find("ParkedTraffic receiving timed out after 10 seconds\n"), std::string::npos);
    EXPECT_FALSE(gf_takeRTAPIParkedTraffic());
}

TEST_F(RTReadersTest, NoWeatherFailureEndsTheTrafficTheLastQnhHoldsUntilTheNextMetar)
{
    // The QNH of an earlier METAR.
    weather().lastQnh = 1009;
    traffic().qnh = 1009;
    CurrentQnh = 1009;
    // Each failure asks for one second; the reader's own wait would be a minute.
    weather().failureWaitMs = 60000;
    auto retryAfterOne = [](RTWebApi::Reply r) {
        r.retryAfterS = 1;
        return r;
    };
    // A gateway's page, an endpoint being redeployed, a status of the API's
    // own (its 9999 too), a refusal and a status nobody knows.
    for (const RTWebApi::Reply& r :
         {RTWebApi::htmlPage(504), RTWebApi::htmlPage(404), RTWebApi::jsonStatus(9999, "odd"),
          RTWebApi::jsonStatus(403, "No data for this license type"), RTWebApi::jsonStatus(400, "parameter fault"),
          RTWebApi::jsonStatus(777, "new in the API", 418)})
        api.queueReply("/v6/nearestmetar", retryAfterOne(r));
    api.setMetars({"EHAM 071225Z 24012KT 9999 FEW020 08/04 Q1021"});
    startTraffic();
    ASSERT_TRUE(eventually([&] { return traffic().liveRunning.load(); }));
    ui.clear();
    const size_t polls = api.count("/v6/traffic");
    startWeather();
    ASSERT_TRUE(api.waitForCount("/v6/nearestmetar", 6, 30s)) << log();
    EXPECT_EQ(CurrentQnh.load(), 1009) << "the last QNH holds through the failures";
    ASSERT_TRUE(api.waitForCount("/v6/nearestmetar", 7, 30s)) << log();
    ASSERT_TRUE(eventually([] { return CurrentQnh.load() == 1021; })) << log();

    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    EXPECT_FALSE(traffic().stopFlag.load());
    EXPECT_FALSE(weather().stopFlag.load());
    EXPECT_GT(api.count("/v6/traffic"), polls + 2) << "the traffic polls went on";
    std::vector<uint32_t> published;
    for (const auto& q : ui.all<GuiUpdate::QnhValue>())
        published.push_back(q.hpa);
    EXPECT_EQ(published, std::vector<uint32_t>{1021});
    EXPECT_EQ(traffic().qnh.load(), 1021);
    EXPECT_TRUE(ui.all<GuiUpdate::Message>().empty()) << ui.lastMessage();
    stopReaders();
    const std::string text = log();
    for (const char* line :
         {"==> nearest metar failed: kind=http, API status=n/a, HTTP status=504, auth server='standin-1', "
          "message='HTTP 504 response: invalid JSON: <html>",
          "==> nearest metar failed: kind=http, API status=n/a, HTTP status=404, auth server='standin-1', "
          "message='HTTP 404 response: invalid JSON: <html>",
          "==> nearest metar failed: API status=9999, HTTP status=200, auth server='standin-1', message='odd'\n",
          "==> nearest metar failed: API status=403, HTTP status=200, auth server='standin-1', message='No data for "
          "this license type'\n",
          "==> nearest metar failed: API status=400, HTTP status=200, auth server='standin-1', message='parameter "
          "fault'\n",
          "==> nearest metar failed: API status=777, HTTP status=418, auth server='standin-1', message='new in the "
          "API'\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("Weather RT API"), std::string::npos) << text;
    EXPECT_EQ(text.find("has stopped with an error"), std::string::npos) << text;
}

TEST_F(RTReadersTest, AWeatherFailureThatRepeatsIsLoggedOnceUntilAQnhComes)
{
    auto countOf = [](const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    };
    for (int i = 0; i < 3; ++i)
        api.queueReply("/v6/nearestmetar", RTWebApi::htmlPage(504));
    int32_t status = 0;
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(lf_requestNearestMetar(status));
    api.setMetars({"EHAM 071225Z 24012KT 9999 FEW020 08/04 Q1009"});
    EXPECT_TRUE(lf_requestNearestMetar(status));
    EXPECT_EQ(CurrentQnh.load(), 1009);
    weather().lastTime -= 60'000'000'000LL; // stale: ask again
    for (int code : {504, 404, 504})
        api.queueReply("/v6/nearestmetar", RTWebApi::htmlPage(code));
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(lf_requestNearestMetar(status));
    EXPECT_EQ(api.count("/v6/nearestmetar"), 7u);
    const std::string text = log();
    EXPECT_EQ(countOf(text, "nearest metar failed: kind=http, API status=n/a, HTTP status=504"), 3u)
        << "once before the QNH, then again after it and after the 404\n"
        << text;
    EXPECT_EQ(countOf(text, "nearest metar failed: kind=http, API status=n/a, HTTP status=404"), 1u);
}

TEST_F(RTReadersTest, NearestMetarIsAskedOnlyWhenTheLastOneIsStale)
{
    api.setMetars({"EHAM 071225Z 24012KT 9999 FEW020 08/04 Q1009"});
    RTAPIWeatherReader& w = weather();
    int32_t status = 0;
    ui.clear();
    ASSERT_TRUE(lf_requestNearestMetar(status));
    EXPECT_EQ(api.count("/v6/nearestmetar"), 1u);
    EXPECT_EQ(api.requests().back().body, "GUID=" + api.currentGuid() + "&toffset=0&lat=52.3086&lon=4.7639");
    EXPECT_EQ(CurrentQnh.load(), 1009);
    EXPECT_EQ(traffic().qnh.load(), 1009);
    EXPECT_EQ(ui.last<GuiUpdate::QnhValue>().value().hpa, 1009u);
    EXPECT_GT(w.lastSuccessTime.load(), 0);

    ASSERT_TRUE(lf_requestNearestMetar(status)); // same place, same offset, within a minute
    EXPECT_EQ(api.count("/v6/nearestmetar"), 1u);

    UserAcPosition user;
    user.latitude = kLat + 11.0 / 60.0; // 11 NM north
    user.longitude = kLon;
    gf_publishUserAcPosition(user);
    ASSERT_TRUE(lf_requestNearestMetar(status));
    EXPECT_EQ(api.count("/v6/nearestmetar"), 2u);

    w.toffset = 30;
    ASSERT_TRUE(lf_requestNearestMetar(status));
    EXPECT_EQ(api.count("/v6/nearestmetar"), 3u);
    EXPECT_NE(api.requests().back().body.find("&toffset=30&"), std::string::npos);

    // A minute later the same QNH is asked again but not published again.
    w.lastTime -= 60'000'000'000LL;
    ui.clear();
    ASSERT_TRUE(lf_requestNearestMetar(status));
    EXPECT_EQ(api.count("/v6/nearestmetar"), 4u);
    EXPECT_FALSE(ui.last<GuiUpdate::QnhValue>());
}

TEST_F(RTReadersTest, FirstMetarWithoutQnhIsSkipped)
{
    api.setMetars({"EHAM 071225Z 24012KT 9999 FEW020", "EHLE 071225Z 24012KT 9999 Q1009"});
    int32_t status = 0;
    ASSERT_TRUE(lf_requestNearestMetar(status));
    EXPECT_EQ(CurrentQnh.load(), 1009);
    const std::string text = log();
    const std::string line = "==> nearest metar: no QNH code found in METAR in EHAM 071225Z 24012KT 9999 FEW020\n";
    ASSERT_NE(text.find(line), std::string::npos) << text;
    EXPECT_EQ(text.find("nearest metar:", text.find(line) + line.size()), std::string::npos);
}

TEST_F(RTReadersTest, WeatherRetriesOne401AndRestartsOnTheSecond)
{
    api.queueReply("/v6/nearestmetar", RTWebApi::jsonStatus(401, "expired", 401));
    startWeather();
    ASSERT_TRUE(api.waitForCount("/v6/nearestmetar", 2, 10s)); // the retry follows at once
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    weather().requestStop();
    weatherThread.join();
    EXPECT_NE(log().find("==> nearest metar returned 401, retrying once with a new connection\n"), std::string::npos);
    EXPECT_EQ(gf_currentStopRequest(), nullptr);

    weather().stopFlag = false;
    api.queueReply("/v6/nearestmetar", RTWebApi::jsonStatus(401, "expired", 401));
    api.queueReply("/v6/nearestmetar", RTWebApi::jsonStatus(401, "expired", 401));
    weather().lastQnh = 0; // no QNH kept: ask at once
    startWeather();
    ASSERT_TRUE(ends(weatherThread));
    ASSERT_NE(gf_currentStopRequest(), nullptr);
    EXPECT_EQ(gf_currentStopRequest()->code, 7u);
    EXPECT_TRUE(traffic().stopFlag.load());
    EXPECT_NE(log().find("nearest metar failed: API status=401, HTTP status=401, auth server='standin-1', "
                         "message='expired'\n"),
              std::string::npos);
}

TEST_F(RTReadersTest, TimeOutsServerErrorsAndGarbageNeitherEndThePollingNorLoseTheSession)
{
    startTraffic();
    ASSERT_TRUE(eventually([&] { return traffic().liveRunning.load() && traffic().recordCount.load() > 0; }));
    const std::string guid = api.currentGuid();
    const size_t signIns = api.count("/v6/auth");
    // A server that stops answering (the transfer times out), answers 500
    // and 429 pages, then garbage for a while.
    api.queueBadSpell("/v6/traffic");
    const size_t before = api.count("/v6/traffic");
    auto answeredAfter = [&](size_t n) { return api.waitForCount("/v6/traffic", before + n, 45s); };
    ASSERT_TRUE(answeredAfter(6)); // the last bad answer
    const uint64_t records = traffic().recordCount.load();
    // The next poll, one interval later, brings traffic again.
    ASSERT_TRUE(answeredAfter(7));
    ASSERT_TRUE(eventually([&] { return traffic().recordCount.load() > records; }));
    EXPECT_TRUE(traffic().liveRunning.load());
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    EXPECT_EQ(api.count("/v6/auth"), signIns);
    for (const auto& r : trafficRequests())
        EXPECT_EQ(r.form.at("GUID"), guid);

    stopReaders();
    const std::string text = log();
    EXPECT_NE(text.find("HTTP 500 response"), std::string::npos) << text;
    EXPECT_NE(text.find("HTTP 429 response"), std::string::npos) << text;
    EXPECT_NE(text.find("invalid JSON: %%garbage%%"), std::string::npos) << text;
    EXPECT_EQ(text.find("lic-readers"), std::string::npos) << "the credential is logged";
    EXPECT_EQ(text.find(guid), std::string::npos) << "the session is logged";
}

TEST_F(RTReadersTest, PassingServerErrorsWaitAndPollAgainInTheSameSession)
{
    // The weather reader meets a 429 and a 503 page that ask for one second
    // each; its own wait would be a minute.
    weather().serverErrorWaitMs = 60000;
    RTWebApi::Reply busy = RTWebApi::jsonStatus(429, "Too many requests", 429);
    busy.retryAfterS = 1;
    api.queueReply("/v6/nearestmetar", busy);
    RTWebApi::Reply page = RTWebApi::htmlPage(503);
    page.retryAfterS = 1;
    api.queueReply("/v6/nearestmetar", page);
    api.setMetars({"EHAM 071225Z 24012KT 9999 FEW020 08/04 Q1009"});
    startTraffic();
    ASSERT_TRUE(eventually([&] { return traffic().liveRunning.load() && traffic().recordCount.load() > 0; }));
    startWeather();
    const std::string guid = api.currentGuid();
    const size_t signIns = api.count("/v6/auth");
    const size_t before = api.count("/v6/traffic");
    api.queueReply("/v6/traffic", RTWebApi::jsonStatus(500, "No RT database connection"));
    api.queueReply("/v6/traffic", RTWebApi::jsonStatus(500, "No RT database connection"));
    api.queueReply("/v6/traffic", RTWebApi::jsonStatus(429, "Too many requests", 429));
    api.queueReply("/v6/traffic", RTWebApi::htmlPage(502));
    api.queueReply("/v6/traffic", RTWebApi::htmlPage(503));
    ASSERT_TRUE(api.waitForCount("/v6/traffic", before + 6, 20s));
    const uint64_t records = traffic().recordCount.load();
    ASSERT_TRUE(eventually([&] { return traffic().recordCount.load() > records; }));
    ASSERT_TRUE(api.waitForCount("/v6/nearestmetar", 3, 10s)) << "the weather reader waits what the answer asks";
    ASSERT_TRUE(eventually([] { return CurrentQnh.load() == 1009; }));

    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    EXPECT_FALSE(traffic().stopFlag.load());
    EXPECT_FALSE(weather().stopFlag.load());
    EXPECT_EQ(api.count("/v6/auth"), signIns);
    for (const auto& r : trafficRequests())
        EXPECT_EQ(r.form.at("GUID"), guid);
    stopReaders();
    const std::string text = log();
    const std::string down = "==> traffic receive: the RealTraffic service is unavailable for now (";
    const size_t first = text.find(down + "API status 500, HTTP status 200: No RT database connection)");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find("No RT database connection", first + down.size() + 40), std::string::npos)
        << "one line for the spell, not one per poll";
    EXPECT_NE(text.find(down + "http: HTTP 502 response: "), std::string::npos);
    EXPECT_NE(text.find(down + "http: HTTP 503 response: "), std::string::npos);
    EXPECT_NE(text.find("traffic receive: the RealTraffic service answers again after "), std::string::npos);
    EXPECT_NE(text.find("==> nearest metar: the RealTraffic service is unavailable for now (API status 429, HTTP "
                        "status 429: Too many requests); asking again in 1 s\n"),
              std::string::npos);
}

namespace {

std::atomic<int64_t> g_outageClockMs{0};
std::chrono::steady_clock::time_point outageClock()
{
    return std::chrono::steady_clock::time_point(std::chrono::milliseconds(g_outageClockMs.load()));
}

} // namespace

TEST_F(RTReadersTest, ALongUnbrokenOutageEndsWithTheServiceUnavailable)
{
    traffic().outageNow = &outageClock;
    startTraffic();
    ASSERT_TRUE(eventually([&] { return traffic().liveRunning.load(); }));
    for (int i = 0; i < 50; ++i)
        api.queueReply("/v6/traffic", RTWebApi::htmlPage(503));
    const size_t before = api.count("/v6/traffic");
    ASSERT_TRUE(api.waitForCount("/v6/traffic", before + 2, 10s));
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    g_outageClockMs += 20 * 60 * 1000;
    ASSERT_TRUE(ends(trafficThread));
    ASSERT_NE(gf_currentStopRequest(), nullptr);
    EXPECT_EQ(gf_currentStopRequest()->code, 8u);
    EXPECT_TRUE(weather().stopFlag.load());
    EXPECT_EQ(ui.lastMessage(), "The RealTraffic service is unavailable (error 503 for 20 minutes); try again later");
    EXPECT_NE(log().find("==> traffic receive: the RealTraffic service has been unavailable for 20 minutes (http: "
                         "HTTP 503 response: "),
              std::string::npos);
}

namespace {

// Each reading of this clock is ten minutes after the one before.
std::atomic<int64_t> g_steppingClockMin{0};
std::chrono::steady_clock::time_point steppingClock()
{
    return std::chrono::steady_clock::time_point(std::chrono::minutes(g_steppingClockMin.fetch_add(10)));
}

} // namespace

TEST_F(RTReadersTest, AWeatherOnlyOutageEndsNeitherTheTrafficNorTheWeather)
{
    // Three server errors in a row span twenty minutes of the weather's clock.
    g_steppingClockMin = 0;
    weather().outageNow = &steppingClock;
    // The QNH of an earlier METAR.
    weather().lastQnh = 1009;
    traffic().qnh = 1009;
    CurrentQnh = 1009;
    const RTWebApi::Reply dbDown = RTWebApi::jsonStatus(500, "No RT database connection");
    const RTWebApi::Reply page = RTWebApi::htmlPage(500);
    // Answers without a QNH: each ends the spell before it grows long.
    const RTWebApi::Reply noQnh{200, R"({"status":200,"data":[{"ICAO":"EHAM","METAR":"EHAM 071225Z 24012KT 9999"}]})"};
    const RTWebApi::Reply noMetars{200, R"({"status":200,"data":[]})"};
    const RTWebApi::Reply notJson{200, "%%garbage%%", "text/plain"};
    for (const RTWebApi::Reply& r : {dbDown, page, noQnh, dbDown, page, noMetars, page, dbDown, notJson})
        api.queueReply("/v6/nearestmetar", r);
    // Then an hour without a break.
    for (int i = 0; i < 7; ++i)
        api.queueReply("/v6/nearestmetar", i % 2 == 0 ? page : dbDown);
    api.setMetars({"EHAM 071225Z 24012KT 9999 FEW020 08/04 Q1021"});
    startTraffic();
    ASSERT_TRUE(eventually([&] { return traffic().liveRunning.load(); }));
    ui.clear();
    const size_t polls = api.count("/v6/traffic");
    startWeather();
    ASSERT_TRUE(api.waitForCount("/v6/nearestmetar", 17, 30s)) << log();
    ASSERT_TRUE(eventually([] { return CurrentQnh.load() == 1021; })) << log();

    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    EXPECT_FALSE(traffic().stopFlag.load());
    EXPECT_FALSE(weather().stopFlag.load());
    EXPECT_GT(api.count("/v6/traffic"), polls + 2) << "the traffic polls went on";
    // The last QNH held through the outage; the next METAR replaced it.
    std::vector<uint32_t> published;
    for (const auto& q : ui.all<GuiUpdate::QnhValue>())
        published.push_back(q.hpa);
    EXPECT_EQ(published, std::vector<uint32_t>{1021});
    EXPECT_EQ(traffic().qnh.load(), 1021);
    stopReaders();
    const std::string text = log();
    const std::string down = "==> nearest metar: the RealTraffic service is unavailable for now (";
    const std::string back = "nearest metar: the RealTraffic service answers again after ";
    size_t spells = 0, ends = 0;
    for (size_t at = text.find(down); at != std::string::npos; at = text.find(down, at + 1))
        ++spells;
    for (size_t at = text.find(back); at != std::string::npos; at = text.find(back, at + 1))
        ++ends;
    EXPECT_EQ(spells, 4u) << text;
    EXPECT_EQ(ends, 4u) << text;
    EXPECT_NE(text.find(back + "4200 s\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("giving up"), std::string::npos) << text;
    EXPECT_EQ(text.find("Weather RT API error"), std::string::npos) << text;
}
