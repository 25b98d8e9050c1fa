#pragma once
// The SimClient thread against the stand-in simulator in manual frame mode.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "simlink/sim_event.h"
#include "simlink/sim_client.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/sim_link_state.h"
#include "tests/simlink/sim_test_support.h"
#include "tests/simlink/standin_fixture.h"

namespace kvr::test {

class SimClientTest : public StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        base = std::make_unique<SimLinkTestBase>("simclient");
        simChoiceSetByUser.store(false);
        gf_resetSimClientState();
        takeEvents();
    }
    void TearDown() override
    {
        stopThread();
        gf_clearSimClientState();
        base.reset();
        StandinTest::TearDown();
    }

    void start() { thread = std::jthread(SimClient); }
    void stopThread()
    {
        if (thread.joinable()) {
            thread.request_stop();
            thread.join();
        }
    }
    // Polls a condition that the thread brings about (bounded).
    static bool waitFor(const std::function<bool()>& done, int ms = 5000)
    {
        for (int i = 0; i < ms; ++i) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }
    void connect()
    {
        start();
        ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::Running; }));
        ASSERT_TRUE(sim.waitIdle(2000));
    }
    void frames(uint32_t n = 1)
    {
        for (uint32_t i = 0; i < n; ++i) {
            sim.advanceFrames(1);
            ASSERT_TRUE(sim.waitIdle(2000));
        }
    }
    // One trace section, read again when it grew between sizing and copying.
    nlohmann::json trace(const char* section)
    {
        for (;;) {
            std::string text(sim.traceFn(section, nullptr, 0), '\0');
            const auto n = sim.traceFn(section, text.data(), static_cast<uint32_t>(text.size() + 1));
            if (n == text.size())
                return nlohmann::json::parse(text);
        }
    }
    // Names of the traced calls, without dispatches, from `from` on.
    std::vector<std::string> calls(size_t from = 0)
    {
        std::vector<std::string> names;
        const auto trace = this->trace("calls");
        for (size_t i = from; i < trace.size(); ++i)
            if (trace[i]["fn"] != "SimConnect_CallDispatch")
                names.push_back(trace[i]["fn"].get<std::string>().substr(11));
        return names;
    }
    size_t callCount() { return trace("calls").size(); }
    static std::vector<SimEvent> takeEvents()
    {
        std::vector<SimEvent> events;
        gf_simEventQueue().swapInto(events);
        return events;
    }
    static std::string log() { return flushedLog(); }

    // Creates `n` AI objects through the mailbox (two frames) and returns
    // the ids reported to the engine.
    std::vector<uint32_t> createObjects(int n, const std::string& title = "A320")
    {
        for (int i = 0; i < n; ++i) {
            CreateAcCmd cmd;
            cmd.initPosition = {47.0 + 0.01 * i, 8.0, 1000.0, 0.0, 0.0, 90.0, 0, 150};
            cmd.callsign = "SWR" + std::to_string(100 + i);
            cmd.title = title;
            cmd.key = 0x4B0000u + static_cast<uint32_t>(i);
            gf_createSimObject(cmd);
        }
        frames(2);
        std::vector<uint32_t> ids;
        for (const auto& e : takeEvents())
            if (e.kind == SimEventKind::LiveCreated)
                ids.push_back(e.objectId);
        return ids;
    }

    std::unique_ptr<SimLinkTestBase> base;
    std::jthread thread;
};

inline size_t countOf(const std::vector<std::string>& v, const std::string& s)
{
    return static_cast<size_t>(std::count(v.begin(), v.end(), s));
}

} // namespace kvr::test
