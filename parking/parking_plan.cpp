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
