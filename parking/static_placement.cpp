#include "parking/static_placement.h"

// The plan's placement comes with the parking runs; until then the plan is
// left as it is.
void lf_placeStaticFromPlan()
{
}
