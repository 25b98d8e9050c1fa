// AI aircraft creation and removal on the SimClient thread, the answers that
// match creations back to their requests, and the books of the objects Kelo
// owns.
#include <algorithm>
#include <cstring>
#include <vector>

#include <fmt/format.h>

#include "core/gui_senders.h"
#include "core/log.h"
#include "core/value_types.h"
#include "simlink/sim_event.h"
#include "simlink/sim_client_internal.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/sim_link_state.h"
#include "simlink/sim_packet.h"
#include "simlink/simconnect_ids.h"
#include "simlink/simconnect_loader.h"
#include "simlink/user_aircraft.h"
#include "simlink/user_model.h"

AiObjectBooks g_aiBooks;

void AiObjectBooks::clearAll()
{
    pendingCreates.clear();
    packets.clear();
    owned.clear();
    callsigns.clear();
    pendingRemovals.clear();
}

void lf_createAiObject(const CreateAcCmd& cmd)
{
    const SimConnectApi& sc = gf_simConnect();
    const ScHandle handle = g_simHandle.load();
    const uint32_t requestId = cmd.requestId; // given when the command was posted
    g_aiBooks.pendingCreates[requestId] = PendingCreate{cmd.key, cmd.key > 10000, 0, cmd.callsign, cmd.title};
    const ScHresult hr =
        sc.AICreateNonATCAircraft(handle, cmd.title.c_str(), cmd.callsign.c_str(), cmd.initPosition, requestId);
    if (hr < 0) {
        g_aiBooks.pendingCreates.erase(requestId);
        gf_logError(fmt::format("! create failed hr=0x{:08X}, requestId:{}, callsign:{}", static_cast<uint32_t>(hr),
                                requestId, cmd.callsign));
        gf_onSimConnectRequestError();
        return;
    }
    ScDword packetId = 0;
    if (sc.GetLastSentPacketID(handle, &packetId) < 0) {
        g_aiBooks.pendingCreates.erase(requestId);
        gf_logError(fmt::format("! cannot retrieve packetId for create requestId:{}", requestId));
        gf_onSimConnectRequestError();
        return;
    }
    g_aiBooks.pendingCreates[requestId].packetId = packetId;
    g_aiBooks.packets[packetId] = requestId;
}

void lf_onAssignedObjectId(uint32_t requestId, uint32_t objectId)
{
    const auto it = g_aiBooks.pendingCreates.find(requestId);
    if (it == g_aiBooks.pendingCreates.end()) {
        gf_logLine(fmt::format("ASSIGNED_OBJECT_ID: requestId:{} oid:{} (no pending)", requestId,
                               gf_objectIdText(objectId)));
        return;
    }
    const PendingCreate entry = std::move(it->second);
    g_aiBooks.pendingCreates.erase(it);
    g_aiBooks.packets.erase(entry.packetId);
    g_aiBooks.owned.insert(objectId);
    g_aiBooks.callsigns[objectId] = entry.callsign;
    g_positionStreamer.objectAssigned(objectId);

    const SimConnectApi& sc = gf_simConnect();
    const ScHandle handle = g_simHandle.load();
    if (!g_simShutdown.load()) {
        sc.AIReleaseControl(handle, objectId, REQUEST_AI_RELEASE);
        for (uint32_t freeze : {EVENT_FREEZE_LATITUDE_LONGITUDE_SET, EVENT_FREEZE_ALTITUDE_SET,
                                EVENT_FREEZE_ATTITUDE_SET})
            sc.TransmitClientEvent(handle, objectId, freeze, 1, TRAFFIC_APP, 0);
        SimEvent e;
        e.objectId = objectId;
        e.key = entry.key;
        e.kind = entry.live ? SimEventKind::LiveCreated : SimEventKind::StaticCreated;
        e.value1 = static_cast<double>(requestId);
        gf_pushSimEvent(e);
        return;
    }
    g_aiBooks.pendingRemovals.insert(objectId);
    if (sc.AIRemoveObject(handle, objectId, REQUEST_AI_REMOVE) < 0) {
        g_aiBooks.pendingRemovals.erase(objectId);
        gf_logError(fmt::format("SimConnect shutdown remove failed for newly assigned object {}",
                                gf_objectIdText(objectId)));
    } else {
        ++g_aiBooks.removeRequested;
    }
}

void lf_onSimConnectException(const SIMCONNECT_RECV* packet, uint32_t cbData)
{
    if (!gf_checkPacketKind(SIMCONNECT_RECV_ID_EXCEPTION, cbData))
        return;
    const uint32_t code = lf_readAt<uint32_t>(packet, 12);
    const uint32_t sendId = lf_readAt<uint32_t>(packet, 16);
    const uint32_t index = lf_readAt<uint32_t>(packet, 20);
    switch (code) {
    case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID:
        return;
    case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
        throw kvr::UserRelatedException(95, fmt::format("SimConnect Version Mismatch, dwIndex: {}", index));
    case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS:
        gf_showMessage("SimConnect: too many objects (max 1000)", true);
        return;
    case SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE:
        gf_logLine("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE");
        return;
    case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
        gf_logError("SimConnect exception: load flight plan failed");
        return;
    case SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
        gf_logLine("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE");
        return;
    case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED:
        break;
    default:
        gf_logError(fmt::format("SIMCONNECT_EXCEPTION #{}", code));
        return;
    }
    const auto packetIt = g_aiBooks.packets.find(sendId);
    if (packetIt == g_aiBooks.packets.end()) {
        gf_logLine(fmt::format("CREATE_OBJECT_FAILED packetId:{} (no pending request)", sendId));
        return;
    }
    const uint32_t requestId = packetIt->second;
    g_aiBooks.packets.erase(packetIt);
    const auto it = g_aiBooks.pendingCreates.find(requestId);
    if (it == g_aiBooks.pendingCreates.end()) {
        gf_logLine(fmt::format("CREATE_OBJECT_FAILED requestId:{} (no pending create)", requestId));
        return;
    }
    const PendingCreate entry = std::move(it->second);
    g_aiBooks.pendingCreates.erase(it);
    gf_logLine(fmt::format("CREATE_OBJECT_FAILED packetId:{} requestId:{} hexid:{:x} callsign:{}", sendId, requestId,
                           entry.key, entry.callsign));
    SimEvent e;
    e.key = entry.key;
    e.kind = SimEventKind::CreateFailed;
    e.value1 = static_cast<double>(requestId);
    gf_pushSimEvent(e);
}

