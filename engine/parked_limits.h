// Parked limits: between parking runs the aircraft parked at the stands of the
// user's airport are kept within the static quota of the stand table; the
// oldest go first, and a live aircraft removed for the limit is not created on
// its stand again. Main task only.
#pragma once

#include <cstdint>

// Keeps the parked aircraft within the quota; `extra` counts a live aircraft
// that is being spawned parked.
void gf_enforceParkedLimit(uint8_t extra);
// Each live aircraft removed here is held off its stand (gf_heldForParkedLimit).
void lf_removeNOldestLiveParked(int64_t n);
void lf_removeNOldestStaticParked(int64_t n);
// The aircraft was removed for the parked limit from this stand: it is not
// created there again. Asked about another stand, the hold ends.
bool gf_heldForParkedLimit(uint32_t hexid, int32_t standId);
// Its records no longer show it parked: it may be created again.
void gf_releaseParkedLimitHold(uint32_t hexid);

// Static aircraft in the simulator (active or being removed); with withAge the
// window gets their mean parked age.
uint64_t gf_countStaticParked(bool withAge);
