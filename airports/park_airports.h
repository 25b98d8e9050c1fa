// The user's park airports: the airports where parked traffic is shown, each
// with the user's reserved stand there, the current one at the front. Read at
// start-up from airports/my_park_airports.txt and the add-on airports of
// airports/my_thirdparty, written back at shutdown.
#pragma once

#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    bool readCompleted = false; // a read finished; cleared by the save
    bool fileExisted = false;   // the last read found and read the file
    std::vector<std::string> preservedLines; // lines not taken as airports, in file order
    LatLon lastCheck;            // (0, 0): search at the next opportunity
    double recheckDistanceNm = 4.0;
};
ParkAirportList& gf_parkAirportList();

// airports/my_park_airports.txt
const std::filesystem::path& gf_parkAirportsFilePath();

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
// no stand. The nearest search runs again at the next opportunity.
void gf_setCurrentParkAirport(const IcaoCode& icao, const LatLon& position);
// The same, and the airport's reserved stand becomes `stand`.
void gf_setCurrentParkAirportAndStand(const IcaoCode& icao, const LatLon& position, std::string_view stand);

// Drops later entries of the same airport; a later entry's stand (with its
// position) goes to a kept entry that has none.
void gf_removeDuplicateParkAirports(std::deque<ParkAirport>& airports);
