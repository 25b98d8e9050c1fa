// The aircraft records of the traffic engine (the fields used so far).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/value_types.h"
#include "engine/category.h"

// Identity and simulator-side state shared by live and static aircraft.
struct AircraftBase {
    AirlOprModel ids;
    IataCode origin;      // route origin; unset when unknown
    IataCode destination; // route destination; unset when unknown
    std::string callsign;
    std::string registration;
    uint32_t hexid = 0;
    uint32_t category = 0; // Category
    uint32_t objectId = 0; // SimConnect object id, 0 = none yet
    std::string_view liveryTitle; // title of the chosen livery (owned by the matching tables); empty = none
    uint8_t isFsltlLivery = 0;      // the title contains "FSLTL_"
    uint8_t matchedBeyondDepth = 0; // matched at a step deeper than MATCHING_DEPTH
};

struct LiveAircraft : AircraftBase {};
