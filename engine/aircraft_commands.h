// The commands the engine sends to its AI objects (spoilers, flaps, gear,
// throttle and the parked configuration), the one way an aircraft leaves the
// simulator, and small operations that the motion steps share.
#pragma once

#include <cstdint>
#include <deque>

#include "engine/aircraft.h"
#include "simlink/sim_command_mailbox.h"

void gf_setSpoilers(const AircraftBase& aircraft, bool on);
// Index 0..4; the index is stored whether or not a command was sent.
void gf_setFlaps(AircraftBase& aircraft, uint32_t index);
void gf_setGear(const AircraftBase& aircraft, bool down);
// Index 0..4; the index is stored whether or not a command was sent.
void gf_setThrottle(AircraftBase& aircraft, uint32_t index);

// Engines off and parked lights: a static aircraft that became active.
void shutDownParkedAc(AircraftBase& aircraft);

// Takes the aircraft out of the simulator by the path its state calls for.
void removeAircraftFromSim(AircraftBase& aircraft);

// Drops the queued creation requests of the aircraft `key`; true when one
// was dropped.
bool lf_cancelPendingCreation(std::deque<CreateAcCmd>& queue, uint32_t key);

// Before a live record is erased: its flight plan file and its queued work.
void lf_cleanupLiveAircraft(LiveAircraft& aircraft);

// False with fewer than 2 samples; true when every sample after the front is airborne.
bool lf_allNextAirborne(const LiveAircraft& aircraft);
// True when every sample after the front is at least at the level-3 rotation speed.
bool lf_allNextAtRotationSpeed(const LiveAircraft& aircraft);
// Rotation speed in knots, level 1..3.
double gf_rotationSpeedKt(const AircraftBase& aircraft, int level);
// The largest finite vertical speed of the samples; minus infinity when none.
double lf_maxSampleVerticalSpeed(const LiveAircraft& aircraft);
// The planning speed between the front sample and the next, knots.
double lf_rollSpeedKt(const LiveAircraft& aircraft);

// Erases a live record: clean-up, then the last record moves into its place.
void lf_eraseLiveAircraft(LiveAircraft& aircraft);

// Erases the records marked removeFlag or staticRemoveFlag, keeping order.
void gf_compactLiveAircraft();

// The stream has nothing more to fly to: the aircraft leaves the simulator.
void noMoreNextPos(LiveAircraft& aircraft);
