// The SimClient thread and its dispatch.
#include "simlink/sim_client.h"

#include <chrono>
#include <thread>

#include <windows.h>

#include <mmsystem.h>

#include <fmt/format.h>

#include "airports/park_airports.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "core/value_types.h"
#include "simlink/stand_positions.h"
#include "simlink/sim_client_internal.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/sim_link_state.h"
#include "simlink/sim_packet.h"
#include "simlink/simconnect_ids.h"
#include "simlink/simconnect_loader.h"
#include "simlink/simconnect_packets.h"
#include "simlink/user_aircraft.h"
#include "simlink/user_model.h"

std::atomic<ScHandle> g_simHandle{nullptr};

namespace {

using namespace std::chrono_literals;

const char* lf_selectedName()
{
    return gf_isMSFS2020() ? "MSFS 2020" : "MSFS 2024";
}

const char* lf_otherName()
{
    return gf_isMSFS2020() ? "MSFS 2024" : "MSFS 2020";
}

void lf_flightRunning(bool running)
{
    gf_postGuiUpdate(GuiUpdate::FlightRunning{running});
}

void lf_onNewFlight()
{
    gf_reserveUserStand();
    gf_requestRestartAfterFlightChange();
}

void lf_onEvent(const SIMCONNECT_RECV* packet)
{
    const uint32_t event = lf_readAt<uint32_t>(packet, 16);
    const uint32_t data = lf_readAt<uint32_t>(packet, 20);
    if (event == EVENT_SIM) {
        if (g_linkState.load() != LinkState::RequestFailed) {
            g_linkState.store(data == 1 ? LinkState::Running : LinkState::Stopped);
            lf_flightRunning(data == 1);
        }
    } else if (event == EVENT_FLIGHT_LOADED) {
        gf_logLine("SimConnect: flight loaded event");
        lf_onNewFlight();
    }
}

// One packet; failures are kept in the flags for the thread.
void lf_handlePacket(const SIMCONNECT_RECV* packet, uint32_t size, DispatchFlags& flags)
{
    switch (lf_readAt<uint32_t>(packet, kPacketIdOffset)) {
    case SIMCONNECT_RECV_ID_EXCEPTION:
        lf_onSimConnectException(packet, size);
        break;
    case SIMCONNECT_RECV_ID_OPEN:
        try {
            lf_onSimConnectOpen(packet, size);
            simChoiceSetByUser.store(false);
        } catch (const kvr::UserRelatedException& e) {
            if (std::string_view(e.what()).starts_with("2024")) {
                flags.quit = flags.mismatch = true;
                return;
            }
            throw;
        }
        break;
    case SIMCONNECT_RECV_ID_QUIT:
        if (g_linkState.load() != LinkState::RequestFailed) {
            g_linkState.store(LinkState::NotConnected);
            lf_flightRunning(false);
        }
        flags.quit = true;
        flags.simulatorGone = true;
        break;
    case SIMCONNECT_RECV_ID_EVENT:
        lf_onEvent(packet);
        break;
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
        lf_onObjectAddRemove(packet, size);
        break;
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
        gf_logError("SimConnect: New file event");
        lf_onNewFlight();
        break;
    case SIMCONNECT_RECV_ID_EVENT_FRAME:
        if (g_simHandle.load() && !g_simShutdown.load()) {
            lf_sendAiPositions();
            lf_drainCommandMailbox();
        }
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        lf_onSimObjectData(packet, size);
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
        lf_onAiGroundData(packet, size);
        break;
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID:
        if (gf_checkPacketKind(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, size))
            lf_onAssignedObjectId(lf_readAt<uint32_t>(packet, 12), lf_readAt<uint32_t>(packet, 16));
        break;
    case SIMCONNECT_RECV_ID_CLIENT_DATA:
    case SIMCONNECT_RECV_ID_EVENT_EX1:
        break;
    default:
        gf_logLine(fmt::format("! Unknown Dispatch dwID {}", lf_readAt<uint32_t>(packet, kPacketIdOffset)));
        break;
    }
}

// Sleeps in steps of at most 10 ms while the thread is to go on.
void lf_sleep(std::chrono::milliseconds total, const std::stop_token& stopToken)
{
    const auto end = std::chrono::steady_clock::now() + total;
    while (!stopToken.stop_requested() && gf_keepRunning()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, 10ms));
    }
}

