// Sign-in and sign-off against the stand-in web API, over libcurl and Winsock.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <limits>
#include <thread>

#include "core/clock.h"
#include "core/version_data.h"
#include "feed/rt_api_weather_reader.h"
#include "tests/feed/rt_direct_fixture.h"

using kvr::standin::RTWebApi;
using namespace std::chrono_literals;

namespace {

class RTApiSessionTest : public kvr::test::RTDirectTest {};

int64_t nowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

TEST_F(RTApiSessionTest, CredentialKindDecidesTheFormKey)
{
    const std::pair<const char*, const char*> cases[] = {{"rt_abc123", "token=rt_abc123&software=K"},
                                                         {"RT_abc123", "license=RT_abc123&software=K"},
                                                         {"rt", "license=rt&software=K"},
                                                         {"plain-licence", "license=plain-licence&software=K"}};
    for (const auto& [credential, body] : cases) {
        api.setCredential(credential);
        ASSERT_TRUE(std::holds_alternative<RTAPISessionPtr>(gf_rtApiSession().requestAuth(credential, "K")));
        EXPECT_EQ(api.requests().back().body, body);
    }
}

TEST_F(RTApiSessionTest, SpecialCharactersInTheCredentialArriveIntact)
{
    useCredential("ab+c&d=e%f g");
    int32_t status = 0;
    ASSERT_TRUE(authenticate(status));
    const auto reqs = api.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].body,
              fmt::format("license=ab%2Bc%26d%3De%25f%20g&software=Kelo_{}", gf_programVersion().toString()));
    EXPECT_EQ(reqs[0].form.at("license"), "ab+c&d=e%f g");
    deauthenticate();
    ASSERT_EQ(api.count("/v6/deauth"), 1u);
    // The credential is never written to the log.
    EXPECT_EQ(log().find("ab+c&d=e%f g"), std::string::npos);
    EXPECT_EQ(log().find("ab%2Bc"), std::string::npos);
}

TEST_F(RTApiSessionTest, SuccessfulSignInReportsServerLicenceAndWeatherInterval)
{
    useCredential("rt_token42");
    api.setLicenseType(2);
    api.setExpiry(nowSeconds() + 36 * 3600);
    api.setWrrl(100); // below the floor: the wait and the weather interval use 250 ms
    api.setServerName("rtw-3");
    int32_t status = 0;
    ASSERT_TRUE(authenticate(status));
    EXPECT_TRUE(feedConnected.load());
    EXPECT_TRUE(gf_trafficClockInputs().professionalLevel.load());
    EXPECT_EQ(gf_rtApiWeatherReader().secondIntervalMs.load(), 250u);
    const std::string text = log();
    EXPECT_NE(text.find("\nAuthenticated at RT server 'rtw-3'\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Your RealTraffic API-token was taken from '"), std::string::npos);
    EXPECT_EQ(text.find("rt_token42"), std::string::npos);
    EXPECT_EQ(ui.last<GuiUpdate::TrafficSource>().value().text, "RT Direct professional license, 1 day left");
    const RTAPISessionPtr s = gf_rtApiSession().current();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->guid, api.currentGuid());
    EXPECT_EQ(s->type, 2);

    // A second sign-in replaces the session with a later generation.
    ASSERT_TRUE(authenticate(status));
    EXPECT_GT(gf_rtApiSession().current()->generation, s->generation);
    gf_trafficClockInputs().professionalLevel = false;
}

