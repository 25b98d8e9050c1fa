// The airport database's own state, shared by its lookups and its loader.
#pragma once

#include <mutex>
#include <shared_mutex>
#include <vector>

#include "airports/airport_database.h"

struct AirportDatabase {
    std::vector<AirportDbRecord> records; // sorted by packed code, no duplicates
    std::shared_mutex lock;               // shared for lookups, exclusive to install
    bool loaded = false;
    std::mutex loadMutex; // serialises loading
};
AirportDatabase& gf_airportDatabase();
