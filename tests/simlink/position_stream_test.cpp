// Position hand-over: history rules, interpolation with its wraps, the
// try-lock swap and objects that the simulator removed.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <numbers>
#include <thread>

#include "simlink/position_stream.h"

namespace {

constexpr int64_t ms = 1'000'000;
constexpr double deg = std::numbers::pi / 180.0;

TimedPosition at(int64_t t, double lat, double lon, double alt = 1000.0, double heading = 0.0)
{
    TimedPosition p;
    p.time = t;
    p.block.latitude = lat;
    p.block.longitude = lon;
    p.block.altitude = alt;
    p.block.heading = heading;
    return p;
}

TEST(PositionHistoryTest, SampleThatDoesNotFollowClearsTheHistory)
{
    struct Case {
        const char* what;
        TimedPosition next;
        size_t sizeAfter;
    } cases[] = {
        {"200 ms later", at(200 * ms, 47.0, 8.0), 2},
        {"exactly 250 ms later", at(250 * ms, 47.0, 8.0), 2},
        {"300 ms later", at(300 * ms, 47.0, 8.0), 1},
        {"same time", at(0, 47.0, 8.0), 1},
        {"earlier", at(-ms, 47.0, 8.0), 1},
        {"1.1 km away", at(100 * ms, 47.0 + 1100.0 / 1852.0 / 60.0, 8.0), 1},
        {"0.9 km away", at(100 * ms, 47.0 + 900.0 / 1852.0 / 60.0, 8.0), 2},
        {"2100 ft higher", at(100 * ms, 47.0, 8.0, 3100.0), 1},
        {"1900 ft lower", at(100 * ms, 47.0, 8.0, -900.0), 2},
        {"NaN altitude", at(100 * ms, 47.0, 8.0, std::nan("")), 1},
    };
    for (const auto& c : cases) {
        PositionHistory h;
        gf_appendToHistory(h, at(0, 47.0, 8.0));
        gf_appendToHistory(h, c.next);
        EXPECT_EQ(h.size(), c.sizeAfter) << c.what;
        EXPECT_EQ(h.newest().time, c.next.time) << c.what;
    }
    // East-west steps shrink with the latitude's cosine, across 180 too.
    const double eastDeg60 = 1.0 / 1852.0 / 60.0 / 0.5; // a metre east at 60 N, in degrees
    const struct {
        const char* what;
        TimedPosition from, next;
        size_t sizeAfter;
    } pairs[] = {
        {"0.9 km east at 60 N", at(0, 60.0, 8.0), at(100 * ms, 60.0, 8.0 + 900.0 * eastDeg60), 2},
        {"1.1 km east at 60 N", at(0, 60.0, 8.0), at(100 * ms, 60.0, 8.0 + 1100.0 * eastDeg60), 1},
        {"0.9 km over 180 at 60 N", at(0, 60.0, 180.0 - 450.0 * eastDeg60),
         at(100 * ms, 60.0, -180.0 + 450.0 * eastDeg60), 2},
        {"NaN longitude", at(0, 60.0, 8.0), at(100 * ms, 60.0, std::nan("")), 1},
    };
    for (const auto& c : pairs) {
        PositionHistory h;
        gf_appendToHistory(h, c.from);
        gf_appendToHistory(h, c.next);
        EXPECT_EQ(h.size(), c.sizeAfter) << c.what;
    }
}

TEST(PositionHistoryTest, KeepsTheSixteenNewest)
{
    PositionHistory h;
    for (int i = 0; i < 20; ++i)
        gf_appendToHistory(h, at(i * 10 * ms, 47.0, 8.0));
    ASSERT_EQ(h.size(), 16u);
    EXPECT_EQ(h[0].time, 40 * ms);
    EXPECT_EQ(h.newest().time, 190 * ms);
}

TEST(InterpolationTest, TableOfCases)
{
    struct Case {
        const char* what;
        TimedPosition a, b;
        int64_t now; // the target is now - 20 ms
        double lat, lon, heading;
    } cases[] = {
        {"halfway", at(0, 10.0, 20.0), at(200 * ms, 11.0, 22.0), 120 * ms, 10.5, 21.0, 0.0},
        {"before the oldest holds it", at(0, 10.0, 20.0), at(200 * ms, 11.0, 22.0), 10 * ms, 10.0, 20.0, 0.0},
        {"after the newest holds it", at(0, 10.0, 20.0), at(200 * ms, 11.0, 22.0), 500 * ms, 11.0, 22.0, 0.0},
        {"exactly at the newest", at(0, 10.0, 20.0), at(200 * ms, 11.0, 22.0), 220 * ms, 11.0, 22.0, 0.0},
        {"antimeridian east to west", at(0, 0.0, 179.9), at(200 * ms, 0.0, -179.9), 120 * ms, 0.0, 180.0, 0.0},
        {"antimeridian quarter", at(0, 0.0, 179.9), at(200 * ms, 0.0, -179.9), 70 * ms, 0.0, 179.95, 0.0},
        {"antimeridian west to east", at(0, 0.0, -179.9), at(200 * ms, 0.0, 179.9), 170 * ms, 0.0, 179.95, 0.0},
        {"heading 350 to 10 through north", at(0, 0.0, 0.0, 0.0, 350 * deg), at(200 * ms, 0.0, 0.0, 0.0, 10 * deg),
         120 * ms, 0.0, 0.0, 0.0},
        {"heading 350 to 10 three quarters", at(0, 0.0, 0.0, 0.0, 350 * deg),
         at(200 * ms, 0.0, 0.0, 0.0, 10 * deg), 170 * ms, 0.0, 0.0, 5 * deg},
        {"heading 10 to 350 a quarter", at(0, 0.0, 0.0, 0.0, 10 * deg), at(200 * ms, 0.0, 0.0, 0.0, 350 * deg),
         70 * ms, 0.0, 0.0, 5 * deg},
        {"heading 10 to 350 three quarters", at(0, 0.0, 0.0, 0.0, 10 * deg),
         at(200 * ms, 0.0, 0.0, 0.0, 350 * deg), 170 * ms, 0.0, 0.0, 355 * deg},
        {"heading beyond a turn", at(0, 0.0, 0.0, 0.0, 730 * deg), at(200 * ms, 0.0, 0.0, 0.0, 20 * deg), 120 * ms,
         0.0, 0.0, 15 * deg},
    };
    for (const auto& c : cases) {
        PositionHistory h;
        h.pushNewest(c.a);
        h.pushNewest(c.b);
        auto r = gf_interpolatePosition(h, c.now);
        ASSERT_TRUE(r) << c.what;
        EXPECT_NEAR(r->latitude, c.lat, 1e-9) << c.what;
        // 180 and -180 are the same meridian.
        EXPECT_NEAR(std::remainder(r->longitude - c.lon, 360.0), 0.0, 1e-9) << c.what;
        EXPECT_GE(r->longitude, -180.0) << c.what;
        EXPECT_LE(r->longitude, 180.0) << c.what;
        EXPECT_NEAR(std::remainder(r->heading - c.heading, 2 * std::numbers::pi), 0.0, 1e-9) << c.what;
        EXPECT_GE(r->heading, 0.0) << c.what;
        EXPECT_LT(r->heading, 2 * std::numbers::pi) << c.what;
    }
}

TEST(InterpolationTest, DropsSamplesBehindTheTargetAndHandlesEmptyAndGaps)
{
    PositionHistory empty;
    EXPECT_FALSE(gf_interpolatePosition(empty, 0));

    PositionHistory h;
    for (int i = 0; i < 5; ++i)
        h.pushNewest(at(i * 100 * ms, 10.0 + i, 20.0));
    auto r = gf_interpolatePosition(h, 270 * ms); // target 250 ms: between samples 2 and 3
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->latitude, 12.5, 1e-9);
    EXPECT_EQ(h.size(), 3u); // 0 and 1 are no longer needed
    EXPECT_EQ(h[0].time, 200 * ms);

