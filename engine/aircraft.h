// The aircraft records of the traffic engine (the fields used so far).
#pragma once

#include <cstdint>
#include <string>

#include "core/value_types.h"
#include "engine/category.h"

// Identity and simulator-side state shared by live and static aircraft.
struct AircraftBase {
    IataCode origin;      // route origin; unset when unknown
    IataCode destination; // route destination; unset when unknown
    std::string callsign;
    std::string registration;
    uint32_t hexid = 0;
    uint32_t category = 0; // Category
    uint32_t objectId = 0; // SimConnect object id, 0 = none yet
};

struct LiveAircraft : AircraftBase {};
