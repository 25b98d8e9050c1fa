// A flight option of a stand: which airline, registration and callsigns used
// it in which half-hour slots of which weekday (element "opt" of an airport
// file).
#pragma once

#include <cstdint>
#include <string>

#include "core/value_types.h"
#include "liveries/model_database.h"

struct StandOption {
    AirlOprModel aom;
    std::string registration; // "reg"
    std::string callsign;     // "cs"
    std::string callsign2;
    HalfHourMask halfHours;   // "hh"
    int32_t optionId = 0;     // above 0 = usable
    uint32_t weekday = 0;     // 1..7, "day"
    uint8_t real = 0;         // 1 real, 0 soft ("soft")
    uint8_t closed = 0;       // "cpl"
    uint8_t fixed = 0;
};
