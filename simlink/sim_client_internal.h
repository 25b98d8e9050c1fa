// State of the main SimConnect connection shared by the files of the
// simulator link. Everything here is touched on the SimClient thread only,
// except where a comment says otherwise.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "simlink/position_stream.h"
#include "simlink/simconnect_api.h"

// The connection's flags, passed to the dispatch as its context.
struct DispatchFlags {
    bool quit = false;
    bool mismatch = false;
    bool simulatorGone = false; // QUIT arrived: the simulator took every object with it
    // A failure inside a handler: kept here (it never crosses SimConnect's
    // own frames) and raised by the thread after the dispatch returned.
    std::exception_ptr failure;
};

// The published connection handle; null while not connected (any thread reads).
extern std::atomic<ScHandle> g_simHandle;

// The user aircraft's report every second was asked for in this run of the
// main task: a new connection asks for it again, as the simulator forgets the
// requests of a closed one.
extern std::atomic<bool> g_userReportsRequested;

struct PendingCreate {
    uint32_t key = 0;
    bool live = false;
    uint32_t packetId = 0;
    std::string callsign;
    std::string title;
};

// The books of the AI objects of one connection.
struct AiObjectBooks {
    std::unordered_map<uint32_t, PendingCreate> pendingCreates; // by creation request id
    std::unordered_map<uint32_t, uint32_t> packets;              // packet id -> request id
    std::unordered_set<uint32_t> owned;
    std::unordered_map<uint32_t, std::string> callsigns; // object id -> callsign
    std::unordered_set<uint32_t> pendingRemovals;
    uint64_t removeRequested = 0;
    uint64_t confirmed = 0;

    void clearAll();
};
extern AiObjectBooks g_aiBooks;

// The next creation request id (10000 at process start, never reset), taken
// when a creation is posted.
extern std::atomic<uint32_t> g_nextCreateRequestId;

// The histories of the AI positions.
extern PositionStreamer g_positionStreamer;

struct LastSentPosition {
    bool valid = false;
    uint32_t objectId = 0;
    PositionBlock block;
    int32_t result = 0;
};
extern LastSentPosition g_lastSentPosition;

// ---- Handlers and steps ----

void lf_dispatchSimConnect(SIMCONNECT_RECV* packet, ScDword cbData, void* context);
void lf_onSimConnectOpen(const SIMCONNECT_RECV* packet, uint32_t cbData);
bool lf_checkSetupCall(ScHresult hr, const char* callText);

void lf_createAiObject(const struct CreateAcCmd& cmd);
void lf_removeAiObject(uint32_t objectId);
void lf_onAssignedObjectId(uint32_t requestId, uint32_t objectId);
void lf_onSimConnectException(const SIMCONNECT_RECV* packet, uint32_t cbData);
void lf_onObjectAddRemove(const SIMCONNECT_RECV* packet, uint32_t cbData);
void lf_onAiGroundData(const SIMCONNECT_RECV* packet, uint32_t cbData);

void lf_sendAiPositions();
void lf_drainCommandMailbox();
void lf_shutdownSimObjects(ScHandle handle, DispatchFlags& flags);
// The connection ends without the shutdown removal (lost, replaced, or a stop
// after a failure): unless the simulator is gone, its objects are asked to go
// on this connection; the engine gets a removal for every object it owned and
// a failure for every creation still waiting; the books and every position
// history are emptied.
void lf_abandonConnectionObjects(ScHandle handle, bool simulatorGone);
