// The 10 ms main loop and its once-per-simulator-second duties.
#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "app/user_requests.h"
#include "core/settings.h"
#include "tests/app/main_task_fixture.h"

using namespace kvr::test;

namespace {

constexpr int64_t kMs = 1'000'000;

// Runs lf_mainLoop on the fake clock. onTick(n) runs at the start of tick n
// (1-based) and may move the clock; the loop stops after `ticks` ticks.
// Returns, per tick, whether a sleep came before it.
std::vector<bool> runLoop(FakeMainClock& clock, int ticks, const std::function<void(int)>& onTick)
{
    std::vector<bool> sleptBefore;
    size_t sleepsSeen = 0;
    int n = 0;
    gf_setTickHook([&] {
        ++n;
        sleptBefore.push_back(clock.sleeps.size() > sleepsSeen);
        sleepsSeen = clock.sleeps.size();
        onTick(n);
        if (n == ticks)
            gf_requestStop(3, 0);
    });
    lf_mainLoop();
    gf_setTickHook({});
    return sleptBefore;
}

Parameters withInterval(int32_t minutes)
{
    Parameters p;
    p.PARKING_INTERVAL_MINUTES = minutes;
    return p;
}

class MainLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        oldParams = g_parameters.load();
        g_parameters.store(std::make_shared<const Parameters>(withInterval(7)));
    }
    void TearDown() override { g_parameters.store(oldParams); }
    MainTaskFixture fx;
    FakeMainClock clock;
    std::shared_ptr<const Parameters> oldParams;
};

} // namespace

TEST_F(MainLoopTest, KeepsTenMillisecondTicksAndGivesUpAfterASlowTick)
{
    g_linkState = LinkState::Running;
    const std::vector<bool> slept = runLoop(clock, 20, [&](int n) {
        if (n == 5)
            clock.now += 150 * kMs; // a slow tick
    });
    ASSERT_EQ(slept.size(), 20u);
    // After the slow tick the deadline restarts at now + 10 ms: every tick,
    // the one after the slow tick included, waits 10 ms; there is no burst.
    for (size_t i = 1; i < slept.size(); ++i)
        EXPECT_TRUE(slept[i]) << "tick " << i + 1;
    for (int64_t s : clock.sleeps)
        EXPECT_EQ(s, 10 * kMs);
}

TEST_F(MainLoopTest, ASecondReportRebasesTheDeadline)
{
    // Paused: the tick leaves the second report alone, so the loop sees it.
    g_linkState = LinkState::Stopped;
    const std::vector<bool> slept = runLoop(clock, 12, [&](int n) {
        if (n == 5) {
            clock.now += 30 * kMs;
            g_userGroundDataArrived = 1;
        }
    });
    // Only the tick right after the late one runs without a wait.
    EXPECT_FALSE(slept[5]);
    for (int i = 7; i <= 12; ++i)
        EXPECT_TRUE(slept[i - 1]) << "tick " << i;
}

TEST(MainLoopSchedule, DutiesBySecond)
{
    using D = SecondDuties;
    EXPECT_EQ(lf_dutiesForSecond(1, false), 0u);
    EXPECT_EQ(lf_dutiesForSecond(5, false), D::Five);
    EXPECT_EQ(lf_dutiesForSecond(14, false), D::Fourteen);
    EXPECT_EQ(lf_dutiesForSecond(14, true), 0u); // the parking latch holds the 14 s duty
    EXPECT_EQ(lf_dutiesForSecond(15, false), D::Five | D::Fifteen);
    EXPECT_EQ(lf_dutiesForSecond(30, false), D::Five | D::Fifteen | D::Thirty);
    EXPECT_EQ(lf_dutiesForSecond(61, false), D::SixtyOne);
    // Multiples of 14 or 61 that are also multiples of 5 run the 5 s duty only.
    EXPECT_EQ(lf_dutiesForSecond(70, false), D::Five);
    EXPECT_EQ(lf_dutiesForSecond(140, false), D::Five);
    EXPECT_EQ(lf_dutiesForSecond(305, false), D::Five);
    EXPECT_EQ(lf_dutiesForSecond(610, false), D::Five);
    EXPECT_EQ(lf_dutiesForSecond(854, false), D::Fourteen | D::SixtyOne);
    EXPECT_EQ(lf_dutiesForSecond(60, false), D::Five | D::Fifteen | D::Thirty | D::Minute);
    EXPECT_EQ(lf_dutiesForSecond(1200, false), D::Five | D::Fifteen | D::Thirty | D::Minute | D::TwentyMinutes);
    EXPECT_EQ(lf_dutiesForSecond(86400, false),
              D::Five | D::Fifteen | D::Thirty | D::Minute | D::TwentyMinutes | D::Day);
}

