// The park airports: the airport where the user parks first, with the
// user's reserved stand.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/value_types.h"

struct ParkAirport {
    IcaoCode icao;
    LatLon position;
    std::string reservedStand;
};

// A copy of the current (front) park airport; no value when the list is empty.
std::optional<ParkAirport> gf_currentParkAirport();
// Sets the reserved stand when the current park airport has that code.
bool gf_setCurrentReservedStand(const IcaoCode& icao, std::string_view stand);