    // Two samples too far apart in time (possible only when placed directly):
    // the newest is held.
    PositionHistory gap;
    gap.pushNewest(at(0, 10.0, 20.0));
    gap.pushNewest(at(400 * ms, 11.0, 20.0));
    EXPECT_NEAR(gf_interpolatePosition(gap, 220 * ms)->latitude, 11.0, 1e-12);
}

class PositionStreamerTest : public ::testing::Test {
protected:
    void SetUp() override { buffer.reset(false); }

    void post(uint32_t id, const TimedPosition& p)
    {
        buffer.stage(id, p.block);
        buffer.flushStaging(p.time);
    }
    std::map<uint32_t, double> written(int64_t now, uint32_t user = 2)
    {
        std::map<uint32_t, double> out;
        streamer.writeAll(now, user, [&](uint32_t id, const PositionBlock& b) {
            out[id] = b.latitude;
            return true;
        });
        return out;
    }

    PositionDoubleBuffer buffer;
    PositionStreamer streamer;
};

TEST_F(PositionStreamerTest, BusyMutexTakesNothingThisFrame)
{
    post(7, at(0, 10.0, 20.0));
    ASSERT_TRUE(streamer.takePosted(buffer));
    post(7, at(100 * ms, 10.002, 20.0));
    {
        std::unique_lock lock(buffer.mutex);
        bool took = true;
        std::thread([&] { took = streamer.takePosted(buffer); }).join();
        EXPECT_FALSE(took);
    }
    EXPECT_EQ(streamer.history(7)->size(), 1u);
    EXPECT_NEAR(written(500 * ms)[7], 10.0, 1e-12);
    ASSERT_TRUE(streamer.takePosted(buffer));
    EXPECT_EQ(streamer.history(7)->size(), 2u);
}

