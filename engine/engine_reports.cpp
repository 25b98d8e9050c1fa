#include "engine/engine_reports.h"

std::vector<std::string> lf_listActiveAircraft()
{
    return {};
}
void lf_writeObjectIdList() {}
std::vector<uint32_t> gf_parkedObjectIdsInSim()
{
    return {};
}
