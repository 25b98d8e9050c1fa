// The aircraft vocabulary: interned type and airline codes, the valid ICAO
// type codes, the category lists and the half-wingspans. The tables start
// empty and are filled once by the model database loader at start-up; only
// the interning tables grow afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/category.h"

using ModelId = uint16_t;
using AirlineId = uint16_t;

struct AirlOprModel {
    AirlineId airline = 0;
    AirlineId oper = 0;
    ModelId model = 0;
    uint8_t cargo = 0;
    uint8_t marker = 0; // set: the type is not looked up again
    friend bool operator==(const AirlOprModel&, const AirlOprModel&) = default;
};

// Number of model ids that have a wingspan entry.
inline constexpr size_t kWingspanTableSize = 2700;

struct ModelDatabaseTables {
    std::set<std::string> IcaoModelCodes;
    std::set<ModelId> heavy, large, bizjet, twoProps, highPerf, rotorcraft;
    // Half-wingspan in nautical miles by ModelId; 0.0 = unknown.
    std::vector<double> WingspanTable = std::vector<double>(kWingspanTableSize, 0.0);
    // The largest half-wingspan read.
    double maxHalfWingspan = 0.0;
};

// The process's tables (filled on the main task before any reader starts).
ModelDatabaseTables& gf_modelDatabase();

// The ModelId of a type code; unknown codes are appended (any thread).
ModelId gf_modelCode2Id(std::string_view code);
ModelId gf_modelIdOf(std::string_view code);
// The code of an id; empty beyond the table.
std::string gf_modelCodeOf(ModelId id);
// Large, Heavy, Bizjet, TwoProps, Rotorcraft, HighPerf in this order; else Light.
Category gf_modelCategory(ModelId id);
// False for the empty text, else membership in IcaoModelCodes.
bool gf_isIcaoModel(std::string_view code);
// WingspanTable entry below 2700; 35.0 for ids of 2700 and more.
double gf_wingspanOfModel(ModelId id);
