// The SimClient thread: connection and set-up, wrong simulators, the
// simulator quitting, program stop, request errors and new flights.
#include <gtest/gtest.h>

#include <set>

#include "simlink/sim_client_internal.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/simconnect_ids.h"
#include "tests/simlink/sim_client_fixture.h"

using kvr::test::countOf;

namespace {

class SimClientThreadTest : public kvr::test::SimClientTest {
protected:
    // The connections that asked for the user aircraft's report every second.
    std::set<uint32_t> userReportConnections()
    {
        std::set<uint32_t> out;
        for (const auto& c : trace("calls"))
            if (c["fn"] == "SimConnect_RequestDataOnSimObject" && c["args"][0] == USER_AC_ON_GROUND &&
                c["args"][3] == SIMCONNECT_PERIOD_SECOND)
                out.insert(c["connection"].get<uint32_t>());
        return out;
    }
};

TEST_F(SimClientThreadTest, ConnectsToMsfs2020WithEverySetUpCallInOrder)
{
    connect();
    const auto callTrace = trace("calls");
    std::vector<std::pair<std::string, std::string>> setup; // fn, text
    std::vector<uint32_t> subscribed, mapped, grouped, defined;
    for (const auto& c : callTrace) {
        const std::string fn = c["fn"];
        if (fn == "SimConnect_SubscribeToSystemEvent")
            subscribed.push_back(c["args"][0]);
        else if (fn == "SimConnect_AddToDataDefinition")
            defined.push_back(c["args"][0]);
        else if (fn == "SimConnect_MapClientEventToSimEvent")
            mapped.push_back(c["args"][0]);
        else if (fn == "SimConnect_AddClientEventToNotificationGroup") {
            grouped.push_back(c["args"][1]);
            EXPECT_EQ(c["args"][0], TRAFFIC_APP);
            EXPECT_EQ(c["args"][2], 1);
        } else if (fn == "SimConnect_SetNotificationGroupPriority") {
            EXPECT_EQ(c["args"][1], SIMCONNECT_GROUP_PRIORITY_HIGHEST);
        }
    }
    EXPECT_EQ(subscribed, (std::vector<uint32_t>{201, 202, 203, 205, 204}));
    std::vector<uint32_t> expectedDefs;
    for (auto [id, n] : {std::pair{407, 1}, {408, 1}, {409, 1}, {402, 8}, {403, 15}, {405, 2}, {406, 1}, {404, 4},
                         {401, 3}})
        expectedDefs.insert(expectedDefs.end(), n, id);
    EXPECT_EQ(defined, expectedDefs);
    EXPECT_EQ(mapped, (std::vector<uint32_t>{219, 220, 221, 222, 217, 218, 207, 206, 210, 208, 209, 212, 211, 213,
                                             214, 215, 216}));
    EXPECT_EQ(grouped, (std::vector<uint32_t>{207, 206, 210, 208, 209, 212, 211, 213, 217, 218, 219, 221, 222, 214,
                                              215, 216}));
    EXPECT_EQ(countOf(calls(), "SetNotificationGroupPriority"), 1u);
    EXPECT_NE(log().find("MSFS 2020 (11.0.282174.999) connected\n"), std::string::npos);
    EXPECT_EQ(base->ui.last<GuiUpdate::SimStatus>().value().text, "MSFS 2020");
    EXPECT_TRUE(base->ui.last<GuiUpdate::FlightRunning>().value().running);
}

TEST_F(SimClientThreadTest, FailedMappingStillMakesEveryCallAndRetriesAfter100ms)
{
    sim.setFault("SimConnect_MapClientEventToSimEvent", 3, SC_E_FAIL);
    connect();
    const auto names = calls();
    EXPECT_EQ(countOf(names, "Open"), 2u);
    EXPECT_EQ(countOf(names, "Close"), 1u);
    // 16 of 17 mappings of the first attempt succeeded, all 17 of the second.
    EXPECT_EQ(countOf(names, "MapClientEventToSimEvent"), 34u); // one of them failed
    EXPECT_EQ(countOf(names, "AddClientEventToNotificationGroup"), 32u);
    EXPECT_EQ(countOf(names, "AddToDataDefinition"), 72u);
    EXPECT_EQ(countOf(names, "SetNotificationGroupPriority"), 2u);
    const auto callTrace = trace("calls");
    int opens = 0, secondOpenFrame = -1;
    for (const auto& c : callTrace)
        if (c["fn"] == "SimConnect_Open" && ++opens == 2)
            secondOpenFrame = c["frame"];
    EXPECT_EQ(secondOpenFrame, 0); // no frames pass in manual mode: the retry came from the thread's own wait
    const std::string text = log();
    EXPECT_NE(text.find("==> SimConnect setup failed: SimConnect_MapClientEventToSimEvent(l_hsimconnect, civ.first, "
                        "civ.second.c_str()) (hr=0x80004005)\n"),
              std::string::npos);
    EXPECT_EQ(text.find("SimConnect setup failed"), text.rfind("SimConnect setup failed"));
}

TEST_F(SimClientThreadTest, Msfs2024WhileMsfs2020IsSelectedEndsTheThreadOnce)
{
    sim.load({{"simulator", {{"name", "SunRise"}, {"app_version", {12, 1, 282174, 999}}}}});
    start();
    ASSERT_TRUE(waitFor([] { return kvr::test::flushedLog().find("do not match") != std::string::npos; }));
    thread.join();
    EXPECT_NE(log().find("MSFS and Kelo do not match, restarting ...\n"), std::string::npos);
    EXPECT_FALSE(gf_currentStopRequest()); // the window switches and restarts
    EXPECT_EQ(g_linkState.load(), LinkState::NotConnected);
    EXPECT_EQ(countOf(calls(), "Close"), 1u);
}

TEST_F(SimClientThreadTest, AfterASwitchTheThreadWaitsAndRetriesEverySecond)
{
    simChoiceSetByUser.store(true);
    sim.load({{"simulator", {{"name", "SunRise"}}}});
    start();
    ASSERT_TRUE(waitFor([&] { return countOf(calls(), "Open") >= 2; }, 3000));
    const std::string text = log();
    const std::string line = "MSFS 2024 is running, but Kelo is selected; waiting for MSFS 2020 ...\n";
    EXPECT_NE(text.find(line), std::string::npos);
    EXPECT_EQ(text.find(line), text.rfind(line));
    EXPECT_TRUE(simChoiceSetByUser.load()); // kept until the right simulator answers
    sim.load({{"simulator", {{"name", "KittyHawk"}}}});
    ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::Running; }, 3000));
    EXPECT_FALSE(simChoiceSetByUser.load());
}

