// Who uses which stand: the live aircraft that stand on a stand, make for it
// or have it reserved, keyed by stand. The engine's live side keeps it up to
// date wherever a live aircraft takes or gives up a stand; the stands take
// small values here, never the aircraft record. Main task only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "stands/week_slot.h"

// One live aircraft on (or bound for) a stand.
struct StandUse {
    uint32_t hexid = 0;
    WeekSlot since; // the week slot in which it took the stand
};

// The aircraft `use.hexid` now uses the stand; a stand id below 1 is none.
void gf_takeStandUse(int32_t standId, const StandUse& use);
// The aircraft gives the stand up; nothing when it did not use it.
void gf_releaseStandUse(int32_t standId, uint32_t hexid);
// The uses of the stand, in the order they were taken; empty for none.
std::span<const StandUse> gf_standUses(int32_t standId);
// Stands with at least one use.
size_t gf_usedStandCount();
// Forgets every use.
void gf_clearStandUses();