TEST_F(RTApiSessionTest, LicenceDaysUseHundredNanosecondTicks)
{
    const int64_t now = 1'700'000'000LL * 10'000'000LL;
    const int64_t day = 86400;
    EXPECT_EQ(lf_licenseDaysLeft(1'700'000'000 + day * 3 / 2, now), 1);
    EXPECT_EQ(lf_licenseDaysLeft(1'700'000'000 + day / 2, now), 0);
    EXPECT_EQ(lf_licenseDaysLeft(1'700'000'000 - 3 * day, now), -3);
    EXPECT_EQ(lf_licenseDaysLeft(0, now), -19675);
    // An absurd expiry saturates instead of overflowing.
    EXPECT_EQ(lf_licenseDaysLeft(std::numeric_limits<int64_t>::max(), now),
              std::numeric_limits<int64_t>::max() / 86400 - 1'700'000'000LL / 86400 - 1);
    EXPECT_EQ(lf_licenseText(2, 1), "RT Direct professional license, 1 day left");
    EXPECT_EQ(lf_licenseText(1, 0), "RT Direct standard license, 0 days left");
    EXPECT_EQ(lf_licenseText(7, -3), "RT Direct standard license, -3 day left");
}

TEST_F(RTApiSessionTest, RefusalsBecomeTheUsersErrors)
{
    useCredential("lic-1");
    struct Case {
        int status;
        const char* text;
    };
    for (const Case c : {Case{402, "Your RT license is expired"}, Case{404, "RT did not recognize your license"},
                         Case{405, "More than one RealTraffic session is not possible, do not run the RealTraffic app"}}) {
        api.queueReply("/v6/auth", RTWebApi::jsonStatus(c.status, "refused"));
        try {
            Authenticater();
            ADD_FAILURE() << c.status;
        } catch (const kvr::UserRelatedException& e) {
            EXPECT_EQ(e.code, c.status);
            EXPECT_NE(std::string(e.what()).find(c.text), std::string::npos);
        }
        EXPECT_NE(log().find(c.text), std::string::npos) << c.status;
        EXPECT_EQ(gf_currentStopRequest(), nullptr);
    }
    EXPECT_FALSE(feedConnected.load());
}

namespace {

// Each reading of this clock is ten minutes after the one before.
std::atomic<int64_t> g_steppingClockMin{0};
std::chrono::steady_clock::time_point steppingClock()
{
    return std::chrono::steady_clock::time_point(std::chrono::minutes(g_steppingClockMin.fetch_add(10)));
}

} // namespace

TEST_F(RTApiSessionTest, PassingServerErrorsAtSignInAreWaitedOut)
{
    useCredential("lic-6");
    RTAPIServerSpell& spell = gf_rtApiSession().signInSpell;
    spell.serverErrorWaitMs = 20;
    api.queueReply("/v6/auth", RTWebApi::htmlPage(503));
    api.queueReply("/v6/auth", RTWebApi::jsonStatus(429, "Too many requests", 429));
    api.queueReply("/v6/auth", RTWebApi::jsonStatus(500, "No RT database connection"));
    EXPECT_NO_THROW(Authenticater());
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    EXPECT_TRUE(gf_rtApiSession().hasSession());
    EXPECT_TRUE(feedConnected.load());
    EXPECT_EQ(api.count("/v6/auth"), 4u);
    std::string text = log();
    const std::string down = "==> authentication: the RealTraffic service is unavailable for now (";
    EXPECT_NE(text.find(down + "API status 100, HTTP status 503: Authentication: invalid JSON: <html>"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(down + "API status 429, HTTP status 429: Too many requests); asking again in 1 s\n"),
              std::string::npos);
    EXPECT_NE(text.find(down + "API status 500, HTTP status 200: No RT database connection)"), std::string::npos);
    EXPECT_NE(text.find("authentication: the RealTraffic service answers again after "), std::string::npos);

    // Twenty minutes without a break end the run, telling the user why.
    g_steppingClockMin = 0;
    spell.outageNow = &steppingClock;
    for (int i = 0; i < 5; ++i)
        api.queueReply("/v6/auth", RTWebApi::htmlPage(502));
    EXPECT_NO_THROW(Authenticater());
    EXPECT_EQ(api.count("/v6/auth"), 7u) << "asked at 0, 10 and 20 minutes";
    EXPECT_FALSE(gf_rtApiSession().hasSession());
    EXPECT_FALSE(feedConnected.load());
    ASSERT_NE(gf_currentStopRequest(), nullptr);
    EXPECT_EQ(gf_currentStopRequest()->code, 8u);
    EXPECT_EQ(ui.lastMessage(), "The RealTraffic service is unavailable (error 502 for 20 minutes); try again later");
    text = log();
    EXPECT_NE(text.find("==> authentication: the RealTraffic service has been unavailable for 20 minutes (API status "
                        "100, HTTP status 502: "),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("has stopped with an error"), std::string::npos);
}

namespace {

// What the message line shows after the recorded updates: the latest
// message, or nothing after a clear.
std::string messageLine(const kvr::test::RecordingUiSink& ui)
{
    std::string line;
    for (const GuiUpdate& u : ui.updates()) {
        if (auto* m = std::get_if<GuiUpdate::Message>(&u.payload))
            line = m->text;
        else if (std::holds_alternative<GuiUpdate::ClearMessage>(u.payload))
            line.clear();
    }
    return line;
}

// The texts of the recorded messages, in order.
std::vector<std::string> messages(const kvr::test::RecordingUiSink& ui)
{
    std::vector<std::string> out;
    for (const auto& m : ui.all<GuiUpdate::Message>())
        out.push_back(m.text);
    return out;
}

// A port on which nothing listens (the stand-in that had it is gone).
int deadPort()
{
    RTWebApi gone;
    return gone.port();
}

// The sign-in's sleeps, recorded; `onSleep` runs before each returns.
struct RecordedSignInSleeps {
    RecordedSignInSleeps()
    {
        gf_setSignInSleepForTesting([this](int64_t ms) {
            sleeps.push_back(ms);
            if (onSleep)
                onSleep(sleeps.size());
        });
    }
    ~RecordedSignInSleeps() { gf_setSignInSleepForTesting({}); }
    std::vector<int64_t> sleeps;
    std::function<void(size_t)> onSleep;
};

} // namespace

TEST_F(RTApiSessionTest, ANetworkThatFindsNoServerAtSignInIsWaitedOutAndTheUserToldWhy)
{
    useCredential("lic-8");
    gf_rtApiSession().signInSpell.serverErrorWaitMs = 3000;
    // No name lookup at first, then a refused connection, then the service.
    const int port = deadPort();
    gf_setRTApiBaseUrlForTesting("http://kelo-no-such-host.invalid");
    std::optional<RTWebApi> back;
    RecordedSignInSleeps sleeps;
    sleeps.onSleep = [&](size_t n) {
        if (n == 3)
            gf_setRTApiBaseUrlForTesting(fmt::format("http://127.0.0.1:{}", port));
        if (n == 6) {
            back.emplace(port);
            back->setCredential("lic-8");
            back->setWrrl(250);
        }
    };
    EXPECT_NO_THROW(Authenticater());
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    EXPECT_TRUE(gf_rtApiSession().hasSession());
    EXPECT_TRUE(feedConnected.load());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->count("/v6/auth"), 1u);
    EXPECT_EQ(sleeps.sleeps, std::vector<int64_t>(6, 1000)) << "a wait of 3 s, twice, told second by second";
    // While it waits the message line says why and when it asks again.
    const std::string lookup = "The RealTraffic service is unavailable (no connection: Couldn't resolve host name); ";
    const std::string refused = "The RealTraffic service is unavailable (no connection: Couldn't connect to server); ";
    const std::string waiting = "Waiting for authentication at RT server ...";
    EXPECT_EQ(messages(ui), (std::vector<std::string>{waiting, lookup + "trying again in 3 s",
                                                      lookup + "trying again in 2 s", lookup + "trying again in 1 s",
                                                      waiting, refused + "trying again in 3 s",
                                                      refused + "trying again in 2 s", refused + "trying again in 1 s",
                                                      waiting}));
    EXPECT_EQ(messageLine(ui), "") << "a sign-in that succeeds clears the line";
    const std::string text = log();
    const std::string down = "==> authentication: the RealTraffic service is unavailable for now (Authentication "
                             "failed: curl_easy_perform: ";
    EXPECT_NE(text.find(down + "Couldn't resolve host name); asking again in 3 s\n"), std::string::npos) << text;
    EXPECT_NE(text.find(down + "Couldn't connect to server); asking again in 3 s\n"), std::string::npos) << text;
    EXPECT_NE(text.find("authentication: the RealTraffic service answers again after "), std::string::npos) << text;
    EXPECT_EQ(text.find("has stopped with an error"), std::string::npos) << text;
    back->stop();
}

TEST_F(RTApiSessionTest, AStopEndsTheWaitBetweenTwoSignInTries)
{
    useCredential("lic-11");
    gf_rtApiSession().signInSpell.serverErrorWaitMs = 600000;
    gf_setRTApiBaseUrlForTesting(fmt::format("http://127.0.0.1:{}", deadPort()));
    auto done = std::async(std::launch::async, [] {
        try {
            Authenticater();
        } catch (...) {
        }
    });
    const std::string waiting =
        "The RealTraffic service is unavailable (no connection: Couldn't connect to server); trying again in 600 s";
    for (int i = 0; i < 1000 && messageLine(ui) != waiting; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(messageLine(ui), waiting);
    gf_requestStop(3, 0);
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(gf_currentStopRequest()->code, 3u) << "the stop that came first stays";
    EXPECT_FALSE(feedConnected.load());
    EXPECT_EQ(messageLine(ui), "");
    EXPECT_EQ(log().find("has stopped with an error"), std::string::npos);
}

TEST_F(RTApiSessionTest, ASignInThatGivesUpLeavesItsReasonOnTheMessageLine)
{
    useCredential("lic-9");
    RecordedSignInSleeps sleeps;
    // No server for twenty minutes of the spell's clock.
    g_steppingClockMin = 0;
    gf_rtApiSession().signInSpell.outageNow = &steppingClock;
    gf_rtApiSession().signInSpell.serverErrorWaitMs = 1000;
    gf_setRTApiBaseUrlForTesting(fmt::format("http://127.0.0.1:{}", deadPort()));
    EXPECT_NO_THROW(Authenticater());
    EXPECT_EQ(sleeps.sleeps.size(), 2u) << "asked at 0, 10 and 20 minutes";
    ASSERT_NE(gf_currentStopRequest(), nullptr);
    EXPECT_EQ(gf_currentStopRequest()->code, 8u);
    EXPECT_FALSE(feedConnected.load());
    const std::string reason = "The RealTraffic service is unavailable (no connection: Couldn't connect to server for "
                               "20 minutes); try again later";
    EXPECT_EQ(messageLine(ui), reason);
    EXPECT_NE(log().find("\n" + reason + "\n"), std::string::npos);

    // Any other failed sign-in keeps its reason there as well.
    gf_clearStopRequest();
    gf_setRTApiBaseUrlForTesting(api.baseUrl());
    api.queueReply("/v6/auth", RTWebApi::Reply{200, R"({"status":200,"server":"x"})"});
    ui.clear();
    Authenticater();
    EXPECT_EQ(gf_currentStopRequest()->code, 8u);
    EXPECT_EQ(messageLine(ui), "The Authenticater has stopped with an error");
    EXPECT_TRUE(ui.all<GuiUpdate::ClearMessage>().empty());
}

TEST_F(RTApiSessionTest, ATransportFaultThatNoWaitMendsEndsTheSignInAtOnce)
{
    useCredential("lic-10");
    RecordedSignInSleeps sleeps;
    // A scheme libcurl does not speak: no network coming back changes that.
    gf_setRTApiBaseUrlForTesting("kelo://127.0.0.1");
    int32_t status = 0;
    EXPECT_FALSE(authenticate(status));
    EXPECT_EQ(status, 100);
    EXPECT_TRUE(sleeps.sleeps.empty());
    EXPECT_FALSE(gf_rtApiSession().signInSpell.serverGaveOut());
    const std::string text = log();
    EXPECT_NE(text.find("==> Authentication failed: curl_easy_perform: Unsupported protocol\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("unavailable for now"), std::string::npos) << text;
}

TEST_F(RTApiSessionTest, SignInWithoutGuidOrWithBadAnswersStopsTheReaders)
{
    useCredential("lic-2");
    api.queueReply("/v6/auth", RTWebApi::Reply{200, R"({"status":200,"server":"x"})"});
    Authenticater();
    EXPECT_NE(log().find("==> Authentication succeeded without a GUID\n"), std::string::npos);
    ASSERT_NE(gf_currentStopRequest(), nullptr);
    EXPECT_EQ(gf_currentStopRequest()->code, 8u);
    EXPECT_FALSE(gf_rtApiSession().hasSession());
    gf_clearStopRequest();

    api.queueReply("/v6/auth", RTWebApi::htmlPage(404)); // not a passing server error
    int32_t status = 0;
    EXPECT_FALSE(authenticate(status));
    EXPECT_EQ(status, 100);
    EXPECT_NE(log().find("==> Authentication: invalid JSON: <html>"), std::string::npos);

}

TEST_F(RTApiSessionTest, SilentServerCannotHoldTheStartUpOnceTheUserCloses)
{
    useCredential("lic-3");
    RTWebApi::Reply hang;
    hang.hang = true;
    api.queueReply("/v6/auth", hang);
    auto done = std::async(std::launch::async, [] {
        try {
            Authenticater();
        } catch (...) {
        }
    });
    ASSERT_TRUE(api.waitForCount("/v6/auth", 1, 10s));
    EXPECT_EQ(done.wait_for(300ms), std::future_status::timeout); // still waiting for the answer
    gf_requestStop(3, 0); // any stop request, the window's close included
    EXPECT_EQ(done.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(feedConnected.load());
    // The transfer ended on purpose: no error is reported.
    const std::string text = log();
    EXPECT_EQ(text.find("Authentication failed"), std::string::npos) << text;
    EXPECT_EQ(text.find("has stopped with an error"), std::string::npos) << text;
}

TEST_F(RTApiSessionTest, TheServersWaitAfterSignInEndsOnAStop)
{
    useCredential("lic-4");
    api.setWrrl(900000); // clamped to 60 s
    auto done = std::async(std::launch::async, [] {
        int32_t status = 0;
        return authenticate(status);
    });
    ASSERT_TRUE(api.waitForCount("/v6/auth", 1, 10s));
    EXPECT_EQ(done.wait_for(300ms), std::future_status::timeout);
    EXPECT_EQ(gf_rtApiWeatherReader().secondIntervalMs.load(), 60000u);
    gf_requestStop(3, 0);
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(done.get());
}

TEST_F(RTApiSessionTest, SignOffSendsTheGuidAndAlwaysDropsTheSession)
{
    deauthenticate();
    EXPECT_EQ(api.count("/v6/deauth"), 0u);
    EXPECT_NE(log().find("==> Deauthentication skipped: empty GUID\n"), std::string::npos);

    useCredential("lic-5");
    int32_t status = 0;
    ASSERT_TRUE(authenticate(status));
    const std::string guid = api.currentGuid();
    deauthenticate();
    ASSERT_EQ(api.count("/v6/deauth"), 1u);
    EXPECT_EQ(api.requests().back().body, "GUID=" + guid);
    EXPECT_NE(log().find("Logged off from RT server 'standin-1'\n"), std::string::npos);
    EXPECT_FALSE(gf_rtApiSession().hasSession());
    EXPECT_FALSE(feedConnected.load());

    ASSERT_TRUE(authenticate(status));
    api.queueReply("/v6/deauth", RTWebApi::jsonStatus(403, "nope"));
    deauthenticate();
    EXPECT_NE(log().find("==> Deauthentication failed, status 403: Deauthentication failed\n"), std::string::npos);
    EXPECT_FALSE(gf_rtApiSession().hasSession());
}

TEST(RTApiReplyReading, StatusLimitsAndFailures)
{
    kvr::test::ScopedTestFolders folders{"rtr"};
    gf_openLog();
    auto reply = [](std::string_view body, uint32_t http = 200, RTAPILimitSpec spec = g_rrlLimitSpec) {
        return gf_handleRTAPIHttpStatus(RTAPIHttpResponse{http, body}, "traffic receive", spec);
    };
    auto r = reply(R"({"status":200,"rrl":100,"message":"ok","data":{"a":1}})");
    ASSERT_TRUE(std::holds_alternative<RTAPIReply>(r));
    EXPECT_EQ(std::get<RTAPIReply>(r).limitMs, 250);
    EXPECT_EQ(std::get<RTAPIReply>(r).message, "ok");
    EXPECT_EQ(std::get<RTAPIReply>(r).data["a"], 1);

    EXPECT_EQ(std::get<RTAPIReply>(reply(R"({"status":200,"rrl":90000})")).limitMs, 60000);
    EXPECT_EQ(std::get<RTAPIReply>(reply(R"({"status":200,"rrl":18446744073709551615})")).limitMs, 60000);
    EXPECT_EQ(std::get<RTAPIReply>(reply(R"({"status":200,"rrl":"500"})")).limitMs, 2000);
    // Without a key, or with a status other than 200, nothing is taken or logged.
    EXPECT_EQ(std::get<RTAPIReply>(reply(R"({"status":200,"rrl":100})", 200, g_noLimitSpec)).limitMs, 2000);
    EXPECT_EQ(std::get<RTAPIReply>(reply(R"({"status":406,"rrl":100})")).limitMs, 2000);
    // A status that is not an i32 integer counts as 100.
    EXPECT_EQ(std::get<RTAPIReply>(reply(R"({"status":"200"})")).apiStatus, 100);
    EXPECT_EQ(std::get<RTAPIReply>(reply(R"({"status":4294967496})")).apiStatus, 100);

    // A JSON body with HTTP 401 is a reply: the API status decides.
    auto unauth = reply(R"({"status":401,"message":"GUID expired"})", 401);
    ASSERT_TRUE(std::holds_alternative<RTAPIReply>(unauth));
    EXPECT_EQ(std::get<RTAPIReply>(unauth).apiStatus, 401);
    EXPECT_EQ(std::get<RTAPIReply>(unauth).httpStatus, 401);

    const std::string html = "<html>" + std::string(300, 'x') + "</html>";
    auto failed = reply(html, 500);
    ASSERT_TRUE(std::holds_alternative<RTAPIFailure>(failed));
    EXPECT_EQ(std::get<RTAPIFailure>(failed).kind, RTAPIFailureHttp);
    EXPECT_EQ(std::get<RTAPIFailure>(failed).message, "HTTP 500 response: invalid JSON: " + html.substr(0, 256));
    auto parse = reply("[1,2]", 200);
    EXPECT_EQ(std::get<RTAPIFailure>(parse).kind, RTAPIFailureParse);
    EXPECT_EQ(std::get<RTAPIFailure>(parse).message, "invalid JSON: [1,2]");
    EXPECT_EQ(std::get<RTAPIFailure>(reply("", 204)).message, "empty response");

    gf_flushLog();
    const std::string text = kvr::test::logText();
    EXPECT_NE(text.find("==> traffic receive: rrl 100 ms outside limits, using 250 ms\n"), std::string::npos);
    EXPECT_NE(text.find("==> traffic receive: rrl 90000 ms outside limits, using 60000 ms\n"), std::string::npos);
    EXPECT_NE(text.find("==> traffic receive: invalid or missing rrl, using default\n"), std::string::npos);
    gf_closeLog();
}

TEST(RTApiTransport, ConnectionRefusedIsATransportError)
{
    RTAPITransport t(4096);
    EXPECT_GE(t.responseCapacity(), 4096u);
    // A port that was free a moment ago: nothing listens there.
    int port = 0;
    {
        kvr::standin::RTWebApi api;
        port = api.port();
    }
    auto r = t.request(fmt::format("http://127.0.0.1:{}/v6/auth", port), "a=b", RTAPIRequestOptions{2, 5, true, false});
    ASSERT_TRUE(std::holds_alternative<RTAPITransportError>(r));
    EXPECT_EQ(std::get<RTAPITransportError>(r).curlCode, 7u); // couldn't connect
    EXPECT_EQ(std::get<RTAPITransportError>(r).message.rfind("curl_easy_perform: ", 0), 0u);
    EXPECT_EQ(t.escape("a b+/~"), "a%20b%2B%2F~");
}

TEST_F(RTApiSessionTest, AnOverlongReplyIsATransportFailureAndGivesItsMemoryBack)
{
    RTAPITransport t(16384);
    RTWebApi::Reply huge;
    huge.body = R"({"status":200,"data":")" + std::string(12 * 1024 * 1024, 'x') + "\"}";
    api.queueReply("/v6/nearestmetar", huge);
    const RTAPIRequestOptions options{5, 30, false, false};
    auto answer = gf_postRTAPIRequest(t, "/v6/nearestmetar", "GUID=x", options, nullptr, "nearest metar", g_noLimitSpec);
    ASSERT_TRUE(std::holds_alternative<RTAPIFailure>(answer));
    const RTAPIFailure& failure = std::get<RTAPIFailure>(answer);
    EXPECT_EQ(failure.kind, RTAPIFailureTransport);
    EXPECT_EQ(failure.message, fmt::format("curl_easy_perform: reply longer than {} bytes", kMaxRTAPIReplyBytes));
    EXPECT_LT(t.responseCapacity(), 1024u * 1024u);

    // A reply just under the limit is read; the next request works as before.
    huge.body = R"({"status":200,"data":")" + std::string(kMaxRTAPIReplyBytes - 64, 'x') + "\"}";
    api.queueReply("/v6/nearestmetar", huge);
    answer = gf_postRTAPIRequest(t, "/v6/nearestmetar", "GUID=x", options, nullptr, "nearest metar", g_noLimitSpec);
    ASSERT_TRUE(std::holds_alternative<RTAPIReply>(answer));
    EXPECT_EQ(std::get<RTAPIReply>(answer).data.get_ref<const std::string&>().size(), kMaxRTAPIReplyBytes - 64);
}
