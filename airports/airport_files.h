// Airport files: the stands of an airport and the state of the loaded file.
#pragma once

#include <atomic>
#include <string>
#include <variant>
#include <vector>

#include "core/value_types.h"

// Set when an airport file has been loaded and set up for the current
// airport; cleared when the airport is left.
extern std::atomic<bool> airportFileLoaded;
// The week number of the loaded airport file (0 after the airport is left).
extern std::atomic<int> loadedAirportFileWeek;
// Set by the airport-file set-up, cleared when the airport is left; the
// "Park" button acts only while it is set.
extern std::atomic<bool> parkingAirportLoaded;

// The stand names of that airport's file, or the error text of a failed read.
std::variant<std::vector<std::string>, std::string> gf_readApfForStands(const IcaoCode& icao);
