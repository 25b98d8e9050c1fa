// The stand-in simulator's model: connections with their packet queues, the
// user aircraft, AI objects, the ground, installed titles, airports with
// facility data, scripted faults and the trace. One instance, one mutex; the
// client's dispatch procedure always runs outside the mutex.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "simlink/simconnect_api.h"
#include "standins/simconnect/trace_file.h"

namespace kvr::standin {

// The simulator variables the stand-in knows; everything else reads as 0.
enum class Var : std::uint8_t {
    Unknown, Latitude, Longitude, Pitch, Bank, Heading, Altitude, VerticalSpeed, TrueAirspeed,
    IndicatedAltitude, AltAboveGround, GroundAltitude, GroundVelocity, GroundTrack, ZuluTime, ZuluDay,
    ZuluYear, LightStates, LightOnStates, OnGround, AtcId, Title, AtcModel, StaticCg, StaticPitch,
    Spoilers, Throttle1, Throttle2, Count
};

struct Datum {
    std::string name;
    std::string unit;
    SIMCONNECT_DATATYPE type = SIMCONNECT_DATATYPE_FLOAT64;
    Var var = Var::Unknown;
    bool radians = false; // the unit asks for radians; the model keeps degrees
};

struct Definition {
    std::vector<Datum> datums;
    std::uint32_t fixedSize = 0; // bytes of the fixed-size datums
    bool variable = false;       // holds a STRINGV
};

enum class Fn : std::uint8_t {
    Open, Close, CallDispatch, SubscribeToSystemEvent, AddToDataDefinition, MapClientEventToSimEvent,
    AddClientEventToNotificationGroup, SetNotificationGroupPriority, RequestDataOnSimObject,
    RequestDataOnSimObjectType, SetDataOnSimObject, TransmitClientEvent, AICreateNonATCAircraft,
    GetLastSentPacketID, AIReleaseControl, AIRemoveObject, AISetAircraftFlightPlan, AddToFacilityDefinition,
    RequestFacilityData, Count
};
const char* fnName(Fn fn);
std::optional<Fn> fnFromName(const std::string& name);

struct Packet {
    std::vector<std::uint8_t> bytes;
    std::uint32_t size = 0; // what the dispatch reports (less than bytes.size() when truncated)
};

struct PeriodicRequest {
    std::uint32_t requestId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t objectId = 0;
    SIMCONNECT_PERIOD period = SIMCONNECT_PERIOD_NEVER;
    std::uint32_t flags = 0;
    std::uint64_t startFrame = 0;
};

struct PendingFacility {
    std::vector<Packet> packets;
    std::uint64_t releaseAtDispatch = 0;
};

struct Connection {
    std::uint32_t index = 0;
    std::string name;
    std::deque<Packet> queue;
    std::map<std::uint32_t, std::string> systemEvents; // client id -> lower-case event name
    std::map<std::uint32_t, Definition> definitions;
    std::map<std::uint32_t, std::string> clientEvents; // client id -> simulator event name
    std::map<std::uint32_t, std::vector<std::uint32_t>> groups;
    std::map<std::uint32_t, std::uint32_t> groupPriority;
    std::map<std::uint32_t, std::vector<std::string>> facilityDefinitions;
    std::vector<PeriodicRequest> periodic;
    std::vector<PendingFacility> facilityStreams;
    std::uint32_t lastPacketId = 0;
    std::uint64_t dispatchCalls = 0;
    bool quit = false; // the simulator went away: every call but Close fails
};

struct ObjectEvent {
    std::uint64_t frame = 0;
    std::uint32_t objectId = 0;
    std::string name; // simulator event name, or "AIReleaseControl"
    std::uint32_t data = 0;
    std::uint32_t group = 0;
    std::uint32_t flags = 0;
};

struct SimObject {
    std::uint32_t id = 0;
    bool user = false;
    std::uint32_t owner = 0; // connection index; 0 = nobody (user, orphans)
    std::string title;
    std::string tail;
    SIMCONNECT_DATA_INITPOSITION init{};
    std::uint32_t requestId = 0;
    std::uint32_t packetId = 0;
    std::array<double, static_cast<std::size_t>(Var::Count)> v{};
    std::string atcModel;
    bool released = false;
    bool frozenLatLon = false, frozenAltitude = false, frozenAttitude = false;
    std::string flightPlan;
    std::uint64_t createdFrame = 0;
    bool explicitOnGround = false; // the user aircraft's on-ground comes from the scenario
};

struct PendingCreate {
    std::uint32_t connection = 0;
    SimObject object;
    std::uint64_t dueFrame = 0;
};

struct CallRecord {
    std::uint64_t frame = 0;
    Fn fn = Fn::Open;
    std::uint32_t connection = 0;
    ScHresult hr = 0;
    std::uint32_t packetId = 0;
    std::array<std::uint32_t, 6> args{};
    std::uint8_t argCount = 0;
    std::string text; // text arguments, joined by '|'
};

struct PositionRecord {
    std::uint64_t frame = 0;
    std::uint32_t objectId = 0;
    std::uint32_t defineId = 0;
    std::array<double, 8> values{};
    std::uint8_t count = 0;
};

struct ObjectRecord { // every AI object ever created, for the trace
    SimObject object;
    std::optional<std::uint64_t> removedFrame;
    std::string removedBy; // "client", "close", "simulator", "quit"
};

// An append-only record list in large chunks: no copying as it grows, and
// one allocation per many thousand records.
template <typename T>
class TraceLog {
public:
    void push_back(T value)
    {
        if (m_chunks.empty() || m_chunks.back().size() == kChunk) {
            m_chunks.emplace_back();
            m_chunks.back().reserve(kChunk);
        }
        m_chunks.back().push_back(std::move(value));
    }
    void clear() { m_chunks.clear(); }
    template <typename F>
    void forEach(F&& f) const
    {
        for (const auto& chunk : m_chunks)
            for (const T& value : chunk)
                f(value);
    }

private:
    static constexpr std::size_t kChunk = 16384;
    std::vector<std::vector<T>> m_chunks;
};

struct Fault {
    std::uint64_t atCall = 0; // 0 = every call
    ScHresult hr = SC_E_FAIL;
};

struct Truncation {
    std::uint32_t recvId = 0;
    std::uint32_t size = 0;
    std::uint32_t remaining = 0;
};

struct Options {
    std::string simName = "KittyHawk";
    std::array<std::uint32_t, 4> appVersion{11, 0, 282174, 999};
    std::array<std::uint32_t, 4> simConnectVersion{11, 0, 62651, 3};
    bool available = true;
    bool simRunning = true;
    bool realtime = false;
    double frameRate = 30.0;
    std::uint32_t framesPerSecond = 30; // frames per SIMCONNECT_PERIOD_SECOND in manual mode
    std::uint32_t assignDelayFrames = 1;
    std::uint32_t removeDelayFrames = 0;
    bool addedBeforeAssigned = true;
    bool closeRemovesObjects = true;
    bool reuseObjectIds = false; // a new object gets the lowest free id, as the simulator does
    std::uint32_t objectLimit = 1000;
    std::uint32_t firstObjectId = 100;
    std::uint32_t firstPacketId = 1;
    std::uint32_t userObjectId = 1;
    std::uint32_t flightLoadedPacket = SIMCONNECT_RECV_ID_EVENT_FILENAME;
    double defaultGroundFt = 0.0;
    bool mapWindow = true; // in real-time mode
    double mapRangeNm = 3.0;
    bool tracePositions = true;
    bool traceCalls = true;
    // Records of removed objects and the object events, for the trace; a long
    // run turns them off to keep the stand-in's memory flat.
    bool keepHistory = true;
};

class Sim {
public:
    Sim();

