// The user's park airports file and the choice of the park airport. Nothing
// is read or chosen yet.
#pragma once

#include <optional>
#include <string>

#include "core/value_types.h"

void gf_readMyParkAirportsFile();
void gf_saveMyParkAirportsFile();
void gf_selectNearestParkAirport(const LatLon& userPosition);
void gf_chooseParkAirport(const LatLon& userPosition);
void gf_checkParkAirportReach(const LatLon& userPosition);
