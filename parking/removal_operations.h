// Removals of parked aircraft. There are none yet.
#pragma once

#include <string>

void lf_removeAllStaticAndLiveAtAirport();
void gf_removeAllStatic();
void gf_checkForAllGndIfParkedVersionExistsAndRemove();
void gf_checkLiveVsParkedCollisions();
// Frees the user's destination stand.
void gf_clearUserDestGate(const std::string& standName);
