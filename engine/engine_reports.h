// What the engine tells the outside world: the aircraft selector list, the
// object-id list, the removal of the farthest live aircraft and of those too
// close to the user, and the engine's copy of the user-aircraft position.
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
// Removes the active live aircraft farthest from the user when it is more
// than distanceNm + 0.1 NM away (distanceNm < 0: the farthest one). True
// when nothing was removed.
bool lf_isThisTheFurthestLive(double distanceNm);
// The air conflict test with the user aircraft (the user's flight band picks
// the test); nothing is changed.
bool lf_userAirConflict(const LiveAircraft& aircraft, double cosUserLat);
// The aircraft lies ahead of a user on the ground, within 50 ft of its line.
bool lf_userGroundConflict(const LiveAircraft& aircraft);
// A live aircraft in air conflict with the user aircraft (the user's flight
// band picks the test) is removed; true then.
bool checkUserAirCollision(LiveAircraft& aircraft, double cosUserLat);
// A live aircraft ahead of a user on the ground, within 50 ft of its line,
// is removed; true then.
bool checkUserAirGndCollision(LiveAircraft& aircraft);
// The user aircraft's term of the ground collision radius, NM.
double lf_userGroundCollisionTermNm();

// The lines of ObjectIdList.txt.
std::vector<std::string> lf_objectIdListLines();
// Rewrites ObjectIdList.txt.
void lf_writeObjectIdList();
// Object ids of the static aircraft and of the parked live aircraft in the
// simulator (their navigation lights follow NAV_LIGHTS_WHILE_PARKED).
std::vector<uint32_t> gf_parkedObjectIdsInSim();
