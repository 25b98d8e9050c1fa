#include "parking/parking_plan.h"

size_t gf_parkingPlanSize()
{
    return 0;
}
void gf_clearParkingPlan() {}