TEST_F(PositionStreamerTest, PostedVectorsKeepTheSixteenNewest)
{
    for (int i = 0; i < 20; ++i)
        post(7, at(i * ms, 10.0, 20.0));
    ASSERT_EQ(buffer.posted[7].size(), 16u);
    EXPECT_EQ(buffer.posted[7].front().time, 4 * ms);
    EXPECT_TRUE(buffer.staging.empty());

    // A second position in one tick replaces the first; an erased object's
    // samples are not taken, and its next post starts afresh.
    buffer.stage(8, at(0, 10.0, 20.0).block);
    buffer.stage(8, at(0, 11.0, 20.0).block);
    buffer.flushStaging(30 * ms);
    ASSERT_EQ(buffer.posted[8].size(), 1u);
    EXPECT_EQ(buffer.posted[8].newest().block.latitude, 11.0);
    buffer.stage(7, at(0, 12.0, 20.0).block);
    buffer.erase(7);
    buffer.flushStaging(40 * ms);
    ASSERT_TRUE(streamer.takePosted(buffer));
    EXPECT_EQ(streamer.history(7), nullptr);
    post(7, at(50 * ms, 13.0, 20.0));
    ASSERT_TRUE(streamer.takePosted(buffer));
    EXPECT_EQ(streamer.history(7)->size(), 1u);
    EXPECT_NEAR(written(500 * ms)[7], 13.0, 1e-12);
}

TEST_F(PositionStreamerTest, GenerationChangeDropsEveryHistory)
{
    post(7, at(0, 10.0, 20.0));
    ASSERT_TRUE(streamer.takePosted(buffer));
    ASSERT_EQ(streamer.historyCount(), 1u);
    buffer.reset(false);
    ASSERT_TRUE(streamer.takePosted(buffer));
    EXPECT_EQ(streamer.historyCount(), 0u);
}

TEST_F(PositionStreamerTest, ObjectRemovedBySimulatorIsNeverWrittenUntilAssignedAgain)
{
    post(7, at(0, 10.0, 20.0));
    post(8, at(0, 12.0, 20.0));
    ASSERT_TRUE(streamer.takePosted(buffer));
    post(7, at(10 * ms, 10.0, 20.0)); // still posted by the engine after the removal
    {
        // The removal never waits for the engine's lock.
        std::unique_lock lock(buffer.mutex);
        auto removal = std::async(std::launch::async, [&] { streamer.objectRemovedBySim(7); });
        const bool done = removal.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
        lock.unlock();
        removal.wait();
        EXPECT_TRUE(done) << "the removal waited for the engine's lock";
    }
    post(7, at(20 * ms, 10.0, 20.0)); // the engine has not seen the event yet
    ASSERT_TRUE(streamer.takePosted(buffer));
    auto w = written(100 * ms);
    EXPECT_FALSE(w.count(7));
    EXPECT_TRUE(w.count(8));

    // The old object's last samples are still posted when the simulator
    // gives the id to a new creation of ours: they are not the new object's.
    post(7, at(30 * ms, 10.0, 20.0));
    streamer.objectAssigned(7);
    ASSERT_TRUE(streamer.takePosted(buffer));
    EXPECT_FALSE(written(100 * ms).count(7));
    post(7, at(40 * ms, 40.0, 20.0));
    ASSERT_TRUE(streamer.takePosted(buffer));
    EXPECT_NEAR(written(100 * ms)[7], 40.0, 1e-12);
}

TEST_F(PositionStreamerTest, NewConnectionDropsEveryHistoryAndPostedSample)
{
    post(7, at(0, 10.0, 20.0));
    ASSERT_TRUE(streamer.takePosted(buffer));
    post(7, at(10 * ms, 10.0, 20.0));
    post(9, at(10 * ms, 11.0, 20.0));
    streamer.newConnection();
    EXPECT_EQ(streamer.historyCount(), 0u);
    ASSERT_TRUE(streamer.takePosted(buffer));
    EXPECT_TRUE(written(100 * ms).empty());
    post(7, at(20 * ms, 30.0, 20.0)); // posted after the new connection: kept
    ASSERT_TRUE(streamer.takePosted(buffer));
    EXPECT_NEAR(written(100 * ms)[7], 30.0, 1e-12);
}

} // namespace
