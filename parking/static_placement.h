// Static aircraft placed from the parking plan, one per call (main task).
#pragma once

// Places the next static aircraft of the parking plan.
void lf_placeStaticFromPlan();
