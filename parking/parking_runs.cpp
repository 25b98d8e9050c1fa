#include "parking/parking_runs.h"

#include "core/settings_snapshot.h"
#include "parking/stand_table.h"

void gf_buildParkingPlan() {}
void gf_adjustParking(bool) {}
void gf_setStaticStandQuota()
{
    const auto params = gf_parametersSnapshot();
    gf_setStaticStandQuota(params->parking_percentage, params->MAX_PARK_SEL);
}
void gf_enforceParkedLimit(bool) {}
uint64_t gf_countStaticParked(bool)
{
    return 0;
}
uint64_t gf_countLiveParked(bool)
{
    return 0;
}