// Every way out of the thread: the state and handle are reset and the
// connection is closed, whatever happened before.
struct ThreadEnd {
    ScHandle& handle;
    ~ThreadEnd()
    {
        try {
            gf_reserveUserStand();
        } catch (...) {
        }
        try {
            // A failure left objects on the books: they go with the connection.
            if (!g_aiBooks.owned.empty() || !g_aiBooks.pendingCreates.empty())
                lf_abandonConnectionObjects(handle, false);
        } catch (...) {
        }
        g_linkState.store(LinkState::NotConnected);
        g_simHandle.store(nullptr);
        try {
            gf_closeSimConnect(handle);
        } catch (...) {
        }
    }
};

// The timer resolution of 1 ms while connected.
struct TimerPeriod {
    bool active = timeBeginPeriod(1) == TIMERR_NOERROR;
    ~TimerPeriod() { end(); }
    void end()
    {
        if (active)
            timeEndPeriod(1);
        active = false;
    }
};

void lf_rethrowFailure(DispatchFlags& flags)
{
    if (flags.failure)
        std::rethrow_exception(std::exchange(flags.failure, nullptr));
}

void lf_connectedLoop(ScHandle& handle, const std::stop_token& stopToken, bool& waitingAnnounced,
                      bool& mismatchAnnounced, bool& end)
{
    TimerPeriod timer;
    DispatchFlags flags;
    const SimConnectApi& sc = gf_simConnect();
    while (!stopToken.stop_requested() && !flags.quit) {
        const ScHresult hr = sc.CallDispatch(handle, lf_dispatchSimConnect, &flags);
        lf_rethrowFailure(flags);
        if (hr < 0) {
            gf_logLine(fmt::format("SimConnect dispatch failed; hr=0x{:08X} ({}); reconnecting ...",
                                   static_cast<uint32_t>(hr), gf_hresultText(hr)));
            gf_logPositionDiagnostic();
            flags.quit = true;
            break;
        }
        std::this_thread::sleep_for(1ms);
    }
    if (stopToken.stop_requested() || !gf_keepRunning()) {
        if (!flags.quit && g_linkState.load() != LinkState::RequestFailed) {
            lf_shutdownSimObjects(handle, flags);
            lf_rethrowFailure(flags);
        } else {
            lf_abandonConnectionObjects(handle, flags.simulatorGone);
        }
        end = true;
        return;
    }
    lf_abandonConnectionObjects(handle, flags.simulatorGone);
    g_linkState.store(LinkState::NotConnected);
    lf_flightRunning(false);
    g_simHandle.store(nullptr);
    gf_closeSimConnect(handle);
    if (!flags.mismatch) {
        waitingAnnounced = false;
        return;
    }
    if (!simChoiceSetByUser.load()) {
        gf_logLine(fmt::format("MSFS and {} do not match, restarting ...", "Kelo"));
        gf_flushLog();
        gf_postSwitchSim();
        end = true;
        return;
    }
    if (!mismatchAnnounced) {
        gf_logLine(fmt::format("{} is running, but {} is selected; waiting for {} ...", lf_otherName(), "Kelo",
                               lf_selectedName()));
        gf_showMessage(fmt::format("{} is running; waiting for {} ...", lf_otherName(), lf_selectedName()), true);
        gf_flushLog();
        mismatchAnnounced = true;
    }
    timer.end();
    lf_sleep(1000ms, stopToken);
}

