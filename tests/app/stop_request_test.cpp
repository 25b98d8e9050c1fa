// The one stop request of a run, the exit flag and the reader reports.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/gui.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace {

class StopRequestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_clearStopRequest();
        Gui::instance().drainUpdates(); // nothing left over from other tests
    }
    void TearDown() override { gf_clearStopRequest(); }
};

void expectRequest(uint32_t code, uint32_t arg)
{
    const StopRequestPtr r = gf_currentStopRequest();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->code, code);
    EXPECT_EQ(r->arg, arg);
}

// The message shown (and logged) by the last queued update.
std::string shownMessage()
{
    Gui::instance().drainUpdates();
    return Gui::instance().display.timedMessage;
}

std::atomic<int> g_closerCalls{0};
void countingCloser()
{
    ++g_closerCalls;
}

} // namespace

TEST(StopCodes, TextsAndRestarts)
{
    const char* texts[] = {"NOT YET SET",     "SIM WAS CLOSED",   "NEW FLIGHT",    "NEW SETTINGS",
                           "USER CLOSED SIM", "INSTALL PATH MISSING", "SIMCONNECT ERROR", "READER ERROR",
                           "SYSTEM ERROR",    "NEW VERSION",      "TRAFFIC MAILBOX STALLED"};
    for (uint32_t code = 0; code <= 10; ++code) {
        EXPECT_EQ(gf_stopCodeText(code), texts[code]);
        EXPECT_EQ(gf_stopCodeRestarts(code), code == 2 || code == 3 || code == 6 || code == 7) << code;
    }
}

TEST_F(StopRequestTest, TheFirstRequestWins)
{
    EXPECT_TRUE(gf_keepRunning());
    EXPECT_EQ(gf_currentStopRequest(), nullptr);

    gf_requestStop(3, 3);
    EXPECT_FALSE(gf_keepRunning());
    gf_requestStop(8, 0);
    gf_requestRestartAfterFlightChange();
    expectRequest(3, 3);

    gf_clearStopRequest();
    EXPECT_TRUE(gf_keepRunning());
    gf_requestRestartAfterFlightChange();
    expectRequest(2, 60);
}

TEST_F(StopRequestTest, CompareExchangeReportsTheWinner)
{
    StopRequestPtr expected;
    auto mine = std::make_shared<const StopRequest>(StopRequest{10, 0});
    EXPECT_TRUE(gf_compareExchangeStopRequest(expected, mine));
    EXPECT_EQ(gf_currentStopRequest(), mine);

    StopRequestPtr stale;
    EXPECT_FALSE(gf_compareExchangeStopRequest(stale, std::make_shared<const StopRequest>(StopRequest{3, 0})));
    ASSERT_NE(stale, nullptr);
    EXPECT_EQ(stale->code, 10u); // expected now holds the published request
    expectRequest(10, 0);

    // Replacing works when the caller expects the current value.
    EXPECT_TRUE(gf_compareExchangeStopRequest(stale, nullptr));
    EXPECT_TRUE(gf_keepRunning());
}

TEST_F(StopRequestTest, ManyThreadsOneWinner)
{
    for (int round = 0; round < 20; ++round) {
        gf_clearStopRequest();
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        std::atomic<int> winners{0};
        std::atomic<uint32_t> winnerCode{0};
        for (uint32_t code = 1; code <= 8; ++code) {
            if (code == 4)
                continue; // a close request would end the process's run for good
            threads.emplace_back([&, code] {
                while (!go.load())
                    std::this_thread::yield();
                StopRequestPtr expected;
                if (gf_compareExchangeStopRequest(expected,
                                                  std::make_shared<const StopRequest>(StopRequest{code, code}))) {
                    ++winners;
                    winnerCode = code;
                } else {
                    gf_requestStop(code, code); // dropped as well
                }
            });
        }
        go = true;
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(winners.load(), 1);
        expectRequest(winnerCode.load(), winnerCode.load());
        EXPECT_FALSE(gf_keepRunning());
    }
}

