#include "parking/parking_runs.h"

void gf_adjustParking(bool) {}
void gf_setStaticStandQuota() {}
void gf_enforceParkedLimit(bool) {}
uint64_t gf_countStaticParked(bool)
{
    return 0;
}
uint64_t gf_countLiveParked(bool)
{
    return 0;
}
