// The stands of the current airport.
#pragma once

#include <string>

#include "core/value_types.h"

// The name of the stand within 20 m of the position, nearest first; empty
// when there is none.
std::string gf_findStandAtPosition(const LatLon& position);