void lf_runThread(const std::stop_token& stopToken, ScHandle& handle)
{
    bool waitingAnnounced = false;
    bool mismatchAnnounced = false;
    std::string loadErrorShown;
    const SimConnectApi& sc = gf_simConnect();
    for (;;) {
        if (!gf_keepRunning() || stopToken.stop_requested())
            return;
        if (!waitingAnnounced) {
            gf_logLine(" ");
            gf_showMessage(fmt::format("Waiting for MSFS 20{} ...", gf_isMSFS2020() ? "20" : "24"), true);
            waitingAnnounced = true;
            gf_flushLog();
        }
        gf_closeSimConnect(handle);
        const bool loaded = gf_loadSimConnect();
        if (!loaded && gf_simConnectLoadError() != loadErrorShown) {
            // The loader logged it; the window shows it once per text.
            loadErrorShown = gf_simConnectLoadError();
            gf_showMessage(loadErrorShown, false);
        }
        if (!loaded || sc.Open(&handle, "Kelo", nullptr, 0, nullptr, 0) < 0) {
            handle = nullptr;
            lf_sleep(100ms, stopToken);
            continue;
        }
        g_simHandle.store(handle);
        g_aiBooks.clearAll();
        g_positionStreamer.newConnection();
        g_lastSentPosition = LastSentPosition{};
        g_simShutdown.store(false);
        if (!gf_setupSimConnect(handle)) {
            g_simHandle.store(nullptr);
            g_linkState.store(LinkState::NotConnected);
            gf_closeSimConnect(handle);
            lf_sleep(100ms, stopToken);
            continue;
        }
        // The main loop runs on the user aircraft's reports every second.
        if (g_userReportsRequested.load())
            gf_postDataRequest(DataRequestKind::UserOnGround);
        bool end = false;
        lf_connectedLoop(handle, stopToken, waitingAnnounced, mismatchAnnounced, end);
        if (end)
            return;
    }
}

} // namespace

void lf_dispatchSimConnect(SIMCONNECT_RECV* packet, ScDword cbData, void* context)
{
    if (!packet || !context)
        return;
    auto& flags = *static_cast<DispatchFlags*>(context);
    // After a failure or the wrong simulator's OPEN the connection is
    // dropped: the packets that came with it (the "Sim" state among them)
    // must not make the link look connected.
    if (flags.failure || flags.mismatch)
        return;
    try {
        const auto size = gf_checkReceivedPacket(packet, cbData);
        if (!size)
            return;
        lf_handlePacket(packet, *size, flags);
    } catch (...) {
        flags.failure = std::current_exception();
        flags.quit = true;
    }
}

void SimClient(std::stop_token stopToken)
{
    ScHandle handle = nullptr;
    ThreadEnd end{handle};
    try {
        lf_runThread(stopToken, handle);
    } catch (const kvr::UserRelatedException& e) {
        const std::string text = e.what() ? e.what() : "Unknown exception";
        if (text.starts_with("2024")) {
            gf_logLine(fmt::format("MSFS and {} do not match", "Kelo"));
            g_linkState.store(LinkState::NotConnected);
            gf_simulatorLost();
            return;
        }
        gf_showError(text);
        if (text.starts_with("791")) {
            lf_sleep(10s, stopToken);
            g_linkState.store(LinkState::NotConnected);
            gf_simulatorLost();
        }
    } catch (const std::exception& e) {
        gf_showError(e.what());
        g_linkState.store(LinkState::NotConnected);
        gf_simulatorLost();
    } catch (...) {
        gf_showError(fmt::format("Exception in {}", "SimClient"));
        g_linkState.store(LinkState::NotConnected);
        gf_simulatorLost();
    }
}

void gf_closeSimConnect(ScHandle& handle)
{
    if (!handle)
        return;
    if (gf_simConnect().Close(handle) >= 0)
        gf_logLine("SimConnect closed ok");
    else
        gf_logError("Closing SimConnect failed?!");
    handle = nullptr;
}

