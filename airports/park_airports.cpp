#include "airports/park_airports.h"

// No park airports are kept yet: no stand is reserved.
std::optional<std::string> gf_currentReservedStand()
{
    return std::nullopt;
}
