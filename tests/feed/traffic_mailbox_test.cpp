// The hand-over of traffic batches to the main task.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/log.h"
#include "core/stop_request.h"
#include "engine/traffic_state.h"
#include "feed/traffic_mailbox.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace {

TrafficMailbox::Clock::time_point g_now{};
TrafficMailbox::Clock::time_point manualNow()
{
    return g_now;
}

std::vector<LiveTrafficRecord> batchOf(std::initializer_list<double> stamps)
{
    std::vector<LiveTrafficRecord> batch;
    uint32_t hexid = 100000;
    for (double t : stamps) {
        LiveTrafficRecord r;
        r.timestamp = t;
        r.hexid = hexid++;
        batch.push_back(r);
    }
    return batch;
}

class MailboxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        box.reset();
        box.now = &manualNow;
        g_now = TrafficMailbox::Clock::time_point{};
        engineClock = 5000;
        gf_clearStopRequest();
        gf_setTrafficDelivery(true);
    }
    void TearDown() override
    {
        gf_setTrafficDelivery(false);
        box.reset();
        box.now = &TrafficMailbox::Clock::now;
        gf_clearStopRequest();
        engineClock = 0;
    }

    TrafficMailbox& box = gf_trafficMailbox();
};

} // namespace

TEST_F(MailboxTest, PlayTimesKeepTheirSpacingAroundTheMedian)
{
    auto batch = batchOf({100.0, 101.0, 103.0});
    lf_stampPlayTimes(batch, 5000, 30);
    EXPECT_EQ(batch[0].playTime, 7900);
    EXPECT_EQ(batch[1].playTime, 8000);
    EXPECT_EQ(batch[2].playTime, 8200);

    batch = batchOf({100.0, 101.0});
    lf_stampPlayTimes(batch, 0, 6);
    EXPECT_EQ(batch[0].playTime, 550);
    EXPECT_EQ(batch[1].playTime, 650);

    batch = batchOf({std::nan(""), 200.0, 1e300});
    lf_stampPlayTimes(batch, 2147483000, 30);
    EXPECT_EQ(batch[0].playTime, 2147483647); // no finite offset: base, clamped
    EXPECT_EQ(batch[2].playTime, 2147483647);

    batch = batchOf({std::nan("")});
    lf_stampPlayTimes(batch, 10, 12);
    EXPECT_EQ(batch[0].playTime, 1210);
}

TEST_F(MailboxTest, LiveBatchesWaitInTheSlotOnlyWhileDeliveryIsOn)
{
    auto batch = batchOf({100.0, 101.0, 103.0});
    box.post(batch, 30, true);
    EXPECT_TRUE(batch.empty());
    ASSERT_EQ(box.slot.size(), 3u);
    EXPECT_EQ(box.slot[0].playTime, 7900);
    std::vector<LiveTrafficRecord> taken;
    EXPECT_EQ(box.take(taken, 2), 2u); // from the back
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].timestamp, 103.0);
    EXPECT_EQ(taken[1].timestamp, 101.0);
    EXPECT_EQ(box.take(taken, 8), 1u);
    EXPECT_EQ(taken.back().timestamp, 100.0);
    EXPECT_EQ(box.take(taken, 8), 0u);

    gf_setTrafficDelivery(false);
    box.slot.clear();
    for (bool dropWhenIdle : {true, false}) {
        batch = batchOf({100.0});
        box.post(batch, 30, dropWhenIdle);
        EXPECT_TRUE(batch.empty());
        EXPECT_TRUE(box.slot.empty());
    }
}