void gf_reserveUserStand()
{
    const UserAcPosition pos = gf_getUserAcPosition();
    if (!userOnGround.load() || !(pos.groundSpeed <= 2.0))
        return;
    const std::string stand = gf_findStandAtPosition({pos.latitude, pos.longitude});
    if (stand.empty())
        return;
    if (auto airport = gf_currentParkAirport())
        gf_setCurrentReservedStand(airport->icao, stand);
}

void lf_shutdownSimObjects(ScHandle handle, DispatchFlags& flags)
{
    if (!handle)
        return;
    g_simShutdown.store(true);
    g_aiBooks.pendingRemovals.clear();
    g_aiBooks.removeRequested = 0;
    g_aiBooks.confirmed = 0;
    {
        std::lock_guard lock(g_simCommandMailbox.mutex);
        gf_clearCommandMailbox(g_simCommandMailbox.queues);
    }
    g_positionBuffer.clearPosted();

    const SimConnectApi& sc = gf_simConnect();
    const std::vector<uint32_t> owned(g_aiBooks.owned.begin(), g_aiBooks.owned.end());
    for (uint32_t id : owned) {
        g_aiBooks.pendingRemovals.insert(id);
        if (sc.AIRemoveObject(handle, id, REQUEST_AI_REMOVE) < 0) {
            g_aiBooks.pendingRemovals.erase(id);
            gf_logError(fmt::format("SimConnect shutdown remove failed for object {}", gf_objectIdText(id)));
        } else {
            ++g_aiBooks.removeRequested;
        }
    }
    const int64_t deadline = gf_steadyNowNs() + 2'000'000'000;
    while ((!g_aiBooks.pendingRemovals.empty() || !g_aiBooks.pendingCreates.empty()) && !flags.quit &&
           gf_steadyNowNs() < deadline) {
        const ScHresult hr = sc.CallDispatch(handle, lf_dispatchSimConnect, &flags);
        if (flags.failure)
            break;
        if (hr < 0) {
            gf_logLine(fmt::format("SimConnect shutdown dispatch failed; hr=0x{:08X} ({})", static_cast<uint32_t>(hr),
                                   gf_hresultText(hr)));
            gf_logPositionDiagnostic();
            break;
        }
        std::this_thread::sleep_for(1ms);
    }
    gf_logLine(fmt::format("SimConnect shutdown cleanup: initially owned {}, remove requested {}, confirmed {}, "
                           "pending removals {}, pending creates {}",
                           owned.size(), g_aiBooks.removeRequested, g_aiBooks.confirmed,
                           g_aiBooks.pendingRemovals.size(), g_aiBooks.pendingCreates.size()));
    {
        std::lock_guard lock(g_simCommandMailbox.mutex);
        gf_clearCommandMailbox(g_simCommandMailbox.queues);
    }
    g_aiBooks.owned.clear();
    g_aiBooks.pendingRemovals.clear();
    g_aiBooks.pendingCreates.clear();
    g_aiBooks.packets.clear();
}

void gf_resetSimClientState()
{
    g_positionBuffer.reset(true);
    gf_resetCommandMailbox();
    g_userReportsRequested.store(false);
    g_linkState.store(LinkState::NotConnected);
}

void gf_clearSimClientState()
{
    g_positionBuffer.reset(false);
    {
        std::lock_guard lock(g_simCommandMailbox.mutex);
        gf_clearCommandMailbox(g_simCommandMailbox.queues);
    }
    g_aiBooks.pendingCreates.clear();
    g_aiBooks.packets.clear();
    g_aiBooks.callsigns.clear();
    g_positionStreamer.clear();
    g_lastSentPosition = LastSentPosition{};
    g_simHandle.store(nullptr);
    gf_setUserAcTitle("");
    gf_resetUserAircraftState(); // also the object id (2) and the zeroed snapshot
    g_linkState.store(LinkState::NotConnected);
}
