// Live aircraft at the stands of the current airport: the stand a live
// aircraft takes, the competition for it, and ghosts (a second copy of an
// aircraft under its callsign with a trailing '_'). Main task only.
#pragma once

#include <cstdint>

#include "parking/stand.h"

struct LiveAircraft;

// The aircraft takes the stand: its position, heading and id.
void assignStand(LiveAircraft& aircraft, const Stand& stand);
// No other live aircraft parks, parks at or leaves the stand.
bool lf_checkStandIsNotUsedByOtherLiveAircraftSub(const LiveAircraft& aircraft, const Stand& stand);
// Reserves the stand for the live aircraft; false when it is taken.
bool lf_canReserveStandForLive(LiveAircraft& aircraft, const Stand& stand);
// The callsign ends with '_' and a live aircraft flies under it without.
bool lf_liveExistsForUnderscoreCallsign(const LiveAircraft& aircraft);
// Removes the live aircraft under the callsign with a trailing '_'.
void lf_removeGhostWithUnderscoreIfPresent(const LiveAircraft& aircraft);
// Who holds the stand, the aircraft `hexid` aside: 2 for an aircraft parked
// there with an object id above 2, 1 for one parking, parked or pushing back
// there, else 0.
int gf_liveStandHolder(int32_t standId, uint32_t hexid);
// Fills the stayer list of a parking run with the active parked live aircraft.
void lf_collectLiveStayers();
