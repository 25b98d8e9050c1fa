// The engine's side of the simulator's reports: the SimEvents taken once per
// tick, the delayed first commands of new objects, and the reactions that
// bring a live aircraft in line with its object.
#pragma once

#include <string>

#include "engine/aircraft.h"
#include "simlink/sim_event.h"

// Takes the queued events, applies them and runs the delayed command list.
void lf_processSimEvents();
// One tick of a delayed entry; true when it is finished.
bool lf_runDelayedCommand(SimEvent& entry);

// A live aircraft's object id arrived; true when the event goes into the
// delayed command list.
bool onLiveAcCreated(LiveAircraft& aircraft, const SimEvent& event);
// The first commands after the object has settled; the state becomes active.
void activateLiveAc(LiveAircraft& aircraft);
// The aircraft stands on the ground.
void hp_handleGroundTraffic(LiveAircraft& aircraft);
// Writes and queues the AI flight plan (MSFS 2020 only).
void lf_sendFlightPlan(LiveAircraft& aircraft);
// Ground altitude from a ground report; `source` may be set to "fallback".
void applySimGroundReport(LiveAircraft& aircraft, const SimEvent& event, std::string& source);
// Touch-down.
void enterLandingRoll(LiveAircraft& aircraft);
// The touch-down message and the roll-out set-up.
void lf_setupLandingRoll(LiveAircraft& aircraft);
