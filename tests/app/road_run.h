#pragma once
// Runs the program's own main task on the stand-in simulator's manual frames:
// the clocks are real until the main loop's first tick, then moved by the
// main task's sleeps only; every `ticksPerFrame` ticks of 10 ms the simulator
// runs one frame and the test's frame hook runs (on the main task's thread,
// so it may read the engine's containers). Also what every run on the road
// needs around it: the App's batches handed to the feed one at a time, and
// the airport file of the simulator's airport.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "airports/package_scan.h"
#include "app/main_task.h"
#include "core/clock.h"
#include "core/layout.h"
#include "feed/traffic_mailbox.h"
#include "feed/traffic_records.h"
#include "simlink/facility_reader.h"
#include "simlink/position_stream.h"
#include "simlink/sim_link_state.h"
#include "standins/rt_app_standin.h"
#include "standins/simconnect/standin_control.h"
#include "tests/app/main_task_fixture.h"

namespace kvr::test {

inline std::atomic<bool> g_roadManual{false};
inline std::atomic<int64_t> g_roadMainNs{0};
inline std::atomic<int64_t> g_roadSteadyNs{0};

inline int64_t roadQpcNs()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<int64_t>(static_cast<long double>(c.QuadPart) * 1e9L / static_cast<long double>(f.QuadPart));
}
inline int64_t roadRealSteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
inline std::atomic<bool> g_roadEnding{false}; // the run has asked the program to stop
inline std::mutex g_roadClockMutex;
inline int64_t g_roadStopRealNs = 0; // real time at which the end was last seen, 0 before
// The manual clock; once the run has asked the program to stop, real time
// passes on it too: no frames come then, and the program's own bounded waits
// (the link's last removals) must still end.
inline int64_t roadSteadyClock()
{
    if (!g_roadManual.load())
        return roadRealSteadyNs();
    const bool stopping = g_roadEnding.load();
    std::lock_guard lock(g_roadClockMutex);
    const int64_t now = roadRealSteadyNs();
    if (g_roadStopRealNs != 0) {
        g_roadSteadyNs += now - g_roadStopRealNs;
        g_roadStopRealNs = stopping ? now : 0;
    } else if (stopping) {
        g_roadStopRealNs = now;
    }
    return g_roadSteadyNs.load();
}

struct RoadRun {
    explicit RoadRun(SimConnectStandin& standin) : sim(standin) {}
    SimConnectStandin& sim;
    uint32_t ticksPerFrame = 1;
    // The clocks stay real and the simulator runs its own frames: for a feed
    // that keeps real time (the web API); `onFrame` then runs at every tick.
    bool realTime = false;
    // Runs once, at the main loop's first tick, after the switch to manual frames.
    std::function<void()> onManual;
    // After each simulator frame, with the seconds since the switch.
    std::function<void(double)> onFrame;
    // Asked at every tick: true ends the run with a stop request.
    std::function<bool(double)> done;
    // The stand-in App answers parked requests in real time: while this says
    // so, the run waits for the answer before the simulated time runs on.
    std::function<bool()> parkedAnswered = [] { return gf_parkedTrafficOf(TrafficSource::rtApp).received.load(); };

    // Asked when the main task ends without the run's stop: true starts it
    // again, as the window does on its restart message.
    std::function<bool()> restartPosted;

    // The simulator's frames: its frame number at the switch and the frames
    // run since; its trace times are frames / framesPerSecond (the rate of its
    // scenario).
    uint64_t frame0 = 0;
    std::atomic<uint64_t> frames{0};
    uint32_t framesPerSecond = 100;
    double simSeconds() const { return static_cast<double>(frame0 + frames.load()) / framesPerSecond; }

    int64_t switchNs = 0;
    int64_t nextFrameNs = 0;
    std::atomic<int> restarts{0};
    // From a restart to the main loop's first tick the main task waits on
    // things that take real time (the link's reconnection, the App): its
    // sleeps take real time too, or the simulated time would race ahead.
    std::atomic<bool> startingAgain{false};
    bool stopRequested = false;
    double seconds() const { return static_cast<double>(g_roadMainNs.load() - switchNs) / 1e9; }

    // While the main task waits on something other than its clock: `seconds`
    // pass at once, the simulator's frames with them.
    void skip(double seconds)
    {
        const auto ns = static_cast<int64_t>(seconds * 1e9);
        const auto frames = static_cast<uint32_t>(ns / (10'000'000 * static_cast<int64_t>(ticksPerFrame)));
        g_roadMainNs += ns;
        g_roadSteadyNs += ns;
        nextFrameNs += ns;
        sim.advanceFrames(frames);
        this->frames += frames;
        sim.waitIdle(2000);
    }