    // ---- SimConnect functions ----
    ScHresult open(ScHandle* handle, const char* name);
    ScHresult close(ScHandle handle);
    ScHresult callDispatch(ScHandle handle, DispatchProc proc, void* context);
    ScHresult subscribe(ScHandle h, std::uint32_t eventId, const char* name);
    ScHresult addToDataDefinition(ScHandle h, std::uint32_t defineId, const char* datum, const char* unit,
                                  SIMCONNECT_DATATYPE type, float epsilon, std::uint32_t datumId);
    ScHresult mapClientEvent(ScHandle h, std::uint32_t eventId, const char* name);
    ScHresult addClientEventToGroup(ScHandle h, std::uint32_t groupId, std::uint32_t eventId, std::int32_t maskable);
    ScHresult setGroupPriority(ScHandle h, std::uint32_t groupId, std::uint32_t priority);
    ScHresult requestData(ScHandle h, std::uint32_t requestId, std::uint32_t defineId, std::uint32_t objectId,
                          SIMCONNECT_PERIOD period, std::uint32_t flags, std::uint32_t origin,
                          std::uint32_t interval, std::uint32_t limit);
    ScHresult requestDataByType(ScHandle h, std::uint32_t requestId, std::uint32_t defineId, std::uint32_t radius,
                                SIMCONNECT_SIMOBJECT_TYPE type);
    ScHresult setData(ScHandle h, std::uint32_t defineId, std::uint32_t objectId, std::uint32_t flags,
                      std::uint32_t arrayCount, std::uint32_t unitSize, const void* data);
    ScHresult transmitClientEvent(ScHandle h, std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data,
                                  std::uint32_t groupId, std::uint32_t flags);
    ScHresult createNonAtcAircraft(ScHandle h, const char* title, const char* tail,
                                   const SIMCONNECT_DATA_INITPOSITION& init, std::uint32_t requestId);
    ScHresult getLastSentPacketId(ScHandle h, ScDword* id);
    ScHresult releaseControl(ScHandle h, std::uint32_t objectId, std::uint32_t requestId);
    ScHresult removeObject(ScHandle h, std::uint32_t objectId, std::uint32_t requestId);
    ScHresult setFlightPlan(ScHandle h, std::uint32_t objectId, const char* path, std::uint32_t requestId);
    ScHresult addToFacilityDefinition(ScHandle h, std::uint32_t defineId, const char* field);
    ScHresult requestFacilityData(ScHandle h, std::uint32_t defineId, std::uint32_t requestId, const char* icao,
                                  const char* region);