TEST_F(StopRequestTest, ReaderStoppedReportsAndPublishes)
{
    gf_reportReaderStopped("Traffic RTAPIreader", true, 402);
    EXPECT_EQ(shownMessage(), "Your RealTraffic license has expired (error 402). Check your license and API token.");
    expectRequest(7, 15);

    gf_clearStopRequest();
    gf_reportReaderStopped("Weather RTAPIreader", false, 402);
    EXPECT_EQ(shownMessage(), "Your RealTraffic license has expired (error 402). Check your license and API token.");
    expectRequest(8, 15);

    gf_clearStopRequest();
    gf_reportReaderStopped("Traffic RTAPIreader", false, 500);
    EXPECT_EQ(shownMessage(), "The Traffic RTAPIreader has stopped with an error");
    expectRequest(8, 15);

    gf_clearStopRequest();
    gf_reportReaderError("QNH Reader", "Unknown exception");
    EXPECT_EQ(shownMessage(), "The QNH Reader has stopped with error: Unknown exception");
    expectRequest(7, 15);

    // A later report does not replace the first reason.
    gf_reportReaderStopped("Traffic Reader", false, 0);
    expectRequest(7, 15);
}

TEST_F(StopRequestTest, SimulatorLostLogsOnlyWhileRunning)
{
    kvr::test::ScopedTestFolders folders("stop");
    gf_openLog();
    gf_simulatorLost();
    expectRequest(1, 0);
    gf_simulatorLost(); // already stopping: no second line
    gf_requestRestartAfterFlightChange();
    expectRequest(1, 0);
    gf_closeLog();

    const std::string log = kvr::test::logText();
    const std::string tail = " Flight Simulator no longer connected, Kelo will stop ...\n";
    const size_t at = log.find(tail);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find(tail, at + 1), std::string::npos);
    // The line starts with the time hh:mm:ss.
    const size_t lineStart = log.rfind('\n', at) + 1;
    EXPECT_EQ(at - lineStart, 8u);
}

// A close request sets the exit flag for the rest of the process, so it runs
// in a child process of its own.
TEST(StopRequestDeathTest, CloseRequestEndsEveryLoopForGood)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            gf_clearStopRequest();
            g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{2, true})); // RT App
            gf_setRTAppSocketCloser(&countingCloser);
            if (gf_exitRequested() || !gf_keepRunning())
                std::exit(1);
            gf_requestStop(4, 0);
            if (!gf_exitRequested() || gf_keepRunning() || g_closerCalls.load() != 1)
                std::exit(2);
            // Emptying the request (a restart) does not bring the run back.
            gf_clearStopRequest();
            if (gf_keepRunning())
                std::exit(3);
            StopRequestPtr expected;
            if (!gf_compareExchangeStopRequest(expected, std::make_shared<const StopRequest>(StopRequest{3, 0})))
                std::exit(4);
            gf_clearStopRequest();
            if (gf_keepRunning() || !gf_exitRequested())
                std::exit(5);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(StopRequestDeathTest, CloseRequestLeavesSocketsAloneInRTDirectMode)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{2, false})); // RT Direct
            gf_setRTAppSocketCloser(&countingCloser);
            gf_requestStop(4, 0);
            std::exit(g_closerCalls.load() == 0 && gf_exitRequested() && !gf_keepRunning() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(StopRequestDeathTest, ALaterCloseStillEndsTheRun)
{
    // Code 4 after another request: the request stays, the exit flag still
    // stops every loop. Checked in a child so the flag does not leak.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            gf_clearStopRequest();
            gf_requestStop(7, 15);
            gf_requestStop(4, 0);
            const StopRequestPtr r = gf_currentStopRequest();
            std::exit(r && r->code == 7 && gf_exitRequested() && !gf_keepRunning() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
