// Bulk removals of parked and live aircraft on the user's commands, the
// category settings and a change of the park airport (main task). Aircraft
// still waiting to be created lose their queued request, or are removed as
// soon as they are created when the request was already handed on.
#pragma once

#include <cstdint>
#include <string>

#include "liveries/model_database.h" // Category

// Every static aircraft.
void gf_removeAllStatic();
// The live aircraft of a category that the settings no longer include.
void gf_removeLiveAircraftCategory(Category category);
// Static rotorcraft and the rotorcraft of the parking plan (helicopters
// switched off).
void gf_removeStaticAircraftCategory();
// The first aircraft parked on the user's destination stand, a static one
// before a live one; nothing for an empty or unknown stand name.
void gf_clearUserDestGate(const std::string& standName);
// Every static aircraft and the live aircraft on the ground, except those
// taxiing to their stand.
void lf_removeAllStaticAndLiveAtAirport();

// Removes the one live aircraft that matches the block filter.
void gf_removeBlockedAc();

// Removes the active aircraft with the TCAS flag below TCAS_FL x 100 - 1000 ft.
void gf_removeTCASCoverageAcs();
