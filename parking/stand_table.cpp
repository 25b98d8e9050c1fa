#include "parking/stand_table.h"

// No stand table is loaded yet: no stand is found.
std::string gf_findStandAtPosition(const LatLon&)
{
    return {};
}

size_t gf_standCount()
{
    return 0;
}

std::string gf_standNameById(int32_t id)
{
    return id == 0 ? "sid==0?" : "sid==?";
}