TEST_F(SimClientThreadTest, UnknownSimulatorShowsError77AndEndsWithoutStopRequest)
{
    sim.load({{"simulator", {{"name", "Microsoft Flight Simulator X"}}}});
    start();
    ASSERT_TRUE(waitFor([&] { return countOf(calls(), "Close") == 1; }));
    thread.join();
    EXPECT_FALSE(gf_currentStopRequest());
    EXPECT_EQ(base->ui.last<GuiUpdate::Error>().value().text,
              "77: 'Microsoft Flight Simulator X' not being MSFS 2020 or MSFS 2024 connects ... ?");
    EXPECT_EQ(g_linkState.load(), LinkState::NotConnected);
}

TEST_F(SimClientThreadTest, ExceptionInAHandlerStillResetsStateAndHandle)
{
    connect();
    sim.sendException(0, SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 0, 7);
    ASSERT_TRUE(waitFor([&] { return countOf(calls(), "Close") == 1; }));
    thread.join();
    EXPECT_EQ(g_linkState.load(), LinkState::NotConnected);
    EXPECT_EQ(g_simHandle.load(), nullptr);
    EXPECT_FALSE(gf_currentStopRequest());
    EXPECT_EQ(base->ui.last<GuiUpdate::Error>().value().text, "95: SimConnect Version Mismatch, dwIndex: 7");
}

TEST_F(SimClientThreadTest, SimulatorQuitReconnectsWithoutRemovals)
{
    connect();
    gf_postDataRequest(DataRequestKind::UserOnGround);
    frames(2);
    ASSERT_EQ(userReportConnections().size(), 1u);
    ASSERT_EQ(createObjects(2).size(), 2u);
    sim.load({{"close_removes_objects", false}});
    sim.quit();
    ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::NotConnected; }));
    // The waiting message is announced again (its blank line first).
    ASSERT_TRUE(waitFor([] {
        const std::string t = kvr::test::flushedLog();
        return t.find("\n \n") != t.rfind("\n \n");
    }));
    EXPECT_EQ(base->ui.lastMessage(), "Waiting for MSFS 2020 ...");
    EXPECT_NE(log().find("SimConnect closed ok\n"), std::string::npos);
    EXPECT_FALSE(base->ui.last<GuiUpdate::FlightRunning>().value().running);
    sim.setAvailable(1);
    ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::Running; }));
    EXPECT_EQ(countOf(calls(), "AIRemoveObject"), 0u);
    EXPECT_FALSE(gf_currentStopRequest());
    // The main loop goes on with the reports of the new connection.
    frames(2);
    EXPECT_EQ(userReportConnections().size(), 2u);
}

