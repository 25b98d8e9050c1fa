// Removal of live and static aircraft by the main task's duties.
#pragma once

#include <cstdint>

struct LiveAircraft;

void gf_removeLiveAircraftCategory(uint8_t category);
void gf_removeStaticAircraftCategory(uint8_t category);
void lf_checkForStaticWithCallsignOrHexidAndRemove(LiveAircraft& aircraft);