void lf_onObjectAddRemove(const SIMCONNECT_RECV* packet, uint32_t cbData)
{
    if (!gf_checkPacketKind(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, cbData))
        return;
    if (lf_readAt<uint32_t>(packet, 24) != SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT ||
        lf_readAt<uint32_t>(packet, 16) != EVENT_OBJECT_REMOVED)
        return;
    const uint32_t objectId = lf_readAt<uint32_t>(packet, 20);
    g_aiBooks.owned.erase(objectId);
    g_aiBooks.callsigns.erase(objectId);
    if (g_aiBooks.pendingRemovals.erase(objectId))
        ++g_aiBooks.confirmed;
    // Nothing is ever written to a removed (and perhaps soon reused) id.
    g_positionStreamer.objectRemovedBySim(objectId);
    SimEvent e;
    e.objectId = objectId;
    e.kind = SimEventKind::Removed;
    gf_pushSimEvent(e);
}

void lf_onAiGroundData(const SIMCONNECT_RECV* packet, uint32_t cbData)
{
    if (!gf_checkPacketKind(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, cbData))
        return;
    if (lf_readAt<uint32_t>(packet, kDataRequestIdOffset) != AI_POSITION)
        return;
    if (!gf_checkSimObjectData(AI_POSITION, cbData))
        return;
    const uint32_t objectId = lf_readAt<uint32_t>(packet, kDataObjectIdOffset);
    if (objectId == g_userObjectId.load())
        return;
    const char* atcId = reinterpret_cast<const char*>(packet) + kDataHeaderSize + 24;
    const size_t length = ::strnlen(atcId, 32);
    if (length == 0 || atcId[length - 1] == '*')
        return;
    const double agl = lf_readAt<double>(packet, kDataHeaderSize);
    if (agl > 2500.0)
        return;
    SimEvent e;
    e.objectId = objectId;
    e.key = static_cast<uint32_t>(lf_readAt<int64_t>(packet, kDataHeaderSize + 16));
    e.kind = SimEventKind::GroundData;
    e.value1 = lf_readAt<double>(packet, kDataHeaderSize + 8);
    e.value2 = agl;
    gf_pushSimEvent(e);
}

void lf_removeAiObject(uint32_t objectId)
{
    g_positionStreamer.eraseHistory(objectId);
    if (objectId == g_userObjectId.load()) {
        gf_logError(fmt::format("SimConnect call to remove ac with objectid {}", gf_objectIdText(objectId)));
        return;
    }
    if (gf_simConnect().AIRemoveObject(g_simHandle.load(), objectId, REQUEST_AI_REMOVE) < 0) {
        gf_logError(fmt::format("!SimConnect call to remove AI ac from sim failed, id {}?", gf_objectIdText(objectId)));
        gf_onSimConnectRequestError();
        return;
    }
    g_aiBooks.owned.erase(objectId);
}

void lf_abandonConnectionObjects(ScHandle handle, bool simulatorGone)
{
    std::vector<uint32_t> owned(g_aiBooks.owned.begin(), g_aiBooks.owned.end());
    std::sort(owned.begin(), owned.end());
    std::vector<std::pair<uint32_t, uint32_t>> creations; // request id, key
    for (const auto& [requestId, entry] : g_aiBooks.pendingCreates)
        creations.emplace_back(requestId, entry.key);
    std::sort(creations.begin(), creations.end());

    // A simulator that is still there may keep a closed client's objects:
    // they are asked to go while this connection can still name them.
    if (handle && !simulatorGone) {
        const SimConnectApi& sc = gf_simConnect();
        // A connection that refuses one removal refuses the rest: one line says how many stay.
        for (size_t i = 0; i < owned.size(); ++i) {
            if (owned[i] == g_userObjectId.load() || sc.AIRemoveObject(handle, owned[i], REQUEST_AI_REMOVE) >= 0)
                continue;
            gf_logError(fmt::format("SimConnect could not remove {} objects of the closed connection",
                                    owned.size() - i));
            break;
        }
    }
    for (uint32_t id : owned) {
        SimEvent e;
        e.objectId = id;
        e.key = kWentWithConnection;
        e.kind = SimEventKind::Removed;
        gf_pushSimEvent(e);
    }
    for (const auto& [requestId, key] : creations) {
        SimEvent e;
        e.key = key;
        e.kind = SimEventKind::CreateFailed;
        e.value1 = static_cast<double>(requestId);
        e.value2 = kWentWithConnection;
        gf_pushSimEvent(e);
    }
    if (!owned.empty() || !creations.empty())
        gf_logLine(fmt::format("SimConnect connection closed with {} objects and {} creations pending; "
                               "reported as removed and failed",
                               owned.size(), creations.size()));
    g_aiBooks.clearAll();
    g_positionStreamer.newConnection();
}
