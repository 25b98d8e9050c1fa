// The user's park airports: the airports where parked traffic is shown, each
// with the user's reserved stand there, the current one at the front.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/value_types.h"

// One park airport with the user's reserved stand there.
struct ParkAirport {
    IcaoCode icao;
    LatLon position;
    std::string reservedStand; // empty = none
};

struct ParkAirportList {
    std::mutex mutex;
    std::deque<ParkAirport> airports;
};
ParkAirportList& gf_parkAirportList();

// A copy of the current (front) park airport; no value when the list is empty.
std::optional<ParkAirport> gf_currentParkAirport();
// When the current park airport has this code, its reserved stand becomes
// `stand` and the answer is true.
bool gf_setCurrentReservedStand(const IcaoCode& icao, std::string_view stand);
// The user's reserved stand at the current park airport, when one is set.
std::optional<std::string> gf_currentReservedStand();
// The reserved stand stored for that airport; none when the airport is not in
// the list or its stored text is empty.
std::optional<std::string> gf_reservedStandOf(const IcaoCode& icao);
// Makes the airport the current park airport: a listed airport gets the new
// position and moves to the front; another one is inserted at the front with
// no stand.
void gf_setCurrentParkAirport(const IcaoCode& icao, const LatLon& position);
