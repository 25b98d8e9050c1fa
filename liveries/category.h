// The names of the aircraft categories and their two bank tables.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "liveries/model_database.h" // Category

// The value of a per-category table; a category outside the table throws
// std::out_of_range "invalid unordered_map<K, T> key".
template <typename T>
const T& gf_perCategory(const std::unordered_map<uint32_t, T>& table, Category category)
{
    const auto it = table.find(static_cast<uint32_t>(category));
    if (it == table.end())
        throw std::out_of_range("invalid unordered_map<K, T> key");
    return it->second;
}

// "Light" ... "Rotorcraft"; std::out_of_range "invalid unordered_map<K, T> key"
// for a value outside the enumeration.
const std::string& gf_categoryName(Category category);
// The largest bank angle of the category, radians; the same exception.
double gf_maxBankForCategory(Category category);
// The bank change per motion step of the category, radians; the same exception.
double gf_bankRateForCategory(Category category);
