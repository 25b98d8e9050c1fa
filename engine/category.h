// The names of the aircraft categories and their two bank tables.
#pragma once

#include <cstdint>
#include <string>

#include "liveries/model_database.h" // Category

// "Light" ... "Rotorcraft"; std::out_of_range "invalid unordered_map<K, T> key"
// for a value outside 0..6.
const std::string& gf_categoryName(uint32_t category);
// The largest bank angle of the category, radians; the same exception.
double gf_maxBankForCategory(uint32_t category);
// The bank change per motion step of the category, radians; the same exception.
double gf_bankRateForCategory(uint32_t category);