TEST_F(MainLoopTest, PausedSimulatorRunsNoDutyAndLogsOnce)
{
    g_linkState = LinkState::Stopped;
    for (int i = 0; i < 250; ++i) {
        g_userGroundDataArrived = 1; // reports keep coming, but nothing counts them
        ASSERT_TRUE(lf_tick());
    }
    EXPECT_EQ(gf_mainLoopState().secondsCounter, 0);
    EXPECT_EQ(countOf(fx.log(), " Flight not running"), 1u);
    EXPECT_EQ(countOf(fx.log(), " Flight resumed"), 0u);

    g_linkState = LinkState::Running;
    g_userGroundDataArrived = 1;
    ASSERT_TRUE(lf_tick());
    EXPECT_EQ(gf_mainLoopState().secondsCounter, 1);
    EXPECT_EQ(countOf(fx.log(), " Flight resumed"), 1u);
    g_userGroundDataArrived = 1;
    ASSERT_TRUE(lf_tick());
    EXPECT_EQ(countOf(fx.log(), " Flight resumed"), 1u);

    // A second pause logs once more.
    g_linkState = LinkState::Stopped;
    for (int i = 0; i < 5; ++i)
        lf_tick();
    EXPECT_EQ(countOf(fx.log(), " Flight not running"), 2u);
}

TEST_F(MainLoopTest, NewParkingIntervalShowsUnchangedForAMinuteThenCountsDown)
{
    g_linkState = LinkState::Running;
    pendingParkingInterval = 3;
    std::vector<int32_t> shown;
    for (int second = 1; second <= 300; ++second) {
        g_userGroundDataArrived = 1;
        ASSERT_TRUE(lf_tick());
        if (second % 60 == 0)
            shown.push_back(fx.display().nextUpdateMinutes);
    }
    // 3 stays for the first minute, then 2, 1, then the interval of the
    // settings (7) starts again.
    EXPECT_EQ(shown, (std::vector<int32_t>{3, 2, 1, 7, 6}));
    EXPECT_EQ(pendingParkingInterval.load(), -1);
}

TEST_F(MainLoopTest, ParkingRequestIsCapturedAtFifteenSecondsAndDoneAtThirty)
{
    g_linkState = LinkState::Running;
    ParkingRequests& r = gf_parkingRequests();
    {
        std::lock_guard lock(r.mutex);
        r.requestedGeneration = 4;
        r.doneGeneration = 3;
    }
    auto runTo = [&](int32_t second) {
        while (gf_mainLoopState().secondsCounter < second) {
            g_userGroundDataArrived = 1;
            lf_tick();
        }
    };
    runTo(14);
    EXPECT_FALSE(gf_mainLoopState().latch);
    EXPECT_TRUE(lf_parkingUpdatePending());
    runTo(15);
    EXPECT_TRUE(gf_mainLoopState().latch);
    EXPECT_EQ(gf_mainLoopState().capturedGeneration, 4u);
    runTo(29);
    EXPECT_TRUE(gf_mainLoopState().latch);
    runTo(30);
    EXPECT_FALSE(gf_mainLoopState().latch);
    EXPECT_FALSE(lf_parkingUpdatePending());
    std::lock_guard lock(r.mutex);
    EXPECT_EQ(r.doneGeneration, 4u);
    r.requestedGeneration = r.doneGeneration = 0;
}

TEST(AutoRange, FollowsTheFlightLevel)
{
    struct Saved {
        IntParameter* p;
        int32_t v;
    };
    std::vector<Saved> saved;
    auto set = [&](IntParameter& p, int32_t v) {
        saved.push_back({&p, p.value});
        p.value = v;
    };
    set(RANGE_GROUND, 10);
    set(RANGE_1, 20);
    set(RANGE_2, 40);
    set(RANGE_3, 80);
    set(RANGE_ABOVE, 100);
    set(FLIGHT_LEVEL_1, 50);
    set(FLIGHT_LEVEL_2, 150);
    set(FLIGHT_LEVEL_3, 250);

    EXPECT_DOUBLE_EQ(lf_autoRangeFor(true, 30000.0), 10.0);  // on the ground: RANGE_GROUND
    EXPECT_DOUBLE_EQ(lf_autoRangeFor(false, 0.0), 10.0);
    EXPECT_DOUBLE_EQ(lf_autoRangeFor(false, 2500.0), 15.0); // FL25: half way to FL50
    EXPECT_DOUBLE_EQ(lf_autoRangeFor(false, 5000.0), 20.0);
    EXPECT_DOUBLE_EQ(lf_autoRangeFor(false, 10000.0), 30.0); // FL100: half way FL50..FL150
    EXPECT_DOUBLE_EQ(lf_autoRangeFor(false, 20000.0), 60.0);
    EXPECT_DOUBLE_EQ(lf_autoRangeFor(false, 25000.0), 80.0);
    EXPECT_DOUBLE_EQ(lf_autoRangeFor(false, 25100.0), 100.0); // above FL3
    FLIGHT_LEVEL_1.value = 0;
    EXPECT_DOUBLE_EQ(lf_autoRangeFor(false, 0.0), 20.0); // FL1 of 0: no interpolation
    EXPECT_DOUBLE_EQ(lf_autoRangeFor(false, 7500.0), 30.0); // FL75: half way FL0..FL150 from R1 to R2
    for (auto it = saved.rbegin(); it != saved.rend(); ++it)
        it->p->value = it->v;
}
