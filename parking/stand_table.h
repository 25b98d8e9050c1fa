// The stands of the current airport.
#pragma once

#include <string>

#include "core/value_types.h"

// The name of the stand within 20 m of the position, nearest first; empty
// when there is none.
std::string gf_findStandAtPosition(const LatLon& position);

#include <cstddef>
#include <cstdint>

// Stands of the current airport (none loaded yet).
size_t gf_standCount();
// The stand's name; "sid==0?" for id 0 and "sid==?" for an unknown id.
std::string gf_standNameById(int32_t id);