TEST_F(SimClientThreadTest, ProgramStopRemovesEveryOwnedObject)
{
    connect();
    const auto ids = createObjects(3);
    ASSERT_EQ(ids.size(), 3u);
    const auto start = std::chrono::steady_clock::now();
    stopThread();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(countOf(calls(), "AIRemoveObject"), 3u);
    EXPECT_NE(log().find("SimConnect shutdown cleanup: initially owned 3, remove requested 3, confirmed 3, pending "
                         "removals 0, pending creates 0\n"),
              std::string::npos);
    for (const auto& o : trace("objects"))
        EXPECT_EQ(o["removed_by"], "client");
    EXPECT_EQ(g_linkState.load(), LinkState::NotConnected);
}

TEST_F(SimClientThreadTest, ObjectAssignedDuringTheShutdownIsRemovedAtOnce)
{
    connect();
    CreateAcCmd cmd;
    cmd.title = "A320";
    cmd.callsign = "LATE1";
    cmd.key = 0x4B1234;
    gf_createSimObject(cmd);
    frames(1); // created; the simulator answers one frame later
    thread.request_stop();
    ASSERT_TRUE(waitFor([] { return g_simShutdown.load(); }));
    sim.advanceFrames(1);
    thread.join();
    for (const auto& e : takeEvents()) // only its removal reaches the engine
        EXPECT_EQ(e.kind, SimEventKind::Removed);
    EXPECT_EQ(countOf(calls(), "AIRemoveObject"), 1u);
    EXPECT_NE(log().find("SimConnect shutdown cleanup: initially owned 0, remove requested 1, confirmed 1, pending "
                         "removals 0, pending creates 0\n"),
              std::string::npos);
}

TEST_F(SimClientThreadTest, RequestErrorStopsTheFrameWorkAndSkipsRemovalAtStop)
{
    connect();
    ASSERT_EQ(createObjects(1).size(), 1u);
    sim.setFault("SimConnect_RequestDataOnSimObjectType", 1, SC_E_FAIL);
    gf_postDataRequest(DataRequestKind::AiInRange);
    gf_setNavLights(100, 1);
    const size_t before = callCount();
    frames(1);
    EXPECT_EQ(g_linkState.load(), LinkState::RequestFailed);
    EXPECT_EQ(countOf(calls(before), "TransmitClientEvent"), 0u);
    auto stop = gf_currentStopRequest();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->code, 6u);
    EXPECT_EQ(stop->arg, 9u);
    EXPECT_NE(log().find("==> SimConnect request ac within range fails\n"), std::string::npos);
    EXPECT_EQ(base->ui.lastMessage(), "SimConnect request error");

    // Sticky: the "Sim" event does not change it, and later posts are dropped.
    sim.setSimRunning(true);
    gf_setNavLights(100, 0);
    frames(1);
    EXPECT_EQ(g_linkState.load(), LinkState::RequestFailed);
    EXPECT_EQ(countOf(calls(before), "TransmitClientEvent"), 0u);
    // No shutdown wait on a failed link, but nothing of Kelo's stays behind
    // even where closing keeps a client's objects.
    sim.load({{"close_removes_objects", false}});
    stopThread();
    EXPECT_EQ(countOf(calls(), "AIRemoveObject"), 1u);
    for (const auto& o : trace("objects"))
        EXPECT_EQ(o["removed_by"], "client");
    EXPECT_EQ(log().find("SimConnect shutdown cleanup"), std::string::npos);
    EXPECT_EQ(g_linkState.load(), LinkState::NotConnected);
}

TEST_F(SimClientThreadTest, LoadedFlightRestartsAfterSixtySeconds)
{
    connect();
    sim.loadFlight("C:\\Flights\\LSZH.FLT");
    ASSERT_TRUE(waitFor([] { return gf_currentStopRequest() != nullptr; }));
    EXPECT_EQ(gf_currentStopRequest()->code, 2u);
    EXPECT_EQ(gf_currentStopRequest()->arg, 60u);
    EXPECT_NE(log().find("==> SimConnect: New file event\n"), std::string::npos);

    // The same event as a plain EVENT packet.
    gf_clearStopRequest();
    sim.load({{"flight_loaded_packet", SIMCONNECT_RECV_ID_EVENT}});
    sim.loadFlight("C:\\Flights\\LSGG.FLT");
    ASSERT_TRUE(waitFor([] { return gf_currentStopRequest() != nullptr; }));
    EXPECT_EQ(gf_currentStopRequest()->arg, 60u);
    EXPECT_NE(log().find("SimConnect: flight loaded event\n"), std::string::npos);
}

