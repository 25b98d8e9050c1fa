// Removal of live and static aircraft by the main task's duties.
#pragma once

struct LiveAircraft;

void lf_checkForStaticWithCallsignOrHexidAndRemove(LiveAircraft& aircraft);