TEST_F(MailboxTest, BufferedSlicesWaitForTheMainTaskAndGoFirst)
{
    gf_setTrafficDelivery(false); // whether delivery is on or not
    std::thread reader([&] {
        auto batch = batchOf({100.0, 101.0, 102.0});
        box.post(batch, 12, true);
        EXPECT_TRUE(batch.empty());
    });
    reader.join();
    ASSERT_EQ(box.buffered.size(), 3u);

    gf_setTrafficDelivery(true);
    auto live = batchOf({200.0, 201.0});
    live[0].hexid = 555555;
    box.post(live, 30, true);
    // The slice in its order, then the live records; a take may end inside
    // the slice, and a stall is not cleared while only the slice is taken.
    box.firstUnconsumedSet = true;
    std::vector<LiveTrafficRecord> taken;
    EXPECT_EQ(box.take(taken, 2), 2u);
    EXPECT_TRUE(box.firstUnconsumedSet);
    EXPECT_EQ(box.take(taken, 8), 3u);
    EXPECT_FALSE(box.firstUnconsumedSet);
    ASSERT_EQ(taken.size(), 5u);
    EXPECT_EQ(taken[0].playTime, 5000 + 1200 - 100);
    EXPECT_EQ(taken[1].playTime, 5000 + 1200);
    EXPECT_EQ(taken[2].hexid, 100002u);
    EXPECT_EQ(taken[3].hexid, 100001u); // live: from the back
    EXPECT_EQ(taken[4].hexid, 555555u);
    EXPECT_TRUE(box.buffered.empty());

    // A slice that plays 30 s late is still a slice when its kind says so.
    taken.clear();
    auto batch = batchOf({100.0});
    box.post(batch, TrafficBatchKind::Buffered, 30, true);
    EXPECT_TRUE(box.slot.empty());
    box.take(taken, 8);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].playTime, 8000);
    // The reset drops a slice that was not taken.
    batch = batchOf({100.0});
    box.post(batch, TrafficBatchKind::Buffered, 12, true);
    box.reset();
    EXPECT_TRUE(box.buffered.empty());
}

TEST_F(MailboxTest, ANewBatchReplacesTheUntakenOne)
{
    auto first = batchOf({100.0, 101.0});
    box.post(first, 30, true);
    auto second = batchOf({200.0});
    second[0].hexid = 777777;
    g_now += std::chrono::seconds(5);
    box.post(second, 30, true);
    ASSERT_EQ(box.slot.size(), 1u);
    EXPECT_EQ(box.slot[0].hexid, 777777u);
    EXPECT_EQ(box.replacedCount, 1u);
    EXPECT_EQ(box.firstUnconsumed, g_now);
    std::vector<LiveTrafficRecord> taken;
    box.take(taken, 8);
    EXPECT_EQ(box.replacedCount, 0u);
    EXPECT_FALSE(box.firstUnconsumedSet);
}

TEST_F(MailboxTest, AMinuteWithoutIntakeStallsDelivery)
{
    kvr::test::ScopedTestFolders folders("stall");
    gf_openLog();
    auto batch = batchOf({1.0, 2.0});
    box.post(batch, 30, true);
    for (int s = 0; s < 60; s += 10) {
        batch = batchOf({1.0});
        box.post(batch, 30, true);
        g_now += std::chrono::seconds(10);
    }
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    EXPECT_FALSE(box.slot.empty());

    batch = batchOf({1.0, 2.0, 3.0}); // 60 s after the first replacement
    box.post(batch, 30, true);
    EXPECT_NE(kvr::test::logText().find("==> Traffic mailbox stalled: no messages consumed for 1 minute; 7 batches "
                                        "replaced, 1 pending and 3 incoming messages. Stopping traffic delivery "
                                        "and requesting shutdown.\n"),
              std::string::npos);
    ASSERT_NE(gf_currentStopRequest(), nullptr);
    EXPECT_EQ(gf_currentStopRequest()->code, 10u);
    EXPECT_EQ(gf_currentStopRequest()->arg, 0u);
    EXPECT_TRUE(box.slot.empty());
    EXPECT_TRUE(box.deliveryStopped);
    EXPECT_FALSE(box.deliveryOn);

    gf_setTrafficDelivery(true);
    EXPECT_FALSE(box.deliveryOn) << "a stall keeps delivery off";
    batch = batchOf({1.0});
    box.post(batch, 30, false);
    EXPECT_TRUE(box.slot.empty());

    box.reset();
    gf_setTrafficDelivery(true);
    EXPECT_TRUE(box.deliveryOn);
    gf_closeLog();
}
