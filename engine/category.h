// The aircraft categories and their names.
#pragma once

#include <cstdint>
#include <string>

enum class Category : uint32_t {
    Light = 0,
    TwoProps = 1,
    Bizjet = 2,
    Large = 3,
    Heavy = 4,
    HighPerf = 5,
    Rotorcraft = 6,
};

// "Light" ... "Rotorcraft"; std::out_of_range "invalid unordered_map<K, T> key"
// for a value outside 0..6.
const std::string& gf_categoryName(uint32_t category);
