// One stand or parking position of an airport, as the facility reader, the
// airport-file and scenery readers and the engine share it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "airports/stand_option.h"

// Stand types; the names are the texts with which airport files store them.
enum class StandType : uint32_t {
    NONE = 0,
    RAMP_GA = 1,
    RAMP_GA_SMALL = 2,
    RAMP_GA_MEDIUM = 3,
    RAMP_GA_LARGE = 4,
    RAMP_CARGO = 5,
    RAMP_MIL_CARGO = 6,
    RAMP_MIL_COMBAT = 7,
    GATE_SMALL = 8,
    GATE_MEDIUM = 9,
    GATE_HEAVY = 10,
    DOCK_GA = 11,
    FUEL = 12,
    VEHICLE = 13,
    RAMP_GA_EXTRA = 14,
    GATE_EXTRA = 15,
};

struct Stand {
    std::vector<StandOption> options;
    std::string name;
    std::vector<uint32_t> exclusions; // ids of stands that must stay free while this one is used
    double lat = 0.0;                 // degrees
    double lon = 0.0;                 // degrees
    double heading = 0.0;             // radians
    double radius = 0.0;              // nautical miles
    int32_t id = 0;
    StandType type = StandType::NONE;
    uint8_t flag = 0;
    uint8_t used = 0;
    uint8_t blocked = 0;
    uint8_t cargo = 0;
    uint8_t gaRamp = 0;
    uint8_t helipad = 0;
};
