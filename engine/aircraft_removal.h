// Removal of live and static aircraft by the main task's duties. There are no
// aircraft yet: nothing is removed.
#pragma once

#include <cstdint>

struct LiveAircraft;

void gf_removeLiveAircraftCategory(uint8_t category);
void gf_removeStaticAircraftCategory(uint8_t category);
// With 0: removes the live aircraft farthest from the user.
void lf_isThisTheFurthestLive(double distanceNm);
void gf_checkUserCollisions();
void gf_removeTCASCoverageAcs();
void lf_checkForStaticWithCallsignOrHexidAndRemove(LiveAircraft& aircraft);