TEST_F(SimClientThreadTest, SimEventSwitchesRunningAndStopped)
{
    connect();
    sim.setSimRunning(false);
    ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::Stopped; }));
    EXPECT_FALSE(base->ui.last<GuiUpdate::FlightRunning>().value().running);
    sim.setSimRunning(true);
    ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::Running; }));
}

TEST_F(SimClientThreadTest, FailedDispatchLogsTheDiagnosticAndReconnects)
{
    connect();
    sim.setFault("SimConnect_CallDispatch", 1, SC_E_FAIL);
    ASSERT_TRUE(waitFor([&] { return countOf(calls(), "Open") == 2; }));
    ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::Running; }));
    const std::string text = log();
    EXPECT_NE(text.find("SimConnect dispatch failed; hr=0x80004005 ("), std::string::npos);
    EXPECT_NE(text.find("SimConnect diagnostic: no AI position update recorded\n"), std::string::npos);
}

// A lost connection takes its objects and waiting creations with it: the
// engine hears of each, and the simulator keeps none of them whether or not
// closing a client removes its objects.
class LostConnectionTest : public kvr::test::SimClientTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LostConnectionTest, ReportsEveryObjectAndCreationAndLeavesNothingBehind)
{
    sim.load({{"close_removes_objects", GetParam()}});
    connect();
    const auto ids = createObjects(2);
    ASSERT_EQ(ids.size(), 2u);
    sim.load({{"assign_delay_frames", 1000}}); // the third creation waits for its answer
    gf_createSimObject(CreateAcCmd{.callsign = "WAIT1", .title = "A320", .key = 0x4B7777});
    frames(1);
    ASSERT_EQ(countOf(calls(), "AICreateNonATCAircraft"), 3u);

    sim.setFault("SimConnect_CallDispatch", 1, SC_E_FAIL);
    ASSERT_TRUE(waitFor([&] { return countOf(calls(), "Open") == 2; }));
    ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::Running; }));
    double waitingRequest = 0;
    for (const auto& c : trace("calls"))
        if (c["fn"] == "SimConnect_AICreateNonATCAircraft")
            waitingRequest = c["args"][0].get<double>();
    std::vector<uint32_t> removed;
    std::vector<uint32_t> failedKeys;
    for (const auto& e : takeEvents()) {
        if (e.kind == SimEventKind::Removed) {
            removed.push_back(e.objectId);
            EXPECT_EQ(e.key, kWentWithConnection);
        }
        if (e.kind == SimEventKind::CreateFailed) {
            failedKeys.push_back(e.key);
            EXPECT_EQ(e.value1, waitingRequest);
            EXPECT_EQ(e.value2, kWentWithConnection);
        }
    }
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, ids);
    EXPECT_EQ(failedKeys, std::vector<uint32_t>{0x4B7777});
    for (const auto& o : trace("objects"))
        EXPECT_TRUE(o.contains("removed_frame") && !o["removed_frame"].is_null()) << o.dump();
    EXPECT_NE(log().find("SimConnect connection closed with 2 objects and 1 creations pending; reported as removed "
                         "and failed\n"),
              std::string::npos);

    // The new connection's books start empty: its stop removes only its own.
    sim.load({{"assign_delay_frames", 1}});
    const auto next = createObjects(1);
    ASSERT_EQ(next.size(), 1u);
    stopThread();
    EXPECT_NE(log().find("SimConnect shutdown cleanup: initially owned 1, remove requested 1, confirmed 1"),
              std::string::npos);
    for (const auto& o : trace("objects"))
        EXPECT_FALSE(o["removed_frame"].is_null()) << o.dump();
}

INSTANTIATE_TEST_SUITE_P(CloseRemovesObjects, LostConnectionTest, ::testing::Bool());

TEST_F(SimClientThreadTest, ALostConnectionThatRefusesRemovalsSaysSoOnce)
{
    connect();
    ASSERT_EQ(createObjects(2).size(), 2u);
    sim.setFault("SimConnect_AIRemoveObject", 0, SC_E_FAIL);
    sim.setFault("SimConnect_CallDispatch", 1, SC_E_FAIL);
    ASSERT_TRUE(waitFor([&] { return countOf(calls(), "Open") == 2; }));
    EXPECT_EQ(countOf(calls(), "AIRemoveObject"), 1u);
    const std::string text = log();
    EXPECT_NE(text.find("==> SimConnect could not remove 2 objects of the closed connection\n"), std::string::npos);
    size_t removed = 0;
    for (const auto& e : takeEvents())
        removed += e.kind == SimEventKind::Removed ? 1 : 0;
    EXPECT_EQ(removed, 2u) << "the engine hears of them all the same";
    sim.setFault("SimConnect_AIRemoveObject", 0, 0);
}

} // namespace