    // Runs the main task until `done` or the wall time is up; true when it ended.
    bool run(std::chrono::seconds wallLimit)
    {
        nextFrameNs = 0;
        gf_setSteadyClockForTest(&roadSteadyClock);
        gf_setMainClock([] { return g_roadManual.load() ? g_roadMainNs.load() : roadQpcNs(); },
                        [&](int64_t ns) {
                            if (!g_roadManual.load()) {
                                std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
                                return;
                            }
                            if (startingAgain.load())
                                std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
                            g_roadMainNs += ns;
                            g_roadSteadyNs += ns;
                            while (g_roadMainNs.load() >= nextFrameNs) {
                                sim.advanceFrames(1);
                                ++frames;
                                // Without a connection nobody takes the packets.
                                sim.waitIdle(g_linkState.load() == LinkState::Running ? 2000 : 20);
                                nextFrameNs += 10'000'000 * static_cast<int64_t>(ticksPerFrame);
                                if (onFrame)
                                    onFrame(seconds());
                                for (int i = 0; i < 2000 && !parkedAnswered() && !g_roadEnding.load(); ++i)
                                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                            }
                        });
        gf_setTickHook([&] {
            startingAgain = false;
            if (realTime) {
                g_roadMainNs = roadQpcNs();
                if (switchNs == 0)
                    switchNs = g_roadMainNs.load();
                if (onFrame)
                    onFrame(seconds());
            } else if (!g_roadManual.load()) {
                sim.load({{"mode", "manual"}});
                frame0 = sim.trace("frame").get<uint64_t>();
                frames = 0;
                g_roadMainNs = roadQpcNs();
                g_roadSteadyNs = roadRealSteadyNs();
                switchNs = nextFrameNs = g_roadMainNs.load();
                g_roadManual = true;
                if (onManual)
                    onManual();
            }
            if (!stopRequested && done(seconds())) {
                stopRequested = true;
                g_roadEnding = true;
                StopRequestPtr none;
                gf_compareExchangeStopRequest(none, std::make_shared<const StopRequest>(StopRequest{1, 0}));
            }
        });
        auto main = std::async(std::launch::async, [] { lf_main(); });
        // Meanwhile this thread, which owns the main window, takes the
        // window's updates as the window does.
        const auto end = std::chrono::steady_clock::now() + wallLimit;
        bool ended = false;
        while (!ended && std::chrono::steady_clock::now() < end) {
            ended = main.wait_for(std::chrono::milliseconds(100)) == std::future_status::ready;
            Gui::instance().drainUpdates();
            if (ended && !stopRequested && restartPosted && restartPosted()) {
                ++restarts;
                startingAgain = true;
                gf_openLog();
                main = std::async(std::launch::async, [] { lf_main(); });
                ended = false;
            }
        }
        if (!ended) {
            // Out of time: the program is asked to stop, so that the run
            // ends (false all the same) rather than waiting for it for ever.
            g_roadEnding = true;
            StopRequestPtr none;
            gf_compareExchangeStopRequest(none, std::make_shared<const StopRequest>(StopRequest{1, 0}));
            while (main.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
                Gui::instance().drainUpdates();
        }
        gf_setTickHook({});
        gf_setMainClock({}, {});
        gf_setSteadyClockForTest(nullptr);
        g_roadManual = false;
        g_roadStopRealNs = 0;
        g_roadEnding = false;
        return ended;
    }
};

// Sends one batch of the App's lines (then "RTTFC_EOT") and waits, at most
// 2 s of real time, until the feed has posted it: the traffic clock shows
// `stamp` (the last line's time, rounded) and the mailbox holds records.
// Nothing is delivered while the flight is not running: then it waits no more.
inline bool sendBatchAndWait(kvr::standin::RtAppStandIn& app, const std::vector<std::string>& lines, uint64_t stamp)
{
    app.sendBatch(lines);
    for (int i = 0; i < 2000 && g_linkState.load() == LinkState::Running; ++i) {
        if (gf_trafficClockInputs().rtAppLastTimestamp.load() == stamp) {
            TrafficMailbox& box = gf_trafficMailbox();
            std::lock_guard lock(box.mutex);
            if (!box.slot.empty())
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// The stands of the simulator's airport `icao` from its facility data, as
// the airport scan reads an add-on airport's. A reader connection left from
// an earlier test's simulator is refused once and closed; the next read opens
// a new one.
inline bool readRoadAirport(const std::string& icao, ScannedAirport& airport, int& helipads)
{
    airport.icao = IcaoCode(icao);
    airport.publisher = "Kelo Tests";
    helipads = 0;
    const bool read = gf_readFacilityStands(icao, icao, "", airport, helipads) ||
                      gf_readFacilityStands(icao, icao, "", airport, helipads);
    gf_closeParkingReader();
    return read;
}

// The airport file that the airport scan writes for an add-on airport, with
// these stands: the park airport loads and stays current, so the feed keeps
// the aircraft on its ground from their first records (without a current
// airport, ground records are not kept).
inline void writeRoadAirportFile(ScannedAirport airport, int helipads)
{
    std::filesystem::create_directories(g_myThirdpartyFolder);
    lf_writeGeneratedAirportFile(airport, helipads);
}

} // namespace kvr::test
