// The user's park airports: the airports where parked traffic is shown, each
// with the user's reserved stand there, most recent first.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "core/value_types.h"

struct ParkAirport {
    std::string reservedStand; // empty = none
    double latitude = 0.0;
    double longitude = 0.0;
    IcaoCode icao;
};

struct ParkAirportList {
    std::mutex mutex;
    std::deque<ParkAirport> airports;
};
ParkAirportList& gf_parkAirportList();

// The reserved stand stored for that airport; none when the airport is not in
// the list or its stored text is empty.
std::optional<std::string> gf_reservedStandOf(const IcaoCode& icao);
// Makes the airport the current park airport: a listed airport gets the new
// position and moves to the front; another one is inserted at the front with
// no stand.
void gf_setCurrentParkAirport(const IcaoCode& icao, const LatLon& position);
