#include "parking/parking_plan.h"

// No parking plan is kept yet: nothing is planned.
void lf_planRtParkedAircraft(std::vector<ParkedTrafficRecord>&, uint32_t)
{
}
