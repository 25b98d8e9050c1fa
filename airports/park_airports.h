// The user's park airports.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/value_types.h"

// One park airport with the user's reserved stand there.
struct ParkAirport {
    IcaoCode icao;
    LatLon position;
    std::string reservedStand;
};

// A copy of the current (front) park airport; no value when the list is empty.
std::optional<ParkAirport> gf_currentParkAirport();
// When the current park airport has this code, its reserved stand becomes
// `stand` and the answer is true.
bool gf_setCurrentReservedStand(const IcaoCode& icao, std::string_view stand);

// The user's reserved stand at the current park airport, when one is set.
std::optional<std::string> gf_currentReservedStand();
