// The commands that the traffic engine queues for the simulator: six queues
// under one mutex, emptied by the SimClient thread on every simulator frame
// in the order data requests, client events, flight plans, creations,
// removals, spoiler/thrust settings.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "simlink/simconnect_api.h"

// Queue A: one client event for one object.
struct SimCommand {
    uint32_t objectId = 0;
    uint32_t eventId = 0; // client event id 206..222
    uint32_t value = 0;   // the event's data
};

// Queue B: one AI aircraft to create.
struct CreateAcCmd {
    SIMCONNECT_DATA_INITPOSITION initPosition{};
    std::string callsign; // sent as the tail number
    std::string title;    // the simulator's aircraft container title
    uint32_t key = 0;     // live hexid when above 10000, else the static aircraft's id
    uint32_t requestId = 0; // given when posted; the simulator's answer names it
};

enum class DataRequestKind : uint8_t {
    AiInRange = 0,
    UserTitleAndModel = 1,
    UserOnGround = 2,
    UserPosition = 3,
    StaticCgAndPitch = 4,
};

// Queue D.
struct DataRequestCmd {
    DataRequestKind kind = DataRequestKind::AiInRange;
    uint32_t objectId = 0; // kind 4 only
};

// Queue E.
struct SpoilerThrustCmd {
    uint32_t objectId = 0;
    uint8_t on = 0;
    uint8_t reverse = 0;
};

// Queue F.
struct FlightPlanCmd {
    uint32_t objectId = 0;
    std::wstring path; // the .pln file
};

// The seven light values of gf_setLights, in the order they are sent.
struct LightStates {
    uint32_t nav = 0;
    uint32_t beacon = 0;
    uint32_t landing = 0;
    uint32_t taxi = 0;
    uint32_t strobes = 0;
    uint32_t logo = 0;
    uint32_t cabin = 0;
};

// The six queues by their letters; a frame runs them in the order d, a, f,
// b, c, e.
struct SimCommandQueues {
    std::vector<SimCommand> a;       // client events
    std::vector<CreateAcCmd> b;      // creations
    std::vector<uint32_t> c;         // removals (object ids)
    std::vector<DataRequestCmd> d;   // data requests
    std::vector<SpoilerThrustCmd> e; // spoiler and thrust settings
    std::vector<FlightPlanCmd> f;    // flight plans
};

struct SimCommandMailbox {
    std::mutex mutex; // the mailbox mutex
    SimCommandQueues queues;
};

// The process's one mailbox.
extern SimCommandMailbox g_simCommandMailbox;

// Client event ids (mapped to the simulator's events at set-up).
struct SimEventId {
    static constexpr uint32_t NAV_LIGHTS_SET = 207;
    static constexpr uint32_t BEACON_LIGHTS_SET = 206;
    static constexpr uint32_t TAXI_LIGHTS_SET = 208;
    static constexpr uint32_t STROBES_SET = 209;
    static constexpr uint32_t LANDING_LIGHTS_SET = 210;
    static constexpr uint32_t CABIN_LIGHTS_SET = 211;
    static constexpr uint32_t LOGO_LIGHTS_SET = 212;
    static constexpr uint32_t ALL_LIGHTS_TOGGLE = 213;
    static constexpr uint32_t FREEZE_LATITUDE_LONGITUDE_SET = 214;
    static constexpr uint32_t FREEZE_ALTITUDE_SET = 215;
    static constexpr uint32_t FREEZE_ATTITUDE_SET = 216;
    static constexpr uint32_t FLAPS_SET = 217;
    static constexpr uint32_t SPOILERS_SET = 218;
    static constexpr uint32_t GEAR_SET = 219;
    static constexpr uint32_t ENGINE_AUTO_START = 220;
    static constexpr uint32_t ENGINE_AUTO_SHUTDOWN = 221;
    static constexpr uint32_t THROTTLE_SET = 222;
};

// ---- Posting (any thread; each holds the mailbox mutex for the whole call) ----

// Gives the command the next creation request id (in posting order) and
// returns it: the engine matches the simulator's answer to it.
uint32_t gf_createSimObject(const CreateAcCmd& cmd);
// Forgets the object's staged and posted positions first.
void gf_removeSimObject(uint32_t objectId);
struct UserAcPosition;
// Queues a user position request and returns the current snapshot.
UserAcPosition gf_requestUserAcPosition();
void gf_engineStart(uint32_t objectId);
void gf_engineShutdown(uint32_t objectId);
void gf_setLights(uint32_t objectId, const LightStates& lights);
void gf_setNavLights(uint32_t objectId, uint32_t value);
void gf_setCabinLights(uint32_t objectId, uint32_t value);
void gf_setSpoilersThrust(uint32_t objectId, bool on, bool reverse);
void gf_postSimCommand(const SimCommand& cmd);
void gf_postDataRequest(DataRequestKind kind, uint32_t objectId = 0);
void gf_postFlightPlan(uint32_t objectId, std::wstring path);

// Empties the six queues, keeping their capacity. The caller holds the mutex.
void gf_clearCommandMailbox(SimCommandQueues& queues);
// Reserves the normal capacities and empties the queues (takes the mutex).
void gf_resetCommandMailbox();
// Moves the six queues out under the mutex; the mailbox is left empty.
SimCommandQueues gf_takeCommandQueues();
