// The engine beside the threads that meet it: a feed thread posting batches
// to the traffic mailbox, the simulator link's thread taking the command
// queues and answering each creation with a SimEvent, and a reader of the
// stand snapshot and of the published user position, while the main task
// ticks. The native build runs this under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/per_tick_update.h"
#include "simlink/sim_event.h"
#include "engine/sim_reactions.h"
#include "engine/traffic_state.h"
#include "feed/traffic_mailbox.h"
#include "liveries/livery_memory.h"
#include "liveries/model_database.h"
#include "stands/stand_table.h"
#include "simlink/position_stream.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/user_aircraft.h"
#include "standins/track_generator.h"
#include "tests/simlink/packet_builder.h"
#include "tests/support/track_records.h"

namespace {

std::atomic<int64_t> g_nowNs{1'000'000'000};
int64_t testClock()
{
    return g_nowNs.load();
}

TEST(EngineThreads, FeedSimulatorLinkAndReadersBesideTheMainTask)
{
    gf_setSteadyClockForTest(&testClock);
    auto& db = gf_modelDatabase();
    db.icaoModelCodes.insert("A320");
    db.large.insert(gf_modelCode2Id("A320"));
    gf_initTrafficState();
    gf_resetCommandMailbox();
    gf_simEventQueue().clear();
    engineClock = 0;
    TrafficMailbox& box = gf_trafficMailbox();
    box.reset();
    gf_setTrafficDelivery(true);

    constexpr int kAircraft = 12;
    std::vector<std::vector<kvr::standin::TrackPoint>> tracks;
    for (int i = 0; i < kAircraft; ++i)
        tracks.push_back(kvr::standin::gf_cruiseTrack({52.0 + 0.01 * i, 4.5}, 9000.0 + 100 * i, 250.0, 30 * i, 600.0));
    const double t0 = 1.7e9;
    for (int i = 0; i < kAircraft; ++i)
        lf_rememberLiveryOfHexid(0x480000u + i, "Airbus A320-200 KLM");
    gf_resetUserAircraftState();
    // The user aircraft's position report as the simulator sends it.
    kvr::test::Packet userReport = kvr::test::simObjectData(108, 1, 120);
    userReport.put<double>(40, 52.05).put<double>(48, 4.5).put<double>(88, 3000.0);
    userReport.put<int64_t>(120, 3600).put<int64_t>(128, 1).put<int64_t>(136, 2024);

    lf_onSimObjectData(userReport.data(), userReport.size());

    std::atomic<bool> stop{false};
    std::atomic<uint32_t> created{0};
    std::atomic<size_t> wanted{0}; // batches the main task has reached
    std::atomic<size_t> posted{0};
    // Waits (in real time, at most 20 s) for another thread's progress.
    const auto waitFor = [](const auto& done) {
        for (int i = 0; i < 400'000 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        return done();
    };
    // A batch every 2 s of engine time, as the feed sends them.
    std::thread feed([&] {
        for (size_t k = 0;; ++k) {
            while (!stop && wanted.load() < k)
                std::this_thread::yield();
            if (stop)
                return;
            std::vector<LiveTrafficRecord> batch;
            for (int i = 0; i < kAircraft; ++i) {
                const auto& track = tracks[static_cast<size_t>(i)];
                batch.push_back(kvr::test::trackRecord(track[std::min(2 * k, track.size() - 1)], 0x480000u + i,
                                                       "KLM" + std::to_string(i), t0));
            }
            box.post(batch, TrafficBatchKind::Live, 30, false);
            posted.store(k + 1);
        }
    });
    std::thread simLink([&] {
        uint32_t objectId = 100;
        while (!stop) {
            lf_onSimObjectData(userReport.data(), userReport.size());
            for (const CreateAcCmd& cmd : gf_takeCommandQueues().b) {
                gf_pushSimEvent(SimEvent{objectId++, cmd.key, 0, SimEventKind::LiveCreated,
                                         static_cast<double>(cmd.requestId), 0.0});
                created.fetch_add(1);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::thread reader([&] {
        size_t seen = 0;
        while (!stop) {
            seen += gf_standSnapshot()->size();
            if (const auto position = gf_publishedUserAcPosition())
                seen += position->groundSpeed > 0.0 ? 1 : 0;
            std::this_thread::yield();
        }
        EXPECT_EQ(seen, 0u); // no stands and a user aircraft at rest here
    });

    // Batches play 30 s after they arrive; then one creation per pacing slot,
    // the simulator's answer and 200 ticks to activation.
    const auto tick = [&](int n) {
        for (int i = 0; i < n; ++i) {
            const int32_t clock = engineClock.load();
            if (clock % 200 == 0) {
                wanted.store(static_cast<size_t>(clock / 200));
                EXPECT_TRUE(waitFor([&] { return posted.load() > static_cast<size_t>(clock / 200); }));
            }
            g_nowNs.fetch_add(10'000'000);
            lf_handleAddingStack();
            if (clock % 50 == 0)
                gf_publishStandSnapshot();
        }
    };
    tick(6000);
    EXPECT_TRUE(waitFor([&] { return created.load() >= static_cast<uint32_t>(kAircraft); }));
    tick(400);
    stop = true;
    feed.join();
    simLink.join();
    reader.join();
    lf_processSimEvents();

    size_t active = 0;
    for (LiveAircraft& ac : gf_trafficState().aircraft.live()) {
        if (ac.sim.objectId != 0) {
            EXPECT_EQ(gf_trafficState().aircraft.findLiveByObjectId(ac.sim.objectId), &ac);
            active += ac.sim.simState == SimState::active ? 1 : 0;
        }
    }
    EXPECT_EQ(active, static_cast<size_t>(kAircraft)); // every aircraft created and released

    gf_setTrafficDelivery(false);
    box.reset();
    gf_initTrafficState();
    gf_resetCommandMailbox();
    gf_clearLiveryMemory();
    gf_resetUserAircraftState();
    gf_publishUserAcPosition(UserAcPosition{});
    gf_setSteadyClockForTest(nullptr);
}

} // namespace
