#include "parking/parking_plan.h"

// No parking plan is kept yet: nothing is planned.
void lf_planRtParkedAircraft(std::vector<ParkedTrafficRecord>&, uint32_t)
{
}

size_t gf_parkingPlanSize()
{
    return 0;
}
void gf_clearParkingPlan() {}

// The plan itself comes with the parking runs; until then nothing is planned,
// no stand is taken by the plan and no candidate is present.
bool lf_planStaticAtStand(const StandSearchContext&, Stand&)
{
    return false;
}
bool lf_standTakenByStaticOrPlan(int32_t)
{
    return false;
}
bool lf_isAircraftAlreadyPresent(const AircraftIdentity&)
{
    return false;
}
bool lf_isInSeenTraffic(std::string_view)
{
    return false;
}
bool lf_isInSeenTrafficHexids(uint32_t)
{
    return false;
}
void lf_appendRtParkedPlanEntry(const ParkedTrafficRecord&, const AircraftBase&, int32_t) {}
