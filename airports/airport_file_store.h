// The airport files kept by the program. None can be read yet.
#pragma once

#include "core/value_types.h"

bool gf_hasAirportFile(const IcaoCode& icao);
