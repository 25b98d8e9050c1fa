// The hand-off of simulator events: order kept across threads, nothing lost,
// capacity kept across swaps.
#include <gtest/gtest.h>

#include <thread>

#include "simlink/sim_event.h"

namespace {

TEST(SimEventQueueTest, EveryPushedEventArrivesOnceInOrder)
{
    SimEventQueue queue;
    std::vector<SimEvent> processing;
    std::vector<uint32_t> seen;
    std::thread pusher([&] {
        for (uint32_t i = 1; i <= 20000; ++i)
            queue.push(SimEvent{i, 0, 0, SimEventKind::Removed, 0.0, 0.0});
    });
    while (seen.size() < 20000) {
        queue.swapInto(processing);
        for (const auto& e : processing)
            seen.push_back(e.objectId);
    }
    pusher.join();
    for (uint32_t i = 0; i < seen.size(); ++i)
        ASSERT_EQ(seen[i], i + 1);
    queue.swapInto(processing);
    EXPECT_TRUE(processing.empty());
}

TEST(SimEventQueueTest, SwapKeepsBothCapacitiesAndClearDropsWaitingEvents)
{
    SimEventQueue queue;
    std::vector<SimEvent> processing;
    queue.push(SimEvent{1, 2, 0, SimEventKind::GroundData, 400.0, 12.5});
    queue.swapInto(processing);
    ASSERT_EQ(processing.size(), 1u);
    EXPECT_EQ(processing[0].key, 2u);
    EXPECT_EQ(processing[0].value2, 12.5);
    EXPECT_GE(processing.capacity(), 256u);
    queue.swapInto(processing); // the stale batch is emptied before the swap
    EXPECT_TRUE(processing.empty());
    queue.push(SimEvent{});
    EXPECT_EQ(queue.pendingCount(), 1u);
    queue.clear();
    EXPECT_EQ(queue.pendingCount(), 0u);
}

} // namespace
