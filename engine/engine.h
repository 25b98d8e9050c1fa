// The engine's front door: what the main task asks of the live traffic
// engine, on its own schedule. The main task translates the user's requests
// and its timing into these calls; the sequences behind them are the
// engine's. Main task only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Clears and reserves every container at each start.
void gf_initTrafficState();

// The restart reset.
void gf_resetTrafficState();

// Empties the per-aircraft cache of livery choices.
void gf_clearLiveryChoiceCache();

// The 10 ms tick while the simulator runs: the simulator's answers, every
// live aircraft moved, creations and removals paced, the traffic taken in.
void gf_engineTick();
// A tick while the flight does not run: only the simulator's answers.
void gf_engineIdleTick();

// The once-a-second work and what the user asked for since the last second.
struct EngineSecondInputs {
    bool staticQuotaLowered = false;       // the parked limit is enforced at once
    std::optional<int64_t> liveLimit;      // a new live limit: the farthest beyond it go
    bool flushStatic = false;              // every static aircraft goes
    bool userCollisions = false;           // the user flies: live aircraft in its way go
    bool liveVsParkedCollisions = false;   // live aircraft on the ground clear parked ones
    bool block = false;                    // the block filter was set
};
void gf_engineEverySecond(const EngineSecondInputs& inputs);

// The categories the user switched off since the last call.
struct EngineCategoriesOff {
    bool twoProps = false;
    bool light = false;
    bool helicopters = false;
    bool highPerf = false;
};
// Every five seconds: the live (and, for helicopters, the static) aircraft of
// the categories switched off leave, and the first aircraft parked on the
// user's reserved stand, if any, clears it.
void gf_engineEvery5Seconds(const EngineCategoriesOff& off, const std::optional<std::string>& userStand);
// Every 30 seconds: the aircraft matched only above the TCAS level leave once
// they descend below it.
void gf_engineEvery30Seconds();
// Every 61 seconds: a live aircraft on the ground whose parked version stands
// at the airport removes it.
void gf_engineEvery61Seconds();

// The aircraft the window counts.
struct EngineCounts {
    uint64_t liveInSim = 0;    // active live aircraft, parked ones not counted
    uint64_t liveParked = 0;
    uint64_t staticParked = 0;
};
EngineCounts gf_engineCounts();
// Planned static aircraft still waiting to be placed.
size_t gf_plannedStaticCount();

// The shutdown at the current airport: every static aircraft and the live
// aircraft on the ground go, and the callsign list of the ghost removal is
// emptied.
void gf_engineLeaveAirport();
void gf_engineForgetGhosts();
