#include "parking/stand_table.h"

// No stand table is loaded yet: no stand is found.
std::string gf_findStandAtPosition(const LatLon&)
{
    return {};
}
