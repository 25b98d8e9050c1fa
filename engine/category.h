// The names of the aircraft categories.
#pragma once

#include <cstdint>
#include <string>

#include "liveries/model_database.h" // Category

// "Light" ... "Rotorcraft"; std::out_of_range "invalid unordered_map<K, T> key"
// for a value outside 0..6.
const std::string& gf_categoryName(uint32_t category);
