// The whole run of the main task against the stand-in simulator (real time,
// the user aircraft on the ground) and the stand-in RealTraffic App: start-up
// through to the 10 ms loop, a stop, and the shutdown in its order.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <chrono>
#include <future>
#include <thread>

#include <nlohmann/json.hpp>

#include "app/main_task.h"
#include "core/clock.h"
#include "core/layout.h"
#include "core/settings.h"
#include "simlink/simconnect_loader.h"
#include "standins/rt_app_standin.h"
#include "standins/simconnect/standin_control.h"
#include "tests/app/main_task_fixture.h"
#include "tests/app/rt_app_run.h"
#include "tests/feed/feed_test_support.h"
#include "update/downloader.h"

using namespace kvr::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(StartUpEndToEnd, RtAppRunRunsTheLoopAndShutsDownInOrder)
{
    MainTaskFixture fx(true, 1);
    ASSERT_TRUE(gf_loadSimConnect()) << gf_simConnectLoadError();
    SimConnectStandin sim;
    ASSERT_TRUE(sim.bind());
    sim.reset();
    ASSERT_TRUE(sim.load({{"mode", "realtime"},
                          {"sim_running", true},
                          {"user",
                           {{"title", "Airbus A320 Neo"}, {"atc_model", "A20N"}, {"lat", 52.3087},
                            {"lon", 4.7639}, {"alt_ft", -11}, {"on_ground", true}}}}));

    const uint16_t port = prepareRtAppRun(fx, {{"KLM", "B738", "Boeing 737-800 KLM"}});
    ASSERT_NE(port, 0);
    gf_setDownloadSiteForTests("http://127.0.0.1:9/"); // nothing answers: no update
    MessageBoxRecorder boxes; // none is expected; none may block the run

    kvr::standin::RtAppStandIn app;
    kvr::standin::AppAircraft klm;
    klm.hexid = 4738001;
    klm.callsign = "KLM1001";
    klm.type = "B738";
    klm.lat = 52.30;
    klm.lon = 4.78;
    klm.altitude = 1200;
    klm.groundSpeed = 160;
    app.bufferSlices = {{kvr::standin::trafficLine(klm, static_cast<double>(gf_nowSeconds(false)) - 20, "RTBUF")}};
    auto appConnected = std::async(std::launch::async, [&] { return app.connect(port, 30s); });

    std::atomic<int32_t> seconds{0};
    gf_setTickHook([&] { seconds = gf_mainLoopState().secondsCounter; });
    auto run = std::async(std::launch::async, [] { lf_main(); });

    for (int i = 0; i < 600 && seconds.load() < 3; ++i)
        std::this_thread::sleep_for(100ms);
    EXPECT_GE(seconds.load(), 3) << "the loop did not count simulator seconds\n" << fx.log();
    EXPECT_TRUE(appConnected.get());
    StopRequestPtr none;
    gf_compareExchangeStopRequest(none, std::make_shared<const StopRequest>(StopRequest{1, 0}));
    ASSERT_EQ(run.wait_for(60s), std::future_status::ready) << fx.log();
    gf_setTickHook({});
    gf_setDownloadSiteForTests("");

    const std::string log = fx.log();
    const std::vector<size_t> at = linePositions(
        log, {" Exiting: SIM WAS CLOSED", "Shutdown cleanup: waiting for SimClient", "Shutdown cleanup: SimClient stopped",
              "Shutdown cleanup: stopping readers", "Shutdown cleanup: weather reader stopped",
              "Shutdown cleanup: traffic reader stopped", "Shutdown cleanup: RT App server closed",
              "Shutdown cleanup completed; posting MSG_EXIT"});
    for (size_t i = 0; i < at.size(); ++i) {
        ASSERT_NE(at[i], std::string::npos) << i << "\n" << log;
        if (i > 0) {
            EXPECT_LT(at[i - 1], at[i]) << i;
        }
    }
    EXPECT_EQ(log.find("Time out: no buffer traffic received?"), std::string::npos) << log;
    EXPECT_NE(log.find("\n1 liveries in output\\LiveriesScanned_MSFS2020.xml\n"), std::string::npos) << log;
    EXPECT_FALSE(app.linesStartingWith("Qs121=").empty()); // the user state went to the App
    std::vector<UINT> posted;
    for (UINT m : fx.postedMessages())
        if (m == MSG_START || m == MSG_EXIT)
            posted.push_back(m);
    EXPECT_EQ(posted, std::vector<UINT>{MSG_EXIT});
    sim.reset();
}
