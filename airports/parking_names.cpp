#include "airports/parking_names.h"

#include <array>
#include <string_view>

std::string gf_parkingNamePrefix(int index)
{
    static constexpr std::array<std::string_view, 12> kPrefixes{
        "",           "PARKING ",    "N_PARKING ", "NE_PARKING ", "E_PARKING ", "SE_PARKING ",
        "S_PARKING ", "SW_PARKING ", "W_PARKING ", "NW_PARKING ", "GATE ",      "DOCK ",
    };
    if (index >= 0 && index < static_cast<int>(kPrefixes.size()))
        return std::string(kPrefixes[static_cast<size_t>(index)]);
    if (index >= 12 && index <= 37)
        return std::string("GATE ") + static_cast<char>(index + 53);
    return {};
}
