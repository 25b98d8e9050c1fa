// The RT Direct start of the main task as far as the sign-in, against the
// stand-in web API: what the window is left with when the sign-in fails.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/main_task.h"
#include "app/shutdown.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_transport.h"
#include "feed/rt_credential.h"
#include "simlink/user_aircraft.h"
#include "standins/rt_web_api.h"
#include "tests/app/main_task_fixture.h"

using namespace kvr::test;
using kvr::standin::RTWebApi;
namespace fs = std::filesystem;

namespace {

class RTDirectStartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedEpoch = LAST_EPOCH_TIME.value;
        LAST_EPOCH_TIME.value = 0; // no cooldown to hold for
        rtApiCooldownDeadline = 0;
        gf_modifyParameters([](Parameters& p) { p.SKIP_AIRPORT_SCAN = true; });
        api.setCredential("lic-start");
        api.setWrrl(250);
        const fs::path dir = fx.folders.roamingAppData() / "InsideSystems";
        fs::create_directories(dir);
        writeBytes(dir / "RealTraffic.lic", "{\"License\":\"lic-start\"}");
        gf_getRTLicenseToken();
        gf_setRTApiBaseUrlForTesting(api.baseUrl());
        gf_setAuthRefusalWaitForTesting(std::chrono::milliseconds(0));
        UserAcPosition user;
        user.latitude = 52.3086;
        user.longitude = 4.7639;
        gf_publishUserAcPosition(user);
    }
    void TearDown() override
    {
        api.stop();
        gf_rtApiSession().clear();
        gf_rtApiSession().signInSpell = RTAPIServerSpell{};
        gf_setRTApiBaseUrlForTesting({});
        gf_setAuthRefusalWaitForTesting(std::chrono::milliseconds(10000));
        gf_publishUserAcPosition(UserAcPosition{});
        gf_modifyParameters([](Parameters& p) { p.SKIP_AIRPORT_SCAN = false; });
        LAST_EPOCH_TIME.value = savedEpoch;
        rtApiCooldownDeadline = 0;
    }

    MainTaskFixture fx{false}; // RT Direct
    FakeMainClock clock;
    RTWebApi api;
    int32_t savedEpoch = 0;
};

} // namespace

TEST_F(RTDirectStartTest, AFailedSignInLeavesItsReasonOnTheMessageLineUntilTheWindowCloses)
{
    // A sign-in answer without a session: the run cannot go on.
    api.queueReply("/v6/auth", RTWebApi::Reply{200, R"({"status":200,"server":"x"})"});
    EXPECT_FALSE(lf_startRTDirect());
    ASSERT_NE(gf_currentStopRequest(), nullptr);
    EXPECT_EQ(gf_currentStopRequest()->code, 8u);
    EXPECT_EQ(api.count("/v6/auth"), 1u);
    const std::string reason = "The Authenticater has stopped with an error";
    EXPECT_EQ(fx.display().timedMessage, reason);

    // The shutdown of a system error keeps the window open 25 s: the reason
    // is what it shows all that time.
    lf_closingDown();
    EXPECT_GE(clock.sleptNs(), 25'000'000'000);
    EXPECT_EQ(fx.display().timedMessage, reason);
    std::vector<UINT> posted;
    for (UINT m : fx.postedMessages())
        if (m == MSG_START || m == MSG_EXIT)
            posted.push_back(m);
    EXPECT_EQ(posted, std::vector<UINT>{MSG_EXIT});
}
