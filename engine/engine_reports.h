// What the engine tells the outside world: the aircraft selector list, the
// object-id list and the removal of the farthest live aircraft.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/value_types.h"
#include "simlink/user_aircraft.h"

struct AircraftBase;
struct LiveAircraft;

// The packed ICAO code of the airport at a point: the current airport within
// 5 NM; else, with no fallback (0), the nearest database airport within 5 NM;
// else the fallback.
uint32_t lf_airportNear(const LatLon& position, uint32_t fallbackCode);

// The aircraft selector's entries of the active live aircraft, sorted.
std::vector<std::string> lf_listActiveAircraft();
// The active live aircraft farthest from the user when it is more than
// distanceNm + 0.1 NM away (distanceNm < 0: the farthest one); nullptr when
// none is. Changes nothing.
LiveAircraft* gf_farthestActiveLive(double distanceNm);
// Removes the aircraft gf_farthestActiveLive finds. True when nothing was
// removed.
bool lf_isThisTheFurthestLive(double distanceNm);

// The lines of ObjectIdList.txt.
std::vector<std::string> lf_objectIdListLines();
// Rewrites ObjectIdList.txt.
void lf_writeObjectIdList();
// Object ids of the static aircraft and of the parked live aircraft in the
// simulator (their navigation lights follow NAV_LIGHTS_WHILE_PARKED).
std::vector<uint32_t> gf_parkedObjectIdsInSim();
