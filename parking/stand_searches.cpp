#include "parking/stand_searches.h"

#include "engine/traffic_state.h"

WeekSlot lf_weekSlotNow()
{
    return gf_weekSlotOfWord(weekdayHalfHourWord.load());
}

// The searches over the stand options come with the stand options; until
// then a run plans from parked traffic only.
void lf_runStandSearches(WeekSlot, int32_t) {}
