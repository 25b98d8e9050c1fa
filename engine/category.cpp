#include "engine/category.h"

#include <stdexcept>
#include <unordered_map>

const std::string& gf_categoryName(uint32_t category)
{
    static const std::unordered_map<uint32_t, std::string> names{
        {0, "Light"}, {1, "TwoProps"}, {2, "Bizjet"}, {3, "Large"}, {4, "Heavy"}, {5, "HighPerf"}, {6, "Rotorcraft"},
    };
    const auto it = names.find(category);
    if (it == names.end())
        throw std::out_of_range("invalid unordered_map<K, T> key");
    return it->second;
}
