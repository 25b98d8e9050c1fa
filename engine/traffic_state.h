// Engine state that the feed and the main task share.
#pragma once

#include <atomic>
#include <cstdint>
#include <shared_mutex>

// The engine clock in units of 10 ms, advanced by the main task.
extern std::atomic<int32_t> engineClock;

// The weekday (low 32 bits) and half-hour slot (high 32 bits) of now, stored
// by the main loop for the engine and the parking code; 0 after a reset.
extern std::atomic<int64_t> weekdayHalfHourWord;

// The reader/writer lock over the engine state and CurrentAirport.
extern std::shared_mutex engineLock;

#include <cstddef>
#include <optional>

struct LiveAircraft;

// Clears and reserves every container at each start.
void gf_initTrafficState();
// The restart phase "traffic state".
void gf_resetTrafficState();
// Live aircraft in the simulator (sim state 2); with excludeParked those in
// flight phase 9 are not counted.
size_t gf_countLiveInSim(bool excludeParked);
// The front of the list of newly seen live hexids, taken off the list.
std::optional<uint32_t> gf_takeNewLiveHexid();
LiveAircraft* gf_findLiveAircraft(uint32_t hexid);
bool gf_standOptionsAdopted(const LiveAircraft& aircraft);
void gf_markStandOptionsAdopted(LiveAircraft& aircraft);
// Empties the per-aircraft cache of livery choices.
void gf_clearLiveryChoiceCache();
// Empties the callsign list of the ghost removal.
void gf_clearGhostCallsigns();
// Removes the live aircraft that match the block filter.
void gf_removeBlockedAc();
