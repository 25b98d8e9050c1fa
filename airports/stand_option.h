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
    std::string callsign;     // "cs", before the first ':'
    std::string callsign2;    // "cs", after the first ':'
    HalfHourMask halfHours;   // "hh"
    int32_t optionId = 0;     // 1-based number within the stand; 0 = absent
    uint32_t weekday = 0;     // 1..7 (Monday 1), "day"
    uint8_t real = 0;         // 1 real (observed), 0 soft ("soft")
    uint8_t closed = 0;       // "cpl": recorded again at the stand after the arrival
    uint8_t fixed = 0;           // 1 = run-time learning never extends the option
    uint8_t fromAirportFile = 0; // 1 when read from the airport file itself, 0 when learned
};
