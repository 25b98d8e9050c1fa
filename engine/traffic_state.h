// The engine's state: the live and static aircraft with their indexes, and
// the queues between the engine's steps. Everything here belongs to the main
// task, except the engine clock and the weekday word, which other threads read.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <shared_mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/clock.h"
#include "engine/aircraft.h"
#include "simlink/sim_event.h"
#include "simlink/sim_command_mailbox.h"
#include "stands/week_slot.h" // weekdayHalfHourWord


// One timer of a live aircraft that reached its stand.
enum class ParkedAction : uint32_t {
    engineShutdown = 0,
    fixedLights = 1,    // the fixed parked light set
    settingsLights = 2, // the parked lights the settings ask for
};
struct ParkedTimer {
    uint32_t hexid = 0;
    int32_t due = 0; // engine clock at which it fires
    ParkedAction action = ParkedAction::engineShutdown;
};

// The live and static aircraft, indexed by hexid (static: key) and object id.
// Records are added and erased only through these functions so that the
// indexes stay right; fields are changed in place, except objectId, which
// goes through setObjectId, and a live aircraft's standId, which goes through
// setStandId: the stands' table of stand uses (stands/stand_uses.h) follows
// every live aircraft that is added, erased or takes or gives up a stand.
class AircraftStore {
public:
    std::span<LiveAircraft> live() { return m_live; }
    std::span<StaticAircraft> statics() { return m_statics; }
    size_t liveCount() const { return m_live.size(); }
    size_t staticCount() const { return m_statics.size(); }

    LiveAircraft* findLive(uint32_t hexid);
    LiveAircraft* findLiveByObjectId(uint32_t objectId);
    StaticAircraft* findStatic(uint32_t key);
    StaticAircraft* findStaticByObjectId(uint32_t objectId);

    // Throws std::logic_error when the hexid (static: key) is already held.
    LiveAircraft& addLive(LiveAircraft&& aircraft);
    StaticAircraft& addStatic(StaticAircraft&& aircraft);
    void setObjectId(AircraftBase& aircraft, uint32_t objectId);
    // The live aircraft takes that stand (0 or below: gives its stand up).
    // An aircraft the store does not hold only gets the field.
    void setStandId(LiveAircraft& aircraft, int32_t standId);

    // Erase by moving the last record into the place (order not kept).
    void eraseLiveSwap(const LiveAircraft& aircraft);
    void eraseStaticSwap(const StaticAircraft& aircraft);
    // Erase every record that `marked` selects, keeping the order of the rest;
    // `before` sees each erased record first.
    template <typename Marked, typename Before>
    void compactLive(Marked marked, Before before)
    {
        compact(m_live, marked, [&](LiveAircraft& aircraft) {
            before(aircraft);
            releaseStand(aircraft);
        });
        reindexLive();
    }
    template <typename Marked, typename Before>
    void compactStatics(Marked marked, Before before)
    {
        compact(m_statics, marked, before);
        reindexStatics();
    }

    void clear();
    void reserve(size_t live, size_t statics);
    size_t liveCapacity() const { return m_live.capacity(); }
    size_t staticCapacity() const { return m_statics.capacity(); }
    // Entries of the four indexes together (twice the records when they agree).
    size_t indexEntries() const
    {
        return m_liveByHexid.size() + m_liveHexidByObject.size() + m_staticByKey.size() + m_staticKeyByObject.size();
    }

private:
    template <typename T, typename Marked, typename Before>
    static void compact(std::vector<T>& v, Marked marked, Before before)
    {
        size_t out = 0;
        for (size_t i = 0; i < v.size(); ++i) {
            if (marked(v[i])) {
                before(v[i]);
                continue;
            }
            if (out != i)
                v[out] = std::move(v[i]);
            ++out;
        }
        v.erase(v.begin() + static_cast<std::ptrdiff_t>(out), v.end());
    }
    void reindexLive();
    void reindexStatics();
    static void takeStand(const LiveAircraft& aircraft);
    static void releaseStand(const LiveAircraft& aircraft);

    std::vector<LiveAircraft> m_live;
    std::vector<StaticAircraft> m_statics;
    std::unordered_map<uint32_t, size_t> m_liveByHexid;
    std::unordered_map<uint32_t, uint32_t> m_liveHexidByObject;
    std::unordered_map<uint32_t, size_t> m_staticByKey;
    std::unordered_map<uint32_t, uint32_t> m_staticKeyByObject;
};

// Static aircraft that became active at their stand (the live-versus-parked
// check watches it).
extern std::atomic<uint32_t> staticParkedCount;

// The containers of the engine (main task only).
struct TrafficState {
    AircraftStore aircraft;
    std::vector<SimEvent> processingEvents; // the taken half of the SimEvent queue
    std::vector<SimEvent> delayedCommands;  // kind 0 and 1 events waiting 200 ticks
    std::vector<uint32_t> addingStack;      // hexids waiting for a creation request
    std::deque<uint32_t> removalQueue;      // object ids to remove
    std::deque<CreateAcCmd> liveCreations;
    std::deque<CreateAcCmd> staticCreations;
    std::vector<ParkedTimer> parkedTimers; // sorted: the one due next is last
    std::deque<uint32_t> newLiveHexids;
    std::vector<std::string> ghostCallsigns;
    // Live aircraft removed for the parked limit: hexid -> the stand they
    // stood on; kept off that stand while their records stay parked there.
    std::unordered_map<uint32_t, int32_t> parkedLimitHolds;
    bool staticDirty = false;
    uint32_t staticCounter = 0;
};
TrafficState& gf_trafficState();

// The next free static key: counts on from the last one given out, 1..9999,
// skipping keys that a static aircraft still holds. Throws std::runtime_error
// when all of them are held.
uint32_t gf_nextStaticKey();

// Live aircraft in the simulator (state active); with excludeParked those in
// phase parked are not counted.
size_t gf_countLiveInSim(bool excludeParked);
// The front of the list of newly seen live hexids, taken off the list.
std::optional<uint32_t> gf_takeNewLiveHexid();
LiveAircraft* gf_findLiveAircraft(uint32_t hexid);
bool gf_standOptionsAdopted(const LiveAircraft& aircraft);
void gf_markStandOptionsAdopted(SimReports& aircraft);
// Empties the callsign list of the ghost removal.
void gf_clearGhostCallsigns();

// Removes the aircraft from the queued work: the delayed commands, the adding
// stack, the new-hexid list and the parked timers. `key` is the aircraft key
// (AircraftBase::key).
void gf_purgeQueuedForAircraft(uint32_t key, uint32_t objectId);
// Erases a static record: purge, then the last record moves into its place.
void lf_eraseStaticAircraft(StaticAircraft& aircraft);
void gf_compactStaticAircraft();

// Queues the creation of a static aircraft at its stand (it waits in adding2sim).
void gf_queueStaticCreation(StaticAircraft& aircraft);
