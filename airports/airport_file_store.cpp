#include "airports/airport_file_store.h"

bool gf_hasAirportFile(const IcaoCode&)
{
    return false;
}
