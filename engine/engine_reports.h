// Lists the engine builds for the window and the files: none hold an
// aircraft yet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The aircraft selector's entries of the active live aircraft.
std::vector<std::string> lf_listActiveAircraft();
// Rewrites ObjectIdList.txt.
void lf_writeObjectIdList();
// Object ids of the static aircraft and of the parked live aircraft in the
// simulator (their navigation lights follow NAV_LIGHTS_WHILE_PARKED).
std::vector<uint32_t> gf_parkedObjectIdsInSim();