    // ---- Control interface ----
    void reset();
    bool loadScenario(const nlohmann::json& scenario, std::string& error);
    void advanceFrames(std::uint32_t n);
    bool waitIdle(std::uint32_t timeoutMs);
    void setFault(const std::string& function, std::uint32_t nth, ScHresult hr);
    void truncateNext(std::uint32_t recvId, std::uint32_t size, std::uint32_t count);
    void sendException(std::uint32_t connection, std::uint32_t code, std::uint32_t sendId, std::uint32_t index);
    void setSimRunning(bool running);
    void loadFlight(const std::string& path);
    void quit();
    void setAvailable(bool available);
    bool removeObjectBySimulator(std::uint32_t objectId);
    std::string trace(const std::string& section);
    std::uint64_t frame();
    // Loads the scenario named by KELO_SIM_SCENARIO once, starting real-time
    // mode when it asks for it.
    void loadEnvironmentScenarioOnce();
    void stopRealtime();
    // A copy of the world for drawing.
    struct Snapshot {
        SimObject user;
        std::vector<SimObject> objects;
        nlohmann::json airports;
    };
    Snapshot snapshot();

private:
    using Lock = std::unique_lock<std::mutex>;

    Connection* connectionOf(ScHandle h);
    bool begin(Lock& lock, ScHandle h, Fn fn, Connection*& c, ScHresult& hr);
    ScHresult finish(Connection* c, Fn fn, ScHresult hr, std::initializer_list<std::uint32_t> args,
                     std::string text, bool sendsPacket);
    std::optional<ScHresult> faultFor(Fn fn);
    void queue(Connection& c, Packet packet);
    void queueException(Connection& c, std::uint32_t code, std::uint32_t sendId, std::uint32_t index);
    void queueEvent(Connection& c, std::uint32_t eventId, std::uint32_t data);
    void broadcastAddRemove(const std::string& event, std::uint32_t objectId);
    void queueData(Connection& c, SIMCONNECT_RECV_ID id, std::uint32_t requestId, const SimObject& object,
                   std::uint32_t defineId, const Definition& def, std::uint32_t flags, std::uint32_t entry,
                   std::uint32_t outOf);
    void answerPeriodic(Connection& c, const PeriodicRequest& request);
    SimObject* objectById(std::uint32_t id);
    void removeObjectLocked(std::uint32_t id, const std::string& by);
    void finishCreate(PendingCreate& pending);
    void advanceFrameLocked();
    void applyScenarioLocked(const nlohmann::json& scenario);
    void updateUserPathLocked(double seconds);
    double groundFtAt(double lat, double lon) const;
    double valueOf(const SimObject& o, Var var) const;
    void setValue(SimObject& o, Var var, double value);
    std::string titleOf(const SimObject& o) const;
    const nlohmann::json* titleInfo(const std::string& title) const;
    const nlohmann::json* airportByIcao(const std::string& icao) const;
    void realtimeLoop();
    // The trace file's clock: seconds since start, simulated in manual mode.
    double traceSeconds() const;
    void traceCreate(const SimObject& o);
    void traceRefuse(const std::string& title, const std::string& tail, std::uint32_t requestId,
                     std::uint32_t exception);
    void tracePosition(const SimObject& o);
    void traceRemove(std::uint32_t id, const std::string& by);
    void traceUser();

    std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_dispatching = 0;
    Options m_options;
    std::map<std::uint32_t, Connection> m_connections;
    std::uint32_t m_nextConnection = 1;
    std::uint64_t m_frame = 0;
    std::uint32_t m_nextPacketId = 1;
    std::uint32_t m_nextObjectId = 100;
    SimObject m_user;
    nlohmann::json m_userPath = nlohmann::json::array();
    std::unordered_map<std::uint32_t, SimObject> m_objects;
    std::vector<PendingCreate> m_pendingCreates;
    struct PendingRemoval { std::uint32_t objectId; std::uint64_t dueFrame; };
    std::vector<PendingRemoval> m_pendingRemovals;
    nlohmann::json m_titles = nlohmann::json::array();
    nlohmann::json m_airports = nlohmann::json::array();
    std::array<std::uint64_t, static_cast<std::size_t>(Fn::Count)> m_callCounts{};
    std::array<std::vector<Fault>, static_cast<std::size_t>(Fn::Count)> m_faults;
    std::vector<Truncation> m_truncations;
    TraceLog<CallRecord> m_calls;
    TraceLog<PositionRecord> m_positions;
    std::vector<ObjectEvent> m_events;
    std::vector<ObjectRecord> m_objectRecords;
    std::unordered_map<std::uint32_t, std::size_t> m_objectRecordIndex;
    std::vector<std::string> m_errors;
    bool m_environmentLoaded = false;
    std::thread m_realtime;
    bool m_realtimeStop = false;
    std::condition_variable m_realtimeWake;
    TraceFile m_traceFile;
    std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
};

Sim& sim();

} // namespace kvr::standin
