#include "parking/stand_table.h"

// The stand table is not built yet: no snapshot is ever published, so no
// position lies on a stand.
std::optional<std::string> gf_findStandAtPosition(const LatLon& /*position*/)
{
    return std::nullopt;
}
