// The plan of static parked aircraft.
#pragma once

#include <cstdint>
#include <vector>

struct ParkedTrafficRecord;

// Plans static parked aircraft from the aged RealTraffic parked list within
// the quota (called with the reader's parked mutex held).
void lf_planRtParkedAircraft(std::vector<ParkedTrafficRecord>& parked, uint32_t quota);
