// The engine's copy of the user-aircraft position and its published snapshot.
#pragma once

#include <memory>

#include "simlink/user_aircraft.h"

// Stores the engine's copy of the user position and publishes a copy of it.
void gf_publishUserAcPosition(const UserAcPosition& position);
// The engine's copy (main task).
UserAcPosition gf_engineUserAcPosition();
// The published snapshot; an all-zero record until the first publication.
std::shared_ptr<const UserAcPosition> gf_publishedUserAcPosition();

#include <cstdint>
#include <string>
#include <vector>

// The aircraft selector's entries of the active live aircraft (none yet).
std::vector<std::string> lf_listActiveAircraft();
// Rewrites ObjectIdList.txt.
void lf_writeObjectIdList();
// Object ids of the static aircraft and of the parked live aircraft in the
// simulator (their navigation lights follow NAV_LIGHTS_WHILE_PARKED).
std::vector<uint32_t> gf_parkedObjectIdsInSim();
